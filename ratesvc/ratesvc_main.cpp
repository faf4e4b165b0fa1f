// zelvane-ratesvc: the local rate service. One gSOAP server on loopback that
// answers both of the program's rate clients from its rate book, which live,
// reference, metals and bank sources feed (rate_book.h):
//   POST /CurrencyConvertor.asmx  document/literal ConversionRate (codes)
//   POST /soap                    rpc/encoded getRate (country names)
//   GET  /status                  where the rates come from, as plain text
// Connections are kept alive between calls, each served by a worker thread.
// Its shell (ratesvc_host_posix.cpp, ratesvc_host_win.cpp) starts and stops
// it and keeps its log.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <deque>
#include <list>
#include <map>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "printable.h"
#include "rate_book.h"
#include "rate_fetch.h"
#include "rate_file.h"
#include "ratesvc_host.h"
#include "rates/service_defaults.h"
#include "ratesvc_serve.h"
#include "soapH.h"
#include "socket_ops.h"
#include "source_runner.h"
#include "sources/rate_source.h"

namespace {

using rates::kConversionRatePath;
using rates::kExchangeRatePath;
constexpr int kSendTimeoutSec = 10;
// A connection that finds every worker busy waits this long for one to come
// free before a new worker starts: a client's next connection often arrives
// while the worker of its last one is still closing it.
constexpr auto kWorkerGrace = std::chrono::milliseconds(50);
// A worker started for a busy moment waits this long for more work before
// it ends.
constexpr auto kExtraWorkerLinger = std::chrono::seconds(30);


struct Service {
    explicit Service(const ratesvc::CServeOptions& o) : opts(o), rates(o.strRates, Log), book(Log) {
        context.pRates = &rates;
        context.pBook = &book;
        context.bVerbose = o.bVerbose;
        context.log = Log;
        context.limits.idleTimeout = std::chrono::seconds(o.nIdleTimeoutSec);
        context.limits.receiveTimeout = std::chrono::seconds(o.nReceiveTimeoutSec);
        context.limits.requestDeadline = std::chrono::seconds(o.nRequestDeadlineSec);
        context.pStopping = &ratesvc::g_stopRequested;
        context.idleChanged = [this](soap* conn, bool idle) {
            std::lock_guard<std::mutex> lock(mutex);
            if (idle) idleSince[conn] = std::chrono::steady_clock::now();
            else idleSince.erase(conn);
        };
    }

    // Lines name files, URLs and what a download or a client said: made
    // printable here, so nothing from outside can end a line or forge one.
    static void Log(const std::string& line) { ratesvc::HostLog(ratesvc::Printable(line, 2048)); }

    const ratesvc::CServeOptions& opts;
    ratesvc::CRateFile rates;
    ratesvc::CRateBook book;
    ratesvc::CServeContext context;

