#include "ratesvc_log.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "file_stamp.h"

namespace ratesvc {

namespace fs = std::filesystem;

namespace {

// Long enough for any line the service writes about itself; a request that
// names a 1 MB currency code gets its first kilobytes logged, not all of it.
constexpr size_t kMaxLine = 2048;

fs::path PathOf(const std::string& utf8) {
    return fs::u8path(utf8);  // not the ANSI code page: user folders have non-ASCII names
}

}  // namespace

CRotatingLog::CRotatingLog(std::string path, std::uintmax_t maxBytes) : m_strPath(std::move(path)), m_nMax(maxBytes) {}

CRotatingLog::~CRotatingLog() {
    if (m_file) std::fclose(m_file);
}

bool CRotatingLog::Open() {
    const fs::path path = PathOf(m_strPath);
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    m_file = OpenToAppend(m_strPath);
    if (!m_file) return false;
    const std::uintmax_t size = fs::file_size(path, ec);
    m_nSize = ec ? 0 : size;
    return true;
}

// Said once, when the log can be neither renamed nor removed; room for it is
// kept at the end of every file.
constexpr std::string_view kFullNote = "log full and cannot be rotated; nothing more is written\n";

void CRotatingLog::Write(std::string_view line) {
    const std::uintmax_t room = m_nMax > 4 * kFullNote.size() ? m_nMax - kFullNote.size() : m_nMax;
    std::string text(line.substr(0, std::min(line.size(), std::min<size_t>(kMaxLine, room ? room - 1 : 0))));
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20) c = '?';
    text += '\n';

    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bFull) return;
    if (!m_file && !Open()) return;
    if (m_nSize + text.size() > room) {
        std::fclose(m_file);
        m_file = nullptr;
        const fs::path path = PathOf(m_strPath);
        std::error_code ec;
        fs::rename(path, PathOf(m_strPath + ".1"), ec);  // replaces the older one
        if (ec) fs::remove(path, ec);  // the bound holds even when the old file cannot move
        if (!Open()) return;
        if (m_nSize + text.size() > room) {
            // Neither moved nor removed (a viewer holds it open without
            // delete sharing): stop here, saying so once, within the bound.
            if (m_nSize + kFullNote.size() <= m_nMax &&
                std::fwrite(kFullNote.data(), 1, kFullNote.size(), m_file) == kFullNote.size())
                m_nSize += kFullNote.size();
            std::fflush(m_file);
            std::fclose(m_file);
            m_file = nullptr;
            m_bFull = true;
            return;
        }
    }
    if (std::fwrite(text.data(), 1, text.size(), m_file) == text.size()) m_nSize += text.size();
    std::fflush(m_file);
}

}  // namespace ratesvc
