#include "engine/AcisSvr.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <cstdlib>
#include <vector>

#include "engine/SQLite.h"
#include "engine/UiServices.h"
#include "engine/UpdateRun.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "platform/inet.h"
#include "support/enginefixture.h"
#include "support/sample_acisdb.h"
#include "support/testserver.h"
#include "support/testutil.h"

namespace fs = std::filesystem;
using namespace cp932::literals;
using qmtest::DbMark;
using qmtest::MarkedReadyMadeDb;
using qmtest::MTime;
using qmtest::ReadFile;
using qmtest::SetMTime;
using qmtest::TempDir;
using qmtest::TestServer;
using qmtest::WriteFile;

namespace {

constexpr long long kT0 = 1780000000;  // server files' time
constexpr long long kT1 = kT0 + 86400;

struct Lines : ILogTarget {
  std::vector<std::string> lines;
  void AddLine(const std::string &line) override { lines.push_back(cp932::ToUtf8(line)); }
  bool Has(const std::string &utf8) const {
    for (const std::string &l : lines)
      if (l == utf8) return true;
    return false;
  }
  std::string All() const {
    std::string s;
    for (const std::string &l : lines) s += l + "\n";
    return s;
  }
};

std::string P(const fs::path &p) { return cp932::FromUtf8(p.string()); }

// A zip archive holding the given files, made by the zip tool with the names in CP932 as
// the publisher's archives have them (names given in UTF-8).
std::string MakeZip(const fs::path &work, const std::vector<std::pair<std::string, std::string>> &files) {
  static int n = 0;
  fs::path dir = work / ("zip" + std::to_string(++n));
  std::string names;
  for (auto &[name, bytes] : files) {
    WriteFile(dir / cp932::FromUtf8(name), bytes);
    names += " '" + cp932::FromUtf8(name) + "'";
  }
  std::string cmd = "cd '" + dir.string() + "' && zip -q ../z" + std::to_string(n) + ".zip" + names;
  if (std::system(cmd.c_str()) != 0) throw std::runtime_error(cmd);
  return ReadFile(work / ("z" + std::to_string(n) + ".zip"));
}

// The SQL run on a raw connection, and its first value (SQLite's own checks included).
std::string RawSql(const fs::path &db, const std::string &sql) {
  sqlite3 *h = nullptr;
  std::string value;
  sqlite3_open(db.c_str(), &h);
  sqlite3_exec(
      h, sql.c_str(),
      [](void *out, int, char **values, char **) {
        if (static_cast<std::string *>(out)->empty() && values[0]) *static_cast<std::string *>(out) = values[0];
        return 0;
      },
      &value, nullptr);
  sqlite3_close(h);
  return value;
}

// The bytes of a marked ready-made database after the SQL (on a raw connection, where the
// schema may be written).
std::string ChangedReadyMadeDb(const std::string &name, const std::string &mark, const std::string &sql) {
  TempDir dir;
  WriteFile(dir / name, MarkedReadyMadeDb(name, mark));
  RawSql(dir / name, sql);
  return ReadFile(dir / name);
}

class AcisSvrTest : public ::testing::Test {
 protected:
  TestServer server;
  TempDir home;
  TOptionData saved = *OptionData;
  TDataSites saved_sites = DataSites();
  TScopedRecordingUi ui;
  Lines log;

  void SetUp() override {
    OptionData->ProgramFolder = home.str();
    OptionData->DownloadFolder = home.str() + "Download";
    OptionData->DbFolder = home.str() + "DB";
    OptionData->dirLAN = home.str() + "share";
    OptionData->UseLAN = false;
    OptionData->UseProxyAuth = false;
    OptionData->NoUpdateCheck = false;
    OptionData->DownSiteTorvDB = 1;
    OptionData->ReceiveTimeout = 2000;
    fs::create_directories(home / "Download");
    fs::create_directories(home / "DB");
    DataSites().PublisherHost = server.Url();
    for (int i = 0; i < 4; ++i) DataSites().TorvMirror[i] = server.Url("/torv" + std::to_string(i) + "/data/");
  }
  void TearDown() override {
    *OptionData = saved;
    DataSites() = saved_sites;
    inet::OverrideConnectedState(-1);
  }
  fs::path Data(const std::string &name) { return home / "Download" / name; }
  fs::path Db(const std::string &name) { return home / "DB" / name; }
  std::vector<std::string> Paths() {
    std::vector<std::string> p;
    for (const std::string &l : server.Requests()) {
      std::size_t a = l.find('\t') + 1;
      p.push_back(l.substr(a, l.find('\t', a) - a) + " " + l.substr(l.rfind('\t') + 1));
    }
    return p;
  }
};

// The publisher's CSV page in its published shape (UTF-8 with a byte-order mark).
std::string CsvPage(const std::string &extra_link = "") {
  return "\xEF\xBB\xBF<html><body>\r\n"
         "<p>令和6年12月1日までの登録・失効（変更登録を含む）反映分</p>\r\n"
         "<!-- 令和6年11月1日 反映分 -->\r\n" + extra_link +
         "<li><a href=\"/ddata/datacsv/登録基本部csv20241201.zip\" target =\"_blank\">登録基本部</a></li>\r\n"
         "<li><a href=\"/ddata/datacsv/登録適用部一csv20241201.zip\" target =\"_blank\">登録適用部一</a></li>\r\n"
         "<li><a href=\"/ddata/datacsv/登録適用部二csv20241201.zip\" target =\"_blank\">登録適用部二</a></li>\r\n"
         "</body></html>\r\n";
}

}  // namespace

