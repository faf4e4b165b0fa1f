// The Excel import in the real program under Wine: the page's button
// drives the stand-in automation server (a local server found through the
// ProgID "Excel.Application", so every object, string and array crosses
// processes) and a rate service on loopback started for these cases. The
// server records every call and every object's end in a log; the workbook
// files are read back after each import.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/driver/common_controls.h"
#include "tests/driver/rate_servers.h"
#include "tests/driver/e2e_fixture.h"
#include "tests/driver/message_box.h"
#include "tests/driver/registry.h"
#include "tests/driver/tab_control.h"
#include "tests/driver/tool_tip.h"
#include "tests/driver/user_input.h"
#include "tests/driver/window_query.h"
#include "tests/driver/wine_path.h"
#include "tools/xlserver/workbook.h"

namespace driver::zelvane {
namespace {

using xlserver::Cell;

// Excel page controls.
constexpr int kIdPath = 1032;
constexpr int kIdBrowse = 1006;
constexpr int kIdReadFrom = 1035;
constexpr int kIdReadTo = 1036;
constexpr int kIdWriteFrom = 1037;
constexpr int kIdWriteTo = 1038;
constexpr int kIdSheetNo = 1033;
constexpr int kIdImport = 1023;
constexpr int kIdProgress = 1039;
// The common file dialog's file name and file type boxes (cmb13, cmb1).
constexpr int kIdFileName = 0x47C;
constexpr int kIdFileType = 0x470;

// Excel's start, the probe and every pair's query; each network wait is
// bounded by 10 s.
constexpr milliseconds kImportTimeout{60000};

constexpr wchar_t kLogKey[] = L"Software\\ZelvaneTests\\XlServer";
constexpr char kOmitted[] = "VT_ERROR 0x80020004";

std::string ReadAll(const std::wstring& path) {
    std::string text;
    if (FILE* f = _wfopen(path.c_str(), L"rb")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) text.append(buf, n);
        std::fclose(f);
    }
    return text;
}

std::wstring Wide(const std::string& s) { return WideAscii(s); }
std::string Narrow(const std::wstring& s) {
    std::string out;
    for (wchar_t c : s) out += static_cast<char>(c < 0x80 ? c : '?');
    return out;
}

// This test's own rate servers publish their ports as tests/services' do.
std::string StateFile(const std::string& name) { return RateServerFile(name); }

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

xlserver::Sheet SheetOf(std::vector<std::vector<std::string>> rows, const char* name) {
    xlserver::Sheet sheet{name, {}};
    for (size_t r = 0; r < rows.size(); ++r)
        for (size_t c = 0; c < rows[r].size(); ++c)
            if (!rows[r][c].empty()) sheet.Set(static_cast<int>(r + 1), static_cast<int>(c + 1), Cell::Text(rows[r][c]));
    return sheet;
}

// A pair in B1 and Excel's #N/A in B2.
xlserver::Sheet ErrorSheet() {
    xlserver::Sheet sheet = SheetOf({{"", "GBP/JPY"}}, "Two");
    sheet.Set(2, 2, Cell::Error("#N/A"));
    return sheet;
}

class ExcelTest : public ZelvaneTest {
protected:
    void SetUp() override {
        ZelvaneTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_FALSE(StateFile("raw.port").empty()) << "no rate servers in " << RateServerDir();
        if (!StateFile("ratesvc.missing").empty()) GTEST_SKIP() << StateFile("ratesvc.missing");
        wchar_t temp[MAX_PATH];
        ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
        dir_ = std::wstring(temp) + L"zelvane-excel-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
               std::to_wstring(GetTickCount64());
        ASSERT_TRUE(CreateDirectoryW(dir_.c_str(), nullptr));
        log_ = dir_ + L"\\calls.log";
        ASSERT_TRUE(WriteUserString(kLogKey, L"CallLog", log_));
        UseServices(RateService("/CurrencyConvertor.asmx"), RateService("/soap"));
    }

    void TearDown() override {
        ZelvaneTest::TearDown();
        DeleteUserKeyTree(kLogKey);
        for (const std::wstring& file : files_) DeleteFileW(file.c_str());
        DeleteFileW(log_.c_str());
        RemoveDirectoryW(dir_.c_str());
    }

    static std::wstring Url(const char* server, const std::string& path) {
        return RateServerUrl(server, path);
    }
    static std::wstring RateService(const char* path) { return Url("ratesvc", path); }
    static void UseServices(const std::wstring& conversionRateUrl, const std::wstring& exchangeRateUrl) {
        const std::wstring key = SectionKey(L"Service");
        ASSERT_TRUE(WriteUserString(key, L"ConversionRateUrl", conversionRateUrl));
        ASSERT_TRUE(WriteUserString(key, L"ConversionRateNamespace", Wide(StateFile("ratesvc.namespace"))));
        ASSERT_TRUE(WriteUserString(key, L"ExchangeRateUrl", exchangeRateUrl));
    }
    // What the rate service was asked, one line per call.
    static std::vector<std::string> ServiceCalls() {
        std::vector<std::string> calls;
        for (const std::string& line : Lines(StateFile("ratesvc.log")))
            if (line.find("ConversionRate ") != std::string::npos || line.find("getRate ") != std::string::npos)
                calls.push_back(line.substr(line.find(": ") + 2));
        return calls;
    }

