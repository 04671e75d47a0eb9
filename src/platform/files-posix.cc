// Placeholder until the file search and environment expansion land.
#include "platform/win32.h"
extern "C" HANDLE WINAPI FindFirstFileA(LPCSTR, LPWIN32_FIND_DATAA) { return INVALID_HANDLE_VALUE; }
extern "C" BOOL WINAPI FindClose(HANDLE) { return FALSE; }
extern "C" DWORD WINAPI ExpandEnvironmentStringsA(LPCSTR, LPSTR, DWORD) { return 0; }
