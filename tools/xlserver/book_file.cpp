#include "tools/xlserver/book_file.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <vector>

#include "tools/xlserver/xml_scan.h"

namespace xlserver {
namespace {

constexpr char kSpreadsheetNamespace[] = "urn:schemas-microsoft-com:office:spreadsheet";

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsNameChar(char c) { return !IsSpace(c) && c != '>' && c != '/' && c != '=' && c != '<' && c != '"' && c != '\''; }

std::string_view LocalPart(std::string_view name) {
    const size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}
std::string_view PrefixPart(std::string_view name) {
    const size_t colon = name.find(':');
    return colon == std::string_view::npos ? std::string_view() : name.substr(0, colon + 1);
}

// One attribute of a start tag as written: [begin, end) runs from the space
// before its name to past its closing quote; the value lies inside.
struct RawAttribute {
    std::string_view name;
    size_t begin, valueBegin, valueEnd, end;
};

std::string_view TagName(std::string_view tag) {
    size_t j = 1;
    while (j < tag.size() && IsNameChar(tag[j])) ++j;
    return tag.substr(1, j - 1);
}

// The tag has passed the scanner, so it is well formed; the loop still
// stops at the end of the text whatever it holds.
std::vector<RawAttribute> Attributes(std::string_view tag) {
    std::vector<RawAttribute> out;
    size_t j = 1 + TagName(tag).size();
    for (;;) {
        const size_t begin = j;
        while (j < tag.size() && IsSpace(tag[j])) ++j;
        if (j >= tag.size() || tag[j] == '>' || tag[j] == '/') return out;
        const size_t nameBegin = j;
        while (j < tag.size() && IsNameChar(tag[j])) ++j;
        const std::string_view name = tag.substr(nameBegin, j - nameBegin);
        while (j < tag.size() && tag[j] != '"' && tag[j] != '\'') ++j;
        if (j >= tag.size()) return out;
        const size_t close = tag.find(tag[j], j + 1);
        if (close == std::string_view::npos) return out;
        out.push_back(RawAttribute{name, begin, j + 1, close, close + 1});
        j = close + 1;
    }
}

const RawAttribute* Find(const std::vector<RawAttribute>& attributes, std::string_view local) {
    for (const RawAttribute& a : attributes)
        if (LocalPart(a.name) == local) return &a;
    return nullptr;
}

std::string NumberText(double v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof(buf), v);
    return std::string(buf, r.ptr);
}

struct Edit {
    size_t at;
    size_t length;
    std::string text;
};

// Writes the new elements in the document's own spelling: its prefix for
// the element names, and the prefix it binds to the spreadsheet namespace
// for the attributes (declared on the element when the root binds none).
class Writer {
public:
    Writer(std::string_view root, std::string_view sheetTag) : element_(PrefixPart(TagName(sheetTag))) {
        for (const RawAttribute& a : Attributes(root))
            if (PrefixPart(a.name) == "xmlns:" && root.substr(a.valueBegin, a.valueEnd - a.valueBegin) == kSpreadsheetNamespace)
                attribute_ = std::string(LocalPart(a.name)) + ":";
        if (attribute_.empty()) {
            attribute_ = "ss:";
            declare_ = std::string(" xmlns:ss=\"") + kSpreadsheetNamespace + "\"";
        }
    }

    std::string Data(const Cell& cell) const {
        std::string type, text;
        switch (cell.kind) {
        case Cell::Kind::kEmpty: return std::string();
        case Cell::Kind::kNumber: type = "Number", text = NumberText(cell.number); break;
        case Cell::Kind::kBoolean: type = "Boolean", text = cell.number != 0 ? "1" : "0"; break;
        case Cell::Kind::kError: type = "Error", text = XmlEscape(cell.text); break;
        case Cell::Kind::kText: type = "String", text = XmlEscape(cell.text); break;
        }
        return "<" + element_ + "Data " + attribute_ + "Type=\"" + type + "\"" + declare_ + ">" + text + "</" +
               element_ + "Data>";
    }
    std::string Open(const char* name, long index) const {
        return "<" + element_ + name + " " + attribute_ + "Index=\"" + std::to_string(index) + "\"" + declare_ + ">";
    }
    std::string Close(const char* name) const { return "</" + element_ + name + ">"; }
    std::string Element(const char* name) const { return element_ + name; }

private:
    std::string element_;
    std::string attribute_;
    std::string declare_;
};

bool SelfClosing(Span start, Span close) { return start.begin == close.begin; }

// The first row (cell) that ends at or after at: the one covering it, or
// the one to insert before. Rows and cells are in increasing order.
template <class Place, class Last>
typename std::vector<Place>::const_iterator FirstEndingFrom(const std::vector<Place>& places, long at, Last last) {
    return std::partition_point(places.begin(), places.end(), [&](const Place& p) { return last(p) < at; });
}

}  // namespace

