#include "engine/XBiff.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <tuple>

#include "platform/cfb_test_builder.h"
#include "platform/cp932.h"
#include "support/testutil.h"

namespace {

using Key = std::tuple<int, int, int>;  // sheet, row, column

std::string S(const char *utf8) { return cp932::FromUtf8(utf8); }

struct Cell {
  int sheet, row, col, attr;
  std::string text;
};

struct Result {
  std::vector<std::string> names;
  std::vector<Cell> cells;
  std::map<Key, std::string> at;
  std::vector<Key> colw;  // sheet, column, width
  std::vector<int> progress;
  int state = 0;
};

// Reads a workbook, collecting every event; cancel_after > 0 sets Cancel on that cell.
Result Collect(const std::function<void(TXBiff &)> &read, int cancel_after = 0) {
  Result r;
  TXBiff x;
  x.OnReadSheetName = [&](TXBiff *, const std::string &name) { r.names.push_back(name); };
  x.OnReadCell = [&](TXBiff *, int sheet, int row, int col, int attr, const std::string &text, bool &cancel) {
    r.cells.push_back({sheet, row, col, attr, text});
    r.at[Key(sheet, row, col)] = text;
    if (cancel_after && static_cast<int>(r.cells.size()) == cancel_after) cancel = true;
  };
  x.OnReadColW = [&](TXBiff *, int sheet, int col, int width) { r.colw.push_back({sheet, col, width}); };
  x.OnProgress = [&](TXBiff *, int p) { r.progress.push_back(p); };
  read(x);
  r.state = x.FormatState();
  return r;
}
Result ReadBytes(const std::string &data, int cancel_after = 0) {
  return Collect([&](TXBiff &x) { x.ReadWorkbookData(data); }, cancel_after);
}
Result ReadPath(const std::filesystem::path &p, int cancel_after = 0) {
  return Collect([&](TXBiff &x) { x.LoadFromFile(cp932::FromUtf8(p.string())); }, cancel_after);
}

std::filesystem::path Fixture(const std::string &name) {
  return qmtest::SourceDir() / "tests" / "fixtures" / "xls" / name;
}

// The input rows the fixture workbooks were written from (see make_fixtures.js):
// "#sheet NAME" starts a sheet, cells are tab-separated, an empty cell is absent and
// "*NxTEXT" is TEXT repeated N times. Texts come back as CP932.
std::string Expand(const std::string &cell) {
  if (cell.size() > 1 && cell[0] == '*') {
    std::size_t x = cell.find('x');
    if (x != std::string::npos && x > 1 && cell.find_first_not_of("0123456789", 1) == x) {
      std::string out;
      for (int i = std::stoi(cell.substr(1, x - 1)); i > 0; --i) out += cell.substr(x + 1);
      return out;
    }
  }
  return cell;
}

struct Rows {
  std::vector<std::string> names;
  std::map<Key, std::string> cells;
};

void AddRows(Rows &rows, const std::string &file, int first_sheet) {
  std::istringstream in(qmtest::ReadFile(Fixture(file)));
  std::string line;
  int sheet = first_sheet - 1, row = 0;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    if (line.rfind("#sheet ", 0) == 0) {
      rows.names.push_back(S(line.substr(7).c_str()));
      ++sheet;
      row = 0;
      continue;
    }
    std::size_t start = 0;
    for (int col = 0;; ++col) {
      std::size_t tab = line.find('\t', start);
      std::string c = line.substr(start, tab == std::string::npos ? std::string::npos : tab - start);
      if (!c.empty()) rows.cells[{sheet, row, col}] = S(Expand(c).c_str());
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    ++row;
  }
}

void ExpectSameCells(const std::map<Key, std::string> &want, const std::map<Key, std::string> &got) {
  for (const auto &[k, v] : want) {
    auto it = got.find(k);
    if (it == got.end()) {
      ADD_FAILURE() << "missing cell " << std::get<0>(k) << "," << std::get<1>(k) << "," << std::get<2>(k);
      continue;
    }
    EXPECT_EQ(cp932::ToUtf8(it->second), cp932::ToUtf8(v))
        << "cell " << std::get<0>(k) << "," << std::get<1>(k) << "," << std::get<2>(k);
  }
  for (const auto &[k, v] : got)
    if (!want.count(k))
      ADD_FAILURE() << "extra cell " << std::get<0>(k) << "," << std::get<1>(k) << "," << std::get<2>(k) << ": "
                    << cp932::ToUtf8(v);
}

// Little-endian pieces of hand-assembled records.
std::string W(unsigned v) { return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }
std::string D(std::uint32_t v) { return W(v & 0xFFFF) + W(v >> 16); }
std::string F(double d) {
  std::string s(8, '\0');
  std::memcpy(s.data(), &d, 8);
  return s;
}
std::string Rec(unsigned id, const std::string &body) { return W(id) + W(static_cast<unsigned>(body.size())) + body; }
std::string Utf16(const char *utf8) {
  std::string out;
  for (char16_t u : cp932::Utf8ToUtf16(utf8)) out += W(u);
  return out;
}
// BIFF8 pieces: BOF, a 16-bit sheet name, a cell header.
std::string Bof8(unsigned type) { return Rec(0x0809, W(0x0600) + W(type) + D(0) + D(0) + D(0)); }
std::string Eof() { return Rec(0x000A, ""); }
std::string Cell8(unsigned row, unsigned col, unsigned xf) { return W(row) + W(col) + W(xf); }
std::string BoundSheet8(const char *utf8, unsigned type) {
  std::u16string u = cp932::Utf8ToUtf16(utf8);
  return Rec(0x0085, D(0) + std::string(1, '\0') + std::string(1, static_cast<char>(type)) +
                         std::string(1, static_cast<char>(u.size())) + std::string(1, '\1') + Utf16(utf8));
}

const std::string &OpenFailed() {
  static const std::string s = S("ﾌｧｲﾙを開くことに失敗しました");
  return s;
}
const std::string &UnknownFormat() {
  static const std::string s = S("未知のフォーマット.");
  return s;
}

std::string ErrorOf(const std::string &data) {
  try {
    ReadBytes(data);
  } catch (const EXBiffError &e) {
    return e.what();
  }
  return "(no error)";
}

}  // namespace

