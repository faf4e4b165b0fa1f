// The framing of a typical IIS/ASP.NET answer, shared by the HTTP benches:
// its header block around the given framing line(s), and a body in chunks.
#pragma once

#include <cstdio>
#include <string>

inline std::string IisHead(const std::string& framing) {
    return "HTTP/1.1 200 OK\r\n"
           "Cache-Control: private, max-age=0\r\n"
           "Content-Type: text/xml; charset=utf-8\r\n" +
           framing +
           "Server: Microsoft-IIS/10.0\r\n"
           "X-AspNet-Version: 4.0.30319\r\n"
           "X-Powered-By: ASP.NET\r\n"
           "Access-Control-Allow-Origin: *\r\n"
           "Set-Cookie: ASP.NET_SessionId=abcdefghijklmnopqrstuvwx; path=/; HttpOnly\r\n"
           "Date: Tue, 08 Dec 2026 04:32:49 GMT\r\n"
           "Strict-Transport-Security: max-age=31536000\r\n"
           "X-Request-Id: 7f3c2a90-0b1d\r\n"
           "\r\n";
}

inline std::string ChunkedBody(const std::string& body, size_t piece) {
    std::string out;
    char size[20];
    for (size_t at = 0; at < body.size(); at += piece) {
        const std::string part = body.substr(at, piece);
        std::snprintf(size, sizeof size, "%zx\r\n", part.size());
        out += size + part + "\r\n";
    }
    return out + "0\r\n\r\n";
}
