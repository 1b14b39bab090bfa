// Code page 932 (Windows Shift-JIS) text: the byte rules every text routine walks by,
// and conversion to and from UTF-8 and UTF-16 for the edges (SQLite, Qt, file names).
//
// Program text is std::string holding CP932 bytes. A lead byte (0x81-0x9F, 0xE0-0xFC)
// and the byte after it form one character; the trail byte may equal an ASCII code
// ("[", "\", "_", "A" ...), so text is always walked forward from its start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cp932 {

inline bool IsLeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}
inline bool IsLeadByte(char c) { return IsLeadByte(static_cast<unsigned char>(c)); }

// Half-width katakana and their marks: the single bytes 0xA1-0xDF.
inline bool IsHankakuKana(unsigned char c) { return c >= 0xA1 && c <= 0xDF; }

// Length of the character starting at byte i: 2 for a lead byte with a byte after it
// (whatever that byte is), otherwise 1. A lead byte at the very end counts as one byte.
inline std::size_t CharLen(std::string_view s, std::size_t i) {
  return (i + 1 < s.size() && IsLeadByte(static_cast<unsigned char>(s[i]))) ? 2 : 1;
}

// Offset of the character after the one at i (never past s.size()).
inline std::size_t NextChar(std::string_view s, std::size_t i) {
  if (i >= s.size()) return s.size();
  return i + CharLen(s, i);
}

// True when offset i starts a character (or is the end), walking from the start of s.
bool IsCharBoundary(std::string_view s, std::size_t i);

// The character boundaries of one long text, remembered at every Stride-th byte by one
// walk from its start, so that IsCharBoundary far into the text walks from the nearest
// checkpoint instead of from the start, with the same answer. Valid for the text it was
// made from only: whoever changes the text makes a new one.
class BoundaryIndex {
 public:
  static constexpr std::size_t Stride = 64;
  BoundaryIndex() = default;
  explicit BoundaryIndex(std::string_view s);
  // IsCharBoundary(s, i), for the s the index was made from.
  bool IsCharBoundary(std::string_view s, std::size_t i) const;

 private:
  // Bit k: offset k * Stride starts a character (else it is a trail byte, and the next
  // offset starts one).
  std::vector<std::uint64_t> starts_;
};

// Start of the character that holds byte i (i itself, or i-1 when i is a trail byte).
std::size_t CharStart(std::string_view s, std::size_t i);

// Start of the character before offset i (0 when i is 0), walking from the start.
std::size_t PrevChar(std::string_view s, std::size_t i);

// Number of characters in s.
std::size_t CharCount(std::string_view s);

// Longest prefix of s of at most max_bytes bytes that does not cut a character.
std::size_t ClampToChar(std::string_view s, std::size_t max_bytes);

// Conversions. Invalid input never fails: a byte sequence that is no CP932 character,
// a malformed UTF-8 or UTF-16 sequence, or a character CP932 cannot hold becomes "?".
std::string ToUtf8(std::string_view sjis);
std::string FromUtf8(std::string_view utf8);
// FromUtf8 into a buffer of at least utf8.size() bytes (CP932 never takes more bytes than
// UTF-8); returns the bytes written.
std::size_t FromUtf8To(std::string_view utf8, char *out);
std::u16string ToUtf16(std::string_view sjis);
std::string FromUtf16(std::u16string_view utf16);

// UTF-8 and UTF-16 between each other (for SQLite's UTF-16 entry points).
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// One character: Unicode code point of the CP932 character at s[i] (0x3F "?" for an
// invalid one) and the CP932 code of a code point (0 when CP932 has none; a single
// byte code is below 0x100, a double-byte code is lead<<8 | trail).
char32_t DecodeChar(std::string_view s, std::size_t i, std::size_t *len = nullptr);
unsigned EncodeChar(char32_t cp);

// Appends the CP932 bytes of code point cp ("?" when CP932 has none).
void AppendChar(std::string &out, char32_t cp);

// Appends code point cp as UTF-8.
void AppendUtf8(std::string &out, char32_t cp);

// The CP932 text of a UTF-8 literal of the source: "水稲"_sj.
namespace literals {
inline std::string operator""_sj(const char *s, std::size_t n) {
  return FromUtf8(std::string_view(s, n));
}
}  // namespace literals

}  // namespace cp932
