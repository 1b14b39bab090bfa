#include "components/editor/QmTextDrawer.h"

#include <QFontMetrics>
#include <QPainter>
#include <QTextLayout>
#include <algorithm>

#include "components/editor/QmEditMiscProcs.h"
#include "components/qtext.h"
#include "platform/cp932.h"

namespace {

void Check(bool Condition, const char *What) {
  if (!Condition) throw EAssertionFailed(What);
}

// The comparable description of a font: what makes two fonts draw alike in every style.
std::string ComparableFont(const TFont &Font) {
  std::string key = Font.Name();
  key += '\0';
  key += std::to_string(Font.Size()) + "," + std::to_string(Font.Charset()) + "," +
         ((Font.Style() & fsBold) ? "700" : "400");
  return key;
}

// The glyphs of one character in the font, with Qt's fallback faces filling in, placed
// relative to the top-left corner of a cell whose baseline lies Ascent below its top.
std::vector<TheCharGlyph> ResolveGlyphs(const QFont &Font, char32_t Ch, int Ascent) {
  std::vector<TheCharGlyph> out;
  QTextLayout layout(QString::fromUcs4(&Ch, 1), Font);
  layout.setCacheEnabled(false);
  layout.beginLayout();
  QTextLine line = layout.createLine();
  layout.endLayout();
  if (!line.isValid()) return out;
  const qreal baseline = line.y() + line.ascent();
  for (const QGlyphRun &run : layout.glyphRuns()) {
    const QList<quint32> idx = run.glyphIndexes();
    const QList<QPointF> pos = run.positions();
    for (qsizetype i = 0; i < idx.size() && i < pos.size(); ++i)
      out.push_back({run.rawFont(), idx[i], QPointF(pos[i].x(), pos[i].y() - baseline + Ascent)});
  }
  return out;
}

}  // namespace

// ---- shared fonts ---------------------------------------------------------------------

TheFontsInfoManager::~TheFontsInfoManager() = default;

TheFontsInfoManager &GetFontsInfoManager() {
  static TheFontsInfoManager manager;
  return manager;
}

TheSharedFontsInfo *TheFontsInfoManager::GetFontsInfo(const TFont *Font) {
  Check(Font != nullptr, "GetFontsInfo: a font must be given");
  const std::string key = ComparableFont(*Font);
  for (auto &info : list_)
    if (info->BaseLF == key) {
      ++info->RefCount;
      return info.get();
    }
  auto info = std::make_unique<TheSharedFontsInfo>();
  info->BaseFont.Assign(*Font);
  info->BaseLF = key;
  info->RefCount = 1;
  list_.push_back(std::move(info));
  return list_.back().get();
}

void TheFontsInfoManager::ReleaseFontsInfo(TheSharedFontsInfo *Info) {
  auto it = std::find_if(list_.begin(), list_.end(), [Info](const auto &p) { return p.get() == Info; });
  Check(it != list_.end(), "ReleaseFontsInfo: unknown record");
  Check(Info->LockCount < Info->RefCount, "Call DeactivateFontsInfo before calling this.");
  if (Info->RefCount < 2) list_.erase(it);
  else --Info->RefCount;
}

void TheFontsInfoManager::ActivateFontsInfo(TheSharedFontsInfo *Info) { ++Info->LockCount; }

void TheFontsInfoManager::DeactivateFontsInfo(TheSharedFontsInfo *Info) {
  Check(Info->LockCount > 0, "DeactivateFontsInfo: not active");
  if (--Info->LockCount == 0)
    for (TheFontData &d : Info->FontsData) {
      d.Handle.reset();
      d.Glyphs.clear();
    }
}

// ---- font stock ----------------------------------------------------------------------

TheFontStock::TheFontStock(const TFont *Font) { SetBaseFont(Font); }

TheFontStock::~TheFontStock() {
  ReleaseFontHandles();
  if (info_) GetFontsInfoManager().ReleaseFontsInfo(info_);
}

void TheFontStock::SetBaseFont(const TFont *Value) {
  if (!Value) throw EheFontStockException("SetBaseFont: 'Value' must be specified.");
  TheFontsInfoManager &manager = GetFontsInfoManager();
  TheSharedFontsInfo *info = manager.GetFontsInfo(Value);
  if (info == info_) {
    manager.ReleaseFontsInfo(info);
    return;
  }
  ReleaseFontHandles();
  if (info_) manager.ReleaseFontsInfo(info_);
  info_ = info;
  current_ = nullptr;
  SetStyle(Value->Style());
}

