// Writes a part of an X11 screen as a PNG file, for the pictures of the real
// program taken under Xvfb by tools/window-walk. The part, rather than one
// window, so that a question over the main window is pictured with it.
//   grab_screen X Y WIDTH HEIGHT file.png
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "xcb");
  QGuiApplication app(argc, argv);
  if (argc != 6) {
    std::fprintf(stderr, "usage: grab_screen X Y WIDTH HEIGHT file.png\n");
    return 2;
  }
  int numbers[4];
  for (int i = 0; i < 4; ++i) numbers[i] = std::atoi(argv[1 + i]);
  const QPixmap picture =
      QGuiApplication::primaryScreen()->grabWindow(0, numbers[0], numbers[1], numbers[2], numbers[3]);
  if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[5]))) {
    std::fprintf(stderr, "grab_screen: nothing grabbed\n");
    return 1;
  }
  return 0;
}
