// The crop picker of the main window's crop tab. The user picks crops in the
// classification tree, by a name search, in the crop-group table or in the CVO table; the
// frame writes the picked names as comma text into the main-crop edit or, in the
// adjacent-crop mode, into the adjacent-crop edit. The owner reads the two texts, fills
// the pages once the database is open, and reacts to the frame's notifications.
#pragma once

#include <QFrame>
#include <memory>
#include <string>
#include <vector>

#include "ui/USakumotsuList.h"

class ILogTarget;
class QLineEdit;
class QToolButton;
class QTreeWidgetItem;
namespace Ui {
class fraSakumotsuBase;
}

class TfraSakumotsuBase : public QFrame {
  Q_OBJECT

 public:
  // Reads the frame's settings and creates the program-wide crop list (when there is none).
  explicit TfraSakumotsuBase(QWidget *parent = nullptr);
  // Writes the settings and column widths and frees the crop list it created.
  ~TfraSakumotsuBase() override;

  Ui::fraSakumotsuBase &Form() { return *ui; }
  QToolButton *tbMain() const { return FtbMain; }
  QToolButton *tbKinsetsu() const { return FtbKinsetsu; }
  QToolButton *tbTekiyo() const { return FtbTekiyo; }

  // The log pane; the frame writes its search SQL and trace lines there. May be null.
  void SetLogMemo(ILogTarget *Log) { FLogMemo = Log; }
  // The texts of the main-crop and the adjacent-crop edit, as their change handlers kept them.
  const std::string &Sakumotsu() const { return FSakumotsu; }
  const std::string &KinsetsuSakumotsu() const { return FKinsetsuSakumotsu; }
  // The names of each edit that the frame added only as upper groups of a pick (comma text),
  // as long as the edit still holds them; the search takes them by their own entry only.
  const std::string &SakumotsuUpperOnly() const { return FSakumotsuUpperOnly; }
  const std::string &KinsetsuSakumotsuUpperOnly() const { return FKinsetsuSakumotsuUpperOnly; }
  // The last comma text made from the tree's checks.
  const std::string &TreeSelection() const { return FTreeSelection; }
  bool ForwardMatch() const { return FForwardMatch; }
  // The edit the picks go into: the main-crop edit while tbMain is down.
  QLineEdit *TargetEdit() const;

  // Images by the setting BtnImageSize (0 to 3): the two tool bars' images, the tree's images
  // and indent (SakumotsuTreeIndent) and the heights of bExpand and bCheckALL; another value
  // leaves them alone.
  void ApplyImageSize(int BtnImageSize);

  // Fills after the database has been opened.
  void FillTree();
  void LoadBeppyo1();
  void LoadCvo();
  void LoadCvoFamilies();
  void LoadColumnWidths();
  void SaveColumnWidths();

  // The name search of edtInput (nothing without a database or an input).
  void SearchSakumotsu();
  void ShowSearchResult(const std::string &SQL);
  // The picks of the tree and of the search list into the target edit.
  void CollectTreeChecks();
  void lvSakumotsuCheck();

  // Handlers (the controls' signals are connected to them; tests call them as well).
  void edtInputKeyPress();  // Enter
  void bSearchClick();
  void bCollapseClick();
  void lvBeppyo1Click();
  void lvBeppyo1DblClick();
  void cbLgChange();
  void cbMgChange();
  void cbFamilyChange();
  void lvCVOClick();
  void lvCVODblClick();
  void tbMainClick();
  void tbKinsetsuClick();
  void tbSakuModeResize();
  void eSakumotsuChange();
  void eKinsetsuSakumotsuChange();
  void actTreeExpandExecute();
  void actTreeCheckOffExecute();
  void actSakumotsuListCheckALLExecute();
  void actSakumotsuListCheckOffExecute();
  void actForwardMatchExecute();
  void actBroadMatchExecute();
  void actCheckUpperTreeExecute();
  void actCheckUpperListExecute();
  // The hint over the tree at a viewport position ("" off the nodes); FHintNode follows.
  std::string tvSakumotsuHint(const QPoint &Pos, bool RightButton);
  // Logs the column's width while debugging.
  void lvSakumotsuColumnRightClick(int Column);
  std::string lvSakumotsuInfoTip(QTreeWidgetItem *Item) const;
  // The record of a search-list item (null for none).
  static TSakumotsu *ItemRecord(const QTreeWidgetItem *Item);

 signals:
  // After the frame's own handling of the edits, the tables' double clicks, a key pressed
  // in the tree and the search button.
  void OnSakumotsuChange();
  void OnKinsetsuSakumotsuChange();
  void OnBeppyo1DblClick();
  void OnCVODblClick();
  void OnTreeKeyPress(int Key);
  void OnTekiyoClick();

 protected:
  bool eventFilter(QObject *Watched, QEvent *Event) override;

 private:
  void Log(const std::string &Line) const;
  void SetMode(bool Main);
  void UncheckTree();
  void SetAllListChecks(bool On);
  // The text into the target edit, with the names of it that came in only as upper groups.
  void SetTarget(const std::string &Text, const std::string &UpperOnly = std::string());
  void FreeSearchRecords();

  std::unique_ptr<Ui::fraSakumotsuBase> ui;
  QToolButton *FtbMain = nullptr;
  QToolButton *FtbKinsetsu = nullptr;
  QToolButton *FtbTekiyo = nullptr;
  QToolButton *FbCollapse = nullptr;

  bool FMainMode = true;  // picks go into the main-crop edit
  bool FForwardMatch = true;
  std::string FTreeSelection;
  std::string FSakumotsu;
  std::string FKinsetsuSakumotsu;
  std::string FSakumotsuUpperOnly;
  std::string FKinsetsuSakumotsuUpperOnly;
  QTreeWidgetItem *FHintNode = nullptr;
  ILogTarget *FLogMemo = nullptr;
  bool FOwnsList = false;
  int FUpdating = 0;  // checks set by the frame itself do not collect
  std::vector<std::unique_ptr<TSakumotsu>> FSearchRecords;
};
