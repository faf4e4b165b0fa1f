// Alarms and the rate log driven by the running monitor of the real program
// under Wine, against the scripted rate peer (the raw server of
// tests/services answers ConversionRate with the rate the test wrote into
// its state folder). One run of the program checks both, so the case waits
// for as few 20 s periods as it can.
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "tests/driver/monitor_peer_test.h"
#include "tests/driver/combo_box.h"
#include "tests/driver/file_text.h"
#include "tests/driver/rate_servers.h"
#include "tests/driver/registry.h"

namespace driver::zelvane {
namespace {

constexpr int kEur = 42;
constexpr int kUsd = 138;

// One period of 20 s, the probe and a poll's exchange, with room for a
// loaded machine.
constexpr milliseconds kPeriodTimeout{45000};

class AlarmLogMonitorTest : public MonitorPeerTest {
protected:
    AlarmLogMonitorTest() : MonitorPeerTest("alarmlog") {}

    void SwitchOn(HWND onOff) {
        ASSERT_TRUE(ClickButton(onOff));
        ASSERT_TRUE(CaptionBecomes(onOff, L"OFF"));
    }
};

TEST_F(AlarmLogMonitorTest, OnlyARateAtALimitShowsTheWindowAndEveryPollIsLogged) {
    ASSERT_TRUE(peer_.Use());
    ASSERT_TRUE(peer_.SetRate("1.2345"));
    // Upper limit 1.3 with a sound; the lower one unarmed.
    ASSERT_TRUE(WriteUserDword(AlarmKey(), L"bHighLimit", 1));
    ASSERT_TRUE(WriteUserString(AlarmKey(), L"dLimitHigh", L"1.3"));
    ASSERT_TRUE(WriteUserString(AlarmKey(), L"SoundPathHigh", wav_));
    // YYYY/MM/DD, HH:MM:SS, comma, into the test's folder, where a line of
    // an earlier run waits.
    ASSERT_TRUE(WriteUserDword(LogKey(), L"DateFormat", 1));
    ASSERT_TRUE(WriteUserDword(LogKey(), L"TimeFormat", 0));
    ASSERT_TRUE(WriteUserDword(LogKey(), L"Delimiter", 2));
    ASSERT_TRUE(WriteUserString(LogKey(), L"FolderPath", folder_));
    { std::ofstream(LogFile().c_str(), std::ios::binary) << "earlier\r\n"; }

    ASSERT_TRUE(StartApp());
    ASSERT_TRUE(SelectComboIndex(Control(kIdCurrency1), kEur));
    ASSERT_TRUE(SelectComboIndex(Control(kIdCurrency2), kUsd));
    ASSERT_TRUE(ShowTab(kTabAlarm, AlarmPage()));
    ASSERT_NO_FATAL_FAILURE(SwitchOn(Alarm(kIdAlarmSwitch)));
    ASSERT_TRUE(ShowTab(kTabLog, LogPage()));
    ASSERT_NO_FATAL_FAILURE(SwitchOn(Log(kIdLogSwitch)));
    ASSERT_TRUE(ShowTab(kTabMonitor, app_.PageWith(kIdInterval)));
    ASSERT_NO_FATAL_FAILURE(SwitchOn(GetDlgItem(app_.PageWith(kIdInterval), kIdMonitorOnOff)));

    HWND osd = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (osd = app_.OsdWindow()) != nullptr; }, kWindowTimeout));
    ASSERT_TRUE(WaitUntil([&] { return peer_.Requests() >= 1; }, kReactTimeout)) << "no probe";

    // First poll: a change (from nothing) but below the limit: logged, not shown.
    ASSERT_TRUE(WaitUntil([&] { return peer_.Requests() >= 2; }, kPeriodTimeout)) << "no first poll";
    ASSERT_TRUE(peer_.SetRate("1.3"));

    // Logging switched off and on again between polls appends to the same
    // file. (The file is read only once the window shows: the program opens
    // it without sharing, and a read during a poll would make it fail.)
    ASSERT_TRUE(ShowTab(kTabLog, LogPage()));
    ASSERT_TRUE(ClickButton(Log(kIdLogSwitch)));
    ASSERT_TRUE(CaptionBecomes(Log(kIdLogSwitch), L"ON"));
    ASSERT_NO_FATAL_FAILURE(SwitchOn(Log(kIdLogSwitch)));

    // Second poll: the rate at the upper limit shows the window; until then
    // it stays hidden.
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(osd) != FALSE || peer_.Requests() >= 3; }, kPeriodTimeout));
    EXPECT_GE(peer_.Requests(), 3) << "shown for a rate between the limits";
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(osd) != FALSE; }, kReactTimeout))
        << "not shown for a rate at the limit";

    ASSERT_TRUE(WaitUntil([&] { return Lines(ReadAll(LogFile())) >= 3; }, kReactTimeout)) << ReadAll(LogFile());
    const std::string log = ReadAll(LogFile());
    const std::regex expected(
        "earlier\r\n"
        "\\d{4}/\\d\\d/\\d\\d,\\d\\d:\\d\\d:\\d\\d,1\\.2345\r\n"
        "\\d{4}/\\d\\d/\\d\\d,\\d\\d:\\d\\d:\\d\\d,1\\.3000\r\n");
    EXPECT_TRUE(std::regex_match(log, expected)) << log;
}

}  // namespace
}  // namespace driver::zelvane
