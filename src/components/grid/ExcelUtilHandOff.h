// Handing the result grid to a spreadsheet program by automation: the formatting the grid
// asks for, the column letters and ranges of a sheet, and the steps that paste and format
// the block and close the program after a failure. The grid's clipboard copy and its
// CopyExcel, CopyJustCalc and CopyKingsoft live beside them.
#pragma once

#include <cstdint>
#include <string>

#include "components/ControlTypes.h"
#include "platform/Automation.h"

// Border weights 1..4 are sent to the spreadsheet as they are.
enum TCellBorderWeight { bwNone, bwHairline, bwThin, bwMedium, bwThick };
enum TPageOrientation { xlPortrait, xlLandscape };

// The font applied to the cells of a spreadsheet.
struct TCellFont {
  std::string Name;  // program text
  int Size = 9;
  TColor Color = clBlack;
  bool Bold = false, Italic = false, Underline = false, StrikeOut = false;
};

// Spreadsheet column letters of column c (1-based): A..Z, AA..ZZ.
std::string XlsColumnName(int c);
// "A1:C3" for the top-left (row, col) and the offsets to the last row and column.
std::string XlsRangeName(int row, int col, int row_offset, int col_offset);
// True when no open workbook of the application has the name.
bool XlsIsBookNameFree(IOleObject &app, const std::string &name);
// Leaves the application after a failure: no prompts, then Quit when this call started
// it, else the active workbook is closed.
void XlsCloseApp(IOleObject &app, bool started);
// Pastes the clipboard into the active sheet at (start_row, start_col) and formats the block.
void XlsPasteAndFormat(IOleObject &app, int start_row, int start_col, bool column_name, bool auto_fit,
                       const std::string &sheet_name, const TCellFont &cell_font, TColor cell_title_color,
                       TColor cell_border_color, TColor cell_color, TCellBorderWeight cell_border_weight,
                       int col_offset, int row_offset);
