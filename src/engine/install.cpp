#include "engine/install.h"

#include "catalogue/catalogue.h"
#include "catalogue/module_path_check.h"
#include "catalogue/path_mapping.h"
#include "common/text.h"
#include "engine/checked_download.h"
#include "engine/engine_context.h"
#include "engine/engine_log.h"
#include "engine/file_replacement.h"
#include "engine/module_download.h"
#include "engine/post_setup.h"
#include "engine/post_setup_journal.h"
#include "engine/processes.h"
#include "engine/suite_programs.h"
#include "resources/string_table.h"

namespace tw {
namespace {

// Nobody watches an automation call: its failed module is named in the log.
void LogFailedModule(EngineContext& ctx, std::string_view name, const std::optional<ErrorRecord>& error) {
  if (!ctx.log) return;
  ctx.log->Line(LogLineWithError(806, name, error ? error->Number : 0, error ? error->Description : ""),
                LogLevel::Error);
}

}  // namespace

void RegisterModuleFile(EngineContext& ctx, std::string_view local_path, std::string_view register_kind) {
  const std::string command = RegistrationCommandLine(
      register_kind, ctx.paths.LocalFolder("{SYSTEM}"), local_path, ctx.paths.LocalSeparator());
  if (command.empty()) return;
  // A module that registers itself is a program a document named: it runs
  // only from the suite's folders. The system's tool is ours to name.
  const WindowStyle style = RegistrationWindowStyle(register_kind);
  if (ToLower(register_kind) != "self") {
    StartCommandLine(ctx.processes, command, style);
    return;
  }
  if (IsUpdaterProgram(ctx, local_path)) {
    ctx.catalogue.Report(std::string(LoadResString(820)) + " [" + command + "]");
    return;
  }
  StartSuiteCommand(ctx.processes, ctx.paths, command, style);
}

bool InstallModuleFile(EngineContext& ctx, std::string_view name, std::string_view register_kind,
                       const std::vector<std::string>& post_setups) {
  if (!IsConfinedModulePath(ctx.paths, name)) return false;
  if (auto no_folder = CheckModuleHasFolder(ctx, name)) {
    LogFailedModule(ctx, name, no_folder);
    return false;
  }
  auto staged = DownloadCheckedModule(ctx, name);
  // Only what this call put in place is registered: a file refused by its
  // digest, or left as it was by a failed replacement, may be anything
  // another document's download left there.
  if (!staged) {
    LogFailedModule(ctx, name, staged.error().file);
    return false;
  }
  const std::string local = ctx.paths.ResolvePath(name, false);
  RecordPostSetups(ctx, local, post_setups);
  if (ReplaceResult replaced = ReplaceFromStaging(std::move(*staged)); !replaced) {
    if (!post_setups.empty()) ForgetPostSetups(ctx, local);
    LogFailedModule(ctx, name, replaced.error());
    return false;
  }
  RegisterModuleFile(ctx, local, register_kind);
  return true;
}

}  // namespace tw
