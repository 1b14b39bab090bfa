#include "engine/SQLite.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>

#include "platform/cp932.h"
#include "support/testutil.h"

namespace {

std::string S(const char *utf8) { return cp932::FromUtf8(utf8); }

// The message of the ESQLiteException that f raises ("" when it raises none).
template <typename F>
std::string Failure(F f) {
  try {
    f();
  } catch (const ESQLiteException &e) {
    return e.Message();
  }
  return "";
}

class SQLiteTest : public ::testing::Test {
 protected:
  qmtest::TempDir dir;
  std::string path = dir.str() + "test.db";
  std::unique_ptr<TSQLiteDb> Open() { return std::make_unique<TSQLiteDb>(path); }
  int CountRows(TSQLiteDb &db, const std::string &table) {
    return static_cast<int>(db.GetTable("select count(*) from " + table)->FieldAsInteger(0));
  }
};

TEST_F(SQLiteTest, OpenSetsPragmasAndQuotedStrings) {
  auto db = Open();
  EXPECT_EQ(db->GetTable("PRAGMA synchronous")->FieldAsInteger(0), 1);  // NORMAL
  EXPECT_EQ(db->GetTable("PRAGMA temp_store")->FieldAsInteger(0), 2);   // MEMORY
  EXPECT_EQ(db->GetTable("select \"no such column\"")->FieldAsString(0), "no such column");
  db->ExecSQL("create table t(a text default \"x\"); insert into t default values;");
  EXPECT_TRUE(db->TableExists("t"));
  EXPECT_FALSE(db->TableExists("u"));
}

TEST_F(SQLiteTest, OpenInAMissingFolderFails) {
  std::string missing = dir.str() + S("無い/acis.db");
  EXPECT_EQ(Failure([&] { TSQLiteDb db(missing); }),
            "Failed to open database \"" + missing + "\" : unable to open database file");
}

TEST_F(SQLiteTest, ExecSQLRunsOneOrAllStatements) {
  auto db = Open();
  db->ExecSQL("create table t(a); insert into t values(1);");
  EXPECT_EQ(CountRows(*db, "t"), 0);  // the rest was ignored
  db->MultiStatement = true;
  db->ExecSQL("insert into t values(2); -- note\n insert into t values(3); select * from t;");
  EXPECT_EQ(CountRows(*db, "t"), 2);
  db->ExecSQL("  -- only a comment\n  ");
  db->ExecSQL("");
  auto empty = db->GetTable(" /* nothing */ ");
  EXPECT_EQ(empty->Count(), 0);
  EXPECT_EQ(empty->ColCount(), 0);
}

TEST_F(SQLiteTest, GetTableStopsAtTheFirstStatementWithRows) {
  auto db = Open();
  db->MultiStatement = true;
  db->ExecSQL("create table keep(a); insert into keep values(7);");
  auto t = db->GetTable(
      "create temp table tt(a); insert into tt values(1),(2); select a from tt order by a; delete from tt;");
  ASSERT_EQ(t->Count(), 2);
  EXPECT_EQ(t->FieldAsInteger(0), 1);
  EXPECT_EQ(CountRows(*db, "tt"), 2);  // the delete did not run

  // A select without rows does not stop the loop.
  t = db->GetTable("select a from keep where 0; select a + 1 from keep; delete from keep;");
  EXPECT_EQ(t->FieldAsInteger(0), 8);
  EXPECT_EQ(CountRows(*db, "keep"), 1);

  db->MultiStatement = false;
  t = db->GetTable("select 1; select 2;");
  EXPECT_EQ(t->FieldAsString(0), "1");
}

TEST_F(SQLiteTest, FailuresNameTheStatementAndSQLiteReason) {
  auto db = Open();
  db->MultiStatement = true;
  EXPECT_EQ(Failure([&] { db->ExecSQL("selec 1"); }), "Error executing SQL \"selec 1\" : near \"selec\": syntax error");
  const std::string script = "create table t(a primary key); insert into t values(1); insert into t values(1); insert into t values(3);";
  EXPECT_EQ(Failure([&] { db->ExecSQL(script); }),
            "Error executing SQL statement \"" + script + "\" : UNIQUE constraint failed: t.a");
  EXPECT_EQ(CountRows(*db, "t"), 1);  // statements before the failure stay done
  const std::string overflow = "select abs(-9223372036854775808)";
  EXPECT_EQ(Failure([&] { db->GetTable(overflow); }),
            "Could not retrieve data \"" + overflow + "\" : integer overflow");
  EXPECT_EQ(Failure([&] { db->GetTable(S("select * from 作物")); }),
            S("Error executing SQL \"select * from 作物\" : no such table: 作物"));
  db->ExecSQL("select 1");
  EXPECT_EQ(Failure([&] { db->RaiseError("Boom", "x"); }), "Boom \"x\" : No message");
}

TEST_F(SQLiteTest, ALockedDatabaseFailsAtOnce) {
  auto db = Open();
  db->ExecSQL("create table t(a)");
  auto other = Open();
  other->ExecSQL("BEGIN EXCLUSIVE");
  EXPECT_EQ(Failure([&] { db->GetTable("select * from t"); }),
            "Could not prepare SQL statement \"select * from t\" : SQLite is Busy");
  EXPECT_EQ(Failure([&] { db->ExecSQL("insert into t values(1)"); }),
            "Error executing SQL statement \"insert into t values(1)\" : database is locked");
  other->ExecSQL("COMMIT");
}

TEST_F(SQLiteTest, TransactionsCommitOrRollBackOnClose) {
  {
    auto db = Open();
    db->ExecSQL("create table t(a)");
    db->BeginTransaction();
    db->ExecSQL("insert into t values(1)");
    EXPECT_EQ(Failure([&] { db->BeginTransaction(); }), "Transaction already open");
    EXPECT_TRUE(db->InTransaction());
    db->Commit();
    EXPECT_FALSE(db->InTransaction());
    db->BeginTransaction();
    db->ExecSQL("insert into t values(2)");
  }  // closed inside the transaction: rolled back
  auto db = Open();
  EXPECT_EQ(CountRows(*db, "t"), 1);
}

TEST_F(SQLiteTest, DeclaredTypesDecideHowColumnsRead) {
  auto db = Open();
  db->MultiStatement = true;
  db->ExecSQL(
      "create table t(i INTEGER, c varchar(20), r double precision, n NUMERIC, b BLOB, x, f float);"
      "insert into t values(NULL, 12, 2.9, '5', x'4142', NULL, -2.9);"
      "insert into t values(3, 'abc', NULL, 6.5, x'', 'later', 1e20);");
  auto t = db->GetTable("select i, c, r, n, b, x, f, i * 2 as e, 'k' as k from t order by rowid");
  const int expected[] = {dtInt, dtStr, dtNumeric, dtInt, dtBlob, dtStr, dtNumeric, dtInt, dtStr};
  ASSERT_EQ(t->ColCount(), 9);
  for (int c = 0; c < 9; ++c) EXPECT_EQ(t->ColumnType(c), expected[c]) << t->Columns(c);
  EXPECT_EQ(t->Columns(7), "E");

  // Row 0: a NULL in an integer column, a number in a text column, floats.
  EXPECT_EQ(t->Fields(0), "0");
  EXPECT_EQ(t->FieldAsString(0), "");
  EXPECT_EQ(t->FieldAsInteger(0), 0);
  EXPECT_EQ(t->FieldAsString(1), "12");
  EXPECT_EQ(t->FieldAsInteger(2), 2);
  EXPECT_EQ(t->FieldAsInteger(6), -2);
  EXPECT_DOUBLE_EQ(t->FieldAsDouble(6), -2.9);
  EXPECT_EQ(t->Fields(6), "-2.9");
  EXPECT_EQ(t->FieldAsString(4), "AB");
  EXPECT_EQ(t->FieldAsBlob(4).value(), "AB");
  EXPECT_EQ(t->FieldAsString(5), "");
  EXPECT_EQ(t->FieldAsInteger(7), 0);

  t->Next();
  EXPECT_EQ(t->Fields(2), "0");  // NULL float
  EXPECT_EQ(t->FieldAsString(2), "");
  // A NUMERIC column took the class of its first value (integer); a float still reads as itself.
  EXPECT_EQ(t->FieldAsString(3), "6.5");
  EXPECT_EQ(t->FieldAsInteger(3), 6);
  EXPECT_EQ(t->FieldAsString(5), "later");
  EXPECT_EQ(t->Fields(6), "1E20");
  ASSERT_TRUE(t->FieldAsBlob(4).has_value());  // an empty blob is no NULL and no crash
  EXPECT_EQ(t->FieldAsBlob(4)->size(), 0u);
  EXPECT_EQ(t->FieldAsBlobText(4), "");
  EXPECT_EQ(t->FieldAsInteger(7), 6);

  EXPECT_EQ(Failure([&] { t->FieldAsInteger(1); }), "Not an integer or numeric field");
  EXPECT_EQ(Failure([&] { t->FieldAsDouble(4); }), "Not an integer or numeric field");
  EXPECT_EQ(Failure([&] { t->FieldAsBlob(1); }), "Not a Blob field");
  t->Next();
  EXPECT_TRUE(t->Eof());
  t->Next();
  EXPECT_EQ(t->Row, 2);
  EXPECT_EQ(Failure([&] { t->FieldAsString(0); }), "Table is at End of File");
  EXPECT_TRUE(t->MoveFirst());
  EXPECT_EQ(t->Row, 0);

  EXPECT_EQ(t->FieldIndex("e"), 7);
  EXPECT_EQ(t->FieldIndex("E"), 7);
  EXPECT_EQ(Failure([&] { t->FieldIndex("zz"); }), "Field not found in dataset: zz");
}

TEST_F(SQLiteTest, AColumnWithLeadingNullsWaitsForItsFirstValue) {
  auto db = Open();
  auto t = db->GetTable("select null as v union all select null union all select 2.5 union all select 7");
  EXPECT_EQ(t->ColumnType(0), dtNumeric);
  EXPECT_EQ(t->Fields(0), "0");
  t->Row = 2;
  EXPECT_EQ(t->Fields(0), "2.5");
  t->Row = 3;
  EXPECT_EQ(t->Fields(0), "7");
  EXPECT_DOUBLE_EQ(t->FieldAsDouble(0), 7.0);
}

TEST_F(SQLiteTest, EmptyResult) {
  auto db = Open();
  db->ExecSQL("create table t(idsaku text)");
  auto t = db->GetTable("select idsaku from t");
  EXPECT_EQ(t->Count(), 0);
  EXPECT_TRUE(t->Eof());
  EXPECT_FALSE(t->MoveFirst());
  EXPECT_EQ(Failure([&] { t->FieldIndex("idsaku"); }), "Field idsaku Not found. Empty dataset");
  EXPECT_EQ(Failure([&] { t->FieldAsString(0); }), "Table is at End of File");
}

TEST_F(SQLiteTest, AValueOfAnotherClassKeepsItsOwnText) {
  // A column without declared type is decided by its first value; later values of another
  // class still read as themselves, and numbers read as numbers.
  auto db = Open();
  db->MultiStatement = true;
  db->ExecSQL(S("create table u(v); insert into u values(1),('2回以内'),('abc'),(2.5),(x'41'),(NULL);"
                "create table w(v); insert into w values('a'),(5),(0.5);"));
  auto t = db->GetTable("select v from u order by rowid");
  ASSERT_EQ(t->ColumnType(0), dtInt);
  struct Row {
    const char *text;
    int64_t integer;
    double number;
  } rows[] = {{"1", 1, 1}, {"2回以内", 2, 2}, {"abc", 0, 0}, {"2.5", 2, 2.5}, {"A", 0, 0}, {"", 0, 0}};
  for (const auto &r : rows) {
    EXPECT_EQ(t->FieldAsString(0), S(r.text)) << t->Row;
    EXPECT_EQ(t->FieldAsInteger(0), r.integer) << t->Row;
    EXPECT_DOUBLE_EQ(t->FieldAsDouble(0), r.number) << t->Row;
    t->Next();
  }
  t = db->GetTable("select v from w order by rowid");
  ASSERT_EQ(t->ColumnType(0), dtStr);
  std::vector<std::string> texts;
  for (t->MoveFirst(); !t->Eof(); t->Next()) texts.push_back(t->FieldAsString(0));
  EXPECT_EQ(texts, (std::vector<std::string>{"a", "5", "0.5"}));
}

TEST_F(SQLiteTest, ALargeResultReadsBackCellForCell) {
  // Enough rows to fill many storage blocks, one row larger than any block, and every kind
  // of value, each cell judged against SQLite's own reading of the same query.
  auto db = Open();
  db->MultiStatement = true;
  db->ExecSQL(S("create table big(i integer, t text, r real, v, b blob);"
                "with recursive n(i) as (select 1 union all select i + 1 from n where i < 30000) "
                "insert into big select i, substr('トマト、きゅうり、なす', 1, i % 11) || i, "
                "iif(i % 3 = 0, null, i / 7.0), iif(i % 2, i, 'x' || i), iif(i % 5 = 0, null, randomblob(i % 9)) "
                "from n;"
                "insert into big values (30001, replace(hex(zeroblob(1500000)), '0', 'ア'), 1, 2, x'00');"));
  const char *query = "select i, t, r, v, b from big order by i";
  auto t = db->GetTable(query);
  ASSERT_EQ(t->Count(), 30001);

  sqlite3 *raw = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &raw), SQLITE_OK);
  sqlite3_stmt *st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(raw, query, -1, &st, nullptr), SQLITE_OK);
  std::string scratch;
  int mismatches = 0;
  for (; sqlite3_step(st) == SQLITE_ROW; t->Next()) {
    ASSERT_FALSE(t->Eof());
    for (int c = 0; c < 5; ++c) {
      const auto *p = static_cast<const char *>(sqlite3_column_blob(st, c));
      std::string expected(p ? p : "", static_cast<std::size_t>(sqlite3_column_bytes(st, c)));
      if (c == 1 || c == 3) expected = cp932::FromUtf8(expected);
      if (c == 2 && sqlite3_column_type(st, c) != SQLITE_NULL) expected = FloatToStr(sqlite3_column_double(st, c));
      if (t->FieldAsString(c) != expected || t->FieldView(c, scratch) != expected) ++mismatches;
    }
  }
  sqlite3_finalize(st);
  sqlite3_close(raw);
  EXPECT_TRUE(t->Eof());
  EXPECT_EQ(mismatches, 0);
  t->MoveFirst();
  EXPECT_EQ(t->FieldAsInteger(3), 1);  // a number in the column its first value decided
  t->Next();
  EXPECT_EQ(t->FieldAsString(3), "x2");
}

