#include "support/workbook.h"

#include <cstdlib>
#include <cstring>

#include "platform/cp932.h"

namespace qmtest {

namespace {

std::string W(unsigned v) { return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }
std::string Rec(unsigned id, const std::string &body) { return W(id) + W(static_cast<unsigned>(body.size())) + body; }
std::string Bof(unsigned type) { return Rec(0x0809, W(0x0600) + W(type) + std::string(12, '\0')); }
std::string Utf16(const std::string &utf8) {
  std::string out;
  for (char16_t u : cp932::Utf8ToUtf16(utf8)) out += W(u);
  return out;
}

}  // namespace

std::string Workbook(const std::vector<Sheet> &sheets) {
  std::string s = Bof(5);
  for (const auto &sheet : sheets) {
    const std::size_t n = cp932::Utf8ToUtf16(sheet.first).size();
    s += Rec(0x0085, std::string(4, '\0') + std::string(2, '\0') + static_cast<char>(n) + '\1' + Utf16(sheet.first));
  }
  s += Rec(0x000A, "");
  for (const auto &sheet : sheets) {
    s += Bof(16);
    for (std::size_t r = 0; r < sheet.second.size(); ++r)
      for (std::size_t c = 0; c < sheet.second[r].size(); ++c) {
        const std::string &v = sheet.second[r][c];
        if (v.empty()) continue;
        const std::string head = W(static_cast<unsigned>(r)) + W(static_cast<unsigned>(c)) + W(0);
        char *end = nullptr;
        double d = std::strtod(v.c_str(), &end);
        if (end && *end == '\0') {
          std::string bytes(8, '\0');
          std::memcpy(bytes.data(), &d, 8);
          s += Rec(0x0203, head + bytes);
        } else {
          s += Rec(0x0204, head + W(static_cast<unsigned>(cp932::Utf8ToUtf16(v).size())) + '\1' + Utf16(v));
        }
      }
    s += Rec(0x000A, "");
  }
  return s;
}

}  // namespace qmtest
