// The engine on the real disk, below a folder of the test's own, with the
// settings and system facts faked and no publisher keys.
#pragma once

#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/path_mapping.h"
#include "trust/trust_policy.h"
#include "engine/engine_context.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_process_launcher.h"
#include "support/fake_settings_store.h"
#include "support/fake_system_info.h"

namespace tw::testing {

struct DiskEngine {
  DiskEngine(const std::string& root, Repository& repo)
      : paths(MakePlaceholderTable({root, "\\pc1", root + "/Sistema", root + "/Caratteri", root + "/Windows"},
                                   '/'),
              "pc1", '/'),
        catalogue({paths, repo, files, settings, system, trust}),
        ctx{paths, repo, files, settings, system, catalogue, launcher, ""} {
    system.current_bias = 0;
  }
  FakeSystemInfo system;
  PosixFileSystem files;
  FakeSettingsStore settings;
  PosixProcessLauncher launcher;
  PathMapping paths;
  TrustPolicy trust;
  Catalogue catalogue;
  EngineContext ctx;
};

}  // namespace tw::testing
