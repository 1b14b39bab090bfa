// The crop tree: a tree view with a check box on every node that keeps each node's check
// mark when nodes are dragged or moved. Each node carries a data pointer (the record it
// shows), an image index and a selected-image index into the tree's image list.
#pragma once

#include <QFlags>
#include <QIcon>
#include <QList>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <string>

// Where MoveTo puts a node relative to its destination.
enum TNodeAttachMode {
  naAdd,            // last sibling of the destination (last top-level node without one)
  naAddFirst,       // first sibling of the destination
  naAddChild,       // last child of the destination
  naAddChildFirst,  // first child of the destination
  naInsert,         // sibling just before the destination
};

// What lies under a point of the tree.
enum THitTest {
  htNowhere = 0x0,
  htOnButton = 0x1,     // the expand/collapse mark
  htOnIndent = 0x2,     // left of the node, inside its indentation
  htOnStateIcon = 0x4,  // the check box
  htOnIcon = 0x8,
  htOnLabel = 0x10,
  htOnRight = 0x20,  // right of the label on the node's row
};
Q_DECLARE_FLAGS(THitTests, THitTest)
Q_DECLARE_OPERATORS_FOR_FLAGS(THitTests)

class TCheckTreeView : public QTreeWidget {
  Q_OBJECT
  Q_PROPERTY(bool Checkboxes READ Checkboxes WRITE SetCheckboxes)

 public:
  explicit TCheckTreeView(QWidget *parent = nullptr);

  // Check boxes on every node (the default). Switching them off removes the boxes; switching
  // them on again gives every node an unchecked box.
  bool Checkboxes() const { return checkboxes_; }
  void SetCheckboxes(bool on);

  // False for nullptr and for a node without a check box.
  bool GetChecked(const QTreeWidgetItem *node) const;
  void SetNodeChecked(QTreeWidgetItem *node, bool checked);

  // A new node with the caption (program text) and data, as the last child of parent
  // (a top-level node when parent is nullptr).
  QTreeWidgetItem *AddChildObject(QTreeWidgetItem *parent, const std::string &caption, void *data);
  static std::string Caption(const QTreeWidgetItem *node);
  static void *NodeData(const QTreeWidgetItem *node);
  static void SetNodeData(QTreeWidgetItem *node, void *data);

  // The image list; ImageIndex / SelectedIndex pick the node's picture in its normal and its
  // selected state (-1: none).
  void SetImages(const QList<QIcon> &images);
  const QList<QIcon> &Images() const { return images_; }
  void SetNodeImages(QTreeWidgetItem *node, int image_index, int selected_index);
  // The colours a node is drawn in while selected, in place of the highlight colours.
  static void SetSelectedColors(QTreeWidgetItem *node, const QColor &background, const QColor &text);
  static int ImageIndex(const QTreeWidgetItem *node);
  static int SelectedIndex(const QTreeWidgetItem *node);

  // Every node in index order: each node followed by its descendants.
  QList<QTreeWidgetItem *> AllNodes() const;

  // Moves the node (with its descendants) next to or below the destination, keeping the
  // check marks and the node's expanded state. A move into the node's own subtree is refused.
  bool MoveTo(QTreeWidgetItem *node, QTreeWidgetItem *destination, TNodeAttachMode mode);

  THitTests GetHitTestInfoAt(const QPoint &viewport_pos) const;
  // The check box, icon and label rectangles of a node, in viewport coordinates.
  QRect StateIconRect(const QTreeWidgetItem *node) const;
  QRect IconRect(const QTreeWidgetItem *node) const;
  QRect LabelRect(const QTreeWidgetItem *node) const;

 protected:
  void dropEvent(QDropEvent *event) override;

 private:
  struct Marks;
  Marks RecordMarks() const;
  void RestoreMarks(const Marks &marks);
  void GiveCheckBox(QTreeWidgetItem *node);
  QRect ElementRect(const QTreeWidgetItem *node, QStyle::SubElement element) const;

  bool checkboxes_ = true;
  QList<QIcon> images_;
};
