// The rate service's shell: what differs between platforms around the one
// server in ratesvc_main.cpp. ratesvc_host_posix.cpp is the native shell
// (signals, standard error); ratesvc_host_win.cpp the Windows one (a per-user
// background process: one instance, a stop event, a log file).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "sources/rate_source.h"

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

// What the server is told, by its command line and, on Windows, by the
// user's registry before it.
struct CServeOptions {
    std::string strRates;           // the bank's rates file, kept across restarts
    int nPort = 0;                  // 0: any free port
    std::string strPortFile;
    std::string strNamespace;
    std::string strRatesUrl;        // fetched into strRates when given
    int nFetchEverySec = 3600;
    std::string strRatesCa;         // certificates trusted for https, every source's
    std::string strLiveUrl, strReferenceUrl, strMetalsUrl;  // empty: that source is off
    int nLiveEverySec = kDefaultLiveEverySec, nReferenceEverySec = kDefaultReferenceEverySec;
    int nMetalsEverySec = kDefaultMetalsEverySec;
    int nIdleTimeoutSec = 600;      // longer than the slowest poll period (290 s)
    int nReceiveTimeoutSec = 5;
    int nRequestDeadlineSec = 20;
    int nMaxConnections = 256;
    bool bVerbose = false;
};

// Reads options and their values from `args` over what `options` holds
// already; false for one it does not take, or a value out of range.
bool ParseServeOptions(const std::vector<std::string>& args, CServeOptions& options);
// The usage text, through HostUsage.
void ServeUsage();

// The server: serves until stopped, returns the exit code.
int ServeMain(const CServeOptions& options);

}  // namespace ratesvc
