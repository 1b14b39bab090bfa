// The chemical tab's conditions, judged by the rows they select on a small keyword table,
// and the script runner that stops at a failing statement.
#include "engine/YakuzaiQuery.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "engine/SQLite.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "platform/cp932.h"
#include "support/enginefixture.h"
#include "support/testutil.h"

namespace {

std::string S(const char *utf8) { return cp932::FromUtf8(utf8); }

std::string Column(TSQLiteDb &db, const std::string &sql) {
  auto t = db.GetTable(sql);
  std::string out;
  for (; !t->Eof(); t->Next()) out += (out.empty() ? "" : ",") + t->FieldAsString(0);
  return out;
}

TEST(YakuzaiQuery, KeywordSelectsNumbersOrProductsHavingEveryWord) {
  qmtest::TempDir dir;
  TSQLiteDb db(dir.str() + "k.db");
  db.MultiStatement = true;
  db.ExecSQL(S("CREATE TABLE kwlists (bango integer, kws varchar);"
               "INSERT INTO kwlists VALUES (1, 'ダコニール1000、TPN、殺菌剤');"
               "INSERT INTO kwlists VALUES (3, 'オブライエン O''Brien水和剤、TPN');"
               "INSERT INTO kwlists VALUES (100, 'アタックワン、ＴＰＮ、殺虫剤');"
               "INSERT INTO kwlists VALUES (150, 'キャプタン水和剤、殺菌剤');"));
  const struct {
    const char *keyword;
    const char *bango;
  } cases[] = {
      {"TPN", "1,3,100"},
      {"ｔｐｎ", "1,3,100"},            // folded: full width and case do not matter
      {"ＴＰＮ　殺菌", "1"},            // full-width blank between two words
      {"殺菌剤、水和", "150"},          // "、" separates words
      {"TPN＆殺虫", "100"},             // so does "＆"
      {"TPN  殺菌剤", "1"},             // two blanks give no empty word
      {"O'Brien", "3"},                 // an apostrophe is searched for
      {"3", "3"},                       // a registration number
      {"＞１００", "100,150"},          // from the number upward, after the half-width conversion
      {"<3", "1,3"},
      {"0", "1"},                       // not a positive number: a keyword (in "1000")
      {">>1", ""},
      {"1000", ""},                     // the number, not the "1000" of a product name
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.keyword);
    const std::string cond = YakuzaiKeywordCond(S(c.keyword));
    EXPECT_EQ(Column(db, "SELECT bango FROM kwlists WHERE " + cond + ") ORDER BY bango"), c.bango);
  }
  EXPECT_TRUE(IsBangoTerm(S("＞１００")));
  EXPECT_TRUE(IsBangoTerm("12"));
  EXPECT_FALSE(IsBangoTerm("0"));
  EXPECT_FALSE(IsBangoTerm("1234567890123"));  // no registration number, and no overflow
  EXPECT_FALSE(IsBangoTerm(S("ダコニール")));
}

TEST(YakuzaiQuery, UseAndCropConditionsQuoteTheirValues) {
  EXPECT_EQ(YotoCond(""), "");
  EXPECT_EQ(YotoCond(S("全て")), "");
  EXPECT_EQ(YotoCond(S("殺菌剤")), S(" AND seizaiyoto = '殺菌剤'"));
  EXPECT_EQ(YotoCond("a'b"), " AND seizaiyoto = 'a''b'");
  EXPECT_EQ(IsSakumotsuStr(""), "");
  EXPECT_EQ(IsSakumotsuStr(S("トマト,ミニトマト")), S(" AND sakumotsu IN ('トマト','ミニトマト')"));
  EXPECT_EQ(KaisuCaption(""), "");
  EXPECT_EQ(KaisuCaption(S("TPN")), S("TPNを含む農薬の使用回数"));
}

TEST(YakuzaiQuery, AFailingScriptStopsAndLeavesNoTransactionOpen) {
  qmtest::TempDir dir;
  qmtest::ScopedEngineState engine(dir.path());
  TScopedRecordingUi ui;
  TAcisDB db(dir.str() + "acis.db", nullptr);
  db.SetMultiStatement(false);
  EXPECT_FALSE(ExecSearchScript(db, "BEGIN TRANSACTION;CREATE TEMP TABLE a (x);INSERT INTO nosuch VALUES(1);"
                                    "CREATE TEMP TABLE b (x);COMMIT;"));
  EXPECT_EQ(ui.reports.size(), 1u);
  EXPECT_NE(sqlite3_get_autocommit(db.Db().Handle()), 0);
  EXPECT_FALSE(db.TableExists("a"));
  EXPECT_FALSE(db.TableExists("b"));
  // The next script starts its own transaction, and the caller's switch is as it was.
  EXPECT_TRUE(ExecSearchScript(db, CreateBangoTableSQL("")));
  EXPECT_TRUE(db.TableExists("t_bango"));
  EXPECT_FALSE(db.Db().MultiStatement);
  EXPECT_NE(sqlite3_get_autocommit(db.Db().Handle()), 0);
}

}  // namespace
