// JPP data import: the product summary file and the active-ingredient file of the
// JPP-NET pesticide data service go into jpp.db (attached as jpp) beside acis.db.
//
// Every value is bound to a prepared statement, so no value can break a statement or
// add one of its own; and each import runs inside a savepoint, so a file that fails
// half way leaves the previous table as it was.
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <vector>

#include "engine/TextHelpers.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "platform/fspath.h"

using namespace cp932::literals;

namespace {

const std::string kHeaderMark = "#登録番号"_sj;

const std::string &SeizaiHeader() {
  static const std::string s =
      "#登録番号,混合数,登録種類名,商品名,登録会社名コード,登録会社名,登録会社連絡先,農薬用途コード,用途,"
      "物理化学的性状,初登録年月日,登録有効期限,失効,失効日,剤型コード,剤型名,人畜毒性(製剤としての),登録(更新)日,"
      "JPP農薬種類コード,JPP農薬種類名,失効理由,屋号抜き商品名,有機JASでの使用（注釈）※「使用できる」とは別表2に"
      "掲載されている農薬をいう,水産動植物への影響に係る使用上の注意事項,作用機構分類コード(IRAC),"
      "作用機構分類コード(FRAC),作用機構分類コード(HRAC)"_sj;
  return s;
}

const std::string &SeibunHeader() {
  static const std::string s =
      "#登録番号,有効成分コード,登録種類名,出力順,含有量,含有量(注釈),有効成分,有効成分種類,化学名,有効成分用途,"
      "人畜毒性(成分としての),毒劇除外1,毒劇除外2,失効日,系統コード,系統名,JPP農薬種類コード,JPP農薬種類名,"
      "作用機構分類コード,作用機構分類名"_sj;
  return s;
}

// The lines of a text file (CR LF, LF or CR end a line); false when it cannot be read.
bool ReadLines(const std::string &path, std::vector<std::string> &lines) {
  std::ifstream f(FsPath(path), std::ios::binary);
  if (!f) return false;
  std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  if (f.bad()) return false;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
    start = end + 1;
  }
  return true;
}

// Splits a line as comma text: fields end at a comma; a field may be enclosed in double
// quotes (a doubled quote inside stands for one); outside quotes a blank or control
// character also ends a field, and blanks around the separators are dropped.
std::vector<std::string> SplitCommaText(const std::string &line) {
  std::vector<std::string> out;
  std::size_t i = 0, n = line.size();
  auto blank = [&](std::size_t k) { return k < n && static_cast<unsigned char>(line[k]) <= ' '; };
  while (blank(i)) ++i;
  while (i < n) {
    std::string field;
    if (line[i] == '"') {
      ++i;
      while (i < n) {
        if (line[i] == '"') {
          if (i + 1 < n && line[i + 1] == '"') {
            field.push_back('"');
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        std::size_t len = cp932::CharLen(line, i);
        field.append(line, i, len);
        i += len;
      }
    } else {
      while (i < n && !blank(i) && line[i] != ',') {
        std::size_t len = cp932::CharLen(line, i);
        field.append(line, i, len);
        i += len;
      }
    }
    out.push_back(std::move(field));
    while (blank(i)) ++i;
    if (i < n && line[i] == ',') {
      if (i + 1 == n) out.emplace_back();
      do ++i;
      while (blank(i));
    }
  }
  return out;
}

// The display form of a row's statement for error reports: the values as quoted literals.
std::string StatementText(const std::string &table, const std::vector<std::string> &values) {
  std::string s = "INSERT INTO " + table + " VALUES (";
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i) s += ",";
    s += SqlQuoted(values[i]);
  }
  return s + ");";
}

// One prepared INSERT with a parameter per column.
class TRowInsert {
 public:
  TRowInsert(TSQLiteDb &db, const std::string &table, int columns) : db_(db), table_(table) {
    std::string sql = "INSERT INTO " + table + " VALUES (";
    for (int i = 0; i < columns; ++i) sql += i ? ",?" : "?";
    sql += ");";
    if (sqlite3_prepare_v2(db.Handle(), sql.c_str(), -1, &st_, nullptr) != SQLITE_OK)
      db.RaiseError("Error executing SQL", sql);
  }
  ~TRowInsert() { sqlite3_finalize(st_); }
  TRowInsert(const TRowInsert &) = delete;
  TRowInsert &operator=(const TRowInsert &) = delete;

