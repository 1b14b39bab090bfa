// The editor's caret, selection block and text insertion.
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <algorithm>

#include "components/editor/QmEdit.h"
#include "components/qtext.h"
#include "platform/cp932.h"

namespace {

int Len(const std::string &s) { return static_cast<int>(s.size()); }

// The byte index (1-based) that display column Column of Line falls on: a column inside
// a tab gives the tab, a column past the end one byte per missing column.
int ColumnToCharRaw(std::string_view Line, int Column, int TabWidth) {
  // Up to the first tab each byte is one column, so only the part from there is walked:
  // a column far into a long line without tabs costs no walk at all.
  int first = 0;
  if (TabWidth <= 1 || !ScanForTab(Line, &first) || first >= Column) return std::max(Column, 1);
  int x = first, i = first;
  const int len = static_cast<int>(Line.size());
  while (x < Column) {
    ++i;
    if (i <= len && Line[static_cast<std::size_t>(i - 1)] == '\t' && TabWidth > 1)
      x += TabWidth - x % TabWidth;
    else
      ++x;
  }
  return std::max(i, 1);
}

}  // namespace

// ---- coordinates -----------------------------------------------------------------------

// Both conversions read the line in place: painting converts once per visible row, and
// a copy of a long line each time would cost more than the row.
TDisplayPos TCustomQmEdit::BufferToDisplayPos(const TBufferPos &P) const {
  const int column = CharIndexToColumn(P.Char, FTabWidth, (*FLines)[P.Line - 1]);
  if (FWordWrap) return FWordWrap->BufferToDisplayPos({column, P.Line});
  return {column, P.Line};
}

TBufferPos TCustomQmEdit::DisplayToBufferPos(const TDisplayPos &P) const {
  TBufferPos b = FWordWrap ? FWordWrap->DisplayToBufferPos(P) : TBufferPos{P.Column, P.Row};
  // Moved right off a trail byte.
  int c = ColumnToCharRaw((*FLines)[b.Line - 1], b.Char, FTabWidth);
  if (FLines->IsTrailByte(b.Line - 1, c)) ++c;
  return {c, b.Line};
}

// Rows and lines map through their first columns, which need no look at the text.
int TCustomQmEdit::LineToRow(int Line) const {
  return FWordWrap ? FWordWrap->BufferToDisplayPos({1, Line}).Row : Line;
}

int TCustomQmEdit::RowToLine(int Row) const {
  return FWordWrap ? FWordWrap->DisplayToBufferPos({1, Row}).Line : Row;
}

int TCustomQmEdit::DisplayLineCount() const {
  if (FLines->Count() == 0) return 0;
  return FWordWrap ? FWordWrap->RowCount() : FLines->Count();
}

// ---- caret -----------------------------------------------------------------------------

TDisplayPos TCustomQmEdit::DisplayXY() const {
  TDisplayPos d = BufferToDisplayPos(CaretXY());
  if (FWordWrap && FCaretAtEndOfRow) {
    if (d.Column == 1 && d.Row > 1) {
      d.Row -= 1;
      d.Column = FWordWrap->RowLength(d.Row) + 1;
    } else {
      const_cast<TCustomQmEdit *>(this)->FCaretAtEndOfRow = false;
    }
  }
  return d;
}

void TCustomQmEdit::UpdateLastCaretX() {
  FCaretShiftedOffTrail = false;
  FLastCaretX = DisplayX();
}

void TCustomQmEdit::SetCaretX(int Value) { InternalSetCaretXY({Value, FCaretY}); }
void TCustomQmEdit::SetCaretY(int Value) { InternalSetCaretXY({FCaretX, Value}); }
void TCustomQmEdit::InternalSetCaretXY(const TBufferPos &Value) { SetCaretXYEx(true, Value); }

void TCustomQmEdit::SetCaretXY(const TBufferPos &Value) {
  InternalSetCaretXY(Value);
  SetBlockBegin(CaretXY());
  StatusChanged(scSelection);
}

