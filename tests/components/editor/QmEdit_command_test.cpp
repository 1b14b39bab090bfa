// The editing commands: typing, deleting, line breaks, tabs, block indents, case changes,
// word positions and bracket matching, each checked with the undo it records.
#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <gtest/gtest.h>

#include <cctype>
#include <random>

#include "components/editor/QmEdit.h"
#include "QmEdit_testutil.h"
#include "components/editor/QmHighlighterSQL.h"
#include "components/qtext.h"
#include "platform/cp932.h"

namespace {

using namespace qmedit_test;

// An editor that also takes key events.
struct KeyEditor : Editor {
  using Editor::Editor;
  void Key(int key, const QString &text, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(&e, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods, text);
    QApplication::sendEvent(&e, &release);
  }
};

constexpr TQmEditorOptions NoAutoIndent = QM_DEFAULT_OPTIONS & ~OptionBit(eoAutoIndent);

TEST(QmEditTyping, AsciiAndJapaneseFromKeysAndTheInputMethod) {
  KeyEditor ed({"select  from t"});
  ed.At(8, 1);
  ed.Key(Qt::Key_Asterisk, "*");
  ed.Key(0, QString::fromUtf8("表"));  // without composition: two characters
  QInputMethodEvent ime;
  ime.setCommitString(QString::fromUtf8("名前"));
  QApplication::sendEvent(&ed.e, &ime);
  EXPECT_EQ(ed.Text(), S("select *表名前 from t"));
  EXPECT_EQ(ed.e.CaretXY(), (TBufferPos{15, 1}));
  // Typed characters and input-method strings are insertions alike: one undo takes the run.
  ed.e.Undo();
  EXPECT_EQ(ed.Text(), S("select  from t"));
  ed.e.Redo();
  EXPECT_EQ(ed.Text(), S("select *表名前 from t"));
}

TEST(QmEditTyping, OverwriteKeepsDoubleByteCharactersWhole) {
  struct Case {
    const char *what, *line;
    int x;
    const char *input;
    bool ime;
    const char *expect;
  } cases[] = {
      {"ASCII over a double-byte character leaves a blank", "a漢b", 2, "x", false, "ax b"},
      {"ASCII over ASCII", "abc", 2, "x", false, "axc"},
      {"a string ending inside a double-byte character keeps it", "ab漢字", 2, "xy", true, "axy漢字"},
      {"a string over whole characters", "漢字c", 1, "かな", true, "かなc"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Editor ed({c.line});
    ed.e.SetInsertMode(false);
    ed.At(c.x, 1);
    std::string in = S(c.input);
    if (c.ime)
      ed.e.ImeResult(in);
    else
      ed.Type(in);
    EXPECT_EQ(ed.Text(), S(c.expect));
    while (ed.e.CanUndo()) ed.e.Undo();
    EXPECT_EQ(ed.Text(), S(c.line));
    // Redo replaces the restored text again rather than inserting beside it.
    while (ed.e.CanRedo()) ed.e.Redo();
    EXPECT_EQ(ed.Text(), S(c.expect));
  }
}

TEST(QmEditTyping, BeyondTheLineEndPadsInOneUndoStep) {
  Editor ed({"ab", "cd"});
  ed.At(6, 1);
  ed.Type("x");
  EXPECT_EQ(ed.Text(), Join({"ab   x", "cd"}));
  ed.e.Undo();
  EXPECT_EQ(ed.Text(), Join({"ab", "cd"}));
  ed.e.Redo();
  EXPECT_EQ(ed.Text(), Join({"ab   x", "cd"}));
  // An input-method string at the end of a line adds nothing after itself.
  Editor ime({"ab"});
  ime.At(3, 1);
  ime.e.ImeResult(S("漢"));
  EXPECT_EQ(ime.Text(), S("ab漢"));
}

TEST(QmEditDelete, BackspaceAndDeleteOverDoubleByteCharacters) {
  struct Case {
    const char *what, *line;
    int x;
    TQmEditorCommand cmd;
    const char *expect;
    int caretX;
  } cases[] = {
      {"backspace after a kanji", "a漢b", 4, ecDeleteLastChar, "ab", 2},
      {"backspace after ASCII that follows a kanji whose trail has a lead value", "亜a", 4, ecDeleteLastChar,
       "亜", 3},
      {"delete before a kanji", "a漢b", 2, ecDeleteChar, "ab", 2},
      {"delete before ASCII", "a漢b", 4, ecDeleteChar, "a漢", 4},
      {"backspace after ASCII", "abc", 3, ecDeleteLastChar, "ac", 2},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Editor ed({c.line});
    ed.At(c.x, 1);
    ed.Cmd(c.cmd);
    EXPECT_EQ(ed.Text(), S(c.expect));
    EXPECT_EQ(ed.e.CaretX(), c.caretX);
    ed.e.Undo();
    EXPECT_EQ(ed.Text(), S(c.line));
  }
}

TEST(QmEditDelete, JoinsLinesAndDeletesWordsAndLines) {
  struct Case {
    const char *what;
    TBufferPos at;
    TQmEditorCommand cmd;
    std::string expect;
    TBufferPos caret;
  } cases[] = {
      {"backspace in column 1 joins", {1, 2}, ecDeleteLastChar, Join({"one twothree", "four"}), {8, 1}},
      {"delete at the end joins", {8, 1}, ecDeleteChar, Join({"one twothree", "four"}), {8, 1}},
      {"delete word", {1, 1}, ecDeleteWord, Join({" two", "three", "four"}), {1, 1}},
      {"delete word on blanks takes them", {4, 1}, ecDeleteWord, Join({"onetwo", "three", "four"}), {4, 1}},
      {"delete last word", {8, 1}, ecDeleteLastWord, Join({"one ", "three", "four"}), {5, 1}},
      {"delete to line end", {2, 1}, ecDeleteEOL, Join({"o", "three", "four"}), {2, 1}},
      {"delete to line start", {5, 1}, ecDeleteBOL, Join({"two", "three", "four"}), {1, 1}},
      {"delete line", {3, 2}, ecDeleteLine, Join({"one two", "four"}), {1, 2}},
      {"delete the last line empties it", {2, 3}, ecDeleteLine, Join({"one two", "three", ""}), {1, 3}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Editor ed({"one two", "three", "four"});
    const std::string before = ed.Text();
    ed.At(c.at.Char, c.at.Line);
    ed.Cmd(c.cmd);
    EXPECT_EQ(ed.Text(), c.expect);
    EXPECT_EQ(ed.e.CaretXY(), c.caret);
    ed.e.Undo();
    EXPECT_EQ(ed.Text(), before);
  }
}

TEST(QmEditDelete, SmartBackspaceReturnsToAnOuterIndentation) {
  Editor ed({"begin", "  if x", "    y"});
  ed.At(5, 3);
  ed.Cmd(ecDeleteLastChar);
  EXPECT_EQ(ed.Text(), Join({"begin", "  if x", "  y"}));
  EXPECT_EQ(ed.e.CaretX(), 3);
  ed.Cmd(ecDeleteLastChar);
  EXPECT_EQ(ed.Text(), Join({"begin", "  if x", "y"}));
  ed.e.Undo();
  EXPECT_EQ(ed.Text(), Join({"begin", "  if x", "    y"}));
}

TEST(QmEditLineBreak, CarriesIndentationAndUndoes) {
  struct Case {
    const char *what;
    TQmEditorOptions options;
    TBufferPos at;
    TQmEditorCommand cmd;
    std::string expect;
    TBufferPos caret;
  } cases[] = {
      {"middle of an indented line", QM_DEFAULT_OPTIONS, {7, 2}, ecLineBreak, Join({"select", "  a, b", "  c", "from"}), {3, 3}},
      {"without auto-indent", NoAutoIndent, {7, 2}, ecLineBreak, Join({"select", "  a, b", "c", "from"}), {1, 3}},
      {"column 1 pushes the line down", QM_DEFAULT_OPTIONS, {1, 2}, ecLineBreak, Join({"select", "", "  a, bc", "from"}), {1, 3}},
      {"at the end of the line", QM_DEFAULT_OPTIONS, {10, 2}, ecLineBreak, Join({"select", "  a, bc", "  ", "from"}), {3, 3}},
      {"insert line keeps the caret", QM_DEFAULT_OPTIONS, {5, 2}, ecInsertLine, Join({"select", "  a,", "   bc", "from"}), {5, 2}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Editor ed({"select", "  a, bc", "from"}, c.options);
    const std::string before = ed.Text();
    ed.At(c.at.Char, c.at.Line);
    ed.Cmd(c.cmd);
    EXPECT_EQ(ed.Text(), c.expect);
    EXPECT_EQ(ed.e.CaretXY(), c.caret);
    ed.e.Undo();
    EXPECT_EQ(ed.Text(), before);
    ed.e.Redo();
    EXPECT_EQ(ed.Text(), c.expect);
  }
}

TEST(QmEditTabs, TabShiftTabAndBlockIndents) {
  // Smart tab: the column after the word and blanks of the line above.
  Editor smart({"select  name", ""});
  smart.At(1, 2);
  smart.Cmd(ecTab);
  EXPECT_EQ(smart.Text(), Join({"select  name", "        "}));
  smart.Cmd(ecShiftTab);
  EXPECT_EQ(smart.Text(), Join({"select  name", ""}));

  // Block indent and unindent of a selection over three lines, undone one at a time.
  Editor block({"a", "b", "c", "d"}, QM_DEFAULT_OPTIONS | OptionBit(eoTabIndent));
  block.e.SetTabWidth(2);
  block.e.SetCaretAndSelection({2, 3}, {1, 1}, {2, 3});
  block.Cmd(ecTab);
  EXPECT_EQ(block.Text(), Join({"  a", "  b", "  c", "d"}));
  block.Cmd(ecBlockIndent);
  EXPECT_EQ(block.Text(), Join({"    a", "    b", "    c", "d"}));
  EXPECT_EQ(block.e.BlockBegin(), (TBufferPos{5, 1}));
  block.Cmd(ecShiftTab);
  EXPECT_EQ(block.Text(), Join({"  a", "  b", "  c", "d"}));
  block.e.Undo();
  EXPECT_EQ(block.Text(), Join({"    a", "    b", "    c", "d"}));
  block.e.Undo();
  EXPECT_EQ(block.Text(), Join({"  a", "  b", "  c", "d"}));
  block.e.Undo();
  EXPECT_EQ(block.Text(), Join({"a", "b", "c", "d"}));
  block.e.Redo();
  block.e.Redo();
  EXPECT_EQ(block.Text(), Join({"    a", "    b", "    c", "d"}));

  // Unindent takes a tab alone, or blanks with a tab that follows them.
  Editor mixed({"\tx", "  \ty", "z"}, QM_DEFAULT_OPTIONS & ~OptionBit(eoTabsToSpaces));
  mixed.e.SetTabWidth(4);
  mixed.e.SetCaretAndSelection({2, 3}, {1, 1}, {2, 3});
  mixed.Cmd(ecBlockUnindent);
  EXPECT_EQ(mixed.Text(), Join({"x", "y", "z"}));
  mixed.e.Undo();
  EXPECT_EQ(mixed.Text(), Join({"\tx", "  \ty", "z"}));
}

TEST(QmEditCase, CaseCommandsKeepDoubleByteTextWhole) {
  struct Case {
    TQmEditorCommand cmd;
    const char *expect;
  } cases[] = {
      {ecUpperCase, "SELECT ア"},
      {ecToggleCase, "SElect ア"},
      {ecTitleCase, "Select ア"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.cmd);
    Editor ed({"seLECT ア"});
    ed.At(3, 1);
    ed.Cmd(c.cmd);
    EXPECT_EQ(ed.Text(), S(c.expect));
    EXPECT_EQ(ed.e.CaretXY(), (TBufferPos{3, 1}));
    ed.e.Undo();
    EXPECT_EQ(ed.Text(), S("seLECT ア"));
  }
  // A block command over "ア" (0x83 0x41) leaves its trail byte alone.
  Editor block({"aア"});
  block.e.SetCaretAndSelection({4, 1}, {1, 1}, {4, 1});
  block.Cmd(ecLowerCaseBlock);
  EXPECT_FALSE(block.e.HasSelection());
  block.e.SetCaretAndSelection({4, 1}, {1, 1}, {4, 1});
  block.Cmd(ecUpperCaseBlock);
  EXPECT_EQ(block.Text(), S("Aア"));
  // A line block changes whole lines and undoes to them.
  Editor lines({"ab", "cd", "ef"});
  lines.e.SetSelectionMode(smLine);
  lines.e.SetCaretAndSelection({2, 2}, {2, 1}, {2, 2});
  lines.Cmd(ecUpperCaseBlock);
  EXPECT_EQ(lines.Text(), Join({"AB", "CD", "ef"}));
  lines.e.Undo();
  EXPECT_EQ(lines.Text(), Join({"ab", "cd", "ef"}));
}

TEST(QmEditWords, WordPositionsStopAtDoubleByteCharacters) {
  Editor ed({"select 品目名, t.x", "  next"});
  const std::string l = ed.e.Lines()[0];
  EXPECT_EQ(ed.e.NextWordPosEx({1, 1}), (TBufferPos{8, 1}));
  EXPECT_EQ(ed.e.NextWordPosEx({8, 1}), (TBufferPos{10, 1}));
  EXPECT_EQ(ed.e.NextWordPosEx({14, 1}), (TBufferPos{16, 1}));
  EXPECT_EQ(ed.e.NextWordPosEx({19, 1}), (TBufferPos{3, 2}));
  EXPECT_EQ(ed.e.PrevWordPosEx({14, 1}), (TBufferPos{12, 1}));
  EXPECT_EQ(ed.e.PrevWordPosEx({8, 1}), (TBufferPos{1, 1}));
  EXPECT_EQ(ed.e.PrevWordPosEx({1, 2}), (TBufferPos{19, 1}));
  EXPECT_EQ(ed.e.WordEndEx({2, 1}), (TBufferPos{7, 1}));
  EXPECT_EQ(ed.e.WordStartEx({5, 1}), (TBufferPos{1, 1}));
  for (int x = 1; x <= static_cast<int>(l.size()) + 1; ++x) {
    SCOPED_TRACE(x);
    EXPECT_FALSE(IsTrailByteAt(l, ed.e.NextWordPosEx({x, 1}).Char));
    EXPECT_FALSE(IsTrailByteAt(l, ed.e.PrevWordPosEx({x, 1}).Char));
  }
}

TEST(QmEditBrackets, MatchingSkipsStringsAndDoubleByteCharacters) {
  TQmSQLSyn syn;
  Editor ed({"select f(a, ')', (b)", "  , 表)"});
  ed.e.SetHighlighter(&syn);
  EXPECT_EQ(ed.e.GetMatchingBracketEx({9, 1}), (TBufferPos{7, 2}));
  EXPECT_EQ(ed.e.GetMatchingBracketEx({7, 2}), (TBufferPos{9, 1}));
  EXPECT_EQ(ed.e.GetMatchingBracketEx({18, 1}), (TBufferPos{20, 1}));
  EXPECT_EQ(ed.e.GetMatchingBracketEx({2, 1}), (TBufferPos{0, 0}));
  ed.At(20, 1);
  ed.Cmd(ecMatchBracket);
  EXPECT_EQ(ed.e.CaretXY(), (TBufferPos{18, 1}));
  ed.e.SetHighlighter(nullptr);
  // "亜" ends in a byte of lead-byte value and "ー" in the byte of "[": neither hides a bracket.
  Editor dbcs({"(亜) [ー]"});
  EXPECT_EQ(dbcs.e.GetMatchingBracketEx({4, 1}), (TBufferPos{1, 1}));
  EXPECT_EQ(dbcs.e.GetMatchingBracketEx({1, 1}), (TBufferPos{4, 1}));
  EXPECT_EQ(dbcs.e.GetMatchingBracketEx({6, 1}), (TBufferPos{9, 1}));
  EXPECT_EQ(dbcs.e.GetMatchingBracketEx({9, 1}), (TBufferPos{6, 1}));
}

TEST(QmEditView, HalfPageDownByOneLessOnATwentyRowWindow) {
  Editor ed({""});
  std::string text;
  for (int i = 0; i < 100; ++i) text += "line\r\n";
  ed.e.SetText(text);
  ed.e.SetOptions(QM_DEFAULT_OPTIONS | OptionBit(eoHalfPageScroll) | OptionBit(eoScrollByOneLess));
  ed.e.show();
  ed.e.resize(400, ed.e.height() - ed.e.viewport()->height() + 20 * ed.e.LineHeight());
  ASSERT_EQ(ed.e.LinesInWindow(), 20);
  ed.At(1, 1);
  ed.Cmd(ecPageDown);
  EXPECT_EQ(ed.e.CaretY(), 10);
}

// Random edits over mixed text, undone to the start and redone to the end byte for byte.
TEST(QmEditUndoReplay, RandomEditsUndoAndRedoExactly) {
  const std::string start = Join({"select 品目名, x", "  from t  -- 表", "\twhere a = 'あ'", "", "end"});
  for (unsigned seed = 1; seed <= 40; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937 rng(seed);
    Editor ed({""});
    ed.e.SetText(start);
    ed.e.ClearUndo();
    const TQmEditorCommand cmds[] = {ecChar, ecChar, ecImeStr, ecDeleteLastChar, ecDeleteChar, ecLineBreak,
                                     ecDeleteWord, ecDeleteLastWord, ecDeleteLine, ecTab, ecShiftTab,
                                     ecInsertLine, ecUpperCase, ecDeleteEOL, ecBlockIndent, ecBlockUnindent,
                                     ecToggleMode, ecDeleteBOL, ecToggleCaseBlock, ecSelectAll};
    const std::string chars = "ab (),;'" + S("漢か");
    for (int step = 0; step < 40; ++step) {
      const int y = 1 + static_cast<int>(rng() % static_cast<unsigned>(std::max(1, ed.e.Lines().Count())));
      const std::string line = ed.e.Lines()[y - 1];
      int x = 1 + static_cast<int>(rng() % (line.size() + 1));
      if (IsTrailByteAt(line, x)) --x;
      ed.At(x, y);
      const TQmEditorCommand c = cmds[rng() % std::size(cmds)];
      if (c == ecBlockIndent || c == ecBlockUnindent || c == ecToggleCaseBlock) {
        const int y2 = std::min(ed.e.Lines().Count(), y + 2);
        ed.e.SetCaretAndSelection({1, y2}, {1, y}, {1, y2});
      } else if (rng() % 3 == 0) {
        // A selection (either way round) for the command to replace or delete.
        const int y2 = 1 + static_cast<int>(rng() % static_cast<unsigned>(ed.e.Lines().Count()));
        const std::string l2 = ed.e.Lines()[y2 - 1];
        int x2 = 1 + static_cast<int>(rng() % (l2.size() + 1));
        if (IsTrailByteAt(l2, x2)) --x2;
        ed.e.SetSelectionMode(rng() % 4 == 0 ? smLine : smNormal);
        ed.e.SetCaretAndSelection({x2, y2}, {x, y}, {x2, y2});
      }
      if (c == ecChar) {
        const std::size_t i = rng() % chars.size();
        const std::size_t n = cp932::CharLen(chars, cp932::CharStart(chars, i));
        for (std::size_t k = 0; k < n; ++k) ed.Cmd(ecChar, chars[cp932::CharStart(chars, i) + k]);
      } else if (c == ecImeStr) {
        std::string s = S("表示");
        ed.Cmd(ecImeStr, 0, s.data());
      } else {
        ed.Cmd(c);
      }
    }
    const std::string end = ed.Text();
    ASSERT_NE(end, start);
    int guard = 0;
    while (ed.e.CanUndo() && ++guard < 1000) ed.e.Undo();
    EXPECT_EQ(ed.Text(), start);
    guard = 0;
    while (ed.e.CanRedo() && ++guard < 1000) ed.e.Redo();
    EXPECT_EQ(ed.Text(), end);
    // Redone changes undo again as they came.
    guard = 0;
    while (ed.e.CanUndo() && ++guard < 1000) ed.e.Undo();
    EXPECT_EQ(ed.Text(), start);
  }
}

}  // namespace

namespace {

TEST(QmEditColumnBlocks, ReplacingAndDeletingUndoWithoutPadding) {
  // A column block over lines of which one is too short to reach it.
  Editor ed({"abcdef", "ab", "abcdef"});
  ed.e.SetSelectionMode(smColumn);
  ed.e.SetCaretAndSelection({5, 3}, {3, 1}, {5, 3});
  ed.Cmd(ecChar, 'x');
  EXPECT_EQ(ed.Text(), Join({"abef", "ab", "abxef"}));  // typed where the caret stood
  ed.e.Undo();
  EXPECT_EQ(ed.Text(), Join({"abcdef", "ab", "abcdef"}));
  ed.e.SetCaretAndSelection({5, 3}, {3, 1}, {5, 3});
  ed.Cmd(ecDeleteChar);
  EXPECT_EQ(ed.Text(), Join({"abef", "ab", "abef"}));
  ed.e.Undo();
  EXPECT_EQ(ed.Text(), Join({"abcdef", "ab", "abcdef"}));
  ed.e.Redo();
  EXPECT_EQ(ed.Text(), Join({"abef", "ab", "abef"}));
}

// Handlers hooked in order see a command before and after it runs and may take it.
struct Hook : TObject {
  std::vector<std::pair<bool, TQmEditorCommand>> seen;
  bool take = false;
  void Handle(TObject *, bool after, bool &handled, TQmEditorCommand &cmd, char &, void *, void *) {
    seen.emplace_back(after, cmd);
    if (take && cmd == ecChar) handled = true;
  }
};

TEST(QmEditCommands, HookedHandlersAndEventsMayTakeACommand) {
  Editor ed({"ab"});
  Hook first, second;
  ed.e.RegisterCommandHandler(THookedCommandEvent::Of<&Hook::Handle>(&first), nullptr);
  ed.e.RegisterCommandHandler(THookedCommandEvent::Of<&Hook::Handle>(&second), nullptr);
  ed.At(3, 1);
  ed.Type("c");
  EXPECT_EQ(ed.Text(), "abc");
  EXPECT_EQ(second.seen, (std::vector<std::pair<bool, TQmEditorCommand>>{{false, ecChar}, {true, ecChar}}));
  first.take = true;
  ed.Type("d");
  EXPECT_EQ(ed.Text(), "abc");
  EXPECT_EQ(second.seen.size(), 2u);  // the first handler took it before the second saw it
  ed.e.UnregisterCommandHandler(THookedCommandEvent::Of<&Hook::Handle>(&first));
  ed.e.OnProcessCommand = [](TObject *, TQmEditorCommand &c, char &ch, void *) {
    if (c == ecChar) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  };
  ed.Type("e");
  EXPECT_EQ(ed.Text(), "abcE");
  // Editing commands do nothing on a read-only editor.
  ed.e.SetReadOnly(true);
  for (TQmEditorCommand c : {ecChar, ecDeleteLastChar, ecLineBreak, ecDeleteLine, ecTab, ecUpperCase, ecClearAll})
    ed.Cmd(c, 'x');
  EXPECT_EQ(ed.Text(), "abcE");
  std::string help;
  ed.e.OnContextHelp = [&](TObject *, const std::string &word) { help = word; };
  ed.At(2, 1);
  ed.Cmd(ecContextHelp);
  EXPECT_EQ(help, "abcE");
}

}  // namespace
