// The editor's editing commands: deleting, line breaks, typing and input-method strings,
// tabs and block indents, case changes, word positions, bracket matching and bookmarks.
// Every change records the undo items that Undo and Redo replay.
#include <QChar>
#include <algorithm>
#include <optional>

#include "components/editor/QmEdit.h"
#include "platform/cp932.h"

namespace {

int Len(const std::string &s) { return static_cast<int>(s.size()); }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Bytes 1..255 that are not in Word.
TQmCharSet NonWord(const TQmCharSet &Word) {
  TQmCharSet s = ~Word;
  s.reset(0);
  return s;
}

// One character in the other case, by the locale's per-character conversion over the
// whole code page (ASCII and the full-width Latin, Greek and Cyrillic letters and Roman
// numerals alike). A character whose other form code page 932 cannot hold in as many
// bytes stays as it is, so a case change never moves the text after it.
std::string CharInCase(std::string_view Ch, bool Upper) {
  const char32_t cp = cp932::DecodeChar(Ch, 0);
  const char32_t to = Upper ? QChar::toUpper(cp) : QChar::toLower(cp);
  const unsigned code = to == cp ? 0 : cp932::EncodeChar(to);
  if (code == 0) return std::string(Ch);
  std::string out;
  if (code > 0xFF) out += static_cast<char>(code >> 8);
  out += static_cast<char>(code & 0xFF);
  return out.size() == Ch.size() ? out : std::string(Ch);
}

// The case change of a case command, character by character; a trail byte is never
// looked at on its own.
std::string ConvertCase(const std::string &Text, TQmEditorCommand Command) {
  std::string out;
  out.reserve(Text.size());
  for (std::size_t i = 0; i < Text.size();) {
    const std::size_t n = cp932::CharLen(Text, i);
    const std::string_view ch(Text.data() + i, n);
    switch (Command) {
      case ecUpperCase:
      case ecUpperCaseBlock: out += CharInCase(ch, true); break;
      case ecLowerCase:
      case ecLowerCaseBlock: out += CharInCase(ch, false); break;
      case ecToggleCase:
      case ecToggleCaseBlock: {
        const std::string up = CharInCase(ch, true);
        out += up == ch ? CharInCase(ch, false) : up;
        break;
      }
      case ecTitleCase: out += CharInCase(ch, i == 0); break;
      default: out += ch; break;
    }
    i += n;
  }
  return out;
}

constexpr char Brackets[] = "()[]{}<>";

// The line of P (clamped to the lines there are) and its text; false without lines.
bool LineOf(const TQmEditStringList &Lines, const TBufferPos &P, int &Y, std::string &Line) {
  if (Lines.Count() == 0) return false;
  Y = ClampToRange(P.Line, 1, Lines.Count());
  Line = Lines.Get(Y - 1);
  return true;
}

}  // namespace

// ---- word positions ----------------------------------------------------------------------

TBufferPos TCustomQmEdit::NextWordPosEx(const TBufferPos &P) {
  int y;
  std::string line;
  if (!LineOf(*FLines, P, y, line)) return {1, 1};
  const int len = Len(line);
  const TQmCharSet word = WordChars(), nonWord = NonWord(word);
  int x = std::max(P.Char, 1);
  if (x <= len) {
    if (IsTrailByteAt(line, x)) ++x;
    int found = x;
    const unsigned char c = static_cast<unsigned char>(line[static_cast<std::size_t>(x - 1)]);
    const bool dbcs = cp932::CharLen(line, static_cast<std::size_t>(x - 1)) == 2;
    if (!dbcs && word[c]) found = ScanForCharInSet(line, x, nonWord);
    if (found > 0) found = ScanForCharInSet(line, found, word);
    // A double-byte character is a word of its own.
    const int lead = ScanForLeadByte(line, x + 1);
    if (lead > 0 && (found == 0 || lead < found)) found = lead;
    return {found > 0 ? found : len + 1, y};
  }
  if (y < FLines->Count()) {
    const std::string next = FLines->Get(y);
    int found = ScanForCharInSet(next, 1, word);
    const int lead = ScanForLeadByte(next, 1);
    if (lead > 0 && (found == 0 || lead < found)) found = lead;
    return {found > 0 ? found : 1, y + 1};
  }
  return {x, y};
}

TBufferPos TCustomQmEdit::PrevWordPosEx(const TBufferPos &P) {
  int y;
  std::string line;
  if (!LineOf(*FLines, P, y, line)) return {1, 1};
  const int x = std::min(std::max(P.Char, 1), Len(line) + 1);
  auto previousLineEnd = [&]() -> TBufferPos {
    if (y > 1) return {Len(FLines->Get(y - 2)) + 1, y - 1};
    return {1, 1};
  };
  if (x <= 1) return previousLineEnd();
  const TQmCharSet word = WordChars(), nonWord = NonWord(word);
  int found = x;
  const bool beforeIsDbcs = IsTrailByteAt(line, x - 1);
  const unsigned char before = static_cast<unsigned char>(line[static_cast<std::size_t>(x - 2)]);
  if (!beforeIsDbcs && nonWord[before]) found = ReverseScanForCharInSet(line, x - 1, word);
  if (found > 0) found = ReverseScanForCharInSet(line, found - 1, nonWord) + 1;
  const int lead = ReverseScanForLeadByte(line, x - 1);
  if (lead > 0 && (found == 0 || lead > found)) found = lead;
  if (found == 0) return previousLineEnd();
  return {found, y};
}

