// What the logic asks of the computer and of its own process.
#pragma once

#include <string>

namespace tw {

enum class StartMode { Standalone, Automation };

// The platform's special folders, by the shell's folder kinds.
enum class SpecialFolder { Windows = 36, System = 37, Fonts = 20 };

class SystemInfo {
 public:
  virtual ~SystemInfo() = default;
  // The computer's network name as the platform reports it; may be empty.
  virtual std::string ComputerName() = 0;
  // The folder of the running executable, with this platform's separator.
  virtual std::string ProgramFolder() = 0;
  // The executable's name without folder and without extension.
  virtual std::string ExecutableName() = 0;
  // The process command line without the program's own name.
  virtual std::string CommandLine() = 0;
  virtual StartMode GetStartMode() = 0;
  // "" when the platform does not report the folder.
  virtual std::string SpecialFolderPath(SpecialFolder kind) = 0;
  // The user's own data folder, where desktop services look for per-user
  // files ($XDG_DATA_HOME here); "" when the platform does not report it.
  virtual std::string UserDataFolder() = 0;
  // The user's cache folder ($XDG_CACHE_HOME here); "" when the platform
  // has none, and nothing is cached then.
  virtual std::string UserCacheFolder() { return {}; }
  // The local zone's standard offset: UTC = local standard time + bias
  // (minutes), whatever the season.
  virtual int TimeZoneBias() = 0;
  // The offset in force now, same sign: UTC = local time now + bias.
  virtual int CurrentUtcBias() = 0;
};

}  // namespace tw
