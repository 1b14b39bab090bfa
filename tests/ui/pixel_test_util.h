// Looking for a colour in what a widget drew.
#pragma once

#include <QColor>
#include <QImage>

namespace qmtest {

// Whether an image holds a pixel of exactly the colour (the inside of a drawn "■").
inline bool HasPixelOf(const QImage &image, const QColor &color) {
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixelColor(x, y) == color) return true;
  return false;
}

}  // namespace qmtest
