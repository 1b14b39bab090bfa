#include "engine/options.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <vector>

#include "engine/TextHelpers.h"
#include "engine/UiServices.h"
#include "platform/IniFile.h"
#include "platform/cp932.h"

TOptionData *OptionData = new TOptionData();
bool DebugMode = false;
bool AutoUpdateSwitch = false;
bool DownloadCheckSwitch = false;
bool OfflineSwitch = false;
bool DeveloperSwitch = false;
std::int32_t ProcessExitCode = 0;

int FinalizeOptionData(int normal_code) {
  delete OptionData;
  OptionData = nullptr;
  return (AutoUpdateSwitch || DownloadCheckSwitch) ? ProcessExitCode : normal_code;
}

// ---------------------------------------------------------------------------------------
// Font comma text

namespace {

// An item is quoted when it holds a control character, a space, a comma or a quote.
bool NeedsQuotes(std::string_view item) {
  for (std::size_t i = 0; i < item.size(); i += cp932::CharLen(item, i)) {
    unsigned char c = static_cast<unsigned char>(item[i]);
    if (cp932::CharLen(item, i) == 1 && (c <= ' ' || c == ',' || c == '"')) return true;
  }
  return false;
}

// Splits comma text: items end at a comma or a blank; a quoted item runs to its closing
// quote, with doubled quotes read as one; a comma at the very end adds an empty item.
std::vector<std::string> SplitCommaText(std::string_view s) {
  std::vector<std::string> items;
  auto blank = [](char c) { return c != '\0' && static_cast<unsigned char>(c) <= ' '; };
  std::size_t p = 0;
  while (p < s.size() && blank(s[p])) ++p;
  while (p < s.size()) {
    std::string item;
    if (s[p] == '"') {
      ++p;
      while (p < s.size()) {
        std::size_t n = cp932::CharLen(s, p);
        if (n == 1 && s[p] == '"') {
          if (p + 1 < s.size() && s[p + 1] == '"') {
            item.push_back('"');
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        item.append(s.substr(p, n));
        p += n;
      }
      // Text after the closing quote up to the next comma or blank belongs to nothing.
      while (p < s.size() && !blank(s[p]) && s[p] != ',') p += cp932::CharLen(s, p);
    } else {
      std::size_t b = p;
      while (p < s.size() && !blank(s[p]) && s[p] != ',') p += cp932::CharLen(s, p);
      item.assign(s.substr(b, p - b));
    }
    items.push_back(std::move(item));
    while (p < s.size() && blank(s[p])) ++p;
    if (p < s.size() && s[p] == ',') {
      if (p + 1 == s.size()) items.emplace_back();
      do ++p;
      while (p < s.size() && blank(s[p]));
    }
  }
  return items;
}

int ToInt(const std::string &item) {
  std::string_view v = item;
  if (!v.empty() && v.front() == '+') v.remove_prefix(1);
  int value = 0;
  auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), value);
  if (v.empty() || ec != std::errc() || end != v.data() + v.size())
    throw std::invalid_argument("'" + item + "' is not a valid integer value");
  return value;
}

std::string Hex8(std::int32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08X", static_cast<unsigned>(v));
  return buf;
}

}  // namespace

std::string FontInfoToText(const TFontInfo &info) {
  std::string name = info.Name;
  if (NeedsQuotes(name)) {
    std::string q = "\"";
    for (std::size_t i = 0; i < name.size();) {
      std::size_t n = cp932::CharLen(name, i);
      if (n == 1 && name[i] == '"') q.push_back('"');
      q.append(name, i, n);
      i += n;
    }
    name = q + "\"";
  }
  return name + "," + std::to_string(info.Charset) + "," + std::to_string(info.Height) + "," +
         std::to_string(info.Size) + "," + std::to_string(info.Style) + "," + Hex8(info.Color);
}

TFontInfo FontInfoFromText(std::string_view text) {
  TFontInfo info;
  if (text.empty()) return info;
  std::vector<std::string> items = SplitCommaText(text);
  if (items.size() < 6) throw std::invalid_argument("List index out of bounds (" + std::to_string(items.size()) + ")");
  info.Name = items[0];
  info.Charset = ToInt(items[1]);
  info.Height = ToInt(items[2]);
  info.Size = ToInt(items[3]);
  info.Style = ToInt(items[4]);
  info.Color = HexToInt(items[5]);
  return info;
}

