#include "catalogue/path_mapping.h"

#include <algorithm>

#include "common/text.h"
#include "platform/system_info.h"

namespace tw {
namespace {

// Most paths hold none of the folders looked for: then nothing is copied.
void ReplaceIn(std::string& s, std::string_view from, std::string_view to) {
  if (FindIgnoreCase(s, from) != std::string::npos) s = ReplaceAllIgnoreCase(s, from, to);
}

}  // namespace

std::string GetPCName(SystemInfo& system) {
  std::string name = system.ComputerName();
  name = name.substr(0, name.find('.'));
  return name.empty() ? std::string("localhost") : name;
}

PathMapping::PathMapping(PlaceholderTable table, std::string pc_name, char local_separator)
    : local_(ByPosition(table.local)),
      remote_(ByPosition(table.remote)),
      pc_name_(std::move(pc_name)),
      pc_marker_("/" + ToLower(pc_name_)),
      separator_(local_separator) {}

PathMapping::Values PathMapping::ByPosition(const KeyedCollection<std::string>& values) {
  Values out;
  for (size_t i = 0; i < kPlaceholderList.size(); ++i)
    if (const std::string* value = values.Find(kPlaceholderList[i])) out[i] = *value;
  return out;
}

std::string PathMapping::GenericPath(std::string_view path) const {
  // Local and repository paths share "/" on this platform, so a repository
  // folder ("/Dati") could be found inside a local path ("/home/Dati/x").
  // Local folders are therefore replaced first, and a repository folder
  // only where a repository path has it: at the start.
  std::string s(path);
  for (size_t i = 0; i < kPlaceholderList.size(); ++i) {
    // A folder longer than the path cannot occur in it.
    if (const auto& local = local_[i]; local && local->size() <= s.size())
      ReplaceIn(s, *local, kPlaceholderList[i]);
  }
  for (size_t i = 0; i < kPlaceholderList.size(); ++i) {
    const std::string_view token = kPlaceholderList[i];
    const auto& remote = remote_[i];
    if (!remote || remote->empty() || remote->size() > s.size()) continue;
    if (!StartsWith(*remote, "/"))
      ReplaceIn(s, *remote, token);
    else if (s.size() >= remote->size() && EqualsIgnoreCase(std::string_view(s).substr(0, remote->size()), *remote))
      s = std::string(token) + s.substr(remote->size());
  }
  std::replace(s.begin(), s.end(), '/', '\\');
  return s;
}

std::string PathMapping::ResolvePath(std::string_view path, bool remote) const {
  return FromGeneric(GenericPath(path), remote);
}

std::string PathMapping::FromGeneric(std::string s, bool remote) const {
  const Values& values = remote ? remote_ : local_;
  for (size_t i = 0; i < kPlaceholderList.size(); ++i) {
    // Every token starts with "{": once none is left, no later one can match.
    if (s.find('{') == std::string::npos) break;
    const auto& value = values[i];
    ReplaceIn(s, kPlaceholderList[i], value ? std::string_view(*value) : std::string_view());
  }
  if (!remote) {
    std::replace(s.begin(), s.end(), separator_ == '\\' ? '/' : '\\', separator_);
    return s;
  }
  std::replace(s.begin(), s.end(), '\\', '/');
  s = ToLower(s);
  return s.find(pc_marker_) == std::string::npos ? s : ReplaceAll(s, pc_marker_, "{pcid}");
}

std::string PathMapping::LocalFolder(std::string_view token) const {
  for (size_t i = 0; i < kPlaceholderList.size(); ++i)
    if (EqualsIgnoreCase(token, kPlaceholderList[i])) return local_[i].value_or(std::string());
  return {};
}

bool PathMapping::HasUnmappedToken(std::string_view path) const { return HasUnmappedTokenIn(GenericPath(path)); }

bool PathMapping::HasUnmappedTokenIn(std::string_view generic) const {
  for (std::string_view token : kPlaceholderList) {
    if (FindIgnoreCase(generic, token) != std::string::npos && LocalFolder(token).empty())
      return true;
  }
  return false;
}

}  // namespace tw
