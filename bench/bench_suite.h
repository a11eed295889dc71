// The set-up the figures share: the engine on the real disk, the same
// engine reached over HTTP, and the suites published on nginx for it.
#pragma once

#include <cstddef>
#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/path_mapping.h"
#include "engine/engine_context.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_process_launcher.h"
#include "platform/posix/posix_system_info.h"
#include "platform/qt/qt_settings_store.h"
#include "support/nginx_server.h"
#include "support/one_at_a_time.h"
#include "transport/network/http_transport.h"
#include "trust/trust_policy.h"

namespace tw::bench {

// The modification time the published files carry.
constexpr long long kRepositoryTime = 1609502400;

// Everything a replacement or a walk needs, on the real disk, over `repo`.
struct Engine {
  explicit Engine(const std::string& root, Repository& repo);
  PosixSystemInfo system;
  PosixFileSystem files;
  QtSettingsStore settings;
  PosixProcessLauncher launcher;
  PathMapping paths;
  TrustPolicy trust;
  Catalogue catalogue;
  EngineContext ctx;
};

// How a client's walk sends its requests: several in flight ("ahead"), or
// one at a time, as it did before it fetched ahead.
enum class Fetching { Ahead, OneAtATime };

// The engine over HTTP to the suite at `location` ("host:port/path"),
// installed under `root`: what every child process of a figure starts from.
struct SuiteClient {
  SuiteClient(const std::string& location, const std::string& root, Fetching fetching = Fetching::Ahead);
  // The seconds of one walk over the whole suite, collecting its offers.
  double TimedWalk(UpdateDictionary& updates);

  HttpTransport transport;
  testing::OneAtATime one_at_a_time;
  Engine engine;
};

// The file name of module `i` of the generated suite ("m0042.dat").
std::string SuiteModuleName(int i);

// A generated suite of 1,000 modules at `base` ("/suite": its document is
// "/suite.ini"), some with versions, some with dependencies; a third of
// them are installed under `root`.
void PublishSuite(testing::NginxServer& nginx, const std::string& base, const std::string& root);

// `mib` MiB of random bytes (the same in every run) at `path`.
void PublishRandom(testing::NginxServer& nginx, const std::string& path, size_t mib);

}  // namespace tw::bench
