// The result grid's geometry: where cells lie, which rows and columns show, the scroll bars,
// and the current cell and selection.
#include <QScrollBar>
#include <algorithm>
#include <cmath>

#include "components/grid/ExcelUtil.h"

// ---------------------------------------------------------------- geometry

int TXlsStringGrid::ColLeft(int col) const {
  if (col < 0 || col >= ColCount()) return -1;
  int x = 0;
  auto add = [&](int c) {
    int w = col_widths_[static_cast<std::size_t>(c)];
    if (w > 0) x += w + line_width_;
  };
  if (col < fixed_cols_) {
    for (int c = 0; c < col; ++c) add(c);
    return x;
  }
  if (col < left_col_) return -1;
  for (int c = 0; c < fixed_cols_; ++c) add(c);
  const int width = viewport()->width();
  for (int c = left_col_; c < col; ++c) {
    add(c);
    if (x > width) return -1;
  }
  return x;
}

int TXlsStringGrid::RowTop(int row) const {
  if (row < 0 || row >= RowCount()) return -1;
  int y = 0;
  if (row < fixed_rows_) {
    for (int r = 0; r < row; ++r) y += row_heights_.Get(r) + line_width_;
    return y;
  }
  if (row < top_row_) return -1;
  for (int r = 0; r < fixed_rows_; ++r) y += row_heights_.Get(r) + line_width_;
  const int height = viewport()->height();
  for (int r = top_row_; r < row; ++r) {
    y += row_heights_.Get(r) + line_width_;
    if (y > height) return -1;
  }
  return y;
}

QRect TXlsStringGrid::CellRect(int col, int row) const {
  int x = ColLeft(col), y = RowTop(row);
  if (x < 0 || y < 0) return {};
  int w = col_widths_[static_cast<std::size_t>(col)];
  if (w <= 0 || x >= viewport()->width() || y >= viewport()->height()) return {};
  return QRect(x, y, w, row_heights_.Get(row));
}

namespace {

// Index of the line (column or row) at coord, walking the fixed lines and then the lines
// from first on; lines of size 0 or less are not shown. -1 past the last line.
template <class Size>
int LineAt(int count, int fixed, int first, Size size, int line_width, int limit, int coord) {
  int pos = 0;
  for (int i = 0; i < count; i = (i + 1 == fixed) ? std::max(i + 1, first) : i + 1) {
    if (i == 0 && fixed == 0) i = first;
    if (i >= count) break;
    int s = size(i);
    if (s <= 0) continue;
    if (coord < pos + s + line_width) return i;
    pos += s + line_width;
    if (pos > limit) break;
  }
  return -1;
}

}  // namespace

void TXlsStringGrid::MouseToCell(int x, int y, int &col, int &row) const {
  col = row = -1;
  if (x < 0 || y < 0) return;
  col = LineAt(ColCount(), fixed_cols_, left_col_, [this](int c) { return col_widths_[static_cast<std::size_t>(c)]; },
               line_width_, viewport()->width(), x);
  row = LineAt(RowCount(), fixed_rows_, top_row_, [this](int r) { return row_heights_.Get(r); },
               line_width_, viewport()->height(), y);
}

int TXlsStringGrid::VisibleRowCount() const {
  const int height = viewport()->height();
  int y = 0;
  for (int r = 0; r < fixed_rows_; ++r) y += row_heights_.Get(r) + line_width_;
  int n = 0;
  for (int r = top_row_; r < RowCount(); ++r) {
    int h = row_heights_.Get(r);
    if (y + h > height) break;
    y += h + line_width_;
    ++n;
  }
  return n;
}

int TXlsStringGrid::VisibleColCount() const {
  const int width = viewport()->width();
  int x = 0;
  for (int c = 0; c < fixed_cols_; ++c) {
    int w = col_widths_[static_cast<std::size_t>(c)];
    if (w > 0) x += w + line_width_;
  }
  int n = 0;
  for (int c = left_col_; c < ColCount(); ++c) {
    int w = col_widths_[static_cast<std::size_t>(c)];
    if (w > 0) {
      if (x + w > width) break;
      x += w + line_width_;
    }
    ++n;
  }
  return n;
}

