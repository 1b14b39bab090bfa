// The only code that talks to SQLite. TSQLiteDb is one open connection; TSQLiteTbl is the
// fully buffered result of one query, read with a row cursor. Both raise ESQLiteException.
//
// Program text (SQL, file names, cells, names, messages) is CP932; SQLite sees UTF-8.
//
// Extension hook. Two settable functions serve every connection:
//   - TSQLiteDb::FunctionRegistrar, when set, is called on each new connection right after it
//     opens, with the handle and the connection's own TPcreRegEx; it registers the program's
//     SQL functions there.
//   - TSQLiteDb::SqlTextFilter turns each SQL text (program text) into the UTF-8 text that is
//     prepared. Error messages always quote the caller's text.
// Their defaults are RegisterSqlFunctions and ToSqliteText (engine/SqlFunctions.h), so every
// connection has the program's functions; tests may swap them for a while.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Exception.h"
#include "engine/PcreRegEx.h"

struct sqlite3;
struct sqlite3_stmt;
class TSQLiteTbl;

class ESQLiteException : public Exception {
 public:
  // Code: SQLite's primary result code for the failure; 0 when it was not SQLite's own.
  explicit ESQLiteException(const std::string &message, int Code = 0) : Exception(message), ErrorCode(Code) {}
  const char *ClassName() const override { return "ESQLiteException"; }
  // Another connection held a lock that the statement needed: the file is in use, not broken.
  bool Busy() const;
  int ErrorCode = 0;
};

// How far one read may go. Poll, when set, is called every few thousand steps of a running
// statement (so a caller can let the window's events run); its answer true ends the read.
// MaxCells, when not 0, ends the read before a row would take the result past that many
// cells. Either way the rows read so far stay in the result, which says why it ended. A
// poll that raises ends the read too, but as a failure: its exception comes out of the read
// once the statement has returned, and nothing that was read is kept.
struct TReadLimits {
  std::function<bool()> Poll;
  std::size_t MaxCells = 0;
};

// How a read ended.
enum class TReadEnd { Complete, Stopped, CellBound };

class TSQLiteDb {
 public:
  using TFunctionRegistrar = void (*)(sqlite3 *Handle, TPcreRegEx *RegEx);
  using TSqlTextFilter = std::string (*)(const std::string &Sql);
  static TFunctionRegistrar FunctionRegistrar;
  static TSqlTextFilter SqlTextFilter;

  // Opens (or creates) the database; raises ESQLiteException
  // 'Failed to open database "<file>" : <reason>'.
  explicit TSQLiteDb(const std::string &FileName);
  // Rolls back a pending transaction and closes the connection.
  ~TSQLiteDb();
  TSQLiteDb(const TSQLiteDb &) = delete;
  TSQLiteDb &operator=(const TSQLiteDb &) = delete;

  // Runs the first statement of the text, or all of them with MultiStatement; rows are
  // discarded. Statements before a failing one stay executed.
  void ExecSQL(const std::string &SQL);
  // Runs the text and returns the buffered rows. With MultiStatement, the statements up to
  // and including the first one that returns rows run; that one's rows are the result.
  std::unique_ptr<TSQLiteTbl> GetTable(const std::string &SQL);
  // The same within the limits (see TReadLimits). While Poll runs, the connection refuses
  // every other statement ("SQLite is Busy"): SQLite forbids using it from there.
  std::unique_ptr<TSQLiteTbl> GetTable(const std::string &SQL, const TReadLimits &Limits);
  // False when the first statement of the text would change a database or the schema, as
  // SQLite judges it: "WITH ... DELETE" and "PRAGMA user_version = 1" are writes, a query or
  // "PRAGMA table_info(...)" is not. A text that does not prepare counts as read-only;
  // running it reports the error.
  bool IsReadOnly(const std::string &SQL);

  void BeginTransaction();
  void Commit();
  bool InTransaction() const { return FInTransaction; }
  bool TableExists(const std::string &TableName);
  static std::string Version();
  // Raises the failure of the last library call: Msg + ' "<SQL>" : <SQLite message>'.
  [[noreturn]] void RaiseError(const std::string &Msg, const std::string &SQL);

  bool MultiStatement = false;
  TPcreRegEx *RegEx() const { return FRegEx.get(); }
  sqlite3 *Handle() const { return FHandle; }

 private:
  friend class TSQLiteTbl;
  friend class TSQLiteStmt;
  std::string ErrorText(const std::string &Msg, const std::string &SQL) const;
  template <typename F>
  void ForEachStatement(const std::string &SQL, F Step);

  sqlite3 *FHandle = nullptr;
  bool FInTransaction = false;
  bool FPolling = false;
  std::unique_ptr<TPcreRegEx> FRegEx;
};

// One prepared statement with bound values, run again and again: the data imports insert
// their rows through it, so no value is ever pasted into SQL text. Values are program
// text; parameters are numbered from 1. The text is prepared as it is (no filter).
class TSQLiteStmt {
 public:
  // Raises 'Error executing SQL "<SQL>" : <reason>' when the text does not prepare.
  TSQLiteStmt(TSQLiteDb &Db, const std::string &SQL);
  ~TSQLiteStmt();
  TSQLiteStmt(const TSQLiteStmt &) = delete;
  TSQLiteStmt &operator=(const TSQLiteStmt &) = delete;

