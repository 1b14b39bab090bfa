#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include "components/editor/QmTextDrawer.h"
#include "platform/cp932.h"

namespace {

std::string S(const char *utf8) { return cp932::FromUtf8(utf8); }

TFont *MakeFont(TFont &f, const char *name, int size) {
  f.SetName(name);
  f.SetSize(size);
  return &f;
}

// The columns of the image that hold any dark pixel.
std::vector<int> InkColumns(const QImage &img) {
  std::vector<int> cols;
  for (int x = 0; x < img.width(); ++x)
    for (int y = 0; y < img.height(); ++y)
      if (qGray(img.pixel(x, y)) < 128) {
        cols.push_back(x);
        break;
      }
  return cols;
}

// Draws Text with the drawer at (0, 0) on a white image and gives the image.
QImage Render(TheTextDrawer &d, const std::string &text, int width) {
  QImage img(width, d.CharHeight(), QImage::Format_RGB32);
  img.fill(Qt::white);
  QPainter p(&img);
  d.BeginDrawing(&p);
  d.SetForeColor(clBlack);
  d.ExtTextOut(0, 0, 0, nullptr, text, static_cast<int>(text.size()));
  d.EndDrawing();
  return img;
}

TEST(TheTextDrawer, EveryByteTakesOneCell) {
  TFont font;
  TheTextDrawer d(0, MakeFont(font, "Courier New", 12));
  const int cw = d.CharWidth();
  ASSERT_GT(cw, 4);
  ASSERT_GT(d.CharHeight(), cw);

  // Ink of each character lies inside its cells: 'a' in cell 0, the katakana in cells 1-2,
  // 'b' in cell 3, the kanji in cells 4-5 and '|' in cell 6.
  const std::string text = "a" + S("ア") + "b" + S("漢") + "|";
  const QImage img = Render(d, text, cw * 9);
  struct Span {
    int first, last;
  };
  const Span cells[] = {{0, 0}, {1, 2}, {3, 3}, {4, 5}, {6, 6}};
  std::vector<int> ink = InkColumns(img);
  ASSERT_FALSE(ink.empty());
  for (const Span &s : cells) {
    bool any = false;
    for (int x : ink) any |= x >= s.first * cw && x < (s.last + 1) * cw;
    EXPECT_TRUE(any) << "cell " << s.first;
  }
  EXPECT_LT(ink.back(), 7 * cw);
  EXPECT_EQ(d.ETODistLength(), 64);

  // Wider cells move the characters: with extra spacing the '|' moves by six times it.
  auto barColumn = [&](int extra) {
    d.SetCharExtra(extra);
    QImage one = Render(d, "      |", d.CharWidth() * 8);
    return InkColumns(one).front();
  };
  const int plain = barColumn(0);
  EXPECT_EQ(barColumn(5), plain + 6 * 5);
  EXPECT_EQ(d.CharWidth(), cw + 5);
  d.SetCharExtra(0);

  // A long text grows the advance array in steps of 64.
  const std::string longText(100, 'x');
  Render(d, longText, 10);
  EXPECT_EQ(d.ETODistLength(), 128);
}

TEST(TheTextDrawer, KanjiComeFromAFallbackFace) {
  TFont font;
  TheTextDrawer d(0, MakeFont(font, "Courier New", 14));
  const int w = d.CharWidth() * 2;
  QImage kan = Render(d, S("漢"), w), ji = Render(d, S("字"), w), box = Render(d, S("表"), w);
  EXPECT_FALSE(InkColumns(kan).empty());
  // Missing glyphs would all draw as the same box.
  EXPECT_NE(kan, ji);
  EXPECT_NE(ji, box);
}

TEST(TheTextDrawer, OpaqueClippedUnderlined) {
  TFont font;
  TheTextDrawer d(0, MakeFont(font, "Courier New", 12));
  const int cw = d.CharWidth(), ch = d.CharHeight();
  QImage img(cw * 6, ch, QImage::Format_RGB32);
  img.fill(Qt::white);
  {
    QPainter p(&img);
    d.BeginDrawing(&p);
    d.BeginDrawing(&p);  // nested on the same painter
    d.SetBackColor(clBlue);
    d.SetForeColor(clRed);
    d.SetStyle(fsUnderline);
    const QRect r(0, 0, cw * 2, ch);
    d.ExtTextOut(0, 0, ETO_OPAQUE | ETO_CLIPPED, &r, "____", 4);
    d.EndDrawing();
    d.EndDrawing();
  }
  EXPECT_EQ(img.pixelColor(1, 0), QColor(Qt::blue));       // the rectangle is filled
  EXPECT_EQ(img.pixelColor(cw * 3, 0), QColor(Qt::white));  // nothing outside it
  bool red = false;
  for (int y = 0; y < ch; ++y) red |= img.pixelColor(cw / 2, y) == QColor(Qt::red);
  EXPECT_TRUE(red);
  for (int y = 0; y < ch; ++y) EXPECT_NE(img.pixelColor(cw * 3, y), QColor(Qt::red));
}

TEST(TheTextDrawer, MisuseIsRefused) {
  TFont font;
  TheTextDrawer d(fsBold, MakeFont(font, "Courier New", 10));
  const int cw = d.CharWidth();
  EXPECT_THROW(d.SetBaseFont(nullptr), EheTextDrawerException);
  EXPECT_EQ(d.CharWidth(), cw);  // unchanged
  EXPECT_THROW(d.SetStyle(16), EAssertionFailed);
  EXPECT_THROW(d.EndDrawing(), EAssertionFailed);
  QImage a(10, 10, QImage::Format_RGB32), b(10, 10, QImage::Format_RGB32);
  QPainter pa(&a), pb(&b);
  d.BeginDrawing(&pa);
  EXPECT_THROW(d.BeginDrawing(&pb), EAssertionFailed);
  d.EndDrawing();
  EXPECT_THROW(TheFontStock(nullptr), EheFontStockException);
}

TEST(TheFontsInfoManager, DrawersOnOneFontShareItsRecord) {
  TheFontsInfoManager &m = GetFontsInfoManager();
  const int before = m.Count();
  TFont f1, f2, f3;
  MakeFont(f1, "Courier New", 11);
  MakeFont(f2, "Courier New", 11);
  f2.SetStyle(fsItalic);  // italic, underline and strike-out do not make another font
  MakeFont(f3, "Courier New", 13);
  auto a = std::make_unique<TheTextDrawer>(0, &f1);
  TheSharedFontsInfo *info = a->FontStock().FontsInfo();
  {
    TheTextDrawer b(0, &f2);
    EXPECT_EQ(b.FontStock().FontsInfo(), info);
    EXPECT_EQ(info->RefCount, 2);
    TheTextDrawer c(0, &f3);
    EXPECT_NE(c.FontStock().FontsInfo(), info);
    EXPECT_EQ(m.Count(), before + 2);
    EXPECT_EQ(b.CharWidth(), a->CharWidth());
  }
  EXPECT_EQ(info->RefCount, 1);
  EXPECT_EQ(m.Count(), before + 1);

  // Handles go when nobody uses them; the metrics stay and come back with the same values.
  const int cw = a->CharWidth();
  a->ReleaseTemporaryResources();
  EXPECT_EQ(info->LockCount, 0);
  for (const TheFontData &fd : info->FontsData) EXPECT_EQ(fd.Handle, nullptr);
  a->SetStyle(fsBold);
  EXPECT_EQ(info->LockCount, 1);
  EXPECT_EQ(a->CharWidth(), cw);
  a.reset();
  EXPECT_EQ(m.Count(), before);
}

TEST(TheFontStock, StylesHaveTheirOwnFontsAndMetrics) {
  TFont font;
  TheFontStock stock(MakeFont(font, "Courier New", 12));
  for (TFontStyles s = 0; s < 16; ++s) {
    stock.SetStyle(s);
    EXPECT_GT(stock.CharAdvance(), 0);
    EXPECT_GT(stock.CharHeight(), 0);
    EXPECT_EQ(stock.CurrentFont().bold(), (s & fsBold) != 0);
    EXPECT_EQ(stock.CurrentFont().italic(), (s & fsItalic) != 0);
    EXPECT_EQ(stock.CurrentFont().underline(), (s & fsUnderline) != 0);
    EXPECT_EQ(stock.CurrentFont().strikeOut(), (s & fsStrikeOut) != 0);
  }
}

}  // namespace
