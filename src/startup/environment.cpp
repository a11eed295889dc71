#include "startup/environment.h"

#include <cstdio>

#include "common/settings_keys.h"
#include "common/text.h"
#include "platform/settings_store.h"
#include "platform/system_info.h"

namespace tw {
namespace {

std::string SpecialFolderOf(SystemInfo& system, SpecialFolder kind, char separator) {
  std::string path = system.SpecialFolderPath(kind);
  if (!path.empty() && path.back() == separator) path.pop_back();
  return path;
}

void WarnOnStandardError(const std::string& message) { std::fprintf(stderr, "Tarnwick: %s\n", message.c_str()); }

}  // namespace

std::string CleanStoredRemoteHost(std::string_view stored) {
  std::string_view host = TrimBlanks(stored);
  if (EndsWith(host, "/")) host.remove_suffix(1);
  return std::string(TrimBlanks(host));
}

std::string RootFolderOf(std::string_view program_folder, char separator) {
  std::string root(program_folder);
  if (!root.empty() && root.back() == separator) root.pop_back();
  const size_t cut = root.rfind(separator);
  if (cut != std::string::npos) root.resize(cut);
  return root;
}

Environment InitEnvironment(SystemInfo& system, SettingsStore& settings, FileSystem& files,
                            char separator) {
  const std::string pc_name = GetPCName(system);
  // The per-computer folder is written with the other separator, so that no
  // local path is ever mistaken for it.
  const std::string pc_folder = std::string(1, separator == '/' ? '\\' : '/') + pc_name;
  LocalFolders folders;
  folders.root = RootFolderOf(system.ProgramFolder(), separator);
  folders.pc_folder = pc_folder;
  folders.system = SpecialFolderOf(system, SpecialFolder::System, separator);
  folders.fonts = SpecialFolderOf(system, SpecialFolder::Fonts, separator);
  folders.windows = SpecialFolderOf(system, SpecialFolder::Windows, separator);

  Environment env{
      .RemoteHost = CleanStoredRemoteHost(
          settings.Read(settings::kApplication, settings::kSection, settings::kRemoteHost, "")),
      .HideSetting = false,
      .PcFolder = pc_folder,
      .RootFolder = folders.root,
      .TimeZoneBias = system.TimeZoneBias(),
      .Paths = PathMapping(MakePlaceholderTable(folders, separator), pc_name, separator),
      .Trust = LoadTrustPolicy(settings, BuiltInPublicKeys(), WarnOnStandardError),
      .Files = &files,
      .Settings = &settings,
      .System = &system,
  };
  const std::string hide =
      settings.Read(settings::kApplication, settings::kSection, settings::kHide, "0");
  env.HideSetting = ParseBoolean(hide).value_or(false);
  return env;
}

}  // namespace tw
