#include "startup/repository_dialog.h"

#include <gtest/gtest.h>

#include <deque>
#include <set>

#include "common/settings_keys.h"
#include "resources/version_info.h"
#include "startup/display.h"
#include "startup/environment.h"
#include "startup/read_fault_text.h"
#include "catalogue/index_gate.h"
#include "support/fake_file_system.h"
#include "support/fake_settings_store.h"
#include "support/fake_system_info.h"
#include "transport/repository.h"
#include "trust/trust_keys.h"

namespace tw {
namespace {

// The options window, answering from a script and noting what it was shown.
class ScriptedOptions : public OptionsView {
 public:
  bool CanAsk() override { return display; }
  OptionsAnswer Ask(const std::string& path, bool hide) override {
    shown.push_back({path, hide});
    if (answers.empty()) return {"", hide};  // a script that ran out cancels
    OptionsAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::deque<OptionsAnswer> answers;
  std::vector<OptionsAnswer> shown;
  bool display = true;
};

// Repositories that answer the test request at the locations in `good`;
// a silent one gives no answer at all, refused.
class ProbeRepository : public Repository {
 public:
  ProbeRepository(bool good, std::vector<std::string>& paths, bool silent = false)
      : good_(good), silent_(silent), paths_(paths) {}
  RawReply HttpGetConditional(std::string_view path, const Validators& ask) override {
    if (!silent_) return Repository::HttpGetConditional(path, ask);
    paths_.emplace_back(path);
    return {};
  }
  std::optional<ReadFault> TakeReadFault() override {
    return silent_ ? std::optional<ReadFault>(ReadFault{ReadFaultKind::Refused, 0}) : std::nullopt;
  }
  bool HttpHead(std::string_view path, DateValue&) override {
    paths_.emplace_back(path);
    return good_;
  }
  std::optional<std::string> HttpGetRaw(std::string_view path) override {
    paths_.emplace_back(path);
    if (!good_ || path != "/indice.ini") return std::nullopt;
    return testing::Signed(
        "[Index]\r\nFormat=1\r\nRepository=base\r\nSerial=1\r\nPublished=0\r\nExpires=9000000000\r\n[Files]\r\n",
        testing::TestKey(5));
  }
  std::string HttpGetText(std::string_view, DateValue&) override { return ""; }
  ByteBuffer HttpGetBytes(std::string_view, DateValue&) override { return ByteBuffer::Failed(); }
  FetchResult HttpGetToSink(std::string_view, DownloadSink&, DateValue&) override {
    return FetchResult::NotFound;
  }
  std::string URL() override { return ""; }

 private:
  bool good_, silent_;
  std::vector<std::string>& paths_;
};

class FakeOpener : public RepositoryOpener {
 public:
  std::unique_ptr<Repository> Open(const std::string& location) override {
    tested.push_back(location);
    return std::make_unique<ProbeRepository>(good.count(location) > 0, paths, silent.count(location) > 0);
  }
  std::set<std::string> good, silent;
  std::vector<std::string> tested;
  std::vector<std::string> paths;
};

class RecordingHost : public StartupHost {
 public:
  void ShowSplash() override { steps += "splash "; }
  void HideSplash() override { steps += "hide "; }
  void SelfUpdate() override { steps += "self-update "; }
  void ShowMessage(int id) override { steps += std::to_string(id) + " "; }
  void ShowMessageWithDetail(int id, std::string_view detail) override {
    steps += std::to_string(id) + "[" + std::string(detail) + "] ";
  }
  std::string steps;
};

class RepositoryDialogTest : public ::testing::Test {
 protected:
  void Store(const std::string& remote_host) {
    settings_.Set(settings::kSection, settings::kRemoteHost, remote_host);
  }
  StandaloneOutcome Run(const std::string& command_line) {
    env_.emplace(InitEnvironment(system_, settings_, files_));
    return RunRepositoryDialog(ReadCommandText(command_line), *env_,
                               {view_, opener_, host_, settings_});
  }
  std::optional<std::string> Stored(std::string_view key) { return settings_.Get(settings::kSection, key); }

