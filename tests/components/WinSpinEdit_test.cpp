// The spin edit: range, steps, the text read as a number and the keys it lets through.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFocusEvent>
#include <QTest>
#include <limits>

#include "components/WinSpinEdit.h"

namespace {

class Spin : public TWinSpinEdit {
 public:
  int beeps = 0;
  Spin(qint64 lo, qint64 hi, qint64 inc = 1) {
    SetMinValue(lo);
    SetMaxValue(hi);
    SetIncrement(inc);
  }
  void Leave() {
    QFocusEvent e(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(this, &e);
  }

 protected:
  void Beep() override { ++beeps; }
};

constexpr qint64 kMax = std::numeric_limits<qint64>::max();
constexpr qint64 kMin = std::numeric_limits<qint64>::min();

}  // namespace

TEST(WinSpinEdit, StepsStayInTheRange) {
  struct Case {
    qint64 lo, hi, inc;
    const char *text;
    TUDBtnType dir;
    const char *expected;
  };
  const Case cases[] = {
      {0, 0, 1, "5", btNext, "6"},         // equal limits: no range
      {0, 0, 1, "-100", btPrev, "-101"},
      {1, 10, 1, "10", btNext, "10"},      // held at the top
      {1, 10, 1, "1", btPrev, "1"},        // and at the bottom
      {1, 10, 3, "9", btNext, "10"},
      {1, 10, 1, "50", btPrev, "10"},      // an out-of-range start is pulled in
      {-5, 5, 2, "abc", btNext, "-3"},     // no number: steps from MinValue
      {0, 0, 1, "9223372036854775807", btNext, "9223372036854775807"},     // no wrap round
      {0, 0, 1, "-9223372036854775808", btPrev, "-9223372036854775808"},
      {0, 0, kMax, "-1", btPrev, "-9223372036854775808"},
  };
  for (const Case &c : cases) {
    Spin s(c.lo, c.hi, c.inc);
    s.setText(c.text);
    s.Step(c.dir);
    EXPECT_EQ(s.text().toStdString(), c.expected) << c.text;
  }
}

TEST(WinSpinEdit, TextThatIsNoNumberReadsAsMinValue) {
  struct Case {
    const char *text;
    qint64 value;
    const char *after;
  };
  const Case cases[] = {
      {"42", 42, "42"},
      {"+7", 7, "+7"},
      {"  12", 12, "  12"},
      {"-9223372036854775808", kMin, "-9223372036854775808"},
      {"abc", 3, "3"},
      {"", 3, "3"},
      {"12 ", 3, "3"},
      {"1.5", 3, "3"},
      {"9223372036854775808", 3, "3"},  // beyond 64 bits
  };
  for (const Case &c : cases) {
    Spin s(3, 9);
    s.setText(c.text);
    EXPECT_EQ(s.Value(), c.value) << c.text;
    EXPECT_EQ(s.text().toStdString(), c.after) << c.text;
  }
  Spin s(3, 9);
  s.setText("x");
  s.Value();
  EXPECT_EQ(s.selectedText(), "3") << "the replaced text is selected";
}

TEST(WinSpinEdit, LeavingPullsTheValueIntoTheRange) {
  Spin ranged(0, 0);
  // As a form sets them.
  ASSERT_TRUE(ranged.setProperty("MinValue", 1));
  ASSERT_TRUE(ranged.setProperty("MaxValue", 10));
  EXPECT_EQ(ranged.MaxValue(), 10);
  ranged.setText("50");
  ranged.Leave();
  EXPECT_EQ(ranged.text(), "10");
  Spin open(0, 0);
  open.setText("50");
  open.Leave();
  EXPECT_EQ(open.text(), "50");
  Spin bad(1, 10);
  bad.setText("-");
  bad.Leave();
  EXPECT_EQ(bad.text(), "1");
}

TEST(WinSpinEdit, KeysAndTheUpDown) {
  Spin s(0, 20);
  s.SetValue(5);
  s.show();
  s.setCursorPosition(1);
  QTest::keyClicks(&s, "a!");
  EXPECT_EQ(s.text(), "5");
  EXPECT_EQ(s.beeps, 2);
  QTest::keyClicks(&s, "1");
  EXPECT_EQ(s.text(), "51") << "no clamping while typing";
  QTest::keyClick(&s, Qt::Key_Up);
  EXPECT_EQ(s.text(), "20");
  QTest::keyClick(&s, Qt::Key_Down);
  QTest::keyClick(&s, Qt::Key_Down);
  EXPECT_EQ(s.text(), "18");
  QTest::mouseClick(s.Button()->UpButton(), Qt::LeftButton);
  EXPECT_EQ(s.text(), "19");
  QTest::mouseClick(s.Button()->DownButton(), Qt::LeftButton);
  EXPECT_EQ(s.text(), "18");

  // Stepping only: no typing, no Backspace, no paste or cut.
  s.SetEditorEnabled(false);
  s.beeps = 0;
  s.setCursorPosition(2);
  QTest::keyClicks(&s, "7");
  QTest::keyClick(&s, Qt::Key_Backspace);
  EXPECT_EQ(s.beeps, 2);
  QApplication::clipboard()->setText("3");
  QTest::keyClick(&s, Qt::Key_V, Qt::ControlModifier);
  s.selectAll();
  QTest::keyClick(&s, Qt::Key_X, Qt::ControlModifier);
  QTest::keyClick(&s, Qt::Key_Delete);
  EXPECT_EQ(s.text(), "18");
  QTest::keyClick(&s, Qt::Key_Up);
  QTest::mouseClick(s.Button()->UpButton(), Qt::LeftButton);
  EXPECT_EQ(s.text(), "20");

  s.SetEditorEnabled(true);
  s.selectAll();
  QTest::keyClick(&s, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(s.text(), "3");

  s.setReadOnly(true);
  s.beeps = 0;
  QTest::keyClick(&s, Qt::Key_Up);
  QTest::mouseClick(s.Button()->UpButton(), Qt::LeftButton);
  EXPECT_EQ(s.text(), "3");
  EXPECT_EQ(s.beeps, 2) << "a read-only edit beeps instead of stepping";
}

TEST(WinSpinEdit, AHeightTooSmallForTheFontIsRaised) {
  Spin s(0, 0);
  s.show();
  s.resize(80, 4);
  const int text = QFontMetrics(s.font()).height();
  const int least = text + std::min(QFontMetrics(QApplication::font()).height(), text) / 4 + 4 + 2;
  EXPECT_EQ(s.height(), least);
  QFont big = s.font();
  big.setPixelSize(40);
  s.setFont(big);
  s.resize(80, 30);
  EXPECT_GT(s.height(), 40) << "a larger font raises the least height";
  s.resize(80, 100);
  EXPECT_EQ(s.height(), 100);
  EXPECT_EQ(s.Button()->height(), 98);
}

TEST(WinSpinEdit, TheUpDownSitsOnTheRightOfTheText) {
  Spin s(0, 0);
  s.resize(80, 24);
  s.show();
  QRect b = s.Button()->geometry();
  EXPECT_EQ(b.width(), TWinSpinEdit::kUpDownWidth);
  EXPECT_LE(b.right(), s.width() - 1);
  EXPECT_GE(b.left(), s.width() - TWinSpinEdit::kUpDownWidth - 3);
  EXPECT_GE(s.textMargins().right(), TWinSpinEdit::kUpDownWidth) << "text never runs under the buttons";
}
