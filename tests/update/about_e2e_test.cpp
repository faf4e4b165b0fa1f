// The About box of the real program under Wine: opened from the system menu
// and from the tray menu, its update button, the link label's click through
// the shell, and the gradient caption's pixels with and without GradientFill.
#include <algorithm>
#include <memory>

#include "tests/driver/e2e_fixture.h"
#include "tests/driver/message_box.h"
#include "tests/driver/rate_servers.h"
#include "tests/driver/registry.h"
#include "tests/driver/screen.h"
#include "tests/driver/tray.h"
#include "tests/driver/user_input.h"
#include "tests/driver/wine_path.h"
#include "tests/driver/window_query.h"
#include "tests/update/about_box.h"
#include "tests/update/gradient_bands.h"
#include "tests/update/update_files.h"

namespace driver::zelvane {
namespace {

using namespace driver::update_test;

constexpr wchar_t kHomePage[] = L"https://zelvane.morvast.example/";
constexpr wchar_t kNoConnection[] = L"インターネット接続失敗! しばらくしてからやり直してください";
constexpr COLORREF kMagenta = RGB(255, 0, 255);
constexpr wchar_t kHttpsCommandKey[] = L"Software\\Classes\\https\\shell\\open\\command";

// Sets an environment variable of this process (and so of the program it
// starts) for one scope.
class ScopedEnv {
public:
    ScopedEnv(const wchar_t* name, const std::wstring& value) : name_(name), old_(EnvVar(name)) {
        SetEnvironmentVariableW(name, value.c_str());
    }
    ~ScopedEnv() { SetEnvironmentVariableW(name_, old_.empty() ? nullptr : old_.c_str()); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const wchar_t* name_;
    std::wstring old_;
};

// The machine's shell handler for https (Wine reads only the machine's
// classes), replaced for one scope and put back afterwards.
class ScopedHttpsHandler {
public:
    explicit ScopedHttpsHandler(const std::wstring& command) {
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kHttpsCommandKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key_) != ERROR_SUCCESS) {
            key_ = nullptr;
            return;
        }
        wchar_t old[1024] = {};
        DWORD size = sizeof(old) - sizeof(wchar_t);
        DWORD type = 0;
        hadOld_ = RegQueryValueExW(key_, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(old), &size) == ERROR_SUCCESS;
        old_ = old;
        ok_ = Set(command);
    }
    ~ScopedHttpsHandler() {
        if (!key_) return;
        if (hadOld_) Set(old_);
        RegCloseKey(key_);
    }
    ScopedHttpsHandler(const ScopedHttpsHandler&) = delete;
    ScopedHttpsHandler& operator=(const ScopedHttpsHandler&) = delete;
    bool ok() const { return ok_; }

private:
    bool Set(const std::wstring& value) {
        return RegSetValueExW(key_, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                              static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }
    HKEY key_ = nullptr;
    bool hadOld_ = false;
    bool ok_ = false;
    std::wstring old_;
};

class AboutTest : public ZelvaneTest {
protected:
    // The caption control's client area as on the screen, once it has
    // repainted without text (so every pixel is gradient).
    std::unique_ptr<Pixels> CaptionGradient(HWND about) {
        HWND caption = GetDlgItem(about, kIdAboutCaption);
        if (!caption) return nullptr;
        SendWithTimeout(caption, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""), 0);
        RECT rc;
        GetClientRect(caption, &rc);
        MapWindowPoints(caption, HWND_DESKTOP, reinterpret_cast<POINT*>(&rc), 2);
        auto shot = std::make_unique<Pixels>(rc.right - rc.left, rc.bottom - rc.top);
        // Painted once the left edge shows the start colour and no column
        // holds text any more.
        auto gradientOnly = [&] {
            if (!CaptureScreen(rc, *shot) || FromCapture(shot->at(0, 0)) != kMagenta) return false;
            for (int x = 0; x < shot->width(); ++x)
                for (int y = 1; y < shot->height(); ++y)
                    if (shot->at(x, y) != shot->at(x, 0)) return false;
            return true;
        };
        if (!WaitUntil(gradientOnly, kReactTimeout)) return nullptr;
        return shot;
    }
};

TEST_F(AboutTest, OpensFromTheSystemMenuAndEnterRunsTheUpdateCheck) {
    // Nothing listens at the download folder's address.
    ASSERT_TRUE(WriteUserString(SectionKey(L"Update"), L"BaseUrl", RateServerUrl("closed", "/download/Zelvane/")));
    ASSERT_TRUE(StartApp());
    HWND about = OpenAboutBox(app_);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(GetWindow(about, GW_OWNER), app_.mainDialog());
    EXPECT_EQ(WindowText(GetDlgItem(about, kIdAboutCaption)), L"Kesuna\u3000version 2.0");
    EXPECT_EQ(WindowText(GetDlgItem(about, kIdAboutVersion)), L"バージョン 2.0.0.1");
    EXPECT_EQ(WindowText(GetDlgItem(about, kIdAboutLink)), kHomePage);
    EXPECT_EQ(WindowText(GetDlgItem(about, IDOK)), L"Update Check");

    // Escape closes it with no message.
    ASSERT_TRUE(PressKeyInDialog(about, VK_ESCAPE));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(about); }, kReactTimeout));
    EXPECT_FALSE(FindMessageBox(app_.pid()));

    // Enter is the update button: the download folder cannot be reached.
    about = OpenAboutBox(app_);
    ASSERT_NE(about, nullptr);
    ASSERT_TRUE(PressKeyInDialog(about, VK_RETURN));
    const std::optional<MessageBoxInfo> box = WaitForMessageBox(app_.pid());
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, kNoConnection);
    EXPECT_EQ(box->icon, MessageBoxIcon::kInformation);
    AnswerMessageBox(*box, IDOK);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about); }, kReactTimeout));
}

