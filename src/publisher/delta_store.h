// Patches from earlier published versions of a module file to the current
// one. The publisher keeps the versions it needs in a store of its own on
// the vendor's side, never in the web root: one folder per repository,
// inside it one folder per module (its repository path) holding each kept
// version under its SHA-256 and the list "versions", oldest first. Each
// patch lies beside the file as FILE.<first 16 hex of the old SHA-256>.zstpatch.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "publisher/suite_layout.h"

namespace tw::publisher {

struct DeltaSettings {
  int deltas = 0;     // patches from the last this many earlier versions; 0 writes none
  std::string store;  // this repository's folder of the store
};

// The part of a patch that must be saved at least: a patch of more than
// 80 % of the file's size is left out.
inline constexpr double kLeastSaving = 0.20;

struct DeltaOutcome {
  // The values of the [Delta] entries, "OLDSHA256 PATCHSHA256 PATCHSIZE PATCHPATH".
  std::vector<std::string> entries;
  int written = 0;  // patches written this time
  bool failed = false;
};

// The store folder when none is chosen: $XDG_DATA_HOME/tarnwick-publish/<name>
// (~/.local/share when the variable is not set), <name> the repository
// folder's name.
std::string DefaultStore(const std::string& repository_folder);

// Records the file's current version (`sha256`, the file at `current`) in
// the store, drops versions beyond the last `deltas` earlier ones, and
// writes the patches from those beside `repository_file`. A patch already
// listed in `existing_document` for the same old and new version is kept
// without being made again.
DeltaOutcome UpdatePatches(const DeltaSettings& settings, const SuiteModule& module, const std::string& current,
                           const std::string& repository_file, const std::string& sha256,
                           const std::string& existing_document, std::ostream& out, std::ostream& err);

}  // namespace tw::publisher
