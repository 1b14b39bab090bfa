// The update window: fetches the registration data from the chosen source, unpacks it and
// either puts the makers' ready-made databases in place or builds acis.db anew through the
// build steps of the query object. Shown modally by the main window, or run hidden for the
// unattended update ("/u") and the download check ("/r").
//
// A build goes into a fresh file beside acis.db, which replaces acis.db only once every
// step has succeeded; ready-made databases are unpacked beside it in the same way. A failed,
// cancelled or refused update leaves the user's database as it was and opens it again.
//
// The window frees and creates the global query object AcisDB itself and tells its owner
// through DatabaseClosing (before AcisDB is freed) and DatabaseOpened (after it was created).
#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "components/grid/ExcelUtil.h"
#include "components/QtServices.h"
#include "engine/FillTargets.h"
#include "engine/XBiff.h"

namespace Ui {
class TfrmUpdate;
}
class QLabel;
class QMenu;
class QToolButton;
class QElapsedTimer;
class TAcisDB;
class TAcisSvr;

class TfrmUpdate : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmUpdate(QWidget *parent = nullptr);
  ~TfrmUpdate() override;

  // ---- set by the caller before the window is shown or run
  bool AutoStart = false;        // run RunAutoUpdate on activation, close after success
  bool ForceUpdate = false;      // a failed shared-folder copy does not stop an automatic run
  bool LocalFilesStart = false;  // run UpdateFromLocalFiles on activation
  bool OldDatabase = false;      // the database open before had schema version 120412 or lower
  // ---- read by the caller afterwards
  bool Rebuilt = false;          // acis.db was rebuilt or replaced

  std::uint8_t SourceKind = 0;   // 0 publisher CSV, 1 publisher Excel, 2 Torv CSV, 3 Torv DB, 4 user site
  std::uint8_t MirrorIndex = 0;  // the makers' mirror that serves kind 3
  bool Aborted = false;
  bool AutoRunning = false;
  std::string DataAsOf;
  std::string CsvNames[3];       // the publisher's CSV archives: basic part, application parts 1 and 2
  int PartIndex = 0;
  int SheetCounter = 0, TargetSheet = 0;
  int MaxCol = 0, MaxRow = 0;

  // ---- runs
  // The whole update: fetch, unpack, build. True when it was not aborted.
  bool RunAutoUpdate();
  // The fetch alone ("/r"): True when "/r" is set, the run reached its end and no fetch failed.
  bool RunDownloadCheck();
  // The start-up road: rebuild from the files at hand, fetching what is missing; then close.
  void UpdateFromLocalFiles();

  // ---- steps
  void Download();
  void CopyFromSharedFolder();
  void UnpackAcisCsv();
  void UnpackAcisXls();
  void UnpackTorvCsv();
  void RebuildDatabase();
  void ConvertAcisCsv();
  void ConvertAcisXls();
  void ConvertTorvCsv();
  bool ReadAcisCsvInfo();

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
  void FormClose();
  void mLogChange();
  void ExcelReadSheetName(TXBiff *Sender, const std::string &SheetName);
  void ExcelReadCell(TXBiff *Sender, int SheetNo, int Row, int Col, int rgbAttr, const std::string &Data,
                     bool &Cancel);
  void ExcelProgress(TXBiff *Sender, int Progress);

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
  class TLogMemo;
  class TBar;
  class TPartGrid;

  std::string DataFile(const std::string &name) const;
  std::string DbFile(const std::string &name) const;
  // Frees AcisDB (telling the owner first); true when one was open.
  bool ReleaseDatabase();
  // Creates AcisDB on acis.db; the reference refresh runs only when asked for.
  void OpenDatabase(bool refresh);
  // Opens the old acis.db again after a failed or cancelled update; failures are logged.
  void ReopenAfterFailure(bool was_open);
  // Moves the finished build over acis.db; false (reported) when it cannot.
  bool ReplaceDatabase(const std::string &fresh);
  void DiscardBuild();
  void FetchStep(bool shared);
  void UnpackStep(const std::vector<std::pair<std::string, QLabel *>> &archives, bool stop_at_missing,
                  const char *unpack_utf8);
  void SaveLog(const std::string &path) const;
  QLabel *FileLabel(int kind, int index) const;
  void Guard(const char *name, const std::function<void()> &step);
  std::string DownloadAddress() const;

  std::unique_ptr<Ui::TfrmUpdate> ui;
  QToolButton *bAuto = nullptr, *ckManual = nullptr, *bExt = nullptr, *bAbort = nullptr, *bClose = nullptr;
  QMenu *pmnExt = nullptr;
  std::unique_ptr<TLogMemo> log_;
  std::unique_ptr<TBar> bar_;
  TXBiff Excel;
  std::unique_ptr<TPartGrid> PartGrid;
  // The query object of a build under way (on the fresh file), and that file.
  std::unique_ptr<TAcisDB> FBuildDB;
  std::string FBuildPath;
  bool FFetchFailed = false;  // a fetch of the last fetch step failed (not done, not unchanged)
  bool FActivated = false;
};

// The unattended runs of the main window: an update window run hidden with the start flag
// set. The update gives 1 when it succeeded, else 3; the download check 2, else 3.
int UnattendedUpdate(QWidget *owner);
int UnattendedDownloadCheck(QWidget *owner);

// The date and time that open and close the log of an unattended run (the system's short
// formats).
std::string UpdateLogStamp();
// Writes the lines of an unattended run's log (program text, CR LF ends), replacing the file.
void SaveUpdateLog(const std::string &path, const std::vector<std::string> &lines);

// The user-interface services of an unattended run: no box ever waits for an answer, since
// nobody is there to give one. The text of a box or report goes to the log of the run (to
// standard error while there is none) and the box takes the answer that starts nothing
// further (Cancel, No, Abort, or OK when that is the only button).
class TUnattendedUi : public TQtUiServices {
 public:
  int MessageBox(const std::string &text, const std::string &caption, unsigned flags) override;
  void ShowReport(const std::string &caption, const std::string &title, const std::string &text) override;

  // Points the boxes' text at a log for the object's lifetime.
  class TLogScope {
   public:
    explicit TLogScope(ILogTarget *log) : saved_(Log) { Log = log; }
    ~TLogScope() { Log = saved_; }
    TLogScope(const TLogScope &) = delete;
    TLogScope &operator=(const TLogScope &) = delete;

   private:
    ILogTarget *saved_;
  };

 private:
  static void Write(const std::string &text);
  static inline ILogTarget *Log = nullptr;
};
