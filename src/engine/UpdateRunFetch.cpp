// The update run's fetch and unpack steps: which files each source offers, the download or
// shared-folder copy of them, the data-as-of pages (the publisher's page that names the CSV
// archives, the makers' update text), and the unpacking of the archives into the data folder.
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "engine/AcisSvr.h"
#include "engine/InetUtil.h"
#include "engine/SakuUtil.h"
#include "engine/ShfOperation.h"
#include "engine/UiServices.h"
#include "engine/UpdateRun.h"
#include "engine/UpdateRunCommon.h"
#include "engine/options.h"

using namespace cp932::literals;
using namespace update_run;
namespace fs = std::filesystem;

namespace {

const char *const kDownloadStart = " ダウンロード開始";
const char *const kCopyStart = " コピー開始";

// A "\\server\share" address as a path of this system: backslashes become slashes.
std::string SharePath(const std::string &address) { return ReplaceAllText(address, "\\", "/"); }

bool IsShareAddress(const std::string &address) { return address.rfind("\\\\", 0) == 0; }

// What failed in a fetch that was not done, and what the user can do.
std::string FetchFailure(const std::string &source, const TAcisSvr &svr) {
  if (!svr.ErrorText.empty())
    return source + ": " + svr.ErrorText +
           (Contains(svr.ErrorText, "再実行してください"_sj)
                ? std::string()
                : "。ネットワーク接続とダウンロード元を確かめてから再実行してください"_sj);
  if (!svr.StatusCode.empty())
    return source + ": サーバの応答が "_sj + svr.StatusCode + " " + svr.StatusText +
           " でした。ダウンロード元を確かめ、しばらくしてから再実行してください"_sj;
  return source + ": " + InetErrorName(svr.LastError) + "。ネットワーク接続を確かめてから再実行してください"_sj;
}

std::string CopyFailure(const std::string &source, const std::string &target) {
  return source + " を "_sj + target +
         " へコピーできません。共有フォルダのファイルとディスクの空きを確かめてから再実行してください"_sj;
}

// The publisher's page that named no data (another page in its place, a broken copy).
std::string PageFailure(const std::string &page) {
  return page + ": 更新ページにデータの日付(反映分)とCSVファイル名が見つかりません。"_sj +
         "ページが別物か壊れています。しばらくしてから再実行してください"_sj;
}

}  // namespace

void TUpdateRun::Fetch() {
  if (OptionData->UseLAN)
    CopyFromSharedFolder();
  else
    Download();
}

// Offline, only the unattended update fetches.
void TUpdateRun::Download() {
  if (!AutoUpdateSwitch && (OptionData->OffLine || OfflineSwitch)) return;
  FetchStep(false);
}

void TUpdateRun::CopyFromSharedFolder() {
  if (!AutoUpdateSwitch && (OptionData->OffLine || OfflineSwitch)) return;
  FetchStep(true);
}

