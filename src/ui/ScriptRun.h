// One run of an SQL script on a connection: multi-statement mode is set for the run and put
// back afterwards, and a transaction the script opened but did not end (a statement failed
// before its COMMIT) is rolled back, so that it cannot swallow what later scripts write.
#pragma once

#include <sqlite3.h>

#include "engine/SQLite.h"

class TScriptRun {
 public:
  explicit TScriptRun(TSQLiteDb &Db, bool Multi = true)
      : db_(Db), saved_(Db.MultiStatement), was_open_(!sqlite3_get_autocommit(Db.Handle())) {
    db_.MultiStatement = Multi;
  }
  ~TScriptRun() {
    if (!keep_open_ && !was_open_ && !sqlite3_get_autocommit(db_.Handle())) {
      try {
        db_.ExecSQL("ROLLBACK;");
      } catch (...) {
        // the transaction ended meanwhile
      }
    }
    db_.MultiStatement = saved_;
  }
  // The script ran to its end: a transaction it left open was meant to stay open.
  void Completed() { keep_open_ = true; }
  TScriptRun(const TScriptRun &) = delete;
  TScriptRun &operator=(const TScriptRun &) = delete;

 private:
  TSQLiteDb &db_;
  bool saved_;
  bool was_open_;
  bool keep_open_ = false;
};
