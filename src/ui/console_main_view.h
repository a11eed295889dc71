// The main window's stand-in when there is no display: the hidden start
// still runs, its log lines and messages go to a text stream (standard
// error), and a question counts as answered No, so that nothing nobody
// confirmed is downloaded.
#pragma once

#include <functional>
#include <ostream>
#include <vector>

#include "ui/main_window_view.h"

namespace tw {

class MainWindowController;

// True when one of DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM is set and
// not empty; `getenv` reads one variable (nullptr when unset).
bool DisplayAvailable(const std::function<const char*(const char*)>& getenv);

class ConsoleMainView : public MainWindowView {
 public:
  // `log_lines` false leaves the log lines to another writer (the run's
  // log, which marks them for the journal).
  explicit ConsoleMainView(std::ostream& out, bool log_lines = true) : out_(out), log_lines_(log_lines) {}

  void RestorePlacement() override {}
  void SavePlacement() override {}
  void SetColumnCaption(int, std::string_view) override {}
  void SetButton(int, std::string_view, std::string_view) override {}
  void EnableButton(int, bool) override {}
  void SetHideCaption(std::string_view) override {}
  void SetHideValue(int) override {}
  void AddRow(const ModuleRow&) override {}
  void SetRowStatus(size_t, std::string_view) override {}
  bool IsRowChecked(size_t) override { return true; }
  void AutoSizeColumns() override {}
  void AppendLogLine(std::string_view line) override;
  void ShowLog() override {}
  bool Ask(int id, std::string_view text) override;
  void ShowMessage(int id, std::string_view text) override;
  void SetBusy(bool) override {}
  void ShowSplash() override {}
  void HideSplash() override {}
  void SetSplashProgress(int) override {}
  void SetRunProgress(std::string_view) override {}
  void ProcessEvents() override {}
  void CloseWindow() override {}

 private:
  std::ostream& out_;
  bool log_lines_;
};

// Loads the window's controller over a ConsoleMainView and returns what
// the process should end with: the controller's exit status when the
// hidden start closed by itself; 2, after saying why on `out`, when the
// start needs the window (a normal start, or one asking for confirmation).
int RunWithoutDisplay(MainWindowController& controller, std::ostream& out);

}  // namespace tw
