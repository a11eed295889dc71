// A process launcher whose waits run the event loop: while a post-setup
// program runs, the windows keep repainting and the user's clicks are
// handled (what they decide takes effect once the program has ended; the
// program is never killed).
#pragma once

#include "platform/process_launcher.h"

namespace tw {

class EventLoopLauncher : public ProcessLauncher {
 public:
  explicit EventLoopLauncher(ProcessLauncher& inner) : inner_(inner) {}

  bool Start(const std::vector<std::string>& argv, WindowStyle style, const std::string& folder) override {
    return inner_.Start(argv, style, folder);
  }
  // The inner launcher waits on a thread of its own; this thread runs the
  // event loop until that wait is over.
  int RunAndWait(const std::vector<std::string>& argv, int timeout_ms,
                 const std::string& started_marker = {}) override;
  bool OpenDocument(const std::string& path, const std::string& folder) override {
    return inner_.OpenDocument(path, folder);
  }
  bool IsProgram(const std::string& path) override { return inner_.IsProgram(path); }
  // The event loop runs meanwhile.
  void Pause(int ms) override;

 private:
  ProcessLauncher& inner_;
};

}  // namespace tw
