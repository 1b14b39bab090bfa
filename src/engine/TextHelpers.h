// Small routines over program text (code page 932): width and kana conversion, kana
// tests, full-width-to-ASCII normalisation of imported data, tag stripping, substring
// search and counting that never match on the second byte of a double-byte character,
// hexadecimal colour values, the temporary folder and a text naming the running system.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Leading hexadecimal digits as a 32-bit value (wrapping); 0 when there are none.
std::int32_t HexToInt(std::string_view text);

// Name and version of the running system, e.g. "Debian GNU/Linux 12 (bookworm) Major 6
// Minor 1 :76" (kernel major and minor version, then its patch level).
std::string GetWindowsVersionText();

// The temporary folder, ending in "/".
std::string GetTempDir();

// The text trimmed, without every <...> run.
std::string StripTags(std::string_view text);

// Locale mappings, each with its one option.
std::string ToZenkaku(std::string_view text);
std::string ToHankaku(std::string_view text);
std::string ToHiragana(std::string_view text);
std::string ToKatakana(std::string_view text);

// The first character (two bytes read as one big-endian code) is a hiragana 0x82A0-0x833E,
// or a katakana 0x8340-0x839D.
bool IsHiragana(std::string_view text);
bool IsKatakana(std::string_view text);

// 1-based position of the first occurrence of sub in text at or after start; 0 when there
// is none, when start is 0 or lies beyond the text. A match starts on a character.
int PosEx(std::string_view sub, std::string_view text, int start = 1);

// Non-overlapping occurrences of sub in text, left to right; 0 for an empty sub.
int CountStr(std::string_view sub, std::string_view text);

// Byte offset of the first occurrence of sub in text at or after byte offset from that
// starts on a character (std::string_view::npos when none; an empty sub never matches).
std::size_t FindSjis(std::string_view text, std::string_view sub, std::size_t from = 0);

// Full-width ASCII signs, digits and letters to ASCII, half-width katakana to full width.
std::string ToHankakuAscii(std::string_view text);

// Only half-width katakana to full width (a following ﾞ or ﾟ joins the kana before it, or
// is dropped when that kana cannot carry it); every other character unchanged.
std::string HankakuKanaToZenkaku(std::string_view text);
