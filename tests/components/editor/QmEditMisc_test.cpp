#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <stdexcept>

#include "components/editor/QmEditMiscClasses.h"
#include "components/editor/QmEditMiscProcs.h"
#include "platform/LocaleMap.h"
#include "platform/cp932.h"

namespace {

std::string S(const char *utf8) { return cp932::FromUtf8(utf8); }

TEST(QmEditMiscProcs, RangesAndOrder) {
  EXPECT_EQ(ClampToRange(5, 1, 10), 5);
  EXPECT_EQ(ClampToRange(-3, 1, 10), 1);
  EXPECT_EQ(ClampToRange(30, 1, 10), 10);
  EXPECT_EQ(ClampToRange(5, 10, 1), 10);  // the lower bound wins
  EXPECT_EQ(EarlierPoint({5, 2}, {1, 3}), (TBufferPos{5, 2}));
  EXPECT_EQ(EarlierPoint({5, 2}, {1, 2}), (TBufferPos{1, 2}));
  EXPECT_EQ(MulDiv(1, 255, 2), 128);
  EXPECT_EQ(MulDiv(-1, 255, 2), -128);
  EXPECT_EQ(MulDiv(1, 1, 0), -1);
}

TEST(QmEditMiscProcs, TabExpansion) {
  struct Case {
    TQmTabExpander fn;
    std::string line;
    int width;
    std::string expanded;
    bool tabs;
  };
  const Case cases[] = {
      {ExpandTabsPow2, "a\tb", 4, "a\t\t\tb", true},
      {ExpandTabsSimple, "a\tb", 1, "a b", true},
      {ExpandTabsAny, "a\tb", 3, "a\t\tb", true},
      {ExpandTabsAny, "abc\td", 3, "abc\t\t\td", true},
      {ExpandTabsPow2, "\t\t", 8, std::string(16, '\t'), true},
      {ExpandTabsPow2, "plain", 8, "plain", false},
      {ExpandTabsAny, S("ア\tx"), 6, S("ア") + "\t\t\t\tx", true},  // a double-byte char is two columns
  };
  for (const Case &c : cases) {
    bool tabs = !c.tabs;
    EXPECT_EQ(c.fn(c.line, c.width, tabs), c.expanded) << c.line;
    EXPECT_EQ(tabs, c.tabs) << c.line;
    EXPECT_EQ(ExpandedLength(c.line, c.width), static_cast<int>(c.expanded.size())) << c.line;
  }
  EXPECT_EQ(ExpandedLength("ab\tc", 4), 5);
  EXPECT_EQ(SelectTabExpander(0), &ExpandTabsSimple);
  EXPECT_EQ(SelectTabExpander(1), &ExpandTabsSimple);
  EXPECT_EQ(SelectTabExpander(8), &ExpandTabsPow2);
  EXPECT_EQ(SelectTabExpander(6), &ExpandTabsAny);
  EXPECT_TRUE(IsPowerOfTwo(65536));
  EXPECT_FALSE(IsPowerOfTwo(1));
  EXPECT_FALSE(IsPowerOfTwo(131072));
  int before = -1;
  EXPECT_TRUE(ScanForTab("ab\tc", &before));
  EXPECT_EQ(before, 2);
}

TEST(QmEditMiscProcs, CharIndexToColumn) {
  struct Case {
    int index, width;
    const char *line;
    int column;
  };
  const Case cases[] = {
      {0, 4, "a\tb", 1},  {1, 4, "a\tb", 1},  {2, 4, "a\tb", 2},   {3, 4, "a\tb", 5},
      {4, 4, "a\tb", 6},  {6, 4, "a\tb", 8},  {3, 1, "a\tb", 3},   {5, 4, "abcd", 5},
      {3, 4, "ab\tc", 3}, {4, 4, "ab\tc", 5}, {3, 8, "\t\tx", 17}, {3, 3, "a\t\tb", 4},
  };
  for (const Case &c : cases)
    EXPECT_EQ(CharIndexToColumn(c.index, c.width, c.line), c.column) << c.line << " @" << c.index;
}

TEST(QmEditMiscProcs, DoubleByteScansNeverStopOnATrailByte) {
  // Bytes: 'x', 0x83 0x41 (katakana A, whose trail byte is 'A'), ' ', 'A'.
  const std::string line = "x" + S("ア") + " A";
  const TQmCharSet setA = MakeCharSet("A");
  EXPECT_EQ(ScanForCharInSet(line, 1, setA), 5);
  EXPECT_EQ(ScanForCharInSet(line, 3, setA), 5);  // start on the trail byte
  EXPECT_EQ(ScanForCharInSet(line, 6, setA), 0);
  EXPECT_EQ(ScanForCharInSet(line, 0, setA), 0);
  EXPECT_EQ(ReverseScanForCharInSet(line, 5, setA), 5);
  EXPECT_EQ(ReverseScanForCharInSet(line, 4, setA), 0);
  EXPECT_EQ(ReverseScanForCharInSet(line, 99, MakeCharSet("x ")), 4);
  EXPECT_EQ(ScanForLeadByte(line, 1), 2);
  EXPECT_EQ(ScanForLeadByte(line, 3), 0);
  EXPECT_EQ(ReverseScanForLeadByte(line, 3), 2);
  EXPECT_EQ(ReverseScanForLeadByte(line, 1), 0);
  EXPECT_TRUE(IsTrailByteAt(line, 3));
  EXPECT_FALSE(IsTrailByteAt(line, 2));

  // A lead byte that ends the line is a character of its own.
  const std::string cut = "ab\x83";
  EXPECT_EQ(ScanForLeadByte(cut, 1), 0);
  EXPECT_EQ(ScanForCharInSet(cut, 1, MakeCharSet("\x83")), 3);
  EXPECT_FALSE(IsTrailByteAt(cut, 3));

  EXPECT_EQ(FindLineEnd("abc\r\n"), 3u);
  EXPECT_EQ(FindLineEnd(std::string_view("ab\0c", 4)), 2u);
  EXPECT_EQ(FindLineEnd("abc"), 3u);
}

TEST(QmEditMiscProcs, JapaneseCharClasses) {
  using namespace localemap;
  struct Case {
    const char *utf8;
    int cls;
  };
  const Case cases[] = {
      {"あ", 7}, {"漢", 8}, {"々", 8}, {"ｱ", 3}, {"ｰ", 3}, {"a", 1}, {"Z", 1},  {"7", 1},
      {"(", 2},  {"_", 2},  {"｡", 2},  {"ア", 6}, {"ー", 6}, {"Ａ", 4}, {"３", 4}, {"（", 5},
      {"・", 5}, {"α", 4},
  };
  for (const Case &c : cases) EXPECT_EQ(JapaneseCharClassAt(S(c.utf8), 0), c.cls) << c.utf8;
  // The flag table itself, in its order of tests.
  EXPECT_EQ(JapaneseCharClass(C3_SYMBOL), 9);
  EXPECT_EQ(JapaneseCharClass(C3_HALFWIDTH | C3_ALPHA), 1);
  EXPECT_EQ(JapaneseCharClass(C3_HALFWIDTH | C3_LEXICAL), 2);
  EXPECT_EQ(JapaneseCharClass(C3_HALFWIDTH | C3_DIACRITIC), 0);
  EXPECT_EQ(JapaneseCharClass(C3_FULLWIDTH | C3_ALPHA), 4);
  EXPECT_EQ(JapaneseCharClass(C3_FULLWIDTH | C3_KATAKANA | C3_HIRAGANA), 6);
  EXPECT_EQ(JapaneseCharClass(0), 0);
}

TEST(QmEditMiscProcs, DrawGradientBands) {
  QImage img(30, 4, QImage::Format_RGB32);
  img.fill(Qt::red);
  {
    QPainter p(&img);
    DrawGradient(p, clBlack, clWhite, true, QRect(0, 0, 30, 4), 3);
  }
  EXPECT_EQ(img.pixelColor(0, 1), QColor(0, 0, 0));
  EXPECT_EQ(img.pixelColor(15, 1), QColor(128, 128, 128));
  EXPECT_EQ(img.pixelColor(29, 3), QColor(255, 255, 255));
  {
    QPainter p(&img);
    DrawGradient(p, clWhite, clBlack, false, QRect(0, 0, 30, 4), 1);  // limited to 2 steps
  }
  EXPECT_EQ(img.pixelColor(10, 0), QColor(255, 255, 255));
  EXPECT_EQ(img.pixelColor(10, 3), QColor(0, 0, 0));
}

// Counts the change events of an object.
struct Counter {
  int n = 0;
  TObject *last = nullptr;
  TNotifyEvent Handler() {
    return [this](TObject *s) { ++n, last = s; };
  }
};

TEST(QmGutter, SettersFireOnlyOnARealChange) {
  TQmGutter g;
  Counter c;
  g.OnChange = c.Handler();
  g.SetDigitCount(4);
  g.SetWidth(30);
  g.SetLeftOffset(16);
  g.SetGradientSteps(48);
  g.SetColor(clBtnFace);
  g.SetLineNumberStart(1);
  g.Font().SetName("Courier New");
  EXPECT_EQ(c.n, 0);

  g.SetDigitCount(20);
  EXPECT_EQ(g.DigitCount(), 12);
  g.SetDigitCount(1);
  EXPECT_EQ(g.DigitCount(), 2);
  g.SetGradientSteps(1);
  EXPECT_EQ(g.GradientSteps(), 2);
  g.SetWidth(-5);
  EXPECT_EQ(g.Width(), 0);
  EXPECT_EQ(c.n, 4);
  EXPECT_EQ(c.last, &g);

  g.SetLineNumberStart(0);
  EXPECT_TRUE(g.ZeroStart());
  g.SetLineNumberStart(-3);  // not below 0: unchanged
  EXPECT_EQ(c.n, 5);

  g.SetBorderStyle(g.BorderStyle());  // the one setter that always fires
  EXPECT_EQ(c.n, 6);
  g.Font().SetSize(12);  // the owned font's change is the gutter's
  EXPECT_EQ(c.n, 7);
  EXPECT_EQ(c.last, &g);
}

TEST(QmGutter, AutoSizedLineNumbers) {
  TQmGutter g;
  g.SetShowLineNumbers(true);
  g.SetAutoSize(true);
  Counter c;
  g.OnChange = c.Handler();
  g.UpdateDigitCountForLines(1000);
  EXPECT_EQ(g.AutoSizeDigitCount(), 4);
  EXPECT_EQ(c.n, 0);
  g.UpdateDigitCountForLines(10000);
  EXPECT_EQ(g.AutoSizeDigitCount(), 5);
  g.UpdateDigitCountForLines(10001);
  EXPECT_EQ(c.n, 1);
  EXPECT_EQ(g.PixelWidth(7), 16 + 2 + 7 * 5 + 2);
  EXPECT_EQ(g.LineNumberText(7), "    7");

  g.UpdateDigitCountForLines(10);
  g.SetLeadingZeros(true);
  EXPECT_EQ(g.LineNumberText(7), "0007");
  g.SetLeadingZeros(false);
  EXPECT_EQ(g.LineNumberText(7), "   7");
  g.SetLineNumberStart(0);
  EXPECT_EQ(g.LineNumberText(1), "   0");
  g.SetLineNumberStart(100);
  EXPECT_EQ(g.LineNumberText(1), " 100");
  g.UpdateDigitCountForLines(9950);  // shows 10049 on the last line
  EXPECT_EQ(g.AutoSizeDigitCount(), 5);

  g.SetShowLineNumbers(false);
  EXPECT_EQ(g.PixelWidth(7), 30);
  g.SetVisible(false);
  EXPECT_EQ(g.PixelWidth(7), 0);
}

TEST(QmGutter, AssignCopiesEverythingAndFiresOnce) {
  TQmGutter a, b;
  a.SetGradient(true);
  a.SetDigitCount(6);
  a.Font().SetName("IPAGothic");
  a.SetLineNumberStart(0);
  Counter c;
  b.OnChange = c.Handler();
  b.Assign(a);
  EXPECT_EQ(c.n, 1);
  EXPECT_TRUE(b.Gradient());
  EXPECT_EQ(b.DigitCount(), 6);
  EXPECT_EQ(b.Font().Name(), "IPAGothic");
  EXPECT_TRUE(b.ZeroStart());
  b.Font().SetSize(20);  // b's font still reports to b only
  EXPECT_EQ(c.n, 2);
  TQmSelectedColor other;
  EXPECT_THROW(b.Assign(other), EConvertError);
}

TEST(QmSettings, SelectedColorAndBookmarkOptions) {
  TQmSelectedColor sc;
  Counter c;
  sc.OnChange = c.Handler();
  sc.SetBackground(clHighlight);
  sc.SetForeground(clHighlightText);
  EXPECT_EQ(c.n, 0);
  sc.SetBackground(clRed);
  EXPECT_EQ(c.n, 1);

  TQmBookMarkOpt bo;
  Counter cb;
  bo.OnChange = cb.Handler();
  bo.SetXoffset(12);
  bo.SetLeftMargin(2);
  bo.SetGlyphsVisible(true);
  bo.SetBookmarkImages(nullptr);
  EXPECT_EQ(cb.n, 0);
  {
    TImageList list;
    bo.SetBookmarkImages(&list);
    EXPECT_EQ(cb.n, 1);
    bo.SetBookmarkImages(&list);
    EXPECT_EQ(cb.n, 1);
  }
  // The list went away: the options let go of it.
  EXPECT_EQ(bo.BookmarkImages(), nullptr);
  EXPECT_EQ(cb.n, 2);
}

TEST(QmGlyph, DrawsTransparentlyAndCentred) {
  TQmGlyph glyph("QmEditWrapped", clLime);
  ASSERT_GT(glyph.Width(), 0);
  QImage canvas(40, 40, QImage::Format_RGB32);
  canvas.fill(Qt::white);
  {
    QPainter p(&canvas);
    glyph.Draw(p, 0, 0, 40);
  }
  const int top = (40 - 12) / 2;
  int navy = 0, green = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x) {
      QColor px = canvas.pixelColor(x, y);
      if (px == QColor(0, 255, 0)) ++green;
      if (px == QColor(0, 0, 128)) {
        ++navy;
        EXPECT_GE(y, top);
        EXPECT_LT(y, top + 12);
      }
    }
  EXPECT_EQ(green, 0);  // the mask colour is never painted
  EXPECT_GT(navy, 0);