std::vector<TFetchItem> TUpdateRun::FetchItems(bool shared) {
  std::vector<TFetchItem> items;
  auto add = [&](const std::string &name, const std::string &source, TFetchItem::TWay way, const char *start,
                 int page, int index) { items.push_back({name, DataFile(name), source, way, start, page, index}); };
  auto lan = [](const std::string &name) { return JoinPath(OptionData->dirLAN, name); };
  const TFetchItem::TWay copy_or_http = shared ? TFetchItem::Copy : TFetchItem::Http;
  switch (SourceKind) {
    case 0:
      for (int i = 0; i < 3; ++i)
        add(CsvNames[i], shared ? lan(CsvNames[i]) : GetPublisherUrl("/ddata/datacsv/" + CsvNames[i]), copy_or_http,
            kDownloadStart, 0, i);
      break;
    case 1:
      for (int i = 0; i < 3; ++i) {
        const std::string name = Part(i) + ".zip";
        add(name, shared ? lan(name) : GetPublisherUrl("/ddata/data/" + name), copy_or_http,
            shared ? kCopyStart : kDownloadStart, 1, i);
      }
      break;
    case 2:
      add("toroku.zip", shared ? lan("toroku.zip") : GetTorvSiteUrl(OptionData->DownSiteTorvDB) + "toroku.zip",
          copy_or_http, kDownloadStart, 2, 0);
      break;
    default:
      for (int i = 0; i < 2; ++i) {
        const std::string name = i == 0 ? "acis.zip" : "spec.zip";
        if (shared) {
          add(name, lan(name), TFetchItem::Copy, kCopyStart, 3, i);
        } else if (SourceKind == 3) {
          add(name, GetTorvSiteUrl(MirrorIndex) + name, TFetchItem::Http, kDownloadStart, 3, i);
        } else {
          // The setting says what kind of address the user gave; the window's edit gives it.
          std::string address = FView->DownloadAddress();
          if (address.empty()) address = OptionData->UserSite;
          if (IsWebAddress(OptionData->UserSite))
            add(name, address + name, TFetchItem::Http, kDownloadStart, 3, i);
          else if (IsShareAddress(OptionData->UserSite))
            // The shell's copy shows its own progress and no line before it.
            add(name, SharePath(address + "\\" + name), TFetchItem::ShellCopy, nullptr, 3, i);
          // another kind of address fetches nothing
        }
      }
      break;
  }
  return items;
}

// The data-as-of page of kinds 0 to 2, fetched with the data it tells of: the publisher's
// CSV page names the CSV archives, the makers' text gives the date the build records, and
// the publisher's workbook page the date of the offer, which a build from the workbooks
// records beside theirs. It comes as the pending page and becomes the saved page once its
// data are in place. False when it tells nothing usable (and the run stops).
bool TUpdateRun::FetchPage(bool shared, TAcisSvr &svr, std::string &target, bool &stop) {
  const int kind = SourceKind;
  static const char *const kNames[] = {"update2.htm", "update.htm", "update.txt"};
  static const char *const kPublisherPages[] = {"/ddata/index2.htm", "/ddata/index.htm"};
  const std::string name = kNames[kind];
  target = PendingPagePath(kind);
  std::string source;
  if (shared) {
    source = JoinPath(OptionData->dirLAN, name);
    if (!CopyFileToFolder(source, target)) {
      FFetchFailed = stop = true;
      AddFailure(CopyFailure(source, target));
    }
    AddLog(name + " 更新確認"_sj);
  } else {
    source = kind == 2 ? GetTorvSiteUrl(OptionData->DownSiteTorvDB) + name : GetPublisherUrl(kPublisherPages[kind]);
    // Unchanged since the page at hand (the one the check fetched, else the saved one):
    // that page holds.
    const bool ok = svr.Download(source, target, CurrentPagePath(kind));
    AddLog(svr.StatusCode + " " + svr.StatusText);
    if (!ok && svr.StatusCode != "304") {
      FFetchFailed = stop = true;
      AddFailure(FetchFailure(source, svr));
    }
    AddLog(source + " 更新確認"_sj);
  }
  if (kind != 0) {
    if (stop) return false;
    const std::string damage = PageDamage(CurrentPagePath(kind), kind);
    if (damage.empty() && Exists(CurrentPagePath(kind))) return true;
    FFetchFailed = stop = true;
    AddFailure(source + ": " + (damage.empty() ? "ファイルがありません"_sj : damage));
    return false;
  }
  if (!stop && ReadAcisCsvInfo()) {
    if (DebugMode) AddLog("AcisCsvInfoSet > ok");
    return true;
  }
  AddLog("AcisCsvInfoSet failed!");
  if (DebugMode)
    for (int i = 0; i < 3; ++i) AddLog("AcisCsv" + std::to_string(i) + " > " + CsvNames[i]);
  // Without the archives' names there is nothing to fetch, unpack or build.
  if (!stop && Exists(CurrentPagePath(0))) AddFailure(PageFailure(CurrentPagePath(0)));
  FFetchFailed = stop = true;
  return false;
}

