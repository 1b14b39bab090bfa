// TPcreRegEx: the program's regular-expression object. It holds a pattern, compile options,
// a subject and a replacement template, and matches, replaces and splits with 1-based
// positions. Matching is byte by byte (no UTF mode), so CP932 and UTF-8 subjects both work;
// empty matches are never accepted. Replacement templates and case changes step over whole
// characters: UTF-8 sequences in a text that is valid UTF-8, CP932 characters otherwise.
#pragma once

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "engine/Exception.h"

struct pcre2_real_code_8;
struct pcre2_real_match_data_8;

enum TPcreRegExOption {
  preCaseLess,
  preMultiLine,
  preSingleLine,
  preExtended,
  preAnchored,
  preDollarEndOnly,
  preExtra,
  preUnGreedy,
};

// A set of TPcreRegExOption.
class TPcreRegExOptions {
 public:
  TPcreRegExOptions() = default;
  TPcreRegExOptions(std::initializer_list<TPcreRegExOption> options) {
    for (auto o : options) Include(o);
  }
  bool Contains(TPcreRegExOption o) const { return bits_ & (1u << o); }
  void Include(TPcreRegExOption o) { bits_ |= 1u << o; }
  void Exclude(TPcreRegExOption o) { bits_ &= ~(1u << o); }
  bool Empty() const { return bits_ == 0; }
  bool operator==(const TPcreRegExOptions &) const = default;

 private:
  unsigned bits_ = 0;
};

class TPcreRegEx;
using TPcreRegExNotifyEvent = std::function<void(TPcreRegEx *Sender)>;
using TPcreRegExReplaceEvent = std::function<void(TPcreRegEx *Sender, std::string &ReplaceWith)>;

class TPcreRegEx {
 public:
  TPcreRegEx();
  ~TPcreRegEx();
  TPcreRegEx(const TPcreRegEx &) = delete;
  TPcreRegEx &operator=(const TPcreRegEx &) = delete;

  const TPcreRegExOptions &Options() const { return FOptions; }
  void SetOptions(const TPcreRegExOptions &Value);
  const std::string &RegEx() const { return FRegEx; }
  void SetRegEx(const std::string &Value);
  std::string Replacement;
  TPcreRegExNotifyEvent OnMatch;
  TPcreRegExReplaceEvent OnReplace;

  const std::string &Subject() const { return FSubject; }
  // Sets Start to 1 and Stop to the subject's length, and forgets the last match.
  void SetSubject(const std::string &Value);
  // Matching begins at Start and sees the subject only up to Stop (both 1-based).
  int Start = 1;
  int Stop = 0;

  // Compiles RegEx; raises Exception with the offset and text of a compile error.
  void Compile();
  // Discards the compiled pattern and the last match.
  void CleanUp();

  // Match searches from the beginning of the subject, MatchNext from Start.
  bool Match();
  bool MatchNext();
  bool HasMatch() const { return FMatchCount > 0; }
  int SubExpressionCount() const { return FMatchCount - 1; }
  int SubExpressionOffset(int Index) const;
  int SubExpressionLength(int Index) const;
  int MatchedOffset() const { return SubExpressionOffset(0); }
  int MatchedLength() const { return SubExpressionLength(0); }
  std::string SubExpression(int Index) const;
  // Number of a named group; negative when the pattern has no such group.
  int NamedSubExpression(const std::string &Name) const;

  // Replaces the current match by the expanded template (OnReplace may change it) and
  // returns the inserted text. Start and Stop move with the text after the match.
  std::string Replace();
  // Replaces every match; inserted text is never searched again.
  bool ReplaceAll();
  // Appends the pieces of the subject between matches; Limit > 1 gives at most Limit
  // pieces (the last holds the rest), 0 or less no limit, 1 the whole subject.
  void Split(std::vector<std::string> *Strings, int Limit);
  // The template expanded for the current match.
  std::string ExpandReplacement() const;

 private:
  bool Exec(int StartOffset);
  void RequireMatch() const;
  void RequireIndex(int Index) const;

  TPcreRegExOptions FOptions;
  std::string FRegEx;
  std::string FSubject;
  bool FCompiled = false;
  unsigned FPcreOptions = 0;
  unsigned FPcreExtraOptions = 0;
  pcre2_real_code_8 *FPattern = nullptr;
  pcre2_real_match_data_8 *FMatchData = nullptr;
  const unsigned char *FCharTable = nullptr;
  int FOffsets[300] = {};
  int FMatchCount = 0;
};

// Upper-cases the first character of the lower-cased text unless it is a double-byte one.
std::string CapitalizeFirst(const std::string &S);
// Lower-cases the text and upper-cases the first letter of every word.
std::string CapitalizeWords(const std::string &S);

// The program-wide instance; the main window creates it at start and resets it at the end.
extern std::unique_ptr<TPcreRegEx> SharedRegEx;
