#include "engine/InetUtil.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "platform/cp932.h"
#include "platform/fspath.h"
#include "platform/inet.h"

namespace fs = std::filesystem;

namespace {

bool SameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x < 0x80 && y < 0x80) {
      if (std::tolower(x) != std::tolower(y)) return false;
    } else if (x != y) {
      return false;
    }
  }
  return true;
}

std::int64_t TickMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void ReplaceAll(std::string &s, std::string_view from, std::string_view to) {
  std::size_t p = 0;
  while ((p = s.find(from, p)) != std::string::npos) {
    s.replace(p, from.size(), to);
    p += to.size();
  }
}

// Splits on CR LF (or LF) the way a string list takes a text: a final line end gives
// no extra empty line.
std::vector<std::string> SplitLines(const std::string &text) {
  std::vector<std::string> lines;
  std::size_t p = 0;
  while (p < text.size()) {
    std::size_t e = text.find('\n', p);
    std::string line = text.substr(p, e == std::string::npos ? std::string::npos : e - p);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    if (e == std::string::npos) break;
    p = e + 1;
  }
  return lines;
}

}  // namespace

std::string TNameValueList::Values(const std::string &name) const {
  for (const std::string &line : Lines) {
    std::size_t eq = line.find('=');
    if (eq != std::string::npos && SameNoCase(std::string_view(line).substr(0, eq), name))
      return line.substr(eq + 1);
  }
  return std::string();
}

std::string TNameValueList::Text() const {
  std::string t;
  for (const std::string &l : Lines) t += l + "\r\n";
  return t;
}

THttpDownload::THttpDownload() = default;
THttpDownload::~THttpDownload() = default;

std::size_t THttpDownload::BufferBytes(TBufferSize size) {
  switch (size) {
    case bsSmall: return 1024;
    case bsLarge: return 4096;
    default: return 2048;
  }
}

void THttpDownload::SetUrl(const std::string &value) {
  FUrl = value;
  ResponseHeaders.Clear();
  ContentLength = 0;
}

void THttpDownload::SetFileName(const std::string &value) {
  FFileName = value;
  IfModifiedSince = FileTimeToHttpDate(value);
}

std::string THttpDownload::BuildHeaders() const {
  std::string h;
  if (!IfModifiedSince.empty()) h += "If-Modified-Since: " + IfModifiedSince + "\r\n";
  if (!IfNoneMatch.empty()) h += "If-None-Match: " + IfNoneMatch + "\r\n";
  std::string auth = ProxyUsername.empty() ? std::string()
                                           : Base64Encode(ProxyUsername + ":" + ProxyPassword);
  if (!auth.empty()) h += "Proxy-Authorization: Basic " + auth + "\r\n";
  return h;
}

bool THttpDownload::DoProgress(std::uint32_t progress, std::uint32_t kind) {
  bool cancel = false;
  std::int64_t now = TickMs();
  if (kind == INET_STATUS_START) {
    FLastTick = now;
  } else if (kind == INET_STATUS_DATA) {
    if (now - FLastTick < static_cast<std::int64_t>(ProgressInterval)) return false;
    FLastTick = now;
  }
  if (OnDownloadProgress) {
    OnDownloadProgress(this, progress, static_cast<std::uint32_t>(ContentLength), kind, FUrl,
                       cancel);
    LastError = cancel ? std::uint32_t{INET_ERROR_CANCELLED} : 0u;
  }
  return cancel;
}

namespace {

// Why a file could not be written, with what the user can do about it (program text).
std::string WriteFailure(const std::string &file, int error) {
  std::string text = file + cp932::FromUtf8(" を保存できません: ") + std::strerror(error);
  if (error == ENOSPC || error == EFBIG || error == EDQUOT)
    text += cp932::FromUtf8(" (ディスクの空きが足りません。空きを作ってから再実行してください)");
  else
    text += cp932::FromUtf8(" (フォルダの書き込み権を確かめてから再実行してください)");
  return text;
}

bool WriteAll(int fd, const std::string &bytes) {
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      if (w == 0) errno = ENOSPC;
      return false;
    }
    done += static_cast<std::size_t>(w);
  }
  return true;
}

}  // namespace

// The body goes to a fresh file beside the target, which then replaces the target in
// one step: a failed write never leaves a half-written file under the target's name.
bool THttpDownload::SaveBody(const std::string &body) {
  fs::path target = FsPath(FFileName);
  std::error_code ec;
  fs::path temp = TempBeside(target);
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
  if (fd < 0) {
    ErrorText = WriteFailure(FFileName, errno);
    return false;
  }
  bool ok = WriteAll(fd, body);
  int error = ok ? 0 : errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    ErrorText = WriteFailure(FFileName, error);
    fs::remove(temp, ec);
    return false;
  }
  if (AdjustTimeStamp)
    SetFileTimeFromHttpDate(FromFsPath(temp), ResponseHeaders.Values("Last-Modified"));
  fs::rename(temp, target, ec);
  if (ec) {
    ErrorText = WriteFailure(FFileName, ec.value());
    fs::remove(temp, ec);
    return false;
  }
  return true;
}

