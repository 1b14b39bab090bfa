// The editor's visible window over the text: top row, left column, metrics, the caret's
// shape and place, and the two scroll bars with their hint.
#include <QApplication>
#include <QGuiApplication>
#include <QInputMethod>
#include <QLabel>
#include <QPointer>
#include <QScrollBar>
#include <QStyle>
#include <QStyleHints>
#include <algorithm>
#include <cstdlib>

#include "components/editor/QmEdit.h"
#include "components/qtext.h"

namespace {

constexpr int kMaxScrollPos = 32767;

}  // namespace

// ---- top row and left column -------------------------------------------------------------

void TCustomQmEdit::SetTopLine(int Value) {
  const int largest = HasOption(eoScrollPastEof) ? DisplayLineCount()
                                                 : DisplayLineCount() - FLinesInWindow + 1;
  Value = std::max(1, std::min(Value, largest));
  if (Value == FTopLine) return;
  const int delta = FTopLine - Value;
  FTopLine = Value;
  if (std::abs(delta) < FLinesInWindow)
    ScrollPixels(0, delta * FTextHeight, viewport()->rect());
  else
    viewport()->update();
  UpdateScrollBars();
  UpdateCaret();  // the caret and the composition window stay with the text
  StatusChanged(scTopLine);
}

void TCustomQmEdit::SetLeftChar(int Value) {
  int largest;
  if (HasOption(eoScrollPastEol)) {
    largest = HasOption(eoAutoSizeMaxScrollWidth) ? 0x7FFFFFFF - FCharsInWindow
                                                   : FMaxScrollWidth - FCharsInWindow + 1;
  } else {
    const int longest = FLines->LongestLineLength();
    largest = longest > FCharsInWindow ? longest - FCharsInWindow + 1 : 1;
  }
  Value = std::max(1, std::min(Value, largest));
  if (FWordWrap) Value = 1;
  if (Value == FLeftChar) return;
  const int delta = FLeftChar - Value;
  FLeftChar = Value;
  FTextOffset = FGutterWidth + 2 - (FLeftChar - 1) * FCharWidth;
  if (std::abs(delta) < FCharsInWindow)
    ScrollPixels(delta * FCharWidth, 0, TextArea());
  else
    viewport()->update(TextArea());
  if (HasOption(eoAutoSizeMaxScrollWidth) && HasOption(eoScrollPastEol) &&
      FLeftChar + FCharsInWindow > FMaxScrollWidth)
    SetMaxScrollWidth(FLeftChar + FCharsInWindow);
  else
    UpdateScrollBars();
  UpdateCaret();
  StatusChanged(scLeftChar);
}

// Moves what is shown in Area by (DX, DY) pixels; only the uncovered strip is painted
// again. The caret drawn there moved with the pixels and is painted over where it landed.
void TCustomQmEdit::ScrollPixels(int DX, int DY, const QRect &Area) {
  viewport()->scroll(DX, DY, Area);
  if (FCaretVisible) viewport()->update(CaretRect().translated(DX, DY));
  if (!FImePreedit.isEmpty()) viewport()->update(QRect(0, FCaretPos.y() + DY - 1, viewport()->width(), FTextHeight + 2));
}

QRect TCustomQmEdit::TextArea() const {
  const QRect r = viewport()->rect();
  return QRect(QPoint(FGutterWidth + 2, 0), r.bottomRight());
}

void TCustomQmEdit::SetGutterWidth(int Value) {
  Value = std::max(Value, 0);
  if (Value == FGutterWidth) return;
  FGutterWidth = Value;
  FTextOffset = FGutterWidth + 2 - (FLeftChar - 1) * FCharWidth;
  if (FCharWidth > 0)
    FCharsInWindow = std::max(viewport()->width() - FGutterWidth - 2, 0) / FCharWidth;
  if (FWordWrap) {
    FWordWrap->DisplayChanged();
  }
  UpdateScrollBars();
  viewport()->update();
}

void TCustomQmEdit::GutterChanged() {
  if (FGutter->ShowLineNumbers() && FGutter->AutoSize())
    FGutter->UpdateDigitCountForLines(FLines->Count());
  int width;
  if (FGutter->UseFontStyle()) {
    FTextDrawer->SetBaseFont(&FGutter->Font());
    width = FGutter->PixelWidth(FTextDrawer->CharWidth());
    FTextDrawer->SetBaseFont(FFont.get());
  } else {
    width = FGutter->PixelWidth(FCharWidth);
  }
  if (width == FGutterWidth)
    InvalidateGutter();
  else
    SetGutterWidth(width);
}

