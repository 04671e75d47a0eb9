// The file-open and file-save dialogs on the terminal. Only these two
// functions live here, so that a test can put its own in their place at link
// time.
//
// A dialog prints its title, the description of the selected filter, its
// folder and the names there that match the filter's pattern, then asks
// "File name: " and reads one line. An empty line or the end of input
// cancels. A relative name is taken from the dialog's folder. A name that
// does not pass the request's flags is answered "File not found.", a full
// path longer than nMaxFile - 1 bytes "Name too long.", and the prompt comes
// again. On success lpstrFile holds the absolute path. When standard input
// is no terminal, the answer read is echoed after the prompt.
#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/posix_internal.h"
#include "platform/win32.h"

namespace {

struct Filter {
  std::string description;
  std::vector<std::string> patterns;  // from "a;b", in their order
};

// The nFilterIndex-th pair of the list (counted from 1); the custom filter
// for index 0 when there is one; the first pair when the index names none.
Filter SelectedFilter(const OPENFILENAMEA& request) {
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const char* p = request.lpstrFilter; p != nullptr && *p != '\0';) {
    std::string description = p;
    p += description.size() + 1;
    std::string pattern = p;
    p += pattern.size() + 1;
    pairs.emplace_back(description, pattern);
    if (pattern.empty()) break;  // a list cut short ends here
  }
  std::pair<std::string, std::string> chosen("", "*");
  if (request.nFilterIndex == 0 && request.lpstrCustomFilter != nullptr &&
      request.lpstrCustomFilter[0] != '\0') {
    chosen.first = request.lpstrCustomFilter;
    chosen.second = request.lpstrCustomFilter + chosen.first.size() + 1;
  } else if (request.nFilterIndex >= 1 &&
             request.nFilterIndex <= pairs.size()) {
    chosen = pairs[request.nFilterIndex - 1];
  } else if (!pairs.empty()) {
    chosen = pairs[0];
  }
  Filter filter;
  filter.description = chosen.first;
  size_t start = 0;
  for (;;) {
    const size_t semicolon = chosen.second.find(';', start);
    std::string one = chosen.second.substr(start, semicolon - start);
    if (!one.empty()) filter.patterns.push_back(one);
    if (semicolon == std::string::npos) break;
    start = semicolon + 1;
  }
  if (filter.patterns.empty()) filter.patterns.push_back("*");
  return filter;
}

std::string CurrentFolder() {
  std::vector<char> buffer(256);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (buffer.size() > (1u << 20)) return "/";
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

bool IsFolder(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// An absolute path with "." parts, ".." parts and repeated slashes taken
// out, without asking the file system (a name may not exist yet).
std::string AbsolutePath(const std::string& base, const std::string& name) {
  const std::string from = base[0] == '/' ? base : CurrentFolder() + "/" + base;
  const std::string joined = name[0] == '/' ? name : from + "/" + name;
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= joined.size()) {
    size_t slash = joined.find('/', start);
    if (slash == std::string::npos) slash = joined.size();
    const std::string part = joined.substr(start, slash - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = slash + 1;
  }
  std::string result;
  for (const std::string& part : parts) result += "/" + part;
  return result.empty() ? "/" : result;
}

// The folder the dialog shows: the initial folder where it is one, else
// the current folder, as the platform falls back.
std::string DialogFolder(const OPENFILENAMEA& request) {
  const char* initial = request.lpstrInitialDir;
  if (initial != nullptr && initial[0] != '\0' && IsFolder(initial)) {
    return AbsolutePath(CurrentFolder(), initial);
  }
  return CurrentFolder();
}

std::vector<std::string> MatchingFiles(const std::string& folder,
                                       const Filter& filter) {
  std::vector<std::string> names;
  DIR* listing = opendir(folder.c_str());
  if (listing == nullptr) return names;
  while (const struct dirent* entry = readdir(listing)) {
    if (IsFolder(folder + "/" + entry->d_name)) continue;
    for (const std::string& pattern : filter.patterns) {
      if (MatchesFileNamePattern(entry->d_name, pattern.c_str())) {
        names.push_back(entry->d_name);
        break;
      }
    }
  }
  closedir(listing);
  std::sort(names.begin(), names.end());
  return names;
}

// Why a full path may not be the answer, or nullptr when it may.
const char* Refusal(const OPENFILENAMEA& request, const std::string& path) {
  if (path.size() > request.nMaxFile - 1) return "Name too long.";
  const size_t slash = path.rfind('/');
  const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
  if ((request.Flags & OFN_PATHMUSTEXIST) != 0 && !IsFolder(folder)) {
    return "File not found.";
  }
  if ((request.Flags & OFN_FILEMUSTEXIST) != 0) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) {
      return "File not found.";
    }
  }
  return nullptr;
}

// One line of standard input without its line end; false at the end of
// input.
bool ReadAnswer(std::string* line) {
  line->clear();
  int c;
  while ((c = getchar()) != EOF && c != '\n')
    line->push_back(static_cast<char>(c));
  if (c == EOF && line->empty()) return false;
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return true;
}

void StoreAnswer(OPENFILENAMEA* request, const std::string& path) {
  memcpy(request->lpstrFile, path.c_str(), path.size() + 1);
  const size_t name_at = path.rfind('/') + 1;
  const size_t dot = path.rfind('.');
  request->nFileOffset = static_cast<WORD>(name_at);
  request->nFileExtension = static_cast<WORD>(
      dot != std::string::npos && dot > name_at ? dot + 1 : path.size());
  if (request->lpstrFileTitle != nullptr && request->nMaxFileTitle > 0) {
    const size_t length =
        std::min<size_t>(path.size() - name_at, request->nMaxFileTitle - 1);
    memcpy(request->lpstrFileTitle, path.c_str() + name_at, length);
    request->lpstrFileTitle[length] = '\0';
  }
}

BOOL RunDialog(LPOPENFILENAMEA request, const char* own_title) {
  if (request == nullptr ||
      request->lStructSize < OPENFILENAME_SIZE_VERSION_400A ||
      request->lpstrFile == nullptr || request->nMaxFile == 0) {
    return FALSE;
  }
  const Filter filter = SelectedFilter(*request);
  const std::string folder = DialogFolder(*request);
  printf("%s\n%s\n%s\n",
         request->lpstrTitle != nullptr ? request->lpstrTitle : own_title,
         filter.description.c_str(), folder.c_str());
  for (const std::string& name : MatchingFiles(folder, filter)) {
    printf("  %s\n", name.c_str());
  }
  for (;;) {
    fputs("File name: ", stdout);
    fflush(stdout);
    std::string answer;
    const bool answered = ReadAnswer(&answer);
    // A terminal has echoed the answer; elsewhere the transcript shows it,
    // so that every later line starts on a line of its own.
    if (!isatty(STDIN_FILENO)) {
      printf("%s\n", answer.c_str());
    } else if (!answered) {
      putchar('\n');
    }
    fflush(stdout);
    if (!answered || answer.empty()) return FALSE;
    const std::string path = AbsolutePath(folder, answer);
    if (const char* refusal = Refusal(*request, path)) {
      printf("%s\n", refusal);
      continue;
    }
    StoreAnswer(request, path);
    return TRUE;
  }
}

}  // namespace

extern "C" BOOL WINAPI GetOpenFileNameA(LPOPENFILENAMEA request) {
  return RunDialog(request, "Open");
}

extern "C" BOOL WINAPI GetSaveFileNameA(LPOPENFILENAMEA request) {
  return RunDialog(request, "Save As");
}
