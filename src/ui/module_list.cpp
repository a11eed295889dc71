// Filling the module list from the catalogue walk.
#include "catalogue/catalogue.h"
#include "catalogue/module_path_check.h"
#include "catalogue/path_mapping.h"
#include "common/text.h"
#include "platform/file_system.h"
#include "resources/string_table.h"
#include "ui/main_window_controller.h"

namespace tw {

void MainWindowController::FillModuleList(std::string_view module) {
  // A module the path check refuses is never asked for. Said once, or the
  // list would only claim that nothing needs updating (a shell that ate
  // the backslash of "{ESEGUIBILI}\Prog.exe" leads there).
  if (!module.empty() && !refused_module_reported_ && !IsConfinedModulePath(with_.paths, module)) {
    refused_module_reported_ = true;
    AddLog(std::string(LoadResString(810)) + " [" + std::string(module) + "]", LogLevel::Warning);
  }
  // Each fill is an operation of its own: a refusal of the index it reuses
  // is said in the log again.
  with_.catalogue.StartOperation();
  UpdateDictionary updates;
  with_.catalogue.CollectUpdates(updates, module);
  for (const auto& item : updates) {
    if (close_pending_ || closing_) return;
    const ModuleUpdateInfo& info = *item.value;
    ModuleRow row;
    row.key = with_.paths.ResolvePath(info.MetaPath, false);
    // A module listed by an earlier refresh keeps its row as it is.
    if (row_index_.Contains(row.key)) continue;
    row.text = FileNamePart(info.MetaPath);
    row.tag = info.Register;
    row.client_version = info.LocalVersion;
    row.remote_version = info.RemoteVersion;
    row.status = std::string(LoadResString(info.InstallationType == 0 ? 1006 : 1001));

    const size_t index = rows_.size();
    rows_.push_back({row.key, row.text, row.tag, row.status, false});
    row_index_.Add(index, row.key);
    view_.AddRow(row);

    // Each program once, however many modules and refreshes name it; it
    // remembers which rows named it, so that it runs only when one of them
    // was really installed.
    if (info.InstallationType == 0) {
      for (const auto& program : info.PostSetup) {
        const std::string upper = ToUpper(program.value);
        if (!post_setups_.Contains(upper)) post_setups_.Add({program.value, {}}, upper);
        post_setups_.Find(upper)->named_by.push_back(index);
      }
    }
    view_.ProcessEvents();
    view_.AutoSizeColumns();
  }
}

std::vector<std::string> MainWindowController::PostSetupList() const {
  std::vector<std::string> paths;
  for (const auto& entry : post_setups_) paths.push_back(entry.value.path);
  return paths;
}

}  // namespace tw