void TCustomQmEdit::SizeOrFontChanged(bool FontChanged) {
  if (FCharWidth == 0) return;
  FCharsInWindow = std::max(viewport()->width() - FGutterWidth - 2, 0) / FCharWidth;
  FLinesInWindow = FTextHeight > 0 ? viewport()->height() / FTextHeight : 0;
  if (FWordWrap) {
    FWordWrap->DisplayChanged();
    viewport()->update();
  }
  if (FontChanged) {
    if (FGutter->ShowLineNumbers())
      GutterChanged();
    else
      UpdateScrollBars();
    InitializeCaret();
    FCaretPending = false;
    viewport()->update();
  } else {
    UpdateScrollBars();
  }
  FScrollBarsPending = false;
  if (!HasOption(eoScrollPastEol)) SetLeftChar(FLeftChar);
  if (!HasOption(eoScrollPastEof)) SetTopLine(FTopLine);
}

void TCustomQmEdit::RecalcCharExtent() {
  // The bold and italic combinations in use.
  bool used[4] = {false, false, false, false};
  bool any = false;
  if (FHighlighter) {
    for (int i = 0; i < FHighlighter->GetAttribCount(); ++i) {
      if (const TQmHighlighterAttributes *a = FHighlighter->GetAttribute(i)) {
        used[a->Style() & (fsBold | fsItalic)] = true;
        any = true;
      }
    }
  }
  if (!any) used[FFont->Style() & (fsBold | fsItalic)] = true;
  FTextDrawer->SetBaseFont(FFont.get());
  FTextHeight = 0;
  FCharWidth = 0;
  const TFontStyles keep = FTextDrawer->BaseStyle();
  for (int s = 0; s < 4; ++s) {
    if (!used[s]) continue;
    FTextDrawer->SetBaseStyle(static_cast<TFontStyles>(s));
    FTextHeight = std::max(FTextHeight, FTextDrawer->CharHeight());
    FCharWidth = std::max(FCharWidth, FTextDrawer->CharWidth());
  }
  FTextDrawer->SetBaseStyle(keep);
  FTextHeight += FExtraLineSpacing;
  FTextOffset = FGutterWidth + 2 - (FLeftChar - 1) * FCharWidth;
}

void TCustomQmEdit::HighlighterAttrChanged(TObject *Sender) {
  RecalcCharExtent();
  if (dynamic_cast<TQmCustomHighlighter *>(Sender)) {
    FLines->BeginUpdate();
    const TQmScopeExit endUpdate([this] { FLines->EndUpdate(); });
    ScanRanges();
  } else {
    viewport()->update();
  }
  SizeOrFontChanged(true);
}

void TCustomQmEdit::SetFont(const TFont &Value) {
  // A proportional face is asked for with a fixed pitch; the cell grid needs one width.
  const QFontMetrics fm(Value.ToQFont());
  const bool proportional = fm.averageCharWidth() != fm.maxWidth();
  FFont->Assign(Value);
  FFontPitchFixed = proportional;
  FontChanged(FFont.get());
  if (FGutter->ShowLineNumbers()) GutterChanged();
}

QFont TCustomQmEdit::ControlFont() const {
  QFont f = FFont->ToQFont();
  if (FFontPitchFixed) {
    f.setFixedPitch(true);
    f.setStyleHint(QFont::Monospace);
  }
  return f;
}

// ---- keeping the caret in view -------------------------------------------------------------

void TCustomQmEdit::EnsureCursorPosVisibleEx(bool ForceToMiddle) {
  WithPaintLock([&] {
    const TDisplayPos d = DisplayXY();
    if (d.Column < FLeftChar)
      SetLeftChar(d.Column);
    else if (d.Column >= FLeftChar + FCharsInWindow && FCharsInWindow > 0)
      SetLeftChar(d.Column - FCharsInWindow + 1);
    else
      SetLeftChar(FLeftChar);
    const int y = d.Row;
    if (ForceToMiddle) {
      if (y < FTopLine - 1) {
        if (y - FLinesInWindow / 2 < 0)
          SetTopLine(1);
        else
          SetTopLine(y - FLinesInWindow / 2 + 1);
      } else if (y > FTopLine + FLinesInWindow - 2) {
        SetTopLine(FLinesInWindow / 2 + y - (FLinesInWindow - 1));
      } else {
        SetTopLine(FTopLine);
      }
    } else {
      if (y < FTopLine)
        SetTopLine(y);
      else if (y > FTopLine + std::max(1, FLinesInWindow) - 1)
        SetTopLine(y - FLinesInWindow + 1);
      else
        SetTopLine(FTopLine);
    }
  });
}

