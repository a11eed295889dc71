// Programs started with posix_spawn: no shell, no window styles here.
#pragma once

#include "platform/process_launcher.h"

namespace tw {

class PosixProcessLauncher : public ProcessLauncher {
 public:
  // `process_descriptors`: wait for a child through a process descriptor
  // (pidfd) where the kernel offers one; off, or where it does not, the
  // wait polls the child until its time limit.
  explicit PosixProcessLauncher(bool process_descriptors = true) : pidfd_(process_descriptors) {}
  bool Start(const std::vector<std::string>& argv, WindowStyle style,
             const std::string& folder = "") override;
  int RunAndWait(const std::vector<std::string>& argv, int timeout_ms,
                 const std::string& started_marker = {}) override;
  bool OpenDocument(const std::string& path, const std::string& folder) override;
  bool IsProgram(const std::string& path) override;

 private:
  bool pidfd_;
};

}  // namespace tw
