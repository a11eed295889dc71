#include "app/automation_mode.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "automation/automation_server.h"
#include "engine/global.h"
#include "startup/main_sequence.h"

namespace tw {
namespace {

// How long the server waits for a further call before it ends.
std::chrono::milliseconds AutomationIdleLimit() {
  const char* text = std::getenv("TARNWICK_AUTOMATION_IDLE_MS");
  const long value = text ? std::strtol(text, nullptr, 10) : 0;
  return std::chrono::milliseconds(value > 0 ? value : 30000);
}

// The program's own start-up steps, with the bus name taken before them.
class AutomationStartHost : public StartupHost {
 public:
  AutomationStartHost(StartupHost& program, AutomationServer& server)
      : program_(program), server_(server) {}
  void ShowSplash() override { program_.ShowSplash(); }
  void HideSplash() override { program_.HideSplash(); }
  void SelfUpdate() override { program_.SelfUpdate(); }
  void ShowMessage(int id) override { program_.ShowMessage(id); }
  bool StartServing() override {
    if (server_.Publish(QDBusConnection::sessionBus())) return true;
    std::fprintf(stderr, "Tarnwick: servizio di automazione non disponibile sul bus di sessione\n");
    return false;
  }

 private:
  StartupHost& program_;
  AutomationServer& server_;
};

}  // namespace

int RunAutomationMode(const Environment& env, EngineContext& ctx, StartupHost& program) {
  Global global(ctx);
  AutomationServer server(global, AutomationIdleLimit());
  AutomationStartHost host(program, server);
  if (RunStartup(env, StartMode::Automation, host) != StartupResult::ServeAutomation) return 1;
  server.Open();
  return QCoreApplication::exec();
}

}  // namespace tw
