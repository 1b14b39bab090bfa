// The editor's construction, caret, selection block and selected text.
#include <gtest/gtest.h>

#include "components/editor/QmEdit.h"
#include "platform/cp932.h"

namespace {

std::string S(const char *utf8) { return cp932::FromUtf8(utf8); }

// An editor with the given lines (UTF-8 in the test, CP932 in the editor), joined by CR LF.
struct Editor {
  TQmEdit e;
  explicit Editor(std::initializer_list<const char *> lines, TQmEditorOptions extra = 0,
                  TQmEditorOptions removed = 0) {
    e.resize(400, 200);
    std::string text;
    for (const char *l : lines) {
      if (!text.empty()) text += "\r\n";
      text += S(l);
    }
    e.SetText(text);
    e.SetOptions((e.Options() | extra) & ~removed);
  }
};

TEST(QmEditConstruct, Defaults) {
  TQmEdit e;
  EXPECT_EQ(e.Options(), 0x026C0192u);
  EXPECT_EQ(std::bitset<32>(e.Options()).count(), 9u);
  EXPECT_EQ(e.TabWidth(), 8);
  EXPECT_EQ(e.RightEdge(), 80);
  EXPECT_EQ(e.RightEdgeColor(), 0xC0C0C0);
  EXPECT_EQ(e.MaxScrollWidth(), 1024);
  EXPECT_EQ(e.Keystrokes().Count(), 82);
  EXPECT_TRUE(e.InsertMode());
  EXPECT_EQ(e.SelectionMode(), smNormal);
  EXPECT_EQ(e.ActiveSelectionMode(), smNormal);
  EXPECT_EQ(e.ScrollBars(), ssBoth);
  EXPECT_EQ(e.BorderStyle(), bsSingle);
  EXPECT_EQ(e.InsertCaret(), ctVerticalLine);
  EXPECT_EQ(e.OverwriteCaret(), ctBlock);
  EXPECT_EQ(e.ActiveLineColor(), clNone);
  EXPECT_EQ(e.Color(), clWindow);
  EXPECT_EQ(e.ScrollHintColor(), clInfoBk);
  EXPECT_EQ(e.ScrollHintFormat(), shfTopLineOnly);
  EXPECT_TRUE(e.WantReturns());
  EXPECT_FALSE(e.WantTabs());
  EXPECT_EQ(e.Font().Name(), "Courier New");
  EXPECT_EQ(e.Font().Size(), 10);
  EXPECT_EQ(e.width(), 200);
  EXPECT_EQ(e.height(), 150);
  EXPECT_EQ(e.GutterWidth(), 30);
  EXPECT_EQ(e.TextOffset(), 32);
  EXPECT_EQ(e.CaretXY(), (TBufferPos{1, 1}));
  EXPECT_EQ(e.BlockBegin(), (TBufferPos{1, 1}));
  EXPECT_EQ(e.TopLine(), 1);
  EXPECT_EQ(e.LeftChar(), 1);
  EXPECT_EQ(e.UndoList().MaxItems(), 1024);
  EXPECT_EQ(e.RedoList().MaxItems(), 1024);
  EXPECT_FALSE(e.ScrollTimerActive());
  EXPECT_EQ(e.TextDrawer().BaseStyle(), fsBold);
  EXPECT_GT(e.CharWidth(), 0);
  EXPECT_GT(e.LineHeight(), 0);
}

TEST(QmEditConstruct, PaintLockDefersStatusAndRejectsUnbalancedRelease) {
  Editor t({"abc", "def"});
  std::vector<TQmStatusChanges> seen;
  t.e.OnStatusChange = [&](TObject *, TQmStatusChanges c) { seen.push_back(c); };
  t.e.IncPaintLock();
  t.e.SetCaretXY({3, 2});
  EXPECT_TRUE(seen.empty());
  t.e.DecPaintLock();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_TRUE(seen[0] & scCaretX);
  EXPECT_TRUE(seen[0] & scCaretY);
  EXPECT_EQ(t.e.PendingStatusChanges(), 0);
  EXPECT_THROW(t.e.DecPaintLock(), EAssertionFailed);
}

// A buffer position never rests on a trail byte: each way of placing one steps off it in
// its own direction.
TEST(QmEditCaret, TrailBytesAreSteppedOffByDirection) {
  // a=1, あ=2..3, b=4, い=5..6 ; ソ (83 5C) has an ASCII trail byte.
  Editor t({"aあbい", "xソy"}, 0, OptionBit(eoScrollPastEol));
  struct Case {
    const char *what;
    TBufferPos from;
    int dx;
    TBufferPos expect;
  } cases[] = {
      {"right from a lead byte", {2, 1}, 1, {4, 1}},
      {"left onto a trail byte", {4, 1}, -1, {2, 1}},
      {"right over the last character", {5, 1}, 1, {7, 1}},
      {"right at the end wraps", {7, 1}, 1, {1, 2}},
      {"left at the start wraps", {1, 2}, -1, {7, 1}},
      {"right over a trail equal to a backslash", {2, 2}, 1, {4, 2}},
  };
  for (const Case &c : cases) {
    t.e.SetCaretXY(c.from);
    t.e.MoveCaretHorz(c.dx, false);
    EXPECT_EQ(t.e.CaretXY(), c.expect) << c.what;
  }

  // A block end on a trail byte steps left; a display position on one steps right.
  t.e.SetCaretXY({1, 1});
  t.e.SetBlockBegin({1, 1});
  t.e.SetBlockEnd({3, 1});
  EXPECT_EQ(t.e.BlockEnd(), (TBufferPos{2, 1}));
  EXPECT_EQ(t.e.DisplayToBufferPos({3, 1}), (TBufferPos{4, 1}));
  EXPECT_EQ(t.e.DisplayToBufferPos({3, 2}), (TBufferPos{4, 2}));
}

TEST(QmEditCaret, VerticalMovesDoNotDriftLeft) {
  Editor t({"abcdef", "aあいう", "abcdef", "aあいう", "abcdef"});
  t.e.SetCaretXY({3, 1});
  const int expect[][2] = {{2, 2}, {3, 3}, {2, 4}, {3, 5}};
  for (auto [x, y] : expect) {
    t.e.MoveCaretVert(1, false);
    EXPECT_EQ(t.e.CaretXY(), (TBufferPos{x, y}));
  }
  for (int i = 0; i < 4; ++i) t.e.MoveCaretVert(-1, false);
  EXPECT_EQ(t.e.CaretXY(), (TBufferPos{3, 1}));
  EXPECT_FALSE(t.e.CaretShiftedOffTrail());
}

TEST(QmEditCaret, TabsInDisplayPositions) {
  Editor t({"\tab", "x\ty"});
  EXPECT_EQ(t.e.BufferToDisplayPos({2, 1}), (TDisplayPos{9, 1}));
  EXPECT_EQ(t.e.BufferToDisplayPos({3, 2}), (TDisplayPos{9, 2}));
  // A column inside a tab falls on the tab.
  EXPECT_EQ(t.e.DisplayToBufferPos({5, 1}), (TBufferPos{1, 1}));
  EXPECT_EQ(t.e.DisplayToBufferPos({10, 2}), (TBufferPos{4, 2}));
  // Past the end, one byte per column.
  EXPECT_EQ(t.e.DisplayToBufferPos({14, 2}), (TBufferPos{8, 2}));
}

TEST(QmEditCaret, CaretLimitsFollowScrollPastEol) {
  Editor t({"abc"});
  t.e.SetCaretXY({50, 1});
  EXPECT_EQ(t.e.CaretX(), 50);
  t.e.SetCaretXY({5000, 1});
  EXPECT_EQ(t.e.CaretX(), 1025);
  t.e.SetOptions(t.e.Options() & ~OptionBit(eoScrollPastEol));
  EXPECT_EQ(t.e.CaretX(), 4);
  t.e.SetCaretXY({50, 9});
  EXPECT_EQ(t.e.CaretXY(), (TBufferPos{4, 1}));
  t.e.SetCaretXY({-3, -3});
  EXPECT_EQ(t.e.CaretXY(), (TBufferPos{1, 1}));
}

TEST(QmEditCaret, HomeAndEndKeys) {
  Editor t({"    select  "}, OptionBit(eoEnhanceHomeKey));
  t.e.SetCaretXY({8, 1});
  t.e.DoHomeKey(false);
  EXPECT_EQ(t.e.CaretX(), 5);
  t.e.DoHomeKey(false);
  EXPECT_EQ(t.e.CaretX(), 1);
  t.e.DoEndKey(false);
  EXPECT_EQ(t.e.CaretX(), 11);  // after the last non-blank
  t.e.DoEndKey(false);
  EXPECT_EQ(t.e.CaretX(), 13);  // then the line's end
  t.e.DoHomeKey(true);
  EXPECT_EQ(t.e.GetSelText(), "select  ");
}

TEST(QmEditSelection, SelectedTextInTheThreeModes) {
  Editor t({"abcd", "ef", "gh"});
  struct Case {
    TQmSelectionMode mode;
    TBufferPos b, e;
    const char *text;
  } cases[] = {
      {smNormal, {3, 1}, {2, 3}, "cd\r\nef\r\ng"},
      {smNormal, {2, 3}, {3, 1}, "cd\r\nef\r\ng"},  // made backwards
      {smNormal, {2, 1}, {4, 1}, "bc"},
      {smLine, {2, 2}, {1, 3}, "ef\r\ngh"},
      {smLine, {1, 1}, {2, 2}, "abcd\r\nef\r\n"},
      {smColumn, {2, 1}, {4, 3}, "bc\r\nf \r\nh "},
  };
  for (const Case &c : cases) {
    t.e.SetSelectionMode(c.mode);
    t.e.SetCaretAndSelection(c.e, c.b, c.e);
    EXPECT_EQ(t.e.GetSelText(), c.text) << int(c.mode);
  }
  // Column blocks without padding when trailing blanks are trimmed.
  t.e.SetOptions(t.e.Options() | OptionBit(eoTrimTrailingSpaces));
  t.e.SetCaretAndSelection({4, 3}, {2, 1}, {4, 3});
  EXPECT_EQ(t.e.GetSelText(), "bc\r\nf\r\nh");
}

TEST(QmEditSelection, ColumnBlockOverDoubleByteCharacters) {
  // Display columns 2..3 hold あ on line 1 and "bc" on line 2.
  Editor t({"aあb", "abcd", "ab"});
  t.e.SetSelectionMode(smColumn);
  t.e.SetCaretAndSelection({4, 2}, {2, 1}, {4, 2});
  EXPECT_EQ(t.e.GetSelText(), S("あ") + "\r\nbc");
  // A span starting inside the character leaves it out; one ending inside takes it whole.
  t.e.SetCaretAndSelection({4, 2}, {3, 1}, {4, 2});
  EXPECT_EQ(t.e.GetSelText(), "\r\nc");
  t.e.SetCaretAndSelection({3, 3}, {1, 1}, {3, 3});
  EXPECT_EQ(t.e.GetSelText(), "a" + S("あ") + "\r\nab\r\nab");
}

TEST(QmEditSelection, PointInSelectionAndEmptySelectAll) {
  Editor t({"abcd", "efgh", "ijkl"});
  t.e.SetCaretAndSelection({3, 3}, {2, 1}, {3, 3});
  EXPECT_FALSE(t.e.IsPointInSelection({1, 1}));
  EXPECT_TRUE(t.e.IsPointInSelection({2, 1}));
  EXPECT_TRUE(t.e.IsPointInSelection({1, 2}));
  EXPECT_FALSE(t.e.IsPointInSelection({3, 3}));
  t.e.SetSelectionMode(smColumn);
  t.e.SetCaretAndSelection({3, 3}, {2, 1}, {3, 3});
  EXPECT_FALSE(t.e.IsPointInSelection({1, 2}));
  EXPECT_TRUE(t.e.IsPointInSelection({2, 2}));
  EXPECT_FALSE(t.e.IsPointInSelection({3, 2}));
  t.e.SetSelectionMode(smLine);
  t.e.SetCaretAndSelection({3, 3}, {2, 1}, {3, 3});
  EXPECT_TRUE(t.e.IsPointInSelection({9, 2}));

  t.e.SetSelectionMode(smNormal);
  t.e.SelectAll();
  EXPECT_EQ(t.e.GetSelText(), "abcd\r\nefgh\r\nijkl");
  EXPECT_EQ(t.e.CaretXY(), (TBufferPos{5, 3}));

  TQmEdit empty;
  empty.SelectAll();
  EXPECT_FALSE(empty.HasSelection());
  EXPECT_EQ(empty.BlockBegin(), (TBufferPos{1, 1}));
  EXPECT_EQ(empty.BlockEnd(), (TBufferPos{1, 1}));
}

TEST(QmEditSelection, SelectingMovesExtendFromTheAnchor) {
  Editor t({"abcd", "efgh"});
  t.e.SetCaretXY({2, 1});
  t.e.MoveCaretHorz(1, true);
  t.e.MoveCaretVert(1, true);
  EXPECT_EQ(t.e.BlockBegin(), (TBufferPos{2, 1}));
  EXPECT_EQ(t.e.GetSelText(), "bcd\r\nef");
  t.e.MoveCaretHorz(1, false);
  EXPECT_FALSE(t.e.HasSelection());
  EXPECT_EQ(t.e.CaretXY(), (TBufferPos{4, 2}));
}

}  // namespace

