#include "engine/SakuUtil.h"

#include <array>
#include <memory>
#include <unordered_map>
#include <utility>

#include "engine/SQLite.h"
#include "engine/TextHelpers.h"
#include "platform/cp932.h"

using namespace cp932::literals;

// ---- lists

namespace {

bool IsBlankOrControl(unsigned char c) { return c >= 1 && c <= ' '; }

void SkipBlanks(std::string_view s, std::size_t &i) {
  while (i < s.size() && IsBlankOrControl(static_cast<unsigned char>(s[i]))) ++i;
}

}  // namespace

std::vector<std::string> SplitDelimitedText(std::string_view s, char delimiter, char quote) {
  std::vector<std::string> items;
  std::size_t i = 0;
  SkipBlanks(s, i);
  while (i < s.size() && s[i] != '\0') {
    std::string item;
    if (s[i] == quote) {
      ++i;
      while (i < s.size()) {
        if (s[i] == quote) {
          if (i + 1 < s.size() && s[i + 1] == quote) {
            item.push_back(quote);
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        std::size_t len = cp932::CharLen(s, i);
        item.append(s.substr(i, len));
        i += len;
      }
    } else {
      std::size_t start = i;
      while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c <= ' ' || s[i] == delimiter) break;
        i += cp932::CharLen(s, i);
      }
      item.assign(s.substr(start, i - start));
    }
    items.push_back(std::move(item));
    SkipBlanks(s, i);
    if (i < s.size() && s[i] == delimiter) {
      if (i + 1 >= s.size()) items.emplace_back();
      ++i;
      SkipBlanks(s, i);
    }
  }
  return items;
}

std::string JoinCommaText(const std::vector<std::string> &items) {
  std::string out;
  for (std::size_t n = 0; n < items.size(); ++n) {
    const std::string &item = items[n];
    bool needs_quotes = false;
    for (std::size_t i = 0; i < item.size(); i = cp932::NextChar(item, i)) {
      unsigned char c = static_cast<unsigned char>(item[i]);
      if (c <= ' ' || c == '"' || c == ',') {
        needs_quotes = true;
        break;
      }
    }
    if (n > 0) out.push_back(',');
    if (needs_quotes) {
      out.push_back('"');
      out += ReplaceAllText(item, "\"", "\"\"");
      out.push_back('"');
    } else {
      out += item;
    }
  }
  return out;
}

std::string ReplaceAllText(std::string_view text, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(text);
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    if (text.compare(i, from.size(), from) == 0) {
      out += to;
      i += from.size();
      continue;
    }
    std::size_t len = cp932::CharLen(text, i);
    out.append(text.substr(i, len));
    i += len;
  }
  return out;
}

// ---- regular expressions on the shared object

namespace {

// The shared object, or one of our own while the program has not created it (tests and
// tools that run the crop routines without a main window).
TPcreRegEx &RegEx() {
  if (SharedRegEx) return *SharedRegEx;
  static TPcreRegEx fallback;
  return fallback;
}

bool HasModifier(std::string_view modifiers, char c) {
  return modifiers.find(c) != std::string_view::npos;
}

}  // namespace

TPcreRegExOptions RegexModifierOptions(std::string_view modifiers) {
  TPcreRegExOptions options;
  if (HasModifier(modifiers, 'i')) options.Include(preCaseLess);
  if (HasModifier(modifiers, 'm')) options.Include(preMultiLine);
  if (HasModifier(modifiers, 's')) options.Include(preSingleLine);
  if (HasModifier(modifiers, 'x')) options.Include(preExtended);
  return options;
}

std::string RegexReplaceText(const std::string &text, const std::string &pattern,
                             const std::string &modifiers, const std::string &replacement) {
  TPcreRegEx &re = RegEx();
  re.SetOptions(RegexModifierOptions(modifiers));
  re.SetRegEx(cp932::ToUtf8(pattern));
  re.Replacement = cp932::ToUtf8(replacement);
  re.SetSubject(cp932::ToUtf8(text));
  if (HasModifier(modifiers, 'g')) {
    re.ReplaceAll();
  } else if (re.Match()) {
    re.Replace();
  }
  return cp932::FromUtf8(re.Subject());
}

