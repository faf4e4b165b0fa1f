// The service with its live, reference and metals publishers standing in on
// loopback: rate_peer.py serves their answers, in their own shapes, from
// tests/ratesvc/standin (dated today as it serves them). Asked with the
// program's own clients: every code of the list from the source it belongs
// to, the fall back to the reference and back to live, and bad answers of
// the live source that must leave its good quotes in force.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "rate_fetch.h"
#include "rates/currency_convertor.h"
#include "rates/currency_exchange_service.h"
#include "rates/currency_tables.h"
#include "rates/service_defaults.h"
#include "service_process.h"

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

void WriteAtomically(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path + ".tmp", std::ios::binary) << text;  // the peer never serves *.tmp
    fs::rename(path + ".tmp", path);
}

bool WaitFor(std::chrono::seconds limit, const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return true;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

std::map<std::string, double> Numbers(const std::string& text, const char* pattern) {
    std::map<std::string, double> out;
    const std::regex re(pattern);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator(); ++it)
        out[(*it)[1]] = std::strtod((*it)[2].str().c_str(), nullptr);
    return out;
}
// Units per dollar, as strings; per euro, as numbers; dollars per ounce.
std::map<std::string, double> LivePerUsd(const std::string& json) { return Numbers(json, "\"([A-Z]+)\":\"([^\"]*)\""); }
std::map<std::string, double> ReferencePerEur(const std::string& json) {
    return Numbers(json, "\"quote\":\"([A-Z]+)\",\"rate\":([^,}]+)");
}
double MetalPrice(const std::string& json) { return Numbers(json, "\"(price)\":([^,}]+)")["price"]; }

// Replaced currencies: old units per unit of the successor, fixed by law.
struct Legacy {
    const char* code;
    const char* successor;
    double factor;
};
constexpr Legacy kLegacy[] = {
    {"CYP", "EUR", 0.585274}, {"EEK", "EUR", 15.6466}, {"LVL", "EUR", 0.702804}, {"LTL", "EUR", 3.45280},
    {"MTL", "EUR", 0.429300}, {"SKK", "EUR", 30.1260}, {"SIT", "EUR", 239.640},  {"HRK", "EUR", 7.53450},
    {"AFA", "AFN", 1000},     {"GHC", "GHS", 10000},   {"MGF", "MGA", 5},        {"MZM", "MZN", 1000},
    {"ROL", "RON", 10000},    {"SDD", "SDG", 100},     {"SRG", "SRD", 1000},     {"TRL", "TRY", 1e6},
    {"MRO", "MRU", 10},       {"STD", "STN", 1000},    {"ZMK", "ZMW", 1000},     {"YUM", "RSD", 1},
    {"VEB", "VES", 1e14}};
constexpr const char* kMetals[] = {"XAU", "XAG", "XPT", "XPD"};

const std::string kStandin = ZELVANE_RATESVC_STANDIN;

class RatesvcSources : public testing::Test {
protected:
    void SetUp() override {
        m_dir = MakeTestDir("zelvane-ratesvc-sources");
#ifdef _WIN32
        const char* peer = std::getenv("ZELVANE_RATESVC_PEER_DIR");
        ASSERT_NE(peer, nullptr) << "run through ctest, which starts the scripted source";
        m_peer = peer;
#else
        m_peer = m_dir + "/peer";
        fs::create_directory(m_peer);
        std::vector<std::string> args = {"python3", ZELVANE_RATESVC_PEER, m_peer};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ASSERT_EQ(posix_spawnp(&m_peerPid, "python3", nullptr, nullptr, argv.data(), environ), 0);
#endif
        ASSERT_TRUE(WaitFor(std::chrono::seconds(20), [&] { return bool(std::ifstream(m_peer + "/plain.port") >> m_plain); }))
            << "the scripted source did not start";
        std::ifstream(m_peer + "/tls.port") >> m_tls;
        m_sub = "/" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
                std::to_string(TestProcessId());
        m_live = ReadAll(kStandin + "/coinbase-usd.json");
        m_reference = ReadAll(kStandin + "/frankfurter-eur.json");
        ASSERT_FALSE(m_live.empty());
    }
    void TearDown() override {
        for (const Service& s : m_services) StopService(s.pid);
#ifndef _WIN32
        if (m_peerPid > 0) {
            kill(m_peerPid, SIGTERM);
            waitpid(m_peerPid, nullptr, 0);
        }
#endif
        std::error_code ec;
        fs::remove_all(m_peer + m_sub, ec);
        fs::remove_all(m_dir, ec);
    }

