// Building acis.db from the published data: the tables, the imports of the three input
// forms (the publisher's workbook sheets, the publisher's CSV files, the makers' CSV set),
// the product table with its ingredient slots and effects, the ingredient table, indexes
// and the permanent views.
//
// Every value goes into the database as a bound parameter of one prepared insert, so a
// quote, a blank, an underscore or any other character in the data arrives exactly as
// published and can never break or change a statement.
#include <algorithm>
#include <climits>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <unordered_map>
#include <vector>

#include "engine/SakuUtil.h"
#include "engine/TextHelpers.h"
#include "engine/Tsusho.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/acdb_clauses.h"
#include "platform/cp932.h"
#include "platform/fspath.h"

using namespace cp932::literals;

namespace {

const char *const kCrLf = "\r\n";

using Value = std::optional<std::string>;  // no value is SQL NULL

// Splits one CSV line: items are separated by commas; an item may be enclosed in the quote
// character, a doubled quote inside standing for one. Blanks belong to the item. Items past
// the first `keep` are counted, not kept (a line of nothing but commas costs no memory).
struct TSplit {
  std::vector<std::string> items;
  std::size_t count = 0;  // all items of the line
  bool open = false;      // the line ends inside a quoted item
};
TSplit SplitCsvLine(std::string_view line, char quote, std::size_t keep) {
  TSplit r;
  std::string cur;
  bool quoted = false, was_quoted = false;
  auto end_item = [&] {
    if (r.count++ < keep) r.items.push_back(std::move(cur));
    cur.clear();
    was_quoted = false;
  };
  for (std::size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (quoted) {
      if (c == quote) {
        if (i + 1 < line.size() && line[i + 1] == quote) {
          cur.push_back(quote);
          ++i;
        } else {
          quoted = false;
        }
      } else {
        cur.push_back(c);
      }
    } else if (c == ',') {
      end_item();
    } else if (c == quote && cur.empty() && !was_quoted) {
      quoted = was_quoted = true;
    } else {
      cur.push_back(c);
    }
  }
  end_item();
  r.open = quoted;
  return r;
}

// The items of a record with columns expected (one more is kept, so that a line with too
// many still shows as such). A file written twice over with CR LF line ends has a stray CR
// before each line's own CR LF: CRs at the end of a record belong to its line end, unless
// the record ends inside a quoted item (a value that goes on in the next line keeps it).
TSplit SplitRecord(std::string &line, char quote, std::size_t columns) {
  TSplit r = SplitCsvLine(line, quote, columns + 1);
  if (r.open || line.empty() || line.back() != '\r') return r;
  line.erase(line.find_last_not_of('\r') + 1);
  return SplitCsvLine(line, quote, columns + 1);
}

// A line of nothing but its line end.
bool Blank(std::string_view line) { return line.find_first_not_of('\r') == std::string_view::npos; }

// A text file read line by line through a buffer of fixed size: what is kept is the line at
// hand, never the file, so blank lines (however many) cost nothing but the time to pass
// them. The lines are counted first, for the progress bar and to know the last line that
// holds anything. A missing or unreadable file raises.
class TLineReader {
 public:
  explicit TLineReader(const std::string &path) : path_(path), f_(FsPath(path), std::ios::binary), buf_(kBuffer) {
    if (!f_) throw EInOutError("Cannot open file \"" + path + "\"");
    // The count: a last line without its line end counts; a line holding only CRs is blank.
    bool filled = false, any = false;
    while (Fill()) {
      for (std::size_t i = 0; i < len_; ++i) {
        const char c = buf_[i];
        any = true;
        if (c == '\n') {
          if (filled) last_filled_ = count_;
          ++count_;
          filled = any = false;
        } else if (c != '\r') {
          filled = true;
        }
      }
    }
    if (any) {
      if (filled) last_filled_ = count_;
      ++count_;
    }
    f_.clear();
    f_.seekg(0);
    if (!f_) Unreadable();
    pos_ = len_ = 0;
  }
  // The lines of the file.
  std::size_t Count() const { return count_; }
  // The index (from 0) of the last line that is not blank; 0 when none is.
  std::size_t LastFilled() const { return last_filled_; }
  // The next line without its LF and a CR before it; false after the last line.
  bool Next(std::string &line) {
    line.clear();
    bool any = false;
    for (;;) {
      if (pos_ == len_ && !Fill()) break;
      any = true;
      const char *begin = buf_.data() + pos_, *end = buf_.data() + len_;
      const char *nl = static_cast<const char *>(std::memchr(begin, '\n', static_cast<std::size_t>(end - begin)));
      line.append(begin, nl ? nl : end);
      pos_ = static_cast<std::size_t>((nl ? nl + 1 : end) - buf_.data());
      if (nl) break;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return any;
  }

 private:
  static constexpr std::size_t kBuffer = 1 << 20;
  bool Fill() {
    f_.read(buf_.data(), static_cast<std::streamsize>(buf_.size()));
    if (f_.bad()) Unreadable();
    len_ = static_cast<std::size_t>(f_.gcount());
    pos_ = 0;
    return len_ > 0;
  }
  [[noreturn]] void Unreadable() const { throw EInOutError("Cannot read file \"" + path_ + "\""); }

  std::string path_;
  std::ifstream f_;
  std::vector<char> buf_;
  std::size_t pos_ = 0, len_ = 0;
  std::size_t count_ = 0, last_filled_ = 0;
};

bool OddQuotes(const std::string &line) { return std::count(line.begin(), line.end(), '"') % 2 == 1; }

// What the user can do about a damaged published file.
const char *const kFetchAgain = "。ファイルが壊れているか不完全です。取り直してから再実行してください";

// A published file that is no whole copy of the data: named with its line (from 1; 0 for
// the file as a whole) and what was wrong, so the user sees which file to fetch again.
[[noreturn]] void Damaged(const std::string &path, std::size_t line_no, const std::string &what) {
  const std::string where = line_no ? path + " " + std::to_string(line_no) + "行目: "_sj : path + ": ";
  throw EInOutError(where + what + cp932::FromUtf8(kFetchAgain));
}

// A published file is damage, not data, unless its header and every record hold exactly
// the columns the build reads: a file without records would replace the whole table with
// nothing, and a column missing or added shifts or drops values. The header is the first
// line; a record may end inside a quoted field only where it goes on in the next line.
class TCsvShape {
 public:
  TCsvShape(const std::string &path, const TLineReader &lines, std::size_t columns)
      : path_(path), columns_(columns) {
    if (lines.Count() == 0) Damaged(path_, 0, "ファイルが空です(0 バイト)"_sj);
    last_ = lines.LastFilled();
    if (last_ == 0) Damaged(path_, 0, "見出し行だけでレコードがありません"_sj);
  }
  std::size_t Last() const { return last_; }
  // The columns of the line with its number (from 1); the header is line 1. A record may
  // hold fewer, down to at_least, where the file's form leaves trailing fields out.
  void Check(std::size_t line_no, std::size_t items, bool open_quote, std::size_t at_least = 0) const {
    if (open_quote) Damaged(path_, line_no, "引用符で囲まれた項目の途中でファイルが終わっています"_sj);
    if (items > columns_ || items < std::max(at_least ? at_least : columns_, std::size_t{1}))
      Damaged(path_, line_no,
              (line_no == 1 ? "見出しの項目数が "_sj : "項目数が "_sj) + std::to_string(items) + " です("_sj +
                  std::to_string(columns_) + " 項目のはず)"_sj);
  }
  // A byte sequence that no CP932 text holds (a lone lead byte, a byte no character begins
  // with): the line was damaged, and its text would come out altered.
  void CheckText(std::size_t line_no, const std::string &line) const {
    for (std::size_t i = 0; i < line.size(); ++i) {
      const auto c = static_cast<unsigned char>(line[i]);
      bool ok = c < 0x80 || (c >= 0xA1 && c <= 0xDF);
      if (cp932::IsLeadByte(c) && i + 1 < line.size()) {
        const auto t = static_cast<unsigned char>(line[i + 1]);
        ok = t >= 0x40 && t <= 0xFC && t != 0x7F;
        ++i;
      }
      if (!ok) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02X", c);
        Damaged(path_, line_no, "CP932 の文字として読めないバイト "_sj + hex + " があります"_sj);
      }
    }
  }
  // The registration number of a record: a positive integer. A record without one would be
  // stored under no product (or, in the products, make its product vanish), and one with a
  // text there stops the build at a statement that names no line.
  const std::string &Number(std::size_t line_no, const std::string &item) const {
    const bool digits = !item.empty() && item.find_first_not_of("0123456789") == std::string::npos;
    const std::size_t first = item.find_first_not_of('0');
    if (digits && first != std::string::npos && item.size() - first <= 18) return item;
    if (item.empty() || item == "NULL") Damaged(path_, line_no, "登録番号がありません"_sj);
    // A long text is shown by its beginning, cut between characters.
    std::size_t cut = 0;
    while (cut < item.size() && cut < 24) cut = cp932::NextChar(item, cut);
    Damaged(path_, line_no,
            "登録番号 '"_sj + item.substr(0, cut) + (cut < item.size() ? "..." : "") + "' が正の整数ではありません"_sj);
  }
  // A failure while a record's values are converted (a date that is none) names the record.
  template <class F>
  void Record(std::size_t line_no, F &&f) const {
    try {
      f();
    } catch (const ESQLiteException &) {
      throw;
    } catch (const EInOutError &) {
      throw;
    } catch (const std::exception &e) {
      Damaged(path_, line_no, e.what());
    }
  }

