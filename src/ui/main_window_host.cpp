#include "ui/main_window_host.h"

namespace tw {

MainWindowOutcome ShowMainWindow(const MainWindowStart&) { return MainWindowOutcome::Done; }

}  // namespace tw
