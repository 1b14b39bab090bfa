#include "components/ComCtrlsXP.h"

bool TXPToolBar::event(QEvent *e) {
  if (e->type() == kDroppedEvent) {
    e->accept();
    return true;
  }
  return QToolBar::event(e);
}
