// The crop picker of the pest/disease tab: the crops of the current pest result, narrowed
// through the large, middle and small crop groups read from the crop codes, in code or
// reading order. The caller reads the checked crops as comma text after OK.
#pragma once

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

class QComboBox;
namespace Ui {
class frmTabByochuSaku;
}

class TfrmTabByochuSaku : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmTabByochuSaku(QWidget *owner);
  ~TfrmTabByochuSaku() override;

  Ui::frmTabByochuSaku &Form() { return *ui; }

  // Every crop of the result and the large groups; the caller runs it before showing.
  void LoadAllSakumotsu();
  // The checked crops gathered when the picker closed, as comma text.
  std::string GetSelectedSakumotsu() const;

  void ckAllClick();
  void cbLevel0Change();
  void cbLevel1Change();
  void cbLevel2Change();
  void cbOrderChange();
  void FormClose();

  // Every way of closing passes here.
  void done(int Result) override;

 private:
  // The crop list of the crops whose code starts with Prefix, in the chosen order; the
  // two endings close the statement for the code and the reading order.
  void LoadCrops(const std::string &Prefix, const char *IdOrder, const char *RubyOrder);
  // The two-digit code of a group name at a level ("00" when it is not found).
  std::string GroupCode(int Level, int From, const std::string &Name, bool Warn);
  // Refills a group combo with "全て" and the names of the query; empties it without rows.
  bool FillLevel(QComboBox *Combo, const std::string &SQL);
  void ClearLevel(QComboBox *Combo);

  std::unique_ptr<Ui::frmTabByochuSaku> ui;
  std::string FLevel0 = "00", FLevel1 = "00", FLevel2 = "00";
  std::vector<std::string> FResult;
};
