#include "transport/http_request.h"

#include <cstdio>

void BuildRequestText(const char* method, const CHttpUrl& url, uint32_t contentLength,
                      const char* contentType, const char* extraHeaders, std::string* out) {
    char number[16];
    std::string& text = *out;
    text.clear();
    text += method;
    text += ' ';
    text += url.Path();
    text += url.Extra();
    text += " HTTP/1.1\r\n";
    if (contentLength != 0) {
        std::snprintf(number, sizeof number, "%u", static_cast<unsigned>(contentLength));
        text += "Content-Length: ";
        text += number;
        text += "\r\n";
    }
    if (contentType && *contentType) {
        text += "Content-Type: ";
        text += contentType;
        text += "\r\n";
    }
    if (extraHeaders) text += extraHeaders;
    text += "Host: ";
    text += url.Host();
    if (url.Port() != 80) {
        std::snprintf(number, sizeof number, ":%u", static_cast<unsigned>(url.Port()));
        text += number;
    }
    text += "\r\n";
    text += "User-Agent: Zelvane/2.0\r\n";
    text += "\r\n";
}
