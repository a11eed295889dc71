// The request path and the catalogue walk: HEADs against a raw socket
// loop, a walk against its own requests replayed raw, and the walk over a
// slow link fetching ahead against one request at a time.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_suite.h"
#include "bench_support.h"
#include "figures.h"
#include "support/latency_relay.h"
#include "support/temp_dir.h"
#include "transport/repository_location.h"

namespace tw::bench {
namespace {

// Records the requests a walk makes, in order, to replay them raw.
class RecordingRepository : public Repository {
 public:
  explicit RecordingRepository(Repository& inner) : inner_(inner) {}
  bool HttpHead(std::string_view p, DateValue& d) override {
    log.push_back("HEAD " + std::string(p));
    return inner_.HttpHead(p, d);
  }
  std::string HttpGetText(std::string_view p, DateValue& d) override {
    log.push_back("GET " + std::string(p));
    return inner_.HttpGetText(p, d);
  }
  ByteBuffer HttpGetBytes(std::string_view p, DateValue& d) override { return inner_.HttpGetBytes(p, d); }
  FetchResult HttpGetToSink(std::string_view p, DownloadSink& s, DateValue& d) override {
    return inner_.HttpGetToSink(p, s, d);
  }
  std::string URL() override { return inner_.URL(); }
  std::vector<std::string> log;

 private:
  Repository& inner_;
};

}  // namespace

void Head(int repeats) {
  testing::NginxServer nginx;
  nginx.Put("/base/eseguibili/prog.exe", "MZ", kRepositoryTime);
  HttpTransport transport(nginx.Location("/base"), 0);
  const std::string request = "HEAD /base/eseguibili/prog.exe HTTP/1.0\r\n\r\n";
  Sample ours, baseline;
  MeasurePair(
      repeats,
      [&] {
        return Seconds([&] {
          DateValue date;
          for (int i = 0; i < 2000; ++i) transport.HttpHead("/eseguibili/prog.exe", date);
        });
      },
      [&] { return Seconds([&] { for (int i = 0; i < 2000; ++i) RawRequest(nginx.port(), request); }); },
      ours, baseline);
  Report("HEAD session: 2,000 HttpHead", ours, baseline, 1.2);
}

// In a child process: one walk over the whole suite, fetching ahead
// ("ahead") or one request at a time ("one"), printing its seconds and
// the number of offers.
int WalkChild(const std::string& location, const std::string& root, const std::string& fetching) {
  SuiteClient client(location, root, fetching == "one" ? Fetching::OneAtATime : Fetching::Ahead);
  UpdateDictionary updates;
  PrintSeconds(client.TimedWalk(updates));
  std::printf("%zu\n", updates.Count());
  return updates.Count() > 0 ? 0 : 1;
}

void Walk(int repeats, const std::string& self) {
  testing::NginxServer nginx;
  testing::TempDir suite;
  PublishSuite(nginx, "/suite", suite.path());
  const std::string location = nginx.Location("/suite");

  // The requests of one walk, to replay them with a raw client.
  HttpTransport transport(location, 0);
  RecordingRepository recorder(transport);
  Engine engine(suite.path(), recorder);
  UpdateDictionary updates;
  engine.catalogue.CollectUpdates(updates, "");
  const RepositoryLocation where = SplitLocation(location);
  std::vector<std::string> raw;
  for (const std::string& entry : recorder.log) {
    const size_t space = entry.find(' ');
    raw.push_back(entry.substr(0, space) + " " + RequestPath(where, entry.substr(space + 1)) +
                  " HTTP/1.0\r\n\r\n");
  }
  long peak = 0;
  Sample ours, baseline;
  MeasurePair(
      repeats, [&] { return ChildSeconds(self, {"walk-child", location, suite.path()}, peak); },
      [&] { return Seconds([&] { for (const auto& r : raw) RawRequest(nginx.port(), r); }); }, ours,
      baseline);
  Report("Catalogue walk: 1,000 modules (" + std::to_string(raw.size()) + " requests)", ours, baseline, 1.5,
         "peak " + std::to_string(peak / 1024) + " MiB (target < 60 MiB), " +
             std::to_string(updates.Count()) + " offered");
}

// The whole-suite walk over a slow link: a relay of our own holds each
// connection's setup for one round trip and each chunk for half of one in
// each direction, and counts the connections open through it.
void SlowWalk(int repeats, const std::string& self) {
  testing::NginxServer nginx;
  testing::TempDir suite;
  PublishSuite(nginx, "/suite", suite.path());
  const char* rtt_text = std::getenv("TARNWICK_BENCH_RTT_MS");
  const int rtt_ms = rtt_text ? std::max(1, std::atoi(rtt_text)) : 20;
  testing::LatencyRelay relay(nginx.port(), std::chrono::milliseconds(rtt_ms));
  const std::string location = "127.0.0.1:" + std::to_string(relay.port()) + "/suite";
  long peak = 0;
  size_t most_open = 0, one_most_open = 0;
  std::vector<double> ahead, one;
  for (int i = 0; i < repeats; ++i) {
    relay.Reset();
    ahead.push_back(ChildSeconds(self, {"slow-walk-child", location, suite.path(), "ahead"}, peak));
    most_open = std::max(most_open, relay.most_open());
  }
  // One request at a time takes minutes at this round trip: measured once.
  const char* one_repeats_text = std::getenv("TARNWICK_BENCH_SLOW_REPEATS");
  const int one_repeats = one_repeats_text ? std::atoi(one_repeats_text) : 1;
  for (int i = 0; i < std::max(1, one_repeats); ++i) {
    relay.Reset();
    one.push_back(RunChild(self, {"slow-walk-child", location, suite.path(), "one"}).seconds);
    one_most_open = std::max(one_most_open, relay.most_open());
  }
  const Sample ours = FromSeconds(ahead), baseline = FromSeconds(one);
  const double rtt = rtt_ms / 1000.0;
  char note[256];
  std::snprintf(note, sizeof note,
                "%.0f round trips against %.0f; at most %zu connections open (target <= 16: %s; one at a time: %zu); "
                "peak %ld MiB (target < 60 MiB)",
                ours.median / rtt, baseline.median / rtt, most_open, most_open <= 16 ? "met" : "MISSED", one_most_open,
                peak / 1024);
  Report("Walk at " + std::to_string(rtt_ms) + " ms round trip: 1,000 modules, ahead vs one at a time", ours,
         baseline, 0.1, note);
}

}  // namespace tw::bench
