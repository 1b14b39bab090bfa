#include "ui/Template.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QUrl>
#include <QWebEngineView>

#include "components/CheckListBoxEx.h"
#include "components/DialogServices.h"
#include "components/grid/ExcelUtil.h"
#include "components/QtServices.h"
#include "components/qtext.h"
#include "engine/Exception.h"
#include "engine/SakuUtil.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "ui/DlgArgSave.h"
#include "ui/DlgByochu.h"
#include "ui/DlgYoto.h"
#include "ui/DlgZaikei.h"
#include "ui/LogMemo.h"
#include "ui/PickerPlacement.h"
#include "ui/UOption.h"
#include "ui/USakumotsuSel.h"
#include "ui/main.h"
#include "ui_DlgArgSave.h"
#include "ui_DlgByochu.h"
#include "ui_Template.h"

using namespace cp932::literals;

namespace {

// The component-name part of each argument row, in the fixed order.
const char *const kRowNames[kTemplateArgCount] = {"Sakumotsu", "Byochu", "Yoto", "Zaikei", "Sonota"};

const char *const kByochuWidthKey = "DlgTplByochuWidth";
const char *const kByochuHeightKey = "DlgTplByochuHeight";
const char *const kByochuCropListKey = "DlgTplByochuSakumotsuListboxHeight";

// The file dialogs of the pane open under the button that asked for them.
TDlgPosition BelowButton(const QWidget *button) {
  const QPoint at = button->mapToGlobal(QPoint(0, button->height()));
  TDlgPosition p;
  p.Option = dpDesigned;
  p.X = at.x();
  p.Y = at.y();
  return p;
}

}  // namespace

std::string TemplateHintPage() {
  return cp932::FromUtf8(
      "<!DOCTYPE HTML>\r\n<html lang=\"ja\">\r\n<head>\r\n<meta charset=\"UTF-8\">\r\n<style type=\"text/css\">\r\n"
      "body { font-size: 87.5%; }\r\n"
      "span.button { display: inline-block; padding: 1px 8px; margin: 0 2px; background: #e0e0e0;"
      " border: 2px outset #f0f0f0; color: #000; }\r\n"
      "</style>\r\n</head>\r\n<body>\r\n"
      "<span class=\"button\">テンプレート選択</span>をクリックして、実行したい処理を選択してください。\r\n"
      "</body>\r\n</html>");
}

TfrmTemplate::TfrmTemplate(QWidget *owner) : QWidget(owner), ui(std::make_unique<Ui::frmTemplate>()) {
  ui->setupUi(this);
  connect(ui->btnTplLoad, &QPushButton::clicked, this, [this] { RunGuarded([this] { btnTplLoadClick(); }); });
  connect(ui->btnTplArgLoad, &QPushButton::clicked, this, [this] { RunGuarded([this] { btnTplArgLoadClick(); }); });
  connect(ui->btnTplArgSave, &QPushButton::clicked, this, [this] { RunGuarded([this] { btnTplArgSaveClick(); }); });
  connect(ui->btnTplExec, &QPushButton::clicked, this, [this] {
    const auto run = [this] { RunGuarded([this] { btnTplExecClick(); }); };
    if (Host.RunExclusive) Host.RunExclusive(run);
    else run();
  });
  connect(ui->btnTplEdit, &QPushButton::clicked, this, [this] { RunGuarded([this] { btnTplEditClick(); }); });
  connect(ui->btnTplSakumotsu, &QPushButton::clicked, this,
          [this] { RunGuarded([this] { btnTplSakumotsuClick(); }); });
  connect(ui->btnTplByochu, &QPushButton::clicked, this, [this] { RunGuarded([this] { btnTplByochuClick(); }); });
  connect(ui->btnTplYoto, &QPushButton::clicked, this, [this] { RunGuarded([this] { btnTplYotoClick(); }); });
  connect(ui->btnTplZaikei, &QPushButton::clicked, this, [this] { RunGuarded([this] { btnTplZaikeiClick(); }); });
  FormCreate();
}

TfrmTemplate::~TfrmTemplate() = default;

TXlsStringGrid *TfrmTemplate::gdTemplate() const { return ui->gdTemplate; }

