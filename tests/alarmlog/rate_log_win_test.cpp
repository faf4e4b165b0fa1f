// The log writer against the real file system under Wine: whole lines with
// CR LF appended to one file per pair, and one error box at a time.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>

#include "ratelog/rate_log.h"
#include "tests/driver/message_box.h"
#include "ui/text.h"

namespace {

// A fresh folder under the temporary folder, removed with its files.
class TempFolder {
public:
    explicit TempFolder(const std::wstring& name) {
        wchar_t tmp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, tmp);
        path_ = std::wstring(tmp) + name + L"-" + std::to_wstring(GetCurrentProcessId());
        Remove();
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~TempFolder() { Remove(); }
    const std::wstring& path() const { return path_; }
    std::wstring File(const std::wstring& name) const { return path_ + L"\\" + name; }
    // As the log state holds it: UTF-8, ending in a separator.
    std::string ForLog() const { return ui::Narrow(path_) + "\\"; }
    void Remove() const {
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW((path_ + L"\\*").c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW(File(fd.cFileName).c_str());
            } while (FindNextFileW(h, &fd));
            FindClose(h);
        }
        RemoveDirectoryW(path_.c_str());
    }

private:
    std::wstring path_;
};

std::optional<std::string> ReadFileBytes(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string bytes;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) bytes.append(buf, got);
    CloseHandle(h);
    return bytes;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    CloseHandle(h);
    return ok;
}

class RateLogWin : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = LogState;
        LogState.bLogOn = true;
        LogState.LogStampFormat = LogStampFormatFor(3, 2, 0);  // the rate alone
    }
    void TearDown() override { LogState = saved_; }
    CLogState saved_;
};

TEST_F(RateLogWin, AppendsToOneFilePerPairWithoutTruncating) {
    // Any characters in the folder's name: the writer goes through the wide functions.
    TempFolder folder(L"ログ フォルダ");
    LogState.FolderPath = folder.ForLog();
    // A file from an earlier run (logging switched off and on again) is kept.
    ASSERT_TRUE(WriteFileBytes(folder.File(L"USD_JPY .TXT"), "118.0000\r\n"));

    WriteRateLog("USD->JPY ", 118.25);
    WriteRateLog("USD->JPY ", 118.25);  // the same rate again is logged again
    WriteRateLog("JPY->USD ", 0.0084567);
    WriteRateLog("USD->JPY ", 117.5);

    EXPECT_EQ(ReadFileBytes(folder.File(L"USD_JPY .TXT")).value_or("<missing>"),
              "118.0000\r\n118.2500\r\n118.2500\r\n117.5000\r\n");
    EXPECT_EQ(ReadFileBytes(folder.File(L"JPY_USD .TXT")).value_or("<missing>"), "0.0085\r\n");
}

TEST_F(RateLogWin, StampsComeFromTheLocalClockInTheCLocale) {
    TempFolder folder(L"zelvane-log-stamp");
    LogState.FolderPath = folder.ForLog();
    LogState.LogStampFormat = LogStampFormatFor(0, 0, 0);
    WriteRateLog("USD->JPY ", 112.3456);
    LogState.LogStampFormat = LogStampFormatFor(1, 1, 2);
    WriteRateLog("USD->JPY ", 112.3456);

    const std::string bytes = ReadFileBytes(folder.File(L"USD_JPY .TXT")).value_or("");
    const std::regex expected(
        "\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d 112\\.3456\r\n"
        "\\d{4}/\\d\\d/\\d\\d,\\d{6},112\\.3456\r\n");
    EXPECT_TRUE(std::regex_match(bytes, expected)) << bytes;
    SYSTEMTIME now;
    GetLocalTime(&now);
    char year[8];
    snprintf(year, sizeof year, "%04u/", now.wYear);
    EXPECT_NE(bytes.find(year), std::string::npos) << bytes;
}

TEST_F(RateLogWin, EmptyFolderWritesIntoTheCurrentFolder) {
    TempFolder folder(L"zelvane-log-cwd");
    wchar_t before[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, before);
    ASSERT_TRUE(SetCurrentDirectoryW(folder.path().c_str()));
    LogState.FolderPath.clear();
    WriteRateLog("EUR->GBP ", 0.85);
    SetCurrentDirectoryW(before);
    EXPECT_EQ(ReadFileBytes(folder.File(L"EUR_GBP .TXT")).value_or("<missing>"), "0.8500\r\n");
}

