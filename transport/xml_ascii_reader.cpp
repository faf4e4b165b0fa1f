#include "transport/xml_ascii_reader.h"

#include <cstring>

namespace soap {

namespace {

constexpr size_t kNone = static_cast<size_t>(-1);
// Past this many attributes on one element the duplicate check would grow
// quadratic: left to expat, which hashes them.
constexpr size_t kMaxAttributes = 32;
constexpr size_t kMaxDeclarations = 32;
// The SOAP readers refuse anything deeper, and a service's answer is a few
// dozen events. Past either bound the document goes to expat, which streams
// it to the handler instead of holding ~100 bytes of events per input byte
// (16 MiB of "<a>" once took 786 MiB here).
constexpr size_t kMaxDepth = 64;
constexpr size_t kMaxEvents = 4096;

constexpr char16_t kXmlNs[] = u"http://www.w3.org/XML/1998/namespace";
constexpr char16_t kXmlnsNs[] = u"http://www.w3.org/2000/xmlns/";

// Character classes of the ASCII range, one table lookup per character.
enum : uint8_t { kNameStart = 1, kNameChar = 2, kValueSpecial = 4, kTextSpecial = 8 };
struct CharClasses {
    uint8_t of[128] = {};
    constexpr CharClasses() {
        for (int c = 'a'; c <= 'z'; ++c) of[c] = kNameStart | kNameChar;
        for (int c = 'A'; c <= 'Z'; ++c) of[c] = kNameStart | kNameChar;
        for (int c = '0'; c <= '9'; ++c) of[c] = kNameChar;
        Set("_:", kNameStart | kNameChar);
        Set(".-", kNameChar);
        Set("<&\r", kValueSpecial | kTextSpecial);
        Set("\t\n", kValueSpecial);
        Set(">", kTextSpecial);
    }
    constexpr void Set(const char* chars, int cls) {
        for (; *chars; ++chars) of[static_cast<unsigned char>(*chars)] = static_cast<uint8_t>(cls);
    }
};
constexpr CharClasses kClasses;

// Callers hold only ASCII (the document was checked whole first).
bool Is(char16_t c, uint8_t cls) { return kClasses.of[c] & cls; }
bool IsNameStart(char16_t c) { return Is(c, kNameStart); }
bool IsNameChar(char16_t c) { return Is(c, kNameChar); }

// A character XML allows (a character reference may name any code point).
bool IsXmlChar(uint32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

void AppendCodePoint(uint32_t c, std::u16string& out) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    }
}

bool EqualsAsciiNoCase(XmlText s, const char* ascii) {
    const size_t n = std::strlen(ascii);
    if (s.size() != n) return false;
    for (size_t i = 0; i < n; ++i) {
        char16_t c = s[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char16_t>(c - 'A' + 'a');
        if (c != static_cast<unsigned char>(ascii[i])) return false;
    }
    return true;
}

class CAttributesView final : public IXmlAttributes {
public:
    CAttributesView(const XmlAttributeView* begin, const XmlAttributeView* end) : m_begin(begin), m_end(end) {}
    bool FindByName(XmlText uri, XmlText localName, XmlText* value) const override {
        for (const XmlAttributeView* a = m_begin; a != m_end; ++a) {
            if (a->uri == uri && a->local == localName) {
                *value = a->value;
                return true;
            }
        }
        return false;
    }
    bool FindByQName(XmlText qName, XmlText* value) const override {
        for (const XmlAttributeView* a = m_begin; a != m_end; ++a) {
            if (a->qname == qName) {
                *value = a->value;
                return true;
            }
        }
        return false;
    }

private:
    const XmlAttributeView* m_begin;
    const XmlAttributeView* m_end;
};

}  // namespace

bool CAsciiXmlReader::IsSpace(size_t i) const {
    if (i >= m_len) return false;
    const char16_t c = m_wide[i];
    return c == ' ' || c == '\n' || c == '\t' || c == '\r';
}

void CAsciiXmlReader::SkipSpace(size_t& i) const {
    while (IsSpace(i)) ++i;
}

bool CAsciiXmlReader::ReadName(size_t& i, XmlText& name, size_t& colon) {
    const size_t start = i;
    if (i >= m_len || !IsNameStart(m_wide[i])) return false;
    colon = kNone;
    for (; i < m_len && IsNameChar(m_wide[i]); ++i) {
        if (m_wide[i] != ':') continue;
        if (colon != kNone) return false;  // two colons: not a qualified name
        colon = i - start;
    }
    name = XmlText(m_wide.data() + start, i - start);
    // A non-ASCII name character would have sent the document to expat
    // already; a colon must have a name on each side, and the part after it
    // starts as a name does.
    return colon == kNone || (colon > 0 && colon + 1 < name.size() && IsNameStart(name[colon + 1]));
}

// One reference at '&', decoded onto out.
bool CAsciiXmlReader::Reference(size_t& i, std::u16string& out) {
    const size_t start = i + 1;
    size_t end = start;
    while (end < m_len && end - start < 12 && m_wide[end] != ';') ++end;
    if (end >= m_len || m_wide[end] != ';') return false;
    const XmlText ref(m_wide.data() + start, end - start);
    i = end + 1;
    if (ref == u"lt") out += u'<';
    else if (ref == u"gt") out += u'>';
    else if (ref == u"amp") out += u'&';
    else if (ref == u"quot") out += u'"';
    else if (ref == u"apos") out += u'\'';
    else if (ref.size() >= 2 && ref[0] == '#') {
        const bool hex = ref[1] == 'x';
        size_t k = hex ? 2 : 1;
        if (k >= ref.size()) return false;
        uint32_t c = 0;
        for (; k < ref.size(); ++k) {
            const char16_t d = ref[k];
            uint32_t v;
            if (d >= '0' && d <= '9') v = d - '0';
            else if (hex && d >= 'a' && d <= 'f') v = d - 'a' + 10;
            else if (hex && d >= 'A' && d <= 'F') v = d - 'A' + 10;
            else return false;
            c = c * (hex ? 16 : 10) + v;
            if (c > 0x10FFFF) return false;
        }
        if (!IsXmlChar(c)) return false;
        AppendCodePoint(c, out);
    } else {
        return false;  // no other entity exists without a document type
    }
    return true;
}

// A quoted attribute value at i, references decoded and white space
// characters made spaces, as an attribute without a declared type is read.
bool CAsciiXmlReader::ReadValue(size_t& i, XmlText& value) {
    if (i >= m_len || (m_wide[i] != '"' && m_wide[i] != '\'')) return false;
    const char16_t quote = m_wide[i++];
    const size_t start = i;
    bool plain = true;
    for (; i < m_len && m_wide[i] != quote; ++i) {
        const char16_t c = m_wide[i];
        if (!Is(c, kValueSpecial)) continue;
        if (c == '<' || c == '\r') return false;  // an error; CR: line-end rules left to expat
        plain = false;
    }
    if (i >= m_len) return false;
    const size_t end = i++;
    if (plain) {
        value = XmlText(m_wide.data() + start, end - start);
        return true;
    }
    const size_t from = m_decoded.size();
    for (size_t k = start; k < end;) {
        const char16_t c = m_wide[k];
        if (c == '&') {
            if (!Reference(k, m_decoded)) return false;
        } else {
            m_decoded += (c == '\t' || c == '\n') ? u' ' : c;
            ++k;
        }
    }
    value = XmlText(m_decoded.data() + from, m_decoded.size() - from);
    return true;
}

bool CAsciiXmlReader::Resolve(XmlText prefix, XmlText& uri) const {
    for (size_t k = m_bindings.size(); k-- > 0;) {
        if (m_bindings[k].prefix == prefix) {
            uri = m_bindings[k].uri;
            return true;
        }
    }
    if (prefix.empty()) {
        uri = XmlText();
        return true;
    }
    if (prefix == u"xml") {
        uri = kXmlNs;
        return true;
    }
    return false;  // an unbound prefix
}

bool CAsciiXmlReader::Push(const Event& e) {
    if (m_events.size() >= kMaxEvents) return false;
    m_events.push_back(e);
    return true;
}

bool CAsciiXmlReader::ReadStartTag(size_t& i) {
    if (m_open.size() >= kMaxDepth) return false;  // this element would be too deep
    ++i;  // '<'
    XmlText qname;
    size_t colon;
    if (!ReadName(i, qname, colon)) return false;
    const size_t bindingsBefore = m_bindings.size();
    const size_t attrBegin = m_attrs.size();
    bool selfClosing = false;
    for (;;) {
        const bool spaced = IsSpace(i);
        SkipSpace(i);
        if (i >= m_len) return false;
        if (m_wide[i] == '>') {
            ++i;
            break;
        }
        if (m_wide[i] == '/') {
            if (i + 1 >= m_len || m_wide[i + 1] != '>') return false;
            i += 2;
            selfClosing = true;
            break;
        }
        if (!spaced) return false;
        XmlText name, value;
        size_t nameColon;
        if (!ReadName(i, name, nameColon)) return false;
        SkipSpace(i);
        if (i >= m_len || m_wide[i] != '=') return false;
        ++i;
        SkipSpace(i);
        if (!ReadValue(i, value)) return false;

        const bool isDefault = name == u"xmlns";
        const bool isPrefixed = nameColon == 5 && name.substr(0, 5) == u"xmlns";
        if (isDefault || isPrefixed) {
            const XmlText prefix = isDefault ? XmlText() : name.substr(6);
            // Declarations that are errors, or that expat treats in ways of
            // its own, go to expat.
            if (value == kXmlNs || value == kXmlnsNs) return false;
            if (isPrefixed && (value.empty() || prefix == u"xml" || prefix == u"xmlns")) return false;
            if (m_bindings.size() - bindingsBefore >= kMaxDeclarations) return false;
            for (size_t k = bindingsBefore; k < m_bindings.size(); ++k)
                if (m_bindings[k].prefix == prefix) return false;  // declared twice
            m_bindings.push_back({prefix, value});
            if (!Push({Kind::kPrefix, prefix, value, XmlText()})) return false;
            continue;
        }
        if (m_attrs.size() - attrBegin >= kMaxAttributes || m_attrs.size() >= kMaxEvents) return false;
        // The prefix waits in uri until this element's declarations are all known.
        const XmlText prefix = nameColon == kNone ? XmlText() : name.substr(0, nameColon);
        const XmlText local = nameColon == kNone ? name : name.substr(nameColon + 1);
        m_attrs.push_back({prefix, local, name, value});
    }

    const XmlText prefix = colon == kNone ? XmlText() : qname.substr(0, colon);
    if (prefix == u"xmlns") return false;
    Open open{XmlText(), colon == kNone ? qname : qname.substr(colon + 1), qname, bindingsBefore};
    if (!Resolve(prefix, open.uri)) return false;
    for (size_t k = attrBegin; k < m_attrs.size(); ++k) {
        Attribute& a = m_attrs[k];
        if (!a.uri.empty() && !Resolve(a.uri, a.uri)) return false;
        for (size_t j = attrBegin; j < k; ++j) {
            const Attribute& b = m_attrs[j];
            if (b.qname == a.qname || (!a.uri.empty() && b.uri == a.uri && b.local == a.local)) return false;
        }
    }
    Event start{Kind::kStart, open.uri, open.local, open.qname};
    start.attrBegin = static_cast<uint32_t>(attrBegin);
    start.attrEnd = static_cast<uint32_t>(m_attrs.size());
    if (!Push(start)) return false;
    if (selfClosing) {
        if (!Push({Kind::kEnd, open.uri, open.local, open.qname})) return false;
        m_bindings.resize(bindingsBefore);
    } else {
        m_open.push_back(open);
    }
    return true;
}

bool CAsciiXmlReader::ReadEndTag(size_t& i) {
    i += 2;  // "</"
    // The name must be the open element's, and end there.
    const Open& open = m_open.back();
    const size_t n = open.qname.size();
    if (m_len - i < n || XmlText(m_wide.data() + i, n) != open.qname) return false;
    i += n;
    if (i < m_len && IsNameChar(m_wide[i])) return false;
    SkipSpace(i);
    if (i >= m_len || m_wide[i] != '>') return false;
    ++i;
    if (!Push({Kind::kEnd, open.uri, open.local, open.qname})) return false;
    m_bindings.resize(open.bindings);
    m_open.pop_back();
    return true;
}

bool CAsciiXmlReader::ReadComment(size_t& i) {
    for (size_t k = i + 4; k + 1 < m_len; ++k) {
        if (m_wide[k] != '-' || m_wide[k + 1] != '-') continue;
        if (k + 2 >= m_len || m_wide[k + 2] != '>') return false;  // "--" inside a comment
        i = k + 3;
        return true;
    }
    return false;
}

bool CAsciiXmlReader::ReadText(size_t& i) {
    const size_t start = i;
    bool plain = true;
    for (; i < m_len && m_wide[i] != '<'; ++i) {
        const char16_t c = m_wide[i];
        if (!Is(c, kTextSpecial)) continue;
        if (c == '&') plain = false;
        else if (c == '\r') return false;  // line-end rules left to expat
        else if (c == '>' && i >= start + 2 && m_wide[i - 1] == ']' && m_wide[i - 2] == ']') return false;
    }
    if (i >= m_len) return false;  // the document ends inside an element
    if (plain) {
        return Push({Kind::kText, XmlText(m_wide.data() + start, i - start), XmlText(), XmlText()});
    }
    const size_t from = m_decoded.size();
    for (size_t k = start; k < i;) {
        if (m_wide[k] == '&') {
            if (!Reference(k, m_decoded)) return false;
        } else {
            m_decoded += m_wide[k++];
        }
    }
    return Push({Kind::kText, XmlText(m_decoded.data() + from, m_decoded.size() - from), XmlText(), XmlText()});
}

bool CAsciiXmlReader::ReadContent(size_t& i) {
    if (!ReadStartTag(i)) return false;
    while (!m_open.empty()) {
        if (i >= m_len) return false;
        if (m_wide[i] != '<') {
            if (!ReadText(i)) return false;
            continue;
        }
        if (i + 1 >= m_len) return false;
        const char16_t next = m_wide[i + 1];
        bool ok;
        if (next == '/') ok = ReadEndTag(i);
        else if (next == '!' && i + 3 < m_len && m_wide[i + 2] == '-' && m_wide[i + 3] == '-') ok = ReadComment(i);
        else if (next == '!' || next == '?') ok = false;  // CDATA or a processing instruction: expat's
        else ok = ReadStartTag(i);
        if (!ok) return false;
    }
    return true;
}

// <?xml version="1.0" [encoding="..."] [standalone="yes|no"] ?>, where the
// encoding reads ASCII as ASCII.
bool CAsciiXmlReader::ReadXmlDecl(size_t& i) {
    i += 5;  // "<?xml"
    int next = 0;  // 0 version, 1 encoding, 2 standalone, 3 none left
    for (;;) {
        const bool spaced = IsSpace(i);
        SkipSpace(i);
        if (i + 1 < m_len && m_wide[i] == '?' && m_wide[i + 1] == '>') {
            i += 2;
            return next > 0;
        }
        if (!spaced) return false;
        XmlText name, value;
        size_t colon;
        if (!ReadName(i, name, colon)) return false;
        SkipSpace(i);
        if (i >= m_len || m_wide[i] != '=') return false;
        ++i;
        SkipSpace(i);
        if (!ReadValue(i, value)) return false;
        if (next == 0 && name == u"version" && value == u"1.0") {
            next = 1;
        } else if (next == 1 && name == u"encoding" &&
                   (EqualsAsciiNoCase(value, "utf-8") || EqualsAsciiNoCase(value, "us-ascii") ||
                    EqualsAsciiNoCase(value, "iso-8859-1"))) {
            next = 2;
        } else if (next >= 1 && next <= 2 && name == u"standalone" && (value == u"yes" || value == u"no")) {
            next = 3;
        } else {
            return false;
        }
    }
}

bool CAsciiXmlReader::Read(const char* data, size_t len) {
    m_events.clear();
    m_attrs.clear();
    m_bindings.clear();
    m_open.clear();
    m_decoded.clear();
    m_len = len;
    if (len == 0) return false;
    // ASCII only, and no control character XML forbids. Two plain loops
    // without early exits, which the compiler turns into vector code.
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    unsigned bad = 0;
    for (size_t k = 0; k < len; ++k) {
        const unsigned c = bytes[k];
        bad |= (c >= 0x80) | ((c < 0x20) & (c != '\t') & (c != '\n') & (c != '\r'));
    }
    if (bad) return false;
    m_wide.resize(len);
    char16_t* wide = &m_wide[0];
    for (size_t k = 0; k < len; ++k) wide[k] = bytes[k];
    // Decoding only ever shrinks text, so views into this never move.
    m_decoded.reserve(len);

    size_t i = 0;
    if (len >= 6 && m_wide.compare(0, 5, u"<?xml") == 0 && IsSpace(5) && !ReadXmlDecl(i)) return false;
    bool rootSeen = false;
    for (;;) {
        SkipSpace(i);
        if (i >= len) return rootSeen;
        if (m_wide[i] != '<' || i + 1 >= len) return false;
        const char16_t next = m_wide[i + 1];
        if (next == '!' && i + 3 < len && m_wide[i + 2] == '-' && m_wide[i + 3] == '-') {
            if (!ReadComment(i)) return false;
        } else if (next == '!' || next == '?' || rootSeen) {
            return false;  // a document type, a processing instruction, a second root
        } else {
            if (!ReadContent(i)) return false;
            rootSeen = true;
        }
    }
}

bool CAsciiXmlReader::Replay(IXmlContentHandler& handler) const {
    for (const Event& e : m_events) {
        bool ok = true;
        switch (e.kind) {
        case Kind::kPrefix:
            ok = handler.StartPrefixMapping(e.a, e.b);
            break;
        case Kind::kStart: {
            const CAttributesView attrs(m_attrs.data() + e.attrBegin, m_attrs.data() + e.attrEnd);
            ok = handler.StartElement(e.a, e.b, e.c, attrs);
            break;
        }
        case Kind::kEnd:
            ok = handler.EndElement(e.a, e.b, e.c);
            break;
        case Kind::kText:
            ok = handler.Characters(e.a);
            break;
        }
        if (!ok) return false;
    }
    return true;
}

}  // namespace soap
