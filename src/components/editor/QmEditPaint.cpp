// Painting of the editor: the gutter and the text rows, cell by cell, with the
// highlighter's colours, the selection in its three modes, the active line, visible blanks,
// tabs and line ends, and the right edge.
#include <QPainter>
#include <algorithm>
#include <climits>

#include "components/editor/QmEdit.h"
#include "components/qtext.h"
#include "platform/cp932.h"

namespace {

constexpr unsigned char kBlankMark = 0xB7;
constexpr unsigned char kTabMark = 0xBB;
constexpr unsigned char kEolMark = 0xB6;

struct TCellLook {
  TColor Fg, Bg;
  TFontStyles Style;
  bool operator==(const TCellLook &) const = default;
};

}  // namespace

TColor TCustomQmEdit::EditorBackground(int Line) const {
  if (FActiveLineColor != clNone && Line == FCaretY) return FActiveLineColor;
  if (FHighlighter) {
    if (const TQmHighlighterAttributes *ws = FHighlighter->GetDefaultAttribute(SYN_ATTR_WHITESPACE))
      if (ws->Background() != clNone) return ws->Background();
  }
  return FColor;
}

void TCustomQmEdit::DoOnPaintTransient(TTransientType Type, bool Counted) {
  bool fire;
  if (Counted) {
    if (Type == ttBefore) {
      fire = FPaintTransientLock == 0;
      ++FPaintTransientLock;
    } else {
      fire = FPaintTransientLock == 1;
      if (FPaintTransientLock > 0) --FPaintTransientLock;
    }
  } else {
    fire = FPaintTransientLock == 0;
  }
  if (!fire || !OnPaintTransient) return;
  if (!FCanvas) {
    OnPaintTransient(this, nullptr, Type);
    return;
  }
  FCanvas->save();
  FCanvas->setFont(ControlFont());
  FCanvas->setBrush(ToQColor(FColor));
  const TQmScopeExit restore([this] { FCanvas->restore(); });
  OnPaintTransient(this, FCanvas, Type);
}

void TCustomQmEdit::PaintTo(QPainter &Canvas, const QRect &Clip) {
  if (FCharWidth <= 0 || FTextHeight <= 0) return;
  FCanvas = &Canvas;
  const int cw = FCharWidth, lh = FTextHeight;
  const int textLeft = FGutterWidth + 2;
  const int firstCol = Clip.left() > textLeft ? FLeftChar + (Clip.left() - textLeft) / cw : FLeftChar;
  const int lastCol = FLeftChar + (Clip.right() + 1 + cw - FGutterWidth - 3) / cw;
  const int firstRow = std::max(FTopLine, FTopLine + Clip.top() / lh);
  const int lastRow = ClampToRange((Clip.bottom() + 1 + lh - 1) / lh + FTopLine, 1, DisplayLineCount());
  try {
    // The gutter part and the text part of the clip.
    if (Clip.left() < FGutterWidth) {
      QRect g = Clip;
      g.setRight(std::min(Clip.right(), FGutterWidth - 1));
      PaintGutter(Canvas, g, firstRow, lastRow);
    }
    if (Clip.right() + 1 > FGutterWidth) {
      QRect t = Clip;
      t.setLeft(std::max(Clip.left(), FGutterWidth));
      PaintTextLines(Canvas, t, firstRow, lastRow, firstCol, lastCol);
    }
    for (TQmEditPlugin *p : FPlugins) p->AfterPaint(Canvas, Clip, firstRow, lastRow);
    if (OnPaint) {
      Canvas.save();
      Canvas.setFont(ControlFont());
      Canvas.setBrush(ToQColor(FColor));
      OnPaint(this, Canvas);
      Canvas.restore();
    }
    DoOnPaintTransient(ttAfter);
  } catch (...) {
    FCanvas = nullptr;
    throw;
  }
  // The text being composed in the input method, then the caret over everything.
  if (!FImePreedit.isEmpty()) {
    const std::string text = FromQ(FImePreedit);
    const QPoint at = FCaretPos - FCaretOffset - QPoint(0, 1);
    const QRect r(at, QSize(static_cast<int>(text.size()) * cw, lh));
    FTextDrawer->BeginDrawing(&Canvas);
    FTextDrawer->SetStyle(FFont->Style() | fsUnderline);
    FTextDrawer->SetForeColor(FFont->Color());
    FTextDrawer->SetBackColor(EditorBackground(FCaretY));
    FTextDrawer->ExtTextOut(r.left(), r.top(), ETO_OPAQUE | ETO_CLIPPED, &r, text, static_cast<int>(text.size()));
    FTextDrawer->EndDrawing();
  }
  if (FCaretVisible && FCaretBlinkOn && CaretRect().intersects(Clip)) {
    Canvas.save();
    Canvas.setCompositionMode(QPainter::CompositionMode_Difference);
    Canvas.fillRect(CaretRect(), Qt::white);
    Canvas.restore();
  }
  FCanvas = nullptr;
}

