#include "engine/TemplateExpand.h"

#include <fstream>
#include <iterator>
#include <set>

#include "engine/SQLite.h"
#include "engine/SakuUtil.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "platform/cp932.h"
#include "platform/fspath.h"

using namespace cp932::literals;

const std::array<const char *, kTemplateArgCount> TemplateArgNames = {"sakumotsu", "byochu", "yoto", "zaikei",
                                                                       "sonota"};
const char *const kTemplateSigilClass = "[/%!:~_#=`]";

namespace {

constexpr int kSakumotsu = 0;
constexpr int kSonota = 4;
const std::string kCrLf = "\r\n";

std::string Sigil() { return kTemplateSigilClass; }

// A text put in place of a match as it stands: the replacement template of the regular
// expression object reads "\" and "$" as group references and escapes.
std::string Literal(const std::string &text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t len = cp932::CharLen(text, i);
    if (len == 1 && (text[i] == '\\' || text[i] == '$')) out.push_back(text[i]);
    out.append(text, i, len);
    i += len;
  }
  return out;
}

std::vector<std::string> SplitLines(const std::string &text) {
  std::vector<std::string> lines;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t e = text.find_first_of("\r\n", i);
    if (e == std::string::npos) e = text.size();
    lines.push_back(text.substr(i, e - i));
    if (e < text.size() && text[e] == '\r' && e + 1 < text.size() && text[e + 1] == '\n') ++e;
    i = e + 1;
  }
  return lines;
}

