#include "ui/engine_module_installer.h"

#include "engine/checked_download.h"
#include "engine/engine_context.h"
#include "engine/install.h"
#include "engine/module_download.h"
#include "engine/post_setup_journal.h"
#include "engine/processes.h"
#include "engine/self_update.h"
#include "engine/suite_programs.h"
#include "platform/settings_store.h"
#include "transport/repository.h"

namespace tw {
namespace {

// Hands the transfer's progress to the run and its cancel flag to the
// transfer.
class RunObserver : public DownloadObserver {
 public:
  RunObserver(const DownloadProgress& progress, const std::atomic<bool>& cancel)
      : progress_(progress), cancel_(cancel) {}
  void OnProgress(std::uint64_t received, std::int64_t total) override {
    if (progress_) progress_(received, total > 0 ? static_cast<std::uint64_t>(total) : 0);
  }
  bool CancelRequested() override { return cancel_; }
  void OnNote(const std::string& line) override { notes.push_back(line); }

  std::vector<std::string> notes;

 private:
  const DownloadProgress& progress_;
  const std::atomic<bool>& cancel_;
};

}  // namespace

std::string EngineModuleInstaller::RepositoryURL() { return ctx_.repository.URL(); }

void EngineModuleInstaller::SelfUpdate() { tw::SelfUpdate(ctx_); }

DownloadOutcome EngineModuleInstaller::Download(std::string_view remote_path, std::string_view local_path,
                                                const DownloadProgress& progress,
                                                const std::atomic<bool>& cancel) {
  Discard(local_path);
  if (cancel) return {DownloadStatus::Cancelled, {}, {}};
  RunObserver observer(progress, cancel);
  // The row's local path names the module whose document vouches for it.
  auto staged = DownloadCheckedToStaging(ctx_, local_path, local_path, remote_path, &observer);
  if (!staged) {
    const DownloadFailure& failure = staged.error();
    if (failure.reason == DownloadError::Cancelled) return {DownloadStatus::Cancelled, {}, observer.notes};
    // A file its document does not vouch for is refused the way a failed
    // replacement is: status and log carry the digest's error.
    const bool replacement_failure =
        failure.reason == DownloadError::StagingFile || failure.reason == DownloadError::Unverified;
    if (!replacement_failure || !failure.file) return {DownloadStatus::Failed, {}, observer.notes};
    pending_error_ = failure.file;
  } else {
    pending_.emplace(std::move(*staged));
  }
  pending_path_ = std::string(local_path);
  return {DownloadStatus::Done, {}, observer.notes};
}

ReplaceOutcome EngineModuleInstaller::Replace(std::string_view local_path, DateValue) {
  // The staged file carries the repository's date already.
  if (pending_path_.empty() || pending_path_ != local_path)
    return ReplaceOutcome::Failed({0, "UpdateFile", "Nessun file scaricato da installare"});
  pending_path_.clear();
  if (pending_error_) {
    ErrorRecord error = std::move(*pending_error_);
    pending_error_.reset();
    return ReplaceOutcome::Failed(std::move(error));
  }
  StagedFile staged = std::move(*pending_);
  pending_.reset();
  const std::vector<std::string> programs = std::exchange(post_setups_, {});
  tw::RecordPostSetups(ctx_, local_path, programs);
  if (ReplaceResult result = ReplaceFromStaging(std::move(staged)); !result) {
    if (!programs.empty()) ForgetPostSetups(ctx_, local_path);
    return ReplaceOutcome::Failed(result.error());
  }
  return ReplaceOutcome::Done();
}

void EngineModuleInstaller::Discard(std::string_view) {
  post_setups_.clear();
  pending_path_.clear();
  pending_.reset();  // drops ".new" and releases the folder's lock
  pending_error_.reset();
}

void EngineModuleInstaller::Register(std::string_view local_path, std::string_view kind) {
  RegisterModuleFile(ctx_, local_path, kind);
}

// The programs started may ask the automation server, another process,
// about the modules just installed: the download dates go to disk first.
void EngineModuleInstaller::RunAndWait(std::string_view command_line) {
  ctx_.settings.Flush();
  RunRecordedPostSetup(ctx_, command_line);
}

void EngineModuleInstaller::RecordPostSetups(std::string_view, const std::vector<std::string>& programs) {
  post_setups_ = programs;
}

void EngineModuleInstaller::RunPendingPostSetups() { tw::RunPendingPostSetups(ctx_); }

void EngineModuleInstaller::ShellOpen(std::string_view program, std::string_view arguments) {
  ctx_.settings.Flush();
  tw::ShellOpen(ctx_.processes, program, arguments, "", "");
}

std::optional<ReadFault> EngineModuleInstaller::TakeListFault() { return ctx_.repository.TakeReadFault(); }

void EngineModuleInstaller::AbortRequests() { ctx_.repository.AbortRequests(); }

}  // namespace tw