// ---- gutter ----------------------------------------------------------------------------------

void TCustomQmEdit::DrawMark(QPainter &Canvas, const TQmEditMark &Mark, int &Offset, int MarkRow) {
  const int top = (MarkRow - FTopLine) * FTextHeight;
  TImageList *images = FBookMarkOpt->BookmarkImages();
  if (Mark.InternalImage || !images) {
    if (Mark.ImageIndex >= 0 && Mark.ImageIndex <= 9 && Offset == 0) {
      if (!FInternalImages) FInternalImages = std::make_unique<TQmInternalImage>("QmEditInternalImages", 10);
      FInternalImages->DrawCell(Canvas, Mark.ImageIndex, FBookMarkOpt->LeftMargin() + Offset, top, FTextHeight);
    }
  } else if (Mark.ImageIndex >= 0 && Mark.ImageIndex < images->Count()) {
    if (Mark.IsBookmark() == FBookMarkOpt->DrawBookmarksFirst())
      Offset = 0;
    else if (Offset == 0)
      Offset = FBookMarkOpt->Xoffset();
    images->Draw(Canvas, FBookMarkOpt->LeftMargin() + Offset, top, Mark.ImageIndex);
  }
  Offset += FBookMarkOpt->Xoffset();
}

void TCustomQmEdit::PaintGutter(QPainter &Canvas, const QRect &Clip, int FirstRow, int LastRow) {
  Canvas.save();
  const QRect gutterClip = Clip.intersected(QRect(0, 0, FGutterWidth, viewport()->height()));
  Canvas.setClipRect(gutterClip);
  const int lh = FTextHeight;
  const int firstLine = std::max(1, RowToLine(FirstRow));
  const int lastLine = std::min(FLines->Count(), RowToLine(LastRow));
  const bool gradient = FGutter->Gradient();
  if (gradient)
    DrawGradient(Canvas, FGutter->GradientStartColor(), FGutter->GradientEndColor(), true,
                 QRect(0, 0, FGutterWidth, viewport()->height()), FGutter->GradientSteps());
  const QColor gutterColor = ToQColor(FGutter->Color());

  if (FGutter->ShowLineNumbers()) {
    if (FGutter->UseFontStyle()) {
      FTextDrawer->SetBaseFont(&FGutter->Font());
    } else {
      TFont plain;
      plain.Assign(*FFont);
      plain.SetStyle(0);
      FTextDrawer->SetBaseFont(&plain);
    }
    FTextDrawer->BeginDrawing(&Canvas);
    FTextDrawer->SetForeColor(FGutter->UseFontStyle() ? FGutter->Font().Color() : FFont->Color());
    FTextDrawer->SetBackColor(FGutter->Color());
    const int right = std::max(Clip.right() + 1, FGutterWidth - 2);
    int bottom = 0;
    for (int line = firstLine; line <= lastLine; ++line) {
      const int row = LineToRow(line);
      const int y = (row - FTopLine) * lh;
      if (FWordWrap && !gradient && y > bottom) Canvas.fillRect(QRect(Clip.left(), bottom, right - Clip.left(), y - bottom), gutterColor);
      std::string text = FGutter->LineNumberText(line);
      OnGutterGetText(this, line, text);
      const QRect r(Clip.left(), y, right - Clip.left(), lh);
      const int tx = FGutterWidth - FGutter->RightOffset() - static_cast<int>(text.size()) * FTextDrawer->CharWidth() - 2;
      const int ty = y + (lh - FTextDrawer->CharHeight()) / 2;
      FTextDrawer->ExtTextOut(tx, ty, gradient ? ETO_CLIPPED : (ETO_OPAQUE | ETO_CLIPPED), &r, text,
                              static_cast<int>(text.size()));
      bottom = y + lh;
    }
    if (!gradient && bottom <= Clip.bottom())
      Canvas.fillRect(QRect(Clip.left(), bottom, right - Clip.left(), Clip.bottom() + 1 - bottom), gutterColor);
    FTextDrawer->EndDrawing();
    FTextDrawer->SetBaseFont(FFont.get());
  } else if (!gradient) {
    Canvas.fillRect(gutterClip, gutterColor);
  }

  if (FWordWrap && FWordWrapGlyph->Visible()) {
    for (int row = FirstRow; row <= LastRow; ++row) {
      if (LineToRow(RowToLine(row)) == row) continue;
      FWordWrapGlyph->Draw(Canvas, FGutterWidth - FGutter->RightOffset() - FWordWrapGlyph->Width() - 2,
                           (row - FTopLine) * lh, lh);
    }
  }

  if (FGutter->BorderStyle() != gbsNone && Clip.right() + 1 >= FGutterWidth - 2) {
    const int top = Clip.top(), bottom = Clip.bottom();
    if (FGutter->BorderStyle() == gbsMiddle) {
      Canvas.setPen(ToQColor(FGutter->BorderColor()));
      Canvas.drawLine(FGutterWidth - 2, top, FGutterWidth - 2, bottom);
      Canvas.setPen(gutterColor);
      Canvas.drawLine(FGutterWidth - 1, top, FGutterWidth - 1, bottom);
    } else {
      Canvas.setPen(ToQColor(FGutter->BorderColor()));
      Canvas.drawLine(FGutterWidth - 1, top, FGutterWidth - 1, bottom);
    }
  }

  if (FBookMarkOpt->GlyphsVisible() && FMarks->Count() > 0 && lastLine >= firstLine) {
    std::vector<int> offsets(static_cast<std::size_t>(lastLine - firstLine + 1), 0);
    for (int pass = 0; pass < 2; ++pass) {
      const bool bookmarks = pass == 0 ? FBookMarkOpt->DrawBookmarksFirst() : !FBookMarkOpt->DrawBookmarksFirst();
      for (int i = 0; i < FMarks->Count(); ++i) {
        const TQmEditMark &m = *FMarks->Items(i);
        if (!m.Visible || m.Line < firstLine || m.Line > lastLine || m.IsBookmark() != bookmarks) continue;
        DrawMark(Canvas, m, offsets[static_cast<std::size_t>(m.Line - firstLine)], LineToRow(m.Line));
      }
    }
    if (OnGutterPaint)
      for (int line = firstLine; line <= lastLine; ++line)
        OnGutterPaint(this, line, offsets[static_cast<std::size_t>(line - firstLine)],
                      (LineToRow(line) - FTopLine) * lh);
  } else if (OnGutterPaint) {
    for (int line = firstLine; line <= lastLine; ++line) OnGutterPaint(this, line, 0, (LineToRow(line) - FTopLine) * lh);
  }
  Canvas.restore();
}

