// Where a streamed download puts its body: the bytes go on as they arrive,
// so nothing of the body is held whole in memory.
#pragma once

#include <cstdint>
#include <span>

namespace tw {

class DownloadSink {
 public:
  virtual ~DownloadSink() = default;
  // The final reply is a 200, and its body follows; `length` is its
  // Content-Length, -1 when not given. False refuses the body.
  virtual bool Begin(long long length) = 0;
  // The next piece of the body. False stops the transfer.
  virtual bool Write(std::span<const std::uint8_t> bytes) = 0;
  // Asked now and then while the transfer runs, also while no byte
  // arrives: true stops it.
  virtual bool Cancelled() { return false; }
};

// How a streamed download ended.
enum class FetchResult {
  Done,         // the whole body went to the sink
  NotFound,     // the final reply was not a 200
  Failed,       // no reply, or the connection broke off
  TooLarge,     // more than the announced length or the configured maximum
  TooSlow,      // fewer bytes than the low-speed bound within its time
  Cancelled,    // the sink asked to stop
  SinkRefused,  // the sink refused a piece
};

}  // namespace tw