std::optional<BookFile> BookFile::Read(std::string text, std::string* error) {
    BookFile file;
    auto book = ReadSpreadsheetML(text, error, &file.layout_);
    if (!book) return std::nullopt;
    file.book_ = std::move(*book);
    file.text_ = std::move(text);
    return file;
}

bool BookFile::Writable(size_t sheet, int row, int column, std::string* why) const {
    if (sheet >= layout_.sheets.size()) return false;
    const SheetPlace& place = layout_.sheets[sheet];
    const auto r = FirstEndingFrom(place.rows, row, [](const RowPlace& p) { return p.last; });
    if (r != place.rows.end() && r->row <= row && r->last > r->row) {
        if (why) *why = "Cannot change one row of a run of repeated rows.";
        return false;
    }
    for (const Merge& m : place.merges) {
        if (row >= m.top && row <= m.bottom && column >= m.left && column <= m.right &&
            !(row == m.top && column == m.left)) {
            if (why) *why = "Cannot change part of a merged cell.";
            return false;
        }
    }
    return true;
}

void BookFile::Set(size_t sheet, int row, int column, Cell cell) {
    if (sheet >= book_.sheets.size()) return;
    book_.sheets[sheet].Set(row, column, cell);
    written_[{sheet, row, column}] = std::move(cell);
}

