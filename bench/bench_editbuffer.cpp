// The SQL editor's text under load: reading a 200,000-line SQL text into the line store
// against splitting the same bytes into a vector of strings, and word wrap over all lines
// against the rewrap of one changed line.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "components/editor/QmEditTextBuffer.h"
#include "components/editor/QmEditWordWrap.h"
#include "platform/cp932.h"
#include "ratio.h"

namespace {

constexpr int kLines = 200000;

const std::string &Text() {
  static const std::string text = [] {
    const std::string rows[] = {
        "SELECT t.idsaku, s.name AS sakumotsu, b.name AS byochu\t-- " + cp932::FromUtf8("作物と病害虫"),
        "  FROM ttTekiyoSaku t JOIN m_sakumotsu s ON s.idsaku = t.idsaku",
        "\tWHERE b.name LIKE '%" + cp932::FromUtf8("アブラムシ類") + "%' AND t.kaisu <= 2",
        "",
        "INSERT INTO t_main VALUES(1, '" + cp932::FromUtf8("収穫前日まで、２０００～３０００倍で散布する") + "');",
    };
    std::string t;
    for (int i = 0; i < kLines; ++i) t += rows[i % 5] + "\r\n";
    return t;
  }();
  return text;
}

class Editor : public IQmWordWrapEditor {
 public:
  TQmEditStringList lines;
  const TQmEditStringList &Lines() const override { return lines; }
  int CharsInWindow() const override { return 40; }
  TQmCharSet WordChars() const override {
    return MakeCharRange('0', '9') | MakeCharRange('A', 'Z') | MakeCharRange('a', 'z') |
           MakeCharSet("_");
  }
};

Editor &Loaded() {
  static Editor *e = [] {
    auto *ed = new Editor;
    std::istringstream in(Text());
    ed->lines.LoadFromStream(in);
    return ed;
  }();
  return *e;
}

void BM_SplitReference(benchmark::State &state) {
  for (auto _ : state) {
    std::vector<std::string> v;
    std::istringstream in(Text());
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      v.push_back(std::move(line));
    }
    benchmark::DoNotOptimize(v.size());
  }
}

void BM_LoadFromStream(benchmark::State &state) {
  for (auto _ : state) {
    TQmEditStringList list;
    std::istringstream in(Text());
    list.LoadFromStream(in);
    benchmark::DoNotOptimize(list.Count());
  }
}

void BM_WrapAllLines(benchmark::State &state) {
  Editor &ed = Loaded();
  for (auto _ : state) {
    TQmWordWrapPlugin w(&ed);
    benchmark::DoNotOptimize(w.RowCount());
  }
}

void BM_RewrapOneLine(benchmark::State &state) {
  Editor &ed = Loaded();
  TQmWordWrapPlugin w(&ed);
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(w.LinesChanged(i, 1));
    i = (i + 7919) % kLines;
  }
}

BENCHMARK(BM_SplitReference)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadFromStream)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WrapAllLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RewrapOneLine)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
  auto t = qmbench::RunBenchmarks(&argc, argv);
  if (t.count("BM_SplitReference") && t.count("BM_LoadFromStream"))
    std::printf("load / plain split of the same bytes: %.2f\n",
                t["BM_LoadFromStream"] / t["BM_SplitReference"]);
  if (t.count("BM_WrapAllLines") && t.count("BM_RewrapOneLine"))
    std::printf("rewrap of one line / wrap of all %d lines: %.6f\n", kLines,
                t["BM_RewrapOneLine"] / t["BM_WrapAllLines"]);
  return 0;
}