    static std::vector<std::string> ServiceCallsSince(size_t first) {
        const std::vector<std::string> all = ServiceCalls();
        return std::vector<std::string>(all.begin() + static_cast<long>(std::min(first, all.size())), all.end());
    }

    std::wstring WriteBook(const wchar_t* name, std::vector<xlserver::Sheet> sheets) {
        return WriteText(name, xlserver::WriteSpreadsheetML(xlserver::Workbook{std::move(sheets)}));
    }
    std::wstring WriteText(const wchar_t* name, const std::string& text) {
        const std::wstring path = dir_ + L"\\" + name;
        files_.push_back(path);
        FILE* f = _wfopen(path.c_str(), L"wb");
        EXPECT_TRUE(f);
        if (f) {
            std::fwrite(text.data(), 1, text.size(), f);
            std::fclose(f);
        }
        return path;
    }
    static xlserver::Workbook ReadBook(const std::wstring& path) {
        std::string error;
        auto book = xlserver::ReadSpreadsheetML(ReadAll(path), &error);
        EXPECT_TRUE(book.has_value()) << error;
        return book ? *book : xlserver::Workbook{};
    }

    // Starts the program with the Excel page showing.
    void StartOnExcelPage() {
        ASSERT_TRUE(StartApp());
        ASSERT_TRUE(ClickTab(Control(kIdTab), kTabExcel));
        for (HWND page : app_.Pages())
            if (GetDlgItem(page, kIdProgress) && GetDlgItem(page, kIdSheetNo)) page_ = page;
        ASSERT_TRUE(page_) << "no Excel page";
        ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(page_) != FALSE; }, kReactTimeout));
    }
    HWND Field(int id) const { return GetDlgItem(page_, id); }
    std::wstring FieldText(int id) const { return WindowText(Field(id)); }

    void Fill(const std::wstring& path, const wchar_t* sheet, const wchar_t* readFrom, const wchar_t* readTo,
              const wchar_t* writeFrom, const wchar_t* writeTo) {
        ASSERT_TRUE(SetControlText(Field(kIdPath), path));
        ASSERT_TRUE(SetControlText(Field(kIdSheetNo), sheet));
        ASSERT_TRUE(SetControlText(Field(kIdReadFrom), readFrom));
        ASSERT_TRUE(SetControlText(Field(kIdReadTo), readTo));
        ASSERT_TRUE(SetControlText(Field(kIdWriteFrom), writeFrom));
        ASSERT_TRUE(SetControlText(Field(kIdWriteTo), writeTo));
    }

    // Presses the import button and waits for the next message box, which
    // must carry the program's name and OK alone.
    std::optional<MessageBoxInfo> PressImport() {
        EXPECT_TRUE(ClickButton(Field(kIdImport)));
        return NextBox();
    }
    std::optional<MessageBoxInfo> NextBox() {
        auto box = WaitForMessageBox(app_.pid(), kImportTimeout);
        EXPECT_TRUE(box.has_value()) << "no message box";
        if (box) {
            EXPECT_EQ(box->caption, kAppName);
            EXPECT_EQ(box->ButtonSet(), "OK");
        }
        return box;
    }
    void Answer(const MessageBoxInfo& box) {
        ASSERT_TRUE(AnswerMessageBox(box, IDOK));
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box.hwnd) || !IsWindowVisible(box.hwnd); }, kReactTimeout));
    }
    // The box, checked for text and icon and answered.
    void ExpectBox(const std::optional<MessageBoxInfo>& box, const std::wstring& text, MessageBoxIcon icon) {
        ASSERT_TRUE(box.has_value());
        EXPECT_EQ(Narrow(box->text), Narrow(text));
        EXPECT_EQ(box->text, text);
        EXPECT_STREQ(IconName(box->icon), IconName(icon));
        Answer(*box);
    }

    std::vector<std::string> ServerLog() const { return Lines(ReadAll(log_)); }
    // The server released its last object and ended.
    bool ServerEnded() const {
        return WaitUntil(
            [&] {
                const auto lines = ServerLog();
                return !lines.empty() && lines.back() == "exit (objects 0)";
            },
            kImportTimeout);
    }
    std::vector<std::string> Calls() const {
        std::vector<std::string> calls;
        for (const std::string& line : ServerLog())
            if (line.rfind("call ", 0) == 0 || line.rfind("create Application", 0) == 0) calls.push_back(line);
        return calls;
    }
    std::vector<std::string> Releases() const {
        std::vector<std::string> released;
        for (const std::string& line : ServerLog())
            if (line.rfind("release ", 0) == 0) released.push_back(line.substr(8, line.find(' ', 8) - 8));
        return released;
    }

    static void ExpectNoSettingsSaved() {
        for (const wchar_t* key : {L"FilePath", L"SheetNo", L"CellToRead1", L"CellToRead2", L"CellToWrite1",
                                   L"CellToWrite2"})
            EXPECT_FALSE(ReadUserString(SectionKey(L"Excel"), key).has_value()) << Narrow(key);
    }

    std::wstring dir_;
    std::wstring log_;
    std::vector<std::wstring> files_;
    HWND page_ = nullptr;
};

