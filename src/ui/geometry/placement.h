// A window's size, position and state kept between runs in the settings
// group "Tarnwick\<window name>": "Width", "Height", "Left", "Top" in twips
// at the window's logical resolution, written in the user's number format,
// and "WindowState" 0 (normal), 1 (minimized) or 2 (maximized).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/geometry/twips.h"

namespace tw {

class SettingsStore;

enum class WindowShowState { Normal = 0, Minimized = 1, Maximized = 2 };

// What the placement needs of a window.
class PlacementTarget {
 public:
  virtual ~PlacementTarget() = default;
  virtual WindowShowState State() = 0;
  virtual void SetState(WindowShowState state) = 0;
  // The rectangle of the normal state, in pixels, even while minimized or
  // maximized.
  virtual PixelRect NormalRect() = 0;
  virtual void SetNormalRect(const PixelRect& rect) = 0;
  virtual double DpiX() = 0;
  virtual double DpiY() = 0;
  // The usable areas of the screens, the primary one first.
  virtual std::vector<PixelRect> Screens() = 0;
  // The usable area of the screen that holds the mouse pointer, when known.
  virtual std::optional<PixelRect> PointerScreen() { return std::nullopt; }
};

struct NumberFormat {
  char decimal_separator = '.';
};

// The text of a single-precision number: at most seven significant digits,
// no trailing zeros, the user's decimal separator.
std::string FormatSingle(double value, NumberFormat format);
// That text read back; either separator is accepted. Values beyond any
// screen do not convert.
std::optional<double> ParseMeasure(std::string_view text);

std::string PlacementSection(std::string_view window_name);

// Applies the stored record. A value that does not convert, or a width or
// height of less than one pixel, is skipped. A rectangle that would lie
// outside every screen keeps the stored size as far as it fits, centred on
// the primary screen; one whose title bar would lie off its screen is moved
// onto it. Without any stored measure the window keeps its size, centred
// on the screen that holds the pointer. The rectangle's left and top are
// those of the window's frame.
void RestoreWindowPlacement(PlacementTarget& window, std::string_view window_name,
                            SettingsStore& settings, NumberFormat format);
// Stores the state, then the normal rectangle; leaves the window normal.
void SaveWindowPlacement(PlacementTarget& window, std::string_view window_name,
                         SettingsStore& settings, NumberFormat format);

}  // namespace tw
