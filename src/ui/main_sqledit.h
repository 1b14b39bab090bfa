// The main window's SQL editor, built apart from the window's form: the editor and the
// result grid each bring their own small Windows-like type names, which do not meet in one
// source file.
#pragma once

#include <QColor>
#include <cstdint>

class QWidget;
class TCustomQmEdit;
class TQmSQLSyn;

// A TQmEdit named "SQLEditor" with the SQLite highlighter, which lives as long as the editor.
QWidget *CreateSQLEditor(QWidget *Parent);
// Font name and size, line spacing, line numbers, right edge, word wrap, background and
// the highlighter's colours and styles from the settings.
void ApplySQLEditorOptions(QWidget *Editor);
// The editor and its highlighter, for the settings dialog (null when Editor is no SQL editor).
void SQLEditorTargets(QWidget *Editor, TCustomQmEdit *&Edit, TQmSQLSyn *&Highlighter);
