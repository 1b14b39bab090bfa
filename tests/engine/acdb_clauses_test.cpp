#include "engine/acdb_clauses.h"

#include <gtest/gtest.h>

#include "engine/SQLite.h"
#include "platform/cp932.h"
#include "support/testutil.h"

namespace {

std::string S(const char *utf8) { return cp932::FromUtf8(utf8); }
std::string U(const std::string &sjis) { return cp932::ToUtf8(sjis); }

TEST(SqlClauses, WordsBecomeConditions) {
  struct Case {
    const char *name;
    std::string (*build)(const std::string &);
    const char *words;
    const char *sql;
  } cases[] = {
      {"like", [](const std::string &w) { return LikeOrCond(w, "meisho"); }, "a b",
       "meisho LIKE 'a' or meisho LIKE 'b'"},
      {"like, full-width blank", [](const std::string &w) { return LikeOrCond(w, "meisho"); },
       "a　b", "meisho LIKE 'a' or meisho LIKE 'b'"},
      {"like, two blanks", [](const std::string &w) { return LikeOrCond(w, "meisho"); }, "a  b",
       "meisho LIKE 'a' or meisho LIKE '' or meisho LIKE 'b'"},
      {"like, quoted word", [](const std::string &w) { return LikeOrCond(w, "meisho"); },
       "\"a b\",c", "meisho LIKE 'a,b' or meisho LIKE 'c'"},
      {"like, none", [](const std::string &w) { return LikeOrCond(w, "meisho"); }, "", ""},
      {"like, apostrophe", [](const std::string &w) { return LikeOrCond(w, "meisho"); },
       "O'Brien", "meisho LIKE 'O''Brien'"},
      {"match with other names",
       [](const std::string &w) { return SakumotsuBetsumeiMatchOr(w, "sakumotsu"); }, "とまと,なす",
       "concat('、',sakumotsu,betsumei) MATCH '%とまと%' or "
       "concat('、',sakumotsu,betsumei) MATCH '%なす%'"},
      {"match", SakumotsuMatchOr, "とまと", "sakumotsu MATCH 'とまと'"},
      {"match, none", SakumotsuMatchOr, "", ""},
      {"quoted list", QuotedCommaList, "a,b c", "'a','b','c'"},
      {"quoted list, apostrophe", QuotedCommaList, "d'or", "'d''or'"},
      {"quoted list, none", QuotedCommaList, "", ""},
      {"alternation", RegexpAlternation, "a b", "'(a|b)'"},
      {"alternation, none", RegexpAlternation, "", "'()'"},
      {"in", [](const std::string &w) { return InListCond(w, "yoto"); }, "殺虫剤,殺菌剤",
       " yoto IN ('殺虫剤','殺菌剤')"},
      {"in, all", [](const std::string &w) { return InListCond(w, "yoto"); }, "全て", ""},
      {"in, empty", [](const std::string &w) { return InListCond(w, "yoto"); }, "", ""},
      {"in, apostrophe", [](const std::string &w) { return InListCond(w, "yoto"); }, "x'y",
       " yoto IN ('x''y')"},
  };
  for (const auto &c : cases) EXPECT_EQ(U(c.build(S(c.words))), c.sql) << c.name;

  EXPECT_EQ(AndIfBoth("a", "b"), " AND ");
  EXPECT_EQ(AndIfBoth("a", ""), "");
  EXPECT_EQ(AndIfBoth("", "b"), "");
  EXPECT_EQ(WhereIfNotEmpty("a"), " WHERE ");
  EXPECT_EQ(WhereIfNotEmpty(""), "");
}

TEST(SqlClauses, ApostrophesInWordsAreSearchedFor) {
  TSQLiteDb db(":memory:");
  db.MultiStatement = true;
  db.ExecSQL("create table t(meisho varchar, yoto varchar);"
             "insert into t values ('O''Brien', 'x''y'), ('Brien', 'y');");
  auto rows = db.GetTable("select meisho from t where " + LikeOrCond("O'Brien Smith", "meisho") +
                          " and" + InListCond("x'y,z", "yoto") + " and meisho in (" +
                          QuotedCommaList("O'Brien") + ")");
  ASSERT_EQ(rows->Count(), 1);
  EXPECT_EQ(rows->FieldAsString(0), "O'Brien");
}

TEST(SqlClauses, NumberedItemsComeApart) {
  struct Case {
    const char *item;
    const char *code;
    const char *text;
  } cases[] = {
      {"   12 水稲", "12", "水稲"},
      {"    7 水稲(箱育苗)", "7", "水稲(箱育苗)"},
      {"12345 x", "12345", "x"},
      {"   12", "", ""},
      {"    7 ", "7", ""},
      {"", "", ""},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(U(ComboItemCode(S(c.item))), c.code) << c.item;
    EXPECT_EQ(U(ComboItemText(S(c.item))), c.text) << c.item;
  }
  EXPECT_EQ(U(ToZenkakuKana(S("ｶﾞｰﾃﾞﾝ 1ABC"))), "ガーデン 1ABC");
  EXPECT_EQ(ToZenkakuKana(""), "");
}

TEST(SqlClauses, DayNumbersAndDateTexts) {
  struct Case {
    const char *serial;
    const char *date;
  } serials[] = {
      {"43831", "2020.01.01"}, {"0", "1899.12.30"},     {"-1", "1899.12.29"},
      {"60", "1900.02.28"},    {"61", "1900.03.01"},    {"2958465", "9999.12.31"},
      {"-693593", "0001.01.01"}, {"45351", "2024.02.29"},
  };
  for (const auto &c : serials) EXPECT_EQ(SerialToDateText(c.serial), c.date) << c.serial;
  for (const char *bad : {"", "abc", "43831.5", "2958466", "-693594", "12x"})
    EXPECT_THROW(SerialToDateText(bad), Exception) << bad;

  struct DateCase {
    const char *text;
    const char *date;
  } dates[] = {
      {"2020/01/05", "2020.01.05"}, {"2020/1/5", "2020.01.05"}, {" 2024/2/29 ", "2024.02.29"},
      {"20/3/4", "2020.03.04"},     {"99/12/31", "1999.12.31"},
  };
  for (const auto &c : dates) EXPECT_EQ(DateTextNormalize(c.text), c.date) << c.text;
  for (const char *bad : {"", "2020/02/30", "2023/2/29", "2020-01-05", "2020/13/01", "2020/1/x",
                          "2020/1/2/3", "2020.01.05"})
    EXPECT_THROW(DateTextNormalize(bad), Exception) << bad;
}

TEST(SqlClauses, CountTextLines) {
  qmtest::TempDir dir;
  EXPECT_EQ(CountTextLines((dir / "missing.txt").string()), -1);
  struct Case {
    const char *bytes;
    int lines;
  } cases[] = {{"", 0}, {"a", 1}, {"a\r\nb", 2}, {"a\r\nb\r\n", 2}, {"a\n\nb\n", 3}, {"\r\n", 1}};
  for (const auto &c : cases) {
    qmtest::WriteFile(dir / "f.txt", c.bytes);
    EXPECT_EQ(CountTextLines((dir / "f.txt").string()), c.lines) << c.bytes;
  }
  // A file name in Japanese is program text.
  qmtest::WriteFile(dir / "登録.csv", "h\r\n1\r\n2\r\n");
  EXPECT_EQ(CountTextLines(cp932::FromUtf8((dir / "登録.csv").string())), 3);
}

}  // namespace
