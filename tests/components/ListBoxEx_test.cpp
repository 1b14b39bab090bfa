// Item hints of the list boxes and the check count.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QHelpEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "components/CheckListBoxEx.h"
#include "components/ListBoxEx.h"
#include "components/QtServices.h"
#include "components/qtext.h"
#include "platform/cp932.h"

namespace {

std::string S(const char *utf8) { return cp932::FromUtf8(utf8); }

void Hover(TTextListBox &list, QPoint pos) {
  QHelpEvent e(QEvent::ToolTip, pos, list.viewport()->mapToGlobal(pos));
  QApplication::sendEvent(list.viewport(), &e);
}

}  // namespace

TEST(ListBoxHints, AClippedItemShowsItsFullTextOverTheItem) {
  struct Case {
    TTextListBox *list;
    QPoint offset;
    int extra_height;
  };
  TCheckListBoxEx check;
  TListBoxEx plain;
  for (const Case &c : {Case{&check, QPoint(9, -3), 2}, Case{&plain, QPoint(-1, -3), 0}}) {
    TTextListBox &list = *c.list;
    list.resize(120, 200);
    list.AddItem(S("だいこん"));
    list.AddItem(S("かんきつ（みかんを除く）の果樹類全般に登録された長い名前"));
    list.show();
    const int h = list.ItemHeight();

    Hover(list, QPoint(5, h / 2));
    EXPECT_EQ(list.HintWindow(), nullptr) << "an item that fits shows no hint";

    Hover(list, QPoint(5, h + h / 2));
    TListBoxHintWindow *hint = list.HintWindow();
    ASSERT_NE(hint, nullptr);
    EXPECT_EQ(FromQ(hint->HintText()), list.Item(1));
    EXPECT_EQ(hint->geometry().topLeft(), list.viewport()->mapToGlobal(QPoint(0, h) + c.offset));
    QFontMetrics fm(list.font());
    EXPECT_EQ(hint->width(), fm.horizontalAdvance(hint->HintText()) + 5);
    EXPECT_EQ(hint->height(), fm.height() + c.extra_height);

    Hover(list, QPoint(5, 5 * h));
    EXPECT_EQ(list.HintWindow(), nullptr) << "below the last item no hint";

    list.SetShowHint(false);
    Hover(list, QPoint(5, h + h / 2));
    EXPECT_EQ(list.HintWindow(), nullptr);
  }
}

TEST(ListBoxHints, TheItemUnderTheMouseCountsFromTheTopIndex) {
  TListBoxEx list;
  list.resize(80, 100);
  for (int i = 0; i < 30; ++i) list.AddItem(S("とても長い作物名の項目") + std::to_string(i));
  list.show();
  list.scrollToItem(list.item(20), QAbstractItemView::PositionAtTop);
  const int top = list.TopIndex(), h = list.ItemHeight();
  ASSERT_GT(top, 0);
  Hover(list, QPoint(5, h + 1));
  ASSERT_NE(list.HintWindow(), nullptr);
  EXPECT_EQ(FromQ(list.HintWindow()->HintText()), list.Item(top + 1));
  EXPECT_EQ(list.HintWindow()->geometry().topLeft(), list.viewport()->mapToGlobal(QPoint(-1, h - 3)));
}

TEST(ListBoxHints, CheckCountCountsEveryCheckedItem) {
  TCheckListBoxEx list;
  EXPECT_EQ(list.CheckCount(), 0);
  for (const char *s : {"a", "b", "c", "d"}) list.AddItem(s);
  list.SetChecked(0, true);
  list.SetChecked(3, true);
  list.SetChecked(3, true);
  EXPECT_EQ(list.CheckCount(), 2);
  list.SetChecked(0, false);
  EXPECT_EQ(list.CheckCount(), 1);
  EXPECT_TRUE(list.Checked(3));
  EXPECT_EQ(list.IndexOf("c"), 2);
}

TEST(QtServices, BusyCursorNestsOnTheOverrideCursor) {
  TQtUiServices qt;
  SetUiServices(&qt);
  {
    TBusyCursor outer;
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    { TBusyCursor inner; }
    EXPECT_NE(QApplication::overrideCursor(), nullptr);
  }
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  qt.EndBusy();  // an unmatched end changes nothing
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  SetUiServices(nullptr);
}

TEST(QtServices, MessageBoxStylesGiveTheirButtonsAndAnswers) {
  struct Case {
    unsigned flags;
    QMessageBox::StandardButton expected_default;
    QMessageBox::StandardButton press;  // NoButton: closed with Escape
    int answer;
  } cases[] = {
      {MB_OK | MB_ICONERROR, QMessageBox::Ok, QMessageBox::Ok, IDOK},
      {MB_YESNO | MB_DEFBUTTON2, QMessageBox::No, QMessageBox::Yes, IDYES},
      {MB_YESNOCANCEL | MB_ICONQUESTION, QMessageBox::Yes, QMessageBox::NoButton, IDCANCEL},
      {MB_OKCANCEL | MB_DEFBUTTON2, QMessageBox::Cancel, QMessageBox::Ok, IDOK},
      {MB_ABORTRETRYIGNORE | MB_DEFBUTTON3, QMessageBox::Ignore, QMessageBox::Retry, IDRETRY},
      {MB_YESNO, QMessageBox::Yes, QMessageBox::NoButton, IDNO},
  };
  TQtUiServices qt;
  for (const Case &c : cases) {
    QString seen_text;
    QMessageBox::StandardButton seen_default = QMessageBox::NoButton;
    QTimer::singleShot(0, [&] {
      auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
      if (!box) return;
      seen_text = box->text();
      seen_default = box->standardButton(box->defaultButton());
      if (c.press == QMessageBox::NoButton)
        box->reject();
      else
        box->button(c.press)->click();
    });
    EXPECT_EQ(qt.MessageBox(S("一行目\r\n二行目"), S("確認"), c.flags), c.answer) << c.flags;
    EXPECT_EQ(seen_text, QString::fromUtf8("一行目\n二行目"));
    EXPECT_EQ(seen_default, c.expected_default) << c.flags;
  }
}
