#include "components/ListBoxEx.h"

#include <QHelpEvent>
#include <QPainter>
#include <QScrollBar>

#include "components/qtext.h"

TListBoxHintWindow::TListBoxHintWindow(int extra_height, QWidget *parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint), extra_height_(extra_height) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TListBoxHintWindow::ActivateHintData(const QRect &rect, const QString &text, const QFont &font) {
  text_ = text;
  setFont(font);
  QFontMetrics fm(font);
  setGeometry(rect.left(), rect.top(), fm.horizontalAdvance(text) + 5, fm.height() + extra_height_);
  show();
  update();
}

void TListBoxHintWindow::paintEvent(QPaintEvent *) {
  QPainter p(this);
  p.fillRect(rect(), palette().color(QPalette::ToolTipBase));
  p.setPen(palette().color(QPalette::ToolTipText));
  p.drawRect(rect().adjusted(0, 0, -1, -1));
  p.drawText(rect().adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text_);
}

TTextListBox::TTextListBox(QWidget *parent, QPoint hint_offset, int hint_extra_height)
    : QListWidget(parent), hint_offset_(hint_offset), hint_extra_height_(hint_extra_height) {
  setUniformItemSizes(true);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  viewport()->setMouseTracking(true);
}

TListBoxEx::TListBoxEx(QWidget *parent) : TTextListBox(parent, QPoint(-1, -3), 0) {}

int TTextListBox::AddItem(const std::string &text) {
  auto *item = new QListWidgetItem(ToQ(text));
  item->setData(Qt::UserRole, QByteArray(text.data(), static_cast<qsizetype>(text.size())));
  addItem(item);
  return count() - 1;
}

std::string TTextListBox::Item(int index) const {
  const QListWidgetItem *it = item(index);
  if (!it) return {};
  QByteArray b = it->data(Qt::UserRole).toByteArray();
  return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

int TTextListBox::IndexOf(const std::string &text) const {
  for (int i = 0; i < count(); ++i)
    if (Item(i) == text) return i;
  return -1;
}

void TTextListBox::BeginUpdate() {
  if (update_count_++ == 0) setUpdatesEnabled(false);
}

void TTextListBox::EndUpdate() {
  if (update_count_ == 0) return;
  if (--update_count_ == 0) setUpdatesEnabled(true);
}

int TTextListBox::ItemHeight() const {
  if (count() > 0) {
    int h = sizeHintForRow(0);
    if (h > 0) return h;
  }
  return fontMetrics().height();
}

int TTextListBox::TopIndex() const {
  QModelIndex i = indexAt(QPoint(1, 1));
  return i.isValid() ? i.row() : verticalScrollBar()->value();
}

void TTextListBox::SetShowHint(bool on) {
  show_hint_ = on;
  if (!on) HideHint();
}

TListBoxHintWindow *TTextListBox::HintWindow() const {
  return (hint_ && hint_->isVisible()) ? hint_.data() : nullptr;
}

void TTextListBox::HideHint() {
  if (hint_) hint_->hide();
  hint_item_rect_ = QRect();
}

void TTextListBox::HintShow(const QPoint &pos) {
  HideHint();
  const int height = ItemHeight();
  if (height <= 0 || pos.y() < 0) return;
  const int index = pos.y() / height + TopIndex();
  if (index < 0 || index >= count()) return;
  const QString text = item(index)->text();
  QFontMetrics fm(font());
  if (fm.horizontalAdvance(text) <= viewport()->width()) return;
  hint_item_rect_ = QRect(0, (index - TopIndex()) * height, viewport()->width(), height);
  if (!hint_) hint_ = new TListBoxHintWindow(hint_extra_height_, this);
  QPoint at = viewport()->mapToGlobal(hint_item_rect_.topLeft() + hint_offset_);
  hint_->ActivateHintData(QRect(at, QSize(1, 1)), text, font());
}

bool TTextListBox::viewportEvent(QEvent *e) {
  switch (e->type()) {
    case QEvent::ToolTip:
      if (!show_hint_) break;
      HintShow(static_cast<QHelpEvent *>(e)->pos());
      return true;
    case QEvent::MouseMove:
      if (!hint_item_rect_.isNull() && !hint_item_rect_.contains(static_cast<QMouseEvent *>(e)->position().toPoint()))
        HideHint();
      break;
    case QEvent::Leave:
    case QEvent::Wheel:
      HideHint();
      break;
    default: break;
  }
  return QListWidget::viewportEvent(e);
}
