#include "ui/main_sqledit.h"

#include "components/editor/QmEdit.h"
#include "components/editor/QmEditMiscProcs.h"
#include "components/editor/QmHighlighterSQL.h"
#include "engine/options.h"

QWidget *CreateSQLEditor(QWidget *Parent) {
  auto *ed = new TQmEdit(Parent);
  ed->setObjectName("SQLEditor");
  auto *h = new TQmSQLSyn();
  h->SetSQLDialect(sqlSQLite);
  ed->SetHighlighter(h);
  QObject::connect(ed, &QObject::destroyed, [h] { delete h; });
  return ed;
}

void ApplySQLEditorOptions(QWidget *Editor) {
  auto *ed = qobject_cast<TQmEdit *>(Editor);
  if (!ed) return;
  const TOptionData &o = *OptionData;
  TFont f;
  f.Assign(ed->Font());
  if (!o.SQLEditFont.Name.empty()) f.SetName(o.SQLEditFont.Name);
  if (o.SQLEditFont.Size != 0) f.SetSize(o.SQLEditFont.Size < 0 ? -o.SQLEditFont.Size : o.SQLEditFont.Size);
  ed->SetFont(f);
  ed->SetExtraLineSpacing(o.SQLEditorLineSpace);
  ed->Gutter().SetShowLineNumbers(o.SQLEditorLineNumber);
  ed->SetRightEdge(o.SQLEditorRightEdge);
  ed->SetWordWrap(o.SQLEditorWordwrap);
  ed->SetColor(ColorFromSettings(o.SQLEditColor));

  auto *h = dynamic_cast<TQmSQLSyn *>(ed->Highlighter());
  if (!h) return;
  auto attr = [](TQmHighlighterAttributes *a, std::int32_t color, bool bold) {
    a->SetForeground(ColorFromSettings(color));
    a->SetStyle(bold ? fsBold : TFontStyles(0));
  };
  attr(h->KeyAttri(), o.SQLKeywordColor, o.SQLKeywordBold);
  attr(h->FunctionAttri(), o.SQLFunctionColor, o.SQLFunctionBold);
  attr(h->DataTypeAttri(), o.SQLDatatypeColor, o.SQLDatatypeBold);
  attr(h->TableNameAttri(), o.SQLTableNameColor, o.SQLTableNameBold);
  attr(h->NumberAttri(), o.SQLNumberColor, o.SQLNumberBold);
  attr(h->StringAttri(), o.SQLStringColor, o.SQLStringBold);
  attr(h->PLSQLAttri(), o.SQLPLsqlColor, o.SQLPLsqlBold);
  attr(h->IdentifierAttri(), o.SQLIdentifierColor, o.SQLIdentifierBold);
  attr(h->SQLPlusAttri(), o.SQLPlusColor, o.SQLPlusBold);
  attr(h->PragmasAttri(), o.SQLPragmasColor, o.SQLPragmasBold);
  // The comment keeps its other style bits; bold and italic follow their settings.
  TQmHighlighterAttributes *c = h->CommentAttri();
  c->SetForeground(ColorFromSettings(o.SQLCommentColor));
  TFontStyles st = c->Style();
  st = o.SQLCommentBold ? TFontStyles(st | fsBold) : TFontStyles(st & ~fsBold);
  st = o.SQLCommentItalic ? TFontStyles(st | fsItalic) : TFontStyles(st & ~fsItalic);
  c->SetStyle(st);
}

void SQLEditorTargets(QWidget *Editor, TCustomQmEdit *&Edit, TQmSQLSyn *&Highlighter) {
  auto *ed = qobject_cast<TQmEdit *>(Editor);
  Edit = ed;
  Highlighter = ed ? dynamic_cast<TQmSQLSyn *>(ed->Highlighter()) : nullptr;
}

std::string SQLEditorText(QWidget *Editor) {
  auto *ed = qobject_cast<TQmEdit *>(Editor);
  return ed ? ed->GetText() : std::string();
}

void SetSQLEditorText(QWidget *Editor, const std::string &Text) {
  auto *ed = qobject_cast<TQmEdit *>(Editor);
  if (!ed) return;
  ed->SetText(Text);
  // A text put in whole changes the editor as typing does.
  ed->OnChange(ed);
}

void SQLEditorInsert(QWidget *Editor, const std::string &Text) {
  if (auto *ed = qobject_cast<TQmEdit *>(Editor)) ed->ReplaceSelection(Text);
}

bool SQLEditorHasSelection(QWidget *Editor) {
  auto *ed = qobject_cast<TQmEdit *>(Editor);
  return ed && ed->HasSelection();
}

void SetSQLEditorEvents(QWidget *Editor, std::function<void()> OnChange, std::function<void()> OnSelection) {
  auto *ed = qobject_cast<TQmEdit *>(Editor);
  if (!ed) return;
  ed->OnChange = [OnChange](TObject *) {
    if (OnChange) OnChange();
  };
  ed->OnStatusChange = [OnSelection](TObject *, TQmStatusChanges Changes) {
    if ((Changes & scSelection) && OnSelection) OnSelection();
  };
}

void SaveSQLEditorLines(QWidget *Editor, const std::string &FileName) {
  if (auto *ed = qobject_cast<TQmEdit *>(Editor)) ed->Lines().SaveToFile(FileName);
}

void LoadSQLEditorLines(QWidget *Editor, const std::string &FileName) {
  if (auto *ed = qobject_cast<TQmEdit *>(Editor)) ed->Lines().LoadFromFile(FileName);
}

void SQLEditorCommand(QWidget *Editor, int Command) {
  auto *ed = qobject_cast<TQmEdit *>(Editor);
  if (!ed) return;
  switch (Command) {
    case 0: ed->Undo(); break;
    case 1: ed->Redo(); break;
    case 2: ed->CopyToClipboard(); break;
    case 3: ed->CutToClipboard(); break;
    case 4: ed->PasteFromClipboard(); break;
    case 5: ed->SelectAll(); break;
    case 6:
      ed->SelectAll();
      ed->ReplaceSelection(std::string());
      break;
    default: break;
  }
}

void AddSQLTableNames(QWidget *Editor, const std::vector<std::string> &Names) {
  auto *ed = qobject_cast<TQmEdit *>(Editor);
  auto *h = ed ? dynamic_cast<TQmSQLSyn *>(ed->Highlighter()) : nullptr;
  if (!h) return;
  std::vector<std::string> all = h->TableNames();
  all.insert(all.end(), Names.begin(), Names.end());
  h->SetTableNames(all);
}
