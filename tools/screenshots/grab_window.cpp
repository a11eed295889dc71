// Writes what an X11 window shows as a PNG file, for the pictures of the
// real program taken under Xvfb (tools/screenshots):
//   grab_window <window id> <file.png>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "xcb");
  QGuiApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: grab_window <window id> <file.png>\n");
    return 2;
  }
  const WId window = std::strtoull(argv[1], nullptr, 0);
  const QPixmap picture = QGuiApplication::primaryScreen()->grabWindow(window);
  if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[2]))) {
    std::fprintf(stderr, "grab_window: window %s not grabbed\n", argv[1]);
    return 1;
  }
  return 0;
}
