#include "platform/archive.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/cp932.h"
#include "platform/fspath.h"

namespace fs = std::filesystem;

namespace sevenzip {
namespace {

// The environment variable QUILLMAR_UNPACK_LIMIT (bytes) lowers the limit, for the tests
// of the program that would otherwise write hundreds of megabytes to reach it; it never
// raises it.
std::uint64_t InitialUnpackLimit() {
  const char *env = std::getenv("QUILLMAR_UNPACK_LIMIT");
  if (!env || !*env) return kMaxUnpackBytes;
  char *end = nullptr;
  const unsigned long long bytes = std::strtoull(env, &end, 10);
  return *end == '\0' && bytes > 0 && bytes < kMaxUnpackBytes ? bytes : kMaxUnpackBytes;
}

std::atomic<std::uint64_t> g_unpack_limit{InitialUnpackLimit()};

struct Command {
  std::string archive, folder;  // UTF-8
};

std::vector<std::string> Tokens(const std::string &cmd) {
  std::vector<std::string> out;
  std::string cur;
  bool quoted = false, any = false;
  for (char c : cmd) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (any) out.push_back(cur);
      cur.clear();
      any = false;
    } else {
      cur += c;
      any = true;
    }
  }
  if (any) out.push_back(cur);
  return out;
}

bool ParseCommand(const std::string &text, Command &cmd, std::string &error) {
  std::vector<std::string> t = Tokens(text);
  if (t.empty() || t[0] != "x") {
    error = "unknown command";
    return false;
  }
  std::vector<std::string> names;
  bool have_folder = false;
  for (std::size_t i = 1; i < t.size(); ++i) {
    const std::string &s = t[i];
    if (s == "-r" || s == "-hide" || s == "-aoa" || s == "-y") continue;
    if (s.compare(0, 2, "-o") == 0) {
      cmd.folder = cp932::ToUtf8(s.substr(2));
      have_folder = true;
    } else if (!s.empty() && s[0] == '-') {
      error = "unknown switch " + s;
      return false;
    } else {
      names.push_back(s);
    }
  }
  if (names.size() != 1) {
    error = "one archive expected";
    return false;
  }
  cmd.archive = cp932::ToUtf8(names[0]);
  if (!have_folder || cmd.folder.empty()) cmd.folder = ".";
  return true;
}

// The entry's path below the target folder, or empty when the name would leave it.
fs::path SafeRelative(std::string name) {
  for (char &c : name)
    if (c == '\\') c = '/';
  if (name.empty() || name[0] == '/') return {};
  if (name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0])))
    return {};
  fs::path rel;
  std::size_t p = 0;
  while (p <= name.size()) {
    std::size_t e = name.find('/', p);
    if (e == std::string::npos) e = name.size();
    std::string part = name.substr(p, e - p);
    p = e + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") return {};
    rel /= part;
  }
  return rel;
}

bool Within(const fs::path &root, const fs::path &p) {
  std::error_code ec;
  fs::path c = fs::weakly_canonical(p, ec);
  if (ec) return false;
  auto r = root.begin(), x = c.begin();
  for (; r != root.end(); ++r, ++x)
    if (x == c.end() || *r != *x) return false;
  return true;
}

class Extractor {
 public:
  std::string out;  // program text
  int rc = ARC_OK;

  void Line(const std::string &utf8) { out += cp932::FromUtf8(utf8) + "\r\n"; }
  void Fail(int code, const std::string &utf8) {
    if (rc == ARC_OK) rc = code;
    Line("ERROR: " + utf8);
  }

  void Run(const Command &cmd) {
    Line(cmd.archive);
    std::error_code ec;
    MakeFolders(cmd.folder);
    if (!fs::is_directory(cmd.folder)) {
      Discard();
      Fail(ARC_ERROR_FOLDER, "cannot make folder " + cmd.folder);
      return;
    }
    root_ = fs::canonical(cmd.folder, ec);
    archive *a = archive_read_new();
    archive_read_support_format_zip(a);
    archive_read_support_format_7zip(a);
    archive_read_support_format_lha(a);
    archive_read_set_options(a, "zip:hdrcharset=CP932,lha:hdrcharset=CP932");
    if (archive_read_open_filename(a, cmd.archive.c_str(), 65536) != ARCHIVE_OK) {
      Fail(ARC_ERROR_OPEN, Err(a));
      archive_read_free(a);
      return;
    }
    archive_entry *entry = nullptr;
    for (;;) {
      int r = archive_read_next_header(a, &entry);
      if (r == ARCHIVE_EOF) break;
      if (r < ARCHIVE_WARN) {
        Fail(ARC_ERROR_DATA, Err(a));
        break;
      }
      if (!Entry(a, entry) && stop_) break;
    }
    archive_read_free(a);
    if (rc == ARC_OK)
      Commit();
    else
      Discard();
    Line(std::to_string(files_) + " file(s), " + std::to_string(bytes_) + " byte(s)");
    Line(rc == ARC_OK ? "OK" : "ERROR");
  }

