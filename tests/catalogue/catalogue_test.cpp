#include "catalogue/catalogue.h"
#include "trust/trust_policy.h"

#include <gtest/gtest.h>

#include "catalogue/path_mapping.h"
#include "common/settings_keys.h"
#include "support/fake_file_system.h"
#include "support/fake_repository.h"
#include "support/fake_settings_store.h"
#include "support/fake_system_info.h"

namespace tw {
namespace {

using testing::kNew;
using testing::kOld;

class CatalogueTest : public ::testing::Test {
 protected:
  CatalogueTest()
      : paths_(MakePlaceholderTable({"/opt/suite", "\\pc1", "/home/u/.local/lib", "/home/u/.local/share/fonts",
                                     "/home/u/.local/share"},
                                    '/'),
               "pc1", '/'),
        catalogue_({paths_, repo_, files_, settings_, system_, trust_}) {
    system_.current_bias = 0;
  }

  void Publish(const std::string& remote, const std::string& document, DateValue date = kNew) {
    repo_.Publish(remote, document, date);
  }
  void Install(const std::string& local, std::string version = "", DateValue date = kOld) {
    files_.AddFile(local, "vecchio", date.ToUnixSeconds(), std::move(version));
  }
  std::vector<std::string> Walk(const std::string& module) {
    UpdateDictionary updates;
    catalogue_.CollectUpdates(updates, module);
    std::vector<std::string> keys;
    for (const auto& item : updates) keys.push_back(*item.key);
    last_ = std::move(updates);
    return keys;
  }
  const ModuleUpdateInfo& Record(const std::string& key) { return **last_.Find(key); }

