// Fixed-procedure templates without a window: the SQL block and the defaults of a template
// file, the state of each of the five arguments, the expansion of the placeholders into the
// final SQL, and the argument lists of the defaults and of the argument files (.arg).
//
// A template names its arguments in the SQL as placeholders: "<" or "[" + optional sigil +
// name + optional sigil + ">" or "]". The sigil decides how the value is written (a quoted
// list, a crop pattern for regexp, the raw text ...); a bracket placeholder with a leading
// sigil repeats its line once for each item of the argument's list; a placeholder after
// "--" on its line is optional and turns the commented SQL live when a value is given.
//
// All texts are program text (CP932); the regular expressions run on SharedRegEx.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

inline constexpr int kTemplateArgCount = 5;

// The placeholder names in their fixed order: crop, pest/disease, use, formulation, other.
extern const std::array<const char *, kTemplateArgCount> TemplateArgNames;
// The argument's label in messages ("作物名" ...), program text.
std::string TemplateArgLabel(int index);

// The character class of the nine sigils.
extern const char *const kTemplateSigilClass;

// The SQL of the "#template { ... }" block: leading blank lines dropped, trailing blanks of
// every line dropped, and the first line's indentation taken off every line that has it.
// Empty when the document holds no block.
std::string ExtractTemplateBody(const std::string &document);

// 0 when the body does not name the argument, 2 when it names it outside a "--" comment
// (a value is then required), 1 when it names it only in comments (optional).
int PlaceholderState(const std::string &body, int index);

// One "name=value" per line of the list, with the blanks around "=" and at the line ends
// dropped, and a value of one of the five arguments that begins with a quote mark taken out
// of that quoting (a doubled mark inside stands for one).
std::vector<std::string> NormalizeArgList(const std::string &list);
// The value of the first line named name (without regard to case); found tells whether
// there was one.
std::string ArgListValue(const std::vector<std::string> &lines, const std::string &name,
                         bool *found = nullptr);

// What the template pane fills in from a document: the body, each argument's state and
// its default (empty without one).
struct TPreparedTemplate {
  std::string Body;
  std::array<int, kTemplateArgCount> States{};
  std::array<std::string, kTemplateArgCount> Defaults;
  bool AnyShown() const;
};
TPreparedTemplate PrepareTemplate(const std::string &document);

// True when the line holds a bracket placeholder with a leading sigil for one of the names.
bool LineHasRepeatPlaceholder(const std::vector<std::string> &names, const std::string &line);

// Every "<prefix>name[sigil]>" (prefix "<" or "<" + sigil) of the SQL replaced by the value,
// and a "--" before one on its line dropped so that the commented SQL becomes live. The SQL
// unchanged when it or the value is empty. The value is inserted as it stands.
std::string ReplacePlaceholder(int index, const std::string &sql, const std::string &value,
                               const std::string &prefix);

// The argument inputs, in the fixed order, and how a crop term is widened for the "_" and
// "~" sigils (the query object's DeployCrops; the program-wide one when not set, the term
// itself without a database).
struct TTemplateArgs {
  std::array<std::string, kTemplateArgCount> Inputs;
  std::function<std::string(const std::string &term, char mode)> DeployCrops;
};

// The final SQL of the document with the arguments. A document without a template block
// shows "テンプレートがありません", a required argument left empty "<label>が設定されていません";
// both give the empty text.
std::string ExpandTemplate(const std::string &document, const TTemplateArgs &args);

// One line of an argument file: name = "value", inner double quotes doubled; line breaks of
// a multi-line value become blanks so that the value stays on its line.
std::string ArgFileLine(int index, const std::string &value);

// Template files and argument files as the pane reads them: the bytes of the file with
// every line end made CR LF. False when the file cannot be read.
bool ReadTemplateText(const std::string &path, std::string &text);
