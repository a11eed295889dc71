// Global: what the suite's programs ask of the updater through the
// automation interface. Each call stands alone; calls share only the
// catalogue's document cache. A module path the path check refuses is a
// module the repository does not hold: nothing is asked, written or run.
#pragma once

#include <string>
#include <string_view>

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
  EngineContext& ctx_;
};

}  // namespace tw
