#include "platform/cp932.h"

#include <iconv.h>

#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

namespace cp932 {
namespace {

// Both directions as flat tables, filled once from the C library's "CP932" converter.
// Decoding: one entry per single byte and one per (lead, trail) pair. Encoding: one
// entry per code point of the Basic Multilingual Plane. 0 marks "no character" (the
// NUL byte maps to itself and is handled apart).
struct Tables {
  std::array<char16_t, 256> single{};
  std::vector<char16_t> dbcs = std::vector<char16_t>(0x10000, 0);
  std::vector<std::uint16_t> enc = std::vector<std::uint16_t>(0x10000, 0);

  Tables() {
    iconv_t to_u = iconv_open("UTF-32LE", "CP932");
    iconv_t from_u = iconv_open("CP932", "UTF-32LE");
    if (to_u == reinterpret_cast<iconv_t>(-1) || from_u == reinterpret_cast<iconv_t>(-1))
      throw std::runtime_error("iconv: CP932 is not available");

    auto decode = [&](const unsigned char *in, std::size_t n) -> char32_t {
      char buf_in[2] = {static_cast<char>(in[0]), n > 1 ? static_cast<char>(in[1]) : '\0'};
      char *pin = buf_in;
      std::size_t left_in = n;
      std::uint32_t out = 0;
      char *pout = reinterpret_cast<char *>(&out);
      std::size_t left_out = sizeof out;
      iconv(to_u, nullptr, nullptr, nullptr, nullptr);
      if (iconv(to_u, &pin, &left_in, &pout, &left_out) == static_cast<std::size_t>(-1) ||
          left_in != 0 || left_out != 0)
        return 0;
      return out;
    };

    for (unsigned b = 1; b < 0x80; ++b) single[b] = static_cast<char16_t>(b);
    for (unsigned b = 0xA1; b <= 0xDF; ++b) {
      unsigned char c = static_cast<unsigned char>(b);
      char32_t u = decode(&c, 1);
      single[b] = static_cast<char16_t>(u ? u : 0xFF61 + (b - 0xA1));
    }
    // The bytes Windows maps outside the standard set; kept so that they round-trip.
    single[0x80] = 0x0080;
    single[0xA0] = 0xF8F0;
    single[0xFD] = 0xF8F1;
    single[0xFE] = 0xF8F2;
    single[0xFF] = 0xF8F3;

    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
      if (!IsLeadByte(static_cast<unsigned char>(lead))) continue;
      for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
        if (trail == 0x7F) continue;
        unsigned char pair[2] = {static_cast<unsigned char>(lead), static_cast<unsigned char>(trail)};
        char32_t u = decode(pair, 2);
        if (u && u < 0x10000) dbcs[(lead << 8) | trail] = static_cast<char16_t>(u);
      }
    }

    // Encoding follows the converter's own choice among duplicates (NEC and IBM rows).
    for (std::uint32_t cp = 1; cp < 0x10000; ++cp) {
      if (cp >= 0xD800 && cp <= 0xDFFF) continue;
      char *pin = reinterpret_cast<char *>(&cp);
      std::size_t left_in = sizeof cp;
      unsigned char out[4];
      char *pout = reinterpret_cast<char *>(out);
      std::size_t left_out = sizeof out;
      iconv(from_u, nullptr, nullptr, nullptr, nullptr);
      if (iconv(from_u, &pin, &left_in, &pout, &left_out) == static_cast<std::size_t>(-1)) continue;
      std::size_t n = sizeof out - left_out;
      if (n == 1)
        enc[cp] = out[0];
      else if (n == 2)
        enc[cp] = static_cast<std::uint16_t>((out[0] << 8) | out[1]);
    }
    for (unsigned b = 0x80; b < 0x100; ++b)
      if (single[b] && !enc[single[b]]) enc[single[b]] = static_cast<std::uint16_t>(b);
    iconv_close(to_u);
    iconv_close(from_u);
  }
};

const Tables &T() {
  static const Tables tables;
  return tables;
}

