#include "support/testutil.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace fs = std::filesystem;

namespace qmtest {

TempDir::TempDir() {
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path p = fs::temp_directory_path() / ("qmtest-" + std::to_string(rd()));
    std::error_code ec;
    if (fs::create_directory(p, ec)) {
      path_ = p;
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

fs::path SourceDir() {
  if (const char *e = std::getenv("QM_SOURCE_DIR")) return e;
  return QM_SOURCE_DIR;
}

fs::path SharedDir() {
  if (const char *e = std::getenv("QM_SHARED_DIR")) return e;
  return QM_SHARED_DIR;
}

fs::path PublishedWorkbook() {
  fs::path p = SharedDir() / "data" / "published" / "登録基本部.xls";
  return fs::exists(p) ? p : fs::path();
}

void WriteFile(const fs::path &p, const std::string &bytes) {
  if (p.has_parent_path()) fs::create_directories(p.parent_path());
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!f) throw std::runtime_error("cannot write " + p.string());
}

std::string ReadFile(const fs::path &p) {
  std::ifstream f(p, std::ios::binary);
  if (!f) throw std::runtime_error("cannot read " + p.string());
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

}  // namespace qmtest