std::string BookFile::Text() const {
    const std::string_view text(text_);
    const auto tag = [&](Span s) { return text.substr(s.begin, s.end - s.begin); };
    std::vector<Edit> edits;

    auto it = written_.begin();
    while (it != written_.end()) {
        const size_t sheetIndex = std::get<0>(it->first);
        const SheetPlace& sheet = layout_.sheets[sheetIndex];
        const Writer writer(tag(layout_.root), tag(sheet.start));
        // New rows in the order of the document, each with its new cells.
        std::string rowsText;
        size_t rowsAt = std::string::npos;
        long maxRow = 0, maxColumn = 0;
        const auto flushRows = [&] {
            if (!rowsText.empty()) edits.push_back(Edit{rowsAt, 0, std::move(rowsText)});
            rowsText.clear();
        };

        while (it != written_.end() && std::get<0>(it->first) == sheetIndex) {
            const int rowNumber = std::get<1>(it->first);
            const auto row = FirstEndingFrom(sheet.rows, rowNumber, [](const RowPlace& p) { return p.last; });
            const bool rowExists = row != sheet.rows.end() && row->row <= rowNumber;
            const size_t at = row != sheet.rows.end() ? row->start.begin : sheet.tableClose.begin;
            if (at != rowsAt) flushRows();
            rowsAt = at;
            std::string cellsText;  // new cells of a row that has none there yet
            size_t cellsAt = std::string::npos;
            const auto flushCells = [&] {
                if (!cellsText.empty()) edits.push_back(Edit{cellsAt, 0, std::move(cellsText)});
                cellsText.clear();
            };
            std::string newRow;
            for (; it != written_.end() && std::get<0>(it->first) == sheetIndex && std::get<1>(it->first) == rowNumber;
                 ++it) {
                const int column = std::get<2>(it->first);
                const Cell& cell = it->second;
                if (cell.kind != Cell::Kind::kEmpty) {
                    maxRow = std::max<long>(maxRow, rowNumber);
                    maxColumn = std::max<long>(maxColumn, column);
                }
                if (!rowExists) {
                    if (cell.kind != Cell::Kind::kEmpty)
                        newRow += writer.Open("Cell", column) + writer.Data(cell) + writer.Close("Cell");
                    continue;
                }
                const auto place = FirstEndingFrom(row->cells, column, [](const CellPlace& p) { return p.last; });
                if (place == row->cells.end() || place->column > column) {
                    if (cell.kind == Cell::Kind::kEmpty) continue;
                    const size_t cellAt = place != row->cells.end() ? place->start.begin : row->close.begin;
                    if (cellAt != cellsAt) flushCells();
                    cellsAt = cellAt;
                    cellsText += writer.Open("Cell", column) + writer.Data(cell) + writer.Close("Cell");
                    continue;
                }
                if (place->column != column) continue;  // under a merge: refused before it got here
                flushCells();
                // A value of its own replaces the cell's formula; its style,
                // comment and the rest stay.
                const std::string_view start = tag(place->start);
                std::string newStart;
                size_t from = 0;
                for (const RawAttribute& a : Attributes(start)) {
                    const std::string_view local = LocalPart(a.name);
                    if (local != "Formula" && local != "ArrayRange") continue;
                    newStart.append(start.substr(from, a.begin - from));
                    from = a.end;
                }
                newStart.append(start.substr(from));
                const std::string data = writer.Data(cell);
                if (SelfClosing(place->start, place->close)) {
                    if (!data.empty()) {
                        newStart.resize(newStart.size() - 2);  // the "/>"
                        newStart += ">" + data + "</" + std::string(TagName(start)) + ">";
                    }
                    if (newStart != start) edits.push_back(Edit{place->start.begin, start.size(), newStart});
                } else {
                    if (newStart != start) edits.push_back(Edit{place->start.begin, start.size(), newStart});
                    if (place->hasData)
                        edits.push_back(Edit{place->data.begin, place->data.end - place->data.begin, data});
                    else if (!data.empty())
                        edits.push_back(Edit{place->start.end, 0, data});
                }
            }
            if (rowExists && SelfClosing(row->start, row->close) && !cellsText.empty()) {
                // <Row .../> becomes <Row ...>cells</Row>.
                edits.push_back(Edit{row->start.end - 2, 2,
                                     ">" + cellsText + "</" + std::string(TagName(tag(row->start))) + ">"});
                cellsText.clear();
            }
            flushCells();
            if (!newRow.empty()) rowsText += writer.Open("Row", rowNumber) + newRow + writer.Close("Row");
        }

        if (!sheet.hasTable) {
            if (!rowsText.empty()) {
                const std::string table = "<" + writer.Element("Table") + ">" + rowsText + writer.Close("Table");
                if (SelfClosing(sheet.start, sheet.close))
                    edits.push_back(Edit{sheet.start.end - 2, 2,
                                         ">" + table + "</" + std::string(TagName(tag(sheet.start))) + ">"});
                else
                    edits.push_back(Edit{sheet.afterNames ? sheet.afterNames : sheet.start.end, 0, table});
            }
            continue;
        }
        // Excel refuses a table whose stated size does not hold its cells.
        const std::string_view tableTag = tag(sheet.tableStart);
        const std::vector<RawAttribute> attributes = Attributes(tableTag);
        for (const auto& [name, needed] : {std::pair<const char*, long>{"ExpandedRowCount", maxRow},
                                           std::pair<const char*, long>{"ExpandedColumnCount", maxColumn}}) {
            const RawAttribute* a = Find(attributes, name);
            if (!a) continue;
            long stated = 0;
            const std::string_view value = tableTag.substr(a->valueBegin, a->valueEnd - a->valueBegin);
            const auto r = std::from_chars(value.data(), value.data() + value.size(), stated);
            if (needed == 0 || (r.ec == std::errc() && stated >= needed)) continue;
            edits.push_back(Edit{sheet.tableStart.begin + a->valueBegin, value.size(), std::to_string(needed)});
        }
        if (SelfClosing(sheet.tableStart, sheet.tableClose)) {
            if (!rowsText.empty())
                edits.push_back(Edit{sheet.tableStart.end - 2, 2,
                                     ">" + rowsText + "</" + std::string(TagName(tableTag)) + ">"});
        } else {
            flushRows();
        }
    }

    std::stable_sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) { return a.at < b.at; });
    std::string out;
    out.reserve(text_.size() + 64 * written_.size());
    size_t done = 0;
    for (const Edit& e : edits) {
        if (e.at < done) continue;  // cannot happen with one edit per place
        out.append(text, done, e.at - done);
        out += e.text;
        done = e.at + e.length;
    }
    out.append(text, done, std::string_view::npos);
    return out;
}

}  // namespace xlserver