TEST_F(SQLiteTest, JapaneseTextCrossesAsUtf8) {
  const std::string folder = dir.str() + S("データ/");
  std::filesystem::create_directories(std::filesystem::path(cp932::ToUtf8(folder)));
  const std::string file = folder + S("農薬.db");
  const std::string text = S("ソース①㍑ー表");
  {
    TSQLiteDb db(file);
    db.ExecSQL(S("create table 作物(名前 text)"));
    db.ExecSQL(S("insert into 作物 values('") + text + "')");
    auto t = db.GetTable(S("select 名前, 名前 || 'ア' as 別名 from 作物"));
    EXPECT_EQ(t->FieldAsString(0), text);
    EXPECT_EQ(t->FieldAsString(1), text + S("ア"));
    EXPECT_EQ(t->Columns(0), S("名前"));
    EXPECT_EQ(t->FieldIndex(S("別名")), 1);
  }
  // Another reader sees UTF-8 in a file whose name is UTF-8.
  sqlite3 *raw = nullptr;
  ASSERT_EQ(sqlite3_open_v2((cp932::ToUtf8(folder) + "農薬.db").c_str(), &raw, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt *st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(raw, "select 名前 from 作物", -1, &st, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(sqlite3_column_text(st, 0))), "ソース①㍑ー表");
  sqlite3_finalize(st);
  sqlite3_close(raw);
}

// Every text, also one whose lead byte is broken just before a quote, comes back from its
// literal as the very value bound for it; a quote never ends the literal early.
TEST_F(SQLiteTest, QuotedTextsReadBackAsTheirValue) {
  auto db = Open();
  db->ExecSQL("create table t(v text)");
  const std::string values[] = {"", "plain", "it's", "''", "\"gunmei\"", "v", S("ソ'ダ_ー"),
                                "\x81' or 1=1 --", "x\x81'", "a\\'b"};
  TSQLiteStmt insert(*db, "insert into t values(?)");
  for (const std::string &v : values) {
    insert.BindText(1, v);
    insert.Exec();
  }
  for (const std::string &v : values)
    EXPECT_EQ(db->GetTable("select count(*) from t where v = " + SqlQuoted(v))->FieldAsInteger(0), 1) << v;
  EXPECT_EQ(SqlQuoted("it's"), "'it''s'");
  // UTF-8 text quotes the same way: no byte of a character is taken for a quote's partner.
  sqlite3 *raw = db->Handle();
  const std::string utf8 = "\xE3\x81\x82'\xE3\x82\xBD";  // あ'ソ
  sqlite3_stmt *st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(raw, ("select " + SqlQuoted(utf8)).c_str(), -1, &st, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(sqlite3_column_text(st, 0))), utf8);
  sqlite3_finalize(st);
}

