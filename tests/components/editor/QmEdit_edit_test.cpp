// Replacing the selection, pasting in the three modes and copying to the clipboard.
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <gtest/gtest.h>

#include "components/editor/QmEdit.h"
#include "components/qtext.h"
#include "platform/cp932.h"

namespace {

std::string S(const char *utf8) { return cp932::FromUtf8(utf8); }

std::string Join(std::initializer_list<const char *> lines) {
  std::string text;
  for (const char *l : lines) {
    if (!text.empty()) text += "\r\n";
    text += S(l);
  }
  return text;
}

struct Editor {
  TQmEdit e;
  explicit Editor(std::initializer_list<const char *> lines) {
    e.resize(400, 200);
    e.SetText(Join(lines));
  }
  std::string Text() const { return e.GetText(); }
};

std::vector<TQmUndoReason> Reasons(TQmEditUndoList &l) {
  std::vector<TQmUndoReason> r;
  for (int i = 0; i < l.ItemCount(); ++i) r.push_back(l.Items(i)->Reason);
  return r;
}

void PutOwnBlock(TQmSelectionMode mode, const std::string &text) {
  auto *m = new QMimeData;
  m->setText(ToQ(text));
  QByteArray block(1, static_cast<char>(mode));
  block.append(text.data(), static_cast<qsizetype>(text.size()));
  block.append('\0');
  m->setData(QmEditClipboardFormat(), block);
  QGuiApplication::clipboard()->setMimeData(m);
}

TEST(QmEditInsert, TextReplacesTheSelectionInEachMode) {
  struct Case {
    const char *what;
    TQmSelectionMode mode;
    TBufferPos b, e;
    const char *insert;
    std::string text;
    TBufferPos caret;
  } cases[] = {
      {"split a line", smNormal, {3, 1}, {3, 1}, "X\r\nYZ", Join({"abX", "YZcd", "efgh", "ijkl"}), {3, 2}},
      {"join over lines", smNormal, {2, 1}, {3, 3}, "-", Join({"a-kl"}), {3, 1}},
      {"beyond the end pads", smNormal, {7, 2}, {7, 2}, "!", Join({"abcd", "efgh  !", "ijkl"}), {8, 2}},
      {"whole lines", smLine, {2, 1}, {1, 2}, "", Join({"ijkl"}), {1, 1}},
      {"last lines", smLine, {2, 2}, {2, 3}, "", Join({"abcd", ""}), {1, 2}},
      {"column block", smColumn, {2, 1}, {4, 3}, "", Join({"ad", "eh", "il"}), {2, 3}},
      {"column text", smColumn, {2, 2}, {2, 2}, "12\r\n34", Join({"abcd", "e12fgh", "i34jkl"}), {4, 3}},
  };
  for (const Case &c : cases) {
    Editor t({"abcd", "efgh", "ijkl"});
    t.e.SetSelectionMode(c.mode);
    t.e.SetCaretAndSelection(c.e, c.b, c.e);
    t.e.SetSelText(c.insert);
    EXPECT_EQ(t.Text(), c.text) << c.what;
    EXPECT_EQ(t.e.CaretXY(), c.caret) << c.what;
    EXPECT_FALSE(t.e.HasSelection()) << c.what;
  }
}

TEST(QmEditInsert, ColumnEdgesInsideDoubleByteCharactersMoveRight) {
  // Display column 3 is the trail byte of あ on line 1 and of い on line 3.
  Editor t({"aあb", "abcd", "aいc"});
  t.e.SetSelectionMode(smColumn);
  t.e.SetCaretAndSelection({4, 3}, {3, 1}, {4, 3});
  t.e.SetSelText("");
  EXPECT_EQ(t.Text(), Join({"aあb", "abd", "aいc"}));

  Editor u({"aあb", "abcd"});
  u.e.SetSelectionMode(smColumn);
  u.e.SetCaretXY({3, 2});
  u.e.SetSelTextPrimitive(smColumn, "X\r\nY", false);
  // Line 2 takes X at column 3; line 3 does not exist and is added, padded.
  EXPECT_EQ(u.Text(), Join({"aあb", "abXcd"}) + "\r\n  Y");
  Editor w({"aあb", "abcd"});
  w.e.SetCaretXY({3, 2});
  w.e.MoveCaretVert(-1, false);  // onto あ's trail: stepped left
  EXPECT_EQ(w.e.CaretXY(), (TBufferPos{2, 1}));
  w.e.SetCaretXY({3, 1});
  EXPECT_EQ(w.e.CaretX(), 3);  // a direct placement keeps the column; the column insert moves right
  w.e.SetSelTextPrimitive(smColumn, "Z", false);
  EXPECT_EQ(w.Text(), Join({"aあZb", "abcd"}));
}

TEST(QmEditInsert, ReplaceSelectionRecordsDeleteAndInsert) {
  Editor t({"abcd", "efgh"});
  t.e.SetCaretAndSelection({2, 1}, {3, 2}, {2, 1});
  t.e.ReplaceSelection("XY");
  EXPECT_EQ(t.Text(), "aXYgh");
  ASSERT_EQ(Reasons(t.e.UndoList()), (std::vector<TQmUndoReason>{urDelete, urInsert}));
  const TQmEditUndoItem *del = t.e.UndoList().Items(0);
  EXPECT_EQ(del->Text, "bcd\r\nef");
  EXPECT_EQ(del->StartPoint, (TBufferPos{3, 2}));  // the block as it was made
  const TQmEditUndoItem *ins = t.e.UndoList().Items(1);
  EXPECT_EQ(ins->StartPoint, (TBufferPos{2, 1}));
  EXPECT_EQ(ins->EndPoint, (TBufferPos{4, 1}));
  EXPECT_EQ(del->SequenceNo, ins->SequenceNo);  // one undo block
  // A caret move after a change breaks the undo group.
  t.e.MoveCaretHorz(-1, false);
  EXPECT_EQ(t.e.UndoList().LastReason(), urGroupBreak);
  t.e.SetOptions(t.e.Options() & ~OptionBit(eoGroupUndo));
  t.e.ReplaceSelection("Z");
  const int n = t.e.UndoList().ItemCount();
  t.e.MoveCaretHorz(-1, false);
  EXPECT_EQ(t.e.UndoList().ItemCount(), n);
}

TEST(QmEditClipboard, CopyPutsPlainTextAndTheOwnBlock) {
  Editor t({"abcd", "ef", "gあh"});
  struct Case {
    TQmSelectionMode mode;
    TBufferPos b, e;
    std::string text;
  } cases[] = {
      {smNormal, {3, 1}, {2, 3}, "cd\r\nef\r\ng"},
      {smLine, {1, 2}, {1, 3}, "ef\r\n" + S("gあh")},
      {smColumn, {2, 1}, {4, 3}, "bc\r\nf \r\n" + S("あ")},
  };
  for (const Case &c : cases) {
    t.e.SetSelectionMode(c.mode);
    t.e.SetCaretAndSelection(c.e, c.b, c.e);
    t.e.CopyToClipboard();
    const QMimeData *m = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(m->hasFormat(QmEditClipboardFormat()));
    const QByteArray block = m->data(QmEditClipboardFormat());
    // The mode, the text and its NUL, then the text's length in four bytes.
    ASSERT_EQ(block.size(), static_cast<qsizetype>(c.text.size() + 2 + 4));
    EXPECT_EQ(block[0], static_cast<char>(c.mode));
    EXPECT_EQ(std::string(block.constData() + 1, c.text.size()), c.text);
    EXPECT_EQ(block[static_cast<qsizetype>(c.text.size() + 1)], '\0');
    EXPECT_EQ(block.right(4), QByteArray(3, '\0').prepend(static_cast<char>(c.text.size())));
    EXPECT_EQ(FromQ(m->text()), c.text);
  }
  // Nothing selected: the clipboard keeps what it had.
  QGuiApplication::clipboard()->setText("keep");
  t.e.SetCaretXY({1, 1});
  t.e.CopyToClipboard();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "keep");
}

