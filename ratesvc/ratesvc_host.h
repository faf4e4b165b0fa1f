// The rate service's shell: what differs between platforms around the one
// server in ratesvc_main.cpp. ratesvc_host_posix.cpp is the native shell
// (signals, standard error); ratesvc_host_win.cpp the Windows one (a per-user
// background process: one instance, a stop event, a log file).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace ratesvc {

// Set by the shell when the service is to stop; the server then stops
// accepting, ends its connections and returns from ServeMain.
extern std::atomic<bool> g_stopRequested;

// How long one accept waits before the server looks at g_stopRequested again,
// in gSOAP's units (negative: microseconds); 0 waits for a connection.
extern const int kHostAcceptWaitUsec;

// Waits until the listening socket has a connection to accept (true) or the
// service is to stop (false). The Windows shell waits for its stop event and
// the socket at once; the native one leaves the wait to accept.
bool HostAwaitConnection(std::uintptr_t listener);

// One line of the service's log, without its newline.
void HostLog(const std::string& line);
// The usage text, for a command line the server does not take.
void HostUsage(const char* text);

// The server: reads its options, serves until stopped, returns the exit code.
int ServeMain(int argc, char** argv);

}  // namespace ratesvc
