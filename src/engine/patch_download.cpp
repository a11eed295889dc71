#include "engine/patch_download.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <future>
#include <memory>
#include <system_error>

#include "catalogue/catalogue.h"
#include "catalogue/module_records.h"
#include "common/text.h"
#include "delta/patch.h"
#include "engine/background_hasher.h"
#include "engine/engine_context.h"
#include "engine/installed_digest.h"
#include "platform/file_system.h"
#include "platform/openssl/crypto.h"
#include "resources/string_table.h"
#include "transport/repository.h"
#include "trust/file_digest.h"
#include "trust/repository_index.h"

namespace tw {
namespace {

// The largest patch an entry may announce: no patch is larger than the
// file it stands for, and no download larger than this.
constexpr std::uint64_t kMaxPatchSize = std::uint64_t{4} << 30;

// Why a patch was not used: the description appended to the log line.
enum class Problem {
  Missing = 1221,
  PatchDigest = 1222,
  Damaged = 1223,
  WindowTooLarge = 1224,
  NoMemory = 1225,
  Unreadable = 1226,
  FileDigest = 1227,
  Interrupted = 1228,
};

Problem FromPatchError(PatchError error) {
  switch (error) {
    case PatchError::WindowTooLarge: return Problem::WindowTooLarge;
    case PatchError::NoMemory: return Problem::NoMemory;
    default: return Problem::Damaged;
  }
}

// The first three fields end at blanks; the path is the rest, since a
// module's name may hold blanks.
std::optional<DeltaEntry> ParseEntry(std::string_view value, std::string_view remote_path) {
  std::vector<std::string_view> parts;
  while (parts.size() < 3) {
    const size_t start = value.find_first_not_of(' ');
    if (start == std::string_view::npos) return std::nullopt;
    value.remove_prefix(start);
    const size_t end = std::min(value.find(' '), value.size());
    parts.push_back(value.substr(0, end));
    value.remove_prefix(end);
  }
  const size_t start = value.find_first_not_of(' ');
  if (start == std::string_view::npos) return std::nullopt;
  parts.push_back(value.substr(start));
  if (!crypto::ParseSha256Hex(parts[0]) || !crypto::ParseSha256Hex(parts[1])) return std::nullopt;
  DeltaEntry entry;
  entry.old_sha256 = ToLower(parts[0]);
  entry.patch_sha256 = ToLower(parts[1]);
  const auto size = std::from_chars(parts[2].data(), parts[2].data() + parts[2].size(), entry.patch_size);
  if (size.ec != std::errc() || size.ptr != parts[2].data() + parts[2].size() || entry.patch_size == 0 ||
      entry.patch_size > kMaxPatchSize)
    return std::nullopt;
  entry.patch_path = std::string(remote_path) + "." + entry.old_sha256.substr(0, 16) + ".zstpatch";
  std::string_view named = parts[3], wanted = entry.patch_path;
  if (named.starts_with('/')) named.remove_prefix(1);
  if (wanted.starts_with('/')) wanted.remove_prefix(1);
  if (!EqualsIgnoreCase(named, wanted)) return std::nullopt;
  return entry;
}

// The installed file's digest worked out on a second core while its patch
// arrives and is applied: on a first run the settings keep no digest, and
// hashing the file before asking for the patch would cost as much as the
// rebuild. Asked for only when one patch is listed, which is then the one
// to try; a file that turns out to be no version the patch starts from
// stops the transfer, and is updated whole as if no patch had been listed.
class BaseCheck {
 public:
  BaseCheck(std::span<const std::uint8_t> bytes, std::string expected) : expected_(std::move(expected)) {
    const auto hash = [bytes]() -> std::optional<std::string> {
      const auto digest = crypto::Sha256Of({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
      if (!digest) return std::nullopt;
      return crypto::ToHex(*digest);
    };
    try {
      digest_ = std::async(std::launch::async, hash);
    } catch (const std::system_error&) {
      // No thread to spare: the digest is worked out here, before the patch.
      std::promise<std::optional<std::string>> now;
      now.set_value(hash());
      digest_ = now.get_future();
    }
  }
  // Whether the digest is known already and is not the patch's base.
  bool KnownOther() {
    if (!known_ && digest_.wait_for(std::chrono::seconds(0)) == std::future_status::ready) known_ = digest_.get();
    return known_ && *known_ != expected_;
  }
  // Waits for the digest; nothing when the file could not be hashed.
  const std::optional<std::string>& Digest() {
    if (!known_) known_ = digest_.get();
    return *known_;
  }

 private:
  std::string expected_;
  std::future<std::optional<std::string>> digest_;
  std::optional<std::optional<std::string>> known_;
};

// Takes the patch's body: counts and hashes its bytes, feeds them to the
// applier, whose output goes to the caller's observer, the digest of the
// rebuilt file and the staging file (opened with the first byte rebuilt).
class PatchSink : public DownloadSink {
 public:
  PatchSink(EngineContext& ctx, std::string_view target, const DeltaEntry& entry,
            std::span<const std::uint8_t> old_file, BackgroundHasher& rebuilt, BaseCheck* base,
            DownloadObserver* observer)
      : ctx_(ctx), target_(target), entry_(entry), rebuilt_(rebuilt), base_(base), observer_(observer),
        applier_(old_file, [this](std::span<const std::uint8_t> bytes) { return Rebuilt(bytes); }) {
    // Bytes the applier keeps are written to the staging file by the
    // hashing thread, beside the decoding.
    rebuilt_.SetStableSink([this](std::span<const std::uint8_t> bytes) {
      if (abandoned_.load(std::memory_order_relaxed)) return false;
      ReplaceResult written = staged_->Write(bytes);
      if (!written) stable_write_error_ = written.error();
      return written.has_value();
    });
  }

  // The hasher's thread may still be writing into the applier's buffer
  // and through this sink: it is done before either goes.
  ~PatchSink() { rebuilt_.Drain(); }

  // The rebuilt file will not be used: what is still queued is not written.
  void AbandonWrites() { abandoned_.store(true, std::memory_order_relaxed); }

  // Once the hasher has drained: a write of its thread that failed.
  void TakeStableWriteError() {
    if (!file_error_ && stable_write_error_) file_error_ = std::move(stable_write_error_);
  }

  bool Begin(long long length) override {
    if (length >= 0 && static_cast<std::uint64_t>(length) != entry_.patch_size) return Refuse(Problem::PatchDigest);
    return true;
  }
  bool Write(std::span<const std::uint8_t> bytes) override {
    if (base_ && base_->KnownOther()) return false;
    received_ += bytes.size();
    if (received_ > entry_.patch_size) return Refuse(Problem::PatchDigest);
    patch_hasher_.Update(bytes);
    if (auto fed = applier_.Feed(bytes); !fed) {
      if (fed.error() != PatchError::OutputRefused) problem_ = FromPatchError(fed.error());
      return false;
    }
    if (observer_) observer_->OnProgress(received_, static_cast<std::int64_t>(entry_.patch_size));
    return true;
  }
  bool Cancelled() override { return observer_ && observer_->CancelRequested(); }

  // After the whole body arrived: the patch must be the one the document
  // names, and must have ended exactly.
  std::optional<Problem> Complete() {
    const auto digest = patch_hasher_.Finish();
    if (received_ != entry_.patch_size || !digest || crypto::ToHex(*digest) != entry_.patch_sha256)
      return Problem::PatchDigest;
    if (auto finished = applier_.Finish(); !finished) return FromPatchError(finished.error());
    return std::nullopt;
  }

  std::optional<Problem> problem_;
  std::optional<ErrorRecord> file_error_;
  std::optional<StagedFile> staged_;
  bool refused_ = false;    // the caller's observer refused a piece
  bool shown_ = false;      // the caller's observer saw rebuilt bytes

 private:
  bool Refuse(Problem problem) {
    problem_ = problem;
    return false;
  }
  bool Rebuilt(std::span<const std::uint8_t> bytes) {
    if (observer_) {
      shown_ = true;
      if (!observer_->OnBytes(bytes)) {
        refused_ = true;
        return false;
      }
    }
    if (!staged_) {
      // Inside the transfer: a turn another process holds is not waited
      // for here, as for a whole file.
      auto staged = StagedFile::Open(ctx_, target_, false);
      if (!staged) {
        file_error_ = staged.error();
        return false;
      }
      staged_.emplace(std::move(*staged));
    }
    // The applier's whole buffer outlives the hashing (drained before the
    // sink goes): hashed and written where it lies, by the hashing thread,
    // once ".new" exists (making it takes locks, and is done here).
    if (applier_.stable_output() && staged_->Created()) {
      rebuilt_.FeedStable(bytes);
      return !rebuilt_.StableSinkStopped();
    }
    rebuilt_.Feed(bytes);
    if (ReplaceResult written = staged_->Write(bytes); !written) {
      file_error_ = written.error();
      return false;
    }
    return true;
  }

  EngineContext& ctx_;
  std::string target_;
  const DeltaEntry& entry_;
  BackgroundHasher& rebuilt_;
  BaseCheck* base_;
  DownloadObserver* observer_;
  crypto::Sha256 patch_hasher_;
  std::uint64_t received_ = 0;
  std::optional<ErrorRecord> stable_write_error_;  // the hashing thread's until it drains
  std::atomic<bool> abandoned_{false};
  PatchApplier applier_;
};

void Note(DownloadObserver* observer, const std::string& line) {
  if (observer) observer->OnNote(line);
  else DownloadObserver().OnNote(line);
}

std::string Bracketed(int id, std::string_view path, std::string_view detail) {
  return std::string(LoadResString(id)) + " [" + std::string(path) + ": " + std::string(detail) + "]";
}

}  // namespace

std::vector<DeltaEntry> DeltaEntries(const ModuleINIInfo& document, std::string_view remote_path) {
  std::vector<DeltaEntry> entries;
  for (const auto& item : document.DeltaKeys)
    if (auto entry = ParseEntry(item.value, remote_path)) entries.push_back(std::move(*entry));
  return entries;
}

// Under an index the patch is one more file the repository's word covers:
// listed at its own path with the digest and size the document gives.
bool PatchListedAsExpected(EngineContext& ctx, const DeltaEntry& entry) {
  const RepositoryIndex* ruling = ctx.catalogue.Index().Ruling();
  if (!ruling) return true;
  const IndexEntry* listed = ruling->Find(entry.patch_path);
  return listed && listed->size == entry.patch_size && crypto::ToHex(listed->sha256) == entry.patch_sha256;
}

std::optional<Expected<StagedFile, DownloadFailure>> DownloadPatchedToStaging(
    EngineContext& ctx, const ModuleINIInfo& document, std::string_view base, std::string_view target,
    std::string_view remote_path, std::string_view expected_sha256, DownloadObserver* observer) {
  // Only a file whose result can be checked is rebuilt.
  if (!crypto::ParseSha256Hex(expected_sha256)) return std::nullopt;
  const std::vector<DeltaEntry> entries = DeltaEntries(document, remote_path);
  if (entries.empty()) return std::nullopt;
  const auto stamp = InstalledStamp(ctx, base);
  if (!stamp) return std::nullopt;
  std::optional<std::string> installed = KeptDigest(ctx, base, *stamp);
  if (!installed && entries.size() > 1) installed = InstalledDigest(ctx, base);
  const DeltaEntry* entry = installed ? nullptr : &entries.front();
  if (installed)
    for (const DeltaEntry& candidate : entries)
      if (candidate.old_sha256 == *installed) entry = &candidate;
  // The installed file is none of the versions the patches start from.
  if (!entry) return std::nullopt;

  auto old_file = ctx.files.MapForReading(base);
  if (!old_file && !installed && InstalledDigest(ctx, base) != entry->old_sha256) return std::nullopt;
  std::optional<BaseCheck> base_check;
  if (old_file && !installed) base_check.emplace((*old_file)->Bytes(), entry->old_sha256);
  const auto give_up = [&](std::optional<Problem> problem,
                           bool shown) -> std::optional<Expected<StagedFile, DownloadFailure>> {
    // A file that is no version the patch starts from is updated whole
    // without a word, as when its digest was known from the start.
    if (base_check && base_check->Digest() != entry->old_sha256) problem.reset();
    if (problem) Note(observer, Bracketed(812, remote_path, LoadResString(static_cast<int>(*problem))));
    if (shown && observer && !observer->OnRestart())
      return Expected<StagedFile, DownloadFailure>(Fail(DownloadFailure{DownloadError::Refused, std::nullopt}));
    return std::nullopt;
  };
  if (!old_file) return give_up(Problem::Unreadable, false);
  if (!PatchListedAsExpected(ctx, *entry)) return give_up(Problem::PatchDigest, false);

  FileDigestCheck check(expected_sha256, true);
  BackgroundHasher hasher(check);
  PatchSink sink(ctx, target, *entry, (*old_file)->Bytes(), hasher, base_check ? &*base_check : nullptr, observer);
  DateValue unused;
  const FetchResult result = ctx.repository.HttpGetToSink(entry->patch_path, sink, unused);
  // The end of the patch may still bring out rebuilt bytes.
  const std::optional<Problem> incomplete = result == FetchResult::Done ? sink.Complete() : std::nullopt;
  if (result != FetchResult::Done || incomplete) sink.AbandonWrites();
  hasher.Drain();
  sink.TakeStableWriteError();
  if (result == FetchResult::Cancelled) return Fail(DownloadFailure{DownloadError::Cancelled, std::nullopt});
  if (sink.refused_) return Fail(DownloadFailure{DownloadError::Refused, std::nullopt});
  if (base_check) {
    const std::optional<std::string>& digest = base_check->Digest();
    if (digest && (*old_file)->Bytes().size() == stamp->size) KeepDigest(ctx, base, *stamp, *digest);
    if (digest != entry->old_sha256) return give_up(std::nullopt, sink.shown_);
  }
  // A staging file that cannot be written fails the whole file's download
  // the same way: no second try.
  if (sink.file_error_) return Fail(DownloadFailure{DownloadError::StagingFile, sink.file_error_});
  if (result != FetchResult::Done) {
    if (sink.problem_) return give_up(*sink.problem_, sink.shown_);
    return give_up(result == FetchResult::NotFound ? Problem::Missing : Problem::Interrupted, sink.shown_);
  }
  if (incomplete) return give_up(*incomplete, sink.shown_);
  if (check.Finish() != DigestOutcome::Matches || !sink.staged_) return give_up(Problem::FileDigest, sink.shown_);
  // Dated as the whole file would have been: the repository's date of it.
  if (ReplaceResult finished = sink.staged_->Finish(document.LastModifiedDate); !finished)
    return Fail(DownloadFailure{DownloadError::StagingFile, finished.error()});
  Note(observer, Bracketed(811, remote_path, std::to_string(entry->patch_size) + " byte"));
  return std::move(*sink.staged_);
}

}  // namespace tw
