// The files: a large download and its replacement against curl, the same
// download with its SHA-256 checked against it unchecked, and many small
// replacements against a C loop of write, fdatasync, rename and fsync.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>

#include "bench_suite.h"
#include "bench_support.h"
#include "engine/checked_download.h"
#include "engine/file_replacement.h"
#include "engine/module_download.h"
#include "figures.h"
#include "platform/openssl/crypto.h"
#include "support/fake_repository.h"
#include "support/temp_dir.h"

namespace tw::bench {
namespace {

// The peak memory of one download, in KiB.
long PeakOfOneDownload(const std::string& self, const std::string& location, const std::string& root,
                       const std::string& name) {
  std::filesystem::remove(root + "/Dati" + name);
  const long peak = RunChild(self, {"download-child", location, root, name}).peak_kib;
  std::filesystem::remove(root + "/Dati" + name);
  return peak;
}

}  // namespace

// In a child process: `name` downloaded into its staging file and put in
// place, printing the seconds.
int DownloadChild(const std::string& location, const std::string& root, const std::string& name) {
  SuiteClient client(location, root);
  PrintSeconds(Seconds([&] {
    auto staged = DownloadToStaging(client.engine.ctx, root + "/Dati" + name, name);
    if (!staged || !ReplaceFromStaging(std::move(*staged))) std::exit(1);
  }));
  return 0;
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
        return ChildSeconds(self, {"download-child", location, suite.path(), "/big.bin"}, peak);
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

// In a child process: the module downloaded with the check its document
// asks for and put in place, printing the seconds.
int DigestChild(const std::string& location, const std::string& root, const std::string& module) {
  SuiteClient client(location, root);
  PrintSeconds(Seconds([&] {
    auto staged = DownloadCheckedModule(client.engine.ctx, module);
    if (!staged || !ReplaceFromStaging(std::move(*staged))) std::exit(1);
  }));
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

}  // namespace tw::bench
