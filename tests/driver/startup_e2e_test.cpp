// The single-instance guard and the executable-name settings key, seen from
// outside the program.
#include "tests/driver/e2e_fixture.h"
#include "tests/driver/registry.h"
#include "tests/driver/window_query.h"

namespace driver::zelvane {
namespace {

TEST_F(ZelvaneTest, SecondCopyEndsWithoutAWindow) {
    ASSERT_TRUE(StartApp());
    App second;
    ASSERT_TRUE(second.Launch()) << second.error();
    // Watch the second copy for as long as it lives.
    bool showedWindow = false;
    const bool ended = WaitUntil(
        [&] {
            if (FindTopLevel(second.pid(), nullptr, nullptr, true)) showedWindow = true;
            return !second.process().IsRunning();
        },
        kExitTimeout, milliseconds(5));
    ASSERT_TRUE(ended) << "the second copy did not end";
    EXPECT_FALSE(showedWindow);
    EXPECT_EQ(second.process().WaitForExit(milliseconds(0)).value_or(0xFFFF), 0u);

    // The first copy runs on and still answers.
    EXPECT_TRUE(app_.process().IsRunning());
    EXPECT_TRUE(IsWindowVisible(app_.mainDialog()));
    EXPECT_EQ(WindowText(app_.mainDialog()), kMainCaption);
}

TEST_F(ZelvaneTest, GuardIsReleasedWhenTheProgramEnds) {
    ASSERT_TRUE(StartApp());
    EXPECT_TRUE(AnyCopyRunning());
    ASSERT_TRUE(PostMessageW(app_.mainDialog(), WM_CLOSE, 0, 0));
    ASSERT_TRUE(app_.process().WaitForExit().has_value());
    EXPECT_FALSE(AnyCopyRunning());
    App next;
    ASSERT_TRUE(next.Start()) << next.error();
}

TEST_F(ZelvaneTest, ExecutableNameNamesTheSettingsKey) {
    wchar_t temp[MAX_PATH] = {};
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    const std::wstring copy = std::wstring(temp) + L"ZelvaneRenamed.exe";
    const std::wstring key = L"software\\Morvast\\ZelvaneRenamed";
    ASSERT_TRUE(CopyFileW(ExecutablePath().c_str(), copy.c_str(), FALSE)) << GetLastError();
    ASSERT_TRUE(DeleteUserKeyTree(key));
    ASSERT_TRUE(WriteUserDword(SectionKey(L"Base"), L"nCurrency1", kDefaultCurrency2));
    {
        App renamed;
        ASSERT_TRUE(renamed.Start(copy)) << renamed.error();
        EXPECT_TRUE(UserKeyExists(key + L"\\Base"));
        // Settings of the usual name are not this copy's: it starts with defaults.
        EXPECT_EQ(WindowText(renamed.Control(kIdCurrency1)), L"USD-U.S. Dollar");
        ASSERT_TRUE(PostMessageW(renamed.mainDialog(), WM_CLOSE, 0, 0));
        EXPECT_TRUE(renamed.process().WaitForExit().has_value());
    }
    DeleteUserKeyTree(key);
    DeleteFileW(copy.c_str());
}

}  // namespace
}  // namespace driver::zelvane
