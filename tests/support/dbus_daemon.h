// A session bus of the test's own: a real dbus-daemon that reads activation
// files from the test's $XDG_DATA_HOME and passes its environment to the
// services it starts. The bus gives a service it starts a time to take its
// name (two minutes by default) and then answers the caller with an error.
#pragma once

#include <QDBusConnection>
#include <QStringList>
#include <string>

namespace tw::testing {

class DBusDaemon {
 public:
  // `activation_timeout_ms` > 0 shortens the time a started service has.
  explicit DBusDaemon(int activation_timeout_ms = 0);
  ~DBusDaemon();
  bool running() const { return pid_ > 0; }
  const std::string& address() const { return address_; }
  // A client connection to this bus, closed with the bus.
  QDBusConnection Connect(const QString& name = "test");

 private:
  int pid_ = -1;
  std::string address_;
  std::string config_;  // the configuration file of our own, if any
  QStringList connections_;
};

}  // namespace tw::testing
