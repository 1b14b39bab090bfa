// The main window's output commands and its HTML result page on the sample database.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QApplication>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QTabWidget>
#include <QToolButton>
#include <filesystem>
#include <fstream>

#include "components/QtServices.h"
#include "components/WinSpinEdit.h"
#include "components/grid/ExcelUtil.h"
#include "engine/OutputFile.h"
#include "platform/cp932.h"
#include "support/testutil.h"
#include "ui/UGrid.h"
#include "ui/UWebBrowser.h"
#include "ui/main.h"
#include "ui/main_sqledit.h"
#include "ui/main_window_test_util.h"
#include "ui_main.h"

using namespace qmtest;
using cp932::literals::operator""_sj;
namespace fs = std::filesystem;

namespace {

void Fill(TXlsStringGrid *g, const Rows &rows) {
  g->SetShape(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()), 1, 0);
  for (int r = 0; r < static_cast<int>(rows.size()); ++r)
    for (int c = 0; c < static_cast<int>(rows[r].size()); ++c) g->SetCells(c, r, cp932::FromUtf8(rows[r][c]));
  for (int c = 0; c < g->ColCount(); ++c) g->SetColWidths(c, 60);
  g->show();
}

// For its lifetime a page of over 100 rows (or 1000 cells) is too large to be shown in the
// browser, and the progress window hears of every row written.
struct TSmallOutputLimits {
  const TShownPageLimit limit = ShownPageLimit;
  const std::chrono::milliseconds interval = TOutputFile::Interval;
  TSmallOutputLimits() {
    ShownPageLimit = {100, 1000};
    TOutputFile::Interval = std::chrono::milliseconds(0);
  }
  ~TSmallOutputLimits() {
    ShownPageLimit = limit;
    TOutputFile::Interval = interval;
  }
};

// The boxes and dialogs still answer from the tests' queues; the progress window is real.
struct TRealProgressUi : TScopedRecordingUi {
  TQtUiServices qt;
  std::unique_ptr<IProgressWindow> OpenProgress(const std::string &title) override { return qt.OpenProgress(title); }
};

class OutputTest : public MainWindowFixture {
 protected:
  TempDir folders_;
  void SetUp() override {
    MainWindowFixture::SetUp();
    OptionData->TemplateFolder = (folders_ / "Template").string();
    OptionData->CssFolder = (folders_ / "css").string();
    fs::create_directories(folders_ / "Template");
    fs::create_directories(folders_ / "css");
  }
  struct Page {
    std::string html, body, script;
  };
  Page Build(int target, const std::string &css = "") {
    Page p;
    w->BuildResultHtml(target, css, p.html, p.body, p.script);
    return p;
  }
  // A result of 3000 rows on the SQL tab, and the answers that save its page over an earlier
  // file: "はい" to the large page's question and that file's name. Gives the file.
  fs::path LargeResultToSaveOver(TScopedRecordingUi &ui) {
    w->ui->pgSearch->setCurrentWidget(w->ui->tabSQL);
    SetSQLEditorText(w->SQLEditor, "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 3000) "
                                   "SELECT i AS bango FROM k");
    w->ui->btnQueryExec->click();
    const fs::path file = folders_ / "page.html";
    qmtest::WriteFile(file, "earlier");
    ui.answers = {IDYES};
    dialogs_.answers.push_back({true, file.string(), ""});
    return file;
  }
  // The viewers are top-level windows of their own.
  QList<TfrmWebBrowser *> Viewers() {
    QList<TfrmWebBrowser *> out;
    for (QWidget *t : QApplication::topLevelWidgets())
      if (auto *v = qobject_cast<TfrmWebBrowser *>(t)) out.push_back(v);
    return out;
  }
};

