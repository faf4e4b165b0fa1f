#include "rate_file.h"

#include <expat.h>

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "file_stamp.h"
#include "printable.h"
#include "rate_checks.h"

namespace ratesvc {

namespace {

// Expat hands namespaced names as "URI<sep>local".
constexpr char kNsSep = ' ';
constexpr char kGesmesEnvelope[] = "http://www.gesmes.org/xml/2002-08-01 Envelope";

std::string_view LocalName(const char* name) {
    std::string_view n(name);
    const size_t sep = n.rfind(kNsSep);
    return sep == std::string_view::npos ? n : n.substr(sep + 1);
}

const char* Attr(const char** atts, const char* name) {
    for (; atts[0]; atts += 2)
        if (std::string_view(atts[0]) == name) return atts[1];
    return nullptr;
}

bool IsCode(std::string_view s) {
    if (s.size() != 3) return false;
    for (char c : s)
        if (c < 'A' || c > 'Z') return false;
    return true;
}

struct ParseState {
    XML_Parser parser = nullptr;
    int depth = 0;
    int dayDepth = 0;        // depth of the open dated Cube, 0 when none
    bool dayDone = false;    // the first day has been read; later ones are skipped
    CRateTable table;
    std::string error;

    void Fail(std::string why) {
        if (error.empty())
            error = "line " + std::to_string(XML_GetCurrentLineNumber(parser)) + ": " + std::move(why);
        XML_StopParser(parser, XML_FALSE);
    }
};

void XMLCALL OnStart(void* user, const char* name, const char** atts) {
    auto& st = *static_cast<ParseState*>(user);
    ++st.depth;
    if (st.depth == 1) {
        if (std::string_view(name) != kGesmesEnvelope) st.Fail("the root is not gesmes:Envelope");
        return;
    }
    if (LocalName(name) != "Cube" || st.dayDone) return;

    if (const char* time = Attr(atts, "time")) {
        if (st.dayDepth) return st.Fail("a dated Cube inside another");
        // The date reaches logs and the replacement rule compares it as text:
        // nothing but a real date gets in.
        if (!IsIsoDate(time)) return st.Fail("a Cube time " + Quoted(time) + " that is not a YYYY-MM-DD date");
        st.table.m_strDate = time;
        st.dayDepth = st.depth;
        return;
    }
    const char* currency = Attr(atts, "currency");
    const char* rate = Attr(atts, "rate");
    if (!currency && !rate) return;  // the outer Cube
    if (!st.dayDepth) return st.Fail("a rate outside a dated Cube");
    if (!currency || !rate) return st.Fail("a Cube with only one of currency and rate");
    const std::string_view code(currency);
    if (!IsCode(code)) return st.Fail("currency " + Quoted(code) + " is not a three-letter code");
    if (code == "EUR") return st.Fail("EUR is the base and has no rate of its own");

    const std::string_view text(rate);
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value) || value <= 0)
        return st.Fail("rate " + Quoted(text) + " of " + std::string(code) + " is not a positive number");
    // A rate of 1e-300 against one of 1e300 would make cross rates infinite.
    if (!IsPlausiblePerEuro(value))
        return st.Fail("rate " + Quoted(text) + " of " + std::string(code) + " is not a plausible number per euro");
    if (!st.table.m_perEuro.emplace(std::string(code), value).second)
        return st.Fail(std::string(code) + " appears twice");
}

void XMLCALL OnEnd(void* user, const char*) {
    auto& st = *static_cast<ParseState*>(user);
    if (st.dayDepth == st.depth) {
        st.dayDepth = 0;
        st.dayDone = true;
    }
    --st.depth;
}

}  // namespace

std::optional<double> CRateTable::PerEuro(std::string_view code) const {
    if (code == "EUR") return 1.0;
    const auto it = m_perEuro.find(std::string(code));
    if (it == m_perEuro.end()) return std::nullopt;
    return it->second;
}

std::optional<double> CRateTable::CrossRate(std::string_view from, std::string_view to) const {
    const auto f = PerEuro(from);
    const auto t = PerEuro(to);
    if (!f || !t) return std::nullopt;
    if (from == to) return 1.0;  // exactly, whatever rounding the division would do
    return *t / *f;
}

