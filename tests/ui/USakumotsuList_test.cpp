// The crop list loaded from the sample kit's crop master, its tree and its hint texts.
#include <gtest/gtest.h>

#include <map>

#include "components/CheckTreeView.h"
#include "engine/SqlFunctions.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "platform/cp932.h"
#include "support/enginefixture.h"
#include "support/testutil.h"
#include "ui/USakumotsuList.h"

using namespace cp932::literals;
using qmtest::TempDir;

namespace {

std::string U(const std::string &sjis) { return cp932::ToUtf8(sjis); }

// acis.db holding the kit's crop master and its views, open as the program-wide AcisDB.
class CropListTest : public ::testing::Test {
 protected:
  TempDir home;
  qmtest::ScopedEngineState state{home.path()};
  TScopedRecordingUi ui;
  std::unique_ptr<TAcisDB> db;
  TSakumotsuList list;

  void SetUp() override {
    TSQLiteDb::FunctionRegistrar = &RegisterSqlFunctions;
    db = std::make_unique<TAcisDB>(cp932::FromUtf8((home / "acis.db").string()), nullptr);
    ASSERT_TRUE(db->ExecSQLFile(cp932::FromUtf8((qmtest::SmallKit() / "scripts/sakumotsu.txt").string()), false));
    state.SetAcisDB(db.get());
  }
  void TearDown() override {
    state.SetAcisDB(nullptr);
    db.reset();
  }
  int Rows(const std::string &sql) { return static_cast<int>(db->Db().GetTable(sql)->FieldAsInteger(0)); }
  const TSakumotsu *Find(const char *utf8) {
    for (int i = 0; i < list.Count(); ++i)
      if (list.Items(i)->sakumotsu == cp932::FromUtf8(utf8)) return list.Items(i);
    return nullptr;
  }
};

int Depth(const QTreeWidgetItem *n) {
  int d = 0;
  for (; n->parent(); n = n->parent()) ++d;
  return d;
}

std::unique_ptr<TSakumotsu> Rec(int cls, const char *name, int toroku) {
  auto r = std::make_unique<TSakumotsu>();
  r->class_ = cls;
  r->sakumotsu = name;
  r->toroku = toroku;
  return r;
}

}  // namespace

TEST_F(CropListTest, LoadsTheCropMasterInViewOrderWithoutTheRoot) {
  db->ExecSQL("INSERT INTO m_sakumotsu (idsaku, class, sakumotsu, toroku) VALUES "
              "('0000000000000000', 0, 'root', 1);");
  list.Load();
  ASSERT_EQ(list.Count(), Rows("SELECT count(*) FROM m_sakumotsu") - 1);
  EXPECT_EQ(Find("root"), nullptr);
  for (int i = 1; i < list.Count(); ++i)
    ASSERT_LT(list.Items(i - 1)->idsaku, list.Items(i)->idsaku) << "the view's order";

  const TSakumotsu *r = Find("温州みかん");
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->class_, 3);
  EXPECT_EQ(r->idsaku, "0101020100000000");
  EXPECT_EQ(r->toroku, 2);
  EXPECT_EQ(U(r->shukakubui), "果実");
  EXPECT_EQ(U(r->betsumei), "、ウンシュウミカン");
  EXPECT_EQ(r->gunmei, "") << "NULL reads as empty";
  EXPECT_TRUE(IsRakuyokaju(Find("りんご")));
  EXPECT_FALSE(IsRakuyokaju(r));

  const int n = list.Count();
  list.Load();
  EXPECT_EQ(list.Count(), 2 * n) << "an explicit load appends";
  list.Delete(0);
  EXPECT_EQ(list.Count(), 2 * n - 1);
}

