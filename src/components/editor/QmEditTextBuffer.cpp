// The SQL editor's line store, its undo list and the buffered file writer.
#include "components/editor/QmEditTextBuffer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <istream>
#include <iterator>
#include <ostream>
#include <sstream>

#include "platform/fspath.h"

std::string_view LineEndText(TQmLineEndKind Kind) {
  switch (Kind) {
    case leLf: return "\n";
    case leCr: return "\r";
    default: return "\r\n";
  }
}

// ---------------------------------------------------------------------------------------
// Line store

// Brackets one operation in an update, also when it fails half-way.
class TQmEditStringList::TUpdate {
 public:
  explicit TUpdate(TQmEditStringList &List) : FList(List) { FList.BeginUpdate(); }
  ~TUpdate() { FList.EndUpdate(); }
  TUpdate(const TUpdate &) = delete;
  TUpdate &operator=(const TUpdate &) = delete;

 private:
  TQmEditStringList &FList;
};

TQmEditStringList::TQmEditStringList() : FExpandTabs(SelectTabExpander(8)) {}

TQmEditStringList::~TQmEditStringList() {
  OnChange = nullptr;
  OnChanging = nullptr;
  OnLinesCleared = nullptr;
  OnLinesDeleted = nullptr;
  OnLinesInserted = nullptr;
  OnLinesChanged = nullptr;
}

void TQmEditStringList::CheckIndex(int Index, int Last) const {
  if (Index < 0 || Index > Last)
    throw EQmEditStringList("Invalid stringlist index " + std::to_string(Index));
}

void TQmEditStringList::SetCapacity(int Value) {
  if (Value < Count()) throw EListError("Stringlist capacity cannot be smaller than count");
  FCapacity = Value;
  FList.reserve(static_cast<std::size_t>(Value));
}

void TQmEditStringList::Grow() {
  int delta = FCapacity > 64 ? FCapacity / 4 : 16;
  SetCapacity(FCapacity + delta);
}

void TQmEditStringList::Reserve(int NewCount) {
  if (NewCount > FCapacity) SetCapacity((NewCount + 15) / 16 * 16);
}

void TQmEditStringList::BeginUpdate() {
  if (FUpdateCount++ == 0) OnChanging(this);
}

void TQmEditStringList::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0) OnChange(this);
}

void TQmEditStringList::InsertItem(int Index, std::string_view Text) {
  if (Count() == FCapacity) Grow();
  TQmLineEntry e;
  e.Text.assign(Text);
  FList.insert(FList.begin() + Index, std::move(e));
  FIndexOfLongestLine = -1;
}

int TQmEditStringList::Add(std::string_view Text) {
  int index = Count();
  Insert(index, Text);
  return index;
}

void TQmEditStringList::Insert(int Index, std::string_view Text) {
  CheckIndex(Index, Count());
  TUpdate update(*this);
  InsertItem(Index, Text);
  OnLinesInserted(this, Index, 1);
}

void TQmEditStringList::AddStrings(const std::vector<std::string> &List) {
  if (List.empty()) return;
  TUpdate update(*this);
  int first = Count();
  Reserve(first + static_cast<int>(List.size()));
  for (const std::string &s : List) {
    TQmLineEntry e;
    e.Text = s;
    FList.push_back(std::move(e));
  }
  FIndexOfLongestLine = -1;
  OnLinesInserted(this, first, static_cast<int>(List.size()));
}

void TQmEditStringList::AddStrings(const TQmEditStringList &List) {
  if (List.Count() == 0) return;
  TUpdate update(*this);
  int first = Count(), n = List.Count();
  Reserve(first + n);
  for (int i = 0; i < n; ++i) {
    TQmLineEntry e;
    e.Text = List.FList[static_cast<std::size_t>(i)].Text;
    e.Data = List.FList[static_cast<std::size_t>(i)].Data;
    FList.push_back(std::move(e));
  }
  FIndexOfLongestLine = -1;
  OnLinesInserted(this, first, n);
}

void TQmEditStringList::InsertEmptyLines(int Index, int NumLines) {
  CheckIndex(Index, Count());
  if (NumLines <= 0) return;
  TUpdate update(*this);
  Reserve(Count() + NumLines);
  FList.insert(FList.begin() + Index, static_cast<std::size_t>(NumLines), TQmLineEntry{});
  FIndexOfLongestLine = -1;
  OnLinesInserted(this, Index, NumLines);
}

