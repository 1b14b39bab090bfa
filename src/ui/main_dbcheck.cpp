// The main window and the local database: the state of acis.db at start-up, the check for
// newer data at the configured source, the first-run set-up and the update window, and the
// lists that need the database.

#include <QComboBox>
#include <QStatusBar>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "components/CheckListBoxEx.h"
#include "components/FillAdapters.h"
#include "components/ListBoxEx.h"
#include "components/QtServices.h"
#include "engine/AcisSvr.h"
#include "engine/DbCheck.h"
#include "engine/InetUtil.h"
#include "engine/SQLite.h"
#include "engine/TextHelpers.h"
#include "engine/UiServices.h"
#include "engine/UpdateRun.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "platform/fspath.h"
#include "ui/LogMemo.h"
#include "ui/UStartup.h"
#include "ui/UStartup2.h"
#include "ui/UUpdate.h"
#include "ui/UnattendedRun.h"
#include "ui/UfraSakumotsu.h"
#include "ui/ScriptRun.h"
#include "ui/main.h"
#include "ui_main.h"

using namespace cp932::literals;
namespace fs = std::filesystem;

namespace {

constexpr int kSchemaVersion = 190107;

std::string DbFile(const std::string &name) { return JoinPath(OptionData->DbFolder, name); }

bool Offline() { return OptionData->OffLine || OfflineSwitch; }

// The start-up failure line: operation, " Error ", class name, CR LF, message.
std::string ErrorLine(const std::string &operation, const std::exception &e) {
  return operation + " Error " + ExceptionClassName(e) + "\r\n" + e.what();
}

// A lock held by another program (one writing to acis.db) makes the open fail, though the
// file is whole.
bool InUse(const std::exception &e) {
  const auto *sql = dynamic_cast<const ESQLiteException *>(&e);
  return sql && sql->Busy();
}

std::string InUseText() {
  return "データベースは他のプログラムが使用中です。"_sj + "\r\n" + DbFile("acis.db") + "\r\n" +
         "しばらくしてからもう一度お試しください。"_sj;
}

}  // namespace

int TfrmMain::CheckDatabaseState() {
  UpdateCheckFailed = false;
  // What an interrupted update left behind goes first, when no other instance runs.
  RemoveStaleUpdateFiles(mLog);
  if (!fs::exists(FsPath(DbFile("acis.db")))) return 5;
  if (OptionData->DownSite == 3 || OptionData->DownSite == 4) return 6;
  if (!AcisDB) {
    try {
      AcisDBOwner().Reopen(DbFile("acis.db"), mLog);
    } catch (const std::exception &e) {
      // A file that does not open as a database is one to rebuild, like one without "info";
      // one that another program holds is left to it.
      AddLog(ErrorLine("AcisDB.Create", e));
      return InUse(e) ? DatabaseInUse : 0;
    }
  }
  const bool newer = CheckDataUpdate();
  if (!AcisDB->TableExists("info")) return 0;
  for (const char *t : AcisDbTables())
    if (!AcisDB->TableExists(t)) return 4;
  if (newer) return 1;
  if (AcisDB->GetVersion() < kSchemaVersion) return 2;
  return 3;
}

