#include "tools/xlserver/xml_scan.h"

#include <algorithm>
#include <cstdint>

namespace xlserver {
namespace {

// Deep enough for any workbook, shallow enough that a hostile file cannot
// make the stack of open names grow without bound.
constexpr size_t kMaxDepth = 256;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsNameChar(char c) { return !IsSpace(c) && c != '>' && c != '/' && c != '=' && c != '<' && c != '"' && c != '\''; }

// A qualified name: at most one colon, with a prefix and a local part on
// either side. "a:b:c" is no name a namespace-aware reader takes, and the
// writer, which spells new attributes with the document's own prefix, would
// write cells no reader finds again.
bool IsQualifiedName(std::string_view name) {
    const size_t colon = name.find(':');
    if (colon == std::string_view::npos) return !name.empty();
    return colon > 0 && colon + 1 < name.size() && name.find(':', colon + 1) == std::string_view::npos;
}

std::string_view LocalName(std::string_view name) {
    const size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Replaces the entities of raw; false on an unknown or broken one.
bool Unescape(std::string_view raw, std::string& out) {
    out.clear();
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '&') {
            out += raw[i];
            continue;
        }
        const size_t semi = raw.find(';', i);
        if (semi == std::string_view::npos || semi - i > 10) return false;
        const std::string_view entity = raw.substr(i + 1, semi - i - 1);
        if (entity == "lt") out += '<';
        else if (entity == "gt") out += '>';
        else if (entity == "amp") out += '&';
        else if (entity == "quot") out += '"';
        else if (entity == "apos") out += '\'';
        else if (entity.size() > 1 && entity[0] == '#') {
            const bool hex = entity[1] == 'x' || entity[1] == 'X';
            const std::string_view digits = entity.substr(hex ? 2 : 1);
            if (digits.empty()) return false;
            uint32_t cp = 0;
            for (char c : digits) {
                int d;
                if (c >= '0' && c <= '9') d = c - '0';
                else if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
                else if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
                else return false;
                cp = cp * (hex ? 16 : 10) + static_cast<uint32_t>(d);
                if (cp > 0x10FFFF) return false;
            }
            if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
            AppendUtf8(out, cp);
        } else {
            return false;
        }
        i = semi;
    }
    return true;
}

bool Fail(std::string* error, const char* what, size_t at) {
    if (error) *error = std::string(what) + " at offset " + std::to_string(at);
    return false;
}

}  // namespace

bool ScanXml(std::string_view xml, XmlHandler& handler, std::string* error) {
    std::vector<std::string> open;
    std::string text;
    bool seenRoot = false;
    size_t i = 0;
    while (i < xml.size()) {
        if (xml[i] != '<') {
            const size_t next = std::min(xml.find('<', i), xml.size());
            if (!Unescape(xml.substr(i, next - i), text)) return Fail(error, "bad entity", i);
            if (!open.empty()) handler.Text(text);
            i = next;
            continue;
        }
        const std::string_view rest = xml.substr(i);
        if (rest.substr(0, 4) == "<!--") {
            const size_t end = xml.find("-->", i + 4);
            if (end == std::string_view::npos) return Fail(error, "unterminated comment", i);
            i = end + 3;
        } else if (rest.substr(0, 9) == "<![CDATA[") {
            const size_t end = xml.find("]]>", i + 9);
            if (end == std::string_view::npos) return Fail(error, "unterminated CDATA", i);
            if (!open.empty()) handler.Text(xml.substr(i + 9, end - i - 9));
            i = end + 3;
        } else if (rest.substr(0, 2) == "<?" || rest.substr(0, 2) == "<!") {
            const size_t end = xml.find('>', i);
            if (end == std::string_view::npos) return Fail(error, "unterminated declaration", i);
            i = end + 1;
        } else if (rest.substr(0, 2) == "</") {
            size_t j = i + 2;
            while (j < xml.size() && IsNameChar(xml[j])) ++j;
            const std::string_view name = xml.substr(i + 2, j - i - 2);
            while (j < xml.size() && IsSpace(xml[j])) ++j;
            if (j >= xml.size() || xml[j] != '>') return Fail(error, "broken end tag", i);
            if (open.empty() || open.back() != name) return Fail(error, "mismatched end tag", i);
            open.pop_back();
            handler.tagBegin = i;
            handler.tagEnd = j + 1;
            handler.End(LocalName(name));
            i = j + 1;
        } else {
            size_t j = i + 1;
            while (j < xml.size() && IsNameChar(xml[j])) ++j;
            const std::string name(xml.substr(i + 1, j - i - 1));
            if (name.empty()) return Fail(error, "empty tag name", i);
            if (!IsQualifiedName(name)) return Fail(error, "bad tag name", i);
            if (open.empty() && seenRoot) return Fail(error, "second root element", i);
            std::vector<std::pair<std::string, std::string>> attributes;
            bool selfClosing = false;
            for (;;) {
                while (j < xml.size() && IsSpace(xml[j])) ++j;
                if (j >= xml.size()) return Fail(error, "unterminated tag", i);
                if (xml[j] == '>') break;
                if (xml[j] == '/') {
                    if (j + 1 >= xml.size() || xml[j + 1] != '>') return Fail(error, "broken tag end", j);
                    selfClosing = true;
                    ++j;
                    break;
                }
                const size_t nameStart = j;
                while (j < xml.size() && IsNameChar(xml[j])) ++j;
                const std::string_view attr = xml.substr(nameStart, j - nameStart);
                while (j < xml.size() && IsSpace(xml[j])) ++j;
                if (!IsQualifiedName(attr) || j >= xml.size() || xml[j] != '=') return Fail(error, "broken attribute", j);
                ++j;
                while (j < xml.size() && IsSpace(xml[j])) ++j;
                if (j >= xml.size() || (xml[j] != '"' && xml[j] != '\'')) return Fail(error, "unquoted attribute", j);
                const char quote = xml[j];
                const size_t close = xml.find(quote, j + 1);
                if (close == std::string_view::npos) return Fail(error, "unterminated attribute", j);
                std::string value;
                if (!Unescape(xml.substr(j + 1, close - j - 1), value)) return Fail(error, "bad entity", j);
                attributes.emplace_back(std::string(LocalName(attr)), std::move(value));
                j = close + 1;
                // XML wants space between attributes; without it a name
                // could be read as part of its neighbour's.
                if (j < xml.size() && !IsSpace(xml[j]) && xml[j] != '>' && xml[j] != '/')
                    return Fail(error, "attributes run together", j);
            }
            seenRoot = true;
            handler.tagBegin = i;
            handler.tagEnd = j + 1;
            handler.Start(LocalName(name), attributes);
            if (selfClosing) {
                handler.End(LocalName(name));
            } else {
                if (open.size() >= kMaxDepth) return Fail(error, "nesting too deep", i);
                open.push_back(name);
            }
            i = j + 1;
        }
    }
    if (!open.empty()) return Fail(error, "unclosed element", xml.size());
    if (!seenRoot) return Fail(error, "no element", 0);
    return true;
}

std::string XmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\n': out += "&#10;"; break;
        default: out += c;
        }
    }
    return out;
}

}  // namespace xlserver
