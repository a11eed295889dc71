// Conversion between the three forms of a module path: placeholder form
// ("{ESEGUIBILI}\Prog.exe", always "\"), local form (this platform's
// separator) and repository form (lower case, "/", "{pcid}" for the
// per-computer folder).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "catalogue/placeholders.h"

namespace tw {

class SystemInfo;

// The computer's name up to its first "."; never empty ("localhost" when the
// platform reports none), since an empty name would turn every "/" of a
// repository path into "{pcid}".
std::string GetPCName(SystemInfo& system);

class PathMapping {
 public:
  PathMapping(PlaceholderTable table, std::string pc_name, char local_separator);

  std::string GenericPath(std::string_view path) const;
  std::string ResolvePath(std::string_view path, bool remote) const;
  // ResolvePath of a path already in placeholder form (GenericPath's).
  std::string FromGeneric(std::string generic, bool remote) const;

  // The local folder of a token; "" for an unknown token or one the
  // platform gave no folder.
  std::string LocalFolder(std::string_view token) const;
  // True when `path` in placeholder form starts with a token whose local
  // folder is empty: such a path has no place on this computer.
  bool HasUnmappedToken(std::string_view path) const;
  bool HasUnmappedTokenIn(std::string_view generic) const;

  char LocalSeparator() const { return separator_; }
  const std::string& PcName() const { return pc_name_; }

 private:
  // The table's values by the token's place in kPlaceholderList: a walk
  // maps every path several times, and a lookup by position costs nothing.
  using Values = std::array<std::optional<std::string>, kPlaceholderList.size()>;
  static Values ByPosition(const KeyedCollection<std::string>& values);

  Values local_;
  Values remote_;
  std::string pc_name_;
  std::string pc_marker_;  // "/" + the lower-case computer name
  char separator_;
};

}  // namespace tw
