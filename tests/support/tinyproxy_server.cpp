#include "support/tinyproxy_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace tw::testing {
namespace {

int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

bool Accepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

}  // namespace

TinyproxyServer::TinyproxyServer() {
  const char* binary = "/usr/bin/tinyproxy";
  if (::access(binary, X_OK) != 0) return;
  for (int attempt = 0; attempt < 5 && pid_ < 0; ++attempt) {
    port_ = FreePort();
    const std::string conf = dir_ / "tinyproxy.conf";
    WriteTextFile(conf, "Port " + std::to_string(port_) +
                            "\nListen 127.0.0.1\nTimeout 60\nLogLevel Info\nMaxClients 20\n"
                            "Allow 127.0.0.1\nDisableViaHeader Yes\nLogFile \"" +
                            dir_ / "tinyproxy.log" + "\"\nPidFile \"" + dir_ / "tinyproxy.pid" + "\"\n");
    const int pid = ::fork();
    if (pid == 0) {
      ::execl(binary, binary, "-d", "-c", conf.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    for (int i = 0; i < 100; ++i) {
      if (Accepts(port_)) {
        pid_ = pid;
        break;
      }
      if (::waitpid(pid, nullptr, WNOHANG) == pid) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (pid_ < 0 && ::waitpid(pid, nullptr, WNOHANG) == 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }
}

TinyproxyServer::~TinyproxyServer() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
}

std::string TinyproxyServer::Url() const { return "http://127.0.0.1:" + std::to_string(port_); }

std::string TinyproxyServer::Log() const { return ReadTextFile(dir_ / "tinyproxy.log"); }

}  // namespace tw::testing
