// Result codes of a service call and the COM-style status values the
// transport returns. The numbers are fixed: the rate query maps them to texts.
#pragma once

#include <cstdint>

enum SoapClientError {
    SOAPCLIENT_SUCCESS = 0,
    SOAPCLIENT_INITIALIZE_ERROR = 1,
    SOAPCLIENT_OUTOFMEMORY = 2,
    SOAPCLIENT_GENERATE_ERROR = 3,
    SOAPCLIENT_CONNECT_ERROR = 4,
    SOAPCLIENT_SEND_ERROR = 5,
    SOAPCLIENT_SERVER_ERROR = 6,
    SOAPCLIENT_FAULT = 7,
    SOAPCLIENT_PARSEFAULT_ERROR = 8,
    SOAPCLIENT_READ_ERROR = 9,
    SOAPCLIENT_PARSE_ERROR = 10,
    // A loopback service that is not the user's own; nothing was sent.
    SOAPCLIENT_FOREIGN_SERVICE = 11,
};

namespace soap {

// HRESULT values without windows.h; identical bit patterns.
using Status = int32_t;
constexpr Status kStatusOk = 0;
constexpr Status kStatusNotImpl = static_cast<Status>(0x80004001u);
constexpr Status kStatusPointer = static_cast<Status>(0x80004003u);
constexpr Status kStatusFail = static_cast<Status>(0x80004005u);
constexpr Status kStatusOutOfMemory = static_cast<Status>(0x8007000Eu);
constexpr Status kStatusInvalidArg = static_cast<Status>(0x80070057u);

constexpr bool Succeeded(Status s) { return s >= 0; }

}  // namespace soap
