// The main window: search tabs, result grids, the SQL pane, the log pane and the status bar.
// It is built at start (FormCreate), finishes its start-up once it is visible (the deferred
// WMShowWaitEvent: the unattended runs, or the database check with the first-run dialogs and
// the update window), keeps its placement and pane sizes in section "WINDOW" and saves the
// settings when it closes.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <string>

namespace Ui {
class TfrmMain;
}
class QAction;
class QDialog;
class QLabel;
class QMenu;
class QSplitter;
class QToolButton;
class TLogMemo;
class TWinSpinEdit;
class TXPToolBar;
class TXlsStringGrid;

class TfrmMain : public QMainWindow {
  Q_OBJECT

 public:
  // Builds the window (FormCreate). The command line is the program's parameters without
  // its name; by default the application's.
  explicit TfrmMain(QWidget *parent = nullptr);
  TfrmMain(const QStringList &CommandLine, QWidget *parent);
  ~TfrmMain() override;

  std::unique_ptr<Ui::TfrmMain> ui;

  // ---- state
  bool IsStartUp = false;
  QFont *EvenRowFont = nullptr;  // the even-row font of the result grids
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
  int CheckDatabaseState();
  void GUIStart(int State);
  void SharedFolderStart();
  bool CheckDataUpdate();
  std::string ReadServerDataDate(const std::string &FileName);
  bool ShowUpdateDialog(bool AutoStart, bool ForceUpdate);
  void LoadInitialLists();
  void actCheckUpdateExecute();
  // The status-bar panel texts (program text).
  void SetStatusText(int Panel, const std::string &Text);
  std::string StatusText(int Panel) const;

  // ---- the update check's outcome and the unattended runs (main_dbcheck.cpp)
  // The last CheckDataUpdate could read no update page (an error status, a broken, empty
  // or stalled answer, no connection, no page in the shared folder).
  bool UpdateCheckFailed = false;
  // The whole unattended run of "/u" (Update) or "/r": its exit code (engine/UpdateRun.h).
  int UnattendedRun(bool Update);

  // Shows a dialog modally and gives its result; tests replace it so that no modal loop waits.
  static std::function<int(QDialog *)> ShowModal;

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
  int FWindowState = 0;
  int FFraSakumotsuWidth = 249;
  bool FClosed = false;
  bool FShown = false;
};

extern TfrmMain *frmMain;
