// The update window against the sample kit served by the local test server: whole updates
// in the publisher's CSV form and the makers' form, failures and cancels that must leave the
// user's acis.db as it was, and the unattended runs with their exit codes and log files.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "engine/AcisSvr.h"
#include "engine/SQLite.h"
#include "engine/SqlFunctions.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "support/sample_acisdb.h"
#include "support/testserver.h"
#include "support/testutil.h"
#include "support/workbook.h"
#include "ui/UUpdate.h"
#include "ui/UnattendedRun.h"

namespace fs = std::filesystem;
using qmtest::ReadFile;
using qmtest::SourceDir;
using qmtest::TempDir;
using qmtest::TestServer;

namespace {

void Shell(const std::string &cmd) {
  if (std::system(cmd.c_str()) != 0) throw std::runtime_error(cmd);
}

std::string Sj(const std::string &utf8) { return cp932::FromUtf8(utf8); }

// The small kit, made once, with the facts the tests compare against.
struct Kit {
  TempDir dir;
  std::map<std::string, std::string> facts;
  Kit() {
    Shell("python3 '" + (SourceDir() / "scripts/samplekit/make.py").string() + "' --size small --out '" +
          dir.path().string() + "' > /dev/null");
    const fs::path out = dir.path() / "facts.txt";
    Shell("python3 - '" + dir.path().string() + "' > '" + out.string() + "' <<'EOF'\n"
          "import json, sys\n"
          "m = json.load(open(sys.argv[1] + '/manifest.json', encoding='utf-8'))\n"
          "for t in ('m_kihon', 'm_tekiyo', 'seibun'): print(t + '\\t' + str(m['tables'][t]))\n"
          "print('asof0\\t' + m['data_as_of']['update2.htm']['expected'])\n"
          "print('asof2\\t' + m['data_as_of']['update.txt']['expected'])\n"
          "a = m['data_as_of']['update2.htm']['archives']\n"
          "for k in ('kihon', 'tekiyo1', 'tekiyo2'): print(k + '\\t' + a[k])\n"
          "EOF");
    std::ifstream f(out);
    std::string line;
    while (std::getline(f, line)) {
      std::size_t tab = line.find('\t');
      facts[line.substr(0, tab)] = line.substr(tab + 1);
    }
  }
  static Kit &Get() {
    static Kit kit;
    return kit;
  }
  fs::path operator/(const std::string &rel) const { return dir.path() / rel; }
};

// Log lines as UTF-8, and whether the patterns appear among them in this order.
std::vector<std::string> Utf8Lines(const TfrmUpdate &w) {
  std::vector<std::string> out;
  for (const std::string &l : w.LogLines()) out.push_back(cp932::ToUtf8(l));
  return out;
}
std::string Missing(const std::vector<std::string> &lines, const std::vector<std::string> &patterns) {
  std::size_t at = 0;
  for (const std::string &p : patterns) {
    const std::regex re(p);
    while (at < lines.size() && !std::regex_match(lines[at], re)) ++at;
    if (at == lines.size()) return p;
    ++at;
  }
  return "";
}
bool Has(const std::vector<std::string> &lines, const std::string &line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}
std::string Joined(const std::vector<std::string> &lines) {
  std::string s;
  for (const auto &l : lines) s += l + "\n";
  return s;
}

class UpdateTest : public ::testing::Test {
 protected:
  TestServer server;
  TempDir home;
  TOptionData saved = *OptionData;
  TDataSites saved_sites = DataSites();
  TAcisDB::TReferenceRefresh saved_refresh = TAcisDB::ReferenceRefresh;
  TSQLiteDb::TFunctionRegistrar saved_registrar = TSQLiteDb::FunctionRegistrar;
  TScopedRecordingUi ui;

