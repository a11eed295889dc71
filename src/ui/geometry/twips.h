// Window measures in twips (1/1440 inch) and in pixels at a logical
// resolution: 15 twips make one pixel at 96 dots per inch.
#pragma once

namespace tw {

inline constexpr double kTwipsPerInch = 1440.0;

// Rounded to the nearest pixel.
int TwipsToPixels(double twips, double dots_per_inch);
double PixelsToTwips(int pixels, double dots_per_inch);

struct PixelRect {
  int left = 0, top = 0, width = 0, height = 0;
  friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

struct TwipsRect {
  double left = 0, top = 0, width = 0, height = 0;
};

PixelRect ToPixels(const TwipsRect& twips, double dpi_x, double dpi_y);

// True when the two rectangles share at least one pixel.
bool Intersects(const PixelRect& a, const PixelRect& b);

}  // namespace tw
