#include "catalogue/module_places.h"

#include "catalogue/module_path_check.h"
#include "catalogue/path_mapping.h"

namespace tw {

const ModulePlace& ModulePlaces::Of(std::string_view module) {
  if (auto it = places_.find(module); it != places_.end()) return it->second;
  ModulePlace place;
  // Each form starts from the placeholder form: it is worked out once.
  const std::string generic = paths_.GenericPath(module);
  place.local = paths_.FromGeneric(generic, false);
  place.remote = paths_.FromGeneric(generic, true);
  place.confined = FindModulePathFault(paths_, module, generic, place.local) == ModulePathFault::kNone;
  place.mapped = !paths_.HasUnmappedTokenIn(generic);
  place.document = paths_.ResolvePath(std::string(module) + ".ini", true);
  return places_.emplace(std::string(module), std::move(place)).first->second;
}

}  // namespace tw
