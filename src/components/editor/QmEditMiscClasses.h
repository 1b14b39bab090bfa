// The SQL editor's settings objects (gutter, selection colours, bookmark options), the
// font, bitmap and image-list objects they hold, the glyph and image-strip objects that
// draw the editor's own images, and the method chains through which one object tells
// several others of a change.
//
// Every setter stores a changed value and then fires OnChange with the object as sender;
// an unchanged value fires nothing.
#pragma once

#include <QFont>
#include <QImage>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "components/editor/QmEditTypes.h"

class QPainter;

// ---- font ----------------------------------------------------------------------------

// A font as the program describes one: face name (program text), size in points,
// character set, style bits and colour.
class TFont : public TPersistent {
 public:
  TFont() = default;
  const char *ClassName() const override { return "TFont"; }
  void Assign(const TPersistent &Source) override;

  const std::string &Name() const { return name_; }
  int Size() const { return size_; }
  int Charset() const { return charset_; }
  TFontStyles Style() const { return style_; }
  TColor Color() const { return color_; }
  void SetName(const std::string &Value);
  void SetSize(int Value);
  void SetCharset(int Value);
  void SetStyle(TFontStyles Value);
  void SetColor(TColor Value);

  // The Qt font of this description (style bits included).
  QFont ToQFont() const;

  TNotifyEvent OnChange;

 private:
  void Changed() { OnChange(this); }
  std::string name_ = "Tahoma";
  int size_ = 8;
  int charset_ = DEFAULT_CHARSET;
  TFontStyles style_ = 0;
  TColor color_ = clWindowText;
};

// ---- bitmaps and image lists ---------------------------------------------------------

// The editor's own images by resource name (case does not matter): "QmEditWrapped", the
// mark shown at wrapped rows, and "QmEditInternalImages", a strip of ten bookmark images
// numbered 0 to 9. An unknown name gives a null image.
QImage LoadBitmapResource(std::string_view ResourceName);

class TBitmap : public TPersistent {
 public:
  const char *ClassName() const override { return "TBitmap"; }
  void Assign(const TPersistent &Source) override;
  const QImage &Image() const { return image_; }
  void SetImage(const QImage &Value);
  void LoadFromResourceName(std::string_view ResourceName);
  bool Empty() const { return image_.isNull(); }
  int Width() const { return image_.width(); }
  int Height() const { return image_.height(); }
  TNotifyEvent OnChange;

 private:
  QImage image_;
};

// A list of images of one size. Objects that keep a reference to the list ask to be told
// when it goes away.
class TImageList : public TComponent {
 public:
  TImageList(int Width = 16, int Height = 16) : width_(Width), height_(Height) {}
  const char *ClassName() const override { return "TImageList"; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  int Count() const { return static_cast<int>(images_.size()); }
  int Add(const QImage &Image);
  void Draw(QPainter &Canvas, int X, int Y, int Index) const;

 private:
  int width_, height_;
  std::vector<QImage> images_;
};

// ---- selection colours ---------------------------------------------------------------

class TQmSelectedColor : public TPersistent {
 public:
  const char *ClassName() const override { return "TQmSelectedColor"; }
  void Assign(const TPersistent &Source) override;
  TColor Background() const { return bg_; }
  TColor Foreground() const { return fg_; }
  void SetBackground(TColor Value);
  void SetForeground(TColor Value);
  TNotifyEvent OnChange;

 private:
  void Changed() { OnChange(this); }
  TColor bg_ = clHighlight;
  TColor fg_ = clHighlightText;
};

// ---- gutter --------------------------------------------------------------------------

enum TQmGutterBorderStyle { gbsNone, gbsMiddle, gbsRight };

class TQmGutter : public TPersistent {
 public:
  TQmGutter();
  const char *ClassName() const override { return "TQmGutter"; }
  void Assign(const TPersistent &Source) override;

