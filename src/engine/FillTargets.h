// What the query object fills from a result table, without knowing the widgets: the items
// of a combo box, list box or check list box, and the cells of a result grid. The
// components implement these over their widgets; tests may implement them in memory.
#pragma once

#include <string>
#include <string_view>

// The items of a list-like control (combo box, list box, check list box).
class IStringsTarget {
 public:
  virtual ~IStringsTarget() = default;
  virtual void BeginUpdate() {}
  virtual void EndUpdate() {}
  virtual void Clear() = 0;
  virtual void Add(const std::string &item) = 0;  // program text (CP932)
  virtual bool Contains(const std::string &item) const = 0;
  virtual int Count() const = 0;
};

// A result grid: row 0 holds the captions, the cells are addressed (column, row).
class IGridTarget {
 public:
  virtual ~IGridTarget() = default;
  virtual std::string Name() const = 0;  // the component name, e.g. "gdTekiyo"
  virtual bool Visible() const = 0;
  virtual void SetVisible(bool visible) = 0;
  virtual void SetRedraw(bool on) = 0;  // suspends and resumes painting
  virtual void SetRowCount(int rows) = 0;
  virtual void SetColCount(int cols) = 0;
  virtual void SetFixedRows(int rows) = 0;
  virtual void SetFixedCols(int cols) = 0;
  virtual void SetCell(int col, int row, std::string_view text) = 0;
};

// A log: the main window's log pane or the update window's log. Lines are program text.
class ILogTarget {
 public:
  virtual ~ILogTarget() = default;
  virtual void AddLine(const std::string &line) = 0;
};

// A progress bar that long build steps advance.
class IProgressTarget {
 public:
  virtual ~IProgressTarget() = default;
  virtual void SetRange(int min, int max) = 0;
  virtual void SetPosition(int position) = 0;
  virtual int Position() const = 0;
};
