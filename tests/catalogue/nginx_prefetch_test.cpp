// The walk fetching ahead against a real web server, through a relay that
// counts connections and requests: the same dictionary and the same
// requests per path as the walk one module at a time, and never more than
// the bound of connections open at once.
#include <gtest/gtest.h>

#include "catalogue/catalogue.h"
#include "trust/trust_policy.h"
#include "catalogue/path_mapping.h"
#include "support/fake_file_system.h"
#include "support/fake_settings_store.h"
#include "support/fake_system_info.h"
#include "support/fault_server.h"
#include "support/latency_relay.h"
#include "support/nginx_server.h"
#include "support/one_at_a_time.h"
#include "transport/async_repository.h"
#include "transport/network/http_transport.h"

namespace tw {
namespace {


struct Walked {
  std::string dictionary;
  std::map<std::string, int> requests;
  size_t most_open = 0;
};

std::string Describe(const UpdateDictionary& updates) {
  std::string out;
  for (const auto& item : updates) {
    const ModuleUpdateInfo& r = *item.value;
    out += *item.key + "|" + r.LocalVersion + "|" + r.RemoteVersion + "|" + std::to_string(r.InstallationType) +
           "|" + r.Register + "|" + std::to_string(r.ForceUpdate) + std::to_string(r.OnDemand);
    for (const auto& program : r.PostSetup) out += "|" + program.value;
    out += "\n";
  }
  return out;
}

Walked Walk(int upstream_port, const std::string& base, bool ahead, std::chrono::microseconds round_trip) {
  testing::LatencyRelay relay(upstream_port, round_trip);
  testing::FakeSystemInfo system;
  system.current_bias = 0;
  testing::FakeFileSystem files;
  testing::FakeSettingsStore settings;
  for (int i = 0; i < 80; i += 4)
    files.AddFile("/opt/suite/Eseguibili/m" + std::to_string(i) + ".dll", "x", 1577880000, i % 8 ? "" : "1.0.0.0");
  PathMapping paths(MakePlaceholderTable({"/opt/suite", "\\pc1", "", "", ""}, '/'), "pc1", '/');
  HttpTransport transport("127.0.0.1:" + std::to_string(relay.port()) + base, 0);
  testing::OneAtATime one(transport);
  Repository& repository = ahead ? static_cast<Repository&>(transport) : one;
  const TrustPolicy no_keys;
  Catalogue catalogue({paths, repository, files, settings, system, no_keys});
  UpdateDictionary updates;
  catalogue.CollectUpdates(updates, "");
  // A second walk of the same run asks for nothing more.
  UpdateDictionary again;
  catalogue.CollectUpdates(again, "");
  EXPECT_EQ(Describe(again), Describe(updates));
  return {Describe(updates), relay.Requests(), relay.most_open()};
}

TEST(NginxWalkAhead, SameDictionaryAndRequestsWithinTheConnectionBound) {
  auto& nginx = testing::NginxServer::Shared();
  ASSERT_TRUE(nginx.running());
  const std::string base = nginx.FreshBase();
  constexpr long long kJan2021 = 1609502400;
  std::string index = "[Setup]\r\n";
  for (int i = 0; i < 80; ++i) {
    const std::string name = "m" + std::to_string(i) + ".dll";
    index += "s" + std::to_string(i) + "={ESEGUIBILI}\\" + name + "\r\n";
    std::string doc = "[Release]\r\n";
    if (i % 3 == 0) doc += "Version=1." + std::to_string(i % 5) + "\r\n";
    if (i % 7 == 0) doc += "ForceUpdate=0\r\n";
    if (i % 11 == 0) doc += "OnDemand=1\r\n";
    doc += "[Setup]\r\n";
    if (i + 3 < 80) doc += "a={ESEGUIBILI}\\m" + std::to_string(i + 3) + ".dll\r\n";  // chains and diamonds
    if (i % 5 == 0) doc += "b={ESEGUIBILI}\\m" + std::to_string(i / 2) + ".dll\r\n";  // cycles
    doc += "[PostSetup]\r\np={ESEGUIBILI}\\m" + std::to_string(i) + ".dll /x\r\n";
    if (i % 13 != 5) nginx.Put(base + "/eseguibili/" + name + ".ini", doc);  // some documents missing
    if (i % 17 != 3) nginx.Put(base + "/eseguibili/" + name, "MZ", kJan2021 + i);  // some HEADs fail
  }
  nginx.Put(base + ".ini", index);

  for (auto round_trip : {std::chrono::microseconds(0), std::chrono::microseconds(4000)}) {
    const Walked one = Walk(nginx.port(), base, false, round_trip);
    const Walked ahead = Walk(nginx.port(), base, true, round_trip);
    EXPECT_FALSE(one.dictionary.empty());
    EXPECT_EQ(ahead.dictionary, one.dictionary);
    EXPECT_EQ(ahead.requests, one.requests);
    for (const auto& [request, n] : ahead.requests) EXPECT_EQ(n, 1) << request;
    EXPECT_LE(ahead.most_open, kMaxRepositoryConnections);
    EXPECT_GT(ahead.most_open, 2u);  // requests really were in flight together
  }
}

// A repository whose server takes the requests for one module and never
// answers them: with the time limits shortened, the walk fetching ahead
// ends, and gives what it gives when that module's files are missing; what
// only the silent module names is never reached.
TEST(NginxWalkAhead, RequestsThatNeverAnswerTimeOutAndCountAsMissing) {
  auto& nginx = testing::NginxServer::Shared();
  ASSERT_TRUE(nginx.running());
  const std::string with_silent = nginx.FreshBase();
  const std::string without = nginx.FreshBase();
  constexpr long long kJan2021 = 1609502400;
  const auto put_module = [&](const std::string& base, const std::string& name, const std::string& setup) {
    nginx.Put(base + "/eseguibili/" + name + ".ini", "[Release]\r\nVersion=2.0\r\n[Setup]\r\n" + setup);
    nginx.Put(base + "/eseguibili/" + name, "MZ", kJan2021);
  };
  std::string index = "[Setup]\r\n";
  for (int i = 0; i < 20; ++i) {
    const std::string next = i + 1 < 20 ? "a={ESEGUIBILI}\\m" + std::to_string(i + 1) + ".dll\r\n" : "";
    const std::string silent = i % 6 == 0 ? "b={ESEGUIBILI}\\lento.dll\r\n" : "";
    for (const std::string& base : {with_silent, without})
      put_module(base, "m" + std::to_string(i) + ".dll", next + silent);
    index += "s" + std::to_string(i) + "={ESEGUIBILI}\\m" + std::to_string(i) + ".dll\r\n";
  }
  // Reached only through the silent module's document.
  for (const std::string& base : {with_silent, without}) put_module(base, "solo.dll", "");
  put_module(with_silent, "lento.dll", "c={ESEGUIBILI}\\solo.dll\r\n");
  nginx.Put(with_silent + ".ini", index);
  nginx.Put(without + ".ini", index);

  const auto walk = [&](int port, const std::string& base) {
    testing::FakeSystemInfo system;
    system.current_bias = 0;
    testing::FakeFileSystem files;
    testing::FakeSettingsStore settings;
    PathMapping paths(MakePlaceholderTable({"/opt/suite", "\\pc1", "", "", ""}, '/'), "pc1", '/');
    SessionLimits session;
    session.step = std::chrono::milliseconds(400);
    session.total = std::chrono::milliseconds(1500);
    TransferLimits transfer;
    transfer.low_speed_seconds = 1;
    HttpTransport transport("127.0.0.1:" + std::to_string(port) + base, 0, session, transfer);
    EXPECT_NE(transport.Asynchronous(), nullptr);
    const TrustPolicy no_keys;
    Catalogue catalogue({paths, transport, files, settings, system, no_keys});
    UpdateDictionary updates;
    catalogue.CollectUpdates(updates, "");
    return Describe(updates);
  };
  testing::FaultServer gate(nginx.port(), "lento");
  const std::string silent = walk(gate.port(), with_silent);
  EXPECT_TRUE(gate.WaitUntilHolding(1, 0));
  const std::string missing = walk(nginx.port(), without);
  EXPECT_NE(missing.find("M19.DLL"), std::string::npos) << missing;
  EXPECT_EQ(missing.find("SOLO"), std::string::npos) << missing;
  EXPECT_EQ(silent, missing);
}

TEST(NginxWalkAhead, RefusedConnectionsGiveTheSameEmptyWalk) {
  testing::FakeSystemInfo system;
  system.current_bias = 0;
  testing::FakeFileSystem files;
  testing::FakeSettingsStore settings;
  PathMapping paths(MakePlaceholderTable({"/opt/suite", "\\pc1", "", "", ""}, '/'), "pc1", '/');
  HttpTransport transport("127.0.0.1:" + std::to_string(testing::FaultServer::ClosedPort()) + "/base", 0);
  const TrustPolicy no_keys;
  Catalogue catalogue({paths, transport, files, settings, system, no_keys});
  ASSERT_NE(transport.Asynchronous(), nullptr);
  UpdateDictionary updates;
  catalogue.CollectUpdates(updates, "");
  catalogue.CollectUpdates(updates, "{ESEGUIBILI}\\prog.exe");
  EXPECT_TRUE(updates.Empty());
  EXPECT_EQ(catalogue.CachedDocuments(), 2u);
}

}  // namespace
}  // namespace tw
