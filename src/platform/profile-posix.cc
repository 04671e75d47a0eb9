// Placeholder until the settings-file engine lands.
#include "platform/win32.h"
extern "C" DWORD WINAPI GetPrivateProfileStringA(LPCSTR, LPCSTR, LPCSTR, LPSTR out, DWORD capacity, LPCSTR) { if (out && capacity) out[0] = 0; return 0; }
extern "C" BOOL WINAPI WritePrivateProfileStringA(LPCSTR, LPCSTR, LPCSTR, LPCSTR) { return FALSE; }