    std::mutex mutex;
    // Any change to what follows: a connection waits, a worker takes or
    // ends one, a worker ends, the service stops. (One for all: under
    // MinGW each condition variable holds kernel objects of its own.)
    std::condition_variable changed;
    std::set<soap*> connections;    // open ones, waiting or served: shutdown wakes them
    std::deque<soap*> waiting;      // accepted, not yet taken by a worker
    int nWorkers = 0, nIdleWorkers = 0;
    bool bStopping = false;
    // Every worker is joined before the service is gone: one that ended is
    // joined at the next connection, the rest when the service stops.
    std::list<std::thread> threads;
    std::vector<std::thread::id> ended;
    // Kept-alive connections waiting for their next request, since when.
    std::map<soap*, std::chrono::steady_clock::time_point> idleSince;
    // Connections refused since the last log line about them.
    int nRefused = 0;
    std::chrono::steady_clock::time_point refusedLogged{};
};

// A socket is closed and marked closed under this lock, so that the stop,
// which shuts down every open connection's socket, never shuts down one a
// worker has just closed (whose number may already be another's).
std::mutex g_socketMutex;
int (*g_pfnCloseSocket)(soap*, SOAP_SOCKET) = nullptr;

int CloseSocketUnderLock(soap* s, SOAP_SOCKET sock) {
    std::lock_guard<std::mutex> lock(g_socketMutex);
    const int result = g_pfnCloseSocket(s, sock);
    if (sock == s->socket) s->socket = SOAP_INVALID_SOCKET;
    return result;
}

// With the service's mutex held, before a new connection is taken: idle
// connections past the bound that the slots' filling sets are ended, and
// when every slot is taken the longest idle one makes room. False when no
// slot can be had.
bool MakeRoom(Service& svc) {
    const int open = static_cast<int>(svc.connections.size()), max = svc.opts.nMaxConnections;
    const auto now = std::chrono::steady_clock::now();
    const auto bound = ratesvc::IdleBound(svc.context.limits.idleTimeout, open + 1, max);
    std::vector<soap*> ending;
    std::pair<soap*, std::chrono::steady_clock::time_point> longest{nullptr, now};
    for (const auto& [conn, since] : svc.idleSince) {
        if (now - since > bound) ending.push_back(conn);
        else if (since < longest.second) longest = {conn, since};
    }
    if (open - static_cast<int>(ending.size()) >= max && longest.first) ending.push_back(longest.first);
    std::lock_guard<std::mutex> sockets(g_socketMutex);
    for (soap* conn : ending) {
        // Its worker sees the end of input and lets the connection go.
        if (soap_valid_socket(conn->socket))
            ratesvc::ShutdownSocket(static_cast<std::uintptr_t>(conn->socket), ratesvc::ShutdownHow::kBoth);
        svc.idleSince.erase(conn);
    }
    return open - static_cast<int>(ending.size()) < max;
}

// With the service's mutex held.
void JoinEndedWorkers(Service& svc) {
    for (auto it = svc.threads.begin(); it != svc.threads.end();) {
        if (std::find(svc.ended.begin(), svc.ended.end(), it->get_id()) == svc.ended.end()) {
            ++it;
            continue;
        }
        it->join();  // past its last use of the service: only its return is left
        it = svc.threads.erase(it);
    }
    svc.ended.clear();
}

// Workers outlive their connections. One starts with the service and waits
// for each next connection; another starts only when a connection finds all
// of them busy, and ends after a while without work. A thread's stack costs
// about a megabyte under Wine, and the last thread to end keeps its own: a
// thread for each connection grew an idle service by that much with its
// first client.
void Work(Service& svc, bool standing) {
    std::unique_lock<std::mutex> lock(svc.mutex);
    const auto hasWork = [&] { return svc.bStopping || !svc.waiting.empty(); };
    for (;;) {
        if (svc.waiting.empty()) {
            if (svc.bStopping) break;
            ++svc.nIdleWorkers;
            const bool woken = standing ? (svc.changed.wait(lock, hasWork), true)
                                        : svc.changed.wait_for(lock, kExtraWorkerLinger, hasWork);
            --svc.nIdleWorkers;
            if (!woken) break;
            continue;
        }
        soap* conn = svc.waiting.front();
        svc.waiting.pop_front();
        svc.changed.notify_all();
        lock.unlock();
        ratesvc::ServeConnection(conn, svc.context);
        lock.lock();
        svc.connections.erase(conn);
        svc.idleSince.erase(conn);
        soap_destroy(conn);
        soap_end(conn);
        soap_free(conn);
        svc.changed.notify_all();
    }
    --svc.nWorkers;
    svc.ended.push_back(std::this_thread::get_id());
    svc.changed.notify_all();
}

// With the service's mutex held.
bool StartWorker(Service& svc, bool standing) {
    try {
        JoinEndedWorkers(svc);
        svc.threads.emplace_back(Work, std::ref(svc), standing);
    } catch (const std::system_error& e) {
        Service::Log(std::string("cannot start a worker thread: ") + e.what());
        return false;
    }
    ++svc.nWorkers;
    return true;
}

bool ParseInt(const std::string& text, int& value) {
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || v < 0 || v > 1000000) return false;
    value = static_cast<int>(v);
    return true;
}

}  // namespace

bool ratesvc::ParseServeOptions(const std::vector<std::string>& args, CServeOptions& o) {
    struct Text {
        const char* name;
        std::string CServeOptions::*field;
    };
    static const Text kTexts[] = {
        {"--rates", &CServeOptions::strRates},         {"--port-file", &CServeOptions::strPortFile},
        {"--namespace", &CServeOptions::strNamespace}, {"--rates-url", &CServeOptions::strRatesUrl},
        {"--rates-ca", &CServeOptions::strRatesCa},    {"--live-url", &CServeOptions::strLiveUrl},
        {"--reference-url", &CServeOptions::strReferenceUrl}, {"--metals-url", &CServeOptions::strMetalsUrl},
    };
    struct Number {
        const char* name;
        int CServeOptions::*field;
    };
    static const Number kNumbers[] = {
        {"--port", &CServeOptions::nPort},
        {"--idle-timeout", &CServeOptions::nIdleTimeoutSec},
        {"--receive-timeout", &CServeOptions::nReceiveTimeoutSec},
        {"--request-deadline", &CServeOptions::nRequestDeadlineSec},
        {"--max-connections", &CServeOptions::nMaxConnections},
        {"--fetch-every", &CServeOptions::nFetchEverySec},
        {"--live-every", &CServeOptions::nLiveEverySec},
        {"--reference-every", &CServeOptions::nReferenceEverySec},
        {"--metals-every", &CServeOptions::nMetalsEverySec},
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--verbose") {
            o.bVerbose = true;
            continue;
        }
        if (i + 1 >= args.size()) return false;
        bool known = false;
        for (const Text& t : kTexts)
            if (a == t.name) {
                o.*t.field = args[++i];
                known = true;
                break;
            }
        for (const Number& n : kNumbers)
            if (!known && a == n.name) {
                if (!ParseInt(args[++i], o.*n.field)) return false;
                known = true;
                break;
            }
        if (!known) return false;
    }
    return !o.strRates.empty() && o.nPort >= 0 && o.nPort <= 65535 && o.nIdleTimeoutSec > 0 && o.nReceiveTimeoutSec > 0 &&
           o.nRequestDeadlineSec > 0 && o.nMaxConnections > 0 && o.nFetchEverySec > 0;
}

