// The administrators' log: every run appends its log lines to one file in
// the user's state folder, so that a workstation that updated unseen (the
// hidden start, an automation call) leaves a trace. The file is bounded:
// past 1 MiB it becomes "tarnwick.log.1" (the older one ".2", the oldest
// dropped). Writing it never holds a run up, and a failure is ignored.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/log_disk.h"

namespace tw {

// How a line counts, with the syslog priority it carries to the journal.
enum class LogLevel { Error = 3, Warning = 4, Info = 6 };

// "$XDG_STATE_HOME/Velmora/Tarnwick/tarnwick.log", or below
// "$HOME/.local/state" when XDG_STATE_HOME is unset, empty or relative;
// "" without either. `getenv` reads one variable (nullptr when unset).
std::string LogFilePath(const std::function<const char*(const char*)>& getenv);

// Standard error is the journal: JOURNAL_STREAM is set.
bool StandardErrorIsJournal(const std::function<const char*(const char*)>& getenv);

// `line` with the journal's priority prefix ("<3>" for an error).
std::string WithPriority(std::string_view line, LogLevel level);

class LogFile {
 public:
  static constexpr std::uint64_t kLimit = 1u << 20;
  static constexpr int kKept = 2;

  // `path` "" writes nothing.
  LogFile(LogDisk& disk, std::string path, std::uint64_t limit = kLimit);

  // Appends `line` and a line break; a file that would pass the limit is
  // set aside first.
  void Write(std::string_view line);

 private:
  void Rotate();

  LogDisk& disk_;
  std::string path_;
  std::uint64_t limit_;
  bool folder_made_ = false;
};

}  // namespace tw
