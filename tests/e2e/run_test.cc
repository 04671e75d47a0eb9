// Whole runs of the program, each in a scratch folder that is also its
// current folder, answered through standard input the way a script answers
// the terminal dialogs. Each case checks the transcript (every message box
// and dialog, in order), the exit status and the bytes of every file in the
// folder afterwards.
#include <string.h>

#include <functional>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/run_harness.h"

namespace e2e {
namespace {

// ---- the endings of a run ----------------------------------------------

TEST(Run, EndsAsTheHostsFileAndTheAnswersSay) {
  const std::vector<std::string> both = {"usercmd.ini", "wincmd.ini"};
  const Scenario kScenarios[] = {
      {"variable not set",
       {{"wincmd.ini", kHostThree}, {"usercmd.ini", kTargetOwn}},
       nullptr,
       {},
       "usercmd.ini\n",
       kNotFromHost,
       255,
       {}},
      {"variable names a missing file",
       {{"usercmd.ini", kTargetOwn}},
       "{dir}/wincmd.ini",
       {},
       "usercmd.ini\n",
       kNotFromHost,
       255,
       {}},
      {"variable names a folder that is missing",
       {{"usercmd.ini", kTargetOwn}},
       "{dir}/missing/wincmd.ini",
       {},
       "usercmd.ini\n",
       kNotFromHost,
       255,
       {}},
      {"one entry",
       {{"wincmd.ini", kHostOneEntry}, {"usercmd.ini", kTargetOwn}},
       "{dir}/wincmd.ini",
       {},
       "usercmd.ini\n",
       Save("{dir}", both) + Answer("usercmd.ini") + Converted(1),
       0,
       {{"usercmd.ini", kTargetOwn + Section(1, {{"Menu", "Notepad"},
                                                 {"Cmd", "notepad.exe"}})}}},
      {"twelve entries",
       {{"wincmd.ini", HostOfCount(12)}, {"usercmd.ini", kTargetOwn}},
       "wincmd.ini",
       {},
       "usercmd.ini\n",
       Save("{dir}", both) + Answer("usercmd.ini") + Converted(12),
       0,
       {{"usercmd.ini", kTargetOwn + SectionsOfCount(12)}}},
      {"separator, quoted command, parameters, folder and window state",
       {{"wincmd.ini", kHostThree}, {"usercmd.ini", kTargetOwn}},
       "wincmd.ini",
       {},
       "usercmd.ini\n",
       Save("{dir}", both) + Answer("usercmd.ini") + Converted(2),
       0,
       {{"usercmd.ini", kTargetOwn + kSectionsOfThree}}},
      {"every entry passed over",
       {{"wincmd.ini", kHostSeparatorsOnly}, {"usercmd.ini", kTargetOwn}},
       "wincmd.ini",
       {},
       "usercmd.ini\n",
       Save("{dir}", both) + Answer("usercmd.ini") + kNothingConverted,
       0,
       {}},
      {"save dialog cancelled",
       {{"wincmd.ini", kHostThree}, {"usercmd.ini", kTargetOwn}},
       "wincmd.ini",
       {},
       "\nusercmd.ini\n",
       Save("{dir}", both) + Answer(""),
       255,
       {}},
      {"save dialog at the end of input",
       {{"wincmd.ini", kHostThree}, {"usercmd.ini", kTargetOwn}},
       "wincmd.ini",
       {},
       "",
       Save("{dir}", both) + Answer(""),
       255,
       {}},
      {"no section User, open dialog cancelled",
       {{"wincmd.ini", kHostWithoutUser}, {"usercmd.ini", kTargetOwn}},
       "wincmd.ini",
       {},
       "\nusercmd.ini\n",
       kNoEntries + Open("{dir}", both) + Answer(""),
       255,
       {}},
      {"no key Menu1, open dialog at the end of input",
       {{"wincmd.ini", kHostWithoutMenu1}, {"usercmd.ini", kTargetOwn}},
       "wincmd.ini",
       {},
       "",
       kNoEntries + Open("{dir}", both) + Answer(""),
       255,
       {}},
      {"empty Menu1, another source picked",
       {{"wincmd.ini", kHostEmptyMenu1},
        {"menus.ini", kHostThree},
        {"usercmd.ini", kTargetOwn}},
       "wincmd.ini",
       {},
       "menus.ini\nusercmd.ini\n",
       kNoEntries + Open("{dir}", {"menus.ini", "usercmd.ini", "wincmd.ini"}) +
           Answer("menus.ini") +
           Save("{dir}", {"menus.ini", "usercmd.ini", "wincmd.ini"}) +
           Answer("usercmd.ini") + Converted(2),
       0,
       {{"usercmd.ini", kTargetOwn + kSectionsOfThree}}},
      {"picked source without entries, save dialog cancelled",
       {{"wincmd.ini", kHostWithoutUser},
        {"empty.ini", kHostEmptyMenu1},
        {"usercmd.ini", kTargetOwn}},
       "wincmd.ini",
       {},
       "empty.ini\n\n",
       kNoEntries + Open("{dir}", {"empty.ini", "usercmd.ini", "wincmd.ini"}) +
           Answer("empty.ini") +
           Save("{dir}", {"empty.ini", "usercmd.ini", "wincmd.ini"}) +
           Answer(""),
       255,
       {}},
      {"picked source without entries",
       {{"wincmd.ini", kHostWithoutUser},
        {"empty.ini", kHostEmptyMenu1},
        {"usercmd.ini", kTargetOwn}},
       "wincmd.ini",
       {},
       "empty.ini\nusercmd.ini\n",
       kNoEntries + Open("{dir}", {"empty.ini", "usercmd.ini", "wincmd.ini"}) +
           Answer("empty.ini") +
           Save("{dir}", {"empty.ini", "usercmd.ini", "wincmd.ini"}) +
           Answer("usercmd.ini") + kNothingConverted,
       0,
       {}},
      {"source chosen as target",
       {{"wincmd.ini", kHostThree}},
       "wincmd.ini",
       {},
       "wincmd.ini\n",
       Save("{dir}", {"wincmd.ini"}) + Answer("wincmd.ini") + Converted(2),
       0,
       {{"wincmd.ini", kHostThree + kSectionsOfThree}}},
      {"command-line arguments ignored",
       {{"wincmd.ini", kHostThree},
        {"other.ini", kHostOneEntry},
        {"usercmd.ini", kTargetOwn}},
       "wincmd.ini",
       {"--help", "/S", "other.ini", "%COMMANDER_INI%"},
       "usercmd.ini\n",
       Save("{dir}", {"other.ini", "usercmd.ini", "wincmd.ini"}) +
           Answer("usercmd.ini") + Converted(2),
       0,
       {{"usercmd.ini", kTargetOwn + kSectionsOfThree}}},
      {"target that is empty",
       {{"wincmd.ini", kHostThree}, {"usercmd.ini", ""}},
       "wincmd.ini",
       {},
       "usercmd.ini\n",
       Save("{dir}", both) + Answer("usercmd.ini") + Converted(2),
       0,
       {{"usercmd.ini", kSectionsOfThree}}},
      // A name that holds a backslash: its folder part (before the
      // backslash) is the dialog's folder, where relative answers start.
      {"initial folder is the source's folder part",
       {{"menus\\wincmd.ini", kHostThree},
        {"menus/", ""},
        {"menus/usercmd.ini", kTargetOwn},
        {"menus/notes.txt", "x"},
        {"usercmd.ini", kTargetOwn}},
       "menus\\wincmd.ini",
       {},
       "usercmd.ini\n",
       Save("{dir}/menus", {"usercmd.ini"}) + Answer("usercmd.ini") +
           Converted(2),
       0,
       {{"menus/usercmd.ini", kTargetOwn + kSectionsOfThree}}},
      {"dialog refuses names until one is found",
       {{"wincmd.ini", kHostOneEntry},
        {"usercmd.ini", kTargetOwn},
        {"sub/", ""}},
       "wincmd.ini",
       {},
       "missing.ini\nsub\nsub/../nothing.ini\n" + std::string(300, 'n') +
           "\n{dir}/./sub/../usercmd.ini\n",
       Save("{dir}", both) + Answer("missing.ini", "File not found.") +
           Answer("sub", "File not found.") +
           Answer("sub/../nothing.ini", "File not found.") +
           Answer(std::string(300, 'n'), "Name too long.") +
           Answer("{dir}/./sub/../usercmd.ini") + Converted(1),
       0,
       {{"usercmd.ini", kTargetOwn + Section(1, {{"Menu", "Notepad"},
                                                 {"Cmd", "notepad.exe"}})}}},
      {"answer with a carriage return",
       {{"wincmd.ini", kHostOneEntry}, {"usercmd.ini", kTargetOwn}},
       "wincmd.ini",
       {},
       "usercmd.ini\r\n",
       Save("{dir}", both) + Answer("usercmd.ini") + Converted(1),
       0,
       {{"usercmd.ini", kTargetOwn + Section(1, {{"Menu", "Notepad"},
                                                 {"Cmd", "notepad.exe"}})}}},
  };
  for (const Scenario& s : kScenarios) {
    SCOPED_TRACE(s.name);
    RunScenario(s);
  }
}

// The host's path is expanded into 260 bytes. One that needs more counts as
// not found: the cut path is never tested, even when it names a file or a
// folder ("./" repeated names the current folder).
TEST(Run, HostPathLongerThanAPathIsNotFound) {
  const std::string dots = "./";
  auto repeat = [&](int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += dots;
    return text;
  };
  const std::string fits = repeat(124) + "/wincmd.ini";     // 259 bytes
  const std::string one_more = repeat(125) + "wincmd.ini";  // 260 bytes
  const std::string of_300 = repeat(145) + "wincmd.ini";    // 300 bytes
  ASSERT_EQ(fits.size(), 259u);
  ASSERT_EQ(one_more.size(), 260u);
  ASSERT_EQ(of_300.size(), 300u);
  const std::vector<File> files = {{"wincmd.ini", kHostThree},
                                   {"wincmd.in", kHostOneEntry},  // the cut 260
                                   {"usercmd.ini", kTargetOwn}};
  const std::vector<std::string> listed = {"usercmd.ini", "wincmd.ini"};
  const Scenario kScenarios[] = {
      {"259 bytes",
       files,
       fits.c_str(),
       {},
       "usercmd.ini\n",
       Save("{dir}", listed) + Answer("usercmd.ini") + Converted(2),
       0,
       {{"usercmd.ini", kTargetOwn + kSectionsOfThree}}},
      {"260 bytes, cut to a file",
       files,
       one_more.c_str(),
       {},
       "usercmd.ini\n",
       kNotFromHost,
       255,
       {}},
      {"300 bytes, cut to a folder",
       files,
       of_300.c_str(),
       {},
       "usercmd.ini\n",
       kNotFromHost,
       255,
       {}},
  };
  for (const Scenario& s : kScenarios) {
    SCOPED_TRACE(s.name);
    RunScenario(s);
  }
}

// The file text holds 260 bytes: an absolute path of 259 bytes is the
// longest a dialog may hand back.
TEST(Run, DialogTakesPathsUpToTheFileTextsCapacity) {
  ScratchFolder folder;
  const size_t name_length = 259 - (folder.path().size() + 1);
  const std::string fits = std::string(name_length - 4, 'f') + ".ini";
  const std::string too_long = std::string(name_length - 3, 'l') + ".ini";
  ASSERT_EQ(folder.Path(fits).size(), 259u);
  folder.Write("wincmd.ini", kHostOneEntry);
  folder.Write(fits, kTargetOwn);
  folder.Write(too_long, kTargetOwn);

  const ProcessResult result =
      RunIn(folder, "wincmd.ini", {}, too_long + "\n" + fits + "\n");
  ASSERT_TRUE(result.exited) << "killed by signal " << result.signal;
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, Save(folder.path(), {fits, too_long, "wincmd.ini"}) +
                               Answer(too_long, "Name too long.") +
                               Answer(fits) + Converted(1));
  EXPECT_EQ(
      folder.Read(fits),
      kTargetOwn + Section(1, {{"Menu", "Notepad"}, {"Cmd", "notepad.exe"}}));
  EXPECT_EQ(folder.Read(too_long), kTargetOwn);
}

// ---- writes the file system refuses ------------------------------------

// Root ignores permission bits, so each refusal is made by the kernel:
// an immutable file, a read-only bind mount, a file under /proc, a full
// tmpfs, or a file-size limit. A refused write is reported with the count of
// entries written completely before it, and the target then holds exactly
// those sections after its own bytes.
struct Refusal {
  const char* name;  // the test's name
  const char* how;   // the mechanism, for the reader of a failure
  int entries;       // in the host, all convertible
  size_t command_length;
  std::string target;  // the answer to the save dialog
  // Prepares the folder; false (with the reason) when this machine cannot.
  std::function<bool(ScratchFolder&, std::string*)> prepare;
  long long size_limit;  // RLIMIT_FSIZE of the program, -1: none
  int expected_count;    // -1: any count below `entries`
};

const Refusal kRefusals[] = {
    {"ImmutableTarget", "chattr +i on the target", 3, 8, "usercmd.ini",
     [](ScratchFolder& f, std::string* why) {
       f.Write("usercmd.ini", kTargetOwn);
       return f.MakeImmutable("usercmd.ini", why);
     },
     -1, 0},
    {"FolderMountedReadOnly", "read-only bind mount of the target's folder", 3,
     8, "locked/usercmd.ini",
     [](ScratchFolder& f, std::string* why) {
       f.MakeFolder("locked");
       f.Write("locked/usercmd.ini", kTargetOwn);
       return f.MountReadOnly("locked", why);
     },
     -1, 0},
    {"FolderRefusingNewFiles",
     "chattr +i on the target's folder, with a value that needs a new file", 3,
     8, "frozen/usercmd.ini",
     [](ScratchFolder& f, std::string* why) {
       f.MakeFolder("frozen");
       // Another caption of another length: replacing it rewrites the file,
       // which takes a new file beside it.
       f.Write("frozen/usercmd.ini",
               kTargetOwn + Section(1, {{"Menu", "An older caption"}}));
       return f.MakeImmutable("frozen", why);
     },
     -1, 0},
    {"FileTheKernelRefuses", "/proc/version, which takes no writes", 3, 8,
     "/proc/version", [](ScratchFolder&, std::string*) { return true; }, -1, 0},
    {"FullDisk", "a 64 KB tmpfs filled up", 300, 40, "small/usercmd.ini",
     [](ScratchFolder& f, std::string* why) {
       f.MakeFolder("small");
       if (!f.MountTmpfs("small", 64 * 1024, why)) return false;
       f.Write("small/usercmd.ini", kTargetOwn);
       if (!FillUp(f.Path("small/zeros.bin"))) {
         *why = "could not fill the tmpfs";
         return false;
       }
       return true;
     },
     -1, -1},
    {"FileSizeLimit", "RLIMIT_FSIZE of 3000 bytes, as a disk that fills up",
     300, 40, "usercmd.ini",
     [](ScratchFolder& f, std::string*) {
       f.Write("usercmd.ini", kTargetOwn);
       return true;
     },
     3000, -1},
};

void PrintTo(const Refusal& refusal, std::ostream* out) { *out << refusal.how; }

class RefusedWrite : public testing::TestWithParam<Refusal> {};

TEST_P(RefusedWrite, IsReportedAsAFailureWithTheSectionsWritten) {
  const Refusal& r = GetParam();
  SCOPED_TRACE(r.how);
  ScratchFolder folder;
  folder.Write("wincmd.ini", HostOfCount(r.entries, r.command_length));
  std::string why;
  if (!r.prepare(folder, &why)) {
    GTEST_SKIP() << "this machine does not allow " << r.how << ": " << why;
  }
  const std::string target_path =
      r.target[0] == '/' ? r.target : folder.Path(r.target);
  const std::string before = folder.Read(target_path);
  const auto contents_before = folder.Contents();

  const ProcessResult result =
      RunIn(folder, "wincmd.ini", {}, r.target + "\n", r.size_limit);
  ASSERT_TRUE(result.exited) << "killed by signal " << result.signal;
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.errors, "");

