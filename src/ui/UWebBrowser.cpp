#include "ui/UWebBrowser.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QMenu>
#include <QPageSetupDialog>
#include <QPointer>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QSignalBlocker>
#include <QStyle>
#include <QWebEngineHttpRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <system_error>

#include "components/DialogServices.h"
#include "components/PosDlgs.h"
#include "components/QtServices.h"
#include "components/qtext.h"
#include "engine/Exception.h"
#include "engine/TextHelpers.h"
#include "engine/UiServices.h"
#include "engine/options.h"
#include "platform/IniFile.h"
#include "platform/fspath.h"
#include "ui/ImageLists.h"
#include "ui/QlmExportUtils.h"
#include "ui_UWebBrowser.h"

using namespace cp932::literals;

namespace {

// Zoom factors of the five text sizes, smallest to largest; 2 is the normal size.
constexpr double kZoom[5] = {0.7, 0.85, 1.0, 1.15, 1.3};

// One profile for every viewer, kept in memory only: nothing of the shown pages is cached
// on disk. A page that names no encoding is read as the program's own text.
QWebEngineProfile *ViewerProfile() {
  static QPointer<QWebEngineProfile> profile;
  if (!profile) {
    profile = new QWebEngineProfile(QCoreApplication::instance());
    profile->settings()->setDefaultTextEncoding(QStringLiteral("Shift_JIS"));
  }
  return profile;
}

bool ReadBytes(const std::string &file_name, std::string &bytes) {
  std::ifstream in(FsPath(file_name), std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool WriteBytes(const std::string &file_name, const std::string &bytes) {
  std::ofstream out(FsPath(file_name), std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return static_cast<bool>(out);
}

void WriteOrThrow(const std::string &file_name, const std::string &bytes) {
  if (!WriteBytes(file_name, bytes)) throw EInOutError("ファイル \""_sj + file_name + "\" を作成できません"_sj);
}

// The text as a list of lines, each ended by CR LF (a line ends at CR LF, LF or CR).
std::string CrLfLines(const std::string &text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32 + 2);
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t e = text.find_first_of("\r\n", i);
    if (e == std::string::npos) e = text.size();
    out.append(text, i, e - i);
    out += "\r\n";
    if (e < text.size() && text[e] == '\r' && e + 1 < text.size() && text[e + 1] == '\n') ++e;
    i = e + 1;
  }
  return out;
}

bool SameFileName(const std::string &a, const std::string &b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto low = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
           return low(x) == low(y);
         });
}

std::string FileNamePart(const std::string &path) {
  std::size_t p = path.find_last_of("/\\");
  return p == std::string::npos ? path : path.substr(p + 1);
}

QUrl LocalUrl(const std::string &file_name) {
  return QUrl::fromLocalFile(QString::fromUtf8(cp932::ToUtf8(file_name).c_str()));
}

}  // namespace

