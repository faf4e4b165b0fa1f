// Cell references as the stand-in Excel server's Range takes them. Input:
// the two references, split at the first '|'. An accepted reference lies on
// the sheet, and a cell written back in A1 form parses to itself.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tools/xlserver/cell_ref.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

std::string A1(xlserver::CellRef cell) {
    std::string letters;
    for (int c = cell.column; c > 0; c = (c - 1) / 26) letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
    return letters + std::to_string(cell.row);
}

void CheckCell(xlserver::CellRef cell) {
    Check(cell.row >= 1 && cell.row <= xlserver::kMaxRows);
    Check(cell.column >= 1 && cell.column <= xlserver::kMaxColumns);
    const auto again = xlserver::ParseCell(A1(cell));
    Check(again && again->row == cell.row && again->column == cell.column);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t bar = input.find('|');
    const std::string_view cell1 = input.substr(0, bar);
    const std::string_view cell2 = bar == std::string_view::npos ? std::string_view() : input.substr(bar + 1);
    if (const auto cell = xlserver::ParseCell(cell1)) CheckCell(*cell);
    if (const auto range = xlserver::ParseRange(cell1, cell2)) {
        CheckCell(range->first);
        CheckCell(range->last);
        Check(range->first.row <= range->last.row && range->first.column <= range->last.column);
        Check(range->Count() == static_cast<long long>(range->Rows()) * range->Columns() && range->Count() >= 1);
    }
    return 0;
}
