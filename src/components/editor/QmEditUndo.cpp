// The editor's undo and redo replay, the modified state, bookmarks and marks.
//
// Undo takes items off the undo list in groups (a block's items share a sequence number;
// group begin and end items bracket a paste; with eoGroupUndo runs of the same kind of
// change go together) and puts a mirror item on the redo list for each; Redo replays the
// mirror items and records the changes on the undo list again.
#include <algorithm>

#include "components/editor/QmEdit.h"

namespace {

int Len(const std::string &s) { return static_cast<int>(s.size()); }

bool IsGroupEnd(TQmUndoReason R) {
  return R == urGroupEnd || R == urPasteEnd || R == urGroup2End || R == urGroup3End;
}
bool IsGroupBegin(TQmUndoReason R) {
  return R == urGroupBegin || R == urPasteBegin || R == urGroup2Begin || R == urGroup3Begin;
}
// The begin of an end and the end of a begin.
TQmUndoReason GroupPartner(TQmUndoReason R) {
  return static_cast<TQmUndoReason>(IsGroupEnd(R) ? R - 1 : R + 1);
}

// A redo item of an insertion keeps the inserted text and, after a NUL, the text the
// insertion had replaced, so that redoing it replaces that text again.
constexpr char ReplacedSeparator = '\0';

}  // namespace

// ---- marks ---------------------------------------------------------------------------------

TCustomQmEdit *TQmEditMark::GetEdit() {
  if (FEdit && FEdit->Marks().IndexOf(this) < 0) FEdit = nullptr;
  return FEdit;
}

void TQmEditMark::RepaintLine(int L) {
  if (FEdit && L > 0 && FEdit->Marks().IndexOf(this) >= 0) FEdit->InvalidateGutterLines(L, L);
}

void TQmEditMark::SetImage(int Value) {
  ImageIndex = Value;
  if (Visible) RepaintLine(Line);
}

void TQmEditMark::SetLine(int Value) {
  const int old = Line;
  Line = Value;
  if (Visible) {
    if (old > 0) RepaintLine(old);
    RepaintLine(Line);
  }
}

void TQmEditMark::SetVisible(bool Value) {
  Visible = Value;
  RepaintLine(Line);
}

void TQmEditMark::SetInternalImage(bool Value) {
  InternalImage = Value;
  RepaintLine(Line);
}

void TQmEditMarkList::Delete(int Index) {
  FItems.erase(FItems.begin() + Index);
  OnChange(this);
}

std::unique_ptr<TQmEditMark> TQmEditMarkList::Remove(TQmEditMark *Mark) {
  const int i = IndexOf(Mark);
  if (i < 0) return nullptr;
  std::unique_ptr<TQmEditMark> out = std::move(FItems[static_cast<std::size_t>(i)]);
  FItems.erase(FItems.begin() + i);
  OnChange(this);
  return out;
}

int TQmEditMarkList::IndexOf(const TQmEditMark *Mark) const {
  for (std::size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i].get() == Mark) return static_cast<int>(i);
  return -1;
}

// ---- bookmarks -----------------------------------------------------------------------------

TQmEditMark *TCustomQmEdit::BookMark(int N) const {
  if (N < 0 || N > 9) return nullptr;
  return FBookMarks[static_cast<std::size_t>(N)];
}

void TCustomQmEdit::SetBookMark(int N, int X, int Y) {
  if (N < 0 || N > 9 || Y < 1 || Y > std::max(1, FLines->Count())) return;
  auto mark = std::make_unique<TQmEditMark>(this);
  mark->Line = Y;
  mark->Char = X;
  mark->ImageIndex = N;
  mark->BookmarkNumber = N;
  mark->Visible = true;
  mark->InternalImage = FBookMarkOpt->BookmarkImages() == nullptr;
  TQmEditMark *placed = mark.get();
  OnPlaceBookmark(this, placed);
  if (!placed) return;
  if (placed != mark.get()) mark.reset(placed);
  if (FBookMarks[static_cast<std::size_t>(N)]) ClearBookMark(N);
  FBookMarks[static_cast<std::size_t>(N)] = mark.get();
  FMarks->Add(std::move(mark));
  InvalidateGutterLines(Y, Y);
}

void TCustomQmEdit::ClearBookMark(int N) {
  TQmEditMark *m = BookMark(N);
  if (!m) return;
  OnClearBookmark(this, m);
  const int line = FBookMarks[static_cast<std::size_t>(N)]->Line;
  FBookMarks[static_cast<std::size_t>(N)] = nullptr;
  FMarks->Remove(FMarks->IndexOf(m) >= 0 ? m : nullptr);  // freed here
  InvalidateGutterLines(line, line);
}