TfrmWebBrowser::TfrmWebBrowser(QWidget *owner)
    : QMainWindow(nullptr, Qt::Window), ui(new Ui::TfrmWebBrowser) {
  ui->setupUi(this);
  setAttribute(Qt::WA_DeleteOnClose);
  // An open viewer does not keep the program running, and goes (with its page files) when
  // the program ends or its owner is freed.
  setAttribute(Qt::WA_QuitOnClose, false);
  if (owner) connect(owner, &QObject::destroyed, this, &QObject::deleteLater);
  connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] { delete this; });

  ui->WebBrowser->setPage(new QWebEnginePage(ViewerProfile(), ui->WebBrowser));

  // The tool bar's controls, in their order.
  ui->bSave->setIcon(ActionIcon(QStringLiteral("document-save-as")));
  ui->bPrint->setIcon(ActionIcon(QStringLiteral("document-print")));
  ui->bPreview->setIcon(ActionIcon(QStringLiteral("document-print-preview")));
  auto item = [this](QWidget *w) -> QAction * {
    for (QAction *a : ui->ToolBar1->actions())
      if (ui->ToolBar1->widgetForAction(a) == w) return a;
    return nullptr;
  };
  ui->ToolBar1->insertSeparator(item(ui->btnExcel));
  ui->ToolBar1->insertSeparator(item(ui->cbCssFile));
  FInnerHtmlViewItem = item(ui->btnInnerHTMLView);

  dmCalc = new QMenu(this);
  dmCalc->setObjectName("dmCalc");
  dmCalc->addAction(ui->actExportExcel);
  dmCalc->addAction(ui->actExportCalc);
  dmCalc->addAction(ui->actExportWPS);
  dmCalc->addAction(ui->actExportJustCalc);
  ui->btnExcel->setMenu(dmCalc);

  connect(ui->bSave, &QToolButton::clicked, this, [this] { Guarded([this] { bSaveClick(); }); });
  connect(ui->bPreview, &QToolButton::clicked, this, [this] { Guarded([this] { bPreviewClick(); }); });
  connect(ui->bPrint, &QToolButton::clicked, this, [this] { Guarded([this] { bPrintClick(); }); });
  connect(ui->cbCssFile, &QComboBox::activated, this, [this] { Guarded([this] { cbCssFileChange(); }); });
  connect(ui->trkZoom, &QSlider::valueChanged, this, [this] { trkZoomChange(); });
  connect(ui->btnInnerHTMLView, &QToolButton::clicked, this, [this] { Guarded([this] { btnInnerHTMLViewClick(); }); });
  connect(ui->actExportExcel, &QAction::triggered, this, [this] { Guarded([this] { actExportExcelExecute(); }); });
  connect(ui->actExportCalc, &QAction::triggered, this, [this] { Guarded([this] { actExportCalcExecute(); }); });
  connect(ui->actExportWPS, &QAction::triggered, this, [this] { Guarded([this] { actExportWPSExecute(); }); });
  connect(ui->actExportJustCalc, &QAction::triggered, this,
          [this] { Guarded([this] { actExportJustCalcExecute(); }); });

  QWebEnginePage *page = ui->WebBrowser->page();
  connect(page, &QWebEnginePage::linkHovered, this, &TfrmWebBrowser::WebBrowserStatusTextChange);
  connect(page, &QWebEnginePage::titleChanged, this, &TfrmWebBrowser::WebBrowserTitleChange);
  connect(page, &QWebEnginePage::urlChanged, this, &TfrmWebBrowser::WebBrowserNavigateComplete2);
  connect(page, &QWebEnginePage::loadFinished, this, &TfrmWebBrowser::WebBrowserDocumentComplete);
  connect(page, &QWebEnginePage::renderProcessTerminated, this,
          [this](QWebEnginePage::RenderProcessTerminationStatus status, int) {
            WebBrowserRenderProcessTerminated(static_cast<int>(status));
          });

  FormCreate();
}

TfrmWebBrowser::~TfrmWebBrowser() {
  // A viewer freed without being closed (the minimised export converter) leaves no page
  // file behind either.
  RemoveFile(FTempFile);
  RemoveFile(FInnerHtmlFile);
}

QWebEngineView *TfrmWebBrowser::WebBrowser() const { return ui->WebBrowser; }

void TfrmWebBrowser::Guarded(const std::function<void()> &handler) {
  RunAtBoundary(handler, [](const std::exception &e) { MsgBox(e.what(), "Quillmar", MB_OK | MB_ICONERROR); });
}

void TfrmWebBrowser::RemoveFile(std::string &file_name) {
  if (file_name.empty()) return;
  std::error_code ec;
  std::filesystem::remove(FsPath(file_name), ec);
}

// ---------------------------------------------------------------- start, show, close

void TfrmWebBrowser::FormCreate() {
  TIniFile ini(OptionData->IniFileName);
  QRect g = geometry();
  int top = ini.ReadInteger(SEC_WINDOW, "WebBrowserTop", g.top());
  int left = ini.ReadInteger(SEC_WINDOW, "WebBrowserLeft", g.left());
  int width = ini.ReadInteger(SEC_WINDOW, "WebBrowserWidth", g.width());
  int height = ini.ReadInteger(SEC_WINDOW, "WebBrowserHeight", g.height());
  // A place on a monitor that is gone comes back onto a screen there is.
  const QRect placed = SavedWindowRect(left, top, std::max(width, 200), std::max(height, 120));
  move(placed.topLeft());
  resize(placed.size());

  switch (OptionData->SpreadSheet) {
    case 1: SetExcelAction(ui->actExportCalc); break;
    case 2: SetExcelAction(ui->actExportWPS); break;
    case 3: SetExcelAction(ui->actExportJustCalc); break;
    default: SetExcelAction(ui->actExportExcel); break;
  }
  // The actions' images: the drop-down menu's by MenuImageSize, the tool bar's by
  // BtnImageSize (another value leaves the layout's).
  GiveActionIcons(this);
  SetMenuImageSize(dmCalc, ImageListSize(OptionData->MenuImageSize));
  if (const int px = ImageListSize(OptionData->BtnImageSize)) ui->ToolBar1->setIconSize(QSize(px, px));
  FillCssList();
  FInnerHtmlViewItem->setVisible(DeveloperSwitch);
}

