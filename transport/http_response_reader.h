// Reads one HTTP/1.1 response from bytes that arrive in pieces of any size.
// The caller reads from its connection into ReadSpace() and reports what the
// read gave (OnData / OnClosed / OnReadFailed); each call resumes where the
// last one stopped and answers incomplete, done or error. Everything lives
// in the caller's buffer and header map; chunked bodies are decoded in place
// so the body ends up contiguous right after its header block.
#pragma once

#include <cstddef>
#include <cstdint>

#include "transport/http_buffer.h"
#include "transport/http_headers.h"

enum class HttpReadResult { kIncomplete, kDone, kError };

class CHttpResponseReader {
public:
    // Past this many received bytes a response fails instead of growing.
    static constexpr size_t kMaxResponse = 16u << 20;
    static constexpr size_t kHeaderReadSize = 2048;
    static constexpr size_t kDefaultReadBlock = 2048;
    // Reads in a row that may return nothing while the header block is
    // awaited; a peer that closed gives nothing every time.
    static constexpr int kMaxEmptyReads = 5;
    // Chunk sizes at or above this fail.
    static constexpr uint64_t kMaxChunk = 1ull << 31;

    CHttpResponseReader(CHttpBuffer& buffer, CHttpHeaderMap& headers);

    // Empties buffer and map and expects a new response. readBlock is the
    // read size for bodies (0 = kDefaultReadBlock).
    void Begin(size_t readBlock);

    // Size the next read should ask for, and the room to read it into.
    size_t NextReadSize() const;
    char* ReadSpace(size_t n) { return m_buffer.Reserve(n); }

    HttpReadResult OnData(size_t n);  // n bytes were written at ReadSpace()
    HttpReadResult OnClosed();        // a read returned no bytes
    HttpReadResult OnReadFailed();    // a read failed or timed out
    // Copies bytes in and processes them (tests, fuzzing, in-memory use).
    HttpReadResult Feed(const char* data, size_t n);

    int StatusCode() const { return m_status; }
    bool HeadersComplete() const { return m_headParsed; }
    bool IsChunked() const { return m_chunked; }
    // Bytes came after the response's end (past its Content-Length or its
    // last chunk). They were dropped; the connection that brought them is
    // out of step with its server and must not carry another request.
    bool Overran() const { return m_overran; }
    size_t ResponseOffset() const { return m_responseStart; }
    size_t HeaderLength() const { return m_headerLength; }
    size_t BodyOffset() const { return m_responseStart + m_headerLength; }
    size_t BodyLength() const;
    // Always followed by a NUL, also when no body was read.
    const char* Body() const {
        return m_headParsed ? m_buffer.Data() + BodyOffset() : m_buffer.Data() + m_buffer.Size();
    }

private:
    enum Phase {
        kHead,
        kLengthBody,
        kCloseBody,
        kChunkSizeStart,
        kChunkSizeDigits,
        kChunkSizeLf,
        kChunkData,
        kChunkDataCr,
        kChunkDataLf,
        kChunkLast,
        kChunkTrailers,
        kChunkStalled,
        kDone,
        kError,
    };

    HttpReadResult Process();
    HttpReadResult Result() const;
    bool ParseHead(size_t blockEnd);
    void StartBody();
    void ProcessChunked();
    void Finish() { m_phase = kDone; }
    void Fail();

    CHttpBuffer& m_buffer;
    CHttpHeaderMap& m_headers;
    size_t m_readBlock = kDefaultReadBlock;
    Phase m_phase = kHead;
    bool m_headParsed = false;
    int m_status = -1;
    int m_emptyReads = 0;
    size_t m_received = 0;       // bytes of this exchange, for the cap
    size_t m_responseStart = 0;  // start of the current header block
    size_t m_searchFrom = 0;     // where the blank-line search resumes
    size_t m_headerLength = 0;
    int64_t m_contentLength = -1;
    bool m_chunked = false;
    bool m_trailer = false;
    bool m_overran = false;
    // Chunked decoding: raw bytes at [m_raw, Size()), decoded up to m_out.
    size_t m_raw = 0;
    size_t m_out = 0;
    uint64_t m_chunkLeft = 0;
    size_t m_trailerStart = 0;
};
