// The program's settings: the one settings object OptionData, its file "quillmar.ini" in
// the program folder, the stored font record and the program-wide switches.
//
// All texts are program text (CP932). ProgramFolder ends in "/"; the other folders
// (DownloadFolder, DbFolder, TemplateFolder, CssFolder) are named without a trailing
// separator, so a file in them is folder + "/" + name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// A stored font; kept in the settings file as comma text of the six fields in this order.
struct TFontInfo {
  std::string Name;
  int Charset = 128;         // the Shift-JIS character set
  int Height = -12;          // pixels; negative for the character height
  int Size = -9;             // points
  int Style = 0;             // 1 bold, 2 italic, 4 underline, 8 strike-out
  std::int32_t Color = static_cast<std::int32_t>(0x80000008u);  // the window-text colour

  bool operator==(const TFontInfo &) const = default;
};

// Comma text of the six fields (an item holding a space, a comma, a double quote or a
// control character in double quotes, inner quotes doubled; Color as 8 upper-case hex
// digits), and back. FontInfoFromText of an empty text gives the defaults; a text with
// fewer than six items or a non-numeric item throws std::invalid_argument.
std::string FontInfoToText(const TFontInfo &info);
TFontInfo FontInfoFromText(std::string_view text);

// Each byte XOR 0x6B; the same call scrambles and unscrambles.
std::string ScrambleProxyPassword(std::string_view text);

// "1" or "0".
std::string BoolTo01(bool value);

class TOptionData {
 public:
  // ProgramFolder is the executable's folder, or QUILLMAR_HOME when that is set. The
  // file is not read here.
  TOptionData();
  // A settings object for the given program folder (tests).
  explicit TOptionData(std::string program_folder);

  void SetDefaults();
  // Reads every key (missing keys and unreadable values give the defaults; a number is
  // read within the values its setting allows) and creates the database and download
  // folders, reporting a folder that cannot be made in an error box. A file that exists
  // but cannot be read is reported in an error box too (IniReadFailure holds the text).
  void Load();
  // Writes every key except the five that can only be set by editing the file. False
  // when the file could not be written, or exists and cannot be read (nothing is written).
  bool Save();

  // Set by Load: why the settings file that is there could not be read, or empty.
  std::string IniReadFailure;

  // With DownloadRelativePath set, an absolute folder expressed relative to ProgramFolder
  // ("../" for each level to climb); otherwise, or for a relative folder, the folder as is.
  std::string StoragePath(std::string_view folder) const;

