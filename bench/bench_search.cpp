// The searches of the crop and pest tabs on the full-size sample (300,000 application rows),
// run on the main window as a user runs them (the crop typed into the crop frame and Enter,
// or the pest typed into its edit, then 検索: the search script, the result view into the
// result grid, the column widths, the counts and the filter lists, with the program's own
// event pump), and a view-mode toggle (通称モード) on each result, against a reference
// measured in the same run on the same file.
//
//   build/bench/bench_search [--size small|full] [--keep DIR]
//
// --keep builds the sample database into DIR once and reuses it on later runs (a DIR that
// already holds acis.db and spec.db, such as a copy of a sample program folder's DB, is used
// as it is).
//
// The reference of a search is one hand-written SELECT that returns the rows the grid shows
// (the common-name view with the ingredients in their short forms, the view a new user
// sees) straight from the stored tables: the application rows joined to their product,
// formulation and pest, each ingredient slot's short form and resistance group looked up
// by joins on small CTEs. It runs through the SQLite C API on a plain read-only connection
// of its own (no function of the program, only the indexes the program itself creates),
// reading every cell as text. Before anything is timed, the row count of the program's
// grid must equal the reference's, and the rows are compared cell by cell on the columns
// the grid shows; a case whose rows differ ends the program with a failure, before anything
// is timed. A toggle is measured against the reference of the search it follows. The
// ratios use wall-clock times and, for a busy machine, the CPU times of the thread that
// runs both.
#include <QApplication>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "components/QtServices.h"
#include "components/grid/ExcelUtil.h"
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

