// The request path, the catalogue walk, the download and the replacement,
// each measured against a baseline doing the same work in the same run:
// tarnwick_bench <head|walk|list|window|download|replace> [repeats]. Prints one line per
// figure for bench/run to tabulate.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <memory>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "bench_support.h"
#include "catalogue/catalogue.h"
#include "trust/trust_policy.h"
#include "catalogue/path_mapping.h"
#include "engine/checked_download.h"
#include "engine/engine_context.h"
#include "engine/file_replacement.h"
#include "engine/module_download.h"
#include "platform/openssl/crypto.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_process_launcher.h"
#include "platform/posix/posix_system_info.h"
#include "platform/qt/qt_settings_store.h"
#include "support/fake_repository.h"
#include "support/latency_relay.h"
#include "support/nginx_server.h"
#include "support/one_at_a_time.h"
#include "support/temp_dir.h"
#include "transport/network/http_transport.h"
#include "transport/repository_location.h"
#include "trust/repository_index.h"
#include "trust/trust_keys.h"
#include "ui/column_widths.h"
#include "ui/console_main_view.h"
#include "ui/engine_module_installer.h"
#include "ui/main_window_controller.h"
#include "ui/widgets/form_main.h"
#include "ui/widgets/module_list_widget.h"
#include "ui/widgets/window_services.h"

namespace tw::bench {
namespace {

constexpr long long kRepositoryTime = 1609502400;

// Everything a replacement or a walk needs, on the real disk.
struct Engine {
  explicit Engine(const std::string& root, Repository& repo)
      : system("", root + "/Eseguibili/Tarnwick", StartMode::Standalone),
        paths(MakePlaceholderTable({root, "\\bench", "", "", ""}, '/'), "bench", '/'),
        catalogue({paths, repo, files, settings, system, trust}),
        ctx{paths, repo, files, settings, system, catalogue, launcher, ""} {}
  PosixSystemInfo system;
  PosixFileSystem files;
  QtSettingsStore settings;
  PosixProcessLauncher launcher;
  PathMapping paths;
  TrustPolicy trust;
  Catalogue catalogue;
  EngineContext ctx;
};

// Alternates baseline and ours, so that a drift of the machine hits both.
void MeasurePair(int repeats, const std::function<double()>& ours, const std::function<double()>& baseline,
                 Sample& ours_out, Sample& baseline_out) {
  std::vector<double> a, b;
  for (int i = 0; i < repeats; ++i) {
    b.push_back(baseline());
    a.push_back(ours());
  }
  ours_out = FromSeconds(a);
  baseline_out = FromSeconds(b);
}

double Seconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

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

void PublishSuite(testing::NginxServer& nginx, const std::string& base, const std::string& root) {
  std::mt19937 random(1000);
  std::string suite = "[Setup]\r\n";
  for (int i = 0; i < 1000; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "m%04d.dat", i);
    suite += "m" + std::to_string(i) + "={ESEGUIBILI}\\" + name + "\r\n";
    std::string doc = "[Release]\r\n";
    if (i % 2 == 0) doc += "Version=1." + std::to_string(i % 7) + "\r\n";
    if (i % 3 == 0)
      for (int d = 1; d <= 2 && i + d < 1000; ++d) {
        char dep[32];
        std::snprintf(dep, sizeof dep, "m%04d.dat", i + d);
        doc += "d" + std::to_string(d) + "={ESEGUIBILI}\\" + dep + "\r\n";
      }
    while (doc.size() < 400) doc += "Nota" + std::to_string(doc.size()) + "=descrizione del modulo\r\n";
    nginx.Put(base + "/eseguibili/" + name + ".ini", doc);
    nginx.Put(base + "/eseguibili/" + name, "contenuto", kRepositoryTime + random() % 100000);
    if (i % 3 == 1) {
      const std::string local = root + "/Eseguibili/" + name;
      testing::WriteTextFile(local, "installato");
    }
  }
  nginx.Put(base + ".ini", suite);
}

// In a child process: one walk over the whole suite, printing its seconds.
int WalkChild(const std::string& location, const std::string& root) {
  HttpTransport transport(location, 0);
  Engine engine(root, transport);
  UpdateDictionary updates;
  const double seconds = Seconds([&] { engine.catalogue.CollectUpdates(updates, ""); });
  std::printf("%.6f\n%zu\n", seconds, updates.Count());
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
      repeats,
      [&] {
        const ChildResult r = RunChild(self, {"walk-child", location, suite.path()});
        peak = std::max(peak, r.peak_kib);
        return r.seconds;
      },
      [&] { return Seconds([&] { for (const auto& r : raw) RawRequest(nginx.port(), r); }); }, ours,
      baseline);
  Report("Catalogue walk: 1,000 modules (" + std::to_string(raw.size()) + " requests)", ours, baseline, 1.5,
         "peak " + std::to_string(peak / 1024) + " MiB (target < 60 MiB), " +
             std::to_string(updates.Count()) + " offered");
}


