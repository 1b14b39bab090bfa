#include "ui/UGrid.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QStyle>
#include <QToolBar>
#include <QTest>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <gtest/gtest.h>

#include "components/DialogServices.h"
#include "components/QtServices.h"
#include "components/qtext.h"
#include "engine/SQLite.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/IniFile.h"
#include "platform/cp932.h"
#include "support/enginefixture.h"
#include "support/testutil.h"
#include "ui/pixel_test_util.h"
#include "ui/QlmExportUtils.h"
#include "ui/ShellServices.h"
#include "ui/UTekiyouCard.h"
#include "ui/UWebBrowser.h"

using namespace cp932::literals;

namespace {

void Fill(TXlsStringGrid &g, const std::vector<std::vector<std::string>> &rows) {
  g.SetRowCount(static_cast<int>(rows.size()));
  g.SetColCount(static_cast<int>(rows[0].size()));
  for (int r = 0; r < g.RowCount(); ++r)
    for (int c = 0; c < g.ColCount(); ++c) g.SetCells(c, r, rows[r][c]);
}

// A window that records the cards it would show instead of running them.
class TTestGrid : public TfrmGrid {
 public:
  using TfrmGrid::TfrmGrid;
  struct Card {
    QPoint pos;
    QSize size;
    int row;
    std::vector<std::string> values;
  };
  std::vector<Card> cards;

 protected:
  void RunCard(TDlgTekiyouCard *card) override {
    cards.push_back({card->pos(), card->frameGeometry().size(), card->RowIndex, card->Row});
  }
};

class GridWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OptionData->IniFileName = home_.str() + "quillmar.ini";
    OptionData->TemplateFolder = home_.str() + "Template";
    OptionData->CssFolder = home_.str() + "css";
    OptionData->GridLineSpace = 6;
    owner_ = new QWidget;
    yakuzaiG_ = new QLineEdit(owner_);
    yakuzaiG_->setObjectName("eYakuzaiG");
    Fill(source_, {{"番号"_sj, "農薬の名称"_sj, "作物名"_sj, "成分1"_sj, "RAC1"_sj, "混合数"_sj},
                   {"10", "A剤"_sj, "だいこん"_sj, "イミダ"_sj, "4A", "1"},
                   {"9", "B剤"_sj, "いね"_sj, "", "", "2"},
                   {"100", "C&lt;剤"_sj, "ねぎ"_sj, "フル"_sj, "", "1"}});
    for (int c = 0; c < source_.ColCount(); ++c) source_.SetColWidths(c, 80);
    w_ = new TTestGrid(owner_);
    w_->setWindowTitle("Quillmar - test");
    w_->CopyFromGrid(source_, 0);
    w_->resize(700, 400);
    w_->show();
  }
  void TearDown() override {
    if (w_) w_->close();
    delete owner_;
  }
  // Moves the mouse over a cell of the result grid.
  void Hover(int col, int row) {
    TXlsStringGrid *g = w_->gdResult();
    const QPoint p = g->CellRect(col, row).center();
    w_->gdResultMouseMove(*g, 0, p.x(), p.y());
  }
  void PressHeader(int col) {
    TXlsStringGrid *g = w_->gdResult();
    const QPoint p = g->CellRect(col, 0).center();
    w_->gdResultMouseDown(*g, mbLeft, 0, p.x(), p.y());
  }
  bool Shown(const char *name) { return w_->Action(name)->isVisible(); }
  std::string Caption(const char *name) { return FromQ(w_->Action(name)->text()); }
  std::vector<std::string> Column(int col) {
    std::vector<std::string> v;
    for (int r = 1; r < w_->gdResult()->RowCount(); ++r) v.push_back(w_->gdResult()->Cells(col, r));
    return v;
  }

  qmtest::TempDir home_;
  qmtest::ScopedEngineState state_;
  TScopedRecordingUi boxes_;
  TXlsStringGrid source_;
  QWidget *owner_ = nullptr;
  QLineEdit *yakuzaiG_ = nullptr;
  QPointer<TTestGrid> w_;
};

