#include "engine/SqlFunctions.h"

#include <sqlite3.h>

#include <array>
#include <charconv>
#include <cmath>
#include <memory>
#include <mutex>

#include "engine/PcreRegEx.h"
#include "engine/SQLite.h"
#include "engine/TextHelpers.h"
#include "platform/LocaleMap.h"
#include "platform/cp932.h"

namespace {

using namespace localemap;

// ---------------------------------------------------------------------------------------
// Folding

// The V fold of hiragana, all in the row of lead byte 0x82: trail byte to trail byte (0
// when the kana stays).
struct KanaFold {
  std::array<unsigned char, 256> to{};
  KanaFold() {
    auto add = [this](const char *kana_utf8, int delta) {
      const std::string s = cp932::FromUtf8(kana_utf8);
      for (std::size_t i = 0; i + 1 < s.size(); i += 2) {
        unsigned plain = cp932::EncodeChar(cp932::DecodeChar(s, i) + delta);
        to[static_cast<unsigned char>(s[i + 1])] = static_cast<unsigned char>(plain & 0xFF);
      }
    };
    add("ぁぃぅぇぉっゃゅょゎ", +1);                        // small kana
    add("がぎぐげござじずぜぞだぢづでどばびぶべぼ", -1);  // voiced
    add("ぱぴぷぺぽ", -2);                                   // semi-voiced
  }
};

const KanaFold &Fold() {
  static const KanaFold fold;
  return fold;
}

// Removes every occurrence of the double-byte character code.
void RemoveChar(std::string &s, unsigned code) {
  const char lead = static_cast<char>(code >> 8), trail = static_cast<char>(code & 0xFF);
  std::size_t w = 0;
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = cp932::CharLen(s, i);
    if (!(n == 2 && s[i] == lead && s[i + 1] == trail))
      for (std::size_t k = 0; k < n; ++k) s[w++] = s[i + k];
    i += n;
  }
  s.resize(w);
}

void FoldHiragana(std::string &s) {
  const KanaFold &fold = Fold();
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = cp932::CharLen(s, i);
    if (n == 2 && static_cast<unsigned char>(s[i]) == 0x82) {
      unsigned char to = fold.to[static_cast<unsigned char>(s[i + 1])];
      if (to) s[i + 1] = static_cast<char>(to);
    }
    i += n;
  }
}

// ---------------------------------------------------------------------------------------
// Helpers over SQLite values

std::string_view Text(sqlite3_value *v) {
  const unsigned char *p = sqlite3_value_text(v);
  if (!p) return {};
  return {reinterpret_cast<const char *>(p), static_cast<std::size_t>(sqlite3_value_bytes(v))};
}

std::u16string_view Text16(sqlite3_value *v) {
  const void *p = sqlite3_value_text16(v);
  if (!p) return {};
  return {static_cast<const char16_t *>(p), static_cast<std::size_t>(sqlite3_value_bytes16(v)) / 2};
}

