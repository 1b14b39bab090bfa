// Spreadsheet hand-off of the result grid, as transcripts of the automation calls.
#include <gtest/gtest.h>

#include "components/grid/ExcelUtil.h"
#include "components/QtServices.h"
#include "platform/cp932.h"

namespace {

std::string S(const char *utf8) { return cp932::FromUtf8(utf8); }

struct HandOffFixture : ::testing::Test {
  TScopedRecordingUi ui;
  TScopedRecordingAutomation ole;
  TXlsStringGrid g;
  HandOffFixture() {
    g.SetShape(3, 3, 1, 0);  // block A1:C3
    const char *cells[] = {"番号", "名称", "作物", "1", "a", "b", "2", "c", "d"};
    for (int i = 0; i < 9; ++i) g.SetCells(i % 3, i / 3, S(cells[i]));
  }
  std::vector<std::string> Lines() const { return ole.lines; }
};

const std::vector<std::string> kFontLines = {
    "ActiveSheet.Cells.Font.Size := 9",
    "ActiveSheet.Cells.Font.Name := \"" + S("ＭＳ Ｐゴシック") + "\"",
    "ActiveSheet.Cells.Font.Color := 0",
};

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> v;
  for (const auto &p : parts) v.insert(v.end(), p.begin(), p.end());
  return v;
}

}  // namespace

