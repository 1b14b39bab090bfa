// The search framework of the main window: the search action that serves every tab, the
// enabling of the output commands and of the search panels, and the tab change.
#include <QAction>
#include <QTabWidget>
#include <QToolButton>
#include <array>
#include <utility>
#include <vector>

#include "components/grid/ExcelUtil.h"
#include "components/WinSpinEdit.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "ui/main.h"
#include "ui/main_searchtabs.h"
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

std::array<std::pair<QAction *, bool *>, 6> TfrmMain::HeldDuringRuns() {
  // The tool bar's search starts a run from any tab, 条件消去 empties the conditions the
  // result was found by, データ更新 replaces the database under it, 設定 re-measures the grids
  // and opens its dialog inside the run, オフライン作業 and 行選択モード change a setting
  // and the grids' selection: they wait for this run's end.
  return {{{actSearchTekiyou, &FSearchOnAtEnd},
           {actSearchStrClear, &FClearOnAtEnd},
           {actCheckUpdate, &FUpdateOnAtEnd},
           {actOption, &FOptionOnAtEnd},
           {mnOffline, &FOfflineOnAtEnd},
           {mnRowSelect, &FRowSelectOnAtEnd}}};
}

TfrmMain::TRunScope::TRunScope(TfrmMain &Window) : FWindow(Window) {
  if (FWindow.FRunDepth++ > 0) return;
  FWindow.FOutputOnAtEnd = FWindow.FPanelsOnAtEnd = false;
  for (const auto &[action, on_at_end] : FWindow.HeldDuringRuns()) {
    *on_at_end = action && action->isEnabled();
    if (action) action->setEnabled(false);
  }
}

TfrmMain::TRunScope::~TRunScope() {
  if (--FWindow.FRunDepth > 0) return;
  // The search goes on through its own switch, which knows the tab's conditions.
  for (const auto &[action, on_at_end] : FWindow.HeldDuringRuns())
    if (action && *on_at_end && action != FWindow.actSearchTekiyou) action->setEnabled(true);
  if (FWindow.FSearchOnAtEnd) FWindow.SetSearchEnabled(true);
  if (FWindow.FPanelsOnAtEnd) FWindow.SetSearchPanelsEnabled(true);
  if (FWindow.FOutputOnAtEnd) FWindow.SetOutputEnabled(true);
  FWindow.RunsEnded();
  FWindow.PostDeferredRuns();
}

bool TfrmMain::RunExclusive(const std::function<void()> &Command) {
  if (Running()) return false;
  TRunScope run(*this);
  Command();
  return true;
}

void TfrmMain::RunLatest(const std::string &Kind, std::function<void()> Command) {
  // Requests that came earlier and still wait go first.
  if (!Running() && FDeferredRuns.empty()) {
    TRunScope run(*this);
    RunGuarded(this, Command);
    return;
  }
  std::erase_if(FDeferredRuns, [&Kind](const auto &r) { return r.first == Kind; });
  FDeferredRuns.emplace_back(Kind, std::move(Command));
  if (!Running()) PostDeferredRuns();
}

void TfrmMain::PostDeferredRuns() {
  // The run that ended may still be unwinding in its caller: the next one starts from the
  // event loop.
  if (FDeferredRuns.empty() || FDeferredPosted) return;
  FDeferredPosted = true;
  QMetaObject::invokeMethod(this, [this] { RunDeferred(); }, Qt::QueuedConnection);
}

void TfrmMain::RunDeferred() {
  FDeferredPosted = false;
  if (Running() || FDeferredRuns.empty()) return;  // that run's end posts again
  // A window that closes or has closed takes no more requests.
  if (FClosePending || !isVisible()) {
    FDeferredRuns.clear();
    return;
  }
  const std::function<void()> command = std::move(FDeferredRuns.front().second);
  FDeferredRuns.erase(FDeferredRuns.begin());
  TRunScope run(*this);  // its end posts the next request
  RunGuarded(this, command);
}

void TfrmMain::SetOutputEnabled(bool Enabled) {
  if (Running()) {
    FOutputOnAtEnd = Enabled;
    if (Enabled) return;
  }
  // "On" follows what the grid shows: after 中止, or a search that ended without a result,
  // no grid is shown and the outputs would have nothing to act on.
  Enabled = Enabled && CurrentGrid && CurrentGrid->isVisibleTo(this);
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
  QTabWidget *pages = ui->pgSearch;
  const bool turning_off = !Enabled && pages->isEnabled();
  if (turning_off) {
    // Turning the panels off moves the focus out of them: it comes back with them, so the
    // user goes on with the arrow keys in the list where the run began.
    QWidget *had = focusWidget();
    FFocusBeforeRun = had && pages->isAncestorOf(had) ? had : nullptr;
  }
  pages->setEnabled(Enabled);
  // The conditions of every tab they were turned off on come back, also when a run has
  // moved to another tab meanwhile (a send-to from a result grid).
  const int current = pages->currentIndex();
  unsigned tabs = current >= 0 ? 1u << current : 0u;
  if (!Enabled) {
    FPanelsOffTabs |= tabs;
  } else if (FPanelsOffTabs != 0) {
    tabs = std::exchange(FPanelsOffTabs, 0u);
  }
  for (int tab = 0; tab < 5; ++tab) {
    if (!(tabs & (1u << tab))) continue;
    std::vector<QWidget *> controls;
    switch (tab) {
      case 0:
        controls = {ui->pnlSearchParam, ui->pnlSakuLeft, ui->btnByochu, ui->cbByochu, ui->btnYoto, ui->btnMokuteki,
                    ui->cbMokuteki, ui->btnZaikei, ui->cbZaikei, ui->btnKeito, ui->cbKeito};
        break;
      case 1: controls = {ui->pnlTabByochuTop, ui->btnTabByochu, ui->btnTabByochuSaku, ui->cbTabByochuSakumotu}; break;
      case 2: controls = {ui->cbYakuzai, ui->cbYotoTabYakuzai, ui->bYakuzaiTabSakuSel}; break;
      case 4: controls = {ui->pnlSqlSide, ui->pnlSQL, ui->btnQueryExec, ui->btnQuerySave, ui->btnQueryLoad}; break;
      default: break;
    }
    for (QWidget *w : controls) w->setEnabled(Enabled);
  }
  if (turning_off) {
    FFocusDuringRun = focusWidget();
  } else if (Enabled) {
    QWidget *back = FFocusBeforeRun;
    if (back && focusWidget() == FFocusDuringRun && back->isEnabled() && back->isVisible()) back->setFocus();
    FFocusBeforeRun = FFocusDuringRun = nullptr;
  }
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
      w->FClearOnAtEnd = w->actSearchStrClear != nullptr;
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
