#include "engine/SQLite.h"

#include <sqlite3.h>

#include <charconv>
#include <cmath>
#include <algorithm>
#include <cstring>
#include <exception>
#include <utility>

#include "engine/SqlFunctions.h"
#include "platform/cp932.h"

namespace {

constexpr uint8_t kConverted = 0x10;  // the cell's bytes begin with an 8-byte number

std::string FromSqlite(const char *utf8) {
  if (!utf8) return {};
  return cp932::FromUtf8(utf8);
}

// ASCII upper case that leaves double-byte characters whole.
std::string UpperName(const std::string &s) {
  std::string r = s;
  for (std::size_t i = 0; i < r.size(); i += cp932::CharLen(r, i))
    if (r[i] >= 'a' && r[i] <= 'z') r[i] = static_cast<char>(r[i] - 'a' + 'A');
  return r;
}

int TypeOfDeclaration(const std::string &declared) {
  std::string d = UpperName(declared);
  auto has = [&](const char *w) { return d.find(w) != std::string::npos; };
  if (has("INT")) return dtInt;
  if (has("CHAR") || has("CLOB") || has("TEXT")) return dtStr;
  if (has("BLOB")) return dtBlob;
  if (has("REAL") || has("FLOA") || has("DOUB")) return dtNumeric;
  return dtUnknown;
}

int StorageClass(int sqlite_type) {
  switch (sqlite_type) {
    case SQLITE_INTEGER: return dtInt;
    case SQLITE_FLOAT: return dtNumeric;
    case SQLITE_BLOB: return dtBlob;
    default: return dtStr;
  }
}

template <typename T>
T Load(std::string_view bytes) {
  T v;
  std::memcpy(&v, bytes.data(), sizeof v);
  return v;
}

// Finalises the statement when it goes out of scope, also when raising.
struct StmtGuard {
  sqlite3_stmt *st = nullptr;
  ~StmtGuard() { sqlite3_finalize(st); }
};

}  // namespace

std::string SqlQuoted(std::string_view Text) {
  std::string out;
  out.reserve(Text.size() + 2);
  out.push_back('\'');
  for (char c : Text) {
    out.push_back(c);
    if (c == '\'') out.push_back('\'');
  }
  out.push_back('\'');
  return out;
}

std::string FloatToStr(double Value) {
  if (std::isnan(Value)) return "NAN";
  if (std::isinf(Value)) return Value < 0 ? "-INF" : "INF";
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, Value, std::chars_format::general, 15);
  std::string s(buf, res.ptr);
  std::size_t e = s.find('e');
  if (e == std::string::npos) return s;
  // "1.5e-05" -> "1.5E-5", "1e+20" -> "1E20"
  std::string mantissa = s.substr(0, e);
  std::string exponent = s.substr(e + 1);
  bool negative = !exponent.empty() && exponent[0] == '-';
  std::size_t digits = exponent.find_first_not_of("+-0");
  return mantissa + "E" + (negative ? "-" : "") + (digits == std::string::npos ? "0" : exponent.substr(digits));
}

// ---------------------------------------------------------------------------------------------
// TSQLiteDb

bool ESQLiteException::Busy() const { return ErrorCode == SQLITE_BUSY || ErrorCode == SQLITE_LOCKED; }

// Every connection gets the program's SQL functions, and every SQL text the preconv expansion.
TSQLiteDb::TFunctionRegistrar TSQLiteDb::FunctionRegistrar = &RegisterSqlFunctions;
TSQLiteDb::TSqlTextFilter TSQLiteDb::SqlTextFilter = &ToSqliteText;

