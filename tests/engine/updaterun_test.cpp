// The update run without a window: which files each source offers, a fetch that fails
// (whatever the source: it never lets an earlier run's archive in) and a cancel between build
// steps (both leave acis.db as it was), and what an interrupted update leaves in the
// database folder for the next start to remove.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>

#include "engine/AcisSvr.h"
#include "engine/SQLite.h"
#include "engine/SqlFunctions.h"
#include "engine/UiServices.h"
#include "engine/UpdateRun.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "platform/inet.h"
#include "support/enginefixture.h"
#include "support/testserver.h"
#include "support/testutil.h"

namespace fs = std::filesystem;

TEST(UpdateRun, StaleBuildFilesAndNothingElseAreRemoved) {
  qmtest::TempDir dir;
  struct Case {
    const char *name;
    bool folder;
    bool stale;
  } cases[] = {
      {".acis.db.3141592653.part", false, true},          // a killed build
      {".acis.db.3141592653.part-journal", false, true},  // and its journal
      {".acis.db.27.part-wal", false, true},
      {".spec.db.1.part", false, true},        // a killed unpack of the reference database
      {".acis.db.42.part", true, true},        // the unpack folder of the ready-made databases
      {"acis.db", false, false},
      {"spec.db", false, false},
      {"acis.db-journal", false, false},
      {"autoupdate.log", false, false},
      {".acis.db.part", false, false},         // no number
      {".acis.db.12a.part", false, false},
      {".acis.db.12.partial", false, false},
      {"x.acis.db.12.part", false, false},
      {".jpp.db.12.part", false, false},       // not a build of this update
      {".acis.db.12.part.bak", false, false},
      {".acis.db.27.part-mj1A2B3C9D4", false, true},  // the super-journal of a killed build
      {"acis.db-mj1A2B3C9D4", false, false},          // of the working database: never
      {".acis.db.27.part-mj", false, false},
      {".acis.db.27.part-mjXYZ", false, false},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(IsStaleBuildName(c.name), c.stale) << c.name;
    if (c.folder) {
      fs::create_directories(dir / c.name);
      qmtest::WriteFile(dir / c.name / "acis.db", "half");
    } else {
      qmtest::WriteFile(dir / c.name, "x");
    }
  }
  qmtest::LogLines log;
  int stale = 0;
  for (const Case &c : cases) stale += c.stale;
  EXPECT_EQ(RemoveStaleBuildFiles(dir.str(), &log), stale);
  for (const Case &c : cases) EXPECT_EQ(fs::exists(dir / c.name), !c.stale) << c.name;
  EXPECT_EQ(static_cast<int>(log.lines.size()), stale);
  // A second start finds nothing more; a missing folder is no failure.
  EXPECT_EQ(RemoveStaleBuildFiles(dir.str(), nullptr), 0);
  EXPECT_EQ(RemoveStaleBuildFiles((dir / "none").string(), nullptr), 0);
}

// What a killed download, copy or unpack was writing in the data folder goes, and nothing
// else; while another instance may be running, nothing at all.
TEST(UpdateRun, StaleDataFilesAndNothingElseAreRemoved) {
  qmtest::TempDir dir;
  struct Case {
    const char *name;
    bool folder;
    bool stale;
  } cases[] = {
      {".登録適用部一.csv.3141592653.part", false, true},  // a killed unpack
      {".update2.htm.17.part", false, true},              // a killed fetch of the page
      {".toroku.zip.0.part", false, true},
      {".acis.db.5.part", false, true},      // a data folder that is also the database folder
      {"登録適用部一.csv", false, false},
      {"update2.htm", false, false},
      {"autodown.log", false, false},
      {"report.part", false, false},         // a browser's partial download
      {".report.part", false, false},        // no number
      {"..12.part", false, false},           // no name
      {".x.12a.part", false, false},
      {"x.csv.12.part", false, false},       // not hidden: not ours
      {".x.csv.12.part.bak", false, false},
      {".x.csv.12.part-journal", false, false},
      {".unpacked.12.part", true, false},    // only files are ours here
      {".unpack.12.part", true, true},       // the folder of a killed unpack
  };
  for (const Case &c : cases) {
    if (!c.folder) {
      EXPECT_EQ(IsStaleDataName(cp932::FromUtf8(c.name)), c.stale) << c.name;
    }
    if (c.folder)
      fs::create_directories(dir / c.name);
    else
      qmtest::WriteFile(dir / c.name, "x");
  }
  int stale = 0;
  for (const Case &c : cases) stale += c.stale;
  {
    // Held by another instance: its files may be in the making.
    const bool saved = HoldsInstanceGuard;
    HoldsInstanceGuard = false;
    EXPECT_EQ(RemoveStaleDataFiles(dir.str(), nullptr), 0);
    HoldsInstanceGuard = saved;
    for (const Case &c : cases) EXPECT_TRUE(fs::exists(dir / c.name)) << c.name;
  }
  qmtest::LogLines log;
  EXPECT_EQ(RemoveStaleDataFiles(cp932::FromUtf8(dir.str()), &log), stale);
  for (const Case &c : cases) EXPECT_EQ(fs::exists(dir / c.name), !c.stale) << c.name;
  EXPECT_EQ(static_cast<int>(log.lines.size()), stale);
  EXPECT_EQ(RemoveStaleDataFiles((dir / "none").string(), nullptr), 0);
}

