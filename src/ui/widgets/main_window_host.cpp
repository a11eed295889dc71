#include "ui/widgets/main_window_host.h"

#include <cstdlib>
#include <iostream>

#include "engine/engine_context.h"
#include "engine/engine_log.h"
#include "platform/log_file.h"
#include "startup/environment.h"
#include "startup/switches.h"
#include "ui/console_main_view.h"
#include "ui/engine_module_installer.h"
#include "ui/widgets/event_loop_launcher.h"
#include "ui/widgets/form_main.h"
#include "ui/main_window_controller.h"
#include "ui/run_log.h"

namespace tw {
namespace {

// The engine as the main window uses it: the same collaborators, with
// program waits that keep the event loop running.
struct WindowEngine {
  WindowEngine(EngineContext& ctx, LogDisk* log_disk)
      : launcher(ctx.processes),
        log_file(log_disk ? std::make_unique<LogFile>(*log_disk, LogFilePath(&std::getenv)) : nullptr),
        run_log(log_file.get(), &std::cerr, StandardErrorIsJournal(&std::getenv)),
        engine_log(log_file.get(), SystemClock().local_now, &std::cerr, StandardErrorIsJournal(&std::getenv)),
        ctx{ctx.paths, ctx.repository, ctx.files, ctx.settings, ctx.system, ctx.catalogue, launcher,
            ctx.executable_suffix, &engine_log},
        installer(this->ctx) {}
  EventLoopLauncher launcher;
  std::unique_ptr<LogFile> log_file;
  RunLog run_log;
  // The self-update's lines, which the window does not show.
  EngineLog engine_log;
  EngineContext ctx;
  EngineModuleInstaller installer;
};

MainWindowCollaborators Collaborators(WindowEngine& engine) {
  return {engine.ctx.catalogue, engine.ctx.paths, engine.ctx.settings, engine.installer, SystemClock(),
          &engine.run_log};
}

class WindowSession : public MainWindowSession {
 public:
  explicit WindowSession(const MainWindowStart& start)
      : engine_(start.ctx, start.log_disk),
        form_(start.ctx.settings, start.splash, start.busy),
        controller_(ReadMainWindowSwitches(start.command_line), Collaborators(engine_), form_) {
    form_.Attach(controller_);
  }
  int ExitStatus() const override { return controller_.ExitStatus(); }
  FormMain& Form() { return form_; }

 private:
  WindowEngine engine_;
  FormMain form_;
  MainWindowController controller_;
};

}  // namespace

MainWindowShown ShowMainWindow(const MainWindowStart& start) {
  if (!start.display) {
    WindowEngine engine(start.ctx, start.log_disk);
    // Without a display every start writes its log to standard error.
    engine.run_log.EchoToStandardError();
    ConsoleMainView view(std::cerr, false);
    MainWindowController controller(ReadMainWindowSwitches(start.command_line), Collaborators(engine), view);
    const int status = RunWithoutDisplay(controller, std::cerr);
    return {status == 2 ? MainWindowOutcome::NoDisplay : MainWindowOutcome::Done, status, nullptr};
  }
  auto session = std::make_unique<WindowSession>(start);
  if (!session->Form().Load()) return {MainWindowOutcome::Done, session->ExitStatus(), nullptr};
  session->Form().show();
  return {MainWindowOutcome::Open, 0, std::move(session)};
}

}  // namespace tw
