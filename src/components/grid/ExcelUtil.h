// The result grid: a string grid that holds whole query results (cells as CP932 text kept
// compactly, only the visible cells painted) and writes them to the clipboard, CSV and
// HTML files and spreadsheet programs, sorts by a clicked header, and moves and removes
// rows and columns. This header brings its companions too: the cell store (TGridCells),
// the CSV splitter (TStringListExt), the hand-off steps and the sort entries (TSortedList).
//
// Its code is split by concern: ExcelUtil.cpp the grid itself (cells, counts, sizes, rows
// and columns), ExcelUtilScroll.cpp geometry, scrolling and selection, ExcelUtilPaint.cpp
// painting, ExcelUtilInput.cpp mouse and keys, ExcelUtilCells the cell store,
// ExcelUtilCsv the CSV and HTML files, ExcelUtilHandOff the clipboard and spreadsheet
// hand-off, ExcelUtilSort the header sort.
#pragma once

#include <QAbstractScrollArea>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "components/ControlTypes.h"
#include "components/grid/ExcelUtilCells.h"
#include "components/grid/ExcelUtilCsv.h"
#include "components/grid/ExcelUtilHandOff.h"
#include "components/grid/ExcelUtilSort.h"
#include "engine/GridSink.h"

class QPainter;

using TGridOptions = unsigned;
enum : unsigned {
  goFixedVertLine = 0x1,
  goFixedHorzLine = 0x2,
  goVertLine = 0x4,
  goHorzLine = 0x8,
  goRangeSelect = 0x10,
  goDrawFocusSelected = 0x20,
  goRowSizing = 0x40,
  goColSizing = 0x80,
  goRowSelect = 0x100,
  goThumbTracking = 0x200,
};

using TGridDrawState = unsigned;
enum : unsigned { gdSelected = 1, gdFocused = 2, gdFixed = 4 };

struct TGridRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool operator==(const TGridRect &) const = default;
};

class TXlsStringGrid : public QAbstractScrollArea, public IGridSink {
  Q_OBJECT
  // What a form layout sets on a grid.
  Q_PROPERTY(bool ColumnName MEMBER ColumnName)
  Q_PROPERTY(bool ShowErrDlg MEMBER ShowErrDlg)
  Q_PROPERTY(bool AutoFit MEMBER AutoFit)
  Q_PROPERTY(bool ExtendRows MEMBER ExtendRows)
  Q_PROPERTY(bool CSVEndComma MEMBER CSVEndComma)
  Q_PROPERTY(bool DefaultDrawing MEMBER DefaultDrawing)
  Q_PROPERTY(bool ProportionalScrollBars READ ProportionalScrollBars WRITE SetProportionalScrollBars)
  Q_PROPERTY(int ColCount READ ColCount WRITE SetColCount)
  Q_PROPERTY(int RowCount READ RowCount WRITE SetRowCount)
  Q_PROPERTY(int FixedCols READ FixedCols WRITE SetFixedCols)
  Q_PROPERTY(int FixedRows READ FixedRows WRITE SetFixedRows)
  Q_PROPERTY(int DefaultColWidth READ DefaultColWidth WRITE SetDefaultColWidth)
  Q_PROPERTY(int DefaultRowHeight READ DefaultRowHeight WRITE SetDefaultRowHeight)
  Q_PROPERTY(int GridLineWidth READ GridLineWidth WRITE SetGridLineWidth)
  Q_PROPERTY(int Options READ OptionBits WRITE SetOptionBits)
  Q_PROPERTY(int ScrollBars READ ScrollBarsValue WRITE SetScrollBarsValue)

 public:
  explicit TXlsStringGrid(QWidget *parent = nullptr);
  ~TXlsStringGrid() override;

  // ---- Published properties (plain values) ----
  bool ColumnName = true;
  bool ShowErrDlg = true;
  std::uint16_t StartData = 0;
  bool AutoFit = true;
  std::string SheetName;
  TColor CellColor = clNone;
  TColor CellTitleColor = clNone;
  TCellBorderWeight CellBorderWeight = bwNone;
  TColor CellBorderColor = clBlack;
  TPageOrientation PageOrientation = xlPortrait;
  std::string CSVFileName;
  bool ExtendRows = true;
  bool CSVEndComma = false;
  std::string ExcelFileName;
  std::string HTMLFileName;
  int SortCol = 0;  // follows its column when columns are removed; -1 once it is removed
  TXlSortOrder SortOrder = xlSortAsc;
  int FreezePanesRow = 0, FreezePanesCol = 0;
  int VerticalRangeRow = 0, VerticalRangeCol = 0;
  int VerticalRangeRowCount = 0, VerticalRangeColCount = 0;

