// The editor's line store, undo list and file writer.
#include "components/editor/QmEditTextBuffer.h"

#include <gtest/gtest.h>

#include <sstream>

#include "platform/cp932.h"
#include "support/testutil.h"

namespace {

std::vector<std::string> Lines(const TQmEditStringList &l) {
  std::vector<std::string> v;
  for (int i = 0; i < l.Count(); ++i) v.push_back(l.Get(i));
  return v;
}

// Records the store's events as text.
struct EventLog {
  std::string text;
  void Changing(TObject *) { text += "<"; }
  void Change(TObject *) { text += ">"; }
  void Cleared(TObject *) { text += "C"; }
  void Inserted(TObject *, int i, int n) { text += "I" + std::to_string(i) + "," + std::to_string(n); }
  void Deleted(TObject *, int i, int n) { text += "D" + std::to_string(i) + "," + std::to_string(n); }
  void Changed(TObject *, int i, int n) { text += "P" + std::to_string(i) + "," + std::to_string(n); }
  void Attach(TQmEditStringList &l) {
    l.OnChanging = TNotifyEvent::Of<&EventLog::Changing>(this);
    l.OnChange = TNotifyEvent::Of<&EventLog::Change>(this);
    l.OnLinesCleared = TNotifyEvent::Of<&EventLog::Cleared>(this);
    l.OnLinesInserted = TQmLinesEvent::Of<&EventLog::Inserted>(this);
    l.OnLinesDeleted = TQmLinesEvent::Of<&EventLog::Deleted>(this);
    l.OnLinesChanged = TQmLinesEvent::Of<&EventLog::Changed>(this);
  }
};

}  // namespace

TEST(QmEditStringList, LoadAndSaveKeepTheLineEnds) {
  const std::string so = cp932::FromUtf8("ソース");  // trail bytes 5C and 58
  struct Case {
    std::string bytes;
    std::vector<std::string> lines;
    TQmLineEndKind kind;
    bool sameBytes;
  };
  const Case cases[] = {
      {"a\r\nb\r\n", {"a", "b", ""}, leCrLf, true},
      {"a\nb", {"a", "b"}, leLf, true},
      {"a\rb", {"a", "b"}, leCr, true},
      {"a\r\r\n", {"a", "", ""}, leCrLf, false},  // both kinds seen: saved as CR LF
      {"abc", {"abc"}, leCrLf, true},
      {"", {}, leCrLf, true},
      {"\n", {"", ""}, leLf, true},
      {so + "\n\n" + so + "\n", {so, "", so, ""}, leLf, true},
      {"x\r" + so + "\r", {"x", so, ""}, leCr, true},
      {"a\r\nb\nc", {"a", "b", "c"}, leCrLf, false},  // mixed ends are saved as CR LF
  };
  qmtest::TempDir dir;
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    TQmEditStringList list;
    list.SetLineEndKind(leCr);
    std::istringstream in(c.bytes);
    in.seekg(1, std::ios::beg);  // loading reads from the start whatever the position
    list.LoadFromStream(in);
    EXPECT_EQ(Lines(list), c.lines);
    EXPECT_EQ(list.LineEndKind(), c.kind);

    std::ostringstream out;
    list.SaveToStream(out);
    if (c.sameBytes) {
      EXPECT_EQ(out.str(), c.bytes);
    }

    auto path = (dir / "t.sql").string();
    qmtest::WriteFile(path, c.bytes);
    TQmEditStringList fromFile;
    fromFile.LoadFromFile(path);
    EXPECT_EQ(Lines(fromFile), c.lines);
    fromFile.SaveToFile((dir / "u.sql").string());
    EXPECT_EQ(qmtest::ReadFile(dir / "u.sql"), out.str());
  }
  EXPECT_EQ(std::string(LineEndText(leCr)), "\r");
}

TEST(QmEditStringList, AppendNewLineEndsEveryLine) {
  TQmEditStringList list;
  list.SetAppendNewLine(true);
  std::istringstream in("a\nb\n");
  list.LoadFromStream(in);
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"a", "b"}));
  std::ostringstream out;
  list.SaveToStream(out);
  EXPECT_EQ(out.str(), "a\nb\n");

  // A line longer than the writer's buffer goes out whole.
  std::string longLine(40000, 'x');
  list.Put(0, longLine);
  qmtest::TempDir dir;
  list.SaveToFile(cp932::FromUtf8(dir.str() + "長い.sql"));  // names are program text
  EXPECT_EQ(qmtest::ReadFile(dir / "長い.sql"), longLine + "\nb\n");
  EXPECT_EQ(list.GetText(), longLine + "\r\nb");
}

