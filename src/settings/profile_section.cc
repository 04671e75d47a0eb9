#include "settings/profile_section.h"

#include "platform/win32.h"

ProfileSection::ProfileSection(const char* file_name,
                               const char* section_name) {
  SetFile(file_name);
  SetSection(section_name);
}

void ProfileSection::SetFile(const char* file_name) {
  CopyText(file_name_, file_name);
}

void ProfileSection::SetSection(const char* section_name) {
  CopyText(section_name_, section_name);
}

char* ProfileSection::ReadString(const char* key, const char* default_text,
                                 char* destination, uint32_t capacity) const {
  GetPrivateProfileStringA(section_name_.c_str(), key, default_text,
                           destination, capacity, file_name_.c_str());
  return destination;
}

bool ProfileSection::WriteString(const char* key, const char* value) const {
  return WritePrivateProfileStringA(section_name_.c_str(), key, value,
                                    file_name_.c_str()) != FALSE;
}
