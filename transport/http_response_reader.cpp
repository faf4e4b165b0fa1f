#include "transport/http_response_reader.h"

#include <cstring>

namespace {

constexpr HttpHeaderName kTransferEncoding = CHttpHeaderMap::Name("Transfer-Encoding");
constexpr HttpHeaderName kTrailer = CHttpHeaderMap::Name("Trailer");
constexpr HttpHeaderName kContentLength = CHttpHeaderMap::Name("Content-Length");

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Finds "\r\n\r\n" in [from, end); returns the offset just past it or 0.
size_t FindBlankLine(const char* data, size_t from, size_t end) {
    for (size_t i = from; i + 4 <= end; ++i) {
        const char* p = static_cast<const char*>(std::memchr(data + i, '\r', end - i));
        if (!p) return 0;
        i = p - data;
        if (i + 4 <= end && p[1] == '\n' && p[2] == '\r' && p[3] == '\n') return i + 4;
    }
    return 0;
}

// The decimal number a C runtime's atoi-style reading finds: leading white
// space, an optional sign, digits. Saturates instead of overflowing.
int64_t ParseLength(const std::string& text) {
    const char* p = text.c_str();
    while (IsSpace(*p)) ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    int64_t value = 0;
    for (; IsDigit(*p); ++p) {
        if (value < (int64_t{1} << 40)) value = value * 10 + (*p - '0');
    }
    return negative ? -value : value;
}

}  // namespace

CHttpResponseReader::CHttpResponseReader(CHttpBuffer& buffer, CHttpHeaderMap& headers)
    : m_buffer(buffer), m_headers(headers) {}

void CHttpResponseReader::Begin(size_t readBlock) {
    m_buffer.Clear();
    m_headers.Clear();
    m_readBlock = readBlock ? readBlock : kDefaultReadBlock;
    m_phase = kHead;
    m_headParsed = false;
    m_status = -1;
    m_emptyReads = 0;
    m_received = 0;
    m_responseStart = 0;
    m_searchFrom = 0;
    m_headerLength = 0;
    m_contentLength = -1;
    m_chunked = false;
    m_trailer = false;
    m_overran = false;
    m_raw = m_out = 0;
    m_chunkLeft = 0;
    m_trailerStart = 0;
}

size_t CHttpResponseReader::NextReadSize() const {
    return m_phase == kHead ? kHeaderReadSize : m_readBlock;
}

size_t CHttpResponseReader::BodyLength() const {
    if (!m_headParsed) return 0;
    size_t end = m_chunked ? m_out : m_buffer.Size();
    return end - BodyOffset();
}

void CHttpResponseReader::Fail() {
    m_phase = kError;
    // Undecoded bytes go, so the partial body stays NUL-terminated.
    if (m_chunked) m_buffer.Truncate(m_out);
}

HttpReadResult CHttpResponseReader::Result() const {
    if (m_phase == kDone) return HttpReadResult::kDone;
    if (m_phase == kError) return HttpReadResult::kError;
    return HttpReadResult::kIncomplete;
}

HttpReadResult CHttpResponseReader::Feed(const char* data, size_t n) {
    if (m_phase == kDone || m_phase == kError) return Result();
    std::memcpy(ReadSpace(n), data, n);
    return OnData(n);
}

HttpReadResult CHttpResponseReader::OnData(size_t n) {
    if (m_phase == kDone || m_phase == kError) return Result();
    m_buffer.Commit(n);
    m_received += n;
    if (m_received > kMaxResponse) {
        Fail();
        return Result();
    }
    if (n) m_emptyReads = 0;
    return Process();
}

HttpReadResult CHttpResponseReader::OnClosed() {
    switch (m_phase) {
    case kHead:
        if (++m_emptyReads >= kMaxEmptyReads) Fail();
        break;
    case kCloseBody:
        Finish();
        break;
    case kDone:
    case kError:
        break;
    default:  // a known length or chunks cut short
        Fail();
        break;
    }
    return Result();
}

HttpReadResult CHttpResponseReader::OnReadFailed() {
    if (m_phase == kCloseBody)
        Finish();  // without a length, silence ends the body
    else if (m_phase != kDone)
        Fail();
    return Result();
}

bool CHttpResponseReader::ParseHead(size_t blockEnd) {
    const char* data = m_buffer.Data();
    size_t p = m_responseStart;
    while (p < blockEnd && !IsSpace(data[p])) ++p;  // protocol version
    while (p < blockEnd && IsSpace(data[p])) ++p;
    if (p == blockEnd || !IsDigit(data[p])) return false;
    int64_t status = 0;
    for (; p < blockEnd && IsDigit(data[p]); ++p) {
        status = status * 10 + (data[p] - '0');
        if (status > 0x7FFFFFFF) return false;
    }
    m_status = static_cast<int>(status);
    const char* lf = static_cast<const char*>(std::memchr(data + p, '\n', blockEnd - p));
    m_headerLength = blockEnd - m_responseStart;
    if (m_status == 100) return true;
    size_t lines = lf - data + 1;  // the block's terminator guarantees a line feed
    return m_headers.ParseLines(data + lines, blockEnd - lines);
}

void CHttpResponseReader::StartBody() {
    const std::string* te = m_headers.Find(kTransferEncoding);
    // Only the exact lower-case token selects chunks; "Chunked" reads by
    // length or until close, like the servers this client was built for.
    m_chunked = te && *te == "chunked";
    m_trailer = m_headers.Find(kTrailer) != nullptr;
    if (m_chunked) {
        m_raw = m_out = BodyOffset();
        m_phase = kChunkSizeStart;
        return;
    }
    const std::string* length = m_headers.Find(kContentLength);
    m_contentLength = length ? ParseLength(*length) : -1;
    // A negative length is no length at all: reading by it would cut the
    // body before its own start.
    if (m_contentLength > static_cast<int64_t>(kMaxResponse) || (length && m_contentLength < 0)) {
        Fail();
        return;
    }
    m_phase = m_contentLength == -1 ? kCloseBody : kLengthBody;
}

