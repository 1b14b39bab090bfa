#include "ui/QlmExportUtils.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/Automation.h"
#include "platform/OfficeSuite.h"
#include "platform/cp932.h"
#include "support/enginefixture.h"
#include "support/testutil.h"
#include "ui/ShellServices.h"

using namespace cp932::literals;

namespace {

// Look-up hosts of the tests, so that the addresses below are exact.
class LookupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = LookupSites();
    TLookupSites &s = LookupSites();
    s.WebSearch = "https://search.test";
    s.FoundationSite = "https://foundation.test/zaidan";
    s.ProductLabSite = "lab.test";
    s.ChemicalInfo = "https://chem.test";
    s.PesticideDatabase = "https://prdb.test";
    s.PlantDiseaseSite = "disease.test";
    s.FarmProducts = "https://farm.test";
    s.PestControlSite = "pest.test";
    s.OnlineDictionary = "https://dict.test";
    saved_folder_ = OptionData->ProgramFolder;
    OptionData->ProgramFolder = "/opt/quillmar/";
  }
  void TearDown() override {
    LookupSites() = saved_;
    OptionData->ProgramFolder = saved_folder_;
  }
  // The address the look-up opened, after checking the shell call around it.
  std::string Opened(void (*lookup)(QWidget *, const std::string &), const std::string &term) {
    TScopedRecordingShell shell;
    lookup(nullptr, term);
    if (shell.calls.size() != 1) {
      ADD_FAILURE() << "expected one shell call, got " << shell.calls.size();
      return {};
    }
    const TRecordingShell::Call &c = shell.calls[0];
    EXPECT_EQ(c.verb, "open");
    EXPECT_EQ(c.params, "");
    EXPECT_EQ(c.dir, "/opt/quillmar/");
    EXPECT_EQ(c.show, SW_SHOWDEFAULT);
    return c.file;
  }

  TLookupSites saved_;
  std::string saved_folder_;
};

TEST_F(LookupTest, Utf8LookUpsEncodeEveryByteOfTheUtf8Term) {
  struct Case {
    std::string term, encoded;
  };
  const std::vector<Case> cases = {
      {"abc", "%61%62%63"},
      {"いね"_sj, "%E3%81%84%E3%81%AD"},
      {"a b", "%61%20%62"},
      {"あ　い"_sj, "%E3%81%82%E3%80%80%E3%81%84"},  // full-width blank
      {"A&B", "%41%26%42"},
      {"50%", "%35%30%25"},
      {"ソ"_sj, "%E3%82%BD"},  // trail byte 0x5C in the program's code page
      {"", ""},
  };
  for (const Case &c : cases) {
    const std::string &e = c.encoded;
    EXPECT_EQ(Opened(OpenWebSearch, c.term), "https://search.test/search?q=" + e);
    EXPECT_EQ(Opened(OpenPlantDiseaseSiteSearch, c.term),
              "https://search.test/search?hl=ja&as_q=" + e + "&as_sitesearch=disease.test");
    EXPECT_EQ(Opened(OpenFarmProductSearch, c.term), "https://farm.test/db/products/product_search?q=" + e);
    EXPECT_EQ(Opened(OpenPestControlSiteSearch, c.term),
              "https://search.test/search?hl=ja&as_q=" + e + "&as_sitesearch=pest.test");
    EXPECT_EQ(Opened(OpenOnlineDictionary, c.term), "https://dict.test/content/" + e);
  }
}

// The ISO look-ups without a database: the term itself, in the program's code page.
TEST_F(LookupTest, IsoLookUpsWithoutIsoNameEncodeTheTermInTheProgramCodePage) {
  ASSERT_EQ(AcisDB, nullptr);
  struct Case {
    std::string term, encoded, raw;
  };
  const std::vector<Case> cases = {
      {"abc", "%61%62%63", "abc"},
      {"いね"_sj, "%82%A2%82%CB", "いね"_sj},
      {"a b", "%61%20%62", "a b"},
      {"A&B", "%41%26%42", "A%26B"},
      {"50%", "%35%30%25", "50%25"},
      {"x#1+y", "%78%23%31%2B%79", "x%231%2By"},
  };
  for (const Case &c : cases) {
    const std::string &e = c.encoded;
    EXPECT_EQ(Opened(OpenFoundationSiteSearch, c.term),
              "https://search.test/search?hl=ja&as_q=" + e +
                  "&as_sitesearch=https%3A%2F%2Ffoundation.test%2Fzaidan");
    EXPECT_EQ(Opened(OpenProductLabSiteSearch, c.term),
              "https://search.test/search?hl=ja&as_q=" + e + "&as_sitesearch=lab.test");
    EXPECT_EQ(Opened(OpenChemicalInfoSearch, c.term),
              "https://chem.test/dsifc/servlet/SearchApp?appkind=pestressearch&searchkind=list_page"
              "&searchcondition=chemical&key=" +
                  e);
    EXPECT_EQ(Opened(OpenPesticideDatabasePage, c.term), "https://prdb.test/prdb/details.pl?nname=" + c.raw + "&mode=mn");
  }
}