  void SetUp() override {
    Kit &kit = Kit::Get();
    OptionData->DownloadFolder = Sj(home.str() + "Download");
    OptionData->DbFolder = Sj(home.str() + "DB");
    OptionData->UseLAN = false;
    OptionData->OffLine = false;
    OptionData->DownSite = 0;
    OptionData->DownSiteTorvDB = 0;
    OptionData->BuiltFromSite = 0;
    OptionData->ReadTimeout = 5000;
    OptionData->ReceiveTimeout = 5000;
    fs::create_directories(home / "Download");
    fs::create_directories(home / "DB");
    DataSites().PublisherHost = server.Url();
    for (int i = 0; i < 4; ++i) DataSites().TorvMirror[i] = server.Url("/torv/data/");
    for (const auto &e : fs::directory_iterator(kit / "publisher")) {
      std::string name = e.path().filename().string();
      server.Put(name == "update2.htm" ? "/ddata/index2.htm" : "/ddata/datacsv/" + name, ReadFile(e.path()));
    }
    for (const char *dir : {"makers", "scripts"})
      for (const auto &e : fs::directory_iterator(kit / dir))
        server.Put("/torv/data/" + e.path().filename().string(), ReadFile(e.path()));
    TSQLiteDb::FunctionRegistrar = &RegisterSqlFunctions;
    // The user's database as it stands before the update, open as the program keeps it.
    {
      TSQLiteDb old(Sj((home / "DB" / "acis.db").string()));
      old.ExecSQL("CREATE TABLE old_marker (x);");
      old.ExecSQL("INSERT INTO old_marker VALUES ('kept');");
    }
    TAcisDB::ReferenceRefresh = nullptr;
    AcisDBOwner().Reopen(DbPath(), nullptr);
    InstallReferenceRefresh();
  }
  void TearDown() override {
    AcisDBOwner().Close();
    *OptionData = saved;
    DataSites() = saved_sites;
    TAcisDB::ReferenceRefresh = saved_refresh;
    TSQLiteDb::FunctionRegistrar = saved_registrar;
    AutoUpdateSwitch = DownloadCheckSwitch = OfflineSwitch = false;
  }

  std::string DbPath() { return Sj((home / "DB" / "acis.db").string()); }
  // A value read from acis.db on a connection of its own.
  std::string One(const std::string &sql) {
    TSQLiteDb db(DbPath());
    auto t = db.GetTable(sql);
    return t->Eof() ? "<no row>" : t->FieldAsString(0);
  }
  // The user's old database is still in place, open, and nothing of a build is left over.
  void ExpectOldDatabaseKept() {
    EXPECT_EQ(One("SELECT x FROM old_marker"), "kept");
    ASSERT_NE(AcisDB, nullptr);
    EXPECT_TRUE(AcisDB->TableExists("old_marker"));
    ExpectNoLeftovers();
  }
  void ExpectNoLeftovers() {
    for (const auto &e : fs::directory_iterator(home / "DB"))
      EXPECT_EQ(e.path().filename().string().find(".part"), std::string::npos) << e.path();
  }
  void PlaceUpdateTxt() {
    fs::copy_file(Kit::Get() / "makers/update.txt", home / "Download" / "update.txt");
  }
};

}  // namespace

