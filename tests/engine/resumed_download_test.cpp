// Downloads that break off part-way: the bytes that arrived are kept beside
// the target, the next attempt (in the same download or a later one) asks
// only for the rest while the repository's file keeps its date, and the
// assembled file is the repository's, byte for byte. Also an install over
// TLS onto the real disk.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>

#include "catalogue/catalogue.h"
#include "trust/trust_policy.h"
#include "catalogue/path_mapping.h"
#include "engine/checked_download.h"
#include "engine/engine_context.h"
#include "engine/install.h"
#include "engine/module_download.h"
#include "platform/openssl/crypto.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_process_launcher.h"
#include "engine/disk_engine.h"
#include "support/fake_settings_store.h"
#include "support/fake_system_info.h"
#include "support/fault_server.h"
#include "support/nginx_server.h"
#include "support/temp_dir.h"
#include "support/test_certificates.h"
#include "transport/network/http_transport.h"

namespace tw {
namespace {

using testing::DiskEngine;
using testing::ReadTextFile;

constexpr long long kJan2021 = 1609502400;  // 2021-01-01 12:00:00 UTC
constexpr char kJan2021Text[] = "Fri, 01 Jan 2021 12:00:00 GMT";
constexpr size_t kMiB = 1u << 20;

std::string RandomBytes(size_t size, unsigned seed) {
  std::string content(size, '\0');
  std::mt19937_64 random(seed);
  for (size_t i = 0; i + 8 <= size; i += 8) {
    const auto v = random();
    std::memcpy(&content[i], &v, 8);
  }
  return content;
}

// Checks that the pieces it is shown are the expected content, in order and
// without gaps, as a digest over them would need.
class InOrder : public DownloadObserver {
 public:
  explicit InOrder(const std::string& expected) : expected_(&expected) {}
  bool OnBytes(std::span<const std::uint8_t> bytes) override {
    if (seen + bytes.size() > expected_->size() ||
        std::memcmp(expected_->data() + seen, bytes.data(), bytes.size()) != 0)
      mismatch = true;
    seen += bytes.size();
    return true;
  }
  bool OnRestart() override {
    ++restarts;
    seen = 0;
    return true;
  }
  void Expect(const std::string& expected) { expected_ = &expected; }
  size_t seen = 0;
  int restarts = 0;
  bool mismatch = false;

 private:
  const std::string* expected_;
};

bool HasRange(const std::string& request, size_t from) {
  return request.find("\r\nRange: bytes=" + std::to_string(from) + "-\r\n") != std::string::npos &&
         request.find(std::string("\r\nIf-Range: ") + kJan2021Text + "\r\n") != std::string::npos;
}

class ResumedDownload : public ::testing::Test {
 protected:
  ResumedDownload()
      : transport_("127.0.0.1:" + std::to_string(server_.port()), 0), engine_(dir_.path(), transport_) {
    server_.ServeFile(content_, kJan2021Text);
  }
  Expected<StagedFile, DownloadFailure> Download(DownloadObserver* observer) {
    return DownloadModuleToStaging(engine_.ctx, "{DATI}\\Modulo.bin", observer);
  }
  // The target replaced from the staged download, and its kept part gone.
  // A part that went on stays until the replacement; one the repository's
  // file no longer matched is dropped at once.
  void ExpectInstalled(Expected<StagedFile, DownloadFailure> staged, const std::string& content,
                       bool resumed = true) {
    ASSERT_TRUE(staged);
    EXPECT_EQ(std::filesystem::exists(part_), resumed);
    ASSERT_TRUE(ReplaceFromStaging(std::move(*staged)));
    EXPECT_TRUE(ReadTextFile(target_) == content);
    EXPECT_FALSE(std::filesystem::exists(part_));
    EXPECT_FALSE(std::filesystem::exists(target_ + ".new"));
  }

