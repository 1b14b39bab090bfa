// Locale mapping and character types for code page 932 text, as the Japanese system
// locale maps them: each character is taken to Unicode, mapped, and taken back; a
// character whose mapped form code page 932 cannot hold stays as it was.
//
//   full width   ASCII and half-width katakana to their full-width forms; a half-width
//                kana followed by "ﾞ" or "ﾟ" becomes the one voiced or semi-voiced kana
//                (ｶﾞ -> ガ, ﾊﾟ -> パ) where that kana exists
//   half width   the reverse: full-width ASCII forms, the ideographic space, katakana
//                (ガ -> ｶﾞ), ー 「 」 、 。 ・ ゛ ゜ and ￥ to their half-width forms
//   hiragana     katakana to hiragana, katakana     hiragana to katakana
//                (only where code page 932 has both forms: ヴ ヵ ヶ stay)
//   lower case   Latin (half and full width), Greek, Cyrillic, Roman numerals
//
// Options combine in one call; they apply in the order full width, kana, lower case,
// half width (so hiragana + half width leaves hiragana whole and turns the ASCII forms
// half width, and katakana + half width turns hiragana into half-width katakana).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace localemap {

enum : unsigned {
  LCMAP_LOWERCASE = 0x00000100,
  LCMAP_HIRAGANA = 0x00100000,
  LCMAP_KATAKANA = 0x00200000,
  LCMAP_HALFWIDTH = 0x00400000,
  LCMAP_FULLWIDTH = 0x00800000,
};

// Maps CP932 text. Contradictory options (full and half width, hiragana and katakana)
// or unknown bits fail and give the empty text; no option at all gives the text as is.
std::string MapString(std::string_view sjis, unsigned flags);

// A mapping of CP932 text in which each character maps on its own, worked out once from a
// reference mapping of single characters and then applied by look-up. With join_marks, a
// half-width kana and a following "ﾞ" or "ﾟ" that combine into one kana map as that kana.
// A text with a lead byte that has no trail byte goes to the reference mapping whole.
class TCharMap {
 public:
  TCharMap(std::function<std::string(std::string_view)> map, bool join_marks);
  std::string Map(std::string_view sjis) const;
  // The same mapping with the result in UTF-8.
  std::string MapToUtf8(std::string_view sjis) const;

 private:
  struct Entry {
    bool changed = false;
    std::uint8_t len = 0, ulen = 0;
    char bytes[4] = {};
    char utf8[8] = {};  // the mapped character (or the character itself) in UTF-8
  };
  // Hands each character's entry and its bytes to emit; false at a lead byte without its
  // trail byte.
  template <typename Emit>
  bool Walk(std::string_view sjis, Emit emit) const;
  std::function<std::string(std::string_view)> map_;
  bool join_marks_;
  std::vector<Entry> single_, pair_;
};

// The full-width kana of a half-width katakana code point (U+FF61-U+FF9F); with mark
// U+FF9E (ﾞ) or U+FF9F (ﾟ), its voiced or semi-voiced form, or 0 when that form does not
// exist in code page 932. 0 for a code point outside the block.
char32_t FullWidthKana(char32_t half, char32_t mark = 0);

// Character-type set 3.
enum : std::uint16_t {
  C3_NONSPACING = 0x0001,
  C3_DIACRITIC = 0x0002,
  C3_VOWELMARK = 0x0004,
  C3_SYMBOL = 0x0008,
  C3_KATAKANA = 0x0010,
  C3_HIRAGANA = 0x0020,
  C3_HALFWIDTH = 0x0040,
  C3_FULLWIDTH = 0x0080,
  C3_IDEOGRAPH = 0x0100,
  C3_KASHIDA = 0x0200,
  C3_LEXICAL = 0x0400,
  C3_ALPHA = 0x8000,
};

// The set-3 flags of one code point.
std::uint16_t CharType3(char32_t cp);

// The set-3 flags of each character of CP932 text, one entry per character (a
// double-byte character gives one entry).
std::vector<std::uint16_t> StringTypes3(std::string_view sjis);

}  // namespace localemap
