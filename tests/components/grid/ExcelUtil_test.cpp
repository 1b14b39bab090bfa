// The result grid's outputs, sorting, row and column edits and scrolling.
#include "components/grid/ExcelUtil.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QScrollBar>
#include <QTest>
#include <set>
#include <cmath>
#include <QWheelEvent>

#include "components/QtServices.h"
#include "platform/cp932.h"
#include "support/testutil.h"

namespace {

std::string S(const char *utf8) { return cp932::FromUtf8(utf8); }

// A grid with one fixed row and no fixed column holding the given rows (UTF-8 in the test).
void Fill(TXlsStringGrid &g, const std::vector<std::vector<const char *>> &rows) {
  g.SetShape(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()), 1, 0);
  for (int r = 0; r < static_cast<int>(rows.size()); ++r)
    for (int c = 0; c < static_cast<int>(rows[r].size()); ++c) g.SetCells(c, r, S(rows[r][c]));
}

std::vector<std::string> Column(const TXlsStringGrid &g, int col) {
  std::vector<std::string> v;
  for (int r = g.FixedRows(); r < g.RowCount(); ++r) v.push_back(cp932::ToUtf8(g.Cells(col, r)));
  return v;
}

// Point in the middle of a cell.
QPoint Mid(const TXlsStringGrid &g, int col, int row) { return g.CellRect(col, row).center(); }

}  // namespace

TEST(XlsStringGrid, DefaultsOfANewGrid) {
  TXlsStringGrid g;
  EXPECT_TRUE(g.ColumnName);
  EXPECT_TRUE(g.ShowErrDlg);
  EXPECT_EQ(g.StartData, 0);
  EXPECT_EQ(g.StartRow(), 1);
  EXPECT_EQ(g.StartCol(), 1);
  EXPECT_TRUE(g.AutoFit);
  EXPECT_EQ(g.CellColor, clNone);
  EXPECT_EQ(g.CellTitleColor, clNone);
  EXPECT_EQ(g.CellBorderWeight, bwNone);
  EXPECT_EQ(g.PageOrientation, xlPortrait);
  EXPECT_TRUE(g.ExtendRows);
  EXPECT_FALSE(g.CSVEndComma);
  EXPECT_FALSE(g.ProportionalScrollBars());
  EXPECT_EQ(g.SortCol, 0);
  EXPECT_EQ(g.SortOrder, xlSortAsc);
  EXPECT_EQ(clNone, 0x1FFFFFFF);
}

TEST(XlsStringGrid, ClipboardTextSkipsHiddenColumnsAndEndsEachLineWithTabCrLf) {
  TScopedRecordingUi ui;
  TXlsStringGrid g;
  Fill(g, {{"番号", "名称", "隠し", "作物"}, {" 1 ", "ソート\t", "x", "だいこん"}, {"2", "", "y", "  "}});
  g.SetColWidths(2, 0);
  ASSERT_EQ(g.CopyClipboard(), 1);
  EXPECT_EQ(ClipboardText(), S("番号\t名称\t作物\t\r\n1\tソート\tだいこん\t\r\n2\t\t\t\r\n"));

  g.ColumnName = false;
  g.StartData = 1;
  ASSERT_EQ(g.CopyClipboard(), 1);
  EXPECT_EQ(ClipboardText(), S("ソート\tだいこん\t\r\n\t\t\r\n"));
  EXPECT_TRUE(ui.boxes.empty());
}

TEST(XlsStringGrid, ClipboardTextStopsAtTheSizeLimit) {
  TXlsStringGrid g;
  Fill(g, {{"ab", "cd"}, {"ef", "gh"}});
  std::string text;
  EXPECT_EQ(g.BuildClipboardText(text, 100), 1);
  EXPECT_EQ(text, "ab\tcd\t\r\nef\tgh\t\r\n");
  // Before "gh" the text is "ab\tcd\t\r\nef\t" (11 bytes): with it 13.
  EXPECT_EQ(g.BuildClipboardText(text, 12), -3);
  EXPECT_EQ(g.BuildClipboardText(text, 13), 1);
}

