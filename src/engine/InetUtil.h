// One synchronous way to fetch a file over HTTP: THttpDownload, on the abstract
// TInetDownload, and the free helpers around it (connected state, time-outs, offline
// state, raw header parsing, the headers-only modification check, file times as HTTP
// dates, Base64).
//
// A download is conditional on the local file's date, may go through a named proxy
// with Basic authentication, holds the body in memory and reports progress through an
// event that can cancel. On success the body replaces the file and the file gets the
// server's Last-Modified time.
//
// Texts are program text (CP932): addresses, file paths, header values.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace inet {
class Session;
class Request;
}  // namespace inet

// A list of lines, read by name as "name=value" pairs (names without case).
class TNameValueList {
 public:
  std::vector<std::string> Lines;
  void Clear() { Lines.clear(); }
  void Add(const std::string &line) { Lines.push_back(line); }
  std::size_t Count() const { return Lines.size(); }
  std::string Values(const std::string &name) const;
  std::string Text() const;  // the lines, each followed by CR LF
};

enum TOfflineOption { ooNormal, ooError, ooConnect };
enum TBufferSize { bsSmall, bsMedium, bsLarge };

// Error codes of LastError.
enum : std::uint32_t {
  INET_ERROR_NOT_CONNECTED = 12200,
  INET_ERROR_OFFLINE = 12201,
  INET_ERROR_INTERNET_OPEN = 12202,
  INET_ERROR_OPEN_URL = 12203,
  INET_ERROR_HTTP_QUERY_INFO = 12204,
  INET_ERROR_READ_FILE = 12205,
  INET_ERROR_HTTP_STATUS_CODE = 12210,
  INET_ERROR_CANCELLED = 0x80004004u,
};

// Progress kinds.
enum : std::uint32_t { INET_STATUS_START = 4, INET_STATUS_DATA = 5, INET_STATUS_END = 6 };

class TInetDownload;
using TDownloadProgressEvent =
    std::function<void(TInetDownload *Sender, std::uint32_t Progress, std::uint32_t ProgressMax,
                       std::uint32_t StatusCode, const std::string &StatusText, bool &Cancel)>;

class TInetDownload {
 public:
  virtual ~TInetDownload() = default;

  const std::string &Url() const { return FUrl; }
  const std::string &FileName() const { return FFileName; }
  virtual void SetUrl(const std::string &value) { FUrl = value; }
  virtual void SetFileName(const std::string &value) { FFileName = value; }

  TOfflineOption OfflineOption = ooNormal;
  TDownloadProgressEvent OnDownloadProgress;

  virtual bool Execute() = 0;

 protected:
  std::string FUrl;
  std::string FFileName;
};

class THttpDownload : public TInetDownload {
 public:
  THttpDownload();
  ~THttpDownload() override;

  std::string ProxyUsername, ProxyPassword, ProxyName, ProxyBypass;
  std::string IfModifiedSince, IfNoneMatch;
  std::string UserAgent = "InetDownloader";
  unsigned ProgressInterval = 500;  // ms
  bool AdjustTimeStamp = false;
  TBufferSize BufferSize = bsMedium;
  unsigned ConnectTimeout = 0;  // ms, 0 = the library's default
  unsigned ReceiveTimeout = 0;

  TNameValueList ResponseHeaders;
  std::int64_t ContentLength = 0;
  std::uint32_t LastError = 0;
  // Why the last Execute failed, beyond its phase in LastError (program text): what the
  // transfer library said, a body cut short, a file that could not be written. Empty
  // after success and when the status line says it all.
  std::string ErrorText;

  // Also clears the response headers and ContentLength.
  void SetUrl(const std::string &value) override;
  // Also sets IfModifiedSince from the file's last-write time (empty without the file).
  void SetFileName(const std::string &value) override;

  bool Execute() override;

  static std::size_t BufferBytes(TBufferSize size);

 private:
  std::string BuildHeaders() const;
  bool DoProgress(std::uint32_t progress, std::uint32_t kind);
  bool SaveBody(const std::string &body);
  std::int64_t FLastTick = 0;
};

// The platform's connected-state query (a working loopback counts as connected).
bool GetConnectedState(unsigned &flags);
void SetConnectTimeout(inet::Session &session, unsigned ms);
void SetReceiveTimeout(inet::Session &session, unsigned ms);
bool IsGlobalOffline(inet::Session *session = nullptr);
void SetGlobalOffline(inet::Session *session, bool on);

// Raw response headers into name=value lines: the status line becomes "StatusCode=",
// "StatusText=" and "HttpVersion=" entries at the top; a text that does not begin with
// "HTTP/" becomes the list's lines as it stands.
void ParseRawHeaders(const std::string &text, TNameValueList &list);
bool QueryRawHeaders(const inet::Request &request, std::string &text);
bool FetchHeaders(const std::string &url, TNameValueList &list, const std::string &headers,
                  const std::string &proxy_bypass, const std::string &proxy_name,
                  const std::string &agent);
// True when the server answers 200 to a request conditional on the file's date;
// message "<StatusCode> <StatusText>", or "StatusCode なし サーバ接続失敗!".
bool CheckHttpModified(const std::string &url, const std::string &file, std::string &message);
std::string FileTimeToHttpDate(const std::string &file);
bool SetFileTimeFromHttpDate(const std::string &file, const std::string &date);
std::string Base64Encode(const std::string &text);
// True for an address the downloader fetches: one that begins "http://" or "https://".
bool IsWebAddress(const std::string &address);