std::string ScrambleProxyPassword(std::string_view text) {
  std::string out(text);
  for (char &c : out) c = static_cast<char>(c ^ 0x6B);
  return out;
}

std::string BoolTo01(bool value) { return value ? "1" : "0"; }

// ---------------------------------------------------------------------------------------
// The stored form of the scrambled password. A settings line cannot hold the bytes NUL,
// LF and CR, which the password letters "k", "a" and "f" scramble to, and the file
// service trims blanks and one pair of quotes around a value. So those three bytes (and
// the escape byte itself) are written as 0x7F followed by the byte + 0x40, and a value
// that begins or ends with a space, a tab or a quote is written inside double quotes. A value
// stored without these bytes reads as it always did.

namespace {

constexpr char kEscape = 0x7F;

std::string ToStored(std::string_view scrambled) {
  std::string out;
  for (char c : scrambled) {
    if (c == '\0' || c == '\n' || c == '\r' || c == kEscape) {
      out.push_back(kEscape);
      out.push_back(static_cast<char>(c + 0x40));
    } else {
      out.push_back(c);
    }
  }
  auto odd = [](char c) { return c == ' ' || c == '\t' || c == '"' || c == '\''; };
  if (!out.empty() && (odd(out.front()) || odd(out.back()))) out = "\"" + out + "\"";
  return out;
}

std::string FromStored(std::string_view stored) {
  std::string out;
  for (std::size_t i = 0; i < stored.size(); ++i) {
    if (stored[i] == kEscape && i + 1 < stored.size()) {
      out.push_back(static_cast<char>(stored[++i] - 0x40));
    } else {
      out.push_back(stored[i]);
    }
  }
  return out;
}

// ---------------------------------------------------------------------------------------
// The keys

enum class Kind { Int, Bool, Byte, Text, Colour, Font, Password };

struct Key {
  const char *section;
  const char *name;
  Kind kind;
  int TOptionData::*i = nullptr;
  bool TOptionData::*b = nullptr;
  std::uint8_t TOptionData::*y = nullptr;
  std::string TOptionData::*s = nullptr;
  std::int32_t TOptionData::*c = nullptr;
  TFontInfo TOptionData::*f = nullptr;
  const char *def = "";  // the default as it would stand in the file
  bool read_only = false;
  bool default_in_object = false;  // the value already in the object is the default
  // The values the setting allows, as the settings dialog offers them. A number stored
  // outside is pulled to the nearer end, or, for a choice among items, read as the default
  // of the table. A byte holds 0 to 255 whatever else it allows.
  int lo = std::numeric_limits<int>::min(), hi = std::numeric_limits<int>::max();
  bool out_of_range_is_default = false;
};

using T = TOptionData;
Key I(const char *sec, const char *name, int T::*m, const char *def) { return {sec, name, Kind::Int, m, {}, {}, {}, {}, {}, def}; }
Key B(const char *sec, const char *name, bool T::*m, const char *def) { return {sec, name, Kind::Bool, {}, m, {}, {}, {}, {}, def}; }
Key Y(const char *sec, const char *name, std::uint8_t T::*m, const char *def) { return {sec, name, Kind::Byte, {}, {}, m, {}, {}, {}, def}; }
Key S(const char *sec, const char *name, std::string T::*m, const char *def) { return {sec, name, Kind::Text, {}, {}, {}, m, {}, {}, def}; }
Key C(const char *sec, const char *name, std::int32_t T::*m, const char *def) { return {sec, name, Kind::Colour, {}, {}, {}, {}, m, {}, def}; }
Key F(const char *sec, const char *name, TFontInfo T::*m) { return {sec, name, Kind::Font, {}, {}, {}, {}, {}, m, ""}; }
Key ReadOnly(Key k) { k.read_only = true; return k; }
Key FromObject(Key k) { k.default_in_object = true; return k; }
Key Range(Key k, int lo, int hi) { k.lo = lo; k.hi = hi; return k; }
Key Choice(Key k, int lo, int hi) { k = Range(k, lo, hi); k.out_of_range_is_default = true; return k; }

const char *W = SEC_WINDOW, *N = SEC_NET, *P = SEC_PATH, *V = SEC_VIEW, *K = SEC_COLOR, *O = SEC_OPTIONS;

const std::vector<Key> kWindowKeys = {
    I(W, "LogPaneHeight", &T::LogPaneHeight, "0"),
    I(W, "SQLEditHeight", &T::SQLEditHeight, "60"),
    I(W, "YakuzaiSidePanelWidth", &T::YakuzaiSidePanelWidth, "150"),
    I(W, "YakuzaiSideSeibunListHeight", &T::YakuzaiSideSeibunListHeight, "120"),
    I(W, "SQLSidePanelWidth", &T::SQLSidePanelWidth, "105"),
    I(W, "ToolBar1Top", &T::ToolBar1Top, "2"),
    I(W, "ToolBar1Loft", &T::ToolBar1Loft, "11"),
    FromObject(B(W, "ToolBarFlat", &T::ToolBarFlat, "1")),
    I(W, "ToolBarKensakuTop", &T::ToolBarKensakuTop, "28"),
    I(W, "ToolBarKensakuLeft", &T::ToolBarKensakuLeft, "11"),
    B(W, "ToolBarVisible", &T::ToolBarVisible, "1"),
    B(W, "ToolBarCaption", &T::ToolBarCaption, "1"),
    B(W, "SearchPanelVisible", &T::SearchPanelVisible, "1"),
    B(W, "SearchPanelExpand", &T::SearchPanelExpand, "0"),
    B(W, "LogPaneVisible", &T::LogPaneVisible, "0"),
    B(W, "StatusBarVisible", &T::StatusBarVisible, "1"),
};

const std::vector<Key> kNetKeys = {
    Range(I(N, "ReadTimeout", &T::ReadTimeout, "0"), 0, 30000),
    Choice(FromObject(I(N, "RecvBufferSize", &T::RecvBufferSize, "1")), 0, 2),
    Range(I(N, "ReceiveTimeout", &T::ReceiveTimeout, "0"), 0, 30000),
    B(N, "UseLAN", &T::UseLAN, "0"),
    B(N, "OffLine", &T::OffLine, "0"),
    B(N, "OoConnect", &T::OoConnect, "1"),
    Choice(Y(N, "DownSite", &T::DownSite, "3"), 0, 4),
    Choice(Y(N, "DownSiteTorvDB", &T::DownSiteTorvDB, "3"), 0, 3),
    S(N, "UserSite", &T::UserSite, "https://"),
    B(N, "UseProxyAuth", &T::UseProxyAuth, "0"),
    S(N, "ProxyUsername", &T::ProxyUsername, ""),
    {N, "ProxyPassword", Kind::Password, {}, {}, {}, &T::ProxyPassword, {}, {}, ""},
    B(N, "ProxyManual", &T::ProxyManual, "0"),
    S(N, "ProxyName", &T::ProxyName, ""),
    S(N, "ProxyBypass", &T::ProxyBypass, ""),
};

const std::vector<Key> kPathKeys = {
    S(P, "dirLAN", &T::dirLAN, ""),
    S(P, "CssFile", &T::CssFile, "standard.css"),
    S(P, "ExportssCssFile", &T::ExportssCssFile, "excel.css"),
    B(P, "DownloadRelativePath", &T::DownloadRelativePath, "0"),
    S(P, "dirDownloadPath", &T::dirDownloadPath, ""),
};

const std::vector<Key> kFontKeys = {
    F(V, "SQLEditFont", &T::SQLEditFont),   F(V, "TekiyouFont", &T::TekiyouFont),
    F(V, "Tekiyou2Font", &T::Tekiyou2Font), F(V, "SeibunGridFont", &T::SeibunGridFont),
    F(V, "LogFont", &T::LogFont),           F(V, "MainFormFont", &T::MainFormFont),
};

const std::vector<Key> kColourKeys = {
    C(K, "TekiyouColor", &T::TekiyouColor, "80000005"),
    C(K, "TekiyouColor2", &T::TekiyouColor2, "00F3F1E2"),
    C(K, "LogColor", &T::LogColor, "80000005"),
    C(K, "SQLEditColor", &T::SQLEditColor, "80000005"),
};

const std::vector<Key> kViewKeys = {
    B(V, "SQLKeywordBold", &T::SQLKeywordBold, "1"),
    B(V, "SQLFunctionBold", &T::SQLFunctionBold, "1"),
    B(V, "SQLPLsqlBold", &T::SQLPLsqlBold, "1"),
    B(V, "SQLPlusBold", &T::SQLPlusBold, "1"),
    B(V, "SQLCommentBold", &T::SQLCommentBold, "0"),
    B(V, "SQLCommentItalic", &T::SQLCommentItalic, "0"),
    B(V, "SQLDatatypeBold", &T::SQLDatatypeBold, "0"),
    B(V, "SQLTableNameBold", &T::SQLTableNameBold, "0"),
    B(V, "SQLNumberBold", &T::SQLNumberBold, "0"),
    B(V, "SQLStringBold", &T::SQLStringBold, "0"),
    B(V, "SQLIdentifierBold", &T::SQLIdentifierBold, "0"),
    ReadOnly(B(V, "SQLPragmasBold", &T::SQLPragmasBold, "1")),
    Y(V, "MenuImageSize", &T::MenuImageSize, "0"),
    Y(V, "BtnImageSize", &T::BtnImageSize, "0"),
    Range(I(V, "SakumotsuTreeIndent", &T::SakumotsuTreeIndent, "19"), 19, 48),
};

const std::vector<Key> kSqlColourKeys = {
    C(K, "SQLKeywordColor", &T::SQLKeywordColor, "00FF0000"),
    C(K, "SQLCommentColor", &T::SQLCommentColor, "00008000"),
    C(K, "SQLFunctionColor", &T::SQLFunctionColor, "00FF0000"),
    C(K, "SQLDatatypeColor", &T::SQLDatatypeColor, "00FF0000"),
    C(K, "SQLTableNameColor", &T::SQLTableNameColor, "00FF0000"),
    C(K, "SQLNumberColor", &T::SQLNumberColor, "00000000"),
    C(K, "SQLStringColor", &T::SQLStringColor, "00000000"),
    C(K, "SQLPLsqlColor", &T::SQLPLsqlColor, "00FF0000"),
    C(K, "SQLIdentifierColor", &T::SQLIdentifierColor, "00000000"),
    C(K, "SQLPlusColor", &T::SQLPlusColor, "00FF0000"),
    ReadOnly(C(K, "SQLPragmasColor", &T::SQLPragmasColor, "00FF0000")),
};

const std::vector<Key> kOptionKeys = {
    Range(I(O, "GridMaxWidth", &T::GridMaxWidth, "300"), 0, 640),
    Range(I(O, "GridLineSpace", &T::GridLineSpace, "6"), 0, 12),
    Range(I(O, "GridLineAddSpace", &T::GridLineAddSpace, "0"), 0, 6),
    Range(I(O, "GridCellLine0", &T::GridCellLine0, "1"), 1, 9),
    Range(I(O, "GridCellLine1", &T::GridCellLine1, "1"), 1, 9),
    Range(I(O, "GridCellLine2", &T::GridCellLine2, "1"), 1, 9),
    Range(I(O, "GridCellLine3", &T::GridCellLine3, "1"), 1, 9),
    Range(I(O, "GridCellLine4", &T::GridCellLine4, "1"), 1, 9),
    I(O, "GridFixedCol", &T::GridFixedCol, "0"),
    I(O, "GridSeibunFixedCol", &T::GridSeibunFixedCol, "0"),
    B(O, "GridRowSelect", &T::GridRowSelect, "0"),
    B(O, "TekiyouGridEveryOtherLine", &T::TekiyouGridEveryOtherLine, "1"),
    B(O, "TushoMode", &T::TushoMode, "1"),
    B(O, "HelpOnline", &T::HelpOnline, "0"),
    B(O, "DlgSakuBunruiCheckUpper", &T::DlgSakuBunruiCheckUpper, "0"),
    B(O, "DlgSakuSearchCheckUpper", &T::DlgSakuSearchCheckUpper, "0"),
    B(O, "UpperGroup", &T::UpperGroup, "0"),
    Choice(Y(O, "SpreadSheet", &T::SpreadSheet, "0"), 0, 3),
    B(O, "NoUpdateCheck", &T::NoUpdateCheck, "0"),
    Range(I(O, "SQLEditorLineSpace", &T::SQLEditorLineSpace, "0"), 0, 20),
    B(O, "SQLEditorLineNumber", &T::SQLEditorLineNumber, "1"),
    Range(I(O, "SQLEditorRightEdge", &T::SQLEditorRightEdge, "80"), 0, 1024),
    B(O, "SQLEditorWordwrap", &T::SQLEditorWordwrap, "0"),
    Y(O, "SeibunViewMode", &T::SeibunViewMode, "0"),
    Y(O, "KeitoViewMode", &T::KeitoViewMode, "0"),
    ReadOnly(B(O, "TabletMode", &T::TabletMode, "0")),
    Range(ReadOnly(I(O, "TabletSplitterWidth", &T::TabletSplitterWidth, "10")), 2, 20),
    Range(ReadOnly(I(O, "TabletTabHeight", &T::TabletTabHeight, "25")), 0, 60),
};

int DefaultInt(const Key &k, const T &o) {
  if (k.default_in_object) return k.kind == Kind::Bool ? (o.*k.b ? 1 : 0) : o.*k.i;
  return std::atoi(k.def);
}

// A stored number within the values its key allows.
int ReadNumber(const TIniFile &ini, const Key &k, const T &o) {
  const int lo = k.kind == Kind::Byte ? std::max(k.lo, 0) : k.lo;
  const int hi = k.kind == Kind::Byte ? std::min(k.hi, 255) : k.hi;
  const int v = ini.ReadInteger(k.section, k.name, DefaultInt(k, o));
  if (v >= lo && v <= hi) return v;
  if (k.out_of_range_is_default || k.kind == Kind::Byte) return std::atoi(k.def);
  return std::clamp(v, lo, hi);
}

void ReadKey(const TIniFile &ini, const Key &k, T &o) {
  switch (k.kind) {
    case Kind::Int: o.*k.i = ReadNumber(ini, k, o); break;
    case Kind::Bool: o.*k.b = ini.ReadBool(k.section, k.name, DefaultInt(k, o) != 0); break;
    case Kind::Byte: o.*k.y = static_cast<std::uint8_t>(ReadNumber(ini, k, o)); break;
    case Kind::Text: o.*k.s = ini.ReadString(k.section, k.name, k.def); break;
    case Kind::Colour: o.*k.c = HexToInt(ini.ReadString(k.section, k.name, k.def)); break;
    case Kind::Password:
      o.*k.s = ScrambleProxyPassword(FromStored(ini.ReadString(k.section, k.name, k.def)));
      break;
    case Kind::Font:
      // A value that is no font text gives the default font; the keys after it still load.
      try {
        o.*k.f = FontInfoFromText(ini.ReadString(k.section, k.name, ""));
      } catch (const std::exception &) {
        o.*k.f = TFontInfo{};
      }
      break;
  }
}

bool WriteKey(TIniFile &ini, const Key &k, const T &o) {
  if (k.read_only) return true;
  switch (k.kind) {
    case Kind::Int: return ini.WriteInteger(k.section, k.name, o.*k.i);
    case Kind::Bool: return ini.WriteBool(k.section, k.name, o.*k.b);
    case Kind::Byte: return ini.WriteInteger(k.section, k.name, o.*k.y);
    case Kind::Text: return ini.WriteString(k.section, k.name, o.*k.s);
    case Kind::Colour: return ini.WriteString(k.section, k.name, Hex8(o.*k.c));
    case Kind::Password: return ini.WriteString(k.section, k.name, ToStored(ScrambleProxyPassword(o.*k.s)));
    case Kind::Font: return ini.WriteString(k.section, k.name, FontInfoToText(o.*k.f));
  }
  return false;
}

void ReadKeys(const TIniFile &ini, const std::vector<Key> &keys, T &o) {
  for (const Key &k : keys) ReadKey(ini, k, o);
}

bool WriteKeys(TIniFile &ini, const std::vector<Key> &keys, const T &o) {
  bool ok = true;
  for (const Key &k : keys) ok = WriteKey(ini, k, o) && ok;
  return ok;
}

std::string ExecutableFolder() {
  std::error_code ec;
  if (const char *home = std::getenv("QUILLMAR_HOME"); home && *home) {
    std::filesystem::path p = std::filesystem::absolute(home, ec);
    std::string dir = ec ? std::string(home) : p.string();
    if (dir.back() != '/') dir += '/';
    return cp932::FromUtf8(dir);
  }
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  std::string dir = ec ? std::filesystem::current_path(ec).string() : exe.parent_path().string();
  if (dir.empty() || dir.back() != '/') dir += '/';
  return cp932::FromUtf8(dir);
}

// Creates the folder when missing; the error box when it cannot be made.
void EnsureFolder(const std::string &folder) {
  std::error_code ec;
  const std::filesystem::path p = cp932::ToUtf8(folder);
  if (std::filesystem::is_directory(p, ec)) return;
  std::filesystem::create_directories(p, ec);
  if (std::filesystem::is_directory(p, ec)) return;
  UiServices().MessageBox(folder + cp932::FromUtf8("を作成できません"), cp932::FromUtf8("エラー"), MB_OK | MB_ICONERROR);
}

// Why an existing settings file cannot be read, as the user reads it.
std::string ReadFailureReason(int error) {
  switch (error) {
    case EACCES:
    case EPERM: return cp932::FromUtf8("読み取り権限がありません");
    case EISDIR: return cp932::FromUtf8("フォルダです");
    default: return cp932::FromUtf8(std::strerror(error));
  }
}

}  // namespace