TEST(XBiff, PublishedWorkbook) {
  std::filesystem::path wb = qmtest::PublishedWorkbook();
  if (wb.empty()) GTEST_SKIP() << "the publisher's workbook (../shared/data/published) is not here";
  Result r = ReadPath(wb);
  EXPECT_EQ(r.state, 8);
  ASSERT_EQ(r.names.size(), 2u);
  EXPECT_EQ(r.names[0], S("更新日付"));
  EXPECT_EQ(r.names[1], S("登録基本部"));

  // Sheet 1 holds only the data-as-of sentence in A1.
  std::string a1 = cp932::ToUtf8(r.at[Key(1, 0, 0)]);
  EXPECT_EQ(a1.rfind("本ファイルは、「", 0), 0u) << a1;
  EXPECT_NE(a1.find("」分を反映した農薬登録情報です。"), std::string::npos) << a1;

  const char *header[] = {"登録番号", "農薬の種類", "農薬の名称",   "登録を有する者の名称",
                          "有効成分", "総使用回数における有効成分", "濃度", "混合数", "用途", "剤型名",
                          "登録年月日"};
  for (int c = 0; c < 11; ++c) EXPECT_EQ(cp932::ToUtf8(r.at[Key(2, 0, c)]), header[c]) << c;

  // 6,339 data rows, each with its registration number, 11 columns at most.
  int max_row = 0, max_col = 0;
  for (const Cell &c : r.cells)
    if (c.sheet == 2) {
      max_row = std::max(max_row, c.row);
      max_col = std::max(max_col, c.col);
    }
  EXPECT_EQ(max_row, 6339);
  EXPECT_EQ(max_col, 10);
  for (int row = 1; row <= 6339; ++row) ASSERT_TRUE(r.at.count(Key(2, row, 0))) << row;

  struct Spot {
    int row, col;
    const char *text;
  } spots[] = {
      {1, 0, "52"},          {1, 2, "金鳥除虫菊乳剤3"},      {1, 4, "ﾋﾟﾚﾄﾘﾝ"},   {1, 6, "3.0%"},
      {1, 10, "17826"},      {2, 1, "ｸﾛﾙﾋﾟｸﾘﾝくん蒸剤"},     {2, 6, "99.5%"},    {1000, 0, "19515"},
      {1000, 2, "ﾎｸｺｰﾛﾑﾀﾞﾝｴｱｰ"}, {1000, 10, "35468"},    {3000, 3, "ｱﾀﾞﾏ･ｼﾞｬﾊﾟﾝ株式会社"},
      {4500, 1, "還元澱粉糖化物･ｸﾛﾁｱﾆｼﾞﾝ･ﾋﾟﾘﾀﾞﾘﾙ･ﾍﾟﾙﾒﾄﾘﾝ･ﾏﾝﾃﾞｽﾄﾛﾋﾞﾝ水和剤"},
      {4500, 2, "ﾍﾞﾆｶXﾈｸｽﾄｽﾌﾟﾚｰ"}, {4500, 6, "0.010%"},   {4500, 7, "5"},
      {6339, 0, "25040"},    {6339, 2, "ﾊﾅﾋﾞｼﾌﾛｱﾌﾞﾙ"},       {6339, 4, "ｼﾞﾒﾀﾒﾄﾘﾝ"}, {6339, 8, "除草剤"},
      {6339, 10, "46120"},
  };
  for (const Spot &s : spots) EXPECT_EQ(cp932::ToUtf8(r.at[Key(2, s.row, s.col)]), s.text) << s.row << "," << s.col;
  // Half-width katakana stay single bytes.
  EXPECT_EQ(r.at[Key(2, 1, 4)], std::string("\xCB\xDF\xDA\xC4\xD8\xDD"));
  // Every non-empty cell of the sheet arrives (column 5 is empty in 170 rows).
  EXPECT_EQ(r.cells.size(), 1u + 11u * 6340u - 170u);

  ASSERT_FALSE(r.progress.empty());
  EXPECT_EQ(r.progress.back(), 0);
  EXPECT_EQ(r.progress[r.progress.size() - 2], 100);
  EXPECT_TRUE(std::is_sorted(r.progress.begin(), r.progress.end() - 1));
}

