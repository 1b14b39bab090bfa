// The editor control: construction, paint lock, geometry, clipboard copy, keyboard and
// input-method entry, the mouse, and the line store's notifications.
#include "components/editor/QmEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QDrag>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <climits>
#include <cmath>

#include "components/qtext.h"

const char *const QmEditClipboardFormatName = "QmEdit Control Block Type";

// On Windows Qt maps this identifier to the registered clipboard format of that name, so
// editors of other builds exchange blocks with us; elsewhere it is a private MIME type.
QString QmEditClipboardFormat() {
  static const QString format =
      QStringLiteral("application/x-qt-windows-mime;value=\"%1\"").arg(QLatin1String(QmEditClipboardFormatName));
  return format;
}

namespace {
constexpr qsizetype kBlockLengthBytes = 4;
}

QByteArray QmEditClipboardBlock(TQmSelectionMode Mode, const std::string &Text) {
  QByteArray block;
  block.reserve(static_cast<qsizetype>(Text.size()) + 2 + kBlockLengthBytes);
  block.append(static_cast<char>(Mode));
  block.append(Text.data(), static_cast<qsizetype>(Text.size()));
  block.append('\0');
  const auto length = static_cast<std::uint32_t>(Text.size());
  for (int i = 0; i < kBlockLengthBytes; ++i) block.append(static_cast<char>((length >> (8 * i)) & 0xFF));
  return block;
}

bool ReadQmEditClipboardBlock(const QByteArray &Block, TQmSelectionMode &Mode, std::string &Text) {
  if (Block.isEmpty() || static_cast<unsigned char>(Block[0]) > smColumn) return false;
  Mode = static_cast<TQmSelectionMode>(static_cast<unsigned char>(Block[0]));
  const qsizetype size = Block.size();
  if (size >= 2 + kBlockLengthBytes) {
    std::uint32_t length = 0;
    for (int i = 0; i < kBlockLengthBytes; ++i)
      length |= static_cast<std::uint32_t>(static_cast<unsigned char>(Block[size - kBlockLengthBytes + i])) << (8 * i);
    if (static_cast<qsizetype>(length) == size - 2 - kBlockLengthBytes && Block[1 + static_cast<qsizetype>(length)] == '\0') {
      Text.assign(Block.constData() + 1, length);
      return true;
    }
  }
  Text.assign(Block.constData() + 1, static_cast<std::size_t>(size - 1));
  if (const auto nul = Text.find('\0'); nul != std::string::npos) Text.resize(nul);
  return true;
}

// ---- marks -----------------------------------------------------------------------------

void TQmEditMarkList::Add(std::unique_ptr<TQmEditMark> Mark) {
  FItems.push_back(std::move(Mark));
  OnChange(this);
}

void TQmEditMarkList::Clear() {
  FItems.clear();
  OnChange(this);
}

void TQmEditMarkList::GetMarksForLine(int Line, TMarks &Marks) const {
  Marks.fill(nullptr);
  int n = 0;
  for (const auto &m : FItems) {
    if (m->Line != Line) continue;
    Marks[static_cast<std::size_t>(n++)] = m.get();
    if (n == MaxMarksPerLine) break;
  }
}

// ---- construction ----------------------------------------------------------------------

TCustomQmEdit::TCustomQmEdit(QWidget *Parent) : QAbstractScrollArea(Parent) {
  FOrgLines = std::make_unique<TQmEditStringList>();
  FLines = FOrgLines.get();
  WireLines(FLines, true);

  FUndoList = std::make_unique<TQmEditUndoList>();
  FRedoList = std::make_unique<TQmEditUndoList>();
  FUndoList->SetMaxItems(1024);
  FRedoList->SetMaxItems(1024);
  FUndoList->OnItemAdded = TNotifyEvent::Of<&TCustomQmEdit::UndoRedoAdded>(this);
  FRedoList->OnItemAdded = TNotifyEvent::Of<&TCustomQmEdit::UndoRedoAdded>(this);

  FSelectedColor = std::make_unique<TQmSelectedColor>();
  FSelectedColor->OnChange = TNotifyEvent::Of<&TCustomQmEdit::SelectedColorChanged>(this);
  FBookMarkOpt = std::make_unique<TQmBookMarkOpt>(this);
  FBookMarkOpt->OnChange = TNotifyEvent::Of<&TCustomQmEdit::BookMarkOptionsChanged>(this);
  FGutter = std::make_unique<TQmGutter>();
  FGutter->OnChange = TNotifyEvent::Of<&TCustomQmEdit::GutterSettingsChanged>(this);
  FWordWrapGlyph = std::make_unique<TQmGlyph>("QmEditWrapped", 0x00FF00);
  FWordWrapGlyph->OnChange = TNotifyEvent::Of<&TCustomQmEdit::WordWrapGlyphChanged>(this);

  FFontDummy = std::make_unique<TFont>();
  FFontDummy->SetName("Courier New");
  FFontDummy->SetSize(10);
  FFontDummy->SetCharset(DEFAULT_CHARSET);
  FFont = std::make_unique<TFont>();
  FFont->Assign(*FFontDummy);
  FFont->OnChange = TNotifyEvent::Of<&TCustomQmEdit::FontChanged>(this);
  FTextDrawer = std::make_unique<TheTextDrawer>(fsBold, FFont.get());

  FKbdHandler = std::make_unique<TQmEditKbdHandler>();
  FKeyStrokes = std::make_unique<TQmEditKeyStrokes>();
  FKeyStrokes->LoadDefaultBindings();
  FMarks = std::make_unique<TQmEditMarkList>();

  FScrollTimer = new QTimer(this);
  FScrollTimer->setInterval(100);
  connect(FScrollTimer, &QTimer::timeout, this, [this] { ScrollTimerHandler(); });
  FCaretBlinkTimer = new QTimer(this);
  connect(FCaretBlinkTimer, &QTimer::timeout, this, [this] { CaretBlink(); });

  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_InputMethodEnabled);
  setAcceptDrops(true);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setAttribute(Qt::WA_NoSystemBackground);
  viewport()->setCursor(Qt::IBeamCursor);
  viewport()->setMouseTracking(true);  // the cursor follows what lies under the mouse
  setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this,
          [this](int a) { ScrollBarAction(sbVertical, a); });
  connect(horizontalScrollBar(), &QAbstractSlider::actionTriggered, this,
          [this](int a) { ScrollBarAction(sbHorizontal, a); });
  connect(verticalScrollBar(), &QAbstractSlider::sliderReleased, this,
          [this] { WMVScroll(SB_ENDSCROLL, 0); });
  connect(horizontalScrollBar(), &QAbstractSlider::sliderReleased, this,
          [this] { WMHScroll(SB_ENDSCROLL, 0); });

  FGutterWidth = FGutter->Width();
  FTextOffset = FGutterWidth + 2;
  resize(200, 150);
  FontChanged(FFont.get());
}

