#include "ui/UWebBrowser.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <csignal>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPointer>
#include <QPrinter>
#include <QSlider>
#include <QToolButton>
#include <QWebEngineView>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "components/DialogServices.h"
#include "components/QtServices.h"
#include "components/qtext.h"
#include "engine/UiServices.h"
#include "engine/options.h"
#include "platform/Automation.h"
#include "platform/IniFile.h"
#include "platform/cp932.h"
#include "support/enginefixture.h"
#include "support/testutil.h"
#include "ui/ShellServices.h"

using namespace cp932::literals;

namespace {

// The browser control cannot use its sandbox or a GPU here; the flags must be set before
// the application object starts (ctest sets them too).
const bool kChromiumFlags = [] {
  setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu", 0);
  return true;
}();

// Processes events until cond holds or 20 s have passed.
template <class Cond>
bool WaitFor(Cond cond) {
  QElapsedTimer t;
  t.start();
  while (!cond() && t.elapsed() < 20000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  return cond();
}

void FlushDeletes() {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QCoreApplication::processEvents();
}

// Settings file and style-sheet folder of the tests, in a fresh folder.
class ViewerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OptionData->IniFileName = home_.str() + "quillmar.ini";
    OptionData->CssFolder = home_.str() + "css";
    OptionData->CssFile = "standard.css";
    OptionData->SpreadSheet = 0;
    std::filesystem::create_directories(home_ / "css");
    saved_developer_ = DeveloperSwitch;
    DeveloperSwitch = false;
  }
  void TearDown() override {
    DeveloperSwitch = saved_developer_;
    FlushDeletes();
  }
  template <class T>
  static T *Part(TfrmWebBrowser *v, const char *name) {
    T *w = v->findChild<T *>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }

  qmtest::TempDir home_;
  qmtest::ScopedEngineState state_;
  bool saved_developer_ = false;
  TScopedRecordingUi ui_;
  TScopedRecordingShell shell_;
  TScopedRecordingDialogs dialogs_;
};

const std::string kMeta = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">";

TEST_F(ViewerTest, ShowsAPageSavesItByteForByteAndLeavesNoFileBehind) {
  QPointer<TfrmWebBrowser> v = new TfrmWebBrowser(nullptr);
  // Mixed line ends become CR LF lines in the page file.
  v->Html = "<html>\n<head>" + kMeta + "</head>\r\n<body><table><tr><td>" + "農薬①ソ"_sj +
            "</td></tr></table></body>\r</html>";
  const std::string file_bytes = "<html>\r\n<head>" + kMeta + "</head>\r\n<body><table><tr><td>" + "農薬①ソ"_sj +
                                 "</td></tr></table></body>\r\n</html>\r\n";
  v->show();  // returns at once; the page loads meanwhile
  ASSERT_TRUE(v->WaitForPage());
  const std::string temp = v->TempFile();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(qmtest::ReadFile(cp932::ToUtf8(temp)), file_bytes);
  EXPECT_EQ(v->windowTitle(), ToQ(temp));
  EXPECT_NE(v->InnerHtml().find("<td>"_sj + "農薬①ソ"_sj + "</td>"), std::string::npos) << v->InnerHtml();

  dialogs_.answers.push_back({true, home_.str() + "saved.html", ""});
  v->bSaveClick();
  EXPECT_EQ(qmtest::ReadFile(home_ / "saved.html"), file_bytes);
  ASSERT_EQ(dialogs_.files.size(), 1u);
  const TFileDialogRequest &asked = dialogs_.files[0].request;
  EXPECT_TRUE(asked.Save);
  EXPECT_TRUE(asked.OverwritePrompt);
  EXPECT_EQ(temp.substr(temp.size() - asked.FileName.size()), asked.FileName);
  v->bSaveClick();  // cancelled: nothing happens
  EXPECT_TRUE(ui_.boxes.empty());

  QPrinter pdf(QPrinter::HighResolution);
  pdf.setOutputFormat(QPrinter::PdfFormat);
  pdf.setOutputFileName(QString::fromStdString((home_ / "page.pdf").string()));
  EXPECT_TRUE(v->PrintPage(&pdf));
  EXPECT_EQ(qmtest::ReadFile(home_ / "page.pdf").substr(0, 5), "%PDF-");

  Part<QSlider>(v, "trkZoom")->setValue(4);
  EXPECT_GT(v->WebBrowser()->zoomFactor(), 1.2);
  v->move(40, 30);
  v->resize(640, 420);
  v->close();
  FlushDeletes();
  EXPECT_TRUE(v.isNull());
  EXPECT_FALSE(std::filesystem::exists(cp932::ToUtf8(temp)));
  TIniFile ini(OptionData->IniFileName);
  EXPECT_EQ(ini.ReadInteger("WINDOW", "WebBrowserWidth", 0), 640);
  EXPECT_EQ(ini.ReadInteger("WINDOW", "WebBrowserHeight", 0), 420);

  // The next viewer takes the stored place and starts at the middle text size.
  auto *next = new TfrmWebBrowser(nullptr);
  EXPECT_EQ(next->size(), QSize(640, 420));
  EXPECT_EQ(Part<QSlider>(next, "trkZoom")->value(), 2);
  EXPECT_DOUBLE_EQ(next->WebBrowser()->zoomFactor(), 1.0);
  delete next;
}