void TfrmWebBrowser::showEvent(QShowEvent *e) {
  QMainWindow::showEvent(e);
  if (!e->spontaneous()) Guarded([this] { FormShow(); });
}

void TfrmWebBrowser::FormShow() {
  if (!PostData.empty()) {
    PostRequest();
  } else {
    QPointer<TfrmWebBrowser> self(this);
    ShowHtml(Html);
    if (self) setWindowTitle(ToQ(FTempFile));  // unless the user closed it while it loaded
  }
}

void TfrmWebBrowser::closeEvent(QCloseEvent *e) {
  FormClose();
  e->accept();
}

void TfrmWebBrowser::FormClose() {
  {
    QSignalBlocker block(ui->trkZoom);
    ui->trkZoom->setValue(2);
  }
  SetZoom(2);
  TIniFile ini(OptionData->IniFileName);
  ini.WriteInteger(SEC_WINDOW, "WebBrowserTop", y());
  ini.WriteInteger(SEC_WINDOW, "WebBrowserLeft", x());
  ini.WriteInteger(SEC_WINDOW, "WebBrowserWidth", width());
  ini.WriteInteger(SEC_WINDOW, "WebBrowserHeight", height());
  RemoveFile(FTempFile);
  RemoveFile(FInnerHtmlFile);
}

// ---------------------------------------------------------------- pages

void TfrmWebBrowser::ShowHtml(const std::string &text) {
  // The page before stays shown until the new one has loaded; its file is no longer needed.
  std::string previous = FTempFile;
  const std::string temp = GetTempDir();
  FTempFile = temp + MakeTempFileName(".html", temp);
  WriteOrThrow(FTempFile, CrLfLines(text));
  if (previous != FTempFile) RemoveFile(previous);

  WebBrowserBeforeNavigate2();
  FLoading = true;
  ui->WebBrowser->load(LocalUrl(FTempFile));
}

bool TfrmWebBrowser::WaitForPage() {
  QPointer<TfrmWebBrowser> self(this);
  while (self && !self->FDone && !self->FPageProcessGone)
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  return self && self->FDone;
}

void TfrmWebBrowser::WebBrowserRenderProcessTerminated(int status) {
  if (status == QWebEnginePage::NormalTerminationStatus) return;
  FPageProcessGone = true;
  FLoading = false;
  // Reported once the browser's own signal has returned; a box inside it would stall it.
  QPointer<TfrmWebBrowser> self(this);
  QMetaObject::invokeMethod(
      this,
      [self] {
        ErrorBox("ブラウザーがページの表示を続けられなくなりました(メモリー不足の可能性があります)。\r\n"
                 "ページを閉じます。検索結果はそのまま残っています。"_sj);
        if (self) self->close();
      },
      Qt::QueuedConnection);
}

void TfrmWebBrowser::PostRequest() {
  QWebEngineHttpRequest request(QUrl(PostUrl), QWebEngineHttpRequest::Post);
  request.setHeader("Content-Type", "application/x-www-form-urlencoded");
  request.setPostData(QByteArray(PostData.data(), static_cast<qsizetype>(PostData.size())));
  WebBrowserBeforeNavigate2();
  FLoading = true;
  ui->WebBrowser->load(request);
}

void TfrmWebBrowser::WebBrowserBeforeNavigate2() {
  FDocument = QUrl();
  FDone = false;
  FPageProcessGone = false;  // a new navigation starts a new page process
}

void TfrmWebBrowser::WebBrowserNavigateComplete2(const QUrl &url) {
  if (FLoading && FDocument.isEmpty()) FDocument = url;
}

