// The internet library the downloader is written against: a session with a user agent,
// proxy and time-outs, a request that is sent when opened and whose raw response
// headers and body are then read piece by piece, the connected-state query and the
// library's own offline switch. Backed by libcurl (HTTP/1.1, redirects followed).
//
// Texts here are UTF-8 (addresses are percent-encoded where they hold other bytes).
#pragma once

#include <cstddef>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>

namespace inet {

// Connected-state flags.
enum : unsigned {
  INTERNET_CONNECTION_MODEM = 0x01,
  INTERNET_CONNECTION_LAN = 0x02,
  INTERNET_CONNECTION_PROXY = 0x04,
  INTERNET_CONNECTION_OFFLINE = 0x20,
  INTERNET_CONNECTION_CONFIGURED = 0x40,
};

// Request flags.
enum : unsigned {
  INTERNET_FLAG_RELOAD = 0x80000000u,
  INTERNET_FLAG_NO_AUTH = 0x00040000u,
};

// True when the machine has a working network interface (a working loopback counts);
// flags get INTERNET_CONNECTION_LAN, and INTERNET_CONNECTION_OFFLINE while the library's
// offline switch is on.
bool GetConnectedState(unsigned &flags);

// Test hook: -1 asks the system (the default), 0 answers "not connected", 1 "connected".
void OverrideConnectedState(int state);

// The library's offline switch (off at start). While it is on, requests fail to open:
// there is no local cache to answer them from.
bool IsGlobalOffline();
void SetGlobalOffline(bool on);

class Session {
 public:
  // With named_proxy the given proxy ("host:port", "http://host:port") is used for every
  // address except those the bypass list names (entries separated by ";", "," or blanks:
  // host names, "*.domain" patterns, and "<local>" for host names without a dot).
  // Otherwise the system's configuration applies (the usual proxy environment variables).
  Session(std::string agent, bool named_proxy, std::string proxy, std::string bypass);
  ~Session();
  Session(const Session &) = delete;
  Session &operator=(const Session &) = delete;

  bool ok() const { return ok_; }
  // 0 leaves the library's default (60 s for either).
  void SetConnectTimeout(unsigned ms) { connect_timeout_ms_ = ms; }
  void SetReceiveTimeout(unsigned ms) { receive_timeout_ms_ = ms; }
  unsigned ConnectTimeout() const { return connect_timeout_ms_; }
  unsigned ReceiveTimeout() const { return receive_timeout_ms_; }

  const std::string &agent() const { return agent_; }
  // True when the system's configuration chooses the proxy; otherwise ProxyFor gives the
  // proxy for a host, empty for a direct connection (a host the bypass list names).
  bool UsesSystemProxy() const { return !named_proxy_; }
  std::string ProxyFor(const std::string &host) const;

 private:
  bool ok_ = false;
  std::string agent_;
  bool named_proxy_;
  std::string proxy_, bypass_;
  unsigned connect_timeout_ms_ = 0, receive_timeout_ms_ = 0;
};

class Request {
 public:
  ~Request();
  Request(const Request &) = delete;
  Request &operator=(const Request &) = delete;

  // The final response's status line and header lines, each ending in CR LF, followed
  // by an empty line (as the library's raw-headers query gives them).
  bool QueryRawHeaders(std::string &out) const;

  // Reads up to size bytes of the body. read == 0 with true means the body is complete;
  // false means the transfer failed (time-out, connection lost, body shorter than
  // announced).
  bool ReadFile(char *buf, std::size_t size, std::size_t &read);

  // Why the last step failed, for trace lines.
  const std::string &ErrorText() const { return error_; }

  struct Impl;

 private:
  friend std::unique_ptr<Request> OpenUrl(Session &, const std::string &, const std::string &,
                                          unsigned, std::string *);
  explicit Request(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
  std::string error_;
};

// Sends the request and waits for the final response headers (redirects are followed).
// headers: extra header lines, each ending in CR LF. Null when the address cannot be
// opened (bad address, no connection, time-out, offline switch on); error receives why.
std::unique_ptr<Request> OpenUrl(Session &session, const std::string &url_utf8,
                                 const std::string &headers, unsigned flags,
                                 std::string *error = nullptr);

// RFC 1123 date ("Wed, 09 Dec 2026 01:02:03 GMT") of a UTC time, and back (the usual
// HTTP date forms are accepted). ParseHttpDate is false for an empty or unknown text.
std::string FormatHttpDate(std::time_t utc);
bool ParseHttpDate(std::string_view text, std::time_t &utc);

// Percent-encodes the bytes of an address that cannot stand in one (non-ASCII, blanks,
// control characters); "%" and the reserved characters are left alone.
std::string EscapeUrl(std::string_view url_utf8);

}  // namespace inet
