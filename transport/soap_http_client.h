// The network side of a service client: posts the SOAP envelope to the
// endpoint and judges the HTTP answer into a result code. Reading the body
// as a SOAP response or fault belongs to the SOAP reader; a status-500 body
// goes to the fault parser when one is installed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "transport/connection.h"
#include "transport/http_client.h"
#include "transport/http_url.h"
#include "transport/soap_result.h"

class ISoapFaultParser {
public:
    virtual ~ISoapFaultParser() = default;
    // Reads a status-500 body as a SOAP fault; false when it is not one.
    virtual bool ParseFault(const char* data, size_t len) = 0;
};

class CSoapHttpClient {
public:
    static constexpr uint32_t kDefaultTimeout = 10000;

    // An endpoint that cannot be parsed leaves the client without a host:
    // every call then fails with SOAPCLIENT_SEND_ERROR.
    CSoapHttpClient(const char* endpointUrl, std::unique_ptr<IConnection> connection);
    virtual ~CSoapHttpClient();

    // actionLine: the whole SOAPAction header line including its CR LF.
    // Posts RequestText(); kStatusOk on success, else kStatusFail with the
    // reason in ResultCode().
    soap::Status PostSoapRequest(const char* actionLine);

    // The envelope to post; the request writer fills it.
    std::string& RequestText() { return m_requestText; }
    // Milliseconds for every network wait; 0 means kDefaultTimeout.
    void SetTimeout(uint32_t ms) { m_timeout = ms; }
    void SetFaultParser(ISoapFaultParser* parser) { m_faultParser = parser; }

    SoapClientError ResultCode() const { return m_result; }
    void SetResultCode(SoapClientError code) { m_result = code; }

    // The body of a status-200 answer, inside the HTTP client's buffer;
    // empty otherwise. Valid until the next call.
    const char* ResponseBody() const { return m_body; }
    size_t ResponseBodyLength() const { return m_bodyLength; }

    const CHttpUrl& EndpointUrl() const { return m_url; }
    CHttpClient& Http() { return m_http; }

private:
    soap::Status Post(const char* actionLine);

    CHttpUrl m_url;
    std::string m_requestText;
    std::string m_extraHeaders;
    uint32_t m_timeout = 0;
    std::unique_ptr<IConnection> m_connection;
    CHttpClient m_http;
    ISoapFaultParser* m_faultParser = nullptr;
    SoapClientError m_result = SOAPCLIENT_SUCCESS;
    const char* m_body = nullptr;
    size_t m_bodyLength = 0;
};
