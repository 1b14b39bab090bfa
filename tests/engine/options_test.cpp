#include "engine/options.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "engine/UiServices.h"
#include "platform/IniFile.h"
#include "platform/cp932.h"
#include "support/testutil.h"

namespace {

namespace fs = std::filesystem;
using qmtest::ReadFile;
using qmtest::TempDir;
using qmtest::WriteFile;

std::string S(const char *utf8) { return cp932::FromUtf8(utf8); }

TEST(Options, FileWithoutKeysGivesEveryDefaultAndMakesTheFolders) {
  TempDir dir;
  WriteFile(dir / "quillmar.ini", "; nothing here\r\n[OPTIONS]\r\n");
  TScopedRecordingUi ui;
  TOptionData o(dir.str());
  o.Load();
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(o.IniFileName, dir.str() + "quillmar.ini");
  EXPECT_EQ(o.DownloadFolder, dir.str() + "Download");
  EXPECT_EQ(o.DbFolder, dir.str() + "DB");
  EXPECT_EQ(o.TemplateFolder, dir.str() + "Template");
  EXPECT_EQ(o.CssFolder, dir.str() + "css");
  EXPECT_TRUE(fs::is_directory(dir / "Download"));
  EXPECT_TRUE(fs::is_directory(dir / "DB"));

  EXPECT_EQ(o.SQLEditHeight, 60);
  EXPECT_EQ(o.ToolBar1Loft, 11);
  EXPECT_EQ(o.ToolBarKensakuTop, 28);
  EXPECT_TRUE(o.ToolBarFlat);
  EXPECT_TRUE(o.StatusBarVisible);
  EXPECT_FALSE(o.LogPaneVisible);
  EXPECT_EQ(o.RecvBufferSize, 1);
  EXPECT_TRUE(o.OoConnect);
  EXPECT_EQ(o.DownSite, 3);
  EXPECT_EQ(o.BuiltFromSite, 3);
  EXPECT_EQ(o.DownSiteTorvDB, 3);
  EXPECT_EQ(o.UserSite, "https://");
  EXPECT_EQ(o.TekiyouFont, TFontInfo{});
  EXPECT_EQ(o.TekiyouColor, static_cast<std::int32_t>(0x80000005u));
  EXPECT_EQ(o.TekiyouColor2, 0x00F3F1E2);
  EXPECT_EQ(o.SQLCommentColor, 0x00008000);
  EXPECT_EQ(o.SQLPragmasColor, 0x00FF0000);
  EXPECT_TRUE(o.SQLKeywordBold);
  EXPECT_TRUE(o.SQLPragmasBold);
  EXPECT_FALSE(o.SQLCommentItalic);
  EXPECT_EQ(o.SakumotsuTreeIndent, 19);
  EXPECT_EQ(o.GridMaxWidth, 300);
  EXPECT_EQ(o.GridLineSpace, 6);
  EXPECT_EQ(o.GridCellLine4, 1);
  EXPECT_TRUE(o.TekiyouGridEveryOtherLine);
  EXPECT_TRUE(o.TushoMode);
  EXPECT_TRUE(o.SQLEditorLineNumber);
  EXPECT_EQ(o.SQLEditorRightEdge, 80);
  EXPECT_FALSE(o.TabletMode);
  EXPECT_EQ(o.TabletSplitterWidth, 10);
  EXPECT_EQ(o.TabletTabHeight, 25);
  EXPECT_EQ(o.CssFile, "standard.css");
  EXPECT_EQ(o.ExportssCssFile, "excel.css");
}

TEST(Options, StoredValuesAreClampedAndReadAsStored) {
  TempDir dir;
  WriteFile(dir / "quillmar.ini",
            "[NET]\r\nRecvBufferSize=7\r\nDownSite=1\r\nReadTimeout=oops\r\n"
            "[OPTIONS]\r\nGridCellLine2=0\r\nGridCellLine3=-4\r\nGridCellLine1=5\r\n"
            "[COLOR]\r\nLogColor=00ABCDEFzz\r\n[WINDOW]\r\nToolBarFlat=0\r\n");
  TScopedRecordingUi ui;
  TOptionData o(dir.str());
  o.Load();
  EXPECT_EQ(o.RecvBufferSize, 1);
  EXPECT_EQ(o.DownSite, 1);
  EXPECT_EQ(o.BuiltFromSite, 1);
  EXPECT_EQ(o.ReadTimeout, 0);
  EXPECT_EQ(o.GridCellLine2, 1);
  EXPECT_EQ(o.GridCellLine3, 1);
  EXPECT_EQ(o.GridCellLine1, 5);
  EXPECT_EQ(o.LogColor, 0xABCDEF);
  EXPECT_FALSE(o.ToolBarFlat);
}

// Settings files as editors, other programs and users leave them. Each loads without a
// throw and a save keeps the key the program does not know.
TEST(Options, OddSettingsFilesLoadAndKeepUnknownKeysAcrossASave) {
  const std::string keep = "[LOGS]\r\nOther=keep\r\n";
  struct Case {
    const char *what;
    std::string bytes;
    std::function<void(const TOptionData &)> check;  // after the load and after a reload
  };
  const Case cases[] = {
      {"byte-order mark", "\xEF\xBB\xBF[NET]\r\nUseLAN=1\r\nDownSite=1\r\n" + keep,
       [](const TOptionData &o) {
         EXPECT_TRUE(o.UseLAN);
         EXPECT_EQ(o.DownSite, 1);
       }},
      {"LF line ends", "[NET]\nDownSite=2\n[LOGS]\nOther=keep\n",
       [](const TOptionData &o) { EXPECT_EQ(o.DownSite, 2); }},
      {"CR line ends", "[NET]\rDownSite=2\r[LOGS]\rOther=keep", [](const TOptionData &o) { EXPECT_EQ(o.DownSite, 2); }},
      {"mixed line ends, none at the end", "[NET]\r\nDownSite=0\n[LOGS]\rOther=keep",
       [](const TOptionData &o) { EXPECT_EQ(o.DownSite, 0); }},
      {"numbers outside their settings' values",
       "[NET]\r\nDownSite=-99999\r\nDownSiteTorvDB=259\r\nRecvBufferSize=-1\r\nReadTimeout=-5\r\n"
       "ReceiveTimeout=2147483648\r\n[VIEW]\r\nSakumotsuTreeIndent=-3\r\nMenuImageSize=-1\r\n"
       "[OPTIONS]\r\nGridMaxWidth=99999\r\nGridCellLine0=12\r\nSpreadSheet=4\r\n" + keep,
       [](const TOptionData &o) {
         EXPECT_EQ(o.DownSite, 3) << "a choice outside its items takes the default, never a wrapped byte";
         EXPECT_EQ(o.BuiltFromSite, 3);
         EXPECT_EQ(o.DownSiteTorvDB, 3);
         EXPECT_EQ(o.RecvBufferSize, 1);
         EXPECT_EQ(o.ReadTimeout, 0) << "a number is pulled to the nearer end";
         EXPECT_EQ(o.ReceiveTimeout, 0) << "beyond 32 bits: unreadable";
         EXPECT_EQ(o.SakumotsuTreeIndent, 19);
         EXPECT_EQ(o.MenuImageSize, 0);
         EXPECT_EQ(o.GridMaxWidth, 640);
         EXPECT_EQ(o.GridCellLine0, 9);
         EXPECT_EQ(o.SpreadSheet, 0);
       }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    WriteFile(dir / "quillmar.ini", c.bytes);
    TScopedRecordingUi ui;
    TOptionData o(dir.str());
    ASSERT_NO_THROW(o.Load());
    EXPECT_TRUE(ui.boxes.empty());
    c.check(o);
    ASSERT_TRUE(o.Save());
    const std::string saved = ReadFile(dir / "quillmar.ini");
    EXPECT_NE(saved.find("Other=keep"), std::string::npos);
    EXPECT_EQ(saved.find("[NET]"), saved.rfind("[NET]")) << "one [NET] section";
    EXPECT_EQ(saved.compare(0, 3, "\xEF\xBB\xBF") == 0, c.bytes.compare(0, 3, "\xEF\xBB\xBF") == 0);
    TOptionData back(dir.str());
    back.Load();
    c.check(back);
  }
}

// Runs f where a file of mode 000 cannot be read: in this process, or, for root (who reads
// any file), in a child process that has become the user nobody. Gives f's result.
int WhereMode000IsUnreadable(const std::function<int()> &f) {
  if (::geteuid() != 0) return f();
  const pid_t pid = ::fork();
  if (pid == 0) {
    const uid_t nobody = 65534;
    if (::setgroups(0, nullptr) != 0 || ::setresgid(nobody, nobody, nobody) != 0 ||
        ::setresuid(nobody, nobody, nobody) != 0)
      ::_exit(100);
    ::_exit(f());
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 101;
}

// A settings file that is there but cannot be read is read as missing, reported, and never
// written: a write would replace the user's settings with the program's defaults.
TEST(Options, SettingsFileThatCannotBeReadIsReportedAndLeftAlone) {
  const std::string original = "[NET]\r\nDownSite=1\r\n[LOGS]\r\nOther=keep\r\n";
  enum : int { kOneBox = 1, kDefaults = 2, kSaveRefused = 4, kWriteRefused = 8, kAll = 15 };
  // What one process sees of the file: each outcome a bit of the result.
  auto load_and_save = [](const std::string &home, const char *reason) {
    TScopedRecordingUi ui;
    TOptionData o(home);
    int seen = 0;
    try {
      o.Load();
    } catch (...) {
      return 0;
    }
    if (ui.boxes.size() == 1 && ui.boxes[0].text == o.IniReadFailure &&
        o.IniReadFailure == o.IniFileName + S(" を読み込めません(") + S(reason) + S(")。既定の設定で起動し、設定は保存しません。"))
      seen |= kOneBox;
    if (o.DownSite == 3) seen |= kDefaults;
    if (!o.Save()) seen |= kSaveRefused;
    TIniFile ini(o.IniFileName);
    if (!ini.WriteInteger(SEC_WINDOW, "Left", 5)) seen |= kWriteRefused;
    return seen;
  };

  // A folder of that name.
  {
    TempDir dir;
    fs::create_directory(dir / "quillmar.ini");
    WriteFile(dir / "quillmar.ini" / "inside", original);
    EXPECT_EQ(load_and_save(dir.str(), "フォルダです"), kAll);
    EXPECT_TRUE(fs::is_directory(dir / "quillmar.ini"));
    EXPECT_EQ(ReadFile(dir / "quillmar.ini" / "inside"), original);
  }
  // A file of mode 000, read by a user who may write in its folder.
  {
    TempDir dir;
    WriteFile(dir / "quillmar.ini", original);
    fs::permissions(dir.path(), fs::perms::all);
    fs::permissions(dir / "quillmar.ini", fs::perms::none);
    EXPECT_EQ(WhereMode000IsUnreadable([&] { return load_and_save(dir.str(), "読み取り権限がありません"); }), kAll);
    fs::permissions(dir / "quillmar.ini", fs::perms::owner_read);
    EXPECT_EQ(ReadFile(dir / "quillmar.ini"), original);
  }
}

TEST(Options, FontCommaText) {
  struct Case {
    const char *text;
    TFontInfo info;
  };
  const Case cases[] = {
      {"\"ＭＳ ゴシック\",128,-12,-9,0,80000008", {S("ＭＳ ゴシック"), 128, -12, -9, 0, static_cast<std::int32_t>(0x80000008u)}},
      {"Arial,0,-16,12,3,000000FF", {"Arial", 0, -16, 12, 3, 0xFF}},
      {"\"a\"\"b,c\",1,2,3,4,00000001", {"a\"b,c", 1, 2, 3, 4, 1}},
      {",128,-12,-9,0,80000008", {"", 128, -12, -9, 0, static_cast<std::int32_t>(0x80000008u)}},
      {"ソ表,128,-12,-9,0,80000008", {S("ソ表"), 128, -12, -9, 0, static_cast<std::int32_t>(0x80000008u)}},
  };
  for (const Case &c : cases) {
    std::string text = cp932::FromUtf8(c.text);
    EXPECT_EQ(FontInfoToText(c.info), text) << c.text;
    EXPECT_EQ(FontInfoFromText(text), c.info) << c.text;
  }
  EXPECT_EQ(FontInfoFromText(""), TFontInfo{});
  // Unquoted blanks separate items, as in any comma text.
  EXPECT_EQ(FontInfoFromText("MS,128,-12,-9,0,0 x").Name, "MS");
  EXPECT_THROW(FontInfoFromText("MS Gothic,128,-12,-9,0,0"), std::invalid_argument);
  EXPECT_THROW(FontInfoFromText("Arial,128,-12"), std::invalid_argument);
  EXPECT_THROW(FontInfoFromText("Arial,x,-12,-9,0,0"), std::invalid_argument);
}

TEST(Options, FontWithABlankRoundTripsThroughTheFile) {
  TempDir dir;
  TScopedRecordingUi ui;
  TOptionData o(dir.str());
  o.Load();
  o.SQLEditFont = {S("ＭＳ ゴシック"), 128, -13, 10, 1, 0x00123456};
  ASSERT_TRUE(o.Save());
  EXPECT_NE(ReadFile(dir / "quillmar.ini").find(S("SQLEditFont=\"ＭＳ ゴシック\",128,-13,10,1,00123456\r\n")),
            std::string::npos);
  TOptionData back(dir.str());
  back.Load();
  EXPECT_EQ(back.SQLEditFont, o.SQLEditFont);
}

TEST(Options, MalformedFontTakesItsDefaultAndTheRestStillLoads) {
  TempDir dir;
  WriteFile(dir / "quillmar.ini",
            "[VIEW]\r\nSQLEditFont=Arial,128\r\nTekiyouFont=Arial,x,1,2,3,0\r\n"
            "LogFont=Courier,0,-11,8,0,00000000\r\nSakumotsuTreeIndent=25\r\n"
            "[COLOR]\r\nLogColor=00112233\r\n[OPTIONS]\r\nGridMaxWidth=512\r\n");
  TScopedRecordingUi ui;
  TOptionData o(dir.str());
  o.Load();
  EXPECT_EQ(o.SQLEditFont, TFontInfo{});
  EXPECT_EQ(o.TekiyouFont, TFontInfo{});
  EXPECT_EQ(o.LogFont.Name, "Courier");
  EXPECT_EQ(o.SakumotsuTreeIndent, 25);
  EXPECT_EQ(o.LogColor, 0x00112233);
  EXPECT_EQ(o.GridMaxWidth, 512);
  ASSERT_TRUE(o.Save());
  TOptionData back(dir.str());
  back.Load();
  EXPECT_EQ(back.GridMaxWidth, 512);
  EXPECT_EQ(back.LogFont, o.LogFont);
}

TEST(Options, UnknownLinesAndReadOnlyKeysSurviveASave) {
  TempDir dir;
  const std::string original = S(
      "; 利用者の注記\r\n"
      "[WINDOW]\r\n"
      "frmMainWidth=1024\r\n"
      "SQLEditHeight=90\r\n"
      "; 窓の注記\r\n"
      "\r\n"
      "[OPTIONS]\r\n"
      "TabletMode=1\r\n"
      "TabletTabHeight=40\r\n"
      "[LOGS]\r\n"
      "Other=ソ\\\r\n");
  WriteFile(dir / "quillmar.ini", original);
  TScopedRecordingUi ui;
  TOptionData o(dir.str());
  o.Load();
  EXPECT_TRUE(o.TabletMode);
  EXPECT_EQ(o.TabletTabHeight, 40);
  o.TabletMode = false;  // never written
  o.SQLEditHeight = 95;
  ASSERT_TRUE(o.Save());
  std::string saved = ReadFile(dir / "quillmar.ini");
  // Every line of the original stands in the saved file in its order, the one changed
  // value apart.
  std::string expect_lines = original;
  expect_lines.replace(expect_lines.find("SQLEditHeight=90"), 16, "SQLEditHeight=95");
  std::size_t at = 0;
  for (std::size_t p = 0; p < expect_lines.size();) {
    std::size_t e = expect_lines.find("\r\n", p) + 2;
    std::string line = expect_lines.substr(p, e - p);
    std::size_t found = saved.find(line, at);
    ASSERT_NE(found, std::string::npos) << cp932::ToUtf8(line);
    at = found + line.size();
    p = e;
  }
  EXPECT_EQ(saved.find("SQLPragmasColor"), std::string::npos);
  EXPECT_EQ(saved.find("TabletSplitterWidth"), std::string::npos);
  TOptionData back(dir.str());
  back.Load();
  EXPECT_TRUE(back.TabletMode);
  // A second save of the same settings leaves the file as it was.
  ASSERT_TRUE(back.Save());
  EXPECT_EQ(ReadFile(dir / "quillmar.ini"), saved);
}

TEST(Options, ProxyPasswordIsStoredScrambledAndReadsBackUnchanged) {
  TempDir dir;
  // A file written with the plain scrambled form reads as before.
  WriteFile(dir / "quillmar.ini", "[NET]\r\nProxyPassword=" + ScrambleProxyPassword("secret") + "\r\n");
  TScopedRecordingUi ui;
  TOptionData legacy(dir.str());
  legacy.Load();
  EXPECT_EQ(legacy.ProxyPassword, "secret");
  ASSERT_TRUE(legacy.Save());
  EXPECT_NE(ReadFile(dir / "quillmar.ini").find("ProxyPassword=" + ScrambleProxyPassword("secret") + "\r\n"),
            std::string::npos);

  // Letters that scramble to NUL, LF or CR ("k", "a", "f"), to a space, a tab or a
  // quote at either end ("K", "b", "I", "L"), and the byte that scrambles to the escape.
  const std::string passwords[] = {"kaf", "Kb", "IxL", "\x14z", S("パスワード")};
  for (const std::string &pw : passwords) {
    TOptionData o(dir.str());
    o.Load();
    o.ProxyPassword = pw;
    ASSERT_TRUE(o.Save());
    TOptionData back(dir.str());
    back.Load();
    EXPECT_EQ(back.ProxyPassword, pw) << pw;
    EXPECT_EQ(TIniFile(dir.str() + "quillmar.ini").ReadString("NET", "UserSite", ""), "https://") << pw;
  }
}

TEST(Options, StoragePath) {
  TOptionData o("/opt/quillmar/");
  EXPECT_EQ(o.StoragePath("/srv/data/dl"), "/srv/data/dl");  // not relative: unchanged
  o.DownloadRelativePath = true;
  struct Case {
    const char *in, *out;
  };
  const Case cases[] = {
      {"/opt/quillmar/Download", "Download"},
      {"/opt/quillmar/Download/", "Download/"},
      {"/opt/other/dl/", "../other/dl/"},
      {"/srv/data/dl", "../../srv/data/dl"},
      {"/opt/quillmar/", "./"},
      {"relative/dl", "relative/dl"},
  };
  for (const Case &c : cases) EXPECT_EQ(o.StoragePath(c.in), c.out) << c.in;
}

TEST(Options, RelativeDownloadFolderIsTakenFromTheProgramFolder) {
  TempDir dir;
  WriteFile(dir / "quillmar.ini", "[PATH]\r\nDownloadRelativePath=1\r\ndirDownloadPath=" + dir.str() + "data/dl\r\n");
  TScopedRecordingUi ui;
  TOptionData o(dir.str());
  o.Load();
  EXPECT_EQ(o.DownloadFolder, dir.str() + "data/dl");
  EXPECT_TRUE(fs::is_directory(dir / "data" / "dl"));
}

TEST(Options, FolderThatCannotBeMadeIsReportedAndLoadingGoesOn) {
  TempDir dir;
  WriteFile(dir / "DB", "a file where the folder should be");
  WriteFile(dir / "quillmar.ini", "[OPTIONS]\r\nGridMaxWidth=77\r\n");
  TScopedRecordingUi ui;
  TOptionData o(dir.str());
  o.Load();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, dir.str() + "DB" + S("を作成できません"));
  EXPECT_EQ(ui.boxes[0].flags, MB_OK | MB_ICONERROR);
  EXPECT_EQ(o.GridMaxWidth, 77);
  EXPECT_TRUE(fs::is_directory(dir / "Download"));
}

TEST(Options, ProgramFolderAndExitCode) {
  ::setenv("QUILLMAR_HOME", "/tmp/qm-home", 1);
  TOptionData o;
  ::unsetenv("QUILLMAR_HOME");
  EXPECT_EQ(o.ProgramFolder, "/tmp/qm-home/");
  EXPECT_EQ(o.IniFileName, "/tmp/qm-home/quillmar.ini");
  ::setenv("QUILLMAR_HOME", "qm-rel", 1);
  TOptionData rel;
  ::unsetenv("QUILLMAR_HOME");
  EXPECT_EQ(rel.ProgramFolder, fs::current_path().string() + "/qm-rel/");
  TOptionData exe;
  EXPECT_EQ(exe.ProgramFolder,
            fs::read_symlink("/proc/self/exe").parent_path().string() + "/");
  EXPECT_EQ(BoolTo01(true), "1");
  EXPECT_EQ(BoolTo01(false), "0");
}

}  // namespace

namespace {

TEST(Options, UnattendedRunsEndWithTheirExitCode) {
  ASSERT_NE(OptionData, nullptr);  // exists before main
  ProcessExitCode = 2;
  EXPECT_EQ(FinalizeOptionData(0), 0);
  EXPECT_EQ(OptionData, nullptr);
  OptionData = new TOptionData();
  AutoUpdateSwitch = true;
  EXPECT_EQ(FinalizeOptionData(0), 2);
  OptionData = new TOptionData();
  AutoUpdateSwitch = false;
  ProcessExitCode = 0;
}

}  // namespace
