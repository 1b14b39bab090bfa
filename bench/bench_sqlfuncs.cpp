// Folded searches over 100,000 pest names on one connection: the MATCH and REGEXP operators
// (which fold every row) against SQLite's own LIKE scan of the same column.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "ratio.h"
#include "engine/SQLite.h"
#include "platform/cp932.h"

namespace {

constexpr int kRows = 100000;

std::string S(const char *utf8) { return cp932::FromUtf8(utf8); }

TSQLiteDb &Db() {
  static std::unique_ptr<TSQLiteDb> db = [] {
    std::string path = (std::filesystem::temp_directory_path() / "qm_bench_sqlfuncs.db").string();
    std::filesystem::remove(path);
    auto d = std::make_unique<TSQLiteDb>(path);
    d->MultiStatement = true;
    d->ExecSQL("CREATE TABLE tekiyo(id INTEGER PRIMARY KEY, byochu TEXT)");
    const char *names[] = {"うどんこ病", "ウドンコ病", "さび病", "黒さび病", "べと病", "灰色かび病", "アブラムシ類",
                           "ハダニ類", "ヨトウムシ", "コナジラミ類", "いもち病", "紋枯病", "ｱｻﾞﾐｳﾏ類", "ネコブセンチュウ",
                           "斑点病", "炭疽病", "ＭＥＰ感受性コナガ", "褐斑病", "軟腐病", "疫病"};
    const char *tails[] = {"", "（発生初期）", "・葉かび病", "、ハモグリバエ類", "（幼虫）"};
    unsigned seed = 20240601;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    d->BeginTransaction();
    for (int i = 0; i < kRows; i += 1000) {
      std::string sql = "INSERT INTO tekiyo(byochu) VALUES ";
      for (int k = 0; k < 1000; ++k)
        sql += std::string(k ? "," : "") + "('" + S(names[next() % 20]) + S(tails[next() % 5]) + "')";
      d->ExecSQL(sql);
    }
    d->Commit();
    return d;
  }();
  return *db;
}

std::map<std::string, long long> g_counts;

void Count(benchmark::State &state, const char *name, const char *where_utf8) {
  TSQLiteDb &db = Db();
  const std::string sql = S((std::string("SELECT count(*) FROM tekiyo WHERE ") + where_utf8).c_str());
  long long n = 0;
  for (auto _ : state) {
    n = db.GetTable(sql)->FieldAsInteger(0);
    benchmark::DoNotOptimize(n);
  }
  g_counts[name] = n;
  state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_Like(benchmark::State &state) { Count(state, "BM_Like", "byochu LIKE '%うどんこ%'"); }
void BM_Match(benchmark::State &state) { Count(state, "BM_Match", "byochu MATCH 'うどんこ%'"); }
void BM_RegExp(benchmark::State &state) { Count(state, "BM_RegExp", "byochu REGEXP 'うどんこ|さび'"); }

BENCHMARK(BM_Like)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Match)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RegExp)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
  auto times = qmbench::RunBenchmarks(&argc, argv);
  double like = times["BM_Like"];
  if (like > 0) {
    for (const char *name : {"BM_Match", "BM_RegExp"})
      if (times[name] > 0)
        std::printf("%s: %lld rows found; time / LIKE scan (%lld rows) = %.2f (target 5)\n", name, g_counts[name],
                    g_counts["BM_Like"], times[name] / like);
  }
  std::filesystem::remove(std::filesystem::temp_directory_path() / "qm_bench_sqlfuncs.db");
  return 0;
}