    // From now on the peer answers `path` (under this test's folder) with
    // `body`, changed by `script` (rate_peer.py's lines; none when empty).
    void Serve(const std::string& path, const std::string& body, const std::string& script = {}) {
        const std::string file = m_peer + m_sub + path;
        if (script.empty()) fs::remove(file + ".script");
        else WriteAtomically(file + ".script", script);
        WriteAtomically(file, body);
    }
    void ServeAll() {
        Serve("/v2/exchange-rates", m_live);
        Serve("/v2/rates", m_reference);
        for (const char* metal : kMetals) Serve(std::string("/price/") + metal, ReadAll(kStandin + "/gold-api-" + metal + ".json"));
    }
    std::string Url(const std::string& path, bool tls = false) const {
        return (tls ? "https://127.0.0.1:" + std::to_string(m_tls) : "http://127.0.0.1:" + std::to_string(m_plain)) +
               m_sub + path;
    }
    size_t Asked(const std::string& path) const { return Count(ReadAll(m_peer + "/requests.log"), "GET " + m_sub + path); }

    struct Service {
        pid_t pid = 0;
        int port = 0;
        std::string log;
    };
    // A service with these source options; `bank` is its kept file's content.
    Service Start(const std::string& name, const std::vector<std::string>& args, const std::string& bank = {}) {
        Service s;
        s.log = m_dir + "/" + name + ".log";
        const std::string kept = m_dir + "/" + name + ".xml";
        if (!bank.empty()) std::ofstream(kept) << bank;
        StartService(m_dir, kept, args, s.pid, s.port, s.log);
        if (s.pid > 0) m_services.push_back(s);  // stopped by TearDown
        return s;
    }

    std::string m_dir, m_peer, m_sub, m_live, m_reference;
    int m_plain = 0, m_tls = 0;
    pid_t m_peerPid = 0;
    std::vector<Service> m_services;
};

// ConversionRate through the program's client; -1 for any failure.
double Rate(int port, int from, int to) {
    rates::CCurrencyConvertor client("http://127.0.0.1:" + std::to_string(port) + "/CurrencyConvertor.asmx",
                                     rates::kDefaultConversionRateNamespace);
    double value = -1;
    return soap::Succeeded(client.ConversionRate(from, to, &value)) ? value : -1;
}

bool Near(double got, double want) { return std::abs(got - want) <= std::abs(want) * 1e-9; }

std::string StatusPage(int port) {
    ratesvc::CHttpRequest request;
    request.strUrl = "http://127.0.0.1:" + std::to_string(port) + "/status";
    request.nMaxBody = 1 << 20;
    ratesvc::CHttpAnswer answer;
    std::string error;
    const std::atomic<bool> stop{false};
    return ratesvc::HttpGet(request, stop, answer, error) && answer.nStatus == 200 ? answer.strBody : "(" + error + ")";
}

