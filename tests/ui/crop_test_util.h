// The database of the crop picker tests: acis.db in a fresh folder holding the sample
// kit's crop master with its views, the crop-group tables and the CVO tables, open as the
// program-wide query object, with a settings file of its own.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QTest>
#include <memory>
#include <string>

#include "engine/SqlFunctions.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "support/enginefixture.h"
#include "ui/picker_test_util.h"

namespace qmtest {

inline std::string U(const std::string &sjis) { return cp932::ToUtf8(sjis); }
inline std::string S(const char *utf8) { return cp932::FromUtf8(utf8); }

// Picks an item of a drop-down list as a user does: open the list, move to the item, Enter.
// The list reports the pick also when the item was already the current one.
inline void PickComboItem(QComboBox *Combo, const char *utf8) {
  const int i = Combo->findText(QString::fromUtf8(utf8));
  ASSERT_GE(i, 0) << utf8;
  Combo->showPopup();
  QAbstractItemView *view = Combo->view();
  view->setCurrentIndex(view->model()->index(i, 0));
  QTest::keyClick(view, Qt::Key_Return);
}

class CropDbTest : public ::testing::Test {
 protected:
  TempDir home;
  ScopedEngineState state{home.path()};
  TTempSettings settings;
  TScopedRecordingUi ui;
  LogLines log;
  std::unique_ptr<TAcisDB> db;

  void SetUp() override {
    TSQLiteDb::FunctionRegistrar = &RegisterSqlFunctions;
    db = std::make_unique<TAcisDB>(cp932::FromUtf8((home / "acis.db").string()), nullptr);
    const auto scripts = SmallKit() / "scripts";
    ASSERT_TRUE(db->ExecSQLFile(cp932::FromUtf8((scripts / "sakumotsu.txt").string()), false));
    ASSERT_TRUE(db->ExecSQLFile(cp932::FromUtf8((scripts / "spec.beppyo1.txt").string()), false));
    ASSERT_TRUE(db->ExecSQLFile(cp932::FromUtf8((scripts / "spec.cvo.utf8.txt").string()), true));
    AcisDB = db.get();
  }
  void TearDown() override {
    AcisDB = nullptr;
    db.reset();
  }
  int Count(const std::string &sql) { return static_cast<int>(db->Db().GetTable(sql)->FieldAsInteger(0)); }
};

}  // namespace qmtest
