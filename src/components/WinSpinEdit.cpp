#include "components/WinSpinEdit.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QStyle>
#include <algorithm>
#include <limits>
#include <optional>

namespace {

// A decimal integer with an optional sign after leading blanks; nothing else may follow.
std::optional<qint64> ParseInt64(const QString &text) {
  int i = 0;
  while (i < text.size() && text[i] == u' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  if (i == text.size()) return std::nullopt;
  // Accumulate negatively so that the smallest value parses too.
  qint64 v = 0;
  const qint64 lo = std::numeric_limits<qint64>::min();
  for (; i < text.size(); ++i) {
    const char16_t c = text[i].unicode();
    if (c < u'0' || c > u'9') return std::nullopt;
    const int d = c - u'0';
    if (v < (lo + d) / 10) return std::nullopt;
    v = v * 10 - d;
  }
  if (negative) return v;
  if (v == lo) return std::nullopt;
  return -v;
}

// a + b (up) or a - b (down), held at the ends of the 64-bit range rather than wrapping.
qint64 SaturatingStep(qint64 a, qint64 b, bool up) {
  qint64 r;
  const bool over = up ? __builtin_add_overflow(a, b, &r) : __builtin_sub_overflow(a, b, &r);
  if (!over) return r;
  return (b > 0) == up ? std::numeric_limits<qint64>::max() : std::numeric_limits<qint64>::min();
}

bool IsEditingKey(const QKeyEvent *e) {
  return e->matches(QKeySequence::Paste) || e->matches(QKeySequence::Cut) ||
         e->matches(QKeySequence::Undo) || e->matches(QKeySequence::Redo) ||
         e->matches(QKeySequence::Delete) || e->matches(QKeySequence::DeleteEndOfWord) ||
         e->matches(QKeySequence::DeleteStartOfWord) || e->matches(QKeySequence::DeleteEndOfLine) ||
         e->key() == Qt::Key_Delete || e->key() == Qt::Key_Backspace;
}

}  // namespace

TUpDown::TUpDown(QWidget *parent) : QWidget(parent) {
  up_ = new QToolButton(this);
  down_ = new QToolButton(this);
  for (QToolButton *b : {up_, down_}) {
    b->setFocusPolicy(Qt::NoFocus);
    b->setAutoRepeat(true);
    b->setCursor(Qt::ArrowCursor);
  }
  up_->setArrowType(Qt::UpArrow);
  down_->setArrowType(Qt::DownArrow);
  connect(up_, &QToolButton::clicked, this, [this] { emit Click(btNext); });
  connect(down_, &QToolButton::clicked, this, [this] { emit Click(btPrev); });
  resize(TWinSpinEdit::kUpDownWidth, 17);
}

void TUpDown::resizeEvent(QResizeEvent *) {
  const int half = height() / 2;
  up_->setGeometry(0, 0, width(), half);
  down_->setGeometry(0, half, width(), height() - half);
}

TWinSpinEdit::TWinSpinEdit(QWidget *parent) : QLineEdit(parent) {
  button_ = new TUpDown(this);
  connect(button_, &TUpDown::Click, this, [this](TUDBtnType b) { Step(b); });
  setAcceptDrops(false);
  setTextMargins(0, 0, kUpDownWidth + 1, 0);
  setMinimumHeight(MinHeight());
  PlaceButton();
}

int TWinSpinEdit::MinHeight() const {
  constexpr int kBorderHeight = 1;  // one border line of a window
  const int text = fontMetrics().height();
  const int system = QFontMetrics(QApplication::font()).height();
  return text + std::min(system, text) / 4 + 4 * kBorderHeight + 2;
}

qint64 TWinSpinEdit::Value() {
  if (std::optional<qint64> v = ParseInt64(text())) return *v;
  SetValue(min_);
  if (auto_select_ && !(QGuiApplication::mouseButtons() & Qt::LeftButton)) selectAll();
  return min_;
}

void TWinSpinEdit::SetValue(qint64 v) { setText(QString::number(v)); }

qint64 TWinSpinEdit::CheckValue(qint64 v) const {
  if (min_ != max_) {
    if (v < min_) return min_;
    if (v > max_) return max_;
  }
  return v;
}

bool TWinSpinEdit::IsValidChar(char32_t c) const {
  const QString sep = QLocale::system().decimalPoint();
  bool valid = c == U'+' || c == U'-' || (c >= U'0' && c <= U'9') ||
               (!sep.isEmpty() && c == sep.at(0).unicode()) || (c < 32 && c != 13);
  if (!editor_enabled_ && (c == 8 || (c >= 32 && c <= 255))) valid = false;
  return valid;
}

void TWinSpinEdit::Step(TUDBtnType button) {
  if (isReadOnly()) {
    Beep();
    return;
  }
  SetValue(CheckValue(SaturatingStep(Value(), increment_, button == btNext)));
}

void TWinSpinEdit::Beep() { QApplication::beep(); }

void TWinSpinEdit::keyPressEvent(QKeyEvent *e) {
  if (e->key() == Qt::Key_Up || e->key() == Qt::Key_Down) {
    Step(e->key() == Qt::Key_Up ? btNext : btPrev);
    QLineEdit::keyPressEvent(e);
    return;
  }
  if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
    // Enter types nothing; it goes on to the dialog's default button, which reads the
    // value as leaving the field leaves it.
    KeepValueInRange();
    QLineEdit::keyPressEvent(e);
    return;
  }
  const QString text = e->text();
  const bool typed = !text.isEmpty() && text[0].unicode() != 0x7F &&
                     !(e->modifiers() & (Qt::ControlModifier | Qt::MetaModifier));
  if (typed || e->key() == Qt::Key_Backspace) {
    for (char32_t c : text.toUcs4())
      if (!IsValidChar(c)) {
        e->accept();
        Beep();
        return;
      }
  }
  if (!CanChangeText() && IsEditingKey(e)) {
    e->accept();
    return;
  }
  QLineEdit::keyPressEvent(e);
}