bool TfrmMain::CheckDataUpdate() {
  UpdateCheckFailed = false;
  CheckFailure.clear();
  if (Offline()) {
    AddLog("オフラインモード データ更新確認省略"_sj);
    return false;
  }
  TAcisSvr svr;
  svr.LogMemo = mLog;
  SetStatusText(0, "データ更新をチェックしています"_sj);
  struct Site {
    const char *heading, *saved, *failure;
  };
  static const Site sites[3] = {
      {"データ更新チェック FAMIC CSV データ", "update2.htm", "FAMIC CSVダウンロードページへ接続できません"},
      {"データ更新チェック FAMIC Excel データ", "update.htm",
       "FAMIC EXCELデータダウンロードページへ接続できません"},
      {"データ更新チェック TORV CSV データ", "update.txt", "トルヴ資料館ダウンロードページへ接続できません"},
  };
  const int kind = OptionData->DownSite <= 2 ? OptionData->DownSite : 2;
  const Site &site = sites[kind];
  AddLog(cp932::FromUtf8(site.heading));
  if (OptionData->UseLAN)
    AddLog(JoinPath(OptionData->dirLAN, site.saved));
  else if (kind == 0)
    AddLog(GetPublisherUrl("/ddata/index2.htm"));
  else if (kind == 1)
    AddLog(GetPublisherUrl("/ddata/index.htm"));
  else
    AddLog(GetTorvSiteUrl(OptionData->DownSiteTorvDB) + "update.txt");

  bool result = false;
  const bool arrived = svr.CheckUpdate();
  UpdateCheckFailed = svr.CheckFailed;
  const std::string saved = CurrentPagePath(kind);  // the page just fetched, else the saved one
  if (!UpdateCheckFailed && fs::exists(FsPath(saved))) {
    ServerDataDate = ReadServerDataDate(saved);
    const std::string db_date = AcisDB ? AcisDB->LastUpdate() : std::string();
    AddLog("DB更新日付    :"_sj + db_date);
    AddLog("サーバ更新日付:"_sj + ServerDataDate);
    // What was built decides, not whether the page came just now: a page that "/r" or an
    // interrupted run already took stays due until a build records its date. The workbooks
    // carry their own date, written unlike the page's, so a build from them records the
    // page's beside it; a database built before that knows none, and there only a page
    // that has just arrived can tell.
    if (kind == 1) {
      const std::string built = AcisDB ? AcisDB->PageDate() : std::string();
      result = built.empty() ? arrived && db_date != ServerDataDate : built != StoredText(ServerDataDate);
    } else {
      result = db_date != PageDataAsOf(saved, kind);
    }
  } else {
    UpdateCheckFailed = true;
    CheckFailure = "データ更新の確認ができません"_sj + "\r\n" + cp932::FromUtf8(site.failure) + "\r\n" +
                             "StatusCode: " + svr.StatusCode + "\r\n" + "StatusText: " + svr.StatusText;
    const std::string &text = CheckFailure;
    if (AutoUpdateSwitch || DownloadCheckSwitch) {
      // Nobody answers a box in an unattended run: the message goes to its log.
      AddLog(text);
    } else {
      for (const char *code : {"404", "403", "500", "502", "503", "504"})
        if (svr.StatusCode == code) {
          MsgBox(text, "エラー"_sj, MB_OK | MB_ICONERROR);
          break;
        }
    }
  }
  const std::string name = InetErrorName(svr.LastError);
  if (!name.empty() && svr.LastError != 0) {
    AddLog("インターネット接続不可("_sj + name + ")");
  } else {
    AddLog("Status: " + std::to_string(svr.LastError));
    AddLog("StatusCode: " + svr.StatusCode + "\r\n" + "StatusText: " + svr.StatusText);
  }
  if (svr.StatusCode.empty() && svr.StatusText.empty()) AddLog("StuatusCode: なし -> インターネット接続不可"_sj);
  // The phase's name alone can mislead (a full disk reads as a lost connection): the cause.
  if (!svr.ErrorText.empty()) AddLog(svr.ErrorText);
  if (UpdateCheckFailed && !svr.ErrorText.empty()) CheckFailure += "\r\n" + svr.ErrorText;
  return result;
}

std::string TfrmMain::ReadServerDataDate(const std::string &FileName) {
  return OfferedDataDate(FileName, OptionData->DownSite <= 2 ? OptionData->DownSite : 2);
}

