// zelvane-ratesvc as a child process of a test: started on a free port that
// it publishes through a file, stopped with SIGTERM and expected to end cleanly.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

// `log`, when given, receives the service's standard error.
inline void StartService(const std::string& dir, const std::string& rates, std::vector<std::string> extra, pid_t& pid,
                         int& port, const std::string& log = {}) {
    const std::string portFile = dir + "/port";
    std::remove(portFile.c_str());
    std::vector<std::string> args = {ZELVANE_RATESVC, "--rates", rates, "--port", "0", "--port-file", portFile};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!log.empty()) posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int spawned = posix_spawn(&pid, ZELVANE_RATESVC, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ASSERT_EQ(spawned, 0);
    port = 0;
    for (int i = 0; i < 200 && !port; ++i) {
        std::ifstream(portFile) >> port;
        if (!port) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_GT(port, 0) << "the service did not publish its port";
}

inline void StopService(pid_t pid) {
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    // A clean stop, and no leak or sanitizer report at exit.
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}
