// Shared pieces of the tests that open databases through the query object: program-wide
// state saved and restored around a test, a recording log, and the small sample kit made
// once per test program.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/AcisSvr.h"
#include "engine/FillTargets.h"
#include "engine/SQLite.h"
#include "engine/acdb.h"
#include "engine/options.h"

namespace qmtest {

// Saves the settings object, the data sites, the reference-refresh step, the SQL-function
// registrar, the debug switch and the program's query object (AcisDB and what its owner
// holds), and puts them back when it goes away; a query object opened through the owner
// meanwhile is closed. With a folder, the
// database folder is pointed there, the database counts as built from the publisher's data
// (so the open refreshes nothing unless a test installs a refresh) and no refresh is installed.
class ScopedEngineState {
 public:
  ScopedEngineState();
  explicit ScopedEngineState(const std::filesystem::path &db_folder);
  ~ScopedEngineState();
  ScopedEngineState(const ScopedEngineState &) = delete;
  ScopedEngineState &operator=(const ScopedEngineState &) = delete;

  // Makes db (or none) the program's query object until the guard goes; db stays the
  // caller's.
  void SetAcisDB(TAcisDB *db) { AcisDB = db; }

 private:
  TOptionData options_;
  TDataSites sites_;
  TAcisDB::TReferenceRefresh refresh_;
  TSQLiteDb::TFunctionRegistrar registrar_;
  bool debug_;
  TAcisDB *acis_;
  std::unique_ptr<TAcisDB> owned_;
};

// A log that keeps its lines (program text).
struct LogLines : ILogTarget {
  std::vector<std::string> lines;
  void AddLine(const std::string &line) override { lines.push_back(line); }
};

// The small sample kit (scripts/samplekit), generated once per test program into a
// temporary folder that lives until the program ends.
const std::filesystem::path &SmallKit();

}  // namespace qmtest
