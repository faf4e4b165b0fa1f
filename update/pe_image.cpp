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

}  // namespace

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