  // A user glyph takes precedence; an empty glyph without a resource draws nothing.
  TQmGlyph user;
  EXPECT_EQ(user.Width(), 0);
  QImage img(5, 30, QImage::Format_RGB32);
  img.fill(Qt::blue);
  Counter c;
  user.OnChange = c.Handler();
  TBitmap bmp;
  bmp.SetImage(img);
  user.SetGlyph(bmp);
  EXPECT_EQ(c.n, 1);
  EXPECT_EQ(user.Width(), 5);
  canvas.fill(Qt::white);
  {
    QPainter p(&canvas);
    user.Draw(p, 0, 0, 10);  // line lower than the image: only its middle 10 rows
  }
  EXPECT_EQ(canvas.pixelColor(0, 9), QColor(Qt::blue));
  EXPECT_EQ(canvas.pixelColor(0, 10), QColor(Qt::white));
}

TEST(QmInternalImage, CellsOfASharedStrip) {
  TQmInternalImage a("QmEditInternalImages", 10);
  TQmInternalImage b("qmeditinternalimages", 10);
  EXPECT_EQ(a.Width(), 12);
  EXPECT_EQ(a.Height(), 16);
  QImage one(12, 16, QImage::Format_RGB32), two(12, 16, QImage::Format_RGB32);
  one.fill(Qt::white);
  two.fill(Qt::white);
  {
    QPainter p1(&one), p2(&two);
    b.DrawCell(p1, 1, 0, 0, 16);
    b.DrawCell(p2, 2, 0, 0, 16);
  }
  EXPECT_NE(one, two);  // each number has its own image
  QImage blank(12, 16, QImage::Format_RGB32);
  blank.fill(Qt::white);
  QImage out = blank;
  {
    QPainter p(&out);
    a.DrawCell(p, 10, 0, 0, 16);
    a.DrawCell(p, -1, 0, 0, 16);
  }
  EXPECT_EQ(out, blank);
}

