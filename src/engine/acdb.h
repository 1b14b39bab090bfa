// The query object: the one object through which the windows and the build steps talk to
// acis.db. It owns the connection (with spec.db attached as "spec", and jpp.db as "jpp" when
// present), keeps the result table of the last query, reports SQL failures in the SQL error
// report, and fills lists, combo boxes and result grids from the current result.
//
// Further operations of the same object (crop hierarchy, search schema, database build,
// reference refresh, JPP import) are declared below in their own sections and defined in
// their own source files.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/FillTargets.h"
#include "engine/SQLite.h"

// The text of an SQL failure report: class name, CR LF, "---------", CR LF, message.
std::string SqlErrorText(const Exception &e);
// Shows an SQL failure in the report dialog ("SQL エラー") under the given title line.
void ShowSqlErrorReport(const std::string &title, const Exception &e);
// SQLite's own words at the end of a failure's message ('... "<SQL>" : <words>'), for a line
// that a statement's whole text would drown.
std::string SqliteCause(const Exception &e);

// The rows of the reference tables a database holds, by table name (see ReferenceRowCounts).
using TRowCounts = std::map<std::string, long long>;

class TAcisDB {
 public:
  // Opens (or creates) acis.db at Path, attaches spec.db (refreshing its reference tables
  // unless the database came ready-made) and jpp.db when present. Log may be null.
  // A failure to open raises ESQLiteException. Previous, when given, holds the rows the
  // database this one replaces had in its reference tables: a refresh that leaves one of
  // them empty fails as it would on a table that had rows here.
  TAcisDB(const std::string &Path, ILogTarget *Log, const TRowCounts *Previous = nullptr);
  // Forgets the log and closes the connection (rolling back an open transaction).
  ~TAcisDB();
  TAcisDB(const TAcisDB &) = delete;
  TAcisDB &operator=(const TAcisDB &) = delete;

  // ---- connection and info table
  void SetMultiStatement(bool Value);
  std::string SQLiteVersion() const;
  void ReadLastUpdate();
  void SetLastUpdate(const std::string &DateText);
  // The data date of the source's update page that the data were built from, where the
  // data write their own date otherwise (the publisher's workbooks); empty when none was
  // recorded. Kept in the info table beside LastUpdate.
  std::string PageDate();
  void SetPageDate(const std::string &DateText);
  int GetVersion();
  // True when acis.db (or the connection's temporary schema) holds the table or view.
  // A name qualified with a schema ("spec.m_sakumotsu") is looked up in that schema.
  bool TableExists(const std::string &Name);
  void Log(const std::string &Line);

  // ---- statements
  // Runs the SQL text; an SQL failure is shown in the report dialog and not raised.
  void ExecSQL(const std::string &SQL);
  // Runs the query into the current result table; True when it has rows. With WarnIfEmpty
  // an empty result shows "検索条件に一致するデータはありません".
  bool ExecQuery(const std::string &SQL, bool WarnIfEmpty = false);
  // The same within the limits: a read that was stopped or reached its bound keeps the rows
  // read so far as the current result (its End() says which).
  bool ExecQuery(const std::string &SQL, const TReadLimits &Limits);

  // ---- fills from the current result (each reads from the cursor to the end)
  void SetCombo(IStringsTarget &Combo, int Column, bool Clear);
  void SetComboNumbered(IStringsTarget &Combo, bool Clear);
  void SetListBoxNumbered(IStringsTarget &ListBox, bool Clear);
  void SetListBox(IStringsTarget &ListBox, int Column);
  void SetCheckListBox(IStringsTarget &CheckListBox);

  // ---- result grids
  // True when the grid took the rows: false after a failure (reported), an empty result
  // (with its box) or a fill stopped before its end (RunStopRequested).
  bool SetGrid(IGridSink &Grid, const std::string &SQL);
  // The same from a result already read; Stopped (when given) ends the fill as a stop of
  // the run does. True when the grid took every row.
  bool SetGridFromTable(IGridSink &Grid, TSQLiteTbl &Table, const std::function<bool()> &Stopped = {});
  static std::string FieldCaption(const std::string &ColumnName);

  // ---- look-ups (each in a table of its own: the current result stays as it is)
  std::string GetIso(const std::string &IngredientName);
  int ByochuCid(const std::string &PestName);

