#include <gtest/gtest.h>

#include <algorithm>

#include "engine/AcisSvr.h"
#include "engine/SqlFunctions.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "support/testserver.h"
#include "support/enginefixture.h"
#include "support/testutil.h"

namespace fs = std::filesystem;
using namespace cp932::literals;
using qmtest::MTime;
using qmtest::TempDir;
using qmtest::TestServer;
using qmtest::WriteFile;

namespace {

constexpr long long kT0 = 1780000000;

struct Lines : ILogTarget {
  std::vector<std::string> lines;
  void AddLine(const std::string &line) override { lines.push_back(cp932::ToUtf8(line)); }
  bool Has(const std::string &utf8) const {
    return std::find(lines.begin(), lines.end(), utf8) != lines.end();
  }
};

class RefreshTest : public ::testing::Test {
 protected:
  TestServer server;
  TempDir home;
  qmtest::ScopedEngineState state;
  TScopedRecordingUi ui;
  Lines log;

  void SetUp() override {
    OptionData->DbFolder = home.str() + "DB";
    OptionData->DownloadFolder = home.str() + "Download";
    OptionData->BuiltFromSite = 0;
    OptionData->UseLAN = false;
    OptionData->DownSiteTorvDB = 2;
    fs::create_directories(home / "DB");
    fs::create_directories(home / "Download");
    for (int i = 0; i < 4; ++i) DataSites().TorvMirror[i] = server.Url("/m" + std::to_string(i) + "/");
    InstallReferenceRefresh();
    TSQLiteDb::FunctionRegistrar = &RegisterSqlFunctions;
  }
  // A script as the data service publishes it: CP932, or UTF-8 when its name says so.
  void Script(const std::string &name, const std::string &utf8_sql, long long mtime = kT0) {
    bool utf8 = name.find(".utf8.") != std::string::npos;
    server.Put("/m2/" + name, utf8 ? utf8_sql : cp932::FromUtf8(utf8_sql), mtime);
  }
  std::unique_ptr<TAcisDB> Open() {
    log.lines.clear();
    return std::make_unique<TAcisDB>(cp932::FromUtf8((home / "DB" / "acis.db").string()), &log);
  }
  std::string Value(TAcisDB &db, const std::string &sql) {
    auto t = db.Db().GetTable(sql);
    return t->Eof() ? std::string("<none>") : cp932::ToUtf8(t->FieldAsString(0));
  }
  int Requests(const std::string &path) {
    int n = 0;
    for (const std::string &l : server.Requests()) n += l.find("\t" + path + "\t") != std::string::npos;
    return n;
  }
};

}  // namespace

TEST_F(RefreshTest, ScriptsRunWhenNewOrTheirTableIsMissing) {
  Script("spec.bunrui.txt", "drop table if exists spec.bunrui;\r\ncreate table spec.bunrui (seibun, kokaid);\r\n");
  // The one UTF-8 script, with characters CP932 holds only in its NEC and IBM rows.
  Script("spec.cvo.utf8.txt", "drop table if exists spec.cvo;\ncreate table spec.cvo (name);\n"
                              "insert into spec.cvo values ('①㍑ソ');\n");
  auto db = Open();
  EXPECT_TRUE(log.Has("spec.bunrui 更新"));
  EXPECT_TRUE(log.Has("spec.cvo 更新"));
  EXPECT_TRUE(log.Has(server.Url("/m2/spec.bunrui.txt")));
  EXPECT_TRUE(log.Has("200 OK"));
  EXPECT_EQ(Value(*db, "select name from spec.cvo"), "①㍑ソ");
  EXPECT_EQ(MTime(home / "Download" / "spec.cvo.utf8.txt"), kT0);

  // Current copies and tables present: nothing runs.
  db.reset();
  db = Open();
  EXPECT_FALSE(log.Has("spec.bunrui 更新"));
  EXPECT_FALSE(log.Has("spec.cvo 更新"));
  EXPECT_TRUE(log.Has("304 Not Modified"));

  // A missing table runs its script again from the local copy.
  db->ExecSQL("drop table spec.cvo;");
  db.reset();
  db = Open();
  EXPECT_TRUE(log.Has("spec.cvo 更新"));
  EXPECT_FALSE(log.Has("spec.bunrui 更新"));
  EXPECT_EQ(Value(*db, "select name from spec.cvo"), "①㍑ソ");
}

