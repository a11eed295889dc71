#include "ui/geometry/placement.h"

#include <algorithm>
#include <cmath>
#include <charconv>

#include "common/settings_keys.h"
#include "common/text.h"
#include "platform/settings_store.h"

namespace tw {
namespace {

// Far beyond any screen; keeps every conversion inside an int.
constexpr double kLargestMeasure = 1e8;

struct Measure {
  std::string_view key;
  int PixelRect::*field;
  bool horizontal;
  bool is_size;
};

constexpr Measure kMeasures[] = {
    {"Width", &PixelRect::width, true, true},
    {"Height", &PixelRect::height, false, true},
    {"Left", &PixelRect::left, true, false},
    {"Top", &PixelRect::top, false, false},
};

PixelRect KeepOnScreen(PixelRect rect, const std::vector<PixelRect>& screens) {
  if (screens.empty()) return rect;
  for (const PixelRect& screen : screens)
    if (Intersects(rect, screen)) return rect;
  const PixelRect& primary = screens.front();
  rect.width = std::min(rect.width, primary.width);
  rect.height = std::min(rect.height, primary.height);
  rect.left = primary.left + (primary.width - rect.width) / 2;
  rect.top = primary.top + (primary.height - rect.height) / 2;
  return rect;
}

// The strip at the top of a frame that the user drags the window by, and
// how much of it must stay within reach.
constexpr int kTitleBar = 24;
constexpr int kGrip = 64;

bool TitleBarOn(const PixelRect& rect, const PixelRect& screen) {
  const int grip = std::min(kGrip, rect.width);
  return rect.top >= screen.top && rect.top + kTitleBar <= screen.top + screen.height &&
         rect.left + grip <= screen.left + screen.width && rect.left + rect.width - grip >= screen.left;
}

// A title bar above the screen (a frame placed at the client's position)
// or beyond its edges is brought back onto the screen the window lies on.
PixelRect KeepTitleBarOnScreen(PixelRect rect, const std::vector<PixelRect>& screens) {
  if (screens.empty()) return rect;
  for (const PixelRect& screen : screens)
    if (TitleBarOn(rect, screen)) return rect;
  const PixelRect* on = &screens.front();
  for (const PixelRect& screen : screens)
    if (Intersects(rect, screen)) {
      on = &screen;
      break;
    }
  const int grip = std::min(kGrip, rect.width);
  rect.top = std::clamp(rect.top, on->top, std::max(on->top, on->top + on->height - kTitleBar));
  rect.left = std::clamp(rect.left, on->left + grip - rect.width, on->left + on->width - grip);
  return rect;
}

PixelRect CentredOn(PixelRect rect, const PixelRect& screen) {
  rect.width = std::min(rect.width, screen.width);
  rect.height = std::min(rect.height, screen.height);
  rect.left = screen.left + (screen.width - rect.width) / 2;
  rect.top = screen.top + (screen.height - rect.height) / 2;
  return rect;
}

}  // namespace

std::string FormatSingle(double value, NumberFormat format) {
  // to_chars ignores the C locale, which Qt sets from the user's.
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(value),
                                    std::chars_format::general, 7);
  std::string text(buffer, result.ptr);
  for (char& c : text)
    if (c == '.') c = format.decimal_separator;
  return text;
}

std::optional<double> ParseMeasure(std::string_view text) {
  text = TrimBlanks(text);
  std::string copy(text.substr(0, 64));
  if (copy.size() != text.size()) return std::nullopt;
  if (std::count(copy.begin(), copy.end(), '.') + std::count(copy.begin(), copy.end(), ',') > 1)
    return std::nullopt;
  std::replace(copy.begin(), copy.end(), ',', '.');
  // from_chars takes no leading "+", which a typed value may carry.
  const char* first = copy.data();
  if (!copy.empty() && copy.front() == '+') ++first;
  double value = 0;
  const auto [end, error] = std::from_chars(first, copy.data() + copy.size(), value);
  if (error != std::errc() || end != copy.data() + copy.size() || first == end) return std::nullopt;
  if (!std::isfinite(value) || std::fabs(value) > kLargestMeasure) return std::nullopt;
  return value;
}

std::string PlacementSection(std::string_view window_name) {
  return std::string(settings::kSection) + "\\" + std::string(window_name);
}

void RestoreWindowPlacement(PlacementTarget& window, std::string_view window_name,
                            SettingsStore& settings, NumberFormat /*format*/) {
  const std::string section = PlacementSection(window_name);
  window.SetState(WindowShowState::Normal);
  PixelRect rect = window.NormalRect();
  bool stored = false;
  for (const Measure& m : kMeasures) {
    const double dpi = m.horizontal ? window.DpiX() : window.DpiY();
    const std::string text = settings.Read(settings::kApplication, section, m.key, "");
    if (!text.empty()) stored = true;
    const auto twips = ParseMeasure(text);
    if (!twips) continue;
    const int pixels = TwipsToPixels(*twips, dpi);
    // A window cannot be made zero or less wide or high.
    if (m.is_size && pixels < 1) continue;
    rect.*m.field = pixels;
  }
  // A first start has no place of its own yet: where the user looks.
  if (!stored) {
    if (const auto screen = window.PointerScreen()) rect = CentredOn(rect, *screen);
  }
  const std::vector<PixelRect> screens = window.Screens();
  window.SetNormalRect(KeepTitleBarOnScreen(KeepOnScreen(rect, screens), screens));

  const std::string state = settings.Read(settings::kApplication, section, "WindowState",
                                          std::to_string(static_cast<int>(window.State())));
  if (const auto number = ParseMeasure(state)) {
    const long long whole = std::llround(*number);
    if (whole >= 0 && whole <= 2) window.SetState(static_cast<WindowShowState>(whole));
  }
}

void SaveWindowPlacement(PlacementTarget& window, std::string_view window_name,
                         SettingsStore& settings, NumberFormat format) {
  const std::string section = PlacementSection(window_name);
  settings.Write(settings::kApplication, section, "WindowState",
                 std::to_string(static_cast<int>(window.State())));
  // The normal rectangle is read first: a window system may take its time
  // to give a maximized window its normal size back.
  const PixelRect rect = window.NormalRect();
  window.SetState(WindowShowState::Normal);
  for (const Measure& m : kMeasures) {
    const double dpi = m.horizontal ? window.DpiX() : window.DpiY();
    settings.Write(settings::kApplication, section, m.key,
                   FormatSingle(PixelsToTwips(rect.*m.field, dpi), format));
  }
}

}  // namespace tw
