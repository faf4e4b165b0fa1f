// Arbitrary bytes as a server's answer, cut into arbitrary reads: first
// through the client (status check and redirects included, each redirect
// reading the next part of the stream), then through the reader alone.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/support/scripted_connection.h"
#include "transport/http_client.h"
#include "transport/http_response_reader.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

// Piece sizes come from the first input byte and a small generator, so the
// same bytes always split the same way.
struct Splitter {
    uint32_t state;
    size_t maxPiece;
    size_t Next() {
        state = state * 1103515245u + 12345u;
        return 1 + (state >> 16) % maxPiece;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    Splitter split = {data[0], static_cast<size_t>(data[1]) + 1};
    const bool endWithClose = data[0] & 1;
    const char* wire = reinterpret_cast<const char*>(data + 2);
    size -= 2;

    CScriptedConnection connection;
    for (size_t at = 0; at < size;) {
        size_t n = split.Next();
        if (n > size - at) n = size - at;
        connection.Push(std::string(wire + at, n));
        at += n;
    }
    if (endWithClose)
        connection.PushClosed();
    else
        connection.PushFail();
    CHttpClient http(connection);
    CHttpUrl url;
    Check(url.SetUrl("http://fuzz.example/start/page"));
    http.PerformRequest(&url, nullptr);
    Check(http.BodyData()[http.BodyLength()] == '\0');

    CHttpBuffer buffer;
    CHttpHeaderMap headers;
    CHttpResponseReader reader(buffer, headers);
    reader.Begin(0);
    HttpReadResult result = HttpReadResult::kIncomplete;
    for (size_t at = 0; at < size && result == HttpReadResult::kIncomplete;) {
        size_t n = split.Next();
        if (n > size - at) n = size - at;
        result = reader.Feed(wire + at, n);
        at += n;
    }
    if (result == HttpReadResult::kIncomplete)
        result = endWithClose ? reader.OnClosed() : reader.OnReadFailed();
    Check(reader.Body()[reader.BodyLength()] == '\0');
    if (result == HttpReadResult::kDone) {
        Check(reader.HeadersComplete());
        Check(reader.BodyOffset() + reader.BodyLength() == buffer.Size());
        Check(buffer.Data()[buffer.Size()] == '\0');
        Check(reader.BodyLength() <= size);
    }
    return 0;
}
