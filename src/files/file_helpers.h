// File and path operations of the run: the existence test, the folder part
// of a path, the file-type filter of the dialogs, and the two file requests.
#ifndef QUILLMOOR_FILES_FILE_HELPERS_H_
#define QUILLMOOR_FILES_FILE_HELPERS_H_

#include "platform/win32.h"
#include "text/fixed_text.h"

// True when the platform's directory search finds an entry for path
// (wildcards included: whatever FindFirstFileA finds counts).
bool FileExists(const char* path);

// out <- the bytes of path before its last backslash. The path is walked
// character by character in the ANSI code page, so the second byte of a
// double-byte character is never taken for a backslash; nothing beyond the
// path's zero byte is read. Without a backslash, or with out null, out keeps
// what it held.
void GetDirectoryPart(const char* path, PathText* out);

// The dialogs' filter list: "Setting files (*.ini)", "*.ini", then the empty
// text that ends the list (29 bytes, the other 231 zero).
void BuildSettingFilesFilter(PathText& filter);

// The request record both dialogs receive: zero-filled, then lStructSize 76,
// the owner, the filter with index 1, the file text with nMaxFile 260, the
// initial folder and Flags OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST.
void FillFileRequest(OPENFILENAMEA& request, HWND owner, PathText& file,
                     const char* initial_folder, const PathText& filter);

// Empties file, shows the platform's open (save) dialog and returns true when
// the user chose a file, whose full path file then holds.
bool AskOpenFileName(HWND owner, PathText& file, const char* initial_folder,
                     const PathText& filter);
bool AskSaveFileName(HWND owner, PathText& file, const char* initial_folder,
                     const PathText& filter);

#endif  // QUILLMOOR_FILES_FILE_HELPERS_H_