TOptionData::TOptionData() : TOptionData(ExecutableFolder()) {}

TOptionData::TOptionData(std::string program_folder) {
  ProgramFolder = std::move(program_folder);
  if (ProgramFolder.empty() || ProgramFolder.back() != '/') ProgramFolder += '/';
  IniFileName = ProgramFolder + "quillmar.ini";
  SetDefaults();
}

void TOptionData::SetDefaults() {
  DownloadFolder = ProgramFolder + "Download";
  TemplateFolder = ProgramFolder + "Template";
  CssFolder = ProgramFolder + "css";
  ReadTimeout = 0;
  RecvBufferSize = 1;
  ReceiveTimeout = 0;
  UseLAN = false;
  ToolBarFlat = true;
  GridMaxWidth = 0;
  HelpOnline = false;
}

void TOptionData::Load() {
  TIniFile ini(IniFileName);
  // A file that is there but cannot be read is left alone: the program runs on the
  // defaults and says so, since a save would put the defaults in the place of the user's
  // settings.
  IniReadFailure.clear();
  if (const int error = ini.ReadError())
    IniReadFailure = IniFileName + cp932::FromUtf8(" を読み込めません(") + ReadFailureReason(error) +
                     cp932::FromUtf8(")。既定の設定で起動し、設定は保存しません。");
  if (!IniReadFailure.empty()) UiServices().MessageBox(IniReadFailure, cp932::FromUtf8("エラー"), MB_OK | MB_ICONERROR);
  ReadKeys(ini, kWindowKeys, *this);
  ReadKeys(ini, kNetKeys, *this);
  BuiltFromSite = DownSite;
  ReadKeys(ini, kFontKeys, *this);
  ReadKeys(ini, kColourKeys, *this);
  ReadKeys(ini, kSqlColourKeys, *this);
  ReadKeys(ini, kViewKeys, *this);
  ReadKeys(ini, kOptionKeys, *this);

  DbFolder = ProgramFolder + "DB";
  EnsureFolder(DbFolder);

  ReadKeys(ini, kPathKeys, *this);
  if (!dirDownloadPath.empty()) {
    DownloadFolder = StoragePath(dirDownloadPath);
    // A relative folder is taken from the program folder, whatever the working folder.
    if (DownloadFolder.front() != '/') DownloadFolder = ProgramFolder + DownloadFolder;
  }
  EnsureFolder(DownloadFolder);
}

