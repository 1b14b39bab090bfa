#include "ui/QlmExportUtils.h"

#include <chrono>
#include <cstdio>
#include <system_error>

#include "components/QtServices.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/Automation.h"
#include "platform/cp932.h"
#include "platform/fspath.h"
#include "ui/ShellServices.h"

using namespace cp932::literals;

namespace {

std::string ProgramFolder() { return OptionData ? OptionData->ProgramFolder : std::string(); }

void ShellOpen(QWidget *window, const std::string &address) {
  ShellServices().ShellExecute(window, "open", address, "", ProgramFolder(), SW_SHOWDEFAULT);
}

// A URL component: unreserved characters stay, every other byte is escaped.
std::string EncodeComponent(std::string_view s) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
        c == '_' || c == '~') {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(hex[c >> 4]);
      out.push_back(hex[c & 15]);
    }
  }
  return out;
}

// The three ways a term goes into an address.
std::string Utf8Term(const std::string &term) { return PercentEncodeAll(cp932::ToUtf8(term)); }
std::string IsoName(const std::string &term) { return AcisDB ? AcisDB->GetIso(term) : term; }
std::string IsoTerm(const std::string &term) { return PercentEncodeAll(IsoName(term)); }
// The ISO name as it stands, except the four characters that would end the value or
// change its meaning inside a query ("%", "&", "#", "+").
std::string RawIsoTerm(const std::string &term) {
  std::string out;
  for (char c : IsoName(term)) {
    switch (c) {
      case '%': out += "%25"; break;
      case '&': out += "%26"; break;
      case '#': out += "%23"; break;
      case '+': out += "%2B"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::string SiteSearch(const std::string &term, const std::string &site) {
  return LookupSites().WebSearch + "/search?hl=ja&as_q=" + term + "&as_sitesearch=" + site;
}

// The spreadsheet programs reached by automation, and their failure texts.
const char *FailureText(int kind) {
  switch (kind) {
    case ssWPS: return "WPS Spreadsheets の起動もしくは処理に失敗しました";
    case ssJustCalc: return "JustCalc の起動もしくは処理に失敗しました";
    case ssCalc: return "OpenOffice Calc の起動もしくは処理に失敗しました";
    default: return "Excel の起動もしくは処理に失敗しました";
  }
}

// Always a new instance: a running one is never attached to.
TOleObjectPtr StartSpreadsheet(int kind) {
  switch (kind) {
    case ssWPS:
      try {
        return Automation().CreateOleObject("KET.Application");
      } catch (const EOleSysError &) {
        return Automation().CreateOleObject("ET.Application");
      }
    case ssJustCalc: return Automation().CreateOleObject("JustCalc.Application");
    case ssExcel: return Automation().CreateOleObject("Excel.Application");
    default: throw EOleSysError("no automation server for spreadsheet kind " + std::to_string(kind));
  }
}

}  // namespace

std::string GetSpecialFolderPath(int csidl) {
  std::string path = SpecialFolderPath(csidl);
  if (path.size() > 260) path.resize(260);
  return path;
}

std::string MakeTempFileName(const std::string &ext, const std::string &folder) {
  static unsigned next = static_cast<unsigned>(
      std::chrono::steady_clock::now().time_since_epoch().count() / 1000);
  std::filesystem::path dir = FsPath(folder.empty() ? std::string(".") : folder);
  char buf[8];
  for (int tries = 0; tries < 0x10000; ++tries) {
    unsigned u = next++ & 0xFFFF;
    if (u == 0) continue;
    std::snprintf(buf, sizeof buf, "%X", u);
    std::string name = buf + ext;
    std::error_code ec;
    if (!std::filesystem::exists(dir / FsPath(name), ec) && !ec) return name;
  }
  std::snprintf(buf, sizeof buf, "%X", next++ & 0xFFFF);
  return buf + ext;
}

std::string PercentEncodeAll(std::string_view bytes) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 3);
  for (unsigned char c : bytes) {
    out.push_back('%');
    out.push_back(hex[c >> 4]);
    out.push_back(hex[c & 15]);
  }
  return out;
}

void OpenFileForEdit(QWidget *window, const std::string &file_name) {
  std::error_code ec;
  if (file_name.empty() || !std::filesystem::is_regular_file(FsPath(file_name), ec)) return;
  ShellServices().ShellExecute(window, "edit", file_name, "", ProgramFolder(), SW_SHOWDEFAULT);
}

TLookupSites &LookupSites() {
  static TLookupSites sites;
  return sites;
}

void OpenWebSearch(QWidget *window, const std::string &term) {
  ShellOpen(window, LookupSites().WebSearch + "/search?q=" + Utf8Term(term));
}