void TWinSpinEdit::focusInEvent(QFocusEvent *e) {
  QLineEdit::focusInEvent(e);
  if (auto_select_ && !(QGuiApplication::mouseButtons() & Qt::LeftButton))
    selectAll();
  else if (!auto_select_ && hasSelectedText() && e->reason() != Qt::MouseFocusReason)
    deselect();
}

void TWinSpinEdit::focusOutEvent(QFocusEvent *e) {
  QLineEdit::focusOutEvent(e);
  if (e->reason() == Qt::PopupFocusReason) return;
  KeepValueInRange();
}

void TWinSpinEdit::KeepValueInRange() {
  const qint64 v = Value();
  if (CheckValue(v) != v) SetValue(CheckValue(v));
}

void TWinSpinEdit::resizeEvent(QResizeEvent *e) {
  QLineEdit::resizeEvent(e);
  PlaceButton();
}

// A new font asks for a new least height; a smaller height is raised to it.
void TWinSpinEdit::changeEvent(QEvent *e) {
  QLineEdit::changeEvent(e);
  if (e->type() == QEvent::FontChange) setMinimumHeight(MinHeight());
}

// The up-down stands 3 pixels in from the right edge of the text area, one pixel above
// it and 2 pixels shorter than the control (positions within the frame).
void TWinSpinEdit::PlaceButton() {
  const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
  button_->setGeometry(width() - kUpDownWidth - 3 + frame, frame - 1, kUpDownWidth, qMax(2, height() - 2));
}

void TWinSpinEdit::contextMenuEvent(QContextMenuEvent *e) {
  QMenu *menu = createStandardContextMenu();
  if (!CanChangeText())
    for (QAction *a : menu->actions()) {
      const QString name = a->objectName();
      if (name == QLatin1String("edit-cut") || name == QLatin1String("edit-paste") ||
          name == QLatin1String("edit-delete") || name == QLatin1String("edit-undo") ||
          name == QLatin1String("edit-redo"))
        a->setEnabled(false);
    }
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(e->globalPos());
}

// The middle button pastes the selection on X11.
void TWinSpinEdit::mousePressEvent(QMouseEvent *e) {
  if (e->button() == Qt::MiddleButton && !CanChangeText()) return e->accept();
  QLineEdit::mousePressEvent(e);
}

void TWinSpinEdit::mouseReleaseEvent(QMouseEvent *e) {
  if (e->button() == Qt::MiddleButton && !CanChangeText()) return e->accept();
  QLineEdit::mouseReleaseEvent(e);
}

void TWinSpinEdit::inputMethodEvent(QInputMethodEvent *e) {
  for (char32_t c : e->commitString().toUcs4())
    if (!IsValidChar(c)) {
      QInputMethodEvent empty;  // drops the composition as well
      QLineEdit::inputMethodEvent(&empty);
      Beep();
      return;
    }
  QLineEdit::inputMethodEvent(e);
}
