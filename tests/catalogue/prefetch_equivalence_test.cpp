// The walk fetching ahead gives what the walk one module at a time gives:
// the same dictionary (keys, order, every field), the same answers of
// IsUpdateAvailable and UpdateModule, over generated repositories, with
// the answers arriving in many orders. It asks for nothing twice, nothing
// the documents do not name, and keeps its connections bounded.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <set>

#include "catalogue/catalogue.h"
#include "trust/trust_policy.h"
#include "catalogue/path_mapping.h"
#include "engine/engine_context.h"
#include "engine/global.h"
#include "engine/self_update.h"
#include "support/fake_async_repository.h"
#include "support/fake_file_system.h"
#include "support/fake_process_launcher.h"
#include "support/fake_repository.h"
#include "support/fake_settings_store.h"
#include "support/fake_system_info.h"

namespace tw {
namespace {

using testing::kNew;
using testing::kOld;

// An engine over fakes; with a seed, its repository answers ahead.
struct Fixture {
  explicit Fixture(std::optional<unsigned> seed)
      : async(seed ? std::make_unique<testing::FakeAsyncRepository>(repo, *seed) : nullptr),
        paths(MakePlaceholderTable({"/opt/suite", "\\pc1", "/home/u/.local/lib", "", "/home/u/.local/share"}, '/'),
              "pc1", '/'),
        catalogue({paths, repo, files, settings, system, trust}),
        ctx{paths, repo, files, settings, system, catalogue, launcher, ""} {
    system.current_bias = 0;
  }
  testing::FakeSystemInfo system;
  testing::FakeFileSystem files;
  testing::FakeSettingsStore settings;
  testing::FakeRepository repo;
  std::unique_ptr<testing::FakeAsyncRepository> async;
  testing::FakeProcessLauncher launcher;
  PathMapping paths;
  TrustPolicy trust;  // no keys
  Catalogue catalogue;
  EngineContext ctx;
};

struct Module {
  std::string name;  // file name in the executables folder
  std::string document;
  bool has_document = true;
  DateValue file_date = kNew;  // zero: the file's HEAD fails
  bool installed = false;
  std::string installed_version;
  DateValue installed_date = kOld;
  bool marker = false;
};

struct Suite {
  std::vector<Module> modules;
  std::string index;  // the whole suite's document
};

// Chains, diamonds and shared dependencies (entries pointing forward),
// cycles (entries pointing anywhere), spellings of one module, refused
// and unknown entries, missing documents and files, every mix of Version,
// ForceUpdate, OnDemand and Register, installed copies and markers.
Suite Generate(unsigned seed) {
  std::mt19937 random(seed);
  auto pick = [&random](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  Suite suite;
  const int count = 1 + pick(12);
  auto name = [](int i) { return "m" + std::to_string(i) + ".dll"; };
  auto entry = [&](int i) -> std::string {
    switch (pick(12)) {
      case 0: return "{ESEGUIBILI}\\" + ToUpper(name(i));
      case 1: return "{ESEGUIBILI}\\..\\fuori.dll";
      case 2: return "{ESEGUIBILI}\\sconosciuto" + std::to_string(pick(3)) + ".dll";
      default: return "{ESEGUIBILI}\\" + name(i);
    }
  };
  const char* versions[] = {"Version=1.0\n", "Version=2.0\n", "", "Version=0.0.0.0\n", "Version=1.5.2\n"};
  const char* forced[] = {"", "", "ForceUpdate=0\n", "ForceUpdate=1\n", "ForceUpdate=forse\n"};
  const char* demand[] = {"", "", "", "OnDemand=1\n", "OnDemand=0\n", "OnDemand=True\n"};
  const char* registers[] = {"", "Register=self\n", "Register=regsvr32\n"};
  const int shape = pick(4);  // 0 chain, 1 forward only (diamonds), 2 anywhere (cycles), 3 mixed
  for (int i = 0; i < count; ++i) {
    Module m;
    m.name = name(i);
    std::string doc = "[Release]\n" + std::string(versions[pick(5)]) + forced[pick(5)] + demand[pick(6)] +
                      registers[pick(3)] + "[Setup]\n";
    int entries = shape == 0 ? (i + 1 < count ? 1 : 0) : pick(4);
    for (int k = 0; k < entries; ++k) {
      int target = i + 1;
      if (shape == 1 || (shape == 3 && pick(2))) target = i + 1 + pick(std::max(1, count - i));
      if (shape == 2 || (shape == 3 && pick(3) == 0)) target = pick(count + 1);
      doc += "d" + std::to_string(k) + "=" + entry(target) + "\n";
    }
    if (pick(3) == 0) doc += "[PostSetup]\np=" + std::string("{ESEGUIBILI}\\") + name(pick(count)) + " /x\n";
    if (pick(5) == 0) doc += "[PostSetup]\nq={ESEGUIBILI}\\comune.exe\n";
    m.document = doc;
    m.has_document = pick(8) != 0;
    m.file_date = pick(7) == 0 ? DateValue() : (pick(2) ? kNew : kOld);
    m.installed = pick(2) == 0;
    m.installed_version = pick(3) == 0 ? "1.0.0.0" : "";
    m.installed_date = pick(2) ? kOld : kNew;
    m.marker = pick(2) == 0;
    suite.modules.push_back(std::move(m));
  }
  suite.index = "[Release]\n" + std::string(pick(3) == 0 ? "Version=1.0\n" : "") + "[Setup]\n";
  for (int i = 0; i < count; ++i)
    if (pick(6) != 0) suite.index += "s" + std::to_string(i) + "=" + entry(pick(count)) + "\n";
  return suite;
}

void Load(Fixture& f, const Suite& suite) {
  for (const Module& m : suite.modules) {
    const std::string remote = "/eseguibili/" + m.name;
    if (m.has_document) f.repo.PutDocument(remote, m.document);
    if (!m.file_date.IsZero()) f.repo.Put(remote, "contenuto " + remote, m.file_date);
    const std::string local = "/opt/suite/Eseguibili/" + m.name;
    if (m.installed) f.files.AddFile(local, "x", m.installed_date.ToUnixSeconds(), m.installed_version);
    if (m.marker) f.files.AddFile(local + ".OnDemand");
  }
  f.repo.PutDocument("", suite.index);
}

std::string Describe(const UpdateDictionary& updates) {
  std::string out;
  for (const auto& item : updates) {
    const ModuleUpdateInfo& r = *item.value;
    out += *item.key + "|" + r.MetaPath + "|" + r.LocalVersion + "|" + r.RemoteVersion + "|" +
           std::to_string(r.InstallationType) + "|" + r.Register + "|" + std::to_string(r.ForceUpdate) + "|" +
           std::to_string(r.OnDemand);
    for (const auto& program : r.PostSetup) out += "|post:" + program.value;
    out += "\n";
  }
  return out;
}

// The repository paths of everything reachable from `root` through the
// documents: what fetching ahead may ask for.
std::set<std::string> Named(const Suite& suite, Fixture& f, const std::string& root) {
  std::set<std::string> paths;
  std::vector<std::string> todo = {root};
  std::set<std::string> seen;
  while (!todo.empty()) {
    const std::string module = f.paths.GenericPath(todo.back());
    todo.pop_back();
    if (!seen.insert(ToUpper(module)).second) continue;
    paths.insert(f.paths.ResolvePath(module + ".ini", true));
    paths.insert(f.paths.ResolvePath(module, true));
    const auto info = f.catalogue.LoadModuleINI(module);
    for (const auto& e : info->SetupKeys) todo.push_back(e.value);
  }
  (void)suite;
  return paths;
}

void ExpectOnceEachWithinLimits(const Fixture& f, const std::string& label) {
  for (const auto& [path, n] : f.repo.requests) EXPECT_LE(n, 2) << label << " " << path;
  std::map<std::string, int> per_request;
  for (const std::string& line : f.repo.log) EXPECT_EQ(++per_request[line], 1) << label << " " << line;
  EXPECT_LE(f.async->most_in_flight, kMaxRepositoryConnections) << label;
  EXPECT_LE(f.async->most_heads, kHeadConnections) << label;
  EXPECT_LE(f.async->most_gets, kGetConnections) << label;
}

void ExpectSameAsOneAtATime(unsigned seed) {
  const Suite suite = Generate(seed);
  std::vector<std::string> roots = {""};
  std::mt19937 random(seed);
  for (int i = 0; i < 2; ++i) roots.push_back("{ESEGUIBILI}\\" + suite.modules[random() % suite.modules.size()].name);
  for (const std::string& root : roots) {
    const std::string label = "seed " + std::to_string(seed) + " from \"" + root + "\"";
    Fixture one(std::nullopt), ahead(seed);
    Load(one, suite);
    Load(ahead, suite);
    UpdateDictionary walked_one, walked_ahead;
    one.catalogue.CollectUpdates(walked_one, root);
    ahead.catalogue.CollectUpdates(walked_ahead, root);
    ASSERT_EQ(Describe(walked_ahead), Describe(walked_one)) << label;

    // Nothing the documents do not name, nothing twice, everything the
    // walk one at a time asked for.
    std::set<std::string> asked_one, asked_ahead;
    for (const auto& [path, n] : one.repo.requests) asked_one.insert(path);
    for (const auto& [path, n] : ahead.repo.requests) asked_ahead.insert(path);
    for (const std::string& path : asked_one) EXPECT_TRUE(asked_ahead.contains(path)) << label << " " << path;
    Fixture scout(std::nullopt);
    Load(scout, suite);
    const std::set<std::string> named = Named(suite, scout, root);
    for (const std::string& path : asked_ahead)
      EXPECT_TRUE(named.contains(path) || path == "/indice.ini") << label << " " << path;
    ExpectOnceEachWithinLimits(ahead, label);

    // A second walk in the same run is answered from what the first kept.
    const size_t requests = ahead.repo.log.size();
    UpdateDictionary again;
    ahead.catalogue.CollectUpdates(again, root);
    EXPECT_EQ(Describe(again), Describe(walked_one)) << label;
    EXPECT_EQ(ahead.repo.log.size(), requests) << label;

    Fixture ask_one(std::nullopt), ask_ahead(seed + 1);
    Load(ask_one, suite);
    Load(ask_ahead, suite);
    Global global_one(ask_one.ctx), global_ahead(ask_ahead.ctx);
    EXPECT_EQ(global_ahead.IsUpdateAvailable(root), global_one.IsUpdateAvailable(root)) << label;
    ExpectOnceEachWithinLimits(ask_ahead, label);
    // UpdateModule after the question, as a client would ask.
    EXPECT_EQ(global_ahead.UpdateModule(root), global_one.UpdateModule(root)) << label;
    EXPECT_EQ(ask_ahead.files.files.size(), ask_one.files.files.size()) << label;
    EXPECT_EQ(ask_ahead.launcher.calls.size(), ask_one.launcher.calls.size()) << label;
  }
}

TEST(WalkAhead, GeneratedRepositoriesGiveWhatTheWalkOneAtATimeGives) {
  for (unsigned seed = 1; seed <= 300; ++seed) {
    ExpectSameAsOneAtATime(seed);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

TEST(WalkAhead, WholeSuiteIsFetchedAheadWithinTheConnectionBound) {
  Fixture f(7u);
  std::string index = "[Setup]\n";
  for (int i = 0; i < 200; ++i) {
    const std::string name = "/eseguibili/p" + std::to_string(i) + ".exe";
    f.repo.Publish(name, "[Release]\nVersion=1.0\n", kNew);
    index += "m" + std::to_string(i) + "={ESEGUIBILI}\\p" + std::to_string(i) + ".exe\n";
  }
  f.repo.PutDocument("", index);
  UpdateDictionary updates;
  f.catalogue.CollectUpdates(updates, "");
  EXPECT_EQ(updates.Count(), 200u);
  EXPECT_EQ(f.repo.gets, 202);  // the index (absent) first
  EXPECT_EQ(f.repo.heads, 201);
  // The bound was reached: requests really were in flight together.
  EXPECT_EQ(f.async->most_gets, kGetConnections);
  EXPECT_EQ(f.async->most_heads, kHeadConnections);
  // The walk waited about once per answer, not once per module and kind.
  EXPECT_LE(f.async->waits, 402 + 2);
}

TEST(WalkAhead, StoppedWalkStartsNothingMoreAndKeepsWhatArrives) {
  Fixture f(3u);
  std::string root = "[Release]\nVersion=1.0\n[Setup]\n";
  for (int i = 0; i < 60; ++i) {
    f.repo.Publish("/eseguibili/p" + std::to_string(i) + ".exe", "[Release]\nVersion=1.0\n", kNew);
    root += "m" + std::to_string(i) + "={ESEGUIBILI}\\p" + std::to_string(i) + ".exe\n";
  }
  f.repo.Publish("/eseguibili/radice.exe", root, kNew);
  f.files.AddFile("/opt/suite/Eseguibili/radice.exe", "x", kNew.ToUnixSeconds(), "1.0.0.0");
  Global global(f.ctx);
  EXPECT_TRUE(global.IsUpdateAvailable("{ESEGUIBILI}\\radice.exe"));  // p0 is missing here
  EXPECT_LE(f.async->InFlight(), kMaxRepositoryConnections);
  // What was under way arrives later and is kept; nothing new starts.
  while (f.async->InFlight() > 0) f.async->WaitForAny();
  EXPECT_LT(f.repo.gets + f.repo.heads, 2 * 61);
  UpdateDictionary updates;
  f.catalogue.CollectUpdates(updates, "{ESEGUIBILI}\\radice.exe");
  EXPECT_EQ(updates.Count(), 60u);
  EXPECT_EQ(f.repo.gets, 62);  // the index (absent) first
  EXPECT_EQ(f.repo.heads, 61);
}

TEST(WalkAhead, SelfUpdateAsksForBothDocumentsAtOnce) {
  Fixture f(5u);
  f.repo.Publish("/eseguibili/run", "[Release]\n", kOld);
  f.repo.Publish("/eseguibili/tarnwick", "[Release]\n", kOld);
  f.files.AddFile("/opt/suite/Eseguibili/Run", "x", kNew.ToUnixSeconds());
  f.files.AddFile("/opt/suite/Eseguibili/Tarnwick", "x", kNew.ToUnixSeconds());
  SelfUpdate(f.ctx);
  EXPECT_EQ(f.async->most_in_flight, 4u);
  EXPECT_EQ(f.repo.gets, 3);  // the index (absent) first
  EXPECT_EQ(f.repo.heads, 2);
}

}  // namespace
}  // namespace tw