TBufferPos TCustomQmEdit::WordStartEx(const TBufferPos &P) {
  int y;
  std::string line;
  if (!LineOf(*FLines, P, y, line)) return {1, 1};
  const int x = std::min(std::max(P.Char, 1), Len(line) + 1);
  if (x > 1 && !IsTrailByteAt(line, x - 1) &&
      WordChars()[static_cast<unsigned char>(line[static_cast<std::size_t>(x - 2)])])
    return {ReverseScanForCharInSet(line, x - 1, NonWord(WordChars())) + 1, y};
  return {x, y};
}

TBufferPos TCustomQmEdit::WordEndEx(const TBufferPos &P) {
  int y;
  std::string line;
  if (!LineOf(*FLines, P, y, line)) return {1, 1};
  const int x = std::max(P.Char, 1);
  const int found = x <= Len(line) ? ScanForCharInSet(line, x, NonWord(WordChars())) : 0;
  return {found > 0 ? found : Len(line) + 1, y};
}

// ---- brackets ----------------------------------------------------------------------------

TBufferPos TCustomQmEdit::GetMatchingBracketEx(const TBufferPos &P) {
  if (P.Line < 1 || P.Line > FLines->Count()) return {0, 0};
  std::string line = FLines->Get(P.Line - 1);
  if (P.Char < 1 || P.Char > Len(line) || IsTrailByteAt(line, P.Char)) return {0, 0};
  const char bracket = line[static_cast<std::size_t>(P.Char - 1)];
  const char *at = std::char_traits<char>::find(Brackets, 8, bracket);
  if (!at) return {0, 0};
  const int index = static_cast<int>(at - Brackets);
  const char partner = Brackets[index ^ 1];
  const bool forward = (index & 1) == 0;
  const TQmHighlighterAttributes *strAttr =
      FHighlighter ? FHighlighter->GetDefaultAttribute(SYN_ATTR_STRING) : nullptr;
  const TQmHighlighterAttributes *cmtAttr =
      FHighlighter ? FHighlighter->GetDefaultAttribute(SYN_ATTR_COMMENT) : nullptr;
  auto counts = [&](int X, int Y) {
    if (!FHighlighter) return true;
    std::string token;
    TQmHighlighterAttributes *attr = nullptr;
    if (!GetHighlighterAttriAtRowCol({X, Y}, token, attr)) return true;
    return attr == nullptr || (attr != strAttr && attr != cmtAttr);
  };
  int depth = 1, x = P.Char, y = P.Line;
  for (;;) {
    if (forward) {
      x += cp932::CharLen(line, static_cast<std::size_t>(x - 1)) == 2 ? 2 : 1;
      while (x > Len(line)) {
        if (++y > FLines->Count()) return {0, 0};
        line = FLines->Get(y - 1);
        x = 1;
        if (!line.empty()) break;
      }
    } else {
      --x;
      while (x < 1) {
        if (--y < 1) return {0, 0};
        line = FLines->Get(y - 1);
        x = Len(line);
      }
      // Step over a double-byte character as a whole.
      if (IsTrailByteAt(line, x)) --x;
    }
    const char c = line[static_cast<std::size_t>(x - 1)];
    if (IsTrailByteAt(line, x + 1)) continue;
    if (c != bracket && c != partner) continue;
    if (!counts(x, y)) continue;
    depth += c == bracket ? 1 : -1;
    if (depth == 0) return {x, y};
  }
}

void TCustomQmEdit::FindMatchingBracket() {
  const TBufferPos p = GetMatchingBracket();
  InternalSetCaretXY(p.Line > 0 ? p : TBufferPos{1, 1});
}

// ---- command hooks -------------------------------------------------------------------------

void TCustomQmEdit::RegisterCommandHandler(const THookedCommandEvent &Handler, void *HandlerData) {
  if (!Handler) return;
  for (const THookedHandler &h : FHookedCommandHandlers)
    if (h.Event == Handler) return;
  FHookedCommandHandlers.push_back({Handler, HandlerData});
}

void TCustomQmEdit::UnregisterCommandHandler(const THookedCommandEvent &Handler) {
  std::erase_if(FHookedCommandHandlers, [&](const THookedHandler &h) { return h.Event == Handler; });
}

// ---- the editing commands ------------------------------------------------------------------