 private:
  const std::string &path_;
  std::size_t columns_;
  std::size_t last_ = 0;
};

// The lines of the basic part that belong to one product: a product of several ingredients
// has a line for each, and they must agree on all the product table takes from them (the
// columns of the insert into kihon below that are no ingredient's). Lines that disagree
// would stop the build at the product table with SQLite's words and no line named.
class TProductLines {
 public:
  explicit TProductLines(const std::string &path) : path_(path) {}
  // The values of the line (in the order of the insert into kihon), from 1.
  void Check(std::size_t line_no, const std::vector<Value> &values) {
    static const struct {
      std::size_t index;
      const char *column;
    } kProductColumns[] = {{1, "shurui"}, {2, "meisho"}, {4, "ryakusho"}, {8, "kongo"},
                           {9, "yoto"},   {10, "zaikei"}, {11, "torokubi"}};
    auto [it, first] = seen_.try_emplace(Number(values[0]), line_no, values);
    if (first) return;
    for (const auto &c : kProductColumns) {
      const auto &was = it->second.second[c.index], &is = values[c.index];
      // The ingredient count is an integer column: "02" is the product's 2.
      const bool same = c.index == 8 ? Number(was) == Number(is) : was == is;
      if (!same)
        Damaged(path_, line_no,
                "登録番号 "_sj + *values[0] + " の「"_sj + TAcisDB::FieldCaption(c.column) + "」が "_sj +
                    std::to_string(it->second.first) + " 行目と食い違っています"_sj);
    }
  }