std::string OpenCall(const std::wstring& path) {
    std::string call = "call Workbooks.Open 0x2AA method (VT_BSTR \"" + Narrow(path) + "\"";
    for (int i = 0; i < 12; ++i) call += std::string(", ") + kOmitted;
    return call + ")";
}

TEST_F(ExcelTest, RatesOfThreePairsReachTheWorkbookThroughElevenCalls) {
    const std::wstring book = WriteBook(L"pairs.xls", {SheetOf({{"USD/JPY"}, {"EUR/USD"}, {"GBP/JPY"}}, "Rates")});
    // The page starts with what the settings hold; the write range is changed
    // before the import, so the saved values are the fields' at that time.
    const std::wstring key = SectionKey(L"Excel");
    ASSERT_TRUE(WriteUserString(key, L"FilePath", book));
    ASSERT_TRUE(WriteUserString(key, L"SheetNo", L"1"));
    ASSERT_TRUE(WriteUserString(key, L"CellToRead1", L"A1"));
    ASSERT_TRUE(WriteUserString(key, L"CellToRead2", L"A3"));
    ASSERT_TRUE(WriteUserString(key, L"CellToWrite1", L"C1"));
    ASSERT_TRUE(WriteUserString(key, L"CellToWrite2", L"C3"));
    ASSERT_NO_FATAL_FAILURE(StartOnExcelPage());
    EXPECT_EQ(FieldText(kIdPath), book);
    EXPECT_EQ(FieldText(kIdSheetNo), L"1");
    EXPECT_EQ(FieldText(kIdReadFrom), L"A1");
    EXPECT_EQ(FieldText(kIdReadTo), L"A3");
    EXPECT_EQ(FieldText(kIdWriteFrom), L"C1");
    EXPECT_EQ(FieldText(kIdWriteTo), L"C3");
    ASSERT_TRUE(SetControlText(Field(kIdWriteFrom), L"B1"));
    ASSERT_TRUE(SetControlText(Field(kIdWriteTo), L"B3"));
    const size_t asked = ServiceCalls().size();

    const auto box = PressImport();
    // The bar's range was 1..3; it was reset before the message (to 0, which
    // the control keeps at the low end of its range: an empty bar).
    EXPECT_EQ(ProgressRange(Field(kIdProgress)), std::make_optional(std::make_pair(1, 3)));
    EXPECT_EQ(ProgressPosition(Field(kIdProgress)), std::optional<int>(1));
    ASSERT_NO_FATAL_FAILURE(ExpectBox(box, L"Excel取り込み終わりました", MessageBoxIcon::kInformation));
    ASSERT_TRUE(ServerEnded());

    const xlserver::Workbook saved = ReadBook(book);
    ASSERT_EQ(saved.sheets.size(), 1u);
    const xlserver::Sheet& sheet = saved.sheets[0];
    EXPECT_EQ(sheet.At(1, 2), Cell::Number(120));
    EXPECT_EQ(sheet.At(2, 2), Cell::Number(1.25));
    EXPECT_EQ(sheet.At(3, 2), Cell::Number(187.5));
    EXPECT_EQ(sheet.At(1, 1), Cell::Text("USD/JPY"));
    EXPECT_EQ(sheet.cells.size(), 6u);

    // The probe, then one query per pair, all by code.
    EXPECT_EQ(ServiceCallsSince(asked), (std::vector<std::string>{"ConversionRate USD JPY -> 120", "ConversionRate USD JPY -> 120",
                                                 "ConversionRate EUR USD -> 1.25", "ConversionRate GBP JPY -> 187.5"}));

    EXPECT_EQ(Calls(), (std::vector<std::string>{
                           "create Application (objects 1)",
                           "call Application.Workbooks 0x23C get ()",
                           OpenCall(book),
                           "call Workbook.Worksheets 0x1EE get ()",
                           "call Sheets.Item 0xAA get (VT_I2 1)",
                           "call Worksheet.Range 0xC5 get (VT_BSTR \"A1\", VT_BSTR \"A3\")",
                           "call Worksheet.Range 0xC5 get (VT_BSTR \"B1\", VT_BSTR \"B3\")",
                           "call Range.Count 0x76 get ()",
                           "call Range.Count 0x76 get ()",
                           "call Range.Value 0x6 get ()",
                           "call Range.Value 0x6 put (VT_ARRAY|VT_R8 3x1 from 0,0)",
                           "call Workbooks.Close 0x115 method ()",
                           "call Application.Quit 0x12E method ()",
                       }));
    EXPECT_EQ(Releases(), (std::vector<std::string>{"Range", "Range", "Worksheet", "Sheets", "Workbook", "Workbooks",
                                                     "Application"}));

    EXPECT_EQ(ReadUserString(key, L"FilePath"), std::optional<std::wstring>(book));
    EXPECT_EQ(ReadUserString(key, L"SheetNo"), std::optional<std::wstring>(L"1"));
    EXPECT_EQ(ReadUserString(key, L"CellToRead1"), std::optional<std::wstring>(L"A1"));
    EXPECT_EQ(ReadUserString(key, L"CellToRead2"), std::optional<std::wstring>(L"A3"));
    EXPECT_EQ(ReadUserString(key, L"CellToWrite1"), std::optional<std::wstring>(L"B1"));
    EXPECT_EQ(ReadUserString(key, L"CellToWrite2"), std::optional<std::wstring>(L"B3"));
}

