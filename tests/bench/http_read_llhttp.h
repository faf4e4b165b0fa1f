// llhttp (Node's current HTTP parser, built from the C sources Debian's
// node-llhttp ships) with the same duty as the other readers of
// bench_http_read. In a file of its own: llhttp.h and http_parser.h declare
// the same enumerators.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

class LlhttpReader {
public:
    LlhttpReader();
    ~LlhttpReader();
    // The body length when the response was read whole, else 0.
    size_t Read(const std::string& response);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
