// What the on-screen window needs of the window that started the monitor:
// the main dialog implements it, so the monitor never includes the dialog.
#pragma once

#include <windows.h>

class IMonitorHost {
public:
    // Shown again by the tray, and the target of the tray's About command.
    virtual HWND HostWindow() const = 0;
    // The on-screen window is going away with the program: close what hangs
    // on the host at once (no animation) and end its dialog.
    virtual void OnMonitorDestroyed() = 0;

protected:
    ~IMonitorHost() = default;
};
