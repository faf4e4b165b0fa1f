// The self-update of the real program under Wine against nginx serving the
// download folders of tests/update/run_update_server.py: the program runs
// from an install folder of its own, so a replaced executable is visible.
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <sstream>

#include "tests/driver/e2e_fixture.h"
#include "tests/driver/message_box.h"
#include "tests/driver/registry.h"
#include "tests/driver/user_input.h"
#include "tests/driver/wine_path.h"
#include "tests/driver/window_query.h"
#include "tests/update/about_box.h"
#include "tests/update/update_files.h"

namespace driver::zelvane {
namespace {

using namespace driver::update_test;

constexpr wchar_t kLatest[] = L"既に最新バージョンです";
constexpr wchar_t kDone[] = L"Update完了! 新バージョンは次回起動時から有効になります";
constexpr wchar_t kQuestion[] = L"最新バージョンにUpdateしますか?";

struct Outcome {
    bool asked = false;
    std::optional<MessageBoxInfo> box;  // the last message box, if any
};

class UpdateTest : public ZelvaneTest {
protected:
    void SetUp() override {
        ZelvaneTest::SetUp();
        state_ = ZELVANE_UPDATE_SERVERS;
        for (wchar_t& c : state_)
            if (c == L'/') c = L'\\';
        port_ = std::atoi(FileBytes(state_ + L"\\nginx.port").value_or("0").c_str());
        ASSERT_GT(port_, 0) << "nginx.port not found";
        install_ = state_ + L"\\install";
        ASSERT_TRUE(RemoveFolder(install_));
        ASSERT_TRUE(CreateDirectoryW(install_.c_str(), nullptr));
        ASSERT_TRUE(CopyInto(ExecutablePath(), Exe()));
        original_ = FileBytes(Exe()).value_or("");
        ASSERT_FALSE(original_.empty());
        ASSERT_TRUE(RemoveFolder(DownloadFolder()));
    }
    void TearDown() override {
        ZelvaneTest::TearDown();
        RemoveFolder(install_);
        RemoveFolder(DownloadFolder());
    }

    std::wstring Exe() const { return install_ + L"\\Zelvane.exe"; }
    std::wstring Served(const wchar_t* folder, const wchar_t* file) const {
        return state_ + L"\\www\\download\\" + folder + L"\\" + file;
    }

    void UseFolder(const wchar_t* folder) {
        const std::wstring url = L"http://127.0.0.1:" + std::to_wstring(port_) + L"/download/" + folder + L"/";
        ASSERT_TRUE(WriteUserString(SectionKey(L"Update"), L"BaseUrl", url));
    }

    // Opens the About box, presses Update Check and answers the question
    // (if it comes) with answer; the box that ends the update is returned.
    Outcome RunUpdate(int answer, const std::function<void()>& whileDownloading = nullptr) {
        Outcome out;
        HWND about = OpenAboutBox(app_);
        if (!about) {
            ADD_FAILURE() << "no About box";
            return out;
        }
        ClickButton(GetDlgItem(about, IDOK));
        std::optional<MessageBoxInfo> box = WaitForMessageBox(app_.pid());
        if (box && box->text == kQuestion) {
            out.asked = true;
            EXPECT_EQ(box->icon, MessageBoxIcon::kQuestion);
            EXPECT_EQ(box->ButtonSet(), "Yes|No");
            AnswerMessageBox(*box, answer);
            const HWND question = box->hwnd;
            WaitUntil([&] { return !IsWindow(question); }, kReactTimeout);
            if (whileDownloading) whileDownloading();
            if (answer == IDNO) {
                EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about); }, kReactTimeout));
                out.box = FindMessageBox(app_.pid());
                return out;
            }
            box = WaitForMessageBox(app_.pid());
        }
        out.box = box;
        if (box) {
            AnswerMessageBox(*box, IDOK);
            EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about); }, kReactTimeout)) << "the About box stayed";
        }
        return out;
    }

    // Nothing of the program's folder changed and no download is left.
    void ExpectProgramUntouched() {
        EXPECT_EQ(FilesIn(install_), std::set<std::wstring>{L"Zelvane.exe"});
        EXPECT_TRUE(FileBytes(Exe()) == original_) << "the executable changed";
        EXPECT_FALSE(Exists(DownloadFolder())) << "downloads left behind";
    }

    size_t RequestCount() const {
        const std::string log = FileBytes(state_ + L"\\access.log").value_or("");
        return static_cast<size_t>(std::count(log.begin(), log.end(), '\n'));
    }

    std::vector<std::string> RequestsFor(const std::string& folder) const {
        std::istringstream log(FileBytes(state_ + L"\\access.log").value_or(""));
        std::vector<std::string> lines;
        for (std::string line; std::getline(log, line);)
            if (line.find("/download/" + folder + "/") != std::string::npos) lines.push_back(line);
        return lines;
    }

    std::wstring state_;
    std::wstring install_;
    std::string original_;
    int port_ = 0;
};

