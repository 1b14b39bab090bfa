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
