// Double-click word selection, dragging text within and between editors, the text as a
// buffer, the edit actions and the key-binding differences a stored form keeps.
#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>

#include "components/editor/QmEdit.h"
#include "components/qtext.h"
#include "platform/cp932.h"

namespace {

std::string S(const char *utf8) { return cp932::FromUtf8(utf8); }

struct Editor {
  TQmEdit e;
  explicit Editor(const char *text) {
    e.resize(400, 200);
    e.SetText(S(text));
    e.show();
  }
  // The client point of a buffer position, in the middle of its row.
  QPoint Point(TBufferPos p) const {
    const QPoint q = e.RowColumnToPixels(e.BufferToDisplayPos(p));
    return {q.x(), q.y() + e.LineHeight() / 2};
  }
  std::string Text() const { return e.GetText(); }
};

TEST(QmEditWordSelection, DoubleClickUsesTheJapaneseCharacterClasses) {
  struct Case {
    const char *line, *click, *word;
  } cases[] = {
      {"SELECT name", "LE", "SELECT"},
      {"count(name*) x", "*", "name"},
      {"品目名ですか", "目", "品目名"},
      {"カタカナ表示", "タ", "カタカナ"},
      {"表示カタカナ", "示", "表示"},
      {"ひらがな漢字", "が", "ひらがな"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.line);
    Editor ed(c.line);
    const std::string line = S(c.line);
    const int x = static_cast<int>(line.find(S(c.click))) + 1;
    // As the system sends it: a click, then the second press as a double click and its
    // release (without which the button would stay down for the tests after this one).
    QTest::mouseClick(ed.e.viewport(), Qt::LeftButton, Qt::NoModifier, ed.Point({x, 1}));
    QTest::mouseDClick(ed.e.viewport(), Qt::LeftButton, Qt::NoModifier, ed.Point({x, 1}));
    QTest::mouseRelease(ed.e.viewport(), Qt::LeftButton, Qt::NoModifier, ed.Point({x, 1}));
    ASSERT_FALSE(QGuiApplication::mouseButtons() & Qt::LeftButton);
    EXPECT_EQ(ed.e.GetSelText(), S(c.word));
    EXPECT_EQ(ed.e.CaretXY(), ed.e.BlockFinish());
  }
}

TEST(QmEditWordSelection, GutterDoubleClickSelectsNothing) {
  Editor ed("SELECT name");
  ed.e.Gutter().SetShowLineNumbers(true);
  ASSERT_GT(ed.e.GutterWidth(), 4);
  QTest::mouseDClick(ed.e.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(2, 5));
  QTest::mouseRelease(ed.e.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(2, 5));
  EXPECT_FALSE(ed.e.HasSelection());
  EXPECT_FALSE(QGuiApplication::mouseButtons() & Qt::LeftButton);
}

TEST(QmEditDragDrop, DroppingSelectedTextWithinAndBetweenEditors) {
  struct Case {
    const char *what;
    TBufferPos b, e, drop;
    bool ctrl;
    const char *expect;
    bool accepted;
  } cases[] = {
      {"move after the block", {1, 1}, {4, 1}, {8, 1}, false, " defabc ghi", true},
      {"copy with Ctrl keeps the source", {1, 1}, {4, 1}, {8, 1}, true, "abc defabc ghi", true},
      {"move before the block", {5, 1}, {8, 1}, {1, 1}, false, "defabc  ghi", true},
      {"onto itself", {1, 1}, {4, 1}, {2, 1}, false, "abc def ghi", false},
      {"move to its own start", {5, 1}, {8, 1}, {5, 1}, false, "abc def ghi", false},
      {"copy to its own start", {5, 1}, {8, 1}, {5, 1}, true, "abc defdef ghi", true},
      {"move to its own end", {5, 1}, {8, 1}, {8, 1}, false, "abc def ghi", false},
      {"move one character to the line start", {2, 1}, {3, 1}, {1, 1}, false, "bac def ghi", true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Editor ed("abc def ghi");
    ed.e.SetCaretAndSelection(c.e, c.b, c.e);
    const QPoint p = ed.Point(c.drop);
    EXPECT_EQ(ed.e.DropText(&ed.e, p.x(), p.y(), c.ctrl, false), c.accepted);
    EXPECT_EQ(ed.Text(), S(c.expect));
    if (!c.accepted) continue;
    EXPECT_TRUE(ed.e.HasSelection());
    ed.e.Undo();
    EXPECT_EQ(ed.Text(), S("abc def ghi"));
  }
  // A block over two lines moved to a point after it on its last line.
  Editor lines("ab\r\ncd ef");
  lines.e.SetCaretAndSelection({2, 2}, {2, 1}, {2, 2});
  const QPoint q = lines.Point({5, 2});
  EXPECT_TRUE(lines.e.DropText(&lines.e, q.x(), q.y(), false, false));
  EXPECT_EQ(lines.Text(), "ad eb\r\ncf");
  EXPECT_EQ(lines.e.GetSelText(), "b\r\nc");
  lines.e.Undo();
  EXPECT_EQ(lines.Text(), "ab\r\ncd ef");

  // Between editors a move takes Shift, and the target may not be read-only.
  Editor from("漢字 text"), to("x");
  from.e.SetCaretAndSelection({5, 1}, {1, 1}, {5, 1});
  const QPoint p = to.Point({2, 1});
  to.e.SetReadOnly(true);
  EXPECT_FALSE(to.e.DropText(&from.e, p.x(), p.y(), false, true));
  to.e.SetReadOnly(false);
  EXPECT_TRUE(to.e.DropText(&from.e, p.x(), p.y(), false, true));
  EXPECT_EQ(to.Text(), S("x漢字"));
  EXPECT_EQ(from.Text(), S(" text"));
  EXPECT_EQ(to.e.GetSelText(), S("漢字"));
}

TEST(QmEditSurface, MouseCursorShowsWhereADragCanStart) {
  Editor ed("select name from t");
  ed.e.SetCaretAndSelection({12, 1}, {8, 1}, {12, 1});
  struct Case {
    QPoint at;
    Qt::CursorShape shape;
  } cases[] = {{ed.Point({9, 1}), Qt::ArrowCursor}, {ed.Point({3, 1}), Qt::IBeamCursor}};
  for (const Case &c : cases) {
    QMouseEvent move(QEvent::MouseMove, c.at, ed.e.viewport()->mapToGlobal(c.at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(ed.e.viewport(), &move);
    EXPECT_EQ(ed.e.viewport()->cursor().shape(), c.shape);
  }
  ed.e.SetOptions(ed.e.Options() & ~OptionBit(eoDragDropEditing));
  QMouseEvent move(QEvent::MouseMove, cases[0].at, ed.e.viewport()->mapToGlobal(cases[0].at), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(ed.e.viewport(), &move);
  EXPECT_EQ(ed.e.viewport()->cursor().shape(), Qt::IBeamCursor);
}

TEST(QmEditSurface, TextBufferActionsAndKeyBindingDifferences) {
  Editor ed("select\r\nfrom");
  char buf[8];
  EXPECT_EQ(ed.e.GetTextBuf(buf, sizeof buf), 7);
  EXPECT_STREQ(buf, "select\r");
  EXPECT_EQ(ed.e.GetTextLen(), 12);

  ed.e.SetCaretAndSelection({4, 1}, {1, 1}, {4, 1});
  ed.e.ExecuteAction(eaDelete);
  EXPECT_EQ(ed.Text(), "ect\r\nfrom");
  ed.e.ExecuteAction(eaUndo);
  EXPECT_EQ(ed.Text(), "select\r\nfrom");

  // Unchanged keys store nothing.
  std::vector<std::unique_ptr<TQmEditKeyStroke>> added, removed;
  ed.e.WriteKeystrokeDiff(added, removed);
  EXPECT_TRUE(added.empty());
  EXPECT_TRUE(removed.empty());
  // One stroke dropped and one added come back on a fresh editor.
  TQmEditKeyStrokes &keys = ed.e.Keystrokes();
  const int lineBreak = keys.IndexOfKey(0x0D, 0);
  ASSERT_GE(lineBreak, 0);
  keys.Delete(lineBreak);
  keys.AddKey(ecDeleteLine, 'Y', ssCtrl | ssShift);
  ed.e.WriteKeystrokeDiff(added, removed);
  ASSERT_EQ(added.size(), 1u);
  ASSERT_EQ(removed.size(), 1u);
  EXPECT_EQ(added[0]->Command(), ecDeleteLine);
  EXPECT_EQ(removed[0]->Command(), ecLineBreak);
  TQmEditKeyStrokes addedList, removedList;
  addedList.Add()->Assign(*added[0]);
  removedList.Add()->Assign(*removed[0]);
  Editor fresh("");
  fresh.e.ReadAddedKeystrokes(addedList);
  fresh.e.ReadRemovedKeystrokes(removedList);
  fresh.e.WriteKeystrokeDiff(added, removed);
  EXPECT_EQ(added.size(), 1u);
  EXPECT_EQ(removed.size(), 1u);
  EXPECT_EQ(fresh.e.Keystrokes().IndexOfKey(0x0D, 0), -1);
  fresh.e.ResetKeystrokes();
  fresh.e.WriteKeystrokeDiff(added, removed);
  EXPECT_TRUE(added.empty() && removed.empty());
}

}  // namespace