void ratesvc::ServeUsage() {
    ratesvc::HostUsage(
                 "usage: zelvane-ratesvc --rates FILE [--port N] [--port-file FILE] [--namespace URI]\n"
                 "                       [--idle-timeout SECONDS] [--receive-timeout SECONDS]\n"
                 "                       [--request-deadline SECONDS] [--max-connections N] [--verbose]\n"
                 "                       [--rates-url URL [--fetch-every SECONDS]] [--rates-ca FILE]\n"
                 "                       [--live-url URL [--live-every SECONDS]]\n"
                 "                       [--reference-url URL [--reference-every SECONDS]]\n"
                 "                       [--metals-url PREFIX [--metals-every SECONDS]]\n"
                 "  Serves ConversionRate at http://127.0.0.1:N/CurrencyConvertor.asmx, getRate at\n"
                 "  http://127.0.0.1:N/soap and a status page at /status, from the rates of its sources:\n"
                 "  --live-url (Coinbase's exchange rates, every 60 s, at least 30), --metals-url (gold-api,\n"
                 "  the symbol appended, every 300 s, at least 60), --reference-url (Frankfurter, every\n"
                 "  3600 s, at least 60) and FILE (euro reference rates, reloaded when it changes), which\n"
                 "  --rates-url fetches at start and then every SECONDS (default 3600), asking only for a\n"
                 "  newer file. A source without its URL is off. A failed or bad answer keeps the rates\n"
                 "  in force. --rates-ca: certificates to trust for https.\n"
                 "  A request may take 64 KB and --request-deadline seconds (default 20), waiting at\n"
                 "  most --receive-timeout (5) for each piece; a kept-alive connection may idle for\n"
                 "  --idle-timeout (600).\n"
                 "  --port 0 (the default) picks a free port; the port is printed and, with\n"
                 "  --port-file, written to FILE. --namespace replaces ConversionRate's namespace.\n");
}

namespace {

// gSOAP's description of the last error, for the log.
std::string FaultText(soap* s) {
    char text[512] = "";
    soap_sprint_fault(s, text, sizeof text);
    return text;
}

}  // namespace