TEST(XlsStringGrid, EveryCopyOfAGridWithOnlyFixedRowsIsRefusedWithoutAnyCall) {
  TScopedRecordingUi ui;
  TScopedRecordingAutomation ole;
  ole.running = {"Excel.Application", "JustCalc.Application", "ET.Application"};
  TXlsStringGrid g;
  g.SetShape(3, 1, 1, 0);
  EXPECT_EQ(g.CopyClipboard(), 2);
  EXPECT_EQ(g.CopyExcel(), 2);
  EXPECT_EQ(g.CopyJustCalc(), 2);
  EXPECT_EQ(g.CopyKingsoft(), 2);
  EXPECT_TRUE(ole.lines.empty()) << ole.Transcript();
  ASSERT_EQ(ui.boxes.size(), 4u);
  for (const auto &b : ui.boxes) {
    EXPECT_EQ(b.text, S("グリッド内に、コピーするデータがありません。"));
    EXPECT_EQ(b.flags, MB_OK | MB_ICONERROR);
  }
  g.ShowErrDlg = false;
  EXPECT_EQ(g.CopyExcel(), 2);
  EXPECT_EQ(ui.boxes.size(), 4u);
}

TEST(XlsStringGrid, ColumnLettersAndRanges) {
  const std::pair<int, const char *> cases[] = {{1, "A"},   {26, "Z"},  {27, "AA"}, {28, "AB"},
                                                {52, "AZ"}, {53, "BA"}, {54, "BB"}, {702, "ZZ"}};
  for (const auto &[c, name] : cases) EXPECT_EQ(XlsColumnName(c), name) << c;
  EXPECT_EQ(XlsRangeName(1, 1, 3, 2), "A1:C4");
  EXPECT_EQ(XlsRangeName(2, 26, 0, 1), "Z2:AA2");
}

TEST(XlsStringGrid, StartRowAndStartColRefuseZero) {
  TScopedRecordingUi ui;
  TXlsStringGrid g;
  g.SetStartRow(3);
  g.SetStartRow(0);
  g.SetStartCol(0);
  EXPECT_EQ(g.StartRow(), 3);
  EXPECT_EQ(g.StartCol(), 1);
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[0].text, S("1以上の整数を入力してください。"));
}

// ---------------------------------------------------------------- CSV

TEST(XlsStringGrid, CsvQuotesFieldsThatWouldSplitAndKeepsTheCommaBeforeAHiddenLastColumn) {
  qmtest::TempDir dir;
  TXlsStringGrid g;
  Fill(g, {{"a", "b", "hidden"}, {"x,y", "say \"hi\"", "z"}, {"line1\r\nline2", " 剤 ", "w"}});
  g.SetColWidths(2, 0);
  g.CSVFileName = (dir / "out.csv").string();
  ASSERT_EQ(g.SetCommaText(), 0);
  EXPECT_EQ(qmtest::ReadFile(dir / "out.csv"),
            S("a,b,\r\n\"x,y\",\"say \"\"hi\"\"\",\r\n\"line1\r\nline2\",剤,\r\n"));

  g.SetColWidths(2, 10);
  g.SetColWidths(0, 0);
  g.CSVEndComma = true;
  ASSERT_EQ(g.SetCommaText(), 0);
  EXPECT_EQ(qmtest::ReadFile(dir / "out.csv"), S("b,hidden,\r\n\"say \"\"hi\"\"\",z,\r\n剤,w,\r\n"));
}

TEST(XlsStringGrid, CsvRoundTripThroughGetCommaText) {
  qmtest::TempDir dir;
  TXlsStringGrid out;
  Fill(out, {{"番号", "名称", "備考"},
             {"1", "a,\"b\"", "ソ\\ダ_"},
             {"2", "改行\nあり", ""},
             {"3", "", "末尾"}});
  out.CSVFileName = (dir / "r.csv").string();
  ASSERT_EQ(out.SetCommaText(), 0);

  TXlsStringGrid in;
  in.SetShape(3, 2, 0, 0);
  in.CSVFileName = out.CSVFileName;
  ASSERT_EQ(in.GetCommaText(), 0);
  ASSERT_EQ(in.RowCount(), 4);
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 3; ++c) EXPECT_EQ(in.Cells(c, r), out.Cells(c, r)) << c << "," << r;
}

