// A client of the engine on the real disk under `root`, over HTTP to
// `location`, trusting `keys` (base64, blank-separated; "" for none): what
// the tests against nginx update a suite with.
#pragma once

#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/path_mapping.h"
#include "engine/engine_context.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_process_launcher.h"
#include "support/fake_settings_store.h"
#include "support/fake_system_info.h"
#include "transport/network/http_transport.h"
#include "trust/trust_anchors.h"
#include "trust/trust_policy.h"

namespace tw::testing {

struct DiskClient {
  DiskClient(const std::string& root, const std::string& location, const std::string& keys = "")
      : paths(MakePlaceholderTable({root, "\\pc1", root + "/Sistema", "", ""}, '/'), "pc1", '/'),
        transport(location, 0),
        trust(MakeAnchors(keys)),
        catalogue({paths, transport, files, settings, system, trust}),
        ctx{paths, transport, files, settings, system, catalogue, launcher, ""} {
    system.current_bias = 0;
  }
  static TrustAnchors MakeAnchors(const std::string& keys) {
    TrustAnchors anchors;
    anchors.AddKeys(keys);
    return anchors;
  }

  FakeSystemInfo system;
  PosixFileSystem files;
  FakeSettingsStore settings;
  PosixProcessLauncher launcher;
  PathMapping paths;
  HttpTransport transport;
  TrustPolicy trust;
  Catalogue catalogue;
  EngineContext ctx;
};

}  // namespace tw::testing
