#include "engine/DbCheck.h"

#include <sqlite3.h>

#include <algorithm>
#include <functional>
#include <system_error>

#include "engine/AcisSvr.h"
#include "platform/cp932.h"
#include "platform/fspath.h"

using namespace cp932::literals;
namespace fs = std::filesystem;

const std::vector<const char *> &AcisDbTables() {
  static const std::vector<const char *> tables{"m_sakumotsu", "m_byochu", "seibun", "m_kihon", "m_tekiyo"};
  return tables;
}

const std::vector<const char *> &SpecDbTables() {
  static const std::vector<const char *> tables{"bunrui", "koka", "cvo", "cvo2", "beppyo1n", "tekiyosakumotsu"};
  return tables;
}

namespace {

// A read-only connection that runs one statement at a time; a failure leaves its text in
// Error (program text).
class TReader {
 public:
  explicit TReader(const std::string &path) {
    if (sqlite3_open_v2(cp932::ToUtf8(path).c_str(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) Fail();
  }
  ~TReader() { sqlite3_close(db_); }
  TReader(const TReader &) = delete;
  TReader &operator=(const TReader &) = delete;

  // The first column of each row in turn, until row gives false; false when the
  // statement failed.
  bool Rows(const std::string &sql, const std::function<bool(const std::string &)> &row) {
    if (!Error.empty()) return false;
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
      Fail();
      return false;
    }
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
      const unsigned char *text = sqlite3_column_text(st, 0);
      if (!row(text ? cp932::FromUtf8(reinterpret_cast<const char *>(text)) : std::string())) {
        rc = SQLITE_DONE;
        break;
      }
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) Fail();
    return rc == SQLITE_DONE;
  }
  // The first value of the first row; none: the empty text.
  std::string One(const std::string &sql) {
    std::string value;
    Rows(sql, [&](const std::string &v) {
      value = v;
      return false;
    });
    return value;
  }

  std::string Error;
  int Code = SQLITE_OK;

 private:
  void Fail() {
    Error = db_ ? cp932::FromUtf8(sqlite3_errmsg(db_)) : std::string("out of memory");
    Code = db_ ? sqlite3_errcode(db_) : SQLITE_NOMEM;
  }
  sqlite3 *db_ = nullptr;
};

bool IsInteger(const std::string &text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos && text.size() <= 9;
}

}  // namespace

std::string DatabaseDefect(const std::string &path, const std::string &name) {
  TReader db(path);
  // The quick check reads every page of the file; a file that is no database fails at its
  // first page.
  std::vector<std::string> problems;
  db.Rows("PRAGMA quick_check(3)", [&](const std::string &line) {
    problems.push_back(line);
    return true;
  });
  // A page that cannot be read at all stops the check with SQLite's word for it.
  if (db.Code == SQLITE_CORRUPT) return name + " は壊れています ("_sj + db.Error + ")";
  if (!db.Error.empty()) return name + " はデータベースとして開けません ("_sj + db.Error + ")";
  if (problems.size() != 1 || problems[0] != "ok") {
    std::string text;
    for (const std::string &p : problems) text += (text.empty() ? "" : " / ") + p;
    return name + " は壊れています (quick_check: "_sj + text + ")";
  }
  const std::vector<const char *> none;
  const std::vector<const char *> &tables = name == "acis.db" ? AcisDbTables() : name == "spec.db" ? SpecDbTables() : none;
  std::vector<std::string> required(tables.begin(), tables.end());
  if (name == "acis.db") required.insert(required.begin(), "info");
  for (const std::string &table : required) {
    const std::string found = db.One("SELECT name FROM sqlite_master WHERE type IN ('table','view') AND name = '" +
                                     table + "' COLLATE NOCASE");
    if (found.empty()) return name + " にテーブル "_sj + table + " がありません"_sj;
    const std::string any = db.One("SELECT 1 FROM \"" + found + "\" LIMIT 1");
    if (!db.Error.empty()) return name + " のテーブル "_sj + table + " が読めません ("_sj + db.Error + ")";
    if (any.empty()) return name + " のテーブル "_sj + table + " にレコードがありません"_sj;
  }
  if (name == "acis.db") {
    // The schema version decides at start-up whether the database must be built again.
    const std::string version = db.One("SELECT Value FROM info WHERE Item = 'Version'");
    if (!db.Error.empty() || !IsInteger(version))
      return name + " の info に読める Version がありません"_sj + (version.empty() ? "" : " ('" + version + "')");
  }
  return {};
}

// ---------------------------------------------------------------- staging

TDatabaseStaging::TDatabaseStaging(const std::string &db_folder)
    : db_folder_(db_folder), folder_(JoinPath(db_folder, "acis.db")) {}

std::string TDatabaseStaging::Defect(const std::string &name) const {
  if (!folder_.Holds(name)) return MissingEntryText(name);
  return DatabaseDefect(FromFsPath(folder_.Path() / FsPath(name)), name);
}

bool TDatabaseStaging::Place(std::string &why) {
  std::error_code ec;
  std::vector<fs::path> files;
  for (const auto &entry : fs::directory_iterator(folder_.Path(), ec)) files.push_back(entry.path());
  std::stable_partition(files.begin(), files.end(), [](const fs::path &f) { return f.filename() != "acis.db"; });
  for (const fs::path &file : files) {
    const std::string target = JoinPath(db_folder_, FromFsPath(file.filename()));
    fs::rename(file, FsPath(target), ec);
    if (ec) {
      why = target + " を置けません: "_sj + cp932::FromUtf8(ec.message());
      return false;
    }
  }
  return true;
}