  testing::TempDir dir_;
  const std::string target_ = dir_ / "Dati/Modulo.bin";
  const std::string part_ = target_ + ".part";
  const std::string content_ = RandomBytes(64 * kMiB, 17);
  testing::FaultServer server_{testing::Fault::File};
  HttpTransport transport_;
  DiskEngine engine_;
};

TEST_F(ResumedDownload, ABreakHalfwayIsFollowedByARequestForTheRestOnly) {
  server_.CutNext(1, 32 * kMiB);
  InOrder observer(content_);
  auto staged = Download(&observer);
  const auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].find("Range:"), std::string::npos);
  EXPECT_TRUE(HasRange(requests[1], 32 * kMiB)) << requests[1];
  EXPECT_EQ(observer.seen, content_.size());
  EXPECT_FALSE(observer.mismatch);
  EXPECT_EQ(observer.restarts, 0);
  ExpectInstalled(std::move(staged), content_);
  EXPECT_EQ(engine_.files.LastModified(target_), kJan2021);
}

TEST_F(ResumedDownload, ALaterRunGoesOnFromWhatTheLastOneKept) {
  server_.CutNext(3, 16 * kMiB);
  {
    auto failed = Download(nullptr);
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().reason, DownloadError::Interrupted);
  }
  // Three attempts of 16 MiB each, each going on from the one before.
  ASSERT_EQ(server_.Requests().size(), 3u);
  EXPECT_TRUE(HasRange(server_.Requests()[2], 32 * kMiB));
  EXPECT_EQ(std::filesystem::file_size(part_), 48 * kMiB);
  EXPECT_EQ(engine_.files.LastModified(part_), kJan2021);
  EXPECT_FALSE(std::filesystem::exists(target_ + ".new"));

  InOrder observer(content_);
  auto staged = Download(&observer);
  ASSERT_EQ(server_.Requests().size(), 4u);
  EXPECT_TRUE(HasRange(server_.Requests()[3], 48 * kMiB));
  // The kept bytes are shown to the observer first, so it sees the whole
  // file in order.
  EXPECT_EQ(observer.seen, content_.size());
  EXPECT_FALSE(observer.mismatch);
  ExpectInstalled(std::move(staged), content_);
}

TEST_F(ResumedDownload, AFileChangedOnTheServerStartsOver) {
  server_.CutNext(3, 16 * kMiB);
  ASSERT_FALSE(Download(nullptr));
  ASSERT_TRUE(std::filesystem::exists(part_));
  const std::string changed = RandomBytes(40 * kMiB, 18);
  server_.ServeFile(changed, "Sat, 02 Jan 2021 12:00:00 GMT");
  InOrder observer(changed);
  auto staged = Download(&observer);
  ASSERT_EQ(server_.Requests().size(), 4u);
  EXPECT_TRUE(HasRange(server_.Requests()[3], 48 * kMiB));  // asked, but the date no longer matches
  EXPECT_EQ(observer.seen, changed.size());
  EXPECT_FALSE(observer.mismatch);
  ExpectInstalled(std::move(staged), changed, false);
  EXPECT_EQ(engine_.files.LastModified(target_), kJan2021 + 86400);
}

TEST_F(ResumedDownload, AServerThatIgnoresRangesSendsItAllAgain) {
  server_.IgnoreRanges();
  server_.CutNext(1, 10 * kMiB);
  InOrder observer(content_);
  auto staged = Download(&observer);
  ASSERT_EQ(server_.Requests().size(), 2u);
  EXPECT_TRUE(HasRange(server_.Requests()[1], 10 * kMiB));
  EXPECT_EQ(observer.restarts, 1);
  EXPECT_EQ(observer.seen, content_.size());
  EXPECT_FALSE(observer.mismatch);
  ExpectInstalled(std::move(staged), content_, false);
}

TEST_F(ResumedDownload, ARangeReplyForAnotherPartDropsTheKeptBytesAndStartsOver) {
  server_.MisplaceRanges();
  server_.CutNext(1, 10 * kMiB);
  InOrder observer(content_);
  auto staged = Download(&observer);
  ASSERT_EQ(server_.Requests().size(), 3u);
  EXPECT_TRUE(HasRange(server_.Requests()[1], 10 * kMiB));
  EXPECT_EQ(server_.Requests()[2].find("Range:"), std::string::npos);
  EXPECT_EQ(observer.restarts, 1);
  EXPECT_FALSE(observer.mismatch);
  ExpectInstalled(std::move(staged), content_, false);
}

