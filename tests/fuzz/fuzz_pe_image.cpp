// The first look at a downloaded executable: its headers for each machine
// the program is built for, and the version resource found in its bytes.
// Checks that an accepted header stays accepted with more bytes after it
// and is accepted for one machine only.
#include <cstdint>
#include <cstdlib>

#include "update/pe_image.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

constexpr uint16_t kMachines[] = {0x014C, 0x8664, 0xAA64, 0x01C4};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int accepted = 0;
    for (const uint16_t machine : kMachines) {
        for (size_t n : {size / 2, size}) {
            const bool ok = update::IsWindowsExecutable(data, n, machine);
            if (ok) {
                Check(data[0] == 'M' && data[1] == 'Z');
                Check(update::IsWindowsExecutable(data, size, machine));
                ++accepted;
            }
        }
    }
    Check(accepted <= 2);  // one machine only, for the half and the whole
    // The sanitizers watch every read the version search makes.
    (void)update::FindFileVersion(data, size);
    return 0;
}