  std::string IniFileName;
  // section WINDOW
  int ToolBar1Top = 0, ToolBar1Loft = 0, ToolBarKensakuTop = 0, ToolBarKensakuLeft = 0;
  bool ToolBarFlat = false, ToolBarVisible = false, ToolBarCaption = false, SearchPanelVisible = false,
       SearchPanelExpand = false, LogPaneVisible = false, StatusBarVisible = false;
  int YakuzaiSidePanelWidth = 0, LogPaneHeight = 0, SQLEditHeight = 0, YakuzaiSideSeibunListHeight = 0,
      SQLSidePanelWidth = 0;
  // folders and section PATH
  std::string ProgramFolder;
  std::string DownloadFolder;
  std::string dirDownloadPath;
  bool DownloadRelativePath = false;
  std::string DbFolder;
  std::string TemplateFolder;
  std::string CssFolder;
  std::string dirLAN;
  // section VIEW
  TFontInfo SQLEditFont, TekiyouFont, Tekiyou2Font, SeibunGridFont, LogFont, MainFormFont;
  std::uint8_t MenuImageSize = 0, BtnImageSize = 0;
  int SakumotsuTreeIndent = 0;
  // section COLOR (colour codes: top bit set names a system colour, else 00BBGGRR)
  std::int32_t SQLEditColor = 0, TekiyouColor = 0, TekiyouColor2 = 0, LogColor = 0;
  // section NET
  int ReadTimeout = 0, RecvBufferSize = 0, ReceiveTimeout = 0;
  bool UseLAN = false, OffLine = false, OoConnect = false;
  std::uint8_t DownSite = 0;
  std::uint8_t BuiltFromSite = 0;  // the source of the current database; not stored
  std::uint8_t DownSiteTorvDB = 0;
  std::string UserSite;
  bool UseProxyAuth = false;
  std::string ProxyUsername;
  std::string ProxyPassword;  // in clear; stored scrambled
  bool ProxyManual = false;
  std::string ProxyName;
  std::string ProxyBypass;
  // section OPTIONS
  int GridMaxWidth = 0, GridLineSpace = 0, GridLineAddSpace = 0, GridFixedCol = 0, GridSeibunFixedCol = 0;
  int GridCellLine0 = 0, GridCellLine1 = 0, GridCellLine2 = 0, GridCellLine3 = 0, GridCellLine4 = 0;
  bool GridRowSelect = false, HelpOnline = false, TekiyouGridEveryOtherLine = false, TushoMode = false,
       DlgSakuBunruiCheckUpper = false, DlgSakuSearchCheckUpper = false;
  std::string CssFile, ExportssCssFile;
  bool UpperGroup = false;
  std::uint8_t SpreadSheet = 0;
  bool NoUpdateCheck = false;
  int SQLEditorLineSpace = 0;
  bool SQLEditorLineNumber = false;
  int SQLEditorRightEdge = 0;
  bool SQLEditorWordwrap = false;
  // SQL highlight colours (COLOR) and flags (VIEW)
  bool SQLKeywordBold = false, SQLCommentBold = false, SQLCommentItalic = false;
  std::int32_t SQLKeywordColor = 0, SQLCommentColor = 0, SQLFunctionColor = 0;
  bool SQLFunctionBold = false;
  std::int32_t SQLDatatypeColor = 0;
  bool SQLDatatypeBold = false;
  std::int32_t SQLTableNameColor = 0;
  bool SQLTableNameBold = false;
  std::int32_t SQLNumberColor = 0;
  bool SQLNumberBold = false;
  std::int32_t SQLStringColor = 0;
  bool SQLStringBold = false;
  std::int32_t SQLPLsqlColor = 0;
  bool SQLPLsqlBold = false;
  std::int32_t SQLIdentifierColor = 0;
  bool SQLIdentifierBold = false;
  std::int32_t SQLPlusColor = 0;
  bool SQLPlusBold = false;
  std::int32_t SQLPragmasColor = 0;  // read only
  bool SQLPragmasBold = false;       // read only
  std::uint8_t SeibunViewMode = 0, KeitoViewMode = 0;
  bool TabletMode = false;        // read only
  int TabletSplitterWidth = 0;    // read only
  int TabletTabHeight = 0;        // read only
};

// Section names of the settings file, shared with the windows that keep their own keys.
inline constexpr const char *SEC_WINDOW = "WINDOW";
inline constexpr const char *SEC_PATH = "PATH";
inline constexpr const char *SEC_NET = "NET";
inline constexpr const char *SEC_LOGS = "LOGS";
inline constexpr const char *SEC_EXTERNAL = "EXTERNAL";
inline constexpr const char *SEC_OPTIONS = "OPTIONS";
inline constexpr const char *SEC_VIEW = "VIEW";
inline constexpr const char *SEC_STYLE = "STYLE";
inline constexpr const char *SEC_COLOR = "COLOR";

// The one settings object, created with its defaults before main runs.
extern TOptionData *OptionData;

// Program-wide switches.
extern bool DebugMode;            // trace lines in the log pane
extern bool AutoUpdateSwitch;     // "/u"
extern bool DownloadCheckSwitch;  // "/r"
extern bool OfflineSwitch;        // "/f"
extern bool DeveloperSwitch;      // "/d"
extern std::int32_t ProcessExitCode;

// The end of the program: frees OptionData and gives the code the process ends with:
// ProcessExitCode after an unattended run ("/u" or "/r"), otherwise normal_code.
int FinalizeOptionData(int normal_code);
