#include "engine/global.h"

#include "catalogue/catalogue.h"
#include "catalogue/dependency_walk.h"
#include "catalogue/module_path_check.h"
#include "catalogue/path_mapping.h"
#include "common/text.h"
#include "engine/engine_context.h"
#include "engine/install.h"
#include "engine/post_setup_journal.h"
#include "engine/processes.h"
#include "engine/suite_programs.h"
#include "platform/settings_store.h"
#include "platform/system_info.h"
#include "transport/repository.h"

namespace tw {

std::string Global::GetFullName() {
  std::string folder = ctx_.system.ProgramFolder();
  const char separator = ctx_.paths.LocalSeparator();
  if (folder.empty() || folder.back() != separator) folder += separator;
  return folder + ctx_.system.ExecutableName() + ctx_.executable_suffix;
}

bool Global::IsUpdateAvailable(std::string_view module) {
  ctx_.catalogue.StartOperation();
  // True as soon as one module on the walk needs work itself. A module
  // without a repository version, or on demand and not asked for here, is
  // not looked into.
  Catalogue& catalogue = ctx_.catalogue;
  bool available = false;
  WalkDependencies(catalogue, module, [&](const std::string& name, const ModuleINIInfo& info) {
    ModuleVersion local = catalogue.GetModuleVersion(name, false);
    ModuleVersion remote = catalogue.GetModuleVersion(name, true);
    if (IsVersionEmpty(remote) || catalogue.SkippedOnDemand(name, info)) return WalkStep::kSkip;
    const bool missing = IsVersionEmpty(local) && !catalogue.IsInstalled(name);
    available = (CompareVersions(remote, local) == 1 && catalogue.IsForced(info)) || missing;
    return available ? WalkStep::kStop : WalkStep::kDependencies;
  });
  return available;
}

bool Global::IsModuleAvailable(std::string_view module) {
  ctx_.catalogue.StartOperation();
  if (!IsConfinedModulePath(ctx_.paths, module)) return false;
  ctx_.catalogue.BeginOperation();
  // Under an index the repository's word is the index: no HEAD is asked.
  const IndexGate& index = ctx_.catalogue.Index();
  if (index.Refused()) return false;
  if (const RepositoryIndex* ruling = index.Ruling()) return ruling->Find(ctx_.paths.ResolvePath(module, true));
  DateValue unused;
  return ctx_.repository.HttpHead(ctx_.paths.ResolvePath(module, true), unused);
}

bool Global::UpdateModule(std::string_view module) {
  ctx_.catalogue.StartOperation();
  // What an earlier run left pending goes first.
  RunPendingPostSetups(ctx_);
  if (!module.empty() && !IsConfinedModulePath(ctx_.paths, module)) ctx_.catalogue.ReportRefusedPath(module);
  UpdateDictionary updates;
  ctx_.catalogue.CollectUpdates(updates, module);
  // A refused index installs nothing, and a module whose document the
  // index does not vouch for is frozen: both are failures, not "current".
  bool frozen = false;
  WalkDependencies(ctx_.catalogue, module, [&](const std::string& name, const ModuleINIInfo&) {
    frozen = frozen || ctx_.catalogue.IsFrozen(name);
    return WalkStep::kDependencies;
  });
  bool result = !ctx_.catalogue.Index().Refused() && !frozen;
  for (const auto& item : updates) {
    const ModuleUpdateInfo& record = *item.value;
    std::vector<std::string> post_setups;
    if (record.InstallationType == 0)
      for (const auto& program : record.PostSetup) post_setups.push_back(program.value);
    result = InstallModuleFile(ctx_, record.MetaPath, record.Register, post_setups) && result;
  }
  // The download dates are on disk before any program runs, and when the
  // caller hears back. The programs of the modules installed run in the
  // order they were recorded, each once.
  ctx_.settings.Flush();
  RunPendingPostSetups(ctx_);
  return result;
}

}  // namespace tw
