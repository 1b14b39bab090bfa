// The base of the editor's syntax highlighters and the named display styles of their
// token classes. The editor hands a highlighter one line at a time with the range state
// the previous line ended in and pulls tokens until the line ends; the highlighter tells
// every attached editor when an attribute or setting changes.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "components/editor/QmEditMiscClasses.h"
#include "components/editor/QmEditTypes.h"

class QSettings;

// Raised by the sorted attribute list when a second attribute takes a name.
class EStringListError : public Exception {
 public:
  using Exception::Exception;
  const char *ClassName() const override { return "EStringListError"; }
};

// One named display style: background, foreground and font style of a token class.
// Colours start as clNone, which the editor reads as "use your own colour".
class TQmHighlighterAttributes : public TPersistent {
 public:
  explicit TQmHighlighterAttributes(const std::string &AttrName);
  const char *ClassName() const override { return "TQmHighlighterAttributes"; }
  // From another attribute: its name and its three values, with one change event when
  // any value changed.
  void Assign(const TPersistent &Source) override;

  const std::string &AttrName() const { return name_; }
  TColor Background() const { return background_; }
  TColor Foreground() const { return foreground_; }
  TFontStyles Style() const { return style_; }
  void SetBackground(TColor Value);
  void SetForeground(TColor Value);
  void SetStyle(TFontStyles Value);

  // The defaults: the values the attribute had when its highlighter was built. A value is
  // worth storing with the settings only when it differs from its default.
  TColor SavedBackground() const { return savedBackground_; }
  TColor SavedForeground() const { return savedForeground_; }
  TFontStyles SavedStyle() const { return savedStyle_; }
  bool BackgroundStored() const { return background_ != savedBackground_; }
  bool ForegroundStored() const { return foreground_ != savedForeground_; }
  bool StyleStored() const { return style_ != savedStyle_; }
  void InternalSaveDefaultValues();

  virtual void Changed();
  // Reads this attribute from another editor's settings under Key: the old form is one
  // value named AttrName of seven comma-separated fields, the new form a group Key/AttrName
  // of named values. True only when every value was there.
  virtual bool LoadFromLegacyRegistry(QSettings &Root, const std::string &Key, bool OldStyle);

  TNotifyEvent OnChange;

 private:
  std::string name_;
  TColor background_ = clNone, foreground_ = clNone;
  TFontStyles style_ = 0;
  TColor savedBackground_ = clNone, savedForeground_ = clNone;
  TFontStyles savedStyle_ = 0;
};

// Indexes of GetDefaultAttribute.
enum : int {
  SYN_ATTR_COMMENT = 0,
  SYN_ATTR_IDENTIFIER = 1,
  SYN_ATTR_KEYWORD = 2,
  SYN_ATTR_STRING = 3,
  SYN_ATTR_WHITESPACE = 4,
  SYN_ATTR_SYMBOL = 5,
};

using TQmHighlighterCapabilities = unsigned;
constexpr TQmHighlighterCapabilities hcUserSettings = 1;
constexpr TQmHighlighterCapabilities hcRegistry = 2;

class TQmCustomHighlighter : public TComponent {
 public:
  explicit TQmCustomHighlighter(TComponent *AOwner = nullptr);
  ~TQmCustomHighlighter() override;
  const char *ClassName() const override { return "TQmCustomHighlighter"; }
  // From another highlighter: each own attribute takes the first source attribute of the
  // same name; from one of the same class also the sample source; then the word-break
  // characters, the default filter and Enabled.
  void Assign(const TPersistent &Source) override;
  void Loaded() override;

  // ---- attributes ----
  virtual int GetAttribCount() const;
  // The attribute at Index of the list sorted by name; nullptr outside the list.
  virtual TQmHighlighterAttributes *GetAttribute(int Index) const;
  virtual TQmHighlighterAttributes *GetDefaultAttribute(int Index) const = 0;

