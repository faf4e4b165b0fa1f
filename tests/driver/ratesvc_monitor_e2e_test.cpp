// The monitor of the real program under Wine, fed by the real Windows rate
// service (zelvane-ratesvc.exe, downloading through its fetch process) whose
// live source is the scripted peer of tests/ratesvc standing in for
// Coinbase: a new dollar-yen rate at the publisher reaches the on-screen
// window within one live round and one poll.
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

#include "tests/driver/app_process.h"
#include "tests/driver/combo_box.h"
#include "tests/driver/e2e_fixture.h"
#include "tests/driver/file_text.h"
#include "tests/driver/registry.h"
#include "tests/driver/screen.h"
#include "tests/driver/tray.h"
#include "tests/driver/user_input.h"
#include "tests/driver/window_query.h"
#include "tests/driver/wine_path.h"

namespace driver::zelvane {
namespace {

constexpr int kJpy = 61;
constexpr int kUsd = 138;

// The service's live interval (its floor) and the monitor's poll period.
constexpr int kLiveEverySec = 30;
constexpr milliseconds kLiveRound{kLiveEverySec * 1000};
constexpr milliseconds kPollPeriod{20000};
// A download through the fetch process and a poll's exchange, on a loaded
// machine.
constexpr milliseconds kSlack{15000};
// The service's start and its first live round.
constexpr milliseconds kServiceTimeout{30000};
// The display lasts 10 s.
constexpr milliseconds kShowTimeout{30000};

// As read from a screen capture: 0x00RRGGBB. The rise colour (UpColor
// 0xFF0000 as a COLORREF) is blue on the screen.
constexpr uint32_t kCaptureBlue = 0x0000FF;
constexpr int kMinGlyphPixels = 200;

std::wstring WideAscii(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// Coinbase's shape, as few rates as the live source takes.
std::string LiveAnswer(const char* yenPerDollar) {
    return std::string(R"({"data":{"currency":"USD","rates":{"EUR":"0.92","JPY":")") + yenPerDollar + R"("}}})";
}

class RateServiceMonitorTest : public ZelvaneTest {
protected:
    void SetUp() override {
        ZelvaneTest::SetUp();
        if (HasFatalFailure()) return;
        peer_ = ToWindowsPath(WideAscii(ZELVANE_RATESVC_PEER_DIR));
        const int plain = std::atoi(ReadAll(peer_ + L"\\plain.port").c_str());
        ASSERT_GT(plain, 0) << "no scripted peer in " << std::string(peer_.begin(), peer_.end());
        const std::wstring id = std::to_wstring(GetCurrentProcessId());
        tag_ = L"e2e-monitor-" + id;
        instance_ = L"e2e-" + id;
        ASSERT_TRUE(CreateDirectoryW((peer_ + L"\\" + tag_).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
        liveUrl_ = L"http://127.0.0.1:" + std::to_wstring(plain) + L"/" + tag_ + L"/usd.json";
        wchar_t tmp[MAX_PATH] = {};
        ASSERT_GT(GetTempPathW(MAX_PATH, tmp), 0u);
        folder_ = std::wstring(tmp) + L"zelvane-e2e-ratesvc-" + id;
        CreateDirectoryW(folder_.c_str(), nullptr);
    }
    void TearDown() override {
        ZelvaneTest::TearDown();
        service_.Kill();
        for (const wchar_t* name : {L"\\usd.json", L"\\usd.json.tmp"}) DeleteFileW((peer_ + L"\\" + tag_ + name).c_str());
        RemoveDirectoryW((peer_ + L"\\" + tag_).c_str());
        for (const wchar_t* name : {L"\\service.log", L"\\service.log.1", L"\\port", L"\\rates.xml"})
            DeleteFileW((folder_ + name).c_str());
        RemoveDirectoryW(folder_.c_str());
    }

    // Replaced whole: the peer reads the file afresh for every request.
    bool SetYenPerDollar(const char* rate) const {
        const std::wstring file = peer_ + L"\\" + tag_ + L"\\usd.json";
        {
            std::ofstream out((file + L".tmp").c_str(), std::ios::binary | std::ios::trunc);
            out << LiveAnswer(rate);
            if (!out) return false;
        }
        return MoveFileExW((file + L".tmp").c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
    }

    std::string ServiceLog() const { return ReadAll(folder_ + L"\\service.log"); }

    // The service with the live source alone (--no-fetch: none of the
    // registry's or the compiled ones), on a port of its choosing. Returns
    // once the live source's first round has given quotes; the port in port_.
    void StartService() {
        const std::wstring exe = ToWindowsPath(WideAscii(ZELVANE_RATESVC));
        const std::wstring args = L"--instance " + instance_ + L" --no-fetch --log \"" + folder_ +
                                  L"\\service.log\" --rates \"" + folder_ + L"\\rates.xml\" --port 0 --port-file \"" +
                                  folder_ + L"\\port\" --live-url " + liveUrl_ + L" --live-every " +
                                  std::to_wstring(kLiveEverySec);
        ASSERT_TRUE(service_.Start(exe, args)) << "CreateProcess failed with error " << service_.lastError();
        ASSERT_TRUE(WaitUntil([&] { return (port_ = std::atoi(ReadAll(folder_ + L"\\port").c_str())) > 0; },
                              kServiceTimeout))
            << ServiceLog();
        ASSERT_TRUE(WaitUntil([&] { return ServiceLog().find("live: quotes") != std::string::npos; }, kServiceTimeout))
            << "no quotes from the live source\n"
            << ServiceLog();
    }
    void StopService() {
        AppProcess stopper;
        ASSERT_TRUE(stopper.Start(ToWindowsPath(WideAscii(ZELVANE_RATESVC)), L"/stop --instance " + instance_));
        EXPECT_EQ(stopper.WaitForExit(milliseconds(60000)), std::optional<DWORD>(0));
        EXPECT_EQ(service_.WaitForExit(milliseconds(0)), std::optional<DWORD>(0)) << ServiceLog();
    }

    // Both of the program's services are the rate service's.
    bool UseService() const {
        const std::wstring base = L"http://127.0.0.1:" + std::to_wstring(port_);
        const std::wstring key = SectionKey(L"Service");
        return WriteUserString(key, L"ConversionRateUrl", base + L"/CurrencyConvertor.asmx") &&
               WriteUserString(key, L"ExchangeRateUrl", base + L"/soap");
    }

    // The tray tip names the pair and this rate, as the program shows it.
    static bool TipShows(const std::wstring& rate) {
        const std::wstring line = L"\nUSD/JPY " + rate + L" ";
        for (const std::wstring& text : ToolTipTextsOnDesktop())
            if (text.find(line) != std::wstring::npos) return true;
        return false;
    }
    static int BluePixels(HWND window) {
        RECT rc;
        if (!GetWindowRect(window, &rc)) return -1;
        Pixels shot(rc.right - rc.left, rc.bottom - rc.top);
        if (!shot.ok() || !CaptureScreen(rc, shot)) return -1;
        return CountColour(shot, kCaptureBlue);
    }

    AppProcess service_;
    std::wstring peer_, tag_, instance_, liveUrl_, folder_;
    int port_ = 0;
};

TEST_F(RateServiceMonitorTest, ANewLiveRateReachesTheWindowWithinARoundAndAPoll) {
    ASSERT_TRUE(SetYenPerDollar("155.2000"));
    ASSERT_NO_FATAL_FAILURE(StartService());
    ASSERT_TRUE(UseService());
    ASSERT_TRUE(StartApp());
    ASSERT_TRUE(SelectComboIndex(Control(kIdCurrency1), kUsd));
    ASSERT_TRUE(SelectComboIndex(Control(kIdCurrency2), kJpy));
    HWND onOff = GetDlgItem(app_.PageWith(kIdInterval), kIdMonitorOnOff);
    ASSERT_TRUE(ClickButton(onOff));
    ASSERT_TRUE(WaitUntil([&] { return WindowText(onOff) == L"OFF"; }, kReactTimeout));
    HWND osd = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (osd = app_.OsdWindow()) != nullptr; }, kWindowTimeout));

    // The first poll shows the publisher's rate, and the window goes again.
    ASSERT_TRUE(WaitUntil([] { return TipShows(L"155.2000"); }, kPollPeriod + kSlack)) << ServiceLog();
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(osd); }, kShowTimeout));

    // The publisher moves: the next live round takes it, the next poll shows
    // it, in the rise colour.
    ASSERT_TRUE(SetYenPerDollar("156.7500"));
    EXPECT_TRUE(WaitUntil([] { return TipShows(L"156.7500"); }, kLiveRound + kPollPeriod + kSlack)) << ServiceLog();
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(osd) != FALSE; }, kReactTimeout)) << "the window stayed hidden";
    int blue = 0;
    EXPECT_TRUE(WaitUntil([&] { return (blue = BluePixels(osd)) >= kMinGlyphPixels; }, kReactTimeout))
        << blue << " pixels in the rise colour";

    ASSERT_TRUE(ClickButton(Control(kIdExit)));
    EXPECT_TRUE(app_.process().WaitForExit().has_value());
    StopService();
}

}  // namespace
}  // namespace driver::zelvane
