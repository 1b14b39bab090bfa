#include <QSettings>
#include <gtest/gtest.h>

#include "components/editor/QmEditHighlighter.h"
#include "components/editor/QmHighlighterSQL.h"
#include "support/testutil.h"

namespace {

// A highlighter with two attributes of its own, to reach the protected registration.
class TTestSyn : public TQmCustomHighlighter {
 public:
  TTestSyn() {
    Add("Zeta");
    Add("alpha")->SetStyle(fsBold);
    SetAttributeChangeHandler(NotifyHandler());
  }
  TQmHighlighterAttributes *Add(const std::string &name) {
    auto *a = new TQmHighlighterAttributes(name);
    RegisterAttribute(a);
    return a;
  }
  TQmHighlighterAttributes *GetDefaultAttribute(int) const override { return nullptr; }
  bool AtLineEnd() const override { return pos_ >= 3; }
  std::string GetToken() const override { return "x"; }
  TQmHighlighterAttributes *GetTokenAttribute() const override { return nullptr; }
  int GetTokenKind() const override { return 0; }
  int GetTokenPos() const override { return pos_; }
  void Next() override { ++pos_; }
  void SetLine(const std::string &, int) override { pos_ = 0; }

 private:
  int pos_ = 0;
};

TEST(QmHighlighterAttributes, ChangesFireOnlyOnChange) {
  TQmHighlighterAttributes a("Comment");
  EXPECT_EQ(a.Background(), clNone);
  EXPECT_EQ(a.Foreground(), clNone);
  int n = 0;
  TObject *sender = nullptr;
  a.OnChange = [&](TObject *s) { ++n, sender = s; };
  a.SetForeground(clNone);
  a.SetBackground(clNone);
  a.SetStyle(0);
  EXPECT_EQ(n, 0);
  a.SetForeground(clRed);
  a.SetStyle(fsBold | fsItalic);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(sender, &a);

  TQmHighlighterAttributes b("Other");
  int m = 0;
  b.OnChange = [&](TObject *) { ++m; };
  b.Assign(a);  // three values differ: one change
  EXPECT_EQ(m, 1);
  EXPECT_EQ(b.AttrName(), "Comment");
  EXPECT_EQ(b.Style(), fsBold | fsItalic);
  b.Assign(a);
  EXPECT_EQ(m, 1);
}

TEST(QmCustomHighlighter, AttributeListIsSortedAndRejectsDuplicates) {
  TTestSyn syn;
  ASSERT_EQ(syn.GetAttribCount(), 2);
  EXPECT_EQ(syn.GetAttribute(0)->AttrName(), "alpha");
  EXPECT_EQ(syn.GetAttribute(1)->AttrName(), "Zeta");
  EXPECT_EQ(syn.GetAttribute(2), nullptr);
  EXPECT_EQ(syn.GetAttribute(-1), nullptr);
  EXPECT_THROW(syn.Add("ALPHA"), EStringListError);
  EXPECT_EQ(syn.GetAttribCount(), 2);
  // Values set while building are defaults; later changes are worth storing.
  EXPECT_FALSE(syn.GetAttribute(0)->StyleStored());
  syn.GetAttribute(0)->SetStyle(0);
  EXPECT_TRUE(syn.GetAttribute(0)->StyleStored());
  syn.SetLine("abc", 0);
  syn.SkipToLineEnd();
  EXPECT_TRUE(syn.AtLineEnd());
  EXPECT_EQ(syn.GetLanguageName(), "<Unknown>");
  EXPECT_TRUE(syn.WordBreakChars()['(']);
  EXPECT_FALSE(syn.WordBreakChars()['_']);
}

TEST(QmCustomHighlighter, ChangeNotification) {
  TTestSyn syn;
  int n = 0;
  TObject *sender = nullptr;
  struct Editor {
    int *n;
    TObject **sender;
    void Changed(TObject *s) { ++*n, *sender = s; }
  } editor{&n, &sender};
  const TNotifyEvent handler = TNotifyEvent::Of<&Editor::Changed>(&editor);
  syn.AddChangeHandler(handler);

  syn.GetAttribute(1)->SetForeground(clBlue);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(sender, syn.GetAttribute(1));
  syn.SetEnabled(true);
  EXPECT_EQ(n, 1);
  syn.SetEnabled(false);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(sender, nullptr);

  syn.BeginLoading();
  syn.GetAttribute(0)->SetBackground(clWhite);
  syn.SetEnabled(true);
  EXPECT_EQ(n, 2);
  syn.Loaded();
  EXPECT_EQ(n, 3);

  syn.BeginUpdate();
  syn.GetAttribute(0)->SetBackground(clBlack);
  syn.GetAttribute(1)->SetBackground(clBlack);
  EXPECT_EQ(n, 3);
  syn.EndUpdate();
  EXPECT_EQ(n, 4);

  syn.RemoveChangeHandler(handler);
  syn.SetEnabled(false);
  EXPECT_EQ(n, 4);
}

TEST(QmCustomHighlighter, RegistryRoundTrip) {
  qmtest::TempDir dir;
  const QString file = QString::fromStdString((dir / "hl.ini").string());
  TQmSQLSyn a, b;
  a.KeyAttri()->SetForeground(clNavy);
  a.CommentAttri()->SetStyle(fsUnderline | fsStrikeOut);
  {
    QSettings s(file, QSettings::IniFormat);
    EXPECT_TRUE(a.SaveToRegistry(s, "Highlighters/SQL"));
  }
  QSettings s(file, QSettings::IniFormat);
  EXPECT_TRUE(b.LoadFromRegistry(s, "Highlighters/SQL"));
  EXPECT_EQ(b.KeyAttri()->Foreground(), clNavy);
  EXPECT_EQ(b.CommentAttri()->Style(), fsUnderline | fsStrikeOut);
  EXPECT_EQ(b.StringAttri()->Foreground(), clNone);
  EXPECT_FALSE(b.LoadFromRegistry(s, "Highlighters/Missing"));

  // Another editor's settings, old style: fields 4 and 5 choose the default colours.
  s.setValue("Legacy/Reserved Word", "0,0,0,0,1,12,3,B");
  s.setValue("Legacy/Bad", "1,2");
  s.beginGroup("New/Comment");
  s.setValue("Foreground Color New", "clRed");
  s.setValue("Background Color", 15);
  s.setValue("Bold", "0");
  s.setValue("Italic", "True");
  s.setValue("Underline", "0");
  s.setValue("Default Foreground", "FALSE");
  s.setValue("Default Background", "0");
  s.endGroup();
  TQmHighlighterAttributes kw("Reserved Word"), bad("Bad"), cm("Comment");
  EXPECT_TRUE(kw.LoadFromLegacyRegistry(s, "Legacy", true));
  EXPECT_EQ(kw.Foreground(), clBlue);
  EXPECT_EQ(kw.Background(), clWindow);
  EXPECT_EQ(kw.Style(), fsBold);
  EXPECT_FALSE(bad.LoadFromLegacyRegistry(s, "Legacy", true));
  EXPECT_TRUE(cm.LoadFromLegacyRegistry(s, "New", false));
  EXPECT_EQ(cm.Foreground(), clRed);
  EXPECT_EQ(cm.Background(), clWhite);
  EXPECT_EQ(cm.Style(), fsItalic);
}

}  // namespace
