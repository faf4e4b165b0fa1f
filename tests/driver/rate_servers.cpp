#include "tests/driver/rate_servers.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/driver/registry.h"
#include "tests/driver/zelvane_app.h"

namespace driver::zelvane {
namespace {

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

}  // namespace

RateServerState::RateServerState(const char* envVar, const char* builtIn) {
    const char* dir = std::getenv(envVar);
    dir_ = dir ? dir : builtIn;
}

bool RateServerState::Exists(const std::string& name) const { return std::ifstream(dir_ + "/" + name).good(); }

std::string RateServerState::File(const std::string& name) const {
    std::ifstream in(dir_ + "/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::wstring RateServerState::Url(const char* server, const std::string& path) const {
    return Wide("http://127.0.0.1:" + std::to_string(std::atoi(File(std::string(server) + ".port").c_str())) + path);
}

bool RateServerState::UseServices(const std::wstring& conversionRateUrl, const std::wstring& exchangeRateUrl) const {
    const std::wstring key = SectionKey(L"Service");
    return WriteUserString(key, L"ConversionRateUrl", conversionRateUrl) &&
           WriteUserString(key, L"ConversionRateNamespace", Wide(File("ratesvc.namespace"))) &&
           WriteUserString(key, L"ExchangeRateUrl", exchangeRateUrl);
}

}  // namespace driver::zelvane
