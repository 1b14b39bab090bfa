// The search framework of the main window: the search action that serves every tab, the
// enabling of the output commands and of the search panels, and the tab change.
#include <QAction>
#include <QTabWidget>
#include <QToolButton>
#include <vector>

#include "components/grid/ExcelUtil.h"
#include "components/WinSpinEdit.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "ui/main.h"
#include "ui_main.h"

std::string TfrmMain::ResultViewName(int Tab, bool Tsusho, int SeibunMode, int RacMode,
                                     const std::string &Current) {
  if (Tab < 0 || Tab > 1 || RacMode < 0 || RacMode > 1 || SeibunMode < 0 || SeibunMode > 4) return Current;
  // The one view whose stored name spells "RK"; SQLite finds views without regard to case,
  // but the name is kept as it was written.
  if (Tsusho && RacMode == 1 && Tab == 1 && SeibunMode == 4) return "tvTsushoTekiyoRKByochu5";
  std::string name = "tv";
  if (Tsusho) name += "Tsusho";
  name += "Tekiyo";
  if (RacMode == 1) name += "Rk";
  name += Tab == 0 ? "Saku" : "Byochu";
  name += std::to_string(SeibunMode + 1);
  return name;
}

TfrmMain::TRunScope::TRunScope(TfrmMain &Window) : FWindow(Window) {
  if (FWindow.FRunDepth++ > 0) return;
  FWindow.FOutputOnAtEnd = FWindow.FPanelsOnAtEnd = false;
  // The tool bar's search starts a run from any tab: it waits for this one's end.
  QAction *search = FWindow.actSearchTekiyou;
  FWindow.FSearchOnAtEnd = search && search->isEnabled();
  if (search) search->setEnabled(false);
}

TfrmMain::TRunScope::~TRunScope() {
  if (--FWindow.FRunDepth > 0) return;
  if (FWindow.FSearchOnAtEnd) FWindow.SetSearchEnabled(true);
  if (FWindow.FPanelsOnAtEnd) FWindow.SetSearchPanelsEnabled(true);
  if (FWindow.FOutputOnAtEnd) FWindow.SetOutputEnabled(true);
  FWindow.RunsEnded();
}

bool TfrmMain::RunExclusive(const std::function<void()> &Command) {
  if (Running()) return false;
  TRunScope run(*this);
  Command();
  return true;
}

void TfrmMain::SetOutputEnabled(bool Enabled) {
  if (Running()) {
    FOutputOnAtEnd = Enabled;
    if (Enabled) return;
  }
  for (QAction *a : {actCopyExcel, actCopyExcelByHTML, actCopyOOoCalc, actCopyWPS, actCopyJustCalc,
                     actCopyJustCalcByHTML, actCsvSave, actHtmlSave, actExportGrid, actGridCopy, actGridAllCopy,
                     mnPortaBase, pmnGridAdjustWidth, pmnFixedClm, pmnFixedClmOff, pmnGoogleTekiyo})
    if (a) a->setEnabled(Enabled);
  if (seGridCellLine) seGridCellLine->setEnabled(Enabled);
  // The view modes belong to the crop and pest tabs whatever the outputs do.
  const bool views = ui->pgSearch->currentIndex() < 2;
  for (QAction *a : {actTsusho, actRacKeito, mnSearchKeitoView})
    if (a) a->setEnabled(views);
  if (btnSeibunView) btnSeibunView->setEnabled(views);
  if (mnSearchSeibunView) mnSearchSeibunView->setEnabled(btnSeibunView ? btnSeibunView->isEnabled() : views);
}

void TfrmMain::SetSearchEnabled(bool Enabled) {
  if (Running()) {
    FSearchOnAtEnd = Enabled;
    if (Enabled) return;
  }
  actSearchTekiyou->setEnabled(Enabled);
}

void TfrmMain::SetSearchPanelsEnabled(bool Enabled) {
  if (Running()) {
    FPanelsOnAtEnd = Enabled;
    if (Enabled) return;
  }
  ui->pgSearch->setEnabled(Enabled);
  std::vector<QWidget *> controls;
  switch (ui->pgSearch->currentIndex()) {
    case 0:
      controls = {ui->pnlSearchParam, ui->pnlSakuLeft, ui->btnByochu, ui->cbByochu, ui->btnYoto, ui->btnMokuteki,
                  ui->cbMokuteki, ui->btnZaikei, ui->cbZaikei, ui->btnKeito, ui->cbKeito};
      break;
    case 1: controls = {ui->pnlTabByochuTop, ui->btnTabByochu, ui->btnTabByochuSaku, ui->cbTabByochuSakumotu}; break;
    case 2: controls = {ui->cbYakuzai, ui->cbYotoTabYakuzai, ui->bYakuzaiTabSakuSel}; break;
    case 4:
      controls = {ui->pnlSqlSide, ui->pnlSQL, ui->btnQueryExec, ui->btnQuerySave, ui->btnQueryLoad};
      break;
    default: break;
  }
  for (QWidget *w : controls) w->setEnabled(Enabled);
}

void TfrmMain::actSearchTekiyouExecute() {
  if (!AcisDB) return;
  TBusyCursor busy;
  TRunScope run(*this);
  // The finally step: runs whether the search returns or raises.
  struct Finally {
    TfrmMain *w;
    ~Finally() {
      w->SetSearchEnabled(true);
      if (w->actSearchStrClear) w->actSearchStrClear->setEnabled(true);
      w->actStop->setEnabled(false);
    }
  } finally{this};
  const int tab = ui->pgSearch->currentIndex();
  if (tab >= 0 && tab < static_cast<int>(SearchOfTab.size()) && SearchOfTab[static_cast<std::size_t>(tab)])
    SearchOfTab[static_cast<std::size_t>(tab)]();
  SetOutputEnabled(true);
  SetStatusText(1, std::string());
}

void TfrmMain::pgSearchChange() {
  const int tab = ui->pgSearch->currentIndex();
  if (tab < 0 || tab >= static_cast<int>(TabState.size())) return;
  TTabState &t = TabState[static_cast<std::size_t>(tab)];
  CurrentGrid = t.Grid;  // none on a tab without its own grid
  SetStatusText(2, t.StatusText);
  SetStatusText(3, t.CountText);
  if (seGridCellLine) seGridCellLine->SetValue(t.CellLine);
  SetOutputEnabled(t.Grid && t.Grid->isVisible());
  ViewName = ResultViewName(tab, actTsusho && actTsusho->isChecked(), SeibunViewMode, RacKeitoMode, ViewName);
}
