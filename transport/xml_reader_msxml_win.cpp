// The XML reader of the Windows build: MSXML's SAX reader (version 3, which
// every Windows and Wine provides), created in-process and fed from a stream
// over the caller's bytes.
#include <windows.h>
#include <ole2.h>
#include <msxml2.h>

#include <new>
#include <string_view>

#include "transport/xml_prolog.h"
#include "transport/xml_reader_msxml_win.h"

namespace soap {

namespace {

// MinGW's uuid library lacks these; declared here under our own names.
constexpr CLSID kClsidSaxXmlReader30 = {
    0x079AA557, 0x4A18, 0x424A, {0x8E, 0xEE, 0xE3, 0x9F, 0x0A, 0x8D, 0x41, 0xB9}};
constexpr IID kIidSaxXmlReader = {
    0xA4F96ED0, 0xF829, 0x476E, {0x81, 0xC0, 0xCD, 0xC7, 0xBD, 0x2A, 0x08, 0x02}};
constexpr IID kIidSaxContentHandler = {
    0x1545CDFA, 0x9E4E, 0x4497, {0xA8, 0xA4, 0x2B, 0xF7, 0xD0, 0x11, 0x2C, 0x44}};

// A refused document fails like a malformed one.
constexpr HRESULT kDtdRefused = E_FAIL;

XmlText View(const wchar_t* s, int n) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t");
    if (!s || n <= 0) return XmlText();
    return XmlText(reinterpret_cast<const char16_t*>(s), static_cast<size_t>(n));
}

const wchar_t* Wide(XmlText t) { return reinterpret_cast<const wchar_t*>(t.data()); }

// A read-only stream over bytes the caller keeps alive for the parse; the
// reader pulls from it, so the body is never copied as a whole.
class CMemoryStream final : public IStream {
public:
    CMemoryStream(const char* data, size_t len) : m_data(data), m_len(len) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ISequentialStream || riid == IID_IStream) {
            *ppv = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&m_refs); }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG n = InterlockedDecrement(&m_refs);
        if (n == 0) delete this;
        return n;
    }
    HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) override {
        if (!pv) return STG_E_INVALIDPOINTER;
        size_t n = m_len - m_pos < cb ? m_len - m_pos : cb;
        if (n) memcpy(pv, m_data + m_pos, n);
        m_pos += n;
        if (pcbRead) *pcbRead = static_cast<ULONG>(n);
        return n < cb ? S_FALSE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPos) override {
        LONGLONG base = origin == STREAM_SEEK_SET ? 0
                        : origin == STREAM_SEEK_CUR ? static_cast<LONGLONG>(m_pos)
                        : origin == STREAM_SEEK_END ? static_cast<LONGLONG>(m_len)
                                                    : -1;
        if (base < 0) return STG_E_INVALIDFUNCTION;
        LONGLONG pos = base + move.QuadPart;
        if (pos < 0 || pos > static_cast<LONGLONG>(m_len)) return STG_E_INVALIDFUNCTION;
        m_pos = static_cast<size_t>(pos);
        if (newPos) newPos->QuadPart = m_pos;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* st, DWORD) override {
        if (!st) return STG_E_INVALIDPOINTER;
        ZeroMemory(st, sizeof *st);
        st->type = STGTY_STREAM;
        st->cbSize.QuadPart = m_len;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

private:
    ~CMemoryStream() = default;
    LONG m_refs = 1;
    const char* m_data;
    size_t m_len;
    size_t m_pos = 0;
};

class CSaxAttributes final : public IXmlAttributes {
public:
    explicit CSaxAttributes(ISAXAttributes* attrs) : m_attrs(attrs) {}
    bool FindByName(XmlText uri, XmlText localName, XmlText* value) const override {
        const wchar_t* v = nullptr;
        int n = 0;
        if (!m_attrs || FAILED(m_attrs->getValueFromName(Wide(uri), static_cast<int>(uri.size()),
                                                         Wide(localName),
                                                         static_cast<int>(localName.size()), &v, &n)))
            return false;
        *value = View(v, n);
        return true;
    }
    bool FindByQName(XmlText qName, XmlText* value) const override {
        const wchar_t* v = nullptr;
        int n = 0;
        if (!m_attrs ||
            FAILED(m_attrs->getValueFromQName(Wide(qName), static_cast<int>(qName.size()), &v, &n)))
            return false;
        *value = View(v, n);
        return true;
    }

private:
    ISAXAttributes* m_attrs;
};

