// The Windows service's shell under Wine: one instance per user, the stop
// event and the /stop command under the names the installer uses, and the
// rates source taken from the user's registry, as an administrator would set
// it, with a scripted source on loopback standing in for the bank; and
// WinHTTP's certificate checks left as they are.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "rate_fetch.h"
#include "rates/currency_convertor.h"
#include "rates/currency_tables.h"
#include "rates/service_defaults.h"
#include "service_process.h"

#include <tlhelp32.h>

namespace {

namespace fs = std::filesystem;

constexpr wchar_t kSettingsKey[] = L"Software\\Morvast\\Zelvane\\RateService";

std::string ReadAll(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

int WaitForPort(const std::string& file) {
    int port = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!port && std::chrono::steady_clock::now() < deadline) {
        std::ifstream(file) >> port;
        if (!port) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return port;
}

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

class RatesvcWinHost : public testing::Test {
protected:
    void SetUp() override {
        m_dir = MakeTestDir("zelvane-ratesvc-winhost");
        m_rates = m_dir + "\\rates.xml";
        std::ofstream(m_rates) << kRates;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
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
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        fs::remove(m_dir + "\\port");
        // The names the installer uses: no --instance, no --log.
        HANDLE service = Launch({"--no-fetch"});
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
    const std::string log = ReadAll((fs::path(folder) / "Zelvane" / "ratesvc.log").string());
    EXPECT_NE(log.find("listening on 127.0.0.1:"), std::string::npos) << log;
    EXPECT_NE(log.find("stopped"), std::string::npos) << log;
}

// The bank's stand-in: the scripted source on the Linux side (run_peer.py),
// set as SourceUrl in the registry.
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
        const std::wstring url = Wide(m_url);
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"SourceUrl", REG_SZ, url.c_str(),
                                  static_cast<DWORD>((url.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
        const DWORD every = 1;  // below the floor that spares the bank
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"FetchEverySeconds", REG_DWORD, &every, sizeof every),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"SourceUrl");
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"FetchEverySeconds");
        fs::remove(m_peer + "/rates.xml");
        RatesvcWinHost::TearDown();
    }
    std::string m_peer, m_url;
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
        if (c.served) std::ofstream(m_peer + "/rates.xml") << kRates;
        HANDLE service = Launch({"--instance", "fetch", "--log", m_dir + "\\service.log"});
        const int port = WaitForPort(m_dir + "\\port");
        ASSERT_GT(port, 0);
        EXPECT_EQ(UsdToJpy(port), c.rate) << ReadAll(m_dir + "\\service.log");
        EXPECT_EQ(fs::exists(m_rates), c.served) << "only a good download is kept";
        EXPECT_NE(ReadAll(m_dir + "\\service.log").find("rates from " + m_url + " every 60 s"), std::string::npos)
            << "not the registry's source, or no floor under its interval: " << ReadAll(m_dir + "\\service.log");
        HANDLE stopper = LaunchService({"/stop", "--instance", "fetch"});
        EXPECT_EQ(WaitExit(stopper, 60000), 0);
        CloseHandle(stopper);
        EXPECT_EQ(WaitExit(service, 0), 0);
        CloseHandle(service);
    }
}

// WinHTTP and its TLS stack stay resident once loaded: the service must have
// downloaded through its child process and never mapped them itself.
TEST_F(RatesvcWinHostFetch, DownloadsWithoutMappingWinHttp) {
    std::ofstream(m_peer + "/rates.xml") << kRates;
    HANDLE service = Launch({"--instance", "lean", "--log", m_dir + "\\service.log"});
    const int port = WaitForPort(m_dir + "\\port");
    ASSERT_GT(port, 0);
    EXPECT_EQ(UsdToJpy(port), 117.25) << ReadAll(m_dir + "\\service.log");
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
    HANDLE stopper = LaunchService({"/stop", "--instance", "lean"});
    EXPECT_EQ(WaitExit(stopper, 60000), 0);
    CloseHandle(stopper);
    EXPECT_EQ(WaitExit(service, 0), 0);
    CloseHandle(service);
}

TEST_F(RatesvcWinHostFetch, SendsNothingToASourceWhoseCertificateIsNotTrusted) {
    ratesvc::CRateFile file(m_rates);
    std::ofstream(m_peer + "/rates.xml") << kRates;
    std::string logged;
    ratesvc::CRateFetcher fetcher("https://127.0.0.1:" + std::to_string(m_nTls) + "/rates.xml", file,
                                  [&](const std::string& line) { logged += line + "\n"; });
    const std::string requests = m_peer + "/requests.log";
    const auto before = fs::exists(requests) ? fs::file_size(requests) : 0;
    // The run's own certificate, which no store of this prefix trusts.
    EXPECT_EQ(fetcher.FetchOnce(), ratesvc::FetchOutcome::kFailed) << logged;
    EXPECT_NE(logged.find("secure connection"), std::string::npos) << logged;
    EXPECT_EQ(fs::exists(requests) ? fs::file_size(requests) : 0, before) << "a request went out";
    EXPECT_FALSE(fs::exists(m_rates));
}

}  // namespace
