// The main window: search tabs, result grids, the SQL pane, the log pane and the status bar.
// It is built at start (FormCreate), finishes its start-up once it is visible (the deferred
// WMShowWaitEvent: the unattended runs, or the database check with the first-run dialogs and
// the update window), keeps its placement and pane sizes in section "WINDOW" and saves the
// settings when it closes.
#pragma once

#include <QColor>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Ui {
class TfrmMain;
}
class QAction;
class QDialog;
class QLabel;
class QMenu;
class QPainter;
class QRect;
class QEvent;
class QSplitter;
class QToolButton;
class QTabWidget;
class TLogMemo;
class TWinSpinEdit;
class TXPToolBar;
class TXlsStringGrid;
class TfrmTemplate;
struct TResultPage;
struct TResultPageParts;

// How a web look-up item of the grid popups makes its text from the popup's term and the
// clicked cell's text.
enum class TLookupTermKind { Term, CellText, ChuiJiko, ChuiJikoOption, Konyo };
std::string LookupText(TLookupTermKind Kind, const std::string &Term, const std::string &CellText);
// One web look-up item of the grid popups (by its component name).
struct TLookupItem {
  const char *Name;
  void (*Open)(QWidget *Window, const std::string &Term);
  TLookupTermKind Kind;
  bool Rewrites;  // the text becomes the popup's term
};
const std::vector<TLookupItem> &LookupItems();
// The address of the product's help page (QUILLMAR_HELP_URL overrides it).
std::string HelpPageAddress();
// Puts the templates, the result-page script and the style sheets shipped with the program
// into the two folders, each only when the folder does not exist yet; the count of files.
int DeployShippedFiles(const std::string &TemplateFolder, const std::string &CssFolder);

// used by the chemical tab's section
class QComboBox;
class QPainter;
class QRect;
class QLineEdit;
class TListBoxEx;

class TfrmMain : public QMainWindow {
  Q_OBJECT

 public:
  // Builds the window (FormCreate). The command line is the program's parameters without
  // its name; by default the application's.
  explicit TfrmMain(QWidget *parent = nullptr);
  TfrmMain(const QStringList &CommandLine, QWidget *parent);
  ~TfrmMain() override;
  // The parent of an event filter or hook that calls into the window.
  QObject *HookOwner() const { return FHooks; }

  std::unique_ptr<Ui::TfrmMain> ui;

  // ---- state
  bool IsStartUp = false;
  std::unique_ptr<QFont> EvenRowFont;  // the even-row font of the result grids
  QColor EvenRowColor;                 // its colour (invalid: the grid's text colour)
  std::string ServerDataDate;    // the data date the last update check found
  struct TTabState {
    TXlsStringGrid *Grid = nullptr;
    std::string CountText;   // status-bar panel 3
    std::string StatusText;  // status-bar panel 2
    int CellLine = 1;        // lines per cell, 1 to 9
  };
  std::array<TTabState, 5> TabState;
  TXlsStringGrid *CurrentGrid = nullptr;

  // ---- menus, actions, tool bar and status bar (built in code)
  QAction *actCheckUpdate = nullptr, *actSearchTekiyou = nullptr, *actYakuzaiPDFDown = nullptr,
          *actStop = nullptr, *actCsvSave = nullptr, *actHtmlSave = nullptr, *actGridCopy = nullptr,
          *actGridAllCopy = nullptr, *actCrossCheck = nullptr, *actTsusho = nullptr, *actRacKeito = nullptr,
          *actCopyExcelByHTML = nullptr, *actCopyOOoCalc = nullptr, *actCopyWPS = nullptr,
          *actCopyJustCalcByHTML = nullptr, *actOption = nullptr;
  QAction *mnExit = nullptr, *mnToolbarOn = nullptr, *mnStatusBarOn = nullptr, *mnLogPaneOn = nullptr,
          *mnRowSelect = nullptr, *mnOffline = nullptr, *mnAbout = nullptr;
  QMenu *mnTekiyouGrid = nullptr;
  QAction *pmnGridAdjustWidth = nullptr, *pmnFixedClm = nullptr, *pmnFixedClmOff = nullptr,
          *pmnGoogleTekiyo = nullptr;
  TXPToolBar *ToolBar1 = nullptr;
  QToolButton *btnExcel = nullptr;
  std::array<QLabel *, 5> StatusPanels{};
  TWinSpinEdit *seGridCellLine = nullptr;
  TLogMemo *mLog = nullptr;
  QWidget *SQLEditor = nullptr;  // the SQL editor (TQmEdit with the SQLite highlighter)

