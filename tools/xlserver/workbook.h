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

// The document, or nothing with *error saying why.
std::optional<Workbook> ReadSpreadsheetML(std::string_view xml, std::string* error);
std::string WriteSpreadsheetML(const Workbook& book);

}  // namespace xlserver