std::string JoinLines(const std::vector<std::string> &lines) {
  std::string out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) out += kCrLf;
    out += lines[i];
  }
  return out;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string TrimBlanks(const std::string &s) {
  std::size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

bool IsBlankText(const std::string &s) {
  for (char c : s)
    if (!IsBlank(c) && c != '\r' && c != '\n') return false;
  return true;
}

// The value taken out of one level of the quoting it begins with; a value whose quote is
// never closed stays as written.
std::string Dequoted(const std::string &value) {
  if (value.empty() || (value[0] != '"' && value[0] != '\'')) return value;
  const char q = value[0];
  std::string out;
  for (std::size_t i = 1; i < value.size();) {
    if (value[i] == q) {
      if (i + 1 < value.size() && value[i + 1] == q) {
        out.push_back(q);
        i += 2;
        continue;
      }
      return out;
    }
    const std::size_t len = cp932::CharLen(value, i);
    out.append(value, i, len);
    i += len;
  }
  return value;
}

bool EqualsNoCase(const std::string &a, const std::string &b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// True when the text is a list of SQL string literals: 'a','b''c',...
bool IsQuotedSqlList(const std::string &text) {
  return RegexMatchText(text, "^'(?:[^']|'')*'(?:,'(?:[^']|'')*')*$", "s");
}

// The crop value as one SQL literal: a list that is already made of literals (what the crop
// picker writes) stays, anything else is quoted as one string.
std::string CropValueLiteral(const std::string &value) {
  if (value.empty() || IsQuotedSqlList(value)) return value;
  return SqlQuoted(value);
}

// A value written raw into the SQL, where the template puts it between single quotes: a
// quote mark in it is doubled so that it cannot end the string.
std::string RawText(const std::string &value) { return ReplaceAllText(value, "'", "''"); }

// The sigils that lead a placeholder of the name matching the pattern head + name + tail, in
// the order of their first appearance.
std::vector<char> LeadingSigils(const std::string &text, const std::string &open, const std::string &name,
                                const std::string &close) {
  std::vector<char> found;
  std::string rest = text;
  const std::string pattern = "(" + open + Sigil() + ")" + name + Sigil() + "?" + close;
  std::vector<std::string> groups;
  while (RegexMatchText(rest, pattern, "i", &groups)) {
    const char s = groups[1].back();
    bool seen = false;
    for (char c : found) seen = seen || c == s;
    if (!seen) found.push_back(s);
    const std::size_t at = rest.find(groups[0]);
    if (at == std::string::npos) break;
    rest.erase(0, at + groups[0].size());
  }
  return found;
}

std::string Deploy(const TTemplateArgs &args, const std::string &term, char mode) {
  if (args.DeployCrops) return args.DeployCrops(term, mode);
  if (AcisDB) return AcisDB->DeployCrops(term, mode);
  return term;
}

// The text a sigil other than the grave accent makes of a crop, pest, use or formulation
// value.
std::string SigilText(int index, char sigil, const std::string &value, const TTemplateArgs &args) {
  std::string v = value;
  if (index == kSakumotsu && (sigil == '_' || sigil == '~')) v = Deploy(args, v, sigil);
  return CropRegexLiteral(v, sigil);
}

void ShowError(const std::string &text) { UiServices().MessageBox(text, "Quillmar", MB_OK | MB_ICONERROR); }

// One line copied for each item of the repeat argument's list.
void ExpandRepeatLine(const std::string &line, const std::array<std::string, kTemplateArgCount> &values,
                      const TTemplateArgs &args, std::vector<std::string> &out) {
  int index = -1;
  for (int i = 0; i < kTemplateArgCount && index < 0; ++i)
    if (LineHasRepeatPlaceholder({TemplateArgNames[i]}, line)) index = i;
  const std::string name = TemplateArgNames[index];
  for (const std::string &item : SplitDelimitedText(values[index], ',', '\'')) {
    std::string copy = RegexReplaceText(line, "\\[" + name + Sigil() + "?\\]", "ig", Literal(QuoteListForSql(item)));
    for (char s : LeadingSigils(copy, "\\[", name, "\\]")) {
      const std::string p = "\\[" + std::string(1, s) + name + Sigil() + "?\\]";
      copy = RegexReplaceText(copy, p, "ig", Literal(s == '`' ? RawText(item) : SigilText(index, s, item, args)));
    }
    out.push_back(copy);
  }
}

}  // namespace

std::string TemplateArgLabel(int index) {
  static const char *const labels[kTemplateArgCount] = {"作物名", "病害虫名", "用途", "剤形", "その他"};
  return index >= 0 && index < kTemplateArgCount ? cp932::FromUtf8(labels[index]) : std::string();
}

std::string ExtractTemplateBody(const std::string &document) {
  std::vector<std::string> groups;
  if (!RegexMatchText(document, "#template\\s*?\\{(.*?)\\s*\\}", "is", &groups)) return std::string();
  std::string body = RegexReplaceText(groups[1], "^(\\s*\\r\\n)+", "s", "");
  body = RegexReplaceText(body, "\\s+$", "mg", "");
  body = JoinLines(SplitLines(body));  // the trimming may leave a bare LF behind
  std::size_t n = 0;
  while (n < body.size() && IsBlank(body[n])) ++n;
  if (n > 0) body = RegexReplaceText(body, "^" + body.substr(0, n) + "(.*)", "mg", "\\1");
  return body;
}

int PlaceholderState(const std::string &body, int index) {
  const std::string name = TemplateArgNames[index];
  const std::string s = Sigil();
  const std::string pattern = "<" + s + "?" + name + s + "?>|\\[" + s + "?" + name + s + "?\\]";
  if (!RegexMatchText(body, pattern, "i")) return 0;
  const std::string live = RegexReplaceText(body, "--.*$", "mg", "");
  return RegexMatchText(live, pattern, "i") ? 2 : 1;
}

std::vector<std::string> NormalizeArgList(const std::string &list) {
  // The blanks around "=" and at the ends are dropped line by line, so that a line with an
  // empty value never takes the next line as its value.
  std::vector<std::string> lines;
  for (const std::string &raw : SplitLines(list)) {
    std::string line = TrimBlanks(raw);
    if (line.empty()) continue;
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos) {
      std::string name = TrimBlanks(line.substr(0, eq));
      std::string value = TrimBlanks(line.substr(eq + 1));
      for (const char *arg : TemplateArgNames)
        if (EqualsNoCase(name, arg)) value = Dequoted(value);
      line = name + "=" + value;
    }
    lines.push_back(line);
  }
  return lines;
}

std::string ArgListValue(const std::vector<std::string> &lines, const std::string &name, bool *found) {
  for (const std::string &line : lines) {
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos && EqualsNoCase(line.substr(0, eq), name)) {
      if (found) *found = true;
      return line.substr(eq + 1);
    }
  }
  if (found) *found = false;
  return std::string();
}

bool TPreparedTemplate::AnyShown() const {
  int sum = 0;
  for (int s : States) sum += s;
  return sum > 0;
}

