// The process-wide values every subsystem reads, built once at start-up and
// handed to whoever needs them.
#pragma once

#include <string>

#include "catalogue/path_mapping.h"
#include "trust/trust_policy.h"

namespace tw {

class FileSystem;
class SettingsStore;
class SystemInfo;

struct Environment {
  // The repository location: host, optionally a base path; no scheme, no
  // trailing "/"; empty when no repository is configured.
  std::string RemoteHost;
  // The "Hide" setting as read at start.
  bool HideSetting = false;
  std::string PcFolder;
  std::string RootFolder;
  // UTC = local standard time + bias, in minutes.
  int TimeZoneBias = 0;
  PathMapping Paths;
  // The publishers' keys (built in and from the setting "PublicKey"), read
  // once: every catalogue and engine of the process judges by them.
  TrustPolicy Trust;

  FileSystem* Files = nullptr;
  SettingsStore* Settings = nullptr;
  SystemInfo* System = nullptr;
};

// `separator` is the local path separator: '/' here, '\\' on Windows.
Environment InitEnvironment(SystemInfo& system, SettingsStore& settings, FileSystem& files,
                            char separator = '/');

// The stored repository location as the program uses it: blanks around it
// and one trailing "/" removed.
std::string CleanStoredRemoteHost(std::string_view stored);

// The parent of the program's folder: the suite's root.
std::string RootFolderOf(std::string_view program_folder, char separator);

}  // namespace tw
