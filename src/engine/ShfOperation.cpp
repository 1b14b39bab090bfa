#include "engine/ShfOperation.h"

#include <fnmatch.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "engine/Exception.h"
#include "engine/UiServices.h"
#include "platform/cp932.h"
#include "platform/fspath.h"

namespace fs = std::filesystem;

namespace {

std::string J(const char *utf8) { return cp932::FromUtf8(utf8); }

// Copies one file beside the target first and then puts it in place, with the source's
// modification time.
int CopyOneFile(const fs::path &from, const fs::path &to) {
  std::error_code ec;
  if (fs::exists(to, ec) && fs::equivalent(from, to, ec)) return SHF_ERROR_SAME_FILE;
  fs::path temp = TempBeside(to);
  if (!fs::copy_file(from, temp, fs::copy_options::overwrite_existing, ec)) {
    fs::remove(temp, ec);
    return fs::exists(from) ? SHF_ERROR_ACCESS_DENIED : SHF_ERROR_FILE_NOT_FOUND;
  }
  fs::last_write_time(temp, fs::last_write_time(from, ec), ec);
  if (ec) {
    fs::remove(temp, ec);
    return SHF_ERROR_ACCESS_DENIED;
  }
  fs::rename(temp, to, ec);
  if (ec) {
    fs::remove(temp, ec);
    return SHF_ERROR_ACCESS_DENIED;
  }
  return 0;
}

int CopyTree(const fs::path &from, const fs::path &to) {
  std::error_code ec;
  fs::create_directories(to, ec);
  if (!fs::is_directory(to)) return SHF_ERROR_ACCESS_DENIED;
  for (const fs::directory_entry &e : fs::directory_iterator(from, ec)) {
    int rc = e.is_directory() ? CopyTree(e.path(), to / e.path().filename())
                              : CopyOneFile(e.path(), to / e.path().filename());
    if (rc) return rc;
  }
  return ec ? SHF_ERROR_ACCESS_DENIED : 0;
}

// "name - コピー.ext", then "name - コピー (2).ext" ..., the first that does not exist.
fs::path FreeName(const fs::path &target) {
  std::string stem = target.stem().string(), ext = target.extension().string();
  std::string copy = cp932::ToUtf8(J(" - コピー"));
  for (int n = 1;; ++n) {
    std::string name = stem + copy + (n > 1 ? " (" + std::to_string(n) + ")" : "") + ext;
    fs::path p = target.parent_path() / name;
    if (!fs::exists(p)) return p;
  }
}

bool HasWildcard(const std::string &s) { return s.find_first_of("*?") != std::string::npos; }

}  // namespace

int TShfOperation::Execute() {
  fAbort = false;
  if (FromFFList.empty()) throw Exception(J("ShfOperation:ﾌｧｲﾙが指定されていません."));
  if (Options.MUILIDESTFILES && ToFiles.empty())
    throw Exception(J("ShfOperation:ﾀｰｹﾞｯﾄが指定されていません."));

  // Sources with wildcards in their file name stand for the matching entries.
  struct Item {
    fs::path from, to;
  };
  std::vector<Item> items;
  for (std::size_t i = 0; i < FromFFList.size(); ++i) {
    fs::path src = FsPath(FromFFList[i]);
    std::string explicit_to;
    if (Options.MUILIDESTFILES) explicit_to = i < ToFiles.size() ? ToFiles[i] : ToFiles.back();
    if (HasWildcard(src.filename().string())) {
      std::error_code ec;
      fs::path dir = src.has_parent_path() ? src.parent_path() : fs::path(".");
      std::string pattern = src.filename().string();
      for (const fs::directory_entry &e : fs::directory_iterator(dir, ec)) {
        if (fnmatch(pattern.c_str(), e.path().filename().c_str(), 0) != 0) continue;
        if (Options.FILESONLY && e.is_directory()) continue;
        items.push_back({e.path(), FsPath(explicit_to)});
      }
    } else {
      items.push_back({src, FsPath(explicit_to)});
    }
  }
  if (items.empty()) return SHF_ERROR_FILE_NOT_FOUND;

  bool several = items.size() > 1;
  fs::path to_folder = FsPath(ToFolder);
  for (Item &it : items) {
    std::error_code ec;
    if (!fs::exists(it.from, ec)) return SHF_ERROR_FILE_NOT_FOUND;
    if (OperationF == foDELETE) {
      fs::remove_all(it.from, ec);
      if (ec) return SHF_ERROR_ACCESS_DENIED;
      continue;
    }
    fs::path target = it.to;
    if (!Options.MUILIDESTFILES) {
      if (OperationF == foRENAME) {
        target = to_folder;
      } else if (ToFolder.empty()) {
        return SHF_ERROR_INVALID_TARGET;
      } else if (fs::is_directory(to_folder) || several) {
        // A folder target takes the source's name; with several sources the folder is made.
        fs::create_directories(to_folder, ec);
        target = to_folder / it.from.filename();
      } else {
        // One source and a target that is no folder: the target names the new file.
        target = to_folder;
      }
    }
    if (target.empty()) return SHF_ERROR_INVALID_TARGET;
    if (target.has_parent_path() && !fs::is_directory(target.parent_path()))
      fs::create_directories(target.parent_path(), ec);

    if (fs::exists(target) && !fs::equivalent(it.from, target, ec)) {
      if (Options.RENAMEONCOLLISION) {
        target = FreeName(target);
      } else if (!Options.NOCONFIRMATION && !fs::is_directory(target)) {
        std::string text = FromFsPath(target) + J(" は既に存在します。\r\n置き換えますか?");
        if (UiServices().MessageBox(text, ProgressTitle, MB_YESNO | MB_ICONQUESTION) != IDYES) {
          fAbort = true;
          continue;
        }
      }
    }

    TBusyCursor busy;
    UiServices().ProcessMessages();
    int rc = 0;
    switch (OperationF) {
      case foCOPY:
        rc = fs::is_directory(it.from) ? CopyTree(it.from, target) : CopyOneFile(it.from, target);
        break;
      case foMOVE:
      case foRENAME:
        fs::rename(it.from, target, ec);
        if (ec) {
          rc = fs::is_directory(it.from) ? CopyTree(it.from, target)
                                         : CopyOneFile(it.from, target);
          if (!rc) fs::remove_all(it.from, ec);
        }
        break;
      default:
        break;
    }
    if (rc) return rc;
  }
  return 0;
}
