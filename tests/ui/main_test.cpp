// The main window's start-up and shut-down: the database check on missing, old, incomplete
// and good databases, the log pane, the command-line switches, placement and pane sizes kept
// in section "WINDOW", the single-instance guard and the first-run set-up dialogs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLockFile>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <unistd.h>
#include <utime.h>

#include "components/DialogServices.h"
#include "components/ListBoxEx.h"
#include "components/QtServices.h"
#include "components/qtext.h"
#include "engine/SQLite.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/IniFile.h"
#include "platform/cp932.h"
#include "support/enginefixture.h"
#include "support/sample_acisdb.h"
#include "support/testserver.h"
#include "support/testutil.h"
#include "ui/LogMemo.h"
#include "ui/Mutex.h"
#include "ui/ProgramStart.h"
#include "ui/UStartup.h"
#include "ui/UStartup2.h"
#include "ui/UUpdate.h"
#include "ui/main.h"
#include "ui/UfraSakumotsu.h"
#include "ui_UfraSakumotsu.h"
#include "ui_UStartup.h"
#include "ui_UStartup2.h"
#include "ui_main.h"

namespace fs = std::filesystem;
using cp932::literals::operator""_sj;
using qmtest::ReadFile;
using qmtest::TempDir;
using qmtest::WriteFile;

namespace {

std::string U8(const std::string &sjis) { return cp932::ToUtf8(sjis); }

// A program folder of its own, its settings file, recorded boxes, dialogs and modal runs,
// and the program-wide state put back afterwards.
class MainWindowTest : public ::testing::Test {
 protected:
  TempDir home;
  qmtest::ScopedEngineState engine{home / "DB"};
  TScopedRecordingUi boxes;
  TScopedRecordingDialogs dialogs;
  std::vector<std::string> modal;  // class names of the dialogs shown modally
  std::function<int(QDialog *)> saved_modal = TfrmMain::ShowModal;
  std::function<void(QDialog *)> on_modal;

  void SetUp() override {
    *OptionData = TOptionData(home.str());
    AutoUpdateSwitch = DownloadCheckSwitch = OfflineSwitch = DeveloperSwitch = false;
    ProcessExitCode = 0;
    TfrmMain::ShowModal = [this](QDialog *d) {
      modal.push_back(d->metaObject()->className());
      if (on_modal) on_modal(d);
      return 0;
    };
    fs::create_directories(home / "DB");
    Ini().WriteBool("NET", "OffLine", true);
    Ini().WriteInteger("NET", "DownSite", 2);
  }
  void TearDown() override {
    TfrmMain::ShowModal = saved_modal;
    AutoUpdateSwitch = DownloadCheckSwitch = OfflineSwitch = DeveloperSwitch = false;
    ProcessExitCode = 0;
  }
  TIniFile Ini() { return TIniFile((home / "quillmar.ini").string()); }

