// The reference tables of acis.db and spec.db, refreshed from the script files that the
// makers' data service publishes: each script is fetched into the download folder (from
// the shared folder or the data service) and run when the copy changed or its table is
// missing.

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <vector>

#include "engine/AcisSvr.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "platform/fspath.h"

using namespace cp932::literals;
namespace fs = std::filesystem;

namespace {

// A table of that name in any attached database (the lookup "PRAGMA table_info" makes
// without a schema), so that "bunrui" is found in spec.db.
bool TableAnywhere(TSQLiteDb &db, const std::string &name) {
  try {
    return db.GetTable("PRAGMA table_info(" + name + ")")->Count() > 0;
  } catch (const ESQLiteException &) {
    return false;
  }
}
bool TableAnywhere(TAcisDB &db, const std::string &name) { return TableAnywhere(db.Db(), name); }

// The rows of a table found as above; -1 when there is none.
long long TableRows(TSQLiteDb &db, const std::string &name) {
  if (!TableAnywhere(db, name)) return -1;
  try {
    const auto t = db.GetTable("SELECT count(*) FROM " + name);
    return t->Eof() ? 0 : t->FieldAsInteger(0);
  } catch (const ESQLiteException &) {
    return -1;
  }
}

// One refresh script as one transaction: what the script did stays only when it is
// committed; otherwise it is rolled back, and the tables are as they were (the file too, byte
// for byte, when no transaction was open before). A script that brings its own BEGIN, COMMIT
// or savepoints runs them as nothing, so that it can neither end the transaction early nor
// fail for starting one inside it.
class TScriptTransaction {
 public:
  explicit TScriptTransaction(TSQLiteDb &db) : db_(db), outer_(sqlite3_get_autocommit(db.Handle()) != 0) {
    db_.ExecSQL(outer_ ? "BEGIN TRANSACTION;" : "SAVEPOINT refresh_script;");
    sqlite3_set_authorizer(db_.Handle(), &TScriptTransaction::Authorize, nullptr);
  }
  ~TScriptTransaction() {
    sqlite3_set_authorizer(db_.Handle(), nullptr, nullptr);
    if (committed_) return;
    try {
      // A failure of the disk may have rolled the transaction back already.
      if (!outer_) {
        db_.ExecSQL("ROLLBACK TO refresh_script;");
        db_.ExecSQL("RELEASE refresh_script;");
      } else if (sqlite3_get_autocommit(db_.Handle()) == 0) {
        db_.ExecSQL("ROLLBACK TRANSACTION;");
      }
    } catch (const ESQLiteException &) {
      // The failure that ended the script is the one reported.
    }
  }
  TScriptTransaction(const TScriptTransaction &) = delete;
  TScriptTransaction &operator=(const TScriptTransaction &) = delete;
  // Raises when the commit fails; the script is then rolled back.
  void Commit() {
    sqlite3_set_authorizer(db_.Handle(), nullptr, nullptr);
    db_.ExecSQL(outer_ ? "COMMIT TRANSACTION;" : "RELEASE refresh_script;");
    committed_ = true;
  }

