#include "support/dbus_daemon.h"

#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace tw::testing {

namespace {

// The standard session configuration with a shorter activation time-out.
std::string WriteConfig(int activation_timeout_ms) {
  char path[] = "/tmp/tarnwick-bus-XXXXXX";
  const int fd = ::mkstemp(path);
  if (fd < 0) return {};
  const std::string text =
      "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
      " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
      "<busconfig>\n  <include>/usr/share/dbus-1/session.conf</include>\n"
      "  <limit name=\"service_start_timeout\">" +
      std::to_string(activation_timeout_ms) + "</limit>\n</busconfig>\n";
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  if (!written) ::unlink(path);
  return written ? path : "";
}

}  // namespace

DBusDaemon::DBusDaemon(int activation_timeout_ms) {
  if (activation_timeout_ms > 0 && (config_ = WriteConfig(activation_timeout_ms)).empty()) return;
  const std::string config_option = config_.empty() ? "--session" : "--config-file=" + config_;
  int out[2];
  if (::pipe(out) != 0) return;
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(out[1], 3);
    ::execlp("dbus-daemon", "dbus-daemon", config_option.c_str(), "--nofork", "--nopidfile",
             "--print-address=3", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(out[1]);
  char buffer[512];
  std::string line;
  pollfd wait{out[0], POLLIN, 0};
  while (line.find('\n') == std::string::npos && ::poll(&wait, 1, 5000) > 0) {
    const ssize_t n = ::read(out[0], buffer, sizeof buffer);
    if (n <= 0) break;
    line.append(buffer, static_cast<size_t>(n));
  }
  ::close(out[0]);
  if (line.find('\n') == std::string::npos) {
    if (pid_ > 0) ::kill(pid_, SIGKILL), ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
    return;
  }
  address_ = line.substr(0, line.find('\n'));
  ::setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
}

DBusDaemon::~DBusDaemon() {
  // Qt keeps named connections: a later bus must not get this one's.
  for (const QString& name : connections_) QDBusConnection::disconnectFromBus(name);
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  if (!config_.empty()) ::unlink(config_.c_str());
}

QDBusConnection DBusDaemon::Connect(const QString& name) {
  const QString unique = name + "@" + QString::fromStdString(address_);
  if (!connections_.contains(unique)) connections_.append(unique);
  return QDBusConnection::connectToBus(QString::fromStdString(address_), unique);
}

}  // namespace tw::testing
