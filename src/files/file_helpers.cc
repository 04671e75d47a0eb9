#include "files/file_helpers.h"

#include <string.h>

bool FileExists(const char* path) {
  WIN32_FIND_DATAA found;
  memset(&found, 0, sizeof found);
  const HANDLE search = FindFirstFileA(path, &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

void GetDirectoryPart(const char* path, PathText* out) {
  if (path == nullptr) return;
  const char* last_backslash = nullptr;
  for (const char* p = path; *p != '\0'; ++p) {
    if (IsDBCSLeadByte(static_cast<BYTE>(*p))) {
      if (p[1] == '\0') break;  // a cut double-byte character ends the path
      ++p;
      continue;
    }
    if (*p == '\\') last_backslash = p;
  }
  if (last_backslash == nullptr || out == nullptr) return;
  CopyTextN(*out, path, static_cast<size_t>(last_backslash - path));
}

void BuildSettingFilesFilter(PathText& filter) {
  // The list ends at the first empty text: a buffer that held anything
  // before must not leave stray bytes after the pattern.
  memset(filter.bytes, 0, sizeof filter.bytes);
  CopyText(filter, "Setting files");
  AppendText(filter, " (*.ini)");
  const size_t pattern_at = strlen(filter.c_str()) + 1;
  CopyText(filter.bytes + pattern_at, kPathCapacity - pattern_at, "*.ini");
}

void FillFileRequest(OPENFILENAMEA& request, HWND owner, PathText& file,
                     const char* initial_folder, const PathText& filter) {
  memset(&request, 0, sizeof request);
  request.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
  request.hwndOwner = owner;
  request.lpstrFilter = filter.c_str();
  request.nFilterIndex = 1;
  request.lpstrFile = file.bytes;
  request.nMaxFile = kPathCapacity;
  request.lpstrInitialDir = initial_folder;
  request.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
}

bool AskOpenFileName(HWND owner, PathText& file, const char* initial_folder,
                     const PathText& filter) {
  OPENFILENAMEA request;
  FillFileRequest(request, owner, file, initial_folder, filter);
  file.bytes[0] = '\0';
  return GetOpenFileNameA(&request) != FALSE;
}

bool AskSaveFileName(HWND owner, PathText& file, const char* initial_folder,
                     const PathText& filter) {
  OPENFILENAMEA request;
  FillFileRequest(request, owner, file, initial_folder, filter);
  file.bytes[0] = '\0';
  return GetSaveFileNameA(&request) != FALSE;
}
