// A small TCP server on 127.0.0.1 for the faults a real web server will not
// produce: silence, trickling, resets, endless headers. It records the bytes
// of each request it reads.
#pragma once

#include <atomic>
#include <condition_variable>
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
  Held,            // accept, read, say nothing until released; then the reply, then close
  Gate,            // pass the connection through to a real server, holding the requests
                   // that contain a marker until released
  TrickleBody,     // the reply, then one byte of body a second, forever
  SlowReader,      // reads nothing for 200 ms, then a request of any size, then the reply
  File,            // one file with its date, honouring "Range: bytes=N-" under a matching
                   // If-Range; replies may be cut off part-way (see ServeFile)
};

class FaultServer {
 public:
  explicit FaultServer(Fault fault, std::string reply = "");
  // A gate in front of the server on 127.0.0.1:`forward_port`: bytes from the
  // client that contain `hold_marker` go on only once released.
  FaultServer(int forward_port, std::string hold_marker);
  ~FaultServer();

  int port() const { return port_; }
  // What each connection sent (through a gate: each piece the client sent).
  std::vector<std::string> Requests();

  // Held and Gate: blocks until `count` requests have been held, or the
  // time is up; true when they were.
  bool WaitUntilHolding(int count, int timeout_ms = 20000);
  // Lets the held requests, and all later ones, go on.
  void Release();

  // A File server: the file and its Last-Modified text, from now on.
  void ServeFile(std::string content, std::string last_modified);
  // The next `count` replies of a File server break off after `bytes` of
  // their body.
  void CutNext(int count, size_t bytes);
  // A File server answers every range request with the whole file.
  void IgnoreRanges() { ignore_ranges_ = true; }
  // A File server answers a range request with a 206 of the whole file.
  void MisplaceRanges() { misplace_ranges_ = true; }

  // A loopback port that nothing listens on.
  static int ClosedPort();

 private:
  void Run();
  void Serve(int client);
  void PassThrough(int client);
  void Hold();
  void SendFile(int client, const std::string& request);

  Fault fault_;
  std::string reply_;
  int listener_ = -1;
  int port_ = 0;
  int stop_pipe_[2] = {-1, -1};
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::vector<std::string> requests_;
  std::condition_variable changed_;
  int held_ = 0;
  bool released_ = false;
  int forward_port_ = 0;
  std::string hold_marker_;
  std::vector<std::thread> clients_;
  std::string file_, file_date_;
  int cuts_ = 0;
  size_t cut_after_ = 0;
  std::atomic<bool> ignore_ranges_{false};
  std::atomic<bool> misplace_ranges_{false};
  std::thread thread_;
};

}  // namespace tw::testing