// Polls while the error box is up: a thread timer, which the box's own
// message loop dispatches, as it dispatches the monitor's poll timer.
struct PollsDuringBox {
    static constexpr int kPolls = 5;
    int polls = 0;
    int boxesSeen = 0;  // most boxes open at one time
    std::wstring text;
    driver::MessageBoxIcon icon = driver::MessageBoxIcon::kUnknown;
};
PollsDuringBox* current = nullptr;

int OpenBoxes() {
    int count = 0;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM counter) -> BOOL {
            wchar_t cls[16] = {};
            GetClassNameW(hwnd, cls, 16);
            if (IsWindowVisible(hwnd) && wcscmp(cls, L"#32770") == 0) ++*reinterpret_cast<int*>(counter);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

void CALLBACK PollTick(HWND, UINT, UINT_PTR, DWORD) {
    PollsDuringBox& r = *current;
    r.boxesSeen = std::max(r.boxesSeen, OpenBoxes());
    if (r.polls < PollsDuringBox::kPolls) {
        ++r.polls;
        WriteRateLog("USD->JPY ", 118.0 + r.polls);
        return;
    }
    if (auto box = driver::FindMessageBox(GetCurrentProcessId())) {
        r.text = box->text;
        r.icon = box->icon;
        driver::AnswerMessageBox(*box, IDOK);
    }
}

// One failing poll, with more polls while its box is open; returns when the
// box has been answered.
PollsDuringBox FailingPoll() {
    PollsDuringBox round;
    current = &round;
    const UINT_PTR timer = SetTimer(nullptr, 0, 40, &PollTick);
    WriteRateLog("USD->JPY ", 118.0);
    KillTimer(nullptr, timer);
    current = nullptr;
    return round;
}

TEST_F(RateLogWin, RemovedFolderShowsOneBoxAtATimeAndRetriesAfterIt) {
    TempFolder folder(L"zelvane-log-gone");
    LogState.FolderPath = folder.ForLog();
    folder.Remove();
    // Twice: once the box is closed, the next poll tries (and fails) again.
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        const PollsDuringBox r = FailingPoll();
        EXPECT_EQ(r.polls, PollsDuringBox::kPolls);
        EXPECT_EQ(r.boxesSeen, 1);
        EXPECT_EQ(r.text, L"ファイルを開けませんでした");
        EXPECT_EQ(r.icon, driver::MessageBoxIcon::kError) << driver::IconName(r.icon);
    }
    EXPECT_FALSE(ReadFileBytes(folder.File(L"USD_JPY .TXT")).has_value());
    EXPECT_TRUE(LogState.bLogOn);
}

TEST_F(RateLogWin, FileHeldOpenElsewhereIsReportedAndLeftWhole) {
    TempFolder folder(L"zelvane-log-locked");
    LogState.FolderPath = folder.ForLog();
    ASSERT_TRUE(WriteFileBytes(folder.File(L"USD_JPY .TXT"), "118.0000\r\n"));
    HANDLE other = CreateFileW(folder.File(L"USD_JPY .TXT").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                               nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    const PollsDuringBox r = FailingPoll();
    CloseHandle(other);
    EXPECT_EQ(r.boxesSeen, 1);
    EXPECT_EQ(r.text, L"ファイルを開けませんでした");
    EXPECT_EQ(ReadFileBytes(folder.File(L"USD_JPY .TXT")).value_or(""), "118.0000\r\n");
}

TEST_F(RateLogWin, FolderBeyondThePathLimitIsRefusedNotCut) {
    TempFolder folder(L"zelvane-log-long");
    LogState.FolderPath = folder.ForLog() + std::string(MAX_PATH, 'a') + "\\";
    const PollsDuringBox r = FailingPoll();
    EXPECT_EQ(r.boxesSeen, 1);
    EXPECT_EQ(r.text, L"ファイルを開けませんでした");
}

}  // namespace
