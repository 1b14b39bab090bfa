// Painting the result grid: only the cells that show, each by default drawing and then by
// the owner's handler.
#include <QPainter>
#include <vector>

#include "components/grid/ExcelUtil.h"
#include "components/qtext.h"

namespace {

// The room, in pixels, between a cell's text and its left, top and right edges.
constexpr int kTextInset = 2;

}  // namespace

void TXlsStringGrid::paintEvent(QPaintEvent *) {
  QPainter p(viewport());
  const int width = viewport()->width(), height = viewport()->height();
  p.fillRect(QRect(0, 0, width, height), palette().color(QPalette::Base));
  std::vector<int> cols, rows;
  std::vector<int> xs, ys;
  int x = 0;
  for (int c = 0; c < ColCount() && x < width; c = (c + 1 == fixed_cols_) ? std::max(c + 1, left_col_) : c + 1) {
    if (c == 0 && fixed_cols_ == 0) c = left_col_;
    if (c >= ColCount()) break;
    int w = col_widths_[static_cast<std::size_t>(c)];
    if (w <= 0) continue;
    cols.push_back(c);
    xs.push_back(x);
    x += w + line_width_;
  }
  int y = 0;
  for (int r = 0; r < RowCount() && y < height; r = (r + 1 == fixed_rows_) ? std::max(r + 1, top_row_) : r + 1) {
    if (r == 0 && fixed_rows_ == 0) r = top_row_;
    if (r >= RowCount()) break;
    int h = row_heights_.Get(r);
    if (h <= 0) continue;
    rows.push_back(r);
    ys.push_back(y);
    y += h + line_width_;
  }
  const QColor light = palette().color(QPalette::Midlight), dark = palette().color(QPalette::Mid);
  for (std::size_t i = 0; i < rows.size(); ++i)
    for (std::size_t j = 0; j < cols.size(); ++j) {
      const int c = cols[j], r = rows[i];
      QRect rect(xs[j], ys[i], col_widths_[static_cast<std::size_t>(c)], row_heights_.Get(r));
      p.save();
      p.setClipRect(rect);
      DrawCell(p, c, r, rect);
      p.restore();
      if (line_width_ > 0) {
        bool fixed = c < fixed_cols_ || r < fixed_rows_;
        bool vert = options_ & (fixed ? goFixedVertLine : goVertLine);
        bool horz = options_ & (fixed ? goFixedHorzLine : goHorzLine);
        const QColor &lc = fixed ? dark : light;
        if (vert) p.fillRect(QRect(rect.right() + 1, rect.top(), line_width_, rect.height() + line_width_), lc);
        if (horz) p.fillRect(QRect(rect.left(), rect.bottom() + 1, rect.width() + line_width_, line_width_), lc);
      }
    }
}

void TXlsStringGrid::DrawCell(QPainter &p, int col, int row, const QRect &rect) {
  TGridDrawState state = 0;
  const bool fixed = col < fixed_cols_ || row < fixed_rows_;
  if (fixed) {
    state |= gdFixed;
  } else {
    TGridRect s = Selection();
    if (col >= s.Left && col <= s.Right && row >= s.Top && row <= s.Bottom) state |= gdSelected;
    if (col == col_ && row == row_ && hasFocus()) state |= gdFocused;
  }
  if (DefaultDrawing) {
    QColor back = palette().color(QPalette::Base), fore = palette().color(QPalette::Text);
    const bool focus_plain = (state & gdFocused) && !(options_ & (goDrawFocusSelected | goRowSelect));
    if (fixed) {
      back = palette().color(QPalette::Button);
      fore = palette().color(QPalette::ButtonText);
    } else if ((state & gdSelected) && !focus_plain) {
      back = palette().color(QPalette::Highlight);
      fore = palette().color(QPalette::HighlightedText);
    }
    p.fillRect(rect, back);
    p.setPen(fore);
    p.setFont(font());
    p.drawText(rect.adjusted(kTextInset, kTextInset, -kTextInset, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
               ToQ(CellView(col, row)));
    if (focus_plain) {
      p.setPen(QPen(palette().color(QPalette::Text), 1, Qt::DotLine));
      p.drawRect(rect.adjusted(0, 0, -1, -1));
    }
  }
  if (OnDrawCell) {
    try {
      OnDrawCell(*this, col, row, p, rect, state);
    } catch (const std::exception &) {
      // a failing owner drawing leaves the cell as drawn so far
    }
  }
}
