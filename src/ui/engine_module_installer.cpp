#include "ui/engine_module_installer.h"

#include "engine/engine_context.h"
#include "engine/file_replacement.h"
#include "engine/install.h"
#include "engine/processes.h"
#include "engine/self_update.h"
#include "transport/repository.h"

namespace tw {

std::string EngineModuleInstaller::RepositoryURL() { return ctx_.repository.URL(); }

void EngineModuleInstaller::SelfUpdate() { tw::SelfUpdate(ctx_); }

DownloadOutcome EngineModuleInstaller::Download(std::string_view remote_path, std::string_view local_path,
                                                const DownloadProgress& progress,
                                                const std::atomic<bool>& cancel) {
  Discard(local_path);
  if (cancel) return {DownloadStatus::Cancelled, {}};
  DownloadOutcome outcome;
  ByteBuffer body = ctx_.repository.HttpGetBytes(remote_path, outcome.last_modified);
  // The whole body arrives in one piece here, so a cancel can only take
  // effect once it is in.
  if (cancel) return {DownloadStatus::Cancelled, {}};
  if (body.size() < 2) return outcome;
  if (progress) progress(body.size(), body.size());
  pending_path_ = std::string(local_path);
  pending_body_ = std::move(body);
  outcome.status = DownloadStatus::Done;
  return outcome;
}

ReplaceOutcome EngineModuleInstaller::Replace(std::string_view local_path, DateValue last_modified) {
  if (pending_path_.empty() || pending_path_ != local_path)
    return ReplaceOutcome::Failed({0, "UpdateFile", "Nessun file scaricato da installare"});
  const ByteBuffer body = std::move(pending_body_);
  pending_path_.clear();
  if (auto error = UpdateFile(ctx_, local_path, body.span(), last_modified))
    return ReplaceOutcome::Failed(std::move(*error));
  return ReplaceOutcome::Done();
}

void EngineModuleInstaller::Discard(std::string_view) {
  pending_path_.clear();
  pending_body_ = ByteBuffer();
}

void EngineModuleInstaller::Register(std::string_view local_path, std::string_view kind) {
  RegisterModuleFile(ctx_, local_path, kind);
}

void EngineModuleInstaller::RunAndWait(std::string_view command_line) {
  tw::RunAndWait(ctx_.processes, command_line, -1);
}

void EngineModuleInstaller::ShellOpen(std::string_view program, std::string_view arguments) {
  tw::ShellOpen(ctx_.processes, program, arguments, "", "");
}

}  // namespace tw
