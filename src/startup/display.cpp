#include "startup/display.h"

namespace tw {

bool WidgetDisplayAvailable(const char* x11, const char* wayland, const char* qt_platform) {
  auto set = [](const char* value) { return value && *value; };
  return set(x11) || set(wayland) || set(qt_platform);
}

}  // namespace tw
