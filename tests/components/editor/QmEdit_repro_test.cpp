// Faults found in review, each as it was seen: undo of pastes, column blocks over tabs
// and short lines, case changes over tabs and full-width letters, cutting in a read-only
// editor, and the search engine the editor lets go of.
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "components/editor/QmEdit.h"
#include "QmEdit_testutil.h"

namespace {

using namespace qmedit_test;

// The texts an editor goes through: each undo must step back one state, each redo forward.
void ExpectUndoRedoChain(Editor &ed, const std::vector<std::string> &states) {
  for (std::size_t i = states.size() - 1; i-- > 0;) {
    ed.e.Undo();
    EXPECT_EQ(ed.Text(), states[i]) << "undo to state " << i;
  }
  EXPECT_FALSE(ed.e.CanUndo());
  for (std::size_t i = 1; i < states.size(); ++i) {
    ed.e.Redo();
    EXPECT_EQ(ed.Text(), states[i]) << "redo to state " << i;
  }
  EXPECT_FALSE(ed.e.CanRedo());
}

TEST(QmEditUndoRepro, UndoingAPasteStopsAtItsBegin) {
  // A copied "a" pasted at the end: one undo takes the paste only.
  Editor ed({""});
  ed.Type("abc");
  ed.e.SetCaretAndSelection({2, 1}, {1, 1}, {2, 1});
  ed.Cmd(ecCopy);
  ed.Cmd(ecLineEnd);
  ed.Cmd(ecPaste);
  EXPECT_EQ(ed.Text(), "abca");
  ed.e.Undo();
  EXPECT_EQ(ed.Text(), "abc");
  ed.e.Redo();
  EXPECT_EQ(ed.Text(), "abca");

  // Typing, a paste between caret moves, typing: every step undoes and redoes on its own.
  Editor chain({""});
  chain.Type("abc");
  chain.Cmd(ecLeft);
  chain.Cmd(ecRight);
  QGuiApplication::clipboard()->setText("P");
  chain.Cmd(ecPaste);
  chain.Cmd(ecLeft);
  chain.Cmd(ecRight);
  chain.Type("de");
  EXPECT_EQ(chain.Text(), "abcPde");
  ExpectUndoRedoChain(chain, {"", "abc", "abcP", "abcPde"});
}

TEST(QmEditUndoRepro, UndoingAPasteRightAfterTypingKeepsTheTyping) {
  // Typed text, then at once a paste from another program (plain text), a paste from the
  // editor itself (its own block format, copied from an earlier line), or a text the
  // window puts in at the caret (a field name from the SQL pane's lists).
  enum Source { kPlain, kOwn, kInserted };
  for (const Source source : {kPlain, kOwn, kInserted}) {
    SCOPED_TRACE(source);
    // Grouped undo would take an insertion together with the typing before it.
    Editor ed({"P", "xyz"}, source == kInserted ? QM_DEFAULT_OPTIONS & ~OptionBit(eoGroupUndo) : QM_DEFAULT_OPTIONS);
    if (source == kOwn) {
      ed.e.SetCaretAndSelection({2, 1}, {1, 1}, {2, 1});
      ed.Cmd(ecCopy);
    } else {
      QGuiApplication::clipboard()->setText("P");
    }
    ed.At(4, 2);
    ed.Type("abc");
    if (source == kInserted)
      ed.e.ReplaceSelection("P");
    else
      ed.Cmd(ecPaste);
    EXPECT_EQ(ed.Text(), Join({"P", "xyzabcP"}));
    if (source == kInserted)  // an insertion is of the typing's kind: each its own step here
      ExpectUndoRedoChain(ed, {Join({"P", "xyz"}), Join({"P", "xyza"}), Join({"P", "xyzab"}), Join({"P", "xyzabc"}),
                               Join({"P", "xyzabcP"})});
    else
      ExpectUndoRedoChain(ed, {Join({"P", "xyz"}), Join({"P", "xyzabc"}), Join({"P", "xyzabcP"})});
  }
}

TEST(QmEditUndoRepro, ColumnCutOverATabUndoesInPlace) {
  Editor ed({"abcdefghijkl", "\twhere x = 1"});
  ed.e.SetSelectionMode(smColumn);
  ed.e.SetCaretAndSelection({5, 2}, {2, 1}, {5, 2});  // display columns 2 .. 12
  ed.e.CutToClipboard();
  // The tab starts left of the block and stays; "whe" covers the block's columns.
  EXPECT_EQ(ed.Text(), Join({"al", "\tre x = 1"}));
  EXPECT_EQ(cp932::FromUtf8(QGuiApplication::clipboard()->text().toStdString()), "bcdefghijk\r\nwhe");
  ExpectUndoRedoChain(ed, {Join({"abcdefghijkl", "\twhere x = 1"}), Join({"al", "\tre x = 1"})});
}

TEST(QmEditUndoRepro, ColumnUnindentPassesLinesShortOfTheBlock) {
  Editor ed({"a\tb", "", "c\td"});
  ed.e.SetSelectionMode(smColumn);
  ed.e.SetCaretAndSelection({3, 3}, {2, 1}, {3, 3});
  EXPECT_NO_THROW(ed.Cmd(ecBlockUnindent));
  EXPECT_EQ(ed.Text(), Join({"ab", "", "cd"}));
  ExpectUndoRedoChain(ed, {Join({"a\tb", "", "c\td"}), Join({"ab", "", "cd"})});

  // Indenting the same block and undoing it puts every line back too.
  Editor indent({"a\tb", "", "c\td"});
  indent.e.SetSelectionMode(smColumn);
  indent.e.SetCaretAndSelection({3, 3}, {2, 1}, {3, 3});
  indent.Cmd(ecBlockIndent);
  EXPECT_EQ(indent.Text(), Join({"a        \tb", "         ", "c        \td"}));
  ExpectUndoRedoChain(indent, {Join({"a\tb", "", "c\td"}), Join({"a        \tb", "         ", "c        \td"})});
}

TEST(QmEditUndoRepro, ColumnCaseChangeOverATabKeepsEveryRowInPlace) {
  Editor ed({"  from t", "\twhere x"});
  ed.e.SetSelectionMode(smColumn);
  ed.e.SetCaretAndSelection({3, 2}, {4, 1}, {3, 2});  // display columns 4 .. 10
  ed.Cmd(ecToggleCaseBlock);
  EXPECT_EQ(ed.Text(), Join({"  fROM T", "\tWhere x"}));
  EXPECT_EQ(ed.e.CaretXY(), (TBufferPos{3, 2}));
  ExpectUndoRedoChain(ed, {Join({"  from t", "\twhere x"}), Join({"  fROM T", "\tWhere x"})});

  // The same block made from its lower right corner changes the same characters.
  Editor up({"  from t", "\twhere x"});
  up.e.SetSelectionMode(smColumn);
  up.e.SetCaretAndSelection({4, 1}, {3, 2}, {4, 1});
  up.Cmd(ecUpperCaseBlock);
  EXPECT_EQ(up.Text(), Join({"  fROM T", "\tWhere x"}));
}

TEST(QmEditCaseChange, FullWidthLettersChangeAndTrailBytesStay) {
  struct Case {
    TQmEditorCommand command;
    const char *before, *after;
  } cases[] = {
      // ア is 83 41 and ソ 83 5C: trail bytes that read as "A" and "\" stay as they are.
      {ecUpperCaseBlock, "ｓｅｌｅｃｔ アソ abc ａｂ", "ＳＥＬＥＣＴ アソ ABC ＡＢ"},
      {ecLowerCaseBlock, "ＳＥＬＥＣＴ アソ ABC αΩ", "ｓｅｌｅｃｔ アソ abc αω"},
      {ecToggleCaseBlock, "Ａｂ aB ア", "ａＢ Ab ア"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.before);
    Editor ed({c.before});
    ed.e.SelectAll();
    ed.Cmd(c.command);
    EXPECT_EQ(ed.Text(), S(c.after));
    ed.e.Undo();
    EXPECT_EQ(ed.Text(), S(c.before));
  }
}

TEST(QmEditUndoRepro, CuttingInAReadOnlyEditorDoesNothing) {
  Editor ed({"select a"});
  ed.e.SetCaretAndSelection({9, 1}, {8, 1}, {9, 1});
  ed.e.SetReadOnly(true);
  QGuiApplication::clipboard()->setText("kept");
  ed.e.CutToClipboard();
  EXPECT_TRUE(ed.e.ExecuteAction(eaCut));
  EXPECT_EQ(ed.Text(), "select a");
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "kept");
  EXPECT_FALSE(ed.e.UndoList().HasItems());
}

TEST(QmEditSearchEngine, IsLetGoWhenFreed) {
  Editor ed({""});
  auto engine = std::make_unique<TQmEditSearchCustom>();
  ed.e.SetSearchEngine(engine.get());
  EXPECT_EQ(ed.e.SearchEngine(), engine.get());
  engine.reset();
  EXPECT_EQ(ed.e.SearchEngine(), nullptr);
  // An editor freed first leaves nothing behind in the engine.
  TQmEditSearchCustom kept;
  {
    Editor gone({""});
    gone.e.SetSearchEngine(&kept);
  }
  Editor other({""});
  other.e.SetSearchEngine(&kept);
  other.e.SetSearchEngine(nullptr);
  EXPECT_EQ(other.e.SearchEngine(), nullptr);
}

}  // namespace