  testing::FakeSystemInfo system_;
  testing::FakeFileSystem files_;
  testing::FakeSettingsStore settings_;
  testing::FakeRepository repo_;
  PathMapping paths_;
  TrustPolicy trust_;
  Catalogue catalogue_;
  UpdateDictionary last_;
};

using Keys = std::vector<std::string>;

TEST_F(CatalogueTest, DependenciesComeFirstInDocumentOrder) {
  Publish("/eseguibili/a.exe", "[Release]\nVersion=1.0\n[Setup]\nz={ESEGUIBILI}\\B.exe\ny={DATI}\\C.mdb\n");
  Publish("/eseguibili/b.exe", "[Release]\nVersion=1.0\n");
  Publish("/dati/c.mdb", "[Release]\n");
  EXPECT_EQ(Walk("{ESEGUIBILI}\\A.exe"),
            (Keys{"{ESEGUIBILI}\\B.EXE", "{DATI}\\C.MDB", "{ESEGUIBILI}\\A.EXE"}));
  const ModuleUpdateInfo& c = Record("{DATI}\\C.MDB");
  EXPECT_EQ(c.MetaPath, "{DATI}\\C.mdb");
  EXPECT_EQ(c.InstallationType, 0);
  EXPECT_EQ(c.LocalVersion, "-.-.-.-");
  EXPECT_EQ(c.RemoteVersion, "2021.01.01.120000");
  EXPECT_EQ(Record("{ESEGUIBILI}\\A.EXE").RemoteVersion, "1.0.0.0");
}

TEST_F(CatalogueTest, TheWholeSuiteFromTheEmptyName) {
  repo_.PutDocument("", "[Setup]\n1={ESEGUIBILI}\\A.exe\n2={ESEGUIBILI}\\B.exe\n");
  Publish("/eseguibili/a.exe", "[Release]\nVersion=1.0\n");
  Publish("/eseguibili/b.exe", "[Release]\nVersion=2.0\n");
  EXPECT_EQ(Walk(""), (Keys{"{ESEGUIBILI}\\A.EXE", "{ESEGUIBILI}\\B.EXE"}));
}

TEST_F(CatalogueTest, ForceUpdateFalseOnlyInstallsWhatIsMissing) {
  Publish("/eseguibili/a.exe", "[Release]\nVersion=2.0\nForceUpdate=False\n");
  EXPECT_EQ(Walk("{ESEGUIBILI}\\A.exe").size(), 1u);
  EXPECT_FALSE(Record("{ESEGUIBILI}\\A.EXE").ForceUpdate);
  Install("/opt/suite/Eseguibili/A.exe", "1.0.0.0");
  EXPECT_TRUE(Walk("{ESEGUIBILI}\\A.exe").empty());
}

TEST_F(CatalogueTest, OnDemandModulesNeedTheirMarker) {
  Publish("/eseguibili/a.exe", "[Release]\nVersion=1.0\nOnDemand=1\n[Setup]\nb={ESEGUIBILI}\\B.exe\n");
  Publish("/eseguibili/b.exe", "[Release]\nVersion=1.0\n");
  EXPECT_TRUE(Walk("{ESEGUIBILI}\\A.exe").empty());
  files_.AddFile("/opt/suite/Eseguibili/A.exe.OnDemand");
  EXPECT_EQ(Walk("{ESEGUIBILI}\\A.exe"), (Keys{"{ESEGUIBILI}\\B.EXE", "{ESEGUIBILI}\\A.EXE"}));
  EXPECT_TRUE(Record("{ESEGUIBILI}\\A.EXE").OnDemand);
}

TEST_F(CatalogueTest, PostSetupOnlyForNewInstallations) {
  Publish("/eseguibili/a.exe",
          "[Release]\nVersion=2.0\nRegister=RegSvr32\n[PostSetup]\n1={ESEGUIBILI}\\Dopo.exe /x\n2={DATI}/Fine.exe\n");
  Walk("{ESEGUIBILI}\\A.exe");
  const ModuleUpdateInfo& fresh = Record("{ESEGUIBILI}\\A.EXE");
  EXPECT_EQ(fresh.Register, "RegSvr32");
  ASSERT_EQ(fresh.PostSetup.Count(), 2u);
  EXPECT_EQ(fresh.PostSetup.At(1).value, "/opt/suite/Eseguibili/Dopo.exe /x");
  EXPECT_EQ(fresh.PostSetup.At(2).value, "/opt/suite/Dati/Fine.exe");
  Install("/opt/suite/Eseguibili/A.exe", "1.0.0.0");
  Walk("{ESEGUIBILI}\\A.exe");
  EXPECT_EQ(Record("{ESEGUIBILI}\\A.EXE").InstallationType, 1);
  EXPECT_TRUE(Record("{ESEGUIBILI}\\A.EXE").PostSetup.Empty());
}

TEST_F(CatalogueTest, VersionDecisions) {
  // Equal numbers, newer repository date: offered, shown as dates.
  Publish("/eseguibili/a.exe", "[Release]\nVersion=1.0\n", kNew);
  Install("/opt/suite/Eseguibili/A.exe", "1.0.0.0", kOld);
  // 0.0.0.0 in the repository: never offered.
  Publish("/eseguibili/b.exe", "[Release]\nVersion=0.0.0.0\n", kNew);
  // A Version for a file without a version resource: offered at every walk.
  Publish("/eseguibili/c.dat", "[Release]\nVersion=1.0\n", kOld);
  Install("/opt/suite/Eseguibili/c.dat", "", kNew);
  // The installed copy is newer than the repository's: not offered.
  Publish("/eseguibili/d.dat", "[Release]\n", kOld);
  Install("/opt/suite/Eseguibili/d.dat", "", kNew);
  EXPECT_EQ(Walk("{ESEGUIBILI}\\A.exe").size(), 1u);
  EXPECT_EQ(Record("{ESEGUIBILI}\\A.EXE").LocalVersion, "2020.01.01.120000");
  EXPECT_EQ(Record("{ESEGUIBILI}\\A.EXE").RemoteVersion, "2021.01.01.120000");
  EXPECT_TRUE(Walk("{ESEGUIBILI}\\b.exe").empty());
  EXPECT_EQ(Walk("{ESEGUIBILI}\\c.dat").size(), 1u);
  // The numbers decided (1.0.0.0 against none), so the installed side still
  // shows its date.
  EXPECT_EQ(Record("{ESEGUIBILI}\\C.DAT").LocalVersion, "2021.01.01.120000");
  EXPECT_EQ(Walk("{ESEGUIBILI}\\c.dat").size(), 1u);
  EXPECT_TRUE(Walk("{ESEGUIBILI}\\d.dat").empty());
}

TEST_F(CatalogueTest, StoredDownloadDateWinsOverTheFileDateAndGoesWithTheFile) {
  Publish("/dati/x.mdb", "[Release]\n", kNew);
  Install("/opt/suite/Dati/x.mdb", "", kOld);
  settings_.Set(settings::kLastModifiedSection, "/opt/suite/Dati/x.mdb", kNew.ToSettingsText());
  EXPECT_TRUE(Walk("{DATI}\\x.mdb").empty());
  settings_.Set(settings::kLastModifiedSection, "/opt/suite/Dati/x.mdb", "0");
  EXPECT_EQ(Walk("{DATI}\\x.mdb").size(), 1u);  // 0 means none: the file date counts

  settings_.Set(settings::kLastModifiedSection, "/opt/suite/Dati/x.mdb", kNew.ToSettingsText());
  files_.files.erase("/opt/suite/Dati/x.mdb");
  EXPECT_EQ(Walk("{DATI}\\x.mdb").size(), 1u);
  EXPECT_FALSE(settings_.Get(settings::kLastModifiedSection, "/opt/suite/Dati/x.mdb").has_value());
}

// A file that is there is installed, even when its version reads empty: a
// version resource of 0.0.0.0, or a date that reads as none (the stamp of
// 30 December 1899 that an earlier run gave files served without a date).
TEST_F(CatalogueTest, AFileThatIsThereIsNeverANewInstallation) {
  Publish("/dati/utenti/conf.ini", "[Release]\nVersion=1.0\nForceUpdate=0\n"
                                   "[PostSetup]\np={ESEGUIBILI}\\post.exe\n");
  Install("/opt/suite/Dati/Utenti/conf.ini", "", DateValue());
  EXPECT_TRUE(Walk("{UTENTI}\\conf.ini").empty());
  Install("/opt/suite/Dati/Utenti/conf.ini", "0.0.0.0");
  EXPECT_TRUE(Walk("{UTENTI}\\conf.ini").empty());

  Publish("/eseguibili/prog.exe", "[Release]\nVersion=1.0\n[PostSetup]\np={ESEGUIBILI}\\post.exe\n");
  Install("/opt/suite/Eseguibili/prog.exe", "0.0.0.0");
  ASSERT_EQ(Walk("{ESEGUIBILI}\\prog.exe").size(), 1u);
  EXPECT_EQ(Record("{ESEGUIBILI}\\PROG.EXE").InstallationType, 1);
  EXPECT_EQ(Record("{ESEGUIBILI}\\PROG.EXE").PostSetup.Count(), 0u);
}

TEST_F(CatalogueTest, UnreachableRepositoryGivesNothing) {
  Publish("/eseguibili/a.exe", "[Release]\nVersion=1.0\n");
  repo_.reachable = false;
  EXPECT_TRUE(Walk("{ESEGUIBILI}\\A.exe").empty());
}

TEST_F(CatalogueTest, CyclesEndAndSharedDependenciesAreAddedOnce) {
  Publish("/eseguibili/a.exe", "[Release]\nVersion=1.0\n[Setup]\nb={ESEGUIBILI}\\B.exe\nself={ESEGUIBILI}\\a.EXE\n");
  Publish("/eseguibili/b.exe", "[Release]\nVersion=1.0\n[Setup]\na={ESEGUIBILI}\\A.exe\nc={ESEGUIBILI}\\C.exe\n");
  Publish("/eseguibili/c.exe", "[Release]\nVersion=1.0\n");
  Publish("/eseguibili/d.exe", "[Release]\nVersion=1.0\n[Setup]\nc={ESEGUIBILI}\\C.exe\nb={ESEGUIBILI}\\B.exe\n");
  EXPECT_EQ(Walk("{ESEGUIBILI}\\A.exe"), (Keys{"{ESEGUIBILI}\\C.EXE", "{ESEGUIBILI}\\B.EXE", "{ESEGUIBILI}\\A.EXE"}));
  // From D: C, then B, whose walk reaches A (A's way back to B is cut) and
  // C again, which is walked but not added twice.
  EXPECT_EQ(Walk("{ESEGUIBILI}\\D.exe"),
            (Keys{"{ESEGUIBILI}\\C.EXE", "{ESEGUIBILI}\\A.EXE", "{ESEGUIBILI}\\B.EXE", "{ESEGUIBILI}\\D.EXE"}));
}

TEST_F(CatalogueTest, EachDocumentIsFetchedOncePerRunWhateverFormNamesIt) {
  Publish("/eseguibili/a.exe", "[Release]\nVersion=1.0\n[Setup]\nb={ESEGUIBILI}\\B.exe\nb2=/eseguibili/b.exe\n");
  Publish("/eseguibili/b.exe", "[Release]\nVersion=1.0\n");
  Walk("{ESEGUIBILI}\\A.exe");
  Walk("/opt/suite/Eseguibili/A.exe");
  Walk("{eseguibili}\\a.EXE");
  catalogue_.GetModuleVersion("{ESEGUIBILI}\\B.exe", true);
  EXPECT_EQ(repo_.requests["/eseguibili/a.exe.ini"], 1);
  EXPECT_EQ(repo_.requests["/eseguibili/a.exe"], 1);
  EXPECT_EQ(repo_.requests["/eseguibili/b.exe.ini"], 1);
  EXPECT_EQ(repo_.requests["/eseguibili/b.exe"], 1);
  EXPECT_EQ(repo_.requests["/indice.ini"], 1);  // asked once, absent
  EXPECT_EQ(repo_.gets + repo_.heads, 5);
  // A failed fetch is remembered as an empty record.
  EXPECT_TRUE(catalogue_.LoadModuleINI("{DATI}\\assente.mdb")->ReleaseKeys.Empty());
  catalogue_.LoadModuleINI("{DATI}\\ASSENTE.mdb");
  EXPECT_EQ(repo_.requests["/dati/assente.mdb.ini"], 1);
}

TEST_F(CatalogueTest, EntriesOutsideTheSuiteAreNeverAskedForNorListed) {
  // Each of these, as the repository would be asked for it, is there: a
  // walk that followed them would list them.
  const std::vector<std::pair<std::string, std::string>> hostile = {
      {"{ESEGUIBILI}\\..\\..\\fuori.exe", "/eseguibili/../../fuori.exe"},
      {"{ESEGUIBILI}/..\\x.exe", "/eseguibili/../x.exe"},
      {"/etc/cron.d/x", "/etc/cron.d/x"},
      {"senza.exe", "senza.exe"},
      {"@127.0.0.2\\x.exe", "@127.0.0.2/x.exe"},
      {"{ESEGUIBILI}\\%2e%2e\\y.exe", "/eseguibili/%2e%2e/y.exe"},
      {"{ESEGUIBILI}\\a\" /s \"b.exe", "/eseguibili/a\" /s \"b.exe"},
  };
  std::string setup = "[Release]\nVersion=1.0\n[Setup]\nok={ESEGUIBILI}\\B.exe\n";
  for (size_t i = 0; i < hostile.size(); ++i) {
    setup += "h" + std::to_string(i) + "=" + hostile[i].first + "\n";
    Publish(hostile[i].second, "[Release]\nVersion=1.0\n");
  }
  setup += "[PostSetup]\n1=/bin/sh -c \"rm -rf ~\"\n2={ESEGUIBILI}\\..\\..\\bin\\sh\n3=\"C:\\x.exe\" /s\n"
           "4=\"{ESEGUIBILI}\\Dopo 1.exe\" /s\n";
  Publish("/eseguibili/a.exe", setup);
  Publish("/eseguibili/b.exe", "[Release]\nVersion=1.0\n");

  EXPECT_EQ(Walk("{ESEGUIBILI}\\A.exe"), (Keys{"{ESEGUIBILI}\\B.EXE", "{ESEGUIBILI}\\A.EXE"}));
  const ModuleUpdateInfo& a = Record("{ESEGUIBILI}\\A.EXE");
  ASSERT_EQ(a.PostSetup.Count(), 1u);
  EXPECT_EQ(a.PostSetup.At(1).value, "\"/opt/suite/Eseguibili/Dopo 1.exe\" /s");
  for (const auto& [path, count] : repo_.requests)
    EXPECT_TRUE(path == "/indice.ini" || path == "/eseguibili/a.exe" || path == "/eseguibili/a.exe.ini" ||
                path == "/eseguibili/b.exe" || path == "/eseguibili/b.exe.ini")
        << path;

  // Asked directly, they are modules the repository does not hold, and
  // nothing where they point is looked at.
  files_.AddFile("/etc/cron.d/x", "x", 0, "9.9.9.9");
  repo_.requests.clear();
  for (const auto& entry : hostile) {
    EXPECT_TRUE(Walk(entry.first).empty()) << entry.first;
    EXPECT_TRUE(catalogue_.LoadModuleINI(entry.first)->ReleaseKeys.Empty()) << entry.first;
    EXPECT_TRUE(IsVersionEmpty(catalogue_.GetModuleVersion(entry.first, true))) << entry.first;
    EXPECT_TRUE(IsVersionEmpty(catalogue_.GetModuleVersion(entry.first, false))) << entry.first;
  }
  EXPECT_TRUE(repo_.requests.empty());
}

TEST_F(CatalogueTest, ByteOrderMarkDoesNotHideTheFirstSection) {
  // Saved by a Windows editor: without its [Release] this on-demand module
  // would be installed on every computer.
  Publish("/eseguibili/a.exe", "\xEF\xBB\xBF[Release]\r\nVersion=1.0\r\nOnDemand=1\r\n");
  EXPECT_TRUE(Walk("{ESEGUIBILI}\\A.exe").empty());
  files_.AddFile("/opt/suite/Eseguibili/A.exe.OnDemand");
  EXPECT_EQ(Walk("{ESEGUIBILI}\\A.exe").size(), 1u);
  EXPECT_EQ(Record("{ESEGUIBILI}\\A.EXE").RemoteVersion, "1.0.0.0");
}

TEST_F(CatalogueTest, ModuleInAFolderThisComputerLacksCountsAsMissing) {
  PathMapping paths(MakePlaceholderTable({"/opt/suite", "\\pc1", "", "/f", "/w"}, '/'), "pc1", '/');
  const TrustPolicy trust;
  Catalogue catalogue({paths, repo_, files_, settings_, system_, trust});
  files_.AddFile("/x.dll", "root", 0, "9.9.9.9");  // where "{SYSTEM}\x.dll" would land
  EXPECT_TRUE(IsVersionEmpty(catalogue.GetModuleVersion("{SYSTEM}\\x.dll", false)));
}

}  // namespace
}  // namespace tw