void TCustomQmEdit::ExecuteEditCommand(TQmEditorCommand Command, char AChar, void *Data) {
  if (Command >= ecGotoMarker0 && Command <= ecGotoMarker9) {
    if (FBookMarkOpt->EnableKeys()) GotoBookMark(Command - ecGotoMarker0);
    return;
  }
  if (Command >= ecSetMarker0 && Command <= ecSetMarker9) {
    if (FBookMarkOpt->EnableKeys()) DoSetMarker(Command - ecSetMarker0, Data);
    return;
  }
  switch (Command) {
    case ecSelWord:
      SetSelWord();
      return;
    case ecMatchBracket:
      FindMatchingBracket();
      return;
    case ecContextHelp:
      if (OnContextHelp) OnContextHelp(this, WordAtCaret());
      return;
    case ecClearAll:
      if (!FReadOnly) ClearAll();
      return;
    case ecUndo:
      if (!FReadOnly) Undo();
      return;
    case ecRedo:
      if (!FReadOnly) Redo();
      return;
    default:
      break;
  }
  if (FReadOnly) return;
  switch (Command) {
    case ecDeleteLastChar:
      DoOnPaintTransient(ttBefore);
      if (HasSelection())
        DeleteSelectionRecorded();
      else
        DeleteLastChar();
      DoOnPaintTransient(ttAfter);
      break;
    case ecDeleteChar:
      DoOnPaintTransient(ttBefore);
      if (HasSelection())
        DeleteSelectionRecorded();
      else
        DeleteChar();
      DoOnPaintTransient(ttAfter);
      break;
    case ecDeleteWord:
    case ecDeleteEOL: {
      const std::string line = LineText();
      const int len = Len(line);
      const TBufferPos caret = CaretXY();
      TBufferPos target{len + 1, FCaretY};
      if (Command == ecDeleteWord) {
        target = WordEnd();
        const bool atEndOfLast = FCaretY >= FLines->Count() && FCaretX > len;
        if (!(target.Char > FCaretX) && !atEndOfLast) {
          if (FCaretX > len) {
            if (FCaretY < FLines->Count()) target = {1, FCaretY + 1};
          } else if (!IsBlank(line[static_cast<std::size_t>(FCaretX - 1)])) {
            target.Char = FCaretX + static_cast<int>(cp932::CharLen(line, static_cast<std::size_t>(FCaretX - 1)));
          }
          const std::string tl = FLines->Get(target.Line - 1);
          while (target.Char <= Len(tl) && IsBlank(tl[static_cast<std::size_t>(target.Char - 1)])) ++target.Char;
        }
      }
      if (target == caret) break;
      if (target.Line == caret.Line && target.Char <= std::min(caret.Char, len + 1)) break;
      FBlockBegin = {std::min(caret.Char, len + 1), caret.Line};
      FBlockEnd = target;
      FActiveSelectionMode = smNormal;
      const std::string text = GetSelText();
      const int blanks = std::max(caret.Char - FBlockBegin.Char, 0);
      SetSelTextPrimitive(smNormal, std::string(static_cast<std::size_t>(blanks), ' '), false);
      // Blanks that carry the rest up to a caret past the end go again when this is undone.
      const TQmUndoBlock block(*this, blanks > 0);
      if (blanks > 0) FUndoList->RecordChange(urBlanksAdded, {len + 1, caret.Line}, caret, "", smNormal);
      FUndoList->RecordChange(urDeleteAfterCaret, caret, target, text, smNormal);
      InternalSetCaretXY(caret);
      break;
    }
    case ecDeleteLastWord:
    case ecDeleteBOL: {
      const TBufferPos caret = CaretXY();
      const TBufferPos target = Command == ecDeleteLastWord ? PrevWordPos() : TBufferPos{1, FCaretY};
      if (target == caret) break;
      const int len = Len(LineText());
      FBlockBegin = target;
      FBlockEnd = {std::min(caret.Char, len + 1), caret.Line};
      FActiveSelectionMode = smNormal;
      const std::string text = GetSelText();
      SetSelTextPrimitive(smNormal, "", false);
      FUndoList->RecordChange(urDeleteBeforeCaret, target, caret, text, smNormal);
      SetCaretXY(target);
      break;
    }
    case ecDeleteLine: {
      const int count = FLines->Count();
      if (count == 0 || (FCaretY == count && LineText().empty())) break;
      if (HasSelection()) SetBlockBegin(CaretXY());
      const std::string old = LineText();
      if (FCaretY == count) {
        FLines->Put(FCaretY - 1, "");
        FUndoList->RecordChange(urDeleteAfterCaret, {1, FCaretY}, {Len(old) + 1, FCaretY}, old, smNormal);
      } else {
        FLines->Delete(FCaretY - 1);
        DoLinesDeleted(FCaretY, 1);
        FUndoList->RecordChange(urDeleteAfterCaret, {1, FCaretY}, {1, FCaretY + 1}, old + "\r\n", smNormal);
      }
      SetCaretXY({1, FCaretY});
      break;
    }
    case ecLineBreak:
    case ecInsertLine:
      LineBreak(Command == ecLineBreak);
      break;
    case ecChar:
      if (static_cast<unsigned char>(AChar) < ' ' || AChar == 127) break;
      InsertTyped(std::string(1, AChar), true);
      break;
    case ecImeStr:
      if (Data) InsertTyped(static_cast<const char *>(Data), false);
      break;
    case ecTab:
      DoTab();
      break;
    case ecShiftTab:
      DoShiftTab();
      break;
    case ecBlockIndent:
      DoBlockIndent();
      break;
    case ecBlockUnindent:
      DoBlockUnindent();
      break;
    case ecUpperCase:
    case ecLowerCase:
    case ecToggleCase:
    case ecTitleCase:
    case ecUpperCaseBlock:
    case ecLowerCaseBlock:
    case ecToggleCaseBlock:
      DoCaseChange(Command);
      break;
    default:
      break;
  }
}

void TCustomQmEdit::DeleteSelectionRecorded() {
  const TQmUndoReason reason = EarlierPoint(FBlockBegin, FBlockEnd) == FBlockBegin && !(FBlockBegin == FBlockEnd)
                                     ? urDelete
                                     : urDeleteBackward;
  FUndoList->RecordChange(reason, FBlockBegin, FBlockEnd, UndoSelText(), FActiveSelectionMode);
  SetSelTextPrimitive(FActiveSelectionMode, "", false);
}

