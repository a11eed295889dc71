#include "catalogue/dependency_walk.h"

#include <memory>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/module_path_check.h"
#include "catalogue/path_mapping.h"
#include "common/keyed_collection.h"

namespace tw {

bool WalkDependencies(Catalogue& catalogue, std::string_view root, const EnterModule& enter,
                      const LeaveModule& leave) {
  const PathMapping& paths = catalogue.Paths();
  const Catalogue::WalkAhead ahead(catalogue);
  // The modules entered and not yet left, with the next SETUP entry of
  // each: kept here rather than on the call stack, so that a repository
  // with a long chain of dependencies cannot exhaust the stack.
  struct Open {
    std::string module;
    std::shared_ptr<const ModuleINIInfo> info;
    size_t next_entry = 1;
  };
  std::vector<Open> open;
  KeyedCollection<bool> entered;

  auto visit = [&](std::string module) {
    if (!entered.Add(true, module)) return true;
    auto info = catalogue.LoadModuleINI(module);
    switch (enter(module, *info)) {
      case WalkStep::kStop: return false;
      case WalkStep::kSkip: return true;
      case WalkStep::kDependencies: break;
    }
    open.push_back({std::move(module), std::move(info)});
    return true;
  };

  std::string start = paths.GenericPath(root);
  if (!start.empty() && !catalogue.Place(start).confined) return true;
  if (!visit(std::move(start))) return false;
  while (!open.empty()) {
    Open& top = open.back();
    if (top.next_entry <= top.info->SetupKeys.Count()) {
      std::string dependency = paths.GenericPath(top.info->SetupKeys.At(top.next_entry++).value);
      if (!catalogue.Place(dependency).confined) {
        catalogue.ReportRefusedPath(dependency);
        continue;
      }
      if (!visit(std::move(dependency))) return false;
      continue;
    }
    if (leave) leave(top.module, *top.info);
    open.pop_back();
  }
  return true;
}

}  // namespace tw