TCustomQmEdit::~TCustomQmEdit() {
  FScrollTimer->stop();
  if (FHighlighter) {
    FHighlighter->RemoveChangeHandler(TNotifyEvent::Of<&TCustomQmEdit::HighlighterAttrChanged>(this));
    FHighlighter->RemoveFreeNotification(this);
  }
  FHighlighter = nullptr;
  SetSearchEngine(nullptr);
  WireLines(FLines, false);
  FWordWrap.reset();
}

void TCustomQmEdit::WireLines(TQmEditStringList *Store, bool Attach) {
  if (Attach) {
    Store->OnChange = TNotifyEvent::Of<&TCustomQmEdit::LinesChanged>(this);
    Store->OnChanging = TNotifyEvent::Of<&TCustomQmEdit::LinesChanging>(this);
    Store->OnLinesCleared = TNotifyEvent::Of<&TCustomQmEdit::ListCleared>(this);
    Store->OnLinesDeleted = TQmLinesEvent::Of<&TCustomQmEdit::ListDeleted>(this);
    Store->OnLinesInserted = TQmLinesEvent::Of<&TCustomQmEdit::ListInserted>(this);
    Store->OnLinesChanged = TQmLinesEvent::Of<&TCustomQmEdit::ListPutted>(this);
  } else {
    Store->OnChange = nullptr;
    Store->OnChanging = nullptr;
    Store->OnLinesCleared = nullptr;
    Store->OnLinesDeleted = nullptr;
    Store->OnLinesInserted = nullptr;
    Store->OnLinesChanged = nullptr;
  }
}

void TCustomQmEdit::Loaded() {
  GutterChanged();
  UpdateScrollBars();
}

void TCustomQmEdit::FontChanged(TObject *) {
  RecalcCharExtent();
  SizeOrFontChanged(true);
}

void TCustomQmEdit::GutterSettingsChanged(TObject *) { GutterChanged(); }
void TCustomQmEdit::BookMarkOptionsChanged(TObject *) { InvalidateGutter(); }
void TCustomQmEdit::SelectedColorChanged(TObject *) { InvalidateSelection(); }
void TCustomQmEdit::WordWrapGlyphChanged(TObject *) { InvalidateGutter(); }

void TCustomQmEdit::UndoRedoAdded(TObject *Sender) {
  UpdateModifiedStatus();
  if (Sender == FUndoList.get() && !FUndoList->Redoing() && FUndoList->LastReason() != urGroupBreak)
    FRedoList->Clear();
  if (!FReplaying && static_cast<TQmEditUndoList *>(Sender)->BlockCount() == 0) OnChange(this);
}

// ---- paint lock and status -------------------------------------------------------------

void TCustomQmEdit::IncPaintLock() { ++FPaintLock; }

void TCustomQmEdit::DecPaintLock() {
  if (FPaintLock <= 0) throw EAssertionFailed("DecPaintLock: the paint lock is not held");
  if (--FPaintLock != 0) return;
  if (FScrollBarsPending) UpdateScrollBars();
  if (FWordWrap && (FStatusChanges & (scCaretX | scCaretY)) && FCharsInWindow > 0) {
    const TDisplayPos d = DisplayXY();
    if (d.Column > FCharsInWindow + 1) {
      if (FCaretAtEndOfRow) {
        FCaretAtEndOfRow = false;
      } else if (FStatusChanges & scCaretY) {
        const TBufferPos b = DisplayToBufferPos({FCharsInWindow + 1, d.Row});
        FCaretX = b.Char;
        FStatusChanges |= scCaretX;
        UpdateLastCaretX();
      }
      FCaretPending = true;
    }
  }
  if (FCaretPending) UpdateCaret();
  if (FStatusChanges != 0) StatusChanged(0);
}

