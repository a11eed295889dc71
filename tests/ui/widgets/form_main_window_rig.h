// The main window over a real suite folder and a real nginx repository,
// with the engine, the splash and the controller wired as the program
// wires them; and a person who answers the message boxes.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utime.h>
#include <vector>

#include "catalogue/catalogue.h"
#include "trust/trust_policy.h"
#include "catalogue/path_mapping.h"
#include "catalogue/placeholders.h"
#include "engine/engine_context.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_process_launcher.h"
#include "startup/switches.h"
#include "support/fake_settings_store.h"
#include "support/fake_system_info.h"
#include "support/nginx_server.h"
#include "support/temp_dir.h"
#include "transport/network/http_transport.h"
#include "ui/engine_module_installer.h"
#include "ui/widgets/event_loop_launcher.h"
#include "ui/widgets/form_main.h"
#include "ui/main_window_controller.h"
#include "ui/widgets/window_services.h"

namespace tw::testing {

inline constexpr long long kJan2021 = 1609502400;  // 2021-01-01 12:00:00 UTC
inline constexpr long long kJan2015 = 1420113600;

// Answers each message box as it comes: the answer given for its number
// (by button text), else its first button. Records "<number>: <text>".
class Person : public QObject {
 public:
  Person() {
    connect(&timer_, &QTimer::timeout, this, [this] { Look(); });
    timer_.start(20);
  }
  std::map<int, QString> answers;
  std::vector<std::string> seen;
  // Called on every look while no message box is up.
  std::function<void()> meanwhile;

 private:
  void Look() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) {
      if (meanwhile) meanwhile();
      return;
    }
    const int id = box->objectName().mid(7).toInt();
    seen.push_back(std::to_string(id) + ": " + box->text().toStdString());
    QAbstractButton* chosen = box->buttons().first();
    for (QAbstractButton* button : box->buttons())
      if (answers.count(id) && button->text() == answers[id]) chosen = button;
    // Buttons in the order the box lays them out may differ: look them up
    // by text for the default as well.
    if (!answers.count(id)) {
      for (QAbstractButton* button : box->buttons())
        if (button->text() == "OK" || button->text() == "Sì") chosen = button;
    }
    chosen->click();
  }
  QTimer timer_;
};

// Where the catalogue comes from when it is not the shared nginx, and the
// bounds its requests wait within.
struct RigRepository {
  std::string location;
  SessionLimits session;
  TransferLimits transfer;
};

class WindowRig {
 public:
  // `download` serves the module files when given; the catalogue comes
  // from nginx unless `elsewhere` names another server.
  explicit WindowRig(const std::string& base, MainWindowSwitches switches = {},
                     Repository* download = nullptr, std::optional<RigRepository> elsewhere = std::nullopt)
      : root_(dir_ / "Suite"),
        paths_(MakePlaceholderTable({root_, root_ + "/PC", root_ + "/System", root_ + "/Fonts", root_ + "/Win"}, '/'),
               "pc1", '/'),
        transport_(elsewhere ? elsewhere->location : NginxServer::Shared().Location(base), 0,
                   elsewhere ? elsewhere->session : SessionLimits{}, elsewhere ? elsewhere->transfer : TransferLimits{}),
        catalogue_({paths_, transport_, files_, settings_, system_, trust_}),
        launcher_(posix_launcher_),
        ctx_{paths_, download ? *download : transport_, files_, settings_, system_, catalogue_, launcher_, ""},
        installer_(ctx_),
        form_(settings_, splash_, busy_),
        controller_(std::move(switches), {catalogue_, paths_, settings_, installer_, SystemClock()}, form_) {
    system_.current_bias = 0;
    std::filesystem::create_directories(root_ + "/Eseguibili");
    std::filesystem::create_directories(root_ + "/Dati");
    form_.Attach(controller_);
  }

  std::string Local(const std::string& relative) const { return root_ + "/" + relative; }
  void PutLocal(const std::string& relative, const std::string& content, long long mtime = kJan2015) {
    WriteTextFile(Local(relative), content);
    utimbuf times{static_cast<time_t>(mtime), static_cast<time_t>(mtime)};
    ::utime(Local(relative).c_str(), &times);
  }

  FormMain& form() { return form_; }
  MainWindowController& controller() { return controller_; }
  FakeSettingsStore& settings() { return settings_; }
  SplashService& splash() { return splash_; }

 private:
  TempDir dir_;
  std::string root_;
  PathMapping paths_;
  PosixFileSystem files_;
  FakeSettingsStore settings_;
  FakeSystemInfo system_;
  HttpTransport transport_;
  TrustPolicy trust_;  // no keys: the repository is not signed
  Catalogue catalogue_;
  PosixProcessLauncher posix_launcher_;
  EventLoopLauncher launcher_;
  EngineContext ctx_;
  EngineModuleInstaller installer_;
  SplashService splash_;
  BusyPointers busy_;
  FormMain form_;
  MainWindowController controller_;
};

}  // namespace tw::testing