// Forwards the SAX events; lives inside CMsxmlReader, so its reference count
// only guards against misuse.
class CContentBridge final : public ISAXContentHandler {
public:
    IXmlContentHandler* target = nullptr;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == kIidSaxContentHandler) {
            *ppv = static_cast<ISAXContentHandler*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE putDocumentLocator(ISAXLocator*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE startDocument() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE endDocument() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE startPrefixMapping(const wchar_t* prefix, int cchPrefix,
                                                 const wchar_t* uri, int cchUri) override {
        return Result(target->StartPrefixMapping(View(prefix, cchPrefix), View(uri, cchUri)));
    }
    HRESULT STDMETHODCALLTYPE endPrefixMapping(const wchar_t*, int) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE startElement(const wchar_t* uri, int cchUri, const wchar_t* local,
                                           int cchLocal, const wchar_t* qname, int cchQName,
                                           ISAXAttributes* attributes) override {
        CSaxAttributes attrs(attributes);
        return Result(target->StartElement(View(uri, cchUri), View(local, cchLocal),
                                           View(qname, cchQName), attrs));
    }
    HRESULT STDMETHODCALLTYPE endElement(const wchar_t* uri, int cchUri, const wchar_t* local,
                                         int cchLocal, const wchar_t* qname, int cchQName) override {
        return Result(target->EndElement(View(uri, cchUri), View(local, cchLocal), View(qname, cchQName)));
    }
    HRESULT STDMETHODCALLTYPE characters(const wchar_t* chars, int cch) override {
        return Result(target->Characters(View(chars, cch)));
    }
    HRESULT STDMETHODCALLTYPE ignorableWhitespace(const wchar_t*, int) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE processingInstruction(const wchar_t*, int, const wchar_t*, int) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE skippedEntity(const wchar_t*, int) override { return S_OK; }

private:
    HRESULT Result(bool ok) {
        if (!target) return E_FAIL;
        return ok ? S_OK : E_FAIL;
    }
};

class CMsxmlReader final : public IXmlReader {
public:
    // dtdRefused: the reader accepted "prohibit-dtd". Without it every parse
    // fails: a reader that may expand entities never sees a service's bytes.
    CMsxmlReader(ISAXXMLReader* reader, bool dtdRefused) : m_reader(reader), m_dtdRefused(dtdRefused) {}
    ~CMsxmlReader() override {
        m_reader->putContentHandler(nullptr);
        m_reader->Release();
    }
    Status SetContentHandler(IXmlContentHandler* handler) override {
        m_bridge.target = handler;
        return m_reader->putContentHandler(handler ? &m_bridge : nullptr);
    }
    Status Parse(const char* data, size_t len) override {
        if (!m_bridge.target) return E_INVALIDARG;
        // Some readers accept "prohibit-dtd" and then ignore it (Wine's
        // does): a document type is refused here as well, before the
        // reader could declare or expand a single entity.
        if (!m_dtdRefused || !PrologIsPlain(data, len)) return kDtdRefused;
        auto* stream = new (std::nothrow) CMemoryStream(data, len);
        if (!stream) return E_OUTOFMEMORY;
        VARIANT input;
        VariantInit(&input);
        input.vt = VT_UNKNOWN;
        input.punkVal = stream;  // the variant borrows our reference
        HRESULT hr = m_reader->parse(input);
        stream->Release();
        return hr;
    }

private:
    ISAXXMLReader* m_reader;
    bool m_dtdRefused;
    CContentBridge m_bridge;
};

}  // namespace

Status CreateXmlReader(std::unique_ptr<IXmlReader>* reader) {
    if (!reader) return E_POINTER;
    ISAXXMLReader* sax = nullptr;
    HRESULT hr = CoCreateInstance(kClsidSaxXmlReader30, nullptr, CLSCTX_INPROC_SERVER,
                                  kIidSaxXmlReader, reinterpret_cast<void**>(&sax));
    if (FAILED(hr)) return hr;
    return WrapSaxReader(sax, reader);
}

Status WrapSaxReader(ISAXXMLReader* sax, std::unique_ptr<IXmlReader>* reader) {
    // SOAP has no DTDs, and an internal subset is how entity bombs come in.
    const bool dtdRefused = SUCCEEDED(sax->putFeature(L"prohibit-dtd", VARIANT_TRUE));
    sax->putFeature(L"http://xml.org/sax/features/namespaces", VARIANT_TRUE);
    reader->reset(new (std::nothrow) CMsxmlReader(sax, dtdRefused));
    if (!*reader) {
        sax->Release();
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

}  // namespace soap
