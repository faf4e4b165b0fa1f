#include "app/about_dlg.h"

#include "app/about_dlg_res.h"
#include "app/main_app.h"
#include "resources/resource.h"
#include "ui/file_win.h"
#include "ui/text.h"
#include "ui/window.h"
#include "update/update_agent.h"

namespace {

constexpr char kSectionUpdate[] = "Update";
// The maker's download folder for this program.
constexpr char kDefaultUpdateBaseUrl[] = "https://zelvane.morvast.example/download/Zelvane/";
constexpr COLORREF kMagenta = RGB(255, 0, 255);

std::string LoadText(UINT id) {
    const wchar_t* text = nullptr;
    // Length 0 asks for a pointer into the resource itself.
    const int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? ui::Narrow(std::wstring_view(text, static_cast<size_t>(length))) : std::string();
}

std::string UpdateBaseUrl() {
    std::string base = App().ReadSettingString(kSectionUpdate, "BaseUrl", kDefaultUpdateBaseUrl);
    if (base.empty()) base = kDefaultUpdateBaseUrl;
    if (base.back() != '/') base += '/';
    return base;
}

}  // namespace

CAboutDlg::CAboutDlg() : ui::Dialog(IDD_ABOUTBOX) {
    m_caption.m_crStart = kMagenta;
    m_caption.m_crText = RGB(0, 0, 0);
}

void CAboutDlg::BindControls() {
    m_link.Subclass(Item(IDC_ABOUT_LINK));
    m_caption.Subclass(Item(IDC_ABOUT_CAPTION));
}

bool CAboutDlg::OnInitDialog() {
    const std::string version = CUpdateAgent::GetFileVersionString(ui::ExecutablePath());
    ui::Window(Item(IDC_ABOUT_VERSION)).SetText("バージョン " + version);
    return true;
}

bool CAboutDlg::OnCommand(WORD id, WORD code, HWND control) {
    static const ui::CommandEntry<CAboutDlg> kCommands[] = {
        {IDOK, BN_CLICKED, &CAboutDlg::OnUpdateCheck},
    };
    return ui::Route(this, kCommands, id, code) || ui::Dialog::OnCommand(id, code, control);
}

// Owned by the About box, so the box cannot be worked while one is open.
int CAboutDlg::MessageBox(const std::string& textUtf8, UINT type) const {
    return ::MessageBoxW(hwnd(), ui::Widen(textUtf8).c_str(), App().appName().c_str(), MessageBoxStyle(type));
}

void CAboutDlg::OnUpdateCheck() {
    // Synchronous: the box does not respond until the update has ended.
    const int code = CUpdateAgent().Update(UpdateBaseUrl(), [this] {
        return MessageBox("最新バージョンにUpdateしますか?", MB_YESNO | MB_ICONQUESTION) == IDYES;
    });
    ShowUpdateResult(code);
    EndDialog(IDOK);
}

void CAboutDlg::ShowUpdateResult(int code) {
    switch (code) {
    case CUpdateAgent::kUpdated: MessageBox(LoadText(IDS_UPDATE_DONE), MB_OK | MB_ICONINFORMATION); break;
    case CUpdateAgent::kNoConnection:
    case CUpdateAgent::kOpenFailed:
        MessageBox(LoadText(IDS_UPDATE_NO_CONNECTION), MB_OK | MB_ICONINFORMATION);
        break;
    case CUpdateAgent::kConfigDownloadFailed: MessageBox("ConfigDownloadFailure!", MB_OK | MB_ICONHAND); break;
    case CUpdateAgent::kFileDownloadFailed: MessageBox("FileDownloadFailure!", MB_OK | MB_ICONHAND); break;
    case CUpdateAgent::kNoExecutableVersion: MessageBox("NoExecutableVersion!", MB_OK | MB_ICONHAND); break;
    case CUpdateAgent::kNotNewer: MessageBox(LoadText(IDS_UPDATE_LATEST), MB_OK | MB_ICONINFORMATION); break;
    case CUpdateAgent::kDeclined: break;
    case CUpdateAgent::kSwitchFailed: MessageBox("FileSwitchFailure!", MB_OK | MB_ICONHAND); break;
    case CUpdateAgent::kBadSignature:
        MessageBox("SignatureFailure! 更新ファイルの署名を確認できないため、更新しませんでした", MB_OK | MB_ICONHAND);
        break;
    case CUpdateAgent::kBadExecutable:
        MessageBox("ExecutableFailure! 更新ファイルが提供されたバージョンの実行ファイルではないため、更新しませんでした",
                   MB_OK | MB_ICONHAND);
        break;
    case CUpdateAgent::kNoReleaseKey:
        MessageBox("このビルドには更新の鍵がないため、自動更新できません。", MB_OK | MB_ICONINFORMATION);
        break;
    case CUpdateAgent::kRestoreFailed:
        MessageBox("FileSwitchFailure! 元のプログラムを戻せませんでした。OldExecutable.bak の名前を元の実行ファイルの名前に戻してください",
                   MB_OK | MB_ICONHAND);
        break;
    default: break;
    }
}
