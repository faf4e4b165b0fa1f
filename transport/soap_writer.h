// Writes the SOAP 1.1 request envelope of one operation from its static
// tables and a filled parameter block. The output has no XML declaration and
// no white space between tags.
#pragma once

#include <cstddef>
#include <string>

#include "transport/soap_result.h"
#include "transport/soap_tables.h"

namespace soap {

class ISoapOutputStream {
public:
    // Appends bytes; any failure ends generation with that status.
    virtual Status Append(const char* data, size_t len) = 0;

protected:
    ~ISoapOutputStream() = default;
};

// Appends to a caller's std::string (the client's request text).
class CStringOutputStream final : public ISoapOutputStream {
public:
    explicit CStringOutputStream(std::string& text) : m_text(text) {}
    Status Append(const char* data, size_t len) override;

private:
    std::string& m_text;
};

// op == nullptr: no current operation, kStatusInvalidArg. An enumeration
// value without an entry, a type without its table, or running out of memory
// fail; the text is then incomplete and must not be sent. Header entries
// (pHeaders, values in pHeaderBlock) are written only when one is sent.
Status GenerateRequest(const SoapOperationInfo* op, const void* block, ISoapOutputStream& out,
                       const SoapParamInfo* pHeaders = nullptr, const void* pHeaderBlock = nullptr);

}  // namespace soap
