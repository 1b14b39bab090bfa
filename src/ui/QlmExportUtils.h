// The plain routines with which the windows leave the program: web look-ups of a term in
// the user's browser, opening a file with its editing program, temporary and special-folder
// file names, and the hand-off of results to a spreadsheet program (clipboard pasted into a
// new workbook, an HTML file opened as a workbook, or an HTML page streamed into the office
// suite's spreadsheet). They keep no state.
//
// Terms, file names and HTML are program text (CP932).
#pragma once

#include <string>
#include <string_view>

class QWidget;

#include "components/BrwsFldr.h"  // the special-folder numbers

// The folder's path (at most 260 characters, no trailing "/"); empty for a number the
// system does not know or a folder that is missing.
std::string GetSpecialFolderPath(int csidl);

// A bare file name with the given extension (".html") that names no existing file in
// folder. The name is checked where the caller will use it, so two viewers never share one.
std::string MakeTempFileName(const std::string &ext, const std::string &folder = ".");

// Every byte, letters and digits included, as "%" and two upper-case hex digits.
std::string PercentEncodeAll(std::string_view bytes);

// The shell's "edit" verb on the file when it exists.
void OpenFileForEdit(QWidget *window, const std::string &file_name);

// Hosts of the look-up sites. The search engine, the chemical-information search, the
// residue database, the farmers' product search and the dictionary are addresses with
// scheme; the foundation's site is an address with its one-segment path; the other three
// site filters are bare host names.
struct TLookupSites {
  std::string WebSearch = "https://www.google.com";
  std::string FoundationSite = "https://www.ffcr.or.jp/zaidan";
  std::string ProductLabSite = "www.fcg-r.co.jp";
  std::string ChemicalInfo = "https://www.nihs.go.jp";
  std::string PesticideDatabase = "https://db.ffcr.or.jp";
  std::string PlantDiseaseSite = "www.gene.affrc.go.jp";
  std::string FarmProducts = "https://www.noukaweb.com";
  std::string PestControlSite = "www.boujonet.jp";
  std::string OnlineDictionary = "https://www.weblio.jp";
};
TLookupSites &LookupSites();

// The look-ups: each opens its address with the shell's "open" verb.
void OpenWebSearch(QWidget *window, const std::string &term);
void OpenFoundationSiteSearch(QWidget *window, const std::string &term);
void OpenProductLabSiteSearch(QWidget *window, const std::string &term);
void OpenChemicalInfoSearch(QWidget *window, const std::string &term);
void OpenPesticideDatabasePage(QWidget *window, const std::string &term);
void OpenPlantDiseaseSiteSearch(QWidget *window, const std::string &term);
void OpenFarmProductSearch(QWidget *window, const std::string &term);
void OpenPestControlSiteSearch(QWidget *window, const std::string &term);
// The pest-control site's name as the look-up menus show it (UTF-8).
inline constexpr const char *kPestControlSiteName = "防除ネット";
void OpenOnlineDictionary(QWidget *window, const std::string &term);

// Spreadsheet kinds (the setting SpreadSheet).
enum : int { ssExcel = 0, ssCalc = 1, ssWPS = 2, ssJustCalc = 3 };

// A new workbook of the kind's program with the clipboard pasted at A1. Automation
// failures show "<program> の起動もしくは処理に失敗しました".
void PasteClipboardToSpreadsheet(int kind);
// The file opened as a workbook; failures as above.
void OpenFileInSpreadsheet(int kind, const std::string &file_name);
// The HTML loaded into a new office-suite spreadsheet under the busy cursor. Failures
// pass to the caller.
void ExportHtmlToOfficeCalc(const std::string &html, const std::string &title);