TEST_F(UpdateTest, VersionsThatAreNotNewerReportTheLatest) {
    ASSERT_TRUE(app_.Start(Exe())) << app_.error();
    // A line end, a fifth number, the running version itself.
    for (const wchar_t* folder : {L"newline", L"five", L"equal"}) {
        SCOPED_TRACE(testing::Message() << folder);
        UseFolder(folder);
        const Outcome out = RunUpdate(IDYES);
        EXPECT_FALSE(out.asked);
        ASSERT_TRUE(out.box);
        EXPECT_EQ(out.box->text, kLatest);
        EXPECT_EQ(out.box->icon, MessageBoxIcon::kInformation);
    }
    ExpectProgramUntouched();
}

TEST_F(UpdateTest, DecliningANewerVersionFetchesNothingMore) {
    ASSERT_TRUE(app_.Start(Exe())) << app_.error();
    UseFolder(L"major");  // "3": 3.0.0.0 is newer than 2.0.0.1
    const size_t before = RequestsFor("major").size();
    const Outcome out = RunUpdate(IDNO);
    EXPECT_TRUE(out.asked);
    EXPECT_FALSE(out.box) << "a message after No: " << Utf8(out.box->text);
    const std::vector<std::string> requests = RequestsFor("major");
    ASSERT_EQ(requests.size(), before + 1);
    EXPECT_NE(requests.back().find("GET /download/major/update.txt "), std::string::npos) << requests.back();
    ExpectProgramUntouched();
}

TEST_F(UpdateTest, ReleasesThatAreNotTheMakersAreRefused) {
    ASSERT_TRUE(app_.Start(Exe())) << app_.error();
    struct Case {
        const wchar_t* folder;
        const wchar_t* message;  // the start of the text
    };
    const Case cases[] = {
        {L"missing", L"FileDownloadFailure!"},      // a 404 page instead of the executable
        {L"unsigned", L"SignatureFailure!"},
        {L"tampered", L"SignatureFailure!"},         // one bit changed after signing
        {L"otherkey", L"SignatureFailure!"},         // signed with a key of someone else
        {L"wrongversion", L"ExecutableFailure!"},    // signed, but 2.0.0.1 offered as 2.0.0.2
        {L"notexe", L"ExecutableFailure!"},          // signed, but not an executable
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.folder);
        UseFolder(c.folder);
        const Outcome out = RunUpdate(IDYES);
        EXPECT_TRUE(out.asked);
        ASSERT_TRUE(out.box);
        EXPECT_EQ(out.box->text.substr(0, wcslen(c.message)), c.message) << Utf8(out.box->text);
        EXPECT_EQ(out.box->icon, MessageBoxIcon::kError);
        ExpectProgramUntouched();
    }
}

TEST_F(UpdateTest, SignedNewerReleaseReplacesTheExecutable) {
    ASSERT_TRUE(app_.Start(Exe())) << app_.error();
    UseFolder(L"good");
    const Outcome out = RunUpdate(IDYES);
    EXPECT_TRUE(out.asked);
    ASSERT_TRUE(out.box);
    EXPECT_EQ(out.box->text, kDone);
    EXPECT_EQ(out.box->icon, MessageBoxIcon::kInformation);

    EXPECT_EQ(FilesIn(install_), (std::set<std::wstring>{L"Zelvane.exe", L"OldExecutable.bak", L"readme.txt"}));
    EXPECT_TRUE(FileBytes(Exe()) == FileBytes(Served(L"good", L"Zelvane.exe"))) << "not the new executable";
    EXPECT_TRUE(FileBytes(install_ + L"\\OldExecutable.bak") == original_);
    EXPECT_TRUE(FileBytes(install_ + L"\\readme.txt") == FileBytes(Served(L"good", L"readme.txt")));
    EXPECT_FALSE(Exists(DownloadFolder()));

    // The next start is the new release.
    app_.process().Kill();
    ASSERT_TRUE(app_.Start(Exe())) << app_.error();
    HWND about = OpenAboutBox(app_);
    ASSERT_TRUE(about);
    EXPECT_EQ(WindowText(GetDlgItem(about, kIdAboutVersion)), L"バージョン 2.0.0.2");
}