// Backspace without a selection.
void TCustomQmEdit::DeleteLastChar() {
  std::string line = LineText();
  const int len = Len(line);
  const TBufferPos old = CaretXY();
  std::string deleted;
  WithScrollPastEol([&] {
    if (FCaretX > len + 1) {
      // Beyond the end of the line only the caret moves.
      if (!HasOption(eoSmartTabDelete)) {
        InternalSetCaretXY({FCaretX - 1, FCaretY});
      } else if (len == 0) {
        int target = 1;
        for (int l = FCaretY - 1; l >= 1; --l) {
          const std::string above = FLines->Get(l - 1);
          int n = 0;
          for (char c : above) {
            if (c == ' ')
              ++n;
            else if (c == '\t')
              n += HasOption(eoTrimTrailingSpaces) ? FTabWidth : 1;
            else
              break;
          }
          if (n < FCaretX - 1) {
            target = n + 1;
            break;
          }
        }
        InternalSetCaretXY({target, FCaretY});
      } else {
        InternalSetCaretXY({len + 1, FCaretY});
      }
    } else if (FCaretX == 1) {
      if (FCaretY > 1) {
        const int y = FCaretY;
        std::string prev = FLines->Get(y - 2);
        const int prevLen = Len(prev);
        std::string moved = line;
        if (HasOption(eoTrimTrailingSpaces)) moved = TrimTrailingBlanks(moved);
        FLines->Put(y - 2, prev + moved);
        FLines->Delete(y - 1);
        DoLinesDeleted(y - 1, 1);
        deleted = "\r\n";
        InternalSetCaretXY({prevLen + 1, y - 1});
      }
    } else {
      const int indent = LeftSpaces(line);
      const unsigned char before = static_cast<unsigned char>(line[static_cast<std::size_t>(FCaretX - 2)]);
      if (before > ' ' || FCaretX - 1 != indent) {
        // One character before the caret; a double-byte one goes whole.
        const int n = FLines->IsTrailByte(FCaretY - 1, FCaretX - 1) ? 2 : 1;
        const int at = FCaretX - n;
        deleted = line.substr(static_cast<std::size_t>(at - 1), static_cast<std::size_t>(n));
        std::string next = line;
        next.erase(static_cast<std::size_t>(at - 1), static_cast<std::size_t>(n));
        int newX = at;
        if (HasOption(eoTrimTrailingSpaces) && next.find('\t') != std::string::npos) {
          const std::string trimmed = TrimTrailingBlanks(next);
          if (trimmed.size() != next.size()) {
            newX += CharIndexToColumn(newX, FTabWidth, next) - CharIndexToColumn(newX, FTabWidth, trimmed);
            next = trimmed;
          }
        }
        FLines->Put(FCaretY - 1, next);
        InternalSetCaretXY({newX, FCaretY});
      } else {
        // Smart unindent: back to an indentation of a line above, or to the previous tab stop.
        int keep = 0;
        if (HasOption(eoSmartTabDelete)) {
          for (int l = FCaretY - 1; l >= 1; --l) {
            const int n = LeftSpaces(FLines->Get(l - 1));
            if (n < indent) {
              keep = n;
              break;
            }
          }
        } else {
          const int col = DisplayX();
          int back = (col - 1) % FTabWidth;
          if (back == 0) back = FTabWidth;
          const int stop = col - back;
          int x = FCaretX, c = col, n = 0;
          while (x > 1 && c > stop && n < FTabWidth) {
            const char b = line[static_cast<std::size_t>(x - 2)];
            --x;
            ++n;
            if (b == '\t') break;
            c = CharIndexToColumn(x, FTabWidth, line);
          }
          keep = indent - n;
        }
        keep = std::clamp(keep, 0, indent);
        // The bytes removed are the end of the indentation, where the undo item puts them back.
        deleted = line.substr(static_cast<std::size_t>(keep), static_cast<std::size_t>(indent - keep));
        FLines->Put(FCaretY - 1, line.substr(0, static_cast<std::size_t>(keep)) + line.substr(static_cast<std::size_t>(indent)));
        InternalSetCaretXY({keep + 1, FCaretY});
      }
    }
  });
  if (!(CaretXY() == old))
    FUndoList->RecordChange(urDeleteBeforeCaret, CaretXY(), old, deleted, smNormal);
  EnsureCursorPosVisible();
}

// Delete without a selection.
void TCustomQmEdit::DeleteChar() {
  UpdateLastCaretX();
  const std::string line = LineText();
  const int len = Len(line);
  std::string deleted;
  TBufferPos end = CaretXY();
  std::optional<TQmUndoBlock> block;
  if (FCaretX > len) {
    if (FCaretY < FLines->Count()) {
      std::string padded = line;
      if (Len(padded) < FCaretX - 1) {
        // The padding goes again when the join is undone.
        padded.append(static_cast<std::size_t>(FCaretX - 1 - Len(padded)), ' ');
        block.emplace(*this);
        FUndoList->RecordChange(urBlanksAdded, {len + 1, FCaretY}, CaretXY(), "", smNormal);
      }
      FLines->Put(FCaretY - 1, padded + FLines->Get(FCaretY));
      FLines->Delete(FCaretY);
      DoLinesDeleted(FCaretY, 1);
      deleted = "\r\n";
      end = {1, FCaretY + 1};
    }
  } else {
    const int n = static_cast<int>(cp932::CharLen(line, static_cast<std::size_t>(FCaretX - 1)));
    deleted = line.substr(static_cast<std::size_t>(FCaretX - 1), static_cast<std::size_t>(n));
    std::string next = line;
    next.erase(static_cast<std::size_t>(FCaretX - 1), static_cast<std::size_t>(n));
    FLines->Put(FCaretY - 1, next);
    end = {FCaretX + n, FCaretY};
  }
  if (!deleted.empty()) FUndoList->RecordChange(urDeleteAfterCaret, CaretXY(), end, deleted, smNormal);
}

