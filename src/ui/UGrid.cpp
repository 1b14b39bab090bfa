#include "ui/UGrid.h"

#include "ui/PickerPlacement.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSplitter>
#include <QToolButton>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "components/DialogServices.h"
#include "components/QtServices.h"
#include "components/qtext.h"
#include "engine/Exception.h"
#include "engine/OutputFile.h"
#include "engine/SakuUtil.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/IniFile.h"
#include "platform/fspath.h"
#include "ui/ImageLists.h"
#include "ui/QlmExportUtils.h"
#include "ui/UOption.h"
#include "ui/UTekiyouCard.h"
#include "ui/UWebBrowser.h"
#include "ui_UGrid.h"

using namespace cp932::literals;

// ---------------------------------------------------------------- the HTML result page

namespace {

const std::string kCrLf = "\r\n";

// Leading and trailing blanks and control characters dropped.
std::string TrimText(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return std::string(s.substr(b, e - b));
}

// The file's lines, each ended by CR LF; false when it cannot be read.
bool ReadLines(const std::string &file_name, std::string &out) {
  std::error_code ec;
  if (file_name.empty() || !std::filesystem::is_regular_file(FsPath(file_name), ec)) return false;
  std::ifstream in(FsPath(file_name), std::ios::binary);
  if (!in) return false;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t e = text.find_first_of("\r\n", i);
    if (e == std::string::npos) e = text.size();
    out.append(text, i, e - i);
    out += kCrLf;
    if (e < text.size() && text[e] == '\r' && e + 1 < text.size() && text[e + 1] == '\n') ++e;
    i = e + 1;
  }
  return true;
}

// The columns a page shows: those wider than 0.
std::vector<int> ShownColumns(const TXlsStringGrid &grid) {
  std::vector<int> shown;
  for (int c = 0; c < grid.ColCount(); ++c)
    if (grid.ColWidths(c) > 0) shown.push_back(c);
  return shown;
}

// Row r of a grid as table lines; every_data_row_odd for the ingredient table.
void TableRow(std::string &out, const TXlsStringGrid &grid, int r, const std::vector<int> &shown,
              bool every_data_row_odd, bool mark_neighbors) {
  const bool fixed = r < grid.FixedRows();
  if (fixed) out += "<tr class=\"header\">";
  else if (mark_neighbors && grid.RowObject(r) == 1) out += "<tr class=\"neighbors\">";
  else if (every_data_row_odd || r % 2 == 1) out += "<tr class=\"odd\">";
  else out += "<tr class=\"even\">";
  out += kCrLf;
  const char *open = fixed ? "<th>" : "<td>";
  const char *close = fixed ? "</th>" : "</td>";
  for (int c : shown) {
    out += '\t';
    out += open;
    out += HtmlEscape(TrimText(grid.CellView(c, r)));
    out += close;
    out += kCrLf;
  }
  out += "</tr>" + kCrLf;
}

void TableRows(std::string &out, const TXlsStringGrid &grid, bool every_data_row_odd, bool mark_neighbors) {
  const std::vector<int> shown = ShownColumns(grid);
  for (int r = 0; r < grid.RowCount(); ++r) TableRow(out, grid, r, shown, every_data_row_odd, mark_neighbors);
}

// What closes the result table and the body.
const std::string kPageTableEnd = "</table>" + kCrLf + "</body>" + kCrLf;

}  // namespace

int ResultPagesBuilt = 0;

void ResultTableSize(const TXlsStringGrid *grid, int &rows, long long &cells) {
  rows = 0;
  cells = 0;
  if (!grid) return;
  rows = std::max(0, grid->RowCount() - grid->FixedRows());
  cells = static_cast<long long>(rows) * static_cast<long long>(ShownColumns(*grid).size());
}

namespace {

// The page without the rows of its result table: Html holds the head, Body the body up to
// the table's opening line.
TResultPage PageWithoutTable(const TResultPageParts &parts) {
  TResultPage page;
  std::string &head = page.Html;
  if (parts.Doctype) head += "<!DOCTYPE HTML>" + kCrLf + "<html lang=\"ja\">" + kCrLf;
  else head += "<html>" + kCrLf;
  head += "<head>" + kCrLf;
  head += "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">" + kCrLf;
  head += "<style type=\"text/css\">" + kCrLf + "<!--" + kCrLf;
  if (!ReadLines(parts.CssFile, head))
    head += "TABLE,TH,TD {border-style: solid;border-width: 1px;border-color:black;border-collapse: collapse;}" +
            kCrLf;
  head += "-->" + kCrLf + "</style>" + kCrLf;

  std::string script_lines;
  if (OptionData && ReadLines(OptionData->TemplateFolder + "/results.js", script_lines))
    page.Script = "<script type=\"text/javascript\">" + kCrLf + script_lines + "</script>" + kCrLf;
  head += page.Script;
  head += "</head>" + kCrLf;

  std::string &body = page.Body;
  if (page.Script.empty()) body += "<body>";
  else if (parts.Kind == 1) body += "<body onload=\"results('libre')\">";
  else if (parts.Kind == 3) body += "<body onload=\"results('just')\">";
  else body += "<body onload=\"results()\">";
  body += kCrLf;
  body += "<h1>農薬登録情報検索結果</h1>"_sj + kCrLf;
  body += "<p class=\"update\">" + parts.LastUpdate + "</p>" + kCrLf;

  if (parts.Yakuzai) {
    // The product name is data like every cell and is escaped the same way.
    body += "<h2>" + HtmlEscape(parts.YakuzaiName) + "</h2>" + kCrLf;
    body += "<h3>剤の概要</h3>"_sj + kCrLf + "<table border=\"1\">" + kCrLf;
    static const char *const kLabels[6] = {"種類名", "製剤毒性", "登録日", "略称", "剤型", "用途"};
    for (int r = 0; r < 6; ++r) {
      std::string value;
      if (parts.Seizai && parts.Seizai->ColCount() > 1 && r < parts.Seizai->RowCount())
        value = parts.Seizai->Cells(1, r);
      body += "<tr><td>" + cp932::FromUtf8(kLabels[r]) + "</td><td>" + HtmlEscape(value) + "</td></tr>" + kCrLf;
    }
    body += "</table>" + kCrLf + "<br>" + kCrLf;
    body += "<h3>有効成分</h3>"_sj + kCrLf + "<table border=\"1\">" + kCrLf;
    if (parts.Seibun) TableRows(body, *parts.Seibun, true, false);
    body += "</table>" + kCrLf + "<br>" + kCrLf;
    body += "<h3>水産動植物への影響に係る使用上の注意事項</h3>"_sj + kCrLf;
    std::string suisan = ReplaceAllText(parts.Suisan, "\r\n", "\n");
    suisan = ReplaceAllText(HtmlEscape(suisan), "\n", "<br>");
    body += "<p class=\"suisan\">" + suisan + "</p>" + kCrLf;
  }

  body += "<table border=\"1\">" + kCrLf;
  return page;
}

}  // namespace

