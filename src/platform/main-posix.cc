// The platform's start-up: call WinMain once and end with its result, so
// that -1 becomes exit status 255.
#include "platform/win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line,
                   int show);

int main() {
  char command_line[] = "";
  return WinMain(nullptr, nullptr, command_line, SW_SHOWDEFAULT);
}
