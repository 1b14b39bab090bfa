// The program: one instance per user, the application titled "Quillmar", the main window
// and its message loop; the exit code after an unattended run ("/u", "/r").
#include <QApplication>

#include "components/QtServices.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "ui/Mutex.h"
#include "ui/ProgramStart.h"
#include "ui/main.h"

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  TSingleInstance guard;
  if (!guard.Acquire()) return FinalizeOptionData(0);

  SetUpApplication();
  TQtUiServices ui;
  SetUiServices(&ui);
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
