#include "engine/checked_download.h"

#include <string>

#include "catalogue/catalogue.h"
#include "trust/file_digest.h"
#include "catalogue/path_mapping.h"
#include "trust/trust_policy.h"
#include "engine/background_hasher.h"
#include "engine/digest_error.h"
#include "engine/engine_context.h"

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

 private:
  BackgroundHasher& hasher_;
  DownloadObserver* inner_;
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
  const std::string expected = document->GetKey("Release", std::string(kSha256Key));
  const TrustPolicy& policy = ctx.catalogue.Trust();
  FileDigestCheck check(expected, policy);
  if (!check.Wanted()) {
    // Nothing to compute: no digest and none required, or one that no file
    // can match, which is refused before anything is fetched.
    const DigestOutcome outcome = check.Finish();
    if (!DigestAllowsInstall(outcome)) return Fail(Unverified(outcome));
    return Dated(DownloadToStaging(ctx, target, remote_path, observer), *document);
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
  return Dated(std::move(staged), *document);
}

Expected<StagedFile, DownloadFailure> DownloadCheckedModule(EngineContext& ctx, std::string_view module,
                                                            DownloadObserver* observer) {
  return DownloadCheckedToStaging(ctx, module, ctx.paths.ResolvePath(module, false),
                                  ctx.paths.ResolvePath(module, true), observer);
}

}  // namespace tw
