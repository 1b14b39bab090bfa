// Word wrap: rows per line, row lengths and the conversions between text and screen.
#include "components/editor/QmEditWordWrap.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <random>
#include <thread>

#include "platform/cp932.h"

namespace {

// An editor as far as word wrap needs one.
class FakeEditor : public IQmWordWrapEditor {
 public:
  TQmEditStringList lines;
  int chars = 10;
  TQmCharSet words;
  FakeEditor() {
    // Digits, letters, underscore and the bytes 192-255 except 215 and 247.
    words = MakeCharRange('0', '9') | MakeCharRange('A', 'Z') | MakeCharRange('a', 'z') |
            MakeCharSet("_") | MakeCharRange(192, 255);
    words.reset(215);
    words.reset(247);
  }
  const TQmEditStringList &Lines() const override { return lines; }
  int CharsInWindow() const override { return chars; }
  TQmCharSet WordChars() const override { return words; }
};

std::vector<int> Rows(const TQmWordWrapPlugin &w, int line) {
  std::vector<int> v;
  int first = w.LineFirstRow(line);
  for (int r = 0; r < w.LineRowCount(line); ++r) v.push_back(w.RowLength(first + r));
  return v;
}

std::string J(const char *utf8) { return cp932::FromUtf8(utf8); }

// Runs Body on a thread of its own. Wrapping that never ends would hang the test program,
// so a body still running after the deadline ends the program with a message at once.
template <class F>
void WithDeadline(F Body) {
  std::packaged_task<void()> task(Body);
  std::future<void> done = task.get_future();
  std::thread runner(std::move(task));
  if (done.wait_for(std::chrono::seconds(60)) == std::future_status::timeout) {
    std::fprintf(stderr, "word wrap did not finish: a row that holds no character?\n");
    std::_Exit(1);
  }
  runner.join();
  done.get();
}

}  // namespace

TEST(QmWordWrap, RowsOfOneLine) {
  struct Case {
    const char *what;
    std::string line;
    int chars, tabWidth;
    std::vector<int> rows;
  };
  const std::string a = J("あ");   // 82 A0
  const std::string so = J("ソ");  // 83 5C: the trail byte is a backslash
  const Case cases[] = {
      {"breaks after the blank following a,", "select a, b from t", 10, 8, {10, 8}},
      {"a word longer than the window is cut", "abcdefghijklmnop", 10, 8, {10, 6}},
      {"blanks at the break stay on the row", "select      from", 8, 8, {12, 4}},
      {"a break too near the row start is not used", "ab cdefghijkl", 10, 8, {10, 3}},
      {"a double-byte character at the edge moves down", "abcdefghi" + a + "xy", 10, 8, {9, 4}},
      {"a trail byte equal to a break character", "abcdefgh" + so + "xyz", 10, 8, {10, 3}},
      {"lead byte found as the break character", "abcdefg" + a + a, 10, 8, {9, 2}},
      {"tab expanded to the next stop", "\tx", 5, 8, {8, 1}},
      {"tab width 4", "ab\tcdefgh", 6, 4, {6, 4}},
      {"the window limited to 255", std::string(600, 'a'), 300, 8, {255, 255, 90}},
      {"blank run longer than 255 is cut", "a" + std::string(300, ' ') + "b", 10, 8, {255, 46, 1}},
      {"a cut inside a tab moves back to where the tab starts",
       std::string(250, 'a') + "\t\tb",
       255,
       8,
       {250, 15}},
      {"empty line", "", 10, 8, {0}},
      {"exactly the window", "abcdefghij", 10, 8, {10}},
      {"one-character window with double-byte characters", a + a + "x", 1, 8, {2, 2, 1}},
      {"one-character window, double-byte after ASCII", "x" + a, 1, 8, {1, 2}},
      {"two-character window", "x" + a + a, 2, 8, {1, 2, 2}},
      {"lead byte at the very end", "abcdefghi\x82", 5, 8, {5, 5}},
      {"tab width above the row limit", "\t\t", 10, 256, {255, 255, 2}},
  };
  WithDeadline([&] {
    for (const Case &c : cases) {
      FakeEditor ed;
      ed.chars = c.chars;
      ed.lines.SetTabWidth(c.tabWidth);
      ed.lines.Add(c.line);
      TQmWordWrapPlugin w(&ed);
      EXPECT_EQ(Rows(w, 1), c.rows) << c.what;
      EXPECT_EQ(w.RowCount(), static_cast<int>(c.rows.size())) << c.what;
    }
  });
}

