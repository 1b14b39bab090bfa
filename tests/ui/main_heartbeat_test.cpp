// The main window keeps answering while a large SQL result is read, stopped, cut at the cell
// bound, shown and sized: a timer ticking all the while finds no long stretch without its
// events. Each case also checks that the grid shows the rows that were read.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <string>

#include "components/grid/ExcelUtil.h"
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

TEST_F(HeartbeatTest, NoLongStretchWithoutEventsOnALargeResult) {
  // The window's events run every 50 ms or so; the margin allows for a machine loaded by
  // parallel builds and tests (where allocating a large result alone may take a second),
  // while sizing the columns cell by cell held the events for 20 seconds and more.
  constexpr qint64 kLongestGapMs = 5000;
  struct Case {
    const char *name;
    std::string sql;
    qint64 stop_after_ms;     // 中止 pressed then (0: never)
    std::size_t cell_bound;   // the bound in force (0: the program's)
    const char *box_start;    // the one box expected (nullptr: none)
    int rows;                 // the rows expected (0: whatever was read)
  } cases[] = {
      {"stopped", Numbers(""), 2000, 0, nullptr, 0},
      {"cell bound", Numbers(""), 0, 6'000'000, "結果が大きすぎるため、", 2'000'000},
      {"large result", Numbers(" WHERE x < 3000000"), 0, 0, nullptr, 3'000'000},
  };
  const std::size_t saved_bound = SqlResultCellBound;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    ui_.boxes.clear();
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
    TXlsStringGrid *g = w->ui->gdSQL;
    ASSERT_TRUE(g->isVisible());
    const int rows = g->RowCount() - 1;
    if (c.rows) {
      EXPECT_EQ(rows, c.rows);
    }
    ASSERT_GT(rows, 100000);
    EXPECT_EQ(g->CellView(0, rows), std::to_string(rows));
    EXPECT_EQ(g->CellView(1, rows), "v" + std::to_string(rows));
    EXPECT_EQ(cp932::ToUtf8(w->StatusText(3)), std::to_string(rows) + "件");
    if (c.box_start) {
      ASSERT_EQ(ui_.boxes.size(), 1u);
      EXPECT_EQ(cp932::ToUtf8(ui_.boxes[0].text).rfind(c.box_start, 0), 0u);
    } else {
      EXPECT_TRUE(ui_.boxes.empty());
    }
  }
}

}  // namespace
