// The stand-in automation server's portable parts: cell references as
// Range takes them, and SpreadsheetML 2003 files read and written back.
#include <gtest/gtest.h>

#include "tools/xlserver/book_file.h"
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
        "<Workbook><Worksheet a=\"1\"b=\"2\"></Worksheet></Workbook>",
        "<Workbook/><Workbook/>",
        "<Workbook><Worksheet><Table><Row ss:Index=\"2\"/><Row ss:Index=\"2\"/></Table></Worksheet></Workbook>",
        "<Workbook><Worksheet><Table><Row><Cell ss:MergeAcross=\"1\"/><Cell ss:Index=\"2\"/></Row></Table></Worksheet>"
        "</Workbook>",
        "<Workbook><Worksheet><Table><Row><Cell ss:MergeAcross=\"99999999999999999999\"/></Row></Table></Worksheet>"
        "</Workbook>",
        "<Workbook><Worksheet><Table><Row><Cell><Data>a</Data><Data>b</Data></Cell></Row></Table></Worksheet></Workbook>",
        // Names no namespace-aware reader takes: the writer would spell new
        // cells with such a prefix and lose them.
        "<Workbook xmlns:a:ss=\"urn:schemas-microsoft-com:office:spreadsheet\"><Worksheet/></Workbook>",
        "<Workbook><a:b:Worksheet/></Workbook>",
        "<Workbook><Worksheet :Name=\"x\"/></Workbook>",
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

// A workbook as Excel saves it, with what the server has no model of.
constexpr char kRichBook[] = R"(<?xml version="1.0"?>
<Workbook xmlns="urn:schemas-microsoft-com:office:spreadsheet" xmlns:o="urn:schemas-microsoft-com:office:office"
 xmlns:x="urn:schemas-microsoft-com:office:excel" xmlns:ss="urn:schemas-microsoft-com:office:spreadsheet">
 <Styles><Style ss:ID="s21"><Font ss:Bold="1"/><NumberFormat ss:Format="0.0000"/></Style></Styles>
 <Names><NamedRange ss:Name="Pairs" ss:RefersTo="=Rates!R1C1:R3C1"/></Names>
 <Worksheet ss:Name="Rates">
  <Table ss:ExpandedColumnCount="3" ss:ExpandedRowCount="4" x:FullRows="1">
   <Column ss:Width="80.25"/>
   <Row><Cell ss:StyleID="s21"><Data ss:Type="String">USD/JPY</Data><Comment ss:Author="me"><ss:Data xmlns="http://www.w3.org/TR/REC-html40"><B>note</B></ss:Data></Comment></Cell><Cell ss:Formula="=1+1"><Data ss:Type="Number">2</Data></Cell></Row>
   <Row><Cell><Data ss:Type="DateTime">2024-01-31T00:00:00.000</Data></Cell><Cell ss:Index="3" ss:StyleID="s21"/></Row>
   <Row ss:Index="4" ss:Height="20"/>
  </Table>
  <WorksheetOptions xmlns="urn:schemas-microsoft-com:office:excel"><Selected/></WorksheetOptions>
 </Worksheet>
 <Worksheet ss:Name="Bare"/>
</Workbook>
)";

TEST(SpreadsheetML, CommentsAreNotValues) {
    std::string error;
    const auto book = ReadSpreadsheetML(kRichBook, &error);
    ASSERT_TRUE(book.has_value()) << error;
    EXPECT_EQ(book->sheets[0].At(1, 1), Cell::Text("USD/JPY"));
    EXPECT_EQ(book->sheets[0].At(1, 2), Cell::Number(2));
    EXPECT_EQ(book->sheets[0].cells.size(), 3u);
}