TEST_F(UpdateTest, WholeUpdateBuildsTheKitsDatabase) {
  struct Case {
    int kind;
    std::vector<std::string> lines;    // patterns of the fetch and unpack, in this order
    std::vector<std::string> convert;  // and of the conversion
  };
  Kit &kit = Kit::Get();
  const std::string k = kit.facts["kihon"], t1 = kit.facts["tekiyo1"], t2 = kit.facts["tekiyo2"];
  const std::vector<std::string> phases = {
      "csv->acis\\.db 変換完了 +[0-9]+\\.[0-9]秒",
      "登録基本部マスターテーブル\\(m_kihon\\)作成", "m_kihon > 有効成分１～５フィールド作成",
      "作物名マスターテーブル群作成", "m_sakumotsu 作成", "病害虫名マスターテーブル群作成",
      "有効成分テーブル\\(seibun\\)作成", "インデックス作成開始", "インデックス作成終了", "ビュー作成開始",
      "ビュー作成終了", "acis\\.db 削除", "更新日設定 > .*", "データ更新完了",
      "データベース更新時間 +[0-9]+\\.[0-9]秒"};
  std::vector<Case> cases = {
      {0,
       {"ダウンロード開始", ".*/ddata/index2\\.htm 更新確認", k + " ダウンロード開始", "200 OK",
        k + " ダウンロード完了", t1 + " ダウンロード完了", t2 + " ダウンロード完了",
        "ダウンロード時間 +[0-9]+\\.[0-9]秒", k + "を解凍", t1 + "を解凍", t2 + "を解凍", "解凍作業完了"},
       {"登録基本部 データベース変換中", "登録適用部一 データベース変換中", "登録適用部二 データベース変換中"}},
      {2,
       {"ダウンロード開始", "TorvCsv 取得: .*/torv/data/", "toroku\\.zip ダウンロード開始", "200 OK",
        "toroku\\.zip ダウンロード完了", "ダウンロード時間 +[0-9]+\\.[0-9]秒", "toroku\\.zip を解凍", "解凍作業完了"},
       {"kihon\\.csv データベース変換中", "tekiyo\\.csv データベース変換中"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.kind);
    if (c.kind == 2) PlaceUpdateTxt();  // fetched by the start-up check before the window opens
    int opened = 0, closing = 0;
    std::vector<int> positions;
    {
      TfrmUpdate w;
      QObject::connect(&w, &TfrmUpdate::DatabaseOpened, [&] { ++opened; });
      QObject::connect(&w, &TfrmUpdate::DatabaseClosing, [&] { ++closing; });
      QObject::connect(w.findChild<QProgressBar *>("ProgressBar"), &QProgressBar::valueChanged,
                       [&](int v) { positions.push_back(v); });
      w.SourceKind = static_cast<std::uint8_t>(c.kind);
      EXPECT_TRUE(w.RunAutoUpdate());
      EXPECT_TRUE(w.Rebuilt);
      const auto lines = Utf8Lines(w);
      std::vector<std::string> expected = c.lines;
      expected.push_back("テーブル作成");
      expected.insert(expected.end(), c.convert.begin(), c.convert.end());
      expected.insert(expected.end(), phases.begin(), phases.end());
      EXPECT_EQ(Missing(lines, expected), "") << Joined(lines);
      EXPECT_FALSE(Has(lines, "データ更新中止!"));
      EXPECT_EQ(w.DataAsOf, Sj(kit.facts[c.kind == 0 ? "asof0" : "asof2"]));
    }
    EXPECT_EQ(closing, 1);
    EXPECT_EQ(opened, 1);
    // The bar passes the phase positions in order and rests at 0.
    std::size_t at = 0;
    for (int p : {1, 10, 20, 30, 40, 50, 74, 92, 95, 100}) {
      while (at < positions.size() && positions[at] != p) ++at;
      EXPECT_LT(at, positions.size()) << "position " << p;
    }
    ASSERT_FALSE(positions.empty());
    EXPECT_EQ(positions.back(), 0);

    EXPECT_EQ(One("SELECT count(*) FROM m_kihon"), kit.facts["m_kihon"]);
    EXPECT_EQ(One("SELECT count(*) FROM m_tekiyo"), kit.facts["m_tekiyo"]);
    EXPECT_EQ(One("SELECT count(*) FROM seibun"), kit.facts["seibun"]);
    EXPECT_EQ(One("SELECT Value FROM info WHERE Item = 'LastUpdate'"), Sj(kit.facts[c.kind == 0 ? "asof0" : "asof2"]));
    EXPECT_EQ(One("SELECT count(*) FROM sqlite_master WHERE name = 'old_marker'"), "0");
    // The new database is the open one, on acis.db, and keeps no tie to the closed window.
    ASSERT_NE(AcisDB, nullptr);
    EXPECT_TRUE(AcisDB->TableExists("m_tekiyo"));
    EXPECT_EQ(AcisDB->LogTarget(), nullptr);
    EXPECT_EQ(AcisDB->ProgressBar(), nullptr);
    EXPECT_EQ(OptionData->BuiltFromSite, c.kind);
    ExpectNoLeftovers();
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_TRUE(ui.reports.empty()) << (ui.reports.empty() ? "" : cp932::ToUtf8(ui.reports[0].text));
    // The next case starts again from an old database.
    AcisDBOwner().Close();
    {
      TSQLiteDb db(DbPath());
      db.ExecSQL("CREATE TABLE old_marker (x);");
      db.ExecSQL("INSERT INTO old_marker VALUES ('kept');");
    }
    AcisDBOwner().Reopen(DbPath(), nullptr);
  }
}

TEST_F(UpdateTest, FailedFetchKeepsTheDatabase) {
  Kit &kit = Kit::Get();
  struct Case {
    int kind;
    std::string faults;
    std::string line;  // a line the failure leaves in the log
  } cases[] = {
      {0, "/ddata/datacsv/" + kit.facts["tekiyo1"] + " status 404", kit.facts["tekiyo1"] + " ダウンロード中止"},
      {0, "* status 500", "AcisCsvInfoSet failed!"},
      {2, "/torv/data/toroku.zip status 503", "toroku.zip ダウンロード中止"},
      {3, "* status 404", "acis.zip ダウンロード中止"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.faults);
    for (const char *f : {"update2.htm", "toroku.zip", "acis.zip"}) fs::remove(home / "Download" / f);
    server.SetFaults(c.faults);
    TfrmUpdate w;
    w.SourceKind = static_cast<std::uint8_t>(c.kind);
    EXPECT_FALSE(w.RunAutoUpdate());
    EXPECT_FALSE(w.Rebuilt);
    const auto lines = Utf8Lines(w);
    EXPECT_TRUE(Has(lines, c.line)) << Joined(lines);
    EXPECT_TRUE(Has(lines, "データ更新中止!")) << Joined(lines);
    EXPECT_FALSE(Has(lines, "テーブル作成")) << Joined(lines);
    ExpectOldDatabaseKept();
  }
}

TEST_F(UpdateTest, FailedBuildKeepsTheDatabase) {
  // The makers' set as it lies unpacked in the data folder.
  const std::string header = "bango,shurui,meisho,ryakusho,ippanmei,seibun,nodo,kongo,yoto,zaikei,torokubi\r\n";
  const std::string good = ReadFile(Kit::Get() / "makers/update.txt");
  struct Case {
    const char *what;
    std::string kihon;  // UTF-8
    bool update_txt;
    const char *error_class;
  } cases[] = {
      {"update.txt missing", header + "1,'殺虫剤','A乳剤','社','A','A','10%',1,'殺虫剤','乳剤','2020/01/01'\r\n", false,
       "EInOutError"},
      {"six ingredients",
       header + "1,'A・B・C・D・E・F乳剤','X乳剤','社','A','A','1%',6,'殺虫剤','乳剤','2020/01/01'\r\n", true,
       "ESQLiteException"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    qmtest::WriteFile(home / "Download" / "kihon.csv", Sj(c.kihon));
    qmtest::WriteFile(home / "Download" / "tekiyo.csv",
                      Sj("bango,a,b,c,d,sakumotsu,h6,h7,h8,h9,h10,h11,h12,h13,h14,h15,h16,h17,h18,h19,h20,h21,h22,h23,h24\r\n"
                       "1,'','','','','稲',NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL\r\n"));
    fs::remove(home / "Download" / "update.txt");
    if (c.update_txt) qmtest::WriteFile(home / "Download" / "update.txt", good);
    TfrmUpdate w;
    w.SourceKind = 2;
    bool raised = false;
    try {
      w.RebuildDatabase();
    } catch (const Exception &e) {
      raised = true;
      EXPECT_STREQ(e.ClassName(), c.error_class) << e.what();
    }
    EXPECT_TRUE(raised);
    EXPECT_FALSE(w.Rebuilt);
    EXPECT_TRUE(Has(Utf8Lines(w), "テーブル作成"));
    ExpectOldDatabaseKept();
    EXPECT_EQ(OptionData->BuiltFromSite, 0);
    // The manual step buttons' frame is back in order.
    EXPECT_TRUE(w.findChild<QToolButton *>("bClose")->isEnabled());
  }
}

TEST_F(UpdateTest, CancelTakesEffectBetweenSteps) {
  Kit &kit = Kit::Get();
  struct Case {
    std::string trigger;              // the cancel comes once this line is in the log
    std::vector<std::string> absent;  // steps that must not run after it
  } cases[] = {
      {kit.facts["kihon"] + " ダウンロード完了", {kit.facts["kihon"] + "を解凍", "テーブル作成"}},
      {"テーブル作成", {"登録基本部マスターテーブル(m_kihon)作成", "データ更新完了"}},
      {"m_kihon > 有効成分１～５フィールド作成", {"作物名マスターテーブル群作成", "データ更新完了"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.trigger);
    for (const char *f : {"update2.htm"}) fs::remove(home / "Download" / f);
    TfrmUpdate w;
    w.SourceKind = 0;
    QToolButton *abort = w.findChild<QToolButton *>("bAbort");
    bool clicked = false;
    ui.on_pump = [&] {
      if (clicked || !Has(Utf8Lines(w), c.trigger)) return;
      clicked = true;
      EXPECT_TRUE(abort->isEnabled());
      abort->click();
    };
    EXPECT_FALSE(w.RunAutoUpdate());
    ui.on_pump = nullptr;
    EXPECT_TRUE(clicked);
    const auto lines = Utf8Lines(w);
    for (const std::string &a : c.absent) EXPECT_FALSE(Has(lines, a)) << a << "\n" << Joined(lines);
    EXPECT_TRUE(Has(lines, "データ更新中止!"));
    EXPECT_FALSE(w.Rebuilt);
    ExpectOldDatabaseKept();
  }
}

TEST_F(UpdateTest, UnattendedRunsGiveExitCodesAndLogs) {
  struct Case {
    bool update;  // "/u", else "/r"
    const char *faults;
    int code;
    const char *log;
    const char *line;
  } cases[] = {
      {true, "/torv/data/toroku.zip status 404", 3, "DB/autoupdate.log", "データ更新中止!"},
      {true, "", 1, "DB/autoupdate.log", "データ更新完了:"},
      {false, "", 2, "Download/autodown.log", "ダウンロード更新確認終了:"},
      {false, "/torv/data/toroku.zip status 500", 3, "Download/autodown.log", "toroku.zip ダウンロード中止"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.log) + " " + c.faults);
    for (const char *f : {"DB/autoupdate.log", "Download/autodown.log", "Download/toroku.zip"})
      fs::remove(home / f);
    fs::remove(home / "Download" / "update.txt");
    PlaceUpdateTxt();
    server.SetFaults(c.faults);
    AutoUpdateSwitch = c.update;
    DownloadCheckSwitch = !c.update;
    OptionData->DownSite = 2;
    // Offline settings do not hold the unattended update back.
    OptionData->OffLine = c.update;
    EXPECT_EQ(c.update ? UnattendedUpdate() : UnattendedDownloadCheck(), c.code);
    ASSERT_TRUE(fs::exists(home / c.log));
    const std::string text = cp932::ToUtf8(ReadFile(home / c.log));
    EXPECT_NE(text.find(c.line), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n"), std::string::npos);
    if (c.code == 3 && c.update) ExpectOldDatabaseKept();
    EXPECT_TRUE(ui.boxes.empty());
  }
}

namespace {

using qmtest::Sheet;
using qmtest::Workbook;

std::vector<std::string> TekiyoRow(const std::string &bango, const std::string &crop, const std::string &pest) {
  std::vector<std::string> row(25, "-");
  row[0] = bango;
  row[5] = crop;
  row[7] = pest;
  return row;
}

}  // namespace

TEST_F(UpdateTest, WorkbooksOfThePublisherBuildTheDatabase) {
  const std::string asof = "本ファイルは、「令和8年11月30日」分を反映した農薬登録情報です。";
  const std::vector<std::string> kihon_header = {"登録番号", "農薬の種類", "農薬の名称", "登録を有する者の名称",
                                                 "有効成分", "総使用回数における有効成分", "濃度", "混合数",
                                                 "用途", "剤型名", "登録年月日"};
  std::vector<std::string> tekiyo_header(25, "項目");
  tekiyo_header[0] = "登録番号";
  const Sheet kihon = {"登録基本部",
                       {kihon_header,
                        {"101", "ＤＥＰ乳剤", "“テスト\"乳剤", "試験社", "ＤＥＰ", "ＤＥＰ", "10%", "1", "殺虫剤",
                         "乳剤", "44000"},
                        {"102", "ＭＥＰ水和剤", "ＭＥＰ水和剤", "試験社", "ＭＥＰ", "ＭＥＰ", "20%", "1", "殺虫剤",
                         "水和剤", "44001"}}};
  const Sheet tekiyo1 = {"登録適用部一", {tekiyo_header, TekiyoRow("101", "稲", "ウンカ類"),
                                          TekiyoRow("102", "稲", "ニカメイチュウ")}};
  const Sheet tekiyo2 = {"登録適用部二", {tekiyo_header, TekiyoRow("102", "麦類", "アブラムシ類")}};
  auto put = [&](const char *part, const std::vector<Sheet> &sheets) {
    qmtest::WriteFile(home / "Download" / (std::string(part) + ".xls"), Workbook(sheets));
  };
  put("登録基本部", {{"更新日付", {{asof}}}, kihon});
  put("登録適用部一", {{"注記", {{"登録番号", "x"}, {"999", "y"}}}, tekiyo1});  // the wanted sheet is the second
  put("登録適用部二", {tekiyo2});

  TfrmUpdate w;
  w.SourceKind = 1;
  // Twice in one window: the second conversion reads every part again.
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    w.RebuildDatabase();
    EXPECT_TRUE(w.Rebuilt);
    EXPECT_EQ(One("SELECT count(*) FROM m_kihon"), "2");
    EXPECT_EQ(One("SELECT count(*) FROM m_tekiyo"), "3");
    EXPECT_EQ(One("SELECT count(*) FROM m_tekiyo WHERE bango = 999"), "0");
    EXPECT_EQ(One("SELECT shurui FROM m_kihon WHERE bango = 101"), "DEP" + Sj("乳剤"));
    EXPECT_EQ(One("SELECT Value FROM info WHERE Item = 'LastUpdate'"), ExtractDataAsOfText(Sj(asof)));
    EXPECT_EQ(Missing(Utf8Lines(w), {"テーブル作成", "登録基本部\\.xls 読込中", "更新日取得:.*",
                                     "登録基本部 データベース変換中", "登録適用部一\\.xls 読込中",
                                     "登録適用部一 データベース変換中", "登録適用部二\\.xls 読込中",
                                     "登録適用部二 データベース変換中", "xls->acis\\.db 変換完了 +[0-9]+\\.[0-9]秒",
                                     "データ更新完了"}),
              "");
  }
  ExpectNoLeftovers();

  // A workbook without its part's sheet stops the build; the database stays.
  put("登録適用部二", {{"別のシート", tekiyo2.second}});
  EXPECT_THROW(w.RebuildDatabase(), EInOutError);
  EXPECT_EQ(One("SELECT count(*) FROM m_tekiyo"), "3");
  ASSERT_NE(AcisDB, nullptr);
  EXPECT_TRUE(AcisDB->TableExists("m_kihon"));
  ExpectNoLeftovers();
}

TEST_F(UpdateTest, ReadyMadeDatabasesReplaceTheOldOnesWhole) {
  // The makers' archives, made from whole ready-made databases with a mark in each.
  TempDir made;
  for (const char *f : {"acis.db", "spec.db"}) fs::copy_file(qmtest::ReadyMadeDbFolder() / f, made / f);
  {
    TSQLiteDb a(Sj((made / "acis.db").string()));
    a.ExecSQL("CREATE TABLE new_marker (x);");
    a.ExecSQL("INSERT INTO new_marker VALUES ('new');");
    TSQLiteDb s(Sj((made / "spec.db").string()));
    s.ExecSQL("CREATE TABLE spec_marker (x);");
  }
  // And an acis.db that opens as a database but holds nothing the program reads.
  fs::create_directories(made / "x");
  {
    TSQLiteDb x(Sj((made / "x" / "acis.db").string()));
    x.ExecSQL("CREATE TABLE x (a);");
  }
  Shell("cd '" + made.str() + "' && python3 -c \"import zipfile\nfor n in ('acis', 'spec', 'x/acis'):\n"
        "  with zipfile.ZipFile(n + '.zip', 'w') as z: z.write(n + '.db', n[-4:] + '.db')\"");
  server.Put("/torv/data/acis.zip", ReadFile(made / "acis.zip"));
  server.Put("/torv/data/spec.zip", ReadFile(made / "spec.zip"));
  server.Put("/torv/data/broken.zip", "not an archive");
  server.Put("/torv/data/x.zip", ReadFile(made / "x" / "acis.zip"));
  struct Case {
    std::string faults;  // the mirror's state
    bool replaced;
    std::string failure = {};  // what the failure line says after the archive (UTF-8)
  } cases[] = {
      {"/torv/data/spec.zip redirect /torv/data/broken.zip", false},  // spec.zip does not unpack
      {"/torv/data/acis.zip redirect /torv/data/x.zip", false,
       "acis.db にテーブル info がありません。取り直してから再実行してください"},
      {"", true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.faults);
    for (const char *f : {"acis.zip", "spec.zip"}) fs::remove(home / "Download" / f);
    server.SetFaults(c.faults);
    int opened = 0;
    TfrmUpdate w;
    QObject::connect(&w, &TfrmUpdate::DatabaseOpened, [&] { ++opened; });
    w.SourceKind = 3;
    EXPECT_EQ(w.RunAutoUpdate(), c.replaced);
    EXPECT_EQ(w.Rebuilt, c.replaced);
    EXPECT_EQ(opened, 1);
    ASSERT_NE(AcisDB, nullptr);
    const auto lines = Utf8Lines(w);
    EXPECT_TRUE(Has(lines, "SQLiteDB取得: " + server.Url("/torv/data/"))) << Joined(lines);
    if (c.replaced) {
      EXPECT_EQ(One("SELECT x FROM new_marker"), "new");
      EXPECT_TRUE(AcisDB->TableExists("spec.spec_marker"));
      EXPECT_EQ(OptionData->BuiltFromSite, 3);
      ExpectNoLeftovers();
    } else {
      EXPECT_TRUE(Has(lines, "データ更新中止!")) << Joined(lines);
      if (!c.failure.empty()) {
        EXPECT_TRUE(Has(lines, (home / "Download" / "acis.zip").string() + ": " + c.failure))
            << Joined(lines);
      }
      ExpectOldDatabaseKept();
    }
  }
}

TEST_F(UpdateTest, UserSiteAddressKinds) {
  TempDir share;
  qmtest::WriteFile(share / "acis.zip", "a");
  qmtest::WriteFile(share / "spec.zip", "s");
  server.Put("/own/acis.zip", "A");
  server.Put("/own/spec.zip", "S");
  std::string unc = "\\";
  for (char ch : share.path().string()) unc += ch == '/' ? '\\' : ch;
  struct Case {
    std::string site;
    bool offline;
    std::string acis;  // what lands in the data folder ("" nothing)
    const char *line;  // a line of the log ("" none expected)
    bool refused;      // the address is fetched from and nothing answers
  } cases[] = {
      {server.Url("/own/"), false, "A", "acis.zip ダウンロード完了", false},
      {unc, false, "a", "acis.zip コピー完了", false},
      // A secure address is fetched from like a plain one (nothing listens here).
      {"https://127.0.0.1:1/own/", false, "", "acis.zip ダウンロード開始", true},
      {"ftp://127.0.0.1:1/own/", false, "", "", false},  // no address the program fetches from
      {server.Url("/own/"), true, "", "", false},        // offline: the download step does nothing
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.site);
    fs::remove(home / "Download" / "acis.zip");
    OptionData->UserSite = Sj(c.site);
    OptionData->OffLine = c.offline;
    OptionData->DownSite = 4;
    TfrmUpdate w;
    w.Download();
    const auto lines = Utf8Lines(w);
    EXPECT_EQ(fs::exists(home / "Download" / "acis.zip") ? ReadFile(home / "Download" / "acis.zip") : "", c.acis);
    if (*c.line) {
      EXPECT_TRUE(Has(lines, c.line)) << Joined(lines);
    } else {
      EXPECT_FALSE(Has(lines, "acis.zip ダウンロード開始")) << Joined(lines);
    }
    EXPECT_EQ(Has(lines, "ダウンロード開始"), !c.offline) << Joined(lines);
    EXPECT_EQ(Has(lines, "acis.zip ダウンロード中止"), c.refused) << Joined(lines);
    EXPECT_EQ(OptionData->UserSite, Sj(c.site));
  }
}

TEST_F(UpdateTest, ShownWindowRunsItsStartAndCloses) {
  struct Case {
    const char *what;
    bool auto_start, local_files;
    int kind;
    const char *faults;
    bool downloads;  // whether the run fetched anything
  } cases[] = {
      {"automatic start", true, false, 2, "", true},
      {"local files at hand", false, true, 0, "* status 500", false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    if (c.local_files) {
      // The publisher's page and archives as an earlier download left them.
      for (const auto &e : fs::directory_iterator(Kit::Get() / "publisher"))
        fs::copy_file(e.path(), home / "Download" / e.path().filename(), fs::copy_options::overwrite_existing);
    } else {
      PlaceUpdateTxt();
    }
    server.SetFaults(c.faults);
    server.ClearRequests();
    OptionData->DownSite = static_cast<std::uint8_t>(c.kind);
    TfrmUpdate w;
    w.AutoStart = c.auto_start;
    w.LocalFilesStart = c.local_files;
    w.show();
    for (int i = 0; i < 200 && w.isVisible(); ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_FALSE(w.isVisible()) << Joined(Utf8Lines(w));
    EXPECT_TRUE(w.Rebuilt);
    EXPECT_EQ(One("SELECT count(*) FROM m_kihon"), Kit::Get().facts["m_kihon"]);
    bool fetched_data = false;
    for (const std::string &r : server.Requests())
      if (r.find(".zip") != std::string::npos) fetched_data = true;
    EXPECT_EQ(fetched_data, c.downloads);
  }
}

TEST_F(UpdateTest, JppFilesBecomeTablesOfJppDb) {
  struct Case {
    const char *file;
    const char *item;
    const char *line;
  } cases[] = {
      {"jpp/jpp_seizai.csv", "btnDokusei", "テーブル作成 jpp.tJppSeizai"},
      {"jpp/jpp_seibun.csv", "pmnJppSeibun", "テーブル作成 jpp.tJppSeibun"},
  };
  auto saved_choose = TfrmUpdate::ChooseFile;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.item);
    std::string title;
    TfrmUpdate::ChooseFile = [&](QWidget *, const std::string &t, const std::string &, const std::string &) {
      title = cp932::ToUtf8(t);
      return Sj((Kit::Get() / c.file).string());
    };
    TfrmUpdate w;
    QAction *item = w.findChild<QAction *>(c.item);
    ASSERT_NE(item, nullptr);
    item->trigger();
    EXPECT_NE(title.find("JPP-NET「"), std::string::npos);
    EXPECT_TRUE(Has(Utf8Lines(w), c.line)) << Joined(Utf8Lines(w));
    EXPECT_TRUE(fs::exists(home / "DB" / "jpp.db"));
  }
  // The window's bar moved the import only: the query object outlives the window without it.
  ASSERT_NE(AcisDB, nullptr);
  EXPECT_EQ(AcisDB->ProgressBar(), nullptr);
  TfrmUpdate::ChooseFile = saved_choose;
}

// The import lets events through on every line. What the user does then waits for its end: an
// update would free the query object the import writes through, a second import would write
// into its transaction, and the window would close under it.
TEST_F(UpdateTest, CommandsWaitForAJppImport) {
  auto saved_choose = TfrmUpdate::ChooseFile;
  const std::string seizai = Sj((Kit::Get() / "jpp/jpp_seizai.csv").string());
  TfrmUpdate::ChooseFile = [&](QWidget *, const std::string &t, const std::string &, const std::string &) {
    return cp932::ToUtf8(t).find("有効成分") != std::string::npos ? Sj((Kit::Get() / "jpp/jpp_seibun.csv").string())
                                                                    : seizai;
  };
  TfrmUpdate w;
  w.show();
  QAction *products = w.findChild<QAction *>("btnDokusei");
  QAction *ingredients = w.findChild<QAction *>("pmnJppSeibun");
  QToolButton *bAuto = w.findChild<QToolButton *>("bAuto");
  ASSERT_TRUE(products && ingredients && bAuto);
  products->trigger();  // the jpp.db the user has
  const std::string rows = [&] {
    TSQLiteDb jpp((home / "DB" / "jpp.db").string());
    return jpp.GetTable("SELECT count(*) FROM jppSeizai")->FieldAsString(0);
  }();
  ASSERT_NE(rows, "0");
  const TAcisDB *db = AcisDB;
  server.ClearRequests();

  int pumps = 0;
  ui.on_pump = [&] {
    if (++pumps != 3) return;
    bAuto->click();
    ingredients->trigger();
    w.close();
  };
  products->trigger();
  ui.on_pump = nullptr;
  EXPECT_GE(pumps, 3);

  EXPECT_TRUE(server.Requests().empty());  // no update started
  EXPECT_EQ(AcisDB, db);
  EXPECT_TRUE(w.isVisible());
  const auto lines = Utf8Lines(w);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "テーブル作成 jpp.tJppSeizai"), 2) << Joined(lines);
  EXPECT_FALSE(Has(lines, "テーブル作成 jpp.tJppSeibun")) << Joined(lines);
  {
    TSQLiteDb jpp((home / "DB" / "jpp.db").string());
    EXPECT_EQ(jpp.GetTable("PRAGMA integrity_check")->FieldAsString(0), "ok");
    EXPECT_EQ(jpp.GetTable("SELECT count(*) FROM jppSeizai")->FieldAsString(0), rows);
    EXPECT_EQ(jpp.GetTable("SELECT count(*) FROM sqlite_master WHERE name = 'jppSeibun'")->FieldAsString(0), "0");
  }
  // Once it has ended, the commands are there again.
  EXPECT_TRUE(bAuto->isEnabled());
  EXPECT_TRUE(ingredients->isEnabled());
  TfrmUpdate::ChooseFile = saved_choose;
}

