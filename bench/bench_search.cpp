// The searches of the crop and pest tabs on the full-size sample (300,000 application rows),
// each against the sqlite3 shell running one SELECT of the same rows and columns from the
// base tables (output to /dev/null) in the same run, and the start-up of the query object
// (open with the search schema) against opening the database and reading one row.
//
//   build/bench/bench_search [--size small|full] [--keep DIR]
//
// --keep builds the sample database into DIR once and reuses it on later runs.
//
// A search case is measured as the window runs it: the search script through the query
// object, the result view into a result grid, the column widths and the three filter lists.
// To add a case, add one entry to Cases() with its rows for the reference statement.
#include <QApplication>
#include <QFontMetrics>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "components/grid/ExcelUtil.h"
#include "engine/SakuUtil.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/acdb_search.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "ratio.h"
#include "support/sample_acisdb.h"

namespace fs = std::filesystem;
using namespace cp932::literals;

namespace {

fs::path g_dir;
fs::path g_db;

void Run(const std::string &cmd) {
  if (std::system(cmd.c_str()) != 0) {
    std::cerr << "failed: " << cmd << "\n";
    std::exit(2);
  }
}

// The sample database, built from the kit's makers' files in the update window's order.
void MakeDatabase(const std::string &size) {
  g_db = g_dir / "acis.db";
  if (fs::exists(g_db)) return;
  fs::create_directories(g_dir);
  if (!fs::exists(g_dir / "kit/makers/toroku.zip"))
    Run("python3 \"" + std::string(QM_SOURCE_DIR) + "/scripts/samplekit/make.py\" --size " + size + " --out \"" +
        (g_dir / "kit").string() + "\" >/dev/null");
  qmtest::BuildSampleDb(g_dir / "kit", g_dir);
}

std::unique_ptr<TAcisDB> OpenWithViews() {
  auto db = std::make_unique<TAcisDB>(g_db.string(), nullptr);
  db->CreateViews();
  return db;
}

// One search as the window runs it.
struct TCase {
  std::string name;
  bool pest;
  std::string terms;         // crop names (comma text) or pest words
  std::string referenceSql;  // the same rows and columns from the base tables
  int rows = 0;
};

std::vector<TCase> &Cases() {
  static std::vector<TCase> cases;
  return cases;
}

// The display columns of the first crop view, read straight from the base tables.
const char *const kReferenceColumns =
    "SELECT t.bango, t.sakumotsu, t.byochu, mokuteki, shurui, meisho, jiki, baisu, ekiryo, hoho, basho, jikan, "
    "ondo, dojo, chitai, tekiyaku, kaisu, kongo, seibun1, keito1, kaisu1, seibun2, keito2, kaisu2, seibun3, "
    "keito3, kaisu3, seibun4, keito4, kaisu4, seibun5, keito5, kaisu5, s.dokusei, yoto, koka, zaikei "
    "FROM m_tekiyo AS t LEFT JOIN m_kihon USING(bango) LEFT JOIN seizai AS s USING(bango) ";

std::string QuotedList(TSQLiteDb &db, const std::string &sql) {
  std::string out;
  for (auto t = db.GetTable(sql); !t->Eof(); t->Next())
    out += (out.empty() ? "'" : ",'") + cp932::ToUtf8(ReplaceAllText(t->FieldAsString(0), "'", "''")) + "'";
  return out;
}

void DefineCases() {
  auto db = OpenWithViews();
  const std::string tomato = "トマト"_sj;
  const std::string groups = db->UpperGroup(tomato);
  struct Def {
    const char *name;
    bool pest;
    std::string terms;
  } defs[] = {
      {"crop_leaf", false, tomato},
      {"crop_with_groups", false, groups},
      {"pest_word", true, "アブラムシ"_sj},
  };
  for (const Def &d : defs) {
    TCase c{d.name, d.pest, d.terms, ""};
    std::string where;
    if (d.pest) {
      const std::string names = QuotedList(
          db->Db(), "SELECT byochu FROM m_byochu WHERE concat('、',byochu,betsumei) MATCH '%"_sj + d.terms + "%'");
      where = "WHERE t.bango IN (SELECT bango FROM m_tekiyo WHERE byochu IN (" + names + ") OR mokuteki IN (" +
              names + ")) AND (t.byochu IN (" + names + ") OR t.mokuteki IN (" + names + "))";
    } else {
      const std::string names = QuotedList(
          db->Db(), "SELECT sakumotsu FROM m_sakumotsu WHERE idsaku REGEXP " + db->IdSakuRegexpLineTest(d.terms));
      where = "WHERE t.sakumotsu IN (" + names + ")";
    }
    c.referenceSql = kReferenceColumns + where + ";";
    Cases().push_back(c);
  }
}

void BM_Reference(benchmark::State &state) {
  TCase &c = Cases()[state.range(0)];
  const fs::path sql = g_dir / ("ref-" + c.name + ".sql");
  std::ofstream(sql, std::ios::binary) << c.referenceSql << "\n";
  const std::string cmd = "sqlite3 -batch \"" + g_db.string() + "\" < \"" + sql.string() + "\" >/dev/null";
  for (auto _ : state) Run(cmd);
  state.SetLabel(c.name);
}

// The filter lists of the crop tab: three DISTINCT lists over the work table.
void FillFilterLists(TAcisDB &db) {
  for (const char *sql : {"SELECT DISTINCT byochu FROM ttTekiyoSaku  ORDER BY idbyochu",
                          "SELECT DISTINCT mokuteki FROM ttTekiyoSaku  ORDER BY mokuteki",
                          "SELECT DISTINCT zaikei FROM ttTekiyoSaku  ORDER BY zaikei"})
    db.ExecQuery(sql);
}

// Column widths as the window computes them: the widest text of each column, each distinct
// text measured once.
void AdjustWidths(TXlsStringGrid &grid) {
  QFontMetrics fm(grid.font());
  std::unordered_map<std::string_view, int> measured;
  grid.BeginUpdate();
  for (int c = 0; c < grid.ColCount(); ++c) {
    int a = 0;
    for (int r = 1; r < grid.RowCount(); ++r) {
      const std::string_view cell = grid.CellView(c, r);
      if (cell.empty()) continue;
      auto it = measured.find(cell);
      if (it == measured.end())
        it = measured.emplace(cell, fm.horizontalAdvance(QString::fromStdString(cp932::ToUtf8(cell)))).first;
      a = std::max(a, it->second);
    }
    grid.SetColWidths(c, std::min(a, 300) + 5);
  }
  grid.EndUpdate();
}

void BM_Search(benchmark::State &state) {
  TCase &c = Cases()[state.range(0)];
  auto db = OpenWithViews();
  db->SetMultiStatement(true);
  TXlsStringGrid grid;
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    auto lap = [&](const char *what) {
      if (!std::getenv("QM_BENCH_LAPS")) return;
      auto t1 = std::chrono::steady_clock::now();
      std::fprintf(stderr, "  %s %.1f ms\n", what, std::chrono::duration<double, std::milli>(t1 - t0).count());
      t0 = t1;
    };
    if (c.pest) {
      db->ExecSearchScript(ByochuSearchScript(c.terms));
      db->ExecQuery(ByochuCropListSQL());
      db->SetGrid(grid, ByochuResultSQL("tvTekiyoByochu1"));
    } else {
      const std::string e = db->IdSakuRegexpLineTest(c.terms);
      lap("codes");
      if (std::getenv("QM_BENCH_PLAN")) {
        std::string script = SakumotsuSearchScript(e);
        script = script.substr(script.find("SELECT "));
        for (auto t = db->Db().GetTable("EXPLAIN QUERY PLAN " + script); !t->Eof(); t->Next())
          std::fprintf(stderr, "%s\n", t->FieldAsString(3).c_str());
        for (auto t = db->Db().GetTable("EXPLAIN QUERY PLAN SELECT * FROM tvTekiyoSaku1"); !t->Eof(); t->Next())
          std::fprintf(stderr, "%s\n", t->FieldAsString(3).c_str());
      }
      db->ExecSearchScript(SakumotsuSearchScript(e));
      lap("script");
      db->SetGrid(grid, "SELECT * FROM tvTekiyoSaku1");
      lap("grid");
      FillFilterLists(*db);
      lap("lists");
    }
    AdjustWidths(grid);
    lap("widths");
  }
  c.rows = grid.RowCount() - 1;
  state.SetLabel(c.name + " " + std::to_string(c.rows) + " rows");
}