TEST(QmWordWrap, PositionsBetweenTextAndScreen) {
  FakeEditor ed;
  ed.lines.AddStrings({"select a, b from t", "", "xyz"});
  TQmWordWrapPlugin w(&ed);
  ASSERT_EQ(w.RowCount(), 4);  // rows 10 and 8, 0, 3

  struct Case {
    TBufferPos buf;
    TDisplayPos disp;
  };
  const Case there[] = {
      {{1, 1}, {1, 1}},  {{10, 1}, {10, 1}}, {{11, 1}, {1, 2}}, {{18, 1}, {8, 2}},
      {{19, 1}, {9, 2}}, {{25, 1}, {15, 2}}, {{1, 2}, {1, 3}},  {{4, 2}, {4, 3}},
      {{2, 3}, {2, 4}},  {{7, 5}, {7, 6}},
  };
  for (const Case &c : there) {
    TDisplayPos d = w.BufferToDisplayPos(c.buf);
    EXPECT_EQ(d, c.disp) << c.buf.Char << "," << c.buf.Line;
  }
  const Case back[] = {
      {{1, 1}, {1, 1}},   {{11, 1}, {1, 2}},  {{11, 1}, {20, 1}},  // limited to the row
      {{19, 1}, {9, 2}},  {{21, 1}, {11, 2}}, {{21, 1}, {40, 2}},  // last row: window + 1
      {{11, 2}, {11, 3}}, {{3, 3}, {3, 4}},   {{5, 5}, {5, 6}},
  };
  for (const Case &c : back) {
    TBufferPos b = w.DisplayToBufferPos(c.disp);
    EXPECT_EQ(b, c.buf) << c.disp.Column << "," << c.disp.Row;
  }
  EXPECT_THROW(w.BufferToDisplayPos({0, 1}), EAssertionFailed);
  try {
    w.RowLength(5);
    ADD_FAILURE();
  } catch (const EListError &e) {
    EXPECT_EQ(e.Message(), J("リストのインデックスが範囲を超えています (5)"));
  }
  EXPECT_THROW(w.RowLength(0), EListError);
  EXPECT_THROW(TQmWordWrapPlugin(nullptr), Exception);
}

// Conversions walk from the row the one before ended on: in whatever order they come, and
// after the line under them changes, they give what a walk from the line's first row gives.
TEST(QmWordWrap, PositionsInAnyOrderOnALongLine) {
  FakeEditor ed;
  std::string line;
  for (int i = 0; i < 40; ++i) line += "select a" + std::to_string(i) + " from t; ";
  ed.lines.AddStrings({"x", line, "y"});
  TQmWordWrapPlugin w(&ed);
  auto check = [&](const char *when) {
    SCOPED_TRACE(when);
    const int first = w.LineFirstRow(2), count = w.LineRowCount(2);
    ASSERT_GT(count, 20);
    std::vector<int> before(static_cast<std::size_t>(count) + 1, 0);  // bytes before each row
    for (int r = 0; r < count; ++r) before[static_cast<std::size_t>(r) + 1] = before[static_cast<std::size_t>(r)] + w.RowLength(first + r);
    std::mt19937 rnd(7);
    for (int n = 0; n < 300; ++n) {
      const int r = static_cast<int>(rnd() % static_cast<unsigned>(count));
      const int col = 1 + static_cast<int>(rnd() % static_cast<unsigned>(w.RowLength(first + r)));
      const int at = before[static_cast<std::size_t>(r)] + col;
      ASSERT_EQ(w.DisplayToBufferPos({col, first + r}), (TBufferPos{at, 2})) << n;
      ASSERT_EQ(w.BufferToDisplayPos({at, 2}), (TDisplayPos{col, first + r})) << n;
    }
    // Past the end: on the last row, beyond its end.
    const int total = before.back();
    EXPECT_EQ(w.BufferToDisplayPos({total + 5, 2}),
              (TDisplayPos{total + 5 - before[static_cast<std::size_t>(count) - 1], first + count - 1}));
  };
  check("as loaded");
  ed.lines.Put(1, "the start moved; " + line);
  w.LinesChanged(1, 1);
  check("after a change");
  ed.lines.Delete(0);
  w.LinesDeleted(0, 1);
  ed.lines.Insert(0, "a");
  ed.lines.Insert(0, "b");
  w.LinesInserted(0, 2);
  ed.lines.Delete(1);
  w.LinesDeleted(1, 1);
  check("after lines above came and went");
}

TEST(QmWordWrap, FollowsLineChangesAndWidth) {
  FakeEditor ed;
  TQmWordWrapPlugin w(&ed);
  EXPECT_EQ(w.RowCount(), 0);
  ed.lines.AddStrings({"aaaaaaaaaaaaaaa", "b"});
  EXPECT_EQ(w.LinesInserted(0, 2), 3);
  ed.lines.Insert(1, "ccccccccccccccccccccc");
  EXPECT_EQ(w.LinesInserted(1, 1), 3);
  EXPECT_EQ(w.RowCount(), 6);
  EXPECT_EQ(Rows(w, 3), std::vector<int>{1});
  ed.lines.Put(0, "x");
  EXPECT_EQ(w.LinesChanged(0, 1), -1);
  EXPECT_EQ(w.LineFirstRow(2), 2);
  ed.lines.Delete(1);
  EXPECT_EQ(w.LinesDeleted(1, 1), 3);
  EXPECT_EQ(w.RowCount(), 2);

  ed.chars = 0;  // no room: nothing is wrapped, positions stay
  w.DisplayChanged();
  EXPECT_EQ(w.MaxRowLength(), 0);
  EXPECT_EQ(w.RowCount(), 0);
  EXPECT_EQ(w.LinesInserted(0, 1), 0);
  EXPECT_EQ(w.BufferToDisplayPos({4, 2}), (TDisplayPos{4, 2}));
  EXPECT_EQ(w.DisplayToBufferPos({4, 2}), (TBufferPos{4, 2}));

  ed.chars = 6;
  w.DisplayChanged();
  EXPECT_EQ(w.MaxRowLength(), 6);
  EXPECT_EQ(w.MinRowLength(), 4);
  EXPECT_EQ(w.RowCount(), 2);
  ed.lines.RemoveLines(0, 2);
  EXPECT_EQ(w.LinesDeleted(0, 2), 2);
  EXPECT_EQ(w.RowCount(), 0);
  ed.chars = -1;
  EXPECT_THROW(w.Reset(), EAssertionFailed);
}

