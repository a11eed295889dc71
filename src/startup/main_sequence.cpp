#include "startup/main_sequence.h"

#include "common/text.h"
#include "startup/environment.h"

namespace tw {

CommandText ReadCommandText(std::string_view command_line) {
  CommandText command;
  command.text = std::string(TrimBlanks(command_line));
  command.host_mode = EqualsIgnoreCase(command.text, "host");
  return command;
}

StartupResult RunStartup(const Environment& env, StartMode mode, StartupHost& host) {
  const bool standalone = mode == StartMode::Standalone;
  if (standalone) host.ShowSplash();
  if (!standalone && !env.RemoteHost.empty() && !host.StartServing()) return StartupResult::EndProcessNow;
  // On the very first start nothing is configured, and nothing updated.
  if (!env.RemoteHost.empty()) host.SelfUpdate();
  if (standalone) {
    host.HideSplash();
    return StartupResult::Finished;
  }
  if (env.RemoteHost.empty()) {
    host.ShowMessage(905);
    return StartupResult::EndProcessNow;
  }
  return StartupResult::ServeAutomation;
}

}  // namespace tw
