// The SQL pane of the main window on the sample database: what a SELECT puts into gdSQL,
// the statement gate, failures reported once, scripts that leave nothing behind, the debug
// switch, the enabling rules and query files.
#include <gtest/gtest.h>

#include <QApplication>
#include <algorithm>
#include <QPushButton>
#include <QTabWidget>
#include <sqlite3.h>

#include "components/DialogServices.h"
#include "components/grid/ExcelUtil.h"
#include "engine/Exception.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/IniFile.h"
#include "platform/cp932.h"
#include "support/sample_acisdb.h"
#include "support/testutil.h"
#include "ui/LogMemo.h"
#include "ui/main.h"
#include "ui/main_sqledit.h"
#include "ui/main_sqlpane.h"
#include "components/CheckListBoxEx.h"
#include <QComboBox>
#include <QMenu>
#include "ui/main_window_test_util.h"
#include "ui_main.h"

using namespace qmtest;
using cp932::literals::operator""_sj;

namespace {

class SqlPaneTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    w->ui->pgSearch->setCurrentWidget(w->ui->tabSQL);
  }
  // Types the text into the editor and presses "実行".
  void Run(const std::string &utf8) {
    SetSQLEditorText(w->SQLEditor, cp932::FromUtf8(utf8));
    w->ui->btnQueryExec->click();
  }
};

TEST_F(SqlPaneTest, SelectFillsGridWithTheRowsOfTheSameQuery) {
  const std::string sql =
      "SELECT bango, meisho, sakumotsu, byochu FROM tekiyo WHERE sakumotsu LIKE '%ね%' ORDER BY bango, sakumotsu, byochu";
  Run(sql);
  const Rows expected = QueryRows(sql);
  ASSERT_GT(expected.size(), 3u);
  TXlsStringGrid *g = w->ui->gdSQL;
  EXPECT_TRUE(g->isVisible());
  EXPECT_EQ(GridRows(*g), expected);
  EXPECT_EQ(cp932::ToUtf8(g->Cells(0, 0)), "番号");
  EXPECT_EQ(cp932::ToUtf8(w->StatusText(3)), std::to_string(expected.size()) + "件");
  EXPECT_TRUE(ui_.boxes.empty());
  EXPECT_TRUE(ui_.reports.empty());
  const auto log = LogUtf8();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2], "SQL>" + sql);
  EXPECT_EQ(log.back().rfind("SQL>実行時間 ", 0), 0u);
  EXPECT_EQ(log.back().substr(log.back().size() - 3), "秒");
}

