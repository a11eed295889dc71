// Updates by patch against updates by the whole file, on two real builds of
// a shared library (bench/run delta fetches them): the bytes a patch saves,
// the time of an update on the loopback and over a slow link, and the
// client's peak memory against the file's size. Each update runs in a
// child process, so that its peak memory is its own.
#include <stdlib.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>

#include "bench_support.h"
#include "catalogue/catalogue.h"
#include "catalogue/ini_document.h"
#include "catalogue/path_mapping.h"
#include "engine/checked_download.h"
#include "engine/engine_context.h"
#include "engine/file_replacement.h"
#include "engine/installed_digest.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_process_launcher.h"
#include "platform/posix/posix_system_info.h"
#include "publisher/command.h"
#include "support/fake_settings_store.h"
#include "support/latency_relay.h"
#include "support/nginx_server.h"
#include "support/temp_dir.h"
#include "transport/network/http_transport.h"
#include "trust/trust_policy.h"

namespace tw::bench {
namespace {

const std::string kModule = "{DATI}\\libcrypto.so.3";
constexpr long long kOldTime = 1700000000, kNewTime = 1700086400;

double Seconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void SetTime(const std::string& path, long long seconds) {
  const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(seconds), 0}};
  ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

// In a child process: the update of the installed file under `root` from
// the repository at `location`, printing its seconds. The settings are
// new: with `digest` "first" the installed file's digest is computed within
// the update, as at a first run; with "kept" before it, as a later run
// finds it kept in the settings.
int UpdateChild(const std::string& location, const std::string& root, const std::string& digest) {
  PosixSystemInfo system("", root + "/Eseguibili/Tarnwick", StartMode::Standalone);
  PosixFileSystem files;
  testing::FakeSettingsStore settings;
  PosixProcessLauncher launcher;
  PathMapping paths(MakePlaceholderTable({root, "\\bench", "", "", ""}, '/'), "bench", '/');
  HttpTransport transport(location, 0);
  TrustPolicy trust;
  Catalogue catalogue({paths, transport, files, settings, system, trust});
  EngineContext ctx{paths, transport, files, settings, system, catalogue, launcher, ""};
  if (digest == "kept") InstalledDigest(ctx, paths.ResolvePath(kModule, false));
  const double seconds = Seconds([&] {
    auto staged = DownloadCheckedModule(ctx, kModule);
    if (!staged || !ReplaceFromStaging(std::move(*staged))) std::exit(1);
  });
  std::printf("%.6f\n", seconds);
  return 0;
}

void Publish(const std::string& suite, const std::string& repository, const std::vector<std::string>& extra) {
  std::vector<std::string> arguments = {"publish", suite, repository};
  arguments.insert(arguments.end(), extra.begin(), extra.end());
  std::ostringstream out, err;
  if (publisher::RunCommand(arguments, out, err) != 0) {
    std::fprintf(stderr, "%s", err.str().c_str());
    std::exit(1);
  }
}

void Delta(int repeats, const std::string& self, const std::string& old_file, const std::string& new_file,
           const std::string& label) {
  testing::NginxServer nginx;
  testing::TempDir work;
  const std::string suite = work / "fonte", client = work / "client";
  const std::string source = suite + "/Dati/libcrypto.so.3", installed = client + "/Dati/libcrypto.so.3";
  std::filesystem::create_directories(suite + "/Dati");
  std::filesystem::create_directories(client + "/Dati");
  // The patched repository saw both versions; the other only the new one.
  std::filesystem::copy_file(old_file, source, std::filesystem::copy_options::overwrite_existing);
  SetTime(source, kOldTime);
  Publish(suite, nginx.root() + "/dp", {"--deltas", "1", "--store", work / "archivio"});
  std::filesystem::copy_file(new_file, source, std::filesystem::copy_options::overwrite_existing);
  SetTime(source, kNewTime);
  Publish(suite, nginx.root() + "/dp", {"--deltas", "1", "--store", work / "archivio"});
  Publish(suite, nginx.root() + "/df", {});

  ModuleINIInfo document;
  ParseModuleINI(testing::ReadTextFile(nginx.root() + "/dp/dati/libcrypto.so.3.ini"), document);
  if (document.DeltaKeys.Count() != 1) {
    std::fprintf(stderr, "nessuna patch pubblicata\n");
    std::exit(1);
  }
  std::istringstream entry(document.DeltaKeys.At(1).value);
  std::string old_sha, patch_sha;
  std::uint64_t patch_bytes = 0;
  entry >> old_sha >> patch_sha >> patch_bytes;
  const std::uint64_t file_bytes = std::filesystem::file_size(new_file);
  const std::string expected = testing::ReadTextFile(new_file);

  const auto one = [&](const std::string& location, const std::string& digest, long* peak) {
    std::filesystem::copy_file(old_file, installed, std::filesystem::copy_options::overwrite_existing);
    SetTime(installed, kOldTime);
    const ChildResult r = RunChild(self, {"update-child", location, client, digest});
    if (testing::ReadTextFile(installed) != expected) {
      std::fprintf(stderr, "file aggiornato diverso dall'atteso\n");
      std::exit(1);
    }
    if (peak) *peak = std::max(*peak, r.peak_kib);
    return r.seconds;
  };
  long whole_peak = 0;
  const auto pair = [&](const std::string& host, const std::string& digest, Sample& patched, Sample& whole,
                        long* peak) {
    std::vector<double> a, b;
    for (int i = 0; i < repeats; ++i) {
      b.push_back(one(host + "/df", digest, &whole_peak));
      a.push_back(one(host + "/dp", digest, peak));
    }
    patched = FromSeconds(a);
    whole = FromSeconds(b);
  };

  const double share = 100.0 * static_cast<double>(patch_bytes) / static_cast<double>(file_bytes);
  char bytes_note[200];
  std::snprintf(bytes_note, sizeof bytes_note, "patch %llu of %llu bytes (%.1f%%, target <= 12%%: %s)",
                static_cast<unsigned long long>(patch_bytes), static_cast<unsigned long long>(file_bytes), share,
                share <= 12.0 ? "met" : "MISSED");
  long peak = 0;
  Sample patched, whole;
  pair(nginx.Location(""), "first", patched, whole, &peak);
  char memory_note[200];
  std::snprintf(memory_note, sizeof memory_note, "; client peak %.1f MiB (whole file: %.1f MiB) for a %.1f MiB file",
                static_cast<double>(peak) / 1024.0, static_cast<double>(whole_peak) / 1024.0,
                static_cast<double>(file_bytes) / 1048576.0);
  Report("Delta update, loopback, digest computed: " + label, patched, whole, 1.5, bytes_note + std::string(memory_note));
  pair(nginx.Location(""), "kept", patched, whole, nullptr);
  Report("Delta update, loopback, digest kept: " + label, patched, whole, 1.5);

  testing::LatencyRelay relay(nginx.port(), std::chrono::milliseconds(20), 10'000'000 / 8);
  pair("127.0.0.1:" + std::to_string(relay.port()), "first", patched, whole, nullptr);
  Report("Delta update, 20 ms RTT, 10 Mbit/s: " + label, patched, whole, 0.4);
}

}  // namespace
}  // namespace tw::bench

int main(int argc, char** argv) {
  // The benchmark's own settings and home, never the user's.
  tw::testing::TempDir home;
  tw::bench::UseBenchmarkHome(home.path());
  QCoreApplication app(argc, argv);
  const std::string figure = argc > 1 ? argv[1] : "";
  if (figure == "update-child" && argc == 5) return tw::bench::UpdateChild(argv[2], argv[3], argv[4]);
  if (figure == "delta" && argc == 6) {
    const std::string self = tw::PosixSystemInfo::RunningExecutablePath();
    tw::bench::Delta(std::max(1, std::atoi(argv[2])), self, argv[3], argv[4], argv[5]);
    return 0;
  }
  std::fprintf(stderr, "uso: delta_bench delta RIPETIZIONI VECCHIO NUOVO ETICHETTA\n");
  return 2;
}
