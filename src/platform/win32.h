/* The system's one door to the operating system.
 *
 * On Windows this includes the platform's own headers and the system calls
 * the platform's functions. Elsewhere it declares our own layer under the
 * platform's names, types and signatures; the layer (the CMake library
 * `platform`) implements just what the system relies on of each function:
 *
 *   GetPrivateProfileStringA   the value of one key, or the default text,
 *                              cut to capacity - 1 bytes. Null section or key
 *                              (the listing forms) give the empty text.
 *   WritePrivateProfileStringA sets one key, adding section or key where
 *                              missing; TRUE once the file on disk holds it.
 *                              Null key or value (the deleting forms), and
 *                              names or values that would not read back as
 *                              themselves (line breaks, "=" in a key, "]" in
 *                              a section), are refused with FALSE.
 *   FindFirstFileA / FindClose a search for one path (wildcards * and ? in
 *                              its last part); fills the find record.
 *   ExpandEnvironmentStringsA  %NAME% replaced by the variable's value, an
 *                              unset one left as written; returns the size
 *                              the result needs, its zero byte included.
 *   GetACP / IsDBCSLeadByte    the ANSI code page of the process's locale.
 *   MessageBoxA, GetOpenFileNameA, GetSaveFileNameA
 *                              stand-ins on the terminal (see the README).
 *   GetActiveWindow            null: the program has no window.
 *   InitCommonControls         nothing to do.
 *
 * It compiles as C and as C++. */
#ifndef QUILLMOOR_PLATFORM_WIN32_H_
#define QUILLMOOR_PLATFORM_WIN32_H_

#if defined(_WIN32)

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#else

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define WINAPI
#define CALLBACK
#define APIENTRY

typedef int BOOL;
typedef unsigned char BYTE;
typedef char CHAR;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef unsigned int UINT;
typedef int32_t LONG;
typedef intptr_t LONG_PTR;
typedef uintptr_t UINT_PTR;
typedef LONG_PTR LPARAM;
typedef UINT_PTR WPARAM;
typedef const char* LPCSTR;
typedef char* LPSTR;
typedef void* HANDLE;
typedef struct HWND__* HWND;
typedef struct HINSTANCE__* HINSTANCE;

#define TRUE 1
#define FALSE 0
#define MAX_PATH 260
#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)

#define MB_OK 0x00000000u
#define MB_ICONERROR 0x00000010u
#define MB_ICONHAND MB_ICONERROR
#define MB_ICONWARNING 0x00000030u
#define MB_ICONEXCLAMATION MB_ICONWARNING
#define MB_ICONINFORMATION 0x00000040u
#define MB_ICONASTERISK MB_ICONINFORMATION
#define IDOK 1

#define SW_SHOWDEFAULT 10

#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u

#define OFN_PATHMUSTEXIST 0x00000800u
#define OFN_FILEMUSTEXIST 0x00001000u
/* The request without the members added for Windows 2000, as the 32-bit
 * platform counts it. Our dialogs accept it as well as the full size. */
#define OPENFILENAME_SIZE_VERSION_400A 76u

typedef struct _FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
} FILETIME;

typedef struct _WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  CHAR cFileName[MAX_PATH];
  CHAR cAlternateFileName[14];
} WIN32_FIND_DATAA, *LPWIN32_FIND_DATAA;

typedef UINT_PTR(CALLBACK* LPOFNHOOKPROC)(HWND, UINT, WPARAM, LPARAM);

typedef struct tagOFNA {
  DWORD lStructSize;
  HWND hwndOwner;
  HINSTANCE hInstance;
  LPCSTR lpstrFilter;
  LPSTR lpstrCustomFilter;
  DWORD nMaxCustFilter;
  DWORD nFilterIndex;
  LPSTR lpstrFile;
  DWORD nMaxFile;
  LPSTR lpstrFileTitle;
  DWORD nMaxFileTitle;
  LPCSTR lpstrInitialDir;
  LPCSTR lpstrTitle;
  DWORD Flags;
  WORD nFileOffset;
  WORD nFileExtension;
  LPCSTR lpstrDefExt;
  LPARAM lCustData;
  LPOFNHOOKPROC lpfnHook;
  LPCSTR lpTemplateName;
  void* pvReserved;
  DWORD dwReserved;
  DWORD FlagsEx;
} OPENFILENAMEA, *LPOPENFILENAMEA;

/* KERNEL32 */
DWORD WINAPI GetPrivateProfileStringA(LPCSTR section, LPCSTR key,
                                      LPCSTR defaultText, LPSTR out,
                                      DWORD capacity, LPCSTR file);
BOOL WINAPI WritePrivateProfileStringA(LPCSTR section, LPCSTR key,
                                       LPCSTR value, LPCSTR file);
HANDLE WINAPI FindFirstFileA(LPCSTR path, LPWIN32_FIND_DATAA found);
BOOL WINAPI FindClose(HANDLE search);
DWORD WINAPI ExpandEnvironmentStringsA(LPCSTR source, LPSTR out,
                                       DWORD capacity);
UINT WINAPI GetACP(void);
BOOL WINAPI IsDBCSLeadByte(BYTE byte);

/* USER32 */
HWND WINAPI GetActiveWindow(void);
int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

/* COMCTL32 */
void WINAPI InitCommonControls(void);

/* comdlg32 */
BOOL WINAPI GetOpenFileNameA(LPOPENFILENAMEA request);
BOOL WINAPI GetSaveFileNameA(LPOPENFILENAMEA request);

#ifdef __cplusplus
}
#endif

#endif /* _WIN32 */

#endif /* QUILLMOOR_PLATFORM_WIN32_H_ */
