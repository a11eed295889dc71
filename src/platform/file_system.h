// The file operations the logic needs, on full local paths.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tw {

// The failure of one file operation: the system's error number and a
// description a user can read.
struct FileError {
  int number = 0;
  std::string description;
};

// Empty on success.
using FileResult = std::optional<FileError>;

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // A normal file: not a folder, not hidden (hidden and system files count
  // as missing, as a plain directory search sees them).
  virtual bool NormalFileExists(std::string_view path) = 0;
  // "a.b.c.d" from the file's version resource; "" when it has none.
  virtual std::string FileVersion(std::string_view path) = 0;
  // Last modification, in seconds since 1970-01-01 UTC.
  virtual std::optional<long long> LastModified(std::string_view path) = 0;

  virtual FileResult CreateFolder(std::string_view path) = 0;
  virtual FileResult Delete(std::string_view path) = 0;
  virtual FileResult Rename(std::string_view from, std::string_view to) = 0;
  virtual FileResult WriteBytes(std::string_view path, std::span<const std::uint8_t> content) = 0;
  // Changes the modification time only (seconds since 1970-01-01 UTC).
  virtual FileResult SetModificationTime(std::string_view path, long long unix_seconds) = 0;
};

// Everything after the last "/" or "\"; the whole text without either.
std::string FileNamePart(std::string_view path);

}  // namespace tw
