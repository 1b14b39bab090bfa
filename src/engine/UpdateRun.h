// The data update, with or without a window: the run that fetches a source's files,
// unpacks them and either puts the makers' ready-made databases in place or builds acis.db
// anew; what an interrupted update leaves behind and how the next start or update clears
// it away; the exit codes of the unattended runs.
//
// A build goes into a fresh file beside acis.db (".acis.db.<number>.part", with the journal
// SQLite keeps beside it), and the ready-made databases are unpacked into a folder of that
// name; either replaces acis.db in one rename once it is whole. An update killed half-way
// leaves those behind, and nothing else would ever remove them. A failed, cancelled or
// refused update leaves the user's database as it was and opens it again.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/FillTargets.h"

class TAcisDB;
class TAcisSvr;

// Whether this process holds the single-instance guard of its program folder (the program
// sets it at start). Without the guard another instance may be writing the files that look
// left behind, so the removals below leave everything alone.
extern bool HoldsInstanceGuard;

// Removes the files and folders of killed builds and unpacks from the database folder:
// ".acis.db.<number>.part" and ".spec.db.<number>.part" with their "-journal", "-wal",
// "-shm" and super-journal ("-mj<hex>") companions, and nothing else (a companion of the
// working acis.db stays). Each removal is logged (when there is a log); the
// number removed is returned.
int RemoveStaleBuildFiles(const std::string &db_folder, ILogTarget *log);

// True for a name of that pattern.
bool IsStaleBuildName(const std::string &name);

// Removes from the data folder the files that a killed download, copy or unpack was
// writing: "." + the file's name + "." + a number + ".part", plain files only, and the
// folders an unpack works in (".unpack." + a number + ".part"); nothing else. Logged and
// counted as above.
int RemoveStaleDataFiles(const std::string &data_folder, ILogTarget *log);

// True for a name of that pattern.
bool IsStaleDataName(const std::string &name);

// What a killed update left in the database and data folders goes; for the start of the
// program and of an unattended run.
void RemoveStaleUpdateFiles(ILogTarget *log);

// The exit codes of the unattended runs ("/u" update, "/r" download check).
enum TUnattendedExit : int {
  kExitUpToDate = 0,       // nothing to do: the database holds the source's data
  kExitRebuilt = 1,        // "/u": acis.db was rebuilt or replaced
  kExitDownloaded = 2,     // "/r": the source's files were fetched
  kExitFailed = 3,         // the check, a fetch, an unpack or the build failed; acis.db is as it was
  kExitOtherInstance = 4,  // another Quillmar is running: nothing was done
};

// Writes the lines of an unattended run's log (program text, CR LF ends), replacing the file.
void SaveUpdateLog(const std::string &path, const std::vector<std::string> &lines);

// ---------------------------------------------------------------- the update run

// What a run tells the window that shows it; a run without a window has none. Every call
// has a default that does nothing.
class IUpdateView {
 public:
  virtual ~IUpdateView() = default;
  // The window's buttons follow the run: off while a step works, on again after it.
  virtual void EnableControls(bool) {}
  // The progress bar is shown while a fetch or a build works.
  virtual void ShowProgress(bool) {}
  // The label naming file index of page kind (0..2 the source kinds, 3 the ready-made
  // databases) is marked while that file is worked on.
  virtual void MarkFile(int, int, bool) {}
  // The program-wide query object is about to be freed, or was just created.
  virtual void DatabaseClosing() {}
  virtual void DatabaseOpened() {}
  // The user-given address (kind 4) as the window shows it; empty: the UserSite setting.
  virtual std::string DownloadAddress() { return {}; }
  // A run that ends the window's work asks it to close (later, from its event loop).
  virtual void CloseWindow() {}
};

// One file a source offers: the name its log lines begin with, the file in the data
// folder, where it comes from (an address, or a path in a shared folder) and how.
struct TFetchItem {
  enum TWay { Http, Copy, ShellCopy };
  std::string label, file, source;
  TWay way = Http;
  const char *start_utf8 = nullptr;  // the line before the fetch (after the label); none when null
  int page = 0, index = 0;           // the window's label of the file
};

// The data update. It frees and creates the program-wide query object through its owner
// (AcisDBOwner). Lines go to its log (kept, and passed on to the log it was given),
// positions to the progress target; the window, when there is one, follows through
// IUpdateView. The query object it opens keeps none of the run's targets: it gets the
// log and progress the object before it had.
class TUpdateRun {
 public:
  TUpdateRun(ILogTarget *log, IProgressTarget *progress, IUpdateView *view);
  ~TUpdateRun();
  TUpdateRun(const TUpdateRun &) = delete;
  TUpdateRun &operator=(const TUpdateRun &) = delete;