TEST_F(RefreshTest, AFailedScriptRunsAgainAtTheNextOpen) {
  // Fails part-way: the table exists afterwards, so a present table alone would never
  // bring the script back.
  Script("acis.seizai.txt", "create table if not exists seizai (a);\r\ninsert into nowhere values (1);\r\n");
  auto db = Open();
  ASSERT_EQ(ui.reports.size(), 1u);
  EXPECT_EQ(cp932::ToUtf8(ui.reports[0].caption), "SQL エラー");
  EXPECT_NE(cp932::ToUtf8(ui.reports[0].title).find("acis.seizai.txt SQL実行"), std::string::npos);
  EXPECT_FALSE(log.Has("acis.seizai 更新"));
  db.reset();

  server.ClearRequests();
  db = Open();
  EXPECT_EQ(Requests("/m2/acis.seizai.txt"), 1);
  EXPECT_EQ(ui.reports.size(), 2u) << "fetched and run again";
  db.reset();

  Script("acis.seizai.txt", "create table if not exists seizai (a);\r\ninsert into seizai values (1);\r\n");
  db = Open();
  EXPECT_TRUE(log.Has("acis.seizai 更新"));
  db.reset();
  db = Open();
  EXPECT_FALSE(log.Has("acis.seizai 更新"));
}

TEST_F(RefreshTest, OldFracTablesGoAndReadyMadeDatabasesAreLeftAlone) {
  {
    auto db = Open();
    db->ExecSQL("create table spec.frac_code (a); create table spec.frac_sayoten (a);");
  }
  auto db = Open();
  EXPECT_EQ(Value(*db, "select count(*) from spec.sqlite_master where name like 'frac%'"), "0");
  db.reset();

  OptionData->BuiltFromSite = 3;
  server.ClearRequests();
  db = Open();
  EXPECT_TRUE(server.Requests().empty());
}

TEST_F(RefreshTest, BunruiRefreshRecomputesProductEffects) {
  Script("spec.bunrui.txt",
         "drop table if exists spec.bunrui;\r\n"
         "create table spec.bunrui (seibun, kokaid);\r\n"
         "insert into spec.bunrui values ('A', 1), ('B', 4);\r\n"
         "drop table if exists spec.koka;\r\n"
         "create table spec.koka (kokaid, koka);\r\n"
         "insert into spec.koka values (1, '殺虫'), (4, '殺菌'), (8, '展着');\r\n");
  {
    TSQLiteDb raw(cp932::FromUtf8((home / "DB" / "acis.db").string()));
    raw.MultiStatement = true;
    raw.ExecSQL("create table m_kihon (bango, seibun1, seibun2, seibun3, seibun4, seibun5, koka);"
                "insert into m_kihon values (1, 'A', 'B', null, null, null, null);"
                "insert into m_kihon values (2, 'Z', null, null, null, null, null);");
  }
  auto db = Open();
  EXPECT_TRUE(log.Has("m_kihon koka 更新"));
  EXPECT_EQ(Value(*db, "select koka from m_kihon where bango = 2"), "展着");
  std::string k1 = Value(*db, "select koka from m_kihon where bango = 1");
  EXPECT_NE(k1.find("殺虫"), std::string::npos) << k1;
  EXPECT_NE(k1.find("殺菌"), std::string::npos) << k1;
}