TSQLiteDb::TSQLiteDb(const std::string &FileName) {
  std::string name_utf8 = cp932::ToUtf8(FileName);
  sqlite3 *handle = nullptr;
  // A connection serves one thread only (the program has no other), so SQLite need not
  // lock it on every call; reading a large result calls it for every cell.
  const int rc = sqlite3_open_v2(name_utf8.c_str(), &handle,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    std::string reason = "unknown error";
    if (handle) {
      reason = FromSqlite(sqlite3_errmsg(handle));
      sqlite3_close(handle);
    }
    throw ESQLiteException("Failed to open database \"" + FileName + "\" : " + reason, rc & 0xFF);
  }
  FHandle = handle;
  // Double-quoted words that name no column are string literals, in statements and schema.
  sqlite3_db_config(FHandle, SQLITE_DBCONFIG_DQS_DML, 1, nullptr);
  sqlite3_db_config(FHandle, SQLITE_DBCONFIG_DQS_DDL, 1, nullptr);
  try {
    FRegEx = std::make_unique<TPcreRegEx>();
    if (FunctionRegistrar) FunctionRegistrar(FHandle, FRegEx.get());
    ExecSQL("PRAGMA SYNCHRONOUS=NORMAL;");
    ExecSQL("PRAGMA temp_store = MEMORY;");
  } catch (...) {
    sqlite3_close_v2(FHandle);
    FHandle = nullptr;
    throw;
  }
}

TSQLiteDb::~TSQLiteDb() {
  if (FInTransaction) {
    try {
      ExecSQL("ROLLBACK;");
    } catch (const Exception &) {
      // The connection closes anyway; SQLite drops what was not committed.
    }
  }
  sqlite3_close_v2(FHandle);
}

std::string TSQLiteDb::ErrorText(const std::string &Msg, const std::string &SQL) const {
  std::string reason = sqlite3_errcode(FHandle) != SQLITE_OK ? FromSqlite(sqlite3_errmsg(FHandle)) : "No message";
  return Msg + " \"" + SQL + "\" : " + reason;
}

void TSQLiteDb::RaiseError(const std::string &Msg, const std::string &SQL) {
  throw ESQLiteException(ErrorText(Msg, SQL), sqlite3_errcode(FHandle) & 0xFF);
}

// Prepares the statements of the text one after the other and hands each to Step; the loop
// goes on to the next statement while MultiStatement is on and Step returns true.
template <typename F>
void TSQLiteDb::ForEachStatement(const std::string &SQL, F Step) {
  // A statement started from the events a running one lets through would be a misuse of
  // the connection.
  if (FPolling) throw ESQLiteException("Could not prepare SQL statement \"" + SQL + "\" : SQLite is Busy");
  const std::string text = SqlTextFilter(SQL);
  const char *p = text.c_str();
  while (*p) {
    StmtGuard st;
    const char *tail = nullptr;
    if (sqlite3_prepare_v2(FHandle, p, -1, &st.st, &tail) != SQLITE_OK) RaiseError("Error executing SQL", SQL);
    if (!st.st) break;  // only blanks or comments were left
    if (!Step(st.st) || !MultiStatement) break;
    p = tail;
  }
}

void TSQLiteDb::ExecSQL(const std::string &SQL) {
  ForEachStatement(SQL, [&](sqlite3_stmt *st) {
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) RaiseError("Error executing SQL statement", SQL);
    return true;
  });
}

std::unique_ptr<TSQLiteTbl> TSQLiteDb::GetTable(const std::string &SQL) { return GetTable(SQL, TReadLimits()); }

namespace {

// Runs the read's poll from SQLite's progress handler, and takes the handler off again.
// Nothing may unwind through SQLite: a poll that raises interrupts the statement, and its
// exception is kept for the read to raise once the statement has returned.
class TPollScope {
 public:
  TPollScope(sqlite3 *handle, const std::function<bool()> &poll, bool &polling)
      : handle_(handle), poll_(poll), polling_(polling) {
    if (poll_) sqlite3_progress_handler(handle_, kSteps, &TPollScope::Call, this);
  }
  ~TPollScope() {
    if (poll_) sqlite3_progress_handler(handle_, 0, nullptr, nullptr);
  }
  TPollScope(const TPollScope &) = delete;
  TPollScope &operator=(const TPollScope &) = delete;

