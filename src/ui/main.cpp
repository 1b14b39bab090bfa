#include "ui/main.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QFontMetrics>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <filesystem>
#include <limits>

#include "components/ComCtrlsXP.h"
#include "components/PosDlgs.h"
#include "components/grid/ExcelUtil.h"
#include "components/QtServices.h"
#include "components/WinSpinEdit.h"
#include "components/qtext.h"
#include "engine/AcisSvr.h"
#include "engine/Exception.h"
#include "engine/PcreRegEx.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/IniFile.h"
#include "platform/cp932.h"
#include "platform/fspath.h"
#include "ui/ImageLists.h"
#include "ui/LogMemo.h"
#include "ui/UfraSakumotsu.h"
#include "ui_UfraSakumotsu.h"
#include "ui/Template.h"
#include "ui/UOption.h"
#include "ui/UUpdate.h"
#include "ui/about.h"
#include "ui/main_sqledit.h"
#include "ui_main.h"

using namespace cp932::literals;
namespace fs = std::filesystem;

TfrmMain *frmMain = nullptr;

std::function<int(QDialog *)> TfrmMain::ShowModal = [](QDialog *d) { return d->exec(); };

namespace {

void SetBaseColor(QWidget *w, std::int32_t color) {
  QPalette pal = w->palette();
  pal.setColor(QPalette::Base, ColorFromCode(color));
  w->setPalette(pal);
}

constexpr const char *kPaneSizeProperty = "qmPaneSize";

}  // namespace

TfrmMain::TfrmMain(QWidget *parent) : TfrmMain(QCoreApplication::arguments().mid(1), parent) {}

TfrmMain::TfrmMain(const QStringList &CommandLine, QWidget *parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::TfrmMain>()), FCommandLine(CommandLine),
      FHooks(new QObject(this)) {
  ui->setupUi(this);
  mLog = ui->mLog;
  mLog->setMinimumHeight(1);  // the pane may be as low as the user drags it
  SQLEditor = CreateSQLEditor(ui->pnlSQL);
  ui->pnlSQL->layout()->addWidget(SQLEditor);
  frmMain = this;
  FormCreate();
}

TfrmMain::~TfrmMain() {
  // Events still reach the parts while they are destroyed; nothing may call into the
  // window then.
  delete FHooks;
  ui->StatusBar->removeEventFilter(this);
  FormDestroy();
  SetRunStopRequested(false);
  if (frmMain == this) frmMain = nullptr;
}

// ---------------------------------------------------------------- building

void TfrmMain::BuildMenus() {
  auto action = [this](const char *name, const char *caption) {
    QAction *a = new QAction(ToQ(cp932::FromUtf8(caption)), this);
    a->setObjectName(name);
    return a;
  };
  BuildResultActions();
  actSearchTekiyou = action("actSearchTekiyou", "検索");
  actStop = action("actStop", "中止");
  actCheckUpdate = action("actCheckUpdate", "データ更新");
  actYakuzaiPDFDown = action("actYakuzaiPDFDown", "ラベルPDF");
  actCrossCheck = action("actCrossCheck", "クロスチェック");

  mnExit = action("mnExit", "終了(&X)");
  connect(mnExit, &QAction::triggered, this, &TfrmMain::mnExitClick);
  mnToolbarOn = action("mnToolbarOn", "ツールバーを表示(&T)");
  mnToolbarOn->setCheckable(true);
  connect(mnToolbarOn, &QAction::triggered, this, &TfrmMain::mnToolbarOnClick);
  mnStatusBarOn = action("mnStatusBarOn", "ステータスバーを表示(&S)");
  mnStatusBarOn->setCheckable(true);
  connect(mnStatusBarOn, &QAction::triggered, this, &TfrmMain::mnStatusBarOnClick);
  mnLogPaneOn = action("mnLogPaneOn", "トレースログペインを表示(&L)");
  mnLogPaneOn->setCheckable(true);
  connect(mnLogPaneOn, &QAction::triggered, this, &TfrmMain::mnLogPaneOnClick);
  mnRowSelect = action("mnRowSelect", "行選択モード(&R)");
  mnRowSelect->setCheckable(true);
  mnOffline = action("mnOffline", "オフライン(&O)");
  mnOffline->setCheckable(true);
  mnAbout = action("mnAbout", "バージョン情報(&A)");
  connect(mnAbout, &QAction::triggered, this, &TfrmMain::mnAboutClick);
  connect(actCheckUpdate, &QAction::triggered, this, [this] { RunExclusive([this] { actCheckUpdateExecute(); }); });
  actOption = action("actOption", "設定(&O)...");
  // The dialog re-measures the grids and changes what a run reads: it is a run of its own,
  // and requests made while it is open wait for it.
  connect(actOption, &QAction::triggered, this,
          [this] { RunExclusive([this] { RunGuarded([this] { actOptionExecute(); }); }); });

  QMenu *file = menuBar()->addMenu(ToQ("ファイル(&F)"_sj));
  file->setObjectName("mnFile");
  file->addAction(actCheckUpdate);
  file->addAction(actOption);
  file->addSeparator();
  file->addAction(mnExit);
  QMenu *view = menuBar()->addMenu(ToQ("表示(&V)"_sj));
  view->setObjectName("mnView");
  view->addActions({mnToolbarOn, mnStatusBarOn, mnLogPaneOn, mnRowSelect});
  view->addSeparator();
  view->addActions({actTsusho, mnSearchSeibunView, mnSearchKeitoView, mnOffline});
  QMenu *output = menuBar()->addMenu(ToQ("出力(&O)"_sj));
  output->setObjectName("mnOutput");
  output->addActions({actGridCopy, actGridAllCopy, mnPortaBase});
  output->addSeparator();
  output->addActions({actCsvSave, actHtmlSave, actExportGrid});
  output->addSeparator();
  output->addActions({actCopyExcelByHTML, actCopyOOoCalc, actCopyWPS, actCopyJustCalcByHTML, actCopyExcel,
                      actCopyJustCalc});
  QMenu *help = menuBar()->addMenu(ToQ("ヘルプ(&H)"_sj));
  help->setObjectName("mnHelp");
  help->addAction(mnAbout);

  ToolBar1 = new TXPToolBar(this);
  ToolBar1->setObjectName("ToolBar1");
  ToolBar1->setMovable(true);
  addToolBar(Qt::TopToolBarArea, ToolBar1);
  ToolBar1->addAction(actSearchTekiyou);
  ToolBar1->addAction(actStop);
  ToolBar1->addSeparator();
  ToolBar1->addAction(actGridCopy);
  ToolBar1->addAction(actCsvSave);
  ToolBar1->addAction(actHtmlSave);
  btnExcel = new QToolButton(ToolBar1);
  btnExcel->setObjectName("btnExcel");
  ToolBar1->addWidget(btnExcel);
  ToolBar1->addAction(actExportGrid);
  ToolBar1->addSeparator();
  ToolBar1->addAction(actTsusho);
  ToolBar1->addAction(actRacKeito);
  btnSeibunView->setParent(ToolBar1);
  ToolBar1->addWidget(btnSeibunView);
  ToolBar1->addSeparator();
  ToolBar1->addAction(actCheckUpdate);
}

