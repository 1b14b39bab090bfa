// The read-only report window: a title line, a multi-line text, and buttons to close it
// and to copy the whole text. It has no owner and frees itself when it closes, so a
// caller creates it, fills it, shows it and forgets it.
#pragma once

#include <QDialog>
#include <memory>
#include <string>

namespace Ui {
class TDlgMemo;
}

class TDlgMemo : public QDialog {
  Q_OBJECT

 public:
  explicit TDlgMemo(QWidget *parent = nullptr);
  ~TDlgMemo() override;

  void SetTitle(const std::string &title);    // program text
  void SetMessage(const std::string &text);   // program text, lines ending CR LF
  std::string Message() const;

  // Creates the dialog with the caption, title line and text, and shows it modally.
  static void Report(const std::string &caption, const std::string &title, const std::string &text);
  // Tests: show reports without waiting for the modal loop (the dialog stays open).
  static bool Modeless;

  void Button1Click();
  void btnCopyAllClick();

 protected:
  void closeEvent(QCloseEvent *e) override;
  void resizeEvent(QResizeEvent *e) override;

 private:
  std::unique_ptr<Ui::TDlgMemo> ui;
};
