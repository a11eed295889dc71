#include "ui/main_window_host.h"

namespace tw {

bool ShowMainWindow(const MainWindowStart&) { return false; }

}  // namespace tw