void TfrmMain::BuildStatusBar() {
  static const int widths[5] = {100, 100, 150, 80, 50};
  for (int i = 0; i < 5; ++i) {
    QLabel *l = new QLabel(ui->StatusBar);
    l->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
    if (i == 0)
      l->setMinimumWidth(0);  // panel 0 takes the rest of the bar
    else
      l->setFixedWidth(widths[i]);
    if (i == 3) l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    StatusPanels[i] = l;
    // Panel 4 is the place of the lines-per-cell spin edit, which sits at the bar's right end.
    if (i < 4) ui->StatusBar->addWidget(l, i == 0 ? 1 : 0);
    else l->hide();
  }
  seGridCellLine = new TWinSpinEdit(ui->StatusBar);
  seGridCellLine->setObjectName("seGridCellLine");
  seGridCellLine->SetMinValue(1);
  seGridCellLine->SetMaxValue(9);
  seGridCellLine->setFixedWidth(40);
  ui->StatusBar->addPermanentWidget(seGridCellLine);
  ui->StatusBar->installEventFilter(this);
}

// ---------------------------------------------------------------- FormCreate

void TfrmMain::FormCreate() {
  BuildMenus();
  BuildStatusBar();

  // The crop-selection frame writes to the log pane.
  ui->fraSakumotsu->show();
  ui->fraSakumotsu->SetLogMemo(mLog);
  ui->fraSakumotsu->setFont(font());

  // Read the settings; a failure is reported and the start goes on.
  try {
    OptionData->Load();
  } catch (const std::exception &e) {
    MsgBox(ExceptionClassName(e) + "\r\n" + e.what(), "Quillmar", MB_OK | MB_ICONERROR);
  }
  // The box has said it already; the log keeps it (an unattended run's box goes to the error output).
  if (!OptionData->IniReadFailure.empty()) AddLog(OptionData->IniReadFailure);
  TIniFile ini(OptionData->IniFileName);
  const char *W = SEC_WINDOW;

  // Restore the window placement. A window left on a monitor that is gone comes back onto a
  // screen there is (beyond the right edge of the virtual screen: by the width of that screen).
  const QRect r = geometry();
  setGeometry(SavedWindowRect(ini.ReadInteger(W, "Left", r.left()), ini.ReadInteger(W, "Top", r.top()),
                              ini.ReadInteger(W, "Width", r.width()), ini.ReadInteger(W, "Height", r.height())));
  FWindowState = ini.ReadInteger(W, "WindowState", 0);
  if (FWindowState == 2)
    setWindowState(Qt::WindowMaximized);
  else if (FWindowState == 1)
    setWindowState(Qt::WindowMinimized);

  // Restore the pane sizes and the tab positions.
  SetPaneSize(ui->SplitterFraSakumotsu, ui->fraSakumotsu,
              ini.ReadInteger(W, "TabSakumotsuFraSakumotsuWidth", FFraSakumotsuWidth));
  {
    // The stored page is set, but start-up always shows the first one.
    QTabWidget *pg = ui->fraSakumotsu->Form().pgList;
    pg->setCurrentIndex(ini.ReadInteger(W, "TabSakumotsuFraSakumotsuTabIndex", 0));
    pg->setCurrentIndex(0);
  }
  ui->pnlYakuzaiTop->resize(ini.ReadInteger(W, "TabYakuzaiTopPnlWidth", ui->pnlYakuzaiTop->width()),
                            ui->pnlYakuzaiTop->height());
  SetPaneSize(ui->SplitterYakuzaiTekiyo, ui->pnlYakuzaiUpper,
              ini.ReadInteger(W, "TabYakuzaiUpperPnlHeight", PaneSize(ui->SplitterYakuzaiTekiyo, ui->pnlYakuzaiUpper)));
  SetPaneSize(ui->SplitterYakuzaiSeibun, ui->pnlYakuzaiSelect,
              ini.ReadInteger(W, "TabYakuzaiSelectPnlHeight", PaneSize(ui->SplitterYakuzaiSeibun, ui->pnlYakuzaiSelect)));
  SetPaneSize(ui->SplitterSeizai, ui->mSuisan,
              ini.ReadInteger(W, "TabYakuzaiSeizaiWidth", PaneSize(ui->SplitterSeizai, ui->mSuisan)));
  {
    QTabWidget *pg = ui->pgYakuzaiSideSeibun;
    const struct {
      const char *key;
      QWidget *tab;
    } sheets[] = {{"TabSeibunPageIndex", ui->tabSeibun},           {"TabKeitoPageIndex", ui->tabKeito},
                  {"TabSayotenPageIndex", ui->tabSayoten},         {"TabRacPageIndex", ui->tabRac},
                  {"TabSeibunPluralIndex", ui->tabSeibunPlural},   {"TabRacKeitoIndex", ui->tabRacKeito}};
    for (const auto &s : sheets) {
      int from = pg->indexOf(s.tab);
      int to = ini.ReadInteger(W, s.key, from);
      if (to >= 0 && to < pg->count() && to != from) pg->tabBar()->moveTab(from, to);
    }
    int active = ini.ReadInteger(W, "pgYakuzaiSideSeibunActivePageIndex", 0);
    if (active >= 0 && active < pg->count()) pg->setCurrentIndex(active);
  }

  // Read the command-line switches and set up the tool bar.
  ParseCommandLine();
  ApplyToolBarOptions();
  ToolBar1->setVisible(OptionData->ToolBarVisible);
  mnToolbarOn->setChecked(OptionData->ToolBarVisible);

  // Offline shows in the menu and the title.
  const bool offline = OptionData->OffLine || OfflineSwitch;
  mnOffline->setChecked(offline);
  setWindowTitle(offline ? ToQ("Quillmar - オフライン"_sj) : QStringLiteral("Quillmar"));

  // Show or hide the panes and size them from the settings.
  ui->pnlSearchParam->setVisible(OptionData->SearchPanelVisible);
  mLog->setVisible(OptionData->LogPaneVisible);
  mnLogPaneOn->setChecked(OptionData->LogPaneVisible);
  ui->StatusBar->setVisible(OptionData->StatusBarVisible);
  mnStatusBarOn->setChecked(OptionData->StatusBarVisible);
  SetPaneSize(ui->SplitterGrid, mLog, OptionData->LogPaneHeight);
  SetPaneSize(ui->SplitterSQL, ui->pnlSQL, OptionData->SQLEditHeight);
  SetPaneSize(ui->SplitterYakuzaiSide, ui->pnlYakuzaiSide, OptionData->YakuzaiSidePanelWidth);
  SetPaneSize(ui->SplitterYakuzaiList, ui->pgYakuzaiSideSeibun, OptionData->YakuzaiSideSeibunListHeight);
  SetPaneSize(ui->SplitterSqlSide, ui->pnlSqlSide, OptionData->SQLSidePanelWidth);

  // Apply the fonts, the SQL editor options and the colours.
  ApplySettingsFonts();

  // The chemical tab's clear buttons start hidden.
  ui->bYakuzaiTabYakuzaiClear->hide();
  ui->bYakuzaiTabSakumotsuClear->hide();

  // Tablet mode widens the splitters and heightens the tabs.
  if (OptionData->TabletMode) {
    for (QSplitter *s : {ui->SplitterFraSakumotsu, ui->SplitterYakuzaiSide, ui->SplitterSqlSide, ui->SplitterGrid,
                         ui->SplitterYakuzaiTekiyo, ui->SplitterYakuzaiSeibun, ui->SplitterYakuzaiList, ui->SplitterSQL})
      s->setHandleWidth(OptionData->TabletSplitterWidth);
    const QString tab_height = QStringLiteral("QTabBar::tab { height: %1px; }").arg(OptionData->TabletTabHeight);
    for (QTabWidget *t : {ui->pgSearch, ui->fraSakumotsu->Form().pgList, ui->pgYakuzaiSide, ui->pgYakuzaiSideSeibun})
      t->setStyleSheet(tab_height);
  }

  // Commands that need a result or a search start disabled.
  actCheckUpdate->setEnabled(true);
  for (QAction *a : {actSearchTekiyou, actYakuzaiPDFDown, actStop, actCsvSave, actHtmlSave, actGridCopy,
                     actGridAllCopy, actCrossCheck})
    a->setEnabled(false);
  actTsusho->setChecked(OptionData->TushoMode);
  actRacKeito->setChecked(OptionData->KeitoViewMode == 1);

  // The spreadsheet button runs the program last used.
  switch (OptionData->SpreadSheet) {
    case 1:
      SetExcelAction(actCopyOOoCalc);
      btnExcel->setText(ToQ("Calc出力"_sj));
      break;
    case 2: SetExcelAction(actCopyWPS); break;
    case 3: SetExcelAction(actCopyJustCalcByHTML); break;
    default: SetExcelAction(actCopyExcelByHTML); break;
  }

  // The crop tab's condition controls start disabled.
  for (QWidget *w : std::initializer_list<QWidget *>{ui->btnByochu, ui->cbByochu, ui->btnMokuteki, ui->cbMokuteki,
                                                    ui->btnYoto, ui->edtYoto, ui->btnZaikei, ui->cbZaikei,
                                                    ui->btnTabByochuSaku, ui->cbTabByochuSakumotu})
    w->setEnabled(false);
  ui->cbZaikei->setFixedWidth(ui->cbMokuteki->sizeHint().width());
  ui->cbZaikei->setMaxVisibleItems(12);
  if (ui->cbTableName->count() > 0) ui->cbTableName->setCurrentIndex(0);
  for (QAction *a : {pmnGridAdjustWidth, pmnFixedClm, pmnFixedClmOff, pmnGoogleTekiyo}) a->setEnabled(false);

  // Result grids stay hidden until a search fills them.
  TXlsStringGrid *grids[5] = {ui->gdTekiyo, ui->gdByochu, ui->gdYakuzai, nullptr, ui->gdSQL};
  for (int i = 0; i < 5; ++i) {
    TabState[i].Grid = grids[i];
    if (grids[i]) {
      grids[i]->hide();
      grids[i]->setContextMenuPolicy(Qt::CustomContextMenu);
    }
  }
  ui->pgSearch->setCurrentWidget(ui->tabDefault);
  CurrentGrid = ui->gdTekiyo;
  ui->pgYakuzaiSide->setCurrentWidget(ui->tabTsusho);

  // Each tab keeps its own lines per cell; the status bar's spin edit shows the first tab's.
  const int lines[5] = {OptionData->GridCellLine0, OptionData->GridCellLine1, OptionData->GridCellLine2,
                        OptionData->GridCellLine3, OptionData->GridCellLine4};
  for (int i = 0; i < 5; ++i) TabState[i].CellLine = lines[i];
  seGridCellLine->SetValue(OptionData->GridCellLine0);

  // Row selection from the settings.
  mnRowSelect->setChecked(OptionData->GridRowSelect);

  // Wire the result grids' handlers and hints, the SQL pane and the tab change.
  ConnectResultGrids();
  ConnectSearchTabs();

  // The frame reads its column widths.
  ui->fraSakumotsu->LoadColumnWidths();

  // The chemical tab.
  ConnectYakuzaiTab();

  // The deferred start-up is pending until the window shows.
  IsStartUp = true;

  // Tidy the data folders.
  TidyDataFolders();

  // Create the program-wide regular expression for the crop-name helpers.
  if (!SharedRegEx) SharedRegEx = std::make_unique<TPcreRegEx>();

  ConnectMainCommands();
}

