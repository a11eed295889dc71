// A launcher that records what it is asked to start.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/process_launcher.h"

namespace tw::testing {

class FakeProcessLauncher : public ProcessLauncher {
 public:
  struct Call {
    std::string kind;  // "start", "wait" or "open"
    std::vector<std::string> argv;
    WindowStyle style = WindowStyle::Normal;
    std::string folder;
  };

  bool Start(const std::vector<std::string>& argv, WindowStyle style,
             const std::string& folder = "") override {
    if (before_call) before_call();
    calls.push_back({"start", argv, style, folder});
    return true;
  }
  int RunAndWait(const std::vector<std::string>& argv, int, const std::string& started_marker = {}) override {
    if (before_call) before_call();
    calls.push_back({"wait", argv, WindowStyle::Normal, ""});
    markers.push_back(started_marker);
    return 0;
  }
  bool OpenDocument(const std::string& path, const std::string& folder) override {
    if (before_call) before_call();
    calls.push_back({"open", {path}, WindowStyle::Normal, folder});
    return true;
  }
  bool IsProgram(const std::string& path) override { return programs.count(path) > 0; }

  // Runs as each program is about to start.
  std::function<void()> before_call;
  std::vector<Call> calls;
  std::vector<std::string> markers;  // of each RunAndWait, "" for none
  std::set<std::string> programs;
};

}  // namespace tw::testing
