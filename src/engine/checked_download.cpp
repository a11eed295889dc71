#include "engine/checked_download.h"

#include <string>

#include "catalogue/catalogue.h"
#include "common/text.h"
#include "platform/system_info.h"
#include "trust/file_digest.h"
#include "catalogue/path_mapping.h"
#include "trust/trust_policy.h"
#include "engine/background_hasher.h"
#include "engine/digest_error.h"
#include "engine/engine_context.h"
#include "engine/patch_download.h"

namespace tw {
namespace {

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
  void OnNote(const std::string& line) override {
    if (inner_) inner_->OnNote(line);
    else DownloadObserver::OnNote(line);
  }
  bool OnLength(long long length) override { return !inner_ || inner_->OnLength(length); }
  std::optional<DateValue> FileDate() override { return inner_ ? inner_->FileDate() : std::nullopt; }

 private:
  BackgroundHasher& hasher_;
  DownloadObserver* inner_;
};

// A file as the ruling index lists it: an announced length other than its
// size is refused before anything is written, no more than its size plus
// one byte is taken, and the installed file gets the index's date.
class IndexedObserver : public DownloadObserver {
 public:
  IndexedObserver(const IndexEntry& entry, std::optional<DateValue> date, DownloadObserver* inner)
      : entry_(entry), date_(date), inner_(inner) {}
  bool OnBytes(std::span<const std::uint8_t> bytes) override {
    received_ += bytes.size();
    if (received_ > entry_.size) return false;
    return !inner_ || inner_->OnBytes(bytes);
  }
  void OnProgress(std::uint64_t received, std::int64_t total) override {
    if (inner_) inner_->OnProgress(received, total);
  }
  bool CancelRequested() override { return inner_ && inner_->CancelRequested(); }
  bool OnRestart() override {
    received_ = 0;
    return !inner_ || inner_->OnRestart();
  }
  bool OnLength(long long length) override {
    if (length >= 0 && static_cast<std::uint64_t>(length) != entry_.size) return false;
    return !inner_ || inner_->OnLength(length);
  }
  std::optional<DateValue> FileDate() override { return date_; }

 private:
  const IndexEntry& entry_;
  std::optional<DateValue> date_;
  DownloadObserver* inner_;
  std::uint64_t received_ = 0;
};

DownloadFailure Unverified(DigestOutcome outcome) {
  return DownloadFailure{DownloadError::Unverified, DigestFailure(outcome)};
}

// The catalogue compared the module's file by its HEAD's date: that date
// is recorded, or a GET that dates the file earlier would make every run
// download it again.
Expected<StagedFile, DownloadFailure> Dated(Expected<StagedFile, DownloadFailure> staged,
                                            const ModuleINIInfo& document) {
  if (staged && !document.LastModifiedDate.IsZero()) staged->RecordDate(document.LastModifiedDate);
  return staged;
}

}  // namespace

Expected<StagedFile, DownloadFailure> DownloadCheckedToStaging(EngineContext& ctx, std::string_view module,
                                                               std::string_view target,
                                                               std::string_view remote_path,
                                                               DownloadObserver* observer) {
  const auto document = ctx.catalogue.LoadModuleINI(ctx.paths.GenericPath(module));
  std::string expected = document->GetKey("Release", std::string(kSha256Key));
  const TrustPolicy& policy = ctx.catalogue.Trust();
  const IndexGate& index = ctx.catalogue.Index();
  // Keys and no accepted index: nothing is installed.
  if (index.Refused()) return Fail(Unverified(DigestOutcome::Missing));
  std::optional<IndexedObserver> indexed;
  if (const RepositoryIndex* ruling = index.Ruling()) {
    // The index is the word on the file; a digest the document gives must
    // agree with it.
    const IndexEntry* entry = ruling->Find(remote_path);
    if (!entry) return Fail(Unverified(DigestOutcome::Missing));
    const std::string listed = crypto::ToHex(entry->sha256);
    if (!TrimBlanks(expected).empty() && !EqualsIgnoreCase(TrimBlanks(expected), listed))
      return Fail(Unverified(DigestOutcome::Mismatch));
    expected = listed;
    std::optional<DateValue> date;
    if (entry->date)
      date = DateValue::FromUnixSeconds(*entry->date).AddMinutes(-ctx.system.CurrentUtcBias());
    indexed.emplace(*entry, date, observer);
    observer = &*indexed;
  }
  FileDigestCheck check(expected, policy);
  if (!check.Wanted()) {
    // Nothing to compute: no digest and none required, or one that no file
    // can match, which is refused before anything is fetched.
    const DigestOutcome outcome = check.Finish();
    if (!DigestAllowsInstall(outcome)) return Fail(Unverified(outcome));
    return Dated(DownloadToStaging(ctx, target, remote_path, observer), *document);
  }
  // A patch from the installed version, when the document offers one; the
  // whole file when it does not or the patch cannot be used.
  const std::string installed = ctx.paths.ResolvePath(ctx.paths.GenericPath(module), false);
  // The program's ".update" copy is not where it will be installed: its
  // digest is not kept.
  const auto record_digest = [&](StagedFile& staged) {
    if (target == installed) staged.RecordDigest(ToLower(TrimBlanks(expected)));
  };
  if (auto patched = DownloadPatchedToStaging(ctx, *document, installed, target, remote_path, expected, observer)) {
    if (*patched) record_digest(**patched);
    return std::move(*patched);
  }
  BackgroundHasher hasher(check);
  DigestingObserver digesting(hasher, observer);
  auto staged = DownloadToStaging(ctx, target, remote_path, &digesting);
  hasher.Drain();
  if (!staged) return staged;
  // Returning without the staged file drops it: ".new" goes, the target
  // stays as it was.
  const DigestOutcome outcome = check.Finish();
  if (!DigestAllowsInstall(outcome)) {
    // Bytes kept from a broken attempt may be what spoiled the file: kept,
    // every later attempt would go on from them and fail the same way. The
    // staged file still holds the folder's lock.
    staged->DropPart();
    return Fail(Unverified(outcome));
  }
  if (outcome == DigestOutcome::Matches) record_digest(*staged);
  return Dated(std::move(staged), *document);
}

Expected<StagedFile, DownloadFailure> DownloadCheckedModule(EngineContext& ctx, std::string_view module,
                                                            DownloadObserver* observer) {
  return DownloadCheckedToStaging(ctx, module, ctx.paths.ResolvePath(module, false),
                                  ctx.paths.ResolvePath(module, true), observer);
}

}  // namespace tw
