#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <QWidget>
#include <cstdlib>

namespace tarnel::test {

// What a widget shows, as an image with one pixel per device-independent pixel.
inline QImage Grab(QWidget* Widget) {
  return Widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

inline QColor PixelAt(const QImage& Image, int X, int Y) {
  return QColor(Image.pixel(X, Y));
}

// How many pixels of Area have exactly Color.
inline int CountColor(const QImage& Image, const QRect& Area, const QColor& Color) {
  int count = 0;
  const QRect clipped = Area.intersected(Image.rect());
  for (int y = clipped.top(); y <= clipped.bottom(); ++y)
    for (int x = clipped.left(); x <= clipped.right(); ++x)
      if (Image.pixel(x, y) == Color.rgb()) ++count;
  return count;
}

// How many pixels of Area differ from Background.
inline int CountInk(const QImage& Image, const QRect& Area, const QColor& Background) {
  const QRect clipped = Area.intersected(Image.rect());
  return clipped.width() * clipped.height() - CountColor(Image, clipped, Background);
}

// Whether Pixel is Color drawn over Background with a coverage of at least MinCoverage: text is smoothed,
// so its pixels are blends of the two.
inline bool IsBlendOf(QRgb Pixel, const QColor& Background, const QColor& Color, double MinCoverage = 0.6) {
  const int p[3] = {qRed(Pixel), qGreen(Pixel), qBlue(Pixel)};
  const int b[3] = {Background.red(), Background.green(), Background.blue()};
  const int c[3] = {Color.red(), Color.green(), Color.blue()};
  double sum = 0;
  int weight = 0;
  for (int i = 0; i < 3; ++i) {
    const int span = c[i] - b[i];
    if (std::abs(span) < 32) continue;
    sum += static_cast<double>(p[i] - b[i]) / span * std::abs(span);
    weight += std::abs(span);
  }
  if (weight == 0) return false;
  const double coverage = sum / weight;
  if (coverage < MinCoverage || coverage > 1.05) return false;
  for (int i = 0; i < 3; ++i)
    if (std::abs(b[i] + coverage * (c[i] - b[i]) - p[i]) > 6) return false;
  return true;
}

// How many pixels of Area show Color (solid or smoothed) over Background.
inline int CountText(const QImage& Image, const QRect& Area, const QColor& Background, const QColor& Color) {
  int count = 0;
  const QRect clipped = Area.intersected(Image.rect());
  for (int y = clipped.top(); y <= clipped.bottom(); ++y)
    for (int x = clipped.left(); x <= clipped.right(); ++x)
      if (IsBlendOf(Image.pixel(x, y), Background, Color)) ++count;
  return count;
}

}  // namespace tarnel::test