bool ParseRateFile(std::string_view xml, CRateTable& table, std::string& error) {
    ParseState st;
    st.parser = XML_ParserCreateNS(nullptr, kNsSep);
    if (!st.parser) {
        error = "out of memory";
        return false;
    }
    XML_SetUserData(st.parser, &st);
    XML_SetElementHandler(st.parser, OnStart, OnEnd);
    const bool parsed = XML_Parse(st.parser, xml.data(), static_cast<int>(xml.size()), XML_TRUE) == XML_STATUS_OK;
    if (!parsed && st.error.empty())
        st.error = "line " + std::to_string(XML_GetCurrentLineNumber(st.parser)) + ": " +
                   XML_ErrorString(XML_GetErrorCode(st.parser));
    XML_ParserFree(st.parser);

    if (st.error.empty() && !st.dayDone) st.error = "no dated Cube";
    if (st.error.empty() && st.table.m_perEuro.empty()) st.error = "no rates in " + st.table.m_strDate;
    if (!st.error.empty()) {
        error = std::move(st.error);
        return false;
    }
    table = std::move(st.table);
    return true;
}

bool CRateFile::Stamp::operator==(const Stamp& o) const {
    return bPresent == o.bPresent && nInode == o.nInode && nSize == o.nSize && nMtimeSec == o.nMtimeSec &&
           nMtimeNsec == o.nMtimeNsec;
}

CRateFile::CRateFile(std::string path, std::function<void(const std::string&)> log)
    : m_strPath(std::move(path)), m_log(std::move(log)) {}

CRateFile::Stamp CRateFile::StatFile(const std::string& path) {
    const CFileStamp f = StampOf(path);
    Stamp s;
    s.bPresent = f.bPresent;
    s.nInode = f.nInode;
    s.nSize = f.nSize;
    s.nMtimeSec = f.nMtimeSec;
    s.nMtimeNsec = f.nMtimeNsec;
    return s;
}

void CRateFile::Load(const Stamp& stamp) {
    if (!stamp.bPresent) {
        m_strError = m_strPath + ": cannot be read";
        return;
    }
    std::ifstream in(std::filesystem::u8path(m_strPath), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in) {
        m_strError = m_strPath + ": cannot be read";
        return;
    }
    auto table = std::make_shared<CRateTable>();
    std::string why;
    if (!ParseRateFile(text.str(), *table, why)) {
        m_strError = m_strPath + ": " + why;
        return;
    }
    if (IsDatedAfterTomorrow(*table, WallClockNow())) {
        // Set aside rather than left in place: it would be refused at every
        // start, and kept it could pass for good once its date comes.
        std::error_code ec;
        std::filesystem::rename(std::filesystem::u8path(m_strPath), std::filesystem::u8path(m_strPath + ".future"), ec);
        m_strError = m_strPath + ": dated " + table->m_strDate + ", after tomorrow; set aside as " + m_strPath + ".future";
        return;
    }
    if (!MayReplace(m_table.get(), *table, why)) {
        m_strError = m_strPath + ": refused: " + why;
        return;
    }
    m_table = std::move(table);
    m_strError.clear();
}

std::shared_ptr<const CRateTable> CRateFile::Current() {
    const Stamp stamp = StatFile(m_strPath);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_bExamined || !(stamp == m_stamp)) {
        m_bExamined = true;
        m_stamp = stamp;
        Load(stamp);
        if (m_log) {
            if (!m_strError.empty())
                m_log(m_strError + (m_table ? "; keeping the rates of " + m_table->m_strDate : std::string()));
            else
                m_log(m_strPath + ": " + std::to_string(m_table->m_perEuro.size()) + " rates of " + m_table->m_strDate);
        }
    }
    return m_table;
}

bool CRateFile::MayTake(const CRateTable& candidate, std::string& why) {
    const auto inForce = Current();
    return MayReplace(inForce.get(), candidate, why);
}

std::string CRateFile::LastError() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_strError;
}

}  // namespace ratesvc
