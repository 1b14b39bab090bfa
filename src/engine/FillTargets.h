// What the query object fills from a result table, without knowing the widgets: the items
// of a combo box, list box or check list box (the result grid is an IGridSink), the log
// and the progress bar. The components implement these over their widgets; tests may
// implement them in memory.
#pragma once

#include <string>
#include <string_view>

#include "engine/GridSink.h"

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
