// The sources' JSON, read with nlohmann::json under the bounds every answer
// from the network gets: a nesting limit, and no object that names a key
// twice (a parser keeps one of the two, and which is its own affair).
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>

namespace ratesvc {

constexpr int kMaxJsonDepth = 16;

// False with a one-line reason for anything that is not such JSON.
bool ReadJson(std::string_view body, nlohmann::json& out, std::string& why);

// A rate written as a decimal string ("155.2", "1.5e-7"): digits, at most one
// point, an optional exponent; "NaN", "inf", hex and blanks are refused.
bool DecimalString(const nlohmann::json& value, double& out);
// A rate written as a JSON number (not a string, not a boolean).
bool JsonNumber(const nlohmann::json& value, double& out);
// A member that must be a string; null when absent or of another type.
const std::string* StringMember(const nlohmann::json& object, const char* name);

}  // namespace ratesvc