// The frame shared by the download and the shared-folder copy: each file of the source is
// a line before, the fetch or copy, and a line after. A fetch is done when it stored a
// file, or (kinds 0 to 2) when the server had nothing newer. A file that is neither stored
// nor unchanged on the server fails the fetch: an automatic run or a download check stops
// there, whatever the source, so that nothing an earlier run left takes its place. (Under
// kinds 3 and 4 an unchanged archive is logged as not fetched but holds: the server says the
// copy at hand is its own.)
void TUpdateRun::FetchStep(bool shared) {
  TBusyCursor busy;
  Controls(false);
  TAcisSvr svr;
  svr.LogMemo = &FLog;
  svr.ProgressBar = FProgress;
  FView->ShowProgress(true);
  FFetchFailed = false;
  AddLog(shared ? "共有フォルダからコピー開始"_sj : "ダウンロード開始"_sj);
  const auto start = Clock::now();
  std::string target;
  bool stop = false;
  const bool stop_at_failure = AutoRunning || FDownloadCheck;
  try {
    bool page_sound = true;
    if (SourceKind <= 1) {
      page_sound = FetchPage(shared, svr, target, stop);
    } else if (SourceKind == 2) {
      if (!shared) AddLog("TorvCsv 取得: "_sj + GetTorvSiteUrl(OptionData->DownSiteTorvDB));
      page_sound = FetchPage(shared, svr, target, stop);
    } else if (SourceKind == 3 && !shared) {
      AddLog("SQLiteDB取得: "_sj + GetTorvSiteUrl(MirrorIndex));
    }
    const std::vector<TFetchItem> items = page_sound ? FetchItems(shared) : std::vector<TFetchItem>();
    if (page_sound && items.empty()) {
      // A user-given address that is neither a web address nor a shared folder: nothing can
      // be fetched, and what lies in the data folder is an earlier run's.
      std::string address = FView->DownloadAddress();
      if (address.empty()) address = OptionData->UserSite;
      FFetchFailed = stop = true;
      AddFailure(address + ": このアドレスからはデータを取得できません。"_sj +
                 "http:// で始まるアドレスか \\\\ で始まる共有フォルダを設定してから再実行してください"_sj);
    }
    for (const TFetchItem &item : items) {
      TMarkFile mark(FView, item.page, item.index);
      if (item.start_utf8) AddLog(item.label + cp932::FromUtf8(item.start_utf8));
      if (SourceKind == 0 && !shared && DebugMode) AddLog("AcisCsv: " + item.label);
      target = item.file;
      bool ok = false, failed = false;
      std::string failure;
      if (SourceKind == 0 && !IsPlainFileName(item.label)) {
        // Archive names read from the page stand for files of the data folder only.
        failed = true;
        failure = PageFailure(CurrentPagePath(0));
      } else if (item.way == TFetchItem::Http) {
        ok = svr.Download(item.source, item.file);
        AddLog(svr.StatusCode + " " + svr.StatusText);
        const bool unchanged = !ok && svr.StatusCode == "304";
        failed = !ok && !unchanged;
        ok = ok || (SourceKind <= 2 && unchanged);
        if (failed) failure = FetchFailure(item.source, svr);
      } else if (item.way == TFetchItem::Copy) {
        ok = CopyFileToFolder(item.source, item.file);
        failed = !ok;
        if (failed) failure = CopyFailure(item.source, item.file);
      } else {
        TShfOperation op;
        op.OperationF = foCOPY;
        op.Options.FILESONLY = true;
        op.Options.NOCONFIRMATION = true;
        op.FromFFList = {item.source};
        op.ToFolder = item.file;
        op.ProgressTitle = item.label + " をコピーしています"_sj;
        ok = op.Execute() == 0;
        failed = !ok;
        if (failed) failure = CopyFailure(item.source, item.file);
      }
      if (failed) FFetchFailed = stop = true;
      const bool copied = item.way != TFetchItem::Http;
      AddLog(item.label + (ok ? (copied ? " コピー完了"_sj : " ダウンロード完了"_sj)
                              : (copied ? " コピー中止"_sj : " ダウンロード中止"_sj)));
      // The cause follows the line that says the fetch stopped.
      if (!failure.empty()) AddFailure(failure);
      // The address that served acis.zip becomes the user's site.
      if (ok && item.index == 0 && SourceKind == 4 && !shared) {
        const std::string address = FView->DownloadAddress();
        if (!address.empty()) OptionData->UserSite = address;
      }
      // The publisher's workbooks come whole or not at all.
      if (failed && (stop_at_failure || (SourceKind == 1 && !shared))) break;
    }
    AddLog(shared ? Timing("コピー時間 %5.1f秒", Seconds(start)) : Timing("ダウンロード時間 %5.1f秒", Seconds(start)));
    if (stop && AutoRunning) Abort();
  } catch (const std::exception &e) {
    FFetchFailed = true;
    AddLog(target + (shared ? " コピー失敗"_sj : " ダウンロード失敗"_sj));
    AddFailure(target + ": " + e.what());
    if (AutoRunning) Abort();
  }
  FView->ShowProgress(false);
  Controls(true);
}

