#include "ui/USakumotsuList.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QSignalBlocker>
#include <stdexcept>

#include "components/CheckTreeView.h"
#include "engine/acdb.h"
#include "platform/cp932.h"

using namespace cp932::literals;

TSakumotsuList *SakumotsuList = nullptr;

void TSakumotsuList::Delete(int Index) { FItems.erase(FItems.begin() + Index); }

void TSakumotsuList::Load() {
  if (!AcisDB) return;
  if (!AcisDB->ExecQuery("SELECT class,idsaku,toroku,shukakubui,sakumotsu,betsumei,gunmei FROM vg_sakumotsu2;"))
    return;
  std::shared_ptr<TSQLiteTbl> q = AcisDB->QueryShared();
  for (q->MoveFirst(); !q->Eof(); q->Next()) {
    if (q->FieldAsString(1) == "0000000000000000") continue;
    auto item = std::make_unique<TSakumotsu>();
    item->class_ = static_cast<int>(q->FieldAsInteger(0));
    item->idsaku = q->FieldAsString(1);
    item->toroku = static_cast<int>(q->FieldAsInteger(2));
    item->shukakubui = q->FieldAsString(3);
    item->sakumotsu = q->FieldAsString(4);
    item->betsumei = q->FieldAsString(5);
    item->gunmei = q->FieldAsString(6);
    FItems.push_back(std::move(item));
  }
}

void CropNodeImages(int Level, bool Filler, int Toroku, int &Image, int &Selected) {
  // Rows: level 0, levels 1 to 3, level 4 crop, level 4 filler, level 5; columns: status 0 to 3.
  static const int kTable[5][4][2] = {
      {{39, 40}, {0, 1}, {-1, -1}, {0, 1}},
      {{39, 40}, {0, 1}, {39, 40}, {0, 1}},
      {{13, 13}, {4, 5}, {37, 38}, {41, 41}},
      {{13, 13}, {2, 3}, {37, 38}, {41, 41}},
      {{-1, -1}, {6, 7}, {-1, -1}, {-1, -1}},
  };
  Image = Selected = -1;
  if (Toroku < 0 || Toroku > 3 || Level < 0 || Level > 5) return;
  const int row = Level == 0 ? 0 : Level <= 3 ? 1 : Level == 5 ? 4 : Filler ? 3 : 2;
  Image = kTable[row][Toroku][0];
  Selected = kTable[row][Toroku][1];
}

void TSakumotsuList::FillTree(TCheckTreeView *Tree) {
  if (Count() == 0) Load();
  const bool updates = Tree->updatesEnabled();
  Tree->setUpdatesEnabled(false);
  Tree->clear();
  auto add = [Tree](QTreeWidgetItem *Parent, TSakumotsu *Item, int Level, bool Filler) {
    QTreeWidgetItem *node = Tree->AddChildObject(Parent, Item->sakumotsu, Item);
    int image, selected;
    CropNodeImages(Level, Filler, Item->toroku, image, selected);
    Tree->SetNodeImages(node, image, selected);
    return node;
  };
  QTreeWidgetItem *level[5] = {};
  TSakumotsu *prev = nullptr;
  try {
    for (const auto &owned : FItems) {
      TSakumotsu *item = owned.get();
      const int k = item->class_;
      if (k < 0 || k > 5) throw std::out_of_range("crop class " + std::to_string(k));
      if (prev && k < prev->class_)
        for (int j = k + 1; j <= 4; ++j) level[j] = nullptr;
      // Missing levels above the record get filler nodes named after the record before it
      // (the record itself when it is the first one).
      for (int j = 1; j <= k - 1; ++j)
        if (!level[j]) level[j] = add(level[j - 1], prev ? prev : item, j, true);
      QTreeWidgetItem *node = add(k == 0 ? nullptr : level[k - 1], item, k, false);
      if (k <= 4) level[k] = node;
      prev = item;
    }
  } catch (const std::exception &) {
    // The nodes made so far stay.
  }
  Tree->setUpdatesEnabled(updates);
}

bool TorokuText(int Toroku, std::string &Text) {
  switch (Toroku) {
    case 0: Text = "作物名登録なし"_sj; return true;
    case 1: Text = "作物名登録あり"_sj; return true;
    case 2: Text = "上位分類での登録あり"_sj; return true;
    case 3: Text = "下位作物での登録あり"_sj; return true;
    default: return false;
  }
}

std::string CropHintText(const TSakumotsu *Item) {
  if (!Item) return std::string();
  std::string upper;
  if (AcisDB) {
    try {
      upper = AcisDB->UpperSakumotsuList(Item->sakumotsu);
    } catch (...) {
      // A hint is never worth a failure.
    }
  }
  std::string status;
  TorokuText(Item->toroku, status);
  return Item->sakumotsu + "\r\n" + "【上位分類】 "_sj + upper + "\r\n" + "【収穫部位】 "_sj +
         Item->shukakubui + "\r\n" + "【別名】 "_sj + Item->betsumei + "\r\n" + status;
}

std::string CropHintTextDebug(const TSakumotsu *Item) {
  if (!Item) return std::string();
  return "class: " + std::to_string(Item->class_) + " id: " + Item->idsaku + "\r\n" + CropHintText(Item);
}

bool IsRakuyokaju(const TSakumotsu *Item) { return Item && Item->gunmei == "落葉果樹"_sj; }

namespace {

std::string LabelledLines(const std::string &Caption, const std::vector<std::string> &SubItems,
                          const std::vector<const char *> &Labels) {
  std::string out = cp932::FromUtf8(Labels[0]) + Caption;
  for (std::size_t i = 1; i < Labels.size(); ++i)
    out += "\r\n" + cp932::FromUtf8(Labels[i]) + (i - 1 < SubItems.size() ? SubItems[i - 1] : "");
  return out;
}

}  // namespace

