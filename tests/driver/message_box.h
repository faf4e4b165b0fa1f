// Message boxes of a process under test, read and answered from outside.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/driver/wait.h"

namespace driver {

enum class MessageBoxIcon { kNone, kError, kQuestion, kExclamation, kInformation, kUnknown };
const char* IconName(MessageBoxIcon icon);

struct MessageBoxButton {
    int id;  // IDOK, IDCANCEL, IDYES, ...
    std::wstring text;
};

struct MessageBoxInfo {
    HWND hwnd = nullptr;
    std::wstring caption;
    std::wstring text;
    std::vector<MessageBoxButton> buttons;  // in the box's own order
    MessageBoxIcon icon = MessageBoxIcon::kNone;

    bool HasButton(int id) const;
    // "OK", "OK|Cancel", ... from the button ids, for readable assertions.
    std::string ButtonSet() const;
};

// The first visible message box of the process: a dialog of the system
// class with the message-text static (id 0xFFFF).
std::optional<MessageBoxInfo> FindMessageBox(DWORD pid);
std::optional<MessageBoxInfo> WaitForMessageBox(DWORD pid, milliseconds timeout = kWindowTimeout);

// Presses one of the box's buttons; false when it has no such button.
bool AnswerMessageBox(const MessageBoxInfo& box, int buttonId);

}  // namespace driver
