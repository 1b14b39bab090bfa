#include "components/grid/ExcelUtil.h"

#include <QScrollBar>
#include <algorithm>

#include "components/QtServices.h"
#include "components/grid/ExcelUtilText.h"
#include "components/qtext.h"
#include "platform/cp932.h"

using xlsgrid::Text;

namespace {

const char *const kTopRow = "先頭行なので上に移動できません。";
const char *const kLastRow = "最下位行なので下に移動できません。";
const char *const kPositive = "1以上の整数を入力してください。";

// A new grid has this many columns and rows.
constexpr int kNewGridLines = 5;

}  // namespace

// ---------------------------------------------------------------- TXlsStringGrid: construction

TXlsStringGrid::TXlsStringGrid(QWidget *parent) : QAbstractScrollArea(parent) {
  cell_font_.Name = cp932::FromUtf8("ＭＳ Ｐゴシック");
  cells_.Clear(kNewGridLines, kNewGridLines);
  col_widths_.assign(kNewGridLines, default_col_width_);
  row_heights_.Reset(default_row_height_);
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setMouseTracking(true);
  viewport()->setBackgroundRole(QPalette::Base);
  verticalScrollBar()->setSingleStep(1);
  horizontalScrollBar()->setSingleStep(1);
  connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, &TXlsStringGrid::OnVScrollAction);
  connect(horizontalScrollBar(), &QScrollBar::actionTriggered, this, &TXlsStringGrid::OnHScrollAction);
  SetOptions(options_);
  Changed();
}

TXlsStringGrid::~TXlsStringGrid() = default;

std::string TXlsStringGrid::GridName() const { return FromQ(objectName()); }

// ---------------------------------------------------------------- properties

void TXlsStringGrid::SetStartRow(std::uint16_t v) {
  if (v == 0) {
    ErrorBox(Text(kPositive));
    return;
  }
  start_row_ = v;
}

void TXlsStringGrid::SetStartCol(std::uint16_t v) {
  if (v == 0) {
    ErrorBox(Text(kPositive));
    return;
  }
  start_col_ = v;
}

void TXlsStringGrid::SetCellFont(const TCellFont *font) {
  if (font) cell_font_ = *font;
}

void TXlsStringGrid::SetProportionalScrollBars(bool on) {
  proportional_ = on;
  UpdateScrollBars();
}

// ---------------------------------------------------------------- the string grid

void TXlsStringGrid::SetColCount(int n) {
  n = std::max(n, 0);
  cells_.Resize(n, RowCount());
  col_widths_.resize(static_cast<std::size_t>(n), default_col_width_);
  fixed_cols_ = std::min(fixed_cols_, n);
  Changed();
}

void TXlsStringGrid::SetRowCount(int n) {
  n = std::max(n, 0);
  cells_.Resize(ColCount(), n);
  row_heights_.Truncate(n);
  row_objects_.Truncate(n);
  fixed_rows_ = std::min(fixed_rows_, n);
  Changed();
}

void TXlsStringGrid::SetFixedCols(int n) {
  fixed_cols_ = std::clamp(n, 0, ColCount());
  left_col_ = std::max(left_col_, fixed_cols_);
  Changed();
}

void TXlsStringGrid::SetFixedRows(int n) {
  fixed_rows_ = std::clamp(n, 0, RowCount());
  top_row_ = std::max(top_row_, fixed_rows_);
  Changed();
}

void TXlsStringGrid::SetDefaultColWidth(int w) {
  default_col_width_ = w;
  std::fill(col_widths_.begin(), col_widths_.end(), w);
  ColWidthsChanged();
}

void TXlsStringGrid::SetDefaultRowHeight(int h) {
  default_row_height_ = h;
  row_heights_.Reset(h);
  RowHeightsChanged();
}

void TXlsStringGrid::SetColWidths(int col, int w) {
  if (col < 0 || col >= ColCount() || col_widths_[static_cast<std::size_t>(col)] == w) return;
  col_widths_[static_cast<std::size_t>(col)] = w;
  ColWidthsChanged();
}

void TXlsStringGrid::SetRowHeights(int row, int h) {
  if (row < 0 || row >= RowCount() || row_heights_.Get(row) == h) return;
  row_heights_.Set(row, h);
  RowHeightsChanged();
}

void TXlsStringGrid::ColWidthsChanged() {
  Changed();
  if (OnColWidthsChanged) OnColWidthsChanged(*this);
}

void TXlsStringGrid::RowHeightsChanged() {
  Changed();
  if (OnRowHeightsChanged) OnRowHeightsChanged(*this);
}

void TXlsStringGrid::SetGridLineWidth(int w) {
  line_width_ = std::max(w, 0);
  Changed();
}

void TXlsStringGrid::SetOptions(TGridOptions o) {
  options_ = o;
  verticalScrollBar()->setTracking(o & goThumbTracking);
  horizontalScrollBar()->setTracking(o & goThumbTracking);
  viewport()->update();
}

