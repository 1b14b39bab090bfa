// Word wrap for the SQL editor: each line shows as one or more display rows no wider than
// the window.
//
// The plug-in keeps, per line, the number of rows of that line and all lines before it,
// and per row the number of bytes of the tab-expanded line it holds. Rows break after a
// run of blanks, else after the last break character far enough into the row, else at the
// window's width; a row never ends inside a double-byte character and always holds at
// least one whole character.
#pragma once

#include <cstdint>
#include <vector>

#include "components/editor/QmEditTextBuffer.h"
#include "components/editor/QmEditTypes.h"

// A plug-in that changes how the editor's lines map to display rows. Positions on the
// text side are (column of the tab-expanded line, line).
class IQmEditBufferPlugin {
 public:
  virtual ~IQmEditBufferPlugin() = default;
  virtual TDisplayPos BufferToDisplayPos(const TBufferPos &Pos) const = 0;
  virtual TBufferPos DisplayToBufferPos(const TDisplayPos &Pos) const = 0;
  virtual int RowCount() const = 0;
  virtual int RowLength(int Row) const = 0;
  // Index is 0-based; each returns the change in the number of rows.
  virtual int LinesInserted(int Index, int Count) = 0;
  virtual int LinesDeleted(int Index, int Count) = 0;
  virtual int LinesChanged(int Index, int Count) = 0;
  virtual void DisplayChanged() = 0;
  virtual void Reset() = 0;
};

// What the word wrap needs of its editor.
class IQmWordWrapEditor {
 public:
  virtual ~IQmWordWrapEditor() = default;
  virtual const TQmEditStringList &Lines() const = 0;
  // Whole characters that fit in the text area's width.
  virtual int CharsInWindow() const = 0;
  // The characters words are made of; every other byte may end a row.
  virtual TQmCharSet WordChars() const = 0;
};

class TQmWordWrapPlugin : public TObject, public IQmEditBufferPlugin {
 public:
  // EAssertionFailed without an editor.
  explicit TQmWordWrapPlugin(IQmWordWrapEditor *Editor);
  const char *ClassName() const override { return "TQmWordWrapPlugin"; }

  TDisplayPos BufferToDisplayPos(const TBufferPos &Pos) const override;
  TBufferPos DisplayToBufferPos(const TDisplayPos &Pos) const override;
  int RowCount() const override {
    return FLineOffsets.empty() ? 0 : FLineOffsets.back();
  }
  // Rows 1..RowCount; another row raises EListError.
  int RowLength(int Row) const override;
  int LinesInserted(int Index, int Count) override;
  int LinesDeleted(int Index, int Count) override;
  int LinesChanged(int Index, int Count) override;
  void DisplayChanged() override;
  void Reset() override;

  int MaxRowLength() const { return FMaxRowLength; }
  int MinRowLength() const { return FMinRowLength; }
  // The number of lines wrapped.
  int LineCount() const { return static_cast<int>(FLineOffsets.size()); }
  // Rows of a 1-based line: the first row and the number of rows (0, 0 outside).
  int LineFirstRow(int Line) const;
  int LineRowCount(int Line) const;

 private:
  void WrapLine(int Index, std::vector<std::uint8_t> &Rows) const;
  int RewrapLine(int Index);
  int RowStart(int Index) const { return Index == 0 ? 0 : FLineOffsets[Index - 1]; }
  void ReserveLines(std::size_t Needed);
  void ReserveRows(std::size_t Needed);

  IQmWordWrapEditor *FEditor;
  std::uint8_t FMaxRowLength = 0;
  std::uint8_t FMinRowLength = 1;
  TQmCharSet FBreakChars;
  std::vector<std::int32_t> FLineOffsets;  // rows of each line and all lines before it
  std::vector<std::uint8_t> FRowLengths;   // bytes of the expanded line per row
  // Where the last conversion ended: a line, one of its rows (0-based, over all rows) and
  // the bytes of that line before the row. The next conversion on the same line walks the
  // rows from there, as painting converts row after row and a walk from the line's first
  // row would cost more the further down a long line the window is. Any rewrap forgets it.
  struct TNearRow {
    int Line = -1, Row = 0, Before = 0;
  };
  mutable TNearRow FNear;
  // The first row of line Index and the bytes before it, or the remembered row of that
  // line when there is one.
  TNearRow StartRow(int Index) const;
};
