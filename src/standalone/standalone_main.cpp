#include "standalone/standalone_main.h"

#include <QApplication>
#include <clocale>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>

#include "catalogue/catalogue.h"
#include "engine/engine_context.h"
#include "engine/engine_log.h"
#include "platform/log_file.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_log_disk.h"
#include "platform/posix/posix_process_launcher.h"
#include "platform/posix/posix_system_info.h"
#include "platform/qt/qt_settings_store.h"
#include "standalone/application_identity.h"
#include "startup/display.h"
#include "startup/environment.h"
#include "startup/main_sequence.h"
#include "startup/repository_dialog.h"
#include "transport/network/http_transport.h"
#include "ui/activity_log.h"
#include "ui/widgets/main_window_host.h"
#include "ui/widgets/program_icon.h"
#include "ui/widgets/startup_windows.h"
#include "ui/widgets/window_services.h"

namespace tw {
namespace {

// Everything the engine works with, for one repository location.
struct Engine {
  Engine(const Environment& env, SettingsStore& settings, SystemInfo& system, FileSystem& files,
         ProcessLauncher& launcher)
      : transport(env.RemoteHost, env.TimeZoneBias),
        catalogue({env.Paths, transport, files, settings, system, env.Trust}),
        ctx{env.Paths, transport, files, settings, system, catalogue, launcher, ""} {}
  HttpTransport transport;
  Catalogue catalogue;
  EngineContext ctx;
};

}  // namespace

int StandaloneMain(int& argc, char** argv, const std::string& command_line,
                   const std::string& executable) {
  const bool display = WidgetDisplayAvailable(std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY"),
                                              std::getenv("QT_QPA_PLATFORM"));
  std::unique_ptr<QCoreApplication> app;
  if (display) app = std::make_unique<QApplication>(argc, argv);
  else app = std::make_unique<QCoreApplication>(argc, argv);
  // Qt takes the C library's number format from the user's locale; the
  // logic reads and writes numbers in the C format.
  std::setlocale(LC_NUMERIC, "C");
  SetApplicationIdentity();
  if (display) QApplication::setWindowIcon(ProgramIcon());
  return RunStandalone(command_line, executable, display);
}

int RunStandalone(const std::string& command_line, const std::string& executable, bool display) {
  PosixSystemInfo system(command_line, executable, StartMode::Standalone);
  QtSettingsStore settings;
  PosixFileSystem files;
  PosixProcessLauncher launcher;
  Environment env = InitEnvironment(system, settings, files);
  SplashService splash;

  Engine startup_engine(env, settings, system, files, launcher);
  const std::string startup_location = env.RemoteHost;
  // The self-update at start leaves its lines in the administrators' log.
  PosixLogDisk log_disk;
  LogFile log_file(log_disk, LogFilePath(&std::getenv));
  EngineLog startup_log(&log_file, SystemClock().local_now, &std::cerr, StandardErrorIsJournal(&std::getenv));
  HearCatalogue(startup_engine.catalogue, startup_log);
  startup_engine.ctx.log = &startup_log;
  StandaloneHost host(startup_engine.ctx, splash, display);
  RunStartup(env, StartMode::Standalone, host);

  FormOptionsView view(display);
  HttpRepositoryOpener opener(env.TimeZoneBias);
  const CommandText command = ReadCommandText(command_line);
  switch (RunRepositoryDialog(command, env, {view, opener, host, settings})) {
    case StandaloneOutcome::NoDisplay: return 1;
    case StandaloneOutcome::EndProgram: return 0;
    case StandaloneOutcome::ShowMainWindow: break;
  }
  // The dialog may have settled on another repository than the stored one.
  // For the same one the window goes on with the start's engine, whose
  // index (asked for the self-update a moment ago) serves its first walk:
  // a start where nothing changed costs one request.
  std::optional<Engine> other;
  if (env.RemoteHost != startup_location) other.emplace(env, settings, system, files, launcher);
  Engine& engine = other ? *other : startup_engine;
  // The window keeps its own log of what the engine says.
  engine.ctx.log = nullptr;
  engine.catalogue.SetRefusalListener({});
  BusyPointers busy;
  const MainWindowStart start{engine.ctx, env, command.text, splash, busy, display, &log_disk};
  MainWindowShown shown = ShowMainWindow(start);
  if (shown.outcome != MainWindowOutcome::Open) return shown.exit_status;
  QCoreApplication::exec();
  // The window's verdict: 1 when a module could not be put in place.
  return shown.session->ExitStatus();
}

}  // namespace tw
