// Runs of the program on inputs and file systems that go wrong: sources that
// cannot be read or are no settings file at all, huge and odd contents, and
// targets that are no settings file. Whatever happens, the run ends with a
// truthful report, and a target holds its own bytes unchanged followed at
// most by the sections reported.
#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/run_harness.h"
#include "platform/posix_layer.h"
#include "platform/win32.h"

namespace e2e {
namespace {

// A literal's bytes, zero bytes inside it included.
template <size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

const std::vector<std::string> kBoth = {"usercmd.ini", "wincmd.ini"};

// Bytes of no settings file: a picture's signature, then noise that is the
// same on every run.
std::string Binary(size_t size, unsigned seed) {
  std::string bytes = "\x89PNG\r\n\x1a\n";
  std::mt19937 noise(seed);
  while (bytes.size() < size)
    bytes.push_back(static_cast<char>(noise() & 0xFF));
  return bytes;
}

TEST(Faults, SourcesThatAreNoSettingsFile) {
  const std::string huge(10u << 20, 'x');  // a 10 MB line
  const std::string long_menu(10u << 20, 'm');
  const std::string long_command(10u << 20, 'c');
  const Scenario kScenarios[] = {
      {"source that is a folder: nothing read, another one picked",
       {{"sub/", ""}, {"menus.ini", kHostThree}, {"usercmd.ini", kTargetOwn}},
       "{dir}/sub",
       {},
       "menus.ini\nusercmd.ini\n",
       kNoEntries + Open("{dir}", {"menus.ini", "usercmd.ini"}) +
           Answer("menus.ini") + Save("{dir}", {"menus.ini", "usercmd.ini"}) +
           Answer("usercmd.ini") + Converted(2),
       0,
       {{"usercmd.ini", kTargetOwn + kSectionsOfThree}}},
      {"source the kernel refuses to read (/proc/self/mem)",
       {{"usercmd.ini", kTargetOwn}},
       "/proc/self/mem",
       {},
       "\n",
       kNoEntries + Open("{dir}", {"usercmd.ini"}) + Answer(""),
       255,
       {}},
      {"binary file as source",
       {{"wincmd.ini", Binary(64 * 1024, 1)}, {"usercmd.ini", kTargetOwn}},
       "wincmd.ini",
       {},
       "\n",
       kNoEntries + Open("{dir}", kBoth) + Answer(""),
       255,
       {}},
      {"NUL bytes end a value where they stand",
       {{"wincmd.ini", Host(Bytes("Menu1=No\0tes\r\nCmd1=note\0pad.exe\r\n"
                                  "Me\0nu2=x\r\nMenu2=Two\r\n\0\0\0\r\n"))},
        {"usercmd.ini", kTargetOwn}},
       "wincmd.ini",
       {},
       "usercmd.ini\n",
       Save("{dir}", kBoth) + Answer("usercmd.ini") + Converted(2),
       0,
       {{"usercmd.ini", kTargetOwn +
                            Section(1, {{"Menu", "No"}, {"Cmd", "note"}}) +
                            Section(2, {{"Menu", "Two"}})}}},
      {"10 MB lines: values cut to their fields",
       {{"wincmd.ini",
         "[Configuration]\r\n" + huge + "\r\n[User]\r\nMenu1=" + long_menu +
             "\r\nCmd1=" + long_command + "\r\nParam1=" + huge + "\r\n"},
        {"usercmd.ini", kTargetOwn}},
       "wincmd.ini",
       {},
       "usercmd.ini\n",
       Save("{dir}", kBoth) + Answer("usercmd.ini") + Converted(1),
       0,
       {{"usercmd.ini",
         kTargetOwn + Section(1, {{"Menu", std::string(259, 'm')},
                                  {"Cmd", std::string(2047, 'c')},
                                  {"Param", std::string(259, 'x')}})}}},
  };
  for (const Scenario& s : kScenarios) {
    SCOPED_TRACE(s.name);
    RunScenario(s);
  }
}

// Nothing to read, and opening it would wait for a writer forever.
TEST(Faults, SourceThatIsAPipe) {
  ScratchFolder folder;
  ASSERT_EQ(mkfifo(folder.Path("wincmd.ini").c_str(), 0644), 0);
  folder.Write("usercmd.ini", kTargetOwn);
  const ProcessResult result = RunIn(folder, "wincmd.ini", {}, "\n");
  ASSERT_TRUE(result.exited) << "killed by signal " << result.signal;
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.output,
            WithFolder(kNoEntries + Open("{dir}", kBoth) + Answer(""),
                       folder.path()));
  EXPECT_EQ(folder.Read("usercmd.ini"), kTargetOwn);
}

// Entry indexes are 16 bits: past Menu65535 the walk ends, and no index
// wraps round to overwrite em_usercmd1.
TEST(Faults, SourceWithMoreEntriesThanIndexes) {
  ScratchFolder folder;
  folder.Write("wincmd.ini", HostOfCount(65537, 1));
  folder.Write("usercmd.ini", kTargetOwn);
  const ProcessResult result = RunIn(folder, "wincmd.ini", {}, "usercmd.ini\n");
  ASSERT_TRUE(result.exited) << "killed by signal " << result.signal;
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output,
            WithFolder(
                Save("{dir}", kBoth) + Answer("usercmd.ini") + Converted(65535),
                folder.path()));
  // A file this large grows by appends, which may start a line with blanks
  // (reading skips them) so that no cut write could split a value.
  const std::string after = folder.Read("usercmd.ini");
  ASSERT_EQ(after.compare(0, kTargetOwn.size(), kTargetOwn), 0);
  std::string unpadded;
  bool line_start = true;
  for (char c : after) {
    if (line_start && c == ' ') continue;
    unpadded.push_back(c);
    line_start = c == '\n';
  }
  const std::string expected = kTargetOwn + SectionsOfCount(65535, 1);
  EXPECT_TRUE(unpadded == expected)  // too long to print on failure
      << "target of " << unpadded.size() << " bytes without the blanks, "
      << "expected " << expected.size();
}