// The highest top row that still fills the client area: the rows from it to the last one
// are all fully visible (and one row more would not be).
int TXlsStringGrid::MaxTopRow() const {
  const int height = viewport()->height();
  int y = 0;
  for (int r = 0; r < fixed_rows_; ++r) y += row_heights_.Get(r) + line_width_;
  int top = RowCount();
  for (int r = RowCount() - 1; r >= fixed_rows_; --r) {
    int h = row_heights_.Get(r);
    if (y + h > height && top != RowCount()) break;
    y += h + line_width_;
    top = r;
  }
  return std::max(std::min(top, RowCount() - 1), fixed_rows_);
}

int TXlsStringGrid::MaxLeftCol() const {
  const int width = viewport()->width();
  int x = 0;
  for (int c = 0; c < fixed_cols_; ++c) {
    int w = col_widths_[static_cast<std::size_t>(c)];
    if (w > 0) x += w + line_width_;
  }
  int left = ColCount();
  for (int c = ColCount() - 1; c >= fixed_cols_; --c) {
    int w = col_widths_[static_cast<std::size_t>(c)];
    if (w > 0) {
      if (x + w > width && left != ColCount()) break;
      x += w + line_width_;
    }
    left = c;
  }
  return std::max(std::min(left, ColCount() - 1), fixed_cols_);
}

void TXlsStringGrid::ShowRowAtTop(int r) {
  int top = r < fixed_rows_ ? fixed_rows_ : std::min(r, MaxTopRow());
  ApplyTopLeft(top, left_col_);
}

void TXlsStringGrid::SetTopRow(int r) { ShowRowAtTop(r); }

void TXlsStringGrid::SetLeftCol(int c) {
  int left = c < fixed_cols_ ? fixed_cols_ : std::min(c, MaxLeftCol());
  ApplyTopLeft(top_row_, left);
}

void TXlsStringGrid::ApplyTopLeft(int top, int left) {
  if (top == top_row_ && left == left_col_) return;
  top_row_ = top;
  left_col_ = left;
  in_scroll_update_ = true;
  verticalScrollBar()->setValue(top_row_);
  horizontalScrollBar()->setValue(left_col_);
  in_scroll_update_ = false;
  viewport()->update();
  if (OnTopLeftChanged) OnTopLeftChanged(*this);
}

void TXlsStringGrid::UpdateScrollBars() {
  in_scroll_update_ = true;
  QScrollBar *v = verticalScrollBar();
  v->setRange(fixed_rows_, MaxTopRow());
  v->setPageStep(proportional_ ? std::max(VisibleRowCount(), 1) : 0);
  v->setValue(top_row_);
  QScrollBar *h = horizontalScrollBar();
  const int hmin = fixed_cols_, hmax = MaxLeftCol();
  h->setRange(hmin, hmax);
  if (proportional_ && ColCount() > 0) {
    double page = double(hmax - hmin + 1) * VisibleColCount() / ColCount();
    h->setPageStep(std::max(1, static_cast<int>(std::lround(page))));
  } else {
    h->setPageStep(0);
  }
  h->setValue(left_col_);
  in_scroll_update_ = false;
}

void TXlsStringGrid::OnVScrollAction(int action) {
  QScrollBar *v = verticalScrollBar();
  if (action == QAbstractSlider::SliderPageStepAdd)
    v->setSliderPosition(top_row_ + std::max(VisibleRowCount(), 1));
  else if (action == QAbstractSlider::SliderPageStepSub)
    v->setSliderPosition(top_row_ - std::max(VisibleRowCount(), 1));
}

void TXlsStringGrid::OnHScrollAction(int action) {
  QScrollBar *h = horizontalScrollBar();
  if (action == QAbstractSlider::SliderPageStepAdd)
    h->setSliderPosition(left_col_ + std::max(VisibleColCount(), 1));
  else if (action == QAbstractSlider::SliderPageStepSub)
    h->setSliderPosition(left_col_ - std::max(VisibleColCount(), 1));
}

