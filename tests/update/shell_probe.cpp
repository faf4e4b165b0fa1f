// Stands in for the browser in the link label's test: registered as the
// shell's handler for https, it writes the command line it was started with
// (UTF-16) to the file named by ZELVANE_SHELL_PROBE_OUT and ends.
#include <windows.h>

#include <cwchar>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t out[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"ZELVANE_SHELL_PROBE_OUT", out, MAX_PATH)) return 1;
    HANDLE file = CreateFileW(out, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 2;
    const wchar_t* line = GetCommandLineW();
    DWORD written = 0;
    const BOOL ok = WriteFile(file, line, static_cast<DWORD>(std::wcslen(line) * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(file);
    return ok ? 0 : 3;
}
