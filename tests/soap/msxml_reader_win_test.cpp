// The MSXML adapter over a SAX reader that will not refuse document types:
// the real reader, except that it turns "prohibit-dtd" down.
#include "transport/xml_reader_msxml_win.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <memory>
#include <string>

#include "tests/soap/xml_event_log.h"

using namespace soap;

namespace {

const CLSID kClsidSaxXmlReader30 = {0x079AA557, 0x4A18, 0x424A, {0x8E, 0xEE, 0xE3, 0x9F, 0x0A, 0x8D, 0x41, 0xB9}};
const IID kIidSaxXmlReader = {0xA4F96ED0, 0xF829, 0x476E, {0x81, 0xC0, 0xCD, 0xC7, 0xBD, 0x2A, 0x08, 0x02}};

class CNoDtdFeature final : public ISAXXMLReader {
public:
    explicit CNoDtdFeature(ISAXXMLReader* inner) : m_inner(inner) {}
    HRESULT WINAPI QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == kIidSaxXmlReader) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG WINAPI AddRef() override { return ++m_refs; }
    ULONG WINAPI Release() override {
        const ULONG n = --m_refs;
        if (n == 0) {
            m_inner->Release();
            delete this;
        }
        return n;
    }
    HRESULT WINAPI putFeature(const wchar_t* name, VARIANT_BOOL value) override {
        if (std::wcscmp(name, L"prohibit-dtd") == 0) return E_NOTIMPL;
        return m_inner->putFeature(name, value);
    }
    HRESULT WINAPI getFeature(const wchar_t* n, VARIANT_BOOL* v) override { return m_inner->getFeature(n, v); }
    HRESULT WINAPI getProperty(const wchar_t* n, VARIANT* v) override { return m_inner->getProperty(n, v); }
    HRESULT WINAPI putProperty(const wchar_t* n, VARIANT v) override { return m_inner->putProperty(n, v); }
    HRESULT WINAPI getEntityResolver(ISAXEntityResolver** r) override { return m_inner->getEntityResolver(r); }
    HRESULT WINAPI putEntityResolver(ISAXEntityResolver* r) override { return m_inner->putEntityResolver(r); }
    HRESULT WINAPI getContentHandler(ISAXContentHandler** h) override { return m_inner->getContentHandler(h); }
    HRESULT WINAPI putContentHandler(ISAXContentHandler* h) override { return m_inner->putContentHandler(h); }
    HRESULT WINAPI getDTDHandler(ISAXDTDHandler** h) override { return m_inner->getDTDHandler(h); }
    HRESULT WINAPI putDTDHandler(ISAXDTDHandler* h) override { return m_inner->putDTDHandler(h); }
    HRESULT WINAPI getErrorHandler(ISAXErrorHandler** h) override { return m_inner->getErrorHandler(h); }
    HRESULT WINAPI putErrorHandler(ISAXErrorHandler* h) override { return m_inner->putErrorHandler(h); }
    HRESULT WINAPI getBaseURL(const wchar_t** u) override { return m_inner->getBaseURL(u); }
    HRESULT WINAPI putBaseURL(const wchar_t* u) override { return m_inner->putBaseURL(u); }
    HRESULT WINAPI getSecureBaseURL(const wchar_t** u) override { return m_inner->getSecureBaseURL(u); }
    HRESULT WINAPI putSecureBaseURL(const wchar_t* u) override { return m_inner->putSecureBaseURL(u); }
    HRESULT WINAPI parse(VARIANT input) override { return m_inner->parse(input); }
    HRESULT WINAPI parseURL(const wchar_t* u) override { return m_inner->parseURL(u); }

private:
    ~CNoDtdFeature() = default;
    ULONG m_refs = 1;
    ISAXXMLReader* m_inner;
};

Status ParseWith(ISAXXMLReader* sax, const std::string& doc) {
    std::unique_ptr<IXmlReader> reader;
    EXPECT_EQ(WrapSaxReader(sax, &reader), kStatusOk);
    if (!reader) return kStatusFail;
    CXmlEventLog log;
    reader->SetContentHandler(&log);
    const Status s = reader->Parse(doc.data(), doc.size());
    reader->SetContentHandler(nullptr);
    return s;
}

TEST(MsxmlReader, FailsClosedWhenDocumentTypesCannotBeRefused) {
    const std::string plain = "<r>x</r>";
    for (bool refusing : {true, false}) {
        ISAXXMLReader* sax = nullptr;
        ASSERT_EQ(CoCreateInstance(kClsidSaxXmlReader30, nullptr, CLSCTX_INPROC_SERVER, kIidSaxXmlReader,
                                   reinterpret_cast<void**>(&sax)),
                  S_OK);
        if (!refusing) sax = new CNoDtdFeature(sax);
        EXPECT_EQ(ParseWith(sax, plain) == kStatusOk, refusing) << refusing;
    }
}

}  // namespace
