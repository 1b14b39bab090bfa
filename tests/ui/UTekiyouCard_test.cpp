#include "ui/UTekiyouCard.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QToolButton>
#include <gtest/gtest.h>

#include <functional>

#include "components/grid/ExcelUtil.h"
#include "ui/UGrid.h"
#include "components/QtServices.h"
#include "components/qtext.h"
#include "engine/options.h"
#include "platform/IniFile.h"
#include "platform/cp932.h"
#include "support/enginefixture.h"
#include "support/testutil.h"

using namespace cp932::literals;

namespace {

TEST(FindAllPositions, FindsWholeCharactersWithoutOverlapAndStopsAtTheTable) {
  struct Case {
    std::string text, pattern;
    std::vector<int> offsets;
  };
  const std::vector<Case> cases = {
      {"a: b\r\nab: a:", "a:", {0, 10}},
      {"aaaa", "aa", {0, 2}},                    // no overlapping matches
      {"ソ:x \\:"_sj, "\\:", {5}},               // 0x5C after a lead byte is no match
      {"作物名: 作物名:ねぎ"_sj, "作物名:"_sj, {0, 8}},
      {"abc", "abcd", {}},                       // the pattern runs past the end
      {"", "a", {}},
      {"abc", "", {}},
  };
  for (const Case &c : cases) {
    std::vector<int> got;
    EXPECT_EQ(FindAllPositions(c.text, c.pattern, got), static_cast<int>(c.offsets.size())) << c.text;
    EXPECT_EQ(got, c.offsets) << c.text;
  }
  std::string many;
  for (int i = 0; i < 2500; ++i) many += "x:";
  std::vector<int> got;
  EXPECT_EQ(FindAllPositions(many, "x:", got), 2000);
  EXPECT_EQ(got.back(), 2 * 1999);
}

class CardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OptionData->IniFileName = home_.str() + "quillmar.ini";
    grid_.SetColCount(4);
    grid_.SetRowCount(4);
    const std::vector<std::vector<std::string>> rows = {
        {"番号"_sj, "農薬の名称"_sj, "作物名"_sj, ""},
        {"1", "A剤"_sj, "いね"_sj, "hidden"},
        {"2", "", "作物名:ねぎ"_sj, ""},
        {"3", "C剤"_sj, "だいこん"_sj, ""},
    };
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 4; ++c) grid_.SetCells(c, r, rows[r][c]);
  }

  QPointer<TDlgTekiyouCard> Open(int row) {
    QPointer<TDlgTekiyouCard> card = new TDlgTekiyouCard(nullptr);
    card->Grid = &grid_;
    card->Header = grid_.Rows(0);
    card->Row = grid_.Rows(row);
    card->RowIndex = row;
    card->show();
    return card;
  }
  static bool Enabled(TDlgTekiyouCard *card, const char *name) {
    return card->findChild<QToolButton *>(name)->isEnabled();
  }
  // The blue runs of the memo as text.
  static std::vector<std::string> BlueRuns(TDlgTekiyouCard *card) {
    std::vector<std::string> runs;
    for (QTextBlock b = card->Memo()->document()->begin(); b.isValid(); b = b.next())
      for (auto it = b.begin(); !it.atEnd(); ++it)
        if (it.fragment().charFormat().foreground().color() == QColor(0, 0, 255))
          runs.push_back(FromQ(it.fragment().text()));
    return runs;
  }

  qmtest::TempDir home_;
  qmtest::ScopedEngineState state_;
  TXlsStringGrid grid_;
};

TEST_F(CardTest, ShowsOneLinePerFilledColumnWithTheCaptionsInBlue) {
  auto card = Open(2);
  // The empty product name and the column without caption give no line.
  EXPECT_EQ(card->Text(), "番号: 2\r\n作物名: 作物名:ねぎ\r\n"_sj);
  EXPECT_EQ(card->Memo()->toPlainText(), QString::fromUtf8("番号: 2\n作物名: 作物名:ねぎ\n"));
  // A caption with ":" inside a value is coloured too.
  EXPECT_EQ(BlueRuns(card), (std::vector<std::string>{"番号:"_sj, "作物名:"_sj, "作物名:"_sj}));
  EXPECT_EQ(card->Memo()->textCursor().position(), 0);
  EXPECT_TRUE(Enabled(card, "bPrev"));
  EXPECT_TRUE(Enabled(card, "bNext"));
  card->close();
}

