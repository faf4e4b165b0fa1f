// HttpGet with Debian's libcurl, for the native service.
#include "rate_fetch.h"
#include "source_address.h"

#include <curl/curl.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <strings.h>


namespace ratesvc {

namespace {


struct Transfer {
    std::string body;
    CValidators validators;  // of the final response (after redirects)
    size_t nMaxBody = 0;
    bool bTooLarge = false;
    const std::atomic<bool>* pStop = nullptr;
    AddressKind origin = AddressKind::kPublic;  // where the transfer began
    bool bRefusedAddress = false;
};

// Every connection of a transfer, redirects included, is to an address its
// origin may lead to: a source on the Internet never to this computer or
// the local network, whatever a redirect or a name's resolution says.
curl_socket_t OnOpenSocket(void* user, curlsocktype, curl_sockaddr* address) {
    auto& t = *static_cast<Transfer*>(user);
    AddressKind target = AddressKind::kPublic;
    if (address->family == AF_INET)
        target = KindOfAddress(reinterpret_cast<const unsigned char*>(&reinterpret_cast<sockaddr_in*>(&address->addr)->sin_addr), 4);
    else if (address->family == AF_INET6)
        target = KindOfAddress(reinterpret_cast<const unsigned char*>(&reinterpret_cast<sockaddr_in6*>(&address->addr)->sin6_addr), 16);
    if (!MayConnect(t.origin, target)) {
        t.bRefusedAddress = true;
        return CURL_SOCKET_BAD;
    }
    return socket(address->family, address->socktype, address->protocol);
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto& t = *static_cast<Transfer*>(user);
    const size_t n = size * count;
    if (t.body.size() + n > t.nMaxBody) {
        t.bTooLarge = true;
        return 0;  // makes curl end the transfer with an error
    }
    t.body.append(data, n);
    return n;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    const size_t n = size * count;
    static_cast<Transfer*>(user)->validators.OnHeaderLine(std::string_view(data, n));
    return n;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Transfer*>(user)->pStop->load() ? 1 : 0;
}

struct CurlDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct SlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

// Adds a header line to the list; false when out of memory.
bool Append(std::unique_ptr<curl_slist, SlistDeleter>& list, const std::string& line) {
    curl_slist* grown = curl_slist_append(list.get(), line.c_str());
    if (!grown) return false;
    list.release();
    list.reset(grown);
    return true;
}

}  // namespace

bool HttpGet(const CHttpRequest& request, const std::atomic<bool>& stop, CHttpAnswer& answer, std::string& error) {
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) {
        error = "cannot start a transfer";
        return false;
    }
    std::unique_ptr<curl_slist, SlistDeleter> headers;
    if ((!request.strIfNoneMatch.empty() && !Append(headers, "If-None-Match: " + request.strIfNoneMatch)) ||
        (!request.strIfModifiedSince.empty() && !Append(headers, "If-Modified-Since: " + request.strIfModifiedSince))) {
        error = "out of memory";
        return false;
    }

    Transfer t;
    t.pStop = &stop;
    t.origin = KindOfUrlHost(request.strUrl);
    t.nMaxBody = request.nMaxBody;
    char curlError[CURL_ERROR_SIZE] = "";
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, request.strUrl.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    // A source reached over TLS stays on TLS: a redirect to plain http would
    // let anyone on the path hand the service its rates.
    const bool tls = strncasecmp(request.strUrl.c_str(), "https:", 6) == 0;
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, tls ? "https" : "http,https");
    if (!request.strCaFile.empty()) curl_easy_setopt(c, CURLOPT_CAINFO, request.strCaFile.c_str());
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, request.nMaxRedirects);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, static_cast<long>(request.connectTimeout.count()));
    curl_easy_setopt(c, CURLOPT_TIMEOUT, static_cast<long>(request.deadline.count()));
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_ACCEPT_ENCODING, "");  // whatever curl can decode
    curl_easy_setopt(c, CURLOPT_USERAGENT, request.strUserAgent.c_str());
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, curlError);
    curl_easy_setopt(c, CURLOPT_OPENSOCKETFUNCTION, OnOpenSocket);
    curl_easy_setopt(c, CURLOPT_OPENSOCKETDATA, &t);

    const CURLcode rc = curl_easy_perform(c);
    if (rc != CURLE_OK) {
        if (t.bTooLarge) error = "the answer is larger than " + std::to_string(request.nMaxBody) + " bytes";
        else if (t.bRefusedAddress) error = "led from the Internet to this computer or the local network; refused";
        else error = *curlError ? curlError : curl_easy_strerror(rc);
        return false;
    }
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &answer.nStatus);
    answer.strBody = std::move(t.body);
    answer.validators = std::move(t.validators);
    return true;
}


}  // namespace ratesvc
