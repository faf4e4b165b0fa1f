// A1-style cell references as the automation server's Range member takes
// them: "B3", "$B$3", "b3", and "A1:C4" for a block.
#pragma once

#include <optional>
#include <string_view>

namespace xlserver {

constexpr int kMaxRows = 1048576;
constexpr int kMaxColumns = 16384;  // XFD

struct CellRef {
    int row;     // 1-based
    int column;  // 1-based
};

struct RangeRef {
    CellRef first;  // top left
    CellRef last;   // bottom right
    long Rows() const { return last.row - first.row + 1; }
    long Columns() const { return last.column - first.column + 1; }
    // A whole sheet holds more cells than a 32-bit count.
    long long Count() const { return static_cast<long long>(Rows()) * Columns(); }
};

std::optional<CellRef> ParseCell(std::string_view text);

// One reference, a cell or a block "A1:C4" (corners in any order).
std::optional<RangeRef> ParseRange(std::string_view text);

// The smallest block holding both references, as Range(Cell1, Cell2) takes
// them; an empty second reference means the first alone.
std::optional<RangeRef> ParseRange(std::string_view cell1, std::string_view cell2);

}  // namespace xlserver
