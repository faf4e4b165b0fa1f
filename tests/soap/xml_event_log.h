// Every event of an XML reader written down as text, to compare two readers
// on one document. Text pieces are joined (readers may split text anywhere);
// attributes are looked up under the names the tests and the fuzz
// dictionary use, both ways the interface offers.
#pragma once

#include <string>

#include "transport/xml_reader.h"

namespace soap {

class CXmlEventLog : public IXmlContentHandler {
public:
    std::u16string Text() {
        Flush();
        return m_log;
    }

    bool StartPrefixMapping(XmlText prefix, XmlText uri) override {
        Flush();
        m_log += u"ns " + std::u16string(prefix) + u"=" + std::u16string(uri) + u"\n";
        return true;
    }
    bool StartElement(XmlText uri, XmlText localName, XmlText qName, const IXmlAttributes& attrs) override {
        Flush();
        m_log += u"<{" + std::u16string(uri) + u"}" + std::u16string(localName) + u"|" + std::u16string(qName);
        static const char16_t* const kQNames[] = {u"a", u"b", u"c", u"x", u"id", u"p:a", u"p:x", u"q:x", u"w:id", u"xml:lang"};
        static const char16_t* const kUris[] = {u"", u"urn:1", u"urn:2", u"urn:p", u"urn:w",
                                                u"http://www.w3.org/XML/1998/namespace"};
        static const char16_t* const kLocals[] = {u"a", u"b", u"x", u"id", u"lang"};
        XmlText value;
        for (const char16_t* q : kQNames)
            if (attrs.FindByQName(q, &value)) m_log += u" " + std::u16string(q) + u"=" + std::u16string(value);
        for (const char16_t* u : kUris)
            for (const char16_t* l : kLocals)
                if (attrs.FindByName(u, l, &value))
                    m_log += u" {" + std::u16string(u) + u"}" + l + u"=" + std::u16string(value);
        m_log += u"\n";
        return true;
    }
    bool EndElement(XmlText uri, XmlText localName, XmlText qName) override {
        Flush();
        m_log += u"</{" + std::u16string(uri) + u"}" + std::u16string(localName) + u"|" + std::u16string(qName) + u"\n";
        return true;
    }
    bool Characters(XmlText text) override {
        m_text += text;
        return true;
    }

private:
    void Flush() {
        if (!m_text.empty()) m_log += u"'" + m_text + u"'\n";
        m_text.clear();
    }
    std::u16string m_log, m_text;
};

}  // namespace soap
