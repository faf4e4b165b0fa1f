// The Windows service's shell under Wine: one instance per user, the stop
// event and the /stop command under the names the installer uses, and the
// sources taken from the user's registry, as an administrator would set
// them, with a scripted source on loopback standing in for every publisher;
// WinHTTP's certificate checks left as they are, a certificate file trusted
// only where it is given, and what the fetch process carries back and forth.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "rate_fetch.h"
#include "rates/currency_convertor.h"
#include "rates/currency_tables.h"
#include "rates/service_defaults.h"
#include "service_process.h"
#include "source_runner.h"
#include "sources/rate_source.h"

#include <tlhelp32.h>

namespace {

namespace fs = std::filesystem;

constexpr wchar_t kSettingsKey[] = L"Software\\Morvast\\Zelvane\\RateService";

std::string ReadAll(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

// Polls `done` until it holds or `seconds` pass.
bool WaitFor(const std::function<bool()>& done, int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        if (done()) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

int WaitForPort(const std::string& file) {
    int port = 0;
    WaitFor([&] { return (std::ifstream(file) >> port) && port > 0; }, 20);
    return port;
}

bool SetString(const wchar_t* name, const std::string& value) {
    const std::wstring wide = Wide(value);
    return RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, name, REG_SZ, wide.c_str(),
                           static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}
bool SetDword(const wchar_t* name, DWORD value) {
    return RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, name, REG_DWORD, &value, sizeof value) == ERROR_SUCCESS;
}
void ClearSettings() { RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey); }

// USD->JPY from the service on `port` through the program's own client; -1
// when the call fails (a fault included).
double UsdToJpy(int port) {
    rates::CCurrencyConvertor client("http://127.0.0.1:" + std::to_string(port) + "/CurrencyConvertor.asmx",
                                     rates::kDefaultConversionRateNamespace);
    double value = -1;
    return soap::Succeeded(client.ConversionRate(rates::kCurrency_USD, rates::kCurrency_JPY, &value)) ? value : -1;
}

const char kRates[] =
    "<gesmes:Envelope xmlns:gesmes='http://www.gesmes.org/xml/2002-08-01' "
    "xmlns='http://www.ecb.int/vocabulary/2002-08-01/eurofxref'><Cube><Cube time='2024-03-01'>"
    "<Cube currency='USD' rate='2'/><Cube currency='JPY' rate='234.5'/></Cube></Cube></gesmes:Envelope>";

// A certificate for the same name as the scripted source's, made once for
// these tests; its key is gone.
const char kOtherCertificate[] =
    "-----BEGIN CERTIFICATE-----\n"
    "MIIBjzCCATagAwIBAgIUXHaCXIh64fxqeB6dNbKJeVJf9aIwCgYIKoZIzj0EAwIw\n"
    "FDESMBAGA1UEAwwJMTI3LjAuMC4xMCAXDTI2MTIxMDE1NTczOFoYDzIxMjYxMTE2\n"
    "MTU1NzM4WjAUMRIwEAYDVQQDDAkxMjcuMC4wLjEwWTATBgcqhkjOPQIBBggqhkjO\n"
    "PQMBBwNCAAQlJqvbb5pzbi0QYh4nQck+R4ReW5R7hJcJ4SwKDu+5zIeCMD0HLKKR\n"
    "gnkxKgISS1f0FPXCc3EYk7Y5VQA9gGxYo2QwYjAdBgNVHQ4EFgQUMzIiG73tE3eR\n"
    "qwl3IVs4NxHuZaYwHwYDVR0jBBgwFoAUMzIiG73tE3eRqwl3IVs4NxHuZaYwDwYD\n"
    "VR0TAQH/BAUwAwEB/zAPBgNVHREECDAGhwR/AAABMAoGCCqGSM49BAMCA0cAMEQC\n"
    "IDfpM6XVUvufQ0hdHSkSV0RH02JCnhVJa4l2je+86Y1VAiA1cjdtBXKyv2AfzKuw\n"
    "cQPkVMPgxWOwhce0URUQ8xoBkg==\n"
    "-----END CERTIFICATE-----\n";

class RatesvcWinHost : public testing::Test {
protected:
    void SetUp() override {
        ClearSettings();
        m_dir = MakeTestDir("zelvane-ratesvc-winhost");
        m_rates = m_dir + "\\rates.xml";
        std::ofstream(m_rates) << kRates;
    }
    void TearDown() override {
        ClearSettings();
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    // Stops the service of this instance and expects a clean end.
    static void Stop(HANDLE service, const std::string& instance) {
        HANDLE stopper = LaunchService({"/stop", "--instance", instance});
        EXPECT_EQ(WaitExit(stopper, 60000), 0);
        CloseHandle(stopper);
        EXPECT_EQ(WaitExit(service, 0), 0);
        CloseHandle(service);
    }
    // The service with these options besides its rates file and port.
    HANDLE Launch(std::vector<std::string> args) {
        args.insert(args.end(), {"--rates", m_rates, "--port", "0", "--port-file", m_dir + "\\port"});
        HANDLE process = LaunchService(args);
        EXPECT_NE(process, nullptr);
        return process;
    }
    std::string m_dir, m_rates;
};

TEST_F(RatesvcWinHost, ASecondCopyLeavesAtOnceAndTheFirstServesOn) {
    HANDLE first = Launch({"--instance", "single", "--no-fetch", "--log", m_dir + "\\first.log"});
    const int port = WaitForPort(m_dir + "\\port");
    ASSERT_GT(port, 0);
    HANDLE second = LaunchService({"--instance", "single", "--no-fetch", "--rates", m_rates, "--port", "0", "--log",
                                   m_dir + "\\second.log"});
    EXPECT_EQ(WaitExit(second, 10000), 3);
    CloseHandle(second);
    EXPECT_FALSE(fs::exists(m_dir + "\\second.log")) << "the second copy touched the log";
    EXPECT_EQ(UsdToJpy(port), 117.25);
    EXPECT_EQ(LaunchService({"/stop", "--instance", "single"}) != nullptr, true);
    EXPECT_EQ(WaitExit(first, 30000), 0);
    CloseHandle(first);
}

TEST_F(RatesvcWinHost, StopsOnItsEventAndOnTheStopCommand) {
    struct Case {
        const char* how;
        bool command;
    } const cases[] = {{"the event Local\\ZelvaneRateServiceStop", false}, {"zelvane-ratesvc /stop", true}};
    std::vector<DWORD> pids;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        fs::remove(m_dir + "\\port");
        // The names the installer uses: no --instance, no --log.
        HANDLE service = Launch({"--no-fetch"});
        pids.push_back(GetProcessId(service));
        const int port = WaitForPort(m_dir + "\\port");
        ASSERT_GT(port, 0);
        EXPECT_EQ(UsdToJpy(port), 117.25);
        if (c.command) {
            HANDLE stopper = LaunchService({"/stop"});
            EXPECT_EQ(WaitExit(stopper, 60000), 0);
            CloseHandle(stopper);
            // /stop returns only once the service has gone.
            EXPECT_EQ(WaitExit(service, 0), 0);
        } else {
            HANDLE stop = OpenEventW(EVENT_MODIFY_STATE, FALSE, L"Local\\ZelvaneRateServiceStop");
            ASSERT_NE(stop, nullptr);
            SetEvent(stop);
            CloseHandle(stop);
            EXPECT_EQ(WaitExit(service, 30000), 0);
        }
        CloseHandle(service);
    }
    // Its log went to the user's local application data folder.
    wchar_t folder[MAX_PATH];
    ASSERT_GT(GetEnvironmentVariableW(L"LOCALAPPDATA", folder, MAX_PATH), 0u);
    // The log outlives every run: each of these runs' own lines, from its
    // start line (which names its process) to the next run's.
    const std::string log = ReadAll((fs::path(folder) / "Zelvane" / "ratesvc.log").string());
    for (const DWORD pid : pids) {
        const size_t start = log.find("starting (process " + std::to_string(pid) + ";");
        ASSERT_NE(start, std::string::npos) << pid << "\n" << log;
        const std::string own = log.substr(start, log.find("starting (process ", start + 1) - start);
        const size_t listening = own.find("listening on 127.0.0.1:");
        EXPECT_NE(listening, std::string::npos) << own;
        EXPECT_NE(own.find("stopped", listening), std::string::npos) << own;
    }
}

// Without its local application data folder the service would keep its rates
// at the drive's root and log nowhere: it does not start, and says why in
// its exit code and in the log it was given.
TEST_F(RatesvcWinHost, RefusesToStartWithoutItsDataFolder) {
    const std::string blocker = m_dir + "\\a-file";
    std::ofstream(blocker) << "not a folder";
    wchar_t saved[MAX_PATH];
    const DWORD had = GetEnvironmentVariableW(L"LOCALAPPDATA", saved, MAX_PATH);
    SetEnvironmentVariableW(L"LOCALAPPDATA", Wide(blocker + "\\AppData").c_str());
    HANDLE service = LaunchService({"--instance", "nofolder", "--no-fetch", "--port", "0", "--log", m_dir + "\\nofolder.log"});
    SetEnvironmentVariableW(L"LOCALAPPDATA", had ? saved : nullptr);
    ASSERT_NE(service, nullptr);
    const long code = WaitExit(service, 10000);
    EXPECT_EQ(code, 5);
    if (code != 5) Stop(service, "nofolder");
    else CloseHandle(service);
    EXPECT_NE(ReadAll(m_dir + "\\nofolder.log").find("no local application data folder"), std::string::npos);
}

// Every publisher's stand-in: the scripted source on the Linux side
// (run_peer.py), set as the bank's SourceUrl in the registry; every other
// source is off unless a case sets it, so that nothing leaves the machine.
class RatesvcWinHostFetch : public RatesvcWinHost {
protected:
    void SetUp() override {
        RatesvcWinHost::SetUp();
        const char* peer = std::getenv("ZELVANE_RATESVC_PEER_DIR");
        ASSERT_NE(peer, nullptr) << "run through ctest, which starts the scripted source";
        m_peer = peer;
        std::ifstream(m_peer + "/plain.port") >> m_nPlain;
        std::ifstream(m_peer + "/tls.port") >> m_nTls;
        ASSERT_GT(m_nPlain, 0);
        ASSERT_GT(m_nTls, 0);
        fs::remove(m_peer + "/rates.xml");
        m_url = "http://127.0.0.1:" + std::to_string(m_nPlain) + "/rates.xml";
        fs::remove(m_rates);  // a fresh install: no kept rates
        ASSERT_TRUE(SetString(L"SourceUrl", m_url));
        ASSERT_TRUE(SetDword(L"FetchEverySeconds", 1));  // below the floor that spares the bank
        for (const wchar_t* name : {L"LiveUrl", L"ReferenceUrl", L"MetalsUrl"}) ASSERT_TRUE(SetString(name, ""));
        // The peer's files of this test, apart from other tests'.
        m_tag = "winhost-" + std::to_string(GetCurrentProcessId());
        fs::create_directories(m_peer + "/" + m_tag);
    }
    void TearDown() override {
        fs::remove(m_peer + "/rates.xml");
        std::error_code ec;
        fs::remove_all(m_peer + "/" + m_tag, ec);
        RatesvcWinHost::TearDown();
    }
    std::string Log() const { return ReadAll(m_dir + "\\service.log"); }
    bool LogShows(const std::string& text, int seconds) const {
        return WaitFor([&] { return Log().find(text) != std::string::npos; }, seconds);
    }
    size_t Asked(const std::string& path) const { return RequestsFor(m_peer + "/requests.log", path); }
    // http://127.0.0.1:<peer>/<tag>/<name>
    std::string UrlOf(const std::string& name) const {
        return "http://127.0.0.1:" + std::to_string(m_nPlain) + "/" + m_tag + "/" + name;
    }
    // A file the peer serves at UrlOf(name), with the peer's script for it.
    std::string Serve(const std::string& name, const std::string& body, const std::string& script = {}) const {
        const std::string path = m_peer + "/" + m_tag + "/" + name;
        std::ofstream(path, std::ios::binary) << body;
        if (!script.empty()) std::ofstream(path + ".script", std::ios::binary) << script;
        return UrlOf(name);
    }
    std::string m_peer, m_url, m_tag;
    int m_nPlain = 0, m_nTls = 0;
};

TEST_F(RatesvcWinHostFetch, FetchesFromTheRegistrysSourceAndServesNothingBefore) {
    struct Case {
        const char* what;
        bool served;
        double rate;  // -1: a fault
    } const cases[] = {{"the source has no file yet", false, -1}, {"the source serves the day's rates", true, 117.25}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(m_dir + "\\port");
        fs::remove(m_dir + "\\service.log");
        if (c.served) std::ofstream(m_peer + "/rates.xml") << kRates;
        HANDLE service = Launch({"--instance", "fetch", "--log", m_dir + "\\service.log"});
        const int port = WaitForPort(m_dir + "\\port");
        ASSERT_GT(port, 0);
        // The first round runs beside the server: its outcome is awaited.
        ASSERT_TRUE(LogShows(m_url + ": " + (c.served ? "fetched" : "HTTP status 404"), 30)) << Log();
        double rate = -2;
        EXPECT_TRUE(WaitFor([&] { return (rate = UsdToJpy(port)) == c.rate; }, 10)) << rate << "\n" << Log();
        EXPECT_EQ(fs::exists(m_rates), c.served) << "only a good download is kept";
        EXPECT_NE(Log().find("rates from " + m_url + " every 60 s"), std::string::npos)
            << "not the registry's source, or no floor under its interval: " << Log();
        Stop(service, "fetch");
    }
}

// WinHTTP and its TLS stack stay resident once loaded: the service must have
// downloaded through its child process and never mapped them itself.
TEST_F(RatesvcWinHostFetch, DownloadsWithoutMappingWinHttp) {
    std::ofstream(m_peer + "/rates.xml") << kRates;
    HANDLE service = Launch({"--instance", "lean", "--log", m_dir + "\\service.log"});
    const int port = WaitForPort(m_dir + "\\port");
    ASSERT_GT(port, 0);
    EXPECT_TRUE(WaitFor([&] { return UsdToJpy(port) == 117.25; }, 30)) << Log();
    bool mapped = false, listed = false;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, GetProcessId(service));
    MODULEENTRY32W module{};
    module.dwSize = sizeof module;
    for (BOOL more = Module32FirstW(snapshot, &module); more; more = Module32NextW(snapshot, &module)) {
        listed = true;
        mapped = mapped || _wcsicmp(module.szModule, L"winhttp.dll") == 0;
    }
    CloseHandle(snapshot);
    EXPECT_TRUE(listed) << "no module list of the service";
    EXPECT_FALSE(mapped) << "the service loaded WinHTTP itself";
    Stop(service, "lean");
}

