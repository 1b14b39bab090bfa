#include <gtest/gtest.h>

#include <vector>

#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "support/testutil.h"

namespace {

std::string S(const std::string &utf8) { return cp932::FromUtf8(utf8); }

const char *kSeizaiHeader =
    "#登録番号,混合数,登録種類名,商品名,登録会社名コード,登録会社名,登録会社連絡先,農薬用途コード,用途,"
    "物理化学的性状,初登録年月日,登録有効期限,失効,失効日,剤型コード,剤型名,人畜毒性(製剤としての),登録(更新)日,"
    "JPP農薬種類コード,JPP農薬種類名,失効理由,屋号抜き商品名,有機JASでの使用（注釈）※「使用できる」とは別表2に"
    "掲載されている農薬をいう,水産動植物への影響に係る使用上の注意事項,作用機構分類コード(IRAC),"
    "作用機構分類コード(FRAC),作用機構分類コード(HRAC)";
const char *kSeibunHeader =
    "#登録番号,有効成分コード,登録種類名,出力順,含有量,含有量(注釈),有効成分,有効成分種類,化学名,有効成分用途,"
    "人畜毒性(成分としての),毒劇除外1,毒劇除外2,失効日,系統コード,系統名,JPP農薬種類コード,JPP農薬種類名,"
    "作用機構分類コード,作用機構分類名";

// One CSV line of n fields: the given ones first, then "v<index>".
std::string Line(std::vector<std::string> fields, std::size_t n) {
  for (std::size_t i = fields.size(); i < n; ++i) fields.push_back("v" + std::to_string(i));
  std::string out;
  for (std::size_t i = 0; i < fields.size(); ++i) out += (i ? "," : "") + fields[i];
  return out;
}

struct Bar : IProgressTarget {
  int min = -1, max = -1, pos = -1;
  std::vector<int> positions;
  void SetRange(int a, int b) override { min = a, max = b; }
  void SetPosition(int p) override { positions.push_back(pos = p); }
  int Position() const override { return pos; }
};

class JppImportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_folder_ = OptionData->DbFolder;
    OptionData->DbFolder = dir_.path().string();
    TAcisDB::ReferenceRefresh = nullptr;
    db_ = std::make_unique<TAcisDB>((dir_ / "acis.db").string(), nullptr);
    db_->SetProgressBar(&bar_);
  }
  void TearDown() override {
    db_.reset();
    OptionData->DbFolder = saved_folder_;
  }
  std::string Write(const char *name, const std::vector<std::string> &lines_utf8) {
    std::string text;
    for (const auto &l : lines_utf8) text += S(l) + "\r\n";
    qmtest::WriteFile(dir_ / name, text);
    return (dir_ / name).string();
  }
  // Rows of a query as UTF-8 cells joined with "|".
  std::vector<std::string> Rows(const std::string &sql) {
    auto t = db_->Db().GetTable(sql);
    std::vector<std::string> out;
    for (; !t->Eof(); t->Next()) {
      std::string row;
      for (int c = 0; c < t->ColCount(); ++c) row += (c ? "|" : "") + cp932::ToUtf8(t->FieldAsString(c));
      out.push_back(row);
    }
    return out;
  }

  qmtest::TempDir dir_;
  TScopedRecordingUi ui_;
  Bar bar_;
  std::unique_ptr<TAcisDB> db_;
  std::string saved_folder_;
};

}  // namespace