TEST_F(HandOffFixture, ExcelAttachedToARunningInstanceWithEveryFormattingStep) {
  ole.running = {"Excel.Application"};
  g.FreezePanesRow = 2;
  g.FreezePanesCol = 1;
  g.VerticalRangeRow = 1;
  g.VerticalRangeCol = 2;
  g.VerticalRangeColCount = 1;
  g.PageOrientation = xlLandscape;
  g.CellBorderWeight = bwHairline;
  g.CellColor = 0xFFFFFF;
  g.CellTitleColor = 0xC0C0C0;
  TCellFont font;
  font.Name = "Arial";
  font.Size = 11;
  font.Bold = true;
  font.Underline = true;
  g.SetCellFont(&font);
  ASSERT_EQ(g.CopyExcel(), 1);
  EXPECT_EQ(Lines(), (std::vector<std::string>{
                         "GetActiveObject(\"Excel.Application\")",
                         "Workbooks.Add()",
                         "ActiveSheet.Cells(1,1).PasteSpecial()",
                         "ActiveSheet.Range(\"A1:C3\").Borders.Weight := 1",
                         "ActiveSheet.Range(\"A1:C3\").Interior.Color := 16777215",
                         "ActiveSheet.Range(\"A1:C1\").Interior.Color := 12632256",
                         "ActiveSheet.Range(\"A1:C3\").Borders.Color := 0",
                         "ActiveSheet.Cells.Font.Size := 11",
                         "ActiveSheet.Cells.Font.Name := \"Arial\"",
                         "ActiveSheet.Cells.Font.Color := 0",
                         "ActiveSheet.Cells.Font.Bold := True",
                         "ActiveSheet.Cells.Font.Underline := 2",
                         "ActiveSheet.Cells.EntireColumn.AutoFit()",
                         "ActiveSheet.Cells(1,1).Select()",
                         "ActiveSheet.Range(\"A2:A2\").Select()",
                         "ActiveWindow.FreezePanes := True",
                         "ActiveSheet.Range(\"B1:C1\").HorizontalAlignment := 1",
                         "ActiveSheet.Range(\"B1:C1\").VerticalAlignment := -4160",
                         "ActiveSheet.Range(\"B1:C1\").WrapText := False",
                         "ActiveSheet.Range(\"B1:C1\").Orientation := -4166",
                         "ActiveSheet.Range(\"B1:C1\").AddIndent := False",
                         "ActiveSheet.Range(\"B1:C1\").IndentLevel := 0",
                         "ActiveSheet.Range(\"B1:C1\").ShrinkToFit := False",
                         "ActiveSheet.Range(\"B1:C1\").ReadingOrder := -5002",
                         "ActiveSheet.Range(\"B1:C1\").MergeCells := False",
                         "ActiveSheet.Cells.EntireColumn.AutoFit()",
                         "ActiveSheet.PageSetup.Orientation := 2",
                         "Visible := True",
                         "WindowState := 1",
                     }))
      << ole.Transcript();
  EXPECT_EQ(ClipboardText(), S("番号\t名称\t作物\t\r\n1\ta\tb\t\r\n2\tc\td\t\r\n"));
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(HandOffFixture, JustCalcStartedWhenNoneRunsAndOffsetsWithoutCaptions) {
  ole.startable = {"JustCalc.Application"};
  g.ColumnName = false;
  g.AutoFit = false;
  ASSERT_EQ(g.CopyJustCalc(), 1);
  EXPECT_EQ(Lines(), Concat({{"GetActiveObject(\"JustCalc.Application\") -> EOleSysError",
                              "CreateOleObject(\"JustCalc.Application\")", "Workbooks.Add()",
                              "ActiveSheet.Cells(1,1).PasteSpecial()"},
                             kFontLines,
                             {"ActiveSheet.Cells(1,1).Select()", "ActiveSheet.Cells.EntireColumn.AutoFit()",
                              "ActiveSheet.PageSetup.Orientation := 1", "Visible := True"}}))
      << ole.Transcript();
}

TEST_F(HandOffFixture, KingsoftRunsTheShortSequence) {
  ole.startable = {"ET.Application"};
  g.FreezePanesRow = 2;
  g.PageOrientation = xlLandscape;
  g.SetStartRow(3);
  g.SetStartCol(2);
  ASSERT_EQ(g.CopyKingsoft(), 1);
  EXPECT_EQ(Lines(), Concat({{"GetActiveObject(\"ET.Application\") -> EOleSysError",
                              "CreateOleObject(\"ET.Application\")", "Workbooks.Add()",
                              "ActiveSheet.Cells(3,2).PasteSpecial()"},
                             kFontLines,
                             {"ActiveSheet.Cells.EntireColumn.AutoFit()", "ActiveSheet.Cells(3,2).Select()",
                              "Visible := True"}}))
      << ole.Transcript();
}

TEST_F(HandOffFixture, SheetNameIsMadeUniqueAgainstTheOpenWorkbooks) {
  ole.running = {"Excel.Application"};
  ole.workbook_names = {S("結果"), S("結果(2)")};
  g.SheetName = S("結果");
  ASSERT_EQ(g.CopyKingsoft(), -1);  // not running, not startable
  ole.lines.clear();
  ole.running = {"ET.Application"};
  ASSERT_EQ(g.CopyKingsoft(), 1);
  std::vector<std::string> names;
  for (const auto &l : ole.lines)
    if (l.rfind("ActiveSheet.Name", 0) == 0 || l.rfind("ActiveSheet.PageSetup.CenterHeader", 0) == 0) names.push_back(l);
  EXPECT_EQ(names, (std::vector<std::string>{"ActiveSheet.Name := \"" + S("結果(3)") + "\"",
                                             "ActiveSheet.PageSetup.CenterHeader := \"&A\""}))
      << ole.Transcript();

  ole.workbook_names = {"Book1"};
  ole.lines.clear();
  ASSERT_EQ(g.CopyKingsoft(), 1);
  EXPECT_NE(ole.Transcript().find("ActiveSheet.Name := \"" + S("結果") + "\""), std::string::npos);
}

TEST_F(HandOffFixture, AFailingCallClosesWithoutPromptsAndReturnsMinus2) {
  struct Case {
    bool running;
    const char *closing;
  } cases[] = {{false, "Quit()"}, {true, "Application.ActiveWorkbook.Close()"}};
  for (const auto &c : cases) {
    ole.lines.clear();
    ui.boxes.clear();
    ole.running.clear();
    if (c.running) ole.running = {"Excel.Application"};
    ole.startable = {"Excel.Application"};
    ole.fail_on = "PasteSpecial";
    EXPECT_EQ(g.CopyExcel(), -2);
    ASSERT_GE(ole.lines.size(), 3u);
    EXPECT_EQ(ole.lines[ole.lines.size() - 3], "ActiveSheet.Cells(1,1).PasteSpecial() -> EOleError");
    EXPECT_EQ(ole.lines[ole.lines.size() - 2], "DisplayAlerts := False");
    EXPECT_EQ(ole.lines.back(), c.closing);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, S("ＯＬＥ実行中にエラーが発生しました。"));
  }
  ole.lines.clear();
  ui.boxes.clear();
  ole.fail_on = "Visible";
  EXPECT_EQ(g.CopyJustCalc(), -1);  // JustCalc cannot start
  ole.startable.insert("JustCalc.Application");
  EXPECT_EQ(g.CopyJustCalc(), -2);
  EXPECT_EQ(ui.boxes.back().text, S("OLE実行中にエラーが発生しました。"));
  EXPECT_EQ(ole.lines.back(), "Quit()");

  // Without boxes the code alone tells, and a program that no longer answers the
  // closing calls does not change it.
  ui.boxes.clear();
  g.ShowErrDlg = false;
  ole.fail_on = "Add";
  EXPECT_EQ(g.CopyExcel(), -2);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(HandOffFixture, ProgramsThatCannotStartAreReportedAlways) {
  SetAutomation(nullptr);  // the system's own factory: nothing is registered here
  g.ShowErrDlg = false;
  EXPECT_EQ(g.CopyExcel(), -1);
  EXPECT_EQ(g.CopyJustCalc(), -1);
  EXPECT_EQ(g.CopyKingsoft(), -1);
  SetAutomation(&ole);
  ASSERT_EQ(ui.boxes.size(), 3u);
  EXPECT_EQ(ui.boxes[0].text, S("MS-Excelを起動できませんでした。\r\nMS-Excelのインストールを確認してください。"));
  EXPECT_EQ(ui.boxes[1].text, S("JustCalc を起動できませんでした。\r\nJustCalc のインストールを確認してください。"));
  EXPECT_EQ(ui.boxes[2].text,
            S("Kingsoft Spreadsheets を起動できませんでした。\r\nKingsoft Spreadsheets のインストールを確認してください。"));
  EXPECT_EQ(ui.boxes[0].flags, MB_OK | MB_ICONERROR);
}
