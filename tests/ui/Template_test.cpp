// The fixed-procedure pane on the main window over the sample database: loading the shipped
// templates, the argument rows, running into the pane's grid (judged by the test's own SQL
// over the stored tables), the hand-off to the SQL pane, argument files, the pickers, and
// the small commands of the main window (clearing conditions, offline, help).
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QWebEngineView>
#include <filesystem>
#include <map>
#include <set>

#include "components/CheckListBoxEx.h"
#include "components/DialogServices.h"
#include "components/grid/ExcelUtil.h"
#include "components/editor/QmEdit.h"
#include "components/qtext.h"
#include "engine/SQLite.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/IniFile.h"
#include "platform/cp932.h"
#include "support/enginefixture.h"
#include "support/sample_acisdb.h"
#include "support/testutil.h"
#include "ui/DlgArgSave.h"
#include "ui/DlgByochu.h"
#include "ui/DlgYoto.h"
#include "ui/LogMemo.h"
#include "ui/ShellServices.h"
#include "ui/Template.h"
#include "ui/USakumotsuSel.h"
#include "ui/UfraSakumotsu.h"
#include "ui/main.h"
#include "ui/main_sqledit.h"
#include "ui/picker_test_util.h"
#include "ui_DlgArgSave.h"
#include "ui_DlgByochu.h"
#include "ui_DlgYoto.h"
#include "ui_Template.h"
#include "ui_UfraSakumotsu.h"
#include "ui_main.h"

namespace fs = std::filesystem;
using qmtest::TempDir;

namespace {

std::string S(const char *utf8) { return cp932::FromUtf8(utf8); }
std::string U(const std::string &sjis) { return cp932::ToUtf8(sjis); }

class TemplatePaneTest : public ::testing::Test {
 protected:
  TempDir home;
  qmtest::ScopedEngineState engine{home / "DB"};
  TScopedRecordingUi boxes;
  TScopedRecordingDialogs dialogs;
  TScopedRecordingShell shell;
  std::function<int(QDialog *)> saved_modal = TfrmMain::ShowModal;
  std::vector<std::string> modal;  // class names of the dialogs shown modally
  std::function<void(QDialog *)> on_modal;
  std::unique_ptr<qmtest::TSampleAcisDb> db;
  std::unique_ptr<TfrmMain> w;
  TfrmTemplate *pane = nullptr;

  void SetUp() override {
    *OptionData = TOptionData(home.str());
    OfflineSwitch = false;
    TfrmMain::ShowModal = [this](QDialog *d) {
      modal.push_back(d->metaObject()->className());
      if (on_modal) on_modal(d);
      return d->result();
    };
    fs::create_directories(home / "DB");
    TIniFile((home / "quillmar.ini").string()).WriteBool("NET", "OffLine", false);
    db = std::make_unique<qmtest::TSampleAcisDb>();
    w = std::make_unique<TfrmMain>(QStringList{}, nullptr);
    pane = w->TemplateForm;
  }
  void TearDown() override {
    AcisDB = nullptr;  // the window frees the program-wide query object; the sample's is its own
    w.reset();
    db.reset();
    TfrmMain::ShowModal = saved_modal;
    OfflineSwitch = false;
  }
  Ui::frmTemplate &f() { return pane->Form(); }

