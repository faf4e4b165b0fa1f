#include "transport/soap_response_parser.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "transport/soap_value_text.h"
#include "transport/soap_values.h"

namespace soap {

namespace {

constexpr XmlText kEnvelopeNs(ns::kEnvelopeW);
constexpr XmlText kEncodingNs(ns::kEncodingW);
constexpr XmlText kXsiNs(ns::kXsiW);
// Lengths known at compile time: compared on every structural element.
constexpr XmlText kEnvelopeName(u"Envelope");
constexpr XmlText kHeaderName(u"Header");
constexpr XmlText kBodyName(u"Body");
constexpr int kMaxStructFields = 64;  // one bit each in ParseState::seen
constexpr int kFirstArrayCapacity = 10;

bool IsSpace(char16_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// soapenc:arrayType: "xsd:string[3]", "q1:T[2,3]", "[]". Returns the number
// of items, -1 for no size, -2 for a text that is not a usable size.
int ParseArraySize(XmlText text, int maxItems) {
    size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) ++i;
    size_t open = text.find(u'[', i);
    if (open == XmlText::npos) return -1;
    i = open + 1;
    long long product = -1;
    bool stop = false;
    while (i < text.size() && text[i] != u']') {
        while (i < text.size() && IsSpace(text[i])) ++i;
        bool negative = i < text.size() && text[i] == u'-';
        if (negative) ++i;
        long long d = 0;
        size_t digits = 0;
        for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i, ++digits) {
            d = d * 10 + (text[i] - u'0');
            if (d > maxItems) return -2;
        }
        while (i < text.size() && IsSpace(text[i])) ++i;
        if (!digits) return -2;
        if (i < text.size() && text[i] == u',') ++i;
        else if (i >= text.size() || text[i] != u']') return -2;
        if (stop) continue;
        if (negative || d == 0) {
            if (product < 0) product = 0;
            stop = true;
            continue;
        }
        product = product < 0 ? d : product * d;
        if (product > maxItems) return -2;
    }
    if (i >= text.size()) return -2;
    return static_cast<int>(product);  // "[]" leaves -1
}

bool MatchName(const SoapParamInfo& p, uint32_t hash, XmlText name) {
    return p.nHash == hash && static_cast<size_t>(p.cchName) == name.size() &&
           name == XmlText(p.wszName, name.size());
}

}  // namespace

CSoapResponseParser::CSoapResponseParser() {
    // Reserved once so that pushing never moves the states.
    m_stack.reserve(kMaxDepth + 2);
}

CSoapResponseParser::~CSoapResponseParser() = default;

bool CSoapResponseParser::Fail() {
    m_bFailed = true;
    return false;
}

void CSoapResponseParser::Reset() {
    m_nDocState = kBeforeEnvelope;
    m_nDepth = 0;
    m_nSkipDepth = 0;
    m_bFailed = false;
    m_bDone = false;
    m_pending.clear();
    m_text.clear();
}

Status CSoapResponseParser::BeginCall(const SoapOperationInfo* op, void* block,
                                      const SoapParamInfo* headers, void* headerBlock) {
    if (!op) return kStatusInvalidArg;
    EndCall();
    m_op = op;
    m_block = block;
    m_headers = headers;
    m_headerBlock = headerBlock;
    ParseState first;
    first.kind = kHeaders;
    first.pFields = headers;
    first.pValue = static_cast<unsigned char*>(headerBlock);
    first.nDepth = -1;
    if (!Push(first)) return kStatusOutOfMemory;
    return kStatusOk;
}

void CSoapResponseParser::EndCall() {
    m_stack.clear();
    m_pending.clear();
    m_text.clear();
    m_op = nullptr;
    m_block = nullptr;
    m_headers = nullptr;
    m_headerBlock = nullptr;
}