// Line break (MoveCaret) or line insertion.
void TCustomQmEdit::LineBreak(bool MoveCaret) {
  const TQmUndoBlock block(*this);
  {
    if (HasSelection()) {
      FUndoList->RecordChange(urDelete, FBlockBegin, FBlockEnd, UndoSelText(), FActiveSelectionMode);
      SetSelTextPrimitive(FActiveSelectionMode, "", false);
    }
    if (FLines->Count() == 0) FLines->Add("");
    const std::string line = LineText();
    const int len = Len(line);
    const int y = FCaretY;
    const TBufferPos caret = CaretXY();
    int firstMoved = y + 1;
    WithScrollPastEol([&] {
      auto nearestIndentedAbove = [&](int From) -> std::string {
        for (int l = From; l >= 1; --l) {
          const std::string t = FLines->Get(l - 1);
          if (!t.empty()) return t;
        }
        return {};
      };
      if (line.empty()) {
        FLines->Insert(y - 1, "");
        firstMoved = y;
        int indent = 0;
        if (HasOption(eoAutoIndent)) indent = LeftSpaces(nearestIndentedAbove(y - 1), true);
        if (MoveCaret) InternalSetCaretXY({indent + 1, y + 1});
        FUndoList->RecordChange(urLineBreak, caret, CaretXY(), "", smNormal);
      } else if (FCaretX > len + 1) {
        std::string indent;
        if (HasOption(eoAutoIndent) && MoveCaret) {
          const std::string above = nearestIndentedAbove(y);
          std::size_t n = 0;
          while (n < above.size() && IsBlank(above[n])) ++n;
          indent = above.substr(0, n);
        }
        FLines->Insert(y, indent);
        if (MoveCaret) InternalSetCaretXY({Len(indent) + 1, y + 1});
        FUndoList->RecordChange(urLineBreak, caret, CaretXY(), "", smNormal);
      } else if (FCaretX == 1) {
        FLines->Insert(y - 1, "");
        firstMoved = y;
        if (MoveCaret) InternalSetCaretXY({1, y + 1});
        FUndoList->RecordChange(urLineBreak, caret, CaretXY(), line, smNormal);
      } else {
        const std::string left = line.substr(0, static_cast<std::size_t>(FCaretX - 1));
        const std::string right = line.substr(static_cast<std::size_t>(FCaretX - 1));
        std::string indent;
        if (HasOption(eoAutoIndent)) indent = IndentText(LeftSpaces(left, true), true);
        FLines->Put(y - 1, left);
        FLines->Insert(y, indent + right);
        if (MoveCaret) InternalSetCaretXY({Len(indent) + 1, y + 1});
        FUndoList->RecordChange(urLineBreak, caret, CaretXY(), right, smNormal);
      }
    });
    DoLinesInserted(firstMoved, 1);
    SetBlockBegin(CaretXY());
    EnsureCursorPosVisible();
    UpdateLastCaretX();
  }
}

// Typing a character (Typed) or a confirmed input-method string. A selection is replaced
// by the text; otherwise the text goes in at the caret in insert or overwrite mode, a
// line short of the caret padded first (the padding and the text undo as one step).
void TCustomQmEdit::InsertTyped(const std::string &Text, bool Typed) {
  if (Text.empty()) return;
  if (HasSelection()) {
    const TQmUndoBlock block(*this);
    FUndoList->RecordChange(urDelete, FBlockBegin, FBlockEnd, UndoSelText(), FActiveSelectionMode);
    const TQmSelectionMode mode = FActiveSelectionMode;
    TBufferPos start = BlockStart();
    if (mode == smLine) start.Char = 1;
    SetSelTextPrimitive(mode, Text, mode == smColumn);
    if (mode != smColumn) FUndoList->RecordChange(urInsert, start, CaretXY(), "", smNormal);
    if (!Typed) InvalidateGutter();
    return;
  }
  if (Typed && FInsertMode && !FWordWrap && !HasOption(eoAutoSizeMaxScrollWidth) && FCaretX > FMaxScrollWidth) return;
  WithScrollPastEol([&] {
    std::string line = LineText();
    const int len = Len(line);
    const int y = FCaretY;
    // A typed character overwriting past the end takes the place of the padding's last blank.
    const bool overPad = Typed && !FInsertMode;
    const int padCount = FCaretX - 1 - len + (overPad ? 1 : 0);
    std::string pad;
    if (padCount > 0)
      pad = Typed && line.empty() ? IndentText(padCount, true) : std::string(static_cast<std::size_t>(padCount), ' ');
    const TQmUndoBlock block(*this, !pad.empty());
    int at = FCaretX;
    if (!pad.empty()) {
      line += pad;
      FUndoList->RecordChange(urBlanksAdded, {len + 1, y}, {Len(line) + 1, y}, "", smNormal);
      at = overPad ? Len(line) : Len(line) + 1;
    }
    std::string with = Text, replaced;
    if (FInsertMode) {
      line.insert(static_cast<std::size_t>(at - 1), Text);
    } else {
      int n;
      if (Typed) {
        // A double-byte character overwritten by one byte leaves a blank in its second byte.
        n = static_cast<int>(cp932::CharLen(line, static_cast<std::size_t>(at - 1)));
        if (n == 2) with += ' ';
      } else {
        // A double-byte character cut by the range stays whole after the string.
        n = std::min(Len(Text), Len(line) - (at - 1));
        if (n > 0 && IsTrailByteAt(line, at + n)) --n;
        n = std::max(n, 0);
      }
      replaced = line.substr(static_cast<std::size_t>(at - 1), static_cast<std::size_t>(n));
      line.replace(static_cast<std::size_t>(at - 1), static_cast<std::size_t>(n), with);
    }
    PutLineTrimmed(y - 1, line);
    FUndoList->RecordChange(urInsert, {at, y}, {at + Len(with), y}, replaced, smNormal);
    int newX = at + Len(Text);
    if (Typed && FInsertMode && HasOption(eoTrimTrailingSpaces) && IsBlank(Text[0]) && TrimTrailingBlanks(line).empty())
      newX = ExpandedLength(line, FTabWidth) + 1;
    InternalSetCaretXY({newX, y});
  });
  if (FCharsInWindow > 0 && DisplayX() >= FLeftChar + FCharsInWindow)
    SetLeftChar(FLeftChar + std::min(25, FCharsInWindow - 1));
}

