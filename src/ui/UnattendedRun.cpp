#include "ui/UnattendedRun.h"

#include <QDateTime>
#include <QLocale>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "components/qtext.h"
#include "engine/AcisSvr.h"
#include "engine/SakuUtil.h"
#include "engine/UiServices.h"
#include "engine/UpdateRun.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "platform/fspath.h"

using namespace cp932::literals;

using namespace cp932::literals;

namespace {

// A run without a window: its lines go to its log file, the text of a box among them; what
// made it fail goes to the error output as well.
int RunWithoutWindow(int (*step)(TUpdateRun &), const std::string &log_path) {
  TUpdateRun run(nullptr, nullptr, nullptr);
  run.Stamp = UpdateLogStamp;
  int code;
  {
    TUnattendedUi::TLogScope box_log(run.Log());
    code = step(run);
  }
  if (code == kExitFailed) WriteFailures(run.Failures(), log_path);
  return code;
}

}  // namespace

int UnattendedUpdate() { return RunWithoutWindow(&RunUnattendedUpdate, JoinPath(OptionData->DbFolder, "autoupdate.log")); }

int UnattendedDownloadCheck() {
  return RunWithoutWindow(&RunUnattendedDownloadCheck, JoinPath(OptionData->DownloadFolder, "autodown.log"));
}

void WriteFailures(const std::vector<std::string> &lines, const std::string &log_path) {
  std::string utf8;
  for (const std::string &line : lines) utf8 += cp932::ToUtf8(ReplaceAllText(line, "\r\n", "\n")) + "\n";
  utf8 += cp932::ToUtf8("詳しくはログをご覧ください: "_sj + log_path) + "\n";
  std::fwrite(utf8.data(), 1, utf8.size(), stderr);
  std::fflush(stderr);
}

std::string WriteFailure(const std::string &folder) {
  // The name of a killed build's file, which the next start removes from the database
  // folder and the data folder alike, should this process die before it does.
  const std::filesystem::path probe = TempBeside(FsPath(folder) / "acis.db");
  const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  if (fd >= 0) {
    ::close(fd);
    ::unlink(probe.c_str());
    return {};
  }
  switch (errno) {
    case EACCES:
    case EPERM: return "書き込み権限がありません"_sj;
    case EROFS: return "読み取り専用です"_sj;
    case ENOENT:
    case ENOTDIR: return "フォルダがありません"_sj;
    case ENOSPC:
    case EDQUOT: return "空き容量がありません"_sj;
    default: return cp932::FromUtf8(std::strerror(errno));
  }
}

std::string UpdateLogStamp() {
  QLocale locale = QLocale::system();
  QDateTime now = QDateTime::currentDateTime();
  return FromQ(locale.toString(now.date(), QLocale::ShortFormat) + " " +
               locale.toString(now.time(), QLocale::ShortFormat));
}

// ---------------------------------------------------------------- services of unattended runs

void TUnattendedUi::Write(const std::string &text) {
  if (Log) {
    Log->AddLine(text);
  } else {
    const std::string utf8 = cp932::ToUtf8(text) + "\n";
    std::fwrite(utf8.data(), 1, utf8.size(), stderr);
  }
}

int TUnattendedUi::MessageBox(const std::string &text, const std::string &, unsigned flags) {
  Write(text);
  switch (flags & 0xF) {
    case MB_OK: return IDOK;
    case MB_YESNO: return IDNO;
    case MB_ABORTRETRYIGNORE: return IDABORT;
    default: return IDCANCEL;
  }
}

void TUnattendedUi::ShowReport(const std::string &caption, const std::string &title, const std::string &text) {
  Write(caption + " " + title + "\r\n" + text);
}