// Workbooks of independent writers against the rows they were written from, cell
// for cell: BIFF8 with shared strings (and strings over several records), BIFF8 with
// LABEL records, BIFF5 in a "Book" stream, and a raw BIFF2 file.
TEST(XBiff, IndependentWritersCellForCell) {
  struct Case {
    const char *file;
    std::vector<const char *> inputs;
    int state;
    bool has_names;
  } cases[] = {
      {"lo_biff8.xls", {"rows_ja.tsv", "long.tsv"}, 8, true},
      {"sheetjs_biff8_sst.xls", {"rows_ja.tsv"}, 8, true},
      {"sheetjs_biff8_label.xls", {"rows_ja.tsv"}, 8, true},
      {"sheetjs_biff5.xls", {"rows_latin.tsv"}, 4, true},
      {"sheetjs_biff2.xls", {"rows_latin.tsv"}, 2, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.file);
    Rows want;
    for (const char *in : c.inputs) AddRows(want, in, static_cast<int>(want.names.size()) + 1);
    Result r = ReadPath(Fixture(c.file));
    EXPECT_EQ(r.state, c.state);
    std::map<Key, std::string> got;
    for (const auto &[k, v] : r.at)
      if (std::get<0>(k) <= static_cast<int>(want.names.size()) && (c.has_names || std::get<0>(k) == 1)) got[k] = v;
    if (!c.has_names) {
      // BIFF2 holds the first sheet only.
      std::map<Key, std::string> first;
      for (const auto &[k, v] : want.cells)
        if (std::get<0>(k) == 1) first[k] = v;
      want.cells = first;
      EXPECT_TRUE(r.names.empty());
    } else {
      for (std::size_t i = 0; i < want.names.size(); ++i) {
        ASSERT_LT(i, r.names.size());
        EXPECT_EQ(cp932::ToUtf8(r.names[i]), cp932::ToUtf8(want.names[i]));
      }
    }
    ExpectSameCells(want.cells, got);
  }
}