// ---- tabs and block indents ----------------------------------------------------------------

void TCustomQmEdit::DoTab() {
  const bool fullLine = HasSelection() && SelectionIsFullLine();
  if (HasOption(eoTabIndent) && (SelectionSpansLines() || fullLine)) {
    DoBlockIndent();
    if (!SelectionSpansLines() && fullLine) {
      if (EarlierPoint(FBlockBegin, FBlockEnd) == FBlockBegin)
        FBlockBegin.Char = 1;
      else
        FBlockEnd.Char = 1;
    }
    return;
  }
  int width = 0;
  bool smart = false;
  if (HasOption(eoSmartTabs) && FCaretY > 1) {
    const int col = DisplayX();
    for (int l = FCaretY - 1; l >= 1; --l) {
      const std::string above = FLines->ExpandedLineText(l - 1);
      if (Len(above) < col) continue;
      int i = col - 1;
      while (i < Len(above) && !IsBlank(above[static_cast<std::size_t>(i)])) ++i;
      while (i < Len(above) && IsBlank(above[static_cast<std::size_t>(i)])) ++i;
      width = i - (col - 1);
      smart = width > 0;
      break;
    }
  }
  const TQmUndoBlock block(*this);
  {
    if (HasSelection()) {
      FUndoList->RecordChange(urDelete, FBlockBegin, FBlockEnd, UndoSelText(), FActiveSelectionMode);
      SetSelTextPrimitive(FActiveSelectionMode, "", false);
    }
    if (width == 0) {
      width = FTabWidth;
      if (HasOption(eoTabsToSpaces)) width = FTabWidth - (FCaretX - 1) % FTabWidth;
    }
    const std::string line = LineText();
    const int len = Len(line);
    std::string text;
    bool moveOnly = false;
    if (HasOption(eoTabsToSpaces)) {
      text.assign(static_cast<std::size_t>(width), ' ');
    } else if (HasOption(eoTrimTrailingSpaces) && FCaretX > len) {
      moveOnly = true;
    } else if (smart) {
      const std::string before = line.substr(0, static_cast<std::size_t>(std::min(FCaretX - 1, len)));
      if (before.find_first_not_of(" \t") != std::string::npos) {
        text = "\t";
      } else {
        int col = DisplayX() - 1;
        const int target = col + width;
        while ((col / FTabWidth + 1) * FTabWidth <= target) {
          text += '\t';
          col = (col / FTabWidth + 1) * FTabWidth;
        }
        text.append(static_cast<std::size_t>(target - col), ' ');
      }
    } else {
      text = "\t";
    }
    const TBufferPos old = CaretXY();
    WithScrollPastEol([&] {
      if (moveOnly) {
        InternalSetCaretXY(DisplayToBufferPos({DisplayX() + width, DisplayY()}));
        return;
      }
      const TBufferPos from = PaddedInsertStart(old);
      SetSelTextPrimitive(smNormal, text, false);
      const TBufferPos after{old.Char + Len(text), old.Line};
      FUndoList->RecordChange(urInsert, from, after, "", smNormal);
      int x = after.Char;
      if (HasOption(eoTrimTrailingSpaces) && TrimTrailingBlanks(LineText()).empty())
        x = old.Char + ExpandedLength(text, FTabWidth);
      InternalSetCaretXY({x, old.Line});
    });
    SetBlockBegin(CaretXY());
    EnsureCursorPosVisible();
  }
}