TEST(QmEditStringList, UnreadableFileLeavesTheLines) {
  TQmEditStringList list;
  list.Add("keep");
  qmtest::TempDir dir;
  EXPECT_THROW(list.LoadFromFile((dir / "missing.sql").string()), EFOpenError);
  EXPECT_EQ(Lines(list), std::vector<std::string>{"keep"});
  EXPECT_THROW(list.SaveToFile((dir / "no/such/folder/x.sql").string()), EFCreateError);
}

TEST(QmEditStringList, EventsAndIndexRules) {
  TQmEditStringList list;
  EventLog log;
  log.Attach(list);
  list.Add("a");
  list.Add("b");
  list.Insert(0, "z");
  EXPECT_EQ(log.text, "<I0,1><I1,1><I0,1>");
  log.text.clear();

  list.BeginUpdate();
  list.InsertEmptyLines(3, 2);
  list.Put(1, "A");
  list.Put(5, "tail");  // index Count adds
  list.RemoveLines(4, 99);  // only the lines present go
  list.Delete(0);
  list.InsertEmptyLines(1, 0);
  list.RemoveLines(list.Count(), 3);
  list.EndUpdate();
  EXPECT_EQ(log.text, "<I3,2P1,1I5,1D4,2D0,1>");
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"A", "b", ""}));

  log.text.clear();
  list.Exchange(0, 1);
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"b", "A", ""}));
  list.Clear();
  list.Clear();  // an empty list reports nothing
  EXPECT_EQ(log.text, "<><C>");
  EXPECT_EQ(list.Capacity(), 0);

  try {
    list.Delete(0);
    ADD_FAILURE();
  } catch (const EQmEditStringList &e) {
    EXPECT_STREQ(e.what(), "Invalid stringlist index 0");
  }
  EXPECT_THROW(list.Insert(1, "x"), EQmEditStringList);
  EXPECT_THROW(list.SetLineRangeState(0, 1), EQmEditStringList);
  list.Put(0, "first");  // index 0 of an empty list adds
  EXPECT_THROW(list.Put(2, "x"), EQmEditStringList);
  EXPECT_EQ(list.Get(-1), "");
  EXPECT_EQ(list.Get(7), "");
  EXPECT_EQ(list.LineRangeState(7), 0);
  EXPECT_EQ(list.LineRangeState(0), -1);
  list.SetLineRangeState(0, 2);
  EXPECT_EQ(list.LineRangeState(0), 2);
  EXPECT_THROW(list.SetCapacity(0), EListError);
}

TEST(QmEditStringList, CapacityGrowsInSteps) {
  TQmEditStringList list;
  std::vector<int> caps;
  for (int i = 0; i < 100; ++i) {
    list.Add("x");
    if (caps.empty() || caps.back() != list.Capacity()) caps.push_back(list.Capacity());
  }
  EXPECT_EQ(caps, (std::vector<int>{16, 32, 48, 64, 80, 100}));
  TQmEditStringList other;
  other.AddStrings(std::vector<std::string>(17, "y"));
  EXPECT_EQ(other.Capacity(), 32);
}

TEST(QmEditStringList, TabCacheFollowsChanges) {
  TQmEditStringList list;
  list.AddStrings({"ab\tc", "abcdefghij", "", "\t\t"});
  EXPECT_EQ(list.ExpandedLineLength(0), 9);
  EXPECT_EQ(list.ExpandedLineText(0), "ab\t\t\t\t\t\tc");
  EXPECT_EQ(list.ExpandedLineText(1), "abcdefghij");
  EXPECT_EQ(list.ExpandedLineLength(2), 0);
  EXPECT_EQ(list.ExpandedLineLength(3), 16);
  EXPECT_EQ(list.ExpandedLineLength(9), 0);
  EXPECT_EQ(list.LongestLineLength(), 16);

  list.SetTabWidth(4);
  EXPECT_EQ(list.ExpandedLineLength(0), 5);
  EXPECT_EQ(list.LongestLineLength(), 10);
  list.Put(1, "a");
  EXPECT_EQ(list.LongestLineLength(), 8);
  list.Exchange(0, 3);
  EXPECT_EQ(list.LongestLineLength(), 8);
  list.Put(2, "\t");
  EXPECT_EQ(list.ExpandedLineText(2), "\t\t\t\t");
  list.SetTabWidth(1);
  EXPECT_EQ(list.ExpandedLineText(2), " ");
  list.Clear();
  EXPECT_EQ(list.LongestLineLength(), 0);
}