TEST_F(LookupTest, IsoLookUpsUseTheIngredientsIsoName) {
  qmtest::TempDir dir;
  TScopedRecordingUi ui;
  qmtest::ScopedEngineState state(dir.path());
  OptionData->ProgramFolder = "/opt/quillmar/";
  {
    TSQLiteDb db((dir / "acis.db").string());
    db.MultiStatement = true;
    db.ExecSQL(cp932::FromUtf8("CREATE TABLE info(Item TEXT, Value TEXT);"
                               "CREATE TABLE iso(ippanmei TEXT, iso TEXT);"
                               "INSERT INTO iso VALUES ('いね','oryza sativa'),('ね','a&b');"));
  }
  {
    TAcisDB db((dir / "acis.db").string(), nullptr);
    state.SetAcisDB(&db);
    EXPECT_EQ(Opened(OpenChemicalInfoSearch, "いね"_sj),
              "https://chem.test/dsifc/servlet/SearchApp?appkind=pestressearch&searchkind=list_page"
              "&searchcondition=chemical&key=%6F%72%79%7A%61%20%73%61%74%69%76%61");
    EXPECT_EQ(Opened(OpenProductLabSiteSearch, "ね"_sj),
              "https://search.test/search?hl=ja&as_q=%61%26%62&as_sitesearch=lab.test");
    EXPECT_EQ(Opened(OpenPesticideDatabasePage, "いね"_sj),
              "https://prdb.test/prdb/details.pl?nname=oryza sativa&mode=mn");
    EXPECT_EQ(Opened(OpenPesticideDatabasePage, "ね"_sj), "https://prdb.test/prdb/details.pl?nname=a%26b&mode=mn");
    // No ISO name: the term in the program's code page.
    EXPECT_EQ(Opened(OpenFoundationSiteSearch, "ぬ"_sj),
              "https://search.test/search?hl=ja&as_q=%82%CA&as_sitesearch=https%3A%2F%2Ffoundation.test%2Fzaidan");
    // The web search never asks for the ISO name.
    EXPECT_EQ(Opened(OpenWebSearch, "いね"_sj), "https://search.test/search?q=%E3%81%84%E3%81%AD");
    state.SetAcisDB(nullptr);
  }
  EXPECT_TRUE(ui.reports.empty());
}

TEST(FileNames, OpenFileForEditOnlyOnAnExistingFile) {
  qmtest::TempDir dir;
  TScopedRecordingShell shell;
  OpenFileForEdit(nullptr, dir.str() + "missing.html");
  EXPECT_TRUE(shell.calls.empty());
  qmtest::WriteFile(dir / "page.html", "<html></html>");
  OpenFileForEdit(nullptr, dir.str() + "page.html");
  ASSERT_EQ(shell.calls.size(), 1u);
  EXPECT_EQ(shell.calls[0].verb, "edit");
  EXPECT_EQ(shell.calls[0].file, dir.str() + "page.html");
  EXPECT_EQ(shell.calls[0].dir, OptionData->ProgramFolder);
  EXPECT_EQ(shell.calls[0].show, SW_SHOWDEFAULT);
}

TEST(FileNames, TempFileNamesAreBareAndFreeInTheirFolder) {
  qmtest::TempDir dir;
  std::vector<std::string> names;
  for (int i = 0; i < 3; ++i) {
    std::string n = MakeTempFileName(".html", dir.str());
    ASSERT_GT(n.size(), 5u);
    EXPECT_EQ(n.substr(n.size() - 5), ".html");
    EXPECT_EQ(n.find('/'), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir / n));
    for (const std::string &m : names) EXPECT_NE(n, m);
    qmtest::WriteFile(dir / n, "x");  // the caller uses the name at once
    names.push_back(n);
  }
  EXPECT_EQ(std::filesystem::path(MakeTempFileName(".tmp")).extension(), ".tmp");
}