// Values that would break or extend an SQL statement pasted together (quotes, a
// statement of their own) are stored exactly as they are.
TEST_F(JppImportTest, ProductFileRowsAreStoredAsTheyStand) {
  std::string path = Write(
      "seizai.csv",
      {std::string(kSeizaiHeader) + ",追加の列",
       Line({"52", "1", "殺虫剤", "\"ｷﾝﾁｮｰ 除虫菊乳剤3, 500ml\"", "K01", "O'Brien化学",
             "\"x'); DROP TABLE jpp.jppSeizai; --\"", "\"say \"\"hi\"\"\""},
            27),
       Line({"90", "2", "殺菌剤", "クロールピクリン"}, 27), std::string(kSeizaiHeader),
       Line({"100", "1", "除草剤", "preconv('ア')"}, 27)});
  ASSERT_TRUE(db_->ImportJppSeizai(S(path)));
  EXPECT_TRUE(std::filesystem::exists(dir_ / "jpp.db"));
  EXPECT_TRUE(ui_.boxes.empty());
  EXPECT_TRUE(ui_.reports.empty());
  EXPECT_EQ(Rows("SELECT bango, typeof(bango), kongo, shurui, shohinmei, kaisya, tel, idyoto, hrac FROM jpp.jppSeizai"),
            (std::vector<std::string>{
                "52|integer|1|殺虫剤|ｷﾝﾁｮｰ 除虫菊乳剤3, 500ml|O'Brien化学|x'); DROP TABLE jpp.jppSeizai; --|say \"hi\"|v26",
                "90|integer|2|殺菌剤|クロールピクリン|v5|v6|v7|v26", "100|integer|1|除草剤|preconv('ア')|v5|v6|v7|v26"}));
  // One pump per line, the bar over all lines.
  EXPECT_EQ(ui_.pumps, 5);
  EXPECT_EQ(bar_.max, 5);
  EXPECT_EQ(bar_.positions, (std::vector<int>{0, 1, 2, 3, 4}));

  // A second import replaces the table's rows.
  ASSERT_TRUE(db_->ImportJppSeizai(S(path)));
  EXPECT_EQ(Rows("SELECT count(*) FROM jpp.jppSeizai"), std::vector<std::string>{"3"});
}

TEST_F(JppImportTest, IngredientFileConvertsItsNameColumns) {
  std::string path = Write(
      "seibun.csv",
      {kSeibunHeader,
       Line({"52", "1001", "ＡＢＣ殺虫剤", "1", "3.0%", "（注）", "ピレトリン", "ｶﾀｶﾅ", "\"2,2'-ジクロロ\"", "O'Neil"}, 20),
       Line({"52", "1002", "殺虫剤", "2", "1.0%"}, 20)});
  ASSERT_TRUE(db_->ImportJppSeibun(S(path)));
  EXPECT_EQ(Rows("SELECT typeof(bango), typeof(idseibun), shurui, typeof(idsub), nodo, nodochu, ippanmei, seibun, "
                 "kagakumei, yoto, sayokikobunrui FROM jpp.jppSeibun ORDER BY idsub"),
            (std::vector<std::string>{"integer|integer|ABC殺虫剤|integer|3.0%|(注)|ピレトリン|カタカナ|2,2’-ジクロロ|O'Neil|v19",
                                      "integer|integer|殺虫剤|integer|1.0%|v5|v6|v7|v8|v9|v19"}));
}

TEST_F(JppImportTest, WrongOrMissingFileTouchesNothing) {
  // Neither makes jpp.db where there was none.
  for (bool seibun : {false, true}) {
    const std::string path = Write("wrong0.csv", {seibun ? kSeizaiHeader : kSeibunHeader, Line({"90", "2"}, 27)});
    EXPECT_FALSE(seibun ? db_->ImportJppSeibun(S(path)) : db_->ImportJppSeizai(S(path)));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "jpp.db")) << seibun;
  }
  ui_.boxes.clear();
  ASSERT_TRUE(db_->ImportJppSeizai(S(Write("good.csv", {kSeizaiHeader, Line({"52", "1"}, 27)}))));
  struct Case {
    bool seibun;
    std::string first_line;
    const char *box;
  } cases[] = {
      {false, kSeibunHeader, "剤の概要CSVファイルではありません"},
      {false, "", "剤の概要CSVファイルではありません"},
      {true, kSeizaiHeader, "JPP-NET 有効成分CSVファイルではありません"},
  };
  for (const Case &c : cases) {
    ui_.boxes.clear();
    std::string path = Write("wrong.csv", {c.first_line, Line({"90", "2"}, 27)});
    EXPECT_FALSE(c.seibun ? db_->ImportJppSeibun(S(path)) : db_->ImportJppSeizai(S(path)));
    ASSERT_EQ(ui_.boxes.size(), 1u);
    EXPECT_EQ(cp932::ToUtf8(ui_.boxes[0].text), c.box);
    EXPECT_EQ(ui_.boxes[0].flags, MB_OK | MB_ICONERROR);
  }
  ui_.boxes.clear();
  EXPECT_FALSE(db_->ImportJppSeizai(S((dir_ / "none.csv").string())));
  EXPECT_FALSE(db_->ImportJppSeibun(S((dir_ / "none.csv").string())));
  EXPECT_TRUE(ui_.boxes.empty());
  EXPECT_EQ(Rows("SELECT bango FROM jpp.jppSeizai"), std::vector<std::string>{"52"});
}