void TfrmWebBrowser::WebBrowserDocumentComplete(bool) {
  if (!FLoading) return;
  QPointer<TfrmWebBrowser> self(this);
  ui->WebBrowser->page()->runJavaScript(
      QStringLiteral("document.documentElement ? document.documentElement.innerHTML : ''"),
      [self](const QVariant &result) {
        if (!self) return;
        self->FInnerHtml = FromQ(result.toString());
        self->FDocument = QUrl();
        self->FLoading = false;
        self->FDone = true;
      });
}

void TfrmWebBrowser::WebBrowserStatusTextChange(const QString &text) { ui->StatusBar1->showMessage(text); }

void TfrmWebBrowser::FillCssList() {
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(FsPath(OptionData->CssFolder), ec), end; !ec && it != end;
       it.increment(ec)) {
    std::string name = FromFsPath(it->path().filename());
    if (name.size() > 4 && SameFileName(name.substr(name.size() - 4), ".css") && it->is_regular_file(ec))
      names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  QSignalBlocker block(ui->cbCssFile);
  ui->cbCssFile->clear();
  const std::string current = FileNamePart(OptionData->CssFile);
  int selected = -1;
  for (std::size_t i = 0; i < names.size(); ++i) {
    ui->cbCssFile->addItem(ToQ(names[i]));
    if (selected < 0 && SameFileName(names[i], current)) selected = static_cast<int>(i);
  }
  ui->cbCssFile->setCurrentIndex(selected);
}

void TfrmWebBrowser::cbCssFileChange() {
  OptionData->CssFile = OptionData->CssFolder + "/" + FromQ(ui->cbCssFile->currentText());
  std::string css;
  if (!ReadBytes(OptionData->CssFile, css))
    throw EInOutError("ファイル \""_sj + OptionData->CssFile + "\" を開けません"_sj);
  std::string page = "<html>\r\n<head>\r\n"
                     "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">\r\n"
                     "<style type=\"text/css\">\r\n<!--\r\n" +
                     CrLfLines(css) + "-->\r\n</style>\r\n" + ScriptHtml + "\r\n</head>\r\n" + BodyHtml + "</html>";
  Html = page;
  ShowHtml(Html);
}

void TfrmWebBrowser::SetZoom(int position) {
  position = std::clamp(position, 0, 4);
  ui->WebBrowser->setZoomFactor(kZoom[position]);
}

void TfrmWebBrowser::trkZoomChange() { SetZoom(ui->trkZoom->value()); }

// ---------------------------------------------------------------- browser commands

bool TfrmWebBrowser::SaveAs(const std::string &file_name) {
  std::error_code ec;
  if (!FTempFile.empty() && ui->WebBrowser->url() == LocalUrl(FTempFile) &&
      std::filesystem::exists(FsPath(FTempFile), ec)) {
    std::string bytes;
    return ReadBytes(FTempFile, bytes) && WriteBytes(file_name, bytes);
  }
  // A posted answer has no file of its own: the document as the browser holds it, in the
  // document's own encoding.
  QEventLoop loop;
  QString html, charset;
  int pending = 2;
  auto done = [&] {
    if (--pending == 0) loop.quit();
  };
  QWebEnginePage *page = ui->WebBrowser->page();
  page->toHtml([&](const QString &text) {
    html = text;
    done();
  });
  page->runJavaScript(QStringLiteral("document.characterSet"), [&](const QVariant &v) {
    charset = v.toString();
    done();
  });
  loop.exec();
  const QString cs = charset.toLower();
  const bool sjis = cs == "shift_jis" || cs == "windows-31j" || cs == "x-sjis" || cs == "cp932";
  if (sjis) return WriteBytes(file_name, FromQ(html));
  QByteArray u8 = html.toUtf8();
  return WriteBytes(file_name, std::string(u8.constData(), static_cast<std::size_t>(u8.size())));
}