namespace {

std::string Sj(const std::string &utf8) { return cp932::FromUtf8(utf8); }

// The makers' CSV set at its smallest (UTF-8): one product, one application, and the page.
const std::string kTinyKihon = "bango,shurui,meisho,ryakusho,ippanmei,seibun,nodo,kongo,yoto,zaikei,torokubi\r\n"
                               "1,'殺虫剤','A乳剤','社','A','A','10%',1,'殺虫剤','乳剤','2020/01/01'\r\n";
const std::string kTinyTekiyo =
    "bango,a,b,c,d,sakumotsu,h6,h7,h8,h9,h10,h11,h12,h13,h14,h15,h16,h17,h18,h19,h20,h21,h22,h23,h24\r\n"
    "1,'','','','','稲',NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL\r\n";
const std::string kTinyPage = "本ファイルは、「令和8年11月30日」分を反映した農薬登録情報です。\r\n";

// A program folder with an old acis.db open as the program keeps it, and a run of the
// update on it that has no window.
class UpdateRunTest : public ::testing::Test {
 protected:
  qmtest::TempDir home;
  qmtest::TestServer server;
  TScopedRecordingUi ui;
  std::unique_ptr<qmtest::ScopedEngineState> state;

  void SetUp() override {
    fs::create_directories(home / "DB");
    fs::create_directories(home / "Download");
    state = std::make_unique<qmtest::ScopedEngineState>(home / "DB");
    OptionData->DownloadFolder = (home / "Download").string();
    OptionData->UseLAN = OptionData->OffLine = false;
    OptionData->ReadTimeout = OptionData->ReceiveTimeout = 5000;
    DataSites().PublisherHost = server.Url();
    TSQLiteDb::FunctionRegistrar = &RegisterSqlFunctions;
    {
      TSQLiteDb old(DbPath());
      old.ExecSQL("CREATE TABLE old_marker (x);");
      old.ExecSQL("INSERT INTO old_marker VALUES ('kept');");
    }
    AcisDBOwner().Reopen(DbPath(), nullptr);
  }
  void TearDown() override {
    state.reset();
    AutoUpdateSwitch = DownloadCheckSwitch = OfflineSwitch = false;
  }

  std::string DbPath() { return (home / "DB" / "acis.db").string(); }
  static bool Has(const TUpdateRun &run, const std::string &utf8) {
    return std::find(run.Lines().begin(), run.Lines().end(), Sj(utf8)) != run.Lines().end();
  }
  static std::string Joined(const TUpdateRun &run) {
    std::string s;
    for (const std::string &l : run.Lines()) s += cp932::ToUtf8(l) + "\n";
    return s;
  }
  // The old database is still acis.db and open again; nothing of a build is left.
  void ExpectOldDatabaseKept() {
    TSQLiteDb db(DbPath());
    auto t = db.GetTable("SELECT x FROM old_marker");
    EXPECT_EQ(t->Eof() ? "<no row>" : t->FieldAsString(0), "kept");
    ASSERT_NE(AcisDB, nullptr);
    EXPECT_TRUE(AcisDB->TableExists("old_marker"));
    for (const auto &e : fs::directory_iterator(home / "DB"))
      EXPECT_FALSE(IsStaleBuildName(e.path().filename().string())) << e.path();
  }
};

}  // namespace