  // ---- state
  const std::string &LastUpdate() const { return FLastUpdate; }
  // The current result table (empty before the first query). Shared, so that a fill that
  // is running keeps its table even when a query started meanwhile replaces it.
  TSQLiteTbl *Query() const { return FQuery.get(); }
  std::shared_ptr<TSQLiteTbl> QueryShared() const { return FQuery; }
  TSQLiteDb &Db() { return *FDb; }
  IProgressTarget *ProgressBar() const { return FProgressBar; }
  void SetProgressBar(IProgressTarget *Bar) { FProgressBar = Bar; }
  ILogTarget *LogTarget() const { return FLog; }
  void SetLogTarget(ILogTarget *Log) { FLog = Log; }
  std::string &SQL() { return FSQL; }

  // The step that refreshes the reference tables when spec.db is attached. Installed by the
  // program (and by tests); none means no refresh.
  using TReferenceRefresh = std::function<void(TAcisDB &)>;
  static TReferenceRefresh ReferenceRefresh;

  // ---- crop hierarchy
  // Crop names travel as comma text; code expressions come back quoted for SQL, ready to
  // stand behind "idsaku REGEXP". Failures are shown (SQL error report or message box) and
  // never raised. An expression that would be too large for the regular-expression engine
  // is refused with a warning and comes back matching no code.

  // The registered crop names (status 1 or 3) among the crop itself, its ancestors and its
  // cross-group crop, as comma text.
  std::string UpperGroup(const std::string &Name);
  // The ancestors and the cross-group crop, unregistered ones in "( )", sub-level ones in
  // "[ ]"; failures are silent.
  std::string UpperSakumotsuList(const std::string &Name);
  // The nearest registered crop and the crops on the same level.
  std::string SameLevelSakumotsu(const std::string &Name);
  // The crop and its registered descendants, followed by what followed the crop's name in
  // the term; mode "~" gives UpperGroup instead.
  std::string DeployCrops(const std::string &Term, char Mode);
  // '^(code|code...)' of the named crops with their upper groups and the matching "9"
  // entries; '^$' when no code matches.
  std::string DeployIdsaku(const std::string &Names);
  // The code expression of crops given by name (or, with MatchByPattern, by a pattern over
  // names, other names and readings), with the deciduous-fruit sub-entries left out unless
  // asked for; '0000000000000000' when no crop matches.
  void IdSakuRegexpLine(const std::string &Crops, bool MatchByPattern, std::string &Result,
                        bool UseDeployIdsaku = false);
  // The codes of the crops that name one of the crops or belong to one of them (through
  // the auxiliary crop table) as "'code|code'", "'^$'" when none; Flag has no effect.
  // The names of Crops that are also in UpperOnly (comma text) entered the list only as
  // upper groups of a picked crop: each of them selects its own entry, and its qualified
  // entries (the group's name with a bracketed condition) that exclude none of the crops,
  // never the other crops filed under it.
  std::string IdSakuRegexpLineTest(const std::string &Crops, bool Flag = false,
                                   const std::string &UpperOnly = std::string());
  // True when the crop is a deciduous fruit tree of the fruit group.
  bool IsRakuyokaju(const std::string &Name);
  // Adds to Except the codes of the deciduous-fruit sub-entries that the crops do not ask for.
  void IdSakuRakuyokaju(const std::string &Crops, std::vector<std::string> &Except);
  // Crop names matching the term (folded comparison with "%" at either end).
  bool SakumotsuMatches(const std::string &Term);
  // Result := the matching names as comma text; left as it was when none matches.
  void MatchSakumotsuList(const std::string &Term, std::string &Result);

 private:
  // Runs a look-up into a table of its own; an SQL failure is reported as ExecQuery does
  // and gives null.
  std::unique_ptr<TSQLiteTbl> LookUp(const std::string &SQL);
  enum class TCropQuery { Row, NoRow, Failed };
  // Runs SQL (multi-statement) into the current result and reads the first row's first
  // cell. When that cell is a list joined by concat that reached concat's length cap,
  // RowSQL (the same rows, one value per row) runs instead and the list is joined here, so
  // it stays whole. An SQL failure is shown under Title when Report is set.
  TCropQuery CropListQuery(const std::string &SQL, const std::string &RowSQL,
                           const std::string &Sep, const std::string &Title, bool Report,
                           std::string &Cell);

