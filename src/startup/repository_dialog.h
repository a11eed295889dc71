// The repository dialog of the standalone start: the options window asked
// until a typed address answers the test request, or the user gives up.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "startup/main_sequence.h"

namespace tw {

struct Environment;
class Repository;
class SettingsStore;

// "http://" + the host chosen when the program was built + "/tarnwick".
std::string DefaultRepositoryURL();

// What the options window holds once one of its buttons hid it.
struct OptionsAnswer {
  std::string path;  // "" when the user cancelled or emptied the box
  bool hide = false;
};

// The options window as the dialog uses it.
class OptionsView {
 public:
  virtual ~OptionsView() = default;
  // False when no window can be shown (no display): nobody could answer.
  virtual bool CanAsk() = 0;
  // Loads the window with `path` and `hide`, shows it modally, reads it
  // back and unloads it.
  virtual OptionsAnswer Ask(const std::string& path, bool hide) = 0;
};

// Opens the repository at a typed location for its test request.
class RepositoryOpener {
 public:
  virtual ~RepositoryOpener() = default;
  virtual std::unique_ptr<Repository> Open(const std::string& location) = 0;
};

// A typed address as it is tested and stored: lower case, without any
// "http://" or "ftp://" wherever they stand, without blanks around it; a
// leading "https://" stays.
std::string CleanTypedAddress(std::string_view typed);

enum class StandaloneOutcome {
  EndProgram,      // nothing more to show: the program ends
  ShowMainWindow,  // the command line asks for the main window
  NoDisplay,       // a window was needed and none can be shown
};

struct RepositoryDialogParts {
  OptionsView& view;
  RepositoryOpener& opener;
  StartupHost& host;  // splash and messages
  SettingsStore& settings;
};

// Runs after the start-up sequence. Updates env.RemoteHost and
// env.HideSetting with what the user entered.
StandaloneOutcome RunRepositoryDialog(const CommandText& command, Environment& env,
                                      RepositoryDialogParts parts);

}  // namespace tw
