// Global: what the suite's programs ask of the updater through the
// automation interface. Each call stands alone; calls share only the
// catalogue's document cache.
#pragma once

#include <string>
#include <string_view>

#include "common/keyed_collection.h"

namespace tw {

struct EngineContext;

class Global {
 public:
  explicit Global(EngineContext& ctx) : ctx_(ctx) {}

  // The full path of the updater's own executable, so that a caller can
  // start it with a window.
  std::string GetFullName();
  // True when the module, or any module it depends on, should be installed
  // or updated.
  bool IsUpdateAvailable(std::string_view module);
  // True when the repository has the module's file.
  bool IsModuleAvailable(std::string_view module);
  // Installs or updates the module and its dependencies, then runs the
  // post-setup programs of the newly installed ones in order, each waited
  // for. True when every module was handled successfully.
  bool UpdateModule(std::string_view module);

 private:
  bool UpdateAvailable(std::string_view module, KeyedCollection<bool>& walk_path);

  EngineContext& ctx_;
};

}  // namespace tw
