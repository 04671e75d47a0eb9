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

#include "e2e/process.h"
#include "e2e/scratch_folder.h"

namespace e2e {
namespace {

// ---- what the program shows --------------------------------------------

std::string Box(const std::string& caption, const std::string& icon,
                const std::string& text) {
  return caption + " [" + icon + "]\n" + text + "\n\n";
}

const std::string kNotFromHost =
    Box("Failure!", "error",
        "Program must be started from within Total Commander 6.55 or newer!");
const std::string kNoEntries =
    Box("Quillmoor", "information",
        "No start menu entries found. Please choose another file manually.");
const std::string kNothingConverted =
    Box("Failure!", "warning", "Conversion complete. No entries converted");

std::string Converted(int count) {
  return Box("Success!", "information",
             "Conversion complete.\n" + std::to_string(count) +
                 " entries written.");
}

std::string NotWritten(int count) {
  return Box("Failure!", "error",
             "The target file could not be written.\n" +
                 std::to_string(count) + " entries written.");
}

std::string Dialog(const std::string& title, const std::string& folder,
                   const std::vector<std::string>& names) {
  std::string text = title + "\nSetting files (*.ini)\n" + folder + "\n";
  for (const std::string& name : names) text += "  " + name + "\n";
  return text;
}
std::string Open(const std::string& folder,
                 const std::vector<std::string>& names) {
  return Dialog("Open", folder, names);
}
std::string Save(const std::string& folder,
                 const std::vector<std::string>& names) {
  return Dialog("Save As", folder, names);
}

// The prompt with the answer echoed after it, and the refusal if any.
std::string Answer(const std::string& answer, const char* refusal = nullptr) {
  std::string text = "File name: " + answer + "\n";
  if (refusal != nullptr) text += std::string(refusal) + "\n";
  return text;
}

// ---- settings files ----------------------------------------------------

struct Key {
  const char* name;
  std::string value;
};

// A section as the program adds it to a file with CR LF line ends.
std::string Section(int index, const std::vector<Key>& keys) {
  std::string text = "[em_usercmd" + std::to_string(index) + "]\r\n";
  for (const Key& key : keys) text += std::string(key.name) + "=" + key.value + "\r\n";
  return text;
}

// A host settings file around its [User] section.
std::string Host(const std::string& user_lines) {
  return "[Configuration]\r\nEditor=notepad.exe\r\n\r\n[User]\r\n" +
         user_lines + "\r\n[Layout]\r\nButtonBar=1\r\n";
}

const std::string kHostOneEntry = Host("Menu1=Notepad\r\nCmd1=notepad.exe\r\n");

// A separator, a command in quotes (read without them), %-parameters, a
// start folder and a window state.
const std::string kHostThree = Host(
    "Menu1=Notepad\r\nCmd1=notepad.exe\r\n"
    "Menu2=-\r\n"
    "Menu3=Calculator\r\nCmd3=\"C:\\Program Files\\calc.exe\"\r\n"
    "Param3=%P%N\r\nPath3=C:\\Temp\r\nIconic3=1\r\n");
const std::string kSectionsOfThree =
    Section(1, {{"Menu", "Notepad"}, {"Cmd", "notepad.exe"}}) +
    Section(3, {{"Menu", "Calculator"},
                {"Cmd", "C:\\Program Files\\calc.exe"},
                {"Param", "%P%N"},
                {"Path", "C:\\Temp"},
                {"Iconic", "1"}});

std::string HostOfCount(int count, size_t command_length = 8) {
  std::string lines;
  for (int i = 1; i <= count; ++i) {
    const std::string n = std::to_string(i);
    lines += "Menu" + n + "=Entry " + n + "\r\nCmd" + n + "=" +
             std::string(command_length, 'c') + n + ".exe\r\n";
  }
  return Host(lines);
}
std::string SectionsOfCount(int count, size_t command_length = 8) {
  std::string text;
  for (int i = 1; i <= count; ++i) {
    const std::string n = std::to_string(i);
    text += Section(i, {{"Menu", "Entry " + n},
                        {"Cmd", std::string(command_length, 'c') + n + ".exe"}});
  }
  return text;
}

const std::string kHostSeparatorsOnly =
    Host("Menu1=-\r\nMenu2=--Submenu\r\nCmd2=x.exe\r\nMenu3=--\r\n");
const std::string kHostWithoutUser =
    "[Configuration]\r\nEditor=notepad.exe\r\n[Layout]\r\nButtonBar=1\r\n";
const std::string kHostWithoutMenu1 = Host("Cmd1=notepad.exe\r\nMenu2=Later\r\n");
const std::string kHostEmptyMenu1 = Host("Menu1=\r\nCmd1=x.exe\r\nMenu2=Later\r\n");

// A target that holds commands of its own, which must stay as they are.
const std::string kTargetOwn =
    "[em_console]\r\nbutton=\r\ncmd=cmd.exe\r\nmenu=Console here\r\n";

// ---- running -----------------------------------------------------------

std::string WithFolder(std::string text, const std::string& folder) {
  for (size_t at; (at = text.find("{dir}")) != std::string::npos;) {
    text.replace(at, 5, folder);
  }
  return text;
}

struct File {
  std::string name;
  std::string bytes;
};

struct Scenario {
  const char* name;
  std::vector<File> files;       // made in the scratch folder first
  const char* commander_ini;     // nullptr: not set; "{dir}": the folder
  std::vector<std::string> arguments;
  std::string input;             // the answers, one a line
  std::string expected_output;
  int expected_status;           // 0, or 255 for -1
  std::vector<File> changed;     // files afterwards; all others unchanged
};

ProcessResult RunIn(const ScratchFolder& folder, const char* commander_ini,
                    const std::vector<std::string>& arguments,
                    const std::string& input, long long size_limit = -1) {
  ProcessRequest request;
  request.program = QUILLMOOR_PROGRAM;
  request.arguments = arguments;
  if (commander_ini != nullptr) {
    request.environment.push_back("COMMANDER_INI=" +
                                  WithFolder(commander_ini, folder.path()));
  }
  request.folder = folder.path();
  request.input = WithFolder(input, folder.path());
  request.file_size_limit = size_limit;
  return RunProcess(request);
}

// Every file of the folder afterwards: those given, with `changed` in place
// of their former bytes, and nothing else.
void ExpectContents(const ScratchFolder& folder,
                    const std::vector<File>& before,
                    const std::vector<File>& changed, const char* name) {
  std::map<std::string, std::string> expected;
  for (const File& file : before) expected[file.name] = file.bytes;
  for (const File& file : changed) expected[file.name] = file.bytes;
  std::map<std::string, std::string> actual;
  for (const auto& entry : folder.Contents()) actual[entry.first] = entry.second;
  for (const auto& entry : expected) {
    auto found = actual.find(entry.first);
    if (found == actual.end()) {
      ADD_FAILURE() << name << ": " << entry.first << " is gone";
      continue;
    }
    EXPECT_EQ(found->second, entry.second) << name << ": " << entry.first;
  }
  for (const auto& entry : actual) {
    EXPECT_TRUE(expected.count(entry.first) != 0)
        << name << ": unexpected " << entry.first;
  }
}

void RunScenario(const Scenario& s) {
  ScratchFolder folder;
  for (const File& file : s.files) {
    if (!file.name.empty() && file.name.back() == '/') {
      folder.MakeFolder(file.name);
    } else {
      folder.Write(file.name, file.bytes);
    }
  }
  const ProcessResult result =
      RunIn(folder, s.commander_ini, s.arguments, s.input);
  ASSERT_TRUE(result.started) << s.name;
  ASSERT_TRUE(result.exited) << s.name << ": killed by signal " << result.signal;
  EXPECT_EQ(result.output, WithFolder(s.expected_output, folder.path()))
      << s.name;
  EXPECT_EQ(result.errors, "") << s.name;
  EXPECT_EQ(result.status, s.expected_status) << s.name;
  ExpectContents(folder, s.files, s.changed, s.name);
}

// ---- the endings of a run ----------------------------------------------

TEST(Run, EndsAsTheHostsFileAndTheAnswersSay) {
  const std::vector<std::string> both = {"usercmd.ini", "wincmd.ini"};
  const Scenario kScenarios[] = {
      {"variable not set",
       {{"wincmd.ini", kHostThree}, {"usercmd.ini", kTargetOwn}},
       nullptr, {}, "usercmd.ini\n",
       kNotFromHost, 255, {}},
      {"variable names a missing file",
       {{"usercmd.ini", kTargetOwn}},
       "{dir}/wincmd.ini", {}, "usercmd.ini\n",
       kNotFromHost, 255, {}},
      {"variable names a folder that is missing",
       {{"usercmd.ini", kTargetOwn}},
       "{dir}/missing/wincmd.ini", {}, "usercmd.ini\n",
       kNotFromHost, 255, {}},
      {"one entry",
       {{"wincmd.ini", kHostOneEntry}, {"usercmd.ini", kTargetOwn}},
       "{dir}/wincmd.ini", {}, "usercmd.ini\n",
       Save("{dir}", both) + Answer("usercmd.ini") + Converted(1), 0,
       {{"usercmd.ini", kTargetOwn + Section(1, {{"Menu", "Notepad"},
                                                  {"Cmd", "notepad.exe"}})}}},
      {"twelve entries",
       {{"wincmd.ini", HostOfCount(12)}, {"usercmd.ini", kTargetOwn}},
       "wincmd.ini", {}, "usercmd.ini\n",
       Save("{dir}", both) + Answer("usercmd.ini") + Converted(12), 0,
       {{"usercmd.ini", kTargetOwn + SectionsOfCount(12)}}},
      {"separator, quoted command, parameters, folder and window state",
       {{"wincmd.ini", kHostThree}, {"usercmd.ini", kTargetOwn}},
       "wincmd.ini", {}, "usercmd.ini\n",
       Save("{dir}", both) + Answer("usercmd.ini") + Converted(2), 0,
       {{"usercmd.ini", kTargetOwn + kSectionsOfThree}}},
      {"every entry passed over",
       {{"wincmd.ini", kHostSeparatorsOnly}, {"usercmd.ini", kTargetOwn}},
       "wincmd.ini", {}, "usercmd.ini\n",
       Save("{dir}", both) + Answer("usercmd.ini") + kNothingConverted, 0,
       {}},
      {"save dialog cancelled",
       {{"wincmd.ini", kHostThree}, {"usercmd.ini", kTargetOwn}},
       "wincmd.ini", {}, "\nusercmd.ini\n",
       Save("{dir}", both) + Answer(""), 255, {}},
      {"save dialog at the end of input",
       {{"wincmd.ini", kHostThree}, {"usercmd.ini", kTargetOwn}},
       "wincmd.ini", {}, "",
       Save("{dir}", both) + Answer(""), 255, {}},
      {"no section User, open dialog cancelled",
       {{"wincmd.ini", kHostWithoutUser}, {"usercmd.ini", kTargetOwn}},
       "wincmd.ini", {}, "\nusercmd.ini\n",
       kNoEntries + Open("{dir}", both) + Answer(""), 255, {}},
      {"no key Menu1, open dialog at the end of input",
       {{"wincmd.ini", kHostWithoutMenu1}, {"usercmd.ini", kTargetOwn}},
       "wincmd.ini", {}, "",
       kNoEntries + Open("{dir}", both) + Answer(""), 255, {}},
      {"empty Menu1, another source picked",
       {{"wincmd.ini", kHostEmptyMenu1},
        {"menus.ini", kHostThree},
        {"usercmd.ini", kTargetOwn}},
       "wincmd.ini", {}, "menus.ini\nusercmd.ini\n",
       kNoEntries + Open("{dir}", {"menus.ini", "usercmd.ini", "wincmd.ini"}) +
           Answer("menus.ini") +
           Save("{dir}", {"menus.ini", "usercmd.ini", "wincmd.ini"}) +
           Answer("usercmd.ini") + Converted(2),
       0, {{"usercmd.ini", kTargetOwn + kSectionsOfThree}}},
      {"picked source without entries, save dialog cancelled",
       {{"wincmd.ini", kHostWithoutUser},
        {"empty.ini", kHostEmptyMenu1},
        {"usercmd.ini", kTargetOwn}},
       "wincmd.ini", {}, "empty.ini\n\n",
       kNoEntries + Open("{dir}", {"empty.ini", "usercmd.ini", "wincmd.ini"}) +
           Answer("empty.ini") +
           Save("{dir}", {"empty.ini", "usercmd.ini", "wincmd.ini"}) +
           Answer(""),
       255, {}},
      {"picked source without entries",
       {{"wincmd.ini", kHostWithoutUser},
        {"empty.ini", kHostEmptyMenu1},
        {"usercmd.ini", kTargetOwn}},
       "wincmd.ini", {}, "empty.ini\nusercmd.ini\n",
       kNoEntries + Open("{dir}", {"empty.ini", "usercmd.ini", "wincmd.ini"}) +
           Answer("empty.ini") +
           Save("{dir}", {"empty.ini", "usercmd.ini", "wincmd.ini"}) +
           Answer("usercmd.ini") + kNothingConverted,
       0, {}},
      {"source chosen as target",
       {{"wincmd.ini", kHostThree}},
       "wincmd.ini", {}, "wincmd.ini\n",
       Save("{dir}", {"wincmd.ini"}) + Answer("wincmd.ini") + Converted(2), 0,
       {{"wincmd.ini", kHostThree + kSectionsOfThree}}},
      {"command-line arguments ignored",
       {{"wincmd.ini", kHostThree},
        {"other.ini", kHostOneEntry},
        {"usercmd.ini", kTargetOwn}},
       "wincmd.ini", {"--help", "/S", "other.ini", "%COMMANDER_INI%"}, "usercmd.ini\n",
       Save("{dir}", {"other.ini", "usercmd.ini", "wincmd.ini"}) +
           Answer("usercmd.ini") + Converted(2),
       0, {{"usercmd.ini", kTargetOwn + kSectionsOfThree}}},
      {"target that is empty",
       {{"wincmd.ini", kHostThree}, {"usercmd.ini", ""}},
       "wincmd.ini", {}, "usercmd.ini\n",
       Save("{dir}", both) + Answer("usercmd.ini") + Converted(2), 0,
       {{"usercmd.ini", kSectionsOfThree}}},
      // A name that holds a backslash: its folder part (before the
      // backslash) is the dialog's folder, where relative answers start.
      {"initial folder is the source's folder part",
       {{"menus\\wincmd.ini", kHostThree},
        {"menus/", ""},
        {"menus/usercmd.ini", kTargetOwn},
        {"menus/notes.txt", "x"},
        {"usercmd.ini", kTargetOwn}},
       "menus\\wincmd.ini", {}, "usercmd.ini\n",
       Save("{dir}/menus", {"usercmd.ini"}) + Answer("usercmd.ini") +
           Converted(2),
       0, {{"menus/usercmd.ini", kTargetOwn + kSectionsOfThree}}},
      {"dialog refuses names until one is found",
       {{"wincmd.ini", kHostOneEntry},
        {"usercmd.ini", kTargetOwn},
        {"sub/", ""}},
       "wincmd.ini", {},
       "missing.ini\nsub\nsub/../nothing.ini\n" + std::string(300, 'n') +
           "\n{dir}/./sub/../usercmd.ini\n",
       Save("{dir}", both) + Answer("missing.ini", "File not found.") +
           Answer("sub", "File not found.") +
           Answer("sub/../nothing.ini", "File not found.") +
           Answer(std::string(300, 'n'), "Name too long.") +
           Answer("{dir}/./sub/../usercmd.ini") + Converted(1),
       0, {{"usercmd.ini", kTargetOwn + Section(1, {{"Menu", "Notepad"},
                                                    {"Cmd", "notepad.exe"}})}}},
      {"answer with a carriage return",
       {{"wincmd.ini", kHostOneEntry}, {"usercmd.ini", kTargetOwn}},
       "wincmd.ini", {}, "usercmd.ini\r\n",
       Save("{dir}", both) + Answer("usercmd.ini") + Converted(1), 0,
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
  const std::string fits = repeat(124) + "/wincmd.ini";   // 259 bytes
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
      {"259 bytes", files, fits.c_str(), {}, "usercmd.ini\n",
       Save("{dir}", listed) + Answer("usercmd.ini") + Converted(2), 0,
       {{"usercmd.ini", kTargetOwn + kSectionsOfThree}}},
      {"260 bytes, cut to a file", files, one_more.c_str(), {}, "usercmd.ini\n",
       kNotFromHost, 255, {}},
      {"300 bytes, cut to a folder", files, of_300.c_str(), {}, "usercmd.ini\n",
       kNotFromHost, 255, {}},
  };
  for (const Scenario& s : kScenarios) {
    SCOPED_TRACE(s.name);
    RunScenario(s);
  }
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
    {"FolderMountedReadOnly", "read-only bind mount of the target's folder",
     3, 8, "locked/usercmd.ini",
     [](ScratchFolder& f, std::string* why) {
       f.MakeFolder("locked");
       f.Write("locked/usercmd.ini", kTargetOwn);
       return f.MountReadOnly("locked", why);
     },
     -1, 0},
    {"FileTheKernelRefuses", "/proc/version, which takes no writes", 3, 8,
     "/proc/version", [](ScratchFolder&, std::string*) { return true; }, -1,
     0},
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
  const std::string save = WithFolder(
      Save("{dir}", listed) + Answer(r.target), folder.path());
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
  const std::string complete = before + SectionsOfCount(count, r.command_length);
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
