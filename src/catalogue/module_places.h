// What the path mapping and the path check say of each module path a
// catalogue meets, worked out once: a walk asks each of these several
// times per module, and a suite has a thousand modules.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tw {

class PathMapping;

struct ModulePlace {
  bool confined = false;  // the path check accepts it
  bool mapped = false;    // this computer has a folder for its token
  std::string local;      // local form
  std::string remote;     // repository form of the module's file
  std::string document;   // repository form of its catalogue document
};

class ModulePlaces {
 public:
  explicit ModulePlaces(const PathMapping& paths) : paths_(paths) {}

  // By the path exactly as spelt; the answer lives as long as this object.
  const ModulePlace& Of(std::string_view module);

  // Takes over what `other` (over the same path mapping) worked out and
  // this one has not; earlier answers stay where they are.
  void Merge(ModulePlaces&& other) { places_.merge(other.places_); }

 private:
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };

  const PathMapping& paths_;
  std::unordered_map<std::string, ModulePlace, Hash, std::equal_to<>> places_;
};

}  // namespace tw