// On a long line the trail bytes are found from checkpoints of the walk over the line; the
// answers are those of the walk from the start, also after the line changes under them.
TEST(QmEditStringList, TrailBytesOfALongLineFollowItsChanges) {
  // 日 = 93 FA: its trail byte is a lead byte too, so runs of it are decided only by where
  // they start; ソ = 83 5C ends in "\"; a half-width ｱ (B1) is one byte.
  const std::string run = cp932::FromUtf8("日日日日日ソa") + "\xB1" + cp932::FromUtf8("日日日");
  std::string line;
  while (line.size() < 20000) line += run;
  line += "\x93";  // a lead byte that ends the line stands alone
  TQmEditStringList l;
  l.Add("x");
  l.Add(line);
  auto sameAsTheWalk = [&](const std::string &text) {
    std::vector<bool> trail(text.size() + 2);
    for (std::size_t p = 0; p < text.size(); p += cp932::CharLen(text, p))
      if (cp932::CharLen(text, p) == 2) trail[p + 2] = true;  // 1-based index of the second byte
    for (int i = 0; i <= static_cast<int>(text.size()) + 1; ++i)
      if (l.IsTrailByte(1, i) != trail[static_cast<std::size_t>(i)]) return testing::AssertionFailure() << "byte " << i;
    return testing::AssertionSuccess();
  };
  EXPECT_TRUE(sameAsTheWalk(line));
  // One byte more at the start turns every pair after it around.
  l.Put(1, "a" + line);
  EXPECT_TRUE(sameAsTheWalk("a" + line));
  l.Put(1, line.substr(1));
  EXPECT_TRUE(sameAsTheWalk(line.substr(1)));
  EXPECT_FALSE(l.IsTrailByte(2, 1));  // no such line
}

TEST(QmEditStringList, SetTextAndAssign) {
  TQmEditStringList list;
  list.SetText("select *\r\nfrom t\n");
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"select *", "from t", ""}));
  EXPECT_EQ(list.GetText(), "select *\r\nfrom t\r\n");
  list.SetLineRangeState(1, 2);
  TQmEditStringList copy;
  copy.Add("old");
  copy.Assign(list);
  EXPECT_EQ(Lines(copy), Lines(list));
  EXPECT_EQ(copy.LineRangeState(1), 2);
  TQmEditUndoList other;
  EXPECT_THROW(copy.Assign(other), EConvertError);
}

// ---------------------------------------------------------------------------------------

namespace {

struct AddedCounter {
  int count = 0;
  void Added(TObject *) { ++count; }
};

void Record(TQmEditUndoList &u, TQmUndoReason r, const std::string &text = {}) {
  u.RecordChange(r, {1, 1}, {2, 1}, text, smNormal);
}

}  // namespace

TEST(QmEditUndoList, BlocksShareOneSequenceNumber) {
  TQmEditUndoList u;
  AddedCounter added;
  u.OnItemAdded = TNotifyEvent::Of<&AddedCounter::Added>(&added);
  Record(u, urInsert, "a");
  Record(u, urInsert, "b");
  EXPECT_EQ(u.Items(0)->SequenceNo, 1);
  EXPECT_EQ(u.Items(1)->SequenceNo, 2);
  EXPECT_EQ(added.count, 2);

  u.OpenBlock();
  Record(u, urDelete, "x");
  u.OpenBlock();
  Record(u, urInsert, "y");
  u.CloseBlock();
  int beforeOuterClose = added.count;
  Record(u, urCaret);
  u.CloseBlock();
  EXPECT_EQ(added.count, beforeOuterClose + 2);  // the caret item, then the block's end
  u.CloseBlock();  // unbalanced: nothing
  EXPECT_EQ(u.BlockCount(), 0);
  for (int i = 2; i < 5; ++i) EXPECT_EQ(u.Items(i)->SequenceNo, 3);
  Record(u, urInsert, "c");
  EXPECT_EQ(u.LastItem()->SequenceNo, 4);

  // A block with nothing recorded still uses up a number but reports nothing.
  int n = added.count;
  u.OpenBlock();
  u.CloseBlock();
  EXPECT_EQ(added.count, n);
  Record(u, urInsert);
  EXPECT_EQ(u.LastItem()->SequenceNo, 6);

  u.Lock();
  u.Lock();
  Record(u, urInsert);
  u.Unlock();
  Record(u, urInsert);
  u.Unlock();
  u.Unlock();  // at 0: nothing
  EXPECT_EQ(u.ItemCount(), 7);
  Record(u, urInsert);
  EXPECT_EQ(u.ItemCount(), 8);
}

