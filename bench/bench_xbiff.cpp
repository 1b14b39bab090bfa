// Reading a workbook to cell events against copying the same bytes.
//
// The workbook is the publisher's real one when ../shared is there, otherwise a
// generated BIFF8 sheet of the same shape (shared strings, RK numbers, 11 columns).
// Both benchmarks report the time per cell; the ratio of the two is printed at the
// end (target: reading within 10 times the copy).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "engine/XBiff.h"
#include "ratio.h"

namespace {

std::string W(unsigned v) { return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }
std::string D(std::uint32_t v) { return W(v & 0xFFFF) + W(v >> 16); }
std::string Rec(unsigned id, const std::string &body) { return W(id) + W(static_cast<unsigned>(body.size())) + body; }

// A raw BIFF8 stream: 6,340 rows of 11 columns, 8 text columns through the shared
// strings (half of them 16-bit) and 3 RK numbers.
std::string GeneratedWorkbook() {
  const int rows = 6340, strings = 20000;
  std::string out = Rec(0x0809, W(0x0600) + W(5) + D(0) + D(0) + D(0));
  std::string sst = D(rows * 8) + D(strings), piece;
  std::string pieces;
  auto flush = [&](bool first) {
    pieces += Rec(first ? 0x00FC : 0x003C, sst);
    sst.clear();
  };
  bool first = true;
  for (int i = 0; i < strings; ++i) {
    std::string s;
    if (i % 2) {
      std::string t = "Product name " + std::to_string(i);
      s = W(static_cast<unsigned>(t.size())) + std::string(1, '\0') + t;
    } else {
      s = W(8) + std::string(1, '\1');
      for (int k = 0; k < 8; ++k) s += W(0x8FB2 + (i + k) % 200);  // CJK ideographs
    }
    if (sst.size() + s.size() > 8224) {
      flush(first);
      first = false;
    }
    sst += s;
  }
  flush(first);
  out += pieces + Rec(0x000A, "");
  out += Rec(0x0809, W(0x0600) + W(0x10) + D(0) + D(0) + D(0));
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < 11; ++c) {
      std::string cell = W(r) + W(c) + W(15);
      if (c == 0 || c == 7 || c == 10)
        out += Rec(0x027E, cell + D(((20000u + r * 7u) << 2) | 2));
      else
        out += Rec(0x00FD, cell + D((r * 11 + c) % strings));
    }
  return out + Rec(0x000A, "");
}

const std::string &Workbook() {
  static const std::string data = [] {
    std::filesystem::path p = std::filesystem::path(QM_SHARED_DIR) / "data" / "published" / "登録基本部.xls";
    if (const char *e = std::getenv("QM_SHARED_DIR"))
      p = std::filesystem::path(e) / "data" / "published" / "登録基本部.xls";
    std::ifstream f(p, std::ios::binary);
    if (f) {
      std::printf("workbook: %s\n", p.string().c_str());
      return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    }
    std::printf("workbook: generated BIFF8 sheet (no %s)\n", p.string().c_str());
    return GeneratedWorkbook();
  }();
  return data;
}

std::int64_t CountCells() {
  std::int64_t n = 0;
  TXBiff x;
  x.OnReadCell = [&](TXBiff *, int, int, int, int, const std::string &, bool &) { ++n; };
  x.ReadWorkbookData(Workbook());
  return n;
}

void BM_ReadWorkbook(benchmark::State &state) {
  const std::string &data = Workbook();
  const std::int64_t cells = CountCells();
  std::size_t bytes = 0;
  TXBiff x;
  x.OnReadCell = [&](TXBiff *, int, int, int, int, const std::string &text, bool &) { bytes += text.size(); };
  x.OnProgress = [&](TXBiff *, int p) { bytes += static_cast<std::size_t>(p) & 0; };
  for (auto _ : state) {
    x.ReadWorkbookData(data);
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["cells"] = static_cast<double>(cells);
  state.counters["per_cell"] = benchmark::Counter(static_cast<double>(cells),
                                                  benchmark::Counter::kIsIterationInvariantRate |
                                                      benchmark::Counter::kInvert);
}
BENCHMARK(BM_ReadWorkbook)->Unit(benchmark::kMillisecond);

void BM_CopyFile(benchmark::State &state) {
  const std::string &data = Workbook();
  const std::int64_t cells = CountCells();
  std::string copy(data.size(), '\0');
  for (auto _ : state) {
    std::memcpy(copy.data(), data.data(), data.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.counters["cells"] = static_cast<double>(cells);
  state.counters["per_cell"] = benchmark::Counter(static_cast<double>(cells),
                                                  benchmark::Counter::kIsIterationInvariantRate |
                                                      benchmark::Counter::kInvert);
}
BENCHMARK(BM_CopyFile)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
  auto t = qmbench::RunBenchmarksWithCpu(&argc, argv);
  if (t.count("BM_ReadWorkbook") && t.count("BM_CopyFile")) {
    std::printf("read / copy per cell: %.1fx real time, %.1fx CPU time (target within 10x)\n",
                t["BM_ReadWorkbook"].real / t["BM_CopyFile"].real, t["BM_ReadWorkbook"].cpu / t["BM_CopyFile"].cpu);
  }
  return 0;
}
