// The driver's message-box reader against real message boxes shown by a
// stand-in program, so that later end-to-end cases can trust what it reads.
#include <gtest/gtest.h>

#include <string>

#include "tests/driver/app_process.h"
#include "tests/driver/message_box.h"
#include "tests/driver/registry.h"
#include "tests/driver/wine_path.h"

namespace driver {
namespace {

// Under Wine without a window manager, a managed window's process waits two
// seconds for a withdrawal that never comes when its window goes away. The
// stand-in's windows need no manager, so it ends at once. (Ignored on Windows.)
class UnmanagedProbe : public ::testing::Environment {
public:
    void SetUp() override {
        WriteUserString(L"Software\\Wine\\AppDefaults\\driver_probe.exe\\X11 Driver", L"Managed", L"N");
    }
};
const auto* const kUnmanagedProbe = ::testing::AddGlobalTestEnvironment(new UnmanagedProbe);

struct Shown {
    AppProcess process;
    std::optional<MessageBoxInfo> box;
};

void Show(UINT type, const std::wstring& caption, const std::wstring& text, Shown& out) {
    const std::wstring probe = ToWindowsPath(EnvVar(L"DRIVER_PROBE_EXE"));
    ASSERT_FALSE(probe.empty()) << "DRIVER_PROBE_EXE is not set";
    const std::wstring args = std::to_wstring(type) + L" \"" + caption + L"\" \"" + text + L"\"";
    ASSERT_TRUE(out.process.Start(probe, args)) << out.process.lastError();
    out.box = WaitForMessageBox(out.process.pid());
    ASSERT_TRUE(out.box.has_value()) << "no message box";
}

TEST(MessageBoxReader, ReadsCaptionTextButtonsAndAnswers) {
    Shown shown;
    Show(MB_OKCANCEL | MB_ICONEXCLAMATION, L"Zelvane", L"通貨を選択してください", shown);
    if (HasFatalFailure()) return;
    EXPECT_EQ(shown.box->caption, L"Zelvane");
    EXPECT_EQ(shown.box->text, L"通貨を選択してください");
    EXPECT_EQ(shown.box->ButtonSet(), "OK|Cancel");
    EXPECT_EQ(IconName(shown.box->icon), std::string("exclamation"));
    ASSERT_TRUE(AnswerMessageBox(*shown.box, IDCANCEL));
    EXPECT_EQ(shown.process.WaitForExit().value_or(0), static_cast<DWORD>(IDCANCEL));
}

TEST(MessageBoxReader, RefusesAButtonTheBoxDoesNotHave) {
    Shown shown;
    Show(MB_YESNO | MB_ICONQUESTION, L"Zelvane", L"?", shown);
    if (HasFatalFailure()) return;
    EXPECT_EQ(shown.box->ButtonSet(), "Yes|No");
    EXPECT_FALSE(AnswerMessageBox(*shown.box, IDOK));
    ASSERT_TRUE(AnswerMessageBox(*shown.box, IDYES));
    EXPECT_EQ(shown.process.WaitForExit().value_or(0), static_cast<DWORD>(IDYES));
}

struct IconCase {
    UINT type;
    MessageBoxIcon icon;
};

class MessageBoxIconTest : public ::testing::TestWithParam<IconCase> {};

TEST_P(MessageBoxIconTest, TellsTheIconsApart) {
    Shown shown;
    Show(MB_OK | GetParam().type, L"Zelvane", L"text", shown);
    if (HasFatalFailure()) return;
    EXPECT_EQ(IconName(shown.box->icon), std::string(IconName(GetParam().icon)));
    EXPECT_EQ(shown.box->ButtonSet(), "OK");
    ASSERT_TRUE(AnswerMessageBox(*shown.box, IDOK));
    EXPECT_EQ(shown.process.WaitForExit().value_or(0), static_cast<DWORD>(IDOK));
}

INSTANTIATE_TEST_SUITE_P(Icons, MessageBoxIconTest,
                         ::testing::Values(IconCase{0, MessageBoxIcon::kNone},
                                           IconCase{MB_ICONHAND, MessageBoxIcon::kError},
                                           IconCase{MB_ICONQUESTION, MessageBoxIcon::kQuestion},
                                           IconCase{MB_ICONEXCLAMATION, MessageBoxIcon::kExclamation},
                                           IconCase{MB_ICONASTERISK, MessageBoxIcon::kInformation}),
                         [](const ::testing::TestParamInfo<IconCase>& info) {
                             return std::string(IconName(info.param.icon));
                         });

}  // namespace
}  // namespace driver
