#include "conversion/convert_entries.h"

#include <string>

#include <gtest/gtest.h>

#include "support/scratch.h"

namespace {

// Converts a source file holding source_bytes into target_path.
ConversionResult ConvertFrom(const std::string& source_bytes,
                             const std::string& target_path) {
  const std::string source_path = scratch::Path("source.ini");
  scratch::WriteBytes(source_path, source_bytes);
  const ProfileSection from(source_path.c_str(), "User");
  PathText target;
  CopyText(target, target_path.c_str());
  return ConvertEntries(from, target);
}

struct Scenario {
  const char* name;
  const char* source;        // bytes of the source file
  const char* target;        // bytes of the target before; nullptr: no file
  WrittenCount written;
  const char* target_after;  // nullptr: no file afterwards
};

const Scenario kScenarios[] = {
    {"no Menu1 writes nothing and makes no file",
     "[User]\r\nCmd1=x.exe\r\n", nullptr, 0, nullptr},
    {"an empty Menu1 leaves the target untouched",
     "[User]\r\nMenu1=\r\nMenu2=two\r\n", "[keep]\r\na=1\r\n", 0,
     "[keep]\r\na=1\r\n"},
    {"no section User", "[Other]\r\nMenu1=x\r\n", nullptr, 0, nullptr},
    {"separators passed over, numbering kept, list ends at the gap",
     "[User]\r\nMenu1=One\r\nCmd1=one.exe\r\nMenu2=-\r\nCmd2=sep.exe\r\n"
     "Menu3=Three\r\nMenu5=Five\r\nCmd5=five.exe\r\n",
     nullptr, 2,
     "[em_usercmd1]\r\nMenu=One\r\nCmd=one.exe\r\n"
     "[em_usercmd3]\r\nMenu=Three\r\n"},
    {"submenu captions begin with a hyphen; one inside a caption counts not",
     "[User]\r\nMenu1=-Tools\r\nMenu2=--\r\nMenu3=A - B\r\nCmd3=ab.exe\r\n",
     nullptr, 1, "[em_usercmd3]\r\nMenu=A - B\r\nCmd=ab.exe\r\n"},
    {"only separators before the end", "[User]\r\nMenu1=-\r\nMenu2=-x\r\n",
     nullptr, 0, nullptr},
    {"keys written as Menu, Cmd, Param, Path, Iconic, empty ones left out",
     "[User]\r\nIconic1=1\r\nPath1=C:\\Work\r\nParam1=%P%N\r\nCmd1=\r\n"
     "Menu1=Edit\r\n",
     nullptr, 1,
     "[em_usercmd1]\r\nMenu=Edit\r\nParam=%P%N\r\nPath=C:\\Work\r\n"
     "Iconic=1\r\n"},
    {"values copied as read, quotes stripped by the reader",
     "[User]\r\nMenu1=\"Quoted Tool\"\r\nCmd1=\"C:\\Program Files\\t.exe\"\r\n"
     "Iconic1=-1\r\n",
     nullptr, 1,
     "[em_usercmd1]\r\nMenu=Quoted Tool\r\nCmd=C:\\Program Files\\t.exe\r\n"
     "Iconic=-1\r\n"},
    {"an existing section keeps the keys not written",
     "[User]\r\nMenu1=a\r\nMenu2=b\r\nMenu3=Three\r\nPath3=C:\\new\r\n",
     "; mine\r\n[em_usercmd3]\r\nCmd=old.exe\r\nPath=C:\\old\r\n[other]\r\nx=1"
     "\r\n",
     3,
     "; mine\r\n[em_usercmd3]\r\nCmd=old.exe\r\nPath=C:\\new\r\nMenu=Three"
     "\r\n[other]\r\nx=1\r\n[em_usercmd1]\r\nMenu=a\r\n[em_usercmd2]\r\n"
     "Menu=b\r\n"},
};

TEST(ConvertEntries, Scenarios) {
  for (const Scenario& s : kScenarios) {
    SCOPED_TRACE(s.name);
    const std::string source_path = scratch::Path("source.ini");
    const std::string target_path = scratch::Path("target.ini");
    scratch::WriteBytes(source_path, s.source);
    if (s.target != nullptr) scratch::WriteBytes(target_path, s.target);

    const ProfileSection source(source_path.c_str(), "User");
    PathText target;
    CopyText(target, target_path.c_str());
    const ConversionResult result = ConvertEntries(source, target);

    EXPECT_EQ(result.written, s.written);
    EXPECT_FALSE(result.write_failed);
    EXPECT_EQ(scratch::ReadBytes(source_path), s.source);
    if (s.target_after == nullptr) {
      EXPECT_FALSE(scratch::Exists(target_path));
    } else {
      EXPECT_EQ(scratch::ReadBytes(target_path), s.target_after);
    }
    EXPECT_STREQ(source.section_name(), "User");
    EXPECT_EQ(std::string(source.file_name()), source_path);
  }
}

TEST(ConvertEntries, TenthEntryUsesTwoDigitKeys) {
  std::string source = "[User]\r\n";
  for (int i = 1; i <= 10; ++i) {
    source += "Menu" + std::to_string(i) + "=-\r\n";
  }
  source.replace(source.find("Menu10=-"), 8, "Menu10=Ten");
  source += "Cmd10=ten.exe\r\nPath10=D:\\\r\nIconic10=1\r\nParam10=-p\r\n"
            "Cmd1=not-this.exe\r\n";
  const std::string target_path = scratch::Path("target.ini");
  EXPECT_EQ(ConvertFrom(source, target_path).written, 1);
  EXPECT_EQ(scratch::ReadBytes(target_path),
            "[em_usercmd10]\r\nMenu=Ten\r\nCmd=ten.exe\r\nParam=-p\r\n"
            "Path=D:\\\r\nIconic=1\r\n");
}

TEST(ConvertEntries, LongValuesAreCutToTheirFields) {
  const std::string command(3000, 'c');
  const std::string folder(300, 'f');
  const std::string source = "[User]\r\nMenu1=Long\r\nCmd1=" + command +
                             "\r\nPath1=" + folder + "\r\n";
  const std::string target_path = scratch::Path("target.ini");
  EXPECT_EQ(ConvertFrom(source, target_path).written, 1);
  EXPECT_EQ(scratch::ReadBytes(target_path),
            "[em_usercmd1]\r\nMenu=Long\r\nCmd=" + command.substr(0, 2047) +
                "\r\nPath=" + folder.substr(0, 259) + "\r\n");
}

TEST(ConvertEntries, NoValueCarriesOverFromTheEntryBefore) {
  const std::string target_path = scratch::Path("target.ini");
  EXPECT_EQ(ConvertFrom("[User]\r\nMenu1=A\r\nCmd1=a.exe\r\nParam1=-a\r\n"
                        "Path1=C:\\a\r\nIconic1=1\r\nMenu2=B\r\n",
                        target_path)
                .written,
            2);
  EXPECT_EQ(scratch::ReadBytes(target_path),
            "[em_usercmd1]\r\nMenu=A\r\nCmd=a.exe\r\nParam=-a\r\nPath=C:\\a\r\n"
            "Iconic=1\r\n[em_usercmd2]\r\nMenu=B\r\n");
}

TEST(ConvertEntries, SourceAsTargetLeavesUserAsItWas) {
  const std::string path = scratch::Path("both.ini");
  const std::string user =
      "[User]\r\nMenu1=One\r\nCmd1=one.exe\r\nMenu2=Two\r\n";
  scratch::WriteBytes(path, user);
  const ProfileSection from(path.c_str(), "User");
  PathText target;
  CopyText(target, path.c_str());
  EXPECT_EQ(ConvertEntries(from, target).written, 2);
  EXPECT_EQ(scratch::ReadBytes(path),
            user + "[em_usercmd1]\r\nMenu=One\r\nCmd=one.exe\r\n"
                   "[em_usercmd2]\r\nMenu=Two\r\n");
}

TEST(ConvertEntries, TheWalkEndsAfterMenu65535) {
  // Generated rather than committed: 65,536 captions, none empty.
  std::string source = "[User]\r\n";
  source.reserve(65536 * 16);
  for (uint32_t i = 1; i <= 65536; ++i) {
    source += "Menu" + std::to_string(i) + "=-\r\n";
  }
  source.replace(source.find("Menu65535=-"), 11, "Menu65535=Last");
  source += "Menu0=Zero\r\n";  // where a wrapped index would go on
  const std::string target_path = scratch::Path("target.ini");
  const ConversionResult result = ConvertFrom(source, target_path);
  EXPECT_EQ(result.written, 1);
  EXPECT_FALSE(result.write_failed);
  EXPECT_EQ(scratch::ReadBytes(target_path),
            "[em_usercmd65535]\r\nMenu=Last\r\n");
}

}  // namespace
