#include "engine/PcreRegEx.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <clocale>
#include <cstring>
#include <locale.h>
#include <string_view>

#include "platform/cp932.h"

std::unique_ptr<TPcreRegEx> SharedRegEx;

namespace {

constexpr int kOffsetCount = 300;          // whole match and 99 groups, in the first two thirds
constexpr int kPairCount = kOffsetCount / 3;

// The object serves CP932 program text and UTF-8 text from SQLite alike. A text that is
// valid UTF-8 with some byte above 0x7F is walked by UTF-8 sequences (they never hold an
// ASCII byte); any other text by CP932 characters, whose trail byte may be "\\" or a letter.
class CharWalker {
 public:
  explicit CharWalker(std::string_view s) : s_(s), utf8_(IsUtf8(s)) {}
  // Length of the character at byte i.
  std::size_t Len(std::size_t i) const {
    const unsigned char c = static_cast<unsigned char>(s_[i]);
    std::size_t n = 1;
    if (utf8_) {
      n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    } else if (i + 1 < s_.size() && cp932::IsLeadByte(c)) {
      const unsigned char t = static_cast<unsigned char>(s_[i + 1]);
      if ((t >= 0x40 && t <= 0x7E) || (t >= 0x80 && t <= 0xFC)) n = 2;
    }
    return std::min(n, s_.size() - i);
  }