TEST_F(SQLiteTest, AReadEndsWhenItsPollSaysSoOrAtItsBoundOnCells) {
  auto db = Open();
  const std::string endless = "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT x, x * 2 FROM c";
  // The poll is asked while the statement runs; its "stop" keeps the rows read so far. A
  // statement started from inside the poll is refused: SQLite forbids it there.
  int polls = 0;
  std::string nested;
  TReadLimits stop;
  stop.Poll = [&] {
    if (++polls == 1) nested = Failure([&] { db->GetTable("SELECT 1"); });
    return polls == 20;
  };
  auto t = db->GetTable(endless, stop);
  EXPECT_EQ(polls, 20);
  EXPECT_EQ(t->End(), TReadEnd::Stopped);
  ASSERT_GT(t->Count(), 0);
  for (int r = 0; !t->Eof(); t->Next(), ++r) ASSERT_EQ(t->FieldAsInteger(1), 2 * (r + 1));
  EXPECT_EQ(nested, "Could not prepare SQL statement \"SELECT 1\" : SQLite is Busy");
  EXPECT_EQ(db->GetTable("SELECT 1")->End(), TReadEnd::Complete);  // usable again

  // At most MaxCells cells: 7 cells hold three rows of two.
  TReadLimits bound;
  bound.MaxCells = 7;
  t = db->GetTable(endless, bound);
  EXPECT_EQ(t->End(), TReadEnd::CellBound);
  EXPECT_EQ(t->Count(), 3);
  bound.MaxCells = 8;
  t = db->GetTable("SELECT 1, 2 UNION ALL SELECT 3, 4", bound);
  EXPECT_EQ(t->End(), TReadEnd::Complete);
  EXPECT_EQ(t->Count(), 2);
}

