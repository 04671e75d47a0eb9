// The file helpers over the platform's own functions (Wine's, in the tests).
#include "files/file_helpers.h"

#include <string.h>

#include <string>

#include <gtest/gtest.h>

namespace {

class FileExistsTest : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = testing::TempDir() + "quillmoor-files";
    CreateDirectoryA(folder_.c_str(), nullptr);
    const std::string file = folder_ + "\\wincmd.ini";
    ASSERT_TRUE(WritePrivateProfileStringA("User", "Menu1", "Notes", file.c_str()));
  }
  void TearDown() override {
    DeleteFileA((folder_ + "\\wincmd.ini").c_str());
    RemoveDirectoryA(folder_.c_str());
  }
  std::string folder_;
};

TEST_F(FileExistsTest, TrueForWhatThePlatformsSearchFinds) {
  const struct {
    const char* name;
    std::string path;
    bool expected;
  } kCases[] = {
      {"existing settings file", folder_ + "\\wincmd.ini", true},
      {"letters in another case", folder_ + "\\WINCMD.INI", true},
      {"name of nothing", folder_ + "\\usercmd.ini", false},
      {"folder", folder_, true},
      {"pattern that matches", folder_ + "\\*.ini", true},
      {"pattern that matches nothing", folder_ + "\\*.txt", false},
      {"folder that is missing", folder_ + "\\missing\\wincmd.ini", false},
      {"trailing backslash", folder_ + "\\", false},
      {"empty path", "", false},
      {"unexpanded variable", "%COMMANDER_INI%", false},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(FileExists(c.path.c_str()), c.expected) << c.name << ": " << c.path;
  }
}

TEST(GetDirectoryPart, TakesTheTextBeforeTheLastBackslash) {
  if (IsDBCSLeadByte(0x95)) GTEST_SKIP() << "a double-byte code page: " << GetACP();
  const struct {
    const char* path;
    const char* expected;  // nullptr: out keeps what it held (empty)
  } kCases[] = {
      {"C:\\Data\\Menus\\start.ini", "C:\\Data\\Menus"},
      {"C:\\start.ini", "C:"},
      {"\\start.ini", ""},
      {"C:\\Data\\", "C:\\Data"},
      {"start.ini", nullptr},
      {"C:/Data/start.ini", nullptr},
      {"C:\\\x95\\a.ini", "C:\\\x95"},  // 0x95 leads nothing here
  };
  for (const auto& c : kCases) {
    PathText out;
    GetDirectoryPart(c.path, &out);
    PathText expected;
    if (c.expected != nullptr) CopyText(expected, c.expected);
    EXPECT_EQ(memcmp(out.bytes, expected.bytes, kPathCapacity), 0)
        << c.path << ": got \"" << out.c_str() << "\"";
  }
}

// Run a second time with LC_ALL=ja_JP.UTF-8, under which Wine's ANSI code page
// is 932 (Shift JIS); skipped otherwise.
TEST(GetDirectoryPart, PassesOverTrailBytesOfCodePage932) {
  if (GetACP() != 932) GTEST_SKIP() << "code page " << GetACP();
  const struct {
    const char* path;
    const char* expected;  // nullptr: out keeps what it held (empty)
  } kCases[] = {
      {"C:\\\x95\\a.ini", "C:"},
      {"C:\\\x95\\dir\\a.ini", "C:\\\x95\\dir"},
      {"\x95\\a.ini", nullptr},
      {"C:\\\x95\x41\\a.ini", "C:\\\x95\x41"},
      {"C:\\Data\\\x95", "C:\\Data"},  // cut inside its last character
  };
  for (const auto& c : kCases) {
    PathText out;
    GetDirectoryPart(c.path, &out);
    EXPECT_STREQ(out.c_str(), c.expected != nullptr ? c.expected : "") << c.path;
  }
}

TEST(FillFileRequest, UsesThePlatformsSizeWithoutTheWindows2000Members) {
  PathText filter;
  BuildSettingFilesFilter(filter);
  PathText file;
  OPENFILENAMEA request;
  FillFileRequest(request, nullptr, file, "", filter);
  EXPECT_EQ(request.lStructSize, static_cast<DWORD>(OPENFILENAME_SIZE_VERSION_400A));
  EXPECT_LT(request.lStructSize, sizeof(OPENFILENAMEA));
  if (sizeof(void*) == 4) EXPECT_EQ(request.lStructSize, 76u);
  EXPECT_EQ(request.Flags, static_cast<DWORD>(OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST));
}

}  // namespace