bool RegexMatchText(const std::string &text, const std::string &pattern,
                    const std::string &modifiers, std::vector<std::string> *Groups) {
  if (Groups) Groups->clear();
  TPcreRegEx &re = RegEx();
  re.SetOptions(RegexModifierOptions(modifiers));
  re.SetRegEx(cp932::ToUtf8(pattern));
  re.SetSubject(cp932::ToUtf8(text));
  bool matched = re.Match();
  if (matched && Groups) {
    for (int g = 0; g <= re.SubExpressionCount(); ++g)
      Groups->push_back(cp932::FromUtf8(re.SubExpression(g)));
  }
  return matched;
}

// ---- crop lists and patterns

namespace {

// Maps every character of the text through f, which appends the mapped form and returns
// true, or returns false to keep the character.
template <typename F>
std::string MapChars(std::string_view text, F f) {
  std::string out;
  out.reserve(text.size() + 8);
  for (std::size_t i = 0; i < text.size();) {
    std::size_t len = cp932::CharLen(text, i);
    std::string_view ch = text.substr(i, len);
    if (!f(ch, out)) out.append(ch);
    i += len;
  }
  return out;
}

bool IsBracket(std::string_view ch) {
  return ch.size() == 1 && (ch[0] == '(' || ch[0] == ')' || ch[0] == '[' || ch[0] == ']');
}

// Pairs of ASCII bracket and full-width bracket.
const std::array<std::pair<std::string, std::string>, 4> &BracketPairs() {
  static const std::array<std::pair<std::string, std::string>, 4> pairs = {{
      {"(", "（"_sj}, {")", "）"_sj}, {"[", "［"_sj}, {"]", "］"_sj}}};
  return pairs;
}

}  // namespace

std::string FirstListItem(const std::string &list) {
  if (list.empty()) return "";
  std::vector<std::string> items = SplitDelimitedText(list, ',', '\'');
  if (items.empty()) return "";
  std::string first = items.front();
  if (first.find(',') != std::string::npos) {
    std::vector<std::string> again = SplitDelimitedText(first, ',', '\'');
    first = again.empty() ? std::string() : again.front();
  }
  return first;
}

std::string ListToRegexAlternation(const std::string &list) {
  static const std::vector<std::pair<std::string, std::string>> signs = {
      {"（"_sj, "\\("}, {"）"_sj, "\\)"}, {"［"_sj, "\\["}, {"］"_sj, "\\]"},
      {"｛"_sj, "\\{"}, {"｝"_sj, "\\}"}, {"．"_sj, "\\."}, {"＊"_sj, "\\*"},
      {"＋"_sj, "\\+"}, {"－"_sj, "\\-"}, {"｜"_sj, "\\|"}, {"＾"_sj, "\\^"},
      {"＄"_sj, "\\$"}, {"￥"_sj, "\\\\"}, {"？"_sj, "\\?"}, {"！"_sj, "\\!"},
      {"＝"_sj, "\\="}, {"＜"_sj, "\\<"}, {"＞"_sj, "\\>"}};
  std::string s = RegexReplaceText(list, "['\"]", "g", "");
  s = RegexReplaceText(s, "\\s*,\\s*", "g", "|");
  return MapChars(s, [](std::string_view ch, std::string &out) {
    if (ch.size() != 2) return false;
    for (const auto &[sign, escaped] : signs) {
      if (ch == sign) {
        out += escaped;
        return true;
      }
    }
    return false;
  });
}

std::string EscapeBrackets(std::string_view text) {
  return MapChars(text, [](std::string_view ch, std::string &out) {
    if (!IsBracket(ch)) return false;
    out.push_back('\\');
    out.append(ch);
    return true;
  });
}

std::string ToZenkakuBrackets(std::string_view text) {
  return MapChars(text, [](std::string_view ch, std::string &out) {
    for (const auto &[ascii, wide] : BracketPairs()) {
      if (ch == ascii) {
        out += wide;
        return true;
      }
    }
    return false;
  });
}

std::string ToHankakuBrackets(std::string_view text) {
  return MapChars(text, [](std::string_view ch, std::string &out) {
    for (const auto &[ascii, wide] : BracketPairs()) {
      if (ch == wide) {
        out += ascii;
        return true;
      }
    }
    return false;
  });
}

