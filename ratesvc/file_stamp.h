// The service's file calls that differ by platform. A file's identity as
// the rates file watches it: which file the path names
// (inode, or Windows' file index), its size and its modification time to the
// platform's finest step. A file renamed over the path is a new identity even
// when it has the old one's size and time.
#pragma once

#include <cstdio>
#include <string>

namespace ratesvc {

struct CFileStamp {
    bool bPresent = false;
    unsigned long long nInode = 0, nSize = 0;
    long long nMtimeSec = 0, nMtimeNsec = 0;
};

// `path` is UTF-8. Not present when the file cannot be examined.
CFileStamp StampOf(const std::string& path);

// Opens `path` (UTF-8, not the ANSI code page: user folders have non-ASCII
// names) to append bytes to it; null when it cannot.
std::FILE* OpenToAppend(const std::string& path);

}  // namespace ratesvc