TEST_F(AcisSvrTest, PublisherCsvSourceDetectsNewerPageAndFetchesNamedArchives) {
  OptionData->DownSite = 0;
  server.Put("/ddata/index2.htm", CsvPage(), kT0);
  for (const char *n : {"登録基本部csv20241201.zip", "登録適用部一csv20241201.zip", "登録適用部二csv20241201.zip"})
    server.Put(std::string("/ddata/datacsv/") + n, MakeZip(home.path(), {{"data.csv", n}}), kT0);

  TAcisSvr svr;
  EXPECT_TRUE(svr.CheckUpdate());
  // The page waits beside the saved one until its data are in place.
  EXPECT_FALSE(fs::exists(Data("update2.htm")));
  EXPECT_EQ(MTime(Data(".update2.htm.new")), kT0);
  EXPECT_EQ(P(Data(".update2.htm.new")), CurrentPagePath(0));
  TCsvFileNames names;
  ReadCsvFileNames(names);
  EXPECT_EQ(cp932::ToUtf8(names.Kihon), "登録基本部csv20241201.zip");
  EXPECT_EQ(cp932::ToUtf8(names.Tekiyo2), "登録適用部二csv20241201.zip");
  for (const char *n : {"登録基本部csv20241201.zip", "登録適用部一csv20241201.zip", "登録適用部二csv20241201.zip"})
    EXPECT_TRUE(fs::exists(Data(n))) << n;

  // Not taken in yet: the next check still finds the page new.
  EXPECT_TRUE(svr.CheckUpdate());
  CommitPendingPage(0);
  EXPECT_EQ(MTime(Data("update2.htm")), kT0);
  EXPECT_FALSE(fs::exists(Data(".update2.htm.new")));

  // Unchanged page: 304, nothing new, archives already there are not fetched again.
  server.ClearRequests();
  EXPECT_FALSE(svr.CheckUpdate());
  EXPECT_EQ(svr.StatusCode, "304");
  EXPECT_EQ(Paths(), std::vector<std::string>{"/ddata/index2.htm 304"});

  // A newer page is news.
  server.Put("/ddata/index2.htm", CsvPage(), kT1);
  EXPECT_TRUE(svr.CheckUpdate());
}

TEST_F(AcisSvrTest, ArchiveNamesFromThePageMustBePlainFileNames) {
  OptionData->DownSite = 0;
  // A page whose first link tries to climb out of the data folder; the later, plain link
  // for the same part still counts.
  std::string evil =
      "<li><a href=\"/ddata/datacsv/../../../evil.zip\" target =\"_blank\">登録適用部一</a></li>\r\n"
      "<li><a href=\"/ddata/datacsv/sub/x.zip\" target =\"_blank\">登録適用部二</a></li>\r\n";
  std::string page = CsvPage();
  page.insert(page.find("<li>"), evil);
  std::string tail = "<li><a href=\"/ddata/datacsv/a%2f..%2fb.zip\" target =\"_blank\">登録適用部二</a></li>\r\n";
  page.insert(page.find("</body>"), tail);
  WriteFile(Data("update2.htm"), page);
  TCsvFileNames names;
  ReadCsvFileNames(names);
  EXPECT_EQ(cp932::ToUtf8(names.Tekiyo1), "登録適用部一csv20241201.zip");
  EXPECT_EQ(cp932::ToUtf8(names.Tekiyo2), "登録適用部二csv20241201.zip");

  struct {
    const char *name;
    bool plain;
  } cases[] = {{"登録基本部csv.zip", true}, {"ソ表.zip", true}, {"", false},
               {"..", false},          {"a/b.zip", false},   {"a\\b.zip", false},
               {"../x.zip", false},    {"x.zip?y", false},   {"C:x.zip", false},
               {"a%2fb.zip", false},   {"a\tb.zip", false}};
  for (auto &c : cases) EXPECT_EQ(IsPlainFileName(cp932::FromUtf8(c.name)), c.plain) << c.name;
}