  // ---- Published properties with behaviour ----
  std::uint16_t StartRow() const { return start_row_; }
  void SetStartRow(std::uint16_t v);  // 0 is refused with a box
  std::uint16_t StartCol() const { return start_col_; }
  void SetStartCol(std::uint16_t v);
  const TCellFont &CellFont() const { return cell_font_; }
  void SetCellFont(const TCellFont *font);  // copies; nullptr is ignored
  bool ProportionalScrollBars() const { return proportional_; }
  void SetProportionalScrollBars(bool on);

  // ---- Output and editing operations ----
  int CopyClipboard();
  int CopyExcel();
  int CopyJustCalc();
  int CopyKingsoft();
  int SetCommaText();  // 0 written, -1 no file name, -2 cancelled (the file as it was)
  int GetCommaText();
  int SetHTML();
  int MoveUp();
  int MoveDown();
  void RemoveColumn(int index);
  void RemoveRow(int index);
  void SortGrid(TMouseButton button, TShiftState shift, int x, int y, TXlSortOrder order, bool numeric);
  bool ResizingCol(int x, int y) const;
  void BeginUpdate() override;
  void EndUpdate() override;

  // ---- The string grid ----
  int ColCount() const { return cells_.ColCount(); }
  void SetColCount(int n);
  int RowCount() const { return cells_.RowCount(); }
  void SetRowCount(int n);
  int FixedCols() const { return fixed_cols_; }
  void SetFixedCols(int n);
  int FixedRows() const { return fixed_rows_; }
  void SetFixedRows(int n);
  int DefaultColWidth() const { return default_col_width_; }
  void SetDefaultColWidth(int w);  // every column takes it
  int DefaultRowHeight() const { return default_row_height_; }
  void SetDefaultRowHeight(int h);  // every row takes it
  int ColWidths(int col) const { return col_widths_[static_cast<std::size_t>(col)]; }
  void SetColWidths(int col, int w);
  int RowHeights(int row) const { return row_heights_.Get(row); }
  void SetRowHeights(int row, int h);
  int GridLineWidth() const { return line_width_; }
  void SetGridLineWidth(int w);
  TGridOptions Options() const { return options_; }
  void SetOptions(TGridOptions o);
  TScrollStyle ScrollBars() const { return scroll_bars_; }
  void SetScrollBars(TScrollStyle s);
  int OptionBits() const { return static_cast<int>(options_); }
  void SetOptionBits(int o) { SetOptions(static_cast<TGridOptions>(o)); }
  int ScrollBarsValue() const { return scroll_bars_; }
  void SetScrollBarsValue(int s) { SetScrollBars(static_cast<TScrollStyle>(std::clamp(s, 0, 3))); }
  bool DefaultDrawing = true;

  std::string Cells(int col, int row) const { return std::string(CellView(col, row)); }
  std::string_view CellView(int col, int row) const;
  void SetCells(int col, int row, std::string_view text);
  std::vector<std::string> Rows(int row) const;
  // The object of a row's first cell (0 when none): moves with the row in sorts and moves.
  std::intptr_t RowObject(int row) const;
  void SetRowObject(int row, std::intptr_t v);

  int TopRow() const { return top_row_; }
  void SetTopRow(int r);
  int LeftCol() const { return left_col_; }
  void SetLeftCol(int c);
  int VisibleRowCount() const;
  int VisibleColCount() const;
  int Col() const { return col_; }
  int Row() const { return row_; }
  void SetCol(int c) { FocusCell(c, row_, true); }
  void SetRow(int r) { FocusCell(col_, r, true); }
  TGridRect Selection() const;
  void SetSelection(const TGridRect &r);
  // Moves the current cell (and, with move_anchor, collapses the selection to it) and
  // scrolls it into view.
  void FocusCell(int col, int row, bool move_anchor);

  // Cell geometry in client (viewport) coordinates; an empty rectangle when not shown.
  QRect CellRect(int col, int row) const;
  void MouseToCell(int x, int y, int &col, int &row) const;
  // Column and row under the last mouse press, -1 when no button is down.
  int MouseCol() const { return mouse_col_; }
  int MouseRow() const { return mouse_row_; }

