#include "support/dbus_daemon.h"

#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tw::testing {

DBusDaemon::DBusDaemon() {
  int out[2];
  if (::pipe(out) != 0) return;
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(out[1], 3);
    ::execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=3",
             static_cast<char*>(nullptr));
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
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
}

QDBusConnection DBusDaemon::Connect(const QString& name) {
  return QDBusConnection::connectToBus(QString::fromStdString(address_), name);
}

}  // namespace tw::testing
