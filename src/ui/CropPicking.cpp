#include "ui/CropPicking.h"

#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QHelpEvent>
#include <QStyle>
#include <QToolTip>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <algorithm>
#include <memory>

#include "components/CheckTreeView.h"
#include "components/FillAdapters.h"
#include "components/qtext.h"
#include "engine/SakuUtil.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "ui/USakumotsuList.h"

using namespace cp932::literals;

namespace {

const char *const kSearchHead =
    "SELECT class,idsaku,toroku,shukakubui,sakumotsu,betsumei,gunmei FROM vs_sakumotsu2 WHERE "
    "strconv(keywords) regexp preconv(";

class TInfoTipFilter : public QObject {
 public:
  TInfoTipFilter(QTreeWidget *list, std::function<std::string(QTreeWidgetItem *)> hint)
      : QObject(list), list_(list), hint_(std::move(hint)) {}

 protected:
  bool eventFilter(QObject *, QEvent *e) override {
    if (e->type() != QEvent::ToolTip) return false;
    auto *he = static_cast<QHelpEvent *>(e);
    QTreeWidgetItem *item = list_->itemAt(he->pos());
    ShowHintText(he, list_->viewport(), item ? hint_(item) : std::string());
    return true;
  }

 private:
  QTreeWidget *list_;
  std::function<std::string(QTreeWidgetItem *)> hint_;
};

}  // namespace

std::string UniqueCommaText(const std::string &Collected) {
  const std::vector<std::string> names = SplitDelimitedText(Collected);
  std::vector<std::string> taken;
  for (auto it = names.rbegin(); it != names.rend(); ++it) {
    if (it->empty()) continue;
    bool seen = false;
    for (const std::string &t : taken) seen = seen || t == *it;
    if (!seen) taken.push_back(*it);
  }
  return JoinCommaText(std::vector<std::string>(taken.rbegin(), taken.rend()));
}

void TCropPicks::Append(const std::string &Names) {
  if (!Names.empty()) FCollected += (FCollected.empty() ? "" : ",") + Names;
}

void TCropPicks::Pick(const std::string &Names) {
  Append(Names);
  for (const std::string &name : SplitDelimitedText(Names)) FPicked.push_back(name);
}

void TCropPicks::AddUpper(const std::string &Of, const std::string &Groups) {
  const std::vector<std::string> held = SplitDelimitedText(FCollected);
  const bool shown = std::find(held.begin(), held.end(), Of) != held.end();
  FPicked.push_back(Of);
  if (Groups.empty()) return;
  Append(Groups);
  const std::vector<std::string> names = SplitDelimitedText(Groups);
  if (!shown && std::find(names.begin(), names.end(), Of) == names.end()) FPicked.push_back(names.front());
  for (const std::string &name : names) FUpper.push_back(name);
}

std::string TCropPicks::UpperOnly() const {
  std::vector<std::string> out;
  for (const std::string &name : FUpper)
    if (std::find(FPicked.begin(), FPicked.end(), name) == FPicked.end() &&
        std::find(out.begin(), out.end(), name) == out.end())
      out.push_back(name);
  return JoinCommaText(out);
}

std::string UpperOnlyIn(const std::string &UpperOnly, const std::string &Names) {
  const std::vector<std::string> held = SplitDelimitedText(Names);
  std::vector<std::string> out;
  for (const std::string &name : SplitDelimitedText(UpperOnly))
    if (std::find(held.begin(), held.end(), name) != held.end()) out.push_back(name);
  return JoinCommaText(out);
}

std::unique_ptr<TSakumotsu> CropRecordFromRow(const TSQLiteTbl &Row) {
  auto rec = std::make_unique<TSakumotsu>();
  rec->class_ = static_cast<int>(Row.FieldAsInteger(0));
  rec->idsaku = Row.FieldAsString(1);
  rec->toroku = static_cast<int>(Row.FieldAsInteger(2));
  rec->shukakubui = Row.FieldAsString(3);
  rec->sakumotsu = Row.FieldAsString(4);
  rec->betsumei = Row.FieldAsString(5);
  rec->gunmei = Row.FieldAsString(6);
  return rec;
}

namespace {
constexpr int kRecordRole = Qt::UserRole;
}

