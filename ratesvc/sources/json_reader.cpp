#include "sources/json_reader.h"

#include <charconv>
#include <cmath>
#include <set>
#include <vector>

namespace ratesvc {

bool ReadJson(std::string_view body, nlohmann::json& out, std::string& why) {
    using nlohmann::json;
    std::vector<std::set<std::string>> keys;  // of each object open at the moment
    std::string fault;
    const json::parser_callback_t check = [&](int depth, json::parse_event_t event, json& parsed) {
        if (!fault.empty()) return false;
        if (depth > kMaxJsonDepth) {
            fault = "nested deeper than " + std::to_string(kMaxJsonDepth);
            return false;
        }
        switch (event) {
            case json::parse_event_t::object_start: keys.emplace_back(); break;
            case json::parse_event_t::object_end: if (!keys.empty()) keys.pop_back(); break;
            case json::parse_event_t::key:
                if (!keys.empty() && parsed.is_string() && !keys.back().insert(parsed.get_ref<const std::string&>()).second)
                    fault = "a key named twice";
                break;
            default: break;
        }
        return fault.empty();
    };
    out = json::parse(body.begin(), body.end(), check, false);
    if (!fault.empty()) {
        why = "not JSON of its kind (" + fault + ")";
        return false;
    }
    if (out.is_discarded()) {
        why = "not JSON";
        return false;
    }
    return true;
}

bool DecimalString(const nlohmann::json& value, double& out) {
    if (!value.is_string()) return false;
    const std::string& text = value.get_ref<const std::string&>();
    if (text.empty() || text.size() > 40) return false;
    bool digits = false, point = false;
    size_t i = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') digits = true;
        else if (c == '.' && !point) point = true;
        else break;
    }
    if (!digits) return false;
    if (i < text.size()) {
        if (text[i] != 'e' && text[i] != 'E') return false;
        size_t j = i + 1;
        if (j < text.size() && (text[j] == '-' || text[j] == '+')) ++j;
        if (j == text.size()) return false;
        for (; j < text.size(); ++j)
            if (text[j] < '0' || text[j] > '9') return false;
    }
    const auto result = std::from_chars(text.data(), text.data() + text.size(), out);
    return result.ec == std::errc() && result.ptr == text.data() + text.size() && std::isfinite(out);
}

bool JsonNumber(const nlohmann::json& value, double& out) {
    if (!value.is_number()) return false;
    out = value.get<double>();
    return std::isfinite(out);
}

const std::string* StringMember(const nlohmann::json& object, const char* name) {
    if (!object.is_object()) return nullptr;
    const auto it = object.find(name);
    return it != object.end() && it->is_string() ? &it->get_ref<const std::string&>() : nullptr;
}

}  // namespace ratesvc
