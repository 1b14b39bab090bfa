// The HTML viewer: a modeless window around the browser control that shows a page another
// window built (the HTML result page), lets the user switch its style sheet, zoom, save,
// preview and print it, and hands it to a spreadsheet program. It can also POST a form to
// an address and show the answer. The result windows use it minimised, for one export, as
// the converter from a result page to spreadsheet input.
//
// Page texts are program text (CP932); the page is written to a temporary .html file and
// the browser navigates to it.
#pragma once

#include <QMainWindow>
#include <QPrinter>
#include <QUrl>
#include <functional>
#include <memory>
#include <string>

class QAction;
class QMenu;
class QWebEngineView;

namespace Ui {
class TfrmWebBrowser;
}

class TfrmWebBrowser : public QMainWindow {
  Q_OBJECT

 public:
  // The window is top-level with its own task-bar button; it is freed when it closes, or
  // with its owner.
  explicit TfrmWebBrowser(QWidget *owner);
  ~TfrmWebBrowser() override;

  // Set by the creator before showing.
  std::string Html;        // the whole page
  std::string ScriptHtml;  // the page's script block (kept when the style sheet changes)
  std::string BodyHtml;    // from "<body" to "</body>" (kept when the style sheet changes)
  QString PostUrl;         // address of a POST navigation
  std::string PostData;    // form data; when not empty it is posted instead of showing Html

  const std::string &TempFile() const { return FTempFile; }
  const std::string &InnerHtmlFile() const { return FInnerHtmlFile; }
  // The inner HTML of the last document that completed.
  const std::string &InnerHtml() const { return FInnerHtml; }
  QWebEngineView *WebBrowser() const;

  // Writes the page to a new temporary file and navigates to it; the browser loads it while
  // the program goes on (nothing waits for it to be laid out).
  void ShowHtml(const std::string &text);
  // Processes events until the current document has completed; false when it cannot any
  // more (the browser's page process ended, or the window went).
  bool WaitForPage();
  void PostRequest();
  void FillCssList();
  // Writes the shown page to file_name: the page file's bytes as they are, or the
  // browser's copy of a posted answer. False when it could not be written.
  bool SaveAs(const std::string &file_name);
  // Prints the shown page on the printer (the print and preview commands' step) and waits
  // until it is done; false when the browser could not print it.
  bool PrintPage(QPrinter *printer);

  // Handlers.
  void FormCreate();
  void FormShow();
  void FormClose();
  void bSaveClick();
  void bPreviewClick();
  void bPrintClick();
  void cbCssFileChange();
  void trkZoomChange();
  void btnInnerHTMLViewClick();
  void actExportExcelExecute();
  void actExportCalcExecute();
  void actExportWPSExecute();
  void actExportJustCalcExecute();
  void WebBrowserStatusTextChange(const QString &text);
  void WebBrowserTitleChange(const QString &) {}
  void WebBrowserBeforeNavigate2();
  void WebBrowserNavigateComplete2(const QUrl &url);
  void WebBrowserDocumentComplete(bool ok);
  // The browser's page process ended (out of memory, killed, crashed): reported, and the
  // viewer closes; whatever the program showed elsewhere stays as it was.
  void WebBrowserRenderProcessTerminated(int status);
  void bCloseClick();
  void bSearchClick();
  void bCopyClick();
  void bCopyAllClick();
  void bPageSetupClick();

 protected:
  void showEvent(QShowEvent *e) override;
  void closeEvent(QCloseEvent *e) override;

 private:
  void SetZoom(int position);
  void SetExcelAction(QAction *action);
  // Runs a handler at the window's edge: a failure is shown in a box, never passed on.
  void Guarded(const std::function<void()> &handler);
  void RemoveFile(std::string &file_name);

  std::unique_ptr<Ui::TfrmWebBrowser> ui;
  QMenu *dmCalc = nullptr;
  QAction *FInnerHtmlViewItem = nullptr;
  std::string FTempFile;
  std::string FInnerHtmlFile;
  std::string FInnerHtml;
  QUrl FDocument;  // top-level document of the current navigation
  bool FDone = false;
  bool FLoading = false;
  bool FPageProcessGone = false;
  QPrinter FPrinter;
};