 private:
  // A number as the integer column keeps it (leading zeros dropped); other texts as they are.
  static std::string Number(const Value &v) {
    if (!v) return "NULL";
    const std::size_t first = v->find_first_not_of('0');
    const bool digits = !v->empty() && v->find_first_not_of("0123456789") == std::string::npos;
    return digits ? (first == std::string::npos ? "0" : v->substr(first)) : *v;
  }
  const std::string &path_;
  std::unordered_map<std::string, std::pair<std::size_t, std::vector<Value>>> seen_;
};

std::string Item(const std::vector<std::string> &items, std::size_t i) {
  return i < items.size() ? items[i] : std::string();
}

// A value pasted unquoted in the original statements (registration number, ingredient
// count): "NULL" and nothing are NULL; anything else is the text, which the column's
// integer affinity turns into a number.
Value RawValue(const std::string &s) {
  if (s.empty() || s == "NULL") return std::nullopt;
  return s;
}
Value OrNull(const std::string &s) { return s.empty() ? Value() : Value(s); }
Value RawField(const std::string &s) {
  if (s.empty() || s == "NULL") return std::nullopt;
  return ToHankakuAscii(s);
}
Value UnlessNull(const std::string &s) { return s == "NULL" ? Value() : Value(s); }

// Every occurrence of a text replaced (both given as UTF-8 source text); the texts are
// converted once and the common case, no occurrence, costs one search.
std::string Replace(std::string s, const char *from_utf8, const char *to_utf8) {
  static thread_local std::unordered_map<const char *, std::string> converted;
  auto sj = [](const char *u8) -> const std::string & {
    auto it = converted.find(u8);
    if (it == converted.end()) it = converted.emplace(u8, cp932::FromUtf8(u8)).first;
    return it->second;
  };
  const std::string &from = sj(from_utf8);
  if (FindSjis(s, from) == std::string_view::npos) return s;
  return ReplaceAllText(s, from, sj(to_utf8));
}

std::string UnitSigns(std::string s) {
  s = Replace(std::move(s), "㍑", "L");
  s = Replace(std::move(s), "㍍", "m");
  return Replace(std::move(s), "㌢", "cm");
}

// The common name of a registered name. Blanks stand as "_" while the maker marks are
// stripped ("シンジェンタ_" is the form a blank after a maker's name takes), then turn back.
std::string CommonName(const std::string &meisho) {
  return ReplaceAllText(TsushoFromMeisho(ReplaceAllText(meisho, " ", "_")), "_", " ");
}

const char *const kKihonInsert =
    "INSERT INTO kihon(bango,shurui,meisho,tsusho,ryakusho,ippanmei,seibun,nodo,kongo,yoto,zaikei,torokubi) "
    "VALUES (?,?,?,?,?,?,?,?,?,?,?,?)";
const char *const kTekiyoInsert =
    "INSERT INTO m_tekiyo(bango,sakumotsu,basho,byochu,mokuteki,baisu,ekiryo,jiki,kaisu,hoho,jikan,ondo,dojo,"
    "chitai,tekiyaku,kaisu1,kaisu2,kaisu3,kaisu4,kaisu5) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)";

}  // namespace

// The common frame of the imports: one transaction (committed also when a failure leaves
// the import, so the rows before it stay), the progress bar advanced twenty times, the
// message queue run once per row, and the prepared insert.
class TAcisDB::TImport {
 public:
  TImport(TAcisDB &db, const char *insert, std::size_t total, bool progress_from_zero)
      : db_(db), stmt_(*db.FDb, insert), total_(std::min<std::size_t>(total, INT_MAX)) {
    step_ = total_ >= 20 ? total_ / 20 : 1;
    if (IProgressTarget *bar = db_.FProgressBar) {
      bar->SetRange(0, static_cast<int>(total_));
      if (progress_from_zero) bar->SetPosition(0);
    }
    db_.FDb->BeginTransaction();
  }
  ~TImport() {
    if (db_.FDb->InTransaction()) {
      try {
        db_.FDb->Commit();
      } catch (...) {
      }
    }
  }
  void Insert(const std::vector<Value> &values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
      int p = static_cast<int>(i) + 1;
      if (values[i])
        stmt_.BindText(p, *values[i]);
      else
        stmt_.BindNull(p);
    }
    stmt_.Exec();
  }
  // After row n (counted from 1).
  void Row(std::size_t n) {
    Progress(n);
    UiServices().ProcessMessages();
  }
  // After line n, a blank one: the queue runs now and then, not at every line, so that a
  // file padded with blank lines passes quickly.
  void Blank(std::size_t n) {
    Progress(n);
    if (n % 4096 == 0) UiServices().ProcessMessages();
  }
  void Finish() { db_.FDb->Commit(); }

 private:
  void Progress(std::size_t n) {
    if (db_.FProgressBar && n % step_ == 0 && n <= total_) db_.FProgressBar->SetPosition(static_cast<int>(n));
  }

  TAcisDB &db_;
  TSQLiteStmt stmt_;
  std::size_t total_;
  std::size_t step_;
};

