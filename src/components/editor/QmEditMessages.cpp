// The editor's outer surface: word selection by double click, dragging text within and
// between editors, dropped files, the mouse cursor, the standard edit actions, the text
// as a buffer, focus hand-over and the key-binding differences a stored form keeps.
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <algorithm>
#include <cstring>

#include "components/editor/QmEdit.h"
#include "components/qtext.h"
#include "platform/LocaleMap.h"
#include "platform/cp932.h"

namespace {

int Len(const std::string &s) { return static_cast<int>(s.size()); }

bool SameStroke(const TQmEditKeyStroke &A, const TQmEditKeyStroke &B) {
  return A.GetShortCut() == B.GetShortCut() && A.GetShortCut2() == B.GetShortCut2() &&
         A.Command() == B.Command();
}

bool HasStroke(const TQmEditKeyStrokes &List, const TQmEditKeyStroke &S) {
  for (int i = 0; i < List.Count(); ++i)
    if (SameStroke(*List.Items(i), S)) return true;
  return false;
}

}  // namespace

// ---- word selection ------------------------------------------------------------------------

void TCustomQmEdit::SetWordBlock(TBufferPos Value) {
  ClampPosition(Value);
  const std::string line = FLines->Get(Value.Line - 1);
  if (Value.Char > Len(line)) {
    InternalSetCaretXY({Len(line) + 1, Value.Line});
    return;
  }
  if (IsTrailByteAt(line, Value.Char)) --Value.Char;
  const TQmCharSet word = WordChars();
  // Characters of the line with their byte offsets and type flags.
  std::vector<std::size_t> offsets;
  for (std::size_t i = 0; i < line.size(); i = cp932::NextChar(line, i)) offsets.push_back(i);
  const std::vector<std::uint16_t> types = localemap::StringTypes3(line);
  if (types.size() != offsets.size()) throw EQmEditError("GetStringTypeEx failed");
  const std::size_t n = offsets.size();
  std::size_t at = 0;
  while (at + 1 < n && offsets[at + 1] <= static_cast<std::size_t>(Value.Char - 1)) ++at;
  std::uint16_t startType = types[at];
  if ((startType & localemap::C3_SYMBOL) && at > 0) startType = types[at - 1];
  auto boundary = [&](std::size_t k) {
    const std::size_t off = offsets[k];
    switch (JapaneseCharClassAt(line, off)) {
      case 1:
      case 2:
        return !word[static_cast<unsigned char>(line[off])];
      case 5:
      case 9:
        return true;
      default:
        return types[k] != startType;
    }
  };
  std::size_t endK = at;
  while (endK < n && !boundary(endK)) ++endK;
  std::size_t startK = at;
  while (startK > 0 && !boundary(startK - 1)) --startK;
  const int endChar = endK < n ? static_cast<int>(offsets[endK]) + 1 : Len(line) + 1;
  const int startChar = startK < n ? static_cast<int>(offsets[startK]) + 1 : Len(line) + 1;
  SetCaretAndSelection({endChar, Value.Line}, {startChar, Value.Line}, {endChar, Value.Line});
  InvalidateLine(Value.Line);
  StatusChanged(scSelection);
}

void TCustomQmEdit::DblClick(int X, int) {
  if (X < FGutterWidth + 2) return;
  if (!HasOption(eoNoSelection)) SetWordBlock(CaretXY());
  FDblClicked = true;
  FMouseCaptured = false;
}

// ---- highlighter queries -------------------------------------------------------------------

bool TCustomQmEdit::GetHighlighterAttriAtRowCol(const TBufferPos &P, std::string &Token,
                                                TQmHighlighterAttributes *&Attri, int *TokenKind,
                                                int *Start) {
  Token.clear();
  Attri = nullptr;
  if (!FHighlighter || P.Line < 1 || P.Line > FLines->Count()) return false;
  const std::string line = FLines->Get(P.Line - 1);
  if (P.Char < 1 || P.Char > Len(line)) return false;
  if (P.Line == 1)
    FHighlighter->ResetRange();
  else
    FHighlighter->SetRange(FLines->LineRangeState(P.Line - 2));
  FHighlighter->SetLine(line, P.Line - 1);
  while (!FHighlighter->AtLineEnd()) {
    const int start = FHighlighter->GetTokenPos() + 1;
    const std::string token = FHighlighter->GetToken();
    if (P.Char >= start && P.Char < start + Len(token)) {
      Token = token;
      Attri = FHighlighter->GetTokenAttribute();
      if (TokenKind) *TokenKind = FHighlighter->GetTokenKind();
      if (Start) *Start = start;
      return true;
    }
    FHighlighter->Next();
  }
  return false;
}

TQmCharSet TCustomQmEdit::WordCharSet() const {
  if (FHighlighter) return FHighlighter->WordChars();
  return MakeCharRange(33, 255);
}

void TCustomQmEdit::HighlighterFreed(TQmCustomHighlighter *Highlighter) {
  if (FHighlighter != Highlighter) return;
  FHighlighter = nullptr;
  if (!isVisible()) return;
  RecalcCharExtent();
  viewport()->update();
}

