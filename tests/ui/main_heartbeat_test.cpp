// The main window keeps answering while a large SQL result is read, stopped, cut at the cell
// bound, shown and sized: a timer ticking all the while finds no long stretch without its
// events, and the events run while the rows are written and while the widths are measured.
// Each case also checks that the grid shows the rows that were read.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <string>
#include <vector>

#include "components/grid/ExcelUtil.h"
#include "engine/UiServices.h"
#include "platform/cp932.h"
#include "ui/main.h"
#include "ui/main_sqledit.h"
#include "ui/main_sqlpane.h"
#include "ui/main_window_test_util.h"
#include "ui_main.h"

using namespace qmtest;

namespace {

// Ticks every 50 ms while it runs and keeps the longest time between two ticks, the last
// stretch up to Stop included.
class THeartbeat {
 public:
  THeartbeat() {
    timer_.setInterval(50);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Beat(); });
  }
  void Start() {
    clock_.start();
    last_ = 0;
    longest_ = 0;
    timer_.start();
  }
  void Stop() {
    timer_.stop();
    Beat();
  }
  qint64 Elapsed() const { return clock_.elapsed(); }
  qint64 LongestGap() const { return longest_; }
  std::function<void()> on_beat;

 private:
  void Beat() {
    const qint64 now = clock_.elapsed();
    longest_ = std::max(longest_, now - last_);
    last_ = now;
    if (on_beat) on_beat();
  }
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 last_ = 0, longest_ = 0;
};

class HeartbeatTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    w->ui->pgSearch->setCurrentWidget(w->ui->tabSQL);
    // The recording services stand in for the window's pump: let the events run there.
    ui_.on_pump = [] { QCoreApplication::processEvents(); };
  }
  void TearDown() override {
    ui_.on_pump = nullptr;
    MainWindowFixture::TearDown();
  }
};

// Rows of x = 1, 2, 3 ... with distinct texts beside them (the hardest case for sizing the
// columns); without a bound on x the statement never ends by itself.
std::string Numbers(const std::string &bound) {
  return "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c" + bound +
         ") SELECT x, 'v' || x AS t, x * 7 AS m FROM c";
}
// The same rows, never ending, one for every 20 steps of the statement: a read stopped
// early holds a result the fill and the width pass take little time over.
std::string SlowNumbers() {
  return "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) "
         "SELECT x / 20 AS x, 'v' || (x / 20) AS t, x / 20 * 7 AS m FROM c WHERE x % 20 = 0";
}

TEST_F(HeartbeatTest, NoLongStretchWithoutEventsOnALargeResult) {
  // The window's events run every 50 ms or so while the statement is read; the margin
  // allows for a machine loaded by parallel builds and tests.
  constexpr qint64 kLongestGapMs = 5000;
  // The fill and the width pass let the events through every 1000 steps instead of by the
  // clock: that each step lets them through at all is then seen on a result small enough
  // for any machine, where a step that held them would still end within the margin above
  // (sizing the columns cell by cell once held the events for 20 seconds).
  const TEventPump::TByTicks by_ticks(1000);
  // What the grid showed at each pass of the events: its rows, whether its last row was
  // still empty, and the count in the status bar.
  struct Seen {
    int rows;
    bool last_empty;
    std::string count;
  };
  std::vector<Seen> seen;
  TXlsStringGrid *g = w->ui->gdSQL;
  ui_.on_pump = [&] {
    const int n = g->RowCount();
    seen.push_back({n, n > 1 && g->CellView(0, n - 1).empty(), w->StatusText(3)});
    QCoreApplication::processEvents();
  };
  struct Case {
    const char *name;
    std::string sql;
    qint64 stop_after_ms;     // 中止 pressed then (0: never)
    std::size_t cell_bound;   // the bound in force (0: the program's)
    const char *box_start;    // the one box expected (nullptr: none)
    int rows;                 // the rows expected (0: whatever was read)
  } cases[] = {
      {"stopped", SlowNumbers(), 200, 0, nullptr, 0},
      // Each result is of a size of its own, so that the grid left by the last case never
      // passes for this one's, and none a multiple of the pump's steps, so that the fill's
      // last pass (after its last row) never passes for one of the width pass.
      {"cell bound", Numbers(""), 0, 151'500, "結果が大きすぎるため、", 50'500},
      {"large result", Numbers(" WHERE x < 60500"), 0, 0, nullptr, 60'500},
  };
  const std::size_t saved_bound = SqlResultCellBound;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    ui_.boxes.clear();
    seen.clear();
    if (c.cell_bound) SqlResultCellBound = c.cell_bound;
    THeartbeat beat;
    bool stopped = false;
    beat.on_beat = [&] {
      if (c.stop_after_ms && !stopped && beat.Elapsed() >= c.stop_after_ms) {
        stopped = true;
        w->actStop->trigger();
      }
    };
    SetSQLEditorText(w->SQLEditor, cp932::FromUtf8(c.sql));
    beat.Start();
    w->ui->btnQueryExec->click();
    beat.Stop();
    SqlResultCellBound = saved_bound;

    EXPECT_LT(beat.LongestGap(), kLongestGapMs) << "in " << beat.Elapsed() << " ms";
    EXPECT_EQ(stopped, c.stop_after_ms != 0);
    ASSERT_TRUE(g->isVisible());
    const int rows = g->RowCount() - 1;
    if (c.rows) {
      EXPECT_EQ(rows, c.rows);
    }
    ASSERT_GT(rows, 2000);
    EXPECT_EQ(g->CellView(0, rows), std::to_string(rows));
    EXPECT_EQ(g->CellView(1, rows), "v" + std::to_string(rows));
    const std::string count = w->StatusText(3);
    EXPECT_EQ(cp932::ToUtf8(count), std::to_string(rows) + "件");
    // The events ran while the rows were written (the grid has this result's shape and its
    // last row is empty) and while the widths were measured (every row written, the count
    // not shown yet).
    const auto passes = [&](bool last_empty) {
      return std::count_if(seen.begin(), seen.end(), [&](const Seen &s) {
        return s.rows == rows + 1 && s.last_empty == last_empty && (last_empty || s.count != count);
      });
    };
    EXPECT_GT(passes(true), 0) << "no events while the rows were written";
    EXPECT_GT(passes(false), 0) << "no events while the widths were measured";
    if (c.box_start) {
      ASSERT_EQ(ui_.boxes.size(), 1u);
      EXPECT_EQ(cp932::ToUtf8(ui_.boxes[0].text).rfind(c.box_start, 0), 0u);
    } else {
      EXPECT_TRUE(ui_.boxes.empty());
    }
  }
}

}  // namespace
