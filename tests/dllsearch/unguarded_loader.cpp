// The control: winmm delay-loaded as the program loads it, with no limit on
// the DLL search. A winmm.dll planted beside it is loaded, which shows the
// planting reaches a program that does not limit its search.
#include <windows.h>
#include <mmsystem.h>

int main() { return timeGetTime() == 0 ? 1 : 0; }
