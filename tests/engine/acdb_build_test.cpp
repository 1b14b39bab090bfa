// The database build from the sample kit in each input form, checked against what the kit's
// manifest says (worked out by tests/support/kitfacts.py from the generated files), and the
// search schema on the built database.
#include <gtest/gtest.h>

#include <cstring>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/archive.h"
#include "platform/cp932.h"
#include "support/enginefixture.h"
#include "support/testutil.h"

using namespace cp932::literals;
namespace fs = std::filesystem;

namespace {

std::string Unescape(const std::string &s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      char c = s[++i];
      out.push_back(c == 't' ? '\t' : c == 'r' ? '\r' : c == 'n' ? '\n' : c);
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

// A TSV file of the facts script as rows of program text; "\N" becomes a missing value.
using Row = std::vector<std::optional<std::string>>;
std::vector<Row> ReadTsv(const fs::path &p) {
  std::vector<Row> rows;
  std::ifstream f(p, std::ios::binary);
  std::string line;
  while (std::getline(f, line)) {
    Row r;
    std::size_t start = 0;
    for (;;) {
      std::size_t tab = line.find('\t', start);
      std::string cell = line.substr(start, tab == std::string::npos ? std::string::npos : tab - start);
      if (cell == "\\N")
        r.emplace_back(std::nullopt);
      else
        r.emplace_back(cp932::FromUtf8(Unescape(cell)));
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    rows.push_back(std::move(r));
  }
  return rows;
}

class TStringTable : public ICellSource {
 public:
  explicit TStringTable(const std::vector<Row> &rows) {
    for (const Row &r : rows) {
      std::vector<std::string> cells;
      for (const auto &c : r) cells.push_back(c.value_or(""));
      cols_ = std::max(cols_, static_cast<int>(cells.size()));
      rows_.push_back(std::move(cells));
    }
  }
  int RowCount() const override { return static_cast<int>(rows_.size()); }
  int ColCount() const override { return cols_; }
  std::string_view CellView(int c, int r) const override {
    const auto &row = rows_[static_cast<std::size_t>(r)];
    return c < static_cast<int>(row.size()) ? std::string_view(row[static_cast<std::size_t>(c)]) : "";
  }

 private:
  std::vector<std::vector<std::string>> rows_;
  int cols_ = 0;
};

struct Progress : IProgressTarget {
  int max = 0, pos = 0, moves = 0;
  void SetRange(int, int m) override { max = m; }
  void SetPosition(int p) override {
    pos = p;
    ++moves;
  }
  int Position() const override { return pos; }
};

// The small kit with its archives unpacked and the facts the tests compare against.
class Kit {
 public:
  static Kit &Get() {
    static Kit kit;
    return kit;
  }
  fs::path dir() const { return qmtest::SmallKit(); }
  fs::path Unpacked(const std::string &archive_utf8) const {
    return dir() / ("x-" + fs::path(archive_utf8).stem().string());
  }

 private:
  Kit() {
    std::string cmd = "python3 \"" + (qmtest::SourceDir() / "tests/support/kitfacts.py").string() + "\" \"" +
                      dir().string() + "\"";
    if (std::system(cmd.c_str()) != 0) throw std::runtime_error("the kit facts could not be written");
    for (const char *a : {"publisher/登録基本部csv_20261130.zip", "publisher/登録適用部一_20261130.zip",
                          "publisher/登録適用部二_20261130.zip", "makers/toroku.zip"}) {
      std::string command = "x -r -hide -aoa -y \"" + cp932::FromUtf8((dir() / a).string()) + "\" -o\"" +
                            cp932::FromUtf8(Unpacked(a).string()) + "/\"";
      char output[4096];
      if (sevenzip::SevenZip(nullptr, command.c_str(), output, sizeof output) != 0)
        throw std::runtime_error(std::string("cannot unpack ") + a);
    }
  }
};

enum class Form { PublisherCsv, MakersCsv, Workbook };

class BuildTest : public ::testing::Test {
 protected:
  void TearDown() override { db_.reset(); }

  // Builds acis.db in the build order of the update window.
  void Build(Form form) {
    db_ = std::make_unique<TAcisDB>((dir_ / "acis.db").string(), nullptr);
    db_->SetProgressBar(&progress_);
    const fs::path kit = Kit::Get().dir();
    // The reference tables the build reads.
    for (const char *script : {"spec.bunrui.txt", "spec.iso.txt", "spec.irac.txt", "spec.frac.txt", "spec.hrac.txt",
                               "acis.seizai.txt", "acis.dokusei.txt", "spec.ojas.txt", "sakumotsu.txt",
                               "byochu.txt"})
      db_->Db().ExecSQL(qmtest::ReadFile(kit / "scripts" / script));
    db_->CreateTables();
    const fs::path pub_k = Kit::Get().Unpacked("publisher/登録基本部csv_20261130.zip");
    const fs::path pub_1 = Kit::Get().Unpacked("publisher/登録適用部一_20261130.zip");
    const fs::path pub_2 = Kit::Get().Unpacked("publisher/登録適用部二_20261130.zip");
    const fs::path makers = Kit::Get().Unpacked("makers/toroku.zip");
    switch (form) {
      case Form::PublisherCsv:
        db_->ImportKihonRawCsv(cp932::FromUtf8((pub_k / "登録基本部_20261130.csv").string()));
        db_->ImportTekiyoRawCsv(cp932::FromUtf8((pub_1 / "登録適用部一_20261130.csv").string()));
        db_->ImportTekiyoRawCsv(cp932::FromUtf8((pub_2 / "登録適用部二_20261130.csv").string()));
        break;
      case Form::MakersCsv:
        db_->ImportKihonCsv(cp932::FromUtf8((makers / "kihon.csv").string()));
        db_->ImportTekiyoCsv(cp932::FromUtf8((makers / "tekiyo.csv").string()));
        break;
      case Form::Workbook:
        db_->ImportKihonXls(TStringTable(ReadTsv(kit / "grid_kihon.tsv")));
        db_->ImportTekiyoXls(TStringTable(ReadTsv(kit / "grid_tekiyo1.tsv")));
        break;
    }
    db_->FillTmKihon();
    db_->BuildMKihon();
    db_->CreateSeibun();
    db_->CreateIndexes();
    db_->CreateTekiyoViews();
    db_->SetLastUpdate("2026.11.30");
    ASSERT_FALSE(db_->Db().InTransaction());
  }

  std::string One(const std::string &sql) {
    auto t = db_->Db().GetTable(sql);
    return t->Eof() ? std::string("<no row>") : t->FieldAsString(0);
  }
  int Count(const std::string &table) { return std::stoi(One("SELECT count(*) FROM " + table)); }

  void CheckProducts(bool makers = false) {
    std::vector<Row> products = ReadTsv(Kit::Get().dir() / "expect_products.tsv");
    ASSERT_GT(products.size(), 40u);
    for (const Row &p : products) {
      const std::string bango = *p[0];
      auto t = db_->Db().GetTable("SELECT tsusho, koka, torokubi, seibun1, seibun2, seibun3, seibun4, seibun5 "
                                  "FROM m_kihon WHERE bango = " + bango);
      ASSERT_FALSE(t->Eof()) << bango;
      EXPECT_EQ(t->FieldAsString(0), *p[makers ? 5 : 1]) << bango;
      EXPECT_EQ(t->FieldAsString(1), p[2].value_or("")) << bango;
      EXPECT_EQ(t->FieldAsString(2), *p[3]) << bango;
      std::string slots;
      for (int i = 3; i < 8; ++i) {
        if (t->FieldAsString(i).empty() && i > 3) break;
        slots += (i > 3 ? "|" : "") + t->FieldAsString(i);
      }
      EXPECT_EQ(slots, *p[4]) << bango;
    }
  }

  qmtest::TempDir dir_;
  qmtest::ScopedEngineState state_{dir_.path()};
  TScopedRecordingUi ui_;
  Progress progress_;
  std::unique_ptr<TAcisDB> db_;
};

std::map<std::string, int> ExpectedCounts() {
  std::map<std::string, int> m;
  for (const Row &r : ReadTsv(Kit::Get().dir() / "expect_tables.tsv")) m[*r[0]] = std::stoi(*r[1]);
  return m;
}

TEST_F(BuildTest, PublisherCsvFormMatchesTheKit) {
  Build(Form::PublisherCsv);
  auto counts = ExpectedCounts();
  EXPECT_EQ(Count("m_kihon"), counts["m_kihon"]);
  EXPECT_EQ(Count("seibun"), counts["seibun"]);
  EXPECT_EQ(Count("m_tekiyo"), counts["m_tekiyo"]);
  CheckProducts();
  // The hard cases of the application files.
  for (const Row &c : ReadTsv(Kit::Get().dir() / "expect_cells.tsv")) {
    if (c[3]->rfind("tekiyo", 0) != 0) continue;
    const std::string cond = c[2] ? *c[1] + " = '" + *c[2] + "'" : *c[1] + " IS NULL";
    EXPECT_NE(One("SELECT count(*) FROM m_tekiyo WHERE bango = " + *c[0] + " AND " + cond), "0")
        << cp932::ToUtf8(cond);
  }
  EXPECT_EQ(One("SELECT Value FROM info WHERE Item = 'LastUpdate'"), "2026.11.30");
  EXPECT_EQ(One("SELECT Value FROM info WHERE Item = 'Version'"), "190107");
  EXPECT_EQ(progress_.pos, 96);
  EXPECT_TRUE(ui_.reports.empty());
}

TEST_F(BuildTest, MakersCsvFormMatchesTheKit) {
  Build(Form::MakersCsv);
  auto counts = ExpectedCounts();
  EXPECT_EQ(Count("m_kihon"), counts["m_kihon"]);
  EXPECT_EQ(Count("seibun"), counts["seibun"]);
  EXPECT_EQ(Count("m_tekiyo"), counts["m_tekiyo"]);
  CheckProducts(true);
  for (const Row &c : ReadTsv(Kit::Get().dir() / "expect_cells.tsv")) {
    if (*c[3] != "makers/tekiyo.csv") continue;
    EXPECT_NE(One("SELECT count(*) FROM m_tekiyo WHERE bango = " + *c[0] + " AND " + *c[1] + " = '" + *c[2] + "'"),
              "0")
        << cp932::ToUtf8(*c[2]);
  }
}

TEST_F(BuildTest, WorkbookFormSkipsRecurringHeaders) {
  Build(Form::Workbook);
  auto counts = ExpectedCounts();
  EXPECT_EQ(Count("m_kihon"), counts["m_kihon"]);
  EXPECT_EQ(Count("seibun"), counts["seibun"]);
  EXPECT_EQ(Count("m_tekiyo"), static_cast<int>(ReadTsv(Kit::Get().dir() / "grid_tekiyo1.tsv").size()) - 1);
  CheckProducts();
}

TEST_F(BuildTest, SearchSchemaOnTheBuiltDatabase) {
  Build(Form::PublisherCsv);
  db_->CreateViews();
  ASSERT_TRUE(ui_.reports.empty()) << cp932::ToUtf8(ui_.reports.empty() ? "" : ui_.reports[0].text);
  int views = 0;
  for (const char *rk : {"", "Rk"})
    for (const char *target : {"Saku", "Byochu"})
      for (const char *ts : {"", "Tsusho"})
        for (int d = 1; d <= 5; ++d) {
          std::string name = std::string("tv") + ts + "Tekiyo" + rk + target + std::to_string(d);
          views += Count("temp.sqlite_master WHERE type = 'view' AND name = '" + name + "'");
        }
  EXPECT_EQ(views, 40);
  for (const char *t : {"tSeibun", "t_tokusai", "ttTekiyoSaku", "ttTekiyoByochu", "t_tekiyo"})
    EXPECT_TRUE(db_->TableExists(t)) << t;
  EXPECT_EQ(Count("t_tekiyo"), Count("m_tekiyo"));
  EXPECT_EQ(Count("kihon"), Count("seibun"));

  // A crop search: the work table filled for one crop, read through a result view.
  const std::string crop = One("SELECT sakumotsu FROM m_tekiyo GROUP BY sakumotsu ORDER BY count(*) DESC");
  db_->ExecSQL("INSERT INTO ttTekiyoSaku(bango, shurui, meisho, tsusho, sakumotsu, byochu, kaisu, seibun1, "
               "kaisu1) SELECT bango, shurui, meisho, tsusho, sakumotsu, byochu, kaisu, seibun1, kaisu1 FROM "
               "tekiyo WHERE sakumotsu = '" + crop + "'");
  for (int d = 1; d <= 5; ++d) {
    EXPECT_EQ(Count("tvTekiyoSaku" + std::to_string(d)),
              Count("m_tekiyo WHERE sakumotsu = '" + crop + "'"))
        << d;
    EXPECT_EQ(Count("tvTekiyoRkSaku" + std::to_string(d)),
              Count("m_tekiyo WHERE sakumotsu = '" + crop + "'"))
        << d;
  }
  // Without jpp.db the ingredient view still has the JPP columns, empty.
  auto t = db_->Db().GetTable("SELECT * FROM tvSeibun");
  ASSERT_EQ(t->ColCount(), 15);
  EXPECT_EQ(t->Columns(5), cp932::FromUtf8("JPP系統名"));
  // "-" places read as NULL in the display views.
  EXPECT_EQ(One("SELECT count(*) FROM tv_meishoTekiyo WHERE basho = '-'"), "0");
  // A second run stops at the first numbered view and leaves no transaction open.
  db_->CreateViews();
  EXPECT_FALSE(ui_.reports.empty());
  EXPECT_FALSE(db_->Db().InTransaction());
}

TEST(BuildValues, ValueHelpersAndIngredientSlots) {
  struct Case {
    const char *shurui;
    const char *slots;
  };
  const Case cases[] = {
      {"DEP・MEP乳剤", "seibun1 = 'DEP',seibun2 = 'MEP'"},
      {"石灰硫黄合剤", "seibun1 = '石灰硫黄合剤'"},
      {"全卵粉末水和剤", "seibun1 = '全卵粉末'"},
      {"除虫菊乳剤", "seibun1 = 'ピレトリン'"},
      {"シアン酸塩粒剤", "seibun1 = 'シアン酸ナトリウム'"},
      {"水和硫黄剤", "seibun1 = '硫黄'"},
      {"展着剤", "seibun1 = ''"},
      {"A・B・C・D・E・F水和剤", "seibun1 = 'A',seibun2 = 'B',seibun3 = 'C',seibun4 = 'D',seibun5 = 'E',seibun6 = 'F'"},
      {"O'Neil剤", "seibun1 = 'O''Neil'"},
      {"ポリオキシン・ポリカーバメート水和剤", "seibun1 = 'ポリオキシン',seibun2 = 'ポリカーバメート'"},  // ポ ends in 0x7C
  };
  for (const Case &c : cases)
    EXPECT_EQ(cp932::ToUtf8(SplitShuruiSeibun(cp932::FromUtf8(c.shurui))), c.slots) << c.shurui;
  EXPECT_EQ(QuoteOrNull(""), "NULL");
  EXPECT_EQ(QuoteUnlessNull(""), "''");
  EXPECT_EQ(QuoteUnlessNull("NULL"), "NULL");
  EXPECT_EQ(QuoteRawField("NULL"), "NULL");
  EXPECT_EQ(QuoteRawField(cp932::FromUtf8("ＡＢ'")), "'AB'''");
  EXPECT_EQ(SquareMetreSign("100m2"), "100" + "㎡"_sj);
}

TEST_F(BuildTest, BatchBoundariesAndHostileValues) {
  db_ = std::make_unique<TAcisDB>((dir_ / "acis.db").string(), nullptr);
  db_->CreateTables();
  // Application lines of the makers' form with quotes, blanks, underscores, a preconv call
  // and a backslash: every value arrives as written.
  const std::string weird = "O''Brien_s  preconv(''x'') \\ $1";  // as written in the file
  std::string header = "h0";
  for (int k = 1; k < 25; ++k) header += ",h" + std::to_string(k);
  for (int lines : {10, 11, 20}) {
    std::string csv = header + "\r\n";
    for (int i = 0; i < lines; ++i)
      csv += std::to_string(i + 1) + ",'a','b','c','d','" + weird + "','-','x','y','z','1','2','3','4','5','6','7',"
             "'8','9','10','11','12','13','14','15'\r\n";
    qmtest::WriteFile(dir_ / "t.csv", csv);
    db_->Db().ExecSQL("DELETE FROM m_tekiyo");
    db_->ImportTekiyoCsv((dir_ / "t.csv").string());
    EXPECT_EQ(Count("m_tekiyo"), lines);
    EXPECT_EQ(One("SELECT sakumotsu FROM m_tekiyo LIMIT 1"), "O'Brien_s  preconv('x') \\ $1");
  }
  // A missing file is an input/output error; the open transaction is gone.
  EXPECT_THROW(db_->ImportKihonCsv((dir_ / "missing.csv").string()), EInOutError);
  EXPECT_FALSE(db_->Db().InTransaction());
}

}  // namespace

namespace {

TEST_F(BuildTest, SecondConnectionAnswersTheUpperGroup) {
  Build(Form::PublisherCsv);
  const std::string crop = One("SELECT sakumotsu FROM vg_sakumotsu2 WHERE toroku = 1 AND class = 3 LIMIT 1");
  const std::string parent_code = One("SELECT substr(idsaku,1,6)||'0000000000' FROM vg_sakumotsu2 WHERE sakumotsu = '" +
                                      crop + "'");
  TAcisMiniDB mini((dir_ / "acis.db").string());
  std::string group = mini.UpperGroup(crop);
  // The crop itself and its registered ancestors, deepest first.
  ASSERT_EQ(group.substr(0, crop.size() + 1), crop + ",") << cp932::ToUtf8(group);
  const std::string parent = One("SELECT sakumotsu FROM vg_sakumotsu2 WHERE idsaku = '" + parent_code + "'");
  if (One("SELECT toroku FROM vg_sakumotsu2 WHERE idsaku = '" + parent_code + "'") == "1") {
    EXPECT_NE(group.find("," + parent), std::string::npos) << cp932::ToUtf8(group);
  }
  EXPECT_EQ(mini.UpperGroup("no such crop"), "");
  EXPECT_EQ(mini.UpperGroup("farmer's crop"), "");
  EXPECT_TRUE(ui_.reports.empty()) << cp932::ToUtf8(ui_.reports.empty() ? "" : ui_.reports[0].text);
}

}  // namespace

namespace {

TEST_F(BuildTest, AFailingMakersRowIsReportedAndFailsTheImport) {
  db_ = std::make_unique<TAcisDB>((dir_ / "acis.db").string(), nullptr);
  db_->CreateTables();
  db_->Db().ExecSQL("CREATE TEMP TRIGGER refuse BEFORE INSERT ON kihon WHEN NEW.bango = 3 "
                    "BEGIN SELECT RAISE(ABORT, 'row refused'); END;");
  std::string csv = "a,b,c,d,e,f,g,h,i,j,k\r\n";
  for (int i = 1; i <= 5; ++i)
    csv += std::to_string(i) + ",'A','B','C','D','E','1%',1,'U','Z','2020/01/0" + std::to_string(i) + "'\r\n";
  qmtest::WriteFile(dir_ / "kihon.csv", csv);
  const std::string path = (dir_ / "kihon.csv").string();
  EXPECT_THROW(db_->ImportKihonCsv(path), ESQLiteException);
  ASSERT_EQ(ui_.reports.size(), 1u);
  EXPECT_EQ(ui_.reports[0].title, path + " SQL実行"_sj);
  EXPECT_NE(ui_.reports[0].text.find("row refused"), std::string::npos);
  EXPECT_EQ(Count("kihon"), 2);  // the rows before the failure stay; none after it is taken
  EXPECT_FALSE(db_->Db().InTransaction());
}

}  // namespace

namespace {

// A published file that is no whole copy of the data fails its import, naming the file
// and the line (or the file alone when it holds no record at all), before a row of the
// damaged line is taken: a file cut short, without records, with a column missing or one
// too many on any line (the header first), with bytes no CP932 text holds, with a value
// that does not convert, with a registration number that is no positive integer, or with
// lines of one product that disagree on what the product table takes from them. A
// quoted field over two lines still joins, and an application line may leave out the
// trailing counts of ingredient slots its product does not have, as the publisher's files
// do. Blank lines are passed over but counted, and a stray CR before a line's CR LF is
// part of the line end, not of the last value.
TEST_F(BuildTest, ADamagedPublishedFileFailsItsImport) {
  db_ = std::make_unique<TAcisDB>((dir_ / "acis.db").string(), nullptr);
  db_->CreateTables();
  std::string tekiyo_header = "bango";
  for (int k = 1; k < 25; ++k) tekiyo_header += ",h" + std::to_string(k);
  // Item 19 is the product's number of ingredients.
  auto tekiyo_row = [](int bango, const std::string &crop, int items, int ingredients = 5) {
    std::string row = std::to_string(bango);
    for (int k = 1; k < items; ++k)
      row += k == 5 ? ",\"" + crop + "\"" : k == 19 ? ",\"" + std::to_string(ingredients) + "\"" : ",x";
    return row;
  };
  // The same line with another registration number.
  auto renumber = [](const std::string &row, const std::string &bango) { return bango + row.substr(row.find(',')); };
  // The same line with one text in it changed.
  auto change = [](std::string row, const std::string &from, const std::string &to) {
    return row.replace(row.find(from), from.size(), to);
  };
  const std::string kihon_header = "a,b,c,d,e,f,g,h,i,j,k";
  const std::string kihon_row = "1,\"DEP乳剤\",\"A乳剤\",\"社\",\"DEP\",\"DEP\",\"10%\",1,\"殺虫剤\",\"乳剤\",\"2020/01/01\"";
  const std::string makers_kihon_row = "1,'DEP乳剤','A乳剤','社','DEP','DEP','10%',1,'殺虫剤','乳剤','2020/01/01'";
  std::string makers_tekiyo_row = "1";
  for (int k = 1; k < 25; ++k) makers_tekiyo_row += k == 5 ? ",'稲'" : k == 24 ? ",NULL" : ",'x'";
  enum Form { RawKihon, RawTekiyo, MakersKihon, MakersTekiyo };
  const char *const kNone = "<none>";  // no header line: the file is the body alone
  struct Case {
    const char *what;
    Form form;
    std::string body;   // UTF-8, after the header line
    int failing_line;   // 0: the import succeeds; -1: fails for the whole file
    int rows;           // rows imported when it succeeds
    std::string header = {};  // in place of the form's own
    std::string says = {};    // what the failure names (UTF-8), or for an import that
                              // succeeds a condition every row it imports meets (SQL)
  } cases[] = {
      {"cut after a lead byte inside quotes", RawTekiyo,
       tekiyo_row(10032, "稲", 25) + "\r\n" + "10033,x,x,x,x,\"稲" + "\x88", 3, 0},
      {"last line short of the header's fields", RawTekiyo,
       tekiyo_row(1, "稲", 25) + "\r\n" + tekiyo_row(2, "麦", 12) + "\r\n", 3, 0},
      {"short line without the counts of slots the product lacks is padded", RawTekiyo,
       tekiyo_row(1, "稲", 22, 2) + "\r\n" + tekiyo_row(2, "麦", 25) + "\r\n\r\n", 0, 2},
      {"short line without a count the product needs", RawTekiyo,
       tekiyo_row(1, "稲", 22, 3) + "\r\n" + tekiyo_row(2, "麦", 25) + "\r\n\r\n", 2, 0},
      {"short line cut before the number of ingredients", RawTekiyo,
       tekiyo_row(1, "稲", 25) + "\r\n" + tekiyo_row(2, "麦", 19) + "\r\n" + tekiyo_row(3, "粟", 25) + "\r\n", 3, 0},
      {"extra trailing field on one record", RawTekiyo,
       tekiyo_row(1, "稲", 25) + "\r\n" + tekiyo_row(2, "麦", 26) + "\r\n" + tekiyo_row(3, "粟", 25) + "\r\n", 3, 0},
      {"last column dropped on every line, the header too", RawTekiyo,
       tekiyo_row(1, "稲", 24) + "\r\n" + tekiyo_row(2, "麦", 24) + "\r\n", 1, 0,
       tekiyo_header.substr(0, tekiyo_header.rfind(','))},
      {"second part's header with its access number", RawTekiyo,
       tekiyo_row(1, "稲", 26) + "\r\n", 0, 1,
       tekiyo_header.substr(0, tekiyo_header.find(",h19")) + ",アクセスＮＯ" +
           tekiyo_header.substr(tekiyo_header.find(",h19") + 4) + ",h25"},
      {"header only", RawTekiyo, "", -1, 0},
      {"header and blank lines only", RawTekiyo, "\r\n\r\n", -1, 0},
      {"empty file", RawKihon, "", -1, 0, kNone},
      {"quoted field over two lines at the end", RawTekiyo,
       tekiyo_row(1, "稲", 25) + "\r\n" + tekiyo_row(2, "麦\r\nの続き", 25) + "\r\n", 0, 2},
      {"basic part cut inside quotes", RawKihon, kihon_row + "\r\n" + kihon_row.substr(0, 28), 3, 0},
      {"basic part short of fields", RawKihon, kihon_row + "\r\n2,\"A\",\"B\"\r\n", 3, 0},
      {"a byte no CP932 text holds", RawKihon, kihon_row + "\r\n" + kihon_row + "\x80\r\n", 3, 0},
      {"a date that is none", RawKihon,
       kihon_row + "\r\n" + kihon_row.substr(0, kihon_row.rfind(',')) + ",\"\"\r\n", 3, 0},
      {"whole basic part", RawKihon, kihon_row + "\r\n", 0, 1},
      {"makers' products with a field too many", MakersKihon, makers_kihon_row + ",'x'\r\n", 2, 0},
      {"makers' products header only", MakersKihon, "", -1, 0},
      {"makers' applications short on every line", MakersTekiyo, "1,'a','b','c','d','稲'\r\n", 2, 0},
      {"whole makers' products", MakersKihon, makers_kihon_row + "\r\n", 0, 1},
      // Registration numbers.
      {"application line without its number", RawTekiyo,
       tekiyo_row(1, "稲", 25) + "\r\n" + renumber(tekiyo_row(2, "麦", 25), "") + "\r\n", 3, 0, {},
       "行目: 登録番号がありません"},
      {"application number NULL", RawTekiyo, renumber(tekiyo_row(1, "稲", 25), "NULL") + "\r\n", 2, 0, {},
       "登録番号がありません"},
      {"application number with a sign", RawTekiyo, renumber(tekiyo_row(1, "稲", 25), "-3") + "\r\n", 2, 0, {},
       "登録番号 '-3' が正の整数ではありません"},
      {"product number zero", RawKihon, renumber(kihon_row, "000") + "\r\n", 2, 0, {}, "'000'"},
      {"product number with a fraction", RawKihon, kihon_row + "\r\n" + renumber(kihon_row, "2.5") + "\r\n", 3, 0,
       {}, "'2.5'"},
      {"product number in full-width digits", RawKihon, renumber(kihon_row, "１２") + "\r\n", 2, 0, {}, "'１２'"},
      {"product number too large for an integer", RawKihon, renumber(kihon_row, "1234567890123456789") + "\r\n",
       2, 0, {}, "'1234567890123456789'"},
      {"makers' product with an empty key", MakersKihon,
       makers_kihon_row + "\r\n" + renumber(makers_kihon_row, "") + "\r\n", 3, 0, {}, "登録番号がありません"},
      {"makers' product with a text key", MakersKihon, renumber(makers_kihon_row, "'A12'") + "\r\n", 2, 0, {},
       "登録番号 'A12' が正の整数ではありません"},
      {"makers' application number NULL", MakersTekiyo, renumber(makers_tekiyo_row, "NULL") + "\r\n", 2, 0, {},
       "登録番号がありません"},
      {"a long number shown by its beginning", MakersTekiyo,
       renumber(makers_tekiyo_row, "ああああああああああああああああああああ") + "\r\n", 2, 0, {},
       "'ああああああああああああ...'"},
      {"numbers with leading zeros", RawKihon, renumber(kihon_row, "0042") + "\r\n", 0, 1, {}, "bango = 42"},
      {"a line of nothing but commas", MakersKihon, makers_kihon_row + "\r\n" + std::string(100000, ',') + "\r\n", 3, 0,
       {}, "項目数が 100001 です"},
      // A product's lines (one per ingredient) agree on all that the product table takes.
      {"makers' lines of one product, one per ingredient", MakersKihon,
       makers_kihon_row + "\r\n" + change(makers_kihon_row, "'DEP','DEP','10%',1", "'MEP','MEP','5%',01") + "\r\n", 0,
       2},
      {"makers' lines of one product that disagree on its name", MakersKihon,
       makers_kihon_row + "\r\n" + change(makers_kihon_row, "'A乳剤'", "'B乳剤'") + "\r\n", 3, 0, {},
       "登録番号 1 の「農薬の名称」が 2 行目と食い違っています"},
      {"publisher's lines of one product that disagree on its date", RawKihon,
       kihon_row + "\r\n\r\n" + change(kihon_row, "2020/01/01", "2020/01/02") + "\r\n", 4, 0, {},
       "登録番号 1 の「登録年月日」が 2 行目と食い違っています"},
      // Blank lines and line ends.
      {"blank lines between records still count", MakersKihon,
       makers_kihon_row + "\r\n\r\n\n\r\r\n" + renumber(makers_kihon_row, "x") + "\r\n", 6, 0, {}, "'x'"},
      {"blank lines of every line end, between and after the records", MakersTekiyo,
       makers_tekiyo_row + "\r\n\n\r\r\n" + renumber(makers_tekiyo_row, "2") + "\r\n\n\n\r\r\n", 0, 2},
      {"makers' applications with a stray CR before each CR LF", MakersTekiyo,
       makers_tekiyo_row + "\r\r\n" + renumber(makers_tekiyo_row, "2") + "\r\r\n", 0, 2, {},
       "kaisu5 IS NULL AND kaisu4 = 'x'"},
      {"makers' products with a stray CR before each CR LF", MakersKihon,
       makers_kihon_row + "\r\r\n" + renumber(makers_kihon_row, "2") + "\r\r\n", 0, 2, {},
       "torokubi = '2020.01.01'"},
      {"publisher's products with a stray CR, the header too", RawKihon, kihon_row + "\r\r\n", 0, 1,
       kihon_header + "\r", "torokubi = '2020.01.01'"},
      {"a CR inside a quoted value stays", MakersTekiyo,
       makers_tekiyo_row.substr(0, makers_tekiyo_row.rfind(',')) + ",'5\r'\r\r\n", 0, 1, {},
       "kaisu5 = '5' || char(13)"},
      {"a quoted value over two lines keeps a CR before its line end", RawTekiyo,
       tekiyo_row(1, "麦\r\r\nの続き", 25) + "\r\r\n", 0, 1, {},
       "sakumotsu = '麦' || char(13) || 'の続き' AND kaisu5 = 'x'"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    db_->Db().ExecSQL("DELETE FROM m_tekiyo; DELETE FROM kihon;");
    const fs::path file = dir_ / "part.csv";
    const bool tekiyo = c.form == RawTekiyo || c.form == MakersTekiyo;
    std::string header = c.header.empty() ? (tekiyo ? tekiyo_header : kihon_header) : c.header;
    std::string bytes = header == kNone ? "" : cp932::FromUtf8(header + "\r\n");
    // A lone byte at the end (a cut after a lead byte, a stray byte) no conversion may repair.
    std::string body = c.body, tail;
    for (const char *stray : {"\x88", "\x80\r\n"})
      if (body.size() > std::strlen(stray) && body.compare(body.size() - std::strlen(stray), std::string::npos, stray) == 0) {
        tail = stray;
        body.erase(body.size() - tail.size());
      }
    bytes += cp932::FromUtf8(body) + tail;
    qmtest::WriteFile(file, bytes);
    const std::string path = file.string();
    auto run = [&] {
      switch (c.form) {
        case RawKihon: db_->ImportKihonRawCsv(path); break;
        case RawTekiyo: db_->ImportTekiyoRawCsv(path); break;
        case MakersKihon: db_->ImportKihonCsv(path); break;
        case MakersTekiyo: db_->ImportTekiyoCsv(path); break;
      }
    };
    const char *table = tekiyo ? "m_tekiyo" : "kihon";
    if (c.failing_line == 0) {
      try {
        run();
      } catch (const std::exception &e) {
        ADD_FAILURE() << cp932::ToUtf8(e.what());
        continue;
      }
      EXPECT_EQ(Count(table), c.rows);
      if (tekiyo) {
        EXPECT_EQ(One("SELECT count(*) FROM m_tekiyo WHERE sakumotsu IS NULL"), "0");
      }
      if (!c.says.empty()) {
        EXPECT_EQ(Count(std::string(table) + " WHERE " + cp932::FromUtf8(c.says)), c.rows);
      }
      continue;
    }
    try {
      run();
      ADD_FAILURE() << "no failure";
    } catch (const EInOutError &e) {
      const std::string where =
          c.failing_line < 0 ? path + ": " : path + " " + std::to_string(c.failing_line) + "行目: "_sj;
      EXPECT_EQ(std::string(e.what()).rfind(where, 0), 0u) << cp932::ToUtf8(e.what());
      EXPECT_NE(std::string(e.what()).find("取り直してから再実行してください"_sj), std::string::npos);
      EXPECT_NE(std::string(e.what()).find(cp932::FromUtf8(c.says)), std::string::npos) << cp932::ToUtf8(e.what());
    }
    EXPECT_FALSE(db_->Db().InTransaction());
    // No row of the damaged line, none after it, and none made of nothing but its number.
    EXPECT_LT(Count(table), std::max(c.failing_line - 1, 1));
    EXPECT_EQ(One("SELECT count(*) FROM m_tekiyo WHERE sakumotsu IS NULL AND byochu IS NULL"), "0");
  }
}

}  // namespace

namespace {

// Applications whose number is no product's stay, and the log counts them and names the
// first numbers; a set whose numbers all fit logs nothing of the kind.
TEST_F(BuildTest, ApplicationsWithoutTheirProductAreKeptAndLogged) {
  qmtest::LogLines log;
  db_ = std::make_unique<TAcisDB>((dir_ / "acis.db").string(), &log);
  db_->CreateTables();
  std::string kihon = "a,b,c,d,e,f,g,h,i,j,k\r\n";
  for (int bango : {1, 2})
    kihon += std::to_string(bango) + ",'DEP乳剤','A乳剤','社','DEP','DEP','10%',1,'殺虫剤','乳剤','2020/01/01'\r\n";
  qmtest::WriteFile(dir_ / "kihon.csv", cp932::FromUtf8(kihon));
  auto tekiyo = [](std::initializer_list<int> numbers) {
    std::string csv = "h0";
    for (int k = 1; k < 25; ++k) csv += ",h" + std::to_string(k);
    csv += "\r\n";
    for (int bango : numbers) {
      csv += std::to_string(bango);
      for (int k = 1; k < 25; ++k) csv += ",'x'";
      csv += "\r\n";
    }
    return csv;
  };
  const std::string line_start = "登録基本部にない登録番号の適用"_sj;
  auto logged = [&] {
    for (const std::string &l : log.lines)
      if (l.rfind(line_start, 0) == 0) return l;
    return std::string();
  };

  qmtest::WriteFile(dir_ / "tekiyo.csv", tekiyo({9, 1, 7, 9, 3, 2, 4, 5, 6, 8}));
  db_->ImportKihonCsv((dir_ / "kihon.csv").string());
  db_->ImportTekiyoCsv((dir_ / "tekiyo.csv").string());
  db_->FillTmKihon();
  EXPECT_EQ(cp932::ToUtf8(logged()), "登録基本部にない登録番号の適用: 8 件 (登録番号 3, 4, 5, 6, 7 ...)");
  EXPECT_EQ(Count("m_tekiyo"), 10);

  log.lines.clear();
  db_ = std::make_unique<TAcisDB>((dir_ / "acis2.db").string(), &log);
  db_->CreateTables();
  qmtest::WriteFile(dir_ / "tekiyo.csv", tekiyo({2, 1, 2}));
  db_->ImportKihonCsv((dir_ / "kihon.csv").string());
  db_->ImportTekiyoCsv((dir_ / "tekiyo.csv").string());
  db_->FillTmKihon();
  EXPECT_EQ(logged(), "");
  EXPECT_EQ(Count("m_tekiyo WHERE bango IN (SELECT bango FROM tm_kihon)"), 3);
}

}  // namespace
