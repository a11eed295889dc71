#include "catalogue/module_places.h"

#include "catalogue/module_path_check.h"
#include "catalogue/path_mapping.h"

namespace tw {

const ModulePlace& ModulePlaces::Of(std::string_view module) {
  if (auto it = places_.find(module); it != places_.end()) return it->second;
  ModulePlace place;
  place.confined = IsConfinedModulePath(paths_, module);
  place.mapped = !paths_.HasUnmappedToken(module);
  place.local = paths_.ResolvePath(module, false);
  place.remote = paths_.ResolvePath(module, true);
  place.document = paths_.ResolvePath(std::string(module) + ".ini", true);
  return places_.emplace(std::string(module), std::move(place)).first->second;
}

}  // namespace tw
