#include "engine/install.h"

#include "catalogue/module_path_check.h"
#include "catalogue/path_mapping.h"
#include "engine/engine_context.h"
#include "engine/file_replacement.h"
#include "engine/processes.h"
#include "transport/repository.h"

namespace tw {

void RegisterModuleFile(EngineContext& ctx, std::string_view local_path, std::string_view register_kind) {
  const std::string command = RegistrationCommandLine(
      register_kind, ctx.paths.LocalFolder("{SYSTEM}"), local_path, ctx.paths.LocalSeparator());
  if (!command.empty())
    StartCommandLine(ctx.processes, command, RegistrationWindowStyle(register_kind));
}

bool InstallModuleFile(EngineContext& ctx, std::string_view name, std::string_view register_kind) {
  if (!IsConfinedModulePath(ctx.paths, name) || CheckModuleHasFolder(ctx, name)) return false;
  const std::string local = ctx.paths.ResolvePath(name, false);
  const std::string remote = ctx.paths.ResolvePath(name, true);
  DateValue last_modified;
  const ByteBuffer content = ctx.repository.HttpGetBytes(remote, last_modified);
  if (content.size() < 2) return false;
  const bool ok = !UpdateFile(ctx, local, content.span(), last_modified);
  // Registration runs on whatever file lies there, even after a failed
  // replacement (the old one may still need registering).
  RegisterModuleFile(ctx, local, register_kind);
  return ok;
}

}  // namespace tw