void OpenFoundationSiteSearch(QWidget *window, const std::string &term) {
  ShellOpen(window, SiteSearch(IsoTerm(term), EncodeComponent(LookupSites().FoundationSite)));
}

void OpenProductLabSiteSearch(QWidget *window, const std::string &term) {
  ShellOpen(window, SiteSearch(IsoTerm(term), LookupSites().ProductLabSite));
}

void OpenChemicalInfoSearch(QWidget *window, const std::string &term) {
  ShellOpen(window, LookupSites().ChemicalInfo +
                        "/dsifc/servlet/SearchApp?appkind=pestressearch&searchkind=list_page&searchcondition="
                        "chemical&key=" +
                        IsoTerm(term));
}

void OpenPesticideDatabasePage(QWidget *window, const std::string &term) {
  ShellOpen(window, LookupSites().PesticideDatabase + "/prdb/details.pl?nname=" + RawIsoTerm(term) + "&mode=mn");
}

void OpenPlantDiseaseSiteSearch(QWidget *window, const std::string &term) {
  ShellOpen(window, SiteSearch(Utf8Term(term), LookupSites().PlantDiseaseSite));
}

void OpenFarmProductSearch(QWidget *window, const std::string &term) {
  ShellOpen(window, LookupSites().FarmProducts + "/db/products/product_search?q=" + Utf8Term(term));
}

void OpenPestControlSiteSearch(QWidget *window, const std::string &term) {
  ShellOpen(window, SiteSearch(Utf8Term(term), LookupSites().PestControlSite));
}

void OpenOnlineDictionary(QWidget *window, const std::string &term) {
  ShellOpen(window, LookupSites().OnlineDictionary + "/content/" + Utf8Term(term));
}

void PasteClipboardToSpreadsheet(int kind) {
  try {
    TOleObjectPtr app = StartSpreadsheet(kind);
    app->Set("Visible", true);
    TOleObjectPtr book = app->Obj("WorkBooks")->Obj("Add");
    TOleObjectPtr sheet = book->Obj("WorkSheets", {std::int64_t{1}});
    sheet->Call("Activate");
    sheet->Obj("Range", {std::string("A1")})->Call("Select");
    sheet->Call("Paste");
    sheet->Obj("Range", {std::string("A1")})->Call("Select");
  } catch (const EOleError &) {
    MsgBox(cp932::FromUtf8(FailureText(kind)), "Quillmar", MB_OK);
  }
}

void OpenFileInSpreadsheet(int kind, const std::string &file_name) {
  try {
    TOleObjectPtr app = StartSpreadsheet(kind);
    app->Set("Visible", true);
    TOleObjectPtr book = app->Obj("WorkBooks")->Obj("Open", {file_name});
    TOleObjectPtr sheet = book->Obj("WorkSheets", {std::int64_t{1}});
    sheet->Call("Activate");
    sheet->Obj("Range", {std::string("A1")})->Call("Select");
  } catch (const EOleError &) {
    MsgBox(cp932::FromUtf8(FailureText(kind)), "Quillmar", MB_OK);
  }
}

void ExportHtmlToOfficeCalc(const std::string &html, const std::string &title) {
  TBusyCursor busy;
  try {
    TOleObjectPtr manager = Automation().CreateOleObject("com.sun.star.ServiceManager");
    auto property = [&](const std::string &name, TOleValue value) -> TOleValue {
      TOleObjectPtr p = manager->Obj("Bridge_GetStruct", {std::string("com.sun.star.beans.PropertyValue")});
      p->Set("Name", name);
      p->Set("Value", value);
      return p;
    };
    TOleObjectPtr temp = manager->Obj("createInstance", {std::string("com.sun.star.io.TempFile")});
    TOleValue properties = OleArray({property("FilterName", std::string("calc_HTML_WebQuery")),
                                     property("DocumentTitle", title), property("InputStream", temp)});
    TOleObjectPtr out = manager->Obj("createInstance", {std::string("com.sun.star.io.TextOutputStream")});
    out->Call("setOutputStream", {temp});
    out->Call("setEncoding", {std::string("Shift_JIS")});
    out->Call("writeString", {html});
    out->Call("closeOutput");
    temp->Call("seek", {std::int64_t{0}});
    TOleObjectPtr desktop = manager->Obj("createInstance", {std::string("com.sun.star.frame.Desktop")});
    desktop->Call("loadComponentFromURL",
                  {std::string("private:stream"), std::string("_blank"), std::int64_t{0}, properties});
  } catch (const EOleSysError &) {
    // The suite is missing or its program did not start. The system's own text names a class
    // string or a path; the user is told which program could not be started, as for the
    // other spreadsheets, and the failure still goes to the caller.
    throw EOleSysError(cp932::FromUtf8(FailureText(ssCalc)));
  }
}
