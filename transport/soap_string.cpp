#include "transport/soap_string.h"

#include <cstdlib>
#include <cstring>

namespace soap {

namespace {
// Keeps the text aligned for char16_t whatever the prefix's size.
constexpr size_t kPrefix = sizeof(uint32_t);
}

char16_t* AllocSoapString(std::u16string_view text) {
    if (text.size() > (UINT32_MAX - kPrefix) / sizeof(char16_t) - 1) return nullptr;
    const size_t bytes = kPrefix + (text.size() + 1) * sizeof(char16_t);
    auto* raw = static_cast<unsigned char*>(std::malloc(bytes));
    if (!raw) return nullptr;
    const uint32_t len = static_cast<uint32_t>(text.size());
    std::memcpy(raw, &len, kPrefix);
    auto* s = reinterpret_cast<char16_t*>(raw + kPrefix);
    if (!text.empty()) std::memcpy(s, text.data(), text.size() * sizeof(char16_t));
    s[text.size()] = 0;
    return s;
}

void FreeSoapString(char16_t* s) {
    if (s) std::free(reinterpret_cast<unsigned char*>(s) - kPrefix);
}

size_t SoapStringLength(const char16_t* s) {
    if (!s) return 0;
    uint32_t len;
    std::memcpy(&len, reinterpret_cast<const unsigned char*>(s) - kPrefix, kPrefix);
    return len;
}

}  // namespace soap
