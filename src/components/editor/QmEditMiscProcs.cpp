#include "components/editor/QmEditMiscProcs.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <algorithm>
#include <cstdlib>

#include "platform/LocaleMap.h"
#include "platform/cp932.h"

// ---- ranges and order ----------------------------------------------------------------

int ClampToRange(int Value, int Low, int High) {
  if (Value > High) Value = High;
  if (Value < Low) Value = Low;
  return Value;
}

void SwapIntegers(int &A, int &B) { std::swap(A, B); }

TBufferPos EarlierPoint(TBufferPos P1, TBufferPos P2) {
  if (P2.Line < P1.Line || (P2.Line == P1.Line && P2.Char < P1.Char)) return P2;
  return P1;
}

int MulDiv(int A, int B, int C) {
  if (C == 0) return -1;
  long long p = static_cast<long long>(A) * B;
  long long q = C;
  bool neg = (p < 0) != (q < 0);
  long long ap = std::llabs(p), aq = std::llabs(q);
  long long r = (ap + aq / 2) / aq;
  return static_cast<int>(neg ? -r : r);
}

// ---- tabs ----------------------------------------------------------------------------

bool ScanForTab(std::string_view Line, int *CharsBefore) {
  std::size_t p = Line.find('\t');
  if (CharsBefore) *CharsBefore = static_cast<int>(p == std::string_view::npos ? Line.size() : p);
  return p != std::string_view::npos;
}

std::string ExpandTabsSimple(std::string_view Line, int, bool &HasTabs) {
  std::string out(Line);
  HasTabs = false;
  for (char &c : out)
    if (c == '\t') {
      c = ' ';
      HasTabs = true;
    }
  return out;
}

// Widens every tab; Cover gives the columns a tab at a 0-based column covers.
template <typename Cover>
static std::string ExpandWith(std::string_view Line, bool &HasTabs, Cover cover) {
  HasTabs = false;
  int first = 0;
  if (!ScanForTab(Line, &first)) return std::string(Line);
  HasTabs = true;
  std::string out;
  out.reserve(Line.size() + 16);
  out.append(Line.substr(0, first));
  for (std::size_t i = first; i < Line.size(); ++i) {
    if (Line[i] == '\t')
      out.append(static_cast<std::size_t>(cover(static_cast<int>(out.size()))), '\t');
    else
      out.push_back(Line[i]);
  }
  return out;
}

std::string ExpandTabsPow2(std::string_view Line, int TabWidth, bool &HasTabs) {
  const int mask = TabWidth - 1;
  return ExpandWith(Line, HasTabs, [&](int col) { return TabWidth - (col & mask); });
}

std::string ExpandTabsAny(std::string_view Line, int TabWidth, bool &HasTabs) {
  return ExpandWith(Line, HasTabs, [&](int col) { return TabWidth - col % TabWidth; });
}

bool IsPowerOfTwo(int Value) {
  for (int v = 2; v <= 65536; v *= 2)
    if (v == Value) return true;
  return false;
}

TQmTabExpander SelectTabExpander(int TabWidth) {
  if (TabWidth <= 1) return &ExpandTabsSimple;
  if (IsPowerOfTwo(TabWidth)) return &ExpandTabsPow2;
  return &ExpandTabsAny;
}

int ExpandedLength(std::string_view Line, int TabWidth) {
  if (TabWidth < 1) TabWidth = 1;
  int col = 0;
  for (char c : Line) col += (c == '\t') ? TabWidth - col % TabWidth : 1;
  return col;
}

int CharIndexToColumn(int Index, int TabWidth, std::string_view Line) {
  if (Index < 2) return 1;
  int first = 0;
  if (TabWidth <= 1 || !ScanForTab(Line, &first) || first + 1 >= Index) return Index;
  const int len = static_cast<int>(Line.size());
  int col = first;  // 0-based column of the first tab
  int p = first;
  for (; p < Index - 1 && p < len; ++p) col += (Line[p] == '\t') ? TabWidth - col % TabWidth : 1;
  if (Index - 1 > len) col += Index - 1 - len;
  return col + 1;
}

