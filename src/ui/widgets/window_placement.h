// A window's size, position and state kept between runs, in the settings
// group "Tarnwick\<name>" (the main window: "Tarnwick\FormMain").
//
// The measures are the window's client rectangle (Qt's geometry, which is
// what Qt can set before the window manager has framed the window), in
// twips at the window's logical resolution, written in the user's number
// format. Restore before the window is first shown: a maximized or
// minimized state then takes effect when it is shown.
#pragma once

#include <string_view>

class QWidget;

namespace tw {

class SettingsStore;

// A value that does not convert, or a width or height below one pixel, is
// skipped; a rectangle outside every screen is centred on the primary
// screen with the stored size as far as it fits.
void RestoreWindowPlacement(QWidget& window, std::string_view name, SettingsStore& settings);
// Stores the state and the normal rectangle; leaves the window normal.
void SaveWindowPlacement(QWidget& window, std::string_view name, SettingsStore& settings);

}  // namespace tw
