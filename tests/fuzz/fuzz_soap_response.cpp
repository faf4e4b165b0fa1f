// Arbitrary bytes as a response body, read for each kind of operation the
// tables describe: document/literal and rpc/encoded, strings, arrays,
// structures, references. Whatever the outcome, nothing may leak or crash,
// and a failed parse must leave no received value behind.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "tests/soap/fixture_operations.h"
#include "transport/soap_response_parser.h"
#include "transport/soap_values.h"

namespace {

template <typename Block>
void Run(soap::IXmlReader& reader, const soap::SoapOperationInfo& op, const uint8_t* data, size_t size) {
    Block block{};
    soap::CSoapResponseParser parser;
    if (!soap::Succeeded(parser.BeginCall(&op, &block))) std::abort();
    soap::Status s = parser.ParseResponse(reader, reinterpret_cast<const char*>(data), size);
    parser.EndCall();
    auto* base = reinterpret_cast<unsigned char*>(&block);
    if (!soap::Succeeded(s)) {
        // Released means no pointer left: strings, binaries and varying
        // arrays all start with the pointer to what they own.
        for (const soap::SoapParamInfo* p = op.pParams; p->nHash; ++p) {
            const bool owns = (p->dwFlags & soap::kParamDynArray) || soap::IsStringType(p->nType) ||
                              p->nType == soap::kTypeHexBinary || p->nType == soap::kTypeBase64Binary;
            if (!soap::IsReceived(p->dwFlags) || !owns) continue;
            void* ptr;
            std::memcpy(&ptr, base + p->nOffset, sizeof ptr);
            if (ptr) std::abort();
        }
    }
    soap::ReleaseReceivedValues(op.pParams, base);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::unique_ptr<soap::IXmlReader> reader = [] {
        std::unique_ptr<soap::IXmlReader> r;
        if (!soap::Succeeded(soap::CreateXmlReader(&r))) std::abort();
        return r;
    }();
    Run<fixtures::ConversionRateBlock>(*reader, fixtures::kConversionRate, data, size);
    Run<fixtures::GetRateBlock>(*reader, fixtures::kGetRate, data, size);
    Run<fixtures::EchoBlock>(*reader, fixtures::kEcho, data, size);
    Run<fixtures::ListBlock>(*reader, fixtures::kList, data, size);
    return 0;
}
