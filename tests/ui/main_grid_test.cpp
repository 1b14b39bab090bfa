// The main window's result grids on the sample database: view names, column widths, header
// sorting, copies, right clicks, the detail card, the neighbouring-crop marks and the grid
// popup's items and captions.
#include <gtest/gtest.h>

#include <QAction>
#include <QFontMetrics>
#include <QMenu>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <functional>
#include <QHelpEvent>
#include <QToolTip>

#include "components/grid/ExcelUtil.h"
#include "components/QtServices.h"
#include "components/WinSpinEdit.h"
#include "platform/cp932.h"
#include "ui/main.h"
#include "ui/main_sqledit.h"
#include "ui/main_window_test_util.h"
#include "ui_main.h"

using namespace qmtest;
using cp932::literals::operator""_sj;

namespace {

std::string U8(std::string_view s) { return cp932::ToUtf8(s); }

// Fills a grid with UTF-8 rows, the first being the header.
void Fill(TXlsStringGrid *g, const Rows &rows) {
  g->SetShape(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()), 1, 0);
  for (int r = 0; r < static_cast<int>(rows.size()); ++r)
    for (int c = 0; c < static_cast<int>(rows[r].size()); ++c) g->SetCells(c, r, cp932::FromUtf8(rows[r][c]));
  g->show();
}

QPoint CellCentre(TXlsStringGrid *g, int c, int r) { return g->CellRect(c, r).center(); }

class ResultGridTest : public MainWindowFixture {
 protected:
  // Runs the statement through the SQL pane into gdSQL.
  void RunSql(const std::string &utf8) {
    w->ui->pgSearch->setCurrentWidget(w->ui->tabSQL);
    SetSQLEditorText(w->SQLEditor, cp932::FromUtf8(utf8));
    w->ui->btnQueryExec->click();
    w->ui->gdSQL->setMinimumHeight(300);  // room for the rows the test clicks
    QCoreApplication::processEvents();
  }
};

TEST(ResultViewName, NamesAndTheOneOddSpelling) {
  struct Case {
    int tab;
    bool tsusho;
    int mode, rac;
    const char *name;
  } cases[] = {
      {0, false, 0, 0, "tvTekiyoSaku1"},           {1, false, 4, 0, "tvTekiyoByochu5"},
      {0, true, 2, 1, "tvTsushoTekiyoRkSaku3"},    {1, true, 4, 1, "tvTsushoTekiyoRKByochu5"},
      {1, true, 3, 1, "tvTsushoTekiyoRkByochu4"},  {0, false, 4, 1, "tvTekiyoRkSaku5"},
      {2, false, 0, 0, "keep"},                    {0, false, 5, 0, "keep"},
      {1, false, -1, 0, "keep"},                   {0, false, 0, 2, "keep"},
  };
  for (const Case &c : cases)
    EXPECT_EQ(TfrmMain::ResultViewName(c.tab, c.tsusho, c.mode, c.rac, "keep"), c.name) << c.tab << c.mode << c.rac;
}