  // ---- start-up and shut-down
  void FormCreate();
  void FormShow();
  void WMShowWaitEvent();
  void FormViewSettings();
  void ApplyToolBarOptions();
  void ParseCommandLine();
  void FormClose();
  void FormDestroy();

  // ---- small handlers
  void mnAboutClick();
  void actOptionExecute();
  void mnLogPaneOnClick();
  void mnStatusBarOnClick();
  void mnToolbarOnClick();
  void mnExitClick();
  void StatusBarResize();

  // ---- the log pane
  void AddLog(const std::string &Text);

  // ---- the database at start-up
  // The state of acis.db (0..6), or DatabaseInUse: another program holds a lock on it, so it
  // was not opened; it is neither checked nor offered for a rebuild.
  static constexpr int DatabaseInUse = 7;
  int CheckDatabaseState();
  void GUIStart(int State);
  void SharedFolderStart();
  bool CheckDataUpdate();
  std::string ReadServerDataDate(const std::string &FileName);
  // The second flag asks for a rebuild even when the source is unchanged: every update the
  // window runs rebuilds, so it asks nothing more of the window.
  bool ShowUpdateDialog(bool AutoStart, bool RebuildAlways);
  void LoadInitialLists();
  void actCheckUpdateExecute();
  // The status-bar panel texts (program text).
  void SetStatusText(int Panel, const std::string &Text);
  std::string StatusText(int Panel) const;

  // ---- the update check's outcome and the unattended runs (main_dbcheck.cpp)
  // The last CheckDataUpdate could read no update page (an error status, a broken, empty
  // or stalled answer, no connection, no page in the shared folder).
  bool UpdateCheckFailed = false;
  // What made it fail and the cause, for the error output of an unattended run.
  std::string CheckFailure;
  // The whole unattended run of "/u" (Update) or "/r": its exit code (engine/UpdateRun.h).
  int UnattendedRun(bool Update);

  // Shows a dialog modally and gives its result; tests replace it so that no modal loop waits.
  static std::function<int(QDialog *)> ShowModal;

  // ==================================================== result grids and searches
  // (src/ui/main_search.cpp, main_grid.cpp, main_output.cpp, main_sqlpane.cpp)

  // ---- search state
  std::string ViewName;        // result view of the crop and pest tabs
  std::string SakumotsuNames;  // main crops of the last crop search (comma text)
  std::string KinsetsuNames;   // neighbouring crops of the last crop search (comma text)
  int SeibunViewMode = 0;      // ingredient display mode, 0 to 4
  int RacKeitoMode = 0;        // RAC-group columns, 0 or 1
  // Exact crop names of the neighbouring-crop rows of the last neighbour search.
  std::vector<std::string> AdjacentCropNames;
  // The search of each tab, filled by the tab's owner; an empty entry runs nothing.
  std::array<std::function<void()>, 5> SearchOfTab;

  // ---- pointer state of the result grids (set by mouse moves, the menu key and the popup)
  int ClickedCol = -1, ClickedRow = -1;  // row -1: outside the cells
  bool ClickedInSelection = false;       // the last press hit the selection
  std::string PopupCellText;             // text of the clicked cell
  std::string PopupHeader;               // header of the clicked column
  std::string LookupTerm;                // the term the web look-ups take
  QWidget *SendToSideTab = nullptr;      // tabTsusho or tabBango
  std::string SendToTerm;                // the term sent to the chemical tab

  // ---- output actions, view-mode controls and the grid popup
  QAction *actCopyExcel = nullptr, *actCopyJustCalc = nullptr, *actExportGrid = nullptr,
          *actGridAdjustWidth = nullptr, *actGridSeibunCopy = nullptr, *actCopyMobile = nullptr,
          *actSearchStrClear = nullptr;
  QAction *mnPortaBase = nullptr, *mnSearchSeibunView = nullptr, *mnSearchKeitoView = nullptr;
  QToolButton *btnSeibunView = nullptr;
  QMenu *dmSeibun = nullptr, *dmCalc = nullptr;
  QAction *pmnCopyExcel = nullptr, *pmnRemoveClm = nullptr, *pmnRemoveRow = nullptr,
          *pmnGoogleChuiJiko = nullptr, *pmnGoogleChuijikoOption = nullptr, *pmnGoogleKonyo = nullptr,
          *pmnNoukaWebSearch = nullptr, *pmnWeblio = nullptr, *pmnFcgr = nullptr, *pmnPrdbSearch = nullptr,
          *pmnGoogleFfcr = nullptr, *pmnNihsSearch = nullptr, *pmnGene = nullptr, *pmnBoujonet = nullptr,
          *pmnSendToTabYakuzai = nullptr, *pmnSendToSql = nullptr;