namespace {

fs::path g_dir;   // the sample kit and its database
fs::path g_home;  // the program folder of the window
TfrmMain *g_window = nullptr;
sqlite3 *g_ref = nullptr;  // the reference's own connection

void Run(const std::string &cmd) {
  if (std::system(cmd.c_str()) != 0) qmbench::Fail(cmd);
}

// ---------------------------------------------------------------- the reference

// The displayed columns of the common-name view, first ingredient mode, for the rows that
// the WHERE clause picks from m_tekiyo (alias t).
std::string ReferenceSql(const std::string &whereUtf8) {
  std::string columns, joins;
  for (int n = 1; n <= 5; ++n) {
    const std::string d = std::to_string(n);
    columns += ",\n ifnull(s" + d + ".kanryaku, k.seibun" + d + ") AS seibun" + d + ", k.keito" + d + ", t.kaisu" + d +
             ", iif(c" + d + ".ippanmei IS NULL, x" + d + ".mid, c" + d + ".mid) AS mid" + d;
    joins += "\nLEFT JOIN short AS s" + d + " ON s" + d + ".ippanmei = k.seibun" + d + " LEFT JOIN rc AS c" + d +
             " ON c" + d + ".ippanmei = k.seibun" + d + " AND c" + d + ".cid = substr(b.idbyochu, 1, 1) LEFT JOIN rx AS x" +
             d + " ON x" + d + ".ippanmei = k.seibun" + d;
  }
  // An ingredient's short form: the part of its name after (or before) the registered text
  // in brackets.
  return "WITH short AS (SELECT ippanmei, CASE WHEN ippanmei LIKE seibun || '%' THEN seibun || '(' || "
         "substr(ippanmei, length(seibun) + 1) || ')' WHEN ippanmei LIKE '%' || seibun THEN '(' || substr(ippanmei, 1, "
         "length(ippanmei) - length(seibun)) || ')' || seibun ELSE ippanmei END AS kanryaku "
         "FROM (SELECT DISTINCT ippanmei, seibun FROM seibun WHERE ippanmei != seibun)),\n"
         "rc AS (SELECT ippanmei, cid, mid FROM spec.raccode),\n"
         "rx AS (SELECT ippanmei, max(mid) AS mid FROM spec.raccode GROUP BY ippanmei)\n"
         "SELECT DISTINCT t.sakumotsu, t.byochu, t.mokuteki, k.shurui, k.tsusho, t.jiki, t.baisu, t.ekiryo, t.hoho, "
         "t.basho, t.jikan, t.ondo, t.dojo, t.chitai, t.tekiyaku, t.kaisu, k.kongo" +
         columns +
         ",\n z.dokusei AS seizaidokusei, k.yoto, k.koka, k.zaikei\n"
         "FROM m_tekiyo AS t LEFT JOIN m_kihon AS k ON k.bango = t.bango LEFT JOIN m_byochu AS b ON b.byochu = "
         "t.byochu LEFT JOIN seizai AS z ON z.bango = t.bango" +
         joins + "\nWHERE " + whereUtf8;
}

// The crop and what is filed under it (the crops whose groups name it).
std::string CropAndSubtree(const std::string &cropUtf8) {
  return "SELECT m.sakumotsu FROM m_sakumotsu AS m LEFT JOIN sakuhojo AS h ON h.idsaku = m.idsaku WHERE m.sakumotsu = '" +
         cropUtf8 + "' OR '、' || h.shozoku || '、' LIKE '%、" + cropUtf8 + "、%'";
}

// The groups the crop belongs to, by their own entries.
std::string GroupsOf(const std::string &cropUtf8) {
  return "SELECT g.sakumotsu FROM m_sakumotsu AS g WHERE (SELECT '、' || h.shozoku || '、' FROM m_sakumotsu AS m JOIN "
         "sakuhojo AS h ON h.idsaku = m.idsaku WHERE m.sakumotsu = '" +
         cropUtf8 + "') LIKE '%、' || g.sakumotsu || '、%'";
}

using Rows = std::vector<std::vector<std::string>>;  // program text

struct TRefResult {
  std::vector<std::string> columns;  // names as SQLite reports them
  Rows rows;
};

// Runs the statement on the reference connection, reading every cell as text; keep
// stores the rows (for the comparison), otherwise they are only read.
TRefResult RunReference(const std::string &sql, bool keep) {
  sqlite3_stmt *st = nullptr;
  if (sqlite3_prepare_v2(g_ref, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
    std::cerr << "reference: " << sqlite3_errmsg(g_ref) << "\n" << sql << "\n";
    std::exit(2);
  }
  TRefResult r;
  const int cols = sqlite3_column_count(st);
  for (int c = 0; c < cols; ++c) r.columns.push_back(sqlite3_column_name(st, c));
  std::size_t bytes = 0, count = 0;
  while (sqlite3_step(st) == SQLITE_ROW) {
    ++count;
    std::vector<std::string> row;
    for (int c = 0; c < cols; ++c) {
      const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(st, c));
      bytes += static_cast<std::size_t>(sqlite3_column_bytes(st, c));
      if (keep) row.push_back(text ? cp932::FromUtf8(text) : std::string());
    }
    if (keep) r.rows.push_back(std::move(row));
  }
  sqlite3_finalize(st);
  if (!keep) r.rows.resize(count);
  benchmark::DoNotOptimize(bytes);
  return r;
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
  int tab;                // 0 crop, 1 pest/disease
  std::string termUtf8;   // the crop typed into the crop frame, or the pest words
  bool upper;             // the crop frame's 上位グループを含む
  std::string reference;  // its statement
  int rows = 0;
};

std::vector<TCase> &Cases() {
  static std::vector<TCase> cases;
  return cases;
}

TXlsStringGrid *Grid(int tab) { return tab == 0 ? g_window->ui->gdTekiyo : g_window->ui->gdByochu; }

// What the user does: the crop typed into the frame and Enter (which checks the crop found,
// with its groups when the option is on), or the pest typed; then 検索.
void Search(const TCase &c) {
  Ui::TfrmMain &u = *g_window->ui;
  if (c.tab == 0) {
    Ui::fraSakumotsuBase &f = u.fraSakumotsu->Form();
    f.actCheckUpperList->setChecked(c.upper);
    f.edtInput->setText(QString::fromStdString(c.termUtf8));
    u.fraSakumotsu->edtInputKeyPress();
  } else {
    u.edtByochu->setText(QString::fromStdString(c.termUtf8));
  }
  u.pgSearch->setCurrentIndex(c.tab);
  g_window->actSearchTekiyouExecute();
}

// The grid's rows on the columns it shows, against the reference's rows on the same columns.
bool SameRows(const TXlsStringGrid *g, const TRefResult &ref) {
  std::vector<std::pair<int, std::size_t>> pairs;  // grid column, reference column
  for (int c = 0; c < g->ColCount(); ++c)
    for (std::size_t k = 0; k < ref.columns.size(); ++k)
      if (g->Cells(c, 0) == AcisDB->FieldCaption(ref.columns[k])) pairs.emplace_back(c, k);
  if (pairs.size() < 10) return false;
  std::multiset<std::string> shown, expected;
  for (int r = 1; r < g->RowCount(); ++r) {
    std::string s;
    for (const auto &p : pairs) s += g->Cells(p.first, r) + "\x1f";
    shown.insert(s);
  }
  for (const auto &row : ref.rows) {
    std::string s;
    for (const auto &p : pairs) s += row[p.second] + "\x1f";
    expected.insert(s);
  }
  return shown == expected;
}

void DefineCases() {
  const std::string tomato = "トマト";
  std::string differ;  // the cases whose rows differ from their reference's
  struct Def {
    const char *name;
    int tab;
    std::string term;
    bool upper;
    std::string where;
  } defs[] = {
      {"pest アブラムシ類", 1, "アブラムシ類", false,
       "t.byochu IN (SELECT byochu FROM p) OR t.mokuteki IN (SELECT byochu FROM p)"},
      {"crop トマト", 0, tomato, false, "t.sakumotsu IN (" + CropAndSubtree(tomato) + ")"},
      {"crop トマト+groups", 0, tomato, true,
       "t.sakumotsu IN (" + CropAndSubtree(tomato) + " UNION " + GroupsOf(tomato) + ")"},
  };
  for (const Def &d : defs) {
    TCase c{d.name, d.tab, d.term, d.upper, ReferenceSql(d.where)};
    if (d.tab == 1)  // the pests whose name or other names hold the word
      c.reference = "WITH p AS (SELECT byochu FROM m_byochu WHERE '、' || byochu || ifnull(betsumei, '') LIKE '%" +
                    d.term + "%'), " + c.reference.substr(5);
    Search(c);
    const TRefResult ref = RunReference(c.reference, true);
    c.rows = Grid(c.tab)->RowCount() - 1;
    const char *verdict = c.rows != static_cast<int>(ref.rows.size()) ? "  ROW COUNTS DIFFER"
                          : SameRows(Grid(c.tab), ref)                 ? nullptr
                                                                       : "  ROWS DIFFER";
    std::printf("%-22s grid %7d rows, reference %7zu rows%s\n", c.name.c_str(), c.rows, ref.rows.size(),
                verdict ? verdict : ", the same rows");
    if (verdict) differ += " " + c.name + ";";
    Cases().push_back(c);
  }
  // A search timed against a reference that returns other rows has no ratio.
  if (!differ.empty()) qmbench::Fail("the grid and the reference hold other rows on:" + differ);
}

void BM_Search(benchmark::State &state) {
  const TCase &c = Cases()[static_cast<std::size_t>(state.range(0))];
  for (auto _ : state) Search(c);
  if (Grid(c.tab)->RowCount() - 1 != c.rows) state.SkipWithError("the search found another number of rows");
}

void BM_Reference(benchmark::State &state) {
  const TCase &c = Cases()[static_cast<std::size_t>(state.range(0))];
  for (auto _ : state) RunReference(c.reference, false);
}

// 通称モード on and off again on the case's result, the other tab holding no result (a
// toggle refreshes every result shown). Each iteration is one toggle.
void BM_Toggle(benchmark::State &state) {
  const TCase &c = Cases()[static_cast<std::size_t>(state.range(0))];
  Search(c);
  Grid(1 - c.tab)->hide();
  for (auto _ : state) g_window->actTsusho->trigger();
  if (!g_window->actTsusho->isChecked()) g_window->actTsusho->trigger();
  if (Grid(c.tab)->RowCount() - 1 != c.rows) state.SkipWithError("the toggle shows another number of rows");
}

}  // namespace