void TfrmTemplate::FormCreate() {
  for (int i = 0; i < kTemplateArgCount; ++i) {
    const QString name = QString::fromLatin1(kRowNames[i]);
    FRows[i].Panel = findChild<QWidget *>("pnlTpl" + name);
    FRows[i].Input = findChild<QWidget *>("edtTpl" + name);
    FRows[i].Splitter = findChild<QWidget *>("splTpl" + name);  // only the memo rows have one
    FRows[i].Panel->hide();
    if (FRows[i].Splitter) FRows[i].Splitter->hide();
    // A memo row starts three lines high; its splitter changes that.
    if (qobject_cast<QPlainTextEdit *>(FRows[i].Input))
      FRows[i].Panel->setFixedHeight(QFontMetrics(font()).lineSpacing() * 3 + 12);
  }
  FLowerSpace = findChild<QWidget *>("pnlTplLowerSpace");
  FLowerSpace->hide();
  wbTemplateDocumentComplete("about:blank");
  if (parentWidget()) FLog = parentWidget()->window()->findChild<TLogMemo *>("mLog");
  ui->pagTemplate->setCurrentWidget(ui->tshTplSource);
  ui->pagTemplate->setTabEnabled(ui->pagTemplate->indexOf(ui->tshTplResult), false);
  ui->gdTemplate->hide();
  for (QWidget *b : {ui->btnTplArgSave, ui->btnTplExec, ui->btnTplEdit}) b->setEnabled(false);
  if (OptionData->TabletMode)
    ui->pagTemplate->setStyleSheet(QStringLiteral("QTabBar::tab { height: %1px; }").arg(OptionData->TabletTabHeight));
}

// ---------------------------------------------------------------- arguments

std::string TfrmTemplate::InputText(int index) const {
  QWidget *w = FRows[index].Input;
  if (auto *memo = qobject_cast<QPlainTextEdit *>(w))
    return ReplaceAllText(FromQ(memo->toPlainText()), "\n", "\r\n");
  if (auto *edit = qobject_cast<QLineEdit *>(w)) return FromQ(edit->text());
  return std::string();
}

void TfrmTemplate::SetInputText(int index, const std::string &text) {
  QWidget *w = FRows[index].Input;
  if (auto *memo = qobject_cast<QPlainTextEdit *>(w))
    memo->setPlainText(ToQ(ReplaceAllText(text, "\r\n", "\n")));
  else if (auto *edit = qobject_cast<QLineEdit *>(w))
    edit->setText(ToQ(text));
}

bool TfrmTemplate::ArgShown(int index) const { return !FRows[index].Panel->isHidden(); }

void TfrmTemplate::ClearArgs() {
  for (int i = 0; i < kTemplateArgCount; ++i) SetInputText(i, std::string());
}

void TfrmTemplate::SetControlsEnabled(bool on) {
  ui->pnlTplButtons->setEnabled(on);
  for (const TArgRow &row : FRows) row.Panel->setEnabled(on);
  for (QWidget *b : {ui->btnTplLoad, ui->btnTplArgLoad, ui->btnTplArgSave, ui->btnTplExec, ui->btnTplEdit,
                     ui->btnTplSakumotsu, ui->btnTplByochu, ui->btnTplYoto, ui->btnTplZaikei})
    b->setEnabled(on);
}

TTemplateArgs TfrmTemplate::Args() const {
  TTemplateArgs a;
  for (int i = 0; i < kTemplateArgCount; ++i) a.Inputs[i] = InputText(i);
  return a;
}

std::string TfrmTemplate::ExpandTemplate() const { return ::ExpandTemplate(FDocument, Args()); }

void TfrmTemplate::Log(const std::string &line) const {
  if (FLog) FLog->AddLine(line);
}

// ---------------------------------------------------------------- the template

void TfrmTemplate::wbTemplateDocumentComplete(const std::string &url) {
  if (url == "about:blank") {
    ui->wbTemplate->setHtml(ToQ(TemplateHintPage()), QUrl(QStringLiteral("about:blank")));
    return;
  }
  PrepareTemplate(FDocument);
}

void TfrmTemplate::PrepareTemplate(const std::string &document) {
  const TPreparedTemplate t = ::PrepareTemplate(document);
  for (int i = 0; i < kTemplateArgCount; ++i) {
    FStates[i] = t.States[i];
    const bool shown = t.States[i] > 0;
    if (shown) SetInputText(i, t.Defaults[i]);
    FRows[i].Panel->setVisible(shown);
    if (FRows[i].Splitter) FRows[i].Splitter->setVisible(shown);
  }
  FLowerSpace->setVisible(t.AnyShown());
}

