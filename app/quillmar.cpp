// The program: one instance per program folder, the application titled "Quillmar", the main window
// and its message loop; the exit code after an unattended run ("/u", "/r").
#include <QApplication>

#include <cstdlib>
#include <unistd.h>
#include <cstring>
#include <strings.h>

#include "components/QtServices.h"
#include "engine/UpdateRun.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "ui/Mutex.h"
#include "ui/ProgramStart.h"
#include "ui/UnattendedRun.h"
#include "ui/main.h"

namespace {

bool Unattended(int argc, char **argv) {
  for (int i = 1; i < argc; ++i)
    if (strcasecmp(argv[i], "/u") == 0 || strcasecmp(argv[i], "/r") == 0) return true;
  return false;
}

bool Empty(const char *name) {
  const char *v = std::getenv(name);
  return !v || !*v;
}

}  // namespace

int main(int argc, char **argv) {
  const bool unattended = Unattended(argc, argv);
  // A scheduled run has no display: it needs none, since it shows nothing.
  if (unattended && Empty("QT_QPA_PLATFORM") && Empty("DISPLAY") && Empty("WAYLAND_DISPLAY"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // The browser engine ends the whole process when it starts as root with its sandbox on;
  // the template pane and the viewer create it, so a root session would never see a window.
  if (geteuid() == 0 && Empty("QTWEBENGINE_DISABLE_SANDBOX")) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);

  QApplication app(argc, argv);
  // The guard belongs to the program folder, whatever the environment's temporary folder.
  // (It is taken before the application is named: the lock records the name the process
  // runs under, by which a later start tells a live holder from a dead one.)
  TSingleInstance guard(QString::fromStdString(cp932::ToUtf8(OptionData->ProgramFolder)), unattended);
  const bool first = guard.Acquire();
  // Without the guard (a folder that cannot be made or written) another instance may be at work.
  HoldsInstanceGuard = guard.Held();

  SetUpApplication();
  TQtUiServices interactive;
  TUnattendedUi unattended_ui;
  SetUiServices(unattended ? static_cast<IUiServices *>(&unattended_ui) : &interactive);
  if (!first) {
    const int code = OtherInstanceRuns(guard.Running(), unattended);
    SetUiServices(nullptr);
    return FinalizeOptionData(code);
  }
  InstallReferenceRefresh();

  int code;
  {
    TfrmMain main_window;
    main_window.show();
    code = QApplication::exec();
  }
  SetUiServices(nullptr);
  return FinalizeOptionData(code);
}
