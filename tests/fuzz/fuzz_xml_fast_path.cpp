// The native reader's ASCII fast path beside expat alone: a document the
// fast path takes must be one expat takes too, with the same events.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "tests/soap/xml_event_log.h"
#include "transport/xml_ascii_reader.h"

namespace {

std::u16string Events(soap::IXmlReader& reader, const char* data, size_t size, bool* ok) {
    soap::CXmlEventLog log;
    reader.SetContentHandler(&log);
    *ok = reader.Parse(data, size) == soap::kStatusOk;
    reader.SetContentHandler(nullptr);
    return log.Text();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static soap::CAsciiXmlReader fast;
    static std::unique_ptr<soap::IXmlReader> reader, expat;
    if (!reader) {
        if (!soap::Succeeded(soap::CreateXmlReader(&reader)) || !soap::Succeeded(soap::CreateExpatXmlReader(&expat)))
            std::abort();
    }
    const char* text = reinterpret_cast<const char*>(data);
    if (!fast.Read(text, size)) return 0;
    bool fastOk = false, expatOk = false;
    const std::u16string mine = Events(*reader, text, size, &fastOk);
    const std::u16string theirs = Events(*expat, text, size, &expatOk);
    if (!fastOk || !expatOk || mine != theirs) std::abort();
    return 0;
}
