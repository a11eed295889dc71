// What the administrators' log file needs of the disk. Every call returns
// at once: a log that cannot be written is given up, never waited for.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tw {

class LogDisk {
 public:
  virtual ~LogDisk() = default;
  // The size of the regular file at `path`; nothing when there is none.
  virtual std::optional<std::uint64_t> Size(const std::string& path) = 0;
  // Appends `bytes` to the regular file at `path`, creating it; false
  // when that cannot be done at once (anything but a regular file there,
  // a full disk, no right to write).
  virtual bool Append(const std::string& path, std::string_view bytes) = 0;
  // Moves `from` to `to`, replacing what `to` was.
  virtual bool Rename(const std::string& from, const std::string& to) = 0;
  // Creates the folder and the missing folders above it, for the user alone.
  virtual bool CreateFolders(const std::string& path) = 0;
};

}  // namespace tw