// Formula results of every kind, written by an independent writer: numbers, Booleans,
// errors, text (from the STRING record after the formula) and the empty text.
TEST(XBiff, FormulaResults) {
  Result r = ReadPath(Fixture("lo_biff8.xls"));
  ASSERT_EQ(r.names.size(), 4u);
  EXPECT_EQ(r.names[3], "formulas");
  std::istringstream in(qmtest::ReadFile(Fixture("formulas.tsv")));
  std::string line;
  int row = 0;
  for (; std::getline(in, line); ++row) {
    std::string want = S(Expand(line.substr(line.find('\t') + 1)).c_str());
    int n = 0;
    for (const Cell &c : r.cells)
      if (c.sheet == 4 && c.row == row && c.col == 0) {
        ++n;
        EXPECT_EQ(cp932::ToUtf8(c.text), cp932::ToUtf8(want)) << line;
      }
    EXPECT_EQ(n, 1) << "one report per formula: " << line;
  }
  EXPECT_EQ(row, 9);
}

TEST(XBiff, DecodeRK) {
  struct {
    std::uint32_t rk;
    double value;
  } cases[] = {
      {(static_cast<std::uint32_t>(-5) << 2) | 2, -5},
      {(12345u << 2) | 3, 123.45},
      {(536870911u << 2) | 2, 536870911},
      {0x3FF00000, 1.0},
      {0x3FF00001, 0.01},
      {0xC0240000, -10.0},
      {0x405EDD00, 123.453125},
      {0, 0},
  };
  for (const auto &c : cases) EXPECT_DOUBLE_EQ(DecodeRK(c.rk), c.value) << std::hex << c.rk;
}

