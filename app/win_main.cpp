// Entry point of Zelvane.exe.
#include <windows.h>

#include "app/main_app.h"

// The process's first code, before the C runtime and any static constructor:
// DLLs loaded by name (the delay-loaded ones go through LoadLibraryA with a
// bare name) then come from System32 only, never from the program's folder,
// which the user can write and the self-update never cleans. Loads by full
// path are unaffected. CMakeLists.txt makes this the executable's entry.
#ifdef __MINGW32__
extern "C" int WinMainCRTStartup();
extern "C" int ZelvaneEntry() {
    if (!SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) ExitProcess(GetLastError());  // never unguarded
    return WinMainCRTStartup();
}
#endif

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
#ifndef __MINGW32__
    // Other runtimes start here, after their static constructors.
    if (!SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) return 1;
#endif
    App().InitInstance();
    return 0;
}
