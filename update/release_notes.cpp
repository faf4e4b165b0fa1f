#include "update/release_notes.h"

namespace update {

bool IsReleaseNotesText(const unsigned char* data, size_t size) {
    if (size > kReleaseNotesMax || (size != 0 && !data)) return false;
    for (size_t i = 0; i < size; ++i) {
        const unsigned char c = data[i];
        if (c == '\t' || c == '\r' || c == '\n') continue;
        if (c < 0x20 || c == 0x7F) return false;
    }
    return true;
}

}  // namespace update