void TheFontStock::SetStyle(TFontStyles Value) {
  Check(Value <= 15, "SetStyle: style out of range");
  if (!usingFontHandles_) {
    GetFontsInfoManager().ActivateFontsInfo(info_);
    usingFontHandles_ = true;
  }
  TheFontData *data = &info_->FontsData[Value];
  if (current_ == data && data->Handle) return;
  current_ = data;
  currentStyle_ = Value;
  if (data->Handle) return;
  const TFont &base = info_->BaseFont;
  auto font = std::make_unique<QFont>(ToQ(base.Name()));
  font->setStyleHint(QFont::TypeWriter);
  if (base.Size() > 0) font->setPointSize(base.Size());
  font->setWeight((Value & fsBold) ? QFont::Bold : QFont::Normal);
  font->setItalic(Value & fsItalic);
  font->setUnderline(Value & fsUnderline);
  font->setStrikeOut(Value & fsStrikeOut);
  font->setKerning(false);
  data->Style = Value;
  if (!data->Measured) {
    const QFontMetrics fm(*font);
    data->CharAdv = fm.horizontalAdvance(QChar('M'));
    data->CharHeight = std::abs(fm.height());
    data->Ascent = fm.ascent();
    data->UnderlinePos = fm.underlinePos();
    data->StrikeOutPos = fm.strikeOutPos();
    data->LineWidth = std::max(1, fm.lineWidth());
    data->Measured = true;
  }
  data->Handle = std::move(font);
}

const QFont &TheFontStock::CurrentFont() const {
  static const QFont none;
  return current_ && current_->Handle ? *current_->Handle : none;
}

void TheFontStock::ReleaseFontHandles() {
  if (!usingFontHandles_) return;
  usingFontHandles_ = false;
  GetFontsInfoManager().DeactivateFontsInfo(info_);
}

// ---- text drawer ---------------------------------------------------------------------

TheTextDrawer::TheTextDrawer(TFontStyles BaseStyle, const TFont *BaseFont)
    : fontStock_(std::make_unique<TheFontStock>(BaseFont)), baseStyle_(BaseStyle) {
  SetBaseFont(BaseFont);
}

TheTextDrawer::~TheTextDrawer() = default;

void TheTextDrawer::BeginDrawing(QPainter *DC) {
  Check(DC != nullptr, "BeginDrawing: a painter must be given");
  if (dc_ == DC) {
    ++drawingCount_;
    return;
  }
  Check(dc_ == nullptr && drawingCount_ == 0, "BeginDrawing: already drawing on another painter");
  dc_ = DC;
  dc_->save();
  ApplyFont();
  dc_->setPen(ToQColor(color_));
  dc_->setBackground(ToQColor(bkColor_));
  drawingCount_ = 1;
}

void TheTextDrawer::EndDrawing() {
  Check(drawingCount_ > 0, "EndDrawing: not drawing");
  if (--drawingCount_ == 0) {
    dc_->restore();
    dc_ = nullptr;
  }
}

void TheTextDrawer::ApplyFont() {
  if (dc_) dc_->setFont(fontStock_->CurrentFont());
}

void TheTextDrawer::SetBaseFont(const TFont *Value) {
  if (!Value) throw EheTextDrawerException("SetBaseFont: 'Value' must be specified.");
  etoDist_.clear();
  fontStock_->SetBaseFont(Value);
  fontStock_->SetStyle(baseStyle_);
  charWidth_ = fontStock_->CharAdvance();
  charHeight_ = fontStock_->CharHeight();
  SetStyle(Value->Style());
}

void TheTextDrawer::SetBaseStyle(TFontStyles Value) {
  if (baseStyle_ == Value) return;
  baseStyle_ = Value;
  etoDist_.clear();
  fontStock_->SetStyle(Value);
  charWidth_ = fontStock_->CharAdvance();
  charHeight_ = fontStock_->CharHeight();
  ApplyFont();
}

void TheTextDrawer::SetStyle(TFontStyles Value) {
  fontStock_->SetStyle(Value);
  ApplyFont();
}