void TCustomQmEdit::GotoBookMark(int N) {
  const TQmEditMark *m = BookMark(N);
  if (!m || m->Line > FLines->Count()) return;
  SetCaretXYEx(false, {m->Char, m->Line});
  EnsureCursorPosVisibleEx(true);
  if (HasSelection()) InvalidateSelection();
  FBlockBegin = FBlockEnd = CaretXY();
  StatusChanged(scSelection);
}

// ---- undo lists and the modified state ------------------------------------------------------

void TCustomQmEdit::ClearUndo() {
  FUndoList->Clear();
  FRedoList->Clear();
}

void TCustomQmEdit::LockUndo() {
  FUndoList->Lock();
  FRedoList->Lock();
}

void TCustomQmEdit::UnlockUndo() {
  FUndoList->Unlock();
  FRedoList->Unlock();
}

void TCustomQmEdit::SetMaxUndo(int Value) {
  if (Value < 0) return;
  FUndoList->SetMaxItems(Value);
  FRedoList->SetMaxItems(Value);
}

void TCustomQmEdit::SetModified(bool Value) {
  if (Value == FModified) return;
  FModified = Value;
  if (HasOption(eoGroupUndo) && !Value && FUndoList->HasItems()) FUndoList->AppendGroupBreak();
  FUndoList->SetSavedState(!Value);
  StatusChanged(scModified);
}

void TCustomQmEdit::UpdateModifiedStatus() {
  const bool m = !FUndoList->IsAtSavedState();
  if (m == FModified) return;
  FModified = m;
  StatusChanged(scModified);
}

void TCustomQmEdit::ClearAll() {
  FLines->Clear();
  FMarks->Clear();
  FBookMarks.fill(nullptr);
  FUndoList->Clear();
  FRedoList->Clear();
  SetModified(false);
}

// ---- undo ----------------------------------------------------------------------------------

std::string TCustomQmEdit::UndoSelText() const {
  // A column block is kept as the lines hold it: the blanks that pad a copy past the
  // ends of short lines were never there and must not come back.
  return SelText(false);
}

int TCustomQmEdit::BlockLeftColumn(const TBufferPos &A, const TBufferPos &B) const {
  return std::min(CharIndexToColumn(A.Char, FTabWidth, FLines->Get(A.Line - 1)),
                  CharIndexToColumn(B.Char, FTabWidth, FLines->Get(B.Line - 1)));
}

void TCustomQmEdit::AddRedo(TQmUndoReason Reason, TBufferPos Start, TBufferPos End, const std::string &Text,
                            TQmSelectionMode Mode) {
  auto item = std::make_unique<TQmEditUndoItem>();
  item->Reason = Reason;
  item->StartPoint = Start;
  item->EndPoint = End;
  item->Text = Text;
  item->SelMode = Mode;
  item->SequenceNo = FUndoSequence;
  FRedoList->PushItem(std::move(item));
}

// Sets the block as it stands, without clamping or collapsing, in the given mode.
void TCustomQmEdit::SelectRaw(TBufferPos Begin, TBufferPos End, TQmSelectionMode Mode) {
  InvalidateSelection();
  FBlockBegin = Begin;
  FBlockEnd = End;
  FActiveSelectionMode = Mode;
  InvalidateSelection();
  StatusChanged(scSelection);
}

// Runs one undo or redo step. The items it moves between the lists would each signal a
// change, and those it records inside the redo's block none at all (a replayed paste ends
// with a group marker that keeps its old sequence number, so the block's close finds
// nothing of its own); instead the step signals once, when it changed the text, and
// ReplayStep tells whether it did.
template <class F>
bool TCustomQmEdit::ReplayStep(F &&Step) {
  const std::uint64_t changes = FTextChanges;
  const bool outer = FReplaying;
  FReplaying = true;
  const TQmScopeExit restore([this, outer] { FReplaying = outer; });
  Step();
  return FTextChanges != changes;
}

void TCustomQmEdit::Undo() {
  if (FReadOnly) return;
  if (FUndoList->LastReason() == urGroupBreak) FRedoList->PushItem(FUndoList->TakeLastItem());
  const TQmEditUndoItem *first = FUndoList->LastItem();
  if (!first) return;
  const TQmUndoReason r = first->Reason;
  const std::int32_t seq = first->SequenceNo;
  const std::int32_t savedSeq = FUndoSequence;
  FUndoSequence = seq;
  const TQmScopeExit restore([&] { FUndoSequence = savedSeq; });
  const bool changed = ReplayStep([&] { WithPaintLock([&] { ReplayGroup(*FUndoList, r, seq, true); }); });
  UpdateModifiedStatus();
  if (changed) OnChange(this);
}

