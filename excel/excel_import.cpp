// The import behind the Excel page's button: pairs read from one range of a
// worksheet, one rate asked for each, all rates written to another range in
// one assignment. Runs on the GUI thread from start to end.
#include <objbase.h>

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "app/main_app.h"
#include "app/service_settings.h"
#include "excel/automation.h"
#include "excel/currency_pair.h"
#include "excel/pg_excel.h"
#include "rates/service_probe.h"

namespace {

// Every pair is one query on this thread, and the values of the read range
// travel as one array: a range larger than the sheets of old Excel had rows
// is no list of pairs and is refused before anything is fetched or
// allocated for it.
constexpr long kMaxReadCells = 65536;
constexpr char kTooManyCells[] = "読込セルが多すぎます(65536セルまで)";

void Message(const std::string& text, UINT icon = MB_ICONEXCLAMATION) { App().DoMessageBox(text, MB_OK | icon); }

class WaitCursor {
public:
    WaitCursor() : wait_(LoadCursorW(nullptr, IDC_WAIT)), old_(SetCursor(wait_)) {}
    ~WaitCursor() { SetCursor(old_); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
    // A message box takes the cursor away; this puts it back.
    void Restore() const { SetCursor(wait_); }

private:
    HCURSOR wait_;
    HCURSOR old_;
};

// The batch's own COM initialisation, undone once (on any path).
class ComScope {
public:
    ComScope() : hr_(CoInitialize(nullptr)) {}
    ~ComScope() { End(); }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    void End() {
        if (SUCCEEDED(hr_)) CoUninitialize();
        hr_ = E_FAIL;
    }

private:
    HRESULT hr_;
};

// The service that answered the probe serves every pair.
class RateService {
public:
    // nullptr, or the message to show when neither service answered.
    const char* Probe(const rates::ServiceSettings& settings) {
        return rates::ProbeServices(settings, &convertor_, &exchange_);
    }

    // 0 when the call fails: the user is not told.
    double Rate(const excel::CurrencyPair& pair) {
        double rate = 0.0;
        rates::AskProbedService(convertor_.get(), exchange_.get(), pair.from, pair.to, &rate);
        return rate;
    }

    void Delete() {
        convertor_.reset();
        exchange_.reset();
    }

private:
    std::unique_ptr<rates::CCurrencyConvertor> convertor_;
    std::unique_ptr<rates::CCurrencyExchangeService> exchange_;
};

struct ImportFields {
    std::string path;
    std::string readFrom, readTo, writeFrom, writeTo;
    short sheet;
};

// The objects are declared in the order they are obtained, so any return or
// error releases them in reverse order, without closing the workbook or
// quitting Excel. The settings are saved only at the end of a complete
// import, before the objects go.
void RunBatch(const ImportFields& fields, const ui::Window& progress, const WaitCursor& wait,
              const CPgExcel& page, void (CPgExcel::*saveSettings)() const) {
    excel::CDispatch application = excel::CreateApplication();
    if (!application) {
        Message("Cannot start Excel and get Application object.");
        return;
    }
    excel::CDispatch workbooks = excel::GetWorkbooks(application);
    excel::CDispatch workbook = excel::OpenWorkbook(workbooks, fields.path);
    excel::CDispatch sheets = excel::GetWorksheets(workbook);
    excel::CDispatch sheet = excel::GetSheet(sheets, fields.sheet);
    excel::CDispatch readRange = excel::GetRange(sheet, fields.readFrom, fields.readTo);
    excel::CDispatch writeRange = excel::GetRange(sheet, fields.writeFrom, fields.writeTo);
    const long readCells = excel::GetCount(readRange);
    if (readCells != excel::GetCount(writeRange)) {
        Message("読込セルと書出セルの数が違います");
        return;
    }
    if (readCells > kMaxReadCells) {
        Message(kTooManyCells);
        return;
    }

    const excel::RangeValues pairs(readRange);
    const long count = pairs.Rows();
    // The array is the server's word, not the count's.
    if (count > kMaxReadCells) {
        Message(kTooManyCells);
        return;
    }
    std::vector<double> results(static_cast<size_t>(count > 0 ? count : 0), 0.0);

    ComScope com;
    RateService service;
    if (const char* failure = service.Probe(ReadServiceSettings())) {
        Message(failure);
        return;
    }

    progress.Send(PBM_SETRANGE32, 1, static_cast<LPARAM>(count));
    progress.Send(PBM_SETSTEP, 1);
    for (long row = 1; row <= count; ++row) {
        const std::string text = pairs.CellText(row);
        // A code outside the list has no index: its row stays 0 and the
        // service is not asked.
        if (const auto pair = excel::LookupPair(text)) {
            results[static_cast<size_t>(row - 1)] = service.Rate(*pair);
        } else {
            Message("通貨コードが見つかりません " + text);
        }
        progress.Send(PBM_STEPIT);
    }
    progress.Send(PBM_SETPOS, 0);

    excel::PutValues(writeRange, results);
    wait.Restore();
    Message("Excel取り込み終わりました", MB_ICONINFORMATION);

    service.Delete();
    com.End();
    excel::CloseWorkbooks(workbooks);
    excel::Quit(application);
    (page.*saveSettings)();
}

}  // namespace

void CPgExcel::OnImport() {
    ImportFields fields;
    fields.path = m_edPath.Text();
    if (fields.path.empty()) {
        Message("Excelファイルを選択してください");
        return;
    }
    fields.readFrom = m_edReadFrom.Text();
    fields.readTo = m_edReadTo.Text();
    fields.writeFrom = m_edWriteFrom.Text();
    fields.writeTo = m_edWriteTo.Text();
    if (fields.readFrom.empty() || fields.readTo.empty() || fields.writeFrom.empty() || fields.writeTo.empty()) {
        Message("読込/書出セルを入力してください");
        return;
    }

    WaitCursor wait;
    try {
        // The index is the position alone, without the error flag.
        fields.sheet = static_cast<short>(LOWORD(SpinReport()));
        RunBatch(fields, m_progress, wait, *this, &CPgExcel::SaveSettings);
    } catch (const excel::AutomationError& error) {
        Message(error.what(), MB_ICONSTOP);
    } catch (const std::bad_alloc&) {
        // Nothing may leave through the window procedure. The batch's
        // objects are released by now, as after any stop.
        Message("メモリが足りないためExcel取り込みを中止しました", MB_ICONSTOP);
    } catch (...) {
        Message("Excel取り込み中にエラーが発生しました", MB_ICONSTOP);
    }
}
