#include "components/PosDlgs.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>

#include "components/DialogServices.h"

namespace {

// The start of a span of the length at At, moved back so that it ends inside the span
// [begin, begin + extent), then forward so that it starts inside it.
qint64 KeepInside(qint64 at, qint64 length, qint64 begin, qint64 extent) {
  if (at + length > begin + extent) at = begin + extent - length;
  return std::max(at, begin);
}

// How far a point lies from the area, in both directions together.
qint64 Distance(qint64 x, qint64 y, const QRect &area) {
  auto away = [](qint64 v, qint64 lo, qint64 hi) { return v < lo ? lo - v : v > hi ? v - hi : 0; };
  return away(x, area.left(), area.right()) + away(y, area.top(), area.bottom());
}

}  // namespace

QPoint KeepInsideArea(const QRect &Area, const QPoint &At, const QSize &Size) {
  return QPoint(static_cast<int>(KeepInside(At.x(), Size.width(), Area.left(), Area.width())),
                static_cast<int>(KeepInside(At.y(), Size.height(), Area.top(), Area.height())));
}

QRect SavedWindowRect(qint64 Left, qint64 Top, qint64 Width, qint64 Height, const QList<QRect> &Areas,
                      const QRect &VirtualScreen) {
  const qint64 w = std::clamp<qint64>(Width, 1, QWIDGETSIZE_MAX), h = std::clamp<qint64>(Height, 1, QWIDGETSIZE_MAX);
  if (Left > VirtualScreen.width()) Left -= VirtualScreen.width();
  const QRect *nearest = nullptr;
  for (const QRect &area : Areas) {
    if (area.isEmpty()) continue;
    // The top edge, where the title bar is, lies on the area.
    if (Top >= area.top() && Top <= area.bottom() && Left <= area.right() && Left + w > area.left())
      return QRect(static_cast<int>(Left), static_cast<int>(Top), static_cast<int>(w), static_cast<int>(h));
    if (!nearest || Distance(Left, Top, area) < Distance(Left, Top, *nearest)) nearest = &area;
  }
  if (!nearest) return QRect(0, 0, static_cast<int>(w), static_cast<int>(h));
  return QRect(static_cast<int>(KeepInside(Left, w, nearest->left(), nearest->width())),
               static_cast<int>(KeepInside(Top, h, nearest->top(), nearest->height())), static_cast<int>(w),
               static_cast<int>(h));
}

QRect SavedWindowRect(qint64 Left, qint64 Top, qint64 Width, qint64 Height) {
  QList<QRect> areas;
  QRect virtual_screen;
  if (QScreen *primary = QGuiApplication::primaryScreen()) {
    areas.push_back(primary->availableGeometry());
    virtual_screen = primary->virtualGeometry();
  }
  for (QScreen *s : QGuiApplication::screens())
    if (s != QGuiApplication::primaryScreen()) areas.push_back(s->availableGeometry());
  return SavedWindowRect(Left, Top, Width, Height, areas, virtual_screen);
}

QPoint DialogPlacement(const QRect &WorkArea, const QSize &DialogSize, const TDlgPosition &Position,
                       const QWidget *Owner) {
  QPoint p(Position.X, Position.Y);
  switch (Position.Option) {
    case dpDefault:
      if (Owner) p = Owner->mapToGlobal(QPoint(0, 0));
      break;
    case dpCenter:
      p = QPoint(WorkArea.left() + (WorkArea.width() - DialogSize.width()) / 2,
                 WorkArea.top() + (WorkArea.height() - DialogSize.height()) / 2);
      break;
    case dpDesigned:
      break;
  }
  return KeepInsideArea(WorkArea, p, DialogSize);
}

namespace {

// Places its window once more as the window shows, then goes.
class TPlaceOnShow : public QObject {
 public:
  TPlaceOnShow(QWidget *window, const QWidget *near, std::function<QPoint(const QSize &)> place)
      : QObject(window), near_(near), place_(std::move(place)) {
    setObjectName(QStringLiteral("qmPlaceOnShow"));
    window->installEventFilter(this);
  }
  void Reset(const QWidget *near, std::function<QPoint(const QSize &)> place) {
    near_ = near;
    place_ = std::move(place);
  }
  bool eventFilter(QObject *watched, QEvent *event) override {
    if (event->type() == QEvent::Show && watched == parent()) {
      auto *window = static_cast<QWidget *>(watched);
      window->move(place_(FrameSize(window, near_)));
      window->removeEventFilter(this);
      deleteLater();
    }
    return false;
  }

 private:
  QPointer<const QWidget> near_;
  std::function<QPoint(const QSize &)> place_;
};

}  // namespace

QSize FrameSize(const QWidget *Window, const QWidget *Near) {
  QMargins frame;
  if (const QWindow *own = Window->windowHandle()) frame = own->frameMargins();
  if (frame.isNull() && Near)
    if (const QWindow *near = Near->window()->windowHandle()) frame = near->frameMargins();
  return Window->size().grownBy(frame);
}

void PlaceWithFinalFrame(QWidget *Window, const QWidget *Near, std::function<QPoint(const QSize &)> Place) {
  Window->move(Place(FrameSize(Window, Near)));
  if (Window->isVisible()) return;
  if (auto *pending = Window->findChild<TPlaceOnShow *>(QStringLiteral("qmPlaceOnShow"), Qt::FindDirectChildrenOnly))
    pending->Reset(Near, std::move(Place));
  else
    new TPlaceOnShow(Window, Near, std::move(Place));
}

void PlaceDialog(QWidget *Dialog, const TDlgPosition &Position, const QWidget *Owner) {
  QScreen *screen = Owner ? Owner->screen() : Dialog->screen();
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  QPointer<const QWidget> owner(Owner);
  PlaceWithFinalFrame(Dialog, Owner, [area, Position, owner](const QSize &frame) {
    return DialogPlacement(area, frame, Position, owner.data());
  });
}

bool TFileDialogPos::Execute() {
  TFileDialogRequest request;
  request.Save = IsSave();
  request.Owner = Owner;
  request.Title = Title;
  request.Filter = Filter;
  request.DefaultExt = DefaultExt;
  request.InitialDir = InitialDir;
  request.FileName = FileName;
  request.OverwritePrompt = OverwritePrompt();
  request.Position = FPosition;
  TDialogAnswer answer = DialogServices().FileDialog(request);
  if (!answer.Ok || answer.Path.empty()) return false;
  FileName = answer.Path;
  return true;
}