TEST(XlsStringGrid, GetCommaTextSkipsTheEndCommaFieldAndFillsBelowTheFixedRows) {
  qmtest::TempDir dir;
  qmtest::WriteFile(dir / "e.csv", "a,b,\r\nc,d,\r\n");
  TXlsStringGrid g;
  g.SetShape(2, 5, 1, 0);
  g.CSVFileName = (dir / "e.csv").string();
  g.CSVEndComma = true;
  ASSERT_EQ(g.GetCommaText(), 0);
  EXPECT_EQ(g.RowCount(), 3);
  EXPECT_EQ(g.Rows(1), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(g.Rows(2), (std::vector<std::string>{"c", "d"}));
}

TEST(StringListExt, SetCsvTextSplitsIntoOneFlatListOfFields) {
  struct Case {
    const char *text;
    std::vector<std::string> fields;
  } cases[] = {
      {"a,b\r\nc,d\r\n", {"a", "b", "c", "d"}},
      {"  \r\n a,b", {"a", "b"}},                            // leading blanks and line ends skipped
      {"a, b ,c", {"a", " b ", "c"}},                        // blanks inside stay
      {"\"x,y\",\"say \"\"hi\"\"\"", {"x,y", "say \"hi\""}},  // quoted fields
      {"\"two\r\nlines\",z", {"two\r\nlines", "z"}},
      {"a,b,\r\nc", {"a", "b", "", "c"}},  // a line ending in a comma gives an empty field
      {"a,,b", {"a", "", "b"}},
      {"a\tb", {"a", "b"}},
      {"", {}},
  };
  TStringListExt l;
  l.SetCsvText(std::string_view("a,b\0c,d", 7));
  EXPECT_EQ(l.Strings, (std::vector<std::string>{"a", "b"})) << "the text ends at its first NUL";
  for (const auto &c : cases) {
    l.SetCsvText(c.text);
    EXPECT_EQ(l.Strings, c.fields) << c.text;
  }
}

TEST(XlsStringGrid, FileOperationsWithoutAFileNameAreRefused) {
  TScopedRecordingUi ui;
  qmtest::TempDir dir;
  TXlsStringGrid g;
  EXPECT_EQ(g.SetCommaText(), -1);
  EXPECT_EQ(g.GetCommaText(), -1);
  g.CSVFileName = (dir / "missing.csv").string();
  EXPECT_EQ(g.GetCommaText(), -1);
  EXPECT_EQ(g.SetHTML(), -1);
  ASSERT_EQ(ui.boxes.size(), 4u);
  EXPECT_EQ(ui.boxes[2].text, S("CSVファイル名が指定されていないか、指定されたファイルが存在しません。"));
  EXPECT_EQ(ui.boxes[3].text, S("HTMLファイル名が指定されていないか、指定されたファイルが存在しません。"));
  g.ShowErrDlg = false;
  EXPECT_EQ(g.SetHTML(), -1);
  EXPECT_EQ(ui.boxes.size(), 4u);
}

TEST(XlsStringGrid, HtmlTableEscapesCellTextAndDeclaresItsEncoding) {
  qmtest::TempDir dir;
  TXlsStringGrid g;
  Fill(g, {{"名称", "隠し", "備考"}, {"A&B", "x", "<b>"}, {" 剤 ", "y", "1 > 0"}});
  g.SetColWidths(1, 0);
  g.HTMLFileName = (dir / "t.html").string();
  ASSERT_EQ(g.SetHTML(), 0);
  EXPECT_EQ(qmtest::ReadFile(dir / "t.html"),
            S("<html>\r\n"
              "<link rel=\"stylesheet\" href=\"actable.css\" type=\"text/css\" >\r\n"
              "<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\"></head>\r\n"
              "<body>\r\n"
              "<table border=\"1\" style=\"border-collapse: collapse;\">\r\n"
              "<tr class=\"header\">\r\n\t<th>名称</th>\r\n\t<th>備考</th>\r\n</tr>\r\n"
              "<tr class=\"odd\">\r\n\t<td>A&amp;B</td>\r\n\t<td>&lt;b&gt;</td>\r\n</tr>\r\n"
              "<tr class=\"even\">\r\n\t<td>剤</td>\r\n\t<td>1 &gt; 0</td>\r\n</tr>\r\n"
              "</table>\r\n</body>\r\n</html>\r\n"));
}

// ---------------------------------------------------------------- sorting

namespace {

struct SortFixture {
  TXlsStringGrid g;
  SortFixture(std::vector<const char *> values) {
    std::vector<std::vector<const char *>> rows{{"値", "元"}};
    static const char *tags[] = {"r1", "r2", "r3", "r4", "r5", "r6", "r7", "r8"};
    for (std::size_t i = 0; i < values.size(); ++i) rows.push_back({values[i], tags[i]});
    Fill(g, rows);
    g.resize(300, 300);
  }
  void Sort(TXlSortOrder order, bool numeric) {
    QPoint p = Mid(g, 0, 0);
    g.SortGrid(mbLeft, ssLeft, p.x(), p.y(), order, numeric);
  }
};

}  // namespace

TEST(XlsStringGrid, HeaderSortNumericAndTextStable) {
  struct Case {
    std::vector<const char *> values;
    TXlSortOrder order;
    bool numeric;
    std::vector<std::string> tags;  // row order after the sort
  } cases[] = {
      {{"10", "9", ""}, xlSortAsc, true, {"r3", "r2", "r1"}},
      {{"10", "9", ""}, xlSortAsc, false, {"r3", "r1", "r2"}},
      {{"10", "9", ""}, xlSortDesc, true, {"r1", "r2", "r3"}},
      {{"10", "9", ""}, xlSortDesc, false, {"r2", "r1", "r3"}},
      {{"2", "1", "2", "1"}, xlSortAsc, true, {"r2", "r4", "r1", "r3"}},   // equal values keep their order
      {{"2", "1", "2", "1"}, xlSortDesc, true, {"r1", "r3", "r2", "r4"}},  // in both directions
      {{"1.5", "-2", "1e1", "003"}, xlSortAsc, true, {"r2", "r1", "r4", "r3"}},
      {{"b", "B", "a"}, xlSortAsc, false, {"r2", "r3", "r1"}},  // ordinal, case-sensitive
  };
  for (const auto &c : cases) {
    SortFixture f(c.values);
    f.Sort(c.order, c.numeric);
    EXPECT_EQ(Column(f.g, 1), c.tags) << c.values[0] << " order " << c.order << " numeric " << c.numeric;
    EXPECT_EQ(f.g.SortCol, 0);
    EXPECT_EQ(f.g.SortOrder, c.order);
  }
}

TEST(XlsStringGrid, NumericSortOfTextsThatAreNoNumbersIsConsistentAndWarnsOnce) {
  TScopedRecordingUi ui;
  SortFixture f({"abc", "10", "", "x", "9", "abc"});
  f.Sort(xlSortAsc, true);
  // Empty cells, then numbers, then other texts by their bytes; ties keep their order.
  EXPECT_EQ(Column(f.g, 1), (std::vector<std::string>{"r3", "r5", "r2", "r1", "r6", "r4"}));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, S("ソートタイプの指定が不正です。"));
  f.Sort(xlSortDesc, true);
  EXPECT_EQ(Column(f.g, 1), (std::vector<std::string>{"r4", "r1", "r6", "r2", "r5", "r3"}));
}

