#include "ui/widgets/event_loop_launcher.h"

#include <QEventLoop>
#include <QMetaObject>
#include <QPointer>
#include <QTimer>
#include <memory>
#include <thread>

namespace tw {

int EventLoopLauncher::RunAndWait(const std::vector<std::string>& argv, int timeout_ms,
                                  const std::string& started_marker) {
  QEventLoop loop;
  int code = 0;
  // The loop outlives the thread (joined below), so the queued quit always
  // finds it; a quit that arrives before exec() is delivered inside it.
  std::thread waiter([&] {
    code = inner_.RunAndWait(argv, timeout_ms, started_marker);
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  waiter.join();
  return code;
}

void EventLoopLauncher::Pause(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

}  // namespace tw
