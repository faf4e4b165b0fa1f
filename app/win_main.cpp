// Entry point of Zelvane.exe.
#include <windows.h>

#include "app/main_app.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    App().InitInstance();
    return 0;
}
