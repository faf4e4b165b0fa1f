// The alarm and log pages as their user meets them: control ids written
// down on their own (a wrong id in the program shows up as a failing test),
// and a fixture that works the pages and answers their messages.
#pragma once

#include <string>

#include "tests/driver/e2e_fixture.h"
#include "tests/driver/message_box.h"
#include "tests/driver/tab_control.h"
#include "tests/driver/user_input.h"
#include "tests/driver/window_query.h"

namespace driver::zelvane {

// Alarm page controls.
constexpr int kIdCheckHigh = 1026;
constexpr int kIdLimitHigh = 1028;
constexpr int kIdSoundHigh = 1006;
constexpr int kIdCheckLow = 1027;
constexpr int kIdLimitLow = 1029;
constexpr int kIdSoundLow = 1023;
constexpr int kIdAlarmSwitch = 1030;
// Sound chooser controls.
constexpr int kIdSoundPath = 1013;
constexpr int kIdSoundSelect = 1014;
constexpr int kIdSoundPlay = 1015;
// Log page controls: the first radio of each group, the switch.
constexpr int kIdDateFirst = 1051;
constexpr int kIdTimeFirst = 1055;
constexpr int kIdDelimiterFirst = 1058;
constexpr int kIdLogSwitch = 1006;
constexpr int kIdLogFolder = 1023;

constexpr wchar_t kSoundCaption[] = L"音の選択";
constexpr wchar_t kFileDialogCaption[] = L"鳴らす音を選択してください";
constexpr wchar_t kPlaceholder[] = L"右のボタンを押してください";
constexpr wchar_t kChooseSound[] = L"サウンドファイルを選択してください";

inline std::wstring AlarmKey() { return SectionKey(L"Alarm"); }
inline std::wstring LogKey() { return SectionKey(L"Log"); }

inline bool IsChecked(HWND button) { return SendWithTimeout(button, BM_GETCHECK, 0, 0, -1) == BST_CHECKED; }

class PagesTest : public ZelvaneTest {
protected:
    HWND AlarmPage() const { return app_.PageWith(kIdAlarmSwitch); }
    HWND LogPage() const { return app_.PageWith(kIdDateFirst); }
    HWND Alarm(int id) const { return GetDlgItem(AlarmPage(), id); }
    HWND Log(int id) const { return GetDlgItem(LogPage(), id); }

    ::testing::AssertionResult ShowTab(int tab, HWND page) {
        if (!page) return ::testing::AssertionFailure() << "no such page";
        if (!ClickTab(Control(kIdTab), tab)) return ::testing::AssertionFailure() << "tab " << tab << " not selected";
        if (!WaitUntil([&] { return IsWindowVisible(page) != FALSE; }, kReactTimeout))
            return ::testing::AssertionFailure() << "page of tab " << tab << " not shown";
        return ::testing::AssertionSuccess();
    }

    ::testing::AssertionResult Tick(HWND box) {
        if (!ClickButton(box)) return ::testing::AssertionFailure() << "cannot click";
        if (!WaitUntil([&] { return IsChecked(box); }, kReactTimeout))
            return ::testing::AssertionFailure() << "box not ticked";
        return ::testing::AssertionSuccess();
    }

    // The next message box says text with this icon; it is answered with OK
    // and gone before this returns.
    void ExpectMessage(const std::wstring& text, MessageBoxIcon icon = MessageBoxIcon::kExclamation) {
        const auto box = WaitForMessageBox(app_.pid());
        ASSERT_TRUE(box.has_value()) << "no message box; expected " << ::testing::PrintToString(text);
        EXPECT_EQ(box->text, text);
        EXPECT_EQ(box->caption, kAppName);
        EXPECT_EQ(box->icon, icon) << IconName(box->icon);
        EXPECT_EQ(box->ButtonSet(), "OK");
        ASSERT_TRUE(AnswerMessageBox(*box, IDOK));
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box->hwnd) || !IsWindowVisible(box->hwnd); }, kReactTimeout));
    }

    bool CaptionBecomes(HWND button, const wchar_t* text) const {
        return WaitUntil([&] { return WindowText(button) == text; }, kReactTimeout);
    }

    // The focus sits in the field with all of its text selected.
    void ExpectRefusedFieldFocused(HWND field, size_t length) {
        EXPECT_TRUE(WaitUntil([&] { return FocusOf(field) == field; }, kReactTimeout)) << "focus not given back";
        const DWORD sel = static_cast<DWORD>(SendWithTimeout(field, EM_GETSEL, 0, 0, 0));
        EXPECT_EQ(LOWORD(sel), 0u);
        EXPECT_EQ(HIWORD(sel), length);
    }
};

}  // namespace driver::zelvane
