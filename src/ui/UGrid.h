// The separate result window: a detached, modeless copy of a search result that the user
// keeps beside the main window, copies from, sorts, trims, looks terms up from, and exports
// as an HTML page or to a spreadsheet program. The HTML result page that every result view
// writes is built here too (BuildResultPage).
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QColor>
#include <QFont>
#include <functional>
#include <memory>
#include <string>

#include "components/grid/ExcelUtil.h"

class QAction;
class QDialog;
class QPainter;
class QMenu;
class QLineEdit;
class TDlgTekiyouCard;
class TfrmWebBrowser;

namespace Ui {
class TfrmGrid;
}

// ---- The HTML result page ----

// What a result page is made of. Texts are program text (CP932).
struct TResultPageParts {
  int Kind = 0;                   // 0 Excel or a plain page, 1 Calc, 2 WPS, 3 JustCalc
  std::string CssFile;            // style sheet; a missing file gives the built-in table style
  bool Doctype = true;            // "<!DOCTYPE HTML>" and "<html lang="ja">"; else a bare "<html>"
  std::string LastUpdate;         // the data date
  const TXlsStringGrid *Grid = nullptr;  // the result table
  bool MarkNeighbors = false;     // rows whose object is 1 get the class "neighbors"
  // The chemical part, written when Yakuzai is set.
  bool Yakuzai = false;
  std::string YakuzaiName;
  const TXlsStringGrid *Seizai = nullptr;  // column 1, rows 0 to 5
  const TXlsStringGrid *Seibun = nullptr;
  std::string Suisan;                      // line breaks become "<br>"
};

struct TResultPage {
  std::string Html;    // the whole page
  std::string Body;    // from the body tag to "</body>" and its line end
  std::string Script;  // the script block, empty without "results.js"
  int Rows = 0;          // data rows of the result table
  long long Cells = 0;   // its cells in shown columns
};

// The largest result table a page is opened with in the browser: beyond it the browser takes
// minutes and gigabytes to lay the page out. Tests lower it.
struct TShownPageLimit {
  int Rows;
  long long Cells;
};
extern TShownPageLimit ShownPageLimit;

// Every line ends with CR LF except the closing "</html>". The script comes from
// "results.js" in the template folder when it is there.
TResultPage BuildResultPage(const TResultPageParts &parts);
// The page written to the file, one row at a time under the progress window (TOutputFile):
// false when it was cancelled or could not be written (then reported), and the file is then
// as it was before.
bool SaveResultPage(const TResultPageParts &parts, const std::string &file_name);
// The data rows and the cells in shown columns of the grid's table, as its page would hold
// them: judged from the grid, without building the page.
void ResultTableSize(const TXlsStringGrid *grid, int &rows, long long &cells);
// Pages built so far (the tests see that a page is built only once it is used).
extern int ResultPagesBuilt;

// ---- What the main window's result grids and this window share ----

// How a result-grid cell is painted beyond its text.
struct TResultCellLook {
  bool ResultGrid = true;        // alternate rows, tint and marked row apply
  bool Tinted = false;           // the neighbouring-crop (or keyword) tint, unless selected
  bool Marked = false;           // drawn in the selection colours
  bool SelectionShown = true;    // false: a selected cell is drawn as unselected
  const QFont *AltFont = nullptr;  // the even-row font
  QColor AltColor;                 // its colour; invalid: the grid's text colour
};
// Fills the cell and draws its text: data cells word-wrapped (right-aligned under "番号"),
// the header row on one line, vertically centred.
void PaintResultCell(TXlsStringGrid &grid, int col, int row, QPainter &p, const QRect &rect, TGridDrawState state,
                     const TResultCellLook &look);
// The clipboard text of the grid's selection: a single cell gives single_cell_text; else per
// row the cells from left to right, a column of width 0 left out except the last one, TAB
// between cells and CR LF after the row. Mobile: every cell on a line of its own and a line
// "---------" after each row.
std::string GridSelectionText(const TXlsStringGrid &grid, const std::string &single_cell_text, bool mobile = false);
// Removes the current row when it is in view; in row-select mode every selected row, from
// the bottom up. Header rows stay.
void RemoveCurrentRows(TXlsStringGrid &grid);
// The product look-ups of a grid popup shown for the product (the thinning-greens caution
// only for the crop "だいこん"), enabled unless offline.
void ShowProductLookups(QAction *caution, QAction *caution_option, QAction *mixing, QAction *farm,
                        const std::string &product, const std::string &crop, bool online);
