// The settings store on QSettings: one INI file per user,
// $XDG_CONFIG_HOME/<application>/<product>.ini. Writes are gathered and
// written out together (by the event loop, before a read, and when the
// store goes), each time under QSettings' lock file and merged with what is
// on disk, so two processes writing together (the main window and the
// automation server) keep each other's entries. Gathering matters: each
// write-out rewrites and flushes the whole file, which per entry would cost
// more than the file replacement that stored the entry.
#pragma once

#include <QSettings>
#include <map>
#include <memory>
#include <string>

#include "platform/settings_store.h"

namespace tw {

class QtSettingsStore : public SettingsStore {
 public:
  explicit QtSettingsStore(std::string product = "Tarnwick");
  ~QtSettingsStore() override;

  std::string Read(std::string_view application, std::string_view section, std::string_view key,
                   std::string_view default_value) override;
  bool Write(std::string_view application, std::string_view section, std::string_view key,
             std::string_view value) override;
  bool Delete(std::string_view application, std::string_view section,
              std::string_view key) override;

  void Flush() override;
  void BeginBatch() override { ++batch_depth_; }
  void EndBatch() override;

  // The file that holds `application`'s settings.
  std::string FilePath(std::string_view application);

 private:
  struct File {
    std::unique_ptr<QSettings> settings;
    bool synced_in_batch = false;
  };
  File& For(std::string_view application);

  std::string product_;
  std::map<std::string, File, std::less<>> files_;
  int batch_depth_ = 0;
};

}  // namespace tw