TEST_F(RatesvcSources, AnswersEveryCodeOfTheListFromTheSourceItBelongsTo) {
    ServeAll();
    const Service svc = Start("all", {"--live-url", Url("/v2/exchange-rates?currency=USD"), "--reference-url",
                                       Url("/v2/rates?base=EUR"), "--metals-url", Url("/price/")});
    ASSERT_FALSE(HasFatalFailure());
    std::string status;
    EXPECT_TRUE(WaitFor(std::chrono::seconds(60), [&] {
        status = StatusPage(svc.port);
        return status.find("answerable: 150 of 151") != std::string::npos;
    })) << status;
    EXPECT_EQ(status.find("currency=USD"), std::string::npos) << "a query, which may hold a key, on the status page";

    // Units per dollar each code should be answered with: metals from their
    // publisher (though live lists them too), replaced codes from their
    // successor (though live lists some under the old code), the rest live.
    auto perUsd = LivePerUsd(m_live);
    for (const char* metal : kMetals) perUsd[metal] = 1 / MetalPrice(ReadAll(kStandin + "/gold-api-" + metal + ".json"));
    for (const Legacy& l : kLegacy) perUsd[l.code] = perUsd.at(l.successor) * l.factor;

    rates::CCurrencyConvertor codes("http://127.0.0.1:" + std::to_string(svc.port) + "/CurrencyConvertor.asmx",
                                    rates::kDefaultConversionRateNamespace);
    rates::CCurrencyExchangeService countries("http://127.0.0.1:" + std::to_string(svc.port) + "/soap");
    std::map<std::string, std::string> codeOfCountry;  // later rows win: "turkey" is TRY's
    for (int i = 0; i < rates::kCurrencyCount; ++i) codeOfCountry[rates::CountryNames[i]] = rates::CurrencyCodes[i];
    for (int i = 0; i < rates::kCurrencyCount; ++i) {
        const std::string code = rates::CurrencyCodes[i];
        SCOPED_TRACE(code);
        double value = -1;
        const bool answered = soap::Succeeded(codes.ConversionRate(i, rates::kCurrency_USD, &value));
        if (code == "ZWD") {
            EXPECT_FALSE(answered) << value;
            EXPECT_EQ(codes.ResultCode(), SOAPCLIENT_FAULT);
            EXPECT_NE(std::u16string(codes.Client().FaultInfo().faultString).find(u"ZWD"), std::u16string::npos);
        } else {
            ASSERT_TRUE(perUsd.count(code)) << "the stand-in data lacks it";
            EXPECT_TRUE(answered && Near(value, 1 / perUsd[code])) << value << " for " << 1 / perUsd[code];
        }
        if (*rates::CountryNames[i] == '\0') continue;
        const std::string answers = codeOfCountry[rates::CountryNames[i]];
        float result = -1;
        const bool named = soap::Succeeded(countries.getRate(rates::CountryNameW(i), u"usa", &result));
        if (answers == "ZWD") {
            EXPECT_FALSE(named) << result;
            EXPECT_EQ(countries.ResultCode(), SOAPCLIENT_FAULT);
        } else {
            EXPECT_TRUE(named) << rates::CountryNames[i];
            EXPECT_FLOAT_EQ(result, static_cast<float>(1 / perUsd[answers])) << rates::CountryNames[i];
        }
    }
}

