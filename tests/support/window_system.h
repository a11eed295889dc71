// What the window manager sends when the user clicks a window's close box
// or presses Alt+F4 (a close request that did not come from the program),
// and a mouse click as the window system queues it. Qt keeps the entries
// that deliver them among its platform interfaces, whose headers Debian
// ships apart; their declarations are repeated here.
#pragma once

#include <QEvent>
#include <QPointF>
#include <QWidget>

class QWindow;

class QWindowSystemInterface {
 public:
  struct SynchronousDelivery {};
  struct AsynchronousDelivery {};
  template <typename Delivery>
  static bool handleCloseEvent(QWindow* window);
  template <typename Delivery>
  static bool handleMouseEvent(QWindow* window, const QPointF& local, const QPointF& global, Qt::MouseButtons state,
                               Qt::MouseButton button, QEvent::Type type,
                               Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                               Qt::MouseEventSource source = Qt::MouseEventNotSynthesized);
};

namespace tw::testing {

inline void CloseBoxClicked(QWindow* window) {
  QWindowSystemInterface::handleCloseEvent<QWindowSystemInterface::SynchronousDelivery>(window);
}

// A left click on the middle of `widget`, queued as the window system
// queues the user's input: an event loop that holds input back does not
// deliver it.
inline void QueuedClick(QWidget* widget) {
  QWidget* top = widget->window();
  const QPoint centre = widget->rect().center();
  const QPointF local = widget->mapTo(top, centre);
  const QPointF global = widget->mapToGlobal(centre);
  using Interface = QWindowSystemInterface;
  Interface::handleMouseEvent<Interface::AsynchronousDelivery>(top->windowHandle(), local, global, Qt::LeftButton,
                                                               Qt::LeftButton, QEvent::MouseButtonPress);
  Interface::handleMouseEvent<Interface::AsynchronousDelivery>(top->windowHandle(), local, global, Qt::NoButton,
                                                               Qt::LeftButton, QEvent::MouseButtonRelease);
}

}  // namespace tw::testing
