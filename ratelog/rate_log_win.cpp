#include "ratelog/rate_log.h"

#include <windows.h>

#include <ctime>

#include "app/main_app.h"
#include "ui/file_win.h"
#include "ui/scoped_handle.h"
#include "ui/text.h"

namespace {

// Appends the whole line or nothing. The file is created when missing, never
// truncated, and shared with no one while it is open.
bool AppendLine(const std::wstring& path, const std::string& line) {
    // A path beyond the platform's limit is refused rather than cut short,
    // which would write to another file.
    if (path.empty() || path.size() >= MAX_PATH) return false;
    ui::ScopedHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    LARGE_INTEGER end = {};
    if (!SetFilePointerEx(file.get(), LARGE_INTEGER{}, &end, FILE_END)) return false;
    if (ui::WriteAll(file.get(), line)) return true;
    // Half a line (a full disk) would leave the next one to run into it:
    // take it back.
    if (SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN)) SetEndOfFile(file.get());
    return false;
}

// The poll's timer keeps firing inside the error box's own loop: without
// this, a folder that has gone would stack a new box every poll.
bool errorBoxOpen = false;

}  // namespace

void WriteRateLog(std::string pair, double rate) {
    const std::wstring path = ui::Widen(LogState.FolderPath + LogFileName(pair));
    const std::time_t now = std::time(nullptr);
    std::tm local = {};
    localtime_s(&local, &now);
    if (AppendLine(path, RateLogLine(LogState.LogStampFormat, local, rate))) return;

    // The line is lost either way; logging stays on and the next poll after
    // the box is closed tries again.
    if (errorBoxOpen) return;
    errorBoxOpen = true;
    App().DoMessageBox("ファイルを開けませんでした", MB_OK | MB_ICONHAND);
    errorBoxOpen = false;
}
