// A panel that hosts an existing window as a borderless child filling the panel: the main
// window's fixed-procedure tab shows the fixed-procedure window in one. A hosted main window
// lends the menus of its menu bar to the menu bar of the window the panel sits in while it
// is hosted. Looked up by name or caption, the last window made that answers is hosted.
#pragma once

#include <QFrame>
#include <QList>
#include <QPointer>
#include <string>

class QAction;
class QMenuBar;

class TFormPanel : public QFrame {
  Q_OBJECT
  Q_PROPERTY(QString FormName READ FormNameQ WRITE SetFormNameQ)
  Q_PROPERTY(QString FormCaption READ FormCaptionQ WRITE SetFormCaptionQ)

 public:
  explicit TFormPanel(QWidget *parent = nullptr);
  ~TFormPanel() override;

  // The hosted window (nullptr when none, or when it has been destroyed).
  QWidget *Form() const { return form_; }
  // Hosts the window in place of the current one, which gets its own frame back;
  // nullptr only releases the current one.
  void SetForm(QWidget *form);

  // Host the window with this object name / this caption (program text). While the panel
  // has not been painted yet, a window that does not exist yet is looked for again at the
  // first paint.
  std::string FormName() const;
  void SetFormName(const std::string &name);
  std::string FormCaption() const;
  void SetFormCaption(const std::string &caption);

 protected:
  void paintEvent(QPaintEvent *e) override;
  void resizeEvent(QResizeEvent *e) override;

 private:
  QString FormNameQ() const;
  void SetFormNameQ(const QString &name);
  QString FormCaptionQ() const;
  void SetFormCaptionQ(const QString &caption);
  void SetByName(const QString &name, bool by_caption);
  QMenuBar *AutoMergeMenu() const;
  void Release();
  void PlaceForm();

  QPointer<QWidget> form_;
  QString name_;
  QString caption_;
  bool loading_ = true;
  bool pending_ = false;
  // The hosted window's own frame, put back when it is released.
  QPointer<QWidget> saved_parent_;
  Qt::WindowFlags saved_flags_;
  QRect saved_geometry_;
  bool saved_menu_visible_ = false;
  QList<QPointer<QAction>> merged_;
};