// A BIFF8 workbook assembled record by record: a chart sheet before the worksheet,
// shared strings cut by a CONTINUE with 8-bit characters before and 16-bit after the
// cut, MULRK, RK, NUMBER texts, column widths, a LABELSST beyond the list, a LABEL
// and a long formula text in a STRING record with CONTINUE records.
TEST(XBiff, Biff8Records) {
  std::string long_text(9000, 'q');
  for (std::size_t i = 0; i < long_text.size(); i += 97) long_text[i] = 'Z';
  std::string sst_a = D(3) + D(3) + W(6) + std::string(1, '\0') + "ABC";  // 3 of 6 characters
  std::string sst_b = std::string(1, '\1') + Utf16("農薬登") + W(3) + std::string(1, '\0') + "xyz" +
                      W(2) + std::string(1, '\x08') + W(1) + "ok" + D(0);  // rich text with one run
  std::string wb = Bof8(0x0005) + BoundSheet8("Chart1", 2) + BoundSheet8("シート", 0) + Rec(0x00FC, sst_a) +
                   Rec(0x003C, sst_b) + Eof();
  wb += Bof8(0x0020) + Rec(0x0203, Cell8(9, 9, 0) + F(99)) + Eof();  // the chart's records count as sheet 0
  wb += Bof8(0x0010);
  wb += Rec(0x007D, W(2) + W(4) + W(3000) + W(15) + W(0) + W(0));
  wb += Rec(0x007D, W(255) + W(0xFFFF) + W(500) + W(15) + W(0) + W(0));
  wb += Rec(0x00FD, Cell8(0, 0, 15) + D(0)) + Rec(0x00FD, Cell8(0, 1, 15) + D(1)) +
        Rec(0x00FD, Cell8(0, 2, 15) + D(2)) + Rec(0x00FD, Cell8(0, 3, 15) + D(3));
  wb += Rec(0x00BD, W(4) + W(2) + W(17) + D((static_cast<std::uint32_t>(-5) << 2) | 2) + W(17) +
                        D((12345u << 2) | 3) + W(17) + D(0x3FF80000) + W(4));
  wb += Rec(0x027E, Cell8(5, 0, 17) + D(0x40590000));
  const double numbers[] = {0.1, 1e20, 123456789012345678.0, -0.5, 1.0 / 3, 45123, 1e-7, 2.5e-300};
  const char *texts[] = {"0.1", "1e+20", "1.23456789012346e+17", "-0.5", "0.333333333333333", "45123", "1e-07",
                         "2.5e-300"};
  for (unsigned i = 0; i < 8; ++i) wb += Rec(0x0203, Cell8(6, i, 21) + F(numbers[i]));
  wb += Rec(0x0204, Cell8(7, 0, 22) + W(6) + std::string(1, '\1') + Utf16("ﾗﾍﾞﾙ漢字"));
  wb += Rec(0x0006, Cell8(8, 0, 15) + std::string("\0\0\0\0\0\0\xFF\xFF", 8) + W(0) + D(0) + W(0));
  std::string s1 = W(9000) + std::string(1, '\0') + long_text.substr(0, 5000);
  std::string s2 = std::string(1, '\0') + long_text.substr(5000, 3000);
  std::string s3 = std::string(1, '\0') + long_text.substr(8000);
  wb += Rec(0x0207, s1) + Rec(0x003C, s2) + Rec(0x003C, s3);
  wb += Rec(0x0203, Cell8(9, 0, 15) + F(7)) + Eof();

  Result r = ReadBytes(wb);
  EXPECT_EQ(r.state, 8);
  ASSERT_EQ(r.names.size(), 1u);
  EXPECT_EQ(cp932::ToUtf8(r.names[0]), "シート");
  EXPECT_EQ(r.at[Key(0, 9, 9)], "99");
  EXPECT_EQ(cp932::ToUtf8(r.at[Key(1, 0, 0)]), "ABC農薬登");
  EXPECT_EQ(r.at[Key(1, 0, 1)], "xyz");
  EXPECT_EQ(r.at[Key(1, 0, 2)], "ok");
  EXPECT_FALSE(r.at.count(Key(1, 0, 3)));  // index beyond the list: no cell
  EXPECT_EQ(r.at[Key(1, 4, 2)], "-5");
  EXPECT_EQ(r.at[Key(1, 4, 3)], "123.45");
  EXPECT_EQ(r.at[Key(1, 4, 4)], "1.5");
  EXPECT_FALSE(r.at.count(Key(1, 4, 5)));
  EXPECT_EQ(r.at[Key(1, 5, 0)], "100");
  for (int i = 0; i < 8; ++i) EXPECT_EQ(r.at[Key(1, 6, i)], texts[i]) << numbers[i];
  EXPECT_EQ(cp932::ToUtf8(r.at[Key(1, 7, 0)]), "ﾗﾍﾞﾙ漢字");
  EXPECT_EQ(r.at[Key(1, 8, 0)], long_text);
  EXPECT_EQ(r.at[Key(1, 9, 0)], "7");
  EXPECT_EQ(r.colw, (std::vector<Key>{Key(1, 2, 3000), Key(1, 3, 3000), Key(1, 4, 3000), Key(1, 255, 500),
                                      Key(1, 256, 500)}));
  for (const Cell &c : r.cells)
    if (c.row == 6) {
      EXPECT_EQ(c.attr, 21);
    }
}

