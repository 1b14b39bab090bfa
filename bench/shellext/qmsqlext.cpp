// The program's SQL functions as a loadable extension of the sqlite3 shell, so that the
// benchmarks' reference runs can run the very statements the program runs:
//
//   sqlite3 -cmd ".load build/bench/libqmsqlext.so" acis.db
//
// The shell and the functions share the system's SQLite library, so the functions register
// on the shell's connection as they do on the program's own (with its quoting settings).
#include <sqlite3.h>

#include "engine/PcreRegEx.h"
#include "engine/SqlFunctions.h"

extern "C" __attribute__((visibility("default"))) int sqlite3_qmsqlext_init(sqlite3 *db, char **,
                                                                            const void *) {
  sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 1, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DDL, 1, nullptr);
  // One regular-expression object per connection, as the program's connections have; it
  // lives as long as the shell.
  RegisterSqlFunctions(db, new TPcreRegEx);
  return SQLITE_OK;
}
