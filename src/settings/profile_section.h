// Access to one named section of one settings file.
//
// A plain value holding two names: the file's path and the section's name,
// each copied in and cut to 259 bytes like CopyText. It keeps nothing of any
// file between calls; each ReadString and WriteString is exactly one call of
// the platform's settings-file functions, and destroying it touches nothing.
#ifndef QUILLMOOR_SETTINGS_PROFILE_SECTION_H_
#define QUILLMOOR_SETTINGS_PROFILE_SECTION_H_

#include <stdint.h>

#include "text/fixed_text.h"

class ProfileSection {
 public:
  ProfileSection(const char* file_name, const char* section_name);

  // Later calls go to this file; the section name stays.
  void SetFile(const char* file_name);
  void SetSection(const char* section_name);

  // Puts the key's value, cut to capacity - 1 bytes, into destination, or
  // default_text when the file, the section or the key is missing. Returns
  // destination.
  char* ReadString(const char* key, const char* default_text,
                   char* destination, uint32_t capacity) const;

  // Sets key = value in the section, adding the section or the key where
  // missing. True when the platform reports that the file holds it.
  bool WriteString(const char* key, const char* value) const;

  const char* file_name() const { return file_name_.c_str(); }
  const char* section_name() const { return section_name_.c_str(); }

 private:
  PathText file_name_;
  PathText section_name_;
};

#endif  // QUILLMOOR_SETTINGS_PROFILE_SECTION_H_
