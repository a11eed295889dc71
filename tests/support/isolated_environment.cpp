#include "support/isolated_environment.h"

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>

namespace tw::testing {
namespace {

std::string& Home() {
  static std::string home;
  return home;
}

void RemoveHome() {
  std::error_code ignored;
  std::filesystem::remove_all(Home(), ignored);
}

}  // namespace

void IsolateEnvironment() {
  if (!Home().empty()) return;
  std::string pattern = (std::filesystem::temp_directory_path() / "tarnwick-home-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) std::abort();
  Home() = pattern;
  std::atexit(RemoveHome);
  ::setenv("HOME", pattern.c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (pattern + "/.config").c_str(), 1);
  ::setenv("XDG_DATA_HOME", (pattern + "/.local/share").c_str(), 1);
  ::setenv("XDG_CACHE_HOME", (pattern + "/.cache").c_str(), 1);
  ::setenv("XDG_STATE_HOME", (pattern + "/.local/state").c_str(), 1);
  ::unsetenv("JOURNAL_STREAM");
  for (const char* name : {"TARNWICK_SYSTEM_DIR", "TARNWICK_FONTS_DIR", "TARNWICK_WINDOWS_DIR"})
    ::unsetenv(name);
  ::setenv("no_proxy", "127.0.0.1,localhost,::1", 1);
  ::setenv("NO_PROXY", "127.0.0.1,localhost,::1", 1);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

const std::string& IsolatedHome() { return Home(); }

}  // namespace tw::testing