void TCustomQmEdit::SetCaretXYEx(bool EnsureVisible, TBufferPos Value) {
  FCaretAtEndOfRow = false;
  DoOnPaintTransient(ttBefore, false);
  int maxX = FWordWrap ? 0x7FFFFFFF : FMaxScrollWidth + 1;
  const int count = FLines->Count();
  if (Value.Line > count) Value.Line = count;
  if (Value.Line < 1) Value.Line = 1;
  if (!HasOption(eoScrollPastEol))
    maxX = count > 0 ? Len(FLines->Get(Value.Line - 1)) + 1 : 1;
  if (Value.Char > maxX && (!HasOption(eoScrollPastEol) || !HasOption(eoAutoSizeMaxScrollWidth)))
    Value.Char = maxX;
  if (Value.Char < 1) Value.Char = 1;
  if (Value.Char == FCaretX && Value.Line == FCaretY) {
    UpdateLastCaretX();
  } else {
    WithPaintLock([&] {
      if (Value.Char != FCaretX) {
        FCaretX = Value.Char;
        StatusChanged(scCaretX);
      }
      if (Value.Line != FCaretY) {
        if (FActiveLineColor != clNone) {
          InvalidateLine(Value.Line);
          InvalidateLine(FCaretY);
        }
        FCaretY = Value.Line;
        StatusChanged(scCaretY);
      }
      UpdateLastCaretX();
      if (EnsureVisible) EnsureCursorPosVisible();
      FCaretPending = true;
      FScrollBarsPending = true;
    });
  }
  DoOnPaintTransient(ttAfter, false);
}

// ---- block -----------------------------------------------------------------------------

void TCustomQmEdit::ClampPosition(TBufferPos &P) const {
  if (HasOption(eoScrollPastEol) && !FWordWrap)
    P.Char = ClampToRange(P.Char, 1, FMaxScrollWidth + 1);
  else
    P.Char = std::max(P.Char, 1);
  P.Line = ClampToRange(P.Line, 1, FLines->Count());
  if (FActiveSelectionMode == smNormal) {
    if (P.Line >= 1 && P.Line <= FLines->Count())
      P.Char = std::min(P.Char, Len(FLines->Get(P.Line - 1)) + 1);
    else
      P.Char = 1;
  }
}

TBufferPos TCustomQmEdit::BlockStart() const { return EarlierPoint(FBlockBegin, FBlockEnd); }

TBufferPos TCustomQmEdit::BlockFinish() const {
  return EarlierPoint(FBlockBegin, FBlockEnd) == FBlockBegin ? FBlockEnd : FBlockBegin;
}

bool TCustomQmEdit::HasSelection() const {
  return FBlockBegin.Char != FBlockEnd.Char ||
         (FBlockBegin.Line != FBlockEnd.Line && FActiveSelectionMode != smColumn);
}

bool TCustomQmEdit::SelectionSpansLines() const {
  return FBlockBegin.Line != FBlockEnd.Line && FActiveSelectionMode != smColumn;
}

bool TCustomQmEdit::SelectionIsFullLine() const {
  return BlockStart().Char == 1 && BlockFinish().Char > Len(LineText());
}

void TCustomQmEdit::SetBlockBegin(TBufferPos Value) {
  FActiveSelectionMode = FSelectionMode;
  ClampPosition(Value);
  if (HasSelection()) {
    const int first = std::min(FBlockBegin.Line, Value.Line);
    const int last = std::max(FBlockEnd.Line, Value.Line);
    FBlockBegin = FBlockEnd = Value;
    InvalidateLines(first, last);
    StatusChanged(scSelection);
  } else {
    const bool changed = !(FBlockBegin == Value && FBlockEnd == Value);
    FBlockBegin = FBlockEnd = Value;
    if (changed) StatusChanged(scSelection);
  }
}

void TCustomQmEdit::SetBlockEnd(TBufferPos Value) {
  if (HasOption(eoNoSelection)) return;
  FActiveSelectionMode = FSelectionMode;
  ClampPosition(Value);
  if (!(Value == FBlockEnd) && Value.Line >= 1 && Value.Line <= FLines->Count()) {
    if (Value.Char <= Len((*FLines)[Value.Line - 1]) && FLines->IsTrailByte(Value.Line - 1, Value.Char)) --Value.Char;
  }
  if (!(Value == FBlockEnd)) {
    if (FActiveSelectionMode == smColumn && Value.Char != FBlockEnd.Char) {
      const int first = std::min({FBlockBegin.Line, FBlockEnd.Line, Value.Line});
      const int last = std::max({FBlockBegin.Line, FBlockEnd.Line, Value.Line});
      FBlockEnd = Value;
      InvalidateLines(first, last);
    } else {
      const TBufferPos old = FBlockEnd;
      FBlockEnd = Value;
      if (FActiveSelectionMode != smColumn || FBlockBegin.Char != FBlockEnd.Char)
        InvalidateLines(std::min(old.Line, Value.Line), std::max(old.Line, Value.Line));
    }
    StatusChanged(scSelection);
  }
}

