#include "platform/LocaleMap.h"

#include <array>
#include <memory>
#include <mutex>

#include "platform/cp932.h"

namespace localemap {
namespace {

constexpr char32_t kHalfFirst = 0xFF61;  // ｡
constexpr char32_t kHalfLast = 0xFF9F;   // ﾟ
constexpr char32_t kHalfVoiced = 0xFF9E;      // ﾞ
constexpr char32_t kHalfSemiVoiced = 0xFF9F;  // ﾟ

bool InCp932(char32_t cp) { return cp932::EncodeChar(cp) != 0; }

// Reads UTF-8 into code points (the correspondence lists below are written as text).
std::u32string U32(std::string_view utf8) {
  std::string sjis = cp932::FromUtf8(utf8);
  std::u32string out;
  for (std::size_t i = 0; i < sjis.size();) {
    std::size_t n;
    out.push_back(cp932::DecodeChar(sjis, i, &n));
    i += n;
  }
  return out;
}

// The half-width katakana block and its full-width partners, in both directions.
struct KanaTables {
  // Indexed by code point - kHalfFirst: the plain, voiced and semi-voiced full-width forms
  // (0 where the combined form does not exist in code page 932).
  std::array<char32_t, kHalfLast - kHalfFirst + 1> plain{}, voiced{}, semi{};
  // Indexed by code point - 0x3000: the half-width form, one or two code points.
  std::array<std::array<char32_t, 2>, 0x100> half{};

