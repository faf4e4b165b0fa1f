// The alarm and log pages against the running monitor, fed by the
// scripted rate peer.
#pragma once

#include <fstream>
#include <string>

#include "tests/driver/alarm_log_pages.h"
#include "tests/driver/rate_servers.h"

namespace driver::zelvane {

// The pages against the running monitor: the scripted rate peer under a tag
// of the case's own, and a folder of its own for the log and a sound file.
class MonitorPeerTest : public PagesTest {
protected:
    explicit MonitorPeerTest(const char* name) : name_(name) {}
    void SetUp() override {
        PagesTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(ScriptedRatePeer::ServersRunning()) << "no rate servers in " << RateServerDir();
        peer_ = ScriptedRatePeer::Unique(name_);
        wchar_t tmp[MAX_PATH] = {};
        ASSERT_GT(GetTempPathW(MAX_PATH, tmp), 0u);
        folder_ = std::wstring(tmp) + L"zelvane-" + WideAscii(name_) + L"-" +
                  std::to_wstring(GetCurrentProcessId()) + L"\\";
        ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
        wav_ = folder_ + L"alarm.wav";
        std::ofstream(wav_.c_str(), std::ios::binary) << "RIFF";
    }
    void TearDown() override {
        PagesTest::TearDown();
        DeleteFileW(wav_.c_str());
        DeleteFileW(LogFile().c_str());
        RemoveDirectoryW(folder_.c_str());
    }
    // The log of the pair the cases watch, euros in dollars.
    std::wstring LogFile() const { return folder_ + L"EUR_USD .TXT"; }

    ScriptedRatePeer peer_;
    std::wstring folder_;
    std::wstring wav_;

private:
    std::string name_;
};

}  // namespace driver::zelvane
