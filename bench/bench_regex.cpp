// Matching a Japanese pattern over 100,000 UTF-8 rows: the regular-expression object (which
// uses PCRE2's JIT) against PCRE2's interpreter on the same compiled pattern.
#define PCRE2_CODE_UNIT_WIDTH 8
#include <benchmark/benchmark.h>
#include <pcre2.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "ratio.h"
#include "engine/PcreRegEx.h"

namespace {

const char *const kPattern = "^(トマト|なす|きゅうり)、(.*?病)、.*?([0-9]+)倍";

const std::vector<std::string> &Rows() {
  static const std::vector<std::string> rows = [] {
    const char *crops[] = {"トマト", "ミニトマト", "なす", "きゅうり", "かんきつ", "りんご", "稲", "小麦", "だいず", "キャベツ"};
    const char *pests[] = {"アブラムシ類", "うどんこ病", "灰色かび病", "ハダニ類", "いもち病", "コナジラミ類"};
    const char *uses[] = {"散布", "株元散布", "全面土壌散布", "種子粉衣", "灌注"};
    std::vector<std::string> r;
    r.reserve(100000);
    unsigned seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    for (int i = 0; i < 100000; ++i) {
      std::string s = std::string(crops[next() % 10]) + "、" + pests[next() % 6] + "、" + uses[next() % 5] + "、";
      s += std::to_string(500 + 500 * (next() % 8)) + (next() % 3 ? "倍" : "g/10a") + "、収穫前日まで、" + std::to_string(next() % 5 + 1) + "回以内";
      r.push_back(std::move(s));
    }
    return r;
  }();
  return rows;
}

int64_t g_jit_matches = -1, g_interpreted_matches = -1;

void BM_RegexObjectJit(benchmark::State &state) {
  TPcreRegEx re;
  re.SetRegEx(kPattern);
  int64_t matches = 0;
  for (auto _ : state) {
    matches = 0;
    for (const auto &row : Rows()) {
      re.SetSubject(row);
      if (re.Match()) ++matches;
    }
    benchmark::DoNotOptimize(matches);
  }
  g_jit_matches = matches;
  state.SetItemsProcessed(state.iterations() * Rows().size());
}

void BM_Pcre2Interpreter(benchmark::State &state) {
  int error;
  PCRE2_SIZE offset;
  pcre2_code *code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(kPattern), PCRE2_ZERO_TERMINATED, 0, &error, &offset, nullptr);
  pcre2_match_data *md = pcre2_match_data_create(100, nullptr);
  int64_t matches = 0;
  for (auto _ : state) {
    matches = 0;
    for (const auto &row : Rows()) {
      std::string subject = row;  // the object copies its subject too
      if (pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(), 0,
                      PCRE2_NOTEMPTY | PCRE2_NO_JIT, md, nullptr) > 0)
        ++matches;
    }
    benchmark::DoNotOptimize(matches);
  }
  g_interpreted_matches = matches;
  state.SetItemsProcessed(state.iterations() * Rows().size());
  pcre2_match_data_free(md);
  pcre2_code_free(code);
}

BENCHMARK(BM_RegexObjectJit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pcre2Interpreter)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
  auto times = qmbench::RunBenchmarks(&argc, argv);
  double jit = times["BM_RegexObjectJit"], interp = times["BM_Pcre2Interpreter"];
  if (jit > 0 && interp > 0)
    std::printf("rows %zu, matches %lld (object) / %lld (interpreter); interpreter time / JIT object time = %.2f\n",
                Rows().size(), static_cast<long long>(g_jit_matches), static_cast<long long>(g_interpreted_matches),
                interp / jit);
  return 0;
}