  testing::FakeSystemInfo system_;
  testing::FakeSettingsStore settings_;
  testing::FakeFileSystem files_;
  ScriptedOptions view_;
  FakeOpener opener_;
  RecordingHost host_;
  std::optional<Environment> env_;
};

TEST_F(RepositoryDialogTest, EmptyCommandLineWithARepositoryShowsNothingAndEnds) {
  Store("server/base");
  EXPECT_EQ(Run("  "), StandaloneOutcome::EndProgram);
  EXPECT_TRUE(view_.shown.empty());
  EXPECT_EQ(host_.steps, "");
}

TEST_F(RepositoryDialogTest, FirstStartAsksWithTheDefaultTestsStoresAndEnds) {
  opener_.good = {"server.example/tarnwick"};
  view_.answers = {{"http://server.example/tarnwick", false}};
  EXPECT_EQ(Run(""), StandaloneOutcome::EndProgram);
  ASSERT_EQ(view_.shown.size(), 1u);
  EXPECT_EQ(view_.shown[0].path, DefaultRepositoryURL());
  EXPECT_EQ(host_.steps, "splash hide 907 ");
  EXPECT_EQ(opener_.paths, std::vector<std::string>{"/TestServer.html"});
  EXPECT_EQ(Stored(settings::kRemoteHost), "server.example/tarnwick");
  EXPECT_EQ(env_->RemoteHost, "server.example/tarnwick");
  EXPECT_EQ(Stored(settings::kHide), "0");
}

TEST_F(RepositoryDialogTest, UnderAKeyATestPassesOnlyWithAnIndexTheProgramAcceptsAndAsksNoHead) {
  settings_.Set(settings::kSection, settings::kPublicKey, testing::PublicText(testing::TestKey(5)));
  opener_.good = {"good/base"};
  opener_.silent = {"silent"};
  view_.answers = {{"bad", false}, {"silent", false}, {"good/base", false}};
  EXPECT_EQ(Run("@m x"), StandaloneOutcome::ShowMainWindow);
  // Why each failed: the index's error, or the reason nothing answered.
  EXPECT_EQ(host_.steps, "splash hide 906[" + IndexErrorText(kIndexMissingError, "indice.ini") +
                             "] splash hide 906[" + ReadFaultText({ReadFaultKind::Refused, 0}) +
                             "] splash hide 907 ");
  EXPECT_EQ(opener_.paths, (std::vector<std::string>{"/indice.ini", "/indice.ini", "/indice.ini"}));
  EXPECT_EQ(env_->RemoteHost, "good/base");
  // In host mode, a damaged key setting refuses every repository.
  settings_.Set(settings::kSection, settings::kPublicKey, testing::PublicText(testing::TestKey(5)) + "x");
  host_.steps.clear();
  view_.answers = {{"good/base/", false}, {"", false}};
  EXPECT_EQ(Run("host"), StandaloneOutcome::EndProgram);
  EXPECT_EQ(host_.steps.substr(0, 15), "splash hide 906");
}

TEST_F(RepositoryDialogTest, SwitchesWithARepositoryGoStraightToTheMainWindow) {
  Store("server");
  EXPECT_EQ(Run("@m {ESEGUIBILI}\\Prog.exe"), StandaloneOutcome::ShowMainWindow);
  EXPECT_TRUE(view_.shown.empty());
}

TEST_F(RepositoryDialogTest, SwitchesWithoutARepositoryAskUntilATestSucceeds) {
  opener_.good = {"good/base"};
  view_.answers = {{"bad", false}, {"good/base", false}};
  EXPECT_EQ(Run("@m x"), StandaloneOutcome::ShowMainWindow);
  EXPECT_EQ(host_.steps, "splash hide 906 splash hide 907 ");
  EXPECT_EQ(opener_.tested, (std::vector<std::string>{"bad", "good/base"}));
  // The window opens again with the first suggestion, not the failed text.
  ASSERT_EQ(view_.shown.size(), 2u);
  EXPECT_EQ(view_.shown[1].path, view_.shown[0].path);
}

TEST_F(RepositoryDialogTest, CancellingEndsTheProgramWithoutAMessageEvenWithSwitches) {
  view_.answers = {{"", false}};
  EXPECT_EQ(Run("@m x"), StandaloneOutcome::EndProgram);
  EXPECT_EQ(host_.steps, "");
  EXPECT_FALSE(Stored(settings::kRemoteHost));
}

TEST_F(RepositoryDialogTest, HostModeAsksEveryTimeWithTheStoredAddressAndEndsAfterSuccess) {
  Store("old.server/base/");
  opener_.good = {"new.server"};
  view_.answers = {{"new.server", true}};
  EXPECT_EQ(Run("  hOsT "), StandaloneOutcome::EndProgram);
  ASSERT_EQ(view_.shown.size(), 1u);
  EXPECT_EQ(view_.shown[0].path, "http://old.server/base");
  EXPECT_EQ(host_.steps, "splash hide 907 ");
  EXPECT_EQ(Stored(settings::kRemoteHost), "new.server");
  EXPECT_EQ(Stored(settings::kHide), "1");
}

TEST_F(RepositoryDialogTest, HostModeLeavesTheStoredAddressAloneOnCancelAndFailures) {
  Store("old.server");
  view_.answers = {{"bad", false}, {"worse", false}, {"", false}};
  EXPECT_EQ(Run("HOST"), StandaloneOutcome::EndProgram);
  EXPECT_EQ(host_.steps, "splash hide 906 splash hide 906 ");
  EXPECT_EQ(Stored(settings::kRemoteHost), "old.server");
}

TEST_F(RepositoryDialogTest, HostFollowedByAnotherWordIsNoHostMode) {
  Store("server");
  EXPECT_EQ(Run("host @m"), StandaloneOutcome::ShowMainWindow);
  EXPECT_TRUE(view_.shown.empty());
}

TEST_F(RepositoryDialogTest, BlanksOnlyAreTestedOutsideHostModeAndEndHostMode) {
  view_.answers = {{"   ", false}};
  EXPECT_EQ(Run(""), StandaloneOutcome::EndProgram);
  EXPECT_EQ(opener_.tested, std::vector<std::string>{""});
  EXPECT_EQ(host_.steps, "splash hide 906 ");
  EXPECT_EQ(view_.shown.size(), 2u);

  RecordingHost host;
  ScriptedOptions view;
  view.answers = {{"   ", false}};
  Environment env = InitEnvironment(system_, settings_, files_);
  EXPECT_EQ(RunRepositoryDialog(ReadCommandText("host"), env, {view, opener_, host, settings_}),
            StandaloneOutcome::EndProgram);
  EXPECT_EQ(host.steps, "");
}

TEST_F(RepositoryDialogTest, TypedAddressesLoseSchemesCapitalsAndBlanksButKeepATrailingSlash) {
  EXPECT_EQ(CleanTypedAddress("HTTP://Server.Example/Base/Tarnwick"), "server.example/base/tarnwick");
  EXPECT_EQ(CleanTypedAddress("server/http://a/HTTP://b"), "server/a/b");
  EXPECT_EQ(CleanTypedAddress("FTP://server/base"), "server/base");
  EXPECT_EQ(CleanTypedAddress("  http://server/base/ "), "server/base/");
  EXPECT_EQ(CleanTypedAddress("   "), "");

  opener_.good = {"server/base/"};
  view_.answers = {{"Http://SERVER/Base/", false}};
  Run("@m x");
  EXPECT_EQ(Stored(settings::kRemoteHost), "server/base/");
  // The rest of this run reads the location as the next start will: the
  // whole suite's document is "/base.ini", not "/base/.ini".
  EXPECT_EQ(env_->RemoteHost, "server/base");
}

TEST_F(RepositoryDialogTest, AnAddressTypedWithHttpsKeepsItsSchemeAndIsSuggestedWithIt) {
  EXPECT_EQ(CleanTypedAddress(" HTTPS://Server.Example/Base "), "https://server.example/base");
  EXPECT_EQ(CleanTypedAddress("https://server/http://a"), "https://server/a");
  EXPECT_EQ(CleanTypedAddress("https://[::1]:8443/base"), "https://[::1]:8443/base");

  opener_.good = {"https://server/base"};
  view_.answers = {{"HTTPS://Server/Base", false}};
  Run("");
  EXPECT_EQ(Stored(settings::kRemoteHost), "https://server/base");

  Store("https://server/base");
  view_.answers = {{"", false}};
  Run("host");
  EXPECT_EQ(view_.shown.back().path, "https://server/base");
}

TEST_F(RepositoryDialogTest, TheHideBoxIsStoredWhicheverButtonClosedTheWindow) {
  settings_.Set(settings::kSection, settings::kHide, "1");
  view_.answers = {{"", false}};
  Run("");
  ASSERT_EQ(view_.shown.size(), 1u);
  EXPECT_TRUE(view_.shown[0].hide);
  EXPECT_EQ(Stored(settings::kHide), "0");
  EXPECT_FALSE(env_->HideSetting);
}

TEST_F(RepositoryDialogTest, AFailedSettingsWriteDoesNotStopTheDialog) {
  settings_.fail_writes = true;
  opener_.good = {"server"};
  view_.answers = {{"server", true}};
  EXPECT_EQ(Run("@m x"), StandaloneOutcome::ShowMainWindow);
  EXPECT_EQ(env_->RemoteHost, "server");
}

TEST_F(RepositoryDialogTest, WithoutADisplayANeededWindowEndsWithAMessageInsteadOfWaiting) {
  view_.display = false;
  EXPECT_EQ(Run(""), StandaloneOutcome::NoDisplay);
  EXPECT_EQ(host_.steps, "905 ");
  EXPECT_TRUE(view_.shown.empty());

  // No window needed: a configured repository and switches go on.
  Store("server");
  RecordingHost host;
  Environment env = InitEnvironment(system_, settings_, files_);
  EXPECT_EQ(RunRepositoryDialog(ReadCommandText("@m x"), env, {view_, opener_, host, settings_}),
            StandaloneOutcome::ShowMainWindow);
  EXPECT_EQ(host.steps, "");
}

TEST(StartupFacts, DisplaysVersionAndDefaultRepository) {
  EXPECT_FALSE(WidgetDisplayAvailable(nullptr, nullptr, nullptr));
  EXPECT_FALSE(WidgetDisplayAvailable("", "", ""));
  EXPECT_TRUE(WidgetDisplayAvailable(":0", nullptr, nullptr));
  EXPECT_TRUE(WidgetDisplayAvailable(nullptr, "wayland-0", nullptr));
  EXPECT_TRUE(WidgetDisplayAvailable(nullptr, nullptr, "offscreen"));

  const std::string url = DefaultRepositoryURL();
  EXPECT_EQ(url.rfind("http://", 0), 0u);
  EXPECT_EQ(url.substr(url.size() - 9), "/tarnwick");

  EXPECT_EQ(VersionText(),
            "Tarnwick 2.07\nVELMORA - Motore di aggiornamento dei programmi installati\n"
            "Velmora s.r.l.\nDeve risiedere nella cartella degli Eseguibili e non in una sua "
            "sottodirectory\n");
}

}  // namespace
}  // namespace tw