// Text with a NUL (a loaded file or a paste keeps it) comes back whole from a copy or a cut
// and its paste; a reader that stops at the NUL still finds the text before it.
TEST(QmEditClipboard, TextWithANulComesBackWhole) {
  const std::string text = std::string("select 'a\0b', 2;\r\n\0x", 21);
  struct Case {
    const char *what;
    std::vector<TQmEditorCommand> keys;
    std::string result;
  } cases[] = {
      {"select all, copy, paste", {ecSelectAll, ecCopy, ecPaste}, text},
      {"select all, cut, paste", {ecSelectAll, ecCut, ecPaste}, text},
      {"select all, copy, paste at the end", {ecSelectAll, ecCopy, ecEditorBottom, ecPaste}, text + text},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    TQmEdit e;
    e.resize(400, 200);
    e.SetText(text);
    for (TQmEditorCommand k : c.keys) e.CommandProcessor(k, 0, nullptr);
    EXPECT_EQ(e.GetText(), c.result);
    const QByteArray block = QGuiApplication::clipboard()->mimeData()->data(QmEditClipboardFormat());
    EXPECT_STREQ(block.constData() + 1, "select 'a");
  }
  // A block of an older build, without the length, still pastes up to its NUL.
  Editor t({""});
  PutOwnBlock(smNormal, text);
  t.e.PasteFromClipboard();
  EXPECT_EQ(t.Text(), "select 'a");
}

