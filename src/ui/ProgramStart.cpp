#include "ui/ProgramStart.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>

#include "components/QtServices.h"
#include "engine/UiServices.h"
#include "engine/UpdateRun.h"
#include "platform/cp932.h"

using namespace cp932::literals;

void SetUpApplication() {
  QApplication::setApplicationName(QStringLiteral("Quillmar"));
  InstallQtTranslations();
  // A desktop theme without these names (or none at all, as under a bare X server) still
  // finds them in the theme the program installs with it.
  if (QIcon::fallbackThemeName().isEmpty() || QIcon::fallbackThemeName() == QLatin1String("hicolor"))
    QIcon::setFallbackThemeName(QStringLiteral("Tango"));
}

int OtherInstanceRuns(TSingleInstance::TRunning running, bool unattended) {
  if (unattended) {
    std::fputs("Quillmar は実行中です。無人更新は何もせずに終了します。\n", stderr);
    return kExitOtherInstance;
  }
  if (running == TSingleInstance::RunningUnattended)
    UiServices().MessageBox("Quillmar はデータ更新を実行中です。"_sj + "\r\n" + "更新が終わってからもう一度起動してください。"_sj,
                            "Quillmar", MB_OK | MB_ICONINFORMATION);
  else if (running == TSingleInstance::RunningUnknown)
    UiServices().MessageBox("Quillmar は実行中ですが、応答がありません。"_sj + "\r\n" +
                                "実行中の Quillmar を終了してからもう一度起動してください。"_sj,
                            "Quillmar", MB_OK | MB_ICONWARNING);
  return 0;
}