// In a child process: the whole-suite walk fetching ahead ("ahead") or one
// request at a time ("one"), printing its seconds.
int SlowWalkChild(const std::string& location, const std::string& root, const std::string& mode) {
  HttpTransport transport(location, 0);
  testing::OneAtATime one(transport);
  Engine engine(root, mode == "one" ? static_cast<Repository&>(one) : transport);
  UpdateDictionary updates;
  const double seconds = Seconds([&] { engine.catalogue.CollectUpdates(updates, ""); });
  std::printf("%.6f\n%zu\n", seconds, updates.Count());
  return updates.Count() > 0 ? 0 : 1;
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
    const ChildResult r = RunChild(self, {"slow-walk-child", location, suite.path(), "ahead"});
    peak = std::max(peak, r.peak_kib);
    most_open = std::max(most_open, relay.most_open());
    ahead.push_back(r.seconds);
  }
  // One request at a time takes minutes at this round trip: measured once.
  const int one_repeats = std::getenv("TARNWICK_BENCH_SLOW_REPEATS") ? std::atoi(std::getenv("TARNWICK_BENCH_SLOW_REPEATS")) : 1;
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

// In a child process: the whole-suite walk of a client with a key, whose
// cache already holds every document (a check where nothing changed).
int IndexChild(const std::string& location, const std::string& root) {
  HttpTransport transport(location, 0);
  Engine engine(root, transport);
  TrustAnchors anchors;
  anchors.AddKeys(testing::PublicText(testing::TestKey(5)));
  engine.trust = TrustPolicy(std::move(anchors));
  UpdateDictionary updates;
  const double seconds = Seconds([&] { engine.catalogue.CollectUpdates(updates, ""); });
  std::printf("%.6f\n%zu\n", seconds, updates.Count());
  return updates.Count() > 0 ? 0 : 1;
}

size_t RequestsBelow(const testing::NginxServer& nginx, const std::string& base) {
  size_t count = 0;
  for (const std::string& line : nginx.Requests())
    if (line.find(" " + base + "/") != std::string::npos || line.find(" " + base + ".ini ") != std::string::npos)
      ++count;
  return count;
}

