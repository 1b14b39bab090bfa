// A main window on the sample database for the tests of its result grids, outputs and SQL
// pane, with the recording boxes and dialogs, and the tests' own reading of the stored
// tables (straight through SQLite, never through the program's statements).
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <memory>
#include <sqlite3.h>
#include <string>
#include <vector>

#include "components/DialogServices.h"
#include "components/grid/ExcelUtil.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "support/sample_acisdb.h"
#include "ui/LogMemo.h"
#include "ui/main.h"
#include "ui/picker_test_util.h"

namespace qmtest {

using Rows = std::vector<std::vector<std::string>>;  // UTF-8 cells

// The rows of a statement on a connection, NULL as an empty text.
inline Rows SqliteRows(sqlite3 *db, const std::string &sql) {
  Rows out;
  sqlite3_stmt *st = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << sqlite3_errmsg(db) << " in " << sql;
    return out;
  }
  while (sqlite3_step(st) == SQLITE_ROW) {
    std::vector<std::string> row;
    for (int c = 0; c < sqlite3_column_count(st); ++c) {
      const unsigned char *t = sqlite3_column_text(st, c);
      row.emplace_back(t ? reinterpret_cast<const char *>(t) : "");
    }
    out.push_back(std::move(row));
  }
  sqlite3_finalize(st);
  return out;
}

// The data rows of a grid (row 0 is the header).
inline Rows GridRows(const TXlsStringGrid &g) {
  Rows out;
  for (int r = 1; r < g.RowCount(); ++r) {
    std::vector<std::string> row;
    for (int c = 0; c < g.ColCount(); ++c) row.push_back(cp932::ToUtf8(g.CellView(c, r)));
    out.push_back(std::move(row));
  }
  return out;
}

class MainWindowFixture : public ::testing::Test {
 protected:
  TTempSettings settings_;
  TScopedRecordingUi ui_;
  TScopedRecordingDialogs dialogs_;
  TSampleAcisDb db_;
  std::unique_ptr<TfrmMain> w;
  std::function<int(QDialog *)> saved_modal_ = TfrmMain::ShowModal;
  std::vector<std::string> modal_;  // class names of the dialogs shown modally

  void SetUp() override {
    DebugMode = false;
    TfrmMain::ShowModal = [this](QDialog *d) {
      modal_.push_back(d->metaObject()->className());
      return 0;
    };
    w = std::make_unique<TfrmMain>(QStringList{}, nullptr);
    w->IsStartUp = false;  // the sample database is open already: no start-up check
    w->resize(1000, 700);
    w->show();
    QCoreApplication::processEvents();
  }
  void TearDown() override {
    // The window closes what the query object's owner holds; the fixture's own object is
    // put back by the engine-state guard of the sample database.
    w.reset();
    TfrmMain::ShowModal = saved_modal_;
    DebugMode = false;
  }
  // The statement on the sample database, opened read-only beside the program.
  Rows QueryRows(const std::string &sql) {
    sqlite3 *db = nullptr;
    const std::string path = (SampleDbFolder() / "acis.db").string();
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    Rows rows = SqliteRows(db, sql);
    sqlite3_close(db);
    return rows;
  }
  // The statement on the program's own connection (its temporary tables).
  Rows ConnectionRows(const std::string &sql) { return SqliteRows(AcisDB->Db().Handle(), sql); }
  std::vector<std::string> LogUtf8() {
    std::vector<std::string> out;
    for (const auto &l : w->mLog->Lines()) out.push_back(cp932::ToUtf8(l));
    return out;
  }
};

}  // namespace qmtest
