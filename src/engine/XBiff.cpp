#include "engine/XBiff.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/CompoundFile.h"
#include "platform/cp932.h"
#include "platform/fspath.h"

namespace {

const std::string &OpenFailedText() {
  static const std::string s = cp932::FromUtf8("ﾌｧｲﾙを開くことに失敗しました");
  return s;
}
const std::string &UnknownFormatText() {
  static const std::string s = cp932::FromUtf8("未知のフォーマット.");
  return s;
}
[[noreturn]] void UnknownFormat() { throw EXBiffError(UnknownFormatText()); }

// Record identifiers.
enum : std::uint16_t {
  kInteger2 = 0x0002,
  kNumber2 = 0x0003,
  kLabel2 = 0x0004,
  kFormula2 = 0x0006,
  kString2 = 0x0007,
  kBof2 = 0x0009,
  kEof = 0x000A,
  kContinue = 0x003C,
  kColInfo = 0x007D,
  kBoundSheet = 0x0085,
  kMulRk = 0x00BD,
  kRString = 0x00D6,
  kSst = 0x00FC,
  kLabelSst = 0x00FD,
  kNumber = 0x0203,
  kLabel = 0x0204,
  kFormula3 = 0x0206,
  kString = 0x0207,
  kBof3 = 0x0209,
  kRk = 0x027E,
  kFormula4 = 0x0406,
  kBof4 = 0x0409,
  kBof = 0x0809,
};

// The longest record data an SST or its CONTINUE records may hold.
constexpr std::size_t kMaxSstPiece = 8224;

inline std::uint16_t U16(const unsigned char *p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t U32(const unsigned char *p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline double F64(const unsigned char *p) {
  std::uint64_t bits = static_cast<std::uint64_t>(U32(p)) | (static_cast<std::uint64_t>(U32(p + 4)) << 32);
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

bool IsBof(std::uint16_t id) { return id == kBof2 || id == kBof3 || id == kBof4 || id == kBof; }

// CP932 codes of the basic multilingual plane, 0 where CP932 has none: shared strings
// are converted a character at a time, so the table is kept at hand.
const std::uint16_t *Cp932Codes() {
  static const std::vector<std::uint16_t> table = [] {
    std::vector<std::uint16_t> t(0x10000);
    for (char32_t cp = 0; cp < 0x10000; ++cp) t[cp] = static_cast<std::uint16_t>(cp932::EncodeChar(cp));
    return t;
  }();
  return table.data();
}

// Appends one character as CP932 at w ("?" when CP932 has none); w has room for two.
inline char *PutChar(char *w, char32_t cp) {
  if (cp < 0x80) {
    *w++ = static_cast<char>(cp);
    return w;
  }
  static const std::uint16_t *const codes = Cp932Codes();
  unsigned code = cp < 0x10000 ? codes[cp] : 0;
  if (code == 0) {
    *w++ = '?';
  } else if (code < 0x100) {
    *w++ = static_cast<char>(code);
  } else {
    *w++ = static_cast<char>(code >> 8);
    *w++ = static_cast<char>(code & 0xFF);
  }
  return w;
}

// Appends 16-bit characters (UTF-16 code units, little endian) as CP932; a surrogate
// pair split over two calls is joined through `pending`.
void AppendUtf16(std::string &out, const unsigned char *p, std::size_t n, char16_t &pending) {
  std::size_t old = out.size();
  out.resize(old + 2 * n + 2);
  char *w = out.data() + old;
  for (std::size_t i = 0; i < n; ++i) {
    char16_t u = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
    if (pending) {
      if (u >= 0xDC00 && u <= 0xDFFF) {
        w = PutChar(w, 0x10000 + ((static_cast<char32_t>(pending) - 0xD800) << 10) + (u - 0xDC00));
        pending = 0;
        continue;
      }
      w = PutChar(w, pending);
      pending = 0;
    }
    if (u >= 0xD800 && u <= 0xDBFF)
      pending = u;
    else
      w = PutChar(w, u);
  }
  out.resize(static_cast<std::size_t>(w - out.data()));
}

// Appends 8-bit characters of a BIFF8 string: the low bytes of UTF-16 code units.
void AppendLatin1(std::string &out, const unsigned char *p, std::size_t n) {
  std::size_t old = out.size();
  out.resize(old + 2 * n);
  char *w = out.data() + old;
  for (std::size_t i = 0; i < n; ++i) w = PutChar(w, p[i]);
  out.resize(static_cast<std::size_t>(w - out.data()));
}

const char *ErrorText(unsigned code) {
  switch (code) {
    case 0x00: return "#NULL!";
    case 0x07: return "#DIV/0!";
    case 0x0F: return "#VALUE!";
    case 0x17: return "#REF!";
    case 0x1D: return "#NAME?";
    case 0x24: return "#NUM!";
    default: return "#N/A";
  }
}

}  // namespace

double DecodeRK(std::uint32_t rk) {
  double v;
  if (rk & 2) {
    v = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
  } else {
    std::uint64_t bits = static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32;
    std::memcpy(&v, &bits, sizeof v);
  }
  return (rk & 1) ? v / 100 : v;
}

// Walks record data that may go on in CONTINUE records: the current piece is
// [pos, end), and the pieces after it are the CONTINUE records that follow directly,
// up to `limit`. Every read is checked; a read past the last piece returns false.
class TXBiff::TStringCursor {
 public:
  TStringCursor(const unsigned char *d, std::size_t limit, std::size_t pos, std::size_t end)
      : d_(d), limit_(limit), pos_(pos), end_(end) {}

  std::size_t End() const { return end_; }

  bool AtEnd() {
    while (pos_ == end_ && NextPiece()) {}
    return pos_ == end_;
  }

  bool Byte(std::uint8_t &b) {
    while (pos_ == end_)
      if (!NextPiece()) return false;
    b = d_[pos_++];
    return true;
  }
  bool Word(std::uint16_t &w) {
    std::uint8_t a, b;
    if (!Byte(a) || !Byte(b)) return false;
    w = static_cast<std::uint16_t>(a | (b << 8));
    return true;
  }
  bool DWord(std::uint32_t &w) {
    std::uint16_t a, b;
    if (!Word(a) || !Word(b)) return false;
    w = static_cast<std::uint32_t>(a) | (static_cast<std::uint32_t>(b) << 16);
    return true;
  }
  bool Skip(std::uint64_t n) {
    while (n) {
      if (pos_ == end_ && !NextPiece()) return false;
      std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(n, end_ - pos_));
      pos_ += k;
      n -= k;
    }
    return true;
  }

  // A BIFF8 string: character count, option byte (bit 0 16-bit characters, bit 3 rich
  // text runs, bit 2 phonetic data), the characters, then the runs and the phonetic
  // data, which are skipped. Characters cut by a record boundary go on after a new
  // option byte that gives their width from there.
  bool Text(std::string &out) {
    std::uint16_t count, runs = 0;
    std::uint8_t opt;
    std::uint32_t ext = 0;
    if (!Word(count) || !Byte(opt)) return false;
    if ((opt & 8) && !Word(runs)) return false;
    if ((opt & 4) && !DWord(ext)) return false;
    bool wide = opt & 1;
    std::size_t left = count;
    char16_t pending = 0;
    out.clear();
    while (left) {
      if (pos_ == end_) {
        std::uint8_t o;
        if (!NextPiece() || !Byte(o)) return false;
        wide = o & 1;
        continue;
      }
      std::size_t avail = end_ - pos_;
      if (wide) {
        std::size_t n = std::min(left, avail / 2);
        if (n == 0) return false;
        AppendUtf16(out, d_ + pos_, n, pending);
        pos_ += 2 * n;
        left -= n;
      } else {
        std::size_t n = std::min(left, avail);
        AppendLatin1(out, d_ + pos_, n);
        pos_ += n;
        left -= n;
      }
    }
    if (pending) cp932::AppendChar(out, pending);
    return Skip(4ull * runs + ext);
  }

 private:
  bool NextPiece() {
    if (end_ + 4 > limit_ || U16(d_ + end_) != kContinue) return false;
    std::size_t len = U16(d_ + end_ + 2);
    if (end_ + 4 + len > limit_) return false;
    pos_ = end_ + 4;
    end_ = pos_ + len;
    return true;
  }

  const unsigned char *d_;
  std::size_t limit_, pos_, end_;
};

void TXBiff::LoadFromFile(const std::string &FileName) {
  FFileName = FileName;
  ReadWorkbook(FileName);
}

void TXBiff::ReadWorkbook(const std::string &FileName) {
  const std::filesystem::path path = FsPath(FileName);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) throw EXBiffError(OpenFailedText());
  std::ifstream f(path, std::ios::binary | std::ios::ate);
  const std::streamoff size = f ? static_cast<std::streamoff>(f.tellg()) : -1;
  if (size < 0) throw EXBiffError(OpenFailedText());
  std::string bytes;
  try {
    bytes.resize(static_cast<std::size_t>(size));
  } catch (const std::exception &) {
    throw EXBiffError(OpenFailedText());  // more than memory can hold
  }
  f.seekg(0);
  if (!f.read(bytes.data(), size)) throw EXBiffError(OpenFailedText());
  ReadWorkbookData(bytes);
}

void TXBiff::ReadWorkbookData(std::string_view Data) {
  std::string stream;
  std::string_view view = Data;
  if (cfb::TCompoundFile::HasSignature(Data)) {
    try {
      cfb::TCompoundFile cf = cfb::TCompoundFile::View(Data);
      int i = cf.FindStream("Workbook");
      FState = 5;
      if (i < 0) {
        i = cf.FindStream("Book");
        FState = 4;
      }
      // A compound file without a workbook stream is some other document.
      if (i < 0) UnknownFormat();
      stream = cf.ReadStream(i);
      view = stream;
    } catch (const cfb::ECompoundFileError &e) {
      throw EXBiffError(OpenFailedText() + "\r\n" + e.what());
    }
  } else {
    FState = 2;
  }
  ReadStream(view);
}

void TXBiff::DoProgress(int Progress) {
  FProgress = Progress;
  if (OnProgress) OnProgress(this, Progress);
}

bool TXBiff::DoReadCell(int SheetNo, int Row, int Col, int rgbAttr, const std::string &Data) {
  bool cancel = false;
  if (OnReadCell) OnReadCell(this, SheetNo, Row, Col, rgbAttr, Data, cancel);
  return cancel;
}

bool TXBiff::NumberCell(int row, int col, int attr, double v) {
  char buf[40];
  std::to_chars_result r;
  // Whole numbers of up to 15 digits (row numbers, day serials) print the same as
  // "%.15g" through the integer path, which is much cheaper.
  if (v > -1e15 && v < 1e15 && v == static_cast<double>(static_cast<std::int64_t>(v)) && (v != 0 || !std::signbit(v)))
    r = std::to_chars(buf, buf + sizeof buf, static_cast<std::int64_t>(v));
  else
    r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
  FText.assign(buf, r.ptr);
  return DoReadCell(FSheetNo, row, col, attr, FText);
}

// A BIFF8 string that starts at offset off of the record whose data begins at body and
// is len bytes long; it may go on in the CONTINUE records after it.
std::string TXBiff::Biff8Text(std::size_t body, std::size_t off, std::size_t len) {
  const auto *d = reinterpret_cast<const unsigned char *>(FStream.data());
  TStringCursor c(d, FStream.size(), body + off, body + len);
  std::string out;
  if (!c.Text(out)) UnknownFormat();
  return out;
}

void TXBiff::ReadStream(std::string_view s) {
  FStream = s;
  FSheetNo = 0;
  FSst.clear();
  FFormulaRow = FFormulaCol = 0;
  const auto *d = reinterpret_cast<const unsigned char *>(s.data());
  const std::size_t size = s.size();

  // The first BOF record, looked for a word at a time.
  std::size_t pos = 0;
  while (pos + 4 <= size && !IsBof(U16(d + pos))) pos += 2;
  if (pos + 8 > size) UnknownFormat();
  std::uint16_t id = U16(d + pos);
  std::size_t len = U16(d + pos + 2);
  if (len < 4 || pos + 4 + len > size) UnknownFormat();
  FBiff2 = id == kBof2;
  if (id == kBof3) FState = 3;
  if (U16(d + pos + 4) == 0x0600) FState = 8;
  if (U16(d + pos + 6) == 16) ++FSheetNo;
  pos += 4 + len;

  // Progress is pos * 100 div size, kept without a division per record: percent
  // goes up by one each time pos reaches the next step.
  int percent = static_cast<int>(static_cast<std::uint64_t>(pos) * 100 / size);
  auto step = [size](int p) { return (static_cast<std::uint64_t>(p) * size + 99) / 100; };
  std::uint64_t next_step = step(percent + 1);
  while (pos + 4 <= size) {
    id = U16(d + pos);
    len = U16(d + pos + 2);
    std::size_t body = pos + 4;
    if (body + len > size) UnknownFormat();
    std::size_t next = body + len;
    bool cancel = ReadRecord(id, d + body, len, next);
    pos = next;
    if (pos >= next_step) {
      percent = static_cast<int>(static_cast<std::uint64_t>(pos) * 100 / size);
      next_step = step(percent + 1);
    }
    DoProgress(percent);
    if (cancel) break;
  }
  DoProgress(0);
  FStream = {};
}

// Handles one record whose data is p[0, len); returns a handler's Cancel. `next` is
// the position after the record and moves on when the record took following ones.
bool TXBiff::ReadRecord(std::uint16_t id, const unsigned char *p, std::size_t len, std::size_t &next) {
  const std::size_t body = next - len;
  auto need = [len](std::size_t n) {
    if (len < n) UnknownFormat();
  };
  auto attr3 = [p]() { return static_cast<int>(p[4] | (p[5] << 8) | (p[6] << 16)); };
  switch (id) {
    case kInteger2:
      need(9);
      FText = std::to_string(U16(p + 7));
      return DoReadCell(FSheetNo, U16(p), U16(p + 2), attr3(), FText);
    case kNumber2:
      need(15);
      return NumberCell(U16(p), U16(p + 2), attr3(), F64(p + 7));
    case kLabel2:
    case kLabel:
      need(8);
      if (id == kLabel && FState == 8) {
        FText = Biff8Text(body, 6, len);
        return DoReadCell(FSheetNo, U16(p), U16(p + 2), U16(p + 4), FText);
      }
      FText.assign(reinterpret_cast<const char *>(p + 8), len - 8);
      return DoReadCell(FSheetNo, U16(p), U16(p + 2), id == kLabel2 ? attr3() : U16(p + 4), FText);
    case kFormula2:
    case kFormula3:
    case kFormula4: {
      // BIFF2 cells carry three attribute bytes, later ones a format index.
      const bool old = id == kFormula2 && FBiff2;
      const std::size_t r = old ? 7 : 6;
      need(r + 8);
      const int row = U16(p), col = U16(p + 2), attr = old ? attr3() : U16(p + 4);
      FFormulaRow = row;
      FFormulaCol = col;
      if (U16(p + r + 6) == 0xFFFF) {
        switch (p[r]) {
          case 0: return false;  // text result: its STRING record follows
          case 1: FText = p[r + 2] ? "TRUE" : "FALSE"; break;
          case 2: FText = ErrorText(p[r + 2]); break;
          case 3: FText.clear(); break;
          default: return NumberCell(row, col, attr, F64(p + r));
        }
        return DoReadCell(FSheetNo, row, col, attr, FText);
      }
      return NumberCell(row, col, attr, F64(p + r));
    }
    case kString2:
      need(1);
      if (1 + std::size_t{p[0]} > len) UnknownFormat();
      FText.assign(reinterpret_cast<const char *>(p + 1), p[0]);
      return DoReadCell(FSheetNo, FFormulaRow, FFormulaCol, 0, FText);
    case kString: {
      if (FState == 8) {
        FText = Biff8Text(body, 0, len);
      } else {
        need(2);
        std::size_t n = U16(p);
        if (2 + n > len) UnknownFormat();
        FText.assign(reinterpret_cast<const char *>(p + 2), n);
      }
      return DoReadCell(FSheetNo, FFormulaRow, FFormulaCol, 0, FText);
    }
    case kBof2:
    case kBof3:
    case kBof4:
    case kBof:
      need(4);
      if (U16(p + 2) == 16) ++FSheetNo;
      return false;
    case kColInfo: {
      need(6);
      // Sheets of these formats have 256 columns; a wider range (some writers give 256
      // as the last) is cut there, so that a damaged record cannot fire 65,536 events.
      const int first = U16(p), last = std::min<int>(U16(p + 2), 0x100), width = U16(p + 4);
      if (OnReadColW)
        for (int c = first; c <= last; ++c) OnReadColW(this, FSheetNo, c, width);
      return false;
    }
    case kBoundSheet: {
      need(6);
      if (p[5] != 0 || !OnReadSheetName) return false;
      if (FState == 8) {
        need(8);
        const std::size_t n = p[6];
        const bool wide = p[7] & 1;
        if (8 + (wide ? 2 * n : n) > len) UnknownFormat();
        FText.clear();
        char16_t pending = 0;
        if (wide) {
          AppendUtf16(FText, p + 8, n, pending);
          if (pending) cp932::AppendChar(FText, pending);
        } else {
          AppendLatin1(FText, p + 8, n);
        }
      } else {
        // Before BIFF8 the name is a byte count and bytes in the workbook's code page.
        need(7);
        const std::size_t n = p[6];
        if (7 + n > len) UnknownFormat();
        FText.assign(reinterpret_cast<const char *>(p + 7), n);
      }
      OnReadSheetName(this, FText);
      return false;
    }
    case kMulRk: {
      need(6);
      const int row = U16(p), first = U16(p + 2);
      const std::size_t pairs = (len - 6) / 6;
      for (std::size_t i = 0; i < pairs; ++i) {
        const unsigned char *q = p + 4 + 6 * i;
        if (NumberCell(row, first + static_cast<int>(i), U16(q), DecodeRK(U32(q + 2)))) return true;
      }
      return false;
    }
    case kRString: {
      need(8);
      if (FState == 8) {
        FText = Biff8Text(body, 6, len);
      } else {
        std::size_t n = U16(p + 6);
        if (8 + n > len) UnknownFormat();
        FText.assign(reinterpret_cast<const char *>(p + 8), n);
      }
      return DoReadCell(FSheetNo, U16(p), U16(p + 2), U16(p + 4), FText);
    }
    case kSst:
      next = ReadSst(body - 4);
      return false;
    case kLabelSst: {
      need(10);
      std::uint32_t index = U32(p + 6);
      if (index >= FSst.size()) return false;
      return DoReadCell(FSheetNo, U16(p), U16(p + 2), 0, FSst[index]);
    }
    case kNumber:
      need(14);
      return NumberCell(U16(p), U16(p + 2), U16(p + 4), F64(p + 6));
    case kRk:
      need(10);
      return NumberCell(U16(p), U16(p + 2), U16(p + 4), DecodeRK(U32(p + 6)));
    default:
      return false;
  }
}

// Reads the SST record at pos with the CONTINUE records right after it into the
// shared-string list; returns the position after the last of them. A piece over
// 8,224 bytes is an unknown format; a string cut short ends the list quietly.
std::size_t TXBiff::ReadSst(std::size_t pos) {
  const auto *d = reinterpret_cast<const unsigned char *>(FStream.data());
  const std::size_t size = FStream.size();
  std::size_t len = U16(d + pos + 2);
  if (len > kMaxSstPiece) UnknownFormat();
  std::size_t end = pos + 4 + len;
  while (end + 4 <= size && U16(d + end) == kContinue) {
    std::size_t l = U16(d + end + 2);
    if (l > kMaxSstPiece || end + 4 + l > size) UnknownFormat();
    end += 4 + l;
  }
  TStringCursor c(d, end, pos + 4, pos + 4 + len);
  std::uint32_t total, unique;
  if (!c.DWord(total) || !c.DWord(unique)) return end;
  FSst.reserve(std::min<std::size_t>(unique, (end - pos) / 3));
  while (!c.AtEnd()) {
    if (!c.Text(FSst.emplace_back())) {
      FSst.pop_back();
      break;
    }
  }
  return end;
}
