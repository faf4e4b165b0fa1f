#include "tests/driver/file_dialog.h"

#include "tests/driver/user_input.h"
#include "tests/driver/window_query.h"

namespace driver {

namespace {

// The file-name field: an edit inside the combo box cmb13 (itself inside a
// ComboBoxEx in the Explorer style), or the edit edt1 in the older style.
constexpr int kFileNameCombo = 0x47C;
constexpr int kFileNameEdit = 0x480;

HWND FileNameField(HWND dialog) {
    struct Search {
        HWND dialog;
        HWND found;
    } search{dialog, nullptr};
    EnumChildWindows(
        dialog,
        [](HWND child, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            if (ClassName(child) != L"Edit") return TRUE;
            HWND parent = GetParent(child);
            if (ControlId(child) == kFileNameEdit || (parent != s->dialog && ControlId(parent) == kFileNameCombo)) {
                s->found = child;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

bool SetControlText(HWND control, const std::wstring& text) {
    return control && SendWithTimeout(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), FALSE) != FALSE;
}

bool ChooseFileInDialog(DWORD pid, const wchar_t* caption, const std::wstring& path, milliseconds timeout) {
    HWND dialog = WaitForTopLevel(pid, L"#32770", caption, timeout);
    if (!dialog) return false;
    HWND field = nullptr;
    if (!WaitUntil([&] { return (field = FileNameField(dialog)) != nullptr; }, kReactTimeout)) return false;
    if (!SetControlText(field, path) || !ClickButton(GetDlgItem(dialog, IDOK))) return false;
    return WaitUntil([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }, kReactTimeout);
}

}  // namespace driver
