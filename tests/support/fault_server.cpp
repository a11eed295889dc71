#include "support/fault_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <stdexcept>

namespace tw::testing {
namespace {

int Listen(int* port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, 16) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw std::runtime_error("cannot listen on loopback");
  *port = ntohs(address.sin_port);
  return fd;
}

void SendAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

// The repository's paths reach the server in whatever case the caller used.
bool ContainsIgnoringCase(const std::string& text, const std::string& part) {
  auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  return lower(text).find(lower(part)) != std::string::npos;
}

}  // namespace

FaultServer::FaultServer(Fault fault, std::string reply) : fault_(fault), reply_(std::move(reply)) {
  if (reply_.empty())
    reply_ = "HTTP/1.0 200 OK\r\nLast-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\n\r\n";
  listener_ = Listen(&port_);
  if (::pipe(stop_pipe_) != 0) throw std::runtime_error("pipe");
  thread_ = std::thread([this] { Run(); });
}

FaultServer::FaultServer(int forward_port, std::string hold_marker)
    : fault_(Fault::Gate), forward_port_(forward_port), hold_marker_(std::move(hold_marker)) {
  listener_ = Listen(&port_);
  if (::pipe(stop_pipe_) != 0) throw std::runtime_error("pipe");
  thread_ = std::thread([this] { Run(); });
}

FaultServer::~FaultServer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  (void)::write(stop_pipe_[1], "x", 1);
  thread_.join();
  for (auto& client : clients_) client.join();
  ::close(listener_);
  ::close(stop_pipe_[0]);
  ::close(stop_pipe_[1]);
}

int FaultServer::ClosedPort() {
  int port = 0;
  ::close(Listen(&port));
  return port;
}

std::vector<std::string> FaultServer::Requests() {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

bool FaultServer::WaitUntilHolding(int count, int timeout_ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return held_ >= count; });
}

void FaultServer::Release() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
  }
  changed_.notify_all();
}

void FaultServer::Hold() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (released_) return;
  ++held_;
  changed_.notify_all();
  changed_.wait(lock, [this] { return released_ || stopping_; });
}

void FaultServer::PassThrough(int client) {
  const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(forward_port_));
  if (server < 0 || ::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    if (server >= 0) ::close(server);
    return;
  }
  char buffer[65536];
  for (;;) {
    pollfd fds[3] = {{client, POLLIN, 0}, {server, POLLIN, 0}, {stop_pipe_[0], POLLIN, 0}};
    if (::poll(fds, 3, -1) < 0 || fds[2].revents) break;
    if (fds[0].revents) {
      const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      const std::string piece(buffer, static_cast<size_t>(n));
      {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(piece);
      }
      if (ContainsIgnoringCase(piece, hold_marker_)) Hold();
      if (stopping_) break;
      SendAll(server, piece);
    }
    if (fds[1].revents) {
      const ssize_t n = ::recv(server, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      SendAll(client, std::string(buffer, static_cast<size_t>(n)));
    }
  }
  ::close(server);
}

void FaultServer::ServeFile(std::string content, std::string last_modified) {
  std::lock_guard<std::mutex> lock(mutex_);
  file_ = std::move(content);
  file_date_ = std::move(last_modified);
}

void FaultServer::CutNext(int count, size_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  cuts_ = count;
  cut_after_ = bytes;
}

namespace {

// The value of one request header, "" when absent.
std::string HeaderValue(const std::string& request, const std::string& name) {
  size_t at = 0;
  while ((at = request.find("\r\n", at)) != std::string::npos) {
    at += 2;
    const size_t end = request.find("\r\n", at);
    const std::string line = request.substr(at, end - at);
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string key = line.substr(0, colon);
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (key != name) continue;
    const size_t value = line.find_first_not_of(' ', colon + 1);
    return value == std::string::npos ? std::string() : line.substr(value);
  }
  return {};
}

}  // namespace