TEST_F(ViewerTest, AStyleSheetChoiceRebuildsThePageFromScriptAndBody) {
  qmtest::WriteFile(home_ / "css" / "b.css", "td {color: blue}\r\n");
  qmtest::WriteFile(home_ / "css" / "a.css", "td {color: red}\np {margin: 0}");
  qmtest::WriteFile(home_ / "css" / "notes.txt", "not a style sheet");
  OptionData->CssFile = "B.CSS";
  auto *v = new TfrmWebBrowser(nullptr);
  QComboBox *cb = Part<QComboBox>(v, "cbCssFile");
  ASSERT_EQ(cb->count(), 2);
  EXPECT_EQ(cb->itemText(0), "a.css");
  EXPECT_EQ(cb->itemText(1), "b.css");
  EXPECT_EQ(cb->currentIndex(), 1);

  v->Html = "<html><head></head><body>old</body></html>";
  v->ScriptHtml = "<script type=\"text/javascript\">\r\nvar x = 1;\r\n</script>";
  v->BodyHtml = "<body>\r\n<p>" + "本文"_sj + "</p>\r\n</body>\r\n";
  v->show();
  const std::string first = v->TempFile();

  cb->setCurrentIndex(0);
  emit cb->activated(0);
  ASSERT_TRUE(v->WaitForPage());
  const std::string page = "<html>\r\n<head>\r\n" + kMeta + "\r\n<style type=\"text/css\">\r\n<!--\r\n" +
                           "td {color: red}\r\np {margin: 0}\r\n-->\r\n</style>\r\n" + v->ScriptHtml +
                           "\r\n</head>\r\n" + v->BodyHtml + "</html>";
  EXPECT_EQ(v->Html, page);
  EXPECT_EQ(OptionData->CssFile, OptionData->CssFolder + "/a.css");
  EXPECT_NE(v->TempFile(), first);
  EXPECT_FALSE(std::filesystem::exists(cp932::ToUtf8(first)));  // the replaced page file is gone
  EXPECT_EQ(qmtest::ReadFile(cp932::ToUtf8(v->TempFile())), page + "\r\n");
  EXPECT_NE(v->InnerHtml().find("<p>"_sj + "本文"_sj + "</p>"), std::string::npos);

  // Left empty by the creator: only the head is shown.
  v->ScriptHtml.clear();
  v->BodyHtml.clear();
  emit cb->activated(0);
  ASSERT_TRUE(v->WaitForPage());
  EXPECT_NE(v->InnerHtml().find("td {color: red}"), std::string::npos);
  EXPECT_EQ(v->InnerHtml().find("本文"_sj), std::string::npos);

  // A style sheet that went away is reported; the page stays as it was.
  std::filesystem::remove(home_ / "css" / "a.css");
  const std::string shown = v->TempFile(), html = v->Html;
  emit cb->activated(0);
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_NE(ui_.boxes[0].text.find("を開けません"_sj), std::string::npos);
  EXPECT_EQ(v->TempFile(), shown);
  EXPECT_EQ(v->Html, html);
  v->close();
  FlushDeletes();
  EXPECT_FALSE(std::filesystem::exists(cp932::ToUtf8(shown)));
}

