#include "engine/TextHelpers.h"

#include <sys/utsname.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/LocaleMap.h"
#include "platform/cp932.h"

std::int32_t HexToInt(std::string_view text) {
  std::uint32_t v = 0;
  for (char ch : text) {
    unsigned d;
    if (ch >= '0' && ch <= '9')
      d = ch - '0';
    else if (ch >= 'A' && ch <= 'F')
      d = ch - 'A' + 10;
    else if (ch >= 'a' && ch <= 'f')
      d = ch - 'a' + 10;
    else
      break;
    v = (v << 4) | d;
  }
  return static_cast<std::int32_t>(v);
}

namespace {

// The pretty name of the distribution from os-release, or the kernel's name.
std::string SystemName(const char *kernel_name) {
  for (const char *path : {"/etc/os-release", "/usr/lib/os-release"}) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
      if (line.rfind("PRETTY_NAME=", 0) != 0) continue;
      std::string v = line.substr(12);
      if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
      if (!v.empty()) return v;
    }
  }
  return kernel_name;
}

}  // namespace

std::string GetWindowsVersionText() {
  struct utsname u{};
  if (uname(&u) != 0) return cp932::FromUtf8("不明 Version = 0");
  unsigned major = 0, minor = 0, patch = 0;
  std::sscanf(u.release, "%u.%u.%u", &major, &minor, &patch);
  std::string text = SystemName(u.sysname) + " Major " + std::to_string(major) + " Minor " +
                     std::to_string(minor) + " :" + std::to_string(patch);
  return cp932::FromUtf8(text);
}

std::string GetTempDir() {
  std::error_code ec;
  std::string dir = std::filesystem::temp_directory_path(ec).string();
  if (ec || dir.empty()) dir = "/tmp";
  if (dir.back() != '/') dir += '/';
  return cp932::FromUtf8(dir);
}

std::string StripTags(std::string_view text) {
  std::size_t b = 0, e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ') --e;
  text = text.substr(b, e - b);
  std::string out;
  bool in_tag = false;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t n = cp932::CharLen(text, i);
    if (n == 2) {
      if (!in_tag) out.append(text.substr(i, 2));
    } else if (text[i] == '<') {
      in_tag = true;
    } else if (text[i] == '>') {
      in_tag = false;
    } else if (!in_tag) {
      out.push_back(text[i]);
    }
    i += n;
  }
  return out;
}

namespace {

// The mapping core: the result is cut at its first zero byte, as a C buffer would be.
std::string MapText(std::string_view text, unsigned option) {
  if (text.empty()) return {};
  std::string r = localemap::MapString(text, option);
  std::size_t z = r.find('\0');
  if (z != std::string::npos) r.resize(z);
  return r;
}

unsigned FirstCode(std::string_view text) {
  if (text.size() < 2) return 0;
  return (static_cast<unsigned char>(text[0]) << 8) | static_cast<unsigned char>(text[1]);
}

}  // namespace

std::string ToZenkaku(std::string_view text) { return MapText(text, localemap::LCMAP_FULLWIDTH); }
std::string ToHankaku(std::string_view text) { return MapText(text, localemap::LCMAP_HALFWIDTH); }
std::string ToHiragana(std::string_view text) { return MapText(text, localemap::LCMAP_HIRAGANA); }
std::string ToKatakana(std::string_view text) { return MapText(text, localemap::LCMAP_KATAKANA); }

bool IsHiragana(std::string_view text) {
  unsigned c = FirstCode(text);
  return c >= 0x82A0 && c <= 0x833E;
}

bool IsKatakana(std::string_view text) {
  unsigned c = FirstCode(text);
  return c >= 0x8340 && c <= 0x839D;
}

std::size_t FindSjis(std::string_view text, std::string_view sub, std::size_t from) {
  if (sub.empty() || sub.size() > text.size()) return std::string_view::npos;
  const std::size_t last = text.size() - sub.size();
  for (std::size_t i = 0; i <= last; i += cp932::CharLen(text, i)) {
    if (i < from) continue;
    if (text[i] == sub[0] && text.compare(i, sub.size(), sub) == 0) return i;
  }
  return std::string_view::npos;
}

int PosEx(std::string_view sub, std::string_view text, int start) {
  if (start < 1 || static_cast<std::size_t>(start) > text.size()) return 0;
  std::size_t p = FindSjis(text, sub, static_cast<std::size_t>(start - 1));
  return p == std::string_view::npos ? 0 : static_cast<int>(p) + 1;
}

int CountStr(std::string_view sub, std::string_view text) {
  int n = 0;
  std::size_t p = 0;
  while ((p = FindSjis(text, sub, p)) != std::string_view::npos) {
    ++n;
    p += sub.size();
  }
  return n;
}

namespace {

constexpr unsigned char kVoiced = 0xDE, kSemiVoiced = 0xDF;

// Appends the full-width form of the half-width kana at text[i] (0xA1-0xDD), joining a
// following mark; returns the bytes consumed.
std::size_t AppendFullKana(std::string &out, std::string_view text, std::size_t i) {
  const unsigned char b = static_cast<unsigned char>(text[i]);
  const char32_t half = 0xFF61 + (b - 0xA1);
  unsigned char next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
  if (next == kVoiced || next == kSemiVoiced) {
    char32_t joined = localemap::FullWidthKana(half, 0xFF61 + (next - 0xA1));
    cp932::AppendChar(out, joined ? joined : localemap::FullWidthKana(half));
    return 2;
  }
  cp932::AppendChar(out, localemap::FullWidthKana(half));
  return 1;
}

// The double-byte characters that normalise to one ASCII character, by their code.
struct AsciiTable {
  std::array<char, 0x10000> to{};
  AsciiTable() {
    const std::string full = cp932::FromUtf8("　，．：；？！＾／｜‘’′“”″（）［］｛｝＋－＝＜＞〓￥＄％＃＆＊＠");
    const char ascii[] = " ,.:;?!^/|'''\"\"\"()[]{}+-=<>=\\$%#&*@";
    std::size_t k = 0;
    for (std::size_t i = 0; i + 1 < full.size(); i += 2, ++k)
      to[(static_cast<unsigned char>(full[i]) << 8) | static_cast<unsigned char>(full[i + 1])] = ascii[k];
    for (unsigned c = 0; c < 10; ++c) to[0x824F + c] = static_cast<char>('0' + c);
    for (unsigned c = 0; c < 26; ++c) {
      to[0x8260 + c] = static_cast<char>('A' + c);
      to[0x8281 + c] = static_cast<char>('a' + c);
    }
  }
};

std::string Normalise(std::string_view text, bool ascii) {
  static const AsciiTable table;
  std::string out;
  out.reserve(text.size() + text.size() / 2);
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    if (cp932::CharLen(text, i) == 2) {
      char a = ascii ? table.to[(b << 8) | static_cast<unsigned char>(text[i + 1])] : 0;
      if (a)
        out.push_back(a);
      else
        out.append(text.substr(i, 2));
      i += 2;
    } else if (b >= 0xA1 && b <= 0xDD) {
      i += AppendFullKana(out, text, i);
    } else {
      out.push_back(static_cast<char>(b));
      ++i;
    }
  }
  return out;
}

}  // namespace

std::string ToHankakuAscii(std::string_view text) { return Normalise(text, true); }

std::string HankakuKanaToZenkaku(std::string_view text) { return Normalise(text, false); }
