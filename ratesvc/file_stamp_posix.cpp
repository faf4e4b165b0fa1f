#include <sys/stat.h>

#include "file_stamp.h"

namespace ratesvc {

CFileStamp StampOf(const std::string& path) {
    CFileStamp s;
    struct stat sb {};
    if (::stat(path.c_str(), &sb) != 0) return s;
    s.bPresent = true;
    s.nInode = sb.st_ino;
    s.nSize = static_cast<unsigned long long>(sb.st_size);
    s.nMtimeSec = sb.st_mtim.tv_sec;
    s.nMtimeNsec = sb.st_mtim.tv_nsec;
    return s;
}

std::FILE* OpenToAppend(const std::string& path) { return std::fopen(path.c_str(), "ab"); }

}  // namespace ratesvc
