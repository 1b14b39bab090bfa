#include "ui/ImageLists.h"

#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QMenu>
#include <QPixmap>
#include <QProxyStyle>
#include <QToolBar>
#include <QToolButton>
#include <QWidget>
#include <QPointer>
#include <map>

// The bundled pictures live in this library's resources, which a static library registers
// itself (outside any namespace, as Qt's macro asks).
static void InitBundledImages() {
  static const bool done = [] {
    Q_INIT_RESOURCE(icons);
    return true;
  }();
  (void)done;
}

namespace {

// Which picture stands for which action: the name of the action or button, then the
// icon-theme name. Actions of other windows that share a name share its picture.
const QHash<QString, QString> &IconNames() {
  static const QHash<QString, QString> names = {
      // main window: searches, output, data
      {"actSearchTekiyou", "edit-find"},
      {"actStop", "process-stop"},
      {"actCheckUpdate", "view-refresh"},
      {"actYakuzaiPDFDown", "go-down"},
      {"actCsvSave", "document-save"},
      {"actHtmlSave", "document-save-as"},
      {"actGridCopy", "edit-copy"},
      {"actGridAllCopy", "edit-select-all"},
      {"actCrossCheck", "edit-find-replace"},
      {"actTsusho", "accessories-text-editor"},
      {"actRacKeito", "format-indent-more"},
      {"actCopyExcelByHTML", "x-office-spreadsheet"},
      {"actCopyOOoCalc", "x-office-spreadsheet"},
      {"actCopyWPS", "x-office-spreadsheet"},
      {"actCopyJustCalcByHTML", "x-office-spreadsheet"},
      {"actOption", "preferences-system"},
      // main window: menus
      {"mnExit", "system-log-out"},
      {"mnToolbarOn", "preferences-system-windows"},
      {"mnStatusBarOn", "dialog-information"},
      {"mnLogPaneOn", "utilities-terminal"},
      {"mnRowSelect", "format-justify-fill"},
      {"mnOffline", "network-offline"},
      {"mnAbout", "help-browser"},
      {"pmnGridAdjustWidth", "format-justify-fill"},
      {"pmnFixedClm", "go-first"},
      {"pmnFixedClmOff", "go-last"},
      {"pmnGoogleTekiyo", "internet-web-browser"},
      {"btnSeibunView", "format-justify-fill"},
      {"pmnLogCopy", "edit-copy"},
      {"pmnLogSelectAll", "edit-select-all"},
      {"pmnLogSave", "document-save"},
      // result windows and the viewer
      {"actCopy", "edit-copy"},
      {"actCopyAll", "edit-select-all"},
      {"actGridSeibunCopy", "edit-copy"},
      {"actGridSeibunCopyALL", "edit-select-all"},
      {"actExportExcel", "x-office-spreadsheet"},
      {"actExportCalc", "x-office-spreadsheet"},
      {"actExportWPS", "x-office-spreadsheet"},
      {"actExportJustCalc", "x-office-spreadsheet"},
      {"actExportHTML", "text-html"},
      {"actFixedCol", "go-first"},
      {"actFixedColOff", "go-last"},
      {"actDeleteCol", "edit-delete"},
      {"actDeleteRow", "edit-cut"},
      {"actGoogle", "internet-web-browser"},
      {"actGoogleFfcr", "internet-web-browser"},
      {"actWeblio", "internet-web-browser"},
      {"actSearchNihs", "system-search"},
      {"actFcgr", "system-search"},
      {"actSendToTabYakuzai", "go-jump"},
      {"actAdd", "list-add"},
      {"actReplace", "edit-paste"},
      // the crop-selection frame and the crop pickers
      {"actCheckUpperTree", "go-up"},
      {"actCheckUpperList", "go-up"},
      {"actAutoTekiyoView", "media-playback-start"},
      {"actListAutoTekiyoView", "media-playback-start"},
      {"actForwardMatch", "format-justify-left"},
      {"actBroadMatch", "format-justify-center"},
      {"actTreeExpand", "list-add"},
      {"bExpand", "list-add"},
      {"bCollapse", "list-remove"},
      {"actTreeCheckOff", "edit-clear"},
      {"actSakumotsuListCheckALL", "edit-select-all"},
      {"bCheckALL", "edit-select-all"},
      {"actSakumotsuListCheckOff", "edit-clear"},
      {"tbtnAdd", "list-add"},
      {"tbtnReplace", "edit-paste"},
      {"tbtnClose", "window-new"},
  };
  return names;
}

constexpr const char *kGenericImage = "applications-other";
constexpr int kSizes[] = {16, 24, 32, 48};

// The bundled copy of a picture: the largest one not above Size.
QPixmap BundledPixmap(const QString &IconName, int Size) {
  InitBundledImages();
  for (int s : {32, 24, 16}) {
    if (s > Size && s != 16) continue;
    QPixmap pm(QStringLiteral(":/icons/%1/%2.png").arg(s).arg(IconName));
    if (!pm.isNull()) return pm;
  }
  return QPixmap();
}

QPixmap PictureOf(const QString &IconName, int Size) {
  QPixmap pm;
  const QIcon themed = QIcon::fromTheme(IconName);
  if (!themed.isNull()) pm = themed.pixmap(QSize(Size, Size));
  if (pm.isNull()) pm = BundledPixmap(IconName, Size);
  // A theme without the largest size, and the bundled copies, are scaled to the size asked.
  if (!pm.isNull() && pm.size() != QSize(Size, Size))
    pm = pm.scaled(Size, Size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  return pm;
}

// Menus draw their images in the size this style gives for small icons.
class TImageSizeStyle : public QProxyStyle {
 public:
  explicit TImageSizeStyle(int size) : size_(size) {}
  int pixelMetric(PixelMetric metric, const QStyleOption *option, const QWidget *widget) const override {
    if (metric == PM_SmallIconSize) return size_;
    return QProxyStyle::pixelMetric(metric, option, widget);
  }

 private:
  int size_;
};

}  // namespace

int ImageListSize(int Setting) { return Setting >= 0 && Setting <= 3 ? kSizes[Setting] : 0; }

int TreeImageSize(int Setting) { return Setting == 0 ? 20 : ImageListSize(Setting); }

QString ActionIconName(const QString &Name) { return IconNames().value(Name, Name); }

QIcon ActionIcon(const QString &Name) {
  const QString icon_name = ActionIconName(Name);
  QIcon icon;
  for (int size : kSizes) {
    QPixmap pm = PictureOf(icon_name, size);
    if (pm.isNull()) pm = PictureOf(QString::fromLatin1(kGenericImage), size);
    if (!pm.isNull()) icon.addPixmap(pm);
  }
  return icon;
}

void GiveActionIcons(QWidget *Window) {
  if (!Window) return;
  QList<QAction *> actions = Window->findChildren<QAction *>();
  actions += Window->actions();
  for (QAction *a : actions)
    if (a && !a->isSeparator() && a->icon().isNull() && !a->objectName().isEmpty())
      a->setIcon(ActionIcon(a->objectName()));
  // Tool buttons of their own (a drop-down without a default action) that have a picture
  // here; the others keep showing their caption.
  for (QToolButton *b : Window->findChildren<QToolButton *>())
    if (!b->defaultAction() && b->icon().isNull() && IconNames().contains(b->objectName()) &&
        qobject_cast<QToolBar *>(b->parentWidget()))
      b->setIcon(ActionIcon(b->objectName()));
}

void SetMenuImageSize(QMenu *Menu, int Size) {
  if (!Menu || Size <= 0) return;
  // One style per size, owned by the application (menus do not own their style).
  static std::map<int, QPointer<TImageSizeStyle>> styles;
  QPointer<TImageSizeStyle> &style = styles[Size];
  if (!style) {
    style = new TImageSizeStyle(Size);
    style->setParent(QCoreApplication::instance());
  }
  Menu->setStyle(style.data());
}