void TCustomQmEdit::SetSelectionMode(TQmSelectionMode Value) {
  if (FSelectionMode != Value) FSelectionMode = Value;
  SetActiveSelectionMode(Value);
}

void TCustomQmEdit::SetActiveSelectionMode(TQmSelectionMode Value) {
  if (FActiveSelectionMode == Value) return;
  InvalidateSelection();
  FActiveSelectionMode = Value;
  InvalidateSelection();
  StatusChanged(scSelection);
}

bool TCustomQmEdit::IsPointInSelection(const TBufferPos &P) const {
  const TBufferPos s = BlockStart(), f = BlockFinish();
  if (P.Line < s.Line || P.Line > f.Line) return false;
  if (s.Line == f.Line && s.Char == f.Char) return false;
  switch (FActiveSelectionMode) {
    case smLine:
      return true;
    case smColumn: {
      const int a = std::min(s.Char, f.Char), b = std::max(s.Char, f.Char);
      return P.Char >= a && P.Char < b;
    }
    default:
      if (P.Line == s.Line && P.Char < s.Char) return false;
      if (P.Line == f.Line && P.Char >= f.Char) return false;
      return true;
  }
}

// ---- caret moves -----------------------------------------------------------------------

void TCustomQmEdit::MoveCaretAndSelection(const TBufferPos &PtBefore, const TBufferPos &PtAfter,
                                          bool SelectionCommand) {
  if (HasOption(eoGroupUndo) && FUndoList->HasItems()) FUndoList->AppendGroupBreak();
  WithPaintLock([&] {
    if (SelectionCommand) {
      if (!HasSelection()) SetBlockBegin(PtBefore);
      SetBlockEnd(PtAfter);
    } else {
      SetBlockBegin(PtAfter);
    }
    InternalSetCaretXY(PtAfter);
  });
}

void TCustomQmEdit::SetCaretAndSelection(const TBufferPos &Caret, const TBufferPos &Begin,
                                         const TBufferPos &End) {
  const TQmSelectionMode mode = FActiveSelectionMode;
  IncPaintLock();
  const TQmScopeExit unlock([this, mode] {
    FActiveSelectionMode = mode;
    DecPaintLock();
  });
  InternalSetCaretXY(Caret);
  SetBlockBegin(Begin);
  SetBlockEnd(End);
}

void TCustomQmEdit::MoveCaretHorz(int DX, bool SelectionCommand) {
  if (FWordWrap) {
    if (DX <= 0) {
      if (!FCaretAtEndOfRow && FCaretX > 1 && DisplayX() == 1) {
        FCaretAtEndOfRow = true;
        UpdateLastCaretX();
        const TDisplayPos d = DisplayXY();
        if (FCharsInWindow + 1 < d.Column)
          SetInternalDisplayXY({FCharsInWindow + 1, d.Row});
        else
          UpdateCaret();
        return;
      }
    } else if (FCaretAtEndOfRow) {
      FCaretAtEndOfRow = false;
      UpdateLastCaretX();
      UpdateCaret();
      return;
    }
  }
  const std::string line = LineText();
  const int len = Len(line);
  TBufferPos dst = CaretXY();
  if (!HasOption(eoScrollPastEol) && DX == -1 && FCaretX == 1 && FCaretY > 1) {
    dst = {Len(FLines->Get(FCaretY - 2)) + 1, FCaretY - 1};
  } else if (!HasOption(eoScrollPastEol) && DX == 1 && FCaretX > len && FCaretY < FLines->Count()) {
    dst = {1, FCaretY + 1};
  } else {
    int x = std::max(1, FCaretX + DX);
    if (DX > 0 && !HasOption(eoScrollPastEol)) x = std::min(x, len + 1);
    if (x > 1 && x <= len && FLines->IsTrailByte(FCaretY - 1, x)) x += DX < 0 ? -1 : 1;
    dst.Char = x;
  }
  MoveCaretAndSelection(FBlockBegin, dst, SelectionCommand);
  if (FWordWrap && DX > 0 && FCaretX < len + 1) {
    const TDisplayPos d = BufferToDisplayPos(CaretXY());
    if (d.Column == 1 && LineToRow(FCaretY) != d.Row) {
      FCaretAtEndOfRow = true;
      UpdateCaret();
    } else if (d.Column > FCharsInWindow + 1) {
      SetInternalDisplayXY({1, d.Row + 1});
    }
  }
}