namespace {

std::string CropLiteralCleaned(const std::string &list) {
  std::string s = ReplaceAllText(list, "'", "");
  s = ReplaceAllText(s, "\\(", "(");
  s = ReplaceAllText(s, "\\)", ")");
  s = ReplaceAllText(s, "\\[", "[");
  s = ReplaceAllText(s, "\\]", "]");
  return ToHankakuBrackets(s);
}

// ":", "_" and "~": the crops as an alternation between "、" marks; a cultivation qualifier
// of the first crop becomes an optional qualifier of the others.
std::string CropAlternationLiteral(const std::string &cleaned) {
  std::string list = ToZenkakuBrackets(cleaned);
  const std::string first = FirstListItem(list);
  const std::string open = "（"_sj;
  std::size_t bracket = FindSjis(first, open);
  if (FindSjis(first, "栽培）"_sj) != std::string::npos && bracket != std::string::npos) {
    const std::string qualifier = "(（"_sj + first.substr(bracket + open.size()) + ")?";
    const std::string base = first.substr(0, bracket);
    std::vector<std::string> items = SplitDelimitedText(list);
    for (std::size_t n = 1; n < items.size(); ++n)
      if (items[n] != base) items[n] += qualifier;
    list = JoinCommaText(items);
  }
  return SqlQuoted("、("_sj + ListToRegexAlternation(list) + ")、"_sj);
}

}  // namespace

std::string CropRegexLiteral(const std::string &list, char mode, bool sw) {
  switch (mode) {
    case '#':
      return ToZenkakuBrackets(FirstListItem(CropLiteralCleaned(list)));
    case '=': {
      std::string s = EscapeBrackets(FirstListItem(CropLiteralCleaned(list)));
      if (!s.empty() && s.back() == ')') s += "?";  // a closing qualifier is optional
      return SqlQuoted("^" + s);
    }
    case ':':
    case '_':
    case '~':
      return CropAlternationLiteral(CropLiteralCleaned(list));
    default:
      break;
  }
  std::string s = RegexReplaceText(list, "\\s*,\\s*", "g", "|");
  s = MapChars(s, [](std::string_view ch, std::string &out) {
    if (!IsBracket(ch)) return false;
    out.push_back('\\');
    out.append(ch);
    out.push_back('?');
    return true;
  });
  s = RegexReplaceText(s, "(果樹|野菜|麦|雑穀|花き)類"_sj, "g", "$1(類)?"_sj);
  s = RegexReplaceText(s, "豆類(?!\\\\)"_sj, "g", "豆類(?!\\()"_sj);
  s = ReplaceAllText(s, "・観葉植物"_sj, "(・観葉植物)?"_sj);
  // The guards split the text as a list once more. Once quoted crops are joined by "|", a
  // closing quote followed by "|" would start an item of its own, and the comma of the join
  // would become an empty alternative that matches a crop text naming none of the crops.
  // The quotes go before that split; the alternation drops them in any case.
  if (FindSjis(s, "|") != std::string::npos) s = ReplaceAllText(s, "'", "");
  s = KanaWordGuards(s);
  if (mode == '!') {
    s = ReplaceAllText(s, "\\(?", "(\\(");
    s = ReplaceAllText(s, "\\)?", "\\))?");
    s = "\\((.*、)?("_sj + s + ")(、.*)?を除く"_sj;
    if (FindSjis(s, "露地"_sj) != std::string::npos) {
      s += "|施設|水耕"_sj;
    } else if (sw && (FindSjis(s, "施設"_sj) != std::string::npos ||
                      FindSjis(s, "水耕"_sj) != std::string::npos)) {
      s += "|露地"_sj;
    }
  } else if (mode == '%') {
    s = "(^|、|\\()("_sj + s + ")(\\(.*?(栽培|除く)|\\)|、|等|$)"_sj;
  }
  return SqlQuoted(ListToRegexAlternation(s));
}

