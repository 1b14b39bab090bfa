// The reference tables of acis.db and spec.db, refreshed from the script files that the
// makers' data service publishes: each script is fetched into the download folder (from
// the shared folder or the data service) and run when the copy changed or its table is
// missing.

#include <fcntl.h>
#include <sqlite3.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
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
// for byte, when no transaction was open before).
class TScriptTransaction {
 public:
  explicit TScriptTransaction(TSQLiteDb &db) : db_(db), outer_(sqlite3_get_autocommit(db.Handle()) != 0) {
    db_.ExecSQL(outer_ ? "BEGIN TRANSACTION;" : "SAVEPOINT refresh_script;");
  }
  ~TScriptTransaction() {
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
    db_.ExecSQL(outer_ ? "COMMIT TRANSACTION;" : "RELEASE refresh_script;");
    committed_ = true;
  }

 private:
  TSQLiteDb &db_;
  const bool outer_;
  bool committed_ = false;
};

struct TRefreshRow {
  const char *file;
  std::initializer_list<const char *> tables;  // a missing one forces a run
  const char *done;                             // the log line after a successful run
  // The other tables and views the script makes, besides those tested: with the tested
  // ones, all that it may create, fill, change or drop (and their indexes). A name with a
  // schema ("spec.info") is the one in that database only.
  std::initializer_list<const char *> also = {};
  bool utf8 = false;
};

// Keeps a script to its own row while it runs: SQLite asks before each statement is
// prepared, and a statement that would reach another table, another database file, a
// setting of the connection or the transaction the script runs in (a ROLLBACK or RELEASE of
// its own) does not prepare, which fails the script. A script's own BEGIN, COMMIT or
// SAVEPOINT does nothing, as it always did: the script already runs in a transaction of
// ours. Reading any table stays free.
class TScriptBounds {
 public:
  TScriptBounds(TSQLiteDb &db, const TRefreshRow &row) : db_(db), row_(row) {
    sqlite3_set_authorizer(db_.Handle(), &TScriptBounds::Authorize, this);
  }
  ~TScriptBounds() { sqlite3_set_authorizer(db_.Handle(), nullptr, nullptr); }
  TScriptBounds(const TScriptBounds &) = delete;
  TScriptBounds &operator=(const TScriptBounds &) = delete;
  // The first statement refused, as SQLite named it ("DROP TABLE main.m_kihon"); empty
  // when none was.
  const std::string &Refused() const { return refused_; }

