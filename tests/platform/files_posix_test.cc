// Our file search and environment expansion, as the system relies on them.
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/posix_internal.h"
#include "platform/win32.h"

namespace {

TEST(MatchesFileNamePattern, WildcardsWithoutRegardToCase) {
  const struct {
    const char* name;
    const char* pattern;
    bool expected;
  } kCases[] = {
      {"wincmd.ini", "*.ini", true},
      {"WINCMD.INI", "*.ini", true},
      {"wincmd.ini", "*.INI", true},
      {"wincmd.ini.bak", "*.ini", false},
      {"wincmd.inix", "*.ini", false},
      {"a.ini", "?.ini", true},
      {"ab.ini", "?.ini", false},
      {".ini", "*.ini", true},
      {"ini", "*.ini", false},
      {"x", "*", true},
      {"", "*", true},
      {"noext", "*.*", true},
      {"noext", "noext.*", true},
      {"a.b.c", "*.c", true},
      {"abcabd", "*abd", true},
      {"abc", "", false},
      {"", "", true},
      {"\xC4rger.ini", "\xE4rger.ini", false},  // only ASCII letters fold
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(MatchesFileNamePattern(c.name, c.pattern), c.expected)
        << '"' << c.name << "\" against \"" << c.pattern << '"';
  }
}

class FindFirstFileTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quillmoor-find-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    Write("wincmd.ini", "[User]\r\nMenu1=Notes\r\n");
    Write("readonly.ini", "x");
    chmod(Path("readonly.ini").c_str(), 0444);
    mkdir(Path("sub").c_str(), 0755);
  }
  void TearDown() override {
    unlink(Path("wincmd.ini").c_str());
    unlink(Path("readonly.ini").c_str());
    rmdir(Path("sub").c_str());
    rmdir(folder_.c_str());
  }
  std::string Path(const std::string& name) const {
    return folder_ + "/" + name;
  }
  void Write(const std::string& name, const std::string& bytes) {
    FILE* file = fopen(Path(name).c_str(), "wb");
    ASSERT_NE(file, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
  }
  std::string folder_;
};

TEST_F(FindFirstFileTest, FillsTheRecordOfTheEntryFound) {
  const struct {
    const char* name;
    std::string path;
    const char* file_name;  // nullptr: nothing found
    DWORD attributes;
    DWORD size;
  } kCases[] = {
      {"plain file", Path("wincmd.ini"), "wincmd.ini", FILE_ATTRIBUTE_NORMAL,
       21},
      {"read-only file", Path("readonly.ini"), "readonly.ini",
       FILE_ATTRIBUTE_READONLY, 1},
      {"folder", Path("sub"), "sub", FILE_ATTRIBUTE_DIRECTORY, 0},
      {"pattern, other case", Path("WIN*.INI"), "wincmd.ini",
       FILE_ATTRIBUTE_NORMAL, 21},
      {"question marks", Path("s?b"), "sub", FILE_ATTRIBUTE_DIRECTORY, 0},
      {"plain name, other case", Path("WINCMD.INI"), nullptr, 0, 0},
      {"missing file", Path("usercmd.ini"), nullptr, 0, 0},
      {"pattern matching nothing", Path("*.txt"), nullptr, 0, 0},
      {"pattern in a folder part", folder_ + "/s*/x.ini", nullptr, 0, 0},
      {"file taken for a folder", Path("wincmd.ini/x"), nullptr, 0, 0},
      {"trailing slash", Path(""), nullptr, 0, 0},
      {"empty path", "", nullptr, 0, 0},
  };
  for (const auto& c : kCases) {
    struct {
      WIN32_FIND_DATAA record;
      unsigned char guard[32];
    } found;
    memset(&found, 0x5A, sizeof found);
    const HANDLE search = FindFirstFileA(c.path.c_str(), &found.record);
    for (unsigned char byte : found.guard) {
      ASSERT_EQ(byte, 0x5A) << c.name << ": written beyond the record";
    }
    if (c.file_name == nullptr) {
      EXPECT_EQ(search, INVALID_HANDLE_VALUE) << c.name;
      continue;
    }
    ASSERT_NE(search, INVALID_HANDLE_VALUE) << c.name;
    EXPECT_STREQ(found.record.cFileName, c.file_name) << c.name;
    EXPECT_EQ(found.record.dwFileAttributes, c.attributes) << c.name;
    EXPECT_EQ(found.record.nFileSizeHigh, 0u) << c.name;
    EXPECT_EQ(found.record.nFileSizeLow, c.size) << c.name;
    EXPECT_STREQ(found.record.cAlternateFileName, "") << c.name;
    EXPECT_EQ(FindClose(search), TRUE) << c.name;
  }
}

