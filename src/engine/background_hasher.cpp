#include "engine/background_hasher.h"

#include <algorithm>
#include <cstring>

namespace tw {

BackgroundHasher::BackgroundHasher(FileDigestCheck& check) : check_(check), worker_([this] { Run(); }) {}

void BackgroundHasher::Feed(std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    if (!filling_.data) filling_ = TakeFreeBlock();
    const size_t room = kBlockSize - filling_.used;
    const size_t n = std::min(room, bytes.size());
    std::memcpy(filling_.data.get() + filling_.used, bytes.data(), n);
    filling_.used += n;
    bytes = bytes.subspan(n);
    if (filling_.used == kBlockSize) HandOver();
  }
}

void BackgroundHasher::FeedStable(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return;
  if (filling_.used > 0) HandOver();  // what was copied before comes first
  {
    std::lock_guard lock(mutex_);
    full_.push_back(Block{nullptr, bytes.size(), bytes.data()});
  }
  ready_.notify_one();
}

BackgroundHasher::Block BackgroundHasher::TakeFreeBlock() {
  std::unique_lock lock(mutex_);
  // Small files never need more than one block: they are made only when
  // none is free.
  if (free_.empty() && allocated_ < kBlocks) {
    ++allocated_;
    return Block{std::make_unique_for_overwrite<std::uint8_t[]>(kBlockSize), 0};
  }
  room_.wait(lock, [&] { return !free_.empty(); });
  Block block = std::move(free_.front());
  free_.pop_front();
  block.used = 0;
  return block;
}

void BackgroundHasher::HandOver() {
  {
    std::lock_guard lock(mutex_);
    full_.push_back(std::move(filling_));
  }
  filling_ = Block{};
  ready_.notify_one();
}

void BackgroundHasher::Restart() {
  std::unique_lock lock(mutex_);
  if (filling_.data) free_.push_back(std::move(filling_));
  filling_ = Block{};
  for (Block& block : full_)
    if (block.data) free_.push_back(std::move(block));
  full_.clear();
  room_.wait(lock, [&] { return !busy_; });
  check_.Finish();  // the outcome of the abandoned bytes; the check starts over
}

void BackgroundHasher::Drain() {
  if (!worker_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    if (filling_.used > 0) full_.push_back(std::move(filling_));
    filling_ = Block{};
    closed_ = true;
  }
  ready_.notify_one();
  worker_.join();
}

void BackgroundHasher::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    ready_.wait(lock, [&] { return closed_ || !full_.empty(); });
    if (full_.empty()) return;
    Block block = std::move(full_.front());
    full_.pop_front();
    busy_ = true;
    lock.unlock();
    const std::span<const std::uint8_t> piece(block.stable ? block.stable : block.data.get(), block.used);
    check_.Update(piece);
    if (block.stable && stable_sink_ && !StableSinkStopped() && !stable_sink_(piece))
      stable_sink_stopped_.store(true, std::memory_order_relaxed);
    lock.lock();
    busy_ = false;
    if (block.data) free_.push_back(std::move(block));
    room_.notify_all();
  }
}

}  // namespace tw
