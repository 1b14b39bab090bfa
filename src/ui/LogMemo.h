// The log pane: the main window's read-only memo of plain lines (no time stamps), into which
// the main window, the query object, the data-source service, the update window and the
// crop-selection frame write. A text holding CR LF becomes several lines. Its popup menu
// copies the selection, selects everything and saves every line to a file.
#pragma once

#include <QPlainTextEdit>
#include <string>
#include <vector>

#include "engine/FillTargets.h"

class QMenu;
class QAction;

class TLogMemo : public QPlainTextEdit, public ILogTarget {
  Q_OBJECT

 public:
  explicit TLogMemo(QWidget *parent = nullptr);

  // Appends the text (program text) as the last line and scrolls it into view.
  void AddLog(const std::string &text);
  void AddLine(const std::string &line) override { AddLog(line); }
  // Every line (program text).
  std::vector<std::string> Lines() const;
  void Clear();

  QMenu *pmnLog = nullptr;
  QAction *pmnLogCopy = nullptr, *pmnLogSelectAll = nullptr, *pmnLogSave = nullptr;

  void pmnLogPopup();
  void pmnLogCopyClick();
  void pmnLogSelectAllClick();
  void pmnLogSaveClick();
  // Writes every line with CR LF ends; false when the file cannot be written.
  bool SaveToFile(const std::string &path) const;

 protected:
  void keyPressEvent(QKeyEvent *e) override;
  void contextMenuEvent(QContextMenuEvent *e) override;
};
