// The stand-in Excel server's workbook files: the scanner's tag places, the
// reader, and the in-place writer. Whatever a file holds, a document the
// reader accepted must read back after writes with exactly the cells the
// server now holds.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "tools/xlserver/book_file.h"
#include "tools/xlserver/workbook.h"
#include "tools/xlserver/xml_scan.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

// Every reported tag lies inside the document, from a '<' to a '>'.
struct TagChecker : xlserver::XmlHandler {
    std::string_view xml;
    void CheckTag() const {
        Check(tagBegin < tagEnd && tagEnd <= xml.size());
        Check(xml[tagBegin] == '<' && xml[tagEnd - 1] == '>');
    }
    void Start(std::string_view, const std::vector<std::pair<std::string, std::string>>&) override { CheckTag(); }
    void End(std::string_view) override { CheckTag(); }
    void Text(std::string_view) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    TagChecker checker;
    checker.xml = text;
    std::string error;
    xlserver::ScanXml(text, checker, &error);

    auto file = xlserver::BookFile::Read(text, &error);
    if (!file) return 0;
    Check(file->Text() == text);  // nothing written, nothing changed

    // Over every cell there is, beside it and below it, and far off.
    std::vector<std::tuple<size_t, int, int>> targets;
    for (size_t s = 0; s < file->book().sheets.size() && s < 4; ++s) {
        targets.emplace_back(s, 1, 1);
        targets.emplace_back(s, 70, 30);
        for (const auto& [at, cell] : file->book().sheets[s].cells) {
            if (targets.size() > 64) break;
            targets.emplace_back(s, at.first, at.second);
            targets.emplace_back(s, at.first, at.second + 1);
            targets.emplace_back(s, at.first + 1, at.second);
        }
    }
    int n = 0;
    for (const auto& [s, row, column] : targets) {
        if (row > 1048576 || column > 16384 || !file->Writable(s, row, column, &error)) continue;
        switch (n++ % 4) {
        case 0: file->Set(s, row, column, xlserver::Cell::Number(n * 0.25)); break;
        case 1: file->Set(s, row, column, xlserver::Cell::Text("a&<\"b")); break;
        case 2: file->Set(s, row, column, xlserver::Cell()); break;
        default: file->Set(s, row, column, xlserver::Cell::Error("#N/A")); break;
        }
    }
    const std::string written = file->Text();
    const auto again = xlserver::ReadSpreadsheetML(written, &error);
    Check(again.has_value());
    Check(again->sheets.size() == file->book().sheets.size());
    for (size_t s = 0; s < again->sheets.size(); ++s) Check(again->sheets[s].cells == file->book().sheets[s].cells);
    return 0;
}