  int ParamCount() const;
  void BindText(int Index, std::string_view Value);
  void BindInteger(int Index, int64_t Value);
  void BindNull(int Index);
  // Runs the statement to its end, then resets it and clears its values; raises
  // 'Error executing SQL statement "<SQL>" : <reason>' on failure (and resets too).
  void Exec();

 private:
  TSQLiteDb &FDb;
  std::string FSQL;
  sqlite3_stmt *FStmt = nullptr;
};

// Column types of a result.
enum : int { dtUnknown = 0, dtInt = 1, dtNumeric = 2, dtStr = 3, dtBlob = 4 };

class TSQLiteTbl {
 public:
  ~TSQLiteTbl();
  TSQLiteTbl(const TSQLiteTbl &) = delete;
  TSQLiteTbl &operator=(const TSQLiteTbl &) = delete;

  int Count() const { return FCount; }
  // Complete unless the read was stopped or reached its bound on cells (TReadLimits).
  TReadEnd End() const { return FEnd; }
  int ColCount() const { return static_cast<int>(FColTypes.size()); }
  // True when the cursor is past the last row.
  bool Eof() const { return Row >= FCount; }
  // Upper-cased name of column i.
  const std::string &Columns(int i) const { return FColNames[i]; }
  // Declared-type decision of column i (dtUnknown until a value decides it).
  int ColumnType(int i) const { return FColTypes[i]; }
  int FieldIndex(const std::string &FieldName) const;

  // Value of column i in the current row. Fields: integers and floats as text ("0" for
  // NULL), blobs as their bytes, text as stored ('' for NULL). FieldAsString: '' for NULL.
  std::string Fields(int i) const;
  std::string FieldAsString(int i) const;
  int64_t FieldAsInteger(int i) const;
  double FieldAsDouble(int i) const;
  // The blob's bytes (valid while the table lives); no value for NULL.
  std::optional<std::string_view> FieldAsBlob(int i) const;
  // The blob's bytes as text ('' for NULL or an empty blob); other values as FieldAsString.
  std::string FieldAsBlobText(int i) const;
  // FieldAsString without a copy: the text of column i in the current row, valid while the
  // table lives; a number is written into scratch and the view points there.
  std::string_view FieldView(int i, std::string &scratch) const;
  // Bytes the cells hold (numbers counted as their 8 stored bytes): a size hint for a copy.
  std::size_t TextBytes() const { return FBytes; }

  void Next() {
    if (Row < FCount) ++Row;
  }
  bool MoveFirst() {
    if (FCount > 0) Row = 0;
    return FCount > 0;
  }

  int Row = 0;

 private:
  friend class TSQLiteDb;
  TSQLiteTbl() = default;
  void AddRow(sqlite3_stmt *st);
  void DecideColumns(sqlite3_stmt *st);
  struct Number {
    bool is_int;
    int64_t i;
    double d;
  };
  Number NumberAt(int i) const;
  std::string_view Bytes(std::size_t cell) const;
  void CheckEOF() const;
  // Room for n more bytes of the row being added, which starts at row_start in the last
  // block; a row that does not fit moves whole to a new block. Returns the write position.
  char *Room(std::size_t n, uint64_t &row_start);
  void Put(const void *p, std::size_t n, uint64_t &row_start);

  int FCount = 0;
  TReadEnd FEnd = TReadEnd::Complete;
  std::vector<int> FColTypes;
  std::vector<std::string> FColNames;
  // The rows sit in blocks, one after the other, a row never split: a row starts at
  // FRowStart[r] (block number in the bits above kBlockShift, offset below) with its head,
  // the end of each cell's bytes (4 bytes each, relative to the end of the head) and each
  // cell's own storage class (1 byte each, 0 for NULL, with kConverted set when the bytes
  // begin with the number SQLite gave for a text or blob value in a numeric column); the
  // cells' bytes follow. Full blocks stay where they are, so a large result is never copied
  // to grow.
  struct Block {
    std::unique_ptr<char[]> data;
    std::size_t size = 0, capacity = 0;
  };
  static constexpr int kBlockShift = 40;
  std::size_t HeadBytes() const { return FColTypes.size() * (sizeof(uint32_t) + 1); }
  const char *RowAt(uint64_t start) const;
  char *RowAt(uint64_t start);
  uint8_t Kind(std::size_t cell) const;
  std::vector<Block> FBlocks;
  std::size_t FBytes = 0;
  std::vector<uint64_t> FRowStart;
};

// The one way to put a text into SQL as a literal: in single quotes, each single quote inside
// doubled, nothing else changed. It works on bytes, so it serves CP932 and UTF-8 text alike
// (a quote is never the trail byte of a CP932 character nor part of a UTF-8 sequence) and a
// broken lead byte cannot swallow the quote after it. Statements that are not fixed texts
// bind their values through TSQLiteStmt instead.
std::string SqlQuoted(std::string_view Text);

// A float in the general text form with 15 significant digits ("0.1", "1E20", "1.5E-5"),
// whatever the process locale.
std::string FloatToStr(double Value);
