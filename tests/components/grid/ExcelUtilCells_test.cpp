// The result grid's cell store on its own, without a window.
#include "components/grid/ExcelUtilCells.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Label(int col, int row, int round) {
  // Texts of growing length, so that every rewrite leaves its old bytes dead in the arena.
  return std::to_string(col) + "," + std::to_string(row) + ":" + std::string(static_cast<std::size_t>(round) * 40, 'x');
}

}  // namespace

TEST(GridCells, RewritesPastTheCompactionThresholdKeepEveryCell) {
  TGridCells cells;
  cells.Clear(3, 4);
  std::vector<std::string> expect(12);
  std::size_t live = 0;
  for (int round = 1; round <= 150; ++round) {
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 3; ++c) {
        // One cell goes empty every other round: an empty cell takes no room after a compaction.
        std::string text = (c == 1 && r == 2 && round % 2) ? std::string() : Label(c, r, round);
        cells.Set(c, r, text);
        expect[static_cast<std::size_t>(r * 3 + c)] = text;
      }
    // The store compacts in the middle of a round now and then: the cells written before
    // and after it must read back alike.
    live = 0;
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 3; ++c) {
        ASSERT_EQ(cells.Get(c, r), expect[static_cast<std::size_t>(r * 3 + c)]) << c << "," << r << " round " << round;
        live += expect[static_cast<std::size_t>(r * 3 + c)].size();
      }
    ASSERT_EQ(cells.TextBytes(), live) << "round " << round;
  }
  // About 5 MB were written over time; the store keeps no more than a few times the live text.
  cells.Trim();
  EXPECT_LT(cells.BytesHeld(), 4 * live);
}

TEST(GridCells, ReshapesKeepEachCellAtItsPlaceAndCountOnlyLiveText) {
  TGridCells cells;
  cells.Clear(3, 3);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) cells.Set(c, r, Label(c, r, 0));
  cells.Resize(2, 4);  // one column less, one row more
  cells.Set(1, 3, "new");
  cells.Resize(4, 4);  // two columns more
  cells.DeleteCol(0);
  cells.PermuteRows(1, {2, 1});
  cells.DeleteRow(3);
  const std::vector<std::vector<std::string>> want = {
      {Label(1, 0, 0), "", ""},
      {Label(1, 2, 0), "", ""},
      {Label(1, 1, 0), "", ""},
  };
  ASSERT_EQ(cells.ColCount(), 3);
  ASSERT_EQ(cells.RowCount(), 3);
  std::size_t live = 0;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      EXPECT_EQ(cells.Get(c, r), want[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)]) << c << "," << r;
      live += want[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)].size();
    }
  EXPECT_EQ(cells.TextBytes(), live);
}
