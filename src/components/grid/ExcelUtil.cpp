#include "components/grid/ExcelUtil.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <stdexcept>

#include "components/QtServices.h"
#include "components/qtext.h"
#include "platform/cp932.h"

namespace {

// Message texts, converted to program text once (node-based, so references stay valid).
const std::string &Text(const char *utf8) {
  static std::map<const char *, std::string> cache;
  auto it = cache.find(utf8);
  if (it == cache.end()) it = cache.emplace(utf8, cp932::FromUtf8(utf8)).first;
  return it->second;
}

const char *const kNoData = "グリッド内に、コピーするデータがありません。";
const char *const kTooLarge = "コピーする領域がシステムの許容範囲を越えたので、\r\nコピーを中断します。";
const char *const kNoCsv = "CSVファイル名が指定されていないか、指定されたファイルが存在しません。";
const char *const kNoHtml = "HTMLファイル名が指定されていないか、指定されたファイルが存在しません。";
const char *const kTopRow = "先頭行なので上に移動できません。";
const char *const kLastRow = "最下位行なので下に移動できません。";
const char *const kBadSort = "ソートタイプの指定が不正です。";
const char *const kPositive = "1以上の整数を入力してください。";

constexpr std::size_t kClipboardLimit = 2047999999;

// Leading and trailing blanks and control characters removed (no trail byte of a
// double-byte character is below 0x40, so the ends are safe to test bytewise).
std::string_view Trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

std::filesystem::path FilePath(const std::string &name) { return std::filesystem::path(cp932::ToUtf8(name)); }

void WriteBytes(const std::string &name, const std::string &bytes) {
  std::ofstream f(FilePath(name), std::ios::binary | std::ios::trunc);
  if (!f) throw std::runtime_error("cannot create file " + cp932::ToUtf8(name));
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!f) throw std::runtime_error("cannot write file " + cp932::ToUtf8(name));
}

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

// ---------------------------------------------------------------- TStringListExt

void TStringListExt::SetCsvText(std::string_view text) {
  Strings.clear();
  std::size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  const std::size_t n = text.size();
  auto code = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  std::size_t p = 0;
  while (p < n && code(p) >= 1 && code(p) <= 32) ++p;
  while (p < n) {
    std::string field;
    if (text[p] == '"') {
      ++p;
      while (p < n) {
        if (text[p] == '"') {
          if (p + 1 < n && text[p + 1] == '"') {
            field += '"';
            p += 2;
          } else {
            ++p;
            break;
          }
        } else {
          field += text[p++];
        }
      }
    } else {
      std::size_t b = p;
      while (p < n && text[p] != ',' && code(p) >= 32) ++p;
      field.assign(text.substr(b, p - b));
    }
    Strings.push_back(std::move(field));
    while (p < n && code(p) >= 1 && code(p) <= 31) ++p;
    if (p < n && text[p] == ',') {
      ++p;
      while (p < n && code(p) >= 1 && code(p) <= 31) {
        if (text[p] == '\n') Strings.emplace_back();
        ++p;
      }
    }
  }
}

// ---------------------------------------------------------------- column letters and hand-off steps

std::string XlsColumnName(int c) {
  std::string s;
  if (c <= 26) {
    s += static_cast<char>(64 + c);
  } else {
    s += static_cast<char>(64 + (c - 1) / 26);
    s += static_cast<char>(64 + ((c - 1) / 26 + c) % 27);
  }
  return s;
}

std::string XlsRangeName(int row, int col, int row_offset, int col_offset) {
  return XlsColumnName(col) + std::to_string(row) + ":" + XlsColumnName(col + col_offset) +
         std::to_string(row + row_offset);
}

bool XlsIsBookNameFree(IOleObject &app, const std::string &name) {
  auto books = app.Obj("Workbooks");
  TOleValue count = books->Get("Count");
  std::int64_t n = std::holds_alternative<std::int64_t>(count) ? std::get<std::int64_t>(count) : 0;
  for (std::int64_t i = 1; i <= n; ++i) {
    TOleValue v = books->Obj("Item", {i})->Get("Name");
    if (std::holds_alternative<std::string>(v) && std::get<std::string>(v) == name) return false;
  }
  return true;
}

