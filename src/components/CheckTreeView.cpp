#include "components/CheckTreeView.h"

#include <QDropEvent>
#include <QHash>
#include <QSignalBlocker>

#include "components/qtext.h"

namespace {

constexpr int kDataRole = Qt::UserRole;
constexpr int kImageRole = Qt::UserRole + 1;
constexpr int kSelectedImageRole = Qt::UserRole + 2;
constexpr int kSelectedBackgroundRole = Qt::UserRole + 3;
constexpr int kSelectedTextRole = Qt::UserRole + 4;

// Draws each node with the picture its image indexes choose from the tree's image list.
class TCheckTreeDelegate : public QStyledItemDelegate {
 public:
  explicit TCheckTreeDelegate(TCheckTreeView *tree) : QStyledItemDelegate(tree), tree_(tree) {}

  void Init(QStyleOptionViewItem *option, const QModelIndex &index) const {
    initStyleOption(option, index);
  }

 protected:
  void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    const bool selected = option->state & QStyle::State_Selected;
    const QVariant back = index.data(kSelectedBackgroundRole);
    if (selected && back.isValid()) {
      for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
        option->palette.setColor(g, QPalette::Highlight, back.value<QColor>());
        option->palette.setColor(g, QPalette::HighlightedText, index.data(kSelectedTextRole).value<QColor>());
      }
    }
    QVariant v = index.data(selected ? kSelectedImageRole : kImageRole);
    const int i = v.isValid() ? v.toInt() : -1;
    const QList<QIcon> &images = tree_->Images();
    if (i >= 0 && i < images.size()) {
      option->icon = images[i];
      option->features |= QStyleOptionViewItem::HasDecoration;
      option->decorationSize = tree_->iconSize().isValid() ? tree_->iconSize() : option->decorationSize;
    }
  }

 private:
  TCheckTreeView *tree_;
};

void Collect(QTreeWidgetItem *node, QList<QTreeWidgetItem *> &out) {
  out.append(node);
  for (int i = 0; i < node->childCount(); ++i) Collect(node->child(i), out);
}

}  // namespace

struct TCheckTreeView::Marks {
  QHash<const QTreeWidgetItem *, bool> checked;
  QHash<const QTreeWidgetItem *, bool> expanded;
};

TCheckTreeView::TCheckTreeView(QWidget *parent) : QTreeWidget(parent) {
  setColumnCount(1);
  setHeaderHidden(true);
  setItemDelegate(new TCheckTreeDelegate(this));
  // Nodes added in any way get their check box.
  connect(model(), &QAbstractItemModel::rowsInserted, this,
          [this](const QModelIndex &parent, int first, int last) {
            if (!checkboxes_) return;
            for (int row = first; row <= last; ++row) {
              QTreeWidgetItem *node = itemFromIndex(model()->index(row, 0, parent));
              if (!node) continue;
              QList<QTreeWidgetItem *> nodes;
              Collect(node, nodes);
              for (QTreeWidgetItem *n : nodes) GiveCheckBox(n);
            }
          });
}

void TCheckTreeView::GiveCheckBox(QTreeWidgetItem *node) {
  if (node->data(0, Qt::CheckStateRole).isValid()) return;
  QSignalBlocker block(this);
  node->setFlags(node->flags() | Qt::ItemIsUserCheckable);
  node->setCheckState(0, Qt::Unchecked);
}

void TCheckTreeView::SetCheckboxes(bool on) {
  if (on == checkboxes_) return;
  checkboxes_ = on;
  QSignalBlocker block(this);
  for (QTreeWidgetItem *node : AllNodes()) {
    if (on) {
      node->setFlags(node->flags() | Qt::ItemIsUserCheckable);
      node->setCheckState(0, Qt::Unchecked);
    } else {
      node->setFlags(node->flags() & ~Qt::ItemIsUserCheckable);
      node->setData(0, Qt::CheckStateRole, QVariant());
    }
  }
  viewport()->update();
}

