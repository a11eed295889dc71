// The program's entry: its own options, the platform objects, and the
// start-up sequence; automation mode goes on in automation_mode.cpp.
#include <QApplication>
#include <QCoreApplication>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

#include "catalogue/catalogue.h"
#include "engine/automation_registration.h"
#include "engine/engine_context.h"
#include "engine/engine_log.h"
#include "engine/self_update.h"
#include "platform/log_file.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_log_disk.h"
#include "platform/posix/posix_process_launcher.h"
#include "platform/posix/posix_system_info.h"
#include "platform/qt/qt_settings_store.h"
#include "resources/string_table.h"
#include "resources/version_info.h"
#include "standalone/application_identity.h"
#include "app/automation_mode.h"
#include "startup/environment.h"
#include "startup/help_text.h"
#include "startup/main_sequence.h"
#include "standalone/standalone_main.h"
#include "transport/network/http_transport.h"
#include "ui/activity_log.h"
#include "ui/widgets/event_loop_launcher.h"
#include "ui/widgets/message_box.h"

namespace {

bool DisplayAvailable() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

class ProgramHost : public tw::StartupHost {
 public:
  ProgramHost(tw::EngineContext& ctx, bool display) : ctx_(ctx), display_(display) {}
  // The splash window comes with the windows of the standalone mode.
  void ShowSplash() override {}
  void HideSplash() override {}
  void SelfUpdate() override { tw::SelfUpdate(ctx_); }
  void ShowMessage(int id) override {
    const std::string_view text = tw::LoadResString(id);
    std::fprintf(stderr, "%s: %.*s\n", tw::kProgramTitle.data(), static_cast<int>(text.size()), text.data());
    if (display_) tw::ShowMessageBox(text, tw::IconOfMessage(id));
  }

 private:
  tw::EngineContext& ctx_;
  bool display_;
};

}  // namespace

int main(int argc, char** argv) {
  const std::string executable = tw::PosixSystemInfo::RunningExecutablePath();
  tw::StartMode mode = tw::StartMode::Standalone;
  std::string command_line;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--version") {
      std::fputs(tw::VersionText().c_str(), stdout);
      return 0;
    }
    if (arg == "--help") {
      std::fputs(tw::HelpText().c_str(), stdout);
      return 0;
    }
    if (arg == "--regserver" || arg == "--unregserver") {
      tw::PosixSystemInfo system({}, executable, tw::StartMode::Standalone);
      const bool done = arg == "--regserver" ? tw::RegisterAutomationServer(system, executable)
                                             : tw::UnregisterAutomationServer(system);
      return done ? 0 : 1;
    }
    if (arg == "--automation") {
      mode = tw::StartMode::Automation;
      continue;
    }
    if (!command_line.empty()) command_line += ' ';
    command_line += arg;
  }

  tw::SetApplicationIdentity();
  if (mode == tw::StartMode::Standalone)
    return tw::StandaloneMain(argc, argv, command_line, executable);

  const bool display = DisplayAvailable();
  std::unique_ptr<QCoreApplication> app;
  if (display) app = std::make_unique<QApplication>(argc, argv);
  else app = std::make_unique<QCoreApplication>(argc, argv);
  // Qt hands the C library the user's locale; numbers in settings and
  // documents are read the same everywhere.
  std::setlocale(LC_NUMERIC, "C");

  tw::PosixSystemInfo system(command_line, executable, mode);
  tw::QtSettingsStore settings;
  tw::PosixFileSystem files;
  tw::PosixProcessLauncher processes;
  // Post-setup programs are waited for with the event loop running, so the
  // bus's calls keep arriving while one runs: a program of the suite that
  // asks the server something is answered instead of waiting on it.
  tw::EventLoopLauncher launcher(processes);
  const tw::Environment env = tw::InitEnvironment(system, settings, files);
  tw::HttpTransport transport(env.RemoteHost, env.TimeZoneBias);
  tw::Catalogue catalogue({env.Paths, transport, files, settings, system, env.Trust});
  // Nobody watches the calls: what they report goes to the administrators'
  // log and to standard error.
  tw::PosixLogDisk log_disk;
  tw::LogFile log_file(log_disk, tw::LogFilePath(&std::getenv));
  tw::EngineLog log(&log_file, tw::SystemClock().local_now, &std::cerr, tw::StandardErrorIsJournal(&std::getenv));
  tw::HearCatalogue(catalogue, log);
  tw::EngineContext ctx{env.Paths, transport, files, settings, system, catalogue, launcher, "", &log};

  ProgramHost host(ctx, display);
  return tw::RunAutomationMode(env, ctx, host);
}