void XlsCloseApp(IOleObject &app, bool started) {
  app.Set("DisplayAlerts", false);
  if (started)
    app.Call("Quit");
  else
    app.Obj("Application")->Obj("ActiveWorkbook")->Call("Close");
}

void XlsPasteAndFormat(IOleObject &app, int start_row, int start_col, bool column_name, bool auto_fit,
                       const std::string &sheet_name, const TCellFont &cell_font, TColor cell_title_color,
                       TColor cell_border_color, TColor cell_color, TCellBorderWeight cell_border_weight,
                       int col_offset, int row_offset) {
  const std::int64_t sr = start_row, sc = start_col;
  const std::string block = XlsRangeName(start_row, start_col, row_offset, col_offset);
  app.Obj("ActiveSheet")->Obj("Cells", {sr, sc})->Call("PasteSpecial");
  if (cell_border_weight >= bwHairline && cell_border_weight <= bwThick)
    app.Obj("ActiveSheet")->Obj("Range", {block})->Obj("Borders")->Set("Weight", std::int64_t{cell_border_weight});
  if (cell_color != clNone)
    app.Obj("ActiveSheet")->Obj("Range", {block})->Obj("Interior")->Set("Color", std::int64_t{cell_color});
  if (column_name && cell_title_color != clNone)
    app.Obj("ActiveSheet")
        ->Obj("Range", {XlsRangeName(start_row, start_col, 0, col_offset)})
        ->Obj("Interior")
        ->Set("Color", std::int64_t{cell_title_color});
  if (cell_border_weight != bwNone)
    app.Obj("ActiveSheet")->Obj("Range", {block})->Obj("Borders")->Set("Color", std::int64_t{cell_border_color});
  auto font = app.Obj("ActiveSheet")->Obj("Cells")->Obj("Font");
  font->Set("Size", std::int64_t{cell_font.Size});
  font->Set("Name", cell_font.Name);
  font->Set("Color", std::int64_t{cell_font.Color});
  if (cell_font.Bold) font->Set("Bold", true);
  if (cell_font.Italic) font->Set("Italic", true);
  if (cell_font.Underline) font->Set("Underline", std::int64_t{2});
  if (cell_font.StrikeOut) font->Set("Strikethrough", true);
  if (!sheet_name.empty()) {
    std::string name = sheet_name;
    for (int n = 2; !XlsIsBookNameFree(app, name); ++n) name = sheet_name + "(" + std::to_string(n) + ")";
    app.Obj("ActiveSheet")->Set("Name", name);
    app.Obj("ActiveSheet")->Obj("PageSetup")->Set("CenterHeader", std::string("&A"));
  }
  if (auto_fit) app.Obj("ActiveSheet")->Obj("Cells")->Obj("EntireColumn")->Call("AutoFit");
  app.Obj("ActiveSheet")->Obj("Cells", {sr, sc})->Call("Select");
}

// ---------------------------------------------------------------- TGridCells

void TGridCells::Set(int col, int row, std::string_view text) {
  Ref &r = refs_[static_cast<std::size_t>(row) * cols_ + col];
  if (text.size() <= r.len) {
    if (!text.empty()) std::memmove(arena_.data() + r.off, text.data(), text.size());
    garbage_ += r.len - text.size();
    r.len = static_cast<std::uint32_t>(text.size());
    return;
  }
  if (text.data() >= arena_.data() && text.data() < arena_.data() + arena_.size()) {
    std::string copy(text);  // the text lives in the arena that may move
    Set(col, row, copy);
    return;
  }
  garbage_ += r.len;
  if (arena_.size() + text.size() > std::numeric_limits<std::uint32_t>::max()) {
    Compact();
    if (arena_.size() + text.size() > std::numeric_limits<std::uint32_t>::max())
      throw std::length_error("grid text exceeds 4 GiB");
  }
  Ref &fresh = refs_[static_cast<std::size_t>(row) * cols_ + col];
  fresh.off = static_cast<std::uint32_t>(arena_.size());
  fresh.len = static_cast<std::uint32_t>(text.size());
  arena_.append(text);
  if (garbage_ > (1u << 20) && garbage_ > arena_.size() / 2) Compact();
}

