#include "engine/checked_download.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/file_digest.h"
#include "catalogue/path_mapping.h"
#include "catalogue/trust_policy.h"
#include "engine/digest_error.h"
#include "engine/engine_context.h"

namespace tw {
namespace {

// Hashes on a thread of its own while the download goes on: the network
// and the disk (the final flush above all) are the slow parts, so a second
// core hides the digest's cost. Pieces wait in a bounded queue, so memory
// stays small however large the file.
class BackgroundHasher {
 public:
  explicit BackgroundHasher(FileDigestCheck& check) : check_(check), worker_([this] { Run(); }) {}
  ~BackgroundHasher() { Drain(); }
  BackgroundHasher(const BackgroundHasher&) = delete;
  BackgroundHasher& operator=(const BackgroundHasher&) = delete;

  // Pieces are gathered into blocks, so that the threads meet once a block
  // rather than once a network read.
  void Feed(std::span<const std::uint8_t> bytes) {
    std::unique_lock lock(mutex_);
    // With one block queued the worker waits for the next: never wait then.
    room_.wait(lock, [&] { return queued_ + bytes.size() <= kQueueLimit || pieces_.size() <= 1; });
    if (pieces_.empty() || pieces_.back().size() + bytes.size() > kBlock) {
      pieces_.emplace_back();
      pieces_.back().reserve(std::max(kBlock, bytes.size()));
      if (pieces_.size() > 1) ready_.notify_one();
    }
    pieces_.back().insert(pieces_.back().end(), bytes.begin(), bytes.end());
    queued_ += bytes.size();
  }
  // Forgets everything fed so far: the content starts again from its
  // first byte.
  void Restart() {
    std::unique_lock lock(mutex_);
    pieces_.clear();
    queued_ = 0;
    room_.wait(lock, [&] { return !busy_; });
    check_.Finish();  // the outcome of the abandoned bytes; the check starts over
    room_.notify_one();
  }
  // Returns once every piece fed has been hashed.
  void Drain() {
    {
      std::lock_guard lock(mutex_);
      closed_ = true;
    }
    ready_.notify_one();
    if (worker_.joinable()) worker_.join();
  }

 private:
  static constexpr size_t kBlock = 1u << 20;
  static constexpr size_t kQueueLimit = 4 * kBlock;

  void Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      // The last block is still filling until the download ends.
      ready_.wait(lock, [&] { return closed_ || pieces_.size() > 1; });
      if (pieces_.empty()) return;
      std::vector<std::uint8_t> piece = std::move(pieces_.front());
      pieces_.pop_front();
      busy_ = true;
      lock.unlock();
      check_.Update(piece);
      lock.lock();
      busy_ = false;
      queued_ -= std::min(queued_, piece.size());
      room_.notify_all();
    }
  }

  FileDigestCheck& check_;
  std::mutex mutex_;
  std::condition_variable ready_, room_;
  std::deque<std::vector<std::uint8_t>> pieces_;
  size_t queued_ = 0;
  bool closed_ = false;
  bool busy_ = false;  // the worker hashes a block outside the lock
  std::thread worker_;  // last: it starts once everything above exists
};

// Feeds the hasher with every piece before the staging file sees it, and
// passes everything on to the caller's observer.
class DigestingObserver : public DownloadObserver {
 public:
  DigestingObserver(BackgroundHasher& hasher, DownloadObserver* inner) : hasher_(hasher), inner_(inner) {}
  bool OnBytes(std::span<const std::uint8_t> bytes) override {
    hasher_.Feed(bytes);
    return !inner_ || inner_->OnBytes(bytes);
  }
  void OnProgress(std::uint64_t received, std::int64_t total) override {
    if (inner_) inner_->OnProgress(received, total);
  }
  bool CancelRequested() override { return inner_ && inner_->CancelRequested(); }
  bool OnRestart() override {
    hasher_.Restart();
    return !inner_ || inner_->OnRestart();
  }

 private:
  BackgroundHasher& hasher_;
  DownloadObserver* inner_;
};

DownloadFailure Unverified(DigestOutcome outcome) {
  return DownloadFailure{DownloadError::Unverified, DigestFailure(outcome)};
}

}  // namespace

Expected<StagedFile, DownloadFailure> DownloadCheckedToStaging(EngineContext& ctx, std::string_view module,
                                                               std::string_view target,
                                                               std::string_view remote_path,
                                                               DownloadObserver* observer) {
  const auto document = ctx.catalogue.LoadModuleINI(ctx.paths.GenericPath(module));
  const std::string expected = document->GetKey("Release", std::string(kSha256Key));
  const TrustPolicy& policy = ctx.catalogue.Trust();
  FileDigestCheck check(expected, policy);
  if (!check.Wanted()) {
    // Nothing to compute: no digest and none required, or one that no file
    // can match, which is refused before anything is fetched.
    const DigestOutcome outcome = check.Finish();
    if (!DigestAllowsInstall(outcome)) return Fail(Unverified(outcome));
    return DownloadToStaging(ctx, target, remote_path, observer);
  }
  BackgroundHasher hasher(check);
  DigestingObserver digesting(hasher, observer);
  auto staged = DownloadToStaging(ctx, target, remote_path, &digesting);
  hasher.Drain();
  if (!staged) return staged;
  // Returning without the staged file drops it: ".new" goes, the target
  // stays as it was.
  const DigestOutcome outcome = check.Finish();
  if (!DigestAllowsInstall(outcome)) return Fail(Unverified(outcome));
  return staged;
}

Expected<StagedFile, DownloadFailure> DownloadCheckedModule(EngineContext& ctx, std::string_view module,
                                                            DownloadObserver* observer) {
  return DownloadCheckedToStaging(ctx, module, ctx.paths.ResolvePath(module, false),
                                  ctx.paths.ResolvePath(module, true), observer);
}

}  // namespace tw