  // The sample database copied into the program's data folder, changed by the SQL given.
  void PlaceSampleDb(const std::string &change_sql = "") {
    for (const char *f : {"acis.db", "spec.db"})
      fs::copy_file(qmtest::SampleDbFolder() / f, home / "DB" / f, fs::copy_options::overwrite_existing);
    if (!change_sql.empty()) {
      TSQLiteDb db((home / "DB" / "acis.db").string());
      db.ExecSQL(change_sql);
    }
  }
  // A window shown with its deferred start-up run.
  std::unique_ptr<TfrmMain> Start(const QStringList &args = {}) {
    auto w = std::make_unique<TfrmMain>(args, nullptr);
    w->show();
    for (int i = 0; i < 100 && w->IsStartUp; ++i) QCoreApplication::processEvents();
    EXPECT_FALSE(w->IsStartUp);
    return w;
  }
  bool BoxSaid(const std::string &utf8_start) const {
    for (const auto &b : boxes.boxes)
      if (U8(b.text).rfind(utf8_start, 0) == 0) return true;
    return false;
  }
};

std::vector<std::string> Utf8Lines(TLogMemo *m) {
  std::vector<std::string> out;
  for (const auto &l : m->Lines()) out.push_back(U8(l));
  return out;
}
bool HasLine(const std::vector<std::string> &lines, const std::string &line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

}  // namespace

// ---------------------------------------------------------------- the database at start-up

TEST_F(MainWindowTest, StartUpOnEachDatabaseState) {
  struct Case {
    const char *name;
    bool place;
    const char *change;
    int state;
    const char *box;          // start of the box shown, or "" for none
    std::vector<int> answers;  // answers to the boxes, in order
    bool db_open;              // AcisDB open afterwards
    std::vector<std::string> dialogs;
  };
  const std::vector<Case> cases = {
      {"good", true, "", 3, "", {}, true, {}},
      {"old", true, "UPDATE info SET Value = '180101' WHERE Item = 'Version';", 2, "Quillmar が更新されました。",
       {IDCANCEL}, true, {}},
      {"old, update accepted", true, "UPDATE info SET Value = '120412' WHERE Item = 'Version';", 2,
       "Quillmar が更新されました。", {IDOK}, true, {"TfrmUpdate"}},
      {"lacking a table", true, "DROP TABLE m_byochu;", 4, "データベースが不正です。", {IDCANCEL}, true, {}},
      {"without info", true, "DROP TABLE info;", 0, "", {}, true, {"TfrmUpdate"}},
      // No database: the first-run dialogs, then the question before the update window;
      // the third answer leaves without the window.
      {"missing", false, "", 5, "自動更新処理を実行します。", {IDABORT}, false, {"TfrmStartup", "TfrmStartup2"}},
      {"missing, started by hand", false, "", 5, "自動更新処理を実行します。", {IDNO}, false,
       {"TfrmStartup", "TfrmStartup2", "TfrmUpdate"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(home / "DB");
    fs::create_directories(home / "DB");
    if (c.place) PlaceSampleDb(c.change);
    boxes.boxes.clear();
    boxes.answers = c.answers;
    modal.clear();
    bool old_flag = false;
    on_modal = [&](QDialog *d) {
      if (auto *u = qobject_cast<TfrmUpdate *>(d)) old_flag = u->OldDatabase;
    };
    {
      auto w = Start();
      EXPECT_EQ(modal, c.dialogs);
      if (*c.box) {
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_TRUE(BoxSaid(c.box)) << U8(boxes.boxes[0].text);
        // The question before the first update offers はい, いいえ and 中止.
        if (c.state == 5) {
          EXPECT_EQ(boxes.boxes[0].flags & 0xF, unsigned(MB_YESNOABORT));
        }
      } else {
        EXPECT_TRUE(boxes.boxes.empty());
      }
      ASSERT_EQ(AcisDB != nullptr, c.db_open);
      if (c.db_open) {
        EXPECT_EQ(U8(w->StatusText(0)), "DB:" + U8(AcisDB->LastUpdate()));
        // Asking for the state again gives the case's state on the open database.
        EXPECT_EQ(w->CheckDatabaseState(), c.state);
      } else {
        EXPECT_EQ(U8(w->StatusText(0)), "DB:なし");
        EXPECT_EQ(w->CheckDatabaseState(), c.state);
      }
      if (std::string(c.name) == "old, update accepted") {
        EXPECT_TRUE(old_flag);
      }
      EXPECT_TRUE(HasLine(Utf8Lines(w->mLog), "オフラインモード データ更新確認省略") || !c.place);
    }
    EXPECT_EQ(AcisDB, nullptr);  // freed with the window
  }
}

// Another program writing to acis.db holds a lock on it. The start says the database is in
// use and leaves it alone: no offer to create it anew, no update window, no rebuild, and the
// unattended update fails instead of rebuilding it.
TEST_F(MainWindowTest, DatabaseInUseByAnotherProgramIsLeftAlone) {
  PlaceSampleDb();
  const fs::path file = home / "DB" / "acis.db";
  const std::string before = ReadFile(file);
  struct Case {
    const char *name, *begin;
    QStringList args;
  } cases[] = {
      {"exclusive", "BEGIN EXCLUSIVE;", {}},
      {"write under way", "BEGIN IMMEDIATE; CREATE TABLE held (x); INSERT INTO held VALUES (1);", {}},
      {"exclusive, unattended update", "BEGIN EXCLUSIVE;", {"/u"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    boxes.boxes.clear();
    boxes.answers = {IDYES, IDOK, IDOK};  // any question would be answered yes
    modal.clear();
    ProcessExitCode = 0;
    {
      TSQLiteDb other(file.string());
      other.MultiStatement = true;
      other.ExecSQL(c.begin);
      auto w = Start(c.args);
      EXPECT_TRUE(modal.empty());
      if (c.args.isEmpty()) {
        // Either the reads went through and the database is open, or it says it is in use.
        if (!AcisDB) {
          ASSERT_EQ(boxes.boxes.size(), 1u);
          EXPECT_TRUE(BoxSaid("データベースは他のプログラムが使用中です。")) << U8(boxes.boxes[0].text);
          EXPECT_EQ(U8(w->StatusText(0)), "DB:なし");
        }
        for (const auto &b : boxes.boxes) EXPECT_FALSE(U8(b.text).find("作成します") != std::string::npos);
        if (std::string(c.name) == "exclusive") {
          EXPECT_EQ(AcisDB, nullptr);
        }
      } else {
        EXPECT_EQ(ProcessExitCode, kExitFailed);
        EXPECT_TRUE(boxes.boxes.empty());
        EXPECT_NE(ReadFile(home / "DB" / "autoupdate.log").find("使用中"_sj), std::string::npos);
      }
      other.ExecSQL("ROLLBACK;");
    }
    EXPECT_EQ(ReadFile(file), before);
    for (const auto &e : fs::directory_iterator(home / "DB"))
      EXPECT_TRUE(e.path().filename() == "acis.db" || e.path().filename() == "spec.db" ||
                  e.path().filename() == "autoupdate.log")
          << e.path();
  }
}

TEST_F(MainWindowTest, GoodDatabaseFillsTheInitialLists) {
  PlaceSampleDb();
  auto w = Start();
  ASSERT_NE(AcisDB, nullptr);
  EXPECT_EQ(U8(w->StatusText(0)), "DB:2026.11.30");
  QComboBox *yoto = w->ui->cbYotoTabYakuzai;
  ASSERT_GT(yoto->count(), 1);
  EXPECT_EQ(yoto->itemText(0).toStdString(), "全て");
  TSQLiteDb db((home / "DB" / "acis.db").string());
  auto n = db.GetTable("SELECT count(*) FROM m_kihon");
  EXPECT_EQ(w->ui->lstBango->count(), n->FieldAsInteger(0));
  // The search schema of the connection is there.
  EXPECT_TRUE(AcisDB->TableExists("ttTekiyoSaku"));
  // The SQL tab lists the tables of acis.db and of the connection, and the first one's fields.
  std::vector<std::string> tables, expected_tables;
  for (int i = 0; i < w->ui->cbTableName->count(); ++i) tables.push_back(U8(FromQ(w->ui->cbTableName->itemText(i))));
  for (const char *master : {"sqlite_master", "sqlite_temp_master"})
    for (auto t = AcisDB->Db().GetTable(std::string("SELECT name FROM ") + master +
                                        " WHERE type IN ('table', 'view') AND name <> 'info'");
         !t->Eof(); t->Next())
      expected_tables.push_back(U8(t->FieldAsString(0)));
  ASSERT_FALSE(expected_tables.empty());
  EXPECT_EQ(tables, expected_tables);
  EXPECT_EQ(w->ui->cbTableName->currentIndex(), 0);
  std::vector<std::string> fields, expected_fields;
  for (int i = 0; i < w->ui->lstSqlField->Count(); ++i) fields.push_back(U8(w->ui->lstSqlField->Item(i)));
  for (auto t = db.GetTable("PRAGMA table_info(" + SqlQuoted(cp932::FromUtf8(expected_tables[0])) + ")"); !t->Eof();
       t->Next())
    expected_fields.push_back(U8(t->FieldAsString(1)));
  EXPECT_EQ(fields, expected_fields);
}

TEST_F(MainWindowTest, CancellingTheFirstRunDialogStopsWithoutDatabase) {
  on_modal = [](QDialog *d) {
    if (auto *s = qobject_cast<TfrmStartup *>(d)) s->ui->bDownSiteCancel->click();
  };
  auto w = Start();
  EXPECT_EQ(modal, std::vector<std::string>{"TfrmStartup"});
  EXPECT_EQ(U8(w->StatusText(0)), "DB:なし");
  EXPECT_EQ(AcisDB, nullptr);
  for (const auto &b : boxes.boxes) EXPECT_EQ(U8(b.text), "インターネットに接続されていないためデータ取得できません。");
}

// Escape and the close box count as 中止 in both first-run dialogs; only 設定 goes on.
TEST_F(MainWindowTest, EscapeOrTheCloseBoxInTheFirstRunDialogsStopsTheStart) {
  struct Case {
    const char *name;
    std::function<void(QDialog *)> leave;
    bool second;  // in the second dialog
    bool cancelled;
  };
  const auto escape = [](QDialog *d) { QTest::keyClick(d, Qt::Key_Escape); };
  const auto close_box = [](QDialog *d) { d->close(); };
  const std::vector<Case> cases = {
      {"Escape", escape, false, true},
      {"close box", close_box, false, true},
      {"設定", [](QDialog *d) { static_cast<TfrmStartup *>(d)->ui->bDownSiteSet->click(); }, false, false},
      {"Escape in the second", escape, true, true},
      {"close box in the second", close_box, true, true},
      {"設定 in the second", [](QDialog *d) { static_cast<TfrmStartup2 *>(d)->ui->btnOK->click(); }, true, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    if (c.second) {
      TfrmStartup2 d;
      d.show();
      c.leave(&d);
      EXPECT_EQ(d.Cancelled, c.cancelled);
    } else {
      TfrmStartup d;
      d.show();
      c.leave(&d);
      EXPECT_EQ(d.Cancelled, c.cancelled);
    }
  }
  // The start as a user meets it: Escape in the first dialog ends the first run there.
  on_modal = [](QDialog *d) {
    if (qobject_cast<TfrmStartup *>(d)) {
      d->show();
      QTest::keyClick(d, Qt::Key_Escape);
    }
  };
  auto w = Start();
  EXPECT_EQ(modal, std::vector<std::string>{"TfrmStartup"});
  EXPECT_EQ(AcisDB, nullptr);
}

// A user's site given as an http or https address is checked for newer data; other forms are
// refused with "<site>が無効".
TEST_F(MainWindowTest, UserSiteOfEitherWebSchemeIsChecked) {
  PlaceSampleDb();
  Ini().WriteBool("NET", "OffLine", false);
  Ini().WriteInteger("NET", "DownSite", 4);
  const struct {
    const char *site;
    bool refused;
  } cases[] = {{"http://127.0.0.1:9/db/", false}, {"https://127.0.0.1:9/db/", false}, {"ftp://127.0.0.1/db/", true}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.site);
    Ini().WriteString("NET", "UserSite", c.site);
    auto w = Start();
    EXPECT_EQ(HasLine(Utf8Lines(w->mLog), std::string(c.site) + "が無効"), c.refused);
    EXPECT_NE(AcisDB, nullptr);
  }
}

// Newer data in the shared folder: the dates are logged and compared; declining the update
// removes the page that offered it, so that the next check fetches it again, and keeps the
// saved page, which tells of the data in place.
TEST_F(MainWindowTest, NewerDataAtTheSharedFolder) {
  PlaceSampleDb();
  TempDir share;
  fs::copy_file(qmtest::SmallKit() / "makers" / "update.txt", share / "update.txt");
  const std::string saved = cp932::FromUtf8("本ファイルは、「令和8年10月31日」分を反映した農薬登録情報です。\r\n");
  WriteFile(home / "Download" / "update.txt", saved);
  qmtest::SetMTime(home / "Download" / "update.txt", 1780000000);
  Ini().WriteBool("NET", "OffLine", false);
  Ini().WriteBool("NET", "UseLAN", true);
  Ini().WriteString("PATH", "dirLAN", share.path().string());
  boxes.answers = {IDCANCEL};
  auto w = Start();
  const auto lines = Utf8Lines(w->mLog);
  EXPECT_TRUE(HasLine(lines, "データ更新チェック TORV CSV データ"));
  // The page looked at, in the shared folder (one separator, whether the folder ends in one or not).
  EXPECT_TRUE(HasLine(lines, (share.path() / "update.txt").string()));
  EXPECT_TRUE(HasLine(lines, "DB更新日付    :2026.11.30"));
  EXPECT_TRUE(HasLine(lines, "サーバ更新日付:2026年11月30日反映(サンプルデータ)"));
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(U8(boxes.boxes[0].text),
            "新しいデータがあります。\r\n\r\n現在データ: 2026.11.30\r\n更新データ: 2026年11月30日反映(サンプルデータ)"
            "\r\n\r\nデータを更新します\r\nよろしいですか");
  EXPECT_FALSE(fs::exists(home / "Download" / ".update.txt.new"));
  EXPECT_EQ(ReadFile(home / "Download" / "update.txt"), saved);
  EXPECT_TRUE(modal.empty());
  EXPECT_EQ(U8(w->StatusText(0)), "DB:2026.11.30");
}

TEST_F(MainWindowTest, ServerDataDateFromTheSavedPages) {
  auto w = std::make_unique<TfrmMain>(QStringList{}, nullptr);
  struct Case {
    int site;
    std::string bytes;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {0,
       "\xEF\xBB\xBF<html>\r\n<!-- <p>令和8年10月31日反映分</p> -->\r\n<p>令和8年11月30日<b>反映分</b>（定期）</p>\r\n"
       "<p>令和8年12月1日反映分</p>\r\n",
       "令和8年11月30日反映（定期）"},
      {1, "<p>no date here</p>\r\n", "不明"},
      {2, cp932::FromUtf8("本ファイルは、「令和8年11月30日」分を反映した農薬登録情報です。(サンプルデータ)\r\n2行目\r\n"),
       ""},
  };
  for (const Case &c : cases) {
    OptionData->DownSite = static_cast<std::uint8_t>(c.site);
    WriteFile(home / "page", c.bytes);
    std::string got = U8(w->ReadServerDataDate((home / "page").string()));
    if (c.site == 2)
      EXPECT_EQ(got, U8(ExtractDataAsOfText(cp932::FromUtf8(
                         "本ファイルは、「令和8年11月30日」分を反映した農薬登録情報です。(サンプルデータ)"))));
    else
      EXPECT_EQ(got, c.expected) << c.site;
  }
  EXPECT_EQ(U8(w->ReadServerDataDate((home / "missing").string())), "不明");
}

// Saved update pages left in the database folder by older versions move to the download folder.
TEST_F(MainWindowTest, DataFolderTidying) {
  fs::create_directories(home / "Download");
  WriteFile(home / "DB" / "alias.db", "x");
  WriteFile(home / "DB" / "update.htm", "moved");
  WriteFile(home / "DB" / "update2.htm", "old");
  WriteFile(home / "Download" / "update2.htm", "new");
  WriteFile(home / "DB" / "update.txt", "newer");
  WriteFile(home / "Download" / "update.txt", "older");
  const auto set_time = [](const fs::path &p, time_t t) {
    struct utimbuf b{t, t};
    utime(p.c_str(), &b);
  };
  set_time(home / "DB" / "update2.htm", 1000000);
  set_time(home / "Download" / "update2.htm", 2000000);
  set_time(home / "DB" / "update.txt", 3000000);
  set_time(home / "Download" / "update.txt", 1000000);
  auto w = std::make_unique<TfrmMain>(QStringList{}, nullptr);
  EXPECT_FALSE(fs::exists(home / "DB" / "alias.db"));
  EXPECT_FALSE(fs::exists(home / "DB" / "update.htm"));
  EXPECT_EQ(ReadFile(home / "Download" / "update.htm"), "moved");
  EXPECT_FALSE(fs::exists(home / "DB" / "update2.htm"));  // the download folder's copy is newer
  EXPECT_EQ(ReadFile(home / "DB" / "update.txt"), "newer");  // kept: the download copy is older
  EXPECT_EQ(ReadFile(home / "Download" / "update.txt"), "older");
}

// ---------------------------------------------------------------- switches and unattended runs

TEST_F(MainWindowTest, CommandLineSwitches) {
  struct Case {
    QStringList args;
    bool u, r, f, d;
  };
  const std::vector<Case> cases = {
      {{"/D"}, false, false, false, true},
      {{"x.qry", "/d"}, false, false, false, true},
      {{"/U", "/f"}, true, false, true, false},
      {{"/r", "-u", "/du", "u"}, false, true, false, false},
      {{}, false, false, false, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    AutoUpdateSwitch = DownloadCheckSwitch = OfflineSwitch = DeveloperSwitch = false;
    TfrmMain w(c.args, nullptr);
    EXPECT_EQ(AutoUpdateSwitch, c.u);
    EXPECT_EQ(DownloadCheckSwitch, c.r);
    EXPECT_EQ(OfflineSwitch, c.f);
    EXPECT_EQ(DeveloperSwitch, c.d);
  }
}

TEST_F(MainWindowTest, OfflineCaption) {
  Ini().WriteBool("NET", "OffLine", false);
  {
    TfrmMain w(QStringList{}, nullptr);
    EXPECT_EQ(w.windowTitle().toStdString(), "Quillmar");
    EXPECT_FALSE(w.mnOffline->isChecked());
  }
  TfrmMain w(QStringList{"/f"}, nullptr);
  EXPECT_EQ(w.windowTitle().toStdString(), "Quillmar - オフライン");
  EXPECT_TRUE(w.mnOffline->isChecked());
}

TEST_F(MainWindowTest, AboutBoxAndSettingsDialogOpenModallyOverTheWindow) {
  TfrmMain w(QStringList{}, nullptr);
  std::vector<QWidget *> owners;
  on_modal = [&](QDialog *d) { owners.push_back(d->parentWidget()); };
  w.mnAboutClick();
  w.actOptionExecute();
  EXPECT_EQ(modal, (std::vector<std::string>{"TfrmAbout", "TfrmOption"}));
  EXPECT_EQ(owners, (std::vector<QWidget *>{&w, &w}));
}

TEST_F(MainWindowTest, UnattendedUpdateOfACurrentDatabaseEndsWithZero) {
  PlaceSampleDb();
  ProcessExitCode = 7;
  auto w = Start({"/u"});
  EXPECT_EQ(ProcessExitCode, 0);
  EXPECT_FALSE(w->isVisible());
  EXPECT_TRUE(modal.empty());
  EXPECT_TRUE(boxes.boxes.empty());
}

// ---------------------------------------------------------------- the log pane

TEST_F(MainWindowTest, LogPaneLinesCopyAndSave) {
  TfrmMain w(QStringList{}, nullptr);
  TLogMemo *log = w.mLog;
  w.AddLog("SQL>SELECT 1"_sj);
  w.AddLog("AcisDB.Create Error ESQLiteException\r\nfile is not a database"_sj);
  w.AddLog("検索 時間  0.125秒"_sj);
  EXPECT_EQ(Utf8Lines(log), (std::vector<std::string>{"SQL>SELECT 1", "AcisDB.Create Error ESQLiteException",
                                                     "file is not a database", "検索 時間  0.125秒"}));
  // Copy is offered only with a selection; select all then copy takes the whole log.
  log->pmnLogPopup();
  EXPECT_FALSE(log->pmnLogCopy->isEnabled());
  log->pmnLogSelectAllClick();
  log->pmnLogPopup();
  EXPECT_TRUE(log->pmnLogCopy->isEnabled());
  QTest::keyClick(log, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(U8(ClipboardText()),
            "SQL>SELECT 1\r\nAcisDB.Create Error ESQLiteException\r\nfile is not a database\r\n検索 時間  0.125秒");
  // Saved as CP932 lines with CR LF ends.
  dialogs.answers.push_back({true, (home / "log.txt").string(), ""});
  log->pmnLogSaveClick();
  ASSERT_EQ(dialogs.files.size(), 1u);
  EXPECT_TRUE(dialogs.files[0].request.Save);
  EXPECT_EQ(dialogs.files[0].request.DefaultExt, "txt");
  EXPECT_TRUE(dialogs.files[0].request.OverwritePrompt);
  EXPECT_EQ(ReadFile(home / "log.txt"), "SQL>SELECT 1\r\nAcisDB.Create Error ESQLiteException\r\nfile is not a "
                                        "database\r\n"_sj + "検索 時間  0.125秒\r\n"_sj);
  // An unwritable file is reported, not thrown.
  dialogs.answers.push_back({true, (home / "no" / "such" / "log.txt").string(), ""});
  log->pmnLogSaveClick();
  EXPECT_EQ(boxes.boxes.size(), 1u);
}

// ---------------------------------------------------------------- placement and shut-down

TEST_F(MainWindowTest, PlacementAndPaneSizesRoundTripThroughWindowSection) {
  TIniFile ini = Ini();
  const std::vector<std::pair<const char *, int>> keys = {
      {"Left", 40}, {"Top", 30}, {"Width", 1000}, {"Height", 700}, {"WindowState", 0},
      {"TabYakuzaiUpperPnlHeight", 210}, {"TabYakuzaiSelectPnlHeight", 90}, {"TabYakuzaiSeizaiWidth", 160},
      {"TabSakumotsuFraSakumotsuWidth", 300}, {"TabSakumotsuFraSakumotsuTabIndex", 2},
      {"TabSeibunPageIndex", 5}, {"TabRacKeitoIndex", 0}, {"pgYakuzaiSideSeibunActivePageIndex", 3}};
  for (const auto &[k, v] : keys) ini.WriteInteger("WINDOW", k, v);
  const std::vector<std::pair<const char *, int>> fields = {{"LogPaneHeight", 120}, {"SQLEditHeight", 150},
                                                            {"YakuzaiSidePanelWidth", 230},
                                                            {"YakuzaiSideSeibunListHeight", 140},
                                                            {"SQLSidePanelWidth", 180}};
  for (const auto &[k, v] : fields) ini.WriteInteger("WINDOW", k, v);
  ini.WriteBool("WINDOW", "LogPaneVisible", true);
  ini.WriteBool("WINDOW", "StatusBarVisible", true);
  ini.WriteBool("WINDOW", "SearchPanelVisible", false);
  {
    auto w = Start();
    // Start-up always shows the crop frame's first page; the page open at close is written.
    QTabWidget *frame_pages = w->ui->fraSakumotsu->Form().pgList;
    EXPECT_EQ(frame_pages->currentIndex(), 0);
    frame_pages->setCurrentIndex(2);
    EXPECT_EQ(w->ui->pgYakuzaiSideSeibun->currentIndex(), 3);
    EXPECT_EQ(w->ui->pgYakuzaiSideSeibun->indexOf(w->ui->tabSeibun), 5);
    EXPECT_EQ(w->ui->pgYakuzaiSideSeibun->indexOf(w->ui->tabRacKeito), 0);
    w->AddLog("a line");
    w->close();
    EXPECT_TRUE(w->mLog->Lines().empty());  // cleared before the settings were written
  }
  for (const auto &[k, v] : keys) EXPECT_EQ(ini.ReadInteger("WINDOW", k, -1), v) << k;
  for (const auto &[k, v] : fields) EXPECT_EQ(ini.ReadInteger("WINDOW", k, -1), v) << k;
  EXPECT_TRUE(ini.ReadBool("WINDOW", "LogPaneVisible", false));
  EXPECT_FALSE(ini.ReadBool("WINDOW", "SearchPanelVisible", true));
  EXPECT_EQ(ini.ReadInteger("WINDOW", "MonitorIndex", -1), 0);
}

TEST_F(MainWindowTest, WindowBeyondTheVirtualScreenComesBack) {
  const int vw = QGuiApplication::primaryScreen()->virtualGeometry().width();
  Ini().WriteInteger("WINDOW", "Left", vw + 50);
  Ini().WriteInteger("WINDOW", "Width", 500);
  TfrmMain w(QStringList{}, nullptr);
  EXPECT_EQ(w.geometry().left(), 50);
}

// A folder in the settings file's place: the start goes on with the defaults, says once
// that the settings are not saved, logs it, and the close writes nothing.
TEST_F(MainWindowTest, SettingsFileThatCannotBeReadIsReportedOnceAndLeftAlone) {
  fs::remove(home / "quillmar.ini");
  fs::create_directory(home / "quillmar.ini");
  {
    TfrmMain w(QStringList{}, nullptr);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    const std::string said = U8(boxes.boxes[0].text);
    EXPECT_EQ(said, (home / "quillmar.ini").string() + " を読み込めません(フォルダです)。既定の設定で起動し、設定は保存しません。");
    EXPECT_TRUE(HasLine(Utf8Lines(w.mLog), said));
    w.close();
  }
  EXPECT_EQ(boxes.boxes.size(), 1u) << "the close does not say it again";
  EXPECT_TRUE(fs::is_directory(home / "quillmar.ini"));
  EXPECT_TRUE(fs::is_empty(home / "quillmar.ini"));
}

// Whatever place is stored, the window opens with its top edge on the screen; a place on
// the screen is kept. (The test platform's one screen is 800 x 800, all of it available.)
TEST_F(MainWindowTest, StoredPlacesOpenTheWindowOnTheScreen) {
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  ASSERT_EQ(area, QRect(0, 0, 800, 800));
  constexpr int kMax = std::numeric_limits<int>::max(), kMin = std::numeric_limits<int>::min();
  const struct {
    int left, top, width, height;
    QPoint expected;  // (-1, -1): anywhere with the top edge on the screen
  } cases[] = {
      {40, 30, 500, 400, {40, 30}},           // on the screen: as stored
      {700, 750, 500, 400, {700, 750}},       // partly off, the title bar on: as stored
      {-5000, -5000, 500, 400, {0, 0}},
      {40, 90000, 500, 400, {40, 400}},
      {100000, 30, 500, 400, {300, 30}},
      {-5000, 30, 500, 400, {0, 30}},
      {kMax, 30, kMax, 400, {-1, -1}},        // sizes and places at the ends of 32 bits
      {kMin, kMin, kMax, kMax, {-1, -1}},
      {kMax, kMax, 1, 1, {-1, -1}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << c.left << "," << c.top << " " << c.width << "x" << c.height);
    for (const char *key : {"Left", "Top", "Width", "Height"}) Ini().WriteInteger("WINDOW", key, 0);
    Ini().WriteInteger("WINDOW", "Left", c.left);
    Ini().WriteInteger("WINDOW", "Top", c.top);
    Ini().WriteInteger("WINDOW", "Width", c.width);
    Ini().WriteInteger("WINDOW", "Height", c.height);
    TfrmMain w(QStringList{}, nullptr);
    const QRect g = w.geometry();
    EXPECT_TRUE(g.intersects(area)) << g.x() << "," << g.y() << " " << g.width() << "x" << g.height();
    EXPECT_TRUE(g.top() >= area.top() && g.top() <= area.bottom()) << g.y();
    if (c.expected != QPoint(-1, -1)) {
      EXPECT_EQ(g.topLeft(), c.expected);
    }
  }
}

TEST_F(MainWindowTest, HiddenLogPaneKeepsItsHeightAndViewToggles) {
  Ini().WriteInteger("WINDOW", "LogPaneHeight", 0);
  Ini().WriteBool("WINDOW", "LogPaneVisible", false);
  {
    auto w = Start();
    EXPECT_TRUE(w->mLog->isHidden());
    EXPECT_FALSE(w->mnLogPaneOn->isChecked());
    w->mnLogPaneOnClick();  // shown again: a pane of no height gets 16
    EXPECT_TRUE(w->mnLogPaneOn->isChecked());
    EXPECT_FALSE(w->mLog->isHidden());
    w->mnStatusBarOnClick();
    w->mnToolbarOnClick();
    w->close();
  }
  EXPECT_EQ(Ini().ReadInteger("WINDOW", "LogPaneHeight", -1), 16);
  EXPECT_TRUE(Ini().ReadBool("WINDOW", "LogPaneVisible", false));
  EXPECT_NE(Ini().ReadBool("WINDOW", "StatusBarVisible", false), OptionData->StatusBarVisible == false);
}

TEST_F(MainWindowTest, CountPanelShowsTheWholeCount) {
  PlaceSampleDb();
  auto w = Start();
  QLabel *count = w->StatusPanels[3];
  QStatusBar *bar = w->ui->StatusBar;
  for (const int scale : {1, 2}) {
    QFont font = bar->font();
    font.setPointSizeF(font.pointSizeF() * scale);
    bar->setFont(font);
    QCoreApplication::processEvents();
    for (const char *text : {"104982件", "2147483647件"}) {
      SCOPED_TRACE(std::string(text) + " at scale " + std::to_string(scale));
      w->SetStatusText(3, cp932::FromUtf8(text));
      EXPECT_LE(count->fontMetrics().horizontalAdvance(count->text()), count->contentsRect().width());
    }
  }
}

// ---------------------------------------------------------------- the single-instance guard

TEST(SingleInstance, SecondStartFindsTheFirst) {
  const QString name = QStringLiteral("qmtest-guard-%1").arg(getpid());
  TempDir home;
  qmtest::ScopedEngineState engine;
  *OptionData = TOptionData(home.str());
  TScopedRecordingUi boxes;
  std::vector<QWidget *> knocks;
  auto first = std::make_unique<TSingleInstance>(QString::fromStdString(home.path().string()), false, name);
  first->OnKnock = [&](QWidget *w) { knocks.push_back(w); };
  ASSERT_TRUE(first->Acquire());
  EXPECT_TRUE(first->Held());

  const auto knock_once = [&] {
    const std::size_t before = knocks.size();
    TSingleInstance second(QString::fromStdString(home.path().string()), false, name);
    EXPECT_FALSE(second.Acquire());
    EXPECT_FALSE(second.Held());
    for (int i = 0; i < 200 && knocks.size() == before; ++i) QTest::qWait(5);
    return knocks.size() > before ? knocks.back() : reinterpret_cast<QWidget *>(-1);
  };
  // While the first is still starting (no main window yet), nothing is brought forward.
  EXPECT_EQ(knock_once(), nullptr);
  {
    TfrmMain w(QStringList{}, nullptr);  // not shown: its deferred start-up would open dialogs
    EXPECT_EQ(knock_once(), &w);
    // The offline caption is not the one looked for.
    w.setWindowTitle(ToQ("Quillmar - オフライン"_sj));
    EXPECT_EQ(knock_once(), nullptr);
  }
  // Once the first has ended, a new start runs.
  first.reset();
  TSingleInstance again(QString::fromStdString(home.path().string()), false, name);
  EXPECT_TRUE(again.Acquire());
}

// The guard is the program folder's: a start with another temporary folder still meets the
// running instance and learns what it does. A window start meeting an unattended run is
// told so in a box; an unattended start meeting anything ends with its own code.
TEST(SingleInstance, StartsMeetTheRunningInstanceWhateverTheirTemporaryFolder) {
  TempDir home, other_tmp;
  const QString folder = QString::fromStdString(home.path().string());
  const std::string told = "Quillmar はデータ更新を実行中です。\r\n更新が終わってからもう一度起動してください。";
  struct Case {
    bool running_unattended, start_unattended;
    TSingleInstance::TRunning learnt;
    int code;
    bool box;
  } cases[] = {
      {false, false, TSingleInstance::RunningWindow, 0, false},  // the window came forward instead
      {true, false, TSingleInstance::RunningUnattended, 0, true},
      {false, true, TSingleInstance::RunningWindow, 4, false},
      {true, true, TSingleInstance::RunningUnattended, 4, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.running_unattended) + " " + std::to_string(c.start_unattended));
    TSingleInstance running(folder, c.running_unattended);
    ASSERT_TRUE(running.Acquire());
    EXPECT_TRUE(fs::exists(running.LockPath().toStdString()));
    const std::optional<std::string> saved_tmp =
        std::getenv("TMPDIR") ? std::optional<std::string>(std::getenv("TMPDIR")) : std::nullopt;
    setenv("TMPDIR", other_tmp.path().c_str(), 1);
    TSingleInstance start(folder, c.start_unattended);
    const bool first = start.Acquire();
    if (saved_tmp)
      setenv("TMPDIR", saved_tmp->c_str(), 1);
    else
      unsetenv("TMPDIR");
    ASSERT_FALSE(first);
    EXPECT_EQ(start.Running(), c.learnt);
    TScopedRecordingUi boxes;
    EXPECT_EQ(OtherInstanceRuns(start.Running(), c.start_unattended), c.code);
    ASSERT_EQ(boxes.boxes.size(), c.box ? 1u : 0u);
    if (c.box) {
      EXPECT_EQ(cp932::ToUtf8(boxes.boxes[0].text), told);
    }
  }
  // Another program folder is another guard.
  TempDir elsewhere;
  TSingleInstance running(folder);
  ASSERT_TRUE(running.Acquire());
  TSingleInstance start(QString::fromStdString(elsewhere.path().string()));
  EXPECT_TRUE(start.Acquire());
}

// The first start on a program folder that is not there yet makes it and holds its guard,
// so that a second start on it meets the first.
TEST(SingleInstance, FirstStartOnANewFolderIsGuarded) {
  TempDir parent;
  const QString folder = QString::fromStdString((parent / "new" / "Quillmar").string());
  TSingleInstance first(folder, true);
  ASSERT_TRUE(first.Acquire());
  EXPECT_TRUE(first.Held());
  EXPECT_TRUE(fs::exists(first.LockPath().toStdString()));
  TSingleInstance second(folder, true);
  EXPECT_FALSE(second.Acquire());
  EXPECT_EQ(second.Running(), TSingleInstance::RunningUnattended);
}

// A start that finds the guard held and gets no answer to its knock (the holder hangs, or
// cannot be reached from here): a window start says so in a box, an unattended one ends
// with its own code. Once the holder lets go, a start runs without a word.
TEST(SingleInstance, StartThatGetsNoAnswerSaysSo) {
  TempDir home;
  const QString folder = QString::fromStdString(home.path().string());
  auto silent = std::make_unique<QLockFile>(TSingleInstance(folder).LockPath());  // holds, never listens
  ASSERT_TRUE(silent->tryLock(0));
  for (const bool unattended : {false, true}) {
    SCOPED_TRACE(unattended);
    TSingleInstance start(folder, unattended);
    ASSERT_FALSE(start.Acquire());
    EXPECT_EQ(start.Running(), TSingleInstance::RunningUnknown);
    TScopedRecordingUi boxes;
    EXPECT_EQ(OtherInstanceRuns(start.Running(), unattended), unattended ? 4 : 0);
    ASSERT_EQ(boxes.boxes.size(), unattended ? 0u : 1u);
    if (!unattended) {
      EXPECT_EQ(cp932::ToUtf8(boxes.boxes[0].text),
                "Quillmar は実行中ですが、応答がありません。\r\n実行中の Quillmar を終了してからもう一度起動してください。");
    }
  }
  silent.reset();
  TSingleInstance after(folder);
  EXPECT_TRUE(after.Acquire());
  EXPECT_TRUE(after.Held());
}

// ---------------------------------------------------------------- first-run dialogs

TEST_F(MainWindowTest, DownloadSiteDialog) {
  TfrmStartup d;
  EXPECT_FALSE(d.Cancelled);
  EXPECT_EQ(d.DownSiteIndex(), 3);
  EXPECT_EQ(d.ui->cbTorvDBSite->currentIndex(), 3);
  EXPECT_FALSE(d.ui->edtLAN->isEnabled());
  d.ui->ckUseLAN->click();
  EXPECT_TRUE(d.ui->edtLAN->isEnabled());
  EXPECT_TRUE(d.ui->btnLAN->isEnabled());
  EXPECT_TRUE(d.ui->lblFolder->isEnabled());
  d.DropFiles({"/mnt/share/Download", "/mnt/other"});
  EXPECT_EQ(d.ui->edtLAN->text().toStdString(), "/mnt/share/Download");
  d.SetDownSiteIndex(1);
  d.ui->cbTorvDBSite->setCurrentIndex(2);
  d.ui->bDownSiteSet->click();
  EXPECT_FALSE(d.Cancelled);
  EXPECT_EQ(OptionData->DownSite, 1);
  EXPECT_EQ(OptionData->DownSiteTorvDB, 2);
  EXPECT_TRUE(OptionData->UseLAN);
  EXPECT_EQ(OptionData->dirLAN, "/mnt/share/Download");
  TfrmStartup c;
  c.ui->bDownSiteCancel->click();
  EXPECT_TRUE(c.Cancelled);
}

TEST_F(MainWindowTest, DownloadFolderDialog) {
  const std::string before = OptionData->DownloadFolder;
  {
    TfrmStartup2 d;
    d.ui->btnOK->click();  // an empty edit changes nothing
    EXPECT_EQ(OptionData->DownloadFolder, before);
    EXPECT_TRUE(OptionData->dirDownloadPath.empty());
  }
  {
    TfrmStartup2 d;
    d.ui->edtSaveFolder->setText(QString::fromStdString(home.str() + "data/archives"));
    d.ui->ckRelativePath->click();
    EXPECT_EQ(d.ui->edtSaveFolder->text().toStdString(), "data/archives");
    d.ui->ckRelativePath->click();
    EXPECT_EQ(d.ui->edtSaveFolder->text().toStdString(), home.str() + "data/archives");
    d.ui->ckRelativePath->click();
    d.ui->btnOK->click();
    EXPECT_FALSE(d.Cancelled);
    EXPECT_EQ(OptionData->dirDownloadPath, "data/archives");
    EXPECT_TRUE(OptionData->DownloadRelativePath);
    EXPECT_EQ(OptionData->DownloadFolder, home.str() + "data/archives");
    EXPECT_TRUE(fs::is_directory(home / "data" / "archives"));
  }
  {
    WriteFile(home / "blocker", "a file where the folder would go");
    TfrmStartup2 d;
    d.ui->edtSaveFolder->setText(QString::fromStdString(home.str() + "blocker/sub"));
    d.ui->btnOK->click();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(U8(boxes.boxes[0].text), home.str() + "blocker/subを作成できません");
  }
  TfrmStartup2 c;
  c.ui->Button2->click();
  EXPECT_TRUE(c.Cancelled);
}