// ---------------------------------------------------------------- value helpers

std::string QuoteOrNull(const std::string &Text) {
  return Text.empty() ? "NULL" : SqlQuoted(Text);
}

std::string QuoteRawField(const std::string &Text) {
  if (Text.empty() || Text == "NULL") return "NULL";
  return SqlQuoted(ToHankakuAscii(Text));
}

std::string QuoteUnlessNull(const std::string &Text) {
  return Text == "NULL" ? Text : SqlQuoted(Text);
}

std::string SquareMetreSign(const std::string &Text) { return Replace(Text, "m2", "㎡"); }

std::string SplitShuruiSeibun(const std::string &Shurui) {
  std::string s = Replace(Shurui, "・", "|");
  for (const char *w : {"粉粒剤", "水和剤", "乳剤", "液剤", "粉剤"}) s = Replace(std::move(s), w, "");
  if (FindSjis(s, "全卵粉末"_sj) == std::string_view::npos) s = Replace(std::move(s), "粉末", "");
  for (const char *w : {"粒剤", "マイクロカプセル剤", "水溶剤", "くん蒸剤", "燻蒸剤", "くん煙剤", "くん煙成型剤",
                        "ペースト剤", "塗布剤", "エアゾル", "油剤", "複合肥料"})
    s = Replace(std::move(s), w, "");
  if (FindSjis(s, "石灰硫黄合剤"_sj) == std::string_view::npos) s = Replace(std::move(s), "剤", "");
  s = Replace(std::move(s), "水和硫黄", "硫黄");

  std::string out;
  std::vector<std::string> items;
  std::size_t start = 0;
  for (;;) {
    // "|" (0x7C) is also the trail byte of ポ and other characters: find it as a character.
    std::size_t bar = FindSjis(s, "|", start);
    items.push_back(s.substr(start, bar == std::string_view::npos ? std::string::npos : bar - start));
    if (bar == std::string_view::npos) break;
    start = bar + 1;
  }
  for (std::size_t i = 0; i < items.size(); ++i) {
    std::string item = items[i];
    if (FindSjis(item, "展着"_sj) != std::string_view::npos)
      item.clear();
    else if (FindSjis(item, "除虫菊"_sj) != std::string_view::npos)
      item = "ピレトリン"_sj;
    else if (FindSjis(item, "シアン酸塩"_sj) != std::string_view::npos)
      item = "シアン酸ナトリウム"_sj;
    out += "seibun" + std::to_string(i + 1) + " = " + SqlQuoted(item) + ",";
  }
  out.pop_back();  // the final comma
  return out;
}

// ---------------------------------------------------------------- tables

void TAcisDB::CreateTables() {
  SetMultiStatement(true);
  FDb->ExecSQL(std::string("DROP TABLE IF EXISTS main.info;") + kCrLf +
               "CREATE TABLE main.info ([Item]VARCHAR ,[Value] VARCHAR);" + kCrLf +
               "INSERT INTO main.info(Item,Value) VALUES ('LastUpdate','" + "不明"_sj + "');" + kCrLf +
               "INSERT INTO main.info(Item,Value) VALUES ('Version'," + "190107" + ");");
  FDb->ExecSQL(std::string("DROP TABLE IF EXISTS kihon;") + kCrLf +
               "CREATE TEMP TABLE kihon ([bango] INTEGER,[shurui] VARCHAR,[meisho] VARCHAR,[tsusho] VARCHAR,"
               "[ryakusho] VARCHAR,[ippanmei] VARCHAR,[seibun] VARCHAR,[nodo] VARCHAR,[kongo] INTEGER,"
               "[yoto] VARCHAR,[zaikei] VARCHAR,[torokubi] VARCHAR);");
  FDb->ExecSQL(std::string("DROP TABLE IF EXISTS tm_kihon;") + kCrLf +
               "CREATE TEMP TABLE tm_kihon ([bango] INTEGER PRIMARY KEY,[shurui] VARCHAR,[meisho] VARCHAR,"
               "[tsusho] VARCHAR,[ryakusho] VARCHAR,[kongo] INTEGER,[yoto] VARCHAR,[zaikei] VARCHAR,"
               "[torokubi] VARCHAR,[seibun1] VARCHAR,[seibun2] VARCHAR,[seibun3] VARCHAR,[seibun4] VARCHAR,"
               "[seibun5] VARCHAR);");
  FDb->ExecSQL(std::string("DROP TABLE IF EXISTS m_tekiyo;") + kCrLf +
               "CREATE TABLE m_tekiyo ([bango] INTEGER,[sakumotsu] VARCHAR,[basho] VARCHAR,[byochu] VARCHAR,"
               "[mokuteki] VARCHAR,[baisu] VARCHAR,[ekiryo] VARCHAR,[jiki] VARCHAR,[kaisu] VARCHAR,[hoho] VARCHAR,"
               "[jikan] VARCHAR,[ondo] VARCHAR,[dojo] VARCHAR,[chitai] VARCHAR,[tekiyaku] VARCHAR,[kaisu1] VARCHAR,"
               "[kaisu2] VARCHAR,[kaisu3] VARCHAR,[kaisu4] VARCHAR,[kaisu5] VARCHAR);");
}