namespace {

TEST(QmEditCaret, WrappedRowEnds) {
  TQmEdit e;
  e.resize(300, 200);
  e.show();
  e.SetText(std::string(30, 'a') + " " + std::string(30, 'b') + "\r\nxy");
  e.SetWordWrap(true);
  ASSERT_EQ(e.CharsInWindow(), 31);  // the first row holds the a's and the blank
  ASSERT_EQ(e.DisplayLineCount(), 3);
  // End stops at the end of the first row: the same byte as the start of the second.
  e.SetCaretXY({1, 1});
  e.DoEndKey(false);
  EXPECT_EQ(e.CaretXY(), (TBufferPos{32, 1}));
  EXPECT_TRUE(e.CaretAtEndOfRow());
  EXPECT_EQ(e.DisplayXY(), (TDisplayPos{32, 1}));
  e.MoveCaretHorz(1, false);
  EXPECT_EQ(e.CaretXY(), (TBufferPos{32, 1}));
  EXPECT_EQ(e.DisplayXY(), (TDisplayPos{1, 2}));
  e.MoveCaretHorz(-1, false);
  EXPECT_EQ(e.DisplayXY(), (TDisplayPos{32, 1}));
  e.MoveCaretVert(2, false);
  EXPECT_EQ(e.CaretY(), 2);
  EXPECT_EQ(e.DisplayY(), 3);
}

TEST(QmEditKeys, TwoKeyStrokesAndSingleKeys) {
  TQmEdit e;
  TQmEditKeyStroke *k = e.Keystrokes().Add();
  k->SetCommand(ecUserFirst + 5);
  k->SetKey('K');
  k->SetShift(ssCtrl);
  k->SetKey2('B');
  k->SetShift2(ssCtrl);
  void *data;
  EXPECT_EQ(e.TranslateKeyCode('K', ssCtrl, data), ecNone);
  EXPECT_EQ(e.TranslateKeyCode('B', ssCtrl, data), ecUserFirst + 5);
  // Without the first key the second is its own stroke (or none).
  EXPECT_EQ(e.TranslateKeyCode('B', ssCtrl, data), ecNone);
  EXPECT_EQ(e.TranslateKeyCode(vk::Right, ssShift, data), ecSelRight);
  // A key outside the remembered range forgets the first half.
  EXPECT_EQ(e.TranslateKeyCode('K', ssCtrl, data), ecNone);
  EXPECT_EQ(e.TranslateKeyCode(vk::Shift, ssShift | ssCtrl, data), ecNone);
  EXPECT_EQ(e.TranslateKeyCode('B', ssCtrl, data), ecNone);

  // A user command goes to its own event and not to the executor.
  std::vector<TQmEditorCommand> user;
  e.OnProcessUserCommand = [&](TObject *, TQmEditorCommand &c, char &, void *) { user.push_back(c); };
  std::uint16_t key = 'K';
  e.KeyDown(key, ssCtrl);
  key = 'B';
  e.KeyDown(key, ssCtrl);
  EXPECT_EQ(user, std::vector<TQmEditorCommand>{ecUserFirst + 5});
  EXPECT_EQ(key, 0);
}

TEST(QmEditInsertTrim, TrailingBlanksGoButTheCaretStays) {
  TQmEdit e;
  e.resize(400, 200);
  e.SetOptions(e.Options() | OptionBit(eoTrimTrailingSpaces));
  e.SetText("ab");
  e.SetCaretXY({3, 1});
  e.SetSelText("x  ");
  EXPECT_EQ(e.GetText(), "abx");
  EXPECT_EQ(e.CaretXY(), (TBufferPos{6, 1}));
  e.SetSelText("\r\n  ");
  EXPECT_EQ(e.GetText(), "abx\r\n");
  EXPECT_EQ(e.CaretXY(), (TBufferPos{3, 2}));
}

TEST(QmEditLines, ChangesToTheStoreCollapseTheSelection) {
  TQmEdit e;
  e.resize(400, 200);
  e.SetText("abcd\r\nefgh");
  e.SetCaretAndSelection({3, 2}, {1, 1}, {3, 2});
  ASSERT_TRUE(e.HasSelection());
  e.Lines().Put(0, "ABCD");
  EXPECT_FALSE(e.HasSelection());
  EXPECT_EQ(e.BlockBegin(), e.CaretXY());
  // Clearing the store resets caret, view and undo.
  e.SetCaretXY({2, 2});
  e.Lines().Clear();
  EXPECT_EQ(e.CaretXY(), (TBufferPos{1, 1}));
  EXPECT_EQ(e.TopLine(), 1);
  EXPECT_FALSE(e.UndoList().HasItems());
}

}  // namespace
