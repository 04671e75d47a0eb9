#include "files/file_helpers.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "platform/posix_layer.h"

namespace {

class CodePage {
 public:
  explicit CodePage(UINT code_page) { SetAnsiCodePageForTesting(code_page); }
  ~CodePage() { SetAnsiCodePageForTesting(0); }
};

// A text placed so that its zero byte is the last readable byte: the page
// after it is inaccessible, so reading one byte too far crashes the test
// even without a sanitizer.
class TextAtPageEnd {
 public:
  explicit TextAtPageEnd(const std::string& text) {
    page_ = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    memory_ =
        static_cast<char*>(mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE,
                                MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    EXPECT_NE(memory_, MAP_FAILED);
    EXPECT_EQ(mprotect(memory_ + page_, page_, PROT_NONE), 0);
    text_ = memory_ + page_ - (text.size() + 1);
    memcpy(text_, text.c_str(), text.size() + 1);
  }
  ~TextAtPageEnd() { munmap(memory_, 2 * page_); }
  const char* c_str() const { return text_; }

 private:
  size_t page_ = 0;
  char* memory_ = nullptr;
  char* text_ = nullptr;
};

TEST(GetDirectoryPart, TakesTheTextBeforeTheLastBackslashInTheCodePage) {
  const struct {
    const char* name;
    UINT code_page;
    const char* path;      // nullptr: no path at all
    const char* expected;  // nullptr: out keeps what it held (empty)
  } kCases[] = {
      {"folder of a file", 1252, "C:\\Data\\Menus\\start.ini",
       "C:\\Data\\Menus"},
      {"file on a drive", 1252, "C:\\start.ini", "C:"},
      {"root of the drive", 1252, "\\start.ini", ""},
      {"ends in a backslash", 1252, "C:\\Data\\", "C:\\Data"},
      {"no backslash", 1252, "start.ini", nullptr},
      {"forward slashes only", 1252, "C:/Data/start.ini", nullptr},
      {"empty path", 1252, "", nullptr},
      {"null path", 1252, nullptr, nullptr},
      {"trail byte 5C under 932", 932, "C:\\\x95\\a.ini", "C:"},
      {"same bytes single-byte", 1252, "C:\\\x95\\a.ini", "C:\\\x95"},
      {"trail byte 5C then a real one", 932, "C:\\\x95\\dir\\a.ini",
       "C:\\\x95\\dir"},
      {"only a trail byte 5C", 932, "\x95\\a.ini", nullptr},
      {"trail byte 5C under 936", 936, "C:\\\xB5\\a.ini", "C:"},
      {"lead byte before a real backslash", 932, "C:\\\x95\x41\\a.ini",
       "C:\\\x95\x41"},
      {"UNC server share", 1252, "\\\\server\\share\\a.ini",
       "\\\\server\\share"},
  };
  for (const auto& c : kCases) {
    CodePage code_page(c.code_page);
    PathText out;
    GetDirectoryPart(c.path, &out);
    PathText expected;
    if (c.expected != nullptr) CopyText(expected, c.expected);
    EXPECT_EQ(memcmp(out.bytes, expected.bytes, kPathCapacity), 0)
        << c.name << ": got \"" << out.c_str() << "\"";
  }
}

TEST(GetDirectoryPart, KeepsWhatOutHeldWhenThereIsNoBackslash) {
  PathText out;
  CopyText(out, "earlier text");
  const PathText before = out;
  GetDirectoryPart("start.ini", &out);
  EXPECT_EQ(memcmp(out.bytes, before.bytes, kPathCapacity), 0);
  GetDirectoryPart("C:\\Data\\start.ini", nullptr);  // absent out: no crash
}

TEST(GetDirectoryPart, ReadsNothingBeyondAPathCutInsideACharacter) {
  const struct {
    const char* name;
    UINT code_page;
    const char* path;      // its last byte is a lead byte under 932
    const char* expected;  // nullptr: out keeps what it held
  } kCases[] = {
      {"lone lead byte after a backslash", 932, "C:\\Data\\\x95", "C:\\Data"},
      {"lone lead byte, no backslash", 932, "start\x95", nullptr},
      {"only a lone lead byte", 932, "\x95", nullptr},
      {"lone lead byte after a 5C trail", 932, "C:\\\x95\\\x95", "C:"},
  };
  for (const auto& c : kCases) {
    CodePage code_page(c.code_page);
    const TextAtPageEnd path(c.path);
    PathText out;
    GetDirectoryPart(path.c_str(), &out);
    EXPECT_STREQ(out.c_str(), c.expected != nullptr ? c.expected : "")
        << c.name;
  }
}

TEST(GetDirectoryPart, FullLengthPathKeepsItsWholeFolder) {
  // 258 bytes of folder, the backslash, and no name: 259 bytes in all.
  const std::string folder(258, 'd');
  PathText path;
  CopyText(path, (folder + "\\").c_str());
  PathText out;
  GetDirectoryPart(path.c_str(), &out);
  EXPECT_EQ(out.c_str(), folder);
}

TEST(BuildSettingFilesFilter, LaysOutExactlyOnePairAndZerosToTheEnd) {
  const char kPairs[] = "Setting files (*.ini)\0*.ini\0";  // + its own zero
  static_assert(sizeof kPairs == 29, "29 bytes of filter list");
  char expected[kPathCapacity] = {};
  memcpy(expected, kPairs, sizeof kPairs);

  const struct {
    const char* name;
    char fill;  // what the buffer held before
  } kCases[] = {{"fresh buffer", '\0'}, {"buffer used before", 'x'}};
  for (const auto& c : kCases) {
    PathText filter;
    memset(filter.bytes, c.fill, sizeof filter.bytes);
    BuildSettingFilesFilter(filter);
    EXPECT_EQ(memcmp(filter.bytes, expected, kPathCapacity), 0) << c.name;
  }
  PathText filter;
  BuildSettingFilesFilter(filter);
  EXPECT_EQ(strlen(filter.c_str()), 21u);
  EXPECT_STREQ(filter.bytes + 22, "*.ini");
  EXPECT_EQ(filter.bytes[28], '\0');  // the empty text that ends the list
}

TEST(FillFileRequest, SetsEveryMemberAndZerosTheRest) {
  PathText filter;
  BuildSettingFilesFilter(filter);
  PathText file;
  CopyText(file, "C:\\Data\\wincmd.ini");
  const char initial_folder[] = "C:\\Data";
  HWND owner = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234));