int ColumnBlockChar(std::string_view Line, int Column, int TabWidth) {
  const int len = static_cast<int>(Line.size());
  int i = 1, x = 1;  // byte i starts at display column x
  while (i <= len && x < Column) {
    const std::size_t n = cp932::CharLen(Line, static_cast<std::size_t>(i - 1));
    if (Line[static_cast<std::size_t>(i - 1)] == '\t' && TabWidth > 1)
      x += TabWidth - (x - 1) % TabWidth;
    else
      x += static_cast<int>(n);
    i += static_cast<int>(n);
  }
  return x < Column ? i + (Column - x) : i;
}

// ---- double-byte scans ---------------------------------------------------------------

// 0-based offset at which a scan starting at 1-based Start begins: moved right off a
// trail byte. npos when Start lies outside the line.
static std::size_t ScanStart(std::string_view Line, int Start) {
  if (Start < 1 || static_cast<std::size_t>(Start) > Line.size()) return std::string_view::npos;
  std::size_t i = static_cast<std::size_t>(Start) - 1;
  return cp932::IsCharBoundary(Line, i) ? i : i + 1;
}

bool IsTrailByteAt(std::string_view Line, int Index) {
  if (Index < 1 || static_cast<std::size_t>(Index) > Line.size()) return false;
  return !cp932::IsCharBoundary(Line, static_cast<std::size_t>(Index) - 1);
}

int ScanForCharInSet(std::string_view Line, int Start, const TQmCharSet &Set) {
  for (std::size_t p = ScanStart(Line, Start); p < Line.size(); p += cp932::CharLen(Line, p))
    if (cp932::CharLen(Line, p) == 1 && Set[static_cast<unsigned char>(Line[p])])
      return static_cast<int>(p) + 1;
  return 0;
}

int ReverseScanForCharInSet(std::string_view Line, int Start, const TQmCharSet &Set) {
  int found = 0;
  const std::size_t end = std::min<std::size_t>(Start < 0 ? 0 : Start, Line.size());
  for (std::size_t p = 0; p < end; p += cp932::CharLen(Line, p))
    if (cp932::CharLen(Line, p) == 1 && Set[static_cast<unsigned char>(Line[p])])
      found = static_cast<int>(p) + 1;
  return found;
}

int ScanForLeadByte(std::string_view Line, int Start) {
  for (std::size_t p = ScanStart(Line, Start); p < Line.size(); p += cp932::CharLen(Line, p))
    if (cp932::CharLen(Line, p) == 2) return static_cast<int>(p) + 1;
  return 0;
}

int ReverseScanForLeadByte(std::string_view Line, int Start) {
  int found = 0;
  const std::size_t end = std::min<std::size_t>(Start < 0 ? 0 : Start, Line.size());
  for (std::size_t p = 0; p < end; p += cp932::CharLen(Line, p))
    if (cp932::CharLen(Line, p) == 2) found = static_cast<int>(p) + 1;
  return found;
}

std::size_t FindLineEnd(std::string_view Text) {
  std::size_t i = 0;
  while (i < Text.size() && Text[i] != '\0' && Text[i] != '\n' && Text[i] != '\r') ++i;
  return i;
}

