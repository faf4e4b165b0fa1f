// The alarm page, its sound chooser and the log page in the real program
// under Wine: the switch-on steps with their messages in order, the limit
// fields' reading on loss of focus, a sound picked through the real
// file-open dialog, and what each switch saves in the registry.
#include <fstream>
#include <string>

#include "tests/driver/alarm_log_pages.h"
#include "tests/driver/file_dialog.h"
#include "tests/driver/registry.h"

namespace driver::zelvane {
namespace {

TEST_F(PagesTest, AlarmSwitchOnShowsEachStepsMessageInOrderAndSavesNothing) {
    // An upper sound from an earlier run, so the later steps can be reached.
    ASSERT_TRUE(WriteUserString(AlarmKey(), L"SoundPathHigh", L"C:\\sounds\\high.wav"));
    ASSERT_TRUE(StartApp());
    ASSERT_TRUE(ShowTab(kTabAlarm, AlarmPage()));

    // First start: nothing ticked, fields "0" and disabled with their buttons, alarms off.
    EXPECT_FALSE(IsChecked(Alarm(kIdCheckHigh)));
    EXPECT_FALSE(IsChecked(Alarm(kIdCheckLow)));
    for (int id : {kIdLimitHigh, kIdLimitLow}) EXPECT_EQ(WindowText(Alarm(id)), L"0") << id;
    for (int id : {kIdLimitHigh, kIdSoundHigh, kIdLimitLow, kIdSoundLow}) EXPECT_FALSE(IsWindowEnabled(Alarm(id))) << id;
    HWND onOff = Alarm(kIdAlarmSwitch);
    EXPECT_EQ(WindowText(onOff), L"ON");

    ASSERT_TRUE(ClickButton(onOff));
    ASSERT_NO_FATAL_FAILURE(ExpectMessage(L"値と音を設定してください"));

    ASSERT_TRUE(Tick(Alarm(kIdCheckHigh)));
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(Alarm(kIdLimitHigh)) && IsWindowEnabled(Alarm(kIdSoundHigh)); },
                          kReactTimeout));
    EXPECT_FALSE(IsWindowEnabled(Alarm(kIdLimitLow)));
    // A field without a number is refused, and the switch-on goes on with
    // the upper limit as it stood: still 0.
    ASSERT_TRUE(SetControlText(Alarm(kIdLimitHigh), L"abc"));
    ASSERT_TRUE(ClickButton(onOff));
    ASSERT_NO_FATAL_FAILURE(ExpectMessage(L"Please enter a number."));
    ASSERT_NO_FATAL_FAILURE(ExpectMessage(L"上限値を入力してください"));

    ASSERT_TRUE(SetControlText(Alarm(kIdLimitHigh), L"120"));
    ASSERT_TRUE(Tick(Alarm(kIdCheckLow)));
    ASSERT_TRUE(ClickButton(onOff));
    ASSERT_NO_FATAL_FAILURE(ExpectMessage(L"下限値を入力してください"));

    ASSERT_TRUE(SetControlText(Alarm(kIdLimitLow), L"100"));
    ASSERT_TRUE(ClickButton(onOff));
    ASSERT_NO_FATAL_FAILURE(ExpectMessage(L"下限値の音を選択してください"));

    // Every attempt failed: alarms off, nothing written.
    EXPECT_EQ(WindowText(onOff), L"ON");
    for (const wchar_t* name : {L"bHighLimit", L"bLowLimit"})
        EXPECT_FALSE(ReadUserDword(AlarmKey(), name).has_value()) << name;
    for (const wchar_t* name : {L"dLimitHigh", L"dLimitLow", L"SoundPathLow"})
        EXPECT_FALSE(ReadUserString(AlarmKey(), name).has_value()) << name;
    EXPECT_EQ(ReadUserString(AlarmKey(), L"SoundPathHigh"), std::optional<std::wstring>(L"C:\\sounds\\high.wav"));
}

TEST_F(PagesTest, LimitFieldRefusesOnLossOfFocus) {
    ASSERT_TRUE(WriteUserDword(AlarmKey(), L"bHighLimit", 1));
    ASSERT_TRUE(WriteUserDword(AlarmKey(), L"bLowLimit", 1));
    ASSERT_TRUE(StartApp());
    ASSERT_TRUE(ShowTab(kTabAlarm, AlarmPage()));
    HWND high = Alarm(kIdLimitHigh);
    HWND low = Alarm(kIdLimitLow);
    ASSERT_TRUE(IsWindowEnabled(high) && IsWindowEnabled(low));

    struct Case {
        const wchar_t* text;
        const wchar_t* message;
    };
    const Case cases[] = {
        {L"10001", L"Please enter a number between 0 and 10000."},
        {L"abc", L"Please enter a number."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(c.text)));
        ASSERT_TRUE(ClickAt(high, 5, 5));
        ASSERT_TRUE(WaitUntil([&] { return FocusOf(high) == high; }, kReactTimeout));
        ASSERT_TRUE(SetControlText(high, c.text));
        // Clicking into the other field takes the focus from this one.
        ASSERT_TRUE(ClickAt(low, 5, 5));
        ASSERT_NO_FATAL_FAILURE(ExpectMessage(c.message));
        ExpectRefusedFieldFocused(high, wcslen(c.text));
        EXPECT_EQ(WindowText(high), c.text);
    }
}

