// The update run's installer over the update engine: the download is held
// in memory until it is put in place.
#pragma once

#include <string>

#include "common/byte_buffer.h"
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
  void ShellOpen(std::string_view program, std::string_view arguments) override;

 private:
  EngineContext& ctx_;
  // The one download fetched and not yet put in place.
  std::string pending_path_;
  ByteBuffer pending_body_;
};

}  // namespace tw
