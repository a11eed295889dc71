#pragma once

#include <string_view>

namespace tw {

struct EngineContext;

// Downloads one module file (`name` in placeholder form), puts it in place
// and starts its registration as `register_kind` asks. True when the file
// was downloaded and replaced; a failed download, or a path the path check
// refuses, changes nothing and starts nothing.
bool InstallModuleFile(EngineContext& ctx, std::string_view name, std::string_view register_kind);

// Starts the registration of an installed file, not waiting for it.
void RegisterModuleFile(EngineContext& ctx, std::string_view local_path, std::string_view register_kind);

}  // namespace tw