TEST_F(PagesTest, SoundChosenThroughTheFileDialogIsSavedAtTheNextSwitchOn) {
    wchar_t tmp[MAX_PATH] = {};
    ASSERT_GT(GetTempPathW(MAX_PATH, tmp), 0u);
    const std::wstring wav = std::wstring(tmp) + L"zelvane-alarm-" + std::to_wstring(GetCurrentProcessId()) + L".wav";
    { std::ofstream(wav.c_str(), std::ios::binary) << "RIFF"; }

    ASSERT_TRUE(StartApp());
    ASSERT_TRUE(ShowTab(kTabAlarm, AlarmPage()));
    ASSERT_TRUE(Tick(Alarm(kIdCheckHigh)));
    ASSERT_TRUE(SetControlText(Alarm(kIdLimitHigh), L"120.5 yen"));
    HWND onOff = Alarm(kIdAlarmSwitch);
    ASSERT_TRUE(ClickButton(onOff));
    ASSERT_NO_FATAL_FAILURE(ExpectMessage(L"上限値の音を選択してください"));

    // The chooser without a sound: the placeholder, refused by OK and by play.
    ASSERT_TRUE(ClickButton(Alarm(kIdSoundHigh)));
    HWND chooser = WaitForTopLevel(app_.pid(), kDialogClass, kSoundCaption);
    ASSERT_NE(chooser, nullptr);
    EXPECT_EQ(WindowText(GetDlgItem(chooser, kIdSoundPath)), kPlaceholder);
    ASSERT_TRUE(ClickButton(GetDlgItem(chooser, IDOK)));
    ASSERT_NO_FATAL_FAILURE(ExpectMessage(kChooseSound, MessageBoxIcon::kNone));
    ASSERT_TRUE(ClickButton(GetDlgItem(chooser, kIdSoundPlay)));
    ASSERT_NO_FATAL_FAILURE(ExpectMessage(kChooseSound, MessageBoxIcon::kNone));
    EXPECT_TRUE(IsWindowVisible(chooser));

    // The real file-open dialog picks the file; the chooser shows it.
    ASSERT_TRUE(ClickButton(GetDlgItem(chooser, kIdSoundSelect)));
    ASSERT_TRUE(ChooseFileInDialog(app_.pid(), kFileDialogCaption, wav));
    EXPECT_TRUE(WaitUntil([&] { return WindowText(GetDlgItem(chooser, kIdSoundPath)) == wav; }, kReactTimeout))
        << "the chooser shows " << ::testing::PrintToString(WindowText(GetDlgItem(chooser, kIdSoundPath)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(chooser, kIdSoundPlay)));
    ASSERT_TRUE(ClickButton(GetDlgItem(chooser, IDOK)));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(chooser); }, kReactTimeout));
    // Chosen is not saved.
    EXPECT_FALSE(ReadUserString(AlarmKey(), L"SoundPathHigh").has_value());

    // Now the switch-on succeeds and saves the six settings.
    ASSERT_TRUE(ClickButton(onOff));
    ASSERT_TRUE(CaptionBecomes(onOff, L"OFF"));
    EXPECT_EQ(ReadUserDword(AlarmKey(), L"bHighLimit"), std::optional<DWORD>(1));
    EXPECT_EQ(ReadUserString(AlarmKey(), L"dLimitHigh"), std::optional<std::wstring>(L"120.5 yen"));
    EXPECT_EQ(ReadUserString(AlarmKey(), L"SoundPathHigh"), std::optional<std::wstring>(wav));
    EXPECT_EQ(ReadUserDword(AlarmKey(), L"bLowLimit"), std::optional<DWORD>(0));
    EXPECT_EQ(ReadUserString(AlarmKey(), L"dLimitLow"), std::optional<std::wstring>(L"0"));
    EXPECT_EQ(ReadUserString(AlarmKey(), L"SoundPathLow"), std::optional<std::wstring>(L""));

    // Switch-off saves nothing.
    ASSERT_TRUE(SetControlText(Alarm(kIdLimitHigh), L"130"));
    ASSERT_TRUE(ClickButton(onOff));
    ASSERT_TRUE(CaptionBecomes(onOff, L"ON"));
    EXPECT_EQ(ReadUserString(AlarmKey(), L"dLimitHigh"), std::optional<std::wstring>(L"120.5 yen"));
    DeleteFileW(wav.c_str());
}

