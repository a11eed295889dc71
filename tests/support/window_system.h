// What the window manager sends when the user clicks a window's close box
// or presses Alt+F4: a close request that did not come from the program.
// Qt keeps the entry that delivers it among its platform interfaces, whose
// headers Debian ships apart; its declaration is repeated here.
#pragma once

class QWindow;

class QWindowSystemInterface {
 public:
  struct SynchronousDelivery {};
  template <typename Delivery>
  static bool handleCloseEvent(QWindow* window);
};

namespace tw::testing {

inline void CloseBoxClicked(QWindow* window) {
  QWindowSystemInterface::handleCloseEvent<QWindowSystemInterface::SynchronousDelivery>(window);
}

}  // namespace tw::testing
