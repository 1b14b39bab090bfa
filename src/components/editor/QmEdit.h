// The SQL editor control.
//
// TCustomQmEdit keeps its text in a TQmEditStringList of CP932 lines and shows it in a
// fixed grid of character cells (one cell per byte, so a double-byte character takes two
// cells). Two coordinate systems meet here: buffer positions (byte index, line) and display
// positions (column after tab expansion, display row). A buffer position never rests on
// the trail byte of a double-byte character.
//
// The class is spread over several sources: QmEdit.cpp (construction, paint lock,
// geometry, clipboard, keyboard, input method, mouse), QmEditCaret.cpp (caret, selection,
// text insertion), QmEditScroll.cpp (scrolling, caret display, scroll bars),
// QmEditPaint.cpp (painting), QmEditCommand.cpp and QmEditEditing.cpp (the commands),
// QmEditUndo.cpp (undo and redo replay, bookmarks, marks) and QmEditMessages.cpp (word
// selection, drag and drop, the mouse cursor, actions, key-binding differences).
//
// Every editing operation runs inside the paint lock: caret placement, scroll-bar updates
// and status reports are made once, when the last lock is released.
#pragma once

#include <QAbstractScrollArea>
#include <QByteArray>
#include <QFont>
#include <QString>
#include <QPoint>
#include <QRect>
#include <QTimer>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "components/editor/QmEditHighlighter.h"
#include "components/editor/QmEditKbdHandler.h"
#include "components/editor/QmEditKeyCmds.h"
#include "components/editor/QmEditMiscClasses.h"
#include "components/editor/QmEditMiscProcs.h"
#include "components/editor/QmEditTextBuffer.h"
#include "components/editor/QmEditTypes.h"
#include "components/editor/QmEditWordWrap.h"
#include "components/editor/QmTextDrawer.h"
#include "engine/Exception.h"

class QPainter;
class QLabel;
class QMimeData;

class EQmEditError : public Exception {
 public:
  using Exception::Exception;
  const char *ClassName() const override { return "EQmEditError"; }
};

// ---- options -------------------------------------------------------------------------

enum TQmEditorOption : std::uint8_t {
  eoAltSetsColumnMode = 0,
  eoAutoIndent = 1,
  eoAutoSizeMaxScrollWidth = 2,
  eoDisableScrollArrows = 3,
  eoDragDropEditing = 4,
  eoDropFiles = 5,
  eoEnhanceHomeKey = 6,
  eoEnhanceEndKey = 7,
  eoGroupUndo = 8,
  eoHalfPageScroll = 9,
  eoHideShowScrollbars = 10,
  eoKeepCaretX = 11,
  eoNoCaret = 12,
  eoNoSelection = 13,
  eoRightMouseMovesCursor = 14,
  eoScrollByOneLess = 15,
  eoScrollHintFollows = 16,
  eoScrollPastEof = 17,
  eoScrollPastEol = 18,
  eoShowScrollHint = 19,
  eoShowSpecialChars = 20,
  eoSmartTabDelete = 21,
  eoSmartTabs = 22,
  eoSpecialLineDefaultFg = 23,
  eoTabIndent = 24,
  eoTabsToSpaces = 25,
  eoTrimTrailingSpaces = 26,
};

// A set of options: bit N is option N.
using TQmEditorOptions = std::uint32_t;
constexpr TQmEditorOptions OptionBit(TQmEditorOption o) { return TQmEditorOptions(1) << o; }
constexpr TQmEditorOptions QM_DEFAULT_OPTIONS =
    OptionBit(eoAutoIndent) | OptionBit(eoDragDropEditing) | OptionBit(eoEnhanceEndKey) |
    OptionBit(eoGroupUndo) | OptionBit(eoScrollPastEol) | OptionBit(eoShowScrollHint) |
    OptionBit(eoSmartTabDelete) | OptionBit(eoSmartTabs) | OptionBit(eoTabsToSpaces);

// ---- status changes ------------------------------------------------------------------

using TQmStatusChanges = std::uint16_t;
constexpr TQmStatusChanges scAll = 1;
constexpr TQmStatusChanges scCaretX = 2;
constexpr TQmStatusChanges scCaretY = 4;
constexpr TQmStatusChanges scLeftChar = 8;
constexpr TQmStatusChanges scTopLine = 16;
constexpr TQmStatusChanges scInsertMode = 32;
constexpr TQmStatusChanges scModified = 64;
constexpr TQmStatusChanges scSelection = 128;
constexpr TQmStatusChanges scReadOnly = 256;

// ---- small types ---------------------------------------------------------------------

enum TQmEditCaretType : std::uint8_t { ctVerticalLine, ctHorizontalLine, ctHalfBlock, ctBlock };
enum TScrollHintFormat : std::uint8_t { shfTopLineOnly = 0, shfTopToBottom = 1 };
enum TScrollBarKind : std::uint8_t { sbHorizontal, sbVertical };
enum TBorderStyle : std::uint8_t { bsNone, bsSingle };
enum TTransientType : std::uint8_t { ttBefore, ttAfter };

