// The native service's shell: it stops on SIGTERM or SIGINT and logs to
// standard error.
#include <curl/curl.h>
#include <signal.h>

#include <cstdio>

#include "ratesvc_host.h"

namespace ratesvc {

std::atomic<bool> g_stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

// A signal interrupts accept at once, but one that lands just before the
// call is only seen when it times out.
const int kHostAcceptWaitUsec = -200000;

void HostLog(const std::string& line) { std::fprintf(stderr, "zelvane-ratesvc: %s\n", line.c_str()); }
void HostUsage(const char* text) { std::fputs(text, stderr); }
bool HostAwaitConnection(std::uintptr_t) { return !g_stopRequested; }

}  // namespace ratesvc

namespace {
void OnSignal(int) { ratesvc::g_stopRequested = true; }
}  // namespace

int main(int argc, char** argv) {
    signal(SIGPIPE, SIG_IGN);
    struct sigaction sa {};
    sa.sa_handler = OnSignal;  // no SA_RESTART: accept() must return to see the flag
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);

    curl_global_init(CURL_GLOBAL_DEFAULT);  // before any other thread exists
    ratesvc::CServeOptions options;
    if (!ratesvc::ParseServeOptions(std::vector<std::string>(argv + 1, argv + argc), options)) {
        ratesvc::ServeUsage();
        return 2;
    }
    const int code = ratesvc::ServeMain(options);
    curl_global_cleanup();
    return code;
}
