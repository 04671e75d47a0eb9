// One run of the program: find the host's settings file, fall back to a file
// the user picks when it holds no start-menu entries, ask for the target,
// convert, report. The command line is not read.
#include "conversion/convert_entries.h"
#include "conversion/key_name_table.h"
#include "files/file_helpers.h"
#include "platform/win32.h"
#include "settings/profile_section.h"
#include "text/fixed_text.h"

namespace {

const char kNotStartedFromHost[] =
    "Program must be started from within Total Commander 6.55 or newer!";
const char kNoEntries[] =
    "No start menu entries found. Please choose another file manually.";
const char kNothingConverted[] = "Conversion complete. No entries converted";
const char kTargetNotWritten[] = "The target file could not be written.\n";
const char kFailureCaption[] = "Failure!";
const char kSuccessCaption[] = "Success!";

void Show(const char* text, const char* caption, UINT icon) {
  MessageBoxA(GetActiveWindow(), text, caption, icon);
}

// first + "<count> entries written."
void ShowCount(const char* first, WrittenCount count, const char* caption,
               UINT icon) {
  PathText report;
  DigitsText digits;
  CopyText(report, first);
  FormatDecimal(count, digits);
  AppendText(report, digits.c_str());
  AppendText(report, " entries written.");
  Show(report.c_str(), caption, icon);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  InitCommonControls();

  PathText filter;
  BuildSettingFilesFilter(filter);

  // A value that does not fit the path would be tested cut; it counts as
  // not found instead.
  PathText source_path;
  const DWORD needed =
      ExpandEnvironmentStringsA("%COMMANDER_INI%", source_path.bytes,
                                static_cast<DWORD>(kPathCapacity));
  if (needed == 0 || needed > kPathCapacity ||
      !FileExists(source_path.c_str())) {
    Show(kNotStartedFromHost, kFailureCaption, MB_ICONERROR);
    return -1;
  }

  ProfileSection source(source_path.c_str(), "User");
  PathText probe_key;
  DigitsText one;
  CopyText(probe_key, kKeyNames.menu);
  FormatDecimal(1, one);
  AppendText(probe_key, one.c_str());
  PathText probe;
  source.ReadString(probe_key.c_str(), "", probe.bytes, kPathCapacity);

  if (probe.empty()) {
    Show(kNoEntries, kKeyNames.program_title, MB_ICONINFORMATION);
    PathText open_folder;
    GetDirectoryPart(source_path.c_str(), &open_folder);
    if (!AskOpenFileName(GetActiveWindow(), source_path, open_folder.c_str(),
                         filter)) {
      return -1;
    }
    source.SetFile(source_path.c_str());
  }

  PathText target_path;
  PathText save_folder;
  GetDirectoryPart(source_path.c_str(), &save_folder);
  if (!AskSaveFileName(GetActiveWindow(), target_path, save_folder.c_str(),
                       filter)) {
    return -1;
  }

  const ConversionResult result = ConvertEntries(source, target_path);
  if (result.write_failed) {
    ShowCount(kTargetNotWritten, result.written, kFailureCaption,
              MB_ICONERROR);
    return -1;
  }
  if (result.written == 0) {
    Show(kNothingConverted, kFailureCaption, MB_ICONWARNING);
  } else {
    ShowCount("Conversion complete.\n", result.written, kSuccessCaption,
              MB_ICONINFORMATION);
  }
  return 0;
}