TEST_F(ResultGridTest, ColumnWidths) {
  TXlsStringGrid *g = w->ui->gdTekiyo;
  w->ui->pgSearch->setCurrentWidget(w->ui->tabDefault);
  const QFontMetrics fm(g->font());
  auto tw = [&](const std::string &utf8) { return fm.horizontalAdvance(QString::fromUtf8(utf8.c_str())); };
  const int W = tw("あ");
  const std::string long_text(120, 'm');  // far wider than the maximum on one line
  OptionData->GridMaxWidth = 300;
  Fill(g, {{"番号", "空", "混合数", "魚毒性", "農薬の名称", "作物名"},
           {"1", "", "2", "A", long_text, "ねぎ"},
           {"22", "", "3", "B", "x", "だいこんとたまねぎ"}});
  w->TabState[0].CellLine = 1;
  w->AdjustGridColumnWidths(g);
  // The all-empty column is gone.
  ASSERT_EQ(g->ColCount(), 5);
  EXPECT_EQ(U8(g->Cells(1, 0)), "混合数");
  EXPECT_EQ(g->ColWidths(0), tw("00000") + 5);  // "番号"
  EXPECT_EQ(g->ColWidths(1), tw("00") + 5);     // "混合数"
  EXPECT_EQ(g->ColWidths(2), tw("魚毒性") + 5);  // a short column under "魚毒性"
  EXPECT_EQ(g->ColWidths(3), 305);               // capped by GridMaxWidth
  EXPECT_EQ(g->ColWidths(4), tw("だいこんとたまねぎ") + W + 5);

  // Three lines a cell: a third of the text width.
  const std::string mid(std::string(60, 'm'));
  Fill(g, {{"農薬の名称", "作物名"}, {mid, "だいこんとたまねぎとだいこんとたまねぎ"}});
  w->TabState[0].CellLine = 3;
  w->AdjustGridColumnWidths(g);
  EXPECT_EQ(g->ColWidths(0), std::min(tw(mid) / 3 + W, 300) + 5);
  EXPECT_EQ(g->ColWidths(1), tw("だいこんとたまねぎとだいこんとたまねぎ") / 3 + W + 5);
  const int font_height = QFontInfo(g->font()).pixelSize();
  EXPECT_EQ(g->RowHeights(1), (font_height + OptionData->GridLineAddSpace) * 3 + OptionData->GridLineSpace);
  EXPECT_EQ(g->RowHeights(0), font_height + 4);

  // The product grid is not capped; a column as wide as the grid is narrowed to fit.
  TXlsStringGrid *s = w->ui->gdSeizai;
  w->TabState[0].CellLine = 1;
  s->setFixedSize(1200, 200);
  const QFontMetrics sfm(s->font());
  auto stw = [&](const std::string &t) { return sfm.horizontalAdvance(QString::fromUtf8(t.c_str())); };
  const int sW = stw("あ");
  const std::string past_max(36, 'm');
  Fill(s, {{"項目", "内容"}, {"x", past_max}});
  w->AdjustGridColumnWidths(s);
  ASSERT_GT(stw(past_max) + sW + 5, 305);
  ASSERT_LT(stw(past_max) + sW + 5, s->width()) << s->width();
  EXPECT_EQ(s->ColWidths(1), stw(past_max) + sW + 5);
  Fill(s, {{"項目", "内容"}, {"x", long_text + long_text}});
  w->AdjustGridColumnWidths(s);
  EXPECT_EQ(s->ColWidths(1), s->width() - s->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, s) - 4);
}