// Requests of the scroll bars, as the scroll messages carry them.
enum TQmScrollRequest : std::uint8_t {
  SB_LINEUP = 0, SB_LINEDOWN = 1, SB_PAGEUP = 2, SB_PAGEDOWN = 3, SB_THUMBPOSITION = 4,
  SB_THUMBTRACK = 5, SB_TOP = 6, SB_BOTTOM = 7, SB_ENDSCROLL = 8,
};

// Arrow states of a scroll bar.
constexpr unsigned ESB_ENABLE_BOTH = 0;
constexpr unsigned ESB_DISABLE_LEFT = 1;   // also the up arrow
constexpr unsigned ESB_DISABLE_RIGHT = 2;  // also the down arrow
constexpr unsigned ESB_DISABLE_BOTH = 3;

// What a scroll bar was last given.
struct TQmScrollInfo {
  int Min = 0, Max = 0, Page = 0, Pos = 0;
  bool Shown = false;
  unsigned Arrows = ESB_ENABLE_BOTH;
};

class TCustomQmEdit;

// The name of the editor's own clipboard format (a byte with the selection mode, then
// the text and a NUL), and its identifier for Qt's clipboard.
extern const char *const QmEditClipboardFormatName;
QString QmEditClipboardFormat();

// The block of the own format for a text copied in a selection mode. After the NUL that
// ends the text come four bytes with the text's length (least significant first): a
// reader that takes the text up to its NUL finds what it always found, and the editor
// takes the whole text back, NULs and all.
QByteArray QmEditClipboardBlock(TQmSelectionMode Mode, const std::string &Text);
// Mode and text of a block; false when the block is empty or its mode unknown. A block
// without a length that matches (one of an older build) gives the text up to its first NUL.
bool ReadQmEditClipboardBlock(const QByteArray &Block, TQmSelectionMode &Mode, std::string &Text);

// ---- marks ---------------------------------------------------------------------------

// A glyph shown in the gutter at a line: a numbered bookmark (0..9) or a plain mark (-1).
class TQmEditMark : public TObject {
 public:
  explicit TQmEditMark(TCustomQmEdit *Owner = nullptr) : FEdit(Owner) {}
  const char *ClassName() const override { return "TQmEditMark"; }
  int Line = 0;
  int Char = 0;
  int ImageIndex = 0;
  bool Visible = false;
  bool InternalImage = false;
  int BookmarkNumber = -1;
  bool IsBookmark() const { return BookmarkNumber >= 0; }
  TCustomQmEdit *Edit() const { return FEdit; }
  // The owner editor while it still lists the mark; otherwise the mark forgets it.
  virtual TCustomQmEdit *GetEdit();
  // The setters repaint the mark's gutter line when the mark is shown.
  virtual void SetChar(int Value) { Char = Value; }
  virtual void SetImage(int Value);
  virtual void SetLine(int Value);
  void SetVisible(bool Value);
  void SetInternalImage(bool Value);

 private:
  void RepaintLine(int L);
  TCustomQmEdit *FEdit;
};

// The marks of an editor; the list owns them.
class TQmEditMarkList : public TObject {
 public:
  const char *ClassName() const override { return "TQmEditMarkList"; }
  static constexpr int MaxMarksPerLine = 16;
  using TMarks = std::array<TQmEditMark *, MaxMarksPerLine>;
  int Count() const { return static_cast<int>(FItems.size()); }
  TQmEditMark *Items(int Index) const { return FItems.at(static_cast<std::size_t>(Index)).get(); }
  void Add(std::unique_ptr<TQmEditMark> Mark);
  void Clear();
  // Deletes (frees) the mark at Index.
  void Delete(int Index);
  // Takes the mark out of the list without freeing it (nullptr when it is not listed).
  std::unique_ptr<TQmEditMark> Remove(TQmEditMark *Mark);
  int IndexOf(const TQmEditMark *Mark) const;
  // Up to 16 marks of the line, in list order; the rest of the array is empty.
  void GetMarksForLine(int Line, TMarks &Marks) const;
  TNotifyEvent OnChange;

 private:
  std::vector<std::unique_ptr<TQmEditMark>> FItems;
};

// ---- search engine -------------------------------------------------------------------

// The search engine an editor may be given. The editor only keeps the reference and lets
// go of it when the engine is freed; the searching itself belongs to the engine.
class TQmEditSearchCustom : public TComponent {
 public:
  using TComponent::TComponent;
  const char *ClassName() const override { return "TQmEditSearchCustom"; }
};

// ---- plug-ins ------------------------------------------------------------------------

// Extensions told of painting and of lines added or removed.
class TQmEditPlugin {
 public:
  virtual ~TQmEditPlugin() = default;
  virtual void AfterPaint(QPainter &Canvas, const QRect &Clip, int FirstRow, int LastRow) = 0;
  virtual void LinesInserted(int FirstLine, int Count) = 0;
  virtual void LinesDeleted(int FirstLine, int Count) = 0;
};

// ---- events --------------------------------------------------------------------------

