#include "engine/module_download.h"

#include <optional>
#include <string>

#include "catalogue/path_mapping.h"
#include "engine/engine_context.h"
#include "transport/repository.h"

namespace tw {
namespace {

// Hands each piece to the observer and then to the staging file, which is
// opened with the first piece: a download that brings nothing touches no
// folder.
class StagingSink : public DownloadSink {
 public:
  StagingSink(EngineContext& ctx, std::string_view target, DownloadObserver* observer)
      : ctx_(ctx), target_(target), observer_(observer) {}

  bool Begin(long long length) override {
    total_ = length;
    return true;
  }
  bool Write(std::span<const std::uint8_t> bytes) override {
    if (observer_ && !observer_->OnBytes(bytes)) return false;
    if (!staged_ && !Open()) return false;
    if (ReplaceResult written = staged_->Write(bytes); !written) {
      file_error_ = written.error();
      return false;
    }
    received_ += bytes.size();
    if (observer_) observer_->OnProgress(received_, total_);
    return true;
  }
  bool Cancelled() override { return observer_ && observer_->CancelRequested(); }

  std::optional<StagedFile> staged_;
  std::optional<ErrorRecord> file_error_;
  std::uint64_t received_ = 0;

 private:
  bool Open() {
    auto staged = StagedFile::Open(ctx_, target_);
    if (!staged) {
      file_error_ = staged.error();
      return false;
    }
    staged_.emplace(std::move(*staged));
    return true;
  }

  EngineContext& ctx_;
  std::string target_;
  DownloadObserver* observer_;
  long long total_ = -1;
};

DownloadError FromFetch(FetchResult result) {
  switch (result) {
    case FetchResult::NotFound: return DownloadError::NotAvailable;
    case FetchResult::TooLarge: return DownloadError::TooLarge;
    case FetchResult::TooSlow: return DownloadError::TooSlow;
    case FetchResult::Cancelled: return DownloadError::Cancelled;
    case FetchResult::SinkRefused: return DownloadError::Refused;
    default: return DownloadError::Interrupted;
  }
}

}  // namespace

Expected<StagedFile, DownloadFailure> DownloadToStaging(EngineContext& ctx, std::string_view target,
                                                        std::string_view remote_path,
                                                        DownloadObserver* observer) {
  StagingSink sink(ctx, target, observer);
  DateValue last_modified;
  const FetchResult result = ctx.repository.HttpGetToSink(remote_path, sink, last_modified);
  if (sink.file_error_) return Fail(DownloadFailure{DownloadError::StagingFile, sink.file_error_});
  if (result != FetchResult::Done) return Fail(DownloadFailure{FromFetch(result), std::nullopt});
  // Fewer than two bytes has always meant a failed download.
  if (sink.received_ < 2) return Fail(DownloadFailure{DownloadError::NotAvailable, std::nullopt});
  StagedFile& staged = *sink.staged_;
  if (ReplaceResult finished = staged.Finish(last_modified); !finished)
    return Fail(DownloadFailure{DownloadError::StagingFile, finished.error()});
  return std::move(staged);
}

Expected<StagedFile, DownloadFailure> DownloadModuleToStaging(EngineContext& ctx, std::string_view module,
                                                              DownloadObserver* observer) {
  return DownloadToStaging(ctx, ctx.paths.ResolvePath(module, false), ctx.paths.ResolvePath(module, true),
                           observer);
}

ReplaceResult ReplaceFromStaging(StagedFile staged) { return staged.Commit(); }

}  // namespace tw