namespace {

std::string RandomLine(std::mt19937 &rng) {
  // Bytes chosen to hit blanks, tabs, break characters, lead and trail bytes.
  static const std::string pool = std::string("  \t\t,.()ab_Z09") + "\x81\x82\x83\x88\x9f\xe0\xfc" +
                                  "\x40\x5b\x5c\x7e\xa1\xb1\xdf\xfd\xff";
  std::uniform_int_distribution<int> len(0, 700), pick(0, 99), any(0, 255),
      from(0, static_cast<int>(pool.size()) - 1);
  std::string s(static_cast<std::size_t>(len(rng)), ' ');
  for (char &c : s)
    c = static_cast<char>(pick(rng) < 70 ? pool[static_cast<std::size_t>(from(rng))] : any(rng));
  return s;
}

// Checks the mapping of every line against its expanded text.
void CheckMapping(const FakeEditor &ed, const TQmWordWrapPlugin &w) {
  ASSERT_EQ(w.LineCount(), ed.lines.Count());
  int rowsSeen = 0;
  for (int line = 1; line <= ed.lines.Count(); ++line) {
    const std::string text = ed.lines.ExpandedLineText(line - 1);
    const int first = w.LineFirstRow(line), n = w.LineRowCount(line);
    ASSERT_EQ(first, rowsSeen + 1);
    ASSERT_GE(n, 1);
    rowsSeen += n;
    std::size_t start = 0;
    for (int r = first; r < first + n; ++r) {
      const int len = w.RowLength(r);
      ASSERT_TRUE(len >= 1 || text.empty()) << "empty row in line " << line;
      ASSERT_TRUE(cp932::IsCharBoundary(text, start)) << "row " << r << " starts on a trail byte";
      TBufferPos b = w.DisplayToBufferPos({1, r});
      ASSERT_EQ(b, (TBufferPos{static_cast<int>(start) + 1, line}));
      ASSERT_EQ(w.BufferToDisplayPos(b), (TDisplayPos{1, r}));
      start += static_cast<std::size_t>(len);
    }
    ASSERT_EQ(start, text.size()) << "rows do not cover line " << line;
  }
  ASSERT_EQ(w.RowCount(), rowsSeen);
}

}  // namespace

TEST(QmWordWrap, RandomLinesTerminateAndRowsStartOnCharacters) {
  std::mt19937 rng(20261210);
  std::uniform_int_distribution<int> width(1, 300), tab(1, 9), op(0, 2), count(1, 3);
  WithDeadline([&] {
    for (int round = 0; round < 60 && !HasFatalFailure(); ++round) {
      FakeEditor ed;
      ed.chars = round < 10 ? 1 + round % 3 : width(rng);
      ed.lines.SetTabWidth(round % 7 == 0 ? 256 : tab(rng));
      for (int i = 0; i < 8; ++i) ed.lines.Add(RandomLine(rng));
      TQmWordWrapPlugin w(&ed);
      SCOPED_TRACE("round " + std::to_string(round) + " width " + std::to_string(ed.chars));
      CheckMapping(ed, w);

      // Changes kept up line by line give the same rows as wrapping everything anew.
      for (int step = 0; step < 10; ++step) {
        std::uniform_int_distribution<int> at(0, ed.lines.Count());
        int index = at(rng);
        int n = count(rng);
        switch (op(rng)) {
          case 0:
            for (int i = 0; i < n; ++i) ed.lines.Insert(index, RandomLine(rng));
            w.LinesInserted(index, n);
            break;
          case 1:
            n = std::min(n, ed.lines.Count() - index);
            ed.lines.RemoveLines(index, n);
            w.LinesDeleted(index, std::max(n, 0));
            break;
          default:
            n = std::min(n, ed.lines.Count() - index);
            for (int i = 0; i < n; ++i) ed.lines.Put(index + i, RandomLine(rng));
            w.LinesChanged(index, std::max(n, 0));
            break;
        }
        CheckMapping(ed, w);
        TQmWordWrapPlugin fresh(&ed);
        ASSERT_EQ(fresh.RowCount(), w.RowCount());
        for (int r = 1; r <= w.RowCount(); ++r) ASSERT_EQ(fresh.RowLength(r), w.RowLength(r));
      }
    }
  });
}