bool TCheckTreeView::GetChecked(const QTreeWidgetItem *node) const {
  if (!node) return false;
  QVariant v = node->data(0, Qt::CheckStateRole);
  return v.isValid() && v.toInt() == Qt::Checked;
}

void TCheckTreeView::SetNodeChecked(QTreeWidgetItem *node, bool checked) {
  if (!node || !checkboxes_) return;
  node->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
}

QTreeWidgetItem *TCheckTreeView::AddChildObject(QTreeWidgetItem *parent, const std::string &caption,
                                                void *data) {
  auto *node = new QTreeWidgetItem(QStringList(ToQ(caption)));
  SetNodeData(node, data);
  if (parent)
    parent->addChild(node);
  else
    addTopLevelItem(node);
  return node;
}

std::string TCheckTreeView::Caption(const QTreeWidgetItem *node) {
  return node ? FromQ(node->text(0)) : std::string();
}

void TCheckTreeView::SetSelectedColors(QTreeWidgetItem *node, const QColor &background, const QColor &text) {
  node->setData(0, kSelectedBackgroundRole, background);
  node->setData(0, kSelectedTextRole, text);
}

void *TCheckTreeView::NodeData(const QTreeWidgetItem *node) {
  if (!node) return nullptr;
  return reinterpret_cast<void *>(node->data(0, kDataRole).value<quintptr>());
}

void TCheckTreeView::SetNodeData(QTreeWidgetItem *node, void *data) {
  node->setData(0, kDataRole, QVariant::fromValue(reinterpret_cast<quintptr>(data)));
}

void TCheckTreeView::SetImages(const QList<QIcon> &images) {
  images_ = images;
  viewport()->update();
}

void TCheckTreeView::SetNodeImages(QTreeWidgetItem *node, int image_index, int selected_index) {
  node->setData(0, kImageRole, image_index);
  node->setData(0, kSelectedImageRole, selected_index);
}

int TCheckTreeView::ImageIndex(const QTreeWidgetItem *node) {
  QVariant v = node->data(0, kImageRole);
  return v.isValid() ? v.toInt() : -1;
}

int TCheckTreeView::SelectedIndex(const QTreeWidgetItem *node) {
  QVariant v = node->data(0, kSelectedImageRole);
  return v.isValid() ? v.toInt() : -1;
}

QList<QTreeWidgetItem *> TCheckTreeView::AllNodes() const {
  QList<QTreeWidgetItem *> out;
  for (int i = 0; i < topLevelItemCount(); ++i) Collect(topLevelItem(i), out);
  return out;
}

TCheckTreeView::Marks TCheckTreeView::RecordMarks() const {
  Marks marks;
  for (const QTreeWidgetItem *node : AllNodes()) {
    marks.checked.insert(node, GetChecked(node));
    marks.expanded.insert(node, node->isExpanded());
  }
  return marks;
}

// Marks are kept per node rather than per data value: a filler node of the crop tree shares
// its record with another node, and the two may carry different marks.
void TCheckTreeView::RestoreMarks(const Marks &marks) {
  QSignalBlocker block(this);
  for (QTreeWidgetItem *node : AllNodes()) {
    if (checkboxes_) {
      auto c = marks.checked.constFind(node);
      node->setFlags(node->flags() | Qt::ItemIsUserCheckable);
      node->setCheckState(0, c != marks.checked.constEnd() && *c ? Qt::Checked : Qt::Unchecked);
    }
    auto e = marks.expanded.constFind(node);
    if (e != marks.expanded.constEnd() && *e != node->isExpanded()) node->setExpanded(*e);
  }
}

void TCheckTreeView::dropEvent(QDropEvent *event) {
  Marks marks = RecordMarks();
  QTreeWidget::dropEvent(event);
  RestoreMarks(marks);
}

