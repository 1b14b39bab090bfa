// The chemical tab's road from a keyword with a crop restriction to a filled application grid,
// on the full-size sample database (about 4,500 products, 300,000 application rows): the crop
// expression, t_bango and t_yaku, the two side lists, the products of the first common name,
// and the product detail with its ingredient grid and application grid. The reference is the
// sqlite3 shell running the same final statements (preconv folded in the client as the
// program sends them; the shell has no strconv or ifnullstr, so lower and ifnull stand in),
// measured in the same run.
//
//   build/bench/bench_yakuzai [--size small|full]
#include <QApplication>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <string>
#include <vector>

#include "ratio.h"
#include "components/grid/ExcelUtil.h"
#include "engine/SakuUtil.h"
#include "engine/SqlFunctions.h"
#include "engine/YakuzaiQuery.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/archive.h"
#include "platform/cp932.h"

namespace fs = std::filesystem;

namespace {

fs::path g_dir;
std::unique_ptr<TAcisDB> g_db;
std::string g_crop, g_keyword;
std::vector<std::string> g_statements;  // the statements of one road, as sent

std::string ReadAll(const fs::path &p) {
  std::ifstream f(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

using qmbench::Fail;

// The kit, and acis.db built from the makers' files with the reference tables the tab reads.
void BuildDb(const std::string &size) {
  g_dir = fs::temp_directory_path() / ("qmbench-yakuzai-" + std::to_string(::getpid()));
  fs::create_directories(g_dir);
  if (!std::getenv("QM_BENCH_KEEP")) qmbench::RemoveOnFailure(g_dir);
  const fs::path kit = g_dir / "kit";
  std::string cmd = "python3 \"" + std::string(QM_SOURCE_DIR) + "/scripts/samplekit/make.py\" --size " + size +
                    " --out \"" + kit.string() + "\" >/dev/null";
  if (std::system(cmd.c_str()) != 0) Fail("the sample kit could not be made");
  char out[4096];
  cmd = "x -r -hide -aoa -y \"" + cp932::FromUtf8((kit / "makers/toroku.zip").string()) + "\" -o\"" +
        cp932::FromUtf8((g_dir / "x").string()) + "/\"";
  if (sevenzip::SevenZip(nullptr, cmd.c_str(), out, sizeof out) != 0) Fail("cannot unpack toroku.zip");
  OptionData->DbFolder = g_dir.string();
  TAcisDB::ReferenceRefresh = nullptr;
  {
    TAcisDB db((g_dir / "acis.db").string(), nullptr);
    db.SetMultiStatement(true);
    for (const char *script : {"spec.bunrui.txt", "spec.iso.txt", "spec.irac.txt", "spec.frac.txt", "spec.hrac.txt",
                               "acis.seizai.txt", "acis.dokusei.txt", "spec.ojas.txt", "sakumotsu.txt", "byochu.txt",
                               "tsushoruby.txt", "spec.idshurui.txt", "kwlists.txt", "acis.suisan.txt"})
      db.Db().ExecSQL(ReadAll(kit / "scripts" / script));
    db.CreateTables();
    db.ImportKihonCsv(cp932::FromUtf8((g_dir / "x" / "kihon.csv").string()));
    db.ImportTekiyoCsv(cp932::FromUtf8((g_dir / "x" / "tekiyo.csv").string()));
    db.FillTmKihon();
    db.BuildMKihon();
    db.CreateSeibun();
    db.CreateIndexes();
    db.CreateTekiyoViews();
  }
  g_db = std::make_unique<TAcisDB>((g_dir / "acis.db").string(), nullptr);
  g_db->CreateViews();
  // The crop with the most products, and the ingredient most of its products carry.
  if (!g_db->ExecQuery("SELECT sakumotsu FROM tekiyo GROUP BY sakumotsu ORDER BY count(DISTINCT bango) DESC LIMIT 1"))
    Fail("no crop");
  g_crop = g_db->Query()->FieldAsString(0);
  if (!g_db->ExecQuery("SELECT ippanmei FROM kihon WHERE bango IN (SELECT bango FROM tekiyo WHERE sakumotsu = " +
                       SqlQuoted(g_crop) + ") GROUP BY ippanmei ORDER BY count(*) DESC LIMIT 1"))
    Fail("no ingredient");
  g_keyword = g_db->Query()->FieldAsString(0);
}

// One road, as the window takes it; the statements are kept when Capture is set.
void Road(TXlsStringGrid &seibun_grid, TXlsStringGrid &tekiyo_grid, bool capture) {
  TAcisDB &db = *g_db;
  auto sent = [&](const std::string &sql) -> const std::string & {
    if (capture) g_statements.push_back(sql);
    return sql;
  };
  const std::string expr = db.IdSakuRegexpLineTest(g_crop);
  std::string names;
  if (db.ExecQuery(sent("select sakumotsu from m_sakumotsu where idsaku regexp " + expr)))
    for (TSQLiteTbl &q = *db.Query(); !q.Eof(); q.Next()) names += (names.empty() ? "" : ",") + q.FieldAsString(0);
  if (!ExecSearchScript(db, sent(CreateBangoTableSQL(expr)))) Fail("t_bango failed");
  if (!ExecSearchScript(db, sent(CreateYakuTableSQL(g_keyword, "", true)))) Fail("t_yaku failed");
  std::vector<std::string> tsusho, bango;
  if (!db.ExecQuery(sent(YakuTsushoListSQL()))) Fail("no product found");
  for (TSQLiteTbl &q = *db.Query(); !q.Eof(); q.Next()) tsusho.push_back(q.FieldAsString(0));
  if (db.ExecQuery(sent(YakuBangoListSQL())))
    for (TSQLiteTbl &q = *db.Query(); !q.Eof(); q.Next()) bango.push_back(q.FieldAsString(0));
  // The common-name click: its products, the shortest name shown.
  if (!db.ExecQuery(sent(TsushoProductsSQL(tsusho.front())))) Fail("no product of the name");
  std::string pick, pick_name;
  for (TSQLiteTbl &q = *db.Query(); !q.Eof(); q.Next())
    if (pick.empty() || q.FieldAsString(1).size() <= pick_name.size()) {
      pick = q.FieldAsString(0);
      pick_name = q.FieldAsString(1);
    }
  // The product detail.
  db.ExecQuery(sent(SeizaiSQL(pick)));
  if (db.TableExists("suisan")) db.ExecQuery(sent(SuisanSQL(pick)));
  db.SetGrid(seibun_grid, sent(SeibunGridSQL(pick)));
  std::vector<std::string> ingredient_slots;
  if (db.ExecQuery(sent(SeibunSlotsSQL(pick))))
    for (int i = 0; i < 5; ++i) ingredient_slots.push_back(db.Query()->FieldAsString(i));
  for (const std::string &v : ingredient_slots)
    if (!v.empty()) db.ExecQuery(sent(SeibunOfIppanmeiSQL(pick, v)));
  db.ExecSQL(sent("DROP TABLE IF EXISTS ttYakuzai"));
  db.SetGrid(tekiyo_grid, sent(TekiyoGridSQL(pick, true, names)));
}

// The statement for the shell: the program's own functions become built-in ones of the same
// cost (every argument evaluated): concat -> max, if -> iif, ifnullstr -> ifnull,
// strconv -> lower.
std::string ForShell(const std::string &program_sql) {
  static const std::pair<std::regex, const char *> swaps[] = {
      {std::regex("\\bconcat\\(", std::regex::icase), "max("},
      {std::regex("\\bif\\(", std::regex::icase), "iif("},
      {std::regex("\\bifnullstr\\(", std::regex::icase), "ifnull("},
      {std::regex("\\bstrconv\\(", std::regex::icase), "lower("}};
  std::string sql = ToSqliteText(program_sql);
  for (const auto &[from, to] : swaps) sql = std::regex_replace(sql, from, to);
  while (!sql.empty() && (sql.back() == '\n' || sql.back() == '\r' || sql.back() == ' ')) sql.pop_back();
  return sql.empty() || sql.back() == ';' ? sql + "\n" : sql + ";\n";
}

void BM_YakuzaiRoad(benchmark::State &state) {
  TXlsStringGrid seibun, tekiyo;
  for (auto _ : state) Road(seibun, tekiyo, false);
  state.counters["rows"] = tekiyo.RowCount() - 1;
}

void BM_SqliteShell(benchmark::State &state) {
  std::ofstream script(g_dir / "ref.sql", std::ios::binary);
  script << "ATTACH '" << (g_dir / "spec.db").string() << "' AS spec;\n";
  // The connection's temporary views the statements read.
  if (!g_db->ExecQuery("SELECT sql FROM sqlite_temp_master WHERE name IN ('kihon', 'tvSeibun')")) Fail("no views");
  // (sqlite_temp_master keeps them as "CREATE VIEW"; they must stay out of the file.)
  for (TSQLiteTbl &q = *g_db->Query(); !q.Eof(); q.Next())
    script << ForShell(std::regex_replace(q.FieldAsString(0), std::regex("^CREATE VIEW"), "CREATE TEMP VIEW"));
  for (const std::string &s : g_statements) script << ForShell(s);
  script.close();
  // The shell works on its own copy, so that nothing it does reaches the program's file.
  fs::copy_file(g_dir / "acis.db", g_dir / "ref.db", fs::copy_options::overwrite_existing);
  const std::string cmd = "sqlite3 -batch \"" + (g_dir / "ref.db").string() + "\" < \"" +
                          (g_dir / "ref.sql").string() + "\" >/dev/null 2>\"" + (g_dir / "ref.err").string() + "\"";
  for (auto _ : state)
    if (std::system(cmd.c_str()) != 0) {
      state.SkipWithError(("the sqlite3 shell failed: " + ReadAll(g_dir / "ref.err")).c_str());
      break;
    }
  if (fs::file_size(g_dir / "ref.err") > 0) state.SkipWithError(ReadAll(g_dir / "ref.err").c_str());
}

BENCHMARK(BM_YakuzaiRoad)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_SqliteShell)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

int main(int argc, char **argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  std::string size = "full";
  for (int i = 1; i + 1 < argc; ++i)
    if (std::string(argv[i]) == "--size") size = argv[i + 1];
  BuildDb(size);
  {
    TXlsStringGrid seibun, tekiyo;
    Road(seibun, tekiyo, true);
    std::printf("crop %s, keyword %s: %d applications shown\n", cp932::ToUtf8(g_crop).c_str(),
                cp932::ToUtf8(g_keyword).c_str(), tekiyo.RowCount() - 1);
  }
  auto times = qmbench::RunBenchmarks(&argc, argv);
  auto time_of = [&](const std::string &name) {
    for (const auto &[key, value] : times)
      if (key.rfind(name + "/", 0) == 0) return value;
    return 0.0;
  };
  const double road = time_of("BM_YakuzaiRoad"), ref = time_of("BM_SqliteShell");
  std::printf("\nchemical tab road / sqlite3 shell: %.2f (target <= 1.5)\n", ref > 0 ? road / ref : 0.0);
  g_db.reset();
  std::error_code ec;
  if (!std::getenv("QM_BENCH_KEEP")) fs::remove_all(g_dir, ec);
  return 0;
}
