// Reads a SOAP 1.1 response body into the out-values of the operation under
// way, driven by the events of the platform XML reader and by the same static
// tables that wrote the request.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "transport/soap_tables.h"
#include "transport/xml_reader.h"

namespace soap {

class CSoapResponseParser final : public IXmlContentHandler {
public:
    // Bounds on what a response may make the parser hold.
    static constexpr int kMaxDepth = 64;
    static constexpr size_t kMaxTextUnits = size_t{1} << 20;
    static constexpr int kMaxArrayItems = 1 << 20;
    static constexpr size_t kMaxPendingRefs = 64;

    CSoapResponseParser();
    ~CSoapResponseParser();
    CSoapResponseParser(const CSoapResponseParser&) = delete;
    CSoapResponseParser& operator=(const CSoapResponseParser&) = delete;

    // Makes block the parameter block under way and pushes the first parse
    // state: the header table, values held in headerBlock.
    Status BeginCall(const SoapOperationInfo* op, void* block,
                     const SoapParamInfo* headers = nullptr, void* headerBlock = nullptr);
    const SoapOperationInfo* CurrentOperation() const { return m_op; }
    void* CurrentBlock() const { return m_block; }

    // Fails when the reader fails or any handler rejected the document; the
    // values already received are then released.
    Status ParseResponse(IXmlReader& reader, const char* data, size_t len);

    // Drops the parse-state stack and the pending references, clears the
    // block pointers. The block's values stay with the caller.
    void EndCall();

    bool StartPrefixMapping(XmlText prefix, XmlText uri) override;
    bool StartElement(XmlText uri, XmlText localName, XmlText qName,
                      const IXmlAttributes& attributes) override;
    bool EndElement(XmlText uri, XmlText localName, XmlText qName) override;
    bool Characters(XmlText text) override;

private:
    enum DocState { kBeforeEnvelope = 0, kInEnvelope = 1, kInHeader = 2, kBodyStart = 3,
                    kInBody = 4, kAfterHeader = 7 };
    enum StateKind : uint8_t { kStruct, kHeaders, kValue, kArray };

    struct ParseState {
        StateKind kind = kValue;
        bool bOperation = false;
        bool bTextReceived = false;
        int nDepth = 0;
        unsigned char* pValue = nullptr;
        const SoapParamInfo* pFields = nullptr;  // kStruct, kHeaders
        SoapParamInfo param{};                   // kValue: the value; kArray: the item
        int nItems = 0;
        int nCapacity = 0;
        bool bVarying = false;  // the slot holds a SoapArray, not the items
        bool bGrows = false;    // varying array without a declared size
        uint64_t seen = 0;    // bit per field of a structure
    };
    struct PendingRef {
        std::u16string id;
        SoapParamInfo param;
        unsigned char* pValue;
    };

    bool Fail();
    void Skip() { m_nSkipDepth = m_nDepth; }
    bool Push(const ParseState& state);
    bool StartStructural(XmlText uri, XmlText localName);
    bool StartHeaderEntry(XmlText localName, const IXmlAttributes& attributes);
    bool StartParameter(XmlText localName, const IXmlAttributes& attributes);
    bool StartArrayItem(const IXmlAttributes& attributes);
    bool PushParamState(const SoapParamInfo& param, unsigned char* slot,
                        const IXmlAttributes& attributes);
    bool PushStruct(const SoapParamInfo* fields, unsigned char* base, bool operation);
    bool CloseTop();
    bool IsNil(const IXmlAttributes& attributes) const;
    bool RequiredSeen(const ParseState& s) const;
    void Reset();

    const SoapOperationInfo* m_op = nullptr;
    void* m_block = nullptr;
    const SoapParamInfo* m_headers = nullptr;
    void* m_headerBlock = nullptr;

    int m_nDocState = kBeforeEnvelope;
    int m_nDepth = 0;
    int m_nSkipDepth = 0;  // > 0: inside an element skipped with its content
    bool m_bFailed = false;
    bool m_bDone = false;  // the operation's wrapper closed complete
    std::vector<ParseState> m_stack;
    std::vector<PendingRef> m_pending;
    std::u16string m_text;  // text of the open simple value, pieces joined
};

}  // namespace soap
