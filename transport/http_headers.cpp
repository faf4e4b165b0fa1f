#include "transport/http_headers.h"

#include <cstring>

namespace {

unsigned char Upper(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c; }

// The C locale's white space.
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool SameNoCase(const std::string& a, const char* b, size_t len) {
    if (a.size() != len) return false;
    // Servers mostly send the usual spelling: an exact match is the cheap case.
    if (std::memcmp(a.data(), b, len) == 0) return true;
    for (size_t i = 0; i < len; ++i)
        if (Upper(static_cast<unsigned char>(a[i])) != Upper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool IsCrLf(const char* p, const char* end) { return end - p >= 2 && p[0] == '\r' && p[1] == '\n'; }

}  // namespace

const std::string* CHttpHeaderMap::Find(const char* name, size_t len) const {
    return Find(name, len, Hash(name, len));
}

const std::string* CHttpHeaderMap::Find(const HttpHeaderName& name) const {
    return Find(name.name, name.len, name.hash);
}

const std::string* CHttpHeaderMap::Find(const char* name, size_t len, uint32_t h) const {
    for (size_t i = 0; i < m_count; ++i) {
        const Entry& e = m_entries[i];
        if (e.hash == h && SameNoCase(e.name, name, len)) return &e.value;
    }
    return nullptr;
}

const std::string* CHttpHeaderMap::Find(const char* name) const {
    return Find(name, std::strlen(name));
}

bool CHttpHeaderMap::Add(const char* name, size_t nameLen, const char* value, size_t valueLen) {
    uint32_t h = Hash(name, nameLen);
    for (size_t i = 0; i < m_count; ++i) {
        Entry& e = m_entries[i];
        if (e.hash == h && SameNoCase(e.name, name, nameLen)) {
            e.value += ',';
            e.value.append(value, valueLen);
            return true;
        }
    }
    if (m_count == kMaxEntries) return false;
    if (m_entries.empty()) m_entries.reserve(16);  // a typical answer fits
    if (m_count == m_entries.size()) m_entries.emplace_back();
    Entry& e = m_entries[m_count];
    e.hash = h;
    e.name.assign(name, nameLen);
    e.value.assign(value, valueLen);
    ++m_count;
    return true;
}

bool CHttpHeaderMap::ParseLines(const char* text, size_t len) {
    const char* p = text;
    const char* end = text + len;
    while (p < end && !IsCrLf(p, end)) {
        // The logical line runs to a CR LF not followed by a continuation.
        const char* lineEnd = p;
        for (;;) {
            // memchr finds each CR; a lone CR is part of the line.
            for (;;) {
                const char* cr = static_cast<const char*>(std::memchr(lineEnd, '\r', end - lineEnd));
                lineEnd = cr ? cr : end;
                if (!cr || IsCrLf(cr, end)) break;
                ++lineEnd;
            }
            if (lineEnd == end) break;
            const char* next = lineEnd + 2;
            if (next < end && IsSpace(*next) && !IsCrLf(next, end)) {
                lineEnd = next;
                continue;
            }
            break;
        }
        const char* colon = static_cast<const char*>(std::memchr(p, ':', lineEnd - p));
        if (colon) {
            const char* value = colon + 1;
            while (value < lineEnd && IsSpace(*value)) ++value;
            size_t nameLen = colon - p;
            size_t valueLen = lineEnd - value;
            if (nameLen < kMaxField && valueLen < kMaxField && !Add(p, nameLen, value, valueLen))
                return false;
        }
        p = lineEnd == end ? end : lineEnd + 2;
    }
    return true;
}
