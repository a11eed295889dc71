// An update engine over in-memory platform objects, for the engine's tests.
#pragma once

#include "catalogue/catalogue.h"
#include "trust/trust_policy.h"
#include "catalogue/path_mapping.h"
#include "engine/engine_context.h"
#include "support/fake_file_system.h"
#include "support/fake_process_launcher.h"
#include "support/fake_repository.h"
#include "support/fake_settings_store.h"
#include "support/fake_system_info.h"

namespace tw::testing {

struct EngineFixture {
  EngineFixture()
      : paths(MakePlaceholderTable({"/opt/suite", "\\pc1", "/home/u/.local/lib", "", "/home/u/.local/share"},
                                   '/'),
              "pc1", '/'),
        catalogue({paths, repo, files, settings, system, trust}),
        ctx{paths, repo, files, settings, system, catalogue, launcher, ""} {
    system.current_bias = 0;
  }

  FakeSystemInfo system;
  FakeFileSystem files;
  FakeSettingsStore settings;
  FakeRepository repo;
  FakeProcessLauncher launcher;
  PathMapping paths;
  TrustPolicy trust;
  Catalogue catalogue;
  EngineContext ctx;
};

}  // namespace tw::testing
