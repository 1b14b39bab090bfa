#include "ui/main_sqledit.h"

#include "components/QmEdit.h"
#include "components/QmEditMiscProcs.h"
#include "components/QmHighlighterSQL.h"
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
