// The searches of the crop and pest tabs on the full-size sample (300,000 application rows),
// run on the main window as the 検索 action runs them (the search script, the result view into
// the result grid, the column widths, the counts and the filter lists, with the program's own
// event pump), against the sqlite3 shell running the very statements the program sent to
// SQLite for that search, output to /dev/null, in the same run.
//
//   build/bench/bench_search [--size small|full] [--keep DIR]
//
// --keep builds the sample database into DIR once and reuses it on later runs.
//
// The reference. Every SQL text the program prepares is recorded as SQLite sees it (UTF-8,
// after the program's own expansion). The shell gets the program's SQL functions from
// libqmsqlext.so (built beside this program), the statements that set up the window's
// connection (its pragmas, attachments and search schema), then the statements of one
// search. The same shell run with the set-up statements alone is measured too, and the
// reference is the difference: the shell's time for the search's own statements. The
// printed ratios use wall-clock times; CPU times follow for a machine that is busy.
//
// To add a case, add one entry to the table in DefineCases().
#include <QApplication>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "components/grid/ExcelUtil.h"
#include "components/QtServices.h"
#include "engine/SqlFunctions.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/IniFile.h"
#include "platform/cp932.h"
#include "ratio.h"
#include "support/sample_acisdb.h"
#include "ui/UfraSakumotsu.h"
#include "ui/main.h"
#include "ui_UfraSakumotsu.h"
#include "ui_main.h"

namespace fs = std::filesystem;
using namespace cp932::literals;