using TStatusChangeEvent = TQmMethod<TObject *, TQmStatusChanges>;
using TPaintEvent = TQmMethod<TObject *, QPainter &>;
// The canvas is given while the editor paints, nullptr otherwise.
using TPaintTransient = TQmMethod<TObject *, QPainter *, TTransientType>;
using TSpecialLineColorsEvent = TQmMethod<TObject *, int, bool &, TColor &, TColor &>;
using TGutterClickEvent = TQmMethod<TObject *, TMouseButton, int, int, int, TQmEditMark *>;
using TGutterGetTextEvent = TQmMethod<TObject *, int, std::string &>;
using TGutterPaintEvent = TQmMethod<TObject *, int, int, int>;
using TScrollEvent = TQmMethod<TObject *, TScrollBarKind>;
using TProcessCommandEvent = TQmMethod<TObject *, TQmEditorCommand &, char &, void *>;
// A hooked command handler: (sender, after processing, var handled, var command, var
// character, data, the handler's own data).
using THookedCommandEvent = TQmMethod<TObject *, bool, bool &, TQmEditorCommand &, char &, void *, void *>;
// A bookmark about to be placed or cleared; placing may replace the mark (the editor then
// owns the replacement, which must come from new) or set it to nullptr to cancel.
using TPlaceMarkEvent = TQmMethod<TObject *, TQmEditMark *&>;
using TContextHelpEvent = TQmMethod<TObject *, const std::string &>;
using TEditMouseCursorEvent = TQmMethod<TObject *, const TBufferPos &, TCursor &>;
using TDropFilesEvent = TQmMethod<TObject *, int, int, const std::vector<std::string> &>;

// The standard edit actions the editor carries out.
enum TQmEditAction : std::uint8_t { eaCut, eaCopy, eaPaste, eaDelete, eaUndo, eaSelectAll };

// ---------------------------------------------------------------------------------------

class TCustomQmEdit : public QAbstractScrollArea, public TObject, public IQmWordWrapEditor {
  Q_OBJECT

 public:
  explicit TCustomQmEdit(QWidget *Parent = nullptr);
  ~TCustomQmEdit() override;
  const char *ClassName() const override { return "TCustomQmEdit"; }

  // ---- construction ----
  void Loaded();

  // ---- paint lock ----
  void IncPaintLock();
  void DecPaintLock();
  // Runs F inside the paint lock, released however F ends.
  template <typename F>
  void WithPaintLock(F &&Body) {
    IncPaintLock();
    const TQmScopeExit unlock([this] { DecPaintLock(); });
    Body();
  }
  int PaintLock() const { return FPaintLock; }
  // Runs F with eoScrollPastEol switched on, restoring it however F ends.
  template <typename F>
  void WithScrollPastEol(F &&Body) {
    const TQmEditorOptions bit = OptionBit(eoScrollPastEol), saved = FOptions & bit;
    FOptions |= bit;
    const TQmScopeExit restore([this, bit, saved] { FOptions = (FOptions & ~bit) | saved; });
    Body();
  }

  // ---- text ----
  TQmEditStringList &Lines() { return *FLines; }
  const TQmEditStringList &Lines() const override { return *FLines; }
  std::string GetText() const { return FLines->GetText(); }
  void SetText(const std::string &Value);
  void SetLines(const TQmEditStringList &Value);
  std::string LineText() const;
  void SetLineText(const std::string &Value);
  void PutLineTrimmed(int Index, const std::string &Text);
  std::string GetSelText() const;
  void SetSelText(const std::string &Value);
  std::string WordAtCaret();
  int LeftSpaces(const std::string &Line, bool ExpandTabs = false) const;
  std::string IndentText(int Count, bool AllowTabs) const;
  static std::string TrimTrailingBlanks(const std::string &Text);

  // ---- coordinates ----
  TDisplayPos BufferToDisplayPos(const TBufferPos &P) const;
  TBufferPos DisplayToBufferPos(const TDisplayPos &P) const;
  int LineToRow(int Line) const;
  int RowToLine(int Row) const;
  int DisplayLineCount() const;
  TDisplayPos PixelsToRowColumn(int X, int Y) const;
  TDisplayPos PixelsToNearestRowColumn(int X, int Y) const;
  QPoint RowColumnToPixels(const TDisplayPos &P) const;
  void ComputeCaret(int X, int Y);

  // ---- caret ----
  int CaretX() const { return FCaretX; }
  int CaretY() const { return FCaretY; }
  TBufferPos CaretXY() const { return {FCaretX, FCaretY}; }
  void SetCaretX(int Value);
  void SetCaretY(int Value);
  void SetCaretXY(const TBufferPos &Value);
  void SetCaretXYEx(bool EnsureVisible, TBufferPos Value);
  void InternalSetCaretXY(const TBufferPos &Value);
  TDisplayPos DisplayXY() const;
  int DisplayX() const { return DisplayXY().Column; }
  int DisplayY() const { return DisplayXY().Row; }
  void UpdateLastCaretX();
  int LastCaretX() const { return FLastCaretX; }
  bool CaretAtEndOfRow() const { return FCaretAtEndOfRow; }
  bool CaretShiftedOffTrail() const { return FCaretShiftedOffTrail; }
  void MoveCaretHorz(int DX, bool SelectionCommand);
  void MoveCaretVert(int DY, bool SelectionCommand);
  void MoveCaretAndSelection(const TBufferPos &PtBefore, const TBufferPos &PtAfter,
                             bool SelectionCommand);
  void SetCaretAndSelection(const TBufferPos &Caret, const TBufferPos &BlockBegin,
                            const TBufferPos &BlockEnd);
  void DoHomeKey(bool Selection);
  void DoEndKey(bool Selection);
  void SetInternalDisplayXY(const TDisplayPos &P);