void TCustomQmEdit::MoveCaretVert(int DY, bool SelectionCommand) {
  TDisplayPos p = DisplayXY();
  const int oldRow = p.Row;
  int row = p.Row + DY;
  if (DY >= 0) {
    if (RowToLine(row) > FLines->Count()) row = std::max(1, DisplayLineCount());
  } else if (row < 1) {
    row = 1;
  }
  if (row != oldRow && HasOption(eoKeepCaretX)) p.Column = FLastCaretX;
  p.Row = row;
  // The raw position: a column on a trail byte is handled below, by stepping left.
  TBufferPos b = FWordWrap ? FWordWrap->DisplayToBufferPos(p) : TBufferPos{p.Column, p.Row};
  TBufferPos dst{ColumnToCharRaw((*FLines)[b.Line - 1], b.Char, FTabWidth), b.Line};
  bool shifted = FCaretShiftedOffTrail;
  if (row != oldRow) {
    if (FCaretShiftedOffTrail && !HasOption(eoKeepCaretX)) ++dst.Char;
    if (FLines->IsTrailByte(b.Line - 1, dst.Char)) {
      --dst.Char;
      shifted = true;
    } else {
      shifted = false;
    }
  }
  const int savedLastCaretX = FLastCaretX;
  WithPaintLock([&] {
    MoveCaretAndSelection(FBlockBegin, dst, SelectionCommand);
    if (FWordWrap) {
      const TDisplayPos d = BufferToDisplayPos(CaretXY());
      FCaretAtEndOfRow = d.Column == 1 && d.Row != row;
    }
    FLastCaretX = savedLastCaretX;
    FCaretShiftedOffTrail = shifted;
  });
}

void TCustomQmEdit::DoHomeKey(bool Selection) {
  int target = 1;
  const std::string line = LineText();
  const TDisplayPos d = DisplayXY();
  const int rowStart = FWordWrap ? DisplayToBufferPos({1, d.Row}).Char : 1;
  if (HasOption(eoEnhanceHomeKey) && rowStart == 1) {
    int scanEnd = Len(line);
    if (FWordWrap) scanEnd = std::min(scanEnd, FWordWrap->RowLength(d.Row));
    int first = 1;
    while (first <= scanEnd && (line[static_cast<std::size_t>(first - 1)] == ' ' ||
                                line[static_cast<std::size_t>(first - 1)] == '\t'))
      ++first;
    target = first;
    if (first - 1 >= FCaretX - 1 && FCaretX != 1) target = 1;
  }
  if (FWordWrap) target = std::max(target, rowStart);
  MoveCaretAndSelection(CaretXY(), {target, FCaretY}, Selection);
}

void TCustomQmEdit::DoEndKey(bool Selection) {
  const std::string line = LineText();
  const int len = Len(line);
  const TDisplayPos d = DisplayXY();
  const bool lastRow = !FWordWrap || RowToLine(d.Row + 1) != FCaretY || d.Row == DisplayLineCount();
  int target = len + 1;
  if (HasOption(eoEnhanceEndKey) && lastRow) {
    int last = len;
    while (last > 0 && (line[static_cast<std::size_t>(last - 1)] == ' ' ||
                        line[static_cast<std::size_t>(last - 1)] == '\t'))
      --last;
    target = last + 1;
    if (FCaretX == target) target = len + 1;
  }
  if (FWordWrap) {
    TDisplayPos e = BufferToDisplayPos({target, FCaretY});
    if (e.Row != d.Row) e = {FWordWrap->RowLength(d.Row) + 1, d.Row};
    e.Column = std::min(e.Column, FCharsInWindow + 1);
    WithPaintLock([&] {
      MoveCaretAndSelection(CaretXY(), DisplayToBufferPos(e), Selection);
      SetInternalDisplayXY(e);
    });
    return;
  }
  MoveCaretAndSelection(CaretXY(), {target, FCaretY}, Selection);
}