bool THttpDownload::Execute() {
  ErrorText.clear();
  LastError = INET_ERROR_NOT_CONNECTED;
  unsigned flags = 0;
  if (!inet::GetConnectedState(flags)) return false;

  LastError = INET_ERROR_OFFLINE;
  bool offline = (flags & inet::INTERNET_CONNECTION_OFFLINE) != 0;
  if (offline && OfflineOption == ooError) return false;

  ResponseHeaders.Clear();
  LastError = INET_ERROR_INTERNET_OPEN;
  std::unique_ptr<inet::Session> session;
  if (!ProxyName.empty())
    session = std::make_unique<inet::Session>(cp932::ToUtf8(UserAgent), true,
                                              cp932::ToUtf8(ProxyName),
                                              ProxyBypass.empty() ? "<local>"
                                                                  : cp932::ToUtf8(ProxyBypass));
  else
    session = std::make_unique<inet::Session>(cp932::ToUtf8(UserAgent), false, "", "");
  if (!session->ok()) return false;

  if (offline && OfflineOption == ooConnect) inet::SetGlobalOffline(false);
  if (ConnectTimeout) ::SetConnectTimeout(*session, ConnectTimeout);
  if (ReceiveTimeout) ::SetReceiveTimeout(*session, ReceiveTimeout);

  unsigned request_flags = inet::IsGlobalOffline() ? 0u : unsigned{inet::INTERNET_FLAG_RELOAD};
  if (!ProxyUsername.empty()) {
    request_flags |= inet::INTERNET_FLAG_NO_AUTH;
    ReplaceAll(FUrl, "https:", "http:");
  }
  std::string headers = BuildHeaders();

  LastError = INET_ERROR_OPEN_URL;
  std::string open_error;
  std::unique_ptr<inet::Request> request =
      inet::OpenUrl(*session, cp932::ToUtf8(FUrl), cp932::ToUtf8(headers), request_flags, &open_error);
  if (!request) {
    ErrorText = cp932::FromUtf8("応答がありません: " + open_error);
    return false;
  }

  LastError = INET_ERROR_HTTP_QUERY_INFO;
  std::string raw;
  if (!QueryRawHeaders(*request, raw)) return false;
  ParseRawHeaders(raw, ResponseHeaders);
  LastError = INET_ERROR_HTTP_STATUS_CODE;

  std::string length = ResponseHeaders.Values("Content-Length");
  bool has_length = !length.empty();
  if (has_length) ContentLength = std::strtoll(length.c_str(), nullptr, 10);
  if (ResponseHeaders.Values("StatusCode") != "200") return false;

  LastError = INET_ERROR_READ_FILE;
  std::string body;
  if (DoProgress(0, INET_STATUS_START)) return false;
  std::vector<char> buf(BufferBytes(BufferSize));
  for (;;) {
    std::size_t n = 0;
    if (!request->ReadFile(buf.data(), buf.size(), n)) {
      LastError = INET_ERROR_READ_FILE;
      ErrorText = cp932::FromUtf8("受信が途中で止まりました: " + request->ErrorText() + " (" +
                                  std::to_string(body.size()) + " バイト受信)");
      return false;
    }
    if (n == 0) break;
    body.append(buf.data(), n);
    if (DoProgress(static_cast<std::uint32_t>(body.size()), INET_STATUS_DATA)) return false;
  }
  if (DoProgress(static_cast<std::uint32_t>(body.size()), INET_STATUS_END)) return false;

  // A body shorter than announced, or none at all, is no copy of the file: keep the
  // old one, and leave it without the server's date so that it is fetched again.
  if (body.empty() || (has_length && static_cast<std::int64_t>(body.size()) != ContentLength)) {
    LastError = INET_ERROR_READ_FILE;
    ErrorText = cp932::FromUtf8(body.empty() ? std::string("応答の本体が空です")
                                             : "応答の本体が " + std::to_string(body.size()) + " バイトで、予告の " +
                                                   std::to_string(ContentLength) + " バイトに足りません");
    return false;
  }
  ContentLength = static_cast<std::int64_t>(body.size());
  if (!SaveBody(body)) {
    LastError = INET_ERROR_READ_FILE;
    return false;
  }
  LastError = 0;
  return true;
}

bool GetConnectedState(unsigned &flags) { return inet::GetConnectedState(flags); }