std::vector<std::string> SplitTextLines(std::string_view Text) {
  std::vector<std::string> out;
  std::size_t from = 0;
  for (std::size_t i = 0; i < Text.size(); ++i) {
    if (Text[i] != '\r' && Text[i] != '\n') continue;
    out.emplace_back(Text.substr(from, i - from));
    if (Text[i] == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
    from = i + 1;
  }
  out.emplace_back(Text.substr(from));
  return out;
}

// ---- Japanese character classes ------------------------------------------------------

int JapaneseCharClass(unsigned Flags) {
  using namespace localemap;
  if (Flags == C3_SYMBOL) return 9;
  if (Flags & C3_HALFWIDTH) {
    if (Flags == C3_HALFWIDTH || Flags == (C3_HALFWIDTH | C3_ALPHA)) return 1;
    if (Flags & (C3_SYMBOL | C3_LEXICAL)) return 2;
    if (Flags & C3_KATAKANA) return 3;
    return 0;
  }
  if (Flags == C3_FULLWIDTH || Flags == (C3_FULLWIDTH | C3_ALPHA)) return 4;
  if (Flags & (C3_SYMBOL | C3_LEXICAL)) return 5;
  if (Flags & C3_KATAKANA) return 6;
  if (Flags & C3_HIRAGANA) return 7;
  if (Flags & C3_IDEOGRAPH) return 8;
  return 0;
}

int JapaneseCharClassAt(std::string_view Line, std::size_t I) {
  if (I >= Line.size()) return 0;
  return JapaneseCharClass(localemap::CharType3(cp932::DecodeChar(Line, I)));
}

// ---- colours and painting ------------------------------------------------------------

TColor ColorToRGB(TColor Color) {
  if (Color == clNone || Color == clDefault) return clBlack;
  if ((static_cast<std::uint32_t>(Color) & 0xFF000000u) != 0xFF000000u)
    return static_cast<TColor>(static_cast<std::uint32_t>(Color) & 0xFFFFFF);
  const QPalette pal = QGuiApplication::palette();
  QPalette::ColorRole role = QPalette::Window;
  QPalette::ColorGroup group = QPalette::Active;
  switch (static_cast<std::uint32_t>(Color) & 0xFF) {
    case 5: role = QPalette::Base; break;
    case 8: role = QPalette::Text; break;
    case 13: role = QPalette::Highlight; break;
    case 14: role = QPalette::HighlightedText; break;
    case 15: role = QPalette::Button; break;
    case 16: role = QPalette::Mid; break;
    case 17: role = QPalette::Text; group = QPalette::Disabled; break;
    case 18: role = QPalette::ButtonText; break;
    case 20: role = QPalette::Light; break;
    case 23: role = QPalette::ToolTipText; break;
    case 24: role = QPalette::ToolTipBase; break;
    default: role = QPalette::Window; break;
  }
  return FromQColor(pal.color(group, role));
}

QColor ToQColor(TColor Color) {
  const std::uint32_t rgb = static_cast<std::uint32_t>(ColorToRGB(Color));
  return QColor(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF);
}

TColor FromQColor(const QColor &Color) {
  return static_cast<TColor>(unsigned(Color.red()) | unsigned(Color.green()) << 8 |
                             unsigned(Color.blue()) << 16);
}

void DrawGradient(QPainter &Canvas, TColor StartColor, TColor EndColor, bool Horizontal,
                  const QRect &Rect, int Steps) {
  Steps = ClampToRange(Steps, 2, 256);
  const std::uint32_t s = static_cast<std::uint32_t>(ColorToRGB(StartColor));
  const std::uint32_t e = static_cast<std::uint32_t>(ColorToRGB(EndColor));
  const int extent = Horizontal ? Rect.width() : Rect.height();
  for (int i = 0; i < Steps; ++i) {
    int channel[3];
    for (int k = 0; k < 3; ++k) {
      const int a = static_cast<int>((s >> (8 * k)) & 0xFF), b = static_cast<int>((e >> (8 * k)) & 0xFF);
      channel[k] = (a + MulDiv(i, b - a, Steps - 1)) & 0xFF;
    }
    const int from = MulDiv(i, extent, Steps), to = MulDiv(i + 1, extent, Steps);
    QRect band = Horizontal ? QRect(Rect.left() + from, Rect.top(), to - from, Rect.height())
                            : QRect(Rect.left(), Rect.top() + from, Rect.width(), to - from);
    if (band.isEmpty()) continue;
    Canvas.fillRect(band, QColor(channel[0], channel[1], channel[2]));
  }
}
