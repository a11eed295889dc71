// A small TCP server on 127.0.0.1 for the faults a real web server will not
// produce: silence, trickling, resets, endless headers. It records the bytes
// of each request it reads.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tw::testing {

enum class Fault {
  AnswerAndClose,  // the reply, then close
  AnswerInChunks,  // the reply in three pieces, 50 ms apart, then close
  Silent,          // accept, read, say nothing
  Reset,           // accept, read, reset the connection
  Trickle,         // one byte every 50 ms, never a blank line
  KeepOpen,        // the reply, then keep the connection open
  HugeHeaders,     // a status line and 1 MiB of header lines
  Delayed,         // one second of silence, then the reply, then close
  SlowReader,      // reads nothing for 200 ms, then a request of any size, then the reply
};

class FaultServer {
 public:
  explicit FaultServer(Fault fault, std::string reply = "");
  ~FaultServer();

  int port() const { return port_; }
  std::vector<std::string> Requests();

  // A loopback port that nothing listens on.
  static int ClosedPort();

 private:
  void Run();
  void Serve(int client);

  Fault fault_;
  std::string reply_;
  int listener_ = -1;
  int port_ = 0;
  int stop_pipe_[2] = {-1, -1};
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::vector<std::string> requests_;
  std::vector<std::thread> clients_;
  std::thread thread_;
};

}  // namespace tw::testing
