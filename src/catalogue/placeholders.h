// The folder tokens of module paths and their local and repository values.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "common/keyed_collection.h"

namespace tw {

// In replacement order: a token whose value lies inside another token's
// value comes first (components before executables, users before data,
// system and fonts before the Windows folder), so the longer value wins.
inline constexpr std::array<std::string_view, 8> kPlaceholderList = {
    "{PCID}", "{COMPONENTI}", "{UTENTI}", "{ESEGUIBILI}",
    "{DATI}", "{SYSTEM}",     "{FONTS}",  "{WINDOWS}"};

struct PlaceholderTable {
  KeyedCollection<std::string> local;   // token -> local folder
  KeyedCollection<std::string> remote;  // token -> repository folder
};

struct LocalFolders {
  std::string root;  // the suite's root: the parent of the executables folder
  std::string pc_folder;
  std::string system, fonts, windows;
};

// `separator` is this platform's local path separator.
PlaceholderTable MakePlaceholderTable(const LocalFolders& folders, char separator);

}  // namespace tw