TEST_F(OutputTest, ResultPageByteForByte) {
  w->ui->pgSearch->setCurrentWidget(w->ui->tabDefault);
  TXlsStringGrid *g = w->ui->gdTekiyo;
  Fill(g, {{"番号", "隠し", "作物名", "農薬の名称"},
           {"1", "h", "ねぎ", " <a&\"b\"> "},
           {"2", "h", "たまねぎ", "乳剤"},
           {"3", "h", "ねぎ", ""}});
  g->SetColWidths(1, 0);
  g->SetRowObject(1, 1);
  g->SetRowObject(3, 1);
  const std::string date = cp932::ToUtf8(AcisDB->LastUpdate());
  const std::string expected_body =
      "<body>\r\n"
      "<h1>農薬登録情報検索結果</h1>\r\n"
      "<p class=\"update\">" + date + "</p>\r\n"
      "<table border=\"1\">\r\n"
      "<tr class=\"header\">\r\n\t<th>番号</th>\r\n\t<th>作物名</th>\r\n\t<th>農薬の名称</th>\r\n</tr>\r\n"
      "<tr class=\"neighbors\">\r\n\t<td>1</td>\r\n\t<td>ねぎ</td>\r\n\t<td>&lt;a&amp;&quot;b&quot;&gt;</td>\r\n</tr>\r\n"
      "<tr class=\"even\">\r\n\t<td>2</td>\r\n\t<td>たまねぎ</td>\r\n\t<td>乳剤</td>\r\n</tr>\r\n"
      "<tr class=\"neighbors\">\r\n\t<td>3</td>\r\n\t<td>ねぎ</td>\r\n\t<td></td>\r\n</tr>\r\n"
      "</table>\r\n"
      "</body>\r\n";
  const std::string expected_head =
      "<!DOCTYPE HTML>\r\n<html lang=\"ja\">\r\n<head>\r\n"
      "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">\r\n"
      "<style type=\"text/css\">\r\n<!--\r\n"
      "TABLE,TH,TD {border-style: solid;border-width: 1px;border-color:black;border-collapse: collapse;}\r\n"
      "-->\r\n</style>\r\n</head>\r\n";
  const Page p = Build(0, (folders_ / "css" / "none.css").string());
  EXPECT_EQ(cp932::ToUtf8(p.body), expected_body);
  EXPECT_EQ(cp932::ToUtf8(p.html), expected_head + expected_body + "</html>");
  EXPECT_EQ(p.script, "");

  // Off the crop tab the marks give no class of their own.
  w->ui->pgSearch->setCurrentWidget(w->ui->tabSQL);
  w->CurrentGrid = g;
  const std::string body = cp932::ToUtf8(Build(0).body);
  EXPECT_EQ(body.find("neighbors"), std::string::npos);
  EXPECT_NE(body.find("<tr class=\"odd\">\r\n\t<td>1</td>"), std::string::npos);
}

TEST_F(OutputTest, StyleSheetAndScriptGoIntoThePage) {
  w->ui->pgSearch->setCurrentWidget(w->ui->tabDefault);
  Fill(w->ui->gdTekiyo, {{"番号"}, {"1"}});
  qmtest::WriteFile(folders_ / "css" / "excel.css", "td {color: red;}\nth {x: y;}");
  qmtest::WriteFile(folders_ / "Template" / "results.js", "function results(k) {}\r\n");
  const struct {
    int target;
    const char *body;
  } cases[] = {{0, "<body onload=\"results()\">"},
               {1, "<body onload=\"results('libre')\">"},
               {2, "<body onload=\"results()\">"},
               {3, "<body onload=\"results('just')\">"}};
  for (const auto &c : cases) {
    const Page p = Build(c.target, (folders_ / "css" / "excel.css").string());
    EXPECT_EQ(p.body.substr(0, p.body.find("\r\n")), c.body) << c.target;
    EXPECT_EQ(p.script, "<script type=\"text/javascript\">\r\nfunction results(k) {}\r\n</script>\r\n");
    EXPECT_NE(p.html.find("<!--\r\ntd {color: red;}\r\nth {x: y;}\r\n-->\r\n</style>\r\n" + p.script + "</head>\r\n"),
              std::string::npos);
  }
}

