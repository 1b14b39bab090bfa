#include "engine/ShfOperation.h"

#include <fnmatch.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "engine/Exception.h"
#include "engine/UiServices.h"
#include "platform/cp932.h"
#include "platform/fspath.h"

namespace fs = std::filesystem;

namespace {

std::string J(const char *utf8) { return cp932::FromUtf8(utf8); }

// The progress of one operation in bytes, shown in the progress window when there is one.
class TCopyProgress {
 public:
  TCopyProgress(IProgressWindow *window, std::uint64_t total) : window_(window), total_(total) {}
  // Counts bytes more of item; false once the user has cancelled.
  bool Step(std::uint64_t bytes, const fs::path &item) {
    done_ += bytes;
    return !window_ || window_->Progress(done_, total_, FromFsPath(item.filename()));
  }

 private:
  IProgressWindow *window_;
  std::uint64_t done_ = 0;
  std::uint64_t total_;
};

std::uint64_t SizeOf(const fs::path &p) {
  std::error_code ec;
  if (!fs::is_directory(p, ec)) {
    const std::uintmax_t n = fs::file_size(p, ec);
    return ec ? 0 : n;
  }
  std::uint64_t sum = 0;
  for (const fs::directory_entry &e : fs::recursive_directory_iterator(p, ec))
    if (e.is_regular_file(ec)) sum += e.file_size(ec);
  return sum;
}

// Copies the bytes in blocks, reporting each; SHF_ERROR_CANCELLED when the user cancels.
int CopyBytes(const fs::path &from, const fs::path &to, TCopyProgress &progress) {
  std::ifstream in(from, std::ios::binary);
  if (!in) return fs::exists(from) ? SHF_ERROR_ACCESS_DENIED : SHF_ERROR_FILE_NOT_FOUND;
  std::ofstream out(to, std::ios::binary | std::ios::trunc);
  if (!out) return SHF_ERROR_ACCESS_DENIED;
  std::vector<char> block(1 << 20);
  if (!progress.Step(0, from)) return SHF_ERROR_CANCELLED;
  while (in) {
    in.read(block.data(), static_cast<std::streamsize>(block.size()));
    const std::streamsize n = in.gcount();
    if (n <= 0) break;
    if (!out.write(block.data(), n)) return SHF_ERROR_ACCESS_DENIED;
    if (!progress.Step(static_cast<std::uint64_t>(n), from)) return SHF_ERROR_CANCELLED;
  }
  if (in.bad()) return SHF_ERROR_ACCESS_DENIED;
  out.close();
  return out ? 0 : SHF_ERROR_ACCESS_DENIED;
}

// Copies one file beside the target first and then puts it in place, with the source's
// modification time and permissions; a cancelled or failed copy leaves the target as it was.
int CopyOneFile(const fs::path &from, const fs::path &to, TCopyProgress &progress) {
  std::error_code ec;
  if (fs::exists(to, ec) && fs::equivalent(from, to, ec)) return SHF_ERROR_SAME_FILE;
  fs::path temp = TempBeside(to);
  if (const int rc = CopyBytes(from, temp, progress)) {
    fs::remove(temp, ec);
    return rc;
  }
  fs::permissions(temp, fs::status(from, ec).permissions(), ec);
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

int CopyTree(const fs::path &from, const fs::path &to, TCopyProgress &progress) {
  std::error_code ec;
  fs::create_directories(to, ec);
  if (!fs::is_directory(to)) return SHF_ERROR_ACCESS_DENIED;
  for (const fs::directory_entry &e : fs::directory_iterator(from, ec)) {
    int rc = e.is_directory() ? CopyTree(e.path(), to / e.path().filename(), progress)
                              : CopyOneFile(e.path(), to / e.path().filename(), progress);
    if (rc) return rc;
  }
  return ec ? SHF_ERROR_ACCESS_DENIED : 0;
}

int CopyItem(const fs::path &from, const fs::path &to, TCopyProgress &progress) {
  return fs::is_directory(from) ? CopyTree(from, to, progress) : CopyOneFile(from, to, progress);
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
  // The progress window, unless the operation is to be silent; it closes when this returns.
  std::unique_ptr<IProgressWindow> window;
  std::uint64_t total = 0;
  if (!Options.SILENT) {
    for (const Item &it : items) total += SizeOf(it.from);
    window = UiServices().OpenProgress(ProgressTitle);
  }
  TCopyProgress progress(window.get(), total);
  for (Item &it : items) {
    std::error_code ec;
    if (!fs::exists(it.from, ec)) return SHF_ERROR_FILE_NOT_FOUND;
    if (OperationF == foDELETE) {
      const std::uint64_t size = window ? SizeOf(it.from) : 0;
      fs::remove_all(it.from, ec);
      if (ec) return SHF_ERROR_ACCESS_DENIED;
      if (!progress.Step(size, it.from)) {
        fAbort = true;
        return SHF_ERROR_CANCELLED;
      }
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
        rc = CopyItem(it.from, target, progress);
        break;
      case foMOVE:
      case foRENAME: {
        const std::uint64_t size = window ? SizeOf(it.from) : 0;
        fs::rename(it.from, target, ec);
        if (!ec) {
          if (!progress.Step(size, it.from)) rc = SHF_ERROR_CANCELLED;
        } else {
          rc = CopyItem(it.from, target, progress);
          if (!rc) fs::remove_all(it.from, ec);
        }
        break;
      }
      default:
        break;
    }
    if (rc == SHF_ERROR_CANCELLED) fAbort = true;
    if (rc) return rc;
  }
  return 0;
}
