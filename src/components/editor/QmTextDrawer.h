// Text output of the SQL editor in a fixed grid of character cells: every byte of a line
// takes one cell, so a double-byte character takes two. The font stock keeps, for one base
// font, the sixteen style variants (bold, italic, underline, strike-out) with their cell
// metrics; editors that use the same font share them through the fonts-info manager.
//
// Characters are drawn one cell position at a time from glyphs that Qt's font matching
// resolves, so kanji come from a fallback face when the chosen face lacks them. The glyphs
// of each character are resolved once per font variant and kept.
#pragma once

#include <QFont>
#include <QGlyphRun>
#include <QRawFont>
#include <QRect>
#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "components/editor/QmEditMiscClasses.h"
#include "components/editor/QmEditTypes.h"
#include "engine/Exception.h"

class QPainter;

class EheFontStockException : public Exception {
 public:
  using Exception::Exception;
  const char *ClassName() const override { return "EheFontStockException"; }
};

class EheTextDrawerException : public Exception {
 public:
  using Exception::Exception;
  const char *ClassName() const override { return "EheTextDrawerException"; }
};

// Output options of ExtTextOut.
constexpr unsigned ETO_OPAQUE = 0x0002;
constexpr unsigned ETO_CLIPPED = 0x0004;

// The glyphs that draw one character: each from its own face, at an offset from the cell's
// top-left corner.
struct TheCharGlyph {
  QRawFont Font;
  quint32 Index;
  QPointF Offset;
};

// One style variant of a shared font.
struct TheFontData {
  TFontStyles Style = 0;
  std::unique_ptr<QFont> Handle;  // made when first needed, dropped when nobody uses it
  int CharAdv = 0;                // cell width
  int CharHeight = 0;
  int Ascent = 0;
  int UnderlinePos = 0;
  int StrikeOutPos = 0;
  int LineWidth = 1;
  bool Measured = false;
  std::unordered_map<char32_t, std::vector<TheCharGlyph>> Glyphs;
};

// The font data that all users of one base font share.
struct TheSharedFontsInfo {
  int RefCount = 0;
  int LockCount = 0;
  TFont BaseFont;
  std::string BaseLF;  // the comparable description: face, size, character set, weight
  std::array<TheFontData, 16> FontsData;
};

class TheFontsInfoManager : public TObject {
 public:
  ~TheFontsInfoManager() override;
  const char *ClassName() const override { return "TheFontsInfoManager"; }
  // The shared record of the font (made on first use); its reference count goes up.
  TheSharedFontsInfo *GetFontsInfo(const TFont *Font);
  void ReleaseFontsInfo(TheSharedFontsInfo *Info);
  void ActivateFontsInfo(TheSharedFontsInfo *Info);
  // The last deactivation drops the sixteen font handles; the metrics stay.
  void DeactivateFontsInfo(TheSharedFontsInfo *Info);
  int Count() const { return static_cast<int>(list_.size()); }

 private:
  std::vector<std::unique_ptr<TheSharedFontsInfo>> list_;
};

// The program-wide manager.
TheFontsInfoManager &GetFontsInfoManager();

class TheFontStock : public TObject {
 public:
  explicit TheFontStock(const TFont *Font);
  ~TheFontStock() override;
  TheFontStock(const TheFontStock &) = delete;
  TheFontStock &operator=(const TheFontStock &) = delete;
  const char *ClassName() const override { return "TheFontStock"; }

  void SetBaseFont(const TFont *Value);
  void SetStyle(TFontStyles Value);  // 0..15
  TFontStyles Style() const { return currentStyle_; }
  int CharAdvance() const { return current_ ? current_->CharAdv : 0; }
  int CharHeight() const { return current_ ? current_->CharHeight : 0; }
  const TheFontData *CurrentData() const { return current_; }
  TheFontData *CurrentData() { return current_; }
  const QFont &CurrentFont() const;
  TheSharedFontsInfo *FontsInfo() const { return info_; }
  void ReleaseFontHandles();

 private:
  TheSharedFontsInfo *info_ = nullptr;
  bool usingFontHandles_ = false;
  TheFontData *current_ = nullptr;
  TFontStyles currentStyle_ = 0;
};

class TheTextDrawer : public TObject {
 public:
  TheTextDrawer(TFontStyles BaseStyle, const TFont *BaseFont);
  ~TheTextDrawer() override;
  TheTextDrawer(const TheTextDrawer &) = delete;
  TheTextDrawer &operator=(const TheTextDrawer &) = delete;
  const char *ClassName() const override { return "TheTextDrawer"; }

  // Drawing happens between BeginDrawing and the matching EndDrawing; calls on the same
  // painter nest. The painter's state is saved and restored around the drawing.
  void BeginDrawing(QPainter *DC);
  void EndDrawing();

  void SetBaseFont(const TFont *Value);
  void SetBaseStyle(TFontStyles Value);
  TFontStyles BaseStyle() const { return baseStyle_; }
  void SetStyle(TFontStyles Value);
  void SetForeColor(TColor Value);
  void SetBackColor(TColor Value);
  TColor ForeColor() const { return color_; }
  TColor BackColor() const { return bkColor_; }
  void SetCharExtra(int Value);
  int CharExtra() const { return charExtra_; }

  // Cell width (the extra spacing included) and cell height.
  int CharWidth() const { return charWidth_ + charExtra_; }
  int CharHeight() const { return charHeight_; }
  TheFontStock &FontStock() { return *fontStock_; }

  // Plain text output with the font's own advances; (X, Y) is the top-left corner.
  void TextOut(int X, int Y, std::string_view Text, int Count);
  // The first Count bytes of Text, every byte advancing by CharWidth from (X, Y), the
  // top-left corner of the first cell. ETO_OPAQUE fills Rect with the background colour
  // first; ETO_CLIPPED clips the output to Rect.
  void ExtTextOut(int X, int Y, unsigned Options, const QRect *Rect, std::string_view Text, int Count);
  // The cell advances used for drawing; grown in steps of 64.
  int ETODistLength() const { return static_cast<int>(etoDist_.size()); }
  void ReleaseTemporaryResources();

 private:
  void ApplyFont();
  QPainter *dc_ = nullptr;
  int drawingCount_ = 0;
  std::unique_ptr<TheFontStock> fontStock_;
  TFontStyles baseStyle_;
  int charWidth_ = 0, charHeight_ = 0;
  TColor color_ = clWindowText;
  TColor bkColor_ = clWindow;
  int charExtra_ = 0;
  std::vector<int> etoDist_;
};