 private:
  static int Authorize(void *self, int action, const char *a1, const char *a2, const char *schema,
                       const char *) {
    auto &bounds = *static_cast<TScriptBounds *>(self);
    if (OpensOrEndsOurTransaction(action, a1)) return SQLITE_IGNORE;
    if (bounds.Allowed(action, a1, a2, schema)) return SQLITE_OK;
    if (bounds.refused_.empty()) bounds.refused_ = Describe(action, a1, a2, schema);
    return SQLITE_DENY;
  }
  // BEGIN, COMMIT (END) and SAVEPOINT of the script become no-ops inside our transaction;
  // only ROLLBACK and RELEASE would undo or end it.
  static bool OpensOrEndsOurTransaction(int action, const char *a1) {
    if (!a1) return false;
    if (action == SQLITE_TRANSACTION) return strcasecmp(a1, "BEGIN") == 0 || strcasecmp(a1, "COMMIT") == 0;
    return action == SQLITE_SAVEPOINT && strcasecmp(a1, "BEGIN") == 0;
  }
  bool Allowed(int action, const char *a1, const char *a2, const char *schema) {
    switch (action) {
      case SQLITE_SELECT:
      case SQLITE_READ:
      case SQLITE_FUNCTION:
      case SQLITE_RECURSIVE:
        return true;
      case SQLITE_INSERT:
      case SQLITE_UPDATE:
      case SQLITE_DELETE:
        // Making or dropping a table writes its line of the schema (and of the counters of
        // AUTOINCREMENT); SQLite itself refuses a statement that would write the schema.
        return IsSchemaTable(a1) || Owns(a1, schema);
      case SQLITE_CREATE_TABLE:
        return IsSchemaTable(a1) || Owns(a1, schema);

      case SQLITE_CREATE_TEMP_TABLE:
      case SQLITE_DROP_TABLE:
      case SQLITE_DROP_TEMP_TABLE:
      case SQLITE_CREATE_VIEW:
      case SQLITE_CREATE_TEMP_VIEW:
      case SQLITE_DROP_VIEW:
      case SQLITE_DROP_TEMP_VIEW:
      case SQLITE_ANALYZE:
        return Owns(a1, schema);
      case SQLITE_CREATE_INDEX:
      case SQLITE_CREATE_TEMP_INDEX:
        // An index belongs where its table does; SQLite fills the new one as a REINDEX.
        if (!Owns(a2, schema)) return false;
        made_indexes_.insert(Lower(a1));
        return true;
      case SQLITE_REINDEX:
        return a1 && made_indexes_.count(Lower(a1)) > 0;
      case SQLITE_DROP_INDEX:
      case SQLITE_DROP_TEMP_INDEX:
        return Owns(a2, schema);
      case SQLITE_ALTER_TABLE:
        return Owns(a2, a1);
      default:
        // Triggers (they would act later, outside these bounds), ATTACH, DETACH, PRAGMA,
        // the transaction and savepoints, REINDEX, virtual tables.
        return false;
    }
  }
  static bool IsSchemaTable(const char *name) {
    return name && (strcasecmp(name, "sqlite_master") == 0 || strcasecmp(name, "sqlite_temp_master") == 0 ||
                    strcasecmp(name, "sqlite_sequence") == 0);
  }
  static std::string Lower(const char *name) {
    std::string out = name ? name : "";
    for (char &c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
  }
  bool Owns(const char *name, const char *schema) const {
    if (!name) return false;
    auto matches = [&](const char *entry) {
      const char *dot = std::strchr(entry, '.');
      if (!dot) return strcasecmp(entry, name) == 0;
      return schema && strcasecmp(dot + 1, name) == 0 &&
             std::string_view(schema).size() == static_cast<std::size_t>(dot - entry) &&
             strncasecmp(entry, schema, static_cast<std::size_t>(dot - entry)) == 0;
    };
    return std::any_of(row_.tables.begin(), row_.tables.end(), matches) ||
           std::any_of(row_.also.begin(), row_.also.end(), matches);
  }
  static std::string Describe(int action, const char *a1, const char *a2, const char *schema) {
    static const std::map<int, const char *> kWords = {
        {SQLITE_CREATE_INDEX, "CREATE INDEX"},     {SQLITE_CREATE_TABLE, "CREATE TABLE"},
        {SQLITE_CREATE_TEMP_INDEX, "CREATE INDEX"}, {SQLITE_CREATE_TEMP_TABLE, "CREATE TABLE"},
        {SQLITE_CREATE_TEMP_TRIGGER, "CREATE TRIGGER"}, {SQLITE_CREATE_TEMP_VIEW, "CREATE VIEW"},
        {SQLITE_CREATE_TRIGGER, "CREATE TRIGGER"}, {SQLITE_CREATE_VIEW, "CREATE VIEW"},
        {SQLITE_DELETE, "DELETE FROM"},            {SQLITE_DROP_INDEX, "DROP INDEX"},
        {SQLITE_DROP_TABLE, "DROP TABLE"},         {SQLITE_DROP_TEMP_INDEX, "DROP INDEX"},
        {SQLITE_DROP_TEMP_TABLE, "DROP TABLE"},    {SQLITE_DROP_TEMP_TRIGGER, "DROP TRIGGER"},
        {SQLITE_DROP_TEMP_VIEW, "DROP VIEW"},      {SQLITE_DROP_TRIGGER, "DROP TRIGGER"},
        {SQLITE_DROP_VIEW, "DROP VIEW"},           {SQLITE_INSERT, "INSERT INTO"},
        {SQLITE_PRAGMA, "PRAGMA"},                 {SQLITE_TRANSACTION, ""},
        {SQLITE_UPDATE, "UPDATE"},                 {SQLITE_ATTACH, "ATTACH"},
        {SQLITE_DETACH, "DETACH"},                 {SQLITE_ALTER_TABLE, "ALTER TABLE"},
        {SQLITE_REINDEX, "REINDEX"},               {SQLITE_ANALYZE, "ANALYZE"},
        {SQLITE_CREATE_VTABLE, "CREATE VIRTUAL TABLE"}, {SQLITE_DROP_VTABLE, "DROP VIRTUAL TABLE"},
        {SQLITE_SAVEPOINT, "SAVEPOINT"}};
    const auto word = kWords.find(action);
    std::string text = word == kWords.end() ? std::to_string(action) : word->second;
    auto add = [&text](const std::string &part) { text += text.empty() ? part : " " + part; };
    if (action == SQLITE_ALTER_TABLE) {
      add(std::string(a1 ? a1 : "") + "." + (a2 ? a2 : ""));
      return text;
    }
    const bool object = action != SQLITE_PRAGMA && action != SQLITE_TRANSACTION && action != SQLITE_SAVEPOINT &&
                        action != SQLITE_ATTACH && action != SQLITE_DETACH;
    if (a1) add(object && schema ? std::string(schema) + "." + a1 : std::string(a1));
    if (a2 && action != SQLITE_UPDATE) add(a2);
    return text;
  }

  TSQLiteDb &db_;
  const TRefreshRow &row_;
  std::string refused_;
  std::set<std::string> made_indexes_;  // by this script, on its own tables
};

// The text of a script file as ExecSQLFile runs it: its lines joined with CRLF, from UTF-8
// when the file is (a leading byte-order mark dropped). False when the file is missing or is
// not text of its encoding; failure then says where (empty for a missing file). Bytes that are
// no character would reach the tables as "?" and pass for a sound copy.
bool ReadScript(const std::string &path, bool utf8, std::string &text, std::string &failure) {
  std::ifstream f(FsPath(path), std::ios::binary);
  if (!f) return false;
  std::string line;
  text.clear();
  while (std::getline(f, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    text += line + "\r\n";
  }
  std::size_t bad = text.size();
  if (utf8) {
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    // A malformed sequence does not come back whole from UTF-16.
    const std::string back = cp932::Utf16ToUtf8(cp932::Utf8ToUtf16(text));
    bad = static_cast<std::size_t>(std::mismatch(text.begin(), text.end(), back.begin(), back.end()).first -
                                   text.begin());
  } else {
    for (std::size_t i = 0, n = 0; i < text.size() && bad == text.size(); i += n)
      if (cp932::DecodeChar(text, i, &n) == U'?' && text[i] != '?') bad = i;
  }
  if (bad < text.size()) {
    failure = (utf8 ? "UTF-8" : "CP932") + " のテキストとして読めません("_sj + std::to_string(bad + 1) +
              " バイト目)"_sj;
    return false;
  }
  if (utf8) text = cp932::FromUtf8(text);
  return true;
}

// Offline (the setting or "/f"), opening a database reaches no network and no shared folder;
// the update run ("/u") fetches all the same, as its download step does.
bool Offline() { return !AutoUpdateSwitch && (OptionData->OffLine || OfflineSwitch); }

// Marks a local copy whose script failed as older than any copy the source holds, so that
// the next open fetches it again and runs it once more.
void MarkForRetry(const std::string &local) {
  struct timespec times[2] = {{0, UTIME_OMIT}, {0, 0}};
  utimensat(AT_FDCWD, FsPath(local).c_str(), times, 0);
}

// One row of the refresh family. extra_run forces a run as a missing table would;
// after_run runs after the script whatever its result.
bool RefreshTable(TAcisDB &db, const TRefreshRow &row, bool extra_run = false,
                  const std::function<void()> &after_run = nullptr) {
  std::string file = row.file;
  std::string local = JoinPath(OptionData->DownloadFolder, file);
  bool changed = false;
  if (Offline()) {
    // Only a missing table runs its script, from the copy at hand.
  } else if (OptionData->UseLAN) {
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
  std::string text, failure;
  bool result = ReadScript(local, row.utf8, text, failure);
  if (!failure.empty()) failure = local + ": "_sj + failure;
  // A statement that failed is shown once everything the script did is undone.
  std::optional<ESQLiteException> error;
  if (result) {
    std::vector<long long> before;
    for (const char *t : row.tables) before.push_back(db.RowsBefore(t, TableRows(db.Db(), t)));
    TScriptTransaction transaction(db.Db());
    {
      TBusyCursor busy;
      TScriptBounds bounds(db.Db(), row);
      db.SetMultiStatement(true);
      try {
        db.Db().ExecSQL(text);
      } catch (const ESQLiteException &e) {
        const std::string cause = bounds.Refused().empty()
                                      ? SqliteCause(e)
                                      : "このスクリプトに許されない操作です: "_sj + bounds.Refused();
        failure = local + " SQL実行失敗: "_sj + cause;
        error.emplace(bounds.Refused().empty() ? e.Message() : e.Message() + "\r\n" + cause);
        result = false;
      }
    }
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
  }
  if (error) ShowSqlErrorReport(local + " SQL実行"_sj, *error);
  if (!failure.empty()) {
    db.AddRefreshFailure(failure);
    MarkForRetry(local);
  }
  if (result) db.Log(cp932::FromUtf8(row.done));
  if (after_run) after_run();
  return result;
}

// The refresh family in its order. What each script may change is spelled out here, and
// only here: its tested tables and the rest of what it makes.
const TRefreshRow kBunrui{"spec.bunrui.txt", {"bunrui"}, "spec.bunrui 更新", {"koka"}};
const TRefreshRow kRyutsu{"spec.ryutsu.txt", {"ryutsu"}, "spec.ryutsu 更新"};
const TRefreshRow kIdshurui{"spec.idshurui.txt", {"idshurui"}, "spec.idshurui 更新"};
const TRefreshRow kIso{"spec.iso.txt", {"iso"}, "spec.iso 更新"};
const TRefreshRow kFrac{"spec.frac.txt", {"frac_mg"}, "spec.frac 更新"};
const TRefreshRow kIrac{"spec.irac.txt", {"irac_mg"}, "spec.irac 更新"};
const TRefreshRow kHrac{"spec.hrac.txt", {"hrac_mg"}, "spec.hrac 更新", {"rac", "rac2", "raccode"}};
const TRefreshRow kKwlists{"kwlists.txt", {"kwlists"}, "kwlists 更新"};
const TRefreshRow kBeppyo1{"spec.beppyo1.txt", {"beppyo1"}, "spec.beppyo1 更新", {"beppyo1n", "tekiyosakumotsu"}};
const TRefreshRow kFeedrice{"spec.feedrice.txt", {"feedrice"}, "spec.feedrice 更新"};
const TRefreshRow kTsushoruby{"tsushoruby.txt", {"tsushoruby"}, "tsushoruby 更新"};
const TRefreshRow kCvo{"spec.cvo.utf8.txt", {"cvo"}, "spec.cvo 更新", {"cvo2"}, true};
const TRefreshRow kRakuyokaju{"spec.rakuyokaju.txt", {"rakuyokaju"}, "spec.rakuyokaju 更新"};
const TRefreshRow kSeizai{"acis.seizai.txt", {"seizai"}, "acis.seizai 更新"};
const TRefreshRow kDokusei{"acis.dokusei.txt", {"m_dokusei", "dokusei"}, "m_dokusei 更新", {"spec.info"}};
const TRefreshRow kSuisan{"acis.suisan.txt", {"suisan"}, "suisan 更新"};
const TRefreshRow kOjas{"spec.ojas.txt", {"ojas"}, "spec.ojas 更新", {"ojas_shurui", "ojas_keito", "ojas_seibun"}};
const TRefreshRow kMSakumotsu{"sakumotsu.txt", {"m_sakumotsu"}, "m_sakumotsu 更新",
                               {"sakuhojo", "sakumotsu_ex", "vg_sakumotsu", "vg_sakumotsu2", "vs_sakumotsu2"}};
const TRefreshRow kMByochu{"byochu.txt", {"m_byochu"}, "m_byochu 更新", {"byochu", "cbyochu", "gbyochu"}};

const TRefreshRow *const kFamily[] = {&kBunrui, &kRyutsu, &kIdshurui, &kIso, &kFrac, &kIrac, &kHrac,
                                      &kKwlists, &kBeppyo1, &kFeedrice, &kTsushoruby, &kCvo, &kRakuyokaju,
                                      &kSeizai, &kDokusei, &kSuisan, &kOjas, &kMSakumotsu, &kMByochu};

}  // namespace

bool TAcisDB::ExecSQLFile(const std::string &Path, bool Utf8, std::string *Failure) {
  std::string text, unreadable;
  if (!ReadScript(Path, Utf8, text, unreadable)) {
    if (Failure) *Failure = unreadable;
    return false;
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
  if (const std::string outcome = svr.DownloadOutcome(result); !outcome.empty())
    Log(outcome);
  else
    Log("Status -> " + InetErrorName(svr.LastError) + " サーバー接続失敗!"_sj);
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
  if (Offline()) Log("オフラインモード 参照表の更新確認省略"_sj);
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
