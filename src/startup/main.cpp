// The program's entry: its own options, the platform objects, and the
// start-up sequence; in automation mode it then serves Global on the
// session bus.
#include <QApplication>
#include <QCoreApplication>
#include <QDBusConnection>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "catalogue/catalogue.h"
#include "engine/automation_registration.h"
#include "engine/automation_server.h"
#include "engine/engine_context.h"
#include "engine/global.h"
#include "engine/self_update.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_process_launcher.h"
#include "platform/posix/posix_system_info.h"
#include "platform/qt/qt_settings_store.h"
#include "resources/string_table.h"
#include "resources/version_info.h"
#include "startup/application_identity.h"
#include "startup/environment.h"
#include "startup/main_sequence.h"
#include "startup/standalone_main.h"
#include "transport/http_transport.h"
#include "ui/message_box.h"

namespace {

bool DisplayAvailable() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

// How long the automation server waits for a further call before it ends.
std::chrono::milliseconds AutomationIdleLimit() {
  const char* text = std::getenv("TARNWICK_AUTOMATION_IDLE_MS");
  const long value = text ? std::strtol(text, nullptr, 10) : 0;
  return std::chrono::milliseconds(value > 0 ? value : 30000);
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
    if (arg == "--regserver") return tw::RegisterAutomationServer(executable) ? 0 : 1;
    if (arg == "--unregserver") return tw::UnregisterAutomationServer() ? 0 : 1;
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

  tw::PosixSystemInfo system(command_line, executable, mode);
  tw::QtSettingsStore settings;
  tw::PosixFileSystem files;
  tw::PosixProcessLauncher launcher;
  const tw::Environment env = tw::InitEnvironment(system, settings, files);
  tw::HttpTransport transport(env.RemoteHost, env.TimeZoneBias);
  tw::Catalogue catalogue({env.Paths, transport, files, settings, system});
  tw::EngineContext ctx{env.Paths, transport, files, settings, system, catalogue, launcher, ""};

  ProgramHost host(ctx, display);
  switch (tw::RunStartup(env, mode, host)) {
    case tw::StartupResult::EndProcessNow: return 1;
    case tw::StartupResult::Finished: return 0;
    case tw::StartupResult::ServeAutomation: break;
  }
  tw::Global global(ctx);
  tw::AutomationServer server(global, AutomationIdleLimit());
  if (!server.Publish(QDBusConnection::sessionBus())) {
    std::fprintf(stderr, "Tarnwick: servizio di automazione non disponibile sul bus di sessione\n");
    return 1;
  }
  return app->exec();
}