Status CSoapResponseParser::ParseResponse(IXmlReader& reader, const char* data, size_t len) {
    if (!m_op || m_stack.empty()) return kStatusInvalidArg;
    Reset();
    Status s = reader.SetContentHandler(this);
    if (Succeeded(s)) s = reader.Parse(data, len);
    if (Succeeded(s) && (m_bFailed || !m_bDone || !m_pending.empty())) s = kStatusFail;
    if (!Succeeded(s)) {
        ReleaseReceivedValues(m_op->pParams, static_cast<unsigned char*>(m_block));
        ReleaseReceivedValues(m_headers, static_cast<unsigned char*>(m_headerBlock));
    }
    m_stack.clear();
    m_pending.clear();
    return s;
}

bool CSoapResponseParser::Push(const ParseState& state) {
    if (m_stack.size() >= m_stack.capacity()) return Fail();
    m_stack.push_back(state);
    return true;
}

bool CSoapResponseParser::StartPrefixMapping(XmlText, XmlText) { return !m_bFailed; }

bool CSoapResponseParser::StartElement(XmlText uri, XmlText localName, XmlText,
                                       const IXmlAttributes& attributes) {
    if (m_bFailed) return false;
    if (++m_nDepth > kMaxDepth) return Fail();
    if (m_nSkipDepth) return true;
    switch (m_nDocState) {
    case kBeforeEnvelope:
    case kInEnvelope:
    case kAfterHeader:
        return StartStructural(uri, localName);
    case kInHeader:
        if (!m_stack.empty() && m_stack.back().kind == kHeaders &&
            m_stack.back().nDepth == m_nDepth - 1)
            return StartHeaderEntry(localName, attributes);
        return StartParameter(localName, attributes);
    case kBodyStart:
        // The body's first element is the wrapper, whatever its name.
        m_stack.clear();
        m_nDocState = kInBody;
        if (!PushStruct(m_op->pParams, static_cast<unsigned char*>(m_block), true)) return false;
        if (!(m_op->dwFlags & kStyleNoWrapper)) return true;
        m_stack.back().nDepth = m_nDepth - 1;  // closes with the Body
        return StartParameter(localName, attributes);
    default:
        return StartParameter(localName, attributes);
    }
}

bool CSoapResponseParser::StartStructural(XmlText uri, XmlText localName) {
    if (uri != kEnvelopeNs) {
        Skip();
        return true;
    }
    if (localName == kEnvelopeName) {
        if (m_nDocState != kBeforeEnvelope) return Fail();
        m_nDocState = kInEnvelope;
    } else if (localName == kHeaderName) {
        if (m_nDocState != kInEnvelope) return Fail();
        if (m_stack.empty() || m_stack.back().kind != kHeaders) return Fail();
        m_stack.back().nDepth = m_nDepth;
        m_nDocState = kInHeader;
    } else if (localName == kBodyName) {
        if (m_nDocState == kBeforeEnvelope) return Fail();
        m_nDocState = kBodyStart;
    } else {
        Skip();
    }
    return true;
}

bool CSoapResponseParser::StartHeaderEntry(XmlText localName, const IXmlAttributes& attributes) {
    const uint32_t hash = NameHash(localName);
    for (const SoapParamInfo* p = m_headers; p && p->nHash; ++p)
        if (MatchName(*p, hash, localName) && IsReceived(p->dwFlags))
            return StartParameter(localName, attributes);
    // An entry we do not know: harmless unless the sender insists.
    XmlText value;
    if (attributes.FindByName(kEnvelopeNs, u"mustUnderstand", &value)) {
        bool must = true;
        if (!ParseBoolean(value, &must) || must) return Fail();
    }
    Skip();
    return true;
}

bool CSoapResponseParser::IsNil(const IXmlAttributes& attributes) const {
    XmlText value;
    bool nil = false;
    return attributes.FindByName(kXsiNs, u"nil", &value) && ParseBoolean(value, &nil) && nil;
}