TEST_F(UpdateTest, NoOtherProgramCanWriteTheReleaseBeforeItIsInstalled) {
    ASSERT_TRUE(app_.Start(Exe())) << app_.error();
    UseFolder(L"slow");
    // Whatever the agent checks must be what it installs: while the update
    // runs, the staged executable never opens for writing or deleting.
    const std::wstring staged = DownloadFolder() + L"\\Zelvane.exe";
    int opened = 0;
    const Outcome out = RunUpdate(IDYES, [&] {
        WaitUntil(
            [&] {
                HANDLE h = CreateFileW(staged.c_str(), GENERIC_WRITE | DELETE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
                if (h != INVALID_HANDLE_VALUE) {
                    ++opened;
                    CloseHandle(h);
                }
                return FindMessageBox(app_.pid()).has_value();
            },
            kWindowTimeout * 3, milliseconds(2));
    });
    EXPECT_EQ(opened, 0) << "the staged release let another writer in";
    ASSERT_TRUE(out.box);
    EXPECT_EQ(out.box->text, kDone);
}

TEST_F(UpdateTest, FailedSwitchLeavesTheProgramAsItWas) {
    ASSERT_TRUE(app_.Start(Exe())) << app_.error();
    UseFolder(L"good");
    // Another program has the executable open without delete sharing: it
    // cannot be moved aside, so nothing may change.
    HANDLE held = CreateFileW(Exe().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE) << GetLastError();
    const Outcome out = RunUpdate(IDYES);
    CloseHandle(held);
    EXPECT_TRUE(out.asked);
    ASSERT_TRUE(out.box);
    EXPECT_EQ(out.box->text, L"FileSwitchFailure!");
    EXPECT_EQ(out.box->icon, MessageBoxIcon::kError);
    ExpectProgramUntouched();
}

TEST_F(UpdateTest, ABuildWithoutAReleaseKeyAsksNoServer) {
    ASSERT_TRUE(CopyInto(ZELVANE_NOKEY_EXE, Exe()));
    original_ = FileBytes(Exe()).value_or("");
    ASSERT_TRUE(app_.Start(Exe())) << app_.error();
    UseFolder(L"good");
    const size_t before = RequestCount();
    const Outcome out = RunUpdate(IDYES);
    EXPECT_FALSE(out.asked);
    ASSERT_TRUE(out.box);
    EXPECT_EQ(out.box->text, L"このビルドには更新の鍵がないため、自動更新できません。");
    EXPECT_EQ(RequestCount(), before) << "the update server was asked";
    ExpectProgramUntouched();
}

TEST_F(UpdateTest, DownloadsThatAreNotWholeOrNotNotesAreRefused) {
    ASSERT_TRUE(app_.Start(Exe())) << app_.error();
    const int raw = std::atoi(FileBytes(state_ + L"\\raw.port").value_or("0").c_str());
    ASSERT_GT(raw, 0) << "raw.port not found";
    struct Case {
        std::wstring url;
        const wchar_t* message;
    };
    const Case cases[] = {
        // The executable's connection closes before its Content-Length.
        {L"http://127.0.0.1:" + std::to_wstring(raw) + L"/update-short/", L"FileDownloadFailure!"},
        // Release notes past 64 KiB.
        {L"http://127.0.0.1:" + std::to_wstring(port_) + L"/download/bignotes/", L"FileDownloadFailure!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.url));
        ASSERT_TRUE(WriteUserString(SectionKey(L"Update"), L"BaseUrl", c.url));
        const Outcome out = RunUpdate(IDYES);
        EXPECT_TRUE(out.asked);
        ASSERT_TRUE(out.box);
        EXPECT_EQ(out.box->text, c.message);
        ExpectProgramUntouched();
    }
}

TEST_F(UpdateTest, AServerThatNeverAnswersEndsTheCheck) {
    ASSERT_TRUE(app_.Start(Exe())) << app_.error();
    const std::string raw = FileBytes(state_ + L"\\raw.port").value_or("0");
    ASSERT_TRUE(WriteUserString(SectionKey(L"Update"), L"BaseUrl",
                                L"http://127.0.0.1:" + std::wstring(raw.begin(), raw.end()) + L"/update-silent/"));
    HWND about = OpenAboutBox(app_);
    ASSERT_TRUE(about);
    ClickButton(GetDlgItem(about, IDOK));
    // The agent's own time-out (30 s) ends the wait, well before the server would.
    const std::optional<MessageBoxInfo> box = WaitForMessageBox(app_.pid(), milliseconds(75000));
    ASSERT_TRUE(box) << "the update check still waits for the server";
    EXPECT_EQ(box->text, L"インターネット接続失敗! しばらくしてからやり直してください");
    AnswerMessageBox(*box, IDOK);
}

TEST_F(UpdateTest, ReleaseNotesThatAreNotTextAreNotPutBesideTheProgram) {
    ASSERT_TRUE(app_.Start(Exe())) << app_.error();
    UseFolder(L"binnotes");
    const Outcome out = RunUpdate(IDYES);
    ASSERT_TRUE(out.box);
    EXPECT_EQ(out.box->text, kDone);
    EXPECT_EQ(FilesIn(install_), (std::set<std::wstring>{L"Zelvane.exe", L"OldExecutable.bak"}));
    EXPECT_TRUE(FileBytes(Exe()) == FileBytes(Served(L"binnotes", L"Zelvane.exe"))) << "not the new executable";
}

}  // namespace
}  // namespace driver::zelvane