void AddCropSearchItems(QTreeWidget *List, std::vector<std::unique_ptr<TSakumotsu>> &Records) {
  if (!AcisDB || !AcisDB->Query()) return;
  std::shared_ptr<TSQLiteTbl> q = AcisDB->QueryShared();
  const QColor greyText = List->palette().color(QPalette::Disabled, QPalette::Text);
  for (q->MoveFirst(); !q->Eof(); q->Next()) {
    std::unique_ptr<TSakumotsu> rec = CropRecordFromRow(*q);
    auto *item = new QTreeWidgetItem(List);
    item->setText(0, ToQ(std::string(std::max(rec->class_, 0), '>') + " " + rec->sakumotsu));
    item->setText(1, ToQ(rec->shukakubui));
    item->setText(2, ToQ(rec->betsumei));
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, Qt::Unchecked);
    item->setData(0, kRecordRole, QVariant::fromValue(reinterpret_cast<quintptr>(rec.get())));
    for (int c = 0; c < 3; ++c) {
      if (rec->toroku == 2) {
        item->setBackground(c, QColor(0x80, 0x80, 0x80));
        item->setForeground(c, Qt::white);
      } else if (rec->toroku == 0) {
        item->setBackground(c, QColor(0xC0, 0xC0, 0xC0));
        item->setForeground(c, greyText);
      }
    }
    Records.push_back(std::move(rec));
  }
  // The name column widens to the longest name shown (with its class marks and check box);
  // it never narrows below the width the user gave it.
  const int kept = List->columnWidth(0);
  List->resizeColumnToContents(0);
  if (List->columnWidth(0) < kept) List->setColumnWidth(0, kept);
}

TSakumotsu *CropItemRecord(const QTreeWidgetItem *Item) {
  return Item ? reinterpret_cast<TSakumotsu *>(Item->data(0, kRecordRole).value<quintptr>()) : nullptr;
}

std::string CheckedCropsText(const QTreeWidget *List, bool Upper,
                             const std::function<std::string(const TSakumotsu &)> &Own,
                             const std::function<void(const std::string &)> &Trace, std::string *UpperOnly) {
  if (!AcisDB) return std::string();
  TCropPicks picks;
  for (int i = 0; i < List->topLevelItemCount(); ++i) {
    const QTreeWidgetItem *item = List->topLevelItem(i);
    const TSakumotsu *rec = CropItemRecord(item);
    if (!rec || item->checkState(0) != Qt::Checked) continue;
    if (Upper) {
      const std::string up = AcisDB->UpperGroup(rec->sakumotsu);
      if (up.empty())
        picks.Pick(rec->sakumotsu);
      else
        picks.AddUpper(rec->sakumotsu, up);
      if (Trace) Trace(picks.Collected());
    } else {
      picks.Pick(Own(*rec));
      if (rec->toroku == 2) picks.AddUpper(rec->sakumotsu, AcisDB->UpperGroup(rec->sakumotsu));
    }
  }
  if (UpperOnly) *UpperOnly = picks.UpperOnly();
  return picks.Text();
}

std::string CropSearchTerm(const std::string &Input) { return NormalizeCropList(Input); }

std::string CropNameSearchSQL(const std::string &Term, bool Forward) {
  std::string pattern = Term;
  if (Forward)
    pattern = Term.find('(') == std::string::npos ? "(^|、|\\()"_sj + Term : "(^|、|\\()("_sj + Term + "?)";
  return kSearchHead + SqlQuoted(pattern) + ") ORDER BY idsaku;";
}

std::string Beppyo1ByLgSQL(const std::string &Lg) {
  return Lg.empty() ? "SELECT * FROM spec.beppyo1n WHERE lg ISNULL"
                    : "SELECT * FROM spec.beppyo1n WHERE lg = " + SqlQuoted(Lg);
}

std::string Beppyo1MgListSQL(const std::string &Lg) {
  return Lg.empty() ? "SELECT DISTINCT mg FROM spec.beppyo1n WHERE lg ISNULL"
                    : "SELECT DISTINCT mg FROM spec.beppyo1n WHERE lg = " + SqlQuoted(Lg);
}

std::string Beppyo1ByMgSQL(const std::string &Mg, const std::string &Lg) {
  if (Mg == "全て"_sj) return Beppyo1ByLgSQL(Lg);
  if (!Mg.empty())
    return Lg.empty() ? "SELECT * FROM spec.beppyo1n WHERE mg =" + SqlQuoted(Mg) + " AND lg ISNULL"
                      : "SELECT * FROM spec.beppyo1n WHERE mg = " + SqlQuoted(Mg);
  return Lg.empty() ? "SELECT * FROM spec.beppyo1n WHERE mg ISNULL AND lg ISNULL"
                    : "SELECT * FROM spec.beppyo1n WHERE mg ISNULL AND lg = " + SqlQuoted(Lg);
}

std::string CvoByFamilySQL(const std::string &Family) {
  return Family.empty() ? "SELECT * FROM spec.cvo WHERE family ISNULL"
                        : "SELECT * FROM spec.cvo WHERE sakumotsu != '' AND family = " + SqlQuoted(Family);
}

bool ReplaceFromQuery(QTreeWidget *List, const std::string &SQL, const std::vector<int> &Columns) {
  if (!AcisDB || !AcisDB->ExecQuery(SQL)) return false;
  // The rows stay ours even when a query run from the pumped messages replaces the result.
  std::shared_ptr<TSQLiteTbl> rows = AcisDB->QueryShared();
  List->clear();
  for (rows->MoveFirst(); !rows->Eof(); rows->Next()) {
    auto *item = new QTreeWidgetItem(List);
    for (std::size_t i = 0; i < Columns.size(); ++i) {
      const int c = Columns[i];
      item->setText(static_cast<int>(i), ToQ(c < rows->ColCount() ? rows->FieldAsString(c) : std::string()));
    }
    UiServices().ProcessMessages();
  }
  return true;
}

