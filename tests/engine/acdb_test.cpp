#include "engine/acdb.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <vector>

#include "engine/UiServices.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "support/enginefixture.h"
#include "support/testutil.h"

using namespace cp932::literals;

namespace {

struct Strings : IStringsTarget {
  std::vector<std::string> items;
  int begin = 0, end = 0;
  void BeginUpdate() override { ++begin; }
  void EndUpdate() override { ++end; }
  void Clear() override { items.clear(); }
  void Add(const std::string &s) override { items.push_back(s); }
  bool Contains(const std::string &s) const override {
    return std::find(items.begin(), items.end(), s) != items.end();
  }
  int Count() const override { return static_cast<int>(items.size()); }
};

struct Grid : IGridSink {
  std::string name = "gdTekiyo";
  bool visible = true;
  int redraw_off = 0, redraw_on = 0;
  int rows = 0, cols = 0, fixed_rows = 0, fixed_cols = 1;
  std::map<std::pair<int, int>, std::string> cells;
  std::string GridName() const override { return name; }
  void SetGridVisible(bool v) override { visible = v; }
  void BeginUpdate() override { ++redraw_off; }
  void EndUpdate() override { ++redraw_on; }
  void SetShape(int c, int r, int fr, int fc) override {
    cells.clear();
    cols = c, rows = r, fixed_rows = fr, fixed_cols = fc;
  }
  void ReserveText(std::size_t) override {}
  void SetCell(int c, int r, std::string_view t) override { cells[{c, r}] = std::string(t); }
  void SetRowCells(int r, const std::string_view *v, int n) override {
    for (int c = 0; c < n && c < cols; ++c) SetCell(c, r, v[c]);
  }
  std::string At(int c, int r) { return cells[{c, r}]; }
};

using Log = qmtest::LogLines;

// acis.db and spec.db in a fresh folder, with OptionData pointing at it.
class AcisDbTest : public ::testing::Test {
 protected:
  std::string Path(const char *name) { return (dir_ / name).string(); }
  void Make(const char *name, const std::string &sql) {
    TSQLiteDb db(Path(name));
    db.MultiStatement = true;
    db.ExecSQL(cp932::FromUtf8(sql));  // fixtures are written in UTF-8 source text
  }
  void MakeInfo(const std::string &rows) {
    Make("acis.db", "CREATE TABLE info(Item TEXT, Value TEXT);" + rows);
  }

