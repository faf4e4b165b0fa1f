// Arbitrary bytes as the body of a status 500 answer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "transport/soap_fault.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::unique_ptr<soap::IXmlReader> reader = [] {
        std::unique_ptr<soap::IXmlReader> r;
        if (!soap::Succeeded(soap::CreateXmlReader(&r))) std::abort();
        return r;
    }();
    soap::SoapFaultInfo info;
    SoapClientError result = soap::FaultResult(reinterpret_cast<const char*>(data), size, reader.get(), info);
    if (result != SOAPCLIENT_FAULT && result != SOAPCLIENT_PARSEFAULT_ERROR) std::abort();
    // The code is one of the table's or none.
    if (info.nCode % 100 != 0 || info.nCode < 0 || info.nCode > 400) std::abort();
    return 0;
}
