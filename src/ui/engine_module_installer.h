// The update run's installer over the update engine: a download streams
// into the staging file of its target and stays there, under the folder's
// replacement lock, until it is put in place or dropped.
#pragma once

#include <optional>
#include <string>

#include "engine/error_record.h"
#include "engine/file_replacement.h"
#include "ui/module_installer.h"

namespace tw {

struct EngineContext;

class EngineModuleInstaller : public ModuleInstaller {
 public:
  explicit EngineModuleInstaller(EngineContext& ctx) : ctx_(ctx) {}

  std::string RepositoryURL() override;
  void SelfUpdate() override;
  DownloadOutcome Download(std::string_view remote_path, std::string_view local_path,
                           const DownloadProgress& progress, const std::atomic<bool>& cancel) override;
  ReplaceOutcome Replace(std::string_view local_path, DateValue last_modified) override;
  void Discard(std::string_view local_path) override;
  void Register(std::string_view local_path, std::string_view kind) override;
  void RunAndWait(std::string_view command_line) override;
  void RecordPostSetups(std::string_view local_path, const std::vector<std::string>& programs) override;
  void RunPendingPostSetups() override;
  void ShellOpen(std::string_view program, std::string_view arguments) override;
  std::optional<ReadFault> TakeListFault() override;
  void AbortRequests() override;

 private:
  EngineContext& ctx_;
  // The one download staged and not yet put in place, or the reason its
  // staging file could not be written (a failure of the replacement, as
  // the user sees it, not of the download).
  std::string pending_path_;
  std::optional<StagedFile> pending_;
  std::optional<ErrorRecord> pending_error_;
  // The post-setup programs of the file Replace is to put in place next.
  std::vector<std::string> post_setups_;
};

}  // namespace tw