// ---------------------------------------------------------------- imports

void TAcisDB::ImportKihonXls(const ICellSource &Grid) {
  const std::string header = "登録番号"_sj;
  TImport imp(*this, kKihonInsert, Grid.RowCount(), false);
  int n = 0;
  for (int r = 0; r < Grid.RowCount(); ++r) {
    auto c = [&](int col) { return std::string(Grid.CellView(col, r)); };
    bool blank = true;
    for (int col = 0; col < Grid.ColCount() && blank; ++col) blank = Grid.CellView(col, r).empty();
    if (!blank && FindSjis(c(0), header) == std::string_view::npos) {
      std::string meisho = ToHankakuAscii(c(2));
      imp.Insert({RawValue(c(0)), ToHankakuAscii(c(1)), meisho, CommonName(meisho), ToHankakuAscii(c(3)),
                  ToHankakuAscii(c(4)), ToHankakuAscii(c(5)), ToZenkakuKana(c(6)), c(7), c(8), ToZenkaku(c(9)),
                  SerialToDateText(c(10))});
    }
    imp.Row(++n);
  }
  imp.Finish();
}

void TAcisDB::ImportTekiyoXls(const ICellSource &Grid) {
  TImport imp(*this, kTekiyoInsert, Grid.RowCount(), false);
  for (int r = 1; r < Grid.RowCount(); ++r) {
    auto c = [&](int col) { return std::string(Grid.CellView(col, r)); };
    bool blank = true;
    for (int col = 0; col < Grid.ColCount() && blank; ++col) blank = Grid.CellView(col, r).empty();
    if (!blank) {
      std::vector<Value> v;
      v.reserve(20);
      v.push_back(RawValue(c(0)));
      v.push_back(UnitSigns(ToHankakuAscii(c(5))));
      v.push_back(UnitSigns(ToZenkaku(c(6))));
      v.push_back(UnitSigns(ToHankakuAscii(c(7))));
      v.push_back(UnitSigns(ToZenkaku(c(8))));
      for (int col = 9; col <= 13; ++col) v.push_back(UnitSigns(ToZenkakuKana(c(col))));
      for (int col = 14; col <= 17; ++col) v.push_back(UnitSigns(c(col)));
      v.push_back(UnitSigns(ToZenkakuKana(c(18))));
      for (int col = 20; col <= 24; ++col) v.push_back(UnitSigns(ToZenkakuKana(c(col))));
      imp.Insert(v);
    }
    imp.Row(r);
  }
  imp.Finish();
}

namespace {

// The publisher leaves out the trailing total-use counts of the ingredient slots a product
// does not have: an application line may end after the count of its last ingredient, its
// number of ingredients (0 to 5) being the item before the counts. Any other short line is
// damage.
std::size_t RequiredItems(const std::vector<std::string> &items, bool access_no) {
  const std::size_t count_at = access_no ? 20 : 19;
  const std::string count = Item(items, count_at);
  const std::size_t all = count_at + 6;
  if (count.size() != 1 || count[0] < '0' || count[0] > '5') return all;
  return count_at + 1 + static_cast<std::size_t>(count[0] - '0');
}

// The columns of the two files of each CSV form: products, and applications (the
// publisher's second part has "アクセスＮＯ" as one more, which the build drops).
constexpr std::size_t kKihonColumns = 11, kTekiyoColumns = 25;

// A published CSV file of one record per line, read after its header has been checked.
struct TCsvFile {
  TLineReader lines;
  TCsvShape shape;
  char quote;
  std::size_t columns;
  std::size_t line_no = 0;  // the line (from 1) of the record that take works on
  TCsvFile(const std::string &path, char quote_char, std::size_t column_count)
      : lines(path), shape(path, lines, column_count), quote(quote_char), columns(column_count) {
    std::string header;
    lines.Next(header);
    shape.Check(1, SplitRecord(header, quote, columns).count, false);
  }
  // Each record after the header, its line first changed by prepare, then split and
  // checked (with cut_at_end, the last one may not end inside quotes); take gets its items
  // and its registration number. Blank lines are passed over, counted.
  template <class Import, class Prepare, class Take>
  void Records(Import &imp, bool cut_at_end, Prepare &&prepare, Take &&take) {
    std::string line;
    for (std::size_t l = 1; lines.Next(line); ++l) {
      if (Blank(line)) {
        imp.Blank(l);
        continue;
      }
      prepare(line);
      const TSplit record = SplitRecord(line, quote, columns);
      shape.Check(l + 1, record.count, cut_at_end && l == shape.Last() && OddQuotes(line));
      shape.CheckText(l + 1, line);
      const std::string &bango = shape.Number(l + 1, record.items[0]);
      line_no = l + 1;
      shape.Record(l + 1, [&] { take(record.items, bango); });
      imp.Row(l);
    }
    imp.Finish();
  }
};

void Unchanged(std::string &) {}

}  // namespace