TEST_F(PagesTest, LogSwitchOnSavesTheChosenFormsAndFolderAndSwitchOffNothing) {
    ASSERT_TRUE(WriteUserDword(LogKey(), L"DateFormat", 2));
    ASSERT_TRUE(WriteUserDword(LogKey(), L"TimeFormat", 7));  // outside its group
    ASSERT_TRUE(WriteUserDword(LogKey(), L"Delimiter", 1));
    ASSERT_TRUE(WriteUserString(LogKey(), L"FolderPath", L"C:\\ログ\\"));
    ASSERT_TRUE(StartApp());
    ASSERT_TRUE(ShowTab(kTabLog, LogPage()));

    auto selected = [&](int first, int count) {
        int index = -1;
        for (int i = 0; i < count; ++i)
            if (IsChecked(Log(first + i))) index = index == -1 ? i : -2;
        return index;
    };
    EXPECT_EQ(selected(kIdDateFirst, 4), 2);
    EXPECT_EQ(selected(kIdTimeFirst, 3), -1);
    EXPECT_EQ(selected(kIdDelimiterFirst, 3), 1);
    HWND onOff = Log(kIdLogSwitch);
    EXPECT_EQ(WindowText(onOff), L"ON");

    ASSERT_TRUE(ClickButton(Log(kIdDateFirst + 1)));  // YYYY/MM/DD
    ASSERT_TRUE(ClickButton(Log(kIdTimeFirst)));      // HH:MM:SS
    ASSERT_TRUE(WaitUntil([&] { return selected(kIdDateFirst, 4) == 1 && selected(kIdTimeFirst, 3) == 0; },
                          kReactTimeout));
    EXPECT_EQ(ReadUserDword(LogKey(), L"DateFormat"), std::optional<DWORD>(2)) << "saved before the switch-on";

    ASSERT_TRUE(ClickButton(onOff));
    ASSERT_TRUE(CaptionBecomes(onOff, L"OFF"));
    EXPECT_EQ(ReadUserDword(LogKey(), L"DateFormat"), std::optional<DWORD>(1));
    EXPECT_EQ(ReadUserDword(LogKey(), L"TimeFormat"), std::optional<DWORD>(0));
    EXPECT_EQ(ReadUserDword(LogKey(), L"Delimiter"), std::optional<DWORD>(1));
    EXPECT_EQ(ReadUserString(LogKey(), L"FolderPath"), std::optional<std::wstring>(L"C:\\ログ\\"));

    ASSERT_TRUE(ClickButton(Log(kIdDelimiterFirst + 2)));  // comma
    ASSERT_TRUE(WaitUntil([&] { return selected(kIdDelimiterFirst, 3) == 2; }, kReactTimeout));
    ASSERT_TRUE(ClickButton(onOff));
    ASSERT_TRUE(CaptionBecomes(onOff, L"ON"));
    EXPECT_EQ(ReadUserDword(LogKey(), L"Delimiter"), std::optional<DWORD>(1));
}

// The folder browser: a top-level dialog of the program with a tree in it.
HWND FolderBrowser(DWORD pid, HWND mainDialog) {
    for (HWND top : TopLevelWindows(pid)) {
        if (top == mainDialog || !IsWindowVisible(top) || ClassName(top) != kDialogClass) continue;
        if (FindWindowExW(top, nullptr, L"SysTreeView32", nullptr)) return top;
        for (HWND child : ChildWindows(top))
            if (FindWindowExW(child, nullptr, L"SysTreeView32", nullptr)) return top;
    }
    return nullptr;
}

TEST_F(PagesTest, FolderBrowserOpensAtTheCurrentFolderAndCancelKeepsIt) {
    wchar_t tmp[MAX_PATH] = {};
    ASSERT_GT(GetTempPathW(MAX_PATH, tmp), 0u);
    std::wstring folder = std::wstring(tmp) + L"zelvane-folder-" + std::to_wstring(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    wchar_t longForm[MAX_PATH] = {};
    ASSERT_GT(GetLongPathNameW(folder.c_str(), longForm, MAX_PATH), 0u);
    folder = longForm;
    ASSERT_TRUE(WriteUserString(LogKey(), L"FolderPath", folder + L"\\"));
    ASSERT_TRUE(StartApp());
    ASSERT_TRUE(ShowTab(kTabLog, LogPage()));
    HWND onOff = Log(kIdLogSwitch);

    // Accepting the browser as it opens keeps the folder it opened at.
    struct Case {
        int answer;
        const char* what;
    };
    for (const Case c : {Case{IDOK, "OK"}, Case{IDCANCEL, "Cancel"}}) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(ClickButton(Log(kIdLogFolder)));
        HWND browser = nullptr;
        ASSERT_TRUE(WaitUntil([&] { return (browser = FolderBrowser(app_.pid(), app_.mainDialog())) != nullptr; },
                              kWindowTimeout));
        ASSERT_TRUE(ClickButton(GetDlgItem(browser, c.answer)));
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(browser); }, kReactTimeout));
        ASSERT_TRUE(ClickButton(onOff));
        ASSERT_TRUE(CaptionBecomes(onOff, L"OFF"));
        EXPECT_EQ(ReadUserString(LogKey(), L"FolderPath").value_or(L"<none>"), folder + L"\\");
        ASSERT_TRUE(ClickButton(onOff));
        ASSERT_TRUE(CaptionBecomes(onOff, L"ON"));
    }
    RemoveDirectoryW(folder.c_str());
}

}  // namespace
}  // namespace driver::zelvane