TEST_F(GridWindowTest, KeepsItsOwnCopyOfTheResult) {
  source_.SetFixedCols(1);
  source_.SetColWidths(2, 0);
  source_.SetRowHeights(2, 40);
  source_.SetRowObject(1, 1);
  w_->CopyFromGrid(source_, 0);
  source_.SetCells(1, 1, "changed");
  source_.SetColWidths(1, 5);
  TXlsStringGrid *g = w_->gdResult();
  EXPECT_EQ(g->Cells(1, 1), "A剤"_sj);
  EXPECT_EQ(g->ColWidths(1), 80);
  EXPECT_EQ(g->ColWidths(2), 0);
  EXPECT_EQ(g->RowHeights(2), 40);
  EXPECT_EQ(g->FixedCols(), 1);
  EXPECT_EQ(g->FixedRows(), 1);
  EXPECT_EQ(g->RowObject(1), 0);  // cell objects stay with the source

  TXlsStringGrid two;
  Fill(two, {{"種類名"_sj, "殺虫剤"_sj}, {"x", "y"}});
  two.SetFixedRows(0);
  two.SetFixedCols(0);
  w_->CopyFromGrid(two, 1);
  w_->CopyFromGrid(two, 2);
  EXPECT_EQ(w_->gdSeibun()->Cells(1, 0), "殺虫剤"_sj);
  EXPECT_EQ(w_->gdSeizai()->Cells(1, 0), "殺虫剤"_sj);
  EXPECT_EQ(w_->gdResult()->Cells(1, 0), "農薬の名称"_sj);  // the main grid is untouched
}

TEST_F(GridWindowTest, ACopyWithoutFixedColumnsShowsItsFirstColumn) {
  // A result wider than the window, as results are.
  source_.SetFixedCols(0);
  for (int c = 0; c < source_.ColCount(); ++c) source_.SetColWidths(c, 300);
  QPointer<TfrmGrid> w = new TfrmGrid(owner_);
  w->CopyFromGrid(source_, 0);
  w->show();
  TXlsStringGrid *g = w->gdResult();
  EXPECT_EQ(g->FixedCols(), 0);
  EXPECT_EQ(g->LeftCol(), 0);
  EXPECT_EQ(g->TopRow(), g->FixedRows());
  w->close();
}

TEST_F(GridWindowTest, HtmlPageOfACropResult) {
  w_->gdResult()->SetColWidths(5, 0);  // a hidden column is left out
  const TResultPage page = w_->BuildHtml(0, home_.str() + "missing.css");
  const std::string expected_head =
      "<html>\r\n<head>\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">\r\n"
      "<style type=\"text/css\">\r\n<!--\r\n"
      "TABLE,TH,TD {border-style: solid;border-width: 1px;border-color:black;border-collapse: collapse;}\r\n"
      "-->\r\n</style>\r\n</head>\r\n";
  std::string body = "<body>\r\n<h1>農薬登録情報検索結果</h1>\r\n<p class=\"update\"></p>\r\n<table border=\"1\">\r\n"_sj;
  const char *classes[] = {"header", "odd", "even", "odd"};
  for (int r = 0; r < 4; ++r) {
    body += std::string("<tr class=\"") + classes[r] + "\">\r\n";
    for (int c = 0; c < 5; ++c) {
      const std::string tag = r == 0 ? "th" : "td";
      std::string cell = w_->gdResult()->Cells(c, r);
      if (cell == "C&lt;剤"_sj) cell = "C&amp;lt;剤"_sj;
      body += "\t<" + tag + ">" + cell + "</" + tag + ">\r\n";
    }
    body += "</tr>\r\n";
  }
  body += "</table>\r\n</body>\r\n";
  EXPECT_EQ(page.Body, body);
  EXPECT_EQ(page.Html, expected_head + body + "</html>");
  EXPECT_EQ(page.Script, "");
}