TEST_F(RatesvcWinHostFetch, SendsNothingToASourceWhoseCertificateIsNotTrusted) {
    ratesvc::CRateFile file(m_rates);
    std::ofstream(m_peer + "/rates.xml") << kRates;
    std::string logged;
    ratesvc::CRateFetcher fetcher("https://127.0.0.1:" + std::to_string(m_nTls) + "/rates.xml", file,
                                  [&](const std::string& line) { logged += line + "\n"; });
    const auto asked = [&] { return Asked("/rates.xml"); };
    const size_t before = asked();
    // The run's own certificate, which no store of this prefix trusts.
    EXPECT_EQ(fetcher.FetchOnce(), ratesvc::FetchOutcome::kFailed) << logged;
    EXPECT_NE(logged.find("secure connection"), std::string::npos) << logged;
    EXPECT_EQ(asked(), before) << "a request went out";
    EXPECT_FALSE(fs::exists(m_rates));
}

// The sources an administrator sets, as the service's first log line names
// them: an absent value is the compiled default, an empty URL turns its
// source off, intervals go to the server as set (it raises them to each
// publisher's floor itself).
TEST_F(RatesvcWinHostFetch, RegistryValuesChooseTheSources) {
    const std::string reference = UrlOf("reference"), metals = UrlOf("metals/");
    using ratesvc::kDefaultLiveEverySec, ratesvc::kDefaultMetalsEverySec, ratesvc::kDefaultReferenceEverySec,
        ratesvc::ShownUrl;
    struct Case {
        const char* what;
        std::vector<std::pair<const wchar_t*, std::string>> strings;
        std::vector<std::pair<const wchar_t*, DWORD>> numbers;
        std::vector<std::string> logged;
        // An installed service with nothing written would ask the real
        // publishers: that case runs with an option the server refuses
        // before it starts a source.
        bool serves;
    } const cases[] = {
        {"nothing written",
         {},
         {},
         {"rates from " + ShownUrl(ratesvc::kDefaultBankUrl) + " every 3600 s",
          "live from " + ShownUrl(ratesvc::kDefaultLiveUrl) + " every " + std::to_string(kDefaultLiveEverySec) + " s",
          "reference from " + ShownUrl(ratesvc::kDefaultReferenceUrl) + " every " +
              std::to_string(kDefaultReferenceEverySec) + " s",
          "metals from " + ShownUrl(ratesvc::kDefaultMetalsUrl) + " every " + std::to_string(kDefaultMetalsEverySec) +
              " s"},
         false},
        {"empty URLs, and an interval under the floor",
         {{L"SourceUrl", ""}, {L"LiveUrl", ""}, {L"ReferenceUrl", reference}, {L"MetalsUrl", metals}},
         {{L"ReferenceEverySeconds", 7}, {L"LiveEverySeconds", 30}},
         {"rates off", "live off", "reference from " + reference + " every 7 s",
          "metals from " + metals + " every " + std::to_string(kDefaultMetalsEverySec) + " s"},
         true},
        {"a URL that is not a string",
         {{L"SourceUrl", ""}, {L"ReferenceUrl", ""}, {L"MetalsUrl", ""}},
         {{L"LiveUrl", 5}},
         {"live off", "LiveUrl cannot be read", "reference off", "metals off"},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ClearSettings();
        for (const auto& [name, value] : c.strings) ASSERT_TRUE(SetString(name, value));
        for (const auto& [name, value] : c.numbers) ASSERT_TRUE(SetDword(name, value));
        fs::remove(m_dir + "\\port");
        fs::remove(m_dir + "\\service.log");
        std::vector<std::string> args = {"--instance", "settings", "--log", m_dir + "\\service.log"};
        if (!c.serves) args.push_back("--not-an-option");
        HANDLE service = Launch(args);
        if (c.serves) {
            EXPECT_GT(WaitForPort(m_dir + "\\port"), 0) << "the server refused the options\n" << Log();
            Stop(service, "settings");
        } else {
            EXPECT_EQ(WaitExit(service, 30000), 2) << Log();
            CloseHandle(service);
        }
        const std::string log = Log();
        const std::string start = log.substr(0, log.find('\n'));
        for (const std::string& text : c.logged) EXPECT_NE(start.find(text), std::string::npos) << text << "\n" << log;
    }
}

// A certificate file reaches the fetch process, the path every download of
// the service takes; it vouches for its own certificates only, and a
// server it does not vouch for gets no request.
TEST_F(RatesvcWinHostFetch, TrustsTheCertificateFileItIsGivenAndNoOther) {
    const std::string url = "https://127.0.0.1:" + std::to_string(m_nTls) + "/rates.xml";
    ASSERT_TRUE(SetString(L"SourceUrl", url));
    std::ofstream(m_peer + "/rates.xml") << kRates;
    std::ofstream(m_dir + "\\other.pem") << kOtherCertificate;
    struct Case {
        const char* what;
        std::string caFile;  // empty: no --rates-ca
        std::string refusal;  // empty: trusted
    } const cases[] = {
        {"no certificate file: the system's store, which does not know the run's certificate", "",
         "no secure connection"},
        {"a file with another certificate for the same name", m_dir + "\\other.pem",
         "no secure connection (the certificate is not trusted by " + m_dir + "\\other.pem)"},
        {"a file with the source's own certificate", m_peer + "/cert.pem", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(m_dir + "\\port");
        fs::remove(m_dir + "\\service.log");
        fs::remove(m_rates);
        const size_t before = Asked("/rates.xml");
        std::vector<std::string> args = {"--instance", "ca", "--log", m_dir + "\\service.log"};
        if (!c.caFile.empty()) args.insert(args.end(), {"--rates-ca", c.caFile});
        HANDLE service = Launch(args);
        const int port = WaitForPort(m_dir + "\\port");
        ASSERT_GT(port, 0) << Log();
        ASSERT_TRUE(LogShows(url + ": ", 30)) << "no outcome of the first download\n" << Log();
        if (c.refusal.empty()) {
            EXPECT_TRUE(WaitFor([&] { return UsdToJpy(port) == 117.25; }, 10)) << Log();
            EXPECT_EQ(Asked("/rates.xml"), before + 1);
        } else {
            EXPECT_NE(Log().find(c.refusal), std::string::npos) << Log();
            EXPECT_EQ(UsdToJpy(port), -1);
            EXPECT_EQ(Asked("/rates.xml"), before) << "a request went out";
        }
        Stop(service, "ca");
    }
}

// What crosses the pipe to and from the fetch process besides the body: a
// publisher's Retry-After comes back to the service, and the request's
// deadline goes out to the child, which ends a dripping answer itself
// (were it left at the default, the parent would have to kill the child).
TEST_F(RatesvcWinHostFetch, FetchProcessCarriesRetryAfterAndKeepsTheDeadline) {
    const std::string busy = Serve("busy", "", "status 429 Too Many Requests\nheader Retry-After: 120\n");
    const std::string dripping = Serve("dripping", std::string(200, ' '), "drip 0.5\n");  // 100 s of body
    ASSERT_TRUE(SetString(L"SourceUrl", ""));
    ASSERT_TRUE(SetString(L"ReferenceUrl", busy));
    ASSERT_TRUE(SetString(L"LiveUrl", dripping));
    ASSERT_TRUE(SetDword(L"LiveEverySeconds", 30));  // the shortest interval, the shortest deadline
    HANDLE service = Launch({"--instance", "pipe", "--log", m_dir + "\\service.log"});
    ASSERT_GT(WaitForPort(m_dir + "\\port"), 0) << Log();
    EXPECT_TRUE(LogShows("HTTP status 429 (asked to wait 120 s)", 90)) << Log();
    EXPECT_TRUE(LogShows("the transfer took longer than its ", 90)) << Log();
    EXPECT_EQ(Log().find("passed its deadline"), std::string::npos) << Log();
    Stop(service, "pipe");
}

}  // namespace
