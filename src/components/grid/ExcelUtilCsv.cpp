#include "components/grid/ExcelUtilCsv.h"

#include <filesystem>
#include <fstream>
#include <limits>
#include <stdexcept>

#include "components/QtServices.h"
#include "components/grid/ExcelUtil.h"
#include "components/grid/ExcelUtilText.h"
#include "engine/OutputFile.h"
#include "platform/cp932.h"

using xlsgrid::Text;
using xlsgrid::Trim;

namespace {

const char *const kNoCsv = "CSVファイル名が指定されていないか、指定されたファイルが存在しません。";
const char *const kNoHtml = "HTMLファイル名が指定されていないか、指定されたファイルが存在しません。";

std::filesystem::path FilePath(const std::string &name) { return std::filesystem::path(cp932::ToUtf8(name)); }

void WriteBytes(const std::string &name, const std::string &bytes) {
  std::ofstream f(FilePath(name), std::ios::binary | std::ios::trunc);
  if (!f) throw std::runtime_error("cannot create file " + cp932::ToUtf8(name));
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!f) throw std::runtime_error("cannot write file " + cp932::ToUtf8(name));
}

}  // namespace

// ---------------------------------------------------------------- TStringListExt

void TStringListExt::SetCsvText(std::string_view text) {
  Strings.clear();
  std::size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  const std::size_t n = text.size();
  auto code = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  std::size_t p = 0;
  while (p < n && code(p) >= 1 && code(p) <= 32) ++p;
  while (p < n) {
    std::string field;
    if (text[p] == '"') {
      ++p;
      while (p < n) {
        if (text[p] == '"') {
          if (p + 1 < n && text[p + 1] == '"') {
            field += '"';
            p += 2;
          } else {
            ++p;
            break;
          }
        } else {
          field += text[p++];
        }
      }
    } else {
      std::size_t b = p;
      while (p < n && text[p] != ',' && code(p) >= 32) ++p;
      field.assign(text.substr(b, p - b));
    }
    Strings.push_back(std::move(field));
    while (p < n && code(p) >= 1 && code(p) <= 31) ++p;
    if (p < n && text[p] == ',') {
      ++p;
      while (p < n && code(p) >= 1 && code(p) <= 31) {
        if (text[p] == '\n') Strings.emplace_back();
        ++p;
      }
    }
  }
}

// ---------------------------------------------------------------- CSV and HTML

int TXlsStringGrid::SetCommaText() {
  if (CSVFileName.empty()) {
    if (ShowErrDlg) ErrorBox(Text(kNoCsv));
    return -1;
  }
  // A large grid takes a while: the file is written a row at a time under the progress
  // window, and replaces an earlier file of its name only once whole.
  TOutputFile file(CSVFileName, static_cast<std::uint64_t>(RowCount()));
  if (!file.IsOpen()) throw std::runtime_error("cannot create file " + cp932::ToUtf8(CSVFileName));
  std::string out;
  const int last = ColCount() - 1;
  for (int r = 0; r < RowCount(); ++r) {
    out.clear();
    for (int c = 0; c <= last; ++c) {
      if (col_widths_[static_cast<std::size_t>(c)] > 0) {
        std::string_view cell = Trim(CellView(c, r));
        // A field holding a separator, a quote or a line break is quoted, so that it
        // reads back as one field.
        if (cell.find_first_of(",\"\r\n") != std::string_view::npos) {
          out += '"';
          for (char ch : cell) {
            if (ch == '"') out += '"';
            out += ch;
          }
          out += '"';
        } else {
          out.append(cell);
        }
        if (c != last) out += ',';
      }
      if (c == last) out += CSVEndComma ? ",\r\n" : "\r\n";
    }
    file.Write(out);
    if (!file.Step(static_cast<std::uint64_t>(r) + 1)) return -2;
  }
  if (file.Commit()) return 0;
  if (file.Cancelled()) return -2;
  throw std::runtime_error("cannot write file " + cp932::ToUtf8(CSVFileName));
}

int TXlsStringGrid::GetCommaText() {
  std::error_code ec;
  if (CSVFileName.empty() || !std::filesystem::is_regular_file(FilePath(CSVFileName), ec)) {
    if (ShowErrDlg) ErrorBox(Text(kNoCsv));
    return -1;
  }
  std::ifstream f(FilePath(CSVFileName), std::ios::binary);
  if (!f) throw std::runtime_error("cannot read file " + cp932::ToUtf8(CSVFileName));
  std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  csv_list_.SetCsvText(bytes);
  const int cols = ColCount();
  if (cols <= 0) return 0;
  BeginUpdate();
  long long placed = 0;
  const long long period = static_cast<long long>(cols) + fixed_cols_ + 1;
  for (int k = 1; k <= csv_list_.Count(); ++k) {
    if (CSVEndComma && k % period == 0) continue;
    const long long n = placed++;
    const int col = static_cast<int>(n % cols) + fixed_cols_;
    const long long row = n / cols + fixed_rows_;
    if (row >= RowCount()) {
      if (!ExtendRows || row >= std::numeric_limits<int>::max()) continue;
      SetRowCount(static_cast<int>(row) + 1);
    }
    if (col < cols) SetCells(col, static_cast<int>(row), Trim(csv_list_.Strings[static_cast<std::size_t>(k - 1)]));
  }
  if (ExtendRows) SetRowCount(static_cast<int>(placed / cols) + fixed_rows_);
  EndUpdate();
  return 0;
}

namespace {

// Cell text for an HTML page: the characters that would open markup or an entity are escaped.
void AppendHtmlText(std::string &out, std::string_view s) {
  for (char ch : s) {
    switch (ch) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += ch;
    }
  }
}

}  // namespace

int TXlsStringGrid::SetHTML() {
  if (HTMLFileName.empty()) {
    if (ShowErrDlg) ErrorBox(Text(kNoHtml));
    return -1;
  }
  std::string out =
      "<html>\r\n"
      "<link rel=\"stylesheet\" href=\"actable.css\" type=\"text/css\" >\r\n"
      "<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\"></head>\r\n"
      "<body>\r\n"
      "<table border=\"1\" style=\"border-collapse: collapse;\">\r\n";
  for (int r = 0; r < RowCount(); ++r) {
    const bool fixed = r < fixed_rows_;
    out += fixed ? "<tr class=\"header\">\r\n" : (r % 2 ? "<tr class=\"odd\">\r\n" : "<tr class=\"even\">\r\n");
    for (int c = 0; c < ColCount(); ++c) {
      if (col_widths_[static_cast<std::size_t>(c)] <= 0) continue;
      out += fixed ? "\t<th>" : "\t<td>";
      AppendHtmlText(out, Trim(CellView(c, r)));
      out += fixed ? "</th>\r\n" : "</td>\r\n";
    }
    out += "</tr>\r\n";
  }
  out += "</table>\r\n</body>\r\n</html>\r\n";
  WriteBytes(HTMLFileName, out);
  return 0;
}
