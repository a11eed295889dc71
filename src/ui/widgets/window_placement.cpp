#include "ui/widgets/window_placement.h"

#include <QCursor>
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

  // The position is the frame's, the size the client area's: placing the
  // client at the frame's place would put the title bar above it.
  PixelRect NormalRect() override {
    QRect rect = window_.normalGeometry();
    if (rect.isEmpty() || State() == WindowShowState::Normal) rect = window_.geometry();
    const QPoint frame_offset = window_.geometry().topLeft() - window_.frameGeometry().topLeft();
    return {rect.x() - frame_offset.x(), rect.y() - frame_offset.y(), rect.width(), rect.height()};
  }

  void SetNormalRect(const PixelRect& rect) override {
    window_.resize(rect.width, rect.height);
    window_.move(rect.left, rect.top);
  }

  std::optional<PixelRect> PointerScreen() override {
    const QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen) return std::nullopt;
    const QRect area = screen->availableGeometry();
    return PixelRect{area.x(), area.y(), area.width(), area.height()};
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
