// Word wrap for the SQL editor.
#include "components/editor/QmEditWordWrap.h"

#include <algorithm>

#include "engine/Exception.h"
#include "platform/cp932.h"

namespace {

constexpr int kMaxRow = 255;  // a row length is one byte

void Check(bool Condition, const char *What) {
  if (!Condition) throw EAssertionFailed(std::string("REQUIRE: ") + What);
}

bool IsBlank(unsigned char c) { return c == ' ' || c == '\t'; }

// True when offset Pos lies inside a double-byte character, walking from Start (a
// character boundary).
bool InsideChar(std::string_view Text, std::size_t Start, std::size_t Pos) {
  std::size_t i = Start;
  while (i < Pos) i = cp932::NextChar(Text, i);
  return i > Pos;
}

}  // namespace

TQmWordWrapPlugin::TQmWordWrapPlugin(IQmWordWrapEditor *Editor) : FEditor(Editor) {
  if (!Editor) throw Exception("TQmWordWrapPlugin must be owned by TCustomQmEdit");
  Reset();
}

// Rows of one line, from its tab-expanded text.
void TQmWordWrapPlugin::WrapLine(int Index, std::vector<std::uint8_t> &Rows) const {
  Rows.clear();
  const std::string text = FEditor->Lines().ExpandedLineText(Index);
  const std::string_view t(text);
  const std::size_t e = t.size();
  const int tabWidth = std::max(1, FEditor->Lines().TabWidth());
  std::size_t s = 0;
  for (std::size_t c = s + FMaxRowLength; c < e; c = s + FMaxRowLength) {
    std::size_t end;
    if (IsBlank(static_cast<unsigned char>(t[c]))) {
      // Blanks at the break stay on the row.
      end = c;
      while (end < e && IsBlank(static_cast<unsigned char>(t[end]))) ++end;
    } else {
      // After the last break character, unless that would leave the row too short.
      std::size_t p = c;
      while (p > s && !FBreakChars[static_cast<unsigned char>(t[p - 1])]) --p;
      end = (p > s && (p - 1) - s > FMinRowLength) ? p : c;
    }
    if (end - s > kMaxRow) {
      end = s + kMaxRow;
      std::size_t limit = s + kMaxRow - (kMaxRow % tabWidth);
      while (end > limit && t[end - 1] == '\t') --end;
      // A tab wider than a row cannot move down whole: the row keeps its 255 bytes.
      if (end == s) end = s + kMaxRow;
    }
    if (end > s && InsideChar(t, s, end)) --end;
    // A row holds at least one whole character, however narrow the window.
    if (end <= s) end = cp932::NextChar(t, s);
    Rows.push_back(static_cast<std::uint8_t>(end - s));
    s = end;
  }
  if (s < e || e == 0) Rows.push_back(static_cast<std::uint8_t>(e - s));
}

void TQmWordWrapPlugin::ReserveLines(std::size_t Needed) {
  if (Needed > FLineOffsets.capacity()) FLineOffsets.reserve(Needed / 256 * 256 + 256);
}

void TQmWordWrapPlugin::ReserveRows(std::size_t Needed) {
  if (Needed > FRowLengths.capacity()) FRowLengths.reserve(Needed / 512 * 512 + 512);
}

// Wraps line Index again and moves the rows of the lines after it; returns the change in
// the number of rows.
int TQmWordWrapPlugin::RewrapLine(int Index) {
  FNear = {};
  std::vector<std::uint8_t> rows;
  WrapLine(Index, rows);
  const int first = RowStart(Index);
  const int oldCount = FLineOffsets[Index] - first;
  const int newCount = static_cast<int>(rows.size());
  const int diff = newCount - oldCount;
  if (diff > 0) {
    ReserveRows(FRowLengths.size() + static_cast<std::size_t>(diff));
    FRowLengths.insert(FRowLengths.begin() + first + oldCount, static_cast<std::size_t>(diff), 0);
  } else if (diff < 0) {
    FRowLengths.erase(FRowLengths.begin() + first + newCount,
                      FRowLengths.begin() + first + oldCount);
  }
  std::copy(rows.begin(), rows.end(), FRowLengths.begin() + first);
  if (diff != 0)
    for (std::size_t i = static_cast<std::size_t>(Index); i < FLineOffsets.size(); ++i)
      FLineOffsets[i] += diff;
  return diff;
}

void TQmWordWrapPlugin::Reset() {
  const int chars = FEditor->CharsInWindow();
  Check(chars >= 0, "CharsInWindow >= 0");
  FMaxRowLength = static_cast<std::uint8_t>(std::min(chars, kMaxRow));
  FMinRowLength = static_cast<std::uint8_t>(std::max(1, FMaxRowLength - FMaxRowLength / 3));
  FBreakChars = ~FEditor->WordChars();

  FLineOffsets.clear();
  FRowLengths.clear();
  FNear = {};
  const TQmEditStringList &lines = FEditor->Lines();
  if (lines.Count() == 0 || FMaxRowLength == 0) {
    FLineOffsets.shrink_to_fit();
    FRowLengths.shrink_to_fit();
    return;
  }
  ReserveLines(static_cast<std::size_t>(lines.Count()));
  std::size_t worst = 0;
  for (int i = 0; i < lines.Count(); ++i)
    worst += static_cast<std::size_t>(std::max(0, lines.ExpandedLineLength(i) - 1) / FMinRowLength + 1);
  ReserveRows(worst);
  std::vector<std::uint8_t> rows;
  for (int i = 0; i < lines.Count(); ++i) {
    WrapLine(i, rows);
    FRowLengths.insert(FRowLengths.end(), rows.begin(), rows.end());
    FLineOffsets.push_back(static_cast<std::int32_t>(FRowLengths.size()));
  }
}

