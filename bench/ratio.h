// Runs the benchmarks of a program and hands back each one's adjusted real time per
// iteration (in its display unit), so that the program can print ratios against a
// reference measured in the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace qmbench {

inline std::map<std::string, double> RunBenchmarks(int *argc, char **argv) {
  class Reporter : public benchmark::ConsoleReporter {
   public:
    std::map<std::string, double> times;
    void ReportRuns(const std::vector<Run> &runs) override {
      ConsoleReporter::ReportRuns(runs);
      for (const auto &r : runs) times[r.benchmark_name()] = r.GetAdjustedRealTime();
    }
  } reporter;
  benchmark::Initialize(argc, argv);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return reporter.times;
}

}  // namespace qmbench
