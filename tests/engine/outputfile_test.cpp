#include "engine/OutputFile.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "engine/UiServices.h"
#include "platform/cp932.h"
#include "support/testutil.h"

namespace fs = std::filesystem;
using qmtest::ReadFile;
using qmtest::TempDir;
using qmtest::WriteFile;

namespace {

std::string P(const fs::path &p) { return cp932::FromUtf8(p.string()); }

std::vector<std::string> FolderNames(const fs::path &dir) {
  std::vector<std::string> names;
  for (const auto &e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  return names;
}

// Every row is reported to the progress window, not only those an interval apart.
class OutputFileTest : public ::testing::Test {
 protected:
  void SetUp() override { TOutputFile::Interval = std::chrono::milliseconds(0); }
  void TearDown() override {
    TOutputFile::Interval = saved_;
    SetRunStopRequested(false);
  }
  TempDir d_;
  TScopedRecordingUi ui_;

 private:
  std::chrono::milliseconds saved_ = TOutputFile::Interval;
};

// A row of 100 kB: three rows take more than one block of the writer.
const std::string kRow(100000, 'r');

// The file takes its name only when whole: until then an earlier file of that name is there
// as it was, beside the part being written.
TEST_F(OutputFileTest, TheWholeFileReplacesTheTargetAtTheEnd) {
  const fs::path target = d_ / "結果.csv";
  WriteFile(target, "old");
  {
    TOutputFile f(P(target), 30);
    ASSERT_TRUE(f.IsOpen());
    for (int r = 1; r <= 30; ++r) {
      f.Write(kRow);
      ASSERT_TRUE(f.Step(static_cast<std::uint64_t>(r)));
    }
    EXPECT_EQ(ReadFile(target), "old");
    EXPECT_EQ(FolderNames(d_.path()).size(), 2u);  // the target and the part
    ASSERT_EQ(ui_.progress.size(), 1u);
    EXPECT_EQ(cp932::ToUtf8(ui_.progress[0].title), "結果.csvを保存しています");
    EXPECT_EQ(cp932::ToUtf8(ui_.progress[0].items.at(0)), "結果.csv");
    EXPECT_EQ(ui_.progress[0].done, 30u);
    EXPECT_TRUE(f.Commit());
  }
  std::string whole;
  for (int r = 0; r < 30; ++r) whole += kRow;
  EXPECT_EQ(ReadFile(target), whole);
  EXPECT_EQ(FolderNames(d_.path()), std::vector<std::string>{"結果.csv"});
  EXPECT_EQ(ui_.progress[0].total, 30u);
  EXPECT_FALSE(ui_.progress[0].open);
}

// A write that ends early leaves no part behind, and an earlier file as it was.
TEST_F(OutputFileTest, AWriteEndedEarlyLeavesNoPartAndTheEarlierFile) {
  struct Case {
    const char *name;
    std::function<void()> setup;
    int stops_at;  // the row whose Step says stop; 0: none (the writer gives up itself)
  } cases[] = {
      {"キャンセル", [&] { ui_.cancel_progress_at = 3; }, 3},
      {"program closes", [&] { SetRunStopRequested(true); }, 1},
      {"writer gives up", [] {}, 0},
  };
  for (const Case &c : cases) {
    for (const bool earlier : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (earlier ? " over an earlier file" : ""));
      const fs::path target = d_ / "page.html";
      fs::remove(target);
      if (earlier) WriteFile(target, "earlier page");
      ui_.cancel_progress_at = 0;
      c.setup();
      {
        TOutputFile f(P(target), 5);
        ASSERT_TRUE(f.IsOpen());
        int stopped = 0;
        for (int r = 1; r <= 5 && !stopped; ++r) {
          f.Write(kRow);
          if (!f.Step(static_cast<std::uint64_t>(r))) stopped = r;
        }
        EXPECT_EQ(stopped, c.stops_at);
        EXPECT_EQ(f.Cancelled(), c.stops_at != 0);
        if (c.stops_at) {
          EXPECT_FALSE(f.Commit());
        }
      }
      SetRunStopRequested(false);
      EXPECT_EQ(FolderNames(d_.path()), earlier ? std::vector<std::string>{"page.html"} : std::vector<std::string>{});
      if (earlier) {
        EXPECT_EQ(ReadFile(target), "earlier page");
      }
    }
  }
}

// What was there before the save decides whether it may be replaced and what the new file
// is like: a read-only file refuses the save and stays; a replaced file keeps its mode; a link
// stays a link to the file that takes the bytes; the longest name a folder takes saves.
TEST_F(OutputFileTest, TheFileThereDecidesWhetherAndHowItIsReplaced) {
  const std::string longest(251, 'n');  // with ".csv" the 255 bytes a name may have
  struct Case {
    const char *name;
    std::string file;  // the name saved to
    fs::perms before;  // the mode of an earlier file; none: no earlier file
    bool saves;
    fs::perms after;  // the mode of the file afterwards; none: not judged
  } cases[] = {
      {"read-only file", "ro.csv", fs::perms(0444), false, fs::perms(0444)},
      {"file of the owner only", "own.csv", fs::perms(0600), true, fs::perms(0600)},
      {"writable by all", "all.csv", fs::perms(0666), true, fs::perms(0666)},
      {"the longest name", longest + ".csv", fs::perms::none, true, fs::perms::none},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    TempDir d;
    const fs::path target = d / c.file;
    if (c.before != fs::perms::none) {
      WriteFile(target, "earlier");
      fs::permissions(target, c.before);
    }
    {
      TOutputFile f(P(target), 1);
      EXPECT_EQ(f.IsOpen(), c.saves);
      f.Write("new");
      EXPECT_EQ(f.Commit(), c.saves);
      EXPECT_FALSE(f.Cancelled());
    }
    EXPECT_EQ(FolderNames(d.path()), std::vector<std::string>{c.file});
    EXPECT_EQ(ReadFile(target), c.saves ? "new" : "earlier");
    if (c.after != fs::perms::none) {
      EXPECT_EQ(fs::status(target).permissions(), c.after);
    }
  }

  // Through a link the file it points to is replaced, and the link stays.
  const fs::path real = d_ / "real.html", link = d_ / "link.html";
  WriteFile(real, "earlier");
  fs::create_symlink(real, link);
  {
    TOutputFile f(P(link), 1);
    f.Write("new");
    EXPECT_TRUE(f.Commit());
  }
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadFile(real), "new");
}

// A folder that is not there: nothing is made, and the writer says so without a cancel.
TEST_F(OutputFileTest, AFileThatCannotBeMadeIsNotOpen) {
  TOutputFile f(P(d_ / "missing" / "out.csv"), 1);
  EXPECT_FALSE(f.IsOpen());
  f.Write("x");
  EXPECT_FALSE(f.Commit());
  EXPECT_FALSE(f.Cancelled());
  EXPECT_TRUE(ui_.progress.empty());
  EXPECT_TRUE(FolderNames(d_.path()).empty());
}

}  // namespace
