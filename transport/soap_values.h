// Storing received text into a parameter block and releasing what a block
// holds. Strings, binaries and arrays are owned by the block once stored.
#pragma once

#include <string_view>

#include "transport/soap_tables.h"

namespace soap {

// Converts text by the parameter's type and stores it at slot, replacing and
// releasing an earlier value. False: the text is not a value of that type,
// or memory ran out; the slot then keeps what it had.
bool StoreText(const SoapParamInfo& param, std::u16string_view text, unsigned char* slot);

// Frees whatever the value at slot owns and zeroes it.
void ReleaseValue(const SoapParamInfo& param, unsigned char* slot);

// Releases the values the client receives (the ones a response fills).
void ReleaseReceivedValues(const SoapParamInfo* params, unsigned char* base);

// Received by the client: an out-parameter, or one not marked as sent.
constexpr bool IsReceived(uint32_t flags) {
    return (flags & kParamOut) != 0 || (flags & kParamIn) == 0;
}

// The item form of an array parameter (the array bits cleared).
SoapParamInfo ArrayItemInfo(const SoapParamInfo& param);

}  // namespace soap
