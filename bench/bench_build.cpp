// The full database build from the full-size publisher CSV set (about 4,500 products and
// 300,000 application rows made by the sample-data kit), against the sqlite3 shell importing
// the same CSV files into plain tables and creating the same indexes, in the same run.
// Prints the ratio, the size of the built database and the peak memory of this process.
//
// With --padded N the products file first gets N MiB of blank lines at its end (as a damaged
// or hostile file may have), and only the build runs: its time and the peak memory show what
// the blank lines cost.
//
//   build/bench/bench_build [--size small|full] [--padded N]
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "ratio.h"
#include "samplekit_db.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/archive.h"
#include "platform/cp932.h"

namespace fs = std::filesystem;

namespace {

qmbench::TSampleKit g_kit;
fs::path g_dir;
fs::path g_kihon, g_tekiyo1, g_tekiyo2;

void MakeKit(const std::string &size) {
  g_kit = qmbench::MakeKit(size, "build");
  g_dir = g_kit.dir;
  g_kihon = g_kit.kihon;
  g_tekiyo1 = g_kit.tekiyo1;
  g_tekiyo2 = g_kit.tekiyo2;
}

void BM_Build(benchmark::State &state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto db = qmbench::FreshDb(g_kit);
    state.ResumeTiming();
    qmbench::BuildDb(*db, g_kit);
  }
}

void BM_SqliteShellImport(benchmark::State &state) {
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove(g_dir / "ref.db");
    std::ofstream script(g_dir / "ref.sql", std::ios::binary);
    std::string cols = "c0";
    for (int i = 1; i < 26; ++i) cols += ",c" + std::to_string(i);
    script << "CREATE TABLE kihon(c0,c1,c2,c3,c4,c5,c6,c7,c8,c9,c10);\n"
           << "CREATE TABLE m_tekiyo(" << cols << ");\n"
           << ".import --csv --skip 1 '" << g_kihon.string() << "' kihon\n"
           << ".import --csv --skip 1 '" << g_tekiyo1.string() << "' m_tekiyo\n"
           << ".import --csv --skip 1 '" << g_tekiyo2.string() << "' m_tekiyo\n"
           << "CREATE INDEX idxNoSeibun ON kihon (c0);\n"
           << "CREATE INDEX idxTsushoM ON kihon (c2);\n"
           << "CREATE INDEX idxNo ON m_tekiyo (c0);\n"
           << "CREATE INDEX idxTekiyoSakumotsu ON m_tekiyo (c5);\n";
    script.close();
    std::string cmd = "sqlite3 -batch \"" + (g_dir / "ref.db").string() + "\" < \"" + (g_dir / "ref.sql").string() +
                      "\" >/dev/null 2>&1";
    state.ResumeTiming();
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("the sqlite3 shell failed");
  }
}

BENCHMARK(BM_Build)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SqliteShellImport)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

double PeakMegabytes() {
  struct rusage ru {};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss / 1024.0;
}

// The build alone on the kit whose products file ends in the blank lines.
int PaddedBuild(long mebibytes) {
  {
    std::ofstream f(g_kihon, std::ios::binary | std::ios::app);
    const std::string blanks(1 << 20, '\n');
    for (long i = 0; i < mebibytes; ++i) f << blanks;
  }
  const double before = PeakMegabytes();
  auto db = qmbench::FreshDb(g_kit);
  const auto start = std::chrono::steady_clock::now();
  qmbench::BuildDb(*db, g_kit);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  db.reset();
  std::printf("products file with %ld MiB of blank lines (%.1f MB): build %.2f s\n", mebibytes,
              fs::file_size(g_kihon) / 1e6, seconds);
  std::printf("peak memory of this process: %.1f MB (%.1f MB before the build)\n", PeakMegabytes(), before);
  std::printf("database size: %.1f MB\n", fs::file_size(g_dir / "acis.db") / 1e6);
  std::error_code ec;
  fs::remove_all(g_dir, ec);
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  std::string size = "full";
  long padded = -1;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--size") size = argv[i + 1];
    if (std::string(argv[i]) == "--padded") padded = std::atol(argv[i + 1]);
  }
  MakeKit(size);
  if (padded >= 0) return PaddedBuild(padded);
  auto times = qmbench::RunBenchmarks(&argc, argv);
  double build = times["BM_Build/iterations:1/real_time"];
  double ref = times["BM_SqliteShellImport/iterations:1/real_time"];
  std::printf("\nbuild / sqlite3 shell import: %.2f (target <= 2)\n", ref > 0 ? build / ref : 0.0);
  std::printf("database size: %.1f MB\n", fs::file_size(g_dir / "acis.db") / 1e6);
  std::printf("peak memory of this process: %.1f MB\n", PeakMegabytes());
  std::error_code ec;
  fs::remove_all(g_dir, ec);
  return 0;
}
