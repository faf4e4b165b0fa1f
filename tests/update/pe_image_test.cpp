#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "update/pe_image.h"

using update::IsWindowsExecutable;

namespace {

constexpr uint16_t kAmd64 = 0x8664;
constexpr uint16_t kI386 = 0x014C;
constexpr size_t kPe = 0x80;

void Put16(std::vector<unsigned char>& b, size_t at, uint16_t v) {
    b[at] = static_cast<unsigned char>(v);
    b[at + 1] = static_cast<unsigned char>(v >> 8);
}
void Put32(std::vector<unsigned char>& b, size_t at, uint32_t v) {
    Put16(b, at, static_cast<uint16_t>(v));
    Put16(b, at + 2, static_cast<uint16_t>(v >> 16));
}

// The headers of a 64-bit GUI executable, as far as they are checked.
std::vector<unsigned char> Image(uint16_t machine = kAmd64, uint16_t magic = 0x20B, uint16_t flags = 0x0022) {
    std::vector<unsigned char> b(0x200, 0);
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 0x3C, kPe);
    b[kPe] = 'P';
    b[kPe + 1] = 'E';
    Put16(b, kPe + 4, machine);
    Put16(b, kPe + 4 + 16, 0xF0);
    Put16(b, kPe + 4 + 18, flags);
    Put16(b, kPe + 4 + 20, magic);
    return b;
}

bool Check(const std::vector<unsigned char>& b, uint16_t machine = kAmd64) {
    return IsWindowsExecutable(b.data(), b.size(), machine);
}

}  // namespace

TEST(PeImage, AcceptsExecutablesOfTheRunningMachine) {
    EXPECT_TRUE(Check(Image()));
    EXPECT_TRUE(Check(Image(kI386, 0x10B, 0x0102), kI386));
}

TEST(PeImage, RefusesEveryOtherFile) {
    auto text = std::vector<unsigned char>(0x200, 'A');
    auto noMz = Image();
    noMz[1] = 'X';
    auto noPe = Image();
    noPe[kPe + 2] = 'X';
    auto farOffset = Image();
    Put32(farOffset, 0x3C, 0xFFFFFFF0u);  // would wrap a careless bound check
    auto insideDosHeader = Image();
    Put32(insideDosHeader, 0x3C, 0x10);
    auto tinyOptional = Image();
    Put16(tinyOptional, kPe + 4 + 16, 1);
    const std::vector<unsigned char> refused[] = {
        text, noMz, noPe, farOffset, insideDosHeader, tinyOptional,
        Image(kI386, 0x10B),         // another machine
        Image(kAmd64, 0x10B),        // 32-bit optional header on x64
        Image(kAmd64, 0x20B, 0x2022),  // a DLL
        Image(kAmd64, 0x20B, 0x0020),  // not marked executable
    };
    for (size_t i = 0; i < std::size(refused); ++i) EXPECT_FALSE(Check(refused[i])) << "case " << i;
    EXPECT_FALSE(IsWindowsExecutable(nullptr, 0, kAmd64));
}

TEST(PeImage, RefusesEveryTruncatedHeader) {
    const auto full = Image();
    const size_t needed = kPe + 4 + 20 + 2;
    for (size_t n = 0; n < needed; ++n)
        EXPECT_FALSE(Check(std::vector<unsigned char>(full.begin(), full.begin() + static_cast<long>(n)))) << n;
    EXPECT_TRUE(Check(std::vector<unsigned char>(full.begin(), full.begin() + static_cast<long>(needed))));
}

namespace {

// A version resource's start at offset at: VS_VERSIONINFO's three words,
// the key, padding to 32 bits, VS_FIXEDFILEINFO's first four double words.
void PutVersionInfo(std::vector<unsigned char>& b, size_t at, uint32_t ms, uint32_t ls,
                    uint32_t signature = 0xFEEF04BD) {
    const char key[] = "VS_VERSION_INFO";
    for (size_t i = 0; i < sizeof(key); ++i) Put16(b, at + 6 + 2 * i, static_cast<uint16_t>(key[i]));
    Put32(b, at + 40, signature);
    Put32(b, at + 48, ms);
    Put32(b, at + 52, ls);
}

}  // namespace

TEST(PeImage, FindsTheFileVersionOfTheVersionResource) {
    using update::FindFileVersion;
    using update::Version;
    auto image = Image();
    image.resize(0x400);
    PutVersionInfo(image, 0x300, 0x00020000, 0x00000002);
    EXPECT_EQ(FindFileVersion(image.data(), image.size()), (Version{2, 0, 0, 2}));

    auto decoy = image;  // a key without the structure's signature is skipped
    PutVersionInfo(decoy, 0x200, 0x00090000, 0, 0);
    EXPECT_EQ(FindFileVersion(decoy.data(), decoy.size()), (Version{2, 0, 0, 2}));

    auto unaligned = Image();
    unaligned.resize(0x400);
    PutVersionInfo(unaligned, 0x302, 0x00030000, 0);
    EXPECT_FALSE(FindFileVersion(unaligned.data(), unaligned.size()));
    EXPECT_FALSE(FindFileVersion(Image().data(), Image().size()));
    EXPECT_FALSE(FindFileVersion(nullptr, 0));
    // Every cut that loses part of the file version loses the version.
    for (size_t n = 0x300; n < 0x300 + 56; ++n)
        EXPECT_FALSE(FindFileVersion(image.data(), n)) << n;
    EXPECT_TRUE(FindFileVersion(image.data(), 0x300 + 56));
}