// A newer copy that is damaged never costs a table its rows: the script runs as one
// transaction, and a statement that fails, a table it leaves missing, or one it leaves empty
// where it had rows rolls back everything it did (its own BEGIN and COMMIT included), in
// acis.db and in spec.db alike. The failure is logged with the script and the cause, and the
// next open fetches and runs the script again; the sound copy then goes through.
TEST_F(RefreshTest, AFailedRefreshKeepsItsTableAndRows) {
  struct Case {
    const char *what, *file, *table, *damaged, *cause;
  } cases[] = {
      {"cut inside a statement", "sakumotsu.txt", "m_sakumotsu",
       "drop table if exists m_sakumotsu;\r\ncreate table m_sakumotsu (a);\r\ninsert into m_sakumotsu values (1),(",
       "SQL実行失敗"},
      {"cut at a statement's end", "acis.seizai.txt", "seizai",
       "drop table if exists seizai;\r\ncreate table seizai (a);\r\n", "実行後の seizai が空です(実行前 3 行)"},
      {"the table dropped and not made again", "kwlists.txt", "kwlists", "drop table if exists kwlists;\r\n",
       "実行後に kwlists がありません"},
      {"not SQL at all", "kwlists.txt", "kwlists", "this is not sql;\r\n", "SQL実行失敗"},
      {"its own transaction committed before the failure", "acis.seizai.txt", "seizai",
       "begin transaction;\r\ndrop table if exists seizai;\r\ncommit;\r\ncreate table seizai (a);\r\n"
       "insert into nowhere values (1);\r\n",
       "SQL実行失敗"},
      {"a table of spec.db cut", "spec.iso.txt", "iso",
       "drop table if exists spec.iso;\r\ncreate table spec.iso (a);\r\ninsert into spec.iso values (1),(", "SQL実行失敗"},
  };
  // m_sakumotsu and m_byochu are refreshed at the open only where the applications are.
  {
    TSQLiteDb raw(cp932::FromUtf8((home / "DB" / "acis.db").string()));
    raw.ExecSQL("create table m_tekiyo (bango);");
  }
  long long t = kT0;  // each copy newer than the one before
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const std::string table = std::string(c.file).rfind("spec.", 0) == 0 ? std::string("spec.") + c.table : c.table;
    const std::string sound = "drop table if exists " + table + ";\r\ncreate table " + table + " (a);\r\ninsert into " +
                              table + " values (1),(2),(3);\r\n";
    Script(c.file, sound, t += 60);
    Open().reset();
    Script(c.file, c.damaged, t += 60);
    ui.reports.clear();
    auto db = Open();
    EXPECT_EQ(Value(*db, "select count(*) from " + table), "3");
    EXPECT_EQ(Value(*db, "select group_concat(a) from " + table), "1,2,3");
    ASSERT_EQ(db->RefreshFailures().size(), 1u);
    const std::string failure = cp932::ToUtf8(db->RefreshFailures()[0]);
    EXPECT_NE(failure.find(c.file), std::string::npos) << failure;
    EXPECT_NE(failure.find(c.cause), std::string::npos) << failure;
    EXPECT_TRUE(log.Has(failure));
    EXPECT_FALSE(db->Db().InTransaction());
    db.reset();

    // Tried again at the next open, and taken once the copy is sound.
    server.ClearRequests();
    Open().reset();
    EXPECT_EQ(Requests(std::string("/m2/") + c.file), 1);
    Script(c.file, "drop table if exists " + table + ";\r\ncreate table " + table + " (a);\r\ninsert into " + table +
                       " values (4);\r\n",
           t += 60);
    db = Open();
    EXPECT_TRUE(db->RefreshFailures().empty());
    EXPECT_EQ(Value(*db, "select group_concat(a) from " + table), "4");
  }
}

