// Every end-to-end case starts from an empty settings key and no running
// copy, and leaves both behind whatever happens.
#pragma once

#include <gtest/gtest.h>

#include "tests/driver/registry.h"
#include "tests/driver/zelvane_app.h"

namespace driver::zelvane {

class ZelvaneTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A copy left by someone else would turn every start into a silent
        // second copy.
        ASSERT_FALSE(AnyCopyRunning()) << "a copy of Zelvane is already running";
        ASSERT_TRUE(DeleteUserKeyTree(kSettingsKey));
        // The rate servers of the tests are Linux processes, and under Wine
        // even the Windows rate service's sockets belong to wineserver: no
        // loopback server has an owner the program could check. Believe the
        // endpoints each case sets; the owner check's own cases turn it on.
        ASSERT_TRUE(WriteUserDword(SectionKey(L"Service"), L"CheckLocalServiceOwner", 0));
    }
    void TearDown() override {
        app_.process().Kill();
        DeleteUserKeyTree(kSettingsKey);
    }

    // Starts the program and waits for its dialog: ASSERT_TRUE(StartApp()).
    ::testing::AssertionResult StartApp() {
        if (app_.Start()) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << app_.error();
    }

    HWND Control(int id) const { return app_.Control(id); }

    App app_;
};

}  // namespace driver::zelvane
