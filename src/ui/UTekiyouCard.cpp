#include "ui/UTekiyouCard.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QTextCursor>
#include <QTextEdit>
#include <cstring>

#include "components/grid/ExcelUtil.h"
#include "components/QtServices.h"
#include "components/qtext.h"
#include "engine/options.h"
#include "platform/IniFile.h"
#include "platform/cp932.h"
#include "ui/ImageLists.h"
#include "ui_UTekiyouCard.h"

namespace {

bool IsLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// The edit's text as program text, lines ended by CR LF.
std::string EditText(const QTextEdit *edit) {
  QString s = edit->toPlainText();
  s.replace(QChar('\n'), QStringLiteral("\r\n"));
  return FromQ(s);
}

// Character positions in the edit of the given ascending byte offsets of its text: a
// double-byte character and a CR LF pair each count as one position.
std::vector<int> CharPositions(const std::string &text, const std::vector<int> &offsets) {
  std::vector<int> out;
  out.reserve(offsets.size());
  std::size_t i = 0, k = 0;
  int pos = 0;
  while (k < offsets.size()) {
    if (i >= static_cast<std::size_t>(offsets[k])) {
      out.push_back(pos);
      ++k;
      continue;
    }
    if (i >= text.size()) break;
    unsigned char c = static_cast<unsigned char>(text[i]);
    i += (IsLead(c) || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) ? 2 : 1;
    ++pos;
  }
  return out;
}

// The number of characters of a program text as the edit counts them.
int CharLength(const std::string &text) {
  int n = 0;
  for (std::size_t i = 0; i < text.size(); ++n)
    i += (IsLead(static_cast<unsigned char>(text[i])) ||
          (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
             ? 2
             : 1;
  return n;
}

}  // namespace

int FindAllPositions(const std::string &text, const std::string &pattern, std::vector<int> &offsets,
                     int max_count) {
  offsets.clear();
  const std::size_t m = pattern.size();
  if (m == 0) return 0;
  // The text is followed by as many NUL bytes as the pattern is long, so a comparison near
  // the end never reads past it.
  std::string padded = text;
  padded.append(m, '\0');
  std::size_t i = 0;
  while (i < text.size()) {
    if (std::memcmp(padded.data() + i, pattern.data(), m) == 0) {
      // The table is full: further occurrences stay uncoloured.
      if (static_cast<int>(offsets.size()) >= max_count) break;
      offsets.push_back(static_cast<int>(i));
      i += m;
    } else {
      i += IsLead(static_cast<unsigned char>(text[i])) ? 2 : 1;
    }
  }
  return static_cast<int>(offsets.size());
}

TDlgTekiyouCard::TDlgTekiyouCard(QWidget *owner) : QDialog(owner), ui(new Ui::TDlgTekiyouCard) {
  ui->setupUi(this);
  setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setAttribute(Qt::WA_DeleteOnClose);
  connect(ui->bPrev, &QToolButton::clicked, this, &TDlgTekiyouCard::bPrevClick);
  connect(ui->bNext, &QToolButton::clicked, this, &TDlgTekiyouCard::bNextClick);
  connect(ui->bCopy, &QToolButton::clicked, this, &TDlgTekiyouCard::bCopyClick);
  connect(ui->bCopyAll, &QToolButton::clicked, this, &TDlgTekiyouCard::bCopyAllClick);
  connect(ui->bOk, &QPushButton::clicked, this, &TDlgTekiyouCard::bOkClick);
  ui->bOk->installEventFilter(this);
  FormCreate();
}

TDlgTekiyouCard::~TDlgTekiyouCard() = default;

QTextEdit *TDlgTekiyouCard::Memo() const { return ui->Memo; }

void TDlgTekiyouCard::FormCreate() {
  TIniFile ini(OptionData->IniFileName);
  int w = ini.ReadInteger(SEC_WINDOW, "DlgTekiyouCardWidth", width());
  int h = ini.ReadInteger(SEC_WINDOW, "DlgTekiyouCardHeight", height());
  resize(std::max(w, minimumWidth()), std::max(h, 80));
  // The card's tool bar has no 48-pixel images: 3, like any other value, keeps the layout's.
  if (OptionData->BtnImageSize <= 2) {
    const int px = ImageListSize(OptionData->BtnImageSize);
    ui->ToolBar1->setIconSize(QSize(px, px));
  }
  if (parentWidget()) setFont(parentWidget()->window()->font());
}

void TDlgTekiyouCard::showEvent(QShowEvent *e) {
  QDialog::showEvent(e);
  if (!e->spontaneous()) FormShow();
}

void TDlgTekiyouCard::FormShow() {
  const int rows = Grid ? Grid->RowCount() : RowIndex + 1;
  ui->bPrev->setEnabled(RowIndex != 1);
  ui->bNext->setEnabled(RowIndex + 1 != rows);
  ShowRow();
  ui->bOk->setFocus();
}

void TDlgTekiyouCard::done(int Result) {
  // Every way of closing passes here: OK, Escape and the window's close box.
  FormClose();
  QDialog::done(Result);
}

void TDlgTekiyouCard::FormClose() {
  TIniFile ini(OptionData->IniFileName);
  ini.WriteInteger(SEC_WINDOW, "DlgTekiyouCardWidth", width());
  ini.WriteInteger(SEC_WINDOW, "DlgTekiyouCardHeight", height());
}

void TDlgTekiyouCard::ShowRow() {
  ui->Memo->clear();
  FText.clear();
  for (std::size_t i = 0; i < Header.size() && i < Row.size(); ++i)
    if (!Header[i].empty() && !Row[i].empty()) FText += Header[i] + ": " + Row[i] + "\r\n";
  QString s = ToQ(FText);
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  ui->Memo->setPlainText(s);
  HighlightHeaders();
}

void TDlgTekiyouCard::HighlightHeaders() {
  for (const std::string &caption : Header)
    if (!caption.empty()) HighlightAll(ui->Memo, caption + ":");
}

void TDlgTekiyouCard::HighlightAll(QTextEdit *edit, const std::string &text) {
  const std::string content = EditText(edit);
  std::vector<int> offsets;
  if (FindAllPositions(content, text, offsets, kMaxHighlights) > 0) {
    const std::vector<int> starts = CharPositions(content, offsets);
    const int length = CharLength(text);
    QTextCharFormat blue;
    blue.setForeground(QColor(0, 0, 255));
    QTextCursor cursor(edit->document());
    cursor.beginEditBlock();
    for (int start : starts) {
      cursor.setPosition(start);
      cursor.setPosition(start + length, QTextCursor::KeepAnchor);
      cursor.mergeCharFormat(blue);
    }
    cursor.endEditBlock();
  }
  QTextCursor caret = edit->textCursor();
  caret.setPosition(0);
  edit->setTextCursor(caret);
  edit->ensureCursorVisible();
}

void TDlgTekiyouCard::TakeRow() {
  if (Grid) Row = Grid->Rows(RowIndex);
  ShowRow();
}

void TDlgTekiyouCard::bPrevClick() {
  if (RowIndex == 1) return;
  ui->bNext->setEnabled(true);
  --RowIndex;
  if (RowIndex == 1) ui->bPrev->setEnabled(false);
  TakeRow();
}

void TDlgTekiyouCard::bNextClick() {
  if (!Grid || RowIndex + 1 >= Grid->RowCount()) return;
  ui->bPrev->setEnabled(true);
  ++RowIndex;
  if (RowIndex + 1 == Grid->RowCount()) ui->bNext->setEnabled(false);
  TakeRow();
}

void TDlgTekiyouCard::bCopyClick() {
  QString s = ui->Memo->textCursor().selectedText();
  s.replace(QChar(0x2029), QStringLiteral("\r\n"));
  if (!s.isEmpty()) SetClipboardText(FromQ(s));
}

void TDlgTekiyouCard::bCopyAllClick() {
  ui->Memo->selectAll();
  bCopyClick();
  QTextCursor caret = ui->Memo->textCursor();
  caret.setPosition(0);
  ui->Memo->setTextCursor(caret);
}

void TDlgTekiyouCard::bOkClick() { close(); }

void TDlgTekiyouCard::bOkKeyUp(int key) {
  if (key == Qt::Key_Left) bPrevClick();
  else if (key == Qt::Key_Right) bNextClick();
}

bool TDlgTekiyouCard::eventFilter(QObject *watched, QEvent *e) {
  if (watched == ui->bOk && e->type() == QEvent::KeyRelease) {
    auto *k = static_cast<QKeyEvent *>(e);
    if (!k->isAutoRepeat()) bOkKeyUp(k->key());
  }
  return QDialog::eventFilter(watched, e);
}
