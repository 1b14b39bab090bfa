// The SQL editor's line store, its undo list and the buffered file writer.
//
// TQmEditStringList keeps each line's text (CP932 bytes) with the highlighter's range
// state at the line's end and a cache of the line's length after tab expansion, and
// reports every insertion, deletion and change of lines through its events. Loading and
// saving keep the file's kind of line end.
#pragma once

#include <cstdint>
#include <cstdio>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "components/editor/QmEditMiscProcs.h"
#include "components/editor/QmEditTypes.h"
#include "engine/Exception.h"
#include "platform/cp932.h"

// Raised for a line index outside the permitted range.
class EQmEditStringList : public Exception {
 public:
  using Exception::Exception;
  const char *ClassName() const override { return "EQmEditStringList"; }
};

// Raised by lists for an index or a capacity they cannot take.
class EListError : public Exception {
 public:
  using Exception::Exception;
  const char *ClassName() const override { return "EListError"; }
};

// Raised when a file cannot be opened, created or written.
class EFOpenError : public Exception {
 public:
  using Exception::Exception;
  const char *ClassName() const override { return "EFOpenError"; }
};
class EFCreateError : public Exception {
 public:
  using Exception::Exception;
  const char *ClassName() const override { return "EFCreateError"; }
};
class EWriteError : public Exception {
 public:
  using Exception::Exception;
  const char *ClassName() const override { return "EWriteError"; }
};

// How lines end in a file.
enum TQmLineEndKind : std::uint8_t { leCrLf = 0, leLf = 1, leCr = 2 };

// The line end of a kind: CR LF, LF or CR.
std::string_view LineEndText(TQmLineEndKind Kind);

// Selection modes of the editor.
enum TQmSelectionMode : std::uint8_t { smNormal = 0, smLine = 1, smColumn = 2 };

// Flags of a line record.
constexpr std::uint8_t qlfHasTabs = 1;            // the line has tabs
constexpr std::uint8_t qlfHasNoTabs = 2;          // the expanded text is the text itself
constexpr std::uint8_t qlfExpandedUnknown = 4;    // the expanded length is not known yet

struct TQmLineEntry {
  std::string Text;
  void *Data = nullptr;
  int RangeState = -1;  // as the highlighter reports it; -1 while not known
  mutable std::int32_t ExpandedLength = -1;
  mutable std::uint8_t Flags = qlfExpandedUnknown;
  // Checkpoints of the walk over a long line's characters, made on first need and dropped
  // whenever the text changes.
  mutable std::shared_ptr<const cp932::BoundaryIndex> Boundaries;
};

using TQmLinesEvent = TQmMethod<TObject *, int, int>;  // (Sender, Index, Count)

class TQmEditStringList : public TPersistent {
 public:
  TQmEditStringList();
  ~TQmEditStringList() override;
  const char *ClassName() const override { return "TQmEditStringList"; }

  int Count() const { return static_cast<int>(FList.size()); }
  int Capacity() const { return FCapacity; }
  // Raises EListError when Value is below the count.
  void SetCapacity(int Value);

  // Line operations. Each runs inside an update; the indexes permitted are given per
  // operation, others raise EQmEditStringList.
  int Add(std::string_view Text);                         // returns the new index
  void Insert(int Index, std::string_view Text);          // 0..Count
  void AddStrings(const std::vector<std::string> &List);
  void AddStrings(const TQmEditStringList &List);         // texts and objects
  void InsertEmptyLines(int Index, int NumLines);         // 0..Count
  void Delete(int Index);                                 // 0..Count-1
  void RemoveLines(int Index, int NumLines);              // 0..Count; cut to the lines present
  void Clear();
  void Exchange(int Index1, int Index2);                  // 0..Count-1

