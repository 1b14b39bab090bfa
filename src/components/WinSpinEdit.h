// A numeric edit with an up-down button and a 64-bit value range: the status bar's
// lines-per-cell edit and the numeric edits of the settings dialog.
#pragma once

#include <QLineEdit>
#include <QToolButton>
#include <QWidget>
#include <cstdint>

// Up and down steps of the spin edit.
enum TUDBtnType { btNext, btPrev };

// The up-down button pair on the right edge of the spin edit.
class TUpDown : public QWidget {
  Q_OBJECT

 public:
  explicit TUpDown(QWidget *parent = nullptr);
  QToolButton *UpButton() const { return up_; }
  QToolButton *DownButton() const { return down_; }

 signals:
  void Click(TUDBtnType button);

 protected:
  void resizeEvent(QResizeEvent *e) override;

 private:
  QToolButton *up_;
  QToolButton *down_;
};

class TWinSpinEdit : public QLineEdit {
  Q_OBJECT
  Q_PROPERTY(qint64 MinValue READ MinValue WRITE SetMinValue)
  Q_PROPERTY(qint64 MaxValue READ MaxValue WRITE SetMaxValue)
  Q_PROPERTY(qint64 Increment READ Increment WRITE SetIncrement)
  Q_PROPERTY(qint64 Value READ Value WRITE SetValue)
  Q_PROPERTY(bool EditorEnabled READ EditorEnabled WRITE SetEditorEnabled)
  Q_PROPERTY(bool AutoSelect READ AutoSelect WRITE SetAutoSelect)

 public:
  static constexpr int kUpDownWidth = 15;

  explicit TWinSpinEdit(QWidget *parent = nullptr);

  // The range; equal limits (the default 0 and 0) mean no range.
  qint64 MinValue() const { return min_; }
  void SetMinValue(qint64 v) { min_ = v; }
  qint64 MaxValue() const { return max_; }
  void SetMaxValue(qint64 v) { max_ = v; }
  qint64 Increment() const { return increment_; }
  void SetIncrement(qint64 v) { increment_ = v; }
  // The text as a number. Text that is no number is replaced by MinValue, which is returned.
  qint64 Value();
  void SetValue(qint64 v);
  // Off: the value changes only by stepping; nothing can be typed, pasted or cut.
  bool EditorEnabled() const { return editor_enabled_; }
  void SetEditorEnabled(bool on) { editor_enabled_ = on; }
  bool AutoSelect() const { return auto_select_; }
  void SetAutoSelect(bool on) { auto_select_ = on; }

  // The value pulled into the range (unchanged when there is none).
  qint64 CheckValue(qint64 v) const;
  // Signs, digits, the decimal separator and control characters other than Enter; with the
  // editor disabled no Backspace and no printable character.
  virtual bool IsValidChar(char32_t c) const;
  // One step up or down from the current value, kept in the range; a beep when read-only.
  virtual void Step(TUDBtnType button);

  TUpDown *Button() const { return button_; }
  // The least height that shows the text whole: the font's text height, a quarter of the
  // smaller of it and the system font's height, four border heights and 2.
  int MinHeight() const;

 protected:
  virtual void Beep();
  void keyPressEvent(QKeyEvent *e) override;
  void focusInEvent(QFocusEvent *e) override;
  void focusOutEvent(QFocusEvent *e) override;
  void resizeEvent(QResizeEvent *e) override;
  void changeEvent(QEvent *e) override;
  void contextMenuEvent(QContextMenuEvent *e) override;
  void mousePressEvent(QMouseEvent *e) override;
  void mouseReleaseEvent(QMouseEvent *e) override;
  void inputMethodEvent(QInputMethodEvent *e) override;

 private:
  bool CanChangeText() const { return editor_enabled_ && !isReadOnly(); }
  // Text that is no number becomes MinValue, a number outside the range its nearer end.
  void KeepValueInRange();
  void PlaceButton();

  qint64 min_ = 0;
  qint64 max_ = 0;
  qint64 increment_ = 1;
  bool editor_enabled_ = true;
  bool auto_select_ = true;
  TUpDown *button_;
};
