#include "tests/chart/chart_view.h"

#include <cstdio>
#include <vector>

#include "tests/driver/window_query.h"
#include "tests/driver/wine_path.h"

namespace driver::chart {

HWND FindPanel(DWORD pid) {
    for (HWND hwnd : TopLevelWindows(pid)) {
        if (!IsWindowVisible(hwnd) || ClassName(hwnd) != L"#32770") continue;
        if ((GetWindowLongW(hwnd, GWL_STYLE) & WS_CAPTION) == WS_CAPTION) continue;
        return hwnd;
    }
    return nullptr;
}

namespace {

INT_PTR CALLBACK NoHandling(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

void Put(std::vector<WORD>& t, const wchar_t* s) {
    do t.push_back(static_cast<WORD>(*s)); while (*s++);
}

}  // namespace

SIZE TemplateWindowSize(int cx, int cy) {
    // DLGTEMPLATE, then no menu, the default class, no title, the font.
    std::vector<WORD> t;
    const DWORD style = DS_SETFONT | WS_POPUP | WS_BORDER;
    t.push_back(LOWORD(style));
    t.push_back(HIWORD(style));
    t.insert(t.end(), {0, 0, 0, 0, 0, static_cast<WORD>(cx), static_cast<WORD>(cy), 0, 0});
    Put(t, L"");
    t.push_back(8);
    Put(t, L"MS Shell Dlg");
    SIZE size = {-1, -1};
    HWND probe = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<DLGTEMPLATE*>(t.data()),
                                            nullptr, NoHandling, 0);
    if (!probe) return size;
    RECT rc;
    if (GetWindowRect(probe, &rc)) size = {rc.right - rc.left, rc.bottom - rc.top};
    DestroyWindow(probe);
    return size;
}

std::unique_ptr<Pixels> CaptureClient(HWND panel) {
    RECT rc;
    POINT origin = {0, 0};
    if (!GetClientRect(panel, &rc) || !ClientToScreen(panel, &origin) || rc.right <= 0 || rc.bottom <= 0)
        return nullptr;
    auto shot = std::make_unique<Pixels>(rc.right, rc.bottom);
    const RECT screen = {origin.x, origin.y, origin.x + rc.right, origin.y + rc.bottom};
    if (!shot->ok() || !CaptureScreen(screen, *shot)) return nullptr;
    return shot;
}

int CountInRow(const Pixels& p, int y, uint32_t colour) {
    if (y < 0 || y >= p.height()) return 0;
    int n = 0;
    for (int x = 0; x < p.width(); ++x)
        if (p.at(x, y) == colour) ++n;
    return n;
}

bool ColourNear(const Pixels& p, int x, int y, int radius, uint32_t colour) {
    for (int yy = y - radius; yy <= y + radius; ++yy)
        for (int xx = x - radius; xx <= x + radius; ++xx)
            if (xx >= 0 && yy >= 0 && xx < p.width() && yy < p.height() && p.at(xx, yy) == colour) return true;
    return false;
}

int CountOutside(const Pixels& p, const RECT& rc, uint32_t colour) {
    int n = 0;
    for (int y = 0; y < p.height(); ++y)
        for (int x = 0; x < p.width(); ++x)
            if ((x < rc.left || x >= rc.right || y < rc.top || y >= rc.bottom) && p.at(x, y) == colour) ++n;
    return n;
}

bool SaveBitmap(const Pixels& p, const wchar_t* path) {
    const int stride = (p.width() * 3 + 3) & ~3;
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof(info);
    info.biWidth = p.width();
    info.biHeight = p.height();  // bottom-up
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + static_cast<DWORD>(stride * p.height());
    FILE* out = _wfopen(path, L"wb");
    if (!out) return false;
    bool ok = std::fwrite(&file, sizeof(file), 1, out) == 1 && std::fwrite(&info, sizeof(info), 1, out) == 1;
    std::vector<unsigned char> row(static_cast<size_t>(stride), 0);
    for (int y = p.height() - 1; ok && y >= 0; --y) {
        for (int x = 0; x < p.width(); ++x) {
            const uint32_t c = p.at(x, y);
            row[static_cast<size_t>(x) * 3 + 0] = static_cast<unsigned char>(c & 0xFF);
            row[static_cast<size_t>(x) * 3 + 1] = static_cast<unsigned char>((c >> 8) & 0xFF);
            row[static_cast<size_t>(x) * 3 + 2] = static_cast<unsigned char>((c >> 16) & 0xFF);
        }
        ok = std::fwrite(row.data(), row.size(), 1, out) == 1;
    }
    return std::fclose(out) == 0 && ok;
}

bool SaveShot(const Pixels& p, const std::string& name) {
    const std::string path = std::string(ZELVANE_CHART_SHOTS) + "/" + name + ".bmp";
    return SaveBitmap(p, ToWindowsPath(std::wstring(path.begin(), path.end())).c_str());
}

}  // namespace driver::chart