void SetConnectTimeout(inet::Session &session, unsigned ms) { session.SetConnectTimeout(ms); }

void SetReceiveTimeout(inet::Session &session, unsigned ms) { session.SetReceiveTimeout(ms); }

bool IsGlobalOffline(inet::Session *) { return inet::IsGlobalOffline(); }

void SetGlobalOffline(inet::Session *, bool on) { inet::SetGlobalOffline(on); }

void ParseRawHeaders(const std::string &text, TNameValueList &list) {
  list.Clear();
  if (text.compare(0, 5, "HTTP/") != 0) {
    list.Lines = SplitLines(text);
    return;
  }
  std::string t = text;
  ReplaceAll(t, ": ", "=");
  std::vector<std::string> lines = SplitLines(t);
  std::string status = lines.empty() ? std::string() : lines.front();
  if (!lines.empty()) lines.erase(lines.begin());
  // "HTTP/1.1 200 OK"
  std::size_t sp1 = status.find(' ');
  std::string code, reason, version;
  if (sp1 != std::string::npos) {
    std::size_t sp2 = status.find(' ', sp1 + 1);
    code = status.substr(sp1 + 1, sp2 == std::string::npos ? std::string::npos : sp2 - sp1 - 1);
    if (sp2 != std::string::npos) reason = status.substr(sp2 + 1);
    version = status.substr(0, sp1 + 1);
  } else {
    version = status;
  }
  version.replace(0, 5, "HttpVersion=");
  list.Lines.reserve(lines.size() + 3);
  list.Add("StatusCode=" + code);
  list.Add("StatusText=" + reason);
  list.Add(version);
  for (std::string &l : lines) list.Add(std::move(l));
}

bool QueryRawHeaders(const inet::Request &request, std::string &text) {
  return request.QueryRawHeaders(text);
}

bool FetchHeaders(const std::string &url, TNameValueList &list, const std::string &headers,
                  const std::string &proxy_bypass, const std::string &proxy_name,
                  const std::string &agent) {
  list.Clear();
  inet::Session session(cp932::ToUtf8(agent), !proxy_name.empty(), cp932::ToUtf8(proxy_name),
                        cp932::ToUtf8(proxy_bypass));
  if (!session.ok()) {
    list.Add("Error: Internet Open");
    return false;
  }
  std::unique_ptr<inet::Request> request = inet::OpenUrl(
      session, cp932::ToUtf8(url), cp932::ToUtf8(headers), inet::INTERNET_FLAG_RELOAD);
  if (!request) {
    list.Add("Error: Open URL");
    return false;
  }
  std::string raw;
  if (!QueryRawHeaders(*request, raw)) {
    list.Add("Error: HTTP Query Info");
    return false;
  }
  ParseRawHeaders(raw, list);
  return true;
}

bool CheckHttpModified(const std::string &url, const std::string &file, std::string &message) {
  TNameValueList list;
  bool read = FetchHeaders(url, list, "If-Modified-Since: " + FileTimeToHttpDate(file) + "\r\n",
                           "<local>", "", "InetDownloader");
  std::string code = read ? list.Values("StatusCode") : std::string();
  if (!code.empty())
    message = code + " " + list.Values("StatusText");
  else
    message = cp932::FromUtf8("StatusCode なし サーバ接続失敗!");
  return read && code == "200";
}

std::string FileTimeToHttpDate(const std::string &file) {
  if (file.empty()) return std::string();
  int fd = ::open(FsPath(file).c_str(), O_RDONLY);
  if (fd < 0) return std::string();
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  ::close(fd);
  if (!ok) return std::string();
  return inet::FormatHttpDate(st.st_mtim.tv_sec);
}

bool SetFileTimeFromHttpDate(const std::string &file, const std::string &date) {
  std::time_t t = 0;
  if (date.empty() || !inet::ParseHttpDate(date, t)) return false;
  int fd = ::open(FsPath(file).c_str(), O_WRONLY);
  if (fd < 0) return false;
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = t;
  times[1].tv_nsec = 0;
  bool ok = ::futimens(fd, times) == 0;
  ::close(fd);
  return ok;
}

bool IsWebAddress(const std::string &address) {
  return address.rfind("http://", 0) == 0 || address.rfind("https://", 0) == 0;
}

std::string Base64Encode(const std::string &text) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((text.size() + 2) / 3 * 4);
  std::size_t i = 0;
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  for (; i + 3 <= text.size(); i += 3) {
    unsigned v = (byte(i) << 16) | (byte(i + 1) << 8) | byte(i + 2);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  if (std::size_t rest = text.size() - i) {
    unsigned v = byte(i) << 16;
    if (rest == 2) v |= byte(i + 1) << 8;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}
