#include "transport/xml_prolog.h"

namespace soap {

namespace {

// The document as code units of one or two bytes, in either byte order.
class CUnits {
public:
    CUnits(const unsigned char* data, size_t len, size_t width, bool bigEndian, size_t start)
        : m_data(data), m_count(len / width), m_width(width), m_big(bigEndian), m_pos(start) {}
    bool AtEnd() const { return m_pos >= m_count; }
    unsigned At(size_t k) const {
        if (k >= m_count) return 0xFFFFFFFF;
        const unsigned char* p = m_data + k * m_width;
        if (m_width == 1) return p[0];
        return m_big ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]);
    }
    // True when the units at the position spell the ASCII text.
    bool Starts(const char* text) const {
        for (size_t k = 0; text[k]; ++k)
            if (At(m_pos + k) != static_cast<unsigned char>(text[k])) return false;
        return true;
    }
    // Moves past the next occurrence of text; false when there is none.
    bool SkipPast(const char* text) {
        for (; !AtEnd(); ++m_pos) {
            if (Starts(text)) {
                while (*text++) ++m_pos;
                return true;
            }
        }
        return false;
    }
    unsigned Here() const { return At(m_pos); }
    void Next() { ++m_pos; }

private:
    const unsigned char* m_data;
    size_t m_count, m_width;
    bool m_big;
    size_t m_pos;
};

}  // namespace

bool PrologIsPlain(const char* data, size_t len) {
    const auto* b = reinterpret_cast<const unsigned char*>(data);
    size_t width = 1, start = 0;
    bool big = false;
    if (len >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
        start = 3;
    } else if (len >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF))) {
        width = 2;
        big = b[0] == 0xFE;
        start = 1;
    } else if (len >= 2 && ((b[0] == 0 && b[1] == '<') || (b[0] == '<' && b[1] == 0))) {
        width = 2;
        big = b[0] == 0;
    }
    CUnits u(b, len, width, big, start);
    while (!u.AtEnd()) {
        const unsigned c = u.Here();
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            u.Next();
        } else if (u.Starts("<!--")) {
            if (!u.SkipPast("-->")) return false;
        } else if (u.Starts("<?")) {
            if (!u.SkipPast("?>")) return false;
        } else {
            // The root element, or a document type (or stray text): refused
            // before the reader ever sees it.
            return c == '<' && !u.Starts("<!");
        }
    }
    return true;
}

}  // namespace soap