void TXlsStringGrid::scrollContentsBy(int, int) {
  if (in_scroll_update_) return;
  int top = verticalScrollBar()->value(), left = horizontalScrollBar()->value();
  if (top != top_row_) ShowRowAtTop(top);
  if (left != left_col_) SetLeftCol(left);
}

void TXlsStringGrid::ClampCurrent() {
  auto clamp_line = [](int v, int fixed, int count) { return count > fixed ? std::clamp(v, fixed, count - 1) : fixed; };
  col_ = clamp_line(col_, fixed_cols_, ColCount());
  row_ = clamp_line(row_, fixed_rows_, RowCount());
  anchor_col_ = clamp_line(anchor_col_, fixed_cols_, ColCount());
  anchor_row_ = clamp_line(anchor_row_, fixed_rows_, RowCount());
}

void TXlsStringGrid::Changed() {
  ClampCurrent();
  top_row_ = std::clamp(top_row_, fixed_rows_, std::max(MaxTopRow(), fixed_rows_));
  left_col_ = std::clamp(left_col_, fixed_cols_, std::max(MaxLeftCol(), fixed_cols_));
  UpdateScrollBars();
  viewport()->update();
}

void TXlsStringGrid::resizeEvent(QResizeEvent *e) {
  QAbstractScrollArea::resizeEvent(e);
  Changed();
}

void TXlsStringGrid::showEvent(QShowEvent *e) {
  QAbstractScrollArea::showEvent(e);
  Changed();
}

// ---------------------------------------------------------------- current cell and selection

TGridRect TXlsStringGrid::Selection() const {
  TGridRect r;
  if (options_ & goRowSelect) {
    r.Left = fixed_cols_;
    r.Right = ColCount() - 1;
  } else {
    r.Left = std::min(anchor_col_, col_);
    r.Right = std::max(anchor_col_, col_);
  }
  r.Top = std::min(anchor_row_, row_);
  r.Bottom = std::max(anchor_row_, row_);
  return r;
}

void TXlsStringGrid::SetSelection(const TGridRect &r) {
  anchor_col_ = r.Left;
  anchor_row_ = r.Top;
  col_ = r.Right;
  row_ = r.Bottom;
  viewport()->update();
}

void TXlsStringGrid::FocusCell(int col, int row, bool move_anchor) {
  if (ColCount() <= fixed_cols_ || RowCount() <= fixed_rows_) return;
  col_ = std::clamp(col, fixed_cols_, ColCount() - 1);
  row_ = std::clamp(row, fixed_rows_, RowCount() - 1);
  if (move_anchor || !(options_ & goRangeSelect)) {
    anchor_col_ = col_;
    anchor_row_ = row_;
  }
  // Scroll the current cell into view.
  int top = top_row_, left = left_col_;
  if (row_ < top) top = row_;
  else {
    int v = std::max(VisibleRowCount(), 1);
    if (row_ >= top + v) {
      // walk back from the current row until the client is full
      const int height = viewport()->height();
      int y = 0;
      for (int r = 0; r < fixed_rows_; ++r) y += row_heights_.Get(r) + line_width_;
      top = row_;
      for (int r = row_; r >= fixed_rows_; --r) {
        int h = row_heights_.Get(r);
        if (y + h > height && r != row_) break;
        y += h + line_width_;
        top = r;
      }
    }
  }
  if (col_ < left) left = col_;
  else if (col_ >= left + std::max(VisibleColCount(), 1)) {
    const int width = viewport()->width();
    int x = 0;
    for (int c = 0; c < fixed_cols_; ++c) {
      int w = col_widths_[static_cast<std::size_t>(c)];
      if (w > 0) x += w + line_width_;
    }
    left = col_;
    for (int c = col_; c >= fixed_cols_; --c) {
      int w = col_widths_[static_cast<std::size_t>(c)];
      if (w > 0) {
        if (x + w > width && c != col_) break;
        x += w + line_width_;
      }
      left = c;
    }
  }
  ApplyTopLeft(std::clamp(top, fixed_rows_, std::max(MaxTopRow(), fixed_rows_)),
               std::clamp(left, fixed_cols_, std::max(MaxLeftCol(), fixed_cols_)));
  viewport()->update();
}
