// Where a rate source may be, and where it may send us. A source on the
// Internet must not lead the service to this computer or the local network
// (a redirect to 127.0.0.1:48213, a router's page), and plain http, which
// anyone on the path can rewrite, is only for a source on this computer.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ratesvc {

enum class AddressKind {
    kLoopback,  // this computer: 127.0.0.0/8, ::1, "localhost"
    kLocal,     // the local network: private, link-local, shared and unique-local ranges, unspecified
    kPublic,    // anything else, names included (they are checked again once resolved)
};

// An address as 4 (IPv4) or 16 (IPv6) bytes in network order.
AddressKind KindOfAddress(const unsigned char* bytes, size_t size);
// A URL's host as written: an IPv4 or bracketed IPv6 literal, or a name.
AddressKind KindOfHost(std::string_view host);

// Why the service may not ask `url` as a source; empty when it may.
std::string RefusedSourceUrl(std::string_view url);

// Whether a transfer that began at a host of kind `origin` may connect to an
// address of kind `target` (after a redirect, or a name that resolved so).
bool MayConnect(AddressKind origin, AddressKind target);

// The kind of the host of an http(s) URL.
AddressKind KindOfUrlHost(std::string_view url);

}  // namespace ratesvc