TEST_F(SQLiteTest, ReadOnlyIsSQLitesJudgementOfTheFirstStatement) {
  auto db = Open();
  db->ExecSQL("CREATE TABLE t(a)");
  const struct {
    const char *sql;
    bool read_only;
  } cases[] = {
      {"SELECT * FROM t", true},
      {"PRAGMA table_info('t')", true},
      {"PRAGMA user_version", true},
      {"SELECT 1; DELETE FROM t", true},  // only the first statement runs outside a script
      {"WITH x AS (SELECT 1) DELETE FROM t", false},
      {"with x(v) as (select 2) insert into t select v from x", false},
      {"PRAGMA user_version = 77", false},
      {"SELECT * FROM no_such_table", true},  // fails when it runs, and says why
  };
  for (const auto &c : cases) EXPECT_EQ(db->IsReadOnly(c.sql), c.read_only) << c.sql;
}

TEST(SQLiteFloatText, GeneralFormWithFifteenDigits) {
  struct Case {
    double value;
    const char *text;
  } cases[] = {
      {0.1, "0.1"},        {100.0, "100"},         {-2.5, "-2.5"},
      {1e20, "1E20"},      {1.5e-5, "1.5E-5"},     {0.0001, "0.0001"},
      {1.0 / 3, "0.333333333333333"},              {123456789012345678.0, "1.23456789012346E17"},
      {123456789012345.0, "123456789012345"},      {0.0, "0"},
  };
  for (const auto &c : cases) EXPECT_EQ(FloatToStr(c.value), c.text);
}

