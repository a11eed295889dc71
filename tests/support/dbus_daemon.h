// A session bus of the test's own: a real dbus-daemon that reads activation
// files from the test's $XDG_DATA_HOME and passes its environment to the
// services it starts.
#pragma once

#include <QDBusConnection>
#include <string>

namespace tw::testing {

class DBusDaemon {
 public:
  DBusDaemon();
  ~DBusDaemon();
  bool running() const { return pid_ > 0; }
  const std::string& address() const { return address_; }
  // A client connection to this bus.
  QDBusConnection Connect(const QString& name = "test");

 private:
  int pid_ = -1;
  std::string address_;
};

}  // namespace tw::testing
