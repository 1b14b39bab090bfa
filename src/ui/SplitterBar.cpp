#include "ui/SplitterBar.h"

#include <QBoxLayout>
#include <QMouseEvent>
#include <algorithm>

QWidget *TSplitterBar::Above() const {
  auto *box = parentWidget() ? qobject_cast<QBoxLayout *>(parentWidget()->layout()) : nullptr;
  if (!box) return nullptr;
  for (int i = box->indexOf(const_cast<TSplitterBar *>(this)) - 1; i >= 0; --i) {
    QWidget *w = box->itemAt(i)->widget();
    if (w && !w->isHidden()) return w;
  }
  return nullptr;
}

void TSplitterBar::mousePressEvent(QMouseEvent *e) {
  FStartY = e->globalPosition().toPoint().y();
  FStartHeight = Above() ? Above()->height() : 0;
}

void TSplitterBar::mouseMoveEvent(QMouseEvent *e) {
  QWidget *above = Above();
  if (!above || !(e->buttons() & Qt::LeftButton)) return;
  above->setFixedHeight(std::max(0, FStartHeight + e->globalPosition().toPoint().y() - FStartY));
}

