#include "startup/main_sequence.h"

#include <gtest/gtest.h>

#include "resources/string_table.h"
#include "startup/environment.h"
#include "support/fake_file_system.h"
#include "support/fake_settings_store.h"
#include "support/fake_system_info.h"

namespace tw {
namespace {

class RecordingHost : public StartupHost {
 public:
  void ShowSplash() override { steps += "splash "; }
  void HideSplash() override { steps += "hide "; }
  void SelfUpdate() override { steps += "self-update "; }
  bool StartServing() override {
    steps += "serve ";
    return can_serve;
  }
  bool can_serve = true;
  void ShowMessage(int id) override { steps += std::to_string(id) + " "; }
  std::string steps;
};

class StartupTest : public ::testing::Test {
 protected:
  Environment Env(const std::string& remote_host) {
    Environment env = InitEnvironment(system_, settings_, files_);
    env.RemoteHost = remote_host;
    return env;
  }
  testing::FakeSystemInfo system_;
  testing::FakeSettingsStore settings_;
  testing::FakeFileSystem files_;
  RecordingHost host_;
};

TEST_F(StartupTest, HostModeIsTheWholeLineAsOneWord) {
  EXPECT_TRUE(ReadCommandText("  HoSt ").host_mode);
  EXPECT_EQ(ReadCommandText("  HoSt ").text, "HoSt");
  EXPECT_FALSE(ReadCommandText("host @m x").host_mode);
  EXPECT_FALSE(ReadCommandText("\thost").host_mode);
}

TEST_F(StartupTest, AutomationWithoutARepositoryShowsMessage905AndEnds) {
  EXPECT_EQ(RunStartup(Env(""), StartMode::Automation, host_), StartupResult::EndProcessNow);
  EXPECT_EQ(host_.steps, "905 ");
}

TEST_F(StartupTest, AutomationWithARepositoryTakesTheBusNameThenUpdatesItselfUnseen) {
  EXPECT_EQ(RunStartup(Env("server/base"), StartMode::Automation, host_), StartupResult::ServeAutomation);
  EXPECT_EQ(host_.steps, "serve self-update ");
  RecordingHost second;
  second.can_serve = false;  // another server holds the name
  EXPECT_EQ(RunStartup(Env("server/base"), StartMode::Automation, second), StartupResult::EndProcessNow);
  EXPECT_EQ(second.steps, "serve ");
}

TEST_F(StartupTest, StandaloneShowsTheSplashAroundTheSelfUpdate) {
  EXPECT_EQ(RunStartup(Env("server"), StartMode::Standalone, host_), StartupResult::Finished);
  EXPECT_EQ(host_.steps, "splash self-update hide ");
  RecordingHost first_start;
  RunStartup(Env(""), StartMode::Standalone, first_start);
  EXPECT_EQ(first_start.steps, "splash hide ");
}

TEST(StringTable, EveryTextThePartsUseIsThere) {
  for (int id : {101, 102, 103, 104, 105, 201, 202, 203, 204, 801, 802, 803, 804, 805, 806, 807, 808,
                 901, 902, 903, 905, 906, 907, 908, 1001, 1002, 1003, 1004, 1005, 1006})
    EXPECT_FALSE(LoadResString(id).empty()) << id;
  EXPECT_EQ(LoadResString(204), "&Nascondi al prossimo avvio");
  EXPECT_EQ(LoadResString(1006), "Pronto per l'installazione");
  // This platform's file manager, not the one of another system.
  EXPECT_NE(LoadResString(905).find("lanciare il programma Tarnwick dal gestore dei file"), std::string_view::npos);
  EXPECT_EQ(LoadResString(905).find("Esplora Risorse"), std::string_view::npos);
  EXPECT_TRUE(LoadResString(904).empty());
}

}  // namespace
}  // namespace tw
