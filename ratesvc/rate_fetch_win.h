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

// The longest transfer deadline a request may carry to the child; a longer
// one is refused, so the parent's wait stays bounded.
constexpr auto kMaxTransferDeadline = std::chrono::seconds(3600);

// The option that makes the executable the fetch child; it must come first.
constexpr wchar_t kFetchProcessOption[] = L"--http-get";

// Called when a request's certificate file does not vouch for the server,
// before the request goes out; it must not return. WinHTTP offers no way to
// refuse the handshake's certificate that also keeps the request from
// being sent on every WinHTTP (Wine's sends it after a cancel), so only the
// fetch child, which can end itself there, trusts a certificate file.
using UntrustedExit = void (*)(const std::string& why);

// HttpGet in this process, with WinHTTP (rate_fetch_winhttp.cpp). A request
// with a certificate file is refused unless `untrusted` is given.
bool WinHttpGet(const CHttpRequest& request, const std::atomic<bool>& stop, CHttpAnswer& answer, std::string& error,
                UntrustedExit untrusted = nullptr);

// From now on HttpGet runs each download in a child process of this
// executable, which must hand kFetchProcessOption to FetchProcessMain. Call
// before any fetch starts. Without it (the tests' own executables) HttpGet
// calls WinHTTP in this process.
void FetchInChildProcesses();

// The child's side: one request from standard input, its answer on standard
// output. The process's exit code.
int FetchProcessMain();

}  // namespace ratesvc