// ---- small operations ----------------------------------------------------------------------

void TCustomQmEdit::ClearSelection() {
  if (HasSelection()) ReplaceSelection("");
}

void TCustomQmEdit::SetKeystrokes(const TQmEditKeyStrokes *Value) {
  if (!Value)
    FKeyStrokes->Clear();
  else
    FKeyStrokes->Assign(*Value);
}

int TCustomQmEdit::GetTextBuf(char *Buffer, int Size) const {
  if (!Buffer || Size <= 0) return 0;
  const std::string text = GetText();
  const int n = std::min(Len(text), Size - 1);
  std::memcpy(Buffer, text.data(), static_cast<std::size_t>(n));
  Buffer[n] = '\0';
  return n;
}

void TCustomQmEdit::UpdateMouseCursor() {
  const QPoint p = FLastMousePos;
  const TBufferPos pos = DisplayToBufferPos(PixelsToRowColumn(p.x(), p.y()));
  TCursor cursor = crIBeam;
  Qt::CursorShape shape = Qt::IBeamCursor;
  if (p.x() < FGutterWidth) {
    cursor = FGutter->Cursor();
    shape = cursor == crIBeam ? Qt::IBeamCursor : Qt::ArrowCursor;
  } else if (HasOption(eoDragDropEditing) && !FMouseCaptured && HasSelection() && IsPointInSelection(pos)) {
    cursor = crDefault;
    shape = Qt::ArrowCursor;
  }
  const TCursor before = cursor;
  OnMouseCursor(this, pos, cursor);
  FKbdHandler->CallMouseCursorHandlers(this, p.x(), p.y(), cursor);
  if (cursor != before) shape = cursor == crIBeam ? Qt::IBeamCursor : Qt::ArrowCursor;
  viewport()->setCursor(shape);
}

// ---- actions -------------------------------------------------------------------------------

bool TCustomQmEdit::ExecuteAction(TQmEditAction Action) {
  switch (Action) {
    case eaCut: CutToClipboard(); break;
    case eaCopy: CopyToClipboard(); break;
    case eaPaste: if (!FReadOnly) PasteFromClipboard(); break;
    case eaDelete: if (!FReadOnly) ClearSelection(); break;
    case eaUndo: Undo(); break;
    case eaSelectAll: SelectAll(); break;
  }
  return true;
}

bool TCustomQmEdit::UpdateAction(TQmEditAction Action, bool &Enabled) const {
  if (!hasFocus()) return false;
  switch (Action) {
    case eaCut:
    case eaCopy:
    case eaDelete: Enabled = HasSelection(); break;
    case eaPaste: Enabled = CanPaste(); break;
    case eaUndo: Enabled = CanUndo(); break;
    case eaSelectAll: Enabled = true; break;
  }
  return true;
}

// ---- focus ---------------------------------------------------------------------------------

void TCustomQmEdit::AddFocusControl(QWidget *Control) {
  if (Control && std::find(FFocusList.begin(), FFocusList.end(), Control) == FFocusList.end())
    FFocusList.push_back(Control);
}

void TCustomQmEdit::RemoveFocusControl(QWidget *Control) { std::erase(FFocusList, Control); }

void TCustomQmEdit::SetFocus() {
  if (!FFocusList.empty())
    FFocusList.back()->setFocus();
  else
    setFocus();
}

// ---- key-binding differences ---------------------------------------------------------------

void TCustomQmEdit::WriteKeystrokeDiff(std::vector<std::unique_ptr<TQmEditKeyStroke>> &Added,
                                       std::vector<std::unique_ptr<TQmEditKeyStroke>> &Removed,
                                       const TQmEditKeyStrokes *Reference) const {
  Added.clear();
  Removed.clear();
  TQmEditKeyStrokes defaults;
  if (!Reference) {
    defaults.LoadDefaultBindings();
    Reference = &defaults;
  }
  auto copy = [](const TQmEditKeyStroke &S) {
    auto out = std::make_unique<TQmEditKeyStroke>();
    out->Assign(S);
    return out;
  };
  for (int i = 0; i < FKeyStrokes->Count(); ++i)
    if (!HasStroke(*Reference, *FKeyStrokes->Items(i))) Added.push_back(copy(*FKeyStrokes->Items(i)));
  for (int i = 0; i < Reference->Count(); ++i)
    if (!HasStroke(*FKeyStrokes, *Reference->Items(i))) Removed.push_back(copy(*Reference->Items(i)));
}

void TCustomQmEdit::ReadAddedKeystrokes(const TQmEditKeyStrokes &Strokes) {
  for (int i = 0; i < Strokes.Count(); ++i) FKeyStrokes->Add()->Assign(*Strokes.Items(i));
}

void TCustomQmEdit::ReadRemovedKeystrokes(const TQmEditKeyStrokes &Strokes) {
  for (int i = 0; i < Strokes.Count(); ++i)
    for (int k = FKeyStrokes->Count() - 1; k >= 0; --k)
      if (SameStroke(*FKeyStrokes->Items(k), *Strokes.Items(i))) FKeyStrokes->Delete(k);
}