  // ---- result views and grids
  // "tv[Tsusho]Tekiyo[Rk](Saku|Byochu)<mode+1>"; a tab, mode or RAC value out of range
  // gives Current back unchanged.
  static std::string ResultViewName(int Tab, bool Tsusho, int SeibunMode, int RacMode,
                                    const std::string &Current = std::string());
  // True when the grid took the rows (the query ran and found some).
  bool ShowQueryInGrid(TXlsStringGrid *Grid, const std::string &Sql);
  // False when a stop of the run (a close, 中止) ended it: the grid is then hidden.
  bool AdjustGridColumnWidths(TXlsStringGrid *Grid);
  // Marks gdTekiyo's rows whose crop-name cell is one of AdjacentCropNames (row object 1).
  void MarkAdjacentCropRows(TXlsStringGrid *Grid);
  // The shared handlers of the result grids; the template pane calls it for its grid.
  void ConnectResultGrid(TXlsStringGrid *Grid);
  // Wires the result grids, the popup and the SQL pane (FormCreate, after the grids' table).
  void ConnectResultGrids();
  // Creates the output actions, the view-mode controls and the grid popup's fixed items
  // (BuildMenus, before the menus take them).
  void BuildResultActions();
  int TabIndexOfGrid(const TXlsStringGrid *Grid) const;
  void seGridCellLineChange();
  void SetRowSelect(bool On);
  void mnRowSelectClick();
  void gdTekiyoMouseMove(TXlsStringGrid &Grid, int X, int Y);
  void gdTekiyoKeyDown(TXlsStringGrid &Grid, int &Key, unsigned Shift);
  void gdTekiyoDrawCell(TXlsStringGrid &Grid, int Col, int Row, QPainter &P, const QRect &Rect, unsigned State);
  void gdTekiyoDblClick(TXlsStringGrid &Grid);
  void gdTekiyoMouseDown(TXlsStringGrid &Grid, int Button, unsigned Shift, int X, int Y);
  void gdSeibunKeyDown(TXlsStringGrid &Grid, int &Key, unsigned Shift);
  void gdSeibunMouseDown(TXlsStringGrid &Grid, int Button, unsigned Shift, int X, int Y);
  void mnTekiyouGridPopup();
  void actGridCopyExecute();
  void actGridAllCopyExecute();
  void actGridSeibunCopyExecute();
  void actCopyMobileExecute();
  void pmnFixedClmClick();
  void pmnFixedClmOffClick();
  void pmnRemoveClmClick();
  void pmnRemoveRowClick();
  // The hint of a result-grid cell whose text is wider than its column.
  bool ApplicationShowHint(QObject *Target, QEvent *Event);

  // ---- one run at a time
  // A search or a grid fill lets the window's events run. While one is under way nothing
  // that starts another or changes a result grid may run: such commands go through
  // RunExclusive, and every search and fill holds a TRunScope. Runs nest (a search holds one
  // and so does the fill inside it); what a run disabled is enabled again only when the
  // outermost run ends, never by the end of one inside it.
  class TRunScope {
   public:
    explicit TRunScope(TfrmMain &Window);
    ~TRunScope();
    TRunScope(const TRunScope &) = delete;
    TRunScope &operator=(const TRunScope &) = delete;

   private:
    TfrmMain &FWindow;
  };
  bool Running() const { return FRunDepth > 0; }
  // Runs a command that starts a search or changes a result grid, holding a run; while
  // another run is under way it does nothing and gives false.
  bool RunExclusive(const std::function<void()> &Command);
  // A request that must not be lost (a list's new row, a combo's choice, Enter, a term sent
  // to the chemical tab): it runs at once, holding a run, when none is under way; else it
  // waits and runs once the outermost run has ended. Of each kind only the latest waits, and
  // the kinds run in the order they came; the command reads the controls when it runs, so
  // what it shows is what they show then.
  void RunLatest(const std::string &Kind, std::function<void()> Command);

