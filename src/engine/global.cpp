#include "engine/global.h"

#include "catalogue/catalogue.h"
#include "catalogue/path_mapping.h"
#include "common/text.h"
#include "engine/engine_context.h"
#include "engine/install.h"
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
  KeyedCollection<bool> walk_path;
  return UpdateAvailable(module, walk_path);
}

bool Global::UpdateAvailable(std::string_view module, KeyedCollection<bool>& walk_path) {
  // As in the catalogue walk, a module that leads back to itself through
  // its dependencies is not asked again.
  if (!walk_path.Add(true, ctx_.paths.GenericPath(module))) return false;
  Catalogue& catalogue = ctx_.catalogue;
  ModuleVersion local = catalogue.GetModuleVersion(module, false);
  ModuleVersion remote = catalogue.GetModuleVersion(module, true);
  bool available = false;
  if (!IsVersionEmpty(remote)) {
    const auto info = catalogue.LoadModuleINI(module);
    if (!catalogue.SkippedOnDemand(module, *info)) {
      const bool missing = IsVersionEmpty(local);
      available = (CompareVersions(remote, local) == 1 && catalogue.IsForced(*info)) || missing;
      for (auto it = info->SetupKeys.begin(); !available && it != info->SetupKeys.end(); ++it)
        available = UpdateAvailable(it->value, walk_path);
    }
  }
  walk_path.Remove(ctx_.paths.GenericPath(module));
  return available;
}

bool Global::IsModuleAvailable(std::string_view module) {
  DateValue unused;
  return ctx_.repository.HttpHead(ctx_.paths.ResolvePath(module, true), unused);
}

bool Global::UpdateModule(std::string_view module) {
  UpdateDictionary updates;
  ctx_.catalogue.CollectUpdates(updates, module);
  bool result = true;
  KeyedCollection<std::string> post_setups;
  for (const auto& item : updates) {
    const ModuleUpdateInfo& record = *item.value;
    const bool ok = InstallModuleFile(ctx_, record.MetaPath, record.Register);
    result = result && ok;
    if (record.InstallationType == 0 && ok)
      for (const auto& program : record.PostSetup) post_setups.Add(program.value, ToUpper(program.value));
  }
  // The download dates are on disk before any program runs, and when the
  // caller hears back.
  ctx_.settings.Flush();
  for (const auto& program : post_setups) RunSuiteCommandAndWait(ctx_.processes, ctx_.paths, program.value, -1);
  return result;
}

}  // namespace tw