void TCustomQmEdit::SetInternalDisplayXY(const TDisplayPos &P) {
  WithPaintLock([&] {
    InternalSetCaretXY(DisplayToBufferPos(P));
    FCaretAtEndOfRow = FWordWrap && P.Row <= FWordWrap->RowCount() &&
                       P.Column > FWordWrap->RowLength(P.Row) && DisplayY() != P.Row;
    UpdateLastCaretX();
  });
}

// ---- text ------------------------------------------------------------------------------

std::string TCustomQmEdit::LineText() const {
  if (FCaretY >= 1 && FCaretY <= FLines->Count()) return FLines->Get(FCaretY - 1);
  return {};
}

void TCustomQmEdit::SetLineText(const std::string &Value) {
  if (FCaretY >= 1 && FCaretY <= std::max(1, FLines->Count())) FLines->Put(FCaretY - 1, Value);
}

void TCustomQmEdit::PutLineTrimmed(int Index, const std::string &Text) {
  FLines->Put(Index, HasOption(eoTrimTrailingSpaces) ? TrimTrailingBlanks(Text) : Text);
}

void TCustomQmEdit::SetText(const std::string &Value) {
  WithPaintLock([&] {
    FLines->SetText(Value);
  });
}

void TCustomQmEdit::SetLines(const TQmEditStringList &Value) { FLines->Assign(Value); }

std::string TCustomQmEdit::GetSelText() const { return SelText(!HasOption(eoTrimTrailingSpaces)); }

std::string TCustomQmEdit::SelText(bool PadColumns) const {
  if (!HasSelection()) return {};
  const TBufferPos s = BlockStart(), f = BlockFinish();
  std::string out;
  auto sub = [](const std::string &l, int from, int count) -> std::string {
    if (from < 1) from = 1;
    if (from - 1 >= Len(l) || count <= 0) return {};
    return l.substr(static_cast<std::size_t>(from - 1), static_cast<std::size_t>(count));
  };
  switch (FActiveSelectionMode) {
    case smNormal:
      if (s.Line == f.Line) return sub(FLines->Get(s.Line - 1), s.Char, f.Char - s.Char);
      out = sub(FLines->Get(s.Line - 1), s.Char, 0x7FFFFFFF) + "\r\n";
      for (int l = s.Line + 1; l < f.Line; ++l) out += FLines->Get(l - 1) + "\r\n";
      out += sub(FLines->Get(f.Line - 1), 1, f.Char - 1);
      return out;
    case smLine:
      for (int l = s.Line; l <= f.Line; ++l) {
        out += FLines->Get(l - 1);
        if (l < FLines->Count()) out += "\r\n";
      }
      return out;
    case smColumn: {
      int x1 = BufferToDisplayPos(s).Column, x2 = BufferToDisplayPos(f).Column;
      if (x1 > x2) std::swap(x1, x2);
      const bool pad = PadColumns;
      for (int l = s.Line; l <= f.Line; ++l) {
        const std::string line = FLines->Get(l - 1);
        const int b1 = ColumnBlockChar(line, x1, FTabWidth), b2 = ColumnBlockChar(line, x2, FTabWidth);
        std::string piece = sub(line, b1, b2 - b1);
        if (pad) {
          const int width = CharIndexToColumn(b2, FTabWidth, line) - CharIndexToColumn(b1, FTabWidth, line);
          const int have = ExpandedLength(piece, FTabWidth);
          if (have < width && b2 > Len(line)) piece.append(static_cast<std::size_t>(width - have), ' ');
        }
        out += piece;
        if (l < f.Line) out += "\r\n";
      }
      return out;
    }
  }
  return out;
}

void TCustomQmEdit::SetSelText(const std::string &Value) {
  SetSelTextPrimitive(FActiveSelectionMode, Value, false);
}

std::string TCustomQmEdit::TrimTrailingBlanks(const std::string &Text) {
  std::size_t n = Text.size();
  while (n > 0 && (Text[n - 1] == ' ' || Text[n - 1] == '\t')) --n;
  return Text.substr(0, n);
}

int TCustomQmEdit::LeftSpaces(const std::string &Line, bool ExpandTabs) const {
  if (!HasOption(eoAutoIndent)) return 0;
  int n = 0;
  for (std::size_t i = 0; i < Line.size() && i < 32; ++i) {
    if (Line[i] == ' ')
      ++n;
    else if (Line[i] == '\t')
      n += ExpandTabs ? FTabWidth : 1;
    else
      break;
  }
  return n;
}