TEST(XlsStringGrid, SortMovesRowObjectsAndIgnoresDataRowsAndGridsWithoutFixedRows) {
  SortFixture f({"b", "a"});
  f.g.SetRowObject(1, 1);
  QPoint data = Mid(f.g, 0, 1);
  f.g.SortGrid(mbLeft, ssLeft, data.x(), data.y(), xlSortAsc, false);
  EXPECT_EQ(Column(f.g, 0), (std::vector<std::string>{"b", "a"}));
  f.Sort(xlSortAsc, false);
  EXPECT_EQ(Column(f.g, 0), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(f.g.RowObject(2), 1);
  EXPECT_EQ(f.g.RowObject(1), 0);

  f.g.SetFixedRows(0);
  QPoint top = Mid(f.g, 0, 0);
  f.g.SortGrid(mbLeft, ssLeft, top.x(), top.y(), xlSortDesc, false);
  EXPECT_EQ(cp932::ToUtf8(f.g.Cells(0, 0)), "値");
}

// ---------------------------------------------------------------- rows and columns

TEST(XlsStringGrid, RowMovesFollowTheRowAndAreRefusedAtTheEnds) {
  TScopedRecordingUi ui;
  TXlsStringGrid g;
  Fill(g, {{"h"}, {"a"}, {"b"}, {"c"}});
  g.resize(200, 200);
  g.SetRow(1);
  EXPECT_EQ(g.MoveUp(), -1);
  EXPECT_EQ(g.MoveDown(), 0);
  EXPECT_EQ(g.Row(), 2);
  EXPECT_EQ(Column(g, 0), (std::vector<std::string>{"b", "a", "c"}));
  EXPECT_EQ(g.MoveDown(), 0);
  EXPECT_EQ(g.MoveDown(), -1);
  EXPECT_EQ(g.MoveUp(), 0);
  EXPECT_EQ(Column(g, 0), (std::vector<std::string>{"b", "a", "c"}));
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[0].text, S("先頭行なので上に移動できません。"));
  EXPECT_EQ(ui.boxes[1].text, S("最下位行なので下に移動できません。"));
}

