// The main window's SQL editor, built apart from the window's form: the editor and the
// result grid each bring their own small Windows-like type names, which do not meet in one
// source file.
#pragma once

#include <QColor>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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

// ---- what the SQL pane does with the editor (program text throughout)

// The editor's whole text: its lines joined with CR LF.
std::string SQLEditorText(QWidget *Editor);
// Replaces the whole text; the change handler runs as after typing.
void SetSQLEditorText(QWidget *Editor, const std::string &Text);
// Replaces the selection (or inserts at the caret) as one undo step.
void SQLEditorInsert(QWidget *Editor, const std::string &Text);
bool SQLEditorHasSelection(QWidget *Editor);
// OnChange runs on every change of the text; OnSelection when the selection changed.
void SetSQLEditorEvents(QWidget *Editor, std::function<void()> OnChange, std::function<void()> OnSelection);
// The editor's lines saved to / loaded from a file, one line a line, in the ANSI code page.
// Loading raises when the file cannot be read and then leaves the text as it was.
void SaveSQLEditorLines(QWidget *Editor, const std::string &FileName);
void LoadSQLEditorLines(QWidget *Editor, const std::string &FileName);
// The editor commands of the pane's popup menu: 0 undo, 1 redo, 2 copy, 3 cut, 4 paste,
// 5 select all, 6 delete all.
void SQLEditorCommand(QWidget *Editor, int Command);
// Appends names to the highlighter's table names.
void AddSQLTableNames(QWidget *Editor, const std::vector<std::string> &Names);
