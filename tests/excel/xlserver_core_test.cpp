// The stand-in automation server's portable parts: cell references as
// Range takes them, and SpreadsheetML 2003 files read and written back.
#include <gtest/gtest.h>

#include "tools/xlserver/cell_ref.h"
#include "tools/xlserver/workbook.h"

namespace xlserver {
namespace {

TEST(CellRef, ReferencesAndBlocks) {
    struct Case {
        const char* cell1;
        const char* cell2;
        int top, left, bottom, right;  // top 0: rejected
    };
    const Case cases[] = {
        {"A1", "", 1, 1, 1, 1},
        {"B3", "A1", 1, 1, 3, 2},
        {"$C$4", "c5", 4, 3, 5, 3},
        {"A1:B2", "", 1, 1, 2, 2},
        {"B2:A1", "D4", 1, 1, 4, 4},
        {"XFD1048576", "", 1048576, 16384, 1048576, 16384},
        {"XFE1", "", 0, 0, 0, 0},
        {"A1048577", "", 0, 0, 0, 0},
        {"AAAA1", "", 0, 0, 0, 0},
        {"A99999999999999999999", "", 0, 0, 0, 0},
        {"A0", "A2", 0, 0, 0, 0},
        {"1A", "", 0, 0, 0, 0},
        {"A1 ", "", 0, 0, 0, 0},
        {"A1", "B", 0, 0, 0, 0},
        {"A1:", "", 0, 0, 0, 0},
        {"", "", 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const auto range = ParseRange(c.cell1, c.cell2);
        if (c.top == 0) {
            EXPECT_FALSE(range.has_value()) << c.cell1 << " " << c.cell2;
            continue;
        }
        ASSERT_TRUE(range.has_value()) << c.cell1 << " " << c.cell2;
        EXPECT_EQ(range->first.row, c.top) << c.cell1;
        EXPECT_EQ(range->first.column, c.left) << c.cell1;
        EXPECT_EQ(range->last.row, c.bottom) << c.cell1;
        EXPECT_EQ(range->last.column, c.right) << c.cell1;
    }
}

TEST(SpreadsheetML, ReadsWhatExcelWrites) {
    // Implicit and explicit indices, a merged cell, rich text, entities.
    const char* xml = R"(<?xml version="1.0"?>
<?mso-application progid="Excel.Sheet"?>
<Workbook xmlns="urn:schemas-microsoft-com:office:spreadsheet"
 xmlns:ss="urn:schemas-microsoft-com:office:spreadsheet" xmlns:html="http://www.w3.org/TR/REC-html40">
 <!-- a comment -->
 <Worksheet ss:Name="Pairs &amp; rates">
  <Table ss:ExpandedColumnCount="5">
   <Row><Cell><Data ss:Type="String">USD/JPY</Data></Cell><Cell><Data ss:Type="Number">117.25</Data></Cell></Row>
   <Row ss:Index="4"><Cell ss:MergeAcross="1"><Data ss:Type="String">a&lt;b</Data></Cell>
    <Cell><ss:Data ss:Type="String"><B>bold</B> tail</ss:Data></Cell>
    <Cell ss:Index="5"><Data ss:Type="Boolean">1</Data></Cell></Row>
   <Row><Cell><Data ss:Type="Error">#N/A</Data></Cell><Cell/><Cell><Data ss:Type="String">&#x65E5;&#26412;</Data></Cell></Row>
  </Table>
 </Worksheet>
 <Worksheet ss:Name="Empty"/>
</Workbook>)";
    std::string error;
    const auto book = ReadSpreadsheetML(xml, &error);
    ASSERT_TRUE(book.has_value()) << error;
    ASSERT_EQ(book->sheets.size(), 2u);
    const Sheet& s = book->sheets[0];
    EXPECT_EQ(s.name, "Pairs & rates");
    EXPECT_EQ(s.At(1, 1), Cell::Text("USD/JPY"));
    EXPECT_EQ(s.At(1, 2), Cell::Number(117.25));
    EXPECT_EQ(s.At(4, 1), Cell::Text("a<b"));
    EXPECT_EQ(s.At(4, 3), Cell::Text("bold tail"));
    EXPECT_EQ(s.At(4, 5), Cell::Boolean(true));
    EXPECT_EQ(s.At(5, 1), Cell::Error("#N/A"));
    EXPECT_EQ(s.At(5, 3), Cell::Text("\xE6\x97\xA5\xE6\x9C\xAC"));
    EXPECT_EQ(s.cells.size(), 7u);
    EXPECT_EQ(book->sheets[1].name, "Empty");

    // Written and read again, nothing changes.
    const auto again = ReadSpreadsheetML(WriteSpreadsheetML(*book), &error);
    ASSERT_TRUE(again.has_value()) << error;
    ASSERT_EQ(again->sheets.size(), 2u);
    EXPECT_EQ(again->sheets[0].name, s.name);
    EXPECT_EQ(again->sheets[0].cells, s.cells);
    EXPECT_TRUE(again->sheets[1].cells.empty());
}

TEST(SpreadsheetML, NumbersSurviveExactly) {
    Workbook book{{Sheet{"S", {}}}};
    const double values[] = {0.1, 1.0 / 3.0, 12345678.5, 1e-300, -0.0091};
    for (int i = 0; i < 5; ++i) book.sheets[0].Set(i + 1, 1, Cell::Number(values[i]));
    std::string error;
    const auto again = ReadSpreadsheetML(WriteSpreadsheetML(book), &error);
    ASSERT_TRUE(again.has_value()) << error;
    for (int i = 0; i < 5; ++i) EXPECT_EQ(again->sheets[0].At(i + 1, 1), Cell::Number(values[i]));
}

TEST(SpreadsheetML, RejectsFilesThatAreNotWorkbooks) {
    const char* bad[] = {
        "",
        "not xml at all",
        "<Workbook>",                                                   // unclosed
        "<Workbook></Worksheet>",                                       // mismatched
        "<Workbook/>",                                                  // no sheet
        "<Workbook><Worksheet><Table><Row ss:Index=\"0\"/></Table></Worksheet></Workbook>",
        "<Workbook><Worksheet><Table><Row><Cell><Data ss:Type=\"Number\">x</Data></Cell></Row></Table></Worksheet>"
        "</Workbook>",
        "<Workbook><Worksheet>&bogus;</Worksheet></Workbook>",
        "<Workbook><Worksheet>&#0;</Worksheet></Workbook>",
        "<Workbook><Worksheet a=b></Worksheet></Workbook>",
        "<Workbook/><Workbook/>",
    };
    for (const char* xml : bad) {
        std::string error;
        EXPECT_FALSE(ReadSpreadsheetML(xml, &error).has_value()) << xml;
        EXPECT_FALSE(error.empty()) << xml;
    }
    // Nesting is bounded.
    std::string deep = "<Workbook><Worksheet>";
    for (int i = 0; i < 1000; ++i) deep += "<a>";
    for (int i = 0; i < 1000; ++i) deep += "</a>";
    deep += "</Worksheet></Workbook>";
    std::string error;
    EXPECT_FALSE(ReadSpreadsheetML(deep, &error).has_value());
}

}  // namespace
}  // namespace xlserver
