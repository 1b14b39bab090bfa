// Undo and redo against random editing: after every single command, one undo must give
// back exactly the text and caret from before it and one redo the text after it. The
// commands run in the three selection modes, in insert and overwrite mode, over lines
// with tabs and double-byte characters, from random carets and blocks.
#include <QClipboard>
#include <QGuiApplication>
#include <gtest/gtest.h>

#include <initializer_list>
#include <random>
#include <sstream>

#include "components/editor/QmEdit.h"
#include "QmEdit_testutil.h"

namespace {

using namespace qmedit_test;

struct Rng {
  std::mt19937 gen;
  explicit Rng(unsigned seed) : gen(seed) {}
  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(gen); }
  bool Chance(int percent) { return Int(1, 100) <= percent; }
  template <typename T, std::size_t N>
  const T &Pick(const T (&a)[N]) { return a[Int(0, static_cast<int>(N) - 1)]; }
  template <typename T>
  T Pick(std::initializer_list<T> l) { return l.begin()[Int(0, static_cast<int>(l.size()) - 1)]; }
  int Pick(const std::vector<int> &v) { return v[static_cast<std::size_t>(Int(0, static_cast<int>(v.size()) - 1))]; }
};

// A position on a character boundary of its line, up to three columns past the end.
TBufferPos RandomPos(Rng &r, const TCustomQmEdit &e) {
  const int count = std::max(1, e.Lines().Count());
  const int y = r.Int(1, count);
  const std::string line = e.Lines().Get(y - 1);
  std::vector<int> stops;
  for (std::size_t i = 0; i <= line.size(); i = cp932::NextChar(line, i)) {
    stops.push_back(static_cast<int>(i) + 1);
    if (i == line.size()) break;
  }
  const int extra = r.Int(0, 3);
  if (extra > 0 && r.Chance(30)) return {static_cast<int>(line.size()) + 1 + extra, y};
  return {r.Pick(stops), y};
}

const char *const Starts[] = {
    "select a, b\tfrom t",
    "\twhere x = 1",
    "  and 名前 = 'アソ'",
    "表\t示 ｓｅｌｅｃｔ",
    "",
    "order by a",
};

const TQmEditorCommand Commands[] = {
    ecChar, ecChar, ecChar, ecImeStr, ecDeleteLastChar, ecDeleteChar, ecDeleteWord, ecDeleteLastWord,
    ecDeleteBOL, ecDeleteEOL, ecDeleteLine, ecLineBreak, ecInsertLine, ecTab, ecShiftTab,
    ecBlockIndent, ecBlockUnindent, ecUpperCase, ecLowerCase, ecToggleCase, ecTitleCase,
    ecUpperCaseBlock, ecLowerCaseBlock, ecToggleCaseBlock, ecCut, ecPaste,
};

const char *const ImeStrings[] = {"表名", "ア", "ｓ", "ソ\\"};

std::string Describe(const std::string &text) {
  std::ostringstream o;
  for (unsigned char c : text) {
    if (c >= 0x20 && c < 0x7F)
      o << c;
    else
      o << "\\x" << std::hex << int(c) << std::dec;
  }
  return o.str();
}

// The last undo items, for a failure message.
std::string LastItems(const TQmEditUndoList &list) {
  std::ostringstream o;
  for (int i = std::max(0, list.ItemCount() - 6); i < list.ItemCount(); ++i) {
    const TQmEditUndoItem *it = list.Items(i);
    o << int(it->Reason) << " (" << it->StartPoint.Char << "," << it->StartPoint.Line << ")-(" << it->EndPoint.Char
      << "," << it->EndPoint.Line << ") seq " << it->SequenceNo << " mode " << int(it->SelMode) << " '"
      << Describe(it->Text) << "'\n";
  }
  return o.str();
}