  // ---- block ----
  TBufferPos BlockBegin() const { return FBlockBegin; }
  TBufferPos BlockEnd() const { return FBlockEnd; }
  void SetBlockBegin(TBufferPos Value);
  void SetBlockEnd(TBufferPos Value);
  TBufferPos BlockStart() const;
  TBufferPos BlockFinish() const;
  bool HasSelection() const;
  bool SelectionSpansLines() const;
  bool SelectionIsFullLine() const;
  bool IsPointInSelection(const TBufferPos &P) const;
  TQmSelectionMode SelectionMode() const { return FSelectionMode; }
  void SetSelectionMode(TQmSelectionMode Value);
  TQmSelectionMode ActiveSelectionMode() const { return FActiveSelectionMode; }
  void SetActiveSelectionMode(TQmSelectionMode Value);
  void SelectAll();

  // ---- editing ----
  void SetSelTextPrimitive(TQmSelectionMode PasteMode, const std::string &Value, bool AddToUndoList);
  void ReplaceSelection(const std::string &Value);
  void CopyToClipboard();
  void CutToClipboard();
  void PasteFromClipboard();
  bool CanPaste() const;
  void BeginUndoBlock() { FUndoList->OpenBlock(); }
  void EndUndoBlock() { FUndoList->CloseBlock(); }
  TQmEditUndoList &UndoList() { return *FUndoList; }
  TQmEditUndoList &RedoList() { return *FRedoList; }

  // ---- commands and input ----
  TQmEditorCommand TranslateKeyCode(std::uint16_t Code, TShiftState Shift, void *&Data);
  virtual void CommandProcessor(TQmEditorCommand Command, char AChar, void *Data);
  virtual void ExecuteCommand(TQmEditorCommand Command, char AChar, void *Data);
  // Keyboard entry points (the Qt events call them; the key is a virtual-key code and a
  // character is one CP932 byte).
  void KeyDown(std::uint16_t &Key, TShiftState Shift);
  void KeyUp(std::uint16_t &Key, TShiftState Shift);
  void KeyPress(char &Key);
  // A confirmed input-method string (program text).
  void ImeResult(const std::string &Text);
  TQmEditKeyStrokes &Keystrokes() { return *FKeyStrokes; }
  TQmEditKbdHandler &KbdHandler() { return *FKbdHandler; }

  // ---- mouse ----
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
  void MouseMove(TShiftState Shift, int X, int Y);
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
  void ComputeScroll(int X, int Y);
  void ScrollTimerHandler();
  bool ScrollTimerActive() const { return FScrollTimer->isActive(); }
  bool MouseCaptured() const { return FMouseCaptured; }
  bool WaitingForDrag() const { return FWaitForDragging; }
  // Drops the selection of Source (this editor or another) at a client point; Ctrl and
  // Shift are the key states of the drop. False when the drop is refused.
  bool DropText(TCustomQmEdit *Source, int X, int Y, bool Ctrl, bool Shift);

  // ---- editing commands ----
  TBufferPos NextWordPos() { return NextWordPosEx(CaretXY()); }
  TBufferPos NextWordPosEx(const TBufferPos &P);
  TBufferPos PrevWordPos() { return PrevWordPosEx(CaretXY()); }
  TBufferPos PrevWordPosEx(const TBufferPos &P);
  TBufferPos WordStart() { return WordStartEx(CaretXY()); }
  TBufferPos WordStartEx(const TBufferPos &P);
  TBufferPos WordEnd() { return WordEndEx(CaretXY()); }
  TBufferPos WordEndEx(const TBufferPos &P);
  // The partner of the bracket at P, or (0, 0).
  TBufferPos GetMatchingBracket() { return GetMatchingBracketEx(CaretXY()); }
  TBufferPos GetMatchingBracketEx(const TBufferPos &P);
  void FindMatchingBracket();
  void RegisterCommandHandler(const THookedCommandEvent &Handler, void *HandlerData);
  void UnregisterCommandHandler(const THookedCommandEvent &Handler);

  // ---- undo and redo ----
  void Undo();
  void Redo();
  bool CanUndo() const { return !FReadOnly && FUndoList->HasItems(); }
  bool CanRedo() const { return !FReadOnly && FRedoList->HasItems(); }
  void ClearUndo();
  void LockUndo();
  void UnlockUndo();
  int MaxUndo() const { return FUndoList->MaxItems(); }
  void SetMaxUndo(int Value);
  bool Modified() const { return FModified; }
  void SetModified(bool Value);
  void UpdateModifiedStatus();
  void ClearAll();

  // ---- bookmarks ----
  void SetBookMark(int BookMark, int X, int Y);
  void ClearBookMark(int BookMark);
  void GotoBookMark(int BookMark);
  // The mark in bookmark slot n, or nullptr.
  TQmEditMark *BookMark(int BookMark) const;
  bool IsBookmark(int BookMark) const { return this->BookMark(BookMark) != nullptr; }

