// Our settings-file engine beyond the reading and writing rules: what it
// keeps in memory, how it survives a cut write, and how it fails.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <initializer_list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/posix_layer.h"
#include "platform/win32.h"
#include "support/scratch.h"

namespace {

class Engine : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quillmoor-engine-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    DropProfileCacheForTesting();
  }
  void TearDown() override {
    DropProfileCacheForTesting();
    SetAnsiCodePageForTesting(0);
    std::string command = "chattr -R -i '" + dir_ + "' 2>/dev/null; rm -rf '" + dir_ + "'";
    if (system(command.c_str()) != 0) { /* leave it */ }
  }
  std::string In(const std::string& name) const { return dir_ + "/" + name; }

  static std::string Get(const std::string& file, const char* section,
                         const char* key, const char* default_text = "<none>") {
    char out[4096];
    GetPrivateProfileStringA(section, key, default_text, out, sizeof out,
                             file.c_str());
    return out;
  }
  static bool Put(const std::string& file, const char* section,
                  const char* key, const char* value) {
    return WritePrivateProfileStringA(section, key, value, file.c_str()) != FALSE;
  }

  std::string dir_;
};

// Writes bytes as another program would, without telling the engine.
void WriteBehind(const std::string& path, const std::string& bytes) {
  FILE* file = fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  fwrite(bytes.data(), 1, bytes.size(), file);
  fclose(file);
}

// Longer than the engine trusts a file it has checked.
void WaitOutTheCheckInterval() { usleep(5000); }

TEST_F(Engine, SeesChangesMadeByOtherProgramsBetweenCalls) {
  const std::string file = In("shared.ini");
  ASSERT_TRUE(Put(file, "s", "k", "ours"));
  EXPECT_EQ(Get(file, "s", "k"), "ours");

  WriteBehind(file, "[s]\r\nk=theirs, longer\r\n");  // in place
  WaitOutTheCheckInterval();
  EXPECT_EQ(Get(file, "s", "k"), "theirs, longer");

  WriteBehind(file, "[s]\r\nk=same size, 14\r\n");  // same size, in place
  WaitOutTheCheckInterval();
  EXPECT_EQ(Get(file, "s", "k"), "same size, 14");

  const std::string other = In("other.ini");
  WriteBehind(other, "[s]\r\nk=renamed over\r\n");
  ASSERT_EQ(rename(other.c_str(), file.c_str()), 0);  // a new inode
  WaitOutTheCheckInterval();
  EXPECT_EQ(Get(file, "s", "k"), "renamed over");
  ASSERT_TRUE(Put(file, "s", "k2", "added"));
  EXPECT_EQ(scratch::ReadBytes(file), "[s]\r\nk=renamed over\r\nk2=added\r\n");

  ASSERT_EQ(unlink(file.c_str()), 0);
  WaitOutTheCheckInterval();
  EXPECT_EQ(Get(file, "s", "k"), "<none>");
}

TEST_F(Engine, TwoSpellingsOfOnePathAreOneFile) {
  const std::string file = In("one.ini");
  scratch::WriteBytes(file, "[User]\r\nMenu1=a\r\n");
  ASSERT_EQ(chdir(dir_.c_str()), 0);
  EXPECT_EQ(Get("./one.ini", "User", "Menu1"), "a");
  ASSERT_TRUE(Put(file, "em_usercmd1", "Menu", "a"));
  EXPECT_EQ(Get("one.ini", "em_usercmd1", "Menu"), "a");
  ASSERT_EQ(chdir("/"), 0);
}

