// Where the registration data come from and how a local copy is judged current: the
// pages and archives of each source kind (the setting DownSite), conditional downloads,
// copies from the shared folder on the local network, extraction, the names of the
// download error codes and the reading of the publisher's data-as-of note.
//
// Source kinds: 0 the publisher's CSV archives, 1 the publisher's Excel workbooks,
// 2 the makers' CSV set, 3 the makers' ready-made databases from one of their mirrors,
// 4 the same from a user-given address.
//
// Texts and paths are program text (CP932); folders are joined to file names with "/".
// Times are compared in UTC.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>

#include "engine/FillTargets.h"
#include "engine/InetUtil.h"

// The addresses of the sources. The publisher's pages lie on one host; each of the four
// makers' mirrors has a base address ending in "/data/". The environment variables
// QUILLMAR_PUBLISHER_HOST and QUILLMAR_TORV_MIRRORS (four base addresses separated by
// ";" or blanks) replace the built-in ones.
struct TDataSites {
  std::string PublisherHost;
  std::string TorvMirror[4];
  std::string TorvLabel[4];
};
TDataSites &DataSites();

class TAcisSvr {
 public:
  // Takes the proxy settings from OptionData when UseProxyAuth is set.
  TAcisSvr();
  ~TAcisSvr();
  TAcisSvr(const TAcisSvr &) = delete;
  TAcisSvr &operator=(const TAcisSvr &) = delete;

  std::string ProxyUsername, ProxyPassword;
  bool ProxyManual = false;
  std::string ProxyName, ProxyBypass;

  ILogTarget *LogMemo = nullptr;          // lines are appended to it (may be null)
  IProgressTarget *ProgressBar = nullptr;  // may be null
  bool Cancel = false;                     // handed to the download on each progress event

  // From the last progress event.
  std::uint32_t ProgressStatusCode = 0;
  std::string ProgressStatusText;

  // Results of the last Download.
  std::uint32_t LastError = 0;
  std::string StatusCode, StatusText, LastModified;
  // Why it failed, where the status line does not say (the download's ErrorText).
  std::string ErrorText;

  // One conditional download of url into file: True only when a new copy was stored. The
  // copy asked for is one newer than since (a file; file itself when empty).
  bool Download(const std::string &url, const std::string &file, const std::string &since = {});
  // The log's line for the last Download, stored (ok) or not: its status line, or the
  // download's own reason where the transfer failed after its status line (a body cut short
  // still reads "200 OK") or without one. Empty when nothing answered and nothing says why.
  std::string DownloadOutcome(bool ok) const;
  // Update check of the DownSite source (kinds 0 to 2), fetching missing files. True when
  // a page newer than the saved one arrived; it waits as the pending page (below). LastError
  // and the status line are those of the page's request.
  bool CheckUpdate();
  // Set by CheckUpdate: the page could be neither fetched nor found unchanged (an error
  // status, a broken or empty answer, no connection, a shared folder without the page), or
  // the page holds no data date; ErrorText then says why.
  bool CheckFailed = false;

  void Log(const std::string &line);

 private:
  void OnProgress(std::uint32_t progress, std::uint32_t max, std::uint32_t code,
                  const std::string &text, bool &cancel);
};

// The publisher's three CSV archive names, read from the saved CSV page.
struct TCsvFileNames {
  std::string Kihon, Tekiyo1, Tekiyo2;
};

// Start-up check and refresh of the ready-made databases from the configured site. The
// database of a fetched archive takes the old one's place only when it is whole
// (DatabaseDefect); otherwise the cause is logged, the archive goes (the next check fetches
// it again) and the old database stays.
void CheckDbUpdate(ILogTarget *log);
// The same from the shared folder.
void UpdateFromSharedFolder(ILogTarget *log);

bool IsInternetConnected();
// "INET_ERROR_..." for the download error codes; empty for any other code.
std::string InetErrorName(std::uint32_t code);
std::string GetTorvSiteUrl(int index);
std::string GetDataSiteUrl();
// The publisher's page address (path below its host, e.g. "/ddata/index2.htm").
std::string GetPublisherUrl(const std::string &path);

