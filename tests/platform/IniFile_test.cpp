#include "platform/IniFile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/cp932.h"
#include "support/testutil.h"

namespace {

using qmtest::ReadFile;
using qmtest::TempDir;
using qmtest::WriteFile;

std::string S(const char *utf8) { return cp932::FromUtf8(utf8); }

const std::string kFile = S(
    "; 手で書いた注記\r\n"
    "[Window]\r\n"
    "  Width = 640 \r\n"
    "Name=\"  quoted  \"\r\n"
    "Single='x'\r\n"
    "Half=\"open\r\n"
    "Font=\"ＭＳ ゴシック\",128,-12,-9,0,80000008\r\n"
    ";Hidden=1\r\n"
    "Bad=12x\r\n"
    "Dup=first\r\n"
    "Dup=second\r\n"
    "\r\n"
    "[其の他]\r\n"
    "ソ=\\trail\r\n"
    "[WINDOW]\r\n"
    "Later=1\r\n");

TEST(IniFile, ReadsValuesAsTheProfileServiceDoes) {
  TempDir dir;
  WriteFile(dir / "a.ini", kFile);
  TIniFile ini(dir.str() + "a.ini");
  struct Case {
    const char *section, *key, *want;
  };
  const Case cases[] = {
      {"window", "WIDTH", "640"},
      {"Window", "Name", "  quoted  "},
      {"Window", "Single", "x"},
      {"Window", "Half", "\"open"},
      {"Window", "Font", "\"ＭＳ ゴシック\",128,-12,-9,0,80000008"},
      {"Window", "Hidden", "(none)"},
      {"Window", ";Hidden", "(none)"},
      {"Window", "Dup", "first"},
      {"Window", "Later", "(none)"},  // only the first matching section counts
      {"其の他", "ソ", "\\trail"},
      {"Missing", "Width", "(none)"},
  };
  for (const Case &c : cases)
    EXPECT_EQ(cp932::ToUtf8(ini.ReadString(S(c.section), S(c.key), S("(none)"))), c.want)
        << c.section << "/" << c.key;
  EXPECT_EQ(ini.ReadInteger("Window", "Width", 1), 640);
  EXPECT_EQ(ini.ReadInteger("Window", "Bad", 7), 7);
  EXPECT_EQ(ini.ReadInteger("Window", "Nothing", -3), -3);
  EXPECT_TRUE(ini.ReadBool("Window", "Width", false));
  TIniFile none(dir.str() + "none.ini");
  EXPECT_EQ(none.ReadString("Window", "Width", "d"), "d");
}

TEST(IniFile, WritesKeepEveryOtherByte) {
  TempDir dir;
  WriteFile(dir / "a.ini", kFile);
  TIniFile ini(dir.str() + "a.ini");
  TIniFile other(dir.str() + "a.ini");  // another window on the same file

  ASSERT_TRUE(ini.WriteInteger("WINDOW", "width", 800));
  EXPECT_EQ(other.ReadInteger("Window", "Width", 0), 800);
  std::string expect = kFile;
  expect.replace(expect.find("  Width = 640 "), 14, "Width=800");
  EXPECT_EQ(ReadFile(dir / "a.ini"), expect);

  // A new key goes to the end of its section, before the blank line.
  ASSERT_TRUE(ini.WriteBool("Window", "NewKey", true));
  expect.insert(expect.find("Dup=second\r\n") + 12, "NewKey=1\r\n");
  EXPECT_EQ(ReadFile(dir / "a.ini"), expect);

  // A new section goes to the end of the file.
  ASSERT_TRUE(ini.WriteString("NET", "ProxyName", S("代理")));
  expect += S("[NET]\r\nProxyName=代理\r\n");
  EXPECT_EQ(ReadFile(dir / "a.ini"), expect);
  EXPECT_EQ(ini.ReadString("net", "proxyname", ""), S("代理"));
}

TEST(IniFile, FilesWithoutFinalLineEndAndNewFiles) {
  TempDir dir;
  WriteFile(dir / "a.ini", "[A]\nx=1");
  namespace fs = std::filesystem;
  const fs::perms shared = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read;
  fs::permissions(dir / "a.ini", shared);
  TIniFile ini(dir.str() + "a.ini");
  ASSERT_TRUE(ini.WriteString("A", "y", "2"));
  EXPECT_EQ(ReadFile(dir / "a.ini"), "[A]\nx=1\r\ny=2\r\n");
  ASSERT_TRUE(ini.WriteString("B", "z", "3"));
  EXPECT_EQ(ReadFile(dir / "a.ini"), "[A]\nx=1\r\ny=2\r\n[B]\r\nz=3\r\n");

  TIniFile fresh(dir.str() + "new.ini");
  ASSERT_TRUE(fresh.WriteString("S", "k", "v"));
  EXPECT_EQ(ReadFile(dir / "new.ini"), "[S]\r\nk=v\r\n");
  // A new file may come to hold the proxy password: its owner alone reads it. A file that
  // was there keeps the mode it had.
  EXPECT_EQ(fs::status(dir / "new.ini").permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(fs::status(dir / "a.ini").permissions(), shared);

  // A folder that does not exist: the write fails and leaves nothing behind.
  TIniFile lost(dir.str() + "no/such.ini");
  EXPECT_FALSE(lost.WriteString("S", "k", "v"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

}  // namespace

namespace {

TEST(IniFile, WritesGoThroughALinkAndKeepTheFileMode) {
  qmtest::TempDir dir;
  qmtest::WriteFile(dir / "real.ini", "[A]\r\nx=1\r\n");
  std::filesystem::permissions(dir / "real.ini", std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  std::filesystem::create_symlink(dir / "real.ini", dir / "link.ini");
  TIniFile ini(dir.str() + "link.ini");
  ASSERT_TRUE(ini.WriteString("A", "x", "2"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.ini"));
  EXPECT_EQ(qmtest::ReadFile(dir / "real.ini"), "[A]\r\nx=2\r\n");
  EXPECT_EQ(std::filesystem::status(dir / "real.ini").permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

}  // namespace