// ---------------------------------------------------------------- spreadsheets

struct HandOffTest : ::testing::Test {
  TScopedRecordingAutomation ole;
  TScopedRecordingUi ui;
  std::vector<std::string> Boxes() const {
    std::vector<std::string> v;
    for (const auto &b : ui.boxes) v.push_back(b.text);
    return v;
  }
};

TEST_F(HandOffTest, PasteStartsANewProgramAndPastesAtA1) {
  ole.startable = {"Excel.Application"};
  ole.running = {"Excel.Application"};
  PasteClipboardToSpreadsheet(ssExcel);
  EXPECT_EQ(ole.lines, (std::vector<std::string>{
                           "CreateOleObject(\"Excel.Application\")",
                           "Visible := True",
                           "WorkBooks.Add.WorkSheets(1).Activate()",
                           "WorkBooks.Add.WorkSheets(1).Range(\"A1\").Select()",
                           "WorkBooks.Add.WorkSheets(1).Paste()",
                           "WorkBooks.Add.WorkSheets(1).Range(\"A1\").Select()",
                       }));
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(HandOffTest, ARunningProgramIsNotAttachedToAndAFailedStartIsReported) {
  ole.running = {"Excel.Application", "KET.Application", "ET.Application", "JustCalc.Application"};
  PasteClipboardToSpreadsheet(ssExcel);
  PasteClipboardToSpreadsheet(ssWPS);
  OpenFileInSpreadsheet(ssJustCalc, "/tmp/a.html");
  EXPECT_EQ(ole.lines, (std::vector<std::string>{
                           "CreateOleObject(\"Excel.Application\") -> EOleSysError",
                           "CreateOleObject(\"KET.Application\") -> EOleSysError",
                           "CreateOleObject(\"ET.Application\") -> EOleSysError",
                           "CreateOleObject(\"JustCalc.Application\") -> EOleSysError",
                       }));
  EXPECT_EQ(Boxes(), (std::vector<std::string>{"Excel の起動もしくは処理に失敗しました"_sj,
                                               "WPS Spreadsheets の起動もしくは処理に失敗しました"_sj,
                                               "JustCalc の起動もしくは処理に失敗しました"_sj}));
  for (const auto &b : ui.boxes) EXPECT_EQ(b.flags, unsigned{MB_OK});
}

TEST_F(HandOffTest, WpsFallsBackToTheOlderIdentifierAndOpensTheFile) {
  ole.startable = {"ET.Application"};
  OpenFileInSpreadsheet(ssWPS, "/tmp/a.html");
  EXPECT_EQ(ole.lines, (std::vector<std::string>{
                           "CreateOleObject(\"KET.Application\") -> EOleSysError",
                           "CreateOleObject(\"ET.Application\")",
                           "Visible := True",
                           "WorkBooks.Open(\"/tmp/a.html\").WorkSheets(1).Activate()",
                           "WorkBooks.Open(\"/tmp/a.html\").WorkSheets(1).Range(\"A1\").Select()",
                       }));
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(HandOffTest, AFailingStepAfterTheStartIsReportedAndStopsTheHandOff) {
  ole.startable = {"JustCalc.Application"};
  ole.fail_on = "Paste";
  PasteClipboardToSpreadsheet(ssJustCalc);
  ASSERT_FALSE(ole.lines.empty());
  EXPECT_EQ(ole.lines.back(), "WorkBooks.Add.WorkSheets(1).Paste() -> EOleError");
  EXPECT_EQ(Boxes(), (std::vector<std::string>{"JustCalc の起動もしくは処理に失敗しました"_sj}));
}

TEST_F(HandOffTest, OfficeCalcStreamsThePageThroughItsServiceManager) {
  ole.startable = {"com.sun.star.ServiceManager"};
  ExportHtmlToOfficeCalc("<table><tr><td>"_sj + "あ"_sj + "</td></tr></table>", "Quillmar");
  const std::string ps = "Bridge_GetStruct(\"com.sun.star.beans.PropertyValue\")";
  const std::string temp = "createInstance(\"com.sun.star.io.TempFile\")";
  const std::string out = "createInstance(\"com.sun.star.io.TextOutputStream\")";
  EXPECT_EQ(ole.lines, (std::vector<std::string>{
                           "CreateOleObject(\"com.sun.star.ServiceManager\")",
                           ps + ".Name := \"FilterName\"",
                           ps + ".Value := \"calc_HTML_WebQuery\"",
                           ps + ".Name := \"DocumentTitle\"",
                           ps + ".Value := \"Quillmar\"",
                           ps + ".Name := \"InputStream\"",
                           ps + ".Value := <" + temp + ">",
                           out + ".setOutputStream(<" + temp + ">)",
                           out + ".setEncoding(\"Shift_JIS\")",
                           out + ".writeString(\"<table><tr><td>" + "あ"_sj + "</td></tr></table>\")",
                           out + ".closeOutput()",
                           temp + ".seek(0)",
                           "createInstance(\"com.sun.star.frame.Desktop\").loadComponentFromURL(\"private:stream\","
                           "\"_blank\",0,[<" +
                               ps + ">,<" + ps + ">,<" + ps + ">])",
                       }));
  EXPECT_EQ(ui.busy_depth, 0);
  EXPECT_EQ(ui.busy_max, 1);
}

TEST_F(HandOffTest, OfficeCalcFailuresPassToTheCallerWithTheCursorRestored) {
  EXPECT_THROW(ExportHtmlToOfficeCalc("<table></table>", "Quillmar"), EOleSysError);
  EXPECT_EQ(ui.busy_depth, 0);
  EXPECT_TRUE(ui.boxes.empty());
}

// The office suite's stand-in behind the default automation: the page goes to a temporary
// file that the suite's program opens with the import filter.
TEST(OfficeSuite, CalcHandOffStartsTheSuiteOnThePage) {
  TScopedRecordingUi ui;
  const char *saved = std::getenv("QUILLMAR_OFFICE");
  std::string saved_value = saved ? saved : "";
  std::vector<std::vector<std::string>> started;
  SetOfficeLauncher([&](const std::vector<std::string> &argv) {
    started.push_back(argv);
    return true;
  });
  setenv("QUILLMAR_OFFICE", "/bin/true", 1);
  const std::string html = "<table><tr><td>"_sj + "稲①"_sj + "</td></tr></table>";
  ExportHtmlToOfficeCalc(html, "Quillmar");
  ASSERT_EQ(started.size(), 1u);
  ASSERT_EQ(started[0].size(), 4u);
  EXPECT_EQ(started[0][0], "/bin/true");
  EXPECT_EQ(started[0][1], "--calc");
  EXPECT_EQ(started[0][2], "--infilter=calc_HTML_WebQuery");
  const std::string file = started[0][3];
  EXPECT_EQ(qmtest::ReadFile(file),
            "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">\n" + html);
  std::filesystem::remove(file);

  // The real start of a program that exists, with the page in a folder of the test's.
  qmtest::TempDir tmp;
  const char *saved_tmp = std::getenv("TMPDIR");
  std::string saved_tmp_value = saved_tmp ? saved_tmp : "";
  setenv("TMPDIR", tmp.path().c_str(), 1);
  SetOfficeLauncher(nullptr);
  EXPECT_NO_THROW(ExportHtmlToOfficeCalc(html, "Quillmar"));
  EXPECT_FALSE(std::filesystem::is_empty(tmp.path()));
  if (saved_tmp) setenv("TMPDIR", saved_tmp_value.c_str(), 1);
  else unsetenv("TMPDIR");

  // No suite installed, or its program does not start: the start fails as for any other
  // program, and says which program it was.
  const auto failure = [&] {
    try {
      ExportHtmlToOfficeCalc(html, "Quillmar");
    } catch (const EOleSysError &e) {
      return std::string(e.what());
    }
    return std::string("no failure");
  };
  setenv("QUILLMAR_OFFICE", "", 1);
  EXPECT_EQ(failure(), "OpenOffice Calc の起動もしくは処理に失敗しました"_sj);
  setenv("QUILLMAR_OFFICE", "/bin/true", 1);
  std::string page;
  SetOfficeLauncher([&](const std::vector<std::string> &argv) {
    page = argv.back();
    return false;
  });
  EXPECT_EQ(failure(), "OpenOffice Calc の起動もしくは処理に失敗しました"_sj);
  SetOfficeLauncher(nullptr);
  if (!page.empty()) std::filesystem::remove(page);
  EXPECT_EQ(ui.busy_depth, 0);
  if (saved) setenv("QUILLMAR_OFFICE", saved_value.c_str(), 1);
  else unsetenv("QUILLMAR_OFFICE");
}

}  // namespace