  // ---- messages, word selection and actions ----
  void SetWordBlock(TBufferPos Value);
  void SetSelWord() { SetWordBlock(CaretXY()); }
  // The token at P: its text, attribute, kind and 1-based start; false without a
  // highlighter or outside the text.
  bool GetHighlighterAttriAtRowCol(const TBufferPos &P, std::string &Token,
                                   TQmHighlighterAttributes *&Attri, int *TokenKind = nullptr,
                                   int *Start = nullptr);
  TQmCharSet WordCharSet() const;
  void ClearSelection();
  // The viewport's cursor for the last mouse point: the gutter's, an arrow over a
  // selection that can be dragged, else the text cursor.
  void UpdateMouseCursor();
  void ResetKeystrokes() { FKeyStrokes->LoadDefaultBindings(); }
  void SetKeystrokes(const TQmEditKeyStrokes *Value);
  // The whole text cut to Size - 1 bytes and NUL-terminated; returns the bytes copied.
  int GetTextBuf(char *Buffer, int Size) const;
  int GetTextLen() const { return static_cast<int>(GetText().size()); }
  bool ExecuteAction(TQmEditAction Action);
  // Sets Enabled for the action and returns true while the editor has the focus; false
  // (Enabled untouched) otherwise.
  bool UpdateAction(TQmEditAction Action, bool &Enabled) const;
  // Controls that take the focus in the editor's place (the last one added wins).
  void AddFocusControl(QWidget *Control);
  void RemoveFocusControl(QWidget *Control);
  void SetFocus();
  // Key-binding differences against a reference map (the default map when none): the
  // strokes only this editor has, and the reference strokes it lacks.
  void WriteKeystrokeDiff(std::vector<std::unique_ptr<TQmEditKeyStroke>> &Added,
                          std::vector<std::unique_ptr<TQmEditKeyStroke>> &Removed,
                          const TQmEditKeyStrokes *Reference = nullptr) const;
  void ReadAddedKeystrokes(const TQmEditKeyStrokes &Strokes);
  void ReadRemovedKeystrokes(const TQmEditKeyStrokes &Strokes);
  // The highlighter or search engine is going away.
  void HighlighterFreed(TQmCustomHighlighter *Highlighter);

  // ---- scrolling ----
  // The metrics follow the text area's size, which Qt gives a hidden widget only when it
  // is shown; size an editor and show it before relying on LinesInWindow and CharsInWindow.
  int TopLine() const { return FTopLine; }
  void SetTopLine(int Value);
  int LeftChar() const { return FLeftChar; }
  void SetLeftChar(int Value);
  int LineHeight() const { return FTextHeight; }
  int CharWidth() const { return FCharWidth; }
  int LinesInWindow() const { return FLinesInWindow; }
  int CharsInWindow() const override { return FCharsInWindow; }
  int GutterWidth() const { return FGutterWidth; }
  void SetGutterWidth(int Value);
  int TextOffset() const { return FTextOffset; }
  void GutterChanged();
  void SizeOrFontChanged(bool FontChanged);
  void RecalcCharExtent();
  void EnsureCursorPosVisible() { EnsureCursorPosVisibleEx(false); }
  void EnsureCursorPosVisibleEx(bool ForceToMiddle);
  bool CaretInView() const;
  void UpdateScrollBars();
  const TQmScrollInfo &ScrollInfo(TScrollBarKind Kind) const {
    return Kind == sbHorizontal ? FHScrollInfo : FVScrollInfo;
  }
  void WMVScroll(TQmScrollRequest Request, int Pos);
  void WMHScroll(TQmScrollRequest Request, int Pos);
  void WMMouseWheel(int Delta, TShiftState Shift);
  bool IsScrollTracking() const { return FIsScrolling; }
  // The shared hint window of the thumb drags (created on first use).
  static QLabel *ScrollHintWindow();

  // ---- caret display ----
  void InitializeCaret();
  void UpdateCaret();
  void ShowCaret();
  void HideCaret();
  bool CaretVisible() const { return FCaretVisible; }
  // Where the caret is drawn (client pixels), and its size.
  QRect CaretRect() const { return QRect(FCaretPos, FCaretSize); }
  bool AlwaysShowCaret() const { return FAlwaysShowCaret; }
  void SetAlwaysShowCaret(bool Value);

  // ---- painting ----
  void InvalidateGutter();
  void InvalidateGutterLines(int FirstLine, int LastLine);
  void InvalidateLines(int FirstLine, int LastLine);
  void InvalidateLine(int Line) { InvalidateLines(Line, Line); }
  void InvalidateSelection();
  void InvalidateRect(const QRect &Rect);
  void PaintTo(QPainter &Canvas, const QRect &Clip);
  TColor EditorBackground(int Line) const;
  void DoOnPaintTransient(TTransientType Type, bool Counted = true);