void TfrmMain::ApplySettingsFonts() {
  TOptionData &o = *OptionData;
  // A named font comes with its colour, as the settings dialog applies it.
  if (!o.MainFormFont.Name.empty()) ApplyStoredFont(this, o.MainFormFont);
  // The SQL editor always takes the stored name and size; its options and highlighting.
  ApplySQLEditorOptions(SQLEditor);
  if (!o.TekiyouFont.Name.empty())
    for (QWidget *g : std::initializer_list<QWidget *>{ui->gdTekiyo, ui->gdByochu, ui->gdYakuzai, ui->gdSQL, ui->gdSeibun})
      ApplyStoredFont(g, o.TekiyouFont);
  EvenRowFont = std::make_unique<QFont>(ui->gdTekiyo->font());
  EvenRowColor = QColor();
  if (!o.Tekiyou2Font.Name.empty()) {
    *EvenRowFont = FontFromInfo(o.Tekiyou2Font, *EvenRowFont);
    EvenRowColor = StoredFontColor(o.Tekiyou2Font);
  }
  if (!o.SeibunGridFont.Name.empty()) ApplyStoredFont(ui->gdSeibun, o.SeibunGridFont);
  if (!o.LogFont.Name.empty()) ApplyStoredFont(mLog, o.LogFont);

  // Result grids and the log pane take their stored background colours.
  for (QWidget *g : std::initializer_list<QWidget *>{ui->gdTekiyo, ui->gdByochu, ui->gdYakuzai, ui->gdSQL})
    SetBaseColor(g, o.TekiyouColor);
  SetBaseColor(mLog, o.LogColor);
}

