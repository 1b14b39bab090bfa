// The update run's database steps: the ready-made databases put in place, the build of
// acis.db in a fresh file from the publisher's CSV files or workbooks or the makers' CSV
// set, in the fixed order of the build operations, and the JPP-NET imports.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "engine/AcisSvr.h"
#include "engine/DbCheck.h"
#include "engine/Exception.h"
#include "engine/SakuUtil.h"
#include "engine/UiServices.h"
#include "engine/UpdateRun.h"
#include "engine/UpdateRunCommon.h"
#include "engine/XBiff.h"
#include "engine/acdb.h"
#include "engine/options.h"

using namespace cp932::literals;
using namespace update_run;
namespace fs = std::filesystem;

namespace {

// The first line of a text file (program text); raises when the file cannot be opened.
std::string FirstLine(const std::string &path) {
  std::ifstream f(FsPath(path), std::ios::binary);
  if (!f) throw EInOutError("Cannot open file \"" + path + "\"");
  std::string line;
  std::getline(f, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

// What the user can do about a failed build.
const std::string kBuildAdvice =
    "データベースは更新前のままです。データベースのフォルダの空き容量を確かめてから再実行してください"_sj;
const std::string kDataAdvice =
    "データベースは更新前のままです。共有フォルダまたはダウンロード元のデータを確かめてから再実行してください"_sj;
const std::string kScriptAdvice =
    "データベースは更新前のままです。共有フォルダまたはダウンロード元の参照表スクリプトを確かめてから再実行してください"_sj;

}  // namespace

// One part of the publisher's workbooks as the build's imports read it: the cells of the
// sheet named after the part, row 0 being the sheet's first row. Only the basic part
// carries the data-as-of text, in cell A1 of its first sheet.
class TUpdateRun::TWorkbook : public ICellSource {
 public:
  static constexpr int kCols = 30, kRows = 65000;
  int PartIndex = 0;
  int SheetCounter = 0, TargetSheet = 0;
  int MaxCol = 0, MaxRow = 0;

  int RowCount() const override { return static_cast<int>(rows_.size()); }
  int ColCount() const override { return cols_; }
  std::string_view CellView(int col, int row) const override {
    if (row < 0 || col < 0 || row >= RowCount() || col >= cols_) return {};
    const auto &r = rows_[static_cast<std::size_t>(row)];
    return static_cast<std::size_t>(col) < r.size() ? std::string_view(r[static_cast<std::size_t>(col)])
                                                     : std::string_view();
  }

  // Reads the part's workbook; the run's log receives the data-as-of line.
  void Read(TUpdateRun &run, const std::string &path, int part) {
    PartIndex = part;
    SheetCounter = TargetSheet = MaxCol = MaxRow = 0;
    rows_.clear();
    cols_ = kCols;
    TXBiff excel;
    excel.OnReadSheetName = [this](TXBiff *, const std::string &name) { ReadSheetName(name); };
    excel.OnReadCell = [this, &run](TXBiff *, int sheet, int row, int col, int, const std::string &data, bool &) {
      ReadCell(run, sheet, row, col, data);
    };
    excel.OnProgress = [&run](TXBiff *, int percent) {
      if (percent % 5 == 0) run.SetPosition(percent);
      UiServices().ProcessMessages();
    };
    excel.LoadFromFile(path);
    // The grid ends with the last column of row 0 and the last row of column 0.
    cols_ = MaxCol + 1;
    rows_.resize(static_cast<std::size_t>(MaxRow) + 1);
  }

  void Clear() {
    rows_.clear();
    cols_ = 0;
  }

 private:
  void ReadSheetName(const std::string &name) {
    ++SheetCounter;
    if (name == Part(PartIndex)) TargetSheet = SheetCounter;
  }

  void ReadCell(TUpdateRun &run, int sheet, int row, int col, const std::string &data) {
    if (sheet == 1 && row == 0 && col == 0 && PartIndex == 0) {
      run.DataAsOf = ExtractDataAsOfText(data);
      run.AddLog("更新日取得:"_sj + run.DataAsOf);
      return;
    }
    if (sheet != TargetSheet || row < 0 || col < 0 || row >= kRows || col >= kCols) return;
    if (row == 0) MaxCol = std::max(MaxCol, col);
    if (col == 0) MaxRow = std::max(MaxRow, row);
    std::string text = data;
    // A product name published with its opening typographic quote closed by a straight one.
    const std::string open = "“"_sj, close = "”"_sj;
    const std::size_t o = FindSjis(text, open);
    if (o != std::string::npos && FindSjis(text, close) == std::string::npos) {
      const std::size_t q = text.find('"', o + open.size());
      if (q != std::string::npos) text.replace(q, 1, close);
    }
    auto &r = rows_.size() <= static_cast<std::size_t>(row) ? (rows_.resize(static_cast<std::size_t>(row) + 1), rows_.back())
                                                             : rows_[static_cast<std::size_t>(row)];
    if (r.size() <= static_cast<std::size_t>(col)) r.resize(static_cast<std::size_t>(col) + 1);
    r[static_cast<std::size_t>(col)] = std::move(text);
  }

  std::vector<std::vector<std::string>> rows_;
  int cols_ = 0;
};

// ---- the ready-made databases

// Each archive is unpacked into a folder of its own beside acis.db, and only the database
// it is named for leaves it: acis.db from acis.zip, spec.db from spec.zip. They take their
// places only when both were unpacked whole and each database is whole and holds what the
// program reads from it and what the old one held: a file that is no database, one without
// the data, or an entry an archive holds besides its database never replaces the user's.
void TUpdateRun::UnpackDatabases() {
  TBusyCursor busy;
  Controls(false);
  const bool was_open = ReleaseDatabase();
  RemoveStaleBuildFiles(OptionData->DbFolder, &FLog);
  bool placed = false;
  {
    static const char *const kFiles[2][2] = {{"acis.zip", "acis.db"}, {"spec.zip", "spec.db"}};
    TDatabaseStaging staging[2] = {TDatabaseStaging(OptionData->DbFolder, kFiles[0][1]),
                                   TDatabaseStaging(OptionData->DbFolder, kFiles[1][1])};
    int unpacked = 0;
    for (int i = 0; i < 2; ++i) {
      TMarkFile mark(FView, 3, i);
      const std::string archive = DataFile(kFiles[i][0]);
      if (!Exists(archive)) continue;
      std::string output;
      const bool ok = staging[i].Extract(archive, output);
      AddLog(archive + ": " + output);
      for (const std::string &line : staging[i].Unplaced(archive)) AddLog(line);
      if (ok)
        ++unpacked;
      else
        ExtractFailed(archive, output);
    }
    placed = unpacked == 2;
    for (int i = 0; i < 2 && placed; ++i) {
      const std::string defect = staging[i].Defect();
      if (defect.empty()) continue;
      AddFailure(DataFile(kFiles[i][0]) + ": " + defect + "。取り直してから再実行してください"_sj);
      placed = false;
    }
    // acis.db last, so that the old one stays when spec.db cannot be placed.
    std::string why;
    for (int i = 1; i >= 0 && placed; --i) {
      if (staging[i].Place(why)) continue;
      AddFailure(why + "。フォルダの書き込み権を確かめてから再実行してください"_sj);
      placed = false;
    }
  }
  if (placed) {
    OptionData->BuiltFromSite = SourceKind;
    OpenDatabase();
    Rebuilt = true;
  } else {
    Rebuilt = false;
    AddLog("解凍作業中止"_sj);
    Abort();
    ReopenAfterFailure(was_open);
  }
  Controls(true);
}

// ---- the build

void TUpdateRun::DiscardBuild() {
  FBuildDB.reset();
  if (!FBuildPath.empty()) {
    std::error_code ec;
    for (const char *suffix : {"", "-journal"}) fs::remove(FsPath(FBuildPath + suffix), ec);
    FBuildPath.clear();
  }
}

bool TUpdateRun::ReplaceDatabase(const std::string &fresh) {
  const std::string target = DbFile("acis.db");
  if (Exists(target)) AddLog("acis.db 削除"_sj);
  std::error_code ec;
  fs::rename(FsPath(fresh), FsPath(target), ec);
  if (ec) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ec.clear();
    fs::rename(FsPath(fresh), FsPath(target), ec);
  }
  if (!ec) return true;
  if (!AutoUpdateSwitch) UiServices().MessageBox("acis.dbを削除できません"_sj, "エラー"_sj, MB_OK | MB_ICONERROR);
  AddFailure("acis.db 削除失敗"_sj);
  return false;
}

void TUpdateRun::RebuildDatabase() {
  // What the build reads must be there; the first file missing is logged and stops it.
  auto present = [this](const std::string &label, bool exists) {
    if (exists) return true;
    AddFailure(label + "なし"_sj);
    AddLog("データ更新中止!"_sj);
    return false;
  };
  bool passed = true;
  switch (SourceKind) {
    case 0:
      if (CsvNames[0].empty()) ReadAcisCsvInfo();
      for (int i = 0; i < 3 && passed; ++i)
        passed = present(CsvNames[i], IsPlainFileName(CsvNames[i]) && Exists(DataFile(CsvNames[i])));
      break;
    case 1:
      for (int i = 0; i < 3 && passed; ++i) {
        const std::string path = DataFile(Part(i) + ".xls");
        passed = present(path, Exists(path));
      }
      break;
    case 2:
      passed = Exists(DataFile("kihon.csv")) && Exists(DataFile("tekiyo.csv"));
      break;
    default:
      passed = false;  // the ready-made databases are unpacked, never built
      break;
  }
  Aborted = !passed;
  if (!passed) return;

  FView->ShowProgress(true);
  const auto start = Clock::now();
  const std::uint8_t previous_site = OptionData->BuiltFromSite;
  bool was_open = false;
  if (AcisDB) {
    OldDatabase = AcisDB->GetVersion() <= 120412;
    was_open = ReleaseDatabase();
  }
  // The reference tables of the database in place: the new one must not come out with one
  // of them emptied.
  const TRowCounts previous_rows = PreviousRowCounts(DbFile("acis.db"));
  TBusyCursor busy;
  Controls(false);
  // Gives up the build: the fresh file goes, the user's acis.db stays and opens again.
  auto give_up = [&] {
    DiscardBuild();
    OptionData->BuiltFromSite = previous_site;
    ReopenAfterFailure(was_open);
    Controls(true);
    SetPosition(0);
    FView->ShowProgress(false);
  };
  try {
    RemoveStaleBuildFiles(OptionData->DbFolder, &FLog);
    OptionData->BuiltFromSite = SourceKind;
    FBuildPath = FromFsPath(TempBeside(FsPath(DbFile("acis.db"))));
    FBuildDB = std::make_unique<TAcisDB>(FBuildPath, &FLog, &previous_rows);
    FBuildDB->SetProgressBar(FProgress);
    TAcisDB &db = *FBuildDB;
    // A reference script that failed leaves its table out of the new database, or empty.
    auto refreshed_whole = [&db] {
      if (!db.RefreshFailures().empty())
        throw EInOutError(db.RefreshFailures().front() + "。"_sj + kScriptAdvice);
    };
    refreshed_whole();

    AddLog("テーブル作成"_sj);
    db.CreateTables();
    UiServices().ProcessMessages();
    switch (SourceKind) {
      case 0: ConvertAcisCsv(); break;
      case 1: ConvertAcisXls(); break;
      default: ConvertTorvCsv(); break;
    }
    if (Aborted) {
      give_up();
      return;
    }

    SetPosition(0);
    if (FProgress) FProgress->SetRange(0, 100);
    SetPosition(1);
    // The build operations in their order: the line before each, the operation, the bar
    // after it. A cancel is taken between them.
    // A phase that fails is named by its line (or its own name) in the failure.
    struct TPhase {
      const char *line_utf8;
      std::function<void()> step;
      int position;
      const char *name_utf8 = nullptr;
    };
    const TPhase phases[] = {
        {"登録基本部マスターテーブル(m_kihon)作成", [&] { db.FillTmKihon(); }, 10},
        {"m_kihon > 有効成分１～５フィールド作成", [&] { db.BuildMKihon(); }, 20},
        {"作物名マスターテーブル群作成",
         [&] { AddLog(db.UpdateMSakumotsu() ? "m_sakumotsu 作成"_sj : "m_sakumotsu 作成失敗..."_sj); }, 30},
        {"病害虫名マスターテーブル群作成", [&] { db.UpdateMByochu(); }, 40},
        {"有効成分テーブル(seibun)作成", [&] { db.CreateSeibun(); }, 50},
        {nullptr, [] {}, 74},
        {"インデックス作成開始", [&] {
           db.CreateIndexes();
           AddLog("インデックス作成終了"_sj);
         }, 92},
        {"ビュー作成開始", [&] { db.CreateTekiyoViews(); }, 95},
        {nullptr, [&] {
           AddLog("ビュー作成終了"_sj);
           db.SetLastUpdate(DataAsOf);
           // The workbooks date themselves unlike the page: the page's date says which offer
           // the database holds, so that the next check finds it built.
           if (SourceKind == 1 && Exists(CurrentPagePath(1))) db.SetPageDate(OfferedDataDate(CurrentPagePath(1), 1));
           // The search schema keeps its application table in the new file under the new
           // date, so the first start after the update finds it ready.
           db.CreateViews(true);
         }, 100, "検索用テーブル(t_tekiyo)作成"},
    };
    for (const TPhase &p : phases) {
      if (Aborted) break;
      if (p.line_utf8) AddLog(cp932::FromUtf8(p.line_utf8));
      try {
        p.step();
      } catch (const ESQLiteException &e) {
        // The statement's text says little to whoever reads the error output: the phase
        // and SQLite's own words do.
        throw ESQLiteException(cp932::FromUtf8(p.name_utf8 ? p.name_utf8 : p.line_utf8) + ": " + SqliteCause(e) +
                               "。"_sj + kBuildAdvice);
      }
      refreshed_whole();
      SetPosition(p.position);
    }
    if (Aborted) {
      give_up();
      return;
    }
    // The build is complete. It takes the place of acis.db only when it passes the check of a
    // ready-made database against the one it replaces.
    FBuildDB.reset();
    if (const std::string defect = DatabaseDefect(FBuildPath, "acis.db", DbFile("acis.db")); !defect.empty())
      throw EInOutError("作成した "_sj + defect + "。"_sj + kDataAdvice);
    if (!ReplaceDatabase(FBuildPath)) {
      give_up();
      Abort();
      return;
    }
    FBuildPath.clear();
    // The data the page tells of are in place now.
    EndPage(true);
    OpenDatabase();
    AddLog("更新日設定 > "_sj + DataAsOf);
    AddLog("データ更新完了"_sj);
  } catch (...) {
    give_up();
    throw;
  }
  Rebuilt = true;
  AddLog(Timing("データベース更新時間 %5.1f秒", Seconds(start)));
  Controls(true);
  SetPosition(0);
  FView->ShowProgress(false);
}

void TUpdateRun::ConvertAcisCsv() {
  if (Aborted || !FBuildDB) return;
  const auto start = Clock::now();
  std::string basic = DataFile(ChangeFileExt(CsvNames[0], ".csv"));
  if (!Exists(basic)) basic = ReplaceAllText(basic, "登録基本部csv"_sj, "登録基本部"_sj);
  if (!Exists(basic)) {
    AddFailure(basic + "オープン失敗"_sj);
    Aborted = true;
    return;
  }
  {
    TMarkFile mark(FView, 0, 0);
    AddLog("登録基本部 データベース変換中"_sj);
    AddLog(basic);
    FBuildDB->ImportKihonRawCsv(basic);
  }
  for (int i = 1; i < 3; ++i) {
    TMarkFile mark(FView, 0, i);
    const std::string path = DataFile(ChangeFileExt(CsvNames[i], ".csv"));
    AddLog(Part(i) + " データベース変換中"_sj);
    AddLog(path);
    FBuildDB->ImportTekiyoRawCsv(path);
  }
  SetPosition(0);
  AddLog(Timing("csv->acis.db 変換完了 %5.1f秒", Seconds(start)));
}

void TUpdateRun::ConvertAcisXls() {
  if (Aborted || !FBuildDB) return;
  const auto start = Clock::now();
  TWorkbook part;
  for (int i = 0; i < 3; ++i) {
    TMarkFile mark(FView, 1, i);
    const std::string name = Part(i) + ".xls";
    AddLog(name + " 読込中"_sj);
    if (FProgress) FProgress->SetRange(0, 100);
    part.Read(*this, DataFile(name), i);
    // A workbook without the part's sheet would build an empty table in place of the data.
    if (part.TargetSheet == 0) throw EInOutError(DataFile(name) + ": " + Part(i) + " sheet not found");
    // A sheet with its header and nothing else is damage, not data.
    if (part.MaxRow == 0)
      throw EInOutError(DataFile(name) + ": " + Part(i) +
                        " シートに見出し行だけでレコードがありません。取り直してから再実行してください"_sj);
    if (FProgress) FProgress->SetRange(0, std::max(part.MaxRow, 1));
    AddLog(Part(i) + " データベース変換中"_sj);
    if (i == 0)
      FBuildDB->ImportKihonXls(part);
    else
      FBuildDB->ImportTekiyoXls(part);
    part.Clear();
  }
  SetPosition(0);
  AddLog(Timing("xls->acis.db 変換完了 %5.1f秒", Seconds(start)));
}

void TUpdateRun::ConvertTorvCsv() {
  if (Aborted || !FBuildDB) return;
  const auto start = Clock::now();
  // The database would take "更新日不明" for its data date, and the next check would find
  // it out of date for ever.
  const std::string page = CurrentPagePath(2);
  DataAsOf = ExtractDataAsOfText(FirstLine(page));
  const std::string damage = PageDamage(page, 2);
  if (!damage.empty()) throw EInOutError(page + ": " + damage);
  {
    TMarkFile mark(FView, 2, 1);
    AddLog("kihon.csv データベース変換中"_sj);
    FBuildDB->ImportKihonCsv(DataFile("kihon.csv"));
  }
  {
    TMarkFile mark(FView, 2, 2);
    AddLog("tekiyo.csv データベース変換中"_sj);
    FBuildDB->ImportTekiyoCsv(DataFile("tekiyo.csv"));
  }
  SetPosition(0);
  AddLog(Timing("csv->acis.db 変換完了 %5.1f秒", Seconds(start)));
}

// ---- the JPP-NET imports

bool TUpdateRun::ImportJpp(const std::string &file, bool ingredients) {
  if (!AcisDB || !Exists(file)) return false;
  TBusyCursor busy;
  // The program's query object moves the run's bar for this import only; the bar shows
  // while it lasts.
  struct TLend {
    TUpdateRun &run;
    TAcisDB &db;
    IProgressTarget *saved;
    ~TLend() {
      db.SetProgressBar(saved);
      run.SetPosition(0);
      run.FView->ShowProgress(false);
    }
  } lend{*this, *AcisDB, AcisDB->ProgressBar()};
  FView->ShowProgress(true);
  AcisDB->SetProgressBar(FProgress);
  const bool ok = ingredients ? AcisDB->ImportJppSeibun(file) : AcisDB->ImportJppSeizai(file);
  if (ok) AddLog(ingredients ? "テーブル作成 jpp.tJppSeibun"_sj : "テーブル作成 jpp.tJppSeizai"_sj);
  return ok;
}
