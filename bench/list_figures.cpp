// The module list filled from the catalogue walk against the walk alone:
// once without widgets ("list") and once in the real main window on the
// offscreen platform ("window"). Both children build the window's side of
// the program the same way; only the view differs.
#include <QCoreApplication>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "bench_suite.h"
#include "bench_support.h"
#include "figures.h"
#include "support/temp_dir.h"
#include "ui/column_widths.h"
#include "ui/console_main_view.h"
#include "ui/engine_module_installer.h"
#include "ui/main_window_controller.h"
#include "ui/widgets/form_main.h"
#include "ui/widgets/module_list_widget.h"
#include "ui/widgets/window_services.h"

namespace tw::bench {
namespace {

// The main window without widgets: a ConsoleMainView, whose log and
// questions (answered No) go nowhere here, that keeps its rows and sizes
// its columns as the real list does, with a character as the unit: each
// cell measured once as it comes or changes, the widths kept by
// ColumnWidths, and the events let through after each row.
class MeasuringView : public ConsoleMainView {
 public:
  MeasuringView() : ConsoleMainView(nowhere_) {}
  void AddRow(const ModuleRow& row) override {
    rows.push_back(row);
    const int cells[] = {static_cast<int>(row.text.size()), static_cast<int>(row.client_version.size()),
                         static_cast<int>(row.remote_version.size()), static_cast<int>(row.status.size())};
    widths.AddRow(cells);
  }
  void SetRowStatus(size_t row, std::string_view status) override {
    widths.SetCell(row, 3, static_cast<int>(status.size()));
  }
  void AutoSizeColumns() override {
    for (size_t c = 0; c < widths.Columns(); ++c) applied[c] = widths.Width(c);
  }
  void ProcessEvents() override { QCoreApplication::processEvents(); }

  std::vector<ModuleRow> rows;
  ColumnWidths widths{std::vector<int>{6, 6, 13, 5}};
  int applied[4] = {};

 private:
  std::ostream nowhere_{nullptr};  // no buffer: everything written is dropped
};

// The window's side of the program over the client's engine, as the
// program builds it: the installer and the controller over `view`.
struct ListSide {
  ListSide(SuiteClient& client, MainWindowView& view)
      : client(client),
        installer(client.engine.ctx),
        controller({}, {client.engine.catalogue, client.engine.paths, client.engine.settings, installer, SystemClock()},
                   view) {}

  // The seconds of the list filled from the walk ("fill") or of the walk
  // alone (else), `settle` included when given.
  double Time(const std::string& what, const std::function<void()>& settle = {}) {
    return Seconds([&] {
      if (what == "fill") controller.FillModuleList("");
      else client.engine.catalogue.CollectUpdates(updates, "");
      if (settle) settle();
    });
  }

  SuiteClient& client;
  EngineModuleInstaller installer;
  MainWindowController controller;
  UpdateDictionary updates;  // the walk's offers when walking alone
};

// The list filled from the walk against the walk alone, each in a child
// process `child` ("list-child" or "window-child").
void FillAgainstWalk(int repeats, const std::string& self, const std::string& child, const std::string& figure,
                     const std::string& peak_target) {
  testing::NginxServer nginx;
  testing::TempDir suite;
  PublishSuite(nginx, "/suite", suite.path());
  const std::string location = nginx.Location("/suite");
  long peak = 0;
  Sample ours, baseline;
  MeasurePair(
      repeats, [&] { return ChildSeconds(self, {child, location, suite.path(), "fill"}, peak); },
      [&] { return RunChild(self, {child, location, suite.path(), "walk"}).seconds; }, ours, baseline);
  Report(figure, ours, baseline, 1.5, "peak " + std::to_string(peak / 1024) + " MiB" + peak_target);
}

}  // namespace

// In a child process: the list without widgets filled from the walk
// ("fill"), or the walk alone ("walk"), printing its seconds.
int ListChild(const std::string& location, const std::string& root, const std::string& what) {
  SuiteClient client(location, root);
  MeasuringView view;
  ListSide list(client, view);
  PrintSeconds(list.Time(what));
  return list.updates.Count() + view.rows.size() > 0 ? 0 : 1;
}

// In a child process with a display (offscreen): the shown main window's
// list filled from the walk ("fill"), or the walk alone beside the same
// shown window ("walk"), printing its seconds.
int WindowChild(const std::string& location, const std::string& root, const std::string& what) {
  SuiteClient client(location, root);
  SplashService splash;
  BusyPointers busy;
  FormMain form(client.engine.settings, splash, busy);
  ListSide list(client, form);
  // Attached once the show's own activation has come and gone: the list is
  // to be filled by the measured call, not by a refresh before it.
  form.show();
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
  form.Attach(list.controller);
  // What is left to paint counts too.
  PrintSeconds(list.Time(what, [] { QCoreApplication::processEvents(); }));
  const int rows = form.LVModules() ? static_cast<int>(form.LVModules()->model()->rowCount()) : 0;
  return list.updates.Count() + static_cast<size_t>(rows) > 0 ? 0 : 1;
}

void List(int repeats, const std::string& self) {
  FillAgainstWalk(repeats, self, "list-child", "Module list: 1,000 modules, no widgets", "");
}

void Window(int repeats, const std::string& self) {
  FillAgainstWalk(repeats, self, "window-child", "Main window list: 1,000 modules, real widgets",
                  " (target < 100 MiB)");
}

}  // namespace tw::bench