void TQmWordWrapPlugin::DisplayChanged() {
  if (std::min(FEditor->CharsInWindow(), kMaxRow) != FMaxRowLength) Reset();
}

int TQmWordWrapPlugin::LinesInserted(int Index, int Count) {
  if (FMaxRowLength == 0) return 0;
  Check(Index >= 0 && Index <= LineCount(), "0 <= Index <= LineCount");
  if (Count <= 0) return 0;
  FNear = {};
  ReserveLines(FLineOffsets.size() + static_cast<std::size_t>(Count));
  const std::int32_t before = RowStart(Index);
  FLineOffsets.insert(FLineOffsets.begin() + Index, static_cast<std::size_t>(Count), before);
  int added = 0;
  for (int i = Index; i < Index + Count; ++i) added += RewrapLine(i);
  return added;
}

int TQmWordWrapPlugin::LinesDeleted(int Index, int Count) {
  if (FMaxRowLength == 0) return 0;
  Check(Index >= 0 && Count >= 0 && Index + Count <= LineCount(),
        "0 <= Index and Index + Count <= LineCount");
  if (Count == 0) return 0;
  FNear = {};
  const int firstRow = RowStart(Index);
  const int endRow = FLineOffsets[Index + Count - 1];
  const int removed = endRow - firstRow;
  FRowLengths.erase(FRowLengths.begin() + firstRow, FRowLengths.begin() + endRow);
  FLineOffsets.erase(FLineOffsets.begin() + Index, FLineOffsets.begin() + Index + Count);
  for (std::size_t i = static_cast<std::size_t>(Index); i < FLineOffsets.size(); ++i)
    FLineOffsets[i] -= removed;
  return removed;
}

int TQmWordWrapPlugin::LinesChanged(int Index, int Count) {
  if (FMaxRowLength == 0) return 0;
  Check(Index >= 0 && Count >= 0 && Index + Count <= LineCount(),
        "0 <= Index and Index + Count <= LineCount");
  int diff = 0;
  for (int i = Index; i < Index + Count; ++i) diff += RewrapLine(i);
  return diff;
}

int TQmWordWrapPlugin::RowLength(int Row) const {
  if (Row < 1 || Row > RowCount())
    throw EListError(cp932::FromUtf8("リストのインデックスが範囲を超えています (" +
                                     std::to_string(Row) + ")"));
  return FRowLengths[static_cast<std::size_t>(Row - 1)];
}

int TQmWordWrapPlugin::LineFirstRow(int Line) const {
  if (Line < 1 || Line > LineCount()) return 0;
  return RowStart(Line - 1) + 1;
}

int TQmWordWrapPlugin::LineRowCount(int Line) const {
  if (Line < 1 || Line > LineCount()) return 0;
  return FLineOffsets[Line - 1] - RowStart(Line - 1);
}

TQmWordWrapPlugin::TNearRow TQmWordWrapPlugin::StartRow(int Index) const {
  if (FNear.Line == Index) return FNear;
  return {Index, RowStart(Index), 0};
}

TDisplayPos TQmWordWrapPlugin::BufferToDisplayPos(const TBufferPos &Pos) const {
  Check(Pos.Char >= 1 && Pos.Line >= 1, "Pos.Char >= 1 and Pos.Line >= 1");
  if (Pos.Line > LineCount()) return {Pos.Char, RowCount() + Pos.Line - LineCount()};
  const int first = RowStart(Pos.Line - 1), last = FLineOffsets[Pos.Line - 1] - 1;
  auto len = [this](int r) { return static_cast<int>(FRowLengths[static_cast<std::size_t>(r)]); };
  // The row is the first whose end reaches the column.
  TNearRow n = StartRow(Pos.Line - 1);
  while (n.Row > first && n.Before >= Pos.Char) n.Before -= len(--n.Row);
  while (n.Row <= last && n.Before + len(n.Row) < Pos.Char) n.Before += len(n.Row++);
  if (n.Row > last) {
    // Beyond the whole line: on its last row, past that row's end.
    n.Before -= len(--n.Row);
    FNear = n;
    return {Pos.Char - n.Before, last + 1};
  }
  FNear = n;
  return {Pos.Char - n.Before, n.Row + 1};
}

TBufferPos TQmWordWrapPlugin::DisplayToBufferPos(const TDisplayPos &Pos) const {
  Check(Pos.Column >= 1 && Pos.Row >= 1, "Pos.Column >= 1 and Pos.Row >= 1");
  if (Pos.Row > RowCount()) return {Pos.Column, Pos.Row + LineCount() - RowCount()};
  // The line is the first whose offset reaches the row.
  const int lineIndex = static_cast<int>(
      std::lower_bound(FLineOffsets.begin(), FLineOffsets.end(), Pos.Row) - FLineOffsets.begin());
  const int row = Pos.Row - 1;
  const bool lastRow = row == FLineOffsets[lineIndex] - 1;
  const int limit = lastRow ? FMaxRowLength + 1 : FRowLengths[static_cast<std::size_t>(row)] + 1;
  TNearRow n = StartRow(lineIndex);
  while (n.Row < row) n.Before += FRowLengths[static_cast<std::size_t>(n.Row++)];
  while (n.Row > row) n.Before -= FRowLengths[static_cast<std::size_t>(--n.Row)];
  FNear = n;
  return {std::min(Pos.Column, limit) + n.Before, lineIndex + 1};
}