// Like a web server: a range whose If-Range matches the file's date gets
// the rest of the file (416 when it starts at or past its end), anything
// else the whole file.
void FaultServer::SendFile(int client, const std::string& request) {
  std::string content, date;
  size_t cut = std::string::npos;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    content = file_;
    date = file_date_;
    if (cuts_ > 0) {
      --cuts_;
      cut = cut_after_;
    }
  }
  const std::string range = HeaderValue(request, "range");
  size_t from = 0;
  bool partial = false;
  if (!ignore_ranges_ && range.rfind("bytes=", 0) == 0 && range.back() == '-' &&
      HeaderValue(request, "if-range") == date) {
    from = std::stoull(range.substr(6));
    if (from >= content.size()) {
      SendAll(client, "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
      return;
    }
    partial = true;
    if (misplace_ranges_) from = 0;
  }
  std::string head = partial ? "HTTP/1.1 206 Partial Content\r\n" : "HTTP/1.1 200 OK\r\n";
  head += "Last-Modified: " + date + "\r\nConnection: close\r\n";
  head += "Content-Length: " + std::to_string(content.size() - from) + "\r\n";
  if (partial)
    head += "Content-Range: bytes " + std::to_string(from) + "-" + std::to_string(content.size() - 1) + "/" +
            std::to_string(content.size()) + "\r\n";
  SendAll(client, head + "\r\n");
  const size_t length = std::min(content.size() - from, cut);
  SendAll(client, content.substr(from, length));
}

void FaultServer::Run() {
  for (;;) {
    pollfd fds[2] = {{listener_, POLLIN, 0}, {stop_pipe_[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents) return;
    const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client >= 0) clients_.emplace_back([this, client] { Serve(client); });
  }
}

void FaultServer::Serve(int client) {
  if (fault_ == Fault::Gate) {
    PassThrough(client);
    ::close(client);
    return;
  }
  auto wait_for_stop = [this](int milliseconds) {
    pollfd stop = {stop_pipe_[0], POLLIN, 0};
    return ::poll(&stop, 1, milliseconds) > 0;
  };
  // Read the request up to its blank line, waiting at most a second.
  std::string request;
  char buffer[65536];
  const bool slow = fault_ == Fault::SlowReader;
  if (slow) wait_for_stop(200);
  const size_t cap = slow ? (64u << 20) : 65536;
  size_t scanned = 0;  // the blank line does not start before this
  while (request.find("\r\n\r\n", scanned) == std::string::npos && request.size() < cap) {
    scanned = request.size() < 3 ? 0 : request.size() - 3;
    pollfd fds[2] = {{client, POLLIN, 0}, {stop_pipe_[0], POLLIN, 0}};
    if (::poll(fds, 2, 1000) <= 0 || fds[1].revents) break;
    const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    request.append(buffer, static_cast<size_t>(n));
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(request);
  }
  switch (fault_) {
    case Fault::AnswerAndClose:
    case Fault::SlowReader:
      SendAll(client, reply_);
      break;
    case Fault::AnswerInChunks:
      for (size_t i = 0; i < 3; ++i) {
        const size_t piece = (reply_.size() + 2) / 3;
        SendAll(client, reply_.substr(i * piece, piece));
        if (wait_for_stop(50)) break;
      }
      break;
    case Fault::Silent:
      wait_for_stop(-1);
      break;
    case Fault::Reset: {
      linger hard{1, 0};
      ::setsockopt(client, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
      break;
    }
    case Fault::Trickle:
      SendAll(client, "HTTP/1.0 200 OK\r\nX-Slow: ");
      while (!wait_for_stop(50)) SendAll(client, "a");
      break;
    case Fault::TrickleBody:
      SendAll(client, reply_);
      while (!wait_for_stop(1000)) SendAll(client, "b");
      break;
    case Fault::KeepOpen:
      SendAll(client, reply_);
      wait_for_stop(-1);
      break;
    case Fault::Delayed:
      if (!wait_for_stop(1000)) SendAll(client, reply_);
      break;
    case Fault::Held:
      Hold();
      if (!stopping_) SendAll(client, reply_);
      break;
    case Fault::Gate:
      break;
    case Fault::File:
      SendFile(client, request);
      break;
    case Fault::HugeHeaders: {
      std::string huge = "HTTP/1.0 200 OK\r\n";
      while (huge.size() < (1u << 20)) huge += "X-Pad: aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\r\n";
      SendAll(client, huge + reply_.substr(reply_.find("\r\n") + 2));
      break;
    }
  }
  ::close(client);
}

}  // namespace tw::testing
