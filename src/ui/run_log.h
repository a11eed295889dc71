// Where the main window's log lines go besides the window: the
// administrators' log file always, and standard error for a start nobody
// watches (the hidden start), prefixed with syslog priorities when
// standard error is the journal.
#pragma once

#include <ostream>
#include <string_view>

#include "platform/log_file.h"

namespace tw {

class RunLog {
 public:
  // Either may be missing. `journal`: standard error goes to the journal
  // (JOURNAL_STREAM is set).
  RunLog(LogFile* file, std::ostream* err, bool journal) : file_(file), err_(err), journal_(journal) {}

  // From now on the lines go to standard error too.
  void EchoToStandardError() { echo_ = true; }
  void Line(std::string_view line, LogLevel level);

 private:
  LogFile* file_;
  std::ostream* err_;
  bool journal_;
  bool echo_ = false;
};

}  // namespace tw
