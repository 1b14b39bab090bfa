// The data sources and the reference refresh against the sample-data kit's files in
// their published shapes, served by the local test server.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "engine/AcisSvr.h"
#include "engine/SqlFunctions.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "support/testserver.h"
#include "support/enginefixture.h"
#include "support/testutil.h"

namespace fs = std::filesystem;
using namespace cp932::literals;
using qmtest::ReadFile;
using qmtest::SourceDir;
using qmtest::TempDir;
using qmtest::TestServer;

namespace {

struct Lines : ILogTarget {
  std::vector<std::string> lines;
  void AddLine(const std::string &line) override { lines.push_back(cp932::ToUtf8(line)); }
  int Count(const std::string &utf8) const {
    return static_cast<int>(std::count(lines.begin(), lines.end(), utf8));
  }
};

void Shell(const std::string &cmd) {
  if (std::system(cmd.c_str()) != 0) throw std::runtime_error(cmd);
}

// Facts from the kit's manifest, one "key<TAB>value[<TAB>value]" per line.
std::vector<std::vector<std::string>> Manifest(const fs::path &kit, const std::string &python) {
  fs::path out = kit / "facts.txt";
  Shell("python3 - '" + kit.string() + "' > '" + out.string() + "' <<'EOF'\n"
        "import json, sys\n"
        "m = json.load(open(sys.argv[1] + '/manifest.json', encoding='utf-8'))\n" +
        python + "\nEOF");
  std::vector<std::vector<std::string>> rows;
  std::ifstream f(out);
  std::string line;
  while (std::getline(f, line)) {
    std::vector<std::string> row;
    std::stringstream ss(line);
    std::string cell;
    while (std::getline(ss, cell, '\t')) row.push_back(cell);
    rows.push_back(row);
  }
  return rows;
}

class KitSourcesTest : public ::testing::Test {
 protected:
  fs::path Kit(const std::string &rel = "") { return qmtest::SmallKit() / rel; }

  TestServer server;
  TempDir home;
  qmtest::ScopedEngineState state;
  TScopedRecordingUi ui;
  Lines log;

  void SetUp() override {
    OptionData->DownloadFolder = home.str() + "Download";
    OptionData->DbFolder = home.str() + "DB";
    OptionData->UseLAN = false;
    OptionData->DownSiteTorvDB = 0;
    OptionData->BuiltFromSite = 0;
    fs::create_directories(home / "Download");
    fs::create_directories(home / "DB");
    DataSites().PublisherHost = server.Url();
    for (int i = 0; i < 4; ++i) DataSites().TorvMirror[i] = server.Url("/torv/data/");
    for (const auto &e : fs::directory_iterator(Kit("publisher"))) {
      std::string name = e.path().filename().string();
      server.Put(name == "update2.htm" ? "/ddata/index2.htm" : "/ddata/datacsv/" + name,
                 ReadFile(e.path()));
    }
    for (const char *dir : {"makers", "scripts"})
      for (const auto &e : fs::directory_iterator(Kit(dir)))
        server.Put("/torv/data/" + e.path().filename().string(), ReadFile(e.path()));
  }
  std::string Data(const std::string &utf8) { return cp932::FromUtf8((home / "Download" / utf8).string()); }
};

}  // namespace

TEST_F(KitSourcesTest, PublisherCsvPageNamesItsArchivesWhichUnpack) {
  auto facts = Manifest(Kit(), "a = m['data_as_of']['update2.htm']['archives']\n"
                               "print(a['kihon']); print(a['tekiyo1']); print(a['tekiyo2'])\n"
                               "for k in ('kihon', 'tekiyo1', 'tekiyo2'): print(m['publisher_csv'][k]['entry'])");
  ASSERT_EQ(facts.size(), 6u);
  OptionData->DownSite = 0;
  TAcisSvr svr;
  EXPECT_TRUE(svr.CheckUpdate());
  TCsvFileNames names;
  ReadCsvFileNames(names);
  EXPECT_EQ(cp932::ToUtf8(names.Kihon), facts[0][0]);
  EXPECT_EQ(cp932::ToUtf8(names.Tekiyo1), facts[1][0]);
  EXPECT_EQ(cp932::ToUtf8(names.Tekiyo2), facts[2][0]);
  for (int i = 0; i < 3; ++i) {
    std::string output;
    EXPECT_TRUE(ExtractArchive(Data(facts[i][0]), OptionData->DownloadFolder, output))
        << cp932::ToUtf8(output);
    EXPECT_TRUE(fs::exists(home / "Download" / facts[3 + i][0])) << facts[3 + i][0];
  }
}

TEST_F(KitSourcesTest, MakersCsvSetAndItsDataAsOfText) {
  auto facts = Manifest(Kit(), "print(m['data_as_of']['update.txt']['expected'])");
  OptionData->DownSite = 2;
  TAcisSvr svr;
  EXPECT_TRUE(svr.CheckUpdate());
  std::string first = ReadFile(CurrentPagePath(2));
  first = first.substr(0, first.find_first_of("\r\n"));
  EXPECT_EQ(cp932::ToUtf8(ExtractDataAsOfText(first)), facts.at(0).at(0));
  // Once the data it tells of are in place, the page is the saved one and nothing is new.
  CommitPendingPage(2);
  EXPECT_FALSE(svr.CheckUpdate());
  std::string output;
  EXPECT_TRUE(ExtractArchive(Data("toroku.zip"), OptionData->DownloadFolder, output));
  EXPECT_TRUE(fs::exists(home / "Download" / "kihon.csv"));
  EXPECT_TRUE(fs::exists(home / "Download" / "tekiyo.csv"));
}

TEST_F(KitSourcesTest, ReferenceScriptsAllRunAndFillTheirTables) {
  auto facts = Manifest(Kit(), "for s, v in m['reference_scripts'].items():\n"
                               "  for t, n in v['tables'].items(): print(s + '\\t' + t + '\\t' + str(n))");
  ASSERT_GT(facts.size(), 19u);
  InstallReferenceRefresh();
  TSQLiteDb::FunctionRegistrar = &RegisterSqlFunctions;
  TAcisDB db(cp932::FromUtf8((home / "DB" / "acis.db").string()), &log);
  // The crop and pest masters wait for a built database; the build runs them itself.
  EXPECT_TRUE(db.UpdateMSakumotsu());
  EXPECT_TRUE(db.UpdateMByochu());
  EXPECT_TRUE(ui.reports.empty()) << cp932::ToUtf8(ui.reports.at(0).text);
  for (const char *done : {"spec.bunrui 更新", "spec.frac 更新", "spec.cvo 更新", "m_dokusei 更新",
                           "spec.ojas 更新", "m_sakumotsu 更新", "m_byochu 更新"})
    EXPECT_EQ(log.Count(done), 1) << done;
  for (const auto &row : facts) {
    std::string schema = row[0].rfind("spec.", 0) == 0 ? "spec." : "main.";
    auto t = db.Db().GetTable("select count(*) from " + schema + row[1]);
    EXPECT_EQ(t->FieldAsString(0), row[2]) << row[0] << " " << row[1];
  }
}