void TfrmWebBrowser::bSaveClick() {
  TFileDialogRequest request;
  request.Save = true;
  request.Owner = this;
  request.Title = "名前を付けて保存"_sj;
  request.Filter = "Web ページ(*.htm;*.html)|*.htm;*.html|すべてのファイル(*.*)|*.*"_sj;
  request.DefaultExt = "html";
  request.FileName = FTempFile.empty() ? std::string("page.html") : FileNamePart(FTempFile);
  request.OverwritePrompt = true;
  TDialogAnswer answer = DialogServices().FileDialog(request);
  if (!answer.Ok || answer.Path.empty()) return;
  const std::string &name = answer.Path;
  if (!SaveAs(name)) ErrorBox("ファイル \""_sj + name + "\" に保存できませんでした"_sj);
}

bool TfrmWebBrowser::PrintPage(QPrinter *printer) {
  QEventLoop loop;
  bool printed = false;
  connect(ui->WebBrowser, &QWebEngineView::printFinished, &loop, [&](bool ok) {
    printed = ok;
    loop.quit();
  });
  ui->WebBrowser->print(printer);
  loop.exec();
  return printed;
}

void TfrmWebBrowser::bPreviewClick() {
  QPrintPreviewDialog preview(&FPrinter, this);
  connect(&preview, &QPrintPreviewDialog::paintRequested, this,
          [this](QPrinter *printer) { PrintPage(printer); });
  preview.exec();
}

void TfrmWebBrowser::bPrintClick() {
  QPrintDialog dialog(&FPrinter, this);
  if (dialog.exec() == QDialog::Accepted) PrintPage(&FPrinter);
}

void TfrmWebBrowser::bPageSetupClick() {
  QPageSetupDialog dialog(&FPrinter, this);
  dialog.exec();
}

void TfrmWebBrowser::bCopyClick() { ui->WebBrowser->page()->triggerAction(QWebEnginePage::Copy); }

void TfrmWebBrowser::bCopyAllClick() {
  ui->WebBrowser->page()->triggerAction(QWebEnginePage::SelectAll);
  ui->WebBrowser->page()->triggerAction(QWebEnginePage::Copy);
}

void TfrmWebBrowser::bCloseClick() { close(); }

void TfrmWebBrowser::bSearchClick() {
  TBusyCursor busy;
  // Only a local file can be removed; an address names none.
  QUrl url(PostUrl);
  if (!PostUrl.isEmpty() && (url.isLocalFile() || url.scheme().size() < 2)) {
    std::string file = FromQ(url.isLocalFile() ? url.toLocalFile() : PostUrl);
    RemoveFile(file);
  }
  FormShow();
}

// ---------------------------------------------------------------- exports

void TfrmWebBrowser::SetExcelAction(QAction *action) {
  ui->btnExcel->setDefaultAction(action);
  ui->btnExcel->setMenu(dmCalc);
}

void TfrmWebBrowser::actExportExcelExecute() {
  SetExcelAction(ui->actExportExcel);
  if (!WaitForPage()) return;
  SetClipboardText(FInnerHtml);
  PasteClipboardToSpreadsheet(ssExcel);
}

void TfrmWebBrowser::actExportWPSExecute() {
  SetExcelAction(ui->actExportWPS);
  if (!WaitForPage()) return;
  SetClipboardText(FInnerHtml);
  PasteClipboardToSpreadsheet(ssWPS);
}

void TfrmWebBrowser::actExportJustCalcExecute() {
  SetExcelAction(ui->actExportJustCalc);
  if (!WaitForPage()) return;
  std::error_code ec;
  if (FTempFile.empty() || !std::filesystem::exists(FsPath(FTempFile), ec)) return;
  WriteOrThrow(FTempFile, "<html>\r\n" + FInnerHtml + "\r\n</html>\r\n");
  OpenFileInSpreadsheet(ssJustCalc, FTempFile);
}

void TfrmWebBrowser::actExportCalcExecute() {
  SetExcelAction(ui->actExportCalc);
  if (!WaitForPage()) return;
  ExportHtmlToOfficeCalc(FInnerHtml, "Quillmar");
}

void TfrmWebBrowser::btnInnerHTMLViewClick() {
  if (!WaitForPage()) return;
  RemoveFile(FInnerHtmlFile);
  const std::string temp = GetTempDir();
  FInnerHtmlFile = temp + MakeTempFileName(".html", temp);
  WriteOrThrow(FInnerHtmlFile, FInnerHtml);
  OpenFileForEdit(this, FInnerHtmlFile);
}