  // ---- description ----
  virtual std::string GetDefaultFilter() const { return defaultFilter_; }
  virtual TQmCharSet WordChars() const;
  virtual std::string GetSampleSource() const { return {}; }
  virtual bool IsFilterStored() const { return true; }
  virtual void SetDefaultFilter(const std::string &Value) { defaultFilter_ = Value; }
  virtual void SetSampleSource(const std::string &) {}
  virtual void SetWordBreakChars(const TQmCharSet &Value) { wordBreakChars_ = Value; }
  virtual TQmHighlighterCapabilities GetCapabilities() const { return hcRegistry; }
  virtual std::string GetLanguageName() const { return "<Unknown>"; }
  const std::string &DefaultFilter() const { return defaultFilter_; }
  const TQmCharSet &WordBreakChars() const { return wordBreakChars_; }

  // ---- scanning ----
  virtual bool AtLineEnd() const = 0;
  virtual int GetRange() const { return 0; }
  virtual std::string GetToken() const = 0;
  virtual TQmHighlighterAttributes *GetTokenAttribute() const = 0;
  virtual int GetTokenKind() const = 0;
  virtual int GetTokenPos() const = 0;  // 0-based
  virtual bool IsKeyword(const std::string &) const { return false; }
  virtual void Next() = 0;
  virtual void SetLine(const std::string &NewValue, int LineNumber) = 0;
  virtual void SetRange(int) {}
  virtual void ResetRange() {}
  void SkipToLineEnd();

  // ---- settings storage ----
  // Writes every attribute as the integers "Background", "Foreground" and "Style" (bits:
  // 1 bold, 2 italic, 4 underline, 8 strike-out) under Key/<attribute name>.
  virtual bool SaveToRegistry(QSettings &Root, const std::string &Key) const;
  // Reads what is there of the same; true when every attribute's group existed.
  virtual bool LoadFromRegistry(QSettings &Root, const std::string &Key);

  // ---- change notification ----
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool Value);
  void AddChangeHandler(const TNotifyEvent &Handler) { changeHooks_.Add(Handler); }
  void RemoveChangeHandler(const TNotifyEvent &Handler) { changeHooks_.Remove(Handler); }
  // Tells the attached editors of a change: deferred while updates are counted, dropped
  // while loading.
  void NotifyAttributesChanged(TObject *Sender);
  void BeginUpdate() { ++updateCount_; }
  void EndUpdate();

 protected:
  // Takes ownership; a second attribute of the same name raises EStringListError.
  void RegisterAttribute(TQmHighlighterAttributes *Attribute);
  // Sets every attribute's change event to Handler and makes its current values its
  // defaults; a highlighter calls it at the end of its constructor.
  void SetAttributeChangeHandler(const TNotifyEvent &Handler);
  TNotifyEvent NotifyHandler() { return TNotifyEvent::Of<&TQmCustomHighlighter::NotifyAttributesChanged>(this); }

 private:
  std::vector<std::unique_ptr<TQmHighlighterAttributes>> attributes_;  // sorted by name
  TQmNotifyEventChain changeHooks_;
  TQmCharSet wordBreakChars_;
  std::string defaultFilter_;
  bool enabled_ = true;
  int updateCount_ = 0;
  bool updateChanged_ = false;
};

// A highlighter class the program offers: its name and how to make one.
struct TQmHighlighterClass {
  std::string Name;
  std::function<TQmCustomHighlighter *(TComponent *Owner)> Create;
};

class TQmHighlighterList : public TObject {
 public:
  const char *ClassName() const override { return "TQmHighlighterList"; }
  int Count() const { return static_cast<int>(classes_.size()); }
  const TQmHighlighterClass &operator[](int Index) const { return classes_.at(static_cast<std::size_t>(Index)); }
  // The class of that name, or nullptr.
  const TQmHighlighterClass *Find(const std::string &Name) const;
  void Add(const TQmHighlighterClass &Class);

 private:
  std::vector<TQmHighlighterClass> classes_;
};

// The program-wide list of highlighter classes.
TQmHighlighterList &GetPlaceableHighlighters();
// Adds the class unless one of that name is there already.
void RegisterHighlighterClass(const TQmHighlighterClass &Class);