TResultPage BuildResultPage(const TResultPageParts &parts) {
  ++ResultPagesBuilt;
  TResultPage page = PageWithoutTable(parts);
  if (parts.Grid) {
    TableRows(page.Body, *parts.Grid, false, parts.MarkNeighbors);
    ResultTableSize(parts.Grid, page.Rows, page.Cells);
  }
  page.Body += kPageTableEnd;
  page.Html += page.Body;
  page.Html += "</html>";
  return page;
}

bool SaveResultPage(const TResultPageParts &parts, const std::string &file_name) {
  ++ResultPagesBuilt;
  const TXlsStringGrid *grid = parts.Grid;
  TOutputFile file(file_name, grid ? static_cast<std::uint64_t>(grid->RowCount()) : 0);
  auto failed = [&] {
    ErrorBox("ファイル \""_sj + file_name + "\" に保存できませんでした"_sj);
    return false;
  };
  if (!file.IsOpen()) return failed();
  // The separate window's grid is held by nothing else while the events run.
  file.ShowProgressNow();
  const TResultPage frame = PageWithoutTable(parts);
  file.Write(frame.Html);
  file.Write(frame.Body);
  if (grid) {
    // The rows are written one at a time: the page is never held whole.
    const std::vector<int> shown = ShownColumns(*grid);
    std::string row;
    for (int r = 0; r < grid->RowCount(); ++r) {
      row.clear();
      TableRow(row, *grid, r, shown, false, parts.MarkNeighbors);
      file.Write(row);
      if (!file.Step(static_cast<std::uint64_t>(r) + 1)) return false;
    }
  }
  file.Write(kPageTableEnd);
  file.Write("</html>");
  if (file.Commit()) return true;
  return file.Cancelled() ? false : failed();
}

// ---------------------------------------------------------------- the window

namespace {

bool Online() { return !OptionData->OffLine && !OfflineSwitch; }

// The text wrapped in 「 」 with the suffix (both program text).
std::string ItemCaption(const std::string &term, const char *suffix_utf8, const char *prefix_utf8 = "「") {
  return cp932::FromUtf8(prefix_utf8) + term + cp932::FromUtf8(suffix_utf8);
}

bool CaptionIs(const std::string &caption, std::initializer_list<const char *> names_utf8) {
  for (const char *n : names_utf8)
    if (caption == cp932::FromUtf8(n)) return true;
  return false;
}

bool NumberedCaption(const std::string &caption, const char *stem_utf8) {
  const std::string stem = cp932::FromUtf8(stem_utf8);
  return caption.size() == stem.size() + 1 && caption.compare(0, stem.size(), stem) == 0 &&
         caption.back() >= '1' && caption.back() <= '5';
}

QColor HighlightColor(const QWidget *w) { return w->palette().color(QPalette::Highlight); }
QColor HighlightTextColor(const QWidget *w) { return w->palette().color(QPalette::HighlightedText); }

}  // namespace

void ShowProductLookups(QAction *caution, QAction *caution_option, QAction *mixing, QAction *farm,
                        const std::string &product, const std::string &crop, bool online) {
  caution->setText(ToQ(ItemCaption(product, "」の使用上の注意事項をGoogleで検索")));
  mixing->setText(ToQ(ItemCaption(product, "」の混用事例をGoogleで検索")));
  farm->setText(ToQ(ItemCaption(product, "」を農家Webで検索")));
  for (QAction *a : {caution, mixing, farm}) {
    a->setVisible(true);
    a->setEnabled(online);
  }
  if (crop == "だいこん"_sj) {
    caution_option->setText(ToQ(ItemCaption(product, "」の つまみ菜、間引き菜での使用可否をGoogleで検索")));
    caution_option->setVisible(true);
    caution_option->setEnabled(online);
  }
}

TfrmGrid::TfrmGrid(QWidget *owner) : QMainWindow(nullptr, Qt::Window), ui(new Ui::TfrmGrid), FOwner(owner) {
  ui->setupUi(this);
  setAttribute(Qt::WA_DeleteOnClose);
  setAttribute(Qt::WA_QuitOnClose, false);
  if (owner) connect(owner, &QObject::destroyed, this, &QObject::deleteLater);

  BuildMenus();

  TXlsStringGrid *gd = ui->gdResult;
  gd->SetOptions(gd->Options() | goColSizing | goRangeSelect);
  gd->setContextMenuPolicy(Qt::CustomContextMenu);
  gd->setMouseTracking(true);
  gd->viewport()->setMouseTracking(true);
  gd->OnDrawCell = [this](TXlsStringGrid &g, int c, int r, QPainter &p, const QRect &rc, TGridDrawState s) {
    gdResultDrawCell(g, c, r, p, rc, s);
  };
  gd->OnMouseMove = [this](TXlsStringGrid &g, TShiftState s, int x, int y) { gdResultMouseMove(g, s, x, y); };
  gd->OnMouseDown = [this](TXlsStringGrid &g, TMouseButton b, TShiftState s, int x, int y) {
    Guarded([&] { gdResultMouseDown(g, b, s, x, y); });
  };
  gd->OnDblClick = [this](TXlsStringGrid &g) { Guarded([&] { gdResultDblClick(g); }); };
  gd->OnKeyDown = [this](TXlsStringGrid &g, int &key, TShiftState s) { Guarded([&] { gdResultKeyDown(g, key, s); }); };
  connect(gd, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
    Guarded([this] { pmnGridPopup(); });
    FPmnGrid->popup(ui->gdResult->viewport()->mapToGlobal(pos));
  });

  TXlsStringGrid *gs = ui->gdSeibun;
  gs->setContextMenuPolicy(Qt::CustomContextMenu);
  gs->OnDrawCell = [this](TXlsStringGrid &g, int c, int r, QPainter &p, const QRect &rc, TGridDrawState s) {
    gdSeibunDrawCell(g, c, r, p, rc, s);
  };
  gs->OnMouseDown = [this](TXlsStringGrid &g, TMouseButton b, TShiftState s, int x, int y) {
    gdSeibunMouseDown(g, b, s, x, y);
  };
  gs->installEventFilter(this);
  connect(gs, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
    Guarded([this] { pmnGridSeibunPopup(); });
    FPmnGridSeibun->popup(ui->gdSeibun->viewport()->mapToGlobal(pos));
  });
  ui->gdSeizai->OnDrawCell = [this](TXlsStringGrid &g, int c, int r, QPainter &p, const QRect &rc,
                                    TGridDrawState s) { gdSeizaiDrawCell(g, c, r, p, rc, s); };
  ui->gdSeizai->OnColWidthsChanged = [this](TXlsStringGrid &) { pnlSeizaiResize(); };
  ui->pnlSeizai->installEventFilter(this);
  ui->lblGoogle->installEventFilter(this);

  FormCreate();
}

TfrmGrid::~TfrmGrid() = default;