int ratesvc::ServeMain(const CServeOptions& opts) {
    if (!opts.strNamespace.empty()) ratesvc::SetConversionNamespace(opts.strNamespace.c_str());

    Service svc(opts);
    // Every source on one thread, the first round as soon as the service
    // listens; until it ends, calls are answered from the kept bank file.
    std::unique_ptr<ratesvc::CRateFetcher> fetcher;  // the bank's; outlives the runner that uses it
    ratesvc::CSourceRunner runner(svc.book, Service::Log, opts.strRatesCa);
    svc.context.status = [&runner] { return runner.StatusText(); };
    using std::chrono::seconds;
    if (!opts.strMetalsUrl.empty())
        runner.Add(ratesvc::MakeMetalsSource(opts.strMetalsUrl), seconds(opts.nMetalsEverySec));
    if (!opts.strLiveUrl.empty()) runner.Add(ratesvc::MakeLiveSource(opts.strLiveUrl), seconds(opts.nLiveEverySec));
    if (!opts.strReferenceUrl.empty())
        runner.Add(ratesvc::MakeReferenceSource(opts.strReferenceUrl), seconds(opts.nReferenceEverySec));
    if (!opts.strRatesUrl.empty()) {
        fetcher = std::make_unique<ratesvc::CRateFetcher>(opts.strRatesUrl, svc.rates, Service::Log, opts.strRatesCa);
        runner.AddBank(*fetcher, svc.rates, opts.strRatesUrl, seconds(opts.nFetchEverySec));
    }
    if (!svc.rates.Current() && opts.strLiveUrl.empty() && opts.strReferenceUrl.empty())
        Service::Log("no rates yet; every call gets a fault until " + opts.strRates + " is a good file");
    svc.book.TakeBankTable(svc.rates.Current(), ratesvc::WallClockNow());

    soap* master = soap_new2(SOAP_IO_KEEPALIVE, SOAP_IO_KEEPALIVE);
    if (!master) {
        Service::Log("cannot make the server's context: out of memory");
        return 1;
    }
    g_pfnCloseSocket = master->fclosesocket;
    master->fclosesocket = CloseSocketUnderLock;  // and so every connection copied from it
    master->bind_flags = ratesvc::kListenerBindFlag;
    master->accept_timeout = ratesvc::kHostAcceptWaitUsec;
    ratesvc::ConfigureContext(master, svc.context.limits);
    master->send_timeout = kSendTimeoutSec;
    if (!soap_valid_socket(soap_bind(master, "127.0.0.1", opts.nPort, 128))) {
        Service::Log("cannot listen on 127.0.0.1:" + std::to_string(opts.nPort) + ": " + FaultText(master));
        soap_destroy(master);  // the fault gSOAP made for the log
        soap_end(master);
        soap_free(master);
        return 1;
    }
    const int port = ratesvc::BoundPort(static_cast<std::uintptr_t>(master->master));
    svc.context.nPort = port;
    if (!opts.strPortFile.empty()) {
        // Written whole under another name first, so a reader never sees half a number.
        const std::string tmp = opts.strPortFile + ".tmp";
        std::ofstream(tmp) << port << "\n";
        std::rename(tmp.c_str(), opts.strPortFile.c_str());
    }
    {
        std::lock_guard<std::mutex> lock(svc.mutex);
        if (!StartWorker(svc, true)) {
            soap_free(master);
            return 1;
        }
    }
    Service::Log("listening on 127.0.0.1:" + std::to_string(port) + " (ConversionRate at " + kConversionRatePath +
                 ", getRate at " + kExchangeRatePath + ")");
    runner.Start();  // once the service can answer: a copy that cannot listen asks no publisher

    while (!ratesvc::g_stopRequested) {
        if (!ratesvc::HostAwaitConnection(static_cast<std::uintptr_t>(master->master))) break;
        if (!soap_valid_socket(soap_accept(master))) {
            if (master->errnum && !ratesvc::g_stopRequested) {
                Service::Log(FaultText(master));
                std::this_thread::sleep_for(std::chrono::milliseconds(50));  // e.g. out of descriptors
            }
            continue;
        }
        std::unique_lock<std::mutex> lock(svc.mutex);
        if (!MakeRoom(svc)) {
            // Every slot is in a request, each under its deadline: refuse,
            // and say so at most once a minute, however many are refused.
            ++svc.nRefused;
            const auto now = std::chrono::steady_clock::now();
            if (now - svc.refusedLogged >= std::chrono::minutes(1)) {
                Service::Log(std::to_string(svc.nRefused) + " connections refused: all " +
                             std::to_string(opts.nMaxConnections) + " in the middle of a request");
                svc.nRefused = 0;
                svc.refusedLogged = now;
            }
            lock.unlock();
            soap_force_closesock(master);
            continue;
        }
        soap* conn = soap_copy(master);
        if (!conn) {
            soap_force_closesock(master);
            continue;
        }
        master->socket = SOAP_INVALID_SOCKET;  // now the connection's alone
        svc.connections.insert(conn);
        svc.waiting.push_back(conn);
        // A worker for each waiting connection; one that cannot start leaves
        // the connection to the next worker that is free.
        const auto served = [&] { return static_cast<size_t>(svc.nIdleWorkers) >= svc.waiting.size(); };
        if (!served() && !svc.changed.wait_for(lock, kWorkerGrace, served)) StartWorker(svc, false);
        svc.changed.notify_all();
    }

    // Stop: no new connections; wake the open ones and the workers, and wait
    // for the workers to end (one may be held up in a send until its time-out).
    soap_closesock(master);
    {
        std::unique_lock<std::mutex> lock(svc.mutex);
        svc.bStopping = true;
        {
            std::lock_guard<std::mutex> sockets(g_socketMutex);
            for (soap* c : svc.connections)
                if (soap_valid_socket(c->socket)) ratesvc::ShutdownSocket(static_cast<std::uintptr_t>(c->socket), ratesvc::ShutdownHow::kBoth);
        }
        svc.changed.notify_all();
        if (!svc.changed.wait_for(lock, std::chrono::seconds(kSendTimeoutSec + 5), [&] { return svc.nWorkers == 0; })) {
            // A worker that outlives every time-out would be left using a
            // service that is gone: end the process rather than risk that.
            Service::Log(std::to_string(svc.nWorkers) + " workers did not end; ending the process");
            std::_Exit(1);
        }
        JoinEndedWorkers(svc);
    }
    soap_destroy(master);
    soap_end(master);
    soap_free(master);
    runner.Stop();
    Service::Log("stopped");
    return 0;
}