// "Check, nothing changed": the walk under the index, with its documents
// cached, against today's walk (fetching ahead) in the same run; directly
// and at a round trip of TARNWICK_BENCH_RTT_MS (20 ms) through the relay.
void IndexCheck(int repeats, const std::string& self, bool slow) {
  testing::NginxServer nginx;
  testing::TempDir suite;
  PublishSuite(nginx, "/suite", suite.path());
  PublishIndex(nginx, "/suite");
  const char* rtt_text = std::getenv("TARNWICK_BENCH_RTT_MS");
  const int rtt_ms = rtt_text ? std::max(1, std::atoi(rtt_text)) : 20;
  std::optional<testing::LatencyRelay> relay;
  if (slow) relay.emplace(nginx.port(), std::chrono::milliseconds(rtt_ms));
  const std::string location =
      slow ? "127.0.0.1:" + std::to_string(relay->port()) + "/suite" : nginx.Location("/suite");
  RunChild(self, {"index-child", location, suite.path()});  // fills the cache
  size_t ours_requests = 0, walk_requests = 0;
  Sample ours, baseline;
  MeasurePair(
      repeats,
      [&] {
        const size_t before = RequestsBelow(nginx, "/suite");
        const double seconds = RunChild(self, {"index-child", location, suite.path()}).seconds;
        ours_requests = RequestsBelow(nginx, "/suite") - before;
        return seconds;
      },
      [&] {
        const size_t before = RequestsBelow(nginx, "/suite");
        const double seconds = RunChild(self, {"walk-child", location, suite.path()}).seconds;
        walk_requests = RequestsBelow(nginx, "/suite") - before;
        return seconds;
      },
      ours, baseline);
  char note[200];
  if (slow)
    std::snprintf(note, sizeof note, "%.1f round trips against %.0f; requests %zu against %zu", ours.median / (rtt_ms / 1000.0),
                  baseline.median / (rtt_ms / 1000.0), ours_requests, walk_requests);
  else
    std::snprintf(note, sizeof note, "requests %zu against %zu", ours_requests, walk_requests);
  Report(std::string("Check, nothing changed: 1,000 modules") + (slow ? ", " + std::to_string(rtt_ms) + " ms" : ""),
         ours, baseline, slow ? 0.02 : 0.05, note);
}

// The module list without its widgets: every row measured (a character
// counts as one unit), the widths kept as a list view would size them, and
// the events let through after each row.
// The window without widgets: rows kept and their columns measured as the
// real list does; the log, the questions (No) and the rest go nowhere.
class MeasuringView : public ConsoleMainView {
 public:
  MeasuringView() : ConsoleMainView(nowhere_) {}
  void AddRow(const ModuleRow& row) override {
    rows.push_back(row);
    const int cells[] = {static_cast<int>(row.text.size()), static_cast<int>(row.client_version.size()),
                         static_cast<int>(row.remote_version.size()), static_cast<int>(row.status.size())};
    widths.AddRow(cells);
  }
  void SetRowStatus(size_t row, std::string_view status) override {
    widths.SetCell(row, 3, static_cast<int>(status.size()));
  }
  void AutoSizeColumns() override {
    for (size_t c = 0; c < widths.Columns(); ++c) applied[c] = widths.Width(c);
  }
  void ProcessEvents() override { QCoreApplication::processEvents(); }

  std::vector<ModuleRow> rows;
  ColumnWidths widths{std::vector<int>{6, 6, 13, 5}};
  int applied[4] = {};

 private:
  std::ostream nowhere_{nullptr};  // no buffer: everything written is dropped
};

// In a child process: the walk alone ("walk") or the list filled from it
// ("fill"), printing its seconds.
int ListChild(const std::string& location, const std::string& root, const std::string& what) {
  HttpTransport transport(location, 0);
  Engine engine(root, transport);
  EngineModuleInstaller installer(engine.ctx);
  MeasuringView view;
  MainWindowController controller({}, {engine.catalogue, engine.paths, engine.settings, installer, SystemClock()},
                                  view);
  UpdateDictionary updates;
  const double seconds = Seconds([&] {
    if (what == "fill") controller.FillModuleList("");
    else engine.catalogue.CollectUpdates(updates, "");
  });
  std::printf("%.6f\n", seconds);
  return updates.Count() + view.rows.size() > 0 ? 0 : 1;
}

