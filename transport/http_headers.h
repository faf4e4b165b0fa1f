// Response header map: names compared without regard to case, a repeated
// name keeps one entry whose values are joined by ",". Entries are recycled
// between responses so a client that is reused stops allocating.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A header name known at compile time, hashed once.
struct HttpHeaderName {
    const char* name;
    size_t len;
    uint32_t hash;
};

class CHttpHeaderMap {
public:
    // Lines whose name or value reaches this length are dropped.
    static constexpr size_t kMaxField = 1024;
    // Distinct names one response may bring; more fails the response (a
    // linear map must not be made quadratic by a hostile header block).
    static constexpr size_t kMaxEntries = 256;

    // h = h * 33 + upper-case(byte), from 0.
    static constexpr uint32_t Hash(const char* name, size_t len) {
        uint32_t h = 0;
        for (size_t i = 0; i < len; ++i) {
            const unsigned char c = static_cast<unsigned char>(name[i]);
            h = h * 33u + ((c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c);
        }
        return h;
    }
    template <size_t N>
    static constexpr HttpHeaderName Name(const char (&name)[N]) {
        return {name, N - 1, Hash(name, N - 1)};
    }

    void Clear() { m_count = 0; }
    size_t Count() const { return m_count; }
    // Stores the value, or appends "," and the value to an existing entry.
    // False when a new name would exceed kMaxEntries.
    bool Add(const char* name, size_t nameLen, const char* value, size_t valueLen);
    // Value of the named header, or nullptr. Valid until the map changes.
    const std::string* Find(const char* name, size_t len) const;
    const std::string* Find(const char* name) const;
    const std::string* Find(const HttpHeaderName& name) const;
    const std::string& NameAt(size_t i) const { return m_entries[i].name; }
    const std::string& ValueAt(size_t i) const { return m_entries[i].value; }

    // Parses header lines from text up to and including the empty line that
    // ends them (text must hold it). Continuation lines keep their CR LF
    // inside the value; lines without ':' and over-long fields are skipped.
    // False only when the entry limit is crossed.
    bool ParseLines(const char* text, size_t len);

private:
    const std::string* Find(const char* name, size_t len, uint32_t hash) const;

    struct Entry {
        uint32_t hash;
        std::string name;
        std::string value;
    };
    std::vector<Entry> m_entries;
    size_t m_count = 0;
};
