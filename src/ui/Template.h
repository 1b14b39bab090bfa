// The fixed-procedure pane of the main window ("定型処理"): a template file (.tpl) is shown
// in the browser control, one argument row appears for each argument its SQL names, the
// pickers fill them, and the expanded SQL runs into the pane's own result grid or goes to
// the SQL pane. Argument values are saved to and loaded from argument files (.arg).
//
// The SQL and the defaults are read from the template file's own bytes: the browser only
// shows the page (its parser would turn "<yoto>" into an element and "<" into an entity).
#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "engine/TemplateExpand.h"

namespace Ui {
class frmTemplate;
}
class ILogTarget;
class QDialog;
class QPushButton;
class TXlsStringGrid;

class TfrmTemplate : public QWidget {
  Q_OBJECT

 public:
  // owner is the main window: the pane takes its log pane ("mLog") and places its pickers
  // over it.
  explicit TfrmTemplate(QWidget *owner);
  ~TfrmTemplate() override;
  Ui::frmTemplate &Form() { return *ui; }
  TXlsStringGrid *gdTemplate() const;

  // What the pane asks of the main window (set by it; each may be empty).
  struct THost {
    // Sizes the result grid's columns; false when a stop of the run (the window closes)
    // ended it, and the grid is not to be shown.
    std::function<bool(TXlsStringGrid &grid)> AdjustGridColumnWidths;
    // A run filled the grid: the count text ("12件") of the current tab, status panels 2
    // and 3, the output commands enabled.
    std::function<void(const std::string &countText)> ShowResultCount;
    // The SQL goes into the SQL pane's editor and the SQL tab is shown.
    std::function<void(const std::string &sql)> SendToSqlPane;
    // Runs a command that fills the grid, unless a search or fill of the window is under way.
    std::function<void(const std::function<void()> &command)> RunExclusive;
    // The window's search panels and output commands off while the grid fills, and on again.
    std::function<void(bool enabled)> SetSearchPanelsEnabled;
  } Host;

  // The loaded template file's text (CR LF line ends) and name; empty before a load.
  const std::string &Document() const { return FDocument; }
  const std::string &FileName() const { return FFileName; }

  // The argument inputs (program text), in the fixed order.
  std::string InputText(int index) const;
  void SetInputText(int index, const std::string &text);
  int ArgState(int index) const { return FStates[index]; }
  bool ArgShown(int index) const;

  void ClearArgs();
  void SetControlsEnabled(bool on);
  // Opens the file as the current template (what loading does once a file is chosen).
  bool LoadTemplateFile(const std::string &path);
  // Puts the argument file's values into the shown inputs.
  void LoadArgFile(const std::string &path);
  void PrepareTemplate(const std::string &document);
  std::string ExpandTemplate() const;

  // Handlers.
  void FormCreate();
  void btnTplLoadClick();
  void btnTplArgLoadClick();
  void btnTplArgSaveClick();
  void btnTplExecClick();
  void btnTplEditClick();
  void btnTplSakumotsuClick();
  void btnTplByochuClick();
  void btnTplYotoClick();
  void btnTplZaikeiClick();
  void wbTemplateDocumentComplete(const std::string &url);

 private:
  struct TArgRow {
    QWidget *Panel = nullptr;
    QWidget *Input = nullptr;
    QWidget *Splitter = nullptr;
  };
  void Log(const std::string &line) const;
  // The open dialog of the template folder under the button; the chosen path or nothing.
  std::string ChooseFileToOpen(const std::string &Title, const std::string &Kind, const char *Ext,
                               const QWidget *Button);
  TTemplateArgs Args() const;
  void OpenTickList(QDialog &dialog, int index, QPushButton *button);
  // Runs a picker that writes into an edit on behalf of a memo input.
  void RunEditPicker(QDialog &dialog, int index, const std::function<void(class QLineEdit *)> &setTarget);

  std::unique_ptr<Ui::frmTemplate> ui;
  std::array<TArgRow, kTemplateArgCount> FRows;
  std::array<int, kTemplateArgCount> FStates{};
  QWidget *FLowerSpace = nullptr;
  ILogTarget *FLog = nullptr;
  std::string FDocument;
  std::string FFileName;
};

// The hint page shown while no template is loaded.
std::string TemplateHintPage();
