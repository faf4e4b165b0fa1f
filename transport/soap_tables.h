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
constexpr int kKindStruct = 3;

// Parameter flags.
constexpr uint32_t kParamIn = 0x1;
constexpr uint32_t kParamOut = 0x2;
constexpr uint32_t kParamReturn = 0x4;
constexpr uint32_t kParamDynArray = 0x8;
constexpr uint32_t kParamFixedArray = 0x10;
constexpr uint32_t kParamMustUnderstand = 0x20;
constexpr uint32_t kParamNoMarshal = 0x200;
constexpr uint32_t kParamNullable = 0x400;

// Style bits, carried by an operation and by each of its parameters.
constexpr uint32_t kStyleRpc = 0x1000;
constexpr uint32_t kStyleEncoded = 0x4000;
constexpr uint32_t kStyleDocument = 0x800;
constexpr uint32_t kStyleLiteral = 0x2000;
constexpr uint32_t kStyleWrapped = 0x8000;
constexpr uint32_t kStyleNoWrapper = 0x10000;
constexpr uint32_t kStyleDocLiteralWrapped = kStyleWrapped | kStyleLiteral | kStyleDocument;  // 0xA800
constexpr uint32_t kStyleRpcEncoded = kStyleRpc | kStyleEncoded;                             // 0x5000

constexpr bool IsRpcEncoded(uint32_t flags) {
    return (flags & kStyleRpcEncoded) == kStyleRpcEncoded;
}

// Type codes: indexes into the XML Schema type table; kTypeTable marks a
// type described by a table of its own (enumeration or structure).
enum SoapType : int {
    kTypeTable = -1,
    kTypeString = 0,
    kTypeBoolean,
    kTypeFloat,
    kTypeDouble,
    kTypeDecimal,
    kTypeDuration,
    kTypeHexBinary,
    kTypeBase64Binary,
    kTypeAnyUri,
    kTypeId,
    kTypeIdRef,
    kTypeEntity,
    kTypeNotation,
    kTypeQName,
    kTypeNormalizedString,
    kTypeToken,
    kTypeLanguage,
    kTypeIdRefs,
    kTypeEntities,
    kTypeNmToken,
    kTypeNmTokens,
    kTypeName,
    kTypeNcName,
    kTypeInteger,
    kTypeNonPositiveInteger,
    kTypeNegativeInteger,
    kTypeLong,
    kTypeInt,
    kTypeShort,
    kTypeByte,
    kTypeNonNegativeInteger,
    kTypeUnsignedLong,
    kTypeUnsignedInt,
    kTypeUnsignedShort,
    kTypeUnsignedByte,
    kTypePositiveInteger,
    kTypeDateTime,
    kTypeTime,
    kTypeDate,
    kTypeGMonth,
    kTypeGYearMonth,
    kTypeGYear,
    kTypeGMonthDay,
    kTypeGDay,
    kTypeCount
};

// The name used in xsd: qualified names, by type code; nullptr out of range.
const char* XsdTypeName(int type);

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
    // Entries before the ending one; when entry i has the value i, writing a
    // value finds its name without a search.
    int cEntries;
};

struct SoapStructInfo;

struct SoapParamInfo {
    uint32_t nHash;  // 0 ends the list
    const char* szName;
    const char16_t* wszName;
    int cchName;
    int nType;  // SoapType
    uint32_t dwFlags;
    size_t nOffset;          // of the value inside the parameter block
    const int* pDims;        // fixed arrays: dimensions, ended by 0
    const SoapEnumInfo* pEnum;      // kTypeTable: an enumeration...
    const SoapStructInfo* pStruct;  // ...or a structure
    const char* szNamespace;        // nullptr: none of its own
    int cchNamespace;
};

// A structure: its fields are laid out in one block like an operation's.
struct SoapStructInfo {
    int nKind;  // kKindStruct
    const char* szName;
    const char* szNamespace;
    const SoapParamInfo* pFields;
    size_t cbSize;
};

struct SoapOperationInfo {
    uint32_t nHash;  // over the response element name
    const char* szRequestName;
    int cchRequestName;
    const char16_t* wszResponseName;
    int cchResponseName;
    int nKind;  // kKindOperation
    const SoapParamInfo* pParams;
    size_t cbParamBlock;
    uint32_t dwFlags;
    const char* szNamespace;
    const char16_t* wszNamespace;
    uint32_t nNamespaceHash;
    int cchNamespace;
};

// Values as they sit in a parameter block.
// A string is a pointer to UTF-16 text preceded by its length (see soap_string.h).
using SoapStringPtr = char16_t*;

struct SoapBinary {
    uint8_t* pData;  // nullptr: nil
    int32_t nLength;
};

// A varying-length array: items of the parameter's type.
struct SoapArray {
    void* pItems;  // nullptr: nil
    int32_t nCount;
};

// Bytes a parameter's value takes in its block, and one array item of it.
size_t SoapValueSize(const SoapParamInfo& param);
size_t SoapItemSize(const SoapParamInfo& param);

// Types held as a string pointer: string and every type without a form of
// its own (the date family, URIs, names, tokens).
bool IsStringType(int type);

// Number of items of a fixed array (product of its dimensions).
int FixedArrayCount(const SoapParamInfo& param);

namespace ns {
constexpr char kEnvelope[] = "http://schemas.xmlsoap.org/soap/envelope/";
constexpr char kEncoding[] = "http://schemas.xmlsoap.org/soap/encoding/";
constexpr char kXsi[] = "http://www.w3.org/2001/XMLSchema-instance";
constexpr char kXsd[] = "http://www.w3.org/2001/XMLSchema";
constexpr char16_t kEnvelopeW[] = u"http://schemas.xmlsoap.org/soap/envelope/";
constexpr char16_t kEncodingW[] = u"http://schemas.xmlsoap.org/soap/encoding/";
constexpr char16_t kXsiW[] = u"http://www.w3.org/2001/XMLSchema-instance";
}  // namespace ns

}  // namespace soap
