// The result grid's mouse and keys: selecting, sizing columns, moving the current cell and
// the wheel, with the owner's events.
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <algorithm>

#include "components/grid/ExcelUtil.h"

namespace {

// How near a column border, in pixels, the mouse is taken to be on it.
constexpr int kBorderReach = 5;
// The angle of one step of a mouse wheel, in eighths of a degree.
constexpr int kWheelStep = 120;

TShiftState ShiftOf(Qt::KeyboardModifiers m, Qt::MouseButtons b = Qt::NoButton) {
  TShiftState s = 0;
  if (m & Qt::ShiftModifier) s |= ssShift;
  if (m & Qt::AltModifier) s |= ssAlt;
  if (m & Qt::ControlModifier) s |= ssCtrl;
  if (b & Qt::LeftButton) s |= ssLeft;
  if (b & Qt::RightButton) s |= ssRight;
  if (b & Qt::MiddleButton) s |= ssMiddle;
  return s;
}

TMouseButton ButtonOf(Qt::MouseButton b) {
  if (b == Qt::RightButton) return mbRight;
  if (b == Qt::MiddleButton) return mbMiddle;
  return mbLeft;
}

}  // namespace

bool TXlsStringGrid::ResizingCol(int x, int y) const {
  int c, r;
  MouseToCell(x, y, c, r);
  if (r != 0 || c < 0) return false;
  QRect rect = CellRect(c, r);
  if (rect.isEmpty()) return false;
  const int left = rect.left(), right = rect.left() + rect.width();
  return (x >= left - kBorderReach && x <= left + kBorderReach) ||
         (x >= right - kBorderReach && x <= right + kBorderReach);
}

namespace {

// The column whose right border lies within reach of x in a fixed row, -1 when none.
int SizingColumn(const TXlsStringGrid &g, int x, int y) {
  int c, r;
  g.MouseToCell(x, y, c, r);
  if (r < 0 || r >= g.FixedRows() || c < 0) return -1;
  QRect rect = g.CellRect(c, r);
  if (rect.isEmpty()) return -1;
  const int right = rect.left() + rect.width();
  if (x >= right - kBorderReach) return c;
  if (x <= rect.left() + kBorderReach) {
    for (int p = c - 1; p >= 0; --p)
      if (!g.CellRect(p, r).isEmpty()) return p;
  }
  return -1;
}

}  // namespace

void TXlsStringGrid::GridMouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (button != mbLeft) return;
  if (options_ & goColSizing) {
    int c = SizingColumn(*this, x, y);
    if (c >= 0) {
      sizing_col_ = c;
      sizing_origin_ = ColLeft(c);
      return;
    }
  }
  int c, r;
  MouseToCell(x, y, c, r);
  if (c < fixed_cols_ || r < fixed_rows_) return;
  FocusCell(c, r, !((shift & ssShift) && (options_ & goRangeSelect)));
  selecting_ = true;
}

void TXlsStringGrid::mousePressEvent(QMouseEvent *e) {
  setFocus(Qt::MouseFocusReason);
  const int x = e->position().toPoint().x(), y = e->position().toPoint().y();
  const TShiftState shift = ShiftOf(e->modifiers(), e->buttons());
  MouseToCell(x, y, mouse_col_, mouse_row_);
  if (mouse_row_ < 0 && RowCount() > 0) {
    QRect last = CellRect(mouse_col_ < 0 ? 0 : mouse_col_, RowCount() - 1);
    if (!last.isEmpty() && y > last.bottom()) mouse_row_ = RowCount() - 1;
  }
  GridMouseDown(ButtonOf(e->button()), shift, x, y);
  if (OnMouseDown) OnMouseDown(*this, ButtonOf(e->button()), shift, x, y);
}

void TXlsStringGrid::mouseMoveEvent(QMouseEvent *e) {
  const int x = e->position().toPoint().x(), y = e->position().toPoint().y();
  if (sizing_col_ >= 0) {
    SetColWidths(sizing_col_, std::max(x - sizing_origin_, 0));
  } else if (selecting_ && (e->buttons() & Qt::LeftButton)) {
    int c, r;
    MouseToCell(x, y, c, r);
    if (c >= fixed_cols_ && r >= fixed_rows_) FocusCell(c, r, false);
  } else {
    bool border = (options_ & goColSizing) && SizingColumn(*this, x, y) >= 0;
    viewport()->setCursor(border ? Qt::SplitHCursor : Qt::ArrowCursor);
  }
  if (OnMouseMove) OnMouseMove(*this, ShiftOf(e->modifiers(), e->buttons()), x, y);
}

void TXlsStringGrid::mouseReleaseEvent(QMouseEvent *e) {
  const int x = e->position().toPoint().x(), y = e->position().toPoint().y();
  const bool was_sizing = sizing_col_ >= 0;
  sizing_col_ = -1;
  selecting_ = false;
  mouse_col_ = mouse_row_ = -1;
  if (OnMouseUp) OnMouseUp(*this, ButtonOf(e->button()), ShiftOf(e->modifiers(), e->buttons()), x, y);
  if (e->button() == Qt::LeftButton && !was_sizing && OnClick) OnClick(*this);
}

void TXlsStringGrid::mouseDoubleClickEvent(QMouseEvent *e) {
  mousePressEvent(e);
  if (OnDblClick) OnDblClick(*this);
}

void TXlsStringGrid::keyPressEvent(QKeyEvent *e) {
  int key = e->key();
  const TShiftState shift = ShiftOf(e->modifiers());
  if (OnKeyDown) OnKeyDown(*this, key, shift);
  if (key == 0) return;
  const bool extend = (shift & ssShift) && (options_ & goRangeSelect);
  const bool ctrl = shift & ssCtrl;
  auto next_shown = [this](int c, int step) {
    for (int n = c + step; n >= fixed_cols_ && n < ColCount(); n += step)
      if (col_widths_[static_cast<std::size_t>(n)] > 0) return n;
    return c;
  };
  int c = col_, r = row_;
  const int page = std::max(VisibleRowCount(), 1);
  switch (key) {
    case Qt::Key_Up: --r; break;
    case Qt::Key_Down: ++r; break;
    case Qt::Key_Left: c = next_shown(c, -1); break;
    case Qt::Key_Right: c = next_shown(c, 1); break;
    case Qt::Key_PageUp:
      r -= page;
      ShowRowAtTop(top_row_ - page);
      break;
    case Qt::Key_PageDown:
      r += page;
      ShowRowAtTop(top_row_ + page);
      break;
    case Qt::Key_Home:
      if (ctrl) r = fixed_rows_;
      else c = fixed_cols_;
      break;
    case Qt::Key_End:
      if (ctrl) r = RowCount() - 1;
      else c = ColCount() - 1;
      break;
    default: QAbstractScrollArea::keyPressEvent(e); return;
  }
  FocusCell(c, r, !extend);
}

void TXlsStringGrid::wheelEvent(QWheelEvent *e) {
  wheel_rest_ += e->angleDelta().y();
  const int notches = wheel_rest_ / kWheelStep;
  wheel_rest_ -= notches * kWheelStep;
  if (notches != 0) ShowRowAtTop(top_row_ - notches);
  e->accept();
}