// ---- the publisher's CSV page

bool TUpdateRun::ReadAcisCsvInfo() {
  const std::string path = CurrentPagePath(0);
  if (DebugMode) AddLog(path);
  if (!Exists(path)) {
    AddLog(path + " LoadFromFile Failed!");
    return false;
  }
  if (DebugMode) AddLog("FileExists > true");
  std::ifstream f(FsPath(path), std::ios::binary);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(f, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (lines.empty() && line.compare(0, 3, "\xEF\xBB\xBF") == 0) {
      line.erase(0, 3);
      if (DebugMode) AddLog("bom cut");
    }
    lines.push_back(cp932::FromUtf8(line));
  }
  if (DebugMode) {
    std::string all;
    for (const std::string &l : lines) all += l + "\r\n";
    AddLog("sl.Text > " + all);
  }
  const std::string link = "\" target =\"_blank\">";
  bool result = false;
  for (const std::string &l : lines) {
    if (Contains(l, "反映分"_sj) && !Contains(l, "<!--")) {
      DataAsOf = ExtractDataAsOfText(l);
      if (DebugMode) AddLog("UpdateDate:" + DataAsOf);
      result = true;
    }
    if (!Contains(DataAsOf, "反映"_sj)) continue;
    for (int i = 0; i < 3; ++i) {
      const std::size_t hit = FindSjis(l, "zip" + link + Part(i));
      if (hit == std::string::npos) continue;
      std::size_t name_start = l.rfind("datacsv/", hit);
      if (name_start == std::string::npos) continue;
      name_start += 8;
      std::string name = l.substr(name_start, hit + 3 - name_start);
      // The name becomes a path and an address: only a plain file name is taken.
      if (IsPlainFileName(name)) CsvNames[i] = name;
    }
  }
  return result;
}

// ---- unpacking

// The archive library's own error lines, each with the archive's path, say what failed.
void TUpdateRun::ExtractFailed(const std::string &archive, const std::string &output) {
  const std::string mark = "ERROR: ";
  bool any = false;
  std::size_t start = 0;
  while (start < output.size()) {
    std::size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    std::string line = output.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind(mark, 0) == 0) {
      AddFailure(archive + ": " + line.substr(mark.size()));
      any = true;
    }
    start = end + 1;
  }
  if (!any) AddFailure(archive + " を展開できません。取り直してから再実行してください"_sj);
}