 private:
  static int Authorize(void *, int action, const char *, const char *, const char *, const char *) {
    return action == SQLITE_TRANSACTION || action == SQLITE_SAVEPOINT ? SQLITE_IGNORE : SQLITE_OK;
  }
  TSQLiteDb &db_;
  const bool outer_;
  bool committed_ = false;
};

// Marks a local copy whose script failed as older than any copy the source holds, so that
// the next open fetches it again and runs it once more.
void MarkForRetry(const std::string &local) {
  struct timespec times[2] = {{0, UTIME_OMIT}, {0, 0}};
  utimensat(AT_FDCWD, FsPath(local).c_str(), times, 0);
}

struct TRefreshRow {
  const char *file;
  std::initializer_list<const char *> tables;  // a missing one forces a run
  const char *done;                             // the log line after a successful run
  bool utf8 = false;
};

// One row of the refresh family. extra_run forces a run as a missing table would;
// after_run runs after the script whatever its result.
bool RefreshTable(TAcisDB &db, const TRefreshRow &row, bool extra_run = false,
                  const std::function<void()> &after_run = nullptr) {
  std::string file = row.file;
  std::string local = JoinPath(OptionData->DownloadFolder, file);
  bool changed;
  if (OptionData->UseLAN) {
    std::string shared = JoinPath(OptionData->dirLAN, file);
    db.Log("共有フォルダ確認: "_sj + shared);
    std::string message;
    changed = IsNewerFile(shared, local, message) && CopyFileToFolder(shared, local);
    db.Log("比較結果: "_sj + message);
  } else {
    changed = db.FetchDataFile(file, local);
  }
  bool missing = extra_run;
  for (const char *t : row.tables) missing = missing || !TableAnywhere(db, t);
  if (!changed && !missing) return false;
  // A missing copy runs nothing and changes nothing.
  bool result = fs::exists(FsPath(local));
  if (result) {
    std::vector<long long> before;
    for (const char *t : row.tables) before.push_back(db.RowsBefore(t, TableRows(db.Db(), t)));
    TScriptTransaction transaction(db.Db());
    std::string failure;
    result = db.ExecSQLFile(local, row.utf8, &failure);
    if (!result) failure = local + " SQL実行失敗: "_sj + failure;
    // A script cut short at a statement's end, or emptied, fails no statement: what it left
    // is what tells.
    std::size_t i = 0;
    for (const char *t : row.tables) {
      if (!result) break;
      const long long rows = TableRows(db.Db(), t);
      if (rows < 0)
        failure = local + ": 実行後に "_sj + t + " がありません"_sj;
      else if (rows == 0 && before[i] > 0)
        failure = local + ": 実行後の "_sj + t + " が空です(実行前 "_sj + std::to_string(before[i]) + " 行)"_sj;
      result = failure.empty();
      ++i;
    }
    if (result) {
      try {
        transaction.Commit();
      } catch (const ESQLiteException &e) {
        failure = local + " SQL実行失敗: "_sj + SqliteCause(e);
        result = false;
      }
    }
    if (!result) {
      db.AddRefreshFailure(failure);
      MarkForRetry(local);
    }
  }
  if (result) db.Log(cp932::FromUtf8(row.done));
  if (after_run) after_run();
  return result;
}

const TRefreshRow kBunrui{"spec.bunrui.txt", {"bunrui"}, "spec.bunrui 更新"};
const TRefreshRow kRyutsu{"spec.ryutsu.txt", {"ryutsu"}, "spec.ryutsu 更新"};
const TRefreshRow kIdshurui{"spec.idshurui.txt", {"idshurui"}, "spec.idshurui 更新"};
const TRefreshRow kIso{"spec.iso.txt", {"iso"}, "spec.iso 更新"};
const TRefreshRow kFrac{"spec.frac.txt", {"frac_mg"}, "spec.frac 更新"};
const TRefreshRow kIrac{"spec.irac.txt", {"irac_mg"}, "spec.irac 更新"};
const TRefreshRow kHrac{"spec.hrac.txt", {"hrac_mg"}, "spec.hrac 更新"};
const TRefreshRow kKwlists{"kwlists.txt", {"kwlists"}, "kwlists 更新"};
const TRefreshRow kBeppyo1{"spec.beppyo1.txt", {"beppyo1"}, "spec.beppyo1 更新"};
const TRefreshRow kFeedrice{"spec.feedrice.txt", {"feedrice"}, "spec.feedrice 更新"};
const TRefreshRow kTsushoruby{"tsushoruby.txt", {"tsushoruby"}, "tsushoruby 更新"};
const TRefreshRow kCvo{"spec.cvo.utf8.txt", {"cvo"}, "spec.cvo 更新", true};
const TRefreshRow kRakuyokaju{"spec.rakuyokaju.txt", {"rakuyokaju"}, "spec.rakuyokaju 更新"};
const TRefreshRow kSeizai{"acis.seizai.txt", {"seizai"}, "acis.seizai 更新"};
const TRefreshRow kDokusei{"acis.dokusei.txt", {"m_dokusei", "dokusei"}, "m_dokusei 更新"};
const TRefreshRow kSuisan{"acis.suisan.txt", {"suisan"}, "suisan 更新"};
const TRefreshRow kOjas{"spec.ojas.txt", {"ojas"}, "spec.ojas 更新"};
const TRefreshRow kMSakumotsu{"sakumotsu.txt", {"m_sakumotsu"}, "m_sakumotsu 更新"};
const TRefreshRow kMByochu{"byochu.txt", {"m_byochu"}, "m_byochu 更新"};

const TRefreshRow *const kFamily[] = {&kBunrui, &kRyutsu, &kIdshurui, &kIso, &kFrac, &kIrac, &kHrac,
                                      &kKwlists, &kBeppyo1, &kFeedrice, &kTsushoruby, &kCvo, &kRakuyokaju,
                                      &kSeizai, &kDokusei, &kSuisan, &kOjas, &kMSakumotsu, &kMByochu};

}  // namespace

