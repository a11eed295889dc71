// Installing module files from a real web server, and from servers that
// misbehave, onto the real disk: the bytes go to the disk as they arrive,
// within a size bound and a low-speed bound, and a download that fails or
// is cancelled leaves the installed file as it was.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "catalogue/catalogue.h"
#include "trust/trust_policy.h"
#include "catalogue/path_mapping.h"
#include "common/settings_keys.h"
#include "engine/engine_context.h"
#include "engine/install.h"
#include "engine/module_download.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_process_launcher.h"
#include "engine/disk_engine.h"
#include "support/fake_settings_store.h"
#include "support/fake_system_info.h"
#include "support/fault_server.h"
#include "support/nginx_server.h"
#include "support/temp_dir.h"
#include "transport/network/http_transport.h"

namespace tw {
namespace {

using testing::DiskEngine;
using testing::ReadTextFile;
using testing::WriteTextFile;

constexpr long long kJan2021 = 1609502400;  // 2021-01-01 12:00:00 UTC

// Kibibytes of one line of /proc/self/status.
long StatusKib(const std::string& field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind(field + ":", 0) == 0) return std::atol(line.c_str() + field.size() + 1);
  return -1;
}

// Resets the peak resident size to the present one.
bool ResetPeakMemory() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.close();
  return static_cast<bool>(clear) && StatusKib("VmHWM") <= StatusKib("VmRSS") + 1024;
}

std::string RandomBytes(size_t size) {
  std::string content(size, '\0');
  std::mt19937_64 random(16);
  for (size_t i = 0; i + 8 <= size; i += 8) {
    const auto v = random();
    std::memcpy(&content[i], &v, 8);
  }
  return content;
}

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

class StreamedInstall : public ::testing::Test {
 protected:
  std::string Location(const testing::FaultServer& server) {
    return "127.0.0.1:" + std::to_string(server.port());
  }

  testing::TempDir dir_;
  const std::string target_ = dir_ / "Dati/Modulo.bin";
};

TEST_F(StreamedInstall, LargeModuleArrivesByteIdenticalWithoutBeingHeldInMemory) {
  auto& nginx = testing::NginxServer::Shared();
  ASSERT_TRUE(nginx.running());
  const std::string base = nginx.FreshBase();
  nginx.Put(base + "/dati/modulo.bin", RandomBytes(48u << 20), kJan2021);
  HttpTransport transport(nginx.Location(base), 0);
  DiskEngine engine(dir_.path(), transport);

  const bool measured = ResetPeakMemory();
  const long before = StatusKib("VmRSS");
  ASSERT_TRUE(InstallModuleFile(engine.ctx, "{DATI}\\Modulo.bin", ""));
  const long peak = StatusKib("VmHWM");
  if (measured) {
    EXPECT_LT(peak - before, 16 * 1024) << "peak grew by " << peak - before << " KiB";
  }

  EXPECT_TRUE(ReadTextFile(target_) == ReadTextFile(nginx.root() + base + "/dati/modulo.bin"));
  EXPECT_EQ(engine.files.LastModified(target_), kJan2021);
  EXPECT_EQ(engine.settings.Get(settings::kLastModifiedSection, target_),
            DateValue::FromUnixSeconds(kJan2021).ToSettingsText());
  EXPECT_FALSE(Exists(target_ + ".new"));
  EXPECT_FALSE(Exists(target_ + ".old"));
}

TEST_F(StreamedInstall, TricklingServerFailsByTheLowSpeedBound) {
  testing::FaultServer trickle(testing::Fault::TrickleBody,
                               "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n");
  TransferLimits limits;
  limits.low_speed_seconds = 2;  // 1 KiB within 2 s, where a byte a second comes
  HttpTransport transport(Location(trickle), 0, {}, limits);
  DiskEngine engine(dir_.path(), transport);
  WriteTextFile(target_, "vecchio");

  const bool measured = ResetPeakMemory();
  const long before = StatusKib("VmRSS");
  const auto staged = DownloadModuleToStaging(engine.ctx, "{DATI}\\Modulo.bin");
  ASSERT_FALSE(staged);
  EXPECT_EQ(staged.error().reason, DownloadError::TooSlow);
  if (measured) {
    EXPECT_LT(StatusKib("VmHWM") - before, 4 * 1024);
  }
  EXPECT_EQ(ReadTextFile(target_), "vecchio");
  EXPECT_FALSE(Exists(target_ + ".new"));
}

