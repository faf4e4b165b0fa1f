// The gradient caption's own bands, for systems without GradientFill: a
// window of the test's own, painted on the screen and read back.
#include <gtest/gtest.h>

#include <windows.h>

#include "controls/gradient_static.h"
#include "tests/driver/screen.h"
#include "tests/driver/wait.h"
#include "tests/update/gradient_bands.h"

namespace {

using namespace driver;
using namespace driver::update_test;

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

struct Window {
    HWND hwnd;
    explicit Window(HWND h) : hwnd(h) {}
    ~Window() {
        if (hwnd) DestroyWindow(hwnd);
    }
};

TEST(GradientStatic, PaintsItsOwnBandsWithoutGradientFill) {
    struct Case {
        int width, height, vertical;
    };
    // Narrower than 255 pixels (bands share pixels), wider, and top to bottom.
    for (const Case c : {Case{150, 16, 0}, Case{400, 16, 0}, Case{40, 300, 1}}) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " vertical " << c.vertical);
        Window top(CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP, 0, 0, c.width,
                                   c.height, nullptr, nullptr, nullptr, nullptr));
        ASSERT_TRUE(top.hwnd);
        HWND label = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, c.width, c.height, top.hwnd,
                                     nullptr, nullptr, nullptr);
        ASSERT_TRUE(label);
        CGradientStatic gradient;
        gradient.m_crStart = RGB(255, 0, 255);
        gradient.m_crEnd = RGB(10, 200, 40);
        gradient.m_bVertical = c.vertical;
        gradient.m_bCanGradientFill = false;
        ASSERT_TRUE(gradient.Subclass(label));
        ShowWindow(top.hwnd, SW_SHOWNOACTIVATE);
        UpdateWindow(top.hwnd);

        const std::vector<COLORREF> bands =
            GradientBands(c.vertical ? c.height : c.width, gradient.m_crStart, gradient.m_crEnd);
        const RECT rc = {0, 0, c.width, c.height};
        Pixels shot(c.width, c.height);
        int wrong = -1;
        WaitUntil(
            [&] {
                Pump();
                if (!CaptureScreen(rc, shot)) return false;
                wrong = 0;
                for (int y = 0; y < c.height; ++y)
                    for (int x = 0; x < c.width; ++x)
                        if (FromCapture(shot.at(x, y)) != bands[static_cast<size_t>(c.vertical ? y : x)]) ++wrong;
                return wrong == 0;
            },
            kReactTimeout);
        EXPECT_EQ(wrong, 0) << "pixels unlike the bands";
        // The last band falls 1/255 short of the end colour.
        EXPECT_NE(bands.back(), gradient.m_crEnd);
        EXPECT_EQ(bands.front(), gradient.m_crStart);
    }
}

}  // namespace
