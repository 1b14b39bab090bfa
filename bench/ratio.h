// Runs the benchmarks of a program and hands back each one's adjusted times per iteration
// (in its display unit), so that the program can print ratios against a reference measured
// in the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace qmbench {

// Real and CPU time per iteration of a benchmark.
struct TTimes {
  double real = 0, cpu = 0;
};

inline std::map<std::string, TTimes> RunBenchmarksWithCpu(int *argc, char **argv) {
  class Reporter : public benchmark::ConsoleReporter {
   public:
    std::map<std::string, TTimes> times;
    void ReportRuns(const std::vector<Run> &runs) override {
      ConsoleReporter::ReportRuns(runs);
      for (const auto &r : runs) times[r.benchmark_name()] = {r.GetAdjustedRealTime(), r.GetAdjustedCPUTime()};
    }
  } reporter;
  benchmark::Initialize(argc, argv);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return reporter.times;
}

// The real times alone.
inline std::map<std::string, double> RunBenchmarks(int *argc, char **argv) {
  std::map<std::string, double> real;
  for (const auto &[name, t] : RunBenchmarksWithCpu(argc, argv)) real[name] = t.real;
  return real;
}

}  // namespace qmbench
