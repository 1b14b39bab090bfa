// Closing the main window while a run lets the window's events through: the run stops, the
// window closes once it has ended, and the program's event loop ends, as it does when the
// user closes the window of the running program.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <sqlite3.h>

#include "components/grid/ExcelUtil.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/IniFile.h"
#include "platform/cp932.h"
#include "ui/main.h"
#include "ui/main_sqledit.h"
#include "ui/main_sqlpane.h"
#include "ui/main_window_test_util.h"
#include "ui_main.h"

using namespace qmtest;
using namespace std::chrono_literals;

namespace {

class CloseDuringRunTest : public MainWindowFixture {
 protected:
  using Clock = std::chrono::steady_clock;
  struct Outcome {
    int exit_code = -1;
    bool closed_during_run = false;  // the close landed while the run was under way
    bool watchdog = false;           // the run went on after the close until the watchdog ended it
    double seconds_to_end = -1;      // from the close to the end of the event loop
  };

  // Starts the run from the program's event loop and closes the window at the first pump at
  // which CloseNow says so; the loop runs until the program would end. A run still going
  // 10 s after the close is stopped by the watchdog (as 中止 would), so that a window that
  // does not end its run fails here instead of hanging.
  Outcome RunAndClose(const std::function<void()> &Start, const std::function<bool()> &CloseNow) {
    Outcome out;
    std::optional<Clock::time_point> closed_at;
    ui_.on_pump = [&] {
      if (!closed_at && CloseNow()) {
        out.closed_during_run = w->Running();
        closed_at = Clock::now();
        w->close();
      } else if (closed_at && !out.watchdog && Clock::now() - *closed_at > 10s) {
        out.watchdog = true;
        w->FSqlStopRequested = true;
      }
      QCoreApplication::processEvents();
    };
    QTimer start;
    start.setSingleShot(true);
    QObject::connect(&start, &QTimer::timeout, Start);
    start.start(0);
    // The last resort: a loop that nothing ends.
    QTimer last_resort;
    last_resort.setSingleShot(true);
    QObject::connect(&last_resort, &QTimer::timeout, [] { QCoreApplication::exit(3); });
    last_resort.start(60s);
    out.exit_code = QApplication::exec();
    ui_.on_pump = nullptr;
    if (closed_at) {
      out.seconds_to_end = std::chrono::duration<double>(Clock::now() - *closed_at).count();
      std::printf("close to the end of the event loop: %.3f s\n", out.seconds_to_end);
    }
    return out;
  }

  // The next window on the sample database, as the next start of the program opens it (the
  // window that was taken down closed the program's query object).
  void NextWindow() {
    w.reset();
    AcisDB = &db_.db();
    ui_.boxes.clear();
    MainWindowFixture::SetUp();
  }