void TheTextDrawer::SetForeColor(TColor Value) {
  if (color_ == Value) return;
  color_ = Value;
  if (dc_) dc_->setPen(ToQColor(color_));
}

void TheTextDrawer::SetBackColor(TColor Value) {
  if (bkColor_ == Value) return;
  bkColor_ = Value;
  if (dc_) dc_->setBackground(ToQColor(bkColor_));
}

void TheTextDrawer::SetCharExtra(int Value) {
  if (charExtra_ == Value) return;
  charExtra_ = Value;
  std::fill(etoDist_.begin(), etoDist_.end(), CharWidth());
}

void TheTextDrawer::TextOut(int X, int Y, std::string_view Text, int Count) {
  if (!dc_ || Count <= 0) return;
  Text = Text.substr(0, std::min<std::size_t>(Text.size(), static_cast<std::size_t>(Count)));
  const TheFontData *data = fontStock_->CurrentData();
  dc_->drawText(QPointF(X, Y + (data ? data->Ascent : 0)), ToQ(Text));
}

void TheTextDrawer::ExtTextOut(int X, int Y, unsigned Options, const QRect *Rect, std::string_view Text,
                               int Count) {
  if (!dc_) return;
  if (Rect && (Options & ETO_OPAQUE)) dc_->fillRect(*Rect, ToQColor(bkColor_));
  Count = std::min(Count, static_cast<int>(Text.size()));
  if (Count <= 0) return;
  Text = Text.substr(0, static_cast<std::size_t>(Count));
  if (Count > static_cast<int>(etoDist_.size()))
    etoDist_.resize(static_cast<std::size_t>(Count / 64 * 64 + 64), CharWidth());

  if (!fontStock_->CurrentData()->Handle) fontStock_->SetStyle(fontStock_->Style());
  TheFontData &data = *fontStock_->CurrentData();

  // Every glyph at its cell, gathered per face so that each face is drawn in one run.
  struct Batch {
    QRawFont font;
    QList<quint32> indexes;
    QList<QPointF> positions;
  };
  std::vector<Batch> batches;
  int x = X;
  for (std::size_t i = 0; i < Text.size();) {
    const std::size_t n = cp932::CharLen(Text, i);
    const unsigned char b = static_cast<unsigned char>(Text[i]);
    if (b >= 0x20 && b != 0x7F && !(n == 1 && cp932::IsLeadByte(b))) {
      const char32_t ch = cp932::DecodeChar(Text, i);
      auto it = data.Glyphs.find(ch);
      if (it == data.Glyphs.end()) it = data.Glyphs.emplace(ch, ResolveGlyphs(*data.Handle, ch, data.Ascent)).first;
      for (const TheCharGlyph &g : it->second) {
        auto batch = std::find_if(batches.begin(), batches.end(), [&](const Batch &bt) { return bt.font == g.Font; });
        if (batch == batches.end()) batch = batches.insert(batches.end(), Batch{g.Font, {}, {}});
        batch->indexes.push_back(g.Index);
        batch->positions.push_back(QPointF(x, Y) + g.Offset);
      }
    }
    for (std::size_t k = 0; k < n; ++k) x += etoDist_[i + k];
    i += n;
  }

  const bool clip = Rect && (Options & ETO_CLIPPED);
  if (clip) {
    dc_->save();
    dc_->setClipRect(*Rect, Qt::IntersectClip);
  }
  for (const Batch &bt : batches) {
    QGlyphRun run;
    run.setRawFont(bt.font);
    run.setGlyphIndexes(bt.indexes);
    run.setPositions(bt.positions);
    dc_->drawGlyphRun(QPointF(0, 0), run);
  }
  // Underline and strike-out run along the cells, not along the glyphs.
  const TFontStyles style = fontStock_->Style();
  if (style & (fsUnderline | fsStrikeOut)) {
    const QColor pen = dc_->pen().color();
    auto bar = [&](int y) { dc_->fillRect(QRect(X, y, x - X, data.LineWidth), pen); };
    if (style & fsUnderline) bar(Y + data.Ascent + data.UnderlinePos);
    if (style & fsStrikeOut) bar(Y + data.Ascent - data.StrikeOutPos);
  }
  if (clip) dc_->restore();
}

void TheTextDrawer::ReleaseTemporaryResources() { fontStock_->ReleaseFontHandles(); }
