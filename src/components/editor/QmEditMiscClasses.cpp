#include "components/editor/QmEditMiscClasses.h"

#include <QPainter>
#include <algorithm>
#include <cctype>

#include "components/editor/QmEditMiscProcs.h"
#include "components/qtext.h"

// Stores Value in Field and fires Changed when it differs.
#define QM_SET(Field, Value) \
  do {                       \
    if ((Field) != (Value)) { \
      (Field) = (Value);     \
      Changed();             \
    }                        \
  } while (0)

// ---- font ----------------------------------------------------------------------------

void TFont::Assign(const TPersistent &Source) {
  const TFont *f = dynamic_cast<const TFont *>(&Source);
  if (!f) return TPersistent::Assign(Source);
  if (f == this) return;
  bool diff = name_ != f->name_ || size_ != f->size_ || charset_ != f->charset_ ||
              style_ != f->style_ || color_ != f->color_;
  name_ = f->name_;
  size_ = f->size_;
  charset_ = f->charset_;
  style_ = f->style_;
  color_ = f->color_;
  if (diff) Changed();
}

void TFont::SetName(const std::string &Value) { QM_SET(name_, Value); }
void TFont::SetSize(int Value) { QM_SET(size_, Value); }
void TFont::SetCharset(int Value) { QM_SET(charset_, Value); }
void TFont::SetStyle(TFontStyles Value) { QM_SET(style_, static_cast<TFontStyles>(Value & 15)); }
void TFont::SetColor(TColor Value) { QM_SET(color_, Value); }

QFont TFont::ToQFont() const {
  QFont f(ToQ(name_));
  if (size_ > 0) f.setPointSize(size_);
  f.setBold(style_ & fsBold);
  f.setItalic(style_ & fsItalic);
  f.setUnderline(style_ & fsUnderline);
  f.setStrikeOut(style_ & fsStrikeOut);
  return f;
}

// ---- bitmaps -------------------------------------------------------------------------

