#include "engine/acdb.h"

#include <sqlite3.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/UiServices.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "platform/fspath.h"

using namespace cp932::literals;

TAcisDB *AcisDB = nullptr;

TAcisDBOwner &AcisDBOwner() {
  static TAcisDBOwner owner;
  return owner;
}

TAcisDB &TAcisDBOwner::Reopen(const std::string &Path, ILogTarget *Log) {
  Close();
  FDb = std::make_unique<TAcisDB>(Path, Log);
  AcisDB = FDb.get();
  return *FDb;
}

void TAcisDBOwner::Close() {
  AcisDB = nullptr;
  FDb.reset();
}

std::unique_ptr<TAcisDB> TAcisDBOwner::Exchange(std::unique_ptr<TAcisDB> Db) {
  std::swap(FDb, Db);
  return Db;
}
TAcisDB::TReferenceRefresh TAcisDB::ReferenceRefresh;

namespace {

const std::string kCrLf = "\r\n";

// Lower case of ASCII letters only; column names are ASCII.
std::string AsciiLower(std::string s) {
  for (char &c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// Reads the file's folder setting as the folder of the database files.
std::string DataFile(const std::string &name) {
  std::string folder = OptionData ? OptionData->DbFolder : std::string();
  if (!folder.empty() && folder.back() != '/') folder.push_back('/');
  return folder + name;
}

// The column-name captions of the result grids, keyed by lower-case column name. A key
// written with "#" stands for the five slots key1 .. key5, captioned caption1 .. caption5.
struct TCaptionEntry {
  const char *key, *caption_utf8;
};
constexpr TCaptionEntry kCaptionTable[] = {
    // The columns of the application and product tables, which every result shows.
    {"ippanmei", "有効成分"},
    {"seibun", "総使用回数における有効成分"},
    {"nodo", "濃度"},
    {"zaikei", "剤型"},
    {"torokubi", "登録年月日"},
    {"kigen", "有効期限"},
    {"bango", "番号"},
    {"yoto", "用途"},
    {"shurui", "農薬の種類"},
    {"meisho", "農薬の名称"},
    {"tsusho", "農薬通称"},
    {"ryakusho", "申請者"},
    {"xidsaku", "旧作物コード"},
    {"idsaku", "作物コード"},
    {"sakumotsu", "作物名"},
    {"basho", "適用場所"},
    {"idbyochu", "病害虫コード"},
    {"byochu", "適用病害虫雑草名"},
    {"mokuteki", "使用目的"},
    {"baisu", "希釈倍数使用量"},
    {"ekiryo", "散布液量"},
    {"jiki", "使用時期"},
    {"kaisu", "本剤の使用回数"},
    {"hoho", "使用方法"},
    {"jikan", "くん蒸時間"},
    {"ondo", "くん蒸温度"},
    {"dojo", "適用土壌"},
    {"chitai", "適用地帯名"},
    {"tekiyaku", "適用農薬名"},
    {"kongo", "混合数"},
    {"kaisu#", "回数"},
    {"seibun#", "成分"},
    {"keito#", "系統"},
    // Toxicity, groups and modes of action of products and ingredients.
    {"gyodoku", "魚毒性"},
    {"dokusei", "毒性"},
    {"seizaieikyo", "製剤の影響"},
    {"seibuneikyo", "成分の影響"},
    {"biko", "備考"},
    {"dokuseimei", "毒性名"},
    {"seibunmei", "成分名"},
    {"koka", "効果"},
    {"chuijiko", "使用上の注意事項"},
    {"koshin", "更新日"},
    {"keito", "系統名"},
    {"kagakumei", "化学名"},
    {"nodochu", "含有量(注釈)"},
    {"jogai", "毒劇除外"},
    {"jyogai1", "毒劇除外1"},
    {"jyogai2", "毒劇除外2"},
    {"mid", "RACコード"},
    {"sayoten", "作用点"},
    {"sayokiko", "作用機構"},
    {"fgroup", "備考"},
    {"risk", "耐性リスク"},
    {"mid#", "RAC"},
    {"hatsutoroku", "初登録年月日"},
    // Rice growing stages and the exclusions of the toxicity classes.
    {"nai", "苗"},
    {"ishoku", "移植"},
    {"chokuha", "直播"},
    {"ine", "稲"},
    {"momi", "籾"},
    {"jogaiseibun", "除外成分"},
    {"jogainodo", "除外濃度"},
    {"jogaisiki", "除外式"},
    {"kousin", "更新日"},
    {"seizaidokusei", "製剤毒性"},
    // The crop vocabulary table, as its list in the crop dialog heads it.
    {"superior", "上位作物"},
    {"crop", "農作物名"},
    {"family", "科名"},
    {"synonym", "別名"},
    {"kana", "ひらがな"},
    {"nomen", "学名"},
    {"english", "英名"},
    {"harvest", "収穫部位"},
    {"cultivate", "栽培方法"},
    {"use", "用途"},
    {"maturity", "成熟度"},
    {"note", "備考"},
    {"itgl", "ITガイドライン小分類"},
    {"bunruihyo", "食品分類表食品名"},
    {"seibunhyo", "食品標準成分表食品名"},
    {"wamei", "品種登録DB植物種類"},
    {"hinshu", "品種登録DB品種名称"},
    {"ncbi", "NCBI"},
    {"wikipedia", "WikiPedia"},
    {"agrovac", "AGROVAC"},
    // The ingredient slots of the kept application table and its views.
    {"yuko#", "有効成分"},
    {"rem#", "備考"},
    {"risk#", "耐性リスク"},
    {"rackeito", "RAC系統"},
    {"seizaiyoto", "製剤用途"},
    {"seizaikoka", "製剤効果"},
    {"seizaiojas", "有機JAS"},
    {"ojas", "有機JAS"},
    // Crop groups and readings.
    {"gunmei", "群横断作物名"},
    {"shozoku", "所属作物群名"},
    {"nozoku", "除外作物名"},
    {"fukumu", "包含作物名"},
    {"betsumei", "別名"},
    {"ruby", "よみがな"},
};

const std::unordered_map<std::string, std::string> &Captions() {
  static const std::unordered_map<std::string, std::string> table = [] {
    std::unordered_map<std::string, std::string> m;
    for (const TCaptionEntry &e : kCaptionTable) {
      const std::string key = e.key, caption = cp932::FromUtf8(e.caption_utf8);
      if (key.back() != '#') {
        m.emplace(key, caption);
        continue;
      }
      for (char n = '1'; n <= '5'; ++n) m.emplace(key.substr(0, key.size() - 1) + n, caption + n);
    }
    return m;
  }();
  return table;
}

// Fills the current result into the target, keeping the table alive for the whole run.
template <typename RowFn>
void ForEachRow(const std::shared_ptr<TSQLiteTbl> &keep, RowFn row) {
  TSQLiteTbl &t = *keep;
  while (!t.Eof() && !RunStopRequested()) {
    row(t);
    t.Next();
    UiServices().ProcessMessages();
  }
}

// Restores the target's update state whatever happens.
class UpdateScope {
 public:
  UpdateScope(IStringsTarget &t, bool on) : t_(t), on_(on) {
    if (on_) t_.BeginUpdate();
  }
  ~UpdateScope() {
    if (on_) t_.EndUpdate();
  }

 private:
  IStringsTarget &t_;
  bool on_;
};

// "%5d" and one blank before column 1: the numbered items of combos and lists.
std::string NumberedItem(TSQLiteTbl &t) {
  std::string code = t.FieldAsString(0);
  // The code must be an integer text; anything else is a conversion error for the caller.
  std::size_t pos = 0;
  long long v = 0;
  try {
    v = std::stoll(code, &pos);
  } catch (const std::exception &) {
    pos = std::string::npos;
  }
  if (code.empty() || pos != code.size())
    throw EConvertError("'" + code + "' is not a valid integer value");
  char buf[32];
  std::snprintf(buf, sizeof buf, "%5lld", v);
  return std::string(buf) + " " + t.FieldAsString(1);
}

}  // namespace

std::string SqlErrorText(const Exception &e) {
  return std::string(e.ClassName()) + kCrLf + "---------" + kCrLf + e.Message();
}

void ShowSqlErrorReport(const std::string &title, const Exception &e) {
  UiServices().ShowReport("SQL エラー"_sj, title, SqlErrorText(e));
}

std::string SqliteCause(const Exception &e) {
  const std::string text = e.Message();
  const std::size_t at = text.rfind("\" : ");
  return at == std::string::npos ? text : text.substr(at + 4);
}

// ---------------------------------------------------------------- construction

TAcisDB::TAcisDB(const std::string &Path, ILogTarget *LogTo, const TRowCounts *Previous) : FLog(LogTo) {
  if (Previous) FPrevious = *Previous;
  FDb = std::make_unique<TSQLiteDb>(Path);
  // The searches read their rows at random places of a file of a few hundred megabytes; a
  // page cache of 64 MB keeps the pages a search touched for the next one.
  FDb->ExecSQL("PRAGMA cache_size = -65536;");
  Log("acis.db open");
  SetMultiStatement(true);
  ReadLastUpdate();
  AttachSpec();
  AttachJpp();
}

TAcisDB::~TAcisDB() {
  FLog = nullptr;
  FQuery.reset();
  FDb.reset();
}

void TAcisDB::Attach(const std::string &FileName, const std::string &Schema) {
  // The path goes in as a quoted literal, so a folder holding a quote attaches too.
  ExecSQL("ATTACH " + SqlQuoted(FileName) + " AS " + Schema + ";");
}

void TAcisDB::AttachSpec() {
  Attach(DataFile("spec.db"), "spec");
  Log("spec.db Attach");
  int site = OptionData ? OptionData->BuiltFromSite : 0;
  if (site == 3 || site == 4 || !ReferenceRefresh) return;
  try {
    ReferenceRefresh(*this);
  } catch (const ESQLiteException &) {
    // already reported by the statement that failed
  } catch (const std::exception &e) {
    UiServices().MessageBox(ExceptionClassName(e) + "\r\n" + e.what(), "Quillmar", MB_OK | MB_ICONERROR);
  }
}

void TAcisDB::AttachJpp() {
  std::string path = DataFile("jpp.db");
  std::error_code ec;
  if (!std::filesystem::exists(FsPath(path), ec)) return;
  Attach(path, "jpp");
  Log("jpp.db Attach");
}

// ---------------------------------------------------------------- connection and info

void TAcisDB::SetMultiStatement(bool Value) { FDb->MultiStatement = Value; }

std::string TAcisDB::SQLiteVersion() const { return TSQLiteDb::Version(); }

void TAcisDB::ReadLastUpdate() {
  if (!TableExists("info")) {
    FLastUpdate = "不明"_sj;
    return;
  }
  auto t = FDb->GetTable("SELECT Value FROM info WHERE Item = 'LastUpdate'");
  FQuery = std::shared_ptr<TSQLiteTbl>(std::move(t));
  // A table without the row reads as an unknown date rather than failing the open.
  std::string value = FQuery->Eof() ? std::string() : FQuery->FieldAsString(0);
  FLastUpdate = value.empty() ? "更新日付不明"_sj : value;
}

void TAcisDB::SetLastUpdate(const std::string &DateText) {
  FLastUpdate = DateText;
  if (!TableExists("info")) return;
  // The date is bound, not pasted: a double-quoted text would be read as a column name
  // when it is one, and a quote in it would break the statement.
  TSQLiteStmt update(*FDb, "UPDATE info SET Value = ? WHERE Item = 'LastUpdate'");
  update.BindText(1, DateText);
  update.Exec();
}

std::string TAcisDB::PageDate() {
  if (!TableExists("info")) return {};
  const auto t = FDb->GetTable("SELECT Value FROM info WHERE Item = 'PageDate'");
  return t->Eof() ? std::string() : t->FieldAsString(0);
}

void TAcisDB::SetPageDate(const std::string &DateText) {
  if (!TableExists("info")) return;
  FDb->ExecSQL("DELETE FROM info WHERE Item = 'PageDate'");
  TSQLiteStmt insert(*FDb, "INSERT INTO info (Item, Value) VALUES ('PageDate', ?)");
  insert.BindText(1, DateText);
  insert.Exec();
}

int TAcisDB::GetVersion() {
  if (!TableExists("info")) return 0;
  const auto t = FDb->GetTable("SELECT Value FROM info WHERE Item = 'Version'");
  if (t->Eof()) return 0;
  std::string v = t->FieldAsString(0);
  std::size_t pos = 0;
  try {
    long long n = std::stoll(v, &pos);
    if (pos != v.size()) return 0;
    return static_cast<int>(n);
  } catch (const std::exception &) {
    return 0;
  }
}

bool TAcisDB::TableExists(const std::string &Name) {
  // Unqualified names belong to acis.db itself or to the connection's temporary tables;
  // a table of the same name in spec.db or jpp.db does not count.
  std::string schema, table = Name;
  if (auto dot = Name.find('.'); dot != std::string::npos) {
    schema = Name.substr(0, dot);
    table = Name.substr(dot + 1);
  }
  std::string sql;
  if (schema.empty()) {
    sql = "SELECT 1 FROM main.sqlite_master WHERE type IN ('table','view') AND name = " +
          SqlQuoted(table) + " COLLATE NOCASE UNION ALL SELECT 1 FROM temp.sqlite_master WHERE "
          "type IN ('table','view') AND name = " + SqlQuoted(table) + " COLLATE NOCASE";
  } else {
    sql = "SELECT 1 FROM " + schema + ".sqlite_master WHERE type IN ('table','view') AND name = " +
          SqlQuoted(table) + " COLLATE NOCASE";
  }
  try {
    return FDb->GetTable(sql)->Count() > 0;
  } catch (const ESQLiteException &) {
    return false;  // an unknown schema holds no table
  }
}

void TAcisDB::Log(const std::string &Line) {
  if (FLog) FLog->AddLine(Line);
}

// ---------------------------------------------------------------- statements

void TAcisDB::ExecSQL(const std::string &SQL) {
  TBusyCursor busy;
  try {
    FDb->ExecSQL(SQL);
  } catch (const ESQLiteException &e) {
    ShowSqlErrorReport("", e);
  }
}

bool TAcisDB::ExecQuery(const std::string &SQL, bool WarnIfEmpty) {
  const std::shared_ptr<TSQLiteTbl> before = FQuery;
  if (ExecQuery(SQL, TReadLimits())) return true;
  if (FQuery == before) return false;  // the failure is reported
  if (WarnIfEmpty)
    UiServices().MessageBox("検索条件に一致するデータはありません"_sj, "Quillmar", MB_OK | MB_ICONWARNING);
  return false;
}

bool TAcisDB::ExecQuery(const std::string &SQL, const TReadLimits &Limits) {
  TBusyCursor busy;
  try {
    FQuery = std::shared_ptr<TSQLiteTbl>(FDb->GetTable(SQL, Limits));
  } catch (const ESQLiteException &e) {
    ShowSqlErrorReport("", e);
    return false;
  }
  return FQuery->Count() > 0;
}

// ---------------------------------------------------------------- fills

void TAcisDB::FillStrings(IStringsTarget &Target, const std::function<void(TSQLiteTbl &)> &Row,
                          bool UseUpdate) {
  std::shared_ptr<TSQLiteTbl> keep = FQuery;
  if (!keep || keep->Count() == 0) return;
  UpdateScope scope(Target, UseUpdate);
  ForEachRow(keep, Row);
}

void TAcisDB::SetCombo(IStringsTarget &Combo, int Column, bool Clear) {
  if (!FQuery || FQuery->Count() == 0) return;
  if (Clear) Combo.Clear();
  FillStrings(Combo, [&](TSQLiteTbl &t) { Combo.Add(t.FieldAsString(Column)); }, false);
}

void TAcisDB::SetComboNumbered(IStringsTarget &Combo, bool Clear) {
  if (!FQuery || FQuery->Count() == 0) return;
  if (Clear) Combo.Clear();
  FillStrings(Combo, [&](TSQLiteTbl &t) { Combo.Add(NumberedItem(t)); }, false);
}

void TAcisDB::SetListBoxNumbered(IStringsTarget &ListBox, bool Clear) {
  if (!FQuery || FQuery->Count() == 0) return;
  UpdateScope scope(ListBox, true);
  if (Clear) ListBox.Clear();
  FillStrings(ListBox, [&](TSQLiteTbl &t) { ListBox.Add(NumberedItem(t)); }, false);
}

void TAcisDB::SetListBox(IStringsTarget &ListBox, int Column) {
  FillStrings(ListBox, [&](TSQLiteTbl &t) {
    std::string s = t.FieldAsString(Column);
    if (!s.empty()) ListBox.Add(s);
  }, true);
}

void TAcisDB::SetCheckListBox(IStringsTarget &CheckListBox) {
  FillStrings(CheckListBox, [&](TSQLiteTbl &t) {
    std::string s = t.FieldAsString(0);
    if (!s.empty() && !CheckListBox.Contains(s)) CheckListBox.Add(s);
  }, true);
}

// ---------------------------------------------------------------- grids

std::string TAcisDB::FieldCaption(const std::string &ColumnName) {
  const auto &m = Captions();
  auto it = m.find(AsciiLower(ColumnName));
  return it == m.end() ? ColumnName : it->second;
}

void TAcisDB::FillGrid(IGridSink &Grid, TSQLiteTbl &Table, bool CaptionRule, const std::function<bool()> &Stopped) {
  Grid.SetGridVisible(false);
  const int cols = Table.ColCount();
  Grid.SetShape(cols, Table.Count() + 1, 1, 0);
  Grid.ReserveText(Table.TextBytes());
  const bool seizai = CaptionRule && Grid.GridName() == "gdSeizai";
  const std::string dokusei = "毒性"_sj;
  for (int c = 0; c < cols; ++c) {
    std::string caption = FieldCaption(Table.Columns(c));
    if (seizai && caption == dokusei) caption = "製剤毒性"_sj;
    Grid.SetCell(c, 0, caption);
  }
  // The cells go over as views of the table's own bytes; only numbers are written out.
  std::vector<std::string> numbers(static_cast<std::size_t>(cols));
  std::vector<std::string_view> views(static_cast<std::size_t>(cols));
  TEventPump pump;
  int row = 1;
  // A stop leaves the rows not reached empty.
  while (!Table.Eof() && !RunStopRequested() && !(Stopped && Stopped())) {
    for (int c = 0; c < cols; ++c) views[c] = Table.FieldView(c, numbers[c]);
    Grid.SetRowCells(row, views.data(), cols);
    ++row;
    Table.Next();
    pump.Tick();
  }
}

bool TAcisDB::SetGrid(IGridSink &Grid, const std::string &SQL) {
  std::shared_ptr<TSQLiteTbl> table;
  try {
    table = std::shared_ptr<TSQLiteTbl>(FDb->GetTable(SQL));
  } catch (const ESQLiteException &e) {
    UiServices().ShowReport("SQL エラー"_sj, "AcisDB.SetGrid ", SqlErrorText(e));
    return false;
  } catch (const Exception &e) {
    UiServices().ShowReport("FDb.GetTable エラー"_sj, "TAcisDB.SetGrid  データ取得失敗"_sj, SqlErrorText(e));
    return false;
  } catch (const std::exception &e) {
    UiServices().ShowReport("FDb.GetTable エラー"_sj, "TAcisDB.SetGrid  データ取得失敗"_sj,
                    std::string("Exception") + kCrLf + "---------" + kCrLf + e.what());
    return false;
  }
  FQuery = table;
  if (table->Count() == 0) {
    UiServices().MessageBox("検索条件に一致するデータはありません"_sj, "Quillmar", MB_OK | MB_ICONWARNING);
    return false;
  }
  TBusyCursor busy;
  Grid.BeginUpdate();  // painting stays off while the cells are written
  struct RedrawOn {
    IGridSink &g;
    ~RedrawOn() { g.EndUpdate(); }
  } redraw_on{Grid};
  FillGrid(Grid, *table, true);
  // A fill stopped before its end did not take the rows: nothing is to be shown.
  return !RunStopRequested();
}

bool TAcisDB::SetGridFromTable(IGridSink &Grid, TSQLiteTbl &Table, const std::function<bool()> &Stopped) {
  if (Table.Count() == 0) return false;
  // A query started while the events run replaces the current result; the fill keeps it.
  const std::shared_ptr<TSQLiteTbl> keep = &Table == FQuery.get() ? FQuery : nullptr;
  FillGrid(Grid, Table, false, Stopped);
  return Table.Eof();
}

// ---------------------------------------------------------------- look-ups

std::unique_ptr<TSQLiteTbl> TAcisDB::LookUp(const std::string &SQL) {
  TBusyCursor busy;
  try {
    return FDb->GetTable(SQL);
  } catch (const ESQLiteException &e) {
    ShowSqlErrorReport("", e);
    return nullptr;
  }
}

std::string TAcisDB::GetIso(const std::string &IngredientName) {
  const auto t = LookUp("SELECT iso FROM iso WHERE ippanmei = " + SqlQuoted(IngredientName));
  return t && !t->Eof() ? t->FieldAsString(0) : IngredientName;
}

int TAcisDB::ByochuCid(const std::string &PestName) {
  const auto t = LookUp("SELECT cid FROM byochu WHERE byochu = " + SqlQuoted(PestName) + ";");
  return t && !t->Eof() ? static_cast<int>(t->FieldAsInteger(0)) : -1;
}

std::string FormatIsoName(const std::string &IngredientName) {
  if (!AcisDB) return IngredientName;
  std::string iso = AcisDB->GetIso(IngredientName);
  return iso != IngredientName ? iso + "(" + IngredientName + ")" : IngredientName;
}

// ---------------------------------------------------------------- second connection

TAcisMiniDB::TAcisMiniDB(const std::string &Path) {
  FDb = std::make_unique<TSQLiteDb>(Path);
  FDb->MultiStatement = true;
  AttachSpec();
}

TAcisMiniDB::~TAcisMiniDB() = default;

void TAcisMiniDB::AttachSpec() {
  FDb->ExecSQL("ATTACH " + SqlQuoted(DataFile("spec.db")) + " AS spec;");
}

std::string TAcisMiniDB::UpperGroup(const std::string &CropName) {
  const std::string n = SqlQuoted(CropName);
  const std::string sql =
      "drop table if exists tidsaku;\r\n"
      "create temp table tidsaku(idsaku varchar primary key, toroku integer, sakumotsu varchar);\r\n"
      "insert into tidsaku\r\n"
      "select idsaku, toroku, sakumotsu from vg_sakumotsu2 where idsaku in (\r\n"
      "select max(idsaku) from vg_sakumotsu2 where toroku = 1 and idsaku regexp (\r\n"
      "select concat('|',idsaku,\r\n"
      "substr(idsaku,1,12)||'0000',\r\n"
      "substr(idsaku,1,8)||'00000000',\r\n"
      "substr(idsaku,1,6)||'0000000000',\r\n"
      "substr(idsaku,1,4)||'000000000000',\r\n"
      "substr(idsaku,1,2)||'00000000000000')\r\n"
      "from vg_sakumotsu2 where sakumotsu = " + n + "\r\n"
      ")\r\n"
      ");\r\n"
      "insert or ignore into tidsaku\r\n"
      "select idsaku, toroku, sakumotsu from vg_sakumotsu2 where\r\n"
      "sakumotsu not regexp '^'||" + n + "||'(\\(|" + "類"_sj + ")' and sakumotsu not like '%" +
      "栽培"_sj + "%' and\r\n"
      "sakumotsu not like '" + "その他"_sj + "%' and idsaku regexp (\r\n"
      "select '^('||concat('|',\r\n"
      "if(class = 5,substr(idsaku,1,12)||'0000',substr(idsaku,1,12)),\r\n"
      "substr(idsaku,1,8)||'0000',\r\n"
      "substr(idsaku,1,6)||'000000',\r\n"
      "substr(idsaku,1,4)||'00000000',\r\n"
      "substr(idsaku,1,2)||'0000000000',\r\n"
      "if(gunmei is not null,(select idsaku from vg_sakumotsu2 where sakumotsu = a.gunmei), '')\r\n"
      ")||')'\r\n"
      "from vg_sakumotsu2 as a where sakumotsu = " + n + ")\r\n"
      "order by idsaku desc;\r\n"
      "select concat(',',sakumotsu) from tidsaku;";
  try {
    // A name that is no crop has no group (its code pattern would be empty).
    if (FDb->GetTable("select 1 from vg_sakumotsu2 where sakumotsu = " + n)->Count() == 0)
      return std::string();
    FTable = FDb->GetTable(sql);
  } catch (const ESQLiteException &e) {
    ShowSqlErrorReport("AcisMiniDB.UpperGroup SQL実行"_sj, e);
    return std::string();
  }
  if (FTable->Eof()) return std::string();
  return FTable->FieldAsString(0);
}
