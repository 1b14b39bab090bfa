// What the query object needs of a result grid to fill it from a buffered result, without
// knowing any widget: the grid's name, its visibility, suspended redrawing, its shape and
// its cells as program text (CP932). The result grid of the component library implements it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

class IGridSink {
 public:
  virtual ~IGridSink() = default;
  // The component name of the grid ("gdTekiyo", "gdSeizai" ...).
  virtual std::string GridName() const = 0;
  virtual void SetGridVisible(bool visible) = 0;
  // Nested suspension of painting.
  virtual void BeginUpdate() = 0;
  virtual void EndUpdate() = 0;
  // Empties every cell and sets the counts (row_count includes the fixed rows).
  virtual void SetShape(int col_count, int row_count, int fixed_rows, int fixed_cols) = 0;
  // Expected total bytes of the cell texts to come (a hint; may be 0).
  virtual void ReserveText(std::size_t bytes) = 0;
  virtual void SetCell(int col, int row, std::string_view text) = 0;
  // Cells 0..count-1 of one row; cells past ColCount are ignored.
  virtual void SetRowCells(int row, const std::string_view *cells, int count) = 0;
};

// The cells of a sheet read for the database build: a workbook sheet held in a grid.
class ICellSource {
 public:
  virtual ~ICellSource() = default;
  virtual int RowCount() const = 0;
  virtual int ColCount() const = 0;
  // Cell text (program text); empty outside the sheet.
  virtual std::string_view CellView(int col, int row) const = 0;
};
