// The program's own SQL functions, registered on every connection, and the filter every
// SQL text passes on its way to SQLite.
//
//   strconv(text [, flags])             text folded by StrConv
//   match(pattern, subject [, flags])   folded comparison with a leading and/or trailing %
//   regexp(pattern, subject [, flags])  folded regular-expression match
//   concat(sep, v1, v2, ...)            items joined once each (aggregate with two arguments)
//   concat2(sep, v1, v2, ...)           values joined as they are (aggregate with two arguments)
//   re_replace(pattern, subject, repl)  every match replaced by the template
//   extnum(unit, subject [, default])   the number before the unit, as a float
//   ifnullstr(value, replacement)       the replacement for NULL or empty
//   if(condition, then [, else])
//   explode(sep, text, index)           item index (from 1) of the split text
//   like_in(value, p1, p2, ...)         1 when a pattern (x, x%, %x, %x%) fits the value
//
// Folding flags: the letters K (katakana to hiragana, full-width letters, digits and signs
// to half width), C (lower case), W (full width to half width) and V (as K, and further the
// full-width hyphen-minus and the long-vowel mark dropped, small, voiced and semi-voiced
// kana folded to plain kana), in any case and order; empty or missing means "KCWV".
//
// In SQL that passes ToSqliteText, preconv('text' [, 'flags']) is replaced by the literal
// of the folded text, so that a constant is folded once in the client.
#pragma once

#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_context;
struct sqlite3_value;
class TPcreRegEx;

// Registers the eleven functions on the connection, each for UTF-8 and UTF-16 text; regexp,
// re_replace and extnum use the connection's own regular-expression object. A registration
// that SQLite refuses raises ESQLiteException 'Failed to register SQL function "<name>" : <reason>'.
void RegisterSqlFunctions(sqlite3 *db, TPcreRegEx *regex);

// Fails the running SQL function with the exception being handled: a lack of memory as
// SQLite's own out-of-memory error, another failure with its message. Call it from a catch.
void FailSqlFunction(sqlite3_context *ctx) noexcept;

// Every SQL function of the program is registered through these, so that no exception
// (std::bad_alloc included) unwinds through SQLite.
template <void (*F)(sqlite3_context *, int, sqlite3_value **)>
void GuardedSqlFunction(sqlite3_context *ctx, int argc, sqlite3_value **argv) noexcept {
  try {
    F(ctx, argc, argv);
  } catch (...) {
    FailSqlFunction(ctx);
  }
}
template <void (*F)(sqlite3_context *)>
void GuardedSqlFinal(sqlite3_context *ctx) noexcept {
  try {
    F(ctx);
  } catch (...) {
    FailSqlFunction(ctx);
  }
}

// Folds UTF-8 text by the flags; the result is program text (CP932).
std::string StrConv(std::string_view text_utf8, std::string_view flags);
// The same folding with the result in UTF-8.
std::string StrConvToUtf8(std::string_view text_utf8, std::string_view flags);

// Program text to the UTF-8 SQL that is prepared, with preconv expanded.
std::string ToSqliteText(const std::string &sql);
// UTF-8 from SQLite to program text.
std::string FromSqliteText(std::string_view text_utf8);
// Replaces each preconv('text') and preconv('text', 'flags') in UTF-8 SQL by a quoted
// literal of the folded text.
std::string ExpandPreconv(const std::string &sql_utf8);
