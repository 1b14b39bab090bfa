#include "engine/UpdateRun.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "engine/AcisSvr.h"
#include "engine/Exception.h"
#include "engine/UpdateRunCommon.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "platform/fspath.h"

using namespace cp932::literals;
namespace fs = std::filesystem;

bool HoldsInstanceGuard = true;

namespace {

// The length of the "." + digits + ".part" at the end of name; 0 when it has none.
std::size_t PartSuffix(const std::string &name) {
  const std::string part = ".part";
  if (name.size() < part.size() || name.compare(name.size() - part.size(), part.size(), part) != 0) return 0;
  std::size_t at = name.size() - part.size();
  const std::size_t digits_end = at;
  while (at > 0 && name[at - 1] >= '0' && name[at - 1] <= '9') --at;
  if (at == digits_end || at == 0 || name[at - 1] != '.') return 0;
  return name.size() - (at - 1);
}

int RemoveStale(const std::string &folder, bool (*stale)(const fs::directory_entry &), ILogTarget *log) {
  if (!HoldsInstanceGuard) return 0;
  std::error_code ec;
  std::vector<fs::path> found;
  for (fs::directory_iterator it(FsPath(folder), ec), end; !ec && it != end; it.increment(ec))
    if (stale(*it)) found.push_back(it->path());
  int removed = 0;
  for (const fs::path &p : found) {
    std::error_code remove_error;
    fs::remove_all(p, remove_error);
    if (remove_error) continue;
    ++removed;
    if (log) log->AddLine("中断された更新の作業ファイルを削除: "_sj + FromFsPath(p.filename()));
  }
  return removed;
}

}  // namespace

bool IsStaleBuildName(const std::string &name) {
  std::string rest;
  for (const char *base : {".acis.db.", ".spec.db."})
    if (name.rfind(base, 0) == 0) rest = name.substr(std::char_traits<char>::length(base));
  if (rest.empty()) return false;
  std::size_t digits = 0;
  while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') ++digits;
  if (digits == 0) return false;
  const std::string tail = rest.substr(digits);
  for (const char *t : {".part", ".part-journal", ".part-wal", ".part-shm"})
    if (tail == t) return true;
  // The super-journal SQLite writes beside the build file while a transaction spans it and
  // spec.db: "-mj" and a hexadecimal number.
  const std::string super = ".part-mj";
  return tail.size() > super.size() && tail.compare(0, super.size(), super) == 0 &&
         tail.find_first_not_of("0123456789ABCDEFabcdef", super.size()) == std::string::npos;
}

int RemoveStaleBuildFiles(const std::string &db_folder, ILogTarget *log) {
  return RemoveStale(db_folder, [](const fs::directory_entry &e) { return IsStaleBuildName(e.path().filename().string()); },
                     log);
}

bool IsStaleDataName(const std::string &name) {
  // "." + a name of at least one character + "." + digits + ".part"
  const std::size_t suffix = PartSuffix(name);
  return suffix > 0 && name[0] == '.' && name.size() > suffix + 1;
}

int RemoveStaleDataFiles(const std::string &data_folder, ILogTarget *log) {
  return RemoveStale(
      data_folder,
      [](const fs::directory_entry &e) {
        std::error_code ec;
        const std::string name = e.path().filename().string();
        if (e.is_symlink(ec) || !IsStaleDataName(name)) return false;
        return e.is_regular_file(ec) || (e.is_directory(ec) && name.rfind(".unpack.", 0) == 0);
      },
      log);
}

void RemoveStaleUpdateFiles(ILogTarget *log) {
  RemoveStaleBuildFiles(OptionData->DbFolder, log);
  RemoveStaleDataFiles(OptionData->DownloadFolder, log);
}

// ---------------------------------------------------------------- the update run

using namespace update_run;

namespace {

// The year/month/day hour:minute form; the program gives the system's own formats.
std::string DefaultStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y/%m/%d %H:%M", &local);
  return buffer;
}

