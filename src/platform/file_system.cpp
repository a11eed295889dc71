#include "platform/file_system.h"

namespace tw {
namespace {

// An open folder that is only its path: the entries are reached through
// the file system's path operations.
class PathFolder : public OpenFolder {
 public:
  PathFolder(FileSystem& files, std::string path, char separator)
      : files_(files), path_(std::move(path)), separator_(separator) {}
  bool NormalFileExists(std::string_view name) override { return files_.NormalFileExists(At(name)); }
  std::optional<long long> LastModified(std::string_view name) override { return files_.LastModified(At(name)); }
  std::optional<unsigned> FileMode(std::string_view name) override { return files_.FileMode(At(name)); }
  FileResult Delete(std::string_view name) override { return files_.Delete(At(name)); }
  FileResult Rename(std::string_view from, std::string_view to) override {
    return files_.Rename(At(from), At(to));
  }
  FileResult LinkOrCopy(std::string_view from, std::string_view to) override {
    return files_.LinkOrCopy(At(from), At(to));
  }
  Expected<std::unique_ptr<FileWriter>, FileError> CreateFile(std::string_view name,
                                                              const WriteOptions& options) override {
    return files_.CreateFile(At(name), options);
  }
  Expected<std::unique_ptr<FileReader>, FileError> OpenForReading(std::string_view name) override {
    return files_.OpenForReading(At(name));
  }
  Expected<std::optional<FileLock>, FileError> TryLock(std::string_view name) override {
    return name.empty() ? files_.TryLock(path_, true) : files_.TryLock(At(name));
  }
  FileResult SetModificationTime(std::string_view name, long long unix_seconds) override {
    return files_.SetModificationTime(At(name), unix_seconds);
  }
  FileResult Sync() override { return files_.SyncFolder(path_); }

 private:
  std::string At(std::string_view name) const { return path_ + separator_ + std::string(name); }
  FileSystem& files_;
  std::string path_;
  char separator_;
};

}  // namespace

std::string FileNamePart(std::string_view path) {
  const size_t cut = path.find_last_of("/\\");
  return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

Expected<std::unique_ptr<OpenFolder>, FileError> FileSystem::OpenFolderBelow(std::string_view top,
                                                                             std::string_view folder) {
  const char separator = folder.find('\\') != std::string_view::npos ? '\\' : '/';
  for (size_t cut = folder.find(separator, top.size()); cut != std::string_view::npos;
       cut = folder.find(separator, cut + 1))
    CreateFolder(folder.substr(0, cut));
  CreateFolder(folder);
  if (FindLinkBelow(top, folder)) return Fail(FileError{40 /* ELOOP */, "Collegamento simbolico"});
  return std::unique_ptr<OpenFolder>(std::make_unique<PathFolder>(*this, std::string(folder), separator));
}

}  // namespace tw