TEST(XlsStringGrid, RemovalsKeepTheCurrentCellOrStepBackFromTheEnd) {
  TXlsStringGrid g;
  Fill(g, {{"A", "B", "C"}, {"a1", "b1", "c1"}, {"a2", "b2", "c2"}, {"a3", "b3", "c3"}});
  g.resize(300, 300);
  g.FocusCell(1, 2, true);
  g.RemoveColumn(0);
  EXPECT_EQ(g.ColCount(), 2);
  EXPECT_EQ(g.Col(), 1);
  EXPECT_EQ(g.Rows(0), (std::vector<std::string>{"B", "C"}));
  g.RemoveColumn(1);
  EXPECT_EQ(g.Col(), 0);
  g.FocusCell(0, 3, true);
  g.RemoveRow(3);
  EXPECT_EQ(g.Row(), 2);
  EXPECT_EQ(Column(g, 0), (std::vector<std::string>{"b1", "b2"}));
  g.RemoveRow(1);
  EXPECT_EQ(Column(g, 0), (std::vector<std::string>{"b2"}));
}

// ---------------------------------------------------------------- scrolling

TEST(XlsStringGrid, TopRowAndVisibleRowCountFollowTheClientHeight) {
  TXlsStringGrid g;
  g.SetShape(3, 101, 1, 0);
  g.SetScrollBars(ssVertical);
  g.resize(300, 300);
  g.show();
  const int rows_fit = (g.viewport()->height() - 25 + 1) / 25;  // 24-pixel rows, 1-pixel lines
  ASSERT_GT(rows_fit, 3);
  EXPECT_EQ(g.VisibleRowCount(), rows_fit);
  EXPECT_EQ(g.TopRow(), 1);

  g.SetTopRow(0);
  EXPECT_EQ(g.TopRow(), 1);
  g.SetTopRow(50);
  EXPECT_EQ(g.TopRow(), 50);
  g.SetTopRow(1000);
  EXPECT_EQ(g.TopRow(), g.RowCount() - g.FixedRows() - g.VisibleRowCount() + 1);
  EXPECT_EQ(g.verticalScrollBar()->value(), g.TopRow());

  g.SetTopRow(10);
  QWheelEvent down(QPointF(50, 50), g.mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, -240), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(g.viewport(), &down);
  EXPECT_EQ(g.TopRow(), 12);

  // Scroll-bar lines move one row, pages VisibleRowCount rows, with or without a
  // proportional thumb.
  for (bool proportional : {false, true}) {
    g.SetProportionalScrollBars(proportional);
    g.SetTopRow(20);
    g.verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(g.TopRow(), 21);
    g.verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(g.TopRow(), 21 + g.VisibleRowCount());
    g.verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepSub);
    g.verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(g.TopRow(), 20);
  }

  // Dragging the thumb moves the rows at once only with thumb tracking.
  for (bool tracking : {false, true}) {
    g.SetOptions(tracking ? g.Options() | goThumbTracking : g.Options() & ~goThumbTracking);
    g.SetTopRow(10);
    g.verticalScrollBar()->setSliderDown(true);
    g.verticalScrollBar()->setSliderPosition(40);
    EXPECT_EQ(g.TopRow(), tracking ? 40 : 10);
    g.verticalScrollBar()->setSliderDown(false);
    EXPECT_EQ(g.TopRow(), 40);
  }

  // With two fixed rows the last data row can still be scrolled into view.
  g.SetFixedRows(2);
  g.SetTopRow(1000);
  EXPECT_EQ(g.TopRow() + g.VisibleRowCount() - 1, g.RowCount() - 1);
}