  // Raises what the poll raised, if it did.
  void RaiseFailure() {
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
  }

 private:
  static constexpr int kSteps = 1000;
  static int Call(void *self) {
    auto *s = static_cast<TPollScope *>(self);
    if (s->failure_) return 1;
    s->polling_ = true;
    bool stop = false;
    try {
      stop = s->poll_();
    } catch (...) {
      s->failure_ = std::current_exception();
      stop = true;
    }
    s->polling_ = false;
    return stop ? 1 : 0;
  }
  sqlite3 *handle_;
  const std::function<bool()> &poll_;
  bool &polling_;
  std::exception_ptr failure_;
};

}  // namespace

std::unique_ptr<TSQLiteTbl> TSQLiteDb::GetTable(const std::string &SQL, const TReadLimits &Limits) {
  std::unique_ptr<TSQLiteTbl> table(new TSQLiteTbl);
  ForEachStatement(SQL, [&](sqlite3_stmt *st) {
    TPollScope poll(FHandle, Limits.Poll, FPolling);
    for (;;) {
      int rc = sqlite3_step(st);
      poll.RaiseFailure();
      if (rc == SQLITE_ROW) {
        const std::size_t cols = static_cast<std::size_t>(sqlite3_column_count(st));
        if (Limits.MaxCells && (static_cast<std::size_t>(table->FCount) + 1) * cols > Limits.MaxCells) {
          table->FEnd = TReadEnd::CellBound;
          break;
        }
        table->AddRow(st);
      } else if (rc == SQLITE_DONE) {
        break;
      } else if (rc == SQLITE_INTERRUPT && Limits.Poll) {
        table->FEnd = TReadEnd::Stopped;
        break;
      } else if (rc == SQLITE_BUSY) {
        throw ESQLiteException("Could not prepare SQL statement \"" + SQL + "\" : SQLite is Busy", SQLITE_BUSY);
      } else {
        RaiseError("Could not retrieve data", SQL);
      }
    }
    table->Row = 0;
    return table->FCount == 0 && table->FEnd == TReadEnd::Complete;
  });
  return table;
}

bool TSQLiteDb::IsReadOnly(const std::string &SQL) {
  const std::string text = SqlTextFilter(SQL);
  StmtGuard st;
  if (sqlite3_prepare_v2(FHandle, text.c_str(), -1, &st.st, nullptr) != SQLITE_OK || !st.st) return true;
  return sqlite3_stmt_readonly(st.st) != 0;
}

void TSQLiteDb::BeginTransaction() {
  if (FInTransaction) throw ESQLiteException("Transaction already open");
  ExecSQL("BEGIN TRANSACTION;");
  FInTransaction = true;
}

void TSQLiteDb::Commit() {
  ExecSQL("COMMIT;");
  FInTransaction = false;
}

bool TSQLiteDb::TableExists(const std::string &TableName) {
  return GetTable("PRAGMA table_info(" + TableName + ")")->Count() > 0;
}

std::string TSQLiteDb::Version() { return sqlite3_libversion(); }

// ---------------------------------------------------------------------------------------------
// TSQLiteTbl

TSQLiteTbl::~TSQLiteTbl() = default;

void TSQLiteTbl::DecideColumns(sqlite3_stmt *s) {
  const int n = sqlite3_column_count(s);
  FColTypes.resize(n);
  FColNames.resize(n);
  for (int c = 0; c < n; ++c) {
    FColTypes[c] = TypeOfDeclaration(FromSqlite(sqlite3_column_decltype(s, c)));
    FColNames[c] = UpperName(FromSqlite(sqlite3_column_name(s, c)));
  }
}

namespace {
// Blocks start small, so that the many one-row look-ups stay cheap, and double up to a size
// at which a new block costs little against filling it.
constexpr std::size_t kFirstBlock = 4096;
constexpr std::size_t kLargestBlock = std::size_t{4} << 20;
constexpr uint64_t kOffsetMask = (uint64_t{1} << 40) - 1;
}  // namespace

