// The file search and the environment expansion of our platform layer.
//
// A search is for one path. Wildcards ("*", "?") may stand only in its last
// part and match without regard to case, as the platform matches; a plain
// name is looked up as it is. Paths use "/" like every other path of this
// system; a backslash is an ordinary byte of a name here.
#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <string>

#include "platform/posix_internal.h"
#include "platform/win32.h"

extern char** environ;

namespace {

char FoldCase(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The rest of a pattern that matches the empty rest of a name: only "*"s,
// or a dot followed by nothing but "*"s ("a.*" finds "a", as on the
// platform).
bool MatchesEmpty(const char* pattern) {
  while (*pattern == '*') ++pattern;
  if (*pattern == '.') {
    ++pattern;
    while (*pattern == '*') ++pattern;
  }
  return *pattern == '\0';
}

bool HasWildcard(const std::string& text) {
  return text.find_first_of("*?") != std::string::npos;
}

// 100-nanosecond intervals since 1601-01-01, the platform's file time.
FILETIME ToFileTime(const struct timespec& when) {
  const int64_t kSecondsFrom1601To1970 = 11644473600LL;
  int64_t ticks = 0;
  if (when.tv_sec >= -kSecondsFrom1601To1970) {
    ticks = (static_cast<int64_t>(when.tv_sec) + kSecondsFrom1601To1970) *
                10000000LL +
            when.tv_nsec / 100;
  }
  FILETIME result;
  result.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks));
  result.dwHighDateTime =
      static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32);
  return result;
}

// Fills the record for the entry `name` at `full_path`. False when the entry
// cannot be looked at (it vanished, or a folder on the way refuses).
bool FillFoundEntry(const std::string& full_path, const char* name,
                    WIN32_FIND_DATAA* found) {
  struct stat info;
  // A link that leads nowhere is still an entry of its folder.
  if (stat(full_path.c_str(), &info) != 0 &&
      lstat(full_path.c_str(), &info) != 0) {
    return false;
  }
  memset(found, 0, sizeof *found);
  DWORD attributes = 0;
  if (S_ISDIR(info.st_mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
  if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    attributes |= FILE_ATTRIBUTE_READONLY;
  }
  if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
  found->dwFileAttributes = attributes;

  // The creation time where the file system keeps one, else the last write.
  struct timespec created = info.st_mtim;
  struct statx extended;
  if (statx(AT_FDCWD, full_path.c_str(), 0, STATX_BTIME, &extended) == 0 &&
      (extended.stx_mask & STATX_BTIME) != 0) {
    created.tv_sec = extended.stx_btime.tv_sec;
    created.tv_nsec = extended.stx_btime.tv_nsec;
  }
  found->ftCreationTime = ToFileTime(created);
  found->ftLastAccessTime = ToFileTime(info.st_atim);
  found->ftLastWriteTime = ToFileTime(info.st_mtim);

  const uint64_t size =
      S_ISDIR(info.st_mode) ? 0 : static_cast<uint64_t>(info.st_size);
  found->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  found->nFileSizeLow = static_cast<DWORD>(size);

  // cFileName holds at most MAX_PATH - 1 bytes and its zero byte.
  const size_t length = strnlen(name, MAX_PATH - 1);
  memcpy(found->cFileName, name, length);
  found->cFileName[length] = '\0';
  return true;
}

// An open search. Nothing asks it for a next entry, so it holds nothing; the
// layer keeps the set of open ones so that FindClose can refuse a handle it
// never gave out (or one already closed).
struct Search {};

std::set<Search*>& OpenSearches() {
  static std::set<Search*>* searches = new std::set<Search*>;
  return *searches;
}

HANDLE OpenSearch() {
  Search* search = new Search;
  OpenSearches().insert(search);
  return search;
}

// The variable's value: its exact name first, then, since the platform's
// names know no case, the first whose name differs only by case.
const char* FindVariable(const std::string& name) {
  if (const char* value = getenv(name.c_str())) return value;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const char* equals = strchr(*entry, '=');
    if (equals == nullptr ||
        static_cast<size_t>(equals - *entry) != name.size()) {
      continue;
    }
    if (strncasecmp(*entry, name.c_str(), name.size()) == 0) {
      return equals + 1;
    }
  }
  return nullptr;
}

}  // namespace

bool MatchesFileNamePattern(const char* name, const char* pattern) {
  const char* n = name;
  const char* p = pattern;
  const char* star_pattern = nullptr;  // just after the last "*" seen
  const char* star_name = nullptr;     // where that "*" began to match
  while (*n != '\0') {
    if (*p == '*') {
      star_pattern = ++p;
      star_name = n;
      continue;
    }
    if (*p != '\0' && (*p == '?' || FoldCase(*p) == FoldCase(*n))) {
      ++p;
      ++n;
      continue;
    }
    if (star_pattern == nullptr) return false;
    p = star_pattern;
    n = ++star_name;
  }
  return MatchesEmpty(p);
}

extern "C" HANDLE WINAPI FindFirstFileA(LPCSTR path, LPWIN32_FIND_DATAA found) {
  if (path == nullptr || found == nullptr || path[0] == '\0') {
    return INVALID_HANDLE_VALUE;
  }
  const std::string whole = path;
  const size_t slash = whole.rfind('/');
  const std::string folder =
      slash == std::string::npos ? "" : whole.substr(0, slash + 1);
  const std::string last =
      slash == std::string::npos ? whole : whole.substr(slash + 1);
  // "folder/" names no entry of the folder: the platform finds nothing.
  if (last.empty() || HasWildcard(folder)) return INVALID_HANDLE_VALUE;

  if (!HasWildcard(last)) {
    if (!FillFoundEntry(whole, last.c_str(), found)) {
      return INVALID_HANDLE_VALUE;
    }
    return OpenSearch();
  }

  DIR* listing = opendir(folder.empty() ? "." : folder.c_str());
  if (listing == nullptr) return INVALID_HANDLE_VALUE;
  HANDLE result = INVALID_HANDLE_VALUE;
  while (const struct dirent* entry = readdir(listing)) {
    if (!MatchesFileNamePattern(entry->d_name, last.c_str())) continue;
    if (FillFoundEntry(folder + entry->d_name, entry->d_name, found)) {
      result = OpenSearch();
      break;
    }
  }
  closedir(listing);
  return result;
}

extern "C" BOOL WINAPI FindClose(HANDLE search) {
  Search* open = static_cast<Search*>(search);
  if (OpenSearches().erase(open) == 0) return FALSE;
  delete open;
  return TRUE;
}

extern "C" DWORD WINAPI ExpandEnvironmentStringsA(LPCSTR source, LPSTR out,
                                                  DWORD capacity) {
  if (source == nullptr) return 0;
  std::string result;
  for (const char* p = source; *p != '\0';) {
    const char* close = *p == '%' ? strchr(p + 1, '%') : nullptr;
    if (close == nullptr) {  // an ordinary byte, or a "%" that stands alone
      result += *p++;
      continue;
    }
    const std::string name(p + 1, close);
    const char* value = name.empty() ? nullptr : FindVariable(name);
    if (value != nullptr) {
      result += value;
    } else {  // unknown (or "%%"): left as written
      result.append(p, close + 1);
    }
    p = close + 1;
  }
  if (out != nullptr && capacity > 0) {
    const size_t length =
        result.size() < capacity - 1 ? result.size() : capacity - 1;
    memcpy(out, result.data(), length);
    out[length] = '\0';
  }
  return static_cast<DWORD>(result.size() + 1);
}
