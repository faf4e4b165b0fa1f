#include "tests/driver/message_box.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "tests/driver/screen.h"
#include "tests/driver/user_input.h"
#include "tests/driver/window_query.h"

namespace driver {

namespace {

constexpr int kMessageTextId = 0xFFFF;
constexpr wchar_t kDialogClass[] = L"#32770";
constexpr UINT kSendTimeoutMs = 5000;
// Mean difference per colour channel above which a capture matches none of
// the system icons. The right icon drawn the same way matches exactly; the
// closest wrong pair (question and information) differs by about 5.
constexpr long long kMaxMeanDifference = 2;

SIZE IconSize(HICON icon) {
    SIZE size = {GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)};
    ICONINFO info = {};
    if (GetIconInfo(icon, &info)) {
        BITMAP bm = {};
        HBITMAP shape = info.hbmColor ? info.hbmColor : info.hbmMask;
        if (GetObjectW(shape, sizeof(bm), &bm)) {
            size.cx = bm.bmWidth;
            size.cy = info.hbmColor ? bm.bmHeight : bm.bmHeight / 2;
        }
        if (info.hbmColor) DeleteObject(info.hbmColor);
        if (info.hbmMask) DeleteObject(info.hbmMask);
    }
    return size;
}

// The icon a static control shows, found by drawing each system icon the
// way the control draws it and comparing with the screen. The box's icon
// handle belongs to the other process and cannot be inspected from here.
MessageBoxIcon IdentifyIcon(HWND iconControl) {
    // A box without an icon may keep the control, empty.
    DWORD_PTR handle = 0;
    if (SendMessageTimeoutW(iconControl, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &handle) &&
        handle == 0)
        return MessageBoxIcon::kNone;
    RECT rc;
    if (!GetWindowRect(iconControl, &rc)) return MessageBoxIcon::kUnknown;
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    if (w <= 0 || h <= 0) return MessageBoxIcon::kUnknown;
    Pixels shot(w, h);
    if (!shot.ok()) return MessageBoxIcon::kUnknown;
    // The box may not have painted yet right after it appeared.
    if (!WaitUntil([&] { return CaptureScreen(rc, shot) && !shot.Uniform(); }, kReactTimeout))
        return MessageBoxIcon::kUnknown;

    struct Candidate {
        const wchar_t* id;
        MessageBoxIcon icon;
    };
    const Candidate candidates[] = {{IDI_HAND, MessageBoxIcon::kError},
                                    {IDI_QUESTION, MessageBoxIcon::kQuestion},
                                    {IDI_EXCLAMATION, MessageBoxIcon::kExclamation},
                                    {IDI_ASTERISK, MessageBoxIcon::kInformation}};
    MessageBoxIcon best = MessageBoxIcon::kUnknown;
    long long bestScore = LLONG_MAX;
    for (const Candidate& c : candidates) {
        HICON icon = LoadIconW(nullptr, c.id);
        if (!icon) continue;
        const SIZE size = IconSize(icon);
        // Drawn at the control's corner, or centred in it.
        const POINT origins[] = {{0, 0}, {(w - size.cx) / 2, (h - size.cy) / 2}};
        for (const POINT& at : origins) {
            Pixels drawn(w, h);
            if (!drawn.ok()) continue;
            drawn.Fill(shot.at(0, 0));
            DrawIconEx(drawn.dc(), at.x, at.y, icon, size.cx, size.cy, 0, nullptr, DI_NORMAL);
            const long long score = shot.Difference(drawn);
            if (score < bestScore) {
                bestScore = score;
                best = c.icon;
            }
        }
    }
    if (bestScore / (static_cast<long long>(w) * h * 3) > kMaxMeanDifference) return MessageBoxIcon::kUnknown;
    return best;
}

bool IsIconStatic(HWND hwnd) {
    const LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_STYLE);
    return ClassName(hwnd) == L"Static" && (style & SS_TYPEMASK) == SS_ICON && IsWindowVisible(hwnd);
}

MessageBoxInfo Read(HWND box) {
    MessageBoxInfo info;
    info.hwnd = box;
    info.caption = WindowText(box);
    info.text = WindowText(GetDlgItem(box, kMessageTextId));
    HWND iconControl = nullptr;
    for (HWND child : ChildWindows(box)) {
        if (!IsWindowVisible(child)) continue;
        const std::wstring cls = ClassName(child);
        if (cls == L"Button")
            info.buttons.push_back({ControlId(child), WindowText(child)});
        else if (IsIconStatic(child))
            iconControl = child;
    }
    info.icon = iconControl ? IdentifyIcon(iconControl) : MessageBoxIcon::kNone;
    return info;
}

}  // namespace

const char* IconName(MessageBoxIcon icon) {
    switch (icon) {
    case MessageBoxIcon::kNone: return "none";
    case MessageBoxIcon::kError: return "error";
    case MessageBoxIcon::kQuestion: return "question";
    case MessageBoxIcon::kExclamation: return "exclamation";
    case MessageBoxIcon::kInformation: return "information";
    case MessageBoxIcon::kUnknown: break;
    }
    return "unknown";
}

bool MessageBoxInfo::HasButton(int id) const {
    for (const MessageBoxButton& b : buttons)
        if (b.id == id) return true;
    return false;
}

std::string MessageBoxInfo::ButtonSet() const {
    std::string set;
    for (const MessageBoxButton& b : buttons) {
        const char* name = "?";
        switch (b.id) {
        case IDOK: name = "OK"; break;
        case IDCANCEL: name = "Cancel"; break;
        case IDABORT: name = "Abort"; break;
        case IDRETRY: name = "Retry"; break;
        case IDIGNORE: name = "Ignore"; break;
        case IDYES: name = "Yes"; break;
        case IDNO: name = "No"; break;
        default: break;
        }
        if (!set.empty()) set += "|";
        set += name;
    }
    return set;
}

std::optional<MessageBoxInfo> FindMessageBox(DWORD pid) {
    for (HWND hwnd : TopLevelWindows(pid)) {
        if (!IsWindowVisible(hwnd) || ClassName(hwnd) != kDialogClass) continue;
        if (GetDlgItem(hwnd, kMessageTextId)) return Read(hwnd);
    }
    return std::nullopt;
}

std::optional<MessageBoxInfo> WaitForMessageBox(DWORD pid, milliseconds timeout) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND hwnd : TopLevelWindows(pid))
                if (IsWindowVisible(hwnd) && ClassName(hwnd) == kDialogClass && GetDlgItem(hwnd, kMessageTextId)) {
                    found = hwnd;
                    return true;
                }
            return false;
        },
        timeout);
    if (!found) return std::nullopt;
    return Read(found);
}

bool AnswerMessageBox(const MessageBoxInfo& box, int buttonId) {
    if (!box.HasButton(buttonId)) return false;
    return ClickButton(GetDlgItem(box.hwnd, buttonId));
}

}  // namespace driver