 private:
  // An entry unpacked beside its target, put in place when the whole archive has been read.
  struct Pending {
    fs::path temp, target, rel;
    bool existed;  // target was there before this extraction
  };

  fs::path root_;
  std::vector<Pending> pending_;
  std::vector<fs::path> made_;  // folders this extraction created, outer ones first
  long long files_ = 0, bytes_ = 0;  // placed
  long long unpacked_ = 0;           // bytes unpacked so far, for the limit
  std::uint64_t limit_ = g_unpack_limit.load();
  bool stop_ = false;  // the rest of the archive is not read

  // The entry would pass the limit: it is refused and the archive stops.
  bool TooLarge(const std::string &name) {
    stop_ = true;
    Fail(ARC_ERROR_SIZE, name + ": 展開すると上限の " + std::to_string(limit_) +
                             " バイトを超えます。公開されるファイルの大きさではないため展開を中止しました。"
                             "取り直してから再実行してください");
    return false;
  }
  // Why a file could not be written, with what the user can do about a full disk.
  static std::string WriteError(const std::string &name, int error) {
    std::string text = "cannot write " + name;
    if (error) text += ": " + std::string(std::strerror(error));
    if (error == ENOSPC || error == EFBIG || error == EDQUOT)
      text += " (ディスクの空きが足りません。空きを作ってから再実行してください)";
    return text;
  }

  static std::string Err(archive *a) {
    const char *e = archive_error_string(a);
    return e ? e : "archive error";
  }

  // Makes dir with the folders above it, noting each one made.
  void MakeFolders(fs::path dir) {
    if (!dir.has_filename()) dir = dir.parent_path();  // "out/" is "out"
    std::vector<fs::path> missing;
    std::error_code ec;
    for (fs::path at = dir; !at.empty() && !fs::exists(fs::symlink_status(at, ec)); at = at.parent_path()) {
      missing.push_back(at);
      if (at == at.parent_path()) break;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
      if (!fs::create_directory(*it, ec)) return;
      made_.push_back(*it);
    }
  }

