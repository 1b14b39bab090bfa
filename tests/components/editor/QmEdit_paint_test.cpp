// What the editor draws: cell colours of the selection, the active line, highlighted
// tokens and line ends, the right edge, and double-byte characters cut at the left edge.
#include <QImage>
#include <gtest/gtest.h>

#include "components/editor/QmEdit.h"
#include "components/editor/QmHighlighterSQL.h"
#include "platform/cp932.h"

namespace {

std::string S(const char *utf8) { return cp932::FromUtf8(utf8); }

constexpr TColor kSel = 0x0000FF;     // red
constexpr TColor kActive = 0x00FF00;  // green
constexpr TColor kToken = 0xFF0000;   // blue

struct Painted {
  TQmEdit e;
  QImage img;
  explicit Painted(const std::string &text) {
    e.resize(420, 200);
    e.SetText(text);
    e.SelectedColor().SetBackground(kSel);
    e.SelectedColor().SetForeground(clWhite);
  }
  void Grab() { img = e.viewport()->grab().toImage(); }
  // True when the cell shows the colour (0x00BBGGRR) anywhere: as its background, it
  // shows between the strokes of any character.
  bool Has(int column, int row, TColor color) const {
    const QRgb want = qRgb(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
    const int x0 = e.TextOffset() + (column - 1) * e.CharWidth();
    const int y0 = (row - e.TopLine()) * e.LineHeight();
    for (int x = x0; x < x0 + e.CharWidth(); ++x)
      for (int y = y0; y < y0 + e.LineHeight(); ++y)
        if (img.pixel(x, y) == want) return true;
    return false;
  }
  // True when the cell holds any dark pixel.
  bool Ink(int column, int row) const {
    const int x0 = e.TextOffset() + (column - 1) * e.CharWidth();
    const int y0 = (row - e.TopLine()) * e.LineHeight();
    for (int x = x0; x < x0 + e.CharWidth(); ++x)
      for (int y = y0; y < y0 + e.LineHeight(); ++y)
        if (qGray(img.pixel(x, y)) < 100) return true;
    return false;
  }
};

TEST(QmEditPaint, SelectionCellsInTheThreeModes) {
  Painted p("abcd\r\n" + S("aあb") + "\r\nefgh");
  struct Case {
    TQmSelectionMode mode;
    TBufferPos b, e;
    std::vector<std::pair<int, int>> selected, plain;  // (column, row)
  } cases[] = {
      // Normal: from the start to the right edge on the first row, up to the end on the last.
      {smNormal, {3, 1}, {2, 3}, {{3, 1}, {20, 1}, {1, 2}, {20, 2}, {1, 3}}, {{2, 1}, {2, 3}}},
      // Line: whole rows.
      {smLine, {1, 2}, {3, 2}, {{1, 2}, {20, 2}}, {{1, 1}, {1, 3}}},
      // Column: an end inside あ takes the character whole, as the copied text does.
      {smColumn, {2, 1}, {3, 3}, {{2, 1}, {2, 2}, {3, 2}, {2, 3}}, {{1, 1}, {3, 1}, {4, 2}, {3, 3}}},
  };
  for (const Case &c : cases) {
    p.e.SetSelectionMode(c.mode);
    p.e.SetCaretAndSelection(c.e, c.b, c.e);
    p.Grab();
    for (auto [col, row] : c.selected) EXPECT_TRUE(p.Has(col, row, kSel)) << int(c.mode) << " " << col << "," << row;
    for (auto [col, row] : c.plain) EXPECT_FALSE(p.Has(col, row, kSel)) << int(c.mode) << " " << col << "," << row;
  }
  EXPECT_EQ(p.e.GetSelText(), "b\r\n" + S("あ") + "\r\nf");
}

TEST(QmEditPaint, HiddenSelectionWithoutFocus) {
  Painted p("abcd");
  p.e.SetCaretAndSelection({4, 1}, {1, 1}, {4, 1});
  p.e.SetHideSelection(true);
  p.Grab();
  EXPECT_FALSE(p.Has(2, 1, kSel));
  p.e.SetHideSelection(false);
  p.Grab();
  EXPECT_TRUE(p.Has(2, 1, kSel));
}

TEST(QmEditPaint, ActiveLineUnderTokensWithTheirOwnBackground) {
  Painted p("select 1\r\nselect 2");
  TQmSQLSyn syn;
  syn.GetDefaultAttribute(SYN_ATTR_KEYWORD)->SetBackground(kToken);
  p.e.SetHighlighter(&syn);
  p.e.SetActiveLineColor(kActive);
  p.e.SetCaretXY({1, 2});
  p.Grab();
  EXPECT_TRUE(p.Has(2, 1, kToken));
  EXPECT_TRUE(p.Has(2, 2, kActive));
  EXPECT_TRUE(p.Has(30, 2, kActive));
  EXPECT_FALSE(p.Has(30, 1, kActive));
  p.e.SetHighlighter(nullptr);
}

TEST(QmEditPaint, UnterminatedCommentColoursTheLineEnd) {
  Painted p("x /* open\r\ny");
  TQmSQLSyn syn;
  syn.GetDefaultAttribute(SYN_ATTR_COMMENT)->SetBackground(kToken);
  p.e.SetHighlighter(&syn);
  p.e.SetOptions(p.e.Options() | OptionBit(eoShowSpecialChars));
  p.Grab();
  EXPECT_FALSE(p.Has(1, 1, kToken));
  EXPECT_TRUE(p.Has(3, 1, kToken));
  EXPECT_TRUE(p.Has(10, 1, kToken));  // the line-end mark's cell
  EXPECT_TRUE(p.Has(1, 2, kToken));   // the comment runs on
  p.e.SetHighlighter(nullptr);
}

TEST(QmEditPaint, SpecialLinesAndTheirSelection) {
  Painted p("abcd\r\nefgh");
  p.e.OnSpecialLineColors = [](TObject *, int line, bool &special, TColor &fg, TColor &bg) {
    if (line != 2) return;
    special = true;
    fg = kToken;
    bg = kActive;
  };
  p.e.SetCaretAndSelection({3, 2}, {1, 1}, {3, 2});
  p.Grab();
  EXPECT_TRUE(p.Has(1, 1, kSel));
  // The special line's selection swaps its own colours.
  EXPECT_TRUE(p.Has(1, 2, kToken));
  EXPECT_FALSE(p.Has(1, 2, kSel));
  EXPECT_TRUE(p.Has(4, 2, kActive));
  EXPECT_TRUE(p.Has(30, 2, kActive));
}

TEST(QmEditPaint, RightEdge) {
  Painted p("a");
  p.e.SetRightEdge(10);
  p.Grab();
  const int x = p.e.TextOffset() + 10 * p.e.CharWidth();
  const int y = p.img.height() - 5;
  EXPECT_EQ(p.img.pixel(x, y), qRgb(0xC0, 0xC0, 0xC0));
  p.e.SetRightEdge(0);
  p.Grab();
  for (int xx = p.e.TextOffset(); xx < p.img.width(); ++xx)
    EXPECT_NE(p.img.pixel(xx, y), qRgb(0xC0, 0xC0, 0xC0)) << xx;
}

TEST(QmEditPaint, DoubleByteCharacterCutAtTheLeftEdgeIsDrawn) {
  Painted p(S("aあb") + "\r\n" + S("a  b"));
  p.e.SetLeftChar(3);
  p.Grab();
  EXPECT_TRUE(p.Ink(3, 1));
  EXPECT_FALSE(p.Ink(3, 2));
  EXPECT_TRUE(p.Ink(4, 1));
}

TEST(QmEditPaint, GutterShowsLineNumbers) {
  Painted p("a\r\nb\r\nc");
  p.e.Gutter().SetShowLineNumbers(true);
  EXPECT_GT(p.e.GutterWidth(), 30);
  p.Grab();
  auto inkInGutterRow = [&](int row) {
    for (int x = 0; x < p.e.GutterWidth() - 2; ++x)
      for (int y = (row - 1) * p.e.LineHeight(); y < row * p.e.LineHeight(); ++y)
        if (qGray(p.img.pixel(x, y)) < 100) return true;
    return false;
  };
  EXPECT_TRUE(inkInGutterRow(1));
  EXPECT_TRUE(inkInGutterRow(3));
  EXPECT_FALSE(inkInGutterRow(4));
}

}  // namespace
