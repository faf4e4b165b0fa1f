// A small non-validating XML scanner, enough for the workbook files: start
// and end tags with attributes, text with the predefined and numeric
// entities, CDATA; declarations, processing instructions and comments are
// skipped. Names lose their namespace prefix ("ss:Name" -> "Name").
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace xlserver {

struct XmlHandler {
    virtual ~XmlHandler() = default;
    // Where the tag being reported lies in the document: from its '<' to
    // just past its '>'. A self-closing tag is reported to Start and End
    // with the same place.
    size_t tagBegin = 0;
    size_t tagEnd = 0;
    virtual void Start(std::string_view name, const std::vector<std::pair<std::string, std::string>>& attributes) = 0;
    virtual void End(std::string_view name) = 0;
    virtual void Text(std::string_view text) = 0;
};

// False with *error set on malformed input (unbalanced tags included).
bool ScanXml(std::string_view xml, XmlHandler& handler, std::string* error);

// Text with &, <, > and quotes escaped for content and attribute values.
std::string XmlEscape(std::string_view text);

}  // namespace xlserver