TEST_F(UpdateRunTest, EachSourceOffersItsFiles) {
  OptionData->dirLAN = "/lan";
  OptionData->DownSiteTorvDB = 1;
  DataSites().TorvMirror[1] = "http://mirror1/data/";
  DataSites().TorvMirror[2] = "http://mirror2/data/";
  struct Case {
    int kind;
    bool shared;
    const char *user_site;
    std::vector<std::string> sources;  // UTF-8; the publisher's host as "P"
    TFetchItem::TWay way;
  } cases[] = {
      {1, false, "", {"P/ddata/data/登録基本部.zip", "P/ddata/data/登録適用部一.zip", "P/ddata/data/登録適用部二.zip"},
       TFetchItem::Http},
      {1, true, "", {"/lan/登録基本部.zip", "/lan/登録適用部一.zip", "/lan/登録適用部二.zip"}, TFetchItem::Copy},
      {2, false, "", {"http://mirror1/data/toroku.zip"}, TFetchItem::Http},
      {3, false, "", {"http://mirror2/data/acis.zip", "http://mirror2/data/spec.zip"}, TFetchItem::Http},
      {4, false, "http://own/d/", {"http://own/d/acis.zip", "http://own/d/spec.zip"}, TFetchItem::Http},
      {4, false, "https://own/d/", {"https://own/d/acis.zip", "https://own/d/spec.zip"}, TFetchItem::Http},
      {4, false, "\\\\srv\\share", {"//srv/share/acis.zip", "//srv/share/spec.zip"}, TFetchItem::ShellCopy},
      {4, false, "ftp://own/d/", {}, TFetchItem::Http},
      {4, true, "https://own/d/", {"/lan/acis.zip", "/lan/spec.zip"}, TFetchItem::Copy},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.kind) + (c.shared ? " shared " : " ") + c.user_site);
    OptionData->UserSite = c.user_site;
    TUpdateRun run(nullptr, nullptr, nullptr);
    run.SourceKind = static_cast<std::uint8_t>(c.kind);
    run.MirrorIndex = 2;
    const std::vector<TFetchItem> items = run.FetchItems(c.shared);
    ASSERT_EQ(items.size(), c.sources.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
      std::string source = c.sources[i];
      if (source[0] == 'P') source = server.Url() + source.substr(1);
      EXPECT_EQ(items[i].source, Sj(source));
      EXPECT_EQ(items[i].way, c.way);
      // The file lands in the data folder under the name its lines begin with.
      EXPECT_EQ(items[i].file, JoinPath(OptionData->DownloadFolder, items[i].label));
      EXPECT_EQ(fs::path(cp932::ToUtf8(items[i].source)).filename().string(), cp932::ToUtf8(items[i].label));
    }
  }
}

TEST_F(UpdateRunTest, FetchFailingMidwayStopsTheRunAndKeepsTheDatabase) {
  server.Put("/ddata/index.htm", "<p>令和8年11月30日反映分</p>");
  server.Put("/ddata/data/登録基本部.zip", "basic");
  server.Put("/ddata/data/登録適用部二.zip", "part two");
  server.SetFaults("/ddata/data/登録適用部一.zip status 404");
  TUpdateRun run(nullptr, nullptr, nullptr);
  run.SourceKind = 1;
  EXPECT_FALSE(run.RunAutoUpdate());
  EXPECT_FALSE(run.Rebuilt);
  EXPECT_TRUE(Has(run, "登録基本部.zip ダウンロード完了")) << Joined(run);
  EXPECT_TRUE(Has(run, "登録適用部一.zip ダウンロード中止")) << Joined(run);
  // The workbooks come whole or not at all: the third is not asked for, nothing is unpacked.
  EXPECT_FALSE(Has(run, "登録適用部二.zip ダウンロード開始")) << Joined(run);
  EXPECT_FALSE(fs::exists(home / "Download" / "登録適用部二.zip"));
  EXPECT_FALSE(Has(run, "登録基本部.zip を解凍")) << Joined(run);
  EXPECT_FALSE(Has(run, "テーブル作成")) << Joined(run);
  EXPECT_TRUE(Has(run, "データ更新中止!")) << Joined(run);
  ExpectOldDatabaseKept();
}

