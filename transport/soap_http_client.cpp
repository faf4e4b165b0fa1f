#include "transport/soap_http_client.h"

#include <cstring>
#include <string_view>

CSoapHttpClient::CSoapHttpClient(const char* endpointUrl, std::unique_ptr<IConnection> connection)
    : m_connection(std::move(connection)), m_http(*m_connection) {
    CHttpUrl parsed;
    // On failure the URL keeps its empty host and calls fail later.
    if (endpointUrl && parsed.SetUrl(endpointUrl, std::strlen(endpointUrl))) m_url = parsed;
}

CSoapHttpClient::~CSoapHttpClient() = default;

soap::Status CSoapHttpClient::PostSoapRequest(const char* actionLine) {
    m_body = nullptr;
    m_bodyLength = 0;
    try {
        return Post(actionLine);
    } catch (...) {
        m_result = SOAPCLIENT_SEND_ERROR;
        return soap::kStatusFail;
    }
}

soap::Status CSoapHttpClient::Post(const char* actionLine) {
    m_result = SOAPCLIENT_SUCCESS;
    // A client posts the same action every time: build its lines once.
    static constexpr char kAccept[] = "Accept: text/xml\r\n";
    const std::string_view action = actionLine ? actionLine : "";
    if (m_extraHeaders.size() != action.size() + sizeof(kAccept) - 1 ||
        m_extraHeaders.compare(0, action.size(), action) != 0) {
        m_extraHeaders.assign(action);
        m_extraHeaders += kAccept;
    }

    HttpRequestOptions options;
    options.szExtraHeaders = m_extraHeaders.c_str();
    options.szMethod = "POST";
    options.szContentType = "text/xml; charset=utf-8";
    options.nContentLength = static_cast<uint32_t>(m_requestText.size());
    options.pBody = m_requestText.data();
    options.dwFlags = kHttpFollowRedirects | kHttpCheckStatus | kHttpSendInBlocks;
    options.dwTimeout = m_timeout ? m_timeout : kDefaultTimeout;
    options.nSendBlockSize = 4096;
    options.nReadBlockSize = 4096;
    options.nPort = m_url.Port();

    if (m_http.PerformRequest(&m_url, &options)) {
        switch (m_http.StatusCode()) {
        case 200:
            if (m_http.BodyLength() == 0) {
                m_result = SOAPCLIENT_READ_ERROR;
                return soap::kStatusFail;
            }
            m_body = m_http.BodyData();
            m_bodyLength = m_http.BodyLength();
            return soap::kStatusOk;
        case 202:
            return soap::kStatusOk;
        default:
            m_result = SOAPCLIENT_SERVER_ERROR;
            return soap::kStatusFail;
        }
    }
    if (m_http.StatusCode() == 500) {
        m_result = SOAPCLIENT_FAULT;
        if (m_http.BodyLength() != 0 && m_faultParser &&
            !m_faultParser->ParseFault(m_http.BodyData(), m_http.BodyLength()))
            m_result = SOAPCLIENT_PARSEFAULT_ERROR;
        return soap::kStatusFail;
    }
    m_result = m_connection->LastError() == kErrorForeignPeer ? SOAPCLIENT_FOREIGN_SERVICE : SOAPCLIENT_SEND_ERROR;
    return soap::kStatusFail;
}
