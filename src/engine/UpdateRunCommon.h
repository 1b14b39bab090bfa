// What the parts of the update run share: the publisher's part names, timing lines and
// small file tests. For the run's own files only.
#pragma once

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "engine/TextHelpers.h"
#include "engine/UpdateRun.h"
#include "platform/cp932.h"
#include "platform/fspath.h"

namespace update_run {

// The publisher's three parts, as archive, workbook and sheet names.
inline const char *const kParts[3] = {"登録基本部", "登録適用部一", "登録適用部二"};

inline std::string Part(int i) { return cp932::FromUtf8(kParts[i]); }

using Clock = std::chrono::steady_clock;
inline double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// A timing line: the format (UTF-8 source text holding one "%5.1f") with the seconds.
inline std::string Timing(const char *format_utf8, double seconds) {
  const std::string format = cp932::FromUtf8(format_utf8);
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, format.c_str(), seconds);
  return buffer;
}

inline bool Exists(const std::string &path) {
  std::error_code ec;
  return std::filesystem::exists(FsPath(path), ec);
}

inline bool Contains(std::string_view text, std::string_view sub) {
  return FindSjis(text, sub) != std::string_view::npos;
}

// The file name with its extension (from the last ".") replaced.
inline std::string ChangeFileExt(const std::string &name, const std::string &ext) {
  const std::size_t dot = name.rfind('.');
  const std::size_t slash = name.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return name + ext;
  return name.substr(0, dot) + ext;
}

// Marks the window's label of a file while the work on the file lasts.
class TMarkFile {
 public:
  TMarkFile(IUpdateView *view, int page, int index) : view_(view), page_(page), index_(index) {
    view_->MarkFile(page_, index_, true);
  }
  ~TMarkFile() { view_->MarkFile(page_, index_, false); }
  TMarkFile(const TMarkFile &) = delete;
  TMarkFile &operator=(const TMarkFile &) = delete;

 private:
  IUpdateView *view_;
  int page_, index_;
};

}  // namespace update_run
