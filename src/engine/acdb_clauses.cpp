#include "engine/acdb_clauses.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <system_error>

#include "engine/Exception.h"
#include "engine/SQLite.h"
#include "engine/SakuUtil.h"
#include "engine/TextHelpers.h"
#include "platform/cp932.h"
#include "platform/fspath.h"

using namespace cp932::literals;

namespace {

// Each word as head + the literal of (open + word + close), joined by sep.
std::string JoinQuoted(const std::vector<std::string> &words, const std::string &head,
                       const std::string &open, const std::string &close, const std::string &sep) {
  std::string out;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (i > 0) out += sep;
    out += head + SqlQuoted(open + words[i] + close);
  }
  return out;
}

}  // namespace

std::vector<std::string> SplitWordList(const std::string &words) {
  std::string s = ReplaceAllText(words, " ", ",");
  s = ReplaceAllText(s, "　"_sj, ",");
  return SplitDelimitedText(s);
}

std::string AndIfBoth(const std::string &a, const std::string &b) {
  return !a.empty() && !b.empty() ? " AND " : "";
}

std::string WhereIfNotEmpty(const std::string &a) { return a.empty() ? "" : " WHERE "; }

std::string LikeOrCond(const std::string &words, const std::string &field) {
  return JoinQuoted(SplitWordList(words), field + " LIKE ", "", "", " or ");
}

std::string SakumotsuBetsumeiMatchOr(const std::string &words, const std::string &field) {
  return JoinQuoted(SplitWordList(words), "concat('、',"_sj + field + ",betsumei) MATCH ", "%", "%",
                    " or ");
}

std::string SakumotsuMatchOr(const std::string &words) {
  return JoinQuoted(SplitWordList(words), "sakumotsu MATCH ", "", "", " or ");
}

std::string QuotedCommaList(const std::string &words) {
  return JoinQuoted(SplitWordList(words), "", "", "", ",");
}

std::string RegexpAlternation(const std::string &words) {
  const std::vector<std::string> list = SplitWordList(words);
  std::string alternation;
  for (std::size_t i = 0; i < list.size(); ++i) alternation += (i > 0 ? "|" : "") + list[i];
  return SqlQuoted("(" + alternation + ")");
}

std::string InListCond(const std::string &commaText, const std::string &field) {
  if (commaText.empty() || commaText == "全て"_sj) return "";
  return " " + field + " IN (" + JoinQuoted(SplitDelimitedText(commaText), "", "", "", ",") + ")";
}

std::string CropRegexpCond(const std::string &crops) {
  return " concat('、', sakumotsu, betsumei) REGEXP "_sj + CropRegexLiteral(crops, '%', true) +
         " AND concat('、', sakumotsu, betsumei) NOT REGEXP "_sj +
         CropRegexLiteral(crops, '!', true);
}

std::string SakumotsuRegexpCond(const std::string &crops) {
  return " sakumotsu REGEXP " + CropRegexLiteral(crops, '%', false) +
         " AND sakumotsu NOT REGEXP " + CropRegexLiteral(crops, '!', true);
}

std::string CropRubyRegexpCond(const std::string &crops) {
  return " concat('、', sakumotsu, betsumei, ruby) REGEXP "_sj +
         CropRegexLiteral(crops, '%', true) +
         " AND concat('、', sakumotsu, betsumei) NOT REGEXP "_sj +
         CropRegexLiteral(crops, '!', true);
}

std::string ComboItemCode(const std::string &item) {
  if (item.size() <= 5) return "";
  std::string code = item.substr(0, 5);
  std::size_t first = code.find_first_not_of(' ');
  return first == std::string::npos ? "" : code.substr(first);
}

std::string ComboItemText(const std::string &item) {
  if (item.size() <= 5) return "";
  return item.size() > 6 ? item.substr(6) : "";
}

std::string ToZenkakuKana(const std::string &text) {
  return text.empty() ? "" : HankakuKanaToZenkaku(text);
}

namespace {

using namespace std::chrono;

constexpr long long kFirstDay = -693593;  // 0001-01-01
constexpr long long kLastDay = 2958465;   // 9999-12-31

std::string DotDate(const year_month_day &ymd) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d.%02u.%02u", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
  return buf;
}

[[noreturn]] void NotADate(const std::string &text) {
  throw Exception("'" + text + "' is not a valid date");
}

bool AllDigits(const std::string &s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

std::string SerialToDateText(const std::string &dayNumber) {
  std::size_t i = dayNumber.find_first_not_of(' ');
  std::string digits = i == std::string::npos ? "" : dayNumber.substr(i);
  bool negative = false;
  if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) {
    negative = digits[0] == '-';
    digits.erase(0, 1);
  }
  if (!AllDigits(digits) || digits.size() > 9)
    throw Exception("'" + dayNumber + "' is not a valid integer value");
  long long n = std::stoll(digits) * (negative ? -1 : 1);
  if (n < kFirstDay || n > kLastDay) NotADate(dayNumber);
  return DotDate(year_month_day{sys_days{1899y / December / 30} + days{n}});
}

std::string DateTextNormalize(const std::string &dateText) {
  std::size_t b = dateText.find_first_not_of(' ');
  std::size_t e = dateText.find_last_not_of(' ');
  if (b == std::string::npos) NotADate(dateText);
  std::string s = dateText.substr(b, e - b + 1);
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t slash = s.find('/', start);
    parts.push_back(s.substr(start, slash - start));
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  if (parts.size() < 2 || parts.size() > 3) NotADate(dateText);
  for (const std::string &p : parts)
    if (!AllDigits(p) || p.size() > 4) NotADate(dateText);
  const int today = static_cast<int>(year_month_day{floor<days>(system_clock::now())}.year());
  int y = today;
  std::size_t k = 0;
  if (parts.size() == 3) {
    y = std::stoi(parts[0]);
    if (parts[0].size() <= 2) {  // within fifty years of today
      int threshold = today - 50;
      y += threshold / 100 * 100;
      if (y < threshold) y += 100;
    }
    k = 1;
  }
  year_month_day ymd{year{y}, month{static_cast<unsigned>(std::stoi(parts[k]))},
                     day{static_cast<unsigned>(std::stoi(parts[k + 1]))}};
  if (y < 1 || y > 9999 || !ymd.ok()) NotADate(dateText);
  return DotDate(ymd);
}

int CountTextLines(const std::string &path) {
  std::error_code ec;
  std::filesystem::path p = FsPath(path);
  if (!std::filesystem::exists(p, ec)) return -1;
  std::ifstream in(p, std::ios::binary);
  if (!in) throw Exception("Cannot open file \"" + path + "\"");
  int lines = 0;
  bool open_line = false;  // characters seen since the last line end
  char prev = 0;
  char buf[65536];
  while (in.read(buf, sizeof buf) || in.gcount() > 0) {
    for (std::streamsize i = 0; i < in.gcount(); ++i) {
      char c = buf[i];
      if (c == '\n') {
        if (prev != '\r') ++lines;
        open_line = false;
      } else if (c == '\r') {
        ++lines;
        open_line = false;
      } else {
        open_line = true;
      }
      prev = c;
    }
    if (in.eof()) break;
  }
  if (in.bad()) throw Exception("Read error in file \"" + path + "\"");
  return lines + (open_line ? 1 : 0);
}
