// "Check, nothing changed": a client with a key walks the suite under the
// repository's signed index, its documents already cached, against today's
// walk fetching ahead, directly and through the latency relay.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <vector>

#include "bench_suite.h"
#include "catalogue/index_gate.h"
#include "common/settings_keys.h"
#include "bench_support.h"
#include "figures.h"
#include "platform/openssl/crypto.h"
#include "support/latency_relay.h"
#include "support/temp_dir.h"
#include "trust/repository_index.h"
#include "trust/trust_keys.h"

namespace tw::bench {
namespace {

// The vendor's signed index over what PublishSuite wrote below `base`.
void PublishIndex(testing::NginxServer& nginx, const std::string& base) {
  namespace fs = std::filesystem;
  RepositoryIndex index;
  index.repository = "suite";
  index.serial = 1;
  index.published = kRepositoryTime;
  index.expires = 4102444800;  // 2100
  const std::string folder = nginx.root() + base;
  const auto add = [&](const fs::path& file, const std::string& path) {
    const std::string bytes = testing::ReadTextFile(file);
    std::optional<std::int64_t> date;
    struct stat st {};
    if (!path.ends_with(".ini") && ::stat(file.c_str(), &st) == 0) date = static_cast<std::int64_t>(st.st_mtim.tv_sec);
    index.files.push_back({*crypto::Sha256Of(bytes), bytes.size(), date, path});
  };
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file()) add(entry.path(), entry.path().lexically_relative(folder).generic_string());
  add(folder + ".ini", ".ini");
  nginx.Put(base + "/indice.ini", testing::Signed(*WriteRepositoryIndex(index), testing::TestKey(5)));
}

size_t RequestsBelow(const testing::NginxServer& nginx, const std::string& base) {
  size_t count = 0;
  for (const std::string& line : nginx.Requests())
    if (line.find(" " + base + "/") != std::string::npos || line.find(" " + base + ".ini ") != std::string::npos)
      ++count;
  return count;
}

void TrustTheVendor(SuiteClient& client) {
  TrustAnchors anchors;
  anchors.AddKeys(testing::PublicText(testing::TestKey(5)));
  client.engine.trust = TrustPolicy(std::move(anchors));
}

}  // namespace

int IndexChild(const std::string& location, const std::string& root) {
  SuiteClient client(location, root);
  TrustTheVendor(client);
  UpdateDictionary updates;
  PrintSeconds(client.TimedWalk(updates));
  std::printf("%zu\n", updates.Count());
  return updates.Count() > 0 ? 0 : 1;
}

// What any check under the index costs however its walk is made: the index
// asked and judged (its kept copy read and its signature checked), then
// each module's file looked at and the stored dates of those installed
// read. No document is read and no second core helps.
int IndexFloorChild(const std::string& location, const std::string& root) {
  SuiteClient client(location, root);
  TrustTheVendor(client);
  Engine& engine = client.engine;
  DocumentCache cache(engine.files, engine.system, client.transport.URL());
  IndexGate gate(client.transport, engine.settings, engine.trust, client.transport.URL(),
                 SystemIndexClock([&] { return engine.system.CurrentUtcBias(); }), &cache);
  std::vector<std::string> files;
  for (int i = 0; i < 1000; ++i) files.push_back(root + "/Eseguibili/" + SuiteModuleName(i));
  size_t installed = 0;
  PrintSeconds(Seconds([&] {
    engine.settings.BeginBatch();
    gate.BeginOperation();
    for (const std::string& file : files)
      if (engine.files.NormalFileExists(file)) {
        ++installed;
        engine.settings.Read(settings::kApplication, settings::kLastModifiedSection, file, "0");
      }
    engine.settings.EndBatch();
  }));
  std::printf("%zu\n", installed);
  return gate.Ruling() && installed > 0 ? 0 : 1;
}

void IndexCheck(int repeats, const std::string& self, IndexFigure figure) {
  const bool slow = figure == IndexFigure::SlowCheck;
  const bool floor = figure == IndexFigure::Floor;
  testing::NginxServer nginx;
  testing::TempDir suite;
  // Today's walk has no index to use: the same suite, published again
  // without one.
  PublishSuite(nginx, "/suite", suite.path());
  PublishIndex(nginx, "/suite");
  PublishSuite(nginx, "/plain", suite.path());
  const char* rtt_text = std::getenv("TARNWICK_BENCH_RTT_MS");
  const int rtt_ms = rtt_text ? std::max(1, std::atoi(rtt_text)) : 20;
  std::optional<testing::LatencyRelay> relay;
  if (slow) relay.emplace(nginx.port(), std::chrono::milliseconds(rtt_ms));
  const auto location = [&](const std::string& base) {
    return slow ? "127.0.0.1:" + std::to_string(relay->port()) + base : nginx.Location(base);
  };
  RunChild(self, {"index-child", location("/suite"), suite.path()});  // fills the cache
  size_t ours_requests = 0, walk_requests = 0;
  const auto counted = [&](const std::string& child, const std::string& base, size_t& requests) {
    const size_t before = RequestsBelow(nginx, base);
    const double seconds = RunChild(self, {child, location(base), suite.path()}).seconds;
    requests = RequestsBelow(nginx, base) - before;
    return seconds;
  };
  Sample ours, baseline;
  MeasurePair(
      repeats, [&] { return counted(floor ? "floor-child" : "index-child", "/suite", ours_requests); },
      [&] { return counted("walk-child", "/plain", walk_requests); }, ours, baseline);
  char note[200];
  if (slow)
    std::snprintf(note, sizeof note, "%.1f round trips against %.0f; requests %zu against %zu",
                  ours.median / (rtt_ms / 1000.0), baseline.median / (rtt_ms / 1000.0), ours_requests,
                  walk_requests);
  else
    std::snprintf(note, sizeof note, "requests %zu against %zu", ours_requests, walk_requests);
  Report(std::string(floor ? "Index and module files alone: 1,000 modules" : "Check, nothing changed: 1,000 modules") +
             (slow ? ", " + std::to_string(rtt_ms) + " ms" : ""),
         ours, baseline, slow ? 0.02 : 0.05, note);
}

}  // namespace tw::bench