// A fetch or copy that is not done stops an automatic run under every source kind, with the
// file and the cause among its failures, although the data folder holds a sound set of files
// from an earlier run that the unpack and build would take.
TEST_F(UpdateRunTest, AnyFailedFetchStopsTheRunBeforeEarlierFilesAreUsed) {
  const std::string &kihon = kTinyKihon, &tekiyo = kTinyTekiyo, &page = kTinyPage;
  // The earlier run's archives: the makers' set, and ready-made databases that would open.
  qmtest::TempDir made;
  qmtest::WriteFile(made / "kihon.csv", Sj(kihon));
  qmtest::WriteFile(made / "tekiyo.csv", Sj(tekiyo));
  {
    TSQLiteDb a((made / "acis.db").string());
    a.ExecSQL("CREATE TABLE new_marker (x);");
    TSQLiteDb b((made / "spec.db").string());
    b.ExecSQL("CREATE TABLE spec_marker (x);");
  }
  const std::string zip = "cd '" + made.str() + "' && python3 -c \"import zipfile\n"
                          "for n, files in (('toroku', ('kihon.csv', 'tekiyo.csv')), ('acis', ('acis.db',)), "
                          "('spec', ('spec.db',))):\n"
                          "  with zipfile.ZipFile(n + '.zip', 'w') as z:\n"
                          "    for f in files: z.write(f)\"";
  ASSERT_EQ(std::system(zip.c_str()), 0);
  // Newer on the server than the copies at hand: the server answers with the files.
  const long long later = std::time(nullptr) + 86400;
  for (const char *f : {"toroku.zip", "acis.zip", "spec.zip"})
    server.Put(std::string("/torv/data/") + f, qmtest::ReadFile(made / f), later);
  server.Put("/torv/data/update.txt", Sj(page), later);
  for (int i = 0; i < 4; ++i) DataSites().TorvMirror[i] = server.Url("/torv/data/");
  qmtest::TempDir share;
  std::string unc = "\\";  // the share as an address of the form \\server\share
  for (char ch : share.path().string()) unc += ch == '/' ? '\\' : ch;
  struct Case {
    const char *what;
    int kind;
    bool shared;           // from the shared folder
    std::string user_site;
    std::function<void()> fault;
    const char *file;      // named among the failures
  } cases[] = {
      {"makers' set, server answers 404", 2, false, "", [&] { server.SetFaults("/torv/data/toroku.zip status 404"); },
       "toroku.zip"},
      {"makers' set, shared folder without it", 2, true, "", [&] { fs::remove(share / "toroku.zip"); }, "toroku.zip"},
      {"makers' set, a folder of its name", 2, true, "",
       [&] {
         fs::remove(share / "toroku.zip");
         fs::create_directories(share / "toroku.zip");
       },
       "toroku.zip"},
      {"ready-made databases, spec.zip answers 500", 3, false, "",
       [&] { server.SetFaults("/torv/data/spec.zip status 500"); }, "spec.zip"},
      {"user's address, acis.zip cut short", 4, false, server.Url("/torv/data/"),
       [&] { server.SetFaults("/torv/data/acis.zip truncate"); }, "acis.zip"},
      {"user's share without spec.zip", 4, false, unc, [&] { fs::remove(share / "spec.zip"); }, "spec.zip"},
      {"user's address of no kind fetched from", 4, false, "ftp://127.0.0.1:1/data/", [] {}, "ftp://127.0.0.1:1/data/"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    qmtest::WriteFile(share / "update.txt", Sj(page));
    for (const char *f : {"toroku.zip", "acis.zip", "spec.zip"}) {
      fs::remove_all(share / f);
      fs::copy_file(made / f, share / f);
      fs::copy_file(made / f, home / "Download" / f, fs::copy_options::overwrite_existing);
    }
    qmtest::WriteFile(home / "Download" / "update.txt", Sj(page));
    server.SetFaults("");
    c.fault();
    OptionData->DownSite = static_cast<std::uint8_t>(c.kind);
    OptionData->UseLAN = c.shared;
    OptionData->dirLAN = share.str();
    OptionData->UserSite = Sj(c.user_site);
    TUpdateRun run(nullptr, nullptr, nullptr);
    EXPECT_FALSE(run.RunAutoUpdate());
    EXPECT_FALSE(run.Rebuilt);
    for (const std::string &l : run.Lines()) {
      EXPECT_EQ(l.find(Sj("解凍")), std::string::npos) << Joined(run);
      EXPECT_NE(l, Sj("テーブル作成")) << Joined(run);
    }
    bool named = false;
    for (const std::string &f : run.Failures()) named = named || f.find(Sj(c.file)) != std::string::npos;
    EXPECT_TRUE(named) << Joined(run);
    EXPECT_TRUE(Has(run, "データ更新中止!")) << Joined(run);
    ExpectOldDatabaseKept();
  }
}

TEST_F(UpdateRunTest, CancelBetweenBuildStepsStopsThere) {
  struct Case {
    const char *cancel_at;  // the cancel comes while the step of this line works
    const char *next;       // the step that must not start
  } cases[] = {
      {"tekiyo.csv データベース変換中", "登録基本部マスターテーブル(m_kihon)作成"},
      {"登録基本部マスターテーブル(m_kihon)作成", "m_kihon > 有効成分１～５フィールド作成"},
  };
  qmtest::WriteFile(home / "Download" / "kihon.csv", Sj(kTinyKihon));
  qmtest::WriteFile(home / "Download" / "tekiyo.csv", Sj(kTinyTekiyo));
  qmtest::WriteFile(home / "Download" / "update.txt", Sj(kTinyPage));
  for (const Case &c : cases) {
    SCOPED_TRACE(c.cancel_at);
    TUpdateRun run(nullptr, nullptr, nullptr);
    run.SourceKind = 2;
    ui.on_pump = [&] {
      if (Has(run, c.cancel_at)) run.Abort();
    };
    run.RebuildDatabase();
    ui.on_pump = nullptr;
    EXPECT_TRUE(run.Aborted);
    EXPECT_FALSE(run.Rebuilt);
    EXPECT_TRUE(Has(run, c.cancel_at)) << Joined(run);
    EXPECT_FALSE(Has(run, c.next)) << Joined(run);
    EXPECT_FALSE(Has(run, "データ更新完了")) << Joined(run);
    EXPECT_EQ(OptionData->BuiltFromSite, 0);
    ExpectOldDatabaseKept();
  }
}

// What a build makes takes the place of acis.db only when it passes the check of a ready-made
// database against the old one: a reference table that the old database held with rows and
// the build did not make (its script nowhere at hand) fails the build, and acis.db stays as
// it was. The same files with the script build.
TEST_F(UpdateRunTest, BuildsThatLostATablesRowsKeepTheDatabase) {
  AcisDB->Db().ExecSQL("CREATE TABLE kwlists (bango, kws);");
  AcisDB->Db().ExecSQL("INSERT INTO kwlists VALUES (1, 'x');");
  // Only the copies in the data folder: the scripts' refresh fetches nothing.
  for (const auto &e : fs::directory_iterator(qmtest::SmallKit() / "scripts"))
    fs::copy_file(e.path(), home / "Download" / e.path().filename());
  InstallReferenceRefresh();
  struct TOffline {
    TOffline() { inet::OverrideConnectedState(0); }
    ~TOffline() { inet::OverrideConnectedState(-1); }
  } offline;
  qmtest::WriteFile(home / "Download" / "kihon.csv", Sj(kTinyKihon));
  qmtest::WriteFile(home / "Download" / "tekiyo.csv", Sj(kTinyTekiyo));
  qmtest::WriteFile(home / "Download" / "update.txt", Sj(kTinyPage));
  struct Case {
    const char *what;
    bool script;           // kwlists.txt at hand
    const char *why;       // in the failure (UTF-8); empty: the build takes the place
  } cases[] = {
      {"the keywords' script nowhere", false, "作成した acis.db にテーブル kwlists がありません(更新前は 1 行)"},
      {"sound", true, ""},
  };
  const fs::path script = home / "Download" / "kwlists.txt", aside = home / "kwlists.txt";
  fs::rename(script, aside);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    if (c.script && fs::exists(aside)) fs::rename(aside, script);
    TUpdateRun run(nullptr, nullptr, nullptr);
    run.SourceKind = 2;
    std::string failure;
    try {
      run.RebuildDatabase();
    } catch (const std::exception &e) {
      failure = cp932::ToUtf8(e.what());
    }
    if (*c.why == 0) {
      EXPECT_EQ(failure, "") << Joined(run);
      EXPECT_TRUE(run.Rebuilt);
      ASSERT_NE(AcisDB, nullptr);
      EXPECT_FALSE(AcisDB->TableExists("old_marker"));
      EXPECT_TRUE(AcisDB->TableExists("kwlists"));
      continue;
    }
    EXPECT_NE(failure.find(c.why), std::string::npos) << failure << "\n" << Joined(run);
    EXPECT_NE(failure.find("データベースは更新前のままです"), std::string::npos) << failure;
    EXPECT_FALSE(run.Rebuilt);
    EXPECT_FALSE(Has(run, "データ更新完了")) << Joined(run);
    ExpectOldDatabaseKept();
    EXPECT_EQ(AcisDB->Db().GetTable("SELECT count(*) FROM kwlists")->FieldAsString(0), "1");
  }
}
