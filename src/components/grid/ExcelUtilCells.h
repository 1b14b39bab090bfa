// The cell texts of the result grid, kept compactly: one arena of bytes for a whole result,
// one (offset, length) pair per cell; and the values a grid keeps per row (heights, row
// objects), held as one common value and the rows that differ from it. Plain C++, so that
// it is built and tested without Qt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

class TGridCells {
 public:
  int ColCount() const { return cols_; }
  int RowCount() const { return rows_; }
  std::string_view Get(int col, int row) const {
    const Ref &r = refs_[static_cast<std::size_t>(row) * cols_ + col];
    return std::string_view(arena_.data() + r.off, r.len);
  }
  void Set(int col, int row, std::string_view text);
  // Keeps every cell at its (col, row) that still exists.
  void Resize(int cols, int rows);
  void Clear(int cols, int rows);
  void Reserve(std::size_t bytes) { arena_.reserve(arena_.size() + bytes); }
  void SwapRows(int a, int b);
  void DeleteRow(int row);
  void DeleteCol(int col);
  // Rows first..first+order.size()-1 become the rows order[0], order[1] ... of before.
  void PermuteRows(int first, const std::vector<int> &order);
  // Releases spare capacity after a fill.
  void Trim();
  // Bytes held for the cells (arena and references), and the text bytes they hold.
  std::size_t BytesHeld() const { return arena_.capacity() + refs_.capacity() * sizeof(Ref); }
  std::size_t TextBytes() const { return arena_.size() - garbage_; }

 private:
  struct Ref {
    std::uint32_t off = 0, len = 0;
  };
  void Compact();
  std::string arena_;
  std::vector<Ref> refs_;
  int cols_ = 0, rows_ = 0;
  std::size_t garbage_ = 0;
};

// A value per row that is the same for nearly every row: the common value once and only the
// rows that differ from it, so that a result of millions of rows needs no array per row.
template <class T>
class TSparseRows {
 public:
  T Get(int row) const {
    const auto it = differ_.find(row);
    return it == differ_.end() ? common_ : it->second;
  }
  void Set(int row, T value) {
    if (value == common_) differ_.erase(row);
    else differ_[row] = value;
  }
  // Every row takes the value.
  void Reset(T common) {
    common_ = common;
    differ_.clear();
  }
  // The rows from count on go; rows added later take the common value.
  void Truncate(int count) { differ_.erase(differ_.lower_bound(count), differ_.end()); }
  // The row goes and the rows below it move up.
  void Erase(int row) {
    std::map<int, T> moved;
    for (const auto &[r, v] : differ_)
      if (r != row) moved.emplace_hint(moved.end(), r < row ? r : r - 1, v);
    differ_.swap(moved);
  }
  void Swap(int a, int b) {
    const T va = Get(a), vb = Get(b);
    Set(a, vb);
    Set(b, va);
  }
  // Rows first..first+order.size()-1 take the values of the rows order[0], order[1] ... of before.
  void Permute(int first, const std::vector<int> &order) {
    if (differ_.empty()) return;
    std::vector<T> values(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) values[i] = Get(order[i]);
    for (std::size_t i = 0; i < order.size(); ++i) Set(first + static_cast<int>(i), values[i]);
  }

 private:
  T common_{};
  std::map<int, T> differ_;
};
