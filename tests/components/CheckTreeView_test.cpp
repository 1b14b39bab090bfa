// The check tree: check boxes on every node, marks kept across moves, hit tests.
#include <gtest/gtest.h>

#include <QPixmap>
#include <QTest>

#include "components/CheckTreeView.h"
#include "components/qtext.h"

namespace {

// A(checked) { A1, A2(checked, with child A21) }, B { B1(checked) }
struct Tree {
  TCheckTreeView view;
  QTreeWidgetItem *a, *a1, *a2, *a21, *b, *b1;
  int data[6] = {1, 2, 3, 4, 5, 6};
  Tree() {
    a = view.AddChildObject(nullptr, "A", &data[0]);
    a1 = view.AddChildObject(a, "A1", &data[1]);
    a2 = view.AddChildObject(a, "A2", &data[2]);
    a21 = view.AddChildObject(a2, "A21", &data[3]);
    b = view.AddChildObject(nullptr, "B", &data[4]);
    b1 = view.AddChildObject(b, "B1", &data[5]);
    for (QTreeWidgetItem *n : {a, a2, b1}) view.SetNodeChecked(n, true);
  }
  // "caption+" for a checked node, in index order.
  std::string Marks() {
    std::string s;
    for (QTreeWidgetItem *n : view.AllNodes())
      s += TCheckTreeView::Caption(n) + (view.GetChecked(n) ? "+" : "") + " ";
    return s;
  }
};

}  // namespace

TEST(CheckTreeView, EveryNodeHasABoxUnlessBoxesAreOff) {
  Tree t;
  auto *plain = new QTreeWidgetItem(t.b, QStringList("B2"));  // added without the helper
  EXPECT_EQ(plain->data(0, Qt::CheckStateRole).toInt(), Qt::Unchecked);
  EXPECT_EQ(t.Marks(), "A+ A1 A2+ A21 B B1+ B2 ");
  EXPECT_FALSE(t.view.GetChecked(nullptr));
  EXPECT_EQ(TCheckTreeView::NodeData(t.a21), &t.data[3]);

  t.view.SetCheckboxes(false);
  EXPECT_FALSE(t.a->data(0, Qt::CheckStateRole).isValid()) << "no box is drawn";
  EXPECT_EQ(t.Marks(), "A A1 A2 A21 B B1 B2 ");
  t.view.SetNodeChecked(t.a1, true);
  t.view.AddChildObject(t.b, "B3", nullptr);
  EXPECT_EQ(t.Marks(), "A A1 A2 A21 B B1 B2 B3 ");

  t.view.SetCheckboxes(true);
  EXPECT_EQ(t.Marks(), "A A1 A2 A21 B B1 B2 B3 ") << "boxes come back unchecked";
  t.view.SetNodeChecked(t.b, true);
  EXPECT_EQ(t.Marks(), "A A1 A2 A21 B+ B1 B2 B3 ");
}

TEST(CheckTreeView, MovingNodesKeepsTheirMarks) {
  struct Case {
    const char *what;
    int node, dest;  // indexes into a, a1, a2, a21, b, b1; -1 for none
    TNodeAttachMode mode;
    const char *expected;
  };
  const Case cases[] = {
      {"subtree as last child", 2, 4, naAddChild, "A+ A1 B B1+ A2+ A21 "},
      {"subtree as first child", 2, 4, naAddChildFirst, "A+ A1 B A2+ A21 B1+ "},
      {"before a node", 5, 1, naInsert, "A+ B1+ A1 A2+ A21 B "},
      {"last sibling", 1, 5, naAdd, "A+ A2+ A21 B B1+ A1 "},
      {"first sibling", 5, 0, naAddFirst, "B1+ A+ A1 A2+ A21 B "},
      {"to the top level", 3, -1, naAdd, "A+ A1 A2+ B B1+ A21 "},
      {"within its own parent", 1, 3, naInsert, "A+ A2+ A1 A21 B B1+ "},
  };
  for (const Case &c : cases) {
    Tree t;
    QTreeWidgetItem *nodes[] = {t.a, t.a1, t.a2, t.a21, t.b, t.b1};
    t.view.setCurrentItem(nodes[c.node]);
    EXPECT_TRUE(t.view.MoveTo(nodes[c.node], c.dest < 0 ? nullptr : nodes[c.dest], c.mode)) << c.what;
    EXPECT_EQ(t.Marks(), c.expected) << c.what;
    EXPECT_EQ(t.view.currentItem(), nodes[c.node]) << c.what;
  }
}

TEST(CheckTreeView, MarksFollowTheNodeNotItsDataAndSubtreesCannotSwallowThemselves) {
  Tree t;
  // Two nodes sharing one record (as a filler node and its record's own node do).
  TCheckTreeView::SetNodeData(t.b, &t.data[0]);
  t.a2->setExpanded(true);
  t.view.show();
  ASSERT_TRUE(t.view.MoveTo(t.a2, t.b, naAddChild));
  EXPECT_EQ(t.Marks(), "A+ A1 B B1+ A2+ A21 ");
  EXPECT_TRUE(t.a2->isExpanded()) << "the moved node stays open";

  EXPECT_FALSE(t.view.MoveTo(t.b, t.a21, naAddChild)) << "into its own subtree";
  EXPECT_FALSE(t.view.MoveTo(t.b, t.b, naInsert));
  EXPECT_EQ(t.Marks(), "A+ A1 B B1+ A2+ A21 ");
}

TEST(CheckTreeView, HitTestsFindTheBoxIconAndLabel) {
  Tree t;
  QPixmap pm(16, 16);
  pm.fill(Qt::darkGreen);
  t.view.SetImages({QIcon(pm), QIcon(pm)});
  t.view.SetNodeImages(t.a, 0, 1);
  t.view.resize(300, 200);
  t.view.show();
  QRect box = t.view.StateIconRect(t.a);
  QRect label = t.view.LabelRect(t.a);
  ASSERT_TRUE(box.isValid());
  ASSERT_TRUE(label.isValid());
  EXPECT_LT(box.right(), label.left());
  EXPECT_EQ(t.view.GetHitTestInfoAt(box.center()), THitTests(htOnStateIcon));
  EXPECT_EQ(t.view.GetHitTestInfoAt(label.center()), THitTests(htOnLabel));
  QRect icon = t.view.IconRect(t.a);
  EXPECT_TRUE(icon.left() > box.right() && icon.right() < label.left())
      << "the image sits between the box and the label";
  EXPECT_EQ(t.view.GetHitTestInfoAt(icon.center()), THitTests(htOnIcon));
  EXPECT_FALSE(t.view.IconRect(t.a1).isValid()) << "a node without an image has none";
  EXPECT_EQ(t.view.GetHitTestInfoAt(QPoint(290, label.center().y())), THitTests(htOnRight));
  EXPECT_EQ(t.view.GetHitTestInfoAt(QPoint(5, 190)), THitTests(htNowhere));

  // The rectangle is where the view itself takes a click on the box.
  QTest::mouseClick(t.view.viewport(), Qt::LeftButton, {}, t.view.StateIconRect(t.b).center());
  EXPECT_TRUE(t.view.GetChecked(t.b));
  QTest::mouseClick(t.view.viewport(), Qt::LeftButton, {}, t.view.LabelRect(t.a).center());
  EXPECT_TRUE(t.view.GetChecked(t.a)) << "a click on the label leaves the mark";
}
