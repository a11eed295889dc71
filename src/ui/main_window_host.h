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

// Shows the main window modeless. True when a window is now open and the
// program must run its event loop until the window closes.
bool ShowMainWindow(const MainWindowStart& start);

}  // namespace tw
