#include "engine/install.h"

#include "catalogue/module_path_check.h"
#include "catalogue/path_mapping.h"
#include "common/text.h"
#include "engine/checked_download.h"
#include "engine/engine_context.h"
#include "engine/file_replacement.h"
#include "engine/module_download.h"
#include "engine/processes.h"
#include "engine/suite_programs.h"

namespace tw {

void RegisterModuleFile(EngineContext& ctx, std::string_view local_path, std::string_view register_kind) {
  const std::string command = RegistrationCommandLine(
      register_kind, ctx.paths.LocalFolder("{SYSTEM}"), local_path, ctx.paths.LocalSeparator());
  if (command.empty()) return;
  // A module that registers itself is a program a document named: it runs
  // only from the suite's folders. The system's tool is ours to name.
  const WindowStyle style = RegistrationWindowStyle(register_kind);
  if (ToLower(register_kind) == "self") StartSuiteCommand(ctx.processes, ctx.paths, command, style);
  else StartCommandLine(ctx.processes, command, style);
}

bool InstallModuleFile(EngineContext& ctx, std::string_view name, std::string_view register_kind) {
  if (!IsConfinedModulePath(ctx.paths, name) || CheckModuleHasFolder(ctx, name)) return false;
  auto staged = DownloadCheckedModule(ctx, name);
  // A failed download starts nothing; a failed staging file, or a file its
  // document does not vouch for, is a failed replacement, and the file
  // already there is still registered.
  if (!staged && staged.error().reason != DownloadError::StagingFile &&
      staged.error().reason != DownloadError::Unverified)
    return false;
  const bool ok = staged && ReplaceFromStaging(std::move(*staged));
  // Registration runs on whatever file lies there, even after a failed
  // replacement (the old one may still need registering).
  RegisterModuleFile(ctx, ctx.paths.ResolvePath(name, false), register_kind);
  return ok;
}

}  // namespace tw
