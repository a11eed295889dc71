#include "catalogue/installed_files.h"

#include "platform/file_system.h"

namespace tw {

InstalledFile LookAtInstalledFile(FileSystem& files, const std::string& path) {
  InstalledFile file;
  file.present = files.NormalFileExists(path);
  if (!file.present) return file;
  file.version = files.FileVersion(path);
  file.modified = files.LastModified(path);
  return file;
}

void LooksAhead::Look(FileSystem& files, const std::string& path) {
  if (!looks_.contains(path)) looks_.emplace(path, LookAtInstalledFile(files, path));
}

std::optional<InstalledFile> LooksAhead::Take(const std::string& path) {
  const auto found = looks_.find(path);
  if (found == looks_.end()) return std::nullopt;
  InstalledFile file = std::move(found->second);
  looks_.erase(found);
  return file;
}

}  // namespace tw
