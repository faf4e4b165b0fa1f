// Length-prefixed UTF-16 strings, the form a parameter block holds text in.
// The pointer is to the first code unit; the 32-bit length sits just before
// it and a terminating 0 just after the text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace soap {

// nullptr when memory runs out or the text is too long.
char16_t* AllocSoapString(std::u16string_view text);
void FreeSoapString(char16_t* s);  // nullptr is allowed
size_t SoapStringLength(const char16_t* s);

inline std::u16string_view SoapStringView(const char16_t* s) {
    return s ? std::u16string_view(s, SoapStringLength(s)) : std::u16string_view();
}

}  // namespace soap