// The list filled from the walk against the walk alone, each in a child
// process `child` ("list-child" or "window-child").
void FillAgainstWalk(int repeats, const std::string& self, const std::string& child, const std::string& figure,
                     const std::string& peak_target) {
  testing::NginxServer nginx;
  testing::TempDir suite;
  PublishSuite(nginx, "/suite", suite.path());
  const std::string location = nginx.Location("/suite");
  long peak = 0;
  Sample ours, baseline;
  MeasurePair(
      repeats,
      [&] {
        const ChildResult r = RunChild(self, {child, location, suite.path(), "fill"});
        peak = std::max(peak, r.peak_kib);
        return r.seconds;
      },
      [&] { return RunChild(self, {child, location, suite.path(), "walk"}).seconds; }, ours, baseline);
  Report(figure, ours, baseline, 1.5, "peak " + std::to_string(peak / 1024) + " MiB" + peak_target);
}

void List(int repeats, const std::string& self) {
  FillAgainstWalk(repeats, self, "list-child", "Module list: 1,000 modules, no widgets", "");
}

// In a child process with a display (offscreen): the shown main window's
// list filled from the walk ("fill"), or the walk alone beside the same
// shown window ("walk"), printing its seconds.
int WindowChild(const std::string& location, const std::string& root, const std::string& what) {
  HttpTransport transport(location, 0);
  Engine engine(root, transport);
  EngineModuleInstaller installer(engine.ctx);
  SplashService splash;
  BusyPointers busy;
  FormMain form(engine.settings, splash, busy);
  MainWindowController controller({}, {engine.catalogue, engine.paths, engine.settings, installer, SystemClock()},
                                  form);
  // Attached once the show's own activation has come and gone: the list is
  // to be filled by the measured call, not by a refresh before it.
  form.show();
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
  form.Attach(controller);
  UpdateDictionary updates;
  const double seconds = Seconds([&] {
    if (what == "fill") controller.FillModuleList("");
    else engine.catalogue.CollectUpdates(updates, "");
    // What is left to paint counts too.
    QCoreApplication::processEvents();
  });
  std::printf("%.6f\n", seconds);
  const int rows = form.LVModules() ? static_cast<int>(form.LVModules()->model()->rowCount()) : 0;
  return updates.Count() + static_cast<size_t>(rows) > 0 ? 0 : 1;
}

void Window(int repeats, const std::string& self) {
  FillAgainstWalk(repeats, self, "window-child", "Main window list: 1,000 modules, real widgets",
                  " (target < 100 MiB)");
}

int DownloadChild(const std::string& location, const std::string& root, const std::string& name) {
  HttpTransport transport(location, 0);
  Engine engine(root, transport);
  const double seconds = Seconds([&] {
    auto staged = DownloadToStaging(engine.ctx, root + "/Dati" + name, name);
    if (!staged || !ReplaceFromStaging(std::move(*staged))) std::exit(1);
  });
  std::printf("%.6f\n", seconds);
  return 0;
}

void PublishRandom(testing::NginxServer& nginx, const std::string& path, size_t mib) {
  std::string content(mib << 20, '\0');
  std::mt19937_64 random(256);
  for (size_t i = 0; i + 8 <= content.size(); i += 8) {
    const auto v = random();
    std::memcpy(&content[i], &v, 8);
  }
  nginx.Put(path, content, kRepositoryTime);
}

// The peak memory of one download, in KiB.
long PeakOfOneDownload(const std::string& self, const std::string& location, const std::string& root,
                       const std::string& name) {
  std::filesystem::remove(root + "/Dati" + name);
  const long peak = RunChild(self, {"download-child", location, root, name}).peak_kib;
  std::filesystem::remove(root + "/Dati" + name);
  return peak;
}

