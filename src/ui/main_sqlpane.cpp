// The SQL pane: running the editor's text into gdSQL, the debug switch, the statement gate,
// query files, the lists of databases, tables and fields, and the popups that write SQL
// fragments into the editor.
#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QKeySequence>
#include <QTabWidget>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "components/CheckListBoxEx.h"
#include "components/DialogServices.h"
#include "components/grid/ExcelUtil.h"
#include "components/QtServices.h"
#include "components/qtext.h"
#include "engine/Exception.h"
#include "engine/SakuUtil.h"
#include "engine/TextHelpers.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/fspath.h"
#include "ui/ScriptRun.h"
#include "ui/UOption.h"
#include "ui/main.h"
#include "ui/main_sqledit.h"
#include "ui/main_sqlpane.h"
#include "ui_main.h"

using namespace cp932::literals;

namespace {

std::string LowerLeftTrimmed(const std::string &Text) {
  std::size_t i = 0;
  while (i < Text.size() && static_cast<unsigned char>(Text[i]) <= ' ') ++i;
  std::string s = Text.substr(i);
  for (char &c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

bool StartsWith(const std::string &s, std::string_view prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

}  // namespace

std::size_t SqlResultCellBound = 50'000'000;

bool IsQueryStatement(const std::string &Text) {
  const std::string s = LowerLeftTrimmed(Text);
  return StartsWith(s, "select") || StartsWith(s, "with") || StartsWith(s, "pragma");
}

bool StartsWithComment(const std::string &Text) {
  const std::string s = LowerLeftTrimmed(Text);
  return StartsWith(s, "--/d") || StartsWith(s, "/*") || StartsWith(s, "--");
}

// ---------------------------------------------------------------- running the editor

void TfrmMain::ExecuteSQLEditor() {
  if (!AcisDB) return;
  const std::string T = SQLEditorText(SQLEditor);
  if (T.empty()) return;
  if (T == "--/debug on") {
    DebugMode = true;
    AddLog("DebugMode ON");
    return;
  }
  if (T == "--/debug off") {
    DebugMode = false;
    AddLog("DebugMode OFF");
    return;
  }
  CompleteByochuRows();  // a statement may read the pest tab's work table
  const bool multi = DeveloperSwitch || StartsWithComment(T);
  TScriptRun run(AcisDB->Db(), multi);
  // Outside a script only statements that SQLite finds read-only run: the first word alone
  // lets "WITH ... DELETE" and a writing PRAGMA through.
  if (!multi && (!IsQueryStatement(T) || !AcisDB->Db().IsReadOnly(T))) {
    MsgBox("実行できない文です"_sj, "Quillmar", MB_OK | MB_ICONERROR);
    return;
  }
  TRunScope running(*this);
  SetSearchPanelsEnabled(false);
  SetOutputEnabled(false);
  // 中止 is offered for this run only.
  FSqlStopRequested = false;
  actStop->setEnabled(true);
  struct Restore {
    TfrmMain *w;
    ~Restore() {
      w->actStop->setEnabled(false);
      w->FSqlStopRequested = false;  // a 中止 of this run stops no later width pass
      w->SetSearchPanelsEnabled(true);
      w->SetOutputEnabled(true);
    }
  } restore{this};
  TBusyCursor busy;
  AddLog("SQL>" + T);
  using clock = std::chrono::steady_clock;
  const clock::time_point start = clock::now();
  clock::time_point done;
  // ExecQuery answers False both for a failure (already shown in the SQL error report) and
  // for a statement without rows; a new result table tells the two apart.
  const std::shared_ptr<TSQLiteTbl> before = AcisDB->QueryShared();
  // The window's events run while the statement does, so that 中止 (or closing the window)
  // can end it. A failure inside them is not a stop: it comes out of ExecQuery as itself.
  TReadLimits limits;
  limits.MaxCells = SqlResultCellBound;
  limits.Poll = [this, last = clock::now()]() mutable {
    if (clock::now() - last >= std::chrono::milliseconds(50)) {
      UiServices().ProcessMessages();
      last = clock::now();
    }
    return FSqlStopRequested || RunStopRequested();
  };
  const bool rows = AcisDB->ExecQuery(T, limits);
  const bool ran = rows || AcisDB->QueryShared() != before;
  const TReadEnd end = ran ? AcisDB->Query()->End() : TReadEnd::Complete;
  if (end == TReadEnd::Stopped) AddLog("SQL>中止しました"_sj);
  // A script that was stopped did not run to its end: what it began is rolled back.
  if (ran && end != TReadEnd::Stopped) run.Completed();
  // The window is closing: nothing read is shown.
  if (RunStopRequested()) return;
  if (rows) {
    done = clock::now();
    TXlsStringGrid *g = ui->gdSQL;
    // A 中止 during the read has had its effect (the rows read are shown); one from here on
    // ends the fill and the widths, as a close does.
    FSqlStopRequested = false;
    g->BeginUpdate();
    bool whole = AcisDB->SetGridFromTable(*g, *AcisDB->Query(), [this] { return FSqlStopRequested; });
    g->EndUpdate();
    whole = whole && AdjustGridColumnWidths(g);
    // The window is closing: nothing more is measured or shown, and no box holds it open.
    if (RunStopRequested()) return;
    TTabState &t = TabState[4];
    t.StatusText.clear();
    SetStatusText(2, std::string());
    if (!whole) {
      // 中止: a result filled or measured in part is not shown as the result.
      g->hide();
      AddLog("SQL>中止しました"_sj);
      t.CountText.clear();
      SetStatusText(3, t.CountText);
    } else {
      g->show();
      t.CountText = std::to_string(AcisDB->Query()->Count()) + "件"_sj;
      SetStatusText(3, t.CountText);
    }
    if (whole && end == TReadEnd::CellBound)
      MsgBox("結果が大きすぎるため、"_sj + std::to_string(AcisDB->Query()->Count()) +
                 "件で読み込みを打ち切りました"_sj,
             "Quillmar", MB_OK | MB_ICONWARNING);
  } else {
    done = clock::now();
    if (ran && end == TReadEnd::Complete && IsQueryStatement(T))
      MsgBox("検索条件に一致するデータはありません"_sj, "Quillmar", MB_OK | MB_ICONWARNING);
  }
  const double seconds = std::chrono::duration<double>(done - start).count();
  char line[64];
  std::snprintf(line, sizeof line, "%5.2f", seconds);
  AddLog("SQL>実行時間 "_sj + line + "秒"_sj);
}

void TfrmMain::btnQueryExecClick() {
  if (AcisDB) ExecuteSQLEditor();
}

void TfrmMain::SQLEditorChange() {
  const bool text = !SQLEditorText(SQLEditor).empty();
  ui->btnQuerySave->setEnabled(text);
  ui->btnQueryExec->setEnabled(text);
  SetSearchEnabled(text);
}

void TfrmMain::ConnectSqlPane() {
  SearchOfTab[4] = [this] { ExecuteSQLEditor(); };
  auto on = [this](QPushButton *b, void (TfrmMain::*handler)()) {
    connect(b, &QPushButton::clicked, this,
            [this, handler] { RunExclusive([this, handler] { RunGuarded([this, handler] { (this->*handler)(); }); }); });
  };
  on(ui->btnQueryExec, &TfrmMain::btnQueryExecClick);
  on(ui->btnQuerySave, &TfrmMain::btnQuerySaveClick);
  on(ui->btnQueryLoad, &TfrmMain::btnQueryLoadClick);
  connect(actStop, &QAction::triggered, this, [this] { FSqlStopRequested = true; });
  if (ui->cbDB->count() == 0) ui->cbDB->addItems({QStringLiteral("acis.db"), QStringLiteral("spec.db")});
  ui->cbDB->setCurrentIndex(0);
  connect(ui->cbDB, &QComboBox::activated, this, [this] { RunExclusive([this] { RunGuarded([this] { cbDBSelect(); }); }); });
  // The field list is read through the query object, whose result a run may be reading:
  // a table chosen during a run shows its fields once the run has ended.
  connect(ui->cbTableName, &QComboBox::currentIndexChanged, this,
          [this] { RunLatest("cbTableName", [this] { cbTableNameSelect(); }); });
  BuildSqlPopups();
  SetSQLEditorEvents(
      SQLEditor, [this] { SQLEditorChange(); }, [this] { SQLEditorStatusChange(); });
  SQLEditorChange();
  SQLEditorStatusChange();
}

void TfrmMain::SQLEditorStatusChange() {
  const bool sel = SQLEditorHasSelection(SQLEditor);
  if (mnCopySQL) mnCopySQL->setEnabled(sel);
  if (mnCutSQL) mnCutSQL->setEnabled(sel);
}

// ---------------------------------------------------------------- query files

void TfrmMain::btnQuerySaveClick() {
  TFileDialogRequest r;
  r.Save = true;
  r.Owner = this;
  r.InitialDir = OptionData->TemplateFolder;
  r.DefaultExt = "qry";
  r.Filter = "ｸｴﾘｰﾌｧｲﾙ (*.qry)|*.qry"_sj;
  r.OverwritePrompt = true;
  const TDialogAnswer a = DialogServices().FileDialog(r);
  if (!a.Ok || a.Path.empty()) return;
  try {
    SaveSQLEditorLines(SQLEditor, a.Path);
  } catch (const std::exception &e) {
    MsgBox(a.Path + " に書き込めません"_sj + "\r\n" + e.what(), "Quillmar", MB_OK | MB_ICONERROR);
  }
}

void TfrmMain::btnQueryLoadClick() {
  if (!AcisDB) return;
  TFileDialogRequest r;
  r.Owner = this;
  r.InitialDir = OptionData->TemplateFolder;
  r.DefaultExt = "qry";
  r.Filter = "ｸｴﾘｰﾌｧｲﾙ (*.qry)|*.qry|ﾃｷｽﾄﾌｧｲﾙ (*.txt)|*.txt"_sj;
  const TDialogAnswer a = DialogServices().FileDialog(r);
  if (!a.Ok || a.Path.empty()) return;
  try {
    LoadSQLEditorLines(SQLEditor, a.Path);
  } catch (const std::exception &e) {
    // The editor keeps its text.
    MsgBox(a.Path + " を読み込めません"_sj + "\r\n" + e.what(), "Quillmar", MB_OK | MB_ICONERROR);
    return;
  }
  SQLEditorChange();
}

// ---------------------------------------------------------------- tables and fields

namespace {

const char *const kMainMaster = "SELECT * FROM sqlite_master WHERE type IN ('table', 'view') AND name <> 'info';";
const char *const kTempMaster = "SELECT * FROM sqlite_temp_master WHERE type IN ('table', 'view') AND name <> 'info';";
const char *const kSpecMaster = "SELECT * FROM spec.sqlite_master WHERE type IN ('table', 'view') AND name <> 'info';";
const char *const kJppMaster = "SELECT * FROM jpp.sqlite_master WHERE type IN ('table', 'view') AND name <> 'info';";

// Column 1 (name) of the statement's rows; nothing when it has none.
std::vector<std::string> Names(const char *sql) {
  std::vector<std::string> out;
  if (!AcisDB->ExecQuery(sql)) return out;
  for (TSQLiteTbl *q = AcisDB->Query(); !q->Eof(); q->Next()) out.push_back(q->FieldAsString(1));
  return out;
}

}  // namespace

void TfrmMain::LoadSqlTableLists() {
  if (!AcisDB) return;
  std::vector<std::string> all;
  for (const char *sql : {kMainMaster, kTempMaster, kSpecMaster}) {
    const std::vector<std::string> n = Names(sql);
    all.insert(all.end(), n.begin(), n.end());
  }
  std::error_code ec;
  if (std::filesystem::exists(FsPath(OptionData->DbFolder + "/jpp.db"), ec)) {
    const std::vector<std::string> n = Names(kJppMaster);
    all.insert(all.end(), n.begin(), n.end());
    if (ui->cbDB->count() == 2) ui->cbDB->addItem(QStringLiteral("jpp.db"));
  }
  AddSQLTableNames(SQLEditor, all);
  cbDBSelect();
}

void TfrmMain::cbDBSelect() {
  if (!AcisDB) return;
  std::vector<std::string> names;
  switch (ui->cbDB->currentIndex()) {
    case 0: {
      names = Names(kMainMaster);
      const std::vector<std::string> temp = Names(kTempMaster);
      names.insert(names.end(), temp.begin(), temp.end());
      break;
    }
    case 1: names = Names(kSpecMaster); break;
    case 2: names = Names(kJppMaster); break;
    default: return;
  }
  {
    const QSignalBlocker block(ui->cbTableName);
    ui->cbTableName->clear();
    for (const std::string &n : names) ui->cbTableName->addItem(ToQ(n));
    if (ui->cbTableName->count() > 0) ui->cbTableName->setCurrentIndex(0);
  }
  if (ui->cbTableName->count() > 0) cbTableNameSelect();
}

void TfrmMain::cbTableNameSelect() {
  if (!AcisDB) return;
  const std::string table = FromQ(ui->cbTableName->currentText());
  // The name is quoted: a quote inside it cannot end the statement early.
  if (!AcisDB->ExecQuery("PRAGMA table_info(" + SqlQuoted(table) + ")")) return;
  TCheckListBoxEx *l = ui->lstSqlField;
  l->Clear();
  for (TSQLiteTbl *q = AcisDB->Query(); !q->Eof(); q->Next()) l->AddItem(q->FieldAsString(1));
}

// ---------------------------------------------------------------- SQL fragments

std::string WhereOperator(int Kind) {
  switch (Kind) {
    case 0: return " like '%%'";
    case 1: return " match 'pattern'";
    case 2: return " regexp 'pattern'";
    default: return std::string();
  }
}

std::string BuildWhereClause(int Kind, const std::vector<std::string> &Fields, const std::string &Conjunction) {
  std::string out;
  for (std::size_t i = 0; i < Fields.size(); ++i) {
    out += i == 0 ? " where " : " " + Conjunction + " ";
    out += Fields[i] + WhereOperator(Kind) + "\r\n";
  }
  return out;
}

void SetAllChecked(TCheckListBoxEx *List, bool Checked) {
  for (int i = 0; i < List->Count(); ++i) List->SetChecked(i, Checked);
}

std::vector<std::string> CheckedItems(const TCheckListBoxEx *List) {
  std::vector<std::string> out;
  for (int i = 0; i < List->Count(); ++i)
    if (List->Checked(i)) out.push_back(List->Item(i));
  return out;
}

void TfrmMain::pmnSqlFieldPopup() {
  const bool any = ui->lstSqlField->CheckCount() > 0;
  for (QAction *a : FFieldItems) a->setEnabled(any);
}

void TfrmMain::BuildSqlPopups() {
  auto item = [this](QMenu *m, const char *name, const char *caption_utf8, std::function<void()> run) {
    QAction *a = m->addAction(QString::fromUtf8(caption_utf8));
    a->setObjectName(QString::fromLatin1(name));
    connect(a, &QAction::triggered, this, [this, run] { RunExclusive([&] { RunGuarded(run); }); });
    return a;
  };
  auto insert = [this](std::string text) {
    return [this, text] { SQLEditorInsert(SQLEditor, text); };
  };

  pmSQLEdit = new QMenu(this);
  pmSQLEdit->setObjectName("pmSQLEdit");
  const struct {
    const char *name, *caption, *keys;
    int command;
  } edits[] = {{"pmSqlUndo", "元に戻す(&U)", "Ctrl+Z", 0},       {"pmSqlRedo", "やり直し(&R)", "Ctrl+U", 1},
               {"mnCopySQL", "コピー(&C)", "Ctrl+C", 2},         {"mnCutSQL", "切り取り(&T)", "Ctrl+X", 3},
               {"mnPasteSQL", "貼り付け(&P)", "Ctrl+V", 4},      {"pmSqlSelectAll", "全て選択(&L)", "Ctrl+A", 5},
               {"pmSqlDeleteAll", "全て消去(&D)", "Ctrl+Del", 6}};
  for (const auto &e : edits) {
    const int command = e.command;
    QAction *a = item(pmSQLEdit, e.name, e.caption, [this, command] { SQLEditorCommand(SQLEditor, command); });
    a->setShortcut(QKeySequence(QString::fromLatin1(e.keys)));
    if (command == 2) mnCopySQL = a;
    if (command == 3) mnCutSQL = a;
  }
  QMenu *sql = pmSQLEdit->addMenu(QStringLiteral("SQL"));
  sql->setObjectName("pmnSQL");
  item(sql, "pmnSQLTableList", "テーブル・ビュー一覧",
       insert("SELECT * FROM sqlite_master WHERE type in ('table','view') and name <> 'info';"));
  item(sql, "pmnSQLViewList", "テンポラリテーブル・ビュー一覧",
       insert("SELECT * FROM sqlite_temp_master WHERE type in ('table','view') and name <> 'info';"));
  item(sql, "pmnSQLINDEXList", "インデックス一覧",
       insert("SELECT * FROM sqlite_master WHERE type='index' and name <> 'info' ORDER BY name;"));
  SQLEditor->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(SQLEditor, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
    SQLEditorStatusChange();
    pmSQLEdit->popup(SQLEditor->mapToGlobal(pos));
  });

  pmnSqlField = new QMenu(this);
  pmnSqlField->setObjectName("pmnSqlField");
  TCheckListBoxEx *list = ui->lstSqlField;
  auto table = [this] { return FromQ(ui->cbTableName->currentText()); };
  auto fields = [list] { return JoinCommaText(CheckedItems(list)); };
  // Items that need a checked field insert nothing without one.
  auto with_fields = [this, fields](std::function<std::string(const std::string &)> text) {
    return [this, fields, text] {
      const std::string f = fields();
      if (!f.empty()) SQLEditorInsert(SQLEditor, text(f));
    };
  };
  auto where = [this, list](int kind, const char *conjunction) {
    return [this, list, kind, conjunction] {
      const std::string w = BuildWhereClause(kind, CheckedItems(list), conjunction);
      if (!w.empty()) SQLEditorInsert(SQLEditor, w);
    };
  };
  item(pmnSqlField, "pmnSqlFieldCheckAll", "全て選択(&L)", [list] { SetAllChecked(list, true); });
  item(pmnSqlField, "pmnSqlFieldCheckOff", "全て解除(&F)", [list] { SetAllChecked(list, false); });
  pmnSqlField->addSeparator();
  item(pmnSqlField, "pmnSqlSelectAll", "select * from(&A)",
       [this, table] { SQLEditorInsert(SQLEditor, "SELECT * FROM " + table()); });
  FFieldItems = {
      item(pmnSqlField, "pmnSqlSelectFrom", "select ～ from(&S)",
           with_fields([table](const std::string &f) { return "SELECT " + f + " FROM " + table(); })),
      item(pmnSqlField, "pmnSqlSelectDistinctFrom", "select distinct ～ from(&D)",
           with_fields([table](const std::string &f) { return "SELECT DISTINCT " + f + " FROM " + table(); })),
      item(pmnSqlField, "pmnSqlWhereLikeOr", "where ～ like or(&L)", where(0, "OR")),
      item(pmnSqlField, "pmnSqlWhereLikeAnd", "where ～ like and(&K)", where(0, "AND")),
      item(pmnSqlField, "pnmSqlOrderBy", "order by ～(&O)",
           with_fields([](const std::string &f) { return " ORDER BY " + f; })),
      item(pmnSqlField, "pmnSqlGroupBy", "group by ～(&G)",
           with_fields([](const std::string &f) { return " GROUP BY " + f; })),
      item(pmnSqlField, "pmnSqlWhereMatchOr", "where ～ match or(&M)", where(1, "OR")),
      item(pmnSqlField, "pmnSqlWhereMatchAnd", "where ～ match and(&T)", where(1, "AND")),
      item(pmnSqlField, "pmnSqlWhereRegExpOr", "where ～ regexp or(&R)", where(2, "OR")),
      item(pmnSqlField, "pmnSqlWhereRegExpAnd", "where ～ regexp and(&E)", where(2, "AND")),
  };
  pmnSqlField->addSeparator();
  item(pmnSqlField, "mnPRAGMAtablelist", "PRAGMA table_info",
       [this, table] { SQLEditorInsert(SQLEditor, "PRAGMA table_info(" + SqlQuoted(table()) + ");"); });
  item(pmnSqlField, "pmnPRAGMAindexlist", "PRAGMA index_list",
       [this, table] { SQLEditorInsert(SQLEditor, "PRAGMA index_list(" + SqlQuoted(table()) + ");"); });
  list->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(list, &QWidget::customContextMenuRequested, this, [this, list](const QPoint &pos) {
    pmnSqlFieldPopup();
    pmnSqlField->popup(list->viewport()->mapToGlobal(pos));
  });
}