HttpReadResult CHttpResponseReader::Process() {
    while (m_phase == kHead) {
        size_t from = m_searchFrom > m_responseStart + 3 ? m_searchFrom - 3 : m_responseStart;
        size_t blockEnd = FindBlankLine(m_buffer.Data(), from, m_buffer.Size());
        if (!blockEnd) {
            m_searchFrom = m_buffer.Size();
            return Result();
        }
        if (!ParseHead(blockEnd)) {
            Fail();
            return Result();
        }
        if (m_status == 100) {
            // An interim answer: the final one follows in the same stream.
            m_responseStart = m_searchFrom = blockEnd;
            m_headerLength = 0;
            m_status = -1;
            m_headers.Clear();
            continue;
        }
        m_headParsed = true;
        StartBody();
    }
    if (m_phase == kLengthBody) {
        const int64_t have = static_cast<int64_t>(m_buffer.Size() - BodyOffset());
        if (have >= m_contentLength) {
            // Whatever follows the length is no part of this body: never
            // handed to the caller, whoever sent it.
            if (have > m_contentLength) {
                m_buffer.Truncate(BodyOffset() + static_cast<size_t>(m_contentLength));
                m_overran = true;
            }
            Finish();
        }
    } else if (m_phase >= kChunkSizeStart && m_phase <= kChunkStalled) {
        ProcessChunked();
    }
    return Result();
}

void CHttpResponseReader::ProcessChunked() {
    char* data = m_buffer.Data();
    size_t end = m_buffer.Size();
    while (m_raw < end && m_phase != kDone && m_phase != kError) {
        char c = data[m_raw];
        switch (m_phase) {
        case kChunkSizeStart:
            if (IsSpace(c)) {
                ++m_raw;
            } else if (HexValue(c) >= 0) {
                m_chunkLeft = 0;
                m_phase = kChunkSizeDigits;
            } else {
                m_phase = kChunkStalled;
            }
            break;
        case kChunkSizeDigits:
            if (HexValue(c) >= 0) {
                m_chunkLeft = m_chunkLeft * 16 + static_cast<uint64_t>(HexValue(c));
                if (m_chunkLeft >= kMaxChunk) {
                    Fail();
                    break;
                }
                ++m_raw;
            } else if (c == '\r') {
                ++m_raw;
                m_phase = kChunkSizeLf;
            } else {
                // Chunk extensions are not understood: the size line never
                // completes and the wait for it ends with the time-out.
                m_phase = kChunkStalled;
            }
            break;
        case kChunkSizeLf:
            if (c != '\n') {
                Fail();
                break;
            }
            ++m_raw;
            if (m_chunkLeft == 0) {
                m_phase = kChunkLast;
            } else if (m_out - BodyOffset() + m_chunkLeft > kMaxResponse) {
                Fail();
            } else {
                m_phase = kChunkData;
            }
            break;
        case kChunkData: {
            size_t take = end - m_raw;
            if (take > m_chunkLeft) take = static_cast<size_t>(m_chunkLeft);
            std::memmove(data + m_out, data + m_raw, take);
            m_out += take;
            m_raw += take;
            m_chunkLeft -= take;
            if (m_chunkLeft == 0) m_phase = kChunkDataCr;
            break;
        }
        case kChunkDataCr:
            if (c != '\r') {
                Fail();
                break;
            }
            ++m_raw;
            m_phase = kChunkDataLf;
            break;
        case kChunkDataLf:
            if (c != '\n') {
                Fail();
                break;
            }
            ++m_raw;
            m_phase = kChunkSizeStart;
            break;
        case kChunkLast:
            // An optional CR LF; without it a Trailer-announcing response
            // carries trailer fields up to a blank line.
            if (c == '\r' && m_raw + 1 == end) return;  // need the next byte
            if (c == '\r' && data[m_raw + 1] == '\n') {
                m_raw += 2;
                Finish();
            } else if (m_trailer) {
                m_trailerStart = m_raw;
                m_phase = kChunkTrailers;
            } else {
                Finish();
            }
            break;
        case kChunkTrailers: {
            size_t from = m_raw > m_trailerStart + 3 ? m_raw - 3 : m_trailerStart;
            size_t blockEnd = FindBlankLine(data, from, end);
            if (!blockEnd) {
                m_raw = end;
                break;
            }
            if (!m_headers.ParseLines(data + m_trailerStart, blockEnd - m_trailerStart)) {
                Fail();
                break;
            }
            m_raw = blockEnd;
            Finish();
            break;
        }
        case kChunkStalled:
            m_raw = end;  // dropped; the received-bytes cap still counts them
            break;
        default:
            return;
        }
    }
    if (m_phase == kDone || m_phase == kError) {
        if (m_phase == kDone && m_raw < end) m_overran = true;
        m_buffer.Truncate(m_out);
        return;
    }
    // Keep the undecoded rest right after the decoded body, so the buffer
    // holds no more than the rest needs.
    if (m_phase == kChunkTrailers) {
        if (m_trailerStart > m_out) {
            size_t rest = end - m_trailerStart;
            std::memmove(data + m_out, data + m_trailerStart, rest);
            m_raw = m_out + (m_raw - m_trailerStart);
            m_trailerStart = m_out;
            m_buffer.Truncate(m_out + rest);
        }
    } else if (m_raw > m_out) {
        size_t rest = end - m_raw;
        std::memmove(data + m_out, data + m_raw, rest);
        m_raw = m_out;
        m_buffer.Truncate(m_out + rest);
    }
}