  // ---- properties ----
  TQmEditorOptions Options() const { return FOptions; }
  bool HasOption(TQmEditorOption o) const { return (FOptions & OptionBit(o)) != 0; }
  void SetOptions(TQmEditorOptions Value);
  bool InsertMode() const { return FInsertMode; }
  void SetInsertMode(bool Value);
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value);
  int MaxScrollWidth() const { return FMaxScrollWidth; }
  void SetMaxScrollWidth(int Value);
  int TabWidth() const { return FTabWidth; }
  void SetTabWidth(int Value);
  int ExtraLineSpacing() const { return FExtraLineSpacing; }
  void SetExtraLineSpacing(int Value);
  TQmEditCaretType InsertCaret() const { return FInsertCaret; }
  void SetInsertCaret(TQmEditCaretType Value);
  TQmEditCaretType OverwriteCaret() const { return FOverwriteCaret; }
  void SetOverwriteCaret(TQmEditCaretType Value);
  TScrollStyle ScrollBars() const { return FScrollBars; }
  void SetScrollBars(TScrollStyle Value);
  TColor ScrollHintColor() const { return FScrollHintColor; }
  void SetScrollHintColor(TColor Value) { FScrollHintColor = Value; }
  TScrollHintFormat ScrollHintFormat() const { return FScrollHintFormat; }
  void SetScrollHintFormat(TScrollHintFormat Value) { FScrollHintFormat = Value; }
  bool WordWrap() const { return FWordWrap != nullptr; }
  void SetWordWrap(bool Value);
  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle Value);
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  TColor ActiveLineColor() const { return FActiveLineColor; }
  void SetActiveLineColor(TColor Value);
  int RightEdge() const { return FRightEdge; }
  void SetRightEdge(int Value);
  TColor RightEdgeColor() const { return FRightEdgeColor; }
  void SetRightEdgeColor(TColor Value);
  bool HideSelection() const { return FHideSelection; }
  void SetHideSelection(bool Value);
  bool WantReturns() const { return FWantReturns; }
  void SetWantReturns(bool Value) { FWantReturns = Value; }
  bool WantTabs() const { return FWantTabs; }
  void SetWantTabs(bool Value) { FWantTabs = Value; }
  TFont &Font() { return *FFont; }
  void SetFont(const TFont &Value);
  // The Qt font the editor shows (a fixed pitch asked for when the face is proportional).
  QFont ControlFont() const;
  // The input method's text being composed, shown at the caret.
  const QString &ImePreedit() const { return FImePreedit; }
  // Bytes of the last confirmed input-method string still expected as characters.
  int ImeSkipCount() const { return static_cast<int>(FImePending.size()); }
  TQmGutter &Gutter() { return *FGutter; }
  TQmSelectedColor &SelectedColor() { return *FSelectedColor; }
  TQmBookMarkOpt &BookMarkOptions() { return *FBookMarkOpt; }
  TQmGlyph &WordWrapGlyph() { return *FWordWrapGlyph; }
  TQmEditMarkList &Marks() { return *FMarks; }
  TQmCustomHighlighter *Highlighter() const { return FHighlighter; }
  void SetHighlighter(TQmCustomHighlighter *Value);
  TQmEditSearchCustom *SearchEngine() const { return FSearchEngine; }
  void SetSearchEngine(TQmEditSearchCustom *Value);
  TheTextDrawer &TextDrawer() { return *FTextDrawer; }
  TQmWordWrapPlugin *WordWrapPlugin() const { return FWordWrap.get(); }
  std::vector<TQmEditPlugin *> &Plugins() { return FPlugins; }
  TQmCharSet WordChars() const override;

  // ---- status ----
  void StatusChanged(TQmStatusChanges Changes);
  TQmStatusChanges PendingStatusChanges() const { return FStatusChanges; }

  // ---- line-store handlers ----
  void LinesChanging(TObject *Sender);
  void LinesChanged(TObject *Sender);
  void ListCleared(TObject *Sender);
  void ListDeleted(TObject *Sender, int Index, int Count);
  void ListInserted(TObject *Sender, int Index, int Count);
  void ListPutted(TObject *Sender, int Index, int Count);
  int ScanFrom(int Index);
  void ScanRanges();
  void DoLinesDeleted(int FirstLine, int Count);
  void DoLinesInserted(int FirstLine, int Count);

  // Where the input method shows its composition (the caret) and in which font.
  QVariant inputMethodQuery(Qt::InputMethodQuery Query) const override;

  // ---- events ----
  TStatusChangeEvent OnStatusChange;
  TPaintEvent OnPaint;
  TPaintTransient OnPaintTransient;
  TSpecialLineColorsEvent OnSpecialLineColors;
  TGutterClickEvent OnGutterClick;
  TGutterGetTextEvent OnGutterGetText;
  TGutterPaintEvent OnGutterPaint;
  TScrollEvent OnScroll;
  TProcessCommandEvent OnProcessCommand;
  TProcessCommandEvent OnProcessUserCommand;
  TProcessCommandEvent OnCommandProcessed;
  TNotifyEvent OnChange;
  TPlaceMarkEvent OnPlaceBookmark;
  TPlaceMarkEvent OnClearBookmark;
  TContextHelpEvent OnContextHelp;
  TEditMouseCursorEvent OnMouseCursor;
  TDropFilesEvent OnDropFiles;

 protected:
  // Starts dragging the selected text (the press inside the selection moved far enough).
  virtual void StartDragging();
  void DoOnGutterClick(TMouseButton Button, int X, int Y);

  // Qt side.
  void paintEvent(QPaintEvent *E) override;
  void resizeEvent(QResizeEvent *E) override;
  void keyPressEvent(QKeyEvent *E) override;
  void keyReleaseEvent(QKeyEvent *E) override;
  void inputMethodEvent(QInputMethodEvent *E) override;
  void mousePressEvent(QMouseEvent *E) override;
  void mouseDoubleClickEvent(QMouseEvent *E) override;
  void mouseMoveEvent(QMouseEvent *E) override;
  void mouseReleaseEvent(QMouseEvent *E) override;
  void wheelEvent(QWheelEvent *E) override;
  void focusInEvent(QFocusEvent *E) override;
  void focusOutEvent(QFocusEvent *E) override;
  void dragEnterEvent(QDragEnterEvent *E) override;
  void dragMoveEvent(QDragMoveEvent *E) override;
  void dragLeaveEvent(QDragLeaveEvent *E) override;
  void dropEvent(QDropEvent *E) override;
  void DblClick(int X, int Y);
  void scrollContentsBy(int, int) override {}
  bool focusNextPrevChild(bool Next) override;

 private:
  void FontChanged(TObject *Sender);
  void GutterSettingsChanged(TObject *Sender);
  void BookMarkOptionsChanged(TObject *Sender);
  void SelectedColorChanged(TObject *Sender);
  void WordWrapGlyphChanged(TObject *Sender);
  void HighlighterAttrChanged(TObject *Sender);
  void UndoRedoAdded(TObject *Sender);
  template <class F>
  bool ReplayStep(F &&Step);
  void WireLines(TQmEditStringList *Store, bool Attach);
  void PutClipboardText(const std::string &Text);
  void ClampPosition(TBufferPos &P) const;
  void SelTextDeleteBlock();
  void InsertText(TQmSelectionMode Mode, const std::string &Value, bool AddToUndoList);
  void DrawMark(QPainter &Canvas, const TQmEditMark &Mark, int &Offset, int MarkRow);
  void ApplyScrollBar(TScrollBarKind Kind, const TQmScrollInfo &Info, bool Hide);
  void ScrollBarAction(TScrollBarKind Kind, int Action);
  void ShowScrollHint();
  int ScrollRangeH() const;
  int ScrollRangeV() const;
  void PlaceCaret(const QPoint &P);
  void RestartCaretBlink();
  void CaretBlink();
  void PaintGutter(QPainter &Canvas, const QRect &Clip, int FirstRow, int LastRow);
  void PaintTextLines(QPainter &Canvas, QRect Clip, int FirstRow, int LastRow, int FirstCol,
                      int LastCol);
  QRect TextArea() const;
  void ScrollPixels(int DX, int DY, const QRect &Area);
  // Editing commands.
  void ExecuteEditCommand(TQmEditorCommand Command, char AChar, void *Data);
  void DeleteSelectionRecorded();
  void DeleteLastChar();
  void DeleteChar();
  void LineBreak(bool MoveCaret);
  void InsertTyped(const std::string &Text, bool Typed);
  void DoTab();
  void DoShiftTab();
  void DoBlockIndent();
  void DoBlockUnindent();
  void DoCaseChange(TQmEditorCommand Command);
  void DoSetMarker(int N, void *Data);
  // Undo replay.
  void UndoItem();
  void RedoItem();
  void ReplayGroup(TQmEditUndoList &List, TQmUndoReason First, std::int32_t Seq, bool Undoing);
  void AddRedo(TQmUndoReason Reason, TBufferPos Start, TBufferPos End, const std::string &Text,
               TQmSelectionMode Mode);
  void SelectRaw(TBufferPos Begin, TBufferPos End, TQmSelectionMode Mode);
  // The selected text as an undo item keeps it (a column block without padding).
  std::string UndoSelText() const;
  // Where an insertion at P starts for undo: at a position past the end of its line the
  // insertion pads the line with blanks first, and those go when it is undone.
  TBufferPos PaddedInsertStart(TBufferPos P) const;
  void CollapseBlockOnCaret();
  // The display column of a column block's left edge, the block running between A and B.
  int BlockLeftColumn(const TBufferPos &A, const TBufferPos &B) const;
  // The selected text; a column block's rows short of its right edge are padded with
  // blanks when PadColumns is set.
  std::string SelText(bool PadColumns) const;
  // Puts Pieces at display column Column of successive lines from FirstLine (lines that
  // do not exist are added, short ones padded); returns the byte index after the last
  // piece put, 0 when every piece was empty.
  int InsertColumnPieces(int Column, int FirstLine, const std::vector<std::string> &Pieces, bool AddToUndoList);

  // Owned objects.
  std::unique_ptr<TQmEditStringList> FOrgLines;
  TQmEditStringList *FLines;
  std::unique_ptr<TQmEditUndoList> FUndoList, FRedoList;
  std::unique_ptr<TQmSelectedColor> FSelectedColor;
  std::unique_ptr<TQmBookMarkOpt> FBookMarkOpt;
  std::unique_ptr<TQmGutter> FGutter;
  std::unique_ptr<TQmGlyph> FWordWrapGlyph;
  std::unique_ptr<TFont> FFontDummy;
  std::unique_ptr<TFont> FFont;
  std::unique_ptr<TheTextDrawer> FTextDrawer;
  std::unique_ptr<TQmEditKbdHandler> FKbdHandler;
  std::unique_ptr<TQmEditKeyStrokes> FKeyStrokes;
  std::unique_ptr<TQmEditMarkList> FMarks;
  std::unique_ptr<TQmInternalImage> FInternalImages;
  std::vector<TQmEditPlugin *> FPlugins;
  QTimer *FScrollTimer;
  std::unique_ptr<TQmWordWrapPlugin> FWordWrap;
  TQmCustomHighlighter *FHighlighter = nullptr;
  TQmEditSearchCustom *FSearchEngine = nullptr;

  // Caret and block.
  int FCaretX = 1, FCaretY = 1, FLastCaretX = 1;
  bool FCaretAtEndOfRow = false, FCaretShiftedOffTrail = false;
  TBufferPos FBlockBegin, FBlockEnd;
  TQmSelectionMode FSelectionMode = smNormal, FActiveSelectionMode = smNormal;

  // View.
  int FTopLine = 1, FLeftChar = 1;
  int FTextHeight = 0, FCharWidth = 0, FLinesInWindow = 0, FCharsInWindow = 0;
  int FGutterWidth = 0, FTextOffset = 0;
  TQmScrollInfo FHScrollInfo, FVScrollInfo;
  bool FIsScrolling = false;
  int FMouseWheelAccumulator = 0;

  // Caret display.
  QPoint FCaretOffset, FCaretPos{-1000, -1000};
  QSize FCaretSize;
  bool FCaretCreated = false, FCaretVisible = false, FAlwaysShowCaret = false;
  bool FCaretBlinkOn = true;
  QTimer *FCaretBlinkTimer;

  // Settings.
  TQmEditorOptions FOptions = QM_DEFAULT_OPTIONS;
  bool FInsertMode = true, FReadOnly = false, FHideSelection = false;
  bool FWantReturns = true, FWantTabs = false;
  int FMaxScrollWidth = 1024, FTabWidth = 8, FExtraLineSpacing = 0;
  TQmEditCaretType FInsertCaret = ctVerticalLine, FOverwriteCaret = ctBlock;
  TScrollStyle FScrollBars = ssBoth;
  TColor FScrollHintColor = clInfoBk;
  TScrollHintFormat FScrollHintFormat = shfTopLineOnly;
  TBorderStyle FBorderStyle = bsSingle;
  TColor FColor = clWindow, FActiveLineColor = clNone;
  int FRightEdge = 80;
  TColor FRightEdgeColor = clSilver;
  bool FShowSpecialChars = false;

  // Lock and pending work.
  int FPaintLock = 0;
  TQmStatusChanges FStatusChanges = 0;
  bool FCaretPending = false, FScrollBarsPending = false, FLinesChangingFlag = false;
  QRect FInvalidateRect;
  int FPaintTransientLock = 0;
  QPainter *FCanvas = nullptr;  // while painting

  // Mouse and input.
  QPoint FMouseDownPos;
  int FScrollDeltaX = 0, FScrollDeltaY = 0;
  QPoint FLastMousePos;
  TShiftState FLastMouseShift = 0;
  bool FWaitForDragging = false, FDblClicked = false, FGutterClicked = false, FGutterDrag = false;
  bool FMouseCaptured = false, FDragging = false;
  std::string FImePending;  // the bytes of the last confirmed string still to be echoed
  QString FImePreedit;
  bool FFontPitchFixed = false, FInResize = false;
  bool FKeyHandled = false;
  std::uint16_t FLastKey = 0;
  TShiftState FLastShiftState = 0;

  // Commands, undo and bookmarks.
  struct THookedHandler {
    THookedCommandEvent Event;
    void *Data;
  };
  std::vector<THookedHandler> FHookedCommandHandlers;
  bool FModified = false;
  std::int32_t FUndoSequence = 0;  // the sequence number redo items take during an undo
  // While an undo or a redo replays its items, the items it moves between the lists say
  // nothing; the step itself signals a change of the text once (ReplayStep).
  bool FReplaying = false;
  std::uint64_t FTextChanges = 0;  // finished changes of the line store
  std::array<TQmEditMark *, 10> FBookMarks{};
  std::vector<QWidget *> FFocusList;
  bool FDragOwnText = false;
};

// Keeps an undo block of the editor open while it lives: every change recorded meanwhile
// shares one sequence number and undoes as one step. The block closes however the scope
// is left. With Open false it does nothing (for blocks that only some paths need).
class TQmUndoBlock {
 public:
  explicit TQmUndoBlock(TCustomQmEdit &Edit, bool Open = true) : close_(Closer{Open ? &Edit : nullptr}) {
    if (Open) Edit.BeginUndoBlock();
  }

 private:
  struct Closer {
    TCustomQmEdit *Edit;
    void operator()() const {
      if (Edit) Edit->EndUndoBlock();
    }
  };
  TQmScopeExit<Closer> close_;
};

// The editor as forms place it.
class TQmEdit : public TCustomQmEdit {
  Q_OBJECT
 public:
  explicit TQmEdit(QWidget *Parent = nullptr) : TCustomQmEdit(Parent) {}
  const char *ClassName() const override { return "TQmEdit"; }
};
