// File-system paths from program text: paths are held as CP932 text like every other
// text of the program and become UTF-8 only when the file system is asked.
#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <string_view>

#include "platform/cp932.h"

inline std::filesystem::path FsPath(std::string_view sjis) {
  return std::filesystem::path(cp932::ToUtf8(sjis));
}

inline std::string FromFsPath(const std::filesystem::path &p) {
  return cp932::FromUtf8(p.string());
}

// A fresh name beside target for writing a file that then replaces target in one step
// (a rename), so that target is never left half-written.
inline std::filesystem::path TempBeside(const std::filesystem::path &target) {
  std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
  static thread_local std::random_device rd;
  return folder / ("." + target.filename().string() + "." + std::to_string(rd()) + ".part");
}
