// The rate service's log file when no terminal reads its standard error:
// bounded, so that a service left running for years (or a client that makes
// it log on every call) cannot fill the disk. When the file would pass the
// limit it becomes <path>.1, replacing the older one, and a new file starts.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

namespace ratesvc {

class CRotatingLog {
public:
    // `path` is UTF-8. At most `maxBytes` in each of the two files.
    CRotatingLog(std::string path, std::uintmax_t maxBytes);
    ~CRotatingLog();
    CRotatingLog(const CRotatingLog&) = delete;
    CRotatingLog& operator=(const CRotatingLog&) = delete;

    // Appends one line (a newline is added). Bytes below 0x20 become '?', so
    // that text from the network cannot forge lines, and an over-long line is
    // cut. Safe from several threads.
    void Write(std::string_view line);

private:
    bool Open();

    std::string m_strPath;
    std::uintmax_t m_nMax;
    std::uintmax_t m_nSize = 0;
    std::FILE* m_file = nullptr;
    bool m_bFull = false;  // it could not be rotated: nothing more is written
    std::mutex m_mutex;
};

}  // namespace ratesvc
