#include "engine/SqlFunctions.h"

#include <gtest/gtest.h>

#include "engine/SQLite.h"
#include "platform/cp932.h"
#include "support/testutil.h"

namespace {

std::string S(const char *utf8) { return cp932::FromUtf8(utf8); }

// The quoted value of one expression, as SQLite's quote() shows it, in UTF-8.
std::string Eval(TSQLiteDb &db, const char *expr_utf8) {
  auto t = db.GetTable(S((std::string("SELECT quote(") + expr_utf8 + ")").c_str()));
  return cp932::ToUtf8(t->FieldAsString(0));
}

std::string ErrorOf(TSQLiteDb &db, const char *expr_utf8) {
  try {
    db.GetTable(S((std::string("SELECT ") + expr_utf8).c_str()));
  } catch (const ESQLiteException &e) {
    return cp932::ToUtf8(e.Message());
  }
  return "(no error)";
}

struct Case {
  const char *expr, *want;
};

// Cases that give the same in the UTF-8 and the UTF-16 registrations.
const Case kCommonCases[] = {
    {"strconv('ガーデン')", "'かてん'"},
    {"strconv('ガーデン', 'K')", "'がーでん'"},
    {"strconv('ガーデンABC', 'C')", "'ガーデンabc'"},
    {"strconv('ｶﾞｰﾃﾞﾝ', 'w')", "'ｶﾞーﾃﾞﾝ'"},
    {"strconv('ＡＢＣ１２３', 'K')", "'ABC123'"},
    {"strconv('ガーデン・ＴＯＭＡＴＯ') = strconv('かーでん・tomato')", "1"},
    {"strconv(NULL)", "''"},
    {"match('トマト%', 'とまと（大玉）')", "1"},
    {"match('%トマト', 'トマトとトマト')", "1"},
    {"match('', 'x')", "0"},
    {"match('%', 'x')", "0"},
    {"match('トマト', 'とまと')", "1"},
    {"match('トマト', 'ミニトマト')", "0"},
    {"match('%マト%', 'ミニトマト')", "1"},
    {"match('%ト', 'トマ')", "0"},
    {"match('%\\', 'ソ', 'C')", "0"},  // the "\" is the second byte of ソ
    {"match('%_%', 'ダ', 'C')", "0"},  // the "_" is the second byte of ダ
    {"match('ＴＯＭ%', 'tomato', 'CW')", "1"},
    {"'トマト（大玉）' MATCH 'とまと%'", "1"},
    {"regexp('^ト', 'とまと')", "1"},
    {"regexp('うどんこ|さび', 'ウドンコ病')", "1"},
    {"regexp('^うどんこ$', 'ウドンコ病')", "0"},
    {"regexp('\\D', '123')", "1"},  // folded to \d
    {"regexp('a', NULL)", "0"},
    {"'サビ病' REGEXP 'さび'", "1"},
    {"regexp('ト', 'とまと', 'C')", "0"},
    {"concat2('/', 'a', NULL, '', 'b')", "'a/b'"},
    {"re_replace('a(b)', 'xabyab', '[$1]')", "'x[b]y[b]'"},
    {"extnum('%', '含有率 12.5 %')", "12.5"},
    {"extnum('kg', 'none', 9)", "9.0"},
    {"extnum('kg', '1e3kg')", "3.0"},
    {"extnum('kg', '-1.5e3 kg')", "-1500.0"},
    {"extnum('kg|g', '20g')", "20.0"},
    {"ifnullstr(NULL, 'r')", "'r'"},
    {"ifnullstr('', 'r')", "'r'"},
    {"ifnullstr(0, 'r')", "0"},
    {"if('0', 'y', 'n')", "'y'"},
    {"if(0, 'y')", "NULL"},
    {"if(0.0, 'y', 'n')", "'n'"},
    {"if(x'00', 'y', 'n')", "'y'"},
    {"if('', 'y', 'n')", "'n'"},
    {"if(NULL, 'y', 'n')", "'n'"},
    {"if(2, 3, 'n')", "3"},
    {"explode(',', 'a,,c', 2)", "NULL"},
    {"explode(',', 'a,b', 3)", "NULL"},
    {"explode(',', 'a,b', 0)", "'a,b'"},
    {"explode(',', 'a,b', 2)", "'b'"},
    {"explode('::', 'a::b::c', 3)", "'c'"},
    {"explode('', 'ab', 1)", "'ab'"},
    {"explode('', 'ab', 2)", "NULL"},
    {"like_in('abc', 'x', 'ab%')", "1"},
    {"like_in('abc', 'a%c')", "0"},
    {"like_in('abc', NULL, '%b%')", "1"},
    {"like_in('abc', 'abc')", "1"},
    {"like_in('abc', '%bc')", "1"},
    {"like_in('abc', 'ABC')", "0"},
    {"like_in('トマト', '%マト')", "1"},
    {"like_in('トマト', 'トマ%', 'x')", "1"},
    {"like_in(NULL, '%')", "0"},
    {"like_in('', '%')", "0"},
};

TEST(SqlFunctions, WorkedExamplesThroughSql) {
  qmtest::TempDir dir;
  TSQLiteDb db(dir.str() + "a.db");
  for (const Case &c : kCommonCases) EXPECT_EQ(Eval(db, c.expr), c.want) << c.expr;
  const Case utf8_only[] = {
      {"concat(',', 'a,b', 'b,c')", "'a,b,c'"},
      {"concat(',', 'a,a', 'a')", "'a,a'"},
      {"concat('', 'ab', 'b', 'c')", "'abc'"},
      {"concat('; ', 'x; y', NULL, 'y; z')", "'x; y; z'"},
  };
  for (const Case &c : utf8_only) EXPECT_EQ(Eval(db, c.expr), c.want) << c.expr;
}

TEST(SqlFunctions, Aggregates) {
  qmtest::TempDir dir;
  TSQLiteDb db(dir.str() + "a.db");
  db.MultiStatement = true;
  db.ExecSQL(S("CREATE TABLE t(g, x); INSERT INTO t VALUES (1, 'a,b'), (1, 'b'), (1, NULL), (1, x'61'), "
               "(1, 'c,a'), (2, 'z'), (2, 'z'), (3, NULL);"));
  auto t = db.GetTable("SELECT g, quote(concat(',', x)), quote(concat2('/', x)) FROM t GROUP BY g ORDER BY g");
  ASSERT_EQ(t->Count(), 3);
  const char *want[3][2] = {{"'a,b,c'", "'a,b/b/c,a'"}, {"'z'", "'z/z'"}, {"NULL", "NULL"}};
  for (int r = 0; r < 3; ++r, t->Next()) {
    EXPECT_EQ(t->FieldAsString(1), want[r][0]) << r;
    EXPECT_EQ(t->FieldAsString(2), want[r][1]) << r;
  }
  EXPECT_EQ(Eval(db, "(SELECT concat(',', x) FROM t WHERE g = 9)"), "NULL");
}

TEST(SqlFunctions, ErrorsFailTheStatement) {
  qmtest::TempDir dir;
  TSQLiteDb db(dir.str() + "a.db");
  EXPECT_NE(ErrorOf(db, "concat(',')").find("CONCAT parameters are too few"), std::string::npos);
  EXPECT_NE(ErrorOf(db, "concat(',', 'a')").find("(no error)"), std::string::npos);  // the aggregate
  EXPECT_NE(ErrorOf(db, "concat2()").find("CONCAT parameters are too few"), std::string::npos);
  EXPECT_NE(ErrorOf(db, "like_in('abc')").find("LIKE_IN parameters are too few"), std::string::npos);
  for (const char *bad : {"regexp('(', 'x')", "re_replace('[', 'x', 'y')", "extnum('(', '1 x')"})
    EXPECT_NE(ErrorOf(db, bad).find("Error in regex at offset"), std::string::npos) << bad;
  EXPECT_NE(ErrorOf(db, "strconv('a', 'b', 'c')").find("wrong number of arguments"), std::string::npos);
}

TEST(SqlFunctions, Utf16Registrations) {
  qmtest::TempDir dir;
  TSQLiteDb db(dir.str() + "w.db");
  db.ExecSQL("PRAGMA encoding = 'UTF-16le'");
  db.ExecSQL("CREATE TABLE t(x)");
  ASSERT_EQ(db.GetTable("PRAGMA encoding")->FieldAsString(0), "UTF-16le");
  for (const Case &c : kCommonCases) EXPECT_EQ(Eval(db, c.expr), c.want) << c.expr;
  // The UTF-16 concat keeps values whole and drops only a value already at the end of an item.
  const Case wide[] = {
      {"concat(',', 'a,b', 'b,c')", "'a,b,b,c'"},
      {"concat(',', 'a', 'ab', 'a')", "'a,ab'"},
      {"concat(',', 'b', 'ab')", "'b,ab'"},
  };
  for (const Case &c : wide) EXPECT_EQ(Eval(db, c.expr), c.want) << c.expr;
  db.ExecSQL(S("INSERT INTO t VALUES ('x'), ('y'), ('x')"));
  EXPECT_EQ(Eval(db, "(SELECT concat(',', x) FROM t)"), "'x,y'");
  EXPECT_EQ(Eval(db, "(SELECT concat2('', x) FROM t)"), "'xyx'");
}

TEST(SqlFunctions, JoinedTextIsCutOnACharacter) {
  qmtest::TempDir dir;
  TSQLiteDb db(dir.str() + "a.db");
  // "x" and 21,845 three-byte characters make 65,536 bytes: one more than the limit.
  const char *many = "replace(hex(zeroblob(21845)), '00', 'あ')";
  for (const char *fn : {"concat2('', 'x', %s)", "concat('', 'x', %s)"}) {
    char expr[256];
    std::snprintf(expr, sizeof expr, fn, many);
    std::string sql = std::string("length(CAST(") + expr + " AS BLOB)) || ' ' || length(" + expr + ")";
    EXPECT_EQ(Eval(db, sql.c_str()), "'65533 21845'") << fn;
  }
  TSQLiteDb wide(dir.str() + "w.db");
  wide.ExecSQL("PRAGMA encoding = 'UTF-16le'");
  wide.ExecSQL("CREATE TABLE t(x)");
  // "xx" and 16,383 surrogate pairs make 32,768 units, one more than the limit: the last
  // pair goes whole.
  const char *pairs = "concat2('', 'xx', replace(hex(zeroblob(16383)), '00', char(134071)))";
  EXPECT_EQ(Eval(wide, (std::string("length(") + pairs + ") || ' ' || length(CAST(" + pairs + " AS BLOB))").c_str()),
            "'16384 65532'");
}

TEST(SqlFunctions, FoldingOfTrickyCharacters) {
  const Case cases[] = {
      {"ガーデン", "かてん"},
      {"ｶﾞｰﾃﾞﾝ", "かてん"},
      {"ﾊﾟﾝ", "はん"},
      {"ダソ", "たそ"},
      {"ァィゥェォッャュョヮ", "あいうえおつやゆよわ"},
      {"ぁぃぅぇぉっゃゅょゎ", "あいうえおつやゆよわ"},
      {"パピプペポバビブベボ", "はひふへほはひふへほ"},
      {"ＡＢＣ－１２３", "abc123"},
      {"（Ａ）［Ｂ］＋", "(a)[b]+"},
      {"トマト　ナス", "とまと なす"},
      {"ｰ", ""},
      {"農薬", "農薬"},
  };
  for (const Case &c : cases) EXPECT_EQ(cp932::ToUtf8(StrConv(c.expr, "")), c.want) << c.expr;
  // Without V the long-vowel mark stays, in its full-width form.
  EXPECT_EQ(cp932::ToUtf8(StrConv("ｶｰﾄﾞ", "KC")), "かーど");
  EXPECT_EQ(cp932::ToUtf8(StrConv("カード", "W")), "ｶーﾄﾞ");
  // Texts longer than 65,535 bytes fold whole.
  std::string big, folded;
  for (int i = 0; i < 30000; ++i) {
    big += "ガ";
    folded += S("か");
  }
  EXPECT_EQ(StrConv(big, "KCWV"), folded);
}

TEST(SqlFunctions, PreconvExpandsToALiteral) {
  const Case cases[] = {
      {"SELECT * FROM t", "SELECT * FROM t"},
      {"SELECT preconv('ガーデン','kv')", "SELECT 'かてん'"},
      {"WHERE a = PreConv( 'ガーデン' ) OR b = preconv('ＡＢ', 'C')", "WHERE a = 'かてん' OR b = 'ａｂ'"},
      {"SELECT preconv('＄１＼')", "SELECT '$1\\'"},
      {"SELECT preconv('＇ａ＇')", "SELECT '''a'''"},
      // A quoted user word keeps its doubled quote as one quote of the folded text.
      {"SELECT preconv('%ｄ''ａ%') AND preconv('b')", "SELECT '%d''a%' AND 'b'"},
      {"SELECT preconv('')", "SELECT preconv('')"},
      {"SELECT preconv('x', 'z')", "SELECT preconv('x', 'z')"},
  };
  for (const Case &c : cases) EXPECT_EQ(cp932::ToUtf8(FromSqliteText(ToSqliteText(S(c.expr)))), c.want) << c.expr;

  qmtest::TempDir dir;
  TSQLiteDb db(dir.str() + "a.db");
  EXPECT_EQ(Eval(db, "preconv('ガーデン')"), "'かてん'");
  EXPECT_EQ(Eval(db, "preconv('＇＄１')"), "'''$1'");
}

}  // namespace