bool TCheckTreeView::MoveTo(QTreeWidgetItem *node, QTreeWidgetItem *destination, TNodeAttachMode mode) {
  if (!node || node->treeWidget() != this) return false;
  for (QTreeWidgetItem *p = destination; p; p = p->parent())
    if (p == node) return false;  // into its own subtree: the subtree would be cut off
  if (destination && destination->treeWidget() != this) return false;

  Marks marks = RecordMarks();
  const bool was_current = currentItem() == node;
  if (QTreeWidgetItem *old_parent = node->parent())
    old_parent->takeChild(old_parent->indexOfChild(node));
  else
    takeTopLevelItem(indexOfTopLevelItem(node));

  QTreeWidgetItem *parent = nullptr;
  int index = 0;
  auto count = [this](QTreeWidgetItem *p) { return p ? p->childCount() : topLevelItemCount(); };
  auto index_of = [this](QTreeWidgetItem *p, QTreeWidgetItem *n) {
    return p ? p->indexOfChild(n) : indexOfTopLevelItem(n);
  };
  switch (mode) {
    case naAdd:
      parent = destination ? destination->parent() : nullptr;
      index = count(parent);
      break;
    case naAddFirst:
      parent = destination ? destination->parent() : nullptr;
      index = 0;
      break;
    case naAddChild:
      parent = destination;
      index = count(parent);
      break;
    case naAddChildFirst:
      parent = destination;
      index = 0;
      break;
    case naInsert:
      parent = destination ? destination->parent() : nullptr;
      index = destination ? index_of(parent, destination) : 0;
      break;
  }
  if (parent)
    parent->insertChild(index, node);
  else
    insertTopLevelItem(index, node);
  RestoreMarks(marks);
  if (was_current) setCurrentItem(node);
  return true;
}

QRect TCheckTreeView::ElementRect(const QTreeWidgetItem *node, QStyle::SubElement element) const {
  if (!node || node->treeWidget() != this) return QRect();
  QModelIndex index = indexFromItem(node, 0);
  QRect cell = visualRect(index);
  if (!cell.isValid()) return QRect();
  QStyleOptionViewItem opt;
  initViewItemOption(&opt);
  opt.rect = cell;
  if (selectionModel() && selectionModel()->isSelected(index)) opt.state |= QStyle::State_Selected;
  static_cast<const TCheckTreeDelegate *>(itemDelegate())->Init(&opt, index);
  if (element == QStyle::SE_ItemViewItemCheckIndicator &&
      !(opt.features & QStyleOptionViewItem::HasCheckIndicator))
    return QRect();
  if (element == QStyle::SE_ItemViewItemDecoration && !(opt.features & QStyleOptionViewItem::HasDecoration))
    return QRect();
  QRect r = style()->subElementRect(element, &opt, this);
  if (element == QStyle::SE_ItemViewItemText) {
    // Only the text itself, not the rest of the row.
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    r.setWidth(qMin(r.width(), opt.fontMetrics.horizontalAdvance(opt.text) + 2 * margin));
  }
  return r;
}

QRect TCheckTreeView::StateIconRect(const QTreeWidgetItem *node) const {
  return ElementRect(node, QStyle::SE_ItemViewItemCheckIndicator);
}

QRect TCheckTreeView::IconRect(const QTreeWidgetItem *node) const {
  return ElementRect(node, QStyle::SE_ItemViewItemDecoration);
}

QRect TCheckTreeView::LabelRect(const QTreeWidgetItem *node) const {
  return ElementRect(node, QStyle::SE_ItemViewItemText);
}

THitTests TCheckTreeView::GetHitTestInfoAt(const QPoint &pos) const {
  QModelIndex index = indexAt(pos);
  if (!index.isValid()) return htNowhere;
  const QTreeWidgetItem *node = itemFromIndex(index);
  QRect cell = visualRect(index);
  if (pos.x() < cell.left()) {
    const bool on_button = node->childCount() > 0 && pos.x() >= cell.left() - indentation();
    return on_button ? THitTests(htOnButton) : THitTests(htOnIndent);
  }
  if (StateIconRect(node).contains(pos)) return htOnStateIcon;
  if (IconRect(node).contains(pos)) return htOnIcon;
  if (LabelRect(node).contains(pos)) return htOnLabel;
  return htOnRight;
}
