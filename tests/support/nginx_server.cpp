#include "support/nginx_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/temp_dir.h"

namespace tw::testing {
namespace {

int FreeLoopbackPort(bool ipv6) {
  const int fd = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
  sockaddr_storage storage{};
  socklen_t length = sizeof storage;
  if (ipv6) {
    auto* address = reinterpret_cast<sockaddr_in6*>(&storage);
    address->sin6_family = AF_INET6;
    address->sin6_addr = in6addr_loopback;
    length = sizeof *address;
  } else {
    auto* address = reinterpret_cast<sockaddr_in*>(&storage);
    address->sin_family = AF_INET;
    address->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    length = sizeof *address;
  }
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&storage), length) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length) == 0)
    port = ntohs(ipv6 ? reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port
                      : reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
  ::close(fd);
  return port;
}

bool Accepts(int port, bool ipv6) {
  const int fd = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
  bool ok = false;
  if (ipv6) {
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(static_cast<uint16_t>(port));
    address.sin6_addr = in6addr_loopback;
    ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  } else {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ::close(fd);
  return ok;
}

std::string NginxBinary() {
  for (const char* candidate : {"/usr/sbin/nginx", "/usr/local/sbin/nginx", "/usr/bin/nginx"})
    if (::access(candidate, X_OK) == 0) return candidate;
  return "nginx";
}

}  // namespace

NginxServer& NginxServer::Shared() {
  static NginxServer server;
  return server;
}

NginxServer::NginxServer() : NginxServer(NginxOptions{}) {}

bool NginxServer::HasIpv6Loopback() { return FreeLoopbackPort(true) > 0; }

NginxServer::NginxServer(NginxOptions options) : options_(std::move(options)) {
  char pattern[] = "/tmp/tarnwick-nginx-XXXXXX";
  prefix_ = ::mkdtemp(pattern);
  root_ = prefix_ + "/www";
  std::filesystem::create_directories(root_);
  std::filesystem::create_directories(prefix_ + "/tmp");
  ::chmod(prefix_.c_str(), 0755);
  for (int attempt = 0; attempt < 5 && !Start(); ++attempt) {
  }
}

NginxServer::~NginxServer() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  std::error_code ignored;
  std::filesystem::remove_all(prefix_, ignored);
}

std::vector<std::string> NginxServer::Requests() const {
  std::vector<std::string> lines;
  std::ifstream log(prefix_ + "/access.log");
  for (std::string line; std::getline(log, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> NginxServer::RequestsAtLeast(size_t count) const {
  std::vector<std::string> lines = Requests();
  for (int wait = 0; lines.size() < count && wait < 500; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    lines = Requests();
  }
  return lines;
}

std::vector<std::string> NginxServer::SettledRequests() const {
  std::vector<std::string> lines = Requests();
  for (int wait = 0; wait < 20; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    std::vector<std::string> now = Requests();
    if (now.size() == lines.size()) break;
    lines = std::move(now);
  }
  return lines;
}

bool NginxServer::Start() {
  port_ = FreeLoopbackPort(options_.ipv6);
  if (port_ == 0) return false;
  const bool tls = !options_.certificate.empty();
  const std::string listen = (options_.ipv6 ? "[::1]:" : "127.0.0.1:") + std::to_string(port_) + (tls ? " ssl" : "");
  const std::string conf = prefix_ + "/nginx.conf";
  std::ofstream(conf) << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
                      << "error_log " << prefix_ << "/error.log;\n"
                      << "pid " << prefix_ << "/nginx.pid;\n"
                      << "events { worker_connections 512; }\n"
                      << "http {\n  log_format requests '$request $status';\n  access_log " << prefix_
                      << "/access.log requests;\n  default_type application/octet-stream;\n"
                      << "  client_body_temp_path " << prefix_ << "/tmp/body;\n"
                      << "  proxy_temp_path " << prefix_ << "/tmp/proxy;\n"
                      << "  fastcgi_temp_path " << prefix_ << "/tmp/fastcgi;\n"
                      << "  uwsgi_temp_path " << prefix_ << "/tmp/uwsgi;\n"
                      << "  scgi_temp_path " << prefix_ << "/tmp/scgi;\n"
                      << "  server {\n    listen " << listen << ";\n"
                      << (tls ? "    ssl_certificate " + options_.certificate + ";\n    ssl_certificate_key " +
                                    options_.key + ";\n"
                              : std::string())
                      << "    root " << root_ << ";\n"
                      << "    location /redirect/ { rewrite ^/redirect/(.*)$ /$1 redirect; }\n"
                      << "    location /failing/ { return 500; }\n"
                      << "  }\n}\n";
  const std::string binary = NginxBinary();
  const std::string error_log = prefix_ + "/error.log";
  pid_ = ::fork();
  if (pid_ == 0) {
    ::execl(binary.c_str(), binary.c_str(), "-e", error_log.c_str(), "-p", prefix_.c_str(), "-c",
            conf.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  for (int i = 0; i < 100; ++i) {
    if (Accepts(port_, options_.ipv6)) return true;
    if (::waitpid(pid_, nullptr, WNOHANG) == pid_) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (::waitpid(pid_, nullptr, WNOHANG) == 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  pid_ = -1;
  return false;
}

std::string NginxServer::Location(const std::string& base_path) const {
  const std::string scheme = options_.certificate.empty() ? "" : "https://";
  return scheme + (options_.ipv6 ? "[::1]:" : "127.0.0.1:") + std::to_string(port_) + base_path;
}

void NginxServer::Put(const std::string& path, const std::string& content,
                      std::optional<long long> mtime) const {
  const std::string full = root_ + path;
  WriteTextFile(full, content);
  for (std::filesystem::path p = std::filesystem::path(full).parent_path(); p.string().size() >= root_.size();
       p = p.parent_path())
    ::chmod(p.c_str(), 0755);
  ::chmod(full.c_str(), 0644);
  if (mtime) {
    timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(*mtime), 0}};
    ::utimensat(AT_FDCWD, full.c_str(), times, 0);
  }
}

void NginxServer::Remove(const std::string& path) const {
  std::error_code ignored;
  std::filesystem::remove(root_ + path, ignored);
}

std::string NginxServer::FreshBase() { return "/t" + std::to_string(++bases_); }

}  // namespace tw::testing
