// The update window: its tool bar, the step buttons of each source's page, the mirror and
// address choice, the log memo and the progress bar. The update itself (which files each
// source needs, the order of the steps, when to stop) is the engine's update run
// (engine/UpdateRun.h); the window turns clicks into the run's steps and shows what the run
// reports. Shown modally by the main window; the unattended update ("/u") and download
// check ("/r") run without it (ui/UnattendedRun.h).
//
// The run frees and creates the global query object AcisDB; the window tells its owner
// through DatabaseClosing (before AcisDB is freed) and DatabaseOpened (after it was created).
#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/UpdateRun.h"

namespace Ui {
class TfrmUpdate;
}
class QLabel;
class QMenu;
class QToolButton;

class TfrmUpdate : public QDialog {
  Q_OBJECT

 private:
  // First, so that the run exists before the fields below name its own.
  class TLogMemo;
  class TBar;
  class TView;
  std::unique_ptr<Ui::TfrmUpdate> ui;
  std::unique_ptr<TLogMemo> log_;
  std::unique_ptr<TBar> bar_;
  std::unique_ptr<TView> view_;
  std::unique_ptr<TUpdateRun> run_;

 public:
  explicit TfrmUpdate(QWidget *parent = nullptr);
  ~TfrmUpdate() override;

  // ---- set by the caller before the window is shown or run (the run's own fields)
  bool &AutoStart;               // run RunAutoUpdate on activation, close after success
  bool LocalFilesStart = false;  // run UpdateFromLocalFiles on activation
  bool &OldDatabase;             // the database open before had schema version 120412 or lower
  // ---- read by the caller afterwards
  bool &Rebuilt;                 // acis.db was rebuilt or replaced

  std::uint8_t &SourceKind;      // 0 publisher CSV, 1 publisher Excel, 2 Torv CSV, 3 Torv DB, 4 user site
  std::uint8_t &MirrorIndex;     // the makers' mirror that serves kind 3
  bool &Aborted;
  bool &AutoRunning;
  std::string &DataAsOf;

  // ---- runs and steps, as the buttons start them
  // The whole update: fetch, unpack, build. True when it was not aborted.
  bool RunAutoUpdate();
  // The fetch alone ("/r"): True when "/r" is set, the run reached its end and no fetch failed.
  bool RunDownloadCheck();
  // The start-up road: rebuild from the files at hand, fetching what is missing; then close.
  void UpdateFromLocalFiles();
  void Download();
  void RebuildDatabase();

  // ---- handlers
  void bDownClick();
  void btnAcisZipUnpackClick();
  void bUnpackClick();
  void bZipUnpackClick();
  void btnUnpackDBClick();
  void bXlsCnvClick();
  void bCsvToDBClick();
  void bAutoClick();
  void ckManualClick();
  void bAbortClick();
  void bCloseClick();
  void btnDokuseiClick();
  void pmnJppSeibunClick();
  void pgSiteChange();
  void rdTorvClick();
  void rdCustumClick();
  void cbTorvDBSiteChange();
  void FormCreate();
  void FormActivate();
  bool FormCloseQuery();
  void mLogChange();

  void EnableControls(bool on);
  void EnableStepButtons(bool on);

  // ---- the log
  void AddLog(const std::string &line);
  std::vector<std::string> LogLines() const;

  // Asks for a file to import (title, filter as "caption (pattern)", start folder; program
  // text); empty when none was chosen. Tests replace it.
  static std::function<std::string(QWidget *, const std::string &, const std::string &, const std::string &)>
      ChooseFile;

 signals:
  void DatabaseClosing();
  void DatabaseOpened();

 protected:
  void showEvent(QShowEvent *e) override;
  void closeEvent(QCloseEvent *e) override;
  void reject() override;

 private:
  QLabel *FileLabel(int page, int index) const;
  void Guard(const char *name, const std::function<void()> &step);
  void ImportJppFile(const char *title_utf8, const char *pattern, bool ingredients);
  void HoldCommands(bool on);

  QToolButton *bAuto = nullptr, *ckManual = nullptr, *bExt = nullptr, *bAbort = nullptr, *bClose = nullptr;
  QMenu *pmnExt = nullptr;
  bool FActivated = false;
  bool FImporting = false;  // a JPP-NET import runs: commands and closing wait for its end
};