// A one-address HTTP server on 127.0.0.1 that keeps the first request it is sent.
class PostServer {
 public:
  PostServer() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a);
    listen(fd_, 8);
    socklen_t len = sizeof a;
    getsockname(fd_, reinterpret_cast<sockaddr *>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~PostServer() {
    stop_ = true;
    thread_.join();
    close(fd_);
  }
  int port() const { return port_; }
  std::string First() {
    std::lock_guard<std::mutex> lock(m_);
    return first_;
  }

 private:
  void Run() {
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      int c = accept(fd_, nullptr, nullptr);
      if (c < 0) continue;
      std::string req;
      char buf[4096];
      for (;;) {
        std::size_t head = req.find("\r\n\r\n");
        if (head != std::string::npos) {
          std::size_t cl = req.find("Content-Length: ");
          std::size_t want = cl == std::string::npos ? 0 : std::stoul(req.substr(cl + 16));
          if (req.size() >= head + 4 + want) break;
        }
        pollfd q{c, POLLIN, 0};
        if (poll(&q, 1, 2000) <= 0) break;
        ssize_t n = read(c, buf, sizeof buf);
        if (n <= 0) break;
        req.append(buf, static_cast<std::size_t>(n));
      }
      bool post = req.rfind("POST ", 0) == 0;
      {
        std::lock_guard<std::mutex> lock(m_);
        if (post && first_.empty()) first_ = req;
      }
      std::string body = post ? "<html><body><p>answer</p></body></html>" : "";
      std::string reply = std::string(post ? "HTTP/1.0 200 OK" : "HTTP/1.0 404 Not Found") +
                          "\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
                          "\r\nConnection: close\r\n\r\n" + body;
      (void)!write(c, reply.data(), reply.size());
      close(c);
    }
  }
  int fd_ = -1, port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex m_;
  std::string first_;
};

TEST_F(ViewerTest, PostDataIsPostedWithoutAPageFile) {
  PostServer server;
  auto *v = new TfrmWebBrowser(nullptr);
  v->setWindowTitle(ToQ("検索"_sj));
  v->PostUrl = QString("http://127.0.0.1:%1/search").arg(server.port());
  v->PostData = "key=%82%A0&mode=1";
  v->Html = "<html><body>not shown</body></html>";
  v->show();
  ASSERT_TRUE(WaitFor([&] { return v->InnerHtml().find("answer") != std::string::npos; })) << v->InnerHtml();
  const std::string req = server.First();
  EXPECT_EQ(req.rfind("POST /search HTTP/1.1\r\n", 0), 0u) << req;
  EXPECT_NE(req.find("\r\nContent-Type: application/x-www-form-urlencoded\r\n"), std::string::npos) << req;
  EXPECT_EQ(req.substr(req.size() - v->PostData.size()), v->PostData);
  EXPECT_TRUE(v->TempFile().empty());
  EXPECT_EQ(v->windowTitle(), ToQ("検索"_sj));
  // The answer has no page file: the browser writes its copy.
  EXPECT_TRUE(v->SaveAs(home_.str() + "answer.html"));
  EXPECT_NE(qmtest::ReadFile(home_ / "answer.html").find("<p>answer</p>"), std::string::npos);
  delete v;
}