TEST(XlsStringGrid, ProportionalScrollBarPageIsTheVisibleRows) {
  TXlsStringGrid g;
  g.SetShape(40, 500, 1, 0);
  g.resize(400, 300);
  g.show();
  ASSERT_TRUE(g.setProperty("ProportionalScrollBars", true));  // as a form layout sets it
  EXPECT_TRUE(g.ProportionalScrollBars());
  EXPECT_EQ(g.verticalScrollBar()->minimum(), 1);
  EXPECT_EQ(g.verticalScrollBar()->pageStep(), g.VisibleRowCount());
  const int hsize = g.horizontalScrollBar()->maximum() - g.horizontalScrollBar()->minimum() + 1;
  EXPECT_EQ(g.horizontalScrollBar()->pageStep(),
            std::max(1, static_cast<int>(std::lround(double(hsize) * g.VisibleColCount() / g.ColCount()))));
}

TEST(XlsStringGrid, MouseToCellAndResizingCol) {
  TXlsStringGrid g;
  g.SetShape(4, 10, 1, 0);
  g.resize(400, 300);
  g.SetColWidths(1, 0);
  int c, r;
  g.MouseToCell(10, 10, c, r);
  EXPECT_EQ(c, 0);
  EXPECT_EQ(r, 0);
  g.MouseToCell(70, 30, c, r);  // past column 0 (64 + 1) the hidden column is skipped
  EXPECT_EQ(c, 2);
  EXPECT_EQ(r, 1);
  g.MouseToCell(399, 299, c, r);
  EXPECT_EQ(c, -1);
  EXPECT_TRUE(g.ResizingCol(62, 5));
  EXPECT_TRUE(g.ResizingCol(68, 5));
  EXPECT_FALSE(g.ResizingCol(30, 5));
  EXPECT_FALSE(g.ResizingCol(62, 30));
}