void BM_Start(benchmark::State &state) {
  for (auto _ : state) OpenWithViews();
}

void BM_OpenReadOne(benchmark::State &state) {
  for (auto _ : state) {
    TSQLiteDb db(g_db.string());
    db.GetTable("SELECT * FROM m_tekiyo LIMIT 1");
  }
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
  OptionData->DbFolder = g_dir.string();
  TScopedRecordingUi quiet;  // boxes and reports are recorded, no modal loop waits
  MakeDatabase(size);
  OpenWithViews();  // the first open after a data update keeps the application table
  DefineCases();
  for (std::size_t i = 0; i < Cases().size(); ++i) {
    benchmark::RegisterBenchmark(("search/" + Cases()[i].name).c_str(), BM_Search)
        ->Arg(static_cast<int>(i))->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
    benchmark::RegisterBenchmark(("reference/" + Cases()[i].name).c_str(), BM_Reference)
        ->Arg(static_cast<int>(i))->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
  }
  benchmark::RegisterBenchmark("start/open_with_search_schema", BM_Start)->Unit(benchmark::kMillisecond)->UseRealTime();
  benchmark::RegisterBenchmark("start/open_read_one_row", BM_OpenReadOne)->Unit(benchmark::kMillisecond)->UseRealTime();
  auto times = qmbench::RunBenchmarks(&argc, argv);
  std::printf("\n");
  for (std::size_t i = 0; i < Cases().size(); ++i) {
    const TCase &c = Cases()[i];
    const double s = Time(times, "search/" + c.name + "/"), r = Time(times, "reference/" + c.name + "/");
    std::printf("%-18s %7d rows  search %8.1f ms  reference %8.1f ms  ratio %.2f (target <= 2)\n", c.name.c_str(),
                c.rows, s, r, r > 0 ? s / r : 0.0);
  }
  const double start = Time(times, "start/open_with_search_schema/");
  const double one = Time(times, "start/open_read_one_row/");
  std::printf("start %.1f ms, open and read one row %.1f ms, ratio %.1f\n", start, one, one > 0 ? start / one : 0.0);
  if (!keep) {
    std::error_code ec;
    fs::remove_all(g_dir, ec);
  }
  return 0;
}
