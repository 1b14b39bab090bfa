// Clause texts for the search SQL, built from user words, picker selections and list items:
// joiners, OR-chains of LIKE and MATCH tests, REGEXP include/exclude pairs for crops, quoted
// lists and IN conditions, the parts of numbered list items, and the date texts and line
// counts of the database build. None of them touches the database.
//
// Word lists: every ASCII blank and every full-width blank separates words like a comma;
// two separators in a row give an empty word. A word is pasted between single quotes with
// its own single quotes doubled, so an apostrophe is searched for.
#pragma once

#include <string>
#include <vector>

// The words of a word list.
std::vector<std::string> SplitWordList(const std::string &words);

// " AND " when both texts are non-empty; " WHERE " when the text is non-empty.
std::string AndIfBoth(const std::string &a, const std::string &b);
std::string WhereIfNotEmpty(const std::string &a);

// field LIKE 'w1' or field LIKE 'w2' ...; empty for no words.
std::string LikeOrCond(const std::string &words, const std::string &field);
// concat('、',field,betsumei) MATCH '%w1%' or ...; empty for no words.
std::string SakumotsuBetsumeiMatchOr(const std::string &words, const std::string &field);
// sakumotsu MATCH 'w1' or ...; empty for no words.
std::string SakumotsuMatchOr(const std::string &words);
// 'w1','w2',...; empty for no words.
std::string QuotedCommaList(const std::string &words);
// '(w1|w2|...)'.
std::string RegexpAlternation(const std::string &words);
// " field IN ('a','b')" for comma text; empty for an empty text or "全て".
std::string InListCond(const std::string &commaText, const std::string &field);

// Include and exclude conditions of a crop list over the crop name with its other names,
// over the crop name alone, and over the names with the reading.
std::string CropRegexpCond(const std::string &crops);
std::string SakumotsuRegexpCond(const std::string &crops);
std::string CropRubyRegexpCond(const std::string &crops);

// The number and the name of a numbered list item ("%5d name").
std::string ComboItemCode(const std::string &item);
std::string ComboItemText(const std::string &item);

// Half-width katakana to full-width katakana.
std::string ToZenkakuKana(const std::string &text);
// A day number (days after 1899-12-30) as "yyyy.mm.dd"; raises Exception when the text is
// not a whole number or the day lies outside the years 1 to 9999.
std::string SerialToDateText(const std::string &dayNumber);
// A date "yyyy/mm/dd" (month and day may have one digit; "m/d" is in the current year;
// a two-digit year falls within fifty years of today) as "yyyy.mm.dd"; raises Exception
// for a text that is no such date.
std::string DateTextNormalize(const std::string &dateText);
// Lines of the text file (a last line without a line end counts); -1 when the file does not
// exist. A read error raises Exception.
int CountTextLines(const std::string &path);