TEST(XlsStringGrid, RefillThroughTheFillInterfaceOverAnEarlierResult) {
  TXlsStringGrid g;
  g.setObjectName("gdSeizai");
  Fill(g, {{"a", "b", "c", "d"}, {"1", "2", "3", "4"}, {"5", "6", "7", "8"}, {"9", "10", "11", "12"}});
  g.SetFixedCols(1);
  g.SetRowObject(2, 1);
  IGridSink &t = g;
  EXPECT_EQ(t.GridName(), "gdSeizai");
  // The order in which the query object fills a grid.
  t.SetGridVisible(false);
  t.BeginUpdate();
  t.SetShape(3, 3, 1, 0);
  const std::string caps[] = {S("番号"), S("名称"), S("製剤毒性")};
  for (int c = 0; c < 3; ++c) t.SetCell(c, 0, caps[c]);
  const std::string a = S("ダイアジノン粒剤５"), b = S("ソ\\");
  std::string_view row1[] = {"1", a, b, "past the last column"};
  std::string_view row2[] = {"2", "", ""};
  t.SetRowCells(1, row1, 4);
  t.SetRowCells(2, row2, 3);
  t.SetCell(2, 2, g.CellView(1, 1));  // a text taken from the grid itself
  t.SetCell(1, 1, S("短"));            // a shorter text in the room of the longer one
  t.EndUpdate();
  EXPECT_FALSE(g.isVisible());
  EXPECT_EQ(g.Rows(0), (std::vector<std::string>{caps[0], caps[1], caps[2]}));
  EXPECT_EQ(g.Rows(1), (std::vector<std::string>{"1", S("短"), b}));
  EXPECT_EQ(g.Rows(2), (std::vector<std::string>{"2", "", a}));
  EXPECT_EQ(g.FixedCols(), 0);
  EXPECT_EQ(g.RowObject(2), 0);
  EXPECT_EQ(g.CellTextBytes(), (4 + 4 + 8) + (1 + 2 + 3) + (1 + 0 + 18)) << "bytes of the live cells";
}

// Heights and row objects are kept only for the rows that differ; they still follow their
// rows when a row goes, and rows cut off and added again come back plain.
TEST(XlsStringGrid, RowHeightsAndObjectsFollowTheirRows) {
  TXlsStringGrid g;
  Fill(g, {{"h"}, {"1"}, {"2"}, {"3"}, {"4"}, {"5"}});
  const int plain = g.DefaultRowHeight();
  g.SetRowHeights(0, plain + 6);
  g.SetRowHeights(3, plain + 16);
  g.SetRowObject(2, 7);
  g.SetRowObject(4, 9);
  g.RemoveRow(2);
  const std::vector<int> heights = {plain + 6, plain, plain + 16, plain, plain};
  const std::vector<std::intptr_t> objects = {0, 0, 0, 9, 0};
  for (int r = 0; r < 5; ++r) {
    EXPECT_EQ(g.RowHeights(r), heights[static_cast<std::size_t>(r)]) << r;
    EXPECT_EQ(g.RowObject(r), objects[static_cast<std::size_t>(r)]) << r;
  }
  g.SetRowCount(3);
  g.SetRowCount(5);
  EXPECT_EQ(g.RowHeights(2), plain + 16);
  EXPECT_EQ(g.RowHeights(3), plain);
  EXPECT_EQ(g.RowObject(3), 0);
  g.SetDefaultRowHeight(plain + 2);
  for (int r = 0; r < 5; ++r) EXPECT_EQ(g.RowHeights(r), plain + 2) << r;
}

TEST(XlsStringGrid, PaintsJapaneseText) {
  TXlsStringGrid g;
  Fill(g, {{"作物名", "農薬の名称"}, {"だいこん", "ダイアジノン粒剤５"}, {"はくさい", "①㍑ソ\\"}});
  g.SetColWidths(1, 160);
  g.resize(260, 120);
  QImage img = g.grab().toImage();
  if (const char *out = std::getenv("QM_GRID_PNG")) img.save(out);
  // Something other than the background was drawn in the data cells.
  const QRect cell = g.CellRect(1, 1);
  const QRgb back = img.pixel(cell.right() - 2, cell.bottom() - 1);
  int ink = 0;
  for (int x = cell.left(); x < cell.right(); ++x)
    for (int y = cell.top(); y < cell.bottom(); ++y) ink += img.pixel(x, y) != back;
  EXPECT_GT(ink, 20);
}

TEST(XlsStringGrid, OnlyTheVisibleCellsArePainted) {
  TXlsStringGrid g;
  g.SetShape(20, 100001, 1, 0);
  g.resize(400, 300);
  g.SetTopRow(50000);
  std::set<std::pair<int, int>> drawn;
  g.OnDrawCell = [&](TXlsStringGrid &, int c, int r, QPainter &, const QRect &, TGridDrawState) {
    drawn.insert({c, r});
  };
  g.grab();
  ASSERT_FALSE(drawn.empty());
  const int cols_shown = (g.viewport()->width() + 64) / 65, rows_shown = (g.viewport()->height() + 24) / 25;
  EXPECT_LE(drawn.size(), static_cast<std::size_t>(cols_shown * rows_shown));
  for (const auto &[c, r] : drawn) EXPECT_TRUE(r == 0 || (r >= 50000 && r < 50000 + rows_shown)) << r;
  EXPECT_TRUE(drawn.count({0, 0}) && drawn.count({0, 50000}));
}

