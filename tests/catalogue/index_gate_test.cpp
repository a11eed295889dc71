// How the program judges a repository's index, and how the floor it keeps
// in the settings moves.
#include <gtest/gtest.h>

#include "catalogue/document_cache.h"
#include "catalogue/index_gate.h"
#include "common/settings_keys.h"
#include "support/fake_index.h"
#include "support/fake_file_system.h"
#include "support/fake_settings_store.h"
#include "support/fake_system_info.h"

namespace tw {
namespace {

using testing::TestKey;

constexpr std::int64_t kNow = 1800000000;

TrustPolicy PolicyOf(std::initializer_list<std::uint8_t> fills) {
  TrustAnchors anchors;
  for (std::uint8_t fill : fills) anchors.AddKeys(testing::PublicText(TestKey(fill)));
  return TrustPolicy(std::move(anchors));
}

std::string IndexText(std::uint64_t serial, std::int64_t expires = kNow + 3600, std::string name = "base",
                      std::string extra = "") {
  return "[Index]\r\nFormat=1\r\nRepository=" + name + "\r\nSerial=" + std::to_string(serial) +
         "\r\nPublished=" + std::to_string(kNow - 3600) + "\r\nExpires=" + std::to_string(expires) + "\r\n" + extra +
         "[Files]\r\n";
}

std::string Local(std::int64_t seconds) { return "T" + std::to_string(seconds); }

IndexClock ClockAt(std::function<std::int64_t()> unix_now) {
  return {std::move(unix_now), [] { return std::int64_t{0}; }, Local};
}

TEST(IndexGate, EveryIndexThatIsNotTheRepositorysCurrentWordIsRefusedWithItsNumber) {
  const auto key = TestKey(1);
  const TrustPolicy policy = PolicyOf({1, 2});
  const IndexFloor floor{10, crypto::ToHex(*crypto::Sha256Of(testing::Signed(IndexText(10), key))), "base"};
  RepositoryIndex current;
  current.expires = kNow + 60;
  const struct {
    const char* what;
    std::optional<std::string> bytes;
    TrustPolicy policy;
    const RepositoryIndex* current;
    IndexDecision decision;
    int number;
  } cases[] = {
      {"missing", std::nullopt, policy, nullptr, IndexDecision::Refuse, kIndexMissingError},
      {"malformed", testing::Signed(IndexText(11) + "F1=x\r\n", key), policy, nullptr, IndexDecision::Refuse,
       kIndexUnreadableError},
      {"unsigned", IndexText(11), policy, nullptr, IndexDecision::Refuse, kIndexUnsignedError},
      {"foreign key", testing::Signed(IndexText(11), TestKey(3)), policy, nullptr, IndexDecision::Refuse,
       kIndexUnsignedError},
      {"expired", testing::Signed(IndexText(11, kNow), key), policy, nullptr, IndexDecision::Refuse,
       kIndexExpiredError},
      {"other repository", testing::Signed(IndexText(11, kNow + 60, "altro"), key), policy, nullptr,
       IndexDecision::Refuse, kIndexOtherRepositoryError},
      {"same serial, other bytes", testing::Signed(IndexText(10, kNow + 61), key), policy, nullptr,
       IndexDecision::Refuse, kIndexSerialReusedError},
      {"older, nothing in force", testing::Signed(IndexText(9), key), policy, nullptr, IndexDecision::Refuse,
       kIndexOlderError},
      {"older, the accepted one in force", testing::Signed(IndexText(9), key), policy, &current,
       IndexDecision::KeepCurrent, kIndexOlderError},
      {"a damaged PublicKey", testing::Signed(IndexText(11), key), TrustPolicy(PolicyOf({1}).Anchors(), true),
       nullptr, IndexDecision::Refuse, kKeyConfigurationError},
      {"the same index again", testing::Signed(IndexText(10), key), policy, nullptr, IndexDecision::Accept, 0},
      {"newer, unknown keys passed over", testing::Signed(IndexText(11, kNow + 60, "base", "Nuovo=1\r\n"), key),
       policy, nullptr, IndexDecision::Accept, 0},
      {"rotation: the second key", testing::Signed(IndexText(12), TestKey(2)), policy, nullptr,
       IndexDecision::Accept, 0},
  };
  // Judged as read here, as read beforehand by another core, and with a
  // reading of other (good) bytes, which must count for nothing.
  const SharedIndexReading good = ReadSharedIndex(testing::Signed(IndexText(11), key), policy.Anchors());
  for (const auto& c : cases)
    for (const SharedIndexReading& reading :
         {SharedIndexReading(), c.bytes ? ReadSharedIndex(*c.bytes, c.policy.Anchors()) : nullptr, good}) {
      const IndexVerdict verdict = JudgeIndex(c.bytes, c.policy, floor, c.current, kNow, Local, reading);
      EXPECT_EQ(verdict.decision, c.decision) << c.what << ": " << verdict.message;
      EXPECT_EQ(verdict.number, c.number) << c.what;
      if (c.number != 0) {
        EXPECT_TRUE(verdict.message.starts_with("Errore " + std::to_string(c.number) + ": ")) << verdict.message;
      }
      EXPECT_EQ(verdict.index != nullptr, c.decision == IndexDecision::Accept) << c.what;
    }
  // The expiry is shown with the local time.
  const IndexVerdict expired =
      JudgeIndex(testing::Signed(IndexText(11, kNow - 5), key), policy, floor, nullptr, kNow, Local);
  EXPECT_NE(expired.message.find("Expires T" + std::to_string(kNow - 5) + ", ora T" + std::to_string(kNow)),
            std::string::npos)
      << expired.message;
}

TEST(IndexGate, TheFloorOnlyRisesAndAnAdministratorMayPreSeedIt) {
  testing::FakeSettingsStore settings;
  const std::string location = "http://host/base";
  RepositoryIndex index;
  index.repository = "base";
  index.serial = 20;
  RaiseIndexFloor(settings, location, index, "aa");
  index.serial = 15;
  RaiseIndexFloor(settings, location, index, "bb");
  IndexFloor floor = ReadIndexFloor(settings, location);
  EXPECT_EQ(floor.serial, 20u);
  EXPECT_EQ(floor.sha256, "aa");
  EXPECT_EQ(floor.repository, "base");
  // Another location has a floor of its own.
  EXPECT_EQ(ReadIndexFloor(settings, "http://other/base").serial, 0u);

  settings.Set(settings::kSection, "MinSerial", "30");
  settings.Set(settings::kSection, "Repository", "suite");
  floor = ReadIndexFloor(settings, location);
  EXPECT_EQ(floor.serial, 30u);
  EXPECT_EQ(floor.sha256, "");
  EXPECT_EQ(floor.repository, "suite");
}

// What each start asks for the index, with the cache of earlier starts:
// an unchanged index is one conditional GET answered 304, and a 304 the
// cache cannot back is followed by a plain GET.
TEST(IndexGate, AnUnchangedIndexCostsA304AndNoAnswerIsAnUnreachableRepository) {
  const auto key = TestKey(1);
  const TrustPolicy policy = PolicyOf({1});
  testing::FakeFileSystem files;
  testing::FakeSystemInfo system;
  system.user_cache_folder = "/cache";
  testing::FakeSettingsStore settings;
  testing::FakeRepository repo;
  DocumentCache cache(files, system, repo.URL());
  const IndexClock clock = ClockAt([] { return static_cast<std::int64_t>(std::time(nullptr)); });
  testing::PublishIndex(repo, key);

  const struct {
    const char* what;
    std::function<void()> before;
    std::vector<std::string> log;
    std::uint64_t serial;  // of the ruling index; 0: refused
    std::string message;   // its beginning
  } starts[] = {
      {"first start", [] {}, {"GET /indice.ini"}, 1, ""},
      {"nothing changed", [] {}, {"GET? /indice.ini"}, 1, ""},
      {"a new index", [&] {
         testing::IndexShape newer;
         newer.serial = 2;
         testing::PublishIndex(repo, key, newer);
       }, {"GET? /indice.ini"}, 2, ""},
      {"304 backed by nothing", [&] { files.files.clear(); repo.stray_not_modified = 1; },
       {"GET /indice.ini", "GET /indice.ini"}, 2, ""},
      {"cached copy edited",
       [&] {
         for (auto& [path, file] : files.files)
           if (!path.ends_with("/indice")) file.content.push_back(' ');
       },
       {"GET /indice.ini"}, 2, ""},
      {"unreachable", [&] { repo.reachable = false; }, {"GET? /indice.ini"}, 0, "Errore 30020: "},
      {"index missing", [&] { repo.reachable = true; repo.resources.erase("/indice.ini"); }, {"GET? /indice.ini"},
       0, "Errore 30011: "},
  };
  for (const auto& start : starts) {
    SCOPED_TRACE(start.what);
    start.before();
    repo.log.clear();
    IndexGate gate(repo, settings, policy, repo.URL(), clock, &cache);
    gate.BeginOperation();
    EXPECT_EQ(repo.log, start.log);
    EXPECT_EQ(gate.Refused(), start.serial == 0);
    EXPECT_EQ(gate.Ruling() ? gate.Ruling()->serial : 0u, start.serial);
    EXPECT_TRUE(gate.Message().starts_with(start.message)) << gate.Message();
  }
}

// Without a key an index the repository has is used, signed or not, and
// one it lacks or cannot be read leaves the repository read as before.
TEST(IndexGate, WithoutAKeyAnIndexIsUsedWhereTheRepositoryHasOne) {
  const TrustPolicy none;
  testing::FakeSettingsStore settings;
  const IndexClock clock = ClockAt([] { return kNow; });
  const struct {
    const char* what;
    std::optional<std::string> index;
    bool rules;
  } cases[] = {
      {"unsigned", IndexText(3), true},
      {"signed by anyone, expired", testing::Signed(IndexText(3, kNow - 1), TestKey(7)), true},
      {"none", std::nullopt, false},
      {"unreadable", IndexText(3) + "F1=x\r\n", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testing::FakeRepository repo;
    if (c.index) repo.Put("/indice.ini", *c.index);
    IndexGate gate(repo, settings, none, repo.URL(), clock);
    gate.BeginOperation();
    EXPECT_EQ(gate.Ruling() != nullptr, c.rules);
    EXPECT_FALSE(gate.Refused());
    EXPECT_EQ(gate.Message(), "");
  }
  // Nothing of a floor is kept without a key.
  EXPECT_TRUE(ReadIndexFloor(settings, "http://fake/base").repository.empty());
}

}  // namespace
}  // namespace tw
