// Where the standalone start hands over to the main window.
#pragma once

#include <memory>
#include <string>

namespace tw {

struct EngineContext;
struct Environment;
class BusyPointers;
class LogDisk;
class SplashService;

struct MainWindowStart {
  EngineContext& ctx;  // its repository is the one the dialog settled on
  const Environment& env;
  std::string command_line;  // the switches of the main window
  SplashService& splash;
  BusyPointers& busy;
  bool display = false;  // false: no window can be shown
  LogDisk* log_disk = nullptr;  // where the administrators' log is written; none writes none
};

enum class MainWindowOutcome {
  Done,       // nothing open any more (a hidden run finished, or nothing to do)
  Open,       // a window is open: the program runs its event loop until it closes
  NoDisplay,  // a window was needed and none can be shown; the text went to stderr
};

// The main window and what it works with, kept while it is open.
class MainWindowSession {
 public:
  virtual ~MainWindowSession() = default;
  // 0, or 1 when a module could not be put in place.
  virtual int ExitStatus() const = 0;
};

struct MainWindowShown {
  MainWindowOutcome outcome = MainWindowOutcome::Done;
  // What the process ends with for Done and NoDisplay.
  int exit_status = 0;
  // For Open: the window, whose ExitStatus counts once the event loop is over.
  std::unique_ptr<MainWindowSession> session;
};

// Loads the main window and shows it modeless when its load asks for that.
// Without a display the hidden start runs with its lines on stderr.
MainWindowShown ShowMainWindow(const MainWindowStart& start);

}  // namespace tw