  OPENFILENAMEA request;
  memset(&request, 0xAB, sizeof request);  // what the stack might hold
  FillFileRequest(request, owner, file, initial_folder, filter);

  EXPECT_EQ(request.lStructSize, 76u);
  EXPECT_EQ(request.hwndOwner, owner);
  EXPECT_EQ(request.hInstance, nullptr);
  EXPECT_EQ(request.lpstrFilter, filter.bytes);
  EXPECT_EQ(request.lpstrCustomFilter, nullptr);
  EXPECT_EQ(request.nMaxCustFilter, 0u);
  EXPECT_EQ(request.nFilterIndex, 1u);
  EXPECT_EQ(request.lpstrFile, file.bytes);
  EXPECT_EQ(request.nMaxFile, 260u);
  EXPECT_EQ(request.lpstrFileTitle, nullptr);
  EXPECT_EQ(request.nMaxFileTitle, 0u);
  EXPECT_EQ(request.lpstrInitialDir, initial_folder);
  EXPECT_EQ(request.lpstrTitle, nullptr);
  EXPECT_EQ(request.Flags, 0x1800u);
  EXPECT_EQ(request.nFileOffset, 0u);
  EXPECT_EQ(request.nFileExtension, 0u);
  EXPECT_EQ(request.lpstrDefExt, nullptr);
  EXPECT_EQ(request.lCustData, 0);
  EXPECT_EQ(request.lpfnHook, nullptr);
  EXPECT_EQ(request.lpTemplateName, nullptr);
  EXPECT_EQ(request.pvReserved, nullptr);
  EXPECT_EQ(request.dwReserved, 0u);
  EXPECT_EQ(request.FlagsEx, 0u);

  // Padding between members too: only the members above are set.
  OPENFILENAMEA expected;
  memset(&expected, 0, sizeof expected);
  expected.lStructSize = 76;
  expected.hwndOwner = owner;
  expected.lpstrFilter = filter.bytes;
  expected.nFilterIndex = 1;
  expected.lpstrFile = file.bytes;
  expected.nMaxFile = 260;
  expected.lpstrInitialDir = initial_folder;
  expected.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
  EXPECT_EQ(memcmp(&request, &expected, sizeof request), 0);
  EXPECT_STREQ(file.c_str(), "C:\\Data\\wincmd.ini");  // filling is all
}

class FileExistsTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quillmoor-files-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    FILE* file = fopen((folder_ + "/wincmd.ini").c_str(), "w");
    ASSERT_NE(file, nullptr);
    fputs("[User]\r\nMenu1=Notes\r\n", file);
    fclose(file);
  }
  void TearDown() override {
    unlink((folder_ + "/wincmd.ini").c_str());
    rmdir(folder_.c_str());
  }
  std::string folder_;
};

TEST_F(FileExistsTest, TrueForWhatTheSearchFinds) {
  const struct {
    const char* name;
    std::string path;
    bool expected;
  } kCases[] = {
      {"existing settings file", folder_ + "/wincmd.ini", true},
      {"name of nothing", folder_ + "/usercmd.ini", false},
      {"folder", folder_, true},
      {"pattern that matches", folder_ + "/*.INI", true},
      {"pattern that matches nothing", folder_ + "/*.txt", false},
      {"folder that is missing", folder_ + "/missing/wincmd.ini", false},
      {"trailing slash", folder_ + "/", false},
      {"empty path", "", false},
      {"unexpanded variable", "%COMMANDER_INI%", false},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(FileExists(c.path.c_str()), c.expected) << c.name;
  }
}

}  // namespace