  // Every entry goes in place only when the whole archive was read and written: an
  // extraction that fails leaves the folder as it found it, the files it would have replaced
  // included, so that no later step takes a part of a refused archive for data.
  void Commit() {
    for (std::size_t i = 0; i < pending_.size(); ++i) {
      const Pending &p = pending_[i];
      std::error_code ec;
      fs::rename(p.temp, p.target, ec);
      if (ec) {
        Fail(ARC_ERROR_ENTRY, WriteError(p.rel.string(), ec.value()));
        // What is already in place goes again where it is new; a file it replaced is gone
        // already, and its successor is whole, so it stays.
        for (std::size_t j = 0; j < i; ++j)
          if (!pending_[j].existed) fs::remove(pending_[j].target, ec);
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(i));
        Discard();
        return;
      }
      ++files_;
      Line("- " + p.rel.string());
    }
    bytes_ = unpacked_;
    pending_.clear();
  }

  // Removes what this extraction wrote: the unpacked entries not yet in place and the
  // folders it made, as far as they are empty. Nothing else is touched.
  void Discard() {
    std::error_code ec;
    for (const Pending &p : pending_) fs::remove(p.temp, ec);
    pending_.clear();
    for (auto it = made_.rbegin(); it != made_.rend(); ++it) fs::remove(*it, ec);
    made_.clear();
    files_ = bytes_ = 0;
  }

  bool Entry(archive *a, archive_entry *entry) {
    const char *n = archive_entry_pathname_utf8(entry);
    if (!n) n = archive_entry_pathname(entry);
    std::string name = n ? n : "";
    fs::path rel = SafeRelative(name);
    if (rel.empty()) {
      if (name.empty() || name == "." || name == "./") return true;
      Fail(ARC_ERROR_ENTRY, "refused (outside the folder): " + name);
      return false;
    }
    fs::path target = root_ / rel;
    mode_t type = archive_entry_filetype(entry);
    if (archive_entry_hardlink(entry) || (type != AE_IFREG && type != AE_IFDIR)) {
      Fail(ARC_ERROR_ENTRY, "refused (link or special file): " + name);
      return false;
    }
    std::error_code ec;
    if (type == AE_IFDIR) {
      MakeFolders(target);
      if (!fs::is_directory(target) || !Within(root_, target)) {
        Fail(ARC_ERROR_ENTRY, "cannot make folder " + name);
        return false;
      }
      return true;
    }
    fs::path folder = target.parent_path();
    MakeFolders(folder);
    if (!fs::is_directory(folder) || !Within(root_, folder) || fs::is_symlink(target) ||
        fs::is_directory(target)) {
      Fail(ARC_ERROR_ENTRY, "cannot write " + name);
      return false;
    }
    // What the headers announce is refused before a byte is written; what they hide is
    // counted as it comes.
    const std::uint64_t room = limit_ - std::min<std::uint64_t>(limit_, static_cast<std::uint64_t>(unpacked_));
    if (archive_entry_size_is_set(entry) && static_cast<std::uint64_t>(archive_entry_size(entry)) > room)
      return TooLarge(name);
    fs::path temp = TempBeside(target);
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0) {
      Fail(ARC_ERROR_ENTRY, WriteError(name, errno));
      return false;
    }
    char buf[65536];
    long long size = 0;
    bool ok = true;
    int write_error = 0;
    for (;;) {
      la_ssize_t got = archive_read_data(a, buf, sizeof buf);
      if (got == 0) break;
      if (got > 0 && static_cast<std::uint64_t>(size + got) > room) {
        ::close(fd);
        fs::remove(temp, ec);
        return TooLarge(name);
      }
      if (got < 0) {
        ::close(fd);
        fs::remove(temp, ec);
        stop_ = true;
        Fail(ARC_ERROR_DATA, name + ": " + Err(a));
        return false;
      }
      for (la_ssize_t done = 0; done < got && ok;) {
        ssize_t w = ::write(fd, buf + done, static_cast<std::size_t>(got - done));
        if (w <= 0) {
          ok = false;
          write_error = w < 0 ? errno : ENOSPC;
        } else {
          done += w;
        }
      }
      if (!ok) break;
      size += got;
    }
    if (::close(fd) != 0 && ok) {
      ok = false;
      write_error = errno;
    }
    if (ok && archive_entry_mtime_is_set(entry)) {
      struct timespec times[2];
      times[0].tv_sec = 0;
      times[0].tv_nsec = UTIME_OMIT;
      times[1].tv_sec = archive_entry_mtime(entry);
      times[1].tv_nsec = archive_entry_mtime_nsec(entry);
      utimensat(AT_FDCWD, temp.c_str(), times, 0);
    }
    if (!ok) {
      std::error_code remove_error;
      fs::remove(temp, remove_error);
      Fail(ARC_ERROR_ENTRY, WriteError(name, write_error));
      return false;
    }
    unpacked_ += size;
    // An entry named twice: the later one is the one kept.
    auto same = std::find_if(pending_.begin(), pending_.end(), [&](const Pending &p) { return p.target == target; });
    if (same != pending_.end()) {
      fs::remove(same->temp, ec);
      same->temp = temp;
    } else {
      pending_.push_back({temp, target, rel, fs::exists(fs::symlink_status(target, ec))});
    }
    return true;
  }
};

// Entry names are converted for a UTF-8 locale, whatever the process's locale is.
class Utf8Locale {
 public:
  Utf8Locale() {
    loc_ = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    if (loc_) old_ = uselocale(loc_);
  }
  ~Utf8Locale() {
    if (loc_) {
      uselocale(old_);
      freelocale(loc_);
    }
  }

 private:
  locale_t loc_ = static_cast<locale_t>(0), old_ = static_cast<locale_t>(0);
};

}  // namespace

int SevenZip(void *, const char *command, char *output, std::size_t size) {
  Extractor x;
  Command cmd;
  std::string error;
  if (!command || !ParseCommand(command, cmd, error)) {
    x.Fail(ARC_ERROR_COMMAND, error.empty() ? "no command" : error);
  } else {
    Utf8Locale utf8;
    x.Run(cmd);
  }
  if (output && size) {
    std::size_t n = std::min(size - 1, x.out.size());
    std::memcpy(output, x.out.data(), n);
    output[n] = '\0';
  }
  return x.rc;
}

std::uint16_t SevenZipGetVersion() {
  int v = archive_version_number();  // major*1000000 + minor*1000 + patch
  int major = v / 1000000, minor = v / 1000 % 1000;
  return static_cast<std::uint16_t>(major * 100 + (minor < 10 ? minor * 10 : minor));
}

std::uint16_t SevenZipGetSubVersion() {
  return static_cast<std::uint16_t>(archive_version_number() % 1000);
}

bool SevenZipSetOwnerWindow(void *) { return true; }

std::uint64_t SetUnpackLimit(std::uint64_t bytes) { return g_unpack_limit.exchange(bytes); }

}  // namespace sevenzip
