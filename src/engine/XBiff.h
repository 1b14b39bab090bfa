// Excel workbook reader: reads a BIFF2 to BIFF8 workbook (a raw BIFF file, or a
// compound file holding a "Workbook" or "book" stream) from start to end and reports
// its content as events: sheet names, cells as text with sheet number, row and column,
// column widths, and progress in percent. It keeps no cell model of its own.
//
// Texts come out as program text (CP932): numbers as "%g" with 15 significant digits
// (whatever the locale), BIFF2 integers in decimal, Booleans as "TRUE" and "FALSE".
// Rows and columns are 0-based as stored; sheets count from 1 in the order their
// worksheet BOF records come.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Exception.h"

// Failures of the reader: a file that cannot be read or is no workbook or is damaged.
class EXBiffError : public Exception {
 public:
  using Exception::Exception;
  const char *ClassName() const override { return "EXBiffError"; }
};

// The value of a 32-bit RK number: a signed 30-bit integer (bit 1 set) or the upper
// 30 bits of a double; bit 0 set divides the result by 100.
double DecodeRK(std::uint32_t rk);

class TXBiff {
 public:
  using TOnProgressEvent = std::function<void(TXBiff *Sender, int Progress)>;
  using TOnReadCellEvent = std::function<void(TXBiff *Sender, int SheetNo, int Row, int Col,
                                              int rgbAttr, const std::string &Data, bool &Cancel)>;
  using TOnReadColWEvent = std::function<void(TXBiff *Sender, int SheetNo, int Col, int Width)>;
  using TOnReadSheetNameEvent = std::function<void(TXBiff *Sender, const std::string &SheetName)>;

  TOnProgressEvent OnProgress;
  TOnReadCellEvent OnReadCell;
  TOnReadColWEvent OnReadColW;
  TOnReadSheetNameEvent OnReadSheetName;

  virtual ~TXBiff() = default;

  // Stores the file name (program text) and reads the file.
  void LoadFromFile(const std::string &FileName);
  // Reads the whole file, firing the events; returns at the end of the workbook stream
  // or after the record on which a handler set Cancel. Throws EXBiffError when the file
  // cannot be read or is damaged; exceptions of the handlers pass through.
  void ReadWorkbook(const std::string &FileName);
  // The same on the bytes of a file already in memory.
  void ReadWorkbookData(std::string_view Data);

  const std::string &FileName() const { return FFileName; }
  int Progress() const { return FProgress; }
  // Format state of the last read: 2 raw BIFF2 to BIFF4 file, 3 BIFF3, 4 "book"
  // stream, 5 "Workbook" stream, 8 BIFF8.
  int FormatState() const { return FState; }

 protected:
  virtual void DoProgress(int Progress);
  // Fires OnReadCell; returns the handler's Cancel.
  virtual bool DoReadCell(int SheetNo, int Row, int Col, int rgbAttr, const std::string &Data);

 private:
  class TStringCursor;

  void ReadStream(std::string_view s);
  bool ReadRecord(std::uint16_t id, const unsigned char *p, std::size_t len, std::size_t &next);
  std::size_t ReadSst(std::size_t pos);
  std::string Biff8Text(std::size_t body, std::size_t off, std::size_t len);
  bool NumberCell(int row, int col, int attr, double v);

  std::string FFileName;
  int FProgress = 0;
  int FState = 2;
  bool FBiff2 = false;  // the first BOF was a BIFF2 one
  int FSheetNo = 0;
  int FFormulaRow = 0, FFormulaCol = 0;
  std::vector<std::string> FSst;
  std::string FText;  // work buffer for the cell text
  std::string_view FStream;
};
