// The requests seen from the dialog's side: this program links these two
// functions in place of the terminal dialogs.
#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include "files/file_helpers.h"

namespace {

struct DialogCall {
  int count = 0;
  const char* function = nullptr;
  OPENFILENAMEA request;
  std::string file_text_shown;  // lpstrFile as the dialog found it
  // What the fake user does.
  BOOL result = FALSE;
  const char* choice = nullptr;
};
DialogCall g_call;

BOOL FakeDialog(const char* function, LPOPENFILENAMEA request) {
  ++g_call.count;
  g_call.function = function;
  g_call.request = *request;
  g_call.file_text_shown = request->lpstrFile;
  if (g_call.choice != nullptr) strcpy(request->lpstrFile, g_call.choice);
  return g_call.result;
}

}  // namespace

extern "C" BOOL WINAPI GetOpenFileNameA(LPOPENFILENAMEA request) {
  return FakeDialog("open", request);
}
extern "C" BOOL WINAPI GetSaveFileNameA(LPOPENFILENAMEA request) {
  return FakeDialog("save", request);
}

namespace {

TEST(FileRequest, EmptiesTheFileTextAndHandsTheRecordToItsDialog) {
  using Ask = bool (*)(HWND, PathText&, const char*, const PathText&);
  const struct {
    const char* name;
    Ask ask;
    const char* function;
    BOOL dialog_result;
    const char* choice;  // written by the user into the file text
    bool expected;
  } kCases[] = {
      {"open, file chosen", AskOpenFileName, "open", TRUE,
       "/home/user/menus.ini", true},
      {"open, cancelled", AskOpenFileName, "open", FALSE, nullptr, false},
      {"save, file chosen", AskSaveFileName, "save", TRUE,
       "/home/user/usercmd.ini", true},
      {"save, cancelled", AskSaveFileName, "save", FALSE, nullptr, false},
      {"dialog result other than 1", AskSaveFileName, "save", 7,
       "/home/user/usercmd.ini", true},
  };
  for (const auto& c : kCases) {
    g_call = DialogCall();
    g_call.result = c.dialog_result;
    g_call.choice = c.choice;
    PathText filter;
    BuildSettingFilesFilter(filter);
    PathText file;
    CopyText(file, "/home/user/wincmd.ini");
    const char folder[] = "/home/user";
    HWND owner = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x42));

    EXPECT_EQ(c.ask(owner, file, folder, filter), c.expected) << c.name;

    ASSERT_EQ(g_call.count, 1) << c.name;
    EXPECT_STREQ(g_call.function, c.function) << c.name;
    EXPECT_EQ(g_call.file_text_shown, "") << c.name;
    const OPENFILENAMEA& r = g_call.request;
    EXPECT_EQ(r.lStructSize, 76u) << c.name;
    EXPECT_EQ(r.hwndOwner, owner) << c.name;
    EXPECT_EQ(r.lpstrFilter, filter.bytes) << c.name;
    EXPECT_EQ(r.nFilterIndex, 1u) << c.name;
    EXPECT_EQ(r.lpstrFile, file.bytes) << c.name;
    EXPECT_EQ(r.nMaxFile, 260u) << c.name;
    EXPECT_EQ(r.lpstrInitialDir, folder) << c.name;
    EXPECT_EQ(r.lpstrTitle, nullptr) << c.name;
    EXPECT_EQ(r.Flags, OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST) << c.name;
    EXPECT_EQ(r.lpstrDefExt, nullptr) << c.name;
    EXPECT_EQ(r.lpfnHook, nullptr) << c.name;
    if (c.expected) EXPECT_STREQ(file.c_str(), c.choice) << c.name;
  }
}

}  // namespace