 private:
  static bool IsUtf8(std::string_view s) {
    bool high = false;
    for (std::size_t i = 0; i < s.size();) {
      const unsigned char c = static_cast<unsigned char>(s[i]);
      std::size_t n = c < 0x80 ? 1 : (c >= 0xC2 && c <= 0xDF) ? 2 : (c >= 0xE0 && c <= 0xEF) ? 3 : (c >= 0xF0 && c <= 0xF4) ? 4 : 0;
      if (n == 0 || i + n > s.size()) return false;
      for (std::size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
      high |= n > 1;
      i += n;
    }
    return high;
  }
  std::string_view s_;
  bool utf8_;
};

// ASCII case changes that leave multi-byte characters alone.
std::string ChangeCase(const std::string &s, bool upper) {
  std::string r = s;
  CharWalker w(r);
  for (std::size_t i = 0; i < r.size(); i += w.Len(i)) {
    char &c = r[i];
    if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (!upper && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return r;
}

bool IsWordSeparator(unsigned char c) {
  return c <= 32 || std::strchr("!\"#$%&()*+,-.<?[{", c) != nullptr || c == 0xB7;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsNameChar(char c) { return IsNameStart(c) || IsDigit(c); }

bool IsName(const std::string &s) {
  if (s.empty() || !IsNameStart(s[0])) return false;
  for (char c : s)
    if (!IsNameChar(c)) return false;
  return true;
}

// Character tables of the C locale, whatever locale the process runs in, so that bytes above
// 0x7F (CP932 and UTF-8 alike) are never letters, digits or spaces to the matcher.
const unsigned char *MakeCTables() {
  locale_t c = newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(nullptr));
  locale_t old = c ? uselocale(c) : static_cast<locale_t>(nullptr);
  const unsigned char *tables = pcre2_maketables(nullptr);
  if (c) {
    uselocale(old);
    freelocale(c);
  }
  return tables;
}

}  // namespace

std::string CapitalizeFirst(const std::string &S) {
  std::string r = ChangeCase(S, false);
  if (!r.empty() && CharWalker(r).Len(0) == 1 && r[0] >= 'a' && r[0] <= 'z')
    r[0] = static_cast<char>(r[0] - 'a' + 'A');
  return r;
}

std::string CapitalizeWords(const std::string &S) {
  std::string r = ChangeCase(S, false);
  CharWalker w(r);
  bool word_start = true;
  for (std::size_t i = 0; i < r.size();) {
    if (std::size_t n = w.Len(i); n > 1) {  // a multi-byte character leaves the flag alone
      i += n;
      continue;
    }
    unsigned char c = static_cast<unsigned char>(r[i]);
    if (IsWordSeparator(c)) {
      word_start = true;
    } else if (word_start && c != '\'') {
      if (c >= 'a' && c <= 'z') r[i] = static_cast<char>(c - 'a' + 'A');
      word_start = false;
    }
    ++i;
  }
  return r;
}

TPcreRegEx::TPcreRegEx() {
  FCharTable = MakeCTables();
  FMatchData = pcre2_match_data_create(kPairCount, nullptr);
  FPcreExtraOptions = PCRE2_EXTRA_BAD_ESCAPE_IS_LITERAL;
}

TPcreRegEx::~TPcreRegEx() {
  CleanUp();
  pcre2_match_data_free(FMatchData);
  pcre2_maketables_free(nullptr, FCharTable);
}

void TPcreRegEx::SetRegEx(const std::string &Value) {
  if (Value == FRegEx) return;
  FRegEx = Value;
  CleanUp();
}

void TPcreRegEx::SetOptions(const TPcreRegExOptions &Value) {
  if (Value == FOptions) return;
  FOptions = Value;
  static const struct {
    TPcreRegExOption option;
    uint32_t bit;
  } kBits[] = {
      {preCaseLess, PCRE2_CASELESS},     {preMultiLine, PCRE2_MULTILINE},
      {preSingleLine, PCRE2_DOTALL},     {preExtended, PCRE2_EXTENDED},
      {preAnchored, PCRE2_ANCHORED},     {preDollarEndOnly, PCRE2_DOLLAR_ENDONLY},
      {preUnGreedy, PCRE2_UNGREEDY},
  };
  FPcreOptions = 0;
  for (const auto &b : kBits)
    if (FOptions.Contains(b.option)) FPcreOptions |= b.bit;
  // Unknown escapes are literal characters unless the strict mode is asked for.
  FPcreExtraOptions = FOptions.Contains(preExtra) ? 0 : PCRE2_EXTRA_BAD_ESCAPE_IS_LITERAL;
  CleanUp();
}

void TPcreRegEx::SetSubject(const std::string &Value) {
  FSubject = Value;
  Start = 1;
  Stop = static_cast<int>(FSubject.size());
  FMatchCount = 0;
}

void TPcreRegEx::CleanUp() {
  FCompiled = false;
  if (FPattern) pcre2_code_free(FPattern);
  FPattern = nullptr;
  FMatchCount = 0;
}

void TPcreRegEx::Compile() {
  if (FRegEx.empty())
    throw Exception("TPcreRegEx.Compile() - Please specify a regular expression in RegEx first");
  CleanUp();
  pcre2_compile_context *context = pcre2_compile_context_create(nullptr);
  pcre2_set_character_tables(context, FCharTable);
  pcre2_set_compile_extra_options(context, FPcreExtraOptions);
  int error = 0;
  PCRE2_SIZE error_offset = 0;
  FPattern = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(FRegEx.data()), FRegEx.size(), FPcreOptions,
                           &error, &error_offset, context);
  pcre2_compile_context_free(context);
  if (!FPattern) {
    PCRE2_UCHAR text[256];
    pcre2_get_error_message(error, text, sizeof text);
    throw Exception("TPcreRegEx.Compile() - Error in regex at offset " + std::to_string(error_offset) +
                    ": " + reinterpret_cast<const char *>(text));
  }
  // The JIT gives the same results far faster; without it the interpreter serves.
  pcre2_jit_compile(FPattern, PCRE2_JIT_COMPLETE);
  FCompiled = true;
}

bool TPcreRegEx::Exec(int StartOffset) {
  if (!FCompiled) Compile();
  if (Stop < Start) {
    FMatchCount = -1;
    return false;
  }
  PCRE2_SIZE length = static_cast<PCRE2_SIZE>(std::max(0, std::min<int>(Stop, FSubject.size())));
  auto subject = reinterpret_cast<PCRE2_SPTR>(FSubject.data());
  int rc = pcre2_match(FPattern, subject, length, static_cast<PCRE2_SIZE>(std::max(0, StartOffset)),
                       PCRE2_NOTEMPTY, FMatchData, nullptr);
  if (rc == PCRE2_ERROR_JIT_STACKLIMIT)
    rc = pcre2_match(FPattern, subject, length, static_cast<PCRE2_SIZE>(std::max(0, StartOffset)),
                     PCRE2_NOTEMPTY | PCRE2_NO_JIT, FMatchData, nullptr);
  if (rc <= 0) {  // no match, an execution error, or more groups than the vector holds
    FMatchCount = rc < 0 ? rc : 0;
    return false;
  }
  const PCRE2_SIZE *ov = pcre2_get_ovector_pointer(FMatchData);
  for (int i = 0; i < 2 * rc; ++i) FOffsets[i] = (ov[i] == PCRE2_UNSET ? -1 : static_cast<int>(ov[i])) + 1;
  FMatchCount = rc;
  Start = FOffsets[1] + (FOffsets[1] == FOffsets[0] ? 1 : 0);
  if (OnMatch) OnMatch(this);
  return true;
}

bool TPcreRegEx::Match() { return Exec(0); }

bool TPcreRegEx::MatchNext() { return Exec(Start - 1); }

void TPcreRegEx::RequireMatch() const {
  if (FMatchCount <= 0) throw EAssertionFailed("REQUIRE: There must be a successful match first");
}

void TPcreRegEx::RequireIndex(int Index) const {
  if (Index < 0 || Index > SubExpressionCount()) throw EAssertionFailed("REQUIRE: Index <= SubExpressionCount");
}

int TPcreRegEx::SubExpressionOffset(int Index) const {
  RequireMatch();
  RequireIndex(Index);
  return FOffsets[2 * Index];
}

int TPcreRegEx::SubExpressionLength(int Index) const {
  RequireMatch();
  RequireIndex(Index);
  return FOffsets[2 * Index + 1] - FOffsets[2 * Index];
}

std::string TPcreRegEx::SubExpression(int Index) const {
  RequireMatch();
  if (Index < 0 || Index > SubExpressionCount() || FOffsets[2 * Index] <= 0) return {};
  return FSubject.substr(FOffsets[2 * Index] - 1, FOffsets[2 * Index + 1] - FOffsets[2 * Index]);
}

int TPcreRegEx::NamedSubExpression(const std::string &Name) const {
  if (!FPattern) return PCRE2_ERROR_NOSUBSTRING;
  return pcre2_substring_number_from_name(FPattern, reinterpret_cast<PCRE2_SPTR>(Name.c_str()));
}

std::string TPcreRegEx::Replace() {
  RequireMatch();
  std::string with = ExpandReplacement();
  if (OnReplace) OnReplace(this, with);
  int offset = MatchedOffset();
  int length = MatchedLength();
  FSubject.replace(offset - 1, length, with);
  int delta = static_cast<int>(with.size()) - length;
  Start += delta;
  Stop += delta;
  FMatchCount = 0;
  return with;
}

bool TPcreRegEx::ReplaceAll() {
  if (!Match()) return false;
  do {
    Replace();
  } while (MatchNext());
  return true;
}

void TPcreRegEx::Split(std::vector<std::string> *Strings, int Limit) {
  if (!Strings) throw EAssertionFailed("REQUIRE: Strings");
  if (Limit == 1 || !Match()) {
    Strings->push_back(FSubject);
    return;
  }
  int pos = 1;
  int pieces = 0;
  for (;;) {
    Strings->push_back(FSubject.substr(pos - 1, MatchedOffset() - pos));
    ++pieces;
    pos = MatchedOffset() + MatchedLength();
    if (Limit > 1 && pieces + 1 >= Limit) break;
    if (!MatchNext()) break;
  }
  Strings->push_back(FSubject.substr(pos - 1));
}

std::string TPcreRegEx::ExpandReplacement() const {
  const std::string &t = Replacement;
  const std::size_t n = t.size();
  const int count = SubExpressionCount();
  auto group = [&](int g) { return g <= count ? SubExpression(g) : std::string(); };
  // Reads one or two digits at j: two when they name an existing group.
  auto digits = [&](std::size_t &j) {
    int g = t[j++] - '0';
    if (j < n && IsDigit(t[j]) && g * 10 + (t[j] - '0') <= count) g = g * 10 + (t[j++] - '0');
    return g;
  };
  CharWalker w(t);
  std::string r;
  std::size_t i = 0;
  while (i < n) {
    if (std::size_t len = w.Len(i); len > 1) {
      r.append(t, i, len);
      i += len;
      continue;
    }
    const char c = t[i];
    if ((c != '$' && c != '\\') || i + 1 >= n) {
      r.push_back(c);
      ++i;
      continue;
    }
    const char d = t[i + 1];
    std::size_t j = i + 1;
    if (IsDigit(d)) {  // $n $nn \n \nn
      r += group(digits(j));
      i = j;
      continue;
    }
    if (d == c || (c == '\\' && d == '$')) {  // $$ \\ \$
      r.push_back(d);
      i += 2;
      continue;
    }
    if (c == '$' && d == '{') {  // ${digits} ${name}
      std::size_t close = t.find('}', i + 2);
      if (close != std::string::npos) {
        std::string inner = t.substr(i + 2, close - i - 2);
        bool numeric = !inner.empty() && inner.find_first_not_of("0123456789") == std::string::npos;
        if (numeric) {
          long long g = inner.size() > 9 ? count + 1LL : std::stoll(inner);
          if (g <= count) r += group(static_cast<int>(g));
          i = close + 1;
          continue;
        }
        int g = IsName(inner) ? NamedSubExpression(inner) : -1;
        if (g >= 0) {
          r += group(g);
          i = close + 1;
          continue;
        }
      }
    } else if (c == '\\' && (d == 'g' || d == 'G') && i + 2 < n && t[i + 2] == '<') {  // \g<name>
      std::size_t close = t.find('>', i + 3);
      if (close != std::string::npos) {
        int g = NamedSubExpression(t.substr(i + 3, close - i - 3));
        if (g >= 0) r += group(g);
        i = close + 1;
        continue;
      }
    } else if (c == '\\' && i + 2 < n && IsDigit(t[i + 2]) && d != 0 && std::strchr("FfIiLlUu", d)) {  // \U1 ...
      j = i + 2;
      std::string text = group(digits(j));
      switch (d) {
        case 'F': case 'f': r += CapitalizeFirst(text); break;
        case 'I': case 'i': r += CapitalizeWords(text); break;
        case 'L': case 'l': r += ChangeCase(text, false); break;
        default: r += ChangeCase(text, true); break;
      }
      i = j;
      continue;
    }
    r.push_back(c);
    ++i;
  }
  return r;
}