void TQmEditStringList::Delete(int Index) {
  CheckIndex(Index, Count() - 1);
  TUpdate update(*this);
  FList.erase(FList.begin() + Index);
  FIndexOfLongestLine = -1;
  OnLinesDeleted(this, Index, 1);
}

void TQmEditStringList::RemoveLines(int Index, int NumLines) {
  CheckIndex(Index, Count());
  NumLines = std::min(NumLines, Count() - Index);
  if (NumLines <= 0) return;
  TUpdate update(*this);
  FList.erase(FList.begin() + Index, FList.begin() + Index + NumLines);
  FIndexOfLongestLine = -1;
  OnLinesDeleted(this, Index, NumLines);
}

void TQmEditStringList::Clear() {
  if (!FList.empty()) {
    TUpdate update(*this);
    FList.clear();
    FList.shrink_to_fit();
    FCapacity = 0;
    FIndexOfLongestLine = -1;
    OnLinesCleared(this);
  }
  FIndexOfLongestLine = -1;
}

void TQmEditStringList::Exchange(int Index1, int Index2) {
  CheckIndex(Index1, Count() - 1);
  CheckIndex(Index2, Count() - 1);
  if (Index1 == Index2) return;
  TUpdate update(*this);
  std::swap(FList[static_cast<std::size_t>(Index1)], FList[static_cast<std::size_t>(Index2)]);
  if (FIndexOfLongestLine == Index1)
    FIndexOfLongestLine = Index2;
  else if (FIndexOfLongestLine == Index2)
    FIndexOfLongestLine = Index1;
}

std::string TQmEditStringList::Get(int Index) const {
  if (Index < 0 || Index >= Count()) return {};
  return FList[static_cast<std::size_t>(Index)].Text;
}

const std::string &TQmEditStringList::operator[](int Index) const {
  static const std::string empty;
  if (Index < 0 || Index >= Count()) return empty;
  return FList[static_cast<std::size_t>(Index)].Text;
}

bool TQmEditStringList::IsTrailByte(int Index, int Char) const {
  // Below this length a walk from the start costs less than keeping checkpoints.
  constexpr std::size_t kCheckpointedLength = 4096;
  if (Index < 0 || Index >= Count()) return false;
  const TQmLineEntry &e = FList[static_cast<std::size_t>(Index)];
  if (e.Text.size() < kCheckpointedLength) return IsTrailByteAt(e.Text, Char);
  if (Char < 1 || static_cast<std::size_t>(Char) > e.Text.size()) return false;
  if (!e.Boundaries) e.Boundaries = std::make_shared<const cp932::BoundaryIndex>(e.Text);
  return !e.Boundaries->IsCharBoundary(e.Text, static_cast<std::size_t>(Char) - 1);
}

void TQmEditStringList::Put(int Index, std::string_view Text) {
  if (Index == Count()) {
    Add(Text);
    return;
  }
  CheckIndex(Index, Count() - 1);
  TUpdate update(*this);
  TQmLineEntry &e = FList[static_cast<std::size_t>(Index)];
  e.Text.assign(Text);
  e.Flags = qlfExpandedUnknown;
  e.Boundaries.reset();
  FIndexOfLongestLine = -1;
  OnLinesChanged(this, Index, 1);
}

void *TQmEditStringList::GetObject(int Index) const {
  if (Index < 0 || Index >= Count()) return nullptr;
  return FList[static_cast<std::size_t>(Index)].Data;
}

void TQmEditStringList::PutObject(int Index, void *Object) {
  CheckIndex(Index, Count() - 1);
  FList[static_cast<std::size_t>(Index)].Data = Object;
}

int TQmEditStringList::LineRangeState(int Index) const {
  if (Index < 0 || Index >= Count()) return 0;
  return FList[static_cast<std::size_t>(Index)].RangeState;
}

void TQmEditStringList::SetLineRangeState(int Index, int Value) {
  CheckIndex(Index, Count() - 1);
  FList[static_cast<std::size_t>(Index)].RangeState = Value;
}

std::string TQmEditStringList::ExpandLine(const TQmLineEntry &Line) const {
  bool hasTabs = false;
  std::string expanded;
  if (!Line.Text.empty()) expanded = FExpandTabs(Line.Text, FTabWidth, hasTabs);
  Line.ExpandedLength = static_cast<std::int32_t>(expanded.size());
  Line.Flags = hasTabs ? qlfHasTabs : qlfHasNoTabs;
  return expanded;
}