void TCustomQmEdit::DoShiftTab() {
  const bool fullLine = HasSelection() && SelectionIsFullLine();
  if (HasOption(eoTabIndent) && (SelectionSpansLines() || fullLine)) {
    DoBlockUnindent();
    return;
  }
  const std::string line = LineText();
  const int len = Len(line);
  int column = FCaretX;
  if (HasOption(eoSmartTabs) && FCaretX > 1 && FCaretY > 1) {
    for (int l = FCaretY - 1; l >= 1; --l) {
      const std::string above = FLines->Get(l - 1);
      if (Len(above) < FCaretX - 1) continue;
      int i = FCaretX - 1;  // 1-based index of the byte before the caret column
      while (i >= 1 && IsBlank(above[static_cast<std::size_t>(i - 1)])) --i;
      while (i >= 1 && !IsBlank(above[static_cast<std::size_t>(i - 1)])) --i;
      column = i + 1;
      // Only blanks may go: the new column may not cut into the caret line's text.
      for (int k = std::min(FCaretX - 1, len); k >= column; --k)
        if (!IsBlank(line[static_cast<std::size_t>(k - 1)])) {
          column = k + 1;
          break;
        }
      break;
    }
  }
  if (column == FCaretX) {
    const int stop = FTabWidth * ((FCaretX - 2) / FTabWidth) + 1;
    if (FCaretX > len + 1) {
      column = std::max(stop, len + 1);
    } else if (FCaretX > 1 && line[static_cast<std::size_t>(FCaretX - 2)] == '\t') {
      column = FCaretX - 1;
    } else {
      column = FCaretX;
      while (column > stop && column > 1 && line[static_cast<std::size_t>(column - 2)] == ' ') --column;
    }
  }
  if (column == FCaretX || column < 1) return;
  const TBufferPos old = CaretXY();
  std::string deleted;
  if (column <= len) {
    const int end = std::min(FCaretX, len + 1);
    deleted = line.substr(static_cast<std::size_t>(column - 1), static_cast<std::size_t>(end - column));
    std::string next = line;
    next.erase(static_cast<std::size_t>(column - 1), static_cast<std::size_t>(end - column));
    FLines->Put(FCaretY - 1, next);
  }
  FUndoList->RecordChange(urDeleteBeforeCaret, {column, FCaretY}, old, deleted, smNormal);
  WithScrollPastEol([&] { SetCaretXY({column, FCaretY}); });
}

// The last line a block covers: a block ending in column 1 leaves its last line out.
static int BlockLastLine(const TBufferPos &Start, const TBufferPos &Finish) {
  return (Finish.Char == 1 && Finish.Line > Start.Line) ? Finish.Line - 1 : Finish.Line;
}

void TCustomQmEdit::DoBlockIndent() {
  if (!HasSelection()) return;
  const TBufferPos s = BlockStart(), f = BlockFinish();
  const TQmSelectionMode mode = FActiveSelectionMode;
  const int last = BlockLastLine(s, f);
  const std::string unit = HasOption(eoTabsToSpaces) ? std::string(static_cast<std::size_t>(FTabWidth), ' ') : "\t";
  const int ulen = Len(unit);
  const int column = mode == smColumn ? BlockLeftColumn(s, f) : 1;
  const TBufferPos oldCaret = CaretXY();
  {
    const TQmUndoBlock block(*this);
    FLines->BeginUpdate();
    const TQmScopeExit endUpdate([this] { FLines->EndUpdate(); });
    for (int l = s.Line; l <= last; ++l) {
      std::string line = FLines->Get(l - 1);
      const int at = ColumnBlockChar(line, column, FTabWidth);
      // Blanks padding a short line up to the column undo with the unit.
      const int from = std::min(at, Len(line) + 1);
      if (Len(line) < at - 1) line.append(static_cast<std::size_t>(at - 1 - Len(line)), ' ');
      line.insert(static_cast<std::size_t>(at - 1), unit);
      FLines->Put(l - 1, line);
      FUndoList->RecordChange(urInsert, {from, l}, {at + ulen, l}, "", smNormal);
    }
    FUndoList->RecordChange(urIndent, s, f, "", mode);
    FUndoList->RecordChange(urIndent, {s.Char + ulen, s.Line}, {f.Char + ulen, f.Line}, "", mode);
  }
  const int caretX = f.Char == 1 ? 1 : oldCaret.Char + (HasOption(eoTabsToSpaces) ? FTabWidth : 1);
  InternalSetCaretXY({caretX, oldCaret.Line});
  FBlockBegin = {s.Char + ulen, s.Line};
  FBlockEnd = {f.Char + (f.Char == 1 ? 0 : ulen), f.Line};
  FActiveSelectionMode = mode;
  InvalidateLines(s.Line, f.Line);
  StatusChanged(scSelection);
}

// The removable indentation of a line at byte Column: one tab, or up to TabWidth blanks
// with a tab that follows fewer than TabWidth blanks.
static int UnindentPrefix(const std::string &Line, int Column, int TabWidth) {
  const int len = static_cast<int>(Line.size());
  int i = Column - 1;
  if (i < len && Line[static_cast<std::size_t>(i)] == '\t') return 1;
  int n = 0;
  while (i + n < len && n < TabWidth && Line[static_cast<std::size_t>(i + n)] == ' ') ++n;
  if (n < TabWidth && i + n < len && Line[static_cast<std::size_t>(i + n)] == '\t') ++n;
  return n;
}

