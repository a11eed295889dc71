// What the update engine works with, handed in by whoever runs it.
#pragma once

#include <string>

namespace tw {

class Catalogue;
class EngineLog;
class FileSystem;
class PathMapping;
class ProcessLauncher;
class Repository;
class SettingsStore;
class SystemInfo;

struct EngineContext {
  const PathMapping& paths;
  Repository& repository;
  FileSystem& files;
  SettingsStore& settings;
  SystemInfo& system;
  Catalogue& catalogue;
  ProcessLauncher& processes;
  // Appended to the names of the program's own executables (".exe" on
  // Windows).
  std::string executable_suffix;
  // Where the engine's own lines go (a failed download, the self-update);
  // none says nothing.
  EngineLog* log = nullptr;
};

}  // namespace tw
