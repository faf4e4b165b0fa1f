// The state folder of the rate servers that tests/services starts: their
// ports and the rate service's namespace as files, and the service's log.
#pragma once

#include <string>

namespace driver::zelvane {

class RateServerState {
public:
    // The folder named by the environment variable when it is set, else the
    // one the build named.
    RateServerState(const char* envVar, const char* builtIn);

    const std::string& dir() const { return dir_; }
    bool Exists(const std::string& name) const;
    // The whole file; empty when it is missing.
    std::string File(const std::string& name) const;
    // http://127.0.0.1:<the server's published port><path>
    std::wstring Url(const char* server, const std::string& path) const;
    // Points the "Service" settings at these endpoints, with the namespace
    // the rate service was started with.
    bool UseServices(const std::wstring& conversionRateUrl, const std::wstring& exchangeRateUrl) const;

private:
    std::string dir_;
};

}  // namespace driver::zelvane