bool TCustomQmEdit::CaretInView() const {
  const TDisplayPos d = DisplayXY();
  return d.Column >= FLeftChar && d.Column <= FLeftChar + FCharsInWindow && d.Row >= FTopLine &&
         d.Row <= FTopLine + FLinesInWindow;
}

// ---- properties ------------------------------------------------------------------------------

void TCustomQmEdit::SetScrollBars(TScrollStyle Value) {
  if (FScrollBars == Value) return;
  FScrollBars = Value;
  UpdateScrollBars();
  viewport()->update();
}

void TCustomQmEdit::SetMaxScrollWidth(int Value) {
  Value = ClampToRange(Value, 1, 0x7FFFFFFE);
  if (FMaxScrollWidth == Value) return;
  FMaxScrollWidth = Value;
  if (HasOption(eoScrollPastEol)) UpdateScrollBars();
}

void TCustomQmEdit::SetTabWidth(int Value) {
  Value = ClampToRange(Value, 1, 256);
  if (Value == FTabWidth) return;
  FTabWidth = Value;
  FLines->SetTabWidth(Value);
  viewport()->update();
  if (FWordWrap) {
    FWordWrap->Reset();
    InvalidateGutter();
  }
}

void TCustomQmEdit::SetExtraLineSpacing(int Value) {
  FExtraLineSpacing = Value;
  RecalcCharExtent();
  SizeOrFontChanged(true);
}

void TCustomQmEdit::SetInsertCaret(TQmEditCaretType Value) {
  if (FInsertCaret == Value) return;
  FInsertCaret = Value;
  InitializeCaret();
}

void TCustomQmEdit::SetOverwriteCaret(TQmEditCaretType Value) {
  if (FOverwriteCaret == Value) return;
  FOverwriteCaret = Value;
  InitializeCaret();
}

void TCustomQmEdit::SetInsertMode(bool Value) {
  if (FInsertMode == Value) return;
  FInsertMode = Value;
  InitializeCaret();
  StatusChanged(scInsertMode);
}

void TCustomQmEdit::SetWordWrap(bool Value) {
  if (Value == WordWrap()) return;
  viewport()->update();
  const bool inView = CaretInView();
  const int shownLine = RowToLine(FTopLine);
  if (Value) {
    FWordWrap = std::make_unique<TQmWordWrapPlugin>(this);
    FLeftChar = 1;
    FTextOffset = FGutterWidth + 2;
  } else {
    FWordWrap.reset();
  }
  FTopLine = std::max(1, LineToRow(shownLine));
  UpdateScrollBars();
  if (HasOption(eoScrollPastEol)) {
    InternalSetCaretXY(CaretXY());
    const TBufferPos b = FBlockBegin, e = FBlockEnd;
    const TQmSelectionMode mode = FActiveSelectionMode;
    SetBlockBegin(b);
    SetBlockEnd(e);
    FActiveSelectionMode = mode;
  }
  if (inView) EnsureCursorPosVisible();
}

// ---- scroll bars -----------------------------------------------------------------------------

int TCustomQmEdit::ScrollRangeH() const {
  return HasOption(eoScrollPastEol) ? FMaxScrollWidth : std::max(FLines->LongestLineLength(), 1);
}

int TCustomQmEdit::ScrollRangeV() const {
  int n = DisplayLineCount();
  if (HasOption(eoScrollPastEof)) n += FLinesInWindow - 1;
  return n;
}

// Gives a scroll bar its range, page and position in the system's terms (the thumb covers
// Page of Min..Max) and shows, hides or greys it.
void TCustomQmEdit::ApplyScrollBar(TScrollBarKind Kind, const TQmScrollInfo &Info, bool Hide) {
  QScrollBar *bar = Kind == sbHorizontal ? horizontalScrollBar() : verticalScrollBar();
  const QSignalBlocker block(bar);
  const int page = std::max(Info.Page, 1);
  bar->setRange(Info.Min, std::max(Info.Min, Info.Max - page + 1));
  bar->setPageStep(page);
  bar->setSingleStep(1);
  if (!FIsScrolling) bar->setValue(Info.Pos);
  bar->setEnabled(Info.Arrows != ESB_DISABLE_BOTH);
  const Qt::ScrollBarPolicy policy = Hide ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAlwaysOn;
  if (Kind == sbHorizontal) {
    if (horizontalScrollBarPolicy() != policy) setHorizontalScrollBarPolicy(policy);
  } else if (verticalScrollBarPolicy() != policy) {
    setVerticalScrollBarPolicy(policy);
  }
}

