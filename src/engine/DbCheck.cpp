#include "engine/DbCheck.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <system_error>

#include "engine/AcisSvr.h"
#include "engine/SQLite.h"
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

// Table names are ASCII, and SQLite matches them without case.
bool SameName(const std::string &a, const std::string &b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

bool IsInteger(const std::string &text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos && text.size() <= 9;
}

}  // namespace

TRowCounts PreviousRowCounts(const std::string &path) {
  std::error_code ec;
  if (!fs::exists(FsPath(path), ec)) return {};
  try {
    TSQLiteDb old(path);
    return ReferenceRowCounts(old);
  } catch (const ESQLiteException &) {
    return {};
  }
}

std::string DatabaseDefect(const std::string &path, const std::string &name, const std::string &replaces) {
  TReader db(path);
  // The integrity check reads every page of the file and also compares each index with its
  // table: an index that disagrees passes the quick check, and a search through it then
  // returns another column's values. A file that is no database fails at its first page.
  std::vector<std::string> problems;
  db.Rows("PRAGMA integrity_check(3)", [&](const std::string &line) {
    problems.push_back(line);
    return true;
  });
  // A page that cannot be read at all stops the check with SQLite's word for it.
  if (db.Code == SQLITE_CORRUPT) return name + " は壊れています ("_sj + db.Error + ")";
  if (!db.Error.empty()) return name + " はデータベースとして開けません ("_sj + db.Error + ")";
  if (problems.size() != 1 || problems[0] != "ok") {
    std::string text;
    for (const std::string &p : problems) text += (text.empty() ? "" : " / ") + p;
    return name + " は壊れています (integrity_check: "_sj + text + ")";
  }
  // The tables every database of the name holds, then those the old one held with rows:
  // nothing restores a reference table that the new one lacks.
  const std::vector<const char *> none;
  const std::vector<const char *> &tables = name == "acis.db" ? AcisDbTables() : name == "spec.db" ? SpecDbTables() : none;
  std::vector<std::pair<std::string, long long>> required;
  if (name == "acis.db") required.emplace_back("info", 0);
  for (const char *t : tables) required.emplace_back(t, 0);
  if (!replaces.empty())
    for (const auto &[table, rows] : PreviousRowCounts(replaces)) {
      const auto same = [&](const auto &r) { return SameName(r.first, table); };
      if (rows > 0 && std::none_of(required.begin(), required.end(), same)) required.emplace_back(table, rows);
    }
  for (const auto &[table, rows_before] : required) {
    const std::string before = rows_before > 0 ? "(更新前は "_sj + std::to_string(rows_before) + " 行)"_sj : "";
    const std::string found = db.One("SELECT name FROM sqlite_master WHERE type IN ('table','view') AND name = '" +
                                     table + "' COLLATE NOCASE");
    if (found.empty()) return name + " にテーブル "_sj + table + " がありません"_sj + before;
    const std::string any = db.One("SELECT 1 FROM \"" + found + "\" LIMIT 1");
    if (!db.Error.empty()) return name + " のテーブル "_sj + table + " が読めません ("_sj + db.Error + ")";
    if (any.empty()) return name + " のテーブル "_sj + table + " にレコードがありません"_sj + before;
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

TDatabaseStaging::TDatabaseStaging(const std::string &db_folder, const std::string &name)
    : db_folder_(db_folder), name_(name), folder_(JoinPath(db_folder, "acis.db")) {}

std::string TDatabaseStaging::Defect() const {
  if (!folder_.Holds(name_)) return MissingEntryText(name_);
  return DatabaseDefect(FromFsPath(folder_.Path() / FsPath(name_)), name_, JoinPath(db_folder_, name_));
}

std::vector<std::string> TDatabaseStaging::Unplaced(const std::string &archive) const {
  std::vector<std::string> lines;
  std::error_code ec;
  for (fs::directory_iterator it(folder_.Path(), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string entry = FromFsPath(it->path().filename());
    if (entry != name_)
      lines.push_back(archive + ": " + entry + " は置きません(この書庫から置くのは "_sj + name_ + " だけです)"_sj);
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

bool TDatabaseStaging::Place(std::string &why) {
  const std::string target = JoinPath(db_folder_, name_);
  std::error_code ec;
  fs::rename(folder_.Path() / FsPath(name_), FsPath(target), ec);
  if (!ec) return true;
  why = target + " を置けません: "_sj + cp932::FromUtf8(ec.message());
  return false;
}