// An HTTP date ("Wed, 09 Dec 2026 01:02:03 GMT") as UTC seconds; the current time for an
// empty or unreadable text.
std::time_t HttpDateToDateTime(const std::string &text);
// The publisher's data-as-of note as a short text ("更新日不明" when there is none).
std::string ExtractDataAsOfText(const std::string &text);
void ReadCsvFileNames(TCsvFileNames &names);
// The data-as-of text that a build from the saved update page of source kind 0 (the
// publisher's CSV page) or 2 (the makers' update.txt) records as the database's LastUpdate,
// in the form the database gives it back (StoredText), so that the two compare; empty for
// the other kinds, whose build takes its date from elsewhere, and for a page without one.
std::string PageDataAsOf(const std::string &page, int kind);
// The data date the update check reads from the update page of source kind 0 or 1 (the
// publisher's date line, tags stripped and "反映分" read as "反映") or 2 (PageDataAsOf); "不明"
// when the page tells none. For kind 1 it is the only date the page and the database share:
// the workbooks write theirs otherwise, so a build records the page's beside its own.
std::string OfferedDataDate(const std::string &page, int kind);
// A text as the database gives it back once stored: through UTF-8 and back. A character
// that CP932 writes two ways (the NEC-selected rows, EE E0 and FB FC) comes back in one of
// them, and a byte that is no character as "?".
std::string StoredText(const std::string &text);
// The data-as-of page of source kind 0, 1 or 2 in the data folder ("update2.htm",
// "update.htm", "update.txt"). The saved page tells of the data last taken in: the check
// asks the source for a page newer than it. A page fetched since waits beside it as the pending
// page (".update2.htm.new" ...) until the data it tells of are in place (a build from them,
// or, for the download check, the source's files in the data folder); only then does it
// become the saved page. So a run that fails leaves the update due, and a peer reading the
// data folder as its shared folder never sees a page newer than the files beside it.
std::string SavedPagePath(int kind);
std::string PendingPagePath(int kind);
// The page the update goes by: the pending page when there is one, else the saved page.
std::string CurrentPagePath(int kind);
// The pending page becomes the saved page; nothing happens without one.
void CommitPendingPage(int kind);
void DiscardPendingPage(int kind);
// Why a data-as-of page cannot tell the data date (program text, without the file's name):
// an empty file, or (kinds 0 and 2) one without the date line or with a date that cannot be
// read as a year, month and day. Empty for a sound page and for a missing file.
std::string PageDamage(const std::string &page, int kind);

// True for a name that can only mean a file in the folder it is joined to: not empty,
// no folder separators, no "." or "..", no characters that paths or addresses treat
// specially. Names read from downloaded pages must pass before they are used.
bool IsPlainFileName(const std::string &name);

bool CopyFileToFolder(const std::string &source, const std::string &target);
bool IsNewerFile(const std::string &source, const std::string &target, std::string &message);
// Last-write time in UTC seconds; 0 when the file cannot be read.
std::time_t GetFileWriteTime(const std::string &path);
bool ExtractArchive(const std::string &archive, const std::string &folder, std::string &output);

// A folder of its own beside a file, that archives unpack into: nothing they hold reaches
// the folder they are meant for until the caller moves it there. It is named as the files of
// a killed run are (TempBeside), so the next start removes what a killed unpack left, and it
// goes with whatever is still in it when the object does.
class TUnpackFolder {
 public:
  explicit TUnpackFolder(const std::string &beside);
  ~TUnpackFolder();
  TUnpackFolder(const TUnpackFolder &) = delete;
  TUnpackFolder &operator=(const TUnpackFolder &) = delete;

  // Unpacks the archive into the folder (ExtractArchive, with its output).
  bool Extract(const std::string &archive, std::string &output);
  // True when the archives put a plain file of that name at the folder's top level.
  bool Holds(const std::string &name) const;
  const std::filesystem::path &Path() const { return FPath; }

 private:
  std::filesystem::path FPath;
};

// Why a file the form requires is not there: "<name> が書庫に入っていません。書庫が別物か壊れています".
std::string MissingEntryText(const std::string &name);

// folder + "/" + name (no second separator when the folder already ends in one).
std::string JoinPath(const std::string &folder, const std::string &name);