// Sets the reference refresh aside while a database that was refreshed moments ago opens.
class TNoRefresh {
 public:
  TNoRefresh() : saved_(TAcisDB::ReferenceRefresh) { TAcisDB::ReferenceRefresh = nullptr; }
  ~TNoRefresh() { TAcisDB::ReferenceRefresh = saved_; }
  TNoRefresh(const TNoRefresh &) = delete;
  TNoRefresh &operator=(const TNoRefresh &) = delete;

 private:
  TAcisDB::TReferenceRefresh saved_;
};

}  // namespace

void TUpdateRun::TRunLog::AddLine(const std::string &line) {
  // One entry per line of text, as a memo shows them.
  std::size_t start = 0;
  for (;;) {
    const std::size_t nl = line.find('\n', start);
    std::string one = line.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
    if (nl != std::string::npos && !one.empty() && one.back() == '\r') one.pop_back();
    lines.push_back(std::move(one));
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  if (out) out->AddLine(line);
}

TUpdateRun::TUpdateRun(ILogTarget *log, IProgressTarget *progress, IUpdateView *view)
    : Stamp(DefaultStamp), FProgress(progress), FView(view ? view : &FNoView) {
  FLog.out = log;
  SourceKind = std::min<std::uint8_t>(OptionData->DownSite, 4);
  MirrorIndex = std::min<std::uint8_t>(OptionData->DownSiteTorvDB, 3);
}

TUpdateRun::~TUpdateRun() = default;

void TUpdateRun::AddLog(const std::string &line) { FLog.AddLine(line); }

void TUpdateRun::AddFailure(const std::string &line) {
  AddLog(line);
  FFailures.push_back(line);
}

void TUpdateRun::SetPosition(int position) {
  if (FProgress) FProgress->SetPosition(position);
}

void TUpdateRun::Controls(bool on) {
  if (!AutoRunning) FView->EnableControls(on);
}

// The hourglass of the step under way goes when that step ends.
void TUpdateRun::Abort() {
  Aborted = true;
  AutoRunning = false;
  AutoStart = false;
  FView->EnableControls(true);
}

void SaveUpdateLog(const std::string &path, const std::vector<std::string> &lines) {
  std::string text;
  for (const std::string &l : lines) text += l + "\r\n";
  std::ofstream f(FsPath(path), std::ios::binary | std::ios::trunc);
  f << text;
}

std::string TUpdateRun::DataFile(const std::string &name) const { return JoinPath(OptionData->DownloadFolder, name); }
std::string TUpdateRun::DbFile(const std::string &name) const { return JoinPath(OptionData->DbFolder, name); }

// ---- the query object

bool TUpdateRun::ReleaseDatabase() {
  if (!AcisDB) return false;
  FView->DatabaseClosing();
  FDbLog = AcisDB->LogTarget();
  FDbProgress = AcisDB->ProgressBar();
  AcisDBOwner().Close();
  return true;
}

// The new object writes what its opening logs into the run's log and then takes the
// targets of the object it replaces. The reference tables were refreshed moments ago.
void TUpdateRun::OpenDatabase() {
  TNoRefresh no_refresh;
  TAcisDB &db = AcisDBOwner().Reopen(DbFile("acis.db"), &FLog);
  db.SetLogTarget(FDbLog);
  db.SetProgressBar(FDbProgress);
  FView->DatabaseOpened();
}

void TUpdateRun::ReopenAfterFailure(bool was_open) {
  if (!was_open || AcisDB || !Exists(DbFile("acis.db"))) return;
  try {
    OpenDatabase();
  } catch (const std::exception &e) {
    AddLog("AcisDB.Create Error " + ExceptionClassName(e) + "\r\n" + e.what());
  }
}

// ---- the runs

bool TUpdateRun::RunAutoUpdate() {
  Aborted = false;
  AutoRunning = true;
  FView->EnableControls(false);
  if (AutoUpdateSwitch) AddLog("データ更新開始:"_sj + Stamp());
  // A run on the defaults because the settings file could not be read says so in its log.
  if (!OptionData->IniReadFailure.empty()) AddLog(OptionData->IniReadFailure);
  try {
    Fetch();
    if (!Aborted) Unpack();
    if (!Aborted && SourceKind <= 2) RebuildDatabase();
  } catch (const std::exception &e) {
    // A failed step ends the run as aborted; acis.db is left as it was.
    AddLog("RunAutoUpdate Error " + ExceptionClassName(e));
    AddFailure(e.what());
    Aborted = true;
  }
  bool result;
  const bool aborted = Aborted;
  if (Aborted) {
    AddFailure("データ更新中止!"_sj);
    FView->EnableControls(true);
    AutoStart = false;
    result = false;
    EndPage(false);
  } else {
    result = true;
    Rebuilt = true;
  }
  Aborted = false;
  AutoRunning = false;
  FView->EnableControls(true);
  if (AutoUpdateSwitch) {
    // The last line says how the run ended.
    AddLog((aborted ? "データ更新中止:"_sj : "データ更新完了:"_sj) + Stamp());
    SaveUpdateLog(DbFile("autoupdate.log"), Lines());
  } else if (result && AutoStart) {
    FView->CloseWindow();
  }
  return result;
}

bool TUpdateRun::RunDownloadCheck() {
  Aborted = false;
  AutoRunning = false;
  FView->EnableControls(false);
  if (DownloadCheckSwitch) AddLog("ダウンロード更新確認開始:"_sj + Stamp());
  if (!OptionData->IniReadFailure.empty()) AddLog(OptionData->IniReadFailure);
  FDownloadCheck = true;
  Fetch();
  FDownloadCheck = false;
  // The page the check fetched tells of files that are now in the data folder.
  EndPage(!FFetchFailed);
  FView->EnableControls(true);
  if (!DownloadCheckSwitch) return false;
  AddLog("ダウンロード更新確認終了:"_sj + Stamp());
  SaveUpdateLog(DataFile("autodown.log"), Lines());
  return !FFetchFailed;
}

void TUpdateRun::UpdateFromLocalFiles() {
  switch (SourceKind) {
    case 0: {
      ReadAcisCsvInfo();
      bool csv = true, zip = true;
      for (const std::string &name : CsvNames) {
        csv = csv && IsPlainFileName(name) && Exists(DataFile(ChangeFileExt(name, ".csv")));
        zip = zip && IsPlainFileName(name) && Exists(DataFile(name));
      }
      // The build reads the CSV files: archives at hand are unpacked first.
      if (!csv) {
        if (!zip) Fetch();
        if (!Aborted) UnpackAcisCsv();
      }
      break;
    }
    case 1:
      Fetch();
      if (!Aborted) UnpackAcisXls();
      break;
    case 2:
      if (!(Exists(DataFile("kihon.csv")) && Exists(DataFile("toroku.csv")) && Exists(CurrentPagePath(2))) &&
          !Exists(DataFile("toroku.zip"))) {
        Fetch();
        if (!Aborted) UnpackTorvCsv();
      }
      break;
    default:
      break;
  }
  if (!Aborted) RebuildDatabase();
  FView->CloseWindow();
}

void TUpdateRun::EndPage(bool taken_in) {
  if (SourceKind > 2) return;
  if (taken_in)
    CommitPendingPage(SourceKind);
  else
    DiscardPendingPage(SourceKind);
}

int RunUnattendedUpdate(TUpdateRun &run) {
  run.AutoStart = true;
  return run.RunAutoUpdate() ? kExitRebuilt : kExitFailed;
}

int RunUnattendedDownloadCheck(TUpdateRun &run) { return run.RunDownloadCheck() ? kExitDownloaded : kExitFailed; }
