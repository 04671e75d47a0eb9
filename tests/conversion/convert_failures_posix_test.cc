// A target that stops taking writes part-way: the conversion stops there and
// counts only the entries written whole.
#include <signal.h>
#include <sys/resource.h>

#include <string>

#include <gtest/gtest.h>

#include "conversion/convert_entries.h"
#include "platform/posix_layer.h"
#include "support/scratch.h"

namespace {

TEST(ConvertEntries, StopsAtTheFirstFailedWrite) {
  std::string source = "[User]\r\n";
  for (int i = 1; i <= 50; ++i) {
    const std::string n = std::to_string(i);
    source += "Menu" + n + "=Entry " + n + "\r\nCmd" + n + "=tool" + n +
              ".exe\r\nParam" + n + "=%P%N\r\n";
  }
  const std::string source_path = scratch::Path("source.ini");
  const std::string target_path = scratch::Path("target.ini");
  scratch::WriteBytes(source_path, source);
  const std::string own = "[own]\r\ncmd=mine\r\n";
  scratch::WriteBytes(target_path, own);

  // The kernel refuses growth past 300 bytes, as a full disk would.
  struct rlimit old_limit;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  signal(SIGXFSZ, SIG_IGN);
  struct rlimit limit = old_limit;
  limit.rlim_cur = 300;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  const ProfileSection from(source_path.c_str(), "User");
  PathText target;
  CopyText(target, target_path.c_str());
  const ConversionResult result = ConvertEntries(from, target);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old_limit), 0);

  EXPECT_TRUE(result.write_failed);
  const std::string after = scratch::ReadBytes(target_path);
  EXPECT_LE(after.size(), 300u);
  // Exactly the entries counted are whole; whatever follows them is a
  // complete prefix of the next entry's keys.
  std::string expected = own;
  for (int i = 1; i <= result.written; ++i) {
    const std::string n = std::to_string(i);
    expected += "[em_usercmd" + n + "]\r\nMenu=Entry " + n + "\r\nCmd=tool" +
                n + ".exe\r\nParam=%P%N\r\n";
  }
  ASSERT_EQ(after.compare(0, expected.size(), expected), 0) << after;
  const std::string n = std::to_string(result.written + 1);
  const std::string next = "[em_usercmd" + n + "]\r\nMenu=Entry " + n +
                           "\r\nCmd=tool" + n + ".exe\r\n";
  const std::string rest = after.substr(expected.size());
  EXPECT_TRUE(rest.empty() || next.compare(0, rest.size(), rest) == 0) << rest;
  EXPECT_GT(result.written, 0);
}

}  // namespace