TEST_F(AcisSvrTest, PublisherExcelSourceFetchesPartsWithLzhUnderZipNames) {
  OptionData->DownSite = 1;
  server.Put("/ddata/index.htm", "<p>反映分</p>", kT0);
  server.Put("/ddata/data/登録基本部.zip", MakeZip(home.path(), {{"登録基本部.xls", "k"}}), kT0);
  for (const char *n : {"登録適用部一", "登録適用部二", "登録適用部三"})
    server.Put(std::string("/ddata/data/") + n + ".lzh", std::string("lzh of ") + n, kT0);
  server.Put("/ddata/data/登録適用部四.zip", "four", kT0);
  WriteFile(Data("登録適用部三.zip"), "already here");

  TAcisSvr svr;
  EXPECT_TRUE(svr.CheckUpdate());
  EXPECT_EQ(ReadFile(Data("登録適用部一.zip")), "lzh of 登録適用部一");
  EXPECT_EQ(ReadFile(Data("登録適用部三.zip")), "already here");
  EXPECT_EQ(ReadFile(Data("登録適用部四.zip")), "four");
  std::string out;
  EXPECT_TRUE(ExtractArchive(P(Data("登録基本部.zip")), P(home / "Download"), out));
  EXPECT_EQ(ReadFile(Data("登録基本部.xls")), "k");
}

TEST_F(AcisSvrTest, MakersCsvSetFetchesUpdateTextAndMissingArchive) {
  OptionData->DownSite = 2;
  server.Put("/torv1/data/update.txt", cp932::FromUtf8("本ファイルは、「令和6年12月1日」分を反映した農薬登録情報です。\r\n"), kT0);
  server.Put("/torv1/data/toroku.zip", MakeZip(home.path(), {{"kihon.csv", "k"}, {"tekiyo.csv", "t"}}), kT0);
  TAcisSvr svr;
  EXPECT_TRUE(svr.CheckUpdate());
  EXPECT_FALSE(fs::exists(Data("toroku.zip"))) << "a new update text leaves the archive to the update";
  CommitPendingPage(2);

  // Unchanged update text, archive missing: it is fetched now.
  EXPECT_FALSE(svr.CheckUpdate());
  EXPECT_TRUE(fs::exists(Data("toroku.zip")));
  server.ClearRequests();
  EXPECT_FALSE(svr.CheckUpdate());
  EXPECT_EQ(Paths(), std::vector<std::string>{"/torv1/data/update.txt 304"});
}

TEST_F(AcisSvrTest, ReadyMadeDatabasesAreFetchedCheckedAndUnpacked) {
  OptionData->DownSite = 3;
  server.Put("/torv1/data/acis.zip", MakeZip(home.path(), {{"acis.db", MarkedReadyMadeDb("acis.db", "acis 1")}}), kT0);
  server.Put("/torv1/data/spec.zip", MakeZip(home.path(), {{"spec.db", MarkedReadyMadeDb("spec.db", "spec 1")}}), kT0);

  CheckDbUpdate(&log);
  EXPECT_EQ(DbMark(Db("acis.db")), "acis 1");
  EXPECT_EQ(DbMark(Db("spec.db")), "spec 1");
  EXPECT_TRUE(log.Has("SQLiteDB データ更新確認...")) << log.All();
  EXPECT_TRUE(log.Has(server.Url("/torv1/data/acis.zip")));
  EXPECT_TRUE(log.Has("200 OK"));
  EXPECT_TRUE(log.Has("acis.db 更新"));
  EXPECT_TRUE(log.Has("spec.db 更新"));

  // Unchanged on the server: acis.zip is not fetched, spec.zip answers 304.
  log.lines.clear();
  server.ClearRequests();
  CheckDbUpdate(&log);
  EXPECT_EQ(Paths(), (std::vector<std::string>{"/torv1/data/acis.zip 304", "/torv1/data/spec.zip 304"}));
  EXPECT_EQ(std::count(log.lines.begin(), log.lines.end(), "304 Not Modified"), 2) << log.All();
  EXPECT_FALSE(log.Has("acis.db 更新"));

  // Newer acis.zip: the user is asked; Cancel fetches nothing, OK fetches and unpacks.
  server.Put("/torv1/data/acis.zip", MakeZip(home.path(), {{"acis.db", MarkedReadyMadeDb("acis.db", "acis 2")}}), kT1);
  ui.answers = {IDCANCEL};
  CheckDbUpdate(&log);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(cp932::ToUtf8(ui.boxes[0].text), "新しい acis.db があります。\r\nデータを更新します");
  EXPECT_EQ(DbMark(Db("acis.db")), "acis 1");
  ui.answers = {IDOK};
  CheckDbUpdate(&log);
  EXPECT_EQ(DbMark(Db("acis.db")), "acis 2");
}

