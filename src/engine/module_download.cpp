#include "engine/module_download.h"

#include <cstdio>
#include <optional>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/path_mapping.h"
#include "engine/engine_context.h"
#include "platform/file_system.h"
#include "transport/http_date.h"
#include "transport/repository.h"

namespace tw {
namespace {

// Hands each piece to the observer and then to the staging file, which is
// opened with the first piece: a download that brings nothing touches no
// folder. Bytes kept from a broken attempt (".part") are replayed first
// when the repository sends only the rest, so the observer and the staging
// file see the whole content in order; the observer is not shown again
// what it saw in an earlier attempt of the same download.
class StagingSink : public DownloadSink {
 public:
  StagingSink(EngineContext& ctx, std::string_view target, DownloadObserver* observer,
              std::uint64_t observed)
      : observed_(observed), ctx_(ctx), target_(target), part_(PartPath(target)), observer_(observer) {}

  std::optional<ResumePoint> ResumeFrom() override {
    // Read through the staging file's folder, never through a link.
    if (!ctx_.files.NormalFileExists(part_) || !Open()) return std::nullopt;
    long long seconds = 0;
    auto reader = staged_->OpenPart(seconds);
    if (!reader || reader->Size() == 0) return std::nullopt;
    reader_ = std::move(reader);
    return ResumePoint{reader_->Size(), FormatRfc1123Date(seconds)};
  }
  void LastModified(std::string_view text) override {
    const DateValue utc = ParseHttpDate(text, 0);
    if (utc.Serial() != 0.0) validator_seconds_ = utc.ToUnixSeconds();
  }
  bool Begin(long long length) override {
    if (file_error_) return false;
    total_ = length;
    if (observer_ && !observer_->OnLength(length)) return false;
    // The repository's file is not the one the kept bytes came from.
    if (reader_) DropPart();
    if (observed_ > 0 && observer_ && !observer_->OnRestart()) return false;
    observed_ = 0;
    return true;
  }
  bool Continue(unsigned long long offset, long long remaining) override {
    if (!reader_ || offset != reader_->Size()) return false;
    total_ = static_cast<long long>(offset) + remaining;
    if (observer_ && !observer_->OnLength(total_)) return false;
    std::vector<std::uint8_t> buffer(1u << 20);
    for (;;) {
      auto read = reader_->Read(buffer);
      if (!read) {
        file_error_ = ErrorRecord{read.error().number, "UpdateFile", read.error().description};
        return false;
      }
      if (*read == 0) break;
      if (!Write(std::span<const std::uint8_t>(buffer.data(), *read))) return false;
    }
    reader_.reset();
    return position_ == offset;
  }
  bool Write(std::span<const std::uint8_t> bytes) override {
    if (file_error_) return false;
    if (observer_ && position_ + bytes.size() > observed_) {
      const auto unseen = bytes.subspan(observed_ > position_ ? observed_ - position_ : 0);
      if (!observer_->OnBytes(unseen)) return false;
      observed_ = position_ + bytes.size();
    }
    if (!staged_ && !Open()) return false;
    if (ReplaceResult written = staged_->Write(bytes); !written) {
      file_error_ = written.error();
      return false;
    }
    position_ += bytes.size();
    if (observer_) observer_->OnProgress(position_, total_);
    return true;
  }
  bool Cancelled() override { return observer_ && observer_->CancelRequested(); }

  void DropPart() {
    reader_.reset();
    if (staged_) staged_->DropPart();
    else ctx_.files.Delete(part_);
  }

  // After a transfer that broke off: keeps what arrived for the next
  // attempt, provided the repository dated the file.
  bool KeepPart() {
    return staged_ && validator_seconds_ && staged_->KeepAsPart(*validator_seconds_);
  }

  std::optional<StagedFile> staged_;
  std::optional<ErrorRecord> file_error_;
  std::uint64_t position_ = 0;  // bytes of the content written so far
  std::uint64_t observed_;      // bytes of the content the observer has seen

 private:
  bool Open() {
    if (staged_) return true;
    // Inside the transfer: a turn another process holds is not waited for
    // here (see DownloadToStaging).
    auto staged = StagedFile::Open(ctx_, target_, false);
    if (!staged) {
      file_error_ = staged.error();
      return false;
    }
    staged_.emplace(std::move(*staged));
    return true;
  }

  EngineContext& ctx_;
  std::string target_, part_;
  DownloadObserver* observer_;
  long long total_ = -1;
  std::unique_ptr<FileReader> reader_;
  std::optional<long long> validator_seconds_;
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

// Attempts after the first one that broke off.
constexpr int kRetries = 2;

}  // namespace

void DownloadObserver::OnNote(const std::string& line) { std::fprintf(stderr, "Tarnwick: %s\n", line.c_str()); }

Expected<StagedFile, DownloadFailure> DownloadToStaging(EngineContext& ctx, std::string_view target,
                                                        std::string_view remote_path,
                                                        DownloadObserver* observer) {
  std::uint64_t observed = 0;
  // Turns are waited for here, outside the transfer, where the event loop
  // may run; one that another process takes as the transfer begins stops
  // the transfer, which begins again when the turn is free.
  TurnWait waited;
  if (!AwaitTurn(ctx, target, waited))
    return Fail(DownloadFailure{DownloadError::StagingFile, BusyReplacementError()});
  for (int attempt = 0;; ++attempt) {
    StagingSink sink(ctx, target, observer, observed);
    DateValue last_modified;
    const FetchResult result = ctx.repository.HttpGetToSink(remote_path, sink, last_modified);
    observed = sink.observed_;
    if (sink.file_error_ && IsBusyTurn(*sink.file_error_) && AwaitTurn(ctx, target, waited, true)) {
      --attempt;  // a turn waited for is no broken attempt
      continue;
    }
    if (sink.file_error_) return Fail(DownloadFailure{DownloadError::StagingFile, sink.file_error_});
    if (result == FetchResult::Done) {
      // Fewer than two bytes has always meant a failed download.
      if (sink.position_ < 2) return Fail(DownloadFailure{DownloadError::NotAvailable, std::nullopt});
      StagedFile& staged = *sink.staged_;
      const std::optional<DateValue> known = observer ? observer->FileDate() : std::nullopt;
      if (ReplaceResult finished = staged.Finish(known ? *known : last_modified); !finished)
        return Fail(DownloadFailure{DownloadError::StagingFile, finished.error()});
      return std::move(staged);
    }
    // A repository that answers the request for the rest with something
    // else would do so every time: the kept bytes go, and the next attempt
    // asks for the whole file.
    if (result == FetchResult::BadRange) {
      sink.DropPart();
      if (attempt >= kRetries) return Fail(DownloadFailure{DownloadError::Interrupted, std::nullopt});
      continue;
    }
    // A connection that broke off after some bytes keeps them, and the
    // next attempt asks for the rest only.
    const bool broke_off = result == FetchResult::Failed || result == FetchResult::TooSlow;
    if (!broke_off || !sink.KeepPart() || attempt >= kRetries)
      return Fail(DownloadFailure{FromFetch(result), std::nullopt});
  }
}

Expected<StagedFile, DownloadFailure> DownloadModuleToStaging(EngineContext& ctx, std::string_view module,
                                                              DownloadObserver* observer) {
  return DownloadToStaging(ctx, ctx.paths.ResolvePath(module, false), ctx.paths.ResolvePath(module, true),
                           observer);
}

ReplaceResult ReplaceFromStaging(StagedFile staged) { return staged.Commit(); }

}  // namespace tw
