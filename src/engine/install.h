#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tw {

struct EngineContext;

// Downloads one module file (`name` in placeholder form), puts it in place
// and starts its registration as `register_kind` asks. True when the file
// was downloaded and replaced; a failed download or replacement, or a path
// the path check refuses, starts nothing.
// `post_setups` (command lines of a newly installed module) are recorded as
// pending before the file is put in place, and forgotten again when it is
// not.
bool InstallModuleFile(EngineContext& ctx, std::string_view name, std::string_view register_kind,
                       const std::vector<std::string>& post_setups = {});

// Starts the registration of an installed file, not waiting for it. A file
// that registers itself and is the updater or the launcher is refused.
void RegisterModuleFile(EngineContext& ctx, std::string_view local_path, std::string_view register_kind);

}  // namespace tw
