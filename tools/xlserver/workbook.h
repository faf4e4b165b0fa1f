// A workbook as the automation server keeps it in memory: named sheets of
// typed cells, read from and written back to a SpreadsheetML 2003 file.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace xlserver {

struct Cell {
    enum class Kind { kEmpty, kNumber, kText, kBoolean, kError };
    Kind kind = Kind::kEmpty;
    double number = 0.0;  // kNumber; 0 or 1 for kBoolean
    std::string text;     // kText (UTF-8); the error's name for kError ("#N/A")

    static Cell Number(double v) { return {Kind::kNumber, v, {}}; }
    static Cell Text(std::string v) { return {Kind::kText, 0.0, std::move(v)}; }
    static Cell Boolean(bool v) { return {Kind::kBoolean, v ? 1.0 : 0.0, {}}; }
    static Cell Error(std::string name) { return {Kind::kError, 0.0, std::move(name)}; }
    bool operator==(const Cell& o) const { return kind == o.kind && number == o.number && text == o.text; }
};

struct Sheet {
    std::string name;
    std::map<std::pair<int, int>, Cell> cells;  // (row, column), 1-based; empty cells absent

    const Cell& At(int row, int column) const;
    void Set(int row, int column, Cell cell);
};

struct Workbook {
    std::vector<Sheet> sheets;
};

// Where the elements that hold cells lie in the document they were read
// from, so that cells can be changed in place and every other byte kept.
// Spans are [begin, end) offsets of whole tags; an element written as one
// self-closing tag has close == start.
struct Span {
    size_t begin = 0;
    size_t end = 0;
};

struct CellPlace {
    long column = 0;
    long last = 0;  // the last column it covers (MergeAcross)
    Span start, close;
    bool hasData = false;
    Span data;  // the whole <Data> element, start tag to end tag
};

struct RowPlace {
    long row = 0;
    long last = 0;  // the last row it stands for (Span)
    Span start, close;
    std::vector<CellPlace> cells;
};

// A block of merged cells: only its top left cell holds a value.
struct Merge {
    long top, left, bottom, right;
};

struct SheetPlace {
    Span start, close;  // the <Worksheet> element
    size_t afterNames = 0;  // past the sheet's </Names>, 0 when it has none
    bool hasTable = false;
    Span tableStart, tableClose;
    std::vector<RowPlace> rows;
    std::vector<Merge> merges;
};

struct Layout {
    Span root;  // the <Workbook> start tag
    std::vector<SheetPlace> sheets;
};

// The document, or nothing with *error saying why; with layout, also where
// its sheets, rows and cells lie.
std::optional<Workbook> ReadSpreadsheetML(std::string_view xml, std::string* error, Layout* layout = nullptr);
std::string WriteSpreadsheetML(const Workbook& book);

}  // namespace xlserver
