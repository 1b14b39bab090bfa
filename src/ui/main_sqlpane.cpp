// The SQL pane: running the editor's text into gdSQL, the debug switch, the statement gate,
// query files, the lists of databases, tables and fields, and the popups that write SQL
// fragments into the editor.
#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sqlite3.h>

#include "components/CheckListBoxEx.h"
#include "components/DialogServices.h"
#include "components/ExcelUtil.h"
#include "components/QtServices.h"
#include "components/qtext.h"
#include "engine/Exception.h"
#include "engine/SakuUtil.h"
#include "engine/TextHelpers.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/fspath.h"
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

// Multi-statement mode for one run of the pane: set for the run and put back afterwards, so
// that the pane's choice never leaks into the scripts other commands run later.
class TStatementModeScope {
 public:
  TStatementModeScope(TSQLiteDb &Db, bool Multi) : db_(Db), saved_(Db.MultiStatement) { db_.MultiStatement = Multi; }
  ~TStatementModeScope() { db_.MultiStatement = saved_; }
  TStatementModeScope(const TStatementModeScope &) = delete;
  TStatementModeScope &operator=(const TStatementModeScope &) = delete;

 private:
  TSQLiteDb &db_;
  bool saved_;
};

}  // namespace

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
  const bool multi = DeveloperSwitch || StartsWithComment(T);
  TStatementModeScope mode(AcisDB->Db(), multi);
  if (!multi && !IsQueryStatement(T)) {
    MsgBox("実行できない文です"_sj, "Quillmar", MB_OK | MB_ICONERROR);
    return;
  }
  SetSearchPanelsEnabled(false);
  SetOutputEnabled(false);
  struct Restore {
    TfrmMain *w;
    ~Restore() {
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
  const bool rows = AcisDB->ExecQuery(T);
  const bool ran = rows || AcisDB->QueryShared() != before;
  if (rows) {
    done = clock::now();
    TXlsStringGrid *g = ui->gdSQL;
    g->BeginUpdate();
    AcisDB->SetGridFromTable(*g, *AcisDB->Query());
    g->EndUpdate();
    AdjustGridColumnWidths(g);
    g->show();
    TTabState &t = TabState[4];
    t.CountText = std::to_string(AcisDB->Query()->Count()) + "件"_sj;
    t.StatusText.clear();
    SetStatusText(3, t.CountText);
    SetStatusText(2, std::string());
  } else {
    done = clock::now();
    if (ran && IsQueryStatement(T))
      MsgBox("検索条件に一致するデータはありません"_sj, "Quillmar", MB_OK | MB_ICONWARNING);
    // A script that failed half-way may have left its own transaction open; it must not
    // swallow what later scripts write.
    if (!ran && !sqlite3_get_autocommit(AcisDB->Db().Handle())) {
      try {
        AcisDB->Db().ExecSQL("ROLLBACK;");
      } catch (const std::exception &) {
        // nothing open after all
      }
    }
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
  actSearchTekiyou->setEnabled(text);
}

void TfrmMain::ConnectSqlPane() {
  SearchOfTab[4] = [this] { ExecuteSQLEditor(); };
  connect(ui->btnQueryExec, &QPushButton::clicked, this, [this] { RunGuarded([this] { btnQueryExecClick(); }); });
  SetSQLEditorEvents(
      SQLEditor, [this] { SQLEditorChange(); }, [] {});
  SQLEditorChange();
}