// ---- drag and drop -------------------------------------------------------------------------

static TCustomQmEdit *SourceEditor(const QDropEvent *E) {
  return dynamic_cast<TCustomQmEdit *>(E->source());
}

void TCustomQmEdit::dragEnterEvent(QDragEnterEvent *E) {
  if (HasOption(eoDropFiles) && E->mimeData()->hasUrls() && OnDropFiles) {
    E->acceptProposedAction();
    return;
  }
  if (!SourceEditor(E) || FReadOnly) {
    E->ignore();
    return;
  }
  FDragOwnText = SourceEditor(E) == this;
  E->setDropAction((E->modifiers() & Qt::ControlModifier) ? Qt::CopyAction : Qt::MoveAction);
  E->accept();
}

void TCustomQmEdit::dragMoveEvent(QDragMoveEvent *E) {
  if (HasOption(eoDropFiles) && E->mimeData()->hasUrls() && OnDropFiles) {
    E->acceptProposedAction();
    return;
  }
  TCustomQmEdit *source = SourceEditor(E);
  if (!source || FReadOnly) {
    E->ignore();
    return;
  }
  E->setDropAction((E->modifiers() & Qt::ControlModifier) ? Qt::CopyAction : Qt::MoveAction);
  E->accept();
  const QPoint p = E->position().toPoint();
  TDisplayPos d = PixelsToRowColumn(p.x(), p.y());
  d.Column = ClampToRange(d.Column, FLeftChar, FLeftChar + std::max(FCharsInWindow - 1, 0));
  d.Row = ClampToRange(d.Row, FTopLine, FTopLine + std::max(FLinesInWindow - 1, 0));
  d.Row = ClampToRange(d.Row, 1, DisplayLineCount());
  InternalSetCaretXY(DisplayToBufferPos(d));
  if (source == this) ComputeScroll(p.x(), p.y());
}

void TCustomQmEdit::dragLeaveEvent(QDragLeaveEvent *E) {
  FScrollTimer->stop();
  if (FDragOwnText) ComputeCaret(FMouseDownPos.x(), FMouseDownPos.y());
  FDragOwnText = false;
  E->accept();
}

void TCustomQmEdit::dropEvent(QDropEvent *E) {
  FScrollTimer->stop();
  FDragOwnText = false;
  const QPoint p = E->position().toPoint();
  if (HasOption(eoDropFiles) && E->mimeData()->hasUrls() && OnDropFiles) {
    std::vector<std::string> files;
    for (const QUrl &u : E->mimeData()->urls())
      if (u.isLocalFile()) files.push_back(FromQ(u.toLocalFile()));
    OnDropFiles(this, p.x(), p.y(), files);
    E->acceptProposedAction();
    return;
  }
  TCustomQmEdit *source = SourceEditor(E);
  const Qt::KeyboardModifiers m = E->modifiers();
  if (!source || !DropText(source, p.x(), p.y(), m & Qt::ControlModifier, m & Qt::ShiftModifier)) {
    E->ignore();
    return;
  }
  const bool move = source == this ? !(m & Qt::ControlModifier) : bool(m & Qt::ShiftModifier);
  // The text has been moved here already; the source must not delete it again.
  E->setDropAction(move ? Qt::MoveAction : Qt::CopyAction);
  E->accept();
}

bool TCustomQmEdit::DropText(TCustomQmEdit *Source, int X, int Y, bool Ctrl, bool Shift) {
  if (!Source || !Source->HasSelection() || FReadOnly) return false;
  bool done = false;
  WithPaintLock([&] {
    ComputeCaret(X, Y);
    TBufferPos drop = CaretXY();
    const bool same = Source == this;
    const bool move = same ? !Ctrl : Shift;
    if (same) {
      // Inside means strictly inside: the block's own start and end are the edges.
      if (IsPointInSelection(drop) && !(drop == BlockStart())) return;
      if (move && (drop == BlockStart() || drop == BlockFinish())) return;
    }
    {
      const TQmUndoBlock block(*this);
      const std::string text = Source->GetSelText();
      if (move) {
        const TBufferPos s = Source->BlockStart(), f = Source->BlockFinish();
        Source->ReplaceSelection("");
        if (same && (drop.Line > f.Line || (drop.Line == f.Line && drop.Char >= f.Char))) {
          // The rest of the block's last line now follows the block's start column.
          if (drop.Line == f.Line) drop.Char -= f.Char - s.Char;
          drop.Line -= f.Line - s.Line;
        }
      }
      WithScrollPastEol([&] {
        InternalSetCaretXY(drop);
        SetBlockBegin(drop);
        {
          LockUndo();
          const TQmScopeExit unlock([this] { UnlockUndo(); });
          ReplaceSelection(text);
        }
        FUndoList->RecordChange(same ? urDragDropInsert : urInsert, drop, CaretXY(), "", FActiveSelectionMode);
      });
    }
    CommandProcessor(ecSelGotoXY, 0, &drop);
    done = true;
  });
  return done;
}
