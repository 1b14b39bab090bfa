// The local HTTP server of scripts/testserver.py, started on 127.0.0.1 with a free port
// for the lifetime of the object. It serves the files below root(); faults are set by
// writing its faults file, and every request it answered is in its request log.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/testutil.h"

namespace qmtest {

class TestServer {
 public:
  TestServer();
  ~TestServer();
  TestServer(const TestServer &) = delete;
  TestServer &operator=(const TestServer &) = delete;

  int port() const { return port_; }
  // "http://127.0.0.1:<port>" followed by path (which should begin with "/").
  std::string Url(const std::string &path = "") const;
  // The folder served; a file at root()/a/b is served at "/a/b".
  const std::filesystem::path &root() const { return root_; }

  // Writes a file to serve (UTF-8 path below the root), optionally with a given
  // modification time (seconds since 1970, UTC).
  void Put(const std::string &path, const std::string &bytes, long long mtime = 0);
  // Replaces the fault switches (lines "<path or *> <switch> [argument]", see the script).
  void SetFaults(const std::string &lines);
  // Request log lines: method, target, If-Modified-Since, Proxy-Authorization, User-Agent,
  // status, separated by tabs.
  std::vector<std::string> Requests() const;
  void ClearRequests();

 private:
  TempDir dir_;
  std::filesystem::path root_, log_, faults_;
  int pid_ = -1;
  int port_ = 0;
};

// Sets a file's modification time (seconds since 1970, UTC).
void SetMTime(const std::filesystem::path &p, long long mtime);
long long MTime(const std::filesystem::path &p);

}  // namespace qmtest