  // Chooses the file in the pane's open dialog.
  void Load(const fs::path &file) {
    dialogs.answers.push_back({true, cp932::FromUtf8(file.string()), ""});
    f().btnTplLoad->click();
  }
  fs::path Shipped(const char *name) { return home / "Template" / name; }
  // A template file of our own.
  fs::path Own(const std::string &sql_utf8, const std::string &defaults_utf8 = "") {
    std::string text = "<html><body><script type=\"text/plain\">#template {\n" + sql_utf8 + "\n}\n";
    if (!defaults_utf8.empty()) text += "#default {\n" + defaults_utf8 + "\n}\n";
    text += "</script></body></html>";
    const fs::path p = home / "own.tpl";
    qmtest::WriteFile(p, cp932::FromUtf8(text));
    return p;
  }
  // The grid's data rows as maps from the column caption (UTF-8) to the cell.
  std::vector<std::map<std::string, std::string>> GridRows() {
    TXlsStringGrid *g = pane->gdTemplate();
    std::vector<std::map<std::string, std::string>> rows;
    for (int r = 1; r < g->RowCount(); ++r) {
      std::map<std::string, std::string> row;
      for (int c = 0; c < g->ColCount(); ++c) row[U(g->Cells(c, 0))] = U(g->Cells(c, r));
      rows.push_back(row);
    }
    return rows;
  }
  // The test's own query over the stored tables, as (column 0, column 1) pairs.
  std::set<std::pair<std::string, std::string>> Own2(const char *sql_utf8) {
    TSQLiteDb probe((qmtest::SampleDbFolder() / "acis.db").string());
    probe.ExecSQL("ATTACH DATABASE '" + (qmtest::SampleDbFolder() / "spec.db").string() + "' AS spec;");
    std::set<std::pair<std::string, std::string>> out;
    for (auto t = probe.GetTable(S(sql_utf8)); !t->Eof(); t->Next())
      out.emplace(U(t->FieldAsString(0)), U(t->FieldAsString(1)));
    return out;
  }
  std::set<std::pair<std::string, std::string>> Grid2(const char *col0, const char *col1) {
    std::set<std::pair<std::string, std::string>> out;
    for (auto &row : GridRows()) out.emplace(row[col0], row[col1]);
    return out;
  }
  std::string SqlEditorText() {
    TCustomQmEdit *edit = nullptr;
    TQmSQLSyn *h = nullptr;
    SQLEditorTargets(w->SQLEditor, edit, h);
    return U(edit->GetText());
  }
};

// ---------------------------------------------------------------- the pane

TEST_F(TemplatePaneTest, StartsWithTheHintPageAndNoArgumentRows) {
  EXPECT_EQ(pane->windowTitle().toStdString(), "定型処理");
  EXPECT_EQ(w->ui->fplTemplate->Form(), pane);
  EXPECT_EQ(w->TabState[3].Grid, pane->gdTemplate());
  EXPECT_EQ(f().pagTemplate->currentWidget(), f().tshTplSource);
  for (QWidget *b : {f().btnTplArgSave, f().btnTplExec, f().btnTplEdit}) EXPECT_FALSE(b->isEnabled());
  for (QWidget *p : {f().pnlTplSakumotsu, f().pnlTplByochu, f().pnlTplYoto, f().pnlTplZaikei, f().pnlTplSonota,
                     f().pnlTplLowerSpace})
    EXPECT_TRUE(p->isHidden());
  EXPECT_NE(U(TemplateHintPage()).find("<span class=\"button\">テンプレート選択</span>をクリックして、"
                                       "実行したい処理を選択してください。"),
            std::string::npos);
  // The shipped files were put into the program folder.
  for (const char *file : {"Template/sakumotsu_byochu.tpl", "Template/rac_keito.tpl", "Template/sakumotsu_hyo.tpl",
                           "Template/seibun.tpl", "Template/results.js", "css/standard.css", "css/excel.css"})
    EXPECT_EQ(qmtest::ReadFile(home / file), qmtest::ReadFile(qmtest::SourceDir() / "resources" / file)) << file;
}

TEST_F(TemplatePaneTest, ShippedFilesGoOnlyIntoFoldersThatAreNotThere) {
  const TempDir other;
  fs::create_directories(other / "css");
  qmtest::WriteFile(other / "css" / "mine.css", "x");
  EXPECT_EQ(DeployShippedFiles((other / "Template").string(), (other / "css").string()), 5);
  EXPECT_TRUE(fs::exists(other / "Template" / "seibun.tpl"));
  EXPECT_FALSE(fs::exists(other / "css" / "standard.css"));  // the user's folder stays as it is
  fs::remove(other / "Template" / "seibun.tpl");
  EXPECT_EQ(DeployShippedFiles((other / "Template").string(), (other / "css").string()), 0);
  EXPECT_FALSE(fs::exists(other / "Template" / "seibun.tpl"));
}

TEST_F(TemplatePaneTest, LoadingShowsTheRowsTheTemplateNamesWithTheirDefaults) {
  Load(Shipped("rac_keito.tpl"));
  ASSERT_EQ(dialogs.files.size(), 1u);
  EXPECT_EQ(U(dialogs.files[0].request.Title), "定型処理テンプレートファイル読込");
  EXPECT_EQ(U(dialogs.files[0].request.Filter), "定型処理テンプレートファイル(*.tpl)|*.tpl|全てのファイル(*.*)|*.*");
  EXPECT_EQ(dialogs.files[0].request.InitialDir, OptionData->TemplateFolder);
  EXPECT_EQ(dialogs.files[0].request.DefaultExt, "tpl");
  EXPECT_FALSE(f().pnlTplSakumotsu->isHidden());
  EXPECT_FALSE(f().splTplSakumotsu->isHidden());
  EXPECT_FALSE(f().pnlTplByochu->isHidden());  // optional, still shown
  EXPECT_FALSE(f().pnlTplYoto->isHidden());
  EXPECT_TRUE(f().pnlTplZaikei->isHidden());
  EXPECT_TRUE(f().pnlTplSonota->isHidden());
  EXPECT_TRUE(f().splTplSonota->isHidden());
  EXPECT_FALSE(f().pnlTplLowerSpace->isHidden());
  EXPECT_EQ(U(pane->InputText(2)), "殺菌剤");  // the template's default
  EXPECT_EQ(pane->ArgState(0), 2);
  EXPECT_EQ(pane->ArgState(1), 1);
  for (QWidget *b : {f().btnTplArgSave, f().btnTplExec, f().btnTplEdit}) EXPECT_TRUE(b->isEnabled());

  // A template without placeholders hides every row again.
  Load(Own("SELECT count(*) FROM m_kihon"));
  for (QWidget *p : {f().pnlTplSakumotsu, f().pnlTplByochu, f().pnlTplYoto, f().pnlTplLowerSpace})
    EXPECT_TRUE(p->isHidden());
  // Without a database the load command does nothing.
  AcisDB = nullptr;
  f().btnTplLoad->click();
  EXPECT_EQ(dialogs.files.size(), 2u);
}

TEST_F(TemplatePaneTest, ATemplateIsShownAsAPageInItsOwnCharset) {
  // A ".tpl" file is HTML in Shift_JIS: the page shows its text, not its markup.
  Load(Shipped("seibun.tpl"));
  QWebEngineView *view = f().wbTemplate;
  ASSERT_TRUE(QTest::qWaitFor([&] { return view->title() == QStringLiteral("有効成分を含む農薬"); }, 60000))
      << view->title().toStdString();
  QString text;
  bool got = false;
  view->page()->toPlainText([&](const QString &t) {
    text = t;
    got = true;
  });
  ASSERT_TRUE(QTest::qWaitFor([&] { return got; }, 30000));
  EXPECT_TRUE(text.contains(QStringLiteral("設定する項目"))) << text.left(200).toStdString();
  EXPECT_FALSE(text.contains(QStringLiteral("<h1>")));
  EXPECT_FALSE(text.contains(QStringLiteral("#template")));  // the procedure block stays out of sight
}

TEST_F(TemplatePaneTest, ShippedTemplateRunsIntoTheGridAsTheOwnQuerySays) {
  Load(Shipped("sakumotsu_byochu.tpl"));
  f().edtTplSakumotsu->setFocus();
  qmtest::TypeJapanese(f().edtTplSakumotsu, "キャベツ");
  qmtest::TypeJapanese(f().edtTplByochu, "ハスモンヨトウ, ヨトウムシ");
  f().btnTplExec->click();
  EXPECT_TRUE(boxes.boxes.empty());
  EXPECT_TRUE(boxes.reports.empty());
  const auto expected = Own2(
      "SELECT DISTINCT t.bango, t.byochu FROM m_tekiyo AS t JOIN m_kihon USING(bango) "
      "WHERE t.sakumotsu = 'キャベツ' AND t.byochu IN ('ハスモンヨトウ','ヨトウムシ')");
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(Grid2("番号", "適用病害虫雑草名"), expected);
  EXPECT_EQ(f().pagTemplate->currentWidget(), f().tshTplResult);
  EXPECT_TRUE(f().pagTemplate->isTabEnabled(1));
  EXPECT_FALSE(pane->gdTemplate()->isHidden());
  const std::string count = std::to_string(pane->gdTemplate()->RowCount() - 1) + "件";
  EXPECT_EQ(U(w->TabState[3].CountText), count);
  EXPECT_EQ(U(w->StatusText(3)), count);
  const auto log = w->mLog->Lines();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(U(log.front()).rfind("SQL>", 0), 0u);
  std::string all;
  for (const auto &l : log) all += U(l) + "\n";
  EXPECT_NE(all.find("\n  AND byochu IN ('ハスモンヨトウ','ヨトウムシ')\n"), std::string::npos) << all;
  EXPECT_TRUE(f().btnTplExec->isEnabled());  // controls come back

  // A failing statement shows its error once and leaves the grid as it was.
  const auto before = GridRows();
  Load(Own("SELECT nosuchcolumn FROM m_kihon WHERE yoto IN (<yoto>)"));
  qmtest::TypeJapanese(f().edtTplYoto, "殺虫剤");
  f().btnTplExec->click();
  EXPECT_EQ(boxes.reports.size(), 1u);
  EXPECT_EQ(U(boxes.reports[0].caption), "SQL エラー");
  EXPECT_EQ(GridRows(), before);
}

// While its grid fills, the run holds the window's search panels, output commands and
// 条件消去 off: the arguments shown stay the ones the result was found by.
TEST_F(TemplatePaneTest, ARunHoldsTheSearchPanelsOffWhileItsGridFills) {
  w->show();
  w->ui->pgSearch->setCurrentWidget(w->ui->tabTemplate);
  // The fill lets the events through every 1000 rows, however fast it runs.
  const TEventPump::TByTicks pump(1000);
  const int rows = 20000;
  Load(Own("WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < " + std::to_string(rows) +
           ") SELECT i, 'row ' || i FROM c WHERE <yoto> IS NOT NULL"));
  pane->SetInputText(2, S("殺虫剤"));
  bool landed = false, panels_off = false, outputs_off = false, clear_off = false;
  boxes.on_pump = [&] {
    TXlsStringGrid *g = pane->gdTemplate();
    if (landed || g->RowCount() != rows + 1 || !g->CellView(0, rows).empty()) return;  // not in the fill
    landed = true;
    panels_off = !w->ui->pgSearch->isEnabled();
    outputs_off = !w->actHtmlSave->isEnabled();
    clear_off = !w->actSearchStrClear->isEnabled();
    w->actSearchStrClear->trigger();
  };
  f().btnTplExec->click();
  boxes.on_pump = nullptr;
  EXPECT_TRUE(landed) << "no events ran during the fill";
  EXPECT_TRUE(panels_off && outputs_off && clear_off) << panels_off << outputs_off << clear_off;
  EXPECT_EQ(U(pane->InputText(2)), "殺虫剤");
  EXPECT_EQ(pane->gdTemplate()->RowCount() - 1, rows);
  EXPECT_TRUE(w->ui->pgSearch->isEnabled());
  EXPECT_TRUE(w->actHtmlSave->isEnabled());
  EXPECT_TRUE(w->actSearchStrClear->isEnabled());
}

// A close while the widths of the result are measured ends them: the result measured in
// part is neither shown nor counted, and the window closes once the run has ended.
TEST_F(TemplatePaneTest, ACloseDuringTheWidthsShowsNothingOfTheResult) {
  w->show();
  w->ui->pgSearch->setCurrentWidget(w->ui->tabTemplate);
  const int rows = 20000;  // distinct texts: each is measured
  const TEventPump::TByTicks pump(1000);  // the events run during the widths
  Load(Own("WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < " + std::to_string(rows) +
           ") SELECT i, 'row ' || i FROM c WHERE <yoto> IS NOT NULL"));
  pane->SetInputText(2, S("殺虫剤"));
  bool closed = false;
  boxes.on_pump = [&] {
    TXlsStringGrid *g = pane->gdTemplate();
    if (closed || g->RowCount() != rows + 1 || g->CellView(0, rows).empty()) return;  // not in the widths
    closed = true;
    w->close();
  };
  f().btnTplExec->click();
  boxes.on_pump = nullptr;
  ASSERT_TRUE(closed) << "no events ran during the widths";
  EXPECT_TRUE(pane->gdTemplate()->isHidden());
  EXPECT_TRUE(w->TabState[3].CountText.empty());
  EXPECT_TRUE(boxes.boxes.empty());
  QCoreApplication::processEvents();  // the close that waited for the run
  EXPECT_TRUE(w->isHidden());
  EXPECT_FALSE(RunStopRequested());
}

TEST_F(TemplatePaneTest, RacAndCropTableTemplatesMatchTheirOwnQueries) {
  Load(Shipped("rac_keito.tpl"));
  qmtest::TypeJapanese(f().edtTplSakumotsu, "キャベツ");
  pane->SetInputText(2, S("殺虫剤"));
  f().btnTplExec->click();
  EXPECT_TRUE(boxes.reports.empty());
  auto expected = Own2(
      "SELECT DISTINCT r.mid, k.tsusho FROM m_tekiyo AS t JOIN m_kihon AS k USING(bango) JOIN seibun AS s "
      "USING(bango) JOIN spec.rac AS r ON r.ippanmei = s.ippanmei WHERE t.sakumotsu = 'キャベツ' AND k.yoto = '殺虫剤'");
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(Grid2("RACコード", "農薬通称"), expected);

  // One column per crop group with its mark, the comma before FROM gone.
  Load(Shipped("sakumotsu_hyo.tpl"));
  pane->SetInputText(0, S("'キャベツ','ぶどう'"));
  pane->SetInputText(2, S("殺虫剤"));
  f().btnTplExec->click();
  EXPECT_TRUE(boxes.reports.empty());
  std::set<std::pair<std::string, std::string>> marks;
  for (auto &row : GridRows()) {
    if (row["キャベツ"] == "○") marks.emplace(row["農薬通称"], "キャベツ");
    if (row["ぶどう"] == "○") marks.emplace(row["農薬通称"], "ぶどう");
  }
  expected = Own2(
      "SELECT DISTINCT k.tsusho, t.sakumotsu FROM m_tekiyo AS t JOIN m_kihon AS k USING(bango) "
      "WHERE t.sakumotsu IN ('キャベツ','ぶどう') AND k.yoto = '殺虫剤'");
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(marks, expected);
}

TEST_F(TemplatePaneTest, SqlGoesToTheSqlPane) {
  Load(Shipped("seibun.tpl"));
  EXPECT_FALSE(f().pnlTplSakumotsu->isHidden());
  pane->SetInputText(4, S("ベンゾエート"));
  f().btnTplEdit->click();
  const std::string text = SqlEditorText();
  EXPECT_NE(text.find("WHERE s.ippanmei LIKE '%ベンゾエート%'"), std::string::npos) << text;
  EXPECT_NE(text.find("-- AND k.bango IN"), std::string::npos);  // no crop: the line stays a comment
  EXPECT_EQ(w->ui->pgSearch->currentWidget(), w->ui->tabSQL);
  EXPECT_TRUE(w->ui->btnQueryExec->isEnabled());  // the editor-change handler has run
  // A missing required argument sends nothing.
  w->ui->pgSearch->setCurrentWidget(w->ui->tabTemplate);
  pane->SetInputText(4, "");
  f().btnTplEdit->click();
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(U(boxes.boxes[0].text), "その他が設定されていません");
  EXPECT_EQ(w->ui->pgSearch->currentWidget(), w->ui->tabTemplate);
}

// ---------------------------------------------------------------- argument files

TEST_F(TemplatePaneTest, ArgumentFilesRoundTripJapaneseAndQuotes) {
  Load(Own("SELECT <sakumotsu>, <byochu>, '<`sonota>'\n-- <yoto>"));
  pane->SetInputText(0, S("'トマト','ミニトマト'"));
  pane->SetInputText(1, S("うどんこ病,灰色かび病"));
  pane->SetInputText(2, "");
  pane->SetInputText(4, S("say \"はい\", it's"));
  const fs::path arg = home / "Template" / "mine.arg";
  std::vector<std::string> memo;
  on_modal = [&](QDialog *d) {
    auto *dlg = qobject_cast<TDlgArgSave *>(d);
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(dlg->windowTitle().toStdString(), "定型処理設定保存");
    EXPECT_EQ(dlg->Form().lblNavi->text().toStdString(), "この内容で保存しますか？");
    for (const auto &l : dlg->Lines()) memo.push_back(U(l));
    dialogs.answers.push_back({true, cp932::FromUtf8(arg.string()), ""});
    dlg->Form().btnYes->click();
  };
  f().btnTplArgSave->click();
  EXPECT_EQ(memo, (std::vector<std::string>{"sakumotsu = \"'トマト','ミニトマト'\"", "byochu = \"うどんこ病,灰色かび病\"",
                                            "yoto = \"\"", "sonota = \"say \"\"はい\"\", it's\""}));
  ASSERT_EQ(dialogs.files.size(), 2u);
  EXPECT_EQ(U(dialogs.files[1].request.Title), "定型処理設定ファイル保存");
  EXPECT_TRUE(dialogs.files[1].request.OverwritePrompt);
  EXPECT_EQ(cp932::ToUtf8(qmtest::ReadFile(arg)),
            "sakumotsu = \"'トマト','ミニトマト'\"\r\nbyochu = \"うどんこ病,灰色かび病\"\r\nyoto = \"\"\r\n"
            "sonota = \"say \"\"はい\"\", it's\"\r\n");

  pane->ClearArgs();
  dialogs.answers.push_back({true, cp932::FromUtf8(arg.string()), ""});
  f().btnTplArgLoad->click();
  EXPECT_EQ(U(dialogs.files.back().request.Title), "定型処理設定ファイル読込");
  EXPECT_EQ(U(pane->InputText(0)), "'トマト','ミニトマト'");
  EXPECT_EQ(U(pane->InputText(1)), "うどんこ病,灰色かび病");
  EXPECT_EQ(U(pane->InputText(4)), "say \"はい\", it's");

  // Hand-written files: blanks and single quotes; "''" empties; a hidden row is left alone.
  qmtest::WriteFile(arg, S("  sakumotsu=''\r\nbyochu =   '灰色かび病'  \r\nzaikei = \"乳剤\"\r\n"));
  dialogs.answers.push_back({true, cp932::FromUtf8(arg.string()), ""});
  f().btnTplArgLoad->click();
  EXPECT_EQ(pane->InputText(0), "");
  EXPECT_EQ(U(pane->InputText(1)), "灰色かび病");
  EXPECT_EQ(pane->InputText(3), "");
  EXPECT_EQ(U(pane->InputText(4)), "say \"はい\", it's");
}

// An argument file saved over another is replaced as a saved page is: a read-only file
// refuses the save and stays, a replaced one keeps its mode, the longest name a folder takes
// saves, and nothing else is left in the folder.
TEST(ArgumentFileSave, TheFileThereDecidesWhetherAndHowItIsReplaced) {
  const std::string longest(251, 'n');  // with ".arg" the 255 bytes a name may have
  const struct {
    const char *name;
    std::string file;
    fs::perms before;  // none: no earlier file
    bool saves;
  } cases[] = {
      {"read-only file", "ro.arg", fs::perms(0444), false},
      {"file of the owner only", "own.arg", fs::perms(0600), true},
      {"writable by all", "all.arg", fs::perms(0666), true},
      {"the longest name", longest + ".arg", fs::perms::none, true},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    TempDir d;
    const fs::path target = d / c.file;
    if (c.before != fs::perms::none) {
      qmtest::WriteFile(target, "earlier");
      fs::permissions(target, c.before);
    }
    EXPECT_EQ(WriteArgFile(cp932::FromUtf8(target.string()), {"yoto = \"1\""}), c.saves);
    EXPECT_EQ(qmtest::ReadFile(target), c.saves ? "yoto = \"1\"\r\n" : "earlier");
    if (c.before != fs::perms::none) {
      EXPECT_EQ(fs::status(target).permissions(), c.before);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(d.path()), fs::directory_iterator()), 1);
  }
}