void Download(int repeats, const std::string& self, size_t mib) {
  testing::NginxServer nginx;
  testing::TempDir suite;
  PublishRandom(nginx, "/dl/big.bin", mib);
  const std::string location = nginx.Location("/dl");
  const std::string url = "http://" + location + "/big.bin";
  const std::string curl_target = suite / "curl.bin";
  long peak = 0;
  Sample ours, baseline;
  MeasurePair(
      repeats,
      [&] {
        std::filesystem::remove(suite / "Dati/big.bin");
        const ChildResult r = RunChild(self, {"download-child", location, suite.path(), "/big.bin"});
        peak = std::max(peak, r.peak_kib);
        return r.seconds;
      },
      [&] {
        std::filesystem::remove(curl_target);
        return Seconds([&] {
          const std::string command = "curl -s -o '" + curl_target + "' '" + url + "' && sync";
          if (std::system(command.c_str()) != 0) std::exit(1);
        });
      },
      ours, baseline);
  std::filesystem::remove(curl_target);
  // The same download four times as large: the peak must not follow the
  // size, since the body goes to the disk as it arrives.
  nginx.Remove("/dl/big.bin");
  PublishRandom(nginx, "/dl/large.bin", 1024);
  const long large_peak = PeakOfOneDownload(self, location, suite.path(), "/large.bin");
  nginx.Remove("/dl/large.bin");
  const long difference = std::labs(large_peak - peak) / 1024;
  Report("Download and replacement: " + std::to_string(mib) + " MiB", ours, baseline, 1.5,
         "peak " + std::to_string(peak / 1024) + " MiB; at 1,024 MiB peak " + std::to_string(large_peak / 1024) +
             " MiB (apart " + std::to_string(difference) + " MiB, target <= 16 MiB: " +
             (difference <= 16 ? "met" : "MISSED") + ")");
}

int DigestChild(const std::string& location, const std::string& root, const std::string& module) {
  HttpTransport transport(location, 0);
  Engine engine(root, transport);
  const double seconds = Seconds([&] {
    auto staged = DownloadCheckedModule(engine.ctx, module);
    if (!staged || !ReplaceFromStaging(std::move(*staged))) std::exit(1);
  });
  std::printf("%.6f\n", seconds);
  return 0;
}

// The same file under two names, one whose document gives its SHA-256 and
// one whose document gives none: the check runs while the bytes arrive.
void Digest(int repeats, const std::string& self, size_t mib) {
  testing::NginxServer nginx;
  testing::TempDir suite;
  PublishRandom(nginx, "/dg/dati/checked.bin", mib);
  const std::string content = testing::ReadTextFile(nginx.root() + "/dg/dati/checked.bin");
  nginx.Put("/dg/dati/plain.bin", content, kRepositoryTime);
  const auto digest = crypto::Sha256Of(content);
  if (!digest) std::exit(1);
  nginx.Put("/dg/dati/checked.bin.ini", "[Release]\r\nSHA256=" + crypto::ToHex(*digest) + "\r\n");
  nginx.Put("/dg/dati/plain.bin.ini", "[Release]\r\n");
  const std::string location = nginx.Location("/dg");
  const auto one = [&](const std::string& name) {
    std::filesystem::remove(suite / ("Dati/" + name));
    const double seconds = RunChild(self, {"digest-child", location, suite.path(), "{DATI}\\" + name}).seconds;
    std::filesystem::remove(suite / ("Dati/" + name));
    return seconds;
  };
  Sample ours, baseline;
  MeasurePair(repeats, [&] { return one("checked.bin"); }, [&] { return one("plain.bin"); }, ours, baseline);
  Report("Download and replacement, SHA-256 checked: " + std::to_string(mib) + " MiB", ours, baseline, 1.15);
}

