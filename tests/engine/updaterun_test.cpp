// What an interrupted update leaves in the database folder, and what the next start or
// update removes of it.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/UpdateRun.h"
#include "support/enginefixture.h"
#include "support/testutil.h"

namespace fs = std::filesystem;

TEST(UpdateRun, StaleBuildFilesAndNothingElseAreRemoved) {
  qmtest::TempDir dir;
  struct Case {
    const char *name;
    bool folder;
    bool stale;
  } cases[] = {
      {".acis.db.3141592653.part", false, true},          // a killed build
      {".acis.db.3141592653.part-journal", false, true},  // and its journal
      {".acis.db.27.part-wal", false, true},
      {".spec.db.1.part", false, true},        // a killed unpack of the reference database
      {".acis.db.42.part", true, true},        // the unpack folder of the ready-made databases
      {"acis.db", false, false},
      {"spec.db", false, false},
      {"acis.db-journal", false, false},
      {"autoupdate.log", false, false},
      {".acis.db.part", false, false},         // no number
      {".acis.db.12a.part", false, false},
      {".acis.db.12.partial", false, false},
      {"x.acis.db.12.part", false, false},
      {".jpp.db.12.part", false, false},       // not a build of this update
      {".acis.db.12.part.bak", false, false},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(IsStaleBuildName(c.name), c.stale) << c.name;
    if (c.folder) {
      fs::create_directories(dir / c.name);
      qmtest::WriteFile(dir / c.name / "acis.db", "half");
    } else {
      qmtest::WriteFile(dir / c.name, "x");
    }
  }
  qmtest::LogLines log;
  int stale = 0;
  for (const Case &c : cases) stale += c.stale;
  EXPECT_EQ(RemoveStaleBuildFiles(dir.str(), &log), stale);
  for (const Case &c : cases) EXPECT_EQ(fs::exists(dir / c.name), !c.stale) << c.name;
  EXPECT_EQ(static_cast<int>(log.lines.size()), stale);
  // A second start finds nothing more; a missing folder is no failure.
  EXPECT_EQ(RemoveStaleBuildFiles(dir.str(), nullptr), 0);
  EXPECT_EQ(RemoveStaleBuildFiles((dir / "none").string(), nullptr), 0);
}