char *TSQLiteTbl::Room(std::size_t n, uint64_t &row_start) {
  if (!FBlocks.empty() && FBlocks.back().capacity - FBlocks.back().size >= n)
    return FBlocks.back().data.get() + FBlocks.back().size;
  // The row so far moves to a fresh block, which holds at least the whole row.
  std::size_t row_offset = 0, row_bytes = 0, capacity = kFirstBlock;
  if (!FBlocks.empty()) {
    const Block &last = FBlocks.back();
    row_offset = static_cast<std::size_t>(row_start & kOffsetMask);
    row_bytes = last.size - row_offset;
    capacity = std::min(last.capacity * 2, kLargestBlock);
  }
  capacity = std::max(capacity, row_bytes + n);
  Block fresh;
  fresh.data.reset(new char[capacity]);
  fresh.capacity = capacity;
  if (!FBlocks.empty()) {
    Block &last = FBlocks.back();
    if (row_bytes) std::memcpy(fresh.data.get(), last.data.get() + row_offset, row_bytes);
    last.size = row_offset;
  }
  fresh.size = row_bytes;
  FBlocks.push_back(std::move(fresh));
  row_start = static_cast<uint64_t>(FBlocks.size() - 1) << kBlockShift;
  return FBlocks.back().data.get() + FBlocks.back().size;
}

void TSQLiteTbl::Put(const void *p, std::size_t n, uint64_t &row_start) {
  char *to = Room(n, row_start);
  if (n) std::memcpy(to, p, n);
  FBlocks.back().size += n;
  FBytes += n;
}

void TSQLiteTbl::AddRow(sqlite3_stmt *s) {
  if (FCount == 0) DecideColumns(s);
  const int n = ColCount();
  uint64_t row_start = 0;
  if (!FBlocks.empty())
    row_start = (static_cast<uint64_t>(FBlocks.size() - 1) << kBlockShift) | FBlocks.back().size;
  // The row's head: the end of each cell's bytes, then each cell's kind.
  const std::size_t head = HeadBytes();
  Room(head, row_start);
  FBlocks.back().size += head;
  // The length of the row's cells so far, wherever Room has moved the row.
  auto cells_length = [&] { return FBlocks.back().size - (row_start & kOffsetMask) - head; };
  for (int c = 0; c < n; ++c) {
    const int sqlite_type = sqlite3_column_type(s, c);
    uint8_t kind = 0;
    if (sqlite_type != SQLITE_NULL) {
      kind = static_cast<uint8_t>(StorageClass(sqlite_type));
      if (FColTypes[c] == dtUnknown) FColTypes[c] = kind;
      const int col = FColTypes[c];
      if (kind != col && (col == dtInt || col == dtNumeric) && (kind == dtStr || kind == dtBlob)) {
        // A text or blob in a numeric column: keep SQLite's number for the numeric reads
        // and the value itself for the text reads.
        kind |= kConverted;
        if (col == dtInt) {
          int64_t v = sqlite3_column_int64(s, c);
          Put(&v, sizeof v, row_start);
        } else {
          double v = sqlite3_column_double(s, c);
          Put(&v, sizeof v, row_start);
        }
      }
      switch (kind & 0x0F) {
        case dtInt: {
          int64_t v = sqlite3_column_int64(s, c);
          Put(&v, sizeof v, row_start);
          break;
        }
        case dtNumeric: {
          double v = sqlite3_column_double(s, c);
          Put(&v, sizeof v, row_start);
          break;
        }
        case dtStr: {
          auto p = reinterpret_cast<const char *>(sqlite3_column_text(s, c));
          std::string_view utf8(p ? p : "", static_cast<std::size_t>(sqlite3_column_bytes(s, c)));
          const std::size_t written = cp932::FromUtf8To(utf8, Room(utf8.size(), row_start));
          FBlocks.back().size += written;
          FBytes += written;
          break;
        }
        default: {
          auto p = static_cast<const char *>(sqlite3_column_blob(s, c));
          Put(p, static_cast<std::size_t>(sqlite3_column_bytes(s, c)), row_start);
          break;
        }
      }
    }
    const std::size_t length = cells_length();
    if (length > UINT32_MAX) throw ESQLiteException("Could not retrieve data: row too large");
    const uint32_t end = static_cast<uint32_t>(length);
    char *row = RowAt(row_start);
    std::memcpy(row + sizeof end * c, &end, sizeof end);
    row[sizeof end * n + c] = static_cast<char>(kind);
  }
  FRowStart.push_back(row_start);
  ++FCount;
}

