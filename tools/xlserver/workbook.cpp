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

class SpreadsheetReader : public XmlHandler {
public:
    Workbook book;
    std::string error;

    void Start(std::string_view name, const std::vector<std::pair<std::string, std::string>>& attributes) override {
        if (inData_) {
            ++dataDepth_;  // formatting inside rich text
            return;
        }
        if (name == "Worksheet") {
            const std::string* sheetName = Attribute(attributes, "Name");
            book.sheets.push_back(Sheet{sheetName ? *sheetName : "Sheet" + std::to_string(book.sheets.size() + 1), {}});
            row_ = 0;
        } else if (name == "Row" && !book.sheets.empty()) {
            row_ = Index(Attribute(attributes, "Index"), row_ + 1);
            column_ = 0;
        } else if (name == "Cell" && row_ > 0) {
            column_ = Index(Attribute(attributes, "Index"), column_ + 1);
            cellColumn_ = column_;
            if (const std::string* merge = Attribute(attributes, "MergeAcross")) column_ += std::atol(merge->c_str());
        } else if (name == "Data" && cellColumn_ > 0) {
            const std::string* type = Attribute(attributes, "Type");
            type_ = type ? *type : "String";
            text_.clear();
            inData_ = true;
            dataDepth_ = 0;
        }
    }

    void End(std::string_view name) override {
        if (inData_) {
            if (dataDepth_ > 0) {
                --dataDepth_;
                return;
            }
            inData_ = false;
            Store();
            return;
        }
        if (name == "Cell") cellColumn_ = 0;
        else if (name == "Row") column_ = 0;
    }

    void Text(std::string_view text) override {
        if (inData_) text_ += text;
    }

private:
    long Index(const std::string* text, long next) {
        const long given = xlserver::Index(text);
        if (text && given == 0 && error.empty()) error = "bad index \"" + *text + "\"";
        const long index = text ? given : next;
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
                if (error.empty()) error = "bad number \"" + text_ + "\"";
                return;
            }
            cell = Cell::Number(v);
        } else if (type_ == "Boolean") {
            cell = Cell::Boolean(text_ == "1" || text_ == "true" || text_ == "TRUE");
        } else if (type_ == "Error") {
            cell = Cell::Error(text_);
        } else {
            cell = Cell::Text(text_);  // String, and DateTime kept as its text
        }
        book.sheets.back().Set(static_cast<int>(row_), static_cast<int>(cellColumn_), std::move(cell));
    }

    long row_ = 0;
    long column_ = 0;
    long cellColumn_ = 0;
    bool inData_ = false;
    int dataDepth_ = 0;
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

std::optional<Workbook> ReadSpreadsheetML(std::string_view xml, std::string* error) {
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
