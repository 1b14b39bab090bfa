// Sorting the result grid's data rows by a clicked header: the sort entries and the order
// they take. The grid's SortGrid lives beside it.
#pragma once

#include <string>
#include <vector>

enum TXlSortOrder { xlSortAsc, xlSortDesc };

struct TXlSortedListEntry {
  std::string Value;  // cell text of the sort column
  int Row = 0;        // the row's index before the sort
};

// The sort entries of one header sort.
class TSortedList {
 public:
  std::vector<TXlSortedListEntry> Items;
  int Count() const { return static_cast<int>(Items.size()); }
  void Clear() { Items.clear(); }
  void Add(std::string value, int row) { Items.push_back({std::move(value), row}); }
};

// The entries' indexes in sorted order. Text compares by its bytes. A numeric sort puts
// empty texts first, then numbers by value, then other texts by their bytes, and sets
// not_numbers when there is such a text. Entries that compare equal keep their rows' order.
std::vector<int> SortedOrder(const TSortedList &list, TXlSortOrder order, bool numeric, bool &not_numbers);