// ---------------------------------------------------------------- pickers

TEST_F(TemplatePaneTest, PickersWriteIntoTheirArguments) {
  Load(Own("SELECT <sakumotsu>, <byochu>, <yoto>, <zaikei>"));
  // Uses: the current choice is checked; OK writes the checked items.
  pane->SetInputText(2, S("殺菌剤"));
  on_modal = [&](QDialog *d) {
    auto *dlg = qobject_cast<TfrmYoto *>(d);
    ASSERT_NE(dlg, nullptr);
    std::vector<std::string> checked;
    for (int i = 0; i < dlg->Form().lstYoto->count(); ++i)
      if (dlg->Form().lstYoto->item(i)->checkState() == Qt::Checked)
        checked.push_back(dlg->Form().lstYoto->item(i)->text().toStdString());
    EXPECT_EQ(checked, std::vector<std::string>{"殺菌剤"});
    qmtest::Check(dlg->Form().lstYoto, "殺虫剤");
    dlg->Form().Button1->click();
  };
  f().btnTplYoto->click();
  EXPECT_EQ(U(pane->InputText(2)), "殺虫剤,殺菌剤");

  // Crops: the template mode quotes the picked group.
  on_modal = [&](QDialog *d) {
    auto *dlg = qobject_cast<TDlgSakumotsu *>(d);
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(dlg->Mode, 3);
    EXPECT_EQ(dlg->LogMemo, static_cast<ILogTarget *>(w->mLog));
  };
  f().btnTplSakumotsu->click();
  EXPECT_EQ(modal.back(), "TDlgSakumotsu");

  // Pests: the crop argument without its quotes is searched at once; the picked pests go in.
  TIniFile ini((home / "quillmar.ini").string());
  ini.WriteInteger("WINDOW", "DlgTplByochuWidth", 333);
  ini.WriteInteger("WINDOW", "DlgTplByochuHeight", 444);
  pane->SetInputText(0, S("'キャベツ'"));
  on_modal = [&](QDialog *d) {
    auto *dlg = qobject_cast<TfrmByochu *>(d);
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(dlg->size(), QSize(333, 444));
    EXPECT_EQ(dlg->Form().edtInput->text().toStdString(), "キャベツ");
    ASSERT_TRUE(qmtest::Check(dlg->Form().lstSakumotsu, "キャベツ"));
    ASSERT_TRUE(qmtest::Check(dlg->Form().lstByochu, "べと病"));
    dlg->Form().btnReplace->click();
  };
  f().btnTplByochu->click();
  EXPECT_EQ(U(pane->InputText(1)), "べと病");
}

