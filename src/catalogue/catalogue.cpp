#include "catalogue/catalogue.h"

#include "catalogue/dependency_walk.h"
#include "catalogue/ini_document.h"
#include "catalogue/module_path_check.h"
#include "catalogue/path_mapping.h"
#include "common/settings_keys.h"
#include "common/text.h"
#include "platform/file_system.h"
#include "platform/settings_store.h"
#include "transport/file_times.h"
#include "transport/repository.h"

namespace tw {

std::shared_ptr<const ModuleINIInfo> Catalogue::LoadModuleINI(std::string_view module) {
  const std::string document = ctx_.paths.ResolvePath(std::string(module) + ".ini", true);
  const std::string key = ToUpper(document);
  if (const auto* cached = ModuleINICache.Find(key)) return *cached;
  // A path the check refuses names nothing the repository holds: it is not
  // asked, and nothing is cached under a key another spelling might share.
  if (!module.empty() && !IsConfinedModulePath(ctx_.paths, module))
    return std::make_shared<const ModuleINIInfo>();

  if (AwaitFetchedAhead(module, document, key))
    if (const auto* cached = ModuleINICache.Find(key)) return *cached;

  auto info = std::make_shared<ModuleINIInfo>();
  DateValue file_date;
  const std::string bytes = FetchDocument(document, module, file_date);
  // A refused document is an absent one whose file has no date either: the
  // module gets no repository version and is neither offered nor walked.
  if (const auto text = TrustedText(document, bytes)) {
    info->LastModifiedDate = file_date;
    ParseModuleINI(*text, *info);
  }
  // While the HEAD waited, another caller may have stored the same
  // document; the first one stored stays and both are equal.
  ModuleINICache.Add(info, key);
  return *ModuleINICache.Find(key);
}

bool Catalogue::IsOnDemand(const ModuleINIInfo& info) const {
  return ParseBoolean(info.GetKey("Release", "OnDemand")).value_or(false);
}

bool Catalogue::IsForced(const ModuleINIInfo& info) const {
  return ParseBoolean(info.GetKey("Release", "ForceUpdate")).value_or(true);
}

bool Catalogue::SkippedOnDemand(std::string_view module, const ModuleINIInfo& info) {
  if (!IsOnDemand(info)) return false;
  return !ctx_.files.NormalFileExists(ctx_.paths.ResolvePath(module, false) + ".OnDemand");
}

ModuleVersion Catalogue::GetModuleVersion(std::string_view module, bool remote) {
  if (!remote) return InstalledVersion(module);
  const auto info = LoadModuleINI(module);
  return MakeModuleVersion(info->GetKey("Release", "Version"), info->LastModifiedDate);
}

bool Catalogue::IsInstalled(std::string_view module) {
  if (ctx_.paths.HasUnmappedToken(module) || !IsConfinedModulePath(ctx_.paths, module)) return false;
  return ctx_.files.NormalFileExists(ctx_.paths.ResolvePath(module, false));
}

ModuleVersion Catalogue::InstalledVersion(std::string_view module) {
  // A module whose folder this computer does not have is not installed,
  // whatever lies where its path would resolve to.
  if (ctx_.paths.HasUnmappedToken(module) || !IsConfinedModulePath(ctx_.paths, module))
    return MakeModuleVersion("", DateValue());
  const std::string path = ctx_.paths.ResolvePath(module, false);
  SettingsStore& settings = ctx_.settings;
  if (!ctx_.files.NormalFileExists(path)) {
    if (!settings.Read(settings::kApplication, settings::kLastModifiedSection, path, "").empty())
      settings.Delete(settings::kApplication, settings::kLastModifiedSection, path);
    return MakeModuleVersion("", DateValue());
  }
  const std::string version = ctx_.files.FileVersion(path);
  const auto stored = DateValue::FromSettingsText(
      settings.Read(settings::kApplication, settings::kLastModifiedSection, path, "0"));
  const DateValue date = stored && !stored->IsZero() ? *stored : FileDate(ctx_.files, ctx_.system, path);
  return MakeModuleVersion(version, date);
}

void Catalogue::CollectUpdates(UpdateDictionary& updates, std::string_view module) {
  WalkDependencies(
      *this, module,
      [this](const std::string& name, const ModuleINIInfo& info) {
        return SkippedOnDemand(name, info) ? WalkStep::kSkip : WalkStep::kDependencies;
      },
      [this, &updates](const std::string& name, const ModuleINIInfo& info) {
        if (auto record = Decide(name, info)) updates.Add(std::move(record), ToUpper(name));
      });
}

std::shared_ptr<ModuleUpdateInfo> Catalogue::Decide(const std::string& module, const ModuleINIInfo& info) {
  ModuleVersion local = GetModuleVersion(module, false);
  ModuleVersion remote = GetModuleVersion(module, true);
  // Only a file that is not there is missing: a present one whose version
  // reads empty would otherwise be overwritten against ForceUpdate and have
  // its post-setup programs run again.
  const bool missing = IsVersionEmpty(local) && !IsInstalled(module);
  if (IsVersionEmpty(remote) || CompareVersions(remote, local) != 1) return nullptr;
  auto record = std::make_shared<ModuleUpdateInfo>();
  record->MetaPath = module;
  record->LocalVersion = VersionText(local);
  record->RemoteVersion = VersionText(remote);
  record->InstallationType = missing ? 0 : 1;
  record->Register = info.GetKey("Release", "Register");
  record->ForceUpdate = IsForced(info);
  record->OnDemand = IsOnDemand(info);
  // A program outside the suite's folders, or in a folder this computer
  // lacks, is never run.
  if (missing)
    for (const auto& program : info.PostSetupKeys) {
      if (!IsConfinedModulePath(ctx_.paths, CommandLineProgram(program.value))) {
        ReportRefusedPath(program.value);
        continue;
      }
      if (!ctx_.paths.HasUnmappedToken(program.value))
        record->PostSetup.Add(ctx_.paths.ResolvePath(program.value, false));
    }
  if (!record->ForceUpdate && !missing) return nullptr;
  return record;
}

}  // namespace tw
