// The XML reader of the native build: expat with namespace processing. Names
// arrive as "uri\x01local\x01prefix" and are split and widened here.
#include <expat.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "transport/xml_ascii_reader.h"
#include "transport/xml_reader.h"

namespace soap {

namespace {

// Cannot occur in a namespace name or a local name, so it splits them safely.
constexpr char kSeparator = '\x01';

// UTF-8 to UTF-16; expat has already rejected malformed input. Writes into
// the reused string's own storage (never more units than bytes), so a reader
// that is kept stops allocating and pays no per-unit append.
void Widen(const char* s, size_t n, std::u16string& out) {
    out.resize(n);
    char16_t* d = &out[0];
    size_t k = 0;
    for (size_t i = 0; i < n;) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            d[k++] = c;
            ++i;
            continue;
        }
        uint32_t cp;
        int extra;
        if (c < 0xE0) { cp = c & 0x1F; extra = 1; }
        else if (c < 0xF0) { cp = c & 0x0F; extra = 2; }
        else { cp = c & 0x07; extra = 3; }
        ++i;
        for (int e = 0; e < extra && i < n; ++e, ++i)
            cp = cp << 6 | (static_cast<unsigned char>(s[i]) & 0x3F);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            d[k++] = static_cast<char16_t>(0xD800 + (cp >> 10));
            d[k++] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            d[k++] = static_cast<char16_t>(cp);
        }
    }
    out.resize(k);
}

// Namespace names recur in every element of a document and in every answer
// of a service, so each is widened once and then only copied. A few entries,
// replaced in turn, cover the namespaces one service uses.
class CUriCache {
public:
    void Widen(const char* s, size_t n, std::u16string& out) {
        if (n > kMaxCached) {
            soap::Widen(s, n, out);
            return;
        }
        for (const Entry& e : m_entries) {
            if (e.narrow.size() == n && std::memcmp(e.narrow.data(), s, n) == 0) {
                out.assign(e.wide);
                return;
            }
        }
        Entry& e = m_entries[m_next];
        m_next = (m_next + 1) % kEntries;
        e.narrow.assign(s, n);
        soap::Widen(s, n, e.wide);
        out.assign(e.wide);
    }

private:
    static constexpr size_t kEntries = 8;
    static constexpr size_t kMaxCached = 256;
    struct Entry {
        std::string narrow;
        std::u16string wide;
    };
    Entry m_entries[kEntries];
    size_t m_next = 0;
};

struct SplitName {
    std::u16string uri, local, qname;
};

void Split(const char* name, SplitName& out, CUriCache& uris) {
    const char* first = std::strchr(name, kSeparator);
    if (!first) {
        out.uri.clear();
        Widen(name, std::strlen(name), out.local);
        out.qname = out.local;
        return;
    }
    uris.Widen(name, static_cast<size_t>(first - name), out.uri);
    const char* local = first + 1;
    const char* second = std::strchr(local, kSeparator);
    Widen(local, second ? static_cast<size_t>(second - local) : std::strlen(local), out.local);
    if (second) {
        Widen(second + 1, std::strlen(second + 1), out.qname);
        out.qname += u':';
        out.qname += out.local;
    } else {
        out.qname = out.local;
    }
}

// Element and attribute names repeat too: within a document (every end tag
// names its start tag) and across the answers of one service. Each distinct
// expat name is split and widened once and then only copied.
class CNameCache {
public:
    // The split name: a cache entry, or scratch when the name is too long to
    // keep. Valid until the next call.
    const SplitName& Split(const char* name, SplitName& scratch, CUriCache& uris) {
        const size_t n = std::strlen(name);
        if (n > kMaxCached) {
            soap::Split(name, scratch, uris);
            return scratch;
        }
        for (const Entry& e : m_entries)
            if (e.key.size() == n && std::memcmp(e.key.data(), name, n) == 0) return e.name;
        Entry& e = m_entries[m_next];
        m_next = (m_next + 1) % kEntries;
        e.key.assign(name, n);
        soap::Split(name, e.name, uris);
        return e.name;
    }

private:
    static constexpr size_t kEntries = 16;
    static constexpr size_t kMaxCached = 256;
    struct Entry {
        std::string key;
        SplitName name;
    };
    Entry m_entries[kEntries];
    size_t m_next = 0;
};

class CExpatAttributes final : public IXmlAttributes {
public:
    std::vector<SplitName> names;
    std::vector<std::u16string> values;
    size_t count = 0;

    bool FindByName(XmlText uri, XmlText localName, XmlText* value) const override {
        for (size_t i = 0; i < count; ++i) {
            if (names[i].uri == uri && names[i].local == localName) {
                *value = values[i];
                return true;
            }
        }
        return false;
    }
    bool FindByQName(XmlText qName, XmlText* value) const override {
        for (size_t i = 0; i < count; ++i) {
            if (names[i].qname == qName) {
                *value = values[i];
                return true;
            }
        }
        return false;
    }
};

class CExpatReader final : public IXmlReader {
public:
    explicit CExpatReader(bool fastPath) : m_bFastPath(fastPath) {}
    ~CExpatReader() override {
        if (m_parser) XML_ParserFree(m_parser);
    }
    Status SetContentHandler(IXmlContentHandler* handler) override {
        m_handler = handler;
        return kStatusOk;
    }
    Status Parse(const char* data, size_t len) override;

private:
    static void OnStart(void* self, const XML_Char* name, const XML_Char** atts);
    static void OnEnd(void* self, const XML_Char* name);
    static void OnText(void* self, const XML_Char* s, int len);
    static void OnPrefix(void* self, const XML_Char* prefix, const XML_Char* uri);
    static void OnDoctype(void* self, const XML_Char*, const XML_Char*, const XML_Char*, int);
    void Stop() {
        m_bStopped = true;
        XML_StopParser(m_parser, XML_FALSE);
    }
    void Guard(bool ok) {
        if (!ok) Stop();
    }

