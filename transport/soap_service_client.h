// The shared body of a SOAP service client: the network half
// (CSoapHttpClient) joined with the XML reader, the response parser and the
// fault record, and the sequence of one call that both rate clients run.
#pragma once

#include <memory>

#include "transport/connection.h"
#include "transport/soap_fault.h"
#include "transport/soap_http_client.h"
#include "transport/soap_response_parser.h"
#include "transport/soap_tables.h"
#include "transport/xml_reader.h"

namespace soap {

class CSoapServiceClient : private ISoapFaultParser {
public:
    // newReader makes the reader at the first call (after the caller has
    // set up what the platform's needs, such as COM); it is kept for the
    // life of the client.
    CSoapServiceClient(const char* endpointUrl, std::unique_ptr<IConnection> connection, XmlReaderFactory newReader);
    ~CSoapServiceClient() override;
    CSoapServiceClient(const CSoapServiceClient&) = delete;
    CSoapServiceClient& operator=(const CSoapServiceClient&) = delete;

    // One call of op. block is the operation's zeroed record holding the
    // in-values; on success it holds the out-values too, which the caller
    // copies and then releases with ReleaseReceivedValues. On failure
    // ResultCode() names the step and block holds no received value.
    // actionLine is the whole SOAPAction header line with its CR LF.
    Status Call(const SoapOperationInfo& op, void* block, const char* actionLine,
                const SoapParamInfo* headers = nullptr, void* headerHolder = nullptr);

    // The client's reader, created on first use.
    Status GetClientReader(IXmlReader** reader);

    SoapClientError ResultCode() const { return m_http.ResultCode(); }
    const SoapFaultInfo& FaultInfo() const { return m_fault; }
    CSoapHttpClient& Http() { return m_http; }

private:
    bool ParseFault(const char* data, size_t len) override;
    Status RunCall(const SoapOperationInfo& op, void* block, const char* actionLine,
                   const SoapParamInfo* headers, void* headerHolder);

    // Declared first, destroyed last: the reader goes before the connection.
    CSoapHttpClient m_http;
    SoapFaultInfo m_fault;
    CSoapResponseParser m_parser;
    XmlReaderFactory m_newReader;
    std::unique_ptr<IXmlReader> m_reader;
};

}  // namespace soap