void TCustomQmEdit::StatusChanged(TQmStatusChanges Changes) {
  FStatusChanges |= Changes;
  if (FPaintLock == 0 && FStatusChanges != 0 && OnStatusChange) {
    OnStatusChange(this, FStatusChanges);
    FStatusChanges = 0;
  }
}

// ---- geometry --------------------------------------------------------------------------

TDisplayPos TCustomQmEdit::PixelsToRowColumn(int X, int Y) const {
  const int cw = std::max(FCharWidth, 1), lh = std::max(FTextHeight, 1);
  return {std::max(1, (X - FGutterWidth - 2) / cw + FLeftChar), std::max(1, Y / lh + FTopLine)};
}

TDisplayPos TCustomQmEdit::PixelsToNearestRowColumn(int X, int Y) const {
  const int cw = std::max(FCharWidth, 1), lh = std::max(FTextHeight, 1);
  Y = std::clamp(Y, 0, std::max(0, FLinesInWindow * lh - 1));
  // Halves round to the even neighbour (the default rounding mode).
  const int column = static_cast<int>(std::nearbyint(double(X - FGutterWidth - 2) / cw)) + FLeftChar;
  return {std::max(1, column), std::max(1, Y / lh + FTopLine)};
}

QPoint TCustomQmEdit::RowColumnToPixels(const TDisplayPos &P) const {
  return {(P.Column - 1) * FCharWidth + FTextOffset, (P.Row - FTopLine) * FTextHeight};
}

void TCustomQmEdit::ComputeCaret(int X, int Y) {
  TDisplayPos d = PixelsToNearestRowColumn(X, Y);
  d.Row = ClampToRange(d.Row, 1, DisplayLineCount());
  SetInternalDisplayXY(d);
}

// ---- invalidation ----------------------------------------------------------------------

void TCustomQmEdit::InvalidateRect(const QRect &Rect) {
  if (!isVisible() || Rect.isEmpty()) return;
  if (FLinesChangingFlag)
    FInvalidateRect = FInvalidateRect.united(Rect);
  else
    viewport()->update(Rect);
}

void TCustomQmEdit::InvalidateGutter() {
  InvalidateRect(QRect(0, 0, FGutterWidth, viewport()->height()));
}

// The rows of the lines First..Last (a last line past the line count: to the bottom),
// clipped to the visible rows; X from Left to Right.
static QRect LinesRect(const TCustomQmEdit &E, int First, int Last, int Left, int Right, int Height) {
  if (First > Last) std::swap(First, Last);
  int firstRow = E.LineToRow(std::max(First, 1));
  int lastRow;
  if (Last > E.Lines().Count()) {
    lastRow = INT_MAX / 2;
  } else {
    lastRow = E.LineToRow(Last);
    if (E.WordWrap() && E.WordWrapPlugin()) lastRow = E.LineToRow(Last + 1) - 1;
    if (lastRow < firstRow) lastRow = firstRow;
  }
  const int lh = std::max(E.LineHeight(), 1);
  firstRow = std::max(firstRow, E.TopLine());
  lastRow = std::min(lastRow, E.TopLine() + E.LinesInWindow());
  if (lastRow < firstRow) return {};
  const int top = (firstRow - E.TopLine()) * lh;
  const int bottom = std::min(Height, (lastRow - E.TopLine() + 1) * lh);
  return QRect(QPoint(Left, top), QPoint(Right, bottom - 1));
}

void TCustomQmEdit::InvalidateGutterLines(int FirstLine, int LastLine) {
  if (!isVisible()) return;
  InvalidateRect(LinesRect(*this, FirstLine, LastLine, 0, FGutterWidth - 1, viewport()->height()));
}

void TCustomQmEdit::InvalidateLines(int FirstLine, int LastLine) {
  if (!isVisible()) return;
  InvalidateRect(LinesRect(*this, FirstLine, LastLine, FGutterWidth, viewport()->width() - 1,
                           viewport()->height()));
}

void TCustomQmEdit::InvalidateSelection() { InvalidateLines(BlockStart().Line, BlockFinish().Line); }

// ---- text queries ------------------------------------------------------------------------

std::string TCustomQmEdit::WordAtCaret() {
  const std::string line = LineText();
  if (line.empty()) return {};
  const TQmCharSet word = WordChars();
  auto isWord = [&](int i) {  // 1-based
    const unsigned char c = static_cast<unsigned char>(line[static_cast<std::size_t>(i - 1)]);
    return word[c] || cp932::IsLeadByte(c) || IsTrailByteAt(line, i);
  };
  const int len = static_cast<int>(line.size());
  int x = std::min(FCaretX, len + 1);
  int start = x, end = x;
  while (start > 1 && isWord(start - 1)) --start;
  while (end <= len && isWord(end)) ++end;
  // The block is set to the word while it is read, then put back.
  const TBufferPos bb = FBlockBegin, be = FBlockEnd;
  const TQmSelectionMode mode = FActiveSelectionMode;
  FBlockBegin = {start, FCaretY};
  FBlockEnd = {end, FCaretY};
  FActiveSelectionMode = smNormal;
  std::string text = GetSelText();
  FBlockBegin = bb;
  FBlockEnd = be;
  FActiveSelectionMode = mode;
  return text;
}

