// The SQL pane on the full-size sample database (300,000 application rows): from running
// "SELECT * FROM m_tekiyo", and a 100,000-row result of the tekiyo view, to a filled grid
// with its column widths set, against the sqlite3 shell running the same statement to
// /dev/null in the same run. Prints both ratios and the share of the whole that the width
// computation takes.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_sqlpane [--size small|full] [--reuse FOLDER]
#include <benchmark/benchmark.h>

#include <QApplication>
#include <sys/resource.h>

#include <map>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "components/grid/ExcelUtil.h"
#include "components/QtServices.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "ratio.h"
#include "samplekit_db.h"
#include "ui/main.h"
#include "ui/main_sqledit.h"
#include "ui_main.h"

namespace fs = std::filesystem;

namespace {

// CPU seconds (user and system) of this process, or of its finished children.
double CpuSeconds(int who) {
  struct rusage ru {};
  getrusage(who, &ru);
  return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}
std::map<std::string, double> g_cpu;  // CPU seconds per run, by benchmark

const char *const kAll = "SELECT * FROM m_tekiyo";
const char *const kView = "SELECT * FROM tekiyo LIMIT 100000";

qmbench::TSampleKit g_kit;
TfrmMain *g_window = nullptr;
double g_adjust_ms = 0;  // the width computation inside the last pane run of kAll

// The pane's run of the statement, as the "実行" button does it.
void PaneRun(const char *sql) {
  SetSQLEditorText(g_window->SQLEditor, sql);
  g_window->ExecuteSQLEditor();
}

void ShellRun(benchmark::State &state, const char *sql) {
  const std::string cmd =
      "sqlite3 -batch \"" + (g_kit.dir / "acis.db").string() + "\" \"" + sql + "\" >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0) state.SkipWithError("the sqlite3 shell failed");
}

void BM_PaneAll(benchmark::State &state) {
  const double cpu = CpuSeconds(RUSAGE_SELF);
  for (auto _ : state) PaneRun(kAll);
  g_cpu["pane_all"] = (CpuSeconds(RUSAGE_SELF) - cpu) / static_cast<double>(state.iterations());
  state.counters["rows"] = g_window->ui->gdSQL->RowCount() - 1;
  // The width computation alone, on the grid the run filled.
  const auto t0 = std::chrono::steady_clock::now();
  g_window->AdjustGridColumnWidths(g_window->ui->gdSQL);
  g_adjust_ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}
// The pane's run of kAll taken apart: buffering the result, filling the grid, widths.
void BM_PaneAllParts(benchmark::State &state) {
  double query = 0, fill = 0, widths = 0;
  for (auto _ : state) {
    using clock = std::chrono::steady_clock;
    const auto t0 = clock::now();
    AcisDB->ExecQuery(kAll);
    const auto t1 = clock::now();
    TXlsStringGrid *g = g_window->ui->gdSQL;
    g->BeginUpdate();
    AcisDB->SetGridFromTable(*g, *AcisDB->Query());
    g->EndUpdate();
    const auto t2 = clock::now();
    g_window->AdjustGridColumnWidths(g);
    const auto t3 = clock::now();
    query += std::chrono::duration<double, std::milli>(t1 - t0).count();
    fill += std::chrono::duration<double, std::milli>(t2 - t1).count();
    widths += std::chrono::duration<double, std::milli>(t3 - t2).count();
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["query_ms"] = query / n;
  state.counters["fill_ms"] = fill / n;
  state.counters["widths_ms"] = widths / n;
}
void BM_ShellAll(benchmark::State &state) {
  const double cpu = CpuSeconds(RUSAGE_CHILDREN);
  for (auto _ : state) ShellRun(state, kAll);
  g_cpu["shell_all"] = (CpuSeconds(RUSAGE_CHILDREN) - cpu) / static_cast<double>(state.iterations());
}
void BM_PaneView(benchmark::State &state) {
  const double cpu = CpuSeconds(RUSAGE_SELF);
  for (auto _ : state) PaneRun(kView);
  g_cpu["pane_view"] = (CpuSeconds(RUSAGE_SELF) - cpu) / static_cast<double>(state.iterations());
  state.counters["rows"] = g_window->ui->gdSQL->RowCount() - 1;
}
void BM_ShellView(benchmark::State &state) {
  const double cpu = CpuSeconds(RUSAGE_CHILDREN);
  for (auto _ : state) ShellRun(state, kView);
  g_cpu["shell_view"] = (CpuSeconds(RUSAGE_CHILDREN) - cpu) / static_cast<double>(state.iterations());
}

BENCHMARK(BM_PaneAll)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PaneAllParts)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ShellAll)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PaneView)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ShellView)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char **argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  TQtUiServices ui_services;  // the program's own services: busy cursor, event pumping
  SetUiServices(&ui_services);
  std::string size = "full", reuse;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--size") size = argv[i + 1];
    if (std::string(argv[i]) == "--reuse") reuse = argv[i + 1];  // a folder kept by an earlier run
  }
  if (!reuse.empty() && fs::exists(fs::path(reuse) / "acis.db")) {
    g_kit.dir = reuse;
    *OptionData = TOptionData(g_kit.dir.string());
    OptionData->IniFileName = (g_kit.dir / "quillmar.ini").string();
  } else {
    g_kit = qmbench::MakeKit(size, "sqlpane");
    qmbench::RemoveOnFailure(g_kit.dir);
    *OptionData = TOptionData(g_kit.dir.string());
    OptionData->IniFileName = (g_kit.dir / "quillmar.ini").string();
    {
      auto db = qmbench::FreshDb(g_kit);
      qmbench::BuildDb(*db, g_kit);
    }
    if (!reuse.empty()) {  // kept for the next run
      fs::create_directories(reuse);
      for (const char *f : {"acis.db", "spec.db"})
        fs::copy_file(g_kit.dir / f, fs::path(reuse) / f, fs::copy_options::overwrite_existing);
    }
  }
  OptionData->DbFolder = g_kit.dir.string();
  AcisDB = new TAcisDB((g_kit.dir / "acis.db").string(), nullptr);
  {
    TfrmMain window(QStringList{}, nullptr);
    window.IsStartUp = false;  // the database is open already
    window.resize(1280, 900);
    window.show();
    window.ui->pgSearch->setCurrentWidget(window.ui->tabSQL);
    QCoreApplication::processEvents();
    g_window = &window;

    auto times = qmbench::RunBenchmarks(&argc, argv);
    const double pane_all = times["BM_PaneAll/iterations:3/real_time"];
    const double shell_all = times["BM_ShellAll/iterations:3/real_time"];
    const double pane_view = times["BM_PaneView/iterations:3/real_time"];
    const double shell_view = times["BM_ShellView/iterations:3/real_time"];
    std::printf("\nSQL pane / sqlite3 shell, %s: %.2f (target <= 1.5)\n", kAll,
                shell_all > 0 ? pane_all / shell_all : 0.0);
    std::printf("SQL pane / sqlite3 shell, %s: %.2f (target <= 1.5)\n", kView,
                shell_view > 0 ? pane_view / shell_view : 0.0);
    auto cpu_ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
    std::printf("CPU time, pane / shell: %.2f (%s), %.2f (%s); on a busy machine these say more than the clock\n",
                cpu_ratio(g_cpu["pane_all"], g_cpu["shell_all"]), kAll, cpu_ratio(g_cpu["pane_view"], g_cpu["shell_view"]),
                kView);
    std::printf("column widths: %.0f ms, %.1f%% of the pane's run (target <= 20%%)\n", g_adjust_ms,
                pane_all > 0 ? 100.0 * g_adjust_ms / pane_all : 0.0);
    g_window = nullptr;
  }  // the window frees AcisDB
  std::error_code ec;
  if (g_kit.dir != fs::path(reuse)) fs::remove_all(g_kit.dir, ec);
  return 0;
}