bool CSoapResponseParser::StartParameter(XmlText localName, const IXmlAttributes& attributes) {
    const bool rpc = IsRpcEncoded(m_op->dwFlags);
    XmlText id;
    if (rpc && !m_pending.empty() && attributes.FindByName(u"", u"id", &id)) {
        for (size_t i = 0; i < m_pending.size(); ++i) {
            if (m_pending[i].id != id) continue;
            PendingRef ref = std::move(m_pending[i]);
            m_pending.erase(m_pending.begin() + static_cast<std::ptrdiff_t>(i));
            return PushParamState(ref.param, ref.pValue, attributes);
        }
    }
    if (m_stack.empty()) {  // after the wrapper: nothing more is read
        Skip();
        return true;
    }
    ParseState& top = m_stack.back();
    if (top.kind == kArray) return StartArrayItem(attributes);
    if (top.kind == kValue) return Fail();  // a simple value has no child elements

    const uint32_t hash = NameHash(localName);
    int index = 0;
    const SoapParamInfo* match = nullptr;
    for (const SoapParamInfo* p = top.pFields; p && p->nHash; ++p, ++index) {
        if (MatchName(*p, hash, localName) && IsReceived(p->dwFlags)) {
            match = p;
            break;
        }
    }
    if (!match || index >= kMaxStructFields) return Fail();
    const uint64_t bit = uint64_t{1} << index;
    if (top.seen & bit) return Fail();
    top.seen |= bit;
    unsigned char* slot = top.pValue ? top.pValue + match->nOffset : nullptr;
    if (!slot) return Fail();

    if (IsNil(attributes)) {
        if (!(match->dwFlags & kParamNullable)) return Fail();
        Skip();
        return true;
    }
    XmlText href;
    if (rpc && attributes.FindByName(u"", u"href", &href)) {
        const bool compound = (match->dwFlags & (kParamDynArray | kParamFixedArray)) ||
                              (match->nType == kTypeTable && match->pStruct);
        if (!compound || m_pending.size() >= kMaxPendingRefs) return Fail();
        if (!href.empty() && href[0] == u'#') href.remove_prefix(1);
        try {
            m_pending.push_back(PendingRef{std::u16string(href), *match, slot});
        } catch (const std::bad_alloc&) {
            return Fail();
        }
        Skip();
        return true;
    }
    return PushParamState(*match, slot, attributes);
}

bool CSoapResponseParser::PushStruct(const SoapParamInfo* fields, unsigned char* base,
                                     bool operation) {
    int count = 0;
    for (const SoapParamInfo* p = fields; p && p->nHash; ++p) ++count;
    if (count > kMaxStructFields) return Fail();
    ParseState s;
    s.kind = kStruct;
    s.bOperation = operation;
    s.nDepth = m_nDepth;
    s.pValue = base;
    s.pFields = fields;
    return Push(s);
}

bool CSoapResponseParser::PushParamState(const SoapParamInfo& param, unsigned char* slot,
                                         const IXmlAttributes& attributes) {
    const bool dyn = (param.dwFlags & kParamDynArray) != 0;
    if (dyn || (param.dwFlags & kParamFixedArray)) {
        XmlText arrayType;
        int size = -1;
        if (attributes.FindByName(kEncodingNs, u"arrayType", &arrayType)) {
            size = ParseArraySize(arrayType, kMaxArrayItems);
            if (size == -2) return Fail();
        }
        ParseState s;
        s.kind = kArray;
        s.nDepth = m_nDepth;
        s.param = ArrayItemInfo(param);
        const size_t itemSize = SoapItemSize(s.param);
        if (!dyn) {
            const int declared = FixedArrayCount(param);
            if (size >= 0 && size != declared) return Fail();
            s.pValue = slot;
            s.nCapacity = declared;
            return Push(s);
        }
        if (size < 0) {
            if (IsRpcEncoded(param.dwFlags)) return Fail();
            size = kFirstArrayCapacity;
            s.bGrows = true;
        }
        ReleaseValue(param, slot);
        void* items = std::calloc(size ? static_cast<size_t>(size) : 1, itemSize);
        if (!items) return Fail();
        const SoapArray array{items, 0};
        std::memcpy(slot, &array, sizeof array);
        s.pValue = slot;
        s.bVarying = true;
        s.nCapacity = size;
        return Push(s);
    }
    if (param.nType == kTypeTable && param.pStruct)
        return PushStruct(param.pStruct->pFields, slot, false);
    if (param.nType == kTypeTable && !param.pEnum) return Fail();
    if (param.nType != kTypeTable && (param.nType < 0 || param.nType >= kTypeCount)) return Fail();
    ParseState s;
    s.kind = kValue;
    s.nDepth = m_nDepth;
    s.pValue = slot;
    s.param = param;
    m_text.clear();
    return Push(s);
}