std::string TQmEditStringList::ExpandedLineText(int Index) const {
  if (Index < 0 || Index >= Count()) return {};
  const TQmLineEntry &e = FList[static_cast<std::size_t>(Index)];
  if (e.Flags & qlfHasNoTabs) return e.Text;
  return ExpandLine(e);
}

int TQmEditStringList::ExpandedLineLength(int Index) const {
  if (Index < 0 || Index >= Count()) return 0;
  const TQmLineEntry &e = FList[static_cast<std::size_t>(Index)];
  if (e.Flags & qlfExpandedUnknown) ExpandLine(e);
  return e.ExpandedLength;
}

int TQmEditStringList::LongestLineLength() const {
  if (FList.empty()) return 0;
  if (FIndexOfLongestLine < 0) {
    int best = -1;
    for (int i = 0; i < Count(); ++i) {
      int len = ExpandedLineLength(i);
      if (len > best) {
        best = len;
        FIndexOfLongestLine = i;
      }
    }
  }
  return ExpandedLineLength(FIndexOfLongestLine);
}

void TQmEditStringList::SetTabWidth(int Value) {
  if (Value == FTabWidth) return;
  FTabWidth = Value;
  FExpandTabs = SelectTabExpander(Value);
  FIndexOfLongestLine = -1;
  for (TQmLineEntry &e : FList)
    e.Flags = static_cast<std::uint8_t>((e.Flags & ~qlfHasNoTabs) | qlfExpandedUnknown);
}

std::string TQmEditStringList::GetText() const {
  std::size_t size = 0;
  for (const TQmLineEntry &e : FList) size += e.Text.size() + 2;
  std::string text;
  text.reserve(size);
  for (std::size_t i = 0; i < FList.size(); ++i) {
    if (i > 0) text += "\r\n";
    text += FList[i].Text;
  }
  return text;
}

// Splits at CR, LF and CR LF in one pass and appends the lines; with AppendNewLine false a
// final line end shows as an empty last line.
void TQmEditStringList::SplitInto(std::string_view Text, bool &SawCr, bool &SawLf) {
  SawCr = SawLf = false;
  const int first = Count();
  const char *p = Text.data(), *end = Text.data() + Text.size();
  // Room for every line at once, so the records are never moved while loading.
  const auto ends = std::count_if(p, end, [](char c) { return c == '\r' || c == '\n'; });
  Reserve(first + static_cast<int>(ends) + 1);
  auto add = [&](const char *from, const char *to) {
    if (Count() == FCapacity) Grow();
    FList.emplace_back().Text.assign(from, to);
  };
  while (p < end) {
    const char *q = p;
    while (q < end && *q != '\r' && *q != '\n') ++q;
    if (q == end) {
      add(p, q);
      break;
    }
    add(p, q);
    if (*q == '\r') {
      SawCr = true;
      if (q + 1 < end && q[1] == '\n') {
        SawLf = true;
        ++q;
      }
    } else {
      SawLf = true;
    }
    p = q + 1;
  }
  if (!FAppendNewLine && !Text.empty() && (Text.back() == '\r' || Text.back() == '\n'))
    add(end, end);
  FIndexOfLongestLine = -1;
  if (Count() > first) OnLinesInserted(this, first, Count() - first);
}

void TQmEditStringList::SetText(std::string_view Text) {
  TUpdate update(*this);
  Clear();
  bool cr, lf;
  SplitInto(Text, cr, lf);
}

void TQmEditStringList::LoadFromStream(std::istream &Stream) {
  Stream.clear();
  Stream.seekg(0, std::ios::end);
  const std::streamoff size = Stream.tellg();
  Stream.seekg(0);
  std::string data;
  if (size > 0) {
    data.resize(static_cast<std::size_t>(size));
    Stream.read(data.data(), size);
    data.resize(static_cast<std::size_t>(Stream.gcount()));
  } else if (size < 0) {  // a stream without positions: read what it gives
    Stream.clear();
    data.assign(std::istreambuf_iterator<char>(Stream), std::istreambuf_iterator<char>());
  }
  if (Stream.bad()) throw EFOpenError("Stream read error");
  TUpdate update(*this);
  Clear();
  bool sawCr, sawLf;
  SplitInto(data, sawCr, sawLf);
  if (sawCr && !sawLf)
    FLineEndKind = leCr;
  else if (sawLf && !sawCr)
    FLineEndKind = leLf;
  else
    FLineEndKind = leCrLf;
}

