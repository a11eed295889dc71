#include "engine/processes.h"

#include <array>

#include "common/text.h"
#include "engine/command_line.h"

namespace tw {

std::string RegistrationCommandLine(std::string_view kind, std::string_view system_folder,
                                    std::string_view local_path, char separator) {
  const std::string lower = ToLower(kind);
  const std::string quoted = "\"" + std::string(local_path) + "\"";
  if (lower == "regsvr32") {
    std::string tool = std::string(system_folder) + separator + "regsvr32.exe";
    // A system folder with a blank (a home folder "/home/Mario Rossi")
    // would otherwise end the program's name at the blank.
    if (tool.find_first_of(" \t") != std::string::npos) tool = "\"" + tool + "\"";
    return tool + " /s " + quoted;
  }
  if (lower == "self") return quoted;
  return {};
}

WindowStyle RegistrationWindowStyle(std::string_view kind) {
  return ToLower(kind) == "self" ? WindowStyle::Hidden : WindowStyle::MinimizedActive;
}

bool StartCommandLine(ProcessLauncher& launcher, std::string_view command_line, WindowStyle style) {
  const auto argv = SplitCommandLine(command_line);
  return !argv.empty() && launcher.Start(argv, style);
}

int RunAndWait(ProcessLauncher& launcher, std::string_view command_line, int timeout_ms) {
  const auto argv = SplitCommandLine(command_line);
  return argv.empty() ? 0 : launcher.RunAndWait(argv, timeout_ms);
}

std::string ShellVerb(std::string_view verb) {
  static constexpr std::array<std::string_view, 6> kVerbs = {"edit", "explore", "find",
                                                             "open", "print", "printto"};
  const std::string lower = ToLower(verb);
  for (std::string_view known : kVerbs)
    if (lower == known) return lower;
  return "open";
}

void ShellOpen(ProcessLauncher& launcher, std::string_view file, std::string_view parameters,
               std::string_view verb, std::string_view folder) {
  if (TrimBlanks(file).empty()) return;
  const std::string path(file);
  if (ShellVerb(verb) == "open" && launcher.IsProgram(path)) {
    std::vector<std::string> argv = {path};
    if (!TrimBlanks(parameters).empty()) {
      // The parameters are split like the arguments of a command line.
      auto words = SplitCommandLine("x " + std::string(parameters));
      argv.insert(argv.end(), words.begin() + 1, words.end());
    }
    launcher.Start(argv, WindowStyle::Normal, std::string(folder));
    return;
  }
  launcher.OpenDocument(path, std::string(folder));
}

}  // namespace tw
