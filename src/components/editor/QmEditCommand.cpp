// The editor's command executor: caret and view moves, selection modes and the clipboard;
// the editing commands continue in QmEditEditing.cpp.
#include "components/editor/QmEdit.h"

void TCustomQmEdit::ExecuteCommand(TQmEditorCommand Command, char AChar, void *Data) {
  WithPaintLock([&] {
    const bool sel = Command >= ecSelLeft && Command <= ecSelGotoXY;
    const TQmEditorCommand move = sel ? static_cast<TQmEditorCommand>(Command - ecSelection) : Command;
    switch (move) {
      case ecLeft:
      case ecRight:
        MoveCaretHorz(move == ecLeft ? -1 : 1, sel);
        break;
      case ecUp:
      case ecDown:
        MoveCaretVert(move == ecUp ? -1 : 1, sel);
        viewport()->update();
        break;
      case ecLineStart:
        DoHomeKey(sel);
        break;
      case ecLineEnd:
        DoEndKey(sel);
        break;
      case ecPageUp:
      case ecPageDown: {
        int n = FLinesInWindow;
        if (HasOption(eoHalfPageScroll)) n >>= 1;
        if (HasOption(eoScrollByOneLess)) --n;
        if (move == ecPageUp) n = -n;
        SetTopLine(FTopLine + n);
        MoveCaretVert(n, sel);
        viewport()->update();
        break;
      }
      case ecPageLeft:
      case ecPageRight:
        MoveCaretHorz(move == ecPageLeft ? -FCharsInWindow : FCharsInWindow, sel);
        break;
      case ecPageTop:
      case ecPageBottom: {
        const int row = move == ecPageTop ? FTopLine : FTopLine + FLinesInWindow - 1;
        MoveCaretAndSelection(CaretXY(), DisplayToBufferPos({DisplayX(), row}), sel);
        viewport()->update();
        break;
      }
      case ecEditorTop:
      case ecEditorBottom: {
        TBufferPos target{1, 1};
        if (move == ecEditorBottom && FLines->Count() > 0)
          target = {static_cast<int>(FLines->Get(FLines->Count() - 1).size()) + 1, FLines->Count()};
        MoveCaretAndSelection(CaretXY(), target, sel);
        viewport()->update();
        break;
      }
      case ecGotoXY:
        if (Data) {
          MoveCaretAndSelection(CaretXY(), *static_cast<const TBufferPos *>(Data), sel);
          viewport()->update();
        }
        break;
      default:
        break;
    }
    switch (Command) {
      case ecSelectAll:
        SelectAll();
        break;
      case ecCopy:
        CopyToClipboard();
        break;
      case ecCut:
        if (!FReadOnly && HasSelection()) CutToClipboard();
        break;
      case ecPaste:
        if (!FReadOnly) PasteFromClipboard();
        break;
      case ecScrollUp:
      case ecScrollDown: {
        const int row = DisplayY();
        if (row >= FTopLine && row <= FTopLine + FLinesInWindow - 1) {
          SetTopLine(FTopLine + (Command == ecScrollUp ? -1 : 1));
          if (DisplayY() < FTopLine)
            MoveCaretVert(FTopLine - DisplayY(), false);
          else if (DisplayY() > FTopLine + FLinesInWindow - 1)
            MoveCaretVert(FTopLine + FLinesInWindow - 1 - DisplayY(), false);
        }
        EnsureCursorPosVisible();
        viewport()->update();
        break;
      }
      case ecScrollLeft:
      case ecScrollRight:
        SetLeftChar(FLeftChar + (Command == ecScrollLeft ? -1 : 1));
        viewport()->update();
        break;
      case ecInsertMode:
        SetInsertMode(true);
        break;
      case ecOverwriteMode:
        SetInsertMode(false);
        break;
      case ecToggleMode:
        SetInsertMode(!FInsertMode);
        break;
      case ecNormalSelect:
        SetSelectionMode(smNormal);
        break;
      case ecColumnSelect:
        SetSelectionMode(smColumn);
        break;
      case ecLineSelect:
        SetSelectionMode(smLine);
        break;
      default:
        ExecuteEditCommand(Command, AChar, Data);
        break;
    }
  });
}
