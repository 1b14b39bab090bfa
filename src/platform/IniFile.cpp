#include "platform/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "platform/cp932.h"

namespace {

// Reads the whole file. 0 when it was read or does not exist (out is then empty); else the
// error that kept an existing file (or a folder of that name) from being read. Never throws.
int ReadAll(const std::string &path_utf8, std::string &out) {
  out.clear();
  const int fd = ::open(path_utf8.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? 0 : errno;
  int error = 0;
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) {
      out.append(buf, static_cast<std::size_t>(n));
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      error = errno;
      break;
    }
  }
  ::close(fd);
  if (error) out.clear();
  return error;
}

// Spaces and tabs around names and values are not part of them; other control bytes are.
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Compares two CP932 texts, folding ASCII letters (never a trail byte) to one case.
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size();) {
    std::size_t n = cp932::CharLen(a, i);
    if (n != cp932::CharLen(b, i)) return false;
    if (n == 2) {
      if (a.compare(i, 2, b.substr(i, 2)) != 0) return false;
    } else {
      char x = a[i], y = b[i];
      if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
      if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
      if (x != y) return false;
    }
    i += n;
  }
  return true;
}

// One line of the file: its content [begin, end) and the start of the next line.
struct Line {
  std::size_t begin, end, next;
};

// A byte-order mark that an editor put before the first line belongs to no line; it stays
// where it is when the file is written.
std::vector<Line> SplitLines(const std::string &text) {
  std::vector<Line> lines;
  std::size_t p = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  while (p < text.size()) {
    std::size_t e = text.find_first_of("\r\n", p);
    if (e == std::string::npos) {
      lines.push_back({p, text.size(), text.size()});
      break;
    }
    std::size_t next = e + 1;
    if (text[e] == '\r' && next < text.size() && text[next] == '\n') ++next;
    lines.push_back({p, e, next});
    p = next;
  }
  return lines;
}

// A "[name]" line gives its name; any other line gives nothing.
bool SectionName(std::string_view line, std::string_view &name) {
  line = Trim(line);
  if (line.empty() || line.front() != '[') return false;
  line.remove_prefix(1);
  std::size_t close = line.find(']');
  name = Trim(close == std::string_view::npos ? line : line.substr(0, close));
  return true;
}

// A "key=value" line (not a ";" comment) gives its key and raw value.
bool KeyValue(std::string_view line, std::string_view &key, std::string_view &value) {
  std::string_view t = Trim(line);
  if (t.empty() || t.front() == ';') return false;
  std::size_t eq = t.find('=');
  if (eq == std::string_view::npos) return false;
  key = Trim(t.substr(0, eq));
  value = t.substr(eq + 1);
  return true;
}

// Where a section and a key stand in the file.
struct Place {
  int section = -1;      // index of the "[section]" line
  int key = -1;          // index of the key line
  int last_filled = -1;  // last non-blank line of the section
};

Place Locate(const std::string &text, const std::vector<Line> &lines, std::string_view section,
             std::string_view key) {
  Place place;
  bool inside = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string_view line(text.data() + lines[i].begin, lines[i].end - lines[i].begin);
    std::string_view name;
    if (SectionName(line, name)) {
      if (inside) break;  // the first matching section is the one that counts
      inside = SameName(name, section);
      if (inside) place.section = place.last_filled = static_cast<int>(i);
      continue;
    }
    if (!inside) continue;
    if (!Trim(line).empty()) place.last_filled = static_cast<int>(i);
    std::string_view k, v;
    if (place.key < 0 && KeyValue(line, k, v) && SameName(k, key)) place.key = static_cast<int>(i);
  }
  return place;
}

// Writes the new text beside the file and puts it in the file's place in one step. A link
// is followed, so the file it points to is the one replaced; the file keeps its mode. A new
// file is readable by its owner only: it holds the proxy password.
bool ReplaceFile(const std::string &name_utf8, const std::string &text) {
  std::error_code ec;
  std::filesystem::path target = std::filesystem::canonical(name_utf8, ec);
  const std::string path_utf8 = ec ? name_utf8 : target.string();
  struct stat st{};
  const bool existed = ::stat(path_utf8.c_str(), &st) == 0;
  std::string tmp = path_utf8 + ".~" + std::to_string(getpid());
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  FILE *f = ::fdopen(fd, "wb");
  if (!f) {
    ::close(fd);
    std::remove(tmp.c_str());
    return false;
  }
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  ::fchmod(fd, existed ? st.st_mode & 07777 : 0600);
  ok = (std::fclose(f) == 0) && ok;
  if (ok) ok = std::rename(tmp.c_str(), path_utf8.c_str()) == 0;
  if (!ok) std::remove(tmp.c_str());
  return ok;
}

}  // namespace

int TIniFile::ReadError() const {
  std::string text;
  return ReadAll(cp932::ToUtf8(file_name_), text);
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key, std::string_view def) const {
  std::string text;
  if (ReadAll(cp932::ToUtf8(file_name_), text) != 0) return std::string(def);
  std::vector<Line> lines = SplitLines(text);
  Place place = Locate(text, lines, section, key);
  if (place.key < 0) return std::string(def);
  const Line &l = lines[place.key];
  std::string_view k, v;
  KeyValue(std::string_view(text.data() + l.begin, l.end - l.begin), k, v);
  v = Trim(v);
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    v = v.substr(1, v.size() - 2);
  return std::string(v);
}

int TIniFile::ReadInteger(std::string_view section, std::string_view key, int def) const {
  std::string s = ReadString(section, key, "");
  std::string_view v = s;
  if (!v.empty() && v.front() == '+') v.remove_prefix(1);
  int value = 0;
  auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), value);
  if (v.empty() || ec != std::errc() || end != v.data() + v.size()) return def;
  return value;
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  const std::string path = cp932::ToUtf8(file_name_);
  std::string text;
  // A file that is there but cannot be read would be replaced by this one key alone.
  if (ReadAll(path, text) != 0) return false;
  std::vector<Line> lines = SplitLines(text);
  Place place = Locate(text, lines, section, key);
  std::string out;
  if (place.key >= 0) {
    const Line &l = lines[place.key];
    std::string_view k, v;
    KeyValue(std::string_view(text.data() + l.begin, l.end - l.begin), k, v);
    out.append(text, 0, l.begin);
    out.append(k).append("=").append(value);
    out.append(text, l.end, std::string::npos);
  } else if (place.section >= 0) {
    const Line &l = lines[place.last_filled];
    out.append(text, 0, l.next);
    if (l.next == l.end) out.append("\r\n");  // the last line had no line end
    out.append(key).append("=").append(value).append("\r\n");
    out.append(text, l.next, std::string::npos);
  } else {
    out = text;
    if (!out.empty() && out.back() != '\n' && out.back() != '\r') out.append("\r\n");
    out.append("[").append(section).append("]\r\n");
    out.append(key).append("=").append(value).append("\r\n");
  }
  return ReplaceFile(path, out);
}

bool TIniFile::WriteInteger(std::string_view section, std::string_view key, int value) {
  return WriteString(section, key, std::to_string(value));
}

bool TIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  return WriteString(section, key, value ? "1" : "0");
}
