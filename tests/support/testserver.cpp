#include "support/testserver.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>

extern char **environ;

namespace fs = std::filesystem;

namespace qmtest {

TestServer::TestServer() {
  root_ = dir_.path() / "www";
  log_ = dir_.path() / "requests.log";
  faults_ = dir_.path() / "faults";
  fs::create_directories(root_);
  WriteFile(faults_, "");
  WriteFile(log_, "");

  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe");
  std::string script = (SourceDir() / "scripts" / "testserver.py").string();
  std::string root = root_.string(), log = log_.string(), faults = faults_.string();
  const char *argv[] = {"python3", script.c_str(), "--root", root.c_str(), "--port", "0",
                        "--log", log.c_str(), "--faults", faults.c_str(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, "python3", &actions, nullptr, const_cast<char **>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    throw std::runtime_error("cannot start the test server");
  }
  pid_ = pid;
  std::string line;
  char c;
  while (read(fds[0], &c, 1) == 1 && c != '\n') line += c;
  close(fds[0]);
  port_ = std::atoi(line.c_str());
  if (port_ <= 0) throw std::runtime_error("the test server gave no port");
}

TestServer::~TestServer() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
}

std::string TestServer::Url(const std::string &path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void TestServer::Put(const std::string &path, const std::string &bytes, long long mtime) {
  fs::path p = root_ / fs::path(path).relative_path();
  WriteFile(p, bytes);
  if (mtime) SetMTime(p, mtime);
}

void TestServer::SetFaults(const std::string &lines) { WriteFile(faults_, lines); }

std::vector<std::string> TestServer::Requests() const {
  std::vector<std::string> lines;
  std::ifstream f(log_);
  std::string l;
  while (std::getline(f, l))
    if (!l.empty()) lines.push_back(l);
  return lines;
}

void TestServer::ClearRequests() { WriteFile(log_, ""); }

void SetMTime(const fs::path &p, long long mtime) {
  struct timespec times[2];
  times[0].tv_sec = mtime;
  times[0].tv_nsec = 0;
  times[1].tv_sec = mtime;
  times[1].tv_nsec = 0;
  if (utimensat(AT_FDCWD, p.c_str(), times, 0) != 0)
    throw std::runtime_error("cannot set the time of " + p.string());
}

long long MTime(const fs::path &p) {
  struct stat st {};
  if (stat(p.c_str(), &st) != 0) return 0;
  return st.st_mtim.tv_sec;
}

}  // namespace qmtest