TQmCharSet TCustomQmEdit::WordChars() const {
  if (FHighlighter) return FHighlighter->WordChars() & ~FHighlighter->WordBreakChars();
  TQmCharSet s = MakeCharRange('0', '9') | MakeCharRange('A', 'Z') | MakeCharRange('a', 'z') |
                 MakeCharSet("_") | MakeCharRange(192, 255);
  s.reset(215);
  s.reset(247);
  return s;
}

// ---- clipboard ---------------------------------------------------------------------------

void TCustomQmEdit::PutClipboardText(const std::string &Text) {
  if (Text.empty()) return;
  QClipboard *cb = QGuiApplication::clipboard();
  if (!cb) throw EQmEditError("Clipboard copy operation failed");
  auto *data = new QMimeData;
  data->setText(ToQ(Text));
  data->setData(QmEditClipboardFormat(), QmEditClipboardBlock(FActiveSelectionMode, Text));
  cb->setMimeData(data);
}

void TCustomQmEdit::CopyToClipboard() {
  if (!HasSelection()) return;
  // A copied column block keeps its padding, whatever eoTrimTrailingSpaces says.
  PutClipboardText(SelText(true));
}

void TCustomQmEdit::CutToClipboard() {
  if (FReadOnly || !HasSelection()) return;
  const TQmUndoBlock block(*this);
  CopyToClipboard();
  ReplaceSelection("");
}

// ---- commands ----------------------------------------------------------------------------

TQmEditorCommand TCustomQmEdit::TranslateKeyCode(std::uint16_t Code, TShiftState Shift, void *&Data) {
  Data = nullptr;
  TQmEditorCommand command = ecNone;
  int i = -1;
  if (FLastKey != 0) i = FKeyStrokes->IndexOfKeyPair(FLastKey, FLastShiftState, Code, Shift);
  if (i >= 0) {
    command = FKeyStrokes->Items(i)->Command();
  } else {
    i = FKeyStrokes->IndexOfKey(Code, Shift);
    if (i >= 0) command = FKeyStrokes->Items(i)->Command();
  }
  if (command == ecNone && Code >= 30 && Code <= 145) {
    FLastKey = Code;
    FLastShiftState = Shift;
  } else {
    FLastKey = 0;
    FLastShiftState = 0;
  }
  return command;
}

void TCustomQmEdit::CommandProcessor(TQmEditorCommand Command, char AChar, void *Data) {
  if (Command >= ecUserFirst)
    OnProcessUserCommand(this, Command, AChar, Data);
  else
    OnProcessCommand(this, Command, AChar, Data);
  // The hooked handlers run in registration order; any of them may take the command.
  auto callHooks = [&](bool After) {
    const std::vector<THookedHandler> hooks = FHookedCommandHandlers;
    for (const THookedHandler &h : hooks) {
      bool handled = false;
      h.Event(this, After, handled, Command, AChar, Data, h.Data);
      if (handled) Command = ecNone;
      if (Command == ecNone) break;
    }
  };
  if (Command != ecNone) callHooks(false);
  if (Command != ecNone && Command < ecUserFirst) ExecuteCommand(Command, AChar, Data);
  if (Command != ecNone) callHooks(true);
  OnCommandProcessed(this, Command, AChar, Data);
}

// ---- keyboard and input method -------------------------------------------------------------

void TCustomQmEdit::KeyDown(std::uint16_t &Key, TShiftState Shift) {
  FKbdHandler->CallKeyDownHandlers(this, Key, Shift);
  if (Key == 0) {
    FKeyHandled = false;
    return;
  }
  void *data = nullptr;
  const TQmEditorCommand command = TranslateKeyCode(Key, Shift, data);
  if (command != ecNone) {
    Key = 0;
    FKeyHandled = true;
    CommandProcessor(command, 0, data);
  } else {
    FKeyHandled = false;
  }
}

void TCustomQmEdit::KeyUp(std::uint16_t &Key, TShiftState Shift) {
  FKbdHandler->CallKeyUpHandlers(this, Key, Shift);
}

void TCustomQmEdit::KeyPress(char &Key) {
  // The bytes of a confirmed input-method string that come again as characters are
  // dropped; any other character ends the wait for them.
  if (!FImePending.empty()) {
    if (Key == FImePending.front()) {
      FImePending.erase(0, 1);
      return;
    }
    FImePending.clear();
  }
  if (FKeyHandled) {
    FKeyHandled = false;
    return;
  }
  FKbdHandler->CallKeyPressHandlers(this, Key);
  if (Key != 0) CommandProcessor(ecChar, Key, nullptr);
}

void TCustomQmEdit::ImeResult(const std::string &Text) {
  if (Text.empty()) return;
  FImePending = Text;
  std::string data = Text;  // NUL-terminated for the command
  CommandProcessor(ecImeStr, 0, data.data());
  // Echoed characters arrive at once if at all; later keys are the user's own.
  QTimer::singleShot(0, this, [this] { FImePending.clear(); });
}

static TShiftState ShiftOf(Qt::KeyboardModifiers M, Qt::MouseButtons B = Qt::NoButton) {
  TShiftState s = 0;
  if (M & Qt::ShiftModifier) s |= ssShift;
  if (M & Qt::ControlModifier) s |= ssCtrl;
  if (M & Qt::AltModifier) s |= ssAlt;
  if (B & Qt::LeftButton) s |= ssLeft;
  if (B & Qt::RightButton) s |= ssRight;
  if (B & Qt::MiddleButton) s |= ssMiddle;
  return s;
}

