#include "platform/inet.h"

#include <curl/curl.h>
#include <fnmatch.h>
#include <ifaddrs.h>
#include <net/if.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace inet {
namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned kDefaultTimeoutMs = 60000;

std::atomic<int> g_connected_override{-1};
std::atomic<bool> g_offline{false};

struct CurlGlobal {
  CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
  ~CurlGlobal() { curl_global_cleanup(); }
};

void EnsureCurl() { static CurlGlobal g; }

std::string Lower(std::string_view s) {
  std::string r(s);
  for (char &c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

// Host part of an address ("http://user@host:port/path" gives "host").
std::string HostOf(const std::string &url) {
  std::size_t p = url.find("://");
  p = (p == std::string::npos) ? 0 : p + 3;
  std::size_t end = url.find_first_of("/?#", p);
  std::string auth = url.substr(p, end == std::string::npos ? std::string::npos : end - p);
  if (std::size_t at = auth.rfind('@'); at != std::string::npos) auth.erase(0, at + 1);
  if (!auth.empty() && auth[0] == '[') {
    std::size_t close = auth.find(']');
    return Lower(auth.substr(1, close == std::string::npos ? std::string::npos : close - 1));
  }
  if (std::size_t colon = auth.find(':'); colon != std::string::npos) auth.erase(colon);
  return Lower(auth);
}

int StatusOfBlock(const std::string &block) {
  // "HTTP/1.1 200 OK"
  std::size_t sp = block.find(' ');
  if (sp == std::string::npos) return 0;
  return std::atoi(block.c_str() + sp + 1);
}

bool BlockHasLocation(const std::string &block) {
  std::string l = Lower(block);
  return l.find("\nlocation:") != std::string::npos;
}

}  // namespace

bool GetConnectedState(unsigned &flags) {
  flags = 0;
  int o = g_connected_override.load();
  bool connected = false;
  if (o >= 0) {
    connected = o == 1;
  } else {
    ifaddrs *list = nullptr;
    if (getifaddrs(&list) == 0) {
      for (ifaddrs *a = list; a; a = a->ifa_next)
        if ((a->ifa_flags & IFF_UP) && (a->ifa_flags & IFF_RUNNING)) connected = true;
      freeifaddrs(list);
    }
  }
  if (!connected) return false;
  flags = INTERNET_CONNECTION_LAN | INTERNET_CONNECTION_CONFIGURED;
  if (g_offline.load()) flags |= INTERNET_CONNECTION_OFFLINE;
  return true;
}

void OverrideConnectedState(int state) { g_connected_override = state; }

bool IsGlobalOffline() { return g_offline.load(); }
void SetGlobalOffline(bool on) { g_offline = on; }

Session::Session(std::string agent, bool named_proxy, std::string proxy, std::string bypass)
    : agent_(std::move(agent)),
      named_proxy_(named_proxy),
      proxy_(std::move(proxy)),
      bypass_(std::move(bypass)) {
  EnsureCurl();
  ok_ = !named_proxy_ || !proxy_.empty();
}

Session::~Session() = default;

std::string Session::ProxyFor(const std::string &host_any_case) const {
  if (!named_proxy_) return std::string();
  std::string host = Lower(host_any_case);
  std::string list = bypass_;
  for (char &c : list)
    if (c == ';' || c == ',' || c == '\t' || c == '\r' || c == '\n') c = ' ';
  std::size_t p = 0;
  while (p < list.size()) {
    std::size_t e = list.find(' ', p);
    if (e == std::string::npos) e = list.size();
    std::string entry = Lower(list.substr(p, e - p));
    p = e + 1;
    if (entry.empty()) continue;
    if (entry == "<local>") {
      if (host.find('.') == std::string::npos && host.find(':') == std::string::npos) return "";
      continue;
    }
    if (fnmatch(entry.c_str(), host.c_str(), 0) == 0) return "";
  }
  return proxy_;
}

struct Request::Impl {
  CURLM *multi = nullptr;
  CURL *easy = nullptr;
  curl_slist *headers = nullptr;
  char errbuf[CURL_ERROR_SIZE] = {};

  std::string block;          // header lines of the response being received
  std::string final_headers;  // those of the final response
  bool headers_done = false;
  std::string pending;  // body bytes received and not yet read
  std::size_t pending_pos = 0;
  bool done = false;
  CURLcode result = CURLE_OK;
  bool follow = true;

  unsigned receive_timeout_ms = kDefaultTimeoutMs;
  Clock::time_point last_activity = Clock::now();
  bool connected = false;

  ~Impl() {
    if (multi && easy) curl_multi_remove_handle(multi, easy);
    if (easy) curl_easy_cleanup(easy);
    if (multi) curl_multi_cleanup(multi);
    if (headers) curl_slist_free_all(headers);
  }

  static size_t OnHeader(char *ptr, size_t size, size_t n, void *user) {
    auto *self = static_cast<Impl *>(user);
    std::string_view line(ptr, size * n);
    self->last_activity = Clock::now();
    if (line.substr(0, 5) == "HTTP/") self->block.clear();
    self->block.append(line);
    if (line == "\r\n" || line == "\n") {
      int code = StatusOfBlock(self->block);
      bool interim = code >= 100 && code < 200;
      bool redirect = self->follow && (code == 301 || code == 302 || code == 303 ||
                                       code == 307 || code == 308) &&
                      BlockHasLocation(self->block);
      if (!interim && !redirect && !self->headers_done) {
        self->final_headers = self->block;
        self->headers_done = true;
      }
    }
    return size * n;
  }

  static size_t OnData(char *ptr, size_t size, size_t n, void *user) {
    auto *self = static_cast<Impl *>(user);
    self->last_activity = Clock::now();
    if (!self->headers_done) {
      self->final_headers = self->block;
      self->headers_done = true;
    }
    if (self->pending_pos == self->pending.size()) {
      self->pending.clear();
      self->pending_pos = 0;
    }
    self->pending.append(ptr, size * n);
    return size * n;
  }

  // Runs the transfer until ready() holds or the transfer ends. False on a receive
  // time-out or a failure of the library.
  template <class Ready>
  bool Pump(Ready ready, std::string &error) {
    while (!ready() && !done) {
      int running = 0;
      if (curl_multi_perform(multi, &running) != CURLM_OK) {
        error = "transfer failed";
        return false;
      }
      int left = 0;
      while (CURLMsg *m = curl_multi_info_read(multi, &left))
        if (m->msg == CURLMSG_DONE) {
          done = true;
          result = m->data.result;
        }
      if (ready() || done) break;
      if (!connected) {
        curl_off_t t = 0;
        if (curl_easy_getinfo(easy, CURLINFO_CONNECT_TIME_T, &t) == CURLE_OK && t > 0) {
          connected = true;
          last_activity = Clock::now();
        }
      } else if (Clock::now() - last_activity > std::chrono::milliseconds(receive_timeout_ms)) {
        error = "receive time-out";
        return false;
      }
      curl_multi_poll(multi, nullptr, 0, 20, nullptr);
    }
    return true;
  }

  std::string FailureText() const {
    std::string t = curl_easy_strerror(result);
    if (errbuf[0]) t += std::string(": ") + errbuf;
    return t;
  }
};

Request::Request(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Request::~Request() = default;

bool Request::QueryRawHeaders(std::string &out) const {
  if (!impl_->headers_done) return false;
  out = impl_->final_headers;
  // Header lines as the server sent them may end in a bare LF; give CR LF throughout.
  std::string r;
  r.reserve(out.size() + 16);
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (out[i] == '\n' && (i == 0 || out[i - 1] != '\r')) r += '\r';
    r += out[i];
  }
  out = std::move(r);
  return true;
}

bool Request::ReadFile(char *buf, std::size_t size, std::size_t &read) {
  read = 0;
  Impl &d = *impl_;
  for (;;) {
    if (d.pending_pos < d.pending.size()) {
      std::size_t n = std::min(size, d.pending.size() - d.pending_pos);
      std::memcpy(buf, d.pending.data() + d.pending_pos, n);
      d.pending_pos += n;
      read = n;
      return true;
    }
    if (d.done) {
      if (d.result == CURLE_OK) return true;
      error_ = d.FailureText();
      return false;
    }
    if (!d.Pump([&] { return d.pending_pos < d.pending.size(); }, error_)) return false;
  }
}

std::unique_ptr<Request> OpenUrl(Session &session, const std::string &url_utf8,
                                 const std::string &headers, unsigned flags,
                                 std::string *error) {
  (void)flags;
  std::string dummy;
  std::string &err = error ? *error : dummy;
  err.clear();
  if (IsGlobalOffline()) {
    err = "offline";
    return nullptr;
  }
  auto d = std::make_unique<Request::Impl>();
  d->multi = curl_multi_init();
  d->easy = curl_easy_init();
  if (!d->multi || !d->easy) {
    err = "cannot start the transfer";
    return nullptr;
  }
  // Only absolute http and https addresses: a text without a scheme is no address (the
  // transfer library would otherwise take its first word for a host name).
  std::string lower = Lower(url_utf8.substr(0, 8));
  if (lower.rfind("http://", 0) != 0 && lower.rfind("https://", 0) != 0) {
    err = "not an http or https address";
    return nullptr;
  }
  std::string url = EscapeUrl(url_utf8);
  CURL *e = d->easy;
  curl_easy_setopt(e, CURLOPT_URL, url.c_str());
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, d->errbuf);
  curl_easy_setopt(e, CURLOPT_USERAGENT, session.agent().c_str());
  curl_easy_setopt(e, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  unsigned ct = session.ConnectTimeout() ? session.ConnectTimeout() : kDefaultTimeoutMs;
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(ct));
  d->receive_timeout_ms = session.ReceiveTimeout() ? session.ReceiveTimeout() : kDefaultTimeoutMs;
  if (!session.UsesSystemProxy()) {
    std::string proxy = session.ProxyFor(HostOf(url));
    curl_easy_setopt(e, CURLOPT_PROXY, proxy.c_str());  // "" = direct
  }
  // Extra header lines, one per CR LF.
  std::size_t p = 0;
  while (p < headers.size()) {
    std::size_t eol = headers.find('\n', p);
    if (eol == std::string::npos) eol = headers.size();
    std::string line = headers.substr(p, eol - p);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) d->headers = curl_slist_append(d->headers, line.c_str());
    p = eol + 1;
  }
  if (d->headers) curl_easy_setopt(e, CURLOPT_HTTPHEADER, d->headers);
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Request::Impl::OnHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, d.get());
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Request::Impl::OnData);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, d.get());
  curl_multi_add_handle(d->multi, e);
  d->last_activity = Clock::now();

  Request::Impl &r = *d;
  if (!r.Pump([&] { return r.headers_done; }, err)) return nullptr;
  if (!r.headers_done) {
    err = r.done ? r.FailureText() : "no response";
    return nullptr;
  }
  return std::unique_ptr<Request>(new Request(std::move(d)));
}

std::string FormatHttpDate(std::time_t utc) {
  static const char *const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char *const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm tm{};
  if (!gmtime_r(&utc, &tm)) return std::string();
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[tm.tm_wday],
                tm.tm_mday, kMonths[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min,
                tm.tm_sec);
  return buf;
}

bool ParseHttpDate(std::string_view text, std::time_t &utc) {
  if (text.empty()) return false;
  std::string s(text);
  std::time_t t = curl_getdate(s.c_str(), nullptr);
  if (t == static_cast<std::time_t>(-1)) return false;
  utc = t;
  return true;
}

std::string EscapeUrl(std::string_view url) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string r;
  r.reserve(url.size());
  for (char ch : url) {
    auto c = static_cast<unsigned char>(ch);
    if (c >= 0x80 || c <= 0x20 || c == 0x7F) {
      r += '%';
      r += kHex[c >> 4];
      r += kHex[c & 15];
    } else {
      r += ch;
    }
  }
  return r;
}

}  // namespace inet
