// The editor's undo and redo replay, the modified state, bookmarks and marks.
//
// Undo takes items off the undo list in groups (a block's items share a sequence number;
// group begin and end items bracket a paste; with eoGroupUndo runs of the same kind of
// change go together) and puts a mirror item on the redo list for each; Redo replays the
// mirror items and records the changes on the undo list again.
#include <algorithm>

#include "components/QmEdit.h"

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

// Pieces of a CR LF joined text.
std::vector<std::string> SplitCrLf(const std::string &Text) {
  std::vector<std::string> out;
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = Text.find("\r\n", from);
    if (at == std::string::npos) {
      out.push_back(Text.substr(from));
      return out;
    }
    out.push_back(Text.substr(from, at - from));
    from = at + 2;
  }
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

std::string TCustomQmEdit::UndoSelText() {
  // A column block is kept as the lines hold it: the blanks that pad a copy past the
  // ends of short lines were never there and must not come back.
  if (FActiveSelectionMode != smColumn || HasOption(eoTrimTrailingSpaces)) return GetSelText();
  FOptions |= OptionBit(eoTrimTrailingSpaces);
  std::string text;
  try {
    text = GetSelText();
  } catch (...) {
    FOptions &= ~OptionBit(eoTrimTrailingSpaces);
    throw;
  }
  FOptions &= ~OptionBit(eoTrimTrailingSpaces);
  return text;
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

void TCustomQmEdit::Undo() {
  if (FReadOnly) return;
  if (FUndoList->LastReason() == urGroupBreak) FRedoList->PushItem(FUndoList->TakeLastItem());
  const TQmEditUndoItem *first = FUndoList->LastItem();
  if (!first) return;
  const TQmUndoReason r = first->Reason;
  const std::int32_t seq = first->SequenceNo;
  const std::int32_t savedSeq = FUndoSequence;
  FUndoSequence = seq;
  try {
    WithPaintLock([&] {
      for (;;) {
        const TQmUndoReason done = FUndoList->LastReason();
        UndoItem();
        const TQmEditUndoItem *next = FUndoList->LastItem();
        if (!next) break;
        if (IsGroupEnd(r) && next->Reason != GroupPartner(r)) continue;
        if (next->SequenceNo == seq) continue;
        if (HasOption(eoGroupUndo) && next->Reason == done && done != urIndent && done != urUnindent) continue;
        break;
      }
      if (IsGroupEnd(r) && FUndoList->LastReason() == GroupPartner(r)) {
        UndoItem();
        UpdateModifiedStatus();
      }
    });
  } catch (...) {
    FUndoSequence = savedSeq;
    throw;
  }
  FUndoSequence = savedSeq;
  UpdateModifiedStatus();
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
        TBufferPos at = EarlierPoint(start, end);
        if (mode == smColumn) at = {std::min(start.Char, end.Char), std::min(start.Line, end.Line)};
        if ((item->Reason == urDeleteBackward || item->Reason == urDeleteAfterCaret) && at.Line > FLines->Count())
          FLines->Add("");
        InternalSetCaretXY(at);
        SelectRaw(CaretXY(), CaretXY(), mode);
        SetSelTextPrimitive(mode, item->Text, false);
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
        AddRedo(urLineBreak, start, end, item->Text, mode);
        const int y = FCaretY;
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
        const int column = mode == smColumn ? std::min(start.Char, end.Char) : 1;
        FLines->BeginUpdate();
        InsertUnitsAsColumn(column, s.Line, SplitCrLf(item->Text));
        FLines->EndUpdate();
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
  FUndoList->SetRedoing(true);
  // The changes of one redo form one block on the undo list, so that they undo together.
  BeginUndoBlock();
  try {
    WithPaintLock([&] {
      for (;;) {
        const TQmUndoReason done = FRedoList->LastReason();
        RedoItem();
        const TQmEditUndoItem *next = FRedoList->LastItem();
        if (!next) break;
        if (IsGroupBegin(r) && next->Reason != GroupPartner(r)) continue;
        if (next->SequenceNo == seq && next->Reason != urGroupBreak) continue;
        if (HasOption(eoGroupUndo) && next->Reason == done && done != urIndent && done != urUnindent) continue;
        break;
      }
      if (IsGroupBegin(r) && FRedoList->LastReason() == GroupPartner(r)) RedoItem();
    });
  } catch (...) {
    EndUndoBlock();
    FUndoList->SetRedoing(false);
    throw;
  }
  EndUndoBlock();
  if (FRedoList->LastReason() == urGroupBreak) FUndoList->PushItem(FRedoList->TakeLastItem());
  FUndoList->SetRedoing(false);
  UpdateModifiedStatus();
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
          const std::vector<std::string> pieces = SplitCrLf(replaced);
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
      case urLineBreak:
        InternalSetCaretXY(start);
        SelectRaw(CaretXY(), CaretXY(), FSelectionMode);
        CommandProcessor(ecLineBreak, '\r', nullptr);
        break;
      case urIndent:
        FUndoList->RecordChange(urIndent, start, end, item->Text, mode);
        InternalSetCaretXY(end);
        SelectRaw(start, end, mode);
        break;
      case urUnindent: {
        FUndoList->RecordChange(urUnindent, start, end, item->Text, mode);
        const TBufferPos s = EarlierPoint(start, end), f = s == start ? end : start;
        const int column = mode == smColumn ? std::min(start.Char, end.Char) : 1;
        const std::vector<std::string> pieces = SplitCrLf(item->Text);
        FLines->BeginUpdate();
        for (std::size_t i = 0; i < pieces.size(); ++i) {
          const int l = s.Line + static_cast<int>(i);
          if (l > FLines->Count() || pieces[i].empty()) continue;
          std::string line = FLines->Get(l - 1);
          line.erase(static_cast<std::size_t>(column - 1), pieces[i].size());
          FLines->Put(l - 1, line);
        }
        FLines->EndUpdate();
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