void TfrmMain::ParseCommandLine() {
  for (const QString &p : FCommandLine) {
    const QString s = p.toLower();
    if (s == QLatin1String("/u")) AutoUpdateSwitch = true;
    if (s == QLatin1String("/r")) DownloadCheckSwitch = true;
    if (s == QLatin1String("/f")) OfflineSwitch = true;
    if (s == QLatin1String("/d")) DeveloperSwitch = true;
  }
}

void TfrmMain::ApplyToolBarOptions() {
  const bool captions = OptionData->ToolBarCaption;
  ToolBar1->setToolButtonStyle(captions ? Qt::ToolButtonTextUnderIcon : Qt::ToolButtonIconOnly);
  ToolBar1->setStyleSheet(OptionData->ToolBarFlat ? QString() : QStringLiteral("QToolButton { border: 1px solid palette(mid); }"));
  // The buttons grow with larger images, as a tool bar fits its buttons to its image list;
  // the caption line is as high as the bar's font needs.
  const int image = ToolBar1->iconSize().height();
  const int caption_line = captions ? QFontMetrics(ToolBar1->font()).height() : 0;
  const QSize button = captions ? QSize(std::max(62, image + 8), std::max(35, image + caption_line + 6))
                                : QSize(std::max(23, image + 7), std::max(22, image + 6));
  for (QAction *a : ToolBar1->actions())
    if (auto *b = qobject_cast<QToolButton *>(ToolBar1->widgetForAction(a))) {
      // The spreadsheet button is a widget of its own: it follows the bar's look by hand.
      b->setToolButtonStyle(ToolBar1->toolButtonStyle());
      b->setIconSize(ToolBar1->iconSize());
      b->setAutoRaise(true);
      // A caption or a drop-down arrow wider than the button widens it rather than being cut.
      b->setMinimumSize(0, 0);
      b->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
      b->setFixedSize(std::max(button.width(), b->sizeHint().width()), button.height());
    }
}

