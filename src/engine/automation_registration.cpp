#include "engine/automation_registration.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

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

std::string ActivationFilePath() {
  std::string data_home;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) {
    data_home = xdg;
  } else if (const char* home = std::getenv("HOME")) {
    data_home = std::string(home) + "/.local/share";
  }
  return data_home + "/dbus-1/services/" + kAutomationService + ".service";
}

bool RegisterAutomationServer(const std::string& executable) {
  const std::filesystem::path file = ActivationFilePath();
  std::error_code error;
  std::filesystem::create_directories(file.parent_path(), error);
  std::ofstream out(file, std::ios::trunc);
  out << "[D-BUS Service]\nName=" << kAutomationService << "\nExec=" << Quoted(executable)
      << " --automation\n";
  return static_cast<bool>(out.flush());
}

bool UnregisterAutomationServer() {
  std::error_code error;
  std::filesystem::remove(ActivationFilePath(), error);
  return !error;
}

}  // namespace tw
