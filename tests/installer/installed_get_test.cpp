// GET in the installed program with no "Service" setting written: the
// compiled defaults must reach the installed rate service. Run by
// msi_test.py inside its own Wine prefix, with the installed Zelvane.exe in
// ZELVANE_EXE and the rate the service must give in ZELVANE_EXPECTED_RATE.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/driver/message_box.h"
#include "tests/driver/registry.h"
#include "tests/driver/user_input.h"
#include "tests/driver/wait.h"
#include "tests/driver/window_query.h"
#include "tests/driver/zelvane_app.h"

namespace driver::zelvane {
namespace {

// Both services may be asked, each bounded by 10 s in the program.
constexpr milliseconds kQueryTimeout{30000};

std::wstring Widen(const char* text) {
    std::wstring out;
    for (; text && *text; ++text) out += static_cast<wchar_t>(static_cast<unsigned char>(*text));
    return out;
}

TEST(InstalledGet, DefaultServiceGivesTheRate) {
    const std::wstring expected = Widen(std::getenv("ZELVANE_EXPECTED_RATE"));
    ASSERT_FALSE(expected.empty()) << "ZELVANE_EXPECTED_RATE is not set";
    // A written setting would hide a wrong compiled default.
    ASSERT_FALSE(UserKeyExists(SectionKey(L"Service")));
    // Under Wine the service's sockets belong to wineserver, so its owner
    // cannot be seen: the user's setting believes the default endpoints.
    ASSERT_TRUE(WriteUserDword(SectionKey(L"Service"), L"CheckLocalServiceOwner", 0));

    App app;
    ASSERT_TRUE(app.Start()) << app.error();
    ASSERT_TRUE(ClickButton(app.Control(kIdGet)));
    std::wstring shown;
    const bool got = WaitUntil(
        [&] {
            shown = WindowText(app.Control(kIdRate));
            return shown == expected || FindMessageBox(app.pid()).has_value();
        },
        kQueryTimeout);
    EXPECT_TRUE(got && shown == expected) << "the rate field shows \"" << std::string(shown.begin(), shown.end())
                                          << "\"" << (FindMessageBox(app.pid()) ? " beside a message box" : "");
    app.process().Kill();
}

}  // namespace
}  // namespace driver::zelvane