TEST_F(CardTest, StepsThroughTheRowsAndDisablesTheEnds) {
  auto card = Open(1);
  EXPECT_FALSE(Enabled(card, "bPrev"));
  EXPECT_EQ(card->Text(), "番号: 1\r\n農薬の名称: A剤\r\n作物名: いね\r\n"_sj);
  QPushButton *ok = card->findChild<QPushButton *>("bOk");
  QTest::keyRelease(ok, Qt::Key_Right);
  EXPECT_EQ(card->RowIndex, 2);
  EXPECT_TRUE(Enabled(card, "bPrev"));
  card->bNextClick();
  EXPECT_EQ(card->RowIndex, 3);
  EXPECT_FALSE(Enabled(card, "bNext"));
  EXPECT_EQ(card->Text(), "番号: 3\r\n農薬の名称: C剤\r\n作物名: だいこん\r\n"_sj);
  card->bNextClick();  // at the last row: nothing
  EXPECT_EQ(card->RowIndex, 3);
  QTest::keyRelease(ok, Qt::Key_Left);
  EXPECT_EQ(card->RowIndex, 2);
  EXPECT_TRUE(Enabled(card, "bNext"));
  card->bPrevClick();
  card->bPrevClick();  // at the first row: nothing
  EXPECT_EQ(card->RowIndex, 1);
  EXPECT_FALSE(Enabled(card, "bPrev"));

  card->bCopyAllClick();
  EXPECT_EQ(ClipboardText(), card->Text());
  EXPECT_EQ(card->Memo()->textCursor().position(), 0);
  card->resize(300, 250);
  card->findChild<QPushButton *>("bOk")->click();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(card.isNull());  // frees itself on close
  TIniFile ini(OptionData->IniFileName);
  EXPECT_EQ(ini.ReadInteger("WINDOW", "DlgTekiyouCardWidth", 0), 300);
  EXPECT_EQ(ini.ReadInteger("WINDOW", "DlgTekiyouCardHeight", 0), 250);
  auto next = Open(1);
  EXPECT_EQ(next->size(), QSize(300, 250));
  next->close();
}

TEST_F(CardTest, KeepsItsSizeHoweverItCloses) {
  struct Case {
    const char *how;
    std::function<void(TDlgTekiyouCard *)> close;
  };
  const std::vector<Case> cases = {
      {"Escape", [](TDlgTekiyouCard *c) { QTest::keyClick(c, Qt::Key_Escape); }},
      {"close box", [](TDlgTekiyouCard *c) { c->close(); }},
      {"OK", [](TDlgTekiyouCard *c) { c->findChild<QPushButton *>("bOk")->click(); }},
  };
  int width = 300;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.how);
    auto card = Open(1);
    card->resize(++width, 250);
    c.close(card);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(card.isNull());
    TIniFile ini(OptionData->IniFileName);
    EXPECT_EQ(ini.ReadInteger("WINDOW", "DlgTekiyouCardWidth", 0), width);
  }
}

// The card opens below the chosen cell; near the bottom or right edge of the screen it is
// moved up or left so that all of it, frame included, lies inside the work area. (The test
// screen is 800 x 800; its windows have a frame.)
TEST_F(CardTest, OpensBelowTheCellAndInsideTheWorkArea) {
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  TIniFile ini(OptionData->IniFileName);
  ini.WriteInteger("WINDOW", "DlgTekiyouCardWidth", 300);
  ini.WriteInteger("WINDOW", "DlgTekiyouCardHeight", 250);
  const struct {
    const char *where;
    QPoint grid;
    bool at_bottom, at_right;
  } cases[] = {
      {"room below and to the right", {50, 40}, false, false},
      {"bottom edge", {50, 700}, true, false},
      {"right edge", {640, 40}, false, true},
      {"both edges", {640, 700}, true, true},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.where);
    grid_.setGeometry(QRect(c.grid, QSize(150, 90)));
    grid_.show();
    grid_.SetRow(1);
    const QRect cell = grid_.CellRect(grid_.Col(), 1);
    const QPoint below = grid_.viewport()->mapToGlobal(cell.bottomLeft() + QPoint(0, 1));
    QRect frame;
    OpenTekiyouCard(&grid_, grid_, [&frame](QDialog *card) {
      card->show();
      QCoreApplication::processEvents();
      frame = card->frameGeometry();
      card->close();
    });
    EXPECT_TRUE(area.contains(frame)) << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height();
    EXPECT_EQ(frame.top(), c.at_bottom ? area.bottom() - frame.height() + 1 : below.y());
    EXPECT_EQ(frame.left(), c.at_right ? area.right() - frame.width() + 1 : below.x());
  }
  grid_.hide();
}

TEST_F(CardTest, OneDataRowDisablesBothSteps) {
  grid_.SetRowCount(2);
  auto card = Open(1);
  EXPECT_FALSE(Enabled(card, "bPrev"));
  EXPECT_FALSE(Enabled(card, "bNext"));
  card->close();
}

}  // namespace