TEST_F(OutputTest, OutputsActOnlyOnAShownGridWithRows) {
  // A failed query leaves the SQL grid hidden.
  w->ui->pgSearch->setCurrentWidget(w->ui->tabSQL);
  SetSQLEditorText(w->SQLEditor, "SELECT * FROM no_such_table");
  w->ui->btnQueryExec->click();
  ASSERT_FALSE(w->ui->gdSQL->isVisible());
  ui_.reports.clear();
  for (QAction *a : {w->actCsvSave, w->actHtmlSave, w->actCopyExcel, w->actCopyJustCalc, w->actCopyExcelByHTML,
                     w->actCopyWPS, w->actCopyJustCalcByHTML, w->actCopyOOoCalc}) {
    a->setEnabled(true);
    a->trigger();
    EXPECT_TRUE(ui_.boxes.empty()) << a->objectName().toStdString();
  }
  EXPECT_TRUE(dialogs_.files.empty());
  EXPECT_TRUE(Viewers().empty());

  // A shown grid without data rows says so.
  Fill(w->ui->gdSQL, {{"番号"}});
  w->actCopyExcel->trigger();
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(cp932::ToUtf8(ui_.boxes[0].text), "データ行がありません");
  EXPECT_EQ(w->btnExcel->defaultAction(), w->actCopyExcel);
  EXPECT_EQ(OptionData->SpreadSheet, 0);
  w->actCopyJustCalc->trigger();
  EXPECT_EQ(w->btnExcel->defaultAction(), w->actCopyJustCalc);
  EXPECT_EQ(OptionData->SpreadSheet, 3);
}

// The output commands follow what the grid shows, however the run ended: on with a result,
// off after a failed statement and after a 中止 that shows nothing of the result, through
// 実行 and through the tool bar's 検索 alike.
TEST_F(OutputTest, TheOutputsFollowWhatTheGridShows) {
  w->ui->pgSearch->setCurrentWidget(w->ui->tabSQL);
  TXlsStringGrid *g = w->ui->gdSQL;
  QMenu *output = w->menuBar()->findChild<QMenu *>("mnOutput");
  ASSERT_NE(output, nullptr);
  // What the user finds on: the 出力 menu's items, the spreadsheet button, the lines per cell.
  auto outputs = [&] {
    int on = 0, all = 0;
    for (QAction *a : output->actions()) {
      if (a->isSeparator()) continue;
      ++all;
      on += a->isEnabled();
    }
    all += 2;
    on += w->btnExcel->isEnabled() + w->seGridCellLine->isEnabled();
    return on == all ? "on" : on == 0 ? "off" : "partly";
  };
  constexpr int kRows = 20'000;
  const std::string large = "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c LIMIT " +
                            std::to_string(kRows) + ") SELECT x, 'r' || x AS y FROM c";
  // Steps in turn on one window, which shows no result at first.
  struct Step {
    const char *name;
    std::string sql;
    bool toolbar;  // through the tool bar's 検索 rather than 実行
    bool stop;     // 中止 once every row is in the grid
    const char *outputs;
  } steps[] = {
      {"a failed statement", "SELECT * FROM no_such_table", false, false, "off"},
      {"a failed statement through 検索", "SELECT * FROM no_such_table", true, false, "off"},
      {"a result", "SELECT 1 AS a", false, false, "on"},
      {"中止", large, false, true, "off"},
      {"a result through 検索", "SELECT 1 AS a", true, false, "on"},
      {"中止 through 検索", large, true, true, "off"},
  };
  const TEventPump::TByTicks pump(500);  // the events run during the fill and the widths
  for (const Step &c : steps) {
    SCOPED_TRACE(c.name);
    bool stopped = false;
    ui_.on_pump = [&] {
      if (!c.stop || stopped || g->RowCount() != kRows + 1) return;
      stopped = true;
      w->actStop->trigger();
    };
    SetSQLEditorText(w->SQLEditor, cp932::FromUtf8(c.sql));
    if (c.toolbar) {
      w->actSearchTekiyou->trigger();
    } else {
      w->ui->btnQueryExec->click();
    }
    ui_.on_pump = nullptr;
    EXPECT_EQ(stopped, c.stop);
    EXPECT_EQ(g->isVisible(), std::string(c.outputs) == "on");
    EXPECT_STREQ(outputs(), c.outputs);
    ui_.boxes.clear();
    ui_.reports.clear();
  }
}

