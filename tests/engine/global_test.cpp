#include "trust/trust_policy.h"
#include "engine/global.h"

#include <gtest/gtest.h>

#include "common/settings_keys.h"
#include "engine/engine_fixture.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_process_launcher.h"
#include "support/fake_index.h"
#include "support/temp_dir.h"

namespace tw {
namespace {

using testing::kNew;
using testing::kOld;

class GlobalTest : public ::testing::Test {
 protected:
  void Publish(const std::string& remote, const std::string& document, DateValue date = kNew) {
    f_.repo.Publish(remote, document, date);
  }
  testing::EngineFixture f_;
  Global global_{f_.ctx};
};

TEST_F(GlobalTest, FullNameHasOneSeparatorWhateverTheFolderLooksLike) {
  f_.system.program_folder = "/opt/suite/Eseguibili/";
  EXPECT_EQ(global_.GetFullName(), "/opt/suite/Eseguibili/Tarnwick");
  f_.system.program_folder = "/opt/suite/Eseguibili";
  EXPECT_EQ(global_.GetFullName(), "/opt/suite/Eseguibili/Tarnwick");
  f_.ctx.executable_suffix = ".exe";
  EXPECT_EQ(global_.GetFullName(), "/opt/suite/Eseguibili/Tarnwick.exe");
}

TEST_F(GlobalTest, UpdateAvailability) {
  // Current itself, but a dependency is missing.
  Publish("/eseguibili/a.exe", "[Release]\nVersion=1.0\n[Setup]\nb={DATI}\\b.mdb\n");
  f_.files.AddFile("/opt/suite/Eseguibili/a.exe", "x", kNew.ToUnixSeconds(), "1.0.0.0");
  Publish("/dati/b.mdb", "[Release]\n");
  EXPECT_TRUE(global_.IsUpdateAvailable("{ESEGUIBILI}\\a.exe"));
  f_.files.AddFile("/opt/suite/Dati/b.mdb", "x", kNew.ToUnixSeconds());
  EXPECT_FALSE(global_.IsUpdateAvailable("{ESEGUIBILI}\\a.exe"));

  // On demand, without the marker.
  Publish("/eseguibili/od.exe", "[Release]\nVersion=1.0\nOnDemand=True\n");
  EXPECT_FALSE(global_.IsUpdateAvailable("{ESEGUIBILI}\\od.exe"));
  EXPECT_TRUE(global_.UpdateModule("{ESEGUIBILI}\\od.exe"));
  EXPECT_FALSE(f_.files.NormalFileExists("/opt/suite/Eseguibili/od.exe"));

  // Not forced: present and older is not enough; missing is.
  Publish("/eseguibili/nf.exe", "[Release]\nVersion=2.0\nForceUpdate=0\n");
  EXPECT_TRUE(global_.IsUpdateAvailable("{ESEGUIBILI}\\nf.exe"));
  f_.files.AddFile("/opt/suite/Eseguibili/nf.exe", "x", kOld.ToUnixSeconds(), "1.0.0.0");
  EXPECT_FALSE(global_.IsUpdateAvailable("{ESEGUIBILI}\\nf.exe"));
  f_.files.AddFile("/opt/suite/Eseguibili/nf.exe", "x", kOld.ToUnixSeconds(), "0.0.0.0");
  EXPECT_FALSE(global_.IsUpdateAvailable("{ESEGUIBILI}\\nf.exe"));

  // A cycle of dependencies ends.
  Publish("/eseguibili/c1.exe", "[Release]\nVersion=1.0\n[Setup]\nx={ESEGUIBILI}\\c2.exe\n");
  Publish("/eseguibili/c2.exe", "[Release]\nVersion=1.0\n[Setup]\nx={ESEGUIBILI}\\c1.exe\n");
  f_.files.AddFile("/opt/suite/Eseguibili/c1.exe", "x", kNew.ToUnixSeconds(), "1.0.0.0");
  f_.files.AddFile("/opt/suite/Eseguibili/c2.exe", "x", kNew.ToUnixSeconds(), "1.0.0.0");
  EXPECT_FALSE(global_.IsUpdateAvailable("{ESEGUIBILI}\\c1.exe"));
}

TEST_F(GlobalTest, FileServedWithoutADateStaysInstalled) {
  // A repository that sends no Last-Modified: the installed copy keeps the
  // time it was written, so it is a present file, not a missing one, and a
  // user's file marked not to be forced is left alone.
  f_.repo.PutDocument("/dati/utenti/conf.ini", "[Release]\nVersion=1.0\nForceUpdate=0\n"
                                               "[PostSetup]\np={ESEGUIBILI}\\post.exe\n");
  f_.repo.Put("/dati/utenti/conf.ini", "contenuto");
  ASSERT_TRUE(global_.UpdateModule("{UTENTI}\\conf.ini"));
  ASSERT_EQ(f_.launcher.calls.size(), 1u);
  f_.files.AddFile("/opt/suite/Dati/Utenti/conf.ini", "scritto dall'utente",
                   *f_.files.LastModified("/opt/suite/Dati/Utenti/conf.ini"));
  EXPECT_NE(f_.files.LastModified("/opt/suite/Dati/Utenti/conf.ini"), DateValue().ToUnixSeconds());
  EXPECT_FALSE(global_.IsUpdateAvailable("{UTENTI}\\conf.ini"));
  EXPECT_TRUE(global_.UpdateModule("{UTENTI}\\conf.ini"));
  EXPECT_EQ(f_.files.Content("/opt/suite/Dati/Utenti/conf.ini"), "scritto dall'utente");
  EXPECT_EQ(f_.launcher.calls.size(), 1u);
}

TEST_F(GlobalTest, ModuleAvailabilityIsTheRepositorysHead) {
  Publish("/eseguibili/a.exe", "[Release]\n");
  EXPECT_TRUE(global_.IsModuleAvailable("{ESEGUIBILI}\\A.exe"));
  EXPECT_FALSE(global_.IsModuleAvailable("{ESEGUIBILI}\\assente.exe"));
}

TEST_F(GlobalTest, FailedDownloadFailsTheCallButTheOtherModulesAreInstalled) {
  Publish("/eseguibili/a.exe", "[Release]\nVersion=1.0\n[Setup]\nb={DATI}\\b.mdb\nc={DATI}\\c.mdb\n"
                               "[PostSetup]\np={ESEGUIBILI}\\post.exe\n");
  Publish("/dati/b.mdb", "[Release]\n");
  f_.repo.PutDocument("/dati/c.mdb", "[Release]\nVersion=3\n");  // no file to download
  EXPECT_FALSE(global_.UpdateModule("{ESEGUIBILI}\\a.exe"));
  EXPECT_TRUE(f_.files.NormalFileExists("/opt/suite/Dati/b.mdb"));
  EXPECT_TRUE(f_.files.NormalFileExists("/opt/suite/Eseguibili/a.exe"));
  ASSERT_EQ(f_.launcher.calls.size(), 1u);  // the post-setup program of a.exe still runs
  EXPECT_EQ(f_.launcher.calls[0].kind, "wait");
}

TEST_F(GlobalTest, UnreachableRepository) {
  Publish("/eseguibili/a.exe", "[Release]\nVersion=1.0\n");
  f_.repo.reachable = false;
  EXPECT_FALSE(global_.IsUpdateAvailable("{ESEGUIBILI}\\a.exe"));
  EXPECT_FALSE(global_.IsModuleAvailable("{ESEGUIBILI}\\a.exe"));
  EXPECT_TRUE(global_.UpdateModule("{ESEGUIBILI}\\a.exe"));
  EXPECT_TRUE(f_.files.files.empty());
}

TEST_F(GlobalTest, PathsOutsideTheSuiteAreModulesTheRepositoryDoesNotHold) {
  // Published where each would be fetched from, and with a file in place
  // where each would be written.
  const std::vector<std::pair<std::string, std::string>> hostile = {
      {"{ESEGUIBILI}\\..\\..\\x.exe", "/eseguibili/../../x.exe"},
      {"/tmp/x.exe", "/tmp/x.exe"},
      {"x.exe", "x.exe"},
      {"@127.0.0.2\\x.exe", "@127.0.0.2/x.exe"},
      {"{ESEGUIBILI}\\y\".exe", "/eseguibili/y\".exe"},
  };
  for (const auto& [module, remote] : hostile) Publish(remote, "[Release]\nVersion=1.0\n[PostSetup]\np=" + module + "\n");
  for (const auto& [module, remote] : hostile) {
    EXPECT_FALSE(global_.IsUpdateAvailable(module)) << module;
    EXPECT_FALSE(global_.IsModuleAvailable(module)) << module;
    EXPECT_TRUE(global_.UpdateModule(module)) << module;  // nothing to do is success
  }
  // The index alone was asked (this repository has none): nothing named.
  EXPECT_EQ(f_.repo.log, (std::vector<std::string>{"GET /indice.ini"}));
  EXPECT_TRUE(f_.files.files.empty());
  EXPECT_TRUE(f_.files.calls.empty());
  EXPECT_TRUE(f_.launcher.calls.empty());
}

// What an earlier run left pending runs first, each program once, and only
// where its module is on the disk; a module that could not be put in place
// leaves nothing pending.
TEST_F(GlobalTest, PendingPostSetupsRunFirstOnceAndOnlyForModulesInPlace) {
  f_.files.AddFile("/opt/suite/Dati/a.dat", "a");
  f_.settings.Write(settings::kApplication, settings::kSection, settings::kPendingPostSetup,
                    "/opt/suite/Dati/a.dat\t/opt/suite/Eseguibili/p1 x\n"
                    "/opt/suite/Dati/assente.dat\t/opt/suite/Eseguibili/p2\n");
  Publish("/eseguibili/nuovo", "[Release]\n[PostSetup]\n1={ESEGUIBILI}\\p3\n");
  Publish("/eseguibili/guasto", "[Release]\n[PostSetup]\n1={ESEGUIBILI}\\p4\n");
  f_.files.FailNext("Rename", "/opt/suite/Eseguibili/guasto.new", FileError{5, "Accesso negato"});
  EXPECT_TRUE(global_.UpdateModule("{ESEGUIBILI}\\nuovo"));
  EXPECT_FALSE(global_.UpdateModule("{ESEGUIBILI}\\guasto"));
  EXPECT_TRUE(global_.UpdateModule("{ESEGUIBILI}\\nuovo"));  // nothing left to run
  std::vector<std::vector<std::string>> ran;
  for (const auto& call : f_.launcher.calls) ran.push_back(call.argv);
  EXPECT_EQ(ran, (std::vector<std::vector<std::string>>{{"/opt/suite/Eseguibili/p1", "x"},
                                                        {"/opt/suite/Eseguibili/p3"}}));
  EXPECT_EQ(f_.settings.Read(settings::kApplication, settings::kSection, settings::kPendingPostSetup, "vuoto"),
            "vuoto");
}

// A program that a start killed after starting it has run (or still runs):
// its marker says so, and the next start drops it unrun. The others are
// started with a marker of their own, removed once their entry is.
TEST_F(GlobalTest, APendingProgramAnInterruptedStartBeganIsNotRunAgain) {
  f_.system.user_data_folder = "/home/u/.local/share";
  const std::string markers = "/home/u/.local/share/tarnwick/post-setup-";
  f_.files.AddFile("/opt/suite/Dati/a.dat", "a");
  f_.files.AddFile(markers + "00000000000000aa.started", "");
  f_.settings.Write(settings::kApplication, settings::kSection, settings::kPendingPostSetup,
                    "/opt/suite/Dati/a.dat\t/opt/suite/Eseguibili/p1\t00000000000000aa\n"
                    "/opt/suite/Dati/a.dat\t/opt/suite/Eseguibili/p2\t00000000000000bb\n");
  EXPECT_TRUE(global_.UpdateModule("{ESEGUIBILI}\\assente"));
  ASSERT_EQ(f_.launcher.calls.size(), 1u);
  EXPECT_EQ(f_.launcher.calls[0].argv, (std::vector<std::string>{"/opt/suite/Eseguibili/p2"}));
  EXPECT_EQ(f_.launcher.markers[0], markers + "00000000000000bb.started");
  EXPECT_FALSE(f_.files.NormalFileExists(markers + "00000000000000aa.started"));
  EXPECT_EQ(f_.settings.Read(settings::kApplication, settings::kSection, settings::kPendingPostSetup, "vuoto"),
            "vuoto");
}

// A repository whose HEAD dates a file a day later than its GET: the date
// the comparison used is the one recorded, so one update is one download.
TEST(GlobalDates, TheDateRecordedIsTheOneTheComparisonUsed) {
  struct LaterHead : testing::FakeRepository {
    bool HttpHead(std::string_view path, DateValue& date) override {
      const bool found = FakeRepository::HttpHead(path, date);
      if (found) date = DateValue(date.Serial() + 1);
      return found;
    }
  } repo;
  testing::EngineFixture f;
  repo.Publish("/dati/listino.dat", "[Release]\n", kNew);
  for (int run = 0; run < 3; ++run) {
    Catalogue catalogue({f.paths, repo, f.files, f.settings, f.system, f.trust});
    EngineContext ctx{f.paths, repo, f.files, f.settings, f.system, catalogue, f.launcher, ""};
    EXPECT_TRUE(Global(ctx).UpdateModule("{DATI}\\listino.dat"));
  }
  EXPECT_EQ(repo.requests["/dati/listino.dat"], 3 + 1);  // a HEAD each run, one GET
}

// A module versioned by date whose file is republished under the same
// document: the document read from the cache on the second core still
// takes its date from the index that rules, not from the one kept.
TEST(GlobalDates, ACachedDocumentTakesTheDateOfTheIndexThatRules) {
  testing::TempDir dir;
  testing::EngineFixture f;
  f.system.user_cache_folder = dir / "cache";
  PosixFileSystem disk;
  const std::string root = dir / "suite";
  PathMapping paths(MakePlaceholderTable({root, "\\pc1", "", "", ""}, '/'), "pc1", '/');
  const auto run = [&] {
    Catalogue catalogue({paths, f.repo, disk, f.settings, f.system, f.trust});
    EngineContext ctx{paths, f.repo, disk, f.settings, f.system, catalogue, f.launcher, ""};
    return Global(ctx).UpdateModule("{DATI}\\listino.dat");
  };
  f.repo.Publish("/dati/listino.dat", "[Release]\r\n", kOld);
  testing::PublishIndex(f.repo, testing::TestKey(5));
  ASSERT_TRUE(run());
  f.repo.Put("/dati/listino.dat", "nuovo listino", kNew);
  testing::IndexShape next;
  next.serial = 2;
  testing::PublishIndex(f.repo, testing::TestKey(5), next);
  ASSERT_TRUE(run());
  EXPECT_EQ(testing::ReadTextFile(root + "/Dati/listino.dat"), "nuovo listino");
  EXPECT_EQ(f.repo.requests["/dati/listino.dat.ini"], 1);  // the second run read it from the cache
}

// Real programs on a real disk: the post-setup programs of a new module run
// after every module is in place, in document order, each waited for.
TEST(GlobalPostSetup, ProgramsRunInOrderAfterAllModulesEachWaitedFor) {
  testing::TempDir dir;
  testing::EngineFixture f;
  PosixFileSystem disk;
  PosixProcessLauncher launcher;
  const std::string root = dir.path();
  PathMapping paths(MakePlaceholderTable({root, "\\pc1", "", "", ""}, '/'), "pc1", '/');
  const TrustPolicy trust;
  Catalogue catalogue({paths, f.repo, disk, f.settings, f.system, trust});
  EngineContext ctx{paths, f.repo, disk, f.settings, f.system, catalogue, launcher, ""};
  const std::string log = dir / "ordine.txt";
  // Each program notes its start (and whether the dependency is already in
  // place), sleeps, and notes its end.
  auto script = [&](const std::string& name) {
    return "#!/bin/sh\n[ -f '" + root + "/Dati/dati.mdb' ] && echo inizio " + name + " >> '" + log +
           "'\nsleep 0.2\necho fine " + name + " >> '" + log + "'\n";
  };
  f.repo.PutDocument("/eseguibili/app",
                     "[Release]\n[Setup]\nd={DATI}\\dati.mdb\n[PostSetup]\n"
                     "b={ESEGUIBILI}\\primo\na=\"{ESEGUIBILI}\\secondo\"\n");
  f.repo.Put("/eseguibili/app", "#!/bin/sh\n", kNew);
  f.repo.Put("/eseguibili/primo", script("primo"), kNew);
  f.repo.Put("/eseguibili/secondo", script("secondo"), kNew);
  f.repo.PutDocument("/dati/dati.mdb", "[Release]\n");
  f.repo.Put("/dati/dati.mdb", "dati", kNew);
  f.repo.PutDocument("/eseguibili/primo", "[Release]\n");
  f.repo.PutDocument("/eseguibili/secondo", "[Release]\n");
  // The post-setup programs are modules of the suite like any other.
  Global global(ctx);
  ASSERT_TRUE(global.UpdateModule("{ESEGUIBILI}\\primo"));
  ASSERT_TRUE(global.UpdateModule("{ESEGUIBILI}\\secondo"));
  ASSERT_TRUE(global.UpdateModule("{ESEGUIBILI}\\app"));
  EXPECT_EQ(testing::ReadTextFile(log),
            "inizio primo\nfine primo\ninizio secondo\nfine secondo\n");
}

}  // namespace
}  // namespace tw
