// A fast path in front of the native XML reader for what services answer
// nearly always: a plain ASCII document without a document type, CDATA or
// processing instructions. It reads such a document in one pass into a list
// of events (names and text are views into a UTF-16 copy of the bytes) and
// then plays them to the handler. Anything else, malformed input included,
// it declines before any event reached the handler, and the full reader
// (expat) decides; so what it accepts must be exactly what expat accepts,
// with the same events. Documents nested deeper than the SOAP readers allow
// (64) or with more than a few thousand events are declined as well, so the
// event lists stay small whatever the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "transport/xml_reader.h"

namespace soap {

struct XmlAttributeView {
    XmlText uri, local, qname, value;
};

class CAsciiXmlReader {
public:
    // True when the document was read whole; false when it is left to the
    // full reader.
    bool Read(const char* data, size_t len);
    // Plays the events of the last document read; false when the handler
    // stopped it.
    bool Replay(IXmlContentHandler& handler) const;

private:
    using Attribute = XmlAttributeView;
    enum class Kind : uint8_t { kPrefix, kStart, kEnd, kText };
    struct Event {
        Kind kind;
        XmlText a, b, c;            // prefix/uri, or uri/local/qname, or the text
        uint32_t attrBegin = 0, attrEnd = 0;
    };
    struct Binding {
        XmlText prefix, uri;
    };
    struct Open {
        XmlText uri, local, qname;
        size_t bindings;  // m_bindings' size before this element's own
    };

    // False past the event bound: the document is then expat's.
    bool Push(const Event& e);
    bool ReadContent(size_t& i);
    bool ReadStartTag(size_t& i);
    bool ReadEndTag(size_t& i);
    bool ReadComment(size_t& i);
    bool ReadText(size_t& i);
    bool ReadXmlDecl(size_t& i);
    bool ReadName(size_t& i, XmlText& name, size_t& colon);
    bool ReadValue(size_t& i, XmlText& value);
    bool Reference(size_t& i, std::u16string& out);
    bool Resolve(XmlText prefix, XmlText& uri) const;
    void SkipSpace(size_t& i) const;
    bool IsSpace(size_t i) const;

    std::u16string m_wide;     // the document, widened
    std::u16string m_decoded;  // values with references, decoded; never reallocated while read
    size_t m_len = 0;
    std::vector<Event> m_events;
    std::vector<Attribute> m_attrs;
    std::vector<Binding> m_bindings;
    std::vector<Open> m_open;
};

// The expat reader alone, without the fast path (tests compare the two).
Status CreateExpatXmlReader(std::unique_ptr<IXmlReader>* reader);

}  // namespace soap
