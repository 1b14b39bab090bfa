// The editor's visible window, scroll bars, wheel and caret shape.
#include <QApplication>
#include <QLabel>
#include <QScrollBar>
#include <gtest/gtest.h>

#include "components/editor/QmEdit.h"

namespace {

std::string Lines(int n, int width = 5) {
  std::string text;
  for (int i = 1; i <= n; ++i) {
    if (i > 1) text += "\r\n";
    text += std::string(static_cast<std::size_t>(width), 'x');
  }
  return text;
}

TEST(QmEditScroll, TopLineAndLeftCharLimits) {
  TQmEdit e;
  e.resize(400, 200);
  e.SetText(Lines(100, 300));
  const int rows = e.LinesInWindow(), cols = e.CharsInWindow();
  ASSERT_GT(rows, 3);
  ASSERT_GT(cols, 3);
  e.SetTopLine(1000);
  EXPECT_EQ(e.TopLine(), 100 - rows + 1);
  e.SetOptions(e.Options() | OptionBit(eoScrollPastEof));
  e.SetTopLine(1000);
  EXPECT_EQ(e.TopLine(), 100);
  e.SetTopLine(-5);
  EXPECT_EQ(e.TopLine(), 1);

  e.SetLeftChar(5000);
  EXPECT_EQ(e.LeftChar(), 1024 - cols + 1);
  e.SetOptions(e.Options() & ~OptionBit(eoScrollPastEol));
  e.SetLeftChar(5000);
  EXPECT_EQ(e.LeftChar(), 300 - cols + 1);
  EXPECT_EQ(e.TextOffset(), e.GutterWidth() + 2 - (e.LeftChar() - 1) * e.CharWidth());
}

TEST(QmEditScroll, CaretIsKeptInView) {
  TQmEdit e;
  e.resize(400, 200);
  e.SetText(Lines(100, 300));
  const int rows = e.LinesInWindow(), cols = e.CharsInWindow();
  e.SetCaretXY({1, 50});
  EXPECT_EQ(e.TopLine(), 50 - rows + 1);
  e.SetCaretXY({1, 10});
  EXPECT_EQ(e.TopLine(), 10);
  e.SetCaretXY({200, 10});
  EXPECT_EQ(e.LeftChar(), 200 - cols + 1);
  EXPECT_TRUE(e.CaretInView());
  e.SetCaretXY({1, 80});
  e.EnsureCursorPosVisibleEx(true);  // already visible: stays
  const int top = e.TopLine();
  e.SetTopLine(1);
  e.EnsureCursorPosVisibleEx(true);
  EXPECT_EQ(e.TopLine(), rows / 2 + 80 - (rows - 1));
  EXPECT_NE(top, 1);
}

TEST(QmEditScroll, HugeDocumentsScaleTheVerticalBar) {
  TQmEdit e;
  e.resize(400, 200);
  e.SetText(Lines(40000, 3));
  const TQmScrollInfo &v = e.ScrollInfo(sbVertical);
  EXPECT_EQ(v.Min, 0);
  EXPECT_EQ(v.Max, 32767);
  EXPECT_EQ(v.Page, MulDiv(32767, e.LinesInWindow(), 40000));
  e.WMVScroll(SB_THUMBTRACK, 32767);
  EXPECT_TRUE(e.IsScrollTracking());
  EXPECT_EQ(e.TopLine(), 40000 - e.LinesInWindow() + 1);
  EXPECT_EQ(v.Pos, MulDiv(32767, e.TopLine(), 40000));
  e.WMVScroll(SB_ENDSCROLL, 0);
  EXPECT_FALSE(e.IsScrollTracking());
  // Small documents are not scaled.
  e.SetText(Lines(50));
  EXPECT_EQ(e.ScrollInfo(sbVertical).Min, 1);
  EXPECT_EQ(e.ScrollInfo(sbVertical).Max, 50);
  EXPECT_EQ(e.ScrollInfo(sbVertical).Page, e.LinesInWindow());
  EXPECT_EQ(e.ScrollInfo(sbHorizontal).Max, 1024);  // the past-end width
}

TEST(QmEditScroll, ScrollRequests) {
  TQmEdit e;
  e.resize(400, 200);
  e.SetText(Lines(200, 3));
  const int rows = e.LinesInWindow();
  std::vector<TScrollBarKind> events;
  e.OnScroll = [&](TObject *, TScrollBarKind k) { events.push_back(k); };
  struct Case {
    TQmScrollRequest r;
    int top;
  } cases[] = {{SB_LINEDOWN, 2}, {SB_PAGEDOWN, 2 + rows}, {SB_LINEUP, 1 + rows}, {SB_PAGEUP, 1},
               {SB_BOTTOM, 200 - rows + 1}, {SB_TOP, 1}, {SB_THUMBPOSITION, 40}};
  for (const Case &c : cases) {
    e.WMVScroll(c.r, 40);
    EXPECT_EQ(e.TopLine(), c.top) << int(c.r);
  }
  e.SetOptions(e.Options() | OptionBit(eoScrollByOneLess));
  e.WMVScroll(SB_PAGEDOWN, 0);
  EXPECT_EQ(e.TopLine(), 40 + rows - 1);
  EXPECT_EQ(events.size(), 8u);
  e.WMHScroll(SB_LINEDOWN, 0);
  EXPECT_EQ(e.LeftChar(), 2);
  EXPECT_EQ(events.back(), sbHorizontal);

  // A scroll bar's own action becomes the same request.
  e.verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(e.TopLine(), 40 + rows);
  EXPECT_EQ(e.verticalScrollBar()->value(), e.TopLine());
}

TEST(QmEditScroll, ThumbDragShowsTheHint) {
  TQmEdit e;
  e.resize(400, 200);
  e.SetText(Lines(200, 3));
  e.show();
  e.SetScrollHintFormat(shfTopToBottom);
  e.WMVScroll(SB_THUMBTRACK, 20);
  QLabel *hint = TCustomQmEdit::ScrollHintWindow();
  EXPECT_TRUE(hint->isVisible());
  EXPECT_EQ(hint->text(), QString("20 - %1").arg(20 + e.LinesInWindow()));
  e.SetScrollHintFormat(shfTopLineOnly);
  e.WMVScroll(SB_THUMBTRACK, 30);
  EXPECT_EQ(hint->text(), "Top Line: 30");
  e.WMVScroll(SB_ENDSCROLL, 0);
  EXPECT_FALSE(hint->isVisible());
}

TEST(QmEditScroll, BarsThatCannotScrollAreGreyedOrHidden) {
  TQmEdit e;
  e.resize(400, 200);
  e.SetText("short");
  e.UpdateScrollBars();
  EXPECT_TRUE(e.ScrollInfo(sbVertical).Shown);
  EXPECT_EQ(e.ScrollInfo(sbVertical).Arrows, ESB_DISABLE_BOTH);
  EXPECT_EQ(e.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_FALSE(e.verticalScrollBar()->isEnabled());
  e.SetOptions(e.Options() | OptionBit(eoHideShowScrollbars));
  EXPECT_FALSE(e.ScrollInfo(sbVertical).Shown);
  EXPECT_EQ(e.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  // The past-end width keeps the horizontal bar.
  EXPECT_TRUE(e.ScrollInfo(sbHorizontal).Shown);
  e.SetScrollBars(ssVertical);
  EXPECT_EQ(e.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  e.SetScrollBars(ssNone);
  EXPECT_EQ(e.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

TEST(QmEditScroll, WordWrapKeepsTheFirstColumn) {
  TQmEdit e;
  e.resize(300, 200);
  e.SetText(std::string(200, 'w') + "\r\nshort");
  e.SetLeftChar(10);
  EXPECT_EQ(e.LeftChar(), 10);
  e.SetWordWrap(true);
  EXPECT_EQ(e.LeftChar(), 1);
  EXPECT_FALSE(e.ScrollInfo(sbHorizontal).Shown);
  EXPECT_EQ(e.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_GT(e.DisplayLineCount(), 2);
  e.SetLeftChar(10);
  EXPECT_EQ(e.LeftChar(), 1);
  e.SetWordWrap(false);
  EXPECT_EQ(e.DisplayLineCount(), 2);
}

TEST(QmEditScroll, WheelNotchesAccumulate) {
  TQmEdit e;
  e.resize(400, 200);
  e.SetText(Lines(200, 3));
  e.SetTopLine(50);
  const int lines = std::min(QApplication::wheelScrollLines(), e.LinesInWindow());
  e.WMMouseWheel(-60, 0);
  EXPECT_EQ(e.TopLine(), 50);
  e.WMMouseWheel(-60, 0);
  EXPECT_EQ(e.TopLine(), 50 + lines);
  e.WMMouseWheel(120, ssCtrl);
  EXPECT_EQ(e.TopLine(), 50 + lines - e.LinesInWindow());
}

TEST(QmEditCaretShape, SizesAndOffsetsByType) {
  TQmEdit e;
  e.resize(400, 200);
  e.SetAlwaysShowCaret(true);
  const int cw = e.CharWidth(), lh = e.LineHeight();
  struct Case {
    TQmEditCaretType type;
    QSize size;
    int dx, dy;
  } cases[] = {{ctVerticalLine, {2, lh - 2}, -1, 0},
               {ctHorizontalLine, {cw, 2}, 0, lh - 2},
               {ctHalfBlock, {cw, (lh - 2) / 2}, 0, (lh - 2) / 2},
               {ctBlock, {cw, lh - 2}, 0, 0}};
  for (const Case &c : cases) {
    e.SetInsertCaret(c.type);
    EXPECT_EQ(e.CaretRect().size(), c.size) << int(c.type);
    EXPECT_EQ(e.CaretRect().topLeft(), QPoint(e.TextOffset() + c.dx, 1 + c.dy)) << int(c.type);
  }
  e.SetInsertMode(false);  // the overwrite caret is a block
  EXPECT_EQ(e.CaretRect().size(), QSize(cw, lh - 2));
  EXPECT_TRUE(e.CaretVisible());
  // Scrolled out of view, the caret is hidden and comes back with it.
  e.SetText(Lines(100));
  e.SetTopLine(20);
  EXPECT_FALSE(e.CaretVisible());
  e.SetCaretXY({1, 25});
  EXPECT_TRUE(e.CaretVisible());
  EXPECT_EQ(e.CaretRect().top(), 5 * lh + 1);
}

TEST(QmEditFont, ProportionalFacesAreAskedForWithAFixedPitch) {
  TQmEdit e;
  TFont f;
  f.SetName("DejaVu Sans");
  f.SetSize(12);
  f.SetStyle(fsItalic);
  f.SetColor(clNavy);
  const int oldWidth = e.CharWidth();
  e.SetFont(f);
  EXPECT_EQ(e.Font().Name(), "DejaVu Sans");
  EXPECT_EQ(e.Font().Size(), 12);
  EXPECT_EQ(e.Font().Color(), clNavy);
  EXPECT_TRUE(e.ControlFont().fixedPitch());
  EXPECT_TRUE(e.ControlFont().italic());
  EXPECT_NE(e.CharWidth(), oldWidth);
  // Extra spacing adds to the row height.
  const int lh = e.LineHeight();
  e.SetExtraLineSpacing(3);
  EXPECT_EQ(e.LineHeight(), lh + 3);
}

}  // namespace