TEST(XlsStringGrid, MouseSelectionAndColumnSizing) {
  TXlsStringGrid g;
  g.SetShape(5, 20, 1, 0);
  g.SetOptions(g.Options() | goColSizing);
  g.resize(400, 300);
  g.show();
  std::vector<std::pair<TMouseButton, QPoint>> downs;
  g.OnMouseDown = [&](TXlsStringGrid &, TMouseButton b, TShiftState, int x, int y) { downs.push_back({b, {x, y}}); };
  int width_events = 0;
  g.OnColWidthsChanged = [&](TXlsStringGrid &) { ++width_events; };

  QTest::mouseClick(g.viewport(), Qt::LeftButton, Qt::NoModifier, Mid(g, 1, 2));
  EXPECT_EQ(g.Col(), 1);
  EXPECT_EQ(g.Row(), 2);
  QTest::mouseClick(g.viewport(), Qt::LeftButton, Qt::ShiftModifier, Mid(g, 3, 4));
  EXPECT_EQ(g.Selection(), (TGridRect{1, 2, 3, 4}));
  // A right press leaves the current cell to the owner.
  QTest::mouseClick(g.viewport(), Qt::RightButton, Qt::NoModifier, Mid(g, 0, 6));
  EXPECT_EQ(g.Row(), 4);
  ASSERT_EQ(downs.size(), 3u);
  EXPECT_EQ(downs[2].first, mbRight);
  EXPECT_EQ(downs[2].second, Mid(g, 0, 6));

  g.SetOptions(g.Options() | goRowSelect);
  EXPECT_EQ(g.Selection(), (TGridRect{0, 2, 4, 4}));

  // Dragging the right border of column 0 in the caption row.
  const QPoint border(g.CellRect(0, 0).right() + 1, 5);
  QTest::mousePress(g.viewport(), Qt::LeftButton, Qt::NoModifier, border);
  QMouseEvent move(QEvent::MouseMove, QPointF(border + QPoint(30, 0)), g.viewport()->mapToGlobal(QPointF(border + QPoint(30, 0))),
                   Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(g.viewport(), &move);
  QTest::mouseRelease(g.viewport(), Qt::LeftButton, Qt::NoModifier, border + QPoint(30, 0));
  EXPECT_EQ(g.ColWidths(0), 64 + 30);
  EXPECT_GE(width_events, 1);
  EXPECT_EQ(g.MouseCol(), -1);
}

TEST(XlsStringGrid, KeysMoveTheCurrentCellAndScrollItIntoView) {
  TXlsStringGrid g;
  g.SetShape(5, 200, 1, 0);
  g.resize(300, 300);
  g.show();
  g.setFocus();
  int enters = 0;
  g.OnKeyDown = [&](TXlsStringGrid &, int &key, TShiftState) {
    if (key == Qt::Key_Return) ++enters, key = 0;  // the owner takes Enter
  };
  QTest::keyClick(&g, Qt::Key_Down);
  EXPECT_EQ(g.Row(), 2);
  QTest::keyClick(&g, Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(g.Row(), 199);
  EXPECT_EQ(g.TopRow() + g.VisibleRowCount() - 1, 199);
  QTest::keyClick(&g, Qt::Key_Up, Qt::ShiftModifier);
  EXPECT_EQ(g.Selection(), (TGridRect{0, 198, 0, 199}));
  QTest::keyClick(&g, Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(g.Row(), 1);
  EXPECT_EQ(g.TopRow(), 1);
  QTest::keyClick(&g, Qt::Key_Return);
  EXPECT_EQ(g.Row(), 1);
  EXPECT_EQ(enters, 1);
}