TEST_F(Engine, RefusesWritesThatWouldNotReadBackAsThemselves) {
  const std::string file = In("refuse.ini");
  const std::string before = "[s]\r\nk=1\r\n";
  scratch::WriteBytes(file, before);
  const struct {
    const char* name;
    const char* section;
    const char* key;
    const char* value;
  } kCases[] = {
      {"null key deletes a section", "s", nullptr, "v"},
      {"null value deletes a key", "s", "k", nullptr},
      {"null section", nullptr, "k", "v"},
      {"line feed in value", "s", "k", "a\nb=c"},
      {"carriage return in value", "s", "k", "a\r[x]"},
      {"equals sign in key", "s", "a=b", "v"},
      {"line break in key", "s", "a\nb", "v"},
      {"key that would be a header", "s", "[x]", "v"},
      {"empty key", "s", "", "v"},
      {"blank key", "s", "  ", "v"},
      {"bracket in section", "a]b", "k", "v"},
      {"line break in section", "a\r\nb", "k", "v"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(WritePrivateProfileStringA(c.section, c.key, c.value, file.c_str()),
              FALSE) << c.name;
  }
  EXPECT_EQ(scratch::ReadBytes(file), before);
  EXPECT_EQ(WritePrivateProfileStringA("s", "k", "v", nullptr), FALSE);
  EXPECT_EQ(WritePrivateProfileStringA("s", "k", "v", ""), FALSE);
}

TEST_F(Engine, ListingFormsAndDefaults) {
  const std::string file = In("list.ini");
  scratch::WriteBytes(file, "[s]\r\nk=value\r\n");
  char out[16] = "#######";
  EXPECT_EQ(GetPrivateProfileStringA(nullptr, "k", "d", out, sizeof out, file.c_str()), 0u);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(GetPrivateProfileStringA("s", nullptr, "d", out, sizeof out, file.c_str()), 0u);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(GetPrivateProfileStringA("s", "k", "d", out, sizeof out, file.c_str()), 5u);
  EXPECT_STREQ(out, "value");
  EXPECT_EQ(GetPrivateProfileStringA("s", "k", "d", out, 3, file.c_str()), 2u);
  EXPECT_STREQ(out, "va");
  EXPECT_EQ(GetPrivateProfileStringA("s", "none", "dflt  \t", out, sizeof out, file.c_str()), 4u);
  EXPECT_STREQ(out, "dflt");
  EXPECT_EQ(GetPrivateProfileStringA("s", "none", nullptr, out, sizeof out, file.c_str()), 0u);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(GetPrivateProfileStringA("s", "k", "d", nullptr, 10, file.c_str()), 0u);
  out[0] = '#';
  EXPECT_EQ(GetPrivateProfileStringA("s", "k", "d", out, 0, file.c_str()), 0u);
  EXPECT_EQ(out[0], '#');
}

TEST_F(Engine, FailedWritesReturnFalseAndChangeNothing) {
  const std::string before = "[mine]\r\nx=1\r\n";
  {
    SCOPED_TRACE("a folder");
    const std::string folder = In("folder.ini");
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    EXPECT_FALSE(Put(folder, "s", "k", "v"));
    EXPECT_EQ(Get(folder, "s", "k"), "<none>");
  }
  {
    SCOPED_TRACE("a missing folder");
    EXPECT_FALSE(Put(In("no/such/folder.ini"), "s", "k", "v"));
  }
  {
    SCOPED_TRACE("an immutable file (chattr +i), refused even to root");
    const std::string file = In("immutable.ini");
    scratch::WriteBytes(file, before);
    if (system(("chattr +i '" + file + "' 2>/dev/null").c_str()) != 0) {
      GTEST_SKIP() << "chattr +i is not available here";
    }
    EXPECT_FALSE(Put(file, "s", "k", "v"));
    EXPECT_FALSE(Put(file, "mine", "x", "changed, longer"));
    EXPECT_EQ(Get(file, "mine", "x"), "1");
    EXPECT_EQ(scratch::ReadBytes(file), before);
  }
}

TEST_F(Engine, AFullDiskLeavesTheFileAsItWas) {
  // RLIMIT_FSIZE makes the kernel refuse growth past a size, as a full disk
  // would, with part of a write taken.
  const std::string file = In("full.ini");
  std::string before = "[mine]\r\nx=1\r\n";
  before.resize(4000, ';');
  before += "\r\n";
  scratch::WriteBytes(file, before);
  struct rlimit old_limit;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  signal(SIGXFSZ, SIG_IGN);
  struct rlimit limit = old_limit;
  limit.rlim_cur = before.size() + 10;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  const bool written = Put(file, "em_usercmd1", "Menu", "A caption longer than ten");
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old_limit), 0);
  EXPECT_FALSE(written);
  EXPECT_EQ(scratch::ReadBytes(file), before);
  EXPECT_EQ(Get(file, "em_usercmd1", "Menu"), "<none>");
  EXPECT_TRUE(Put(file, "em_usercmd1", "Menu", "now it fits"));
}