void TCustomQmEdit::UpdateScrollBars() {
  if (FPaintLock != 0) {
    FScrollBarsPending = true;
    return;
  }
  FScrollBarsPending = false;
  if (FScrollBars == ssNone) {
    FHScrollInfo.Shown = FVScrollInfo.Shown = false;
    ApplyScrollBar(sbHorizontal, FHScrollInfo, true);
    ApplyScrollBar(sbVertical, FVScrollInfo, true);
    return;
  }
  const bool hideShow = HasOption(eoHideShowScrollbars);
  const bool disableArrows = HasOption(eoDisableScrollArrows);

  // Horizontal.
  TQmScrollInfo h;
  if ((FScrollBars == ssHorizontal || FScrollBars == ssBoth) && !FWordWrap) {
    const int n = ScrollRangeH();
    const bool scaled = n > kMaxScrollPos;
    if (scaled) {
      h = {0, kMaxScrollPos, MulDiv(kMaxScrollPos, FCharsInWindow, n), MulDiv(kMaxScrollPos, FLeftChar, n)};
    } else {
      h = {1, n, FCharsInWindow, FLeftChar};
    }
    h.Shown = !(hideShow && !scaled && FCharsInWindow >= h.Max);
    if (disableArrows || FCharsInWindow >= n) {
      if (FLeftChar > 1 || FLeftChar + FCharsInWindow - 1 < n) {
        h.Arrows = ESB_ENABLE_BOTH;
        if (FLeftChar <= 1)
          h.Arrows = ESB_DISABLE_LEFT;
        else if (FLeftChar + FCharsInWindow - 1 >= n)
          h.Arrows = ESB_DISABLE_RIGHT;
      } else {
        h.Arrows = ESB_DISABLE_BOTH;
      }
    }
  } else {
    h.Shown = false;
  }
  FHScrollInfo = h;
  ApplyScrollBar(sbHorizontal, h, !h.Shown);

  // Vertical.
  TQmScrollInfo v;
  if (FScrollBars == ssVertical || FScrollBars == ssBoth) {
    const int n = ScrollRangeV();
    const bool scaled = n > kMaxScrollPos;
    if (scaled) {
      v = {0, kMaxScrollPos, MulDiv(kMaxScrollPos, FLinesInWindow, n), MulDiv(kMaxScrollPos, FTopLine, n)};
    } else {
      v = {1, std::max(1, n), FLinesInWindow, FTopLine};
    }
    v.Shown = !(hideShow && !scaled && FLinesInWindow >= v.Max);
    if (disableArrows || FLinesInWindow >= n) {
      if (FTopLine > 1 || FLinesInWindow < n) {
        v.Arrows = ESB_ENABLE_BOTH;
        if (FTopLine <= 1)
          v.Arrows = ESB_DISABLE_LEFT;
        else if (DisplayLineCount() + 1 - FTopLine - FLinesInWindow == 0)
          v.Arrows = ESB_DISABLE_RIGHT;
      } else {
        v.Arrows = ESB_DISABLE_BOTH;
      }
    }
  } else {
    v.Shown = false;
  }
  FVScrollInfo = v;
  ApplyScrollBar(sbVertical, v, !v.Shown);
}

// ---- scroll requests --------------------------------------------------------------------------

void TCustomQmEdit::WMVScroll(TQmScrollRequest Request, int Pos) {
  const int page = HasOption(eoScrollByOneLess) ? FLinesInWindow - 1 : FLinesInWindow;
  switch (Request) {
    case SB_LINEUP: SetTopLine(FTopLine - 1); break;
    case SB_LINEDOWN: SetTopLine(FTopLine + 1); break;
    case SB_PAGEUP: SetTopLine(FTopLine - page); break;
    case SB_PAGEDOWN: SetTopLine(FTopLine + page); break;
    case SB_TOP: SetTopLine(1); break;
    case SB_BOTTOM: SetTopLine(DisplayLineCount()); break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK:
      FIsScrolling = true;
      if (DisplayLineCount() > kMaxScrollPos)
        SetTopLine(MulDiv(DisplayLineCount() + FLinesInWindow - 1, Pos, kMaxScrollPos));
      else
        SetTopLine(Pos);
      if (HasOption(eoShowScrollHint)) ShowScrollHint();
      break;
    case SB_ENDSCROLL:
      FIsScrolling = false;
      if (HasOption(eoShowScrollHint)) ScrollHintWindow()->hide();
      break;
  }
  viewport()->update();
  OnScroll(this, sbVertical);
}

