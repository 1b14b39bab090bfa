// Runs the benchmarks of a program and hands back each one's adjusted times per iteration
// (in its display unit), so that the program can print ratios against a reference measured
// in the same run. A run that ended in an error ends the program with a failure before any
// ratio is printed: a time measured on another result than its reference's means nothing.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace qmbench {

// The temporary folders a failed run removes on its way out.
inline std::vector<std::filesystem::path> &FoldersToRemoveOnFailure() {
  static std::vector<std::filesystem::path> folders;
  return folders;
}
inline void RemoveOnFailure(const std::filesystem::path &folder) { FoldersToRemoveOnFailure().push_back(folder); }

// Ends the benchmark program with a failure (exit status 1) and says why. The program's
// windows and connections are left as they are: nothing of theirs runs on the way out.
[[noreturn]] inline void Fail(const std::string &what) {
  std::fflush(stdout);
  std::fprintf(stderr, "FAILED: %s\n", what.c_str());
  std::fflush(stderr);
  for (const auto &folder : FoldersToRemoveOnFailure()) {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  }
  std::_Exit(1);
}

// Real and CPU time per iteration of a benchmark.
struct TTimes {
  double real = 0, cpu = 0;
};

inline std::map<std::string, TTimes> RunBenchmarksWithCpu(int *argc, char **argv) {
  class Reporter : public benchmark::ConsoleReporter {
   public:
    std::map<std::string, TTimes> times;
    std::string errors;  // the runs that ended in an error, with their messages
    void ReportRuns(const std::vector<Run> &runs) override {
      ConsoleReporter::ReportRuns(runs);
      for (const auto &r : runs) {
        if (r.error_occurred) errors += "\n  " + r.benchmark_name() + ": " + r.error_message;
        times[r.benchmark_name()] = {r.GetAdjustedRealTime(), r.GetAdjustedCPUTime()};
      }
    }
  } reporter;
  benchmark::Initialize(argc, argv);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  if (!reporter.errors.empty()) Fail("no ratio is quoted, as these runs failed:" + reporter.errors);
  return reporter.times;
}

// The real times alone.
inline std::map<std::string, double> RunBenchmarks(int *argc, char **argv) {
  std::map<std::string, double> real;
  for (const auto &[name, t] : RunBenchmarksWithCpu(argc, argv)) real[name] = t.real;
  return real;
}

}  // namespace qmbench