// The archives unpack into a folder of their own in the data folder. Each must hold the
// files of the form at its top level; only when all do, those files take their places in
// the data folder (where the build, the start-up road and the user find them) and the rest
// goes with the folder. So the build never reads a file that an earlier run left there.
void TUpdateRun::UnpackStep(const std::vector<TUnpackItem> &archives, int page, bool stop_at_missing,
                            const char *unpack_utf8) {
  TBusyCursor busy;
  Controls(false);
  TUnpackFolder staging(DataFile("unpack"));
  std::error_code ec;
  // Each unpacked file of the form, with the names it replaces in the data folder.
  std::vector<std::pair<std::string, std::vector<std::string>>> unpacked;
  bool bad = false;
  for (const TUnpackItem &item : archives) {
    TMarkFile mark(FView, page, item.index);
    const std::string path = DataFile(item.archive);
    if (!Exists(path)) {
      AddLog(path + "> なし"_sj);
      bad = true;
      if (stop_at_missing) break;
      continue;
    }
    AddLog(item.archive + cp932::FromUtf8(unpack_utf8));
    std::string output;
    const bool ok = staging.Extract(path, output);
    AddLog(path + ": " + output);
    if (!ok) {
      ExtractFailed(path, output);
      AddLog("解凍作業中止"_sj);
      bad = true;
      break;
    }
    for (const auto &[name, other] : item.entries) {
      std::string found;
      for (const std::string &n : {name, other})
        if (found.empty() && !n.empty() && staging.Holds(n)) found = n;
      if (found.empty()) {
        AddFailure(path + ": " + MissingEntryText(name) + "。取り直してから再実行してください"_sj);
        bad = true;
        break;
      }
      std::vector<std::string> replaces{name};
      if (!other.empty()) replaces.push_back(other);
      unpacked.emplace_back(found, replaces);
    }
    if (bad) break;
  }
  if (!bad) {
    for (const auto &[name, replaces] : unpacked) {
      for (const std::string &r : replaces) fs::remove(FsPath(DataFile(r)), ec);
      fs::rename(staging.Path() / FsPath(name), FsPath(DataFile(name)), ec);
      if (ec) {
        AddFailure(DataFile(name) + " を置けません: "_sj + cp932::FromUtf8(ec.message()) +
                   "。フォルダの書き込み権を確かめてから再実行してください"_sj);
        bad = true;
        break;
      }
    }
  }
  // A failed unpack ends the run: the build would read what an earlier run left.
  if (bad) Abort();
  AddLog(bad ? "解凍作業中止"_sj : "解凍作業完了"_sj);
  Controls(true);
}

void TUpdateRun::Unpack() {
  switch (SourceKind) {
    case 0: UnpackAcisCsv(); break;
    case 1: UnpackAcisXls(); break;
    case 2: UnpackTorvCsv(); break;
    default: UnpackDatabases(); break;
  }
}

void TUpdateRun::UnpackAcisCsv() {
  if (CsvNames[0].empty()) ReadAcisCsvInfo();
  std::vector<TUnpackItem> archives;
  for (int i = 0; i < 3; ++i) {
    // A name that is no plain file name stands for no file here.
    const bool plain = IsPlainFileName(CsvNames[i]);
    const std::string csv = plain ? ChangeFileExt(CsvNames[i], ".csv") : std::string("?");
    // The basic part's file may drop the "csv" of its archive's name.
    const std::string other = i == 0 ? ReplaceAllText(csv, "登録基本部csv"_sj, "登録基本部"_sj) : std::string();
    archives.push_back({plain ? CsvNames[i] : std::string("?"), i, {{csv, other == csv ? std::string() : other}}});
  }
  UnpackStep(archives, 0, false, "を解凍");
}

void TUpdateRun::UnpackAcisXls() {
  std::vector<TUnpackItem> archives;
  for (int i = 0; i < 3; ++i) archives.push_back({Part(i) + ".zip", i, {{Part(i) + ".xls", ""}}});
  UnpackStep(archives, 1, true, " を解凍");
}

void TUpdateRun::UnpackTorvCsv() {
  UnpackStep({{"toroku.zip", 0, {{"kihon.csv", ""}, {"tekiyo.csv", ""}}}}, 2, true, " を解凍");
}
