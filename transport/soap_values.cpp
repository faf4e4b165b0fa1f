#include "transport/soap_values.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "transport/soap_string.h"
#include "transport/soap_value_text.h"

namespace soap {

namespace {

template <typename T>
void Store(unsigned char* slot, T value) {
    std::memcpy(slot, &value, sizeof value);
}

template <typename T>
T Load(const unsigned char* slot) {
    T v;
    std::memcpy(&v, slot, sizeof v);
    return v;
}

template <typename T>
bool StoreSigned(std::u16string_view text, int64_t min, int64_t max, unsigned char* slot) {
    int64_t v;
    if (!ParseSigned(text, min, max, &v)) return false;
    Store(slot, static_cast<T>(v));
    return true;
}

template <typename T>
bool StoreUnsigned(std::u16string_view text, uint64_t max, unsigned char* slot) {
    uint64_t v;
    if (!ParseUnsigned(text, max, &v)) return false;
    Store(slot, static_cast<T>(v));
    return true;
}

bool StoreEnum(const SoapEnumInfo& table, std::u16string_view text, unsigned char* slot) {
    const uint32_t hash = NameHash(text);
    for (const SoapEnumEntry* e = table.pEntries; e && e->nHash; ++e) {
        if (e->nHash == hash && static_cast<size_t>(e->cchName) == text.size() &&
            text == std::u16string_view(e->wszName, text.size())) {
            Store(slot, static_cast<int32_t>(e->nValue));
            return true;
        }
    }
    return false;
}

}  // namespace

SoapParamInfo ArrayItemInfo(const SoapParamInfo& param) {
    SoapParamInfo item = param;
    item.dwFlags &= ~(kParamDynArray | kParamFixedArray);
    return item;
}

bool StoreText(const SoapParamInfo& p, std::u16string_view text, unsigned char* slot) {
    switch (p.nType) {
    case kTypeTable:
        return p.pEnum && !p.pStruct && StoreEnum(*p.pEnum, text, slot);
    case kTypeBoolean: {
        bool b;
        if (!ParseBoolean(text, &b)) return false;
        Store<uint8_t>(slot, b ? 1 : 0);
        return true;
    }
    case kTypeDouble:
    case kTypeDecimal: {
        double d;
        if (!ParseDouble(text, &d)) return false;
        Store(slot, d);
        return true;
    }
    case kTypeFloat: {
        double d;
        if (!ParseDouble(text, &d)) return false;
        // Narrowing is not range-checked: too large becomes infinity (spelled
        // out, since the plain conversion is undefined for such values).
        float f = d > FLT_MAX ? HUGE_VALF : d < -FLT_MAX ? -HUGE_VALF : static_cast<float>(d);
        Store(slot, f);
        return true;
    }
    case kTypeInteger:
    case kTypeLong: return StoreSigned<int64_t>(text, INT64_MIN, INT64_MAX, slot);
    case kTypeNonPositiveInteger: return StoreSigned<int64_t>(text, INT64_MIN, 0, slot);
    case kTypeNegativeInteger: return StoreSigned<int64_t>(text, INT64_MIN, -1, slot);
    case kTypeNonNegativeInteger: return StoreSigned<int64_t>(text, 0, INT64_MAX, slot);
    case kTypePositiveInteger: return StoreSigned<int64_t>(text, 1, INT64_MAX, slot);
    case kTypeInt: return StoreSigned<int32_t>(text, INT32_MIN, INT32_MAX, slot);
    case kTypeShort: return StoreSigned<int16_t>(text, INT16_MIN, INT16_MAX, slot);
    case kTypeByte: return StoreSigned<int8_t>(text, INT8_MIN, INT8_MAX, slot);
    case kTypeUnsignedLong: return StoreUnsigned<uint64_t>(text, UINT64_MAX, slot);
    case kTypeUnsignedInt: return StoreUnsigned<uint32_t>(text, UINT32_MAX, slot);
    case kTypeUnsignedShort: return StoreUnsigned<uint16_t>(text, UINT16_MAX, slot);
    case kTypeUnsignedByte: return StoreUnsigned<uint8_t>(text, UINT8_MAX, slot);
    case kTypeHexBinary:
    case kTypeBase64Binary: {
        SoapBinary b{};
        bool ok = p.nType == kTypeHexBinary ? ParseHexBinary(text, &b) : ParseBase64Binary(text, &b);
        if (!ok) return false;
        std::free(Load<SoapBinary>(slot).pData);
        Store(slot, b);
        return true;
    }
    default: {
        if (!IsStringType(p.nType)) return false;
        char16_t* s = AllocSoapString(text);
        if (!s) return false;
        FreeSoapString(Load<SoapStringPtr>(slot));
        Store(slot, s);
        return true;
    }
    }
}

void ReleaseValue(const SoapParamInfo& p, unsigned char* slot) {
    if (p.dwFlags & (kParamDynArray | kParamFixedArray)) {
        const SoapParamInfo item = ArrayItemInfo(p);
        const size_t size = SoapItemSize(item);
        unsigned char* items = slot;
        int count = FixedArrayCount(p);
        SoapArray a{};
        if (p.dwFlags & kParamDynArray) {
            a = Load<SoapArray>(slot);
            items = static_cast<unsigned char*>(a.pItems);
            count = items ? a.nCount : 0;
        }
        for (int i = 0; i < count; ++i) ReleaseValue(item, items + size * static_cast<size_t>(i));
        if (p.dwFlags & kParamDynArray) {
            std::free(a.pItems);
            Store(slot, SoapArray{});
        }
        return;
    }
    if (p.nType == kTypeTable) {
        if (p.pStruct) {
            for (const SoapParamInfo* f = p.pStruct->pFields; f && f->nHash; ++f)
                ReleaseValue(*f, slot + f->nOffset);
        }
        return;
    }
    if (p.nType == kTypeHexBinary || p.nType == kTypeBase64Binary) {
        std::free(Load<SoapBinary>(slot).pData);
        Store(slot, SoapBinary{});
    } else if (IsStringType(p.nType)) {
        FreeSoapString(Load<SoapStringPtr>(slot));
        Store<SoapStringPtr>(slot, nullptr);
    }
}

void ReleaseReceivedValues(const SoapParamInfo* params, unsigned char* base) {
    if (!base) return;
    for (const SoapParamInfo* p = params; p && p->nHash; ++p)
        if (IsReceived(p->dwFlags)) ReleaseValue(*p, base + p->nOffset);
}

}  // namespace soap