TEST_F(ResumedDownload, AKeptPartThatIsAlreadyTheWholeFileIsFetchedAgainWhole) {
  // A connection lost right after the last byte leaves the whole file as
  // the part: the server then finds no rest to send.
  testing::WriteTextFile(part_, content_.substr(0, 1024));
  server_.ServeFile(content_.substr(0, 1024), kJan2021Text);
  engine_.files.SetModificationTime(part_, kJan2021);
  InOrder observer(content_);
  auto staged = Download(&observer);
  ASSERT_EQ(server_.Requests().size(), 2u);
  EXPECT_TRUE(HasRange(server_.Requests()[0], 1024));
  EXPECT_EQ(server_.Requests()[1].find("Range:"), std::string::npos);
  ExpectInstalled(std::move(staged), content_.substr(0, 1024), false);
}

TEST(ResumedCheckedDownload, KeptBytesThatSpoilTheDigestGoSoTheNextAttemptStartsAfresh) {
  auto& nginx = testing::NginxServer::Shared();
  ASSERT_TRUE(nginx.running());
  const std::string base = nginx.FreshBase();
  const std::string content = RandomBytes(2 * kMiB, 20);
  nginx.Put(base + "/dati/modulo.bin", content, kJan2021);
  nginx.Put(base + "/dati/modulo.bin.ini",
            "[Release]\r\nSHA256=" + crypto::ToHex(*crypto::Sha256Of(content)) + "\r\n");
  HttpTransport transport(nginx.Location(base), 0);
  testing::TempDir dir;
  DiskEngine engine(dir.path(), transport);
  const std::string target = dir / "Dati/Modulo.bin";
  // A kept part with the file's date whose bytes are not the file's (a bad
  // sector, or the file republished within the same second).
  std::string spoiled = content.substr(0, kMiB);
  spoiled[4096] ^= 0x5A;
  testing::WriteTextFile(target + ".part", spoiled);
  engine.files.SetModificationTime(target + ".part", kJan2021);

  const auto refused = DownloadCheckedModule(engine.ctx, "{DATI}\\Modulo.bin");
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().reason, DownloadError::Unverified);
  EXPECT_FALSE(std::filesystem::exists(target + ".part"));
  EXPECT_FALSE(std::filesystem::exists(target + ".new"));
  EXPECT_FALSE(std::filesystem::exists(target));

  auto staged = DownloadCheckedModule(engine.ctx, "{DATI}\\Modulo.bin");
  ASSERT_TRUE(staged);
  ASSERT_TRUE(ReplaceFromStaging(std::move(*staged)));
  EXPECT_TRUE(ReadTextFile(target) == content);
}

TEST(TlsInstall, AModuleIsInstalledFromAnHttpsRepository) {
  testing::TestCertificates authority;
  ASSERT_TRUE(authority.ok());
  const auto pair = authority.Issue("server", {"IP:127.0.0.1"});
  testing::NginxServer server(testing::NginxOptions{pair.certificate, pair.key, false});
  ASSERT_TRUE(server.running());
  testing::ScopedVariable trust("SSL_CERT_FILE", authority.authority().c_str());
  const std::string content = RandomBytes(3 * kMiB, 19);
  server.Put("/dati/modulo.bin", content, kJan2021);
  HttpTransport transport(server.Location(), 0);
  testing::TempDir dir;
  DiskEngine engine(dir.path(), transport);
  ASSERT_TRUE(InstallModuleFile(engine.ctx, "{DATI}\\Modulo.bin", ""));
  EXPECT_TRUE(ReadTextFile(dir / "Dati/Modulo.bin") == content);
  EXPECT_EQ(engine.files.LastModified(dir / "Dati/Modulo.bin"), kJan2021);
}

}  // namespace
}  // namespace tw
