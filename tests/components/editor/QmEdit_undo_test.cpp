// Undo groups, the modified state, bookmarks and marks following the lines.
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <functional>
#include <gtest/gtest.h>

#include "components/editor/QmEdit.h"
#include "QmEdit_testutil.h"
#include "components/editor/QmHighlighterSQL.h"
#include "components/qtext.h"
#include "platform/cp932.h"

namespace {

using namespace qmedit_test;

TEST(QmEditUndoGroups, PasteOverASelectionUndoesInOneStep) {
  Editor ed({"select a from t"});
  QGuiApplication::clipboard()->setText("b, c");
  ed.e.SetCaretAndSelection({9, 1}, {8, 1}, {9, 1});
  ed.Cmd(ecPaste);
  EXPECT_EQ(ed.Text(), Join({"select b, c from t"}));
  ed.e.Undo();
  EXPECT_EQ(ed.Text(), Join({"select a from t"}));
  EXPECT_EQ(ed.e.GetSelText(), "a");
  ed.e.Redo();
  EXPECT_EQ(ed.Text(), Join({"select b, c from t"}));
}

// The SQL pane enables 保存 and 実行 from the change signal: an undo or a redo that changes
// the text signals it exactly once, whatever kind of step it replays.
TEST(QmEditUndoGroups, EveryStepThatChangesTheTextSignalsOnce) {
  struct Case {
    const char *what;
    std::initializer_list<const char *> lines;
    std::function<void(Editor &)> step;
  } cases[] = {
      {"plain text pasted into an empty editor", {""},
       [](Editor &ed) {
         QGuiApplication::clipboard()->setText("select 1;");
         ed.Cmd(ecPaste);
       }},
      {"the editor's own copy pasted over a selection", {"select a, b from t"},
       [](Editor &ed) {
         ed.e.SetCaretAndSelection({11, 1}, {8, 1}, {11, 1});
         ed.Cmd(ecCopy);
         ed.e.SetCaretAndSelection({19, 1}, {17, 1}, {19, 1});
         ed.Cmd(ecPaste);
       }},
      {"a column block pasted", {"ab", "cd"},
       [](Editor &ed) {
         ed.e.SetSelectionMode(smColumn);
         ed.e.SetCaretAndSelection({2, 2}, {1, 1}, {2, 2});
         ed.Cmd(ecCopy);
         ed.e.SetCaretXY({3, 1});
         ed.Cmd(ecPaste);
       }},
      {"a character typed", {"select"}, [](Editor &ed) { ed.At(7, 1), ed.Type("x"); }},
      {"a selection cut", {"select a from t"},
       [](Editor &ed) {
         ed.e.SetCaretAndSelection({9, 1}, {7, 1}, {9, 1});
         ed.Cmd(ecCut);
       }},
      {"a line broken", {"select a from t"}, [](Editor &ed) { ed.At(10, 1), ed.Cmd(ecLineBreak); }},
      {"a block indented", {"a", "b"},
       [](Editor &ed) {
         ed.e.SetCaretAndSelection({2, 2}, {1, 1}, {2, 2});
         ed.Cmd(ecBlockIndent);
       }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Editor ed(c.lines);
    const std::string before = ed.Text();
    int changes = 0;
    ed.e.OnChange = [&](TObject *) { ++changes; };
    c.step(ed);
    const std::string after = ed.Text();
    ASSERT_NE(after, before);
    EXPECT_EQ(changes, 1) << "the step itself";
    for (int round = 0; round < 2; ++round) {
      changes = 0;
      ed.e.Undo();
      EXPECT_EQ(ed.Text(), before);
      EXPECT_EQ(changes, 1) << "undo " << round;
      changes = 0;
      ed.e.Redo();
      EXPECT_EQ(ed.Text(), after);
      EXPECT_EQ(changes, 1) << "redo " << round;
    }
  }
  // A step that only moves the caret back changes no text and signals nothing.
  Editor ed({"select"});
  ed.At(3, 1);
  ed.e.UndoList().RecordChange(urCaret, {6, 1}, {6, 1}, "", smNormal);
  int changes = 0;
  ed.e.OnChange = [&](TObject *) { ++changes; };
  ed.e.Undo();
  EXPECT_EQ(ed.e.CaretXY(), (TBufferPos{6, 1}));
  EXPECT_EQ(changes, 0);
}

TEST(QmEditUndoGroups, TypedRunsGroupAndACaretMoveSeparatesThem) {
  Editor ed({""});
  ed.Type("select");
  ed.Cmd(ecLeft);
  ed.Cmd(ecRight);
  ed.Type(" *");
  ed.e.Undo();
  EXPECT_EQ(ed.Text(), "select");
  ed.e.Undo();
  EXPECT_EQ(ed.Text(), "");
  EXPECT_FALSE(ed.e.CanUndo());
  ed.e.Redo();
  EXPECT_EQ(ed.Text(), "select");
  ed.e.Redo();
  EXPECT_EQ(ed.Text(), "select *");
  // Without grouping each character is its own step.
  Editor single({""});
  single.e.SetOptions(QM_DEFAULT_OPTIONS & ~OptionBit(eoGroupUndo));
  single.Type("ab");
  single.e.Undo();
  EXPECT_EQ(single.Text(), "a");
}

TEST(QmEditUndoGroups, ModifiedFollowsTheSavedPoint) {
  Editor ed({"x"});
  std::vector<TQmStatusChanges> seen;
  ed.e.OnStatusChange = [&](TObject *, TQmStatusChanges c) { seen.push_back(c); };
  EXPECT_FALSE(ed.e.Modified());
  ed.At(2, 1);
  ed.Type("y");
  EXPECT_TRUE(ed.e.Modified());
  ed.e.SetModified(false);  // saved
  ed.e.Undo();
  EXPECT_TRUE(ed.e.Modified());
  ed.e.Redo();
  EXPECT_FALSE(ed.e.Modified());
  EXPECT_TRUE(std::any_of(seen.begin(), seen.end(), [](TQmStatusChanges c) { return c & scModified; }));
  // Read-only editors ignore undo.
  ed.e.SetReadOnly(true);
  ed.e.Undo();
  EXPECT_EQ(ed.Text(), "xy");
}

TEST(QmEditBookmarks, SetMarkerTogglesAndMovesAndGoes) {
  Editor ed({"a", "b", "c", "d"});
  ed.At(1, 2);
  ed.Cmd(ecSetMarker3);
  ASSERT_TRUE(ed.e.IsBookmark(3));
  EXPECT_EQ(ed.e.BookMark(3)->Line, 2);
  EXPECT_EQ(ed.e.Marks().Count(), 1);
  // On another line the bookmark moves; on its own line it goes away.
  TBufferPos p{2, 4};
  ed.Cmd(ecSetMarker3, 0, &p);
  EXPECT_EQ(ed.e.BookMark(3)->Line, 4);
  EXPECT_EQ(ed.e.Marks().Count(), 1);
  ed.At(1, 1);
  ed.Cmd(ecGotoMarker3);
  EXPECT_EQ(ed.e.CaretXY(), (TBufferPos{2, 4}));
  ed.Cmd(ecSetMarker3);
  EXPECT_FALSE(ed.e.IsBookmark(3));
  EXPECT_EQ(ed.e.Marks().Count(), 0);
  // Keys off: the commands do nothing.
  ed.e.BookMarkOptions().SetEnableKeys(false);
  ed.Cmd(ecSetMarker1);
  EXPECT_FALSE(ed.e.IsBookmark(1));
  // The placing event may cancel.
  ed.e.OnPlaceBookmark = [](TObject *, TQmEditMark *&m) { m = nullptr; };
  ed.e.SetBookMark(5, 1, 1);
  EXPECT_FALSE(ed.e.IsBookmark(5));
  ed.e.OnPlaceBookmark = nullptr;
  ed.e.SetBookMark(5, 1, 1);
  ed.e.SetBookMark(6, 1, 2);
  ed.e.ClearAll();
  EXPECT_FALSE(ed.e.IsBookmark(5));
  EXPECT_FALSE(ed.e.IsBookmark(6));
  EXPECT_EQ(ed.e.Marks().Count(), 0);
  EXPECT_FALSE(ed.e.Modified());
}

TEST(QmEditBookmarks, MarksFollowInsertedAndDeletedLines) {
  Editor ed({"one", "two", "three", "four", "five"});
  ed.e.SetBookMark(1, 1, 3);
  ed.e.SetBookMark(2, 2, 5);
  auto lines = [&] { return std::make_pair(ed.e.BookMark(1)->Line, ed.e.BookMark(2)->Line); };
  ed.At(2, 1);
  ed.Cmd(ecLineBreak);  // inside line 1: lines below move down
  EXPECT_EQ(lines(), std::make_pair(4, 6));
  ed.e.Undo();
  EXPECT_EQ(lines(), std::make_pair(3, 5));
  ed.At(1, 3);
  ed.Cmd(ecLineBreak);  // column 1 of the marked line pushes it down
  EXPECT_EQ(lines(), std::make_pair(4, 6));
  ed.At(1, 4);
  ed.Cmd(ecDeleteLastChar);  // joins the marked line into the one above
  EXPECT_EQ(lines(), std::make_pair(3, 5));
  ed.At(1, 1);
  ed.Cmd(ecDeleteLine);
  EXPECT_EQ(lines(), std::make_pair(2, 4));
  ed.e.SetCaretAndSelection({1, 3}, {1, 1}, {1, 3});
  ed.Cmd(ecDeleteChar);  // a selection over two line ends
  EXPECT_EQ(ed.Text(), Join({"four", "five"}));
  EXPECT_EQ(ed.e.BookMark(2)->Line, 2);
}

TEST(QmEditBookmarks, LinesDeletedAndInsertedMoveMarks) {
  struct Case {
    int line, afterDelete, afterInsert;
  } cases[] = {{10, 8, 12}, {5, 4, 7}, {6, 4, 8}, {4, 4, 6}, {3, 3, 3}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.line);
    Editor ed({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"});
    ed.e.SetBookMark(0, 1, c.line);
    ed.e.DoLinesDeleted(4, 2);
    EXPECT_EQ(ed.e.BookMark(0)->Line, c.afterDelete);
    ed.e.BookMark(0)->SetLine(c.line);
    ed.e.DoLinesInserted(4, 2);
    EXPECT_EQ(ed.e.BookMark(0)->Line, c.afterInsert);
  }
}

TEST(QmEditRelease, AHighlighterFreedFirstIsLetGo) {
  Editor ed({"select 'a' from t"});
  {
    TQmSQLSyn syn;
    ed.e.SetHighlighter(&syn);
    EXPECT_EQ(ed.e.Highlighter(), &syn);
  }
  EXPECT_EQ(ed.e.Highlighter(), nullptr);
  ed.e.show();
  ed.At(1, 1);
  ed.Type("x");
  QImage img(ed.e.viewport()->size(), QImage::Format_RGB32);
  ed.e.viewport()->render(&img);
  EXPECT_EQ(ed.Text(), Join({"xselect 'a' from t"}));
}

}  // namespace