TXlsStringGrid *TfrmGrid::gdResult() const { return ui->gdResult; }
TXlsStringGrid *TfrmGrid::gdSeibun() const { return ui->gdSeibun; }
TXlsStringGrid *TfrmGrid::gdSeizai() const { return ui->gdSeizai; }
QLineEdit *TfrmGrid::edtYakuzai() const { return ui->edtYakuzai; }
QWidget *TfrmGrid::pnlYakuzai() const { return ui->pnlYakuzai; }
void TfrmGrid::SetSuisanText(const std::string &text) { ui->mSuisan->setPlainText(ToQ(text)); }
std::string TfrmGrid::SuisanText() const { return FromQ(ui->mSuisan->toPlainText()); }
QAction *TfrmGrid::ExcelButtonAction() const { return ui->btnExcel->defaultAction(); }
QString TfrmGrid::ExcelButtonText() const { return ui->btnExcel->text(); }
TfrmWebBrowser *TfrmGrid::LastViewer() const { return FLastViewer.data(); }
QAction *TfrmGrid::Action(const char *name) const { return findChild<QAction *>(QString::fromLatin1(name)); }

void TfrmGrid::Guarded(const std::function<void()> &handler) { RunGuarded(handler); }

QAction *TfrmGrid::NewItem(QMenu *menu, const char *name) {
  auto *a = new QAction(this);
  a->setObjectName(QString::fromLatin1(name));
  menu->addAction(a);
  return a;
}

