// The native reader's ASCII fast path against expat alone: every document it
// takes must give expat's events exactly, and everything it declines must go
// to expat untouched.
#include "transport/xml_ascii_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "tests/soap/xml_event_log.h"

using namespace soap;

namespace {

// The events of one parse, or "failed".
std::u16string Events(IXmlReader& reader, const std::string& doc) {
    CXmlEventLog log;
    reader.SetContentHandler(&log);
    const Status s = reader.Parse(doc.data(), doc.size());
    reader.SetContentHandler(nullptr);
    return s == kStatusOk ? log.Text() : u"failed";
}

class XmlAsciiReader : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CreateXmlReader(&m_reader), kStatusOk);
        ASSERT_EQ(CreateExpatXmlReader(&m_expat), kStatusOk);
    }
    std::unique_ptr<IXmlReader> m_reader, m_expat;
    CAsciiXmlReader m_fast;
};

TEST_F(XmlAsciiReader, TakesPlainDocumentsWithExpatsEvents) {
    const char* docs[] = {
        "<a/>",
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<a>x</a>\r\n",
        "<?xml version='1.0' encoding='US-ASCII' standalone='yes' ?><a/>",
        "<?xml version=\"1.0\" standalone=\"no\"?><!-- c - d --><a/><!---->",
        "<s:E xmlns:s=\"urn:s\" xmlns:xsi=\"urn:i\" xmlns=\"urn:d\"><s:H><w:T xmlns:w=\"urn:w\" w:id=\"1\">t</w:T></s:H>"
        "<s:B><R a=\"1\" p:a='2' xmlns:p=\"urn:p\"><C xmlns=\"\">117.25</C></R></s:B></s:E>",
        "<a xml:lang=\"ja\" b = \"tab\there&#10;&#x9;&amp;\">&lt;&gt;&amp;&apos;&quot;&#65;&#x10000;&#xFFFD; ]] &gt;</a>",
        "<p:a xmlns:p=\"urn:1\"><p:a xmlns:p=\"urn:2\" p:x=\"v\"/><p:b/></p:a >",
        "<a>\n  <b/>\n\t<c>x<!-- inside -->y</c>\n</a>",
        "<a\n b='1'\n/>",
    };
    for (const char* doc : docs) {
        EXPECT_TRUE(m_fast.Read(doc, std::strlen(doc))) << doc;
        const std::u16string expected = Events(*m_expat, doc);
        EXPECT_NE(expected, u"failed") << doc;
        EXPECT_EQ(Events(*m_reader, doc), expected) << doc;
    }
}

TEST_F(XmlAsciiReader, LeavesEverythingElseToExpat) {
    const char* docs[] = {
        // Not for the fast path, and fine.
        "<caf\xC3\xA9/>",
        "\xEF\xBB\xBF<a/>",
        "<?xml version=\"1.0\" encoding=\"ISO-8859-15\"?><a/>",
        "<a><![CDATA[<x>]]></a>",
        "<?pi x?><a/>",
        "<a>line\r\nend</a>",
        "<a b=\"x\r\ny\"/>",
        "<a xmlns:xml=\"http://www.w3.org/XML/1998/namespace\"/>",
        // Malformed: expat says so.
        "",
        "<a>",
        "<a></b>",
        "<a/><b/>",
        "text<a/>",
        "<a>&nbsp;</a>",
        "<a>&#0;</a>",
        "<a>&#xD800;</a>",
        "<a>]]></a>",
        "<a b='1' b='2'/>",
        "<a xmlns:p='urn:1' xmlns:q='urn:1' p:x='1' q:x='2'/>",
        "<p:a/>",
        "<a xmlns:p=''/>",
        "<a b='<'/>",
        "<a b='1'c='2'/>",
        "<a><!-- x -- y --></a>",
        "<!DOCTYPE a [<!ENTITY e 'x'>]><a>&e;</a>",
        "<?xml version=\"1.1\"?><a/>",
        "<a:/>",
        "<a\x01/>",
    };
    for (const char* doc : docs) {
        const size_t n = std::strlen(doc);
        EXPECT_FALSE(m_fast.Read(doc, n)) << doc;
        EXPECT_EQ(Events(*m_reader, doc), Events(*m_expat, doc)) << doc;
    }
}

// A handler that stops the parse stops it on the fast path too.
TEST_F(XmlAsciiReader, AHandlerCanStopIt) {
    struct CStopAtText final : CXmlEventLog {
        bool Characters(XmlText) override { return false; }
    } stop;
    const std::string doc = "<a>x</a>";
    m_reader->SetContentHandler(&stop);
    EXPECT_EQ(m_reader->Parse(doc.data(), doc.size()), kStatusFail);
    m_reader->SetContentHandler(nullptr);
}

}  // namespace
