// Draws the start-up windows (the options window, the splash) and the logo
// on Qt's offscreen platform and writes them as PNG files into the folder
// given as argument:
//   take_screenshots docs/screenshots
// The main window is pictured from the running program by tools/window-walk;
// tools/screenshots does both.
#include <QApplication>
#include <QDir>
#include <cstdio>

#include "ui/widgets/form_options.h"
#include "ui/widgets/form_splash.h"
#include "ui/widgets/program_icon.h"

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
  return ok ? 0 : 1;
}