  KanaTables() {
    // ｡｢｣､･ and ｦ ... ﾝ in the order of the half-width block, then ﾞ ﾟ.
    const std::u32string full = U32(
        "。「」、・ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテト"
        "ナニヌネノハヒフヘホマミムメモヤユヨラリルレロワン゛゜");
    const std::u32string voiceable = U32("カキクケコサシスセソタチツテトハヒフヘホ");
    const std::u32string semi_voiceable = U32("ハヒフヘホ");
    for (char32_t h = kHalfFirst; h <= kHalfLast; ++h) {
      const std::size_t i = h - kHalfFirst;
      const char32_t f = full[i];
      plain[i] = f;
      // In Unicode the voiced kana follows its plain kana, the semi-voiced one the voiced.
      char32_t v = 0, s = 0;
      if (voiceable.find(f) != std::u32string::npos) v = f + 1;
      if (f == U'ウ') v = U'ヴ';
      if (semi_voiceable.find(f) != std::u32string::npos) s = f + 2;
      voiced[i] = v && InCp932(v) ? v : 0;
      semi[i] = s && InCp932(s) ? s : 0;
    }
    for (char32_t h = kHalfFirst; h <= kHalfLast; ++h) {
      const std::size_t i = h - kHalfFirst;
      half[plain[i] - 0x3000] = {h, 0};
      if (voiced[i]) half[voiced[i] - 0x3000] = {h, kHalfVoiced};
      if (semi[i]) half[semi[i] - 0x3000] = {h, kHalfSemiVoiced};
    }
  }
};

const KanaTables &Kana() {
  static const KanaTables tables;
  return tables;
}

bool IsHalfKana(char32_t cp) { return cp >= kHalfFirst && cp <= kHalfLast; }

// One character on its way through the mapping: its code point and, while unchanged,
// where its original bytes are (so that an unmapped character keeps its exact code).
struct Ch {
  char32_t cp;
  std::uint32_t off;
  std::uint8_t len;  // 0 once the character was mapped
};

char32_t ToFull(char32_t cp) {
  if (cp == U' ') return 0x3000;
  if (cp > 0x20 && cp < 0x7F) return cp + 0xFEE0;
  if (IsHalfKana(cp)) return Kana().plain[cp - kHalfFirst];
  return cp;
}

char32_t ToHiragana(char32_t cp) {
  if (cp >= 0x30A1 && cp <= 0x30F6) return cp - 0x60;
  if (cp == 0x30FD || cp == 0x30FE) return cp - 0x60;  // ヽヾ -> ゝゞ
  return cp;
}

char32_t ToKatakana(char32_t cp) {
  if (cp >= 0x3041 && cp <= 0x3096) return cp + 0x60;
  if (cp == 0x309D || cp == 0x309E) return cp + 0x60;
  return cp;
}

char32_t ToLower(char32_t cp) {
  if (cp >= U'A' && cp <= U'Z') return cp + 0x20;
  if (cp >= 0xFF21 && cp <= 0xFF3A) return cp + 0x20;                  // Ａ-Ｚ
  if (cp >= 0x0391 && cp <= 0x03A9 && cp != 0x03A2) return cp + 0x20;  // Greek
  if (cp >= 0x0410 && cp <= 0x042F) return cp + 0x20;                  // Cyrillic
  if (cp == 0x0401) return 0x0451;                                     // Ё
  if (cp >= 0x2160 && cp <= 0x216F) return cp + 0x10;                  // Roman numerals
  return cp;
}

// Sets the new code point of c when code page 932 can hold it.
void Map(Ch &c, char32_t to) {
  if (to != c.cp && InCp932(to)) {
    c.cp = to;
    c.len = 0;
  }
}

void FullWidth(std::vector<Ch> &text) {
  std::vector<Ch> out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    Ch c = text[i];
    if (IsHalfKana(c.cp) && c.cp < kHalfVoiced && i + 1 < text.size()) {
      const char32_t mark = text[i + 1].cp;
      const char32_t joined = mark == kHalfVoiced || mark == kHalfSemiVoiced ? FullWidthKana(c.cp, mark) : 0;
      if (joined) {
        out.push_back({joined, 0, 0});
        ++i;
        continue;
      }
    }
    Map(c, ToFull(c.cp));
    out.push_back(c);
  }
  text.swap(out);
}

void HalfWidth(std::vector<Ch> &text) {
  const KanaTables &k = Kana();
  std::vector<Ch> out;
  out.reserve(text.size() + text.size() / 2);
  for (Ch c : text) {
    const char32_t cp = c.cp;
    if (cp >= 0x3000 && cp <= 0x30FF && k.half[cp - 0x3000][0]) {
      out.push_back({k.half[cp - 0x3000][0], 0, 0});
      if (k.half[cp - 0x3000][1]) out.push_back({k.half[cp - 0x3000][1], 0, 0});
      continue;
    }
    if (cp == 0x3000)
      Map(c, U' ');
    else if (cp >= 0xFF01 && cp <= 0xFF5E)
      Map(c, cp - 0xFEE0);
    else if (cp == 0xFFE5)  // ￥: its half-width sign is taken as the backslash byte
      Map(c, U'\\');
    out.push_back(c);
  }
  text.swap(out);
}

}  // namespace

namespace {

// The mapping character by character, through Unicode.
std::string MapSlowly(std::string_view sjis, unsigned flags) {
  std::vector<Ch> text;
  text.reserve(sjis.size());
  for (std::size_t i = 0; i < sjis.size();) {
    std::size_t n;
    char32_t cp = cp932::DecodeChar(sjis, i, &n);
    text.push_back({cp, static_cast<std::uint32_t>(i), static_cast<std::uint8_t>(n)});
    i += n;
  }

  if (flags & LCMAP_FULLWIDTH) FullWidth(text);
  if (flags & (LCMAP_HIRAGANA | LCMAP_KATAKANA)) {
    const bool hira = flags & LCMAP_HIRAGANA;
    for (Ch &c : text) Map(c, hira ? ToHiragana(c.cp) : ToKatakana(c.cp));
  }
  if (flags & LCMAP_LOWERCASE)
    for (Ch &c : text) Map(c, ToLower(c.cp));
  if (flags & LCMAP_HALFWIDTH) HalfWidth(text);

  std::string out;
  out.reserve(sjis.size() + 8);
  for (const Ch &c : text) {
    if (c.len)
      out.append(sjis.substr(c.off, c.len));
    else
      cp932::AppendChar(out, c.cp);
  }
  return out;
}

const TCharMap &TableFor(unsigned flags) {
  // One table for each combination of the five options, made when first asked for.
  static std::array<std::once_flag, 32> once;
  static std::array<std::unique_ptr<TCharMap>, 32> tables;
  const unsigned slot = ((flags >> 8) & 1) | ((flags >> 19) & 0x1E);
  std::call_once(once[slot], [&] {
    tables[slot] = std::make_unique<TCharMap>([flags](std::string_view s) { return MapSlowly(s, flags); },
                                              (flags & LCMAP_FULLWIDTH) != 0);
  });
  return *tables[slot];
}

bool IsTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFC && c != 0x7F; }

}  // namespace