  // ---- searches
  // Output commands, search panels and the tool bar's search on or off; during a run, "on"
  // waits for its end. The output commands come on only while the current grid is shown.
  void SetOutputEnabled(bool Enabled);
  void SetSearchEnabled(bool Enabled);
  void SetSearchPanelsEnabled(bool Enabled);
  void actSearchTekiyouExecute();
  void pgSearchChange();

  // ---- output
  void actCopyExcelExecute();
  void actCopyJustCalcExecute();
  void actCopyExcelByHTMLExecute();
  void actCopyJustCalcByHTMLExecute();
  void actCopyWPSExecute();
  void actCopyOOoCalcExecute();
  void actCsvSaveExecute();
  void actHtmlSaveExecute();
  // The page of the current grid: whole page, body and script (target 0 Excel or plain
  // page, 1 Calc, 2 WPS, 3 JustCalc).
  void BuildResultHtml(int Target, const std::string &CssFile, std::string &Html, std::string &Body,
                       std::string &Script);
  // The same page whole, with the size of its result table.
  TResultPage ResultPage(int Target, const std::string &CssFile);
  // What that page is made of, so that its size is judged before it is built.
  TResultPageParts ResultPageParts(int Target, const std::string &CssFile);
  // The current grid, when it is shown and holds data rows (else a box or nothing).
  TXlsStringGrid *OutputGrid();

  // ---- the SQL pane
  QMenu *pmSQLEdit = nullptr, *pmnSqlField = nullptr;
  QAction *mnCopySQL = nullptr, *mnCutSQL = nullptr;
  void ExecuteSQLEditor();
  // Set by 中止 while the SQL pane's statement runs.
  bool FSqlStopRequested = false;
  void SQLEditorStatusChange();
  void pmnSqlFieldPopup();
  void btnQueryExecClick();
  void btnQuerySaveClick();
  void btnQueryLoadClick();
  void SQLEditorChange();
  void LoadSqlTableLists();
  void cbDBSelect();
  void cbTableNameSelect();

 private:
  void BuildGridPopup();
  void ConnectSqlPane();
  void SetExcelAction(QAction *Action);
  void HandOffByHtml(int Target, QAction *Action);
  void DirectHandOff(bool JustCalc);
  std::string GridCopyText(const TXlsStringGrid &Grid, const std::string &SingleCellText, bool Mobile) const;
  void BuildSqlPopups();
  std::vector<QAction *> FFieldItems;  // the field-list items that need a checked field
  TXlsStringGrid *FPopupGrid = nullptr;  // the grid the popup was opened on
  QObject *FHintFilter = nullptr;
  // The runs under way, and what their outermost end enables again.
  int FRunDepth = 0;
  bool FOutputOnAtEnd = false, FPanelsOnAtEnd = false, FSearchOnAtEnd = false;
  // 条件消去 and データ更新 are off for the length of a run too; whether each is on at its end.
  bool FClearOnAtEnd = false, FUpdateOnAtEnd = false;
  // So are the commands that change the settings or how the grids select (設定, オフライン作業,
  // 行選択モード): the run measures and fills its grid by the settings it began with.
  bool FOptionOnAtEnd = false, FOfflineOnAtEnd = false, FRowSelectOnAtEnd = false;
  // The commands above that a run turns off, each with whether it is on at the run's end.
  std::array<std::pair<QAction *, bool *>, 6> HeldDuringRuns();
  std::vector<std::pair<std::string, std::function<void()>>> FDeferredRuns;
  bool FDeferredPosted = false;
  void PostDeferredRuns();
  void RunDeferred();
  // The control that had the focus when the search panels went off, and the one Qt gave it
  // to then: the focus goes back when the panels come on, unless the user has moved it.
  QPointer<QWidget> FFocusBeforeRun, FFocusDuringRun;
  // The tabs whose conditions the search panels turned off, one bit each.
  unsigned FPanelsOffTabs = 0;
  // ==================================================== end of result grids and searches

