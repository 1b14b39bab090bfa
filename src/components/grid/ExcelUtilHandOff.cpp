#include "components/grid/ExcelUtilHandOff.h"

#include "components/QtServices.h"
#include "components/grid/ExcelUtil.h"
#include "components/grid/ExcelUtilText.h"

using xlsgrid::kNoData;
using xlsgrid::Text;
using xlsgrid::Trim;

namespace {

const char *const kTooLarge = "コピーする領域がシステムの許容範囲を越えたので、\r\nコピーを中断します。";

// The most bytes a clipboard copy may hold.
constexpr std::size_t kClipboardLimit = 2047999999;

// Sheet columns are lettered A to Z, then AA, AB ...
constexpr int kColumnLetters = 26;
constexpr char kBeforeA = 'A' - 1;

// The values the spreadsheet programs' automation takes for the formatting set here.
constexpr std::int64_t kXlUnderlineSingle = 2;          // Font.Underline
constexpr std::int64_t kXlHAlignGeneral = 1;            // Range.HorizontalAlignment
constexpr std::int64_t kXlVAlignTop = -4160;            // Range.VerticalAlignment
constexpr std::int64_t kXlOrientationVertical = -4166;  // Range.Orientation: characters stacked
constexpr std::int64_t kXlNoIndent = 0;                 // Range.IndentLevel
constexpr std::int64_t kXlReadingOrderContext = -5002;  // Range.ReadingOrder: as the text reads
constexpr std::int64_t kXlPagePortrait = 1;             // PageSetup.Orientation
constexpr std::int64_t kXlPageLandscape = 2;
// The window state given to a program that was already running, so that it shows its window.
constexpr std::int64_t kShownWindowState = 1;

}  // namespace

// ---------------------------------------------------------------- column letters and hand-off steps

std::string XlsColumnName(int c) {
  std::string s;
  if (c <= kColumnLetters) {
    s += static_cast<char>(kBeforeA + c);
  } else {
    s += static_cast<char>(kBeforeA + (c - 1) / kColumnLetters);
    s += static_cast<char>(kBeforeA + ((c - 1) / kColumnLetters + c) % (kColumnLetters + 1));
  }
  return s;
}

std::string XlsRangeName(int row, int col, int row_offset, int col_offset) {
  return XlsColumnName(col) + std::to_string(row) + ":" + XlsColumnName(col + col_offset) +
         std::to_string(row + row_offset);
}

bool XlsIsBookNameFree(IOleObject &app, const std::string &name) {
  auto books = app.Obj("Workbooks");
  TOleValue count = books->Get("Count");
  std::int64_t n = std::holds_alternative<std::int64_t>(count) ? std::get<std::int64_t>(count) : 0;
  for (std::int64_t i = 1; i <= n; ++i) {
    TOleValue v = books->Obj("Item", {i})->Get("Name");
    if (std::holds_alternative<std::string>(v) && std::get<std::string>(v) == name) return false;
  }
  return true;
}

void XlsCloseApp(IOleObject &app, bool started) {
  app.Set("DisplayAlerts", false);
  if (started)
    app.Call("Quit");
  else
    app.Obj("Application")->Obj("ActiveWorkbook")->Call("Close");
}

void XlsPasteAndFormat(IOleObject &app, int start_row, int start_col, bool column_name, bool auto_fit,
                       const std::string &sheet_name, const TCellFont &cell_font, TColor cell_title_color,
                       TColor cell_border_color, TColor cell_color, TCellBorderWeight cell_border_weight,
                       int col_offset, int row_offset) {
  const std::int64_t sr = start_row, sc = start_col;
  const std::string block = XlsRangeName(start_row, start_col, row_offset, col_offset);
  app.Obj("ActiveSheet")->Obj("Cells", {sr, sc})->Call("PasteSpecial");
  if (cell_border_weight >= bwHairline && cell_border_weight <= bwThick)
    app.Obj("ActiveSheet")->Obj("Range", {block})->Obj("Borders")->Set("Weight", std::int64_t{cell_border_weight});
  if (cell_color != clNone)
    app.Obj("ActiveSheet")->Obj("Range", {block})->Obj("Interior")->Set("Color", std::int64_t{cell_color});
  if (column_name && cell_title_color != clNone)
    app.Obj("ActiveSheet")
        ->Obj("Range", {XlsRangeName(start_row, start_col, 0, col_offset)})
        ->Obj("Interior")
        ->Set("Color", std::int64_t{cell_title_color});
  if (cell_border_weight != bwNone)
    app.Obj("ActiveSheet")->Obj("Range", {block})->Obj("Borders")->Set("Color", std::int64_t{cell_border_color});
  auto font = app.Obj("ActiveSheet")->Obj("Cells")->Obj("Font");
  font->Set("Size", std::int64_t{cell_font.Size});
  font->Set("Name", cell_font.Name);
  font->Set("Color", std::int64_t{cell_font.Color});
  if (cell_font.Bold) font->Set("Bold", true);
  if (cell_font.Italic) font->Set("Italic", true);
  if (cell_font.Underline) font->Set("Underline", kXlUnderlineSingle);
  if (cell_font.StrikeOut) font->Set("Strikethrough", true);
  if (!sheet_name.empty()) {
    std::string name = sheet_name;
    for (int n = 2; !XlsIsBookNameFree(app, name); ++n) name = sheet_name + "(" + std::to_string(n) + ")";
    app.Obj("ActiveSheet")->Set("Name", name);
    app.Obj("ActiveSheet")->Obj("PageSetup")->Set("CenterHeader", std::string("&A"));
  }
  if (auto_fit) app.Obj("ActiveSheet")->Obj("Cells")->Obj("EntireColumn")->Call("AutoFit");
  app.Obj("ActiveSheet")->Obj("Cells", {sr, sc})->Call("Select");
}

