// Rates fetched from nginx on loopback: conditional requests, new files
// taken, and every kind of bad download leaving the last good rates in force;
// then the service itself fetching on its interval, asked by the program's
// own client.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "rate_fetch.h"
#include "rates/currency_convertor.h"
#include "rates/currency_tables.h"
#include "rates/service_defaults.h"
#include "service_process.h"

namespace {

std::string Rates(const std::string& date, const std::string& usd, const std::string& jpy = "234.5") {
    return "<gesmes:Envelope xmlns:gesmes='http://www.gesmes.org/xml/2002-08-01' "
           "xmlns='http://www.ecb.int/vocabulary/2002-08-01/eurofxref'><Cube><Cube time='" + date + "'>"
           "<Cube currency='USD' rate='" + usd + "'/>" +
           (jpy.empty() ? "" : "<Cube currency='JPY' rate='" + jpy + "'/>") + "</Cube></Cube></gesmes:Envelope>";
}

[[maybe_unused]] std::string ReadAll(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

class RateFetch : public testing::Test {
protected:
    void SetUp() override {
        const char* servers = std::getenv("ZELVANE_HTTP_SERVERS");
        ASSERT_NE(servers, nullptr) << "run through ctest, which starts nginx";
        int port = 0;
        std::ifstream(std::string(servers) + "/nginx.port") >> port;
        ASSERT_GT(port, 0);
        const std::string sub = "/fetch-" + std::to_string(TestProcessId()) + "-" +
                                testing::UnitTest::GetInstance()->current_test_info()->name();
        m_www = std::string(servers) + "/www" + sub;
        ASSERT_TRUE(std::filesystem::create_directory(m_www));
        m_root = "http://127.0.0.1:" + std::to_string(port);
        m_base = m_root + sub;
        m_rates = m_www + "/kept.xml";  // the service's own copy, never served
        m_log.clear();
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(m_www, ec);
    }

    // Serves `text` as rates.xml. Each version gets a later modification time,
    // so nginx's validators change even when two writes fall in one second.
    void Serve(const std::string& text) {
        const std::string path = m_www + "/rates.xml";
        std::ofstream(path + ".new") << text;
        ++m_nVersion;
        namespace fs = std::filesystem;
        static const auto base = fs::file_time_type::clock::now() - std::chrono::hours(24 * 365);
        fs::last_write_time(path + ".new", base + std::chrono::seconds(m_nVersion * 100));
        fs::rename(path + ".new", path);
    }

    std::function<void(const std::string&)> Logger() {
        return [this](const std::string& line) { m_log += line + "\n"; };
    }

    std::string m_www, m_root, m_base, m_rates, m_log;
    int m_nVersion = 0;
};

double UsdPerEuro(ratesvc::CRateFile& file) {
    const auto table = file.Current();
    return table ? table->PerEuro("USD").value_or(-1) : -1;
}

TEST_F(RateFetch, TakesNewFilesAndKeepsTheLastGoodOnBadDownloads) {
    ratesvc::CRateFile file(m_rates);
    ratesvc::CRateFetcher fetcher(m_base + "/rates.xml", file, Logger());
    Serve(Rates("2024-03-01", "2"));
    ASSERT_EQ(fetcher.FetchOnce(), ratesvc::FetchOutcome::kUpdated) << m_log;
    EXPECT_EQ(UsdPerEuro(file), 2);
    // Asked again with the validators: nothing to transfer.
    EXPECT_EQ(fetcher.FetchOnce(), ratesvc::FetchOutcome::kNotModified) << m_log;

    Serve(Rates("2024-03-04", "2.5"));
    ASSERT_EQ(fetcher.FetchOnce(), ratesvc::FetchOutcome::kUpdated) << m_log;
    EXPECT_EQ(UsdPerEuro(file), 2.5);

    const std::string good = Rates("2024-03-05", "4");
    struct Bad {
        const char* what;
        std::string url, served, logged;
    } const bad[] = {
        {"truncated", "/rates.xml", good.substr(0, good.size() / 2), "not a rates file"},
        {"not XML", "/rates.xml", "<html><body>Service unavailable</body></html>", "not a rates file"},
        {"no rates", "/rates.xml", Rates("2024-03-05", "0"), "not a rates file"},
        {"older", "/rates.xml", Rates("2024-03-01", "4"), "refused (dated 2024-03-01"},
        {"without JPY", "/rates.xml", Rates("2024-03-05", "4", ""), "refused (no rate for JPY"},
        {"absurd", "/rates.xml", Rates("2024-03-05", "1e-300", "1e300"), "not a plausible number"},
        {"404", "/missing.xml", good, "HTTP status 404"},
        {"500", "/broken", good, "HTTP status 500"},
        {"refused", "", good, "keeping the rates of 2024-03-04"},
    };
    for (const Bad& b : bad) {
        Serve(b.served);
        m_log.clear();
        const std::string url = b.url.empty() ? "http://127.0.0.1:1/rates.xml"  // nothing listens on port 1
                                : b.url == "/broken"  ? m_root + b.url
                                                      : m_base + b.url;
        ratesvc::CRateFetcher other(url, file, Logger());
        ratesvc::CRateFetcher& f = b.url == "/rates.xml" ? fetcher : other;
        EXPECT_EQ(f.FetchOnce(), ratesvc::FetchOutcome::kFailed) << b.what;
        EXPECT_NE(m_log.find(b.logged), std::string::npos) << b.what << ": " << m_log;
        EXPECT_NE(m_log.find("keeping the rates of 2024-03-04"), std::string::npos) << b.what << ": " << m_log;
        EXPECT_EQ(UsdPerEuro(file), 2.5) << b.what;
        ratesvc::CRateFile kept(m_rates);  // the file on disk, as the next start would read it
        EXPECT_EQ(UsdPerEuro(kept), 2.5) << b.what;
    }
    // After bad downloads the whole file is asked for again, not a 304.
    Serve(good);
    EXPECT_EQ(fetcher.FetchOnce(), ratesvc::FetchOutcome::kUpdated) << m_log;
    EXPECT_EQ(UsdPerEuro(file), 4);
}

TEST_F(RateFetch, ServiceFetchesOnItsIntervalAndAnswersWithTheNewRates) {
    Serve(Rates("2024-03-01", "2"));  // USD->JPY 117.25
    pid_t pid = 0;
    int port = 0;
    const std::string log = m_www + "/service.log";
    StartService(m_www, m_rates, {"--rates-url", m_base + "/rates.xml", "--fetch-every", "1"}, pid, port, log);
    rates::CCurrencyConvertor client("http://127.0.0.1:" + std::to_string(port) + "/CurrencyConvertor.asmx",
                                     rates::kDefaultConversionRateNamespace);
    auto rate = [&] {
        double value = -1;
        return soap::Succeeded(client.ConversionRate(rates::kCurrency_USD, rates::kCurrency_JPY, &value)) ? value : -1;
    };
    auto readLog = [&] {
        std::ostringstream text;
        text << std::ifstream(log).rdbuf();
        return text.str();
    };
    const auto waitFor = [](auto done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!done() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return done();
    };
    EXPECT_TRUE(waitFor([&] { return rate() == 117.25; })) << readLog();  // the first round, begun at start

    Serve(Rates("2024-03-04", "2.5"));  // USD->JPY 93.8
    EXPECT_TRUE(waitFor([&] { return rate() == 93.8; })) << readLog();

    Serve("<gesmes:Envelope");
    EXPECT_TRUE(waitFor([&] { return readLog().find("not a rates file") != std::string::npos; })) << readLog();
    EXPECT_EQ(rate(), 93.8);
    StopService(pid);
}

#ifndef _WIN32
// A scripted source (tests/ratesvc/rate_peer.py) for what nginx will not
// send: redirects from https to http, validators with control bytes. (Native
// only: WinHTTP trusts the system's certificate store, not a test's file.)
class RateFetchScripted : public testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/zelvane-ratesvc-peer-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
        std::ofstream(m_dir + "/rates.xml") << Rates("2024-03-04", "2.5");
        std::vector<std::string> args = {"python3", ZELVANE_RATESVC_PEER, m_dir};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ASSERT_EQ(posix_spawnp(&m_pid, "python3", nullptr, nullptr, argv.data(), environ), 0);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!(std::ifstream(m_dir + "/plain.port") >> m_plain) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::ifstream(m_dir + "/tls.port") >> m_tls;
        ASSERT_GT(m_plain, 0) << "the scripted source did not start";
        ASSERT_GT(m_tls, 0);
    }
    void TearDown() override {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
        for (const char* name : {"/rates.xml", "/kept.xml", "/cert.pem", "/key.pem", "/plain.port", "/tls.port", "/requests.log"})
            std::remove((m_dir + name).c_str());
        rmdir(m_dir.c_str());
    }