// A file that fails part way raises and leaves the previous table as it was; when there
// was no jpp.db, none is left behind.
TEST_F(JppImportTest, FailedImportKeepsThePreviousTable) {
  EXPECT_THROW(db_->ImportJppSeizai(S(Write("dup0.csv", {kSeizaiHeader, Line({"7"}, 27), Line({"7"}, 27)}))),
               ESQLiteException);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "jpp.db"));

  ASSERT_TRUE(db_->ImportJppSeizai(S(Write("good.csv", {kSeizaiHeader, Line({"52", "1", "旧"}, 27)}))));
  ASSERT_TRUE(db_->ImportJppSeibun(S(Write("good2.csv", {kSeibunHeader, Line({"52", "1", "旧"}, 20)}))));
  EXPECT_THROW(db_->ImportJppSeizai(S(Write("dup.csv", {kSeizaiHeader, Line({"60", "1", "新"}, 27),
                                                        Line({"60", "1", "新"}, 27)}))),
               ESQLiteException);
  EXPECT_THROW(db_->ImportJppSeibun(S(Write("short.csv", {kSeibunHeader, Line({"60", "1", "新"}, 20),
                                                          Line({"61", "1", "新"}, 12)}))),
               EConvertError);
  EXPECT_EQ(Rows("SELECT bango, shurui FROM jpp.jppSeizai"), std::vector<std::string>{"52|旧"});
  EXPECT_EQ(Rows("SELECT bango, shurui FROM jpp.jppSeibun"), std::vector<std::string>{"52|旧"});
  // The connection is usable afterwards, and a good file imports again.
  ASSERT_TRUE(db_->ImportJppSeizai(S(Write("good3.csv", {kSeizaiHeader, Line({"53", "1", "次"}, 27)}))));
  EXPECT_EQ(Rows("SELECT bango, shurui FROM jpp.jppSeizai"), std::vector<std::string>{"53|次"});
}

// jpp.db present at opening is attached then, and the imports do not attach it again.
TEST_F(JppImportTest, PresentJppDbIsNotAttachedAgain) {
  ASSERT_TRUE(db_->ImportJppSeizai(S(Write("a.csv", {kSeizaiHeader, Line({"52"}, 27)}))));
  db_ = std::make_unique<TAcisDB>((dir_ / "acis.db").string(), nullptr);
  ASSERT_TRUE(db_->ImportJppSeizai(S(Write("b.csv", {kSeizaiHeader, Line({"53"}, 27)}))));
  ASSERT_TRUE(db_->ImportJppSeibun(S(Write("c.csv", {kSeibunHeader, Line({"53"}, 20)}))));
  EXPECT_TRUE(ui_.reports.empty()) << (ui_.reports.empty() ? "" : cp932::ToUtf8(ui_.reports[0].text));
  EXPECT_EQ(Rows("SELECT bango FROM jpp.jppSeizai"), std::vector<std::string>{"53"});
}
