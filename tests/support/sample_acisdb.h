// acis.db built from the small sample kit, for the tests of the windows that query it.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

class TAcisDB;

namespace qmtest {

class ScopedEngineState;

// Builds acis.db (with spec.db) in the folder from a sample kit's makers' files and
// reference scripts, in the update window's order.
void BuildSampleDb(const std::filesystem::path &kit, const std::filesystem::path &folder);

// The folder holding acis.db and spec.db built from the small sample kit (with the
// reference tables the windows read), made once per test program.
const std::filesystem::path &SampleDbFolder();

// acis.db and spec.db as the makers' service offers them ready-made: the sample databases
// with every reference table the program reads from them, made once per test program.
const std::filesystem::path &ReadyMadeDbFolder();

// The bytes of a ready-made database ("acis.db" or "spec.db") that carries a mark of its
// own (table "mark"), and the mark a database file carries ("<none>" without one, "<no
// file>" when there is no file).
std::string MarkedReadyMadeDb(const std::string &name, const std::string &mark);
std::string DbMark(const std::filesystem::path &db);

// Opens a query object on the sample database with the connection's search schema, and
// makes it the program-wide one (AcisDB) with the settings' database folder pointing at
// it, for the object's lifetime; the engine-state guard puts the program's state back.
class TSampleAcisDb {
 public:
  TSampleAcisDb();
  ~TSampleAcisDb();
  TSampleAcisDb(const TSampleAcisDb &) = delete;
  TSampleAcisDb &operator=(const TSampleAcisDb &) = delete;
  TAcisDB &db() { return *db_; }

 private:
  std::unique_ptr<ScopedEngineState> state_;
  std::unique_ptr<TAcisDB> db_;
};

}  // namespace qmtest
