#include "transport/soap_writer.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string_view>

#include "transport/soap_string.h"
#include "transport/soap_value_text.h"
#include "transport/xml_escape.h"

namespace soap {

Status CStringOutputStream::Append(const char* data, size_t len) {
    try {
        m_text.append(data, len);
    } catch (const std::bad_alloc&) {
        return kStatusOutOfMemory;
    } catch (const std::length_error&) {
        return kStatusOutOfMemory;
    }
    return kStatusOk;
}

namespace {

template <typename T>
T Load(const unsigned char* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

class CRequestWriter {
public:
    CRequestWriter(const SoapOperationInfo& op, ISoapOutputStream& out) : m_op(op), m_out(out) {}

    Status Write(const void* block, const SoapParamInfo* headers, const void* headerBlock);

private:
    bool Put(std::string_view text) {
        if (Failed()) return false;
        m_status = m_out.Append(text.data(), text.size());
        return !Failed();
    }
    bool Failed() const { return !Succeeded(m_status); }
    bool Fail(Status s) {
        if (!Failed()) m_status = s;
        return false;
    }

    bool WriteParams(const SoapParamInfo* params, const unsigned char* base, bool structFields);
    bool WriteParam(const SoapParamInfo& p, const unsigned char* value);
    bool WriteArray(const SoapParamInfo& p, const unsigned char* value);
    bool WriteValue(const SoapParamInfo& p, const unsigned char* value);
    bool IsNil(const SoapParamInfo& p, const unsigned char* value) const;
    const char* TypeName(const SoapParamInfo& p) const;

    const SoapOperationInfo& m_op;
    ISoapOutputStream& m_out;
    Status m_status = kStatusOk;
    std::string m_scratch;  // one value's text, reused
};

Status CRequestWriter::Write(const void* block, const SoapParamInfo* headers,
                             const void* headerBlock) {
    const bool rpc = IsRpcEncoded(m_op.dwFlags);
    const bool wrapper = !(m_op.dwFlags & kStyleNoWrapper);
    const std::string_view ns(m_op.szNamespace ? m_op.szNamespace : "");
    const std::string_view name(m_op.szRequestName, static_cast<size_t>(m_op.cchRequestName));

    Put("<soap:Envelope xmlns:soap=\"");
    Put(ns::kEnvelope);
    Put("\" xmlns:xsi=\"");
    Put(ns::kXsi);
    Put("\" xmlns:xsd=\"");
    Put(ns::kXsd);
    Put("\" xmlns:soapenc=\"");
    Put(ns::kEncoding);
    Put("\">");

    bool anyHeader = false;
    for (const SoapParamInfo* h = headers; h && h->nHash; ++h)
        if ((h->dwFlags & kParamIn) && !(h->dwFlags & kParamNoMarshal)) anyHeader = true;
    if (anyHeader) {
        if (rpc) {
            Put("<soap:Header>");
        } else {
            Put("<soap:Header xmlns=\"");
            Put(ns);
            Put("\">");
        }
        WriteParams(headers, static_cast<const unsigned char*>(headerBlock), false);
        Put("</soap:Header>");
    }

    if (rpc) {
        Put("<soap:Body soap:encodingStyle=\"");
        Put(ns::kEncoding);
        Put("\">");
    } else {
        Put("<soap:Body>");
    }
    if (wrapper) {
        Put(rpc ? "<snp:" : "<");
        Put(name);
        if (m_op.nKind == kKindOperation) {
            Put(rpc ? " xmlns:snp=\"" : " xmlns=\"");
            Put(ns);
            Put("\">");
        } else {
            Put(">");
        }
    }
    WriteParams(m_op.pParams, static_cast<const unsigned char*>(block), false);
    if (wrapper) {
        Put(rpc ? "</snp:" : "</");
        Put(name);
        Put(">");
    }
    Put("</soap:Body></soap:Envelope>");
    return m_status;
}

bool CRequestWriter::WriteParams(const SoapParamInfo* params, const unsigned char* base,
                                 bool structFields) {
    for (const SoapParamInfo* p = params; p && p->nHash; ++p) {
        if (p->dwFlags & kParamNoMarshal) continue;
        if (!structFields && !(p->dwFlags & kParamIn)) continue;
        if (!base) return Fail(kStatusPointer);
        if (!WriteParam(*p, base + p->nOffset)) return false;
    }
    return !Failed();
}

bool CRequestWriter::IsNil(const SoapParamInfo& p, const unsigned char* value) const {
    if (p.dwFlags & kParamDynArray) return Load<SoapArray>(value).pItems == nullptr;
    if (p.dwFlags & kParamFixedArray) return false;
    switch (p.nType) {
    case kTypeHexBinary:
    case kTypeBase64Binary: return Load<SoapBinary>(value).pData == nullptr;
    case kTypeTable: return false;
    default: return IsStringType(p.nType) && Load<SoapStringPtr>(value) == nullptr;
    }
}

bool CRequestWriter::WriteParam(const SoapParamInfo& p, const unsigned char* value) {
    const bool ownNs = p.szNamespace != nullptr;
    const std::string_view pname = (p.dwFlags & kParamReturn)
                                       ? std::string_view("return")
                                       : std::string_view(p.szName, static_cast<size_t>(p.cchName));
    Put("<");
    if (ownNs) Put("snp:");
    Put(pname);
    if (ownNs) {
        Put(" xmlns:snp=\"");
        Put(std::string_view(p.szNamespace, static_cast<size_t>(p.cchNamespace)));
        Put("\"");
    }
    if (p.dwFlags & kParamMustUnderstand) Put(" soap:mustUnderstand=\"1\"");
    if (!IsRpcEncoded(m_op.dwFlags) && !(m_op.dwFlags & kStyleWrapped) &&
        (m_op.dwFlags & kStyleNoWrapper)) {
        Put(" xmlns=\"");
        Put(m_op.szNamespace ? m_op.szNamespace : "");
        Put("\"");
    }
    if (IsNil(p, value)) return Put(" xsi:nil=\"1\"/>");
    if (p.dwFlags & (kParamDynArray | kParamFixedArray)) {
        if (!WriteArray(p, value)) return false;
    } else {
        Put(">");
        if (!WriteValue(p, value)) return false;
    }
    Put("</");
    if (ownNs) Put("snp:");
    Put(pname);
    return Put(">");
}

const char* CRequestWriter::TypeName(const SoapParamInfo& p) const {
    if (p.nType == kTypeTable) {
        if (p.pEnum) return p.pEnum->szName;
        if (p.pStruct) return p.pStruct->szName;
        return nullptr;
    }
    return XsdTypeName(p.nType);
}

bool CRequestWriter::WriteArray(const SoapParamInfo& p, const unsigned char* value) {
    const char* type = TypeName(p);
    if (!type) return Fail(kStatusFail);
    if (p.nType == kTypeTable) {
        const char* tns = p.pEnum ? p.pEnum->szNamespace : p.pStruct->szNamespace;
        Put(" xmlns:q1=\"");
        Put(tns ? tns : "");
        Put("\" soapenc:arrayType=\"q1:");
    } else {
        Put(" soapenc:arrayType=\"xsd:");
    }
    Put(type);
    Put("[");
    const unsigned char* items;
    int count;
    if (p.dwFlags & kParamDynArray) {
        SoapArray a = Load<SoapArray>(value);
        items = static_cast<const unsigned char*>(a.pItems);
        count = a.nCount < 0 ? 0 : a.nCount;
        Put(std::to_string(count));
    } else {
        items = value;
        count = FixedArrayCount(p);
        for (const int* d = p.pDims; d && *d > 0; ++d) {
            if (d != p.pDims) Put(", ");
            Put(std::to_string(*d));
        }
    }
    Put("]\">");
    SoapParamInfo item = p;
    item.dwFlags &= ~(kParamDynArray | kParamFixedArray);
    const size_t size = SoapItemSize(item);
    for (int i = 0; i < count && !Failed(); ++i) {
        const unsigned char* v = items + size * static_cast<size_t>(i);
        Put("<");
        Put(type);
        if (IsNil(item, v)) {
            Put(" xsi:nil=\"1\"></");
        } else {
            Put(">");
            if (!WriteValue(item, v)) return false;
            Put("</");
        }
        Put(type);
        Put(">");
    }
    return !Failed();
}

bool CRequestWriter::WriteValue(const SoapParamInfo& p, const unsigned char* v) {
    m_scratch.clear();
    switch (p.nType) {
    case kTypeTable:
        if (p.pStruct) return WriteParams(p.pStruct->pFields, v, true);
        if (!p.pEnum) return Fail(kStatusFail);
        {
            const int32_t n = Load<int32_t>(v);
            const SoapEnumEntry* entries = p.pEnum->pEntries;
            if (entries && n >= 0 && n < p.pEnum->cEntries && entries[n].nValue == n)
                return Put(std::string_view(entries[n].szName, static_cast<size_t>(entries[n].cchName)));
            for (const SoapEnumEntry* e = entries; e && e->nHash; ++e)
                if (e->nValue == n) return Put(std::string_view(e->szName, static_cast<size_t>(e->cchName)));
        }
        return Fail(kStatusFail);  // a value the enumeration does not name
    case kTypeBoolean: return Put(Load<uint8_t>(v) == 1 ? "true" : "false");
    case kTypeFloat: FormatDouble(static_cast<double>(Load<float>(v)), m_scratch); break;
    case kTypeDouble:
    case kTypeDecimal: FormatDouble(Load<double>(v), m_scratch); break;
    case kTypeHexBinary: {
        SoapBinary b = Load<SoapBinary>(v);
        FormatHexBinary(b.pData, b.nLength > 0 ? static_cast<size_t>(b.nLength) : 0, m_scratch);
        break;
    }
    case kTypeBase64Binary: {
        SoapBinary b = Load<SoapBinary>(v);
        FormatBase64Binary(b.pData, b.nLength > 0 ? static_cast<size_t>(b.nLength) : 0, m_scratch);
        break;
    }
    case kTypeInteger:
    case kTypeNonPositiveInteger:
    case kTypeNegativeInteger:
    case kTypeLong:
    case kTypeNonNegativeInteger:
    case kTypePositiveInteger: m_scratch = std::to_string(Load<int64_t>(v)); break;
    case kTypeUnsignedLong: m_scratch = std::to_string(Load<uint64_t>(v)); break;
    case kTypeInt: m_scratch = std::to_string(Load<int32_t>(v)); break;
    case kTypeShort: m_scratch = std::to_string(Load<int16_t>(v)); break;
    case kTypeByte: m_scratch = std::to_string(Load<int8_t>(v)); break;
    case kTypeUnsignedInt: m_scratch = std::to_string(Load<uint32_t>(v)); break;
    case kTypeUnsignedShort: m_scratch = std::to_string(Load<uint16_t>(v)); break;
    case kTypeUnsignedByte: m_scratch = std::to_string(Load<uint8_t>(v)); break;
    default:
        if (p.nType < 0 || p.nType >= kTypeCount) return Fail(kStatusFail);
        EscapeXmlText(SoapStringView(Load<SoapStringPtr>(v)), XmlEscapeMode::kElement, m_scratch);
        break;
    }
    return Put(m_scratch);
}

}  // namespace

Status GenerateRequest(const SoapOperationInfo* op, const void* block, ISoapOutputStream& out,
                       const SoapParamInfo* pHeaders, const void* pHeaderBlock) {
    if (!op) return kStatusInvalidArg;
    try {
        CRequestWriter writer(*op, out);
        return writer.Write(block, pHeaders, pHeaderBlock);
    } catch (const std::bad_alloc&) {
        return kStatusOutOfMemory;
    }
}

}  // namespace soap