void ResultText(sqlite3_context *ctx, std::string_view utf8) {
  sqlite3_result_text(ctx, utf8.data(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
}

void ResultText16(sqlite3_context *ctx, std::u16string_view s) {
  sqlite3_result_text16(ctx, s.data(), static_cast<int>(s.size() * 2), SQLITE_TRANSIENT);
}

// Reports a failure of the function; the statement fails with this text (program text).
void ResultError(sqlite3_context *ctx, const std::string &message) {
  const std::string utf8 = cp932::ToUtf8(message);
  sqlite3_result_error(ctx, utf8.data(), static_cast<int>(utf8.size()));
}

TPcreRegEx &RegEx(sqlite3_context *ctx) { return *static_cast<TPcreRegEx *>(sqlite3_user_data(ctx)); }

// A pattern argument folded once while it stays the same (SQLite keeps the data attached
// to a constant argument between rows).
struct FoldedPattern {
  std::string raw, flags;
  std::string folded;  // CP932 for match, UTF-8 for regexp
  bool leading = false, trailing = false;
};

template <typename Make>
const FoldedPattern &CachedPattern(sqlite3_context *ctx, std::string_view raw, std::string_view flags,
                                   std::unique_ptr<FoldedPattern> &fresh, Make make) {
  auto *cached = static_cast<FoldedPattern *>(sqlite3_get_auxdata(ctx, 0));
  if (cached && cached->raw == raw && cached->flags == flags) return *cached;
  fresh = std::make_unique<FoldedPattern>();
  fresh->raw = raw;
  fresh->flags = flags;
  make(*fresh);
  return *fresh;
}

// Hands a freshly folded pattern to SQLite; call last, since SQLite may free it at once.
void KeepPattern(sqlite3_context *ctx, std::unique_ptr<FoldedPattern> &fresh) {
  if (fresh) sqlite3_set_auxdata(ctx, 0, fresh.release(), [](void *p) { delete static_cast<FoldedPattern *>(p); });
}

std::string_view FlagsArg(int argc, sqlite3_value **argv, int index) {
  return argc > index ? Text(argv[index]) : std::string_view();
}

// ---------------------------------------------------------------------------------------
// strconv, match, regexp

void FnStrConv(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  ResultText(ctx, StrConvToUtf8(Text(argv[0]), FlagsArg(argc, argv, 1)));
}

void FnMatch(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  std::unique_ptr<FoldedPattern> fresh;
  const FoldedPattern &p = CachedPattern(ctx, Text(argv[0]), FlagsArg(argc, argv, 2), fresh, [](FoldedPattern &f) {
    std::string_view pat = f.raw;
    if (!pat.empty() && pat.back() == '%') {
      f.trailing = true;
      pat.remove_suffix(1);
    }
    if (!pat.empty() && pat.front() == '%') {
      f.leading = true;
      pat.remove_prefix(1);
    }
    f.folded = StrConv(pat, f.flags);
  });
  bool hit = false;
  if (!p.folded.empty()) {
    const std::string subject = StrConv(Text(argv[1]), p.flags);
    const std::string &pat = p.folded;
    if (p.leading && p.trailing) {
      hit = FindSjis(subject, pat) != std::string::npos;
    } else if (p.trailing) {
      hit = subject.compare(0, pat.size(), pat) == 0;
    } else if (p.leading) {
      hit = subject.size() >= pat.size() && subject.compare(subject.size() - pat.size(), pat.size(), pat) == 0 &&
            cp932::IsCharBoundary(subject, subject.size() - pat.size());
    } else {
      hit = subject == pat;
    }
  }
  sqlite3_result_int(ctx, hit ? 1 : 0);
  KeepPattern(ctx, fresh);
}

void FnRegExp(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  std::unique_ptr<FoldedPattern> fresh;
  const FoldedPattern &p = CachedPattern(ctx, Text(argv[0]), FlagsArg(argc, argv, 2), fresh, [](FoldedPattern &f) {
    f.folded = StrConvToUtf8(f.raw, f.flags);
  });
  TPcreRegEx &re = RegEx(ctx);
  try {
    re.SetOptions({});
    re.SetRegEx(p.folded);
    re.SetSubject(StrConvToUtf8(Text(argv[1]), p.flags));
    sqlite3_result_int(ctx, re.Match() ? 1 : 0);
  } catch (const Exception &e) {
    ResultError(ctx, e.Message());
  }
  KeepPattern(ctx, fresh);
}

// ---------------------------------------------------------------------------------------
// concat and concat2

constexpr std::size_t kMaxUtf8 = 65535;
constexpr std::size_t kMaxUtf16 = 32767;
const char *const kConcatTooFew = "CONCAT parameters are too few";

// Appends and keeps the text within the limit, never cutting a character in half.
void AppendCapped(std::string &result, std::string_view piece) {
  if (result.size() >= kMaxUtf8) return;
  result.append(piece);
  if (result.size() <= kMaxUtf8) return;
  std::size_t n = kMaxUtf8;
  while (n > 0 && (static_cast<unsigned char>(result[n]) & 0xC0) == 0x80) --n;
  result.resize(n);
}

void AppendCapped(std::u16string &result, std::u16string_view piece) {
  if (result.size() >= kMaxUtf16) return;
  result.append(piece);
  if (result.size() <= kMaxUtf16) return;
  std::size_t n = kMaxUtf16;
  if (result[n] >= 0xDC00 && result[n] <= 0xDFFF) --n;  // keep a surrogate pair whole
  result.resize(n);
}

// Adds the items of value that the result does not hold yet.
void ConcatJoin(std::string &result, std::string_view value, std::string_view sep) {
  if (value.empty()) return;
  if (sep.empty()) {
    if (result.find(value) == std::string::npos) AppendCapped(result, value);
    return;
  }
  const std::string existing = std::string(sep) + result + std::string(sep);
  std::string probe;
  std::size_t p = 0;
  for (int pieces = 1;; ++pieces) {
    std::size_t e = pieces < 2048 ? value.find(sep, p) : std::string_view::npos;
    std::string_view piece = value.substr(p, e == std::string_view::npos ? std::string_view::npos : e - p);
    probe.assign(sep).append(piece).append(sep);
    if (existing.find(probe) == std::string::npos) {
      if (!result.empty()) AppendCapped(result, sep);
      AppendCapped(result, piece);
    }
    if (e == std::string_view::npos) break;
    p = e + sep.size();
  }
}

void ConcatJoin16(std::u16string &result, std::u16string_view value, std::u16string_view sep) {
  if (value.empty()) return;
  std::u16string probe(value), hay(result);
  probe.append(sep);
  hay.append(sep);
  if (hay.find(probe) != std::u16string::npos) return;
  if (!sep.empty() && !result.empty()) AppendCapped(result, sep);
  AppendCapped(result, value);
}

template <typename Str, typename View>
void Concat2Join(Str &result, View value, View sep) {
  if (value.empty()) return;
  if (!sep.empty() && !result.empty()) AppendCapped(result, sep);
  AppendCapped(result, value);
}

bool Skipped(sqlite3_value *v) {
  int t = sqlite3_value_type(v);
  return t == SQLITE_NULL || t == SQLITE_BLOB;
}

// The two text encodings of the registrations: how values are read, joined and returned.
struct Utf8 {
  using Str = std::string;
  static std::string_view Get(sqlite3_value *v) { return Text(v); }
  static void Put(sqlite3_context *ctx, const Str &s) { ResultText(ctx, s); }
  static void Join(Str &r, std::string_view v, std::string_view sep) { ConcatJoin(r, v, sep); }
};
struct Utf16 {
  using Str = std::u16string;
  static std::u16string_view Get(sqlite3_value *v) { return Text16(v); }
  static void Put(sqlite3_context *ctx, const Str &s) { ResultText16(ctx, s); }
  static void Join(Str &r, std::u16string_view v, std::u16string_view sep) { ConcatJoin16(r, v, sep); }
};

template <typename E, bool kConcat2>
void Join(typename E::Str &result, sqlite3_value *value, sqlite3_value *sep) {
  if constexpr (kConcat2)
    Concat2Join(result, E::Get(value), E::Get(sep));
  else
    E::Join(result, E::Get(value), E::Get(sep));
}

template <typename E, bool kConcat2>
void FnConcat(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  if (argc < 3) return sqlite3_result_error(ctx, kConcatTooFew, -1);
  typename E::Str result;
  for (int i = 1; i < argc; ++i)
    if (sqlite3_value_type(argv[i]) != SQLITE_NULL) Join<E, kConcat2>(result, argv[i], argv[0]);
  E::Put(ctx, result);
}

// The group's text, made when the group receives its first value.
template <typename E>
struct Group {
  typename E::Str *text;
};

template <typename E, bool kConcat2>
void StepConcat(sqlite3_context *ctx, int, sqlite3_value **argv) {
  if (Skipped(argv[1])) return;
  auto *g = static_cast<Group<E> *>(sqlite3_aggregate_context(ctx, sizeof(Group<E>)));
  if (!g) return sqlite3_result_error_nomem(ctx);
  if (!g->text) g->text = new typename E::Str();
  Join<E, kConcat2>(*g->text, argv[1], argv[0]);
}

template <typename E>
void FinalConcat(sqlite3_context *ctx) {
  auto *g = static_cast<Group<E> *>(sqlite3_aggregate_context(ctx, 0));
  if (!g || !g->text) return sqlite3_result_null(ctx);
  E::Put(ctx, *g->text);
  delete g->text;
  g->text = nullptr;
}

// ---------------------------------------------------------------------------------------
// re_replace, extnum

void FnReReplace(sqlite3_context *ctx, int, sqlite3_value **argv) {
  TPcreRegEx &re = RegEx(ctx);
  try {
    re.SetOptions({});
    re.SetRegEx(std::string(Text(argv[0])));
    re.Replacement = std::string(Text(argv[2]));
    re.SetSubject(std::string(Text(argv[1])));
    re.ReplaceAll();
    ResultText(ctx, re.Subject());
  } catch (const Exception &e) {
    ResultError(ctx, e.Message());
  }
}

void FnExtNum(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  TPcreRegEx &re = RegEx(ctx);
  try {
    re.SetOptions({});
    re.SetRegEx("([\\+\\-]?[0-9]+(\\.[0-9]+([Ee][\\+\\-]?[0-9]+)?)?)\\s*(" + std::string(Text(argv[0])) + ")");
    re.SetSubject(std::string(Text(argv[1])));
    if (re.Match()) {
      std::string number = re.SubExpression(1);
      const char *b = number.data();
      if (*b == '+') ++b;
      double value = 0;
      std::from_chars(b, number.data() + number.size(), value);
      return sqlite3_result_double(ctx, value);
    }
    sqlite3_result_double(ctx, argc > 2 ? sqlite3_value_double(argv[2]) : 0.0);
  } catch (const Exception &e) {
    ResultError(ctx, e.Message());
  }
}

// ---------------------------------------------------------------------------------------
// ifnullstr, if, explode, like_in

void FnIfNullStr(sqlite3_context *ctx, int, sqlite3_value **argv) {
  const bool empty = sqlite3_value_type(argv[0]) == SQLITE_NULL || Text(argv[0]).empty();
  sqlite3_result_value(ctx, argv[empty ? 1 : 0]);
}

void FnIf(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  bool truth = false;
  switch (sqlite3_value_type(argv[0])) {
    case SQLITE_INTEGER: truth = sqlite3_value_int64(argv[0]) != 0; break;
    case SQLITE_FLOAT: {
      double d = sqlite3_value_double(argv[0]);
      truth = d != 0 && !std::isnan(d);
      break;
    }
    case SQLITE_BLOB: truth = sqlite3_value_bytes(argv[0]) > 0; break;
    case SQLITE_TEXT: truth = !Text(argv[0]).empty(); break;
    default: break;
  }
  if (truth)
    sqlite3_result_value(ctx, argv[1]);
  else if (argc > 2)
    sqlite3_result_value(ctx, argv[2]);
  else
    sqlite3_result_null(ctx);
}

void FnExplode(sqlite3_context *ctx, int, sqlite3_value **argv) {
  const std::string_view sep = Text(argv[0]), text = Text(argv[1]);
  const sqlite3_int64 index = sqlite3_value_int64(argv[2]);
  if (index <= 0) return ResultText(ctx, text);
  if (sep.empty()) {
    if (index == 1 && !text.empty()) return ResultText(ctx, text);
    return sqlite3_result_null(ctx);
  }
  std::size_t p = 0;
  for (sqlite3_int64 i = 1;; ++i) {
    const std::size_t e = text.find(sep, p);
    if (i == index) {
      std::string_view item = text.substr(p, e == std::string_view::npos ? std::string_view::npos : e - p);
      if (item.empty()) return sqlite3_result_null(ctx);
      return ResultText(ctx, item);
    }
    if (e == std::string_view::npos) return sqlite3_result_null(ctx);
    p = e + sep.size();
  }
}

// Whether a pattern x, x%, %x or %x% fits the value; other places of % never fit. Texts
// are UTF-8, so a byte-wise match always starts and ends on a character.
bool LikeFits(std::string_view value, std::string_view pattern) {
  const bool trailing = !pattern.empty() && pattern.back() == '%';
  if (trailing) pattern.remove_suffix(1);
  const bool leading = !pattern.empty() && pattern.front() == '%';
  if (leading) pattern.remove_prefix(1);
  if (pattern.find('%') != std::string_view::npos) return false;
  if (leading && trailing) return value.find(pattern) != std::string_view::npos;
  if (trailing) return value.starts_with(pattern);
  if (leading) return value.ends_with(pattern);
  return value == pattern;
}

void FnLikeIn(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  if (argc < 2) return sqlite3_result_error(ctx, "LIKE_IN parameters are too few", -1);
  const std::string_view value = Text(argv[0]);
  if (!value.empty())
    for (int i = 1; i < argc; ++i)
      if (sqlite3_value_type(argv[i]) != SQLITE_NULL && LikeFits(value, Text(argv[i])))
        return sqlite3_result_int(ctx, 1);
  sqlite3_result_int(ctx, 0);
}

// ---------------------------------------------------------------------------------------
// Registration

using Scalar = void (*)(sqlite3_context *, int, sqlite3_value **);
using Final = void (*)(sqlite3_context *);

struct Registration {
  const char *name;
  int args;
  bool regex;
  Scalar utf8, utf16;                      // the scalar, or the step of an aggregate
  Final final8 = nullptr, final16 = nullptr;  // set for an aggregate
};

const Registration kFunctions[] = {
    {"strconv", 1, false, FnStrConv, FnStrConv},
    {"strconv", 2, false, FnStrConv, FnStrConv},
    {"match", 2, false, FnMatch, FnMatch},
    {"match", 3, false, FnMatch, FnMatch},
    {"regexp", 2, true, FnRegExp, FnRegExp},
    {"regexp", 3, true, FnRegExp, FnRegExp},
    {"concat", -1, false, FnConcat<Utf8, false>, FnConcat<Utf16, false>},
    {"concat", 2, false, StepConcat<Utf8, false>, StepConcat<Utf16, false>, FinalConcat<Utf8>, FinalConcat<Utf16>},
    {"concat2", -1, false, FnConcat<Utf8, true>, FnConcat<Utf16, true>},
    {"concat2", 2, false, StepConcat<Utf8, true>, StepConcat<Utf16, true>, FinalConcat<Utf8>, FinalConcat<Utf16>},
    {"re_replace", 3, true, FnReReplace, FnReReplace},
    {"extnum", 2, true, FnExtNum, FnExtNum},
    {"extnum", 3, true, FnExtNum, FnExtNum},
    {"ifnullstr", 2, false, FnIfNullStr, FnIfNullStr},
    {"if", 2, false, FnIf, FnIf},
    {"if", 3, false, FnIf, FnIf},
    {"explode", 3, false, FnExplode, FnExplode},
    {"like_in", -1, false, FnLikeIn, FnLikeIn},
};

}  // namespace

namespace {

struct Folding {
  unsigned options = 0;  // the mapping options of the final call
  bool hiragana = false, v_steps = false;
};

Folding ParseFlags(std::string_view flags) {
  if (flags.empty()) flags = "KCWV";
  Folding f;
  for (char c : flags) {
    switch (c) {
      case 'C': case 'c': f.options |= LCMAP_LOWERCASE; break;
      case 'W': case 'w': f.options |= LCMAP_HALFWIDTH; break;
      case 'K': case 'k': f.options |= LCMAP_HIRAGANA | LCMAP_HALFWIDTH; f.hiragana = true; break;
      case 'V': case 'v': f.options |= LCMAP_HIRAGANA | LCMAP_HALFWIDTH; f.hiragana = f.v_steps = true; break;
      default: break;
    }
  }
  return f;
}

// The folding steps one after the other over program text.
std::string FoldSlowly(std::string s, const Folding &f) {
  if (s.empty()) return s;
  if (f.hiragana) {
    if (f.v_steps) RemoveChar(s, 0x817C);  // －
    s = MapString(s, LCMAP_FULLWIDTH | LCMAP_HIRAGANA);
    if (f.v_steps) {
      RemoveChar(s, 0x815B);  // ー
      FoldHiragana(s);
    }
  }
  if (f.options) s = MapString(s, f.options);
  if (!f.v_steps) {
    // A half-width long-vowel mark becomes the full-width one.
    std::string out;
    out.reserve(s.size() + 8);
    for (std::size_t i = 0; i < s.size();) {
      const std::size_t n = cp932::CharLen(s, i);
      if (n == 1 && static_cast<unsigned char>(s[i]) == 0xB0)
        out.append("\x81\x5B");
      else
        out.append(s, i, n);
      i += n;
    }
    s.swap(out);
  }
  return s;
}

// Every step works on each character alone (once a half-width kana has joined its mark),
// so each set of flags folds by one table made on first use.
const TCharMap &FoldTable(const Folding &f) {
  static std::array<std::once_flag, 16> once;
  static std::array<std::unique_ptr<TCharMap>, 16> tables;
  const unsigned slot = (f.options & LCMAP_LOWERCASE ? 1 : 0) | (f.options & LCMAP_HALFWIDTH ? 2 : 0) |
                        (f.hiragana ? 4 : 0) | (f.v_steps ? 8 : 0);
  std::call_once(once[slot], [&] {
    tables[slot] = std::make_unique<TCharMap>([f](std::string_view s) { return FoldSlowly(std::string(s), f); },
                                              f.hiragana);
  });
  return *tables[slot];
}

}  // namespace

std::string StrConv(std::string_view text_utf8, std::string_view flags) {
  const std::string s = cp932::FromUtf8(text_utf8);
  if (s.empty()) return s;
  return FoldTable(ParseFlags(flags)).Map(s);
}

std::string StrConvToUtf8(std::string_view text_utf8, std::string_view flags) {
  const std::string s = cp932::FromUtf8(text_utf8);
  if (s.empty()) return s;
  return FoldTable(ParseFlags(flags)).MapToUtf8(s);
}

std::string FromSqliteText(std::string_view text_utf8) { return cp932::FromUtf8(text_utf8); }

std::string ToSqliteText(const std::string &sql) { return ExpandPreconv(cp932::ToUtf8(sql)); }

std::string ExpandPreconv(const std::string &sql_utf8) {
  // Texts without the macro go back as they came.
  static constexpr std::string_view kWord = "preconv";
  bool present = false;
  for (std::size_t i = 0; !present && i + kWord.size() <= sql_utf8.size(); ++i) {
    std::size_t k = 0;
    while (k < kWord.size() && (sql_utf8[i + k] | 0x20) == kWord[k]) ++k;
    present = k == kWord.size();
  }
  if (!present) return sql_utf8;

  TPcreRegEx re;
  re.SetOptions({preCaseLess});
  // The literal may hold doubled quotes, as every quoted user word does.
  re.SetRegEx("preconv\\(\\s*'((?:[^']|'')+)'\\s*(,\\s*'([kcwv]+)'\\s*)?\\)");
  re.SetSubject(sql_utf8);
  std::string out;
  std::size_t done = 0;
  for (bool found = re.Match(); found; found = re.MatchNext()) {
    const std::size_t at = static_cast<std::size_t>(re.MatchedOffset() - 1);
    out.append(sql_utf8, done, at - done);
    std::string text = re.SubExpression(1);
    for (std::size_t q = text.find("''"); q != std::string::npos; q = text.find("''", q + 1)) text.erase(q, 1);
    out += SqlQuoted(StrConvToUtf8(text, re.SubExpression(3)));
    done = at + static_cast<std::size_t>(re.MatchedLength());
  }
  out.append(sql_utf8, done, std::string::npos);
  return out;
}

void RegisterSqlFunctions(sqlite3 *db, TPcreRegEx *regex) {
  for (const Registration &r : kFunctions) {
    void *data = r.regex ? regex : nullptr;
    for (int enc : {SQLITE_UTF8, SQLITE_UTF16}) {
      const bool wide = enc == SQLITE_UTF16;
      Scalar fn = wide ? r.utf16 : r.utf8;
      Final final = wide ? r.final16 : r.final8;
      if (final)
        sqlite3_create_function_v2(db, r.name, r.args, enc, data, nullptr, fn, final, nullptr);
      else
        sqlite3_create_function_v2(db, r.name, r.args, enc, data, fn, nullptr, nullptr, nullptr);
    }
  }
}
