// Keys, characters, input-method results and the mouse reaching the editor.
#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QTest>
#include <gtest/gtest.h>

#include "components/editor/QmEdit.h"
#include "components/qtext.h"
#include "platform/cp932.h"

namespace {

std::string S(const char *utf8) { return cp932::FromUtf8(utf8); }

struct Command {
  TQmEditorCommand Cmd;
  char Char;
  std::string Data;
  bool operator==(const Command &) const = default;
};

// An editor that records the commands it processes.
struct Recorder {
  TQmEdit e;
  std::vector<Command> seen;
  Recorder() {
    e.resize(400, 200);
    e.OnCommandProcessed = [this](TObject *, TQmEditorCommand &c, char &ch, void *data) {
      seen.push_back({c, ch, c == ecImeStr && data ? std::string(static_cast<const char *>(data)) : ""});
    };
  }
  // A key event with a text, as a keyboard or input method without composition sends it.
  void Key(int key, const QString &text, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(&e, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods, text);
    QApplication::sendEvent(&e, &release);
  }
};

TEST(QmEditInput, CharactersAndCommandsFromKeyEvents) {
  Recorder r;
  r.Key(Qt::Key_A, "a");
  // A Japanese character typed without composition arrives as its two CP932 bytes.
  r.Key(0, QString::fromUtf8("あ"));
  // A key that makes a command drops the character its event carries.
  r.Key(Qt::Key_C, QString(QChar(3)), Qt::ControlModifier);
  r.Key(Qt::Key_Right, "", Qt::ShiftModifier);
  // A character key without a key code after a command key is typed whole.
  r.Key(0, QString::fromUtf8("い"));
  const std::string a = S("あ"), i = S("い");
  EXPECT_EQ(r.seen, (std::vector<Command>{{ecChar, 'a', ""},
                                          {ecChar, a[0], ""},
                                          {ecChar, a[1], ""},
                                          {ecCopy, 0, ""},
                                          {ecSelRight, 0, ""},
                                          {ecChar, i[0], ""},
                                          {ecChar, i[1], ""}}));
}

TEST(QmEditInput, InputMethodResultIsOneCommandAndItsEchoIsDropped) {
  Recorder r;
  const std::string word = S("日本");
  ASSERT_EQ(word.size(), 4u);
  QInputMethodEvent ime;
  ime.setCommitString(QString::fromUtf8("日本"));
  QApplication::sendEvent(&r.e, &ime);
  EXPECT_EQ(r.e.ImeSkipCount(), 4);
  for (char c : word) {
    char ch = c;
    r.e.KeyPress(ch);
  }
  char x = 'x';
  r.e.KeyPress(x);
  EXPECT_EQ(r.seen, (std::vector<Command>{{ecImeStr, 0, word}, {ecChar, 'x', ""}}));

  // A character that is not the echo ends the wait, and is typed.
  r.seen.clear();
  QApplication::sendEvent(&r.e, &ime);
  char y = 'y';
  r.e.KeyPress(y);
  char w0 = word[0];
  r.e.KeyPress(w0);
  EXPECT_EQ(r.seen, (std::vector<Command>{{ecImeStr, 0, word}, {ecChar, 'y', ""}, {ecChar, word[0], ""}}));

  // Nothing waits once the event loop has turned.
  QApplication::sendEvent(&r.e, &ime);
  QApplication::processEvents();
  EXPECT_EQ(r.e.ImeSkipCount(), 0);
}

TEST(QmEditInput, CompositionIsShownAndPlacedAtTheCaret) {
  TQmEdit e;
  e.resize(400, 200);
  e.SetAlwaysShowCaret(true);
  e.SetText("abc\r\ndef");
  e.SetCaretXY({3, 2});
  QInputMethodEvent pre(QString::fromUtf8("にほん"), {});
  QApplication::sendEvent(&e, &pre);
  EXPECT_EQ(e.ImePreedit(), QString::fromUtf8("にほん"));
  const QRect r = e.inputMethodQuery(Qt::ImCursorRectangle).toRect();
  const QPoint expect = e.viewport()->geometry().topLeft() + e.CaretRect().topLeft();
  EXPECT_EQ(r.topLeft(), expect);
  EXPECT_EQ(e.CaretRect().left(), e.TextOffset() + 2 * e.CharWidth() - 1);
  EXPECT_EQ(e.CaretRect().top(), e.LineHeight() + 1);
  EXPECT_EQ(e.inputMethodQuery(Qt::ImFont).value<QFont>().family(), e.ControlFont().family());
  // Scrolling moves the composition window with the caret.
  std::string many;
  for (int i = 1; i <= 100; ++i) many += std::to_string(i) + "\r\n";
  e.SetText(many);
  e.SetCaretXY({1, 5});
  const QRect before = e.inputMethodQuery(Qt::ImCursorRectangle).toRect();
  e.WMMouseWheel(-120, 0);
  const int moved = std::min(QApplication::wheelScrollLines(), e.LinesInWindow());
  ASSERT_EQ(e.TopLine(), 1 + moved);
  EXPECT_EQ(e.inputMethodQuery(Qt::ImCursorRectangle).toRect().top(), before.top() - moved * e.LineHeight());
}

TEST(QmEditInput, KeysMoveTheCaretOverDoubleByteCharacters) {
  TQmEdit e;
  e.resize(400, 200);
  e.SetText(S("aあい"));
  QTest::keyClick(&e, Qt::Key_Right);
  QTest::keyClick(&e, Qt::Key_Right);
  EXPECT_EQ(e.CaretX(), 4);
  QTest::keyClick(&e, Qt::Key_Left, Qt::ShiftModifier);
  EXPECT_EQ(e.GetSelText(), S("あ"));
  QTest::keyClick(&e, Qt::Key_End);
  EXPECT_EQ(e.CaretX(), 6);
  EXPECT_FALSE(e.HasSelection());
}

// Pixel positions of a cell.
QPoint Cell(const TQmEdit &e, int column, int row) {
  return {e.TextOffset() + (column - 1) * e.CharWidth(), (row - 1) * e.LineHeight() + 2};
}

TEST(QmEditMouse, PressPlacesTheCaretAtTheNearestBoundary) {
  TQmEdit e;
  e.resize(400, 200);
  e.SetText(S("aあb") + "\r\nxyz");
  const int cw = e.CharWidth();
  // Just right of a cell boundary, then a little left of one.
  e.MouseDown(mbLeft, ssLeft, Cell(e, 3, 2).x() + 1, Cell(e, 3, 2).y());
  e.MouseUp(mbLeft, 0, Cell(e, 3, 2).x() + 1, Cell(e, 3, 2).y());
  EXPECT_EQ(e.CaretXY(), (TBufferPos{3, 2}));
  e.MouseDown(mbLeft, ssLeft, Cell(e, 3, 1).x() - cw / 4, Cell(e, 3, 1).y());
  e.MouseUp(mbLeft, 0, Cell(e, 3, 1).x() - cw / 4, Cell(e, 3, 1).y());
  // Column 3 of line 1 is the trail byte of あ: the caret steps right.
  EXPECT_EQ(e.CaretXY(), (TBufferPos{4, 1}));
  // Shift extends the selection from where it was.
  e.MouseDown(mbLeft, ssLeft | ssShift, Cell(e, 1, 1).x(), Cell(e, 1, 1).y());
  EXPECT_EQ(e.GetSelText(), "a" + S("あ"));
  e.MouseUp(mbLeft, ssShift, Cell(e, 1, 1).x(), Cell(e, 1, 1).y());
}

TEST(QmEditMouse, DraggingExtendsAndAltMakesAColumnBlock) {
  TQmEdit e;
  e.resize(400, 200);
  e.SetText("abcd\r\nefgh");
  e.SetOptions(e.Options() | OptionBit(eoAltSetsColumnMode));
  e.MouseDown(mbLeft, ssLeft | ssAlt, Cell(e, 2, 1).x(), Cell(e, 2, 1).y());
  e.MouseMove(ssLeft | ssAlt, Cell(e, 4, 2).x(), Cell(e, 4, 2).y());
  e.MouseUp(mbLeft, ssAlt, Cell(e, 4, 2).x(), Cell(e, 4, 2).y());
  EXPECT_EQ(e.SelectionMode(), smColumn);
  EXPECT_EQ(e.GetSelText(), "bc\r\nfg");
  e.MouseDown(mbLeft, ssLeft, Cell(e, 1, 1).x(), Cell(e, 1, 1).y());
  EXPECT_EQ(e.SelectionMode(), smNormal);
  e.MouseUp(mbLeft, 0, Cell(e, 1, 1).x(), Cell(e, 1, 1).y());
}

struct DragRecorder : TQmEdit {
  int drags = 0;
  void StartDragging() override { ++drags; }
};

TEST(QmEditMouse, PressInsideTheSelectionWaitsForADrag) {
  DragRecorder e;
  e.resize(400, 200);
  e.SetText("abcdef");
  e.SetCaretAndSelection({5, 1}, {2, 1}, {5, 1});
  const QPoint in = Cell(e, 3, 1);
  // Released where it was pressed: the caret goes there and the selection is gone.
  e.MouseDown(mbLeft, ssLeft, in.x(), in.y());
  EXPECT_TRUE(e.WaitingForDrag());
  EXPECT_EQ(e.GetSelText(), "bcd");
  e.MouseUp(mbLeft, 0, in.x(), in.y());
  EXPECT_FALSE(e.HasSelection());
  EXPECT_EQ(e.CaretXY(), (TBufferPos{3, 1}));
  EXPECT_EQ(e.drags, 0);
  // Moved by the drag distance: a drag starts.
  e.SetCaretAndSelection({5, 1}, {2, 1}, {5, 1});
  e.MouseDown(mbLeft, ssLeft, in.x(), in.y());
  e.MouseMove(ssLeft, in.x() + QApplication::startDragDistance(), in.y());
  EXPECT_EQ(e.drags, 1);
  EXPECT_FALSE(e.WaitingForDrag());
}

TEST(QmEditMouse, HoldingTheButtonBelowTheTextScrollsAndExtends) {
  TQmEdit e;
  e.resize(400, 200);
  std::string text;
  for (int i = 1; i <= 100; ++i) text += "line " + std::to_string(i) + "\r\n";
  e.SetText(text);
  const int rows = e.LinesInWindow();
  ASSERT_GT(rows, 3);
  e.MouseDown(mbLeft, ssLeft, Cell(e, 1, 1).x(), Cell(e, 1, 1).y());
  const int below = rows * e.LineHeight() + 1;
  e.MouseMove(ssLeft, Cell(e, 3, 1).x(), below);
  EXPECT_TRUE(e.ScrollTimerActive());
  e.ScrollTimerHandler();
  EXPECT_EQ(e.TopLine(), 2);
  EXPECT_EQ(e.CaretY(), rows + 1);
  e.ScrollTimerHandler();
  EXPECT_EQ(e.TopLine(), 3);
  EXPECT_EQ(e.BlockEnd().Line, rows + 2);
  EXPECT_EQ(e.BlockBegin(), (TBufferPos{1, 1}));
  // With Shift a tick moves a page.
  e.MouseMove(ssLeft | ssShift, Cell(e, 3, 1).x(), below);
  e.ScrollTimerHandler();
  EXPECT_EQ(e.TopLine(), 3 + rows);
  // Back inside the text the timer stops; the release stops it too.
  e.MouseMove(ssLeft, Cell(e, 3, 2).x(), Cell(e, 3, 2).y());
  EXPECT_FALSE(e.ScrollTimerActive());
  e.MouseUp(mbLeft, 0, Cell(e, 3, 2).x(), Cell(e, 3, 2).y());
  EXPECT_FALSE(e.MouseCaptured());
}

TEST(QmEditMouse, GutterClickNamesTheLineAndTheMark) {
  TQmEdit e;
  e.resize(400, 200);
  e.SetText("a\r\nb\r\nc");
  auto mark = std::make_unique<TQmEditMark>(&e);
  mark->Line = 2;
  mark->Visible = true;
  TQmEditMark *m = mark.get();
  e.Marks().Add(std::move(mark));
  int line = 0;
  TQmEditMark *clicked = nullptr;
  e.OnGutterClick = [&](TObject *, TMouseButton, int, int, int l, TQmEditMark *k) {
    line = l;
    clicked = k;
  };
  const int y = e.LineHeight() + 2;
  e.MouseDown(mbLeft, ssLeft, 3, y);
  e.MouseUp(mbLeft, 0, 3, y);
  EXPECT_EQ(line, 2);
  EXPECT_EQ(clicked, m);
  e.MouseDown(mbLeft, ssLeft, 3, 2 * e.LineHeight() + 2);
  e.MouseUp(mbLeft, 0, 3, 2 * e.LineHeight() + 2);
  EXPECT_EQ(line, 3);
  EXPECT_EQ(clicked, nullptr);
}

}  // namespace
