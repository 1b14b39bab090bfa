// Buffering a 100,000 x 20 text result with GetTable: time per row against stepping the same
// query with SQLite alone, and the memory the buffered table holds per cell against the size
// of the cell texts.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "ratio.h"
#include "engine/SQLite.h"
#include "platform/cp932.h"

namespace {

constexpr int kRows = 100000;
constexpr int kCols = 20;
const char *const kQuery = "select * from t";

std::string DbPath() {
  static const std::string path = [] {
    auto dir = std::filesystem::temp_directory_path() / ("qm_bench_gettable_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::string p = (dir / "bench.db").string();
    TSQLiteDb db(p);
    db.MultiStatement = true;
    std::string create = "create table t(";
    for (int c = 0; c < kCols; ++c) create += (c ? ", c" : "c") + std::to_string(c) + " text";
    db.ExecSQL(create + ")");
    const char *words[] = {"トマト", "アブラムシ類", "散布", "1000倍", "収穫前日まで", "3回以内",
                           "水和剤", "殺虫剤", "A0123456789", "none", "", "きゅうり（施設栽培）"};
    db.BeginTransaction();
    unsigned seed = 7;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    for (int r = 0; r < kRows; ++r) {
      std::string sql = "insert into t values(";
      for (int c = 0; c < kCols; ++c) sql += std::string(c ? ",'" : "'") + cp932::FromUtf8(words[next() % 12]) + "'";
      db.ExecSQL(sql + ")");
    }
    db.Commit();
    return p;
  }();
  return path;
}

double g_bytes_per_cell = 0, g_text_per_cell = 0;

void BM_SqliteStepOnly(benchmark::State &state) {
  sqlite3 *db;
  sqlite3_open(DbPath().c_str(), &db);
  int64_t bytes = 0;
  for (auto _ : state) {
    sqlite3_stmt *st;
    sqlite3_prepare_v2(db, kQuery, -1, &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW)
      for (int c = 0; c < kCols; ++c) {
        benchmark::DoNotOptimize(sqlite3_column_text(st, c));
        bytes += sqlite3_column_bytes(st, c);
      }
    sqlite3_finalize(st);
  }
  benchmark::DoNotOptimize(bytes);
  sqlite3_close(db);
  state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_GetTable(benchmark::State &state) {
  TSQLiteDb db(DbPath());
  for (auto _ : state) {
    const std::size_t before = mallinfo2().uordblks;
    auto table = db.GetTable(kQuery);
    const std::size_t held = mallinfo2().uordblks - before;
    state.PauseTiming();
    std::size_t text = 0;
    for (table->MoveFirst(); !table->Eof(); table->Next())
      for (int c = 0; c < kCols; ++c) text += table->FieldAsString(c).size();
    g_bytes_per_cell = static_cast<double>(held) / (kRows * kCols);
    g_text_per_cell = static_cast<double>(text) / (kRows * kCols);
    table.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}

BENCHMARK(BM_SqliteStepOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetTable)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
  auto times = qmbench::RunBenchmarks(&argc, argv);
  const double step = times["BM_SqliteStepOnly"], table = times["BM_GetTable"];
  if (step > 0 && table > 0)
    std::printf("GetTable %.3f us per row; GetTable time / SQLite step time = %.2f\n", table * 1000.0 / kRows,
                table / step);
  if (g_text_per_cell > 0)
    std::printf("table holds %.2f bytes per cell for %.2f bytes of cell text: ratio %.2f\n", g_bytes_per_cell,
                g_text_per_cell, g_bytes_per_cell / g_text_per_cell);
  std::filesystem::remove_all(std::filesystem::path(DbPath()).parent_path());
  return 0;
}
