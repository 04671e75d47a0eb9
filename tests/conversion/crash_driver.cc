// Converts the entries of a source file into a target file, as the run does
// once both are chosen: crash_driver SOURCE TARGET. Exit status 0 when every
// write was taken, 1 when one failed, 2 on wrong use.
#include <stdio.h>

#include "conversion/convert_entries.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: crash_driver SOURCE TARGET\n");
    return 2;
  }
  const ProfileSection source(argv[1], "User");
  PathText target;
  CopyText(target, argv[2]);
  const ConversionResult result = ConvertEntries(source, target);
  printf("%u\n", static_cast<unsigned>(result.written));
  return result.write_failed ? 1 : 0;
}