// ---------------------------------------------------------------- the small commands

TEST_F(TemplatePaneTest, ClearingTheConditionsOfEachTab) {
  QTabWidget *pg = w->ui->pgSearch;
  // Crop tab: both crop edits, the filters and their buttons.
  pg->setCurrentIndex(0);
  auto &frame = w->ui->fraSakumotsu->Form();
  frame.eSakumotsu->setText(ToQ(S("トマト")));
  frame.eKinsetsuSakumotsu->setText(ToQ(S("なす")));
  w->ui->cbByochu->setEnabled(true);
  w->ui->cbByochu->addItem("x");
  w->ui->edtYoto->setEnabled(true);
  w->ui->edtYoto->setText("y");
  w->ui->btnYoto->setEnabled(true);
  w->actSearchStrClear->trigger();
  EXPECT_TRUE(frame.eSakumotsu->text().isEmpty());
  EXPECT_TRUE(frame.eKinsetsuSakumotsu->text().isEmpty());
  EXPECT_FALSE(frame.eKinsetsuSakumotsu->isEnabled());
  EXPECT_EQ(w->ui->cbByochu->count(), 0);
  EXPECT_FALSE(w->ui->cbByochu->isEnabled());
  EXPECT_TRUE(w->ui->edtYoto->text().isEmpty());
  EXPECT_FALSE(w->ui->edtYoto->isEnabled());
  EXPECT_FALSE(w->ui->btnYoto->isEnabled());
  // Pest and chemical tabs: their edits.
  pg->setCurrentIndex(1);
  w->ui->edtByochu->setText("b");
  w->actSearchStrClear->trigger();
  EXPECT_TRUE(w->ui->edtByochu->text().isEmpty());
  pg->setCurrentIndex(2);
  w->ui->eYakuzai->setText("c");
  w->ui->eYakuzaiTabSakumotsu->setText("d");
  w->actSearchStrClear->trigger();
  EXPECT_TRUE(w->ui->eYakuzai->text().isEmpty());
  EXPECT_TRUE(w->ui->eYakuzaiTabSakumotsu->text().isEmpty());
  // The template pane's arguments.
  pg->setCurrentIndex(3);
  for (int i = 0; i < 5; ++i) pane->SetInputText(i, "v");
  w->actSearchStrClear->trigger();
  for (int i = 0; i < 5; ++i) EXPECT_EQ(pane->InputText(i), "") << i;
  // The SQL editor.
  pg->setCurrentIndex(4);
  w->SendSqlToSqlPane("SELECT 1");
  EXPECT_TRUE(w->ui->btnQueryExec->isEnabled());
  w->actSearchStrClear->trigger();
  EXPECT_EQ(SqlEditorText(), "");
  EXPECT_FALSE(w->ui->btnQueryExec->isEnabled());
}

