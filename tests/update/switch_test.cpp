// The executable switch on real files under Wine: what is left under the
// program's name when a step is refused by the file system.
#include <gtest/gtest.h>

#include <string>

#include "tests/update/update_files.h"
#include "update/update_agent.h"

namespace {

using driver::update_test::Exists;
using driver::update_test::FileBytes;
using driver::update_test::RemoveFolder;
using Switch = CUpdateAgent::Switch;

class SwitchTest : public testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH + 1] = {};
        ASSERT_NE(GetTempPathW(MAX_PATH + 1, temp), 0u);
        folder_ = std::wstring(temp) + L"zelvane-switch-test";
        RemoveFolder(folder_);
        ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));
        ASSERT_TRUE(Write(exe_ = folder_ + L"\\Zelvane.exe", "old program"));
        ASSERT_TRUE(Write(staged_ = folder_ + L"\\staged.exe", "new program"));
    }
    void TearDown() override { RemoveFolder(folder_); }

    static bool Write(const std::wstring& path, const std::string& data) {
        HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        const bool ok = f != INVALID_HANDLE_VALUE &&
                        WriteFile(f, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
                        written == data.size();
        if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
        return ok;
    }
    static HANDLE Open(const std::wstring& path, DWORD access, DWORD share) {
        return CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    std::wstring Backup() const { return folder_ + L"\\OldExecutable.bak"; }

    std::wstring folder_, exe_, staged_;
};

TEST_F(SwitchTest, LeavesAProgramUnderItsNameWhateverStepIsRefused) {
    struct Case {
        const char* name;
        DWORD stagedAccess;  // the agent's handle on the checked file
        bool holdExe;        // another program has the executable open without delete sharing
        Switch expected;
        const char* exeAfter;
        bool backupAfter;
    };
    const Case cases[] = {
        {"switched", GENERIC_READ | GENERIC_WRITE | DELETE, false, Switch::kDone, "new program", true},
        {"backup refused", GENERIC_READ | GENERIC_WRITE | DELETE, true, Switch::kFailedRestored, "old program", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Write(exe_, "old program"));
        ASSERT_TRUE(Write(staged_, "new program"));
        DeleteFileW(Backup().c_str());
        HANDLE held = c.holdExe ? Open(exe_, GENERIC_READ, FILE_SHARE_READ) : INVALID_HANDLE_VALUE;
        HANDLE staged = Open(staged_, c.stagedAccess, FILE_SHARE_READ);
        ASSERT_NE(staged, INVALID_HANDLE_VALUE);
        EXPECT_EQ(CUpdateAgent::SwitchExecutable(exe_, staged), c.expected);
        CloseHandle(staged);
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        EXPECT_EQ(FileBytes(exe_).value_or("none"), c.exeAfter);
        EXPECT_EQ(Exists(Backup()), c.backupAfter);
        if (c.backupAfter) {
            EXPECT_EQ(FileBytes(Backup()).value_or(""), "old program");
        }
    }
}

TEST_F(SwitchTest, RestoreSaysWhenTheBackupCouldNotGoBack) {
    ASSERT_TRUE(MoveFileW(exe_.c_str(), Backup().c_str()));
    // Something under the program's name that cannot be replaced while open.
    ASSERT_TRUE(Write(exe_, "half a program"));
    HANDLE held = Open(exe_, GENERIC_READ, FILE_SHARE_READ);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(CUpdateAgent::RestoreBackup(exe_));
    EXPECT_EQ(FileBytes(Backup()).value_or(""), "old program") << "the backup must survive a failed restore";
    CloseHandle(held);
    EXPECT_TRUE(CUpdateAgent::RestoreBackup(exe_));
    EXPECT_EQ(FileBytes(exe_).value_or(""), "old program");
    EXPECT_FALSE(Exists(Backup()));
}

}  // namespace
