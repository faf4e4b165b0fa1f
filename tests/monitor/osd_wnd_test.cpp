// The on-screen window object in this process: what a first Create that
// fails half-way leaves behind, and that the next switch-on starts afresh.
#include "monitor/osd_wnd.h"

#include <gtest/gtest.h>

#include "monitor/rate_history.h"
#include "tests/driver/rate_servers.h"

namespace {

constexpr wchar_t kClass[] = L"981B9D25-540B-47b7-B36F-CD3CA21BEEB3";

rates::ServiceSettings ScriptedPeer(const std::string& tag) {
    using driver::zelvane::RateServerFile;
    const std::string base = "http://127.0.0.1:" + RateServerFile("raw.port");
    return {base + "/conversion/scripted/" + tag, "urn:scripted", base + "/soap-nothing-here"};
}

TEST(OsdWnd, AFailedFirstCreateIsUndoneAndTheNextOneStartsAfresh) {
    const std::string tag = "osd-" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(driver::zelvane::WriteRateServerFile("rate-" + tag, "2.5"));
    OSDwnd osd(ScriptedPeer(tag));
    const HINSTANCE hInst = GetModuleHandleW(nullptr);

    // Someone else holds the class name: registration fails.
    WNDCLASSEXW blocker{};
    blocker.cbSize = sizeof(blocker);
    blocker.lpfnWndProc = DefWindowProcW;
    blocker.hInstance = hInst;
    blocker.lpszClassName = kClass;
    ASSERT_NE(RegisterClassExW(&blocker), 0);
    bMonitorOn = true;
    EXPECT_EQ(osd.Create(hInst, 138, 61, 0, 0, RGB(0, 0, 255), RGB(255, 0, 0), 0, nullptr), 0);
    EXPECT_FALSE(osd.IsCreated());
    EXPECT_EQ(osd.hwnd(), nullptr);
    ASSERT_TRUE(UnregisterClassW(kClass, hInst)) << "the failed Create kept or took the class";

    // The next switch-on sets everything up, and the kept client polls.
    ASSERT_NE(osd.Create(hInst, 138, 61, 0, 0, RGB(0, 0, 255), RGB(255, 0, 0), 0, nullptr), 0);
    EXPECT_TRUE(osd.IsCreated());
    ASSERT_NE(osd.hwnd(), nullptr);
    EXPECT_EQ(FindWindowW(kClass, nullptr), osd.hwnd());
    EXPECT_EQ(osd.Poll(), 1);
    EXPECT_EQ(osd.text(), "USD->JPY 2.5000");
    EXPECT_EQ(osd.Poll(), 0) << "the same rate again";
    EXPECT_EQ(RateHistory.Newest(1), 2.5);

    // Its WM_DESTROY ends the loop it would have run: take that quit away.
    DestroyWindow(osd.hwnd());
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    bMonitorOn = false;
}

}  // namespace