TEST_F(CropListTest, TheTreeFollowsTheClassesWithImagesByLevelAndStatus) {
  TCheckTreeView tree;
  list.FillTree(&tree);  // loads the empty list first
  ASSERT_GT(list.Count(), 0);
  QList<QTreeWidgetItem *> nodes = tree.AllNodes();
  ASSERT_EQ(nodes.size(), list.Count()) << "the kit's hierarchy has no gaps";
  EXPECT_EQ(tree.topLevelItemCount(), Rows("SELECT count(*) FROM m_sakumotsu WHERE class = 0"));
  for (int i = 0; i < nodes.size(); ++i) {
    auto *rec = static_cast<TSakumotsu *>(TCheckTreeView::NodeData(nodes[i]));
    ASSERT_EQ(rec, list.Items(i));
    EXPECT_EQ(Depth(nodes[i]), rec->class_) << U(rec->sakumotsu);
    EXPECT_EQ(TCheckTreeView::Caption(nodes[i]), rec->sakumotsu);
    if (nodes[i]->parent()) {
      auto *up = static_cast<TSakumotsu *>(TCheckTreeView::NodeData(nodes[i]->parent()));
      EXPECT_EQ(rec->idsaku.compare(0, 2, up->idsaku, 0, 2), 0) << "under its own upper group";
    }
  }
  // name -> image / selected image
  const std::map<std::string, std::pair<int, int>> expected = {
      {"果樹類", {0, 1}},                      // level 0, status 1
      {"稲", {0, 1}},                          // level 0, status 3
      {"仁果類", {0, 1}},                      // level 1, status 3
      {"温州みかん", {39, 40}},                // level 3, status 2
      {"かいわれだいこん", {39, 40}},          // level 3, status 0
      {"早生温州みかん", {13, 13}},            // level 4, status 0
      {"ミニトマト(施設栽培)", {4, 5}},        // level 4, status 1
      {"極早生温州みかん(施設栽培)", {6, 7}},  // level 5, status 1
  };
  for (QTreeWidgetItem *n : nodes) {
    auto it = expected.find(U(TCheckTreeView::Caption(n)));
    if (it == expected.end()) continue;
    EXPECT_EQ(TCheckTreeView::ImageIndex(n), it->second.first) << it->first;
    EXPECT_EQ(TCheckTreeView::SelectedIndex(n), it->second.second) << it->first;
  }
  list.FillTree(&tree);
  EXPECT_EQ(tree.AllNodes().size(), list.Count()) << "refilling starts from an empty tree";
}

TEST(CropListTree, MissingLevelsGetFillersAndABadRecordStopsTheWalk) {
  TSakumotsuList list;
  list.Add(Rec(0, "A", 1));
  list.Add(Rec(3, "X", 1));  // fillers at 1 and 2 named after A
  list.Add(Rec(1, "B", 2));
  list.Add(Rec(5, "Y", 1));  // fillers at 2, 3 and 4 named after B
  list.Add(Rec(9, "Z", 1));  // no such class: the walk stops here
  list.Add(Rec(0, "C", 1));
  TCheckTreeView tree;
  list.FillTree(&tree);
  std::string shape;
  for (QTreeWidgetItem *n : tree.AllNodes()) {
    auto *rec = static_cast<TSakumotsu *>(TCheckTreeView::NodeData(n));
    shape += std::to_string(Depth(n)) + TCheckTreeView::Caption(n) + (rec->sakumotsu == TCheckTreeView::Caption(n) ? "" : "!") +
             ":" + std::to_string(TCheckTreeView::ImageIndex(n)) + " ";
  }
  EXPECT_EQ(shape, "0A:0 1A:0 2A:0 3X:0 1B:39 2B:39 3B:39 4B:37 5Y:6 ");
  QTreeWidgetItem *filler = tree.topLevelItem(0)->child(0);
  EXPECT_EQ(TCheckTreeView::NodeData(filler), list.Items(0)) << "a filler carries the record before it";

  TSakumotsuList first;
  first.Add(Rec(2, "D", 1));
  first.FillTree(&tree);
  ASSERT_EQ(tree.AllNodes().size(), 2);
  EXPECT_EQ(TCheckTreeView::Caption(tree.AllNodes()[0]), "D") << "with nothing before, the record names it";
}