// Reads one UTF-8 code point at s[i]; a malformed sequence yields U+FFFD and one byte.
char32_t ReadUtf8(std::string_view s, std::size_t &i) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  if (c < 0x80) {
    ++i;
    return c;
  }
  int n;
  char32_t cp;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 1;
    cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 2;
    cp = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 3;
    cp = c & 0x07;
  } else {
    ++i;
    return 0xFFFD;
  }
  if (i + static_cast<std::size_t>(n) >= s.size()) {
    ++i;
    return 0xFFFD;
  }
  for (int k = 1; k <= n; ++k) {
    unsigned char t = static_cast<unsigned char>(s[i + k]);
    if ((t & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (t & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are malformed.
  if ((n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) || cp > 0x10FFFF ||
      (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return 0xFFFD;
  }
  i += n + 1;
  return cp;
}

char32_t ReadUtf16(std::u16string_view s, std::size_t &i) {
  char16_t c = s[i++];
  if (c >= 0xD800 && c <= 0xDBFF) {
    if (i < s.size() && s[i] >= 0xDC00 && s[i] <= 0xDFFF) {
      char32_t lo = s[i++];
      return 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (lo - 0xDC00);
    }
    return 0xFFFD;
  }
  if (c >= 0xDC00 && c <= 0xDFFF) return 0xFFFD;
  return c;
}

void AppendUtf16(std::u16string &out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

}  // namespace

bool IsCharBoundary(std::string_view s, std::size_t i) {
  if (i >= s.size()) return i == s.size();
  std::size_t p = 0;
  while (p < i) p += CharLen(s, p);
  return p == i;
}

BoundaryIndex::BoundaryIndex(std::string_view s) {
  const std::size_t checkpoints = s.size() / Stride + 1;
  starts_.assign((checkpoints + 63) / 64, 0);
  std::size_t next = 0;  // the next checkpoint's offset
  for (std::size_t p = 0, k = 0; k < checkpoints; p += CharLen(s, p)) {
    // p passes each checkpoint either on it or one byte beyond it (on its trail byte).
    while (k < checkpoints && next <= p) {
      if (next == p) starts_[k / 64] |= std::uint64_t{1} << (k % 64);
      ++k;
      next += Stride;
    }
    if (p >= s.size()) break;
  }
}

bool BoundaryIndex::IsCharBoundary(std::string_view s, std::size_t i) const {
  if (i >= s.size()) return i == s.size();
  const std::size_t k = i / Stride;
  if (k / 64 >= starts_.size()) return cp932::IsCharBoundary(s, i);
  std::size_t p = k * Stride + ((starts_[k / 64] >> (k % 64)) & 1 ? 0 : 1);
  while (p < i) p += CharLen(s, p);
  return p == i;
}

std::size_t CharStart(std::string_view s, std::size_t i) {
  std::size_t p = 0;
  while (p < s.size()) {
    std::size_t n = CharLen(s, p);
    if (p + n > i) return p;
    p += n;
  }
  return p;
}

std::size_t PrevChar(std::string_view s, std::size_t i) {
  if (i == 0) return 0;
  return CharStart(s, i - 1);
}

std::size_t CharCount(std::string_view s) {
  std::size_t n = 0;
  for (std::size_t p = 0; p < s.size(); p += CharLen(s, p)) ++n;
  return n;
}

std::size_t ClampToChar(std::string_view s, std::size_t max_bytes) {
  if (max_bytes >= s.size()) return s.size();
  std::size_t p = 0;
  while (p < s.size()) {
    std::size_t n = CharLen(s, p);
    if (p + n > max_bytes) break;
    p += n;
  }
  return p;
}

char32_t DecodeChar(std::string_view s, std::size_t i, std::size_t *len) {
  const Tables &t = T();
  unsigned char c = static_cast<unsigned char>(s[i]);
  if (IsLeadByte(c)) {
    if (i + 1 >= s.size()) {
      if (len) *len = 1;
      return U'?';
    }
    unsigned char d = static_cast<unsigned char>(s[i + 1]);
    char16_t u = t.dbcs[(c << 8) | d];
    if (!u) {
      // Not a character: a pair whose second byte lies in the trail range becomes one "?";
      // otherwise the lead byte alone does, and the next byte is read anew.
      bool trail = d >= 0x40 && d <= 0xFC && d != 0x7F;
      if (len) *len = trail ? 2 : 1;
      return U'?';
    }
    if (len) *len = 2;
    return u;
  }
  if (len) *len = 1;
  if (c == 0) return 0;
  char16_t u = t.single[c];
  return u ? char32_t(u) : U'?';
}

unsigned EncodeChar(char32_t cp) {
  if (cp == 0) return 0;
  if (cp >= 0x10000) return 0;
  return T().enc[cp];
}

void AppendChar(std::string &out, char32_t cp) {
  if (cp == 0) {
    out.push_back('\0');
    return;
  }
  unsigned code = EncodeChar(cp);
  if (!code) {
    out.push_back('?');
  } else if (code < 0x100) {
    out.push_back(static_cast<char>(code));
  } else {
    out.push_back(static_cast<char>(code >> 8));
    out.push_back(static_cast<char>(code & 0xFF));
  }
}

void AppendUtf8(std::string &out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::string ToUtf8(std::string_view s) {
  std::string out;
  out.reserve(s.size() + s.size() / 2);
  std::size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {  // the common case, without a table look-up
      out.push_back(static_cast<char>(c));
      ++i;
      continue;
    }
    std::size_t n;
    char32_t u = DecodeChar(s, i, &n);
    AppendUtf8(out, u);
    i += n;
  }
  return out;
}

std::size_t FromUtf8To(std::string_view s, char *out) {
  char *p = out;
  std::size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      *p++ = static_cast<char>(c);
      ++i;
      continue;
    }
    // A code point takes two to four UTF-8 bytes (a malformed byte one) and at most two
    // CP932 bytes ("?" one), so the output never overtakes the input.
    const char32_t cp = ReadUtf8(s, i);
    const unsigned code = EncodeChar(cp);
    if (!code) {
      *p++ = '?';
    } else if (code < 0x100) {
      *p++ = static_cast<char>(code);
    } else {
      *p++ = static_cast<char>(code >> 8);
      *p++ = static_cast<char>(code & 0xFF);
    }
  }
  return static_cast<std::size_t>(p - out);
}

std::string FromUtf8(std::string_view s) {
  std::string out(s.size(), '\0');
  out.resize(FromUtf8To(s, out.data()));
  return out;
}

std::u16string ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    std::size_t n;
    char32_t u = DecodeChar(s, i, &n);
    out.push_back(static_cast<char16_t>(u));
    i += n;
  }
  return out;
}

std::string FromUtf16(std::u16string_view s) {
  std::string out;
  out.reserve(s.size() * 2);
  std::size_t i = 0;
  while (i < s.size()) AppendChar(out, ReadUtf16(s, i));
  return out;
}

std::u16string Utf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    char32_t cp = ReadUtf8(s, i);
    AppendUtf16(out, cp);
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size() * 3);
  std::size_t i = 0;
  while (i < s.size()) AppendUtf8(out, ReadUtf16(s, i));
  return out;
}

}  // namespace cp932