void TCustomQmEdit::keyPressEvent(QKeyEvent *E) {
  const bool isReturn = E->key() == Qt::Key_Return || E->key() == Qt::Key_Enter;
  if (!FWantReturns && (isReturn || E->key() == Qt::Key_Escape)) {
    E->ignore();
    return;
  }
  const TQmKey k = QmTranslateKeyEvent(*E);
  std::uint16_t key = k.Key;
  KeyDown(key, k.Shift);  // also for a key without a code: it clears the key-handled flag
  const std::string bytes = FromQ(E->text());
  for (char c : bytes) {
    char ch = c;
    KeyPress(ch);
  }
  E->accept();
}

void TCustomQmEdit::keyReleaseEvent(QKeyEvent *E) {
  const TQmKey k = QmTranslateKeyEvent(*E);
  std::uint16_t key = k.Key;
  KeyUp(key, k.Shift);
  E->accept();
}

void TCustomQmEdit::inputMethodEvent(QInputMethodEvent *E) {
  FImePreedit = E->preeditString();
  if (!E->commitString().isEmpty()) ImeResult(FromQ(E->commitString()));
  viewport()->update(QRect(FCaretPos, QSize(viewport()->width(), FTextHeight + 2)));
  E->accept();
}

QVariant TCustomQmEdit::inputMethodQuery(Qt::InputMethodQuery Query) const {
  switch (Query) {
    case Qt::ImEnabled:
      return true;
    case Qt::ImCursorRectangle: {
      const QPoint p = FCaretPos + viewport()->geometry().topLeft();
      return QRect(p, QSize(std::max(FCaretSize.width(), 1), FTextHeight));
    }
    case Qt::ImFont:
      return ControlFont();
    default:
      return QAbstractScrollArea::inputMethodQuery(Query);
  }
}

bool TCustomQmEdit::focusNextPrevChild(bool Next) {
  // With WantTabs the editor keeps Tab for itself.
  if (FWantTabs) return false;
  return QAbstractScrollArea::focusNextPrevChild(Next);
}

void TCustomQmEdit::focusInEvent(QFocusEvent *E) {
  QAbstractScrollArea::focusInEvent(E);
  CommandProcessor(ecGotFocus, 0, nullptr);
  InitializeCaret();
  if (FHideSelection && HasSelection()) InvalidateSelection();
}

void TCustomQmEdit::focusOutEvent(QFocusEvent *E) {
  QAbstractScrollArea::focusOutEvent(E);
  CommandProcessor(ecLostFocus, 0, nullptr);
  if (!hasFocus() && !FAlwaysShowCaret) {
    HideCaret();
    FCaretCreated = false;
  }
  if (FHideSelection && HasSelection()) InvalidateSelection();
}

// ---- mouse -------------------------------------------------------------------------------

static bool ButtonOf(Qt::MouseButton B, TMouseButton &Out) {
  switch (B) {
    case Qt::LeftButton: Out = mbLeft; return true;
    case Qt::RightButton: Out = mbRight; return true;
    case Qt::MiddleButton: Out = mbMiddle; return true;
    default: return false;
  }
}

void TCustomQmEdit::mousePressEvent(QMouseEvent *E) {
  TMouseButton b;
  if (!ButtonOf(E->button(), b)) return;
  const QPoint p = E->position().toPoint();
  MouseDown(b, ShiftOf(E->modifiers(), E->buttons()), p.x(), p.y());
}

void TCustomQmEdit::mouseDoubleClickEvent(QMouseEvent *E) {
  TMouseButton b;
  if (!ButtonOf(E->button(), b)) return;
  const QPoint p = E->position().toPoint();
  MouseDown(b, ShiftOf(E->modifiers(), E->buttons()) | ssDouble, p.x(), p.y());
  if (b == mbLeft) DblClick(p.x(), p.y());
}

void TCustomQmEdit::mouseMoveEvent(QMouseEvent *E) {
  const QPoint p = E->position().toPoint();
  MouseMove(ShiftOf(E->modifiers(), E->buttons()), p.x(), p.y());
  UpdateMouseCursor();
}

void TCustomQmEdit::mouseReleaseEvent(QMouseEvent *E) {
  TMouseButton b;
  if (!ButtonOf(E->button(), b)) return;
  const QPoint p = E->position().toPoint();
  MouseUp(b, ShiftOf(E->modifiers(), E->buttons() | E->button()), p.x(), p.y());
}

void TCustomQmEdit::wheelEvent(QWheelEvent *E) {
  WMMouseWheel(E->angleDelta().y(), ShiftOf(E->modifiers()));
  E->accept();
}

