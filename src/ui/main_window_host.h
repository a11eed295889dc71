// Where the standalone start hands over to the main window. The main
// window implements ShowMainWindow; until it does, the program ends after
// the repository dialog, as it did before there was a main window.
#pragma once

#include <string>

namespace tw {

struct EngineContext;
struct Environment;
class BusyPointers;
class SplashService;

struct MainWindowStart {
  EngineContext& ctx;  // its repository is the one the dialog settled on
  const Environment& env;
  std::string command_line;  // the switches of the main window
  SplashService& splash;
  BusyPointers& busy;
  bool display = false;  // false: no window can be shown
};

enum class MainWindowOutcome {
  Done,       // nothing open any more (a hidden run finished, or nothing to do)
  Open,       // a window is open: the program runs its event loop until it closes
  NoDisplay,  // a window was needed and none can be shown; the text went to stderr
};

// Shows the main window modeless.
MainWindowOutcome ShowMainWindow(const MainWindowStart& start);

}  // namespace tw