TEST(QmEditUndoList, GroupBreaksAndLimits) {
  TQmEditUndoList u;
  AddedCounter added;
  u.OnItemAdded = TNotifyEvent::Of<&AddedCounter::Added>(&added);
  EXPECT_EQ(u.LastReason(), urNothing);
  Record(u, urInsert);
  u.AppendGroupBreak();
  u.AppendGroupBreak();
  EXPECT_EQ(u.ItemCount(), 2);
  EXPECT_EQ(u.LastReason(), urGroupBreak);
  EXPECT_EQ(added.count, 1);  // breaks are not reported

  u.Clear();
  for (int i = 0; i < 1024; ++i) Record(u, urInsert, std::to_string(i));
  EXPECT_FALSE(u.ItemsDropped());
  Record(u, urInsert, "last");
  EXPECT_EQ(u.ItemCount(), 1024);
  EXPECT_TRUE(u.ItemsDropped());
  EXPECT_EQ(u.Items(0)->Text, "1");
  u.SetMaxItems(10);
  EXPECT_EQ(u.ItemCount(), 10);
  EXPECT_EQ(u.Items(0)->Text, "1015");
  u.SetMaxItems(-5);
  EXPECT_EQ(u.MaxItems(), 0);
  EXPECT_FALSE(u.HasItems());
  u.Clear();
  EXPECT_FALSE(u.ItemsDropped());
  EXPECT_EQ(u.TakeLastItem(), nullptr);
}

TEST(QmEditUndoList, SavedState) {
  TQmEditUndoList u;
  EXPECT_TRUE(u.IsAtSavedState());  // empty and never changed
  Record(u, urInsert);
  EXPECT_FALSE(u.IsAtSavedState());
  u.SetSavedState(true);
  EXPECT_TRUE(u.IsAtSavedState());
  Record(u, urInsert);
  EXPECT_FALSE(u.IsAtSavedState());
  auto undone = u.TakeLastItem();
  EXPECT_TRUE(u.IsAtSavedState());
  u.PushItem(std::move(undone));  // redone
  EXPECT_FALSE(u.IsAtSavedState());

  // Forgetting the saved state only acts while the list is there.
  u.SetSavedState(false);
  u.TakeLastItem();
  EXPECT_TRUE(u.IsAtSavedState());
  u.SetSavedState(false);
  EXPECT_FALSE(u.IsAtSavedState());
  u.TakeLastItem();
  EXPECT_FALSE(u.IsAtSavedState());  // never again, not even when empty

  TQmEditUndoList empty;
  empty.SetSavedState(false);
  EXPECT_FALSE(empty.IsAtSavedState());
}

TEST(QmEditUndoList, AssignCopiesItemsAndCounters) {
  TQmEditUndoList u;
  u.RecordChange(urLineBreak, {3, 2}, {1, 3}, "rest", smColumn);
  u.SetSavedState(true);
  u.OpenBlock();
  TQmEditUndoList copy;
  copy.Assign(u);
  ASSERT_EQ(copy.ItemCount(), 1);
  const TQmEditUndoItem *item = copy.LastItem();
  EXPECT_NE(item, u.LastItem());
  EXPECT_EQ(item->Reason, urLineBreak);
  EXPECT_EQ(item->SelMode, smColumn);
  EXPECT_EQ(item->StartPoint, (TBufferPos{3, 2}));
  EXPECT_EQ(item->EndPoint, (TBufferPos{1, 3}));
  EXPECT_EQ(item->Text, "rest");
  EXPECT_TRUE(copy.IsAtSavedState());
  EXPECT_EQ(copy.BlockCount(), 1);
  Record(copy, urInsert);
  EXPECT_EQ(copy.LastItem()->SequenceNo, 2);  // the copied block's number
}