bool TAcisDB::ExecSQLFile(const std::string &Path, bool Utf8, std::string *Failure) {
  std::ifstream f(FsPath(Path), std::ios::binary);
  if (!f) return false;
  std::string text, line;
  while (std::getline(f, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    text += line + "\r\n";
  }
  if (Utf8) {
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    text = cp932::FromUtf8(text);
  }
  TBusyCursor busy;
  SetMultiStatement(true);
  try {
    FDb->ExecSQL(text);
    return true;
  } catch (const ESQLiteException &e) {
    ShowSqlErrorReport(Path + " SQL実行"_sj, e);
    if (Failure) *Failure = SqliteCause(e);
    return false;
  }
}

long long TAcisDB::RowsBefore(const std::string &Table, long long Here) const {
  const auto previous = FPrevious.find(Table);
  return previous == FPrevious.end() ? Here : std::max(Here, previous->second);
}

void TAcisDB::AddRefreshFailure(const std::string &Line) {
  Log(Line);
  FRefreshFailures.push_back(Line);
}

bool TAcisDB::FetchDataFile(const std::string &FileName, const std::string &LocalPath) {
  TBusyCursor busy;
  TAcisSvr svr;
  svr.LogMemo = FLog;
  std::string url = GetTorvSiteUrl(OptionData->DownSiteTorvDB) + FileName;
  Log(url);
  if (!IsInternetConnected()) {
    Log("インターネット接続なし。更新確認省略..."_sj);
    return false;
  }
  bool result = svr.Download(url, LocalPath);
  Log(svr.StatusCode + " " + svr.StatusText);
  return result;
}

bool TAcisDB::UpdateBunrui() {
  return RefreshTable(*this, kBunrui, false, [this] {
    if (TableExists("m_kihon")) UpdateKoka();
  });
}
bool TAcisDB::UpdateRyutsu() { return RefreshTable(*this, kRyutsu); }
bool TAcisDB::UpdateIdshurui() { return RefreshTable(*this, kIdshurui); }
bool TAcisDB::UpdateIso() { return RefreshTable(*this, kIso); }

bool TAcisDB::UpdateFrac() {
  bool result = RefreshTable(*this, kFrac);
  // The tables of the former FRAC layout go, whether or not the script ran.
  ExecSQL("drop view if exists vFracbunrui;");
  for (const char *old : {"frac_code", "frac_codelist", "frac_sayoten", "frac_sayokiko"})
    if (TableAnywhere(*this, old)) ExecSQL(std::string("drop table if exists ") + old + ";");
  return result;
}

bool TAcisDB::UpdateIrac() { return RefreshTable(*this, kIrac); }
bool TAcisDB::UpdateHrac() { return RefreshTable(*this, kHrac); }
bool TAcisDB::UpdateKwlists() { return RefreshTable(*this, kKwlists); }
bool TAcisDB::UpdateBeppyo1() { return RefreshTable(*this, kBeppyo1); }
bool TAcisDB::UpdateFeedrice() { return RefreshTable(*this, kFeedrice); }
bool TAcisDB::UpdateTsushoruby() { return RefreshTable(*this, kTsushoruby); }
bool TAcisDB::UpdateCvo() { return RefreshTable(*this, kCvo); }
bool TAcisDB::UpdateRakuyokaju() { return RefreshTable(*this, kRakuyokaju); }
bool TAcisDB::UpdateSeizai() { return RefreshTable(*this, kSeizai); }

bool TAcisDB::UpdateDokusei() {
  // The data service notes in spec.info whether its toxicity data are in place.
  auto HasDokuseiInfo = [this] {
    try {
      return FDb->GetTable("select value from spec.info where item = 'm_dokusei'")->Count() > 0;
    } catch (const std::exception &) {
      return false;
    }
  };
  return RefreshTable(*this, kDokusei, !HasDokuseiInfo());
}

bool TAcisDB::UpdateSuisan() { return RefreshTable(*this, kSuisan); }
bool TAcisDB::UpdateOjas() { return RefreshTable(*this, kOjas); }
bool TAcisDB::UpdateMSakumotsu() { return RefreshTable(*this, kMSakumotsu); }
bool TAcisDB::UpdateMByochu() { return RefreshTable(*this, kMByochu); }

void TAcisDB::UpdateKoka() {
  std::string sql =
      "--/d\r\n"
      "-- テンポラリ効果テーブル\r\n"_sj +
      "drop table if exists t_koka;\r\n"
      "create temp table t_koka as select\r\n"
      "  bango,\r\n";
  for (int n = 1; n <= 5; ++n)
    sql += "  (select kokaid from spec.bunrui where seibun" + std::to_string(n) +
           " = seibun) as koka" + std::to_string(n) + (n < 5 ? ",\r\n" : "\r\n");
  sql +=
      "from m_kihon;\r\n"
      "alter table t_koka add column idkoka integer;\r\n"
      "alter table t_koka add column koka varchar;\r\n"
      "update t_koka set idkoka = ifnull(koka1, 0) | ifnull(koka2, 0) | ifnull(koka3, 0) | "
      "ifnull(koka4, 0) | ifnull(koka5, 0);\r\n" +
      "update t_koka set idkoka = (select kokaid from spec.koka where koka = '展着') where idkoka = 0;\r\n"_sj +
      "update t_koka set koka = concat('・',\r\n"_sj;
  static const int kMasks[] = {3,    4,    8,    16,   32,    64,    128,  256,
                               512, 1024, 2048, 4096, 8192, 16384, 32768};
  for (std::size_t i = 0; i < std::size(kMasks); ++i)
    sql += "  (select koka from spec.koka where kokaid = idkoka & " + std::to_string(kMasks[i]) +
           ")" + (i + 1 < std::size(kMasks) ? ",\r\n" : "\r\n");
  sql += ");\r\n" +
         "-- m_kihon 更新\r\n"_sj +
         "update m_kihon set koka = (select koka from t_koka where bango = m_kihon.bango);\r\n"
         "drop table if exists t_koka;\r\n";
  try {
    SetMultiStatement(true);
    FDb->ExecSQL(sql);
    Log("m_kihon koka 更新"_sj);
  } catch (const ESQLiteException &e) {
    ShowSqlErrorReport("m_kihon koka 更新 SQL実行"_sj, e);
  }
}

void TAcisDB::RefreshReferenceTables() {
  UpdateBunrui();
  UpdateRyutsu();
  UpdateIdshurui();
  UpdateIso();
  UpdateFrac();
  UpdateIrac();
  UpdateHrac();
  UpdateKwlists();
  UpdateBeppyo1();
  UpdateFeedrice();
  UpdateTsushoruby();
  UpdateCvo();
  UpdateRakuyokaju();
  UpdateSeizai();
  UpdateDokusei();
  UpdateSuisan();
  UpdateOjas();
  // The crop and pest masters of a database still being built come from the build.
  if (TableExists("m_tekiyo")) {
    UpdateMSakumotsu();
    UpdateMByochu();
  }
}

TRowCounts ReferenceRowCounts(TSQLiteDb &Db) {
  TRowCounts counts;
  for (const TRefreshRow *row : kFamily)
    for (const char *t : row->tables)
      if (const long long rows = TableRows(Db, t); rows >= 0) counts[t] = rows;
  return counts;
}

void InstallReferenceRefresh() {
  TAcisDB::ReferenceRefresh = [](TAcisDB &db) { db.RefreshReferenceTables(); };
}
