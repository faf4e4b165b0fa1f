#include "tools/xlserver/cell_ref.h"

#include <algorithm>

namespace xlserver {
namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

RangeRef Span(CellRef a, CellRef b) {
    return {{std::min(a.row, b.row), std::min(a.column, b.column)},
            {std::max(a.row, b.row), std::max(a.column, b.column)}};
}

}  // namespace

std::optional<CellRef> ParseCell(std::string_view text) {
    size_t i = 0;
    if (i < text.size() && text[i] == '$') ++i;
    int column = 0;
    const size_t lettersStart = i;
    while (i < text.size() && IsLetter(text[i])) {
        column = column * 26 + ((text[i] | 0x20) - 'a' + 1);
        // Stop before the number can overflow: no column has four letters.
        if (i - lettersStart >= 3 || column > kMaxColumns) return std::nullopt;
        ++i;
    }
    if (i == lettersStart) return std::nullopt;
    if (i < text.size() && text[i] == '$') ++i;
    long row = 0;
    const size_t digitsStart = i;
    while (i < text.size() && IsDigit(text[i])) {
        row = row * 10 + (text[i] - '0');
        if (row > kMaxRows) return std::nullopt;
        ++i;
    }
    if (i == digitsStart || i != text.size() || row == 0) return std::nullopt;
    return CellRef{static_cast<int>(row), column};
}

std::optional<RangeRef> ParseRange(std::string_view text) {
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        const auto cell = ParseCell(text);
        if (!cell) return std::nullopt;
        return RangeRef{*cell, *cell};
    }
    const auto a = ParseCell(text.substr(0, colon));
    const auto b = ParseCell(text.substr(colon + 1));
    if (!a || !b) return std::nullopt;
    return Span(*a, *b);
}

std::optional<RangeRef> ParseRange(std::string_view cell1, std::string_view cell2) {
    const auto a = ParseRange(cell1);
    if (!a || cell2.empty()) return a;
    const auto b = ParseRange(cell2);
    if (!b) return std::nullopt;
    return RangeRef{Span(a->first, b->first).first, Span(a->last, b->last).last};
}

}  // namespace xlserver