TEST_F(GridWindowTest, HtmlPageWithStyleScriptAndChemicalPart) {
  qmtest::WriteFile(home_ / "css/excel.css", "td {color:red}\nth {}\r\n");
  qmtest::WriteFile(home_ / "Template/results.js", "function results(k){}\n");
  w_->GridKind = 2;
  w_->edtYakuzai()->setText(ToQ("00001 A&B剤"_sj));
  TXlsStringGrid seizai, seibun;
  Fill(seizai, {{"種類名"_sj, "殺虫剤"_sj}, {"製剤毒性"_sj, "<普通物>"_sj}, {"", ""}, {"", ""}, {"", ""}, {"", ""}});
  seizai.SetFixedRows(0);
  seizai.SetFixedCols(0);
  for (int c = 0; c < 2; ++c) seizai.SetColWidths(c, 60);
  Fill(seibun, {{"有効成分"_sj}, {"X"}, {"Y"}});
  seibun.SetColWidths(0, 60);
  w_->CopyFromGrid(seizai, 2);
  w_->CopyFromGrid(seibun, 1);
  w_->SetSuisanText("一行目\n二行目"_sj);

  struct Case {
    int kind;
    const char *onload;
  };
  for (const Case &c : {Case{1, "<body onload=\"results('libre')\">"}, Case{2, "<body onload=\"results()\">"},
                        Case{3, "<body onload=\"results('just')\">"}}) {
    const TResultPage page = w_->BuildHtml(c.kind, (home_ / "css/excel.css").string());
    EXPECT_EQ(page.Body.rfind(c.onload, 0), 0u) << c.kind;
    EXPECT_EQ(page.Script, "<script type=\"text/javascript\">\r\nfunction results(k){}\r\n</script>\r\n");
    EXPECT_NE(page.Html.find("<!--\r\ntd {color:red}\r\nth {}\r\n-->"), std::string::npos);
    EXPECT_NE(page.Html.find("</style>\r\n" + page.Script + "</head>\r\n"), std::string::npos);
  }
  const std::string body = w_->BuildHtml(0, "").Body;
  EXPECT_NE(body.find("<h2>00001 A&amp;B剤</h2>\r\n<h3>剤の概要</h3>\r\n<table border=\"1\">\r\n"
                      "<tr><td>種類名</td><td>殺虫剤</td></tr>\r\n"
                      "<tr><td>製剤毒性</td><td>&lt;普通物&gt;</td></tr>\r\n"_sj),
            std::string::npos);
  EXPECT_NE(body.find("<tr><td>用途</td><td></td></tr>\r\n</table>\r\n<br>\r\n<h3>有効成分</h3>\r\n"
                      "<table border=\"1\">\r\n<tr class=\"header\">\r\n\t<th>有効成分</th>\r\n</tr>\r\n"
                      "<tr class=\"odd\">\r\n\t<td>X</td>\r\n</tr>\r\n<tr class=\"odd\">\r\n\t<td>Y</td>\r\n"_sj),
            std::string::npos);
  EXPECT_NE(body.find("<p class=\"suisan\">一行目<br>二行目</p>\r\n"_sj), std::string::npos);
}

TEST_F(GridWindowTest, CopiesTheClickedTextOrTheSelectedBlock) {
  TXlsStringGrid *g = w_->gdResult();
  g->FocusCell(1, 1, true);
  Hover(2, 2);
  w_->pmnGridPopup();
  w_->actCopyExecute();
  EXPECT_EQ(ClipboardText(), "いね"_sj);  // the cell under the mouse, not the selected one

  g->SetColWidths(2, 0);
  g->FocusCell(1, 1, true);
  g->FocusCell(3, 2, false);
  w_->actCopyExecute();
  EXPECT_EQ(ClipboardText(), "A剤\tイミダ\r\nB剤\t\r\n"_sj);

  g->FocusCell(1, 1, true);
  g->FocusCell(2, 2, false);  // the last selected column is copied even when hidden
  w_->actCopyExecute();
  EXPECT_EQ(ClipboardText(), "A剤\tだいこん\r\nB剤\tいね\r\n"_sj);
}