bool TOptionData::Save() {
  TIniFile ini(IniFileName);
  if (ini.ReadError() != 0) return false;  // each write would refuse it anyway
  bool ok = WriteKeys(ini, kWindowKeys, *this);
  ok = WriteKeys(ini, kNetKeys, *this) && ok;
  ok = WriteKeys(ini, kPathKeys, *this) && ok;
  ok = WriteKeys(ini, kFontKeys, *this) && ok;
  ok = WriteKeys(ini, kColourKeys, *this) && ok;
  ok = WriteKeys(ini, kViewKeys, *this) && ok;
  ok = WriteKeys(ini, kSqlColourKeys, *this) && ok;
  ok = WriteKeys(ini, kOptionKeys, *this) && ok;
  return ok;
}

std::string TOptionData::StoragePath(std::string_view folder) const {
  if (!DownloadRelativePath || folder.empty() || folder.front() != '/') return std::string(folder);
  auto parts = [](std::string_view path) {
    std::vector<std::string_view> out;
    std::size_t p = 0;
    while (p < path.size()) {
      std::size_t e = path.find('/', p);
      if (e == std::string_view::npos) e = path.size();
      if (e > p && path.substr(p, e - p) != ".") out.push_back(path.substr(p, e - p));
      p = e + 1;
    }
    return out;
  };
  const auto base = parts(ProgramFolder), dest = parts(folder);
  std::size_t common = 0;
  while (common < base.size() && common < dest.size() && base[common] == dest[common]) ++common;
  std::string rel;
  for (std::size_t i = common; i < base.size(); ++i) rel += "../";
  for (std::size_t i = common; i < dest.size(); ++i) rel.append(dest[i]).append("/");
  if (rel.empty()) return "./";
  if (folder.back() != '/') rel.pop_back();
  return rel;
}