  bool AutoSize() const { return autoSize_; }
  TQmGutterBorderStyle BorderStyle() const { return borderStyle_; }
  TColor Color() const { return color_; }
  TColor BorderColor() const { return borderColor_; }
  TCursor Cursor() const { return cursor_; }
  int DigitCount() const { return digitCount_; }
  TFont &Font() { return font_; }
  const TFont &Font() const { return font_; }
  bool LeadingZeros() const { return leadingZeros_; }
  int LeftOffset() const { return leftOffset_; }
  int RightOffset() const { return rightOffset_; }
  bool ShowLineNumbers() const { return showLineNumbers_; }
  bool UseFontStyle() const { return useFontStyle_; }
  bool Visible() const { return visible_; }
  int Width() const { return width_; }
  bool ZeroStart() const { return zeroStart_; }
  int LineNumberStart() const { return lineNumberStart_; }
  bool Gradient() const { return gradient_; }
  TColor GradientStartColor() const { return gradientStartColor_; }
  TColor GradientEndColor() const { return gradientEndColor_; }
  int GradientSteps() const { return gradientSteps_; }
  // The number of digits the line numbers take now (auto-sizing may widen it).
  int AutoSizeDigitCount() const { return autoSizeDigitCount_; }

  void SetAutoSize(bool Value);
  void SetBorderStyle(TQmGutterBorderStyle Value);  // fires even when unchanged
  void SetColor(TColor Value);
  void SetBorderColor(TColor Value);
  void SetCursor(TCursor Value);
  void SetDigitCount(int Value);       // kept within 2..12
  void SetFont(const TFont &Value);
  void SetLeadingZeros(bool Value);
  void SetLeftOffset(int Value);       // not below 0
  void SetRightOffset(int Value);      // not below 0
  void SetShowLineNumbers(bool Value);
  void SetUseFontStyle(bool Value);
  void SetVisible(bool Value);
  void SetWidth(int Value);            // not below 0
  void SetZeroStart(bool Value);
  void SetLineNumberStart(int Value);  // not below 0; 0 sets ZeroStart
  void SetGradient(bool Value);
  void SetGradientStartColor(TColor Value);
  void SetGradientEndColor(TColor Value);
  void SetGradientSteps(int Value);    // not below 2

  // Widens the digit count for the line count when auto-sized line numbers are shown.
  void UpdateDigitCountForLines(int LineCount);
  // The shown number of a line, right-aligned in a field of the digit count.
  std::string LineNumberText(int Line) const;
  // The gutter's width in pixels for the given character width.
  int PixelWidth(int CharWidth) const;

  TNotifyEvent OnChange;

 private:
  void Changed() { OnChange(this); }
  int ShownNumber(int Line) const;
  bool autoSize_ = false;
  TQmGutterBorderStyle borderStyle_ = gbsMiddle;
  TColor color_ = clBtnFace;
  TColor borderColor_ = clWindow;
  TCursor cursor_ = crDefault;
  int digitCount_ = 4;
  TFont font_;
  bool leadingZeros_ = false;
  int leftOffset_ = 16;
  int rightOffset_ = 2;
  bool showLineNumbers_ = false;
  bool useFontStyle_ = true;
  bool visible_ = true;
  int width_ = 30;
  bool zeroStart_ = false;
  int lineNumberStart_ = 1;
  bool gradient_ = false;
  TColor gradientStartColor_ = clWindow;
  TColor gradientEndColor_ = clBtnFace;
  int gradientSteps_ = 48;
  int autoSizeDigitCount_ = 4;
};

// ---- bookmark options ----------------------------------------------------------------

class TQmBookMarkOpt : public TPersistent {
 public:
  explicit TQmBookMarkOpt(TObject *Owner = nullptr) : owner_(Owner) {}
  ~TQmBookMarkOpt() override;
  const char *ClassName() const override { return "TQmBookMarkOpt"; }
  void Assign(const TPersistent &Source) override;

  TObject *Owner() const { return owner_; }
  TImageList *BookmarkImages() const { return images_; }
  bool DrawBookmarksFirst() const { return drawFirst_; }
  bool EnableKeys() const { return enableKeys_; }
  bool GlyphsVisible() const { return glyphsVisible_; }
  int LeftMargin() const { return leftMargin_; }
  int Xoffset() const { return xoffset_; }

  // Keeps a reference to the list; when the list is freed the reference is dropped
  // (which fires OnChange like any other change).
  void SetBookmarkImages(TImageList *Value);
  void SetDrawBookmarksFirst(bool Value);
  void SetEnableKeys(bool Value);
  void SetGlyphsVisible(bool Value);
  void SetLeftMargin(int Value);
  void SetXoffset(int Value);

