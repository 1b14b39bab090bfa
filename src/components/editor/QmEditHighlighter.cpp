#include "components/editor/QmEditHighlighter.h"

#include <QSettings>
#include <QStringList>
#include <algorithm>
#include <cctype>
#include <typeinfo>

#include "components/qtext.h"

namespace {

// Case-insensitive order of ASCII names, as the sorted attribute list keeps them.
int CompareText(const std::string &a, const std::string &b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    int x = std::toupper(static_cast<unsigned char>(a[i])), y = std::toupper(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// The sixteen standard colours in their table order.
constexpr TColor kColorTable[16] = {0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080,
                                    0x808000, 0x808080, 0xC0C0C0, 0x0000FF, 0x00FF00, 0x00FFFF,
                                    0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};

struct NamedColor {
  const char *name;
  TColor color;
};
constexpr NamedColor kColorNames[] = {
    {"clBlack", 0x000000},         {"clMaroon", 0x000080},      {"clGreen", 0x008000},
    {"clOlive", 0x008080},         {"clNavy", 0x800000},        {"clPurple", 0x800080},
    {"clTeal", 0x808000},          {"clGray", 0x808080},        {"clSilver", 0xC0C0C0},
    {"clRed", 0x0000FF},           {"clLime", 0x00FF00},        {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},          {"clFuchsia", 0xFF00FF},     {"clAqua", 0xFFFF00},
    {"clWhite", 0xFFFFFF},         {"clNone", clNone},          {"clDefault", clDefault},
    {"clWindow", clWindow},        {"clWindowText", clWindowText}, {"clHighlight", clHighlight},
    {"clHighlightText", clHighlightText}, {"clBtnFace", clBtnFace}, {"clBtnText", clBtnText},
    {"clGrayText", clGrayText},    {"clInfoBk", clInfoBk},      {"clInfoText", clInfoText},
};

// A colour written as a name ("clRed"), as hexadecimal ("$0000FF") or as a decimal number.
bool ColorFromText(const QString &text, TColor &out) {
  const std::string s = text.trimmed().toStdString();
  for (const NamedColor &n : kColorNames)
    if (CompareText(s, n.name) == 0) return out = n.color, true;
  bool ok = false;
  qlonglong v = s.starts_with("$") ? QString::fromStdString(s.substr(1)).toLongLong(&ok, 16)
                                   : QString::fromStdString(s).toLongLong(&ok, 10);
  if (ok) out = static_cast<TColor>(v);
  return ok;
}

bool ColorFromIndex(const QVariant &v, TColor &out) {
  bool ok = false;
  int i = v.toInt(&ok);
  if (!ok || i < 0 || i > 15) return false;
  out = kColorTable[i];
  return true;
}

// A default flag is on unless it reads "FALSE" (any case) or "0".
bool FlagOn(const QVariant &v) {
  const QString s = v.toString().trimmed();
  return s.compare("FALSE", Qt::CaseInsensitive) != 0 && s != "0";
}

QString Q(const std::string &s) { return ToQ(s); }

}  // namespace

// ---- attributes ----------------------------------------------------------------------

TQmHighlighterAttributes::TQmHighlighterAttributes(const std::string &AttrName) : name_(AttrName) {}

void TQmHighlighterAttributes::Assign(const TPersistent &Source) {
  const auto *a = dynamic_cast<const TQmHighlighterAttributes *>(&Source);
  if (!a) return TPersistent::Assign(Source);
  name_ = a->name_;
  bool changed = background_ != a->background_ || foreground_ != a->foreground_ || style_ != a->style_;
  background_ = a->background_;
  foreground_ = a->foreground_;
  style_ = a->style_;
  if (changed) Changed();
}

void TQmHighlighterAttributes::SetBackground(TColor Value) {
  if (background_ != Value) background_ = Value, Changed();
}
void TQmHighlighterAttributes::SetForeground(TColor Value) {
  if (foreground_ != Value) foreground_ = Value, Changed();
}
void TQmHighlighterAttributes::SetStyle(TFontStyles Value) {
  Value &= 15;
  if (style_ != Value) style_ = Value, Changed();
}

void TQmHighlighterAttributes::InternalSaveDefaultValues() {
  savedBackground_ = background_;
  savedForeground_ = foreground_;
  savedStyle_ = style_;
}

void TQmHighlighterAttributes::Changed() { OnChange(this); }

bool TQmHighlighterAttributes::LoadFromLegacyRegistry(QSettings &Root, const std::string &Key, bool OldStyle) {
  try {
    if (OldStyle) {
      const QString path = Q(Key) + "/" + Q(name_);
      if (!Root.contains(path)) return false;
      const QString value = Root.value(path).toString();
      const QStringList f = value.split(',');
      if (f.size() < 7) return false;
      TColor bg, fg;
      if (f[4].trimmed() == "1") bg = clWindow;
      else if (!ColorFromIndex(f[6].trimmed(), bg)) return false;
      if (f[3].trimmed() == "1") fg = clWindowText;
      else if (!ColorFromIndex(f[5].trimmed(), fg)) return false;
      TFontStyles st = 0;
      if (value.contains('B')) st |= fsBold;
      if (value.contains('I')) st |= fsItalic;
      if (value.contains('U')) st |= fsUnderline;
      SetBackground(bg);
      SetForeground(fg);
      SetStyle(st);
      return true;
    }
    Root.beginGroup(Q(Key) + "/" + Q(name_));
    struct Guard {
      QSettings &s;
      ~Guard() { s.endGroup(); }
    } guard{Root};
    bool all = true;
    auto color = [&](const char *index_key, const char *name_key, const char *default_key, TColor system,
                     TColor &out) {
      bool ok = false;
      if (Root.contains(name_key)) ok = ColorFromText(Root.value(name_key).toString(), out);
      else if (Root.contains(index_key)) ok = ColorFromIndex(Root.value(index_key), out);
      if (!ok) all = false;
      if (!Root.contains(default_key)) all = false;
      else if (FlagOn(Root.value(default_key))) out = system, ok = true;
      return ok;
    };
    TColor fg = foreground_, bg = background_;
    bool hasFg = color("Foreground Color", "Foreground Color New", "Default Foreground", clWindowText, fg);
    bool hasBg = color("Background Color", "Background Color New", "Default Background", clWindow, bg);
    TFontStyles st = 0;
    const std::pair<const char *, TFontStyles> bits[] = {{"Bold", fsBold}, {"Italic", fsItalic}, {"Underline", fsUnderline}};
    for (const auto &[key, bit] : bits) {
      if (!Root.contains(key)) all = false;
      else if (FlagOn(Root.value(key))) st |= bit;
    }
    if (hasFg) SetForeground(fg);
    if (hasBg) SetBackground(bg);
    SetStyle(st);
    return all;
  } catch (...) {
    return false;
  }
}

// ---- highlighter ---------------------------------------------------------------------

TQmCustomHighlighter::TQmCustomHighlighter(TComponent *AOwner) : TComponent(AOwner), changeHooks_(this) {
  wordBreakChars_ = MakeCharSet("!\"'()*+,-./:;=?[\\]^{|}");
}

TQmCustomHighlighter::~TQmCustomHighlighter() {
  // Whoever still refers to the highlighter lets go of it now, while it is whole.
  NotifyFreed();
}

void TQmCustomHighlighter::Assign(const TPersistent &Source) {
  const auto *src = dynamic_cast<const TQmCustomHighlighter *>(&Source);
  if (!src) return TPersistent::Assign(Source);
  if (src == this) return;
  for (int i = 0; i < GetAttribCount(); ++i) {
    TQmHighlighterAttributes *own = GetAttribute(i);
    for (int j = 0; j < src->GetAttribCount(); ++j) {
      TQmHighlighterAttributes *theirs = src->GetAttribute(j);
      if (theirs->AttrName() == own->AttrName()) {
        own->Assign(*theirs);
        break;
      }
    }
  }
  if (typeid(*src) == typeid(*this)) SetSampleSource(src->GetSampleSource());
  wordBreakChars_ = src->wordBreakChars_;
  SetDefaultFilter(src->GetDefaultFilter());
  SetEnabled(src->Enabled());
}

void TQmCustomHighlighter::Loaded() {
  TComponent::Loaded();
  NotifyAttributesChanged(nullptr);
}

int TQmCustomHighlighter::GetAttribCount() const { return static_cast<int>(attributes_.size()); }

TQmHighlighterAttributes *TQmCustomHighlighter::GetAttribute(int Index) const {
  if (Index < 0 || Index >= GetAttribCount()) return nullptr;
  return attributes_[static_cast<std::size_t>(Index)].get();
}

TQmCharSet TQmCustomHighlighter::WordChars() const { return MakeCharRange(33, 255); }

void TQmCustomHighlighter::SkipToLineEnd() {
  while (!AtLineEnd()) Next();
}

void TQmCustomHighlighter::RegisterAttribute(TQmHighlighterAttributes *Attribute) {
  std::unique_ptr<TQmHighlighterAttributes> owned(Attribute);
  auto pos = std::lower_bound(attributes_.begin(), attributes_.end(), Attribute->AttrName(),
                              [](const auto &a, const std::string &name) { return CompareText(a->AttrName(), name) < 0; });
  if (pos != attributes_.end() && CompareText((*pos)->AttrName(), Attribute->AttrName()) == 0)
    throw EStringListError("String list does not allow duplicates");
  attributes_.insert(pos, std::move(owned));
}

void TQmCustomHighlighter::SetAttributeChangeHandler(const TNotifyEvent &Handler) {
  for (auto &a : attributes_) {
    a->OnChange = Handler;
    a->InternalSaveDefaultValues();
  }
}

void TQmCustomHighlighter::SetEnabled(bool Value) {
  if (enabled_ == Value) return;
  enabled_ = Value;
  NotifyAttributesChanged(nullptr);
}

void TQmCustomHighlighter::NotifyAttributesChanged(TObject *Sender) {
  if (updateCount_ > 0) {
    updateChanged_ = true;
    return;
  }
  if (IsLoading()) return;
  changeHooks_.Sender = Sender;
  changeHooks_.CallEach();
}

void TQmCustomHighlighter::EndUpdate() {
  if (updateCount_ > 0 && --updateCount_ == 0 && updateChanged_) {
    updateChanged_ = false;
    NotifyAttributesChanged(this);
  }
}

bool TQmCustomHighlighter::SaveToRegistry(QSettings &Root, const std::string &Key) const {
  if (!Root.isWritable()) return false;
  Root.beginGroup(Q(Key));
  for (const auto &a : attributes_) {
    Root.beginGroup(Q(a->AttrName()));
    Root.setValue("Background", static_cast<int>(a->Background()));
    Root.setValue("Foreground", static_cast<int>(a->Foreground()));
    Root.setValue("Style", static_cast<int>(a->Style()));
    Root.endGroup();
  }
  Root.endGroup();
  Root.sync();
  return Root.status() == QSettings::NoError;
}

bool TQmCustomHighlighter::LoadFromRegistry(QSettings &Root, const std::string &Key) {
  Root.beginGroup(Q(Key));
  bool all = true;
  for (const auto &a : attributes_) {
    Root.beginGroup(Q(a->AttrName()));
    if (Root.childKeys().isEmpty()) {
      all = false;
      Root.endGroup();
      continue;
    }
    bool ok;
    if (Root.contains("Background")) {
      int v = Root.value("Background").toInt(&ok);
      if (ok) a->SetBackground(v);
    }
    if (Root.contains("Foreground")) {
      int v = Root.value("Foreground").toInt(&ok);
      if (ok) a->SetForeground(v);
    }
    if (Root.contains("Style")) {
      int v = Root.value("Style").toInt(&ok);
      if (ok) a->SetStyle(static_cast<TFontStyles>(v & 15));
    }
    Root.endGroup();
  }
  Root.endGroup();
  return all;
}

// ---- highlighter list ----------------------------------------------------------------

const TQmHighlighterClass *TQmHighlighterList::Find(const std::string &Name) const {
  for (const auto &c : classes_)
    if (c.Name == Name) return &c;
  return nullptr;
}

void TQmHighlighterList::Add(const TQmHighlighterClass &Class) { classes_.push_back(Class); }

TQmHighlighterList &GetPlaceableHighlighters() {
  static TQmHighlighterList list;
  return list;
}

void RegisterHighlighterClass(const TQmHighlighterClass &Class) {
  TQmHighlighterList &list = GetPlaceableHighlighters();
  if (!list.Find(Class.Name)) list.Add(Class);
}