TEST_F(AcisSvrTest, ReadyMadeDatabaseFailuresKeepTheOldDatabase) {
  OptionData->DownSite = 4;
  OptionData->UserSite = server.Url("/mine/");
  OptionData->NoUpdateCheck = true;
  WriteFile(Db("acis.db"), "old acis");
  // A body that is not an archive: the extraction fails, the database stays, and the
  // archive is dropped so that the next check fetches it again.
  server.Put("/mine/acis.zip", "<html>maintenance</html>", kT0);
  server.SetFaults("/mine/spec.zip truncate\n");
  server.Put("/mine/spec.zip", MakeZip(home.path(), {{"spec.db", std::string(50000, 's')}}), kT0);
  CheckDbUpdate(&log);
  EXPECT_EQ(ReadFile(Db("acis.db")), "old acis");
  EXPECT_FALSE(fs::exists(Data("acis.zip")));
  EXPECT_TRUE(log.Has(cp932::ToUtf8(P(Data("acis.zip"))) + " 解凍失敗")) << log.All();
  EXPECT_FALSE(fs::exists(Db("spec.db")));
  EXPECT_FALSE(fs::exists(Data("spec.zip"))) << "a body cut short is not stored";
  // The log says why, never "200 OK" for a body cut short.
  const auto spec_url = std::find(log.lines.begin(), log.lines.end(), server.Url("/mine/spec.zip"));
  ASSERT_NE(spec_url, log.lines.end());
  ASSERT_NE(spec_url + 1, log.lines.end());
  EXPECT_EQ(spec_url[1].rfind("受信が途中で止まりました", 0), 0u) << log.All();

  // Nothing answers at all: the first check says so and spec.zip is not tried.
  log.lines.clear();
  WriteFile(Data("acis.zip"), "local");
  OptionData->UserSite = "http://127.0.0.1:1/";
  CheckDbUpdate(&log);
  EXPECT_TRUE(log.Has("StatusCode なし サーバ接続失敗!")) << log.All();
  EXPECT_FALSE(log.Has("http://127.0.0.1:1/spec.zip"));

  log.lines.clear();
  inet::OverrideConnectedState(0);
  CheckDbUpdate(&log);
  EXPECT_EQ(log.lines.back(), "インターネット接続なし。更新確認省略...");
}

// A fetched or copied archive whose database is not whole never takes the old one's place:
// the log names the archive, the database and the cause, the archive goes (so that the next
// check fetches or copies it again), and the database in place stays as it was. The other
// archive, whole, is put in place all the same.
TEST_F(AcisSvrTest, ReadyMadeDatabasesThatAreNotWholeKeepTheOldOnes) {
  OptionData->DownSite = 3;
  OptionData->NoUpdateCheck = true;
  TempDir made;
  {
    TSQLiteDb x(P(made / "x.db"));
    x.ExecSQL("CREATE TABLE x (a);");
  }
  const std::string bad_index = ChangedReadyMadeDb(
      "acis.db", "new",
      "DROP INDEX IF EXISTS idxTekiyoSakumotsu; CREATE INDEX idxTekiyoSakumotsu ON m_tekiyo (bango);"
      "PRAGMA writable_schema = ON; UPDATE sqlite_master SET sql = 'CREATE INDEX idxTekiyoSakumotsu ON m_tekiyo "
      "(sakumotsu)' WHERE name = 'idxTekiyoSakumotsu';");
  WriteFile(made / "bad_index.db", bad_index);
  ASSERT_EQ(RawSql(made / "bad_index.db", "PRAGMA quick_check"), "ok");
  ASSERT_NE(RawSql(made / "bad_index.db", "PRAGMA integrity_check"), "ok");
  struct Case {
    const char *what;
    bool shared;           // from the shared folder, else from the mirror
    std::string acis, spec;  // the databases in the archives
    const char *acis_mark, *spec_mark;
    std::string failed, why;  // the archive that failed, what the log says of it (UTF-8)
  } cases[] = {
      {"fetched acis.db of junk text", false, "not a database at all", MarkedReadyMadeDb("spec.db", "new"), "old",
       "new", "acis.zip", "acis.db はデータベースとして開けません (file is not a database)"},
      {"copied spec.db holding a table x alone", true, MarkedReadyMadeDb("acis.db", "new"), ReadFile(made / "x.db"),
       "new", "old", "spec.zip", "spec.db にテーブル bunrui がありません"},
      // The crop index holds the registration numbers: the quick check finds nothing wrong,
      // and the crop search would list numbers as crops.
      {"fetched acis.db whose index disagrees with its table", false, bad_index, MarkedReadyMadeDb("spec.db", "new"),
       "old", "new", "acis.zip", "acis.db は壊れています (integrity_check: "},
      {"copied acis.db without a reference table the old one held", true,
       ChangedReadyMadeDb("acis.db", "new", "DROP TABLE seizai;"), MarkedReadyMadeDb("spec.db", "new"), "old", "new",
       "acis.zip", "acis.db にテーブル seizai がありません(更新前は "},
      {"fetched acis.db with that table emptied", false, ChangedReadyMadeDb("acis.db", "new", "DELETE FROM seizai;"),
       MarkedReadyMadeDb("spec.db", "new"), "old", "new", "acis.zip", "acis.db のテーブル seizai にレコードがありません(更新前は "},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    for (const char *f : {"acis.zip", "spec.zip"}) fs::remove(Data(f));
    WriteFile(Db("acis.db"), MarkedReadyMadeDb("acis.db", "old"));
    WriteFile(Db("spec.db"), MarkedReadyMadeDb("spec.db", "old"));
    log.lines.clear();
    OptionData->UseLAN = c.shared;
    const std::string acis = MakeZip(home.path(), {{"acis.db", c.acis}}), spec = MakeZip(home.path(), {{"spec.db", c.spec}});
    if (c.shared) {
      WriteFile(home / "share" / "acis.zip", acis);
      WriteFile(home / "share" / "spec.zip", spec);
      UpdateFromSharedFolder(&log);
    } else {
      server.Put("/torv1/data/acis.zip", acis, kT0);
      server.Put("/torv1/data/spec.zip", spec, kT0);
      CheckDbUpdate(&log);
    }
    EXPECT_EQ(DbMark(Db("acis.db")), c.acis_mark);
    EXPECT_EQ(DbMark(Db("spec.db")), c.spec_mark);
    const std::string archive = cp932::ToUtf8(P(Data(c.failed)));
    EXPECT_TRUE(std::any_of(log.lines.begin(), log.lines.end(),
                            [&](const std::string &l) { return l.rfind(archive + ": " + c.why, 0) == 0; }))
        << log.All();
    EXPECT_TRUE(log.Has(archive + " 解凍失敗")) << log.All();
    EXPECT_FALSE(fs::exists(Data(c.failed)));
    for (const auto &e : fs::directory_iterator(home / "DB"))
      EXPECT_NE(e.path().filename().string().front(), '.') << e.path();
  }
}

