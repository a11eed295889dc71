// The options window's design in twips: client area and controls in tab
// order.
#pragma once

#include "ui/geometry/twips.h"

namespace tw::options_design {

inline constexpr TwipsRect kClient{0, 0, 4800, 2400};
inline constexpr TwipsRect kLabel{120, 120, 2310, 195};
inline constexpr TwipsRect kPath{120, 360, 4575, 285};
inline constexpr TwipsRect kHide{120, 840, 4575, 195};
inline constexpr TwipsRect kOk{3480, 1800, 1095, 375};
inline constexpr TwipsRect kCancel{2280, 1800, 1095, 375};

// The design font, in points.
inline constexpr double kFontPoints = 8.25;

}  // namespace tw::options_design