// ---------------------------------------------------------------- clipboard

int TXlsStringGrid::BuildClipboardText(std::string &text, std::size_t limit) const {
  text.clear();
  for (int r = ColumnName ? 0 : 1; r < RowCount(); ++r) {
    for (int c = StartData; c < ColCount(); ++c) {
      if (col_widths_[static_cast<std::size_t>(c)] <= 0) continue;
      std::string_view cell = Trim(CellView(c, r));
      if (text.size() + cell.size() > limit) return -3;
      text.append(cell);
      text += '\t';
    }
    text += "\r\n";
  }
  return 1;
}

int TXlsStringGrid::CopyClipboard() {
  if (RowCount() - FixedRows() <= 0) {
    if (ShowErrDlg) ErrorBox(Text(kNoData));
    return 2;
  }
  std::string text;
  if (BuildClipboardText(text, kClipboardLimit) != 1) {
    if (ShowErrDlg) ErrorBox(Text(kTooLarge));
    return -3;
  }
  SetClipboardText(text);
  return 1;
}

// ---------------------------------------------------------------- spreadsheet hand-off

struct TXlsStringGrid::THandOff {
  const char *prog_id;
  const char *start_failure;  // UTF-8
  const char *ole_error;      // UTF-8
  bool full;                  // panes, vertical range, second fit and orientation
};

int TXlsStringGrid::HandOff(const THandOff &h) {
  if (RowCount() - FixedRows() <= 0) {
    if (ShowErrDlg) ErrorBox(Text(kNoData));
    return 2;
  }
  TOleObjectPtr app;
  bool started = false;
  try {
    app = Automation().GetActiveObject(h.prog_id);
  } catch (const std::exception &) {
    try {
      app = Automation().CreateOleObject(h.prog_id);
      started = true;
    } catch (const EOleSysError &) {
      ErrorBox(Text(h.start_failure));
      return -1;
    }
  }
  // Leaves the program without prompts; a program that no longer answers is left alone.
  auto close = [&] {
    try {
      XlsCloseApp(*app, started);
    } catch (const EOleError &) {
    }
  };
  try {
    app->Obj("Workbooks")->Call("Add");
    int rc = CopyClipboard();
    if (rc != 1) {
      close();
      return rc;
    }
    XlsPasteAndFormat(*app, start_row_, start_col_, ColumnName, AutoFit, SheetName, cell_font_, CellTitleColor,
                      CellBorderColor, CellColor, CellBorderWeight, ColCount() - 1,
                      ColumnName ? RowCount() - 1 : RowCount() - 2);
    if (h.full) {
      if (FreezePanesRow > 0 || FreezePanesCol > 0) {
        app->Obj("ActiveSheet")->Obj("Range", {XlsRangeName(FreezePanesRow, FreezePanesCol, 0, 0)})->Call("Select");
        app->Obj("ActiveWindow")->Set("FreezePanes", true);
      }
      if (VerticalRangeRow > 0 || VerticalRangeCol > 0) {
        auto range = app->Obj("ActiveSheet")->Obj(
            "Range", {XlsRangeName(VerticalRangeRow, VerticalRangeCol, VerticalRangeRowCount, VerticalRangeColCount)});
        range->Set("HorizontalAlignment", kXlHAlignGeneral);
        range->Set("VerticalAlignment", kXlVAlignTop);
        range->Set("WrapText", false);
        range->Set("Orientation", kXlOrientationVertical);
        range->Set("AddIndent", false);
        range->Set("IndentLevel", kXlNoIndent);
        range->Set("ShrinkToFit", false);
        range->Set("ReadingOrder", kXlReadingOrderContext);
        range->Set("MergeCells", false);
      }
      app->Obj("ActiveSheet")->Obj("Cells")->Obj("EntireColumn")->Call("AutoFit");
      app->Obj("ActiveSheet")->Obj("PageSetup")->Set("Orientation", PageOrientation == xlLandscape ? kXlPageLandscape : kXlPagePortrait);
    }
    app->Set("Visible", true);
    if (!started) app->Set("WindowState", kShownWindowState);
    return 1;
  } catch (const std::exception &) {
    if (ShowErrDlg) ErrorBox(Text(h.ole_error));
    close();
    return -2;
  }
}

int TXlsStringGrid::CopyExcel() {
  static const THandOff h{"Excel.Application",
                          "MS-Excelを起動できませんでした。\r\nMS-Excelのインストールを確認してください。",
                          "ＯＬＥ実行中にエラーが発生しました。", true};
  return HandOff(h);
}

int TXlsStringGrid::CopyJustCalc() {
  static const THandOff h{"JustCalc.Application",
                          "JustCalc を起動できませんでした。\r\nJustCalc のインストールを確認してください。",
                          "OLE実行中にエラーが発生しました。", true};
  return HandOff(h);
}

int TXlsStringGrid::CopyKingsoft() {
  static const THandOff h{
      "ET.Application",
      "Kingsoft Spreadsheets を起動できませんでした。\r\nKingsoft Spreadsheets のインストールを確認してください。",
      "ＯＬＥ実行中にエラーが発生しました。", false};
  return HandOff(h);
}