TEST_F(UpdateTest, SharedFolderTakesThePlaceOfTheDownload) {
  TempDir lan;
  for (const char *dir : {"publisher", "scripts"})  // the reference scripts come from there too
    for (const auto &e : fs::directory_iterator(Kit::Get() / dir))
      fs::copy_file(e.path(), lan.path() / e.path().filename());
  // The workbooks' page is there, the workbooks are not.
  fs::copy_file(lan.path() / "update2.htm", lan.path() / "update.htm");
  OptionData->UseLAN = true;
  OptionData->dirLAN = Sj(lan.path().string());
  server.SetFaults("* status 500");  // nothing comes from the network
  struct Case {
    int kind;
    bool result;
    std::vector<std::string> lines;
  } cases[] = {
      {0, true, {"共有フォルダからコピー開始", "update2\\.htm 更新確認", ".* コピー完了", "コピー時間 +[0-9]+\\.[0-9]秒",
                 ".*を解凍", "データ更新完了"}},
      // The workbook archives are not in the folder: the run stops after the copies; it never
      // goes on to unpack what an earlier run may have left.
      {1, false, {"登録基本部\\.zip コピー開始", "登録基本部\\.zip コピー中止", "データ更新中止!"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.kind);
    TfrmUpdate w;
    EXPECT_EQ(w.windowTitle().toStdString(), "データ更新 - 共有フォルダからの更新");
    w.SourceKind = static_cast<std::uint8_t>(c.kind);
    EXPECT_EQ(w.RunAutoUpdate(), c.result);
    const auto lines = Utf8Lines(w);
    EXPECT_EQ(Missing(lines, c.lines), "") << Joined(lines);
    EXPECT_FALSE(Has(lines, "解凍作業中止")) << Joined(lines);
  }
  EXPECT_EQ(One("SELECT count(*) FROM m_tekiyo"), Kit::Get().facts["m_tekiyo"]);
}