  // The text of a line; empty outside the list.
  std::string Get(int Index) const;
  // True when the byte at 1-based Char of line Index is the trail byte of a double-byte
  // character (IsTrailByteAt), decided as a walk from the line's start decides it; on a
  // long line the walk starts from the nearest of the line's checkpoints, so that the
  // cost does not grow with Char.
  bool IsTrailByte(int Index, int Char) const;
  const std::string &operator[](int Index) const;
  // Index Count (or 0 in an empty list) adds a line.
  void Put(int Index, std::string_view Text);
  void *GetObject(int Index) const;
  void PutObject(int Index, void *Object);
  // The range state at the end of a line; 0 outside the list.
  int LineRangeState(int Index) const;
  void SetLineRangeState(int Index, int Value);

  // Tab expansion, cached per line.
  std::string ExpandedLineText(int Index) const;
  int ExpandedLineLength(int Index) const;
  int LongestLineLength() const;
  int TabWidth() const { return FTabWidth; }
  void SetTabWidth(int Value);

  TQmLineEndKind LineEndKind() const { return FLineEndKind; }
  void SetLineEndKind(TQmLineEndKind Value) { FLineEndKind = Value; }
  bool AppendNewLine() const { return FAppendNewLine; }
  void SetAppendNewLine(bool Value) { FAppendNewLine = Value; }

  // The lines joined with CR LF, without a line end after the last line.
  std::string GetText() const;
  // Takes the whole text, split as a loaded file is (the line-end kind stays).
  void SetText(std::string_view Text);

  // File names are program text. Loading raises EFOpenError when the file cannot be read, and
  // leaves the lines as they were.
  void LoadFromFile(const std::string &FileName);
  void LoadFromStream(std::istream &Stream);
  void SaveToStream(std::ostream &Stream) const;
  void SaveToFile(const std::string &FileName) const;

  // From another line store: texts, objects and range states (or EConvertError).
  void Assign(const TPersistent &Source) override;

  // Updates nest; OnChanging fires when the outermost begins, OnChange when it ends.
  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;
  TNotifyEvent OnLinesCleared;
  TQmLinesEvent OnLinesDeleted;
  TQmLinesEvent OnLinesInserted;
  TQmLinesEvent OnLinesChanged;

 private:
  class TUpdate;
  void CheckIndex(int Index, int Last) const;
  void Grow();
  void Reserve(int NewCount);
  void InsertItem(int Index, std::string_view Text);
  std::string ExpandLine(const TQmLineEntry &Line) const;
  void SplitInto(std::string_view Text, bool &SawCr, bool &SawLf);

  std::vector<TQmLineEntry> FList;
  int FCapacity = 0;
  TQmLineEndKind FLineEndKind = leCrLf;
  bool FAppendNewLine = false;
  mutable int FIndexOfLongestLine = -1;
  int FTabWidth = 8;
  TQmTabExpander FExpandTabs = nullptr;
  int FUpdateCount = 0;
};

// ---------------------------------------------------------------------------------------
// Undo

// What an undo item records. 20 is reported for an empty list and 21 marks a group break;
// the editor sets the meaning of the others.
enum TQmUndoReason : std::uint8_t {
  urInsert = 0,
  urPaste = 1,
  urDragDropInsert = 2,
  urDeleteBackward = 3,  // a selection made backwards was deleted
  urDelete = 4,
  urLineBreak = 5,
  urIndent = 6,
  urUnindent = 7,
  urDeleteBeforeCaret = 8,
  urDeleteAfterCaret = 9,
  urGroupBegin = 10,
  urGroupEnd = 11,
  urPasteBegin = 12,
  urPasteEnd = 13,
  urGroup2Begin = 14,
  urGroup2End = 15,
  urGroup3Begin = 16,
  urGroup3End = 17,
  urCaret = 18,
  urSelection = 19,
  urNothing = 20,
  urGroupBreak = 21,
  urDeleteAll = 22,
  urBlanksAdded = 23,
};

class TQmEditUndoItem : public TPersistent {
 public:
  const char *ClassName() const override { return "TQmEditUndoItem"; }
  // From another item: all six values.
  void Assign(const TPersistent &Source) override;

  TQmUndoReason Reason = urNothing;
  TQmSelectionMode SelMode = smNormal;
  TBufferPos StartPoint;
  TBufferPos EndPoint;
  std::string Text;
  std::int32_t SequenceNo = 0;
};

