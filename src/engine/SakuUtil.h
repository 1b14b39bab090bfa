// Crop names and crop lists as comparable reading keys and as the regular-expression
// literals the crop conditions of the search SQL use, with the small list, bracket,
// quoting and escaping routines that go with them. Every routine takes and returns program
// text (CP932); the regular-expression ones run on SharedRegEx over the UTF-8 form.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/PcreRegEx.h"

// ---- lists

// Splits a list the way the crop lists and pickers write them: items end at the delimiter
// or at an unquoted blank or control character; an item that starts with the quote
// character runs to the closing quote (a doubled quote inside stands for one); two
// delimiters in a row give an empty item, and a delimiter at the very end a final one.
std::vector<std::string> SplitDelimitedText(std::string_view text, char delimiter = ',',
                                            char quote = '"');
// Joins items as comma text: an item holding a blank, a control character, a comma or a
// double quote is put in double quotes (inner double quotes doubled).
std::string JoinCommaText(const std::vector<std::string> &items);

// Every occurrence of from replaced by to; an occurrence starts on a character.
std::string ReplaceAllText(std::string_view text, std::string_view from, std::string_view to);

// ---- regular expressions on the shared object

// "i" caseless, "m" multi-line, "s" single-line, "x" extended; other letters are ignored.
TPcreRegExOptions RegexModifierOptions(std::string_view modifiers);
// Replaces the first match of the pattern (every match with "g" among the modifiers) by the
// template (group references $n and the rest). A pattern that does not compile raises.
std::string RegexReplaceText(const std::string &text, const std::string &pattern,
                             const std::string &modifiers, const std::string &replacement);
// True when the pattern matches; Groups (when given) is cleared and, on a match, receives
// the texts of group 0 to the last group.
bool RegexMatchText(const std::string &text, const std::string &pattern,
                    const std::string &modifiers, std::vector<std::string> *Groups = nullptr);

// ---- crop lists and patterns

// The first item of a list quoted with single quotes ("'x,y',z" gives "x").
std::string FirstListItem(const std::string &list);
// The items joined by "|", quote marks dropped, full-width regex signs escaped (（ -> \().
std::string ListToRegexAlternation(const std::string &list);
// ( ) [ ] each preceded by a backslash.
std::string EscapeBrackets(std::string_view text);
// ( ) [ ] to （ ） ［ ］, and back.
std::string ToZenkakuBrackets(std::string_view text);
std::string ToHankakuBrackets(std::string_view text);
// The literal for a crop condition. Mode "%" includes, "!" excludes (the list written in a
// bracketed list ending in を除く); "#" gives the first crop with full-width brackets, "="
// an anchored pattern of the first crop, ":", "_" and "~" an alternation between "、"
// marks. Switch adds 露地 to an exclusion of 施設 or 水耕. Every mode but "#" comes back
// quoted for SQL.
std::string CropRegexLiteral(const std::string &list, char mode, bool sw = false);
// Each item that is one of the short readings becomes its guarded pattern.
std::string KanaWordGuards(const std::string &list);
// Free text of crop names (blank or comma separated) to a comma list of reading keys.
std::string NormalizeCropList(const std::string &text);
// Full width, hiragana, upper case, small/voiced kana and long-vowel marks folded,
// full-width brackets to ASCII.
std::string KanaSearchKey(const std::string &text);
// One crop name to its reading pattern (cultivation words as an open bracketed qualifier).
std::string NormalizeCropName(const std::string &name);
// The list's items each in single quotes, joined by "," (quote marks inside are dropped);
// the empty text for an empty list.
std::string QuoteListForSql(const std::string &list);
// & < > and the double quote as entities.
std::string HtmlEscape(std::string_view text);