TEST_F(OutputTest, CsvFileHoldsTheGrid) {
  w->ui->pgSearch->setCurrentWidget(w->ui->tabSQL);
  const std::string sql = "SELECT bango, sakumotsu FROM tekiyo WHERE sakumotsu = 'ねぎ' ORDER BY bango";
  SetSQLEditorText(w->SQLEditor, cp932::FromUtf8(sql));
  w->ui->btnQueryExec->click();
  const std::string file = (folders_ / "out.csv").string();
  dialogs_.answers.push_back({true, file, ""});
  w->actCsvSave->trigger();
  ASSERT_EQ(dialogs_.files.size(), 1u);
  const TFileDialogRequest &r = dialogs_.files[0].request;
  EXPECT_TRUE(r.Save);
  EXPECT_TRUE(r.OverwritePrompt);
  EXPECT_EQ(r.DefaultExt, "csv");
  EXPECT_EQ(cp932::ToUtf8(r.Filter), "CSVﾌｧｲﾙ(*.csv)|*.csv|ﾃｷｽﾄ (*.txt)|*.txt");
  const std::string text = cp932::ToUtf8(qmtest::ReadFile(file));
  std::string expected = "番号,作物名\r\n";
  for (const auto &row : QueryRows(sql)) expected += row[0] + "," + row[1] + "\r\n";
  EXPECT_EQ(text.substr(0, expected.size()), expected);
}

TEST_F(OutputTest, HtmlOutputFindsABareStyleSheetNameInTheStyleFolder) {
  w->ui->pgSearch->setCurrentWidget(w->ui->tabSQL);
  SetSQLEditorText(w->SQLEditor, "SELECT 1 AS bango");
  w->ui->btnQueryExec->click();
  qmtest::WriteFile(folders_ / "css" / "mine.css", ".marker {}");
  OptionData->CssFile = "mine.css";
  w->actHtmlSave->trigger();
  const auto viewers = Viewers();
  ASSERT_EQ(viewers.size(), 1);
  EXPECT_NE(viewers[0]->Html.find(".marker {}"), std::string::npos);
  EXPECT_TRUE(viewers[0]->isVisible());
  EXPECT_FALSE(viewers[0]->isMinimized());
  delete viewers[0];
}

TEST_F(OutputTest, ALargePageIsOfferedAsAFileAndNothingWaitsForTheBrowser) {
  w->ui->pgSearch->setCurrentWidget(w->ui->tabSQL);
  const std::string sql = "SELECT bango, sakumotsu, byochu FROM tekiyo ORDER BY bango, sakumotsu, byochu LIMIT 5";
  SetSQLEditorText(w->SQLEditor, cp932::FromUtf8(sql));
  w->ui->btnQueryExec->click();
  ASSERT_EQ(w->ui->gdSQL->RowCount(), 6);
  const TShownPageLimit saved = ShownPageLimit;
  struct Restore {
    TShownPageLimit saved;
    ~Restore() { ShownPageLimit = saved; }
  } restore{saved};
  const std::string question =
      "検索結果が5件と多いため、HTMLページとして開くと長い時間応答しなくなるおそれがあります。\r\n"
      "開かずにHTMLファイルとして保存しますか？";

  // Too many rows, or too many cells: asked; "はい" saves the page, "いいえ" leaves it.
  const TShownPageLimit limits[] = {{4, 1000}, {100, 14}};
  for (const TShownPageLimit &limit : limits) {
    ShownPageLimit = limit;
    ui_.boxes.clear();
    dialogs_.files.clear();
    const std::string file = (folders_ / "big.html").string();
    fs::remove(file);
    ui_.answers = {IDYES};
    dialogs_.answers.push_back({true, file, ""});
    int built = ResultPagesBuilt;
    w->actHtmlSave->trigger();
    EXPECT_EQ(ResultPagesBuilt, built + 1);  // the page saved
    ASSERT_EQ(ui_.boxes.size(), 1u);
    EXPECT_EQ(cp932::ToUtf8(ui_.boxes[0].text), question);
    EXPECT_TRUE(Viewers().empty());
    ASSERT_EQ(dialogs_.files.size(), 1u);
    EXPECT_TRUE(dialogs_.files[0].request.Save);
    EXPECT_TRUE(dialogs_.files[0].request.OverwritePrompt);
    EXPECT_EQ(qmtest::ReadFile(file), Build(0, StyleSheetPath(OptionData->CssFile)).html);

    // The question comes first: on "いいえ" no page is built at all.
    fs::remove(file);
    ui_.answers = {IDNO};
    built = ResultPagesBuilt;
    w->actHtmlSave->trigger();
    EXPECT_EQ(ResultPagesBuilt, built);
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(dialogs_.files.size(), 1u);
    EXPECT_TRUE(Viewers().empty());
  }

  // The spreadsheet hand-off asks in its own words, and builds no page on "いいえ" either.
  ShownPageLimit = {4, 1000};
  ui_.boxes.clear();
  ui_.answers = {IDNO};
  const int built = ResultPagesBuilt;
  w->actCopyExcelByHTML->trigger();
  EXPECT_EQ(ResultPagesBuilt, built);
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(cp932::ToUtf8(ui_.boxes[0].text),
            "検索結果が5件と多いため、表計算ソフトへ出力すると長い時間応答しなくなるおそれがあります。\r\n"
            "出力せずにHTMLファイルとして保存しますか？\r\n"
            "「いいえ」を選ぶと出力を取りやめます。");
  EXPECT_TRUE(Viewers().empty());

  // Within the limit the viewer opens at once; the page loads while the program goes on.
  ShownPageLimit = {5, 15};
  ui_.boxes.clear();
  w->actHtmlSave->trigger();
  EXPECT_TRUE(ui_.boxes.empty());
  const auto viewers = Viewers();
  ASSERT_EQ(viewers.size(), 1);
  EXPECT_TRUE(viewers[0]->InnerHtml().empty());
  EXPECT_TRUE(viewers[0]->WaitForPage());
  EXPECT_NE(viewers[0]->InnerHtml().find("<th>"), std::string::npos);
  delete viewers[0];
}