  qmtest::TempDir dir_;
  qmtest::ScopedEngineState state_{dir_.path()};
  TScopedRecordingUi ui_;
};

TEST_F(AcisDbTest, OpensWithSpecAndLogsTheSteps) {
  MakeInfo("INSERT INTO info VALUES('LastUpdate','2026.11.30'),('Version','190107');");
  Make("spec.db", "CREATE TABLE m_sakumotsu(idsaku TEXT);");
  Log log;
  int refreshed = 0;
  TAcisDB::ReferenceRefresh = [&](TAcisDB &) { ++refreshed; };
  TAcisDB db(Path("acis.db"), &log);
  EXPECT_EQ(log.lines, (std::vector<std::string>{"acis.db open", "spec.db Attach"}));
  EXPECT_EQ(db.LastUpdate(), "2026.11.30");
  EXPECT_EQ(db.GetVersion(), 190107);
  EXPECT_EQ(refreshed, 1);
  EXPECT_TRUE(db.TableExists("spec.m_sakumotsu"));
  EXPECT_FALSE(db.TableExists("m_sakumotsu"));  // lives in spec.db, not acis.db
  EXPECT_TRUE(ui_.reports.empty());
}

TEST_F(AcisDbTest, AttachesJppWhenPresentAndSkipsRefreshForReadyMadeDatabases) {
  MakeInfo("");
  Make("jpp.db", "CREATE TABLE jpp_seizai(x);");
  for (int site : {3, 4}) {
    OptionData->BuiltFromSite = static_cast<std::uint8_t>(site);
    int refreshed = 0;
    TAcisDB::ReferenceRefresh = [&](TAcisDB &) { ++refreshed; };
    Log log;
    TAcisDB db(Path("acis.db"), &log);
    EXPECT_EQ(refreshed, 0) << site;
    EXPECT_EQ(log.lines.back(), "jpp.db Attach");
    EXPECT_TRUE(db.TableExists("jpp.jpp_seizai"));
  }
}

TEST_F(AcisDbTest, InfoTableVariants) {
  struct Case {
    std::string setup;  // empty: no info table at all
    std::string last_update;
    int version;
  };
  const Case cases[] = {
      {"", "不明"_sj, 0},
      {"CREATE TABLE info(Item TEXT, Value TEXT);", "更新日付不明"_sj, 0},  // no LastUpdate row
      {"CREATE TABLE info(Item TEXT, Value TEXT); INSERT INTO info VALUES('LastUpdate','');"
       "INSERT INTO info VALUES('Version','abc');",
       "更新日付不明"_sj, 0},
      {"CREATE TABLE info(Item TEXT, Value TEXT); INSERT INTO info VALUES('LastUpdate','不明');"
       "INSERT INTO info VALUES('Version','120412');",
       "不明"_sj, 120412},
  };
  for (const Case &c : cases) {
    std::filesystem::remove(Path("acis.db"));
    if (!c.setup.empty()) Make("acis.db", c.setup);
    TAcisDB db(Path("acis.db"), nullptr);
    EXPECT_EQ(db.LastUpdate(), c.last_update) << c.setup;
    EXPECT_EQ(db.GetVersion(), c.version) << c.setup;
    db.SetLastUpdate("2027.01.05");
    EXPECT_EQ(db.LastUpdate(), "2027.01.05");
    if (!c.setup.empty()) {
      db.ExecQuery("SELECT count(*) FROM info WHERE Value = '2027.01.05'");
      // The update touches an existing row only.
      int expected = c.setup.find("'LastUpdate'") != std::string::npos ? 1 : 0;
      EXPECT_EQ(db.Query()->FieldAsInteger(0), expected) << c.setup;
    }
  }
}

// The stored date is the text as given, also one that names a column or holds quotes.
TEST_F(AcisDbTest, SetLastUpdateStoresTheTextAsItIs) {
  for (const std::string date : {"Item", "2027\"01'05", "Value"}) {
    std::filesystem::remove(Path("acis.db"));
    MakeInfo("INSERT INTO info VALUES('LastUpdate','x'),('Version','190107');");
    TAcisDB db(Path("acis.db"), nullptr);
    db.SetLastUpdate(date);
    TSQLiteDb check(Path("acis.db"));
    auto t = check.GetTable("SELECT Item, Value FROM info ORDER BY Item");
    EXPECT_EQ(t->FieldAsString(1), date);
    t->Next();
    EXPECT_EQ(t->FieldAsString(1), "190107") << date;
  }
}

TEST_F(AcisDbTest, FolderWithAQuoteAttaches) {
  std::filesystem::path sub = dir_ / "farmer's data";
  std::filesystem::create_directories(sub);
  OptionData->DbFolder = sub.string();
  { TSQLiteDb spec((sub / "spec.db").string()); spec.ExecSQL("CREATE TABLE t(x);"); }
  TAcisDB db((sub / "acis.db").string(), nullptr);
  EXPECT_TRUE(ui_.reports.empty());
  EXPECT_TRUE(db.TableExists("spec.t"));
}

TEST_F(AcisDbTest, FailuresReachTheReportWithoutRaising) {
  MakeInfo("");
  TAcisDB db(Path("acis.db"), nullptr);
  ASSERT_TRUE(db.ExecQuery("SELECT 1 AS a"));
  TSQLiteTbl *before = db.Query();

  db.ExecSQL("SELEC nonsense");
  ASSERT_EQ(ui_.reports.size(), 1u);
  EXPECT_EQ(ui_.reports[0].caption, "SQL エラー"_sj);
  EXPECT_EQ(ui_.reports[0].text.substr(0, 29), "ESQLiteException\r\n---------\r\n");
  EXPECT_NE(ui_.reports[0].text.find("SELEC nonsense"), std::string::npos);

  EXPECT_FALSE(db.ExecQuery("SELECT * FROM missing_table", true));
  EXPECT_EQ(ui_.reports.size(), 2u);
  EXPECT_TRUE(ui_.boxes.empty());  // a failure is no empty result
  EXPECT_EQ(db.Query(), before);   // the previous result stays

  Grid g;
  EXPECT_FALSE(db.SetGrid(g, "SELECT * FROM missing_table"));
  ASSERT_EQ(ui_.reports.size(), 3u);
  EXPECT_EQ(ui_.reports[2].title, "AcisDB.SetGrid ");
  EXPECT_TRUE(g.visible);
}

TEST_F(AcisDbTest, EmptyResultsWarnOnlyWhenAsked) {
  MakeInfo("");
  TAcisDB db(Path("acis.db"), nullptr);
  EXPECT_FALSE(db.ExecQuery("SELECT 1 WHERE 0"));
  EXPECT_TRUE(ui_.boxes.empty());
  EXPECT_FALSE(db.ExecQuery("SELECT 1 WHERE 0", true));
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(ui_.boxes[0].text, "検索条件に一致するデータはありません"_sj);
  EXPECT_EQ(ui_.boxes[0].flags, unsigned(MB_OK | MB_ICONWARNING));

  Grid g;
  g.rows = 7;
  EXPECT_FALSE(db.SetGrid(g, "SELECT 1 WHERE 0"));
  EXPECT_EQ(ui_.boxes.size(), 2u);
  EXPECT_EQ(g.rows, 7);  // left as it was
  EXPECT_TRUE(g.visible);
}

TEST_F(AcisDbTest, FillsFollowTheirClearSkipAndUpdateRules) {
  MakeInfo("CREATE TABLE t(id INTEGER, name TEXT);"
           "INSERT INTO t VALUES (7,'水稲'),(12,''),(7,'水稲'),(123456,'トマト');");
  TAcisDB db(Path("acis.db"), nullptr);
  const std::string q = "SELECT id, name FROM t ORDER BY rowid";

  Strings combo;
  combo.items = {"old"};
  ASSERT_TRUE(db.ExecQuery(q));
  db.SetCombo(combo, 1, true);
  EXPECT_EQ(combo.items, (std::vector<std::string>{"水稲"_sj, "", "水稲"_sj, "トマト"_sj}));
  db.SetCombo(combo, 1, false);  // the cursor stands at the end: nothing is added
  EXPECT_EQ(combo.items.size(), 4u);

  Strings numbered;
  ASSERT_TRUE(db.ExecQuery(q));
  db.SetComboNumbered(numbered, false);
  EXPECT_EQ(numbered.items[0], "    7 " + "水稲"_sj);
  EXPECT_EQ(numbered.items[3], "123456 " + "トマト"_sj);
  EXPECT_EQ(numbered.begin, 0);

  Strings list;
  ASSERT_TRUE(db.ExecQuery(q));
  db.SetListBox(list, 1);
  EXPECT_EQ(list.items, (std::vector<std::string>{"水稲"_sj, "水稲"_sj, "トマト"_sj}));
  EXPECT_EQ(list.begin, 1);
  EXPECT_EQ(list.end, 1);

  Strings checks;
  checks.items = {"トマト"_sj};
  ASSERT_TRUE(db.ExecQuery("SELECT name FROM t ORDER BY rowid"));
  db.SetCheckListBox(checks);
  EXPECT_EQ(checks.items, (std::vector<std::string>{"トマト"_sj, "水稲"_sj}));

  Strings bad;
  ASSERT_TRUE(db.ExecQuery("SELECT name, id FROM t"));
  EXPECT_THROW(db.SetComboNumbered(bad, true), EConvertError);
}

TEST_F(AcisDbTest, FillRunsTheQueueAndSurvivesAQueryStartedFromIt) {
  MakeInfo("CREATE TABLE t(name TEXT); INSERT INTO t VALUES ('a'),('b'),('c');");
  TAcisDB db(Path("acis.db"), nullptr);
  ASSERT_TRUE(db.ExecQuery("SELECT name FROM t ORDER BY name"));
  Strings list;
  int pumps = 0;
  ui_.on_pump = [&] {
    // A window starts another query while the fill is running.
    if (++pumps == 1) db.ExecQuery("SELECT 'x' UNION ALL SELECT 'y'");
  };
  db.SetListBox(list, 0);
  ui_.on_pump = nullptr;
  EXPECT_EQ(list.items, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(pumps, 3);
  EXPECT_EQ(db.Query()->FieldAsString(0), "x");
}

TEST_F(AcisDbTest, SetGridFillsCaptionsAndCells) {
  MakeInfo("CREATE TABLE t(bango INTEGER, Seibun TEXT, dokusei TEXT, foo TEXT);"
           "INSERT INTO t VALUES (1,'A成分',NULL,'x'),(2,'B','普通物','y');");
  TAcisDB db(Path("acis.db"), nullptr);
  for (const char *name : {"gdTekiyo", "gdSeizai"}) {
    Grid g;
    g.name = name;
    ASSERT_TRUE(db.SetGrid(g, "SELECT bango, Seibun, dokusei, foo FROM t ORDER BY bango"));
    EXPECT_EQ(g.rows, 3);
    EXPECT_EQ(g.cols, 4);
    EXPECT_EQ(g.fixed_rows, 1);
    EXPECT_EQ(g.fixed_cols, 0);
    EXPECT_FALSE(g.visible);  // callers show it
    EXPECT_EQ(g.redraw_off, 1);
    EXPECT_EQ(g.redraw_on, 1);
    EXPECT_EQ(g.At(0, 0), "番号"_sj);
    EXPECT_EQ(g.At(1, 0), "総使用回数における有効成分"_sj);
    EXPECT_EQ(g.At(2, 0), std::string(name) == "gdSeizai" ? "製剤毒性"_sj : "毒性"_sj);
    EXPECT_EQ(g.At(3, 0), "FOO");  // unknown names stay as the layer reports them
    EXPECT_EQ(g.At(1, 1), "A成分"_sj);
    EXPECT_EQ(g.At(2, 1), "");
    EXPECT_EQ(g.At(2, 2), "普通物"_sj);
  }
  EXPECT_EQ(ui_.busy_depth, 0);
  EXPECT_GE(ui_.busy_max, 1);
}

TEST(FieldCaption, TableLookups) {
  struct Case {
    const char *column;
    std::string caption;
  };
  const Case cases[] = {
      {"SEIBUN", "総使用回数における有効成分"_sj},
      {"seibun3", "成分3"_sj},
      {"Keito5", "系統5"_sj},
      {"MID2", "RAC2"},
      {"fgroup", "備考"_sj},
      {"note", "備考"_sj},
      {"hatsutoroku", "初登録年月日"_sj},
      {"SAYOTEN", "作用点"_sj},  // the headers the ingredient popup offers its look-up on
      {"sayokiko", "作用機構"_sj},
      {"rackeito", "RAC系統"_sj},
      {"yuko4", "有効成分4"_sj},
      {"Foo", "Foo"},
      {"seibun6", "seibun6"},
      {"yuko", "yuko"},
  };
  for (const Case &c : cases) EXPECT_EQ(TAcisDB::FieldCaption(c.column), c.caption) << c.column;
}

TEST(FieldCaption, EveryKnownColumnHasACaption) {
  // The column names the program's tables and views use; "#" stands for the slots 1 to 5.
  const char *keys =
      "ippanmei seibun nodo zaikei torokubi kigen bango yoto shurui meisho tsusho ryakusho xidsaku idsaku "
      "sakumotsu basho idbyochu byochu mokuteki baisu ekiryo jiki kaisu hoho jikan ondo dojo chitai tekiyaku "
      "kongo kaisu# seibun# keito# gyodoku dokusei seizaieikyo seibuneikyo biko dokuseimei seibunmei koka "
      "chuijiko koshin keito kagakumei nodochu jogai jyogai1 jyogai2 mid sayoten sayokiko fgroup risk mid# "
      "hatsutoroku nai ishoku chokuha ine momi jogaiseibun jogainodo jogaisiki kousin seizaidokusei superior "
      "crop family synonym kana nomen english harvest cultivate use maturity note itgl bunruihyo seibunhyo "
      "wamei hinshu ncbi wikipedia agrovac yuko# rem# risk# rackeito seizaiyoto seizaikoka seizaiojas ojas "
      "gunmei shozoku nozoku fukumu betsumei ruby";
  std::vector<std::string> columns;
  std::istringstream words(keys);
  for (std::string w; words >> w;) {
    if (w.back() != '#') {
      columns.push_back(w);
      continue;
    }
    for (char n = '1'; n <= '5'; ++n) columns.push_back(w.substr(0, w.size() - 1) + n);
  }
  ASSERT_EQ(columns.size(), 128u);
  for (const std::string &c : columns) {
    // A name without a caption comes back as it went in.
    EXPECT_NE(TAcisDB::FieldCaption(c), c) << c << " shows as its raw name";
  }
}

TEST_F(AcisDbTest, LookUps) {
  MakeInfo("CREATE TABLE iso(ippanmei TEXT, iso TEXT);"
           "INSERT INTO iso VALUES ('イミダクロプリド','imidacloprid'),('同名','同名');"
           "CREATE TABLE byochu(cid INTEGER, byochu TEXT); INSERT INTO byochu VALUES (42,'うどんこ病');");
  TAcisDB db(Path("acis.db"), nullptr);
  state_.SetAcisDB(&db);
  // The look-ups leave the current result alone.
  ASSERT_TRUE(db.ExecQuery("SELECT 'kept' AS current"));
  EXPECT_EQ(FormatIsoName("イミダクロプリド"_sj), "imidacloprid(" + "イミダクロプリド"_sj + ")");
  EXPECT_EQ(FormatIsoName("同名"_sj), "同名"_sj);
  EXPECT_EQ(FormatIsoName("未知"_sj), "未知"_sj);
  EXPECT_EQ(db.ByochuCid("うどんこ病"_sj), 42);
  EXPECT_EQ(db.ByochuCid("farmer's pest"), -1);  // a quote in the name does not break it
  EXPECT_EQ(db.GetVersion(), 0);
  EXPECT_EQ(db.Query()->Columns(0), "CURRENT");
  EXPECT_EQ(db.Query()->FieldAsString(0), "kept");
  EXPECT_TRUE(ui_.reports.empty());
}

TEST_F(AcisDbTest, ReferenceRefreshFailureIsReportedAndOpenGoesOn) {
  MakeInfo("");
  TAcisDB::ReferenceRefresh = [](TAcisDB &) { throw EConvertError("bad script"); };
  TAcisDB db(Path("acis.db"), nullptr);
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(ui_.boxes[0].text, "EConvertError\r\nbad script");
  EXPECT_EQ(ui_.boxes[0].flags, unsigned(MB_OK | MB_ICONERROR));
  EXPECT_TRUE(db.ExecQuery("SELECT 1"));
}

}  // namespace
