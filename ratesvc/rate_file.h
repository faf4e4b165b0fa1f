// Rates of the local rate service: the European Central Bank's daily
// reference file (euro based) parsed into a table, and the file watched so
// that a new file takes effect on the next request.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace ratesvc {

// One day of euro reference rates: units of each currency per euro.
class CRateTable {
public:
    std::string m_strDate;                   // the Cube's time attribute
    std::map<std::string, double> m_perEuro;  // "USD" -> 1.0842; never holds EUR

    // Units of the currency per euro; EUR itself is 1. Absent when unknown.
    std::optional<double> PerEuro(std::string_view code) const;
    // Units of `to` that one unit of `from` is worth, through the euro.
    std::optional<double> CrossRate(std::string_view from, std::string_view to) const;
};

// Parses a file in the reference format (gesmes:Envelope / Cube time= /
// Cube currency= rate=). Of a file holding several days the first (the
// newest, as the bank orders them) is taken. Returns false with a reason on
// anything that is not such a file; `table` is then untouched.
bool ParseRateFile(std::string_view xml, CRateTable& table, std::string& error);

// The rates file behind the service. Current() checks the file's identity
// (inode, size, modification time) and reloads when it changed; a file that
// does not parse, has gone, or may not replace the rates in force (see
// MayReplace in rate_checks.h) leaves the last good table in force.
class CRateFile {
public:
    // `log` hears of every load, good or bad (the service prints them).
    explicit CRateFile(std::string path, std::function<void(const std::string&)> log = {});

    // The table in force (null while no good file was ever read). Safe to call
    // from several threads at once.
    std::shared_ptr<const CRateTable> Current();

    const std::string& Path() const { return m_strPath; }

    // Whether a parsed file may replace the rates in force; asked before a
    // download is written over the kept file, so a refused one never is.
    bool MayTake(const CRateTable& candidate, std::string& why);

    // Why the last load attempt failed; empty after a good load.
    std::string LastError();

private:
    struct Stamp {
        bool bPresent = false;
        unsigned long long nInode = 0, nSize = 0;
        long long nMtimeSec = 0, nMtimeNsec = 0;
        bool operator==(const Stamp& o) const;
    };
    static Stamp StatFile(const std::string& path);
    void Load(const Stamp& stamp);

    std::string m_strPath;
    std::function<void(const std::string&)> m_log;
    std::mutex m_mutex;
    Stamp m_stamp;           // the file as last examined
    bool m_bExamined = false;
    std::shared_ptr<const CRateTable> m_table;
    std::string m_strError;
};

}  // namespace ratesvc