// A large page saved as a file, and the CSV file, are written a row at a time under the
// progress window. Its キャンセル leaves no part of the file, and a file of that name as it
// was; so does a file that cannot be written, which is reported.
TEST_F(OutputTest, LargeOutputsAreWrittenUnderTheProgressWindowAndCancelLeavesTheFile) {
  constexpr int kRows = 2000;
  w->ui->pgSearch->setCurrentWidget(w->ui->tabSQL);
  SetSQLEditorText(w->SQLEditor, "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < " +
                                     std::to_string(kRows) + ") SELECT i AS bango, 'r' || i AS t FROM k");
  w->ui->btnQueryExec->click();
  TXlsStringGrid *g = w->ui->gdSQL;
  ASSERT_EQ(g->RowCount(), kRows + 1);
  const TSmallOutputLimits limits;

  std::string csv = cp932::ToUtf8(g->Cells(0, 0) + "," + g->Cells(1, 0)) + "\r\n";
  for (int i = 1; i <= kRows; ++i) csv += std::to_string(i) + ",r" + std::to_string(i) + "\r\n";
  const struct {
    const char *name;
    QAction *action;
    std::vector<int> answers;  // the large-page question
    std::string expected;
  } cases[] = {
      {"page.html", w->actHtmlSave, {IDYES}, Build(0, StyleSheetPath(OptionData->CssFile)).html},
      {"rows.csv", w->actCsvSave, {}, cp932::FromUtf8(csv)},
  };
  auto files = [&] {
    std::vector<std::string> names;
    for (const auto &e : fs::directory_iterator(folders_.path()))
      if (e.is_regular_file()) names.push_back(e.path().filename().string());
    return names;
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = folders_ / c.name;
    auto save = [&](const fs::path &to) {
      ui_.boxes.clear();
      ui_.progress.clear();
      ui_.answers = c.answers;
      dialogs_.answers.push_back({true, to.string(), ""});
      c.action->trigger();
    };
    save(file);
    EXPECT_EQ(qmtest::ReadFile(file), c.expected);
    ASSERT_EQ(ui_.progress.size(), 1u);
    EXPECT_EQ(cp932::ToUtf8(ui_.progress[0].title), std::string(c.name) + "を保存しています");
    EXPECT_EQ(ui_.progress[0].done, static_cast<std::uint64_t>(kRows + 1));
    EXPECT_EQ(ui_.progress[0].total, static_cast<std::uint64_t>(kRows + 1));
    EXPECT_FALSE(ui_.progress[0].open);
    EXPECT_EQ(ui_.boxes.size(), c.answers.size());  // the question only

    // キャンセル half-way: the earlier file stays, and nothing is left beside it.
    qmtest::WriteFile(file, "earlier");
    ui_.cancel_progress_at = kRows / 2;
    save(file);
    ui_.cancel_progress_at = 0;
    EXPECT_EQ(qmtest::ReadFile(file), "earlier");
    EXPECT_EQ(files(), std::vector<std::string>{c.name});
    ASSERT_EQ(ui_.progress.size(), 1u);
    EXPECT_EQ(ui_.progress[0].done, static_cast<std::uint64_t>(kRows / 2));
    EXPECT_EQ(ui_.boxes.size(), c.answers.size());
    fs::remove(file);

    // A folder that is not there.
    save(folders_ / "missing" / c.name);
    ASSERT_EQ(ui_.boxes.size(), c.answers.size() + 1);
    EXPECT_TRUE(files().empty());
  }
  EXPECT_EQ(cp932::ToUtf8(ui_.boxes.back().text).find("cannot create file"), 0u);
}