    // Plain ASCII answers are read by the fast path, several times cheaper
    // than expat; it declines everything else before the handler saw anything.
    bool m_bFastPath;
    CAsciiXmlReader m_fast;
    XML_Parser m_parser = nullptr;
    unsigned long m_salt = 0;
    IXmlContentHandler* m_handler = nullptr;
    bool m_bStopped = false;
    CUriCache m_uris;
    CNameCache m_names;
    SplitName m_name;
    CExpatAttributes m_attrs;
    std::u16string m_text, m_prefix, m_uri;
};

Status CExpatReader::Parse(const char* data, size_t len) {
    if (!m_handler) return kStatusInvalidArg;
    if (len > static_cast<size_t>(INT32_MAX)) return kStatusFail;
    try {
        if (m_bFastPath && m_fast.Read(data, len)) return m_fast.Replay(*m_handler) ? kStatusOk : kStatusFail;
    } catch (const std::bad_alloc&) {
        return kStatusOutOfMemory;
    }
    if (m_parser) {
        XML_ParserReset(m_parser, nullptr);
    } else {
        m_parser = XML_ParserCreateNS(nullptr, kSeparator);
        if (!m_parser) return kStatusOutOfMemory;
        std::random_device entropy;
        m_salt = entropy();
        if (m_salt == 0) m_salt = 1;
    }
    // A salt of the reader's own, drawn once: without one expat draws a new
    // salt for every document, and that costs more than parsing a small
    // answer. It still keeps name hashes unpredictable to a server.
    XML_SetHashSalt(m_parser, m_salt);
    XML_SetReturnNSTriplet(m_parser, XML_TRUE);
    XML_SetUserData(m_parser, this);
    XML_SetElementHandler(m_parser, &OnStart, &OnEnd);
    XML_SetCharacterDataHandler(m_parser, &OnText);
    XML_SetStartNamespaceDeclHandler(m_parser, &OnPrefix);
    XML_SetStartDoctypeDeclHandler(m_parser, &OnDoctype);
    m_bStopped = false;
    XML_Status st;
    try {
            st = XML_Parse(m_parser, data, static_cast<int>(len), XML_TRUE);
    } catch (const std::bad_alloc&) {
        return kStatusOutOfMemory;
    }
    return st == XML_STATUS_OK && !m_bStopped ? kStatusOk : kStatusFail;
}

void CExpatReader::OnStart(void* p, const XML_Char* name, const XML_Char** atts) {
    auto* self = static_cast<CExpatReader*>(p);
    try {
        size_t n = 0;
        for (const XML_Char** a = atts; *a; a += 2, ++n) {
            if (self->m_attrs.names.size() <= n) {
                self->m_attrs.names.emplace_back();
                self->m_attrs.values.emplace_back();
            }
            // Copied: the next lookup may reuse the cache entry.
            self->m_attrs.names[n] = self->m_names.Split(a[0], self->m_name, self->m_uris);
            Widen(a[1], std::strlen(a[1]), self->m_attrs.values[n]);
        }
        self->m_attrs.count = n;
        const SplitName& element = self->m_names.Split(name, self->m_name, self->m_uris);
        self->Guard(self->m_handler->StartElement(element.uri, element.local, element.qname, self->m_attrs));
    } catch (const std::bad_alloc&) {
        self->Stop();  // never unwind through expat
    }
}

void CExpatReader::OnEnd(void* p, const XML_Char* name) {
    auto* self = static_cast<CExpatReader*>(p);
    try {
        const SplitName& element = self->m_names.Split(name, self->m_name, self->m_uris);
        self->Guard(self->m_handler->EndElement(element.uri, element.local, element.qname));
    } catch (const std::bad_alloc&) {
        self->Stop();  // never unwind through expat
    }
}

void CExpatReader::OnText(void* p, const XML_Char* s, int len) {
    auto* self = static_cast<CExpatReader*>(p);
    try {
        Widen(s, static_cast<size_t>(len), self->m_text);
        self->Guard(self->m_handler->Characters(self->m_text));
    } catch (const std::bad_alloc&) {
        self->Stop();  // never unwind through expat
    }
}

void CExpatReader::OnPrefix(void* p, const XML_Char* prefix, const XML_Char* uri) {
    auto* self = static_cast<CExpatReader*>(p);
    try {
        Widen(prefix ? prefix : "", prefix ? std::strlen(prefix) : 0, self->m_prefix);
        self->m_uris.Widen(uri ? uri : "", uri ? std::strlen(uri) : 0, self->m_uri);
        self->Guard(self->m_handler->StartPrefixMapping(self->m_prefix, self->m_uri));
    } catch (const std::bad_alloc&) {
        self->Stop();  // never unwind through expat
    }
}

// SOAP forbids a document type declaration; refusing it also keeps entity
// expansion out of reach.
void CExpatReader::OnDoctype(void* p, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    static_cast<CExpatReader*>(p)->Stop();
}

}  // namespace

Status CreateXmlReader(std::unique_ptr<IXmlReader>* reader) {
    if (!reader) return kStatusPointer;
    reader->reset(new (std::nothrow) CExpatReader(true));
    return *reader ? kStatusOk : kStatusOutOfMemory;
}

Status CreateExpatXmlReader(std::unique_ptr<IXmlReader>* reader) {
    if (!reader) return kStatusPointer;
    reader->reset(new (std::nothrow) CExpatReader(false));
    return *reader ? kStatusOk : kStatusOutOfMemory;
}

}  // namespace soap
