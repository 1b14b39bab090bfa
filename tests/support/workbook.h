// Raw BIFF8 workbooks, the form the publisher's workbooks come in, made from a few cells.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace qmtest {

// A sheet: its name and its rows of cells (UTF-8; an empty cell is left out).
using Sheet = std::pair<std::string, std::vector<std::vector<std::string>>>;

// Globals with the sheet names, then each sheet's cells; a cell whose text reads as a number
// is written as a number, any other as a text.
std::string Workbook(const std::vector<Sheet> &sheets);

}  // namespace qmtest