// Replays the items of one undo (or redo) step from List. A group opened by its end item
// (its begin item when redoing) runs to its matching partner, that one included, and no
// further: the begin item carries the step's sequence number too, and must not carry the
// replay on into the changes before the group. Otherwise the step runs while the next
// item has its sequence number or, with eoGroupUndo, the reason of the one just replayed
// (not for block indents and unindents, which replay one at a time).
void TCustomQmEdit::ReplayGroup(TQmEditUndoList &List, TQmUndoReason First, std::int32_t Seq, bool Undoing) {
  const bool group = Undoing ? IsGroupEnd(First) : IsGroupBegin(First);
  const TQmUndoReason partner = GroupPartner(First);
  int depth = 0;
  for (;;) {
    const TQmUndoReason done = List.LastReason();
    if (Undoing)
      UndoItem();
    else
      RedoItem();
    const TQmEditUndoItem *next = List.LastItem();
    if (!next) return;
    if (group) {
      if (next->Reason == First) ++depth;
      if (next->Reason == partner && depth-- == 0) {
        if (Undoing)
          UndoItem();
        else
          RedoItem();
        return;
      }
      continue;
    }
    if (next->SequenceNo == Seq && next->Reason != urGroupBreak) continue;
    if (HasOption(eoGroupUndo) && next->Reason == done && done != urIndent && done != urUnindent) continue;
    return;
  }
}

void TCustomQmEdit::UndoItem() {
  std::unique_ptr<TQmEditUndoItem> item = FUndoList->TakeLastItem();
  if (!item) return;
  const TQmSelectionMode mode = item->SelMode;
  const TBufferPos start = item->StartPoint, end = item->EndPoint;
  WithPaintLock([&] { WithScrollPastEol([&] {
    FActiveSelectionMode = mode;
    switch (item->Reason) {
      case urInsert:
      case urPaste:
      case urDragDropInsert: {
        SelectRaw(start, end, mode);
        const std::string kept = UndoSelText();
        InternalSetCaretXY(BlockStart());
        SetSelTextPrimitive(mode, item->Text, false);
        std::string redoText = kept;
        if (!item->Text.empty()) redoText += ReplacedSeparator + item->Text;
        AddRedo(item->Reason, start, end, redoText, mode);
        SetCaretXY(start);
        break;
      }
      case urDeleteBackward:
      case urDelete:
      case urDeleteBeforeCaret:
      case urDeleteAfterCaret:
      case urDeleteAll: {
        const TBufferPos at = EarlierPoint(start, end);
        if ((item->Reason == urDeleteBackward || item->Reason == urDeleteAfterCaret) && at.Line > FLines->Count())
          FLines->Add("");
        if (mode == smColumn) {
          // Back at the block's left edge, line by line, where the delete took it from.
          FLines->BeginUpdate();
          const TQmScopeExit endUpdate([this] { FLines->EndUpdate(); });
          InsertColumnPieces(BlockLeftColumn(start, end), std::min(start.Line, end.Line), SplitTextLines(item->Text),
                             false);
        } else {
          InternalSetCaretXY(at);
          SelectRaw(CaretXY(), CaretXY(), mode);
          SetSelTextPrimitive(mode, item->Text, false);
        }
        const bool toStart = item->Reason == urDeleteBackward || item->Reason == urDeleteAfterCaret;
        InternalSetCaretXY(toStart ? start : end);
        if (item->Reason == urDeleteBackward || item->Reason == urDelete || item->Reason == urDeleteAll)
          SelectRaw(start, end, mode);
        else
          SelectRaw(CaretXY(), CaretXY(), mode);
        AddRedo(item->Reason, start, end, "", mode);
        if (item->Reason == urDeleteAll) {
          InternalSetCaretXY({1, 1});
          SelectRaw({1, 1}, {1, 1}, mode);
        }
        EnsureCursorPosVisible();
        break;
      }
      case urLineBreak: {
        InternalSetCaretXY(start);
        SelectRaw(CaretXY(), CaretXY(), mode);
        const int y = FCaretY;
        // The redo item keeps the new line as it was, indentation and all.
        AddRedo(urLineBreak, start, end, FLines->Get(y), mode);
        std::string line = FLines->Get(y - 1);
        const bool keepsIndent = HasOption(eoAutoIndent) && !item->Text.empty() &&
                                 (item->Text[0] == ' ' || item->Text[0] == '\t');
        // Padding only puts moved text back at its column; a bare break needs none.
        if (!item->Text.empty() && !keepsIndent && Len(line) < FCaretX - 1)
          line.append(static_cast<std::size_t>(FCaretX - 1 - Len(line)), ' ');
        FLines->BeginUpdate();
        FLines->Put(y - 1, line + item->Text);
        if (y < FLines->Count()) {
          FLines->Delete(y);
          DoLinesDeleted(y, 1);
        }
        FLines->EndUpdate();
        InternalSetCaretXY(start);
        SelectRaw(CaretXY(), CaretXY(), mode);
        break;
      }
      case urIndent:
        item->SequenceNo = FUndoSequence;
        FRedoList->PushItem(std::move(item));
        InternalSetCaretXY(end);
        SelectRaw(start, end, mode);
        break;
      case urUnindent: {
        const TBufferPos s = EarlierPoint(start, end);
        {
          FLines->BeginUpdate();
          const TQmScopeExit endUpdate([this] { FLines->EndUpdate(); });
          InsertColumnPieces(mode == smColumn ? BlockLeftColumn(start, end) : 1, s.Line, SplitTextLines(item->Text),
                             false);
        }
        item->SequenceNo = FUndoSequence;
        FRedoList->PushItem(std::move(item));
        InternalSetCaretXY(start);
        SelectRaw(start, end, mode);
        break;
      }
      case urCaret:
        AddRedo(urCaret, CaretXY(), CaretXY(), "", mode);
        InternalSetCaretXY(start);
        break;
      case urSelection:
        AddRedo(urSelection, FBlockBegin, FBlockEnd, "", mode);
        SelectRaw(start, end, mode);
        break;
      case urBlanksAdded: {
        SelectRaw(start, end, mode);
        const std::string kept = UndoSelText();
        SetSelTextPrimitive(mode, item->Text, false);
        AddRedo(urBlanksAdded, start, end, kept, mode);
        SetCaretXY(start);
        break;
      }
      default:
        // Group markers travel to the redo list as they are.
        item->SequenceNo = FUndoSequence;
        FRedoList->PushItem(std::move(item));
        break;
    }
  }); });
}