// Offline (the setting or "/f") the open reaches no network: nothing is asked of the data
// service, and only a missing table runs its script, from the copy at hand. An update run
// ("/u") fetches all the same, as its download step does.
TEST_F(RefreshTest, OfflineOpensAskNothingOfTheNetwork) {
  Script("acis.seizai.txt", "drop table if exists seizai;\r\ncreate table seizai (a);\r\ninsert into seizai values (1);\r\n");
  Script("kwlists.txt", "drop table if exists kwlists;\r\ncreate table kwlists (a);\r\ninsert into kwlists values (1);\r\n");
  Open().reset();
  const struct {
    const char *what;
    bool setting, f_switch, u_switch;
    bool asks;
  } cases[] = {
      {"the setting", true, false, false, false},
      {"/f", false, true, false, false},
      {"/u with the setting", true, false, true, true},
  };
  long long t = kT0;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    // Newer copies at the service, and one table gone.
    Script("acis.seizai.txt", "drop table if exists seizai;\r\ncreate table seizai (a);\r\ninsert into seizai values (2);\r\n",
           t += 60);
    Script("kwlists.txt", "drop table if exists kwlists;\r\ncreate table kwlists (a);\r\ninsert into kwlists values (2);\r\n",
           t);
    TSQLiteDb(cp932::FromUtf8((home / "DB" / "acis.db").string())).ExecSQL("drop table kwlists;");
    OptionData->OffLine = c.setting;
    OfflineSwitch = c.f_switch;
    AutoUpdateSwitch = c.u_switch;
    server.ClearRequests();
    auto db = Open();
    OptionData->OffLine = OfflineSwitch = AutoUpdateSwitch = false;
    EXPECT_EQ(!server.Requests().empty(), c.asks);
    EXPECT_EQ(Value(*db, "select a from kwlists"), c.asks ? "2" : "1");
    EXPECT_EQ(Value(*db, "select a from seizai"), c.asks ? "2" : "1");
    db.reset();
    // Back online: the newer copies come (and the next case starts from the old ones).
    Open().reset();
    Script("acis.seizai.txt", "drop table if exists seizai;\r\ncreate table seizai (a);\r\ninsert into seizai values (1);\r\n",
           t += 60);
    Script("kwlists.txt", "drop table if exists kwlists;\r\ncreate table kwlists (a);\r\ninsert into kwlists values (1);\r\n",
           t);
    Open().reset();
  }
}

// A download that fails after its status line (cut short, empty, stalled) or never gets one
// (redirected in a loop) is logged with the service's reason, never as "200 OK" or a blank
// line; the copy at hand stays and nothing runs.
TEST_F(RefreshTest, AFailedDownloadSaysWhy) {
  const std::string sound = "drop table if exists seizai;\r\ncreate table seizai (a);\r\ninsert into seizai values (1);\r\n";
  Script("acis.seizai.txt", sound);
  Open().reset();
  OptionData->ReceiveTimeout = 1000;
  const struct {
    const char *fault, *why;
  } cases[] = {
      {"truncate", "受信が途中で止まりました"},
      {"empty", "応答の本体が空です"},
      {"stall 4", "受信が途中で止まりました"},
      {"redirect /m2/acis.seizai.txt", "応答がありません"},
  };
  long long t = kT0;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.fault);
    Script("acis.seizai.txt", sound + "insert into seizai values (2);\r\n", t += 60);
    server.SetFaults(std::string("/m2/acis.seizai.txt ") + c.fault + "\n");
    auto db = Open();
    server.SetFaults("");
    const auto url = std::find(log.lines.begin(), log.lines.end(), server.Url("/m2/acis.seizai.txt"));
    ASSERT_NE(url, log.lines.end());
    ASSERT_NE(url + 1, log.lines.end());
    EXPECT_NE(url[1].find(c.why), std::string::npos) << url[1];
    EXPECT_FALSE(log.Has("acis.seizai 更新"));
    EXPECT_EQ(Value(*db, "select count(*) from seizai"), "1");
    EXPECT_EQ(MTime(home / "Download" / "acis.seizai.txt"), kT0);
  }
}