void TGridCells::Resize(int cols, int rows) {
  cols = std::max(cols, 0);
  rows = std::max(rows, 0);
  if (cols == cols_) {
    for (std::size_t i = static_cast<std::size_t>(rows) * cols; i < refs_.size(); ++i) garbage_ += refs_[i].len;
    refs_.resize(static_cast<std::size_t>(rows) * cols);
    rows_ = rows;
    return;
  }
  std::vector<Ref> fresh(static_cast<std::size_t>(rows) * cols);
  for (int r = 0; r < rows_; ++r)
    for (int c = 0; c < cols_; ++c) {
      const Ref &old = refs_[static_cast<std::size_t>(r) * cols_ + c];
      if (r < rows && c < cols)
        fresh[static_cast<std::size_t>(r) * cols + c] = old;
      else
        garbage_ += old.len;
    }
  refs_.swap(fresh);
  cols_ = cols;
  rows_ = rows;
}

void TGridCells::Clear(int cols, int rows) {
  arena_.clear();
  refs_.clear();
  garbage_ = 0;
  cols_ = std::max(cols, 0);
  rows_ = std::max(rows, 0);
  refs_.resize(static_cast<std::size_t>(cols_) * rows_);
}

void TGridCells::SwapRows(int a, int b) {
  std::swap_ranges(refs_.begin() + static_cast<std::ptrdiff_t>(a) * cols_,
                   refs_.begin() + static_cast<std::ptrdiff_t>(a + 1) * cols_,
                   refs_.begin() + static_cast<std::ptrdiff_t>(b) * cols_);
}

void TGridCells::DeleteRow(int row) {
  auto first = refs_.begin() + static_cast<std::ptrdiff_t>(row) * cols_;
  for (auto it = first; it != first + cols_; ++it) garbage_ += it->len;
  refs_.erase(first, first + cols_);
  --rows_;
}

void TGridCells::DeleteCol(int col) {
  std::vector<Ref> fresh;
  fresh.reserve(static_cast<std::size_t>(rows_) * (cols_ - 1));
  for (int r = 0; r < rows_; ++r)
    for (int c = 0; c < cols_; ++c) {
      const Ref &old = refs_[static_cast<std::size_t>(r) * cols_ + c];
      if (c == col)
        garbage_ += old.len;
      else
        fresh.push_back(old);
    }
  refs_.swap(fresh);
  --cols_;
}

void TGridCells::PermuteRows(int first, const std::vector<int> &order) {
  std::vector<Ref> moved(order.size() * cols_);
  for (std::size_t i = 0; i < order.size(); ++i)
    std::copy_n(refs_.begin() + static_cast<std::ptrdiff_t>(order[i]) * cols_, cols_,
                moved.begin() + static_cast<std::ptrdiff_t>(i) * cols_);
  std::copy(moved.begin(), moved.end(), refs_.begin() + static_cast<std::ptrdiff_t>(first) * cols_);
}

void TGridCells::Compact() {
  std::string fresh;
  fresh.reserve(arena_.size() - garbage_);
  for (Ref &r : refs_) {
    std::uint32_t off = static_cast<std::uint32_t>(fresh.size());
    fresh.append(arena_, r.off, r.len);
    r.off = r.len ? off : 0;
  }
  arena_.swap(fresh);
  garbage_ = 0;
}