 public:
  // ---- crop and pest/disease searches, view modes, crop-frame forwarding (main_tabsaku.cpp,
  // main_tabbyochu.cpp, main_viewmode.cpp)
  void ConnectSearchTabs();
  // crop tab
  void SearchSakumotsu();
  std::string QuerySakumotsu2(const std::string &IdSakuExpr);
  std::string QuerySakumotsuKinsetsu(const std::string &IdSakuExpr);
  void FillByochuFilter();
  void FillMokutekiFilter();
  void FillZaikeiFilter();
  void FilterByByochu();
  void FilterByMokuteki();
  void FilterByYoto();
  void FilterByZaikei();
  void RefreshSakumotsuResult();
  void btnByochuClick();
  void btnMokutekiClick();
  void btnYotoClick();
  void btnZaikeiClick();
  void edtYotoEnter();
  void pnlSearchParamResize();
  void mnSakumotsuCheckClick();
  // pest/disease tab
  void SearchByochu();
  void edtByochuChange();
  void btnTabByochuClick();
  void cbTabByochuSakumotuSelect();
  void btnTabByochuSakuClick();
  void RefreshByochuResult();
  void pnlTabByochuTopResize();
  // Adds the rows of the found products that the pest search left out to its work table,
  // once per search; the crop filter, its picker and the SQL pane read the whole table.
  void CompleteByochuRows();
  bool ByochuRowsPending = false;   // the work table holds only the found pests' rows yet
  bool ByochuFilterShown = false;   // gdByochu shows the crop filter's rows, not the search's
  // view modes, separate window, crop frame
  void SetSeibunViewMode(int Mode);
  void dmnSeibunViewClick(int Tag);
  void actTsushoExecute();
  void actRacKeitoExecute();
  void RefreshViews();
  void actExportGridExecute();
  void btnSakumotsuPaneClick();
  void actSakumotsuTekiyoExecute();
  void fraSakumotsuSearchTrigger(const std::string &Text);
  QAction *actSakumotsuTekiyo = nullptr, *mnSakumotsuCheck = nullptr;
  // the ten ingredient-mode items: dmnSv... of the popup dmSeibun, then miSv... of the sub-menu
  std::array<QAction *, 10> SeibunViewItems{};


  // ---- the fixed-procedure pane and the small commands (main_commands.cpp)
  TfrmTemplate *TemplateForm = nullptr;
  QAction *mnDocOpen = nullptr;
  void ConnectMainCommands();
  void ConnectTemplatePane();
  bool IsOffline() const;
  void mnOfflineClick();
  void actSearchStrClearExecute();
  void mnDocOpenClick();
  void mnInitDataDownClick();
  // The SQL goes into the SQL pane's editor and the SQL tab is shown.
  void SendSqlToSqlPane(const std::string &SQL);
  // The web look-up items that exist on this window run their look-ups.
  void ConnectLookups();
  void RunLookup(const TLookupItem &Item);

  // ==================================================== chemical tab and product detail
  // (src/ui/main_tabyakuzai.cpp, src/ui/main_yakuzaidetail.cpp)

  // ---- search state
  bool CropNamesExact = false;        // the crop edit holds exact crop names
  std::string YakuzaiSakumotsuNames;  // crop names of the crop restriction (comma text)
  // The crop restriction is in force: only the products in t_bango count, even when none
  // is registered for the crops.
  bool YakuzaiCropRestricted = false;
  std::string LastSideSelection;      // the side-list item whose products were loaded last
  QLineEdit *eYakuzaiG = nullptr;     // the separate result window writes its send-to term here
  QMenu *pmnGridSeibun = nullptr, *pmnYakuzaiListbox = nullptr;
  QAction *pmnGoogleGridSeibun = nullptr, *pmnWeblioGridSeibun = nullptr, *pmnPrdbGridSeibun = nullptr,
          *pmnFcgrGridSeibun = nullptr, *pmnNihsGridSeibun = nullptr, *pmnGoogleFfcrGridSeibun = nullptr,
          *pmnSeibunFixedClm = nullptr, *NpmnSeibunFixedClmOff = nullptr, *actGridSeibunCopyALL = nullptr,
          *pmnCopyYakuzaiList = nullptr, *pmnCopyYakuzaiListALL = nullptr;

  // Wires the chemical tab (called once from FormCreate).
  void ConnectYakuzaiTab();

