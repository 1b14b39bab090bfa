#include "engine/UpdateRun.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/cp932.h"
#include "platform/fspath.h"

using namespace cp932::literals;
namespace fs = std::filesystem;

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
  return false;
}

int RemoveStaleBuildFiles(const std::string &db_folder, ILogTarget *log) {
  std::error_code ec;
  std::vector<fs::path> stale;
  for (fs::directory_iterator it(FsPath(db_folder), ec), end; !ec && it != end; it.increment(ec))
    if (IsStaleBuildName(it->path().filename().string())) stale.push_back(it->path());
  int removed = 0;
  for (const fs::path &p : stale) {
    std::error_code remove_error;
    fs::remove_all(p, remove_error);
    if (remove_error) continue;
    ++removed;
    if (log) log->AddLine("中断された更新の作業ファイルを削除: "_sj + FromFsPath(p.filename()));
  }
  return removed;
}
