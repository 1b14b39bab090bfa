// The cell texts of the result grid, kept compactly: one arena of bytes for a whole result,
// one (offset, length) pair per cell. Plain C++, so that it is built and tested without Qt.
#pragma once

#include <cstddef>
#include <cstdint>
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