void Replace(int repeats) {
  testing::TempDir dir;
  testing::FakeRepository repo;
  Engine engine(dir.path(), repo);
  const std::string content(10 * 1024, 'x');
  const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(content.data()), content.size());
  std::filesystem::create_directories(dir / "ours");
  std::filesystem::create_directories(dir / "base");
  for (int i = 0; i < 1000; ++i) {
    testing::WriteTextFile(dir / ("ours/f" + std::to_string(i)), content);
    testing::WriteTextFile(dir / ("base/f" + std::to_string(i)), content);
  }
  const DateValue date = DateValue::FromUnixSeconds(kRepositoryTime);
  Sample ours, baseline;
  MeasurePair(
      repeats,
      [&] {
        return Seconds([&] {
          for (int i = 0; i < 1000; ++i) UpdateFile(engine.ctx, dir / ("ours/f" + std::to_string(i)), bytes, date);
        });
      },
      [&] {
        return Seconds([&] {
          const std::string folder = dir / "base";
          for (int i = 0; i < 1000; ++i) {
            const std::string target = folder + "/f" + std::to_string(i);
            const int fd = ::open((target + ".new").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (::write(fd, content.data(), content.size()) < 0) std::exit(1);
            ::fdatasync(fd);
            ::close(fd);
            ::rename((target + ".new").c_str(), target.c_str());
            const int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
            ::fsync(dfd);
            ::close(dfd);
          }
        });
      },
      ours, baseline);
  Report("Replacement: 1,000 UpdateFile of 10 KiB", ours, baseline, 1.2);
}

}  // namespace
}  // namespace tw::bench

int main(int argc, char** argv) {
  // The benchmark's own settings and home, never the user's.
  tw::testing::TempDir home;
  if (!std::getenv("TARNWICK_BENCH_HOME")) {
    ::setenv("TARNWICK_BENCH_HOME", home.path().c_str(), 1);
    ::setenv("HOME", home.path().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home.path() + "/.config").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (home.path() + "/.cache").c_str(), 1);
  }
  ::setenv("no_proxy", "127.0.0.1", 1);
  const std::string figure = argc > 1 ? argv[1] : "";
  std::unique_ptr<QCoreApplication> app;
  if (figure == "window-child") {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    app = std::make_unique<QApplication>(argc, argv);
  } else {
    app = std::make_unique<QCoreApplication>(argc, argv);
  }
  const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const std::string self = tw::PosixSystemInfo::RunningExecutablePath();
  if (figure == "walk-child" && argc == 4) return tw::bench::WalkChild(argv[2], argv[3]);
  if (figure == "index-child" && argc == 4) return tw::bench::IndexChild(argv[2], argv[3]);
  if (figure == "slow-walk-child" && argc == 5) return tw::bench::SlowWalkChild(argv[2], argv[3], argv[4]);
  if (figure == "list-child" && argc == 5) return tw::bench::ListChild(argv[2], argv[3], argv[4]);
  if (figure == "window-child" && argc == 5) return tw::bench::WindowChild(argv[2], argv[3], argv[4]);
  if (figure == "download-child" && argc == 5) return tw::bench::DownloadChild(argv[2], argv[3], argv[4]);
  if (figure == "digest-child" && argc == 5) return tw::bench::DigestChild(argv[2], argv[3], argv[4]);
  if (figure == "head") tw::bench::Head(repeats);
  else if (figure == "walk") tw::bench::Walk(repeats, self);
  else if (figure == "list") tw::bench::List(repeats, self);
  else if (figure == "window") tw::bench::Window(repeats, self);
  else if (figure == "slowwalk") tw::bench::SlowWalk(repeats, self);
  else if (figure == "index") tw::bench::IndexCheck(repeats, self, false);
  else if (figure == "slowindex") tw::bench::IndexCheck(repeats, self, true);
  else if (figure == "download") tw::bench::Download(repeats, self, argc > 3 ? std::atoi(argv[3]) : 256);
  else if (figure == "digest") tw::bench::Digest(repeats, self, argc > 3 ? std::atoi(argv[3]) : 256);
  else if (figure == "replace") tw::bench::Replace(repeats);
  else {
    std::fprintf(stderr,
                 "uso: tarnwick_bench head|walk|slowwalk|index|slowindex|list|window|download|digest|replace "
                 "[ripetizioni]\n");
    return 2;
  }
  return 0;
}
