// The result-row card: one row of a result grid as lines "caption: value", the captions in
// blue, with steps to the previous and next row and copies of the text. The result windows
// open it modally on a double click or Enter in a data row.
#pragma once

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

class QTextEdit;
class TXlsStringGrid;

namespace Ui {
class TDlgTekiyouCard;
}

// Byte offsets of the occurrences of pattern in text, left to right, never starting on the
// second byte of a double-byte character and never overlapping; at most max_count are
// recorded. Returns how many were recorded.
int FindAllPositions(const std::string &text, const std::string &pattern, std::vector<int> &offsets,
                     int max_count = 2000);

class TDlgTekiyouCard : public QDialog {
  Q_OBJECT

 public:
  // Frees itself when closed.
  explicit TDlgTekiyouCard(QWidget *owner);
  ~TDlgTekiyouCard() override;

  // Set by the caller before showing.
  TXlsStringGrid *Grid = nullptr;
  std::vector<std::string> Header;  // row 0 of the grid
  std::vector<std::string> Row;     // the shown row
  int RowIndex = 1;                 // the shown row's index; the first data row is 1

  QTextEdit *Memo() const;
  // The card's text as shown: one line per column, each ended by CR LF (program text).
  const std::string &Text() const { return FText; }

  void ShowRow();
  void HighlightHeaders();
  // Colours every occurrence of text in the edit blue and puts the caret at the start.
  void HighlightAll(QTextEdit *edit, const std::string &text);

  void FormCreate();
  void FormShow();
  void FormClose();
  // Keeps the size however the card closes.
  void done(int Result) override;
  void bPrevClick();
  void bNextClick();
  void bCopyClick();
  void bCopyAllClick();
  void bOkClick();
  void bOkKeyUp(int key);

  static constexpr int kMaxHighlights = 2000;

 protected:
  void showEvent(QShowEvent *e) override;
  bool eventFilter(QObject *watched, QEvent *e) override;

 private:
  void TakeRow();

  std::unique_ptr<Ui::TDlgTekiyouCard> ui;
  std::string FText;
};