// The result-row card of the grid's current row, below the current cell and inside the work
// area, run by Run (modal) and released.
void OpenTekiyouCard(QWidget *owner, TXlsStringGrid &grid, const std::function<void(QDialog *)> &run);

// The style sheet named by a setting: a bare file name lies in the style-sheet folder, a
// name with a folder is used as it is.
std::string StyleSheetPath(const std::string &css_file);
// A page larger than ShownPageLimit is not opened: the user is asked (with the row count)
// whether to save it as an HTML file instead, the question worded for the viewer or, with
// for_spreadsheet, for the spreadsheet hand-off. The size is judged from the grid, and the
// page is built only when it is saved. True when the page was too large.
bool OfferLargePageAsFile(QWidget *owner, const TResultPageParts &parts, bool for_spreadsheet);
// A new modeless HTML viewer owned by owner, showing the page of the parts; none for a page
// too large (OfferLargePageAsFile).
TfrmWebBrowser *ShowPageInViewer(QWidget *owner, const TResultPageParts &parts, const QString &caption);
// The page handed to a spreadsheet program (kind 0 Excel, 1 Calc, 2 WPS, 3 JustCalc)
// through a minimised viewer, which is freed afterwards; a page too large is offered as a
// file instead.
void HandPageToSpreadsheet(QWidget *owner, const TResultPageParts &parts, const QString &caption, int kind);
// The direct hand-off of a grid: frozen panes at row 2, column 1, landscape, hairline
// borders, then CopyExcel or CopyJustCalc; their result.
int RunDirectHandOff(TXlsStringGrid &grid, bool just_calc);

// ---- The window ----

class TfrmGrid : public QMainWindow {
  Q_OBJECT

 public:
  // A top-level window with its own task-bar button, not owned by the main window's frame;
  // it frees itself when closed, and goes with its owner.
  explicit TfrmGrid(QWidget *owner);
  ~TfrmGrid() override;

  // Set by the creator before showing.
  std::uint8_t GridKind = 0;  // 0 crop, 1 pest/disease, 2 chemical, 3 fixed procedure, 4 SQL
  std::string Keywords;       // comma list; rows holding one of them are tinted
  int MarkedRow = 0;          // data row drawn in the selection colours; 0 = none

  // Copies the counts, fixed counts, every cell's text, column widths and row heights of
  // source; target 1 gdSeibun, 2 gdSeizai, anything else gdResult.
  void CopyFromGrid(const TXlsStringGrid &source, int target);

  TXlsStringGrid *gdResult() const;
  TXlsStringGrid *gdSeibun() const;
  TXlsStringGrid *gdSeizai() const;
  QLineEdit *edtYakuzai() const;
  QWidget *pnlYakuzai() const;
  // The product's caution text (memo mSuisan).
  void SetSuisanText(const std::string &text);
  std::string SuisanText() const;
  QMenu *pmnGrid() const { return FPmnGrid; }
  QMenu *pmnGridSeibun() const { return FPmnGridSeibun; }
  QMenu *dmCalc() const { return FDmCalc; }
  // The tool bar's spreadsheet button and its current action.
  QAction *ExcelButtonAction() const;
  QString ExcelButtonText() const;
  // An action or pop-up item by its name (actCopy, pmnGoogleKonyo ...).
  QAction *Action(const char *name) const;

  // The clicked text, the product name of the look-ups and the cell under the mouse.
  const std::string &ClickedText() const { return FClickedText; }
  const std::string &ProductName() const { return FProductName; }
  int MouseCol() const { return FMouseCol; }
  int MouseRow() const { return FMouseRow; }

  // The page of this window for the spreadsheet kind and style sheet, and what it is made of.
  TResultPage BuildHtml(int kind, const std::string &css_file) const;
  TResultPageParts PageParts(int kind, const std::string &css_file) const;

