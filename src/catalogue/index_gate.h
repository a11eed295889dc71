// The repository's index as the program holds to it. With a key configured
// the index comes first: until one is accepted nothing is offered or
// installed, and an accepted one is the only word on every file (its path,
// size, digest and date). Without a key an index the repository has is
// used all the same, for speed, but none is required.
//
// An accepted index raises a floor kept per repository location in the
// settings (its serial, its digest and its repository's name), written
// only upward, so that an older index, a replayed one or one of another
// repository is never taken again, across runs.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "catalogue/document_cache.h"
#include "trust/repository_index.h"
#include "transport/repository.h"
#include "trust/trust_policy.h"

namespace tw {

class Repository;
class SettingsStore;

// Error numbers of a refused index, beside those of a file's digest.
inline constexpr int kIndexMissingError = 30011;
inline constexpr int kIndexUnreadableError = 30012;
inline constexpr int kIndexUnsignedError = 30013;
inline constexpr int kIndexExpiredError = 30014;
inline constexpr int kIndexOtherRepositoryError = 30015;
inline constexpr int kIndexSerialReusedError = 30016;
inline constexpr int kIndexOlderError = 30017;
inline constexpr int kKeyConfigurationError = 30018;
inline constexpr int kDocumentNotIndexedError = 30019;
// No index arrived in time (15 s to its first byte, 60 s in all).
inline constexpr int kRepositoryUnreachableError = 30020;

// "Errore 30019: <description> (<detail>)": a refusal as it is shown.
std::string IndexErrorText(int number, std::string_view detail);

// What the settings hold of a location.
struct IndexFloor {
  std::uint64_t serial = 0;   // the highest accepted (or MinSerial)
  std::string sha256;         // hex digest of the index accepted at `serial`
  std::string repository;     // pinned name; "" until the first accepted index
};

enum class IndexDecision {
  NoIndex,      // no key and no index: the repository is read as it always was
  Accept,       // a new index rules
  KeepCurrent,  // an older one was served: the accepted one stays (with a note)
  Refuse,       // nothing is offered or installed
};

struct IndexVerdict {
  IndexDecision decision = IndexDecision::NoIndex;
  std::shared_ptr<const RepositoryIndex> index;  // with Accept
  int number = 0;                                // with Refuse and KeepCurrent
  std::string message;                           // Italian, with the number
};

// An index read (its signature judged, its text parsed), with the digest of
// the bytes it was read from; shared between the thread that read it and
// those that use it.
struct IndexReadingOf {
  crypto::Sha256Digest sha256{};
  Expected<IndexReading, IndexError> reading;
};
using SharedIndexReading = std::shared_ptr<const IndexReadingOf>;
// `bytes` read against `anchors`.
SharedIndexReading ReadSharedIndex(std::string_view bytes, const TrustAnchors& anchors);

// `bytes`: the index as served, nothing when the repository gave none.
// `current`: the index accepted earlier in this process, if any. `now`:
// Unix seconds. `local_time`: shows a Unix time in the user's time.
// `reading`, when given, is `bytes` already read against the policy's
// anchors; it counts only when its digest is that of `bytes`, and otherwise
// they are read here.
IndexVerdict JudgeIndex(const std::optional<std::string>& bytes, const TrustPolicy& trust, const IndexFloor& floor,
                        const RepositoryIndex* current, std::int64_t now,
                        const std::function<std::string(std::int64_t)>& local_time,
                        SharedIndexReading reading = nullptr);

// The floor of `location` in the settings, MinSerial and Repository of
// [Tarnwick] included.
IndexFloor ReadIndexFloor(SettingsStore& settings, std::string_view location);
// Raises the floor to `index` (whose bytes hash to `sha256`): never lowers it.
void RaiseIndexFloor(SettingsStore& settings, std::string_view location, const RepositoryIndex& index,
                     std::string_view sha256);

struct IndexClock {
  std::function<std::int64_t()> unix_now;   // wall clock, for expiry
  std::function<std::int64_t()> monotonic;  // seconds, for how long ago the index was asked
  std::function<std::string(std::int64_t)> local_time;
};
// The system's clocks; local times shown with the offset `utc_bias` gives
// (minutes, UTC = local + bias).
IndexClock SystemIndexClock(std::function<int()> utc_bias);

// The index of one repository location over the life of a process.
class IndexGate {
 public:
  // `cache`, when given, keeps the accepted index between runs, so that an
  // unchanged one costs a 304.
  IndexGate(Repository& repository, SettingsStore& settings, const TrustPolicy& trust, std::string location,
            IndexClock clock, DocumentCache* cache = nullptr);

  // At the start of an operation: asks for the index when it was never
  // asked, or last asked more than a minute ago. True when the documents
  // read so far no longer count (another index rules, or none does now).
  bool BeginOperation();

  // An index rules: documents and files are judged by it alone.
  const RepositoryIndex* Ruling() const { return ruling_.get(); }
  // Nothing may be offered or installed (keys are configured and no index
  // is accepted).
  bool Refused() const { return refused_; }
  // The refusal or note of the last ask, once per operation; "" when none.
  const std::string& Message() const { return message_; }
  // Why the index in force is refused, while it is; "" otherwise.
  const std::string& Refusal() const { return refusal_; }

  // A reading of the kept index made elsewhere, when it is ready; nothing
  // otherwise (the gate then reads it itself rather than wait).
  using ReadingSource = std::function<SharedIndexReading()>;
  // Told of the index kept from an earlier ask, before the repository is
  // asked whether it still stands; may offer a source of its reading.
  using KeptIndexListener = std::function<ReadingSource(const DocumentCache::Index& kept)>;
  void SetKeptIndexListener(KeptIndexListener listener) { kept_listener_ = std::move(listener); }

 private:
  // The index as it stands now: the cached one when the repository
  // answers 304, nothing when there is none or no answer came. `fresh`
  // tells bytes that came over the wire, to be cached once accepted.
  // `kept_reading`: where a reading of the cached copy may be had, when
  // the cached copy is what comes back.
  std::optional<std::string> FetchIndex(Validators& fresh_validators, bool& fresh, bool& answered,
                                        ReadingSource& kept_reading);

  Repository& repository_;
  SettingsStore& settings_;
  const TrustPolicy& trust_;
  std::string location_;
  IndexClock clock_;
  DocumentCache* cache_;
  KeptIndexListener kept_listener_;
  std::shared_ptr<const RepositoryIndex> ruling_;
  std::optional<std::int64_t> asked_at_;
  bool refused_ = false;
  std::string message_;
  std::string refusal_;
};

}  // namespace tw
