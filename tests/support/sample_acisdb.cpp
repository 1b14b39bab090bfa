#include "support/sample_acisdb.h"

#include <stdexcept>

#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/archive.h"
#include "platform/cp932.h"
#include "support/enginefixture.h"
#include "support/testutil.h"

namespace fs = std::filesystem;

namespace qmtest {

namespace {

void Unpack(const fs::path &archive, const fs::path &to) {
  std::string command = "x -r -hide -aoa -y \"" + cp932::FromUtf8(archive.string()) + "\" -o\"" +
                        cp932::FromUtf8(to.string()) + "/\"";
  char output[4096];
  if (sevenzip::SevenZip(nullptr, command.c_str(), output, sizeof output) != 0)
    throw std::runtime_error("cannot unpack " + archive.string());
}

}  // namespace

void BuildSampleDb(const fs::path &kit, const fs::path &folder) {
  const fs::path unpacked = folder / "x-toroku";
  Unpack(kit / "makers/toroku.zip", unpacked);

  TScopedRecordingUi ui;
  const std::string saved_folder = OptionData->DbFolder;
  const TAcisDB::TReferenceRefresh saved_refresh = TAcisDB::ReferenceRefresh;
  OptionData->DbFolder = folder.string();
  TAcisDB::ReferenceRefresh = nullptr;
  {
    TAcisDB db((folder / "acis.db").string(), nullptr);
    for (const char *script : {"spec.bunrui.txt", "spec.iso.txt", "spec.irac.txt", "spec.frac.txt",
                               "spec.hrac.txt", "acis.seizai.txt", "acis.dokusei.txt", "spec.ojas.txt",
                               "sakumotsu.txt", "byochu.txt", "tsushoruby.txt", "spec.idshurui.txt"})
      db.Db().ExecSQL(ReadFile(kit / "scripts" / script));
    db.CreateTables();
    db.ImportKihonCsv(cp932::FromUtf8((unpacked / "kihon.csv").string()));
    db.ImportTekiyoCsv(cp932::FromUtf8((unpacked / "tekiyo.csv").string()));
    db.FillTmKihon();
    db.BuildMKihon();
    db.CreateSeibun();
    db.CreateIndexes();
    db.CreateTekiyoViews();
    db.SetLastUpdate("2026.11.30");
  }
  OptionData->DbFolder = saved_folder;
  TAcisDB::ReferenceRefresh = saved_refresh;
  if (!ui.reports.empty()) throw std::runtime_error("the sample database build reported: " + ui.reports[0].text);
}

const fs::path &SampleDbFolder() {
  static TempDir dir;
  static bool built = (BuildSampleDb(SmallKit(), dir.path()), true);
  (void)built;
  return dir.path();
}

const fs::path &ReadyMadeDbFolder() {
  static const struct Made {
    TempDir dir;
    Made() {
      for (const char *f : {"acis.db", "spec.db"}) fs::copy_file(SampleDbFolder() / f, dir / f);
      TSQLiteDb db((dir / "acis.db").string());
      db.MultiStatement = true;
      db.ExecSQL("ATTACH '" + (dir / "spec.db").string() + "' AS spec;");
      db.ExecSQL(ReadFile(SmallKit() / "scripts" / "spec.beppyo1.txt"));
      db.ExecSQL(cp932::FromUtf8(ReadFile(SmallKit() / "scripts" / "spec.cvo.utf8.txt")));
    }
  } made;
  return made.dir.path();
}

std::string MarkedReadyMadeDb(const std::string &name, const std::string &mark) {
  TempDir dir;
  fs::copy_file(ReadyMadeDbFolder() / name, dir / name);
  {
    TSQLiteDb db((dir / name).string());
    db.MultiStatement = true;
    db.ExecSQL("CREATE TABLE mark (v); INSERT INTO mark VALUES (" + SqlQuoted(mark) + ");");
  }
  return ReadFile(dir / name);
}

std::string DbMark(const fs::path &db) {
  if (!fs::exists(db)) return "<no file>";
  try {
    TSQLiteDb d(db.string());
    auto t = d.GetTable("SELECT v FROM mark");
    return t->Eof() ? "<none>" : t->FieldAsString(0);
  } catch (const std::exception &) {
    return "<none>";
  }
}

TSampleAcisDb::TSampleAcisDb() : state_(std::make_unique<ScopedEngineState>()) {
  const fs::path &folder = SampleDbFolder();
  OptionData->DbFolder = folder.string();
  const TAcisDB::TReferenceRefresh saved_refresh = TAcisDB::ReferenceRefresh;
  TAcisDB::ReferenceRefresh = nullptr;
  db_ = std::make_unique<TAcisDB>((folder / "acis.db").string(), nullptr);
  TAcisDB::ReferenceRefresh = saved_refresh;
  db_->CreateViews();
  state_->SetAcisDB(db_.get());
}

TSampleAcisDb::~TSampleAcisDb() {
  state_.reset();  // the program's query object and settings come back first
  db_.reset();
}

}  // namespace qmtest
