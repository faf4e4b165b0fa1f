#include "transport/soap_fault.h"

#include <memory>
#include <new>

#include "transport/soap_tables.h"

namespace soap {

const SoapFaultCodeEntry kSoapFaultCodes[4] = {
    {u"VersionMismatch", 15, kFaultVersionMismatch, "SOAP Version Mismatch Error"},
    {u"MustUnderstand", 14, kFaultMustUnderstand, "SOAP Must Understand Error"},
    {u"Client", 6, kFaultClient, "SOAP Invalid Request"},
    {u"Server", 6, kFaultServer, "SOAP Server Application Faulted"},
};

const char* FaultCodeMessage(int32_t code) {
    for (const SoapFaultCodeEntry& e : kSoapFaultCodes)
        if (e.nCode == code) return e.szMessage;
    return nullptr;
}

namespace {

constexpr XmlText kEnvelopeNs(ns::kEnvelopeW);

bool IsSpace(char16_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

Status CSoapFaultParser::SetFaultCode(XmlText text, XmlText envelopePrefix) {
    // A QName: the schema collapses white space around it.
    while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
    const size_t colon = text.find(u':');
    if (colon == XmlText::npos || colon == 0 || envelopePrefix.empty() ||
        text.substr(0, colon) != envelopePrefix)
        return kStatusFail;
    const XmlText local = text.substr(colon + 1);
    m_info.nCode = kFaultNone;
    for (const SoapFaultCodeEntry& e : kSoapFaultCodes)
        if (local == XmlText(e.wszName, static_cast<size_t>(e.cchName))) m_info.nCode = e.nCode;
    return kStatusOk;
}

bool CSoapFaultParser::StartPrefixMapping(XmlText prefix, XmlText uri) {
    if (m_bFailed) return false;
    if (uri == kEnvelopeNs) {
        try {
            m_envelopePrefix.assign(prefix.data(), prefix.size());
        } catch (const std::bad_alloc&) {
            return Fail();
        }
        m_bHaveEnvelopePrefix = true;
    }
    return true;
}

bool CSoapFaultParser::StartElement(XmlText uri, XmlText localName, XmlText,
                                    const IXmlAttributes&) {
    if (m_bFailed) return false;
    if (++m_nDepth > kMaxDepth) return Fail();
    if (m_nSkipDepth) return true;
    if (m_capture != kNone) {  // markup inside a captured field
        m_nSkipDepth = m_nDepth;
        return true;
    }
    int level = 0;
    if (uri == kEnvelopeNs) {
        if (localName == u"Envelope") level = kLevelEnvelope;
        else if (localName == u"Body" || localName == u"Header") level = kLevelBody;
        else if (localName == u"Fault") level = kLevelFault;
    }
    if (level) {
        // Each must go deeper than the last: a Header therefore rules out a Body.
        if (level <= m_nLevel) return Fail();
        m_nLevel = level;
        return true;
    }
    Field field = kNone;
    if (localName == u"faultcode") field = kCode;
    else if (localName == u"faultstring") field = kString;
    else if (localName == u"faultactor") field = kActor;
    else if (localName == u"detail") field = kDetail;
    if (field == kNone) {
        if (!m_bCapturedAny) return Fail();
        m_nSkipDepth = m_nDepth;
        return true;
    }
    if (m_nLevel != kLevelFault) return Fail();
    m_capture = field;
    m_nCaptureDepth = m_nDepth;
    m_bCapturedAny = true;
    m_bTextReceived = false;
    m_text.clear();
    return true;
}

bool CSoapFaultParser::Characters(XmlText text) {
    if (m_bFailed) return false;
    if (m_nSkipDepth || m_capture == kNone || m_nDepth != m_nCaptureDepth) return true;
    if (m_text.size() + text.size() > kMaxTextUnits) return Fail();
    try {
        m_text.append(text.data(), text.size());
    } catch (const std::bad_alloc&) {
        return Fail();
    }
    m_bTextReceived = true;
    return true;
}

bool CSoapFaultParser::EndElement(XmlText, XmlText, XmlText) {
    if (m_bFailed) return false;
    if (m_nSkipDepth) {
        if (m_nDepth == m_nSkipDepth) m_nSkipDepth = 0;
        --m_nDepth;
        return true;
    }
    if (m_capture != kNone && m_nDepth == m_nCaptureDepth) {
        const Field field = m_capture;
        m_capture = kNone;
        if (m_bTextReceived) {
            const unsigned bit = 1u << field;
            if (m_fieldsSet & bit) return Fail();  // a second text for one field
            m_fieldsSet |= bit;
            try {
                switch (field) {
                case kCode:
                    if (!soap::Succeeded(SetFaultCode(
                            m_text, m_bHaveEnvelopePrefix ? XmlText(m_envelopePrefix) : XmlText())))
                        return Fail();
                    break;
                case kString: m_info.faultString = m_text; break;
                case kActor: m_info.faultActor = m_text; break;
                case kDetail: m_info.detail = m_text; break;
                case kNone: break;
                }
            } catch (const std::bad_alloc&) {
                return Fail();
            }
        }
    }
    --m_nDepth;
    return true;
}

Status ParseFault(const char* data, size_t len, IXmlReader* reader, SoapFaultInfo& info) {
    if (!reader) return kStatusPointer;
    CSoapFaultParser parser(info);
    Status s = reader->SetContentHandler(&parser);
    if (soap::Succeeded(s)) s = reader->Parse(data, len);
    reader->SetContentHandler(nullptr);
    if (soap::Succeeded(s) && !parser.Succeeded()) s = kStatusFail;
    return s;
}

SoapClientError FaultResult(const char* data, size_t len, IXmlReader* reader, SoapFaultInfo& info) {
    if (len == 0) return SOAPCLIENT_FAULT;
    return soap::Succeeded(ParseFault(data, len, reader, info)) ? SOAPCLIENT_FAULT
                                                                : SOAPCLIENT_PARSEFAULT_ERROR;
}

}  // namespace soap
