// The ANSI code page follows the process's locale, read from its name
// (LC_ALL, then LC_CTYPE, then LANG) so that a locale need not be installed
// for its code page to apply: "ja_JP.SJIS" gives 932, "zh_CN.GBK" 936,
// "ko_KR.EUC-KR" 949, "zh_TW.BIG5" 950, anything else the single-byte 1252.
#include <ctype.h>
#include <stdlib.h>
#include <string.h>

#include "platform/posix_layer.h"
#include "platform/win32.h"

namespace {

UINT g_forced_code_page = 0;

// Compares ignoring case and the separators "-" and "_".
bool SameCodeset(const char* a, const char* b) {
  for (;;) {
    while (*a == '-' || *a == '_') ++a;
    while (*b == '-' || *b == '_') ++b;
    if (*a == '\0' || *b == '\0') return *a == *b;
    if (tolower(static_cast<unsigned char>(*a)) !=
        tolower(static_cast<unsigned char>(*b))) {
      return false;
    }
    ++a;
    ++b;
  }
}

UINT CodePageOfLocaleName(const char* name) {
  const char* dot = name != nullptr ? strchr(name, '.') : nullptr;
  if (dot == nullptr) return 1252;
  char codeset[32] = {};
  size_t length = 0;
  for (const char* p = dot + 1; *p != '\0' && *p != '@' && length + 1 < sizeof codeset; ++p) {
    codeset[length++] = *p;
  }
  static const struct {
    const char* codeset;
    UINT code_page;
  } kTable[] = {
      {"SJIS", 932},  {"ShiftJIS", 932}, {"CP932", 932},   {"GBK", 936},
      {"CP936", 936}, {"GB2312", 936},   {"EUCCN", 936},   {"EUCKR", 949},
      {"CP949", 949}, {"UHC", 949},      {"BIG5", 950},    {"CP950", 950},
      {"BIG5HKSCS", 950},
  };
  for (const auto& row : kTable) {
    if (SameCodeset(codeset, row.codeset)) return row.code_page;
  }
  return 1252;
}

UINT LocaleCodePage() {
  static const UINT code_page = [] {
    static const char* const kVariables[] = {"LC_ALL", "LC_CTYPE", "LANG"};
    for (const char* variable : kVariables) {
      const char* value = getenv(variable);
      if (value != nullptr && value[0] != '\0') {
        return CodePageOfLocaleName(value);
      }
    }
    return static_cast<UINT>(1252);
  }();
  return code_page;
}

}  // namespace

void SetAnsiCodePageForTesting(UINT code_page) {
  g_forced_code_page = code_page;
}

extern "C" UINT WINAPI GetACP(void) {
  return g_forced_code_page != 0 ? g_forced_code_page : LocaleCodePage();
}

extern "C" BOOL WINAPI IsDBCSLeadByte(BYTE byte) {
  switch (GetACP()) {
    case 932:
      return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936:
    case 949:
    case 950:
      return byte >= 0x81 && byte <= 0xFE;
    default:
      return FALSE;
  }
}