// A target that is no settings file keeps every byte of its own; what the
// run adds reads back as the sections reported.
TEST(Faults, BinaryFileAsTarget) {
  ScratchFolder folder;
  const std::string binary = Binary(64 * 1024, 2);
  folder.Write("wincmd.ini", kHostThree);
  folder.Write("usercmd.ini", binary);
  const ProcessResult result = RunIn(folder, "wincmd.ini", {}, "usercmd.ini\n");
  ASSERT_TRUE(result.exited) << "killed by signal " << result.signal;
  const std::string save =
      WithFolder(Save("{dir}", kBoth) + Answer("usercmd.ini"), folder.path());
  const std::string after = folder.Read("usercmd.ini");
  ASSERT_EQ(after.compare(0, binary.size(), binary), 0)
      << "the target's own bytes changed";
  if (result.status == 255) {  // refused as a whole: nothing may be added
    EXPECT_EQ(result.output, save + NotWritten(0));
    EXPECT_EQ(after, binary);
    return;
  }
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, save + Converted(2));
  const struct {
    const char* section;
    const char* key;
    const char* value;
  } kExpected[] = {
      {"em_usercmd1", "Menu", "Notepad"},
      {"em_usercmd1", "Cmd", "notepad.exe"},
      {"em_usercmd3", "Menu", "Calculator"},
      {"em_usercmd3", "Cmd", "C:\\Program Files\\calc.exe"},
      {"em_usercmd3", "Param", "%P%N"},
      {"em_usercmd3", "Path", "C:\\Temp"},
      {"em_usercmd3", "Iconic", "1"},
      {"em_usercmd2", "Menu", ""},
  };
  DropProfileCacheForTesting();
  for (const auto& e : kExpected) {
    char value[2048];
    GetPrivateProfileStringA(e.section, e.key, "", value, sizeof value,
                             folder.Path("usercmd.ini").c_str());
    EXPECT_STREQ(value, e.value) << e.section << "." << e.key;
  }
}

// A folder that takes no new file still lets the target grow at its end.
TEST(Faults, FolderRefusingNewFilesStillTakesAppends) {
  ScratchFolder folder;
  folder.Write("wincmd.ini", kHostThree);
  folder.MakeFolder("frozen");
  folder.Write("frozen/usercmd.ini", kTargetOwn);
  std::string why;
  if (!folder.MakeImmutable("frozen", &why)) {
    GTEST_SKIP() << "this machine does not allow chattr +i: " << why;
  }
  const ProcessResult result =
      RunIn(folder, "wincmd.ini", {}, "frozen/usercmd.ini\n");
  ASSERT_TRUE(result.exited) << "killed by signal " << result.signal;
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output,
            WithFolder(Save("{dir}", {"wincmd.ini"}) +
                           Answer("frozen/usercmd.ini") + Converted(2),
                       folder.path()));
  EXPECT_EQ(folder.Read("frozen/usercmd.ini"), kTargetOwn + kSectionsOfThree);
}

}  // namespace
}  // namespace e2e