TEST_F(AboutTest, OpensFromTheTrayMenu) {
    ASSERT_TRUE(RateServerFileExists("raw.port")) << "no rate servers in " << RateServerDir();
    const std::wstring service = SectionKey(L"Service");
    const std::string tag = "about-" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(WriteUserString(service, L"ConversionRateUrl",
                                RateServerUrl("raw", "/count/" + tag + "/conversion/scripted/" + tag)));
    ASSERT_TRUE(WriteUserString(service, L"ConversionRateNamespace", L"urn:scripted"));
    ASSERT_TRUE(WriteUserString(service, L"ExchangeRateUrl", RateServerUrl("closed", "/soap")));
    ASSERT_TRUE(WriteRateServerFile("rate-" + tag, "1.2345"));
    ASSERT_TRUE(StartApp());
    HWND onOff = GetDlgItem(app_.PageWith(kIdInterval), kIdMonitorOnOff);
    ASSERT_TRUE(ClickButton(onOff));
    ASSERT_TRUE(WaitUntil([&] { return WindowText(onOff) == L"OFF"; }, kReactTimeout));
    HWND osd = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (osd = app_.OsdWindow()) != nullptr; }, kWindowTimeout));

    ASSERT_TRUE(PostTrayMouse(osd, kTrayCallback, kTrayIconId, WM_RBUTTONUP));
    HWND menu = WaitForPopupMenu(app_.pid());
    ASSERT_NE(menu, nullptr);
    ASSERT_TRUE(ChooseMenuMnemonic(menu, L'a'));  // バージョン情報(&A)...
    HWND about = WaitForTopLevel(app_.pid(), L"#32770", kAboutCaption);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(WindowText(GetDlgItem(about, kIdAboutVersion)), L"バージョン 2.0.0.1");
    ASSERT_TRUE(PressKeyInDialog(about, VK_ESCAPE));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about); }, kReactTimeout));
}

TEST_F(AboutTest, LinkOpensItsAddressThroughTheShell) {
    // The shell's handler for https becomes the probe, which records what
    // it was asked to open.
    const std::wstring probe = ToWindowsPath(ZELVANE_SHELL_PROBE);
    const std::wstring out = probe + L".out";
    DeleteFileW(out.c_str());
    const ScopedHttpsHandler handler(L"\"" + probe + L"\" \"%1\"");
    ASSERT_TRUE(handler.ok());
    const ScopedEnv env(L"ZELVANE_SHELL_PROBE_OUT", out);
    ASSERT_TRUE(StartApp());
    HWND about = OpenAboutBox(app_);
    ASSERT_NE(about, nullptr);
    HWND link = GetDlgItem(about, kIdAboutLink);

    // Blue and underlined: a row of pure blue pixels at least half as wide
    // as the label's text.
    RECT rc;
    GetClientRect(link, &rc);
    MapWindowPoints(link, HWND_DESKTOP, reinterpret_cast<POINT*>(&rc), 2);
    Pixels shot(rc.right - rc.left, rc.bottom - rc.top);
    int longestBlueRun = 0;
    WaitUntil(
        [&] {
            if (!CaptureScreen(rc, shot)) return false;
            for (int y = 0; y < shot.height(); ++y) {
                int run = 0;
                for (int x = 0; x < shot.width(); ++x) {
                    run = shot.at(x, y) == 0x0000FF ? run + 1 : 0;
                    longestBlueRun = std::max(longestBlueRun, run);
                }
            }
            return longestBlueRun >= 60;
        },
        kReactTimeout);
    EXPECT_GE(longestBlueRun, 60) << "no blue underline";

    ASSERT_TRUE(ClickAt(link, 5, (rc.bottom - rc.top) / 2));
    std::optional<std::string> opened;
    ASSERT_TRUE(WaitUntil([&] { return (opened = FileBytes(out)) && !opened->empty(); }, kWindowTimeout))
        << "the shell started nothing";
    const std::wstring line(reinterpret_cast<const wchar_t*>(opened->data()), opened->size() / sizeof(wchar_t));
    EXPECT_NE(line.find(std::wstring(L"\"") + kHomePage + L"\""), std::wstring::npos) << Utf8(line);
    DeleteFileW(out.c_str());
}

TEST_F(AboutTest, CaptionIsAGradientWithGradientFill) {
    ASSERT_TRUE(StartApp());
    HWND about = OpenAboutBox(app_);
    ASSERT_NE(about, nullptr);
    const std::unique_ptr<Pixels> shot = CaptionGradient(about);
    ASSERT_TRUE(shot) << "no gradient without text (one colour per column) on the screen";
    ASSERT_GT(shot->width(), 20);
    const int w = shot->width();
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const std::vector<COLORREF> bands = GradientBands(w, kMagenta, face);
    int unlikeBands = 0;
    for (int x = 0; x < w; ++x) {
        const COLORREF c = FromCapture(shot->at(x, 0));
        if (x > 0) {
            // Monotonic from magenta toward the face colour.
            const COLORREF left = FromCapture(shot->at(x - 1, 0));
            EXPECT_LE(ColourDistance(c, face), ColourDistance(left, face)) << x;
        }
        if (c != bands[static_cast<size_t>(x)]) ++unlikeBands;
    }
    EXPECT_EQ(FromCapture(shot->at(0, 0)), kMagenta);
    EXPECT_LE(ColourDistance(FromCapture(shot->at(w - 1, 0)), face), 12);
    // Not the control's own bands: GradientFill drew it.
    EXPECT_GT(unlikeBands, w / 4);
}

}  // namespace
}  // namespace driver::zelvane