std::string TCustomQmEdit::IndentText(int Count, bool AllowTabs) const {
  if (Count <= 0) return {};
  if (AllowTabs && !HasOption(eoTabsToSpaces) && Count >= FTabWidth)
    return std::string(static_cast<std::size_t>(Count / FTabWidth), '\t') +
           std::string(static_cast<std::size_t>(Count % FTabWidth), ' ');
  return std::string(static_cast<std::size_t>(Count), ' ');
}

// ---- replacing the selection -------------------------------------------------------------

// Removes the selected text in the active mode and puts the caret at its start.
void TCustomQmEdit::SelTextDeleteBlock() {
  const TBufferPos s = BlockStart(), f = BlockFinish();
  switch (FActiveSelectionMode) {
    case smNormal: {
      const std::string first = FLines->Get(s.Line - 1), last = FLines->Get(f.Line - 1);
      std::string joined = first.substr(0, std::min<std::size_t>(first.size(), std::size_t(s.Char - 1)));
      if (f.Char - 1 < Len(last)) joined += last.substr(static_cast<std::size_t>(f.Char - 1));
      if (HasOption(eoScrollPastEol) && HasOption(eoTrimTrailingSpaces)) joined = TrimTrailingBlanks(joined);
      if (s.Line - 1 < FLines->Count()) FLines->Put(s.Line - 1, joined);
      if (f.Line > s.Line) {
        FLines->RemoveLines(s.Line, f.Line - s.Line);
        DoLinesDeleted(s.Line + 1, f.Line - s.Line);
      }
      InternalSetCaretXY(s);
      break;
    }
    case smLine: {
      if (f.Line >= FLines->Count()) {
        if (s.Line - 1 < FLines->Count()) FLines->Put(s.Line - 1, "");
        const int extra = FLines->Count() - s.Line;
        if (extra > 0) {
          FLines->RemoveLines(s.Line, extra);
          DoLinesDeleted(s.Line + 1, extra);
        }
      } else {
        FLines->RemoveLines(s.Line - 1, f.Line - s.Line + 1);
        DoLinesDeleted(s.Line, f.Line - s.Line + 1);
      }
      InternalSetCaretXY({1, s.Line});
      break;
    }
    case smColumn: {
      int x1 = BufferToDisplayPos(s).Column, x2 = BufferToDisplayPos(f).Column;
      if (x1 > x2) std::swap(x1, x2);
      for (int l = s.Line; l <= f.Line && l <= FLines->Count(); ++l) {
        std::string line = FLines->Get(l - 1);
        const int b1 = ColumnBlockChar(line, x1, FTabWidth), b2 = ColumnBlockChar(line, x2, FTabWidth);
        if (b1 <= Len(line)) {
          line.erase(static_cast<std::size_t>(b1 - 1), static_cast<std::size_t>(std::min(b2, Len(line) + 1) - b1));
          PutLineTrimmed(l - 1, line);
        }
      }
      const std::string endLine = FLines->Get(FBlockEnd.Line - 1);
      InternalSetCaretXY({ColumnBlockChar(endLine, x1, FTabWidth), FBlockEnd.Line});
      break;
    }
  }
}