TEST_F(ExcelTest, UnknownCodesAreReportedAndLeftAtZeroWhileTheBarSteps) {
    const std::wstring book = WriteBook(L"codes.xls", {SheetOf({{"usd/jpy"}, {"EU"}, {"GBP/JPY"}}, "Rates")});
    ASSERT_NO_FATAL_FAILURE(StartOnExcelPage());
    ASSERT_NO_FATAL_FAILURE(Fill(book, L"1", L"A1", L"A3", L"B1", L"B3"));
    const size_t asked = ServiceCalls().size();

    // Each message comes while its row is being handled: the bar has taken
    // one step per row before it.
    const auto first = PressImport();
    EXPECT_EQ(ProgressRange(Field(kIdProgress)), std::make_optional(std::make_pair(1, 3)));
    const std::optional<int> atFirst = ProgressPosition(Field(kIdProgress));
    ASSERT_NO_FATAL_FAILURE(ExpectBox(first, L"通貨コードが見つかりません usd/jpy", MessageBoxIcon::kExclamation));
    const auto second = NextBox();
    const std::optional<int> atSecond = ProgressPosition(Field(kIdProgress));
    ASSERT_NO_FATAL_FAILURE(ExpectBox(second, L"通貨コードが見つかりません EU", MessageBoxIcon::kExclamation));
    ASSERT_TRUE(atFirst && atSecond);
    EXPECT_EQ(*atFirst, 1);
    EXPECT_EQ(*atSecond, 2);
    const auto done = NextBox();
    EXPECT_EQ(ProgressPosition(Field(kIdProgress)), std::optional<int>(1));
    ASSERT_NO_FATAL_FAILURE(ExpectBox(done, L"Excel取り込み終わりました", MessageBoxIcon::kInformation));
    ASSERT_TRUE(ServerEnded());

    const xlserver::Sheet sheet = ReadBook(book).sheets.at(0);
    EXPECT_EQ(sheet.At(1, 2), Cell::Number(0));
    EXPECT_EQ(sheet.At(2, 2), Cell::Number(0));
    EXPECT_EQ(sheet.At(3, 2), Cell::Number(187.5));
    // The rows without a pair were never asked for.
    EXPECT_EQ(ServiceCallsSince(asked),
              (std::vector<std::string>{"ConversionRate USD JPY -> 120", "ConversionRate GBP JPY -> 187.5"}));
}

TEST_F(ExcelTest, RangesOfDifferentSizesStopBeforeAnyQuery) {
    const std::wstring book = WriteBook(L"sizes.xls", {SheetOf({{"USD/JPY"}, {"EUR/USD"}, {"GBP/JPY"}}, "Rates")});
    const std::string before = ReadAll(book);
    ASSERT_NO_FATAL_FAILURE(StartOnExcelPage());
    ASSERT_NO_FATAL_FAILURE(Fill(book, L"1", L"A1", L"A3", L"B1", L"B4"));
    const size_t asked = ServiceCalls().size();

    ASSERT_NO_FATAL_FAILURE(ExpectBox(PressImport(), L"読込セルと書出セルの数が違います", MessageBoxIcon::kExclamation));
    ASSERT_TRUE(ServerEnded());
    EXPECT_TRUE(ServiceCallsSince(asked).empty());
    // Both counts were asked; nothing was read, written, closed or quit, and
    // every object went in reverse order.
    const std::vector<std::string> calls = Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "call Range.Count 0x76 get ()");
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "call Range.Count 0x76 get ()"), 2);
    EXPECT_EQ(Releases(), (std::vector<std::string>{"Range", "Range", "Worksheet", "Sheets", "Workbook", "Workbooks",
                                                     "Application"}));
    EXPECT_EQ(ReadAll(book), before);
    ExpectNoSettingsSaved();
}

TEST_F(ExcelTest, NoServiceAnsweringTheProbeStopsBeforeAnyPair) {
    ASSERT_NO_FATAL_FAILURE(UseServices(Url("closed", "/CurrencyConvertor.asmx"), Url("closed", "/soap")));
    const std::wstring book = WriteBook(L"offline.xls", {SheetOf({{"USD/JPY"}, {"EUR/USD"}}, "Rates")});
    const std::string before = ReadAll(book);
    ASSERT_NO_FATAL_FAILURE(StartOnExcelPage());
    ASSERT_NO_FATAL_FAILURE(Fill(book, L"1", L"A1", L"A2", L"B1", L"B2"));

    ASSERT_NO_FATAL_FAILURE(ExpectBox(PressImport(), L"Webサービス接続エラー!", MessageBoxIcon::kExclamation));
    ASSERT_TRUE(ServerEnded());
    const std::vector<std::string> calls = Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "call Range.Value 0x6 get ()");
    EXPECT_EQ(Releases(), (std::vector<std::string>{"Range", "Range", "Worksheet", "Sheets", "Workbook", "Workbooks",
                                                     "Application"}));
    EXPECT_EQ(ReadAll(book), before);
    ExpectNoSettingsSaved();
}

