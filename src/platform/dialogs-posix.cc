// Placeholder until the terminal dialogs land.
#include "platform/win32.h"
extern "C" BOOL WINAPI GetOpenFileNameA(LPOPENFILENAMEA) { return FALSE; }
extern "C" BOOL WINAPI GetSaveFileNameA(LPOPENFILENAMEA) { return FALSE; }
