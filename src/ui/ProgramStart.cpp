#include "ui/ProgramStart.h"

#include <QApplication>
#include <QIcon>

#include "components/QtServices.h"

void SetUpApplication() {
  QApplication::setApplicationName(QStringLiteral("Quillmar"));
  InstallQtTranslations();
  // A desktop theme without these names (or none at all, as under a bare X server) still
  // finds them in the theme the program installs with it.
  if (QIcon::fallbackThemeName().isEmpty() || QIcon::fallbackThemeName() == QLatin1String("hicolor"))
    QIcon::setFallbackThemeName(QStringLiteral("Tango"));
}