// Under Wine no loopback socket shows its owner, so with the owner check on
// the fixture's own services count as another user's.
TEST_F(ExcelTest, ALoopbackServiceOfAnotherOwnerIsAskedNothing) {
    ASSERT_TRUE(WriteUserDword(SectionKey(L"Service"), L"CheckLocalServiceOwner", 1));
    const std::wstring book = WriteBook(L"foreign.xls", {SheetOf({{"USD/JPY"}, {"EUR/USD"}}, "Rates")});
    const std::string before = ReadAll(book);
    ASSERT_NO_FATAL_FAILURE(StartOnExcelPage());
    ASSERT_NO_FATAL_FAILURE(Fill(book, L"1", L"A1", L"A2", L"B1", L"B2"));
    const size_t asked = ServiceCalls().size();

    ASSERT_NO_FATAL_FAILURE(ExpectBox(PressImport(),
                                      L"ローカルのレートサービスがこのユーザーのものと確認できないため、問い合わせませんでした",
                                      MessageBoxIcon::kExclamation));
    ASSERT_TRUE(ServerEnded());
    EXPECT_TRUE(ServiceCallsSince(asked).empty());
    EXPECT_EQ(ReadAll(book), before);
    ExpectNoSettingsSaved();
}

TEST_F(ExcelTest, TwoColumnReadRangeGivesOnePairPerRow) {
    const std::wstring book =
        WriteBook(L"block.xls", {SheetOf({{"USD/JPY", "not read"}, {"EUR/USD", "neither"}}, "Rates")});
    ASSERT_NO_FATAL_FAILURE(StartOnExcelPage());
    ASSERT_NO_FATAL_FAILURE(Fill(book, L"1", L"A1", L"B2", L"C1", L"C4"));
    const size_t asked = ServiceCalls().size();

    ASSERT_NO_FATAL_FAILURE(ExpectBox(PressImport(), L"Excel取り込み終わりました", MessageBoxIcon::kInformation));
    ASSERT_TRUE(ServerEnded());
    EXPECT_EQ(ServiceCallsSince(asked), (std::vector<std::string>{"ConversionRate USD JPY -> 120",
                                                                  "ConversionRate USD JPY -> 120",
                                                                  "ConversionRate EUR USD -> 1.25"}));
    const std::vector<std::string> calls = Calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "call Range.Value 0x6 put (VT_ARRAY|VT_R8 2x1 from 0,0)"),
              calls.end());
    // The two-row result fills the first two cells; Excel marks the rest #N/A.
    const xlserver::Sheet sheet = ReadBook(book).sheets.at(0);
    EXPECT_EQ(sheet.At(1, 3), Cell::Number(120));
    EXPECT_EQ(sheet.At(2, 3), Cell::Number(1.25));
    EXPECT_EQ(sheet.At(3, 3), Cell::Error("#N/A"));
    EXPECT_EQ(sheet.At(4, 3), Cell::Error("#N/A"));
}

TEST_F(ExcelTest, ExchangeRateServiceAnswersByCountryWhenTheConversionRateServiceIsDown) {
    ASSERT_NO_FATAL_FAILURE(UseServices(Url("closed", "/CurrencyConvertor.asmx"), RateService("/soap")));
    const std::wstring book = WriteBook(L"countries.xls", {SheetOf({{"USD/JPY"}, {"EUR/USD"}, {"GBP/JPY"}}, "Rates")});
    ASSERT_NO_FATAL_FAILURE(StartOnExcelPage());
    ASSERT_NO_FATAL_FAILURE(Fill(book, L"1", L"A1", L"A3", L"B1", L"B3"));
    const size_t asked = ServiceCalls().size();

    ASSERT_NO_FATAL_FAILURE(ExpectBox(PressImport(), L"Excel取り込み終わりました", MessageBoxIcon::kInformation));
    ASSERT_TRUE(ServerEnded());
    EXPECT_EQ(ServiceCallsSince(asked),
              (std::vector<std::string>{"getRate \"usa\" \"japan\" -> 120", "getRate \"usa\" \"japan\" -> 120",
                                        "getRate \"euro\" \"usa\" -> 1.25", "getRate \"england\" \"japan\" -> 187.5"}));
    const xlserver::Sheet sheet = ReadBook(book).sheets.at(0);
    EXPECT_EQ(sheet.At(1, 2), Cell::Number(120));
    EXPECT_EQ(sheet.At(2, 2), Cell::Number(1.25));
    EXPECT_EQ(sheet.At(3, 2), Cell::Number(187.5));
}