// A result of millions of cells is sized from a sample of its rows; a column is removed only
// when it is empty indeed, not when the sample passed over its one text.
TEST_F(ResultGridTest, ALargeResultIsSizedFromASampleAndKeepsASparseColumn) {
  TXlsStringGrid *g = w->ui->gdTekiyo;
  w->ui->pgSearch->setCurrentWidget(w->ui->tabDefault);
  w->TabState[0].CellLine = 1;
  constexpr int kRows = 600'000;
  g->SetShape(2, kRows + 1, 1, 0);
  g->SetCells(0, 0, "a");
  g->SetCells(1, 0, "b");
  for (int r = 1; r <= kRows; ++r) g->SetCells(0, r, "n");
  g->SetCells(1, 250'003, "i");
  const QFontMetrics fm(g->font());
  const int W = fm.horizontalAdvance(QString::fromUtf8("あ"));
  w->AdjustGridColumnWidths(g);
  ASSERT_EQ(g->ColCount(), 2);
  EXPECT_EQ(g->ColWidths(0), 5 * W + 5);
  EXPECT_EQ(g->ColWidths(1), 5 * W + 5);
  EXPECT_EQ(g->Cells(1, 250'003), "i");
  // An empty column is still removed.
  g->SetCells(1, 250'003, "");
  w->AdjustGridColumnWidths(g);
  EXPECT_EQ(g->ColCount(), 1);
}

// A result fills with the window's events running. A search, a header sort or a column
// removal pressed then (here from a timer that fires while the rows are written) does
// nothing: the grid holds exactly the query's rows, and the commands work again after it.
TEST_F(ResultGridTest, CommandsPressedDuringAFillDoNothing) {
  TXlsStringGrid *g = w->ui->gdSQL;
  // The fill lets the events through every 1000 rows, however fast it runs.
  const TEventPump::TByTicks pump(1000);
  constexpr int kRows = 20000;
  const std::string sql = "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < " +
                          std::to_string(kRows) + ") SELECT i AS 番号, 'r' || (i % 1000) AS t1, i % 7 AS n2 FROM k";
  // Row i of the result holds i, "r" + (i mod 1000) and i mod 7 (compared in place: they are
  // many). Few distinct texts keep the width computation short.
  auto holds_the_query_rows = [&] {
    if (g->RowCount() != kRows + 1 || g->ColCount() != 3) return false;
    for (int i = 1; i <= kRows; ++i) {
      const std::string n = std::to_string(i);
      if (g->CellView(0, i) != n || g->CellView(1, i) != "r" + std::to_string(i % 1000) ||
          g->CellView(2, i) != std::to_string(i % 7))
        return false;
    }
    return true;
  };
  struct Case {
    const char *name;
    std::function<void()> press;
  } cases[] = {
      {"search",
       [&] {
         SetSQLEditorText(w->SQLEditor, cp932::FromUtf8("SELECT 'x' AS 番号, 'y' AS t1, 'z' AS n2"));
         w->actSearchTekiyou->trigger();
       }},
      {"header sort",
       [&] {
         const QPoint at = g->CellRect(1, 0).center();
         g->OnMouseDown(*g, mbLeft, 0, at.x(), at.y());
       }},
      {"column removal",
       [&] {
         w->ClickedCol = 0;
         w->pmnRemoveClm->trigger();
       }},
  };
  for (const Case &c : cases) {
    bool pressed = false;
    QTimer during;
    QObject::connect(&during, &QTimer::timeout, [&] {
      // Between the first and the last row written.
      if (g->RowCount() != kRows + 1 || g->CellView(0, 1).empty() || !g->CellView(0, kRows).empty()) return;
      during.stop();
      c.press();
      pressed = true;
    });
    during.start(0);
    // The window's pump (the test's recording services stand in for the real ones).
    ui_.on_pump = [] { QCoreApplication::processEvents(); };
    RunSql(sql);
    ui_.on_pump = nullptr;
    during.stop();
    ASSERT_TRUE(pressed) << c.name << ": the fill ran no events";
    EXPECT_TRUE(holds_the_query_rows()) << c.name;
    EXPECT_EQ(U8(g->Cells(1, 0)), "T1") << c.name;
    EXPECT_TRUE(w->actSearchTekiyou->isEnabled()) << c.name;
    EXPECT_TRUE(w->ui->btnQueryExec->isEnabled()) << c.name;
  }
  // After the fill the same commands act again.
  w->ClickedCol = 0;
  w->pmnRemoveClm->trigger();
  EXPECT_EQ(U8(g->Cells(0, 0)), "T1");
}

TEST_F(ResultGridTest, NumberHeaderSortsNumericallyUpThenDown) {
  RunSql("SELECT bango, meisho FROM tekiyo GROUP BY bango ORDER BY meisho");
  TXlsStringGrid *g = w->ui->gdSQL;
  ASSERT_EQ(U8(g->Cells(0, 0)), "番号");
  std::vector<std::string> up;
  for (const auto &r : QueryRows("SELECT bango FROM tekiyo GROUP BY bango ORDER BY bango")) up.push_back(r[0]);
  auto column = [&] {
    std::vector<std::string> v;
    for (int r = 1; r < g->RowCount(); ++r) v.push_back(g->Cells(0, r));
    return v;
  };
  QTest::mouseMove(g->viewport(), CellCentre(g, 0, 0));
  QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, CellCentre(g, 0, 0));
  EXPECT_EQ(column(), up);
  EXPECT_EQ(U8(w->StatusText(2)), "ｿｰﾄ:番号△");
  QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, CellCentre(g, 0, 0));
  EXPECT_EQ(column(), std::vector<std::string>(up.rbegin(), up.rend()));
  EXPECT_EQ(U8(w->StatusText(2)), "ｿｰﾄ:番号▽");
  // Another tab keeps its own texts; coming back restores these.
  w->ui->pgSearch->setCurrentWidget(w->ui->tabDefault);
  EXPECT_EQ(w->StatusText(2), "");
  w->ui->pgSearch->setCurrentWidget(w->ui->tabSQL);
  EXPECT_EQ(U8(w->StatusText(2)), "ｿｰﾄ:番号▽");
  EXPECT_EQ(U8(w->StatusText(3)), std::to_string(up.size()) + "件");
}

// The sort text names its column. Another column removed, it stays, and the sorted column
// still turns its order round on the next click; the sorted column removed, whichever way it
// goes, the text goes too and the next sort starts ascending.
TEST_F(ResultGridTest, TheSortTextGoesWithItsColumn) {
  TXlsStringGrid *g = w->ui->gdSQL;
  auto click_header = [&](int c) {
    QTest::mouseMove(g->viewport(), CellCentre(g, c, 0));
    QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, CellCentre(g, c, 0));
  };
  auto column = [&](int c) {
    std::vector<std::string> v;
    for (int r = 1; r < g->RowCount(); ++r) v.push_back(g->Cells(c, r));
    return v;
  };
  RunSql("SELECT bango, meisho, jiki FROM tekiyo ORDER BY bango LIMIT 30");
  ASSERT_EQ(U8(g->Cells(2, 0)), "使用時期");
  click_header(2);
  EXPECT_EQ(U8(w->StatusText(2)), "ｿｰﾄ:使用時期△");
  const std::vector<std::string> up = column(2);
  w->ClickedCol = 0;
  w->pmnRemoveClm->trigger();
  EXPECT_EQ(U8(w->StatusText(2)), "ｿｰﾄ:使用時期△");
  click_header(1);
  EXPECT_EQ(U8(w->StatusText(2)), "ｿｰﾄ:使用時期▽");
  EXPECT_EQ(column(1), std::vector<std::string>(up.rbegin(), up.rend()));

  const struct {
    const char *name;
    const char *sql;
    int col;  // the sorted column
    std::function<void()> remove;
  } cases[] = {
      {"列削除", "SELECT bango, jiki FROM tekiyo ORDER BY bango LIMIT 30", 1,
       [&] {
         w->ClickedCol = 1;
         w->pmnRemoveClm->trigger();
       }},
      {"Ctrl+Shift+X", "SELECT bango, jiki FROM tekiyo ORDER BY bango LIMIT 30", 1,
       [&] {
         g->setFocus();
         g->FocusCell(1, 1, true);
         QTest::keyClick(g, Qt::Key_X, Qt::ShiftModifier | Qt::ControlModifier);
       }},
      // The one filled cell's row removed, the width pass finds the column empty.
      {"列幅自動設定", "SELECT 1 AS a, '' AS e UNION ALL SELECT 2, 'x'", 1,
       [&] {
         g->FocusCell(0, column(1)[0] == "x" ? 1 : 2, true);
         w->pmnRemoveRowClick();
         ASSERT_EQ(column(1), std::vector<std::string>{""});
         w->actGridAdjustWidth->trigger();
       }},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    RunSql(c.sql);
    const int cols = g->ColCount();
    click_header(c.col);
    ASSERT_EQ(w->StatusText(2).rfind("ｿｰﾄ:"_sj, 0), 0u);
    c.remove();
    EXPECT_EQ(g->ColCount(), cols - 1);
    EXPECT_EQ(w->StatusText(2), "");
    // Another tab and back: the text stays gone.
    w->ui->pgSearch->setCurrentWidget(w->ui->tabDefault);
    w->ui->pgSearch->setCurrentWidget(w->ui->tabSQL);
    EXPECT_EQ(w->StatusText(2), "");
    click_header(0);
    EXPECT_EQ(w->StatusText(2).back(), "△"_sj.back());
  }

  // A new result goes with the text too: the chemical tab's next product without the asked
  // applications hides the grid, and the sort text of the last one with it.
  w->ui->pgSearch->setCurrentWidget(w->ui->tabYakuzai);
  const std::string bango = QueryRows("SELECT bango FROM m_tekiyo ORDER BY bango LIMIT 1")[0][0];
  w->YakuzaiSakumotsuNames.clear();
  w->YakuzaiSelect(bango);
  TXlsStringGrid *y = w->ui->gdYakuzai;
  ASSERT_TRUE(y->isVisible());
  const QPoint at = CellCentre(y, 0, 0);
  y->OnMouseDown(*y, mbLeft, 0, at.x(), at.y());
  ASSERT_EQ(U8(w->StatusText(2)), "ｿｰﾄ:作物名△");
  w->YakuzaiSakumotsuNames = "存在しない作物"_sj;
  w->YakuzaiSelect(bango);
  EXPECT_FALSE(y->isVisible());
  EXPECT_EQ(w->StatusText(2), "");
  EXPECT_EQ(w->TabState[2].StatusText, "");
}

TEST_F(ResultGridTest, CopiesAndRightClicks) {
  RunSql("SELECT 'ＡＢ' AS a, 'x1' AS b, 'z' AS c UNION ALL SELECT 'ｶﾅ', 'y2', 'w'");
  TXlsStringGrid *g = w->ui->gdSQL;
  g->SetSelection({0, 1, 1, 2});
  w->actCopyMobile->trigger();
  EXPECT_EQ(ClipboardText(), "AB\r\nx1\r\n---------\r\nｶﾅ\r\ny2\r\n---------\r\n"_sj);
  g->SetColWidths(0, 0);  // a hidden column is left out, the last one never
  g->SetSelection({0, 1, 2, 2});
  w->actGridCopy->trigger();
  EXPECT_EQ(ClipboardText(), "x1\tz\r\ny2\tw\r\n");
  g->SetColWidths(0, 50);

  // A right click inside the selection keeps it; outside it moves to the clicked cell.
  g->SetSelection({0, 1, 1, 2});
  QTest::mousePress(g->viewport(), Qt::RightButton, {}, CellCentre(g, 1, 2));
  w->mnTekiyouGrid->hide();
  EXPECT_EQ(g->Selection(), (TGridRect{0, 1, 1, 2}));
  EXPECT_TRUE(w->ClickedInSelection);
  QTest::mousePress(g->viewport(), Qt::RightButton, {}, CellCentre(g, 2, 1));
  w->mnTekiyouGrid->hide();
  EXPECT_EQ(g->Selection(), (TGridRect{2, 1, 2, 1}));
  EXPECT_FALSE(w->ClickedInSelection);
  // A one-cell copy is the clicked cell's text.
  w->actGridCopy->trigger();
  EXPECT_EQ(ClipboardText(), "z");
}

TEST_F(ResultGridTest, KeysOpenTheCardAndChangeLinesAndWidths) {
  RunSql("SELECT bango, meisho, sakumotsu FROM tekiyo ORDER BY bango LIMIT 5");
  TXlsStringGrid *g = w->ui->gdSQL;
  g->setFocus();
  g->FocusCell(1, 2, true);
  QTest::keyClick(g, Qt::Key_Return);
  EXPECT_EQ(modal_, (std::vector<std::string>{"TDlgTekiyouCard"}));
  QTest::keyClick(g, Qt::Key_3);
  EXPECT_EQ(w->TabState[4].CellLine, 3);
  EXPECT_EQ(w->seGridCellLine->text(), "3");
  const int before = g->ColWidths(1);
  QTest::keyClick(g, Qt::Key_Insert, Qt::ShiftModifier);
  EXPECT_EQ(g->ColWidths(1), before + 5);
  QTest::keyClick(g, Qt::Key_Insert, Qt::ShiftModifier | Qt::AltModifier);  // not exactly Shift
  EXPECT_EQ(g->ColWidths(1), before + 5);
  QTest::keyClick(g, Qt::Key_X, Qt::ShiftModifier | Qt::ControlModifier);
  EXPECT_EQ(g->ColCount(), 2);
}

TEST_F(ResultGridTest, NeighbouringCropRowsAreMarkedByTheirOwnCropName) {
  w->ui->pgSearch->setCurrentWidget(w->ui->tabDefault);
  w->AdjacentCropNames = {"ねぎ"_sj};
  w->ShowQueryInGrid(w->ui->gdTekiyo,
                     "SELECT bango, meisho, sakumotsu FROM tekiyo WHERE sakumotsu LIKE '%ねぎ%' ORDER BY bango"_sj);
  TXlsStringGrid *g = w->ui->gdTekiyo;
  ASSERT_EQ(U8(g->Cells(2, 0)), "作物名");
  int marked = 0;
  for (int r = 1; r < g->RowCount(); ++r) {
    EXPECT_EQ(g->RowObject(r) == 1, U8(g->Cells(2, r)) == "ねぎ") << U8(g->Cells(2, r));
    marked += g->RowObject(r) == 1;
  }
  EXPECT_EQ(std::to_string(marked), QueryRows("SELECT count(*) FROM tekiyo WHERE sakumotsu = 'ねぎ'")[0][0]);
  EXPECT_GT(g->RowCount() - 1, marked);  // たまねぎ rows are there, unmarked
  // The marks move with their rows when sorted.
  QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, CellCentre(g, 2, 0));
  for (int r = 1; r < g->RowCount(); ++r) EXPECT_EQ(g->RowObject(r) == 1, U8(g->Cells(2, r)) == "ねぎ");
}

