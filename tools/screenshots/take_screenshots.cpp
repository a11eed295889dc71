// Draws the program's windows on Qt's offscreen platform and writes them as
// PNG files into the folder given as argument:
//   take_screenshots docs/screenshots
// The main window is shown as a run leaves it at three moments: listed,
// downloading, finished with its log.
#include <QApplication>
#include <QDir>
#include <cstdio>
#include <map>
#include <string>

#include "platform/settings_store.h"
#include "resources/string_table.h"
#include "ui/activity_log.h"
#include "ui/form_main.h"
#include "ui/form_options.h"
#include "ui/form_splash.h"
#include "ui/main_window_controller.h"
#include "ui/program_icon.h"
#include "ui/window_services.h"

namespace {

class MemorySettings : public tw::SettingsStore {
 public:
  std::string Read(std::string_view, std::string_view, std::string_view, std::string_view fallback) override {
    return std::string(fallback);
  }
  bool Write(std::string_view, std::string_view, std::string_view, std::string_view) override { return true; }
  bool Delete(std::string_view, std::string_view, std::string_view) override { return true; }
};

std::string Text(int id) { return std::string(tw::LoadResString(id)); }

void Listed(tw::FormMain& form) {
  for (int c = 0; c < 4; ++c) form.SetColumnCaption(c, tw::CaptionForDesignText(std::to_string(101 + c)));
  form.SetButton(0, Text(201), "CANCEL");
  form.SetButton(1, Text(202), "UPDATE");
  form.SetHideCaption(Text(204));
  const tw::ModuleRow rows[] = {
      {"k1", "Griglia.ocx", "regsvr32", "", "2021.01.01.120000", Text(1006), true},
      {"k2", "Contabilita.exe", "", "2.0.0.0", "2.1.0.5", Text(1001), true},
      {"k3", "Archivio.mdb", "", "2020.11.30.090000", "2021.01.04.083000", Text(1001), false},
      {"k4", "Stampe.dll", "self", "1.4.0.0", "1.5.0.0", Text(1001), true},
  };
  for (const auto& row : rows) {
    form.AddRow(row);
    form.AutoSizeColumns();
  }
  form.EnableButton(0, true);
  form.EnableButton(1, true);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: take_screenshots <folder>\n");
    return 2;
  }
  const QDir folder(QString::fromLocal8Bit(argv[1]));
  tw::FormOptions options;
  options.TxtPath()->setText("http://aggiornamenti.example/tarnwick");
  options.show();
  tw::FormSplash splash;
  splash.show();
  QApplication::processEvents();
  bool ok = options.grab().save(folder.filePath("form_options.png"));
  ok &= splash.grab().save(folder.filePath("form_splash.png"));
  ok &= tw::LogoImage().save(folder.filePath("logo.png"));
  splash.hide();
  options.hide();

  MemorySettings settings;
  tw::SplashService splash_service;
  tw::BusyPointers busy;
  tw::FormMain form(settings, splash_service, busy);
  form.show();
  Listed(form);
  QApplication::processEvents();
  // At the design size first, then wider, as a user would pull it.
  ok &= form.grab().save(folder.filePath("form_main_design_size.png"));
  form.resize(form.width() * 3 / 2, form.height());
  QApplication::processEvents();
  ok &= form.grab().save(folder.filePath("form_main_listed.png"));

  form.SetRowStatus(0, Text(1004));
  form.SetRowStatus(1, Text(1002) + " [42%]");
  form.AutoSizeColumns();
  QApplication::processEvents();
  ok &= form.grab().save(folder.filePath("form_main_running.png"));

  tw::ActivityLog log;
  const auto at = [](int second) { return tw::DateValue::FromCalendar(2021, 1, 4, 9, 15, second); };
  const std::string lines[] = {
      Text(801) + " [http://aggiornamenti.example/tarnwick]",
      Text(808) + " [Griglia.ocx]", Text(805),
      Text(808) + " [Contabilita.exe]", Text(805),
      Text(808) + " [Stampe.dll]", Text(806) + " [5: Accesso negato]",
      Text(802)};
  int second = 2;
  for (const std::string& line : lines) form.AppendLogLine(log.Add(line, at(second++)));
  form.SetRowStatus(1, Text(1004));
  form.SetRowStatus(3, Text(1005) + " [5: Accesso negato]");
  form.ShowLog();
  form.EnableButton(0, false);
  form.SetButton(1, Text(203), "EXIT");
  QApplication::processEvents();
  ok &= form.grab().save(folder.filePath("form_main_finished.png"));
  return ok ? 0 : 1;
}