void TCustomQmEdit::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  const TBufferPos oldBegin = FBlockBegin, oldEnd = FBlockEnd;
  bool hadSelection = false;
  if (Button == mbLeft && HasSelection()) {
    FMouseDownPos = {X, Y};
    hadSelection = true;
  }
  if (Button == mbLeft && (Shift & ssDouble)) return;
  FKbdHandler->CallMouseDownHandlers(this, Button, Shift, X, Y);
  FLastMousePos = {X, Y};
  FLastMouseShift = Shift;

  if (Button == mbRight) {
    if (HasOption(eoRightMouseMovesCursor) &&
        !(HasSelection() && IsPointInSelection(DisplayToBufferPos(PixelsToRowColumn(X, Y))))) {
      InvalidateSelection();
      FBlockEnd = FBlockBegin;
      ComputeCaret(X, Y);
    }
  } else if (Button == mbLeft) {
    ComputeCaret(X, Y);
  }

  if (Button == mbLeft) {
    FBlockBegin = oldBegin;
    FBlockEnd = oldEnd;
    FMouseCaptured = true;
    FWaitForDragging = false;
    if (hadSelection && HasOption(eoDragDropEditing) && X >= FGutterWidth + 2 &&
        FSelectionMode == smNormal && IsPointInSelection(DisplayToBufferPos(PixelsToRowColumn(X, Y)))) {
      FWaitForDragging = true;
    } else if (!FDblClicked) {
      if (Shift & ssShift) {
        SetBlockEnd(CaretXY());
      } else {
        if (HasOption(eoAltSetsColumnMode) && FActiveSelectionMode != smLine)
          SetSelectionMode((Shift & ssAlt) ? smColumn : smNormal);
        SetBlockBegin(CaretXY());
      }
    }
  }
  if (X < FGutterWidth) {
    FGutterClicked = true;
    if (Button == mbRight) DoOnGutterClick(Button, X, Y);
  }
  setFocus(Qt::MouseFocusReason);
}

void TCustomQmEdit::MouseMove(TShiftState Shift, int X, int Y) {
  FLastMousePos = {X, Y};
  FLastMouseShift = Shift;
  if (FMouseCaptured && FWaitForDragging) {
    const int d = QApplication::startDragDistance();
    if (std::abs(X - FMouseDownPos.x()) >= d || std::abs(Y - FMouseDownPos.y()) >= d) {
      FWaitForDragging = false;
      StartDragging();
    }
  } else if ((Shift & ssLeft) && FMouseCaptured) {
    ComputeScroll(X, Y);
    TDisplayPos p = PixelsToNearestRowColumn(X, Y);
    p.Row = ClampToRange(p.Row, 1, DisplayLineCount());
    if (FScrollDeltaX != 0) p.Column = DisplayX();
    if (FScrollDeltaY != 0) p.Row = DisplayY();
    InternalSetCaretXY(DisplayToBufferPos(p));
    SetBlockEnd(CaretXY());
    if (FGutterClicked && FCaretY != FBlockBegin.Line) FGutterDrag = true;
  }
}

void TCustomQmEdit::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  FKbdHandler->CallMouseUpHandlers(this, Button, Shift, X, Y);
  FScrollTimer->stop();
  if (Button == mbRight && (Shift & (ssShift | ssAlt | ssCtrl | ssLeft | ssMiddle)) == 0 &&
      (contextMenuPolicy() == Qt::ActionsContextMenu || contextMenuPolicy() == Qt::CustomContextMenu))
    return;
  FMouseCaptured = false;
  if (FGutterClicked && X < FGutterWidth && Button != mbRight) {
    DoOnGutterClick(Button, X, Y);
  } else if (FWaitForDragging && !FDblClicked) {
    ComputeCaret(X, Y);
    if (!(Shift & ssShift)) SetBlockBegin(CaretXY());
    SetBlockEnd(CaretXY());
    FWaitForDragging = false;
  }
  FDblClicked = false;
  FGutterClicked = false;
  FGutterDrag = false;
}

void TCustomQmEdit::ComputeScroll(int X, int Y) {
  if (!FMouseCaptured && !FDragging) {
    FScrollTimer->stop();
    return;
  }
  QRect r(FGutterWidth + 2, 0, FCharsInWindow * FCharWidth, FLinesInWindow * FTextHeight);
  if (FBorderStyle == bsNone) r.adjust(2, 2, -2, -2);
  const int cw = std::max(FCharWidth, 1), lh = std::max(FTextHeight, 1);
  const int right = r.left() + r.width(), bottom = r.top() + r.height();
  if (X < r.left())
    FScrollDeltaX = (X - r.left()) / cw - 1;
  else if (X >= right)
    FScrollDeltaX = (X - right) / cw + 1;
  else
    FScrollDeltaX = 0;
  if (Y < r.top())
    FScrollDeltaY = (Y - r.top()) / lh - 1;
  else if (Y >= bottom)
    FScrollDeltaY = (Y - bottom) / lh + 1;
  else
    FScrollDeltaY = 0;
  if (FScrollDeltaX != 0 || FScrollDeltaY != 0) {
    if (!FScrollTimer->isActive()) FScrollTimer->start();
  } else {
    FScrollTimer->stop();
  }
}

void TCustomQmEdit::ScrollTimerHandler() {
  const QPoint pt = FLastMousePos;
  TDisplayPos target = DisplayXY();
  if (FScrollDeltaX != 0) {
    SetLeftChar(FLeftChar + FScrollDeltaX);
    target.Column = FLeftChar + (FScrollDeltaX > 0 ? FCharsInWindow : 0);
  }
  if (FScrollDeltaY != 0) {
    if (FLastMouseShift & ssShift)
      SetTopLine(FTopLine + FScrollDeltaY * FLinesInWindow);
    else
      SetTopLine(FTopLine + FScrollDeltaY);
    target.Row = FTopLine + (FScrollDeltaY > 0 ? FLinesInWindow - 1 : 0);
    target.Row = ClampToRange(target.Row, 1, DisplayLineCount());
  }
  if (!(target == DisplayXY())) {
    WithPaintLock([&] {
      InternalSetCaretXY(DisplayToBufferPos(target));
      if (FMouseCaptured) SetBlockEnd(CaretXY());
    });
  }
  ComputeScroll(pt.x(), pt.y());
}