TEST_F(GridWindowTest, PopupOffersWhatTheClickedColumnAllows) {
  Hover(1, 0);  // caption row
  w_->pmnGridPopup();
  EXPECT_FALSE(w_->Action("actCopy")->isEnabled());
  for (const char *name : {"actDeleteCol", "actFixedCol", "actFixedColOff"}) EXPECT_TRUE(Shown(name)) << name;
  for (const char *name : {"actGoogle", "actSendToTabYakuzai", "actDeleteRow", "pmnNoukaWebSearch",
                           "pmnGoogleChuijiko", "actWeblio"})
    EXPECT_FALSE(Shown(name)) << name;

  Hover(1, 1);  // a product of the crop だいこん
  w_->pmnGridPopup();
  EXPECT_TRUE(w_->Action("actCopy")->isEnabled());
  for (const char *name : {"actGoogle", "actDeleteRow", "pmnGoogleChuijiko", "pmnGoogleKonyo", "pmnNoukaWebSearch",
                           "pmnGoogleChuiJikoOption", "actSendToTabYakuzai"})
    EXPECT_TRUE(Shown(name)) << name;
  for (const char *name : {"actDeleteCol", "actFixedCol", "actWeblio", "pmnGene", "pmnBoujo"})
    EXPECT_FALSE(Shown(name)) << name;
  EXPECT_EQ(Caption("pmnGoogleChuiJikoOption"), "「A剤」の つまみ菜、間引き菜での使用可否をGoogleで検索"_sj);
  EXPECT_EQ(Caption("actSendToTabYakuzai"), "「10: A剤」を薬剤タブで検索"_sj);
  EXPECT_EQ(Caption("actGoogle"), "「A剤」をGoogleで検索"_sj);
  EXPECT_EQ(w_->ProductName(), "A剤"_sj);

  Hover(1, 2);  // another crop: no sprout search
  w_->pmnGridPopup();
  EXPECT_FALSE(Shown("pmnGoogleChuiJikoOption"));

  struct Case {
    int col, row;
    std::vector<const char *> shown, hidden;
    const char *send_caption;
  };
  const std::vector<Case> cases = {
      {0, 1, {"actSendToTabYakuzai", "actGoogle"}, {"pmnGoogleChuijiko", "actWeblio"}, "登録番号「10」を薬剤タブで検索"},
      {3, 1, {"actWeblio", "actFcgr", "pmnPrdbSearch", "actGoogleFfcr", "actSearchNihs", "actSendToTabYakuzai"},
       {"pmnGoogleChuijiko"}, "「イミダ」を薬剤タブで検索"},
      {3, 2, {"actGoogleFfcr", "actSearchNihs"}, {"actWeblio", "actFcgr", "pmnPrdbSearch", "actGoogle",
                                                  "actSendToTabYakuzai"}, nullptr},
      {4, 1, {"actSendToTabYakuzai"}, {"actGoogle"}, "「4A」を薬剤タブで検索"},
      {5, 1, {"actDeleteRow"}, {"actGoogle", "actSendToTabYakuzai"}, nullptr},
      {2, 1, {"actGoogle"}, {"actSendToTabYakuzai", "pmnGoogleChuijiko"}, nullptr},
  };
  for (const Case &c : cases) {
    Hover(c.col, c.row);
    w_->pmnGridPopup();
    for (const char *n : c.shown) EXPECT_TRUE(Shown(n)) << c.col << "," << c.row << " " << n;
    for (const char *n : c.hidden) EXPECT_FALSE(Shown(n)) << c.col << "," << c.row << " " << n;
    if (c.send_caption) {
      EXPECT_EQ(Caption("actSendToTabYakuzai"), cp932::FromUtf8(c.send_caption));
    }
  }
}

TEST_F(GridWindowTest, LookUpsAreDisabledOfflineAndOpenTheirAddresses) {
  TScopedRecordingShell shell;
  OptionData->OffLine = true;
  Hover(1, 1);
  w_->pmnGridPopup();
  EXPECT_TRUE(Shown("actGoogle"));
  EXPECT_FALSE(w_->Action("actGoogle")->isEnabled());
  EXPECT_FALSE(w_->Action("pmnGoogleKonyo")->isEnabled());
  OptionData->OffLine = false;
  w_->pmnGridPopup();
  EXPECT_TRUE(w_->Action("actGoogle")->isEnabled());

  w_->Action("actGoogle")->trigger();
  w_->Action("pmnGoogleChuijiko")->trigger();
  ASSERT_EQ(shell.calls.size(), 2u);
  auto search = [](const std::string &term) {
    return LookupSites().WebSearch + "/search?q=" + PercentEncodeAll(cp932::ToUtf8(term));
  };
  // The web search of a product name in a numbered result searches the name it shows.
  EXPECT_EQ(shell.calls[0].file, search("A剤"_sj));
  EXPECT_EQ(shell.calls[1].file, search("\"A剤\" \"使用上の注意\""_sj));
  EXPECT_EQ(shell.calls[1].verb, "open");
}

