#include "http_read_llhttp.h"

#include <llhttp.h>

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

namespace {
constexpr size_t kSegment = 1460;
}

struct LlhttpReader::Impl {
    llhttp_t parser{};
    llhttp_settings_t settings{};
    std::vector<std::pair<std::string_view, std::string_view>> headers;
    std::string body;
    bool done = false;

    static Impl& Of(llhttp_t* p) { return *static_cast<Impl*>(p->data); }
};

LlhttpReader::LlhttpReader() : m_impl(std::make_unique<Impl>()) {
    llhttp_settings_t& s = m_impl->settings;
    llhttp_settings_init(&s);
    s.on_header_field = [](llhttp_t* p, const char* at, size_t n) {
        Impl& self = Impl::Of(p);
        if (self.headers.empty() || !self.headers.back().second.empty()) self.headers.push_back({});
        self.headers.back().first = std::string_view(at, n);
        return 0;
    };
    s.on_header_value = [](llhttp_t* p, const char* at, size_t n) {
        Impl::Of(p).headers.back().second = std::string_view(at, n);
        return 0;
    };
    s.on_body = [](llhttp_t* p, const char* at, size_t n) {
        Impl::Of(p).body.append(at, n);
        return 0;
    };
    s.on_message_complete = [](llhttp_t* p) {
        Impl::Of(p).done = true;
        return 0;
    };
}

LlhttpReader::~LlhttpReader() = default;

size_t LlhttpReader::Read(const std::string& response) {
    Impl& m = *m_impl;
    llhttp_init(&m.parser, HTTP_RESPONSE, &m.settings);
    m.parser.data = &m;
    m.headers.clear();
    m.body.clear();
    m.done = false;
    for (size_t at = 0; at < response.size() && !m.done; at += kSegment) {
        const size_t n = std::min(kSegment, response.size() - at);
        if (llhttp_execute(&m.parser, response.data() + at, n) != HPE_OK) return 0;
    }
    return m.done ? m.body.size() : 0;
}