// Inserts Value at the caret in the given mode.
void TCustomQmEdit::InsertText(TQmSelectionMode Mode, const std::string &Value, bool AddToUndoList) {
  const std::vector<std::string> pieces = SplitTextLines(Value);
  const int n = static_cast<int>(pieces.size());
  const int y = std::max(1, FCaretY);
  const bool existed = y <= FLines->Count();
  switch (Mode) {
    case smNormal: {
      std::string line = existed ? FLines->Get(y - 1) : std::string();
      const int x = FCaretX;
      if (Len(line) < x - 1) line.append(static_cast<std::size_t>(x - 1 - Len(line)), ' ');
      const std::string left = line.substr(0, static_cast<std::size_t>(x - 1));
      const std::string right = line.substr(static_cast<std::size_t>(x - 1));
      const bool trim = HasOption(eoTrimTrailingSpaces);
      std::string lastLine;
      if (n == 1) {
        lastLine = left + pieces[0];
        PutLineTrimmed(y - 1, lastLine + right);
      } else {
        PutLineTrimmed(y - 1, left + pieces[0]);
        for (int i = 1; i < n - 1; ++i) {
          FLines->Insert(y - 1 + i, trim ? TrimTrailingBlanks(pieces[i]) : pieces[i]);
        }
        lastLine = pieces[n - 1];
        FLines->Insert(y - 1 + n - 1, trim ? TrimTrailingBlanks(lastLine + right) : lastLine + right);
        DoLinesInserted(y + (x > 1 ? 1 : 0), n - 1);
      }
      int caretX;
      if (trim && right.empty())
        caretX = ExpandedLength(lastLine, FTabWidth) + 1;
      else
        caretX = Len(lastLine) + 1;
      InternalSetCaretXY({caretX, y + n - 1});
      StatusChanged(scCaretX);
      break;
    }
    case smLine: {
      // Pieces ended by a line break become whole lines ahead of the caret line; the
      // piece after the last break prefixes the caret line.
      for (int i = 0; i < n - 1; ++i) FLines->Insert(y - 1 + i, pieces[i]);
      const int at = y - 1 + n - 1;
      const std::string &last = pieces[n - 1];
      if (!last.empty() || at >= FLines->Count()) {
        const std::string old = FLines->Get(at);
        std::string text = last + old;
        if (HasOption(eoTrimTrailingSpaces)) text = TrimTrailingBlanks(text);
        FLines->Put(at, text);
      }
      if (n > 1) DoLinesInserted(y, n - 1);
      InternalSetCaretXY({Len(last) + 1, at + 1});
      StatusChanged(scCaretX);
      break;
    }
    case smColumn: {
      const int column = CharIndexToColumn(FCaretX, FTabWidth, FLines->Get(y - 1));
      const int endChar = InsertColumnPieces(column, y, pieces, AddToUndoList);
      InternalSetCaretXY({endChar > 0 ? endChar : FCaretX, y + n - 1});
      StatusChanged(scCaretX);
      break;
    }
  }
}

int TCustomQmEdit::InsertColumnPieces(int Column, int FirstLine, const std::vector<std::string> &Pieces,
                                      bool AddToUndoList) {
  int endChar = 0;
  for (std::size_t i = 0; i < Pieces.size(); ++i) {
    const int l = FirstLine + static_cast<int>(i);
    if (l > FLines->Count()) {
      const int prevLen = l > 1 ? Len(FLines->Get(l - 2)) : 0;
      FLines->Add(std::string(static_cast<std::size_t>(Column - 1), ' '));
      if (AddToUndoList)
        FUndoList->RecordChange(urLineBreak, {prevLen + 1, l - 1}, {prevLen + 1, l - 1}, "", FActiveSelectionMode);
    }
    // Nothing to put on this line: no padding either.
    if (Pieces[i].empty()) continue;
    std::string line = FLines->Get(l - 1);
    int b = ColumnBlockChar(line, Column, FTabWidth);
    // The blanks that pad a short line up to the column go with the piece when it is undone.
    const int from = std::min(b, Len(line) + 1);
    if (Len(line) < b - 1) {
      line.append(static_cast<std::size_t>(b - 1 - Len(line)), ' ');
      b = Len(line) + 1;
    }
    line.insert(static_cast<std::size_t>(b - 1), Pieces[i]);
    PutLineTrimmed(l - 1, line);
    if (AddToUndoList)
      FUndoList->RecordChange(urPaste, {from, l}, {b + Len(Pieces[i]), l}, "", FActiveSelectionMode);
    endChar = b + Len(Pieces[i]);
  }
  return endChar;
}

void TCustomQmEdit::SetSelTextPrimitive(TQmSelectionMode PasteMode, const std::string &Value,
                                        bool AddToUndoList) {
  IncPaintLock();
  const TQmScopeExit unlock([this] { DecPaintLock(); });
  FLines->BeginUpdate();
  const TQmScopeExit endUpdate([this] { FLines->EndUpdate(); });
  if (HasSelection()) SelTextDeleteBlock();
  if (!Value.empty()) InsertText(PasteMode, Value, AddToUndoList);
  if (FLines->Count() == 0) FCaretY = 1;
}

void TCustomQmEdit::ReplaceSelection(const std::string &Value) {
  const TQmUndoBlock block(*this);
  CollapseBlockOnCaret();
  if (HasSelection())
    FUndoList->RecordChange(urDelete, FBlockBegin, FBlockEnd, UndoSelText(), FActiveSelectionMode);
  else
    SetActiveSelectionMode(FSelectionMode);
  const TBufferPos s = BlockStart(), f = BlockFinish(), start = PaddedInsertStart(s);
  FBlockBegin = s;
  FBlockEnd = f;
  // A column block records its insertion line by line as it goes.
  SetSelTextPrimitive(FActiveSelectionMode, Value, FActiveSelectionMode == smColumn);
  if (!Value.empty() && FActiveSelectionMode != smColumn)
    FUndoList->RecordChange(urInsert, start, BlockFinish(), "", FActiveSelectionMode);
}