  TNotifyEvent OnChange;

 private:
  void Changed() { OnChange(this); }
  TObject *owner_;
  TImageList *images_ = nullptr;
  bool drawFirst_ = true;
  bool enableKeys_ = true;
  bool glyphsVisible_ = true;
  int leftMargin_ = 2;
  int xoffset_ = 12;
};

// ---- glyph ---------------------------------------------------------------------------

// An image drawn transparently in the gutter: the user's bitmap, or the internal one
// loaded from a resource name when the user's is empty.
class TQmGlyph : public TPersistent {
 public:
  explicit TQmGlyph(std::string_view ResourceName = {}, TColor MaskColor = clNone);
  const char *ClassName() const override { return "TQmGlyph"; }
  void Assign(const TPersistent &Source) override;

  TBitmap &Glyph() { return glyph_; }
  const TBitmap &Glyph() const { return glyph_; }
  void SetGlyph(const TBitmap &Value) { glyph_.Assign(Value); }
  TColor MaskColor() const { return maskColor_; }
  void SetMaskColor(TColor Value);
  bool Visible() const { return visible_; }
  void SetVisible(bool Value);

  // Draws at (X, Y) in a line of the given height: centred vertically, or the middle
  // part of the image when the line is lower than the image.
  void Draw(QPainter &Canvas, int X, int Y, int LineHeight) const;
  int Width() const;

  TNotifyEvent OnChange;

 private:
  void Changed() { OnChange(this); }
  TBitmap glyph_;
  TColor maskColor_ = clNone;
  bool visible_ = true;
  QImage internal_;
  TColor internalMaskColor_ = clNone;
  mutable QImage cache_;  // the image drawn, with the mask colour made transparent
  mutable qint64 cacheKey_ = 0;
  mutable TColor cacheMask_ = clNone;
};

// ---- image strip ---------------------------------------------------------------------

// A strip image from a resource, cut into Count cells of equal width. Strips are loaded
// once and shared by every object that names the same resource.
class TQmInternalImage : public TObject {
 public:
  TQmInternalImage(std::string_view ResourceName, int Count);
  ~TQmInternalImage() override;
  TQmInternalImage(const TQmInternalImage &) = delete;
  TQmInternalImage &operator=(const TQmInternalImage &) = delete;
  const char *ClassName() const override { return "TQmInternalImage"; }

  int Count() const { return count_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  // Copies cell Index to (X, Y), centred vertically in a line of the given height (or its
  // middle part when the line is lower); nothing for an index outside 0..Count-1.
  void DrawCell(QPainter &Canvas, int Index, int X, int Y, int LineHeight) const;

 private:
  std::string name_;
  const QImage *strip_;
  int count_, width_, height_;
};

// ---- method chains -------------------------------------------------------------------

class EQmMethodChain : public Exception {
 public:
  using Exception::Exception;
  const char *ClassName() const override { return "EQmMethodChain"; }
};

// A list of handlers called in registration order. When a handler throws, the exception
// handler decides whether to go on; without one the exception passes on.
class TQmMethodChain : public TObject {
 public:
  using TExceptionEvent = std::function<void(TObject *Sender, const std::exception &E, bool &DoContinue)>;
  const char *ClassName() const override { return "TQmMethodChain"; }
  void CallEach();
  TExceptionEvent OnException;

 protected:
  virtual int MethodCount() const = 0;
  virtual void DoFire(int Index) = 0;
};

// A chain of notify events, each called with the chain's sender.
class TQmNotifyEventChain : public TQmMethodChain {
 public:
  explicit TQmNotifyEventChain(TObject *ASender = nullptr) : Sender(ASender) {}
  const char *ClassName() const override { return "TQmNotifyEventChain"; }
  void Add(const TNotifyEvent &Method) { methods_.push_back(Method); }
  // Removes every registration of the method.
  void Remove(const TNotifyEvent &Method);
  int Count() const { return MethodCount(); }
  TObject *Sender;

 protected:
  int MethodCount() const override { return static_cast<int>(methods_.size()); }
  void DoFire(int Index) override;

 private:
  std::vector<TNotifyEvent> methods_;
};