void TfrmMain::GUIStart(int State) {
  if (State == 5) {
    bool cancelled;
    {
      TfrmStartup startup(this);
      ShowModal(&startup);
      cancelled = startup.Cancelled;
    }
    if (!cancelled) {
      TfrmStartup2 startup2(this);
      ShowModal(&startup2);
      cancelled = startup2.Cancelled;
    }
    if (cancelled) {
      if (!IsInternetConnected())
        MsgBox("インターネットに接続されていないためデータ取得できません。"_sj, "エラー"_sj, MB_OK | MB_ICONERROR);
      SetStatusText(0, "DB:なし"_sj);
      return;
    }
  }
  switch (State) {
    case 0:
    case 5:
      ShowUpdateDialog(true, true);
      break;
    case 1: {
      if (OptionData->NoUpdateCheck) {
        ShowUpdateDialog(true, true);
        break;
      }
      const std::string db_date = AcisDB ? AcisDB->LastUpdate() : std::string();
      const std::string text = "新しいデータがあります。"_sj + "\r\n\r\n" + "現在データ: "_sj + db_date + "\r\n" +
                               "更新データ: "_sj + ServerDataDate + "\r\n\r\n" + "データを更新します"_sj + "\r\n" +
                               "よろしいですか"_sj;
      if (MsgBox(text, "確認"_sj, MB_OKCANCEL | MB_ICONQUESTION) == IDOK) {
        ShowUpdateDialog(true, false);
      } else if (db_date != ServerDataDate) {
        // The page that offered the data goes, so that the next check fetches it again; the
        // saved page still tells of the data in place.
        DiscardPendingPage(OptionData->DownSite);
      }
      break;
    }
    case 2: {
      const std::string text = "Quillmar が更新されました。"_sj + "\r\n" + "データベースを更新する必要があります。"_sj +
                               "\r\n" + "よろしいですか"_sj;
      if (MsgBox(text, "確認"_sj, MB_OKCANCEL | MB_ICONQUESTION) == IDOK) {
        TfrmUpdate update(this);
        update.OldDatabase = AcisDB && AcisDB->GetVersion() <= 120412;
        update.AutoStart = true;
        ShowModal(&update);
        if (AcisDB) AcisDB->SetLogTarget(mLog);
      }
      break;
    }
    case 4: {
      const std::string text = "データベースが不正です。"_sj + "\r\n" + "データベースを更新する必要があります。"_sj +
                               "\r\n\r\n" + "データを更新します"_sj + "\r\n" + "よろしいですか"_sj;
      if (MsgBox(text, "エラー"_sj, MB_OKCANCEL | MB_ICONERROR) == IDOK) {
        if (fs::exists(FsPath(DbFile("spec.db")))) {
          if (AcisDB) AcisDB->ExecSQL("DETACH spec;");
          std::error_code ec;
          fs::remove(FsPath(DbFile("spec.db")), ec);
        }
        ShowUpdateDialog(true, true);
      }
      break;
    }
    case 6: {
      if (Offline()) {
        AddLog("オフラインモード データ更新確認省略"_sj);
      } else if (OptionData->DownSite == 3) {
        try {
          CheckDbUpdate(mLog);
        } catch (const std::exception &e) {
          AddLog(ErrorLine("SQLiteDbDownload", e));
        }
      } else {
        const std::string &site = OptionData->UserSite;
        if (IsWebAddress(site)) {
          try {
            CheckDbUpdate(mLog);
          } catch (const std::exception &e) {
            AddLog(ErrorLine("SQLiteDbDownload", e));
          }
        } else if (site.rfind("\\\\", 0) == 0) {
          // The user's site is a shared folder: the shared-folder refresh reads from it.
          const std::string saved = OptionData->dirLAN;
          OptionData->dirLAN = site;
          try {
            UpdateFromSharedFolder(mLog);
          } catch (const std::exception &e) {
            AddLog(ErrorLine("SQLiteDbDownload", e));
          }
          OptionData->dirLAN = saved;
        } else {
          AddLog(site + "が無効"_sj);
        }
      }
      try {
        AcisDBOwner().Reopen(DbFile("acis.db"), mLog);
      } catch (const std::exception &e) {
        AddLog(ErrorLine("AcisDB.Create", e));
        if (InUse(e)) MsgBox(InUseText(), "Quillmar", MB_OK | MB_ICONWARNING);
      }
      break;
    }
    case DatabaseInUse:
      MsgBox(InUseText(), "Quillmar", MB_OK | MB_ICONWARNING);
      break;
    default:
      break;
  }
}

void TfrmMain::SharedFolderStart() {
  RemoveStaleUpdateFiles(mLog);
  AddLog("共有フォルダデータ更新確認"_sj);
  AddLog(OptionData->dirLAN);
  auto open = [this] {
    if (!AcisDB && fs::exists(FsPath(DbFile("acis.db"))) && fs::exists(FsPath(DbFile("spec.db")))) {
      try {
        AcisDBOwner().Reopen(DbFile("acis.db"), mLog);
      } catch (const std::exception &e) {
        AddLog(ErrorLine("AcisDB.Create", e));
      }
    }
  };
  if (!fs::is_directory(FsPath(OptionData->dirLAN))) {
    AddLog("共有フォルダ検索失敗、データ更新確認省略..."_sj);
  } else {
    SetStatusText(0, "共有フォルダのデータ更新を確認しています(SQLiteDB)"_sj);
    try {
      UpdateFromSharedFolder(mLog);
    } catch (const std::exception &e) {
      // The database opens all the same; the failure is then shown.
      open();
      AddLog(ErrorLine("UpdateFromSharedFolder", e));
      MsgBox(e.what(), "エラー"_sj, MB_OK | MB_ICONERROR);
      return;
    }
  }
  open();
  if (AcisDB && AcisDB->GetVersion() < kSchemaVersion)
    MsgBox("Quillmar が更新されました。"_sj + "\r\n" + "データベースを更新する必要があります。"_sj + "\r\n" +
               "共有フォルダのデータが更新されていない可能性があります。"_sj,
           "確認"_sj, MB_OK | MB_ICONQUESTION);
}

bool TfrmMain::ShowUpdateDialog(bool AutoStart, bool) {
  if (!AcisDB) {
    // Yes starts the update at once, No opens the window to start by hand, 中止 (Escape
    // and the close box too) leaves without the window.
    const int answer = MsgBox("自動更新処理を実行します。"_sj + "\r\n" + OptionData->DbFolder + "\r\n" +
                                  "にデータベースを作成します"_sj,
                              "確認"_sj, MB_YESNOABORT | MB_ICONQUESTION);
    if (answer != IDYES && answer != IDNO) return false;
    AutoStart = answer == IDYES;
  }
  bool rebuilt = false;
  try {
    TfrmUpdate update(this);
    update.AutoStart = AutoStart;
    ShowModal(&update);
    rebuilt = update.Rebuilt;
  } catch (...) {
    if (AcisDB) AcisDB->SetLogTarget(mLog);
    throw;
  }
  if (AcisDB) AcisDB->SetLogTarget(mLog);
  return rebuilt;
}