TEST_F(ViewerTest, MinimisedViewerHandsItsPageToTheSpreadsheets) {
  TScopedRecordingAutomation ole;
  ole.startable = {"Excel.Application", "JustCalc.Application"};
  OptionData->SpreadSheet = 3;
  auto *v = new TfrmWebBrowser(nullptr);
  QToolButton *btn = Part<QToolButton>(v, "btnExcel");
  EXPECT_EQ(btn->defaultAction(), Part<QAction>(v, "actExportJustCalc"));
  v->Html = "<html><head>" + kMeta + "</head><body><table><tr><td>" + "稲"_sj + "</td></tr></table></body></html>";
  v->showMinimized();
  ASSERT_TRUE(v->WaitForPage());
  const std::string temp = v->TempFile(), inner = v->InnerHtml();
  ASSERT_NE(inner.find("<td>"_sj + "稲"_sj + "</td>"), std::string::npos) << inner;

  v->actExportExcelExecute();
  EXPECT_EQ(ClipboardText(), inner);
  EXPECT_EQ(btn->defaultAction(), Part<QAction>(v, "actExportExcel"));
  ASSERT_GE(ole.lines.size(), 2u);
  EXPECT_EQ(ole.lines[0], "CreateOleObject(\"Excel.Application\")");
  EXPECT_EQ(ole.lines.back(), "WorkBooks.Add.WorkSheets(1).Range(\"A1\").Select()");

  ole.lines.clear();
  v->actExportJustCalcExecute();
  EXPECT_EQ(qmtest::ReadFile(cp932::ToUtf8(temp)), "<html>\r\n" + inner + "\r\n</html>\r\n");
  EXPECT_EQ(ole.lines, (std::vector<std::string>{
                           "CreateOleObject(\"JustCalc.Application\")",
                           "Visible := True",
                           "WorkBooks.Open(\"" + temp + "\").WorkSheets(1).Activate()",
                           "WorkBooks.Open(\"" + temp + "\").WorkSheets(1).Range(\"A1\").Select()",
                       }));
  EXPECT_TRUE(ui_.boxes.empty());

  // Freed by its creator without closing: the page file goes too.
  delete v;
  EXPECT_FALSE(std::filesystem::exists(cp932::ToUtf8(temp)));
}

TEST_F(ViewerTest, ExportsWithoutAPageFileOrProgram) {
  TScopedRecordingAutomation ole;
  auto *v = new TfrmWebBrowser(nullptr);
  v->Html = "<html><body>x</body></html>";
  v->showMinimized();
  ASSERT_TRUE(v->WaitForPage());
  std::filesystem::remove(cp932::ToUtf8(v->TempFile()));
  v->actExportJustCalcExecute();  // the page file is gone: nothing to open
  EXPECT_TRUE(ole.lines.empty());
  // The office suite cannot be reached: the failure is shown, not passed on.
  emit Part<QAction>(v, "actExportCalc")->triggered();
  EXPECT_EQ(ole.lines, (std::vector<std::string>{"CreateOleObject(\"com.sun.star.ServiceManager\") -> EOleSysError"}));
  ASSERT_EQ(ui_.boxes.size(), 1u);
  // It says which program did not start, not the system's text about a class string.
  EXPECT_EQ(ui_.boxes[0].text, "OpenOffice Calc の起動もしくは処理に失敗しました"_sj);
  EXPECT_EQ(ui_.busy_depth, 0);
  delete v;
}

