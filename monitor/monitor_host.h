// What the monitor (its settings page and the on-screen window) needs of the
// window that holds the currency pickers: the main dialog implements it, so
// nothing under monitor/ includes the dialog.
#pragma once

#include <windows.h>

class IMonitorHost {
public:
    // Shown again by the tray, and the target of the tray's About command.
    virtual HWND HostWindow() const = 0;
    // The on-screen window is going away with the program: close what hangs
    // on the host at once (no animation) and end its dialog.
    virtual void OnMonitorDestroyed() = 0;
    // The pair the pickers hold: currency indices, -1 where none is chosen.
    virtual int Currency1() const = 0;
    virtual int Currency2() const = 0;
    // The host's buttons that work only while the monitor runs (chart, hide).
    virtual void EnableMonitorButtons(bool on) = 0;
    // Slides the chart panel in and destroys it, when it is open.
    virtual void CloseChart() = 0;

protected:
    ~IMonitorHost() = default;
};
