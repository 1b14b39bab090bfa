#include "components/FormPnl.h"

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QPointer>
#include <vector>

#include "components/qtext.h"

namespace {

const char kHostedProperty[] = "qmHostedForm";

// The windows of the program in the order they were made, as the screen's form list
// keeps them: a panel looking a window up by name or caption takes the last one made.
// Every widget announces its making with a Create event, which this filter on the
// application sees; windows are listed then.
class TFormList : public QObject {
 public:
  static TFormList &Instance() {
    static TFormList *list = [] {
      auto *l = new TFormList(QCoreApplication::instance());
      QCoreApplication::instance()->installEventFilter(l);
      return l;
    }();
    return *list;
  }
  const std::vector<QPointer<QWidget>> &Forms() {
    std::erase_if(forms_, [](const QPointer<QWidget> &w) { return w.isNull(); });
    return forms_;
  }

 protected:
  bool eventFilter(QObject *o, QEvent *e) override {
    if (e->type() == QEvent::Create && o->isWidgetType() && static_cast<QWidget *>(o)->isWindow())
      forms_.emplace_back(static_cast<QWidget *>(o));
    return false;
  }

 private:
  using QObject::QObject;
  std::vector<QPointer<QWidget>> forms_;
};

// The list starts with the application, before the first window is made.
void StartFormList() { TFormList::Instance(); }
Q_COREAPP_STARTUP_FUNCTION(StartFormList)

bool IsAncestorOrSelf(const QWidget *w, const QWidget *of) {
  for (const QWidget *p = of; p; p = p->parentWidget())
    if (p == w) return true;
  return false;
}

}  // namespace

TFormPanel::TFormPanel(QWidget *parent) : QFrame(parent) {}

TFormPanel::~TFormPanel() { Release(); }

// A hosted window shows no menu bar of its own, so its menus always merge into the owner's
// (made for them when the owner has none): there is no auto-merge switch on a menu bar here.
QMenuBar *TFormPanel::AutoMergeMenu() const {
  auto *main = qobject_cast<QMainWindow *>(form_.data());
  auto *bar = main ? qobject_cast<QMenuBar *>(main->menuWidget()) : nullptr;
  return bar && !bar->actions().isEmpty() ? bar : nullptr;
}

void TFormPanel::Release() {
  if (!form_) {
    merged_.clear();
    return;
  }
  QWidget *form = form_;
  form->hide();
  auto *owner = qobject_cast<QMainWindow *>(window());
  if (owner && owner->menuWidget())
    if (auto *owner_bar = qobject_cast<QMenuBar *>(owner->menuWidget()))
      for (const QPointer<QAction> &a : merged_)
        if (a) owner_bar->removeAction(a);
  merged_.clear();
  if (auto *main = qobject_cast<QMainWindow *>(form))
    if (QWidget *bar = main->menuWidget()) bar->setVisible(saved_menu_visible_);
  form->setProperty(kHostedProperty, false);
  form->setParent(saved_parent_, saved_flags_);
  form->setGeometry(saved_geometry_);
  form_ = nullptr;
}

void TFormPanel::SetForm(QWidget *form) {
  if (form == form_) return;
  // The panel cannot hold the window it sits in.
  if (form && IsAncestorOrSelf(form, this)) return;
  const bool updates = updatesEnabled();
  setUpdatesEnabled(false);
  Release();
  form_ = form;
  if (!form) {
    caption_.clear();
    setUpdatesEnabled(updates);
    return;
  }
  // A window hosted by another panel leaves it first.
  if (form->property(kHostedProperty).toBool())
    if (auto *other = qobject_cast<TFormPanel *>(form->parentWidget())) {
      other->SetForm(nullptr);
      form_ = form;
    }
  saved_parent_ = form->parentWidget();
  saved_flags_ = form->windowFlags();
  saved_geometry_ = form->geometry();
  auto *main = qobject_cast<QMainWindow *>(form);
  QWidget *bar = main ? main->menuWidget() : nullptr;
  saved_menu_visible_ = bar && !bar->isHidden();
  QMenuBar *merge = AutoMergeMenu();
  form->setParent(this, Qt::Widget);
  form->setProperty(kHostedProperty, true);
  if (bar) bar->hide();
  if (merge) {
    auto *owner = qobject_cast<QMainWindow *>(window());
    if (owner)
      for (QAction *a : merge->actions()) {
        owner->menuBar()->addAction(a);
        merged_.append(a);
      }
  }
  PlaceForm();
  form->show();
  setUpdatesEnabled(updates);
}

void TFormPanel::PlaceForm() {
  if (form_) form_->setGeometry(contentsRect());
}

void TFormPanel::resizeEvent(QResizeEvent *e) {
  QFrame::resizeEvent(e);
  PlaceForm();
}

void TFormPanel::SetByName(const QString &text, bool by_caption) {
  QWidget *found = nullptr;
  if (!text.isEmpty()) {
    const std::vector<QPointer<QWidget>> &forms = TFormList::Instance().Forms();
    for (auto it = forms.rbegin(); it != forms.rend() && !found; ++it) {
      QWidget *w = *it;
      if (!w->isWindow() && !w->property(kHostedProperty).toBool()) continue;
      if ((by_caption ? w->windowTitle() : w->objectName()) != text) continue;
      if (!IsAncestorOrSelf(w, this)) found = w;
    }
  }
  if (!found && loading_) {
    pending_ = true;
    return;
  }
  SetForm(found);
}

std::string TFormPanel::FormName() const { return FromQ(FormNameQ()); }
void TFormPanel::SetFormName(const std::string &name) { SetFormNameQ(ToQ(name)); }
std::string TFormPanel::FormCaption() const { return FromQ(FormCaptionQ()); }
void TFormPanel::SetFormCaption(const std::string &caption) { SetFormCaptionQ(ToQ(caption)); }

QString TFormPanel::FormNameQ() const { return form_ ? form_->objectName() : name_; }

void TFormPanel::SetFormNameQ(const QString &name) {
  name_ = name;
  if (!name.isEmpty()) caption_.clear();
  SetByName(name, false);
}

QString TFormPanel::FormCaptionQ() const { return form_ ? form_->windowTitle() : caption_; }

void TFormPanel::SetFormCaptionQ(const QString &caption) {
  caption_ = caption;
  if (!caption.isEmpty()) name_.clear();
  SetByName(caption, true);
}

void TFormPanel::paintEvent(QPaintEvent *e) {
  loading_ = false;
  if (pending_) {
    pending_ = false;
    if (!caption_.isEmpty())
      SetByName(caption_, true);
    else if (!name_.isEmpty())
      SetByName(name_, false);
  }
  QFrame::paintEvent(e);
}
