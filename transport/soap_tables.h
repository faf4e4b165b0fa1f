// Static descriptions of SOAP operations, parameters and enumerations. They
// drive both the request writer and the response reader; names are matched by
// their hash first, then by length and text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace soap {

// h = h * 33 + code unit, over the UTF-16 name, starting from 0.
constexpr uint32_t NameHash(std::u16string_view name) {
    uint32_t h = 0;
    for (char16_t c : name) h = h * 33u + static_cast<uint32_t>(c);
    return h;
}

// Table kinds.
constexpr int kKindEnum = 1;
constexpr int kKindOperation = 2;

struct SoapEnumEntry {
    uint32_t nHash;           // 0 ends the list
    const char* szName;       // 8-bit name
    const char16_t* wszName;  // UTF-16 name
    int cchName;
    int nValue;
};

struct SoapEnumInfo {
    int nKind;  // kKindEnum
    uint32_t nHash;
    const char* szName;
    const char16_t* wszName;
    int cchName;
    const char* szNamespace;
    const char16_t* wszNamespace;
    uint32_t nNamespaceHash;
    int cchNamespace;
    const SoapEnumEntry* pEntries;
};

}  // namespace soap