// The program's own progress window over a page being saved: it is up and modal from the
// start, the window's run holds meanwhile, and its キャンセル (pressed by the user while the
// rows are written) leaves the earlier file.
TEST_F(OutputTest, TheProgressWindowOfASavedPageHoldsTheWindowAndCancels) {
  const TSmallOutputLimits limits;
  TRealProgressUi ui;
  const fs::path file = LargeResultToSaveOver(ui);
  bool held = false, pressed = false;
  QTimer user;
  QObject::connect(&user, &QTimer::timeout, [&] {
    auto *dialog = qobject_cast<QProgressDialog *>(QApplication::activeModalWidget());
    if (!dialog || pressed) return;
    held = dialog->isVisible() && w->Running() && dialog->windowTitle() == QString::fromUtf8("page.htmlを保存しています");
    dialog->findChild<QPushButton *>()->click();
    pressed = true;
  });
  user.start(0);
  w->actHtmlSave->trigger();
  user.stop();
  EXPECT_TRUE(pressed);
  EXPECT_TRUE(held);
  EXPECT_EQ(qmtest::ReadFile(file), "earlier");
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_EQ(ui.boxes.size(), 1u);  // the question alone
  EXPECT_FALSE(w->Running());
}


// A close of the main window that comes while the separate window's page is saved under its
// progress window is not lost: the save ends as a close of the program ends it (the file as it
// was), and the window then closes.
TEST_F(OutputTest, ACloseDuringTheSeparateWindowsSaveClosesWhenTheSaveEnds) {
  const TSmallOutputLimits limits;
  TRealProgressUi ui;
  const fs::path file = LargeResultToSaveOver(ui);
  w->actExportGrid->trigger();
  TfrmGrid *grid = nullptr;
  for (QWidget *t : QApplication::topLevelWidgets())
    if (auto *g = qobject_cast<TfrmGrid *>(t)) grid = g;
  ASSERT_NE(grid, nullptr);
  bool sent = false, closed_during_save = false;
  QTimer user;
  QObject::connect(&user, &QTimer::timeout, [&] {
    if (sent || !qobject_cast<QProgressDialog *>(QApplication::activeModalWidget())) return;
    sent = true;
    w->close();
    closed_during_save = w->isHidden();
  });
  user.start(0);
  grid->Action("actExportHTML")->trigger();
  user.stop();
  ASSERT_TRUE(sent);
  EXPECT_FALSE(closed_during_save);
  EXPECT_EQ(qmtest::ReadFile(file), "earlier");
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  QCoreApplication::processEvents();
  EXPECT_TRUE(w->isHidden());
  EXPECT_FALSE(RunStopRequested());
  EXPECT_EQ(ui.boxes.size(), 1u);  // the question alone
  delete grid;
}

}  // namespace