void TfrmGrid::BuildMenus() {
  // Pop-up menu of the result grid.
  FPmnGrid = new QMenu(this);
  FPmnGrid->setObjectName("pmnGrid");
  FPmnGrid->addAction(ui->actCopy);
  FPmnGrid->addAction(ui->actCopyAll);
  FPmnGrid->addSeparator();
  FPmnGrid->addAction(ui->actGoogle);
  NewItem(FPmnGrid, "pmnGoogleChuijiko");
  NewItem(FPmnGrid, "pmnGoogleChuiJikoOption");
  NewItem(FPmnGrid, "pmnGoogleKonyo");
  NewItem(FPmnGrid, "pmnNoukaWebSearch");
  FPmnGrid->addAction(ui->actWeblio);
  FPmnGrid->addAction(ui->actFcgr);
  NewItem(FPmnGrid, "pmnPrdbSearch");
  FPmnGrid->addAction(ui->actGoogleFfcr);
  FPmnGrid->addAction(ui->actSearchNihs);
  NewItem(FPmnGrid, "pmnGene");
  NewItem(FPmnGrid, "pmnBoujo");
  FPmnGrid->addSeparator();
  FPmnGrid->addAction(ui->actSendToTabYakuzai);
  FPmnGrid->addSeparator();
  FPmnGrid->addAction(ui->actDeleteRow);
  FPmnGrid->addAction(ui->actDeleteCol);
  FPmnGrid->addAction(ui->actFixedCol);
  FPmnGrid->addAction(ui->actFixedColOff);

  // Pop-up menu of the ingredient grid.
  FPmnGridSeibun = new QMenu(this);
  FPmnGridSeibun->setObjectName("pmnGridSeibun");
  FPmnGridSeibun->addAction(ui->actGridSeibunCopy);
  FPmnGridSeibun->addAction(ui->actGridSeibunCopyALL);
  FPmnGridSeibun->addSeparator();
  NewItem(FPmnGridSeibun, "pmnGoogleGridSeibun");
  NewItem(FPmnGridSeibun, "pmnWeblioGridSeibun");
  NewItem(FPmnGridSeibun, "pmnFcgrGridSeibun");
  NewItem(FPmnGridSeibun, "pmnPrdbGridSeibun");
  FPmnGridSeibun->addAction(ui->actGoogleFfcr);
  FPmnGridSeibun->addAction(ui->actSearchNihs);

  // The spreadsheet drop-down.
  FDmCalc = new QMenu(this);
  FDmCalc->setObjectName("dmCalc");
  FDmCalc->addAction(ui->actCopyExcelByHTML);
  FDmCalc->addAction(ui->actExportCalc);
  FDmCalc->addAction(ui->actExportWPS);
  FDmCalc->addAction(ui->actExportJustCalc);

  ui->btnHTML->setDefaultAction(ui->actExportHTML);
  ui->btnCopy->setDefaultAction(ui->actCopy);
  ui->btnCopyAll->setDefaultAction(ui->actCopyAll);
  addAction(ui->actCopy);
  addAction(ui->actDeleteRow);

  auto on = [this](QAction *a, void (TfrmGrid::*handler)()) {
    connect(a, &QAction::triggered, this, [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
  };
  on(ui->actCopy, &TfrmGrid::actCopyExecute);
  on(ui->actCopyAll, &TfrmGrid::actCopyAllExecute);
  on(ui->actGridSeibunCopy, &TfrmGrid::actGridSeibunCopyExecute);
  on(ui->actGridSeibunCopyALL, &TfrmGrid::actGridSeibunCopyALLExecute);
  on(ui->actDeleteRow, &TfrmGrid::actDeleteRowExecute);
  on(ui->actDeleteCol, &TfrmGrid::actDeleteColExecute);
  on(ui->actFixedCol, &TfrmGrid::actFixedColExecute);
  on(ui->actFixedColOff, &TfrmGrid::actFixedColOffExecute);
  on(ui->actGoogle, &TfrmGrid::actGoogleExecute);
  on(Action("pmnGoogleChuijiko"), &TfrmGrid::pmnGoogleChuijikoClick);
  on(Action("pmnGoogleChuiJikoOption"), &TfrmGrid::pmnGoogleChuiJikoOptionClick);
  on(Action("pmnGoogleKonyo"), &TfrmGrid::pmnGoogleKonyoClick);
  on(Action("pmnNoukaWebSearch"), &TfrmGrid::pmnNoukaWebSearchClick);
  on(ui->actWeblio, &TfrmGrid::actWeblioExecute);
  on(ui->actFcgr, &TfrmGrid::actFcgrExecute);
  on(Action("pmnPrdbSearch"), &TfrmGrid::pmnPrdbSearchClick);
  on(ui->actGoogleFfcr, &TfrmGrid::actGoogleFfcrExecute);
  on(ui->actSearchNihs, &TfrmGrid::actSearchNihsExecute);
  on(Action("pmnGene"), &TfrmGrid::pmnGeneClick);
  on(Action("pmnBoujo"), &TfrmGrid::pmnBoujoClick);
  on(ui->actSendToTabYakuzai, &TfrmGrid::actSendToTabYakuzaiExecute);
  // The ingredient grid's look-ups take the text clicked there.
  on(Action("pmnGoogleGridSeibun"), &TfrmGrid::actGoogleExecute);
  on(Action("pmnWeblioGridSeibun"), &TfrmGrid::actWeblioExecute);
  on(Action("pmnFcgrGridSeibun"), &TfrmGrid::actFcgrExecute);
  on(Action("pmnPrdbGridSeibun"), &TfrmGrid::pmnPrdbSearchClick);
  on(ui->actExportHTML, &TfrmGrid::actExportHTMLExecute);
  on(ui->actCopyExcelByHTML, &TfrmGrid::actCopyExcelByHTMLExecute);
  on(ui->actExportCalc, &TfrmGrid::actExportCalcExecute);
  on(ui->actExportWPS, &TfrmGrid::actExportWPSExecute);
  on(ui->actCopyJustCalcByHTML, &TfrmGrid::actCopyJustCalcByHTMLExecute);
  on(ui->actExportJustCalc, &TfrmGrid::actExportJustCalcExecute);
  on(ui->actExportExcel, &TfrmGrid::actExportExcelExecute);
}

bool TfrmGrid::eventFilter(QObject *watched, QEvent *e) {
  if (watched == ui->gdSeibun && e->type() == QEvent::FocusOut) gdSeibunExit();
  else if (watched == ui->pnlSeizai && e->type() == QEvent::Resize) pnlSeizaiResize();
  else if (watched == ui->lblGoogle && e->type() == QEvent::MouseButtonRelease &&
           static_cast<QMouseEvent *>(e)->button() == Qt::LeftButton && ui->lblGoogle->isEnabled())
    Guarded([this] { lblGoogleClick(); });
  return QMainWindow::eventFilter(watched, e);
}

// ---------------------------------------------------------------- start and close

void TfrmGrid::FormCreate() {
  TIniFile ini(OptionData->IniFileName);
  resize(std::max(ini.ReadInteger(SEC_WINDOW, "GridWindowWidth", width()), 200),
         std::max(ini.ReadInteger(SEC_WINDOW, "GridWindowHeight", height()), 120));

  const TOptionData &o = *OptionData;
  setFont(FontFromInfo(o.MainFormFont, font()));
  ui->gdResult->setFont(FontFromInfo(o.TekiyouFont, ui->gdResult->font()));
  ui->gdSeibun->setFont(FontFromInfo(o.SeibunGridFont, ui->gdSeibun->font()));
  ui->gdSeizai->setFont(FontFromInfo(o.SeibunGridFont, ui->gdSeizai->font()));
  // A named font comes with its colour, as in the main window.
  const auto color = [](QWidget *w, const TFontInfo &info) {
    if (!info.Name.empty()) SetTextColor(w, StoredFontColor(info));
  };
  color(this, o.MainFormFont);
  color(ui->gdResult, o.TekiyouFont);
  color(ui->gdSeibun, o.SeibunGridFont);
  color(ui->gdSeizai, o.SeibunGridFont);
  FAltFont = FontFromInfo(o.Tekiyou2Font, ui->gdResult->font());
  FAltColor = o.Tekiyou2Font.Name.empty() ? QColor() : StoredFontColor(o.Tekiyou2Font);

  ui->lblGoogle->setEnabled(true);
  QFont link = ui->lblGoogle->font();
  link.setUnderline(true);
  ui->lblGoogle->setFont(link);
  QPalette pal = ui->lblGoogle->palette();
  pal.setColor(QPalette::WindowText, Qt::blue);
  ui->lblGoogle->setPalette(pal);
  ui->lblGoogle->setCursor(Qt::PointingHandCursor);

  if (FOwner) FYakuzaiG = FOwner->findChild<QLineEdit *>(QStringLiteral("eYakuzaiG"));

  // The actions' images, drawn in the sizes the settings choose (another value leaves the
  // layout's). Before the spreadsheet button takes its caption: a new image re-reads the
  // caption of the button's action.
  GiveActionIcons(this);
  if (const int px = ImageListSize(OptionData->BtnImageSize)) ui->ToolBar1->setIconSize(QSize(px, px));
  for (QMenu *m : {FPmnGrid, FPmnGridSeibun, FDmCalc}) SetMenuImageSize(m, ImageListSize(OptionData->MenuImageSize));

  switch (OptionData->SpreadSheet) {
    case 1:
      SetExcelAction(ui->actExportCalc);
      ui->btnExcel->setText(ToQ("Calc出力"_sj));
      break;
    case 2: SetExcelAction(ui->actExportWPS); break;
    case 3: SetExcelAction(ui->actExportJustCalc); break;
    default: SetExcelAction(ui->actCopyExcelByHTML); break;
  }

}

void TfrmGrid::closeEvent(QCloseEvent *e) {
  FormClose();
  QMainWindow::closeEvent(e);
}

void TfrmGrid::FormClose() {
  TIniFile ini(OptionData->IniFileName);
  ini.WriteInteger(SEC_WINDOW, "GridWindowWidth", width());
  ini.WriteInteger(SEC_WINDOW, "GridWindowHeight", height());
  FAltFont = QFont();
}

void TfrmGrid::SetExcelAction(QAction *action) {
  ui->btnExcel->setDefaultAction(action);
  ui->btnExcel->setMenu(FDmCalc);
}

// ---------------------------------------------------------------- copies of the grids

void TfrmGrid::CopyFromGrid(const TXlsStringGrid &source, int target) {
  TXlsStringGrid *g = target == 1 ? ui->gdSeibun : target == 2 ? ui->gdSeizai : ui->gdResult;
  g->BeginUpdate();
  g->SetColCount(source.ColCount());
  g->SetRowCount(source.RowCount());
  g->SetFixedCols(std::min(source.FixedCols(), source.ColCount()));
  g->SetFixedRows(std::min(source.FixedRows(), source.RowCount()));
  for (int r = 0; r < source.RowCount(); ++r)
    for (int c = 0; c < source.ColCount(); ++c) g->SetCells(c, r, source.CellView(c, r));
  for (int c = 0; c < source.ColCount(); ++c) g->SetColWidths(c, source.ColWidths(c));
  for (int r = 0; r < source.RowCount(); ++r) g->SetRowHeights(r, source.RowHeights(r));
  // The copy shows from its first column and row: a new grid starts scrolled past its one
  // fixed column, which a source without fixed columns would otherwise leave hidden.
  g->SetLeftCol(g->FixedCols());
  g->SetTopRow(g->FixedRows());
  g->EndUpdate();
  if (g == ui->gdSeizai) pnlSeizaiResize();
}

// ---------------------------------------------------------------- drawing

bool TfrmGrid::KeywordHit(const TXlsStringGrid &grid, int row) const {
  if (Keywords.empty()) return false;
  const std::string line = JoinCommaText(grid.Rows(row));
  for (const std::string &k : SplitDelimitedText(Keywords)) {
    const std::string word = ReplaceAllText(k, "%", "");
    if (word.empty()) continue;  // an empty word would tint every row
    std::vector<int> at;
    if (FindAllPositions(line, word, at, 1) > 0) return true;
  }
  return false;
}

void PaintResultCell(TXlsStringGrid &grid, int col, int row, QPainter &p, const QRect &rect, TGridDrawState state,
                     const TResultCellLook &look) {
  const int space = std::max(OptionData->GridLineSpace, 0) / 2;
  const bool fixed = state & gdFixed;
  QColor back = grid.palette().color(QPalette::Base);
  QColor fore = grid.palette().color(QPalette::Text);
  QFont font = grid.font();
  const bool selected = look.SelectionShown && (state & (gdSelected | gdFocused)) != 0;
  if (fixed) {
    back = grid.palette().color(QPalette::Button);
    fore = grid.palette().color(QPalette::ButtonText);
  } else if (look.ResultGrid) {
    const bool in_selection = (state & gdSelected) != 0;
    if (OptionData->TekiyouGridEveryOtherLine && !in_selection) {
      if (row % 2 == 1) {
        back = ColorFromCode(OptionData->TekiyouColor);
      } else {
        back = ColorFromCode(OptionData->TekiyouColor2);
        if (look.AltFont) font = *look.AltFont;
        if (look.AltColor.isValid()) fore = look.AltColor;
      }
    }
    if (!in_selection && look.Tinted) back = QColor(0xC0, 0xDC, 0xC0);
    if (look.Marked || in_selection || (state & gdFocused)) {
      back = HighlightColor(&grid);
      fore = HighlightTextColor(&grid);
    }
  } else if (selected) {
    back = HighlightColor(&grid);
    fore = HighlightTextColor(&grid);
  }
  p.fillRect(rect, back);
  p.setPen(fore);
  p.setFont(font);
  const QString text = ToQ(grid.CellView(col, row));
  if (row == 0 && grid.FixedRows() > 0) {
    p.drawText(rect.adjusted(2, 2, -2, -2), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    return;
  }
  // Row heights count the font's em height; lines that are taller than that (those of the
  // CJK fonts here) would lose their foot in the spaced box, so such a row draws in the
  // cell's whole height, its first line centred.
  QRect box = rect.adjusted(2, space, -2, -space);
  // The line's height as laid out, with the fall-back fonts its characters take.
  const int line =
      text.isEmpty() ? 0 : p.boundingRect(QRect(0, 0, 1 << 20, 1 << 20), Qt::TextSingleLine, text).height();
  if (box.height() < line) box = rect.adjusted(2, std::max(0, (rect.height() - line) / 2), -2, 0);
  const bool number = grid.RowCount() > 0 && grid.CellView(col, 0) == "番号"_sj;
  p.drawText(box, (number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop | Qt::TextWordWrap, text);
}

std::string GridSelectionText(const TXlsStringGrid &grid, const std::string &single_cell_text, bool mobile) {
  const TGridRect s = grid.Selection();
  if (s.Left == s.Right && s.Top == s.Bottom) return single_cell_text;
  std::string text;
  for (int r = s.Top; r <= s.Bottom; ++r) {
    for (int c = s.Left; c <= s.Right; ++c) {
      if (c < s.Right && grid.ColWidths(c) <= 0) continue;
      text += grid.CellView(c, r);
      text += mobile || c == s.Right ? "\r\n" : "\t";
    }
    if (mobile) text += "---------\r\n";
  }
  return text;
}

void OpenTekiyouCard(QWidget *owner, TXlsStringGrid &g, const std::function<void(QDialog *)> &run) {
  if (g.Row() < 1 || g.Row() >= g.RowCount()) return;
  QPointer<TDlgTekiyouCard> card = new TDlgTekiyouCard(owner);
  card->Grid = &g;
  card->Header = g.Rows(0);
  card->Row = g.Rows(g.Row());
  card->RowIndex = g.Row();
  QRect cell = g.CellRect(g.Col(), g.Row());
  MoveInsideWorkArea(card, g.viewport()->mapToGlobal(cell.isEmpty() ? QPoint(0, 0) : cell.bottomLeft() + QPoint(0, 1)),
                     &g);
  card->Memo()->setFont(g.font());
  run(card);
  delete card.data();
}

void TfrmGrid::DrawGridCell(TXlsStringGrid &grid, int col, int row, QPainter &p, const QRect &rect,
                            TGridDrawState state, bool result_grid) {
  TResultCellLook look;
  look.ResultGrid = result_grid;
  look.AltFont = &FAltFont;
  look.AltColor = FAltColor;
  if (result_grid) {
    look.Tinted = KeywordHit(grid, row);
    look.Marked = MarkedRow > 0 && row == MarkedRow;
  }
  look.SelectionShown = !(&grid == ui->gdSeibun && !FSeibunSelectionShown);
  PaintResultCell(grid, col, row, p, rect, state, look);
}

void TfrmGrid::gdResultDrawCell(TXlsStringGrid &grid, int col, int row, QPainter &p, const QRect &rect,
                                TGridDrawState state) {
  try {
    DrawGridCell(grid, col, row, p, rect, state, true);
  } catch (...) {
    // a cell that cannot be drawn stays as it is
  }
}

void TfrmGrid::gdSeibunDrawCell(TXlsStringGrid &grid, int col, int row, QPainter &p, const QRect &rect,
                                TGridDrawState state) {
  try {
    DrawGridCell(grid, col, row, p, rect, state, false);
  } catch (...) {
  }
}

void TfrmGrid::gdSeizaiDrawCell(TXlsStringGrid &grid, int col, int row, QPainter &p, const QRect &rect,
                                TGridDrawState state) {
  try {
    DrawGridCell(grid, col, row, p, rect, state, false);
  } catch (...) {
  }
}

void TfrmGrid::pnlSeizaiResize() {
  TXlsStringGrid *g = ui->gdSeizai;
  if (g->ColCount() < 2) return;
  const int w = g->viewport()->width() - g->ColWidths(0) - g->GridLineWidth() * 2;
  if (w > 0 && w != g->ColWidths(1)) g->SetColWidths(1, w);
}

void TfrmGrid::gdSeibunExit() {
  FSeibunSelectionShown = false;
  ui->gdSeibun->viewport()->update();
}

// ---------------------------------------------------------------- mouse and keys

void TfrmGrid::gdResultMouseMove(TXlsStringGrid &grid, TShiftState, int x, int y) {
  grid.MouseToCell(x, y, FMouseCol, FMouseRow);
}

void TfrmGrid::gdResultMouseDown(TXlsStringGrid &grid, TMouseButton button, TShiftState shift, int x, int y) {
  grid.MouseToCell(x, y, FMouseCol, FMouseRow);
  const TGridRect s = grid.Selection();
  FPressInSelection = FMouseCol >= s.Left && FMouseCol <= s.Right && FMouseRow >= s.Top && FMouseRow <= s.Bottom;
  if (button == mbRight) {
    if (FMouseRow == 0) return;
    if (!FPressInSelection && FMouseCol >= 0 && FMouseRow >= 0) grid.FocusCell(FMouseCol, FMouseRow, true);
  }
  if (FMouseRow != 0 || FMouseCol < 0) return;
  TBusyCursor busy;
  const bool numeric = grid.CellView(FMouseCol, 0) == "番号"_sj;
  TXlSortOrder order = xlSortAsc;
  if (FMouseCol == FLastSortCol) order = FLastSortOrder == xlSortAsc ? xlSortDesc : xlSortAsc;
  grid.SortGrid(button, shift, x, y, order, numeric);
  FLastSortCol = FMouseCol;
  FLastSortOrder = order;
}

void TfrmGrid::gdResultDblClick(TXlsStringGrid &) {
  if (FMouseRow >= 1) OpenCard();
}

void TfrmGrid::gdResultKeyDown(TXlsStringGrid &grid, int &key, TShiftState) {
  // Enter opens the card of the current row; the keyboard has no mouse row of its own.
  if ((key == Qt::Key_Return || key == Qt::Key_Enter) && grid.Row() >= std::max(grid.FixedRows(), 1)) {
    key = 0;
    OpenCard();
  }
}

void TfrmGrid::RunCard(TDlgTekiyouCard *card) { card->exec(); }

void TfrmGrid::OpenCard() {
  OpenTekiyouCard(this, *ui->gdResult, [this](QDialog *d) { RunCard(static_cast<TDlgTekiyouCard *>(d)); });
}

// ---------------------------------------------------------------- copies

std::string TfrmGrid::CopyText(const TXlsStringGrid &grid, const std::string &single_cell_text) const {
  return GridSelectionText(grid, single_cell_text);
}

void TfrmGrid::actCopyExecute() { SetClipboardText(CopyText(*ui->gdResult, FClickedText)); }

void TfrmGrid::actCopyAllExecute() { ui->gdResult->CopyClipboard(); }

void TfrmGrid::actGridSeibunCopyExecute() {
  TXlsStringGrid *g = ui->gdSeibun;
  std::string cell;
  if (g->Col() >= 0 && g->Col() < g->ColCount() && g->Row() >= 0 && g->Row() < g->RowCount())
    cell = g->Cells(g->Col(), g->Row());
  SetClipboardText(CopyText(*g, cell));
}

void TfrmGrid::actGridSeibunCopyALLExecute() { ui->gdSeibun->CopyClipboard(); }

// ---------------------------------------------------------------- rows and columns

void RemoveCurrentRows(TXlsStringGrid &g) {
  const int r = g.Row(), c = g.Col();
  if (r < g.TopRow() || r >= g.TopRow() + std::max(g.VisibleRowCount(), 1) || c < g.LeftCol() ||
      c >= g.LeftCol() + std::max(g.VisibleColCount(), 1))
    return;
  if (r < g.FixedRows()) return;
  if (!(g.Options() & goRowSelect)) {
    g.RemoveRow(r);
    return;
  }
  const TGridRect s = g.Selection();
  for (int i = s.Bottom; i >= s.Top; --i)
    if (i >= g.FixedRows()) g.RemoveRow(i);
}

void TfrmGrid::actDeleteRowExecute() { RemoveCurrentRows(*ui->gdResult); }

void TfrmGrid::actDeleteColExecute() {
  if (FMouseCol >= 0 && FMouseCol < ui->gdResult->ColCount()) ui->gdResult->RemoveColumn(FMouseCol);
}

void TfrmGrid::actFixedColExecute() {
  TXlsStringGrid *g = ui->gdResult;
  // A grid keeps at least one scrolling column.
  if (g->Col() + 1 < g->ColCount()) g->SetFixedCols(g->Col() + 1);
}

void TfrmGrid::actFixedColOffExecute() { ui->gdResult->SetFixedCols(0); }

// ---------------------------------------------------------------- pop-up menus

void TfrmGrid::pmnGridPopup() {
  TXlsStringGrid *g = ui->gdResult;
  const bool cell = FMouseCol >= 0 && FMouseCol < g->ColCount() && FMouseRow >= 0 && FMouseRow < g->RowCount();
  FClickedText = cell ? g->Cells(FMouseCol, FMouseRow) : std::string();
  FSendText = FClickedText;
  const std::string caption = cell && g->RowCount() > 0 ? g->Cells(FMouseCol, 0) : std::string();
  std::string crop;
  if (cell)
    for (int c = 0; c < g->ColCount(); ++c)
      if (g->CellView(c, 0) == "作物名"_sj) {
        crop = g->Cells(c, FMouseRow);
        break;
      }
  const bool online = Online();
  const std::string text = FClickedText;

  QAction *google = ui->actGoogle, *send = ui->actSendToTabYakuzai;
  QAction *chui = Action("pmnGoogleChuijiko"), *chuiOpt = Action("pmnGoogleChuiJikoOption"),
          *konyo = Action("pmnGoogleKonyo"), *nouka = Action("pmnNoukaWebSearch"),
          *prdb = Action("pmnPrdbSearch"), *gene = Action("pmnGene"), *boujo = Action("pmnBoujo");
  QAction *lookups[] = {google, chui, chuiOpt, konyo, nouka, ui->actWeblio, ui->actFcgr, prdb,
                        ui->actGoogleFfcr, ui->actSearchNihs, gene, boujo, send};
  for (QAction *a : lookups) a->setVisible(false);

  // The caption row (or no cell) offers the column commands only.
  if (!cell || FMouseRow == 0) {
    ui->actCopy->setEnabled(false);
    ui->actDeleteRow->setVisible(false);
    ui->actDeleteCol->setVisible(true);
    ui->actFixedCol->setVisible(true);
    ui->actFixedColOff->setVisible(true);
    return;
  }
  ui->actCopy->setEnabled(true);
  ui->actDeleteRow->setVisible(true);
  ui->actDeleteCol->setVisible(false);
  ui->actFixedCol->setVisible(false);
  ui->actFixedColOff->setVisible(false);
  bool web = !text.empty();

  // Product, ingredient, group and number cells can be sent to the chemical tab.
  if (!text.empty()) {
    if (CaptionIs(caption, {"農薬の種類", "農薬通称"}) || NumberedCaption(caption, "成分") ||
        NumberedCaption(caption, "系統")) {
      send->setText(ToQ(ItemCaption(text, "」を薬剤タブで検索")));
      send->setVisible(true);
    } else if (CaptionIs(caption, {"農薬の名称"})) {
      if (g->CellView(0, 0) == "番号"_sj) {
        // The registration number goes to the chemical tab; the look-ups keep the name.
        const std::string number = g->Cells(0, FMouseRow);
        send->setText(ToQ(ItemCaption(number + ": " + text, "」を薬剤タブで検索")));
        FSendText = number;
      } else {
        send->setText(ToQ(ItemCaption(text, "」を薬剤タブで検索")));
      }
      send->setVisible(true);
    } else if (CaptionIs(caption, {"番号"})) {
      send->setText(ToQ(ItemCaption(text, "」を薬剤タブで検索", "登録番号「")));
      send->setVisible(true);
    } else if (NumberedCaption(caption, "RAC")) {
      send->setText(ToQ(ItemCaption(text, "」を薬剤タブで検索")));
      send->setVisible(true);
      web = false;
    }
  }

  // A product name offers its caution, recommendation and retailer look-ups.
  if (CaptionIs(caption, {"農薬の名称", "農薬通称"})) {
    FProductName = text;
    ShowProductLookups(chui, chuiOpt, konyo, nouka, text, crop, online);
  }

  // An ingredient name offers the dictionary and residue-limit look-ups.
  if (NumberedCaption(caption, "成分")) {
    const std::string iso = text.empty() ? text : FormatIsoName(text);
    ui->actWeblio->setText(ToQ(ItemCaption(text, "」を Weblio で検索")));
    ui->actFcgr->setText(ToQ(ItemCaption(iso, "」を フジテレビ商品研究所で検索")));
    prdb->setText(ToQ(ItemCaption(iso, "」を 日本食品衛生学会残留農薬基準値データベースで検索(&N)")));
    for (QAction *a : {ui->actWeblio, ui->actFcgr, prdb}) {
      a->setVisible(!text.empty());
      a->setEnabled(online);
    }
    ui->actGoogleFfcr->setVisible(true);
    ui->actSearchNihs->setVisible(true);
    ui->actGoogleFfcr->setEnabled(online);
    ui->actSearchNihs->setEnabled(online);
  }

  // Pests, diseases and weeds are looked up together with the crop they were registered for.
  if (CaptionIs(caption, {"適用病害虫雑草名"})) {
    const int cid = AcisDB ? AcisDB->ByochuCid(text) : 0;
    if (cid == 1 || cid == 2) FClickedText = text + " " + crop;
    gene->setVisible(cid == 1);
    boujo->setVisible(cid >= 1 && cid <= 3);
    gene->setText(ToQ(ItemCaption(FClickedText, "」をGoogleで農業生物資源サイト内検索")));
    boujo->setText(ToQ(ItemCaption(FClickedText, (std::string("」をGoogleで") + kPestControlSiteName + "サイト内検索").c_str())));
    gene->setEnabled(online);
    boujo->setEnabled(online);
  }

  // Counts and amounts are not searched on the web.
  if (CaptionIs(caption, {"混合数", "本剤の使用回数", "散布液量", "製剤毒性"}) || NumberedCaption(caption, "回数"))
    web = false;

  google->setText(ToQ(ItemCaption(FClickedText, "」をGoogleで検索")));
  google->setVisible(web);
  google->setEnabled(online);
}

void TfrmGrid::gdSeibunMouseDown(TXlsStringGrid &grid, TMouseButton, TShiftState, int x, int y) {
  grid.MouseToCell(x, y, FSeibunCol, FSeibunRow);
  FSeibunSelectionShown = true;
}

void TfrmGrid::pmnGridSeibunPopup() {
  TXlsStringGrid *g = ui->gdSeibun;
  QAction *google = Action("pmnGoogleGridSeibun"), *weblio = Action("pmnWeblioGridSeibun"),
          *fcgr = Action("pmnFcgrGridSeibun"), *prdb = Action("pmnPrdbGridSeibun");
  for (QAction *a : {google, weblio, fcgr, prdb, ui->actGoogleFfcr, ui->actSearchNihs}) a->setVisible(false);
  const bool cell = FSeibunCol >= 0 && FSeibunCol < g->ColCount() && FSeibunRow >= 0 && FSeibunRow < g->RowCount();
  if (!cell) return;
  FClickedText = g->Cells(FSeibunCol, FSeibunRow);
  const std::string &text = FClickedText;
  const std::string caption = g->Cells(FSeibunCol, 0);
  const bool online = Online();
  if (CaptionIs(caption, {"有効成分", "総使用回数における有効成分", "ISO物質名"})) {
    const std::string iso = text.empty() ? text : FormatIsoName(text);
    google->setText(ToQ(ItemCaption(text, "」を Google で検索")));
    weblio->setText(ToQ(ItemCaption(text, "」を Weblio で検索")));
    fcgr->setText(ToQ(ItemCaption(iso, "」を Google(フジテレビ商品研究所サイト内)で検索")));
    prdb->setText(ToQ(ItemCaption(iso, "」を 日本食品衛生学会残留農薬基準値データベースで検索")));
    for (QAction *a : {google, weblio, fcgr, prdb}) {
      a->setVisible(!text.empty());
      a->setEnabled(online);
    }
  } else if (CaptionIs(caption, {"系統", "RAC系統", "作用点", "作用機構", "FRACグループ"})) {
    google->setText(ToQ(ItemCaption(text, "」を Google で検索")));
    google->setVisible(!text.empty());
    google->setEnabled(online);
  }
}

// ---------------------------------------------------------------- look-ups

void TfrmGrid::actGoogleExecute() { OpenWebSearch(this, FClickedText); }

void TfrmGrid::lblGoogleClick() {
  const std::string name = FromQ(ui->edtYakuzai->text());
  OpenWebSearch(this, name.size() > 6 ? name.substr(6) : std::string());
}

void TfrmGrid::pmnGoogleChuijikoClick() {
  OpenWebSearch(this, "\"" + FProductName + "\" \"" + "使用上の注意"_sj + "\"");
}

void TfrmGrid::pmnGoogleChuiJikoOptionClick() {
  OpenWebSearch(this, "\"" + FProductName + "\" \"" + "使用上の注意"_sj + "\" " + "つまみ菜|間引き菜"_sj + " \"" +
                          "使用しない"_sj + "\"");
}

void TfrmGrid::pmnGoogleKonyoClick() {
  OpenWebSearch(this, "\"" + FProductName + "\" \"" + "混用事例"_sj + "\"");
}

void TfrmGrid::pmnNoukaWebSearchClick() { OpenFarmProductSearch(this, FProductName); }
void TfrmGrid::actWeblioExecute() { OpenOnlineDictionary(this, FClickedText); }
void TfrmGrid::actFcgrExecute() { OpenProductLabSiteSearch(this, FClickedText); }
void TfrmGrid::pmnPrdbSearchClick() { OpenPesticideDatabasePage(this, FClickedText); }
void TfrmGrid::actGoogleFfcrExecute() { OpenFoundationSiteSearch(this, FClickedText); }
void TfrmGrid::actSearchNihsExecute() { OpenChemicalInfoSearch(this, FClickedText); }
void TfrmGrid::pmnGeneClick() { OpenPlantDiseaseSiteSearch(this, FClickedText); }
void TfrmGrid::pmnBoujoClick() { OpenPestControlSiteSearch(this, FClickedText); }

void TfrmGrid::actSendToTabYakuzaiExecute() {
  if (FYakuzaiG) FYakuzaiG->setText(ToQ(FSendText));
  emit SendToTabYakuzai(FSendText);
}

// ---------------------------------------------------------------- exports

TResultPageParts TfrmGrid::PageParts(int kind, const std::string &css_file) const {
  TResultPageParts parts;
  parts.Kind = kind;
  parts.CssFile = css_file;
  parts.Doctype = false;
  parts.LastUpdate = AcisDB ? AcisDB->LastUpdate() : std::string();
  parts.Grid = ui->gdResult;
  parts.MarkNeighbors = GridKind == 0;
  if (GridKind == 2) {
    parts.Yakuzai = true;
    parts.YakuzaiName = FromQ(ui->edtYakuzai->text());
    parts.Seizai = ui->gdSeizai;
    parts.Seibun = ui->gdSeibun;
    parts.Suisan = SuisanText();
  }
  return parts;
}

TResultPage TfrmGrid::BuildHtml(int kind, const std::string &css_file) const {
  return BuildResultPage(PageParts(kind, css_file));
}

std::string StyleSheetPath(const std::string &css_file) {
  if (css_file.empty() || css_file.find('/') != std::string::npos || css_file.find('\\') != std::string::npos)
    return css_file;
  return OptionData->CssFolder + "/" + css_file;
}

// Measured on a busy machine: 5,000 rows of 20 cells took 13 s to lay out, 20,000 rows 65 s, and at
// 40,000 rows the browser's page process died.
TShownPageLimit ShownPageLimit = {10000, 150000};

bool OfferLargePageAsFile(QWidget *owner, const TResultPageParts &parts, bool for_spreadsheet) {
  int rows = 0;
  long long cells = 0;
  ResultTableSize(parts.Grid, rows, cells);
  if (rows <= ShownPageLimit.Rows && cells <= ShownPageLimit.Cells) return false;
  const std::string risk = for_spreadsheet
                               ? "件と多いため、表計算ソフトへ出力すると長い時間応答しなくなるおそれがあります。"_sj +
                                     "\r\n" + "出力せずにHTMLファイルとして保存しますか？"_sj + "\r\n" +
                                     "「いいえ」を選ぶと出力を取りやめます。"_sj
                               : "件と多いため、HTMLページとして開くと長い時間応答しなくなるおそれがあります。"_sj +
                                     "\r\n" + "開かずにHTMLファイルとして保存しますか？"_sj;
  const int answer =
      MsgBox("検索結果が"_sj + std::to_string(rows) + risk, "確認"_sj, MB_YESNO | MB_ICONQUESTION);
  if (answer != IDYES) return true;
  TFileDialogRequest r;
  r.Save = true;
  r.Owner = owner;
  r.InitialDir = GetSpecialFolderPath(CSIDL_PERSONAL);
  r.DefaultExt = "html";
  r.Filter = "Web ページ(*.htm;*.html)|*.htm;*.html|すべてのファイル(*.*)|*.*"_sj;
  r.OverwritePrompt = true;
  const TDialogAnswer a = DialogServices().FileDialog(r);
  if (!a.Ok || a.Path.empty()) return true;
  SaveResultPage(parts, a.Path);
  return true;
}

TfrmWebBrowser *ShowPageInViewer(QWidget *owner, const TResultPageParts &parts, const QString &caption) {
  if (OfferLargePageAsFile(owner, parts, false)) return nullptr;
  const TResultPage page = BuildResultPage(parts);
  auto *viewer = new TfrmWebBrowser(owner);
  viewer->Html = page.Html;
  viewer->BodyHtml = page.Body;
  viewer->ScriptHtml = page.Script;
  viewer->setWindowTitle(caption);
  viewer->show();
  return viewer;
}

void HandPageToSpreadsheet(QWidget *owner, const TResultPageParts &parts, const QString &caption, int kind) {
  static void (TfrmWebBrowser::*const kExport[4])() = {
      &TfrmWebBrowser::actExportExcelExecute, &TfrmWebBrowser::actExportCalcExecute,
      &TfrmWebBrowser::actExportWPSExecute, &TfrmWebBrowser::actExportJustCalcExecute};
  if (OfferLargePageAsFile(owner, parts, true)) return;
  const TResultPage page = BuildResultPage(parts);
  std::unique_ptr<TfrmWebBrowser> viewer(new TfrmWebBrowser(owner));
  viewer->setAttribute(Qt::WA_DeleteOnClose, false);
  viewer->Html = page.Html;
  viewer->BodyHtml = page.Body;
  viewer->ScriptHtml = page.Script;
  viewer->setWindowTitle(caption);
  viewer->showMinimized();
  ((*viewer).*kExport[kind >= 0 && kind < 4 ? kind : 0])();
}

int RunDirectHandOff(TXlsStringGrid &g, bool just_calc) {
  g.FreezePanesRow = 2;
  g.FreezePanesCol = 1;
  g.VerticalRangeRow = 0;
  g.VerticalRangeCol = 0;
  g.PageOrientation = xlLandscape;
  g.CellBorderWeight = bwHairline;
  return just_calc ? g.CopyJustCalc() : g.CopyExcel();
}

void TfrmGrid::actExportHTMLExecute() {
  FLastViewer = ShowPageInViewer(this, PageParts(0, StyleSheetPath(OptionData->CssFile)),
                                 windowTitle() + QStringLiteral("(HTML)"));
}

void TfrmGrid::HandOffByHtml(int kind) {
  HandPageToSpreadsheet(this, PageParts(kind, OptionData->CssFolder + "/" + OptionData->ExportssCssFile),
                        windowTitle() + QStringLiteral("(HTML)"), kind);
}

void TfrmGrid::actCopyExcelByHTMLExecute() {
  SetExcelAction(ui->actCopyExcelByHTML);
  OptionData->SpreadSheet = 0;
  HandOffByHtml(0);
}

void TfrmGrid::actExportCalcExecute() {
  if (!ui->gdResult->isVisible()) return;
  SetExcelAction(ui->actExportCalc);
  ui->btnExcel->setText(ToQ("Calc出力"_sj));
  OptionData->SpreadSheet = 1;
  HandOffByHtml(1);
}

void TfrmGrid::actExportWPSExecute() {
  SetExcelAction(ui->actExportWPS);
  OptionData->SpreadSheet = 2;
  HandOffByHtml(2);
}

void TfrmGrid::actCopyJustCalcByHTMLExecute() {
  SetExcelAction(ui->actCopyJustCalcByHTML);
  OptionData->SpreadSheet = 3;
  HandOffByHtml(3);
}

void TfrmGrid::DirectHandOff(bool just_calc) {
  SetExcelAction(just_calc ? ui->actExportJustCalc : ui->actExportExcel);
  const int result = RunDirectHandOff(*ui->gdResult, just_calc);
  switch (result) {
    case 2: ErrorBox("データ行がありません"_sj); break;
    case -3: ErrorBox("エラー：バッファーオーバーフロー"_sj); break;
    case -2: ErrorBox(just_calc ? "JustCalc を起動できません(OLEエラー)"_sj : "Excelを起動できません(OLEエラー)"_sj); break;
    case -1: ErrorBox(just_calc ? "JustCalc がインストールされていません"_sj : "Excelがインストールされていません"_sj); break;
    default: break;
  }
}

void TfrmGrid::actExportJustCalcExecute() { DirectHandOff(true); }
void TfrmGrid::actExportExcelExecute() { DirectHandOff(false); }
