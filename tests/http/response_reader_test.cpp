#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "transport/http_response_reader.h"

namespace {

// A well-formed response and what reading it must give.
struct Case {
    const char* name;
    std::string wire;
    bool endsAtClose;  // no length: only the end of the stream completes it
    int status;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    std::vector<std::string> absent;
};

std::vector<Case> Cases() {
    std::string longName(1024, 'N');
    return {
        {"length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Type: text/xml\r\n\r\nhello",
         false, 200, "hello", {{"content-type", "text/xml"}, {"CONTENT-LENGTH", "5"}}, {}},
        {"empty", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", false, 200, "", {}, {}},
        {"continue",
         "HTTP/1.1 100 Continue\r\nX-Early: 1\r\n\r\nHTTP/1.1 100 Continue\r\n\r\n"
         "HTTP/1.1 201 Created\r\nContent-Length: 2\r\n\r\nok",
         false, 201, "ok", {}, {"X-Early"}},
        {"duplicates",
         "HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\nset-cookie: b=2\r\nContent-Length: 0\r\n\r\n", false,
         200, "", {{"Set-Cookie", "a=1,b=2"}}, {}},
        {"continuation",
         "HTTP/1.1 200 OK\r\nX-Long: one\r\n\ttwo\r\n three\r\nX-Next:   v  \r\nno colon\r\n"
         "Content-Length: 1\r\n\r\n!",
         false, 200, "!", {{"X-Long", "one\r\n\ttwo\r\n three"}, {"X-Next", "v  "}}, {"no colon"}},
        {"long name",
         "HTTP/1.1 200 OK\r\n" + longName + ": x\r\n" + longName.substr(1) +
             ": kept\r\nX-Value: " + std::string(1024, 'v') +
             "\r\nContent-Length: 1\r\n\r\nb",
         false, 200, "b", {{longName.substr(1), "kept"}, {"Content-Length", "1"}},
         {longName, "X-Value"}},
        {"abcd", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nabcd\r\n0\r\n\r\n", false,
         200, "abcd", {}, {}},
        {"chunks",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n a\r\n0123456789\r\n1A\r\n" +
             std::string(26, 'z') + "\r\n0\r\n\r\n",
         false, 200, "0123456789" + std::string(26, 'z'), {}, {}},
        {"trailers",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nTrailer: X-Sum\r\n\r\n"
         "3\r\nabc\r\n0\r\nX-Sum: 42\r\nX-More: m\r\n\r\n",
         false, 200, "abc", {{"X-Sum", "42"}, {"X-More", "m"}}, {}},
        {"capital Chunked",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n4\r\nabcd\r\n0\r\n\r\n", true, 200,
         "4\r\nabcd\r\n0\r\n\r\n", {}, {}},
        {"until close", "HTTP/1.0 200 OK\r\nServer: x\r\n\r\nsome body", true, 200, "some body", {},
         {}},
    };
}

struct Outcome {
    HttpReadResult result;
    int status;
    std::string body;
};

// Feeds the wire in pieces cut at the given offsets, then the end of the
// stream when the case needs it.
Outcome Read(const Case& c, const std::vector<size_t>& cuts, CHttpHeaderMap* headers) {
    CHttpBuffer buffer;
    CHttpResponseReader reader(buffer, *headers);
    reader.Begin(0);
    HttpReadResult r = HttpReadResult::kIncomplete;
    size_t from = 0;
    for (size_t cut : cuts) {
        r = reader.Feed(c.wire.data() + from, cut - from);
        from = cut;
    }
    r = reader.Feed(c.wire.data() + from, c.wire.size() - from);
    if (c.endsAtClose) {
        EXPECT_EQ(r, HttpReadResult::kIncomplete) << c.name;
        r = reader.OnClosed();
    }
    return {r, reader.StatusCode(), std::string(reader.Body(), reader.BodyLength())};
}

void Check(const Case& c, const std::vector<size_t>& cuts, const std::string& how) {
    CHttpHeaderMap headers;
    Outcome o = Read(c, cuts, &headers);
    ASSERT_EQ(o.result, HttpReadResult::kDone) << c.name << how;
    EXPECT_EQ(o.status, c.status) << c.name << how;
    EXPECT_EQ(o.body, c.body) << c.name << how;
    for (const auto& h : c.headers) {
        const std::string* v = headers.Find(h.first.c_str());
        ASSERT_NE(v, nullptr) << c.name << how << " header " << h.first;
        EXPECT_EQ(*v, h.second) << c.name << how;
    }
    for (const std::string& name : c.absent)
        EXPECT_EQ(headers.Find(name.c_str()), nullptr) << c.name << how << " " << name;
}

TEST(ResponseReader, WholeSplitAnywhereAndByteByByte) {
    for (const Case& c : Cases()) {
        Check(c, {}, " whole");
        for (size_t cut = 1; cut < c.wire.size(); ++cut) Check(c, {cut}, " cut " + std::to_string(cut));
        std::vector<size_t> every;
        for (size_t i = 1; i < c.wire.size(); ++i) every.push_back(i);
        Check(c, every, " byte by byte");
    }
}

TEST(ResponseReader, EveryTruncatedPrefixIsIncompleteThenFailsAtClose) {
    for (const Case& c : Cases()) {
        for (size_t len = 0; len < c.wire.size(); ++len) {
            CHttpBuffer buffer;
            CHttpHeaderMap headers;
            CHttpResponseReader reader(buffer, headers);
            reader.Begin(0);
            ASSERT_EQ(reader.Feed(c.wire.data(), len), HttpReadResult::kIncomplete)
                << c.name << " prefix " << len;
            HttpReadResult r = HttpReadResult::kIncomplete;
            for (int i = 0; i < CHttpResponseReader::kMaxEmptyReads && r == HttpReadResult::kIncomplete; ++i)
                r = reader.OnClosed();
            // A cut header block or length or chunk fails; a close-delimited
            // body past its header block ends with what arrived.
            HttpReadResult expected = c.endsAtClose && reader.HeadersComplete()
                                          ? HttpReadResult::kDone
                                          : HttpReadResult::kError;
            EXPECT_EQ(r, expected) << c.name << " prefix " << len;
        }
    }
}

HttpReadResult FeedAll(const std::string& wire, CHttpBuffer& buffer, CHttpHeaderMap& headers) {
    CHttpResponseReader reader(buffer, headers);
    reader.Begin(0);
    return reader.Feed(wire.data(), wire.size());
}

TEST(ResponseReader, MalformedInputFails) {
    const std::string bad[] = {
        "garbage\r\n\r\n",
        "HTTP/1.1\r\n\r\n200 OK",
        "HTTP/1.1 -200 OK\r\n\r\n",
        "HTTP/1.1 4294967296 Big\r\n\r\n",
        "HTTP/1.1 200 OK\r\nContent-Length: 16777217\r\n\r\n",
        "HTTP/1.1 200 OK\r\nContent-Length: -2\r\n\r\n!",
        "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n!",
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n80000000\r\n",
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nabcdX",
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nabcd\rX",
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\rX",
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1000001\r\n",
    };
    for (const std::string& wire : bad) {
        CHttpBuffer buffer;
        CHttpHeaderMap headers;
        EXPECT_EQ(FeedAll(wire, buffer, headers), HttpReadResult::kError) << wire;
    }
}

TEST(ResponseReader, ChunkExtensionNeverCompletes) {
    CHttpBuffer buffer;
    CHttpHeaderMap headers;
    CHttpResponseReader reader(buffer, headers);
    reader.Begin(0);
    std::string wire = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4;x=y\r\nabcd\r\n0\r\n\r\n";
    EXPECT_EQ(reader.Feed(wire.data(), wire.size()), HttpReadResult::kIncomplete);
    EXPECT_EQ(reader.OnReadFailed(), HttpReadResult::kError);  // the time-out
}

TEST(ResponseReader, EndsOfStream) {
    // Five empty reads in a row give up on the header block; data resets the count.
    CHttpBuffer buffer;
    CHttpHeaderMap headers;
    CHttpResponseReader reader(buffer, headers);
    reader.Begin(0);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(reader.OnClosed(), HttpReadResult::kIncomplete);
    EXPECT_EQ(reader.Feed("HTTP/1.1", 8), HttpReadResult::kIncomplete);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(reader.OnClosed(), HttpReadResult::kIncomplete);
    EXPECT_EQ(reader.OnClosed(), HttpReadResult::kError);

    // A read failure (time-out) ends a body without length successfully...
    reader.Begin(0);
    std::string open = "HTTP/1.1 200 OK\r\n\r\npartial";
    EXPECT_EQ(reader.Feed(open.data(), open.size()), HttpReadResult::kIncomplete);
    EXPECT_EQ(reader.OnReadFailed(), HttpReadResult::kDone);
    EXPECT_EQ(std::string(reader.Body(), reader.BodyLength()), "partial");
    // ...but not a header block.
    reader.Begin(0);
    EXPECT_EQ(reader.Feed("HTTP/1.1 200 OK\r\n", 17), HttpReadResult::kIncomplete);
    EXPECT_EQ(reader.OnReadFailed(), HttpReadResult::kError);
}

TEST(ResponseReader, BytesPastTheEndAreDroppedAndReported) {
    struct Row {
        const char* name;
        std::string wire;
        const char* body;
        bool overran;
    };
    const Row rows[] = {
        {"length", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nabcd", "ab", true},
        {"length exact", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nab", "ab", false},
        {"chunks", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nab\r\n0\r\n\r\nHTTP", "ab",
         true},
    };
    for (const Row& row : rows) {
        CHttpBuffer buffer;
        CHttpHeaderMap headers;
        CHttpResponseReader reader(buffer, headers);
        reader.Begin(0);
        ASSERT_EQ(reader.Feed(row.wire.data(), row.wire.size()), HttpReadResult::kDone) << row.name;
        EXPECT_EQ(std::string(reader.Body(), reader.BodyLength()), row.body) << row.name;
        EXPECT_EQ(reader.Body()[reader.BodyLength()], '\0') << row.name;
        EXPECT_EQ(reader.Overran(), row.overran) << row.name;
    }
}

TEST(ResponseReader, CapsTheResponseSize) {
    CHttpBuffer buffer;
    CHttpHeaderMap headers;
    CHttpResponseReader reader(buffer, headers);
    reader.Begin(0);
    std::string head = "HTTP/1.1 200 OK\r\n\r\n";
    ASSERT_EQ(reader.Feed(head.data(), head.size()), HttpReadResult::kIncomplete);
    std::string block(1 << 20, 'x');
    HttpReadResult r = HttpReadResult::kIncomplete;
    int blocks = 0;
    while (r == HttpReadResult::kIncomplete && blocks < 40) {
        r = reader.Feed(block.data(), block.size());
        ++blocks;
    }
    EXPECT_EQ(r, HttpReadResult::kError);
    EXPECT_EQ(blocks, 16);  // the 16th MiB crosses the cap with the header block
    EXPECT_LE(buffer.Capacity(), CHttpResponseReader::kMaxResponse * 2);
}

TEST(ResponseReader, HeaderEntryLimit) {
    std::string wire = "HTTP/1.1 200 OK\r\n";
    for (size_t i = 0; i < CHttpHeaderMap::kMaxEntries; ++i) wire += "H" + std::to_string(i) + ": v\r\n";
    CHttpBuffer buffer;
    CHttpHeaderMap headers;
    EXPECT_EQ(FeedAll(wire + "Content-Length: 0\r\n\r\n", buffer, headers), HttpReadResult::kError);
    EXPECT_EQ(FeedAll(wire + "H0: again\r\n\r\n", buffer, headers), HttpReadResult::kIncomplete);
    EXPECT_EQ(*headers.Find("h0"), "v,again");
}

TEST(HeaderMap, HashIgnoresCase) {
    EXPECT_EQ(CHttpHeaderMap::Hash("Content-Type", 12), CHttpHeaderMap::Hash("CONTENT-type", 12));
    EXPECT_EQ(CHttpHeaderMap::Hash("ab", 2), uint32_t{'A'} * 33u + 'B');
}

}  // namespace
