// Placeholder until the terminal message boxes land.
#include "platform/win32.h"
extern "C" HWND WINAPI GetActiveWindow(void) { return nullptr; }
extern "C" int WINAPI MessageBoxA(HWND, LPCSTR, LPCSTR, UINT) { return IDOK; }
extern "C" void WINAPI InitCommonControls(void) {}