TEST(QmEditClipboard, ColumnCopyKeepsPaddingWhenTrimming) {
  Editor t({"abcd", "e"});
  t.e.SetOptions(t.e.Options() | OptionBit(eoTrimTrailingSpaces));
  t.e.SetSelectionMode(smColumn);
  t.e.SetCaretAndSelection({4, 2}, {2, 1}, {4, 2});
  t.e.CopyToClipboard();
  EXPECT_EQ(FromQ(QGuiApplication::clipboard()->text()), "bc\r\n  ");
  EXPECT_TRUE(t.e.HasOption(eoTrimTrailingSpaces));
}

TEST(QmEditClipboard, CutIsAnUndoBlockAndNothingWhenReadOnly) {
  Editor t({"abcd"});
  t.e.SetCaretAndSelection({4, 1}, {2, 1}, {4, 1});
  QGuiApplication::clipboard()->setText("before");
  t.e.SetReadOnly(true);
  t.e.CutToClipboard();
  EXPECT_EQ(t.Text(), "abcd");
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "before");
  t.e.SetReadOnly(false);
  t.e.CutToClipboard();
  EXPECT_EQ(t.Text(), "ad");
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "bc");
  EXPECT_EQ(Reasons(t.e.UndoList()), (std::vector<TQmUndoReason>{urDelete}));
}

TEST(QmEditClipboard, PasteTakesTheCopiedMode) {
  struct Case {
    const char *what;
    TQmSelectionMode mode;
    std::string block;
    TBufferPos caret;
    std::string text;
  } cases[] = {
      {"normal", smNormal, "X\r\nY", {2, 2}, Join({"abcd", "eX", "Yfgh", "ijkl"})},
      {"lines restored above the caret line", smLine, "L1\r\nL2\r\n", {1, 2}, Join({"abcd", "L1", "L2", "efgh", "ijkl"})},
      {"column beyond the last line", smColumn, "1\r\n2\r\n3", {3, 2}, Join({"abcd", "ef1gh", "ij2kl", "  3"})},
  };
  for (const Case &c : cases) {
    Editor t({"abcd", "efgh", "ijkl"});
    PutOwnBlock(c.mode, c.block);
    t.e.SetCaretXY(c.caret);
    t.e.PasteFromClipboard();
    EXPECT_EQ(t.Text(), c.text) << c.what;
    auto reasons = Reasons(t.e.UndoList());
    ASSERT_GE(reasons.size(), 2u) << c.what;
    EXPECT_EQ(reasons.front(), urPasteBegin) << c.what;
    EXPECT_EQ(reasons.back(), urPasteEnd) << c.what;
  }
}

TEST(QmEditClipboard, PasteOfPlainTextReplacesTheSelection) {
  Editor t({"abcd", "efgh"});
  QGuiApplication::clipboard()->setText(ToQ(S("日本\n語")));
  t.e.SetCaretAndSelection({3, 1}, {2, 1}, {3, 1});
  t.e.PasteFromClipboard();
  EXPECT_EQ(t.Text(), "a" + S("日本") + "\r\n" + S("語") + "cd\r\nefgh");
  EXPECT_EQ(t.e.CaretXY(), (TBufferPos{3, 2}));
  EXPECT_EQ(Reasons(t.e.UndoList()),
            (std::vector<TQmUndoReason>{urPasteBegin, urDelete, urPaste, urPasteEnd}));

  // A read-only editor, or a clipboard without text, pastes nothing.
  t.e.SetReadOnly(true);
  t.e.PasteFromClipboard();
  EXPECT_EQ(t.e.GetText(), "a" + S("日本") + "\r\n" + S("語") + "cd\r\nefgh");
  t.e.SetReadOnly(false);
  QGuiApplication::clipboard()->clear();
  EXPECT_FALSE(t.e.CanPaste());
}

TEST(QmEditClipboard, AMalformedOwnBlockFailsCleanly) {
  Editor t({"abcd"});
  auto *m = new QMimeData;
  m->setData(QmEditClipboardFormat(), QByteArray());
  QGuiApplication::clipboard()->setMimeData(m);
  EXPECT_THROW(t.e.PasteFromClipboard(), EQmEditError);
  EXPECT_EQ(t.Text(), "abcd");
  EXPECT_EQ(t.e.UndoList().BlockCount(), 0);
}

}  // namespace
