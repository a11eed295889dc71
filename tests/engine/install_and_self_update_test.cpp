#include <gtest/gtest.h>

#include "common/settings_keys.h"
#include "engine/engine_fixture.h"
#include "engine/install.h"
#include "engine/self_update.h"

namespace tw {
namespace {

using testing::kNew;
using testing::kOld;
using Words = std::vector<std::string>;

class InstallTest : public ::testing::Test {
 protected:
  testing::EngineFixture f_;
};

TEST_F(InstallTest, InstalledFileIsRegisteredAsItsCatalogueSays) {
  f_.repo.Put("/eseguibili/componenti/griglia dati.ocx", "MZ griglia", kNew);
  EXPECT_TRUE(InstallModuleFile(f_.ctx, "{COMPONENTI}\\Griglia Dati.ocx", "RegSvr32"));
  const std::string local = "/opt/suite/Eseguibili/Componenti/Griglia Dati.ocx";
  EXPECT_EQ(f_.files.Content(local), "MZ griglia");
  EXPECT_EQ(f_.settings.Get(settings::kLastModifiedSection, local), kNew.ToSettingsText());
  ASSERT_EQ(f_.launcher.calls.size(), 1u);
  EXPECT_EQ(f_.launcher.calls[0].argv, (Words{"/home/u/.local/lib/regsvr32.exe", "/s", local}));
  EXPECT_EQ(f_.launcher.calls[0].style, WindowStyle::MinimizedActive);

  f_.repo.Put("/eseguibili/setup", "#!/bin/sh", kNew);
  EXPECT_TRUE(InstallModuleFile(f_.ctx, "{ESEGUIBILI}\\setup", "self"));
  EXPECT_EQ(f_.launcher.calls.back().argv, (Words{"/opt/suite/Eseguibili/setup"}));
  EXPECT_EQ(f_.launcher.calls.back().style, WindowStyle::Hidden);

  f_.repo.Put("/dati/a.mdb", "db", kNew);
  EXPECT_TRUE(InstallModuleFile(f_.ctx, "{DATI}\\a.mdb", ""));
  EXPECT_EQ(f_.launcher.calls.size(), 2u);
}

TEST_F(InstallTest, FailedDownloadWritesAndStartsNothing) {
  f_.repo.Put("/dati/uno.bin", "1", kNew);  // one byte: a failed download
  EXPECT_FALSE(InstallModuleFile(f_.ctx, "{DATI}\\uno.bin", "self"));
  EXPECT_FALSE(InstallModuleFile(f_.ctx, "{DATI}\\assente.bin", "self"));
  EXPECT_TRUE(f_.files.files.empty());
  EXPECT_TRUE(f_.launcher.calls.empty());
}

// The file left in place may be anything (another document's download):
// only what the call installed is registered.
TEST_F(InstallTest, FailedReplacementRegistersNothing) {
  f_.repo.Put("/eseguibili/x.ocx", "nuovo", kNew);
  f_.files.AddFile("/opt/suite/Eseguibili/x.ocx", "vecchio");
  f_.files.FailNext("Rename", "/opt/suite/Eseguibili/x.ocx.new", FileError{5, "Permesso negato"});
  EXPECT_FALSE(InstallModuleFile(f_.ctx, "{ESEGUIBILI}\\x.ocx", "regsvr32"));
  EXPECT_EQ(f_.files.Content("/opt/suite/Eseguibili/x.ocx"), "vecchio");
  EXPECT_TRUE(f_.launcher.calls.empty());
}

// Registered with "self", the updater would run any batch command its
// arguments named; the launcher and the ".update" copy likewise.
TEST_F(InstallTest, TheUpdaterAndTheLauncherNeverRegisterThemselves) {
  f_.system.program_folder = "/opt/suite/Eseguibili";
  for (const char* module : {"{ESEGUIBILI}\\Tarnwick", "{ESEGUIBILI}\\Run", "{ESEGUIBILI}\\tarnwick.update"}) {
    f_.repo.Put(f_.paths.ResolvePath(module, true), "#!/bin/sh", kNew);
    EXPECT_TRUE(InstallModuleFile(f_.ctx, module, "self")) << module;
  }
  EXPECT_TRUE(f_.launcher.calls.empty());
}

TEST_F(InstallTest, ModuleWhoseFolderIsMissingHereIsNeitherFetchedNorWritten) {
  f_.repo.Put("/fonts/v.ttf", "font", kNew);
  EXPECT_FALSE(InstallModuleFile(f_.ctx, "{FONTS}\\v.ttf", ""));
  EXPECT_TRUE(f_.files.files.empty());
  EXPECT_EQ(f_.repo.gets, 0);
}

class SelfUpdateTest : public InstallTest {
 protected:
  void Publish(const std::string& name, const std::string& version, DateValue date) {
    f_.repo.Publish("/eseguibili/" + name, "[Release]\nVersion=" + version + "\n", date);
  }
  // The launcher and the program, both older than anything published.
  void InstallOwnFiles() {
    f_.files.AddFile("/opt/suite/Eseguibili/Run", "vecchio", kOld.ToUnixSeconds(), "1.0.0.0");
    f_.files.AddFile("/opt/suite/Eseguibili/Tarnwick", "in uso", kOld.ToUnixSeconds(), "2.0.0.0");
  }
};

TEST_F(SelfUpdateTest, NewerLauncherInPlaceNewerProgramBesideItself) {
  InstallOwnFiles();
  Publish("run", "1.1", kNew);
  Publish("tarnwick", "2.1", kNew);
  SelfUpdate(f_.ctx);
  EXPECT_EQ(f_.files.Content("/opt/suite/Eseguibili/Run"), "contenuto /eseguibili/run");
  EXPECT_EQ(f_.files.files["/opt/suite/Eseguibili/Run"].mtime, kNew.ToUnixSeconds());
  EXPECT_EQ(f_.files.Content("/opt/suite/Eseguibili/Tarnwick"), "in uso");
  EXPECT_EQ(f_.files.Content("/opt/suite/Eseguibili/Tarnwick.update"), "contenuto /eseguibili/tarnwick");
  EXPECT_EQ(f_.files.files["/opt/suite/Eseguibili/Tarnwick.update"].mtime, kNew.ToUnixSeconds());
  EXPECT_TRUE(f_.settings.Get(settings::kLastModifiedSection, "/opt/suite/Eseguibili/Tarnwick.update"));
  EXPECT_FALSE(f_.settings.Get(settings::kLastModifiedSection, "/opt/suite/Eseguibili/Tarnwick"));
}

TEST_F(SelfUpdateTest, EqualOlderOrEmptyRepositoryVersionsDownloadNothing) {
  InstallOwnFiles();
  Publish("run", "1.0.0.0", kOld);
  Publish("tarnwick", "1.9", kNew);
  SelfUpdate(f_.ctx);
  f_.repo.resources.clear();
  f_.repo.PutDocument("/eseguibili/run", "[Release]\nVersion=0.0.0.0\n");
  SelfUpdate(f_.ctx);
  EXPECT_EQ(f_.files.Content("/opt/suite/Eseguibili/Run"), "vecchio");
  EXPECT_EQ(f_.files.files.count("/opt/suite/Eseguibili/Tarnwick.update"), 0u);
  for (const auto& [path, count] : f_.repo.requests)
    EXPECT_TRUE(path.ends_with(".ini") || count == 1) << path;  // only HEADs, no GET of a file
}

}  // namespace
}  // namespace tw
