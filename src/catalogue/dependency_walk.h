// The walk through a module's dependencies (its SETUP entries, and theirs),
// shared by everything that needs it: the update list and the question
// whether anything needs an update. Each module is visited at most once per
// walk, so shared dependencies cost one visit however many modules list
// them (layered ones would otherwise cost exponentially many), and circular
// entries end.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace tw {

class Catalogue;
class ModuleINIInfo;

enum class WalkStep {
  kDependencies,  // walk the module's SETUP entries, then leave the module
  kSkip,          // neither its entries nor its leaving
  kStop,          // end the whole walk now
};

// Called with the module in placeholder form and its catalogue document.
using EnterModule = std::function<WalkStep(const std::string& module, const ModuleINIInfo& info)>;
using LeaveModule = std::function<void(const std::string& module, const ModuleINIInfo& info)>;

// Enters `root` and, depth first in document order, every dependency of an
// entered module not entered before in this walk (modules compared by
// placeholder path, letter case ignored); leaves each module after its
// dependencies. A dependency the path check refuses is not entered: the
// repository is never asked for it. So is a refused root, except "", the
// whole suite, whose document lists the suite's modules. False when `enter`
// stopped the walk.
bool WalkDependencies(Catalogue& catalogue, std::string_view root, const EnterModule& enter,
                      const LeaveModule& leave = {});

}  // namespace tw
