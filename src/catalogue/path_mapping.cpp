#include "catalogue/path_mapping.h"

#include "common/text.h"
#include "platform/system_info.h"

namespace tw {

std::string GetPCName(SystemInfo& system) {
  std::string name = system.ComputerName();
  name = name.substr(0, name.find('.'));
  return name.empty() ? std::string("localhost") : name;
}

PathMapping::PathMapping(PlaceholderTable table, std::string pc_name, char local_separator)
    : table_(std::move(table)),
      pc_name_(std::move(pc_name)),
      pc_marker_("/" + ToLower(pc_name_)),
      separator_(local_separator) {}

std::string PathMapping::GenericPath(std::string_view path) const {
  // Local and repository paths share "/" on this platform, so a repository
  // folder ("/Dati") could be found inside a local path ("/home/Dati/x").
  // Local folders are therefore replaced first, and a repository folder
  // only where a repository path has it: at the start.
  std::string s(path);
  for (std::string_view token : kPlaceholderList) {
    // A folder longer than the path cannot occur in it.
    if (const std::string* local = table_.local.Find(token); local && local->size() <= s.size())
      s = ReplaceAllIgnoreCase(s, *local, token);
  }
  for (std::string_view token : kPlaceholderList) {
    const std::string* remote = table_.remote.Find(token);
    if (!remote || remote->empty() || remote->size() > s.size()) continue;
    if (!StartsWith(*remote, "/"))
      s = ReplaceAllIgnoreCase(s, *remote, token);
    else if (s.size() >= remote->size() && EqualsIgnoreCase(std::string_view(s).substr(0, remote->size()), *remote))
      s = std::string(token) + s.substr(remote->size());
  }
  return ReplaceAll(s, "/", "\\");
}

std::string PathMapping::ResolvePath(std::string_view path, bool remote) const {
  std::string s = GenericPath(path);
  const auto& values = remote ? table_.remote : table_.local;
  for (std::string_view token : kPlaceholderList) {
    // Every token starts with "{": once none is left, no later one can match.
    if (s.find('{') == std::string::npos) break;
    const std::string* value = values.Find(token);
    s = ReplaceAllIgnoreCase(s, token, value ? std::string_view(*value) : std::string_view());
  }
  if (!remote) {
    const char other = separator_ == '\\' ? '/' : '\\';
    return ReplaceAll(s, std::string(1, other), std::string(1, separator_));
  }
  s = ToLower(ReplaceAll(s, "\\", "/"));
  return ReplaceAll(s, pc_marker_, "{pcid}");
}

std::string PathMapping::LocalFolder(std::string_view token) const {
  const std::string* value = table_.local.Find(token);
  return value ? *value : std::string();
}

bool PathMapping::HasUnmappedToken(std::string_view path) const {
  const std::string generic = GenericPath(path);
  for (std::string_view token : kPlaceholderList) {
    if (FindIgnoreCase(generic, token) != std::string::npos && LocalFolder(token).empty())
      return true;
  }
  return false;
}

}  // namespace tw