  std::vector<std::string> listed;  // the .ini files of the current folder
  for (const auto& entry : contents_before) {
    const std::string& name = entry.first;
    if (name.find('/') == std::string::npos && name.size() > 4 &&
        name.compare(name.size() - 4, 4, ".ini") == 0) {
      listed.push_back(name);
    }
  }
  const std::string save =
      WithFolder(Save("{dir}", listed) + Answer(r.target), folder.path());
  ASSERT_EQ(result.output.compare(0, save.size(), save), 0) << result.output;
  const std::regex report(
      "Failure! \\[error\\]\nThe target file could not be written.\n"
      "([0-9]+) entries written.\n\n");
  const std::string rest = result.output.substr(save.size());
  std::smatch match;
  ASSERT_TRUE(std::regex_match(rest, match, report)) << result.output;
  const int count = std::stoi(match[1]);
  if (r.expected_count >= 0) {
    EXPECT_EQ(count, r.expected_count);
  } else {
    EXPECT_LT(count, r.entries);
  }
  // The entry whose write failed may have kept the keys written before the
  // failure (nothing is ever deleted), in whole lines; nothing else changed.
  const std::string after = folder.Read(target_path);
  const std::string complete =
      before + SectionsOfCount(count, r.command_length);
  ASSERT_EQ(after.compare(0, complete.size(), complete), 0) << after;
  const std::string partial = after.substr(complete.size());
  const std::string next =
      SectionsOfCount(count + 1, r.command_length)
          .substr(SectionsOfCount(count, r.command_length).size());
  EXPECT_LT(partial.size(), next.size());
  EXPECT_EQ(next.compare(0, partial.size(), partial), 0) << partial;
  if (!partial.empty()) {
    EXPECT_EQ(partial.compare(partial.size() - 2, 2, "\r\n"), 0) << partial;
  }

  // Nothing else appeared or changed: no file left beside the target.
  auto contents_after = folder.Contents();
  for (auto& entry : contents_after) {
    if (folder.Path(entry.first) == target_path) entry.second = before;
  }
  EXPECT_EQ(contents_after, contents_before);
}

INSTANTIATE_TEST_SUITE_P(Run, RefusedWrite, testing::ValuesIn(kRefusals),
                         [](const testing::TestParamInfo<Refusal>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace e2e