TCharMap::TCharMap(std::function<std::string(std::string_view)> map, bool join_marks)
    : map_(std::move(map)), join_marks_(join_marks), single_(0x100), pair_(0x10000) {
  auto fill = [this](Entry &e, const std::string &ch) {
    std::string m = map_(ch);
    std::string u = cp932::ToUtf8(m.size() <= sizeof e.bytes ? m : ch);
    if (u.size() <= sizeof e.utf8) {
      e.ulen = static_cast<std::uint8_t>(u.size());
      u.copy(e.utf8, u.size());
    }
    if (m == ch || m.size() > sizeof e.bytes) return;
    e.changed = true;
    e.len = static_cast<std::uint8_t>(m.size());
    m.copy(e.bytes, m.size());
  };
  for (unsigned b = 0; b < 0x100; ++b)
    if (!cp932::IsLeadByte(static_cast<unsigned char>(b))) fill(single_[b], std::string(1, static_cast<char>(b)));
  for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
    if (!cp932::IsLeadByte(static_cast<unsigned char>(lead))) continue;
    for (unsigned trail = 0x40; trail <= 0xFC; ++trail)
      if (IsTrailByte(static_cast<unsigned char>(trail)))
        fill(pair_[(lead << 8) | trail], std::string{static_cast<char>(lead), static_cast<char>(trail)});
  }
}

template <typename Emit>
bool TCharMap::Walk(std::string_view sjis, Emit emit) const {
  const std::size_t n = sjis.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned char b = static_cast<unsigned char>(sjis[i]);
    if (cp932::IsLeadByte(b)) {
      if (i + 1 >= n || !IsTrailByte(static_cast<unsigned char>(sjis[i + 1]))) return false;
      emit(pair_[(b << 8) | static_cast<unsigned char>(sjis[i + 1])], sjis.substr(i, 2));
      i += 2;
      continue;
    }
    if (join_marks_ && i + 1 < n && b >= 0xA1 && b < 0xDE) {
      const unsigned char mark = static_cast<unsigned char>(sjis[i + 1]);
      if (mark == 0xDE || mark == 0xDF) {
        // The joined kana goes on like the full-width kana it became.
        if (const char32_t joined = FullWidthKana(0xFF61 + (b - 0xA1), 0xFF61 + (mark - 0xA1))) {
          const unsigned code = cp932::EncodeChar(joined);
          const char pair[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
          emit(pair_[code], std::string_view(pair, 2));
          i += 2;
          continue;
        }
      }
    }
    emit(single_[b], sjis.substr(i, 1));
    ++i;
  }
  return true;
}

std::string TCharMap::Map(std::string_view sjis) const {
  std::string out;
  out.reserve(sjis.size() + sjis.size() / 2 + 4);
  const bool whole = Walk(sjis, [&out](const Entry &e, std::string_view original) {
    if (e.changed)
      out.append(e.bytes, e.len);
    else
      out.append(original);
  });
  // A lead byte without its trail byte is left to the reference mapping.
  return whole ? out : map_(sjis);
}

std::string TCharMap::MapToUtf8(std::string_view sjis) const {
  std::string out;
  out.reserve(sjis.size() * 2 + 4);
  const bool whole = Walk(sjis, [&out](const Entry &e, std::string_view) { out.append(e.utf8, e.ulen); });
  return whole ? out : cp932::ToUtf8(map_(sjis));
}

