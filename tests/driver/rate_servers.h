// The rate servers of tests/services as the end-to-end tests see them: the
// state folder where they publish their ports and what reached them, and
// addresses on them.
#pragma once

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

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

}  // namespace driver::zelvane
