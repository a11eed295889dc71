// An in-memory file system for tests, with failures that a test can arm.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace tw::testing {

class FakeFileSystem : public FileSystem {
 public:
  struct File {
    std::vector<std::uint8_t> content;
    long long mtime = 0;
    std::string version;
    bool hidden = false;
    unsigned mode = 0644;
  };

  void AddFile(const std::string& path, std::string content = "x", long long mtime = 0,
               std::string version = "");
  std::string Content(const std::string& path) const;

  // The next call of `operation` ("CreateFolder", "Delete", "Rename",
  // "WriteBytes", "CreateFile", "LockFile", "TryLock", "SetModificationTime",
  // "LinkOrCopy", "SyncFolder") on
  // `path` fails with `error`.
  void FailNext(const std::string& operation, const std::string& path, FileError error);
  // A write that would take a file beyond `bytes` fails with `error`.
  void FillDiskAfter(size_t bytes, FileError error) { disk_full_after_.emplace(bytes, std::move(error)); }

  bool NormalFileExists(std::string_view path) override;
  std::string FileVersion(std::string_view path) override;
  std::optional<long long> LastModified(std::string_view path) override;
  FileResult CreateFolder(std::string_view path) override;
  FileResult Delete(std::string_view path) override;
  FileResult Rename(std::string_view from, std::string_view to) override;
  FileResult WriteBytes(std::string_view path, std::span<const std::uint8_t> content,
                        const WriteOptions& options = {}) override;
  // The file is filled as the writer writes; "CreateFile" failures come at
  // the creation, "Finish" failures at the end.
  Expected<std::unique_ptr<FileWriter>, FileError> CreateFile(std::string_view path,
                                                              const WriteOptions& options) override;
  // A lock taken twice at once would wait forever on a real disk: here it
  // fails.
  Expected<FileLock, FileError> LockFile(std::string_view path) override;
  Expected<std::optional<FileLock>, FileError> TryLock(std::string_view path, bool folder = false) override;
  std::optional<unsigned> FileMode(std::string_view path) override;
  FileResult LinkOrCopy(std::string_view from, std::string_view to) override;
  FileResult SyncFolder(std::string_view path) override;

  unsigned umask = 022;
  FileResult SetModificationTime(std::string_view path, long long unix_seconds) override;
  // A copy of the content as it is at the opening.
  Expected<std::unique_ptr<FileReader>, FileError> OpenForReading(std::string_view path) override;
  // A copy of the content as it is at the mapping.
  Expected<std::unique_ptr<MappedFile>, FileError> MapForReading(std::string_view path) override;

  std::map<std::string, File> files;
  std::set<std::string> folders;
  std::vector<std::string> calls;  // "Operation path" in call order
  std::set<std::string> locked;
  int existence_checks = 0;        // NormalFileExists calls

 private:
  friend class FakeFileWriter;
  FileResult Armed(const std::string& operation, std::string_view path);
  std::map<std::pair<std::string, std::string>, FileError> failures_;
  std::optional<std::pair<size_t, FileError>> disk_full_after_;
};

}  // namespace tw::testing