TEST_F(Engine, ATmpfsThatFillsUpRefusesTheWrite) {
  const std::string mount_point = In("small");
  ASSERT_EQ(mkdir(mount_point.c_str(), 0755), 0);
  if (mount("tmpfs", mount_point.c_str(), "tmpfs", 0, "size=16k") != 0) {
    GTEST_SKIP() << "mounting a tmpfs is not allowed here";
  }
  const std::string file = mount_point + "/target.ini";
  bool failed = false;
  std::string before;
  for (int i = 1; i < 2000 && !failed; ++i) {
    before = scratch::ReadBytes(file);
    const std::string section = "em_usercmd" + std::to_string(i);
    failed = !Put(file, section.c_str(), "Menu", "Some caption of a menu entry");
  }
  EXPECT_TRUE(failed);
  EXPECT_EQ(scratch::ReadBytes(file), before);
  umount2(mount_point.c_str(), MNT_DETACH);
}

TEST_F(Engine, ReplacingAValueThroughALinkKeepsTheLinkAndTheMode) {
  const std::string real = In("real.ini");
  const std::string link = In("link.ini");
  scratch::WriteBytes(real, "[s]\r\nk=short\r\nz=1\r\n");
  ASSERT_EQ(chmod(real.c_str(), 0640), 0);
  ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
  ASSERT_TRUE(Put(link, "s", "k", "a much longer value"));
  struct stat st;
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(scratch::ReadBytes(real), "[s]\r\nk=a much longer value\r\nz=1\r\n");
}

// Every prefix of the file that a killed write could leave (the file cut at
// a page boundary inside what the write added) must read the key as before
// or as after.
void ExpectEveryCutReadsOldOrNew(const std::string& dir,
                                 const std::string& before,
                                 const std::string& after, const char* section,
                                 const char* key, const std::string& value) {
  const long page = sysconf(_SC_PAGESIZE);
  ASSERT_EQ(after.compare(0, before.size(), before), 0) << "not an append";
  const std::string probe = dir + "/probe.ini";
  for (size_t cut = (before.size() / page + 1) * page; cut < after.size();
       cut += page) {
    scratch::WriteBytes(probe, after.substr(0, cut));
    DropProfileCacheForTesting();
    char out[4096];
    GetPrivateProfileStringA(section, key, "<none>", out, sizeof out, probe.c_str());
    EXPECT_TRUE(std::string(out) == "<none>" || std::string(out) == value)
        << "cut at " << cut << " reads [" << out << "]";
  }
}

