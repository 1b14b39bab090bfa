#include "components/grid/ExcelUtilSort.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "components/QtServices.h"
#include "components/grid/ExcelUtil.h"
#include "components/grid/ExcelUtilText.h"

using xlsgrid::Text;
using xlsgrid::Trim;

namespace {

const char *const kBadSort = "ソートタイプの指定が不正です。";

// The value of a text that is a decimal number (sign, digits, point, exponent; blanks
// around it allowed); false for any other text.
bool NumericKey(std::string_view text, double &value) {
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

}  // namespace

std::vector<int> SortedOrder(const TSortedList &list, TXlSortOrder order, bool numeric, bool &not_numbers) {
  // Numeric sort key: empty cells first, then numbers by value, then other texts by their
  // bytes; every pair compares the same way whichever comes first.
  struct Key {
    int kind;  // 0 empty, 1 number, 2 other text
    double value;
  };
  std::vector<Key> keys(list.Items.size());
  not_numbers = false;
  if (numeric)
    for (std::size_t i = 0; i < keys.size(); ++i) {
      const std::string &v = list.Items[i].Value;
      if (v.empty()) keys[i] = {0, 0};
      else if (NumericKey(v, keys[i].value)) keys[i].kind = 1;
      else {
        keys[i] = {2, 0};
        not_numbers = true;
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
  return idx;
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
  bool bad = false;
  const std::vector<int> idx = SortedOrder(list, order, numeric, bad);
  std::vector<int> rows(idx.size());
  for (std::size_t i = 0; i < idx.size(); ++i) rows[i] = list.Items[static_cast<std::size_t>(idx[i])].Row;
  cells_.PermuteRows(fixed_rows_, rows);
  row_objects_.Permute(fixed_rows_, rows);
  viewport()->update();
  if (bad && ShowErrDlg) ErrorBox(Text(kBadSort));
}
