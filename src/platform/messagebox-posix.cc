// Message boxes on the terminal. A box prints its caption and icon on one
// line ("Failure! [error]"), then its text with its line feeds, then one
// empty line. Only when standard input is a terminal does it wait for Enter:
// scripts feeding the program never have an answer eaten by a box.
#include <stdio.h>
#include <unistd.h>

#include "platform/win32.h"

namespace {

const char* IconName(UINT type) {
  switch (type & 0xF0u) {
    case MB_ICONERROR:
      return "error";
    case 0x20u:  // MB_ICONQUESTION
      return "question";
    case MB_ICONWARNING:
      return "warning";
    case MB_ICONINFORMATION:
      return "information";
    default:
      return nullptr;
  }
}

}  // namespace

// The program has no window of its own.
extern "C" HWND WINAPI GetActiveWindow(void) { return nullptr; }

// The terminal needs no window classes registered.
extern "C" void WINAPI InitCommonControls(void) {}

extern "C" int WINAPI MessageBoxA(HWND, LPCSTR text, LPCSTR caption,
                                  UINT type) {
  // A null caption is the platform's "Error".
  fputs(caption != nullptr ? caption : "Error", stdout);
  if (const char* icon = IconName(type)) printf(" [%s]", icon);
  printf("\n%s\n\n", text != nullptr ? text : "");
  fflush(stdout);
  if (isatty(STDIN_FILENO)) {
    int c;
    do c = getchar();
    while (c != '\n' && c != EOF);
  }
  return IDOK;
}
