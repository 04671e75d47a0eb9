// What the program shows and the files it works on, for tests that run it
// through its terminal protocol in a scratch folder.
#ifndef QUILLMOOR_TESTS_E2E_RUN_HARNESS_H_
#define QUILLMOOR_TESTS_E2E_RUN_HARNESS_H_

#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/process.h"
#include "e2e/scratch_folder.h"

namespace e2e {

// ---- what the program shows --------------------------------------------

inline std::string Box(const std::string& caption, const std::string& icon,
                       const std::string& text) {
  return caption + " [" + icon + "]\n" + text + "\n\n";
}

inline const std::string kNotFromHost =
    Box("Failure!", "error",
        "Program must be started from within Total Commander 6.55 or newer!");
inline const std::string kNoEntries =
    Box("Quillmoor", "information",
        "No start menu entries found. Please choose another file manually.");
inline const std::string kNothingConverted =
    Box("Failure!", "warning", "Conversion complete. No entries converted");

inline std::string Converted(int count) {
  return Box(
      "Success!", "information",
      "Conversion complete.\n" + std::to_string(count) + " entries written.");
}

inline std::string NotWritten(int count) {
  return Box("Failure!", "error",
             "The target file could not be written.\n" + std::to_string(count) +
                 " entries written.");
}

inline std::string Dialog(const std::string& title, const std::string& folder,
                          const std::vector<std::string>& names) {
  std::string text = title + "\nSetting files (*.ini)\n" + folder + "\n";
  for (const std::string& name : names) text += "  " + name + "\n";
  return text;
}
inline std::string Open(const std::string& folder,
                        const std::vector<std::string>& names) {
  return Dialog("Open", folder, names);
}
inline std::string Save(const std::string& folder,
                        const std::vector<std::string>& names) {
  return Dialog("Save As", folder, names);
}

// The prompt with the answer echoed after it, and the refusal if any.
inline std::string Answer(const std::string& answer,
                          const char* refusal = nullptr) {
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
inline std::string Section(int index, const std::vector<Key>& keys) {
  std::string text = "[em_usercmd" + std::to_string(index) + "]\r\n";
  for (const Key& key : keys)
    text += std::string(key.name) + "=" + key.value + "\r\n";
  return text;
}

// A host settings file around its [User] section.
inline std::string Host(const std::string& user_lines) {
  return "[Configuration]\r\nEditor=notepad.exe\r\n\r\n[User]\r\n" +
         user_lines + "\r\n[Layout]\r\nButtonBar=1\r\n";
}

inline const std::string kHostOneEntry =
    Host("Menu1=Notepad\r\nCmd1=notepad.exe\r\n");

// A separator, a command in quotes (read without them), %-parameters, a
// start folder and a window state.
inline const std::string kHostThree = Host(
    "Menu1=Notepad\r\nCmd1=notepad.exe\r\n"
    "Menu2=-\r\n"
    "Menu3=Calculator\r\nCmd3=\"C:\\Program Files\\calc.exe\"\r\n"
    "Param3=%P%N\r\nPath3=C:\\Temp\r\nIconic3=1\r\n");
inline const std::string kSectionsOfThree =
    Section(1, {{"Menu", "Notepad"}, {"Cmd", "notepad.exe"}}) +
    Section(3, {{"Menu", "Calculator"},
                {"Cmd", "C:\\Program Files\\calc.exe"},
                {"Param", "%P%N"},
                {"Path", "C:\\Temp"},
                {"Iconic", "1"}});

inline std::string HostOfCount(int count, size_t command_length = 8) {
  std::string lines;
  for (int i = 1; i <= count; ++i) {
    const std::string n = std::to_string(i);
    lines += "Menu" + n + "=Entry " + n + "\r\nCmd" + n + "=" +
             std::string(command_length, 'c') + n + ".exe\r\n";
  }
  return Host(lines);
}
inline std::string SectionsOfCount(int count, size_t command_length = 8) {
  std::string text;
  for (int i = 1; i <= count; ++i) {
    const std::string n = std::to_string(i);
    text +=
        Section(i, {{"Menu", "Entry " + n},
                    {"Cmd", std::string(command_length, 'c') + n + ".exe"}});
  }
  return text;
}

inline const std::string kHostSeparatorsOnly =
    Host("Menu1=-\r\nMenu2=--Submenu\r\nCmd2=x.exe\r\nMenu3=--\r\n");
inline const std::string kHostWithoutUser =
    "[Configuration]\r\nEditor=notepad.exe\r\n[Layout]\r\nButtonBar=1\r\n";
inline const std::string kHostWithoutMenu1 =
    Host("Cmd1=notepad.exe\r\nMenu2=Later\r\n");
inline const std::string kHostEmptyMenu1 =
    Host("Menu1=\r\nCmd1=x.exe\r\nMenu2=Later\r\n");

// A target that holds commands of its own, which must stay as they are.
inline const std::string kTargetOwn =
    "[em_console]\r\nbutton=\r\ncmd=cmd.exe\r\nmenu=Console here\r\n";

// ---- running -----------------------------------------------------------

inline std::string WithFolder(std::string text, const std::string& folder) {
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
  std::vector<File> files;    // made in the scratch folder first
  const char* commander_ini;  // nullptr: not set; "{dir}": the folder
  std::vector<std::string> arguments;
  std::string input;  // the answers, one a line
  std::string expected_output;
  int expected_status;        // 0, or 255 for -1
  std::vector<File> changed;  // files afterwards; all others unchanged
};

inline ProcessResult RunIn(const ScratchFolder& folder,
                           const char* commander_ini,
                           const std::vector<std::string>& arguments,
                           const std::string& input,
                           long long size_limit = -1) {
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
inline void ExpectContents(const ScratchFolder& folder,
                           const std::vector<File>& before,
                           const std::vector<File>& changed, const char* name) {
  std::map<std::string, std::string> expected;
  for (const File& file : before) expected[file.name] = file.bytes;
  for (const File& file : changed) expected[file.name] = file.bytes;
  std::map<std::string, std::string> actual;
  for (const auto& entry : folder.Contents())
    actual[entry.first] = entry.second;
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

inline void RunScenario(const Scenario& s) {
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
  ASSERT_TRUE(result.exited)
      << s.name << ": killed by signal " << result.signal;
  EXPECT_EQ(result.output, WithFolder(s.expected_output, folder.path()))
      << s.name;
  EXPECT_EQ(result.errors, "") << s.name;
  EXPECT_EQ(result.status, s.expected_status) << s.name;
  ExpectContents(folder, s.files, s.changed, s.name);
}

}  // namespace e2e

#endif  // QUILLMOOR_TESTS_E2E_RUN_HARNESS_H_