TEST_F(StreamedInstall, BodyBeyondItsLengthOrTheMaximumIsRefused) {
  WriteTextFile(target_, "vecchio");
  struct Case {
    std::string reply;
    unsigned long long maximum;
  };
  const std::string body(5000, 'x');
  const Case cases[] = {
      // More than the length it announces.
      {"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + body, 4ull << 30},
      // No length, and more than the configured maximum.
      {"HTTP/1.0 200 OK\r\n\r\n" + body, 4000},
      // An announced length beyond the maximum: refused before any byte.
      {"HTTP/1.1 200 OK\r\nContent-Length: 10000000000\r\n\r\n" + body, 4ull << 30},
  };
  for (const Case& c : cases) {
    testing::FaultServer server(testing::Fault::AnswerAndClose, c.reply);
    TransferLimits limits;
    limits.max_download = c.maximum;
    HttpTransport transport(Location(server), 0, {}, limits);
    DiskEngine engine(dir_.path(), transport);
    const auto staged = DownloadModuleToStaging(engine.ctx, "{DATI}\\Modulo.bin");
    ASSERT_FALSE(staged) << c.reply.substr(0, 40);
    EXPECT_EQ(staged.error().reason, DownloadError::TooLarge) << c.reply.substr(0, 40);
    EXPECT_FALSE(InstallModuleFile(engine.ctx, "{DATI}\\Modulo.bin", ""));
    EXPECT_EQ(ReadTextFile(target_), "vecchio");
    EXPECT_FALSE(Exists(target_ + ".new"));
  }
}

// Stops the transfer as soon as the first piece has been seen.
class CancelAtOnce : public DownloadObserver {
 public:
  bool OnBytes(std::span<const std::uint8_t> bytes) override {
    seen += bytes.size();
    return true;
  }
  void OnProgress(std::uint64_t received, std::int64_t announced) override {
    last_received = received;
    total = announced;
  }
  bool CancelRequested() override { return seen > 0; }
  std::uint64_t seen = 0, last_received = 0;
  std::int64_t total = 0;
};

TEST_F(StreamedInstall, CancelledTransferLeavesTheInstalledFileAndNoStagingFile) {
  auto& nginx = testing::NginxServer::Shared();
  ASSERT_TRUE(nginx.running());
  const std::string base = nginx.FreshBase();
  nginx.Put(base + "/dati/modulo.bin", RandomBytes(8u << 20), kJan2021);
  HttpTransport transport(nginx.Location(base), 0);
  DiskEngine engine(dir_.path(), transport);
  WriteTextFile(target_, "vecchio");

  CancelAtOnce observer;
  const auto staged = DownloadModuleToStaging(engine.ctx, "{DATI}\\Modulo.bin", &observer);
  ASSERT_FALSE(staged);
  EXPECT_EQ(staged.error().reason, DownloadError::Cancelled);
  EXPECT_GT(observer.seen, 0u);
  EXPECT_LT(observer.seen, 8u << 20);
  EXPECT_EQ(ReadTextFile(target_), "vecchio");
  EXPECT_FALSE(Exists(target_ + ".new"));

  // The lock went with the cancelled download: the next one completes,
  // and its progress ends at the announced total.
  DownloadObserver watch_only;
  auto again = DownloadModuleToStaging(engine.ctx, "{DATI}\\Modulo.bin", &watch_only);
  ASSERT_TRUE(again);
  ASSERT_TRUE(ReplaceFromStaging(std::move(*again)));
  EXPECT_EQ(std::filesystem::file_size(target_), 8u << 20);
}

TEST_F(StreamedInstall, SelfRegisteringModuleStartsWithOnlyTheStandardDescriptors) {
  auto& nginx = testing::NginxServer::Shared();
  ASSERT_TRUE(nginx.running());
  const std::string base = nginx.FreshBase();
  nginx.Put(base + "/eseguibili/elenco", ReadTextFile(FD_LISTER), kJan2021);
  HttpTransport transport(nginx.Location(base), 0);
  DiskEngine engine(dir_.path(), transport);

  ASSERT_TRUE(InstallModuleFile(engine.ctx, "{ESEGUIBILI}\\Elenco", "self"));
  // The connection to the repository stays open for the next request.
  int sockets = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    sockets += std::filesystem::read_symlink(entry.path(), error).string().rfind("socket:", 0) == 0;
  }
  EXPECT_GT(sockets, 0);
  const std::string listing = dir_ / "Eseguibili/Elenco.fds";
  for (int i = 0; i < 400 && !Exists(listing); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(ReadTextFile(listing), "0\n1\n2\n");
}

}  // namespace
}  // namespace tw
