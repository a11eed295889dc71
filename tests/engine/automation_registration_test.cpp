#include "engine/automation_registration.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/fake_system_info.h"
#include "support/temp_dir.h"

namespace tw {
namespace {

using testing::ReadTextFile;

TEST(AutomationRegistration, TheActivationFileLiesInTheUsersDataFolder) {
  testing::TempDir dir;
  testing::FakeSystemInfo system;
  system.user_data_folder = dir / "data";
  const std::string file = dir / "data/dbus-1/services/it.velmora.Tarnwick.service";
  EXPECT_EQ(ActivationFilePath(system), file);

  ASSERT_TRUE(RegisterAutomationServer(system, "/opt/Suite \"V\"/Eseguibili/$Tarnwick"));
  // The bus reads the Exec line like a shell would.
  EXPECT_EQ(ReadTextFile(file),
            "[D-BUS Service]\nName=it.velmora.Tarnwick\n"
            "Exec=\"/opt/Suite \\\"V\\\"/Eseguibili/\\$Tarnwick\" --automation\n");
  EXPECT_TRUE(UnregisterAutomationServer(system));
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_TRUE(UnregisterAutomationServer(system));  // nothing left to remove
}

TEST(AutomationRegistration, WithoutADataFolderNothingIsWritten) {
  testing::FakeSystemInfo system;
  system.user_data_folder = "";
  EXPECT_EQ(ActivationFilePath(system), "");
  EXPECT_FALSE(RegisterAutomationServer(system, "/opt/suite/Eseguibili/Tarnwick"));
  EXPECT_FALSE(UnregisterAutomationServer(system));
}

}  // namespace
}  // namespace tw