TEST_F(SqlPaneTest, StatementGate) {
  struct Case {
    const char *text;
    bool refused;
  } cases[] = {
      {"   SELECT count(*) FROM m_tekiyo", false},
      {"\r\n\tselect 1", false},
      {"WITH t AS (SELECT 1 AS a) SELECT a FROM t", false},
      {"pragma table_info('m_tekiyo')", false},
      {"UPDATE m_tekiyo SET meisho = meisho WHERE 0", true},
      {"DELETE FROM m_tekiyo WHERE 0", true},
      {"-- a note\r\nCREATE TEMP TABLE gate_t(a); INSERT INTO gate_t VALUES (7); SELECT a FROM gate_t", false},
      {"/* note */ SELECT 2", false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    ui_.boxes.clear();
    Run(c.text);
    const bool refused = !ui_.boxes.empty() && cp932::ToUtf8(ui_.boxes[0].text) == "実行できない文です";
    EXPECT_EQ(refused, c.refused);
    if (c.refused) {
      EXPECT_EQ(ui_.boxes.size(), 1u);
    }
  }
  // The commented script ran every statement.
  EXPECT_EQ(ConnectionRows("SELECT a FROM gate_t"), (Rows{{"7"}}));
  EXPECT_EQ(cp932::ToUtf8(w->ui->gdSQL->Cells(0, 1)), "2");
}

TEST_F(SqlPaneTest, WritesAreRefusedWhateverTheirFirstWord) {
  AcisDB->SetMultiStatement(true);
  AcisDB->ExecSQL("CREATE TEMP TABLE kept_t(a); INSERT INTO kept_t VALUES (1);");
  AcisDB->SetMultiStatement(false);
  const Rows version = QueryRows("PRAGMA user_version");
  for (const char *text : {"WITH x AS (SELECT 1) DELETE FROM kept_t", "  with x(v) as (select 2) insert into kept_t select v from x",
                           "PRAGMA user_version = 77"}) {
    SCOPED_TRACE(text);
    ui_.boxes.clear();
    Run(text);
    ASSERT_EQ(ui_.boxes.size(), 1u);
    EXPECT_EQ(cp932::ToUtf8(ui_.boxes[0].text), "実行できない文です");
  }
  EXPECT_EQ(ConnectionRows("SELECT a FROM kept_t"), (Rows{{"1"}}));
  EXPECT_EQ(QueryRows("PRAGMA user_version"), version);
  EXPECT_TRUE(ui_.reports.empty());
}

TEST_F(SqlPaneTest, StopEndsARunningQueryAndKeepsWhatWasRead) {
  EXPECT_FALSE(w->actStop->isEnabled());
  bool offered = false;
  int pumps = 0;
  ui_.on_pump = [&] {
    if (++pumps == 3) {
      offered = w->actStop->isEnabled();
      w->actStop->trigger();
    }
  };
  Run("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT x FROM c");
  ui_.on_pump = nullptr;
  EXPECT_TRUE(offered);
  EXPECT_FALSE(w->actStop->isEnabled());
  TXlsStringGrid *g = w->ui->gdSQL;
  ASSERT_TRUE(g->isVisible());
  ASSERT_GT(g->RowCount(), 2);
  EXPECT_EQ(g->Cells(0, 1), "1");
  EXPECT_EQ(g->Cells(0, g->RowCount() - 1), std::to_string(g->RowCount() - 1));
  EXPECT_EQ(cp932::ToUtf8(w->StatusText(3)), std::to_string(g->RowCount() - 1) + "件");
  EXPECT_TRUE(ui_.boxes.empty());
  EXPECT_TRUE(ui_.reports.empty());
  const auto log = LogUtf8();
  EXPECT_NE(std::find(log.begin(), log.end(), "SQL>中止しました"), log.end());
  // The next run is not stopped by the last one's 中止.
  Run("SELECT 1 AS a UNION ALL SELECT 2");
  EXPECT_EQ(g->RowCount(), 3);
}

// Once every row is read, 中止 ends the grid's fill or the measuring of its widths as a
// close does: nothing of the result is shown, no box, and the stop is logged.
TEST_F(SqlPaneTest, StopDuringTheFillOrTheWidthsEndsThem) {
  constexpr int kRows = 20'000;
  const TEventPump::TByTicks pump(500);  // the events run during the fill and the widths
  const std::string sql = "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c LIMIT " +
                          std::to_string(kRows) + ") SELECT x, 'r' || x AS y, x AS c3, x AS c4, x AS c5, x AS c6, x AS c7, x AS c8, x AS c9, x AS c10, x AS c11, x AS c12, x AS c13, x AS c14, x AS c15, x AS c16 FROM c";
  TXlsStringGrid *g = w->ui->gdSQL;
  const struct {
    const char *name;
    bool filled;  // 中止 comes once every row is in the grid: during the widths
  } cases[] = {{"fill", false}, {"widths", true}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    Run("SELECT 1 AS a");  // a result shown before
    ASSERT_TRUE(g->isVisible());
    w->mLog->Clear();
    bool stopped = false;
    ui_.on_pump = [&] {
      if (stopped || g->RowCount() != kRows + 1 || g->CellView(0, kRows).empty() == c.filled) return;
      stopped = w->actStop->isEnabled();
      w->actStop->trigger();
    };
    Run(sql);
    ui_.on_pump = nullptr;
    ASSERT_TRUE(stopped);
    EXPECT_EQ(g->CellView(0, kRows).empty(), !c.filled);
    EXPECT_TRUE(g->isHidden());
    EXPECT_EQ(w->StatusText(3), "");
    EXPECT_FALSE(w->actStop->isEnabled());
    EXPECT_TRUE(ui_.boxes.empty());
    const auto log = LogUtf8();
    EXPECT_NE(std::find(log.begin(), log.end(), "SQL>中止しました"), log.end());
    EXPECT_EQ(log.back().rfind("SQL>実行時間 ", 0), 0u);
  }
  // The next run is not stopped by the last one's 中止, nor are the widths of another grid.
  Run("SELECT 1 AS a UNION ALL SELECT 2");
  EXPECT_EQ(GridRows(*g), (Rows{{"1"}, {"2"}}));
  EXPECT_TRUE(g->isVisible());
  EXPECT_TRUE(w->AdjustGridColumnWidths(g));
}

// The editor fills the SQL tab's splitter until the first result: a window closed then keeps
// the split it was given, and the next window's result grid has its share.
TEST_F(SqlPaneTest, TheSplitOfAWindowClosedBeforeAnyResultIsKept) {
  const int given = OptionData->SQLEditHeight;
  ASSERT_TRUE(w->ui->gdSQL->isHidden());
  ASSERT_TRUE(w->ui->pnlSQL->isVisible());
  w->close();
  EXPECT_EQ(TIniFile(OptionData->IniFileName).ReadInteger("WINDOW", "SQLEditHeight", -1), given);
  // The next start of the program on the same folder.
  w.reset();
  AcisDB = &db_.db();
  SetUp();
  Run("SELECT bango, meisho FROM m_kihon");
  QCoreApplication::processEvents();
  ASSERT_TRUE(w->ui->gdSQL->isVisible());
  // The editor keeps no more than its given height (or the least it needs): the rest is the grid's.
  const int editor = w->ui->pnlSQL->height();
  EXPECT_LE(editor, std::max(given, w->ui->pnlSQL->minimumSizeHint().height()));
  EXPECT_GT(w->ui->gdSQL->height(), 2 * editor);
}

// A script stopped by 中止 or ended by a failure inside the events its statement lets through
// rolls back what it began; the failure is shown as itself, not taken for 中止.
TEST_F(SqlPaneTest, AStoppedOrFailedScriptIsRolledBackAndAFailureIsNoStop) {
  const struct {
    const char *name;
    bool raise;  // else 中止
  } cases[] = {{"failure in the pump", true}, {"stop", false}};  // the grid is still hidden for the first
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    ui_.boxes.clear();
    ui_.reports.clear();
    w->mLog->Clear();
    int pumps = 0;
    ui_.on_pump = [&] {
      if (++pumps != 3) return;
      if (c.raise) throw EInOutError(cp932::FromUtf8("読み込めません: 作業領域"));
      w->actStop->trigger();
    };
    Run("--\r\nBEGIN TRANSACTION; CREATE TEMP TABLE begun_t(a); INSERT INTO begun_t VALUES (1);\r\n"
        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT x FROM c;");
    ui_.on_pump = nullptr;
    EXPECT_GE(pumps, 3);
    EXPECT_TRUE(sqlite3_get_autocommit(AcisDB->Db().Handle()));
    EXPECT_TRUE(ConnectionRows("SELECT name FROM sqlite_temp_master WHERE name = 'begun_t'").empty());
    const auto log = LogUtf8();
    const bool stopped = std::find(log.begin(), log.end(), "SQL>中止しました") != log.end();
    EXPECT_EQ(stopped, !c.raise);
    EXPECT_TRUE(ui_.reports.empty());
    if (c.raise) {
      ASSERT_EQ(ui_.boxes.size(), 1u);
      EXPECT_EQ(cp932::ToUtf8(ui_.boxes[0].text), "EInOutError\r\n読み込めません: 作業領域");
      EXPECT_TRUE(w->ui->gdSQL->isHidden());  // nothing of the failed run is shown
    } else {
      EXPECT_TRUE(ui_.boxes.empty());
      EXPECT_TRUE(w->ui->gdSQL->isVisible());
    }
  }
  // The connection serves the next run.
  Run("SELECT 1 AS a UNION ALL SELECT 2");
  EXPECT_EQ(GridRows(*w->ui->gdSQL), (Rows{{"1"}, {"2"}}));
}

TEST_F(SqlPaneTest, AResultPastTheCellBoundStopsWithAMessage) {
  const std::string sql = "SELECT bango, meisho, sakumotsu FROM tekiyo ORDER BY bango, sakumotsu, byochu";
  const Rows all = QueryRows(sql);
  ASSERT_GT(all.size(), 10u);
  const std::size_t saved = SqlResultCellBound;
  SqlResultCellBound = 31;  // ten rows of three cells
  Run(sql);
  SqlResultCellBound = saved;
  EXPECT_EQ(GridRows(*w->ui->gdSQL), Rows(all.begin(), all.begin() + 10));
  EXPECT_EQ(cp932::ToUtf8(w->StatusText(3)), "10件");
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(cp932::ToUtf8(ui_.boxes[0].text), "結果が大きすぎるため、10件で読み込みを打ち切りました");
}

TEST_F(SqlPaneTest, FailingSelectIsReportedOnce) {
  Run("SELECT * FROM no_such_table");
  EXPECT_EQ(ui_.reports.size(), 1u);
  EXPECT_TRUE(ui_.boxes.empty());  // no "no rows" box after the error report
  Run("SELECT * FROM m_tekiyo WHERE 0");
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(cp932::ToUtf8(ui_.boxes[0].text), "検索条件に一致するデータはありません");
}

TEST_F(SqlPaneTest, ScriptModeIsScopedAndAFailedScriptLeavesNoTransaction) {
  AcisDB->SetMultiStatement(false);
  Run("--\r\nBEGIN TRANSACTION; CREATE TEMP TABLE half_t(a); INSERT INTO half_t VALUES (1); INSERT INTO no_such VALUES (1);");
  EXPECT_EQ(ui_.reports.size(), 1u);
  EXPECT_TRUE(sqlite3_get_autocommit(AcisDB->Db().Handle()));  // rolled back
  EXPECT_TRUE(ConnectionRows("SELECT name FROM sqlite_temp_master WHERE name = 'half_t'").empty());
  EXPECT_FALSE(AcisDB->Db().MultiStatement);  // the pane's mode ended with its run
  // A later script of another command still runs whole.
  AcisDB->SetMultiStatement(true);
  AcisDB->ExecSQL("CREATE TEMP TABLE later_t(a); INSERT INTO later_t VALUES (5);");
  EXPECT_EQ(ConnectionRows("SELECT a FROM later_t"), (Rows{{"5"}}));
}

TEST_F(SqlPaneTest, DebugSwitchAndEmptyResults) {
  Run("--/debug on");
  EXPECT_TRUE(DebugMode);
  EXPECT_EQ(LogUtf8().back(), "DebugMode ON");
  Run("--/debug off");
  EXPECT_FALSE(DebugMode);
  EXPECT_EQ(LogUtf8().back(), "DebugMode OFF");
  // Followed by more lines it is a commented script, not the switch.
  Run("--/debug on\r\nSELECT 1");
  EXPECT_FALSE(DebugMode);
  EXPECT_TRUE(w->ui->gdSQL->isVisible());
  // An empty PRAGMA result warns; an empty script ending in a change does not.
  ui_.boxes.clear();
  Run("PRAGMA index_list('no_such_table')");
  EXPECT_EQ(ui_.boxes.size(), 1u);
  ui_.boxes.clear();
  Run("--\r\nCREATE TEMP TABLE quiet_t(a); DELETE FROM quiet_t;");
  EXPECT_TRUE(ui_.boxes.empty());
}

TEST_F(SqlPaneTest, EnablingFollowsTheEditorText) {
  SetSQLEditorText(w->SQLEditor, "");
  EXPECT_FALSE(w->ui->btnQueryExec->isEnabled());
  EXPECT_FALSE(w->ui->btnQuerySave->isEnabled());
  SetSQLEditorText(w->SQLEditor, "select 1");
  EXPECT_TRUE(w->ui->btnQueryExec->isEnabled());
  EXPECT_TRUE(w->ui->btnQuerySave->isEnabled());
  EXPECT_TRUE(w->actSearchTekiyou->isEnabled());
  // The search action runs the pane on the SQL tab.
  w->actSearchTekiyou->trigger();
  EXPECT_TRUE(w->ui->gdSQL->isVisible());
  EXPECT_TRUE(w->actCsvSave->isEnabled());
}

TEST_F(SqlPaneTest, QueryFileRoundTripKeepsJapaneseInTheAnsiCodePage) {
  TempDir dir;
  const std::string file = (dir / "作物.qry").string();
  const std::string text_utf8 = "SELECT * FROM tekiyo\r\nWHERE sakumotsu = 'だいこん' -- ソ①";
  SetSQLEditorText(w->SQLEditor, cp932::FromUtf8(text_utf8));
  dialogs_.answers.push_back({true, cp932::FromUtf8(file), ""});
  w->ui->btnQuerySave->click();
  ASSERT_EQ(dialogs_.files.size(), 1u);
  const TFileDialogRequest &save = dialogs_.files[0].request;
  EXPECT_TRUE(save.Save);
  EXPECT_EQ(save.DefaultExt, "qry");
  EXPECT_EQ(cp932::ToUtf8(save.Filter), "ｸｴﾘｰﾌｧｲﾙ (*.qry)|*.qry");
  EXPECT_TRUE(save.OverwritePrompt);
  // The file holds CP932 bytes, one editor line a line.
  const std::string bytes = ReadFile(dir / "作物.qry");
  EXPECT_EQ(bytes.substr(0, bytes.find_last_not_of("\r\n") + 1), cp932::FromUtf8(text_utf8));

  SetSQLEditorText(w->SQLEditor, "");
  dialogs_.answers.push_back({true, cp932::FromUtf8(file), ""});
  w->ui->btnQueryLoad->click();
  EXPECT_EQ(cp932::ToUtf8(SQLEditorText(w->SQLEditor)), text_utf8);
  EXPECT_TRUE(w->ui->btnQueryExec->isEnabled());

  // A file that cannot be read leaves the text and says so.
  dialogs_.answers.push_back({true, cp932::FromUtf8((dir / "none.qry").string()), ""});
  ui_.boxes.clear();
  w->ui->btnQueryLoad->click();
  EXPECT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(cp932::ToUtf8(SQLEditorText(w->SQLEditor)), text_utf8);
}

TEST_F(SqlPaneTest, TableAndFieldListsAndTheirFragments) {
  w->LoadSqlTableLists();
  std::vector<std::string> expected;
  for (const auto &r : QueryRows("SELECT name FROM sqlite_master WHERE type IN ('table','view') AND name <> 'info'"))
    expected.push_back(r[0]);
  for (const auto &r : ConnectionRows("SELECT name FROM sqlite_temp_master WHERE type IN ('table','view') AND name <> 'info'"))
    expected.push_back(r[0]);
  std::vector<std::string> tables;
  for (int i = 0; i < w->ui->cbTableName->count(); ++i) tables.push_back(w->ui->cbTableName->itemText(i).toStdString());
  EXPECT_EQ(tables, expected);

  // The fields of the chosen table.
  w->ui->cbTableName->setCurrentText("m_tekiyo");
  std::vector<std::string> fields, expected_fields;
  for (int i = 0; i < w->ui->lstSqlField->Count(); ++i) fields.push_back(cp932::ToUtf8(w->ui->lstSqlField->Item(i)));
  for (const auto &r : QueryRows("PRAGMA table_info('m_tekiyo')")) expected_fields.push_back(r[1]);
  EXPECT_EQ(fields, expected_fields);

  auto run_item = [&](const char *name) {
    QAction *a = w->pmnSqlField->findChild<QAction *>(name);
    if (!a)
      for (QAction *x : w->pmnSqlField->actions())
        if (x->objectName() == name) a = x;
    EXPECT_NE(a, nullptr) << name;
    SetSQLEditorText(w->SQLEditor, "");
    w->pmnSqlFieldPopup();
    if (a && a->isEnabled()) a->trigger();
    return cp932::ToUtf8(SQLEditorText(w->SQLEditor));
  };
  // Without a checked field only the field-free items write.
  EXPECT_EQ(run_item("pmnSqlSelectFrom"), "");
  EXPECT_EQ(run_item("pmnSqlSelectAll"), "SELECT * FROM m_tekiyo");
  w->ui->lstSqlField->SetChecked(0, true);
  w->ui->lstSqlField->SetChecked(3, true);
  const std::string a = expected_fields[0], b = expected_fields[3];
  EXPECT_EQ(run_item("pmnSqlSelectFrom"), "SELECT " + a + "," + b + " FROM m_tekiyo");
  EXPECT_EQ(run_item("pmnSqlWhereRegExpAnd"), " where " + a + " regexp 'pattern'\r\n AND " + b + " regexp 'pattern'\r\n");
  EXPECT_EQ(run_item("pnmSqlOrderBy"), " ORDER BY " + a + "," + b);
  EXPECT_EQ(run_item("mnPRAGMAtablelist"), "PRAGMA table_info('m_tekiyo');");
  // A quote in a table name stays inside the quoted name.
  w->ui->cbTableName->addItem("it's");
  w->ui->cbTableName->setCurrentText("it's");
  EXPECT_EQ(run_item("pmnPRAGMAindexlist"), "PRAGMA index_list('it''s');");
  EXPECT_TRUE(ui_.reports.empty());
}

TEST(SqlPaneFragments, WhereClauseAndStatementTests) {
  EXPECT_EQ(BuildWhereClause(2, {"a", "b"}, "and"), " where a regexp 'pattern'\r\n and b regexp 'pattern'\r\n");
  EXPECT_EQ(BuildWhereClause(0, {"x"}, "OR"), " where x like '%%'\r\n");
  EXPECT_EQ(BuildWhereClause(1, {}, "OR"), "");
  EXPECT_TRUE(StartsWithComment("  --/d\nupdate"));
  EXPECT_TRUE(StartsWithComment("/* x */"));
  EXPECT_FALSE(StartsWithComment("select -- x"));
  EXPECT_TRUE(IsQueryStatement(" \tPRAGMA x"));
  EXPECT_FALSE(IsQueryStatement("(select 1)"));
}

}  // namespace