bool TfrmTemplate::LoadTemplateFile(const std::string &path) {
  std::string text;
  if (!ReadTemplateText(path, text)) {
    MsgBox(path + " を読み込めません"_sj, "エラー"_sj, MB_OK | MB_ICONERROR);
    return false;
  }
  FDocument = text;
  FFileName = path;
  // Given by its bytes as an HTML page: the browser would take a ".tpl" file for plain text
  // and show its markup. The page's own charset declaration still applies, and its scripts
  // and style sheets are found beside the file.
  ui->wbTemplate->setContent(QByteArray(text.data(), qsizetype(text.size())), QStringLiteral("text/html"),
                             QUrl::fromLocalFile(ToQ(path)));
  wbTemplateDocumentComplete(path);
  ui->pagTemplate->setCurrentWidget(ui->tshTplSource);
  for (QWidget *b : {ui->btnTplArgSave, ui->btnTplExec, ui->btnTplEdit}) b->setEnabled(true);
  return true;
}

std::string TfrmTemplate::ChooseFileToOpen(const std::string &Title, const std::string &Kind, const char *Ext,
                                           const QWidget *Button) {
  TFileDialogRequest r;
  r.Owner = this;
  r.Title = Title;
  r.Filter = Kind + "(*." + Ext + ")|*." + Ext + "|" + "全てのファイル(*.*)|*.*"_sj;
  r.DefaultExt = Ext;
  r.InitialDir = OptionData->TemplateFolder;
  r.Position = BelowButton(Button);
  const TDialogAnswer a = DialogServices().FileDialog(r);
  return a.Ok ? a.Path : std::string();
}

void TfrmTemplate::btnTplLoadClick() {
  if (!AcisDB) return;
  const std::string path = ChooseFileToOpen("定型処理テンプレートファイル読込"_sj, "定型処理テンプレートファイル"_sj, "tpl", ui->btnTplLoad);
  if (!path.empty()) LoadTemplateFile(path);
}

// ---------------------------------------------------------------- running

void TfrmTemplate::btnTplExecClick() {
  if (!AcisDB) return;
  const std::string sql = ExpandTemplate();
  if (sql.empty()) return;
  SetControlsEnabled(false);
  if (Host.SetSearchPanelsEnabled) Host.SetSearchPanelsEnabled(false);
  struct Restore {
    TfrmTemplate *pane;
    ~Restore() {
      pane->SetControlsEnabled(true);
      if (pane->Host.SetSearchPanelsEnabled) pane->Host.SetSearchPanelsEnabled(true);
    }
  } restore{this};
  Log("SQL>" + sql);
  TBusyCursor busy;
  try {
    AcisDB->SetMultiStatement(true);
    TXlsStringGrid *gd = ui->gdTemplate;
    if (!AcisDB->SetGrid(*gd, sql)) return;  // the failure or the empty result has been shown
    const int rows = gd->RowCount() - gd->FixedRows();
    // The result page is shown first: the widths are judged against the grid's size on it.
    ui->pagTemplate->setTabEnabled(ui->pagTemplate->indexOf(ui->tshTplResult), true);
    ui->pagTemplate->setCurrentWidget(ui->tshTplResult);
    if (Host.AdjustGridColumnWidths && !Host.AdjustGridColumnWidths(*gd)) return;
    gd->show();
    if (Host.ShowResultCount) Host.ShowResultCount(std::to_string(rows) + "件"_sj);
  } catch (const Exception &e) {
    Log(e.Message());
  }
}

void TfrmTemplate::btnTplEditClick() {
  const std::string sql = ExpandTemplate();
  if (!sql.empty() && Host.SendToSqlPane) Host.SendToSqlPane(sql);
}

// ---------------------------------------------------------------- pickers

void TfrmTemplate::RunEditPicker(QDialog &dialog, int index, const std::function<void(QLineEdit *)> &setTarget) {
  // The crop and pest pickers write into an edit; the memo's text goes through one.
  QLineEdit proxy(this);
  proxy.hide();
  const QString before = ToQ(InputText(index)).replace(QStringLiteral("\r\n"), QStringLiteral(" "));
  proxy.setText(before);
  setTarget(&proxy);
  TfrmMain::ShowModal(&dialog);
  if (proxy.text() != before) SetInputText(index, FromQ(proxy.text()));
}