  // ---- set before a run
  bool AutoStart = false;        // an automatic run: the window closes after success
  bool OldDatabase = false;      // the database open before had schema version 120412 or lower
  std::uint8_t SourceKind = 0;   // 0 publisher CSV, 1 publisher Excel, 2 Torv CSV, 3 Torv DB, 4 user site
  std::uint8_t MirrorIndex = 0;  // the makers' mirror that serves kind 3
  // ---- state and results
  bool Rebuilt = false;          // acis.db was rebuilt or replaced
  bool Aborted = false;          // set by Abort and by failed steps; later steps test it
  bool AutoRunning = false;      // steps leave the controls alone; a failed fetch stops the run
  std::string DataAsOf;
  std::string CsvNames[3];       // the publisher's CSV archives: basic part, application parts 1 and 2
  // The date and time of the unattended runs' first and last lines.
  std::function<std::string()> Stamp;

  // ---- runs
  bool RunAutoUpdate();      // fetch, unpack, build; true when not aborted
  bool RunDownloadCheck();   // the fetch alone ("/r"): true when "/r" is set and no fetch failed
  void UpdateFromLocalFiles();

  // ---- steps
  void Fetch();              // the download, or the shared-folder copy when UseLAN is set
  void Download();
  void CopyFromSharedFolder();
  void Unpack();             // by source kind
  void UnpackAcisCsv();
  void UnpackAcisXls();
  void UnpackTorvCsv();
  void UnpackDatabases();
  void RebuildDatabase();
  bool ReadAcisCsvInfo();
  // Stops the run between steps.
  void Abort();

  // The files the chosen source offers, in fetch order (kind 0: the names read from the
  // publisher's page; kind 4: none for an address that is neither a web address nor a
  // "\\" share).
  std::vector<TFetchItem> FetchItems(bool shared);

  // Imports a JPP-NET export into jpp.db through the program's query object (the
  // product summary, or the active ingredients); logged when it succeeded.
  bool ImportJpp(const std::string &file, bool ingredients);

  void AddLog(const std::string &line);
  // A line that says what failed and what the user can do: logged, and kept for the error
  // output of an unattended run.
  void AddFailure(const std::string &line);
  const std::vector<std::string> &Failures() const { return FFailures; }
  // Every line this run's log received (program text), one per line of text.
  const std::vector<std::string> &Lines() const { return FLog.lines; }
  // The run's log, for those who write into it.
  ILogTarget *Log() { return &FLog; }

 private:
  // The log of the run: keeps every line and passes it on.
  struct TRunLog : ILogTarget {
    ILogTarget *out = nullptr;
    std::vector<std::string> lines;
    void AddLine(const std::string &line) override;
  };
  class TWorkbook;
  // An archive of the source and the files of the form it must hold at its top level (an
  // entry of the publisher's basic part goes by either of two names).
  struct TUnpackItem {
    std::string archive;
    int index;
    std::vector<std::pair<std::string, std::string>> entries;  // name, other name (or empty)
  };

  std::string DataFile(const std::string &name) const;
  std::string DbFile(const std::string &name) const;
  bool ReleaseDatabase();
  void OpenDatabase();
  void ReopenAfterFailure(bool was_open);
  bool ReplaceDatabase(const std::string &fresh);
  void DiscardBuild();
  void FetchStep(bool shared);
  bool FetchPage(bool shared, TAcisSvr &svr, std::string &target, bool &stop);
  void UnpackStep(const std::vector<TUnpackItem> &archives, int page, bool stop_at_missing, const char *unpack_utf8);
  // The data-as-of page fetched for this update becomes the saved one, or goes.
  void EndPage(bool taken_in);
  void ExtractFailed(const std::string &archive, const std::string &output);
  void ConvertAcisCsv();
  void ConvertAcisXls();
  void ConvertTorvCsv();
  void Controls(bool on);
  void SetPosition(int position);

  TRunLog FLog;
  IProgressTarget *FProgress;
  IUpdateView FNoView;
  IUpdateView *FView;
  // The log and progress the program's query object had when the run closed it.
  ILogTarget *FDbLog = nullptr;
  IProgressTarget *FDbProgress = nullptr;
  // The query object of a build under way (on the fresh file), and that file.
  std::unique_ptr<TAcisDB> FBuildDB;
  std::string FBuildPath;
  bool FFetchFailed = false;  // a fetch of the last fetch step failed (not done, not unchanged)
  bool FDownloadCheck = false;  // a download check runs: a failed fetch ends it
  std::vector<std::string> FFailures;
};

// The exit code of an unattended run made on run (without a window): the update gives
// kExitRebuilt when it succeeded, the download check kExitDownloaded; else kExitFailed.
int RunUnattendedUpdate(TUpdateRun &run);
int RunUnattendedDownloadCheck(TUpdateRun &run);