struct Listener {
  std::vector<std::string> *log;
  std::string name;
  void Fire(TObject *) { log->push_back(name); }
  void Throw(TObject *) { throw std::runtime_error(name); }
};

TEST(QmMethodChain, CallsInOrderRemovesByMethodAndHandlesExceptions) {
  std::vector<std::string> log;
  Listener a{&log, "a"}, b{&log, "b"}, bad{&log, "bad"};
  TQmNotifyEventChain chain;
  chain.Add(TNotifyEvent::Of<&Listener::Fire>(&a));
  chain.Add(TNotifyEvent::Of<&Listener::Fire>(&b));
  chain.Add(TNotifyEvent::Of<&Listener::Fire>(&a));
  chain.CallEach();
  EXPECT_EQ(log, (std::vector<std::string>{"a", "b", "a"}));
  chain.Remove(TNotifyEvent::Of<&Listener::Fire>(&a));
  EXPECT_EQ(chain.Count(), 1);
  chain.Remove(TNotifyEvent::Of<&Listener::Throw>(&b));  // another method of b: kept
  EXPECT_EQ(chain.Count(), 1);

  chain.Add(TNotifyEvent::Of<&Listener::Throw>(&bad));
  chain.Add(TNotifyEvent::Of<&Listener::Fire>(&a));
  log.clear();
  EXPECT_THROW(chain.CallEach(), std::runtime_error);  // no handler: passes on
  EXPECT_EQ(log, (std::vector<std::string>{"b"}));

  log.clear();
  bool go_on = true;
  chain.OnException = [&](TObject *s, const std::exception &e, bool &cont) {
    EXPECT_EQ(s, &chain);
    EXPECT_STREQ(e.what(), "bad");
    cont = go_on;
  };
  chain.CallEach();
  EXPECT_EQ(log, (std::vector<std::string>{"b", "a"}));
  log.clear();
  go_on = false;
  chain.CallEach();
  EXPECT_EQ(log, (std::vector<std::string>{"b"}));

  chain.OnException = [](TObject *, const std::exception &, bool &) { throw std::logic_error("x"); };
  try {
    chain.CallEach();
    FAIL();
  } catch (const EQmMethodChain &e) {
    EXPECT_STREQ(e.what(),
                 "TQmNotifyEventChain.DoHandleException : MUST NOT occur any kind of exception in ExceptionHandler");
  }
  // Objects that are not exceptions of the base class pass through untouched.
  TQmNotifyEventChain raw;
  raw.Add([](TObject *) { throw 42; });
  raw.OnException = [](TObject *, const std::exception &, bool &) {};
  EXPECT_THROW(raw.CallEach(), int);
}

TEST(QmMethodChain, SenderIsTheChainsSender) {
  TQmGutter owner;
  TQmNotifyEventChain chain(&owner);
  TObject *seen = nullptr;
  chain.Add([&](TObject *s) { seen = s; });
  chain.CallEach();
  EXPECT_EQ(seen, &owner);
}

}  // namespace
