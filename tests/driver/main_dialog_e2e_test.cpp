// The main dialog of the real program under Wine, worked from outside.
#include <set>

#include "tests/driver/combo_box.h"
#include "tests/driver/e2e_fixture.h"
#include "tests/driver/tab_control.h"
#include "tests/driver/user_input.h"
#include "tests/driver/window_query.h"

namespace driver::zelvane {
namespace {

constexpr wchar_t kUsd[] = L"USD-U.S. Dollar";
constexpr wchar_t kJpy[] = L"JPY-Japanese Yen";
constexpr wchar_t kLastCurrency[] = L"TRY-New Turkish Lira";

// The one visible page once the tab switch has run, or null when none or
// several are visible for the whole time-out.
HWND SoleVisiblePage(const App& app) {
    HWND page = nullptr;
    WaitUntil(
        [&] {
            const std::vector<HWND> visible = app.VisiblePages();
            page = visible.size() == 1 ? visible[0] : nullptr;
            return page != nullptr;
        },
        kReactTimeout);
    return page;
}

TEST_F(ZelvaneTest, FirstStartShowsDefaultPairAndMonitorPage) {
    ASSERT_TRUE(StartApp());
    EXPECT_EQ(ClassName(app_.mainDialog()), L"#32770");

    for (int id : {kIdCurrency1, kIdCurrency2}) {
        SCOPED_TRACE(id);
        HWND combo = Control(id);
        ASSERT_NE(combo, nullptr);
        EXPECT_EQ(ComboCount(combo), kCurrencyCount);
        EXPECT_EQ(ComboItemText(combo, kCurrencyCount - 1), kLastCurrency);
    }
    EXPECT_EQ(ComboSelection(Control(kIdCurrency1)), kDefaultCurrency1);
    EXPECT_EQ(ComboSelectedText(Control(kIdCurrency1)), kUsd);
    EXPECT_EQ(WindowText(Control(kIdCurrency1)), kUsd);
    EXPECT_EQ(ComboSelection(Control(kIdCurrency2)), kDefaultCurrency2);
    EXPECT_EQ(WindowText(Control(kIdCurrency2)), kJpy);
    // Both boxes list the same currencies in the same, unsorted order.
    EXPECT_EQ(ComboItems(Control(kIdCurrency1)), ComboItems(Control(kIdCurrency2)));

    EXPECT_EQ(WindowText(Control(kIdRate)), L"");
    EXPECT_FALSE(IsWindowEnabled(Control(kIdChart)));
    EXPECT_FALSE(IsWindowEnabled(Control(kIdHide)));
    EXPECT_TRUE(IsWindowEnabled(Control(kIdGet)));
    EXPECT_TRUE(IsWindowEnabled(Control(kIdExit)));
    EXPECT_EQ(WindowText(Control(kIdGet)), L"GET");
    EXPECT_EQ(WindowText(Control(kIdExit)), L"終了");
    EXPECT_EQ(WindowText(Control(kIdHide)), L"隠す");

    HWND tab = Control(kIdTab);
    ASSERT_EQ(TabCount(tab), kTabCount);
    EXPECT_EQ(TabSelection(tab), kTabMonitor);
    const wchar_t* const names[] = {L"Monitor", L"Alarm", L"Log", L"Excel"};
    for (int i = 0; i < kTabCount; ++i) EXPECT_EQ(TabItemText(tab, i).value_or(L"<no answer>"), names[i]);

    const std::vector<HWND> pages = app_.Pages();
    ASSERT_EQ(pages.size(), 4u);
    EXPECT_EQ(app_.VisiblePages().size(), 1u);
    // Pages sit just below the tab row, at (1, 21) of the tab control.
    for (HWND page : pages) {
        RECT rc;
        ASSERT_TRUE(GetWindowRect(page, &rc));
        MapWindowPoints(HWND_DESKTOP, tab, reinterpret_cast<POINT*>(&rc), 2);
        EXPECT_EQ(rc.left, 1);
        EXPECT_EQ(rc.top, 21);
    }
}

TEST_F(ZelvaneTest, EachTabShowsExactlyItsOwnPage) {
    ASSERT_TRUE(StartApp());
    HWND tab = Control(kIdTab);
    HWND monitorPage = SoleVisiblePage(app_);
    ASSERT_NE(monitorPage, nullptr);

    std::set<HWND> seen{monitorPage};
    for (int index : {kTabAlarm, kTabLog, kTabExcel}) {
        SCOPED_TRACE(index);
        ASSERT_TRUE(ClickTab(tab, index));
        // Wait for the switch itself, not only for the tab's selection.
        HWND page = nullptr;
        ASSERT_TRUE(WaitUntil(
            [&] {
                page = SoleVisiblePage(app_);
                return page && !seen.count(page);
            },
            kReactTimeout))
            << "tab " << index << " shows no page of its own";
        seen.insert(page);
    }
    EXPECT_EQ(seen.size(), 4u);

    ASSERT_TRUE(ClickTab(tab, kTabMonitor));
    ASSERT_TRUE(WaitUntil([&] { return SoleVisiblePage(app_) == monitorPage; }, kReactTimeout));
}

TEST_F(ZelvaneTest, StoredPairIsRestored) {
    ASSERT_TRUE(WriteUserDword(SectionKey(L"Base"), L"nCurrency1", kDefaultCurrency2));
    ASSERT_TRUE(WriteUserDword(SectionKey(L"Base"), L"nCurrency2", kCurrencyCount - 1));
    ASSERT_TRUE(StartApp());
    EXPECT_EQ(ComboSelection(Control(kIdCurrency1)), kDefaultCurrency2);
    EXPECT_EQ(WindowText(Control(kIdCurrency1)), kJpy);
    EXPECT_EQ(ComboSelection(Control(kIdCurrency2)), kCurrencyCount - 1);
    EXPECT_EQ(WindowText(Control(kIdCurrency2)), kLastCurrency);
}

TEST_F(ZelvaneTest, CurrencyIndexOutOfRangeLeavesPickerEmpty) {
    ASSERT_TRUE(WriteUserDword(SectionKey(L"Base"), L"nCurrency1", 200));
    ASSERT_TRUE(StartApp());
    EXPECT_EQ(ComboSelection(Control(kIdCurrency1)), CB_ERR);
    EXPECT_EQ(WindowText(Control(kIdCurrency1)), L"");
    EXPECT_EQ(ComboCount(Control(kIdCurrency1)), kCurrencyCount);
    // The other picker keeps its default.
    EXPECT_EQ(WindowText(Control(kIdCurrency2)), kJpy);
}

TEST_F(ZelvaneTest, PickersFollowTheKeyboard) {
    ASSERT_TRUE(StartApp());
    HWND first = Control(kIdCurrency1);
    ASSERT_TRUE(SelectComboText(first, kJpy));
    EXPECT_EQ(ComboSelection(first), kDefaultCurrency2);
    EXPECT_EQ(WindowText(first), kJpy);
    ASSERT_TRUE(SelectComboIndex(first, kCurrencyCount - 1));
    EXPECT_EQ(WindowText(first), kLastCurrency);
    // Choosing is not saving: the pair is stored by a query only.
    EXPECT_FALSE(ReadUserDword(SectionKey(L"Base"), L"nCurrency1").has_value());
}

TEST_F(ZelvaneTest, FirstStartCreatesBaseKeyWithoutWritingValues) {
    // A true first start: not even the fixture's service setting.
    ASSERT_TRUE(DeleteUserKeyTree(kSettingsKey));
    ASSERT_FALSE(UserKeyExists(kSettingsKey));
    ASSERT_TRUE(StartApp());
    EXPECT_TRUE(UserKeyExists(SectionKey(L"Base")));
    EXPECT_FALSE(ReadUserDword(SectionKey(L"Base"), L"nCurrency1").has_value());
    EXPECT_FALSE(ReadUserDword(SectionKey(L"Base"), L"nCurrency2").has_value());
}

TEST_F(ZelvaneTest, EscEndsTheProgram) {
    ASSERT_TRUE(StartApp());
    ASSERT_TRUE(PressKeyInDialog(app_.mainDialog(), VK_ESCAPE));
    const auto code = app_.process().WaitForExit();
    ASSERT_TRUE(code.has_value()) << "still running after Esc";
    EXPECT_EQ(*code, 0u);
}

TEST_F(ZelvaneTest, EnterRunsGetWithoutEndingTheDialog) {
    ASSERT_TRUE(StartApp());
    ASSERT_TRUE(PressKeyInDialog(app_.mainDialog(), VK_RETURN));
    // The tab click is queued behind the key: once it has taken effect the
    // key has been handled too.
    ASSERT_TRUE(ClickTab(Control(kIdTab), kTabAlarm));
    EXPECT_TRUE(app_.process().IsRunning());
    EXPECT_TRUE(IsWindowVisible(app_.mainDialog()));
}

TEST_F(ZelvaneTest, ExitButtonEndsTheProgram) {
    ASSERT_TRUE(StartApp());
    ASSERT_TRUE(ClickButton(Control(kIdExit)));
    const auto code = app_.process().WaitForExit();
    ASSERT_TRUE(code.has_value()) << "still running after the exit button";
    EXPECT_EQ(*code, 0u);
}

TEST_F(ZelvaneTest, CloseBoxEndsTheProgram) {
    ASSERT_TRUE(StartApp());
    ASSERT_TRUE(ClickCloseBox(app_.mainDialog()));
    const auto code = app_.process().WaitForExit();
    ASSERT_TRUE(code.has_value()) << "still running after the close box";
    EXPECT_EQ(*code, 0u);
}

}  // namespace
}  // namespace driver::zelvane