namespace {

fs::path g_dir;   // the sample kit and its database
fs::path g_home;  // the program folder of the window
TfrmMain *g_window = nullptr;

void Run(const std::string &cmd) {
  if (std::system(cmd.c_str()) != 0) {
    std::cerr << "failed: " << cmd << "\n";
    std::exit(2);
  }
}

// CPU seconds (user and system) of this process, or of its finished children.
double CpuSeconds(int who) {
  struct rusage ru {};
  getrusage(who, &ru);
  return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// ---------------------------------------------------------------- the statements sent to SQLite

std::vector<std::string> *g_recording = nullptr;

std::string RecordingFilter(const std::string &Sql) {
  std::string utf8 = ToSqliteText(Sql);
  if (g_recording) g_recording->push_back(utf8);
  return utf8;
}

// Records what the program prepares while it lives.
struct TRecording {
  std::vector<std::string> texts;
  TRecording() { g_recording = &texts; }
  ~TRecording() { g_recording = nullptr; }
};

// A script for the shell: each recorded text ends in a semicolon and a line end.
std::string Script(const std::vector<std::string> &texts) {
  std::string out;
  for (std::string t : texts) {
    while (!t.empty() && (t.back() == ' ' || t.back() == '\r' || t.back() == '\n' || t.back() == '\t')) t.pop_back();
    if (t.empty()) continue;
    out += t;
    if (t.back() != ';') out += ';';
    out += '\n';
  }
  return out;
}

// ---------------------------------------------------------------- the window

// The program's own services, with boxes and reports written to the error stream instead
// of waiting for a click.
class TBenchUi : public TQtUiServices {
 public:
  int MessageBox(const std::string &text, const std::string &, unsigned) override {
    std::cerr << "box: " << cp932::ToUtf8(text) << "\n";
    return IDOK;
  }
  void ShowReport(const std::string &, const std::string &, const std::string &text) override {
    std::cerr << "report: " << cp932::ToUtf8(text) << "\n";
  }
};

// The sample database, built from the kit's makers' files in the update window's order.
void MakeDatabase(const std::string &size) {
  if (fs::exists(g_dir / "acis.db")) return;
  fs::create_directories(g_dir);
  if (!fs::exists(g_dir / "kit/makers/toroku.zip"))
    Run("python3 \"" + std::string(QM_SOURCE_DIR) + "/scripts/samplekit/make.py\" --size " + size + " --out \"" +
        (g_dir / "kit").string() + "\" >/dev/null");
  qmtest::BuildSampleDb(g_dir / "kit", g_dir);
}

// The window's program folder with the database, as a user's after an update.
void MakeHome() {
  g_home = g_dir / "home";
  fs::create_directories(g_home / "DB");
  for (const char *f : {"acis.db", "spec.db"})
    fs::copy_file(g_dir / f, g_home / "DB" / f, fs::copy_options::overwrite_existing);
  TIniFile ini((g_home / "quillmar.ini").string());
  ini.WriteBool("NET", "OffLine", true);
  ini.WriteInteger("NET", "DownSite", 2);
  *OptionData = TOptionData(g_home.string());
}

// ---------------------------------------------------------------- the cases

struct TCase {
  std::string name;
  int tab;            // 0 crop, 1 pest/disease
  std::string terms;  // crop names (comma text) or pest words, program text
  std::string reference;       // the shell's script: set-up and the search
  int rows = 0;
  double cpu_search = 0, cpu_shell = 0;
};

std::vector<TCase> &Cases() {
  static std::vector<TCase> cases;
  return cases;
}
std::string g_setup;  // the set-up statements of the window's connection

void Search(const TCase &c) {
  Ui::TfrmMain &u = *g_window->ui;
  if (c.tab == 0)
    u.fraSakumotsu->Form().eSakumotsu->setText(QString::fromStdString(cp932::ToUtf8(c.terms)));
  else
    u.edtByochu->setText(QString::fromStdString(cp932::ToUtf8(c.terms)));
  u.pgSearch->setCurrentIndex(c.tab);
  g_window->actSearchTekiyouExecute();  // what 検索 runs
}

const TXlsStringGrid *Grid(const TCase &c) { return c.tab == 0 ? g_window->ui->gdTekiyo : g_window->ui->gdByochu; }

void DefineCases() {
  const std::string tomato = "トマト"_sj;
  struct Def {
    const char *name;
    int tab;
    std::string terms;
  } defs[] = {
      {"crop_leaf", 0, tomato},
      {"crop_with_groups", 0, AcisDB->UpperGroup(tomato)},
      {"pest_word", 1, "アブラムシ"_sj},
  };
  for (const Def &d : defs) {
    TCase c{d.name, d.tab, d.terms, ""};
    Search(c);  // once before recording, so that the recorded run finds the state a second search finds
    TRecording rec;
    Search(c);
    c.reference = g_setup + Script(rec.texts);
    c.rows = Grid(c)->RowCount() - 1;
    Cases().push_back(c);
  }
}

// The shell's run of a script. A statement that fails in the program fails in the shell
// too (a look-up in a schema that is not attached); its message goes to a file, the rest
// of the script runs on, as it does in the program.
std::string ShellCommand(const std::string &name, const std::string &script) {
  const fs::path file = g_dir / ("ref-" + name + ".sql");
  std::ofstream(file, std::ios::binary) << script;
  const fs::path ext = fs::path(QM_BENCH_DIR) / "libqmsqlext.so";
  return "sqlite3 -batch -cmd \".load '" + ext.string() + "'\" \"" + (g_home / "DB/acis.db").string() + "\" < \"" +
         file.string() + "\" >/dev/null 2>\"" + (g_dir / ("ref-" + name + ".err")).string() + "\"";
}

void RunShell(const std::string &cmd) {
  if (std::system(cmd.c_str()) == -1) {
    std::cerr << "failed: " << cmd << "\n";
    std::exit(2);
  }
}

void BM_Search(benchmark::State &state) {
  TCase &c = Cases()[static_cast<std::size_t>(state.range(0))];
  const double cpu = CpuSeconds(RUSAGE_SELF);
  for (auto _ : state) Search(c);
  c.cpu_search = (CpuSeconds(RUSAGE_SELF) - cpu) / static_cast<double>(state.iterations());
  if (Grid(c)->RowCount() - 1 != c.rows) state.SkipWithError("the search found another number of rows");
  state.SetLabel(c.name + " " + std::to_string(c.rows) + " rows");
}

// The shell with the set-up and the search; the set-up alone is BM_ShellSetup.
void BM_Shell(benchmark::State &state) {
  TCase &c = Cases()[static_cast<std::size_t>(state.range(0))];
  const std::string cmd = ShellCommand(c.name, c.reference);
  const double cpu = CpuSeconds(RUSAGE_CHILDREN);
  for (auto _ : state) RunShell(cmd);
  c.cpu_shell = (CpuSeconds(RUSAGE_CHILDREN) - cpu) / static_cast<double>(state.iterations());
  state.SetLabel(c.name);
}

double g_cpu_setup = 0;
void BM_ShellSetup(benchmark::State &state) {
  const std::string cmd = ShellCommand("setup", g_setup);
  const double cpu = CpuSeconds(RUSAGE_CHILDREN);
  for (auto _ : state) RunShell(cmd);
  g_cpu_setup = (CpuSeconds(RUSAGE_CHILDREN) - cpu) / static_cast<double>(state.iterations());
}

// The time of the benchmark whose name begins with the prefix.
double Time(const std::map<std::string, double> &times, const std::string &prefix) {
  for (const auto &[name, t] : times)
    if (name.rfind(prefix, 0) == 0) return t;
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  std::string size = "full";
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--size") size = argv[i + 1];
    if (std::string(argv[i]) == "--keep") g_dir = argv[i + 1];
  }
  const bool keep = !g_dir.empty();
  if (!keep) g_dir = fs::temp_directory_path() / ("qmbench-search-" + std::to_string(::getpid()));
  {
    TScopedRecordingUi quiet;  // the build reports nothing to a window
    OptionData->DbFolder = g_dir.string();
    MakeDatabase(size);
    TAcisDB first((g_dir / "acis.db").string(), nullptr);
    first.CreateViews();  // the first open after a data update keeps the application table
  }
  MakeHome();
  TBenchUi ui_services;
  SetUiServices(&ui_services);
  TSQLiteDb::SqlTextFilter = &RecordingFilter;
  {
    std::unique_ptr<TfrmMain> window;
    {
      TRecording rec;
      window = std::make_unique<TfrmMain>(QStringList{}, nullptr);
      window->resize(1280, 900);
      window->show();
      for (int i = 0; i < 100 && window->IsStartUp; ++i) QCoreApplication::processEvents();
      QCoreApplication::processEvents();
      g_setup = Script(rec.texts);
    }
    if (!AcisDB) {
      std::cerr << "the window opened no database\n";
      return 2;
    }
    g_window = window.get();
    // The frame's automatic search on each change is off, so that 検索 runs each search once.
    g_window->ui->fraSakumotsu->Form().actAutoTekiyoView->setChecked(false);
    g_window->ui->fraSakumotsu->Form().actListAutoTekiyoView->setChecked(false);
    DefineCases();

    for (std::size_t i = 0; i < Cases().size(); ++i) {
      benchmark::RegisterBenchmark(("search/" + Cases()[i].name).c_str(), BM_Search)
          ->Arg(static_cast<int>(i))->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
      benchmark::RegisterBenchmark(("shell/" + Cases()[i].name).c_str(), BM_Shell)
          ->Arg(static_cast<int>(i))->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
    }
    benchmark::RegisterBenchmark("shell/setup_only", BM_ShellSetup)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
    auto times = qmbench::RunBenchmarks(&argc, argv);
    const double setup = Time(times, "shell/setup_only");
    std::printf("\nshell set-up alone %.1f ms (cpu %.1f ms), subtracted from each shell run\n", setup, 1e3 * g_cpu_setup);
    for (const TCase &c : Cases()) {
      const double s = Time(times, "search/" + c.name + "/");
      const double r = Time(times, "shell/" + c.name + "/") - setup;
      const double cpu_r = c.cpu_shell - g_cpu_setup;
      std::printf("%-18s %7d rows  search %8.1f ms  shell %8.1f ms  ratio %.2f (target <= 2)  cpu ratio %.2f\n",
                  c.name.c_str(), c.rows, s, r, r > 0 ? s / r : 0.0, cpu_r > 0 ? c.cpu_search / cpu_r : 0.0);
    }
    g_window = nullptr;
  }
  TSQLiteDb::SqlTextFilter = &ToSqliteText;
  SetUiServices(nullptr);
  if (!keep) {
    std::error_code ec;
    fs::remove_all(g_dir, ec);
  }
  return 0;
}