// An archive places only the database it is named for, after its check: from acis.zip only
// acis.db, from spec.zip only spec.db. Anything else it holds (the other database, another
// program's database, junk) is logged and never placed, at the start-up refresh and in the
// update alike. The update places both databases or neither.
TEST_F(AcisSvrTest, ArchivesPlaceOnlyTheirOwnDatabase) {
  qmtest::ScopedEngineState state;
  TAcisDB::ReferenceRefresh = nullptr;
  OptionData->DownSite = 3;
  OptionData->NoUpdateCheck = true;
  const std::string junk = "not a database at all";
  using Entries = std::vector<std::pair<std::string, std::string>>;
  struct Case {
    const char *what;
    Entries acis_zip, spec_zip;
    const char *open_acis, *open_spec;      // the marks after the start-up refresh
    const char *update_acis, *update_spec;  // and after the update
    std::vector<std::string> unplaced;      // "<archive>: <entry>" of the log (UTF-8)
  } cases[] = {
      {"spec.zip holding junk as acis.db",
       {{"acis.db", MarkedReadyMadeDb("acis.db", "new")}},
       {{"spec.db", MarkedReadyMadeDb("spec.db", "new")}, {"acis.db", junk}},
       "new", "new", "new", "new", {"spec.zip: acis.db"}},
      {"acis.zip holding junk as spec.db, spec.zip refused",
       {{"acis.db", MarkedReadyMadeDb("acis.db", "new")}, {"spec.db", junk}},
       {{"spec.db", ChangedReadyMadeDb("spec.db", "new", "DROP TABLE cvo;")}},
       "new", "old", "old", "old", {"acis.zip: spec.db"}},
      {"acis.zip holding a jpp.db and a folder",
       {{"acis.db", MarkedReadyMadeDb("acis.db", "new")}, {"jpp.db", junk}, {"sub/acis.db", junk}},
       {{"spec.db", MarkedReadyMadeDb("spec.db", "new")}},
       "new", "new", "new", "new", {"acis.zip: jpp.db", "acis.zip: sub"}},
  };
  for (const Case &c : cases) {
    server.Put("/torv1/data/acis.zip", MakeZip(home.path(), c.acis_zip), kT0);
    server.Put("/torv1/data/spec.zip", MakeZip(home.path(), c.spec_zip), kT0);
    for (const bool update : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (update ? ", in the update" : ", at the open"));
      AcisDBOwner().Close();
      for (const char *f : {"acis.zip", "spec.zip"}) fs::remove(Data(f));
      WriteFile(Db("acis.db"), MarkedReadyMadeDb("acis.db", "old"));
      WriteFile(Db("spec.db"), MarkedReadyMadeDb("spec.db", "old"));
      std::vector<std::string> lines;
      if (update) {
        AcisDBOwner().Reopen(P(Db("acis.db")), nullptr);
        TUpdateRun run(nullptr, nullptr, nullptr);
        run.MirrorIndex = 1;
        run.RunAutoUpdate();
        for (const std::string &l : run.Lines()) lines.push_back(cp932::ToUtf8(l));
      } else {
        log.lines.clear();
        CheckDbUpdate(&log);
        lines = log.lines;
      }
      std::string all;
      for (const std::string &l : lines) all += l + "\n";
      EXPECT_EQ(DbMark(Db("acis.db")), update ? c.update_acis : c.open_acis) << all;
      EXPECT_EQ(DbMark(Db("spec.db")), update ? c.update_spec : c.open_spec) << all;
      EXPECT_FALSE(fs::exists(Db("jpp.db")));
      EXPECT_FALSE(fs::exists(Db("sub")));
      for (const std::string &entry : c.unplaced) {
        const std::string start = cp932::ToUtf8(P(home / "Download")) + "/" + entry + " は置きません";
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string &l) { return l.rfind(start, 0) == 0; }))
            << start << "\n" << all;
      }
      for (const auto &e : fs::directory_iterator(home / "DB"))
        EXPECT_NE(e.path().filename().string().front(), '.') << e.path();
    }
  }
  AcisDBOwner().Close();
}

