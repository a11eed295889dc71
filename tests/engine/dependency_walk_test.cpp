// The walk through dependencies visits each module once. Its results, their
// order and the requests it makes are those of the walk it replaced, which
// walked a module again for every listing and cut only what led back to a
// module still being walked: that walk is kept below as the reference.
#include <gtest/gtest.h>

#include <random>

#include "catalogue/catalogue.h"
#include "engine/engine_fixture.h"
#include "engine/global.h"

namespace tw {
namespace {

using testing::EngineFixture;
using testing::kNew;
using testing::kOld;

// --- the reference: the walks as they were before -------------------------

void ReferenceCollect(Catalogue& c, const PathMapping& paths, UpdateDictionary& updates, std::string_view name,
                      KeyedCollection<bool>& walk_path) {
  const std::string module = paths.GenericPath(name);
  if (!walk_path.Add(true, module)) return;
  const auto info = c.LoadModuleINI(module);
  if (!c.SkippedOnDemand(module, *info)) {
    for (const auto& dependency : info->SetupKeys) ReferenceCollect(c, paths, updates, dependency.value, walk_path);
    ModuleVersion local = c.GetModuleVersion(module, false);
    ModuleVersion remote = c.GetModuleVersion(module, true);
    const bool missing = IsVersionEmpty(local);
    if (!IsVersionEmpty(remote) && CompareVersions(remote, local) == 1) {
      auto record = std::make_shared<ModuleUpdateInfo>();
      record->MetaPath = module;
      record->LocalVersion = VersionText(local);
      record->RemoteVersion = VersionText(remote);
      record->InstallationType = missing ? 0 : 1;
      record->Register = info->GetKey("Release", "Register");
      record->ForceUpdate = c.IsForced(*info);
      record->OnDemand = c.IsOnDemand(*info);
      if (missing)
        for (const auto& program : info->PostSetupKeys) record->PostSetup.Add(paths.ResolvePath(program.value, false));
      if (record->ForceUpdate || missing) updates.Add(record, ToUpper(module));
    }
  }
  walk_path.Remove(module);
}

bool ReferenceAvailable(Catalogue& c, const PathMapping& paths, std::string_view module,
                        KeyedCollection<bool>& walk_path) {
  if (!walk_path.Add(true, paths.GenericPath(module))) return false;
  ModuleVersion local = c.GetModuleVersion(module, false);
  ModuleVersion remote = c.GetModuleVersion(module, true);
  bool available = false;
  if (!IsVersionEmpty(remote)) {
    const auto info = c.LoadModuleINI(module);
    if (!c.SkippedOnDemand(module, *info)) {
      const bool missing = IsVersionEmpty(local);
      available = (CompareVersions(remote, local) == 1 && c.IsForced(*info)) || missing;
      for (auto it = info->SetupKeys.begin(); !available && it != info->SetupKeys.end(); ++it)
        available = ReferenceAvailable(c, paths, it->value, walk_path);
    }
  }
  walk_path.Remove(paths.GenericPath(module));
  return available;
}

// --- repositories ----------------------------------------------------------

struct Module {
  std::string document;
  bool installed = false;
  std::string installed_version;
  DateValue installed_date = kOld;
  bool marker = false;
};
using Suite = std::map<std::string, Module>;  // file name in the executables folder -> module

void Load(EngineFixture& f, const Suite& suite) {
  for (const auto& [name, m] : suite) {
    f.repo.Publish("/eseguibili/" + ToLower(name), m.document, kNew);
    const std::string local = "/opt/suite/Eseguibili/" + name;
    if (m.installed) f.files.AddFile(local, "x", m.installed_date.ToUnixSeconds(), m.installed_version);
    if (m.marker) f.files.AddFile(local + ".OnDemand");
  }
}

std::string Describe(const UpdateDictionary& updates) {
  std::string out;
  for (const auto& item : updates) {
    const ModuleUpdateInfo& r = *item.value;
    out += *item.key + " " + r.MetaPath + " " + r.LocalVersion + " " + r.RemoteVersion + " " +
           std::to_string(r.InstallationType) + " " + r.Register + " " + std::to_string(r.ForceUpdate) +
           std::to_string(r.OnDemand);
    for (const auto& program : r.PostSetup) out += " post:" + program.value;
    out += "\n";
  }
  return out;
}

// Both walks over two copies of one suite, from every module and from the
// whole suite: equal results, equal requests in equal order.
void ExpectSameAsReference(const Suite& suite, const std::string& label) {
  std::vector<std::string> roots = {""};
  for (const auto& entry : suite) roots.push_back("{ESEGUIBILI}\\" + entry.first);
  for (const std::string& root : roots) {
    EngineFixture now, before;
    Load(now, suite);
    Load(before, suite);
    std::string index;
    for (const auto& entry : suite) index += "x={ESEGUIBILI}\\" + entry.first + "\n";
    now.repo.PutDocument("", "[Setup]\n" + index);
    before.repo.PutDocument("", "[Setup]\n" + index);

    UpdateDictionary walked, reference;
    now.catalogue.CollectUpdates(walked, root);
    KeyedCollection<bool> walk_path;
    ReferenceCollect(before.catalogue, before.paths, reference, root, walk_path);
    EXPECT_EQ(Describe(walked), Describe(reference)) << label << " from " << root;
    EXPECT_EQ(now.repo.log, before.repo.log) << label << " from " << root;

    EngineFixture asked, asked_before;
    Load(asked, suite);
    Load(asked_before, suite);
    KeyedCollection<bool> ask_path;
    Global global(asked.ctx);
    EXPECT_EQ(global.IsUpdateAvailable(root),
              ReferenceAvailable(asked_before.catalogue, asked_before.paths, root, ask_path))
        << label << " from " << root;
    EXPECT_EQ(asked.repo.log, asked_before.repo.log) << label << " from " << root;
  }
}

std::string SetupOf(const std::vector<std::string>& names) {
  std::string text = "[Setup]\n";
  for (size_t i = 0; i < names.size(); ++i) text += "d" + std::to_string(i) + "={ESEGUIBILI}\\" + names[i] + "\n";
  return text;
}

// Layers of `width` modules, each depending on every module of the next.
Suite LayeredDiamond(int layers, int width, const std::string& release) {
  Suite suite;
  auto name = [](int layer, int i) { return "m" + std::to_string(layer) + "_" + std::to_string(i) + ".dll"; };
  for (int layer = 0; layer < layers; ++layer) {
    for (int i = 0; i < width; ++i) {
      std::vector<std::string> next;
      for (int j = 0; layer + 1 < layers && j < width; ++j) next.push_back(name(layer + 1, j));
      suite[name(layer, i)].document = release + SetupOf(next);
    }
  }
  std::vector<std::string> top;
  for (int i = 0; i < width; ++i) top.push_back(name(0, i));
  suite["radice.exe"].document = release + SetupOf(top);
  return suite;
}

TEST(DependencyWalk, LayeredSharedDependenciesCostOneVisitEach) {
  // 37 documents whose every path down is a different listing: 2^18 of
  // them. Every module is current, so nothing stops the walk early.
  const Suite suite = LayeredDiamond(18, 2, "[Release]\nVersion=1.0\n");
  EngineFixture f;
  Load(f, suite);
  for (const auto& entry : suite) f.files.AddFile("/opt/suite/Eseguibili/" + entry.first, "x", kNew.ToUnixSeconds(), "1.0.0.0");

  UpdateDictionary updates;
  f.catalogue.CollectUpdates(updates, "{ESEGUIBILI}\\radice.exe");
  EXPECT_TRUE(updates.Empty());
  EXPECT_LE(f.files.existence_checks, 2 * static_cast<int>(suite.size()));
  // And one for the index, which this repository lacks.
  EXPECT_EQ(f.repo.gets + f.repo.heads, 2 * static_cast<int>(suite.size()) + 1);

  f.files.existence_checks = 0;
  Global global(f.ctx);
  EXPECT_FALSE(global.IsUpdateAvailable("{ESEGUIBILI}\\radice.exe"));
  EXPECT_LE(f.files.existence_checks, 2 * static_cast<int>(suite.size()));
}

TEST(DependencyWalk, ChainsDiamondsAndCyclesGiveWhatTheyGaveBefore) {
  Suite chain;
  chain["a.exe"].document = "[Release]\nVersion=2.0\n" + SetupOf({"b.dll"});
  chain["b.dll"].document = "[Release]\n" + SetupOf({"c.dll"});
  chain["c.dll"].document = "[Release]\nVersion=1.0\n[PostSetup]\np={ESEGUIBILI}\\c.dll /init\n";
  chain["b.dll"].installed = true;
  ExpectSameAsReference(chain, "chain");

  ExpectSameAsReference(LayeredDiamond(4, 3, "[Release]\nVersion=1.0\n"), "diamond, all missing");
  Suite diamond = LayeredDiamond(4, 2, "[Release]\n");
  diamond["m2_1.dll"].installed = true;
  diamond["m1_0.dll"].installed = true;
  diamond["m1_0.dll"].installed_date = kNew;
  ExpectSameAsReference(diamond, "diamond, some installed");

  Suite cycle;
  cycle["a.exe"].document = "[Release]\nVersion=1.0\n" + SetupOf({"b.exe", "a.exe"});
  cycle["b.exe"].document = "[Release]\nVersion=1.0\n" + SetupOf({"c.exe", "a.exe", "B.EXE"});
  cycle["c.exe"].document = "[Release]\nVersion=1.0\n" + SetupOf({"b.exe"});
  cycle["d.exe"].document = "[Release]\nVersion=1.0\n" + SetupOf({"c.exe", "b.exe"});
  cycle["b.exe"].installed = true;
  cycle["b.exe"].installed_version = "1.0.0.0";
  cycle["b.exe"].installed_date = kNew;
  ExpectSameAsReference(cycle, "cycle");
}

TEST(DependencyWalk, RandomSuitesGiveWhatTheyGaveBefore) {
  std::mt19937 random(16);
  auto pick = [&random](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  for (int round = 0; round < 60; ++round) {
    const int count = 2 + pick(7);
    Suite suite;
    for (int i = 0; i < count; ++i) {
      Module& m = suite["m" + std::to_string(i) + ".exe"];
      const char* releases[] = {"[Release]\nVersion=1.0\n", "[Release]\n", "[Release]\nVersion=0.0.0.0\n",
                                "[Release]\nVersion=2.0\nForceUpdate=0\n", "[Release]\nOnDemand=1\nRegister=self\n"};
      m.document = releases[pick(5)];
      std::vector<std::string> dependencies;
      for (int k = pick(4); k > 0; --k) dependencies.push_back("m" + std::to_string(pick(count + 1)) + ".exe");
      m.document += SetupOf(dependencies) + "[PostSetup]\np={ESEGUIBILI}\\m" + std::to_string(i) + ".exe /x\n";
      m.installed = pick(2) == 0;
      m.installed_version = pick(2) == 0 ? "1.0.0.0" : "";
      m.installed_date = pick(2) == 0 ? kOld : kNew;
      m.marker = pick(2) == 0;
    }
    ExpectSameAsReference(suite, "round " + std::to_string(round));
  }
}

}  // namespace
}  // namespace tw
