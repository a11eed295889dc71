// Computer and process facts chosen by the test.
#pragma once

#include <map>
#include <string>

#include "platform/system_info.h"

namespace tw::testing {

class FakeSystemInfo : public SystemInfo {
 public:
  std::string ComputerName() override { return computer_name; }
  std::string ProgramFolder() override { return program_folder; }
  std::string ExecutableName() override { return executable_name; }
  std::string CommandLine() override { return command_line; }
  StartMode GetStartMode() override { return start_mode; }
  std::string SpecialFolderPath(SpecialFolder kind) override { return special[kind]; }
  std::string UserDataFolder() override { return user_data_folder; }
  std::string UserCacheFolder() override { return user_cache_folder; }
  int TimeZoneBias() override { return bias; }
  int CurrentUtcBias() override { return current_bias; }

  std::string computer_name = "pc1";
  std::string program_folder = "/opt/suite/Eseguibili";
  std::string executable_name = "Tarnwick";
  std::string command_line;
  StartMode start_mode = StartMode::Standalone;
  std::map<SpecialFolder, std::string> special = {
      {SpecialFolder::System, "/home/u/.local/lib"},
      {SpecialFolder::Fonts, "/home/u/.local/share/fonts"},
      {SpecialFolder::Windows, "/home/u/.local/share"}};
  std::string user_data_folder = "/home/u/.local/share";
  int bias = -60;
  int current_bias = -60;
  std::string user_cache_folder;  // "" caches nothing
};

}  // namespace tw::testing