class TQmEditUndoList : public TPersistent {
 public:
  const char *ClassName() const override { return "TQmEditUndoList"; }

  // Records a change (nothing while locked). Inside a block the item takes the block's
  // sequence number, otherwise the next one.
  void RecordChange(TQmUndoReason Reason, TBufferPos StartPos, TBufferPos EndPos,
                    std::string_view Text, TQmSelectionMode SelMode);
  // Appends an item as it is (items moved between the undo and the redo list), dropping
  // the oldest beyond MaxItems; OnItemAdded fires unless it is a group break.
  void PushItem(std::unique_ptr<TQmEditUndoItem> Item);
  // A group-break marker, unless the last item already is one.
  void AppendGroupBreak();

  void OpenBlock();
  void CloseBlock();
  int BlockCount() const { return FBlockCount; }

  TQmEditUndoItem *LastItem() const { return FItems.empty() ? nullptr : FItems.back().get(); }
  std::unique_ptr<TQmEditUndoItem> TakeLastItem();
  bool HasItems() const { return !FItems.empty(); }
  int ItemCount() const { return static_cast<int>(FItems.size()); }
  TQmEditUndoItem *Items(int Index) const { return FItems.at(static_cast<std::size_t>(Index)).get(); }
  void Clear();
  // urNothing for an empty list.
  TQmUndoReason LastReason() const { return FItems.empty() ? urNothing : FItems.back()->Reason; }

  void Lock() { ++FLockCount; }
  void Unlock() {
    if (FLockCount > 0) --FLockCount;
  }
  bool IsLocked() const { return FLockCount > 0; }

  int MaxItems() const { return FMaxItems; }
  void SetMaxItems(int Value);
  bool ItemsDropped() const { return FItemsDropped; }
  std::int32_t NextSequenceNo() const { return FNextSequenceNo; }
  bool Redoing() const { return FRedoing; }
  void SetRedoing(bool Value) { FRedoing = Value; }

  // True remembers the present state as saved; false forgets it when the list is there.
  void SetSavedState(bool Value);
  bool IsAtSavedState() const;

  // From another undo list: every item, counter and flag.
  void Assign(const TPersistent &Source) override;

  TNotifyEvent OnItemAdded;

 private:
  void Trim();
  std::vector<std::unique_ptr<TQmEditUndoItem>> FItems;
  int FMaxItems = 1024;
  std::int32_t FNextSequenceNo = 1;
  int FBlockCount = 0;
  std::int32_t FBlockSequenceNo = 0;
  int FLockCount = 0;
  bool FItemsDropped = false;
  bool FRedoing = false;
  std::int32_t FSavedSequenceNo = 0;
};

// ---------------------------------------------------------------------------------------
// Buffered writing

class TQmEditFiler : public TObject {
 public:
  const char *ClassName() const override { return "TQmEditFiler"; }
  TQmLineEndKind LineEndKind() const { return FLineEndKind; }
  void SetLineEndKind(TQmLineEndKind Value) { FLineEndKind = Value; }

 protected:
  std::vector<char> FBuffer = std::vector<char>(16384);
  std::size_t FBufPos = 0;
  TQmLineEndKind FLineEndKind = leLf;
  std::FILE *FStream = nullptr;
};

class TQmEditFileWriter : public TQmEditFiler {
 public:
  // Creates (or truncates) the file (its name is program text); EFCreateError when that
  // fails.
  explicit TQmEditFileWriter(const std::string &FileName);
  // Flushes and closes; a failure here is silent, so call Flush first to learn of it.
  ~TQmEditFileWriter() override;
  const char *ClassName() const override { return "TQmEditFileWriter"; }

  void Write(std::string_view Text);
  // The text and the line end of the writer's kind.
  void WriteLine(std::string_view Text);
  // Writes the buffered bytes; EWriteError when the file does not take them.
  void Flush();

 private:
  void Append(std::string_view Text, std::string_view LineEnd);
  std::string FFileName;
};