void TQmEditStringList::LoadFromFile(const std::string &FileName) {
  std::FILE *f = std::fopen(FsPath(FileName).c_str(), "rb");
  if (!f)
    throw EFOpenError("Cannot open file \"" + FileName + "\". " + std::strerror(errno));
  std::string data;
  char buf[65536];
  std::size_t got;
  while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, got);
  bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) throw EFOpenError("Cannot read file \"" + FileName + "\"");
  std::istringstream stream(std::move(data));
  LoadFromStream(stream);
}

void TQmEditStringList::SaveToStream(std::ostream &Stream) const {
  std::string_view le = LineEndText(FLineEndKind);
  std::size_t size = 0;
  for (const TQmLineEntry &e : FList) size += e.Text.size() + le.size();
  if (!FAppendNewLine && !FList.empty()) size -= le.size();
  std::string out;
  out.reserve(size);
  for (std::size_t i = 0; i < FList.size(); ++i) {
    out += FList[i].Text;
    if (i + 1 < FList.size() || FAppendNewLine) out += le;
  }
  Stream.write(out.data(), static_cast<std::streamsize>(out.size()));
  if (!Stream) throw EWriteError("Stream write error");
}

void TQmEditStringList::SaveToFile(const std::string &FileName) const {
  TQmEditFileWriter writer(FileName);
  writer.SetLineEndKind(FLineEndKind);
  for (std::size_t i = 0; i < FList.size(); ++i) {
    if (i + 1 < FList.size() || FAppendNewLine)
      writer.WriteLine(FList[i].Text);
    else
      writer.Write(FList[i].Text);
  }
  writer.Flush();
}

void TQmEditStringList::Assign(const TPersistent &Source) {
  const auto *src = dynamic_cast<const TQmEditStringList *>(&Source);
  if (!src) return TPersistent::Assign(Source);
  if (src == this) return;
  TUpdate update(*this);
  Clear();
  AddStrings(*src);
  for (int i = 0; i < Count(); ++i)
    FList[static_cast<std::size_t>(i)].RangeState = src->FList[static_cast<std::size_t>(i)].RangeState;
}

// ---------------------------------------------------------------------------------------
// Undo

namespace {

// Sequence numbers run 1, 2, 3 ... and skip 0 when they wrap.
std::int32_t NextNumber(std::int32_t n) {
  std::uint32_t u = static_cast<std::uint32_t>(n) + 1u;
  if (u == 0) u = 1;
  return static_cast<std::int32_t>(u);
}

}  // namespace

void TQmEditUndoItem::Assign(const TPersistent &Source) {
  const auto *src = dynamic_cast<const TQmEditUndoItem *>(&Source);
  if (!src) return TPersistent::Assign(Source);
  Reason = src->Reason;
  SelMode = src->SelMode;
  StartPoint = src->StartPoint;
  EndPoint = src->EndPoint;
  Text = src->Text;
  SequenceNo = src->SequenceNo;
}

void TQmEditUndoList::RecordChange(TQmUndoReason Reason, TBufferPos StartPos, TBufferPos EndPos,
                                   std::string_view Text, TQmSelectionMode SelMode) {
  if (FLockCount > 0) return;
  auto item = std::make_unique<TQmEditUndoItem>();
  item->Reason = Reason;
  item->SelMode = SelMode;
  item->StartPoint = StartPos;
  item->EndPoint = EndPos;
  item->Text.assign(Text);
  if (FBlockSequenceNo != 0) {
    item->SequenceNo = FBlockSequenceNo;
  } else {
    item->SequenceNo = FNextSequenceNo;
    FNextSequenceNo = NextNumber(FNextSequenceNo);
  }
  PushItem(std::move(item));
}

void TQmEditUndoList::Trim() {
  std::size_t max = static_cast<std::size_t>(FMaxItems);
  if (FItems.size() <= max) return;
  FItems.erase(FItems.begin(), FItems.begin() + static_cast<std::ptrdiff_t>(FItems.size() - max));
  FItemsDropped = true;
}

void TQmEditUndoList::PushItem(std::unique_ptr<TQmEditUndoItem> Item) {
  if (!Item) return;
  bool isBreak = Item->Reason == urGroupBreak;
  FItems.push_back(std::move(Item));
  Trim();
  if (!isBreak) OnItemAdded(this);
}

