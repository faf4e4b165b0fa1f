// Reading a SOAP 1.1 fault (the body of a status 500 answer) into the fault
// record of the service client.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "transport/soap_result.h"
#include "transport/xml_reader.h"

namespace soap {

enum SoapFaultCode : int32_t {
    kFaultNone = 0,
    kFaultVersionMismatch = 100,
    kFaultMustUnderstand = 200,
    kFaultClient = 300,
    kFaultServer = 400,
};

struct SoapFaultInfo {
    int32_t nCode = kFaultNone;
    std::u16string faultString;  // always the server's own text
    std::u16string faultActor;
    std::u16string detail;

    void Clear() {
        nCode = kFaultNone;
        faultString.clear();
        faultActor.clear();
        detail.clear();
    }
};

struct SoapFaultCodeEntry {
    const char16_t* wszName;
    int cchName;
    int32_t nCode;
    const char* szMessage;
};
extern const SoapFaultCodeEntry kSoapFaultCodes[4];

// The table's message for a code, or nullptr.
const char* FaultCodeMessage(int32_t code);

class CSoapFaultParser final : public IXmlContentHandler {
public:
    static constexpr int kMaxDepth = 64;
    static constexpr size_t kMaxTextUnits = size_t{1} << 16;

    explicit CSoapFaultParser(SoapFaultInfo& info) : m_info(info) {}

    // text must be prefix ":" local name with the prefix bound to the SOAP
    // envelope namespace; a local name from the table sets the code.
    Status SetFaultCode(XmlText text, XmlText envelopePrefix);
    // True when the document was a complete fault as far as it went.
    bool Succeeded() const { return !m_bFailed && m_nLevel == kLevelFault; }

    bool StartPrefixMapping(XmlText prefix, XmlText uri) override;
    bool StartElement(XmlText uri, XmlText localName, XmlText qName,
                      const IXmlAttributes& attributes) override;
    bool EndElement(XmlText uri, XmlText localName, XmlText qName) override;
    bool Characters(XmlText text) override;

private:
    enum Level { kLevelEnvelope = 1, kLevelBody = 2, kLevelFault = 4 };
    enum Field { kNone, kCode, kString, kActor, kDetail };
    bool Fail() {
        m_bFailed = true;
        return false;
    }

    SoapFaultInfo& m_info;
    int m_nLevel = 0;
    int m_nDepth = 0;
    int m_nSkipDepth = 0;
    int m_nCaptureDepth = 0;
    Field m_capture = kNone;
    bool m_bCapturedAny = false;
    bool m_bTextReceived = false;
    bool m_bHaveEnvelopePrefix = false;
    bool m_bFailed = false;
    unsigned m_fieldsSet = 0;  // bit per Field
    std::u16string m_envelopePrefix;
    std::u16string m_text;
};

// Parses a fault with reader and detaches the handler afterwards. The record
// keeps what was read even when the parse fails.
Status ParseFault(const char* data, size_t len, IXmlReader* reader, SoapFaultInfo& info);

// The outcome of a status 500 answer: SOAPCLIENT_FAULT (an empty body is not
// parsed), or SOAPCLIENT_PARSEFAULT_ERROR when the body is not a SOAP fault.
SoapClientError FaultResult(const char* data, size_t len, IXmlReader* reader, SoapFaultInfo& info);

}  // namespace soap