TEST_F(FindFirstFileTest, GivesTheLastWriteTimeInThePlatformsUnits) {
  // 2001-02-03 04:05:06.7 UTC.
  const struct timespec times[2] = {{981173106, 700000000},
                                    {981173106, 700000000}};
  ASSERT_EQ(utimensat(AT_FDCWD, Path("wincmd.ini").c_str(), times, 0), 0);
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA(Path("wincmd.ini").c_str(), &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  const uint64_t ticks =
      (static_cast<uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32) |
      found.ftLastWriteTime.dwLowDateTime;
  EXPECT_EQ(ticks, (981173106ULL + 11644473600ULL) * 10000000ULL + 7000000ULL);
  EXPECT_EQ(found.ftLastAccessTime.dwLowDateTime,
            found.ftLastWriteTime.dwLowDateTime);
  FindClose(search);
}

TEST_F(FindFirstFileTest, RelativePathsStartInTheCurrentFolder) {
  char before[4096];
  ASSERT_NE(getcwd(before, sizeof before), nullptr);
  ASSERT_EQ(chdir(folder_.c_str()), 0);
  WIN32_FIND_DATAA found;
  const HANDLE plain = FindFirstFileA("wincmd.ini", &found);
  const HANDLE pattern = FindFirstFileA("*.ini", &found);
  const HANDLE in_sub = FindFirstFileA("sub/*", &found);  // "." at least
  ASSERT_EQ(chdir(before), 0);
  EXPECT_NE(plain, INVALID_HANDLE_VALUE);
  EXPECT_NE(pattern, INVALID_HANDLE_VALUE);
  EXPECT_NE(in_sub, INVALID_HANDLE_VALUE);
  for (HANDLE search : {plain, pattern, in_sub}) {
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
  }
}

TEST(FindFirstFile, RefusesMissingArgumentsAndUnknownHandles) {
  WIN32_FIND_DATAA found;
  EXPECT_EQ(FindFirstFileA(nullptr, &found), INVALID_HANDLE_VALUE);
  EXPECT_EQ(FindFirstFileA("/", nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(FindClose(INVALID_HANDLE_VALUE), FALSE);
  EXPECT_EQ(FindClose(nullptr), FALSE);
  int not_a_search = 0;
  EXPECT_EQ(FindClose(&not_a_search), FALSE);
  const HANDLE search = FindFirstFileA("/tmp", &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  EXPECT_EQ(FindClose(search), TRUE);
  EXPECT_EQ(FindClose(search), FALSE);  // already closed
}

// Sets and clears environment variables for one case.
class Environment {
 public:
  void Set(const char* name, const char* value) {
    names_.push_back(name);
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~Environment() {
    for (const std::string& name : names_) unsetenv(name.c_str());
  }

 private:
  std::vector<std::string> names_;
};

TEST(ExpandEnvironmentStrings, ReplacesKnownVariablesAndNeverOverruns) {
  const std::string long_value(300, 'v');
  const struct {
    const char* name;
    const char* source;
    const char* value;  // of QM_SET; QM_UNSET is never set
    DWORD capacity;
    std::string expected;  // the bytes before the zero byte
    DWORD expected_result;
  } kCases[] = {
      {"set variable", "%QM_SET%", "C:\\wincmd.ini", 64, "C:\\wincmd.ini", 14},
      {"unset variable", "%QM_UNSET%", "x", 64, "%QM_UNSET%", 11},
      {"unset then set", "%QM_UNSET%%QM_SET%", "x", 64, "%QM_UNSET%x", 12},
      {"text around", "a%QM_SET%b", "x", 64, "axb", 4},
      {"lone percent", "100%", "x", 64, "100%", 5},
      {"lone percent after a variable", "%QM_SET%%", "x", 64, "x%", 3},
      {"two percents", "%%", "x", 64, "%%", 3},
      {"name in other case", "%qm_set%", "x", 64, "x", 2},
      {"empty value", "[%QM_SET%]", "", 64, "[]", 3},
      {"empty source", "", "x", 64, "", 1},
      {"cut to the capacity", "%QM_SET%", "abcdefgh", 4, "abc", 9},
      {"exactly fits", "%QM_SET%", "abc", 4, "abc", 4},
      {"value longer than a path", "%QM_SET%", long_value.c_str(), 260,
       long_value.substr(0, 259), 301},
  };
  for (const auto& c : kCases) {
    Environment environment;
    environment.Set("QM_SET", c.value);
    environment.Set("QM_UNSET", nullptr);
    std::vector<char> out(c.capacity + 16, '#');
    const DWORD result =
        ExpandEnvironmentStringsA(c.source, out.data(), c.capacity);
    EXPECT_EQ(result, c.expected_result) << c.name;
    EXPECT_EQ(std::string(out.data()), c.expected) << c.name;
    for (size_t i = c.capacity; i < out.size(); ++i) {
      ASSERT_EQ(out[i], '#') << c.name << ": byte " << i << " written";
    }
  }
}

TEST(ExpandEnvironmentStrings, WithoutRoomWritesNothing) {
  char out[4] = {'#', '#', '#', '#'};
  EXPECT_EQ(ExpandEnvironmentStringsA("abc", out, 0), 4u);
  EXPECT_EQ(memcmp(out, "####", 4), 0);
  EXPECT_EQ(ExpandEnvironmentStringsA("abc", nullptr, 10), 4u);
  EXPECT_EQ(ExpandEnvironmentStringsA(nullptr, out, 4), 0u);
  EXPECT_EQ(memcmp(out, "####", 4), 0);
}

}  // namespace
