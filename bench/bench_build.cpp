// The full database build from the full-size publisher CSV set (about 4,500 products and
// 300,000 application rows made by the sample-data kit), against the sqlite3 shell importing
// the same CSV files into plain tables and creating the same indexes, in the same run.
// Prints the ratio, the size of the built database and the peak memory of this process.
//
//   build/bench/bench_build [--size small|full]
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "ratio.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/archive.h"
#include "platform/cp932.h"

namespace fs = std::filesystem;

namespace {

fs::path g_dir;
fs::path g_kihon, g_tekiyo1, g_tekiyo2;

std::string ReadAll(const fs::path &p) {
  std::ifstream f(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void Unpack(const fs::path &archive, const fs::path &to) {
  std::string cmd = "x -r -hide -aoa -y \"" + cp932::FromUtf8(archive.string()) + "\" -o\"" +
                    cp932::FromUtf8(to.string()) + "/\"";
  char out[4096];
  if (sevenzip::SevenZip(nullptr, cmd.c_str(), out, sizeof out) != 0) {
    std::cerr << "cannot unpack " << archive << "\n";
    std::exit(2);
  }
}

fs::path OnlyFile(const fs::path &dir) {
  for (const auto &e : fs::directory_iterator(dir))
    if (e.is_regular_file()) return e.path();
  return {};
}

void MakeKit(const std::string &size) {
  g_dir = fs::temp_directory_path() / ("qmbench-build-" + std::to_string(::getpid()));
  fs::create_directories(g_dir);
  std::string cmd = "python3 \"" + std::string(QM_SOURCE_DIR) + "/scripts/samplekit/make.py\" --size " + size +
                    " --out \"" + (g_dir / "kit").string() + "\" >/dev/null";
  if (std::system(cmd.c_str()) != 0) {
    std::cerr << "the sample kit could not be made\n";
    std::exit(2);
  }
  const fs::path pub = g_dir / "kit" / "publisher";
  Unpack(pub / "登録基本部csv_20261130.zip", g_dir / "k");
  Unpack(pub / "登録適用部一_20261130.zip", g_dir / "t1");
  Unpack(pub / "登録適用部二_20261130.zip", g_dir / "t2");
  g_kihon = OnlyFile(g_dir / "k");
  g_tekiyo1 = OnlyFile(g_dir / "t1");
  g_tekiyo2 = OnlyFile(g_dir / "t2");
}

// A fresh acis.db with the reference tables the build reads.
std::unique_ptr<TAcisDB> FreshDb() {
  fs::remove(g_dir / "acis.db");
  fs::remove(g_dir / "spec.db");
  OptionData->DbFolder = g_dir.string();
  auto db = std::make_unique<TAcisDB>((g_dir / "acis.db").string(), nullptr);
  for (const char *script : {"spec.bunrui.txt", "spec.iso.txt", "spec.irac.txt", "spec.frac.txt", "spec.hrac.txt",
                             "acis.seizai.txt", "acis.dokusei.txt", "spec.ojas.txt", "sakumotsu.txt",
                             "byochu.txt"})
    db->Db().ExecSQL(ReadAll(g_dir / "kit" / "scripts" / script));
  return db;
}

void BM_Build(benchmark::State &state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto db = FreshDb();
    state.ResumeTiming();
    db->CreateTables();
    db->ImportKihonRawCsv(cp932::FromUtf8(g_kihon.string()));
    db->ImportTekiyoRawCsv(cp932::FromUtf8(g_tekiyo1.string()));
    db->ImportTekiyoRawCsv(cp932::FromUtf8(g_tekiyo2.string()));
    db->FillTmKihon();
    db->BuildMKihon();
    db->CreateSeibun();
    db->CreateIndexes();
    db->CreateTekiyoViews();
    db->SetLastUpdate("2026.11.30");
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

}  // namespace

int main(int argc, char **argv) {
  std::string size = "full";
  for (int i = 1; i + 1 < argc; ++i)
    if (std::string(argv[i]) == "--size") size = argv[i + 1];
  MakeKit(size);
  auto times = qmbench::RunBenchmarks(&argc, argv);
  double build = times["BM_Build/iterations:1/real_time"];
  double ref = times["BM_SqliteShellImport/iterations:1/real_time"];
  struct rusage ru {};
  getrusage(RUSAGE_SELF, &ru);
  std::printf("\nbuild / sqlite3 shell import: %.2f (target <= 2)\n", ref > 0 ? build / ref : 0.0);
  std::printf("database size: %.1f MB\n", fs::file_size(g_dir / "acis.db") / 1e6);
  std::printf("peak memory of this process: %.1f MB\n", ru.ru_maxrss / 1024.0);
  std::error_code ec;
  fs::remove_all(g_dir, ec);
  return 0;
}