void TCustomQmEdit::DoBlockUnindent() {
  if (!HasSelection()) return;
  const TBufferPos s = BlockStart(), f = BlockFinish();
  const TQmSelectionMode mode = FActiveSelectionMode;
  const int last = BlockLastLine(s, f);
  const int column = mode == smColumn ? BlockLeftColumn(s, f) : 1;
  // Each line's prefix (byte index, length) is found before anything changes; a line that
  // ends left of the block's column has none.
  std::vector<std::pair<int, int>> prefixes;
  bool any = false;
  for (int l = s.Line; l <= last; ++l) {
    const std::string line = FLines->Get(l - 1);
    const int at = ColumnBlockChar(line, column, FTabWidth);
    prefixes.emplace_back(at, at <= Len(line) ? UnindentPrefix(line, at, FTabWidth) : 0);
    any = any || prefixes.back().second > 0;
  }
  if (!any) return;
  std::string removed;
  int caretPrefix = 0;
  {
    FLines->BeginUpdate();
    const TQmScopeExit endUpdate([this] { FLines->EndUpdate(); });
    for (int l = s.Line; l <= last; ++l) {
      const auto [at, n] = prefixes[static_cast<std::size_t>(l - s.Line)];
      if (l > s.Line) removed += "\r\n";
      if (n > 0) {
        std::string line = FLines->Get(l - 1);
        removed += line.substr(static_cast<std::size_t>(at - 1), static_cast<std::size_t>(n));
        line.erase(static_cast<std::size_t>(at - 1), static_cast<std::size_t>(n));
        FLines->Put(l - 1, line);
      }
      if (l == FCaretY) caretPrefix = n;
    }
  }
  FUndoList->RecordChange(urUnindent, s, f, removed, mode);
  if (mode != smColumn) {
    const int firstLen = prefixes.front().second;
    const int lastLen = f.Line <= last ? prefixes.back().second : 0;
    const TBufferPos ns{std::max(1, s.Char - firstLen), s.Line};
    const TBufferPos nf{std::max(1, f.Char - lastLen), f.Line};
    const bool forward = EarlierPoint(FBlockBegin, FBlockEnd) == FBlockBegin;
    const int caretX = FCaretX == 1 ? 1 : std::max(1, FCaretX - caretPrefix);
    InternalSetCaretXY({caretX, FCaretY});
    FBlockBegin = forward ? ns : nf;
    FBlockEnd = forward ? nf : ns;
    FActiveSelectionMode = mode;
  }
  InvalidateLines(s.Line, f.Line);
  StatusChanged(scSelection);
}

// ---- case changes --------------------------------------------------------------------------

void TCustomQmEdit::DoCaseChange(TQmEditorCommand Command) {
  const bool wordCommand = Command >= ecUpperCase && Command <= ecTitleCase;
  const bool hadSelection = HasSelection();
  const TBufferPos oldCaret = CaretXY(), oldBegin = FBlockBegin, oldEnd = FBlockEnd;
  const TQmSelectionMode oldMode = FActiveSelectionMode;
  if (wordCommand) {
    auto selectWord = [&] {
      const TBufferPos a = WordStart(), b = WordEnd();
      FBlockBegin = a;
      FBlockEnd = b;
      FActiveSelectionMode = smNormal;
    };
    selectWord();
    for (int i = 0; i < 2 && !HasSelection(); ++i) {
      InternalSetCaretXY(PrevWordPos());
      selectWord();
    }
  } else if (!hadSelection) {
    const std::string line = LineText();
    if (FCaretX > Len(line) && FCaretY < FLines->Count()) {
      InternalSetCaretXY({1, FCaretY + 1});
    } else {
      const int n = FCaretX <= Len(line) ? static_cast<int>(cp932::CharLen(line, static_cast<std::size_t>(FCaretX - 1))) : 1;
      FBlockBegin = CaretXY();
      FBlockEnd = {FCaretX + n, FCaretY};
      FActiveSelectionMode = smNormal;
    }
  }
  if (HasSelection()) {
    const TQmSelectionMode mode = FActiveSelectionMode;
    const std::string text = UndoSelText();
    const TQmUndoBlock block(*this);
    FUndoList->RecordChange(urSelection, FBlockBegin, FBlockEnd, "", mode);
    FUndoList->RecordChange(urCaret, oldCaret, oldCaret, "", mode);
    const TBufferPos s = BlockStart(), f = BlockFinish();
    FUndoList->RecordChange(urDelete, FBlockBegin, FBlockEnd, text, mode);
    if (mode == smColumn) {
      // Every row changes where it stands: the rows go back at the block's left edge,
      // from its first line down, whichever corner the block was made from.
      const int column = BlockLeftColumn(s, f);
      IncPaintLock();
      const TQmScopeExit unlock([this] { DecPaintLock(); });
      FLines->BeginUpdate();
      const TQmScopeExit endUpdate([this] { FLines->EndUpdate(); });
      SetSelTextPrimitive(mode, "", false);
      InsertColumnPieces(column, s.Line, SplitTextLines(ConvertCase(text, Command)), true);
    } else {
      FBlockBegin = s;
      FBlockEnd = f;
      SetSelTextPrimitive(mode, ConvertCase(text, Command), false);
      // Whole lines came back in line mode: the insertion runs from their first column.
      FUndoList->RecordChange(urInsert, {mode == smLine ? 1 : s.Char, s.Line}, CaretXY(), "", smNormal);
    }
  }
  if (!wordCommand && hadSelection) {
    FBlockBegin = oldBegin;
    FBlockEnd = oldEnd;
    FActiveSelectionMode = oldMode;
  }
  if (hadSelection || wordCommand) SetCaretXY(oldCaret);
  viewport()->update();
}

// ---- bookmark keys -------------------------------------------------------------------------

void TCustomQmEdit::DoSetMarker(int N, void *Data) {
  const TBufferPos p = Data ? *static_cast<const TBufferPos *>(Data) : CaretXY();
  if (TQmEditMark *m = BookMark(N)) {
    const bool sameLine = m->Line == p.Line;
    ClearBookMark(N);
    if (!sameLine) SetBookMark(N, p.Char, p.Line);
  } else {
    SetBookMark(N, p.Char, p.Line);
  }
}
