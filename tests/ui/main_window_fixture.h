// The main window's controller over the engine's in-memory platform, a
// fake window and an installer whose transfers and waits a test can step
// into, as the event loop would let a click in.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/engine_fixture.h"
#include "support/fake_main_window_view.h"
#include "ui/engine_module_installer.h"
#include "ui/main_window_controller.h"

namespace tw::testing {

// The window's switches as the launcher writes them.
inline MainWindowSwitches Switches(std::string_view command_line) { return ReadMainWindowSwitches(command_line); }

inline const DateValue kNow = DateValue::FromCalendar(2026, 12, 8, 9, 5, 7);

class SteppingInstaller : public ModuleInstaller {
 public:
  explicit SteppingInstaller(EngineContext& ctx) : engine_(ctx) {}

  std::string RepositoryURL() override { return engine_.RepositoryURL(); }
  void SelfUpdate() override {
    ++self_updates;
    engine_.SelfUpdate();
  }
  DownloadOutcome Download(std::string_view remote_path, std::string_view local_path,
                           const DownloadProgress& progress, const std::atomic<bool>& cancel) override {
    downloads.emplace_back(local_path);
    if (during_download) during_download(progress);
    // A transfer that streams stops at the cancel and leaves nothing behind.
    if (cancel) return {DownloadStatus::Cancelled, {}, {}};
    return engine_.Download(remote_path, local_path, progress, cancel);
  }
  ReplaceOutcome Replace(std::string_view local_path, DateValue last_modified) override {
    return engine_.Replace(local_path, last_modified);
  }
  void Discard(std::string_view local_path) override { engine_.Discard(local_path); }
  void Register(std::string_view local_path, std::string_view kind) override {
    engine_.Register(local_path, kind);
  }
  void RunAndWait(std::string_view command_line) override {
    engine_.RunAndWait(command_line);
    if (during_wait) during_wait();
  }
  void ShellOpen(std::string_view program, std::string_view arguments) override {
    engine_.ShellOpen(program, arguments);
  }

  std::function<void(const DownloadProgress&)> during_download;
  std::function<void()> during_wait;
  std::vector<std::string> downloads;
  int self_updates = 0;

 private:
  EngineModuleInstaller engine_;
};

class MainWindowTest : public ::testing::Test {
 protected:
  static constexpr const char* kFolder = "/opt/suite/Eseguibili/";

  MainWindowTest() : installer_(f_.ctx) { f_.repo.PutDocument("", ""); }

  MainWindowController& Start(MainWindowSwitches switches = {}) {
    Clock clock{[] { return kNow; }, [this] { return steady_; }};
    controller_ = std::make_unique<MainWindowController>(
        std::move(switches), MainWindowCollaborators{f_.catalogue, f_.paths, f_.settings, installer_, clock},
        view_);
    return *controller_;
  }
  // Loaded and activated: the window as the user first sees it.
  MainWindowController& Open(MainWindowSwitches switches = {}) {
    MainWindowController& c = Start(std::move(switches));
    EXPECT_EQ(c.Load(), LoadOutcome::ShowWindow);
    c.Activated();
    return c;
  }

  // A module of the executables folder, newer in the repository, listed in
  // the suite's document; `sections` follow its [Release] version line.
  void Module(const std::string& name, const std::string& sections = "") {
    std::string lower = name;
    for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    f_.repo.Publish("/eseguibili/" + lower, "[Release]\nVersion=2.0\n" + sections, kNew);
    suite_ += std::to_string(++modules_) + "={ESEGUIBILI}\\" + name + "\n";
    f_.repo.PutDocument("", suite_);
  }
  // The module installed here in an older version: it will be updated.
  void Installed(const std::string& name) {
    f_.files.AddFile(kFolder + name, "vecchio", kOld.ToUnixSeconds(), "1.0.0.0");
  }

  std::vector<std::string> Statuses() const {
    std::vector<std::string> statuses;
    for (const auto& row : view_.rows) statuses.push_back(row.status);
    return statuses;
  }
  // The programs waited for, by their first word.
  std::vector<std::string> Waited() const {
    std::vector<std::string> programs;
    for (const auto& call : f_.launcher.calls)
      if (call.kind == "wait") programs.push_back(call.argv.at(0));
    return programs;
  }

  EngineFixture f_;
  FakeMainWindowView view_;
  SteppingInstaller installer_;
  std::chrono::steady_clock::time_point steady_{};
  std::unique_ptr<MainWindowController> controller_;
  std::string suite_ = "[Setup]\n";
  int modules_ = 0;
};

using Lines = std::vector<std::string>;

}  // namespace tw::testing