TEST_F(GridWindowTest, PestAndIngredientItemsFollowTheDatabase) {
  {
    TSQLiteDb db(home_.str() + "acis.db");
    db.MultiStatement = true;
    db.ExecSQL(cp932::FromUtf8(
        "CREATE TABLE info(Item TEXT, Value TEXT); INSERT INTO info VALUES('LastUpdate','2026.11.30');"
        "CREATE TABLE iso(ippanmei TEXT, iso TEXT); INSERT INTO iso VALUES ('イミダ','imidacloprid');"
        "CREATE TABLE byochu(cid INTEGER, byochu TEXT);"
        "INSERT INTO byochu VALUES (1,'うどんこ病'),(2,'アブラムシ類'),(3,'一年生雑草');"));
  }
  OptionData->DbFolder = home_.str();
  OptionData->BuiltFromSite = 3;
  TAcisDB::ReferenceRefresh = nullptr;
  TAcisDB db(home_.str() + "acis.db", nullptr);
  state_.SetAcisDB(&db);
  TXlsStringGrid g;
  Fill(g, {{"作物名"_sj, "適用病害虫雑草名"_sj, "成分1"_sj},
           {"きゅうり"_sj, "うどんこ病"_sj, "イミダ"_sj},
           {"なす"_sj, "アブラムシ類"_sj, ""},
           {"いね"_sj, "一年生雑草"_sj, ""},
           {"いね"_sj, "未知"_sj, ""}});
  for (int c = 0; c < 3; ++c) g.SetColWidths(c, 90);
  w_->CopyFromGrid(g, 0);
  struct Case {
    int row;
    bool gene, boujo;
    const char *term;
  };
  for (const Case &c : {Case{1, true, true, "うどんこ病 きゅうり"}, Case{2, false, true, "アブラムシ類 なす"},
                        Case{3, false, true, "一年生雑草"}, Case{4, false, false, "未知"}}) {
    Hover(1, c.row);
    w_->pmnGridPopup();
    EXPECT_EQ(Shown("pmnGene"), c.gene) << c.row;
    EXPECT_EQ(Shown("pmnBoujo"), c.boujo) << c.row;
    EXPECT_EQ(w_->ClickedText(), cp932::FromUtf8(c.term));
  }
  Hover(2, 1);
  w_->pmnGridPopup();
  EXPECT_EQ(Caption("actFcgr"), "「imidacloprid(イミダ)」を フジテレビ商品研究所で検索"_sj);
  EXPECT_EQ(Caption("actWeblio"), "「イミダ」を Weblio で検索"_sj);
  EXPECT_EQ(w_->BuildHtml(0, "").Body.find("<p class=\"update\">2026.11.30</p>"), 
            w_->BuildHtml(0, "").Body.find("<p class="));
}

TEST_F(GridWindowTest, IngredientGridPopup) {
  TXlsStringGrid s;
  Fill(s, {{"有効成分"_sj, "系統"_sj, "含有量"_sj}, {"イミダ"_sj, "4A", "10%"}});
  for (int c = 0; c < 3; ++c) s.SetColWidths(c, 90);
  w_->pnlYakuzai()->show();
  w_->CopyFromGrid(s, 1);
  w_->resize(700, 700);
  QApplication::processEvents();
  ASSERT_FALSE(w_->gdSeibun()->CellRect(2, 1).isEmpty());
  auto press = [&](int col) {
    TXlsStringGrid *g = w_->gdSeibun();
    const QPoint p = g->CellRect(col, 1).center();
    w_->gdSeibunMouseDown(*g, mbRight, 0, p.x(), p.y());
    w_->pmnGridSeibunPopup();
  };
  press(0);
  for (const char *n : {"pmnGoogleGridSeibun", "pmnWeblioGridSeibun", "pmnFcgrGridSeibun", "pmnPrdbGridSeibun"})
    EXPECT_TRUE(Shown(n)) << n;
  EXPECT_FALSE(Shown("actGoogleFfcr"));
  EXPECT_EQ(w_->ClickedText(), "イミダ"_sj);
  press(1);
  EXPECT_TRUE(Shown("pmnGoogleGridSeibun"));
  EXPECT_FALSE(Shown("pmnWeblioGridSeibun"));
  press(2);
  EXPECT_FALSE(Shown("pmnGoogleGridSeibun"));
}

TEST_F(GridWindowTest, RowsAreTintedByKeywordAndMarkedRow) {
  OptionData->TekiyouGridEveryOtherLine = true;
  OptionData->TekiyouColor = 0x00FFFFFF;
  OptionData->TekiyouColor2 = 0x00F3F1E2;
  w_->Keywords = ",%ねぎ%,"_sj;  // the empty items tint nothing
  w_->MarkedRow = 2;
  TXlsStringGrid *g = w_->gdResult();
  g->FocusCell(5, 1, true);
  auto colour = [&](int col, int row) {
    const QImage image = g->viewport()->grab().toImage();
    const QRect r = g->CellRect(col, row);
    return QColor(image.pixel(r.right() - 3, r.bottom() - 3));
  };
  EXPECT_EQ(colour(2, 3), QColor(0xC0, 0xDC, 0xC0));  // the row holding ねぎ
  EXPECT_EQ(colour(2, 1), QColor(0xFF, 0xFF, 0xFF));  // odd row
  EXPECT_EQ(colour(2, 2), g->palette().color(QPalette::Highlight));  // the marked row
  w_->Keywords.clear();
  w_->MarkedRow = 0;
  EXPECT_EQ(colour(2, 2), QColor(0xE2, 0xF1, 0xF3));  // even row
  EXPECT_EQ(colour(2, 3), QColor(0xFF, 0xFF, 0xFF));
}

