// Small helpers the tests of every area share.
#pragma once

#include <filesystem>
#include <string>

namespace qmtest {

// A fresh folder under the system's temporary folder, removed with everything in it
// when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  const std::filesystem::path &path() const { return path_; }
  // The folder as text ending in "/".
  std::string str() const { return path_.string() + "/"; }
  std::filesystem::path operator/(const std::string &name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// The project's source folder, and the shared data folder beside the project.
std::filesystem::path SourceDir();
std::filesystem::path SharedDir();

// The publisher's real workbook when ../shared is there; empty otherwise.
std::filesystem::path PublishedWorkbook();

// Writes bytes to a file, creating its folder.
void WriteFile(const std::filesystem::path &p, const std::string &bytes);
std::string ReadFile(const std::filesystem::path &p);

}  // namespace qmtest
