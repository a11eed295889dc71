// The automation class Global on the D-Bus session bus: bus name
// "it.velmora.Tarnwick", object "/Global", interface
// "it.velmora.Tarnwick.Global". Calls are answered one at a time in the
// order they arrived, none before the program's start-up has ended; only
// GetFullName, which needs nothing, is answered at once, always. The process ends when no call
// has been waiting or running for the idle time.
#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QTimer>
#include <chrono>

#include "engine/call_queue.h"

namespace tw {

class Global;

class AutomationServer : public QDBusVirtualObject {
 public:
  AutomationServer(Global& global, std::chrono::milliseconds idle_limit);

  // Registers the object and takes the bus name; false when either fails.
  // Calls that arrive from then on wait for Open().
  bool Publish(QDBusConnection bus);
  // The start-up has ended: the waiting calls are served, then the rest.
  void Open();

  QString introspect(const QString& path) const override;
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

 private:
  QDBusMessage Answer(const QDBusMessage& message);

  Global& global_;
  CallQueue queue_;
  QTimer idle_;
};

}  // namespace tw