TPreparedTemplate PrepareTemplate(const std::string &document) {
  TPreparedTemplate t;
  t.Body = ExtractTemplateBody(document);
  std::vector<std::string> groups;
  std::vector<std::string> defaults;
  if (RegexMatchText(document, "#default\\s*?\\{\\s*(.*?)\\s*?\\}", "is", &groups))
    defaults = NormalizeArgList(groups[1]);
  for (int i = 0; i < kTemplateArgCount; ++i) {
    t.States[i] = PlaceholderState(t.Body, i);
    if (t.States[i] > 0) t.Defaults[i] = ArgListValue(defaults, TemplateArgNames[i]);
  }
  return t;
}

bool LineHasRepeatPlaceholder(const std::vector<std::string> &names, const std::string &line) {
  std::string alternation;
  for (const std::string &n : names) alternation += (alternation.empty() ? "" : "|") + n;
  return RegexMatchText(line, "\\[" + Sigil() + "(" + alternation + ")" + Sigil() + "?\\]", "i");
}

std::string ReplacePlaceholder(int index, const std::string &sql, const std::string &value,
                               const std::string &prefix) {
  if (sql.empty() || value.empty()) return sql;
  const std::string p = prefix + TemplateArgNames[index] + Sigil() + "?>";
  std::string out = RegexReplaceText(sql, "--(.*?" + p + ")", "ig", "\\1");
  return RegexReplaceText(out, p, "ig", Literal(value));
}

std::string ExpandTemplate(const std::string &document, const TTemplateArgs &args) {
  const std::string body = ExtractTemplateBody(document);
  if (body.empty()) {
    ShowError("テンプレートがありません"_sj);
    return std::string();
  }
  std::array<int, kTemplateArgCount> states{};
  for (int i = 0; i < kTemplateArgCount; ++i) {
    states[i] = PlaceholderState(body, i);
    if (states[i] == 2 && IsBlankText(args.Inputs[i])) {
      ShowError(TemplateArgLabel(i) + "が設定されていません"_sj);
      return std::string();
    }
  }

  std::array<std::string, kTemplateArgCount> values;
  for (int i = 0; i < kTemplateArgCount; ++i) {
    values[i] = IsBlankText(args.Inputs[i]) ? std::string() : RegexReplaceText(args.Inputs[i], "\\s*,\\s*", "g", ",");
    if (i == kSakumotsu) values[i] = CropValueLiteral(values[i]);
  }

  std::vector<std::string> lines;
  std::vector<std::string> all_names(TemplateArgNames.begin(), TemplateArgNames.end());
  for (const std::string &line : SplitLines(body)) {
    if (LineHasRepeatPlaceholder(all_names, line))
      ExpandRepeatLine(line, values, args, lines);
    else
      lines.push_back(line);
  }
  std::string sql = RegexReplaceText(JoinLines(lines), ",(\\s+from)", "ig", "\\1");

  for (int i = 0; i < kTemplateArgCount; ++i) {
    if (states[i] == 0) continue;
    const std::string name = TemplateArgNames[i];
    if (i == kSonota) {
      sql = ReplacePlaceholder(i, sql, RawText(values[i]), "<");
      // The other value has no list form: with the grave accent it is the same raw text.
      sql = ReplacePlaceholder(i, sql, RawText(values[i]), "<`");
      continue;
    }
    if (RegexMatchText(sql, "<" + name + Sigil() + "?>", "i"))
      sql = ReplacePlaceholder(i, sql, QuoteListForSql(values[i]), "<");
    if (values[i].empty()) continue;  // optional placeholders stay in their comments
    for (char s : LeadingSigils(sql, "<", name, ">")) {
      // The crop value is already a literal; the others are written inside the template's quotes.
      const std::string raw = i == kSakumotsu ? values[i] : RawText(values[i]);
      sql = ReplacePlaceholder(i, sql, s == '`' ? raw : SigilText(i, s, values[i], args), "<" + std::string(1, s));
    }
  }
  return sql;
}

std::string ArgFileLine(int index, const std::string &value) {
  std::string one_line = RegexReplaceText(value, "[\\r\\n]+", "g", " ");
  return std::string(TemplateArgNames[index]) + " = \"" + ReplaceAllText(one_line, "\"", "\"\"") + "\"";
}

bool ReadTemplateText(const std::string &path, std::string &text) {
  std::ifstream in(FsPath(path), std::ios::binary);
  if (!in) return false;
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return false;
  text.clear();
  text.reserve(bytes.size() + bytes.size() / 32);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r') {
      text += kCrLf;
      if (i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    } else if (bytes[i] == '\n') {
      text += kCrLf;
    } else {
      text.push_back(bytes[i]);
    }
  }
  return true;
}
