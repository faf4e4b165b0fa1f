#include "transport/soap_service_client.h"

#include "transport/soap_values.h"
#include "transport/soap_writer.h"

namespace soap {

CSoapServiceClient::CSoapServiceClient(const char* endpointUrl, std::unique_ptr<IConnection> connection,
                                       XmlReaderFactory newReader)
    : m_http(endpointUrl, std::move(connection)), m_newReader(newReader) {
    m_http.SetFaultParser(this);
}

CSoapServiceClient::~CSoapServiceClient() {
    if (m_reader) m_reader->SetContentHandler(nullptr);
    m_reader.reset();
}

Status CSoapServiceClient::GetClientReader(IXmlReader** reader) {
    if (!reader) return kStatusPointer;
    if (!m_reader) {
        if (!m_newReader) return kStatusPointer;
        Status s = m_newReader(&m_reader);
        if (!Succeeded(s)) return s;
    }
    *reader = m_reader.get();
    return kStatusOk;
}

bool CSoapServiceClient::ParseFault(const char* data, size_t len) {
    // A call gets this far only with the client's reader made.
    IXmlReader* reader = nullptr;
    return Succeeded(GetClientReader(&reader)) && Succeeded(soap::ParseFault(data, len, reader, m_fault));
}

Status CSoapServiceClient::Call(const SoapOperationInfo& op, void* block, const char* actionLine,
                                const SoapParamInfo* headers, void* headerHolder) {
    Status s;
    try {
        s = RunCall(op, block, actionLine, headers, headerHolder);
    } catch (...) {
        // Each step catches its own failures; this is the transport's last
        // guard, so that nothing escapes to the dialog code.
        if (m_http.ResultCode() == SOAPCLIENT_SUCCESS) m_http.SetResultCode(SOAPCLIENT_GENERATE_ERROR);
        ReleaseReceivedValues(op.pParams, static_cast<unsigned char*>(block));
        s = kStatusFail;
    }
    // In every case: no parse state, no block under way.
    m_parser.EndCall();
    return s;
}

Status CSoapServiceClient::RunCall(const SoapOperationInfo& op, void* block,
                                   const char* actionLine, const SoapParamInfo* headers,
                                   void* headerHolder) {
    IXmlReader* reader = nullptr;
    Status s = GetClientReader(&reader);
    if (Succeeded(s)) s = reader->SetContentHandler(&m_parser);
    if (!Succeeded(s)) {
        m_http.SetResultCode(SOAPCLIENT_INITIALIZE_ERROR);
        return s;
    }

    m_http.RequestText().clear();
    m_fault.Clear();
    m_http.SetResultCode(SOAPCLIENT_SUCCESS);

    s = m_parser.BeginCall(&op, block, headers, headerHolder);
    if (!Succeeded(s)) {
        m_http.SetResultCode(SOAPCLIENT_OUTOFMEMORY);
        return s;
    }

    CStringOutputStream out(m_http.RequestText());
    s = GenerateRequest(m_parser.CurrentOperation(), m_parser.CurrentBlock(), out, headers,
                        headerHolder);
    if (!Succeeded(s)) {
        m_http.SetResultCode(SOAPCLIENT_GENERATE_ERROR);
        return s;
    }

    // Sets its own result code, among them the fault codes (ParseFault above).
    s = m_http.PostSoapRequest(actionLine);
    if (!Succeeded(s)) return s;

    // The body stays in the HTTP client's buffer; a 202 answer has none,
    // and an empty document does not parse.
    auto* values = static_cast<unsigned char*>(block);
    ReleaseReceivedValues(op.pParams, values);
    s = m_parser.ParseResponse(*reader, m_http.ResponseBody() ? m_http.ResponseBody() : "",
                               m_http.ResponseBodyLength());
    if (!Succeeded(s)) {
        m_http.SetResultCode(SOAPCLIENT_PARSE_ERROR);
        return s;
    }
    return kStatusOk;
}

}  // namespace soap
