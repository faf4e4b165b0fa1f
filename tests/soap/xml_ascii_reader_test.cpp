// The native reader's ASCII fast path against expat alone: every document it
// takes must give expat's events exactly, and everything it declines must go
// to expat untouched.
#include "transport/xml_ascii_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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

// The peak memory of one Read in a child process, in bytes over the child's
// own peak before it; -1 when the child could not report.
long PeakGrowth(const std::string& doc, bool* taken) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        CAsciiXmlReader fast;
        const long taken = fast.Read(doc.data(), doc.size()) ? 1 : 0;
        getrusage(RUSAGE_SELF, &after);
        const long report[2] = {taken, (after.ru_maxrss - before.ru_maxrss) * 1024};
        _exit(write(fds[1], report, sizeof report) == sizeof report ? 0 : 1);
    }
    close(fds[1]);
    long report[2] = {0, -1};
    const bool got = child > 0 && read(fds[0], report, sizeof report) == sizeof report;
    close(fds[0]);
    if (child > 0) waitpid(child, nullptr, 0);
    *taken = report[0] != 0;
    return got ? report[1] : -1;
}

// Deep or long documents are declined before their events pile up: expat
// streams them to the handler (which stops past depth 64). The widened copy
// of the input (two bytes per byte) is all the fast path may keep.
TEST_F(XmlAsciiReader, LargeDocumentsAreHandedOnWithoutBuildingTheirEvents) {
    auto nested = [](size_t depth) {
        std::string doc;
        for (size_t k = 0; k < depth; ++k) doc += "<a>";
        for (size_t k = 0; k < depth; ++k) doc += "</a>";
        return doc;
    };
    std::string flat = "<r>";
    while (flat.size() < (16u << 20)) flat += "<a/>";
    flat += "</r>";
    const struct {
        const char* name;
        std::string doc;
        bool taken;
    } table[] = {
        {"depth 64", nested(64), true},
        {"depth 65", nested(65), false},
        {"16 MiB of <a>", nested((16u << 20) / 7), false},
        {"16 MiB of <a/>", flat, false},
    };
    for (const auto& row : table) {
        bool taken = false;
        const long growth = PeakGrowth(row.doc, &taken);
        ASSERT_GE(growth, 0) << row.name;
        EXPECT_EQ(taken, row.taken) << row.name;
        EXPECT_LT(growth, static_cast<long>(3 * row.doc.size() + (8u << 20))) << row.name;
    }
    EXPECT_EQ(Events(*m_reader, nested(64)), Events(*m_expat, nested(64)));
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
