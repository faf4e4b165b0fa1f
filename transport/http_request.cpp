#include "transport/http_request.h"

namespace {

// Decimal text of n, without going through the C library's formatter.
void AppendNumber(std::string& text, unsigned n) {
    char digits[10];
    int i = 0;
    do {
        digits[i++] = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n);
    while (i) text += digits[--i];
}

}  // namespace

void BuildRequestText(const char* method, const CHttpUrl& url, uint32_t contentLength,
                      const char* contentType, const char* extraHeaders, std::string* out) {
    std::string& text = *out;
    text.clear();
    text += method;
    text += ' ';
    text += url.Path();
    text += url.Extra();
    text += " HTTP/1.1\r\n";
    if (contentLength != 0) {
        text += "Content-Length: ";
        AppendNumber(text, contentLength);
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
        text += ':';
        AppendNumber(text, url.Port());
    }
    text += "\r\n";
    text += "User-Agent: Zelvane/2.0\r\n";
    text += "\r\n";
}
