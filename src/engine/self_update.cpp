#include "engine/self_update.h"

#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/path_mapping.h"
#include "engine/checked_download.h"
#include "engine/engine_context.h"
#include "engine/module_download.h"

namespace tw {

void SelfUpdate(EngineContext& ctx) {
  struct Entry {
    std::string module;
    std::string target_suffix;
  };
  const Entry entries[] = {{"{ESEGUIBILI}\\Run" + ctx.executable_suffix, ""},
                           {"{ESEGUIBILI}\\Tarnwick" + ctx.executable_suffix, ".update"}};
  // Both documents are needed whatever the first one says.
  ctx.catalogue.Prefetch({entries[0].module, entries[1].module});
  for (const Entry& entry : entries) {
    const std::string target = ctx.paths.ResolvePath(entry.module, false) + entry.target_suffix;
    const std::string remote = ctx.paths.ResolvePath(entry.module, true);
    ModuleVersion installed = ctx.catalogue.GetModuleVersion(entry.module, false);
    ModuleVersion available = ctx.catalogue.GetModuleVersion(entry.module, true);
    if (IsVersionEmpty(available) || CompareVersions(available, installed) != 1) continue;
    // Each file is checked against its own module's document: the ".update"
    // copy against the program's.
    if (auto staged = DownloadCheckedToStaging(ctx, entry.module, target, remote))
      ReplaceFromStaging(std::move(*staged));
  }
}

}  // namespace tw
