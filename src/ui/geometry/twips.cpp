#include "ui/geometry/twips.h"

#include <cmath>

namespace tw {

int TwipsToPixels(double twips, double dots_per_inch) {
  return static_cast<int>(std::lround(twips * dots_per_inch / kTwipsPerInch));
}

double PixelsToTwips(int pixels, double dots_per_inch) {
  return pixels * kTwipsPerInch / dots_per_inch;
}

PixelRect ToPixels(const TwipsRect& twips, double dpi_x, double dpi_y) {
  return {TwipsToPixels(twips.left, dpi_x), TwipsToPixels(twips.top, dpi_y),
          TwipsToPixels(twips.width, dpi_x), TwipsToPixels(twips.height, dpi_y)};
}

bool Intersects(const PixelRect& a, const PixelRect& b) {
  return a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height &&
         b.top < a.top + a.height && a.width > 0 && a.height > 0 && b.width > 0 && b.height > 0;
}

}  // namespace tw