void FillAllCombo(QComboBox *Combo, const std::string &SQL) {
  if (!AcisDB || !AcisDB->ExecQuery(SQL)) return;
  const QSignalBlocker quiet(Combo);
  Combo->clear();
  Combo->addItem(ToQ("全て"_sj));
  TComboTarget target(*Combo);
  AcisDB->SetCombo(target, 0, false);
}

void GreyUnregisteredNodes(QTreeWidget *Tree, int Class, const QColor &SelectedText) {
  const QColor grey = Tree->palette().color(QPalette::Disabled, QPalette::Text);
  for (QTreeWidgetItemIterator it(Tree); *it; ++it) {
    auto *rec = static_cast<TSakumotsu *>(TCheckTreeView::NodeData(*it));
    if (rec && rec->class_ == Class && rec->toroku == 0) {
      (*it)->setForeground(0, grey);
      TCheckTreeView::SetSelectedColors(*it, QColor(0x80, 0x80, 0x80), SelectedText);
    }
  }
}

std::vector<int> ColumnsUpTo(int Last) {
  std::vector<int> c;
  for (int i = 0; i <= Last; ++i) c.push_back(i);
  return c;
}

void Beppyo1LgChange(QTreeWidget *List, QComboBox *Lg, QComboBox *Mg, const std::function<void()> &LoadAll) {
  if (!AcisDB || !AcisDB->TableExists("spec.beppyo1n")) return;
  const std::string lg = FromQ(Lg->currentText());
  if (lg == "全て"_sj) {
    List->clear();
    LoadAll();
    return;
  }
  if (ReplaceFromQuery(List, Beppyo1ByLgSQL(lg), ColumnsUpTo(6))) FillAllCombo(Mg, Beppyo1MgListSQL(lg));
}

void Beppyo1MgChange(QTreeWidget *List, QComboBox *Lg, QComboBox *Mg) {
  if (!AcisDB || !AcisDB->TableExists("spec.beppyo1n")) return;
  ReplaceFromQuery(List, Beppyo1ByMgSQL(FromQ(Mg->currentText()), FromQ(Lg->currentText())), ColumnsUpTo(6));
}

void ExpandNodeFully(QTreeWidget *Tree, QTreeWidgetItem *Node) {
  if (!Node) return;
  Tree->hide();
  Tree->expandRecursively(Tree->indexFromItem(Node));
  Tree->show();
}

void CollapseTree(QTreeWidget *Tree) {
  Tree->hide();
  Tree->collapseAll();
  Tree->show();
}

std::vector<std::string> RowTexts(const QTreeWidgetItem *Item) {
  std::vector<std::string> out;
  if (!Item) return out;
  for (int i = 0; i < Item->columnCount(); ++i) out.push_back(FromQ(Item->text(i)));
  return out;
}

std::string RowHint(const QTreeWidgetItem *Item,
                    std::string (*Hint)(const std::string &, const std::vector<std::string> &)) {
  std::vector<std::string> texts = RowTexts(Item);
  if (texts.empty()) return std::string();
  const std::string caption = texts.front();
  texts.erase(texts.begin());
  return Hint(caption, texts);
}

void ShowHintText(const QHelpEvent *Event, QWidget *Widget, const std::string &Hint) {
  if (Hint.empty())
    QToolTip::hideText();
  else
    QToolTip::showText(Event->globalPos(), ToQ(Hint), Widget);
}

void SetListInfoTip(QTreeWidget *List, std::function<std::string(QTreeWidgetItem *)> Hint) {
  List->viewport()->installEventFilter(new TInfoTipFilter(List, std::move(Hint)));
}

void ReadColumnWidths(QTreeWidget *List, const TIniFile &Ini, const std::string &Prefix,
                      const std::vector<int> &Defaults) {
  // Without a stored width a column is at least as wide as its caption in the list's font.
  const QHeaderView *header = List->header();
  const QFontMetrics fm(header->font());
  const int margins = 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header) + 6;
  for (int i = 0; i < List->columnCount() && i < static_cast<int>(Defaults.size()); ++i) {
    const QString caption = List->headerItem() ? List->headerItem()->text(i) : QString();
    const int fitting = std::max(Defaults[i], fm.horizontalAdvance(caption) + margins);
    List->setColumnWidth(i, Ini.ReadInteger(SEC_WINDOW, Prefix + std::to_string(i), fitting));
  }
}

void WriteColumnWidths(const QTreeWidget *List, TIniFile &Ini, const std::string &Prefix) {
  for (int i = 0; i < List->columnCount(); ++i)
    Ini.WriteInteger(SEC_WINDOW, Prefix + std::to_string(i), List->columnWidth(i));
}