 public:

  // ---- search schema
  // The connection's temporary search tables and views; run once per connection. The
  // denormalised application table is kept in acis.db under the data date and rebuilt only
  // when that key changes. A failing script is shown in the report and the next one runs.
  // When acis.db cannot take the application table, the connection keeps its own copy; with
  // RaiseFailures (the build, whose file must come out whole) that failure raises instead.
  void CreateViews(bool RaiseFailures = false);
  // Runs a search script as one unit with the step that shows its result: at the first
  // failing statement the failure is shown in the SQL error report, and when a statement
  // fails or Show gives False, the whole script is undone (the previous work tables stay).
  // True when the script ran and Show (when given) gave True.
  bool ExecSearchScript(const std::string &Script, const std::function<bool()> &Show = {});

  // ---- database build (in build order)
  void CreateTables();
  void ImportKihonXls(const ICellSource &Grid);
  void ImportTekiyoXls(const ICellSource &Grid);
  void ImportKihonRawCsv(const std::string &Path);
  void ImportTekiyoRawCsv(const std::string &Path);
  void ImportKihonCsv(const std::string &Path);
  void ImportTekiyoCsv(const std::string &Path);
  // Also writes to the log how many applications have a number that is no product's (they
  // stay), naming the first few numbers.
  void FillTmKihon();
  void BuildMKihon();
  void CreateSeibun();
  void CreateIndexes();
  void CreateTekiyoViews();

  // ---- reference refresh
  // Runs a script file as one multi-statement text (Utf8: the file is UTF-8, else CP932).
  // False when the file is missing, is not text of its encoding, or a statement failed
  // (shown in the SQL error report); Failure, when given, receives the cause.
  bool ExecSQLFile(const std::string &Path, bool Utf8, std::string *Failure = nullptr);
  // Conditional download of one script from the makers' data service into LocalPath;
  // True when a new copy was stored.
  bool FetchDataFile(const std::string &FileName, const std::string &LocalPath);
  // Each refreshes one reference table from its script, as one transaction: True when the
  // script ran without an SQL failure, reached only the tables and views of its own row, and
  // left its tables in place, with rows where they had rows before (here, or in the database
  // this one replaces). Otherwise everything the script did is rolled back (before a failed
  // statement is shown), the failure is logged and kept (RefreshFailures), and the script runs
  // again at the next open. Offline (the setting or "/f", outside "/u") nothing is fetched or
  // copied: only a missing table runs its script, from the copy in the download folder.
  bool UpdateBunrui();
  bool UpdateRyutsu();
  bool UpdateIdshurui();
  bool UpdateIso();
  bool UpdateFrac();
  bool UpdateIrac();
  bool UpdateHrac();
  bool UpdateKwlists();
  bool UpdateBeppyo1();
  bool UpdateFeedrice();
  bool UpdateTsushoruby();
  bool UpdateCvo();
  bool UpdateRakuyokaju();
  bool UpdateSeizai();
  bool UpdateDokusei();
  bool UpdateSuisan();
  bool UpdateOjas();
  bool UpdateMSakumotsu();
  bool UpdateMByochu();
  // Recomputes the effects column of m_kihon from spec.bunrui and spec.koka.
  void UpdateKoka();
  // The whole family in its fixed order; the crop and pest masters only when acis.db
  // already holds m_tekiyo (the build refreshes them itself).
  void RefreshReferenceTables();
  // The log lines of the refreshes of this object that failed, in order: the script and
  // the cause.
  const std::vector<std::string> &RefreshFailures() const { return FRefreshFailures; }
  // The rows each refreshed table had before its script ran, or that the replaced database
  // had (the larger): a script must not leave a table empty that had rows.
  long long RowsBefore(const std::string &Table, long long Here) const;
  void AddRefreshFailure(const std::string &Line);

  // ---- JPP import
  // Attaches jpp.db (creating it) as jpp.
  void AttachJppDb();
  // Import the JPP-NET product summary and active-ingredient CSV files into jpp.db,
  // replacing the table. False for a missing file or one without the expected header
  // (which is reported); a failing row raises and leaves the previous table as it was.
  bool ImportJppSeizai(const std::string &Path);
  bool ImportJppSeibun(const std::string &Path);
  void CreateJppSeizaiTable();
  void CreateJppSeibunTable();

