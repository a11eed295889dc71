// The automation class Global on the D-Bus session bus: bus name
// "it.velmora.Tarnwick", object "/Global", interface
// "it.velmora.Tarnwick.Global". A call that arrives while another waits on
// the network is served at once (the waits run the event loop). The
// process ends when no call has been in progress for the idle time.
#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QTimer>
#include <chrono>

namespace tw {

class Global;

class AutomationServer : public QDBusVirtualObject {
 public:
  AutomationServer(Global& global, std::chrono::milliseconds idle_limit);

  // Registers the object and takes the bus name; false when either fails.
  bool Publish(QDBusConnection bus);

  QString introspect(const QString& path) const override;
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

 private:
  Global& global_;
  QTimer idle_;
  int calls_in_progress_ = 0;
};

}  // namespace tw
