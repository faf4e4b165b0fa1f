// A first look at a downloaded file before it may replace the program: the
// headers of a Windows executable image for the running program's machine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "update/version.h"

namespace update {

// Enough of the file's start for every header checked below in an ordinary
// image (the PE header sits a few hundred bytes in).
constexpr size_t kPeHeaderBytes = 4096;

// True when data (the file's first bytes) holds a DOS stub pointing at a PE
// header of an executable image (not a DLL) for machine, with the optional
// header that machine uses.
bool IsWindowsExecutable(const unsigned char* data, size_t size, uint16_t machine);

// The file version of the image's version resource: the VS_FIXEDFILEINFO
// that follows the first "VS_VERSION_INFO" key, found in the bytes themselves
// so that the bytes checked are the bytes installed (the platform's version
// functions open the file again by name). Nothing when there is none.
std::optional<Version> FindFileVersion(const unsigned char* data, size_t size);

}  // namespace update
