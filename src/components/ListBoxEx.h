// List boxes whose items are often wider than the list: when the mouse rests on an item
// whose text does not fit, the full text is shown in a hint window laid exactly over the
// item, so that the item reads as if the list were wider. TListBoxEx is the plain list;
// the check list (CheckListBoxEx.h) shares the item and hint handling.
#pragma once

#include <QFont>
#include <QListWidget>
#include <QPointer>
#include <QWidget>
#include <string>

// The hint window of the lists: sized to its text (+5 wide, + the unit's extra height).
class TListBoxHintWindow : public QWidget {
  Q_OBJECT

 public:
  explicit TListBoxHintWindow(int extra_height, QWidget *parent = nullptr);
  // Keeps the rectangle's left and top; width := text width + 5, height := text height
  // + the extra height; then shows the window.
  void ActivateHintData(const QRect &rect, const QString &text, const QFont &font);
  QString HintText() const { return text_; }

 protected:
  void paintEvent(QPaintEvent *e) override;

 private:
  int extra_height_;
  QString text_;
};

// Items as program text (CP932), the item hint, and update suspension.
class TTextListBox : public QListWidget {
  Q_OBJECT
  Q_PROPERTY(bool ShowHint READ ShowHint WRITE SetShowHint)

 public:
  int Count() const { return count(); }
  virtual int AddItem(const std::string &text);
  std::string Item(int index) const;
  int IndexOf(const std::string &text) const;
  void Clear() { clear(); }
  int ItemIndex() const { return currentRow(); }
  void SetItemIndex(int index) { setCurrentRow(index); }
  void BeginUpdate();
  void EndUpdate();
  // Item hints are shown only while this is on (the default).
  bool ShowHint() const { return show_hint_; }
  void SetShowHint(bool on);
  int ItemHeight() const;
  int TopIndex() const;
  // The hint window while one is shown, else nullptr.
  TListBoxHintWindow *HintWindow() const;

 protected:
  TTextListBox(QWidget *parent, QPoint hint_offset, int hint_extra_height);
  bool viewportEvent(QEvent *e) override;
  void HintShow(const QPoint &pos);
  void HideHint();

 private:
  QPoint hint_offset_;
  int hint_extra_height_;
  QPointer<TListBoxHintWindow> hint_;
  QRect hint_item_rect_;  // the hint stays while the mouse is inside this rectangle
  int update_count_ = 0;
  bool show_hint_ = true;
};

class TListBoxEx : public TTextListBox {
  Q_OBJECT

 public:
  explicit TListBoxEx(QWidget *parent = nullptr);
};