const char *TSQLiteTbl::RowAt(uint64_t start) const {
  return FBlocks[static_cast<std::size_t>(start >> kBlockShift)].data.get() + (start & kOffsetMask);
}

char *TSQLiteTbl::RowAt(uint64_t start) {
  return FBlocks[static_cast<std::size_t>(start >> kBlockShift)].data.get() + (start & kOffsetMask);
}

uint8_t TSQLiteTbl::Kind(std::size_t cell) const {
  const std::size_t n = FColTypes.size();
  return static_cast<uint8_t>(RowAt(FRowStart[cell / n])[sizeof(uint32_t) * n + cell % n]);
}

std::string_view TSQLiteTbl::Bytes(std::size_t cell) const {
  const std::size_t n = FColTypes.size();
  const std::size_t col = cell % n;
  const char *row = RowAt(FRowStart[cell / n]);
  uint32_t begin = 0, end;
  if (col > 0) std::memcpy(&begin, row + sizeof begin * (col - 1), sizeof begin);
  std::memcpy(&end, row + sizeof end * col, sizeof end);
  std::string_view v(row + HeadBytes() + begin, end - begin);
  if (static_cast<uint8_t>(row[sizeof end * n + col]) & kConverted) v.remove_prefix(8);
  return v;
}

void TSQLiteTbl::CheckEOF() const {
  if (Row >= FCount) throw ESQLiteException("Table is at End of File");
}

int TSQLiteTbl::FieldIndex(const std::string &FieldName) const {
  if (FColNames.empty()) throw ESQLiteException("Field " + FieldName + " Not found. Empty dataset");
  const std::string key = UpperName(FieldName);
  for (std::size_t i = 0; i < FColNames.size(); ++i)
    if (FColNames[i] == key) return static_cast<int>(i);
  throw ESQLiteException("Field not found in dataset: " + FieldName);
}

std::string TSQLiteTbl::Fields(int i) const {
  CheckEOF();
  const std::size_t cell = static_cast<std::size_t>(Row) * FColTypes.size() + i;
  const uint8_t kind = Kind(cell) & 0x0F;
  if (kind == 0) return (FColTypes[i] == dtInt || FColTypes[i] == dtNumeric) ? "0" : "";
  std::string_view b = Bytes(cell);
  switch (kind) {
    case dtInt: return std::to_string(Load<int64_t>(b));
    case dtNumeric: return FloatToStr(Load<double>(b));
    default: return std::string(b);
  }
}

std::string TSQLiteTbl::FieldAsString(int i) const {
  CheckEOF();
  if (Kind(static_cast<std::size_t>(Row) * FColTypes.size() + i) == 0) return {};
  return Fields(i);
}

// The number in column i of the current row: its own value when it is a number, else the one
// SQLite converted; NULL is 0. Text and blob columns hold no numbers.
TSQLiteTbl::Number TSQLiteTbl::NumberAt(int i) const {
  CheckEOF();
  const int col = FColTypes[i];
  const std::size_t cell = static_cast<std::size_t>(Row) * FColTypes.size() + i;
  const uint8_t kind = Kind(cell);
  if (kind == 0) return {true, 0, 0};
  if (col != dtInt && col != dtNumeric) throw ESQLiteException("Not an integer or numeric field");
  std::string_view b = Bytes(cell);
  if (kind & kConverted) {
    b = std::string_view(b.data() - 8, 8);
    if (col == dtInt) return {true, Load<int64_t>(b), 0};
    return {false, 0, Load<double>(b)};
  }
  if (kind == dtInt) return {true, Load<int64_t>(b), 0};
  return {false, 0, Load<double>(b)};
}