 private:
  void AttachSpec();
  void AttachJpp();
  void Attach(const std::string &FileName, const std::string &Schema);
  void FillStrings(IStringsTarget &Target, const std::function<void(TSQLiteTbl &)> &Row,
                   bool UseUpdate);
  void FillGrid(IGridSink &Grid, TSQLiteTbl &Table, bool CaptionRule, const std::function<bool()> &Stopped = {});
  class TImport;
  void LogTekiyoWithoutProduct();
  void KeepTekiyoTable(bool RaiseFailures);
  // Runs a script of several statements; when it fails, an open transaction is rolled back.
  void RunScript(const std::string &Script);
  // RunScript with a failure shown in the report instead of raised.
  void ExecScriptReported(const std::string &Script);

  std::unique_ptr<TSQLiteDb> FDb;
  std::shared_ptr<TSQLiteTbl> FQuery;
  std::string FSQL;
  std::string FLastUpdate;
  IProgressTarget *FProgressBar = nullptr;
  ILogTarget *FLog = nullptr;
  TRowCounts FPrevious;
  std::vector<std::string> FRefreshFailures;
};

// The rows of the reference refresh's tables that the connection holds (a table missing is
// left out), looked up in every attached database as the refresh does.
TRowCounts ReferenceRowCounts(TSQLiteDb &Db);

// Value helpers of the data imports (program text in, SQL literal text out; quotes inside a
// value are doubled so that every value stays one literal).
std::string SplitShuruiSeibun(const std::string &Shurui);  // "seibun1 = 'DEP',seibun2 = 'MEP'"
std::string QuoteOrNull(const std::string &Text);           // NULL for an empty text
std::string QuoteRawField(const std::string &Text);         // NULL for empty or "NULL"
std::string QuoteUnlessNull(const std::string &Text);       // "NULL" stays NULL
std::string SquareMetreSign(const std::string &Text);       // every "m2" becomes "㎡"

// The ingredient column block of the result views for display mode 0 to 4 (five lines,
// one per ingredient slot; empty for another mode), and the same with the resistance-class
// system of the pest category.
std::string SeibunColumns(int Mode);
std::string SeibunColumnsRac(int Mode);

// Makes every open of the query object refresh the reference tables (the program installs
// it at start).
void InstallReferenceRefresh();

// The program-wide query object (null while there is no database open). It only names the
// object; TAcisDBOwner holds it.
extern TAcisDB *AcisDB;

// The one owner of the program-wide query object: the windows open, reopen and close the
// database through it and never free AcisDB themselves.
class TAcisDBOwner {
 public:
  // Closes the object held (so the file is free), then opens acis.db at Path as TAcisDB
  // does and makes it AcisDB. When the open fails, AcisDB stays null and the failure
  // (ESQLiteException) is raised.
  TAcisDB &Reopen(const std::string &Path, ILogTarget *Log);
  // Frees the object held; AcisDB becomes null.
  void Close();
  // Puts Db in place of the object held and hands that one back; AcisDB is left to the
  // caller (the tests' state guard saves and restores the program's object with it).
  std::unique_ptr<TAcisDB> Exchange(std::unique_ptr<TAcisDB> Db);

 private:
  std::unique_ptr<TAcisDB> FDb;
};
TAcisDBOwner &AcisDBOwner();

// The ingredient name with its ISO name: "iso(name)" when the iso table gives another name.
std::string FormatIsoName(const std::string &IngredientName);

// The second small connection that answers the upper-group question of one crop.
class TAcisMiniDB {
 public:
  explicit TAcisMiniDB(const std::string &Path);
  ~TAcisMiniDB();
  TAcisMiniDB(const TAcisMiniDB &) = delete;
  TAcisMiniDB &operator=(const TAcisMiniDB &) = delete;
  void AttachSpec();
  // The crop's nearest registered crop and its registered relatives as comma text; the
  // empty text when there is none (also for a name that is no crop).
  std::string UpperGroup(const std::string &CropName);
  TSQLiteDb &Db() { return *FDb; }

 private:
  std::unique_ptr<TSQLiteDb> FDb;
  std::unique_ptr<TSQLiteTbl> FTable;
};
