// Whether the program can open windows: a display of X11 or Wayland, or a
// Qt platform the user chose (offscreen included).
#pragma once

namespace tw {

// The three values are those of DISPLAY, WAYLAND_DISPLAY and
// QT_QPA_PLATFORM; null for a variable that is not set.
bool WidgetDisplayAvailable(const char* x11, const char* wayland, const char* qt_platform);

}  // namespace tw