void TGridCells::Trim() {
  // Only a sizeable share of dead or spare room is worth a copy of the arena.
  if (garbage_ > arena_.size() / 4) Compact();
  if (arena_.capacity() > arena_.size() + arena_.size() / 4 + 4096) arena_.shrink_to_fit();
  if (refs_.capacity() > refs_.size() + refs_.size() / 4 + 512) refs_.shrink_to_fit();
}

// ---------------------------------------------------------------- TXlsStringGrid: construction

TXlsStringGrid::TXlsStringGrid(QWidget *parent) : QAbstractScrollArea(parent) {
  cell_font_.Name = cp932::FromUtf8("ＭＳ Ｐゴシック");
  cells_.Clear(5, 5);
  col_widths_.assign(5, default_col_width_);
  row_heights_.assign(5, default_row_height_);
  row_objects_.assign(5, 0);
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
  row_heights_.resize(static_cast<std::size_t>(n), default_row_height_);
  row_objects_.resize(static_cast<std::size_t>(n), 0);
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
  std::fill(row_heights_.begin(), row_heights_.end(), h);
  RowHeightsChanged();
}

void TXlsStringGrid::SetColWidths(int col, int w) {
  if (col < 0 || col >= ColCount() || col_widths_[static_cast<std::size_t>(col)] == w) return;
  col_widths_[static_cast<std::size_t>(col)] = w;
  ColWidthsChanged();
}

void TXlsStringGrid::SetRowHeights(int row, int h) {
  if (row < 0 || row >= RowCount() || row_heights_[static_cast<std::size_t>(row)] == h) return;
  row_heights_[static_cast<std::size_t>(row)] = h;
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
  return (row >= 0 && row < RowCount()) ? row_objects_[static_cast<std::size_t>(row)] : 0;
}

void TXlsStringGrid::SetRowObject(int row, std::intptr_t v) {
  if (row >= 0 && row < RowCount()) row_objects_[static_cast<std::size_t>(row)] = v;
}

void TXlsStringGrid::SetShape(int col_count, int row_count, int fixed_rows, int fixed_cols) {
  col_count = std::max(col_count, 0);
  row_count = std::max(row_count, 0);
  cells_.Clear(col_count, row_count);
  col_widths_.assign(static_cast<std::size_t>(col_count), default_col_width_);
  row_heights_.assign(static_cast<std::size_t>(row_count), default_row_height_);
  row_objects_.assign(static_cast<std::size_t>(row_count), 0);
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
    for (int r = 0; r < row; ++r) y += row_heights_[static_cast<std::size_t>(r)] + line_width_;
    return y;
  }
  if (row < top_row_) return -1;
  for (int r = 0; r < fixed_rows_; ++r) y += row_heights_[static_cast<std::size_t>(r)] + line_width_;
  const int height = viewport()->height();
  for (int r = top_row_; r < row; ++r) {
    y += row_heights_[static_cast<std::size_t>(r)] + line_width_;
    if (y > height) return -1;
  }
  return y;
}

QRect TXlsStringGrid::CellRect(int col, int row) const {
  int x = ColLeft(col), y = RowTop(row);
  if (x < 0 || y < 0) return {};
  int w = col_widths_[static_cast<std::size_t>(col)];
  if (w <= 0 || x >= viewport()->width() || y >= viewport()->height()) return {};
  return QRect(x, y, w, row_heights_[static_cast<std::size_t>(row)]);
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
  row = LineAt(RowCount(), fixed_rows_, top_row_, [this](int r) { return row_heights_[static_cast<std::size_t>(r)]; },
               line_width_, viewport()->height(), y);
}