void TCustomQmEdit::WMHScroll(TQmScrollRequest Request, int Pos) {
  const int page = HasOption(eoScrollByOneLess) ? FCharsInWindow - 1 : FCharsInWindow;
  switch (Request) {
    case SB_LINEUP: SetLeftChar(FLeftChar - 1); break;
    case SB_LINEDOWN: SetLeftChar(FLeftChar + 1); break;
    case SB_PAGEUP: SetLeftChar(FLeftChar - page); break;
    case SB_PAGEDOWN: SetLeftChar(FLeftChar + page); break;
    case SB_TOP: SetLeftChar(1); break;
    case SB_BOTTOM:
      SetLeftChar(HasOption(eoScrollPastEol) ? FMaxScrollWidth - FCharsInWindow + 1
                                             : FLines->LongestLineLength());
      break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK:
      FIsScrolling = true;
      if (ScrollRangeH() > kMaxScrollPos)
        SetLeftChar(MulDiv(ScrollRangeH(), Pos, kMaxScrollPos));
      else
        SetLeftChar(Pos);
      break;
    case SB_ENDSCROLL:
      FIsScrolling = false;
      break;
  }
  OnScroll(this, sbHorizontal);
}

// A scroll bar's action becomes the scroll request it stands for; the bar is then given
// the position the editor settled on.
void TCustomQmEdit::ScrollBarAction(TScrollBarKind Kind, int Action) {
  QScrollBar *bar = Kind == sbHorizontal ? horizontalScrollBar() : verticalScrollBar();
  TQmScrollRequest r;
  switch (Action) {
    case QAbstractSlider::SliderSingleStepAdd: r = SB_LINEDOWN; break;
    case QAbstractSlider::SliderSingleStepSub: r = SB_LINEUP; break;
    case QAbstractSlider::SliderPageStepAdd: r = SB_PAGEDOWN; break;
    case QAbstractSlider::SliderPageStepSub: r = SB_PAGEUP; break;
    case QAbstractSlider::SliderToMinimum: r = SB_TOP; break;
    case QAbstractSlider::SliderToMaximum: r = SB_BOTTOM; break;
    case QAbstractSlider::SliderMove: r = bar->isSliderDown() ? SB_THUMBTRACK : SB_THUMBPOSITION; break;
    default: return;
  }
  if (Kind == sbHorizontal)
    WMHScroll(r, bar->sliderPosition());
  else
    WMVScroll(r, bar->sliderPosition());
  const TQmScrollInfo &info = ScrollInfo(Kind);
  bar->setSliderPosition(info.Pos);
}

void TCustomQmEdit::WMMouseWheel(int Delta, TShiftState Shift) {
  int lines;
  if (Shift & ssCtrl) {
    lines = HasOption(eoHalfPageScroll) ? FLinesInWindow / 2 : FLinesInWindow;
  } else {
    lines = QGuiApplication::styleHints()->wheelScrollLines();
  }
  if (lines == -1 || lines > FLinesInWindow) lines = FLinesInWindow;
  FMouseWheelAccumulator += Delta;
  const int notches = FMouseWheelAccumulator / 120;
  FMouseWheelAccumulator %= 120;
  if (notches != 0) SetTopLine(FTopLine - notches * lines);
  viewport()->update();
  OnScroll(this, sbVertical);
}

QLabel *TCustomQmEdit::ScrollHintWindow() {
  static QPointer<QLabel> hint;
  if (!hint) {
    hint = new QLabel(nullptr, Qt::ToolTip);
    hint->setAttribute(Qt::WA_DeleteOnClose, false);
    hint->setMargin(2);
  }
  return hint;
}