std::string MapString(std::string_view sjis, unsigned flags) {
  constexpr unsigned kKnown = LCMAP_LOWERCASE | LCMAP_HIRAGANA | LCMAP_KATAKANA | LCMAP_HALFWIDTH | LCMAP_FULLWIDTH;
  if (flags & ~kKnown) return {};
  if ((flags & LCMAP_HALFWIDTH) && (flags & LCMAP_FULLWIDTH)) return {};
  if ((flags & LCMAP_HIRAGANA) && (flags & LCMAP_KATAKANA)) return {};
  if (flags == 0 || sjis.empty()) return std::string(sjis);
  return TableFor(flags).Map(sjis);
}

char32_t FullWidthKana(char32_t half, char32_t mark) {
  if (!IsHalfKana(half)) return 0;
  const KanaTables &k = Kana();
  const std::size_t i = half - kHalfFirst;
  if (mark == kHalfVoiced) return k.voiced[i];
  if (mark == kHalfSemiVoiced) return k.semi[i];
  return k.plain[i];
}

std::uint16_t CharType3(char32_t cp) {
  if (cp < 0x20 || cp == 0x7F) return 0;
  if (cp < 0x7F) {
    if ((cp >= U'A' && cp <= U'Z') || (cp >= U'a' && cp <= U'z')) return C3_ALPHA | C3_HALFWIDTH;
    if (cp >= U'0' && cp <= U'9') return C3_HALFWIDTH;
    return C3_SYMBOL | C3_HALFWIDTH;
  }
  if (cp < 0x100 || (cp >= 0xF8F0 && cp <= 0xF8F3)) return 0;  // the odd single bytes
  if (cp >= 0xFF61 && cp <= 0xFF65) return C3_SYMBOL | C3_HALFWIDTH;
  if (cp == kHalfVoiced || cp == kHalfSemiVoiced) return C3_DIACRITIC | C3_KATAKANA | C3_HALFWIDTH | C3_ALPHA;
  if (cp >= 0xFF66 && cp <= 0xFF9D) return C3_KATAKANA | C3_HALFWIDTH | C3_ALPHA;
  if ((cp >= 0x3041 && cp <= 0x3096) || cp == 0x309D || cp == 0x309E) return C3_HIRAGANA | C3_FULLWIDTH | C3_ALPHA;
  if (cp == 0x309B || cp == 0x309C) return C3_DIACRITIC | C3_SYMBOL | C3_FULLWIDTH;
  if ((cp >= 0x30A1 && cp <= 0x30FA) || (cp >= 0x30FC && cp <= 0x30FE)) return C3_KATAKANA | C3_FULLWIDTH | C3_ALPHA;
  if (cp >= 0x3005 && cp <= 0x3007) return C3_IDEOGRAPH | C3_FULLWIDTH | C3_ALPHA;  // 々〆〇
  if ((cp >= 0xFF21 && cp <= 0xFF3A) || (cp >= 0xFF41 && cp <= 0xFF5A)) return C3_ALPHA | C3_FULLWIDTH;
  if (cp >= 0xFF10 && cp <= 0xFF19) return C3_FULLWIDTH;
  if ((cp >= 0x0391 && cp <= 0x03C9) || (cp >= 0x0401 && cp <= 0x0451)) return C3_ALPHA | C3_FULLWIDTH;
  if ((cp >= 0x3400 && cp <= 0x4DBF) || (cp >= 0x4E00 && cp <= 0x9FFF) || (cp >= 0xF900 && cp <= 0xFAFF) ||
      (cp >= 0xE000 && cp <= 0xF8EF))
    return C3_IDEOGRAPH | C3_FULLWIDTH | C3_ALPHA;
  return C3_SYMBOL | C3_FULLWIDTH;
}

std::vector<std::uint16_t> StringTypes3(std::string_view sjis) {
  std::vector<std::uint16_t> types;
  types.reserve(sjis.size());
  for (std::size_t i = 0; i < sjis.size();) {
    std::size_t n;
    types.push_back(CharType3(cp932::DecodeChar(sjis, i, &n)));
    i += n;
  }
  return types;
}

}  // namespace localemap
