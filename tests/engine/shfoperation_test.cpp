#include "engine/ShfOperation.h"

#include <gtest/gtest.h>

#include "engine/Exception.h"
#include "engine/UiServices.h"
#include "platform/cp932.h"
#include "support/testserver.h"
#include "support/testutil.h"

namespace fs = std::filesystem;
using qmtest::MTime;
using qmtest::ReadFile;
using qmtest::SetMTime;
using qmtest::TempDir;
using qmtest::WriteFile;

namespace {

std::string P(const fs::path &p) { return cp932::FromUtf8(p.string()); }

TShfOperation CopyOf(const fs::path &from, const std::string &to) {
  TShfOperation op;
  op.OperationF = foCOPY;
  op.Options.FILESONLY = true;
  op.Options.NOCONFIRMATION = true;
  op.FromFFList = {P(from)};
  op.ToFolder = to;
  op.ProgressTitle = P(from) + cp932::FromUtf8("をコピーしています");
  return op;
}

}  // namespace

TEST(ShfOperation, CopiesKeepTheSourceTimeAndReplaceTheTarget) {
  TempDir d;
  fs::path src = d / "共有" / "acis.zip";
  WriteFile(src, "new archive");
  SetMTime(src, 1780000000);
  struct Case {
    const char *what;
    fs::path to_folder, result;
    bool existing;
  } cases[] = {
      {"into a folder", d / "data", d / "data" / "acis.zip", false},
      {"to a path naming a file", d / "data" / "copy.zip", d / "data" / "copy.zip", false},
      {"over an existing file", d / "data", d / "data" / "acis.zip", true},
  };
  fs::create_directories(d / "data");
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    if (c.existing) WriteFile(c.result, "old");
    TShfOperation op = CopyOf(src, P(c.to_folder));
    EXPECT_EQ(op.Execute(), 0);
    EXPECT_EQ(ReadFile(c.result), "new archive");
    EXPECT_EQ(MTime(c.result), 1780000000);
    fs::remove(c.result);
  }
}

TEST(ShfOperation, FailuresLeaveTheTargetAndRaiseTheirTexts) {
  TempDir d;
  WriteFile(d / "data" / "acis.zip", "old");
  TShfOperation missing = CopyOf(d / "nowhere" / "acis.zip", P(d / "data"));
  EXPECT_NE(missing.Execute(), 0);
  EXPECT_EQ(ReadFile(d / "data" / "acis.zip"), "old");

  // Without NOCONFIRMATION the user is asked, and "No" keeps the target.
  WriteFile(d / "src" / "acis.zip", "new");
  TScopedRecordingUi ui;
  ui.answers = {IDNO};
  TShfOperation ask = CopyOf(d / "src" / "acis.zip", P(d / "data"));
  ask.Options.NOCONFIRMATION = false;
  EXPECT_EQ(ask.Execute(), 0);
  EXPECT_TRUE(ask.fAbort);
  EXPECT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ReadFile(d / "data" / "acis.zip"), "old");

  TShfOperation none;
  try {
    none.Execute();
    FAIL();
  } catch (const Exception &e) {
    EXPECT_EQ(e.Message(), cp932::FromUtf8("ShfOperation:ﾌｧｲﾙが指定されていません."));
  }
  TShfOperation multi = CopyOf(d / "src" / "acis.zip", "");
  multi.Options.MUILIDESTFILES = true;
  try {
    multi.Execute();
    FAIL();
  } catch (const Exception &e) {
    EXPECT_EQ(e.Message(), cp932::FromUtf8("ShfOperation:ﾀｰｹﾞｯﾄが指定されていません."));
  }
}

// The progress window shows the copy (bytes of the whole operation, each file's name) unless
// the operation is silent; cancelling it stops the copy and leaves the target as it was.
TEST(ShfOperation, ProgressWindowShowsTheCopyAndCancelStopsIt) {
  TempDir d;
  const std::string big(3 << 20, 'x');  // three blocks of the copy
  WriteFile(d / "src" / "acis.zip", big);
  WriteFile(d / "src" / "spec.zip", "spec");
  fs::create_directories(d / "data");
  {
    TScopedRecordingUi ui;
    TShfOperation op = CopyOf(d / "src" / "acis.zip", P(d / "data"));
    op.FromFFList.push_back(P(d / "src" / "spec.zip"));
    EXPECT_EQ(op.Execute(), 0);
    ASSERT_EQ(ui.progress.size(), 1u);
    EXPECT_EQ(ui.progress[0].title, op.ProgressTitle);
    EXPECT_EQ(ui.progress[0].items, (std::vector<std::string>{"acis.zip", "spec.zip"}));
    EXPECT_EQ(ui.progress[0].total, big.size() + 4);
    EXPECT_EQ(ui.progress[0].done, big.size() + 4);
    EXPECT_FALSE(ui.progress[0].open);
    EXPECT_EQ(ReadFile(d / "data" / "acis.zip"), big);
  }
  {
    TScopedRecordingUi ui;
    TShfOperation op = CopyOf(d / "src" / "spec.zip", P(d / "data"));
    op.Options.SILENT = true;
    EXPECT_EQ(op.Execute(), 0);
    EXPECT_TRUE(ui.progress.empty());
  }
  // Cancelled after the first block: the earlier copy stays, no partial file is left.
  TScopedRecordingUi ui;
  ui.cancel_progress_at = 1;
  WriteFile(d / "src" / "acis.zip", big + "newer");
  TShfOperation op = CopyOf(d / "src" / "acis.zip", P(d / "data"));
  EXPECT_EQ(op.Execute(), SHF_ERROR_CANCELLED);
  EXPECT_TRUE(op.fAbort);
  EXPECT_EQ(ReadFile(d / "data" / "acis.zip"), big);
  std::size_t files = 0;
  for (const auto &e : fs::directory_iterator(d / "data")) files += e.is_regular_file();
  EXPECT_EQ(files, 2u);  // acis.zip and spec.zip, no temporary copy
}