void TfrmMain::FormViewSettings() {
  // Images: every action has one (also the actions other parts of the window added), menus
  // draw them at MenuImageSize, the tool bars and the crop frame at BtnImageSize.
  GiveActionIcons(this);
  if (const int size = ImageListSize(OptionData->MenuImageSize))
    for (QMenu *m : findChildren<QMenu *>()) SetMenuImageSize(m, size);
  if (const int size = ImageListSize(OptionData->BtnImageSize)) {
    ToolBar1->setIconSize(QSize(size, size));
    ApplyToolBarOptions();
  }
  ui->fraSakumotsu->ApplyImageSize(OptionData->BtnImageSize);

  // Button faces and the hidden condition rows.
  for (QWidget *p : {ui->pnlSearchParam, ui->pnlByochuSel, ui->pnlYotoSel, ui->pnlSakuLeft}) {
    p->setAutoFillBackground(true);
    QPalette pal = p->palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    p->setPalette(pal);
  }
  ui->pnlKeitoSel->hide();
  ui->pnlSeibunSel->hide();
  // Rows as high as the larger of the pest combo and its button.
  const int row = std::max(ui->cbByochu->sizeHint().height(), ui->btnByochu->sizeHint().height()) + 2;
  for (QWidget *p : {ui->pnlByochuSel, ui->pnlMokutekiSel, ui->pnlYotoSel, ui->pnlZaikeiSel}) p->setFixedHeight(row);
  // Caption panels from the text height of a sample word.
  const struct {
    QWidget *w;
    const char *word;
    int extra;
  } caps[] = {{ui->pnlYotoYt, "殺菌剤", 1},         {ui->pnlYakuzaiKohoCaptionYt, "薬剤", 1},
              {ui->pnlSakumotsuCaptionYt, "作物候補", 2}, {ui->pnlDB, "acis.db", 2},
              {ui->pnlTableName, "table", 2},        {ui->pnlTableCaption, "テーブル", 2},
              {ui->pnlFieldCaption, "フィールド", 2}};
  for (const auto &c : caps) {
    const int h = QFontMetrics(c.w->font()).boundingRect(QString::fromUtf8(c.word)).height() + c.extra;
    // A panel never gets lower than what it holds needs (the use combo in pnlYotoYt).
    c.w->setMinimumHeight(0);
    c.w->setMinimumHeight(std::max(h, c.w->minimumSizeHint().height()));
  }
  ui->pnlYakuzaiKohoYt->setMinimumHeight(ui->eYakuzai->sizeHint().height() + 6);
  ui->pnlSakumotsuYt->setMinimumHeight(ui->eYakuzaiTabSakumotsu->sizeHint().height() + 6);
}