TEST_F(CropListTest, NoDatabaseOrAFailingQueryLeavesTheListAndTreeEmpty) {
  TCheckTreeView tree;
  tree.AddChildObject(nullptr, "old", nullptr);
  state.SetAcisDB(nullptr);
  list.FillTree(&tree);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(tree.topLevelItemCount(), 0);

  state.SetAcisDB(db.get());
  db->ExecSQL("DROP VIEW vg_sakumotsu2;");
  list.FillTree(&tree);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(tree.topLevelItemCount(), 0);
  ASSERT_EQ(ui.reports.size(), 1u) << "the query object reports the failure";
  EXPECT_EQ(U(ui.reports[0].caption), "SQL エラー");
}

TEST_F(CropListTest, CropHintsNameUpperGroupsPartsAliasesAndStatus) {
  list.Load();
  EXPECT_EQ(U(CropHintText(Find("温州みかん"))),
            "温州みかん\r\n【上位分類】 みかん,かんきつ,果樹類\r\n【収穫部位】 果実\r\n"
            "【別名】 、ウンシュウミカン\r\n上位分類での登録あり");
  EXPECT_EQ(U(CropHintTextDebug(Find("早生温州みかん"))),
            "class: 4 id: 0101020100010000\r\n早生温州みかん\r\n"
            "【上位分類】 (温州みかん),みかん,かんきつ,果樹類\r\n【収穫部位】 果実\r\n【別名】 \r\n作物名登録なし");
  EXPECT_EQ(CropHintText(nullptr), "");

  std::string text = "keep";
  const char *status[] = {"作物名登録なし", "作物名登録あり", "上位分類での登録あり", "下位作物での登録あり"};
  for (int t = 0; t < 4; ++t) {
    EXPECT_TRUE(TorokuText(t, text));
    EXPECT_EQ(U(text), status[t]);
  }
  for (int t : {-1, 4}) {
    EXPECT_FALSE(TorokuText(t, text));
    EXPECT_EQ(U(text), status[3]) << "an unknown status leaves the text";
  }
}

TEST(CropListHints, TableRowsAndListTexts) {
  std::vector<std::string> sub = {"中", "小", "作物", "別", "部位", "よみ"};
  for (auto &s : sub) s = cp932::FromUtf8(s);
  EXPECT_EQ(U(Beppyo1HintText("大"_sj, sub)),
            "[大作物群] 大\r\n[中作物群] 中\r\n[小作物群] 小\r\n[作 物 名] 作物\r\n[別    名] 別\r\n"
            "[収穫部位] 部位\r\n[よ    み] よみ");
  // A short row reads its missing sub-items as empty instead of failing.
  std::string cvo = U(CvoHintText("果樹"_sj, {"みかん"_sj, "ミカン科"_sj}));
  EXPECT_EQ(cvo.substr(0, 50), std::string("[上位作物] 果樹\r\n[農作物名] みかん\r\n[科名] ミカン科\r\n").substr(0, 50));
  EXPECT_NE(cvo.find("\r\n[別名] \r\n[ひらがな] \r\n"), std::string::npos);
  EXPECT_TRUE(cvo.ends_with("\r\n[AGROVOC ID] "));
  EXPECT_EQ(std::count(cvo.begin(), cvo.end(), '\n'), 20);

  struct Case {
    const char *text, *name;
  };
  const Case cases[] = {
      {">>> みかん|果実|、ミカン", "みかん"},
      {"> 温州 みかん |x", "温州みかん"},
      {"ポンカン|果実", "ポンカン"},  // ポ ends in the bar's byte
      {"ポポー", ""},
      {"みかん", ""},
      {"|x", ""},
      {"", ""},
  };
  for (const Case &c : cases) EXPECT_EQ(U(CropNameFromListItem(cp932::FromUtf8(c.text))), c.name) << c.text;
}
