// Text forms of the simple XML Schema values, both ways. Readers take the
// UTF-16 text an XML reader delivered and are strict: the whole text must be
// the value, and out-of-range numbers fail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "transport/soap_tables.h"

namespace soap {

// "NaN", "INF", "-INF", "-0", else the fixed form without trailing zeros.
void FormatDouble(double value, std::string& out);
void FormatHexBinary(const uint8_t* data, size_t len, std::string& out);
void FormatBase64Binary(const uint8_t* data, size_t len, std::string& out);

bool ParseBoolean(std::u16string_view text, bool* value);
bool ParseDouble(std::u16string_view text, double* value);
bool ParseSigned(std::u16string_view text, int64_t min, int64_t max, int64_t* value);
bool ParseUnsigned(std::u16string_view text, uint64_t max, uint64_t* value);
// Allocates the decoded bytes (std::malloc); on failure *value is untouched.
bool ParseHexBinary(std::u16string_view text, SoapBinary* value);
bool ParseBase64Binary(std::u16string_view text, SoapBinary* value);

}  // namespace soap
