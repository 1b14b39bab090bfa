// Commands chosen while a run fills a result grid: those that change a grid, the settings or
// the database do nothing inside the run (the menu items among them are off for its length),
// and each acts as usual once the run has ended.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QTabWidget>
#include <algorithm>
#include <functional>
#include <string>

#include "components/WinSpinEdit.h"
#include "components/grid/ExcelUtil.h"
#include "engine/UiServices.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "ui/main.h"
#include "ui/main_window_test_util.h"
#include "ui_main.h"

using namespace qmtest;

namespace {

class RunGuardTest : public MainWindowFixture {
 protected:
  static constexpr int kRows = 20000;
  // Fills the SQL pane's grid from a statement of its own (the crop tab stays in front, and
  // its view modes find no result to show again), letting the events through every 500 rows,
  // and calls During once, at the first pump in the fill (its shape set, its last row not
  // yet written). False when no pump came during the fill.
  bool FillWith(const std::function<void()> &During) {
    const TEventPump::TByTicks pump(500);
    TXlsStringGrid *g = w->ui->gdSQL;
    bool landed = false;
    ui_.on_pump = [&] {
      if (landed || !w->Running() || g->RowCount() != kRows + 1 || !g->CellView(0, kRows).empty()) return;
      landed = true;
      During();
    };
    const bool shown = w->ShowQueryInGrid(
        g, "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < " + std::to_string(kRows) +
               ") SELECT x, 'row ' || x AS t FROM c");
    ui_.on_pump = nullptr;
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();  // what waited for the run
    EXPECT_TRUE(shown);
    EXPECT_EQ(g->RowCount(), kRows + 1);
    EXPECT_EQ(g->CellView(0, kRows), std::to_string(kRows));
    return landed;
  }
  int Dialogs(const char *ClassName) const { return static_cast<int>(std::count(modal_.begin(), modal_.end(), ClassName)); }
};

TEST_F(RunGuardTest, CommandsThatChangeWhatARunReadsWaitForItsEnd) {
  w->ui->pgSearch->setCurrentIndex(0);
  // A filled ingredient grid for its own column commands.
  TXlsStringGrid *seibun = w->ui->gdSeibun;
  seibun->SetShape(4, 3, 1, 0);
  seibun->SetCol(1);
  struct Case {
    const char *name;
    QAction *held;                         // the menu item that is off during a run (or none)
    std::function<void()> choose;          // what the user does
    std::function<std::string()> state;    // what the command changes, as a text
  };
  const std::string check_sql = "select distinct sakumotsu from m_tekiyo order by sakumotsu";
  const Case cases[] = {
      {"設定", w->actOption, [&] { w->actOption->trigger(); },
       [&] { return std::to_string(Dialogs("TfrmOption")); }},
      {"オフライン作業", w->mnOffline, [&] { w->mnOffline->trigger(); },
       [&] { return std::to_string(OptionData->OffLine) + std::to_string(w->mnOffline->isChecked()); }},
      {"行選択モード", w->mnRowSelect, [&] { w->mnRowSelect->trigger(); },
       [&] {
         return std::to_string(OptionData->GridRowSelect) + std::to_string(w->mnRowSelect->isChecked()) +
                std::to_string((w->ui->gdSQL->Options() & goRowSelect) != 0);
       }},
      // A view mode re-runs the search; its marks stay on the mode the grid shows.
      {"成分の表示", nullptr, [&] { w->SeibunViewItems[(w->SeibunViewMode + 1) % 5]->trigger(); },
       [&] {
         std::string s = std::to_string(w->SeibunViewMode) + std::to_string(OptionData->SeibunViewMode) + ":";
         for (QAction *a : w->SeibunViewItems) s += a->isChecked() ? "1" : "0";
         return s;
       }},
      // The lines per cell re-measure the grid; the spin edit keeps showing the grid's.
      {"行数", nullptr, [&] { w->seGridCellLine->SetValue(w->TabState[0].CellLine % 9 + 1); },
       [&] { return std::to_string(w->TabState[0].CellLine) + "/" + w->seGridCellLine->text().toStdString(); }},
      {"列固定", nullptr, [&] { w->pmnSeibunFixedClm->trigger(); },
       [&] { return std::to_string(seibun->FixedCols()); }},
      {"列固定解除", nullptr, [&] { w->NpmnSeibunFixedClmOff->trigger(); },
       [&] { return std::to_string(seibun->FixedCols()); }},
      // Its query would take the place of the result the run reads.
      {"作物名辞書変換チェック", nullptr, [&] { w->mnSakumotsuCheck->trigger(); },
       [&] {
         const auto log = LogUtf8();
         return std::to_string(std::count(log.begin(), log.end(), check_sql));
       }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    if (std::string(c.name) == "列固定解除") seibun->SetFixedCols(2);
    const std::string before = c.state();
    bool held_off = false;
    ASSERT_TRUE(FillWith([&] {
      held_off = c.held && !c.held->isEnabled();
      c.choose();
    })) << "no events ran during the fill";
    EXPECT_EQ(c.state(), before) << "the command acted inside the run";
    if (c.held) {
      EXPECT_TRUE(held_off) << "on during the run";
      EXPECT_TRUE(c.held->isEnabled()) << "still off after the run";
    }
    EXPECT_TRUE(modal_.empty());
    // Outside a run the same command acts.
    c.choose();
    EXPECT_NE(c.state(), before) << "the command does nothing at all";
    modal_.clear();
  }
  EXPECT_TRUE(ui_.boxes.empty());
  EXPECT_TRUE(ui_.reports.empty());
}

// A table chosen in the SQL pane during a run: its field list is read through the query
// object, whose result the run is reading, so it comes once the run has ended.
TEST_F(RunGuardTest, ATableChosenDuringARunShowsItsFieldsAfterIt) {
  w->LoadSqlTableLists();
  QComboBox *tables = w->ui->cbTableName;
  const int target = tables->findText(QStringLiteral("m_kihon"));
  ASSERT_GE(target, 0);
  ASSERT_NE(tables->currentIndex(), target);
  auto fields = [&] {
    std::string s;
    for (int i = 0; i < w->ui->lstSqlField->Count(); ++i) s += cp932::ToUtf8(w->ui->lstSqlField->Item(i)) + ",";
    return s;
  };
  const std::string before = fields();
  std::string during;
  ASSERT_TRUE(FillWith([&] {
    tables->setCurrentIndex(target);
    during = fields();
  })) << "no events ran during the fill";
  EXPECT_EQ(during, before);
  EXPECT_EQ(tables->currentIndex(), target);
  EXPECT_NE(fields().find("bango,"), std::string::npos) << fields();
  EXPECT_TRUE(ui_.reports.empty());
}

}  // namespace
