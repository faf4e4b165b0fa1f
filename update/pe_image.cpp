#include "update/pe_image.h"

namespace update {

namespace {

constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kMachineArm64 = 0xAA64;
constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr uint16_t kExecutableImage = 0x0002;
constexpr uint16_t kDll = 0x2000;
constexpr size_t kDosHeaderSize = 64;
constexpr size_t kNewHeaderOffset = 0x3C;
constexpr size_t kFileHeaderSize = 20;

uint16_t Read16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Read32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
// VS_VERSIONINFO: wLength, wValueLength, wType, then the key in UTF-16.
constexpr size_t kVersionInfoKeyAt = 6;
constexpr char kVersionInfoKey[] = "VS_VERSION_INFO";
constexpr size_t kKeyBytes = sizeof(kVersionInfoKey) * 2;  // UTF-16 with its terminator
// dwSignature, dwStrucVersion, dwFileVersionMS, dwFileVersionLS.
constexpr size_t kFixedInfoHead = 16;

bool IsVersionKeyAt(const unsigned char* p) {
    for (size_t i = 0; i < sizeof(kVersionInfoKey); ++i)
        if (p[2 * i] != static_cast<unsigned char>(kVersionInfoKey[i]) || p[2 * i + 1] != 0) return false;
    return true;
}

}  // namespace

std::optional<Version> FindFileVersion(const unsigned char* data, size_t size) {
    if (!data || size < kVersionInfoKeyAt + kKeyBytes + kFixedInfoHead) return std::nullopt;
    // The structure starts on a 32-bit boundary of the resource data, which
    // the linker aligns in the file as well.
    for (size_t at = 0; size - at >= kVersionInfoKeyAt + kKeyBytes + kFixedInfoHead; at += 4) {
        if (!IsVersionKeyAt(data + at + kVersionInfoKeyAt)) continue;
        const size_t info = (at + kVersionInfoKeyAt + kKeyBytes + 3) & ~static_cast<size_t>(3);
        if (info > size - kFixedInfoHead) return std::nullopt;
        if (Read32(data + info) != kFixedFileInfoSignature) continue;
        const uint32_t ms = Read32(data + info + 8);
        const uint32_t ls = Read32(data + info + 12);
        return Version{ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF};
    }
    return std::nullopt;
}

bool IsWindowsExecutable(const unsigned char* data, size_t size, uint16_t machine) {
    if (!data || size < kDosHeaderSize || data[0] != 'M' || data[1] != 'Z') return false;
    const uint32_t pe = Read32(data + kNewHeaderOffset);
    // Signature, file header and the optional header's magic must all lie
    // inside what was read; compared by subtraction so a huge offset cannot wrap.
    if (pe < kDosHeaderSize || pe > size || size - pe < 4 + kFileHeaderSize + 2) return false;
    const unsigned char* p = data + pe;
    if (p[0] != 'P' || p[1] != 'E' || p[2] != 0 || p[3] != 0) return false;
    const unsigned char* file = p + 4;
    if (Read16(file) != machine) return false;
    const uint16_t characteristics = Read16(file + 18);
    if (!(characteristics & kExecutableImage) || (characteristics & kDll)) return false;
    const uint16_t optionalSize = Read16(file + 16);
    if (optionalSize < 2) return false;
    const uint16_t magic = Read16(file + kFileHeaderSize);
    switch (machine) {
    case kMachineI386: return magic == kMagicPe32;
    case kMachineAmd64:
    case kMachineArm64: return magic == kMagicPe32Plus;
    default: return false;
    }
}

}  // namespace update
