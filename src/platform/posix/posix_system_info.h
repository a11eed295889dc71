// The computer and process facts of a POSIX system.
#pragma once

#include <string>

#include "platform/system_info.h"

namespace tw {

class PosixSystemInfo : public SystemInfo {
 public:
  // `command_line` is the process's arguments after the program name, joined
  // by single blanks; `executable_path` the running program's full path.
  PosixSystemInfo(std::string command_line, std::string executable_path, StartMode mode);

  std::string ComputerName() override;
  std::string ProgramFolder() override;
  std::string ExecutableName() override;
  std::string CommandLine() override { return command_line_; }
  StartMode GetStartMode() override { return mode_; }
  std::string SpecialFolderPath(SpecialFolder kind) override;
  std::string UserDataFolder() override;
  std::string UserCacheFolder() override;
  int TimeZoneBias() override;
  int CurrentUtcBias() override;

  // The running program's own path as the kernel reports it.
  static std::string RunningExecutablePath();

 private:
  std::string command_line_;
  std::string executable_path_;
  StartMode mode_;
};

// The per-user folders standing for the Windows, System and Fonts folders,
// each overridable by an environment variable (TARNWICK_WINDOWS_DIR,
// TARNWICK_SYSTEM_DIR, TARNWICK_FONTS_DIR).
std::string PerUserSpecialFolder(SpecialFolder kind);
// $XDG_DATA_HOME, or ~/.local/share when it is unset; "" without a home.
std::string PerUserDataFolder();

}  // namespace tw