TEST_F(ResultGridTest, RowSelectFixedColumnsRemovalsAndHints) {
  RunSql("SELECT bango, meisho, sakumotsu FROM tekiyo ORDER BY bango, sakumotsu LIMIT 6");
  TXlsStringGrid *g = w->ui->gdSQL;
  const Rows before = GridRows(*g);
  // Row-select mode from the menu reaches every result grid and the setting.
  w->mnRowSelect->trigger();
  EXPECT_TRUE(OptionData->GridRowSelect);
  for (TXlsStringGrid *x : {w->ui->gdTekiyo, w->ui->gdByochu, w->ui->gdYakuzai, g}) EXPECT_TRUE(x->Options() & goRowSelect);
  g->SetSelection({0, 2, 2, 4});
  w->pmnRemoveRowClick();
  EXPECT_EQ(GridRows(*g), (Rows{before[0], before[4], before[5]}));
  w->mnRowSelect->trigger();
  EXPECT_FALSE(OptionData->GridRowSelect);
  EXPECT_FALSE(g->Options() & goRowSelect);
  g->FocusCell(1, 1, true);
  w->pmnRemoveRowClick();
  EXPECT_EQ(GridRows(*g), (Rows{before[4], before[5]}));

  // Fixed columns; on the crop grid the count is kept in the settings.
  g->FocusCell(1, 1, true);
  w->pmnFixedClmClick();
  EXPECT_EQ(g->FixedCols(), 2);
  w->pmnFixedClmOffClick();
  EXPECT_EQ(g->FixedCols(), 0);
  w->ui->pgSearch->setCurrentWidget(w->ui->tabDefault);
  Fill(w->ui->gdTekiyo, {{"番号", "作物名", "農薬の名称"}, {"1", "ねぎ", "x"}});
  w->ui->gdTekiyo->FocusCell(0, 1, true);
  w->pmnFixedClmClick();
  EXPECT_EQ(OptionData->GridFixedCol, 1);
  w->pmnFixedClmOffClick();
  EXPECT_EQ(OptionData->GridFixedCol, 0);

  // A cell wider than its column shows its text as a hint; a narrow one does not.
  TXlsStringGrid *t = w->ui->gdTekiyo;
  w->TabState[0].CellLine = 1;
  t->SetColWidths(2, 4);
  QHelpEvent wide(QEvent::ToolTip, CellCentre(t, 2, 1), t->viewport()->mapToGlobal(CellCentre(t, 2, 1)));
  EXPECT_TRUE(w->ApplicationShowHint(t->viewport(), &wide));
  EXPECT_EQ(QToolTip::text().toStdString(), "x");
  t->SetColWidths(2, 200);
  t->SetCells(2, 1, "y");
  QHelpEvent fits(QEvent::ToolTip, CellCentre(t, 2, 1), t->viewport()->mapToGlobal(CellCentre(t, 2, 1)));
  w->ApplicationShowHint(t->viewport(), &fits);
  EXPECT_NE(QToolTip::text().toStdString(), "y");
}