// Only the written cells' elements change; every other byte stays.
TEST(BookFile, WritesChangeOnlyTheirCells) {
    struct Write {
        size_t sheet;
        int row, column;
        Cell cell;
    };
    struct Case {
        const char* name;
        std::vector<Write> writes;
        std::vector<std::pair<std::string, std::string>> changes;  // from, to
    };
    const std::string comment = R"(<Comment ss:Author="me"><ss:Data xmlns="http://www.w3.org/TR/REC-html40"><B>note</B></ss:Data></Comment>)";
    const Case cases[] = {
        {"nothing written", {}, {}},
        {"a value keeps the style and comment",
         {{0, 1, 1, Cell::Number(117.25)}},
         {{R"(<Data ss:Type="String">USD/JPY</Data><Comment)", R"(<Data ss:Type="Number">117.25</Data><Comment)"}}},
        {"a value replaces the formula",
         {{0, 1, 2, Cell::Text("a<b")}},
         {{R"(<Cell ss:Formula="=1+1"><Data ss:Type="Number">2</Data>)", R"(<Cell><Data ss:Type="String">a&lt;b</Data>)"}}},
        {"a styled empty cell, a new cell, a new row, a stated size",
         {{0, 2, 3, Cell::Number(1)}, {0, 1, 3, Cell::Boolean(true)}, {0, 3, 2, Cell::Error("#N/A")},
          {0, 6, 5, Cell::Number(0.5)}},
         {{R"(<Cell ss:Index="3" ss:StyleID="s21"/>)", R"(<Cell ss:Index="3" ss:StyleID="s21"><Data ss:Type="Number">1</Data></Cell>)"},
          {"<Data ss:Type=\"Number\">2</Data></Cell></Row>",
           "<Data ss:Type=\"Number\">2</Data></Cell><Cell ss:Index=\"3\"><Data ss:Type=\"Boolean\">1</Data></Cell></Row>"},
          {R"(   <Row ss:Index="4")", R"(   <Row ss:Index="3"><Cell ss:Index="2"><Data ss:Type="Error">#N/A</Data></Cell></Row><Row ss:Index="4")"},
          {"  </Table>", R"(  <Row ss:Index="6"><Cell ss:Index="5"><Data ss:Type="Number">0.5</Data></Cell></Row></Table>)"},
          {R"(ss:ExpandedColumnCount="3" ss:ExpandedRowCount="4")", R"(ss:ExpandedColumnCount="5" ss:ExpandedRowCount="6")"}}},
        {"an empty value clears a cell, the comment stays",
         {{0, 1, 1, Cell()}, {0, 5, 1, Cell()}},
         {{R"(<Data ss:Type="String">USD/JPY</Data><Comment)", "<Comment"}}},
        {"a row written as one tag, a sheet without a table",
         {{0, 4, 1, Cell::Text("x")}, {1, 1, 1, Cell::Number(3)}},
         {{R"(ss:Height="20"/>)", R"(ss:Height="20"><Cell ss:Index="1"><Data ss:Type="String">x</Data></Cell></Row>)"},
          {R"(<Worksheet ss:Name="Bare"/>)",
           R"(<Worksheet ss:Name="Bare"><Table><Row ss:Index="1"><Cell ss:Index="1"><Data ss:Type="Number">3</Data></Cell></Row></Table></Worksheet>)"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string error;
        auto file = BookFile::Read(kRichBook, &error);
        ASSERT_TRUE(file.has_value()) << error;
        for (const Write& w : c.writes) {
            ASSERT_TRUE(file->Writable(w.sheet, w.row, w.column, &error)) << error;
            file->Set(w.sheet, w.row, w.column, w.cell);
        }
        std::string expected = kRichBook;
        for (const auto& [from, to] : c.changes) {
            const size_t at = expected.find(from);
            ASSERT_NE(at, std::string::npos) << from;
            expected.replace(at, from.size(), to);
        }
        const std::string text = file->Text();
        EXPECT_EQ(text, expected);
        // What was written reads back, and the rest as before.
        const auto again = ReadSpreadsheetML(text, &error);
        ASSERT_TRUE(again.has_value()) << error;
        for (size_t s = 0; s < 2; ++s) EXPECT_EQ(again->sheets[s].cells, file->book().sheets[s].cells);
        EXPECT_NE(text.find(comment), std::string::npos);
    }
}

TEST(BookFile, MergedBlocksAndRepeatedRowsTakeNoValueInside) {
    const char* xml = R"(<Workbook xmlns:ss="urn:schemas-microsoft-com:office:spreadsheet"><Worksheet><Table>
<Row><Cell ss:MergeAcross="1" ss:MergeDown="1"><Data ss:Type="String">a</Data></Cell></Row>
<Row ss:Index="3" ss:Span="2"/></Table></Worksheet></Workbook>)";
    std::string error;
    const auto file = BookFile::Read(xml, &error);
    ASSERT_TRUE(file.has_value()) << error;
    struct Case {
        int row, column;
        bool writable;
    };
    const Case cases[] = {{1, 1, true}, {1, 2, false}, {2, 1, false}, {2, 3, true},
                          {3, 1, false}, {5, 1, false}, {6, 1, true}};
    for (const Case& c : cases)
        EXPECT_EQ(file->Writable(0, c.row, c.column, &error), c.writable) << c.row << "," << c.column;
}

}  // namespace
}  // namespace xlserver