// Each error ends its import with the server's own text and the stop icon,
// releases every object without Close or Quit, leaves the workbook as it
// was and the settings as they were.
TEST_F(ExcelTest, ErrorsOfTheServerEndTheImportAndSaveNothing) {
    const std::wstring book = WriteBook(
        L"two-sheets.xls", {SheetOf({{"USD/JPY"}, {"EUR/USD"}}, "One"), ErrorSheet()});
    const std::string before = ReadAll(book);
    const std::wstring missing = dir_ + L"\\gone.xls";
    const std::wstring key = SectionKey(L"Excel");
    ASSERT_TRUE(WriteUserString(key, L"FilePath", L"C:\\earlier.xls"));
    ASSERT_TRUE(WriteUserString(key, L"CellToRead1", L"D1"));
    ASSERT_NO_FATAL_FAILURE(StartOnExcelPage());

    struct Case {
        std::wstring path;
        const wchar_t* sheet;
        const wchar_t *readFrom, *readTo, *writeFrom, *writeTo;
        std::wstring text;
        std::vector<std::string> released;
    };
    const std::vector<std::string> all = {"Range", "Range", "Worksheet", "Sheets", "Workbook", "Workbooks",
                                          "Application"};
    const Case cases[] = {
        {missing, L"1", L"A1", L"A2", L"B1", L"B2",
         L"'" + missing + L"' could not be found. Check the spelling of the file name, and verify that the file "
                          L"location is correct.",
         {"Workbooks", "Application"}},
        {book, L"3", L"A1", L"A2", L"B1", L"B2", L"Invalid index.", {"Sheets", "Workbook", "Workbooks", "Application"}},
        {book, L"2", L"A0", L"A2", L"B1", L"B2", L"Method 'Range' of object '_Worksheet' failed",
         {"Worksheet", "Sheets", "Workbook", "Workbooks", "Application"}},
        // One cell's value is not an array.
        {book, L"1", L"A1", L"A1", L"B1", L"B1", L"An invalid argument was encountered.", all},
        // An error value has no text.
        {book, L"2", L"B1", L"B2", L"C1", L"C2", L"Type mismatch.", all},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.text));
        DeleteFileW(log_.c_str());
        ASSERT_NO_FATAL_FAILURE(Fill(c.path, c.sheet, c.readFrom, c.readTo, c.writeFrom, c.writeTo));
        ASSERT_NO_FATAL_FAILURE(ExpectBox(PressImport(), c.text, MessageBoxIcon::kError));
        ASSERT_TRUE(ServerEnded());
        EXPECT_EQ(Releases(), c.released);
        for (const std::string& call : Calls()) {
            EXPECT_EQ(call.find("Close"), std::string::npos);
            EXPECT_EQ(call.find("Quit"), std::string::npos);
            EXPECT_EQ(call.find("Value 0x6 put"), std::string::npos);
        }
    }
    EXPECT_EQ(ReadAll(book), before);
    // The values saved by an earlier import stay; none was added.
    EXPECT_EQ(ReadUserString(key, L"FilePath"), std::optional<std::wstring>(L"C:\\earlier.xls"));
    EXPECT_EQ(ReadUserString(key, L"CellToRead1"), std::optional<std::wstring>(L"D1"));
    for (const wchar_t* name : {L"SheetNo", L"CellToRead2", L"CellToWrite1", L"CellToWrite2"})
        EXPECT_FALSE(ReadUserString(key, name).has_value()) << Narrow(name);
}

// A read range too large to be a list of pairs is refused from its count,
// before its values are fetched or anything is allocated for them; the
// import stops like any other stop.
TEST_F(ExcelTest, HugeRangesAreRefusedBeforeTheirValuesAreFetched) {
    const std::wstring book = WriteBook(L"huge.xls", {SheetOf({{"USD/JPY"}, {"EUR/USD"}}, "Rates")});
    const std::string before = ReadAll(book);
    ASSERT_NO_FATAL_FAILURE(StartOnExcelPage());
    struct Case {
        const wchar_t *readFrom, *readTo, *writeFrom, *writeTo;
    };
    const Case cases[] = {
        {L"A1", L"D1048576", L"E1", L"H1048576"},
        {L"A1", L"A1048576", L"B1", L"B1048576"},
        {L"A1", L"B32769", L"C1", L"D32769"},  // two cells over
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.readTo));
        DeleteFileW(log_.c_str());
        const size_t asked = ServiceCalls().size();
        ASSERT_NO_FATAL_FAILURE(Fill(book, L"1", c.readFrom, c.readTo, c.writeFrom, c.writeTo));
        ASSERT_NO_FATAL_FAILURE(
            ExpectBox(PressImport(), L"読込セルが多すぎます(65536セルまで)", MessageBoxIcon::kExclamation));
        ASSERT_TRUE(ServerEnded());
        const std::vector<std::string> calls = Calls();
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.back(), "call Range.Count 0x76 get ()");
        EXPECT_EQ(Releases(), (std::vector<std::string>{"Range", "Range", "Worksheet", "Sheets", "Workbook",
                                                         "Workbooks", "Application"}));
        EXPECT_TRUE(ServiceCallsSince(asked).empty());
    }
    EXPECT_EQ(ReadAll(book), before);
    ExpectNoSettingsSaved();
}