int64_t TSQLiteTbl::FieldAsInteger(int i) const {
  Number n = NumberAt(i);
  return n.is_int ? n.i : static_cast<int64_t>(std::trunc(n.d));
}

double TSQLiteTbl::FieldAsDouble(int i) const {
  Number n = NumberAt(i);
  return n.is_int ? static_cast<double>(n.i) : n.d;
}

std::optional<std::string_view> TSQLiteTbl::FieldAsBlob(int i) const {
  CheckEOF();
  const std::size_t cell = static_cast<std::size_t>(Row) * FColTypes.size() + i;
  if (Kind(cell) == 0) return std::nullopt;
  if (FColTypes[i] != dtBlob) throw ESQLiteException("Not a Blob field");
  return Bytes(cell);
}

std::string TSQLiteTbl::FieldAsBlobText(int i) const { return FieldAsString(i); }

std::string_view TSQLiteTbl::FieldView(int i, std::string &scratch) const {
  CheckEOF();
  const std::size_t cell = static_cast<std::size_t>(Row) * FColTypes.size() + i;
  const uint8_t kind = Kind(cell) & 0x0F;
  if (kind == 0) return {};
  const std::string_view b = Bytes(cell);
  switch (kind) {
    case dtInt: {
      char buf[24];
      const auto res = std::to_chars(buf, buf + sizeof buf, Load<int64_t>(b));
      scratch.assign(buf, res.ptr);
      return scratch;
    }
    case dtNumeric:
      scratch = FloatToStr(Load<double>(b));
      return scratch;
    default:
      return b;
  }
}

// ---------------------------------------------------------------- TSQLiteStmt

TSQLiteStmt::TSQLiteStmt(TSQLiteDb &Db, const std::string &SQL) : FDb(Db), FSQL(SQL) {
  const std::string text = cp932::ToUtf8(SQL);
  if (sqlite3_prepare_v2(FDb.FHandle, text.c_str(), static_cast<int>(text.size()), &FStmt, nullptr) !=
          SQLITE_OK ||
      !FStmt) {
    sqlite3_finalize(FStmt);
    FStmt = nullptr;
    FDb.RaiseError("Error executing SQL", SQL);
  }
}

TSQLiteStmt::~TSQLiteStmt() { sqlite3_finalize(FStmt); }

int TSQLiteStmt::ParamCount() const { return sqlite3_bind_parameter_count(FStmt); }

void TSQLiteStmt::BindText(int Index, std::string_view Value) {
  std::string u8 = cp932::ToUtf8(Value);
  sqlite3_bind_text(FStmt, Index, u8.data(), static_cast<int>(u8.size()), SQLITE_TRANSIENT);
}

void TSQLiteStmt::BindInteger(int Index, int64_t Value) { sqlite3_bind_int64(FStmt, Index, Value); }

void TSQLiteStmt::BindNull(int Index) { sqlite3_bind_null(FStmt, Index); }

void TSQLiteStmt::Exec() {
  int rc;
  while ((rc = sqlite3_step(FStmt)) == SQLITE_ROW) {
  }
  if (rc != SQLITE_DONE) {
    std::string message = FDb.ErrorText("Error executing SQL statement", FSQL);
    const int code = sqlite3_errcode(FDb.FHandle) & 0xFF;
    sqlite3_reset(FStmt);
    sqlite3_clear_bindings(FStmt);
    throw ESQLiteException(message, code);
  }
  sqlite3_reset(FStmt);
  sqlite3_clear_bindings(FStmt);
}
