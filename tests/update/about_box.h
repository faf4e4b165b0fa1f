// The About box of a running copy, as the driver finds it.
#pragma once

#include <windows.h>

#include "tests/driver/window_query.h"
#include "tests/driver/zelvane_app.h"

namespace driver::zelvane {

constexpr wchar_t kAboutCaption[] = L"バージョン情報";
constexpr int kIdAboutLink = 1005;
constexpr int kIdAboutCaption = 1017;
constexpr int kIdAboutVersion = 1018;
// The system menu's About item.
constexpr WPARAM kSysCommandAbout = 0x0010;

// Chooses About in the main dialog's system menu and waits for the box.
inline HWND OpenAboutBox(App& app) {
    PostMessageW(app.mainDialog(), WM_SYSCOMMAND, kSysCommandAbout, 0);
    return WaitForTopLevel(app.pid(), L"#32770", kAboutCaption);
}

}  // namespace driver::zelvane