// ---------------------------------------------------------------- show and the deferred start

void TfrmMain::showEvent(QShowEvent *e) {
  QMainWindow::showEvent(e);
  if (!FShown) {
    FShown = true;
    FormShow();
  }
}

void TfrmMain::FormShow() {
  FormViewSettings();
  QMetaObject::invokeMethod(this, &TfrmMain::WMShowWaitEvent, Qt::QueuedConnection);
}

void TfrmMain::RunUnattended(bool Update) {
  hide();
  ProcessExitCode = UnattendedRun(Update);
  close();
  // The hidden window's close does not end the message loop by itself.
  QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void TfrmMain::WMShowWaitEvent() {
  if (!IsStartUp) return;
  IsStartUp = false;
  // The panes take their stored sizes once the window has its real size.
  for (QSplitter *s : findChildren<QSplitter *>())
    for (int i = 0; i < s->count(); ++i)
      if (s->widget(i)->property(kPaneSizeProperty).isValid())
        SetPaneSize(s, s->widget(i), s->widget(i)->property(kPaneSizeProperty).toInt());
  if (AutoUpdateSwitch) {
    RunUnattended(true);
    return;
  }
  if (DownloadCheckSwitch) {
    RunUnattended(false);
    return;
  }
  if (OptionData->UseLAN && (OptionData->DownSite == 3 || OptionData->DownSite == 4))
    SharedFolderStart();
  else
    GUIStart(CheckDatabaseState());
  if (AcisDB) {
    AcisDB->CreateViews();
    LoadInitialLists();
  } else {
    SetStatusText(0, "DB:なし"_sj);
  }
}

// ---------------------------------------------------------------- panes

int TfrmMain::PaneSize(QSplitter *Splitter, QWidget *Pane) {
  const int i = Splitter->indexOf(Pane);
  const QVariant kept = Pane->property(kPaneSizeProperty);
  // A pane that is the only one shown fills its splitter (the SQL editor before the first
  // result): that is not a size the user left it at.
  bool beside = false;
  for (int k = 0; k < Splitter->count(); ++k)
    if (k != i && !Splitter->widget(k)->isHidden()) beside = true;
  const bool laid_out = Pane->isVisible() && Splitter->isVisible() && beside;
  if (i < 0 || (!laid_out && kept.isValid())) return kept.toInt();
  const QList<int> sizes = Splitter->sizes();
  const int size = sizes.value(i);
  if (laid_out) Pane->setProperty(kPaneSizeProperty, size);
  return size;
}

void TfrmMain::SetPaneSize(QSplitter *Splitter, QWidget *Pane, int Size) {
  const int i = Splitter->indexOf(Pane);
  if (i < 0 || Size < 0) return;
  Pane->setProperty(kPaneSizeProperty, Size);
  // The pane keeps its size when the window is resized; the other panes take the change.
  for (int k = 0; k < Splitter->count(); ++k) Splitter->setStretchFactor(k, k == i ? 0 : 1);
  QList<int> sizes = Splitter->sizes();
  int total = 0;
  for (int v : sizes) total += v;
  const int extent = Splitter->orientation() == Qt::Horizontal ? Splitter->width() : Splitter->height();
  total = std::max({total, extent, Size + 100});
  const int others = sizes.size() - 1;
  for (int k = 0; k < sizes.size(); ++k) sizes[k] = k == i ? Size : (others > 0 ? (total - Size) / others : 0);
  Splitter->setSizes(sizes);
}

// ---------------------------------------------------------------- small handlers

void TfrmMain::mnAboutClick() {
  TfrmAbout about(this);
  ShowModal(&about);
}

void TfrmMain::actOptionExecute() {
  TOptionTargets t;
  t.MainForm = this;
  t.CropFrame = ui->fraSakumotsu;
  t.WebSearchLabel = ui->lblGoogle;
  t.ResultGrids = {ui->gdTekiyo, ui->gdByochu, ui->gdYakuzai, ui->gdSQL};
  t.TemplatePane = TemplateForm;
  t.TekiyouFontGrids = {ui->gdTekiyo, ui->gdByochu, ui->gdYakuzai, ui->gdSQL, ui->gdSeibun};
  if (TemplateForm) t.TekiyouFontGrids.push_back(TemplateForm->gdTemplate());
  t.SeibunGrid = ui->gdSeibun;
  t.EvenRowFont = EvenRowFont.get();
  t.EvenRowColor = &EvenRowColor;
  t.LogPane = mLog;
  SQLEditorTargets(SQLEditor, t.SQLEdit, t.Highlighter);
  t.FormViewSettings = [this] { FormViewSettings(); };
  t.ApplyToolBarOptions = [this] { ApplyToolBarOptions(); };
  t.CurrentGridVisible = [this] { return CurrentGrid && CurrentGrid->isVisible(); };
  t.AdjustGridColumnWidths = [this] {
    if (CurrentGrid) AdjustGridColumnWidths(CurrentGrid);
  };
  TfrmOption dialog(this, t);
  dialog.setFont(font());
  ShowModal(&dialog);
}

void TfrmMain::mnLogPaneOnClick() {
  const bool on = mLog->isHidden();
  mnLogPaneOn->setChecked(on);
  if (!on) {
    PaneSize(ui->SplitterGrid, mLog);  // keep its height while hidden
    mLog->hide();
    return;
  }
  int h = PaneSize(ui->SplitterGrid, mLog);
  if (h <= 0) h = 16;
  mLog->show();
  SetPaneSize(ui->SplitterGrid, mLog, h);
}

void TfrmMain::mnStatusBarOnClick() {
  const bool on = !ui->StatusBar->isVisible();
  ui->StatusBar->setVisible(on);
  mnStatusBarOn->setChecked(on);
}

void TfrmMain::mnToolbarOnClick() {
  const bool on = !ToolBar1->isVisible();
  ToolBar1->setVisible(on);
  mnToolbarOn->setChecked(on);
}

void TfrmMain::mnExitClick() { close(); }

void TfrmMain::StatusBarResize() {
  StatusPanels[1]->setFixedWidth(0);
  // Room for the widest count a result grid can hold (its rows are counted in an int), each
  // digit as wide as the font's widest.
  const QFontMetrics fm(ui->StatusBar->font());
  int digit = 0;
  for (char c = '0'; c <= '9'; ++c) digit = std::max(digit, fm.horizontalAdvance(QChar(c)));
  const int digits = static_cast<int>(std::to_string(std::numeric_limits<int>::max()).size());
  StatusPanels[3]->setFixedWidth(digits * digit + fm.horizontalAdvance(ToQ("件"_sj)) + 4);
  // Panel 0 takes the rest through its stretch; a fixed width here would widen the window.
}

bool TfrmMain::eventFilter(QObject *o, QEvent *e) {
  if (o == ui->StatusBar && (e->type() == QEvent::Resize || e->type() == QEvent::FontChange)) StatusBarResize();
  return QMainWindow::eventFilter(o, e);
}

void TfrmMain::SetStatusText(int Panel, const std::string &Text) {
  if (Panel >= 0 && Panel < 5) StatusPanels[Panel]->setText(ToQ(Text));
}

std::string TfrmMain::StatusText(int Panel) const {
  return Panel >= 0 && Panel < 5 ? FromQ(StatusPanels[Panel]->text()) : std::string();
}

void TfrmMain::AddLog(const std::string &Text) { mLog->AddLog(Text); }

// ---------------------------------------------------------------- data folders

void TfrmMain::TidyDataFolders() {
  const std::string &db = OptionData->DbFolder;
  const std::string &down = OptionData->DownloadFolder;
  std::error_code ec;
  fs::remove(FsPath(JoinPath(db, "alias.db")), ec);
  for (const char *name : {"update.htm", "update2.htm", "update.txt"}) {
    const std::string old_copy = JoinPath(db, name);
    if (!fs::exists(FsPath(old_copy), ec)) continue;
    const std::string kept = JoinPath(down, name);
    if (fs::exists(FsPath(kept), ec)) {
      if (GetFileWriteTime(kept) > GetFileWriteTime(old_copy)) fs::remove(FsPath(old_copy), ec);
    } else if (CopyFileToFolder(old_copy, kept)) {
      fs::remove(FsPath(old_copy), ec);
    }
  }
}

// ---------------------------------------------------------------- shut-down

void TfrmMain::closeEvent(QCloseEvent *e) {
  // Outside a run a window may still hold the program (the progress window of a page the
  // separate window saves): what it waits on is on the stack as well.
  QWidget *holding = Running() ? nullptr : QApplication::activeModalWidget();
  if (Running() || holding) {
    // The close arrived through the events a run lets through, and the run is still on the
    // stack: it is stopped as 中止 stops it, and the window closes once it has ended.
    FClosePending = true;
    FSqlStopRequested = true;
    SetRunStopRequested(true);
    e->ignore();
    if (holding) {
      connect(holding, &QObject::destroyed, this, [this] { RunsEnded(); }, Qt::SingleShotConnection);
      if (auto *dialog = qobject_cast<QDialog *>(holding))
        connect(dialog, &QDialog::finished, this, [this] { RunsEnded(); }, Qt::SingleShotConnection);
    }
    return;
  }
  FClosePending = false;
  SetRunStopRequested(false);
  if (!FClosed) {
    FClosed = true;
    FormClose();
  }
  e->accept();
}

void TfrmMain::RunsEnded() {
  if (!FClosePending) return;
  // Queued, so that what the ended run's handler still does runs first.
  // A run started meanwhile defers the close again.
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (FClosePending) close();
      },
      Qt::QueuedConnection);
}