std::string KanaWordGuards(const std::string &list) {
  static const std::unordered_map<std::string, std::string> guards = [] {
    const char *table[][2] = {
        {"とまと", "(?<!に)とまと"},
        {"ねき", "(?<!ま|と)ねき"},
        {"さくら", "さくら(?!そ|ん|す)"},
        {"はす", "はす(?!い|か|も)"},
        {"いね", "(?<!か)いね(?!か|科|こ)|すいとう|りくとう"},
        {"ふき", "(?<!い|わ)ふき"},
        {"むき", "(?<!と)むき"},
        {"きく", "(?<!ん|あ|う)きく(?!に|ち|な)"},
        {"きひ", "(?<!う)きひ"},
        {"はら", "(?<!す)はら"},
        {"うめ", "(?<!ゆ|よ)うめ"},
        {"ゆり", "(?<!ち)ゆり(?!の)"},
        {"かき", "(?<!さ)かき(?!る)"},
        {"らん", "(?<!か|く|し|す|と|ま|ふ|ん|お)らん"},
        {"くり", "(?<!す|み|つ|よ)くり(?!さ|ん|ふ)"},
        {"かし", "(?<!め|ら)かし(?!す|つ|ゆ|よ|ら|ろ|わ)"},
        {"なし", "(?<!る|ち|ね)なし"},
        {"きり", "(?<!つ)きり(?!え|は)"},
        {"もも", "(?<!す|ま|い|ら)もも"},
        {"すき", "(?<!あ|お|み|ゆ)すき"},
        {"ゆす", "ゆす(?!き)"},
        {"つけ", "(?<!け|ぬ|め|き)つけ(?!も)"},
        {"うと", "(?<!お|か|ふ|よ)うと(?!う)"},
        {"ふう", "(?<!う|ん)ふう(?!と)"},
        {"かふ", "(?<!り|た|ね|や)かふ(?!た)"},
        {"ふな", "(?<!み)ふな"},
        {"ける", "(?<!つ)ける"},
        {"まき", "まき(?!い|さ|ち|つ|な|ま|ろ|\\(|\\))"},
        {"せり", "(?<!は|う)せり"},
        {"まつ", "(?<!か|そ|と|ら|ろ)まつ(?!し|な|は|も)"},
        {"なす", "(?<!た|な|ま|ひ)なす(?!な)"},
        {"やし", "(?<!ち|ひ|ら)やし"},
        {"しは", "(?<!ろ)しは(?!い)"},
        {"ちや", "(?<!ほ|ん)ちや(?!い|ひ|と)"},
        {"こま", "(?<!え)こま(?!つ)"},
        {"すいとこん", "すいとこん|^とうもろこし(?!\\(子実\\))"},
        {"たけのこ", "たけのこ(?!いも)"},
    };
    std::unordered_map<std::string, std::string> m;
    for (const auto &row : table) m.emplace(cp932::FromUtf8(row[0]), cp932::FromUtf8(row[1]));
    return m;
  }();
  std::vector<std::string> items = SplitDelimitedText(list, ',', '\'');
  for (std::string &item : items) {
    auto it = guards.find(item);
    if (it != guards.end()) item = it->second;
  }
  return JoinCommaText(items);
}

std::string NormalizeCropList(const std::string &text) {
  std::string s = ReplaceAllText(text, " ", ",");
  s = ReplaceAllText(s, "　"_sj, ",");
  std::vector<std::string> keys;
  for (const std::string &item : SplitDelimitedText(s))
    if (!item.empty()) keys.push_back(NormalizeCropName(item));
  return JoinCommaText(keys);
}

namespace {

// Upper case of ASCII and full-width Latin letters.
std::string UpperCaseText(std::string_view text) {
  return MapChars(text, [](std::string_view ch, std::string &out) {
    if (ch.size() == 1 && ch[0] >= 'a' && ch[0] <= 'z') {
      out.push_back(static_cast<char>(ch[0] - 'a' + 'A'));
      return true;
    }
    // ａ..ｚ are 82 81..82 9A, Ａ..Ｚ are 82 60..82 79.
    if (ch.size() == 2 && static_cast<unsigned char>(ch[0]) == 0x82) {
      unsigned char t = static_cast<unsigned char>(ch[1]);
      if (t >= 0x81 && t <= 0x9A) {
        out.push_back(ch[0]);
        out.push_back(static_cast<char>(t - 0x81 + 0x60));
        return true;
      }
    }
    return false;
  });
}

}  // namespace