    std::string m_dir;
    pid_t m_pid = 0;
    int m_plain = 0, m_tls = 0;
};

TEST_F(RateFetchScripted, StaysOnTlsAndSendsNoValidatorWithControlBytes) {
    std::string logged;
    const auto log = [&](const std::string& line) { logged += line + "\n"; };
    ratesvc::CRateFile file(m_dir + "/kept.xml");
    const std::string tls = "https://127.0.0.1:" + std::to_string(m_tls);
    ratesvc::CRateFetcher direct(tls + "/rates.xml", file, log, m_dir + "/cert.pem");
    ASSERT_EQ(direct.FetchOnce(), ratesvc::FetchOutcome::kUpdated) << logged;

    // Over plain http the redirect's target would hand over these rates.
    std::ofstream(m_dir + "/rates.xml") << Rates("2024-03-05", "4");
    const auto asked = [&] { return RequestsFor(m_dir + "/requests.log", "/rates.xml"); };
    const size_t before = asked();
    ratesvc::CRateFetcher redirected(tls + "/to-http", file, log, m_dir + "/cert.pem");
    EXPECT_EQ(redirected.FetchOnce(), ratesvc::FetchOutcome::kFailed) << logged;
    EXPECT_EQ(UsdPerEuro(file), 2.5);
    EXPECT_EQ(asked(), before) << "the redirect to plain http was followed";

    ratesvc::CRateFetcher tainted("http://127.0.0.1:" + std::to_string(m_plain) + "/tainted.xml", file, log);
    ASSERT_EQ(tainted.FetchOnce(), ratesvc::FetchOutcome::kUpdated) << logged;
    tainted.FetchOnce();
    const std::string requests = ReadAll(m_dir + "/requests.log");
    const size_t lastAt = requests.rfind("GET /tainted.xml");
    ASSERT_NE(lastAt, std::string::npos) << requests;
    const std::string last = requests.substr(lastAt);
    EXPECT_EQ(last.find("If-None-Match"), std::string::npos) << last;
    EXPECT_EQ(last.find("If-Modified-Since"), std::string::npos) << last;
    EXPECT_EQ(last.find("X-Forged"), std::string::npos) << last;
}

#endif

}  // namespace
