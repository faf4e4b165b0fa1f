#include "excel/pg_excel.h"

#include <commdlg.h>

#include <cstdio>

#include "app/main_app.h"
#include "excel/pg_excel_res.h"
#include "ui/text.h"

namespace {

constexpr char kSection[] = "Excel";
// Maximum 20 in the low word, minimum 1 in the high word.
constexpr LPARAM kSheetRange = 0x10014;

struct ToolTipText {
    int id;
    const wchar_t* text;
};
// The path field's tip is its own text.
constexpr ToolTipText kToolTips[] = {
    {IDC_READ_FROM, L"通貨ペア(例:USD/JPY)を書込んだ最初のセルナンバー"},
    {IDC_READ_TO, L"通貨ペア(例:USD/JPY)を書込んだ最後のセルナンバー"},
    {IDC_WRITE_FROM, L"レートを書出す最初のセルナンバー"},
    {IDC_WRITE_TO, L"レートを書出す最後のセルナンバー"},
};

// Fits text into a tip's fixed buffer (terminator included): a long path
// keeps its end, where the file name is, behind "...".
template <size_t N>
void CopyTipText(wchar_t (&buffer)[N], const std::wstring& text) {
    static_assert(N > 4, "room for the ellipsis");
    std::wstring shown = text;
    if (shown.size() >= N) shown = L"..." + shown.substr(shown.size() - (N - 4));
    shown.copy(buffer, N - 1);
    buffer[shown.size()] = L'\0';
}

}  // namespace

CPgExcel::~CPgExcel() {
    if (m_hToolTip && IsWindow(m_hToolTip)) ::DestroyWindow(m_hToolTip);
}

void CPgExcel::BindControls() {
    m_edPath.Attach(Item(IDC_EXCEL_PATH));
    m_edReadFrom.Attach(Item(IDC_READ_FROM));
    m_edReadTo.Attach(Item(IDC_READ_TO));
    m_edWriteFrom.Attach(Item(IDC_WRITE_FROM));
    m_edWriteTo.Attach(Item(IDC_WRITE_TO));
    m_edSheetNo.Attach(Item(IDC_SHEET_NO));
    m_spinSheet.Attach(Item(IDC_SHEET_SPIN));
    m_progress.Attach(Item(IDC_PROGRESS));
}

bool CPgExcel::OnInitDialog() {
    EnableToolTips();
    m_spinSheet.Send(UDM_SETBUDDY, reinterpret_cast<WPARAM>(m_edSheetNo.hwnd()));
    m_spinSheet.Send(UDM_SETRANGE, 0, kSheetRange);

    m_edPath.SetText(App().ReadSettingString(kSection, "FilePath", ""));
    m_edSheetNo.SetText(App().ReadSettingString(kSection, "SheetNo", "1"));
    m_edReadFrom.SetText(App().ReadSettingString(kSection, "CellToRead1", ""));
    m_edReadTo.SetText(App().ReadSettingString(kSection, "CellToRead2", ""));
    m_edWriteFrom.SetText(App().ReadSettingString(kSection, "CellToWrite1", ""));
    m_edWriteTo.SetText(App().ReadSettingString(kSection, "CellToWrite2", ""));
    return true;
}

void CPgExcel::EnableToolTips() {
    m_hToolTip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, hwnd(), nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!m_hToolTip) return;
    // Every control is a tool; the texts are asked for when a tip shows.
    for (HWND child = GetWindow(hwnd(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        TTTOOLINFOW tool = {};
        tool.cbSize = sizeof(tool);
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = hwnd();
        tool.uId = reinterpret_cast<UINT_PTR>(child);
        tool.lpszText = LPSTR_TEXTCALLBACKW;
        SendMessageW(m_hToolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    SendMessageW(m_hToolTip, TTM_ACTIVATE, TRUE, 0);
}

bool CPgExcel::OnCommand(WORD id, WORD code, HWND control) {
    static const ui::CommandEntry<CPgExcel> kCommands[] = {
        {IDOK, BN_CLICKED, &CPgExcel::OnOK},
        {IDCANCEL, BN_CLICKED, &CPgExcel::OnCancel},
        {IDC_EXCEL_BROWSE, BN_CLICKED, &CPgExcel::OnBrowse},
        {IDC_IMPORT, BN_CLICKED, &CPgExcel::OnImport},
    };
    return ui::Route(this, kCommands, id, code) || ui::Dialog::OnCommand(id, code, control);
}

bool CPgExcel::OnNotify(NMHDR* header, LRESULT* result) {
    // Tools are identified by their window, so idFrom is a handle and the
    // tables by control id do not apply.
    if (header->code == TTN_NEEDTEXTW) {
        *result = OnToolTipText(header);
        return true;
    }
    return ui::Dialog::OnNotify(header, result);
}

LRESULT CPgExcel::OnToolTipText(NMHDR* header) {
    auto* info = reinterpret_cast<NMTTDISPINFOW*>(header);
    info->szText[0] = L'\0';
    info->lpszText = info->szText;
    if (!(info->uFlags & TTF_IDISHWND)) return 0;
    const int id = GetDlgCtrlID(reinterpret_cast<HWND>(header->idFrom));
    if (id == IDC_EXCEL_PATH) {
        CopyTipText(info->szText, ui::Widen(m_edPath.Text()));
        return 0;
    }
    for (const ToolTipText& tip : kToolTips) {
        if (tip.id == id) CopyTipText(info->szText, tip.text);
    }
    return 0;
}

void CPgExcel::OnBrowse() {
    wchar_t file[MAX_PATH] = L"*.xls";
    // "EXCELファイル(*.xls)|*.xls||" in the form the common dialog takes.
    static const wchar_t kFilter[] = L"EXCELファイル(*.xls)\0*.xls\0";
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = hwnd();
    ofn.lpstrFilter = kFilter;
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrDefExt = L"xls";
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER;
    if (GetOpenFileNameW(&ofn)) m_edPath.SetText(ui::Narrow(file));
}

LRESULT CPgExcel::SpinReport() const { return m_spinSheet.Send(UDM_GETPOS); }

void CPgExcel::SaveSettings() const {
    char sheet[16];
    std::snprintf(sheet, sizeof(sheet), "%d", static_cast<int>(SpinReport()));
    App().WriteSettingString(kSection, "FilePath", m_edPath.Text().c_str());
    App().WriteSettingString(kSection, "SheetNo", sheet);
    App().WriteSettingString(kSection, "CellToRead1", m_edReadFrom.Text().c_str());
    App().WriteSettingString(kSection, "CellToRead2", m_edReadTo.Text().c_str());
    App().WriteSettingString(kSection, "CellToWrite1", m_edWriteFrom.Text().c_str());
    App().WriteSettingString(kSection, "CellToWrite2", m_edWriteTo.Text().c_str());
}