// Rows sized by the font's em height (as the result grids size them) are lower than a line of
// the CJK font: the text keeps every pixel it has in a cell with room to spare.
TEST_F(GridWindowTest, TextOfARowSizedByTheEmHeightIsDrawnWhole) {
  TXlsStringGrid *g = w_->gdResult();
  g->SetCells(1, 1, "農薬gjy"_sj);
  const int em = QFontInfo(g->font()).pixelSize();
  ASSERT_GT(QFontMetrics(g->font()).height(), em) << "the font's lines are no taller than its em height";
  auto ink = [&](int height) {
    QImage image(120, 80, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    const QRect cell(0, 0, 120, height);
    p.setClipRect(cell);
    TResultCellLook look;
    look.ResultGrid = false;
    PaintResultCell(*g, 1, 1, p, cell, 0, look);
    p.end();
    int dark = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) dark += qGray(image.pixel(x, y)) < 128;
    return dark;
  };
  const int whole = ink(80);
  EXPECT_GT(whole, 0);
  EXPECT_EQ(ink(em + OptionData->GridLineSpace), whole);
}

TEST_F(GridWindowTest, StoredFontsDrawInTheirColours) {
  // Odd rows in TekiyouFont's colour, even rows in Tekiyou2Font's; an unnamed font keeps the
  // grid's own text colour.
  const QColor green(0, 0x80, 0), navy(0, 0, 0x80);
  const TOptionData saved = *OptionData;
  OptionData->TekiyouGridEveryOtherLine = true;
  OptionData->TekiyouColor = OptionData->TekiyouColor2 = 0x00FFFFFF;
  OptionData->TekiyouFont = {"DejaVu Sans", 0, -20, 0, 0, 0x008000};
  OptionData->Tekiyou2Font = {"DejaVu Sans", 0, -20, 0, 0, 0x800000};
  OptionData->SeibunGridFont = {};
  TTestGrid w(owner_);
  w.CopyFromGrid(source_, 0);
  w.resize(700, 400);
  w.show();
  TXlsStringGrid *g = w.gdResult();
  for (int r = 1; r < g->RowCount(); ++r) {
    g->SetRowHeights(r, 30);
    g->SetCells(1, r, "■■"_sj);
  }
  const QImage image = g->viewport()->grab().toImage();
  const auto has = [&](int row, const QColor &color) {
    return qmtest::HasPixelOf(image.copy(g->CellRect(1, row)), color);
  };
  EXPECT_TRUE(has(3, green));  // row 1 holds the current cell
  EXPECT_TRUE(has(2, navy));
  EXPECT_FALSE(has(2, green));
  EXPECT_EQ(w.gdSeibun()->palette().color(QPalette::Active, QPalette::Text),
            w_->gdSeibun()->palette().color(QPalette::Active, QPalette::Text));
  *OptionData = saved;
}

TEST_F(GridWindowTest, ActionsHaveImagesInTheSizesOfTheSettings) {
  struct Case {
    int setting, pixels;  // pixels 0: the layout's size stays
  };
  for (const Case &c : {Case{0, 16}, Case{2, 32}, Case{3, 48}, Case{7, 0}}) {
    OptionData->BtnImageSize = static_cast<std::uint8_t>(c.setting);
    OptionData->MenuImageSize = static_cast<std::uint8_t>(c.setting);
    QPointer<TfrmGrid> w = new TfrmGrid(owner_);
    auto *bar = w->findChild<QToolBar *>("ToolBar1");
    ASSERT_NE(bar, nullptr);
    auto *popup = w->findChild<QMenu *>("pmnGrid");
    ASSERT_NE(popup, nullptr);
    if (c.pixels > 0) {
      EXPECT_EQ(bar->iconSize(), QSize(c.pixels, c.pixels)) << c.setting;
      EXPECT_EQ(popup->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, popup), c.pixels) << c.setting;
    }
    for (const char *name : {"actCopy", "actCopyAll", "actExportHTML", "actCopyExcelByHTML", "actDeleteRow"})
      EXPECT_FALSE(w->Action(name)->icon().isNull()) << name;
    w->close();
  }
}