void TXlsStringGrid::SetScrollBars(TScrollStyle s) {
  scroll_bars_ = s;
  setVerticalScrollBarPolicy((s == ssVertical || s == ssBoth) ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
  setHorizontalScrollBarPolicy((s == ssHorizontal || s == ssBoth) ? Qt::ScrollBarAsNeeded
                                                                  : Qt::ScrollBarAlwaysOff);
  Changed();
}

std::string_view TXlsStringGrid::CellView(int col, int row) const {
  if (col < 0 || row < 0 || col >= ColCount() || row >= RowCount()) return {};
  return cells_.Get(col, row);
}

void TXlsStringGrid::SetCells(int col, int row, std::string_view text) {
  if (col < 0 || row < 0 || col >= ColCount() || row >= RowCount()) return;
  cells_.Set(col, row, text);
  if (update_count_ == 0) viewport()->update();
}

std::vector<std::string> TXlsStringGrid::Rows(int row) const {
  std::vector<std::string> v;
  for (int c = 0; c < ColCount(); ++c) v.emplace_back(CellView(c, row));
  return v;
}

std::intptr_t TXlsStringGrid::RowObject(int row) const {
  return (row >= 0 && row < RowCount()) ? row_objects_.Get(row) : 0;
}

void TXlsStringGrid::SetRowObject(int row, std::intptr_t v) {
  if (row >= 0 && row < RowCount()) row_objects_.Set(row, v);
}

void TXlsStringGrid::SetShape(int col_count, int row_count, int fixed_rows, int fixed_cols) {
  col_count = std::max(col_count, 0);
  row_count = std::max(row_count, 0);
  cells_.Clear(col_count, row_count);
  col_widths_.assign(static_cast<std::size_t>(col_count), default_col_width_);
  row_heights_.Reset(default_row_height_);
  row_objects_.Reset(0);
  fixed_rows_ = std::clamp(fixed_rows, 0, row_count);
  fixed_cols_ = std::clamp(fixed_cols, 0, col_count);
  top_row_ = fixed_rows_;
  left_col_ = fixed_cols_;
  col_ = anchor_col_ = fixed_cols_;
  row_ = anchor_row_ = fixed_rows_;
  Changed();
}

void TXlsStringGrid::SetRowCells(int row, const std::string_view *cells, int count) {
  if (row < 0 || row >= RowCount()) return;
  const int n = std::min(count, ColCount());
  for (int c = 0; c < n; ++c) cells_.Set(c, row, cells[c]);
}

// ---------------------------------------------------------------- updates

void TXlsStringGrid::BeginUpdate() {
  if (update_count_++ == 0) viewport()->setUpdatesEnabled(false);
}

void TXlsStringGrid::EndUpdate() {
  if (update_count_ == 0) return;
  if (--update_count_ == 0) {
    cells_.Trim();
    viewport()->setUpdatesEnabled(true);
    Changed();
    viewport()->update();
  }
}

// ---------------------------------------------------------------- rows and columns

int TXlsStringGrid::MoveUp() {
  if (row_ == 0 || row_ <= fixed_rows_ || row_ >= RowCount()) {
    if (ShowErrDlg) ErrorBox(Text(kTopRow));
    return -1;
  }
  SwapCurrentRowWith(row_ - 1);
  return 0;
}

int TXlsStringGrid::MoveDown() {
  if (row_ >= RowCount() - 1 || row_ < fixed_rows_) {
    if (ShowErrDlg) ErrorBox(Text(kLastRow));
    return -1;
  }
  SwapCurrentRowWith(row_ + 1);
  return 0;
}

void TXlsStringGrid::SwapCurrentRowWith(int other) {
  cells_.SwapRows(row_, other);
  row_objects_.Swap(row_, other);
  FocusCell(col_, other, true);
}

void TXlsStringGrid::RemoveColumn(int index) {
  if (index < 0 || index >= ColCount()) return;
  BeginUpdate();
  const int col = col_, left = left_col_;
  cells_.DeleteCol(index);
  col_widths_.erase(col_widths_.begin() + index);
  // The sort column goes with its column; once it is removed the grid has none (-1).
  if (SortCol == index) SortCol = -1;
  else if (SortCol > index) --SortCol;
  if (fixed_cols_ > ColCount()) fixed_cols_ = ColCount();
  col_ = anchor_col_ = std::min(col, ColCount() - 1);
  anchor_row_ = row_;
  left_col_ = left;
  Changed();
  EndUpdate();
  if (OnColWidthsChanged) OnColWidthsChanged(*this);
}

void TXlsStringGrid::RemoveRow(int index) {
  if (index < 0 || index >= RowCount()) return;
  BeginUpdate();
  const int row = row_, top = top_row_;
  cells_.DeleteRow(index);
  row_heights_.Erase(index);
  row_objects_.Erase(index);
  if (fixed_rows_ > RowCount()) fixed_rows_ = RowCount();
  row_ = anchor_row_ = std::min(row, RowCount() - 1);
  anchor_col_ = col_;
  top_row_ = top;
  Changed();
  EndUpdate();
}
