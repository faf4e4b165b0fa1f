// The Windows fetch: WinHTTP, and the child process that runs it for the
// long-running service. WinHTTP and the TLS stack it loads stay resident once
// used (about 2.6 MB that unloading does not give back), so the service never
// calls it itself: each download is a child process of the service's own
// executable that fetches, answers through a pipe and exits.
#pragma once

#include <atomic>
#include <chrono>
#include <string>

#include "rate_fetch.h"

namespace ratesvc {

// One transfer's limit, the child's included.
constexpr auto kTransferDeadline = std::chrono::seconds(60);

// The option that makes the executable the fetch child; it must come first.
constexpr wchar_t kFetchProcessOption[] = L"--http-get";

// HttpGet in this process, with WinHTTP (rate_fetch_winhttp.cpp).
bool WinHttpGet(const CHttpRequest& request, const std::atomic<bool>& stop, CHttpAnswer& answer, std::string& error);

// From now on HttpGet runs each download in a child process of this
// executable, which must hand kFetchProcessOption to FetchProcessMain. Call
// before any fetch starts. Without it (the tests' own executables) HttpGet
// calls WinHTTP in this process.
void FetchInChildProcesses();

// The child's side: one request from standard input, its answer on standard
// output. The process's exit code.
int FetchProcessMain();

}  // namespace ratesvc