void TAcisDB::ImportKihonRawCsv(const std::string &Path) {
  TCsvFile file(Path, '"', kKihonColumns);
  TImport imp(*this, kKihonInsert, file.lines.Count(), false);
  TProductLines products(Path);
  file.Records(imp, true, Unchanged, [&](const std::vector<std::string> &i, const std::string &bango) {
    std::string meisho = ToHankakuAscii(Item(i, 2));
    const std::vector<Value> values{bango, ToHankakuAscii(Item(i, 1)), meisho, CommonName(meisho),
                                    ToHankakuAscii(Item(i, 3)), ToHankakuAscii(Item(i, 4)),
                                    OrNull(ToHankakuAscii(Item(i, 5))), Item(i, 6), RawValue(Item(i, 7)), Item(i, 8),
                                    ToHankakuAscii(Item(i, 9)), DateTextNormalize(Item(i, 10))};
    products.Check(file.line_no, values);
    imp.Insert(values);
  });
}

void TAcisDB::ImportTekiyoRawCsv(const std::string &Path) {
  TLineReader lines(Path);
  std::string line;
  lines.Next(line);
  const TSplit header = SplitRecord(line, '"', kTekiyoColumns + 1);
  const bool access_no = Item(header.items, 19) == "アクセスＮＯ"_sj;
  const std::size_t columns = kTekiyoColumns + (access_no ? 1 : 0);
  const TCsvShape shape(Path, lines, columns);
  shape.Check(1, header.count, false);
  TImport imp(*this, kTekiyoInsert, lines.Count(), true);
  std::size_t n = 0;
  std::string next;
  for (std::size_t l = 1; lines.Next(line); ++l) {
    const std::size_t first = l;
    // A quoted field over two lines: the next line belongs to this one.
    if (OddQuotes(line) && l + 1 < lines.Count() && lines.Next(next)) {
      line += next;
      ++l;
    }
    ++n;
    if (Blank(line)) {
      imp.Blank(n);
      continue;
    }
    const bool open_quote = OddQuotes(line);
    line = Replace(std::move(line), "㍑", "L");
    line = Replace(std::move(line), "㍍", "m");
    line = Replace(std::move(line), "ｍ", "m");
    line = Replace(std::move(line), "ｇ", "g");
    TSplit record = SplitRecord(line, '"', columns);
    std::vector<std::string> &i = record.items;
    shape.Check(first + 1, record.count, l >= shape.Last() && open_quote, RequiredItems(i, access_no));
    shape.CheckText(first + 1, line);
    if (access_no) i.erase(i.begin() + 19);
    const std::string &bango = shape.Number(first + 1, i[0]);
    shape.Record(first + 1, [&] {
      std::vector<Value> v;
      v.reserve(20);
      v.push_back(bango);
      for (int k = 5; k <= 18; ++k) v.push_back(RawField(Item(i, k)));
      for (int k = 20; k <= 24; ++k) v.push_back(RawField(Item(i, k)));
      imp.Insert(v);
    });
    imp.Row(n);
  }
  imp.Finish();
}

void TAcisDB::ImportKihonCsv(const std::string &Path) {
  TCsvFile file(Path, '\'', kKihonColumns);
  TImport imp(*this, kKihonInsert, file.lines.Count(), false);
  TProductLines products(Path);
  file.Records(imp, false, Unchanged, [&](const std::vector<std::string> &i, const std::string &bango) {
    const std::vector<Value> values{bango,      Item(i, 1), Item(i, 2), CommonName(Item(i, 2)), Item(i, 3), Item(i, 4),
                                    UnlessNull(Item(i, 5)), Item(i, 6), RawValue(Item(i, 7)), Item(i, 8), Item(i, 9),
                                    DateTextNormalize(Item(i, 10))};
    products.Check(file.line_no, values);
    try {
      imp.Insert(values);
    } catch (const ESQLiteException &e) {
      // No row is dropped silently: the failure is shown and ends the import.
      UiServices().ShowReport("SQL エラー"_sj, Path + " SQL実行"_sj, SqlErrorText(e));
      throw;
    }
  });
}

void TAcisDB::ImportTekiyoCsv(const std::string &Path) {
  TCsvFile file(Path, '\'', kTekiyoColumns);
  TImport imp(*this, kTekiyoInsert, file.lines.Count(), true);
  auto units = [](std::string &line) {
    line = Replace(std::move(line), "平方メートル", "㎡");
    line = Replace(std::move(line), "メートル", "m");
  };
  file.Records(imp, false, units, [&](const std::vector<std::string> &i, const std::string &bango) {
    std::vector<Value> v;
    v.reserve(20);
    v.push_back(bango);
    for (int k = 5; k <= 12; ++k) v.push_back(UnlessNull(Item(i, k)));
    v.push_back(UnlessNull(SquareMetreSign(Item(i, 13))));
    for (int k = 14; k <= 18; ++k) v.push_back(UnlessNull(Item(i, k)));
    for (int k = 20; k <= 24; ++k) v.push_back(UnlessNull(Item(i, k)));
    imp.Insert(v);
  });
}

// ---------------------------------------------------------------- products and ingredients

