#include "support/latency_relay.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <list>
#include <vector>

namespace tw::testing {
namespace {

using Clock = std::chrono::steady_clock;

struct Chunk {
  Clock::time_point due;
  std::string bytes;
};

struct Link {
  int client = -1, server = -1;
  Clock::time_point set_up;        // when the connection counts as made
  std::deque<Chunk> up, down;      // towards the server, towards the client
  bool server_closed = false;      // the server's end is owed to the client
  Clock::time_point server_closed_due;
  std::string partial;             // an unfinished request line
};

int ConnectTo(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return -1;
  }
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

void SendAll(int fd, const std::string& bytes) {
  size_t at = 0;
  while (at < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
    if (n <= 0) return;
    at += static_cast<size_t>(n);
  }
}

}  // namespace

LatencyRelay::LatencyRelay(int upstream_port, std::chrono::microseconds round_trip, std::uint64_t bytes_per_second)
    : upstream_port_(upstream_port), round_trip_(round_trip), bytes_per_second_(bytes_per_second) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int one = 1;
  ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::listen(listener_, 512);
  socklen_t length = sizeof a;
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length);
  port_ = ntohs(a.sin_port);
  if (::pipe2(wake_, O_CLOEXEC) != 0) wake_[0] = wake_[1] = -1;
  thread_ = std::thread([this] { Run(); });
}

LatencyRelay::~LatencyRelay() {
  stop_ = true;
  if (wake_[1] >= 0 && ::write(wake_[1], "x", 1) < 0) {}
  thread_.join();
  ::close(listener_);
  ::close(wake_[0]);
  ::close(wake_[1]);
}

std::map<std::string, int> LatencyRelay::Requests() {
  std::lock_guard lock(mutex_);
  return requests_;
}

void LatencyRelay::Reset() {
  std::lock_guard lock(mutex_);
  requests_.clear();
  most_open_ = open_now_.load();
  connections_ = 0;
}

void LatencyRelay::Run() {
  const auto half = round_trip_ / 2;
  // When the link is free again in each direction; a chunk is sent once
  // it is, takes its size over the rate, then half a round trip.
  Clock::time_point up_free{}, down_free{};
  const auto due = [&](Clock::time_point& free, Clock::time_point ready, size_t bytes) {
    if (bytes_per_second_ == 0) return ready + half;
    const auto start = std::max(free, ready);
    free = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                       static_cast<double>(bytes) / static_cast<double>(bytes_per_second_)));
    return free + half;
  };
  std::list<Link> links;
  auto close_link = [this](Link& link) {
    if (link.client < 0) return;  // counted out once only
    ::close(link.client);
    if (link.server >= 0) ::close(link.server);
    link.client = link.server = -1;
    --open_now_;
  };
  auto note = [this](Link& link, const std::string& bytes) {
    link.partial += bytes;
    size_t start = 0, end;
    while ((end = link.partial.find('\n', start)) != std::string::npos) {
      const std::string line = link.partial.substr(start, end - start);
      for (const char* method : {"GET ", "HEAD "})
        if (line.rfind(method, 0) == 0) {
          const size_t space = line.find(' ', std::string(method).size());
          std::lock_guard lock(mutex_);
          ++requests_[line.substr(0, space)];
        }
      start = end + 1;
    }
    link.partial.erase(0, start);
  };
  while (!stop_) {
    // Due chunks first: they may end connections before new ones count.
    auto now = Clock::now();
    Clock::time_point next = now + std::chrono::seconds(1);
    for (Link& link : links) {
      if (link.client < 0) continue;
      while (!link.up.empty() && link.up.front().due <= now) {
        SendAll(link.server, link.up.front().bytes);
        link.up.pop_front();
      }
      while (!link.down.empty() && link.down.front().due <= now) {
        SendAll(link.client, link.down.front().bytes);
        link.down.pop_front();
      }
      if (link.server_closed && link.down.empty() && link.server_closed_due <= now) close_link(link);
      if (!link.up.empty()) next = std::min(next, link.up.front().due);
      if (!link.down.empty()) next = std::min(next, link.down.front().due);
      if (link.server_closed && link.client >= 0) next = std::min(next, link.server_closed_due);
    }
    links.remove_if([](const Link& link) { return link.client < 0; });

    std::vector<pollfd> fds = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    for (Link& link : links) {
      fds.push_back({link.client, POLLIN, 0});
      fds.push_back({link.server_closed ? -1 : link.server, POLLIN, 0});
    }
    const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(next - Clock::now());
    timespec timeout{0, 0};
    if (wait.count() > 0) {
      timeout.tv_sec = static_cast<time_t>(wait.count() / 1000000000);
      timeout.tv_nsec = static_cast<long>(wait.count() % 1000000000);
    }
    if (::ppoll(fds.data(), fds.size(), &timeout, nullptr) < 0) continue;
    now = Clock::now();
    char buffer[65536];
    size_t i = 2;
    for (Link& link : links) {
      const pollfd& c = fds[i++];
      const pollfd& s = fds[i++];
      if (link.client >= 0 && (c.revents & (POLLIN | POLLHUP | POLLERR))) {
        const ssize_t n = ::recv(link.client, buffer, sizeof buffer, 0);
        if (n <= 0) {
          close_link(link);  // the client is gone: so is the connection
          continue;
        }
        std::string bytes(buffer, static_cast<size_t>(n));
        note(link, bytes);
        const auto arrives = due(up_free, std::max(now, link.set_up), bytes.size());
        link.up.push_back({arrives, std::move(bytes)});
      }
      if (link.server >= 0 && !link.server_closed && (s.revents & (POLLIN | POLLHUP | POLLERR))) {
        const ssize_t n = ::recv(link.server, buffer, sizeof buffer, 0);
        if (n <= 0) {
          link.server_closed = true;
          link.server_closed_due = now + half;
        } else {
          link.down.push_back({due(down_free, now, static_cast<size_t>(n)), std::string(buffer, static_cast<size_t>(n))});
        }
      }
    }
    if (fds[0].revents & POLLIN) {
      const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client >= 0) {
        Link link;
        link.client = client;
        link.server = ConnectTo(upstream_port_);
        link.set_up = now + round_trip_;
        const size_t open = ++open_now_;
        ++connections_;
        if (open > most_open_) most_open_ = open;
        if (link.server < 0) close_link(link);
        else links.push_back(std::move(link));
      }
    }
  }
  for (Link& link : links)
    if (link.client >= 0) close_link(link);
}

}  // namespace tw::testing
