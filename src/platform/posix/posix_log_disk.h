// The log file's disk on a POSIX system: opened without waiting (a FIFO
// put where the log should be would otherwise hold the run until someone
// reads it) and only ever a regular file.
#pragma once

#include "platform/log_disk.h"

namespace tw {

class PosixLogDisk : public LogDisk {
 public:
  std::optional<std::uint64_t> Size(const std::string& path) override;
  bool Append(const std::string& path, std::string_view bytes) override;
  bool Rename(const std::string& from, const std::string& to) override;
  bool CreateFolders(const std::string& path) override;
};

}  // namespace tw