void TCustomQmEdit::StartDragging() {
  auto *data = new QMimeData;
  const std::string text = GetSelText();
  data->setText(ToQ(text));
  auto *drag = new QDrag(this);
  drag->setMimeData(data);
  FDragging = true;
  drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::MoveAction);
  FScrollTimer->stop();
  FDragging = false;
  FMouseCaptured = false;
}

void TCustomQmEdit::DoOnGutterClick(TMouseButton Button, int X, int Y) {
  if (!OnGutterClick) return;
  const int line = RowToLine(PixelsToRowColumn(X, Y).Row);
  if (line > FLines->Count()) return;
  TQmEditMarkList::TMarks marks;
  FMarks->GetMarksForLine(line, marks);
  TQmEditMark *clicked = nullptr;
  int offset = 0;
  for (TQmEditMark *m : marks) {
    if (!m) continue;
    offset += FBookMarkOpt->Xoffset();
    if (X < offset) {
      clicked = m;
      break;
    }
  }
  OnGutterClick(this, Button, X, Y, line, clicked);
}

// ---- Qt events -----------------------------------------------------------------------------

void TCustomQmEdit::paintEvent(QPaintEvent *E) {
  QPainter p(viewport());
  PaintTo(p, E->rect());
}

void TCustomQmEdit::resizeEvent(QResizeEvent *E) {
  QAbstractScrollArea::resizeEvent(E);
  // Showing or hiding a scroll bar resizes the text area again; that comes back here.
  if (FInResize) return;
  FInResize = true;
  const TQmScopeExit done([this] { FInResize = false; });
  SizeOrFontChanged(false);
}

// ---- line-store notifications --------------------------------------------------------------

void TCustomQmEdit::LinesChanging(TObject *) { FLinesChangingFlag = true; }

void TCustomQmEdit::LinesChanged(TObject *) {
  FLinesChangingFlag = false;
  ++FTextChanges;
  UpdateScrollBars();
  const TQmSelectionMode mode = FActiveSelectionMode;
  SetBlockBegin(CaretXY());
  FActiveSelectionMode = mode;
  if (!FInvalidateRect.isNull()) {
    viewport()->update(FInvalidateRect);
    FInvalidateRect = QRect();
  }
  if (FGutter->ShowLineNumbers() && FGutter->AutoSize()) FGutter->UpdateDigitCountForLines(FLines->Count());
  if (!HasOption(eoScrollPastEof)) SetTopLine(FTopLine);
}

void TCustomQmEdit::ListCleared(TObject *) {
  if (FWordWrap) FWordWrap->Reset();
  FUndoList->Clear();
  FRedoList->Clear();
  FInvalidateRect = QRect();
  viewport()->update();
  SetCaretXY({1, 1});
  SetTopLine(1);
  SetLeftChar(1);
  StatusChanged(scAll);
}

void TCustomQmEdit::ListDeleted(TObject *, int Index, int Count) {
  if (FHighlighter && FLines->Count() > 0) ScanFrom(Index);
  if (FWordWrap) FWordWrap->LinesDeleted(Index, Count);
  InvalidateLines(Index + 1, INT_MAX);
  InvalidateGutterLines(Index + 1, INT_MAX);
}

void TCustomQmEdit::ListInserted(TObject *, int Index, int Count) {
  if (FHighlighter && FLines->Count() > 0) {
    int i = Index;
    while (i < Index + Count && i < FLines->Count()) i = std::max(ScanFrom(i), i) + 1;
  }
  if (FWordWrap) FWordWrap->LinesInserted(Index, Count);
  InvalidateLines(Index + 1, INT_MAX);
  InvalidateGutterLines(Index + 1, INT_MAX);
  if (HasOption(eoAutoSizeMaxScrollWidth)) {
    const int len = FLines->ExpandedLineLength(Index);
    if (len > FMaxScrollWidth) SetMaxScrollWidth(len);
  }
}

void TCustomQmEdit::ListPutted(TObject *, int Index, int Count) {
  int last = Index + 1;
  if (FWordWrap && FWordWrap->LinesChanged(Index, Count) != 0) InvalidateGutterLines(Index + 1, INT_MAX);
  if (FHighlighter) {
    last = std::max(last, ScanFrom(Index) + 1);
    // Lines shared with another editor may have been rescanned by it already.
    if (FLines != FOrgLines.get()) last = INT_MAX;
  }
  InvalidateLines(Index + 1, last);
  if (HasOption(eoAutoSizeMaxScrollWidth)) {
    const int len = FLines->ExpandedLineLength(Index);
    if (len > FMaxScrollWidth) SetMaxScrollWidth(len);
  }
}

int TCustomQmEdit::ScanFrom(int Index) {
  if (!FHighlighter || Index >= FLines->Count()) return Index;
  if (Index <= 0) {
    Index = 0;
    FHighlighter->ResetRange();
  } else {
    FHighlighter->SetRange(FLines->LineRangeState(Index - 1));
  }
  for (;;) {
    FHighlighter->SetLine(FLines->Get(Index), Index);
    FHighlighter->SkipToLineEnd();
    const int r = FHighlighter->GetRange();
    // A line that ends in the state it ended in before leaves the lines below as they are.
    if (FLines->LineRangeState(Index) == r) break;
    FLines->SetLineRangeState(Index, r);
    if (++Index >= FLines->Count()) {
      --Index;
      break;
    }
  }
  return Index;
}