int TXlsStringGrid::VisibleRowCount() const {
  const int height = viewport()->height();
  int y = 0;
  for (int r = 0; r < fixed_rows_; ++r) y += row_heights_[static_cast<std::size_t>(r)] + line_width_;
  int n = 0;
  for (int r = top_row_; r < RowCount(); ++r) {
    int h = row_heights_[static_cast<std::size_t>(r)];
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
  for (int r = 0; r < fixed_rows_; ++r) y += row_heights_[static_cast<std::size_t>(r)] + line_width_;
  int top = RowCount();
  for (int r = RowCount() - 1; r >= fixed_rows_; --r) {
    int h = row_heights_[static_cast<std::size_t>(r)];
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
      for (int r = 0; r < fixed_rows_; ++r) y += row_heights_[static_cast<std::size_t>(r)] + line_width_;
      top = row_;
      for (int r = row_; r >= fixed_rows_; --r) {
        int h = row_heights_[static_cast<std::size_t>(r)];
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

// ---------------------------------------------------------------- painting

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
    int h = row_heights_[static_cast<std::size_t>(r)];
    if (h <= 0) continue;
    rows.push_back(r);
    ys.push_back(y);
    y += h + line_width_;
  }
  const QColor light = palette().color(QPalette::Midlight), dark = palette().color(QPalette::Mid);
  for (std::size_t i = 0; i < rows.size(); ++i)
    for (std::size_t j = 0; j < cols.size(); ++j) {
      const int c = cols[j], r = rows[i];
      QRect rect(xs[j], ys[i], col_widths_[static_cast<std::size_t>(c)], row_heights_[static_cast<std::size_t>(r)]);
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
    p.drawText(rect.adjusted(2, 2, -2, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
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

// ---------------------------------------------------------------- mouse and keys

bool TXlsStringGrid::ResizingCol(int x, int y) const {
  int c, r;
  MouseToCell(x, y, c, r);
  if (r != 0 || c < 0) return false;
  QRect rect = CellRect(c, r);
  if (rect.isEmpty()) return false;
  const int left = rect.left(), right = rect.left() + rect.width();
  return (x >= left - 5 && x <= left + 5) || (x >= right - 5 && x <= right + 5);
}

namespace {

// The column whose right border lies within 5 pixels of x in a fixed row, -1 when none.
int SizingColumn(const TXlsStringGrid &g, int x, int y) {
  int c, r;
  g.MouseToCell(x, y, c, r);
  if (r < 0 || r >= g.FixedRows() || c < 0) return -1;
  QRect rect = g.CellRect(c, r);
  if (rect.isEmpty()) return -1;
  const int right = rect.left() + rect.width();
  if (x >= right - 5) return c;
  if (x <= rect.left() + 5) {
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
  const int notches = wheel_rest_ / 120;
  wheel_rest_ -= notches * 120;
  if (notches != 0) ShowRowAtTop(top_row_ - notches);
  e->accept();
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

// ---------------------------------------------------------------- clipboard

int TXlsStringGrid::BuildClipboardText(std::string &text, std::size_t limit) const {
  text.clear();
  for (int r = ColumnName ? 0 : 1; r < RowCount(); ++r) {
    for (int c = StartData; c < ColCount(); ++c) {
      if (col_widths_[static_cast<std::size_t>(c)] <= 0) continue;
      std::string_view cell = Trim(CellView(c, r));
      if (text.size() + cell.size() > limit) return -3;
      text.append(cell);
      text += '\t';
    }
    text += "\r\n";
  }
  return 1;
}

int TXlsStringGrid::CopyClipboard() {
  if (RowCount() - FixedRows() <= 0) {
    if (ShowErrDlg) ErrorBox(Text(kNoData));
    return 2;
  }
  std::string text;
  if (BuildClipboardText(text, kClipboardLimit) != 1) {
    if (ShowErrDlg) ErrorBox(Text(kTooLarge));
    return -3;
  }
  SetClipboardText(text);
  return 1;
}

// ---------------------------------------------------------------- spreadsheet hand-off

struct TXlsStringGrid::THandOff {
  const char *prog_id;
  const char *start_failure;  // UTF-8
  const char *ole_error;      // UTF-8
  bool full;                  // panes, vertical range, second fit and orientation
};

int TXlsStringGrid::HandOff(const THandOff &h) {
  if (RowCount() - FixedRows() <= 0) {
    if (ShowErrDlg) ErrorBox(Text(kNoData));
    return 2;
  }
  TOleObjectPtr app;
  bool started = false;
  try {
    app = Automation().GetActiveObject(h.prog_id);
  } catch (const std::exception &) {
    try {
      app = Automation().CreateOleObject(h.prog_id);
      started = true;
    } catch (const EOleSysError &) {
      ErrorBox(Text(h.start_failure));
      return -1;
    }
  }
  // Leaves the program without prompts; a program that no longer answers is left alone.
  auto close = [&] {
    try {
      XlsCloseApp(*app, started);
    } catch (const EOleError &) {
    }
  };
  try {
    app->Obj("Workbooks")->Call("Add");
    int rc = CopyClipboard();
    if (rc != 1) {
      close();
      return rc;
    }
    XlsPasteAndFormat(*app, start_row_, start_col_, ColumnName, AutoFit, SheetName, cell_font_, CellTitleColor,
                      CellBorderColor, CellColor, CellBorderWeight, ColCount() - 1,
                      ColumnName ? RowCount() - 1 : RowCount() - 2);
    if (h.full) {
      if (FreezePanesRow > 0 || FreezePanesCol > 0) {
        app->Obj("ActiveSheet")->Obj("Range", {XlsRangeName(FreezePanesRow, FreezePanesCol, 0, 0)})->Call("Select");
        app->Obj("ActiveWindow")->Set("FreezePanes", true);
      }
      if (VerticalRangeRow > 0 || VerticalRangeCol > 0) {
        auto range = app->Obj("ActiveSheet")->Obj(
            "Range", {XlsRangeName(VerticalRangeRow, VerticalRangeCol, VerticalRangeRowCount, VerticalRangeColCount)});
        range->Set("HorizontalAlignment", std::int64_t{1});
        range->Set("VerticalAlignment", std::int64_t{-4160});
        range->Set("WrapText", false);
        range->Set("Orientation", std::int64_t{-4166});
        range->Set("AddIndent", false);
        range->Set("IndentLevel", std::int64_t{0});
        range->Set("ShrinkToFit", false);
        range->Set("ReadingOrder", std::int64_t{-5002});
        range->Set("MergeCells", false);
      }
      app->Obj("ActiveSheet")->Obj("Cells")->Obj("EntireColumn")->Call("AutoFit");
      app->Obj("ActiveSheet")->Obj("PageSetup")->Set("Orientation", std::int64_t{PageOrientation == xlLandscape ? 2 : 1});
    }
    app->Set("Visible", true);
    if (!started) app->Set("WindowState", std::int64_t{1});
    return 1;
  } catch (const std::exception &) {
    if (ShowErrDlg) ErrorBox(Text(h.ole_error));
    close();
    return -2;
  }
}

int TXlsStringGrid::CopyExcel() {
  static const THandOff h{"Excel.Application",
                          "MS-Excelを起動できませんでした。\r\nMS-Excelのインストールを確認してください。",
                          "ＯＬＥ実行中にエラーが発生しました。", true};
  return HandOff(h);
}

int TXlsStringGrid::CopyJustCalc() {
  static const THandOff h{"JustCalc.Application",
                          "JustCalc を起動できませんでした。\r\nJustCalc のインストールを確認してください。",
                          "OLE実行中にエラーが発生しました。", true};
  return HandOff(h);
}

int TXlsStringGrid::CopyKingsoft() {
  static const THandOff h{
      "ET.Application",
      "Kingsoft Spreadsheets を起動できませんでした。\r\nKingsoft Spreadsheets のインストールを確認してください。",
      "ＯＬＥ実行中にエラーが発生しました。", false};
  return HandOff(h);
}

// ---------------------------------------------------------------- CSV and HTML

int TXlsStringGrid::SetCommaText() {
  if (CSVFileName.empty()) {
    if (ShowErrDlg) ErrorBox(Text(kNoCsv));
    return -1;
  }
  std::string out;
  const int last = ColCount() - 1;
  for (int r = 0; r < RowCount(); ++r) {
    for (int c = 0; c <= last; ++c) {
      if (col_widths_[static_cast<std::size_t>(c)] > 0) {
        std::string_view cell = Trim(CellView(c, r));
        // A field holding a separator, a quote or a line break is quoted, so that it
        // reads back as one field.
        if (cell.find_first_of(",\"\r\n") != std::string_view::npos) {
          out += '"';
          for (char ch : cell) {
            if (ch == '"') out += '"';
            out += ch;
          }
          out += '"';
        } else {
          out.append(cell);
        }
        if (c != last) out += ',';
      }
      if (c == last) out += CSVEndComma ? ",\r\n" : "\r\n";
    }
  }
  WriteBytes(CSVFileName, out);
  return 0;
}

int TXlsStringGrid::GetCommaText() {
  std::error_code ec;
  if (CSVFileName.empty() || !std::filesystem::is_regular_file(FilePath(CSVFileName), ec)) {
    if (ShowErrDlg) ErrorBox(Text(kNoCsv));
    return -1;
  }
  std::ifstream f(FilePath(CSVFileName), std::ios::binary);
  if (!f) throw std::runtime_error("cannot read file " + cp932::ToUtf8(CSVFileName));
  std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  csv_list_.SetCsvText(bytes);
  const int cols = ColCount();
  if (cols <= 0) return 0;
  BeginUpdate();
  long long placed = 0;
  const long long period = static_cast<long long>(cols) + fixed_cols_ + 1;
  for (int k = 1; k <= csv_list_.Count(); ++k) {
    if (CSVEndComma && k % period == 0) continue;
    const long long n = placed++;
    const int col = static_cast<int>(n % cols) + fixed_cols_;
    const long long row = n / cols + fixed_rows_;
    if (row >= RowCount()) {
      if (!ExtendRows || row >= std::numeric_limits<int>::max()) continue;
      SetRowCount(static_cast<int>(row) + 1);
    }
    if (col < cols) SetCells(col, static_cast<int>(row), Trim(csv_list_.Strings[static_cast<std::size_t>(k - 1)]));
  }
  if (ExtendRows) SetRowCount(static_cast<int>(placed / cols) + fixed_rows_);
  EndUpdate();
  return 0;
}

namespace {

// Cell text for an HTML page: the characters that would open markup or an entity are escaped.
void AppendHtmlText(std::string &out, std::string_view s) {
  for (char ch : s) {
    switch (ch) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += ch;
    }
  }
}

}  // namespace

int TXlsStringGrid::SetHTML() {
  if (HTMLFileName.empty()) {
    if (ShowErrDlg) ErrorBox(Text(kNoHtml));
    return -1;
  }
  std::string out =
      "<html>\r\n"
      "<link rel=\"stylesheet\" href=\"actable.css\" type=\"text/css\" >\r\n"
      "<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\"></head>\r\n"
      "<body>\r\n"
      "<table border=\"1\" style=\"border-collapse: collapse;\">\r\n";
  for (int r = 0; r < RowCount(); ++r) {
    const bool fixed = r < fixed_rows_;
    out += fixed ? "<tr class=\"header\">\r\n" : (r % 2 ? "<tr class=\"odd\">\r\n" : "<tr class=\"even\">\r\n");
    for (int c = 0; c < ColCount(); ++c) {
      if (col_widths_[static_cast<std::size_t>(c)] <= 0) continue;
      out += fixed ? "\t<th>" : "\t<td>";
      AppendHtmlText(out, Trim(CellView(c, r)));
      out += fixed ? "</th>\r\n" : "</td>\r\n";
    }
    out += "</tr>\r\n";
  }
  out += "</table>\r\n</body>\r\n</html>\r\n";
  WriteBytes(HTMLFileName, out);
  return 0;
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
  std::swap(row_objects_[static_cast<std::size_t>(row_)], row_objects_[static_cast<std::size_t>(other)]);
  FocusCell(col_, other, true);
}

void TXlsStringGrid::RemoveColumn(int index) {
  if (index < 0 || index >= ColCount()) return;
  BeginUpdate();
  const int col = col_, left = left_col_;
  cells_.DeleteCol(index);
  col_widths_.erase(col_widths_.begin() + index);
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
  row_heights_.erase(row_heights_.begin() + index);
  row_objects_.erase(row_objects_.begin() + index);
  if (fixed_rows_ > RowCount()) fixed_rows_ = RowCount();
  row_ = anchor_row_ = std::min(row, RowCount() - 1);
  anchor_col_ = col_;
  top_row_ = top;
  Changed();
  EndUpdate();
}

// ---------------------------------------------------------------- header sort

bool TXlsStringGrid::NumericKey(std::string_view text, double &value) const {
  std::string_view s = Trim(text);
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t exp = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++exp;
    if (exp == 0) return false;
  }
  if (i != s.size()) return false;
  value = std::strtod(std::string(s).c_str(), nullptr);
  return true;
}

void TXlsStringGrid::SortGrid(TMouseButton button, TShiftState shift, int x, int y, TXlSortOrder order,
                              bool numeric) {
  int c, r;
  MouseToCell(x, y, c, r);
  if (fixed_rows_ == 0 || c < 0 || r < 0) {
    GridMouseDown(button, shift, x, y);
    return;
  }
  if (r >= fixed_rows_) return;
  SortCol = c;
  SortOrder = order;

  TSortedList list;
  for (int row = fixed_rows_; row < RowCount(); ++row) list.Add(std::string(CellView(c, row)), row);
  // Numeric sort key: empty cells first, then numbers by value, then other texts by their
  // bytes; every pair compares the same way whichever comes first.
  struct Key {
    int kind;  // 0 empty, 1 number, 2 other text
    double value;
  };
  std::vector<Key> keys(list.Items.size());
  bool bad = false;
  if (numeric)
    for (std::size_t i = 0; i < keys.size(); ++i) {
      const std::string &v = list.Items[i].Value;
      if (v.empty()) keys[i] = {0, 0};
      else if (NumericKey(v, keys[i].value)) keys[i].kind = 1;
      else {
        keys[i] = {2, 0};
        bad = true;
      }
    }
  std::vector<int> idx(list.Items.size());
  for (std::size_t i = 0; i < idx.size(); ++i) idx[i] = static_cast<int>(i);
  auto compare = [&](int a, int b) {
    const TXlSortedListEntry &ea = list.Items[static_cast<std::size_t>(a)];
    const TXlSortedListEntry &eb = list.Items[static_cast<std::size_t>(b)];
    int res = 0;
    if (numeric && keys[a].kind != keys[b].kind) res = keys[a].kind < keys[b].kind ? -1 : 1;
    else if (numeric && keys[a].kind == 1)
      res = keys[a].value < keys[b].value ? -1 : (keys[a].value > keys[b].value ? 1 : 0);
    else {
      int cmp = ea.Value.compare(eb.Value);
      res = cmp < 0 ? -1 : (cmp > 0 ? 1 : 0);
    }
    if (order == xlSortDesc) res = -res;
    if (res == 0) return ea.Row < eb.Row;
    return res < 0;
  };
  std::sort(idx.begin(), idx.end(), compare);
  std::vector<int> rows(idx.size());
  std::vector<std::intptr_t> objects(idx.size());
  for (std::size_t i = 0; i < idx.size(); ++i) {
    rows[i] = list.Items[static_cast<std::size_t>(idx[i])].Row;
    objects[i] = row_objects_[static_cast<std::size_t>(rows[i])];
  }
  cells_.PermuteRows(fixed_rows_, rows);
  std::copy(objects.begin(), objects.end(), row_objects_.begin() + fixed_rows_);
  viewport()->update();
  if (bad && ShowErrDlg) ErrorBox(Text(kBadSort));
}