TEST_F(RatesvcSources, FallsBackToTheReferenceWhileLiveIsDownAndReturnsToLive) {
    const std::string bank =
        "<gesmes:Envelope xmlns:gesmes='http://www.gesmes.org/xml/2002-08-01' "
        "xmlns='http://www.ecb.int/vocabulary/2002-08-01/eurofxref'><Cube><Cube time='2024-03-01'>"
        "<Cube currency='USD' rate='2'/><Cube currency='JPY' rate='234.5'/><Cube currency='MWK' rate='2000'/>"
        "</Cube></Cube></gesmes:Envelope>";
    // A server error whose body would be a good answer, read or not.
    Serve("/v2/exchange-rates", m_live, "status 500 Internal Server Error\n");
    Serve("/v2/rates", m_reference);
    const Service svc = Start("fallback", {"--live-url", Url("/v2/exchange-rates?currency=USD"), "--live-every", "30",
                                            "--reference-url", Url("/v2/rates?base=EUR")},
                               bank);
    ASSERT_FALSE(HasFatalFailure());
    const auto reference = ReferencePerEur(m_reference);
    const double fromReference = reference.at("JPY") / reference.at("USD");
    double got = -1;
    EXPECT_TRUE(WaitFor(std::chrono::seconds(30), [&] {
        return Near(got = Rate(svc.port, rates::kCurrency_USD, rates::kCurrency_JPY), fromReference);
    })) << got << " for " << fromReference << "\n" << ReadAll(svc.log);
    // The reference has no kwacha: the pair is the bank's alone.
    EXPECT_EQ(Rate(svc.port, rates::kCurrency_USD, rates::kCurrency_MWK), 1000);

    Serve("/v2/exchange-rates", m_live);
    const auto since = std::chrono::steady_clock::now();
    // The round after a failed one comes within the interval.
    EXPECT_TRUE(WaitFor(std::chrono::seconds(30 + 10), [&] {
        return Near(got = Rate(svc.port, rates::kCurrency_USD, rates::kCurrency_JPY), LivePerUsd(m_live).at("JPY"));
    })) << got << "\n" << ReadAll(svc.log);
    std::printf("live answered %.1f s after it came up\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count());
}

// Faults only the transport can show, and a few of the answer's shape (the
// readers' own tests hold the rest), each served by the live stand-in after
// a good answer. One service per row, side by side: a row waits for a round.
TEST_F(RatesvcSources, BadLiveAnswersKeepTheGoodQuotesAndAreLogged) {
    // What each bad answer would say if it were taken: other JPY and GBP.
    auto altered = [&](const std::string& jpy) {
        return std::regex_replace(std::regex_replace(m_live, std::regex("\"JPY\":\"155.2\""), "\"JPY\":" + jpy),
                                  std::regex("\"GBP\":\"0.7498\""), "\"GBP\":\"0.5\"");
    };
    const std::string taken = altered("\"199.9\"");
    static const char kGarbage[] = "\x1f\x8b\x08\0 \xff\xfe{{[\"";
    struct Row {
        const char* what;
        std::string script, body;
        bool tls = false;
    };
    const std::vector<Row> rows = {
        {"a body over the size bound", "length 52428800\n", taken},
        {"a drip slower than the request deadline", "drip 0.1\n", taken},
        {"429 with Retry-After", "status 429 Too Many Requests\nheader Retry-After: 3600\n", taken},
        {"500", "status 500 Internal Server Error\n", taken},
        {"garbage", "", std::string(kGarbage, sizeof kGarbage - 1)},
        {"HTML with 200", "header Content-Type: text/html\n", "<html><body>Service unavailable</body></html>"},
        {"a number for a rate", "", altered("199.9")},
        {"truncated", "", taken.substr(0, taken.size() * 9 / 10)},
        {"a redirect from https to http", "status 302 Found\nheader Location: " + Url("/plain/v2/exchange-rates") + "\n",
         "", true},
    };
    Serve("/plain/v2/exchange-rates", taken);
    const double jpy = LivePerUsd(m_live).at("JPY"), gbp = LivePerUsd(m_live).at("GBP");
    for (size_t i = 0; i < rows.size(); ++i) {
        const std::string folder = "/row" + std::to_string(i);
        Serve(folder + "/v2/exchange-rates", m_live);
        std::vector<std::string> args = {"--live-url", Url(folder + "/v2/exchange-rates?currency=USD", rows[i].tls),
                                         "--live-every", "30"};
        if (rows[i].tls) args.insert(args.end(), {"--rates-ca", m_peer + "/cert.pem"});
        Start("row" + std::to_string(i), args);
        ASSERT_FALSE(HasFatalFailure());
    }
    std::vector<size_t> logged(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        ASSERT_TRUE(WaitFor(std::chrono::seconds(30), [&] {
            return Near(Rate(m_services[i].port, rates::kCurrency_USD, rates::kCurrency_JPY), jpy);
        })) << rows[i].what << ": no good answer first\n" << ReadAll(m_services[i].log);
        // The good round's own report, if the service makes one, belongs before the mark.
        WaitFor(std::chrono::seconds(5), [&] { return ReadAll(m_services[i].log).find("live:") != std::string::npos; });
        Serve("/row" + std::to_string(i) + "/v2/exchange-rates", rows[i].body, rows[i].script);
        logged[i] = ReadAll(m_services[i].log).size();
    }
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].what);
        const Service& svc = m_services[i];
        // The next round, plus the longest a request may take.
        std::string added;
        EXPECT_TRUE(WaitFor(std::chrono::seconds(30 + 60 + 15), [&] {
            const std::string all = ReadAll(svc.log);
            added = all.substr(std::min(logged[i], all.size()));
            return added.find("live:") != std::string::npos;
        })) << ReadAll(svc.log);
        std::istringstream lines(added);
        for (std::string line; std::getline(lines, line);)
            EXPECT_LE(line.size(), 512u) << "an unbounded line: " << line.substr(0, 512);
        EXPECT_TRUE(Near(Rate(svc.port, rates::kCurrency_USD, rates::kCurrency_JPY), jpy));
        EXPECT_TRUE(Near(Rate(svc.port, rates::kCurrency_USD, rates::kCurrency_GBP), gbp));
        if (rows[i].tls) {
            EXPECT_EQ(Asked("/plain/"), 0u) << "followed the redirect to plain http";
        }
    }
}

}  // namespace