  // The window's close went through: hidden, its placement written, its run over and no
  // statement left open on the connection.
  void ExpectClosedAndIdle() {
    EXPECT_TRUE(w->isHidden());
    EXPECT_FALSE(w->Running());
    EXPECT_EQ(sqlite3_next_stmt(AcisDB->Db().Handle(), nullptr), nullptr);
    TIniFile ini(OptionData->IniFileName);
    EXPECT_EQ(ini.ReadInteger(SEC_WINDOW, "Width", -1), w->width());
    EXPECT_FALSE(RunStopRequested());
  }
};

TEST_F(CloseDuringRunTest, ANeverEndingStatementStopsAndTheProgramEnds) {
  w->ui->pgSearch->setCurrentWidget(w->ui->tabSQL);
  // It returns no row until it ends, and it never ends.
  SetSQLEditorText(w->SQLEditor,
                   "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT count(*) FROM c");
  int pumps = 0;
  const Outcome out = RunAndClose([&] { w->ui->btnQueryExec->click(); },
                                  [&] { return w->actStop->isEnabled() && ++pumps == 5; });
  EXPECT_TRUE(out.closed_during_run);
  EXPECT_FALSE(out.watchdog);
  EXPECT_EQ(out.exit_code, 0);
  ExpectClosedAndIdle();
  EXPECT_TRUE(ui_.boxes.empty());
  EXPECT_TRUE(ui_.reports.empty());
  // Nothing of the stopped run is left to be shown.
  EXPECT_TRUE(w->ui->gdSQL->isHidden());
}

TEST_F(CloseDuringRunTest, ALargeGridFillEndsWhereItWas) {
  constexpr int kRows = 2'000'000;
  const std::string sql = "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c LIMIT " +
                          std::to_string(kRows) + ") SELECT x, x * 2 AS y FROM c";
  TXlsStringGrid *g = w->ui->gdTekiyo;
  const Outcome out = RunAndClose([&] { w->ShowQueryInGrid(g, sql); },
                                  // the grid has its shape: its rows are being written
                                  [&] { return g->RowCount() == kRows + 1; });
  EXPECT_TRUE(out.closed_during_run);
  EXPECT_FALSE(out.watchdog);
  EXPECT_EQ(out.exit_code, 0);
  ExpectClosedAndIdle();
  // The rows written are the result's first ones; the fill ended before the last.
  ASSERT_EQ(g->RowCount(), kRows + 1);
  EXPECT_EQ(cp932::ToUtf8(g->CellView(0, 1)), "1");
  EXPECT_EQ(cp932::ToUtf8(g->CellView(1, 1)), "2");
  EXPECT_TRUE(g->CellView(0, kRows).empty());
  EXPECT_TRUE(g->isHidden());  // a part is not shown as the result
  EXPECT_TRUE(ui_.boxes.empty());
}

// The grids of the search tabs: a close while the widths of a filled result are measured
// ends the measuring, and the result measured in part is not shown.
TEST_F(CloseDuringRunTest, ACloseDuringTheWidthsShowsNothingOfTheResult) {
  constexpr int kRows = 20'000;  // distinct texts: each is measured
  const TEventPump::TByTicks pump(500);  // the events run during the fill and the widths
  const std::string sql = "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c LIMIT " +
                          std::to_string(kRows) + ") SELECT x, 'r' || x AS y FROM c";
  TXlsStringGrid *g = w->ui->gdTekiyo;
  bool shown = true;
  const Outcome out = RunAndClose([&] { shown = w->ShowQueryInGrid(g, sql); },
                                  // every row is in the grid: its widths are being measured
                                  [&] { return g->RowCount() == kRows + 1 && !g->CellView(0, kRows).empty(); });
  EXPECT_TRUE(out.closed_during_run);
  EXPECT_FALSE(out.watchdog);
  EXPECT_EQ(out.exit_code, 0);
  ExpectClosedAndIdle();
  EXPECT_FALSE(shown);
  EXPECT_TRUE(g->isHidden());
  EXPECT_TRUE(w->TabState[0].CountText.empty());
  EXPECT_TRUE(ui_.boxes.empty());
}

// A result cut at the cell bound, closed while its rows go into the grid or while their
// widths are measured: the run ends there, and no box ("結果が大きすぎるため…") holds the
// closing program open.
TEST_F(CloseDuringRunTest, ACloseDuringTheFillOfACutResultEndsTheWindowWithoutABox) {
  constexpr int kRows = 20'000;
  const TEventPump::TByTicks pump(500);  // the events run during the fill and the widths
  struct Bound {
    std::size_t saved = SqlResultCellBound;
    ~Bound() { SqlResultCellBound = saved; }
  } bound;
  SqlResultCellBound = 16 * kRows + 1;  // sixteen columns
  const struct {
    const char *name;
    bool filled;  // the close comes once every row is in the grid: during the widths
  } cases[] = {{"fill", false}, {"widths", true}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    NextWindow();
    w->ui->pgSearch->setCurrentWidget(w->ui->tabSQL);
    // Without an end of its own: the bound ends the read.
    SetSQLEditorText(w->SQLEditor,
                     "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT x, 'r' || x AS y, x AS c3, x AS c4, x AS c5, x AS c6, x AS c7, x AS c8, x AS c9, x AS c10, x AS c11, x AS c12, x AS c13, x AS c14, x AS c15, x AS c16 FROM c");
    TXlsStringGrid *g = w->ui->gdSQL;
    const Outcome out = RunAndClose([&] { w->ui->btnQueryExec->click(); },
                                    [&] {
                                      return g->RowCount() == kRows + 1 &&
                                             g->CellView(0, kRows).empty() != c.filled;
                                    });
    EXPECT_TRUE(out.closed_during_run);
    EXPECT_FALSE(out.watchdog);
    EXPECT_EQ(out.exit_code, 0);
    ExpectClosedAndIdle();
    EXPECT_TRUE(ui_.boxes.empty());
    EXPECT_TRUE(g->isHidden());  // a part is not shown as the result
    ASSERT_EQ(g->RowCount(), kRows + 1);
    EXPECT_EQ(cp932::ToUtf8(g->CellView(1, 1)), "r1");
    // The fill was cut where the close came, or had ended before it.
    EXPECT_EQ(g->CellView(0, kRows).empty(), !c.filled);
  }
}

}  // namespace
