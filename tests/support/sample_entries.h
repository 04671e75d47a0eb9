// Realistic start-menu entries made up from their index, so that a source
// of any size can be streamed to disk and every value checked later without
// holding the source in memory.
#ifndef QUILLMOOR_TESTS_SUPPORT_SAMPLE_ENTRIES_H_
#define QUILLMOOR_TESTS_SUPPORT_SAMPLE_ENTRIES_H_

#include <stdint.h>
#include <stdio.h>

#include <string>

namespace sample {

struct Entry {
  std::string menu;     // ~20 bytes; "-..." for a separator
  std::string command;  // ~40 bytes
  std::string params;   // ~15 bytes, may be empty
  std::string path;     // ~25 bytes, may be empty
  std::string iconic;   // "1", "-1" or empty
};

// separator_every: every so many entries is a separator ("-" caption); 0 for
// none.
inline Entry MakeEntry(uint32_t index, uint32_t separator_every = 0) {
  static const char* const kTools[] = {"Notepad", "Editor", "Archiver",
                                       "Viewer",  "Compare", "Terminal",
                                       "Player",  "Backup"};
  static const char* const kParams[] = {"%P%N", "/s %P%S", "-e \"%P%N\"",
                                        "%N /ro", "/compare %P%N %T%M"};
  const std::string n = std::to_string(index);
  const char* tool = kTools[index % 8];
  Entry e;
  if (separator_every != 0 && index % separator_every == 0) {
    e.menu = index % 2 ? "-" : "-- " + n + " --";
    return e;
  }
  e.menu = std::string(tool) + " entry no. " + n;
  e.command = std::string("C:\\Program Files\\") + tool + "\\" + tool + n +
              ".exe";
  if (index % 5 != 0) e.params = kParams[index % 5];
  if (index % 4 != 1) e.path = "C:\\Users\\Work\\Project" + n;
  if (index % 3 == 0) e.iconic = "1";
  if (index % 7 == 0) e.iconic = "-1";
  return e;
}

// Streams a settings file whose section User holds entries 1..count, with a
// section of other settings before it and one after it. Returns false when
// the file cannot be written.
inline bool WriteSource(const char* path, uint32_t count,
                        uint32_t separator_every = 0) {
  FILE* f = fopen(path, "wb");
  if (f == nullptr) return false;
  static char buffer[1 << 16];
  setvbuf(f, buffer, _IOFBF, sizeof buffer);
  fputs("[Configuration]\r\nInstallDir=C:\\totalcmd\r\nFirstTime=0\r\n"
        "ShowHiddenSystem=1\r\n\r\n[User]\r\n",
        f);
  for (uint32_t i = 1; i <= count; ++i) {
    const Entry e = MakeEntry(i, separator_every);
    fprintf(f, "Menu%u=%s\r\n", i, e.menu.c_str());
    if (e.menu[0] == '-') continue;
    fprintf(f, "Cmd%u=%s\r\n", i, e.command.c_str());
    if (!e.params.empty()) fprintf(f, "Param%u=%s\r\n", i, e.params.c_str());
    if (!e.path.empty()) fprintf(f, "Path%u=%s\r\n", i, e.path.c_str());
    if (!e.iconic.empty()) fprintf(f, "Iconic%u=%s\r\n", i, e.iconic.c_str());
  }
  fputs("\r\n[Layout]\r\nButtonBar=1\r\nDriveBar1=1\r\n", f);
  const bool ok = ferror(f) == 0;
  return fclose(f) == 0 && ok;
}

}  // namespace sample

#endif  // QUILLMOOR_TESTS_SUPPORT_SAMPLE_ENTRIES_H_
