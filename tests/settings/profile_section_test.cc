// The read and write rules of settings files, as both builds see them: on
// Windows against the platform's own functions, elsewhere against ours.
#include "settings/profile_section.h"

#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/scratch.h"

namespace {

const char kDefault[] = "<default>";

std::string Read(const ProfileSection& section, const char* key,
                 uint32_t capacity = 4096) {
  std::vector<char> out(capacity + 1, '#');
  char* result = section.ReadString(key, kDefault, out.data(), capacity);
  EXPECT_EQ(result, out.data());
  EXPECT_EQ(out[capacity], '#') << "written beyond the capacity";
  return std::string(out.data());
}

struct ReadCase {
  const char* fixture;  // under fixtures/read/
  const char* section;
  const char* key;
  const char* expected;  // kDefault when the key has no value
};

const ReadCase kReadCases[] = {
    {"names-ignore-ascii-case.ini", "User", "Menu1", "found"},
    {"names-ignore-ascii-case.ini", "USER", "MENU1", "found"},
    {"names-ignore-ascii-case.ini", "User", "Menu", kDefault},
    {"blanks-around-names-and-values.ini", "user2", "menu1", "spaced value"},
    {"text-after-header-ignored.ini", "user", "menu1", "a"},
    {"header-without-bracket-opens-nothing.ini", "user", "menu2", kDefault},
    {"header-without-bracket-opens-nothing.ini", "other", "menu1", "other"},
    {"quotes.ini", "q", "double", "a"},
    {"quotes.ini", "q", "single", "a"},
    {"quotes.ini", "q", "two", "a\" \"b"},
    {"quotes.ini", "q", "lone", "\""},
    {"quotes.ini", "q", "unmatched", "\"a'"},
    {"quotes.ini", "q", "inside", "  x  "},
    {"quotes.ini", "q", "spaced", "b"},
    {"quotes.ini", "q", "empty", ""},
    {"no-comments.ini", "user", ";menu1", "x"},
    {"no-comments.ini", "user", "menu1", "x ;c"},
    {"no-comments.ini", "user", "menu2", kDefault},
    {"no-comments.ini", "user", "#menu3", "y"},
    {"duplicates-first-wins.ini", "user", "menu1", "first"},
    {"duplicates-first-wins.ini", "user", "menu2", kDefault},
    {"mixed-line-ends.ini", "user", "a", "1"},
    {"mixed-line-ends.ini", "user", "b", "2"},
    {"mixed-line-ends.ini", "user", "c", "3"},
    {"mixed-line-ends.ini", "user", "d", "4"},
    {"utf8-bom-passed-over.ini", "user", "menu1", "x"},
    {"utf16-bom.ini", "user", "menu1", "Caf\xE9 \x80"},
    {"utf16-bom.ini", "user", "menu2", "?"},
    {"keys-before-any-section.ini", "user", "menu1", kDefault},
    {"keys-before-any-section.ini", "user", "menu2", "here"},
    {"empty-and-equals.ini", "user", "empty", ""},
    {"empty-and-equals.ini", "user", "blank", ""},
    {"empty-and-equals.ini", "user", "eq", "a=b"},
    {"names-ignore-ascii-case.ini", "missing", "menu1", kDefault},
    {"no-such-file.ini", "user", "menu1", kDefault},
};

TEST(ReadString, FollowsThePlatformsReadingRules) {
  for (const ReadCase& c : kReadCases) {
    const std::string fixture = std::string(QUILLMOOR_FIXTURES) + "/read/" + c.fixture;
    const ProfileSection section(fixture.c_str(), c.section);
    EXPECT_EQ(Read(section, c.key), c.expected)
        << c.fixture << " [" << c.section << "] " << c.key;
  }
}

TEST(ReadString, CutsToCapacityMinusOne) {
  const std::string fixture =
      std::string(QUILLMOOR_FIXTURES) + "/read/long-values.ini";
  const ProfileSection section(fixture.c_str(), "user");
  const struct {
    const char* key;
    uint32_t capacity;
    size_t length;
    char fill;
  } kCases[] = {
      {"v259", 260, 259, 'a'},  {"v300", 260, 259, 'b'},
      {"v300", 301, 300, 'b'},  {"v2047", 2048, 2047, 'c'},
      {"v3000", 2048, 2047, 'd'}, {"v300", 1, 0, 'b'},
      {"v300", 2, 1, 'b'},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(Read(section, c.key, c.capacity), std::string(c.length, c.fill))
        << c.key << " capacity " << c.capacity;
  }
}

TEST(ReadString, MissingThingsGiveTheDefault) {
  const std::string path = scratch::Path("missing.ini");
  const ProfileSection section(path.c_str(), "User");
  char out[16];
  memset(out, '#', sizeof out);
  EXPECT_EQ(section.ReadString("Menu1", "", out, sizeof out), out);
  EXPECT_STREQ(out, "");
  EXPECT_FALSE(scratch::Exists(path)) << "reading made the file";
}

struct Write {
  const char* section;
  const char* key;
  const char* value;
};

struct WriteCase {
  const char* name;  // fixtures/write/<name>.ini and <name>.expected.ini
  std::vector<Write> writes;
  // The bytes depend on how the file is rewritten, which the platform's own
  // rewrite does differently (it drops blank lines and turns LF into CR LF):
  // on Windows only the values read back are compared.
  bool layout_only;
};

const WriteCase kWriteCases[] = {
    {"replace-keeps-spelling-and-neighbours", {{"user", "menu1", "new value"}}, true},
    {"new-key-after-last-key-line", {{"a", "z", "3"}}, true},
    {"new-key-in-section-without-keys", {{"a", "z", "3"}}, false},
    {"new-section-at-end", {{"b", "y", "2"}}, true},
    {"lf-line-ends-kept", {{"a", "y", "2"}, {"b", "y", "2"}}, true},
    {"no-final-line-end-kept", {{"a", "y", "2"}, {"b", "y", "2"}}, true},
    {"missing-file-created", {{"b", "y", "2"}}, false},
    {"utf8-bom-kept", {{"a", "y", "2"}, {"b", "y", "2"}}, true},
    {"utf16-stays-utf16", {{"a", "y", "2"}, {"b", "y", "2"}}, true},
    {"first-duplicate-section-written", {{"A", "X", "9"}}, true},
    {"same-value-changes-nothing", {{"a", "x", "1"}}, false},
};

TEST(WriteString, AddsOrReplacesAndKeepsEveryOtherByte) {
  for (const WriteCase& c : kWriteCases) {
    SCOPED_TRACE(c.name);
    const std::string path = scratch::Path(std::string(c.name) + ".ini");
    const std::string before =
        scratch::Fixture(std::string("write/") + c.name + ".ini");
    if (!before.empty()) scratch::WriteBytes(path, before);
    for (const Write& w : c.writes) {
      const ProfileSection section(path.c_str(), w.section);
      EXPECT_TRUE(section.WriteString(w.key, w.value));
    }
    for (const Write& w : c.writes) {
      const ProfileSection section(path.c_str(), w.section);
      EXPECT_EQ(Read(section, w.key), w.value) << w.section << " " << w.key;
    }
#ifdef _WIN32
    if (c.layout_only) continue;
#endif
    EXPECT_EQ(scratch::ReadBytes(path),
              scratch::Fixture(std::string("write/") + c.name + ".expected.ini"));
  }
}

TEST(WriteString, ReadsBackLessOuterBlanksAndOnePairOfQuotes) {
  const struct {
    const char* value;
    const char* read_back;
  } kCases[] = {
      {"plain", "plain"},       {"  padded  ", "padded"},
      {"\"quoted\"", "quoted"}, {"'single'", "single"},
      {"\"a\" \"b\"", "a\" \"b"}, {"%P%N -x", "%P%N -x"},
      {"a=b;c", "a=b;c"},       {"", ""},
  };
  const std::string path = scratch::Path("readback.ini");
  const ProfileSection section(path.c_str(), "s");
  for (const auto& c : kCases) {
    EXPECT_TRUE(section.WriteString("k", c.value)) << c.value;
    EXPECT_EQ(Read(section, "k"), c.read_back) << c.value;
  }
}

TEST(ProfileSection, NamesAreCopiedAndCutTo259Bytes) {
  const std::string exact(259, 'f');
  const std::string longer(300, 'g');
  const ProfileSection a(exact.c_str(), exact.c_str());
  EXPECT_EQ(std::string(a.file_name()), exact);
  EXPECT_EQ(std::string(a.section_name()), exact);
  ProfileSection b(longer.c_str(), longer.c_str());
  EXPECT_EQ(std::string(b.file_name()), longer.substr(0, 259));
  EXPECT_EQ(std::string(b.section_name()), longer.substr(0, 259));
  std::string caller = "first.ini";
  b.SetFile(caller.c_str());
  caller[0] = 'X';
  EXPECT_STREQ(b.file_name(), "first.ini");
}

TEST(ProfileSection, SetFileMovesReadsAndWritesButNotTheSection) {
  const std::string one = scratch::Path("one.ini");
  const std::string two = scratch::Path("two.ini");
  scratch::WriteBytes(one, "[User]\r\nMenu1=from one\r\n");
  scratch::WriteBytes(two, "[User]\r\nMenu1=from two\r\n");
  ProfileSection section(one.c_str(), "User");
  EXPECT_EQ(Read(section, "Menu1"), "from one");
  section.SetFile(two.c_str());
  EXPECT_STREQ(section.section_name(), "User");
  EXPECT_EQ(Read(section, "Menu1"), "from two");
  EXPECT_TRUE(section.WriteString("Menu2", "added"));
  EXPECT_EQ(scratch::ReadBytes(one), "[User]\r\nMenu1=from one\r\n");
  EXPECT_EQ(scratch::ReadBytes(two),
            "[User]\r\nMenu1=from two\r\nMenu2=added\r\n");
}

TEST(ProfileSection, DestroyingItTouchesNoFile) {
  const std::string path = scratch::Path("untouched.ini");
  scratch::WriteBytes(path, "[User]\nMenu1=x\n");
  { const ProfileSection section(path.c_str(), "User"); }
  EXPECT_EQ(scratch::ReadBytes(path), "[User]\nMenu1=x\n");
}

}  // namespace