std::string Beppyo1HintText(const std::string &Caption, const std::vector<std::string> &SubItems) {
  return LabelledLines(Caption, SubItems,
                       {"[大作物群] ", "[中作物群] ", "[小作物群] ", "[作 物 名] ", "[別    名] ",
                        "[収穫部位] ", "[よ    み] "});
}

std::string CvoHintText(const std::string &Caption, const std::vector<std::string> &SubItems) {
  return LabelledLines(Caption, SubItems,
                       {"[上位作物] ", "[農作物名] ", "[科名] ", "[別名] ", "[ひらがな] ", "[学名] ",
                        "[英名] ", "[収穫部位] ", "[栽培方法] ", "[用途] ", "[成熟度] ", "[備考] ",
                        "[作物名] ", "[ITガイドライン小分類] ", "[食品分類表の食品名] ",
                        "[食品標準成分表の食品名] ", "[品種登録DB植物種名] ", "[品種登録DB品種名称] ",
                        "[NCBI ID] ", "[WikiPedia項目名] ", "[AGROVOC ID] "});
}

std::string CropNameFromListItem(const std::string &Text) {
  // ">" and the blank are never the second byte of a double-byte character; "|" may be
  // (ポ is 83 7C), so the bar is looked for character by character.
  std::string s;
  for (char c : Text)
    if (c != '>' && c != ' ') s += c;
  for (std::size_t i = 0; i < s.size(); i = cp932::NextChar(s, i))
    if (s[i] == '|') return s.substr(0, i);
  return std::string();
}

namespace {

enum class Shape { None, Folder, Leaf, Sprout };

struct Picture {
  Shape shape;
  QColor colour;
  bool open;  // the selected form
};

Picture PictureOf(int Index) {
  switch (Index) {
    case 0: return {Shape::Folder, QColor(0x2E, 0x8B, 0x57), false};   // registered group
    case 1: return {Shape::Folder, QColor(0x2E, 0x8B, 0x57), true};
    case 2: return {Shape::Folder, QColor(0x8F, 0xBC, 0x8F), false};   // registered, standing in
    case 3: return {Shape::Folder, QColor(0x8F, 0xBC, 0x8F), true};
    case 4: return {Shape::Leaf, QColor(0x22, 0x8B, 0x22), false};     // registered crop
    case 5: return {Shape::Leaf, QColor(0x22, 0x8B, 0x22), true};
    case 6: return {Shape::Sprout, QColor(0x00, 0x80, 0x80), false};   // sub-level crop
    case 7: return {Shape::Sprout, QColor(0x00, 0x80, 0x80), true};
    case 13: return {Shape::Leaf, QColor(0xA0, 0xA0, 0xA0), false};    // not registered
    case 37: return {Shape::Leaf, QColor(0xDA, 0xA5, 0x20), false};    // registered above
    case 38: return {Shape::Leaf, QColor(0xDA, 0xA5, 0x20), true};
    case 39: return {Shape::Folder, QColor(0xA0, 0xA0, 0xA0), false};  // group, not registered
    case 40: return {Shape::Folder, QColor(0xA0, 0xA0, 0xA0), true};
    case 41: return {Shape::Leaf, QColor(0x41, 0x69, 0xE1), false};    // registered below
    default: return {Shape::None, QColor(), false};
  }
}

QPixmap Draw(const Picture &p, int Size) {
  QPixmap pm(Size, Size);
  pm.fill(Qt::transparent);
  if (p.shape == Shape::None) return pm;
  QPainter g(&pm);
  g.setRenderHint(QPainter::Antialiasing);
  g.scale(Size / 16.0, Size / 16.0);
  const QColor edge = p.colour.darker(150);
  g.setPen(QPen(edge, 1.0));
  g.setBrush(p.open ? p.colour.lighter(130) : p.colour);
  switch (p.shape) {
    case Shape::Folder: {
      QPainterPath path;
      path.moveTo(1.5, 4);
      path.lineTo(6, 4);
      path.lineTo(7.5, 5.5);
      path.lineTo(14.5, 5.5);
      path.lineTo(14.5, 13.5);
      path.lineTo(1.5, 13.5);
      path.closeSubpath();
      g.drawPath(path);
      if (p.open) {
        g.setBrush(p.colour.lighter(160));
        g.drawRect(QRectF(3, 7.5, 11.5, 6));
      }
      break;
    }
    case Shape::Leaf: {
      QPainterPath path;
      path.moveTo(2, 14);
      path.cubicTo(2, 5, 8, 2, 14.5, 1.5);
      path.cubicTo(14, 8, 11, 14, 2, 14);
      g.drawPath(path);
      g.drawLine(QPointF(2.5, 13.5), QPointF(11, 5));
      break;
    }
    case Shape::Sprout: {
      g.drawLine(QPointF(8, 15), QPointF(8, 8));
      g.drawEllipse(QRectF(2, 4, 6, 4));
      g.drawEllipse(QRectF(8, 2, 6, 4));
      break;
    }
    case Shape::None:
      break;
  }
  if (p.open) {
    g.setPen(QPen(Qt::white, 1.2));
    g.setBrush(Qt::NoBrush);
    g.drawEllipse(QRectF(10.5, 10.5, 4, 4));
  }
  return pm;
}

}  // namespace

QList<QIcon> CropTreeImages(int Size) {
  QList<QIcon> images;
  for (int i = 0; i <= 41; ++i) images.append(QIcon(Draw(PictureOf(i), Size)));
  return images;
}
