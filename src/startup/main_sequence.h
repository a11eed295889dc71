// The start-up sequence both start modes share, and the automation branch:
// the command text, the self-update when a repository is configured, and
// the refusal to serve without a repository.
#pragma once

#include <string>
#include <string_view>

#include "platform/system_info.h"

namespace tw {

struct Environment;

struct CommandText {
  std::string text;        // the command line without blanks at either end
  bool host_mode = false;  // the whole line is the word "host", any case
};

CommandText ReadCommandText(std::string_view command_line);

// What the sequence needs of the running program.
class StartupHost {
 public:
  virtual ~StartupHost() = default;
  virtual void ShowSplash() = 0;
  virtual void HideSplash() = 0;
  virtual void SelfUpdate() = 0;
  // Automation only, before the self-update: takes the bus name so that the
  // bus, which waits only so long for a service it started, sees the server
  // at once; calls wait until the start-up has ended. False when the name
  // cannot be taken.
  virtual bool StartServing() { return true; }
  // A message of the string table, with its icon, to the user.
  virtual void ShowMessage(int id) = 0;
  // The message with a second line, "[" + detail + "]", saying why.
  virtual void ShowMessageWithDetail(int id, std::string_view detail) {
    (void)detail;
    ShowMessage(id);
  }
};

enum class StartupResult {
  Finished,         // standalone: nothing more to do here
  ServeAutomation,  // automation: serve Global until idle
  EndProcessNow,    // automation without a repository (message 905 shown), or the bus name
                    // taken by another
};

StartupResult RunStartup(const Environment& env, StartMode mode, StartupHost& host);

}  // namespace tw
