// Random settings files and random reads and writes, run through whichever
// settings-file functions the build has (ours, or the platform's under Wine)
// and held against the plain reader in support/reference_profile.h: every
// read agrees with it, and a write changes the value written and no other.
// Where the two builds lay a rewritten file out differently, the values read
// back are what is compared.
#include <stdint.h>

#include <map>
#include <random>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "settings/profile_section.h"
#include "support/reference_profile.h"
#include "support/scratch.h"

namespace {

// The same numbers on every build (std::mt19937 is fully specified; the
// standard's distributions are not).
class Random {
 public:
  explicit Random(uint32_t seed) : engine_(seed) {}
  size_t Below(size_t n) { return static_cast<size_t>(engine_() % n); }
  template <size_t N>
  const char* Pick(const char* const (&choices)[N]) {
    return choices[Below(N)];
  }

 private:
  std::mt19937 engine_;
};

const char* const kSections[] = {"User", "user", "em_usercmd1", "Other",
                                 "em_usercmd12", "a b"};
const char* const kKeys[] = {"Menu1", "menu1", "Cmd1", "Path", "x", "Param12"};
const char* const kValues[] = {"",          "v",           "\"q\"",
                               "'s'",       " spaced ",    "a=b",
                               ";c",        "\"a\" \"b\"", "\"",
                               "C:\\Program Files\\t.exe", "%P%N -x"};
const char* const kOtherLines[] = {"", ";comment", "no equals sign", "  ",
                                   "#x=y"};
const char* const kLineEnds[] = {"\r\n", "\n", "\r\n", "\r"};
const char* const kBlanks[] = {"", "", " ", "\t", "  "};

std::string RandomFile(Random& random) {
  const char* line_end = random.Pick(kLineEnds);
  std::string file = random.Below(8) == 0 ? "\xEF\xBB\xBF" : "";
  const size_t lines = random.Below(14);
  for (size_t i = 0; i < lines; ++i) {
    switch (random.Below(4)) {
      case 0:
        file += std::string(random.Pick(kBlanks)) + "[" + random.Pick(kBlanks) +
                random.Pick(kSections) + random.Pick(kBlanks) + "]";
        break;
      case 1:
        file += random.Pick(kOtherLines);
        break;
      default:
        file += std::string(random.Pick(kBlanks)) + random.Pick(kKeys) +
                random.Pick(kBlanks) + "=" + random.Pick(kValues);
        break;
    }
    if (i + 1 < lines || random.Below(3) != 0) file += line_end;
  }
  return file;
}

std::string Read(const std::string& path, const char* section,
                 const char* key) {
  char out[512];
  const ProfileSection profile(path.c_str(), section);
  profile.ReadString(key, "<none>", out, sizeof out);
  return out;
}

std::string Expected(const std::string& bytes, const char* section,
                     const char* key) {
  std::string value;
  return reference::Read(bytes, section, key, &value) ? value : "<none>";
}

TEST(SettingsFileProperties, RandomFilesReadAndWriteAsThePlainReaderSays) {
  constexpr int kCases = 300;
  int reads = 0;
  int writes = 0;
  for (int n = 0; n < kCases; ++n) {
    Random random(static_cast<uint32_t>(n) * 2654435761u + 1);
    const std::string path = scratch::Path("property.ini");
    const std::string start = RandomFile(random);
    scratch::WriteBytes(path, start);
    for (int op = 0; op < 8; ++op) {
      const char* section = random.Pick(kSections);
      const char* key = random.Pick(kKeys);
      const std::string before = scratch::ReadBytes(path);
      if (random.Below(5) < 3) {
        ++reads;
        ASSERT_EQ(Read(path, section, key), Expected(before, section, key))
            << "case " << n << ": [" << section << "] " << key << " in\n"
            << before;
        continue;
      }
      ++writes;
      const char* value = random.Pick(kValues);
      const ProfileSection profile(path.c_str(), section);
      ASSERT_TRUE(profile.WriteString(key, value)) << "case " << n;
      const std::string after = scratch::ReadBytes(path);
      auto expected = reference::All(before);
      expected[{reference::Folded(reference::Trim(section)),
                reference::Folded(reference::Trim(key))}] =
          reference::Unquote(reference::Trim(value));
      ASSERT_EQ(reference::All(after), expected)
          << "case " << n << ": [" << section << "] " << key << "=" << value
          << " turned\n" << before << "\ninto\n" << after;
      ASSERT_EQ(Read(path, section, key),
                reference::Unquote(reference::Trim(value)))
          << "case " << n;
    }
  }
  RecordProperty("reads", reads);
  RecordProperty("writes", writes);
  printf("%d files, %d reads, %d writes\n", kCases, reads, writes);
}

}  // namespace
