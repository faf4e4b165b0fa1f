// The platform XML reader as one client uses it: one reader for many
// documents, so nothing it keeps from an earlier document (names already
// converted, namespace bindings) may show in a later one.
#include "transport/xml_reader.h"

#include "transport/xml_prolog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

using namespace soap;

namespace {

// Writes every event as one line: names as {uri}local|qname.
class CRecorder final : public IXmlContentHandler {
public:
    std::u16string log;

    bool StartPrefixMapping(XmlText, XmlText) override { return true; }
    bool StartElement(XmlText uri, XmlText localName, XmlText qName, const IXmlAttributes& attrs) override {
        FlushText();
        log += u"<{" + std::u16string(uri) + u"}" + std::u16string(localName) + u"|" + std::u16string(qName);
        XmlText value;
        if (attrs.FindByName(u"urn:attr", u"a", &value)) log += u" a=" + std::u16string(value);
        if (attrs.FindByQName(u"plain", &value)) log += u" plain=" + std::u16string(value);
        log += u"\n";
        return true;
    }
    bool EndElement(XmlText uri, XmlText localName, XmlText qName) override {
        FlushText();
        log += u"</{" + std::u16string(uri) + u"}" + std::u16string(localName) + u"|" + std::u16string(qName) + u"\n";
        return true;
    }
    bool Characters(XmlText text) override {
        m_text += text;  // may come in pieces
        return true;
    }

private:
    void FlushText() {
        if (!m_text.empty()) log += u"'" + m_text + u"'\n";
        m_text.clear();
    }
    std::u16string m_text;
};

std::u16string ParseWith(IXmlReader& reader, const std::string& doc) {
    CRecorder recorder;
    EXPECT_EQ(reader.SetContentHandler(&recorder), kStatusOk);
    EXPECT_EQ(reader.Parse(doc.data(), doc.size()), kStatusOk) << doc;
    reader.SetContentHandler(nullptr);
    return recorder.log;
}

}  // namespace

TEST(XmlReader, OneReaderReadsEachDocumentAfresh) {
    std::unique_ptr<IXmlReader> reader;
    ASSERT_EQ(CreateXmlReader(&reader), kStatusOk);

    // The same prefix and the same local names bound to other namespaces in
    // the next document (and inside it), and a name that is not ASCII.
    const std::string first =
        "<p:r xmlns:p=\"urn:one\" xmlns:q=\"urn:attr\"><p:v q:a=\"1\" plain=\"x\">t</p:v>"
        "<p:caf\xC3\xA9/></p:r>";
    const std::string second =
        "<p:r xmlns:p=\"urn:two\" xmlns:q=\"urn:attr\"><v xmlns=\"urn:one\" q:a=\"2\">u</v>"
        "<p:caf\xC3\xA9 xmlns:p=\"urn:three\"/></p:r>";
    const std::u16string firstLog =
        u"<{urn:one}r|p:r\n<{urn:one}v|p:v a=1 plain=x\n't'\n</{urn:one}v|p:v\n"
        u"<{urn:one}caf\u00E9|p:caf\u00E9\n</{urn:one}caf\u00E9|p:caf\u00E9\n</{urn:one}r|p:r\n";
    const std::u16string secondLog =
        u"<{urn:two}r|p:r\n<{urn:one}v|v a=2\n'u'\n</{urn:one}v|v\n"
        u"<{urn:three}caf\u00E9|p:caf\u00E9\n</{urn:three}caf\u00E9|p:caf\u00E9\n</{urn:two}r|p:r\n";
    EXPECT_EQ(ParseWith(*reader, first), firstLog);
    EXPECT_EQ(ParseWith(*reader, second), secondLog);
    EXPECT_EQ(ParseWith(*reader, first), firstLog);
}

TEST(XmlReader, ManyDistinctNamesInOneDocumentAndAgain) {
    std::unique_ptr<IXmlReader> reader;
    ASSERT_EQ(CreateXmlReader(&reader), kStatusOk);
    // More names and namespaces than a service's answers use, each in the
    // next element's own namespace, so no name is reported from an earlier one.
    std::string doc = "<root>";
    std::u16string expected = u"<{}root|root\n";
    for (int i = 0; i < 40; ++i) {
        const std::string n = std::to_string(i);
        const std::u16string w(n.begin(), n.end());
        doc += "<e" + n + " xmlns=\"urn:n" + n + "\"/>";
        expected += u"<{urn:n" + w + u"}e" + w + u"|e" + w + u"\n</{urn:n" + w + u"}e" + w + u"|e" + w + u"\n";
    }
    doc += "</root>";
    expected += u"</{}root|root\n";
    EXPECT_EQ(ParseWith(*reader, doc), expected);
    EXPECT_EQ(ParseWith(*reader, doc), expected);
}

TEST(XmlReader, RefusesDocumentTypes) {
    std::unique_ptr<IXmlReader> reader;
    ASSERT_EQ(CreateXmlReader(&reader), kStatusOk);
    // An internal subset whose entity would turn one reference into many.
    const char* docs[] = {
        "<!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;\">]><r>&b;</r>",
        "<?xml version=\"1.0\"?>\n<!DOCTYPE r><r>x</r>",
    };
    for (const char* doc : docs) {
        CRecorder recorder;
        ASSERT_EQ(reader->SetContentHandler(&recorder), kStatusOk);
        EXPECT_NE(reader->Parse(doc, std::strlen(doc)), kStatusOk) << doc;
        EXPECT_EQ(recorder.log.find(u"aaaaa"), std::u16string::npos) << doc;
        reader->SetContentHandler(nullptr);
    }
    // The same reader still reads a plain document afterwards.
    EXPECT_EQ(ParseWith(*reader, "<r>x</r>"), u"<{}r|r\n'x'\n</{}r|r\n");
}

TEST(XmlProlog, OnlyAPlainPrologPasses) {
    using namespace std::string_literals;
    const struct {
        std::string doc;
        bool plain;
    } table[] = {
        {"", true},
        {"<a/>", true},
        {"\xEF\xBB\xBF<?xml version='1.0'?>\r\n<!-- <!DOCTYPE x> --><?pi ?> <a/>", true},
        {"\xFF\xFE<\0a\0/\0>\0"s, true},
        {"<!DOCTYPE a><a/>", false},
        {"<?xml version='1.0'?><!DOCTYPE a [<!ENTITY e 'x'>]><a>&e;</a>", false},
        {"\xFE\xFF\0<\0!\0D\0O\0C"s, false},
        {"<\0!\0D\0O\0C\0"s, false},
        {"<?xml version='1.0' encoding='UTF-7'?>+ADw-!DOCTYPE a+AD4-", false},
        {"\x4C\x5A\xC4\xD6", false},  // EBCDIC "<!DO"
        {"<!-- never closed <a/>", false},
        {"text<a/>", false},
    };
    for (const auto& row : table) EXPECT_EQ(PrologIsPlain(row.doc.data(), row.doc.size()), row.plain) << row.doc;
}