TEST_F(AcisSvrTest, SharedFolderCopiesNewerArchivesAndChecksPages) {
  OptionData->UseLAN = true;
  fs::path share = home / "share";
  WriteFile(share / "acis.zip", MakeZip(home.path(), {{"acis.db", MarkedReadyMadeDb("acis.db", "lan acis")}}));
  SetMTime(share / "acis.zip", kT0);
  UpdateFromSharedFolder(&log);
  EXPECT_EQ(DbMark(Db("acis.db")), "lan acis");
  EXPECT_EQ(MTime(Data("acis.zip")), kT0);
  EXPECT_EQ(log.lines, (std::vector<std::string>{"acis.zip 更新あり", "spec.zip 更新なし"}));
  log.lines.clear();
  UpdateFromSharedFolder(&log);
  EXPECT_EQ(log.lines, (std::vector<std::string>{"acis.zip 更新なし", "spec.zip 更新なし"}));

  OptionData->DownSite = 0;
  TAcisSvr svr;
  svr.LogMemo = &log;
  log.lines.clear();
  EXPECT_FALSE(svr.CheckUpdate());
  EXPECT_EQ(log.lines.at(0), "共有フォルダ " + cp932::ToUtf8(P(share)) + "/update2.htm 検索失敗...");
  WriteFile(share / "update2.htm", CsvPage());
  SetMTime(share / "update2.htm", kT0);
  log.lines.clear();
  EXPECT_TRUE(svr.CheckUpdate());
  EXPECT_EQ(log.lines.at(0), "共有フォルダ " + cp932::ToUtf8(P(share)) + "/update2.htm 更新確認 コピー先:" +
                                 cp932::ToUtf8(P(Data("update2.htm"))) + " なし");
  EXPECT_TRUE(svr.CheckUpdate()) << "not taken in yet";
  CommitPendingPage(0);
  EXPECT_FALSE(svr.CheckUpdate());
  EXPECT_FALSE(fs::exists(Data(".update2.htm.new")));
}