// ---- text ------------------------------------------------------------------------------------

void TCustomQmEdit::PaintTextLines(QPainter &Canvas, QRect Clip, int FirstRow, int LastRow, int FirstCol,
                                   int LastCol) {
  Canvas.save();
  Canvas.setClipRect(Clip);
  const int cw = FCharWidth, lh = FTextHeight;
  const int edgeX = FRightEdge > 0 ? FRightEdge * cw + FTextOffset : INT_MIN;
  auto drawEdge = [&](int top, int bottom) {
    if (edgeX >= Clip.left() && edgeX <= Clip.right()) {
      const QPen pen = Canvas.pen();  // the text drawer's colour
      Canvas.setPen(ToQColor(FRightEdgeColor));
      Canvas.drawLine(edgeX, top, edgeX, bottom);
      Canvas.setPen(pen);
    }
  };
  // The marks of blanks, tabs and line ends are the bytes 0xB7, 0xBB and 0xB6, shown as
  // the signs those bytes stand for in the Western code page, centred in their cells.
  auto drawMark = [&](int column, int top, unsigned char mark, TColor color) {
    const QPen pen = Canvas.pen();
    Canvas.setPen(ToQColor(color));
    Canvas.drawText(QRect(FTextOffset + (column - 1) * cw, top, cw, lh), Qt::AlignCenter, QString(QChar(mark)));
    Canvas.setPen(pen);
  };
  drawEdge(Clip.top(), Clip.bottom());

  // The margin left of the text.
  const int textLeft = FGutterWidth + 2;
  if (Clip.left() < textLeft) {
    if (FHighlighter) FHighlighter->ResetRange();
    Canvas.fillRect(QRect(Clip.left(), Clip.top(), textLeft - Clip.left(), Clip.height()), ToQColor(EditorBackground(0)));
    Clip.setLeft(textLeft);
  }

  // The selection in display positions.
  bool hasSel = HasSelection() && !(FHideSelection && !hasFocus());
  TDisplayPos selStart, selEnd;
  if (hasSel) {
    const TBufferPos s = BlockStart(), f = BlockFinish();
    if (f.Line < RowToLine(FirstRow) || s.Line > RowToLine(std::max(LastRow, FirstRow))) hasSel = false;
    selStart = BufferToDisplayPos(s);
    selEnd = BufferToDisplayPos(f);
    if (FActiveSelectionMode == smColumn && selStart.Column > selEnd.Column) std::swap(selStart.Column, selEnd.Column);
    if (FActiveSelectionMode == smLine) {
      selStart = {1, LineToRow(s.Line)};
      selEnd = {INT_MAX / 2, FWordWrap ? LineToRow(f.Line + 1) - 1 : f.Line};
      if (selEnd.Row < selStart.Row) selEnd.Row = selStart.Row;
    }
  }

  const TQmHighlighterAttributes *commentAttr = FHighlighter ? FHighlighter->GetDefaultAttribute(SYN_ATTR_COMMENT) : nullptr;
  const TQmHighlighterAttributes *spaceAttr = FHighlighter ? FHighlighter->GetDefaultAttribute(SYN_ATTR_WHITESPACE) : nullptr;
  const bool useHighlighter = FHighlighter && FHighlighter->Enabled();

  FTextDrawer->SetBaseStyle(FFont->Style());
  FTextDrawer->BeginDrawing(&Canvas);
  int line = 0;
  std::string expanded;
  std::vector<const TQmHighlighterAttributes *> attrs;
  const TQmHighlighterAttributes *trailingAttr = nullptr;
  TColor lineFg = FFont->Color(), lineBg = FColor;
  bool special = false;
  const int maxRow = std::min(LastRow, DisplayLineCount());
  for (int row = FirstRow; row <= maxRow; ++row) {
    const int rowLine = RowToLine(row);
    if (rowLine < 1 || rowLine > FLines->Count()) break;
    if (rowLine != line) {
      line = rowLine;
      expanded = FLines->ExpandedLineText(line - 1);
      attrs.assign(expanded.size(), nullptr);
      trailingAttr = nullptr;
      if (useHighlighter) {
        if (line == 1)
          FHighlighter->ResetRange();
        else
          FHighlighter->SetRange(FLines->LineRangeState(line - 2));
        FHighlighter->SetLine(expanded, line - 1);
        const TQmHighlighterAttributes *last = nullptr;
        while (!FHighlighter->AtLineEnd()) {
          const int pos = FHighlighter->GetTokenPos();
          const int len = static_cast<int>(FHighlighter->GetToken().size());
          last = FHighlighter->GetTokenAttribute();
          for (int i = pos; i < pos + len && i < static_cast<int>(attrs.size()); ++i)
            attrs[static_cast<std::size_t>(i)] = last;
          FHighlighter->Next();
        }
        trailingAttr = (last && last == commentAttr) ? commentAttr : spaceAttr;
      }
      lineFg = FFont->Color();
      lineBg = EditorBackground(line);
      special = false;
      OnSpecialLineColors(this, line, special, lineFg, lineBg);
    }
    const TColor selFg = special ? lineBg : FSelectedColor->Foreground();
    const TColor selBg = special ? lineFg : FSelectedColor->Background();
    const bool activeLine = FActiveLineColor != clNone && line == FCaretY;

    // The part of the expanded line this row shows.
    int segStart = 0, segLen = static_cast<int>(expanded.size());
    if (FWordWrap) {
      const TBufferPos b = FWordWrap->DisplayToBufferPos({1, row});
      segStart = b.Char - 1;
      segLen = FWordWrap->RowLength(row);
    }
    const std::string_view rowText = std::string_view(expanded).substr(
        std::min<std::size_t>(expanded.size(), static_cast<std::size_t>(segStart)),
        static_cast<std::size_t>(segLen));
    const bool lastRowOfLine = segStart + segLen >= static_cast<int>(expanded.size());
    const int eolCol = lastRowOfLine ? segLen + 1 : 0;

    // Selected columns of this row: [a, b).
    int selA = 0, selB = 0;
    if (hasSel && row >= selStart.Row && row <= selEnd.Row) {
      selA = 1;
      selB = INT_MAX / 2;
      if (FActiveSelectionMode == smColumn) {
        selA = selStart.Column;
        selB = selEnd.Column;
        if (IsTrailByteAt(rowText, selA)) ++selA;
        if (IsTrailByteAt(rowText, selB)) ++selB;
      } else if (FActiveSelectionMode == smNormal) {
        if (row == selStart.Row) selA = selStart.Column;
        if (row == selEnd.Row) selB = selEnd.Column;
      }
    }

    auto lookOf = [&](int col, unsigned char &byte) {
      const int e = col - 1;  // 0-based in the row
      const TQmHighlighterAttributes *a = nullptr;
      if (e < segLen) {
        byte = static_cast<unsigned char>(rowText[static_cast<std::size_t>(e)]);
        a = useHighlighter ? attrs[static_cast<std::size_t>(segStart + e)] : nullptr;
      } else {
        byte = (FShowSpecialChars && col == eolCol) ? kEolMark : ' ';
        a = trailingAttr;
      }
      TCellLook look{lineFg, lineBg, FFont->Style()};
      if (a && !special) {
        look.Style = a->Style();
        look.Bg = (a->Background() == clNone || activeLine) ? lineBg : a->Background();
        look.Fg = a->Foreground() == clNone ? FFont->Color() : a->Foreground();
      } else if (a && special && HasOption(eoSpecialLineDefaultFg)) {
        look.Style = a->Style();
        if (a->Foreground() != clNone) look.Fg = a->Foreground();
      } else if (a) {
        look.Style = a->Style();
      }
      if (col >= selA && col < selB) {
        look.Fg = selFg;
        look.Bg = selBg;
      }
      return look;
    };

    const int top = (row - FTopLine) * lh;
    int col = FirstCol;
    while (col <= LastCol) {
      unsigned char byte;
      const TCellLook look = lookOf(col, byte);
      int end = col + 1;
      std::string text(1, static_cast<char>(byte));
      while (end <= LastCol) {
        unsigned char b2;
        if (!(lookOf(end, b2) == look)) break;
        text += static_cast<char>(b2);
        ++end;
      }
      // Blanks and tabs as they are shown.
      std::vector<std::pair<int, unsigned char>> marks;
      for (std::size_t i = 0; i < text.size(); ++i) {
        const int c = col + static_cast<int>(i);
        const bool inLine = c - 1 < segLen;
        if (!inLine && static_cast<unsigned char>(text[i]) == kEolMark) {
          text[i] = ' ';
          marks.emplace_back(c, kEolMark);
        } else if (inLine && text[i] == '\t') {
          text[i] = ' ';
          const int abs = segStart + c - 1;  // 0-based in the expanded line
          const int tabWidth = std::max(FTabWidth, 1);
          if (FShowSpecialChars && abs % tabWidth == 0) {
            int spanEnd = abs + 1;
            while (spanEnd < static_cast<int>(expanded.size()) && expanded[static_cast<std::size_t>(spanEnd)] == '\t' &&
                   spanEnd % tabWidth != 0)
              ++spanEnd;
            marks.emplace_back(c + (spanEnd - abs - 1) / 2, kTabMark);
          }
        } else if (inLine && FShowSpecialChars && text[i] == ' ') {
          marks.emplace_back(c, kBlankMark);
        }
      }
      const QRect r(FTextOffset + (col - 1) * cw, top, (end - col) * cw, lh);
      int x = r.left();
      // A double-byte character cut at the run's left edge is drawn whole, clipped.
      if (col > 1 && col - 1 <= segLen && IsTrailByteAt(rowText, col)) {
        text.insert(text.begin(), rowText[static_cast<std::size_t>(col - 2)]);
        x -= cw;
      }
      if (end - 1 <= segLen && end - 1 >= 1 && end <= segLen && IsTrailByteAt(rowText, end))
        text += rowText[static_cast<std::size_t>(end - 1)];
      FTextDrawer->SetStyle(look.Style);
      FTextDrawer->SetForeColor(look.Fg);
      FTextDrawer->SetBackColor(look.Bg);
      FTextDrawer->ExtTextOut(x, top, ETO_OPAQUE | ETO_CLIPPED, &r, text, static_cast<int>(text.size()));
      for (auto [c, mark] : marks) drawMark(c, top, mark, look.Fg);
      col = end;
    }
    drawEdge(top, top + lh);
  }
  FTextDrawer->EndDrawing();

  // Below the last row.
  const int below = lh * (std::max(maxRow, FTopLine - 1) - FTopLine + 1);
  if (below <= Clip.bottom()) {
    Canvas.fillRect(QRect(Clip.left(), below, Clip.width(), Clip.bottom() + 1 - below), ToQColor(EditorBackground(0)));
    drawEdge(below, Clip.bottom());
  }
  Canvas.restore();
}