// The import writes its rates and nothing else: styles, names, column
// widths, formulas, dates and comments come back byte for byte.
TEST_F(ExcelTest, ImportKeepsEverythingButTheWrittenCells) {
    const std::string original = R"(<?xml version="1.0"?>
<?mso-application progid="Excel.Sheet"?>
<Workbook xmlns="urn:schemas-microsoft-com:office:spreadsheet" xmlns:ss="urn:schemas-microsoft-com:office:spreadsheet">
 <Styles><Style ss:ID="s21"><NumberFormat ss:Format="0.0000"/></Style></Styles>
 <Names><NamedRange ss:Name="Pairs" ss:RefersTo="=Rates!R1C1:R2C1"/></Names>
 <Worksheet ss:Name="Rates">
  <Table ss:ExpandedColumnCount="3" ss:ExpandedRowCount="2">
   <Column ss:Width="80.25"/>
   <Row><Cell><Data ss:Type="String">USD/JPY</Data><Comment><ss:Data>written by hand</ss:Data></Comment></Cell><Cell ss:StyleID="s21" ss:Formula="=1+1"><Data ss:Type="Number">2</Data></Cell><Cell><Data ss:Type="DateTime">2024-01-31T00:00:00.000</Data></Cell></Row>
   <Row><Cell><Data ss:Type="String">EUR/USD</Data></Cell></Row>
  </Table>
 </Worksheet>
</Workbook>
)";
    const std::wstring book = WriteText(L"rich.xls", original);
    ASSERT_NO_FATAL_FAILURE(StartOnExcelPage());
    ASSERT_NO_FATAL_FAILURE(Fill(book, L"1", L"A1", L"A2", L"B1", L"B2"));
    ASSERT_NO_FATAL_FAILURE(ExpectBox(PressImport(), L"Excel取り込み終わりました", MessageBoxIcon::kInformation));
    ASSERT_TRUE(ServerEnded());

    std::string expected = original;
    for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
             {R"(<Cell ss:StyleID="s21" ss:Formula="=1+1"><Data ss:Type="Number">2</Data>)",
              R"(<Cell ss:StyleID="s21"><Data ss:Type="Number">120</Data>)"},
             {R"(EUR/USD</Data></Cell>)",
              R"(EUR/USD</Data></Cell><Cell ss:Index="2"><Data ss:Type="Number">1.25</Data></Cell>)"}}) {
        const size_t at = expected.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        expected.replace(at, from.size(), to);
    }
    EXPECT_EQ(ReadAll(book), expected);
}

TEST_F(ExcelTest, SheetFieldHoldingTextSavesTheSpinControlsWholeReport) {
    const std::wstring book = WriteBook(L"flag.xls", {SheetOf({{"USD/JPY"}, {"GBP/JPY"}}, "One"), SheetOf({{"EUR/USD"}, {"USD/JPY"}}, "Two")});
    ASSERT_NO_FATAL_FAILURE(StartOnExcelPage());
    ASSERT_NO_FATAL_FAILURE(Fill(book, L"two", L"A1", L"A2", L"B1", L"B2"));

    ASSERT_NO_FATAL_FAILURE(ExpectBox(PressImport(), L"Excel取り込み終わりました", MessageBoxIcon::kInformation));
    ASSERT_TRUE(ServerEnded());
    // The sheet came from the low word alone; the setting keeps the error
    // flag of the high word.
    int used = 0;
    for (const std::string& call : Calls())
        if (call.rfind("call Sheets.Item 0xAA get (VT_I2 ", 0) == 0) used = std::atoi(call.c_str() + 33);
    ASSERT_GE(used, 1);
    const auto saved = ReadUserString(SectionKey(L"Excel"), L"SheetNo");
    ASSERT_TRUE(saved.has_value());
    const long report = std::wcstol(saved->c_str(), nullptr, 10);
    EXPECT_GT(report, 65535) << Narrow(*saved);
    EXPECT_EQ(report & 0xFFFF, used);
}