TEST_F(Engine, AppendsCutAtAPageBoundaryNeverHoldAPartialValue) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const std::string value = "C:\\Program Files\\Tool\\tool.exe";
  const std::string added = "[em_usercmd1]\r\nCmd=" + value + "\r\n";
  const struct {
    const char* name;
    size_t pages;  // the file ends this many pages in, less `gap` bytes
    bool rewritten;
  } kSizes[] = {{"a small file is rewritten", 1, true},
                {"a large file is padded", 600, false}};
  for (const auto& size : kSizes) {
    for (size_t gap = 1; gap < added.size(); gap += 3) {
      SCOPED_TRACE(std::string(size.name) + ", boundary " + std::to_string(gap) +
                   " bytes into the append");
      const std::string file = In("cut.ini");
      std::string before = "[mine]\r\n;";
      before.resize(size.pages * page - gap - 2, 'x');
      before += "\r\n";
      scratch::WriteBytes(file, before);
      struct stat old_stat;
      ASSERT_EQ(stat(file.c_str(), &old_stat), 0);
      DropProfileCacheForTesting();

      ASSERT_TRUE(Put(file, "em_usercmd1", "Cmd", value.c_str()));
      const std::string after = scratch::ReadBytes(file);
      struct stat new_stat;
      ASSERT_EQ(stat(file.c_str(), &new_stat), 0);
      const bool in_place = old_stat.st_ino == new_stat.st_ino;
      if (in_place) {
        ExpectEveryCutReadsOldOrNew(dir_, before, after, "em_usercmd1", "Cmd", value);
      }
      const bool harmful = gap > added.find(']') && gap < added.size() - 2;
      if (size.rewritten || !harmful) {
        EXPECT_EQ(after, before + added);  // the plain layout
        EXPECT_EQ(in_place, !harmful);
      } else {
        EXPECT_TRUE(in_place);
        EXPECT_NE(after, before + added);  // blanks moved the line past the cut
      }
      DropProfileCacheForTesting();
      EXPECT_EQ(Get(file, "em_usercmd1", "Cmd"), value);
      ASSERT_EQ(unlink(file.c_str()), 0);
    }
  }
}

TEST_F(Engine, DoubleByteCodePagesKeepTrailBytesWhole) {
  const std::string file = In("dbcs.ini");
  // 0x83 0x5D is one character in code page 932; its trail byte is "]".
  scratch::WriteBytes(file, "[\x83\x5D]\r\n\x83\x61=lower\r\n\x83\x41=upper\r\n");
  SetAnsiCodePageForTesting(932);
  DropProfileCacheForTesting();
  EXPECT_EQ(Get(file, "\x83\x5D", "\x83\x61"), "lower");
  EXPECT_EQ(Get(file, "\x83\x5D", "\x83\x41"), "upper");
  EXPECT_EQ(Get(file, "\x83", "\x83\x61"), "<none>");
  SetAnsiCodePageForTesting(1252);
  // Single-byte: the header ends at the first "]", and ASCII case folds.
  EXPECT_EQ(Get(file, "\x83", "\x83\x41"), "lower");
  EXPECT_EQ(Get(file, "\x83\x5D", "\x83\x61"), "<none>");
}

TEST_F(Engine, Utf16FilesConvertThroughTheCodePage) {
  const std::string file = In("wide.ini");
  const std::u16string text = u"[User]\r\nMenu1=\u4e00\u4e8c\r\n";
  scratch::WriteBytes(file, std::string("\xFF\xFE", 2) +
                                std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2));
  SetAnsiCodePageForTesting(932);
  EXPECT_EQ(Get(file, "User", "Menu1"), "\x88\xEA\x93\xF1");
  ASSERT_TRUE(Put(file, "User", "Menu2", "\x88\xEA"));
  const std::u16string expected = u"[User]\r\nMenu1=\u4e00\u4e8c\r\nMenu2=\u4e00\r\n";
  EXPECT_EQ(scratch::ReadBytes(file),
            std::string("\xFF\xFE", 2) +
                std::string(reinterpret_cast<const char*>(expected.data()), expected.size() * 2));
}

}  // namespace

namespace {

TEST_F(Engine, ARewriteRemovesTemporariesThatKilledRunsLeft) {
  const std::string file = In("left.ini");
  scratch::WriteBytes(file, "[s]\r\nk=short\r\n");
  const std::string dead = In(".left.ini.999999999.7.tmp");  // no such process
  const std::string alive = In(".left.ini." + std::to_string(getpid()) + ".7.tmp");
  const std::string other = In(".other.ini.999999999.7.tmp");
  for (const std::string& path : {dead, alive, other}) scratch::WriteBytes(path, "x");
  ASSERT_TRUE(Put(file, "s", "k", "a longer value that moves the rest"));
  EXPECT_FALSE(scratch::Exists(dead));
  EXPECT_TRUE(scratch::Exists(alive)) << "a running process may still rename it";
  EXPECT_TRUE(scratch::Exists(other));
}

}  // namespace
