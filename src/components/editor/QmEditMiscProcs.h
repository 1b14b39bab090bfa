// Routines of the SQL editor: ranges, tab expansion, scans over Shift-JIS lines that never
// split a double-byte character, the Japanese character classes for word breaks, colour
// resolution and the gradient fill of the gutter.
//
// Lines are CP932 bytes. Indexes are 1-based byte indexes unless said otherwise.
#pragma once

#include <QColor>
#include <QRect>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "components/editor/QmEditTypes.h"

class QPainter;

// ---- ranges and order ----------------------------------------------------------------

// Value limited to Low..High; when Low > High the lower bound wins.
int ClampToRange(int Value, int Low, int High);
void SwapIntegers(int &A, int &B);
// The point that comes first by line, then by character (P1 when equal).
TBufferPos EarlierPoint(TBufferPos P1, TBufferPos P2);
// A * B / C rounded to the nearest integer (halves away from zero); -1 when C is 0.
int MulDiv(int A, int B, int C);

// ---- tabs ----------------------------------------------------------------------------

// True when the line holds a tab; CharsBefore gets the number of bytes before the first
// tab (the line's length when it has none).
bool ScanForTab(std::string_view Line, int *CharsBefore = nullptr);

// A tab expander gives the line with every tab widened to the cells it covers and tells
// whether the line had tabs. The expanded text has one byte per display column.
using TQmTabExpander = std::string (*)(std::string_view Line, int TabWidth, bool &HasTabs);

// Tab width 1 or less: every tab becomes one space.
std::string ExpandTabsSimple(std::string_view Line, int TabWidth, bool &HasTabs);
// A tab at 0-based column c covers TabWidth - c mod TabWidth columns and is repeated as
// many times; Pow2 serves widths that are powers of two, Any every other width.
std::string ExpandTabsPow2(std::string_view Line, int TabWidth, bool &HasTabs);
std::string ExpandTabsAny(std::string_view Line, int TabWidth, bool &HasTabs);

// True for 2, 4, 8 ... 65536.
bool IsPowerOfTwo(int Value);
TQmTabExpander SelectTabExpander(int TabWidth);

// Display length of a line: a tab advances to the next multiple of the width.
int ExpandedLength(std::string_view Line, int TabWidth);
// The 1-based display column at which the byte at 1-based Index starts; an index past
// the end of the line adds one column per missing byte.
int CharIndexToColumn(int Index, int TabWidth, std::string_view Line);
// Where a column block's edge at display column Column falls in Line, as a 1-based byte
// index: the first character that starts at or after that column. A double-byte
// character or a tab cut by the edge lies after it, so a block never splits a character
// and a text put back at the edge lands where it was taken from. Past the end of the
// line one byte stands for one column. Every column-block operation converts through it.
int ColumnBlockChar(std::string_view Line, int Column, int TabWidth);

// ---- double-byte scans ---------------------------------------------------------------
// A lead byte counts as one only when a byte follows it in the line, so a lead byte that
// ends the line is a character of its own and never swallows what comes after the line.

// True when the byte at 1-based Index is the trail byte of a double-byte character.
bool IsTrailByteAt(std::string_view Line, int Index);
// First index at or after Start whose byte is in Set (Start moved right off a trail
// byte first); double-byte characters never match. 0 when Start lies outside the line
// or nothing matches.
int ScanForCharInSet(std::string_view Line, int Start, const TQmCharSet &Set);
// Last index at or before Start whose single-byte character is in Set, walking whole
// characters from the line start. 0 when nothing matches.
int ReverseScanForCharInSet(std::string_view Line, int Start, const TQmCharSet &Set);
// First index at or after Start where a double-byte character starts (Start moved right
// off a trail byte first); 0 when there is none.
int ScanForLeadByte(std::string_view Line, int Start);
// Last index at or before Start where a double-byte character starts; 0 when none.
int ReverseScanForLeadByte(std::string_view Line, int Start);
// 0-based offset of the first NUL, LF or CR; the text's length when there is none.
std::size_t FindLineEnd(std::string_view Text);
// The text cut into lines at CR, LF and CR LF (one piece more than there are line ends).
std::vector<std::string> SplitTextLines(std::string_view Text);

// ---- Japanese character classes ------------------------------------------------------

// Word-break class 0..9 of a character with the given character-type set 3 flags
// (localemap::C3_*).
int JapaneseCharClass(unsigned Flags);
// The class of the CP932 character that starts at 0-based offset I of Line.
int JapaneseCharClassAt(std::string_view Line, std::size_t I);

// ---- colours and painting ------------------------------------------------------------

// The RGB value (0x00BBGGRR) of a colour, with system colours taken from the application
// palette; clNone and clDefault give black.
TColor ColorToRGB(TColor Color);
QColor ToQColor(TColor Color);
TColor FromQColor(const QColor &Color);

// Fills Rect with Steps bands (limited to 2..256) from StartColor to EndColor, side by
// side along the width when Horizontal, else along the height.
void DrawGradient(QPainter &Canvas, TColor StartColor, TColor EndColor, bool Horizontal,
                  const QRect &Rect, int Steps);