bool CSoapResponseParser::StartArrayItem(const IXmlAttributes& attributes) {
    ParseState& array = m_stack.back();
    const size_t itemSize = SoapItemSize(array.param);
    SoapArray a{};
    if (array.bVarying) std::memcpy(&a, array.pValue, sizeof a);
    if (array.nItems >= array.nCapacity) {
        if (!array.bGrows || array.nCapacity >= kMaxArrayItems) return Fail();
        const int capacity = array.nCapacity * 2;
        void* grown = std::realloc(a.pItems, static_cast<size_t>(capacity) * itemSize);
        if (!grown) return Fail();
        std::memset(static_cast<unsigned char*>(grown) + static_cast<size_t>(array.nItems) * itemSize,
                    0, static_cast<size_t>(capacity - array.nItems) * itemSize);
        a.pItems = grown;
        array.nCapacity = capacity;
    }
    unsigned char* items = array.bVarying ? static_cast<unsigned char*>(a.pItems) : array.pValue;
    unsigned char* slot = items + static_cast<size_t>(array.nItems) * itemSize;
    ++array.nItems;
    if (array.bVarying) {
        a.nCount = array.nItems;  // counted at once so a failure releases the slot
        std::memcpy(array.pValue, &a, sizeof a);
    }
    if (IsNil(attributes)) {
        Skip();
        return true;
    }
    const SoapParamInfo item = array.param;  // Push may not move it, but keep a copy
    return PushParamState(item, slot, attributes);
}

bool CSoapResponseParser::RequiredSeen(const ParseState& s) const {
    int index = 0;
    for (const SoapParamInfo* p = s.pFields; p && p->nHash; ++p, ++index) {
        if (!IsReceived(p->dwFlags) || (p->dwFlags & (kParamNullable | kParamNoMarshal))) continue;
        if (!(s.seen & (uint64_t{1} << index))) return false;
    }
    return true;
}

bool CSoapResponseParser::CloseTop() {
    ParseState& top = m_stack.back();
    switch (top.kind) {
    case kValue:
        if (top.bTextReceived && !StoreText(top.param, m_text, top.pValue)) return Fail();
        m_text.clear();
        break;
    case kStruct:
        if (!RequiredSeen(top)) return Fail();
        if (top.bOperation) m_bDone = true;
        break;
    case kArray:
        if (top.bVarying) {
            // An array that declared its size must deliver all of it.
            if (!top.bGrows && top.nItems != top.nCapacity) return Fail();
        }
        break;
    case kHeaders:
        break;
    }
    m_stack.pop_back();
    return true;
}

bool CSoapResponseParser::EndElement(XmlText uri, XmlText localName, XmlText) {
    if (m_bFailed) return false;
    if (m_nSkipDepth) {
        if (m_nDepth == m_nSkipDepth) m_nSkipDepth = 0;
        --m_nDepth;
        return true;
    }
    if (m_nDocState == kInHeader && !m_stack.empty() && m_stack.back().kind == kHeaders &&
        m_stack.back().nDepth == m_nDepth) {
        if (uri != kEnvelopeNs || localName != kHeaderName) return Fail();
        m_stack.pop_back();
        m_nDocState = kAfterHeader;
    } else if (!m_stack.empty() && m_stack.back().nDepth == m_nDepth) {
        if (!CloseTop()) return false;
    }
    --m_nDepth;
    return true;
}

bool CSoapResponseParser::Characters(XmlText text) {
    if (m_bFailed) return false;
    if (m_nSkipDepth || m_stack.empty()) return true;
    ParseState& top = m_stack.back();
    if (top.kind != kValue || top.nDepth != m_nDepth) return true;
    if (m_text.size() + text.size() > kMaxTextUnits) return Fail();
    try {
        m_text.append(text.data(), text.size());
    } catch (const std::bad_alloc&) {
        return Fail();
    }
    top.bTextReceived = true;
    return true;
}

}  // namespace soap
