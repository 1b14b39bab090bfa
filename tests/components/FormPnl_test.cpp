// The form panel hosting a window, and the tool bar's swallowed event.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QVBoxLayout>
#include <memory>
#include <vector>

#include "components/ComCtrlsXP.h"
#include "components/FormPnl.h"

namespace {

struct Host {
  QMainWindow main;
  TFormPanel *panel;
  Host() {
    main.setWindowTitle("Quillmar");
    main.menuBar()->addMenu("File");
    panel = new TFormPanel;
    panel->setFrameStyle(QFrame::Box | QFrame::Plain);
    panel->setLineWidth(2);
    main.setCentralWidget(panel);
    main.resize(400, 300);
  }
};

QStringList MenuTitles(QMenuBar *bar) {
  QStringList out;
  for (QAction *a : bar->actions()) out << a->text();
  return out;
}

}  // namespace

TEST(FormPanel, HostsAWindowAndGivesItsFrameBack) {
  Host h;
  auto form = std::make_unique<QMainWindow>();
  form->setObjectName("frmTemplate");
  form->setWindowTitle("Template");
  form->menuBar()->addMenu("Tpl");
  form->setGeometry(50, 60, 200, 100);
  h.main.show();

  h.panel->SetForm(form.get());
  EXPECT_EQ(form->parentWidget(), h.panel);
  EXPECT_FALSE(form->isWindow());
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(form->geometry(), h.panel->contentsRect());
  EXPECT_EQ(form->geometry().topLeft(), QPoint(2, 2));
  EXPECT_TRUE(form->menuBar()->isHidden());
  EXPECT_EQ(MenuTitles(h.main.menuBar()), QStringList({"File", "Tpl"}));
  EXPECT_EQ(h.panel->FormName(), "frmTemplate");
  EXPECT_EQ(h.panel->FormCaption(), "Template");
  h.panel->resize(300, 150);
  EXPECT_EQ(form->geometry(), h.panel->contentsRect());

  h.panel->SetForm(nullptr);
  EXPECT_TRUE(form->isWindow());
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(form->geometry(), QRect(50, 60, 200, 100));
  EXPECT_FALSE(form->menuBar()->isHidden());
  EXPECT_EQ(MenuTitles(h.main.menuBar()), QStringList({"File"}));
  EXPECT_EQ(h.panel->Form(), nullptr);

  h.panel->SetForm(&h.main);
  EXPECT_EQ(h.panel->Form(), nullptr) << "the window it sits in cannot be hosted";
}

TEST(FormPanel, AWindowNamedBeforeItExistsIsHostedAtTheFirstPaint) {
  Host h;
  h.panel->SetFormCaption("Later");
  EXPECT_EQ(h.panel->Form(), nullptr);
  EXPECT_EQ(h.panel->FormCaption(), "Later");
  auto form = std::make_unique<QWidget>();
  form->setWindowTitle("Later");
  h.main.show();
  h.panel->grab();
  EXPECT_EQ(h.panel->Form(), form.get());

  // After the first paint a name that matches no window releases the hosted one.
  h.panel->SetFormName("nothing");
  EXPECT_EQ(h.panel->Form(), nullptr);
  EXPECT_TRUE(form->isWindow());
  EXPECT_EQ(h.panel->FormName(), "nothing");
  EXPECT_EQ(h.panel->FormCaption(), "");

  form->setObjectName("frmLater");
  h.panel->SetFormName("frmLater");
  EXPECT_EQ(h.panel->Form(), form.get());
  form.reset();
  EXPECT_EQ(h.panel->Form(), nullptr) << "a destroyed window no longer counts";
}

TEST(FormPanel, OfWindowsAnsweringAlikeTheLastMadeIsHosted) {
  Host h;
  std::vector<std::unique_ptr<QWidget>> forms;
  for (int i = 0; i < 5; ++i) {
    forms.push_back(std::make_unique<QWidget>());
    forms.back()->setObjectName("frmTemplate");
    forms.back()->setWindowTitle("Template");
  }
  h.main.show();
  h.panel->grab();
  h.panel->SetFormName("frmTemplate");
  EXPECT_EQ(h.panel->Form(), forms[4].get());
  h.panel->SetFormCaption("Template");
  EXPECT_EQ(h.panel->Form(), forms[4].get()) << "the hosted window is still the last one made";
  forms[4].reset();
  h.panel->SetFormCaption("Template");
  EXPECT_EQ(h.panel->Form(), forms[3].get());
  // A window without menus adds none; one with menus lends them to a menu-less owner.
  QMainWindow bare;
  auto *panel = new TFormPanel;
  bare.setCentralWidget(panel);
  QMainWindow withMenu;
  withMenu.menuBar()->addMenu("Tpl");
  panel->SetForm(forms[0].get());
  EXPECT_TRUE(MenuTitles(bare.menuBar()).isEmpty());
  panel->SetForm(&withMenu);
  EXPECT_EQ(MenuTitles(bare.menuBar()), QStringList({"Tpl"}));
  panel->SetForm(nullptr);
  EXPECT_TRUE(MenuTitles(bare.menuBar()).isEmpty());
}

TEST(FormPanel, DestroyingThePanelLeavesTheWindowAlive) {
  auto form = std::make_unique<QWidget>();
  {
    Host h;
    h.panel->SetForm(form.get());
    ASSERT_EQ(form->parentWidget(), h.panel);
  }
  EXPECT_TRUE(form->isWindow());
  EXPECT_EQ(form->parentWidget(), nullptr);
}

namespace {
struct CountingBar : TXPToolBar {
  std::vector<int> seen;
  void customEvent(QEvent *e) override { seen.push_back(e->type()); }
};
}  // namespace

TEST(XPToolBar, SwallowsEvent0x900Only) {
  CountingBar bar;
  QEvent dropped(TXPToolBar::kDroppedEvent);
  QEvent other(static_cast<QEvent::Type>(0x901));
  QApplication::sendEvent(&bar, &dropped);
  QApplication::sendEvent(&bar, &other);
  EXPECT_EQ(bar.seen, std::vector<int>({0x901}));
}
