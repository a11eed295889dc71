// Where a streamed download puts its body: the bytes go on as they arrive,
// so nothing of the body is held whole in memory.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tw {

// Bytes of the body a sink already holds from an earlier attempt, and the
// Last-Modified text of the file they came from.
struct ResumePoint {
  unsigned long long offset = 0;
  std::string validator;
};

class DownloadSink {
 public:
  virtual ~DownloadSink() = default;
  // Asked once before the request: where to go on from. The repository is
  // then asked for the rest only, provided its file still carries the
  // validator's date; otherwise it sends the whole body through Begin.
  virtual std::optional<ResumePoint> ResumeFrom() { return std::nullopt; }
  // The final reply is a 200, and its body follows from its first byte;
  // `length` is its Content-Length, -1 when not given. False refuses the
  // body. Bytes held from an earlier attempt no longer belong to it.
  virtual bool Begin(long long length) = 0;
  // The final reply's Last-Modified text, before its body; not called
  // when it has none.
  virtual void LastModified(std::string_view /*text*/) {}
  // The reply continues the held bytes at `offset`; `remaining` bytes
  // follow. False refuses them.
  virtual bool Continue(unsigned long long /*offset*/, long long /*remaining*/) { return false; }
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
  BadRange,     // asked for the rest, the repository sent another part of the file
};

}  // namespace tw
