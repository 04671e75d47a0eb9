#include "conversion/convert_entries.h"

#include "conversion/key_name_table.h"

namespace {

// key text <- name followed directly by the index digits.
void BuildKey(PathText& key, const char* name, const DigitsText& digits) {
  CopyText(key, name);
  AppendText(key, digits.c_str());
}

template <size_t C>
void ReadValue(const ProfileSection& source, PathText& key, const char* name,
               const DigitsText& digits, FixedText<C>& field) {
  BuildKey(key, name, digits);
  source.ReadString(key.c_str(), "", field.bytes, C);
}

// Writes one converted entry; false as soon as a write fails.
bool WriteEntry(const PathText& target_path, const DigitsText& digits,
                const StartMenuEntry& entry) {
  PathText section_name;
  CopyText(section_name, kKeyNames.section_prefix);
  AppendText(section_name, digits.c_str());
  const ProfileSection target(target_path.c_str(), section_name.c_str());

  if (!target.WriteString(kKeyNames.menu, entry.menu_caption.c_str())) {
    return false;
  }
  const struct {
    const char* key;
    const char* value;
  } optional[] = {
      {kKeyNames.command, entry.command.c_str()},
      {kKeyNames.parameters, entry.parameters.c_str()},
      {kKeyNames.folder, entry.start_folder.c_str()},
      {kKeyNames.window_state, entry.window_state.c_str()},
  };
  for (const auto& item : optional) {
    if (item.value[0] == '\0') continue;
    if (!target.WriteString(item.key, item.value)) return false;
  }
  return true;
}

}  // namespace

ConversionResult ConvertEntries(const ProfileSection& source,
                                const PathText& target_path) {
  StartMenuEntry entry;
  PathText key;
  DigitsText digits;
  ConversionResult result = {0, false};

  for (EntryIndex index = 1;; ++index) {
    FormatDecimal(index, digits);
    ReadValue(source, key, kKeyNames.menu, digits, entry.menu_caption);
    if (entry.menu_caption.empty()) break;

    if (entry.menu_caption.bytes[0] != '-') {
      ReadValue(source, key, kKeyNames.command, digits, entry.command);
      ReadValue(source, key, kKeyNames.folder, digits, entry.start_folder);
      ReadValue(source, key, kKeyNames.window_state, digits,
                entry.window_state);
      ReadValue(source, key, kKeyNames.parameters, digits, entry.parameters);
      if (!WriteEntry(target_path, digits, entry)) {
        result.write_failed = true;
        break;
      }
      ++result.written;
    }
    // A 16-bit index covers Menu1 to Menu65535; past that the list ends.
    if (index == UINT16_MAX) break;
  }
  return result;
}
