// A workbook file as the automation server holds it while it is open: the
// document's own bytes, the cells read from it, and the cells written since.
// Saving changes only the elements of the written cells, so styles, names,
// column widths, formulas, comments and anything this server does not know
// come back exactly as they were.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <tuple>

#include "tools/xlserver/workbook.h"

namespace xlserver {

class BookFile {
public:
    // The document, or nothing with *error saying why.
    static std::optional<BookFile> Read(std::string text, std::string* error);

    const Workbook& book() const { return book_; }

    // False with *why for a cell that cannot take a value of its own: one
    // under a merged block other than its top left, or a row inside a run of
    // repeated rows.
    bool Writable(size_t sheet, int row, int column, std::string* why) const;
    // Sheet, row and column must be writable.
    void Set(size_t sheet, int row, int column, Cell cell);
    bool changed() const { return !written_.empty(); }

    // The document as read, with the written cells changed in place.
    std::string Text() const;

private:
    std::string text_;
    Workbook book_;
    Layout layout_;
    std::map<std::tuple<size_t, int, int>, Cell> written_;  // (sheet, row, column)
};

}  // namespace xlserver
