// Hashing a download on a thread of its own while the bytes go on
// arriving: the network and the disk (the final flush above all) are the
// slow parts, so a second core hides the digest's cost.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "trust/file_digest.h"

namespace tw {

// Pieces are gathered into a few blocks of fixed size that go round
// between the downloading thread and the hashing one, so memory stays
// small however large the file, and no fresh memory is touched once the
// blocks exist (each first touch of a page is a fault the kernel must
// serve, and fresh blocks for every MiB cost more than the hash).
class BackgroundHasher {
 public:
  explicit BackgroundHasher(FileDigestCheck& check);
  ~BackgroundHasher() { Drain(); }
  BackgroundHasher(const BackgroundHasher&) = delete;
  BackgroundHasher& operator=(const BackgroundHasher&) = delete;

  // Called on one thread only (the downloading one).
  void Feed(std::span<const std::uint8_t> bytes);
  // The same for bytes that stay readable and unchanged until Drain
  // returns: hashed where they lie, not copied.
  void FeedStable(std::span<const std::uint8_t> bytes);

  // Also hands the pieces fed with FeedStable, in order and once hashed, to
  // `sink` on the hashing thread, until it first returns false. Set before
  // the first FeedStable; Restart does not take back what it was given.
  using StableSink = std::function<bool(std::span<const std::uint8_t>)>;
  void SetStableSink(StableSink sink) { stable_sink_ = std::move(sink); }
  // The stable sink refused a piece (known at once on any thread).
  bool StableSinkStopped() const { return stable_sink_stopped_.load(std::memory_order_relaxed); }
  // Forgets everything fed so far: the content starts again from its
  // first byte.
  void Restart();
  // Returns once every piece fed has been hashed; nothing is fed after.
  void Drain();

 private:
  struct Block {
    std::unique_ptr<std::uint8_t[]> data;
    size_t used = 0;
    const std::uint8_t* stable = nullptr;  // instead of data: bytes the feeder keeps
  };
  static constexpr size_t kBlockSize = 1u << 20;
  static constexpr size_t kBlocks = 4;

  Block TakeFreeBlock();
  void HandOver();
  void Run();

  FileDigestCheck& check_;
  StableSink stable_sink_;
  std::atomic<bool> stable_sink_stopped_{false};
  Block filling_;  // the downloading thread's alone
  std::mutex mutex_;
  std::condition_variable ready_, room_;
  std::deque<Block> full_, free_;
  size_t allocated_ = 0;
  bool closed_ = false;
  bool busy_ = false;  // the worker hashes a block outside the lock
  std::thread worker_;  // last: it starts once everything above exists
};

}  // namespace tw