TEST_F(SQLiteTest, TheHookSeesEveryConnectionAndEverySqlText) {
  static int registrations;
  registrations = 0;
  const auto saved_registrar = TSQLiteDb::FunctionRegistrar;
  const auto saved_filter = TSQLiteDb::SqlTextFilter;
  TSQLiteDb::FunctionRegistrar = [](sqlite3 *handle, TPcreRegEx *regex) {
    ++registrations;
    EXPECT_NE(regex, nullptr);
    sqlite3_create_function(
        handle, "twice", 1, SQLITE_UTF8, nullptr,
        [](sqlite3_context *ctx, int, sqlite3_value **argv) { sqlite3_result_int(ctx, 2 * sqlite3_value_int(argv[0])); },
        nullptr, nullptr);
  };
  TSQLiteDb::SqlTextFilter = [](const std::string &sql) {
    std::string utf8 = cp932::ToUtf8(sql);
    for (std::size_t p; (p = utf8.find("TWO")) != std::string::npos;) utf8.replace(p, 3, "2");
    return utf8;
  };
  {
    auto db = Open();
    EXPECT_EQ(db->GetTable("select twice(TWO)")->FieldAsInteger(0), 4);
    EXPECT_EQ(Failure([&] { db->ExecSQL("select TWO +"); }), "Error executing SQL \"select TWO +\" : incomplete input");
    auto second = Open();
    EXPECT_EQ(registrations, 2);
  }
  TSQLiteDb::FunctionRegistrar = saved_registrar;
  TSQLiteDb::SqlTextFilter = saved_filter;
}

}  // namespace
