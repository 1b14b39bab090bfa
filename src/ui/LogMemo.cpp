#include "ui/LogMemo.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QScrollBar>
#include <QTextBlock>
#include <fstream>

#include "components/DialogServices.h"
#include "components/QtServices.h"
#include "components/qtext.h"
#include "platform/cp932.h"
#include "platform/fspath.h"

using namespace cp932::literals;

TLogMemo::TLogMemo(QWidget *parent) : QPlainTextEdit(parent) {
  setReadOnly(true);
  // A vertical scroll bar only: long lines (SQL) wrap, so that every line shows its start.
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // The pane's own look until the settings give another: silver, a small Japanese font.
  QPalette pal = palette();
  pal.setColor(QPalette::Base, QColor(0xC0, 0xC0, 0xC0));
  setPalette(pal);
  QFont f = font();
  f.setPixelSize(12);
  setFont(f);

  pmnLog = new QMenu(this);
  pmnLog->setObjectName("pmnLog");
  pmnLogCopy = pmnLog->addAction(ToQ("コピー"_sj), this, &TLogMemo::pmnLogCopyClick);
  pmnLogCopy->setObjectName("pmnLogCopy");
  pmnLogCopy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
  pmnLogSelectAll = pmnLog->addAction(ToQ("全て選択"_sj), this, &TLogMemo::pmnLogSelectAllClick);
  pmnLogSelectAll->setObjectName("pmnLogSelectAll");
  pmnLogSelectAll->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
  pmnLogSave = pmnLog->addAction(ToQ("ファイル保存"_sj), this, &TLogMemo::pmnLogSaveClick);
  pmnLogSave->setObjectName("pmnLogSave");
  pmnLogSave->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  for (QAction *a : pmnLog->actions()) a->setShortcutContext(Qt::WidgetShortcut);
  addActions(pmnLog->actions());
}

void TLogMemo::AddLog(const std::string &text) {
  // One block per line; CR LF (or a lone LF) inside the text starts a new line.
  std::string t;
  t.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    t += text[i];
  }
  setUpdatesEnabled(false);
  appendPlainText(ToQ(t));
  setUpdatesEnabled(true);
  QTextCursor c = textCursor();
  c.movePosition(QTextCursor::End);
  setTextCursor(c);
  ensureCursorVisible();
}

std::vector<std::string> TLogMemo::Lines() const {
  std::vector<std::string> out;
  if (document()->isEmpty()) return out;
  for (QTextBlock b = document()->begin(); b.isValid(); b = b.next()) out.push_back(FromQ(b.text()));
  return out;
}

void TLogMemo::Clear() { clear(); }

void TLogMemo::pmnLogPopup() { pmnLogCopy->setEnabled(textCursor().hasSelection()); }

void TLogMemo::pmnLogCopyClick() {
  if (!textCursor().hasSelection()) return;
  // The selection's paragraph separators become CR LF, as the memo's own text has them.
  QString s = textCursor().selectedText();
  s.replace(QChar(0x2029), QStringLiteral("\r\n"));
  SetClipboardText(FromQ(s));
}

void TLogMemo::pmnLogSelectAllClick() { selectAll(); }

bool TLogMemo::SaveToFile(const std::string &path) const {
  std::ofstream f(FsPath(path), std::ios::binary | std::ios::trunc);
  if (!f) return false;
  for (const std::string &line : Lines()) f << line << "\r\n";
  f.flush();
  return static_cast<bool>(f);
}

void TLogMemo::pmnLogSaveClick() {
  TFileDialogRequest r;
  r.Save = true;
  r.Owner = this;
  r.DefaultExt = "txt";
  r.OverwritePrompt = true;
  TDialogAnswer a = DialogServices().FileDialog(r);
  if (!a.Ok || a.Path.empty()) return;
  if (!SaveToFile(a.Path)) ErrorBox(a.Path + " に書き込めません"_sj);
}

void TLogMemo::keyPressEvent(QKeyEvent *e) {
  // mLogKeyDown: Ctrl+C copies the selection.
  if (e->modifiers() == Qt::ControlModifier && e->key() == Qt::Key_C) {
    pmnLogCopyClick();
    return;
  }
  QPlainTextEdit::keyPressEvent(e);
}

void TLogMemo::contextMenuEvent(QContextMenuEvent *e) {
  pmnLogPopup();
  pmnLog->exec(e->globalPos());
}
