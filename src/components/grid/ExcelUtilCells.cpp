#include "components/grid/ExcelUtilCells.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace {

// Dead bytes (texts overwritten or dropped) that are worth copying the arena for, once they
// are also more than half of it.
constexpr std::size_t kCompactAfterDeadBytes = std::size_t{1} << 20;

}  // namespace

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
  if (garbage_ > kCompactAfterDeadBytes && garbage_ > arena_.size() / 2) Compact();
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
  // The storage of the last result goes with it: a new result of another size is allocated
  // to its own size, never grown out of the old (and copied again to trim it).
  std::string().swap(arena_);
  std::vector<Ref>().swap(refs_);
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
  // In place: each kept reference moves down over the removed ones, so a large grid is not
  // copied into fresh memory for every column the width computation removes.
  std::size_t to = 0;
  for (int r = 0; r < rows_; ++r)
    for (int c = 0; c < cols_; ++c) {
      const Ref old = refs_[static_cast<std::size_t>(r) * cols_ + c];
      if (c == col)
        garbage_ += old.len;
      else
        refs_[to++] = old;
    }
  refs_.resize(to);
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
