#include "engine/AcisSvr.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "engine/DbCheck.h"
#include "engine/ShfOperation.h"
#include "engine/TextHelpers.h"
#include "engine/UiServices.h"
#include "engine/options.h"
#include "engine/plArchiever7ZIP.h"
#include "platform/cp932.h"
#include "platform/fspath.h"
#include "platform/inet.h"

using namespace cp932::literals;
namespace fs = std::filesystem;

namespace {

// Every occurrence of from, matched on character boundaries only.
std::string Replace(std::string text, std::string_view from, std::string_view to) {
  std::size_t p = 0;
  while ((p = FindSjis(text, from, p)) != std::string_view::npos) {
    text.replace(p, from.size(), to);
    p += to.size();
  }
  return text;
}

bool Contains(std::string_view text, std::string_view sub) {
  return FindSjis(text, sub) != std::string_view::npos;
}

std::string DataFolder() { return OptionData->DownloadFolder; }

// The data-as-of page of source kind 0, 1 or 2 as the data folder keeps it.
const char *PageName(int kind) {
  static const char *const kPages[] = {"update2.htm", "update.htm", "update.txt"};
  return kPages[kind < 0 || kind > 2 ? 2 : kind];
}

std::vector<std::string> SplitOn(const std::string &text, char sep) {
  std::vector<std::string> parts;
  std::size_t p = 0;
  for (;;) {
    std::size_t e = text.find(sep, p);
    parts.push_back(text.substr(p, e == std::string::npos ? std::string::npos : e - p));
    if (e == std::string::npos) break;
    p = e + 1;
  }
  return parts;
}

// Lines of a text file, each converted from UTF-8 (a leading byte-order mark dropped).
std::vector<std::string> ReadUtf8Lines(const std::string &path) {
  std::vector<std::string> lines;
  std::ifstream f(FsPath(path), std::ios::binary);
  std::string line;
  bool first = true;
  while (std::getline(f, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (first && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
    first = false;
    lines.push_back(cp932::FromUtf8(line));
  }
  return lines;
}

}  // namespace

// ---- sites

TDataSites &DataSites() {
  static TDataSites sites = [] {
    TDataSites s;
    s.PublisherHost = "https://www.acis.famic.go.jp";
    for (int i = 0; i < 4; ++i) s.TorvLabel[i] = "Torv "_sj + std::to_string(i + 1);
    if (const char *e = std::getenv("QUILLMAR_PUBLISHER_HOST")) s.PublisherHost = e;
    if (const char *e = std::getenv("QUILLMAR_TORV_MIRRORS")) {
      std::string list = e;
      for (char &c : list)
        if (c == ' ' || c == '\t') c = ';';
      std::size_t i = 0;
      for (const std::string &part : SplitOn(list, ';'))
        if (!part.empty() && i < 4) s.TorvMirror[i++] = part;
    }
    return s;
  }();
  return sites;
}

std::string GetTorvSiteUrl(int index) {
  if (index < 0 || index > 2) index = 3;
  return DataSites().TorvMirror[index];
}

std::string GetDataSiteUrl() {
  switch (OptionData->DownSite) {
    case 3: return GetTorvSiteUrl(OptionData->DownSiteTorvDB);
    case 4: return OptionData->UserSite;
    default: return std::string();
  }
}

std::string GetPublisherUrl(const std::string &path) { return DataSites().PublisherHost + path; }

std::string JoinPath(const std::string &folder, const std::string &name) {
  if (folder.empty()) return name;
  char last = folder.back();
  bool sep = last == '/' || (last == '\\' && !cp932::IsLeadByte(folder[cp932::CharStart(folder, folder.size() - 1)]));
  return sep ? folder + name : folder + "/" + name;
}

// ---- the service

TAcisSvr::TAcisSvr() {
  if (OptionData->UseProxyAuth) {
    ProxyUsername = OptionData->ProxyUsername;
    ProxyPassword = OptionData->ProxyPassword;
    ProxyManual = OptionData->ProxyManual;
    ProxyName = OptionData->ProxyName;
    ProxyBypass = OptionData->ProxyBypass;
  }
}

TAcisSvr::~TAcisSvr() = default;

void TAcisSvr::Log(const std::string &line) {
  if (LogMemo) LogMemo->AddLine(line);
}

void TAcisSvr::OnProgress(std::uint32_t progress, std::uint32_t max, std::uint32_t code,
                          const std::string &text, bool &cancel) {
  if (ProgressBar) {
    ProgressBar->SetRange(0, static_cast<int>(max));
    ProgressBar->SetPosition(static_cast<int>(progress));
  }
  ProgressStatusCode = code;
  ProgressStatusText = text;
  UiServices().ProcessMessages();
  cancel = Cancel;
}

std::string TAcisSvr::DownloadOutcome(bool ok) const {
  if (ok || (ErrorText.empty() && !StatusCode.empty())) return StatusCode + " " + StatusText;
  return ErrorText;
}

bool TAcisSvr::Download(const std::string &url, const std::string &file, const std::string &since) {
  THttpDownload d;
  if (ProxyManual) {
    d.ProxyName = ProxyName;
    d.ProxyBypass = ProxyBypass;
  }
  if (!ProxyUsername.empty()) {
    d.ProxyUsername = ProxyUsername;
    d.ProxyPassword = ProxyPassword;
  }
  d.OnDownloadProgress = [this](TInetDownload *, std::uint32_t p, std::uint32_t m,
                                std::uint32_t c, const std::string &t, bool &cancel) {
    OnProgress(p, m, c, t, cancel);
  };
  d.ConnectTimeout = static_cast<unsigned>(std::max(0, OptionData->ReadTimeout));
  d.ReceiveTimeout = static_cast<unsigned>(std::max(0, OptionData->ReceiveTimeout));
  d.OfflineOption = OptionData->OoConnect ? ooConnect : ooNormal;
  switch (OptionData->RecvBufferSize) {
    case 0: d.BufferSize = bsLarge; break;
    case 2: d.BufferSize = bsSmall; break;
    default: d.BufferSize = bsMedium; break;
  }
  d.AdjustTimeStamp = true;
  d.ProgressInterval = 10;
  d.SetUrl(url);
  d.SetFileName(file);
  if (!since.empty()) d.IfModifiedSince = FileTimeToHttpDate(since);
  bool result = d.Execute();
  LastError = d.LastError;
  ErrorText = d.ErrorText;
  StatusCode = d.ResponseHeaders.Values("StatusCode");
  StatusText = d.ResponseHeaders.Values("StatusText");
  LastModified = d.ResponseHeaders.Values("Last-Modified");
  return result;
}

bool TAcisSvr::CheckUpdate() {
  CheckFailed = false;
  int kind = OptionData->DownSite;
  if (kind > 2) return false;
  const std::string page = PageName(kind);
  const std::string saved = SavedPagePath(kind), pending = PendingPagePath(kind);
  // A page an earlier check fetched and no update took in is asked for again.
  DiscardPendingPage(kind);

  // A page that arrived but tells no date is no answer either; a saved page of that kind
  // goes, so that the next check fetches the page again.
  auto damaged = [&](const std::string &source) {
    const std::string current = CurrentPagePath(kind);
    const std::string why = PageDamage(current, kind);
    if (why.empty()) return false;
    CheckFailed = true;
    ErrorText = source + ": " + why;
    std::error_code ec;
    fs::remove(FsPath(current), ec);
    return true;
  };

  if (OptionData->UseLAN) {
    std::string source = JoinPath(OptionData->dirLAN, page);
    if (fs::exists(FsPath(source))) {
      std::string message;
      bool newer = IsNewerFile(source, saved, message);
      bool result = newer && CopyFileToFolder(source, pending);
      CheckFailed = newer && !result;
      Log("共有フォルダ "_sj + source + " 更新確認 "_sj + message);
      if (!CheckFailed && damaged("共有フォルダ "_sj + source)) return false;
      return result;
    }
    CheckFailed = true;
    if (kind == 0 || kind == 2) Log("共有フォルダ "_sj + source + " 検索失敗..."_sj);
    return false;
  }

  // The fetches of missing archives that follow must not hide how the page's request ended.
  struct PageResult {
    TAcisSvr &svr;
    std::uint32_t error;
    std::string code, text, modified, cause;
    explicit PageResult(TAcisSvr &s)
        : svr(s),
          error(s.LastError),
          code(s.StatusCode),
          text(s.StatusText),
          modified(s.LastModified),
          cause(s.ErrorText) {}
    ~PageResult() {
      svr.LastError = error;
      svr.ErrorText = cause;
      svr.StatusCode = code;
      svr.StatusText = text;
      svr.LastModified = modified;
    }
  };

  if (kind == 2) {
    std::string mirror = GetTorvSiteUrl(OptionData->DownSiteTorvDB);
    bool result = Download(mirror + "update.txt", pending, saved);
    CheckFailed = !result && StatusCode != "304";
    if (!CheckFailed && damaged(mirror + "update.txt")) return false;
    PageResult keep(*this);
    std::string toroku = JoinPath(DataFolder(), "toroku.zip");
    if (!result && !fs::exists(FsPath(toroku))) Download(mirror + "toroku.zip", toroku);
    return result;
  }

  std::time_t old_time = GetFileWriteTime(saved);
  const std::string address = GetPublisherUrl(kind == 0 ? "/ddata/index2.htm" : "/ddata/index.htm");
  bool fetched = Download(address, pending, saved);
  bool result = fetched && HttpDateToDateTime(LastModified) > old_time;
  CheckFailed = !fetched && StatusCode != "304";
  if (!CheckFailed && damaged(address)) return false;
  PageResult keep(*this);

  if (kind == 0) {
    TCsvFileNames names;
    ReadCsvFileNames(names);
    for (const std::string *name : {&names.Kihon, &names.Tekiyo1, &names.Tekiyo2}) {
      if (name->empty()) continue;
      std::string target = JoinPath(DataFolder(), *name);
      if (!fs::exists(FsPath(target))) Download(GetPublisherUrl("/ddata/datacsv/" + *name), target);
    }
  } else {
    struct Part {
      const char *name, *remote;
    } parts[] = {
        {"登録基本部.zip", "登録基本部.zip"},
        {"登録適用部一.zip", "登録適用部一.lzh"},
        {"登録適用部二.zip", "登録適用部二.lzh"},
        {"登録適用部三.zip", "登録適用部三.lzh"},
        {"登録適用部四.zip", "登録適用部四.zip"},
    };
    for (const Part &p : parts) {
      std::string target = JoinPath(DataFolder(), cp932::FromUtf8(p.name));
      if (!fs::exists(FsPath(target)))
        Download(GetPublisherUrl("/ddata/data/"_sj + cp932::FromUtf8(p.remote)), target);
    }
  }
  return result;
}

// ---- start-up refresh of the ready-made databases

namespace {

// Puts the database of a fetched archive in place: unpacked beside the database folder, it
// takes the old one's place only when it is whole; whatever else the archive holds stays
// unplaced. A failed extraction or a database that is not whole is logged and the archive
// removed, so that the next check fetches it again instead of finding the local copy
// current; the database in place stays as it was.
void UnpackDatabase(TAcisSvr &svr, const std::string &archive, const char *database) {
  std::string failure;
  {
    TDatabaseStaging staging(OptionData->DbFolder, database);
    std::string output;
    const bool extracted = staging.Extract(archive, output);
    for (const std::string &line : staging.Unplaced(archive)) svr.Log(line);
    if (!extracted)
      failure = archive + ": " + output;
    else if (const std::string defect = staging.Defect(); !defect.empty())
      failure = archive + ": " + defect;
    else if (staging.Place(failure))
      return;
  }
  svr.Log(failure);
  svr.Log(archive + " 解凍失敗"_sj);
  std::error_code ec;
  fs::remove(FsPath(archive), ec);
}

// Fetches one ready-made archive and puts its database in place; the log says how the fetch
// ended. no_answer leads the line for a fetch that got no answer at all.
void FetchDatabase(TAcisSvr &svr, const std::string &address, const std::string &local, const char *database,
                   const std::string &no_answer) {
  const bool fetched = svr.Download(address, local);
  if (const std::string outcome = svr.DownloadOutcome(fetched); !outcome.empty())
    svr.Log(outcome);
  else
    svr.Log(no_answer + InetErrorName(svr.LastError) + " サーバー接続失敗!"_sj);
  if (fetched) {
    svr.Log(std::string(database) + " 更新"_sj);
    UnpackDatabase(svr, local, database);
  }
}

}  // namespace

void CheckDbUpdate(ILogTarget *log) {
  TBusyCursor busy;
  if (DebugMode && log) log->AddLine("SQLiteDbDownload  start...");
  TAcisSvr svr;
  svr.LogMemo = log;
  svr.Log("SQLiteDB データ更新確認..."_sj);
  if (DebugMode) {
    svr.Log("ProxyUsername " + svr.ProxyUsername);
    // The password itself never goes into a log that may be saved to a file.
    svr.Log("ProxyPassword " + std::string(svr.ProxyPassword.empty() ? "" : "********"));
    svr.Log("ProxyManual " + BoolTo01(svr.ProxyManual));
    svr.Log("ProxyName " + svr.ProxyName);
    svr.Log("ProxyBypass " + svr.ProxyBypass);
  }
  if (!IsInternetConnected()) {
    svr.Log("インターネット接続なし。更新確認省略..."_sj);
    return;
  }
  std::string local = JoinPath(DataFolder(), "acis.zip");
  std::string address = GetDataSiteUrl() + "acis.zip";
  svr.Log(address);
  std::string message;
  bool go = true;
  if (fs::exists(FsPath(local))) {
    if (CheckHttpModified(address, local, message)) {
      svr.Log(message);
      go = OptionData->NoUpdateCheck ||
           UiServices().MessageBox("新しい acis.db があります。\r\nデータを更新します"_sj, "確認"_sj,
                           MB_OKCANCEL | MB_ICONQUESTION) == IDOK;
    } else {
      svr.Log(message);
      go = false;
    }
  }
  if (go) FetchDatabase(svr, address, local, "acis.db", "Status -> ");
  if (message == "StatusCode なし サーバ接続失敗!"_sj) return;

  std::string spec_local = JoinPath(DataFolder(), "spec.zip");
  std::string spec_address = GetDataSiteUrl() + "spec.zip";
  svr.Log(spec_address);
  FetchDatabase(svr, spec_address, spec_local, "spec.db", "Status");
}

void UpdateFromSharedFolder(ILogTarget *log) {
  TBusyCursor busy;
  TAcisSvr svr;
  svr.LogMemo = log;
  for (const auto &[file, database] : {std::pair{"acis.zip", "acis.db"}, std::pair{"spec.zip", "spec.db"}}) {
    std::string source = JoinPath(OptionData->dirLAN, file);
    std::string target = JoinPath(DataFolder(), file);
    std::string message;
    bool newer = fs::exists(FsPath(source)) &&
                 (!fs::exists(FsPath(target)) || IsNewerFile(source, target, message));
    if (newer) {
      svr.Log(std::string(file) + " 更新あり"_sj);
      if (CopyFileToFolder(source, target)) UnpackDatabase(svr, target, database);
    } else {
      svr.Log(std::string(file) + " 更新なし"_sj);
    }
  }
}

// ---- free operations

bool IsInternetConnected() {
  unsigned flags = 0;
  return GetConnectedState(flags);
}

std::string InetErrorName(std::uint32_t code) {
  switch (code) {
    case INET_ERROR_NOT_CONNECTED: return "INET_ERROR_NOT_CONNECTED";
    case INET_ERROR_OFFLINE: return "INET_ERROR_OFFLINE";
    case INET_ERROR_INTERNET_OPEN: return "INET_ERROR_INTERNET_OPEN";
    case INET_ERROR_OPEN_URL: return "INET_ERROR_OPEN_URL";
    case INET_ERROR_HTTP_QUERY_INFO: return "INET_ERROR_HTTP_QUERY_INFO";
    case INET_ERROR_READ_FILE: return "INET_ERROR_READ_FILE";
    case INET_ERROR_HTTP_STATUS_CODE: return "INET_ERROR_HTTP_STATUS_CODE";
    default: return std::string();
  }
}

// Read by position, "Wed, 09 Dec 2026 01:02:03 GMT". The result is UTC, like the file
// times it is compared with.
std::time_t HttpDateToDateTime(const std::string &text) {
  static const char *const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  auto number = [&](std::size_t pos, std::size_t len, int &out) {
    if (pos + len > text.size()) return false;
    out = 0;
    for (std::size_t i = pos; i < pos + len; ++i) {
      if (text[i] < '0' || text[i] > '9') return false;
      out = out * 10 + (text[i] - '0');
    }
    return true;
  };
  std::tm tm{};
  int day, year, hour, minute, second, month = -1;
  if (text.size() >= 11)
    for (int m = 0; m < 12; ++m)
      if (text.compare(8, 3, kMonths[m]) == 0) month = m;
  if (month < 0 || !number(5, 2, day) || !number(12, 4, year) || !number(17, 2, hour) ||
      !number(20, 2, minute) || !number(23, 2, second) || day < 1 || day > 31 || hour > 23 ||
      minute > 59 || second > 60)
    return std::time(nullptr);
  tm.tm_mday = day;
  tm.tm_mon = month;
  tm.tm_year = year - 1900;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  return timegm(&tm);
}

std::string ExtractDataAsOfText(const std::string &text) {
  std::string result = "更新日不明"_sj;
  if (Contains(text, "分を反映した農薬登録情報です"_sj)) {
    std::string t = text;
    t = Replace(t, "本ファイルは、"_sj, "");
    t = Replace(t, "「"_sj, "");
    t = Replace(t, "」"_sj, "");
    t = Replace(t, "分を反映した農薬登録情報です。"_sj, "反映"_sj);
    for (int y = 25; y <= 31; ++y)
      t = Replace(t, "平成"_sj + std::to_string(y), std::to_string(1988 + y));
    t = Replace(t, "令和元"_sj, "2019");
    for (int y = 2; y <= 12; ++y)
      t = Replace(t, "令和"_sj + std::to_string(y), std::to_string(2018 + y));
    t = Replace(t, "'", "");
    result = t;
  }
  if (Contains(text, "反映分"_sj) && !Contains(text, "<!--")) {
    std::string t = StripTags(text);
    t = Replace(t, "反映分"_sj, "反映"_sj);
    t = Replace(t, "）"_sj, "");
    t = Replace(t, "（"_sj, "及び"_sj);
    t = Replace(t, "失効も反映しています"_sj, "失効反映"_sj);
    result = t;
  }
  return result;
}

bool IsPlainFileName(const std::string &name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (std::size_t i = 0; i < name.size(); i = cp932::NextChar(name, i)) {
    if (cp932::CharLen(name, i) == 2) continue;
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 0x20 || c == 0x7F || std::string_view("/\\:*?\"<>|#%&").find(static_cast<char>(c)) !=
                                     std::string_view::npos)
      return false;
  }
  return name.find("..") == std::string::npos;
}

void ReadCsvFileNames(TCsvFileNames &names) {
  std::string path = CurrentPagePath(0);
  if (!fs::exists(FsPath(path))) return;
  const std::string link = "\" target =\"_blank\">";
  struct Target {
    std::string part;
    std::string *name;
  } targets[] = {{"登録基本部"_sj, &names.Kihon},
                 {"登録適用部一"_sj, &names.Tekiyo1},
                 {"登録適用部二"_sj, &names.Tekiyo2}};
  for (const std::string &line : ReadUtf8Lines(path)) {
    for (const Target &t : targets) {
      std::size_t hit = FindSjis(line, "zip" + link + t.part);
      if (hit == std::string::npos) continue;
      std::size_t end = hit + 3;  // the link's closing quote
      std::size_t start = line.rfind("datacsv/", hit);
      if (start == std::string::npos) continue;
      start += 8;
      std::string name = line.substr(start, end - start);
      // The name goes into a path and an address: only a plain file name will do.
      if (IsPlainFileName(name)) *t.name = name;
    }
  }
}

namespace {

// The number of ASCII digits from at on, at most max.
std::size_t DigitsAt(std::string_view text, std::size_t at, std::size_t max) {
  std::size_t n = 0;
  while (at + n < text.size() && n < max && text[at + n] >= '0' && text[at + n] <= '9') ++n;
  return n;
}

// The text as the date check reads it: full-width digits and blanks as their ASCII forms,
// and a blank dropped unless it parts two digits ("令和 8年" reads as "令和8年").
std::string DateReading(const std::string &text) {
  const std::string wide_blank = "　"_sj, wide_zero = "０"_sj;
  std::string read;
  for (std::size_t i = 0; i < text.size(); i = cp932::NextChar(text, i)) {
    if (cp932::CharLen(text, i) == 2) {
      const std::string c = text.substr(i, 2);
      if (c == wide_blank) {
        read += ' ';
        continue;
      }
      // ０ to ９ are one run of second bytes after the same lead byte.
      if (c[0] == wide_zero[0] && c[1] >= wide_zero[1] && c[1] <= wide_zero[1] + 9) {
        read += static_cast<char>('0' + (c[1] - wide_zero[1]));
        continue;
      }
      read += c;
      continue;
    }
    read += text[i];
  }
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  std::string kept;
  for (std::size_t i = 0; i < read.size(); ++i) {
    if (read[i] == ' ' && !(i > 0 && digit(read[i - 1]) && i + 1 < read.size() && digit(read[i + 1]))) continue;
    kept += read[i];
  }
  return kept;
}

// True when the text names a day: a year (four digits, or 令和 or 平成 with 元 or a number),
// then a month of 1 to 12 and a day of 1 to 31 in digits of either width: "2026年11月30日",
// "令和8年11月30日", "令和８年１１月３０日".
bool HoldsDate(const std::string &written) {
  const std::string text = DateReading(written);
  const std::string year = "年"_sj, month = "月"_sj, day = "日"_sj, first = "元"_sj;
  auto number = [&](std::size_t at, std::size_t digits) { return std::stoi(text.substr(at, digits)); };
  for (std::size_t y = FindSjis(text, year); y != std::string::npos; y = FindSjis(text, year, y + year.size())) {
    std::size_t digits = 0;
    while (digits < y && text[y - digits - 1] >= '0' && text[y - digits - 1] <= '9') ++digits;
    bool named = digits == 4;
    if (!named && digits <= 2) {
      std::size_t era = y - digits;
      bool number_given = digits > 0;
      if (!number_given && era >= first.size() && cp932::IsCharBoundary(text, era - first.size()) &&
          text.compare(era - first.size(), first.size(), first) == 0) {
        era -= first.size();
        number_given = true;
      }
      named = number_given && era >= 4 && cp932::IsCharBoundary(text, era - 4) &&
              (text.compare(era - 4, 4, "令和"_sj) == 0 || text.compare(era - 4, 4, "平成"_sj) == 0);
    }
    if (!named) continue;
    std::size_t at = y + year.size();
    const std::size_t m = DigitsAt(text, at, 2);
    if (m == 0 || text.compare(at + m, month.size(), month) != 0) continue;
    const int month_number = number(at, m);
    if (month_number < 1 || month_number > 12) continue;
    at += m + month.size();
    const std::size_t d = DigitsAt(text, at, 2);
    if (d == 0 || text.compare(at + d, day.size(), day) != 0) continue;
    const int day_number = number(at, d);
    if (day_number >= 1 && day_number <= 31) return true;
  }
  return false;
}

}  // namespace

std::string StoredText(const std::string &text) { return cp932::FromUtf8(cp932::ToUtf8(text)); }

std::string PageDataAsOf(const std::string &page, int kind) {
  std::string result;
  if (kind == 0) {
    // As the build reads the publisher's CSV page: the last dated line outside a comment.
    for (const std::string &line : ReadUtf8Lines(page))
      if (FindSjis(line, "反映分"_sj) != std::string::npos && FindSjis(line, "<!--") == std::string::npos)
        result = ExtractDataAsOfText(line);
  } else if (kind == 2) {
    std::ifstream f(FsPath(page), std::ios::binary);
    std::string line;
    if (std::getline(f, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      result = ExtractDataAsOfText(line);
    }
  }
  return StoredText(result);
}

std::string OfferedDataDate(const std::string &page, int kind) {
  std::string result;
  if (kind == 0 || kind == 1) {
    // The publisher's date line as the page shows it: the first one outside a comment.
    for (const std::string &line : ReadUtf8Lines(page))
      if (Contains(line, "反映分"_sj) && !Contains(line, "<!--")) {
        result = Replace(StripTags(line), "反映分"_sj, "反映"_sj);
        break;
      }
  } else {
    result = PageDataAsOf(page, 2);
  }
  return result.empty() ? "不明"_sj : result;
}

std::string SavedPagePath(int kind) { return JoinPath(DataFolder(), PageName(kind)); }

std::string PendingPagePath(int kind) { return JoinPath(DataFolder(), "." + std::string(PageName(kind)) + ".new"); }

std::string CurrentPagePath(int kind) {
  const std::string pending = PendingPagePath(kind);
  std::error_code ec;
  return fs::is_regular_file(FsPath(pending), ec) ? pending : SavedPagePath(kind);
}

void CommitPendingPage(int kind) {
  const std::string pending = PendingPagePath(kind);
  std::error_code ec;
  if (fs::is_regular_file(FsPath(pending), ec)) fs::rename(FsPath(pending), FsPath(SavedPagePath(kind)), ec);
}

void DiscardPendingPage(int kind) {
  std::error_code ec;
  fs::remove(FsPath(PendingPagePath(kind)), ec);
}

std::string PageDamage(const std::string &page, int kind) {
  std::error_code ec;
  if (!fs::is_regular_file(FsPath(page), ec)) return {};
  std::string head;
  {
    std::ifstream f(FsPath(page), std::ios::binary);
    head.resize(4096);
    f.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(f.gcount()));
  }
  const bool whole = fs::file_size(FsPath(page), ec) <= head.size();
  if (head.rfind("\xEF\xBB\xBF", 0) == 0) head.erase(0, 3);
  if (whole && head.find_first_not_of(" \t\r\n") == std::string::npos)
    return "ファイルが空です。ダウンロード元のファイルを確かめ、しばらくしてから再実行してください"_sj;
  if (kind == 0 || kind == 2) {
    const std::string date = PageDataAsOf(page, kind);
    if (date.empty() || date == "更新日不明"_sj)
      return "データの日付が書かれていません。ページが別物か壊れています。ダウンロード元のファイルを確かめ、しばらくしてから再実行してください"_sj;
    // A date damaged on its way would be stored as the data date and shown as one.
    if (!HoldsDate(date))
      return "データの日付が読めません("_sj + date +
             ")。ページが壊れています。ダウンロード元のファイルを確かめ、しばらくしてから再実行してください"_sj;
  }
  return {};
}

bool CopyFileToFolder(const std::string &source, const std::string &target) {
  TBusyCursor busy;
  TShfOperation op;
  op.OperationF = foCOPY;
  op.Options.FILESONLY = true;
  op.Options.NOCONFIRMATION = true;
  op.FromFFList = {source};
  op.ToFolder = target;
  op.ProgressTitle = source + "をコピーしています"_sj;
  return op.Execute() == 0;
}

std::time_t GetFileWriteTime(const std::string &path) {
  struct stat st {};
  if (::stat(FsPath(path).c_str(), &st) != 0) return 0;
  return st.st_mtim.tv_sec;
}

bool IsNewerFile(const std::string &source, const std::string &target, std::string &message) {
  if (!fs::exists(FsPath(source))) {
    message = "コピー元:"_sj + source + " なし"_sj;
    return false;
  }
  if (!fs::exists(FsPath(target))) {
    message = "コピー先:"_sj + target + " なし"_sj;
    return true;
  }
  if (GetFileWriteTime(source) > GetFileWriteTime(target)) {
    message = source + " > " + target;
    return true;
  }
  message = "更新なし"_sj;
  return false;
}

bool ExtractArchive(const std::string &archive, const std::string &folder, std::string &output) {
  TplArchiever7ZIP arc(nullptr);
  return arc.Extract(archive, folder, output);
}

TUnpackFolder::TUnpackFolder(const std::string &beside) : FPath(TempBeside(FsPath(beside))) {
  std::error_code ec;
  fs::create_directories(FPath, ec);
}

TUnpackFolder::~TUnpackFolder() {
  std::error_code ec;
  fs::remove_all(FPath, ec);
}

bool TUnpackFolder::Extract(const std::string &archive, std::string &output) {
  return ExtractArchive(archive, FromFsPath(FPath), output);
}

bool TUnpackFolder::Holds(const std::string &name) const {
  std::error_code ec;
  const fs::path file = FPath / FsPath(name);
  return fs::is_regular_file(file, ec) && !fs::is_symlink(file, ec);
}

std::string MissingEntryText(const std::string &name) {
  return name + " が書庫に入っていません。書庫が別物か壊れています"_sj;
}