void TQmEditUndoList::AppendGroupBreak() {
  if (LastReason() != urGroupBreak) RecordChange(urGroupBreak, {0, 0}, {0, 0}, {}, smNormal);
}

void TQmEditUndoList::OpenBlock() {
  ++FBlockCount;
  FBlockSequenceNo = FNextSequenceNo;
}

void TQmEditUndoList::CloseBlock() {
  if (FBlockCount <= 0) return;
  if (--FBlockCount > 0) return;
  std::int32_t block = FBlockSequenceNo;
  FBlockSequenceNo = 0;
  FNextSequenceNo = NextNumber(FNextSequenceNo);
  if (!FItems.empty() && FItems.back()->SequenceNo == block) OnItemAdded(this);
}

std::unique_ptr<TQmEditUndoItem> TQmEditUndoList::TakeLastItem() {
  if (FItems.empty()) return nullptr;
  std::unique_ptr<TQmEditUndoItem> item = std::move(FItems.back());
  FItems.pop_back();
  return item;
}

void TQmEditUndoList::Clear() {
  FItems.clear();
  FItemsDropped = false;
}

void TQmEditUndoList::SetMaxItems(int Value) {
  if (Value < 0) Value = 0;
  if (Value == FMaxItems) return;
  FMaxItems = Value;
  Trim();
}

void TQmEditUndoList::SetSavedState(bool Value) {
  std::int32_t last = FItems.empty() ? 0 : FItems.back()->SequenceNo;
  if (Value)
    FSavedSequenceNo = last;
  else if (last == FSavedSequenceNo)
    FSavedSequenceNo = -1;
}

bool TQmEditUndoList::IsAtSavedState() const {
  std::int32_t last = FItems.empty() ? 0 : FItems.back()->SequenceNo;
  return last == FSavedSequenceNo;
}

void TQmEditUndoList::Assign(const TPersistent &Source) {
  const auto *src = dynamic_cast<const TQmEditUndoList *>(&Source);
  if (!src) return TPersistent::Assign(Source);
  if (src == this) return;
  Clear();
  for (const auto &item : src->FItems) {
    auto copy = std::make_unique<TQmEditUndoItem>();
    copy->Assign(*item);
    FItems.push_back(std::move(copy));
  }
  FMaxItems = src->FMaxItems;
  FNextSequenceNo = src->FNextSequenceNo;
  FBlockCount = src->FBlockCount;
  FBlockSequenceNo = src->FBlockSequenceNo;
  FLockCount = src->FLockCount;
  FItemsDropped = src->FItemsDropped;
  FRedoing = src->FRedoing;
  FSavedSequenceNo = src->FSavedSequenceNo;
}

// ---------------------------------------------------------------------------------------
// Buffered writing

TQmEditFileWriter::TQmEditFileWriter(const std::string &FileName) : FFileName(FileName) {
  FStream = std::fopen(FsPath(FileName).c_str(), "wb");
  if (!FStream)
    throw EFCreateError("Cannot create file \"" + FileName + "\". " + std::strerror(errno));
}

TQmEditFileWriter::~TQmEditFileWriter() {
  try {
    Flush();
  } catch (...) {
  }
  if (FStream) std::fclose(FStream);
}

void TQmEditFileWriter::Append(std::string_view Text, std::string_view LineEnd) {
  std::size_t need = Text.size() + LineEnd.size();
  if (FBufPos + need > FBuffer.size()) {
    Flush();
    if (need > FBuffer.size()) FBuffer.resize(need);
  }
  // An empty view may have no data at all, which memcpy must not be given.
  for (std::string_view part : {Text, LineEnd}) {
    if (part.empty()) continue;
    std::memcpy(FBuffer.data() + FBufPos, part.data(), part.size());
    FBufPos += part.size();
  }
}

void TQmEditFileWriter::Write(std::string_view Text) { Append(Text, {}); }

void TQmEditFileWriter::WriteLine(std::string_view Text) {
  Append(Text, LineEndText(FLineEndKind));
}

void TQmEditFileWriter::Flush() {
  if (FBufPos == 0 || !FStream) return;
  std::size_t n = FBufPos;
  FBufPos = 0;
  if (std::fwrite(FBuffer.data(), 1, n, FStream) != n || std::fflush(FStream) != 0)
    throw EWriteError("Cannot write file \"" + FFileName + "\"");
}
