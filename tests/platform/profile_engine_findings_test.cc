// Faults the fuzzer found in the settings-file engine, each kept as a case:
// the file before, the writes with their results, and what the file and the
// engine hold afterwards.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/posix_layer.h"
#include "platform/win32.h"
#include "support/scratch.h"

namespace {

struct Write {
  const char* section;
  const char* key;
  const char* value;
  bool taken;
};

struct Read {
  const char* section;
  const char* key;
  const char* value;
};

struct Finding {
  const char* name;
  const char* fixture;  // under fixtures/fuzz-findings
  UINT code_page;
  std::vector<Write> writes;
  const char* file_after;  // nullptr: as before
  std::vector<Read> reads;  // in the same process, then as a new one
};

const Finding kFindings[] = {
    {"EmptyValueEndingTheFileIsFilledIn",
     "empty-last-value-without-line-end.ini",
     1252,
     {{"em_usercmd1", "Menu", "M", true},
      {"em_usercmd1", "Cmd", "c.exe", true}},
     "[em_usercmd1]\r\nMenu=M\r\nCmd=c.exe",
     {{"em_usercmd1", "Menu", "M"}, {"em_usercmd1", "Cmd", "c.exe"}}},
    {"SectionEndingInLeadByteIsRefused",
     "own-command.ini",
     932,
     {{"a\x81", "k", "v", false}, {"a\x81 ", "k", "v", false},
      {"\x83\x65", "k", "v", true},
      {"\x93\xFA", "k", "v", true}},  // a trail byte that could also lead
     "[own]\r\ncmd=mine.exe\r\n[\x83\x65]\r\nk=v\r\n[\x93\xFA]\r\nk=v\r\n",
     {{"own", "cmd", "mine.exe"}, {"\x83\x65", "k", "v"},
      {"\x93\xFA", "k", "v"}}},
};

void Check(const Finding& f) {
  SCOPED_TRACE(f.name);
  SetAnsiCodePageForTesting(f.code_page);
  const std::string before =
      scratch::Fixture(std::string("fuzz-findings/") + f.fixture);
  ASSERT_FALSE(before.empty());
  const std::string path = scratch::Path(std::string(f.name) + ".ini");
  scratch::WriteBytes(path, before);

  for (const Write& w : f.writes) {
    EXPECT_EQ(WritePrivateProfileStringA(w.section, w.key, w.value,
                                         path.c_str()) != FALSE,
              w.taken)
        << "[" << w.section << "] " << w.key << "=" << w.value;
  }
  EXPECT_EQ(scratch::ReadBytes(path),
            f.file_after != nullptr ? std::string(f.file_after) : before);
  for (int pass = 0; pass < 2; ++pass) {
    for (const Read& r : f.reads) {
      char out[260];
      GetPrivateProfileStringA(r.section, r.key, "", out, sizeof out,
                               path.c_str());
      EXPECT_STREQ(out, r.value)
          << "[" << r.section << "] " << r.key
          << (pass == 0 ? " in the writing process" : " in a new process");
    }
    DropProfileCacheForTesting();
  }
  SetAnsiCodePageForTesting(0);
}

TEST(EngineFindings, FileAndReadsAsWritten) {
  for (const Finding& f : kFindings) Check(f);
}

}  // namespace