TEST_F(GridWindowTest, RightClickOpensTheMenuOnTheClickedCell) {
  TXlsStringGrid *g = w_->gdResult();
  const QPoint at = g->CellRect(2, 2).center();
  QTest::mouseMove(g->viewport(), at);
  QTest::mousePress(g->viewport(), Qt::RightButton, {}, at);
  QTest::mouseRelease(g->viewport(), Qt::RightButton, {}, at);
  QContextMenuEvent menu(QContextMenuEvent::Mouse, at, g->viewport()->mapToGlobal(at));
  QApplication::sendEvent(g->viewport(), &menu);
  EXPECT_TRUE(w_->pmnGrid()->isVisible());
  EXPECT_EQ(w_->ClickedText(), "いね"_sj);
  EXPECT_EQ(g->Row(), 2);  // the current cell moved to the pressed one
  w_->pmnGrid()->close();
}

TEST_F(GridWindowTest, SendsTheRegistrationNumberToTheChemicalTab) {
  std::vector<std::string> sent;
  QObject::connect(w_.data(), &TfrmGrid::SendToTabYakuzai, [&](const std::string &t) { sent.push_back(t); });
  Hover(1, 3);
  w_->pmnGridPopup();
  w_->Action("actSendToTabYakuzai")->trigger();
  EXPECT_EQ(FromQ(yakuzaiG_->text()), "100");
  EXPECT_EQ(sent, std::vector<std::string>{"100"});
}

TEST_F(GridWindowTest, HeaderSortReversesTheLastColumnAndSortsNumbersByValue) {
  PressHeader(0);
  EXPECT_EQ(Column(0), (std::vector<std::string>{"9", "10", "100"}));
  PressHeader(0);
  EXPECT_EQ(Column(0), (std::vector<std::string>{"100", "10", "9"}));
  PressHeader(2);
  EXPECT_EQ(Column(2), (std::vector<std::string>{"いね"_sj, "だいこん"_sj, "ねぎ"_sj}));
  // A right-button press on the caption row does not sort.
  const QPoint p = w_->gdResult()->CellRect(2, 0).center();
  w_->gdResultMouseDown(*w_->gdResult(), mbRight, 0, p.x(), p.y());
  EXPECT_EQ(Column(2), (std::vector<std::string>{"いね"_sj, "だいこん"_sj, "ねぎ"_sj}));
}

TEST_F(GridWindowTest, RowAndColumnCommands) {
  TXlsStringGrid *g = w_->gdResult();
  g->FocusCell(1, 2, true);
  w_->actDeleteRowExecute();
  EXPECT_EQ(Column(1), (std::vector<std::string>{"A剤"_sj, "C&lt;剤"_sj}));
  Hover(2, 1);
  w_->actDeleteColExecute();
  EXPECT_EQ(g->Cells(2, 0), "成分1"_sj);
  g->FocusCell(2, 1, true);
  w_->actFixedColExecute();
  EXPECT_EQ(g->FixedCols(), 3);
  w_->actFixedColOffExecute();
  EXPECT_EQ(g->FixedCols(), 0);

  g->SetOptions(g->Options() | goRowSelect);
  g->SetFixedCols(1);
  g->FocusCell(1, 1, true);
  g->FocusCell(1, 2, false);
  w_->actDeleteRowExecute();
  EXPECT_EQ(g->RowCount(), 1);
}

TEST_F(GridWindowTest, CardOpensOnTheCurrentRowInsideTheWorkArea) {
  TXlsStringGrid *g = w_->gdResult();
  g->FocusCell(1, 2, true);
  Hover(1, 2);
  w_->gdResultDblClick(*g);
  ASSERT_EQ(w_->cards.size(), 1u);
  EXPECT_EQ(w_->cards[0].row, 2);
  EXPECT_EQ(w_->cards[0].values[1], "B剤"_sj);
  const QPoint below = g->viewport()->mapToGlobal(g->CellRect(1, 2).bottomLeft());
  EXPECT_EQ(w_->cards[0].pos.x(), below.x());

  // Near the screen's bottom-right corner the card is moved back inside.
  const QRect area = w_->screen()->availableGeometry();
  w_->move(area.right() - 150, area.bottom() - 120);
  g->FocusCell(1, 1, true);
  int key = Qt::Key_Return;
  w_->gdResultKeyDown(*g, key, 0);
  ASSERT_EQ(w_->cards.size(), 2u);
  const QRect placed(w_->cards[1].pos, w_->cards[1].size);
  EXPECT_TRUE(area.contains(placed)) << placed.x() << "," << placed.y();

  Hover(1, 0);  // a double click on the caption row opens nothing
  w_->gdResultDblClick(*g);
  EXPECT_EQ(w_->cards.size(), 2u);
}