void TfrmMain::LoadInitialLists() {
  if (!AcisDB) return;
  if (!AcisDB->LogTarget()) AcisDB->SetLogTarget(mLog);
  SetStatusText(0, "DB:" + AcisDB->LastUpdate());
  if (AcisDB->TableExists("m_kihon")) {
    if (AcisDB->ExecQuery("SELECT DISTINCT yoto FROM m_kihon ORDER BY yoto")) {
      QComboBox *cb = ui->cbYotoTabYakuzai;
      cb->clear();
      cb->addItem(ToQ("全て"_sj));
      TComboTarget target(*cb);
      AcisDB->SetCombo(target, 0, false);
    }
    {
      TScriptRun script(AcisDB->Db());
      AcisDB->ExecSQL(
          "BEGIN TRANSACTION;DROP TABLE IF EXISTS t_bango;CREATE TEMP TABLE t_bango (bango integer,sakumotsu "
          "varchar);COMMIT;");
    }
    if (AcisDB->ExecQuery("SELECT bango,meisho FROM m_kihon ORDER BY bango")) {
      TListBoxTarget target(*ui->lstBango);
      AcisDB->SetListBoxNumbered(target, true);
    }
  }
  LoadSqlTableLists();
  ui->fraSakumotsu->FillTree();
  ui->fraSakumotsu->LoadBeppyo1();
  ui->fraSakumotsu->LoadCvoFamilies();
}

void TfrmMain::actCheckUpdateExecute() {
  const bool rebuilt = ShowUpdateDialog(false, false);
  ByochuRowsPending = false;  // the update window opened a new connection without the work tables
  if (rebuilt && AcisDB) {
    AcisDB->CreateViews();
    LoadInitialLists();
  }
}

// ---------------------------------------------------------------- unattended runs

int TfrmMain::UnattendedRun(bool Update) {
  TUnattendedUi::TLogScope log_scope(mLog);
  const std::string log_folder = Update ? OptionData->DbFolder : OptionData->DownloadFolder;
  // The log of a run that ended before the update could start: the lines so far between
  // the run's first and last lines.
  auto save_failed_run = [&] {
    std::vector<std::string> lines;
    lines.push_back((Update ? "データ更新開始:"_sj : "ダウンロード更新確認開始:"_sj) + UpdateLogStamp());
    for (const std::string &l : mLog->Lines()) lines.push_back(l);
    if (Update) lines.push_back("データ更新中止!"_sj);
    // The last line says how the run ended.
    lines.push_back((Update ? "データ更新中止:"_sj : "ダウンロード更新確認終了:"_sj) + UpdateLogStamp());
    SaveUpdateLog(JoinPath(log_folder, Update ? "autoupdate.log" : "autodown.log"), lines);
  };
  // A folder the run has to write in that cannot be written fails it before anything is
  // fetched: said on the error output, which a scheduler passes on, and in the log when the
  // log's own folder can be written.
  std::vector<std::string> folders{OptionData->DownloadFolder};
  if (Update) folders.insert(folders.begin(), OptionData->DbFolder);
  for (const std::string &folder : folders) {
    const std::string why = WriteFailure(folder);
    if (why.empty()) continue;
    const std::string line = folder + " に書き込めません("_sj + why + ")。"_sj +
                             "フォルダの書き込み権限を確認するか、書き込めるフォルダを環境変数 QUILLMAR_HOME に指定してください。"_sj;
    std::fputs((cp932::ToUtf8(line) + "\n").c_str(), stderr);
    if (folder != log_folder && WriteFailure(log_folder).empty()) {
      AddLog(line);
      save_failed_run();
    }
    return kExitFailed;
  }
  const int state = CheckDatabaseState();
  if (UpdateCheckFailed) {
    // A check that could not read the source's page is a failure, never "up to date".
    save_failed_run();
    WriteFailures({CheckFailure}, JoinPath(log_folder, Update ? "autoupdate.log" : "autodown.log"));
    return kExitFailed;
  }
  if (state == DatabaseInUse) {
    // The run would rebuild the file under the program that holds it: it fails instead.
    AddLog(InUseText());
    save_failed_run();
    WriteFailures({InUseText()}, JoinPath(log_folder, Update ? "autoupdate.log" : "autodown.log"));
    return kExitFailed;
  }
  if (state == 3) return kExitUpToDate;
  return Update ? UnattendedUpdate() : UnattendedDownloadCheck();
}