  // ---- search (the chemical tab)
  void YakuzaiPickup();
  // YakuzaiPickup with the tab's error handling; the search panels are enabled afterwards.
  void RunYakuzaiPickup();
  void eYakuzaiKeyPress(QLineEdit *Edit, int Key, const QString &Text);
  void eYakuzaiChange();
  void eYakuzaiTabSakumotsuChange();
  void pnlYakuzaiSideUpResize();
  void bYakuzaiTabYakuzaiClearClick();
  void bYakuzaiTabSakumotsuClearClick();
  void cbYotoTabYakuzaiChange();
  void lstTsushoClick();
  void lstBangoClick();
  void cbYakuzaiSelect();
  void cbYakuzaiDropDown(QComboBox *Combo);
  void bYakuzaiTabSakuSelClick();
  void btnYakuzaiSelClick();
  void pmnSendToTabYakuzaiClick();
  void pmnSendToSqlClick();
  // The separate result window's send-to: a registration number goes to the number list,
  // any other term to the common-name list.
  void SendTermToTabYakuzai(const std::string &Term);
  void txtGoogleClick();
  // Clears the common-name and number lists and every ingredient side list.
  void ClearYakuzaiLists();

  // ---- product detail and ingredient side lists
  void YakuzaiSelect(const std::string &Bango);
  void cbSeibunChange();
  void cbYakuzaiTabKeitoChange();
  void cbSayotenChange();
  void cbRacChange();
  void cbRacKeitoChange();
  void lstSeibunPluralCkClickCheck();
  void lstTsushoSeibunClick();
  void lstTsushoSeibunPluralClick();
  void lstTsushoKeitoClick();
  void lstSayotenClick();
  void lstRacClick();
  void lstRacKeitoClick();
  void pmnGridSeibunPopup();
  void pmnGoogleGridSeibunClick();
  void pnlSeizaiResize();
  void pnlYakuzaiTopResize();
  void gdSeibunDrawCell(TXlsStringGrid &Grid, int Col, int Row, QPainter &P, const QRect &Rect, unsigned State);
  void gdSeizaiDrawCell(TXlsStringGrid &Grid, int Col, int Row, QPainter &P, const QRect &Rect, unsigned State);

 private:
  // Fills the ingredient side lists and their combos of the product chosen by common name or
  // by number.
  void ConnectYakuzaiDetail();
  void LoadSideLists(const std::string &Key, bool ByBango, bool WarnIfEmpty);
  void FillSideCombo(QComboBox *Combo, const std::string &Column, const std::string &Key, bool ByBango,
                     bool WarnIfEmpty);
  void FillSideList(TListBoxEx *List, const std::string &Column, QComboBox *Combo, bool DebugOnly);
  void SideListProductClick(TListBoxEx *List, bool KeyHeld);
  // The list's selected item, when it is to be loaded.
  bool NewSideSelection(TListBoxEx *List, bool KeyHeld, std::string &Item) const;
  void FillProductCombo(bool SelectShortest);
  void LayoutYakuzaiTop(bool MeasureCount);
  void SetYakuzaiEditWidth(QLineEdit *Edit, QWidget *ClearButton, int PanelWidth);
  // A handler of the tab's lists and combos, through RunLatest under the name of its control.
  void Latest(const QObject *Source, void (TfrmMain::*Handler)());
  bool FKeyTsusho = false, FKeyBango = false, FKeySeibun = false, FKeyKeito = false;
  std::array<int, 4> FSeibunSel{-1, -1, -1, -1}, FSeizaiSel{-1, -1, -1, -1};  // left, top, right, bottom
  int FSeibunClickCol = -1, FSeibunClickRow = -1;
  int FSideDragIndex = -1;
  QWidget *FYakuzaiListPopupOn = nullptr;
  // ==================================================== end of chemical tab and product detail

 public:

 protected:
  void showEvent(QShowEvent *e) override;
  void closeEvent(QCloseEvent *e) override;
  bool eventFilter(QObject *o, QEvent *e) override;

 private:
  void BuildMenus();
  void BuildStatusBar();
  void TidyDataFolders();
  void ApplySettingsFonts();
  void RunUnattended(bool Update);
  // A pane's size along its splitter, kept while the pane is hidden or not laid out yet.
  static int PaneSize(QSplitter *Splitter, QWidget *Pane);
  static void SetPaneSize(QSplitter *Splitter, QWidget *Pane, int Size);

  QStringList FCommandLine;
  // Owns the event filters and hooks that call into the window; they go first when the
  // window is taken down, while all they reach still stands.
  QObject *FHooks = nullptr;
  int FWindowState = 0;
  int FFraSakumotsuWidth = 249;
  bool FClosed = false;
  bool FShown = false;
  // A close came during a run, or while a window held the program: the run (or what the
  // holding window waits on) was told to stop, and the window closes once it has ended.
  bool FClosePending = false;
  // The outermost run, or the holding window, has ended: a close that waited goes ahead.
  void RunsEnded();
};

extern TfrmMain *frmMain;