TEST_F(ExcelTest, ToolTipsNameTheCellFieldsAndShowThePathWithinTheirBuffer) {
    ASSERT_NO_FATAL_FAILURE(StartOnExcelPage());
    HWND tip = nullptr;
    for (HWND candidate : ToolTipControls(app_.pid()))
        if (ToolTipText(candidate, page_, Field(kIdReadFrom)).value_or(L"") != L"") tip = candidate;
    ASSERT_TRUE(tip) << "no tooltip control knows the cell fields";
    const auto text = [&](int id) { return ToolTipText(tip, page_, Field(id)).value_or(L"(no tool)"); };

    EXPECT_EQ(text(kIdReadFrom), L"通貨ペア(例:USD/JPY)を書込んだ最初のセルナンバー");
    EXPECT_EQ(text(kIdReadTo), L"通貨ペア(例:USD/JPY)を書込んだ最後のセルナンバー");
    EXPECT_EQ(text(kIdWriteFrom), L"レートを書出す最初のセルナンバー");
    EXPECT_EQ(text(kIdWriteTo), L"レートを書出す最後のセルナンバー");
    EXPECT_EQ(text(kIdImport), L"");
    EXPECT_EQ(text(kIdPath), L"");  // no path, no tip

    ASSERT_TRUE(SetControlText(Field(kIdPath), L"C:\\rates\\book.xls"));
    EXPECT_EQ(text(kIdPath), L"C:\\rates\\book.xls");
    // 79 characters fill the 80-character buffer; a longer path keeps its end.
    const std::wstring fits = L"C:\\" + std::wstring(70, L'f') + L"\\a.xls";
    ASSERT_EQ(fits.size(), 79u);
    ASSERT_TRUE(SetControlText(Field(kIdPath), fits));
    EXPECT_EQ(text(kIdPath), fits);
    const std::wstring longPath = L"C:\\" + std::wstring(300, L'd') + L"\\workbook-with-a-long-name.xls";
    ASSERT_TRUE(SetControlText(Field(kIdPath), longPath));
    EXPECT_EQ(text(kIdPath), L"..." + longPath.substr(longPath.size() - 76));
    EXPECT_EQ(WindowText(Field(kIdPath)), longPath);
}

// The file dialog the page opens: a dialog window of the program other than
// its main dialog and pages.
HWND WaitForFileDialog(DWORD pid, HWND mainDialog) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND hwnd : TopLevelWindows(pid))
                if (hwnd != mainDialog && IsWindowVisible(hwnd) && ClassName(hwnd) == kDialogClass &&
                    GetDlgItem(hwnd, IDOK) && GetDlgItem(hwnd, kIdFileName))
                    found = hwnd;
            return found != nullptr;
        },
        kWindowTimeout);
    return found;
}

TEST_F(ExcelTest, WorkbookButtonPutsTheChosenFilesPathInTheField) {
    const std::wstring book = WriteBook(L"chosen.xls", {SheetOf({{"USD/JPY"}}, "Rates")});
    ASSERT_NO_FATAL_FAILURE(StartOnExcelPage());
    ASSERT_TRUE(SetControlText(Field(kIdPath), L"C:\\before.xls"));

    // Cancel changes nothing.
    ASSERT_TRUE(ClickButton(Field(kIdBrowse)));
    HWND dialog = WaitForFileDialog(app_.pid(), app_.mainDialog());
    ASSERT_TRUE(dialog) << "no file dialog";
    EXPECT_EQ(WindowText(GetDlgItem(dialog, kIdFileName)), L"*.xls");
    EXPECT_EQ(WindowText(GetDlgItem(dialog, kIdFileType)), L"EXCELファイル(*.xls)");
    ASSERT_TRUE(ClickButton(GetDlgItem(dialog, IDCANCEL)));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, kReactTimeout));
    EXPECT_EQ(FieldText(kIdPath), L"C:\\before.xls");

    ASSERT_TRUE(ClickButton(Field(kIdBrowse)));
    dialog = WaitForFileDialog(app_.pid(), app_.mainDialog());
    ASSERT_TRUE(dialog) << "no file dialog";
    ASSERT_TRUE(SetControlText(GetDlgItem(dialog, kIdFileName), book));
    ASSERT_TRUE(ClickButton(GetDlgItem(dialog, IDOK)));
    EXPECT_TRUE(WaitUntil([&] { return FieldText(kIdPath) == book; }, kReactTimeout)) << Narrow(FieldText(kIdPath));
}

// Runs the stand-in server with one switch and waits for it to end.
bool RunServer(const wchar_t* option) {
    AppProcess server;
    const std::string exe = XLSERVER_EXE;
    if (!server.Start(ToWindowsPath(std::wstring(exe.begin(), exe.end())), option)) return false;
    return server.WaitForExit() == std::optional<DWORD>(0);
}

class NoExcelTest : public ExcelTest {
protected:
    void TearDown() override {
        ExcelTest::TearDown();
        // The other cases need it back.
        EXPECT_TRUE(RunServer(L"/RegServer"));
    }
};

TEST_F(NoExcelTest, WithoutAnExcelNothingIsOpenedOrSaved) {
    const std::wstring book = WriteBook(L"unused.xls", {SheetOf({{"USD/JPY"}}, "Rates")});
    ASSERT_TRUE(RunServer(L"/UnregServer"));
    ASSERT_NO_FATAL_FAILURE(StartOnExcelPage());
    ASSERT_NO_FATAL_FAILURE(Fill(book, L"1", L"A1", L"A2", L"B1", L"B2"));

    ASSERT_NO_FATAL_FAILURE(
        ExpectBox(PressImport(), L"Cannot start Excel and get Application object.", MessageBoxIcon::kExclamation));
    EXPECT_TRUE(ServerLog().empty());
    ExpectNoSettingsSaved();
}

}  // namespace
}  // namespace driver::zelvane
