// The constant texts of the system: key names shared by the source keys
// (followed directly by the entry's index) and the target keys (bare), the
// target section prefix, and the program's title.
#ifndef QUILLMOOR_CONVERSION_KEY_NAME_TABLE_H_
#define QUILLMOOR_CONVERSION_KEY_NAME_TABLE_H_

struct KeyNameTable {
  const char* command;
  const char* menu;
  const char* folder;
  const char* window_state;
  const char* parameters;
  const char* section_prefix;
  const char* program_title;
};

constexpr KeyNameTable kKeyNames = {
    "Cmd", "Menu", "Path", "Iconic", "Param", "em_usercmd", "Quillmoor",
};

#endif  // QUILLMOOR_CONVERSION_KEY_NAME_TABLE_H_