TEST_F(TemplatePaneTest, OfflineBlocksTheHelpAndTheCaptionFollowsTheSwitch) {
  EXPECT_EQ(w->mnOffline->text().toStdString(), "オフライン作業(&W)");
  EXPECT_EQ(w->mnDocOpen->shortcut(), QKeySequence(Qt::Key_F1));
  w->mnDocOpen->trigger();
  ASSERT_EQ(shell.calls.size(), 1u);
  EXPECT_EQ(shell.calls[0].verb, "open");
  EXPECT_EQ(shell.calls[0].file, HelpPageAddress());
  EXPECT_EQ(shell.calls[0].dir, OptionData->ProgramFolder);
  EXPECT_EQ(shell.calls[0].show, SW_SHOWDEFAULT);

  w->mnOffline->trigger();
  EXPECT_TRUE(OptionData->OffLine);
  EXPECT_EQ(w->windowTitle().toStdString(), "Quillmar - オフライン");
  w->mnDocOpen->trigger();
  EXPECT_EQ(shell.calls.size(), 1u);
  w->mnOffline->trigger();
  EXPECT_FALSE(OptionData->OffLine);
  EXPECT_EQ(w->windowTitle().toStdString(), "Quillmar");
  OfflineSwitch = true;  // "/f" blocks it as well
  w->mnDocOpen->trigger();
  EXPECT_EQ(shell.calls.size(), 1u);
}