  // Bytes held for cell texts and how many text bytes they are.
  std::size_t CellBytesHeld() const { return cells_.BytesHeld(); }
  std::size_t CellTextBytes() const { return cells_.TextBytes(); }

  // ---- Events of the owner ----
  std::function<void(TXlsStringGrid &, int col, int row, QPainter &, const QRect &, TGridDrawState)> OnDrawCell;
  std::function<void(TXlsStringGrid &, TMouseButton, TShiftState, int x, int y)> OnMouseDown;
  std::function<void(TXlsStringGrid &, TMouseButton, TShiftState, int x, int y)> OnMouseUp;
  std::function<void(TXlsStringGrid &, TShiftState, int x, int y)> OnMouseMove;
  std::function<void(TXlsStringGrid &)> OnClick;
  std::function<void(TXlsStringGrid &)> OnDblClick;
  // key is a Qt::Key value; setting it to 0 stops the grid's own handling.
  std::function<void(TXlsStringGrid &, int &key, TShiftState)> OnKeyDown;
  std::function<void(TXlsStringGrid &)> OnColWidthsChanged;
  std::function<void(TXlsStringGrid &)> OnRowHeightsChanged;
  std::function<void(TXlsStringGrid &)> OnTopLeftChanged;

  // ---- IGridSink ----
  std::string GridName() const override;
  void SetGridVisible(bool visible) override { setVisible(visible); }
  void SetShape(int col_count, int row_count, int fixed_rows, int fixed_cols) override;
  void ReserveText(std::size_t bytes) override { cells_.Reserve(bytes); }
  void SetCell(int col, int row, std::string_view text) override { SetCells(col, row, text); }
  void SetRowCells(int row, const std::string_view *cells, int count) override;

  // Text of the clipboard copy; 1 done, -3 when it would exceed limit bytes.
  int BuildClipboardText(std::string &text, std::size_t limit) const;

 protected:
  void paintEvent(QPaintEvent *e) override;
  void resizeEvent(QResizeEvent *e) override;
  void showEvent(QShowEvent *e) override;
  void mousePressEvent(QMouseEvent *e) override;
  void mouseMoveEvent(QMouseEvent *e) override;
  void mouseReleaseEvent(QMouseEvent *e) override;
  void mouseDoubleClickEvent(QMouseEvent *e) override;
  void keyPressEvent(QKeyEvent *e) override;
  void wheelEvent(QWheelEvent *e) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  struct THandOff;
  int HandOff(const THandOff &h);
  void SwapCurrentRowWith(int other);
  void GridMouseDown(TMouseButton button, TShiftState shift, int x, int y);
  void DrawCell(QPainter &p, int col, int row, const QRect &rect);
  void Changed();  // counts, sizes or widths changed: scroll bars, bounds, repaint
  void UpdateScrollBars();
  void ApplyTopLeft(int top, int left);
  void ShowRowAtTop(int r);
  int MaxTopRow() const;
  int MaxLeftCol() const;
  int RowTop(int row) const;   // y of a row's top when shown, -1 otherwise
  int ColLeft(int col) const;  // x of a column's left when shown, -1 otherwise
  void ColWidthsChanged();
  void RowHeightsChanged();
  void ClampCurrent();
  void OnVScrollAction(int action);
  void OnHScrollAction(int action);

  TGridCells cells_;
  std::vector<int> col_widths_;
  TSparseRows<int> row_heights_;  // its common value is default_row_height_
  TSparseRows<std::intptr_t> row_objects_;
  int fixed_cols_ = 1, fixed_rows_ = 1;
  int default_col_width_ = 64, default_row_height_ = 24;
  int line_width_ = 1;
  TGridOptions options_ = goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goRangeSelect;
  TScrollStyle scroll_bars_ = ssBoth;
  int top_row_ = 1, left_col_ = 1;
  int col_ = 1, row_ = 1;
  int anchor_col_ = 1, anchor_row_ = 1;
  int mouse_col_ = -1, mouse_row_ = -1;
  int update_count_ = 0;
  int sizing_col_ = -1, sizing_origin_ = 0;
  int wheel_rest_ = 0;
  bool in_scroll_update_ = false;
  bool selecting_ = false;
  std::uint16_t start_row_ = 1, start_col_ = 1;
  TCellFont cell_font_;
  bool proportional_ = false;
  TStringListExt csv_list_;
};
