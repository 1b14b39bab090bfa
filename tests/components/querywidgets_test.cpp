// The query object filling the real widgets, and the report window it shows failures in.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QPointer>
#include <QTextBlock>
#include <QTextLayout>
#include <gtest/gtest.h>

#include "components/CheckListBoxEx.h"
#include "components/grid/ExcelUtil.h"
#include "components/FillAdapters.h"
#include "components/MemoDlg.h"
#include "components/QtServices.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "support/enginefixture.h"
#include "support/testutil.h"

using namespace cp932::literals;

namespace {

class QueryWidgets : public ::testing::Test {
 protected:
  void SetUp() override {
    {
      TSQLiteDb db((dir_ / "acis.db").string());
      db.MultiStatement = true;
      db.ExecSQL(cp932::FromUtf8(
          "CREATE TABLE t(id INTEGER, name TEXT, dokusei TEXT);"
          "INSERT INTO t VALUES (7,'水稲','普通物'),(8,'','劇物'),(9,'水稲',NULL);"));
    }
    db_ = std::make_unique<TAcisDB>((dir_ / "acis.db").string(), nullptr);
  }
  void TearDown() override { db_.reset(); }
  qmtest::TempDir dir_;
  qmtest::ScopedEngineState state_{dir_.path()};
  std::unique_ptr<TAcisDB> db_;
};

TEST_F(QueryWidgets, FillsListsCombosAndTheGrid) {
  TScopedRecordingUi ui;
  TCheckListBoxEx checks;
  TListBoxTarget check_target(checks);
  ASSERT_TRUE(db_->ExecQuery("SELECT name FROM t ORDER BY id"));
  db_->SetCheckListBox(check_target);
  ASSERT_EQ(checks.Count(), 1);
  EXPECT_EQ(checks.Item(0), "水稲"_sj);
  EXPECT_TRUE(checks.updatesEnabled());

  TListBoxEx list;
  TListBoxTarget list_target(list);
  ASSERT_TRUE(db_->ExecQuery("SELECT id, name FROM t ORDER BY id"));
  db_->SetListBoxNumbered(list_target, true);
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Item(0), "    7 " + "水稲"_sj);
  EXPECT_EQ(list.Item(1), "    8 ");

  QComboBox combo;
  TComboTarget combo_target(combo);
  ASSERT_TRUE(db_->ExecQuery("SELECT id, name FROM t ORDER BY id"));
  db_->SetCombo(combo_target, 1, true);
  ASSERT_EQ(combo.count(), 3);
  EXPECT_EQ(combo.itemText(0), QString::fromUtf8("水稲"));
  EXPECT_EQ(combo.itemText(1), QString());

  TXlsStringGrid grid;
  grid.setObjectName("gdSeizai");
  grid.show();
  ASSERT_TRUE(db_->SetGrid(grid, "SELECT id AS bango, name AS sakumotsu, dokusei FROM t ORDER BY id"));
  EXPECT_FALSE(grid.isVisible());
  EXPECT_EQ(grid.RowCount(), 4);
  EXPECT_EQ(grid.ColCount(), 3);
  EXPECT_EQ(grid.FixedRows(), 1);
  EXPECT_EQ(grid.FixedCols(), 0);
  EXPECT_EQ(grid.Cells(0, 0), "番号"_sj);
  EXPECT_EQ(grid.Cells(2, 0), "製剤毒性"_sj);
  EXPECT_EQ(grid.Cells(1, 1), "水稲"_sj);
  EXPECT_EQ(grid.Cells(2, 3), "");
  EXPECT_TRUE(grid.updatesEnabled());
}

TEST(MemoDialog, ShowsTheSqlReportCopiesAllAndFreesItselfOnClose) {
  TDlgMemo::Modeless = true;
  TQtUiServices qt;
  SetUiServices(&qt);
  ESQLiteException e("Error executing SQL \"SELEC 1\" : near \"SELEC\": syntax error");
  ShowSqlErrorReport("AcisMiniDB.UpperGroup SQL実行"_sj, e);
  SetUiServices(nullptr);
  TDlgMemo::Modeless = false;

  QPointer<TDlgMemo> dlg;
  for (QWidget *w : QApplication::topLevelWidgets())
    if (auto *d = qobject_cast<TDlgMemo *>(w); d && d->isVisible()) dlg = d;
  ASSERT_TRUE(dlg);
  EXPECT_EQ(dlg->windowTitle(), QString::fromUtf8("SQL エラー"));
  EXPECT_EQ(dlg->parent(), nullptr);
  const std::string expected =
      "ESQLiteException\r\n---------\r\nError executing SQL \"SELEC 1\" : near \"SELEC\": syntax error";
  EXPECT_EQ(dlg->Message(), expected);

  dlg->findChild<QPushButton *>("btnCopyAll")->click();
  EXPECT_EQ(ClipboardText(), expected);

  dlg->findChild<QPushButton *>("Button1")->click();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(dlg.isNull());
}

TEST(MemoDialog, LongMessagesWrapToTheWindowWidth) {
  // SQLite's message names the whole statement on one line; a long name has no blank to
  // break at.
  std::string sql = "SELECT";
  for (int i = 0; i < 40; ++i) sql += " column_" + std::to_string(i) + ",";
  const std::string message = "ESQLiteException\r\n---------\r\nError executing SQL \"" + sql +
                              " x FROM t\" : no such column: " + std::string(150, 'x');
  QPointer<TDlgMemo> dlg = new TDlgMemo(nullptr);
  dlg->SetMessage(message);
  dlg->show();
  QApplication::processEvents();
  auto *memo = dlg->findChild<QPlainTextEdit *>("mMessage");
  ASSERT_NE(memo, nullptr);
  const int width = memo->viewport()->width();
  int lines = 0;
  for (QTextBlock b = memo->document()->begin(); b.isValid(); b = b.next()) {
    const QTextLayout *layout = b.layout();
    ASSERT_NE(layout, nullptr);
    lines += layout->lineCount();
    for (int i = 0; i < layout->lineCount(); ++i)
      EXPECT_LE(layout->lineAt(i).naturalTextWidth(), width) << "line " << i << " of block " << b.blockNumber();
  }
  EXPECT_GT(lines, 4);  // the message goes on over several lines
  EXPECT_EQ(dlg->Message(), message);  // wrapping adds no line breaks to the text
  dlg->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(dlg.isNull());
}

}  // namespace