void TAcisDB::FillTmKihon() {
  FSQL = "INSERT INTO tm_kihon(bango,shurui,meisho,tsusho,ryakusho,kongo,yoto,zaikei,torokubi) "
         "SELECT DISTINCT bango,shurui,meisho,tsusho,ryakusho,kongo,yoto,zaikei,torokubi FROM kihon;";
  FDb->BeginTransaction();
  try {
    FDb->ExecSQL(FSQL);
  } catch (...) {
    FDb->Commit();
    throw;
  }
  FDb->Commit();
  UiServices().ProcessMessages();
  LogTekiyoWithoutProduct();
}

// Applications whose number is no product's stay in the table (the search shows them
// without a product), but the log says how many there are and names the first numbers,
// so a published set that does not fit together is seen.
void TAcisDB::LogTekiyoWithoutProduct() {
  const std::string orphans = "FROM m_tekiyo WHERE bango NOT IN (SELECT bango FROM tm_kihon)";
  std::unique_ptr<TSQLiteTbl> t = FDb->GetTable("SELECT count(*) " + orphans);
  const std::string count = t->Eof() ? "0" : t->FieldAsString(0);
  if (count == "0") return;
  constexpr int kShown = 5;
  t = FDb->GetTable("SELECT DISTINCT bango " + orphans + " ORDER BY bango LIMIT " + std::to_string(kShown + 1));
  std::string numbers;
  int shown = 0;
  for (; !t->Eof() && shown < kShown; t->Next(), ++shown) numbers += (shown ? ", " : "") + t->FieldAsString(0);
  if (!t->Eof()) numbers += " ...";
  Log("登録基本部にない登録番号の適用: "_sj + count + " 件 (登録番号 "_sj + numbers + ")");
}

namespace {

// concat('・', the names of the fifteen effect masks of an effect-bit expression).
std::string EffectNames(const std::string &bits, const char *indent) {
  static const int masks[] = {3, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096, 8192, 16384, 32768};
  std::string s = std::string(indent) + "concat('" + "・"_sj + "'," + kCrLf;
  for (std::size_t i = 0; i < std::size(masks); ++i) {
    s += std::string(indent) + "(select koka from koka where kokaid = " + bits + " & " + std::to_string(masks[i]) +
         ")" + (i + 1 < std::size(masks) ? "," : "") + kCrLf;
  }
  return s;
}

}  // namespace

void TAcisDB::BuildMKihon() {
  FQuery = std::shared_ptr<TSQLiteTbl>(FDb->GetTable("SELECT bango,shurui FROM tm_kihon"));
  {
    std::shared_ptr<TSQLiteTbl> t = FQuery;
    FDb->BeginTransaction();
    try {
      for (; !t->Eof(); t->Next()) {
        FDb->ExecSQL("UPDATE tm_kihon SET " + SplitShuruiSeibun(t->FieldAsString(1)) + " WHERE bango = '" +
                     t->FieldAsString(0) + "'");
        UiServices().ProcessMessages();
      }
    } catch (...) {
      FDb->Commit();
      throw;
    }
    FDb->Commit();
  }

  std::string s = std::string("BEGIN TRANSACTION;") + kCrLf + "DROP TABLE IF EXISTS m_kihon3;" + kCrLf +
                  "DROP INDEX IF EXISTS idxBangoM;" + kCrLf + "CREATE TEMP TABLE t_kihon1 AS" + kCrLf + "SELECT" +
                  kCrLf + "bango, shurui, meisho, tsusho, ryakusho, kongo, yoto, zaikei,torokubi," + kCrLf;
  for (int n = 1; n <= 5; ++n) {
    std::string d = std::to_string(n);
    s += "seibun" + d + "," + kCrLf;
    s += "(select keito from spec.bunrui where seibun = seibun" + d + ") as keito" + d + "," + kCrLf;
    s += "(select kokaid from spec.bunrui where seibun = seibun" + d + ") as koka" + d + (n < 5 ? "," : "") + kCrLf;
  }
  s += std::string("FROM tm_kihon; ") + kCrLf + "CREATE TEMP TABLE t_kihon2 AS " + kCrLf + "SELECT" + kCrLf +
       "bango, shurui, meisho, tsusho, ryakusho, kongo, yoto, zaikei, torokubi," + kCrLf +
       "(ifnull(koka1,0) | ifnull(koka2,0) | ifnull(koka3,0) | ifnull(koka4,0) | ifnull(koka5,0)) AS idkoka," +
       kCrLf + "seibun1, keito1, --koka1," + kCrLf + "seibun2, keito2, --koka2," + kCrLf +
       "seibun3, keito3, --koka3," + kCrLf + "seibun4, keito4, --koka4," + kCrLf + "seibun5, keito5 --, koka5" +
       kCrLf + "FROM t_kihon1;" + kCrLf + "" + kCrLf + "COMMIT TRANSACTION;";
  RunScript(s);

  s = std::string("BEGIN TRANSACTION;") + kCrLf + "CREATE TABLE m_kihon AS" + kCrLf + "SELECT" + kCrLf +
      "bango, shurui, meisho, tsusho, ryakusho, kongo, yoto, zaikei, torokubi," + kCrLf + "--idkoka," + kCrLf +
      "CASE WHEN idkoka = 0 AND shurui LIKE '%" + "展着剤"_sj + "'" + kCrLf + " THEN '" + "展着"_sj + "'" + kCrLf +
      "ELSE" + kCrLf + EffectNames("idkoka", "") + ") END AS koka," + kCrLf + "seibun1, keito1, --koka1," + kCrLf +
      "seibun2, keito2, --koka2," + kCrLf + "seibun3, keito3, --koka3," + kCrLf + "seibun4, keito4, --koka4," +
      kCrLf + "seibun5, keito5 --, koka5" + kCrLf + "FROM t_kihon2;" + kCrLf + "CREATE INDEX idxBangoM ON m_kihon (bango);" +
      kCrLf + "" + kCrLf + "DROP TABLE t_kihon1;" + kCrLf + "DROP TABLE t_kihon2;" + kCrLf + "COMMIT TRANSACTION;";
  RunScript(s);
}

