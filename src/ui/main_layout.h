// Where the main window's controls go for a given client area, in twips
// (1/1440 inch). The list fills the top, the log lies exactly over it, and
// the bottom row holds the logo, the hide check box and the two buttons.
#pragma once

namespace tw {

struct TwipRect {
  double left = 0, top = 0, width = 0, height = 0;
  friend bool operator==(const TwipRect&, const TwipRect&) = default;
};

struct MainLayout {
  TwipRect modules;        // LVModules
  TwipRect log;            // TxtLog
  TwipRect update_button;  // CmdAction 1
  TwipRect cancel_button;  // CmdAction 0
  TwipRect logo;           // ImgLogo
  TwipRect hide_box;       // ChkHide
  friend bool operator==(const MainLayout&, const MainLayout&) = default;
};

// The controls as the window is designed, for a client area of 6000 x 4500.
inline constexpr MainLayout kDesignLayout = {
    {60, 60, 2655, 1215},    {180, 360, 915, 915},   {4800, 4020, 1125, 375},
    {3600, 4020, 1125, 375}, {120, 3960, 1050, 450}, {1380, 4080, 2055, 195}};
inline constexpr double kDesignClientWidth = 6000;
inline constexpr double kDesignClientHeight = 4500;

// The gap between the controls and the window's edges.
inline constexpr double kLayoutMargin = 10;

// Lays the controls out again from `current` for a client area of
// `width` x `height` twips. A step that would give a control a negative
// width or height leaves that control as it was (so a minimized window keeps
// its list and log); positions may go negative. Halves are not rounded.
MainLayout LayoutMainWindow(const MainLayout& current, double width, double height);

// The client width a first start opens with: the design width, or more
// when the font makes the hide box's caption (`hide_box` wide, check mark
// included) or the list's columns (`columns` wide, scroll bar included)
// need it. The layout gives the hide box what the width leaves it.
double FirstStartClientWidth(double hide_box, double columns);

inline constexpr double kTwipsPerInch = 1440;
inline double TwipsToPixels(double twips, double dots_per_inch) {
  return twips * dots_per_inch / kTwipsPerInch;
}
inline double PixelsToTwips(double pixels, double dots_per_inch) {
  return pixels * kTwipsPerInch / dots_per_inch;
}

}  // namespace tw