// A line change puts the collapsed block on the caret as it stood before the change, so
// after typing it lags behind the caret. Text put in without a selection goes in at the
// caret, and its undo item must start there, not over the last typed character.
void TCustomQmEdit::CollapseBlockOnCaret() {
  if (FBlockBegin == FBlockEnd) FBlockBegin = FBlockEnd = CaretXY();
}

TBufferPos TCustomQmEdit::PaddedInsertStart(TBufferPos P) const {
  if (P.Line >= 1 && P.Line <= FLines->Count()) P.Char = std::min(P.Char, Len(FLines->Get(P.Line - 1)) + 1);
  return P;
}

void TCustomQmEdit::SelectAll() {
  TBufferPos last{1, 1};
  if (FLines->Count() > 0) last = {Len(FLines->Get(FLines->Count() - 1)) + 1, FLines->Count()};
  SetCaretAndSelection(last, {1, 1}, last);
  StatusChanged(scSelection);
}

// ---- clipboard ---------------------------------------------------------------------------

bool TCustomQmEdit::CanPaste() const {
  if (FReadOnly) return false;
  const QMimeData *m = QGuiApplication::clipboard()->mimeData();
  return m && (m->hasText() || m->hasFormat(QmEditClipboardFormat()));
}

void TCustomQmEdit::PasteFromClipboard() {
  if (!CanPaste()) return;
  DoOnPaintTransient(ttBefore);
  const TQmScopeExit after([this] { DoOnPaintTransient(ttAfter); });
  {
    const TQmUndoBlock block(*this);
    CollapseBlockOnCaret();
    bool begun = false;
    // The paste-end item closes the pair however the paste ends.
    const TQmScopeExit end([&] {
      if (begun) FUndoList->RecordChange(urPasteEnd, FBlockBegin, FBlockEnd, "", FActiveSelectionMode);
    });
    const QMimeData *m = QGuiApplication::clipboard()->mimeData();
    const bool own = m->hasFormat(QmEditClipboardFormat());
    TQmSelectionMode mode = FActiveSelectionMode;
    std::string text;
    if (own) {
      if (!ReadQmEditClipboardBlock(m->data(QmEditClipboardFormat()), mode, text))
        throw EQmEditError("Clipboard paste operation failed.");
    } else {
      text = FromQ(m->text());
    }
    FUndoList->RecordChange(urPasteBegin, FBlockBegin, FBlockEnd, "", FActiveSelectionMode);
    begun = true;
    if (HasSelection()) {
      FUndoList->RecordChange(urDelete, FBlockBegin, FBlockEnd, UndoSelText(), FActiveSelectionMode);
    } else if (!own) {
      SetActiveSelectionMode(FSelectionMode);
      mode = FActiveSelectionMode;
    }
    const TBufferPos s = BlockStart(), f = BlockFinish();
    FBlockBegin = s;
    FBlockEnd = f;
    TBufferPos start = PaddedInsertStart(s);
    if (FActiveSelectionMode == smLine) start.Char = 1;
    // A column block records its pieces as it puts them, plain text as well as a copied block.
    SetSelTextPrimitive(mode, text, true);
    if (mode == smNormal) {
      FUndoList->RecordChange(urPaste, start, BlockFinish(), GetSelText(), mode);
    } else if (mode == smLine) {
      // Whole lines went in ahead of the caret line, or a piece went at its start as well.
      if (FCaretX == 1)
        FUndoList->RecordChange(urPaste, {1, start.Line}, {FCharsInWindow, FCaretY - 1}, "", smLine);
      else
        FUndoList->RecordChange(urPaste, {1, start.Line}, BlockFinish(), "", smNormal);
    }
  }
  if (HasOption(eoHideShowScrollbars)) {
    const int lock = FPaintLock;
    FPaintLock = 0;
    UpdateScrollBars();
    FPaintLock = lock;
  }
  EnsureCursorPosVisible();
  StatusChanged(scSelection);
}
