#include "engine/automation_registration.h"

#include <filesystem>
#include <fstream>

#include "platform/system_info.h"

namespace tw {
namespace {

// The bus reads the Exec line like a shell command: the path goes in
// double quotes, with the characters special inside them escaped.
std::string Quoted(const std::string& path) {
  std::string out = "\"";
  for (char c : path) {
    if (c == '"' || c == '\\' || c == '$' || c == '`') out += '\\';
    out += c;
  }
  return out + "\"";
}

}  // namespace

std::string ActivationFilePath(SystemInfo& system) {
  const std::string data_home = system.UserDataFolder();
  // Without a data folder the file would land at the top of the file system.
  if (data_home.empty()) return {};
  return data_home + "/dbus-1/services/" + kAutomationService + ".service";
}

bool RegisterAutomationServer(SystemInfo& system, const std::string& executable) {
  const std::string path = ActivationFilePath(system);
  if (path.empty()) return false;
  const std::filesystem::path file = path;
  std::error_code error;
  std::filesystem::create_directories(file.parent_path(), error);
  std::ofstream out(file, std::ios::trunc);
  out << "[D-BUS Service]\nName=" << kAutomationService << "\nExec=" << Quoted(executable)
      << " --automation\n";
  return static_cast<bool>(out.flush());
}

bool UnregisterAutomationServer(SystemInfo& system) {
  const std::string path = ActivationFilePath(system);
  if (path.empty()) return false;
  std::error_code error;
  std::filesystem::remove(path, error);
  return !error;
}

}  // namespace tw
