#include "tools/xlserver/workbook.h"

#include <charconv>
#include <cstdlib>

#include "tools/xlserver/xml_scan.h"

namespace xlserver {
namespace {

// Excel's own ceiling; beyond it an index in a file is an error.
constexpr long kMaxIndex = 1048576;

const std::string* Attribute(const std::vector<std::pair<std::string, std::string>>& attributes,
                             std::string_view name) {
    for (const auto& [key, value] : attributes)
        if (key == name) return &value;
    return nullptr;
}

// A positive index no larger than kMaxIndex, or 0.
long Index(const std::string* text) {
    if (!text) return 0;
    long value = 0;
    const auto r = std::from_chars(text->data(), text->data() + text->size(), value);
    if (r.ec != std::errc() || r.ptr != text->data() + text->size() || value < 1 || value > kMaxIndex) return 0;
    return value;
}

// A count of further cells or rows (MergeAcross, MergeDown, Span): 0 when
// absent, -1 when not a number from 0 to kMaxIndex.
long Extent(const std::string* text) {
    if (!text) return 0;
    long value = 0;
    const auto r = std::from_chars(text->data(), text->data() + text->size(), value);
    if (r.ec != std::errc() || r.ptr != text->data() + text->size() || value < 0 || value > kMaxIndex) return -1;
    return value;
}

// Cells count only in their place: a Row directly in a sheet's Table, a
// Cell directly in a Row, the value in the Cell's own Data. Anything else
// of the same name (a comment's <Data>, a row inside some other element)
// is not a cell.
class SpreadsheetReader : public XmlHandler {
public:
    Workbook book;
    Layout layout;
    std::string error;

    void Start(std::string_view name, const std::vector<std::pair<std::string, std::string>>& attributes) override {
        open_.emplace_back(name);
        const std::string_view parent = open_.size() < 2 ? std::string_view() : std::string_view(open_[open_.size() - 2]);
        if (inData_) return;  // formatting inside rich text
        const Span here{tagBegin, tagEnd};
        if (open_.size() == 1) {
            layout.root = here;
        } else if (name == "Worksheet" && open_.size() == 2) {
            const std::string* sheetName = Attribute(attributes, "Name");
            book.sheets.push_back(Sheet{sheetName ? *sheetName : "Sheet" + std::to_string(book.sheets.size() + 1), {}});
            layout.sheets.push_back(SheetPlace{});
            layout.sheets.back().start = here;
            row_ = 0;
            rowLast_ = 0;
        } else if (name == "Table" && open_.size() == 3 && parent == "Worksheet" && !sheet().hasTable) {
            sheet().hasTable = true;
            sheet().tableStart = here;
            inTable_ = true;
        } else if (name == "Row" && open_.size() == 4 && parent == "Table" && inTable_) {
            row_ = Index(Attribute(attributes, "Index"), rowLast_ + 1);
            const long span = Extent(Attribute(attributes, "Span"));
            if (span < 0) Fail("bad span");
            rowLast_ = row_ + (span > 0 ? span : 0);
            if (rowLast_ > kMaxIndex) Fail("too many rows");
            sheet().rows.push_back(RowPlace{row_, rowLast_, here, here, {}});
            column_ = 0;
        } else if (name == "Cell" && open_.size() == 5 && parent == "Row" && inTable_ && row_ > 0) {
            column_ = Index(Attribute(attributes, "Index"), column_ + 1);
            cellColumn_ = column_;
            const long across = Extent(Attribute(attributes, "MergeAcross"));
            const long down = Extent(Attribute(attributes, "MergeDown"));
            if (across < 0 || down < 0) Fail("bad merge");
            column_ += across > 0 ? across : 0;
            if (column_ > kMaxIndex || row_ + (down > 0 ? down : 0) > kMaxIndex) Fail("merge too large");
            if (across > 0 || down > 0)
                sheet().merges.push_back(Merge{row_, cellColumn_, row_ + (down > 0 ? down : 0), column_});
            sheet().rows.back().cells.push_back(CellPlace{cellColumn_, column_, here, here, false, {}});
        } else if (name == "Data" && open_.size() == 6 && parent == "Cell" && cellColumn_ > 0) {
            // A second value would take the first one's place once that is
            // cleared.
            if (sheet().rows.back().cells.back().hasData) Fail("two values in one cell");
            const std::string* type = Attribute(attributes, "Type");
            type_ = type ? *type : "String";
            text_.clear();
            inData_ = true;
            dataDepth_ = open_.size();
            sheet().rows.back().cells.back().data.begin = tagBegin;
        }
    }

    void End(std::string_view name) override {
        const size_t depth = open_.size();
        open_.pop_back();
        if (inData_) {
            if (depth > dataDepth_) return;
            inData_ = false;
            CellPlace& cell = sheet().rows.back().cells.back();
            cell.hasData = true;
            cell.data.end = tagEnd;
            Store();
            return;
        }
        const Span here{tagBegin, tagEnd};
        if (name == "Cell" && depth == 5 && cellColumn_ > 0) {
            sheet().rows.back().cells.back().close = here;
            cellColumn_ = 0;
        } else if (name == "Row" && depth == 4 && inTable_) {
            if (row_ > 0) sheet().rows.back().close = here;
            row_ = 0;
            column_ = 0;
        } else if (name == "Table" && depth == 3 && inTable_) {
            sheet().tableClose = here;
            inTable_ = false;
        } else if (name == "Names" && depth == 3 && open_.back() == "Worksheet") {
            sheet().afterNames = tagEnd;
        } else if (name == "Worksheet" && depth == 2) {
            sheet().close = here;
        }
    }