  // Handlers.
  void FormCreate();
  void FormClose();
  void gdResultDrawCell(TXlsStringGrid &grid, int col, int row, QPainter &p, const QRect &rect,
                        TGridDrawState state);
  void gdResultMouseMove(TXlsStringGrid &grid, TShiftState shift, int x, int y);
  void gdResultMouseDown(TXlsStringGrid &grid, TMouseButton button, TShiftState shift, int x, int y);
  void gdResultDblClick(TXlsStringGrid &grid);
  void gdResultKeyDown(TXlsStringGrid &grid, int &key, TShiftState shift);
  void pmnGridPopup();
  void gdSeibunDrawCell(TXlsStringGrid &grid, int col, int row, QPainter &p, const QRect &rect,
                        TGridDrawState state);
  void gdSeibunMouseDown(TXlsStringGrid &grid, TMouseButton button, TShiftState shift, int x, int y);
  void gdSeibunExit();
  void pmnGridSeibunPopup();
  void gdSeizaiDrawCell(TXlsStringGrid &grid, int col, int row, QPainter &p, const QRect &rect,
                        TGridDrawState state);
  void pnlSeizaiResize();
  void lblGoogleClick();

  void actCopyExecute();
  void actCopyAllExecute();
  void actGridSeibunCopyExecute();
  void actGridSeibunCopyALLExecute();
  void actDeleteRowExecute();
  void actDeleteColExecute();
  void actFixedColExecute();
  void actFixedColOffExecute();
  void actGoogleExecute();
  void pmnGoogleChuijikoClick();
  void pmnGoogleChuiJikoOptionClick();
  void pmnGoogleKonyoClick();
  void pmnNoukaWebSearchClick();
  void actWeblioExecute();
  void actFcgrExecute();
  void pmnPrdbSearchClick();
  void actGoogleFfcrExecute();
  void actSearchNihsExecute();
  void pmnGeneClick();
  void pmnBoujoClick();
  void actSendToTabYakuzaiExecute();
  void actExportHTMLExecute();
  void actCopyExcelByHTMLExecute();
  void actExportCalcExecute();
  void actExportWPSExecute();
  void actCopyJustCalcByHTMLExecute();
  void actExportJustCalcExecute();
  void actExportExcelExecute();

  // The window the last HTML page went to (the viewer of "HTML出力").
  TfrmWebBrowser *LastViewer() const;

 signals:
  // The send-to-chemical-tab command: the main window stores the text as its send-to text
  // and runs its own send-to-chemical-tab command.
  void SendToTabYakuzai(const std::string &text);

 protected:
  void closeEvent(QCloseEvent *e) override;
  bool eventFilter(QObject *watched, QEvent *e) override;
  // Shows the result-row card modally (tests replace it).
  virtual void RunCard(TDlgTekiyouCard *card);

 private:
  void BuildMenus();
  void SetExcelAction(QAction *action);
  void Guarded(const std::function<void()> &handler);
  void OpenCard();
  void DrawGridCell(TXlsStringGrid &grid, int col, int row, QPainter &p, const QRect &rect,
                    TGridDrawState state, bool result_grid);
  bool KeywordHit(const TXlsStringGrid &grid, int row) const;
  void HandOffByHtml(int kind);
  void DirectHandOff(bool just_calc);
  QAction *NewItem(QMenu *menu, const char *name);
  std::string CopyText(const TXlsStringGrid &grid, const std::string &single_cell_text) const;

  std::unique_ptr<Ui::TfrmGrid> ui;
  QPointer<QWidget> FOwner;
  QPointer<QLineEdit> FYakuzaiG;  // the main window's chemical-tab edit
  QMenu *FPmnGrid = nullptr;
  QMenu *FPmnGridSeibun = nullptr;
  QMenu *FDmCalc = nullptr;
  int FMouseCol = -1, FMouseRow = -1;
  int FSeibunCol = -1, FSeibunRow = -1;
  std::string FClickedText;
  std::string FSendText;
  std::string FProductName;
  bool FPressInSelection = false;
  bool FSeibunSelectionShown = true;
  int FLastSortCol = -1;
  TXlSortOrder FLastSortOrder = xlSortAsc;
  QFont FAltFont;    // the even-row font
  QColor FAltColor;  // its colour (invalid: the grid's text colour)
  QPointer<TfrmWebBrowser> FLastViewer;
};