// Raw files of the older formats: BIFF2 cells with three attribute bytes, BIFF3 and
// BIFF4 formulas with a format index and their STRING records, BIFF5 sheet names
// without an option byte, RSTRING, and a label far over 2,045 bytes read whole.
TEST(XBiff, OlderFormats) {
  const std::string attr = "\x01\x02\x03";
  const std::string kana = S("ｶﾀｶﾅ農薬");
  std::string b2 = Rec(0x0009, W(2) + W(0x10));
  b2 += Rec(0x0002, W(0) + W(0) + attr + W(65535));
  b2 += Rec(0x0003, W(0) + W(1) + attr + F(2.5));
  b2 += Rec(0x0004, W(0) + W(2) + attr + std::string(1, static_cast<char>(kana.size())) + kana);
  b2 += Rec(0x0006, W(1) + W(0) + attr + F(7) + std::string(1, '\0') + std::string(1, '\0'));
  b2 += Rec(0x0006, W(1) + W(1) + attr + std::string("\0\0\0\0\0\0\xFF\xFF", 8) + std::string(2, '\0'));
  b2 += Rec(0x0007, std::string(1, '\3') + "abc") + Eof();
  Result r2 = ReadBytes(b2);
  EXPECT_EQ(r2.state, 2);
  EXPECT_EQ(r2.at[Key(1, 0, 0)], "65535");
  EXPECT_EQ(r2.at[Key(1, 0, 1)], "2.5");
  EXPECT_EQ(r2.at[Key(1, 0, 2)], kana);
  EXPECT_EQ(r2.at[Key(1, 1, 0)], "7");
  EXPECT_EQ(r2.at[Key(1, 1, 1)], "abc");
  EXPECT_EQ(r2.cells.size(), 5u);
  EXPECT_EQ(r2.cells[0].attr, 0x030201);

  auto old_formula = [](unsigned id, unsigned row, double v) {
    return Rec(id, W(row) + W(0) + W(15) + F(v) + W(0) + W(0));
  };
  for (unsigned bof : {0x0209u, 0x0409u}) {
    SCOPED_TRACE(bof);
    std::string b = Rec(bof, W(bof == 0x0209 ? 0x0300 : 0x0400) + W(0x10) + W(0));
    b += Rec(0x0204, W(0) + W(0) + W(15) + W(static_cast<unsigned>(kana.size())) + kana);
    b += Rec(0x0203, W(0) + W(1) + W(15) + F(-1.25));
    b += old_formula(bof == 0x0209 ? 0x0206 : 0x0406, 1, 1.75);
    b += Rec(bof == 0x0209 ? 0x0206 : 0x0406, W(2) + W(0) + W(15) + std::string("\0\0\0\0\0\0\xFF\xFF", 8) + W(0) + W(0));
    b += Rec(0x0207, W(3) + "xyz") + Eof();
    Result r = ReadBytes(b);
    EXPECT_EQ(r.state, bof == 0x0209 ? 3 : 2);
    EXPECT_EQ(r.at[Key(1, 0, 0)], kana);
    EXPECT_EQ(r.at[Key(1, 0, 1)], "-1.25");
    EXPECT_EQ(r.at[Key(1, 1, 0)], "1.75");
    EXPECT_EQ(r.at[Key(1, 2, 0)], "xyz");
    EXPECT_EQ(r.cells.size(), 4u);
  }

  const std::string name = S("登録適用部一");
  std::string big;
  for (int i = 0; i < 700; ++i) big += S("農薬ﾉｳﾔｸ");  // 4,200 bytes
  std::string b5 = Rec(0x0809, W(0x0500) + W(0x0005) + W(0) + W(0));
  b5 += Rec(0x0085, D(0) + std::string(1, '\0') + std::string(1, '\2') + std::string(1, '\6') + "Chart1");
  b5 += Rec(0x0085, D(0) + std::string(2, '\0') + std::string(1, static_cast<char>(name.size())) + name);
  b5 += Eof() + Rec(0x0809, W(0x0500) + W(0x0010) + W(0) + W(0));
  b5 += Rec(0x0204, W(0) + W(0) + W(15) + W(static_cast<unsigned>(big.size())) + big);
  b5 += Rec(0x00D6, W(1) + W(0) + W(15) + W(3) + "r&d" + std::string(1, '\1') + W(0)) + Eof();
  Result r5 = ReadBytes(b5);
  ASSERT_EQ(r5.names.size(), 1u);
  EXPECT_EQ(r5.names[0], name);
  EXPECT_EQ(r5.at[Key(1, 0, 0)], big);
  EXPECT_EQ(r5.at[Key(1, 1, 0)], "r&d");
}

TEST(XBiff, CancelStopsAfterThatRecord) {
  Result r = ReadPath(Fixture("lo_biff8.xls"), 5);
  EXPECT_EQ(r.cells.size(), 5u);
  ASSERT_FALSE(r.progress.empty());
  EXPECT_EQ(r.progress.back(), 0);
  EXPECT_LT(r.progress[r.progress.size() - 2], 100);
}

// A file name is program text: a CP932 name reaches the file.
TEST(XBiff, LoadFromFileKeepsTheName) {
  qmtest::TempDir dir;
  std::filesystem::path p = dir / "登録適用部一.xls";
  qmtest::WriteFile(p, qmtest::ReadFile(Fixture("sheetjs_biff8_sst.xls")));
  TXBiff x;
  int cells = 0;
  x.OnReadCell = [&](TXBiff *, int, int, int, int, const std::string &, bool &) { ++cells; };
  std::string name = cp932::FromUtf8(p.string());
  x.LoadFromFile(name);
  EXPECT_EQ(x.FileName(), name);
  EXPECT_GT(cells, 50);
}