namespace {

std::string Upper(std::string_view s) {
  std::string u(s);
  for (char &c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

// Seven-segment digit, so the images need no font. Segments a..g as bits 0..6.
void DrawDigit(QPainter &p, int digit, QRect box) {
  static const int kSegs[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};
  const int l = box.left(), r = box.right(), t = box.top(), b = box.bottom();
  const int m = (t + b) / 2;
  const QLine seg[7] = {QLine(l, t, r, t), QLine(r, t, r, m), QLine(r, m, r, b), QLine(l, b, r, b),
                        QLine(l, m, l, b), QLine(l, t, l, m), QLine(l, m, r, m)};
  for (int i = 0; i < 7; ++i)
    if (kSegs[digit] & (1 << i)) p.drawLine(seg[i]);
}

// Ten bookmark images, 12 x 16 each: a flag-shaped tag with its number.
QImage MakeBookmarkStrip() {
  const int w = 12, h = 16;
  QImage img(w * 10, h, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  for (int i = 0; i < 10; ++i) {
    const int x = i * w;
    QPolygon tag;
    tag << QPoint(x + 1, 1) << QPoint(x + 10, 1) << QPoint(x + 10, 14) << QPoint(x + 5, 11)
        << QPoint(x + 1, 14);
    p.setPen(QColor(0, 0, 128));
    p.setBrush(QColor(64, 96, 208));
    p.drawPolygon(tag);
    p.setPen(QPen(Qt::white, 1));
    DrawDigit(p, i, QRect(x + 4, 3, 3, 6));
  }
  return img;
}

// The wrapped-row mark: a hooked arrow on the green mask colour.
QImage MakeWrappedGlyph() {
  QImage img(10, 12, QImage::Format_RGB32);
  img.fill(QColor(0, 255, 0));
  QPainter p(&img);
  p.setPen(QPen(QColor(0, 0, 128), 1));
  p.drawLine(7, 1, 7, 7);
  p.drawLine(7, 7, 2, 7);
  p.drawLine(2, 7, 4, 5);
  p.drawLine(2, 7, 4, 9);
  return img;
}

}  // namespace

QImage LoadBitmapResource(std::string_view ResourceName) {
  const std::string name = Upper(ResourceName);
  if (name == "QMEDITINTERNALIMAGES") return MakeBookmarkStrip();
  if (name == "QMEDITWRAPPED") return MakeWrappedGlyph();
  return QImage();
}

void TBitmap::Assign(const TPersistent &Source) {
  const TBitmap *b = dynamic_cast<const TBitmap *>(&Source);
  if (!b) return TPersistent::Assign(Source);
  if (b != this) SetImage(b->image_);
}

void TBitmap::SetImage(const QImage &Value) {
  image_ = Value;
  OnChange(this);
}

void TBitmap::LoadFromResourceName(std::string_view ResourceName) {
  SetImage(LoadBitmapResource(ResourceName));
}

int TImageList::Add(const QImage &Image) {
  images_.push_back(Image.scaled(width_, height_));
  return Count() - 1;
}

void TImageList::Draw(QPainter &Canvas, int X, int Y, int Index) const {
  if (Index < 0 || Index >= Count()) return;
  Canvas.drawImage(X, Y, images_[static_cast<std::size_t>(Index)]);
}

// ---- selection colours ---------------------------------------------------------------

void TQmSelectedColor::Assign(const TPersistent &Source) {
  const TQmSelectedColor *s = dynamic_cast<const TQmSelectedColor *>(&Source);
  if (!s) return TPersistent::Assign(Source);
  bg_ = s->bg_;
  fg_ = s->fg_;
  Changed();
}

void TQmSelectedColor::SetBackground(TColor Value) { QM_SET(bg_, Value); }
void TQmSelectedColor::SetForeground(TColor Value) { QM_SET(fg_, Value); }

// ---- gutter --------------------------------------------------------------------------

TQmGutter::TQmGutter() {
  font_.SetName("Courier New");
  font_.SetSize(8);
  font_.SetStyle(0);
  font_.OnChange = [this](TObject *) { Changed(); };
}

void TQmGutter::Assign(const TPersistent &Source) {
  const TQmGutter *g = dynamic_cast<const TQmGutter *>(&Source);
  if (!g) return TPersistent::Assign(Source);
  if (g == this) return Changed();
  autoSize_ = g->autoSize_;
  borderStyle_ = g->borderStyle_;
  color_ = g->color_;
  borderColor_ = g->borderColor_;
  cursor_ = g->cursor_;
  digitCount_ = g->digitCount_;
  {
    TNotifyEvent keep = font_.OnChange;
    font_.OnChange = nullptr;
    font_.Assign(g->font_);
    font_.OnChange = keep;
  }
  leadingZeros_ = g->leadingZeros_;
  leftOffset_ = g->leftOffset_;
  rightOffset_ = g->rightOffset_;
  showLineNumbers_ = g->showLineNumbers_;
  useFontStyle_ = g->useFontStyle_;
  visible_ = g->visible_;
  width_ = g->width_;
  zeroStart_ = g->zeroStart_;
  lineNumberStart_ = g->lineNumberStart_;
  gradient_ = g->gradient_;
  gradientStartColor_ = g->gradientStartColor_;
  gradientEndColor_ = g->gradientEndColor_;
  gradientSteps_ = g->gradientSteps_;
  autoSizeDigitCount_ = g->autoSizeDigitCount_;
  Changed();
}

void TQmGutter::SetAutoSize(bool Value) { QM_SET(autoSize_, Value); }
void TQmGutter::SetBorderStyle(TQmGutterBorderStyle Value) {
  borderStyle_ = Value;
  Changed();
}
void TQmGutter::SetColor(TColor Value) { QM_SET(color_, Value); }
void TQmGutter::SetBorderColor(TColor Value) { QM_SET(borderColor_, Value); }
void TQmGutter::SetCursor(TCursor Value) { QM_SET(cursor_, Value); }
void TQmGutter::SetDigitCount(int Value) {
  Value = ClampToRange(Value, 2, 12);
  if (digitCount_ != Value) {
    digitCount_ = Value;
    autoSizeDigitCount_ = Value;
    Changed();
  }
}
void TQmGutter::SetFont(const TFont &Value) { font_.Assign(Value); }
void TQmGutter::SetLeadingZeros(bool Value) { QM_SET(leadingZeros_, Value); }
void TQmGutter::SetLeftOffset(int Value) { QM_SET(leftOffset_, std::max(0, Value)); }
void TQmGutter::SetRightOffset(int Value) { QM_SET(rightOffset_, std::max(0, Value)); }
void TQmGutter::SetShowLineNumbers(bool Value) { QM_SET(showLineNumbers_, Value); }
void TQmGutter::SetUseFontStyle(bool Value) { QM_SET(useFontStyle_, Value); }
void TQmGutter::SetVisible(bool Value) { QM_SET(visible_, Value); }
void TQmGutter::SetWidth(int Value) { QM_SET(width_, std::max(0, Value)); }
void TQmGutter::SetZeroStart(bool Value) { QM_SET(zeroStart_, Value); }
void TQmGutter::SetLineNumberStart(int Value) {
  Value = std::max(0, Value);
  if (lineNumberStart_ != Value) {
    lineNumberStart_ = Value;
    zeroStart_ = Value == 0;
    Changed();
  }
}
void TQmGutter::SetGradient(bool Value) { QM_SET(gradient_, Value); }
void TQmGutter::SetGradientStartColor(TColor Value) { QM_SET(gradientStartColor_, Value); }
void TQmGutter::SetGradientEndColor(TColor Value) { QM_SET(gradientEndColor_, Value); }
void TQmGutter::SetGradientSteps(int Value) { QM_SET(gradientSteps_, std::max(2, Value)); }

int TQmGutter::ShownNumber(int Line) const {
  if (zeroStart_) return Line - 1;
  if (lineNumberStart_ > 1) return Line + lineNumberStart_ - 1;
  return Line;
}

void TQmGutter::UpdateDigitCountForLines(int LineCount) {
  if (visible_ && autoSize_ && showLineNumbers_) {
    const int n = std::max<int>(static_cast<int>(std::to_string(ShownNumber(LineCount)).size()), digitCount_);
    if (n != autoSizeDigitCount_) {
      autoSizeDigitCount_ = n;
      Changed();
    }
  } else {
    autoSizeDigitCount_ = digitCount_;
  }
}

std::string TQmGutter::LineNumberText(int Line) const {
  std::string num = std::to_string(ShownNumber(Line));
  if (static_cast<int>(num.size()) < autoSizeDigitCount_)
    num.insert(0, static_cast<std::size_t>(autoSizeDigitCount_) - num.size(), ' ');
  if (leadingZeros_)
    for (std::size_t i = 0; i + 1 < num.size() && num[i] == ' '; ++i) num[i] = '0';
  return num;
}

int TQmGutter::PixelWidth(int CharWidth) const {
  if (!visible_) return 0;
  if (showLineNumbers_) return leftOffset_ + rightOffset_ + CharWidth * autoSizeDigitCount_ + 2;
  return width_;
}

// ---- bookmark options ----------------------------------------------------------------

TQmBookMarkOpt::~TQmBookMarkOpt() {
  if (images_) images_->RemoveFreeNotification(this);
}

void TQmBookMarkOpt::Assign(const TPersistent &Source) {
  const TQmBookMarkOpt *b = dynamic_cast<const TQmBookMarkOpt *>(&Source);
  if (!b) return TPersistent::Assign(Source);
  if (b != this) {
    if (images_ != b->images_) {
      if (images_) images_->RemoveFreeNotification(this);
      images_ = b->images_;
      if (images_) images_->FreeNotification(this, [this] { images_ = nullptr, Changed(); });
    }
    drawFirst_ = b->drawFirst_;
    enableKeys_ = b->enableKeys_;
    glyphsVisible_ = b->glyphsVisible_;
    leftMargin_ = b->leftMargin_;
    xoffset_ = b->xoffset_;
  }
  Changed();
}

void TQmBookMarkOpt::SetBookmarkImages(TImageList *Value) {
  if (images_ == Value) return;
  if (images_) images_->RemoveFreeNotification(this);
  images_ = Value;
  if (images_) images_->FreeNotification(this, [this] { images_ = nullptr, Changed(); });
  Changed();
}
void TQmBookMarkOpt::SetDrawBookmarksFirst(bool Value) { QM_SET(drawFirst_, Value); }
void TQmBookMarkOpt::SetEnableKeys(bool Value) { QM_SET(enableKeys_, Value); }
void TQmBookMarkOpt::SetGlyphsVisible(bool Value) { QM_SET(glyphsVisible_, Value); }
void TQmBookMarkOpt::SetLeftMargin(int Value) { QM_SET(leftMargin_, Value); }
void TQmBookMarkOpt::SetXoffset(int Value) { QM_SET(xoffset_, Value); }

// ---- glyph ---------------------------------------------------------------------------

TQmGlyph::TQmGlyph(std::string_view ResourceName, TColor MaskColor) {
  if (!ResourceName.empty()) {
    internal_ = LoadBitmapResource(ResourceName);
    internalMaskColor_ = MaskColor;
  }
  glyph_.OnChange = [this](TObject *) { Changed(); };
}

void TQmGlyph::Assign(const TPersistent &Source) {
  const TQmGlyph *g = dynamic_cast<const TQmGlyph *>(&Source);
  if (!g) return TPersistent::Assign(Source);
  if (g != this) {
    TNotifyEvent keep = glyph_.OnChange;
    glyph_.OnChange = nullptr;
    glyph_.Assign(g->glyph_);
    glyph_.OnChange = keep;
    internal_ = g->internal_;
    internalMaskColor_ = g->internalMaskColor_;
    maskColor_ = g->maskColor_;
    visible_ = g->visible_;
  }
  Changed();
}

void TQmGlyph::SetMaskColor(TColor Value) { QM_SET(maskColor_, Value); }
void TQmGlyph::SetVisible(bool Value) { QM_SET(visible_, Value); }

int TQmGlyph::Width() const {
  if (!glyph_.Empty()) return glyph_.Width();
  if (!internal_.isNull()) return internal_.width();
  return 0;
}

// Draws Image at (X, Y) of a line of LineHeight: the middle part when the line is lower
// than the image, else the whole image centred vertically.
static void DrawInLine(QPainter &Canvas, const QImage &Image, QRect Source, int X, int Y, int LineHeight) {
  if (LineHeight < Source.height()) {
    Source.setTop(Source.top() + (Source.height() - LineHeight) / 2);
    Source.setHeight(LineHeight);
  } else {
    Y += (LineHeight - Source.height()) / 2;
  }
  Canvas.drawImage(QPoint(X, Y), Image, Source);
}

void TQmGlyph::Draw(QPainter &Canvas, int X, int Y, int LineHeight) const {
  const QImage *img = &glyph_.Image();
  TColor mask = maskColor_;
  if (img->isNull()) {
    img = &internal_;
    mask = internalMaskColor_;
  }
  if (img->isNull()) return;
  if (cacheKey_ != img->cacheKey() || cacheMask_ != mask || cache_.isNull()) {
    if (mask == clNone) {
      cache_ = *img;
    } else {
      const QRgb key = ToQColor(mask).rgb() & 0xFFFFFF;
      cache_ = img->convertToFormat(QImage::Format_ARGB32);
      for (int y = 0; y < cache_.height(); ++y) {
        QRgb *row = reinterpret_cast<QRgb *>(cache_.scanLine(y));
        for (int x = 0; x < cache_.width(); ++x)
          if ((row[x] & 0xFFFFFF) == key) row[x] = 0;
      }
    }
    cacheKey_ = img->cacheKey();
    cacheMask_ = mask;
  }
  DrawInLine(Canvas, cache_, cache_.rect(), X, Y, LineHeight);
}

// ---- image strip ---------------------------------------------------------------------

namespace {

struct TInternalResource {
  int UseCount;
  std::string Name;
  QImage Bitmap;
};

// The shared strips; the list exists while some strip is in use.
std::vector<TInternalResource *> *InternalResources = nullptr;

}  // namespace

TQmInternalImage::TQmInternalImage(std::string_view ResourceName, int Count)
    : name_(Upper(ResourceName)), count_(std::max(1, Count)) {
  if (!InternalResources) InternalResources = new std::vector<TInternalResource *>;
  TInternalResource *res = nullptr;
  for (TInternalResource *r : *InternalResources)
    if (r->Name == name_) res = r;
  if (res) {
    ++res->UseCount;
  } else {
    res = new TInternalResource{1, name_, LoadBitmapResource(name_)};
    InternalResources->push_back(res);
  }
  strip_ = &res->Bitmap;
  width_ = (strip_->width() + count_ / 2) / count_;
  height_ = strip_->height();
}

TQmInternalImage::~TQmInternalImage() {
  if (!InternalResources) return;
  auto &list = *InternalResources;
  for (auto it = list.begin(); it != list.end(); ++it) {
    if ((*it)->Name != name_) continue;
    if (--(*it)->UseCount == 0) {
      delete *it;
      list.erase(it);
    }
    break;
  }
  if (list.empty()) {
    delete InternalResources;
    InternalResources = nullptr;
  }
}

void TQmInternalImage::DrawCell(QPainter &Canvas, int Index, int X, int Y, int LineHeight) const {
  if (Index < 0 || Index >= count_ || strip_->isNull()) return;
  DrawInLine(Canvas, *strip_, QRect(Index * width_, 0, width_, height_), X, Y, LineHeight);
}

// ---- method chains -------------------------------------------------------------------

void TQmMethodChain::CallEach() {
  for (int i = 0; i < MethodCount(); ++i) {
    try {
      DoFire(i);
    } catch (const std::exception &e) {
      if (!OnException) throw;
      bool doContinue = true;
      try {
        OnException(this, e, doContinue);
      } catch (...) {
        throw EQmMethodChain(std::string(ClassName()) +
                             ".DoHandleException : MUST NOT occur any kind of exception in ExceptionHandler");
      }
      if (!doContinue) break;
    }
  }
}

void TQmNotifyEventChain::Remove(const TNotifyEvent &Method) {
  std::erase_if(methods_, [&](const TNotifyEvent &m) { return m == Method; });
}

void TQmNotifyEventChain::DoFire(int Index) {
  TNotifyEvent m = methods_[static_cast<std::size_t>(Index)];  // a handler may change the chain
  m(Sender);
}