std::string KanaSearchKey(const std::string &text) {
  static const std::unordered_map<std::string, std::string> fold = [] {
    const char *from[] = {"ー", "ぁ", "ぃ", "ぅ", "ぇ", "ぉ", "っ", "ゃ", "ゅ", "ょ", "ゎ",
                          "が", "ぎ", "ぐ", "げ", "ご", "ざ", "じ", "ず", "ぜ", "ぞ", "だ",
                          "ぢ", "づ", "で", "ど", "ば", "び", "ぶ", "べ", "ぼ", "ぱ", "ぴ",
                          "ぷ", "ぺ", "ぽ", "（", "）", "［", "］"};
    const char *to[] = {"", "あ", "い", "う", "え", "お", "つ", "や", "ゆ", "よ", "わ",
                        "か", "き", "く", "け", "こ", "さ", "し", "す", "せ", "そ", "た",
                        "ち", "つ", "て", "と", "は", "ひ", "ふ", "へ", "ほ", "は", "ひ",
                        "ふ", "へ", "ほ", "(", ")", "[", "]"};
    std::unordered_map<std::string, std::string> m;
    for (std::size_t i = 0; i < std::size(from); ++i)
      m.emplace(cp932::FromUtf8(from[i]), cp932::FromUtf8(to[i]));
    return m;
  }();
  std::string s = UpperCaseText(ToHiragana(ToZenkaku(text)));
  return MapChars(s, [](std::string_view ch, std::string &out) {
    if (ch.size() != 2) return false;
    auto it = fold.find(std::string(ch));
    if (it == fold.end()) return false;
    out += it->second;
    return true;
  });
}

std::string NormalizeCropName(const std::string &name) {
  static const std::vector<std::pair<std::string, std::string>> words = {
      {"柑橘"_sj, "かんきつ"_sj},     {"菠薐草"_sj, "ほうれんそう"_sj},
      {"南瓜"_sj, "かぼちゃ"_sj},     {"葡萄"_sj, "ぶどう"_sj},
      {"しかまき"_sj, "ちよくは"_sj}, {"ちかまき"_sj, "ちよくは"_sj},
      {"おおつふ"_sj, "たいりゆう"_sj}, {"こつふ"_sj, "しようりゆう"_sj},
      {"かつか"_sj, "かくか"_sj},     {"ろち"_sj, "ろし"_sj}};
  static const std::string cultivation =
      "([^\\(]*)?\\(?((?<!ひ)ろし|しせつ|すいこう|ちよくは|いしよく|(?<!きりえた)そくせい)"
      "(さいはい)?\\)?(.*)?"_sj;
  static const std::vector<std::string> paddy = {"いしよくすいとう"_sj, "ちよくはすいとう"_sj,
                                                 "ふつういしよくすいとう"_sj,
                                                 "ちびよういしよくすいとう"_sj};

  std::string key = KanaSearchKey(name);
  for (const auto &[from, to] : words) key = ReplaceAllText(key, from, to);
  key = RegexReplaceText(key, "(?<!ら)たねなし|種無(し)?"_sj, "g", "むかく"_sj);
  key = RegexReplaceText(key, "たねあり|種有(り)?"_sj, "g", "ゆうかく"_sj);
  if (RegexMatchText(key, cultivation, "")) {
    key = ReplaceAllText(key, "(ほつとまむ)"_sj, "\\(ほつとまむ\\)"_sj);
    key = ReplaceAllText(key, "(きりはなよう)"_sj, "\\(きりはなよう\\)"_sj);
  } else {
    key = EscapeBrackets(key);
  }
  bool is_paddy = false;
  for (const std::string &p : paddy) is_paddy = is_paddy || key == p;
  if (!is_paddy) key = RegexReplaceText(key, cultivation, "g", "$1$4\\($2さいはい"_sj);
  const std::string immature = "まめるい\\(みせいしゆく\\)"_sj;
  key = RegexReplaceText(key, "(未|み)(成熟|せいしゆく)?(豆|まめ)(類|るい)?"_sj, "g", immature);
  key = RegexReplaceText(key, "(豆|まめ)(類|るい)?\\(?(未|み)(成熟|せいしゆく)?\\)?"_sj, "g",
                         immature);
  return key;
}

std::string QuoteListForSql(const std::string &list) {
  std::string s = ReplaceAllText(list, "'", "");
  std::string out;
  for (const std::string &item : SplitDelimitedText(s, ',', '\'')) {
    if (!out.empty()) out.push_back(',');
    out += SqlQuoted(item);
  }
  return out;
}

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 16);
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}
