#include "transport/soap_tables.h"

namespace soap {

namespace {

constexpr const char* kXsdTypeNames[kTypeCount] = {
    "string", "boolean", "float", "double", "decimal", "duration", "hexBinary",
    "base64Binary", "anyURI", "ID", "IDREF", "ENTITY", "NOTATION", "QName",
    "normalizedString", "token", "language", "IDREFS", "ENTITIES", "NMTOKEN",
    "NMTOKENS", "Name", "NCName", "integer", "nonPositiveInteger",
    "negativeInteger", "long", "int", "short", "byte", "nonNegativeInteger",
    "unsignedLong", "unsignedInt", "unsignedShort", "unsignedByte",
    "positiveInteger", "dateTime", "time", "date", "gMonth", "gYearMonth",
    "gYear", "gMonthDay", "gDay",
};

size_t ItemSize(const SoapParamInfo& param) {
    switch (param.nType) {
    case kTypeTable:
        if (param.pStruct) return param.pStruct->cbSize;
        return sizeof(int32_t);  // enumeration
    case kTypeBoolean:
    case kTypeByte:
    case kTypeUnsignedByte:
        return 1;
    case kTypeShort:
    case kTypeUnsignedShort:
        return 2;
    case kTypeFloat:
    case kTypeInt:
    case kTypeUnsignedInt:
        return 4;
    case kTypeDouble:
    case kTypeDecimal:
        return sizeof(double);
    case kTypeInteger:
    case kTypeNonPositiveInteger:
    case kTypeNegativeInteger:
    case kTypeLong:
    case kTypeNonNegativeInteger:
    case kTypeUnsignedLong:
    case kTypePositiveInteger:
        return 8;
    case kTypeHexBinary:
    case kTypeBase64Binary:
        return sizeof(SoapBinary);
    default:
        return sizeof(SoapStringPtr);  // every other type travels as text
    }
}

}  // namespace

const char* XsdTypeName(int type) {
    return type >= 0 && type < kTypeCount ? kXsdTypeNames[type] : nullptr;
}

bool IsStringType(int type) {
    switch (type) {
    case kTypeBoolean: case kTypeFloat: case kTypeDouble: case kTypeDecimal:
    case kTypeHexBinary: case kTypeBase64Binary: case kTypeInteger:
    case kTypeNonPositiveInteger: case kTypeNegativeInteger: case kTypeLong: case kTypeInt:
    case kTypeShort: case kTypeByte: case kTypeNonNegativeInteger: case kTypeUnsignedLong:
    case kTypeUnsignedInt: case kTypeUnsignedShort: case kTypeUnsignedByte:
    case kTypePositiveInteger:
        return false;
    default:
        return type >= 0 && type < kTypeCount;
    }
}

int FixedArrayCount(const SoapParamInfo& param) {
    if (!param.pDims || param.pDims[0] <= 0) return 0;
    long long n = 1;
    for (const int* d = param.pDims; *d > 0; ++d) {
        n *= *d;
        if (n > (1 << 24)) return 0;  // tables are static; a huge one is a bug
    }
    return static_cast<int>(n);
}

size_t SoapValueSize(const SoapParamInfo& param) {
    if (param.dwFlags & kParamDynArray) return sizeof(SoapArray);
    if (param.dwFlags & kParamFixedArray)
        return ItemSize(param) * static_cast<size_t>(FixedArrayCount(param));
    return ItemSize(param);
}

size_t SoapItemSize(const SoapParamInfo& param) { return ItemSize(param); }

}  // namespace soap