int main(int argc, char **argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu", 0);  // the window's HTML views, run as root
  QApplication app(argc, argv);
  std::string size = "full";
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--size") size = argv[i + 1];
    if (std::string(argv[i]) == "--keep") g_dir = argv[i + 1];
  }
  const bool keep = !g_dir.empty();
  if (!keep) {
    g_dir = fs::temp_directory_path() / ("qmbench-search-" + std::to_string(::getpid()));
    qmbench::RemoveOnFailure(g_dir);
  }
  {
    TScopedRecordingUi quiet;  // the build reports nothing to a window
    OptionData->DbFolder = g_dir.string();
    MakeDatabase(size);
  }
  MakeHome();
  TBenchUi ui_services;
  SetUiServices(&ui_services);
  {
    std::unique_ptr<TfrmMain> window = std::make_unique<TfrmMain>(QStringList{}, nullptr);
    window->resize(1280, 900);
    window->show();
    for (int i = 0; i < 100 && window->IsStartUp; ++i) QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    if (!AcisDB) {
      std::cerr << "the window opened no database\n";
      return 2;
    }
    if (sqlite3_open_v2((g_home / "DB/acis.db").c_str(), &g_ref, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK ||
        sqlite3_exec(g_ref, ("ATTACH '" + (g_home / "DB/spec.db").string() + "' AS spec;").c_str(), nullptr, nullptr,
                     nullptr) != SQLITE_OK) {
      std::cerr << "the reference cannot open the database\n";
      return 2;
    }
    g_window = window.get();
    // The frame's automatic search on each change is off, so that 検索 runs each search once.
    g_window->ui->fraSakumotsu->Form().actAutoTekiyoView->setChecked(false);
    g_window->ui->fraSakumotsu->Form().actListAutoTekiyoView->setChecked(false);
    if (!g_window->actTsusho->isChecked()) g_window->actTsusho->trigger();  // the view a new user sees
    DefineCases();

    for (std::size_t i = 0; i < Cases().size(); ++i) {
      const int arg = static_cast<int>(i);
      const std::string &n = Cases()[i].name;
      benchmark::RegisterBenchmark(("search/" + n).c_str(), BM_Search)->Arg(arg)->Unit(benchmark::kMillisecond)
          ->UseRealTime()->MinTime(2);
      benchmark::RegisterBenchmark(("reference/" + n).c_str(), BM_Reference)->Arg(arg)->Unit(benchmark::kMillisecond)
          ->UseRealTime()->MinTime(2);
      if (i == 0 || i == 2)
        benchmark::RegisterBenchmark(("toggle/" + n).c_str(), BM_Toggle)->Arg(arg)->Unit(benchmark::kMillisecond)
            ->UseRealTime()->MinTime(2);
    }
    const auto times = qmbench::RunBenchmarksWithCpu(&argc, argv);
    auto find = [&](const std::string &prefix) {
      for (const auto &[name, t] : times)
        if (name.rfind(prefix, 0) == 0) return t;
      return qmbench::TTimes{};
    };
    std::printf("\n%-22s %10s %10s %7s %7s  target\n", "case", "program", "reference", "ratio", "cpu");
    for (std::size_t i = 0; i < Cases().size(); ++i) {
      const TCase &c = Cases()[i];
      const qmbench::TTimes ref = find("reference/" + c.name + "/");
      for (const char *kind : {"search/", "toggle/"}) {
        const qmbench::TTimes t = find(kind + c.name + "/");
        if (t.real <= 0) continue;
        const bool toggle = kind[0] == 't';
        std::printf("%-22s %8.1fms %8.1fms %7.2f %7.2f  <= %s\n", ((toggle ? "toggle " : "") + c.name).c_str(),
                    t.real, ref.real, ref.real > 0 ? t.real / ref.real : 0.0, ref.cpu > 0 ? t.cpu / ref.cpu : 0.0,
                    toggle ? "1" : "1.5");
      }
    }
    g_window = nullptr;
  }
  sqlite3_close(g_ref);
  SetUiServices(nullptr);
  if (!keep) {
    std::error_code ec;
    fs::remove_all(g_dir, ec);
  }
  return 0;
}