void TfrmTemplate::btnTplSakumotsuClick() {
  TDlgSakumotsu dlg(this);
  dlg.LogMemo = FLog;
  dlg.Mode = 3;
  PlaceBelowControl(&dlg, ui->btnTplSakumotsu);
  RunEditPicker(dlg, 0, [&](QLineEdit *target) { dlg.SetTarget(target); });
}

void TfrmTemplate::btnTplByochuClick() {
  TfrmByochu dlg(this);
  Ui::frmByochu &f = dlg.Form();
  ReadWindowSize(&dlg, kByochuWidthKey, kByochuHeightKey);
  const int list_height = ProgramIni().ReadInteger(SEC_WINDOW, kByochuCropListKey, 0);
  if (list_height > 0) {
    const int above = f.pnlInput->sizeHint().height() + f.laypnlCrop->spacing();
    const int total = dlg.height() - f.Panel1->sizeHint().height();
    f.Splitter1->setSizes({list_height + above, std::max(0, total - list_height - above)});
  }
  const std::string crops = ReplaceAllText(InputText(0), "'", "");
  if (!crops.empty()) {
    f.edtInput->setText(ToQ(crops));
    dlg.SearchSakumotsu();
  }
  PlaceBelowControl(&dlg, ui->btnTplByochu);
  RunEditPicker(dlg, 1, [&](QLineEdit *target) { dlg.Target = target; });
  // Sizes are kept only from a picker that was on the screen.
  if (dlg.windowHandle()) {
    WriteWindowSize(&dlg, kByochuWidthKey, kByochuHeightKey);
    ProgramIni().WriteInteger(SEC_WINDOW, kByochuCropListKey, f.lstSakumotsu->height());
  }
}

void TfrmTemplate::OpenTickList(QDialog &dialog, int index, QPushButton *button) {
  auto &list = static_cast<TTickListDlg &>(dialog);
  list.CheckNames(InputText(index));
  PlaceBelowControl(&dialog, button);
  TfrmMain::ShowModal(&dialog);
  if (dialog.result() == QDialog::Accepted) SetInputText(index, list.GetSelection());
}

void TfrmTemplate::btnTplYotoClick() {
  TfrmYoto dlg(this);
  OpenTickList(dlg, 2, ui->btnTplYoto);
}

void TfrmTemplate::btnTplZaikeiClick() {
  TfrmZaikei dlg(this);
  OpenTickList(dlg, 3, ui->btnTplZaikei);
}

// ---------------------------------------------------------------- argument files

void TfrmTemplate::btnTplArgLoadClick() {
  if (!AcisDB) return;
  const std::string path = ChooseFileToOpen("定型処理設定ファイル読込"_sj, "定型処理設定ファイル"_sj, "arg", ui->btnTplArgLoad);
  if (!path.empty()) LoadArgFile(path);
}

void TfrmTemplate::LoadArgFile(const std::string &path) {
  std::string text;
  if (!ReadTemplateText(path, text)) {
    MsgBox(path + " を読み込めません"_sj, "エラー"_sj, MB_OK | MB_ICONERROR);
    return;
  }
  const std::vector<std::string> lines = NormalizeArgList(text);
  for (int i = 0; i < kTemplateArgCount; ++i) {
    bool found = false;
    const std::string value = ArgListValue(lines, TemplateArgNames[i], &found);
    if (!found || !ArgShown(i)) continue;
    SetInputText(i, value == "''" || value == "\"\"" ? std::string() : value);
  }
}

void TfrmTemplate::btnTplArgSaveClick() {
  TDlgArgSave dlg(this);
  dlg.setFont(font());
  dlg.setWindowTitle(ToQ("定型処理設定保存"_sj));
  dlg.Form().lblNavi->setText(ToQ("この内容で保存しますか？"_sj));
  std::vector<std::string> lines;
  for (int i = 0; i < kTemplateArgCount; ++i)
    if (ArgShown(i)) lines.push_back(ArgFileLine(i, InputText(i)));
  dlg.SetLines(lines);
  PlaceBelowControl(&dlg, ui->btnTplArgSave);
  TfrmMain::ShowModal(&dlg);
}