TEST_F(ViewerTest, APageProcessThatEndsIsReportedAndTheViewerCloses) {
  QPointer<TfrmWebBrowser> v = new TfrmWebBrowser(nullptr);
  v->Html = "<html><body>x</body></html>";
  v->show();
  ASSERT_TRUE(v->WaitForPage());
  const std::string temp = v->TempFile();
  const qint64 pid = v->WebBrowser()->page()->renderProcessPid();
  ASSERT_GT(pid, 0);
  ::kill(static_cast<pid_t>(pid), SIGKILL);
  ASSERT_TRUE(WaitFor([&] { return !ui_.boxes.empty(); }));
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(cp932::ToUtf8(ui_.boxes[0].text),
            "ブラウザーがページの表示を続けられなくなりました(メモリー不足の可能性があります)。\r\n"
            "ページを閉じます。検索結果はそのまま残っています。");
  FlushDeletes();
  EXPECT_TRUE(v.isNull());
  EXPECT_FALSE(std::filesystem::exists(cp932::ToUtf8(temp)));
}

// A place stored on a monitor that is gone opens the viewer on the screen (800 x 800 here).
TEST_F(ViewerTest, AStoredPlaceOffTheScreenOpensOnIt) {
  TIniFile ini(OptionData->IniFileName);
  ini.WriteInteger("WINDOW", "WebBrowserLeft", -5000);
  ini.WriteInteger("WINDOW", "WebBrowserTop", 90000);
  ini.WriteInteger("WINDOW", "WebBrowserWidth", 640);
  ini.WriteInteger("WINDOW", "WebBrowserHeight", 420);
  auto *v = new TfrmWebBrowser(nullptr);
  EXPECT_EQ(QRect(v->pos(), v->size()), QRect(0, 380, 640, 420));
  delete v;
}

TEST_F(ViewerTest, IsATopLevelWindowFreedWithItsOwner) {
  auto *owner = new QWidget;
  QPointer<TfrmWebBrowser> v = new TfrmWebBrowser(owner);
  EXPECT_EQ(v->parentWidget(), nullptr);  // its own task-bar button
  v->Html = "<html><body>x</body></html>";
  v->show();
  const std::string temp = v->TempFile();
  delete owner;
  FlushDeletes();
  EXPECT_TRUE(v.isNull());
  EXPECT_FALSE(std::filesystem::exists(cp932::ToUtf8(temp)));
}

TEST_F(ViewerTest, DeveloperInnerHtmlViewKeepsOneFile) {
  auto *plain = new TfrmWebBrowser(nullptr);
  plain->show();
  EXPECT_FALSE(Part<QToolButton>(plain, "btnInnerHTMLView")->isVisible());
  EXPECT_TRUE(Part<QToolButton>(plain, "bSave")->isVisible());
  delete plain;

  DeveloperSwitch = true;
  QPointer<TfrmWebBrowser> v = new TfrmWebBrowser(nullptr);
  v->Html = "<html><body><b>"_sj + "稲"_sj + "</b></body></html>";  // no encoding named
  v->show();
  ASSERT_TRUE(v->WaitForPage());
  EXPECT_NE(v->InnerHtml().find("<b>"_sj + "稲"_sj + "</b>"), std::string::npos) << v->InnerHtml();
  EXPECT_TRUE(Part<QToolButton>(v, "btnInnerHTMLView")->isVisible());
  v->btnInnerHTMLViewClick();
  const std::string first = v->InnerHtmlFile();
  EXPECT_EQ(qmtest::ReadFile(cp932::ToUtf8(first)), v->InnerHtml());
  v->btnInnerHTMLViewClick();
  const std::string second = v->InnerHtmlFile();
  EXPECT_FALSE(std::filesystem::exists(cp932::ToUtf8(first)));
  EXPECT_NE(second, v->TempFile());
  ASSERT_EQ(shell_.calls.size(), 2u);
  EXPECT_EQ(shell_.calls[1].verb, "edit");
  EXPECT_EQ(shell_.calls[1].file, second);
  v->close();
  FlushDeletes();
  EXPECT_FALSE(std::filesystem::exists(cp932::ToUtf8(second)));
}

}  // namespace
