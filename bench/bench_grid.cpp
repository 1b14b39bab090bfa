// Filling the result grid with a 100,000 x 20 result of Japanese text and painting one
// screen of it: the fill time against the time the SQLite layer takes to buffer the same
// result (GetTable), the paint time, and the bytes the grid holds per byte of cell text.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "components/grid/ExcelUtil.h"
#include "engine/SQLite.h"
#include "platform/cp932.h"
#include "ratio.h"

namespace {

constexpr int kRows = 100000;
constexpr int kCols = 20;

struct Data {
  std::filesystem::path dir;
  std::unique_ptr<TSQLiteDb> db;
  std::unique_ptr<TSQLiteTbl> table;  // the buffered result the grid is filled from
};

// A database with one table of kRows rows of Japanese words, made by one recursive query.
Data &Shared() {
  static Data d = [] {
    Data d;
    d.dir = std::filesystem::temp_directory_path() / ("qm_bench_grid_" + std::to_string(::getpid()));
    std::filesystem::create_directories(d.dir);
    d.db = std::make_unique<TSQLiteDb>((d.dir / "grid.db").string());
    d.db->MultiStatement = true;
    const char *words[] = {"だいこん",       "アブラムシ類",   "ダイアジノン粒剤５", "収穫21日前まで",
                           "2000～3000倍",   "散布",           "殺虫剤",             "2回以内",
                           "はくさい（露地）", "うどんこ病",   "水和剤",             "-"};
    std::string sql = "CREATE TABLE w(k INTEGER, v TEXT);";
    for (int k = 0; k < 12; ++k) sql += "INSERT INTO w VALUES(" + std::to_string(k) + ",'" + cp932::FromUtf8(words[k]) + "');";
    sql += "CREATE TABLE t AS WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i+1 FROM n WHERE i < " +
           std::to_string(kRows - 1) + ") SELECT ";
    for (int c = 0; c < kCols; ++c)
      sql += std::string(c ? "," : "") + "(SELECT v FROM w WHERE k = (i*" + std::to_string(2 * c + 1) + "+" +
             std::to_string(c) + ") % 12) AS c" + std::to_string(c);
    sql += " FROM n;";
    d.db->ExecSQL(sql);
    d.table = d.db->GetTable("SELECT * FROM t");
    return d;
  }();
  return d;
}

// Fills the grid as the query object does: shape, captions, then every row's cells.
void FillGrid(TXlsStringGrid &g, TSQLiteTbl &t) {
  g.BeginUpdate();
  g.SetShape(t.ColCount(), t.Count() + 1, 1, 0);
  for (int c = 0; c < t.ColCount(); ++c) g.SetCell(c, 0, t.Columns(c));
  std::vector<std::string> row(static_cast<std::size_t>(t.ColCount()));
  std::vector<std::string_view> views(row.size());
  int r = 1;
  for (t.MoveFirst(); !t.Eof(); t.Next(), ++r) {
    for (int c = 0; c < t.ColCount(); ++c) {
      row[static_cast<std::size_t>(c)] = t.FieldAsString(c);
      views[static_cast<std::size_t>(c)] = row[static_cast<std::size_t>(c)];
    }
    g.SetRowCells(r, views.data(), t.ColCount());
  }
  g.EndUpdate();
}

double g_held = 0, g_text = 0;

void BM_SqliteBuffer(benchmark::State &state) {
  Data &d = Shared();
  for (auto _ : state) {
    auto t = d.db->GetTable("SELECT * FROM t");
    benchmark::DoNotOptimize(t->Count());
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_GridFill(benchmark::State &state) {
  Data &d = Shared();
  for (auto _ : state) {
    auto g = std::make_unique<TXlsStringGrid>();
    FillGrid(*g, *d.table);
    state.PauseTiming();
    g_held = static_cast<double>(g->CellBytesHeld());
    g_text = static_cast<double>(g->CellTextBytes());
    g.reset();  // freed outside the timing
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_GridPaintScreen(benchmark::State &state) {
  Data &d = Shared();
  TXlsStringGrid g;
  FillGrid(g, *d.table);
  g.resize(1600, 1000);
  g.SetTopRow(kRows / 2);
  QImage img(g.size(), QImage::Format_ARGB32_Premultiplied);
  for (auto _ : state) {
    QPainter p(&img);
    g.render(&p);
  }
}

BENCHMARK(BM_SqliteBuffer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GridFill)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GridPaintScreen)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  auto times = qmbench::RunBenchmarks(&argc, argv);
  const double buffer = times["BM_SqliteBuffer"], fill = times["BM_GridFill"], paint = times["BM_GridPaintScreen"];
  if (buffer > 0 && fill > 0)
    std::printf("grid fill %.1f ms, SQLite buffering %.1f ms: fill / buffering = %.2f (target <= 2)\n", fill, buffer,
                fill / buffer);
  if (paint > 0) std::printf("one 1600x1000 screen painted in %.2f ms\n", paint);
  if (g_text > 0)
    std::printf("grid holds %.2f bytes per cell for %.2f bytes of text per cell: overhead %.2f bytes per text byte "
                "(target <= 2)\n",
                g_held / (kRows * kCols), g_text / (kRows * kCols), (g_held - g_text) / g_text);
  std::error_code ec;
  std::filesystem::remove_all(Shared().dir, ec);
  return 0;
}
