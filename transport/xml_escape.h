// Escaping of UTF-16 text for XML element content and attribute values. The
// result is plain ASCII (everything else becomes a character reference), so
// it is appended to UTF-8 output as it stands.
#pragma once

#include <string>
#include <string_view>

namespace soap {

enum class XmlEscapeMode { kElement, kAttribute };

// Appends the escaped form of text to out. May throw std::bad_alloc.
void EscapeXmlText(std::u16string_view text, XmlEscapeMode mode, std::string& out);

}  // namespace soap