    void Text(std::string_view text) override {
        if (inData_) text_ += text;
    }

private:
    SheetPlace& sheet() { return layout.sheets.back(); }
    void Fail(const std::string& what) {
        if (error.empty()) error = what;
    }

    long Index(const std::string* text, long next) {
        const long given = xlserver::Index(text);
        if (text && given == 0) Fail("bad index \"" + *text + "\"");
        // As in Excel: an index may skip ahead, never back onto or before
        // what came earlier.
        if (text && given != 0 && given < next) Fail("index " + *text + " out of order");
        const long index = text ? given : next;
        if (index > kMaxIndex) Fail("too many cells");
        return index > kMaxIndex ? 0 : index;
    }

    void Store() {
        if (row_ <= 0 || cellColumn_ <= 0 || cellColumn_ > kMaxIndex) return;
        Cell cell;
        if (type_ == "Number") {
            double v = 0;
            const char* begin = text_.data();
            while (begin < text_.data() + text_.size() && *begin == ' ') ++begin;
            const auto r = std::from_chars(begin, text_.data() + text_.size(), v);
            if (r.ec != std::errc()) {
                Fail("bad number \"" + text_ + "\"");
                return;
            }
            cell = Cell::Number(v);
        } else if (type_ == "Boolean") {
            cell = Cell::Boolean(text_ == "1" || text_ == "true" || text_ == "TRUE");
        } else if (type_ == "Error") {
            cell = Cell::Error(text_);
        } else {
            cell = Cell::Text(text_);  // String, and DateTime as its text
        }
        book.sheets.back().Set(static_cast<int>(row_), static_cast<int>(cellColumn_), std::move(cell));
    }

    std::vector<std::string> open_;
    bool inTable_ = false;
    long row_ = 0;
    long rowLast_ = 0;
    long column_ = 0;
    long cellColumn_ = 0;
    bool inData_ = false;
    size_t dataDepth_ = 0;
    std::string type_;
    std::string text_;
};

std::string NumberText(double v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof(buf), v);
    return std::string(buf, r.ptr);
}

}  // namespace

const Cell& Sheet::At(int row, int column) const {
    static const Cell kEmpty;
    const auto it = cells.find({row, column});
    return it == cells.end() ? kEmpty : it->second;
}

void Sheet::Set(int row, int column, Cell cell) {
    if (cell.kind == Cell::Kind::kEmpty) cells.erase({row, column});
    else cells[{row, column}] = std::move(cell);
}

std::optional<Workbook> ReadSpreadsheetML(std::string_view xml, std::string* error, Layout* layout) {
    SpreadsheetReader reader;
    std::string scanError;
    if (!ScanXml(xml, reader, &scanError)) {
        if (error) *error = scanError;
        return std::nullopt;
    }
    if (!reader.error.empty()) {
        if (error) *error = reader.error;
        return std::nullopt;
    }
    if (reader.book.sheets.empty()) {
        if (error) *error = "no worksheet";
        return std::nullopt;
    }
    if (layout) *layout = std::move(reader.layout);
    return std::move(reader.book);
}

std::string WriteSpreadsheetML(const Workbook& book) {
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<?mso-application progid=\"Excel.Sheet\"?>\n"
        "<Workbook xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\"\n"
        " xmlns:o=\"urn:schemas-microsoft-com:office:office\"\n"
        " xmlns:x=\"urn:schemas-microsoft-com:office:excel\"\n"
        " xmlns:ss=\"urn:schemas-microsoft-com:office:spreadsheet\">\n";
    for (const Sheet& sheet : book.sheets) {
        out += " <Worksheet ss:Name=\"" + XmlEscape(sheet.name) + "\">\n  <Table>\n";
        int row = 0;
        for (const auto& [at, cell] : sheet.cells) {
            if (at.first != row) {
                if (row) out += "   </Row>\n";
                row = at.first;
                out += "   <Row ss:Index=\"" + std::to_string(row) + "\">\n";
            }
            out += "    <Cell ss:Index=\"" + std::to_string(at.second) + "\"><Data ss:Type=\"";
            switch (cell.kind) {
            case Cell::Kind::kNumber: out += "Number\">" + NumberText(cell.number); break;
            case Cell::Kind::kBoolean: out += cell.number != 0 ? "Boolean\">1" : "Boolean\">0"; break;
            case Cell::Kind::kError: out += "Error\">" + XmlEscape(cell.text); break;
            default: out += "String\">" + XmlEscape(cell.text); break;
            }
            out += "</Data></Cell>\n";
        }
        if (row) out += "   </Row>\n";
        out += "  </Table>\n </Worksheet>\n";
    }
    out += "</Workbook>\n";
    return out;
}

}  // namespace xlserver
