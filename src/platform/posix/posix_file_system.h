// The file system of a POSIX computer.
#pragma once

#include "platform/file_system.h"

namespace tw {

class PosixFileSystem : public FileSystem {
 public:
  bool NormalFileExists(std::string_view path) override;
  std::string FileVersion(std::string_view path) override;
  std::optional<long long> LastModified(std::string_view path) override;
  FileResult CreateFolder(std::string_view path) override;
  FileResult CreatePrivateFolder(std::string_view path) override;
  FileResult Delete(std::string_view path) override;
  FileResult Rename(std::string_view from, std::string_view to) override;
  FileResult WriteBytes(std::string_view path, std::span<const std::uint8_t> content,
                        const WriteOptions& options = {}) override;
  Expected<std::unique_ptr<FileWriter>, FileError> CreateFile(std::string_view path,
                                                              const WriteOptions& options) override;
  Expected<FileLock, FileError> LockFile(std::string_view path) override;
  Expected<std::optional<FileLock>, FileError> TryLock(std::string_view path, bool folder = false) override;
  std::optional<unsigned> FileMode(std::string_view path) override;
  FileResult LinkOrCopy(std::string_view from, std::string_view to) override;
  FileResult SyncFolder(std::string_view path) override;
  FileResult SetModificationTime(std::string_view path, long long unix_seconds) override;
  Expected<std::unique_ptr<FileReader>, FileError> OpenForReading(std::string_view path) override;
  bool SameFile(std::string_view a, std::string_view b) override;
  std::optional<std::string> FindLinkBelow(std::string_view folder, std::string_view path) override;
  // In posix_file_mapping.cpp.
  Expected<std::unique_ptr<MappedFile>, FileError> MapForReading(std::string_view path) override;
  // Every call is its own system calls, with nothing kept between them.
  bool ReadableFromAnyThread() const override { return true; }
  Expected<std::unique_ptr<OpenFolder>, FileError> OpenFolderBelow(std::string_view top,
                                                                  std::string_view folder) override;
};

}  // namespace tw