// A page that tells no data date is no answer to the check, from the shared folder as from
// the server: the check fails with the source and the cause, and keeps nothing of it. A
// saved page of that kind goes, so that the next check asks for the page again.
TEST_F(AcisSvrTest, PagesWithoutADateFailTheCheck) {
  const std::string good = "本ファイルは、「令和8年11月30日」分を反映した農薬登録情報です。\r\n";
  const std::string html = "<html><body><h1>メンテナンス中</h1></body></html>\r\n";
  struct Case {
    const char *what;
    int kind;
    bool shared;
    std::string offered;  // UTF-8; the page the source offers
    std::string saved;    // the saved page before ("" none)
    const char *why;
  } cases[] = {
      {"empty text, shared", 2, true, "", good, "ファイルが空です"},
      {"blank lines, shared", 2, true, "\r\n\r\n", good, "ファイルが空です"},
      {"a web page, shared", 2, true, html, good, "データの日付が書かれていません"},
      {"no date, online", 2, false, "2026/11/30\r\n", good, "データの日付が書かれていません"},
      {"the publisher's page without its date line", 0, true, "<html><body><p>登録基本部</p></body></html>", "",
       "データの日付が書かれていません"},
      {"the publisher's page blank, online", 0, false, "\r\n", "", "ファイルが空です"},
      {"a damaged saved page, nothing newer", 2, false, good, html, "データの日付が書かれていません"},
      {"a date damaged on its way, shared", 2, true, "本ファイルは、「令遭a8年11月30日」分を反映した農薬登録情報です。\r\n",
       good, "データの日付が読めません(令遭a8年11月30日反映)"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    OptionData->DownSite = static_cast<std::uint8_t>(c.kind);
    OptionData->UseLAN = c.shared;
    const std::string name = c.kind == 0 ? "update2.htm" : "update.txt";
    const std::string source = c.shared ? cp932::ToUtf8(P(home / "share" / name))
                                         : server.Url(c.kind == 0 ? "/ddata/index2.htm" : "/torv1/data/update.txt");
    fs::remove(Data(name));
    if (!c.saved.empty()) {
      WriteFile(Data(name), cp932::FromUtf8(c.saved));
      SetMTime(Data(name), c.saved == good ? kT0 : kT1);
    }
    WriteFile(home / "share" / name, cp932::FromUtf8(c.offered));
    SetMTime(home / "share" / name, kT1);
    server.Put(c.kind == 0 ? "/ddata/index2.htm" : "/torv1/data/update.txt", cp932::FromUtf8(c.offered), kT1);
    TAcisSvr svr;
    EXPECT_FALSE(svr.CheckUpdate());
    EXPECT_TRUE(svr.CheckFailed);
    EXPECT_EQ(cp932::ToUtf8(svr.ErrorText).rfind((c.shared ? "共有フォルダ " : "") + source + ": " + c.why, 0), 0u)
        << cp932::ToUtf8(svr.ErrorText);
    EXPECT_NE(cp932::ToUtf8(svr.ErrorText).find("再実行してください"), std::string::npos);
    EXPECT_FALSE(fs::exists(Data("." + name + ".new")));
    // A sound saved page stays; a damaged one goes.
    EXPECT_EQ(fs::exists(Data(name)), c.saved == good);
  }
}

TEST_F(AcisSvrTest, DownloadTakesProxyAndTimeoutsFromTheSettings) {
  server.SetFaults("proxyauth taro:pw\n/slow.bin stall 4\n");
  server.Put("/x.bin", "payload", kT0);
  server.Put("/slow.bin", std::string(10000, 'z'), kT0);
  OptionData->UseProxyAuth = true;
  OptionData->ProxyManual = true;
  OptionData->ProxyName = "127.0.0.1:" + std::to_string(server.port());
  OptionData->ProxyUsername = "taro";
  OptionData->ProxyPassword = "pw";
  TAcisSvr svr;
  EXPECT_TRUE(svr.Download("https://publisher.test/x.bin", P(Data("x.bin"))));
  EXPECT_EQ(ReadFile(Data("x.bin")), "payload");
  EXPECT_EQ(svr.LastModified, "Thu, 28 May 2026 20:26:40 GMT");

  OptionData->UseProxyAuth = false;
  OptionData->ReceiveTimeout = 1500;
  TAcisSvr direct;
  EXPECT_FALSE(direct.Download(server.Url("/slow.bin"), P(Data("slow.bin"))));
  EXPECT_EQ(direct.LastError, 12205u);
  EXPECT_EQ(InetErrorName(direct.LastError), "INET_ERROR_READ_FILE");
  EXPECT_EQ(InetErrorName(0), "");
}

TEST(AcisSvrTexts, HttpDateToDateTimeIsUtc) {
  EXPECT_EQ(HttpDateToDateTime("Wed, 09 Dec 2026 01:02:03 GMT"), 1796778123);
  std::time_t now = std::time(nullptr);
  for (const char *bad : {"", "Wed, 09 Foo 2026 01:02:03 GMT", "garbage"})
    EXPECT_NEAR(static_cast<double>(HttpDateToDateTime(bad)), static_cast<double>(now), 2) << bad;
}

TEST(AcisSvrTexts, ExtractDataAsOfText) {
  struct {
    const char *in, *out;
  } cases[] = {
      {"本ファイルは、「令和6年11月30日」分を反映した農薬登録情報です。",
       "2024年11月30日反映"},
      {"'平成31年4月30日'分を反映した農薬登録情報です。", "2019年4月30日反映"},
      {"令和元年5月1日分を反映した農薬登録情報です。", "2019年5月1日反映"},
      {"<p>令和6年12月1日までの登録・失効（変更登録を含む）反映分</p>",
       "令和6年12月1日までの登録・失効及び変更登録を含む反映"},
      {"<!-- 令和6年11月1日 反映分 -->", "更新日不明"},
      {"no marker here", "更新日不明"},
  };
  for (auto &c : cases)
    EXPECT_EQ(cp932::ToUtf8(ExtractDataAsOfText(cp932::FromUtf8(c.in))), c.out) << c.in;
}

// The date a page tells compares with the one the database gives back: a character CP932
// writes two ways, and a lead byte without its second byte, read as they are stored. Every
// era and form the sources write reads as a date; a year the era lost does not.
TEST(AcisSvrTexts, PageDatesReadAsTheDatabaseKeepsThem) {
  TempDir d;
  // The line in program text; the publisher's page is UTF-8.
  auto date = [&](int kind, const std::string &line) {
    WriteFile(d / "page", (kind == 0 ? cp932::ToUtf8(line) : line) + "\r\n");
    return std::make_pair(PageDataAsOf(P(d / "page"), kind), PageDamage(P(d / "page"), kind));
  };
  const std::string head = cp932::FromUtf8("本ファイルは、「令和8年11月30日」分を反映した農薬登録情報です。");
  const auto nec = date(2, head + "\xEE\xE0"), ibm = date(2, head + "\xFB\xFC");
  EXPECT_EQ(nec.first, ibm.first);
  EXPECT_EQ(nec.first, StoredText(ExtractDataAsOfText(head + "\xEE\xE0")));
  EXPECT_EQ(date(2, head + "\xED\x95").first, date(2, head + "\xFA\xB1").first);
  EXPECT_EQ(cp932::ToUtf8(date(2, head + "\x81").first), "2026年11月30日反映?");
  for (const auto &[kind, line] : std::vector<std::pair<int, std::string>>{
           {2, "本ファイルは、「令和元年5月1日」分を反映した農薬登録情報です。"},
           {2, "'平成31年4月30日'分を反映した農薬登録情報です。"},
           {0, "<p>サンプルデータ　令和8年11月30日反映分（11月30日付け失効も反映しています）</p>"},
           {0, "<p>令和元年5月1日反映分</p>"},
           {0, "<p>2026年1月5日反映分</p>"},
           // Digits and blanks of either width.
           {0, "<p>令和８年１１月３０日反映分</p>"},
           {0, "<p>２０２６年１１月３０日反映分</p>"},
           {0, "<p>令和 8年11月30日反映分</p>"},
           {2, "本ファイルは、「令和　８年１２月 １日」分を反映した農薬登録情報です。"}})
    EXPECT_EQ(date(kind, cp932::FromUtf8(line)).second, "") << line;
  for (const char *line : {"<p>令遭a8年11月30日反映分</p>", "<p>8年11月30日反映分</p>", "<p>令和8年11月反映分</p>",
                           "<p>令和年11月30日反映分</p>", "<p>令和8年13月30日反映分</p>", "<p>令和8年0月30日反映分</p>",
                           "<p>令和８年１１月３２日反映分</p>", "<p>令和8年1 1月30日反映分</p>"})
    EXPECT_NE(cp932::ToUtf8(date(0, cp932::FromUtf8(line)).second).find("データの日付が読めません"), std::string::npos)
        << line;
}

TEST(AcisSvrTexts, IsNewerFileAndSites) {
  TempDir d;
  WriteFile(d / "a", "a");
  WriteFile(d / "b", "b");
  SetMTime(d / "a", kT0);
  SetMTime(d / "b", kT0);
  std::string msg;
  EXPECT_FALSE(IsNewerFile(P(d / "a"), P(d / "b"), msg));
  EXPECT_EQ(cp932::ToUtf8(msg), "更新なし");
  SetMTime(d / "a", kT1);
  EXPECT_TRUE(IsNewerFile(P(d / "a"), P(d / "b"), msg));
  EXPECT_EQ(msg, P(d / "a") + " > " + P(d / "b"));
  EXPECT_FALSE(IsNewerFile(P(d / "none"), P(d / "b"), msg));
  EXPECT_EQ(msg, "コピー元:"_sj + P(d / "none") + " なし"_sj);
  EXPECT_TRUE(IsNewerFile(P(d / "a"), P(d / "none"), msg));
  EXPECT_EQ(msg, "コピー先:"_sj + P(d / "none") + " なし"_sj);

  TDataSites saved = DataSites();
  for (int i = 0; i < 4; ++i) DataSites().TorvMirror[i] = "m" + std::to_string(i);
  EXPECT_EQ(GetTorvSiteUrl(0), "m0");
  EXPECT_EQ(GetTorvSiteUrl(2), "m2");
  EXPECT_EQ(GetTorvSiteUrl(3), "m3");
  EXPECT_EQ(GetTorvSiteUrl(7), "m3");
  DataSites() = saved;
  EXPECT_EQ(JoinPath("a/", "b"), "a/b");
  EXPECT_EQ(JoinPath("a", "b"), "a/b");
  EXPECT_EQ(JoinPath("ソ"_sj, "b"), "ソ/b"_sj) << "a trail byte 0x5C is no separator";
}