void TCustomQmEdit::ShowScrollHint() {
  QLabel *hint = ScrollHintWindow();
  QPalette pal = hint->palette();
  pal.setColor(QPalette::Window, ToQColor(FScrollHintColor));
  hint->setPalette(pal);
  hint->setAutoFillBackground(true);
  const int line = RowToLine(FTopLine);
  QString text;
  if (FScrollHintFormat == shfTopLineOnly)
    text = QStringLiteral("Top Line: %1").arg(line);
  else
    text = QStringLiteral("%1 - %2").arg(line).arg(
        RowToLine(FTopLine + std::min(FLinesInWindow, DisplayLineCount() - FTopLine)));
  hint->setText(text);
  hint->setMaximumWidth(200);
  hint->adjustSize();
  int y = 10;
  if (HasOption(eoScrollHintFollows)) {
    const int arrow = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int maxv = std::max(1, FVScrollInfo.Max);
    y = arrow + qRound(double(viewport()->height() - 2 * arrow) * verticalScrollBar()->sliderPosition() / maxv) +
        hint->height() / 2;
  }
  const QPoint p(viewport()->width() - hint->width() - 4, y);
  hint->move(viewport()->mapToGlobal(p));
  hint->show();
  hint->repaint();
}

// ---- caret display ------------------------------------------------------------------------------

void TCustomQmEdit::InitializeCaret() {
  const TQmEditCaretType type = FInsertMode ? FInsertCaret : FOverwriteCaret;
  int w, h;
  switch (type) {
    case ctHorizontalLine:
      w = FCharWidth; h = 2; FCaretOffset = {0, FTextHeight - 2};
      break;
    case ctHalfBlock:
      w = FCharWidth; h = (FTextHeight - 2) / 2; FCaretOffset = {0, (FTextHeight - 2) / 2};
      break;
    case ctBlock:
      w = FCharWidth; h = FTextHeight - 2; FCaretOffset = {0, 0};
      break;
    default:
      w = 2; h = FTextHeight - 2; FCaretOffset = {-1, 0};
      break;
  }
  HideCaret();
  FCaretSize = QSize(w, h);
  FCaretCreated = false;
  if (hasFocus() || FAlwaysShowCaret) {
    FCaretCreated = true;
    UpdateCaret();
  }
}

void TCustomQmEdit::SetAlwaysShowCaret(bool Value) {
  if (FAlwaysShowCaret == Value) return;
  FAlwaysShowCaret = Value;
  if (Value) {
    InitializeCaret();
  } else if (!hasFocus()) {
    HideCaret();
    FCaretCreated = false;
  }
}

void TCustomQmEdit::UpdateCaret() {
  if (FPaintLock != 0 || !(hasFocus() || FAlwaysShowCaret)) {
    FCaretPending = true;
    return;
  }
  FCaretPending = false;
  TDisplayPos d = DisplayXY();
  if (FWordWrap && d.Column > FCharsInWindow + 1) d.Column = FCharsInWindow + 1;
  QPoint p(FTextOffset + (d.Column - 1) * FCharWidth, (d.Row - FTopLine) * FTextHeight);
  p += FCaretOffset;
  p.ry() += 1;
  PlaceCaret(p);
  if (p.x() < FGutterWidth || !viewport()->rect().contains(p))
    HideCaret();
  else
    ShowCaret();
  // The input method's composition window follows the caret.
  if (hasFocus()) QGuiApplication::inputMethod()->update(Qt::ImCursorRectangle);
}

void TCustomQmEdit::PlaceCaret(const QPoint &P) {
  if (P == FCaretPos) return;
  if (FCaretVisible) viewport()->update(CaretRect());
  FCaretPos = P;
  if (FCaretVisible) {
    RestartCaretBlink();
    viewport()->update(CaretRect());
  }
}

// The caret blinks at the desktop's rate and shows at once after every move.
void TCustomQmEdit::RestartCaretBlink() {
  FCaretBlinkOn = true;
  const int period = QGuiApplication::styleHints()->cursorFlashTime();
  if (period > 0 && FCaretVisible)
    FCaretBlinkTimer->start(period / 2);
  else
    FCaretBlinkTimer->stop();
}

void TCustomQmEdit::CaretBlink() {
  if (!FCaretVisible) {
    FCaretBlinkTimer->stop();
    return;
  }
  FCaretBlinkOn = !FCaretBlinkOn;
  viewport()->update(CaretRect());
}

void TCustomQmEdit::ShowCaret() {
  if (HasOption(eoNoCaret) || FCaretVisible || !FCaretCreated) return;
  FCaretVisible = true;
  RestartCaretBlink();
  viewport()->update(CaretRect());
}

void TCustomQmEdit::HideCaret() {
  if (!FCaretVisible) return;
  FCaretVisible = false;
  viewport()->update(CaretRect());
}
