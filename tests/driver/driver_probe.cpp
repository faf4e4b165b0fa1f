// A stand-in program for the driver's own tests: shows one message box with
// the caption, text and MessageBox type given on its command line and ends
// with the button's id as its exit code.
//   driver_probe.exe <type as a number> <caption> <text>
#include <windows.h>

#include <cwchar>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 4) return 255;
    const UINT type = static_cast<UINT>(std::wcstoul(argv[1], nullptr, 0));
    const int answer = MessageBoxW(nullptr, argv[3], argv[2], type);
    LocalFree(argv);
    return answer;
}