// Each look-up item opens its site with the specified text: the term, the clicked cell, or
// the term rewritten; the ISO look-ups encode a term without ISO name in Shift-JIS.
TEST_F(TemplatePaneTest, EachLookupItemPassesItsText) {
  struct Case {
    const char *item;
    const char *prefix;    // the address up to the term
    const char *text;      // UTF-8; what the address carries after decoding
    bool sjis;             // the term's bytes are Shift-JIS (ISO look-ups)
    const char *term_after;  // the popup's term afterwards
  } cases[] = {
      {"pmnGoogleTekiyo", "https://www.google.com/search?q=", "アミスター", false, "アミスター"},
      {"pmnGoogleChuiJiko", "https://www.google.com/search?q=", "\"アミスター\" \"使用上の注意\"", false,
       "\"アミスター\" \"使用上の注意\""},
      {"pmnGoogleKonyo", "https://www.google.com/search?q=", "\"アミスター\" \"混用事例\"", false,
       "\"アミスター\" \"混用事例\""},
      {"pmnGoogleChuijikoOption", "https://www.google.com/search?q=",
       "\"セル\" \"使用上の注意\" つまみ菜|間引き菜 \"使用しない\"", false,
       "\"セル\" \"使用上の注意\" つまみ菜|間引き菜 \"使用しない\""},
      {"pmnNoukaWebSearch", "https://www.noukaweb.com/db/products/product_search?q=", "アミスター", false, "アミスター"},
      {"pmnWeblio", "https://www.weblio.jp/content/", "アミスター", false, "アミスター"},
      {"pmnGene", "https://www.google.com/search?hl=ja&as_q=", "アミスター", false, "アミスター"},
      {"pmnBoujonet", "https://www.google.com/search?hl=ja&as_q=", "アミスター", false, "アミスター"},
      {"pmnNihsSearch", "https://www.nihs.go.jp/dsifc/servlet/SearchApp?", "アミスター", true, "アミスター"},
      {"pmnGoogleFfcr", "https://www.google.com/search?hl=ja&as_q=", "アミスター", true, "アミスター"},
      {"pmnFcgr", "https://www.google.com/search?hl=ja&as_q=", "セル", true, "セル"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.item);
    QAction *a = w->findChild<QAction *>(c.item);
    ASSERT_NE(a, nullptr);
    w->LookupTerm = S("アミスター");
    w->PopupCellText = S("セル");
    shell.calls.clear();
    a->setEnabled(true);  // as the popup leaves it for a data cell
    a->trigger();
    ASSERT_EQ(shell.calls.size(), 1u);
    const std::string url = cp932::ToUtf8(shell.calls[0].file);
    EXPECT_EQ(url.rfind(c.prefix, 0), 0u) << url;
    EXPECT_EQ(shell.calls[0].verb, "open");
    // The term is the first fully encoded run of the address.
    const std::size_t at = url.find('%');
    ASSERT_NE(at, std::string::npos);
    std::size_t end = at;
    while (end < url.size() && url[end] == '%') end += 3;
    const std::string bytes = QByteArray::fromPercentEncoding(QByteArray::fromStdString(url.substr(at, end - at))).toStdString();
    EXPECT_EQ(c.sjis ? cp932::ToUtf8(bytes) : bytes, c.text);
    EXPECT_EQ(U(w->LookupTerm), c.term_after);
  }
  // The residue database takes the name as it stands.
  w->LookupTerm = S("アミスター");
  shell.calls.clear();
  w->pmnPrdbSearch->setEnabled(true);
  w->pmnPrdbSearch->trigger();
  ASSERT_EQ(shell.calls.size(), 1u);
  EXPECT_EQ(U(shell.calls[0].file), "https://db.ffcr.or.jp/prdb/details.pl?nname=アミスター&mode=mn");

  // Offline, nothing is opened.
  w->mnOffline->trigger();
  ASSERT_TRUE(OptionData->OffLine);
  shell.calls.clear();
  for (const auto &c : cases) w->findChild<QAction *>(c.item)->trigger();
  w->pmnPrdbSearch->trigger();
  EXPECT_TRUE(shell.calls.empty());
}

}  // namespace
