#include "startup/environment.h"

#include <gtest/gtest.h>

#include "common/settings_keys.h"
#include "support/fake_file_system.h"
#include "support/fake_settings_store.h"
#include "support/fake_system_info.h"

namespace tw {
namespace {

class EnvironmentTest : public ::testing::Test {
 protected:
  Environment Init(char separator = '/') {
    return InitEnvironment(system, settings, files, separator);
  }
  testing::FakeSystemInfo system;
  testing::FakeSettingsStore settings;
  testing::FakeFileSystem files;
};

TEST_F(EnvironmentTest, StoredRepositoryLosesBlanksAndOneTrailingSlash) {
  settings.Set(settings::kSection, settings::kRemoteHost, "  server/base/  ");
  EXPECT_EQ(Init().RemoteHost, "server/base");
  settings.Set(settings::kSection, settings::kRemoteHost, "server/base//");
  EXPECT_EQ(Init().RemoteHost, "server/base/");
  settings.values.clear();
  EXPECT_EQ(Init().RemoteHost, "");
}

TEST_F(EnvironmentTest, HideReadsAsATruthValue) {
  EXPECT_FALSE(Init().HideSetting);
  for (const char* text : {"1", "2", "-1", "True"}) {
    settings.Set(settings::kSection, settings::kHide, text);
    EXPECT_TRUE(Init().HideSetting) << text;
  }
  for (const char* text : {"0", "sì", ""}) {
    settings.Set(settings::kSection, settings::kHide, text);
    EXPECT_FALSE(Init().HideSetting) << text;
  }
}

TEST_F(EnvironmentTest, FoldersDeriveFromTheProgramsFolder) {
  system.program_folder = "/opt/suite/Eseguibili";
  Environment env = Init();
  EXPECT_EQ(env.RootFolder, "/opt/suite");
  EXPECT_EQ(env.Paths.LocalFolder("{ESEGUIBILI}"), "/opt/suite/Eseguibili");
  EXPECT_EQ(env.Paths.LocalFolder("{COMPONENTI}"), "/opt/suite/Eseguibili/Componenti");
  EXPECT_EQ(env.Paths.LocalFolder("{UTENTI}"), "/opt/suite/Dati/Utenti");
  EXPECT_EQ(env.Paths.LocalFolder("{SYSTEM}"), "/home/u/.local/lib");
  EXPECT_EQ(env.PcFolder, "\\pc1");
  EXPECT_EQ(env.Paths.ResolvePath("{PCID}", false), "/pc1");
  EXPECT_EQ(env.TimeZoneBias, -60);

  // A program lying in a sub-folder of the executables folder points every
  // folder one level too deep.
  system.program_folder = "/opt/suite/Eseguibili/Sub";
  EXPECT_EQ(Init().Paths.LocalFolder("{DATI}"), "/opt/suite/Eseguibili/Dati");
}

TEST_F(EnvironmentTest, WindowsFormOfTheFolders) {
  system.program_folder = "C:\\";
  system.special[SpecialFolder::System] = "C:\\WINDOWS\\system32\\";
  Environment env = Init('\\');
  EXPECT_EQ(env.RootFolder, "C:");
  EXPECT_EQ(env.Paths.LocalFolder("{ESEGUIBILI}"), "C:\\Eseguibili");
  EXPECT_EQ(env.Paths.LocalFolder("{SYSTEM}"), "C:\\WINDOWS\\system32");
  EXPECT_EQ(env.PcFolder, "/pc1");
  EXPECT_EQ(RootFolderOf("Eseguibili", '\\'), "Eseguibili");
}

TEST_F(EnvironmentTest, MissingSpecialFolderGivesAnEmptyValue) {
  system.special[SpecialFolder::Fonts] = "";
  Environment env = Init();
  EXPECT_EQ(env.Paths.LocalFolder("{FONTS}"), "");
  EXPECT_EQ(env.Paths.ResolvePath("{FONTS}\\v.ttf", false), "/v.ttf");
}

}  // namespace
}  // namespace tw
