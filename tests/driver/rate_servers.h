// The rate servers of tests/services as the end-to-end tests see them: the
// state folder where they publish their ports and what reached them, and
// addresses on them.
#pragma once

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>

#include "tests/driver/registry.h"
#include "tests/driver/zelvane_app.h"

namespace driver::zelvane {

inline std::string RateServerDir() {
    const char* dir = std::getenv("ZELVANE_RATE_SERVERS");
    return dir ? dir : ZELVANE_RATE_SERVERS;
}

inline bool RateServerFileExists(const std::string& name) {
    return std::ifstream(RateServerDir() + "/" + name).good();
}

inline std::string RateServerFile(const std::string& name) {
    std::ifstream in(RateServerDir() + "/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Written whole under another name first, so a server never reads half of it.
inline bool WriteRateServerFile(const std::string& name, const std::string& text) {
    const std::string path = RateServerDir() + "/" + name;
    {
        std::ofstream out(path + ".tmp", std::ios::binary | std::ios::trunc);
        out << text;
        if (!out) return false;
    }
    std::remove(path.c_str());
    return std::rename((path + ".tmp").c_str(), path.c_str()) == 0;
}

inline std::wstring WideAscii(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// http://127.0.0.1:<port of server>/path
inline std::wstring RateServerUrl(const char* server, const std::string& path) {
    return WideAscii("http://127.0.0.1:" +
                     std::to_string(std::atoi(RateServerFile(std::string(server) + ".port").c_str())) + path);
}

// The raw server's scripted ConversionRate answer under a tag of its own: it
// answers with the rate last set, and counts and keeps what reached it.
class ScriptedRatePeer {
public:
    ScriptedRatePeer() = default;
    explicit ScriptedRatePeer(std::string tag) : tag_(std::move(tag)) {}
    // A tag no other run of any test shares: what reached the peer is this
    // test's alone.
    static ScriptedRatePeer Unique(const std::string& prefix) {
        return ScriptedRatePeer(prefix + "-" + std::to_string(GetCurrentProcessId()) + "-" +
                                std::to_string(GetTickCount64()));
    }
    // The raw server published its port: the rate servers are running.
    static bool ServersRunning() { return RateServerFileExists("raw.port"); }

    // The program's conversion-rate service becomes the peer; its second
    // service a port nobody listens on.
    bool Use() const {
        const std::wstring key = SectionKey(L"Service");
        return WriteUserString(key, L"ConversionRateUrl",
                               RateServerUrl("raw", "/count/" + tag_ + "/conversion/scripted/" + tag_)) &&
               WriteUserString(key, L"ConversionRateNamespace", L"urn:scripted") &&
               WriteUserString(key, L"ExchangeRateUrl", RateServerUrl("closed", "/soap"));
    }
    bool SetRate(const std::string& rate) const { return WriteRateServerFile("rate-" + tag_, rate); }
    int Requests() const { return std::atoi(RateServerFile("count-" + tag_).c_str()); }
    std::string LastBody() const { return RateServerFile("body-" + tag_); }
    const std::string& tag() const { return tag_; }

private:
    std::string tag_;
};

}  // namespace driver::zelvane