// ---- redo ----------------------------------------------------------------------------------

void TCustomQmEdit::Redo() {
  if (FReadOnly) return;
  const TQmEditUndoItem *first = FRedoList->LastItem();
  if (!first) return;
  const TQmUndoReason r = first->Reason;
  const std::int32_t seq = first->SequenceNo;
  const bool changed = ReplayStep([&] {
    FUndoList->SetRedoing(true);
    const TQmScopeExit redoing([this] { FUndoList->SetRedoing(false); });
    // The changes of one redo form one block on the undo list, so that they undo together.
    const TQmUndoBlock block(*this);
    WithPaintLock([&] { ReplayGroup(*FRedoList, r, seq, false); });
  });
  if (FRedoList->LastReason() == urGroupBreak) FUndoList->PushItem(FRedoList->TakeLastItem());
  UpdateModifiedStatus();
  if (changed) OnChange(this);
}

void TCustomQmEdit::RedoItem() {
  std::unique_ptr<TQmEditUndoItem> item = FRedoList->TakeLastItem();
  if (!item) return;
  const TQmSelectionMode mode = item->SelMode;
  const TBufferPos start = item->StartPoint, end = item->EndPoint;
  WithPaintLock([&] { WithScrollPastEol([&] {
    FActiveSelectionMode = mode;
    switch (item->Reason) {
      case urInsert:
      case urPaste:
      case urDragDropInsert: {
        std::string text = item->Text, replaced;
        if (const std::size_t sep = text.find(ReplacedSeparator); sep != std::string::npos) {
          replaced = text.substr(sep + 1);
          text.resize(sep);
        }
        InternalSetCaretXY(start);
        SelectRaw(CaretXY(), CaretXY(), mode);
        if (!replaced.empty()) {
          // The text the insertion replaced is back after undo: select it again.
          const std::vector<std::string> pieces = SplitTextLines(replaced);
          TBufferPos e{pieces.size() == 1 ? start.Char + Len(pieces[0]) : Len(pieces.back()) + 1,
                       start.Line + static_cast<int>(pieces.size()) - 1};
          SelectRaw(start, e, mode);
        }
        SetSelTextPrimitive(mode, text, false);
        InternalSetCaretXY(end);
        FUndoList->RecordChange(item->Reason, start, end, replaced, mode);
        if (item->Reason == urDragDropInsert)
          SelectRaw(start, end, mode);
        else
          SelectRaw(CaretXY(), CaretXY(), mode);
        break;
      }
      case urDeleteBackward:
      case urDeleteAfterCaret:
      case urDelete:
      case urDeleteBeforeCaret:
      case urDeleteAll: {
        SelectRaw(start, end, mode);
        FUndoList->RecordChange(item->Reason, start, end, UndoSelText(), mode);
        SetSelTextPrimitive(mode, "", false);
        TBufferPos to = EarlierPoint(start, end);
        if (mode == smColumn) to = {std::min(start.Char, end.Char), std::min(start.Line, end.Line)};
        if (item->Reason == urDeleteAll) to = {1, 1};
        InternalSetCaretXY(to);
        SelectRaw(CaretXY(), CaretXY(), mode);
        break;
      }
      case urLineBreak: {
        // The line is cut where it was and the new line made as it was; running the
        // line-break command again would make another line where the break had been an
        // inserted line or a line added for a column block.
        InternalSetCaretXY(start);
        SelectRaw(CaretXY(), CaretXY(), mode);
        const int y = FCaretY;
        const std::string line = FLines->Get(y - 1);
        const std::size_t cut = static_cast<std::size_t>(std::clamp(start.Char - 1, 0, Len(line)));
        {
          FLines->BeginUpdate();
          const TQmScopeExit endUpdate([this] { FLines->EndUpdate(); });
          FLines->Put(y - 1, line.substr(0, cut));
          FLines->Insert(y, item->Text);
          DoLinesInserted(cut == 0 ? y : y + 1, 1);
        }
        FUndoList->RecordChange(urLineBreak, start, end, line.substr(cut), mode);
        InternalSetCaretXY(end);
        SelectRaw(CaretXY(), CaretXY(), mode);
        break;
      }
      case urIndent:
        FUndoList->RecordChange(urIndent, start, end, item->Text, mode);
        InternalSetCaretXY(end);
        SelectRaw(start, end, mode);
        break;
      case urUnindent: {
        FUndoList->RecordChange(urUnindent, start, end, item->Text, mode);
        const TBufferPos s = EarlierPoint(start, end), f = s == start ? end : start;
        const int column = mode == smColumn ? BlockLeftColumn(start, end) : 1;
        const std::vector<std::string> pieces = SplitTextLines(item->Text);
        {
          FLines->BeginUpdate();
          const TQmScopeExit endUpdate([this] { FLines->EndUpdate(); });
          for (std::size_t i = 0; i < pieces.size(); ++i) {
            const int l = s.Line + static_cast<int>(i);
            if (l > FLines->Count() || pieces[i].empty()) continue;
            std::string line = FLines->Get(l - 1);
            const int b = ColumnBlockChar(line, column, FTabWidth);
            if (b > Len(line)) continue;
            line.erase(static_cast<std::size_t>(b - 1), pieces[i].size());
            FLines->Put(l - 1, line);
          }
        }
        if (mode != smColumn) {
          const int firstLen = Len(pieces.front());
          const int lastLen = static_cast<int>(pieces.size()) > f.Line - s.Line ? Len(pieces.back()) : 0;
          const TBufferPos ns{std::max(1, s.Char - firstLen), s.Line}, nf{std::max(1, f.Char - lastLen), f.Line};
          InternalSetCaretXY(start == s ? ns : nf);
          SelectRaw(start == s ? ns : nf, start == s ? nf : ns, mode);
        }
        break;
      }
      case urCaret:
        FUndoList->RecordChange(urCaret, CaretXY(), CaretXY(), "", mode);
        InternalSetCaretXY(start);
        break;
      case urSelection:
        FUndoList->RecordChange(urSelection, FBlockBegin, FBlockEnd, "", mode);
        SelectRaw(start, end, mode);
        break;
      case urBlanksAdded:
        FUndoList->RecordChange(urBlanksAdded, start, end, "", mode);
        InternalSetCaretXY(start);
        SelectRaw(CaretXY(), CaretXY(), mode);
        SetSelTextPrimitive(mode, item->Text, false);
        InternalSetCaretXY(start);
        SelectRaw(CaretXY(), CaretXY(), mode);
        break;
      default:
        FUndoList->PushItem(std::move(item));
        break;
    }
  }); });
}
