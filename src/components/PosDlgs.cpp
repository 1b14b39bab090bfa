#include "components/PosDlgs.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "components/DialogServices.h"

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
  const int right = WorkArea.left() + WorkArea.width();
  const int bottom = WorkArea.top() + WorkArea.height();
  if (p.x() + DialogSize.width() > right) p.setX(right - DialogSize.width());
  if (p.y() + DialogSize.height() > bottom) p.setY(bottom - DialogSize.height());
  if (p.x() < WorkArea.left()) p.setX(WorkArea.left());
  if (p.y() < WorkArea.top()) p.setY(WorkArea.top());
  return p;
}

void PlaceDialog(QWidget *Dialog, const TDlgPosition &Position, const QWidget *Owner) {
  QScreen *screen = Owner ? Owner->screen() : Dialog->screen();
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  Dialog->move(DialogPlacement(screen->availableGeometry(), Dialog->frameGeometry().size(), Position, Owner));
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