void TCustomQmEdit::ScanRanges() {
  if (!FHighlighter || FLines->Count() == 0) return;
  FHighlighter->ResetRange();
  for (int i = 0; i < FLines->Count(); ++i) {
    FHighlighter->SetLine(FLines->Get(i), i);
    FHighlighter->SkipToLineEnd();
    FLines->SetLineRangeState(i, FHighlighter->GetRange());
  }
}

void TCustomQmEdit::DoLinesDeleted(int FirstLine, int Count) {
  for (int i = 0; i < FMarks->Count(); ++i) {
    TQmEditMark *m = FMarks->Items(i);
    if (m->Line >= FirstLine + Count)
      m->Line -= Count;
    else if (m->Line > FirstLine)
      m->Line = FirstLine;
  }
  for (TQmEditPlugin *p : FPlugins) p->LinesDeleted(FirstLine, Count);
}

void TCustomQmEdit::DoLinesInserted(int FirstLine, int Count) {
  for (int i = 0; i < FMarks->Count(); ++i) {
    TQmEditMark *m = FMarks->Items(i);
    if (m->Line >= FirstLine) m->Line += Count;
  }
  for (TQmEditPlugin *p : FPlugins) p->LinesInserted(FirstLine, Count);
}

// ---- properties ------------------------------------------------------------------------------

void TCustomQmEdit::SetHighlighter(TQmCustomHighlighter *Value) {
  if (Value == FHighlighter) return;
  const TNotifyEvent handler = TNotifyEvent::Of<&TCustomQmEdit::HighlighterAttrChanged>(this);
  if (FHighlighter) {
    FHighlighter->RemoveChangeHandler(handler);
    FHighlighter->RemoveFreeNotification(this);
  }
  FHighlighter = Value;
  if (FHighlighter) {
    FHighlighter->AddChangeHandler(handler);
    FHighlighter->FreeNotification(this, [this, Value] { HighlighterFreed(Value); });
  }
  HighlighterAttrChanged(FHighlighter);
}

void TCustomQmEdit::SetSearchEngine(TQmEditSearchCustom *Value) {
  if (Value == FSearchEngine) return;
  if (FSearchEngine) FSearchEngine->RemoveFreeNotification(this);
  FSearchEngine = Value;
  if (FSearchEngine) FSearchEngine->FreeNotification(this, [this] { FSearchEngine = nullptr; });
}

void TCustomQmEdit::SetOptions(TQmEditorOptions Value) {
  if (Value == FOptions) return;
  if (!HasOption(eoScrollPastEol)) SetLeftChar(FLeftChar);
  if (!HasOption(eoScrollPastEof)) SetTopLine(FTopLine);
  const TQmEditorOptions changed = Value ^ FOptions;
  FOptions = Value;
  InternalSetCaretXY(CaretXY());
  if (HasOption(eoScrollPastEol)) {
    const TBufferPos b = FBlockBegin, e = FBlockEnd;
    const TQmSelectionMode mode = FActiveSelectionMode;
    SetBlockBegin(b);
    SetBlockEnd(e);
    FActiveSelectionMode = mode;
  }
  if (changed & OptionBit(eoDropFiles)) setAcceptDrops(true);
  if (HasOption(eoShowSpecialChars) != FShowSpecialChars) {
    FShowSpecialChars = HasOption(eoShowSpecialChars);
    viewport()->update();
  }
  if (changed & (OptionBit(eoDisableScrollArrows) | OptionBit(eoHideShowScrollbars) |
                 OptionBit(eoScrollPastEof) | OptionBit(eoScrollPastEol)))
    UpdateScrollBars();
}

void TCustomQmEdit::SetReadOnly(bool Value) {
  if (FReadOnly == Value) return;
  FReadOnly = Value;
  StatusChanged(scReadOnly);
}

void TCustomQmEdit::SetBorderStyle(TBorderStyle Value) {
  if (FBorderStyle == Value) return;
  FBorderStyle = Value;
  setFrameStyle(Value == bsSingle ? (QFrame::StyledPanel | QFrame::Sunken) : QFrame::NoFrame);
}

void TCustomQmEdit::SetColor(TColor Value) {
  if (FColor == Value) return;
  FColor = Value;
  viewport()->update();
}

void TCustomQmEdit::SetActiveLineColor(TColor Value) {
  if (FActiveLineColor == Value) return;
  FActiveLineColor = Value;
  InvalidateLine(FCaretY);
}

void TCustomQmEdit::SetRightEdge(int Value) {
  if (FRightEdge == Value) return;
  FRightEdge = Value;
  viewport()->update();
}

void TCustomQmEdit::SetRightEdgeColor(TColor Value) {
  if (FRightEdgeColor == Value) return;
  FRightEdgeColor = Value;
  const int x = FTextOffset + FRightEdge * FCharWidth;
  InvalidateRect(QRect(x - 1, 0, 3, viewport()->height()));
}

void TCustomQmEdit::SetHideSelection(bool Value) {
  if (FHideSelection == Value) return;
  FHideSelection = Value;
  InvalidateSelection();
}

// Compiled here rather than with the other widgets' meta-object code, whose headers
// declare names of their own that clash with the editor's.
#include "moc_QmEdit.cpp"
