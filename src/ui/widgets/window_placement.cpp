#include "ui/widgets/window_placement.h"

#include <QGuiApplication>
#include <QLocale>
#include <QScreen>
#include <QWidget>

#include "ui/geometry/placement.h"

namespace tw {
namespace {

class WidgetPlacement : public PlacementTarget {
 public:
  explicit WidgetPlacement(QWidget& window) : window_(window) {}

  WindowShowState State() override {
    const Qt::WindowStates state = window_.windowState();
    if (state & Qt::WindowMinimized) return WindowShowState::Minimized;
    if (state & (Qt::WindowMaximized | Qt::WindowFullScreen)) return WindowShowState::Maximized;
    return WindowShowState::Normal;
  }

  void SetState(WindowShowState state) override {
    switch (state) {
      case WindowShowState::Normal: window_.setWindowState(Qt::WindowNoState); break;
      case WindowShowState::Minimized: window_.setWindowState(Qt::WindowMinimized); break;
      case WindowShowState::Maximized: window_.setWindowState(Qt::WindowMaximized); break;
    }
  }

  PixelRect NormalRect() override {
    QRect rect = window_.normalGeometry();
    if (rect.isEmpty()) rect = window_.geometry();
    return {rect.x(), rect.y(), rect.width(), rect.height()};
  }

  void SetNormalRect(const PixelRect& rect) override {
    window_.setGeometry(rect.left, rect.top, rect.width, rect.height);
  }

  double DpiX() override { return window_.logicalDpiX(); }
  double DpiY() override { return window_.logicalDpiY(); }

  std::vector<PixelRect> Screens() override {
    std::vector<PixelRect> screens;
    QList<QScreen*> all = QGuiApplication::screens();
    QScreen* primary = QGuiApplication::primaryScreen();
    if (primary) all.removeAll(primary), all.prepend(primary);
    for (const QScreen* screen : all) {
      const QRect area = screen->availableGeometry();
      screens.push_back({area.x(), area.y(), area.width(), area.height()});
    }
    return screens;
  }

 private:
  QWidget& window_;
};

NumberFormat UserNumberFormat() {
  const QString point = QLocale::system().decimalPoint();
  return {point.size() == 1 && point.at(0).unicode() < 128 ? static_cast<char>(point.at(0).unicode())
                                                            : '.'};
}

}  // namespace

void RestoreWindowPlacement(QWidget& window, std::string_view name, SettingsStore& settings) {
  WidgetPlacement target(window);
  RestoreWindowPlacement(target, name, settings, UserNumberFormat());
}

void SaveWindowPlacement(QWidget& window, std::string_view name, SettingsStore& settings) {
  WidgetPlacement target(window);
  SaveWindowPlacement(target, name, settings, UserNumberFormat());
}

}  // namespace tw
