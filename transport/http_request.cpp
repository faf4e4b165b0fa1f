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

// The request line and the Host line are built from URL parts that may come
// from a hostile redirect. Whatever the parts hold, only the bytes of a
// request target reach the wire; every other byte goes out %-escaped, so no
// CR, LF, control byte or space can end the line early and smuggle further
// lines (or whole commands) to the peer.
bool IsTargetByte(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    switch (c) {
    case '-': case '.': case '_': case '~':                                  // unreserved
    case '!': case '$': case '&': case '\'': case '(': case ')': case '*':
    case '+': case ',': case ';': case '=':                                  // sub-delims
    case ':': case '@': case '/': case '?': case '%': case '#':
        return true;
    default:
        return false;
    }
}

void AppendEscaped(std::string& text, const std::string& part) {
    static const char kHex[] = "0123456789abcdef";
    for (char ch : part) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (IsTargetByte(c)) {
            text += ch;
        } else {
            text += '%';
            text += kHex[c >> 4];
            text += kHex[c & 15];
        }
    }
}

}  // namespace

void BuildRequestText(const char* method, const CHttpUrl& url, uint32_t contentLength,
                      const char* contentType, const char* extraHeaders, std::string* out) {
    std::string& text = *out;
    text.clear();
    text += method;
    text += ' ';
    AppendEscaped(text, url.Path());
    AppendEscaped(text, url.Extra());
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
    AppendEscaped(text, url.Host());
    if (url.Port() != 80) {
        text += ':';
        AppendNumber(text, url.Port());
    }
    text += "\r\n";
    text += "User-Agent: Zelvane/2.0\r\n";
    text += "\r\n";
}