void RunSeed(unsigned seed, int steps) {
  Rng r(seed);
  TQmEditorOptions options = QM_DEFAULT_OPTIONS;
  if (r.Chance(50)) options &= ~OptionBit(eoTabsToSpaces);
  if (r.Chance(30)) options &= ~OptionBit(eoAutoIndent);
  if (r.Chance(30)) options &= ~OptionBit(eoSmartTabs);
  if (r.Chance(30)) options &= ~OptionBit(eoGroupUndo);
  if (r.Chance(30)) options |= OptionBit(eoTabIndent);
  Editor ed({Starts[0], Starts[1], Starts[2], Starts[3], Starts[4], Starts[5]}, options);
  std::string log;
  for (int step = 0; step < steps; ++step) {
    // Where the command runs: a caret, maybe a block in one of the three modes.
    const TQmSelectionMode mode = r.Pick<TQmSelectionMode>({smNormal, smNormal, smLine, smColumn});
    ed.e.SetSelectionMode(mode);
    ed.e.SetInsertMode(r.Chance(80));
    const TBufferPos caret = RandomPos(r, ed.e);
    if (r.Chance(50)) {
      // Block ends stay within their lines (a block reaching past the end of a line comes
      // back padded with blanks when its deletion is undone).
      TBufferPos other = RandomPos(r, ed.e);
      other.Char = std::min(other.Char, static_cast<int>(ed.e.Lines().Get(other.Line - 1).size()) + 1);
      const TBufferPos here = {std::min(caret.Char, static_cast<int>(ed.e.Lines().Get(caret.Line - 1).size()) + 1), caret.Line};
      ed.e.SetCaretAndSelection(here, other, here);
      // A block end is held to its line, the caret may stand past it: a selection made
      // with the keys has the caret at its end.
      ed.e.SetCaretAndSelection(ed.e.BlockEnd(), ed.e.BlockBegin(), ed.e.BlockEnd());
    } else {
      ed.e.SetCaretXY(caret);
    }
    const TQmEditorCommand command = r.Pick(Commands);
    if (command == ecPaste) {
      // Something copied from this editor (in its mode) or plain text from elsewhere.
      if (r.Chance(50) && ed.e.HasSelection()) {
        ed.e.CopyToClipboard();
        if (r.Chance(50)) ed.e.SetCaretXY(RandomPos(r, ed.e));
      } else {
        QGuiApplication::clipboard()->setText(QString::fromUtf8(r.Chance(50) ? "x\ny名" : "pasted"));
      }
    }
    // Every command is its own undo step, as if the caret had moved in between.
    if (ed.e.UndoList().HasItems()) ed.e.UndoList().AppendGroupBreak();
    const std::string before = ed.Text();
    const TBufferPos caretBefore = ed.e.CaretXY();
    const bool pastEnd = caretBefore.Char > static_cast<int>(ed.e.LineText().size()) + 1;
    const bool hadSelection = ed.e.HasSelection();
    const bool backward = hadSelection && !(ed.e.BlockStart() == ed.e.BlockBegin());
    const int items = ed.e.UndoList().ItemCount();
    const TQmEditUndoItem *last = ed.e.UndoList().LastItem();
    std::string ime;
    char ch = 0;
    if (command == ecChar) ch = r.Pick<char>({'a', 'Z', ' ', '('});
    if (command == ecImeStr) ime = S(r.Pick(ImeStrings));
    ed.Cmd(command, ch, command == ecImeStr ? ime.data() : nullptr);
    std::ostringstream what;
    what << "seed " << seed << " step " << step << " command " << command << " mode " << int(mode)
         << " insert " << ed.e.InsertMode() << " caret (" << caretBefore.Char << "," << caretBefore.Line << ")";
    log += what.str() + "\n";
    const std::string after = ed.Text();
    const bool recorded = ed.e.UndoList().ItemCount() != items || ed.e.UndoList().LastItem() != last;
    if (!recorded || ed.e.UndoList().LastReason() == urGroupBreak) {
      ASSERT_EQ(after, before) << what.str() << ": a change without an undo item";
      continue;
    }
    const std::string recordedItems = LastItems(ed.e.UndoList());
    ed.e.Undo();
    ASSERT_EQ(Describe(ed.Text()), Describe(before)) << what.str() << "\n" << recordedItems << log;
    // The caret comes back where it stood, except where undo puts it elsewhere by design:
    // at the end of a line it had stood past (the padding goes), at the far end of a
    // block deleted backwards, at the start of a deleted line or of lines pasted whole,
    // and at the first line of a block indent or unindent.
    const bool blockIndent = hadSelection && command >= ecBlockIndent && command <= ecShiftTab;
    const bool caretChecked = !pastEnd && !(backward && (command == ecDeleteLastChar || command == ecDeleteChar)) &&
                              command != ecDeleteLine && !(command == ecPaste && mode == smLine) && !blockIndent;
    if (caretChecked) {
      ASSERT_EQ(ed.e.CaretXY(), caretBefore) << what.str() << "\n" << recordedItems;
    }
    ed.e.Redo();
    ASSERT_EQ(Describe(ed.Text()), Describe(after)) << what.str() << "\n" << recordedItems << log;
  }
}

TEST(QmEditUndoRandom, EveryCommandUndoesAndRedoesExactly) {
  for (unsigned seed = 1; seed <= 1000; ++seed) {
    RunSeed(seed, 40);
    if (HasFatalFailure()) return;
  }
}

}  // namespace
