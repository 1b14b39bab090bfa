#include "ui/about.h"

#include <QLabel>
#include <QTest>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>

#include "components/qtext.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "support/enginefixture.h"
#include "support/testutil.h"
#include "ui/ShellServices.h"
#include "ui/VerInfo.h"

using namespace cp932::literals;

namespace {

std::string LabelText(TfrmAbout &about, const char *name) {
  QLabel *l = about.findChild<QLabel *>(name);
  EXPECT_NE(l, nullptr) << name;
  return l ? FromQ(l->text()) : std::string();
}

TEST(About, ShowsTheVersionTextsAndOpensTheHomePage) {
  ASSERT_EQ(AcisDB, nullptr);
  TScopedRecordingShell shell;
  TfrmAbout about(nullptr);
  EXPECT_EQ(about.windowTitle(), QString::fromUtf8("バージョン情報"));
  const std::string release = LabelText(about, "lblVersion");
  ASSERT_EQ(release.rfind("Release ", 0), 0u);
  EXPECT_EQ(release.substr(8), about.FileVerInfo()->GetProductVersion());
  EXPECT_NE(release.find_first_of("0123456789", 8), std::string::npos) << release;
  EXPECT_EQ(LabelText(about, "SQLiteVer"), "sqlite3.dll version : 不明"_sj);
  EXPECT_EQ(LabelText(about, "lbl7zip").rfind("7-zip32.dll : Ver. ", 0), 0u) << LabelText(about, "lbl7zip");
  const std::string os = LabelText(about, "Label4");
  EXPECT_EQ(os.rfind("OS: ", 0), 0u);
  EXPECT_GT(os.size(), 4u);

  QLabel *url = about.findChild<QLabel *>("lblUrl");
  QTest::mouseClick(url, Qt::LeftButton);
  ASSERT_EQ(shell.calls.size(), 1u);
  EXPECT_EQ(shell.calls[0].verb, "open");
  EXPECT_EQ(shell.calls[0].file, FromQ(url->text()));
  EXPECT_EQ(shell.calls[0].show, SW_SHOWDEFAULT);
}

// A program file without its version block still gives the box, reading "Release" alone.
TEST(About, WithoutAVersionBlockShowsReleaseAlone) {
  qmtest::TempDir dir;
  qmtest::WriteFile(dir / "plain", "no version here");
  TfrmAbout about(nullptr, dir.str() + "plain");
  EXPECT_FALSE(about.FileVerInfo()->Loaded());
  EXPECT_EQ(LabelText(about, "lblVersion"), "Release");
  EXPECT_EQ(LabelText(about, "SQLiteVer"), "sqlite3.dll version : 不明"_sj);
}

TEST(About, NamesTheSqliteLibraryVersionWithADatabaseOpen) {
  qmtest::TempDir dir;
  TScopedRecordingUi ui;
  qmtest::ScopedEngineState state(dir.path());
  {
    TAcisDB db((dir / "acis.db").string(), nullptr);
    AcisDB = &db;
    TfrmAbout about(nullptr);
    EXPECT_EQ(LabelText(about, "SQLiteVer"), std::string("sqlite3.dll version : ") + sqlite3_libversion());
    AcisDB = nullptr;
  }
}

TEST(FileVerInfo, ReadsTheBlockOfAProgramFileAndRefusesOtherFiles) {
  qmtest::TempDir dir;
  // A copy of this program carries the same block.
  std::filesystem::copy_file("/proc/self/exe", dir / "copy");
  TFileVerInfo info;
  const std::string own = info.GetProductVersion();
  info.SetPath(dir.str() + "copy");
  EXPECT_TRUE(info.Loaded());
  EXPECT_EQ(info.GetProductVersion(), own);
  EXPECT_EQ(info.GetValue("ProductName"), "Quillmar");
  EXPECT_EQ(info.GetValue("NoSuchKey"), "");

  qmtest::WriteFile(dir / "plain.txt", "no version here");
  for (const std::string &path : {dir.str() + "plain.txt", dir.str() + "missing"}) {
    try {
      info.SetPath(path);
      ADD_FAILURE() << "no error for " << path;
    } catch (const EFileVerInfoError &e) {
      EXPECT_STREQ(e.what(), "EFileVerInfoError: Cannot Get FileVerInfo Size");
      EXPECT_STREQ(e.ClassName(), "EFileVerInfoError");
    }
    EXPECT_FALSE(info.Loaded());
    EXPECT_EQ(info.GetProductVersion(), "");
  }
}

}  // namespace
