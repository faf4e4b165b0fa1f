#include "transport/xml_escape.h"

#include <cstdint>

namespace soap {

namespace {

void AppendHex(std::string& out, uint32_t value, int digits) {
    static const char kHex[] = "0123456789ABCDEF";
    out += "&#x";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out += kHex[(value >> shift) & 0xF];
    out += ';';
}

}  // namespace

void EscapeXmlText(std::u16string_view text, XmlEscapeMode mode, std::string& out) {
    const bool attribute = mode == XmlEscapeMode::kAttribute;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        switch (c) {
        case u'&': out += "&amp;"; continue;
        case u'<': out += "&lt;"; continue;
        case u'>': out += "&gt;"; continue;
        case u'"':
            out += attribute ? "&quot;" : "\"";
            continue;
        case u'\'':
            out += attribute ? "&apos;" : "'";
            continue;
        default: break;
        }
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            const uint32_t cp = 0x10000u + ((static_cast<uint32_t>(c) - 0xD800u) << 10) +
                                (static_cast<uint32_t>(text[i + 1]) - 0xDC00u);
            AppendHex(out, cp, 6);
            ++i;
        } else if (c < 0x20 || c > 0x7E) {
            // Tab, CR and LF too: a reference survives attribute-value and
            // line-end normalisation on the other side.
            AppendHex(out, c, 4);
        } else {
            out += static_cast<char>(c);
        }
    }
}

}  // namespace soap