void TfrmMain::FormClose() {
  mLog->Clear();
  TIniFile ini(OptionData->IniFileName);
  const char *W = SEC_WINDOW;
  const QRect r = (isMaximized() || isMinimized()) ? normalGeometry() : geometry();
  ini.WriteInteger(W, "Left", r.left());
  ini.WriteInteger(W, "Top", r.top());
  ini.WriteInteger(W, "Width", r.width());
  ini.WriteInteger(W, "Height", r.height());
  ini.WriteInteger(W, "WindowState", isMinimized() ? 1 : isMaximized() ? 2 : 0);
  ini.WriteInteger(W, "MonitorIndex", std::max<int>(0, QGuiApplication::screens().indexOf(screen())));
  ini.WriteInteger(W, "TabYakuzaiTopPnlWidth", ui->pnlYakuzaiTop->width());
  ini.WriteInteger(W, "TabYakuzaiUpperPnlHeight", PaneSize(ui->SplitterYakuzaiTekiyo, ui->pnlYakuzaiUpper));
  ini.WriteInteger(W, "TabYakuzaiSelectPnlHeight", PaneSize(ui->SplitterYakuzaiSeibun, ui->pnlYakuzaiSelect));
  ini.WriteInteger(W, "TabYakuzaiSeizaiWidth", PaneSize(ui->SplitterSeizai, ui->mSuisan));
  ini.WriteInteger(W, "TabSakumotsuFraSakumotsuWidth", PaneSize(ui->SplitterFraSakumotsu, ui->fraSakumotsu));
  ini.WriteInteger(W, "TabSakumotsuFraSakumotsuTabIndex", ui->fraSakumotsu->Form().pgList->currentIndex());
  QTabWidget *pg = ui->pgYakuzaiSideSeibun;
  ini.WriteInteger(W, "TabSeibunPageIndex", pg->indexOf(ui->tabSeibun));
  ini.WriteInteger(W, "TabKeitoPageIndex", pg->indexOf(ui->tabKeito));
  ini.WriteInteger(W, "TabSayotenPageIndex", pg->indexOf(ui->tabSayoten));
  ini.WriteInteger(W, "TabRacPageIndex", pg->indexOf(ui->tabRac));
  ini.WriteInteger(W, "TabSeibunPluralIndex", pg->indexOf(ui->tabSeibunPlural));
  ini.WriteInteger(W, "TabRacKeitoIndex", pg->indexOf(ui->tabRacKeito));
  ini.WriteInteger(W, "pgYakuzaiSideSeibunActivePageIndex", pg->currentIndex());

  TOptionData &o = *OptionData;
  o.LogPaneHeight = PaneSize(ui->SplitterGrid, mLog);
  o.SQLEditHeight = PaneSize(ui->SplitterSQL, ui->pnlSQL);
  o.YakuzaiSideSeibunListHeight = PaneSize(ui->SplitterYakuzaiList, ui->pgYakuzaiSideSeibun);
  o.YakuzaiSidePanelWidth = PaneSize(ui->SplitterYakuzaiSide, ui->pnlYakuzaiSide);
  o.SQLSidePanelWidth = PaneSize(ui->SplitterSqlSide, ui->pnlSqlSide);
  o.ToolBar1Top = ToolBar1->y();
  o.ToolBar1Loft = ToolBar1->x();
  o.ToolBarKensakuTop = ui->pnlSearchParam->y();
  o.ToolBarKensakuLeft = ui->pnlSearchParam->x();
  o.ToolBarVisible = !ToolBar1->isHidden();
  o.SearchPanelVisible = !ui->pnlSearchParam->isHidden();
  o.LogPaneVisible = !mLog->isHidden();
  o.StatusBarVisible = !ui->StatusBar->isHidden();
  o.GridCellLine0 = TabState[0].CellLine;
  o.GridCellLine1 = TabState[1].CellLine;
  o.GridCellLine2 = TabState[2].CellLine;
  o.GridCellLine3 = TabState[3].CellLine;
  o.GridCellLine4 = TabState[4].CellLine;
  // A file that could not be read at the start was said then not to be written.
  if (!o.Save() && o.IniReadFailure.empty())
    MsgBox(o.IniFileName + " に書き込めません"_sj, "Quillmar", MB_OK | MB_ICONERROR);
}

void TfrmMain::FormDestroy() {
  try {
    EvenRowFont.reset();
    AcisDBOwner().Close();
    SharedRegEx.reset();
  } catch (const std::exception &e) {
    MsgBox(e.what(), "Quillmar", MB_OK);
  }
}