  void Run(const std::vector<std::string> &values) {
    sqlite3_reset(st_);
    for (std::size_t i = 0; i < values.size(); ++i) {
      std::string utf8 = cp932::ToUtf8(values[i]);
      sqlite3_bind_text(st_, static_cast<int>(i + 1), utf8.data(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
    }
    if (sqlite3_step(st_) != SQLITE_DONE) {
      std::string text = StatementText(table_, values);
      db_.RaiseError("Error executing SQL statement", text);
    }
  }

 private:
  TSQLiteDb &db_;
  std::string table_;
  sqlite3_stmt *st_ = nullptr;
};

// The import's savepoint: released when the import went through, rolled back otherwise
// (a release that fails too), so that the previous table stays.
class TSavepoint {
 public:
  explicit TSavepoint(TSQLiteDb &db) : db_(db) { db_.ExecSQL("SAVEPOINT jpp_import;"); }
  ~TSavepoint() {
    if (!open_) return;
    try {
      db_.ExecSQL("ROLLBACK TO jpp_import;");
      db_.ExecSQL("RELEASE jpp_import;");
    } catch (const Exception &) {
      // The original failure is the one to report.
    }
  }
  TSavepoint(const TSavepoint &) = delete;
  TSavepoint &operator=(const TSavepoint &) = delete;
  void Release() {
    db_.ExecSQL("RELEASE jpp_import;");
    open_ = false;
  }

 private:
  TSQLiteDb &db_;
  bool open_ = true;
};

bool FileExists(const std::string &path) {
  std::error_code ec;
  return std::filesystem::exists(FsPath(path), ec);
}

std::string JppDbPath() {
  std::string folder = OptionData ? OptionData->DbFolder : std::string();
  if (!folder.empty() && folder.back() != '/') folder.push_back('/');
  return folder + "jpp.db";
}

}  // namespace

void TAcisDB::AttachJppDb() { Attach(JppDbPath(), "jpp"); }

void TAcisDB::CreateJppSeizaiTable() {
  SetMultiStatement(true);
  FDb->ExecSQL(
      "DROP TABLE IF EXISTS jpp.jppSeizai;\r\n"
      "CREATE TABLE jpp.jppSeizai ([bango] INTEGER PRIMARY KEY,[kongo] INTEGER,[shurui] VARCHAR,"
      "[shohinmei] VARCHAR,[idkaisha] VARCHAR,[kaisya] VARCHAR,[tel] VARCHAR,[idyoto] VARCHAR,[yoto] VARCHAR,"
      "[seijho] VARCHAR,[tourokubi] VARCHAR,[kigen] VARCHAR,[sikko] VARCHAR,[sikkobi] VARCHAR,[idzaikei] VARCHAR,"
      "[zaikei] VARCHAR,[seizaidokusei] VARCHAR,[kousinbi] VARCHAR,[idjpp] VARCHAR,[jppname] VARCHAR,"
      "[sikkoriyu] VARCHAR,[tsusho] VARCHAR,[yukijas] VARCHAR,[suisan] VARCHAR,[irac] VARCHAR,[frac] VARCHAR,"
      "[hrac] VARCHAR);");
}

void TAcisDB::CreateJppSeibunTable() {
  SetMultiStatement(true);
  FDb->ExecSQL(
      "DROP TABLE IF EXISTS jpp.jppSeibun;\r\n"
      "CREATE TABLE jpp.jppSeibun ([bango] INTEGER ,[idseibun] INTEGER,[shurui] VARCHAR,[idsub] INTEGER,"
      "[nodo] VARCHAR,[nodochu] VARCHAR,[ippanmei] VARCHAR,[seibun] VARCHAR,[kagakumei] VARCHAR,[yoto] VARCHAR,"
      "[dokusei] VARCHAR,[jyogai1] VARCHAR,[jyogai2] VARCHAR,[shikkobi] VARCHAR,[idkeito] VARCHAR,[keito] VARCHAR,"
      "[idjpp] VARCHAR,[jppname] VARCHAR,[idSayokiko] VARCHAR,[sayokikobunrui] VARCHAR);");
}

namespace {

// True when the first line holds the header; otherwise the wrong-file box is shown.
bool HasHeader(const std::vector<std::string> &lines, const std::string &header, const std::string &wrong_file) {
  if (!lines.empty() && FindSjis(lines[0], header) != std::string::npos) return true;
  UiServices().MessageBox(wrong_file, "Quillmar", MB_OK | MB_ICONERROR);
  return false;
}

bool JppAttached(TSQLiteDb &db) {
  auto t = db.GetTable("PRAGMA database_list;");
  for (; !t->Eof(); t->Next())
    if (t->FieldAsString(1) == "jpp") return true;
  return false;
}

// The frame both imports share: the table is made again and every line gives a row;
// lines whose first field is the header mark are skipped, and so are empty lines.
void ImportJppLines(TAcisDB &db, const std::vector<std::string> &lines, const std::function<void()> &create,
                    const std::string &table, int columns,
                    const std::function<void(std::vector<std::string> &)> &convert) {
  TSQLiteDb &conn = db.Db();
  // jpp.db is attached (made) for the import that needs it; when the import that made it
  // fails, the file goes again, as it was before.
  const bool made = !JppAttached(conn) && !FileExists(JppDbPath());
  if (!JppAttached(conn)) db.AttachJppDb();
  struct TMade {
    TSQLiteDb &conn;
    bool remove;
    ~TMade() {
      if (!remove) return;
      try {
        conn.ExecSQL("DETACH jpp;");
      } catch (const Exception &) {
        return;  // still attached: the file stays
      }
      std::error_code ec;
      std::filesystem::remove(FsPath(JppDbPath()), ec);
    }
  } made_here{conn, made};
  {
    TSavepoint savepoint(conn);
    create();
    TRowInsert insert(conn, table, columns);
    const int count = static_cast<int>(lines.size());
    const int step = count < 20 ? 1 : count / 20;
    if (IProgressTarget *bar = db.ProgressBar()) bar->SetRange(0, count);
    for (int i = 0; i < count; ++i) {
      std::vector<std::string> fields = SplitCommaText(lines[i]);
      if (!fields.empty() && fields[0] != kHeaderMark) {
        if (static_cast<int>(fields.size()) < columns)
          throw EConvertError(std::to_string(i + 1) + "行目の項目数が足りません ("_sj + std::to_string(fields.size()) +
                              "/" + std::to_string(columns) + ")");
        fields.resize(columns);
        convert(fields);
        insert.Run(fields);
      }
      if (i % step == 0)
        if (IProgressTarget *bar = db.ProgressBar()) bar->SetPosition(i);
      UiServices().ProcessMessages();
    }
    savepoint.Release();
  }
  made_here.remove = false;
}

}  // namespace

bool TAcisDB::ImportJppSeizai(const std::string &Path) {
  std::vector<std::string> lines;
  if (!FileExists(Path) || !ReadLines(Path, lines)) return false;
  if (!HasHeader(lines, SeizaiHeader(), "剤の概要CSVファイルではありません"_sj)) return false;
  ImportJppLines(*this, lines, [this] { CreateJppSeizaiTable(); }, "jpp.jppSeizai", 27,
                 [](std::vector<std::string> &) {});
  return true;
}

bool TAcisDB::ImportJppSeibun(const std::string &Path) {
  std::vector<std::string> lines;
  if (!FileExists(Path) || !ReadLines(Path, lines)) return false;
  if (!HasHeader(lines, SeibunHeader(), "JPP-NET 有効成分CSVファイルではありません"_sj)) return false;
  ImportJppLines(*this, lines, [this] { CreateJppSeibunTable(); }, "jpp.jppSeibun", 20,
                 [](std::vector<std::string> &f) {
                   for (int i : {2, 5, 6, 7}) f[i] = ToHankakuAscii(f[i]);
                   // The chemical name keeps its apostrophes as typographic ones.
                   std::string name = ToHankakuAscii(f[8]), out;
                   for (std::size_t k = 0; k < name.size(); k += cp932::CharLen(name, k)) {
                     if (name[k] == '\'')
                       out += "’"_sj;
                     else
                       out.append(name, k, cp932::CharLen(name, k));
                   }
                   f[8] = out;
                 });
  return true;
}
