// A relay on 127.0.0.1 in front of a server, playing a slow link: each
// connection's setup is held for one round trip, and every chunk for half
// of one in each direction. It counts the connections open through it (the
// most at any moment) and notes the request lines that pass ("GET /path",
// "HEAD /path"). With a round trip of zero it only counts. A byte rate,
// when given, is the link's: the bytes of every connection going one way
// share it, each chunk leaving once the ones before it have gone.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace tw::testing {

class LatencyRelay {
 public:
  LatencyRelay(int upstream_port, std::chrono::microseconds round_trip, std::uint64_t bytes_per_second = 0);
  ~LatencyRelay();
  LatencyRelay(const LatencyRelay&) = delete;
  LatencyRelay& operator=(const LatencyRelay&) = delete;

  int port() const { return port_; }
  size_t most_open() const { return most_open_; }
  size_t open_now() const { return open_now_; }
  size_t connections() const { return connections_; }
  // Request lines seen, by "METHOD path".
  std::map<std::string, int> Requests();
  void Reset();

 private:
  void Run();

  int upstream_port_;
  std::chrono::microseconds round_trip_;
  std::uint64_t bytes_per_second_;
  int listener_ = -1;
  int port_ = 0;
  int wake_[2] = {-1, -1};
  std::atomic<bool> stop_{false};
  std::atomic<size_t> most_open_{0}, open_now_{0}, connections_{0};
  std::mutex mutex_;
  std::map<std::string, int> requests_;
  std::thread thread_;
};

}  // namespace tw::testing
