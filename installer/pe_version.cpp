// Prints the file version of a Windows x64 executable ("2.0.0.1"), read as
// the self-update reads a download (update/pe_image.cpp), so that the
// packages and the update agree on what a release's version is. Built for
// the machine that packages; package.py runs it.
//
//   zelvane-pe-version <executable>
//
// Exits 0 with the version, 1 when the file is no x64 executable or has no
// version resource, 2 when it cannot be read.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#include "update/pe_image.h"
#include "update/version.h"

namespace {

constexpr uint16_t kMachineAmd64 = 0x8664;

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: zelvane-pe-version <executable>\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "zelvane-pe-version: cannot read %s\n", argv[1]);
        return 2;
    }
    const std::vector<unsigned char> image{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!update::IsWindowsExecutable(image.data(), image.size(), kMachineAmd64)) {
        std::fprintf(stderr, "zelvane-pe-version: %s is no Windows x64 executable\n", argv[1]);
        return 1;
    }
    const std::optional<update::Version> version = update::FindFileVersion(image.data(), image.size());
    if (!version) {
        std::fprintf(stderr, "zelvane-pe-version: %s has no version resource\n", argv[1]);
        return 1;
    }
    std::printf("%s\n", update::VersionText(*version).c_str());
    return 0;
}