TEST_F(ResultGridTest, PopupItemsByHeaderAndPestCategory) {
  const auto pest = [&](int cid) {
    return QueryRows("SELECT byochu FROM byochu WHERE cid = " + std::to_string(cid) + " ORDER BY byochu LIMIT 1")[0][0];
  };
  const std::string disease = pest(1), insect = pest(2), weed = pest(3);
  TXlsStringGrid *g = w->ui->gdTekiyo;
  w->ui->pgSearch->setCurrentWidget(w->ui->tabDefault);
  Fill(g, {{"番号", "農薬の名称", "作物名", "適用病害虫雑草名", "混合数", "RAC1", "成分1", "農薬通称"},
           {"123", "ＸＸ乳剤", "だいこん", disease, "2", "3A", "アセタミプリド [x]", "-"},
           {"124", "ＹＹ粒剤", "キャベツ", insect, "1", "", "", "ＹＹ"},
           {"125", "ＺＺ", "日本芝", weed, "1", "", "", ""}});
  w->SeibunViewMode = 1;
  OptionData->OffLine = false;
  struct Case {
    int col, row;
    std::vector<const char *> shown;  // the look-up and send items shown, by name
    const char *google;               // caption of pmnGoogleTekiyo when shown
    const char *send;                 // caption of pmnSendToTabYakuzai when shown
    const char *term;                 // the look-up term
  } cases[] = {
      {0, 1, {"pmnSendToTabYakuzai"}, "", "登録番号「123」を薬剤タブで検索", "123"},
      {1, 1, {"pmnGoogleTekiyo", "pmnSendToTabYakuzai", "pmnGoogleChuiJiko", "pmnGoogleChuijikoOption", "pmnGoogleKonyo", "pmnNoukaWebSearch"},
       "「ＸＸ乳剤」をGoogleで検索", "「123: ＸＸ乳剤」を薬剤タブで検索", "ＸＸ乳剤"},
      {1, 2, {"pmnGoogleTekiyo", "pmnSendToTabYakuzai", "pmnGoogleChuiJiko", "pmnGoogleKonyo", "pmnNoukaWebSearch"},
       "「ＹＹ粒剤」をGoogleで検索", "「124: ＹＹ粒剤」を薬剤タブで検索", "ＹＹ粒剤"},
      {2, 1, {"pmnGoogleTekiyo", "pmnSendToSql"}, "「だいこん」をGoogleで検索", "", "だいこん"},
      {3, 1, {"pmnGoogleTekiyo", "pmnGene", "pmnBoujonet"}, "", "", ""},
      {3, 2, {"pmnGoogleTekiyo", "pmnBoujonet"}, "", "", ""},
      {3, 3, {"pmnGoogleTekiyo", "pmnBoujonet"}, "", "", ""},
      {4, 1, {}, "", "", "2"},
      {5, 1, {"pmnSendToTabYakuzai"}, "", "「3A」を薬剤タブで検索", "3A"},
      {6, 1, {"pmnGoogleTekiyo", "pmnSendToTabYakuzai", "pmnWeblio", "pmnFcgr", "pmnPrdbSearch"},
       "「アセタミプリド」をGoogleで検索", "「アセタミプリド」を薬剤タブで検索", "アセタミプリド"},
      {6, 2, {}, "", "", ""},
      {7, 1, {"pmnSendToTabYakuzai", "pmnGoogleChuiJiko", "pmnGoogleChuijikoOption", "pmnGoogleKonyo", "pmnNoukaWebSearch"},
       "", "「-」を薬剤タブで検索", "-"},
  };
  const char *all[] = {"pmnGoogleTekiyo", "pmnGoogleChuiJiko", "pmnGoogleChuijikoOption", "pmnGoogleKonyo",
                       "pmnNoukaWebSearch", "pmnWeblio", "pmnFcgr", "pmnPrdbSearch", "pmnGoogleFfcr", "pmnNihsSearch",
                       "pmnGene", "pmnBoujonet", "pmnSendToTabYakuzai", "pmnSendToSql"};
  auto item = [&](const char *name) {
    for (QAction *a : w->mnTekiyouGrid->actions())
      if (a->objectName() == name) return a;
    ADD_FAILURE() << name;
    return w->mnTekiyouGrid->actions().front();
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.col) + "," + std::to_string(c.row));
    w->ClickedCol = c.col;
    w->ClickedRow = c.row;
    w->mnTekiyouGridPopup();
    std::vector<std::string> shown;
    for (const char *n : all)
      if (item(n)->isVisible()) shown.push_back(n);
    std::vector<std::string> want(c.shown.begin(), c.shown.end());
    std::sort(shown.begin(), shown.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(shown, want);
    if (*c.google) {
      EXPECT_EQ(item("pmnGoogleTekiyo")->text().toStdString(), c.google);
    }
    if (*c.send) {
      EXPECT_EQ(item("pmnSendToTabYakuzai")->text().toStdString(), c.send);
    }
    if (*c.term && c.col != 3) {
      EXPECT_EQ(U8(c.col == 0 ? w->SendToTerm : w->LookupTerm), c.term);
    }
    EXPECT_TRUE(w->actGridCopy->isEnabled());
    EXPECT_TRUE(item("pmnRemoveRow")->isVisible());
    EXPECT_EQ(item("pmnRemoveRow")->text().toStdString(), "行削除(&D)");
    EXPECT_FALSE(item("pmnRemoveClm")->isVisible());
  }
  // Pests take the crop into the term, weeds do not.
  w->ClickedCol = 3;
  w->ClickedRow = 1;
  w->mnTekiyouGridPopup();
  EXPECT_EQ(U8(w->LookupTerm), disease + " だいこん");
  EXPECT_EQ(item("pmnBoujonet")->text().toStdString(), "「" + disease + " だいこん」をGoogleで防除ネットサイト内検索");
  EXPECT_EQ(item("pmnGene")->text().toStdString(), "「" + disease + " だいこん」をGoogleで農業生物資源サイト内検索");
  w->ClickedRow = 3;
  w->mnTekiyouGridPopup();
  EXPECT_EQ(U8(w->LookupTerm), weed);
  // The registration number goes to the number page of the chemical tab.
  w->ClickedCol = 1;
  w->ClickedRow = 1;
  w->mnTekiyouGridPopup();
  EXPECT_EQ(w->SendToSideTab, w->ui->tabBango);
  EXPECT_EQ(w->SendToTerm, "123");

  // The header row offers the column commands; outside the cells nothing to copy.
  w->ClickedRow = 0;
  w->mnTekiyouGridPopup();
  EXPECT_FALSE(w->actGridCopy->isEnabled());
  EXPECT_TRUE(item("pmnRemoveClm")->isVisible());
  EXPECT_EQ(item("pmnRemoveClm")->text().toStdString(), "列削除(&D)");
  EXPECT_FALSE(item("pmnRemoveRow")->isVisible());
  EXPECT_TRUE(w->pmnFixedClm->isEnabled());
  EXPECT_FALSE(item("pmnGoogleTekiyo")->isVisible());
  w->ClickedRow = -1;
  w->mnTekiyouGridPopup();
  EXPECT_FALSE(w->actGridCopy->isEnabled());
  EXPECT_FALSE(w->pmnFixedClm->isEnabled());
  EXPECT_FALSE(item("pmnRemoveClm")->isVisible());

  // Offline, the look-ups stay but cannot be chosen.
  OptionData->OffLine = true;
  w->ClickedCol = 1;
  w->ClickedRow = 1;
  w->mnTekiyouGridPopup();
  EXPECT_TRUE(item("pmnGoogleKonyo")->isVisible());
  EXPECT_FALSE(item("pmnGoogleKonyo")->isEnabled());
  EXPECT_TRUE(ui_.reports.empty());
}

}  // namespace