void TAcisDB::CreateSeibun() {
  SetMultiStatement(true);
  RunScript(std::string("begin transaction;") + kCrLf + "DROP TABLE IF EXISTS seibun;" + kCrLf +
            "CREATE TABLE seibun AS SELECT bango,ippanmei,nodo,seibun FROM kihon ORDER BY bango;DROP TABLE IF "
            "EXISTS kihon;" +
            kCrLf + "commit transaction;");
}

void TAcisDB::CreateIndexes() {
  auto progress = [this](int p) {
    if (FProgressBar) FProgressBar->SetPosition(p);
  };
  FDb->ExecSQL("CREATE INDEX idxNoSeibun ON seibun (bango);");
  progress(80);
  FDb->ExecSQL("CREATE INDEX idxTsushoM ON m_kihon (tsusho);");
  progress(82);
  progress(84);
  FDb->ExecSQL("CREATE INDEX idxNo ON m_tekiyo (bango);");
  progress(86);
  FDb->ExecSQL("CREATE INDEX idxTekiyoSakumotsu ON m_tekiyo (sakumotsu);");
  progress(88);
  progress(90);
}

void TAcisDB::CreateTekiyoViews() {
  SetMultiStatement(true);
  std::string slots;
  for (int n = 1; n <= 5; ++n) {
    std::string d = std::to_string(n);
    slots += "seibun" + d + ", keito" + d + ", kaisu" + d + "," + kCrLf;
  }
  RunScript(
      std::string("BEGIN TRANSACTION;") + kCrLf + "DROP VIEW IF EXISTS tekiyo;" + kCrLf +
      "DROP VIEW IF EXISTS vTekiyo;" + kCrLf + "DROP VIEW IF EXISTS vTsushoTekiyo;" + kCrLf +
      "CREATE VIEW tekiyo AS SELECT" + kCrLf + "bango, shurui, meisho, tsusho," + kCrLf + "b.xidsaku as xidsaku," +
      kCrLf + "b.idsaku as idsaku, a.sakumotsu as sakumotsu, c.idbyochu as idbyochu, a.byochu as byochu," + kCrLf +
      "mokuteki, jiki, baisu, ekiryo, hoho, basho, jikan, ondo, dojo, chitai, tekiyaku, kongo, kaisu," + kCrLf +
      "seibun1, keito1, kaisu1, seibun2, keito2, kaisu2, seibun3, keito3, kaisu3, seibun4, keito4, kaisu4, "
      "seibun5, keito5, kaisu5," +
      kCrLf + "yoto, koka, zaikei, ryakusho " + kCrLf +
      "FROM m_tekiyo AS a LEFT JOIN m_kihon USING(bango) LEFT JOIN m_sakumotsu AS b USING(sakumotsu) LEFT JOIN "
      "m_byochu AS c USING(byochu);" +
      kCrLf + "CREATE VIEW vTekiyo AS" + kCrLf + "SELECT" + kCrLf +
      "bango, shurui, meisho, sakumotsu, byochu, mokuteki, jiki, baisu, ekiryo," + kCrLf +
      "hoho, basho, jikan, ondo, dojo, chitai, tekiyaku, kongo, kaisu," + kCrLf + slots +
      "yoto, koka, zaikei, ryakusho" + kCrLf + "FROM m_tekiyo LEFT JOIN m_kihon USING(bango);" + kCrLf +
      "CREATE VIEW vTsushoTekiyo AS" + kCrLf + "SELECT DISTINCT" + kCrLf +
      "sakumotsu, byochu, mokuteki, shurui, tsusho, jiki, baisu, ekiryo," + kCrLf +
      "hoho, basho, jikan, ondo, dojo, chitai, tekiyaku, kongo, kaisu," + kCrLf + slots + "yoto, koka, zaikei" +
      kCrLf + "FROM m_tekiyo LEFT JOIN m_kihon USING(bango);" + kCrLf + "COMMIT TRANSACTION;");
  if (FProgressBar) FProgressBar->SetPosition(96);
}

void TAcisDB::RunScript(const std::string &Script) {
  try {
    FDb->ExecSQL(Script);
  } catch (...) {
    // A script that fails part-way leaves no transaction open behind it.
    try {
      FDb->ExecSQL("ROLLBACK;");
    } catch (...) {
    }
    throw;
  }
}