// Unreadable and damaged files give the reader's error, never a crash or a read
// outside the data.
TEST(XBiff, DamagedFilesGiveAnError) {
  qmtest::TempDir dir;
  for (const std::filesystem::path &p : {dir / "none.xls", dir.path()}) {
    try {
      TXBiff().LoadFromFile(cp932::FromUtf8(p.string()));
      ADD_FAILURE() << "no error: " << p;
    } catch (const EXBiffError &e) {
      EXPECT_EQ(std::string(e.what()), OpenFailed()) << p;
    }
  }

  std::string lo = qmtest::ReadFile(Fixture("lo_biff8.xls"));
  std::string cut = ErrorOf(lo.substr(0, 20000));
  EXPECT_EQ(cut.rfind(OpenFailed(), 0), 0u) << cp932::ToUtf8(cut);

  const std::string head = Bof8(0x0010);
  struct Case {
    const char *what;
    std::string data;
  } cases[] = {
      {"empty file", ""},
      {"no BOF record", "not a workbook at all, just text"},
      {"record running past the end", head + W(0x0203) + W(100) + std::string(10, '\0')},
      {"NUMBER too short", head + Rec(0x0203, Cell8(0, 0, 0) + "\1\2")},
      {"LABELSST too short", head + Rec(0x00FD, Cell8(0, 0, 0))},
      {"MULRK too short", head + Rec(0x00BD, W(0) + W(0))},
      {"sheet name longer than its record", Bof8(5) + Rec(0x0085, D(0) + std::string(2, '\0') + "\x32\x01" + "ab")},
      {"BIFF8 string longer than its records", head + Rec(0x0207, W(50) + std::string(1, '\0') + "abc")},
      {"16-bit string cut inside a character", head + Rec(0x0207, W(2) + std::string(1, '\1') + "abc")},
      {"BIFF5 label text", Rec(0x0809, W(0x0500) + W(0x10) + D(0)) + Rec(0x00D6, Cell8(0, 0, 0) + W(40) + "ab")},
      {"BIFF2 string", Rec(0x0009, W(2) + W(0x10)) + Rec(0x0007, std::string(1, '\x20') + "ab")},
      {"SST piece over 8,224 bytes", Bof8(5) + Rec(0x00FC, D(1) + D(1) + W(8300) + std::string(1, '\0') + std::string(8300, 'a'))},
      {"CONTINUE of the SST over 8,224 bytes",
       Bof8(5) + Rec(0x00FC, D(1) + D(1)) + Rec(0x003C, W(8300) + std::string(1, '\0') + std::string(8300, 'a'))},
  };
  for (const Case &c : cases) EXPECT_EQ(cp932::ToUtf8(ErrorOf(c.data)), cp932::ToUtf8(UnknownFormat())) << c.what;

  // A compound file without a workbook stream is no workbook.
  qmtest::CfbImage doc = qmtest::BuildCfb(3, {{u"WordDocument", Bof8(0x10) + Eof()}});
  EXPECT_EQ(cp932::ToUtf8(ErrorOf(doc.bytes)), cp932::ToUtf8(UnknownFormat()));
}

// Strings cut short inside the shared-string list end the list quietly: the strings
// before stay, the later indexes give no cell.
TEST(XBiff, ShortSharedStringListKeepsWhatWasRead) {
  std::string sst = D(2) + D(2) + W(2) + std::string(1, '\0') + "ok" + W(100) + std::string(1, '\0') + "cut";
  std::string wb = Bof8(5) + Rec(0x00FC, sst) + Eof() + Bof8(0x10) + Rec(0x00FD, Cell8(0, 0, 0) + D(0)) +
                   Rec(0x00FD, Cell8(0, 1, 0) + D(1)) + Eof();
  Result r = ReadBytes(wb);
  EXPECT_EQ(r.at[Key(1, 0, 0)], "ok");
  EXPECT_FALSE(r.at.count(Key(1, 0, 1)));
}