TEST_F(GridWindowTest, KeepsItsSizeInTheWindowSection) {
  w_->resize(640, 330);
  w_->close();
  TIniFile ini(OptionData->IniFileName);
  EXPECT_EQ(ini.ReadInteger(SEC_WINDOW, "GridWindowWidth", 0), 640);
  EXPECT_EQ(ini.ReadInteger(SEC_WINDOW, "GridWindowHeight", 0), 330);
  QPointer<TTestGrid> next = new TTestGrid(owner_);
  EXPECT_EQ(next->size(), QSize(640, 330));
  next->close();
}

TEST_F(GridWindowTest, SpreadsheetButtonFollowsTheSettingAndDirectHandOffReportsNoData) {
  struct Case {
    int kind;
    const char *action;
  };
  for (const Case &c : {Case{0, "actCopyExcelByHTML"}, Case{1, "actExportCalc"}, Case{2, "actExportWPS"},
                        Case{3, "actExportJustCalc"}}) {
    OptionData->SpreadSheet = static_cast<std::uint8_t>(c.kind);
    QPointer<TfrmGrid> w = new TfrmGrid(owner_);
    EXPECT_EQ(w->ExcelButtonAction(), w->Action(c.action)) << c.kind;
    if (c.kind == 1) {
      EXPECT_EQ(FromQ(w->ExcelButtonText()), "Calc出力"_sj);
    }
    w->close();
  }
  TXlsStringGrid empty;
  Fill(empty, {{"番号"_sj}});
  w_->CopyFromGrid(empty, 0);
  w_->actExportExcelExecute();
  ASSERT_FALSE(boxes_.boxes.empty());
  EXPECT_EQ(boxes_.boxes.back().text, "データ行がありません"_sj);
  EXPECT_EQ(w_->ExcelButtonAction(), w_->Action("actExportExcel"));
}

TEST_F(GridWindowTest, HtmlExportOpensAViewerWithTheWindowsPage) {
  w_->actExportHTMLExecute();
  QPointer<TfrmWebBrowser> viewer = w_->LastViewer();
  ASSERT_TRUE(viewer);
  EXPECT_EQ(viewer->parent(), nullptr);  // a window of its own
  EXPECT_EQ(viewer->Html, w_->BuildHtml(0, OptionData->CssFile).Html);
  EXPECT_TRUE(viewer->isVisible());
  viewer->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(viewer);
}

TEST_F(GridWindowTest, ALargePageIsOfferedAsAFileInsteadOfAViewer) {
  TScopedRecordingDialogs dialogs;
  const TShownPageLimit saved = ShownPageLimit;
  ShownPageLimit = {2, 1000};
  const std::string file = home_.str() + "result.html";
  boxes_.answers = {IDNO, IDNO, IDYES};
  dialogs.answers.push_back({true, file, ""});
  const int built = ResultPagesBuilt;
  w_->actExportHTMLExecute();  // "いいえ": nothing, not even a page built
  w_->actExportWPSExecute();
  EXPECT_EQ(ResultPagesBuilt, built);
  EXPECT_FALSE(w_->LastViewer());
  EXPECT_TRUE(dialogs.files.empty());
  w_->actExportHTMLExecute();  // "はい": the page goes to the file
  ShownPageLimit = saved;
  ASSERT_EQ(boxes_.boxes.size(), 3u);
  EXPECT_NE(boxes_.boxes[1].text.find("件と多いため、表計算ソフトへ出力すると"_sj), std::string::npos);
  EXPECT_NE(boxes_.boxes[2].text.find("検索結果が3件と多いため、HTMLページとして開くと"_sj), std::string::npos);
  EXPECT_FALSE(w_->LastViewer());
  EXPECT_EQ(qmtest::ReadFile(file), w_->BuildHtml(0, StyleSheetPath(OptionData->CssFile)).Html);
}

}  // namespace
