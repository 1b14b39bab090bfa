// What the grid's files share: their message texts as program text, and the trimming of a
// cell's text for the outputs.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "platform/cp932.h"

namespace xlsgrid {

// A message text, converted to program text once (node-based, so references stay valid).
inline const std::string &Text(const char *utf8) {
  static std::map<const char *, std::string> cache;
  auto it = cache.find(utf8);
  if (it == cache.end()) it = cache.emplace(utf8, cp932::FromUtf8(utf8)).first;
  return it->second;
}

inline constexpr const char *kNoData = "グリッド内に、コピーするデータがありません。";

// Leading and trailing blanks and control characters removed (no trail byte of a
// double-byte character is below 0x40, so the ends are safe to test bytewise).
inline std::string_view Trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

}  // namespace xlsgrid
